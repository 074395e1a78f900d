// The recorder's own controls in the real program: stop a recording, record
// now, the command after each recording, and the clean-up of old recordings.
#include "afterwards/AfterRecording.h"
#include "afterwards/CommandLine.h"
#include "afterwards/RecordingCleaner.h"
#include "app/AppMain.h"
#include "app/Recorder.h"
#include "capture/BaseCapture.h"
#include "files/FilePrefix.h"
#include "foundation/Messages.h"
#include "support/DialogDriver.h"

#include <cstdio>
#include <shellapi.h>
#include <sstream>

namespace {

// The quoted names of one line the command wrote.
std::vector<std::wstring> Quoted(const std::wstring& line)
{
    std::vector<std::wstring> names;
    for (size_t at = line.find(L'"'); at != std::wstring::npos; at = line.find(L'"', line.find(L'"', at + 1) + 1))
        names.push_back(line.substr(at + 1, line.find(L'"', at + 1) - at - 1));
    return names;
}

std::vector<std::wstring> Lines(const std::string& utf8)
{
    std::vector<std::wstring> lines;
    std::istringstream in(utf8);
    for (std::string line; std::getline(in, line);) {
        wchar_t wide[4096] = L"";
        MultiByteToWideChar(CP_ACP, 0, line.c_str(), -1, wide, 4096);
        lines.push_back(wide);
    }
    return lines;
}

}  // namespace

// A weekly program stopped from the menu ends at the command, to 50 ms, and
// moves to next week; "Record now" starts within a second of OK, with no
// lead-in, and stops from the tray menu as chosen there; after each, the
// command gets exactly that recording's files.
TEST(RecorderControls, StopAndRecordNowEndAtTheCommandAndTheCommandGetsTheFiles)
{
    Recorder rec;
    std::wstring out = rec.workDir.File(L"files.txt");
    CDateTime start = SecondsFromNow(7);
    rec.Write({Program(start, SecondsFromNow(900), 1u << start.m_Time.wDayOfWeek, L"Weekly show")}, 1,
              [&](CAppParameter& c) { c.m_AfterCommand.Assign((L"cmd /c echo %F>>\"" + out + L"\"").c_str()); });
    ChildProcess child;
    HWND hwnd = rec.Launch(child);
    ASSERT_NE(hwnd, nullptr);
    DWORD ui = GetWindowThreadProcessId(hwnd, nullptr);
    ASSERT_TRUE(rec.WaitForTrace("Start Recording", 20000));
    Sleep(6000);  // two files at 1 MB
    long long command = CBaseCapture::Now();
    PostMessageW(hwnd, WM_COMMAND, IDC_MENU_STOP, 0);
    ASSERT_TRUE(rec.WaitForTrace("(stopped by the user)", 5000));
    ASSERT_TRUE(WaitUntil([&] { return Lines(ReadBytes(out)).size() == 1; }, 10000, 100));
    std::wstring weekly = L"Weekly show_" + Stamp(start);
    size_t frames = CheckRecording(rec.wavDir, weekly, 1048576);
    double late = frames / 48.0 - (command - UtcTicksOf(start)) / 1e4;
    std::printf("The stop command ended the file %.1f ms after it\n", late);
    EXPECT_NEAR(late, 0, 50);

    // Record now, an hour, from OK; stopped from the tray menu, its second item.
    PostMessageW(hwnd, WM_COMMAND, IDC_MENU_RECORD_NOW, 0);
    HWND input = WaitForDialog(ui, L"Input Recording Program", 10000);
    ASSERT_NE(input, nullptr);
    EXPECT_EQ(ControlText(input, IDC_DURATION), L"1:00");
    EXPECT_EQ(ControlText(input, IDC_TITLE), L"Recording");
    long long ok = CBaseCapture::QpcNow() / 10;
    CDateTime okLocal = SecondsFromNow(0);
    Click(input, IDOK);
    ASSERT_TRUE(rec.WaitForTrace("[CaptureStart] start capture", 5000, 2));
    long long started = rec.TraceTimes("[CaptureStart] start capture").back() - ok;
    std::printf("Record now started %.0f ms after OK\n", started / 1e3);
    EXPECT_LT(started, 1000000);
    Sleep(6000);
    PostMessageW(hwnd, WM_TRAY_NOTIFY, 1, WM_RBUTTONDOWN);
    HWND menu = WaitForMenu(ui);
    ASSERT_NE(menu, nullptr);
    for (UINT key : {VK_DOWN, VK_DOWN, VK_RETURN}) {
        Sleep(200);
        command = CBaseCapture::QpcNow() / 10;
        PostMessageW(menu, WM_KEYDOWN, key, 0);
    }
    ASSERT_TRUE(rec.WaitForTrace("(stopped by the user)", 5000, 2));
    ASSERT_TRUE(WaitUntil([&] { return Lines(ReadBytes(out)).size() == 2; }, 10000, 100));
    std::wstring now = L"Recording_" + Stamp(okLocal);
    double seconds = CheckRecording(rec.wavDir, now, 1048576) / 48000.0;
    EXPECT_GT(seconds, (command - ok) / 1e6 - 1.0);
    EXPECT_LT(seconds, (command - ok) / 1e6 + 0.1);

    // Each line holds exactly its recording's files, in order.
    auto lines = Lines(ReadBytes(out));
    const std::wstring prefixes[] = {weekly, now};
    for (int i = 0; i < 2; ++i) {
        std::vector<std::wstring> files;
        for (const auto& name : rec.Wavs())
            if (name.rfind(prefixes[i], 0) == 0)
                files.push_back(rec.wavDir + L"\\" + name);
        EXPECT_GE(files.size(), 2u);
        EXPECT_EQ(Quoted(lines[i]), files) << Narrow(lines[i]);
    }
    EXPECT_TRUE(WaitUntil([&] { return ReadBytes(rec.workDir.File(L"marivane.log")).find("(exit code 0)") != std::string::npos; }, 5000));

    // The folder opens in Explorer from the tray menu and from the program list.
    PostMessageW(hwnd, WM_TRAY_NOTIFY, 1, WM_LBUTTONDOWN);
    HWND list = WaitForDialog(ui, L"Recording Program List", 10000);
    for (bool fromList : {false, true}) {
        if (fromList)
            Click(list, IDC_OPEN_FOLDER);
        else
            PostMessageW(hwnd, WM_COMMAND, IDC_MENU_OPEN_FOLDER, 0);
        HWND folder = nullptr;
        EXPECT_TRUE(WaitUntil([&] { return (folder = FindWindowW(L"ExplorerWClass", L"wav")) != nullptr; }, 15000)) << fromList;
        PostMessageW(folder, WM_CLOSE, 0, 0);
        EXPECT_TRUE(WaitGone(folder, 10000));
    }
    EXPECT_EQ(ExitProgram(hwnd, child), 0u);
    auto saved = rec.Saved();
    ASSERT_EQ(saved.size(), 1u);  // the one-shot went
    EXPECT_EQ(saved[0].m_StartTime.Diff(start), 7 * CDateTime::kDay);
}

