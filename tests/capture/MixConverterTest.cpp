// The mix-format conversion: samples, speakers and rate, each converted
// packet placed where its stream frames were.
#include "capture/MixConverter.h"

#include <gtest/gtest.h>
#include <cmath>
#include <vector>

namespace {

const double kTwoPiKHz = 2 * 3.14159265358979323846 * 1000;

WAVEFORMATEXTENSIBLE Extensible(WORD bits, WORD channels, DWORD rate, DWORD mask, bool isFloat)
{
    WAVEFORMATEXTENSIBLE x = {};
    x.Format = {WAVE_FORMAT_EXTENSIBLE, channels, rate, 0, static_cast<WORD>(channels * bits / 8), bits, 22};
    x.Format.nAvgBytesPerSec = rate * x.Format.nBlockAlign;
    x.Samples.wValidBitsPerSample = bits;
    x.dwChannelMask = mask;
    x.SubFormat = {isFloat ? 3u : 1u, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
    return x;
}

WAVEFORMATEX Pcm(WORD channels, DWORD rate)
{
    return {WAVE_FORMAT_PCM, channels, rate, rate * channels * 2u, static_cast<WORD>(channels * 2), 16, 0};
}

std::vector<short> Samples(const CMixConverter::Packet& p, int channels)
{
    const short* s = reinterpret_cast<const short*>(p.data);
    return std::vector<short>(s, s + p.frames * channels);
}

}  // namespace

// Float at the file's rate is exact (every float x 32768 an integer; halves
// round to even), full scale clips; 24-bit PCM keeps its top 16 bits; 5.1
// folds into two speakers (centre and surrounds at -3 dB, no LFE) and two
// into one.
TEST(MixConverter, SamplesAndSpeakers)
{
    CMixConverter c;
    WAVEFORMATEXTENSIBLE f = Extensible(32, 2, 48000, 3, true);
    ASSERT_TRUE(c.Setup(&f.Format, Pcm(2, 48000)));
    const float floats[] = {1234 / 32768.0f, -1 / 32768.0f, 1.5f, -2.0f};
    CMixConverter::Packet p = c.Convert(reinterpret_cast<const BYTE*>(floats), 2, 100, 5000);
    EXPECT_EQ(Samples(p, 2), (std::vector<short>{1234, -1, 32767, -32768}));
    EXPECT_EQ(p.position, 100u);
    EXPECT_EQ(p.qpc, 5000);

    WAVEFORMATEXTENSIBLE i24 = Extensible(24, 1, 48000, 4, false);
    ASSERT_TRUE(c.Setup(&i24.Format, Pcm(1, 48000)));
    const BYTE bytes[] = {0xC0, 0x34, 0x12, 0x00, 0x00, 0x80};  // 0x1234C0 and the most negative
    EXPECT_EQ(Samples(c.Convert(bytes, 2, 0, 0), 1), (std::vector<short>{0x1235, -32768}));

    WAVEFORMATEXTENSIBLE surround = Extensible(32, 6, 48000, 0x60F, true);  // FL FR FC LFE SL SR
    ASSERT_TRUE(c.Setup(&surround.Format, Pcm(2, 48000)));
    const float frame[] = {0.5f, 0, 0.5f, 1.0f, 0, 0.5f};
    std::vector<short> lr = Samples(c.Convert(reinterpret_cast<const BYTE*>(frame), 1, 0, 0), 2);
    const double sum = 1 + 2 * std::sqrt(0.5);
    EXPECT_NEAR(lr[0], 32768 * (0.5 + 0.5 * std::sqrt(0.5)) / sum, 1);
    EXPECT_NEAR(lr[1], 32768 * (0.5 * std::sqrt(0.5) + 0.5 * std::sqrt(0.5)) / sum, 1);

    ASSERT_TRUE(c.Setup(&f.Format, Pcm(1, 48000)));
    EXPECT_EQ(Samples(c.Convert(reinterpret_cast<const BYTE*>(floats), 1, 0, 0), 1), (std::vector<short>{616}));
    WAVEFORMATEX unknown = Pcm(2, 48000);
    unknown.wBitsPerSample = 12;
    EXPECT_FALSE(c.Setup(&unknown, Pcm(2, 48000)));
}

// 48 kHz float to 44.1 kHz through the resampler, in 10 ms packets: the
// sine comes out at its level and in its phase at the times the converted
// packets are given, their positions follow on, and a gap in the stream's
// positions is a gap of the same length in the file's.
TEST(MixConverter, ResampledPacketsKeepTheirPlace)
{
    CMixConverter c;
    WAVEFORMATEXTENSIBLE f = Extensible(32, 1, 48000, 4, true);
    ASSERT_TRUE(c.Setup(&f.Format, Pcm(1, 44100)));
    ASSERT_TRUE(c.Resamples());
    const long long t0 = 1000000000LL;  // the counter at stream frame 0, 100-ns units
    unsigned long long next = 0, made = 0;
    double worst = 0;
    for (unsigned long long first = 0; first < 48000; first += 480) {
        unsigned long long at = first < 24000 ? first : first + 4800;  // 100 ms missing half-way
        std::vector<float> sine(480);
        for (unsigned i = 0; i < 480; ++i)
            sine[i] = 0.5f * static_cast<float>(std::sin(kTwoPiKHz * (at + i) / 48000.0));
        CMixConverter::Packet p =
            c.Convert(reinterpret_cast<const BYTE*>(sine.data()), 480, at, t0 + static_cast<long long>(at) * 10000000 / 48000);
        if (first == 24000) {
            EXPECT_EQ(p.position, c.ToOutput(at)) << "after the gap";
        } else if (first > 0) {
            EXPECT_EQ(p.position, next);
        }
        next = p.position + p.frames;
        made += p.frames;
        const short* s = reinterpret_cast<const short*>(p.data);
        for (unsigned k = 0; k < p.frames; ++k) {
            double t = (p.qpc - t0) / 1e7 + k / 44100.0;
            if (first >= 960 && (first < 23000 || first > 26000))  // past the resampler's start-up
                worst = std::max(worst, std::fabs(s[k] - 16384 * std::sin(kTwoPiKHz * t)));
        }
    }
    EXPECT_LT(worst, 16384 * 0.02);
    EXPECT_NEAR(static_cast<double>(made), 44100.0, 2 * 40);  // less what the filter holds back, twice
}
