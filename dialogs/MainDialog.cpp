#include "dialogs/MainDialog.h"
#include "afterwards/RecordingFolder.h"
#include "capture/LevelMeter.h"
#include "config/AppParameter.h"
#include "dialogs/ProgramInputDialog.h"
#include "foundation/Decimal.h"
#include "foundation/Format.h"
#include "notices/NoticeLog.h"
#include "programs/ProgramList.h"
#include "programs/ProgramSource.h"
#include "recorder/RecordingLevel.h"
#include "resources/resource.h"

#include <commctrl.h>

CMainDialog* g_pMainDialog = nullptr;

INT_PTR CALLBACK CMainDialog::ListDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return g_pMainDialog ? g_pMainDialog->DialogProc(hwnd, message, wParam, lParam) : 0;
}

namespace {

// Widths at 96 DPI: id, start, title, source.
const int kColumnWidths[] = {20, 100, 120, 150};
const int kColumns = 4;

}  // namespace

INT_PTR CMainDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TIMER && wParam == kLevelTimer) {
        ShowRecording(hwnd);
        return TRUE;
    }
    INT_PTR result = CDialog::DialogProc(hwnd, message, wParam, lParam);
    if (message == WM_DPICHANGED) {
        SizeColumns(GetDlgItem(hwnd, IDC_PROGRAM_LIST));
        SetSmallAppIcon(hwnd);
    }
    return result;
}

void CMainDialog::ShowRecording(HWND hwnd)
{
    // The recording's own buffers: its title, how long it has run, its level.
    ProgramItem head;
    bool recording = RecordingLevel::s_Recording && m_pList && m_pList->GetAt(0, head) && head.m_State == Recording;
    HWND status = GetDlgItem(hwnd, IDC_REC_STATUS), level = GetDlgItem(hwnd, IDC_REC_LEVEL);
    ShowWindow(status, recording ? SW_SHOW : SW_HIDE);
    ShowWindow(level, recording ? SW_SHOW : SW_HIDE);
    if (!recording)
        return;
    wchar_t time[32], peak[32], text[200], shown[200] = L"";
    RecordingLevel::TimeText(time, 32);
    RecordingLevel::PeakText(peak, 32);
    FormatText(text, 200, UiIsJapanese() ? L"録音中: %s  %s  %s" : L"Recording: %s  %s  %s",
               CAppParameter::ShownTitle(head.m_Title.GetWide(), UiIsJapanese()), time, peak);
    GetWindowTextW(status, shown, 200);
    if (wcscmp(shown, text) != 0)
        SetWindowTextW(status, text);
    SendMessageW(level, PBM_SETRANGE32, 0, CLevelMeter::kBarRange);
    SendMessageW(level, PBM_SETPOS, CLevelMeter::BarPosition(CLevelMeter::ToDb(RecordingLevel::s_Peak)), 0);
}

void CMainDialog::SizeColumns(HWND view)
{
    UINT dpi = GetDpiForWindow(view);
    for (int i = 0; i < kColumns; ++i)
        SendMessageW(view, LVM_SETCOLUMNWIDTH, i, MulDiv(kColumnWidths[i], dpi ? static_cast<int>(dpi) : 96, 96));
}

