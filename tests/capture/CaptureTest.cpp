// The two capture device types for real under Wine: the default capture
// device of the test prefix is a virtual microphone that plays a counting
// ramp in real time (scripts/virtual-mic), so every recording must come back
// as an unbroken run of that ramp.
#include "capture/DefaultDeviceWatch.h"
#include "capture/FakeCapture.h"
#include "capture/LevelMeter.h"
#include "capture/LoopbackCapture.h"
#include "capture/MMECapture.h"
#include "capture/WasapiCapture.h"
#include "config/AppParameter.h"
#include "support/TestSupport.h"
#include "support/WavChecks.h"

#include <gtest/gtest.h>
#include <cstdlib>
#include <atomic>
#include <thread>

namespace {

// Records through the audio thread, started and ended as the application
// does and driven as the scheduler drives it, with the recording settings given.
template <class Ctrl = CAudioCtrl>
struct ThreadedRecording : RecordingSettings {
    Ctrl ctrl;
    ThreadedRecording(int rate = 48000, int channels = 2, int maxMb = 100) : RecordingSettings(rate, channels, maxMb)
    {
        ctrl.m_hThread = CreateThread(nullptr, 0, CAudioCtrl::ThreadProc, &ctrl, 0, nullptr);
        WaitUntil([&] { return ctrl.m_ThreadId != 0; }, 10000, 10);
    }
    ~ThreadedRecording() { Quit(); }
    // Quit flag first, then the message it comes with.
    void Quit()
    {
        if (!ctrl.m_hThread)
            return;
        ctrl.m_bQuit = 1;
        PostThreadMessageW(ctrl.m_ThreadId, WM_CAPTURE_RELEASE, 0, 0);
        EXPECT_EQ(WaitForSingleObject(ctrl.m_hThread, 10000), WAIT_OBJECT_0);
        CloseHandle(ctrl.m_hThread);
        ctrl.m_hThread = nullptr;
    }
    void Request(UINT message, LPARAM lParam = 0, long long wParam = 0)
    {
        if (message != WM_CAPTURE_STOP_AT)
            ctrl.m_Task = message;
        PostThreadMessageW(ctrl.m_ThreadId, message, static_cast<WPARAM>(wParam), lParam);
    }
    void Begin(const std::wstring& prefix, long long startAt = 0, long long stopAt = 0)
    {
        Request(WM_CAPTURE_START, reinterpret_cast<LPARAM>(NewRecording(prefix, startAt, stopAt)));
    }
    // Open, start, record for a while, close and end the thread.
    void Record(const std::wstring& prefix, DWORD ms)
    {
        Request(WM_CAPTURE_OPEN);
        Sleep(300);
        Begin(prefix);
        Sleep(ms);
        Request(WM_CAPTURE_CLOSE);
        Sleep(500);
        Quit();
    }
};

}  // namespace

// The FindDevice rules: id first, then the exact name, then a waveIn name
// (31 characters) as the prefix of a longer endpoint name.
TEST(WasapiCapture, DeviceMatchingRules)
{
    CaptureDeviceInfo devices[3] = {};
    const wchar_t* names[] = {L"Microphone (USB Audio Device) front jack", L"Microphone (USB Audio Device) rear jack",
                              L"Line In"};
    const wchar_t* ids[] = {L"{0.0.1.00000000}.{a}", L"{0.0.1.00000000}.{b}", L"{0.0.1.00000000}.{c}"};
    for (int i = 0; i < 3; ++i) {
        lstrcpynW(devices[i].m_Name, names[i], 256);
        lstrcpynW(devices[i].m_DeviceId, ids[i], 256);
    }
    struct Case {
        const wchar_t* name;
        const wchar_t* id;
        int index;
        const wchar_t* rule;
    } cases[] = {
        {L"Line In", L"{0.0.1.00000000}.{b}", 1, L"its id"},          // the id wins over a renamed device
        {L"Line In", L"{gone}", 2, L"its name"},                      // a stale id falls back to the name
        {L"Microphone (USB Audio Device) r", L"", 1, L"its waveIn name"},  // saved by the waveIn type
        {L"Microphone (USB Audio Device) f", L"", 0, L"its waveIn name"},
        {L"Microphone", L"", -1, nullptr},                            // a short prefix is no waveIn name
        {L"line in", L"", -1, nullptr},                               // names match case and all
        {L"", L"", -1, nullptr},
        {L"USB microphone", L"{gone}", -1, nullptr},
    };
    for (const Case& c : cases) {
        const wchar_t* rule = nullptr;
        EXPECT_EQ(CWasapiCapture::MatchDevice(devices, 3, c.name, c.id, &rule), c.index) << Narrow(c.name);
        EXPECT_STREQ(rule, c.rule) << Narrow(c.name);
    }
    EXPECT_EQ(CWasapiCapture::MatchDevice(nullptr, 0, L"Line In", L"", nullptr), -1);
}

