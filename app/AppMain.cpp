#include "app/AppMain.h"
#include "afterwards/RecordingFolder.h"
#include "app/TrayMenu.h"
#include "config/AppParameter.h"
#include "dialogs/ConfigDialog.h"
#include "dialogs/Dialog.h"
#include "dialogs/MainDialog.h"
#include "files/RecordingParameters.h"
#include "foundation/Format.h"
#include "foundation/NoticePost.h"
#include "foundation/TextLines.h"
#include "foundation/Trace.h"
#include "notices/NoticeLog.h"
#include "notices/NoticeText.h"
#include "programs/ProgramList.h"
#include "recorder/RecordingLevel.h"
#include "resources/resource.h"

#include <commctrl.h>
#include <wtsapi32.h>
#include <new>

CAppMain* g_pApp = nullptr;

const wchar_t CAppMain::kWindowClass[] = L"MARIVANE MAIN WINDOW";
const wchar_t CAppMain::kInstanceMutex[] = L"MARIVANE SINGLE INSTANCE";
const wchar_t CAppMain::kShowProgramsMessage[] = L"MARIVANE SHOW PROGRAM LIST";

namespace {

// NOTIFYICONDATAW of these headers: 976 bytes.
NOTIFYICONDATAW TrayData(HWND hwnd)
{
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof data;
    data.hWnd = hwnd;
    data.uID = CAppMain::kTrayIconId;
    return data;
}

// The line of text starting at from, up to its newline, into line.
void CopyLine(const wchar_t* from, wchar_t* line, int count)
{
    lstrcpynW(line, from ? from : L"", count);
    wchar_t* end = wcschr(line, L'\n');
    if (end)
        *end = L'\0';
}

// Waits for a new thread to publish its id (its message queue exists by
// then), at most 10 s. It is on the way to the first message loop: looked
// at every millisecond, so the start-up waits no longer than the thread.
void WaitForId(volatile DWORD& id)
{
    for (int i = 0; i < 10000 && !id; ++i)
        Sleep(i ? 1 : 0);
}

}  // namespace

CAppMain::CAppMain(HINSTANCE hInstance)
    : m_TaskbarCreated(0), m_NoticeProgramId(0), m_NoticeProgramStart(-1), m_NoticesShown(0), m_UnreadNotice(),
      m_TrayTip(), m_TrayTipUnlevelled(), m_TrayTipAt(0), m_ShowPrograms(RegisterWindowMessageW(kShowProgramsMessage)),
      m_hInstanceMutex(nullptr), m_hTrayIcon(nullptr), m_bTrayIcon(false), m_TrayFailures(0), m_bShutdownBlocked(false)
{
    m_hInstance = hInstance;
    m_pSleepInquiry = &m_InquiryDialog;
    m_nMode = 1;
    m_bMultiInstance = 1;
}

CAppMain::~CAppMain()
{
    if (m_hTrayIcon)
        DestroyIcon(m_hTrayIcon);
    if (m_hInstanceMutex)
        CloseHandle(m_hInstanceMutex);
}

