#include "dialogs/AboutDialog.h"
#include "resources/version.h"
#include "config/AppParameter.h"
#include "foundation/Format.h"
#include "resources/resource.h"

void CAboutDialog::OnInitDialog(HWND hwnd)
{
    wchar_t version[64];
    FormatText(version, 64, L"Version %s", g_pConfig ? g_pConfig->GetVersion() : L"" MARIVANE_VERSION_TEXT);
    SetDlgItemTextW(hwnd, IDC_ABOUT_VERSION, version);
    SetDlgItemTextW(hwnd, IDC_ABOUT_EDITION, L"64bit edition");
}