// Other formats come resampled from the engine: true headers, the length
// recorded and a signal in it.
TEST(WasapiCapture, OtherRatesAndMono)
{
    struct Format {
        int rate, channels;
    } formats[] = {{44100, 2}, {8000, 1}};
    for (const Format& f : formats) {
        TempDir dir;
        std::wstring prefix = dir.File(L"format_202612060000");
        DWORD t0 = GetTickCount();
        {
            ThreadedRecording<> rec(f.rate, f.channels);
            rec.Record(prefix, 3000);
        }
        DWORD elapsed = GetTickCount() - t0;
        RecordedFiles r = ReadRecording(prefix, f.rate, f.channels);
        EXPECT_EQ(r.files, 1u) << f.rate;
        double seconds = static_cast<double>(r.pcm.size()) / (2 * f.channels) / f.rate;
        // A loaded machine may take a few tenths to start the stream; the
        // length is checked to the frame by the clock tests.
        EXPECT_GT(seconds, 2.4) << f.rate;
        EXPECT_LT(seconds, elapsed / 1000.0) << f.rate;
        // A resampled ramp is loud, silence is not.
        int loud = 0;
        for (size_t i = 0; i + 1 < r.pcm.size(); i += 2)
            loud += std::abs(static_cast<short>(static_cast<unsigned char>(r.pcm[i]) | r.pcm[i + 1] << 8)) > 1000;
        EXPECT_GT(loud, f.rate) << f.rate;
    }
}

// Opens one device type only, as when the other cannot be opened.
template <class Device, CaptureType kType>
class OneTypeCtrl : public CAudioCtrl {
protected:
    CBaseCapture* NewCaptureDevice(CaptureType type) override { return type == kType ? new Device() : nullptr; }
};

// Sleeps until a time on the capture clock.
void SleepUntil(long long time)
{
    long long now = CBaseCapture::Now();
    if (time > now)
        Sleep(static_cast<DWORD>((time - now) / 10000));
}

// Two programs of 3 s back to back on one running device of either type: the
// ramp runs on from the first file to the second, each holds its 3 s of the
// wall clock within 5 ms (the frames are placed by the packets' capture
// times, not by counting), and the start request may come after the start second.
// Wine's winmm keeps only a short buffer of its own between the sound server
// and the program's ring, and loses sound when its thread is held up on a
// loaded machine, which the program cannot see; a run that broke away from
// the seam is said and run once more.
template <class Ctrl>
void RecordBackToBack(const char* type)
{
    const long long kSecond = 10000000LL;
    std::string first, second;
    for (int attempt = 0; attempt < 2; ++attempt) {
        TempDir dir;
        std::wstring a = dir.File(L"first_202612060000"), b = dir.File(L"second_202612060003");
        {
            ThreadedRecording<Ctrl> rec(48000, 2, 1);
            rec.Request(WM_CAPTURE_OPEN);
            Sleep(1000);
            long long start = CBaseCapture::Now() - kSecond / 5, seam = start + 3 * kSecond, stop = seam + 3 * kSecond;
            rec.Begin(a, start, seam);
            SleepUntil(seam + kSecond / 50);
            rec.Begin(b, seam, stop);
            SleepUntil(stop + kSecond / 50);
            rec.Request(WM_CAPTURE_CLOSE, 0, stop);
            Sleep(1000);
        }
        first = ReadRecording(a, 48000, 2, 1048576).pcm;
        second = ReadRecording(b, 48000, 2, 1048576).pcm;
        size_t breaks, at;
        RampFrames(first + second, 2, &breaks, &at);
        if (!breaks || at == first.size() / 4)
            break;
        printf("%s: the ramp broke at frame %zu of %zu (%zu + %zu frames); once more\n", type, at,
               (first.size() + second.size()) / 4, first.size() / 4, second.size() / 4);
    }
    EXPECT_NEAR(static_cast<double>(first.size() / 4), 144000, 240) << type;
    EXPECT_NEAR(static_cast<double>(second.size() / 4), 144000, 240) << type;
    CheckRamp(first + second, 2, type);
}

