// The settings property sheet with its Audio and Misc pages.
#pragma once

#include "dialogs/PropertySheet.h"
#include "dialogs/SettingAudioPage.h"
#include "dialogs/SettingMiscPage.h"

class CConfigDialog : public CPropertySheet {
public:
    ~CConfigDialog() override { m_AudioPage.FreeDevices(); }
    // Runs the sheet modally over owner; returns when it is closed.
    void Show(HWND owner);

    CSettingAudioPage m_AudioPage;
    CSettingMiscPage m_MiscPage;
};
