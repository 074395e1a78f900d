// The audio controller's requests and file handling, with a fake device.
#include "support/WavChecks.h"
#include "audio/FakeCapture.h"
#include "config/AppParameter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <memory>

int FakeCapture::s_OpenFailures = 0;
int FakeCapture::s_Alive = 0;

namespace {

// A file whose disk fills up after a number of bytes.
class FillingWaveFile : public CWaveFile {
public:
    explicit FillingWaveFile(unsigned long long room) : m_Room(room) {}
    unsigned Write(const void* data, unsigned length, unsigned long long position) override
    {
        if (position == kCurrent) {
            if (m_Room < length)
                return 0;
            m_Room -= length;
        }
        return CWaveFile::Write(data, length, position);
    }

private:
    unsigned long long m_Room;
};

// Settings in g_pConfig for the duration of a test, files in a fresh folder.
struct RecordingRun {
    TempDir dir;
    CAppParameter config;
    TestAudioCtrl ctrl;
    std::wstring prefix;

    RecordingRun(int rate, int channels, int maxMb) : prefix(dir.File(L"show_202405010730"))
    {
        g_pConfig = &config;
        config.m_Frequency = rate;
        config.m_Channels = channels;
        config.m_WavMaxSize = maxMb;
        FakeCapture::s_OpenFailures = 0;
    }
    ~RecordingRun()
    {
        ctrl.CaptureClose();
        g_pConfig = nullptr;
    }
    static wchar_t* NewBlock(const std::wstring& prefix)
    {
        wchar_t* block = new wchar_t[kFilePrefixSize]();
        lstrcpynW(block, prefix.c_str(), kFilePrefixSize);
        return block;
    }
    void OpenAndStart()
    {
        ctrl.m_Task = WM_CAPTURE_OPEN;
        ctrl.CaptureOpen();
        ctrl.m_Task = WM_CAPTURE_START;
        ctrl.CaptureStart(NewBlock(prefix));
    }
    std::wstring FileName(unsigned n)
    {
        wchar_t name[32];
        swprintf(name, 32, L"_%03u.wav", n);
        return prefix + name;
    }
};

}  // namespace

CWaveFile* TestAudioCtrl::NewWaveFile()
{
    return m_FailAfterBytes == ~0ULL ? new CWaveFile() : new FillingWaveFile(m_FailAfterBytes);
}

TEST(AudioCtrl, SplitsExactlyAtTheLimitWithoutLosingAFrame)
{
    RecordingRun r(48000, 2, 1);
    r.OpenAndStart();
    ASSERT_NE(r.ctrl.Device(), nullptr);
    EXPECT_TRUE(r.ctrl.Device()->IsCapturing());
    const unsigned frames = 1600;  // 1/30 s at 48000 Hz
    for (unsigned b = 0; b < 400; ++b)
        r.ctrl.Device()->Deliver(Ramp(b * frames, frames, 2));
    r.ctrl.CaptureClose();
    EXPECT_EQ(r.ctrl.m_pCapture, nullptr);
    EXPECT_EQ(r.ctrl.m_pWaveFile, nullptr);

    // 1 MiB is reached after 164 buffers of 6400 bytes.
    WavFields first = ReadWav(r.FileName(0)), second = ReadWav(r.FileName(1)), third = ReadWav(r.FileName(2));
    ASSERT_TRUE(first.valid && second.valid && third.valid);
    EXPECT_EQ(first.dataSize, 164u * 6400);
    EXPECT_EQ(second.dataSize, 164u * 6400);
    EXPECT_EQ(third.dataSize, 72u * 6400);
    EXPECT_EQ(first.rate, 48000u);
    EXPECT_EQ(first.factFrames, 164u * 1600);
    EXPECT_FALSE(Exists(r.FileName(3)));
    std::vector<unsigned> all = RampFrames(first.data + second.data + third.data, 2);
    ASSERT_EQ(all.size(), 400u * frames);
    EXPECT_EQ(all.front(), 0u);
    EXPECT_TRUE(RampBreaks(all, 2).empty());
}

