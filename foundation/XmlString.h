// Output buffer of the XML writer: UTF-16 text appended in the buffer's code page.
#pragma once

#include "foundation/Object.h"

class CXmlString : public CObject {
public:
    CXmlString() : m_pData(nullptr), m_nSize(0), m_nLength(0), m_CodePage(65001) {}
    ~CXmlString() override { delete[] m_pData; }
    CXmlString(const CXmlString&) = delete;
    CXmlString& operator=(const CXmlString&) = delete;

    // Text that cannot be stored (no memory) is dropped.
    void Append(const wchar_t* text, int units);
    void Append(const wchar_t* text);
    // Appends bytes that are already in the buffer's code page.
    void AppendBytes(const char* bytes, int count);
    // Hands the bytes to the caller (delete[]); the buffer is empty afterwards.
    char* Detach();

    char* m_pData;
    int m_nSize;
    int m_nLength;
    unsigned m_CodePage;
};
