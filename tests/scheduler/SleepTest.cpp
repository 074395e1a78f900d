// The countdown after a recording, the sleep step, the wake timer and the
// keep-awake request, on the simulated clock.
#include "scheduler/SimScheduler.h"
#include "scheduler/Suspend.h"

#include <gtest/gtest.h>

namespace {

// A recording 10:50 to 11:00 and the next program at next.
struct GapFixture : SchedulerFixture {
    explicit GapFixture(const CDateTime& next, int shutdown = 1)
    {
        config.m_Shutdown = shutdown;
        Add(At(2026, 3, 7, 10, 50), At(2026, 3, 7, 11, 0), 0, L"First");
        Add(next, At(2026, 3, 7, 23, 0), 0, L"Next");
        sched.m_Clock = At(2026, 3, 7, 10, 49);
    }
};

int Traced(const std::wstring& line)
{
    int n = 0;
    for (const auto& l : TraceCapture::Lines())
        n += l == line;
    return n;
}

}  // namespace

TEST(SleepAfterRecording, FourMinuteGapNoInquiryAndTheSetupCancelsTheCountdown)
{
    GapFixture f(At(2026, 3, 7, 11, 4));
    f.sched.RunUntil(At(2026, 3, 7, 11, 0, 2));
    EXPECT_EQ(f.sched.m_InquiryCountdown, 299);
    f.sched.RunUntil(At(2026, 3, 7, 11, 3, 55));
    EXPECT_GT(f.sched.m_InquiryCountdown, 0);
    f.sched.RunUntil(At(2026, 3, 7, 11, 3, 56));
    EXPECT_EQ(f.sched.m_InquiryCountdown, 0);
    EXPECT_TRUE(TraceCapture::Contains(L"[2026/03/07 11:03:55] (ID=2) Setup Recording\n"));
    f.sched.RunUntil(At(2026, 3, 7, 11, 30));
    EXPECT_EQ(f.sched.Count(f.sched.m_Window, WM_SHUTDOWN_INQUIRY), 0);
    EXPECT_FALSE(f.sched.Suspended());
}

TEST(SleepAfterRecording, EightMinuteGapCountdownExpiresWithoutSleeping)
{
    GapFixture f(At(2026, 3, 7, 11, 8));
    f.sched.RunUntil(At(2026, 3, 7, 11, 7, 0));
    EXPECT_EQ(f.sched.Count(f.sched.m_Window, WM_SHUTDOWN_INQUIRY), 0);
    EXPECT_EQ(f.sched.m_InquiryCountdown, 0);
    EXPECT_EQ(Traced(L"Close the dialog 5 seconds before shutdown\n"), 4);
    EXPECT_FALSE(f.sched.Suspended());
    EXPECT_EQ(Traced(L"[2026/03/07 11:05:00] Suspend\n"), 0);
    f.sched.RunUntil(At(2026, 3, 7, 11, 8, 1));
    EXPECT_TRUE(TraceCapture::Contains(L"[2026/03/07 11:08:00] (ID=2) Start Recording\n"));
}

TEST(SleepAfterRecording, ElevenMinuteGapAsksThenSleepsWithASixtySecondTimer)
{
    GapFixture f(At(2026, 3, 7, 11, 11));
    f.sched.RunUntil(At(2026, 3, 7, 11, 1));
    ASSERT_EQ(f.sched.Count(f.sched.m_Window, WM_SHUTDOWN_INQUIRY), 1);  // shown, so asked once
    f.sched.RunUntil(At(2026, 3, 7, 11, 6));
    ASSERT_EQ(f.sched.m_Suspends.size(), 1u);
    EXPECT_EQ(f.sched.m_Suspends[0].at, L"2026/03/07 11:05:00");
    EXPECT_EQ(f.sched.m_Suspends[0].seconds, 60);
    EXPECT_EQ(Text(f.sched.m_Suspends[0].wakeAt), L"2026/03/07 11:06:00");
    EXPECT_FALSE(f.sched.m_Suspends[0].keepTimer);
    EXPECT_EQ(Traced(L"[2026/03/07 11:05:00] Suspend\n"), 1);
    // Woken by the timer, the program still records on time.
    f.sched.RunUntil(At(2026, 3, 7, 11, 11, 1));
    EXPECT_TRUE(TraceCapture::Contains(L"[2026/03/07 11:11:00] (ID=2) Start Recording\n"));
}

