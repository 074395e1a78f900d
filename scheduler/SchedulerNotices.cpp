// The UI thread's side of the scheduler: the sleep inquiry requests and the
// system's power notifications, handled for the main window.
#include "config/AppParameter.h"
#include "foundation/Messages.h"
#include "foundation/Trace.h"
#include "scheduler/Scheduler.h"
#include "scheduler/SleepState.h"

void CScheduler::OnShutdownInquiry(HINSTANCE instance, bool japanese)
{
    if (!g_pConfig || !g_pConfig->m_Shutdown) {
        m_bInquiryShown = 0;
        return;
    }
    m_bInquiryShown = 1;
    if (m_hInquiryDlg)
        return;
    if (m_pSleepInquiry)
        m_hInquiryDlg = m_pSleepInquiry->OpenInquiry(this, instance, japanese);
}

void CScheduler::OnCloseInquiry()
{
    m_bInquiryShown = 0;
    if (m_hInquiryDlg)
        PostMessageW(m_hInquiryDlg, WM_CLOSE, 0, 0);
}

void CScheduler::OnPowerBroadcast(WPARAM event)
{
    Trace(L"OnPowerBroadcast(%d)\n", static_cast<int>(event));
    if (event == PBT_APMSUSPEND) {
        Trace(L"System is suspending operation.\n");
        m_InquiryCountdown = 0;
        // Our own sleep request judged the PC before it asked.
        if (m_bSuspending)
            return;
        // A sleep the program did not ask for (the user, the lid, the idle
        // timer): the wake timer is armed already; whether it can wake the
        // PC is read again now, as the power plan may have changed.
        CDateTime now;
        GetNow(now);
        wchar_t text[CDateTime::kTextSize];
        Trace(L"[%s] Suspend\n", now.Format(text));
        // The PC's own sleep: S1-S3 where it has them, else hibernation.
        PowerFacts facts = m_TimerDue ? CWakeSupport::s_Facts() : PowerFacts();
        bool hibernate = !CSleepState::Supports(facts, false);
        CWakeSupport::Verdict verdict = m_TimerDue ? WakeVerdict(facts, hibernate) : CWakeSupport::kCanWake;
        if (verdict != CWakeSupport::kCanWake && verdict != CWakeSupport::kUnknown)
            PostNotice(kNoticeSleptNoWake, CWakeSupport::Advice(verdict, g_pConfig && g_pConfig->m_UiLanguage == 1));
    } else if (event == PBT_APMRESUMEAUTOMATIC) {
        // After an unattended wake Windows sleeps again within about two
        // minutes: its idle timer is reset now, and the scheduler thread
        // holds the system awake until the program is set up. Every resume
        // comes with this event; only one without the user counts.
        bool automatic = ResumeIsAutomatic();
        if (automatic)
            SetThreadExecutionState(ES_SYSTEM_REQUIRED);
        m_ResumeKind = automatic ? 2 : 1;
        InterlockedExchange(&m_bPowerChanged, 1);
        OnClockChanged();
    } else if (event == PBT_APMPOWERSTATUSCHANGE) {
        // From mains to battery (or back) during a recording: the scheduler
        // thread judges the battery standby again at once.
        InterlockedExchange(&m_bPowerChanged, 1);
        WakeNow();
    }
}

void CScheduler::OnClockChanged()
{
    Trace(L"The wall clock changed or the system resumed\n");
    m_Zone.Forget();
    InterlockedExchange(&m_bRearmTimer, 1);
    if (AudioThreadId())
        PostToAudio(WM_CAPTURE_CLOCK, 0, 0);
    if (m_hWake)
        SetEvent(m_hWake);
}
