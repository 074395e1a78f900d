// What the PC plays, through the real program under Wine. Wine takes a
// loopback stream and then refuses its capture service, so loopback itself
// takes the open-failure path; PulseAudio's monitor of the test output, a
// plain capture device in 32-bit float, carries what a player plays.
#include "app/Recorder.h"
#include "support/Decoders.h"

namespace {

// Starts a Unix program (Wine starts those too); returns at once.
bool Spawn(std::wstring command)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

const wchar_t kPlayer[] = L"/usr/bin/pacat -d speaker --raw --rate=48000 --channels=2 --format=s16le ";

// Plays the stereo frames in pcm into the test output with PulseAudio's own player.
bool Play(const TempDir& dir, const std::string& pcm)
{
    std::wstring file = dir.File(L"play.raw");
    std::string path = WriteBytes(file, pcm) ? UnixPath(file) : "";
    return !path.empty() && Spawn(kPlayer + std::wstring(L"--latency-msec=300 ") + std::wstring(path.begin(), path.end()));
}

}  // namespace

// A player on the monitored output: 10 s of the ramp, 10 s of silence, 10 s
// of the ramp, inside one 30 s program. The file holds 30 s: each played
// stretch an unbroken ramp, the pause between zeros. The player is one stream
// that starts before the device opens. Wine stamps a monitor's packets when
// it reads them: while nothing plays the window is exact to 2 frames, while a
// player plays the stamps creep by up to 5 ms in 30 s (a player joining or
// leaving moves them 4-10 ms), which the program cannot tell from a card's
// drift: the window holds 30 s to 15 ms (runs measured 7 to 12 ms long).
TEST(Loopback, AMonitorSourceInFloatHoldsItsWindowAndTheSilenceBetween)
{
    Recorder rec;
    rec.deviceName = L"Monitor of Null Output";
    CDateTime start = SecondsFromNow(8), stop = SecondsFromNow(38);
    rec.Write({Program(start, stop, 0, L"Player")}, 100);
    TempDir ramps;
    // A silent stream keeps the output running (an idle one starts late) for the test's length.
    ASSERT_TRUE(Spawn(L"/usr/bin/timeout 50 " + std::wstring(kPlayer) + L"--latency-msec=10 /dev/zero"));
    CDateTime now;
    now.SetNow();
    const unsigned lead = static_cast<unsigned>((start.m_Ticks - now.m_Ticks) / 10000 * 48);
    const unsigned tenSeconds = 48000 * 10;
    ASSERT_TRUE(Play(ramps, Ramp(1000000, lead + tenSeconds, 2) + std::string(tenSeconds * 4, '\0') +
                                Ramp(3000000, tenSeconds + 48000 * 2, 2)));
    ChildProcess child;
    HWND hwnd = rec.Launch(child);
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(rec.WaitForTrace(") Stop Recording", 60000));
    Sleep(1500);
    EXPECT_EQ(ExitProgram(hwnd, child), 0u);
    EXPECT_EQ(rec.TraceCount("CWasapiCapture: the stream is opened in its mix format, its samples converted here"), 1);

    RecordedFiles r = ReadRecording(rec.wavDir + L"\\Player_" + Stamp(start), 48000, 2);
    ASSERT_EQ(r.files, 1u);
    std::printf("The 30 s window holds %zu frames\n", r.pcm.size() / 4);
    EXPECT_NEAR(static_cast<double>(r.pcm.size() / 4), 30 * 48000.0, 720);
    // The runs of sound and of silence, in frames.
    std::vector<std::pair<bool, std::string>> runs;
    for (size_t i = 0; i + 4 <= r.pcm.size(); i += 4) {
        bool sound = r.pcm.compare(i, 4, std::string(4, '\0')) != 0;
        if (runs.empty() || runs.back().first != sound)
            runs.push_back({sound, ""});
        runs.back().second.append(r.pcm, i, 4);
    }
    // The player's own start takes a second or two, under load longer: the
    // pause lies whole inside the window, sound on both sides of it.
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_TRUE(runs[0].first);
    EXPECT_EQ(runs[1].second.size() / 4, tenSeconds);
    EXPECT_GT(runs[0].second.size() / 4, tenSeconds / 2);
    EXPECT_GT(runs[2].second.size() / 4, tenSeconds / 2);
    CheckRamp(runs[0].second, 2, "the first stretch");
    CheckRamp(runs[2].second, 2, "the second stretch");
}

// Loopback under Wine: the open fails at the capture service every time.
// The user hears once that this system cannot record what it plays; the
// retries go on quietly. At the stop the start request queued behind them
// is dropped: no file in any format, and the user hears that nothing was
// recorded. Exit ends it cleanly.
TEST(Loopback, WithoutLoopbackCaptureTheUserIsToldOnceAndNoFileIsMade)
{
    for (FileType type : {kFileWav, kFileFlac, kFileOpus}) {
        Recorder rec;
        rec.deviceId = L"loopback:default";
        rec.fileFormat = type;
        CDateTime start = SecondsFromNow(2);
        rec.Write({Program(start, SecondsFromNow(14), 0, L"Radio")});
        ChildProcess child;
        HWND hwnd = rec.Launch(child);
        ASSERT_NE(hwnd, nullptr);
        ASSERT_TRUE(rec.WaitForTrace("[CaptureOpen] capture device open error", 25000, 3)) << ReadBytes(rec.traceFile);
        EXPECT_GE(rec.TraceCount("CWasapiCapture::Open: GetService failed (0x88890003)"), 3);
        EXPECT_EQ(rec.TraceCount("falling back to waveIn"), 0);
        EXPECT_EQ(rec.TraceCount("Balloon: Radio: This system cannot record what this PC plays"), 1);
        std::string nothing = "Radio_" + Narrow(Stamp(start)) + ": nothing was recorded.";
        EXPECT_TRUE(rec.WaitForTrace("Balloon: Nothing recorded: " + nothing, 10000)) << ReadBytes(rec.traceFile);
        EXPECT_NE(ReadBytes(rec.workDir.File(L"marivane.log")).find("\tNothing recorded\t" + nothing), std::string::npos);
        EXPECT_TRUE(child.Running());
        DWORD asked = GetTickCount();
        EXPECT_EQ(ExitProgram(hwnd, child), 0u);
        EXPECT_LT(GetTickCount() - asked, 5000u);
        EXPECT_TRUE(rec.Wavs().empty()) << Narrow(rec.Wavs().front());
        EXPECT_EQ(rec.TraceCount("Balloon: Nothing recorded: " + nothing), 1);
    }
}
