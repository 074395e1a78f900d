#include "support/TestSupport.h"
#include "support/WavChecks.h"

#include <algorithm>
#include <gtest/gtest.h>

std::string Ramp(unsigned firstFrame, unsigned frames, int channels)
{
    std::string out;
    out.resize(static_cast<size_t>(frames) * 2 * channels);
    char* p = &out[0];
    for (unsigned i = 0; i < frames; ++i) {
        unsigned n = firstFrame + i;
        p[0] = static_cast<char>(n);
        p[1] = static_cast<char>(n >> 8);
        if (channels == 2) {
            p[2] = static_cast<char>(n >> 16);
            p[3] = static_cast<char>(n >> 24);
        }
        p += 2 * channels;
    }
    return out;
}

static unsigned U32(const std::string& s, size_t at)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data()) + at;
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<unsigned>(p[3]) << 24);
}

static unsigned U16(const std::string& s, size_t at)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data()) + at;
    return p[0] | (p[1] << 8);
}

WavFields ReadWav(const std::wstring& path)
{
    WavFields w;
    std::string bytes = ReadBytes(path);
    if (bytes.size() < 56 || bytes.compare(0, 4, "RIFF") || bytes.compare(8, 8, "WAVEfmt ") ||
        bytes.compare(36, 4, "fact") || bytes.compare(48, 4, "data"))
        return w;
    w.valid = U32(bytes, 40) == 4;
    w.riffSize = U32(bytes, 4);
    w.channels = U16(bytes, 22);
    w.rate = U32(bytes, 24);
    w.avgBytes = U32(bytes, 28);
    w.align = U16(bytes, 32);
    w.factFrames = U32(bytes, 44);
    w.dataSize = U32(bytes, 52);
    w.data = bytes.substr(56);
    return w;
}

std::vector<unsigned> RampFrames(const std::string& pcm, int channels, size_t* breaks, size_t* first)
{
    std::vector<unsigned> frames;
    *breaks = *first = 0;
    for (size_t at = 0; at + 2 * channels <= pcm.size(); at += 2 * channels) {
        unsigned n = U16(pcm, at) | (channels == 2 ? U16(pcm, at + 2) << 16 : 0);
        if (!frames.empty() && n != ((frames.back() + 1) & (channels == 2 ? ~0u : 0xFFFFu)) && !(*breaks)++)
            *first = frames.size();
        frames.push_back(n);
    }
    return frames;
}

std::vector<unsigned> CheckRamp(const std::string& pcm, int channels, const std::string& what)
{
    size_t breaks, first;
    std::vector<unsigned> frames = RampFrames(pcm, channels, &breaks, &first);
    EXPECT_EQ(breaks, 0u) << "discontinuities in " << what << ", the first at frame " << first;
    return frames;
}

int Peak(const std::string& pcm)
{
    int peak = 0;
    for (size_t at = 0; at + 2 <= pcm.size(); at += 2) {
        int v = static_cast<short>(U16(pcm, at));
        peak = std::max(peak, v < 0 ? -v : v);
    }
    return peak;
}

unsigned Scramble(unsigned n)
{
    unsigned x = n * 0x9E3779B1u;
    x ^= x >> 15;
    x *= 0x85EBCA6Bu;
    x ^= x >> 13;
    return x >> 16;
}

size_t CheckScrambled(const std::string& pcm, const std::string& what)
{
    // The left channels as a mono ramp, where each right channel is the left's scramble.
    std::string left;
    for (size_t at = 0; at + 4 <= pcm.size(); at += 4)
        left += U16(pcm, at + 2) == Scramble(U16(pcm, at)) ? pcm.substr(at, 2) : std::string("\xFF\xFF\xFF\xFF", 2);
    return CheckRamp(left, 1, what).size();
}

std::wstring WavName(const std::wstring& prefix, unsigned n, const wchar_t* extension)
{
    wchar_t number[16];
    swprintf(number, 16, L"_%03u.", n);
    return prefix + number + extension;
}

RecordedFiles ReadRecording(const std::wstring& prefixPath, unsigned rate, unsigned channels, unsigned maxData,
                            unsigned unheadered)
{
    RecordedFiles r;
    for (;; ++r.files) {
        WavFields w = ReadWav(WavName(prefixPath, r.files));
        if (!w.valid)
            break;
        std::string name = Narrow(WavName(prefixPath, r.files));
        EXPECT_LE(w.dataSize, w.data.size()) << name;
        EXPECT_LE(w.data.size(), w.dataSize + unheadered) << name;
        EXPECT_EQ(w.dataSize % (2 * channels), 0u) << name;
        // RIFF size, rate, channels, block align, bytes per second, fact frames.
        EXPECT_EQ(std::vector<unsigned>({w.riffSize, w.rate, w.channels, w.align, w.avgBytes, w.factFrames}),
                  std::vector<unsigned>({48 + w.dataSize, rate, channels, 2 * channels, 2 * channels * rate,
                                         w.dataSize / (2 * channels)}))
            << name;
        if (maxData) {
            EXPECT_LE(w.dataSize, maxData + rate / 30 * 2 * channels) << name;
            if (Exists(WavName(prefixPath, r.files + 1))) {
                EXPECT_GE(w.dataSize, maxData) << name;
            }
        }
        r.pcm += w.data;
    }
    return r;
}
