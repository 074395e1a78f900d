#include "dialogs/SettingMiscPage.h"
#include "afterwards/CommandLine.h"
#include "config/AppParameter.h"
#include "config/AutoStart.h"
#include "foundation/Decimal.h"
#include "foundation/Folder.h"
#include "foundation/Format.h"
#include "resources/resource.h"
#include "scheduler/BatteryStandby.h"
#include "scheduler/SleepState.h"
#include "scheduler/WakeSupport.h"

#include <initializer_list>
#include <shlobj.h>

CSettingMiscPage* g_pMiscPage = nullptr;

namespace {
constexpr int kTextLimit = 520;  // 519 characters and the terminator
constexpr int kCommandLimit = 2048;
constexpr int kMaxKeepDays = 36500;
}

INT_PTR CALLBACK CSettingMiscPage::MiscPageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return g_pMiscPage ? g_pMiscPage->DialogProc(hwnd, message, wParam, lParam) : 0;
}

void CSettingMiscPage::OnInitDialog(HWND hwnd)
{
    HWND combo = GetDlgItem(hwnd, IDC_LANGUAGE);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(m_UiLanguage ? L"英語" : L"English"));
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(m_UiLanguage ? L"日本語" : L"Japanese"));
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(m_Language), 0);
    if (!g_pConfig)
        return;

    // The folder recordings go to, the Music folder when none is set.
    CString folder;
    g_pConfig->GetWavFolder(folder);
    SetDlgItemTextW(hwnd, IDC_WAV_FOLDER, folder.GetWide() ? folder.GetWide() : L"");
    CheckDlgButton(hwnd, IDC_SHUTDOWN, g_pConfig->m_Shutdown ? BST_CHECKED : BST_UNCHECKED);
    wchar_t size[16];
    FormatText(size, 16, L"%d", g_pConfig->m_WavMaxSize);
    SetDlgItemTextW(hwnd, IDC_WAV_MAX_SIZE, size);
    PowerFacts facts = CWakeSupport::s_Facts();
    ListSleepStates(hwnd, facts);
    ShowWakeWarning(hwnd);
    wchar_t battery[200];
    CBatteryStandby::Note(facts, UiIsJapanese(), battery, 200);
    SetDlgItemTextW(hwnd, IDC_BATTERY_NOTE, battery);
    ShowWindow(GetDlgItem(hwnd, IDC_BATTERY_NOTE), battery[0] ? SW_SHOW : SW_HIDE);
    FormatText(size, 16, L"%d", g_pConfig->m_KeepDays > 0 ? g_pConfig->m_KeepDays : 0);
    SetDlgItemTextW(hwnd, IDC_KEEP_DAYS, size);
    CString command;
    g_pConfig->GetSetting(g_pConfig->m_AfterCommand, command);
    SendDlgItemMessageW(hwnd, IDC_AFTER_COMMAND, EM_LIMITTEXT, kCommandLimit - 1, 0);
    SetDlgItemTextW(hwnd, IDC_AFTER_COMMAND, command.GetWide() ? command.GetWide() : L"");
    bool autoStart = CAutoStart::IsOn();
    CheckDlgButton(hwnd, IDC_AUTOSTART, autoStart ? BST_CHECKED : BST_UNCHECKED);
    // Task Manager's Startup tab can switch it off without removing it.
    HWND note = GetDlgItem(hwnd, IDC_AUTOSTART_NOTE);
    bool disabled = autoStart && CAutoStart::DisabledByTaskManager();
    SetWindowTextW(note, !disabled ? L""
                   : UiIsJapanese() ? L"タスク マネージャーの [スタートアップ] で無効にされています。そこで有効にしてください。"
                                  : L"Disabled in Task Manager's Startup tab: enable it there to start with Windows.");
    ShowWindow(note, disabled ? SW_SHOW : SW_HIDE);
}

