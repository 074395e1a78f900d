// Capture device over the winmm wave-input functions. A ring of 1/30-second
// buffers stays queued with the driver, enough to ride out a stall of the
// buffer thread of about a second; each wake-up hands over every completed
// buffer in queue order.
#pragma once

#include "capture/BaseCapture.h"

class CMMECapture : public CBaseCapture {
public:
    static constexpr int kBufferCount = 32;
    // How long Close waits for the buffer thread before it kills it.
    static constexpr DWORD kThreadEndMs = 15000;

    CMMECapture();
    ~CMMECapture() override;

    void Initialize(CSoundListener* listener) override;
    bool SetDevice(unsigned index) override;
    bool Open(int channels, int samplesPerSec, int bitsPerSample, int option) override;
    void Close() override;
    bool Start() override;
    bool Stop() override;
    unsigned GetDeviceCaps(unsigned index, CaptureDeviceInfo* info) override;
    int FindDevice(const wchar_t* name, const wchar_t* id, int flag) override;
    bool IsOpen() override { return m_hWaveIn != nullptr; }

    unsigned GetBufferSize() const { return m_BufferSize; }

private:
    static DWORD WINAPI BufferThreadProc(void* param);
    void BufferThread();
    // Hands over the completed buffers at the head of the ring; false when
    // the listener asked to stop.
    bool DeliverCompleted();
    void FreeBuffers(HWAVEIN hWaveIn);
    void Reset();
    // The capture time of a completed buffer: the driver's position says
    // how much was captured after its first frame.
    long long BufferTime(DWORD frames, long long qpcNow);

    unsigned m_BufferSize;
    HWAVEIN volatile m_hWaveIn;
    WAVEHDR m_Headers[kBufferCount];
    bool m_Queued[kBufferCount];
    int m_Next;  // the buffer the driver completes next
    HANDLE volatile m_hThread;
    HANDLE volatile m_hEvent;
    DWORD m_DriverFrames;  // frames the driver has handed back since Start (wraps as its position does)
    // A buffer could not be queued again, or the stream stalled: told once.
    bool m_bLost;
    // Keeps Start and Stop from re-queuing a buffer the buffer thread is handling.
    CRITICAL_SECTION m_BufferLock;
};
