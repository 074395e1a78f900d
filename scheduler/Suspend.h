// The sleep request after a recording. The wake timer is the scheduler's,
// armed at all times (CWakeTimer), so the request arms nothing itself.
#pragma once

class CSuspend {
public:
    // Requests hibernation (S4) or sleep (S1-S3, see CSleepState) and
    // returns after the resume; seconds (until the wake timer) is for the
    // trace. False when the request failed.
    static bool Suspend(long long seconds, bool hibernate);
};
