// The real program end to end: marivane.exe under Wine with a prepared
// configuration, the test tracer beside it and the ramp microphone as its
// capture device.
#include "app/Recorder.h"
#include "foundation/Messages.h"
#include "resources/resource.h"
#include "support/Decoders.h"
#include "support/DialogDriver.h"

#include <commctrl.h>

namespace {

// Red pixels in the tray corner of the screen: the recording icon is red, the idle one blue.
int RedPixelsInTray()
{
    HDC screen = GetDC(nullptr);
    int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN), red = 0;
    for (int y = h - 32; y < h; ++y)
        for (int x = w - 64; x < w; ++x) {
            COLORREF c = GetPixel(screen, x, y);
            if (c != CLR_INVALID && GetRValue(c) > 150 && GetGValue(c) < 80 && GetBValue(c) < 80)
                ++red;
        }
    ReleaseDC(nullptr, screen);
    return red;
}

// Asks the program twice for a dialog; the one dialog open (checked), or null.
HWND OpenTwice(HWND app, UINT message, WPARAM wParam, LPARAM lParam, const wchar_t* caption)
{
    DWORD thread = GetWindowThreadProcessId(app, nullptr);
    PostMessageW(app, message, wParam, lParam);
    HWND dialog = WaitForDialog(thread, caption, 10000);
    PostMessageW(app, message, wParam, lParam);
    Sleep(800);
    EXPECT_EQ(VisibleWindows(thread, caption).size(), 1u) << Narrow(caption);
    return dialog;
}

}  // namespace

// Three programs back to back: one running device hands over from each to
// the next, so the ramp runs on unbroken across all their files, and each
// holds its own 15 s. (When the scheduler's passes come is tested on its own
// thread; the cuts go by the capture clock whenever they come.) The chosen
// microphone is not there: the default one records, each program says so
// once, and the choice stays in the settings.
TEST(EndToEnd, BackToBackProgramsAreExactAndSeamlessAndTheListMovesOn)
{
    Recorder rec;
    rec.deviceName = L"USB Microphone";
    rec.deviceId = L"{0.0.1.00000000}.{00000000-0000-0000-0000-0000000000ab}";
    const int kLength = 15;
    CDateTime starts[4];
    for (int i = 0; i < 4; ++i)
        starts[i] = SecondsFromNow(8 + i * kLength);
    const wchar_t* titles[3] = {L"News", L"Talk", L"Music"};
    rec.Write({Program(starts[0], starts[1], 0, titles[0]), Program(starts[1], starts[2], 0, titles[1]),
               Program(starts[2], starts[3], 0, titles[2])});

    ASSERT_NO_FATAL_FAILURE(rec.RunUntil("[" + Narrow(Text(starts[3])) + "] (ID=", 80000, 1500));

    // The device is closed once, at the end.
    EXPECT_EQ(rec.TraceCount("[CaptureClose] close capture"), 1);

    std::string all;
    for (int i = 0; i < 3; ++i) {
        std::wstring prefix = std::wstring(titles[i]) + L"_" + Stamp(starts[i]);
        RecordedFiles r = ReadRecording(rec.wavDir + L"\\" + prefix, 48000, 2, 1048576);
        EXPECT_GE(r.files, 3u) << Narrow(prefix);  // 15 s of 48 kHz stereo split at 1 MB
        EXPECT_NEAR(static_cast<double>(r.pcm.size() / 4), kLength * 48000.0, 480) << Narrow(prefix);
        all += r.pcm;
    }
    CheckRamp(all, 2, "the three programs");

    // The recorded programs are gone from the rewritten file.
    EXPECT_TRUE(rec.Saved().empty());
    std::string log = ReadBytes(rec.workDir.File(L"marivane.log"));
    const std::string told = "USB Microphone is not connected, so PulseAudio records instead. It stays chosen";
    for (const wchar_t* title : titles) {
        EXPECT_EQ(rec.TraceCount("Balloon: " + Narrow(title) + ": " + told), 1) << Narrow(title);
        EXPECT_NE(log.find("\t" + Narrow(title) + "\t" + told), std::string::npos) << log;
    }
    EXPECT_NE(ReadBytes(rec.workDir.File(L"marivane.ini")).find("<cap_device_name>USB Microphone<"), std::string::npos);
}

