#include "dialogs/ProgramInputDialog.h"
#include "resources/resource.h"
#include "scheduler/ProgramItem.h"

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
    } else if (id == IDC_START_TIME) {
        if (m_bNew) {
            SYSTEMTIME date = GetPicker(hwnd, IDC_START_DATE);
            SYSTEMTIME clock = GetPicker(hwnd, IDC_START_TIME);
            SendDlgItemMessageW(hwnd, IDC_STOP_DATE, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&date));
            SendDlgItemMessageW(hwnd, IDC_STOP_TIME, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&clock));
            m_bNew = 0;
        }
    } else if (id >= IDC_DAY_SUNDAY && id < IDC_DAY_SUNDAY + 7) {
        bool checked = IsDlgButtonChecked(hwnd, id) == BST_CHECKED;
        CheckDlgButton(hwnd, id, checked ? BST_UNCHECKED : BST_CHECKED);
    }
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
    return 1;
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
