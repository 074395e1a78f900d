#include "capture/LoopbackCapture.h"
#include "capture/DefaultDeviceWatch.h"
#include "foundation/Trace.h"

#include <new>

CLoopbackCapture::CLoopbackCapture() : m_pWatch(nullptr)
{
    m_Flow = eRender;
    m_StreamFlags = AUDCLNT_STREAMFLAGS_LOOPBACK;
    m_IdPrefix = kIdPrefix;
    m_bQuietByDesign = true;
}

CLoopbackCapture::~CLoopbackCapture()
{
    Close();
}

CWasapiCapture* CLoopbackCapture::ForSettingsId(const wchar_t* id)
{
    if (!IsLoopbackId(id)) {
        CWasapiCapture* capture = new (std::nothrow) CWasapiCapture();
        if (capture)
            capture->SetEndpointId(id);
        return capture;
    }
    CLoopbackCapture* loopback = new (std::nothrow) CLoopbackCapture();
    if (loopback && wcscmp(id, kDefaultId) != 0)
        loopback->SetEndpointId(id + wcslen(kIdPrefix));
    return loopback;
}

int CLoopbackCapture::FindDevice(const wchar_t* name, const wchar_t* id, int flag)
{
    if (!flag && id && wcscmp(id, kDefaultId) == 0) {
        Trace(L"CLoopbackCapture::FindDevice: the default output, followed\n");
        return -1;
    }
    // A chosen output by its id or name; gone, the default one stands in.
    return CWasapiCapture::FindDevice(name, id, flag);
}

bool CLoopbackCapture::Open(int channels, int samplesPerSec, int bitsPerSample, int option)
{
    // Listening before the stream opens: a change meanwhile is not missed,
    // and the capture thread finds the watch's event from its start.
    if (!m_EndpointId[0] && !m_pWatch && !IsOpen()) {
        m_pWatch = CDefaultDeviceWatch::Start(m_Flow);
        m_hFollowEvent = m_pWatch ? m_pWatch->Event() : nullptr;
    }
    // A failure closes the device, the watch with it.
    return CWasapiCapture::Open(channels, samplesPerSec, bitsPerSample, option);
}

void CLoopbackCapture::Close()
{
    // The capture thread waits for the watch's event: it ends first.
    CWasapiCapture::Close();
    m_hFollowEvent = nullptr;
    if (m_pWatch)
        m_pWatch->Stop();
    m_pWatch = nullptr;
}

HRESULT CLoopbackCapture::Follow(HRESULT hr)
{
    if (!m_pWatch)
        return hr;
    wchar_t id[256] = L"";
    bool changed = m_pWatch->TakeChange(id, 256);
    if (hr == AUDCLNT_E_DEVICE_INVALIDATED) {
        // The default output went away or was reset: Windows names the next
        // one within moments, or it is the same one again.
        if (!changed && WaitForSingleObject(m_hFollowEvent, kFollowWaitMs) == WAIT_OBJECT_0)
            changed = m_pWatch->TakeChange(id, 256);
        if (!changed && !DefaultEndpointId(id, 256, m_Flow))
            return hr;
    } else if (!changed || FAILED(hr) || wcscmp(id, m_Stream.m_DeviceId) == 0) {
        return hr;
    }
    return SwitchTo(id);
}

HRESULT CLoopbackCapture::SwitchTo(const wchar_t* id)
{
    Trace(L"CLoopbackCapture: the default output is now %s: the stream follows it\n", *id ? id : L"(none)");
    bool running = m_State == CaptureRunning;
    // The same output again (it was reset) is no change to tell of.
    bool same = wcscmp(id, m_Stream.m_DeviceId) == 0;
    if (running && m_pClient) {
        ReadPackets(true);
        m_pClient->Stop();
    }
    ReleaseStream();
    const wchar_t* step = L"the endpoint";
    HRESULT hr = *id ? OpenStream(id, step) : HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    if (SUCCEEDED(hr) && running) {
        step = L"Start";
        hr = m_pClient->Start();
    }
    if (FAILED(hr)) {
        Trace(L"CLoopbackCapture: %s failed on the new default output (0x%08X)\n", step, static_cast<unsigned>(hr));
        return hr;
    }
    StreamReplaced(same ? nullptr : m_Stream.m_Name);
    return S_OK;
}
