// Capture device over a shared-mode WASAPI client. Its 2-second buffer rides
// out stalls of the capture thread that overrun waveIn's short stream; the
// packets are gathered into 1/30-second buffers, so the listener sees the
// same buffers as from the waveIn device.
//
// The stream's format: an endpoint whose mix format has the file's rate and
// channels is opened in that format and its samples converted here
// (CMixConverter: exact, and no resampler in the path); any other is opened
// in the file's format with the engine converting (AUTOCONVERTPCM), and
// where the engine refuses (loopback on some systems) in the mix format with
// the channels and rate converted here.
#pragma once

#include "capture/BaseCapture.h"
#include "capture/MixConverter.h"

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
    // The endpoint the stream is open on; false while closed.
    bool GetDeviceInfo(CaptureDeviceInfo* info) override;
    int FindDevice(const wchar_t* name, const wchar_t* id, int flag) override;
    bool IsOpen() override { return m_State != CaptureClosed; }

    // The id of the system's default endpoint of a flow (capture, or the
    // output); false when there is none.
    static bool DefaultEndpointId(wchar_t* id, int size, EDataFlow flow = eCapture);
    // The FindDevice rules over a list: id, then exact name, then a waveIn
    // name; -1 when none matches. rule receives which one matched.
    static int MatchDevice(const CaptureDeviceInfo* devices, unsigned count, const wchar_t* name, const wchar_t* id,
                           const wchar_t** rule);

    unsigned GetBufferSize() const { return m_StagingBytes; }
    LONG GetDiscontinuities() const { return m_Discontinuities; }

protected:
    // A quiet source's buffer thread wakes this often when nothing comes:
    // its silence is placed, and a loopback stream that raises no events
    // (before Windows 10 1703) is polled.
    static constexpr DWORD kQuietWakeMs = 20;

    // The one read of the stream's state that fails first when the endpoint
    // goes away; tests stand in for an unplugged device here.
    virtual HRESULT NextPacketSize(UINT32* frames);
    // After each read on the capture thread, under m_DeliveryLock: a device
    // that follows the default endpoint moves to the new one here. Returns
    // the stream's state (a failure: the device is lost).
    virtual HRESULT Follow(HRESULT hr) { return hr; }
    // Opens the stream on an endpoint (empty: the flow's default) into
    // m_pClient and m_pCaptureClient, its format and conversion as above;
    // step names what failed.
    HRESULT OpenStream(const wchar_t* id, const wchar_t*& step);
    void ReleaseStream();
    // Moves every packet the client holds into the staging buffer, handing
    // over each full one. Caller holds m_DeliveryLock.
    HRESULT ReadPackets(bool deliver);

    // Which endpoints this device lists and opens (capture ones, or the
    // outputs for loopback), the flags its streams add, and the prefix of
    // the ids its device records carry.
    EDataFlow m_Flow;
    DWORD m_StreamFlags;
    const wchar_t* m_IdPrefix;
    // The chosen endpoint; empty for the flow's default one.
    wchar_t m_EndpointId[256];
    // The endpoint the stream is open on (its id and name): written by Open
    // before the capture thread runs, then by that thread under
    // m_DeliveryLock when it follows a new default.
    CaptureDeviceInfo m_Stream;
    IAudioClient* m_pClient;
    IAudioCaptureClient* m_pCaptureClient;
    HANDLE m_hEvent;  // signalled by the client per period, and by Close
    // A second event the capture thread wakes for (the default changed);
    // null when the device follows nothing. Set before the capture thread
    // starts, cleared after it ended.
    HANDLE m_hFollowEvent;
    // Held by the capture thread while it reads and delivers, and by Start,
    // Stop and GetDeviceInfo on the owner's thread: the client's capture side, the
    // converter, the staging buffer, m_Stream's changes and the listener calls are used under it only.
    CRITICAL_SECTION m_DeliveryLock;

private:
    static DWORD WINAPI CaptureThreadProc(void* param);
    void CaptureThread();
    // A client on the endpoint initialized in the format the rule above
    // chooses, into m_pClient; m_Converter set up to match.
    HRESULT InitializeStream(IMMDevice* endpoint);
    void ReleaseClient();
    // The stream failed or stalled: the owner closes this device and opens another.
    void ReportLost(const wchar_t* why, HRESULT hr);

    CMixConverter m_Converter;
    HANDLE volatile m_hThread;
    volatile LONG m_Discontinuities;
};
