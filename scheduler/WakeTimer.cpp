#include "scheduler/WakeTimer.h"
#include "foundation/Trace.h"

bool CWakeTimer::Arm(long long dueUtc, const wchar_t* reason)
{
    if (!m_hTimer)
        m_hTimer = CreateWaitableTimerW(nullptr, FALSE, nullptr);
    if (!m_hTimer)
        return false;
    lstrcpynW(m_Reason, reason ? reason : L"Marivane", kReasonSize);
    REASON_CONTEXT context = {};
    context.Version = POWER_REQUEST_CONTEXT_VERSION;
    context.Flags = POWER_REQUEST_CONTEXT_SIMPLE_STRING;
    context.Reason.SimpleReasonString = m_Reason;
    // Absolute UTC: a relative time would not count the time spent asleep.
    LARGE_INTEGER due;
    due.QuadPart = dueUtc;
    SetLastError(0);
    if (!SetWaitableTimerEx(m_hTimer, &due, 0, nullptr, nullptr, &context, 0) &&
        !SetWaitableTimer(m_hTimer, &due, 0, nullptr, nullptr, TRUE)) {
        Trace(L"[CWakeTimer] the wake timer could not be set (%lu)\n", GetLastError());
        m_Due = 0;
        return false;
    }
    m_Due = dueUtc;
    if (GetLastError() == ERROR_NOT_SUPPORTED) {
        Trace(L"[CWakeTimer] this computer cannot wake by timer\n");
        return false;
    }
    return true;
}

void CWakeTimer::Cancel()
{
    if (m_hTimer) {
        CancelWaitableTimer(m_hTimer);
        CloseHandle(m_hTimer);
        m_hTimer = nullptr;
    }
    m_Due = 0;
}
