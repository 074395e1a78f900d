// The application object: the hidden main window behind the tray icon.
#pragma once

#include "app/AppBase.h"
#include "audio/AudioCtrl.h"
#include "scheduler/Scheduler.h"

class CAppMain : public CAppBase, public CScheduler {
public:
    static const wchar_t kWindowClass[];

    explicit CAppMain(HINSTANCE hInstance);
    ~CAppMain() override;

    LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnCreate(HWND hwnd) override;
    void OnClose(HWND hwnd) override;
    void OnExitCommand() override;
    int Create(HINSTANCE hInstance) override;
    int ActivatePrevInstance() override;
    int ExitInstance() override;

    CAudioCtrl m_AudioCtrl;

protected:
    void PostToWindow(UINT message) override;
    DWORD AudioThreadId() override { return m_AudioCtrl.m_ThreadId; }
    void PostToAudio(UINT message, LPARAM lParam) override;

private:
    static LRESULT CALLBACK Trampoline(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
};

extern CAppMain* g_pApp;
