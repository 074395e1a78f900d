#include "files/MediaFile.h"

namespace {

volatile LONG g_FlushInFlight = 0;

DWORD WINAPI FlushAndClose(void* param)
{
    HANDLE file = static_cast<HANDLE>(param);
    FlushFileBuffers(file);
    CloseHandle(file);
    InterlockedExchange(&g_FlushInFlight, 0);
    return 0;
}

}  // namespace

CMediaFile::CMediaFile()
    : m_BlockSize(0), m_BlockTime(0), m_BlockCount(0), m_AudioIndex(0), m_SecondaryIndex(0), m_Info()
{
}

void CMediaFile::FlushInBackground(HANDLE file)
{
    if (InterlockedCompareExchange(&g_FlushInFlight, 1, 0) != 0)
        return;
    // The pool thread holds a handle of its own, so closing the file meanwhile is safe.
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), file, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS) ||
        !QueueUserWorkItem(FlushAndClose, copy, WT_EXECUTELONGFUNCTION)) {
        if (copy)
            CloseHandle(copy);
        InterlockedExchange(&g_FlushInFlight, 0);
    }
}

int CMediaFile::Create(const wchar_t*, const WAVEFORMATEX&, int)
{
    return -1;
}

bool CMediaFile::RefreshHeader(bool flush)
{
    if (!IsOpen() || m_bRead)
        return false;
    if (flush)
        FlushInBackground(m_hFile);
    return true;
}

CMediaFile::~CMediaFile()
{
    CFile::Close();
}

int CMediaFile::Create(const wchar_t* path, int overwrite)
{
    return CFile::CreateForWrite(path, overwrite) == 0 ? 0 : 1;
}

int CMediaFile::Open(const wchar_t* path)
{
    m_BlockCount = 0;
    m_AudioIndex = 0;
    m_SecondaryIndex = 0;
    if (!OpenForRead(path))
        return 0;
    SetBlock(m_BlockSize, m_BlockTime);
    return 1;
}

int CMediaFile::OpenPlain(const wchar_t* path)
{
    return OpenForRead(path) ? 1 : 0;
}

int CMediaFile::CreatePlain(const wchar_t* path, int overwrite)
{
    return CreateForWrite(path, overwrite);
}

void CMediaFile::Rewind()
{
    m_AudioIndex = 0;
    m_SecondaryIndex = 0;
    Seek(0);
}

void CMediaFile::SeekTime(unsigned) {}

int CMediaFile::WriteSecondary(int stream, const void* data, unsigned length)
{
    return CMediaFile::WriteSamples(stream, data, length);
}

unsigned CMediaFile::ReadSecondary(int, void* buffer, unsigned capacity)
{
    return ReadBlock(m_SecondaryIndex, buffer, capacity);
}

int CMediaFile::SetInfo(int, const MediaInfo*)
{
    return 1;
}

int CMediaFile::WriteSamples(int, const void* data, unsigned length)
{
    if (m_bRead)
        return 1;
    return Write(data, length) == length ? 1 : 0;
}

unsigned CMediaFile::ReadSamples(int, void* buffer, unsigned capacity)
{
    return ReadBlock(m_AudioIndex, buffer, capacity);
}

unsigned CMediaFile::ReadAt(void* buffer, unsigned length, unsigned long long position)
{
    return Read(buffer, length, position);
}

unsigned long long CMediaFile::CurrentPosition()
{
    if (!IsOpen())
        return 0;
    LARGE_INTEGER zero, pos;
    zero.QuadPart = 0;
    return SetFilePointerEx(m_hFile, zero, &pos, FILE_CURRENT) ? static_cast<unsigned long long>(pos.QuadPart) : 0;
}

bool CMediaFile::IsEnd()
{
    if (!IsOpen())
        return true;
    return CurrentPosition() >= m_Size;
}

void CMediaFile::SetBlock(unsigned size, unsigned milliseconds)
{
    m_BlockSize = size;
    m_BlockTime = milliseconds;
    if (size)
        m_BlockCount = static_cast<unsigned>((m_Size - 1 + size) / size);
}

unsigned CMediaFile::ReadBlock(unsigned& index, void* buffer, unsigned capacity)
{
    if (!m_bRead || index >= m_BlockCount)
        return 0;
    ++index;
    unsigned length = (m_BlockSize && m_BlockSize < capacity) ? m_BlockSize : capacity;
    return Read(buffer, length);
}
