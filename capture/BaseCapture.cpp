#include "capture/BaseCapture.h"
#include "foundation/DateTime.h"
#include "foundation/Trace.h"

#include <cstring>
#include <new>

CBaseCapture::CBaseCapture() : m_Device(WAVE_MAPPER), m_State(CaptureClosed), m_Format(), m_pListener(nullptr),
    m_CapturedFrames(0), m_FirstFrameTime(0), m_FilledFrames(0), m_OpenError(S_OK), m_bQuietByDesign(false),
    m_StagingBytes(0), m_bStopRequested(0), m_pStaging(nullptr), m_Staged(0), m_StageQpc(0), m_ClockOffset(0), m_ClockTakenAt(0),
    m_bClockStale(1), m_bFirstPacket(true), m_NextQpc(0), m_NextPosition(kUnknownPosition), m_LastPacketQpc(0),
    m_bQuietStretch(false), m_QuietStaged(0), m_LastWakeQpc(0), m_TimelineStart(0)
{
}

CBaseCapture::~CBaseCapture()
{
    delete[] m_pStaging;
}

bool CBaseCapture::GetDeviceInfo(CaptureDeviceInfo* info)
{
    if (!info)
        return false;
    GetDeviceCaps(m_Device, info);
    return true;
}

unsigned CBaseCapture::GetDeviceCaps(unsigned, CaptureDeviceInfo* info)
{
    if (info)
        ZeroMemory(info, sizeof *info);
    return 0;
}

unsigned long long CBaseCapture::GetCapturedSeconds()
{
    if (!m_CapturedFrames || !m_Format.nSamplesPerSec)
        return 0;
    return m_CapturedFrames / m_Format.nSamplesPerSec;
}

long long CBaseCapture::Now()
{
    return PreciseUtcNow();
}

long long CBaseCapture::QpcNow()
{
    return CounterNow();
}

void CBaseCapture::ReadClocks(long long& qpc, long long& wall)
{
    qpc = QpcNow();
    wall = Now();
}

long long CBaseCapture::FramesToTicks(unsigned long long frames) const
{
    unsigned long long rate = m_Format.nSamplesPerSec ? m_Format.nSamplesPerSec : 1;
    return static_cast<long long>(frames / rate * 10000000ULL + frames % rate * 10000000ULL / rate);
}

unsigned long long CBaseCapture::TicksToFrames(long long ticks) const
{
    if (ticks <= 0)
        return 0;
    unsigned long long t = static_cast<unsigned long long>(ticks), rate = m_Format.nSamplesPerSec;
    // Rounded to the nearest frame.
    return t / 10000000ULL * rate + (t % 10000000ULL * rate + 5000000ULL) / 10000000ULL;
}

bool CBaseCapture::AllocateStaging()
{
    FreeStaging();
    m_StagingBytes = (m_Format.nSamplesPerSec / 30) * m_Format.nBlockAlign;
    m_pStaging = new (std::nothrow) char[m_StagingBytes ? m_StagingBytes : 1];
    return m_pStaging != nullptr;
}

void CBaseCapture::FreeStaging()
{
    delete[] m_pStaging;
    m_pStaging = nullptr;
    m_Staged = 0;
}

void CBaseCapture::BeginTimeline()
{
    m_Staged = 0;
    m_bFirstPacket = true;
    m_CapturedFrames = 0;
    m_FirstFrameTime = 0;
    m_NextPosition = kUnknownPosition;
    long long counter, wall;
    ReadClocks(counter, wall);
    m_LastPacketQpc = m_LastWakeQpc = counter;
    m_bStopRequested = 0;
    // A quiet source's timeline starts with the stream: silence from here
    // until the first packet says otherwise.
    m_NextQpc = counter;
    m_bQuietStretch = false;
    m_QuietStaged = 0;
    m_TimelineStart = 0;
}

bool CBaseCapture::Stalled(long long qpcNow) const
{
    return !m_bQuietByDesign && m_State == CaptureRunning && !m_bStopRequested && qpcNow - m_LastPacketQpc > kStallTicks;
}

void CBaseCapture::RefreshClock(long long qpcNow)
{
    if (!InterlockedExchange(&m_bClockStale, 0) && qpcNow - m_ClockTakenAt < 10000000LL && m_ClockTakenAt)
        return;
    long long counter, wall;
    ReadClocks(counter, wall);
    // A step: what is staged was captured by the clock before it.
    long long move = wall - counter - m_ClockOffset;
    if (m_ClockTakenAt && (move > kMaxClockMove || move < -kMaxClockMove))
        DeliverStaged();
    m_ClockOffset = wall - counter;
    m_ClockTakenAt = counter;
}

void CBaseCapture::WakeUp(long long qpcNow)
{
    long long away = qpcNow - m_LastWakeQpc;
    m_LastWakeQpc = qpcNow;
    if (!m_bQuietByDesign || m_State != CaptureRunning || m_bStopRequested || away <= kMaxFilledGap)
        return;
    // What played while the thread did not run is unknown: a break, as
    // for a microphone, and the timeline starts again now.
    DeliverStaged();
    Trace(L"CBaseCapture: the buffer thread did not run for %lld ms: the stream broke off\n", away / 10000);
    if (m_pListener)
        m_pListener->OnSoundGap(away);
    m_bFirstPacket = true;
    m_NextQpc = qpcNow;
    m_NextPosition = kUnknownPosition;
    m_TimelineStart = m_CapturedFrames;
}

