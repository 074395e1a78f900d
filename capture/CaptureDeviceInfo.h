// One capture device as the settings page lists it.
#pragma once

#include <windows.h>

struct CaptureDeviceInfo {
    WORD m_ManufacturerId;
    WORD m_ProductId;
    DWORD m_DriverVersion;
    wchar_t m_Name[256];
    DWORD m_Formats;
    WORD m_Channels;
    wchar_t m_DeviceId[256];
};
