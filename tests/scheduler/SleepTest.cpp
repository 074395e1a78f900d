// The countdown after a recording, the sleep step, the wake timer and the
// keep-awake request, on the simulated clock.
#include "scheduler/SimScheduler.h"
#include "scheduler/Suspend.h"

#include <gtest/gtest.h>

// After a recording that stops at 11:00 the countdown runs 300 s; the sleep
// comes at 11:05 only when the next program is far enough away, with a
// timer 300 s before it, and never once the user cancelled or turned it off,
// before or during the countdown.
TEST(SleepAfterRecording, TheGapToTheNextProgramDecides)
{
    struct Case {
        const char* what;
        CDateTime next;  // the next program's start; 0: none
        int shutdown;
        int at1102;      // 1: Cancel in the inquiry, 2: the setting turned off
        int inquiries;   // shown, so asked once at most
        const wchar_t* sleep;
        CWakeSupport::Verdict verdict = CWakeSupport::kUnknown;  // Wine's: the power queries answer nothing
        bool fails = false;      // the sleep request fails
        std::vector<WPARAM> notices = {};
    } cases[] = {
        {"4 min: set up at 11:03:55, no sleep", At(2026, 3, 7, 11, 4), 1, 0, 0, nullptr},
        {"8 min: too near to sleep", At(2026, 3, 7, 11, 8), 1, 0, 0, nullptr},
        {"11 min: a 60 s timer", At(2026, 3, 7, 11, 11), 1, 0, 1, L"11:05:00 suspend 60 wake 2026/03/07 11:06:00"},
        {"3 h: a 10200 s timer", At(2026, 3, 7, 14, 0), 1, 0, 1, L"11:05:00 suspend 10200 wake 2026/03/07 13:55:00"},
        {"cancelled", At(2026, 3, 7, 14, 0), 1, 1, 1, nullptr},
        {"setting off in the countdown", At(2026, 3, 7, 14, 0), 1, 2, 1, nullptr},
        {"setting off", At(2026, 3, 7, 14, 0), 0, 0, 0, nullptr},
        {"no next program", CDateTime(), 1, 0, 1, L"11:05:00 suspend -1"},
        // A PC that would not wake is not put to sleep; a failed request is told.
        {"wake timers off", At(2026, 3, 7, 14, 0), 1, 0, 1, nullptr, CWakeSupport::kWakeTimersOff, false,
         {kNoticeCannotWake}},
        {"the request fails", At(2026, 3, 7, 14, 0), 1, 0, 1, L"11:05:00 suspend 10200 wake 2026/03/07 13:55:00",
         CWakeSupport::kCanWake, true, {kNoticeSleepFailed}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SchedulerFixture f;
        f.config.m_Shutdown = c.shutdown;
        f.sched.m_Verdict = c.verdict;
        f.sched.m_bSleepFails = c.fails;
        f.Add(At(2026, 3, 7, 10, 50), At(2026, 3, 7, 11, 0), 0, L"First");
        if (c.next.m_Ticks)
            f.Add(c.next, At(2026, 3, 7, 23, 0), 0, L"Next");
        f.sched.m_Clock = At(2026, 3, 7, 10, 49);
        f.sched.RunUntil(At(2026, 3, 7, 11, 0, 2));
        EXPECT_EQ(f.sched.m_InquiryCountdown, c.shutdown ? 299 : 0);
        f.sched.RunUntil(At(2026, 3, 7, 11, 2));
        if (c.at1102 == 1)
            f.sched.m_InquiryCountdown = 0;  // what Cancel (or a right click) does
        if (c.at1102 == 2)
            f.config.m_Shutdown = 0;
        f.sched.RunUntil(At(2026, 3, 7, 11, 4, 30));
        EXPECT_EQ(f.sched.Logged(L"^window inquiry").size(), static_cast<size_t>(c.inquiries));
        f.sched.RunUntil(At(2026, 3, 7, 11, 6));
        EXPECT_EQ(f.sched.Logged(L"^suspend"), c.sleep ? std::vector<std::wstring>{c.sleep} : std::vector<std::wstring>{});
        EXPECT_EQ(f.sched.m_Notices, c.notices);
        if (c.sleep) {  // the dialog is closed on each of the last four seconds before
            EXPECT_EQ(TraceCapture::Count(L"Close the dialog 5 seconds before shutdown\n"), 4);
        }
        // Woken by the timer, or kept awake, the next program records on time.
        if (c.next.m_Ticks) {
            CDateTime after = c.next;
            after.AddTicks(CDateTime::kSecond);
            f.sched.RunUntil(after);
            EXPECT_TRUE(TraceCapture::Contains(L"[" + Text(c.next) + L"] (ID=2) Start Recording\n"));
        }
    }
}

TEST(PowerNotification, SystemSuspendTracesInOrderAndKeepsItsTimer)
{
    SchedulerFixture f;
    f.Add(At(2026, 3, 7, 14, 0), At(2026, 3, 7, 15, 0));
    f.sched.m_Clock = At(2026, 3, 7, 12, 0);
    f.sched.m_InquiryCountdown = 120;
    f.sched.OnPowerBroadcast(PBT_APMSUSPEND);
    std::vector<std::wstring> expected = {L"OnPowerBroadcast(4)\n", L"System is suspending operation.\n",
                                          L"[2026/03/07 12:00:00] Suspend\n"};
    EXPECT_EQ(TraceCapture::Lines(), expected);
    EXPECT_EQ(f.sched.m_InquiryCountdown, 0);
    // A sleep the program did not ask for (here with sleep-after-recording
    // off) only arms the timer and keeps it until the resume.
    EXPECT_EQ(f.sched.Logged(L"^suspend"), std::vector<std::wstring>{L"12:00:00 suspend 6900 wake 2026/03/07 13:55:00 keep"});
    // The notice of the program's own sleep request arms nothing more.
    f.sched.m_bSuspending = 1;
    f.sched.OnPowerBroadcast(PBT_APMSUSPEND);
    EXPECT_EQ(f.sched.Logged(L"^suspend").size(), 1u);
}

TEST(PowerNotification, WakeByTimerHoldsTheSystemAwakeUntilTheProgramStops)
{
    SchedulerFixture f;
    f.Add(At(2026, 3, 7, 14, 0), At(2026, 3, 7, 14, 30));
    f.sched.m_Clock = At(2026, 3, 7, 13, 55);
    f.sched.OnPowerBroadcast(PBT_APMRESUMEAUTOMATIC);
    f.sched.RunUntil(At(2026, 3, 7, 14, 35));
    // One hold from the wake through set-up to the stop.
    EXPECT_EQ(f.sched.Logged(L"^awake"), (std::vector<std::wstring>{L"13:55:00 awake", L"14:30:00 awake off"}));

    // A wake with nothing to record lets go after ten minutes.
    SchedulerFixture g;
    g.sched.m_Clock = At(2026, 3, 7, 3, 0);
    g.sched.OnPowerBroadcast(PBT_APMRESUMEAUTOMATIC);
    g.sched.RunUntil(At(2026, 3, 7, 3, 20));
    EXPECT_EQ(g.sched.Logged(L"^awake"), (std::vector<std::wstring>{L"03:00:00 awake", L"03:10:00 awake off"}));
}

TEST(WakeTimer, DueTimeIsTheStartMinusFiveMinutesInUtc)
{
    SchedulerFixture f;
    f.config.m_Shutdown = 1;
    CDateTime now = SecondsFromNow(0), start = now;  // programs keep whole seconds
    start.AddTicks(3 * 3600 * CDateTime::kSecond);
    f.Add(start, At(2099, 1, 1, 0, 0));
    f.sched.m_Clock = now;
    f.sched.SuspendForNextProgram(now);
    EXPECT_EQ(f.sched.Logged(L"^suspend 10500 ").size(), 1u);
    LARGE_INTEGER due;
    ASSERT_TRUE(CSuspend::ToUtcDueTime(f.sched.m_WakeAt, due));
    EXPECT_GT(due.QuadPart, 0);  // absolute, not relative
    FILETIME utcNow;
    GetSystemTimeAsFileTime(&utcNow);
    long long expected = FileTimeToTicks(utcNow) + (3 * 3600 - 300) * CDateTime::kSecond;
    // The copies keep whole seconds; the clock read lies within the test's run.
    EXPECT_LE(std::llabs(due.QuadPart - expected), 2 * CDateTime::kSecond);
}