TEST(AudioCtrl, ZeroLimitGivesOneFileAndNumbersGoPast999)
{
    {
        // 0 MB (an empty field) means no split.
        RecordingRun r(8000, 1, 0);
        r.OpenAndStart();
        for (unsigned b = 0; b < 300; ++b)
            r.ctrl.Device()->Deliver(Ramp(b * 266, 266, 1));
        r.ctrl.CaptureClose();
        EXPECT_EQ(ReadWav(r.FileName(0)).dataSize, 300u * 532u);
        EXPECT_FALSE(Exists(r.FileName(1)));
    }
    RecordingRun r(8000, 1, 1);
    r.OpenAndStart();
    r.ctrl.m_MaxFileSize = 1;  // every buffer fills a file
    for (unsigned b = 0; b < 1002; ++b)
        r.ctrl.Device()->Deliver(Ramp(b * 266, 266, 1));
    r.ctrl.CaptureClose();
    EXPECT_EQ(ReadWav(r.FileName(999)).dataSize, 532u);
    WavFields last = ReadWav(r.prefix + L"_1001.wav");
    ASSERT_TRUE(last.valid);
    EXPECT_EQ(RampFrames(last.data, 1).front(), (1001u * 266) & 0xFFFF);
    EXPECT_FALSE(Exists(r.prefix + L"_1002.wav"));
}

TEST(AudioCtrl, ExistingFilesAreNeverOverwritten)
{
    RecordingRun r(16000, 1, 100);
    ASSERT_TRUE(WriteBytes(r.FileName(0), "an earlier recording"));
    r.OpenAndStart();
    r.ctrl.Device()->Deliver(Ramp(0, 533, 1));
    r.ctrl.CaptureClose();
    EXPECT_EQ(ReadBytes(r.FileName(0)), "an earlier recording");
    // The recording goes on under the next free number instead of being lost.
    EXPECT_EQ(ReadWav(r.FileName(1)).dataSize, 1066u);
}

TEST(AudioCtrl, ParametersAreClamped)
{
    struct Case {
        int rate, channels, maxMb;
        int wantRate, wantChannels;
        unsigned wantMax;
    } cases[] = {
        {4000, 0, 100, 8000, 1, 104857600u},
        {192000, 6, 4096, 96000, 2, CAudioCtrl::kMaxFileData},
        {44100, 2, -1, 44100, 2, CAudioCtrl::kMaxFileData},
        {48000, 1, 4095, 48000, 1, 4095u * 1048576u},
    };
    for (const Case& c : cases) {
        RecordingRun r(c.rate, c.channels, c.maxMb);
        r.ctrl.m_Task = WM_CAPTURE_OPEN;
        r.ctrl.CaptureOpen();
        EXPECT_EQ(r.ctrl.m_Frequency, c.wantRate);
        EXPECT_EQ(r.ctrl.m_Channels, c.wantChannels);
        EXPECT_EQ(r.ctrl.m_MaxFileSize, c.wantMax);
        EXPECT_EQ(r.ctrl.m_Format.nBlockAlign, 2 * c.wantChannels);
        ASSERT_NE(r.ctrl.Device(), nullptr);
        EXPECT_EQ(r.ctrl.Device()->m_Rate, c.wantRate);
    }
    EXPECT_LT(CAudioCtrl::kMaxFileData + 56ULL + 96000 / 30 * 4, 0x100000000ULL);
}

