// A capture device the test drives (buffers are delivered when the test
// says), and the recording settings and requests around it.
#pragma once

#include "audio/AudioCtrl.h"
#include "audio/BaseCapture.h"
#include "config/AppParameter.h"
#include "support/WavChecks.h"

#include <string>

class FakeCapture : public CBaseCapture {
public:
    static int s_OpenFailures;  // how many Opens fail before one succeeds
    static HRESULT s_OpenError;  // what a failed Open says
    static int s_Alive;

    FakeCapture() { ++s_Alive; }
    ~FakeCapture() override { --s_Alive; }

    bool Open(int channels, int rate, int, int) override
    {
        if (s_OpenFailures > 0) {
            --s_OpenFailures;
            m_OpenError = s_OpenError;
            return false;
        }
        m_Channels = channels;
        m_Rate = rate;
        m_State = CaptureOpen;
        return true;
    }
    bool Start() override { return Become(CaptureRunning); }
    bool Stop() override { return Become(CaptureOpen); }
    void Close() override { m_State = CaptureClosed; }
    bool IsOpen() override { return m_State != CaptureClosed; }

    // The next frames of the ramp, counted as the real devices count them.
    void DeliverRamp(unsigned frames)
    {
        std::string pcm = Ramp(static_cast<unsigned>(m_CapturedFrames), frames, m_Channels);
        m_CapturedFrames += frames;
        m_pListener->OnSoundData(pcm.data(), static_cast<unsigned>(pcm.size()));
    }

    void DeliverSilence(unsigned frames)
    {
        std::string pcm(static_cast<size_t>(frames) * 2 * m_Channels, '\0');
        m_CapturedFrames += frames;
        m_pListener->OnSoundData(pcm.data(), static_cast<unsigned>(pcm.size()));
    }

    int m_Channels = 0;
    int m_Rate = 0;

private:
    bool Become(CaptureState state)
    {
        if (m_State == CaptureClosed)
            return false;
        m_State = state;
        return true;
    }
};

// Recording settings in g_pConfig while it lives.
struct RecordingSettings {
    CAppParameter config;
    RecordingSettings(int rate, int channels, int maxMb)
    {
        config.m_Frequency = rate;
        config.m_Channels = channels;
        config.m_WavMaxSize = maxMb;
        g_pConfig = &config;
    }
    ~RecordingSettings() { g_pConfig = nullptr; }
};

// The file prefix block a start request carries; the audio thread frees it.
inline wchar_t* NewPrefixBlock(const std::wstring& prefix)
{
    wchar_t* block = new wchar_t[kFilePrefixSize]();
    lstrcpynW(block, prefix.c_str(), kFilePrefixSize);
    return block;
}

// The audio controller with the fake device.
class TestAudioCtrl : public CAudioCtrl {
public:
    FakeCapture* Device() { return static_cast<FakeCapture*>(m_pCapture); }
    bool m_bWaveIn = false;  // whether the fallback type exists too
    unsigned m_SplitBytes = 0;  // when nonzero, the split size instead of the setting's
    unsigned long long m_FreeBytes = ~0ULL;  // the free space the writer sees

protected:
    class SpaceWriter : public CWaveWriter {
    public:
        explicit SpaceWriter(unsigned long long free) : m_Free(free) {}

    protected:
        unsigned long long FreeBytes(const wchar_t*) override { return m_Free; }
        unsigned long long m_Free;
    };
    CWaveWriter* NewWaveWriter() override { return new SpaceWriter(m_FreeBytes); }
    void ReadSettings(int& frequency, int& channels, unsigned& maxFileSize) const override
    {
        CAudioCtrl::ReadSettings(frequency, channels, maxFileSize);
        if (m_SplitBytes)
            maxFileSize = m_SplitBytes;
    }
    CBaseCapture* NewCaptureDevice(CaptureType type) override
    {
        return type == kWasapiDevice || m_bWaveIn ? new FakeCapture() : nullptr;
    }
};
