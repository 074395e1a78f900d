#include "dialogs/SettingAudioPage.h"
#include "capture/LoopbackCapture.h"
#include "capture/WasapiCapture.h"
#include "config/AppParameter.h"
#include "dialogs/SettingMiscPage.h"
#include "files/RecordingFormat.h"
#include "foundation/Format.h"
#include "resources/resource.h"

#include <commctrl.h>

#include <cwchar>
#include <initializer_list>
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

// The item data of a combo box's selection, or fallback with none selected.
int SelectedData(HWND hwnd, int id, int fallback)
{
    LRESULT i = SendDlgItemMessageW(hwnd, id, CB_GETCURSEL, 0, 0);
    return i >= 0 ? static_cast<int>(SendDlgItemMessageW(hwnd, id, CB_GETITEMDATA, i, 0)) : fallback;
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
    m_AbsentIndex = -1;
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
    CLoopbackCapture outputs;
    if (!device)
        return;
    wchar_t configuredName[256] = L"", configuredId[256] = L"";
    if (g_pConfig)
        g_pConfig->GetCaptureDevice(configuredName, configuredId, 256);
    unsigned count = device->GetDeviceCaps(0, nullptr);
    // After the capture devices, what the PC plays: through the default
    // output (followed when it changes), then through each output.
    unsigned playing = 1 + outputs.GetDeviceCaps(0, nullptr);
    // With none set the recording takes the system's default device: that
    // one is shown (not the first listed, which OK would then store).
    bool unset = !*configuredName && !*configuredId;
    if (unset)
        CWasapiCapture::DefaultEndpointId(configuredId, 256);
    m_pDevices = new (std::nothrow) CaptureDeviceInfo[count + playing + 1]();
    if (!m_pDevices) {
        delete device;
        return;
    }
    m_nDevices = count + playing;
    for (unsigned i = 0; i < count; ++i)
        device->GetDeviceCaps(i, &m_pDevices[i]);
    lstrcpynW(m_pDevices[count].m_DeviceId, CLoopbackCapture::kDefaultId, 256);
    for (unsigned i = 1; i < playing; ++i)
        outputs.GetDeviceCaps(i - 1, &m_pDevices[count + i]);
    // The same rules as the recording picks its device by.
    int chosen = -1;
    if (CLoopbackCapture::IsLoopbackId(configuredId)) {
        chosen = CWasapiCapture::MatchDevice(m_pDevices + count, playing, configuredName, configuredId, nullptr);
        chosen = chosen < 0 ? -1 : chosen + static_cast<int>(count);
    } else if (count) {
        chosen = device->FindDevice(configuredName, configuredId, 0);
    }
    delete device;
    // A configured device that is not plugged in now stays listed, and
    // chosen, so that OK on this page does not replace it.
    if (!unset && chosen < 0) {
        CaptureDeviceInfo& absent = m_pDevices[m_nDevices];
        lstrcpynW(absent.m_Name, configuredName, 256);
        lstrcpynW(absent.m_DeviceId, configuredId, 256);
        chosen = m_AbsentIndex = static_cast<int>(m_nDevices++);
    }
    for (unsigned i = 0; i < m_nDevices; ++i) {
        wchar_t label[300];
        DeviceLabel(m_pDevices[i], static_cast<int>(i) == m_AbsentIndex, label, 300);
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label));
    }
    // Without a capture device nothing is chosen: OK must not turn an unset
    // device into what the PC plays.
    SendMessageW(combo, CB_SETCURSEL, chosen < 0 && count ? 0 : chosen, 0);
}

void CSettingAudioPage::DeviceLabel(const CaptureDeviceInfo& device, bool absent, wchar_t* label, int size)
{
    bool ja = UiIsJapanese();
    wchar_t name[280];
    if (wcscmp(device.m_DeviceId, CLoopbackCapture::kDefaultId) == 0)
        lstrcpynW(name, ja ? L"このPCの再生音 (既定の出力)" : L"What this PC plays (default output)", 280);
    else if (CLoopbackCapture::IsLoopbackId(device.m_DeviceId))
        FormatText(name, 280, ja ? L"このPCの再生音: %s" : L"What this PC plays: %s", device.m_Name);
    else
        lstrcpynW(name, device.m_Name, 280);
    FormatText(label, size, absent ? (ja ? L"%s （未接続）" : L"%s (not connected)") : L"%s", name);
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

    FillFileFormat(hwnd);
}

