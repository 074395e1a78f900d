#include "dialogs/ConfigDialog.h"
#include "config/AppParameter.h"
#include "resources/resource.h"

#include <commctrl.h>
#include <prsht.h>

void CConfigDialog::Show(HWND owner)
{
    // One sheet at a time: its pages reach their objects through one pointer
    // each, set for as long as the sheet is open. The Audio page is the first,
    // so its window always exists.
    if (g_pAudioPage) {
        BringDialogToFront(g_pAudioPage->m_hWnd ? GetParent(g_pAudioPage->m_hWnd) : nullptr);
        return;
    }
    HINSTANCE instance = OwnerInstance(owner);
    bool ja = UiIsJapanese();

    g_pAudioPage = &m_AudioPage;
    PROPSHEETPAGEW page = {};
    page.dwSize = sizeof page;
    page.hInstance = instance;
    page.pszTemplate = MAKEINTRESOURCEW(TemplateId(IDD_AUDIO_JA));
    page.pfnDlgProc = CSettingAudioPage::AudioPageProc;
    HPROPSHEETPAGE pages[2];
    pages[0] = CreatePropertySheetPageW(&page);

    int stored = g_pConfig ? g_pConfig->m_Language : -1;
    m_MiscPage.m_Language = (stored >= -1 && stored <= 1) ? stored : -1;
    m_MiscPage.m_UiLanguage = g_pConfig ? g_pConfig->m_UiLanguage : 0;
    if (stored != 0 && stored != 1) {
        int fallback = GetUserDefaultLangID() == 0x411 ? 1 : 0;
        m_MiscPage.m_Language = fallback;
        m_MiscPage.m_UiLanguage = fallback;
    }
    g_pMiscPage = &m_MiscPage;
    page.pszTemplate = MAKEINTRESOURCEW(TemplateId(IDD_MISC_JA));
    page.pfnDlgProc = CSettingMiscPage::MiscPageProc;
    pages[1] = CreatePropertySheetPageW(&page);

    PROPSHEETHEADERW header = {};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_NOAPPLYNOW;
    header.hwndParent = owner;
    header.hInstance = instance;
    header.pszCaption = ja ? L"設定" : L"Setting";
    header.nPages = 2;
    header.nStartPage = 0;
    header.phpage = pages;
    PropertySheetW(&header);
    g_pAudioPage = nullptr;
    g_pMiscPage = nullptr;
}
