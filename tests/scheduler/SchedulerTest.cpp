// The scheduler's state machine on the simulated clock.
#include "scheduler/SimScheduler.h"

#include <gtest/gtest.h>

namespace {

bool Traced(const std::wstring& line)
{
    return TraceCapture::Contains(line);
}

}  // namespace

TEST(Scheduler, SetupStartAndStopLandOnTheirSeconds)
{
    SchedulerFixture f;
    f.Add(At(2026, 3, 7, 10, 0), At(2026, 3, 7, 10, 30), 0, L"..\\News: 7/8");
    f.sched.m_Clock = At(2026, 3, 7, 9, 58);
    f.sched.RunUntil(At(2026, 3, 7, 10, 29, 59));
    ProgramItem head;
    ASSERT_TRUE(f.config.m_ProgramList.GetAt(0, head));
    EXPECT_EQ(head.m_State, Recording);  // the list node is marked too
    f.sched.RunUntil(At(2026, 3, 7, 10, 35));

    EXPECT_TRUE(Traced(L"[2026/03/07 09:59:55] (ID=1) Setup Recording\n"));
    EXPECT_TRUE(Traced(L"[2026/03/07 10:00:00] (ID=1) Start Recording\n"));
    EXPECT_TRUE(Traced(L"[2026/03/07 10:30:00] (ID=1) Stop Recording\n"));
    auto& audio = f.sched.m_Audio;
    ASSERT_EQ(audio.size(), 3u);
    EXPECT_EQ(audio[0].message, WM_CAPTURE_OPEN);
    EXPECT_EQ(audio[0].at, L"2026/03/07 09:59:55");
    EXPECT_EQ(audio[1].message, WM_CAPTURE_START);
    EXPECT_EQ(audio[1].prefix, L"D:\\Rec\\.._News_ 7_8_202603071000");  // never outside the folder
    EXPECT_EQ(audio[2].message, WM_CAPTURE_CLOSE);
    EXPECT_EQ(audio[2].at, L"2026/03/07 10:30:00");
    for (const auto& p : audio)
        EXPECT_EQ(p.task, p.message);  // m_Task was written before the post

    // The window sees open, close-inquiry, start and close, in that order.
    std::vector<UINT> window;
    for (const auto& p : f.sched.m_Window)
        window.push_back(p.message);
    std::vector<UINT> expected = {WM_CAPTURE_OPEN, WM_CLOSE_INQUIRY, WM_CAPTURE_START, WM_CAPTURE_CLOSE};
    EXPECT_EQ(window, expected);

    // The one-shot program is gone from the list and from the file.
    EXPECT_FALSE(f.config.m_ProgramList.GetAt(0, head));
    std::string saved = f.SavedFile();
    EXPECT_NE(saved.find("<programs"), std::string::npos);
    EXPECT_EQ(saved.find("News"), std::string::npos);

    // Held awake from set-up to stop, and only then.
    ASSERT_EQ(f.sched.m_KeepAwake.size(), 2u);
    EXPECT_EQ(f.sched.m_KeepAwake[0], std::make_pair(std::wstring(L"2026/03/07 09:59:55"), true));
    EXPECT_EQ(f.sched.m_KeepAwake[1], std::make_pair(std::wstring(L"2026/03/07 10:30:00"), false));
}

