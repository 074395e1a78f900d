// The input level of a device for the settings page: a shared-mode client
// of its own beside any recording (the engine shares the device), with its
// own buffer thread, which keeps the peak of each channel for the reader.
// It takes no lock that a recording's threads hold. Start, Stop and Read
// belong to one thread, the page's.
#pragma once

#include "capture/SilenceWatch.h"
#include "capture/SoundListener.h"

#include <windows.h>

class CWasapiCapture;

class CLevelMeter : public CSoundListener {
public:
    // Below the silence alarm's peak (-60 dBFS) for kNoSoundMs the input says nothing.
    static constexpr DWORD kNoSoundMs = 3000;
    // Level bars run in tenths of a dB from -60 dBFS (0) to full scale.
    static constexpr int kBarRange = 600;
    static int BarPosition(double db) { return db <= -60 ? 0 : static_cast<int>((db + 60) * 10); }
    // The held maximum stays a second, then falls 10 dB a second.
    static constexpr DWORD kHoldMs = 1000;

    struct Reading {
        int channels = 0;
        double db[2] = {-96, -96};  // each channel's peak since the last reading
        double heldDb = -96;
        bool noSound = false;
    };

    CLevelMeter();
    ~CLevelMeter() override;
    CLevelMeter(const CLevelMeter&) = delete;
    CLevelMeter& operator=(const CLevelMeter&) = delete;

    // Opens the device a settings id names (empty: the default capture
    // device; "loopback:": what the PC plays) at the rate and channels and
    // runs it; false when it cannot, the reason in LastError.
    bool Start(const wchar_t* endpointId, int rate, int channels);
    void Stop();
    // Meters nothing, for this reason (a device the page knows is absent).
    void StopBecause(HRESULT reason)
    {
        Stop();
        m_Error = reason;
    }
    bool IsRunning() const { return m_pClient != nullptr; }
    HRESULT LastError() const { return m_Error; }
    Reading Read();
    // -96 for silence, 0 for full scale.
    static double ToDb(int peak);

    // The meter's buffer thread.
    unsigned OnSoundData(const void* data, unsigned length) override;

private:
    CWasapiCapture* m_pClient;
    HRESULT m_Error;
    int m_Channels;
    // The largest sample since the last reading: raised by the buffer
    // thread, taken by Read, each with an interlocked operation.
    volatile LONG m_Peak[2];
    // The owner's: the held maximum and when the input last had sound.
    double m_HeldDb;
    DWORD m_HeldAt;
    DWORD m_LastSound;
};
