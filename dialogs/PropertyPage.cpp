#include "dialogs/PropertyPage.h"

#include <commctrl.h>

INT_PTR CPropertyPage::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == static_cast<UINT>(PSN_APPLY)) {
        OnApply(hwnd);
        return 1;
    }
    return CDialog::DialogProc(hwnd, message, wParam, lParam);
}
