// Capture device over a shared-mode WASAPI client. Its 2-second buffer rides
// out stalls of the capture thread that overrun waveIn's short stream; the
// packets are gathered into 1/30-second buffers, so the listener sees the
// same buffers as from the waveIn device.
#pragma once

#include "audio/BaseCapture.h"

#include <audioclient.h>
#include <mmdeviceapi.h>

// Open and the calls after it need the owner's thread in COM (the audio
// thread is); the listing calls join COM themselves.
class CWasapiCapture : public CBaseCapture {
public:
    static constexpr REFERENCE_TIME kBufferDuration = 20000000;  // 2 s in 100-ns units
    // How long Close waits for the capture thread before it kills it.
    static constexpr DWORD kThreadEndMs = 15000;
    // Friendly names longer than this reach the waveIn device cut short.
    static constexpr size_t kWaveInNameLength = 31;

    CWasapiCapture();
    ~CWasapiCapture() override;

    void Initialize(CSoundListener* listener) override;
    bool SetDevice(unsigned index) override;
    // The endpoint by its id (null or empty: the default capture device).
    void SetEndpointId(const wchar_t* id) { lstrcpynW(m_EndpointId, id ? id : L"", 256); }
    bool Open(int channels, int samplesPerSec, int bitsPerSample, int option) override;
    void Close() override;
    bool Start() override;
    bool Stop() override;
    unsigned GetDeviceCaps(unsigned index, CaptureDeviceInfo* info) override;
    int FindDevice(const wchar_t* name, const wchar_t* id, int flag) override;
    bool IsOpen() override { return m_pClient != nullptr; }

    // The id of the system's default capture endpoint; false when there is none.
    static bool DefaultEndpointId(wchar_t* id, int size);
    // The FindDevice rules over a list: id, then exact name, then a waveIn
    // name; -1 when none matches. rule receives which one matched.
    static int MatchDevice(const CaptureDeviceInfo* devices, unsigned count, const wchar_t* name, const wchar_t* id,
                           const wchar_t** rule);

    unsigned GetBufferSize() const { return m_StagingBytes; }
    LONG GetDiscontinuities() const { return m_Discontinuities; }

protected:
    // The one read of the stream's state that fails first when the endpoint
    // goes away; tests stand in for an unplugged device here.
    virtual HRESULT NextPacketSize(UINT32* frames);

private:
    static DWORD WINAPI CaptureThreadProc(void* param);
    void CaptureThread();
    // Moves every packet the client holds into the staging buffer, handing
    // over each full one. Caller holds m_DeliveryLock.
    HRESULT ReadPackets(bool deliver);
    void ReleaseClient();
    // The stream failed or stalled: the owner closes this device and opens another.
    void ReportLost(const wchar_t* why, HRESULT hr);

    // The chosen endpoint; empty for the system's default capture device.
    wchar_t m_EndpointId[256];
    IAudioClient* m_pClient;
    IAudioCaptureClient* m_pCaptureClient;
    HANDLE m_hEvent;  // signalled by the client per period, and by Close
    HANDLE volatile m_hThread;
    volatile LONG m_Discontinuities;
    // Held by the capture thread while it reads and delivers, and by Start
    // and Stop on the owner's thread: the client's capture side, the staging
    // buffer and the listener calls are used under it only.
    CRITICAL_SECTION m_DeliveryLock;
};
