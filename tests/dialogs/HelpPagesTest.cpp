// The help pages the Help menu opens, beside the program in both languages.
#include "dialogs/DialogFixture.h"

#include <gtest/gtest.h>

TEST(HelpPages, ShipBesideTheProgramInBothLanguages)
{
    DialogFixture f;
    std::wstring exe = ProductExePath();
    f.config.m_AppPath.Assign(exe.substr(0, exe.rfind(L'\\')).c_str());
    for (int language = 0; language < 2; ++language) {
        std::wstring page = f.config.GetHelpUrl(language);
        std::string html = ReadBytes(page);  // empty when it is missing
        EXPECT_NE(html.find(language ? "毎週の繰返し" : "Weekly repeat"), std::string::npos) << Narrow(page);
        EXPECT_NE(html.find("_YYYYMMDDhhmm_000.wav"), std::string::npos);
        EXPECT_NE(html.find(language ? "今すぐ録音" : "Record now"), std::string::npos);
        EXPECT_NE(html.find("<code>%F</code>"), std::string::npos);
    }
}
