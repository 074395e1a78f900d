#include "scheduler/InquiryDialog.h"
#include "app/AppMain.h"
#include "foundation/Trace.h"
#include "dialogs/Dialog.h"

INT_PTR CALLBACK InquiryDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM)
{
    CAppMain* app = g_pApp;
    switch (message) {
    case WM_INITDIALOG:
        SetSmallAppIcon(hwnd);
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            DestroyWindow(hwnd);
            if (app)
                app->m_hInquiryDlg = nullptr;
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            if (app)
                app->m_InquiryCountdown = 0;
            Trace(L"Cancel shutdown !!\n");
            DestroyWindow(hwnd);
            if (app)
                app->m_hInquiryDlg = nullptr;
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        Trace(L"Close inquiry dialog !!\n");
        DestroyWindow(hwnd);
        if (app)
            app->m_hInquiryDlg = nullptr;
        return TRUE;
    default:
        return FALSE;
    }
}
