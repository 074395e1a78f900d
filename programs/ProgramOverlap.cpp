#include "programs/ProgramOverlap.h"
#include "programs/ProgramItem.h"

namespace {

const long long kDay = CDateTime::kDay;
const long long kWeek = 7 * kDay;
// A program running for months is no program a user meant; past this many
// occurrences the search gives up rather than stall the dialog.
const int kMaxSteps = 4000;

long long Start(const ProgramItem& p) { return p.m_StartTime.m_Ticks; }
long long Length(const ProgramItem& p) { return p.m_StopTime.m_Ticks - p.m_StartTime.m_Ticks; }
bool IsWeekly(const ProgramItem& p) { return (p.m_Weekly & 0x7F) != 0; }

// Calls test(start) for the start of every occurrence of p that meets
// [from, to); stops at the first that returns true.
template <class Test>
bool AnyOccurrence(const ProgramItem& p, long long from, long long to, Test test)
{
    long long start = Start(p), length = Length(p);
    if (length <= 0 || from >= to)
        return false;
    if (!IsWeekly(p))
        return start < to && start + length > from && test(start);
    // Occurrence k starts k days after the first, on a marked day.
    long long first = (from - length - start) / kDay;
    if (first < 0)
        first = 0;
    int day = p.m_StartTime.m_Time.wDayOfWeek % 7;
    for (long long k = first; k - first < kMaxSteps; ++k) {
        long long at = start + k * kDay;
        if (at >= to)
            break;
        bool marked = k == 0 || (p.m_Weekly >> ((day + k) % 7)) & 1;
        if (marked && at + length > from && test(at))
            return true;
    }
    return false;
}

// Some occurrence of a against some of b satisfies test(aStart, bStart).
template <class Test>
bool AnyPair(const ProgramItem& a, const ProgramItem& b, Test test)
{
    long long aLength = Length(a), bLength = Length(b);
    if (aLength <= 0 || bLength <= 0)
        return false;
    // Both weekly: the pattern repeats every week once both have begun.
    long long from = Start(a) > Start(b) ? Start(a) : Start(b);
    long long to = from + kWeek + (aLength > bLength ? aLength : bLength);
    if (!IsWeekly(b)) {
        from = Start(b);
        to = Start(b) + bLength;
    } else if (!IsWeekly(a)) {
        from = Start(a);
        to = Start(a) + aLength;
    }
    return AnyOccurrence(a, from - bLength, to + bLength, [&](long long at) {
        return AnyOccurrence(b, at, at + aLength, [&](long long bt) { return test(at, bt); });
    });
}

}  // namespace

bool ProgramsOverlap(const ProgramItem& a, const ProgramItem& b)
{
    return AnyPair(a, b, [](long long, long long) { return true; });
}

bool ProgramInside(const ProgramItem& inner, const ProgramItem& outer)
{
    long long innerLength = Length(inner), outerLength = Length(outer);
    return AnyPair(inner, outer, [&](long long i, long long o) { return i >= o && i + innerLength <= o + outerLength; });
}
