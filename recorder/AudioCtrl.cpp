#include "recorder/AudioCtrl.h"
#include "capture/LoopbackCapture.h"
#include "capture/MMECapture.h"
#include "capture/WasapiCapture.h"
#include "config/AppParameter.h"
#include "foundation/Format.h"
#include "foundation/RecordingNotice.h"
#include "foundation/Trace.h"
#include "programs/ProgramSource.h"
#include "recorder/RecordingLevel.h"

#include <new>
#include <objbase.h>

CAudioCtrl::CAudioCtrl()
    : m_pCapture(nullptr), m_Frequency(48000), m_Channels(2), m_Bits(16), m_OpenOption(200),
      m_hThread(nullptr), m_ThreadId(0), m_bQuit(0), m_bRecording(0), m_Task(0), m_Format(),
      m_MaxFileSize(104857600u), m_hNoticeWnd(nullptr), m_bSessionAway(0), m_Current(), m_bNextPending(0),
      m_Next(), m_EndedStopAt(0), m_EndedFrame(0), m_bAfterBreak(false), m_bLoopback(false), m_bStandIn(false), m_pWriter(nullptr), m_pStation(nullptr), m_bStationRecording(0), m_pStationWriter(nullptr),
      m_LastOpenError(S_OK), m_OpenedName(), m_OpenedId(), m_Source()
{
    InitializeCriticalSection(&m_CutLock);
}

CAudioCtrl::~CAudioCtrl()
{
    delete m_pStation;  // its reader ends first: nothing feeds the writers after
    delete m_pStationWriter;
    delete m_pWriter;   // its thread ends once the queue is written
    DeleteCriticalSection(&m_CutLock);
}

CWaveWriter* CAudioCtrl::NewWaveWriter()
{
    return new (std::nothrow) CWaveWriter();
}

CStationRecorder* CAudioCtrl::NewStationRecorder()
{
    return new (std::nothrow) CStationRecorder(&m_CutLock, m_hNoticeWnd, &m_bQuit);
}

CBaseCapture* CAudioCtrl::NewCaptureDevice(CaptureType type)
{
    if (type == kWasapiDevice)
        return new (std::nothrow) CWasapiCapture();
    if (type == kLoopbackDevice)
        return new (std::nothrow) CLoopbackCapture();
    return new (std::nothrow) CMMECapture();
}

DWORD WINAPI CAudioCtrl::ThreadProc(void* param)
{
    CAudioCtrl* self = static_cast<CAudioCtrl*>(param);
    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(hr)) {
        Trace(L"Unable to initialize COM in AudioCtrl thread: %x\n", static_cast<unsigned>(hr));
        return 0;
    }
    self->TaskExecute();
    CoUninitialize();
    Trace(L"Exit AudioCtrl thread\n");
    return 0;
}

void CAudioCtrl::TaskExecute()
{
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // the queue exists before the id is published
    m_ThreadId = GetCurrentThreadId();
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (m_bQuit) {
            if (msg.message == WM_CAPTURE_START)
                delete reinterpret_cast<RecordingParameters*>(msg.lParam);
            if (msg.message == WM_CAPTURE_OPEN)
                delete[] reinterpret_cast<wchar_t*>(msg.lParam);
            break;
        }
        switch (msg.message) {
        case WM_CAPTURE_OPEN:
            CaptureOpen(reinterpret_cast<wchar_t*>(msg.lParam), static_cast<unsigned long long>(msg.wParam));
            delete[] reinterpret_cast<wchar_t*>(msg.lParam);
            break;
        case WM_CAPTURE_START: CaptureStart(reinterpret_cast<RecordingParameters*>(msg.lParam)); break;
        case WM_CAPTURE_CLOSE: CaptureClose(static_cast<long long>(msg.wParam)); break;
        case WM_CAPTURE_STOP_AT: CaptureStopAt(static_cast<long long>(msg.wParam)); break;
        case WM_CAPTURE_RELEASE: CaptureRelease(); break;
        case WM_CAPTURE_LOST: CaptureLost(); break;
        case WM_CAPTURE_CLOCK: CaptureClock(); break;
        default: break;
        }
        Trace(L"[TaskExecute] msg = 0x%08X\n", msg.message);
    }
    // Exit while recording: stop and close the device before the file, so
    // the file is complete and no buffer arrives after it is closed.
    if (m_pCapture || m_bRecording || m_pStation)
        CaptureClose();
    m_ThreadId = 0;
}

