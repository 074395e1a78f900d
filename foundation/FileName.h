// Splits a path into folder, file name, title and extension.
#pragma once

#include "foundation/String.h"

class CFileName : public CObject {
public:
    CFileName();
    bool Split(const char* path);

    CString m_FullPath;
    int m_FileStart;
    int m_ExtStart;
    CString m_Folder;
    CString m_FileName;
    CString m_Title;
    CString m_Extension;
};
