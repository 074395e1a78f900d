// The real modeless inquiry dialog, driven by window messages.
#include "app/AppMain.h"
#include "config/AppParameter.h"
#include "support/DialogDriver.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

void Pump(int ms)
{
    DWORD end = GetTickCount() + ms;
    MSG msg;
    while (static_cast<int>(end - GetTickCount()) > 0) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            // As the program's main loop does: keys reach the modeless dialog.
            if (g_pApp && g_pApp->IsInquiryMessage(&msg))
                continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    }
}

std::wstring WindowText(HWND hwnd)
{
    wchar_t text[256] = L"";
    GetWindowTextW(hwnd, text, 256);
    return text;
}

struct InquiryFixture {
    CAppParameter config;
    CAppMain app{GetModuleHandleW(nullptr)};
    TraceCapture trace;
    InquiryFixture()
    {
        config.m_Shutdown = 1;
        g_pConfig = &config;
        g_pApp = &app;
    }
    ~InquiryFixture()
    {
        if (app.m_hInquiryDlg)
            DestroyWindow(app.m_hInquiryDlg);
        g_pApp = nullptr;
        g_pConfig = nullptr;
    }
};

}  // namespace

TEST(InquiryDialog, CancelStopsTheCountdown)
{
    InquiryFixture f;
    f.app.m_InquiryCountdown = 250;
    f.app.OnShutdownInquiry(GetModuleHandleW(nullptr), false);
    ASSERT_NE(f.app.m_hInquiryDlg, nullptr);
    EXPECT_EQ(f.app.m_bInquiryShown, 1);
    HWND dlg = f.app.m_hInquiryDlg;
    EXPECT_TRUE(IsWindowVisible(dlg));
    EXPECT_EQ(WindowText(dlg), L"Inquiry Shutdown");
    EXPECT_EQ(WindowText(GetDlgItem(dlg, IDCANCEL)), L"Cancel");
    EXPECT_NE(SendMessageW(dlg, WM_GETICON, ICON_SMALL, 0), 0);
    // A second request leaves the open dialog alone.
    f.app.OnShutdownInquiry(GetModuleHandleW(nullptr), false);
    EXPECT_EQ(f.app.m_hInquiryDlg, dlg);
    Pump(100);
    SaveScreenshot(dlg, L"inquiry-en");
    PostMessageW(dlg, WM_KEYDOWN, VK_ESCAPE, 0);  // Esc cancels, as the button does
    Pump(100);
    EXPECT_EQ(f.app.m_InquiryCountdown, 0);
    EXPECT_EQ(f.app.m_hInquiryDlg, nullptr);
    EXPECT_FALSE(IsWindow(dlg));
    EXPECT_TRUE(TraceCapture::Contains(L"Cancel shutdown !!\n"));
}

TEST(InquiryDialog, OkAndCloseLeaveTheCountdownRunning)
{
    InquiryFixture f;
    f.app.m_InquiryCountdown = 250;
    f.app.OnShutdownInquiry(GetModuleHandleW(nullptr), true);
    HWND dlg = f.app.m_hInquiryDlg;
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(WindowText(dlg), L"シャットダウン問い合わせ");
    Pump(100);
    SaveScreenshot(dlg, L"inquiry-ja");
    PostMessageW(dlg, WM_KEYDOWN, VK_RETURN, 0);  // Enter is OK
    Pump(100);
    EXPECT_EQ(f.app.m_hInquiryDlg, nullptr);
    EXPECT_EQ(f.app.m_InquiryCountdown, 250);

    f.app.OnShutdownInquiry(GetModuleHandleW(nullptr), false);
    dlg = f.app.m_hInquiryDlg;
    ASSERT_NE(dlg, nullptr);
    f.app.OnCloseInquiry();
    EXPECT_EQ(f.app.m_bInquiryShown, 0);
    Pump(100);
    EXPECT_FALSE(IsWindow(dlg));
    EXPECT_EQ(f.app.m_hInquiryDlg, nullptr);
    EXPECT_EQ(f.app.m_InquiryCountdown, 250);
    EXPECT_TRUE(TraceCapture::Contains(L"Close inquiry dialog !!\n"));
}

TEST(InquiryDialog, SettingOffShowsNothing)
{
    InquiryFixture f;
    f.config.m_Shutdown = 0;
    f.app.m_bInquiryShown = 1;
    f.app.OnShutdownInquiry(GetModuleHandleW(nullptr), false);
    EXPECT_EQ(f.app.m_hInquiryDlg, nullptr);
    EXPECT_EQ(f.app.m_bInquiryShown, 0);
}
