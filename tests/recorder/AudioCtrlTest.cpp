// The audio controller's requests and file handling, with a fake device.
#include "capture/FakeCapture.h"
#include "config/AppParameter.h"
#include "files/RecordingTags.h"
#include "support/Decoders.h"
#include "support/TestSupport.h"
#include "support/WavChecks.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include <thread>


namespace {

// The fake device and files in a fresh folder.
struct RecordingRun : RecordingSettings {
    TempDir dir;
    TestAudioCtrl ctrl;
    std::wstring prefix;

    RecordingRun(int rate, int channels, int maxMb)
        : RecordingSettings(rate, channels, maxMb), prefix(dir.File(L"show_202405010730"))
    {
        FakeCapture::s_OpenFailures = 0;
    }
    ~RecordingRun() { ctrl.CaptureClose(); }
    void OpenAndStart(RecordingParameters* recording = nullptr)
    {
        ctrl.m_Task = WM_CAPTURE_OPEN;
        ctrl.CaptureOpen();
        ctrl.m_Task = WM_CAPTURE_START;
        ctrl.CaptureStart(recording ? recording : NewRecording(prefix));
    }
    // Buffers of 1/30 s of the ramp, as the device delivers them.
    void Deliver(unsigned buffers)
    {
        for (unsigned b = 0; b < buffers; ++b)
            ctrl.Device()->DeliverRamp(ctrl.m_Frequency / 30);
    }
    std::wstring FileName(unsigned n) { return WavName(prefix, n); }
};


}  // namespace

// Each full file holds the first whole buffers that reach the limit; the
// next starts with the following frame; 0 MB means no split; numbers go
// past 999; a taken number is passed over, never overwritten. Rates, channels
// and sizes out of range are brought into it. With MARIVANE_SAMPLE_DIR set,
// each first file is copied there for the external readers
// (check-wav-readers.sh).
TEST(AudioCtrl, SplitsExactlyAtTheLimitWithoutLosingAFrame)
{
    const unsigned kNone = CAudioCtrl::kMaxFileData;
    struct Case {
        int rate, channels, maxMb;
        unsigned maxFile;           // as clamped
        int recordedRate, recordedChannels;
        unsigned limit, buffers;  // limit: the split size instead of the setting's, when nonzero
        std::vector<unsigned> sizes;
    } cases[] = {
        {48000, 2, 1, 1048576, 48000, 2, 0, 400, {164 * 6400, 164 * 6400, 72 * 6400}},  // 164 buffers of 6400 bytes
        {8000, 1, 0, kNone, 8000, 1, 0, 300, {300 * 532}},
        {8000, 1, 1, 1048576, 8000, 1, 1, 1002, std::vector<unsigned>(1002, 532)},
        {4000, 0, -1, kNone, 8000, 1, 0, 30, {30 * 532}},
        {192000, 6, 4096, kNone, 96000, 2, 0, 30, {30 * 12800}},
        {44100, 2, 4095, 4095u * 1048576u, 44100, 2, 0, 30, {30 * 5880}},
        {16000, 1, 100, 104857600u, 16000, 1, 0, 0, {}},  // stopped before the first buffer: no file
    };
    std::wstring samples = EnvironmentValue(L"MARIVANE_SAMPLE_DIR");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz " << c.channels << " ch " << c.maxMb << " MB");
        RecordingRun r(c.rate, c.channels, c.maxMb);
        ASSERT_TRUE(WriteBytes(r.FileName(1), "an earlier recording"));
        r.ctrl.m_SplitBytes = c.limit;
        r.OpenAndStart();
        ASSERT_NE(r.ctrl.Device(), nullptr);
        EXPECT_EQ(r.ctrl.Device()->m_Rate, c.recordedRate);
        EXPECT_EQ(r.ctrl.Device()->m_Channels, c.recordedChannels);
        EXPECT_EQ(r.ctrl.m_MaxFileSize, c.limit ? c.limit : c.maxFile);
        r.Deliver(c.buffers);
        r.ctrl.CaptureClose();
        if (!samples.empty() && c.buffers) {
            std::wstring sample = samples + L"\\case" + std::to_wstring(&c - cases) + L".wav";
            EXPECT_TRUE(CopyFileW(r.FileName(0).c_str(), sample.c_str(), FALSE));
        }
        EXPECT_EQ(ReadBytes(r.FileName(1)), "an earlier recording");
        std::string pcm;
        for (unsigned i = 0, n = 0; i < c.sizes.size(); ++i, ++n) {
            n += n == 1;  // the taken number
            WavFields w = ReadWav(r.FileName(n));
            ASSERT_TRUE(w.valid) << "file " << n;
            ASSERT_EQ(w.dataSize, c.sizes[i]) << "file " << n;
            EXPECT_EQ(w.rate, static_cast<unsigned>(c.recordedRate));
            pcm += w.data;
        }
        EXPECT_FALSE(Exists(r.FileName(c.sizes.empty() ? 0 : static_cast<unsigned>(c.sizes.size()) + 1)));
        EXPECT_EQ(CheckRamp(pcm, c.recordedChannels, "the split files").size(),
                  c.buffers * static_cast<unsigned>(c.recordedRate / 30));
    }
}

