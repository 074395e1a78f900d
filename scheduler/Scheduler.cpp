#include "scheduler/Scheduler.h"
#include "config/AppParameter.h"
#include "files/FilePrefix.h"
#include "files/RecordingFormat.h"
#include "files/RecordingParameters.h"
#include "foundation/Folder.h"
#include "foundation/Format.h"
#include "foundation/Messages.h"
#include "foundation/Trace.h"
#include "programs/ProgramList.h"
#include "programs/ProgramSource.h"
#include "recorder/RecordingLevel.h"
#include "scheduler/BatteryStandby.h"
#include "scheduler/SleepState.h"
#include "scheduler/Suspend.h"
#include "scheduler/UnfinishedRecording.h"

#include <cwchar>
#include <initializer_list>
#include <new>

CScheduler::CScheduler()
    : m_hSchedThread(nullptr), m_SchedThreadId(0), m_bSchedQuit(0), m_pProgramList(nullptr),
      m_InquiryCountdown(0), m_bInquiryShown(0), m_hInquiryDlg(nullptr), m_pSleepInquiry(nullptr), m_ResumeKind(0),
      m_bSessionEnding(0), m_bSuspending(0), m_bPowerChanged(0), m_bHandOver(false), m_AheadId(0), m_AheadStart(0), m_PostedStop(0),
      m_KeepAwakeReason(), m_bKeepScreen(false), m_StandbyToldId(0), m_StandbyToldStart(0), m_StandbyTold(0),
      m_TimerDue(0),
      m_bRearmTimer(0), m_ResumeHoldUntil(0), m_NowUtc(0), m_LastPassUtc(0), m_bStarted(false), m_bSaveFailureTold(false), m_LastPass(0), m_pStopCommand(nullptr)
{
    m_hWake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

CScheduler::~CScheduler()
{
    if (m_hWake)
        CloseHandle(m_hWake);
    TakeStopCommand(ProgramItem());
}

DWORD WINAPI CScheduler::SchedulerThreadProc(void* app)
{
    CScheduler* self = static_cast<CScheduler*>(app);
    if (!self)
        return 0;
    self->m_SchedThreadId = GetCurrentThreadId();
    while (self->SchedulerTick())
        self->WaitForNextPass();
    self->Finish();
    return 0;
}

void CScheduler::Finish()
{
    // Exit ends a recording cleanly; a shutdown or restart cuts it short.
    if (m_CurProgram.m_State == Recording)
        NoteRecording(m_CurProgram, KeptSeconds(), !m_bSessionEnding);
    if (m_KeepAwakeReason[0])
        SetKeepAwake(nullptr, false);
    m_KeepAwakeReason[0] = L'\0';
    m_bKeepScreen = false;
    ArmWakeTimer(0, nullptr);
    m_TimerDue = 0;
}

void CScheduler::GetNow(CDateTime& now)
{
    now.SetNow();
}

long long CScheduler::UtcNow()
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return FileTimeToTicks(ft);
}

