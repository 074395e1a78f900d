// The one resume-capable waitable timer of the program. The scheduler
// thread keeps it pointed at the next program's start less the wake lead,
// so any sleep, chosen by the program, the user, the lid or the idle timer,
// wakes the PC in time; "powercfg /waketimers" shows it with a reason that
// names the program. Scheduler thread only.
#pragma once

#include <windows.h>

class CWakeTimer {
public:
    static constexpr int kReasonSize = 200;

    CWakeTimer() : m_hTimer(nullptr), m_Due(0), m_Reason() {}
    ~CWakeTimer() { Cancel(); }
    CWakeTimer(const CWakeTimer&) = delete;
    CWakeTimer& operator=(const CWakeTimer&) = delete;

    // Arms it for dueUtc (100-ns units since 1601), replacing the time armed
    // before; false when Windows refused it or cannot wake by a timer.
    bool Arm(long long dueUtc, const wchar_t* reason);
    void Cancel();
    long long Due() const { return m_Due; }

private:
    HANDLE m_hTimer;
    long long m_Due;  // 0: not armed
    wchar_t m_Reason[kReasonSize];  // kept while armed: the wake names it
};
