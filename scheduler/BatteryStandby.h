// Modern Standby on battery ends a program's system-required power request
// five minutes after the plan's sleep timeout, and the standby that follows
// pauses Marivane: an unattended laptop on battery would stop recording
// there, whatever the request holds. A display request is honoured on
// battery, so while such a recording runs the screen is kept on too, and
// the user is told; where even that is refused, told when it will stop.
#pragma once

#include "scheduler/WakeSupport.h"

class CBatteryStandby {
public:
    // After the sleep timeout expires, the requests last this long.
    static constexpr long long kGraceSeconds = 300;

    // Where these facts would cut a recording that runs from nowUtc to
    // stopUtc (UTC, 100-ns units) if nobody uses the PC: the moment, or 0
    // when it runs to its stop (on mains, without Modern Standby, or with
    // "Sleep after" on battery set to never).
    static long long CutAt(const PowerFacts& facts, long long nowUtc, long long stopUtc);
    // What this PC does with a recording on battery, for the Misc page;
    // empty without a battery or facts.
    static void Note(const PowerFacts& facts, bool japanese, wchar_t* text, int count);
};
