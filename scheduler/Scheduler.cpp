#include "scheduler/Scheduler.h"
#include "app/Messages.h"
#include "app/Trace.h"
#include "audio/RecordingFormat.h"
#include "audio/RecordingTags.h"
#include "config/AppParameter.h"
#include "foundation/Folder.h"
#include "foundation/Format.h"
#include "scheduler/FilePrefix.h"
#include "scheduler/ProgramList.h"
#include "scheduler/Suspend.h"

#include <cwchar>
#include <new>

CScheduler::CScheduler()
    : m_hSchedThread(nullptr), m_SchedThreadId(0), m_bSchedQuit(0), m_pProgramList(nullptr),
      m_InquiryCountdown(0), m_bInquiryShown(0), m_hInquiryDlg(nullptr), m_bResumedByTimer(0),
      m_bSuspending(0), m_bHandOver(false), m_PostedStop(0), m_bKeepAwake(false), m_ResumeHoldUntil(0), m_bSaveFailureTold(false), m_LastPass(0)
{
    m_hWake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

CScheduler::~CScheduler()
{
    if (m_hWake)
        CloseHandle(m_hWake);
}

DWORD WINAPI CScheduler::SchedulerThreadProc(void* app)
{
    CScheduler* self = static_cast<CScheduler*>(app);
    if (!self)
        return 0;
    self->m_SchedThreadId = GetCurrentThreadId();
    while (self->SchedulerTick())
        self->WaitForNextPass();
    if (self->m_bKeepAwake)
        self->SetKeepAwake(false);
    self->m_bKeepAwake = false;
    return 0;
}

void CScheduler::GetNow(CDateTime& now)
{
    now.SetNow();
}

void CScheduler::WaitForNextPass()
{
    // Each pass starts just after a whole second of the local clock, so a
    // start lands on its second instead of drifting by the passes' own time.
    SYSTEMTIME st;
    GetLocalTime(&st);
    DWORD pause = 1000 - st.wMilliseconds + 15;
    if (m_hWake)
        WaitForSingleObject(m_hWake, pause);
    else
        Sleep(pause);
}

void CScheduler::SetKeepAwake(bool on)
{
    SetThreadExecutionState(on ? (ES_SYSTEM_REQUIRED | ES_CONTINUOUS) : ES_CONTINUOUS);
}

bool CScheduler::Suspend(long long seconds, const CDateTime& wakeAt, bool keepTimer)
{
    return CSuspend::Suspend(seconds, wakeAt, keepTimer);
}

CWakeSupport::Verdict CScheduler::WakeVerdict()
{
    return CWakeSupport::Current();
}

static void FormatNow(const CDateTime& now, wchar_t* text)
{
    now.Format(text, CDateTime::kTextSize);
}

// A program's local time on the capture clock (UTC, 100-ns units), by the
// time-zone rules of its own date and the zone in force now.
long long CScheduler::CaptureClockTime(const CDateTime& local)
{
    SYSTEMTIME utc;
    FILETIME ft;
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &local.m_Time, &utc) || !SystemTimeToFileTime(&utc, &ft))
        return 0;
    return FileTimeToTicks(ft);
}

bool CScheduler::SchedulerTick()
{
    if (m_bSchedQuit)
        return false;
    CDateTime now;
    GetNow(now);

    // The UI thread may set the countdown to 0 at any moment; a decrement
    // must not bring a cancelled countdown back.
    LONG left = m_InquiryCountdown;
    while (left > 0) {
        LONG seen = InterlockedCompareExchange(&m_InquiryCountdown, left - 1, left);
        if (seen == left) {
            --left;
            if (left >= 1 && left <= 4) {
                Trace(L"Close the dialog 5 seconds before shutdown\n");
                PostToWindow(WM_CLOSE_INQUIRY);
            } else if (left == 0 && g_pConfig && g_pConfig->m_Shutdown) {
                SuspendForNextProgram(now);
                GetNow(now);  // the computer may have slept for hours
            }
            break;
        }
        left = seen;
    }

    if (m_pProgramList)
        Drive(now);
    UpdateKeepAwake(now);
    m_LastPass = now.m_Ticks;
    return true;
}

