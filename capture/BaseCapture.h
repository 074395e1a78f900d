// The abstract sound-input device: selected by index, opened with a PCM
// format, started and stopped; it hands every filled buffer to a listener.
// The devices feed their packets through TakePacket, which keeps the
// stream's timeline: every buffer is stamped with the capture time of its
// first frame, lost frames are filled with silence, and a longer break is
// reported to the listener.
#pragma once

#include "capture/CaptureDeviceInfo.h"
#include "capture/SoundListener.h"

#include <windows.h>
#include <mmreg.h>
#include <mmsystem.h>

enum CaptureState { CaptureClosed = 0, CaptureOpen = 1, CaptureRunning = 2 };

class CBaseCapture {
public:
    CBaseCapture();
    virtual ~CBaseCapture();
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
    // The time frame 0 since the last Start would have had, in UTC 100-ns
    // units, as the latest buffer places it (0 until the first buffer): each
    // buffer is placed again from its own capture time, so the frame times
    // follow the sound card's drift and the wall clock's steps.
    volatile long long m_FirstFrameTime;

    // Silence frames that stood in for lost ones since the device was made
    // (the buffer thread's; its trace line gives the total).
    unsigned long long m_FilledFrames;
    // Why the last Open failed (E_ACCESSDENIED: Windows' microphone privacy
    // setting); S_OK when it did not or the device cannot say.
    HRESULT m_OpenError;

    // Gaps up to this long are filled with silence; a longer one is a break.
    static constexpr long long kMaxFilledGap = 2 * 10000000LL;
    // No packet for this long while running counts as a lost device.
    static constexpr long long kStallTicks = 3 * 10000000LL;
    // A source quiet by design places silence for the time no packet came,
    // this far behind the clock: a packet this late still finds its place.
    static constexpr long long kQuietLagTicks = 5000000;  // 500 ms
    static constexpr unsigned long long kUnknownPosition = ~0ULL;
    // A new offset of the wall clock further than this is a step.
    static constexpr long long kMaxClockMove = 200000;  // 20 ms
    // A packet time this far from where the timeline expects it is taken as it is.
    static constexpr long long kSnapTicks = 500000;  // 50 ms

    // The capture time of a frame counted since the last Start; the cuts
    // between programs go by it.
    long long FrameTime(unsigned long long frame) const;
    // The first frame captured at or after a time (frames before frame 0 count as 0).
    unsigned long long FrameAt(long long time) const;
    // Now on the wall clock: UTC, 100-ns units.
    static long long Now();
    // The performance counter in 100-ns units: never stepped.
    static long long QpcNow();
    // The wall clock was set or the system resumed (any thread): the next
    // packet takes the counter-to-UTC offset again.
    void ClockChanged() { InterlockedExchange(&m_bClockStale, 1); }
    // 16-bit style PCM: whole bytes per frame, no extra bytes.
    static WAVEFORMATEX PcmFormat(int channels, int samplesPerSec, int bitsPerSample);

protected:
    // The buffers handed to the listener: 1/30 s at the opened format.
    bool AllocateStaging();
    void FreeStaging();
    // At Start: a fresh timeline, its first packet no gap.
    void BeginTimeline();
    // One packet, on the buffer thread under the device's delivery lock:
    // frames (data null: silence), the device position of its first frame
    // (kUnknownPosition when the device has none), its capture time on the
    // counter (0, or implausible: qpcNow less the buffered frames, this
    // packet's included, stands in), and whether the device said frames
    // were lost before it.
    void TakePacket(const BYTE* data, unsigned frames, unsigned long long position, long long qpc, bool discontinuity,
                    long long qpcNow, unsigned buffered);
    // Hands the staged part buffer to the listener.
    void DeliverStaged();
    // Whether a running stream has delivered nothing for kStallTicks (never
    // for a source quiet by design: quiet is what it plays).
    bool Stalled(long long qpcNow) const;

    // Sources quiet by design (what the PC plays) deliver no packet while
    // nothing plays: the timeline runs on through it. Set before Start.
    bool m_bQuietByDesign;
    // On the buffer thread at every wake-up, before it reads (under the
    // delivery lock): a thread that did not run for kMaxFilledGap (the PC
    // slept) breaks a quiet source's stream; nothing says it was quiet.
    void WakeUp(long long qpcNow);
    // After it read: silence for the time nothing came, placed by the
    // capture clock, up to kQuietLagTicks ago, or up to now at a stop.
    void FillQuiet(long long qpcNow, bool upToNow);
    // Another stream goes on in this timeline (the default output changed,
    // or the same one was reset: name null): its first packet is placed by
    // its own time, the gap silent. The listener hears of a new endpoint.
    void StreamReplaced(const wchar_t* name);
    // A seam for the tests: the counter and the wall clock read together.
    virtual void ReadClocks(long long& qpc, long long& wall);
    long long FramesToTicks(unsigned long long frames) const;
    unsigned long long TicksToFrames(long long ticks) const;

    unsigned m_StagingBytes;
    volatile LONG m_bStopRequested;  // the listener returned 1

    // Ends a device's buffer thread: it sees the closed state when woken and
    // ends after the delivery it may be in (a file write on a slow disk can
    // take a while); killing it could leave the heap lock or a file write
    // held, so that is the last resort. The handle is taken out atomically,
    // so only one caller ever waits for it.
    static void EndBufferThread(HANDLE volatile* thread, HANDLE event, DWORD timeoutMs, const wchar_t* device);

private:
    void Stage(const BYTE* data, unsigned frames, long long qpc);
    // The counter-to-UTC offset, taken again every second and after a change.
    void RefreshClock(long long qpcNow);
    // A quiet source's packet after a quiet stretch goes where its time
    // says: silence up to it, or, when silence was placed past its start,
    // that silence taken back while it is still staged and the packet's
    // overlapping frames dropped when it is not. Returns the frames dropped.
    unsigned PlaceAfterQuiet(long long qpc, unsigned frames);

    // The buffer thread's timeline, under the device's delivery lock.
    char* m_pStaging;
    unsigned m_Staged;      // bytes
    long long m_StageQpc;   // capture time of the staged first frame
    long long m_ClockOffset;  // UTC less counter
    long long m_ClockTakenAt;
    volatile LONG m_bClockStale;
    bool m_bFirstPacket;
    long long m_NextQpc;               // where the next packet should start
    unsigned long long m_NextPosition;
    volatile long long m_LastPacketQpc;
    // A quiet source's: silence was placed since the last packet; staged
    // silence frames at the end of the staging buffer; the last wake-up.
    bool m_bQuietStretch;
    unsigned m_QuietStaged;
    long long m_LastWakeQpc;
    // m_CapturedFrames when the timeline last started (Start, a break).
    unsigned long long m_TimelineStart;
};