void CScheduler::PassTime(CDateTime& now)
{
    GetNow(now);
    m_NowUtc = UtcNow();
    // The second showing of an hour shown twice: its times came at their
    // first showing, so the list is judged at the hour's end meanwhile.
    if (CaptureClockTime(now) < m_NowUtc - 60 * CDateTime::kSecond)
        now.SetTicks(m_Zone.ScheduleTime(m_NowUtc));
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

bool CScheduler::SetKeepAwake(const wchar_t* reason, bool screen)
{
    if (reason)
        return m_PowerRequest.Hold(reason, screen);
    m_PowerRequest.Release();
    return true;
}

void CScheduler::ArmWakeTimer(long long dueUtc, const wchar_t* reason)
{
    if (dueUtc)
        m_WakeTimer.Arm(dueUtc, reason);
    else
        m_WakeTimer.Cancel();
}

long long CScheduler::KeptSeconds()
{
    LONG rate = RecordingLevel::s_Rate;
    return rate > 0 ? static_cast<long long>(RecordingLevel::s_Frames) / rate : 0;
}

bool CScheduler::Suspend(long long seconds, bool hibernate)
{
    return CSuspend::Suspend(seconds, hibernate);
}

CWakeSupport::Verdict CScheduler::WakeVerdict(const PowerFacts& facts, bool hibernate)
{
    return CWakeSupport::Judge(facts, hibernate);
}

static void FormatNow(const CDateTime& now, wchar_t* text)
{
    now.Format(text, CDateTime::kTextSize);
}

bool CScheduler::SchedulerTick()
{
    if (m_bSchedQuit)
        return false;
    CDateTime now;
    PassTime(now);
    if (!m_bStarted) {
        m_bStarted = true;
        TellUnfinished(now);
    }

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
                PassTime(now);  // the computer may have slept for hours
            }
            break;
        }
        left = seen;
    }

    LONG resumed = InterlockedExchange(&m_ResumeKind, 0);
    if (resumed) {
        // Only an unattended wake, or one by the timer, is held awake: a user
        // who opens the lid keeps the sleep settings of the power plan.
        long long fromDue = m_NowUtc - m_TimerDue;
        if (resumed == 2 || (m_TimerDue && fromDue < kTimerWakeWindow && -fromDue < kTimerWakeWindow))
            m_ResumeHoldUntil = m_NowUtc + kResumeHold;
        InterlockedExchange(&m_bRearmTimer, 1);
    }
    if (m_pProgramList)
        Drive(now);
    UpdateWakeTimer();
    UpdateKeepAwake();
    m_LastPass = now.m_Ticks;
    m_LastPassUtc = m_NowUtc;
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
        // A window the change to summer time skips entirely is never set up;
        // it is told when it is retired.
        if (Until(m_CurProgram.m_StopTime) <= Until(m_CurProgram.m_StartTime))
            return;
        // Leads are real time: across a change of the clock they stay whole.
        if (m_InquiryCountdown > 5 && !m_bInquiryShown && Until(m_CurProgram.m_StartTime) - kInquiryHorizon > 0) {
            PostToWindow(WM_SHUTDOWN_INQUIRY);
            return;
        }
        if (Until(m_CurProgram.m_StartTime) - SetupLead(m_CurProgram) > 0)
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
    long long commanded = TakeStopCommand(m_CurProgram);
    if (m_CurProgram.m_State == Recording) {
        if (!commanded && m_CurProgram.m_StopTime.Diff(now) > 0) {
            // An edited stop, or the same stop in a new time zone, reaches the
            // audio thread before it is due.
            long long stop = CaptureClockTime(m_CurProgram.m_StopTime);
            if (stop != m_PostedStop && AudioThreadId()) {
                m_PostedStop = stop;
                PostToAudio(WM_CAPTURE_STOP_AT, static_cast<WPARAM>(stop), 0);
            }
            if (AudioThreadId())
                NoteRecording(m_CurProgram, KeptSeconds());
            SetUpAhead(now);
            return;
        }
        // A program that starts by this one's stop follows on the running
        // device, its first frame right after this one's last. Programs that
        // ended meanwhile (inside this one) are passed over: they are retired.
        // Stopped by the user, the stop is the moment of the command.
        ProgramItem next;
        bool found = NextProgram(now, next);
        long long stopUtc = commanded ? commanded : CaptureClockTime(m_CurProgram.m_StopTime);
        // A station has no device to hand over, nor takes one over: the next is set up on its own.
        bool handOver = !m_bHandOver && AudioThreadId() && found && CaptureClockTime(next.m_StartTime) <= stopUtc &&
                        Until(next.m_StopTime) > Until(next.m_StartTime) && SharesSource(m_CurProgram, next);
        // The PC slept (or stood still) through the stop: what it kept is told.
        if (!commanded && m_LastPassUtc && stopUtc - m_LastPassUtc > kSleptThrough)
            TellCutShort(m_CurProgram, FromUtc(m_LastPassUtc), KeptSeconds(), false);
        StopRecording(m_CurProgram, now, handOver, stopUtc, commanded != 0);
        if (commanded)
            TellSaved(m_pProgramList->EndOccurrence(m_CurProgram.m_Id, now));
        else
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
    missed.m_pZone = &m_Zone;
    bool saved = m_pProgramList->ExpirePast(now, &missed, m_LastPass);
    if (missed.m_Missed.m_Count > 0 || missed.m_Skipped.m_Count > 0)
        TellMissed(missed);
    TellSaved(saved);
}

