// Whether this PC can wake from its sleep for the next program. The sleep
// after a recording hibernates (S4) with a resume-capable timer armed; that
// wakes the PC only where hibernation is on, the firmware wakes from S4 by
// its clock, and "Allow wake timers" is on for the power source in use.
// Without them the timer is armed, accepted and never fires.
#pragma once

#include <windows.h>

struct PowerFacts {
    bool known = false;        // the queries answered
    bool hibernate = false;    // S4 present and its file there
    bool rtcWakeS4 = false;    // the firmware's clock wakes it from S4
    bool onBattery = false;
    bool allowWakeTimers = true;  // for the power source in use
};

class CWakeSupport {
public:
    enum Verdict { kCanWake, kUnknown, kWakeTimersOff, kNoHibernation, kNoTimerWake };

    // The system's answers (powrprof); known is false where it gives none.
    static PowerFacts Query();
    // What Verdict asks: Query, or a test's stand-in (Wine stubs the power calls).
    static PowerFacts (*s_Facts)();
    static Verdict Current() { return Judge(s_Facts()); }
    static Verdict Judge(const PowerFacts& facts);
    // What the user can change, in the UI language; empty for kCanWake and kUnknown.
    static const wchar_t* Advice(Verdict verdict, bool japanese);
};
