#include "app/AppMain.h"
#include "config/AppParameter.h"
#include "resources/resource.h"

#include <commctrl.h>

CAppMain* g_pApp = nullptr;

const wchar_t CAppMain::kWindowClass[] = L"MARIVANE MAIN WINDOW";

CAppMain::CAppMain(HINSTANCE hInstance)
{
    m_hInstance = hInstance;
    m_bMultiInstance = 1;
}

CAppMain::~CAppMain() {}

LRESULT CALLBACK CAppMain::Trampoline(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (g_pApp)
        return g_pApp->WindowProc(hwnd, message, wParam, lParam);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

int CAppMain::ActivatePrevInstance()
{
    HWND other = FindWindowW(kWindowClass, nullptr);
    if (!other)
        return 0;
    if (IsIconic(other))
        ShowWindow(other, SW_SHOW);
    else
        BringWindowToTop(other);
    return 1;
}

int CAppMain::Create(HINSTANCE hInstance)
{
    m_hInstance = hInstance;
    InitCommonControls();

    int choice = g_pConfig ? g_pConfig->m_Language : -1;
    if (g_pConfig)
        g_pConfig->m_UiLanguage = (choice == 0 || choice == 1) ? choice : 0;
    bool japanese = choice == 1 || (choice != 0 && GetUserDefaultLangID() == 0x411);

    if (ActivatePrevInstance())
        return 0;

    WNDCLASSW wc = {};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = Trampoline;
    wc.hInstance = hInstance;
    wc.hIcon = LoadIconW(hInstance, MAKEINTRESOURCEW(IDI_APP_IDLE));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszMenuName = MAKEINTRESOURCEW(japanese ? IDM_TRAY_JA : IDM_TRAY_EN);
    wc.lpszClassName = kWindowClass;
    if (!RegisterClassW(&wc))
        return 0;

    const wchar_t* title = japanese ? L"予約録音アプリ" : L"Scheduled Recording Application";
    m_hWnd = CreateWindowExW(0, kWindowClass, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, hInstance, nullptr);
    if (!m_hWnd)
        return 0;
    return 1;
}

LRESULT CAppMain::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate(hwnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_CLOSE:
        OnClose(hwnd);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_MENU_EXIT) {
            OnExitCommand();
            return 0;
        }
        return DefWindowProcW(m_hWnd, WM_COMMAND, wParam, 0);
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

void CAppMain::OnCreate(HWND hwnd)
{
    m_hWnd = hwnd;
}

void CAppMain::OnClose(HWND hwnd)
{
    if (ExitInstance())
        DestroyWindow(hwnd);
}

void CAppMain::OnExitCommand()
{
    SendMessageW(m_hWnd, WM_CLOSE, 0, 0);
}

int CAppMain::ExitInstance()
{
    return 1;
}

void CAppMain::PostToWindow(UINT message)
{
    PostMessageW(m_hWnd, message, 0, 0);
}

void CAppMain::PostToAudio(UINT message, LPARAM lParam)
{
    // The open-retry loop of the audio thread watches m_Task: it must hold
    // the new request before the message can arrive.
    m_AudioCtrl.m_Task = message;
    MemoryBarrier();
    if (!PostThreadMessageW(m_AudioCtrl.m_ThreadId, message, 0, lParam) && message == WM_CAPTURE_START)
        delete[] reinterpret_cast<wchar_t*>(lParam);
}
