// The scheduler's state machine on the simulated clock.
#include "files/RecordingFormat.h"
#include "scheduler/SimScheduler.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>


// What the scheduler asks for, second by second, from the set-up five
// seconds ahead to the stop, in the cases a user meets: on time, launched
// late, launched after the stop, launched inside a recording, without an
// audio thread, a program starting inside another (it takes the running
// device over at the other's stop, also behind an expired one inside
// it), the PC held awake from the wake lead, and a weekly program across a month
// end, a leap day and the next month.
TEST(Scheduler, WhatIsAskedForAndWhen)
{
    struct Program {
        CDateTime start, stop;
        unsigned weekly;
        const wchar_t* title;
        const wchar_t* source = nullptr;
    };
    const wchar_t* station = L"http://127.0.0.1:8000/live.pls";
    const wchar_t* mic = L"{0.0.1.00000000}.{00000000-0000-0000-0000-0000000000cd}";
    const std::vector<Program> day = {{At(2026, 3, 7, 10, 0), At(2026, 3, 7, 11, 0), 0, L"First"},
                                      {At(2026, 3, 7, 10, 30), At(2026, 3, 7, 10, 45), 0, L"Second"},
                                      {At(2026, 3, 8, 10, 0), At(2026, 3, 8, 10, 30), 0, L"Tomorrow"}};
    struct Case {
        const char* what;
        std::vector<Program> programs;
        CDateTime from, until;
        DWORD audioId;
        std::vector<std::wstring> log;  // with only: the entries whose what matches it
        const wchar_t* only;
        std::vector<const char*> kept;  // titles left in the file
        CDateTime stopped = CDateTime();   // when the user stops the recording, if at all
    } cases[] = {
        {"on time", {{At(2026, 3, 7, 10, 0), At(2026, 3, 7, 10, 30), 0, L"..\\News: 7/8"}},
         At(2026, 3, 7, 9, 58), At(2026, 3, 7, 10, 35), 4242,
         {L"09:58:00 awake", L"09:59:55 window open", L"09:59:55 open", L"09:59:55 window close-inquiry",
          L"10:00:00 window start", L"10:00:00 start .._News_ 7_8_202603071000 until 630",
          L"10:30:00 window close", L"10:30:00 close", L"10:30:00 awake off"}, nullptr, {}},
        {"late", day, At(2026, 3, 7, 10, 10), At(2026, 3, 7, 10, 10, 1), 4242,
         {L"10:10:00 window open", L"10:10:00 open", L"10:10:00 window close-inquiry", L"10:10:00 window start",
          L"10:10:00 start First_202603071000 until 660", L"10:10:00 awake"}, nullptr, {}},  // no save yet
        {"missed", day, At(2026, 3, 7, 11, 30), At(2026, 3, 7, 11, 30, 1), 4242, {}, nullptr, {"Tomorrow"}},
        {"inside", day, At(2026, 3, 7, 9, 59), At(2026, 3, 7, 11, 10), 4242,
         {L"09:59:55 open", L"10:00:00 start First_202603071000 until 660", L"11:00:00 close"}, L"^(open|start|stop-at|close)",
         {"Tomorrow"}},
        {"no audio thread", day, At(2026, 3, 7, 9, 59), At(2026, 3, 7, 11, 10), 0,
         {L"09:59:00 awake", L"09:59:55 window open", L"09:59:55 window close-inquiry", L"10:00:00 window start",
          L"11:00:00 window close", L"11:00:00 awake off"}, nullptr, {"Tomorrow"}},
        {"inside another", {day[0], {At(2026, 3, 7, 10, 30), At(2026, 3, 7, 12, 0), 0, L"Second"}},
         At(2026, 3, 7, 9, 59), At(2026, 3, 7, 11, 0, 2), 4242,
         {L"09:59:55 open", L"10:00:00 start First_202603071000 until 660",
          L"11:00:00 start Second_202603071030 until 720"}, L"^(open|start|stop-at|close)", {"Second"}},
        // Behind an expired program inside the one recording, the next takes over at the cut.
        {"behind an expired one", {{At(2026, 3, 7, 10, 0), At(2026, 3, 7, 10, 20), 0, L"O1"},
                                   {At(2026, 3, 7, 10, 5), At(2026, 3, 7, 10, 15), 0, L"O3"},
                                   {At(2026, 3, 7, 10, 10), At(2026, 3, 7, 10, 30), 0, L"O2"}},
         At(2026, 3, 7, 9, 59), At(2026, 3, 7, 10, 31), 4242,
         {L"10:00:00 start O1_202603071000 until 620", L"10:20:00 start O2_202603071010 until 630", L"10:30:00 close"},
         L"^(start|close)", {}},
        // Monday, Tuesday and Thursday at 23:30 to 00:15 the next morning.
        {"weekly", {{At(2028, 2, 24, 23, 30), At(2028, 2, 25, 0, 15), (1u << 1) | (1u << 2) | (1u << 4), L"Late"}},
         At(2028, 2, 24, 23, 0), At(2028, 3, 8, 12, 0), 4242,
         {L"23:30:00 start Late_202802242330 until 15", L"23:30:00 start Late_202802282330 until 15", L"23:30:00 start Late_202802292330 until 15",
          L"23:30:00 start Late_202803022330 until 15", L"23:30:00 start Late_202803062330 until 15", L"23:30:00 start Late_202803072330 until 15"},
         L"^start", {"Late", "2028/03/09 23:30:00"}},
        // Stopped by the user: the file ends at the command; a weekly program
        // moves to next week, a one-shot one goes and the one waiting inside
        // it takes the running device over at the cut.
        {"stopped, weekly", {{At(2026, 3, 9, 10, 0), At(2026, 3, 9, 11, 0), 1u << 1, L"Monday"}},
         At(2026, 3, 9, 9, 59), At(2026, 3, 9, 10, 21), 4242,
         {L"09:59:55 open", L"10:00:00 start Monday_202603091000 until 660", L"10:20:00 close"},
         L"^(open|start|stop-at|close)", {"Monday", "2026/03/16 10:00:00"}, At(2026, 3, 9, 10, 20)},
        {"stopped, one inside takes over", {day[0], {At(2026, 3, 7, 10, 30), At(2026, 3, 7, 12, 0), 0, L"Second"}},
         At(2026, 3, 7, 9, 59), At(2026, 3, 7, 10, 41), 4242,
         {L"09:59:55 open", L"10:00:00 start First_202603071000 until 660", L"10:40:00 stop-at 639",
          L"10:40:00 start Second_202603071030 until 720"}, L"^(open|start|stop-at|close)", {"Second"},
         At(2026, 3, 7, 10, 40)},
        // A station is set up a minute ahead, a device of the program's own
        // five seconds ahead; each start carries its program's source.
        {"a station", {{At(2026, 3, 7, 10, 0), At(2026, 3, 7, 10, 30), 0, L"Radio", station}},
         At(2026, 3, 7, 9, 55), At(2026, 3, 7, 10, 31), 4242,
         {L"09:55:00 awake", L"09:59:00 window open", L"09:59:00 open http://127.0.0.1:8000/live.pls",
          L"09:59:00 window close-inquiry", L"10:00:00 window start",
          L"10:00:00 start Radio_202603071000 until 630 from http://127.0.0.1:8000/live.pls", L"10:30:00 window close",
          L"10:30:00 close", L"10:30:00 awake off"}, nullptr, {}},
        {"a device of its own, then the settings' back to back",
         {{At(2026, 3, 7, 10, 0), At(2026, 3, 7, 10, 30), 0, L"Mic", mic},
          {At(2026, 3, 7, 10, 30), At(2026, 3, 7, 10, 40), 0, L"Plain"}},
         At(2026, 3, 7, 9, 59), At(2026, 3, 7, 10, 41), 4242,
         {std::wstring(L"09:59:55 open ") + mic, std::wstring(L"10:00:00 start Mic_202603071000 until 630 from ") + mic,
          L"10:30:00 start Plain_202603071030 until 640", L"10:40:00 close"}, L"^(open|start|close)", {}},
        // No device to hand over from a station, nor to one: the next of
        // another source is set up in its own lead while the one before records.
        {"a station between devices, back to back",
         {{At(2026, 3, 7, 10, 0), At(2026, 3, 7, 10, 30), 0, L"Plain"},
          {At(2026, 3, 7, 10, 30), At(2026, 3, 7, 10, 40), 0, L"Radio", station},
          {At(2026, 3, 7, 10, 40), At(2026, 3, 7, 10, 50), 0, L"After"}},
         At(2026, 3, 7, 9, 59), At(2026, 3, 7, 10, 51), 4242,
         {L"09:59:55 open", L"10:00:00 start Plain_202603071000 until 630",
          L"10:29:00 open http://127.0.0.1:8000/live.pls", L"10:30:00 close",
          L"10:30:01 start Radio_202603071030 until 640 from http://127.0.0.1:8000/live.pls", L"10:39:55 open",
          L"10:40:00 close", L"10:40:01 start After_202603071040 until 650", L"10:50:00 close"},
         L"^(open|start|close)", {}},
        // Two of one station back to back share its connection: no close between.
        {"one station back to back",
         {{At(2026, 3, 7, 10, 0), At(2026, 3, 7, 10, 30), 0, L"Radio", station},
          {At(2026, 3, 7, 10, 30), At(2026, 3, 7, 10, 40), 0, L"More", station}},
         At(2026, 3, 7, 9, 58), At(2026, 3, 7, 10, 41), 4242,
         {L"09:59:00 open http://127.0.0.1:8000/live.pls",
          L"10:00:00 start Radio_202603071000 until 630 from http://127.0.0.1:8000/live.pls",
          L"10:30:00 start More_202603071030 until 640 from http://127.0.0.1:8000/live.pls", L"10:40:00 close"},
         L"^(open|start|close)", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SchedulerFixture f;
        for (const Program& p : c.programs)
            f.Add(p.start, p.stop, p.weekly, p.title, p.source);
        f.sched.m_AudioId = c.audioId;
        f.sched.m_Clock = c.from;
        if (c.stopped.m_Ticks) {
            f.sched.RunUntil(c.stopped);
            ProgramItem head;
            ASSERT_TRUE(f.config.m_ProgramList.GetAt(0, head));
            // Half a second before the pass: the stop is the command's, to the frame.
            f.sched.RequestStop(head.m_Id, head.m_StartTime.m_Ticks, c.stopped.m_Ticks - CDateTime::kSecond / 2);
            f.sched.RequestStop(head.m_Id, head.m_StartTime.m_Ticks - 1, 1);  // not this occurrence: dropped
            f.sched.RequestStop(head.m_Id, head.m_StartTime.m_Ticks, c.stopped.m_Ticks - CDateTime::kSecond / 2);
        }
        f.sched.RunUntil(c.until);
        if (c.stopped.m_Ticks && !c.log.empty() && c.log.back().find(L"close") != std::wstring::npos) {
            EXPECT_EQ(f.sched.m_ClosedAt, c.stopped.m_Ticks - CDateTime::kSecond / 2);
        }
        EXPECT_EQ(f.sched.Logged(c.only ? c.only : L""), c.log);
        std::string saved = f.SavedFile();
        for (const Program& p : c.programs) {
            bool kept = std::find(c.kept.begin(), c.kept.end(), Narrow(p.title)) != c.kept.end();
            EXPECT_EQ(saved.find("<title>" + Narrow(p.title)) != std::string::npos, kept) << Narrow(p.title);
        }
        for (const char* k : c.kept)
            EXPECT_NE(saved.find(k), std::string::npos) << k;
    }
}

// The wake timer's leads cover the set-up: in the wake lead's last minutes
// the timer points at a wake still ahead, for a station no later than its
// set-up a minute before the start.
TEST(Scheduler, WakeLeadsCoverTheSetUp)
{
    const std::wstring news = L" Marivane: News 2026/03/07 14:00-14:30";
    const struct {
        const wchar_t* source;
        std::vector<const wchar_t*> due;  // the timer's due times, until the set-up ends them
        const wchar_t* setUp;
    } cases[] = {{nullptr, {L"13:55:00", L"13:59:30", L"14:00:00"}, L"13:59:55"},
                 {L"loopback:default", {L"13:55:00", L"13:59:30", L"14:00:00"}, L"13:59:55"},
                 {L"https://127.0.0.1/stream", {L"13:55:00", L"13:59:00"}, L"13:59:00"},
                 {L"not a source", {L"13:55:00", L"13:59:30", L"14:00:00"}, L"13:59:55"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.source ? c.source : L"(settings)"));
        SchedulerFixture f;
        f.Add(At(2026, 3, 7, 14, 0), At(2026, 3, 7, 14, 30), 0, L"News", c.source);
        f.sched.m_Clock = At(2026, 3, 7, 13, 50);
        f.sched.RunUntil(At(2026, 3, 7, 14, 1));
        std::vector<std::wstring> timers;
        for (const wchar_t* due : c.due)
            timers.push_back(due + news);
        timers.push_back(L"off");
        EXPECT_EQ(f.sched.m_Timers, timers);
        std::vector<std::wstring> opened = f.sched.Logged(L"^open");
        ASSERT_EQ(opened.size(), 1u);
        EXPECT_EQ(opened[0].substr(0, 8), c.setUp);
    }
}

