#include "files/Mp3File.h"
#include "foundation/Trace.h"
#include "frames/Mp3Header.h"

#include <cstdio>
#include <cstring>

namespace {

void Put32(unsigned char* p, unsigned long v)
{
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

// ID3v2.4 sizes are 28 bits, seven to a byte.
void PutSyncSafe(unsigned char* p, unsigned v)
{
    for (int i = 3; i >= 0; --i, v >>= 7)
        p[i] = static_cast<unsigned char>(v & 0x7F);
}

// One text frame in UTF-8 (encoding 3); false when it does not fit.
bool TextFrame(const char* id, const wchar_t* text, unsigned char* tag, unsigned capacity, unsigned& at)
{
    if (!text || !text[0])
        return true;
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1 || at + 11 + static_cast<unsigned>(n) > capacity)
        return false;
    memcpy(tag + at, id, 4);
    PutSyncSafe(tag + at + 4, static_cast<unsigned>(n));  // the encoding byte and the text without its NUL
    tag[at + 8] = tag[at + 9] = 0;
    tag[at + 10] = 3;
    WideCharToMultiByte(CP_UTF8, 0, text, -1, reinterpret_cast<char*>(tag + at + 11), n, nullptr, nullptr);
    at += 10 + static_cast<unsigned>(n);  // the NUL is not written: the next frame begins there
    return true;
}

}  // namespace

CMp3File::CMp3File() : m_InfoAt(0), m_Header(), m_InfoBytes(0), m_FirstBitrate(0), m_bVbr(false) {}

CMp3File::~CMp3File()
{
    if (IsOpen())
        Close();
}

unsigned CMp3File::Id3Tag(const RecordingTags& tags, unsigned char* tag, unsigned capacity)
{
    if (capacity < 10)
        return 0;
    unsigned at = 10;
    wchar_t date[24] = L"";
    const SYSTEMTIME& t = tags.m_Start;
    if (t.wYear)
        swprintf(date, 24, L"%04u-%02u-%02uT%02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    // The station goes into TPE1, the artist: Explorer, phones and every
    // player show and sort by it, where TRSN (the radio station's own
    // frame) is shown by few.
    if (!TextFrame("TIT2", tags.m_Title, tag, capacity, at) || !TextFrame("TPE1", tags.m_Station, tag, capacity, at) ||
        !TextFrame("TDRC", date, tag, capacity, at))
        return 0;
    memcpy(tag, "ID3\x04\x00\x00", 6);
    PutSyncSafe(tag + 6, at - 10);
    return at;
}

unsigned CMp3File::InfoFrame(const unsigned char* header, unsigned long frames, unsigned long bytes, bool vbr,
                             unsigned char* frame)
{
    unsigned char h[4] = {header[0], static_cast<unsigned char>(header[1] | 1),  // no CRC
                          static_cast<unsigned char>(header[2] & ~0x02), header[3]};  // no padding
    Mp3Header parsed;
    if (!parsed.Parse(h, 4))
        return 0;
    unsigned side = parsed.version == 10 ? (parsed.channels == 1 ? 17 : 32) : (parsed.channels == 1 ? 9 : 17);
    unsigned need = 4 + side + 16;
    // A frame too small for the header at the stream's own rate takes a higher one.
    for (unsigned index = h[2] >> 4; parsed.bytes < need; ++index) {
        if (index >= 14)
            return 0;
        h[2] = static_cast<unsigned char>(((index + 1) << 4) | (h[2] & 0x0F));
        if (!parsed.Parse(h, 4))
            return 0;
    }
    if (parsed.bytes > kMaxInfoFrame)
        return 0;
    // Silent: side information of zeros holds no audio data.
    memset(frame, 0, parsed.bytes);
    memcpy(frame, h, 4);
    unsigned char* x = frame + 4 + side;
    memcpy(x, vbr ? "Xing" : "Info", 4);
    Put32(x + 4, 3);  // frames and bytes follow
    Put32(x + 8, frames);
    Put32(x + 12, bytes);
    return parsed.bytes;
}

int CMp3File::CreateStream(const wchar_t* path, int overwrite)
{
    int code = CStreamFile::CreateStream(path, overwrite);
    if (code != 0)
        return code;
    m_InfoBytes = 0;
    m_bVbr = false;
    unsigned char tag[4096];
    unsigned size = Id3Tag(m_Tags, tag, sizeof tag);
    if (!size) {
        // Titles too long for the tag: the file goes on without it.
        RecordingTags none;
        none.m_Start = m_Tags.m_Start;
        size = Id3Tag(none, tag, sizeof tag);
    }
    if (size && !WriteWhole(tag, size)) {
        Trace(L"[CMp3File] the tag of %s could not be written\n", path);
        CStreamFile::Close();
        DeleteFileW(path);
        return -1;
    }
    m_InfoAt = m_Size;
    return 0;
}

bool CMp3File::AppendFrame(const StreamFrame& frame)
{
    if (frame.bytes < 4)
        return false;
    if (!m_InfoBytes) {
        memcpy(m_Header, frame.data, 4);
        m_FirstBitrate = frame.data[2] >> 4;
        unsigned char info[kMaxInfoFrame];
        m_InfoBytes = InfoFrame(m_Header, 0, 0, false, info);
        if (m_InfoBytes && !WriteWhole(info, m_InfoBytes)) {
            m_InfoBytes = 0;
            return false;
        }
        if (!m_InfoBytes)
            m_InfoBytes = ~0u;  // none for this stream: never looked for again
    }
    if ((frame.data[2] >> 4) != m_FirstBitrate)
        m_bVbr = true;
    return CStreamFile::AppendFrame(frame);
}

bool CMp3File::WriteInfo()
{
    if (!IsOpen() || !m_InfoBytes || m_InfoBytes == ~0u)
        return false;
    unsigned char info[kMaxInfoFrame];
    unsigned long long bytes = m_WholeEnd - m_InfoAt;
    unsigned n =
        InfoFrame(m_Header, static_cast<unsigned long>(m_Frames), static_cast<unsigned long>(bytes), m_bVbr, info);
    return n == m_InfoBytes && Write(info, n, m_InfoAt) == n;
}

bool CMp3File::RefreshHeader(bool flush)
{
    WriteInfo();
    return CStreamFile::RefreshHeader(flush);
}

void CMp3File::Close()
{
    if (IsOpen() && !m_bRead) {
        DropPartialFrame();
        WriteInfo();
    }
    CStreamFile::Close();
}