// Exit from the tray menu, or a shutdown or log-off, during a recording:
// the file is finished before the process ends, and the program, not over,
// stays in the list; the session's end notes the recording as cut short. The tray icon turns from idle to recording meanwhile.
TEST(EndToEnd, ExitOrSessionEndDuringARecordingLeavesACompleteFile)
{
    for (bool sessionEnd : {false, true}) {
        SCOPED_TRACE(sessionEnd ? "session end" : "exit");
        Recorder rec;
        CDateTime start = SecondsFromNow(6);
        rec.Write({Program(start, SecondsFromNow(600), 0, L"Cut short")}, 100);
        ChildProcess child;
        HWND hwnd = rec.Launch(child);
        ASSERT_NE(hwnd, nullptr);
        Sleep(1000);
        bool taskbar = FindWindowW(L"Shell_TrayWnd", nullptr) != nullptr;
        if (!sessionEnd) {
            SaveScreenshot(GetDesktopWindow(), L"tray-idle");
            EXPECT_TRUE(!taskbar || RedPixelsInTray() < 10);
        }
        ASSERT_TRUE(rec.WaitForTrace("Start Recording", 20000));
        Sleep(3000);
        if (sessionEnd) {
            DWORD_PTR result = 0;
            // The shutdown screen names the recording; the user goes on all the same.
            EXPECT_TRUE(SendMessageTimeoutW(hwnd, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 10000, &result));
            EXPECT_EQ(result, 0u);
            EXPECT_TRUE(SendMessageTimeoutW(hwnd, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_BLOCK, 20000, &result));
            child.Kill();  // as the system would, right after the message returns
            EXPECT_GT(rec.TraceCount("The session is ending"), 0);
        } else {
            SaveScreenshot(GetDesktopWindow(), L"tray-recording");
            EXPECT_TRUE(!taskbar || RedPixelsInTray() > 50);
            EXPECT_EQ(ExitProgram(hwnd, child), 0u);
            EXPECT_EQ(rec.Saved().size(), 1u);
        }
        EXPECT_GT(CheckRecording(rec.wavDir, L"Cut short_" + Stamp(start), 0), 48000u * 2);
        // Cut by the session's end, the recording is told at the next start; Exit ends it cleanly.
        EXPECT_EQ(Exists(rec.workDir.File(L"marivane.recording")), sessionEnd);
    }
}

// FLAC and Opus through the real program, read back by Debian's decoders.
// FLAC from the "Scrambled" input, which it cannot pack: two programs back
// to back, split at 1 MB, every frame as captured across the files and the
// seam, each program its length, its title and start in the comments. Opus
// from the ramp: a sound file to opusinfo, the program's length, not silent.
TEST(EndToEnd, FlacAndOpusRecordingsAreWhatWasCaptured)
{
    Recorder flac;
    flac.fileFormat = kFileFlac;
    flac.deviceName = L"Scrambled";
    CDateTime starts[3] = {SecondsFromNow(8), SecondsFromNow(20), SecondsFromNow(24)};
    flac.Write({Program(starts[0], starts[1], 0, L"Talk: part 1"), Program(starts[1], starts[2], 0, L"Talk: part 2")});
    ASSERT_NO_FATAL_FAILURE(flac.RunUntil("[" + Narrow(Text(starts[2])) + "] (ID=", 60000, 1500));
    std::string all;
    for (int i = 0; i < 2; ++i) {
        std::wstring prefix = flac.wavDir + L"\\Talk_ part " + std::to_wstring(i + 1) + L"_" + Stamp(starts[i]);
        std::string pcm, date = Narrow(Text(starts[i]));  // 2026/03/07 10:00:00, tagged 2026-03-07T10:00:00
        std::replace(date.begin(), date.end(), '/', '-');
        unsigned files = 0;
        for (std::wstring file; Exists(file = WavName(prefix, files, L"flac")); ++files) {
            ToolRun decoded = DecodeFlac(file);
            EXPECT_EQ(decoded.exitCode, 0) << Narrow(file) << decoded.output;
            pcm += decoded.pcm;
            std::string tags = RunTool("metaflac --export-tags-to=- " + UnixArg(file)).output;
            EXPECT_NE(tags.find("TITLE=Talk: part " + std::to_string(i + 1) + "\nDATE=" + date.replace(10, 1, "T")),
                      std::string::npos) << tags;
        }
        EXPECT_GE(files, i ? 1u : 2u) << Narrow(prefix);  // 12 s at about 96 KB/s split at 1 MB
        EXPECT_NEAR(static_cast<double>(pcm.size() / 4), (i ? 4 : 12) * 48000.0, 480) << Narrow(prefix);
        all += pcm;
    }
    CheckScrambled(all, "the two programs");

    Recorder opus;
    opus.fileFormat = kFileOpus;
    CDateTime start = SecondsFromNow(6), stop = SecondsFromNow(12);
    opus.Write({Program(start, stop, 0, L"Opus")}, 100);
    ASSERT_NO_FATAL_FAILURE(opus.RunUntil("[" + Narrow(Text(stop)) + "] (ID=", 40000, 1500));
    std::wstring file = WavName(opus.wavDir + L"\\Opus_" + Stamp(start), 0, L"opus");
    ToolRun info = RunTool("opusinfo " + UnixArg(file)), decoded = DecodeOpus(file, 48000);
    EXPECT_EQ(info.output.find("WARNING"), std::string::npos) << info.output;
    EXPECT_NEAR(static_cast<double>(decoded.pcm.size() / 4), 6 * 48000.0, 480);
    EXPECT_GT(Peak(decoded.pcm), 8000);
}