void CScheduler::TellSaved(bool saved)
{
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
    // Missed while not running, and skipped by the change to summer time:
    // the balloon's line first, then one line per occurrence for the log.
    const ProgramListing* listings[] = {&missed.m_Missed, &missed.m_Skipped};
    const WPARAM notices[] = {kNoticeMissed, kNoticeSkipped};
    const int size = (ProgramListing::kListed + 1) * (ProgramListing::kLineSize + 40);
    for (int which = 0; which < 2; ++which) {
        const ProgramListing& list = *listings[which];
        wchar_t* text = list.m_Count > 0 ? new (std::nothrow) wchar_t[size] : nullptr;
        if (!text)
            continue;
        int listed = list.m_Listed;
        int at = list.m_Count > 1 ? FormatText(text, size, L"%s and %d more", list.m_Lines[0], list.m_Count - 1)
                                  : FormatText(text, size, L"%s", list.m_Lines[0]);
        for (int i = 0; i < listed && at < size; ++i)
            at += FormatText(text + at, size - at, L"\n%s", list.m_Lines[i]);
        if (list.m_Count > listed && at < size)
            FormatText(text + at, size - at, L"\n... and %d more", list.m_Count - listed);
        Trace(L"[CScheduler] %d program occurrences were %s\n", list.m_Count, which ? L"skipped by summer time" : L"missed");
        PostNotice(notices[which], text);
        delete[] text;
    }
}

bool CScheduler::NextStart(ProgramItem& next)
{
    // The list is in start order behind a running head; programs whose
    // start has come, or whose window the clock skips, are passed over.
    for (unsigned i = 0; i < 16 && m_pProgramList && m_pProgramList->GetAt(i, next); ++i) {
        if (next.m_State == Idle && Until(next.m_StartTime) > 0 && Until(next.m_StopTime) > Until(next.m_StartTime))
            return true;
    }
    return false;
}

// "News 2026/03/08 07:00" for the power request's and the wake timer's reasons.
static void ProgramWhen(const ProgramItem& program, wchar_t* text, int count)
{
    const SYSTEMTIME& a = program.m_StartTime.m_Time;
    const SYSTEMTIME& b = program.m_StopTime.m_Time;
    CString title;
    title.Copy(program.m_Title);
    FormatText(text, count, L"%.80s %d/%02d/%02d %02d:%02d-%02d:%02d", title.GetWide() ? title.GetWide() : L"", a.wYear,
               a.wMonth, a.wDay, a.wHour, a.wMinute, b.wHour, b.wMinute);
}

void CScheduler::UpdateWakeTimer()
{
    ProgramItem next;
    long long due = 0;
    if (NextStart(next)) {
        long long start = CaptureClockTime(next.m_StartTime);
        // In the lead's last minutes a later wake still ahead: a sleep then wakes in time too.
        long long leads[3];
        WakeLeads(next, leads);
        for (long long lead : leads) {
            due = start - lead * CDateTime::kSecond;
            if (due > m_NowUtc)
                break;
        }
    }
    if (due == m_TimerDue && !InterlockedExchange(&m_bRearmTimer, 0))
        return;
    m_TimerDue = due;
    wchar_t reason[CWakeTimer::kReasonSize], when[160];
    if (due)
        ProgramWhen(next, when, 160);
    FormatText(reason, CWakeTimer::kReasonSize, L"Marivane: %s", due ? when : L"");
    ArmWakeTimer(due, due ? reason : nullptr);
}

