#include "support/WavChecks.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

WAVEFORMATEX PcmFormat(int rate, int channels)
{
    WAVEFORMATEX f = {};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = static_cast<WORD>(channels);
    f.nSamplesPerSec = static_cast<DWORD>(rate);
    f.wBitsPerSample = 16;
    f.nBlockAlign = static_cast<WORD>(2 * channels);
    f.nAvgBytesPerSec = f.nBlockAlign * f.nSamplesPerSec;
    return f;
}

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

std::vector<unsigned> RampFrames(const std::string& pcm, int channels)
{
    std::vector<unsigned> frames;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pcm.data());
    size_t count = pcm.size() / (2 * channels);
    frames.reserve(count);
    for (size_t i = 0; i < count; ++i, p += 2 * channels) {
        unsigned n = p[0] | (p[1] << 8);
        if (channels == 2)
            n |= (p[2] << 16) | (static_cast<unsigned>(p[3]) << 24);
        frames.push_back(n);
    }
    return frames;
}

std::vector<size_t> RampBreaks(const std::vector<unsigned>& frames, int channels)
{
    std::vector<size_t> breaks;
    for (size_t i = 1; i < frames.size(); ++i) {
        unsigned expected = frames[i - 1] + 1;
        if (channels == 1)
            expected &= 0xFFFF;
        if (frames[i] != expected)
            breaks.push_back(i);
    }
    return breaks;
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
    w.fmtSize = U32(bytes, 16);
    w.tag = U16(bytes, 20);
    w.channels = U16(bytes, 22);
    w.rate = U32(bytes, 24);
    w.avgBytes = U32(bytes, 28);
    w.align = U16(bytes, 32);
    w.bits = U16(bytes, 34);
    w.factFrames = U32(bytes, 44);
    w.dataSize = U32(bytes, 52);
    w.data = bytes.substr(56);
    return w;
}

size_t CheckRamp(const std::string& pcm, int channels, const std::string& what)
{
    size_t frame = static_cast<size_t>(2 * channels);
    std::vector<unsigned> frames = RampFrames(pcm.substr(0, pcm.size() / frame * frame), channels);
    std::vector<size_t> breaks = RampBreaks(frames, channels);
    EXPECT_TRUE(breaks.empty()) << breaks.size() << " discontinuities in " << what << ", first at frame "
                                << (breaks.empty() ? 0 : breaks[0]);
    return frames.size();
}

RecordedFiles ReadRecording(const std::wstring& prefixPath, unsigned rate, unsigned channels, unsigned maxData)
{
    RecordedFiles r;
    for (;; ++r.files) {
        wchar_t number[16];
        swprintf(number, 16, L"_%03u.wav", r.files);
        WavFields w = ReadWav(prefixPath + number);
        if (!w.valid)
            break;
        std::string name = Narrow(prefixPath + number);
        EXPECT_EQ(w.dataSize, w.data.size()) << name;
        EXPECT_EQ(w.riffSize, 48 + w.dataSize) << name;
        EXPECT_EQ(w.rate, rate) << name;
        EXPECT_EQ(w.channels, channels) << name;
        EXPECT_EQ(w.align, 2 * channels) << name;
        EXPECT_EQ(w.avgBytes, 2 * channels * rate) << name;
        EXPECT_EQ(w.factFrames, w.dataSize / (2 * channels)) << name;
        if (maxData) {
            EXPECT_LE(w.dataSize, maxData + rate / 30 * 2 * channels) << name;
            swprintf(number, 16, L"_%03u.wav", r.files + 1);
            if (Exists(prefixPath + number)) {
                EXPECT_GE(w.dataSize, maxData) << name;
            }
        }
        r.pcm += w.data;
    }
    return r;
}