void CScheduler::Drive(const CDateTime& now)
{
    if (!m_pProgramList->GetAt(0, m_CurProgram)) {
        if (m_InquiryCountdown > 5 && !m_bInquiryShown)
            PostToWindow(WM_SHUTDOWN_INQUIRY);
        return;
    }
    if (m_CurProgram.m_State == Idle) {
        if (m_CurProgram.m_StopTime.Diff(now) <= 0) {
            Expire(now);
            if (!m_pProgramList->GetAt(0, m_CurProgram))
                return;
        }
        if (m_InquiryCountdown > 5 && !m_bInquiryShown &&
            m_CurProgram.m_StartTime.m_Ticks - kInquiryHorizon - now.m_Ticks > 0) {
            PostToWindow(WM_SHUTDOWN_INQUIRY);
            return;
        }
        if (m_CurProgram.m_StartTime.m_Ticks - kSetupLead - now.m_Ticks > 0)
            return;
        SetupRecording(m_CurProgram, now);
        m_CurProgram.m_State = SetUp;
        m_pProgramList->SetState(m_CurProgram.m_Id, SetUp);
        PostToWindow(WM_CLOSE_INQUIRY);
    }
    if (m_CurProgram.m_State == SetUp) {
        if (m_CurProgram.m_StartTime.Diff(now) > 0)
            return;
        StartRecording(m_CurProgram, now);
        m_CurProgram.m_State = Recording;
        m_pProgramList->SetState(m_CurProgram.m_Id, Recording);
    }
    if (m_CurProgram.m_State == Recording) {
        if (m_CurProgram.m_StopTime.Diff(now) > 0) {
            // An edited stop, or the same stop in a new time zone, reaches the
            // audio thread before it is due.
            long long stop = CaptureClockTime(m_CurProgram.m_StopTime);
            if (stop != m_PostedStop && AudioThreadId()) {
                m_PostedStop = stop;
                PostToAudio(WM_CAPTURE_STOP_AT, static_cast<WPARAM>(stop), 0);
            }
            return;
        }
        // A program that starts by this one's stop follows on the running
        // device, its first frame right after this one's last.
        ProgramItem next;
        bool handOver = !m_bHandOver && AudioThreadId() && m_pProgramList->GetAt(1, next) && next.m_State == Idle &&
                        next.m_StartTime.m_Ticks <= m_CurProgram.m_StopTime.m_Ticks && next.m_StopTime.Diff(now) > 0;
        StopRecording(m_CurProgram, now, handOver);
        Expire(now);
        m_CurProgram.m_State = Idle;
        m_pProgramList->SetState(m_CurProgram.m_Id, Idle);
        if (handOver) {
            m_bHandOver = true;
            Drive(now);
            m_bHandOver = false;
        }
    }
}

void CScheduler::Expire(const CDateTime& now)
{
    // A retirement that is not saved comes back at the next start; the
    // program list in memory stays right meanwhile.
    MissedPrograms missed;
    bool saved = m_pProgramList->ExpirePast(now, &missed, m_LastPass);
    if (missed.m_Count > 0)
        TellMissed(missed);
    if (saved) {
        m_bSaveFailureTold = false;
    } else if (!m_bSaveFailureTold) {
        Trace(L"[CScheduler] the configuration could not be saved\n");
        PostNotice(kNoticeSaveFailed);
        m_bSaveFailureTold = true;
    }
}

