// The application object: the hidden main window behind the tray icon, the
// owner of the audio and scheduler threads and of the scheduler's state.
#pragma once

#include "afterwards/RecordingCleaner.h"
#include "app/AppBase.h"
#include "dialogs/InquiryDialog.h"
#include "recorder/AudioCtrl.h"
#include "scheduler/Scheduler.h"

#include <shellapi.h>

// The second base: notification operations, all empty here.
class CEventListener {
public:
    virtual ~CEventListener() {}
    virtual void OnEvent1() {}
    virtual void OnEvent2() {}
    virtual void OnEvent3() {}
    virtual void OnEvent4() {}
};

class CAppMain : public CAppBase, public CEventListener, public CScheduler {
public:
    static const wchar_t kWindowClass[];
    static constexpr UINT kTrayIconId = 1;
    // Without its icon the program keeps recording and tries again this often.
    static constexpr DWORD kTrayRetryMs = 2000;
    static const wchar_t kInstanceMutex[];
    static const wchar_t kShowProgramsMessage[];
    static constexpr UINT_PTR kTipTimer = 1;
    static constexpr UINT_PTR kTrayTimer = 2;

    explicit CAppMain(HINSTANCE hInstance);
    ~CAppMain() override;

    LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnCreate(HWND hwnd) override;
    void OnClose(HWND hwnd) override;
    void OnExitCommand() override;
    int Create(HINSTANCE hInstance) override;
    int ActivatePrevInstance() override;
    int ExitInstance() override;

    void OpenProgramList();
    // The main loop's hook for the modeless sleep inquiry: true when msg was
    // its keyboard input (Enter, Esc, Tab) and has been handled.
    bool IsInquiryMessage(MSG* msg);
    // The session ends (shutdown, log-off): the recording is closed with its
    // final sizes and the threads are ended before the process is.
    void OnEndSession();
    // "Record now...": the input dialog for a program from now; on OK it
    // starts at once.
    void RecordNow();
    // "Stop recording": the recording shown in the menu (null: the one
    // recording now) ends at this moment.
    void StopRecordingNow(const ProgramItem* shown);
    // The program at the head of the list when it records.
    bool CurrentRecording(ProgramItem& program) const;
    // A recording's last file is closed (WM_RECORDING_FILES): its title is
    // remembered, the command after it runs, the old recordings go.
    void OnRecordingFiles(const wchar_t* files);

    CAudioCtrl m_AudioCtrl;
    CRecordingCleaner m_Cleaner;
    CInquiryDialog m_InquiryDialog;

protected:
    void PostToWindow(UINT message) override;
    DWORD AudioThreadId() override { return m_AudioCtrl.m_ThreadId; }
    void PostToAudio(UINT message, WPARAM wParam, LPARAM lParam) override;
    void PostNotice(WPARAM notice, const wchar_t* detail = nullptr) override;
    // The shell call, a seam so a test can make adding the icon fail.
    virtual BOOL NotifyIcon(DWORD message, NOTIFYICONDATAW* data) { return Shell_NotifyIconW(message, data); }
    // The reason the shutdown screen shows while recording; null ends it.
    virtual void BlockShutdown(const wchar_t* reason);

private:
    static LRESULT CALLBACK Trampoline(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // Adds the icon, or finds it there; false: retried on the tray timer.
    bool AddTrayIcon();
    // The shutdown screen names the recording (at its start and stop).
    void UpdateShutdownReason(bool recording);
    void SetTrayIcon(int iconId);
    HICON TrayIcon(int iconId);
    void ShowTrayMenu();
    void StartThreads();
    // A tray balloon for a failure, at most one per cause and program
    // occurrence, and a line in the notice log; detail: the notice's text.
    void ShowNotice(WPARAM notice, const wchar_t* detail);
    void LogNotice(WPARAM notice, const wchar_t* title, const wchar_t* text, const wchar_t* detail);
    // The tip tells the state at a glance: the next program or the one
    // recording, and the last notice until the list is opened.
    // While recording, a change of the level alone is shown every
    // kTipLevelMs: each change is a trip to the notification area's process.
    static constexpr ULONGLONG kTipLevelMs = 10000;
    void UpdateTrayTip();
    // withLevel false: the recording's level left out (to see what else changed).
    void TrayTipText(wchar_t* tip, int count, bool withLevel = true);

    UINT m_TaskbarCreated;
    // The program occurrence the last recording balloon was about, and the
    // notices (bit n: notice n) it has had (UI thread).
    unsigned m_NoticeProgramId;
    long long m_NoticeProgramStart;
    unsigned long long m_NoticesShown;
    // The latest notice, until the program list is opened; the tip shown (UI thread).
    wchar_t m_UnreadNotice[256];
    wchar_t m_TrayTip[128];
    wchar_t m_TrayTipUnlevelled[128];
    ULONGLONG m_TrayTipAt;
    // Posted by a second copy: the list is opened and brought to the front.
    UINT m_ShowPrograms;
    // Held for the life of the process: the first single-instance check.
    HANDLE m_hInstanceMutex;
    HICON m_hTrayIcon;  // the icon last given to the shell, ours to destroy
    // The icon is there; failed attempts to add it since it was last there (UI thread).
    bool m_bTrayIcon;
    int m_TrayFailures;
    // A shutdown reason is set: the session's end waits for the user (UI thread).
    bool m_bShutdownBlocked;
};

extern CAppMain* g_pApp;