TEST(EndToEnd, TrayClicksAndMenuOpenOneDialogOfEachKind)
{
    Recorder rec;
    rec.Write({Program(SecondsFromNow(3600), SecondsFromNow(7200), 0, L"Later")});
    ChildProcess first;
    HWND hwnd = rec.Launch(first);
    ASSERT_NE(hwnd, nullptr);

    // A left click opens the program list; a second one opens no other.
    HWND list = OpenTwice(hwnd, WM_TRAY_NOTIFY, 1, WM_LBUTTONDOWN, L"Recording Program List");
    EXPECT_EQ(SendDlgItemMessageW(list, IDC_PROGRAM_LIST, LVM_GETITEMCOUNT, 0, 0), 1);
    PostMessageW(list, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(WaitGone(list));

    // So do About and Setting, and the open one still applies its OK.
    HWND about = OpenTwice(hwnd, WM_COMMAND, IDC_MENU_ABOUT, 0, L"Marivane");
    PostMessageW(about, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitGone(about));

    HWND sheet = OpenTwice(hwnd, WM_COMMAND, IDC_MENU_SETTING, 0, L"Setting");
    SetControlText(Page(sheet, 1), IDC_WAV_MAX_SIZE, L"7");
    PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    EXPECT_TRUE(WaitGone(sheet));
    EXPECT_NE(ReadBytes(rec.workDir.File(L"marivane.ini")).find("<wav_max_size>7</wav_max_size>"),
              std::string::npos);
    EXPECT_EQ(ExitProgram(hwnd, first), 0u);
}

// Two copies started at the same moment: exactly one records, the other
// ends with 0 and has the first one open its program list. With no WAV
// folder set it records into the Music folder (once the current drive's
// root). The tray tip (the hidden window's text too) tells the state.
TEST(EndToEnd, TwoCopiesStartedTogetherRecordOnceIntoTheMusicFolder)
{
    Recorder rec;
    CDateTime start = SecondsFromNow(8);
    rec.wavDir.clear();
    rec.Write({Program(start, SecondsFromNow(10), 0, L"Once")});
    ChildProcess a, b;
    ASSERT_TRUE(rec.Start(a));
    ASSERT_TRUE(rec.Start(b));
    WaitUntil([&] { return !a.Running() || !b.Running(); }, 15000, 100);
    // One of them gave way and ended with 0; the other runs the program.
    ASSERT_NE(a.Running(), b.Running());
    ChildProcess& runner = a.Running() ? a : b;
    EXPECT_EQ((a.Running() ? b : a).WaitForExit(1000), 0u);
    HWND hwnd = runner.WaitForMainWindow(15000);
    ASSERT_NE(hwnd, nullptr);
    HWND list = nullptr;  // the second copy had the first open its list
    EXPECT_TRUE(WaitUntil([&] { return (list = FindWindowW(nullptr, L"Recording Program List")) != nullptr; }, 5000));
    auto startsWith = [&](HWND window, int id, const std::wstring& begin) {
        return WaitUntil([&] { return (id ? ControlText(window, id) : WindowText(window)).rfind(begin, 0) == 0; }, 12000, 100);
    };
    EXPECT_TRUE(startsWith(hwnd, 0, L"Next: Once  "));
    EXPECT_TRUE(startsWith(hwnd, 0, L"Recording: Once until "));
    // The list follows the recording: its title, its time, its level.
    EXPECT_TRUE(startsWith(list, IDC_REC_STATUS, L"Recording: Once  0:00:0"));
    PostMessageW(list, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(rec.WaitForTrace("Stop Recording", 30000));
    EXPECT_TRUE(startsWith(hwnd, 0, L"No program scheduled"));
    EXPECT_EQ(ExitProgram(hwnd, runner), 0u);
    std::wstring file = MusicFolder() + L"\\Once_" + Stamp(start);
    EXPECT_GT(CheckRecording(MusicFolder(), L"Once_" + Stamp(start), 0), 48000u);
    EXPECT_FALSE(Exists(file + L"_001.wav"));
    EXPECT_TRUE(DeleteFileW((file + L"_000.wav").c_str()));
}
