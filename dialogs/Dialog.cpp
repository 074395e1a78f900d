#include "dialogs/Dialog.h"
#include "config/AppParameter.h"
#include "foundation/Format.h"
#include "resources/resource.h"

#include <shellapi.h>

CDialog* g_pDialog = nullptr;

INT_PTR CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        m_hWnd = hwnd;
        OnInitDialog(hwnd);
        return 1;
    case WM_COMMAND:
        OnCommand(hwnd, LOWORD(wParam), HIWORD(wParam));
        return 1;
    case WM_NOTIFY:
        OnNotify(hwnd, wParam, reinterpret_cast<NMHDR*>(lParam));
        return 1;
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wParam), nullptr, 0);
        return 1;
    default:
        return 0;
    }
}

void CDialog::OnCommand(HWND hwnd, int id, int)
{
    if (id == IDOK) {
        if (OnOK(hwnd))
            EndDialog(hwnd, 1);
    } else if (id == IDCANCEL) {
        if (OnCancel(hwnd))
            EndDialog(hwnd, 0);
    }
}

int CDialog::OnDropFiles(HDROP drop, wchar_t* buffer, int size)
{
    if (!buffer || size <= 0)
        return 0;
    DragQueryFileW(drop, 0, buffer, static_cast<UINT>(size));
    DragFinish(drop);
    return 1;
}

INT_PTR CALLBACK CDialog::StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return g_pDialog ? g_pDialog->DialogProc(hwnd, message, wParam, lParam) : 0;
}

HINSTANCE OwnerInstance(HWND owner)
{
    HINSTANCE instance = owner ? reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE)) : nullptr;
    return instance ? instance : GetModuleHandleW(nullptr);
}

void SetSmallAppIcon(HWND hwnd)
{
    // The small-icon size of the window's DPI, drawn at that size rather
    // than scaled; shared: the system keeps one copy a size.
    UINT dpi = GetDpiForWindow(hwnd);
    int size = GetSystemMetricsForDpi(SM_CXSMICON, dpi ? dpi : 96);
    HANDLE icon = LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP_IDLE), IMAGE_ICON, size, size, LR_SHARED);
    SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

bool SaveConfigOrTell(HWND owner)
{
    if (!g_pConfig || g_pConfig->Save())
        return true;
    CString path;
    g_pConfig->GetIniFile(path);
    bool ja = UiIsJapanese();
    wchar_t text[MAX_PATH + 200];
    FormatText(text, MAX_PATH + 200,
               ja ? L"設定を %s に保存できませんでした。\n変更はこのプログラムを終了するまで有効です。"
                  : L"The settings could not be saved to %s.\nThe changes stay in effect until the program ends.",
               path.GetWide() ? path.GetWide() : L"");
    MessageBoxW(owner, text, g_pConfig->GetDescription(ja ? 1 : 0), MB_ICONHAND | MB_OK);
    return false;
}

void BringDialogToFront(HWND dialog)
{
    if (!dialog || !IsWindow(dialog))
        return;
    HWND top = GetLastActivePopup(dialog);
    SetForegroundWindow(top ? top : dialog);
}
