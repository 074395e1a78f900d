// Binds Trace to "twprintf" of the optional "tracer64.dll" at start-up and
// unbinds it at exit.
#pragma once

#include <windows.h>

class CTraceBinding {
public:
    // Loads the library from the executable's own folder (or System32) only:
    // never from the current directory, so a planted DLL is not run.
    static void Bind();
    static void Unbind();
    static HMODULE GetModule() { return s_hModule; }

private:
    static HMODULE s_hModule;
};