// FLAC and Opus as WAV goes, read back by Debian's decoders. The title and
// start sent before the start request are in each file's comments. FLAC
// gives the ramp back bit for bit across its files, split where a file
// reaches the limit, with STREAMINFO's sample count and MD5 (flac checks
// it). Opus files pass opusinfo and decode to exactly the frames taken,
// not silent. A recording stopped before its first buffer leaves no file,
// and the user hears that nothing was recorded.
TEST(AudioCtrl, FlacAndOpusFilesDecodeToWhatWasRecorded)
{
    struct Case {
        FileType type;
        int rate, channels, kbps;
        unsigned split, buffers, extra;  // split: 0 none; extra: frames after the buffers
    } cases[] = {
        {kFileFlac, 48000, 2, 0, 12000, 300, 1234}, {kFileFlac, 44100, 1, 0, 0, 90, 7},
        {kFileFlac, 96000, 2, 0, 0, 60, 0},         {kFileFlac, 8000, 1, 0, 0, 0, 0},
        {kFileOpus, 48000, 2, 96, 0, 150, 777},     {kFileOpus, 16000, 1, 16, 0, 90, 5},
        {kFileOpus, 48000, 2, 256, 60000, 120, 0},  {kFileOpus, 48000, 1, 64, 0, 0, 0},
        {kFileOpus, 44100, 2, 128, 0, 90, 11},
    };
    for (const Case& c : cases) {
        const wchar_t* ext = RecordingFormat::Name(c.type);
        SCOPED_TRACE(testing::Message() << Narrow(ext) << " " << c.rate << " Hz " << c.channels << " ch");
        TraceCapture trace;
        RecordingRun r(c.rate, c.channels, 100);
        r.config.m_FileFormat = c.type;
        r.config.m_OpusBitrate = c.kbps;
        r.ctrl.m_SplitBytes = c.split;
        SYSTEMTIME start = {2026, 3, 6, 7, 10, 0, 0, 0};
        r.OpenAndStart(RecordingParameters::New(r.prefix.c_str(), 0, 0, L"Évening news: 7/8", &start));
        r.Deliver(c.buffers);
        r.ctrl.Device()->DeliverRamp(c.extra);
        r.ctrl.CaptureClose();
        std::string pcm;
        unsigned files = 0;
        for (std::wstring file; Exists(file = WavName(r.prefix, files, ext)); ++files) {
            SCOPED_TRACE(Narrow(file));
            if (Exists(WavName(r.prefix, files + 1, ext))) {
                EXPECT_GE(ReadBytes(file).size(), c.split);
                EXPECT_LT(ReadBytes(file).size(), c.split + 65536u);
            }
            // metaflac gives the sample count, then the tags; opusinfo what it found, the tags among it.
            ToolRun info = RunTool((c.type == kFileFlac ? "metaflac --show-total-samples --export-tags-to=- "
                                                        : "opusinfo ") + UnixArg(file));
            EXPECT_EQ(info.exitCode, 0);
            EXPECT_EQ(info.output.find("WARNING"), std::string::npos) << info.output;
            for (const char* tag : {"TITLE=\xC3\x89vening news: 7/8", "DATE=2026-03-07T10:00:00", "ENCODER=Marivane"})
                EXPECT_NE(info.output.find(tag), std::string::npos) << info.output;
            ToolRun decoded = c.type == kFileFlac ? DecodeFlac(file) : DecodeOpus(file, c.rate);
            EXPECT_EQ(decoded.exitCode, 0) << decoded.output;
            if (c.type == kFileFlac) {
                EXPECT_EQ(std::stoull("0" + info.output), decoded.pcm.size() / (2 * c.channels));
            }
            pcm += decoded.pcm;
        }
        EXPECT_EQ(files > 1, c.split > 0) << files << " files";
        unsigned frames = c.buffers * (c.rate / 30) + c.extra;
        EXPECT_EQ(files == 0, frames == 0);
        EXPECT_EQ(Told(kNoticeNothingRecorded), frames ? 0 : 1);
        ASSERT_EQ(pcm.size(), frames * 2u * c.channels);
        if (c.type == kFileFlac) {
            EXPECT_TRUE(pcm == Ramp(0, frames, c.channels)) << "not the ramp, bit for bit";
        } else if (frames) {
            EXPECT_GT(Peak(pcm), 8000);
        }
    }
}