void CScheduler::UpdateKeepAwake()
{
    if (m_ResumeHoldUntil && m_NowUtc >= m_ResumeHoldUntil)
        m_ResumeHoldUntil = 0;
    // From the wake lead before a start until the stop.
    wchar_t reason[CPowerRequest::kReasonSize] = L"", when[160];
    ProgramItem next;
    const ProgramItem* program = nullptr;
    if (m_CurProgram.m_State != Idle) {
        program = &m_CurProgram;
        ProgramWhen(m_CurProgram, when, 160);
        FormatText(reason, CPowerRequest::kReasonSize, L"Marivane: recording %s", when);
    } else if (NextStart(next) && Until(next.m_StartTime) <= kWakeLead * CDateTime::kSecond) {
        program = &next;
        ProgramWhen(next, when, 160);
        FormatText(reason, CPowerRequest::kReasonSize, L"Marivane: about to record %s", when);
    } else if (m_ResumeHoldUntil) {
        lstrcpynW(reason, L"Marivane: woken for the next program", CPowerRequest::kReasonSize);
    }
    bool powerChanged = InterlockedExchange(&m_bPowerChanged, 0) != 0;
    bool newReason = wcscmp(reason, m_KeepAwakeReason) != 0;
    if (!newReason && !(powerChanged && program))
        return;
    // Judged afresh for each program's hold and whenever the power source
    // changes: on battery, Modern Standby would end the hold.
    long long cut = program ? CBatteryStandby::CutAt(CWakeSupport::s_Facts(), m_NowUtc,
                                                     CaptureClockTime(program->m_StopTime))
                            : 0;
    if (!newReason && (cut != 0) == m_bKeepScreen)
        return;
    lstrcpynW(m_KeepAwakeReason, reason, CPowerRequest::kReasonSize);
    m_bKeepScreen = cut != 0;
    bool held = SetKeepAwake(reason[0] ? reason : nullptr, m_bKeepScreen);
    if (cut)
        TellBatteryStandby(*program, held, cut);
}

void CScheduler::TellBatteryStandby(const ProgramItem& program, bool held, long long cutUtc)
{
    if (program.m_Id != m_StandbyToldId || program.m_StartTime.m_Ticks != m_StandbyToldStart) {
        m_StandbyToldId = program.m_Id;
        m_StandbyToldStart = program.m_StartTime.m_Ticks;
        m_StandbyTold = 0;
    }
    int what = held ? 1 : 2;
    if (m_StandbyTold & what)
        return;
    m_StandbyTold |= what;
    bool ja = g_pConfig && g_pConfig->m_UiLanguage == 1;
    CString title;
    title.Copy(program.m_Title);
    const wchar_t* name = CAppParameter::ShownTitle(title.GetWide(), ja);
    if (held) {
        Trace(L"[CScheduler] (ID=%d) on battery with Modern Standby: the screen is kept on while recording\n",
              program.m_Id);
        PostNotice(kNoticeScreenKeptOn, name);
        return;
    }
    CDateTime cut = FromUtc(cutUtc);
    wchar_t detail[120];
    FormatText(detail, 120, L"%.80s\t%02d:%02d", name, cut.m_Time.wHour, cut.m_Time.wMinute);
    Trace(L"[CScheduler] (ID=%d) on battery with Modern Standby the recording may stop at %02d:%02d\n", program.m_Id,
          cut.m_Time.wHour, cut.m_Time.wMinute);
    PostNotice(kNoticeStandbyStops, detail);
}

void CScheduler::NoteRecording(const ProgramItem& program, long long kept, bool remove)
{
    if (remove) {
        m_Unfinished.Remove();
        return;
    }
    m_Unfinished.Name(program);
    GetNow(m_Unfinished.m_Seen);
    m_Unfinished.m_Kept = kept;
    if (!m_Unfinished.Write() && !kept)
        Trace(L"[CScheduler] the note of the running recording cannot be written: if it is cut short, it is not told\n");
}

void CScheduler::TellCutShort(const ProgramItem& program, const CDateTime& cut, long long kept, bool goesOn)
{
    CUnfinishedRecording note;
    note.Name(program);
    note.m_Seen = cut;
    note.m_Kept = kept;
    TellCutShort(note, goesOn);
}

