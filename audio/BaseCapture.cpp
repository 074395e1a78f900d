#include "audio/BaseCapture.h"
#include "app/Trace.h"
#include "foundation/DateTime.h"

CBaseCapture::CBaseCapture() : m_Device(WAVE_MAPPER), m_State(CaptureClosed), m_Format(), m_pListener(nullptr),
    m_CapturedFrames(0), m_FirstFrameTime(0)
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

long long CBaseCapture::Now()
{
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    return FileTimeToTicks(now);
}

long long CBaseCapture::FrameTime(unsigned long long frame) const
{
    unsigned rate = m_Format.nSamplesPerSec ? m_Format.nSamplesPerSec : 1;
    return m_FirstFrameTime + static_cast<long long>(frame / rate * 10000000ULL + frame % rate * 10000000ULL / rate);
}

unsigned long long CBaseCapture::FrameAt(long long time) const
{
    long long offset = time - m_FirstFrameTime;
    if (offset <= 0)
        return 0;
    unsigned long long ticks = static_cast<unsigned long long>(offset), rate = m_Format.nSamplesPerSec;
    // Rounded up: the frame at or after the time.
    return ticks / 10000000ULL * rate + (ticks % 10000000ULL * rate + 9999999ULL) / 10000000ULL;
}

WAVEFORMATEX CBaseCapture::PcmFormat(int channels, int samplesPerSec, int bitsPerSample)
{
    WAVEFORMATEX format = WAVEFORMATEX();
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(channels);
    format.nSamplesPerSec = static_cast<DWORD>(samplesPerSec);
    format.wBitsPerSample = static_cast<WORD>(bitsPerSample);
    format.nBlockAlign = static_cast<WORD>((bitsPerSample * channels + 7) / 8);
    format.nAvgBytesPerSec = format.nBlockAlign * format.nSamplesPerSec;
    return format;
}

void CBaseCapture::EndBufferThread(HANDLE volatile* thread, HANDLE event, DWORD timeoutMs, const wchar_t* device)
{
    HANDLE handle = InterlockedExchangePointer(reinterpret_cast<void* volatile*>(thread), nullptr);
    if (!handle)
        return;
    if (event)
        SetEvent(event);
    if (WaitForSingleObject(handle, timeoutMs) != WAIT_OBJECT_0) {
        Trace(L"%s::Close: the buffer thread did not end in %lu ms, terminating it\n", device, timeoutMs);
        TerminateThread(handle, 1);
        WaitForSingleObject(handle, 1000);
    }
    CloseHandle(handle);
}
