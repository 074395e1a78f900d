// What the PC plays: a shared-mode loopback stream on an output (render
// endpoint), in the WASAPI plumbing of CWasapiCapture. Nothing playing
// means no packets at all, for seconds or hours: the timeline runs through
// it as silence (a source quiet by design, CBaseCapture). On the default
// output it follows the user's default to the next device, in the same
// stream of buffers; a chosen output that goes away is a lost device.
// The settings name these devices "loopback:default" and "loopback:{id}".
#pragma once

#include "capture/WasapiCapture.h"

class CDefaultDeviceWatch;

class CLoopbackCapture : public CWasapiCapture {
public:
    static constexpr const wchar_t* kIdPrefix = L"loopback:";
    static constexpr const wchar_t* kDefaultId = L"loopback:default";
    // The new default is awaited this long after the old one failed.
    static constexpr DWORD kFollowWaitMs = 1000;

    static bool IsLoopbackId(const wchar_t* id) { return id && wcsncmp(id, kIdPrefix, wcslen(kIdPrefix)) == 0; }
    // The device a settings id names: a loopback device for a "loopback:"
    // id, else a capture device on that endpoint (empty: the default).
    static CWasapiCapture* ForSettingsId(const wchar_t* id);

    CLoopbackCapture();
    ~CLoopbackCapture() override;

    bool Open(int channels, int samplesPerSec, int bitsPerSample, int option) override;
    void Close() override;
    int FindDevice(const wchar_t* name, const wchar_t* id, int flag) override;

protected:
    HRESULT Follow(HRESULT hr) override;
    // While open on the default endpoint: hears of a new one.
    CDefaultDeviceWatch* m_pWatch;

private:
    // The stream goes on from another endpoint, its gap silent.
    HRESULT SwitchTo(const wchar_t* id);
};