void CSettingAudioPage::FillFileFormat(HWND hwnd)
{
    bool ja = UiIsJapanese();
    RecordingFormat stored = CAppParameter::SettingsFileFormat();
    HWND combo = GetDlgItem(hwnd, IDC_FILE_FORMAT);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    AddItem(combo, ja ? L"WAV (16 ビット PCM、非圧縮)" : L"WAV (16-bit PCM, uncompressed)", kFileWav);
    AddItem(combo, ja ? L"FLAC (可逆圧縮)" : L"FLAC (lossless)", kFileFlac);
    AddItem(combo, ja ? L"Opus (非可逆圧縮、小さい)" : L"Opus (lossy, small)", kFileOpus);
    SelectByData(combo, stored.type);

    // A stored rate between the offered ones is listed too, so OK keeps it.
    combo = GetDlgItem(hwnd, IDC_OPUS_BITRATE);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    auto addRate = [combo](int kbps) {
        wchar_t text[32];
        swprintf(text, 32, L"%d kbit/s", kbps);
        AddItem(combo, text, kbps);
    };
    static const int kRates[] = {16, 24, 32, 48, 64, 96, 128, 160, 192, 256};
    bool listed = false;
    for (int kbps : kRates) {
        if (!listed && stored.opusKbps < kbps)
            addRate(stored.opusKbps);
        listed = listed || stored.opusKbps <= kbps;
        addRate(kbps);
    }
    SelectByData(combo, stored.opusKbps);
    ShowFileSize(hwnd);
}

void CSettingAudioPage::ShowFileSize(HWND hwnd)
{
    bool ja = UiIsJapanese();
    RecordingFormat format(static_cast<FileType>(SelectedData(hwnd, IDC_FILE_FORMAT, kFileWav)),
                           SelectedData(hwnd, IDC_OPUS_BITRATE, RecordingFormat::kDefaultOpusKbps));
    EnableWindow(GetDlgItem(hwnd, IDC_OPUS_BITRATE), format.type == kFileOpus);
    // With no rate or channels chosen (a stored 96000 Hz), the stored ones record.
    int rate = SelectedData(hwnd, IDC_FREQUENCY, Clamp(g_pConfig ? g_pConfig->m_Frequency : 44100, 8000, 96000));
    int channels = SelectedData(hwnd, IDC_CHANNELS, Clamp(g_pConfig ? g_pConfig->m_Channels : 2, 1, 2));
    double mb = format.BytesPerSecond(rate, channels) * 3600 / 1e6;
    wchar_t size[32], text[160];
    if (mb >= 1000)
        swprintf(size, 32, L"%.1f GB", mb / 1000);
    else
        swprintf(size, 32, mb >= 10 ? L"%.0f MB" : L"%.1f MB", mb);
    bool exact = format.type == kFileWav;
    if (ja)
        swprintf(text, 160, L"1 時間あたり%ls %ls (%d Hz、%d ch%ls)", exact ? L"" : L"約", size, rate, channels,
                 exact ? L"" : L"、音により変わります");
    else
        swprintf(text, 160, L"%ls%ls per hour (%d Hz, %d ch%ls)", exact ? L"" : L"About ", size, rate, channels,
                 exact ? L"" : L"; depends on the sound");
    SetDlgItemTextW(hwnd, IDC_SIZE_PER_HOUR, text);
}

INT_PTR CSettingAudioPage::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NOTIFY) {
        UINT code = reinterpret_cast<NMHDR*>(lParam)->code;
        if (code == static_cast<UINT>(PSN_SETACTIVE))
            StartMeter(hwnd);
        else if (code == static_cast<UINT>(PSN_KILLACTIVE))
            StopMeter(hwnd);
    } else if (message == WM_COMMAND && HIWORD(wParam) == CBN_SELCHANGE) {
        // Another device, rate or channel count: metered at once. The format
        // changes the size line alone.
        if (LOWORD(wParam) != IDC_FILE_FORMAT && LOWORD(wParam) != IDC_OPUS_BITRATE)
            StartMeter(hwnd);
        ShowFileSize(hwnd);
    } else if (message == WM_TIMER && wParam == kMeterTimer) {
        ShowLevel(hwnd);
        return TRUE;
    } else if (message == WM_DESTROY) {
        StopMeter(hwnd);
    }
    return CPropertyPage::DialogProc(hwnd, message, wParam, lParam);
}

