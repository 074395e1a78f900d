// The four bytes that open an MPEG audio frame, MPEG-1, 2 or 2.5 Layer III,
// as a station sends them: what the frame holds and how long it is.
#pragma once

#include <cstddef>

struct Mp3Header {
    static constexpr size_t kSize = 4;

    int version = 0;      // 10 (MPEG-1), 20 (MPEG-2) or 25 (MPEG-2.5)
    unsigned bitrate = 0;  // kbit/s
    unsigned rate = 0;     // samples a second
    unsigned channels = 0;
    unsigned samples = 0;  // a frame's samples per channel
    unsigned bytes = 0;    // the whole frame, header included
    bool crc = false;      // a 16-bit CRC follows the header

    // False unless p holds the header of a Layer III frame this program
    // records (free format, reserved values and other layers are refused).
    bool Parse(const unsigned char* p, size_t size);
    // The fields two frames of one stream share; a frame that differs in
    // them is a false sync or a new stream.
    static unsigned long Fixed(const unsigned char* p)
    {
        return (static_cast<unsigned long>(p[1] & 0xFE) << 8) | (p[2] & 0x0C) | (p[3] >> 6 == 3 ? 1 : 0);
    }
};
