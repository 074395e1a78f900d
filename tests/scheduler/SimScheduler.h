// The scheduler on a simulated clock: every pass advances the clock (UTC) by a second, the local time follows
// by the zone's rules (UTC unless a test chooses one), posts and power calls are logged with the simulated
// time, so hours of schedule run in milliseconds.
#pragma once

#include "config/AppParameter.h"
#include "files/RecordingParameters.h"
#include "foundation/Messages.h"
#include "scheduler/Scheduler.h"
#include "support/ProgramFixtures.h"
#include "support/TestSupport.h"

#include <regex>
#include <string>
#include <vector>

class SimScheduler : public CScheduler {
public:
    CDateTime m_Clock;  // UTC
    // What went to the audio thread and the window, the keep-awake requests
    // and the sleeps, each as "hh:mm:ss what"; a start names its file prefix
    // without the folder.
    std::vector<std::wstring> m_Log;
    long long m_TimerDue = 0;  // the wake timer as armed now (UTC)
    std::vector<std::wstring> m_Timers;  // each arming, "hh:mm:ss reason" of the due time
    std::wstring m_AwakeReason;
    bool m_bAutomaticResume = true;
    long long m_Kept = 0;
    std::vector<WPARAM> m_Notices;
    std::vector<std::wstring> m_NoticeTexts;
    DWORD m_AudioId = 4242;
    CWakeSupport::Verdict m_Verdict = CWakeSupport::kUnknown;  // Wine's: the queries answer nothing
    bool m_bJudgeFacts = false;  // the verdict judged from the stand-in facts instead
    bool m_bScreenFails = false;  // the display request is refused
    bool m_bSleepFails = false;
    unsigned long long m_FreeBytes = ~0ULL;
    UINT m_Task = 0;
    long long m_ClosedAt = 0;  // the stop of the last close request

    SimScheduler() { m_Zone.UseZone(L"UTC"); }
    // Runs passes until the clock reaches until.
    void RunUntil(const CDateTime& until)
    {
        while (until.Diff(m_Clock) > 0) {
            SchedulerTick();
            WaitForNextPass();
        }
    }
    // The log entries whose what (after the time) matches pattern.
    std::vector<std::wstring> Logged(const wchar_t* pattern) const
    {
        std::vector<std::wstring> entries;
        const std::wregex what(pattern);
        for (const auto& entry : m_Log)
            if (std::regex_search(entry.substr(9), what))
                entries.push_back(entry);
        return entries;
    }

