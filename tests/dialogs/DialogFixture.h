// A configuration in a temporary folder and a driver thread for the dialogs
// that the test's own thread runs modally.
#pragma once

#include "config/AppParameter.h"
#include "dialogs/MainDialog.h"
#include "resources/resource.h"
#include "support/DialogDriver.h"
#include "support/ProgramFixtures.h"
#include "support/TestSupport.h"

#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

struct DialogFixture {
    TempDir dir;
    IniConfig config{dir.File(L"marivane.ini")};
    DWORD uiThread = GetCurrentThreadId();

    explicit DialogFixture(int uiLanguage = 0)
    {
        config.m_UiLanguage = uiLanguage;
        config.m_Language = uiLanguage;
        g_pConfig = &config;
    }
    ~DialogFixture() { g_pConfig = nullptr; }

    // Runs modal() here; on another thread, once the window with that caption
    // shows, body(window) works it. Whatever the body leaves open is then
    // cancelled, so a failing test never hangs.
    void Run(const std::function<void()>& modal, const wchar_t* caption, const std::function<void(HWND)>& body)
    {
        std::atomic<bool> finished(false);
        std::thread t([&] {
            HWND window = WaitForDialog(uiThread, caption);
            EXPECT_NE(window, nullptr) << Narrow(caption);
            if (window)
                body(window);
            for (; !finished; Sleep(50))
                for (HWND left : VisibleWindows(uiThread, [](HWND) { return true; }))
                    PostMessageW(left, WM_COMMAND, IDCANCEL, 0);
        });
        modal();
        finished = true;
        t.join();
    }
    std::string Saved() { return ReadBytes(dir.File(L"marivane.ini")); }
    // The program list over the configuration's programs, modally.
    INT_PTR OpenList()
    {
        CMainDialog dialog(&config.m_ProgramList);
        g_pMainDialog = &dialog;
        INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(TemplateId(IDD_PROGRAMS_JA)),
                                         nullptr, CMainDialog::ListDialogProc, 0);
        EXPECT_EQ(g_pMainDialog, nullptr);  // cleared by the dialog itself
        g_pMainDialog = nullptr;
        return result;
    }
    // The list opened, body(list window) working it.
    void RunList(const std::function<void(HWND)>& body)
    {
        Run([&] { OpenList(); }, config.m_UiLanguage == 1 ? L"予約リスト" : L"Recording Program List", body);
    }
};