void CMainDialog::OnInitDialog(HWND hwnd)
{
    SetSmallAppIcon(hwnd);
    SetDlgItemTextW(hwnd, IDC_LATEST_NOTICE, CNoticeLog::Latest());
    bool ja = UiIsJapanese();
    HWND view = GetDlgItem(hwnd, IDC_PROGRAM_LIST);
    struct Column {
        const wchar_t* ja;
        const wchar_t* en;
    } columns[] = {{L"ID", L"ID"}, {L"開始日時", L"Start Time"}, {L"タイトル", L"Title"}, {L"録音元", L"Source"}};
    // The devices' names for the Source column, listed once.
    m_Choices.ListDevices();
    for (int i = 0; i < kColumns; ++i) {
        LVCOLUMNW column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = kColumnWidths[i];
        column.pszText = const_cast<wchar_t*>(ja ? columns[i].ja : columns[i].en);
        column.iSubItem = i;
        SendMessageW(view, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    SizeColumns(view);
    SetTimer(hwnd, kLevelTimer, 200, nullptr);
    ShowRecording(hwnd);
    DWORD style = static_cast<DWORD>(SendMessageW(view, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    SendMessageW(view, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, style | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    FillList(hwnd);
}

void CMainDialog::FillList(HWND hwnd)
{
    HWND view = GetDlgItem(hwnd, IDC_PROGRAM_LIST);
    SendMessageW(view, LVM_DELETEALLITEMS, 0, 0);
    if (!m_pList)
        return;
    ProgramItem copy;
    for (unsigned index = 0; m_pList->GetAt(index, copy); ++index) {
        wchar_t id[16], start[CDateTime::kTextSize];
        FormatText(id, 16, L"%d", copy.m_Id);
        copy.m_StartTime.Format(start);
        const wchar_t* title = copy.m_Title.GetWide();

        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(index);
        item.pszText = id;
        int row = static_cast<int>(SendMessageW(view, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        item.iItem = row;
        item.iSubItem = 1;
        item.pszText = start;
        SendMessageW(view, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
        item.iSubItem = 2;
        item.pszText = const_cast<wchar_t*>(title ? title : L"");
        SendMessageW(view, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
        // A source not understood says so here, on its own row.
        std::wstring source = m_Choices.Describe(copy.m_Source.GetWide());
        if (copy.m_Variant && ProgramSource::IsStation(copy.m_Source.GetWide()))
            source += L" (" + CProgramInputDialog::VariantText(copy.m_Variant) + L")";
        item.iSubItem = 3;
        item.pszText = const_cast<wchar_t*>(source.c_str());
        SendMessageW(view, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    }
    // Columns as wide as their texts and headers in the font and DPI at
    // hand (a header pads its text more than a row); the source takes at
    // least the rest of the view.
    RECT client = {};
    GetClientRect(view, &client);
    int used = 0;
    for (int column = 0; column < kColumns; ++column) {
        wchar_t header[64] = L"";
        LVCOLUMNW info = {};
        info.mask = LVCF_TEXT;
        info.pszText = header;
        info.cchTextMax = 64;
        SendMessageW(view, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&info));
        int headerWidth = static_cast<int>(SendMessageW(view, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(header))) + 24;
        SendMessageW(view, LVM_SETCOLUMNWIDTH, column, LVSCW_AUTOSIZE);
        int width = static_cast<int>(SendMessageW(view, LVM_GETCOLUMNWIDTH, column, 0));
        if (width < headerWidth)
            width = headerWidth;
        if (column == kColumns - 1 && width < client.right - used)
            width = client.right - used;
        SendMessageW(view, LVM_SETCOLUMNWIDTH, column, width);
        used += width;
    }
}

unsigned CMainDialog::GetSelectedId(HWND hwnd)
{
    HWND view = GetDlgItem(hwnd, IDC_PROGRAM_LIST);
    int row = static_cast<int>(SendMessageW(view, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (row < 0)
        return 0;
    wchar_t text[128] = L"";
    LVITEMW item = {};
    item.iSubItem = 0;
    item.pszText = text;
    item.cchTextMax = 127;
    if (SendMessageW(view, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)) <= 0)
        return 0;
    bool negative = false;
    unsigned long long value = 0;
    if (!ScanDecimal(text, negative, value) || negative || value > 0xFFFFFFFFULL)
        return 0;
    return static_cast<unsigned>(value);
}

bool CMainDialog::IsEditable(unsigned id)
{
    ProgramItem copy;
    return !m_pList->FindById(id, copy) || copy.m_State == Idle;
}

void CMainDialog::OnCommand(HWND hwnd, int id, int code)
{
    switch (id) {
    case IDC_PROGRAM_NEW:
        OnNew(hwnd);
        break;
    case IDC_PROGRAM_EDIT:
        OnEdit(hwnd);
        break;
    case IDC_PROGRAM_DELETE:
        OnDelete(hwnd);
        break;
    case IDC_OPEN_FOLDER:
        OpenRecordingFolder(hwnd);
        break;
    default:
        CDialog::OnCommand(hwnd, id, code);
        break;
    }
}

int CMainDialog::OnCancel(HWND)
{
    g_pMainDialog = nullptr;
    return 1;
}

void CMainDialog::OnNotify(HWND hwnd, WPARAM idFrom, NMHDR* header)
{
    if (idFrom == IDC_PROGRAM_LIST && header && header->code == static_cast<UINT>(NM_DBLCLK))
        OnEdit(hwnd);
}

void CMainDialog::SaveConfig(HWND hwnd)
{
    SaveConfigOrTell(hwnd);
}

void CMainDialog::Refuse(HWND hwnd, bool edit)
{
    bool ja = UiIsJapanese();
    const wchar_t* text = edit ? (ja ? L"実行中の予約は編集できません。" : L"Can't edit a running program.")
                               : (ja ? L"実行中の予約は削除できません。" : L"Can't delete a running program.");
    const wchar_t* caption = edit ? (ja ? L"予約の編集" : L"Edit Program") : (ja ? L"予約の削除" : L"Delete Program");
    MessageBoxW(hwnd, text, caption, MB_ICONHAND | MB_OK);
}

void CMainDialog::OnDelete(HWND hwnd)
{
    unsigned id = GetSelectedId(hwnd);
    if (id) {
        // Checked and removed under the list's lock, so the scheduler cannot
        // take the program up in between.
        m_pList->Lock();
        bool editable = IsEditable(id);
        if (editable)
            m_pList->Remove(id);
        m_pList->Unlock();
        if (!editable) {
            Refuse(hwnd, false);
            return;
        }
        SaveConfig(hwnd);
    }
    FillList(hwnd);
}

void CMainDialog::OnNew(HWND hwnd)
{
    CProgramInputDialog input;
    input.m_Id = 0;
    input.m_StartTime.SetNow();
    input.m_StopTime.SetNow();
    input.m_Weekly = 0;
    input.m_bNew = 1;
    input.m_pDevices = &m_Choices;
    if (!input.RunToInsert(hwnd, m_pList))
        return;
    SaveConfig(hwnd);
    FillList(hwnd);
}

void CMainDialog::OnEdit(HWND hwnd)
{
    unsigned id = GetSelectedId(hwnd);
    if (!id) {
        FillList(hwnd);
        return;
    }
    if (!IsEditable(id)) {
        Refuse(hwnd, true);
        return;
    }
    ProgramItem copy;
    if (!m_pList->FindById(id, copy))
        return;
    CProgramInputDialog input;
    input.m_Id = id;
    input.m_Title.Copy(copy.m_Title);
    input.m_Source.Copy(copy.m_Source);
    input.m_Variant = copy.m_Variant;
    input.m_Weekly = copy.m_Weekly;
    const SYSTEMTIME& a = copy.m_StartTime.m_Time;
    const SYSTEMTIME& b = copy.m_StopTime.m_Time;
    input.m_StartTime.Set(a.wYear, a.wMonth, a.wDay, a.wHour, a.wMinute, a.wSecond);
    input.m_StopTime.Set(b.wYear, b.wMonth, b.wDay, b.wHour, b.wMinute, b.wSecond);
    input.m_bNew = 0;
    input.m_pDevices = &m_Choices;
    if (!input.Run(hwnd, m_pList))
        return;
    ProgramItem* item = input.CreateItem();
    if (!item)
        return;
    // The scheduler may have taken the program up while the dialog was open:
    // then the edit is dropped.
    m_pList->Lock();
    bool editable = IsEditable(id);
    if (editable) {
        m_pList->Remove(id);
        m_pList->Insert(item);
    }
    m_pList->Unlock();
    if (!editable) {
        delete item;
        Refuse(hwnd, true);
        return;
    }
    SaveConfig(hwnd);
    FillList(hwnd);
}
