#include "dialogs/InquiryDialog.h"
#include "dialogs/Dialog.h"
#include "foundation/Trace.h"
#include "resources/resource.h"
#include "scheduler/Scheduler.h"

HWND CInquiryDialog::OpenInquiry(CScheduler* scheduler, HINSTANCE instance, bool japanese)
{
    HWND dialog = CreateDialogParamW(instance, MAKEINTRESOURCEW(japanese ? IDD_INQUIRY_JA : IDD_INQUIRY_EN), nullptr,
                                     DialogProc, reinterpret_cast<LPARAM>(scheduler));
    if (!dialog)
        return nullptr;
    // Nobody asked for it, so the foreground rules may keep it behind other
    // windows: topmost, and where the foreground is refused it flashes.
    SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    if (!SetForegroundWindow(dialog)) {
        FLASHWINFO flash = {sizeof flash, dialog, FLASHW_ALL | FLASHW_TIMERNOFG, 0, 0};
        FlashWindowEx(&flash);
    }
    return dialog;
}

INT_PTR CALLBACK CInquiryDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
        SetSmallAppIcon(hwnd);
        return FALSE;
    }
    CScheduler* scheduler = reinterpret_cast<CScheduler*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    bool close = false;
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        close = true;
    } else if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        if (scheduler)
            scheduler->m_InquiryCountdown = 0;
        Trace(L"Cancel shutdown !!\n");
        close = true;
    } else if (message == WM_CLOSE) {
        Trace(L"Close inquiry dialog !!\n");
        close = true;
    }
    if (!close)
        return FALSE;
    DestroyWindow(hwnd);
    if (scheduler)
        scheduler->m_hInquiryDlg = nullptr;
    return TRUE;
}