void CSettingMiscPage::ListSleepStates(HWND hwnd, const PowerFacts& facts)
{
    bool ja = UiIsJapanese();
    bool requested = CSleepState::Hibernates(facts, g_pConfig->m_SleepState == CAppParameter::kSleep);
    HWND combo = GetDlgItem(hwnd, IDC_SLEEP_STATE);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (bool hibernate : {true, false}) {
        if (hibernate != requested && !CSleepState::Supports(facts, hibernate))
            continue;
        LRESULT i = SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(CSleepState::Name(hibernate, ja)));
        SendMessageW(combo, CB_SETITEMDATA, i, hibernate);
        if (hibernate == requested)
            SendMessageW(combo, CB_SETCURSEL, i, 0);
    }
    // One state alone is what will happen, not a choice.
    EnableWindow(combo, SendMessageW(combo, CB_GETCOUNT, 0, 0) > 1);
}

bool CSettingMiscPage::ChosenHibernate(HWND hwnd)
{
    LRESULT i = SendDlgItemMessageW(hwnd, IDC_SLEEP_STATE, CB_GETCURSEL, 0, 0);
    return i < 0 || SendDlgItemMessageW(hwnd, IDC_SLEEP_STATE, CB_GETITEMDATA, i, 0) != 0;
}

void CSettingMiscPage::ShowWakeWarning(HWND hwnd)
{
    // Read afresh whenever the page opens or the box changes: the power
    // plan may have changed since. A warning while it matters (sleep after
    // recording on and the PC would not wake), else what Modern Standby
    // means for waking.
    HWND warning = GetDlgItem(hwnd, IDC_WAKE_WARNING);
    PowerFacts facts = CWakeSupport::s_Facts();
    CWakeSupport::Verdict verdict =
        IsDlgButtonChecked(hwnd, IDC_SHUTDOWN) == BST_CHECKED ? CWakeSupport::Judge(facts, ChosenHibernate(hwnd))
                                                              : CWakeSupport::kCanWake;
    bool ja = UiIsJapanese();
    const wchar_t* advice = CWakeSupport::Advice(verdict, ja);
    wchar_t text[400];
    FormatText(text, 400, ja ? L"次の予約のために復帰できない可能性があります。%s"
                                       : L"This PC may not wake for the next program. %s",
               advice);
    const wchar_t* shown = *advice ? text : CWakeSupport::StandbyNote(facts, ja);
    SetWindowTextW(warning, shown);
    ShowWindow(warning, *shown ? SW_SHOW : SW_HIDE);
}

void CSettingMiscPage::OnCommand(HWND hwnd, int id, int code)
{
    if (id == IDC_BROWSE) {
        BROWSEINFOW info = {};
        info.hwndOwner = hwnd;
        info.lpszTitle = L"wav";
        info.ulFlags = BIF_RETURNONLYFSDIRS;
        PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
        if (chosen) {
            wchar_t path[MAX_PATH] = L"";
            BOOL ok = SHGetPathFromIDListW(chosen, path);
            CoTaskMemFree(chosen);
            if (ok)
                SetDlgItemTextW(hwnd, IDC_WAV_FOLDER, path);
        }
    } else if (id == IDC_SHUTDOWN) {
        bool checked = IsDlgButtonChecked(hwnd, IDC_SHUTDOWN) == BST_CHECKED;
        CheckDlgButton(hwnd, IDC_SHUTDOWN, checked ? BST_UNCHECKED : BST_CHECKED);
        ShowWakeWarning(hwnd);
    } else if (id == IDC_SLEEP_STATE && code == CBN_SELCHANGE) {
        ShowWakeWarning(hwnd);
    } else {
        CPropertyPage::OnCommand(hwnd, id, code);
    }
}

int CSettingMiscPage::ParseSize(const wchar_t* text, int& value)
{
    bool negative = false;
    unsigned long long number = 0;
    if (!ScanDecimal(text, negative, number))
        return 0;
    if (number > 0x7FFFFFFF)
        number = 0x7FFFFFFF;  // the recorder clamps huge sizes anyway
    value = negative ? -static_cast<int>(number) : static_cast<int>(number);
    return 1;
}

