#include "frames/FrameSplitter.h"
#include "frames/AdtsHeader.h"
#include "frames/Mp3Header.h"

#include <cstring>
#include <new>

CFrameSplitter::CFrameSplitter(StreamKind kind)
    : m_Kind(kind), m_pData(nullptr), m_Capacity(0), m_Start(0), m_End(0), m_Skipped(0), m_Fixed(0), m_Rate(0),
      m_Channels(0), m_Version(0), m_bHadChain(false)
{
}

CFrameSplitter::~CFrameSplitter()
{
    delete[] m_pData;
}

bool CFrameSplitter::Feed(const void* data, size_t bytes)
{
    // What was handed on goes first; the rest moves to the front.
    if (m_Start > 0) {
        memmove(m_pData, m_pData + m_Start, m_End - m_Start);
        m_End -= m_Start;
        m_Start = 0;
    }
    if (m_End + bytes > kMaxHeld) {
        // No frame is this long: what is held is damage.
        size_t drop = m_End + bytes - kMaxHeld;
        if (drop >= m_End) {
            m_Skipped += m_End + (drop - m_End);
            data = static_cast<const char*>(data) + (drop - m_End);
            bytes -= drop - m_End;
            m_End = 0;
        } else {
            memmove(m_pData, m_pData + drop, m_End - drop);
            m_End -= drop;
            m_Skipped += drop;
        }
    }
    if (m_End + bytes > m_Capacity) {
        size_t capacity = m_Capacity ? m_Capacity : 65536;
        while (capacity < m_End + bytes)
            capacity *= 2;
        unsigned char* grown = new (std::nothrow) unsigned char[capacity];
        if (!grown) {
            m_Skipped += bytes;
            return false;
        }
        if (m_End)
            memcpy(grown, m_pData, m_End);
        delete[] m_pData;
        m_pData = grown;
        m_Capacity = capacity;
    }
    memcpy(m_pData + m_End, data, bytes);
    m_End += bytes;
    return true;
}

void CFrameSplitter::Skip(size_t bytes)
{
    m_Start += bytes;
    m_Skipped += bytes;
}

bool CFrameSplitter::Next(StreamFrame& frame, bool final)
{
    while (m_Start < m_End) {
        frame = StreamFrame();
        int found = m_Kind == kKindOgg ? Ogg(frame, final) : Mpeg(frame, final);
        if (found > 0)
            return true;
        if (found < 0)
            return false;
    }
    return false;
}

int CFrameSplitter::Mpeg(StreamFrame& frame, bool final)
{
    const unsigned char* p = m_pData + m_Start;
    size_t size = m_End - m_Start;
    if (size_t tag = StreamSniff::Id3Size(p, size)) {
        if (tag > size)
            return final ? (Skip(size), 0) : -1;
        Skip(tag);
        return 0;
    }
    bool mp3 = m_Kind == kKindMp3;
    size_t headerSize = mp3 ? Mp3Header::kSize : AdtsHeader::kSize;
    if (size < headerSize)
        return final ? (Skip(size), 0) : -1;
    Mp3Header m;
    AdtsHeader a;
    bool parsed = mp3 ? m.Parse(p, size) : a.Parse(p, size);
    unsigned long fixed = parsed ? (mp3 ? Mp3Header::Fixed(p) : AdtsHeader::Fixed(p)) : 0;
    unsigned bytes = mp3 ? m.bytes : a.bytes;
    if (!parsed) {
        Skip(1);  // no frame begins here: one byte on
        return 0;
    }
    if (bytes > size)
        return final ? (Skip(size), 0) : -1;
    bool locked = m_Fixed && fixed == m_Fixed;
    if (!locked) {
        // A new sync (the first, or a stream that changed its format)
        // counts once the two frames after it agree.
        size_t at = bytes;
        for (int n = 0; n < 2; ++n) {
            if (at + headerSize > size) {
                if (!final)
                    return -1;
                break;
            }
            Mp3Header m2;
            AdtsHeader a2;
            bool ok = mp3 ? m2.Parse(p + at, size - at) && Mp3Header::Fixed(p + at) == fixed
                          : a2.Parse(p + at, size - at) && AdtsHeader::Fixed(p + at) == fixed;
            if (!ok) {
                Skip(1);
                return 0;
            }
            at += mp3 ? m2.bytes : a2.bytes;
        }
        m_Fixed = fixed;
    }
    frame.data = p;
    frame.bytes = bytes;
    frame.samples = mp3 ? m.samples : a.samples;
    frame.rate = mp3 ? m.rate : a.rate;
    frame.channels = mp3 ? m.channels : a.channels;
    frame.bitrate = mp3 ? m.bitrate : 0;
    int version = mp3 ? m.version : static_cast<int>(a.profile);
    frame.newFormat = frame.rate != m_Rate || frame.channels != m_Channels || version != m_Version;
    m_Rate = frame.rate;
    m_Channels = frame.channels;
    m_Version = version;
    m_Start += bytes;
    return 1;
}

int CFrameSplitter::Ogg(StreamFrame& frame, bool final)
{
    const unsigned char* p = m_pData + m_Start;
    size_t size = m_End - m_Start;
    OggPage page;
    int parsed = page.Parse(p, size);
    if (parsed > 0)
        return final ? (Skip(size), 0) : -1;
    if (parsed < 0) {
        // On to the next capture pattern.
        const void* next = size > 1 ? memchr(p + 1, 'O', size - 1) : nullptr;
        Skip(next ? static_cast<size_t>(static_cast<const unsigned char*>(next) - p) : size);
        return 0;
    }
    if (page.flags & OggPage::kFirst) {
        COggChain before = m_Chain;
        if (!m_Chain.Begin(page, p)) {
            // A stream of another codec: its pages are not recorded.
            Skip(page.bytes);
            return 0;
        }
        frame.newFormat = !m_bHadChain || !m_Chain.SameFormat(before);
        m_bHadChain = true;
    }
    if (!m_Chain.Place(page, p, frame)) {
        Skip(page.bytes);
        return 0;
    }
    frame.data = p;
    frame.bytes = page.bytes;
    m_Start += page.bytes;
    return 1;
}
