// Whether this PC can wake from its sleep for the next program. The sleep
// after a recording hibernates (S4, or sleeps in S1-S3 where the user chose
// so, see CSleepState) with a resume-capable timer armed; that wakes the PC
// only where that state is there, the firmware wakes from it by its clock,
// and "Allow wake timers" is Enable (1) for the power source in use: 0
// disables them, and 2, "Important wake timers only", lets only Windows' own
// timers wake it, not a program's. Without them the timer is armed,
// accepted and never fires.
#pragma once

#include <windows.h>

struct PowerFacts {
    bool known = false;        // the queries answered
    bool hibernate = false;    // S4 present and its file there
    bool rtcWakeS4 = false;    // the firmware's clock wakes it from S4
    bool sleep = false;        // S1, S2 or S3 present
    bool rtcWakeSleep = false; // the firmware's clock wakes it from the deepest of them
    bool onBattery = false;
    // "Allow wake timers" on mains and on battery: 0 off, 1 on, 2 important only.
    int wakeTimersAc = 1, wakeTimersDc = 1;
    // Modern Standby (S0 low power idle): the user's own sleep is no S3.
    bool modernStandby = false;
    bool battery = false;      // the PC has a battery at all
    // The plan's "Sleep after" on battery, in seconds; 0: never.
    unsigned sleepTimeoutDc = 0;
    // Seconds since the user's last input (GetLastInputInfo) when read.
    unsigned idleSeconds = 0;
};

class CWakeSupport {
public:
    enum Verdict {
        kCanWake, kUnknown, kWakeTimersOff, kNoHibernation, kNoTimerWake, kImportantTimersOnly, kNoTimerWakeFromSleep
    };

    // The system's answers (powrprof); known is false where it gives none.
    static PowerFacts Query();
    // What the verdicts, the battery standby and the sleep state ask: Query,
    // or a test's stand-in (Wine stubs the power calls).
    static PowerFacts (*s_Facts)();
    // hibernate: the state the sleep requests (S4), else S1-S3.
    static Verdict Judge(const PowerFacts& facts, bool hibernate);
    // What the user can change, in the UI language; empty for kCanWake and kUnknown.
    static const wchar_t* Advice(Verdict verdict, bool japanese);
    // What Modern Standby means for waking, for the settings; empty without it.
    static const wchar_t* StandbyNote(const PowerFacts& facts, bool japanese);
};
