// The recorder's own controls in the real program: stop a recording, record
// now, the command after each recording, and the clean-up of old recordings.
#include "app/AfterRecording.h"
#include "app/Messages.h"
#include "app/Recorder.h"
#include "app/RecordingCleaner.h"
#include "audio/BaseCapture.h"
#include "support/DialogDriver.h"

#include <cstdio>
#include <sstream>

namespace {

long long UtcOf(const CDateTime& local)
{
    SYSTEMTIME utc;
    FILETIME ft;
    TzSpecificLocalTimeToSystemTime(nullptr, &local.m_Time, &utc);
    SystemTimeToFileTime(&utc, &ft);
    return FileTimeToTicks(ft);
}

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
    double late = frames / 48.0 - (command - UtcOf(start)) / 1e4;
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
    HWND menu = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (menu = FindWindowW(L"#32768", nullptr)) && IsWindowVisible(menu); }, 5000));
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
