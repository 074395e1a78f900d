#include "audio/BaseCapture.h"

CBaseCapture::CBaseCapture() : m_Device(WAVE_MAPPER), m_State(CaptureClosed), m_Format(), m_pListener(nullptr),
    m_CapturedFrames(0)
{
}

bool CBaseCapture::GetDeviceInfo(CaptureDeviceInfo* info)
{
    if (!info)
        return false;
    GetDeviceCaps(m_Device, info);
    return true;
}

unsigned CBaseCapture::GetDeviceCaps(unsigned, CaptureDeviceInfo* info)
{
    if (info)
        ZeroMemory(info, sizeof *info);
    return 0;
}

unsigned long long CBaseCapture::GetCapturedSeconds()
{
    if (!m_CapturedFrames || !m_Format.nSamplesPerSec)
        return 0;
    return m_CapturedFrames / m_Format.nSamplesPerSec;
}