TEST(SleepAfterRecording, ThreeHourGapSleepsAtFivePastWithA10200SecondTimer)
{
    GapFixture f(At(2026, 3, 7, 14, 0));
    f.sched.m_ShowInquiries = false;  // a main window that never shows it is asked every pass
    f.sched.RunUntil(At(2026, 3, 7, 11, 0, 5));
    EXPECT_EQ(f.sched.Count(f.sched.m_Window, WM_SHUTDOWN_INQUIRY), 4);
    f.sched.m_ShowInquiries = true;
    f.sched.RunUntil(At(2026, 3, 7, 11, 4, 55));
    std::vector<std::wstring> closes;
    for (const auto& p : f.sched.m_Window)
        if (p.message == WM_CLOSE_INQUIRY && p.at > L"2026/03/07 11:01")
            closes.push_back(p.at);
    std::vector<std::wstring> expected = {L"2026/03/07 11:04:56", L"2026/03/07 11:04:57",
                                          L"2026/03/07 11:04:58", L"2026/03/07 11:04:59"};
    f.sched.RunUntil(At(2026, 3, 7, 11, 5, 1));
    closes.clear();
    for (const auto& p : f.sched.m_Window)
        if (p.message == WM_CLOSE_INQUIRY && p.at > L"2026/03/07 11:01")
            closes.push_back(p.at);
    EXPECT_EQ(closes, expected);
    ASSERT_EQ(f.sched.m_Suspends.size(), 1u);
    EXPECT_EQ(f.sched.m_Suspends[0].at, L"2026/03/07 11:05:00");
    EXPECT_EQ(f.sched.m_Suspends[0].seconds, 10200);
    EXPECT_EQ(Text(f.sched.m_Suspends[0].wakeAt), L"2026/03/07 13:55:00");
}

TEST(SleepAfterRecording, CancelInTheInquiryMeansNoSleep)
{
    GapFixture f(At(2026, 3, 7, 14, 0));
    f.sched.RunUntil(At(2026, 3, 7, 11, 2));
    f.sched.m_InquiryCountdown = 0;  // what Cancel (or a right click) does
    f.sched.RunUntil(At(2026, 3, 7, 11, 10));
    EXPECT_FALSE(f.sched.Suspended());
}

TEST(SleepAfterRecording, SettingOffMeansNoCountdownNoInquiryAndNoSleep)
{
    GapFixture f(At(2026, 3, 7, 14, 0), 0);
    f.sched.RunUntil(At(2026, 3, 7, 11, 0, 1));
    EXPECT_EQ(f.sched.m_InquiryCountdown, 0);
    f.sched.RunUntil(At(2026, 3, 7, 11, 30));
    EXPECT_FALSE(f.sched.Suspended());
    EXPECT_EQ(f.sched.Count(f.sched.m_Window, WM_SHUTDOWN_INQUIRY), 0);

    // Switched off while the countdown runs: no sleep either.
    GapFixture g(At(2026, 3, 7, 14, 0), 1);
    g.sched.RunUntil(At(2026, 3, 7, 11, 2));
    g.config.m_Shutdown = 0;
    g.sched.RunUntil(At(2026, 3, 7, 11, 30));
    EXPECT_FALSE(g.sched.Suspended());
}

TEST(SleepAfterRecording, LastProgramDoneSleepsWithoutATimer)
{
    SchedulerFixture f;
    f.config.m_Shutdown = 1;
    f.Add(At(2026, 3, 7, 10, 50), At(2026, 3, 7, 11, 0));
    f.sched.m_Clock = At(2026, 3, 7, 10, 49);
    f.sched.RunUntil(At(2026, 3, 7, 11, 6));
    ASSERT_EQ(f.sched.m_Suspends.size(), 1u);
    EXPECT_EQ(f.sched.m_Suspends[0].seconds, -1);
    EXPECT_GE(f.sched.Count(f.sched.m_Window, WM_SHUTDOWN_INQUIRY), 1);
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
    ASSERT_EQ(f.sched.m_Suspends.size(), 1u);
    EXPECT_EQ(f.sched.m_Suspends[0].seconds, 6900);
    EXPECT_EQ(Text(f.sched.m_Suspends[0].wakeAt), L"2026/03/07 13:55:00");
    // A sleep the program did not ask for (here with sleep-after-recording
    // off) only arms the timer and keeps it until the resume.
    EXPECT_TRUE(f.sched.m_Suspends[0].keepTimer);
    // The notice of the program's own sleep request arms nothing more.
    f.sched.m_bSuspending = 1;
    f.sched.OnPowerBroadcast(PBT_APMSUSPEND);
    EXPECT_EQ(f.sched.m_Suspends.size(), 1u);
}

