// The Audio page of the settings: capture device, frequency, channels, and
// the file format (WAV, FLAC, Opus at a bit rate) with its size per hour.
#pragma once

#include "capture/CaptureDeviceInfo.h"
#include "capture/LevelMeter.h"
#include "dialogs/PropertyPage.h"

class CBaseCapture;

class CSettingAudioPage : public CPropertyPage {
public:
    CSettingAudioPage() : m_nDevices(0), m_pDevices(nullptr), m_AbsentIndex(-1) {}
    ~CSettingAudioPage() override { FreeDevices(); }

    void OnInitDialog(HWND hwnd) override;
    bool OnApply(HWND hwnd) override;
    // The meter runs while the page is shown: started when it becomes
    // active and when a combo box changes, stopped when it is left or closed.
    INT_PTR DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;
    static constexpr UINT_PTR kMeterTimer = 1;
    static constexpr UINT kMeterMs = 100;
    CLevelMeter m_Meter;
    static INT_PTR CALLBACK AudioPageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void FreeDevices();
    // How the list shows a device, in the interface's language (the
    // program window's Source list shows devices alike).
    static void DeviceLabel(const CaptureDeviceInfo& device, bool absent, wchar_t* label, int size);

    unsigned m_nDevices;
    CaptureDeviceInfo* m_pDevices;
    // The configured device that is not plugged in, listed last; -1: none.
    int m_AbsentIndex;

protected:
    // The device object that lists the devices; a seam for the tests.
    virtual CBaseCapture* NewCaptureDevice();

private:
    // The capture devices, then what the PC plays (the default output, each output).
    void FillDevices(HWND hwnd);
    // The settings id of the device chosen in the list; empty for none.
    const wchar_t* SelectedId(HWND hwnd) const;
    void StartMeter(HWND hwnd);
    void StopMeter(HWND hwnd);
    void ShowLevel(HWND hwnd);
    void FillFileFormat(HWND hwnd);
    // The bit rate is offered for Opus only; the line says what an hour
    // takes in the chosen format, rate and channels.
    void ShowFileSize(HWND hwnd);
};

extern CSettingAudioPage* g_pAudioPage;
