#include "dialogs/SourceChoices.h"
#include "capture/LoopbackCapture.h"
#include "capture/WasapiCapture.h"
#include "config/AppParameter.h"
#include "dialogs/SettingAudioPage.h"

#include <memory>
#include <new>

void CSourceChoices::ListDevices()
{
    m_Devices.clear();
    CWasapiCapture captures;
    CLoopbackCapture outputs;
    unsigned count = captures.GetDeviceCaps(0, nullptr);
    unsigned playing = outputs.GetDeviceCaps(0, nullptr);
    auto add = [this](const CaptureDeviceInfo& info) {
        wchar_t label[300];
        CSettingAudioPage::DeviceLabel(info, false, label, 300);
        m_Devices.push_back({info.m_DeviceId, label});
    };
    std::unique_ptr<CaptureDeviceInfo> info(new (std::nothrow) CaptureDeviceInfo());
    if (!info)
        return;
    for (unsigned i = 0; i < count; ++i) {
        *info = CaptureDeviceInfo();
        if (captures.GetDeviceCaps(i, info.get()))
            add(*info);
    }
    *info = CaptureDeviceInfo();
    lstrcpynW(info->m_DeviceId, CLoopbackCapture::kDefaultId, 256);
    add(*info);
    for (unsigned i = 0; i < playing; ++i) {
        *info = CaptureDeviceInfo();
        if (outputs.GetDeviceCaps(i, info.get()))
            add(*info);
    }
}

const CSourceChoices::Device* CSourceChoices::Find(const wchar_t* id) const
{
    for (const Device& device : m_Devices)
        if (id && device.id == id)
            return &device;
    return nullptr;
}

std::wstring CSourceChoices::SettingsEntry() const
{
    bool ja = UiIsJapanese();
    wchar_t name[256] = L"", id[256] = L"";
    if (g_pConfig)
        g_pConfig->GetCaptureDevice(name, id, 256);
    // None set: the system's default records.
    if (!*name && !*id)
        CWasapiCapture::DefaultEndpointId(id, 256);
    const Device* device = Find(id);
    std::wstring shown = device ? device->label : *name ? name : id;
    return std::wstring(ja ? L"設定のデバイス (" : L"Device in Setting (") + shown + L")";
}

std::wstring CSourceChoices::UnknownEntry(const wchar_t* source, bool japanese)
{
    return std::wstring(japanese ? L"解釈できない録音元: " : L"Not understood: ") + (source ? source : L"");
}

std::wstring CSourceChoices::AbsentEntry(const wchar_t* id, bool japanese)
{
    return std::wstring(id ? id : L"") + (japanese ? L" （未接続）" : L" (not connected)");
}

std::wstring CSourceChoices::Describe(const wchar_t* source) const
{
    bool ja = UiIsJapanese();
    switch (ProgramSource::Kind(source)) {
    case kSourceSettings: return ja ? L"設定のデバイス" : L"Device in Setting";
    case kSourceStation: return source;
    case kSourceCapture:
    case kSourceLoopback: {
        const Device* device = Find(source);
        return device ? device->label : AbsentEntry(source, ja);
    }
    default: return UnknownEntry(source, ja);
    }
}
