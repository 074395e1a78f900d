// A "tracer64.dll" without the "twprintf" export. It records that it was
// loaded and unloaded (MARIVANE_TRACE_FILE + ".dll"), so a test can see it
// stayed loaded but unused.
#include <windows.h>
#include <cstdio>

static void Mark(const char* what)
{
    wchar_t path[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"MARIVANE_TRACE_FILE", path, MAX_PATH - 8);
    if (!n)
        return;
    lstrcatW(path, L".dll");
    if (FILE* f = _wfopen(path, L"ab")) {
        fputs(what, f);
        fclose(f);
    }
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        Mark("loaded\n");
    else if (reason == DLL_PROCESS_DETACH)
        Mark("unloaded\n");
    return TRUE;
}

extern "C" __declspec(dllexport) int notwprintf(const wchar_t*, ...)
{
    return 0;
}
