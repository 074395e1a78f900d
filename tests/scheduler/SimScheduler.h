// The scheduler on a simulated clock: every pass advances the clock by one
// second, posts and power calls are recorded with the simulated time, so
// hours of schedule run in milliseconds.
#pragma once

#include "app/Messages.h"
#include "config/AppParameter.h"
#include "scheduler/Scheduler.h"
#include "support/ProgramFixtures.h"
#include "support/TestSupport.h"

#include <string>
#include <vector>

struct Posted {
    std::wstring at;
    UINT message;
    std::wstring prefix;  // WM_CAPTURE_START to the audio thread
    UINT task;            // m_Task as the receiver would see it
};

struct SuspendCall {
    std::wstring at;
    long long seconds;
    CDateTime wakeAt;
    bool keepTimer;
};

class SimScheduler : public CScheduler {
public:
    CDateTime m_Clock;
    std::vector<Posted> m_Window, m_Audio;
    std::vector<SuspendCall> m_Suspends;
    std::vector<std::pair<std::wstring, bool>> m_KeepAwake;
    std::vector<WPARAM> m_Notices;
    std::vector<long long> m_StopAts;  // WM_CAPTURE_STOP_AT, kept apart from the requests
    DWORD m_AudioId = 4242;
    UINT m_Task = 0;
    // Acts as the main window: a requested inquiry is shown at once.
    bool m_ShowInquiries = true;

    // Runs passes until the clock reaches until. Long idle stretches (nothing
    // set up, no countdown, head start far away) are skipped, not walked.
    void RunUntil(const CDateTime& until)
    {
        while (until.Diff(m_Clock) > 0) {
            SchedulerTick();
            WaitForNextPass();
            SkipIdle(until);
        }
    }
    bool Suspended() const { return !m_Suspends.empty(); }
    int Count(const std::vector<Posted>& posts, UINT message) const
    {
        int n = 0;
        for (const auto& p : posts)
            n += p.message == message;
        return n;
    }
    bool AwakeNow() const { return !m_KeepAwake.empty() && m_KeepAwake.back().second; }

protected:
    void GetNow(CDateTime& now) override { now.SetTicks(m_Clock.m_Ticks); }
    void WaitForNextPass() override { m_Clock.AddTicks(CDateTime::kSecond); }
    void PostToWindow(UINT message) override
    {
        m_Window.push_back({Text(m_Clock), message, L"", 0});
        if (message == WM_SHUTDOWN_INQUIRY && m_ShowInquiries)
            m_bInquiryShown = 1;
        if (message == WM_CLOSE_INQUIRY)
            m_bInquiryShown = 0;
    }
    void PostNotice(WPARAM notice) override { m_Notices.push_back(notice); }
    DWORD AudioThreadId() override { return m_AudioId; }
    void PostToAudio(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_CAPTURE_STOP_AT) {
            m_StopAts.push_back(static_cast<long long>(wParam));
            return;
        }
        m_Task = message;
        Posted p{Text(m_Clock), message, L"", m_Task};
        if (message == WM_CAPTURE_START) {
            wchar_t* block = reinterpret_cast<wchar_t*>(lParam);
            p.prefix = block;
            delete[] block;  // the receiver frees it
        }
        m_Audio.push_back(p);
    }
    void Suspend(long long seconds, const CDateTime& wakeAt, bool keepTimer) override
    {
        m_Suspends.push_back({Text(m_Clock), seconds, wakeAt, keepTimer});
        // Asleep until the timer fires.
        if (seconds > 0 && wakeAt.Diff(m_Clock) > 0)
            m_Clock.SetTicks(wakeAt.m_Ticks);
    }
    void SetKeepAwake(bool on) override { m_KeepAwake.push_back({Text(m_Clock), on}); }

private:
    void SkipIdle(const CDateTime& until)
    {
        ProgramItem head;
        if (m_InquiryCountdown != 0 || m_CurProgram.m_State != Idle || AwakeNow())
            return;
        CDateTime target = until;
        if (m_pProgramList && m_pProgramList->GetAt(0, head)) {
            CDateTime before = head.m_StartTime;
            before.AddTicks(-10 * CDateTime::kSecond);
            if (head.m_StopTime.Diff(m_Clock) <= 0 || before.Diff(target) < 0)
                target = before;
        }
        if (target.Diff(m_Clock) > 60 * CDateTime::kSecond)
            m_Clock.SetTicks(target.m_Ticks);
    }
};

// A configuration in a temporary folder, as the scheduler sees it.
struct SchedulerFixture {
    TempDir dir;
    CAppParameter config;
    SimScheduler sched;
    TraceCapture trace;

    SchedulerFixture()
    {
        config.m_IniFile.Assign(dir.File(L"marivane.ini").c_str());
        config.m_WavFileDir.Assign(L"D:\\Rec");
        g_pConfig = &config;
        sched.m_pProgramList = &config.m_ProgramList;
    }
    ~SchedulerFixture() { g_pConfig = nullptr; }
    void Add(const CDateTime& start, const CDateTime& stop, unsigned weekly = 0, const wchar_t* title = L"News")
    {
        config.m_ProgramList.Insert(Program(start, stop, weekly, title));
    }
    std::string SavedFile() { return ReadBytes(dir.File(L"marivane.ini")); }
};
