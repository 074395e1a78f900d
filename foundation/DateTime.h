// A local wall-clock time, held both as calendar fields and as 100-ns ticks
// since 1601-01-01 of the same local clock. No time zones.
#pragma once

#include "foundation/Object.h"

#include <windows.h>

class CDateTime : public CObject {
public:
    static constexpr long long kSecond = 10000000LL;
    static constexpr long long kDay = 864000000000LL;
    // Room for "%d/%02d/%02d %02d:%02d:%02d" with any 16-bit fields.
    static constexpr int kTextSize = 40;

    CDateTime();

    void SetNow();
    void Set(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second);
    void SetTicks(long long ticks);
    void AddTicks(long long delta);
    long long Diff(const CDateTime& other) const { return m_Ticks - other.m_Ticks; }
    int Parse(const wchar_t* text);
    // Writes the one text form into buffer (at least kTextSize units); returns buffer.
    const wchar_t* Format(wchar_t* buffer, int count = kTextSize) const;

    SYSTEMTIME m_Time;
    long long m_Ticks;
};

// A FILETIME as one count of 100-ns units.
long long FileTimeToTicks(const FILETIME& ft);
// The wall clock, UTC in 100-ns units, to the system's precision: what a
// recording's span is cut on, stepped with the clock.
long long PreciseUtcNow();
// The performance counter in 100-ns units: never stepped, for lengths and arrivals.
long long CounterNow();
