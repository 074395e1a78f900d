#include "capture/MMECapture.h"
#include "foundation/Trace.h"

#include <new>

CMMECapture::CMMECapture()
    : m_BufferSize(960), m_hWaveIn(nullptr), m_Headers(), m_Queued(), m_Next(0), m_hThread(nullptr),
      m_hEvent(nullptr), m_DriverFrames(0), m_bLost(false)
{
    InitializeCriticalSection(&m_BufferLock);
}

CMMECapture::~CMMECapture()
{
    Close();
    DeleteCriticalSection(&m_BufferLock);
}

void CMMECapture::Reset()
{
    m_BufferSize = 960;
    m_State = CaptureClosed;
    m_hWaveIn = nullptr;
    m_hThread = nullptr;
    m_hEvent = nullptr;
    m_Format = WAVEFORMATEX();
    ZeroMemory(m_Headers, sizeof m_Headers);
    ZeroMemory(m_Queued, sizeof m_Queued);
    m_Next = 0;
}

void CMMECapture::Initialize(CSoundListener* listener)
{
    m_pListener = listener;
    if (IsOpen())
        Release();
    Reset();
}

bool CMMECapture::SetDevice(unsigned index)
{
    if (index != WAVE_MAPPER && index >= waveInGetNumDevs())
        return false;
    m_Device = index;
    return true;
}

bool CMMECapture::Open(int channels, int samplesPerSec, int bitsPerSample, int option)
{
    Trace(L"CMMECapture::Open(%d, %d, %d, %d)\n", channels, samplesPerSec, bitsPerSample, option);
    if (m_hWaveIn)
        return false;
    m_hEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!m_hEvent) {
        Close();
        return false;
    }
    m_Format = PcmFormat(channels, samplesPerSec, bitsPerSample);
    HWAVEIN h = nullptr;
    if (waveInOpen(&h, m_Device, &m_Format, reinterpret_cast<DWORD_PTR>(m_hEvent), 0, CALLBACK_EVENT) !=
        MMSYSERR_NOERROR) {
        Close();
        return false;
    }
    m_hWaveIn = h;
    m_BufferSize = (m_Format.nSamplesPerSec / 30) * m_Format.nBlockAlign;
    if (!AllocateStaging()) {
        Close();
        return false;
    }
    for (int i = 0; i < kBufferCount; ++i) {
        WAVEHDR& header = m_Headers[i];
        ZeroMemory(&header, sizeof header);
        header.lpData = new (std::nothrow) char[m_BufferSize];
        header.dwBufferLength = m_BufferSize;
        if (!header.lpData || waveInPrepareHeader(h, &header, sizeof header) != MMSYSERR_NOERROR) {
            Close();
            return false;
        }
    }
    m_Next = 0;
    m_State = CaptureOpen;
    m_hThread = CreateThread(nullptr, 0, BufferThreadProc, this, 0, nullptr);
    if (!m_hThread) {
        // Without its buffer thread the device would open and deliver nothing.
        Trace(L"CMMECapture::Open: no buffer thread (%lu)\n", GetLastError());
        Close();
        return false;
    }
    return true;
}

bool CMMECapture::Start()
{
    Trace(L"CMMECapture::Start()\n");
    HWAVEIN h = m_hWaveIn;
    if (!h)
        return false;
    if (m_State == CaptureRunning)
        return true;
    EnterCriticalSection(&m_BufferLock);
    bool ok = waveInReset(h) == MMSYSERR_NOERROR;
    for (int i = 0; ok && i < kBufferCount; ++i) {
        m_Headers[i].dwBytesRecorded = 0;
        m_Headers[i].dwUser = 0;
        m_Queued[i] = waveInAddBuffer(h, &m_Headers[i], sizeof m_Headers[i]) == MMSYSERR_NOERROR;
        ok = m_Queued[i];
    }
    m_Next = 0;
    LeaveCriticalSection(&m_BufferLock);
    if (!ok)
        return false;
    BeginTimeline();
    m_DriverFrames = 0;
    m_bLost = false;
    m_State = CaptureRunning;
    if (waveInStart(h) == MMSYSERR_NOERROR)
        return true;
    m_State = CaptureOpen;
    return false;
}

bool CMMECapture::Stop()
{
    HWAVEIN h = m_hWaveIn;
    if (!h)
        return false;
    if (m_State == CaptureRunning)
        Trace(L"CMMECapture::Stop()\n");
    EnterCriticalSection(&m_BufferLock);
    m_State = CaptureOpen;
    // The reset hands every queued buffer back as done, with what it holds;
    // the buffer thread delivers those and queues nothing while stopped.
    bool ok = waveInReset(h) == MMSYSERR_NOERROR;
    LeaveCriticalSection(&m_BufferLock);
    if (m_hEvent)
        SetEvent(m_hEvent);
    return ok;
}

void CMMECapture::FreeBuffers(HWAVEIN h)
{
    for (int i = 0; i < kBufferCount; ++i) {
        WAVEHDR& header = m_Headers[i];
        if (h && (header.dwFlags & WHDR_PREPARED))
            waveInUnprepareHeader(h, &header, sizeof header);
        delete[] header.lpData;
        ZeroMemory(&header, sizeof header);
        m_Queued[i] = false;
    }
}

