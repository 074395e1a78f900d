#include "frames/OggChain.h"

#include <cstring>

namespace {

unsigned Le32(const unsigned char* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<unsigned>(p[3]) << 24);
}

// A granule step longer than this is a join in the middle of the stream
// (Icecast sends the headers of the stream's start, then today's audio).
constexpr long long kMaxPageSeconds = 10;

}  // namespace

bool COggChain::Begin(const OggPage& page, const unsigned char* p)
{
    const unsigned char* body = p + page.bodyStart;
    unsigned size = page.bytes - page.bodyStart;
    *this = COggChain();
    if (size >= 19 && memcmp(body, "OpusHead", 8) == 0) {
        m_Codec = kOggOpus;
        m_Channels = body[9];
        m_Rate = 48000;  // the granule's rate, whatever the input was
        m_HeadersLeft = 2;
    } else if (size >= 30 && memcmp(body, "\x01vorbis", 7) == 0) {
        m_Codec = kOggVorbis;
        m_Channels = body[11];
        m_Rate = Le32(body + 12);
        m_Bitrate = Le32(body + 20) / 1000;
        m_HeadersLeft = 3;
    }
    if (!m_Rate || !m_Channels)
        m_Codec = kOggNone;
    m_Serial = page.serial;
    return m_Codec != kOggNone;
}

bool COggChain::Place(const OggPage& page, const unsigned char* p, StreamFrame& frame)
{
    if (m_Codec == kOggNone || page.serial != m_Serial)
        return false;
    frame.codec = m_Codec;
    frame.rate = m_Rate;
    frame.channels = m_Channels;
    frame.bitrate = m_Bitrate;
    frame.samples = 0;
    if (m_HeadersLeft > 0) {
        frame.header = true;
        m_HeadersLeft = page.packetsEnded >= m_HeadersLeft ? 0 : m_HeadersLeft - page.packetsEnded;
        if (!m_HeadersLeft)
            m_Granule = 0;  // a stream heard from its start counts from here
        return true;
    }
    frame.header = false;
    if (page.granule < 0)
        return true;  // no packet ends here: its time is the next page's
    long long step = m_Granule >= 0 ? page.granule - m_Granule : -1;
    if (step >= 0 && step <= kMaxPageSeconds * m_Rate) {
        frame.samples = static_cast<unsigned>(step);
    } else if (m_Codec == kOggOpus) {
        frame.samples = OpusSamples(page, p);
    } else if (m_Bitrate) {
        // Vorbis without the granule before: the page's share of the nominal rate.
        frame.samples = static_cast<unsigned>(8ULL * page.bytes * m_Rate / (m_Bitrate * 1000ULL));
    }
    m_Granule = page.granule;
    return true;
}

unsigned COggChain::OpusSamples(const OggPage& page, const unsigned char* p)
{
    static const unsigned kSilk[4] = {480, 960, 1920, 2880}, kHybrid[2] = {480, 960}, kCelt[4] = {120, 240, 480, 960};
    const unsigned char* lacing = p + OggPage::kMinSize;
    unsigned segments = page.bodyStart - static_cast<unsigned>(OggPage::kMinSize);
    unsigned offset = page.bodyStart, total = 0;
    bool packetStart = !(page.flags & OggPage::kContinued);
    for (unsigned i = 0; i < segments; ++i) {
        if (packetStart && lacing[i] > 0) {
            unsigned char toc = p[offset];
            unsigned config = toc >> 3;
            unsigned frame = config < 12 ? kSilk[config & 3] : config < 16 ? kHybrid[config & 1] : kCelt[config & 3];
            unsigned count = (toc & 3) == 0 ? 1 : (toc & 3) < 3 ? 2 : (lacing[i] > 1 ? p[offset + 1] & 0x3F : 0);
            total += frame * count;
        }
        offset += lacing[i];
        packetStart = lacing[i] < 255;
    }
    return total;
}