// The cuts go by the capture clock: a start request that arrives late still
// gets the frames from its start on, a stop falls inside a buffer, and a
// back-to-back program takes over at the very next frame.
TEST(AudioCtrl, RecordingsAreCutByTheCaptureClock)
{
    RecordingRun r(48000, 2, 100);
    r.ctrl.m_Task = WM_CAPTURE_OPEN;
    r.ctrl.CaptureOpen();
    FakeCapture* device = r.ctrl.Device();
    ASSERT_TRUE(device && device->IsCapturing());  // running from the set-up on
    device->m_Format = PcmFormat(48000, 2);
    device->m_FirstFrameTime = CBaseCapture::Now() - 60 * 10000000LL;
    for (int i = 0; i < 30; ++i)
        device->DeliverRamp(1600);
    // A starts half a second back; its start request comes only now.
    const unsigned kStartA = 24000, kStopA = kStartA + 96007, kStopB = kStopA + 48000;
    std::wstring b = r.dir.File(L"next_202405010732");
    r.ctrl.m_Task = WM_CAPTURE_START;
    r.ctrl.CaptureStart(RecordingRun::NewBlock(r.prefix), device->FrameTime(kStartA));
    r.ctrl.CaptureStopAt(device->FrameTime(kStopA));
    device->DeliverRamp(1600);
    r.ctrl.CaptureStart(RecordingRun::NewBlock(b), device->FrameTime(kStopA));  // B follows A
    r.ctrl.CaptureStopAt(device->FrameTime(kStopB));
    for (int i = 0; i < 150; ++i)
        device->DeliverRamp(1600);
    r.ctrl.CaptureClose(device->FrameTime(kStopB));
    struct Expect {
        std::wstring prefix;
        unsigned first, frames;
    } files[] = {{r.prefix, kStartA, kStopA - kStartA}, {b, kStopA, kStopB - kStopA}};
    for (const Expect& e : files) {
        std::vector<unsigned> frames = RampFrames(ReadRecording(e.prefix, 48000, 2).pcm, 2);
        ASSERT_EQ(frames.size(), e.frames) << Narrow(e.prefix);
        EXPECT_EQ(frames.front(), e.first) << Narrow(e.prefix);
        EXPECT_TRUE(RampBreaks(frames, 2).empty()) << Narrow(e.prefix);
    }
}

// WASAPI first; a WASAPI device that cannot open gives way to waveIn.
TEST(AudioCtrl, WaveInStandsInWhenWasapiCannotOpen)
{
    RecordingRun r(48000, 2, 100);
    TraceCapture trace;
    r.ctrl.m_bWaveIn = true;
    FakeCapture::s_OpenFailures = 1;
    r.OpenAndStart();
    EXPECT_TRUE(TraceCapture::Contains(L"[CaptureOpen] WASAPI capture failed, falling back to waveIn\n"));
    ASSERT_NE(r.ctrl.Device(), nullptr);
    EXPECT_TRUE(r.ctrl.Device()->IsCapturing());
    EXPECT_EQ(FakeCapture::s_Alive, 1);
}

TEST(AudioCtrl, StartWithoutDeviceOnlyFreesTheBlock)
{
    RecordingRun r(48000, 2, 100);
    wchar_t* block = new wchar_t[kFilePrefixSize]();
    lstrcpynW(block, r.prefix.c_str(), kFilePrefixSize);
    r.ctrl.CaptureStart(block);
    EXPECT_EQ(r.ctrl.m_bRecording, 0);
    EXPECT_TRUE(ListFiles(r.dir.Path()).empty());
    r.ctrl.CaptureStart(nullptr);
}

TEST(AudioCtrl, DiskFullClosesTheFileWithCorrectSizes)
{
    RecordingRun r(48000, 2, 100);
    r.ctrl.m_FailAfterBytes = 10 * 6400 + 100;
    r.OpenAndStart();
    for (unsigned b = 0; b < 30; ++b)
        r.ctrl.Device()->Deliver(Ramp(b * 1600, 1600, 2));
    EXPECT_EQ(r.ctrl.m_pWaveFile, nullptr);  // closed at the failed write, the rest dropped
    r.ctrl.CaptureClose();
    WavFields w = ReadWav(r.FileName(0));
    ASSERT_TRUE(w.valid);
    EXPECT_EQ(w.dataSize, 10u * 6400);
    EXPECT_EQ(w.data.size(), 10u * 6400);
    EXPECT_EQ(w.riffSize, 48u + 10 * 6400);
    EXPECT_FALSE(Exists(r.FileName(1)));
    // The next recording starts afresh.
    r.ctrl.m_FailAfterBytes = ~0ULL;
    r.prefix = r.dir.File(L"next_202405010830");
    r.OpenAndStart();
    r.ctrl.Device()->Deliver(Ramp(0, 1600, 2));
    r.ctrl.CaptureClose();
    EXPECT_EQ(ReadWav(r.FileName(0)).dataSize, 6400u);
}