TEST(PowerNotification, WakeByTimerHoldsTheSystemAwakeUntilTheProgramStops)
{
    SchedulerFixture f;
    f.Add(At(2026, 3, 7, 14, 0), At(2026, 3, 7, 14, 30));
    f.sched.m_Clock = At(2026, 3, 7, 13, 55);
    f.sched.OnPowerBroadcast(PBT_APMRESUMEAUTOMATIC);
    f.sched.SchedulerTick();
    ASSERT_TRUE(f.sched.AwakeNow());
    f.sched.RunUntil(At(2026, 3, 7, 14, 35));
    // One hold from the wake through set-up to the stop.
    ASSERT_EQ(f.sched.m_KeepAwake.size(), 2u);
    EXPECT_EQ(f.sched.m_KeepAwake[0].first, L"2026/03/07 13:55:00");
    EXPECT_EQ(f.sched.m_KeepAwake[1], std::make_pair(std::wstring(L"2026/03/07 14:30:00"), false));

    // A wake with nothing to record lets go after ten minutes.
    SchedulerFixture g;
    g.sched.m_Clock = At(2026, 3, 7, 3, 0);
    g.sched.OnPowerBroadcast(PBT_APMRESUMEAUTOMATIC);
    g.sched.RunUntil(At(2026, 3, 7, 3, 20));
    ASSERT_EQ(g.sched.m_KeepAwake.size(), 2u);
    EXPECT_EQ(g.sched.m_KeepAwake[1], std::make_pair(std::wstring(L"2026/03/07 03:10:00"), false));
}

TEST(WakeTimer, DueTimeIsTheStartMinusFiveMinutesInUtc)
{
    SchedulerFixture f;
    f.config.m_Shutdown = 1;
    CDateTime now;
    now.SetNow();
    now = At(now.m_Time.wYear, now.m_Time.wMonth, now.m_Time.wDay, now.m_Time.wHour, now.m_Time.wMinute,
             now.m_Time.wSecond);  // programs keep whole seconds
    CDateTime start = now;
    start.AddTicks(3 * 3600 * CDateTime::kSecond);
    f.Add(start, At(2099, 1, 1, 0, 0));
    f.sched.m_Clock = now;
    f.sched.SuspendForNextProgram(now);
    ASSERT_EQ(f.sched.m_Suspends.size(), 1u);
    EXPECT_EQ(f.sched.m_Suspends[0].seconds, 3 * 3600 - 300);
    LARGE_INTEGER due;
    ASSERT_TRUE(CSuspend::ToUtcDueTime(f.sched.m_Suspends[0].wakeAt, due));
    EXPECT_GT(due.QuadPart, 0);  // absolute, not relative
    FILETIME utcNow;
    GetSystemTimeAsFileTime(&utcNow);
    long long expected = (static_cast<long long>(utcNow.dwHighDateTime) << 32 | utcNow.dwLowDateTime) +
                         (3 * 3600 - 300) * CDateTime::kSecond;
    // The copies keep whole seconds; the clock read lies within the test's run.
    EXPECT_LE(std::llabs(due.QuadPart - expected), 2 * CDateTime::kSecond);
}

TEST(WakeTimer, RealSuspendArmsAndRemovesTheTimerAndTraces)
{
    TraceCapture trace;
    CDateTime wake;
    wake.SetNow();
    wake.AddTicks(60 * CDateTime::kSecond);
    CSuspend::Suspend(60, wake, false);
    CSuspend::Suspend(-1, wake, true);
    CSuspend::Suspend(30, wake, true);
    CSuspend::ReleaseTimer();
    auto lines = TraceCapture::Lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.front(), L"CSuspend::Suspend(60)\n");
    EXPECT_EQ(Traced(L"CSuspend::Suspend(-1)\n"), 1);
    EXPECT_EQ(Traced(L"CSuspend::Suspend(30)\n"), 1);
}