// A device whose buffer thread delivers the ramp many times faster than
// real time, so that every handover races the delivery.
class RacingCapture : public FakeCapture {
public:
    ~RacingCapture() override { Halt(); }
    bool Start() override
    {
        m_FirstFrameTime = Now() - 3600 * 10000000LL;
        m_bRun = FakeCapture::Start();
        m_Thread = std::thread([this] {
            for (; m_bRun; Sleep(1))
                DeliverRamp(1600);
        });
        return m_bRun;
    }
    bool Stop() override
    {
        Halt();
        return FakeCapture::Stop();
    }
    void Close() override
    {
        Halt();
        FakeCapture::Close();
    }

private:
    void Halt()
    {
        m_bRun = false;
        if (m_Thread.joinable())
            m_Thread.join();
    }
    std::atomic<bool> m_bRun{false};
    std::thread m_Thread;
};

class RacingCtrl : public TestAudioCtrl {
protected:
    CBaseCapture* NewCaptureDevice(CaptureType) override { return new RacingCapture(); }
};

// Five hundred handovers from the audio thread's side while the buffer
// thread writes. The cuts go by the capture clock: each start request comes
// after its start, and the cuts fall inside buffers. Each program holds
// exactly the frames between its cuts and the ramp runs on across them all.
TEST(AudioCtrl, HandoversRacingTheBufferThreadLoseAndRepeatNothing)
{
    TempDir dir;
    RecordingSettings settings(48000, 2, 100);
    const int kPrograms = 500;
    std::vector<unsigned long long> cuts(1, 48001);
    std::vector<std::wstring> prefixes;
    {
        RacingCtrl ctrl;
        ctrl.m_Task = WM_CAPTURE_OPEN;
        ctrl.CaptureOpen();
        CBaseCapture* device = ctrl.m_pCapture;
        ASSERT_NE(device, nullptr);
        device->m_Format = CBaseCapture::PcmFormat(2, 48000, 16);
        while (device->m_CapturedFrames < cuts[0] + 1600)
            Sleep(1);
        ctrl.m_Task = WM_CAPTURE_START;
        for (int k = 0; k < kPrograms; ++k) {
            prefixes.push_back(dir.File(L"p" + std::to_wstring(k) + L"_202612070000"));
            unsigned long long next =
                std::max<unsigned long long>(cuts.back() + 1600, device->m_CapturedFrames + 4800) + k * 7 % 1600;
            ctrl.CaptureStart(NewRecording(prefixes.back(), device->FrameTime(cuts.back()), device->FrameTime(next)));
            cuts.push_back(next);
            while (device->m_CapturedFrames < cuts[cuts.size() - 2] + 1600)
                Sleep(1);
        }
        ctrl.CaptureClose(device->FrameTime(cuts.back()));
    }
    std::string all;
    for (int k = 0; k < kPrograms; ++k) {
        std::string pcm = ReadRecording(prefixes[k], 48000, 2).pcm;
        ASSERT_EQ(pcm.size() / 4, cuts[k + 1] - cuts[k]) << "program " << k;
        all += pcm;
    }
    EXPECT_EQ(CheckRamp(all, 2, "the programs").front(), cuts[0]);
}