// Keep 30 days: exactly the old recordings of this program's titles (one in
// the list, one recorded before, in any case) go to the Recycle Bin, with
// one line in the notice log. Newer ones stay, as do old files of other
// names, a file being written, a read-only one and one in a subfolder.
TEST(RecorderControls, KeepDaysMovesExactlyTheOldRecordingsToTheRecycleBin)
{
    Recorder rec;
    rec.Write({Program(SecondsFromNow(7200), SecondsFromNow(7260), 0, L"Kept: show")}, 1, [](CAppParameter& c) {
        c.m_KeepDays = 30;
        c.AddRecordedTitle(L"Gone show");
    });
    CreateDirectoryW((rec.wavDir + L"\\sub").c_str(), nullptr);
    struct File {
        const wchar_t* name;
        int days;
        int kilobytes;
        bool goes;
    } files[] = {
        {L"Kept_ show_202601010900_000.wav", 40, 1024, true},
        {L"Kept_ show_202601010900_001.flac", 40, 512, true},
        {L"gone SHOW_202512010900_000.opus", 31, 512, true},
        {L"Kept_ show_202604010900_000.wav", 29, 1, false},
        {L"Other_202601010900_000.wav", 40, 1, false},
        {L"Kept_ show_2026010109_000.wav", 40, 1, false},
        {L"Kept_ show notes.txt", 40, 1, false},
        {L"Kept_ show_202601020900_000.wav", 40, 1, false},  // being written
        {L"Kept_ show_202601030900_000.wav", 40, 1, false},  // read-only
        {L"sub\\Kept_ show_202601010900_000.wav", 40, 1, false},
    };
    HANDLE writing = INVALID_HANDLE_VALUE;
    for (const File& f : files) {
        std::wstring path = rec.wavDir + L"\\" + f.name;
        ASSERT_TRUE(WriteBytes(path, std::string(f.kilobytes * 1024, 'x')));
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        FILETIME ft;
        GetSystemTimeAsFileTime(&ft);
        long long ticks = FileTimeToTicks(ft) - f.days * CDateTime::kDay;
        ft = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
        SetFileTime(h, nullptr, nullptr, &ft);
        if (wcsstr(f.name, L"0102"))
            writing = h;
        else
            CloseHandle(h);
        if (wcsstr(f.name, L"0103"))
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
    }
    // What the Recycle Bin holds, as the shell counts it.
    auto bin = [&] {
        SHQUERYRBINFO info = {sizeof info, 0, 0};
        SHQueryRecycleBinW(rec.wavDir.c_str(), &info);
        return std::make_pair(info.i64NumItems, info.i64Size);
    };
    auto before = bin();
    ChildProcess child;
    HWND hwnd = rec.Launch(child);
    ASSERT_NE(hwnd, nullptr);
    std::string log;
    EXPECT_TRUE(WaitUntil([&] {
        log = ReadBytes(rec.workDir.File(L"marivane.log"));
        return log.find("Old recordings moved to the Recycle Bin: 3 files, 2.0 MB, older than 30 days") != std::string::npos;
    }, 15000)) << log;
    EXPECT_EQ(ExitProgram(hwnd, child), 0u);
    CloseHandle(writing);
    EXPECT_EQ(bin().first - before.first, 3);
    EXPECT_EQ(bin().second - before.second, 2048 * 1024);
    for (const File& f : files) {
        std::wstring path = rec.wavDir + L"\\" + f.name;
        EXPECT_EQ(Exists(path), !f.goes) << Narrow(f.name);
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    SHEmptyRecycleBinW(nullptr, nullptr, SHERB_NOCONFIRMATION | SHERB_NOPROGRESSUI | SHERB_NOSOUND);
}

// The session ends while a clean-up crawls (each move 2 s, a slow drive) or
// hangs in a move: the recording's file is finished first and the end is
// prompt, or waits no more than the cleaner's limit; the clean-up stops
// before its next file and, let go after the settings are freed, never
// reads them.
TEST(RecorderControls, TheSessionEndingFinishesTheFileFirstDuringASlowCleanUp)
{
    static LONG s_Moves;
    static HANDLE s_Hang;
    auto move = CRecordingCleaner::s_MoveToBin;
    CRecordingCleaner::s_MoveToBin = [](const std::wstring&, HRESULT& error) {
        InterlockedIncrement(&s_Moves);
        if (s_Hang)
            WaitForSingleObject(s_Hang, INFINITE);
        else
            Sleep(2000);
        return error = S_OK, CRecycleBin::kFailed;
    };
    struct Case {
        bool hang;
        ULONGLONG maxMs;
        const wchar_t* after;  // traced after the file closed, if any
    } cases[] = {{false, 6000, nullptr},
                 {true, CRecordingCleaner::kStopWaitMs + 3000, L"[CRecordingCleaner] the clean-up did not end"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hang);
        TempDir dir;
        IniConfig config(dir.File(L"marivane.ini"));
        config.m_WavFileDir.Assign(dir.Path().c_str());
        config.m_Frequency = 48000;
        config.m_Channels = 2;
        config.m_WavMaxSize = 100;
        config.m_FileFormat = kFileWav;
        config.m_Language = 0;
        config.m_KeepDays = 1;
        config.AddRecordedTitle(L"Old");
        config.m_ProgramList.Insert(Program(SecondsFromNow(2), SecondsFromNow(600), 0, L"Show"));
        for (int i = 0; i < 10; ++i) {
            std::wstring file = dir.File(L"Old_202001010000_00" + std::to_wstring(i) + L".wav");
            WriteBytes(file, "x");
            HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            FILETIME old = {0, 0x01D00000};  // 2014
            SetFileTime(h, nullptr, nullptr, &old);
            CloseHandle(h);
        }
        s_Moves = 0;
        s_Hang = c.hang ? CreateEventW(nullptr, TRUE, FALSE, nullptr) : nullptr;
        g_pConfig = &config;
        TraceCapture trace;
        // Where the first trace line holding text is (their count if none).
        auto at = [](const wchar_t* text) {
            auto lines = TraceCapture::Lines();
            return static_cast<size_t>(std::find_if(lines.begin(), lines.end(), [&](const std::wstring& l) {
                return l.find(text) != l.npos;
            }) - lines.begin());
        };
        ULONGLONG took = 0;
        {
            CAppMain app(GetModuleHandleW(nullptr));
            g_pApp = &app;
            ASSERT_EQ(app.Create(GetModuleHandleW(nullptr)), 1);
            for (int i = 0; i < 200 && at(L"Start Recording") == TraceCapture::Lines().size(); ++i)
                PumpMessages(50);
            PumpMessages(3000);
            ULONGLONG begin = GetTickCount64();
            SendMessageW(app.m_hWnd, WM_ENDSESSION, TRUE, 0);
            took = GetTickCount64() - begin;
            MSG quit;
            PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
            UnregisterClassW(CAppMain::kWindowClass, GetModuleHandleW(nullptr));
            g_pApp = nullptr;
        }
        g_pConfig = nullptr;
        LONG moves = s_Moves;
        if (s_Hang)
            SetEvent(s_Hang);
        std::printf("The session's end took %llu ms, after %ld moves\n", took, moves);
        EXPECT_LT(took, c.maxMs);
        std::wstring show;
        for (const std::wstring& name : ListFiles(dir.Path()))
            if (name.rfind(L"Show_", 0) == 0)
                show = dir.File(name);
        WavFields wav = ReadWav(show);
        EXPECT_TRUE(wav.valid);
        EXPECT_GT(wav.dataSize, 48000u * 4);
        EXPECT_EQ(wav.dataSize, wav.data.size());
        Sleep(c.hang ? 500 : 4500);
        EXPECT_EQ(s_Moves, moves);
        EXPECT_TRUE(!c.after || at(L"[CWaveWriter] closed") < at(c.after));
        EXPECT_TRUE(!c.after || at(c.after) < TraceCapture::Lines().size());
        if (s_Hang)
            CloseHandle(s_Hang);
    }
    CRecordingCleaner::s_MoveToBin = move;
}

// The command line's placeholders filled in; how the command ended, in the
// notice log's terms: exit code 0, another one, not started, still running
// when the watch ends (30 minutes, here none).
TEST(RecorderControls, TheCommandAfterARecordingIsFilledInAndWatched)
{
    EXPECT_EQ(CAfterRecording::Expand(L"up.exe %F -d %D -t \"%T\" -s %S 100%% %x%",
                                      L"D:\\Rec\\A b_202603071000_000.wav\nD:\\Rec\\A b_202603071000_001.wav\n"),
              L"up.exe \"D:\\Rec\\A b_202603071000_000.wav\" \"D:\\Rec\\A b_202603071000_001.wav\" -d \"D:\\Rec\" "
              L"-t \"A b\" -s 202603071000 100% %x%");
    // A program path that Windows would cut at a space is refused.
    struct Typed {
        const wchar_t* command;
        bool refused;
    } typed[] = {{L"C:\\Program Files\\Tool\\up.exe %F", true}, {L"C:\\Tools\\My Program.exe", true},
                 {L"C:\\My Tools\\up %F", true},         {L"\"C:\\Program Files\\Tool\\up.exe\" %F", false},
                 {L"C:\\Tools\\up.exe -o C:\\out dir", false}, {L"C:\\Tools\\up %F C:\\x y", false},
                 {L"cmd /c echo %F", false},               {L"tool another.exe", false}};
    for (const Typed& t : typed)
        EXPECT_EQ(CCommandLine::Refusal(t.command, false) != nullptr, t.refused) << Narrow(t.command);
    TempDir dir;
    std::wstring files = dir.File(L"A b_202603071000_000.wav") + L"\n";
    HWND window = CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    struct Case {
        const wchar_t* command;
        DWORD watchMs;
        WPARAM notice;
        const wchar_t* text;
    } cases[] = {
        {L"cmd /c exit 0", 30000, kNoticeCommandDone, L"A b_202603071000 (exit code 0)"},
        {L"cmd /c exit 3", 30000, kNoticeCommandFailed, L"A b_202603071000 (exit code 3)"},
        {L"no-such-program.exe %F", 30000, kNoticeCommandNotRun, L"A b_202603071000 (error 2)"},
        {L"C:\\Program Files\\Tool\\up.exe %F", 30000, kNoticeCommandNotRun,
         L"A b_202603071000 (its program's path has spaces but no quotes)"},
        {L"cmd /c exit 0", 0, kNoticeCommandRunning, L"A b_202603071000"},
    };
    for (const Case& c : cases) {
        CAfterRecording::s_WatchMs = c.watchMs;
        CAfterRecording::Run(c.command, files.c_str(), window, false);
        MSG msg = {};
        EXPECT_TRUE(WaitUntil([&] { return PeekMessageW(&msg, window, WM_RECORDING_NOTICE, WM_RECORDING_NOTICE, PM_REMOVE); }, 10000));
        EXPECT_EQ(msg.wParam, c.notice) << Narrow(c.command);
        EXPECT_EQ(std::wstring(msg.lParam ? reinterpret_cast<wchar_t*>(msg.lParam) : L""), c.text);
        delete[] reinterpret_cast<wchar_t*>(msg.lParam);
    }
    CAfterRecording::s_WatchMs = CAfterRecording::kWatchMs;
    DestroyWindow(window);
}

// What the started program reads of each value, quoted by the user or not,
// through cmd or not: an exe's arguments as its C runtime reads them, and a
// batch file's %1 to %3 as cmd hands them over (each in its quotes).
TEST(RecorderControls, TheStartedProgramReadsEachValueWhole)
{
    TempDir dir;
    std::wstring exe = TestBinDir() + L"\\argv-echo.exe", bat = dir.File(L"echo args.bat"), out = dir.File(L"argv.txt");
    WriteBytes(bat, "@echo off\r\n>>\"%MARIVANE_ARGV_FILE%\" echo %1\r\n>>\"%MARIVANE_ARGV_FILE%\" echo %2\r\n"
                    ">>\"%MARIVANE_ARGV_FILE%\" echo %3\r\n");
    SetEnvironmentVariableW(L"MARIVANE_ARGV_FILE", out.c_str());
    // Wine's cmd expands a %NAME% in a batch file's %1 once more; Windows' does not.
    bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    std::wstring odd = FileTitle(L"C:\\", L"Say \"hi\" & 100%PATH%! ^ (x)", 512), batchPath = L"\"%PATH%\"";
    if (wine)
        batchPath = L"\"" + EnvironmentValue(L"PATH") + L"\"";
    HWND window = CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    struct Case {
        const wchar_t* folder;
        std::wstring title, command;
        std::vector<std::wstring> read;
    } cases[] = {
        // A drive's root, quoted by the user or not; a share and its root.
        {L"C:\\", L"Tom & Jerry", L"{exe} %F %D \"%D\" %T", {L"C:\\\\Tom & Jerry_202603071000_000.wav", L"C:\\", L"C:\\", L"Tom & Jerry"}},
        {L"\\\\server\\share\\Rec", L"A b", L"{exe} --dir=\"%D\" -t \"%T\"", {L"--dir=\\\\server\\share\\Rec", L"-t", L"A b"}},
        {L"\\\\server\\share\\", L"A b", L"{exe} %D", {L"\\\\server\\share"}},
        // Without cmd a % is a character; through cmd no character is cmd's.
        {L"C:\\", L"100%PATH%", L"{exe} %T", {L"100%PATH%"}},
        {L"C:\\", odd, L"cmd /c {exe} %T %D", {odd, L"C:\\"}},
        {L"C:\\", odd, L"cmd /c \"{exe}\" \"%T\"", {odd}},
        // A batch file by name.
        {L"C:\\", L"Tom & Jerry (live) ^ !x!", L"\"{bat}\" %F %D %T",
         {L"\"C:\\\\Tom & Jerry (live) ^ !x!_202603071000_000.wav\"", L"\"C:\\\\\"", L"\"Tom & Jerry (live) ^ !x!\""}},
        {L"C:\\", L"%PATH%", L"\"{bat}\" %T %D %S", {batchPath, L"\"C:\\\\\"", L"202603071000"}},
    };
    for (Case& c : cases) {
        for (auto [code, value] : {std::make_pair(L"{exe}", exe), std::make_pair(L"{bat}", bat)})
            if (c.command.find(code) != std::wstring::npos)
                c.command.replace(c.command.find(code), 5, value);
        std::wstring files = std::wstring(c.folder) + L"\\" + c.title + L"_202603071000_000.wav\n";
        DeleteFileW(out.c_str());
        CAfterRecording::Run(c.command.c_str(), files.c_str(), window, false);
        MSG msg = {};
        EXPECT_TRUE(WaitUntil([&] { return PeekMessageW(&msg, window, WM_RECORDING_NOTICE, WM_RECORDING_NOTICE, PM_REMOVE); }, 10000));
        EXPECT_EQ(msg.wParam, static_cast<WPARAM>(kNoticeCommandDone)) << Narrow(c.command);
        delete[] reinterpret_cast<wchar_t*>(msg.lParam);
        std::vector<std::wstring> read = Lines(ReadBytes(out));
        for (std::wstring& line : read)
            if (!line.empty() && line.back() == L'\r')
                line.pop_back();
        std::wstring whole = read.empty() || c.command.find(bat) != std::wstring::npos ? L"" : read.front();
        if (!whole.empty())
            read.erase(read.begin());  // the exe's whole command line first
        EXPECT_EQ(read, c.read) << Narrow(c.command) << "\n  started as " << Narrow(whole);
    }
    SetEnvironmentVariableW(L"MARIVANE_ARGV_FILE", nullptr);
    DestroyWindow(window);
}