bool CSettingMiscPage::OnApply(HWND hwnd)
{
    if (!g_pConfig)
        return true;
    // A folder that cannot be made would lose every recording: the page
    // stays open for the user to choose another.
    wchar_t text[kTextLimit] = L"";
    GetDlgItemTextW(hwnd, IDC_WAV_FOLDER, text, kTextLimit);
    if (text[0] && !MakeFolder(text)) {
        bool ja = m_UiLanguage == 1;
        wchar_t message[kTextLimit + 100];
        FormatText(message, kTextLimit + 100,
                   ja ? L"WAV ファイルの保存先 %s がなく、作成もできません。" : L"The WAV folder %s does not exist and cannot be created.",
                   text);
        MessageBoxW(hwnd, message, ja ? L"設定" : L"Setting", MB_ICONHAND | MB_OK);
        return false;
    }
    // A program path with spaces but no quotes could start another
    // program: the page stays open for the user to add them.
    wchar_t command[kCommandLimit] = L"";
    GetDlgItemTextW(hwnd, IDC_AFTER_COMMAND, command, kCommandLimit);
    if (const wchar_t* refusal = CCommandLine::Refusal(command, m_UiLanguage == 1)) {
        MessageBoxW(hwnd, refusal, m_UiLanguage == 1 ? L"設定" : L"Setting", MB_ICONHAND | MB_OK);
        SendDlgItemMessageW(hwnd, IDC_AFTER_COMMAND, EM_SETSEL, 0, -1);
        SetFocus(GetDlgItem(hwnd, IDC_AFTER_COMMAND));
        return false;
    }
    m_Language = static_cast<int>(SendDlgItemMessageW(hwnd, IDC_LANGUAGE, CB_GETCURSEL, 0, 0));
    if (m_Language < 0)
        m_Language = -1;
    g_pConfig->m_Language = m_Language;
    g_pConfig->SetSetting(g_pConfig->m_WavFileDir, text);
    g_pConfig->m_Shutdown = IsDlgButtonChecked(hwnd, IDC_SHUTDOWN) == BST_CHECKED ? 1 : 0;
    // Stored only when there was a choice: a PC without the other state
    // keeps the user's setting for when it has it again.
    if (SendDlgItemMessageW(hwnd, IDC_SLEEP_STATE, CB_GETCOUNT, 0, 0) > 1)
        g_pConfig->m_SleepState = ChosenHibernate(hwnd) ? CAppParameter::kHibernate : CAppParameter::kSleep;
    // Kept in the registry, where Windows looks for it, not in the file.
    bool autoStart = IsDlgButtonChecked(hwnd, IDC_AUTOSTART) == BST_CHECKED;
    if (autoStart != CAutoStart::IsOn()) {
        wchar_t exe[MAX_PATH];
        GetModuleFileNameW(nullptr, exe, MAX_PATH);
        CAutoStart::Set(autoStart, exe);
    }

    text[0] = L'\0';
    GetDlgItemTextW(hwnd, IDC_WAV_MAX_SIZE, text, kTextLimit);
    int size;
    if (ParseSize(text, size))
        g_pConfig->m_WavMaxSize = size;
    // Days to keep: digits only (the field takes nothing else); empty is 0.
    text[0] = L'\0';
    GetDlgItemTextW(hwnd, IDC_KEEP_DAYS, text, kTextLimit);
    int days;
    if (ParseSize(text, days) && days >= 0)
        g_pConfig->m_KeepDays = days < kMaxKeepDays ? days : kMaxKeepDays;
    g_pConfig->SetSetting(g_pConfig->m_AfterCommand, command);
    // The last page to apply saves both, so a failure is told once.
    SaveConfigOrTell(hwnd);
    return true;
}
