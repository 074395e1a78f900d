// The About box in both languages: the version and the licenses of the
// libraries linked in, each under its name and version.
#include "dialogs/AboutDialog.h"
#include "dialogs/DialogFixture.h"
#include "resources/resource.h"
#include "resources/version.h"

TEST(AboutDialog, ShowsTheVersionAndTheLibrariesLicenses)
{
    for (int ja : {0, 1}) {
        DialogFixture f(ja);
        CAboutDialog about;
        g_pDialog = &about;
        f.Run([&] { DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(TemplateId(IDD_ABOUT_JA)), nullptr, CDialog::StaticProc, 0); },
              ja ? L"Marivaneについて" : L"Marivane", [&](HWND dialog) {
                  EXPECT_EQ(ControlText(dialog, IDC_ABOUT_VERSION), L"Version " MARIVANE_VERSION_TEXT);
                  std::wstring licenses = ControlText(dialog, IDC_ABOUT_LICENSES);
                  for (const wchar_t* part : {L"FLAC 1.4.2\r\n", L"Opus 1.3.1\r\n", L"libopusenc 0.2.1\r\n",
                                              L"speexdsp 1.2.1\r\n", L"FFmpeg 5.1.9\r\n",
                                              L"Redistribution and use in source and binary forms",
                                              L"GNU LESSER GENERAL PUBLIC LICENSE"})
                      EXPECT_NE(licenses.find(part), std::wstring::npos) << Narrow(part);
                  SaveScreenshot(dialog, ja ? L"about-ja" : L"about-en");
              });
        g_pDialog = nullptr;
    }
}