void CScheduler::TellCutShort(const CUnfinishedRecording& note, bool goesOn)
{
    wchar_t text[CUnfinishedRecording::kTitleSize + 200];
    note.Describe(g_pConfig && g_pConfig->m_UiLanguage == 1, goesOn, text, CUnfinishedRecording::kTitleSize + 200);
    Trace(L"[CScheduler] a recording was cut short: %s\n", text);
    PostNotice(kNoticeCutShort, text);
}

void CScheduler::TellUnfinished(const CDateTime& now)
{
    // Still in its window, the program records the rest now, in the next number.
    CUnfinishedRecording note;
    if (note.Read()) {
        TellCutShort(note, note.m_Stop.Diff(now) > 0);
        // The last run lived until then: what ended before is no missed program.
        m_LastPass = note.m_Seen.m_Ticks;
    }
    note.Remove();
}

CDateTime CScheduler::FromUtc(long long utc)
{
    CDateTime local;
    local.SetTicks(m_Zone.UtcToLocal(utc));
    return local;
}

long long CScheduler::SetupLead(const ProgramItem& program)
{
    CString source;
    source.Copy(program.m_Source);
    return ProgramSource::IsStation(source.GetWide()) ? kStationSetupLead : kSetupLead;
}

bool CScheduler::SharesSource(const ProgramItem& program, const ProgramItem& next)
{
    CString a, b;
    a.Copy(program.m_Source);
    b.Copy(next.m_Source);
    bool stationA = ProgramSource::IsStation(a.GetWide()), stationB = ProgramSource::IsStation(b.GetWide());
    if (!stationA && !stationB)
        return true;
    return stationA && stationB && wcscmp(a.GetWide(), b.GetWide()) == 0 && program.m_Variant == next.m_Variant;
}

bool CScheduler::NextProgram(const CDateTime& now, ProgramItem& next)
{
    for (unsigned i = 1; i < 64 && m_pProgramList->GetAt(i, next); ++i)
        if (next.m_State == Idle && next.m_StopTime.Diff(now) > 0)
            return true;
    return false;
}

void CScheduler::SetUpAhead(const CDateTime& now)
{
    // The next program of another source is set up in its own lead, while
    // this one records: a station connects, a device opens.
    ProgramItem next;
    if (!NextProgram(now, next) || !AudioThreadId() || SharesSource(m_CurProgram, next) ||
        (m_AheadId == next.m_Id && m_AheadStart == next.m_StartTime.m_Ticks) ||
        Until(next.m_StartTime) - SetupLead(next) > 0 || Until(next.m_StopTime) <= Until(next.m_StartTime))
        return;
    m_AheadId = next.m_Id;
    m_AheadStart = next.m_StartTime.m_Ticks;
    Trace(L"(ID=%d) set up ahead: the program before records from another source\n", next.m_Id);
    PostSetup(next);
}

void CScheduler::WakeLeads(const ProgramItem& program, long long (&leads)[3])
{
    long long setup = SetupLead(program) / CDateTime::kSecond;
    leads[0] = kWakeLead > setup ? kWakeLead : setup;
    leads[1] = kLateWakeLead > setup ? kLateWakeLead : setup;
    leads[2] = 0;
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
    bool ahead = m_AheadId == program.m_Id && m_AheadStart == program.m_StartTime.m_Ticks;
    m_AheadId = 0;
    if (!m_bHandOver && !ahead)
        PostSetup(program);
    CheckDiskSpace(program);
}

