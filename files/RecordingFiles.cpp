#include "files/RecordingFiles.h"
#include "foundation/Messages.h"
#include "foundation/Trace.h"

#include <cstring>
#include <cwchar>
#include <new>

void CRecordingFiles::Add(const wchar_t* path)
{
    size_t length = wcslen(path);
    if (m_Length + length + 2 > m_Size) {
        size_t size = (m_Length + length + 2) * 2;
        wchar_t* grown = new (std::nothrow) wchar_t[size];
        if (!grown) {
            Trace(L"[CRecordingFiles] no memory to list %s\n", path);
            return;
        }
        if (m_pNames)
            memcpy(grown, m_pNames, m_Length * sizeof(wchar_t));
        delete[] m_pNames;
        m_pNames = grown;
        m_Size = size;
    }
    memcpy(m_pNames + m_Length, path, length * sizeof(wchar_t));
    m_Length += length;
    m_pNames[m_Length++] = L'\n';
    m_pNames[m_Length] = L'\0';
}

void CRecordingFiles::Post(HWND window)
{
    wchar_t* names = m_pNames;
    m_pNames = nullptr;
    m_Length = m_Size = 0;
    if (names && !(window && PostMessageW(window, WM_RECORDING_FILES, 0, reinterpret_cast<LPARAM>(names))))
        delete[] names;
}
