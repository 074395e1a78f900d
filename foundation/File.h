// Thin wrapper around a Windows file handle with a counter of the bytes it holds.
#pragma once

#include "foundation/String.h"

#include <windows.h>

class CFile {
public:
    // A position of all bits set means "the current position".
    static constexpr unsigned long long kCurrent = ~0ULL;

    CFile();
    ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    bool OpenForRead(const wchar_t* path);
    // 0 success; -1 already open, empty path, or failure with overwrite;
    // -2 failure without overwrite (for instance the file exists).
    int CreateForWrite(const wchar_t* path, int overwrite);

    virtual void Close();
    virtual unsigned Read(void* buffer, unsigned length, unsigned long long position = kCurrent);
    virtual unsigned Write(const void* data, unsigned length, unsigned long long position = kCurrent);
    virtual bool Seek(unsigned long long position);
    virtual bool Flush();
    virtual bool IsEOF();

    bool IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE; }
    unsigned long long GetSize() const { return m_Size; }

    HANDLE m_hFile;
    CString m_Path;
    int m_bRead;
    int m_bWrite;
    unsigned long long m_Size;
};