void CScheduler::PostSetup(const ProgramItem& program)
{
    // The audio thread opens the program's own device, or the settings'
    // (no block), or connects its station; the block is the receiver's to free.
    if (AudioThreadId()) {
        CString source;
        source.Copy(program.m_Source);
        wchar_t* block = source.IsEmpty() ? nullptr : new (std::nothrow) wchar_t[RecordingParameters::kSourceSize];
        if (block)
            lstrcpynW(block, source.GetWide(), RecordingParameters::kSourceSize);
        PostToAudio(WM_CAPTURE_OPEN, static_cast<WPARAM>(program.m_Variant), reinterpret_cast<LPARAM>(block));
    }
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
    double perSecond = CAppParameter::SettingsFileFormat().BytesPerSecond(rate > 0 ? rate : 0, channels > 0 ? channels : 1);
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
    CString source;
    source.Copy(program.m_Source);
    NoteRecording(program, 0);
    wchar_t prefix[kFilePrefixSize];
    BuildFilePrefix(prefix, kFilePrefixSize, folderText ? folderText : L"", title.GetWide() ? title.GetWide() : L"",
                    program.m_StartTime);
    // The stop travels with the start: a program cannot run past a stop
    // still in the queue.
    m_PostedStop = CaptureClockTime(program.m_StopTime);
    RecordingParameters* recording = RecordingParameters::New(prefix, CaptureClockTime(program.m_StartTime),
                                                              m_PostedStop, title.GetWide(),
                                                              &program.m_StartTime.m_Time, source.GetWide(),
                                                              program.m_Variant);
    if (recording)
        PostToAudio(WM_CAPTURE_START, 0, reinterpret_cast<LPARAM>(recording));
}

void CScheduler::StopRecording(const ProgramItem& program, const CDateTime& now, bool handOver, long long stopUtc,
                               bool byUser)
{
    wchar_t text[CDateTime::kTextSize];
    FormatNow(now, text);
    Trace(L"[%s] (ID=%d) Stop Recording%s\n", text, program.m_Id, byUser ? L" (stopped by the user)" : L"");
    m_bInquiryShown = 0;
    if (handOver) {
        m_InquiryCountdown = 0;  // the recording goes on
        if (stopUtc != m_PostedStop)
            PostToAudio(WM_CAPTURE_STOP_AT, static_cast<WPARAM>(stopUtc), 0);
        return;
    }
    PostToWindow(WM_CAPTURE_CLOSE);
    if (AudioThreadId()) {
        NoteRecording(program, 0, true);
        PostToAudio(WM_CAPTURE_CLOSE, static_cast<WPARAM>(stopUtc), 0);
    }
    // With sleep after recording off no countdown runs: nothing may put the
    // computer to sleep on the user's behalf.
    m_InquiryCountdown = (g_pConfig && g_pConfig->m_Shutdown) ? kCountdown : 0;
}

void CScheduler::SuspendForNextProgram(const CDateTime& now)
{
    long long seconds = -1;
    ProgramItem next;
    if (m_pProgramList && m_pProgramList->GetAt(0, next)) {
        CDateTime current;
        PassTime(current);
        long long diff = Until(next.m_StartTime);
        if (diff < kMinSleepDistance)
            return;
        seconds = diff / CDateTime::kSecond - kWakeLead;
    }
    wchar_t text[CDateTime::kTextSize];
    FormatNow(now, text);
    Trace(L"[%s] Suspend\n", text);
    m_InquiryCountdown = 0;
    // Hibernation unless the user chose sleep, each only where the PC has it.
    PowerFacts facts = CWakeSupport::s_Facts();
    const wchar_t* why = L"";
    bool wantSleep = g_pConfig && g_pConfig->m_SleepState == CAppParameter::kSleep;
    bool hibernate = CSleepState::Hibernates(facts, wantSleep, &why);
    Trace(L"[%s] %s requested: %s\n", text, hibernate ? L"hibernation" : L"sleep", why);
    // A sleep the PC would not wake from would cost the next program.
    CWakeSupport::Verdict verdict = seconds > 0 ? WakeVerdict(facts, hibernate) : CWakeSupport::kCanWake;
    if (verdict != CWakeSupport::kCanWake && verdict != CWakeSupport::kUnknown) {
        Trace(L"[%s] the PC cannot wake for the next program (%d): no sleep\n", text, static_cast<int>(verdict));
        PostNotice(kNoticeCannotWake, CWakeSupport::Advice(verdict, g_pConfig && g_pConfig->m_UiLanguage == 1));
        return;
    }
    UpdateWakeTimer();
    InterlockedExchange(&m_bSuspending, 1);
    bool slept = Suspend(seconds, hibernate);
    InterlockedExchange(&m_bSuspending, 0);
    if (!slept)
        PostNotice(kNoticeSleepFailed);
}