void CScheduler::TellMissed(const MissedPrograms& missed)
{
    // The balloon's line first, then one line per occurrence for the log.
    const int size = (MissedPrograms::kListed + 1) * (MissedPrograms::kLineSize + 40);
    wchar_t* text = new (std::nothrow) wchar_t[size];
    if (!text)
        return;
    int listed = missed.m_Listed;
    int at = missed.m_Count > 1
                 ? FormatText(text, size, L"%s and %d more", missed.m_Lines[0], missed.m_Count - 1)
                 : FormatText(text, size, L"%s", missed.m_Lines[0]);
    for (int i = 0; i < listed && at < size; ++i)
        at += FormatText(text + at, size - at, L"\n%s", missed.m_Lines[i]);
    if (missed.m_Count > listed && at < size)
        FormatText(text + at, size - at, L"\n... and %d more", missed.m_Count - listed);
    Trace(L"[CScheduler] %d program occurrences were missed\n", missed.m_Count);
    PostNotice(kNoticeMissed, text);
    delete[] text;
}

void CScheduler::UpdateKeepAwake(const CDateTime& now)
{
    if (InterlockedExchange(&m_bResumedByTimer, 0))
        m_ResumeHoldUntil = now.m_Ticks + kResumeHold;
    if (m_ResumeHoldUntil && now.m_Ticks >= m_ResumeHoldUntil)
        m_ResumeHoldUntil = 0;
    bool want = m_CurProgram.m_State != Idle || m_ResumeHoldUntil != 0;
    if (want != m_bKeepAwake) {
        m_bKeepAwake = want;
        SetKeepAwake(want);
    }
}

void CScheduler::SetupRecording(const ProgramItem& program, const CDateTime& now)
{
    m_InquiryCountdown = 0;
    m_bInquiryShown = 0;
    m_ResumeHoldUntil = 0;  // the recording's own hold takes over
    wchar_t text[CDateTime::kTextSize];
    FormatNow(now, text);
    Trace(L"[%s] (ID=%d) Setup Recording\n", text, program.m_Id);
    PostToWindow(WM_CAPTURE_OPEN);
    if (AudioThreadId() && !m_bHandOver)
        PostToAudio(WM_CAPTURE_OPEN, 0, 0);
    CheckDiskSpace(program);
}

unsigned long long CScheduler::FreeDiskBytes(const wchar_t* folder)
{
    return FreeBytesAt(folder);
}

void CScheduler::CheckDiskSpace(const ProgramItem& program)
{
    if (!g_pConfig)
        return;
    CString folder;
    g_pConfig->GetWavFolder(folder);
    long long seconds = program.m_StopTime.Diff(program.m_StartTime) / CDateTime::kSecond;
    int rate = g_pConfig->m_Frequency, channels = g_pConfig->m_Channels;
    double perSecond = RecordingFormat::FromSettings().BytesPerSecond(rate > 0 ? rate : 0, channels > 0 ? channels : 1);
    unsigned long long needed =
        static_cast<unsigned long long>((seconds > 0 ? seconds : 0) * perSecond) + kDiskMargin;
    unsigned long long free = FreeDiskBytes(folder.GetWide());
    if (free == ~0ULL || free >= needed)
        return;
    // Recorded all the same: the user may make room meanwhile.
    wchar_t figures[96];
    FormatText(figures, 96, g_pConfig->m_UiLanguage == 1 ? L"必要 %llu MB、空き %llu MB" : L"needs %llu MB, %llu MB free",
               needed >> 20, free >> 20);
    Trace(L"[CScheduler] (ID=%d) the program may not fit: %s\n", program.m_Id, figures);
    PostNotice(kNoticeDiskSpace, figures);
}

