#include "foundation/DateTime.h"
#include "foundation/Format.h"

CDateTime::CDateTime() : m_Time(), m_Ticks(0)
{
    m_Time.wYear = 1;
    m_Time.wMonth = 1;
    m_Time.wDay = 1;
}

long long FileTimeToTicks(const FILETIME& ft)
{
    return static_cast<long long>((static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

long long PreciseUtcNow()
{
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    return FileTimeToTicks(now);
}

long long CounterNow()
{
    LARGE_INTEGER qpc, frequency;
    QueryPerformanceCounter(&qpc);
    QueryPerformanceFrequency(&frequency);
    return qpc.QuadPart / frequency.QuadPart * 10000000LL +
           qpc.QuadPart % frequency.QuadPart * 10000000LL / frequency.QuadPart;
}

void CDateTime::SetNow()
{
    GetLocalTime(&m_Time);
    FILETIME ft;
    m_Ticks = SystemTimeToFileTime(&m_Time, &ft) ? FileTimeToTicks(ft) : 0;
}

void CDateTime::Set(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
    m_Time.wYear = year;
    m_Time.wMonth = month;
    m_Time.wDay = day;
    m_Time.wHour = hour;
    m_Time.wMinute = minute;
    m_Time.wSecond = second;
    m_Time.wDayOfWeek = 0;
    m_Time.wMilliseconds = 0;
    FILETIME ft;
    if (!SystemTimeToFileTime(&m_Time, &ft)) {
        // Fields that form no valid date (only hand-edited text gets here):
        // the fields are kept as given and the ticks are 0.
        m_Ticks = 0;
        return;
    }
    SetTicks(FileTimeToTicks(ft));
}

void CDateTime::SetTicks(long long ticks)
{
    m_Ticks = ticks;
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(static_cast<unsigned long long>(ticks) & 0xFFFFFFFFu);
    ft.dwHighDateTime = static_cast<DWORD>(static_cast<unsigned long long>(ticks) >> 32);
    SYSTEMTIME st;
    if (FileTimeToSystemTime(&ft, &st))
        m_Time = st;
}

void CDateTime::AddTicks(long long delta)
{
    SetTicks(m_Ticks + delta);
}

static bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

int CDateTime::Parse(const wchar_t* text)
{
    if (!text)
        return 0;
    static const wchar_t kSeparators[6] = {L'/', L'/', L' ', L':', L':', L' '};
    unsigned fields[6] = {0, 0, 0, 0, 0, 0};
    const wchar_t* p = text;
    while (*p && !IsDigit(*p))
        ++p;
    for (int f = 0; f < 6 && *p; ++f) {
        while (*p && *p != kSeparators[f]) {
            if (IsDigit(*p))
                fields[f] = fields[f] * 10u + static_cast<unsigned>(*p - L'0');
            ++p;
        }
        if (!*p || f == 5)
            break;
        ++p;  // the separator
        while (*p && !IsDigit(*p))
            ++p;
    }
    Set(static_cast<WORD>(fields[0]), static_cast<WORD>(fields[1]), static_cast<WORD>(fields[2]),
        static_cast<WORD>(fields[3]), static_cast<WORD>(fields[4]), static_cast<WORD>(fields[5]));
    return 1;
}

const wchar_t* CDateTime::Format(wchar_t* buffer, int count) const
{
    FormatText(buffer, static_cast<size_t>(count), L"%d/%02d/%02d %02d:%02d:%02d", m_Time.wYear, m_Time.wMonth,
               m_Time.wDay, m_Time.wHour, m_Time.wMinute, m_Time.wSecond);
    return buffer;
}