TEST(AudioCtrl, HeaderOnDiskFollowsTheRecording)
{
    RecordingRun r(48000, 2, 100);
    r.OpenAndStart();
    for (unsigned b = 0; b < 95; ++b)  // a little over 3 s
        r.ctrl.Device()->Deliver(Ramp(b * 1600, 1600, 2));
    // Read while recording: the header already covers all but the last second.
    WavFields w = ReadWav(r.FileName(0));
    EXPECT_GE(w.dataSize, 95u * 6400 - 192000);
    EXPECT_EQ(w.dataSize % 6400, 0u);
    EXPECT_EQ(w.factFrames * 4, w.dataSize);
    EXPECT_EQ(w.data.size(), 95u * 6400);
}

TEST(AudioCtrl, ThreadRetriesOpenAndACloseEndsTheRetryQuickly)
{
    TempDir dir;
    CAppParameter config;
    g_pConfig = &config;
    FakeCapture::s_OpenFailures = -1;
    TestAudioCtrl ctrl;
    TraceCapture trace;
    ctrl.m_hThread = CreateThread(nullptr, 0, CAudioCtrl::ThreadProc, &ctrl, 0, nullptr);
    for (int i = 0; i < 1000 && !ctrl.m_ThreadId; ++i)
        Sleep(10);
    ASSERT_NE(ctrl.m_ThreadId, 0u);
    ctrl.m_Task = WM_CAPTURE_OPEN;
    PostThreadMessageW(ctrl.m_ThreadId, WM_CAPTURE_OPEN, 0, 0);
    Sleep(400);
    EXPECT_TRUE(TraceCapture::Contains(L"[CaptureOpen] capture device open error\n"));
    EXPECT_FALSE(TraceCapture::Contains(L"[TaskExecute] msg = 0x00000405\n"));
    DWORD t0 = GetTickCount();
    ctrl.m_Task = WM_CAPTURE_CLOSE;
    PostThreadMessageW(ctrl.m_ThreadId, WM_CAPTURE_CLOSE, 0, 0);
    while (!TraceCapture::Contains(L"[TaskExecute] msg = 0x00000405\n") && GetTickCount() - t0 < 5000)
        Sleep(1);
    EXPECT_LE(GetTickCount() - t0, 150u);
    while (!TraceCapture::Contains(L"[TaskExecute] msg = 0x00000407\n") && GetTickCount() - t0 < 5000)
        Sleep(1);
    EXPECT_EQ(ctrl.m_pCapture, nullptr);
    EXPECT_EQ(FakeCapture::s_Alive, 0);

    // Exit: the quit flag is seen first and the release is not handled.
    ctrl.m_bQuit = 1;
    PostThreadMessageW(ctrl.m_ThreadId, WM_CAPTURE_RELEASE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(ctrl.m_hThread, 5000), WAIT_OBJECT_0);
    CloseHandle(ctrl.m_hThread);
    EXPECT_EQ(ctrl.m_ThreadId, 0u);
    EXPECT_FALSE(TraceCapture::Contains(L"[TaskExecute] msg = 0x0000040A\n"));
    EXPECT_TRUE(TraceCapture::Contains(L"Exit AudioCtrl thread\n"));
    FakeCapture::s_OpenFailures = 0;
    g_pConfig = nullptr;
}

TEST(AudioCtrl, CloseRequestedBeforeOpenOpensNothing)
{
    RecordingRun r(48000, 2, 100);
    r.ctrl.m_Task = WM_CAPTURE_CLOSE;
    r.ctrl.CaptureOpen();
    EXPECT_EQ(r.ctrl.m_pCapture, nullptr);
}
