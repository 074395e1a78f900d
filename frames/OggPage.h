// One page of an Ogg stream, checked by its CRC: its size, its place in the
// logical stream, and what its packets are (Opus or Vorbis, header or audio).
#pragma once

#include <cstddef>

struct OggPage {
    static constexpr size_t kMinSize = 27;
    static constexpr unsigned char kContinued = 1, kFirst = 2, kLast = 4;

    unsigned char flags = 0;
    long long granule = -1;  // -1: no packet ends on this page
    unsigned serial = 0;
    unsigned sequence = 0;
    unsigned bytes = 0;      // header, segment table and body
    unsigned bodyStart = 0;  // offset of the body
    unsigned packetsEnded = 0;  // packets that end on this page

    // 0: p holds a whole page with a right CRC; otherwise the bytes still
    // missing (size too short), or -1 when p does not begin a page.
    int Parse(const unsigned char* p, size_t size);

    // The Ogg CRC of size bytes, going on from crc.
    static unsigned Crc(const unsigned char* p, size_t size, unsigned crc = 0);
};
