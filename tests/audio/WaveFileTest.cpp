#include "support/WavChecks.h"
#include "audio/WaveFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

TEST(WaveFile, EmptyFileIsExactly56Bytes)
{
    TempDir dir;
    std::wstring path = dir.File(L"empty.wav");
    CWaveFile f;
    ASSERT_EQ(f.Create(path.c_str(), PcmFormat(48000, 2), 0), 0);
    f.Close();
    std::string bytes = ReadBytes(path);
    const char expected[] =
        "RIFF\x30\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x80\xBB\0\0\0\xEE\x02\0\x04\0\x10\0"
        "fact\x04\0\0\0\0\0\0\0data\0\0\0\0";
    EXPECT_EQ(bytes, std::string(expected, 56));
    f.Close();  // twice: nothing happens
    EXPECT_EQ(ReadBytes(path).size(), 56u);
}

TEST(WaveFile, SizesAfterDataAndHeaderRefresh)
{
    TempDir dir;
    std::wstring path = dir.File(L"mono.wav");
    CWaveFile f;
    ASSERT_EQ(f.Create(path.c_str(), PcmFormat(8000, 1), 0), 0);
    std::string pcm = Ramp(0, 8000, 1);
    EXPECT_EQ(f.Write(pcm.data(), static_cast<unsigned>(pcm.size())), pcm.size());
    // While still open, the header on disk already covers what was written.
    ASSERT_TRUE(f.RefreshHeader());
    WavFields mid = ReadWav(path);
    EXPECT_EQ(mid.dataSize, 16000u);
    EXPECT_EQ(mid.factFrames, 8000u);
    EXPECT_EQ(f.Write(pcm.data(), 3), 3u);  // appended at the end, not over the header
    f.Close();
    WavFields w = ReadWav(path);
    ASSERT_TRUE(w.valid);
    EXPECT_EQ(w.riffSize, 48u + 16003u);
    EXPECT_EQ(w.dataSize, 16003u);
    EXPECT_EQ(w.factFrames, 8001u);
    EXPECT_EQ(w.channels, 1u);
    EXPECT_EQ(w.rate, 8000u);
    EXPECT_EQ(w.align, 2u);
    EXPECT_EQ(w.avgBytes, 16000u);
    EXPECT_EQ(w.data, pcm + pcm.substr(0, 3));
}

TEST(WaveFile, FactFramesOfAFullDefaultFile)
{
    TempDir dir;
    std::wstring path = dir.File(L"big.wav");
    CWaveFile f;
    ASSERT_EQ(f.Create(path.c_str(), PcmFormat(48000, 2), 0), 0);
    std::string block(1048576, '\x11');
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(f.Write(block.data(), 1048576), 1048576u);
    f.Close();
    std::string head = ReadBytes(path).substr(0, 56);
    WavFields w = ReadWav(path);
    EXPECT_EQ(w.dataSize, 104857600u);
    EXPECT_EQ(w.factFrames, 26214400u);
    EXPECT_EQ(w.riffSize, 104857648u);
}

TEST(WaveFile, CreationRules)
{
    TempDir dir;
    std::wstring existing = dir.File(L"exists.wav");
    ASSERT_TRUE(WriteBytes(existing, "keep"));
    CWaveFile f;
    EXPECT_EQ(f.Create(existing.c_str(), PcmFormat(48000, 2), 0), -2);
    EXPECT_EQ(ReadBytes(existing), "keep");
    WAVEFORMATEX bad = PcmFormat(48000, 2);
    bad.nChannels = 0;
    std::wstring none = dir.File(L"none.wav");
    EXPECT_EQ(f.Create(none.c_str(), bad, 0), -1);
    bad = PcmFormat(48000, 2);
    bad.wFormatTag = 3;
    EXPECT_EQ(f.Create(none.c_str(), bad, 0), -1);
    EXPECT_FALSE(Exists(none));
    ASSERT_EQ(f.Create(none.c_str(), PcmFormat(16000, 1), 0), 0);
    EXPECT_EQ(f.Create(dir.File(L"other.wav").c_str(), PcmFormat(16000, 1), 0), -1);
    {
        CWaveFile destroyed;
        ASSERT_EQ(destroyed.Create(dir.File(L"d.wav").c_str(), PcmFormat(16000, 1), 1), 0);
        destroyed.Write("abcd", 4);
    }
    EXPECT_EQ(ReadWav(dir.File(L"d.wav")).dataSize, 4u);  // destruction finalises the header
}

