#include "dialogs/ProgramInputDialog.h"
#include "resources/resource.h"
#include "foundation/Format.h"
#include "scheduler/ProgramItem.h"
#include "scheduler/ProgramList.h"
#include "scheduler/ProgramOverlap.h"

#include <commctrl.h>
#include <new>

CProgramInputDialog* g_pInputDialog = nullptr;

namespace {

void SetPicker(HWND hwnd, int id, const CDateTime& time)
{
    SYSTEMTIME st = time.m_Time;
    st.wSecond = 0;
    st.wMilliseconds = 0;
    SendDlgItemMessageW(hwnd, id, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
}

SYSTEMTIME GetPicker(HWND hwnd, int id)
{
    SYSTEMTIME st = {};
    SendDlgItemMessageW(hwnd, id, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st));
    return st;
}

// The date of one picker and the hour and minute of the other, seconds 0.
void ReadTime(HWND hwnd, int dateId, int timeId, CDateTime& time)
{
    SYSTEMTIME date = GetPicker(hwnd, dateId);
    SYSTEMTIME clock = GetPicker(hwnd, timeId);
    time.Set(date.wYear, date.wMonth, date.wDay, clock.wHour, clock.wMinute, 0);
}

}  // namespace

INT_PTR CALLBACK CProgramInputDialog::InputDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return g_pInputDialog ? g_pInputDialog->DialogProc(hwnd, message, wParam, lParam) : 0;
}

void CProgramInputDialog::OnInitDialog(HWND hwnd)
{
    SetSmallAppIcon(hwnd);
    // The long date format ("Friday, December 12, 2025") does not fit the
    // picker: a short one that still names the weekday.
    const wchar_t* format = UiIsJapanese() ? L"yyyy/MM/dd (ddd)" : L"ddd yyyy/MM/dd";
    SendDlgItemMessageW(hwnd, IDC_START_DATE, DTM_SETFORMATW, 0, reinterpret_cast<LPARAM>(format));
    SendDlgItemMessageW(hwnd, IDC_STOP_DATE, DTM_SETFORMATW, 0, reinterpret_cast<LPARAM>(format));
    m_Length = m_StopTime.Diff(m_StartTime) / (60 * CDateTime::kSecond) * (60 * CDateTime::kSecond);
    SetPicker(hwnd, IDC_START_DATE, m_StartTime);
    SetPicker(hwnd, IDC_START_TIME, m_StartTime);
    SetPicker(hwnd, IDC_STOP_DATE, m_StopTime);
    SetPicker(hwnd, IDC_STOP_TIME, m_StopTime);
    for (int i = 0; i < 7; ++i)
        CheckDlgButton(hwnd, IDC_DAY_SUNDAY + i, (m_Weekly >> i) & 1 ? BST_CHECKED : BST_UNCHECKED);
    if (!m_Title.IsEmpty())
        SetDlgItemTextW(hwnd, IDC_TITLE, m_Title.GetWide());
}

void CProgramInputDialog::OnCommand(HWND hwnd, int id, int code)
{
    if (id == IDOK || id == IDCANCEL) {
        CDialog::OnCommand(hwnd, id, code);
    } else if (id >= IDC_DAY_SUNDAY && id < IDC_DAY_SUNDAY + 7) {
        bool checked = IsDlgButtonChecked(hwnd, id) == BST_CHECKED;
        CheckDlgButton(hwnd, id, checked ? BST_UNCHECKED : BST_CHECKED);
    }
}

// Date-time pickers tell of a change by DTN_DATETIMECHANGE only, never by
// a command.
void CProgramInputDialog::OnNotify(HWND hwnd, WPARAM idFrom, NMHDR* header)
{
    if (!header || header->code != static_cast<UINT>(DTN_DATETIMECHANGE) || m_bMovingStop)
        return;
    if (idFrom == IDC_START_DATE || idFrom == IDC_START_TIME) {
        if (m_bNew)
            FollowStart(hwnd);
    } else if (idFrom == IDC_STOP_DATE || idFrom == IDC_STOP_TIME) {
        m_bNew = 0;
    }
}

void CProgramInputDialog::FollowStart(HWND hwnd)
{
    CDateTime stop;
    ReadTime(hwnd, IDC_START_DATE, IDC_START_TIME, stop);
    stop.AddTicks(m_Length);
    m_bMovingStop = true;
    SetPicker(hwnd, IDC_STOP_DATE, stop);
    SetPicker(hwnd, IDC_STOP_TIME, stop);
    m_bMovingStop = false;
}

