// Test stand-in for the debug library: each line goes, with a
// QueryPerformanceCounter timestamp in microseconds, to the file named by
// MARIVANE_TRACE_FILE (UTF-8). Without the variable it writes nothing.
#include <windows.h>
#include <cstdarg>
#include <cstdio>
#include <cwchar>

static SRWLOCK g_lock = SRWLOCK_INIT;  // one line at a time from all threads

extern "C" __declspec(dllexport) int twprintf(const wchar_t* format, ...)
{
    wchar_t path[MAX_PATH];
    if (!GetEnvironmentVariableW(L"MARIVANE_TRACE_FILE", path, MAX_PATH))
        return 0;
    wchar_t line[4096];
    va_list args;
    va_start(args, format);
    int n = _vsnwprintf(line, 4095, format, args);
    va_end(args);
    line[4095] = 0;
    if (n < 0)
        n = static_cast<int>(wcslen(line));
    LARGE_INTEGER now, freq;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&freq);
    long long us = now.QuadPart / freq.QuadPart * 1000000 + (now.QuadPart % freq.QuadPart) * 1000000 / freq.QuadPart;
    char stamp[32];
    int sn = snprintf(stamp, sizeof stamp, "%lld ", us);
    char text[16384];
    int tn = WideCharToMultiByte(CP_UTF8, 0, line, n, text, sizeof text, nullptr, nullptr);
    AcquireSRWLockExclusive(&g_lock);
    HANDLE h = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(h, stamp, static_cast<DWORD>(sn), &written, nullptr);
        WriteFile(h, text, static_cast<DWORD>(tn), &written, nullptr);
        CloseHandle(h);
    }
    ReleaseSRWLockExclusive(&g_lock);
    return n;
}
