#include "scheduler/Suspend.h"
#include "foundation/Trace.h"

#include <windows.h>
#include <powrprof.h>

bool CSuspend::Suspend(long long seconds, bool hibernate)
{
    Trace(L"CSuspend::Suspend(%lld)\n", seconds);
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        TOKEN_PRIVILEGES tp = {};
        tp.PrivilegeCount = 1;
        tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &tp.Privileges[0].Luid))
            AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr);
        CloseHandle(token);
    }
    // Wake events stay enabled: the wake timer is one.
    if (!SetSuspendState(hibernate ? TRUE : FALSE, FALSE, FALSE)) {
        Trace(L"CSuspend::Suspend: the sleep request failed (%lu)\n", GetLastError());
        return false;
    }
    return true;
}