bool CProgramInputDialog::Check(HWND hwnd)
{
    bool ja = UiIsJapanese();
    const wchar_t* caption = ja ? L"予約入力" : L"Input Recording Program";
    const wchar_t* refusal = nullptr;
    if (m_Title.IsBlank())
        refusal = ja ? L"タイトルを入力してください。" : L"Enter a title.";
    else if (m_StopTime.Diff(m_StartTime) <= 0)
        refusal = ja ? L"終了時刻は開始時刻より後にしてください。" : L"The stop time must be later than the start time.";
    if (refusal) {
        MessageBoxW(hwnd, refusal, caption, MB_ICONHAND | MB_OK);
        return false;
    }
    const wchar_t* ask = ja ? L"\n\nこのまま保存しますか?" : L"\n\nSave it anyway?";
    CDateTime now;
    now.SetNow();
    if (!(m_Weekly & 0x7F) && m_StopTime.Diff(now) <= 0) {
        wchar_t text[256];
        FormatText(text, 256, L"%s%s",
                   ja ? L"終了時刻はもう過ぎています。この予約は録音されずに削除されます。"
                      : L"The stop time has already passed: the program will be deleted without being recorded.",
                   ask);
        if (MessageBoxW(hwnd, text, caption, MB_ICONEXCLAMATION | MB_YESNO | MB_DEFBUTTON2) != IDYES)
            return false;
    }
    ProgramItem* item = m_pList ? CreateItem() : nullptr;
    ProgramItem other;
    if (item && m_pList->FindOverlap(*item, other)) {
        wchar_t start[CDateTime::kTextSize], text[1024];
        other.m_StartTime.Format(start);
        const wchar_t* title = other.m_Title.GetWide();
        bool inside = ProgramInside(*item, other) || ProgramInside(other, *item);
        FormatText(text, 1024,
                   ja ? L"この予約は「%s」(%s 開始) と時間が重なっています。\n"
                        L"重なった予約は、前の予約が終わるまで待ってから録音されます。%s%s"
                      : L"This program overlaps \"%s\" (starting %s).\n"
                        L"An overlapping program waits for the one before it to end.%s%s",
                   title ? title : L"", start,
                   !inside ? L""
                   : ja    ? L"\nほかの予約にすっぽり含まれる予約は、録音されません。"
                           : L"\nA program wholly inside another is never recorded.",
                   ask);
        delete item;
        return MessageBoxW(hwnd, text, caption, MB_ICONEXCLAMATION | MB_YESNO | MB_DEFBUTTON2) == IDYES;
    }
    delete item;
    return true;
}

int CProgramInputDialog::OnOK(HWND hwnd)
{
    ReadTime(hwnd, IDC_START_DATE, IDC_START_TIME, m_StartTime);
    ReadTime(hwnd, IDC_STOP_DATE, IDC_STOP_TIME, m_StopTime);
    m_Weekly = 0;
    for (int i = 0; i < 7; ++i)
        if (IsDlgButtonChecked(hwnd, IDC_DAY_SUNDAY + i) == BST_CHECKED)
            m_Weekly |= 1u << i;
    wchar_t title[kMaxTitle + 1] = L"";
    GetDlgItemTextW(hwnd, IDC_TITLE, title, kMaxTitle + 1);
    m_Title.Assign(title);
    return Check(hwnd) ? 1 : 0;
}

ProgramItem* CProgramInputDialog::CreateItem()
{
    ProgramItem* item = new (std::nothrow) ProgramItem();
    if (!item)
        return nullptr;
    item->m_Id = m_Id;
    item->m_State = Idle;
    const SYSTEMTIME& a = m_StartTime.m_Time;
    const SYSTEMTIME& b = m_StopTime.m_Time;
    item->m_StartTime.Set(a.wYear, a.wMonth, a.wDay, a.wHour, a.wMinute, a.wSecond);
    item->m_StopTime.Set(b.wYear, b.wMonth, b.wDay, b.wHour, b.wMinute, b.wSecond);
    item->m_Weekly = m_Weekly;
    item->m_Title.Copy(m_Title);
    return item;
}
