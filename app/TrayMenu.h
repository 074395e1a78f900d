// The tray icon's right-click menu, from the resources in the interface
// language, with "Stop recording: <title>" while a program records.
#pragma once

#include <windows.h>

class CTrayMenu {
public:
    CTrayMenu(HINSTANCE instance, bool japanese);
    ~CTrayMenu();
    CTrayMenu(const CTrayMenu&) = delete;
    CTrayMenu& operator=(const CTrayMenu&) = delete;

    // Puts the stop item for the recording titled title under "Record now...".
    void AddStop(const wchar_t* title);
    // The pop-up to track; null when the resource could not be loaded.
    HMENU Popup() const { return m_hMenu ? GetSubMenu(m_hMenu, 0) : nullptr; }

private:
    HMENU m_hMenu;
    bool m_bJapanese;
};
