// The scheduler half of the application object: the thread that drives the
// head of the program list once a second, the sleep countdown after each
// recording, and the sleep step with its wake timer.
#pragma once

#include "foundation/ZoneRules.h"
#include "programs/ProgramItem.h"
#include "scheduler/PowerRequest.h"
#include "scheduler/SleepInquiry.h"
#include "scheduler/UnfinishedRecording.h"
#include "scheduler/WakeSupport.h"
#include "scheduler/WakeTimer.h"

#include <windows.h>

class ProgramList;

class CScheduler {
public:
    static constexpr long long kSetupLead = 5 * CDateTime::kSecond;
    // A station is set up earlier: after a wake the network takes its time.
    static constexpr long long kStationSetupLead = 60 * CDateTime::kSecond;
    static constexpr long long kInquiryHorizon = 600 * CDateTime::kSecond;
    static constexpr long long kMinSleepDistance = 300 * CDateTime::kSecond;
    static constexpr long long kWakeLead = 300;  // seconds
    // In the wake lead's last minutes the timer points at a later wake
    // that is still ahead: the start less this, or the start itself.
    static constexpr long long kLateWakeLead = 30;  // seconds
    // How long before its start a program is set up (100-ns units).
    static long long SetupLead(const ProgramItem& program);
    // Whether the next program goes on where this one stops without a set-up
    // of its own: both record a device (the audio thread opens another when
    // theirs differ), or both the same station, whose connection goes on.
    static bool SharesSource(const ProgramItem& program, const ProgramItem& next);
    // The wake timer's leads for a program, longest first (seconds): each
    // covers the program's set-up.
    static void WakeLeads(const ProgramItem& program, long long (&leads)[3]);
    static constexpr int kCountdown = 300;
    // A wake by the timer holds the system awake this long at most when no
    // program gets set up (the timer fires 300 s before the start).
    static constexpr long long kResumeHold = 600 * CDateTime::kSecond;
    // A resume this near the timer's due time was the timer's.
    static constexpr long long kTimerWakeWindow = 60 * CDateTime::kSecond;
    // A stop this long after the last pass came while the PC slept.
    static constexpr long long kSleptThrough = 10 * CDateTime::kSecond;
    // A program is told it may not fit when the free space is below its
    // size and this much.
    static constexpr unsigned long long kDiskMargin = 64ULL << 20;

    CScheduler();
    virtual ~CScheduler();
    CScheduler(const CScheduler&) = delete;
    CScheduler& operator=(const CScheduler&) = delete;

    static DWORD WINAPI SchedulerThreadProc(void* app);
    // One pass; false once the quit flag is set.
    bool SchedulerTick();
    // The thread's end: the keep-awake request and the wake timer go.
    void Finish();
    void SetupRecording(const ProgramItem& program, const CDateTime& now);
    void StartRecording(const ProgramItem& program, const CDateTime& now);
    // handOver: the next program starts at this one's stop and takes the running device over.
    // stopUtc: where the file ends on the capture clock: the program's own
    // stop, however late this pass runs, or the moment of the user's command (byUser).
    void StopRecording(const ProgramItem& program, const CDateTime& now, bool handOver, long long stopUtc, bool byUser);
    // The sleep step; returns after the resume, or at once when it does not
    // sleep. The wake timer is armed already, as always.
    void SuspendForNextProgram(const CDateTime& now);

    // The UI thread's side of the sleep inquiry and power notifications.
    void OnShutdownInquiry(HINSTANCE instance, bool japanese);
    void OnCloseInquiry();
    void OnPowerBroadcast(WPARAM event);
    // WM_TIMECHANGE (a set clock or a new time zone) and the resume: the
    // audio thread places its cuts by the new clock, and the scheduler
    // passes over the list at once, sending the stop again in UTC.
    void OnClockChanged();
    // The user's "Stop recording" (any thread): the occurrence of program id
    // that started at startTicks (local) ends at stopUtc (capture clock),
    // carried out by the scheduler thread on a pass it makes at once.
    void RequestStop(unsigned id, long long startTicks, long long stopUtc);
    // Ends the pause between passes now (a program was added to start at once).
    void WakeNow();

