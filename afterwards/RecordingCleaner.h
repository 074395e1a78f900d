// Keeps the recording folder to the last "keep_days" days: at start-up,
// after each recording and once a day, this program's own recordings whose
// last write is older go to the Recycle Bin, on a thread of its own (the
// shell may take its time on a slow drive). Only files directly in the
// folder named "<title>_YYYYMMDDhhmm_NNN.<wav|flac|opus>", where the title
// is, as file names carry it, one of a program in the list or of one
// recorded; never a file open elsewhere (being written), nor a read-only one.
#pragma once

#include "afterwards/RecycleBin.h"

#include <windows.h>
#include <string>
#include <vector>

class CRecordingCleaner {
public:
    // Between the checks whether a day has passed since the last clean-up.
    static constexpr DWORD kCheckMs = 3600 * 1000;
    // How long Stop waits for a clean-up that is under way.
    static constexpr DWORD kStopWaitMs = 10000;

    CRecordingCleaner();
    virtual ~CRecordingCleaner();
    CRecordingCleaner(const CRecordingCleaner&) = delete;
    CRecordingCleaner& operator=(const CRecordingCleaner&) = delete;

    // Starts the thread, which cleans up at once; notices go to window.
    bool Start(HWND window);
    // After a recording (any thread): a clean-up soon.
    void Request();
    void Stop();

    // One clean-up by the settings now: the folder, the days, the titles.
    // Runs on the cleaner's thread (or a test's).
    void CleanUp();

    // What one clean-up did.
    struct Outcome {
        int moved = 0;
        unsigned long long bytes = 0;
        CRecycleBin::Result result = CRecycleBin::kDone;
        HRESULT error = S_OK;
    };
    // The old recordings of titles (file-name forms) in folder, as of now
    // (UTC, 100-ns units), to bin.
    static Outcome CleanFolder(const std::wstring& folder, int keepDays, const std::vector<std::wstring>& titles,
                               long long now, CRecycleBin& bin);

protected:
    // Seams for the tests: the bin, and the notices.
    virtual CRecycleBin& Bin() { return m_Bin; }
    virtual void Tell(WPARAM notice, const wchar_t* text);

private:
    static DWORD WINAPI ThreadProc(void* param);
    void Run();
    // Titles of the programs in the list and of those recorded.
    static std::vector<std::wstring> Titles(const std::wstring& folder);

    HANDLE m_hThread;
    HANDLE m_hRequest;  // auto-reset: a clean-up is asked for
    HANDLE m_hQuit;     // manual-reset: the thread ends
    HWND m_hWindow;
    CRecycleBin m_Bin;
    // The cleaner thread's own: the folder whose refusal or failure the
    // user has been told of, so it is said once.
    std::wstring m_ToldFolder;
};