void CBaseCapture::FillQuiet(long long qpcNow, bool upToNow)
{
    if (!m_bQuietByDesign || m_bStopRequested || !m_Format.nBlockAlign || m_State == CaptureClosed ||
        (!upToNow && m_State != CaptureRunning))
        return;
    if (!upToNow && qpcNow - m_LastPacketQpc < kQuietLagTicks)
        return;  // packets are coming: they say what played
    long long upTo = upToNow ? qpcNow : qpcNow - kQuietLagTicks;
    unsigned long long frames = upTo > m_NextQpc ? TicksToFrames(upTo - m_NextQpc) : 0;
    if (!frames)
        return;
    RefreshClock(qpcNow);
    // In seconds at most: a quiet day is staged a second at a time.
    for (unsigned long long left = frames; left > 0 && !m_bStopRequested;) {
        unsigned n = static_cast<unsigned>(left < m_Format.nSamplesPerSec ? left : m_Format.nSamplesPerSec);
        unsigned quiet = m_QuietStaged;
        Stage(nullptr, n, m_NextQpc);
        unsigned staged = m_Staged / m_Format.nBlockAlign;
        m_QuietStaged = quiet + n < staged ? quiet + n : staged;
        m_NextQpc += FramesToTicks(n);
        left -= n;
    }
    m_bFirstPacket = false;
    m_bQuietStretch = true;
    m_NextPosition = kUnknownPosition;
}

void CBaseCapture::StreamReplaced(const wchar_t* name)
{
    Trace(L"CBaseCapture: the stream goes on from %s\n", name ? name : L"the same endpoint");
    m_bQuietStretch = true;
    m_NextPosition = kUnknownPosition;
    if (m_pListener && name)
        m_pListener->OnSourceChanged(name);
}

unsigned CBaseCapture::PlaceAfterQuiet(long long qpc, unsigned frames)
{
    long long late = qpc - m_NextQpc;
    unsigned long long gap = TicksToFrames(late < 0 ? -late : late);
    if (late > 0 && gap) {
        Trace(L"CBaseCapture: nothing played for %llu frames\n", gap);
        FillQuiet(qpc, true);
        return 0;
    }
    if (!gap)
        return 0;
    unsigned back = gap < m_QuietStaged ? static_cast<unsigned>(gap) : m_QuietStaged;
    m_Staged -= back * m_Format.nBlockAlign;
    m_QuietStaged -= back;
    m_NextQpc -= FramesToTicks(back);
    gap -= back;
    // Nothing handed over yet: the timeline simply starts with this packet.
    if (!gap || (m_Staged == 0 && m_CapturedFrames == m_TimelineStart)) {
        m_NextQpc = qpc;
        return 0;
    }
    Trace(L"CBaseCapture: a packet came %llu frames after their silence was handed over: they are dropped\n", gap);
    return gap < frames ? static_cast<unsigned>(gap) : frames;
}

void CBaseCapture::TakePacket(const BYTE* data, unsigned frames, unsigned long long position, long long qpc,
                              bool discontinuity, long long qpcNow, unsigned buffered)
{
    if (!frames || !m_Format.nBlockAlign || m_bStopRequested)
        return;
    m_LastPacketQpc = qpcNow;
    // The offset from the counter to the wall clock follows the clock's
    // steps and slewing.
    RefreshClock(qpcNow);
    // A packet the device could not time, or timed in the future or before
    // its buffer could hold it, was read from the oldest buffered frames.
    long long held = FramesToTicks(buffered > frames ? buffered : frames);
    if (qpc <= 0 || qpc > qpcNow || qpcNow - qpc > held + kMaxFilledGap)
        qpc = qpcNow - held;
    bool placedAfresh = m_bFirstPacket;
    long long late = qpc - m_NextQpc;
    // A quiet source's first packet, or one after a quiet stretch (or after
    // a pause the engine marked, or one too short for silence to be placed
    // yet): it goes exactly where its time says, never a break.
    if (m_bQuietByDesign &&
        (m_bFirstPacket || m_bQuietStretch || late >= kSnapTicks || (discontinuity && late > 0))) {
        unsigned dropped = PlaceAfterQuiet(qpc, frames);
        if (data)
            data += static_cast<size_t>(dropped) * m_Format.nBlockAlign;
        frames -= dropped;
        qpc += FramesToTicks(dropped);
        if (position != kUnknownPosition)
            position += dropped;
        if (!frames)
            return;
        m_bQuietStretch = false;
        placedAfresh = true;
        qpc = m_NextQpc;
    } else if (!m_bFirstPacket) {
        bool positioned = position != kUnknownPosition && m_NextPosition != kUnknownPosition && position >= m_NextPosition;
        unsigned long long lost = positioned ? position - m_NextPosition : discontinuity && late > 0 ? TicksToFrames(late) : 0;
        // A quiet source breaks only when its thread did not run (WakeUp).
        if (m_bQuietByDesign && FramesToTicks(lost) > kMaxFilledGap)
            lost = 0;
        if (!m_bQuietByDesign && (late > kMaxFilledGap || FramesToTicks(lost) > kMaxFilledGap)) {
            // Suspended, or the stream stopped for a while: the frames before
            // the break are handed over, and the listener decides what the
            // break means for the recording.
            DeliverStaged();
            Trace(L"CBaseCapture: the stream broke off for %lld ms\n", (late > FramesToTicks(lost) ? late : FramesToTicks(lost)) / 10000);
            if (m_pListener)
                m_pListener->OnSoundGap(late);
            placedAfresh = true;
        } else if (lost > 0) {
            // Frames the device dropped: silence keeps the file's timeline true.
            m_FilledFrames += lost;
            Trace(L"CBaseCapture: %llu frames were lost, filled with silence (%llu in all)\n", lost, m_FilledFrames);
            Stage(nullptr, static_cast<unsigned>(lost), m_NextQpc);
            m_NextQpc += FramesToTicks(lost);
        }
    }
    // The packets' own times jitter by a period or so: each moves the
    // timeline a quarter of the way, which follows a sound card's drift
    // to within tens of microseconds. A time far off is taken as it is.
    long long placed = qpc;
    long long error = qpc - m_NextQpc;
    if (!placedAfresh && error > -kSnapTicks && error < kSnapTicks)
        placed = m_NextQpc + error / 4;
    m_bFirstPacket = false;
    Stage(data, frames, placed);
    m_QuietStaged = 0;
    m_NextQpc = placed + FramesToTicks(frames);
    m_NextPosition = position == kUnknownPosition ? kUnknownPosition : position + frames;
}