    HANDLE m_hSchedThread;
    volatile DWORD m_SchedThreadId;
    volatile LONG m_bSchedQuit;
    ProgramList* m_pProgramList;
    volatile LONG m_InquiryCountdown;
    volatile LONG m_bInquiryShown;
    HWND m_hInquiryDlg;
    // Makes the inquiry's window; set by the application before its threads start.
    CSleepInquiry* m_pSleepInquiry;
    ProgramItem m_CurProgram;
    // Set by the UI thread at a resume: 1 by the user, 2 unattended. The
    // scheduler thread then arms the wake timer again, and after an
    // unattended wake or one by its timer holds the system awake until the
    // program is set up.
    volatile LONG m_ResumeKind;
    // Set by the UI thread when the session ends (shutdown, restart,
    // log-off): a recording cut by it is told at the next start.
    volatile LONG m_bSessionEnding;
    // Local time and UTC by the zone's rules; the tests choose the zone.
    CZoneRules m_Zone;
    // Set by the scheduler thread while its own sleep request runs, read by
    // the UI thread's suspend notification.
    volatile LONG m_bSuspending;
    // Set by the UI thread when the power source or the battery changed
    // (PBT_APMPOWERSTATUSCHANGE) or the PC resumed; the scheduler thread
    // takes it and judges the battery standby again.
    volatile LONG m_bPowerChanged;

protected:
    // Seams: the clock and its zone, the receivers of the scheduler's messages, the power
    // calls and the pause between passes.
    virtual void GetNow(CDateTime& now);
    virtual long long UtcNow();
    virtual void PostToWindow(UINT message) = 0;
    virtual DWORD AudioThreadId() = 0;
    // Stores the request in the audio thread's last-request field, then posts it.
    virtual void PostToAudio(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    // A failure for the user to hear of (WM_RECORDING_NOTICE's notices).
    virtual void PostNotice(WPARAM notice, const wchar_t* detail = nullptr)
    {
        (void)notice;
        (void)detail;
    }
    // The sleep request (seconds: until the wake timer, for the trace;
    // hibernate: S4, else S1-S3); false when it failed.
    virtual bool Suspend(long long seconds, bool hibernate);
    // Whether the PC can wake by the timer from the state (Wine answers none of it).
    virtual CWakeSupport::Verdict WakeVerdict(const PowerFacts& facts, bool hibernate);
    // The power request: held with its reason, released with null; screen:
    // the display too. False when the display request was refused.
    virtual bool SetKeepAwake(const wchar_t* reason, bool screen);
    // The wake timer: armed for dueUtc with its reason, cancelled with 0.
    virtual void ArmWakeTimer(long long dueUtc, const wchar_t* reason);
    // Whether Windows resumed unattended (no user input).
    virtual bool ResumeIsAutomatic() { return IsSystemResumeAutomatic() != FALSE; }
    // Seconds the running recording has taken so far.
    virtual long long KeptSeconds();
    virtual void WaitForNextPass();
    // A program's local time on the capture clock (UTC) by the zone's rules.
    long long CaptureClockTime(const CDateTime& local) { return m_Zone.LocalToUtc(local.m_Ticks); }
    // Bytes free to the user on the folder's volume; ~0 when not known.
    virtual unsigned long long FreeDiskBytes(const wchar_t* folder);

private:
    // The pass's time: the local clock, and its UTC moment in m_NowUtc.
    void PassTime(CDateTime& now);
    // From now (UTC) to a program's local time, in 100-ns units.
    long long Until(const CDateTime& local) { return CaptureClockTime(local) - m_NowUtc; }
    void Drive(const CDateTime& now);
    void UpdateKeepAwake();
    // The screen kept on for a program on battery, or the time standby may
    // stop it (cutUtc) where that was refused: each told once an occurrence.
    void TellBatteryStandby(const ProgramItem& program, bool held, long long cutUtc);
    // Points the wake timer at the next program's start less the lead.
    void UpdateWakeTimer();
    // The next program whose start is still to come; false: none.
    bool NextStart(ProgramItem& next);
    // The note of the running recording (see CUnfinishedRecording).
    void NoteRecording(const ProgramItem& program, long long kept, bool remove = false);
    // At the first pass: a recording the last run did not finish is told.
    void TellUnfinished(const CDateTime& now);
    // "News was cut at 03:12: 1:12:00 of 2:00:00 kept."
    void TellCutShort(const ProgramItem& program, const CDateTime& cut, long long kept, bool goesOn);
    void TellCutShort(const CUnfinishedRecording& note, bool goesOn);
    CDateTime FromUtc(long long utc);
    void Expire(const CDateTime& now);
    // The user hears once that retirements cannot be saved.
    void TellSaved(bool saved);
    // The stop command for this occurrence (its stop, UTC), or 0; a command
    // for any other is dropped.
    long long TakeStopCommand(const ProgramItem& program);
    // At the set-up: whether the program fits the WAV folder's free space.
    void CheckDiskSpace(const ProgramItem& program);
    // "Missed while not running": one notice for what one retirement found.
    void TellMissed(const struct MissedPrograms& missed);

    // Scheduler thread only: the program being set up takes over a running
    // device; and the stop last told to the audio thread, in UTC, so a new
    // time zone sends it again.
    bool m_bHandOver;
    // The program set up ahead while the one before records from another
    // source (its id and start): its own set-up then posts nothing more.
    unsigned m_AheadId;
    long long m_AheadStart;
    void SetUpAhead(const CDateTime& now);
    // The program after the one at the list's head that has not ended (those
    // that ended inside it are passed over: they are retired); false: none.
    bool NextProgram(const CDateTime& now, ProgramItem& next);
    void PostSetup(const ProgramItem& program);
    long long m_PostedStop;
    // Ends the pause between passes early (auto-reset; any thread sets it).
    HANDLE m_hWake;
    // The power request's reason now ("" when released), the wake timer's
    // due time (0: cancelled) and a request to arm it again (clock, zone or
    // resume; set by any thread). The rest scheduler thread only.
    wchar_t m_KeepAwakeReason[CPowerRequest::kReasonSize];
    bool m_bKeepScreen;  // the display is asked to stay on with it
    // The occurrence the battery standby was told for, and what: 1 the
    // screen kept on, 2 the time it may stop. Scheduler thread only.
    unsigned m_StandbyToldId;
    long long m_StandbyToldStart;
    int m_StandbyTold;
    long long m_TimerDue;
    volatile LONG m_bRearmTimer;
    long long m_ResumeHoldUntil;  // UTC
    long long m_NowUtc;           // the pass's moment
    long long m_LastPassUtc;      // the moment of the pass before
    bool m_bStarted;              // the first pass has run
    CWakeTimer m_WakeTimer;
    CPowerRequest m_PowerRequest;
    CUnfinishedRecording m_Unfinished;
    // The user has been told the configuration cannot be saved; cleared by
    // the next save that succeeds. Scheduler thread only.
    bool m_bSaveFailureTold;
    // The time of the last pass (0 before the first): occurrences that start
    // after it and end before the next were not seen. Scheduler thread only.
    long long m_LastPass;
    // The last stop command not yet taken (a heap StopCommand): swapped
    // whole by the UI thread and the scheduler thread, never shared.
    void* volatile m_pStopCommand;
};
