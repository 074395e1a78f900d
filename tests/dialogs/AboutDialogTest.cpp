#include "app/AppBase.h"
#include "dialogs/DialogFixture.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

TEST(AboutDialog, ShowsVersionAndEditionInBothLanguages)
{
    for (int ui = 0; ui < 2; ++ui) {
        DialogFixture f(ui);
        CAppBase app;
        f.Run([&] { app.OnAbout(); }, [&] {
            HWND about = WaitForDialog(f.uiThread, ui ? L"Marivaneについて" : L"Marivane");
            ASSERT_NE(about, nullptr);
            EXPECT_EQ(ControlText(about, IDC_ABOUT_VERSION), L"Version 1.0.3.0");
            EXPECT_EQ(ControlText(about, IDC_ABOUT_EDITION), L"64bit edition");
            SaveScreenshot(about, ui ? L"about-ja" : L"about-en");
            Click(about, IDOK);
            EXPECT_TRUE(WaitGone(about));
        });
    }
}

TEST(HelpPages, ShipBesideTheProgramInBothLanguages)
{
    DialogFixture f;
    std::wstring exe = ProductExePath();
    f.config.m_AppPath.Assign(exe.substr(0, exe.rfind(L'\\')).c_str());
    for (int language = 0; language < 2; ++language) {
        std::wstring page = f.config.GetHelpUrl(language);
        ASSERT_TRUE(Exists(page)) << Narrow(page);
        std::string html = ReadBytes(page);
        EXPECT_NE(html.find(language ? "毎週の繰返し" : "Weekly repeat"), std::string::npos);
        EXPECT_NE(html.find("_YYYYMMDDhhmm_000.wav"), std::string::npos);
    }
}