LRESULT CALLBACK CAppMain::Trampoline(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (g_pApp)
        return g_pApp->WindowProc(hwnd, message, wParam, lParam);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

int CAppMain::ActivatePrevInstance()
{
    HWND other = FindWindowW(kWindowClass, nullptr);
    if (!other)
        return 0;
    // The first copy has no window to show: it opens its program list, and
    // may take the foreground this copy was given by the user's launch.
    DWORD process = 0;
    GetWindowThreadProcessId(other, &process);
    AllowSetForegroundWindow(process);
    PostMessageW(other, m_ShowPrograms, 0, 0);
    return 1;
}

int CAppMain::Create(HINSTANCE hInstance)
{
    m_hInstance = hInstance;
    InitCommonControls();

    int choice = g_pConfig ? g_pConfig->m_Language : -1;
    if (g_pConfig)
        g_pConfig->m_UiLanguage = (choice == 0 || choice == 1) ? choice : 0;
    bool japanese = choice == 1 || (choice != 0 && GetUserDefaultLangID() == 0x411);

    // Two copies started at the same moment both pass the window search and
    // would both record: the named mutex decides first. The later copy brings
    // the first one forward once its window exists, and exits.
    m_hInstanceMutex = CreateMutexW(nullptr, FALSE, kInstanceMutex);
    if (m_hInstanceMutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        for (int i = 0; i < 50 && !ActivatePrevInstance(); ++i)
            Sleep(100);
        return 0;
    }
    if (ActivatePrevInstance())
        return 0;

    WNDCLASSW wc = {};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = Trampoline;
    wc.hInstance = hInstance;
    wc.hIcon = LoadIconW(hInstance, MAKEINTRESOURCEW(IDI_APP_IDLE));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszMenuName = MAKEINTRESOURCEW(japanese ? IDM_TRAY_JA : IDM_TRAY_EN);
    wc.lpszClassName = kWindowClass;
    if (!RegisterClassW(&wc))
        return 0;

    const wchar_t* title = japanese ? L"予約録音アプリ" : L"Scheduled Recording Application";
    m_hWnd = CreateWindowExW(0, kWindowClass, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, hInstance, nullptr);
    if (!m_hWnd)
        return 0;

    // Windows starts the program again after an update's restart when it
    // signs the user in by itself, and offers to after a crash (README).
    RegisterApplicationRestart(nullptr, 0);
    // Another user taking the console (switch user) takes this session's sound.
    WTSRegisterSessionNotification(m_hWnd, NOTIFY_FOR_THIS_SESSION);
    // Explorer announces a restart with this message; the icon is added again then.
    m_TaskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    // The shell is often not ready during a slow logon: the program records
    // without its icon and keeps trying, never exits for lack of it.
    AddTrayIcon();
    return 1;
}

bool CAppMain::AddTrayIcon()
{
    NOTIFYICONDATAW data = TrayData(m_hWnd);
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_TRAY_NOTIFY;
    data.hIcon = TrayIcon(m_AudioCtrl.IsRecording() ? IDI_APP_RECORDING : IDI_APP_IDLE);
    TrayTipText(m_TrayTip, 128);
    SetWindowTextW(m_hWnd, m_TrayTip);
    lstrcpynW(data.szTip, m_TrayTip, 128);
    // An add that timed out may have added it all the same: then it can be modified.
    bool added = NotifyIcon(NIM_ADD, &data) != FALSE;
    if (!added && NotifyIcon(NIM_MODIFY, &data)) {
        Trace(L"NIM_ADD failed but the notification icon is there\n");
        added = true;
    }
    if (!added) {
        Trace(L"Unable to add the notification icon (attempt %d): retrying\n", m_TrayFailures + 1);
        if (m_TrayFailures++ == 0) {
            PostNotice(kNoticeNoTrayIcon);
            SetTimer(m_hWnd, kTrayTimer, kTrayRetryMs, nullptr);
        }
        return false;
    }
    if (m_TrayFailures) {
        wchar_t count[16];
        FormatText(count, 16, L"%d", m_TrayFailures + 1);
        Trace(L"The notification icon was added at attempt %s\n", count);
        PostNotice(kNoticeTrayIconAdded, count);
        KillTimer(m_hWnd, kTrayTimer);
    }
    m_TrayFailures = 0;
    m_bTrayIcon = true;
    return true;
}

void CAppMain::BlockShutdown(const wchar_t* reason)
{
    if (reason)
        ShutdownBlockReasonCreate(m_hWnd, reason);
    else
        ShutdownBlockReasonDestroy(m_hWnd);
}

void CAppMain::UpdateShutdownReason(bool recording)
{
    ProgramItem program;
    if (!recording || !m_pProgramList || !m_pProgramList->GetAt(0, program)) {
        if (m_bShutdownBlocked)
            BlockShutdown(nullptr);
        m_bShutdownBlocked = false;
        return;
    }
    bool ja = UiIsJapanese();
    const wchar_t* name = CAppParameter::ShownTitle(program.m_Title.GetWide(), ja);
    const SYSTEMTIME& stop = program.m_StopTime.m_Time;
    wchar_t reason[200];
    FormatText(reason, 200, ja ? L"録音中: %.80s (%02d:%02d まで)" : L"Recording %.80s until %02d:%02d", name, stop.wHour,
               stop.wMinute);
    BlockShutdown(reason);
    m_bShutdownBlocked = true;
}

void CAppMain::SetTrayIcon(int iconId)
{
    NOTIFYICONDATAW data = TrayData(m_hWnd);
    data.uFlags = NIF_ICON;
    data.hIcon = TrayIcon(iconId);
    NotifyIcon(NIM_MODIFY, &data);
}

HICON CAppMain::TrayIcon(int iconId)
{
    // Drawn at the small-icon size of the display's scale, not scaled down
    // from the large one; the shell copies it, so the last one is let go.
    HICON icon = nullptr;
    if (FAILED(LoadIconMetric(m_hInstance, MAKEINTRESOURCEW(iconId), LIM_SMALL, &icon)) || !icon)
        return LoadIconW(m_hInstance, MAKEINTRESOURCEW(iconId));
    if (m_hTrayIcon)
        DestroyIcon(m_hTrayIcon);
    m_hTrayIcon = icon;
    return icon;
}

void CAppMain::ShowTrayMenu()
{
    m_InquiryCountdown = 0;  // a pending sleep is cancelled
    POINT pt;
    GetCursorPos(&pt);
    CTrayMenu menu(m_hInstance, UiIsJapanese());
    // "Stop recording" stops the recording it names, whatever runs by the time it is chosen.
    ProgramItem recording;
    if (CurrentRecording(recording))
        menu.AddStop(CAppParameter::ShownTitle(recording.m_Title.GetWide(), UiIsJapanese()));
    if (!menu.Popup())
        return;
    // The window must be in front, or the menu does not close when the user clicks elsewhere.
    SetForegroundWindow(m_hWnd);
    UINT command = static_cast<UINT>(
        TrackPopupMenu(menu.Popup(), TPM_RETURNCMD | TPM_NONOTIFY, pt.x, pt.y, 0, m_hWnd, nullptr));
    PostMessageW(m_hWnd, WM_NULL, 0, 0);
    if (command == IDC_MENU_STOP)
        StopRecordingNow(&recording);  // the item is there only while one records
    else if (command)
        PostMessageW(m_hWnd, WM_COMMAND, command, 0);
}

void CAppMain::OpenProgramList()
{
    m_InquiryCountdown = 0;
    m_UnreadNotice[0] = L'\0';
    UpdateTrayTip();
    if (g_pMainDialog) {
        BringDialogToFront(g_pMainDialog->m_hWnd);
        return;
    }
    if (!m_pProgramList)
        return;
    CMainDialog dialog(m_pProgramList);
    g_pMainDialog = &dialog;
    DialogBoxParamW(OwnerInstance(m_hWnd), MAKEINTRESOURCEW(TemplateId(IDD_PROGRAMS_JA)), m_hWnd,
                    CMainDialog::ListDialogProc, 0);
    g_pMainDialog = nullptr;
}

LRESULT CAppMain::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate(hwnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_CLOSE:
        OnClose(hwnd);
        return 0;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_MENU_ABOUT:
            OnAbout();
            return 0;
        case IDC_MENU_HELP:
            OnHelp();
            return 0;
        case IDC_MENU_SETTING: {
            CConfigDialog sheet;
            sheet.Show(m_hWnd);
            return 0;
        }
        case IDC_MENU_EXIT:
            OnExitCommand();
            return 0;
        case IDC_OPEN_PROGRAMS:
            OpenProgramList();
            return 0;
        case IDC_MENU_RECORD_NOW:
            RecordNow();
            return 0;
        case IDC_MENU_STOP:
            StopRecordingNow(nullptr);
            return 0;
        case IDC_MENU_OPEN_FOLDER:
            OpenRecordingFolder(m_hWnd);
            return 0;
        default:
            return DefWindowProcW(m_hWnd, WM_COMMAND, wParam, 0);
        }
    case WM_POWERBROADCAST:
        OnPowerBroadcast(wParam);
        return 0;
    case WM_TIMECHANGE:
        OnClockChanged();
        return 0;
    case WM_QUERYENDSESSION:
        // While recording, the shutdown screen shows why and the user may go
        // on; a shutdown Windows forces, or an installer's, is not held up.
        return m_bShutdownBlocked && !(lParam & (ENDSESSION_CRITICAL | ENDSESSION_CLOSEAPP)) ? FALSE : TRUE;
    case WM_WTSSESSION_CHANGE:
        if (wParam == WTS_CONSOLE_DISCONNECT || wParam == WTS_REMOTE_DISCONNECT)
            m_AudioCtrl.SessionAway(true);
        else if (wParam == WTS_CONSOLE_CONNECT || wParam == WTS_REMOTE_CONNECT)
            m_AudioCtrl.SessionAway(false);
        return 0;
    case WM_ENDSESSION:
        if (wParam)
            OnEndSession();
        return 0;
    case WM_TRAY_NOTIFY:
        if (wParam == kTrayIconId) {
            if (lParam == WM_LBUTTONDOWN)
                OpenProgramList();
            else if (lParam == WM_RBUTTONDOWN)
                ShowTrayMenu();
        }
        return 0;
    case WM_CAPTURE_OPEN:
        return 0;
    case WM_CAPTURE_START:
        SetTrayIcon(IDI_APP_RECORDING);
        UpdateTrayTip();
        UpdateShutdownReason(true);
        return 0;
    case WM_CAPTURE_CLOSE:
        SetTrayIcon(IDI_APP_IDLE);
        UpdateTrayTip();
        UpdateShutdownReason(false);
        return 0;
    case WM_TIMER:
        // The list changes from dialogs and the scheduler's retirements alike.
        if (wParam == kTipTimer)
            UpdateTrayTip();
        else if (wParam == kTrayTimer && !m_bTrayIcon)
            AddTrayIcon();
        return 0;
    case WM_SHUTDOWN_INQUIRY:
        OnShutdownInquiry(m_hInstance, UiIsJapanese());
        return 0;
    case WM_CLOSE_INQUIRY:
        OnCloseInquiry();
        return 0;
    case WM_RECORDING_NOTICE:
        ShowNotice(wParam, reinterpret_cast<const wchar_t*>(lParam));
        delete[] reinterpret_cast<wchar_t*>(lParam);
        return 0;
    case WM_RECORDING_FILES:
        OnRecordingFiles(reinterpret_cast<const wchar_t*>(lParam));
        delete[] reinterpret_cast<wchar_t*>(lParam);
        return 0;
    default:
        if (message == m_ShowPrograms && m_ShowPrograms) {
            OpenProgramList();
            return 0;
        }
        if (message == m_TaskbarCreated && m_TaskbarCreated) {
            m_bTrayIcon = false;
            AddTrayIcon();
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

void CAppMain::OnCreate(HWND hwnd)
{
    m_hWnd = hwnd;
    m_pProgramList = g_pConfig ? &g_pConfig->m_ProgramList : nullptr;
    m_AudioCtrl.m_hNoticeWnd = hwnd;
    SetTimer(hwnd, kTipTimer, 2000, nullptr);
    if (g_pConfig && g_pConfig->m_bLoadDamaged)
        PostNotice(kNoticeSettingsDamaged);
    StartThreads();
    m_Cleaner.Start(hwnd);
}

void CAppMain::StartThreads()
{
    // The audio thread first: the scheduler posts to it from its first pass.
    if (!m_AudioCtrl.m_hThread) {
        m_AudioCtrl.m_hThread = CreateThread(nullptr, 0, CAudioCtrl::ThreadProc, &m_AudioCtrl, 0, nullptr);
        if (m_AudioCtrl.m_hThread)
            WaitForId(m_AudioCtrl.m_ThreadId);
    }
    if (!m_hSchedThread) {
        m_hSchedThread = CreateThread(nullptr, 0, CScheduler::SchedulerThreadProc, static_cast<CScheduler*>(this),
                                      0, nullptr);
        if (m_hSchedThread)
            WaitForId(m_SchedThreadId);
    }
}

void CAppMain::OnClose(HWND hwnd)
{
    if (ExitInstance())
        DestroyWindow(hwnd);
}

bool CAppMain::IsInquiryMessage(MSG* msg)
{
    HWND inquiry = m_hInquiryDlg;
    return inquiry && IsDialogMessageW(inquiry, msg);
}

void CAppMain::OnEndSession()
{
    // After this handler returns the process may be ended at any moment:
    // the file is finished here, as Exit would finish it.
    Trace(L"The session is ending: closing the recording\n");
    m_bSessionEnding = 1;  // a recording it cuts is told at the next start
    if (ExitInstance() && m_hWnd)
        DestroyWindow(m_hWnd);
}

void CAppMain::OnExitCommand()
{
    SendMessageW(m_hWnd, WM_CLOSE, 0, 0);
}

int CAppMain::ExitInstance()
{
    NOTIFYICONDATAW data = TrayData(m_hWnd);
    NotifyIcon(NIM_DELETE, &data);
    KillTimer(m_hWnd, kTrayTimer);
    WTSUnRegisterSessionNotification(m_hWnd);
    UpdateShutdownReason(false);
    // The clean-up stops before its next file while the recording closes,
    // and is waited for only once the file is finished.
    m_Cleaner.Cancel();

    HANDLE sched = InterlockedExchangePointer(&m_hSchedThread, nullptr);
    if (sched) {
        m_bSchedQuit = 1;
        Sleep(10);
        WaitForSingleObject(sched, INFINITE);
        CloseHandle(sched);
    }
    // The audio thread stops the device before it closes the file, so a
    // recording cut short by Exit is complete on disk.
    HANDLE audio = InterlockedExchangePointer(&m_AudioCtrl.m_hThread, nullptr);
    if (audio) {
        m_AudioCtrl.m_bQuit = 1;  // also ends a device-open retry loop
        PostToAudio(WM_CAPTURE_RELEASE, 0, 0);
        Sleep(10);
        WaitForSingleObject(audio, INFINITE);
        CloseHandle(audio);
    }
    m_Cleaner.Stop();
    return 1;
}

void CAppMain::PostToWindow(UINT message)
{
    PostMessageW(m_hWnd, message, 0, 0);
}

void CAppMain::PostNotice(WPARAM notice, const wchar_t* detail)
{
    PostNoticeText(m_hWnd, notice, detail);
}

void CAppMain::ShowNotice(WPARAM notice, const wchar_t* detail)
{
    bool ja = UiIsJapanese();
    wchar_t title[64], text[MAX_PATH + 400];
    const wchar_t* fixedTitle = NoticeTitle(notice, ja);
    ProgramItem program;
    if (notice == kNoticeSaveFailed) {
        CString path;
        if (g_pConfig)
            g_pConfig->GetIniFile(path);
        lstrcpynW(title, ja ? L"設定を保存できませんでした" : L"The settings could not be saved", 64);
        FormatText(text, MAX_PATH + 200,
                   ja ? L"%s に書き込めません。変更はこのプログラムを終了するまで有効です。"
                      : L"%s cannot be written. The changes stay in effect until the program ends.",
                   path.GetWide() ? path.GetWide() : L"");
    } else {
        // The program concerned heads the list while it is set up or recording.
        // Notices about no one program (missed ones, the sleep) are each told.
        if (!m_pProgramList || !m_pProgramList->GetAt(0, program) || program.m_State == Idle)
            program = ProgramItem();
        if (!fixedTitle) {
            if (program.m_Id != m_NoticeProgramId || program.m_StartTime.m_Ticks != m_NoticeProgramStart) {
                m_NoticeProgramId = program.m_Id;
                m_NoticeProgramStart = program.m_StartTime.m_Ticks;
                m_NoticesShown = 0;
            }
            // At most one balloon per cause and program occurrence; sound
            // that came back lets the silence alarm fire again.
            unsigned long long bit = 1ULL << (notice & 63);
            if (notice == kNoticeSoundBack) {
                m_NoticesShown &= ~(1ULL << kNoticeSilence | 1ULL << kNoticeLoopbackSilence);
            } else if (m_NoticesShown & bit) {
                Trace(L"Balloon already shown for this program (notice %d)\n", static_cast<int>(notice));
                return;
            }
            m_NoticesShown |= bit;
        }
        lstrcpynW(title, fixedTitle ? fixedTitle : CAppParameter::ShownTitle(program.m_Title.GetWide(), ja), 64);
        // A block of several lines: the first is the balloon's, every one a line of the log.
        wchar_t first[MAX_PATH];
        CopyLine(detail, first, MAX_PATH);
        NoticeText(notice, first, ja, title, text, MAX_PATH + 400);
    }
    LogNotice(notice, title, text, detail);
    if (NoticeLogOnly(notice))
        return;
    lstrcpynW(m_UnreadNotice, text, 256);
    CNoticeLog::SetLatest(text);
    if (g_pMainDialog)
        SetDlgItemTextW(g_pMainDialog->m_hWnd, IDC_LATEST_NOTICE, text);
    UpdateTrayTip();
    Trace(L"Balloon: %s: %s\n", title, text);
    NOTIFYICONDATAW data = TrayData(m_hWnd);
    data.uFlags = NIF_INFO;
    data.dwInfoFlags = NIIF_WARNING;
    data.uTimeout = 15000;
    lstrcpynW(data.szInfoTitle, title, 64);
    lstrcpynW(data.szInfo, text, 256);
    NotifyIcon(NIM_MODIFY, &data);
}

void CAppMain::LogNotice(WPARAM notice, const wchar_t* title, const wchar_t* text, const wchar_t* detail)
{
    wchar_t path[MAX_PATH];
    CNoticeLog::PathFromSettings(path, MAX_PATH);
    CDateTime now;
    now.SetNow();
    if ((notice != kNoticeMissed && notice != kNoticeSkipped) || !detail || !wcschr(detail, L'\n')) {
        CNoticeLog::Append(path, now, title, text);
        return;
    }
    // One line per missed occurrence, after the balloon's summary line.
    bool ja = UiIsJapanese();
    ForEachLine(wcschr(detail, L'\n') + 1, [&](const wchar_t* line, size_t length) {
        wchar_t one[MAX_PATH], said[MAX_PATH + 100];
        CopyLine(line, one, static_cast<int>(length < MAX_PATH ? length + 1 : MAX_PATH));
        CNoticeLog::Append(path, now, title, NoticeText(notice, one, ja, title, said, MAX_PATH + 100));
    });
}

void CAppMain::UpdateTrayTip()
{
    wchar_t tip[128];
    TrayTipText(tip, 128);
    if (wcscmp(tip, m_TrayTip) == 0)
        return;
    wchar_t unlevelled[128];
    TrayTipText(unlevelled, 128, false);
    ULONGLONG now = GetTickCount64();
    if (wcscmp(unlevelled, m_TrayTipUnlevelled) == 0 && now - m_TrayTipAt < kTipLevelMs)
        return;
    lstrcpynW(m_TrayTipUnlevelled, unlevelled, 128);
    m_TrayTipAt = now;
    lstrcpynW(m_TrayTip, tip, 128);
    // The hidden window carries the same text, where tools and tests can read it.
    SetWindowTextW(m_hWnd, tip);
    NOTIFYICONDATAW data = TrayData(m_hWnd);
    data.uFlags = NIF_TIP;
    lstrcpynW(data.szTip, tip, 128);
    NotifyIcon(NIM_MODIFY, &data);
}

void CAppMain::TrayTipText(wchar_t* tip, int count, bool withLevel)
{
    bool ja = UiIsJapanese();
    static const wchar_t* const kDaysEn[] = {L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat"};
    static const wchar_t* const kDaysJa[] = {L"日", L"月", L"火", L"水", L"木", L"金", L"土"};
    ProgramItem program;
    wchar_t state[128];
    if (!m_pProgramList || !m_pProgramList->GetAt(0, program)) {
        lstrcpynW(state, ja ? L"予約はありません" : L"No program scheduled", 128);
    } else {
        const wchar_t* name = CAppParameter::ShownTitle(program.m_Title.GetWide(), ja);
        const SYSTEMTIME& start = program.m_StartTime.m_Time;
        const SYSTEMTIME& stop = program.m_StopTime.m_Time;
        int day = start.wDayOfWeek % 7;
        wchar_t peak[32] = L"";
        if (withLevel)
            RecordingLevel::PeakText(peak, 32);
        if (program.m_State == Recording)
            FormatText(state, 128, ja ? L"録音中: %.60s (%02d:%02d まで)  %s" : L"Recording: %.60s until %02d:%02d  %s",
                       name, stop.wHour, stop.wMinute, peak);
        else if (ja)
            FormatText(state, 128, L"次: %.60s  %d/%d(%s) %02d:%02d", name, start.wMonth, start.wDay, kDaysJa[day],
                       start.wHour, start.wMinute);
        else
            FormatText(state, 128, L"Next: %.60s  %s %d/%d %02d:%02d", name, kDaysEn[day], start.wMonth, start.wDay,
                       start.wHour, start.wMinute);
    }
    // An unread notice stays on the second line until the list is opened.
    if (m_UnreadNotice[0])
        FormatText(tip, count, L"%s\n%s", state, m_UnreadNotice);
    else
        lstrcpynW(tip, state, count);
}

void CAppMain::PostToAudio(UINT message, WPARAM wParam, LPARAM lParam)
{
    // The open-retry loop of the audio thread watches m_Task: it must hold
    // the new request before the message can arrive. A stop time or a clock
    // change is no request.
    if (message == WM_CAPTURE_OPEN || message == WM_CAPTURE_START || message == WM_CAPTURE_CLOSE)
        m_AudioCtrl.m_Task = message;
    MemoryBarrier();
    if (!PostThreadMessageW(m_AudioCtrl.m_ThreadId, message, wParam, lParam)) {
        // The block of a message that was not posted is still ours.
        if (message == WM_CAPTURE_START)
            delete reinterpret_cast<RecordingParameters*>(lParam);
        else if (message == WM_CAPTURE_OPEN)
            delete[] reinterpret_cast<wchar_t*>(lParam);  // the program's source
    }
}