TEST(Capture, BackToBackOnBothDeviceTypes)
{
    RecordBackToBack<OneTypeCtrl<CWasapiCapture, kWasapiDevice>>("WASAPI");
    RecordBackToBack<OneTypeCtrl<CMMECapture, kWaveInDevice>>("waveIn");
}

// Stands in for a USB microphone pulled out mid-recording: the stream fails
// as Windows fails it, once, and the next device opened works.
template <class Device>
class Unpluggable : public Device {
public:
    static std::atomic<int> s_Unplug;

protected:
    HRESULT NextPacketSize(UINT32* frames) override
    {
        if (s_Unplug.exchange(0))
            return AUDCLNT_E_DEVICE_INVALIDATED;
        return Device::NextPacketSize(frames);
    }
};
template <class Device>
std::atomic<int> Unpluggable<Device>::s_Unplug(0);
typedef Unpluggable<CWasapiCapture> UnpluggedCapture;

TEST(WasapiCapture, ALostDeviceEndsTheFileAndTheRecordingGoesOnInTheNext)
{
    TempDir dir;
    TraceCapture trace;
    std::wstring prefix = dir.File(L"unplugged_202612060000");
    {
        ThreadedRecording<OneTypeCtrl<UnpluggedCapture, kWasapiDevice>> rec;
        std::thread unplug([] {
            Sleep(2300);
            UnpluggedCapture::s_Unplug = 1;
        });
        rec.Record(prefix, 4500);
        unplug.join();
    }
    EXPECT_TRUE(TraceCapture::Contains(L"CWasapiCapture: the capture device was lost (0x88890004)\n"));
    RecordedFiles r = ReadRecording(prefix, 48000, 2);
    ASSERT_EQ(r.files, 2u);
    std::vector<unsigned> a = CheckRamp(ReadWav(WavName(prefix, 0)).data, 2, "the file before the loss");
    std::vector<unsigned> b = CheckRamp(ReadWav(WavName(prefix, 1)).data, 2, "the file after the loss");
    EXPECT_GT(a.size(), 48000u * 3 / 2);
    EXPECT_GT(b.size(), 48000u * 3 / 2);
    // The device came back at once: little more than the reopening is missing.
    EXPECT_LT(b.front() - a.back(), 48000u);
    // The user is told once (the notice goes the way of the balloons the
    // reliability run sees).
    EXPECT_EQ(Told(kNoticeDeviceLost), 1);
}

// The settings page's meter on the same device beside a recording: the
// recording stays sample-exact, and the meter reads the loud input.
TEST(Capture, AMeterBesideARecordingTakesNothingFromIt)
{
    TempDir dir;
    std::wstring prefix = dir.File(L"metered_202612090000");
    CLevelMeter meter;
    ASSERT_TRUE(meter.Start(L"", 48000, 2));
    {
        ThreadedRecording<> rec;
        rec.Record(prefix, 3000);
    }
    EXPECT_GT(meter.Read().db[0], -3.0);
    meter.Stop();
    EXPECT_GT(CheckRamp(ReadRecording(prefix, 48000, 2).pcm, 2, "the metered recording").size(), 48000u * 5 / 2);
}

// The loopback device as it follows the default output, shown on Wine's
// capture endpoints (Wine has no loopback): it starts on the default one,
// the ramp microphone, and is told, as Windows tells it, that the default
// is now the same microphone's own endpoint; later that stream fails, as a
// default output's does when it is reset or pulled out.
class FollowingCapture : public Unpluggable<CLoopbackCapture> {
public:
    FollowingCapture()
    {
        m_Flow = eCapture;
        m_StreamFlags = 0;
    }
    bool DefaultBecomes(const wchar_t* id) { return m_pWatch && m_pWatch->OnDefaultDeviceChanged(eCapture, eConsole, id) == S_OK; }
};

