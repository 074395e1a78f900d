#include "frames/Mp3Header.h"

namespace {

const unsigned kBitrates[2][15] = {
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},  // MPEG-1
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},      // MPEG-2 and 2.5
};
const unsigned kRates[3] = {44100, 48000, 32000};

}  // namespace

bool Mp3Header::Parse(const unsigned char* p, size_t size)
{
    if (size < kSize || p[0] != 0xFF || (p[1] & 0xE0) != 0xE0)
        return false;
    int versionBits = (p[1] >> 3) & 3, layerBits = (p[1] >> 1) & 3;
    int bitrateIndex = p[2] >> 4, rateIndex = (p[2] >> 2) & 3;
    if (versionBits == 1 || layerBits != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3 ||
        (p[3] & 3) == 2)
        return false;
    bool mpeg1 = versionBits == 3;
    version = mpeg1 ? 10 : versionBits == 2 ? 20 : 25;
    bitrate = kBitrates[mpeg1 ? 0 : 1][bitrateIndex];
    rate = kRates[rateIndex] >> (mpeg1 ? 0 : versionBits == 2 ? 1 : 2);
    channels = (p[3] >> 6) == 3 ? 1 : 2;
    samples = mpeg1 ? 1152 : 576;
    bytes = (mpeg1 ? 144000 : 72000) * bitrate / rate + ((p[2] >> 1) & 1);
    crc = (p[1] & 1) == 0;
    return true;
}
