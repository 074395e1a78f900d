#include "dialogs/SettingAudioPage.h"
#include "audio/WasapiCapture.h"
#include "config/AppParameter.h"
#include "dialogs/SettingMiscPage.h"
#include "resources/resource.h"

#include <cwchar>
#include <new>

CSettingAudioPage* g_pAudioPage = nullptr;

namespace {

void AddItem(HWND combo, const wchar_t* text, LPARAM data)
{
    LRESULT index = SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    if (index >= 0)
        SendMessageW(combo, CB_SETITEMDATA, index, data);
}

void SelectByData(HWND combo, LPARAM data)
{
    LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i)
        if (SendMessageW(combo, CB_GETITEMDATA, i, 0) == data) {
            SendMessageW(combo, CB_SETCURSEL, i, 0);
            return;
        }
}

int Clamp(int value, int low, int high)
{
    return value < low ? low : value > high ? high : value;
}

}  // namespace

INT_PTR CALLBACK CSettingAudioPage::AudioPageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return g_pAudioPage ? g_pAudioPage->DialogProc(hwnd, message, wParam, lParam) : 0;
}

CBaseCapture* CSettingAudioPage::NewCaptureDevice()
{
    return new (std::nothrow) CWasapiCapture();
}

void CSettingAudioPage::FreeDevices()
{
    delete[] m_pDevices;
    m_pDevices = nullptr;
    m_nDevices = 0;
}

void CSettingAudioPage::FillDevices(HWND hwnd)
{
    FreeDevices();
    HWND combo = GetDlgItem(hwnd, IDC_DEVICE);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    CBaseCapture* device = NewCaptureDevice();
    if (!device)
        return;
    wchar_t configuredName[256] = L"", configuredId[256] = L"";
    if (g_pConfig)
        g_pConfig->GetCaptureDevice(configuredName, configuredId, 256);
    unsigned count = device->GetDeviceCaps(0, nullptr);
    // The same rules as the recording picks its device by.
    int chosen = count ? device->FindDevice(configuredName, configuredId, 0) : -1;
    // A configured device that is not plugged in now stays listed, and
    // chosen, so that OK on this page does not replace it.
    bool keepAbsent = chosen < 0 && (*configuredName || *configuredId);
    m_pDevices = new (std::nothrow) CaptureDeviceInfo[count + 1]();
    if (!m_pDevices) {
        delete device;
        return;
    }
    m_nDevices = count;
    for (unsigned i = 0; i < count; ++i) {
        device->GetDeviceCaps(i, &m_pDevices[i]);
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(m_pDevices[i].m_Name));
    }
    if (keepAbsent) {
        CaptureDeviceInfo& absent = m_pDevices[m_nDevices];
        lstrcpynW(absent.m_Name, configuredName, 256);
        lstrcpynW(absent.m_DeviceId, configuredId, 256);
        wchar_t label[300];
        swprintf(label, 300, L"%ls %ls", configuredName,
                 UiIsJapanese() ? L"（未接続）" : L"(not connected)");
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label));
        chosen = static_cast<int>(m_nDevices++);
    }
    SendMessageW(combo, CB_SETCURSEL, chosen < 0 ? 0 : chosen, 0);
    delete device;
}

void CSettingAudioPage::OnInitDialog(HWND hwnd)
{
    FillDevices(hwnd);

    int frequency = Clamp(g_pConfig ? g_pConfig->m_Frequency : 44100, 8000, 96000);
    HWND combo = GetDlgItem(hwnd, IDC_FREQUENCY);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    static const int kFrequencies[] = {8000, 16000, 32000, 44100, 48000};
    for (int f : kFrequencies) {
        wchar_t text[32];
        swprintf(text, 32, L"%d Hz", f);
        AddItem(combo, text, f);
    }
    SelectByData(combo, frequency);

    int channels = Clamp(g_pConfig ? g_pConfig->m_Channels : 2, 1, 2);
    combo = GetDlgItem(hwnd, IDC_CHANNELS);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    AddItem(combo, L"1ch (mono)", 1);
    AddItem(combo, L"2ch (stereo)", 2);
    SelectByData(combo, channels);
}

bool CSettingAudioPage::OnApply(HWND hwnd)
{
    if (!g_pConfig)
        return true;
    LRESULT device = SendDlgItemMessageW(hwnd, IDC_DEVICE, CB_GETCURSEL, 0, 0);
    if (device >= 0 && static_cast<unsigned>(device) < m_nDevices) {
        g_pConfig->SetSetting(g_pConfig->m_CapDeviceName, m_pDevices[device].m_Name);
        g_pConfig->SetSetting(g_pConfig->m_CapDeviceId, m_pDevices[device].m_DeviceId);
    }
    LRESULT frequency = SendDlgItemMessageW(hwnd, IDC_FREQUENCY, CB_GETCURSEL, 0, 0);
    if (frequency >= 0)
        g_pConfig->m_Frequency = static_cast<int>(SendDlgItemMessageW(hwnd, IDC_FREQUENCY, CB_GETITEMDATA, frequency, 0));
    LRESULT channels = SendDlgItemMessageW(hwnd, IDC_CHANNELS, CB_GETCURSEL, 0, 0);
    if (channels >= 0)
        g_pConfig->m_Channels = static_cast<int>(SendDlgItemMessageW(hwnd, IDC_CHANNELS, CB_GETITEMDATA, channels, 0));
    // The Miscellaneous page, once opened, applies after this one and saves
    // both: one save, and one message should it fail.
    if (g_pMiscPage && g_pMiscPage->m_hWnd)
        return true;
    SaveConfigOrTell(hwnd);
    return true;
}