void CAudioCtrl::ReadSettings(int& frequency, int& channels, unsigned& maxFileSize) const
{
    frequency = m_Frequency;
    channels = m_Channels;
    maxFileSize = m_MaxFileSize;
    if (!g_pConfig)
        return;
    int f = g_pConfig->m_Frequency, c = g_pConfig->m_Channels;
    frequency = f < 8000 ? 8000 : (f > 96000 ? 96000 : f);
    channels = c < 1 ? 1 : (c > 2 ? 2 : c);
    long long limit = static_cast<long long>(g_pConfig->m_WavMaxSize) * 1048576LL;
    // 0 (or an empty field) means no split; a negative size would wrap
    // to just under 4 GiB. Both take the largest size a header can hold.
    if (limit <= 0 || limit > kMaxFileData)
        limit = kMaxFileData;
    maxFileSize = static_cast<unsigned>(limit);
}

void CAudioCtrl::LoadParameters()
{
    unsigned maxFileSize;
    ReadSettings(m_Frequency, m_Channels, maxFileSize);
    m_MaxFileSize = maxFileSize;
    m_Format = CBaseCapture::PcmFormat(m_Channels, m_Frequency, m_Bits);
}

void CAudioCtrl::DestroyCapture()
{
    delete m_pCapture;
    m_pCapture = nullptr;
}

bool CAudioCtrl::CreateCaptureDevice(CaptureType type)
{
    DestroyCapture();
    m_pCapture = NewCaptureDevice(type);
    if (!m_pCapture)
        return false;
    m_pCapture->Initialize(this);
    // The waveIn type knows names cut to 31 characters only.
    wchar_t name[256];
    lstrcpynW(name, m_OpenedName, type == kWaveInDevice ? 32 : 256);
    int index = m_pCapture->FindDevice(name, m_OpenedId, 0);
    Trace(L"[CAudioCtrl] capture device num = %d\n", index);
    // A choice that matches no device has the default one stand in; the
    // default output of loopback:default is the choice itself.
    bool chosen = (m_OpenedName[0] || m_OpenedId[0]) && wcscmp(m_OpenedId, CLoopbackCapture::kDefaultId) != 0;
    m_bStandIn = chosen && index < 0;
    if (m_pCapture->SetDevice(static_cast<unsigned>(index))) {
        Trace(L"[CAudioCtrl] created capture device\n");
        return true;
    }
    DestroyCapture();
    Trace(L"[CAudioCtrl] can't created capture device\n");
    return false;
}

void CAudioCtrl::PostNotice(WPARAM notice, const wchar_t* detail)
{
    PostRecordingNotice(m_hNoticeWnd, notice, detail);
}

bool CAudioCtrl::OpenCaptureDevice()
{
    static const CaptureType kTypes[] = {kWasapiDevice, kWaveInDevice, kLoopbackDevice};
    // Read once: every type tried opens the same choice.
    ChosenDevice(m_OpenedName, m_OpenedId, 256);
    // What the PC plays has no waveIn counterpart: the default microphone
    // would stand in for it unasked.
    bool loopback = CLoopbackCapture::IsLoopbackId(m_OpenedId);
    m_LastOpenError = S_OK;
    for (CaptureType type : kTypes) {
        if ((type == kLoopbackDevice) != loopback)
            continue;
        if (type == kWaveInDevice)
            Trace(L"[CaptureOpen] WASAPI capture failed, falling back to waveIn\n");
        bool created = CreateCaptureDevice(type);
        m_bLoopback = loopback;  // the device before is gone: nothing delivers
        if (!created) {
            Trace(L"[CaptureOpen] not create capture device\n");
        } else if (m_pCapture->Open(m_Channels, m_Frequency, 16, m_OpenOption)) {
            Trace(L"[CaptureOpen] open capture\n");
            return true;
        } else {
            Trace(L"[CaptureOpen] capture device open error\n");
            if (type != kWaveInDevice)
                m_LastOpenError = m_pCapture->m_OpenError;
        }
    }
    return false;
}

