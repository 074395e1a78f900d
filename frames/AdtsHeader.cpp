#include "frames/AdtsHeader.h"

namespace {

const unsigned kRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000, 7350};

}  // namespace

bool AdtsHeader::Parse(const unsigned char* p, size_t size)
{
    // Sync, and layer 0: the MPEG audio sync with a layer is not ADTS.
    if (size < kSize || p[0] != 0xFF || (p[1] & 0xF6) != 0xF0)
        return false;
    rateIndex = (p[2] >> 2) & 0x0F;
    if (rateIndex >= 13)
        return false;
    profile = p[2] >> 6;
    rate = kRates[rateIndex];
    channels = ((p[2] & 1) << 2) | (p[3] >> 6);
    bytes = ((p[3] & 3u) << 11) | (static_cast<unsigned>(p[4]) << 3) | (p[5] >> 5);
    samples = 1024 * ((p[6] & 3u) + 1);
    size_t header = (p[1] & 1) ? 7 : 9;
    return bytes > header && profile != 3;
}
