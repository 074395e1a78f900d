#include "capture/BaseCapture.h"
#include "files/WaveFile.h"
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
