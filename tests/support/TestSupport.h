// Helpers shared by the test executables: temporary folders, files, the
// product executable started as a child process, and trace capture.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

std::string Narrow(const std::wstring& wide);
// Polls every stepMs until done() holds; false after timeoutMs.
template <class Done>
bool WaitUntil(Done done, DWORD timeoutMs, DWORD stepMs = 20)
{
    for (DWORD start = GetTickCount(); !done(); Sleep(stepMs))
        if (GetTickCount() - start >= timeoutMs)
            return false;
    return true;
}
// The user's Music folder, as the shell names it.
std::wstring MusicFolder();

// A fresh folder under the temporary folder, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::wstring& Path() const { return m_Path; }
    std::wstring File(const std::wstring& name) const { return m_Path + L"\\" + name; }

private:
    std::wstring m_Path;
};

std::wstring TestBinDir();     // the folder of the running test executable
std::wstring ProductExePath(); // build\bin\marivane.exe
// An environment variable's value, empty when unset.
std::wstring EnvironmentValue(const wchar_t* name);
// The port of a test station (MARIVANE_STATION_PORT, MARIVANE_HLS_PORT) into
// port; the test is skipped where run-stream-tests.sh did not start it.
#define STATION_PORT_OR_SKIP(port, variable)                  \
    const std::wstring port = EnvironmentValue(variable);      \
    if (port.empty())                                          \
    GTEST_SKIP() << "run by run-stream-tests.sh, beside the test stations"
bool WriteBytes(const std::wstring& path, const std::string& bytes);
std::string ReadBytes(const std::wstring& path);
// FNV-1a 64 of bytes in 16 hex digits, as the test stations log each frame.
std::string Fnv(const unsigned char* p, size_t size);
bool Exists(const std::wstring& path);
std::vector<std::wstring> ListFiles(const std::wstring& folder);

// The product started as a child process in a given current directory.
class ChildProcess {
public:
    ~ChildProcess();
    bool Start(const std::wstring& exe, const std::wstring& currentDir,
               const std::vector<std::pair<std::wstring, std::wstring>>& env = {},
               const std::wstring& arguments = L"");
    // Ends it at once, as a kill -9 would (Wine's wineserver sends SIGKILL).
    void Kill();
    bool Running() const;
    // The child's "MARIVANE MAIN WINDOW", looked for every pollMs; null after timeoutMs.
    HWND WaitForMainWindow(DWORD timeoutMs, DWORD pollMs = 50);
    // Exit code, or STILL_ACTIVE when it did not end in time (then it is killed).
    DWORD WaitForExit(DWORD timeoutMs);

private:
    PROCESS_INFORMATION m_Info = {};
};

// Lines the test tracer wrote (UTF-8, timestamps stripped), and their stamps in microseconds.
struct TraceLine {
    long long micros;
    std::string text;
};
std::vector<TraceLine> ReadTrace(const std::wstring& path);

// Points Trace at an in-process collector while it lives.
class TraceCapture {
public:
    TraceCapture();
    ~TraceCapture();
    static std::vector<std::wstring> Lines();
    static int Count(const std::wstring& line);
    static bool Contains(const std::wstring& line) { return Count(line) > 0; }
};