// An open overtaken by a close (the task says close by the time it runs)
// opens nothing. No device: the start is dropped, told as nothing recorded. WASAPI first;
// when it cannot open, waveIn records. While recording, the header already
// covers all but the last second. (A disk that fills up
// is run on a real small file system.)
TEST(AudioCtrl, NoDeviceAndTheHeaderWhileRecording)
{
    RecordingRun r(48000, 2, 100);
    r.ctrl.m_Task = WM_CAPTURE_CLOSE;
    r.ctrl.CaptureOpen();
    EXPECT_EQ(r.ctrl.m_pCapture, nullptr);
    TraceCapture trace;
    r.ctrl.CaptureStart(NewRecording(r.prefix));
    EXPECT_EQ(Told(kNoticeNothingRecorded), 1);
    r.ctrl.CaptureStart(nullptr);
    EXPECT_TRUE(ListFiles(r.dir.Path()).empty());
    r.ctrl.m_bWaveIn = true;
    FakeCapture::s_OpenFailures = 1;
    r.OpenAndStart();
    EXPECT_TRUE(TraceCapture::Contains(L"[CaptureOpen] WASAPI capture failed, falling back to waveIn\n"));
    r.Deliver(95);  // a little over 3 s
    ASSERT_TRUE(r.ctrl.WaitForWriter());
    WavFields open = ReadWav(r.FileName(0));
    EXPECT_GE(open.dataSize, 95u * 6400 - 192000);
    EXPECT_EQ(open.factFrames * 4, open.dataSize);
    EXPECT_EQ(open.data.size(), 95u * 6400);
}

