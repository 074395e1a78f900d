#include "files/WaveFile.h"
#include "foundation/Trace.h"

#include <cstring>
#include <new>

namespace {

void Put32(unsigned char* p, unsigned v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

void Put16(unsigned char* p, unsigned v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

unsigned Get32(const unsigned char* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<unsigned>(p[3]) << 24);
}

unsigned Get16(const unsigned char* p)
{
    return p[0] | (p[1] << 8);
}

}  // namespace

CWaveFile::CWaveFile() : m_Header(), m_Offset(0), m_TotalFrames(0) {}

CWaveFile::~CWaveFile()
{
    if (IsOpen())
        Close();
}

int CWaveFile::Create(const wchar_t* path, const WAVEFORMATEX& format, int overwrite)
{
    if (format.wFormatTag != WAVE_FORMAT_PCM || !format.nChannels || !format.nSamplesPerSec ||
        !format.nAvgBytesPerSec || !format.nBlockAlign || !format.wBitsPerSample)
        return -1;
    int code = CreateForWrite(path, overwrite);
    if (code != 0)
        return code;
    memcpy(m_Header, "RIFF", 4);
    Put32(m_Header + 4, 48);
    memcpy(m_Header + 8, "WAVEfmt ", 8);
    Put32(m_Header + 16, 16);
    Put16(m_Header + 20, format.wFormatTag);
    Put16(m_Header + 22, format.nChannels);
    Put32(m_Header + 24, format.nSamplesPerSec);
    Put32(m_Header + 28, format.nAvgBytesPerSec);
    Put16(m_Header + 32, format.nBlockAlign);
    Put16(m_Header + 34, format.wBitsPerSample);
    if (!WriteHeader()) {
        CloseHandleOnly();
        return -1;
    }
    return 0;
}

int CWaveFile::Create(const wchar_t* path, int overwrite)
{
    WAVEFORMATEX f = {};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = static_cast<WORD>(m_Info.m_Channels);
    f.wBitsPerSample = static_cast<WORD>(m_Info.m_Bits);
    f.nBlockAlign = static_cast<WORD>(m_Info.m_Bits * m_Info.m_Channels / 8);
    f.nSamplesPerSec = m_Info.m_Frequency;
    f.nAvgBytesPerSec = f.nBlockAlign * f.nSamplesPerSec;
    return Create(path, f, overwrite);
}

// The size fields for D bytes of data: RIFF 48 + D, fact D / block align, data D.
bool CWaveFile::WriteHeader()
{
    if (!Seek(0))
        return false;
    unsigned data = static_cast<unsigned>(m_Size);
    unsigned align = Get16(m_Header + 32);
    unsigned char image[kHeaderSize];
    memcpy(image, m_Header, 36);
    Put32(image + 4, 48 + data);
    memcpy(image + 36, "fact", 4);
    Put32(image + 40, 4);
    Put32(image + 44, align ? static_cast<unsigned>(m_Size / align) : 0);
    memcpy(image + 48, "data", 4);
    Put32(image + 52, data);
    // One write of the whole header: a header is never half old, half new.
    DWORD written = 0;
    return WriteFile(m_hFile, image, kHeaderSize, &written, nullptr) && written == kHeaderSize;
}

bool CWaveFile::RefreshHeader(bool flush)
{
    if (!IsOpen() || m_bRead)
        return false;
    bool ok = WriteHeader();
    SeekDataEnd();
    if (flush)
        FlushInBackground(m_hFile);
    return ok;
}

void CWaveFile::DropPartialFrame()
{
    unsigned align = Get16(m_Header + 32);
    if (!IsOpen() || m_bRead || !align || m_Size % align == 0)
        return;
    m_Size -= m_Size % align;
    if (SeekDataEnd())
        SetEndOfFile(m_hFile);
}

bool CWaveFile::SeekDataEnd()
{
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(kHeaderSize + m_Size);
    return SetFilePointerEx(m_hFile, end, nullptr, FILE_BEGIN) != FALSE;
}

void CWaveFile::CloseHandleOnly()
{
    CFile::Close();
}

void CWaveFile::Close()
{
    if (!IsOpen())
        return;
    if (!m_bRead)
        WriteHeader();
    CFile::Close();
}

int CWaveFile::OpenPlain(const wchar_t* path)
{
    m_BlockCount = 0;
    m_AudioIndex = 0;
    m_SecondaryIndex = 0;
    if (!OpenForRead(path))
        return 0;
    m_Info = MediaInfo();
    memset(m_Header, 0, sizeof m_Header);
    m_Offset = 0;
    unsigned char* scratch = new (std::nothrow) unsigned char[1024];
    if (!scratch) {
        Close();
        return 0;
    }
    unsigned got = Seek(0) ? Read(scratch, 1024) : 0;
    if (got < 12 || memcmp(scratch, "RIFF", 4) != 0 || memcmp(scratch + 8, "WAVE", 4) != 0) {
        delete[] scratch;
        Close();
        return 0;
    }
    memcpy(m_Header, scratch, got < 36 ? got : 36);
    unsigned offset = 12;
    while (offset + 8 < 1024 && offset + 8 <= got) {
        const unsigned char* chunk = scratch + offset;
        unsigned size = Get32(chunk + 4);
        if (memcmp(chunk, "fmt ", 4) == 0) {
            if (offset + 24 > got || size < 16)
                break;
            const unsigned char* f = chunk + 8;
            if (!Get16(f + 2) || !Get32(f + 4) || !Get32(f + 8) || !Get16(f + 12) || !Get16(f + 14))
                break;
            memcpy(m_Header + 12, chunk, 24);
            offset += 24;
        } else if (memcmp(chunk, "data", 4) == 0) {
            m_Offset = offset + 8;
            break;
        } else {
            unsigned long long next = static_cast<unsigned long long>(offset) + 8 + size;
            if (next >= 1024)
                break;
            offset = static_cast<unsigned>(next);
        }
        while (offset < 1024 && offset < got && scratch[offset] == 0)
            ++offset;
    }
    delete[] scratch;
    if (m_Offset == 0) {
        Close();
        return 0;
    }
    m_Info.m_Frequency = Get32(m_Header + 24);
    m_Info.m_Channels = Get16(m_Header + 22);
    m_Info.m_Bits = Get16(m_Header + 34);
    m_Info.m_StreamCount = 1;
    m_Info.m_MediaType = 94;
    LARGE_INTEGER size;
    if (GetFileSizeEx(m_hFile, &size)) {
        m_Size = static_cast<unsigned>(static_cast<unsigned long long>(size.QuadPart) - m_Offset);
        unsigned align = Get16(m_Header + 32);
        m_TotalFrames = align ? static_cast<unsigned>(m_Size / align) : 0;
    }
    SetBlock(0, m_BlockTime);
    Rewind();
    return 1;
}

void CWaveFile::Rewind()
{
    m_AudioIndex = 0;
    m_SecondaryIndex = 0;
    Seek(m_Offset);
}

void CWaveFile::SeekTime(unsigned seconds)
{
    if (!IsOpen())
        return;
    unsigned rate = Get32(m_Header + 24);
    unsigned position = Get16(m_Header + 32) * seconds * rate + m_Offset;
    Seek(position);
    Trace(L"adr = %d, m_Offset=%d, SamplesPerSec=%d\n", position, m_Offset, rate);
}

int CWaveFile::SetInfo(int, const MediaInfo* info)
{
    if (!info)
        return 0;
    m_Info = *info;
    return 1;
}

int CWaveFile::WriteSamples(int, const void* data, unsigned length)
{
    if (m_bRead)
        return 1;
    if (Write(data, length) < length)
        return 0;
    unsigned align = Get16(m_Header + 32);
    if (align)
        m_TotalFrames += length / align;
    return 1;
}

unsigned CWaveFile::GetTime()
{
    unsigned align = Get16(m_Header + 32), rate = Get32(m_Header + 24);
    unsigned long long pos = CurrentPosition();
    if (!align || !rate || pos < m_Offset)
        return 0;
    return static_cast<unsigned>((pos - m_Offset) / (static_cast<unsigned long long>(align) * rate));
}

bool CWaveFile::IsEnd()
{
    unsigned align = Get16(m_Header + 32);
    if (!align)
        return true;
    unsigned long long pos = CurrentPosition();
    if (pos < m_Offset)
        return false;
    return (pos - m_Offset) / align >= m_TotalFrames;
}

void CWaveFile::SetBlock(unsigned, unsigned milliseconds)
{
    m_BlockTime = milliseconds;
    unsigned frames = milliseconds * Get32(m_Header + 24) / 1000;
    m_BlockSize = Get16(m_Header + 32) * frames;
    if (frames)
        m_BlockCount = (m_TotalFrames - 1 + frames) / frames;
}
