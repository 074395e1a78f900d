#include "app/AppBase.h"
#include "config/AppParameter.h"
#include "dialogs/AboutDialog.h"
#include "resources/resource.h"

#include <shellapi.h>

CAppBase::CAppBase()
    : m_nMode(1), m_hInstance(nullptr), m_hWnd(nullptr), m_hMDIClient(nullptr), m_HelpCookie(0),
      m_pToolBar(nullptr), m_pStatusBar(nullptr), m_bMultiInstance(0)
{
}

int CAppBase::Run(HINSTANCE hInstance)
{
    m_hInstance = hInstance;
    if (!Create(hInstance))
        return 0;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

LRESULT CAppBase::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate(hwnd);
        return 0;
    case WM_CLOSE:
        OnClose(hwnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

void CAppBase::OnCreate(HWND hwnd)
{
    m_hWnd = hwnd;
}

void CAppBase::OnClose(HWND hwnd)
{
    if (ExitInstance())
        DestroyWindow(hwnd);
}

void CAppBase::OnExitCommand()
{
    if (m_hWnd)
        SendMessageW(m_hWnd, WM_CLOSE, 0, 0);
}

void CAppBase::OnHelp()
{
    const wchar_t* url = g_pConfig ? g_pConfig->GetHelpUrl(g_pConfig->m_UiLanguage == 1 ? 1 : 0) : L"";
    ShellExecuteW(nullptr, L"open", url, nullptr, L"", SW_SHOW);
}

void CAppBase::OnAbout()
{
    if (g_pDialog) {
        BringDialogToFront(g_pDialog->m_hWnd);
        return;
    }
    CAboutDialog about;
    g_pDialog = &about;
    DialogBoxParamW(OwnerInstance(m_hWnd), MAKEINTRESOURCEW(TemplateId(IDD_ABOUT_JA)), m_hWnd, CDialog::StaticProc, 0);
    g_pDialog = nullptr;
}

int CAppBase::Create(HINSTANCE hInstance)
{
    m_hInstance = hInstance;
    return 0;
}

int CAppBase::ActivatePrevInstance()
{
    return 0;
}
