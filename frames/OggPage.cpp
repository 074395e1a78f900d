#include "frames/OggPage.h"

#include <cstring>

namespace {

unsigned Le32(const unsigned char* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<unsigned>(p[3]) << 24);
}

}  // namespace

unsigned OggPage::Crc(const unsigned char* p, size_t size, unsigned crc)
{
    struct Table {
        unsigned v[256];
        Table()
        {
            for (unsigned i = 0; i < 256; ++i) {
                unsigned r = i << 24;
                for (int k = 0; k < 8; ++k)
                    r = r & 0x80000000u ? (r << 1) ^ 0x04C11DB7u : r << 1;
                v[i] = r;
            }
        }
    };
    static const Table table;  // made once, safely, by the first caller
    for (size_t i = 0; i < size; ++i)
        crc = (crc << 8) ^ table.v[((crc >> 24) ^ p[i]) & 0xFF];
    return crc;
}

int OggPage::Parse(const unsigned char* p, size_t size)
{
    static const unsigned char kPattern[4] = {'O', 'g', 'g', 'S'};
    size_t have = size < 4 ? size : 4;
    if (memcmp(p, kPattern, have) != 0 || (size > 4 && p[4] != 0))
        return -1;
    if (size < kMinSize)
        return static_cast<int>(kMinSize - size);
    unsigned segments = p[26];
    if (size < kMinSize + segments)
        return static_cast<int>(kMinSize + segments - size);
    unsigned body = 0, ended = 0;
    for (unsigned i = 0; i < segments; ++i) {
        body += p[kMinSize + i];
        if (p[kMinSize + i] < 255)
            ++ended;
    }
    size_t whole = kMinSize + segments + body;
    if (size < whole)
        return static_cast<int>(whole - size);
    // The CRC is taken with its own field as zeros.
    unsigned char head[kMinSize];
    memcpy(head, p, kMinSize);
    memset(head + 22, 0, 4);
    unsigned crc = Crc(p + kMinSize, whole - kMinSize, Crc(head, kMinSize));
    if (crc != Le32(p + 22))
        return -1;
    flags = p[5];
    unsigned long long g = 0;
    for (int i = 7; i >= 0; --i)
        g = (g << 8) | p[6 + i];
    granule = static_cast<long long>(g);
    serial = Le32(p + 14);
    sequence = Le32(p + 18);
    bytes = static_cast<unsigned>(whole);
    bodyStart = static_cast<unsigned>(kMinSize + segments);
    packetsEnded = ended;
    return 0;
}
