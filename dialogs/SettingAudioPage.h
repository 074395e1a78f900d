// The Audio page of the settings: capture device, frequency and channels.
#pragma once

#include "audio/CaptureDeviceInfo.h"
#include "dialogs/PropertyPage.h"

class CBaseCapture;

class CSettingAudioPage : public CPropertyPage {
public:
    CSettingAudioPage() : m_nDevices(0), m_pDevices(nullptr) {}
    ~CSettingAudioPage() override { FreeDevices(); }

    void OnInitDialog(HWND hwnd) override;
    bool OnApply(HWND hwnd) override;
    static INT_PTR CALLBACK AudioPageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void FreeDevices();

    unsigned m_nDevices;
    CaptureDeviceInfo* m_pDevices;

protected:
    // The device object that lists the devices; a seam for the tests.
    virtual CBaseCapture* NewCaptureDevice();

private:
    void FillDevices(HWND hwnd);
};

extern CSettingAudioPage* g_pAudioPage;