TEST(WaveFile, ReaderSide)
{
    TempDir dir;
    // fmt of 18 bytes with a zero cbSize, then a LIST chunk, then data.
    std::string fmt = std::string("fmt \x12\0\0\0\x01\0\x01\0\x40\x1F\0\0\x80\x3E\0\0\x02\0\x10\0\0\0", 26);
    std::string list = std::string("LIST\x04\0\0\0abcd", 12);
    std::string pcm = Ramp(0, 8000 * 3, 1);
    std::string body = "WAVE" + fmt + list + "data" + std::string("\0\0\0\0", 4) + pcm;
    std::string riff = "RIFF" + std::string("\0\0\0\0", 4) + body;
    std::wstring path = dir.File(L"r.wav");
    ASSERT_TRUE(WriteBytes(path, riff));
    CWaveFile r;
    ASSERT_EQ(r.Open(path.c_str()), 1);
    EXPECT_EQ(r.m_Offset, 12u + 26 + 12 + 8);
    EXPECT_EQ(r.m_TotalFrames, 24000u);
    EXPECT_EQ(r.GetInfo()->m_Frequency, 8000u);
    EXPECT_EQ(r.GetInfo()->m_MediaType, 94u);
    r.SetBlock(0, 1000);
    EXPECT_EQ(r.GetBlockSize(), 16000u);
    EXPECT_EQ(r.GetBlockCount(), 3u);
    std::string got(16000, '\0');
    EXPECT_EQ(r.ReadSamples(0, &got[0], 16000), 16000u);
    EXPECT_EQ(got, pcm.substr(0, 16000));
    EXPECT_EQ(r.GetTime(), 1u);
    {
        TraceCapture trace;
        r.SeekTime(2);
        EXPECT_TRUE(TraceCapture::Contains(L"adr = 32058, m_Offset=58, SamplesPerSec=8000\n"));
    }
    EXPECT_FALSE(r.IsEnd());
    r.Close();  // a read file keeps its bytes
    EXPECT_EQ(ReadBytes(path), riff);

    // Any format tag is read; a data chunk past the first 1024 bytes is not found.
    std::string odd = riff;
    odd[20] = 3;
    ASSERT_TRUE(WriteBytes(path, odd));
    CWaveFile o;
    EXPECT_EQ(o.Open(path.c_str()), 1);
    o.Close();
    std::string distant = "RIFF" + std::string("\0\0\0\0", 4) + "WAVE" + fmt + "JUNK" +
                      std::string("\x00\x04\0\0", 4) + std::string(1024, 'j') + "data" +
                      std::string("\0\0\0\0", 4) + pcm;
    ASSERT_TRUE(WriteBytes(path, distant));
    CWaveFile f;
    EXPECT_EQ(f.Open(path.c_str()), 0);
    ASSERT_TRUE(WriteBytes(path, "RIFX0000WAVE"));
    EXPECT_EQ(f.Open(path.c_str()), 0);
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
        ASSERT_EQ(f.Create(path.c_str(), PcmFormat(s.rate, s.channels), 0), 0);
        std::string pcm = Ramp(0, s.frames, s.channels);
        if (!pcm.empty())
            f.Write(pcm.data(), static_cast<unsigned>(pcm.size()));
        f.Close();
    }
}
