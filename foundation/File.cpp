#include "foundation/File.h"

CFile::CFile() : m_hFile(INVALID_HANDLE_VALUE), m_bRead(1), m_bWrite(0), m_Size(0) {}

CFile::~CFile()
{
    if (IsOpen())
        CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
    m_Size = 0;
}

bool CFile::OpenForRead(const wchar_t* path)
{
    if (IsOpen() || !path || !*path)
        return false;
    m_Path.Assign(path);
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    m_hFile = h;
    m_bRead = 1;
    m_bWrite = 0;
    LARGE_INTEGER size;
    if (GetFileSizeEx(h, &size))
        m_Size = static_cast<unsigned long long>(size.QuadPart);
    return true;
}

int CFile::CreateForWrite(const wchar_t* path, int overwrite)
{
    if (IsOpen() || !path || !*path)
        return -1;
    m_Path.Assign(path);
    HANDLE h = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, overwrite ? CREATE_ALWAYS : CREATE_NEW,
                           FILE_FLAG_RANDOM_ACCESS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return overwrite ? -1 : -2;
    m_hFile = h;
    m_bRead = 0;
    m_bWrite = 1;
    m_Size = 0;
    return 0;
}

void CFile::Close()
{
    if (IsOpen())
        CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
    m_Size = 0;
}

unsigned CFile::Read(void* buffer, unsigned length, unsigned long long position)
{
    if (!IsOpen())
        return 0;
    if (position != kCurrent && !Seek(position))
        return 0;
    DWORD got = 0;
    if (!ReadFile(m_hFile, buffer, length, &got, nullptr))
        return 0;
    return got;
}

unsigned CFile::Write(const void* data, unsigned length, unsigned long long position)
{
    if (!IsOpen())
        return 0;
    if (position != kCurrent && !Seek(position))
        return 0;
    DWORD written = 0;
    if (!WriteFile(m_hFile, data, length, &written, nullptr))
        return 0;
    if (position == kCurrent) {
        m_Size += written;
    } else {
        if (position + written > m_Size)
            m_Size = position + written;
        LARGE_INTEGER zero;
        zero.QuadPart = 0;
        SetFilePointerEx(m_hFile, zero, nullptr, FILE_END);
    }
    return written;
}

bool CFile::Seek(unsigned long long position)
{
    if (!IsOpen())
        return false;
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(position);
    return SetFilePointerEx(m_hFile, to, nullptr, FILE_BEGIN) != 0;
}

bool CFile::Flush()
{
    if (!IsOpen())
        return false;
    FlushFileBuffers(m_hFile);
    return true;
}

bool CFile::IsEOF()
{
    if (!IsOpen())
        return true;
    LARGE_INTEGER zero, pos;
    zero.QuadPart = 0;
    unsigned long long current = 0;
    if (SetFilePointerEx(m_hFile, zero, &pos, FILE_CURRENT))
        current = static_cast<unsigned long long>(pos.QuadPart);
    return current >= m_Size;
}