void CSettingAudioPage::StartMeter(HWND hwnd)
{
    LRESULT device = SendDlgItemMessageW(hwnd, IDC_DEVICE, CB_GETCURSEL, 0, 0);
    int rate = SelectedData(hwnd, IDC_FREQUENCY, 48000);
    int count = SelectedData(hwnd, IDC_CHANNELS, 2);
    const wchar_t* id = SelectedId(hwnd);
    // A device that is not plugged in is not the default one either.
    if (device >= 0 && device == m_AbsentIndex)
        m_Meter.StopBecause(HRESULT_FROM_WIN32(ERROR_NOT_FOUND));
    else
        m_Meter.Start(id, rate, count);
    EnableWindow(GetDlgItem(hwnd, IDC_METER_RIGHT), count == 2);
    for (int bar : {IDC_METER_LEFT, IDC_METER_RIGHT})
        SendDlgItemMessageW(hwnd, bar, PBM_SETRANGE32, 0, CLevelMeter::kBarRange);
    SetTimer(hwnd, kMeterTimer, kMeterMs, nullptr);
    ShowLevel(hwnd);
}

void CSettingAudioPage::StopMeter(HWND hwnd)
{
    KillTimer(hwnd, kMeterTimer);
    m_Meter.Stop();
}

void CSettingAudioPage::ShowLevel(HWND hwnd)
{
    bool ja = UiIsJapanese();
    CLevelMeter::Reading r = m_Meter.Read();
    for (int c = 0; c < 2; ++c) {
        int position = CLevelMeter::BarPosition(c < r.channels ? r.db[c] : -96);
        SendDlgItemMessageW(hwnd, c ? IDC_METER_RIGHT : IDC_METER_LEFT, PBM_SETPOS, position, 0);
    }
    wchar_t text[200];
    HRESULT error = m_Meter.LastError();
    if (!m_Meter.IsRunning() && error == E_ACCESSDENIED)
        lstrcpynW(text, ja ? L"Windows がマイクへのアクセスを拒否しています (設定 > プライバシーとセキュリティ > マイク)。"
                           : L"Windows denies access to the microphone (Settings > Privacy & security > Microphone).",
                  200);
    else if (!m_Meter.IsRunning() && (error == HRESULT_FROM_WIN32(ERROR_NOT_FOUND) || error == AUDCLNT_E_DEVICE_INVALIDATED))
        lstrcpynW(text, ja ? L"このデバイスは接続されていません。" : L"This device is not connected.", 200);
    else if (!m_Meter.IsRunning() && CLoopbackCapture::IsLoopbackId(SelectedId(hwnd)))
        FormatText(text, 200, ja ? L"このシステムではこのPCの再生音を録音できません (0x%08X)。"
                                 : L"This system cannot record what this PC plays (0x%08X).",
                   static_cast<unsigned>(error));
    else if (!m_Meter.IsRunning())
        FormatText(text, 200, ja ? L"このデバイスを開けません (0x%08X)。" : L"This device cannot be opened (0x%08X).",
                   static_cast<unsigned>(error));
    else if (r.noSound)
        lstrcpynW(text, ja ? L"音がありません (-60 dBFS 以下)" : L"No sound (-60 dBFS or below)", 200);
    else
        FormatText(text, 200, ja ? L"%.1f dBFS (最大 %.1f dBFS)" : L"%.1f dBFS (peak %.1f dBFS)",
                   r.db[0] > r.db[1] ? r.db[0] : r.db[1], r.heldDb);
    wchar_t shown[200];
    GetDlgItemTextW(hwnd, IDC_METER_TEXT, shown, 200);
    if (wcscmp(shown, text) != 0)
        SetDlgItemTextW(hwnd, IDC_METER_TEXT, text);
}

const wchar_t* CSettingAudioPage::SelectedId(HWND hwnd) const
{
    LRESULT device = SendDlgItemMessageW(hwnd, IDC_DEVICE, CB_GETCURSEL, 0, 0);
    return device >= 0 && static_cast<unsigned>(device) < m_nDevices ? m_pDevices[device].m_DeviceId : L"";
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
    g_pConfig->m_Frequency = SelectedData(hwnd, IDC_FREQUENCY, g_pConfig->m_Frequency);
    g_pConfig->m_Channels = SelectedData(hwnd, IDC_CHANNELS, g_pConfig->m_Channels);
    g_pConfig->m_FileFormat = SelectedData(hwnd, IDC_FILE_FORMAT, g_pConfig->m_FileFormat);
    g_pConfig->m_OpusBitrate = SelectedData(hwnd, IDC_OPUS_BITRATE, g_pConfig->m_OpusBitrate);
    // The Miscellaneous page, once opened, applies after this one and saves
    // both: one save, and one message should it fail.
    if (g_pMiscPage && g_pMiscPage->m_hWnd)
        return true;
    SaveConfigOrTell(hwnd);
    return true;
}