bool CAudioCtrl::OpenWithRetries(bool tell)
{
    while (TaskStands()) {
        UINT task = m_Task;
        LONG away = m_bSessionAway;
        if (!away && OpenCaptureDevice())
            return true;
        // The recording should be running by now: the user hears of it once,
        // and the retries go on quietly while the program lasts. Access
        // denied by Windows, or another user at the console, is said as
        // such: the user has something to change.
        if (task == WM_CAPTURE_START && tell) {
            PostNotice(away                                ? kNoticeSessionAway
                       : m_bLoopback                       ? kNoticeLoopbackFailed
                       : m_LastOpenError == E_ACCESSDENIED ? kNoticeAccessDenied
                                                           : kNoticeDeviceFailed);
            tell = false;
        }
        // The start request, or the session coming back, ends the pause: one more attempt right then.
        for (int i = 0; i < 100 && TaskStands() && m_Task == task && m_bSessionAway == away; ++i)
            Sleep(100);
    }
    return false;
}

void CAudioCtrl::TellIfStandIn()
{
    if (!m_bStandIn || !m_pCapture || !m_pCapture->IsOpen())
        return;
    CaptureDeviceInfo used;
    if (!m_pCapture->GetDeviceInfo(&used))
        used.m_Name[0] = L'\0';
    wchar_t detail[520];
    FormatText(detail, 520, L"%s\t%s", m_OpenedName[0] ? m_OpenedName : m_OpenedId, used.m_Name);
    Trace(L"[CAudioCtrl] the chosen device %s is not there: %s stands in\n", m_OpenedName, used.m_Name);
    PostNotice(kNoticeDeviceAbsent, detail);
}

void CAudioCtrl::StartDevice()
{
    m_PreRoll.Reset(m_Frequency * kPreRollSeconds, m_Format.nBlockAlign, m_Frequency);
    m_EndedStopAt = 0;  // a new run of the device counts its frames afresh
    if (m_pCapture->Start())
        Trace(L"[CaptureOpen] capture runs ahead of the start\n");
}

void CAudioCtrl::ChosenDevice(wchar_t* name, wchar_t* id, int size) const
{
    name[0] = id[0] = L'\0';
    if (g_pConfig)
        g_pConfig->GetCaptureDevice(name, id, size);
    // A program's own device is found by its id alone; the settings' device
    // chosen as a program's own is the same choice (no new open between).
    if (ProgramSource::IsDevice(m_Source) && wcscmp(id, m_Source) != 0) {
        name[0] = L'\0';
        lstrcpynW(id, m_Source, size);
    }
}

void CAudioCtrl::CaptureOpen(const wchar_t* source, unsigned long long variant)
{
    // A station needs no device: its reader connects, whatever records now.
    if (ProgramSource::IsStation(source)) {
        Trace(L"[CaptureOpen] a station's program: its stream is connected\n");
        if (StationRecorder())
            m_pStation->Connect(source, variant);
        return;
    }
    m_bRecording = 0;
    lstrcpynW(m_Source, source ? source : L"", RecordingParameters::kSourceSize);
    LoadParameters();
    if (OpenWithRetries(true))
        StartDevice();
}

