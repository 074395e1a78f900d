// Which state "sleep after recording" requests: hibernation (S4), as it
// always did and still by default, or sleep (S1-S3) where the user chose
// it ("sleep_state" is "sleep"). Each is requested only where the PC has
// it; a Modern Standby PC has no S3, so no sleep to choose.
#pragma once

#include "scheduler/WakeSupport.h"

class CSleepState {
public:
    // Whether the PC has the state (hibernate: S4 with its file, else S1-S3
    // without Modern Standby); where the facts are not known, either.
    static bool Supports(const PowerFacts& facts, bool hibernate);
    // The state requested for the setting (wantSleep: the user chose sleep):
    // the chosen one where the PC has it, else the other where it has that,
    // else the chosen one. why: the reason, for the trace.
    static bool Hibernates(const PowerFacts& facts, bool wantSleep, const wchar_t** why = nullptr);
    // "Hibernate" or "Sleep", as the Misc page lists them.
    static const wchar_t* Name(bool hibernate, bool japanese);
};
