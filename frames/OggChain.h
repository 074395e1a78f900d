// One logical stream of an Ogg stream, from its first page: the codec, which
// pages are its headers, and each audio page's duration by the granule
// positions.
#pragma once

#include "frames/OggPage.h"
#include "frames/StreamFrame.h"

class COggChain {
public:
    // A first page (kFirst) begins a chain: false when its codec is not one
    // this program records (Opus, Vorbis).
    bool Begin(const OggPage& page, const unsigned char* p);
    // The page's place: header or audio, its duration; false when the page
    // is not this chain's.
    bool Place(const OggPage& page, const unsigned char* p, StreamFrame& frame);
    bool Active() const { return m_Codec != kOggNone; }
    unsigned Serial() const { return m_Serial; }
    // Same codec, rate and channels: a new chain of it goes on in the same file.
    bool SameFormat(const COggChain& other) const
    {
        return m_Codec == other.m_Codec && m_Rate == other.m_Rate && m_Channels == other.m_Channels;
    }

private:
    // Opus packets' durations from their first byte (RFC 6716 3.1), for a
    // page whose granule before it is not known.
    static unsigned OpusSamples(const OggPage& page, const unsigned char* p);

    OggCodec m_Codec = kOggNone;
    unsigned m_Serial = 0, m_Rate = 0, m_Channels = 0, m_Bitrate = 0;
    unsigned m_HeadersLeft = 0;  // header packets still to come
    long long m_Granule = -1;    // of the last audio page placed; -1: not known
};
