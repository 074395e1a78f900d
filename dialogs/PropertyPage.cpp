#include "dialogs/PropertyPage.h"

#include <commctrl.h>
#include <initializer_list>

namespace {

const UINT kFitSheet = WM_APP + 1;

void Grow(HWND window, int dx, int dy)
{
    RECT r;
    GetWindowRect(window, &r);
    SetWindowPos(window, nullptr, 0, 0, r.right - r.left + dx, r.bottom - r.top + dy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Move(HWND window, int dx, int dy)
{
    RECT r;
    GetWindowRect(window, &r);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&r), 2);
    SetWindowPos(window, nullptr, r.left + dx, r.top + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

void CPropertyPage::FitSheetToPage(HWND page)
{
    HWND sheet = GetParent(page);
    RECT needed = {0, 0, kWidthDlu, kHeightDlu}, shown;
    MapDialogRect(page, &needed);
    GetClientRect(page, &shown);
    int dx = needed.right - shown.right, dy = needed.bottom - shown.bottom;
    if (!sheet || (dx <= 0 && dy <= 0))
        return;
    dx = dx > 0 ? dx : 0;
    dy = dy > 0 ? dy : 0;
    Grow(sheet, dx, dy);
    Grow(PropSheet_GetTabControl(sheet), dx, dy);
    for (int i = 0; HWND each = PropSheet_IndexToHwnd(sheet, i); ++i)
        Grow(each, dx, dy);
    for (int id : {IDOK, IDCANCEL, IDHELP, 0x3021 /* Apply */})
        if (HWND button = GetDlgItem(sheet, id))
            Move(button, dx, dy);
}

INT_PTR CPropertyPage::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Measured once the sheet has placed the page, then grown to fit it.
    if (message == WM_INITDIALOG)
        PostMessageW(hwnd, kFitSheet, 0, 0);
    if (message == kFitSheet) {
        FitSheetToPage(hwnd);
        return 1;
    }
    if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == static_cast<UINT>(PSN_APPLY)) {
        bool applied = OnApply(hwnd);
        SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, applied ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE);
        return 1;
    }
    return CDialog::DialogProc(hwnd, message, wParam, lParam);
}
