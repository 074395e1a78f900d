// A capture device the test drives (buffers are delivered when the test
// says), and the recording settings and requests around it.
#pragma once

#include "capture/BaseCapture.h"
#include "config/AppParameter.h"
#include "recorder/AudioCtrl.h"
#include "support/TestSupport.h"
#include "support/WavChecks.h"

#include <string>
#include <vector>

class FakeCapture : public CBaseCapture {
public:
    static inline int s_OpenFailures = 0;  // how many Opens fail before one succeeds
    static inline HRESULT s_OpenError = E_FAIL;  // what a failed Open says
    static inline int s_Alive = 0;
    // Each device made, as "type id" of the choice it was asked to find.
    static inline std::vector<std::wstring> s_Made;

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
    int FindDevice(const wchar_t*, const wchar_t* id, int) override
    {
        if (!s_Made.empty())
            s_Made.back() += std::wstring(L" ") + id;
        return -1;
    }

    // The next frames of the ramp (or silence), counted as the real devices count them.
    void DeliverRamp(unsigned frames, bool silent = false)
    {
        std::string pcm = Ramp(static_cast<unsigned>(m_CapturedFrames), frames, m_Channels);
        if (silent)
            pcm.assign(pcm.size(), '\0');
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

// How often the user was told of notice n.
inline int Told(WPARAM n)
{
    return TraceCapture::Count(L"[CAudioCtrl] recording notice " + std::to_wstring(n) + L"\n");
}

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

// The block a start request carries; the audio thread frees it.
inline RecordingParameters* NewRecording(const std::wstring& prefix, long long startAt = 0, long long stopAt = 0)
{
    return RecordingParameters::New(prefix.c_str(), startAt, stopAt);
}

// The file writer on the disk a test wants: its free space, a stall until
// m_hGo is set, or files only counted (nothing written): each one's length
// and, of a mono ramp, where frame 0 of the file lies on the ramp (modulo
// 65536, from its first sound), its frames of silence where the ramp should
// sound, and its frames of sound off the ramp's place.
class TestWriter : public CWaveWriter {
public:
    struct Options {
        unsigned long long free = ~0ULL;
        HANDLE go = nullptr;
        bool count = false;
    };
    struct FileRecord {
        std::wstring name;
        unsigned long long first = 0, frames = 0, silent = 0, misplaced = 0;
        bool sounded = false;
    };
    explicit TestWriter(const Options& options) : m_Options(options) {}
    std::vector<FileRecord> m_Files;  // the writer thread's; read after a drain

protected:
    unsigned long long FreeBytes(const wchar_t*) override { return m_Options.free; }
    void FileCreated(const wchar_t* name) override { m_Files.push_back({name}); }
    unsigned WriteToFile(CMediaFile* file, const void* data, unsigned length) override
    {
        if (m_Options.go)
            WaitForSingleObject(m_Options.go, INFINITE);
        if (!m_Options.count)
            return CWaveWriter::WriteToFile(file, data, length);
        const unsigned short* p = static_cast<const unsigned short*>(data);
        FileRecord& f = m_Files.back();
        for (unsigned i = 0; i < length / 2; ++i, ++f.frames) {
            if (!f.sounded && p[i]) {
                f.first = (p[i] - f.frames) & 0xFFFF, f.sounded = true;
                f.silent -= (f.first + f.frames + 65535) / 65536 - (f.first + 65535) / 65536;  // the ramp's own zeros
            }
            unsigned expected = (f.first + f.frames) & 0xFFFF;
            f.silent += !p[i] && (expected || !f.sounded);
            f.misplaced += p[i] && p[i] != expected;
        }
        return length;
    }
    Options m_Options;
};

// The audio controller with the fake device.
class TestAudioCtrl : public CAudioCtrl {
public:
    FakeCapture* Device() { return static_cast<FakeCapture*>(m_pCapture); }
    TestWriter* Writer() { return static_cast<TestWriter*>(m_pWriter); }
    bool m_bWaveIn = false;  // whether the fallback type exists too
    unsigned m_SplitBytes = 0;  // when nonzero, the split size instead of the setting's
    TestWriter::Options m_WriterOptions;  // what the writer is made with

protected:
    CWaveWriter* NewWaveWriter() override { return new TestWriter(m_WriterOptions); }
    void ReadSettings(int& frequency, int& channels, unsigned& maxFileSize) const override
    {
        CAudioCtrl::ReadSettings(frequency, channels, maxFileSize);
        if (m_SplitBytes)
            maxFileSize = m_SplitBytes;
    }
    CBaseCapture* NewCaptureDevice(CaptureType type) override
    {
        if (type != kWasapiDevice && !m_bWaveIn)
            return nullptr;
        FakeCapture::s_Made.push_back(type == kLoopbackDevice ? L"loopback" : type == kWaveInDevice ? L"wavein" : L"wasapi");
        return new FakeCapture();
    }
};
