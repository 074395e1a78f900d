// A year through the scheduler's seams (clock, zone, power, audio sink) in New York, Berlin and Sydney.
// The audio thread is a sink keeping what each occurrence recorded; the clock skips idle seconds.
#include "scheduler/SimScheduler.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <set>
#include <utility>

namespace {

constexpr long long kSec = CDateTime::kSecond;
struct Span { long long from, to; };

// What outlives a run of the program: recordings, what was told, holds.
struct Year {
    std::map<std::wstring, std::vector<Span>> recorded;  // by file prefix
    std::set<std::wstring> told;
    std::vector<Span> held, asleep;
    std::wstring diedOpen, firstCut;  // recording when the last run ended; a cut-short text
    int ownSleeps = 0;
};

class YearSim : public SimScheduler {
public:
    Year* m_Year = nullptr;
    std::wstring m_Open;
    long long m_From = 0, m_StopAt = 0, m_DeviceSince = 0, m_HeldSince = 0;

    // The stream breaks (sleep, end of the process).
    void EndPiece(long long at)
    {
        long long to = m_StopAt && m_StopAt < at ? m_StopAt : at;
        if (!m_Open.empty() && m_From && to > m_From)
            m_Year->recorded[m_Open].push_back({m_From, to});
        m_From = 0;
    }
    void EndHold(long long at)
    {
        if (m_HeldSince)
            m_Year->held.push_back({std::exchange(m_HeldSince, 0), at});
    }
    void Resume(long long at, bool automatic)
    {
        m_Clock.SetTicks(at);
        m_bAutomaticResume = automatic;
        OnPowerBroadcast(PBT_APMRESUMEAUTOMATIC);
        // Still in its window, the audio thread goes on in the next file and tells of the break.
        if (!m_Open.empty() && (!m_StopAt || m_StopAt > at)) {
            m_From = at;
            m_Year->told.insert(m_Open);
        }
    }
    // The next moment a pass can change anything.
    long long NextPass()
    {
        long long now = m_Clock.m_Ticks, next = now + kSec;
        if (m_InquiryCountdown > 0 || m_AwakeReason.rfind(L"Marivane: woken", 0) == 0)
            return next;
        long long target = 0;
        if (m_CurProgram.m_State == Recording) {
            target = CaptureClockTime(m_CurProgram.m_StopTime) - 2 * kSec;
        } else if (m_CurProgram.m_State == Idle && m_CurProgram.m_Id) {
            long long start = CaptureClockTime(m_CurProgram.m_StartTime);
            for (long long lead : {kWakeLead, kLateWakeLead, 7LL})
                if ((target = start - lead * kSec) > now)
                    break;
        }
        return target > next ? target : next;
    }

protected:
    void PostToAudio(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        long long now = m_Clock.m_Ticks, at = static_cast<long long>(wParam);
        if (message == WM_CAPTURE_OPEN)
            m_DeviceSince = now;
        if (message == WM_CAPTURE_START) {
            const RecordingParameters& recording = *reinterpret_cast<RecordingParameters*>(lParam);
            at = recording.m_StartAt;
            long long from = m_Open.empty() ? std::max(at, m_DeviceSince) : std::max(at, m_StopAt);  // at the cut
            EndPiece(m_StopAt ? m_StopAt : now);
            m_Open = std::wstring(recording.m_Prefix).substr(7);  // without "D:\Rec\"
            m_From = std::max(from, now - 10 * kSec);  // the pre-roll's 10 s
            m_StopAt = recording.m_StopAt;
        }
        if (message == WM_CAPTURE_STOP_AT)
            m_StopAt = at;
        if (message == WM_CAPTURE_CLOSE) {
            EndPiece(at ? at : now);
            m_Open.clear();
        }
        SimScheduler::PostToAudio(message, wParam, lParam);
    }
    void PostNotice(WPARAM notice, const wchar_t* detail) override
    {
        SimScheduler::PostNotice(notice, detail);
        std::wstring text = detail ? detail : L"";
        std::wstring key = m_Open.empty() ? m_Year->diedOpen : m_Open;
        if (notice == kNoticeCutShort && text.rfind(key.substr(0, key.find(L'_')) + L" was cut at ", 0) == 0) {
            m_Year->told.insert(key);
            m_Year->firstCut = m_Year->firstCut.empty() ? text : m_Year->firstCut;
        }
        // "Title  2026/03/08 02:10" a line, after the balloon's first.
        for (size_t at = text.find(L'\n'); notice != kNoticeCutShort && at != std::wstring::npos; at = text.find(L'\n', at + 1)) {
            std::wstring line = text.substr(at + 1, text.find(L'\n', at + 1) - at - 1), digits;
            for (size_t i = line.find(L"  "); i < line.size(); ++i)
                digits += iswdigit(line[i]) ? std::wstring(1, line[i]) : L"";
            m_Year->told.insert(line.substr(0, line.find(L"  ")) + L"_" + digits);
        }
    }
    bool SetKeepAwake(const wchar_t* reason, bool screen) override
    {
        if (reason && !m_HeldSince)
            m_HeldSince = m_Clock.m_Ticks;
        if (!reason)
            EndHold(m_Clock.m_Ticks);
        return SimScheduler::SetKeepAwake(reason, screen);
    }
    bool Suspend(long long, bool) override
    {
        ++m_Year->ownSleeps;
        long long now = m_Clock.m_Ticks, wake = m_TimerDue > now ? m_TimerDue : now + 3600 * kSec;
        m_Year->asleep.push_back({now, wake});
        Resume(wake, true);
        return true;
    }
    long long KeptSeconds() override
    {
        long long kept = m_From ? m_Clock.m_Ticks - m_From : 0;
        for (const Span& s : m_Year->recorded[m_Open])
            kept += s.to - s.from;
        return kept / kSec;
    }
};

enum Kind { kIdle, kLid, kStandby, kDuring, kLastMinutes, kOwnOn, kOwnOff, kManual, kCrash, kKill, kUpdate, kUpdateAway };

}  // namespace