bool CAudioCtrl::StationRecorder()
{
    if (!m_pStation)
        m_pStation = NewStationRecorder();
    if (!m_pStationWriter)
        m_pStationWriter = NewWaveWriter();
    return m_pStation && m_pStationWriter;
}

void CAudioCtrl::StartStation(RecordingParameters* recording)
{
    if (!StationRecorder()) {
        TellNothingRecorded(recording->m_Prefix);
        return;
    }
    unsigned maxFileSize;
    int frequency, channels;
    ReadSettings(frequency, channels, maxFileSize);
    recording->m_MaxFileSize = maxFileSize;
    EnterCriticalSection(&m_CutLock);
    m_pStationWriter->m_hNoticeWnd = m_hNoticeWnd;
    LeaveCriticalSection(&m_CutLock);
    m_bStationRecording = 1;
    m_pStation->Start(*recording, m_pStationWriter);
}

void CAudioCtrl::TellSource(RecordingParameters* recording)
{
    if (ProgramSource::Kind(recording->m_Source) != kSourceUnknown)
        return;
    wchar_t detail[RecordingParameters::kSourceSize + RecordingTags::kTitleSize + 1];
    FormatText(detail, RecordingParameters::kSourceSize + RecordingTags::kTitleSize + 1, L"%s\t%s",
               recording->m_Tags.m_Title, recording->m_Source);
    Trace(L"[CaptureStart] the source is not understood, the settings' device records: %s\n", recording->m_Source);
    PostNotice(kNoticeSourceNotUnderstood, detail);
}

bool CAudioCtrl::SettingsChanged(unsigned& maxFileSize) const
{
    // Read only: the device still delivers in the format it was opened with.
    int frequency, channels;
    ReadSettings(frequency, channels, maxFileSize);
    wchar_t name[256] = L"", id[256] = L"";
    ChosenDevice(name, id, 256);
    return frequency != m_Frequency || channels != m_Channels || wcscmp(name, m_OpenedName) != 0 ||
           wcscmp(id, m_OpenedId) != 0;
}

void CAudioCtrl::OnDeviceLost()
{
    // On the capture thread, which cannot close its own device: the audio
    // thread does.
    if (m_ThreadId)
        PostThreadMessageW(m_ThreadId, WM_CAPTURE_LOST, 0, 0);
}

void CAudioCtrl::CaptureLost()
{
    // A close or exit requested meanwhile does the tearing down itself.
    if (!m_pCapture || m_bQuit || (m_Task != WM_CAPTURE_START && m_Task != WM_CAPTURE_OPEN))
        return;
    bool recording = m_bRecording != 0;
    if (!recording && m_Task == WM_CAPTURE_START)
        return;  // the recording reached its stop; the close follows
    Trace(recording ? L"[CaptureLost] the capture device was lost: the file is closed and the device opened again\n"
                    : L"[CaptureLost] the capture device was lost before the start: it is opened again\n");
    m_pCapture->Stop();
    m_pCapture->Close();
    DestroyCapture();
    if (recording) {
        EnterCriticalSection(&m_CutLock);
        m_pWriter->Break();
        m_bAfterBreak = false;  // told here, once
        LeaveCriticalSection(&m_CutLock);
        PostNotice(m_bSessionAway ? kNoticeSessionAway : kNoticeDeviceLost);
    }
    // Lost in the lead-in: the user hears of it only if no device is back by the start.
    if (!OpenWithRetries(!recording))
        return;
    StartDevice();
    if (recording) {
        Trace(L"[CaptureLost] the recording goes on in the next file\n");
        TellIfStandIn();
    }
}

void CAudioCtrl::SessionAway(bool away)
{
    Trace(away ? L"[CAudioCtrl] another user has the console: the sound of this session is gone\n"
               : L"[CAudioCtrl] the session is back at the console\n");
    m_bSessionAway = away ? 1 : 0;
    if (away)
        OnDeviceLost();
}

