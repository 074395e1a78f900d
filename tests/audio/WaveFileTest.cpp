#include "support/WavChecks.h"
#include "audio/BaseCapture.h"
#include "audio/WaveFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

static const WAVEFORMATEX kStereo48 = CBaseCapture::PcmFormat(2, 48000, 16);

// The 56-byte header, exact at creation; one file at a time; only 16-bit
// style PCM. (Its sizes while recording and at the close are checked with
// every recording the other tests read back.)
TEST(WaveFile, HeaderAndCreationRules)
{
    TempDir dir;
    std::wstring path = dir.File(L"empty.wav");
    {
        CWaveFile f;
        ASSERT_EQ(f.Create(path.c_str(), kStereo48, 0), 0);
        EXPECT_EQ(f.Create(dir.File(L"other.wav").c_str(), kStereo48, 0), -1);
    }
    const char expected[] = "RIFF\x30\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x80\xBB\0\0\0\xEE\x02\0\x04\0\x10\0"
                            "fact\x04\0\0\0\0\0\0\0data\0\0\0\0";
    EXPECT_EQ(ReadBytes(path), std::string(expected, 56));
    CWaveFile again;
    WAVEFORMATEX bad = kStereo48;
    bad.nChannels = 0;
    EXPECT_EQ(again.Create(dir.File(L"bad.wav").c_str(), bad, 0), -1);
    bad = kStereo48;
    bad.wFormatTag = 3;
    EXPECT_EQ(again.Create(dir.File(L"bad.wav").c_str(), bad, 0), -1);
    EXPECT_FALSE(Exists(dir.File(L"bad.wav")));
}

// Writes sample files for the external readers (sox, Python's wave module),
// which the ctest entry wav_readers checks after this run.
TEST(WaveFileSamples, WriteForExternalReaders)
{
    std::wstring folder = EnvironmentValue(L"MARIVANE_SAMPLE_DIR");
    if (folder.empty())
        GTEST_SKIP() << "MARIVANE_SAMPLE_DIR not set";
    struct Sample {
        const wchar_t* name;
        int rate, channels;
        unsigned frames;
    } samples[] = {{L"\\s48000_2.wav", 48000, 2, 48000 * 3 / 2}, {L"\\s8000_1.wav", 8000, 1, 8000 * 2},
                   {L"\\s44100_2.wav", 44100, 2, 44100 / 3}, {L"\\empty.wav", 16000, 1, 0}};
    for (const Sample& s : samples) {
        std::wstring path = folder + s.name;
        DeleteFileW(path.c_str());
        CWaveFile f;
        ASSERT_EQ(f.Create(path.c_str(), CBaseCapture::PcmFormat(s.channels, s.rate, 16), 0), 0);
        std::string pcm = Ramp(0, s.frames, s.channels);
        if (!pcm.empty())
            f.Write(pcm.data(), static_cast<unsigned>(pcm.size()));
        f.Close();
    }
}
