#include "app/TrayMenu.h"
#include "foundation/Format.h"
#include "resources/resource.h"

CTrayMenu::CTrayMenu(HINSTANCE instance, bool japanese)
    : m_hMenu(LoadMenuW(instance, MAKEINTRESOURCEW(japanese ? IDM_TRAY_JA : IDM_TRAY_EN))), m_bJapanese(japanese)
{
}

CTrayMenu::~CTrayMenu()
{
    if (m_hMenu)
        DestroyMenu(m_hMenu);
}

void CTrayMenu::AddStop(const wchar_t* title)
{
    HMENU popup = Popup();
    if (!popup)
        return;
    // A menu takes "&" as a mnemonic mark: the title's own are doubled, and
    // a long title is cut so the menu stays narrow.
    wchar_t shown[128];
    int n = 0;
    for (const wchar_t* p = title ? title : L""; *p && n < 60 && !(n >= 59 && IS_HIGH_SURROGATE(*p)); ++p) {
        if (*p == L'&')
            shown[n++] = L'&';
        shown[n++] = *p < L' ' ? L' ' : *p;  // a tab would open an accelerator column
    }
    shown[n] = L'\0';
    wchar_t text[160];
    FormatText(text, 160, m_bJapanese ? L"録音停止: %s" : L"Stop recording: %s", shown);
    // Right under "Record now...".
    int at = 0;
    for (int i = 0; i < GetMenuItemCount(popup); ++i)
        if (GetMenuItemID(popup, i) == IDC_MENU_RECORD_NOW)
            at = i + 1;
    InsertMenuW(popup, static_cast<UINT>(at), MF_BYPOSITION | MF_STRING, IDC_MENU_STOP, text);
}
