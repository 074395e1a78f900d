// The one string class: text held as UTF-8 bytes, with a UTF-16 view made
// on request.
#pragma once

#include "foundation/Object.h"

// The code page of every CString's bytes: UTF-8, whatever the system's
// ANSI code page is (Windows 10 1809 and Server 2019 ignore the manifest's
// activeCodePage, and a legacy code page would turn titles into "?").
constexpr unsigned kStringCodePage = 65001;

class CString : public CObject {
public:
    CString();
    explicit CString(const wchar_t* text);
    CString(const CString& other);
    CString& operator=(const CString& other);
    ~CString() override;

    // length -1: up to the NUL. A null text or length 0 clears the string.
    void Assign(const wchar_t* text, int length = -1);
    // Takes bytes that are already in kStringCodePage.
    void AssignBytes(const char* bytes, int length);
    void Copy(const CString& other);
    bool Grow(int n);
    void Clear();

    // Null for an empty string; valid until the next GetWide, change or destruction.
    const wchar_t* GetWide();
    bool Equals(const wchar_t* text) const;
    void Trim();
    // True when the text holds nothing but white space, the full-width
    // space of Japanese input included.
    bool IsBlank() const;
    CString* Mid(int start, int count) const;

    bool IsEmpty() const { return !m_pBuffer || m_nLength == 0; }
    const char* GetBytes() const { return m_pBuffer ? m_pBuffer : ""; }

    char* m_pBuffer;
    int m_nSize;
    int m_nLength;
    wchar_t* m_pWide;

private:
    void FreeWide();
};
