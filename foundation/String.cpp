#include "foundation/String.h"
#include "foundation/CodePage.h"

#include <windows.h>
#include <cstring>
#include <cwchar>
#include <new>

CString::CString() : m_pBuffer(nullptr), m_nSize(0), m_nLength(0), m_pWide(nullptr) {}

CString::CString(const wchar_t* text) : CString()
{
    Assign(text, -1);
}

CString::CString(const CString& other) : CString()
{
    Copy(other);
}

CString& CString::operator=(const CString& other)
{
    if (this != &other)
        Copy(other);
    return *this;
}

CString::~CString()
{
    delete[] m_pBuffer;
    delete[] m_pWide;
}

void CString::FreeWide()
{
    delete[] m_pWide;
    m_pWide = nullptr;
}

void CString::Clear()
{
    delete[] m_pBuffer;
    m_pBuffer = nullptr;
    m_nSize = 0;
    m_nLength = 0;
    FreeWide();
}

bool CString::Grow(int n)
{
    if (n < 0)
        return false;
    long long capacity = static_cast<long long>(m_nSize) + n + 1;
    if (capacity > 0x7FFFFFFF)
        return false;
    char* buffer = new (std::nothrow) char[static_cast<size_t>(capacity)]();
    if (!buffer)
        return false;
    if (m_pBuffer && m_nLength > 0)
        memcpy(buffer, m_pBuffer, static_cast<size_t>(m_nLength));
    delete[] m_pBuffer;
    m_pBuffer = buffer;
    m_nSize = static_cast<int>(capacity);
    return true;
}

void CString::AssignBytes(const char* bytes, int length)
{
    if (!bytes || length <= 0) {
        Clear();
        return;
    }
    if (!m_pBuffer || m_nSize < length + 1) {
        if (!Grow(length + 1))
            return;
    }
    memcpy(m_pBuffer, bytes, static_cast<size_t>(length));
    m_pBuffer[length] = 0;
    m_nLength = length;
    FreeWide();
}

void CString::Assign(const wchar_t* text, int length)
{
    if (!text) {
        Clear();
        return;
    }
    if (length < 0)
        length = static_cast<int>(wcslen(text));
    if (length == 0) {
        Clear();
        return;
    }
    char* bytes = WideToMulti(text, length, kStringCodePage);
    if (!bytes)
        return;
    int n = static_cast<int>(strlen(bytes));
    if (n == 0)
        Clear();
    else
        AssignBytes(bytes, n);
    delete[] bytes;
}

void CString::Copy(const CString& other)
{
    if (!other.m_pBuffer) {
        Clear();
        return;
    }
    if (!m_pBuffer || m_nSize < other.m_nLength + 1) {
        if (!Grow(other.m_nLength + 1))
            return;
    }
    if (other.m_nLength > 0)
        memcpy(m_pBuffer, other.m_pBuffer, static_cast<size_t>(other.m_nLength));
    m_pBuffer[other.m_nLength] = 0;
    m_nLength = other.m_nLength;
    FreeWide();
}

const wchar_t* CString::GetWide()
{
    FreeWide();
    if (m_pBuffer && m_nLength > 0)
        m_pWide = MultiToWide(m_pBuffer, m_nLength, kStringCodePage);
    return m_pWide;
}

bool CString::Equals(const wchar_t* text) const
{
    bool argEmpty = !text || !*text;
    if (!m_pBuffer)
        return argEmpty;
    if (argEmpty)
        return false;
    int units = static_cast<int>(wcslen(text));
    char* bytes = WideToMulti(text, units, kStringCodePage);
    if (!bytes)
        return false;
    size_t n = strlen(bytes);
    bool same = n == static_cast<size_t>(m_nLength) && memcmp(bytes, m_pBuffer, n) == 0;
    delete[] bytes;
    return same;
}

static bool IsStripByte(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == 0;
}

bool CString::IsBlank() const
{
    for (int i = 0; i < m_nLength; ++i) {
        if (IsStripByte(m_pBuffer[i]))
            continue;
        // U+3000 IDEOGRAPHIC SPACE in UTF-8.
        if (i + 2 < m_nLength && memcmp(m_pBuffer + i, "\xE3\x80\x80", 3) == 0) {
            i += 2;
            continue;
        }
        return false;
    }
    return true;
}

void CString::Trim()
{
    if (!m_pBuffer)
        return;
    int first = 0;
    while (first < m_nLength && IsStripByte(m_pBuffer[first]))
        ++first;
    int last = m_nLength;
    while (last > first && IsStripByte(m_pBuffer[last - 1]))
        --last;
    int kept = last - first;
    if (first > 0 && kept > 0)
        memmove(m_pBuffer, m_pBuffer + first, static_cast<size_t>(kept));
    m_pBuffer[kept] = 0;
    m_nLength = kept;
    FreeWide();
}

CString* CString::Mid(int start, int count) const
{
    if (!m_pBuffer || start < 0 || start >= m_nLength || count < 0)
        return nullptr;
    if (count > m_nLength - start)
        count = m_nLength - start;
    CString* result = new (std::nothrow) CString();
    if (!result)
        return nullptr;
    if (result->Grow(count)) {
        if (count > 0)
            memcpy(result->m_pBuffer, m_pBuffer + start, static_cast<size_t>(count));
        result->m_pBuffer[count] = 0;
        result->m_nLength = count;
    }
    return result;
}