void CAudioCtrl::CaptureClock()
{
    Trace(L"[CAudioCtrl] the wall clock changed: the cuts follow it\n");
    if (m_pCapture)
        m_pCapture->ClockChanged();
}

bool CAudioCtrl::ApplySettings(unsigned& maxFileSize)
{
    if (!m_pCapture->IsOpen())
        return false;
    if (!SettingsChanged(maxFileSize))
        return true;
    Trace(L"[CaptureStart] the recording settings changed: the device is opened again\n");
    CloseDevice(m_bRecording ? m_Current.m_StopAt : 0);
    LoadParameters();
    if (OpenWithRetries(true))
        StartDevice();
    return m_pCapture && m_pCapture->IsOpen();
}

void CAudioCtrl::CaptureStart(RecordingParameters* recording)
{
    if (!recording)
        return;
    if (ProgramSource::IsStation(recording->m_Source)) {
        StartStation(recording);
        delete recording;
        return;
    }
    TellSource(recording);
    // The program's own device, or the settings': another than the one open
    // is opened for it, as a changed setting is (ApplySettings).
    lstrcpynW(m_Source, recording->m_Source, RecordingParameters::kSourceSize);
    if (!m_pWriter)
        m_pWriter = NewWaveWriter();
    // A new split size or file format alone applies from this program's first file on.
    unsigned maxFileSize = m_MaxFileSize;
    recording->m_Format = CAppParameter::SettingsFileFormat();
    // The open-retry loop holds this thread until a device opens or the
    // request no longer stands: a start request that finds no device open
    // was overtaken by its program's close (or Exit) while it was queued.
    // It is dropped, not replayed: the program got nothing, and no file is made.
    // One whose device was never set up (it was due while a station
    // recorded) opens it now.
    if (!m_pCapture && m_Task == WM_CAPTURE_START) {
        LoadParameters();
        if (OpenWithRetries(true))
            StartDevice();
    }
    if (!m_pCapture || !m_pWriter || !ApplySettings(maxFileSize)) {
        Trace(L"[CaptureStart] no capture device opened while the program stood\n");
        TellNothingRecorded(recording->m_Prefix);
        delete recording;
        return;
    }
    m_MaxFileSize = recording->m_MaxFileSize = maxFileSize;
    TellIfStandIn();
    if (!m_pCapture->IsCapturing() && m_pCapture->IsOpen() && !m_pCapture->Start()) {
        // An open device that refuses to start has most likely gone.
        Trace(L"[CaptureStart] the capture device did not start\n");
        OnDeviceLost();
    }
    // A program still waiting for the one before it to reach its stop takes
    // its turn first; it is never replaced unrecorded.
    for (int i = 0; i < 400 && m_bNextPending && m_pCapture->IsCapturing(); ++i)
        Sleep(5);
    EnterCriticalSection(&m_CutLock);
    m_pWriter->m_hNoticeWnd = m_hNoticeWnd;
    if (m_bNextPending) {
        Trace(L"[CaptureStart] the program before did not reach its stop: it ends here\n");
        EndCurrentRecording();
    }
    if (m_bRecording && m_pCapture->IsCapturing()) {
        // The recording before this one has not reached its stop yet (back
        // to back, or overlapping): this program takes over there, between
        // two frames.
        m_Next = *recording;
        m_bNextPending = 1;
        Trace(L"[CaptureStart] back to back: the file takes over at the stop of the one before\n");
    } else {
        if (m_bRecording) {
            TellIfNothingTaken();
            m_pWriter->End();  // a recording left from before is finished first
        }
        m_Current = *recording;
        BeginRecording();
        // What the device captured since the start second, before this
        // request arrived, belongs to this program.
        // (It may reach past this program's stop already, when the request
        // came that late: the cut then applies to it as to any buffer.)
        // Back to back with a recording that reached its stop before this
        // request came: not a frame lost or repeated at the seam.
        long long startAt = recording->m_StartAt;
        bool follows = startAt && startAt == m_EndedStopAt;
        if (follows)
            m_Current.m_StartAt = 0;
        unsigned bytes = 0;
        unsigned long long first = 0;
        char* early = !startAt || !m_pCapture->IsCapturing() ? nullptr
                      : follows ? m_PreRoll.Take(m_EndedFrame, false, bytes, first)
                                : m_PreRoll.Take(m_pCapture->FrameAt(startAt), true, bytes, first);
        m_PreRoll.Clear();
        m_EndedStopAt = 0;
        if (early && m_Format.nBlockAlign)
            Route(early, bytes / m_Format.nBlockAlign, first);
        delete[] early;
    }
    LeaveCriticalSection(&m_CutLock);
    if (m_pCapture->IsCapturing())
        Trace(L"[CaptureStart] start capture\n");
    delete recording;
}