// Programs back to back, each from its source: the settings' device, one
// of its own (capture or what the PC plays), found by its id, the device
// opened again for a program of another device and not for the same one
// named either way. A station opens no device; one that never answers
// makes no file and is told; a source not understood is told and the settings' device records it.
TEST(AudioCtrl, EachProgramRecordsFromItsOwnSource)
{
    const wchar_t* own = L"{0.0.1.00000000}.{own}";
    const wchar_t* set = L"{0.0.1.00000000}.{settings}";
    const wchar_t* station = L"http://127.0.0.1:8000/live";
    struct Case {
        const char* what;
        std::vector<const wchar_t*> sources;
        std::vector<std::wstring> made;  // "type id"
        size_t files;
        std::vector<WPARAM> told;
    } cases[] = {
        {"the settings' device", {L""}, {L"wasapi {0.0.1.00000000}.{settings}"}, 1, {}},
        {"its own, then the settings'", {own, L""},
         {L"wasapi {0.0.1.00000000}.{own}", L"wasapi {0.0.1.00000000}.{settings}"}, 2, {}},
        // The same device goes on: the second program waits on it for the first's stop.
        {"the settings' device, named as its own", {L"", set}, {L"wasapi {0.0.1.00000000}.{settings}"}, 1, {}},
        {"what the PC plays", {L"loopback:default"}, {L"loopback loopback:default"}, 1, {}},
        // Nothing listens there: told at the start, and as nothing recorded at the stop.
        {"a station that does not answer", {station}, {}, 0, {kNoticeStationNoAnswer, kNoticeStationNothing}},
        {"not understood", {L"ftp://x"}, {L"wasapi {0.0.1.00000000}.{settings}"}, 1, {kNoticeSourceNotUnderstood}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TraceCapture trace;
        RecordingRun r(48000, 2, 100);
        r.config.m_CapDeviceName.Assign(L"Mic");
        r.config.m_CapDeviceId.Assign(set);
        r.ctrl.m_bWaveIn = true;  // the loopback type exists
        FakeCapture::s_Made.clear();
        r.ctrl.m_Task = WM_CAPTURE_OPEN;
        r.ctrl.CaptureOpen(c.sources[0]);
        r.ctrl.m_Task = WM_CAPTURE_START;
        for (size_t i = 0; i < c.sources.size(); ++i) {
            std::wstring prefix = r.dir.File(L"p" + std::to_wstring(i));
            r.ctrl.CaptureStart(RecordingParameters::New(prefix.c_str(), 0, 0, L"Show", nullptr, c.sources[i]));
            if (r.ctrl.Device())
                r.Deliver(30);
        }
        r.ctrl.CaptureClose();
        EXPECT_EQ(FakeCapture::s_Made, c.made);
        EXPECT_EQ(ListFiles(r.dir.Path()).size(), c.files);
        for (WPARAM n : {kNoticeStationNoAnswer, kNoticeStationNothing, kNoticeSourceNotUnderstood})
            EXPECT_EQ(Told(n), std::count(c.told.begin(), c.told.end(), n)) << n;
    }
}

// The capture side never waits for the disk: a disk that stalls for 20 s of
// audio loses nothing; one that stalls past what the queue holds (32 s at
// 96 kHz stereo, 64 s here) costs the frames that did not fit, counted and
// told once, and the rest of the recording is whole.
TEST(AudioCtrl, AStallingDiskNeverHoldsUpTheCapture)
{
    struct Case {
        unsigned seconds;
        bool drops;
    } cases[] = {{20, false}, {70, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        TraceCapture trace;
        RecordingRun r(48000, 2, 0);
        HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // the disk answers again
        r.ctrl.m_WriterOptions.go = go;
        r.OpenAndStart();
        DWORD t0 = GetTickCount();
        r.Deliver(c.seconds * 30);
        EXPECT_LT(GetTickCount() - t0, 3000u);
        EXPECT_FALSE(r.ctrl.WaitForWriter(200));
        SetEvent(go);
        LONG dropped = r.ctrl.Writer()->m_DroppedFrames;
        r.ctrl.CaptureClose();
        CloseHandle(go);
        std::string pcm = ReadRecording(r.prefix, 48000, 2).pcm;
        EXPECT_EQ(pcm.size() / 4 + dropped, c.seconds * 48000u);
        EXPECT_EQ(dropped > 0, c.drops);
        EXPECT_EQ(Told(kNoticeQueueFull), c.drops ? 1 : 0);
        if (!c.drops)
            CheckRamp(pcm, 2, "the stalled recording");
    }
}

// The recording's own notices, each once: a minute of silence (again once
// the sound came back and went), the disk running low, and microphone
// access denied by Windows in place of the device failure.
TEST(AudioCtrl, NoticesOfSilenceALowDiskAndDeniedAccess)
{
    {
        TraceCapture trace;
        RecordingRun r(8000, 1, 100);
        r.ctrl.m_WriterOptions.free = 10 << 20;
        r.OpenAndStart();
        struct Step {
            bool sound;
            unsigned seconds;
            int silences, backs;
        } steps[] = {{false, 59, 0, 0}, {false, 2, 1, 0}, {false, 120, 1, 0}, {true, 1, 1, 1}, {false, 61, 2, 1}};
        for (const Step& s : steps) {
            for (unsigned b = 0; b < s.seconds * 30; ++b)
                r.ctrl.Device()->DeliverRamp(266, !s.sound);
            EXPECT_EQ(Told(kNoticeSilence), s.silences);
            EXPECT_EQ(Told(kNoticeSoundBack), s.backs);
        }
        ASSERT_TRUE(r.ctrl.WaitForWriter());
        EXPECT_EQ(Told(kNoticeLowDisk), 1);
    }
    TraceCapture trace;
    RecordingSettings settings(48000, 2, 100);
    TempDir dir;
    TestAudioCtrl ctrl;
    FakeCapture::s_OpenFailures = 1000;
    FakeCapture::s_OpenError = E_ACCESSDENIED;
    ctrl.m_Task = WM_CAPTURE_OPEN;
    std::thread audio([&] { ctrl.CaptureOpen(); });
    ctrl.m_Task = WM_CAPTURE_START;  // the start comes: the user hears why
    EXPECT_TRUE(WaitUntil([&] { return Told(kNoticeAccessDenied) == 1; }, 5000, 10));
    ctrl.m_Task = WM_CAPTURE_CLOSE;
    audio.join();
    FakeCapture::s_OpenFailures = 0;
    FakeCapture::s_OpenError = E_FAIL;
    EXPECT_EQ(Told(kNoticeDeviceFailed), 0);
    // The start request queued behind the retries is dropped at the close:
    // no file, and nothing recorded is told.
    ctrl.CaptureStart(NewRecording(dir.File(L"never_202405010730")));
    ctrl.CaptureClose();
    EXPECT_TRUE(ListFiles(dir.Path()).empty());
    EXPECT_EQ(Told(kNoticeNothingRecorded), 1);
}
