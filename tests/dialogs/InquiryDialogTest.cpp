// The real modeless inquiry dialog, driven by window messages.
#include "app/AppMain.h"
#include "config/AppParameter.h"
#include "support/DialogDriver.h"

#include <gtest/gtest.h>

namespace {

// As the program's main loop does: keys reach the modeless dialog.
void Pump(DWORD ms)
{
    PumpMessages(ms, [](MSG* msg) { return g_pApp && g_pApp->IsInquiryMessage(msg) != 0; });
}

struct InquiryFixture {
    CAppParameter config;
    CAppMain app{GetModuleHandleW(nullptr)};
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

// Shown once however often asked; Esc or Cancel stops the countdown, Enter
// (OK) and the scheduler's close leave it running; nothing with the setting off.
TEST(InquiryDialog, CancelStopsTheCountdownOkAndCloseLeaveIt)
{
    InquiryFixture f;
    f.app.m_InquiryCountdown = 250;
    for (int round = 0; round < 3; ++round) {
        bool ja = round == 1;
        f.app.OnShutdownInquiry(GetModuleHandleW(nullptr), ja);
        HWND dlg = f.app.m_hInquiryDlg;
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(f.app.m_bInquiryShown, 1);
        EXPECT_TRUE(IsWindowVisible(dlg));
        EXPECT_TRUE(GetWindowLongW(dlg, GWL_EXSTYLE) & WS_EX_TOPMOST);  // in front of what the user has open
        EXPECT_EQ(WindowText(dlg), ja ? L"シャットダウン問い合わせ" : L"Inquiry Shutdown");
        f.app.OnShutdownInquiry(GetModuleHandleW(nullptr), ja);
        EXPECT_EQ(f.app.m_hInquiryDlg, dlg);
        Pump(100);
        if (round < 2)
            SaveScreenshot(dlg, ja ? L"inquiry-ja" : L"inquiry-en");
        if (round == 2)
            f.app.OnCloseInquiry();
        else
            PostMessageW(dlg, WM_KEYDOWN, ja ? VK_RETURN : VK_ESCAPE, 0);
        Pump(100);
        EXPECT_FALSE(IsWindow(dlg));
        EXPECT_EQ(f.app.m_hInquiryDlg, nullptr);
        EXPECT_EQ(f.app.m_InquiryCountdown, round == 0 ? 0 : 250) << round;
        f.app.m_InquiryCountdown = 250;
    }
    f.config.m_Shutdown = 0;
    f.app.m_bInquiryShown = 1;
    f.app.OnShutdownInquiry(GetModuleHandleW(nullptr), false);
    EXPECT_EQ(f.app.m_hInquiryDlg, nullptr);
    EXPECT_EQ(f.app.m_bInquiryShown, 0);
}