void CMMECapture::Close()
{
    if (!m_hWaveIn && !m_hThread && !m_hEvent)
        return;
    Trace(L"CMMECapture::Close()\n");
    // The reset in Stop hands back the buffers in flight: they are delivered
    // before the state closes, not left to the buffer thread's timing.
    if (Stop() && m_State == CaptureOpen) {
        DeliverCompleted();
        EnterCriticalSection(&m_BufferLock);
        DeliverStaged();
        LeaveCriticalSection(&m_BufferLock);
    }
    m_State = CaptureClosed;
    HWAVEIN h = static_cast<HWAVEIN>(InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&m_hWaveIn), nullptr));
    EndBufferThread(&m_hThread, m_hEvent, kThreadEndMs, L"CMMECapture");
    if (h) {
        waveInReset(h);
        FreeBuffers(h);
        waveInClose(h);
    } else {
        FreeBuffers(nullptr);
    }
    HANDLE event = InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&m_hEvent), nullptr);
    if (event)
        CloseHandle(event);
    FreeStaging();
}

DWORD WINAPI CMMECapture::BufferThreadProc(void* param)
{
    static_cast<CMMECapture*>(param)->BufferThread();
    return 0;
}

long long CMMECapture::BufferTime(DWORD frames, long long qpcNow)
{
    // The position counts every frame the driver captured, the buffers it
    // still fills included; without one the buffer is taken to end now.
    DWORD behind = frames;
    MMTIME position;
    position.wType = TIME_SAMPLES;
    if (m_hWaveIn && waveInGetPosition(m_hWaveIn, &position, sizeof position) == MMSYSERR_NOERROR &&
        position.wType == TIME_SAMPLES) {
        DWORD after = position.u.sample - m_DriverFrames;  // modulo 2^32, as the position wraps
        if (after >= frames && after - frames <= static_cast<DWORD>(kBufferCount) * (m_BufferSize / m_Format.nBlockAlign))
            behind = after;
    }
    return qpcNow - FramesToTicks(behind);
}

bool CMMECapture::DeliverCompleted()
{
    EnterCriticalSection(&m_BufferLock);
    bool goOn = true;
    bool lost = false;
    // Buffers complete in the order they were queued: take them from the
    // head of the ring for as long as they are done, passing over any that
    // could not be queued again.
    for (int seen = 0; seen < kBufferCount && goOn; ++seen) {
        WAVEHDR& header = m_Headers[m_Next];
        if (m_Queued[m_Next]) {
            DWORD flags = *reinterpret_cast<volatile DWORD*>(&header.dwFlags);
            if (!(flags & WHDR_DONE))
                break;
            DWORD bytes = header.dwBytesRecorded;
            DWORD frames = m_Format.nBlockAlign ? bytes / m_Format.nBlockAlign : 0;
            if (frames > 0) {
                long long qpcNow = QpcNow();
                TakePacket(reinterpret_cast<const BYTE*>(header.lpData), frames, kUnknownPosition,
                           BufferTime(frames, qpcNow), false, qpcNow, frames);
                m_DriverFrames += frames;
            }
            if (m_bStopRequested) {
                m_State = CaptureClosed;
                goOn = false;
            }
            header.dwBytesRecorded = 0;
            m_Queued[m_Next] = false;
            if (goOn && m_State == CaptureRunning && m_hWaveIn) {
                MMRESULT result = waveInAddBuffer(m_hWaveIn, &header, sizeof header);
                m_Queued[m_Next] = result == MMSYSERR_NOERROR;
                if (!m_Queued[m_Next]) {
                    header.dwFlags &= WHDR_PREPARED;
                    Trace(L"CMMECapture: a buffer could not be queued again (%u)\n", result);
                    lost = true;
                }
            }
        }
        m_Next = (m_Next + 1) % kBufferCount;
    }
    // Out of queued buffers the driver delivers nothing more: the device is gone.
    bool report = goOn && m_State == CaptureRunning && !m_bLost && (lost || Stalled(QpcNow()));
    if (report) {
        m_bLost = true;
        DeliverStaged();
    }
    LeaveCriticalSection(&m_BufferLock);
    if (report) {
        Trace(L"CMMECapture: the capture device was lost\n");
        if (m_pListener)
            m_pListener->OnDeviceLost();
    }
    return goOn;
}

void CMMECapture::BufferThread()
{
    while (m_State != CaptureClosed) {
        // The timeout lets the watchdog see a driver that stopped delivering.
        WaitForSingleObject(m_hEvent, 1000);
        if (m_State == CaptureClosed)
            break;
        if (!DeliverCompleted()) {
            // The listener asked to stop: the device stops capturing here; its
            // owner's Close waits for this thread and frees the rest.
            EnterCriticalSection(&m_BufferLock);
            if (m_hWaveIn)
                waveInReset(m_hWaveIn);
            LeaveCriticalSection(&m_BufferLock);
            break;
        }
        if (m_bLost)
            break;
    }
}

unsigned CMMECapture::GetDeviceCaps(unsigned index, CaptureDeviceInfo* info)
{
    unsigned count = waveInGetNumDevs();
    if (info) {
        ZeroMemory(info, sizeof *info);
        WAVEINCAPSW caps;
        if (waveInGetDevCapsW(index, &caps, sizeof caps) == MMSYSERR_NOERROR) {
            info->m_ManufacturerId = caps.wMid;
            info->m_ProductId = caps.wPid;
            info->m_DriverVersion = caps.vDriverVersion;
            lstrcpynW(info->m_Name, caps.szPname, 32);
            info->m_Formats = caps.dwFormats;
            info->m_Channels = caps.wChannels;
        }
    }
    return count;
}

int CMMECapture::FindDevice(const wchar_t* name, const wchar_t*, int flag)
{
    if (flag || !name)
        return -1;
    unsigned count = waveInGetNumDevs();
    for (unsigned i = 0; i < count; ++i) {
        WAVEINCAPSW caps;
        if (waveInGetDevCapsW(i, &caps, sizeof caps) == MMSYSERR_NOERROR && wcscmp(caps.szPname, name) == 0)
            return static_cast<int>(i);
    }
    return -1;
}