    std::wstring Local(long long utc) const
    {
        CDateTime t;
        t.SetTicks(m_Zone.UtcToLocal(utc));
        return Text(t);
    }

protected:
    void GetNow(CDateTime& now) override { now.SetTicks(m_Zone.UtcToLocal(m_Clock.m_Ticks)); }
    long long UtcNow() override { return m_Clock.m_Ticks; }
    void WaitForNextPass() override { m_Clock.AddTicks(CDateTime::kSecond); }
    bool ResumeIsAutomatic() override { return m_bAutomaticResume; }
    long long KeptSeconds() override { return m_Kept; }
    void PostToWindow(UINT message) override
    {
        Log(L"window " + Name(message));
        if (message == WM_SHUTDOWN_INQUIRY)  // shown at once, as the main window does
            m_bInquiryShown = 1;
        if (message == WM_CLOSE_INQUIRY)
            m_bInquiryShown = 0;
    }
    void PostNotice(WPARAM notice, const wchar_t* detail) override
    {
        m_Notices.push_back(notice);
        m_NoticeTexts.push_back(detail ? detail : L"");
    }
    DWORD AudioThreadId() override { return m_AudioId; }
    void PostToAudio(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        bool request = message == WM_CAPTURE_OPEN || message == WM_CAPTURE_START || message == WM_CAPTURE_CLOSE;
        if (request)
            m_Task = message;
        // m_Task is written before the post, as the receiver reads it.
        std::wstring what = m_Task == message || !request ? Name(message) : L"(task not set)";
        if (message == WM_CAPTURE_CLOSE)
            m_ClosedAt = static_cast<long long>(wParam);
        // Stops as the minute of the (UTC) day.
        auto minute = [](long long at) { return std::to_wstring(at / CDateTime::kSecond % 86400 / 60); };
        if (message == WM_CAPTURE_STOP_AT)
            what += L" " + minute(static_cast<long long>(wParam));
        if (message == WM_CAPTURE_OPEN && lParam) {  // the program's own source
            wchar_t* source = reinterpret_cast<wchar_t*>(lParam);
            what += L" " + std::wstring(source);
            delete[] source;
        }
        if (message == WM_CAPTURE_START) {
            RecordingParameters* recording = reinterpret_cast<RecordingParameters*>(lParam);
            std::wstring prefix = recording->m_Prefix;
            what += L" " + (prefix.rfind(L"D:\\Rec\\", 0) == 0 ? prefix.substr(7) : prefix) + L" until " +
                    minute(recording->m_StopAt) + (recording->m_Source[0] ? L" from " : L"") + recording->m_Source;
            delete recording;  // the receiver frees it
        }
        Log(what);
    }
    CWakeSupport::Verdict WakeVerdict(const PowerFacts& facts, bool hibernate) override
    {
        return m_bJudgeFacts ? CScheduler::WakeVerdict(facts, hibernate) : m_Verdict;
    }
    unsigned long long FreeDiskBytes(const wchar_t*) override { return m_FreeBytes; }
    bool Suspend(long long seconds, bool hibernate) override
    {
        Log(L"suspend " + std::to_wstring(seconds) + (hibernate ? L"" : L" sleep") +
            (m_TimerDue ? L" wake " + Local(m_TimerDue) : L""));
        // Asleep until the timer fires.
        if (m_bSleepFails)
            return false;
        if (m_TimerDue > m_Clock.m_Ticks)
            m_Clock.SetTicks(m_TimerDue);
        return true;
    }
    bool SetKeepAwake(const wchar_t* reason, bool screen) override
    {
        bool was = !m_AwakeReason.empty();
        m_AwakeReason = reason ? reason : L"";
        if (was != (reason != nullptr))  // a new reason alone is no new hold
            Log(reason ? L"awake" : L"awake off");
        if (screen != m_bScreen)
            Log(screen ? L"screen on" : L"screen off");
        m_bScreen = screen;
        return !screen || !m_bScreenFails;
    }
    void ArmWakeTimer(long long due, const wchar_t* reason) override
    {
        m_TimerDue = due;
        m_Timers.push_back(due ? Local(due).substr(11) + L" " + reason : L"off");
    }

private:
    bool m_bScreen = false;
    void Log(const std::wstring& what) { m_Log.push_back(Text(m_Clock).substr(11) + L" " + what); }
    static std::wstring Name(UINT message)
    {
        switch (message) {
        case WM_CAPTURE_OPEN: return L"open";
        case WM_CAPTURE_START: return L"start";
        case WM_CAPTURE_STOP_AT: return L"stop-at";
        case WM_CAPTURE_CLOSE: return L"close";
        case WM_CAPTURE_CLOCK: return L"clock";
        case WM_SHUTDOWN_INQUIRY: return L"inquiry";
        case WM_CLOSE_INQUIRY: return L"close-inquiry";
        default: return std::to_wstring(message);
        }
    }
};

// The power facts the scheduler reads, in place of Wine's (CWakeSupport::s_Facts).
inline PowerFacts& SimFacts()
{
    static PowerFacts facts;
    return facts;
}

// A configuration in a temporary folder, as the scheduler sees it.
struct SchedulerFixture {
    TempDir dir;
    IniConfig config{dir.File(L"marivane.ini")};
    SimScheduler sched;
    TraceCapture trace;

    SchedulerFixture()
    {
        config.m_WavFileDir.Assign(L"D:\\Rec");
        g_pConfig = &config;
        sched.m_pProgramList = &config.m_ProgramList;
        SimFacts() = PowerFacts();
        CWakeSupport::s_Facts = [] { return SimFacts(); };
    }
    ~SchedulerFixture()
    {
        g_pConfig = nullptr;
        CWakeSupport::s_Facts = CWakeSupport::Query;
    }
    void Add(const CDateTime& start, const CDateTime& stop, unsigned weekly = 0, const wchar_t* title = L"News",
             const wchar_t* source = nullptr)
    {
        ProgramItem* program = Program(start, stop, weekly, title);
        program->m_Source.Assign(source);
        config.m_ProgramList.Insert(program);
    }
    std::string SavedFile() { return ReadBytes(dir.File(L"marivane.ini")); }
};