// Launched late the program is set up and started in one pass under its
// scheduled name; one that is over is deleted unrecorded; one inside a
// recording is retired with it; without an audio thread the states still turn.
TEST(Scheduler, LateMissedInsideAndWithoutAudioThread)
{
    struct Case {
        const char* what;
        CDateTime from, until;
        DWORD audioId;
        std::vector<std::pair<UINT, std::wstring>> audio;  // message, prefix of a start
        const wchar_t* trace;
    } cases[] = {
        {"late", At(2026, 3, 7, 10, 10), At(2026, 3, 7, 10, 10, 1), 4242,
         {{WM_CAPTURE_OPEN, L""}, {WM_CAPTURE_START, L"D:\\Rec\\First_202603071000"}},
         L"[2026/03/07 10:10:00] (ID=1) Start Recording\n"},
        {"missed", At(2026, 3, 7, 11, 30), At(2026, 3, 7, 11, 30, 1), 4242, {}, nullptr},
        {"inside", At(2026, 3, 7, 9, 59), At(2026, 3, 7, 11, 10), 4242,
         {{WM_CAPTURE_OPEN, L""}, {WM_CAPTURE_START, L"D:\\Rec\\First_202603071000"}, {WM_CAPTURE_CLOSE, L""}},
         L"[2026/03/07 11:00:00] (ID=1) Stop Recording\n"},
        {"no audio thread", At(2026, 3, 7, 9, 59), At(2026, 3, 7, 11, 10), 0, {},
         L"[2026/03/07 11:00:00] (ID=1) Stop Recording\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SchedulerFixture f;
        f.Add(At(2026, 3, 7, 10, 0), At(2026, 3, 7, 11, 0), 0, L"First");
        f.Add(At(2026, 3, 7, 10, 30), At(2026, 3, 7, 10, 45), 0, L"Second");
        f.Add(At(2026, 3, 8, 10, 0), At(2026, 3, 8, 10, 30), 0, L"Tomorrow");
        f.sched.m_AudioId = c.audioId;
        f.sched.m_Clock = c.from;
        f.sched.RunUntil(c.until);
        std::vector<std::pair<UINT, std::wstring>> audio;
        for (const auto& p : f.sched.m_Audio)
            audio.emplace_back(p.message, p.prefix);
        EXPECT_EQ(audio, c.audio);
        if (c.trace) {
            EXPECT_TRUE(Traced(c.trace));
        }
        EXPECT_EQ(f.sched.Count(f.sched.m_Window, WM_CAPTURE_START), c.from.Diff(At(2026, 3, 7, 11, 0)) < 0 ? 1 : 0);
        std::string saved = f.SavedFile();
        if (c.until.Diff(At(2026, 3, 7, 11, 0)) > 0) {
            EXPECT_EQ(saved.find("First"), std::string::npos);
            EXPECT_EQ(saved.find("Second"), std::string::npos);
            EXPECT_NE(saved.find("Tomorrow"), std::string::npos);
        }
    }
}

TEST(Scheduler, ProgramStartingDuringARecordingStartsAfterItIfStillDue)
{
    SchedulerFixture f;
    f.Add(At(2026, 3, 7, 10, 0), At(2026, 3, 7, 11, 0), 0, L"First");
    f.Add(At(2026, 3, 7, 10, 30), At(2026, 3, 7, 12, 0), 0, L"Second");
    f.sched.m_Clock = At(2026, 3, 7, 9, 59);
    f.sched.RunUntil(At(2026, 3, 7, 11, 0, 2));
    // It takes the running device over at the first one's stop: no close, no
    // new set-up of the device, and its stop goes to the audio thread.
    EXPECT_TRUE(Traced(L"[2026/03/07 11:00:00] (ID=1) Stop Recording\n"));
    EXPECT_TRUE(Traced(L"[2026/03/07 11:00:00] (ID=2) Setup Recording\n"));
    EXPECT_TRUE(Traced(L"[2026/03/07 11:00:00] (ID=2) Start Recording\n"));
    EXPECT_EQ(f.sched.Count(f.sched.m_Audio, WM_CAPTURE_CLOSE), 0);
    EXPECT_EQ(f.sched.Count(f.sched.m_Audio, WM_CAPTURE_OPEN), 1);
    EXPECT_EQ(f.sched.Count(f.sched.m_Window, WM_CAPTURE_CLOSE), 0);
    EXPECT_EQ(f.sched.m_Audio.back().prefix, L"D:\\Rec\\Second_202603071030");
    EXPECT_EQ(f.sched.m_StopAts.size(), 2u);
}

TEST(Scheduler, WeeklyProgramRecordsAcrossMonthLeapDayAndYearBoundaries)
{
    SchedulerFixture f;
    // Monday, Tuesday and Thursday at 23:30 to 00:15 the next morning.
    const unsigned mask = (1u << 1) | (1u << 2) | (1u << 4);
    f.Add(At(2028, 2, 24, 23, 30), At(2028, 2, 25, 0, 15), mask, L"Late");
    f.sched.m_Clock = At(2028, 2, 24, 23, 0);
    f.sched.RunUntil(At(2028, 3, 8, 12, 0));
    std::vector<std::wstring> prefixes;
    for (const auto& p : f.sched.m_Audio)
        if (p.message == WM_CAPTURE_START)
            prefixes.push_back(p.prefix.substr(p.prefix.size() - 12));
    std::vector<std::wstring> expected = {L"202802242330", L"202802282330", L"202802292330",
                                          L"202803022330", L"202803062330", L"202803072330"};
    EXPECT_EQ(prefixes, expected);
    EXPECT_NE(f.SavedFile().find("<start_time>2028/03/09 23:30:00</start_time>"), std::string::npos);

}

// Retirements that cannot be saved: the user hears of it once, the list in
// memory moves on, and a later save that works ends the silence.
TEST(Scheduler, AFailedSaveIsToldOnceUntilASaveSucceeds)
{
    SchedulerFixture f;
    std::wstring folder = f.dir.File(L"not yet");
    f.config.m_IniFile.Assign((folder + L"\\marivane.ini").c_str());
    for (int i = 0; i < 3; ++i)
        f.Add(At(2026, 3, 7, 10, i * 2), At(2026, 3, 7, 10, i * 2 + 1));
    f.sched.m_Clock = At(2026, 3, 7, 9, 59, 50);
    f.sched.RunUntil(At(2026, 3, 7, 10, 3, 30));
    EXPECT_EQ(f.sched.m_Notices, std::vector<WPARAM>{kNoticeSaveFailed});
    ProgramItem head;
    ASSERT_TRUE(f.config.m_ProgramList.GetAt(0, head));
    EXPECT_EQ(head.m_Id, 3u);
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    f.sched.RunUntil(At(2026, 3, 7, 10, 6));
    EXPECT_EQ(f.sched.m_Notices.size(), 1u);
    EXPECT_TRUE(Exists(folder + L"\\marivane.ini"));
}

// The real thread with the real clock: passes begin just after whole seconds.
class ClockedScheduler : public CScheduler {
public:
    std::vector<int> m_Millis;

protected:
    void GetNow(CDateTime& now) override
    {
        SYSTEMTIME st;
        GetLocalTime(&st);
        m_Millis.push_back(st.wMilliseconds);
        CScheduler::GetNow(now);
    }
    void PostToWindow(UINT) override {}
    DWORD AudioThreadId() override { return 0; }
    void PostToAudio(UINT, WPARAM, LPARAM) override {}
};

TEST(SchedulerThread, PassesStartJustAfterWholeSecondsAndQuitEndsTheThread)
{
    ClockedScheduler sched;
    Sleep(437);  // start off the second
    HANDLE thread = CreateThread(nullptr, 0, CScheduler::SchedulerThreadProc, &sched, 0, nullptr);
    for (int i = 0; i < 1000 && !sched.m_SchedThreadId; ++i)
        Sleep(10);
    EXPECT_NE(sched.m_SchedThreadId, 0u);
    Sleep(4200);
    sched.m_bSchedQuit = 1;
    DWORD begun = GetTickCount();
    EXPECT_EQ(WaitForSingleObject(thread, 3000), WAIT_OBJECT_0);
    EXPECT_LT(GetTickCount() - begun, 1300u);
    CloseHandle(thread);
    ASSERT_GE(sched.m_Millis.size(), 4u);
    for (size_t i = 1; i < sched.m_Millis.size(); ++i)
        EXPECT_LT(sched.m_Millis[i], 100) << "pass " << i;
}
