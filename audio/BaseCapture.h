// The abstract sound-input device: selected by index, opened with a PCM
// format, started and stopped; it hands every filled buffer to a listener.
#pragma once

#include "audio/CaptureDeviceInfo.h"
#include "audio/SoundListener.h"

#include <windows.h>
#include <mmreg.h>
#include <mmsystem.h>

enum CaptureState { CaptureClosed = 0, CaptureOpen = 1, CaptureRunning = 2 };

class CBaseCapture {
public:
    CBaseCapture();
    virtual ~CBaseCapture() {}
    CBaseCapture(const CBaseCapture&) = delete;
    CBaseCapture& operator=(const CBaseCapture&) = delete;

    virtual void Initialize(CSoundListener* listener) { m_pListener = listener; }
    virtual void Release() { Close(); }
    virtual bool SetDevice(unsigned index)
    {
        m_Device = index;
        return true;
    }
    virtual bool Open(int, int, int, int) { return false; }
    virtual void Close() {}
    virtual bool Start() { return true; }
    virtual bool Stop() { return true; }
    virtual unsigned GetDevice() { return m_Device; }
    virtual bool GetDeviceInfo(CaptureDeviceInfo* info);
    virtual unsigned GetDeviceCaps(unsigned index, CaptureDeviceInfo* info);
    virtual int FindDevice(const wchar_t*, const wchar_t*, int) { return -1; }
    virtual bool IsOpen() { return false; }
    virtual bool IsCapturing() { return m_State == CaptureRunning; }
    virtual int QueryReserved1() { return 0; }
    virtual int QueryReserved2() { return 0; }
    virtual const WAVEFORMATEX* GetFormat() { return &m_Format; }
    virtual int QueryReserved3() { return 0; }
    virtual unsigned long long GetCapturedSeconds();
    virtual void ResetCapturedCount() { m_CapturedFrames = 0; }

    volatile unsigned m_Device;
    volatile LONG m_State;
    WAVEFORMATEX m_Format;
    CSoundListener* m_pListener;
    volatile unsigned long long m_CapturedFrames;
    // When frame 0 since the last Start was captured, in UTC 100-ns units
    // (0 until the first buffer); later frames follow at the sampling rate.
    volatile long long m_FirstFrameTime;

    // The capture time of a frame counted since the last Start; the cuts
    // between programs go by it.
    long long FrameTime(unsigned long long frame) const;
    // The first frame captured at or after a time (frames before frame 0 count as 0).
    unsigned long long FrameAt(long long time) const;
    // Now on the capture clock: UTC, 100-ns units.
    static long long Now();
    // 16-bit style PCM: whole bytes per frame, no extra bytes.
    static WAVEFORMATEX PcmFormat(int channels, int samplesPerSec, int bitsPerSample);

protected:
    // Ends a device's buffer thread: it sees the closed state when woken and
    // ends after the delivery it may be in (a file write on a slow disk can
    // take a while); killing it could leave the heap lock or a file write
    // held, so that is the last resort. The handle is taken out atomically,
    // so only one caller ever waits for it.
    static void EndBufferThread(HANDLE volatile* thread, HANDLE event, DWORD timeoutMs, const wchar_t* device);
};
