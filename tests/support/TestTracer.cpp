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
    char text[16384];
    text[WideCharToMultiByte(CP_UTF8, 0, line, n, text, sizeof text - 1, nullptr, nullptr)] = 0;
    AcquireSRWLockExclusive(&g_lock);
    if (FILE* f = _wfopen(path, L"ab")) {
        fprintf(f, "%lld %s", us, text);
        fclose(f);
    }
    ReleaseSRWLockExclusive(&g_lock);
    return n;
}