TEST(SimulatedYear, EveryOccurrenceIsRecordedWholeOrTold)
{
    // Weekly (first week of 2026) and one-shot programs, local times; the
    // Sunday night ones meet every change of summer time.
    struct Weekly { const wchar_t* title; CDateTime start, stop; unsigned days; } weekly[] = {
        {L"SunNight", At(2026, 1, 4, 1, 0), At(2026, 1, 4, 2, 0), 1},
        {L"SunEarly", At(2026, 1, 4, 2, 10), At(2026, 1, 4, 2, 50), 1},
        {L"SunDawn", At(2026, 1, 4, 3, 0), At(2026, 1, 4, 4, 0), 1},
        {L"MonNews", At(2026, 1, 5, 7, 0), At(2026, 1, 5, 7, 30), 1 << 1},
        {L"TueTalk", At(2026, 1, 6, 20, 0), At(2026, 1, 6, 21, 0), 1 << 2},
        {L"WedJazz", At(2026, 1, 7, 22, 0), At(2026, 1, 7, 23, 30), 1 << 3},
        {L"ThuLate", At(2026, 1, 8, 23, 30), At(2026, 1, 9, 0, 30), 1 << 4},
        {L"FriOne", At(2026, 1, 9, 18, 0), At(2026, 1, 9, 18, 30), 1 << 5},
        {L"FriTwo", At(2026, 1, 9, 18, 30), At(2026, 1, 9, 19, 0), 1 << 5},  // back to back
        {L"Mix", At(2026, 1, 5, 12, 0), At(2026, 1, 5, 12, 20), (1 << 1) | (1 << 3) | (1 << 6)},
    };
    // Sleeps, restarts and wakes, each in weeks first, first + 5, ... at a
    // program's start (or stop) plus minutes: count, kind, program, minutes, after the stop.
    struct Recipe { int count; Kind kind; int program, minutes; bool afterStop; int first; } recipes[] = {
        {10, kIdle, 4, 60, true, 1},       {10, kLid, 2, 30, true, 2},        {5, kManual, 2, 90, true, 2},
        {10, kStandby, 9, 15, true, 3},    {10, kDuring, 5, 20, false, 4},    {10, kLastMinutes, 7, -2, false, 1},
        {10, kOwnOn, 3, 1, false, 2},      {10, kOwnOff, 3, 7, true, 2},      {4, kCrash, 4, 25, false, 3},
        {3, kKill, 4, 40, false, 21},      {3, kUpdate, 4, 10, false, 36},    {2, kUpdateAway, 0, 10, false, 45},
    };
    const CDateTime from = At(2026, 1, 3, 12, 0), until = At(2027, 1, 2, 12, 0);
    for (const wchar_t* zone : {L"Eastern Standard Time", L"W. Europe Standard Time", L"AUS Eastern Standard Time"}) {
        SCOPED_TRACE(Narrow(zone));
        SchedulerFixture f;
        f.sched.m_Zone.UseZone(zone);
        auto utc = [&](const CDateTime& local) { return f.sched.m_Zone.LocalToUtc(local.m_Ticks); };
        std::map<std::wstring, Span> expected;  // every occurrence's window, by its file prefix
        auto occurrence = [&](const wchar_t* title, CDateTime start, CDateTime stop) {
            wchar_t key[64];
            swprintf(key, 64, L"%ls_%04d%02d%02d%02d%02d", title, start.m_Time.wYear, start.m_Time.wMonth,
                     start.m_Time.wDay, start.m_Time.wHour, start.m_Time.wMinute);
            expected[key] = {utc(start), utc(stop)};
        };
        for (const Weekly& w : weekly) {
            f.Add(w.start, w.stop, w.days, w.title);
            for (long long d = 0; d < 364; ++d) {
                CDateTime start = FromTicks(w.start.m_Ticks + d * CDateTime::kDay);
                if ((w.days >> start.m_Time.wDayOfWeek) & 1 && start.Diff(until) < 0)
                    occurrence(w.title, start, FromTicks(w.stop.m_Ticks + d * CDateTime::kDay));
            }
        }
        for (int i = 0; i < 30; ++i) {
            const WORD hours[] = {9, 10, 11, 13, 14};
            CDateTime start = FromTicks(At(2026, 1, 10, hours[i % 5], 10).m_Ticks + i * 12 * CDateTime::kDay);
            CDateTime stop = FromTicks(start.m_Ticks + (30 + i % 3 * 5) * 60 * kSec);
            f.Add(start, stop, 0, L"Once");
            occurrence(L"Once", start, stop);
        }
        std::vector<std::pair<long long, Kind>> events;
        for (const Recipe& r : recipes)
            for (int i = 0; i < r.count; ++i) {
                const Weekly& w = weekly[r.program];
                long long week = (r.first + 5 * i) * 7 * CDateTime::kDay;
                events.push_back({utc(FromTicks((r.afterStop ? w.stop : w.start).m_Ticks + week)) + r.minutes * 60 * kSec, r.kind});
            }
        std::sort(events.begin(), events.end());

        Year year;
        auto run = std::make_unique<YearSim>();
        auto begin = [&](long long at) {
            run = std::make_unique<YearSim>();
            run->m_Zone.UseZone(zone);
            run->m_pProgramList = &f.config.m_ProgramList;
            run->m_Year = &year;
            run->m_Clock.SetTicks(at);
        };
        begin(utc(from));
        f.config.m_Shutdown = 0;
        int kinds[12] = {}, refused = 0;
        size_t e = 0;
        while (run->m_Clock.m_Ticks < utc(until) - (CScheduler::kWakeLead + 60) * kSec) {
            long long now = run->m_Clock.m_Ticks;
            if (e == events.size() || events[e].first > now) {
                run->SchedulerTick();
                long long next = run->NextPass();
                run->m_Clock.SetTicks(e < events.size() && events[e].first < next ? std::max(events[e].first - kSec, now + kSec) : next);
                continue;
            }
            Kind kind = events[e++].second;
            ++kinds[kind];
            if (kind == kOwnOn || kind == kOwnOff) {
                f.config.m_Shutdown = kind == kOwnOn;
            } else if (kind == kIdle && !run->m_AwakeReason.empty()) {
                ++refused;  // the idle timer cannot sleep a PC held awake
            } else if (kind <= kLastMinutes) {
                if (kind != kStandby)  // Modern Standby may never announce its sleep
                    run->OnPowerBroadcast(PBT_APMSUSPEND);
                run->EndPiece(now);
                long long wake = run->m_TimerDue > now ? run->m_TimerDue : utc(until);
                bool manual = e < events.size() && events[e].second == kManual && events[e].first < wake;
                if (manual)
                    wake = events[e++].first, ++kinds[kManual];
                year.asleep.push_back({now, wake});
                run->Resume(wake, !manual);
            } else if (kind >= kCrash) {
                // Down for minutes, an hour, or until the user signs in again.
                long long down = (kind == kCrash ? 2 : kind == kKill ? 60 : kind == kUpdate ? 4 : 600) * 60 * kSec;
                if (kind >= kUpdate)
                    run->m_bSessionEnding = 1, run->Finish();
                run->EndPiece(now);
                run->EndHold(now);
                year.diedOpen = run->m_Open;
                year.asleep.push_back({now, now + down});
                begin(now + down);
                f.config.Load();
            }
        }
        run->EndHold(run->m_Clock.m_Ticks);

        // Every occurrence: whole, in part and told, or told; never shifted or silently lost.
        int whole = 0, partTold = 0, told = 0, shifted = 0, silent = 0;
        std::vector<Span> allowed;  // asleep, or the hold after a wake
        for (const Span& a : year.asleep)
            allowed.push_back({a.from, a.to + CScheduler::kResumeHold + kSec});
        for (const auto& [key, window] : expected) {
            allowed.push_back({window.from - (CScheduler::kWakeLead + 2) * kSec, window.to + 2 * kSec});
            long long covered = 0;
            bool outside = false;
            for (const Span& s : year.recorded[key]) {
                covered += s.to - s.from;
                outside |= s.from < window.from - kSec || s.to > window.to + kSec;
            }
            if (outside)
                ++shifted;
            else if (window.to > window.from && covered >= window.to - window.from - kSec && year.recorded[key].size() == 1)
                ++whole;
            else if (year.told.count(key))
                ++(covered ? partTold : told);
            else
                ADD_FAILURE() << Narrow(key) << " silently lost: " << covered / kSec << " s of " << (window.to - window.from) / kSec, ++silent;
        }
        // Held awake only from a program's wake lead to its stop, the hold after a wake, or asleep.
        long long heldTotal = 0;
        for (const Span& h : year.held) {
            heldTotal += h.to - h.from;
            for (long long t = h.from; t < h.to; t += 60 * kSec)
                if (std::none_of(allowed.begin(), allowed.end(), [&](const Span& a) { return t >= a.from && t <= a.to; })) {
                    ADD_FAILURE() << "held awake at " << Narrow(run->Local(t));
                    break;
                }
        }
        printf("%-26ls %zu occurrences: %d whole, %d in part and told, %d told, %d shifted, %d silently lost; sleeps: %d idle "
               "(%d refused while held), %d lid, %d Modern Standby, %d during recordings, %d in the last minutes, %d the "
               "program's own; %d crashes, %d kills, %d update restarts, %d without sign-in, %d manual wakes; held awake %lld h\n",
               zone, expected.size(), whole, partTold, told, shifted, silent, kinds[kIdle], refused, kinds[kLid],
               kinds[kStandby], kinds[kDuring], kinds[kLastMinutes], year.ownSleeps, kinds[kCrash], kinds[kKill],
               kinds[kUpdate], kinds[kUpdateAway], kinds[kManual], heldTotal / 3600 / kSec);
        printf("  e.g. %ls\n", year.firstCut.c_str());
        EXPECT_EQ(shifted + silent, 0);
        // The same in each zone: the change to summer time skips one window
        // (told), the update restart without sign-in costs two (told).
        EXPECT_EQ((std::vector<int>{whole, partTold, told}), (std::vector<int>{626, 22, 5}));
        int sleeps = kinds[kIdle] + kinds[kLid] + kinds[kStandby] + kinds[kDuring] + kinds[kLastMinutes] + year.ownSleeps;
        EXPECT_EQ((std::vector<int>{sleeps, kinds[kCrash] + kinds[kKill] + kinds[kUpdate] + kinds[kUpdateAway], kinds[kManual]}),
                  (std::vector<int>{60, 12, 5}));
    }
}
