#include "foundation/XmlString.h"
#include "foundation/CodePage.h"

#include <cstring>
#include <cwchar>
#include <new>

void CXmlString::Append(const wchar_t* text, int units)
{
    if (!text || units <= 0)
        return;
    char* bytes = WideToMulti(text, units, m_CodePage);
    if (!bytes)
        return;
    AppendBytes(bytes, static_cast<int>(strlen(bytes)));
    delete[] bytes;
}

void CXmlString::AppendBytes(const char* bytes, int count)
{
    if (!bytes || count <= 0)
        return;
    long long n = count;
    long long needed = static_cast<long long>(m_nLength) + 1 + n;
    if (needed >= m_nSize) {
        // Geometric growth keeps a large save linear.
        long long capacity = needed + 256;
        if (capacity < 2LL * m_nSize)
            capacity = 2LL * m_nSize;
        if (capacity > 0x7FFFFFFF)
            capacity = needed <= 0x7FFFFFFF ? 0x7FFFFFFF : 0;
        char* data = capacity ? new (std::nothrow) char[static_cast<size_t>(capacity)] : nullptr;
        if (!data)
            return;
        if (m_pData)
            memcpy(data, m_pData, static_cast<size_t>(m_nLength));
        delete[] m_pData;
        m_pData = data;
        m_nSize = static_cast<int>(capacity);
    }
    memcpy(m_pData + m_nLength, bytes, static_cast<size_t>(n));
    m_nLength += static_cast<int>(n);
    m_pData[m_nLength] = 0;
}

void CXmlString::Append(const wchar_t* text)
{
    if (text)
        Append(text, static_cast<int>(wcslen(text)));
}

char* CXmlString::Detach()
{
    char* data = m_pData;
    m_pData = nullptr;
    m_nSize = 0;
    m_nLength = 0;
    return data;
}
