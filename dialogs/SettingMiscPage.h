// The Misc page of the settings: language, WAV folder, maximum WAV size,
// sleep after recording (hibernate or sleep), what the PC does with a
// recording on battery, start with Windows, the days recordings are kept
// and the command run after each recording.
#pragma once

#include "dialogs/PropertyPage.h"

struct PowerFacts;

class CSettingMiscPage : public CPropertyPage {
public:
    CSettingMiscPage() : m_UiLanguage(0), m_Language(-1) {}
    ~CSettingMiscPage() override {}

    void OnInitDialog(HWND hwnd) override;
    void OnCommand(HWND hwnd, int id, int code) override;
    bool OnApply(HWND hwnd) override;
    static INT_PTR CALLBACK MiscPageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    // The size field's rule: blanks, an optional minus, digits. Returns 0
    // (keep the old value) for any other character; an empty field is 0.
    static int ParseSize(const wchar_t* text, int& value);

    int m_UiLanguage;
    int m_Language;

private:
    // The line under the sleep box that says what keeps the PC from waking.
    void ShowWakeWarning(HWND hwnd);
    // The state the sleep requests, as the page offers it: hibernation and
    // sleep where the PC has each, the one requested for the setting chosen.
    void ListSleepStates(HWND hwnd, const PowerFacts& facts);
    // The state chosen in the box: true for hibernation.
    bool ChosenHibernate(HWND hwnd);
};

extern CSettingMiscPage* g_pMiscPage;
