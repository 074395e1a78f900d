// Local wall-clock time and UTC by the rules of a time zone for the year in
// question, with one rule for the times a change of summer time skips or
// shows twice: a skipped time is the moment of the change, a time shown
// twice is its first showing. The scheduler's capture-clock times, its
// leads and the wake timer's due time all come from here, so they agree.
#pragma once

#include <windows.h>

class CZoneRules {
public:
    static constexpr int kKeySize = 128;

    CZoneRules() : m_Key(), m_Generation(1) {}
    // A zone by its key ("Eastern Standard Time"), for a test that must not
    // change the machine's zone; empty: the system's zone as it is now.
    void UseZone(const wchar_t* key)
    {
        lstrcpynW(m_Key, key ? key : L"", kKeySize);
        Forget();
    }
    // The zone or its rules may have changed (WM_TIMECHANGE): they are read
    // again. Any thread; the rest is one thread's (the scheduler's).
    void Forget() { InterlockedIncrement(&m_Generation); }

    // Both in 100-ns units since 1601.
    long long LocalToUtc(long long local) const;
    long long UtcToLocal(long long utc) const;
    // The latest local time whose moment has come by utc. That is the local
    // time, except in the second showing of an hour shown twice: all its
    // times came at their first showing, and the next to come is its end.
    long long ScheduleTime(long long utc) const;

private:
    // One year's rules: UTC less local in standard and in summer time, and
    // the two changes as UTC moments.
    struct Year {
        long long standard = 0, summer = 0;
        long long summerStarts = 0, summerEnds = 0;
        bool changes = false;
        bool SummerAt(long long utc) const;
    };
    bool Rules(int year, Year& out) const;
    bool ReadRules(int year, Year& out) const;

    wchar_t m_Key[kKeySize];
    volatile LONG m_Generation;
    // The last two years read, and the generation they were read in.
    mutable Year m_Cached[2];
    mutable int m_CachedYear[2] = {0, 0};
    mutable LONG m_CachedGeneration[2] = {0, 0};
};
