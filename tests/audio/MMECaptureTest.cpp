// Real waveIn under Wine: the default capture device of the test prefix is a
// virtual microphone that plays a counting ramp in real time (scripts/virtual-mic),
// so every recording must come back as an unbroken run of that ramp.
#include "support/WavChecks.h"
#include "audio/AudioCtrl.h"
#include "audio/MMECapture.h"
#include "config/AppParameter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <mutex>

namespace {

// Collects what a device delivers.
class Collector : public CSoundListener {
public:
    unsigned OnSoundData(const void* data, unsigned length) override
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Data.append(static_cast<const char*>(data), length);
        m_Lengths.push_back(length);
        return length;
    }
    std::mutex m_Lock;
    std::string m_Data;
    std::vector<unsigned> m_Lengths;
};

// Records through the audio thread as the scheduler drives it.
struct ThreadedRecording {
    CAudioCtrl ctrl;
    explicit ThreadedRecording()
    {
        ctrl.m_hThread = CreateThread(nullptr, 0, CAudioCtrl::ThreadProc, &ctrl, 0, nullptr);
        for (int i = 0; i < 1000 && !ctrl.m_ThreadId; ++i)
            Sleep(10);
    }
    void Request(UINT message, LPARAM lParam = 0)
    {
        ctrl.m_Task = message;
        PostThreadMessageW(ctrl.m_ThreadId, message, 0, lParam);
    }
    void Start(const std::wstring& prefix)
    {
        Request(WM_CAPTURE_OPEN);
        Sleep(300);
        wchar_t* block = new wchar_t[kFilePrefixSize]();
        lstrcpynW(block, prefix.c_str(), kFilePrefixSize);
        Request(WM_CAPTURE_START, reinterpret_cast<LPARAM>(block));
    }
    void Quit()
    {
        ctrl.m_bQuit = 1;
        PostThreadMessageW(ctrl.m_ThreadId, WM_CAPTURE_RELEASE, 0, 0);
        WaitForSingleObject(ctrl.m_hThread, 10000);
        CloseHandle(ctrl.m_hThread);
        ctrl.m_hThread = nullptr;
    }
};

std::wstring Numbered(const std::wstring& prefix, unsigned n)
{
    wchar_t name[32];
    swprintf(name, 32, L"_%03u.wav", n);
    return prefix + name;
}

}  // namespace

TEST(MMECapture, DevicesAndSelection)
{
    CMMECapture device;
    unsigned count = device.GetDeviceCaps(0, nullptr);
    ASSERT_GE(count, 1u) << "the test prefix must offer the virtual microphone";
    CaptureDeviceInfo info;
    device.GetDeviceCaps(0, &info);
    EXPECT_STRNE(info.m_Name, L"");
    EXPECT_EQ(device.FindDevice(info.m_Name, L"", 0), 0);
    EXPECT_EQ(device.FindDevice(info.m_Name, L"", 1), -1);
    EXPECT_EQ(device.FindDevice(L"", L"", 0), -1);
    EXPECT_EQ(device.FindDevice(L"No such microphone", L"", 0), -1);
    EXPECT_TRUE(device.SetDevice(WAVE_MAPPER));
    EXPECT_FALSE(device.SetDevice(count));
    EXPECT_EQ(device.GetDevice(), WAVE_MAPPER);
    EXPECT_FALSE(device.Start());  // not open
    EXPECT_FALSE(device.Stop());
}

TEST(MMECapture, EightKilohertzMonoBuffersAndCounters)
{
    Collector sink;
    {
        CMMECapture device;
        device.Initialize(&sink);
        ASSERT_TRUE(device.Open(1, 8000, 16, 200));
        EXPECT_FALSE(device.Open(1, 8000, 16, 200));  // already open
        EXPECT_EQ(device.GetBufferSize(), 532u);
        ASSERT_TRUE(device.Start());
        EXPECT_TRUE(device.Start());  // already capturing
        Sleep(1500);
        EXPECT_TRUE(device.IsCapturing());
        unsigned long long frames = device.m_CapturedFrames;
        EXPECT_GE(frames, 266u * 36);
        EXPECT_EQ(frames % 266, 0u);
        EXPECT_EQ(device.GetCapturedSeconds(), frames / 8000);
        EXPECT_TRUE(device.Stop());
        Sleep(100);
        EXPECT_FALSE(device.IsCapturing());
        ASSERT_TRUE(device.Start());
        Sleep(100);
        EXPECT_LT(device.m_CapturedFrames, frames);  // the counter starts again
        // Destroying a capturing device closes it.
    }
    std::lock_guard<std::mutex> lock(sink.m_Lock);
    ASSERT_GT(sink.m_Lengths.size(), 36u);
    for (size_t i = 0; i + 1 < 36; ++i)
        EXPECT_EQ(sink.m_Lengths[i], 532u);
}

