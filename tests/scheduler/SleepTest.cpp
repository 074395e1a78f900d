// The countdown after a recording, the sleep step, the wake timer and the
// keep-awake request, on the simulated clock.
#include "notices/NoticeText.h"
#include "scheduler/BatteryStandby.h"
#include "scheduler/SimScheduler.h"
#include "scheduler/SleepState.h"
#include "scheduler/WakeTimer.h"

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

// "sleep_state" against the states the PC has: the one requested and why, or no sleep where the PC would not
// wake from it; and the states the Misc page offers (H hibernate, S sleep; where not known, both).
TEST(SleepAfterRecording, TheChosenStateWhereThePCHasIt)
{
    struct Case {
        const char* what; bool known, hibernate, sleep, modernStandby, sleepWake; int setting;
        const wchar_t* why; const wchar_t* requested; std::string offered; std::vector<WPARAM> notices = {};
    } cases[] = {
        {"both, by default", true, true, true, false, true, CAppParameter::kHibernate, L"hibernation requested: as set",
         L"11:05:00 suspend 10200 wake 2026/03/07 13:55:00", "HS"},
        {"both, sleep chosen", true, true, true, false, true, CAppParameter::kSleep, L"sleep requested: as set",
         L"11:05:00 suspend 10200 sleep wake 2026/03/07 13:55:00", "HS"},
        {"hibernation off", true, false, true, false, true, CAppParameter::kHibernate,
         L"sleep requested: hibernation is off, sleeping", L"11:05:00 suspend 10200 sleep wake 2026/03/07 13:55:00", "S"},
        {"no S1-S3", true, true, false, false, false, CAppParameter::kSleep,
         L"hibernation requested: sleep not supported, hibernating", L"11:05:00 suspend 10200 wake 2026/03/07 13:55:00", "H"},
        {"Modern Standby has no S3", true, true, true, true, true, CAppParameter::kSleep,
         L"hibernation requested: sleep not supported, hibernating", L"11:05:00 suspend 10200 wake 2026/03/07 13:55:00", "H"},
        {"the timer wakes it from S4 only", true, true, true, false, false, CAppParameter::kSleep,
         L"sleep requested: as set", nullptr, "HS", {kNoticeCannotWake}},
        {"neither", true, false, false, true, false, CAppParameter::kHibernate,
         L"hibernation requested: neither is supported, as set", nullptr, "", {kNoticeCannotWake}},
        {"not known", false, false, false, false, false, CAppParameter::kSleep,
         L"sleep requested: the power states are not known, as set", L"11:05:00 suspend 10200 sleep wake 2026/03/07 13:55:00", "HS"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SchedulerFixture f;
        PowerFacts& facts = SimFacts();
        facts.known = c.known, facts.hibernate = c.hibernate, facts.sleep = c.sleep;
        facts.modernStandby = c.modernStandby, facts.rtcWakeS4 = true, facts.rtcWakeSleep = c.sleepWake;
        f.sched.m_bJudgeFacts = true;
        f.config.m_Shutdown = 1;
        f.config.m_SleepState = c.setting;
        f.Add(At(2026, 3, 7, 10, 50), At(2026, 3, 7, 11, 0), 0, L"First");
        f.Add(At(2026, 3, 7, 14, 0), At(2026, 3, 7, 15, 0), 0, L"Next");
        f.sched.m_Clock = At(2026, 3, 7, 10, 59);
        f.sched.RunUntil(At(2026, 3, 7, 11, 6));
        EXPECT_TRUE(TraceCapture::Contains(std::wstring(L"[2026/03/07 11:05:00] ") + c.why + L"\n"));
        EXPECT_EQ(f.sched.Logged(L"^suspend"),
                  c.requested ? std::vector<std::wstring>{c.requested} : std::vector<std::wstring>{});
        EXPECT_EQ(f.sched.m_Notices, c.notices);
        std::string offered = std::string(CSleepState::Supports(facts, true) ? "H" : "") +
                              (CSleepState::Supports(facts, false) ? "S" : "");
        EXPECT_EQ(offered, c.offered);
    }
}

// Modern Standby on battery ends the hold five minutes after "Sleep after" (from the last input): a recording that
// would run past that keeps the screen on too, told once; where that is refused, the time it may stop is told
// before the start. A move to battery mid-recording is judged at once; back on mains the screen is let go. The Misc
// page's note says the same.
TEST(BatteryStandby, TheScreenIsKeptOnWhereStandbyWouldCutTheRecording)
{
    struct Case {  // program: 14:00-15:00; power events at 14:20, 14:30 and 14:40
        const char* what; bool battery, modernStandby; unsigned timeout, idle; bool refused;
        std::vector<bool> events; std::vector<std::wstring> screen; std::vector<WPARAM> notices; const wchar_t* detail;
        const wchar_t* note;
    } cases[] = {
        {"mains", false, true, 600, 0, false, {}, {}, {}, nullptr, L"after 15 min without use"},
        {"battery, S3", true, false, 600, 0, false, {}, {}, {}, nullptr, L"On battery, too, this PC stays awake"},
        {"battery, never sleeps", true, true, 0, 0, false, {}, {}, {}, nullptr, L"never sleeps"},
        {"battery, 10 min", true, true, 600, 0, false, {}, {L"13:55:00 screen on", L"15:00:00 screen off"},
         {kNoticeScreenKeptOn}, L"News", L"after 15 min without use"},
        {"battery, 2 h: past the stop", true, true, 7200, 0, false, {}, {}, {}, nullptr, L"after 125 min"},
        {"battery, 2 h, idle 90 min", true, true, 7200, 5400, false, {}, {L"13:55:00 screen on", L"15:00:00 screen off"},
         {kNoticeScreenKeptOn}, L"News", L"after 125 min"},
        {"battery, 10 min, refused", true, true, 600, 0, true, {}, {L"13:55:00 screen on", L"15:00:00 screen off"},
         {kNoticeStandbyStops}, L"News\t14:10", L"after 15 min"},
        {"to battery and back", false, true, 600, 0, false, {true, true, false},
         {L"14:20:00 screen on", L"14:40:00 screen off"}, {kNoticeScreenKeptOn}, L"News", L"after 15 min"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SchedulerFixture f;
        PowerFacts& facts = SimFacts();
        facts.known = facts.battery = true, facts.onBattery = c.battery, facts.modernStandby = c.modernStandby;
        facts.sleepTimeoutDc = c.timeout, facts.idleSeconds = c.idle;
        f.sched.m_bScreenFails = c.refused;
        f.Add(At(2026, 3, 7, 14, 0), At(2026, 3, 7, 15, 0));
        f.sched.m_Clock = At(2026, 3, 7, 13, 50);
        for (size_t i = 0; i < c.events.size(); ++i) {
            f.sched.RunUntil(At(2026, 3, 7, 14, 20 + 10 * static_cast<int>(i)));
            facts.onBattery = c.events[i];
            f.sched.OnPowerBroadcast(PBT_APMPOWERSTATUSCHANGE);
        }
        f.sched.RunUntil(At(2026, 3, 7, 15, 1));
        EXPECT_EQ(f.sched.Logged(L"^screen"), c.screen);
        EXPECT_EQ(f.sched.m_Notices, c.notices);
        EXPECT_EQ(f.sched.m_NoticeTexts, c.detail ? std::vector<std::wstring>{c.detail} : std::vector<std::wstring>{});
        EXPECT_EQ(f.sched.Logged(L"^awake"), (std::vector<std::wstring>{L"13:55:00 awake", L"15:00:00 awake off"}));
        wchar_t note[200];
        CBatteryStandby::Note(facts, false, note, 200);
        EXPECT_NE(std::wstring(note).find(c.note), std::wstring::npos) << Narrow(note);
    }
    wchar_t told[400];
    EXPECT_NE(std::wstring(NoticeText(kNoticeStandbyStops, L"News\t14:10", false, L"", told, 400))
                  .find(L"News: on battery, Modern Standby stops the recording at about 14:10 if"), std::wstring::npos);
}

// Sleeps the program did not choose: the wake timer is armed already, its verdict read again, no sleep requested.
// Only an unattended resume, or one at the timer's due time, holds the PC awake (to the stop, or ten minutes
// with nothing to record); otherwise it is held from the wake lead before the start.
TEST(PowerNotification, SleepsTheProgramDidNotChooseAndResumes)
{
    struct Case {  // program: one from 14:00 to 14:30
        const char* what; CDateTime event; WPARAM power; bool automatic; CWakeSupport::Verdict verdict; bool program;
        std::vector<std::wstring> awake; std::vector<WPARAM> notices;
    } cases[] = {
        {"suspend at 12:00", At(2026, 3, 7, 12, 0), PBT_APMSUSPEND, false, CWakeSupport::kCanWake, true,
         {L"13:55:00 awake", L"14:30:00 awake off"}, {}},
        {"suspend, important timers only", At(2026, 3, 7, 12, 0), PBT_APMSUSPEND, false,
         CWakeSupport::kImportantTimersOnly, true, {L"13:55:00 awake", L"14:30:00 awake off"}, {kNoticeSleptNoWake}},
        {"unattended resume at 13:55", At(2026, 3, 7, 13, 55), PBT_APMRESUMEAUTOMATIC, true, CWakeSupport::kCanWake,
         true, {L"13:55:00 awake", L"14:30:00 awake off"}, {}},
        {"the user opens the lid at 13:00", At(2026, 3, 7, 13, 0), PBT_APMRESUMEAUTOMATIC, false,
         CWakeSupport::kCanWake, true, {L"13:55:00 awake", L"14:30:00 awake off"}, {}},
        {"the user, at the timer's due time", At(2026, 3, 7, 13, 54, 30), PBT_APMRESUMEAUTOMATIC, false,
         CWakeSupport::kCanWake, true, {L"13:54:30 awake", L"14:30:00 awake off"}, {}},
        {"unattended, nothing to record", At(2026, 3, 7, 3, 0), PBT_APMRESUMEAUTOMATIC, true, CWakeSupport::kCanWake,
         false, {L"03:00:00 awake", L"03:10:00 awake off"}, {}},
        {"by the user, nothing to record", At(2026, 3, 7, 3, 0), PBT_APMRESUMEAUTOMATIC, false,
         CWakeSupport::kCanWake, false, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SchedulerFixture f;
        if (c.program)
            f.Add(At(2026, 3, 7, 14, 0), At(2026, 3, 7, 14, 30));
        f.sched.m_Verdict = c.verdict;
        f.sched.m_bAutomaticResume = c.automatic;
        f.sched.m_Clock = c.event;
        f.sched.m_Clock.AddTicks(-2 * CDateTime::kSecond);
        f.sched.RunUntil(c.event);  // the timer is armed before
        f.sched.m_InquiryCountdown = 120;
        f.sched.OnPowerBroadcast(c.power);
        std::vector<std::wstring> traced = TraceCapture::Lines();
        EXPECT_EQ(f.sched.m_InquiryCountdown, c.power == PBT_APMSUSPEND ? 0 : 120);
        f.sched.m_InquiryCountdown = 0;
        f.sched.RunUntil(At(2026, 3, 7, 14, 35));
        EXPECT_EQ(f.sched.Logged(L"^(awake|suspend)"), c.awake);
        EXPECT_EQ(f.sched.m_Notices, c.notices);
        if (c.power == PBT_APMSUSPEND) {
            std::vector<std::wstring> expected = {L"OnPowerBroadcast(4)\n", L"System is suspending operation.\n",
                                                  L"[2026/03/07 12:00:00] Suspend\n"};
            EXPECT_EQ(traced, expected);
            // Armed at the first pass: the suspend needs nothing more. In the
            // lead's last minutes it points at a wake still ahead.
            const std::wstring news = L" Marivane: News 2026/03/07 14:00-14:30";
            EXPECT_EQ(f.sched.m_Timers, (std::vector<std::wstring>{L"13:55:00" + news, L"13:59:30" + news,
                                                                    L"14:00:00" + news, L"off"}));
            EXPECT_EQ(f.sched.m_AwakeReason, L"");
        }
    }
}

// "Allow wake timers" of the power source in use (2, important only, wakes Windows alone), hibernation; Modern
// Standby changes no verdict but has a note of its own. The real timer is accepted by this Windows.
TEST(WakeSupport, VerdictsAndTheirAdvice)
{
    struct Case {  // advice: a part of it, or of the Modern Standby note
        int ac, dc; bool battery, hibernate, modernStandby; CWakeSupport::Verdict verdict; const wchar_t* advice;
    } cases[] = {
        {0, 1, false, true, false, CWakeSupport::kWakeTimersOff, L"Allow wake timers"},
        {1, 1, false, true, false, CWakeSupport::kCanWake, nullptr},
        {2, 2, false, true, false, CWakeSupport::kImportantTimersOnly, L"to Enable: \"Important only\""},
        {1, 0, false, true, false, CWakeSupport::kCanWake, nullptr},
        {1, 0, true, true, false, CWakeSupport::kWakeTimersOff, L"Allow wake timers"},
        {1, 2, true, true, false, CWakeSupport::kImportantTimersOnly, L"to Enable: \"Important only\""},
        {1, 1, false, false, false, CWakeSupport::kNoHibernation, L"powercfg /hibernate on"},
        {1, 1, true, true, true, CWakeSupport::kCanWake, L"Modern Standby"},
    };
    for (const Case& c : cases) {
        PowerFacts facts;
        facts.known = facts.rtcWakeS4 = true;
        facts.wakeTimersAc = c.ac, facts.wakeTimersDc = c.dc;
        facts.onBattery = c.battery, facts.hibernate = c.hibernate, facts.modernStandby = c.modernStandby;
        CWakeSupport::Verdict verdict = CWakeSupport::Judge(facts, true);
        EXPECT_EQ(verdict, c.verdict) << c.ac << c.dc << c.battery << c.hibernate;
        std::wstring said = std::wstring(CWakeSupport::Advice(verdict, false)) + CWakeSupport::StandbyNote(facts, false);
        EXPECT_TRUE(c.advice ? said.find(c.advice) != std::wstring::npos : said.empty()) << Narrow(said);
    }
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    CWakeTimer timer;
    EXPECT_TRUE(timer.Arm(FileTimeToTicks(now) + 3600 * CDateTime::kSecond, L"Marivane: a test"));
    timer.Cancel();
    EXPECT_EQ(timer.Due(), 0);
}

// Three zones' changes by their own rules: a skipped time is the change's moment, a repeated one its first showing.
TEST(ZoneRules, SkippedAndRepeatedTimes)
{
    struct Case { const wchar_t* zone; CDateTime local, utc; } cases[] = {
        {L"Eastern Standard Time", At(2026, 3, 8, 2, 0), At(2026, 3, 8, 7, 0)},   // skipped
        {L"Eastern Standard Time", At(2026, 3, 8, 2, 30), At(2026, 3, 8, 7, 0)},  // skipped
        {L"Eastern Standard Time", At(2026, 11, 1, 1, 30), At(2026, 11, 1, 5, 30)},  // first showing
        {L"Eastern Standard Time", At(2026, 11, 1, 2, 0), At(2026, 11, 1, 7, 0)},
        {L"W. Europe Standard Time", At(2026, 3, 29, 2, 30), At(2026, 3, 29, 1, 0)},   // skipped
        {L"W. Europe Standard Time", At(2026, 10, 25, 2, 30), At(2026, 10, 25, 0, 30)},  // first showing
        {L"AUS Eastern Standard Time", At(2026, 4, 5, 2, 30), At(2026, 4, 4, 15, 30)},   // first showing
        {L"AUS Eastern Standard Time", At(2026, 10, 4, 2, 30), At(2026, 10, 3, 16, 0)},  // skipped
        {L"AUS Eastern Standard Time", At(2027, 1, 1, 0, 0), At(2026, 12, 31, 13, 0)},   // summer across the year
    };
    for (const Case& c : cases) {
        CZoneRules zone;
        zone.UseZone(c.zone);
        EXPECT_EQ(Text(c.utc), Text(FromTicks(zone.LocalToUtc(c.local.m_Ticks)))) << Narrow(c.zone) << " " << Narrow(Text(c.local));
        // Back to local: the same time, or the change's on the new clock.
        long long back = zone.UtcToLocal(c.utc.m_Ticks);
        EXPECT_EQ(zone.LocalToUtc(back), c.utc.m_Ticks);
    }
    // In New York's second showing of 01:00-02:00 the list is judged at 02:00 less a tick.
    CZoneRules ny;
    ny.UseZone(L"Eastern Standard Time");
    EXPECT_EQ(ny.ScheduleTime(At(2026, 11, 1, 6, 20).m_Ticks), At(2026, 11, 1, 2, 0).m_Ticks - 1);
    EXPECT_EQ(ny.ScheduleTime(At(2026, 11, 1, 7, 20).m_Ticks), At(2026, 11, 1, 2, 20).m_Ticks);
}
