// The sources a program can record from, as the program window offers them
// and the program list names them: the settings' device, the capture
// devices and what the PC plays (listed as the Audio page lists them), and
// a station's address.
#pragma once

#include "programs/ProgramSource.h"

#include <string>
#include <vector>

class CSourceChoices {
public:
    struct Device {
        std::wstring id;     // as "cap_device_id" stores it
        std::wstring label;  // as the Audio page shows it
    };

    // The devices of this PC now: capture devices, then what the PC plays
    // (the default output, each output). Made on the UI thread.
    void ListDevices();
    const std::vector<Device>& Devices() const { return m_Devices; }
    // The listed device of a source; null when it is not listed.
    const Device* Find(const wchar_t* id) const;

    // "Device in Setting (name)": the settings' device by its label.
    std::wstring SettingsEntry() const;
    // How the program list shows a source: the settings' device, a device's
    // label (or its id, not connected), a station's address, or one not
    // understood as such.
    std::wstring Describe(const wchar_t* source) const;

    static const wchar_t* StationEntry(bool japanese) { return japanese ? L"放送局のアドレス" : L"Station address"; }
    static std::wstring UnknownEntry(const wchar_t* source, bool japanese);
    static std::wstring AbsentEntry(const wchar_t* id, bool japanese);

private:
    std::vector<Device> m_Devices;
};
