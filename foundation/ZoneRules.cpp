#include "foundation/ZoneRules.h"
#include "foundation/DateTime.h"

namespace {

constexpr long long kMinute = 60 * CDateTime::kSecond;

int YearOf(long long ticks)
{
    CDateTime t;
    t.SetTicks(ticks);
    return t.m_Time.wYear;
}

// A change's local wall time in year: a fixed date, or the n-th weekday of
// its month (n = 5: the last), as the zone's records give it.
long long ChangeTime(int year, const SYSTEMTIME& rule)
{
    SYSTEMTIME st = rule;
    st.wDayOfWeek = 0;
    FILETIME ft;
    if (rule.wYear == 0) {
        CDateTime first;
        first.Set(static_cast<WORD>(year), rule.wMonth, 1, 0, 0, 0);
        int day = 1 + (rule.wDayOfWeek - first.m_Time.wDayOfWeek + 7) % 7 + 7 * (rule.wDay - 1);
        st.wYear = static_cast<WORD>(year);
        st.wDay = static_cast<WORD>(day);
        while (st.wDay > 28 && !SystemTimeToFileTime(&st, &ft))
            st.wDay = static_cast<WORD>(st.wDay - 7);
    }
    return SystemTimeToFileTime(&st, &ft) ? FileTimeToTicks(ft) : 0;
}

}  // namespace

bool CZoneRules::Year::SummerAt(long long utc) const
{
    if (!changes)
        return false;
    // The southern hemisphere's summer spans the new year.
    return summerStarts < summerEnds ? utc >= summerStarts && utc < summerEnds
                                     : utc >= summerStarts || utc < summerEnds;
}

bool CZoneRules::Rules(int year, Year& out) const
{
    // Reading the zone's records costs registry reads; a pass needs them often.
    LONG generation = m_Generation;
    for (int i = 0; i < 2; ++i) {
        if (m_CachedYear[i] == year && m_CachedGeneration[i] == generation) {
            out = m_Cached[i];
            return true;
        }
    }
    if (!ReadRules(year, out))
        return false;
    int slot = m_CachedYear[0] == year - 1 || m_CachedYear[0] == year + 1 ? 1 : 0;
    m_Cached[slot] = out;
    m_CachedYear[slot] = year;
    m_CachedGeneration[slot] = generation;
    return true;
}

bool CZoneRules::ReadRules(int year, Year& out) const
{
    TIME_ZONE_INFORMATION tzi = {};
    DYNAMIC_TIME_ZONE_INFORMATION zone = {};
    bool summerOff = false;
    BOOL ok;
    if (m_Key[0]) {
        lstrcpynW(zone.TimeZoneKeyName, m_Key, kKeySize);
        ok = GetTimeZoneInformationForYear(static_cast<USHORT>(year), &zone, &tzi);
    } else {
        // "Adjust for daylight saving time automatically" off: standard time all year.
        summerOff = GetDynamicTimeZoneInformation(&zone) != TIME_ZONE_ID_INVALID && zone.DynamicDaylightTimeDisabled;
        ok = GetTimeZoneInformationForYear(static_cast<USHORT>(year), nullptr, &tzi) ||
             GetTimeZoneInformation(&tzi) != TIME_ZONE_ID_INVALID;
    }
    if (!ok)
        return false;
    out.standard = (tzi.Bias + tzi.StandardBias) * kMinute;
    out.summer = (tzi.Bias + tzi.DaylightBias) * kMinute;
    out.changes = !summerOff && tzi.StandardDate.wMonth && tzi.DaylightDate.wMonth && out.standard != out.summer;
    if (out.changes) {
        // Summer time starts at the standard clock's reading, ends at the summer clock's.
        out.summerStarts = ChangeTime(year, tzi.DaylightDate) + out.standard;
        out.summerEnds = ChangeTime(year, tzi.StandardDate) + out.summer;
    }
    return true;
}

long long CZoneRules::LocalToUtc(long long local) const
{
    Year y;
    if (!Rules(YearOf(local), y))
        return local;
    long long asStandard = local + y.standard, asSummer = local + y.summer;
    if (!y.changes)
        return asStandard;
    bool standardFits = !y.SummerAt(asStandard), summerFits = y.SummerAt(asSummer);
    if (standardFits && summerFits)  // shown twice: the first showing
        return asStandard < asSummer ? asStandard : asSummer;
    if (standardFits)
        return asStandard;
    if (summerFits)
        return asSummer;
    // Skipped: the moment of the change between the two readings.
    long long low = asStandard < asSummer ? asStandard : asSummer;
    long long high = asStandard < asSummer ? asSummer : asStandard;
    return y.summerStarts >= low && y.summerStarts <= high ? y.summerStarts : y.summerEnds;
}

long long CZoneRules::UtcToLocal(long long utc) const
{
    Year y;
    if (!Rules(YearOf(utc), y))
        return utc;
    return utc - (y.SummerAt(utc) ? y.summer : y.standard);
}

long long CZoneRules::ScheduleTime(long long utc) const
{
    long long local = UtcToLocal(utc);
    Year y;
    if (LocalToUtc(local) >= utc || !Rules(YearOf(local), y) || !y.changes)
        return local;
    // The clock went back at this change; its reading just before it.
    long long back = y.standard > y.summer ? y.summerEnds - y.summer : y.summerStarts - y.standard;
    return back - 1;
}