void CAudioCtrl::CaptureStopAt(long long stopAt)
{
    if (m_pStation && !m_bRecording)
        m_pStation->StopAt(stopAt);
    EnterCriticalSection(&m_CutLock);
    if (m_bNextPending)
        m_Next.m_StopAt = stopAt;
    else if (m_bRecording)
        m_Current.m_StopAt = stopAt;
    LeaveCriticalSection(&m_CutLock);
}

void CAudioCtrl::CloseDevice(long long stopAt)
{
    // A stop in the future (the program was ended early) is now; the last
    // request also ends a back-to-back program still waiting.
    long long now = CBaseCapture::Now();
    bool asked = stopAt != 0 && stopAt <= now;
    if (!asked)
        stopAt = now;
    EnterCriticalSection(&m_CutLock);
    if (m_bNextPending)
        m_Next.m_StopAt = stopAt;
    else if (!m_Current.m_StopAt || m_Current.m_StopAt > stopAt)
        m_Current.m_StopAt = stopAt;
    LeaveCriticalSection(&m_CutLock);
    // The device delivers a little behind real time: wait until it holds the
    // stop, then the stop hands over the last part buffer.
    for (DWORD waited = 0; asked && m_pCapture->IsCapturing() && waited < kStopWaitMs; waited += 10) {
        unsigned long long captured = m_pCapture->m_CapturedFrames;
        if (m_pCapture->m_FirstFrameTime && m_pCapture->FrameTime(captured) >= stopAt)
            break;
        Sleep(10);
    }
    if (m_pCapture->Stop())
        Trace(L"[CAudioCtrl] stop capture\n");
    else
        Trace(L"[CAudioCtrl] capture device stop error\n");
    m_pCapture->Close();
    Trace(L"[CaptureClose] close capture\n");
    EndRecording();
    DestroyCapture();
    WaitForWriter();
}

void CAudioCtrl::CaptureClose(long long stopAt)
{
    // The close is the station's unless a device records: a device opened
    // meanwhile for the next program stays open, as a station connected
    // for the next one does at a device's close.
    if (m_pStation && (m_pStation->Connected() || m_bStationRecording) && (!m_bRecording || m_bQuit)) {
        bool done = m_pStation->Close(stopAt);
        m_bStationRecording = 0;
        if (done && !m_pStation->Closing() && m_pStationWriter)
            m_pStationWriter->Drain(kDrainMs);
        if (!m_bQuit)
            return;
    }
    if (m_pCapture) {
        CloseDevice(stopAt);
    } else {
        Trace(L"[CaptureClose] not create capture device\n");
        EndRecording();
        WaitForWriter();
    }
}

void CAudioCtrl::EndRecording()
{
    EnterCriticalSection(&m_CutLock);
    TellIfNothingTaken();
    if (m_bRecording)
        m_pWriter->End();
    m_bRecording = 0;
    m_bNextPending = 0;
    RecordingLevel::s_Recording = 0;
    LeaveCriticalSection(&m_CutLock);
}

void CAudioCtrl::CaptureRelease()
{
    DestroyCapture();
}
