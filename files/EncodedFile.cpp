#include "files/EncodedFile.h"

int CEncodedFile::CreateForEncoder(const wchar_t* path, const WAVEFORMATEX& f, int overwrite)
{
    if (f.wFormatTag != WAVE_FORMAT_PCM || f.wBitsPerSample != 16 || (f.nChannels != 1 && f.nChannels != 2) ||
        f.nBlockAlign != 2 * f.nChannels || f.nSamplesPerSec < 1000 || f.nSamplesPerSec > 384000)
        return -1;
    int code = CreateForWrite(path, overwrite);
    if (code == 0) {
        m_Channels = f.nChannels;
        m_WholeEnd = 0;
    }
    return code;
}

void CEncodedFile::DiscardCreated()
{
    CString path;
    path.Copy(m_Path);
    CFile::Close();
    if (path.GetWide())
        DeleteFileW(path.GetWide());
}

bool CEncodedFile::WriteThrough(const void* data, size_t length)
{
    const char* p = static_cast<const char*>(data);
    bool whole = IsOpen();
    while (whole && length > 0) {
        DWORD chunk = length > 0x40000000 ? 0x40000000 : static_cast<DWORD>(length), written = 0;
        whole = WriteFile(m_hFile, p, chunk, &written, nullptr) && written > 0;
        p += written;
        length -= written;
    }
    unsigned long long end = CurrentPosition();
    if (end > m_Size)
        m_Size = end;
    if (whole && end > m_WholeEnd)
        m_WholeEnd = end;
    return whole;
}

void CEncodedFile::DropPartialFrame()
{
    if (!IsOpen() || m_bRead || m_Size <= m_WholeEnd || !Seek(m_WholeEnd))
        return;
    SetEndOfFile(m_hFile);
    m_Size = m_WholeEnd;
}
