// The user's command after each recording ("after_recording_command"):
// started once the recording's last file is closed, without a console
// window, and never waited for by the UI or the scheduler. A thread of its
// own per command watches it for 30 minutes and logs how it ended.
#pragma once

#include <windows.h>
#include <string>

class CAfterRecording {
public:
    static constexpr DWORD kWatchMs = 30 * 60 * 1000;

    // Runs command for the recording whose files (one a line, with paths)
    // are given; what becomes of it goes to window as notices.
    static void Run(const wchar_t* command, const wchar_t* files, HWND window, bool japanese);
    // The command line as started (CCommandLine): %F the files, %D their
    // folder, %T the title, each in quotes; %S the scheduled start; %% a
    // percent sign. A command CCommandLine refuses is not run, and told.
    static std::wstring Expand(const wchar_t* command, const wchar_t* files);
    // How long a command is watched (a seam: the tests do not wait 30 minutes).
    static DWORD s_WatchMs;

private:
    static DWORD WINAPI Watch(void* param);
};
