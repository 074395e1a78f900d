// Application-object base: fixes the set and order of the application's
// virtual operations and supplies the Help and About commands.
#pragma once

#include <windows.h>

class CAppBase {
public:
    CAppBase();
    virtual ~CAppBase() {}
    CAppBase(const CAppBase&) = delete;
    CAppBase& operator=(const CAppBase&) = delete;

    virtual int Run(HINSTANCE hInstance);
    virtual LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    virtual void OnCreate(HWND hwnd);
    virtual void OnClose(HWND hwnd);
    virtual void OnExitCommand();
    virtual void OnHelp();
    virtual void OnAbout();
    virtual int Create(HINSTANCE hInstance);
    virtual int ActivatePrevInstance();
    virtual int ExitInstance() { return 1; }

    int m_nMode;
    HINSTANCE m_hInstance;
    HWND m_hWnd;
    HWND m_hMDIClient;
    DWORD m_HelpCookie;
    void* m_pToolBar;
    void* m_pStatusBar;
    int m_bMultiInstance;
};
