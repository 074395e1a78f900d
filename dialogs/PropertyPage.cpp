#include "dialogs/PropertyPage.h"

#include <commctrl.h>

INT_PTR CPropertyPage::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == static_cast<UINT>(PSN_APPLY)) {
        bool applied = OnApply(hwnd);
        SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, applied ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE);
        return 1;
    }
    return CDialog::DialogProc(hwnd, message, wParam, lParam);
}