// It goes on in the same file each time, within a second: from the new
// endpoint, then from the default one again (no other is named within a
// second). Each gap is silent, the ramp after it where its packets' times
// put it, and each change of endpoint told once.
TEST(LoopbackCapture, FollowingTheDefaultGoesOnInTheSameFile)
{
    TempDir dir;
    TraceCapture trace;
    std::wstring prefix = dir.File(L"follow_202612060000"), mic, initial;
    CWasapiCapture lister;
    CaptureDeviceInfo info;
    for (unsigned i = 0; i < lister.GetDeviceCaps(0, nullptr); ++i)
        if (lister.GetDeviceCaps(i, &info) && wcsstr(info.m_Name, L"mic.fifo"))
            mic = info.m_DeviceId;
    ASSERT_FALSE(mic.empty());
    {
        ThreadedRecording<OneTypeCtrl<FollowingCapture, kLoopbackDevice>> rec;
        rec.config.m_CapDeviceId.Assign(CLoopbackCapture::kDefaultId);
        std::thread follow([&] {
            Sleep(2300);
            EXPECT_TRUE(static_cast<FollowingCapture*>(rec.ctrl.m_pCapture)->DefaultBecomes(mic.c_str()));
            Sleep(2000);
            FollowingCapture::s_Unplug = 1;
        });
        rec.Record(prefix, 6500);
        follow.join();
    }
    EXPECT_TRUE(TraceCapture::Contains(L"CLoopbackCapture: the default output is now " + mic + L": the stream follows it\n"));
    EXPECT_EQ(TraceCapture::Count(L"CWasapiCapture: the capture device was lost (0x88890004)\n"), 0);
    RecordedFiles r = ReadRecording(prefix, 48000, 2);
    ASSERT_EQ(r.files, 1u);
    // Runs of the ramp apart by silence: the two switches, and any stall of
    // Wine's longer than a quiet source waits for (its packets then come
    // after their silence was placed).
    std::vector<std::pair<size_t, std::vector<unsigned>>> runs;
    for (size_t at = 0, gap; at < r.pcm.size(); at = r.pcm.find_first_not_of('\0', gap) / 4 * 4) {
        gap = std::min(r.pcm.find(std::string(4, '\0'), at), r.pcm.size());
        runs.push_back({at / 4, CheckRamp(r.pcm.substr(at, gap - at), 2, "run " + std::to_string(runs.size()))});
    }
    ASSERT_GE(runs.size(), 3u);
    for (size_t i = 1; i < runs.size(); ++i) {
        EXPECT_LT(runs[i].first - runs[i - 1].first - runs[i - 1].second.size(), 48000u);
        // Placed by their packets' times; Wine's run up to 120 ms late in a new stream.
        EXPECT_NEAR(static_cast<double>(runs[i].second.front() - runs[0].second.front()), runs[i].first, 48000 / 4);
    }
    EXPECT_EQ(Told(kNoticeOutputFollowed), 2);
}

// A stop that comes while the stream follows the default output to one
// that cannot be opened: it waits for the switch, finds no stream and ends
// the run, never calling into the stream that is gone.
TEST(LoopbackCapture, AStopDuringAFailedSwitchFindsTheStreamGone)
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);  // as the audio thread
    CSoundListener listener;
    for (int i = 0; i < 40; ++i) {
        FollowingCapture device;
        device.Initialize(&listener);
        ASSERT_TRUE(device.SetDevice(static_cast<unsigned>(device.FindDevice(L"", CLoopbackCapture::kDefaultId, 0))));
        ASSERT_TRUE(device.Open(2, 48000, 16, 0));
        ASSERT_TRUE(device.Start());
        Sleep(30);
        std::atomic<bool> told(false);
        std::thread stop([&] {
            while (!told)
                ;
            device.Stop();
        });
        bool changed = device.DefaultBecomes(L"{0.0.0.00000000}.{00000000-0000-0000-0000-000000000000}");
        told = true;
        stop.join();
        EXPECT_TRUE(changed);
        EXPECT_FALSE(device.IsCapturing());
        device.Close();
    }
    CoUninitialize();
}