void CScheduler::StartRecording(const ProgramItem& program, const CDateTime& now)
{
    m_InquiryCountdown = 0;
    m_bInquiryShown = 0;
    wchar_t text[CDateTime::kTextSize];
    FormatNow(now, text);
    Trace(L"[%s] (ID=%d) Start Recording\n", text, program.m_Id);
    PostToWindow(WM_CAPTURE_START);
    if (!AudioThreadId())
        return;
    wchar_t* block = new (std::nothrow) wchar_t[kFilePrefixSize];
    if (!block)
        return;
    CString folder, title;
    const wchar_t* folderText = nullptr;
    if (g_pConfig) {
        g_pConfig->GetWavFolder(folder);
        folderText = folder.GetWide();
        // A folder deleted since it was chosen (or the Music folder of a
        // new user) is made again rather than losing the recording.
        if (folderText && !MakeFolder(folderText))
            Trace(L"[%s] (ID=%d) can't create the WAV folder %s\n", text, program.m_Id, folderText);
    }
    title.Copy(program.m_Title);
    if (RecordingTags* tags = RecordingTags::New(title.GetWide(), program.m_StartTime.m_Time))
        PostToAudio(WM_CAPTURE_TAGS, 0, reinterpret_cast<LPARAM>(tags));
    BuildFilePrefix(block, kFilePrefixSize, folderText ? folderText : L"", title.GetWide() ? title.GetWide() : L"",
                    program.m_StartTime);
    PostToAudio(WM_CAPTURE_START, static_cast<WPARAM>(CaptureClockTime(program.m_StartTime)),
                reinterpret_cast<LPARAM>(block));
    m_PostedStop = CaptureClockTime(program.m_StopTime);
    PostToAudio(WM_CAPTURE_STOP_AT, static_cast<WPARAM>(m_PostedStop), 0);
}

void CScheduler::StopRecording(const ProgramItem& program, const CDateTime& now, bool handOver)
{
    wchar_t text[CDateTime::kTextSize];
    FormatNow(now, text);
    Trace(L"[%s] (ID=%d) Stop Recording\n", text, program.m_Id);
    m_bInquiryShown = 0;
    if (handOver) {
        m_InquiryCountdown = 0;  // the recording goes on
        return;
    }
    PostToWindow(WM_CAPTURE_CLOSE);
    // A stop that is due ends the file at its own second, however late this pass runs.
    if (AudioThreadId())
        PostToAudio(WM_CAPTURE_CLOSE,
                    program.m_StopTime.Diff(now) <= 0 ? static_cast<WPARAM>(CaptureClockTime(program.m_StopTime)) : 0, 0);
    // With sleep after recording off no countdown runs: nothing may put the
    // computer to sleep on the user's behalf.
    m_InquiryCountdown = (g_pConfig && g_pConfig->m_Shutdown) ? kCountdown : 0;
}

void CScheduler::SuspendForNextProgram(const CDateTime& now, bool systemSuspending)
{
    long long seconds = -1;
    CDateTime wakeAt;
    ProgramItem next;
    if (m_pProgramList && m_pProgramList->GetAt(0, next)) {
        CDateTime current;
        GetNow(current);
        long long diff = next.m_StartTime.Diff(current);
        if (diff < kMinSleepDistance)
            return;
        seconds = diff / CDateTime::kSecond - kWakeLead;
        wakeAt = next.m_StartTime;
        wakeAt.AddTicks(-kWakeLead * CDateTime::kSecond);
    }
    wchar_t text[CDateTime::kTextSize];
    FormatNow(now, text);
    Trace(L"[%s] Suspend\n", text);
    m_InquiryCountdown = 0;
    if (systemSuspending) {
        Suspend(seconds, wakeAt, true);
        return;
    }
    // A sleep the PC would not wake from would cost the next program.
    CWakeSupport::Verdict verdict = seconds > 0 ? WakeVerdict() : CWakeSupport::kCanWake;
    if (verdict != CWakeSupport::kCanWake && verdict != CWakeSupport::kUnknown) {
        Trace(L"[%s] the PC cannot wake for the next program (%d): no sleep\n", text, static_cast<int>(verdict));
        PostNotice(kNoticeCannotWake, CWakeSupport::Advice(verdict, g_pConfig && g_pConfig->m_UiLanguage == 1));
        return;
    }
    InterlockedExchange(&m_bSuspending, 1);
    bool slept = Suspend(seconds, wakeAt, false);
    InterlockedExchange(&m_bSuspending, 0);
    if (!slept)
        PostNotice(kNoticeSleepFailed);
}
