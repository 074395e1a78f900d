#include "foundation/Trace.h"
#include "foundation/TraceBinding.h"

int TraceNothing(const wchar_t*, ...) { return 0; }

TraceFunction Trace = TraceNothing;

HMODULE CTraceBinding::s_hModule = nullptr;

void CTraceBinding::Bind()
{
    s_hModule = LoadLibraryExW(L"tracer64.dll", nullptr,
                               LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!s_hModule)
        return;
    FARPROC proc = GetProcAddress(s_hModule, "twprintf");
    // A library without the export stays loaded but unused until exit.
    Trace = proc ? reinterpret_cast<TraceFunction>(reinterpret_cast<void*>(proc)) : TraceNothing;
}

void CTraceBinding::Unbind()
{
    Trace = TraceNothing;
    if (s_hModule) {
        FreeLibrary(s_hModule);
        s_hModule = nullptr;
    }
}
