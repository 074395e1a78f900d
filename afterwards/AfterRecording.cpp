#include "afterwards/AfterRecording.h"
#include "afterwards/CommandLine.h"
#include "files/FilePrefix.h"
#include "foundation/Format.h"
#include "foundation/NoticePost.h"
#include "foundation/TextLines.h"
#include "foundation/Trace.h"

#include <cwchar>
#include <new>

DWORD CAfterRecording::s_WatchMs = CAfterRecording::kWatchMs;

namespace {

// A command line may hold this many characters (CreateProcess's limit).
constexpr size_t kMaxCommandLine = 32767;

// What a watcher thread owns: nothing else is shared with it.
struct Watched {
    HANDLE process;
    HWND window;
    bool japanese;
    wchar_t recording[MAX_PATH];
};

void Tell(HWND window, WPARAM notice, const wchar_t* text)
{
    Trace(L"[CAfterRecording] %s\n", text);
    PostNoticeText(window, notice, text);
}

}  // namespace

std::wstring CAfterRecording::Expand(const wchar_t* command, const wchar_t* files)
{
    return CCommandLine(command, files).line;
}

void CAfterRecording::Run(const wchar_t* command, const wchar_t* files, HWND window, bool japanese)
{
    if (!command || !files || !*files)
        return;
    RecordingPath recording(files);
    std::wstring name = recording.Name(), folder = recording.folder;
    wchar_t text[MAX_PATH + 200];
    if (const wchar_t* refusal = CCommandLine::RefusalNote(command, japanese)) {
        FormatText(text, MAX_PATH + 200, L"%s (%s)", name.c_str(), refusal);
        Tell(window, kNoticeCommandNotRun, text);
        return;
    }
    CCommandLine filled(command, files);
    std::wstring& line = filled.line;
    while (!line.empty() && (line.back() == L' ' || line.back() == L'\t'))
        line.pop_back();
    if (line.empty())
        return;
    Trace(L"[CAfterRecording] %s: %s\n", name.c_str(), line.c_str());
    DWORD error = ERROR_FILENAME_EXCED_RANGE;
    PROCESS_INFORMATION info = {};
    if (line.size() < kMaxCommandLine) {
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        // The recording's folder is the current one, where it can be: a
        // command may name its files alone.
        DWORD attributes = folder.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(folder.c_str());
        bool inFolder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
        if (CreateProcessW(filled.program.empty() ? nullptr : filled.program.c_str(), &line[0], nullptr, nullptr,
                           FALSE, CREATE_NO_WINDOW, nullptr, inFolder ? folder.c_str() : nullptr, &startup, &info))
            error = ERROR_SUCCESS;
        else
            error = GetLastError();
    }
    if (error != ERROR_SUCCESS) {
        FormatText(text, MAX_PATH + 200, japanese ? L"%s (エラー %lu)" : L"%s (error %lu)", name.c_str(), error);
        Tell(window, kNoticeCommandNotRun, text);
        return;
    }
    CloseHandle(info.hThread);
    Watched* watched = new (std::nothrow) Watched{info.hProcess, window, japanese, {}};
    HANDLE thread = nullptr;
    if (watched) {
        lstrcpynW(watched->recording, name.c_str(), MAX_PATH);
        thread = CreateThread(nullptr, 0, Watch, watched, 0, nullptr);
    }
    if (thread) {
        CloseHandle(thread);
        return;
    }
    // Not watched: it runs on all the same.
    Trace(L"[CAfterRecording] %s: the command runs unwatched\n", name.c_str());
    CloseHandle(info.hProcess);
    delete watched;
}

DWORD WINAPI CAfterRecording::Watch(void* param)
{
    Watched* watched = static_cast<Watched*>(param);
    wchar_t text[MAX_PATH + 100];
    DWORD code = 0;
    if (WaitForSingleObject(watched->process, s_WatchMs) != WAIT_OBJECT_0) {
        // Left alone: the program never waits for it.
        Tell(watched->window, kNoticeCommandRunning, watched->recording);
    } else {
        GetExitCodeProcess(watched->process, &code);
        FormatText(text, MAX_PATH + 100, watched->japanese ? L"%s (終了コード %lu)" : L"%s (exit code %lu)",
                   watched->recording, code);
        Tell(watched->window, code == 0 ? kNoticeCommandDone : kNoticeCommandFailed, text);
    }
    CloseHandle(watched->process);
    delete watched;
    return 0;
}