// What the scheduler tells the user of (notice, then its text): occurrences
// that ended while it was not running or while the PC slept, listed up to
// eight with the rest counted; a program that may not fit the free space
// (recorded anyway); nothing of a new time zone. (The sleep's notices are
// SleepAfterRecording's.)
TEST(Scheduler, NoticesOfMissedProgramsAndDiskSpaceAndANewZone)
{
    struct Case {
        const char* what;
        std::function<void(SchedulerFixture&)> run;
        std::vector<std::wstring> notices;
    } cases[] = {
        {"started after three programs ended", [](SchedulerFixture& f) {
             f.Add(At(2026, 3, 7, 8, 0), At(2026, 3, 7, 8, 30), 0, L"Early");
             f.Add(At(2026, 2, 20, 9, 0), At(2026, 2, 20, 9, 30), 1u << 5, L"Fridays");  // 2/20, 2/27, 3/6
             f.Add(At(2026, 3, 7, 12, 0), At(2026, 3, 7, 12, 30), 0, L"Later");
             f.sched.m_Clock = At(2026, 3, 7, 10, 0);
             f.sched.RunUntil(At(2026, 3, 7, 10, 0, 2));
         }, {L"9 Fridays  2026/02/20 09:00 and 3 more\nFridays  2026/02/20 09:00\nFridays  2026/03/06 09:00\n"
             L"Early  2026/03/07 08:00\n... and 1 more"}},
        {"asleep through one", [](SchedulerFixture& f) {
             f.Add(At(2026, 3, 7, 10, 0), At(2026, 3, 7, 10, 30), 0, L"Night");
             f.sched.m_Clock = At(2026, 3, 7, 9, 0);
             f.sched.RunUntil(At(2026, 3, 7, 9, 0, 2));
             f.sched.m_Clock = At(2026, 3, 7, 11, 0);
             f.sched.RunUntil(At(2026, 3, 7, 11, 0, 2));
         }, {L"9 Night  2026/03/07 10:00\nNight  2026/03/07 10:00"}},
        {"an hour at 48 kHz stereo, 500 MB free", [](SchedulerFixture& f) {
             f.sched.m_FreeBytes = 500ULL << 20;
             f.config.m_Frequency = 48000;
             f.config.m_Channels = 2;
             f.Add(At(2026, 3, 7, 10, 0), At(2026, 3, 7, 11, 0));
             f.sched.m_Clock = At(2026, 3, 7, 9, 59);
             f.sched.RunUntil(At(2026, 3, 7, 10, 0, 1));
             EXPECT_EQ(f.sched.Logged(L"^start").size(), 1u);
         }, {L"13 needs 723 MB, 500 MB free"}},
        // The format's own rate: the same hour fits in FLAC; a day of Opus does not.
        {"an hour of FLAC, a day of Opus, 500 MB free", [](SchedulerFixture& f) {
             f.sched.m_FreeBytes = 500ULL << 20;
             f.config.m_Frequency = 48000;
             f.config.m_FileFormat = kFileFlac;
             f.Add(At(2026, 3, 7, 10, 0), At(2026, 3, 7, 11, 0));
             f.Add(At(2026, 3, 7, 12, 0), At(2026, 3, 8, 12, 0));
             f.sched.m_Clock = At(2026, 3, 7, 9, 59);
             f.sched.RunUntil(At(2026, 3, 7, 11, 50));
             f.config.m_FileFormat = kFileOpus;
             f.sched.RunUntil(At(2026, 3, 7, 12, 0, 1));
         }, {L"13 needs 1061 MB, 500 MB free"}},
        // Not a notice: a new time zone during a recording (a laptop's
        // automatic zone, here an hour west: 10:10 becomes 09:10) sends the
        // stop the user set, 10:30 local, again as the new zone's UTC at the
        // next pass; the audio thread hears of the clock change at once.
        {"a new time zone", [](SchedulerFixture& f) {
             f.Add(At(2026, 3, 7, 10, 0), At(2026, 3, 7, 10, 30));
             f.sched.m_Clock = At(2026, 3, 7, 9, 59);
             f.sched.RunUntil(At(2026, 3, 7, 10, 10));
             f.sched.m_Zone.UseZone(L"Cape Verde Standard Time");
             f.sched.OnClockChanged();
             f.sched.RunUntil(At(2026, 3, 7, 10, 10, 3));
             EXPECT_EQ(f.sched.Logged(L"^(start|stop-at|clock)"),
                       (std::vector<std::wstring>{L"10:00:00 start News_202603071000 until 630", L"10:10:00 clock",
                                                  L"10:10:00 stop-at 690"}));
         }, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SchedulerFixture f;
        c.run(f);
        std::vector<std::wstring> notices;
        for (size_t i = 0; i < f.sched.m_Notices.size(); ++i)
            notices.push_back(std::to_wstring(f.sched.m_Notices[i]) + L" " + f.sched.m_NoticeTexts[i]);
        EXPECT_EQ(notices, c.notices);
    }
}

// Retirements that cannot be saved: the user hears of it once, the list in
// memory moves on, and a later save that works ends the silence. The list's
// own node is marked while it records, so the dialogs refuse it.
TEST(Scheduler, AFailedSaveIsToldOnceUntilASaveSucceeds)
{
    SchedulerFixture f;
    std::wstring folder = f.dir.File(L"not yet");
    f.config.m_IniFile.Assign((folder + L"\\marivane.ini").c_str());
    for (int i = 0; i < 3; ++i)
        f.Add(At(2026, 3, 7, 10, i * 2), At(2026, 3, 7, 10, i * 2 + 1));
    f.sched.m_Clock = At(2026, 3, 7, 9, 59, 50);
    f.sched.RunUntil(At(2026, 3, 7, 10, 4, 30));
    EXPECT_EQ(f.sched.m_Notices, std::vector<WPARAM>{kNoticeSaveFailed});
    ProgramItem head;
    ASSERT_TRUE(f.config.m_ProgramList.GetAt(0, head));
    EXPECT_EQ(head.m_Id, 3u);
    EXPECT_EQ(head.m_State, Recording);
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
    EXPECT_TRUE(WaitUntil([&] { return sched.m_SchedThreadId != 0; }, 10000, 10));
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
