// The tray icon's menu while a program records, in both languages.
#include "app/TrayMenu.h"
#include "dialogs/DialogFixture.h"
#include "resources/resource.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

TEST(TrayMenu, WhileRecordingItStopsTheRecordingItNames)
{
    for (int ja : {0, 1}) {
        DialogFixture f(ja);
        CTrayMenu menu(GetModuleHandleW(nullptr), ja);
        menu.AddStop(L"News & Weather");
        std::vector<std::wstring> items;
        for (int i = 0; i < 4; ++i) {
            wchar_t text[128] = L"";
            GetMenuStringW(menu.Popup(), static_cast<UINT>(i), text, 128, MF_BYPOSITION);
            items.push_back(text);
        }
        std::vector<std::wstring> expected = {L"Record now...", L"Stop recording: News && Weather", L"Open recording folder", L""};
        if (ja)
            expected = {L"今すぐ録音...", L"録音停止: News && Weather", L"録音フォルダーを開く", L""};
        EXPECT_EQ(items, expected);
        EXPECT_EQ(GetMenuItemID(menu.Popup(), 1), static_cast<UINT>(IDC_MENU_STOP));
        HWND owner = CreateWindowW(L"STATIC", L"tray", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        // Shown as the tray shows it; Escape closes it, choosing nothing.
        std::atomic<bool> closed(false);
        std::thread driver([&] {
            HWND shown = WaitForMenu(f.uiThread);
            EXPECT_NE(shown, nullptr);
            if (shown)
                SaveScreenshot(shown, ja ? L"tray-menu-recording-ja" : L"tray-menu-recording-en");
            for (; !closed; Sleep(200))
                PostMessageW(shown ? shown : owner, WM_KEYDOWN, VK_ESCAPE, 0);
        });
        SetForegroundWindow(owner);
        EXPECT_EQ(TrackPopupMenu(menu.Popup(), TPM_RETURNCMD, 300, 200, 0, owner, nullptr), 0);
        closed = true;
        driver.join();
        DestroyWindow(owner);
    }
}
