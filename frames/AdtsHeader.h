// The header that opens each AAC frame of an ADTS stream (LC, or HE-AAC,
// whose header gives the core rate): what the frame holds and how long it is.
#pragma once

#include <cstddef>

struct AdtsHeader {
    static constexpr size_t kSize = 7;

    unsigned profile = 0;  // the audio object type less one: 1 is LC
    unsigned rateIndex = 0;
    unsigned rate = 0;       // the core's samples a second
    unsigned channels = 0;   // 0: given in the stream itself
    unsigned samples = 0;    // per channel: 1024 a raw data block
    unsigned bytes = 0;      // the whole frame, header included

    bool Parse(const unsigned char* p, size_t size);
    // The fields every frame of one stream shares.
    static unsigned long Fixed(const unsigned char* p)
    {
        return (static_cast<unsigned long>(p[1] & 0xFE) << 16) | (static_cast<unsigned long>(p[2] & 0xFD) << 8) |
               (p[3] & 0xC0);
    }
};