void CBaseCapture::Stage(const BYTE* data, unsigned frames, long long qpc)
{
    unsigned align = m_Format.nBlockAlign;
    unsigned done = 0;
    while (done < frames && !m_bStopRequested && m_pStaging && m_StagingBytes >= align) {
        if (m_Staged == 0)
            m_StageQpc = qpc + FramesToTicks(done);
        unsigned n = (m_StagingBytes - m_Staged) / align;
        if (n > frames - done)
            n = frames - done;
        if (data)
            memcpy(m_pStaging + m_Staged, data + static_cast<size_t>(done) * align, static_cast<size_t>(n) * align);
        else
            memset(m_pStaging + m_Staged, 0, static_cast<size_t>(n) * align);
        m_Staged += n * align;
        done += n;
        if (m_Staged + align > m_StagingBytes)
            DeliverStaged();
    }
}

void CBaseCapture::DeliverStaged()
{
    unsigned bytes = m_Staged;
    m_Staged = 0;
    m_QuietStaged = 0;
    if (bytes == 0 || m_bStopRequested || !m_Format.nBlockAlign)
        return;
    // The buffer's place on the wall clock, from its own capture time.
    m_FirstFrameTime = m_StageQpc + m_ClockOffset - FramesToTicks(m_CapturedFrames);
    m_CapturedFrames += bytes / m_Format.nBlockAlign;
    if (m_pListener && m_pListener->OnSoundData(m_pStaging, bytes) == 1)
        m_bStopRequested = 1;
}

long long CBaseCapture::FrameTime(unsigned long long frame) const
{
    return m_FirstFrameTime + FramesToTicks(frame);
}

unsigned long long CBaseCapture::FrameAt(long long time) const
{
    long long offset = time - m_FirstFrameTime;
    if (offset <= 0)
        return 0;
    unsigned long long ticks = static_cast<unsigned long long>(offset), rate = m_Format.nSamplesPerSec;
    // Rounded up: the frame at or after the time.
    return ticks / 10000000ULL * rate + (ticks % 10000000ULL * rate + 9999999ULL) / 10000000ULL;
}

WAVEFORMATEX CBaseCapture::PcmFormat(int channels, int samplesPerSec, int bitsPerSample)
{
    WAVEFORMATEX format = WAVEFORMATEX();
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(channels);
    format.nSamplesPerSec = static_cast<DWORD>(samplesPerSec);
    format.wBitsPerSample = static_cast<WORD>(bitsPerSample);
    format.nBlockAlign = static_cast<WORD>((bitsPerSample * channels + 7) / 8);
    format.nAvgBytesPerSec = format.nBlockAlign * format.nSamplesPerSec;
    return format;
}

void CBaseCapture::EndBufferThread(HANDLE volatile* thread, HANDLE event, DWORD timeoutMs, const wchar_t* device)
{
    HANDLE handle = InterlockedExchangePointer(reinterpret_cast<void* volatile*>(thread), nullptr);
    if (!handle)
        return;
    if (event)
        SetEvent(event);
    if (WaitForSingleObject(handle, timeoutMs) != WAIT_OBJECT_0) {
        Trace(L"%s::Close: the buffer thread did not end in %lu ms, terminating it\n", device, timeoutMs);
        TerminateThread(handle, 1);
        WaitForSingleObject(handle, 1000);
    }
    CloseHandle(handle);
}