TEST(MMECapture, TwentySecondsAt48kStereoSplitAt1MBAreAContiguousRamp)
{
    TempDir dir;
    CAppParameter config;
    config.m_Frequency = 48000;
    config.m_Channels = 2;
    config.m_WavMaxSize = 1;
    g_pConfig = &config;
    std::wstring prefix = dir.File(L"ramp_202612060000");
    {
        ThreadedRecording rec;
        ASSERT_NE(rec.ctrl.m_ThreadId, 0u);
        rec.Start(prefix);
        Sleep(20000);
        rec.Request(WM_CAPTURE_CLOSE);
        Sleep(500);
        rec.Quit();
    }
    g_pConfig = nullptr;

    std::string data;
    unsigned files = 0;
    for (;; ++files) {
        WavFields w = ReadWav(Numbered(prefix, files));
        if (!w.valid)
            break;
        EXPECT_EQ(w.dataSize, w.data.size());
        EXPECT_EQ(w.rate, 48000u);
        EXPECT_EQ(w.channels, 2u);
        EXPECT_EQ(w.factFrames, w.dataSize / 4);
        if (Exists(Numbered(prefix, files + 1))) {
            EXPECT_EQ(w.dataSize, 164u * 6400) << "file " << files;
        }
        data += w.data;
    }
    EXPECT_GE(files, 4u);
    std::vector<unsigned> frames = RampFrames(data, 2);
    ASSERT_FALSE(frames.empty());
    std::vector<size_t> breaks = RampBreaks(frames, 2);
    EXPECT_TRUE(breaks.empty()) << breaks.size() << " discontinuities, first at frame " << breaks[0] << ": "
                                << frames[breaks[0] - 1] << " then " << frames[breaks[0]];
    // Real time: 20 s of sound, give or take the start and stop steps.
    EXPECT_GT(frames.size(), 48000u * 19);
    EXPECT_LT(frames.size(), 48000u * 21);
    for (size_t i = 0; i < breaks.size() && i < 5; ++i)
        printf("break at %zu: %u -> %u\n", breaks[i], frames[breaks[i] - 1], frames[breaks[i]]);
    printf("recorded %zu frames in %u files, first frame %u\n", frames.size(), files, frames.front());
}

// Run as a child process by the next test: records until it is killed.
TEST(RecorderChild, RecordUntilKilled)
{
    std::wstring prefix = EnvironmentValue(L"MARIVANE_CHILD_PREFIX");
    if (prefix.empty())
        GTEST_SKIP() << "only as a child of KilledRecordingKeepsAllButTheLastSeconds";
    static CAppParameter config;
    config.m_Frequency = 48000;
    config.m_Channels = 2;
    g_pConfig = &config;
    ThreadedRecording* rec = new ThreadedRecording();
    rec->Start(prefix);
    Sleep(INFINITE);
}

TEST(MMECapture, KilledRecordingKeepsAllButTheLastSeconds)
{
    TempDir dir;
    std::wstring prefix = dir.File(L"killed_202612060000");
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = std::wstring(L"\"") + self + L"\" --gtest_filter=RecorderChild.*";
    SetEnvironmentVariableW(L"MARIVANE_CHILD_PREFIX", prefix.c_str());
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessW(self, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    SetEnvironmentVariableW(L"MARIVANE_CHILD_PREFIX", nullptr);
    Sleep(6500);
    TerminateProcess(pi.hProcess, 9);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);

    WavFields w = ReadWav(Numbered(prefix, 0));
    ASSERT_TRUE(w.valid);
    EXPECT_GT(w.data.size(), 4u * 192000);
    EXPECT_LE(w.dataSize, w.data.size());
    EXPECT_GE(w.dataSize + 2 * 192000, w.data.size());  // all but at most the last 2 s
    EXPECT_EQ(w.riffSize, 48 + w.dataSize);
    std::vector<unsigned> frames = RampFrames(w.data.substr(0, w.dataSize), 2);
    EXPECT_TRUE(RampBreaks(frames, 2).empty());
}
