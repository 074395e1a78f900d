// The sleep request with its wake timer.
#pragma once

#include "foundation/DateTime.h"

#include <windows.h>

class CSuspend {
public:
    // Arms a resume-capable timer for the local time wakeAt when seconds > 0
    // (seconds is what the trace shows), requests the sleep, and removes the
    // timer once the request returns. With keepTimer the system is suspending
    // on its own: no sleep is requested, and the timer stays armed until
    // ReleaseTimer (on resume). False when the sleep request failed: the
    // timer then stays armed as a kept one, so the PC still wakes for the
    // program if it sleeps by itself.
    static bool Suspend(long long seconds, const CDateTime& wakeAt, bool keepTimer);
    // Removes a timer kept by Suspend (on resume).
    static void ReleaseTimer();
    // The local wall-clock time as an absolute UTC due time. A relative due
    // time would not count the time spent asleep.
    static bool ToUtcDueTime(const CDateTime& local, LARGE_INTEGER& due);

private:
    static HANDLE ArmTimer(const CDateTime& wakeAt);
    // Set by the UI thread's suspend notice; taken by either thread, always
    // with an atomic exchange.
    static HANDLE s_hKeptTimer;
};
