#include "scheduler/Suspend.h"
#include "app/Trace.h"

HANDLE CSuspend::s_hKeptTimer = nullptr;

bool CSuspend::ToUtcDueTime(const CDateTime& local, LARGE_INTEGER& due)
{
    SYSTEMTIME st = local.m_Time;
    SYSTEMTIME utc;
    FILETIME ft;
    // The zone's rule for that date, so a wake across a change of summer time is right.
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &st, &utc) || !SystemTimeToFileTime(&utc, &ft))
        return false;
    due.LowPart = ft.dwLowDateTime;
    due.HighPart = static_cast<LONG>(ft.dwHighDateTime);
    return true;
}

HANDLE CSuspend::ArmTimer(const CDateTime& wakeAt)
{
    LARGE_INTEGER due;
    if (!ToUtcDueTime(wakeAt, due)) {
        Trace(L"CSuspend::Suspend: no due time for the wake timer\n");
        return nullptr;
    }
    HANDLE timer = CreateWaitableTimerW(nullptr, FALSE, nullptr);
    if (!timer)
        return nullptr;
    SetLastError(0);
    if (!SetWaitableTimer(timer, &due, 0, nullptr, nullptr, TRUE)) {
        Trace(L"CSuspend::Suspend: the wake timer could not be set (%lu)\n", GetLastError());
        CloseHandle(timer);
        return nullptr;
    }
    if (GetLastError() == ERROR_NOT_SUPPORTED)
        Trace(L"CSuspend::Suspend: this computer cannot wake by timer\n");
    return timer;
}

bool CSuspend::Suspend(long long seconds, const CDateTime& wakeAt, bool keepTimer)
{
    Trace(L"CSuspend::Suspend(%lld)\n", seconds);
    ReleaseTimer();
    HANDLE timer = seconds > 0 ? ArmTimer(wakeAt) : nullptr;
    if (keepTimer) {
        InterlockedExchangePointer(&s_hKeptTimer, timer);
        return true;
    }

    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        TOKEN_PRIVILEGES tp = {};
        tp.PrivilegeCount = 1;
        tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &tp.Privileges[0].Luid))
            AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr);
        CloseHandle(token);
    }
    if (!SetSystemPowerState(FALSE, FALSE)) {
        Trace(L"CSuspend::Suspend: the sleep request failed (%lu)\n", GetLastError());
        InterlockedExchangePointer(&s_hKeptTimer, timer);
        return false;
    }
    if (timer) {
        CancelWaitableTimer(timer);
        CloseHandle(timer);
    }
    return true;
}

void CSuspend::ReleaseTimer()
{
    HANDLE timer = InterlockedExchangePointer(&s_hKeptTimer, nullptr);
    if (timer) {
        CancelWaitableTimer(timer);
        CloseHandle(timer);
    }
}
