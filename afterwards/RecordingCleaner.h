// Keeps the recording folder to the last "keep_days" days: at start-up,
// after each recording and once a day, this program's own recordings whose
// last write is older go to the Recycle Bin, on a thread of its own (the
// shell may take its time on a slow drive). Only files directly in the
// folder named "<title>_YYYYMMDDhhmm_NNN.<wav|flac|opus>", where the title
// is, as file names carry it, one of a program in the list or of one
// recorded; never a file open elsewhere (being written), nor a read-only one.
// One file at a time: one the bin refuses stays and the others go on.
#pragma once

#include "afterwards/RecycleBin.h"

#include <windows.h>
#include <string>
#include <vector>

class CRecordingCleaner {
public:
    // Between the checks whether a day has passed since the last clean-up.
    static constexpr DWORD kCheckMs = 3600 * 1000;
    // How long Stop waits for the file being moved.
    static constexpr DWORD kStopWaitMs = 10000;

    CRecordingCleaner();
    ~CRecordingCleaner();
    CRecordingCleaner(const CRecordingCleaner&) = delete;
    CRecordingCleaner& operator=(const CRecordingCleaner&) = delete;

    // Starts the thread, which cleans up at once; notices go to window.
    bool Start(HWND window);
    // After a recording (any thread): a clean-up soon.
    void Request();
    // The clean-up under way stops before its next file; Stop waits for it.
    void Cancel();
    void Stop();

    // One clean-up by the settings now, on the caller's thread (a test's);
    // notices go to window.
    void CleanUp(HWND window);

    // What one clean-up did.
    struct Outcome {
        int moved = 0;
        unsigned long long bytes = 0;
        std::vector<std::wstring> refused;  // names the bin cannot take, kept
        int failed = 0;
        HRESULT error = S_OK;  // the first failure's
    };
    // The old recordings of titles (file-name forms) in folder, as of now
    // (UTC, 100-ns units), to the bin, until quit (if any) is set.
    static Outcome CleanFolder(const std::wstring& folder, int keepDays, const std::vector<std::wstring>& titles,
                               long long now, HANDLE quit);

    // Moves one file to the bin: a seam for the tests.
    static CRecycleBin::Result (*s_MoveToBin)(const std::wstring& file, HRESULT& error);

private:
    struct State;
    static DWORD WINAPI ThreadProc(void* param);
    static void Run(State& state);
    static void Pass(State& state);

    // Shared with the thread, which may outlive this object (Stop gives up
    // on a shell operation that hangs): the last of the two frees it.
    State* m_pState;
    HANDLE m_hThread;  // the UI thread's
    bool m_bAbandoned;  // a thread Stop gave up on still holds the state
};
