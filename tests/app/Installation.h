// A copy of marivane.exe in a folder of its own, started as a child process
// in a working folder of its own, optionally with a tracer beside it.
#pragma once

#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

inline const std::wstring kTracer = L"tracer64.dll";

struct Installation {
    TempDir appDir;
    TempDir workDir;
    std::wstring exe;
    std::wstring traceFile;

    explicit Installation(const std::wstring& tracerSource = L"")
    {
        exe = appDir.File(L"marivane.exe");
        EXPECT_TRUE(CopyFileW(ProductExePath().c_str(), exe.c_str(), FALSE)) << Narrow(ProductExePath());
        if (!tracerSource.empty()) {
            EXPECT_TRUE(CopyFileW(tracerSource.c_str(), appDir.File(kTracer).c_str(), FALSE));
        }
        traceFile = workDir.File(L"trace.txt");
    }

    // Starts the program, waits for its hidden window, closes it as Exit does.
    DWORD RunAndClose(ChildProcess& child)
    {
        EXPECT_TRUE(Start(child));
        HWND hwnd = child.WaitForMainWindow(15000);
        EXPECT_NE(hwnd, nullptr);
        if (hwnd)
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
        return child.WaitForExit(15000);
    }

    bool Start(ChildProcess& child) { return child.Start(exe, workDir.Path(), {{L"MARIVANE_TRACE_FILE", traceFile}}); }
};

inline std::wstring TestTracer() { return TestBinDir() + L"\\tracer64.dll"; }
inline std::wstring NoExportTracer() { return TestBinDir() + L"\\noexport\\tracer64.dll"; }

