// Programs and times for the tests of the list and the scheduler.
#pragma once

#include "config/AppParameter.h"
#include "programs/ProgramItem.h"
#include "programs/ProgramList.h"

#include <string>
#include <vector>

// A configuration object whose file is ini.
struct IniConfig : CAppParameter {
    explicit IniConfig(const std::wstring& ini) { m_IniFile.Assign(ini.c_str()); }
};

inline CDateTime At(int y, int mo, int d, int h, int mi, int s = 0)
{
    CDateTime t;
    t.Set(static_cast<WORD>(y), static_cast<WORD>(mo), static_cast<WORD>(d), static_cast<WORD>(h),
          static_cast<WORD>(mi), static_cast<WORD>(s));
    return t;
}

// Now, in whole seconds, moved by seconds.
inline CDateTime FromTicks(long long ticks)
{
    CDateTime t;
    t.SetTicks(ticks);
    return t;
}

inline CDateTime SecondsFromNow(int seconds)
{
    CDateTime t;
    t.SetNow();
    t = At(t.m_Time.wYear, t.m_Time.wMonth, t.m_Time.wDay, t.m_Time.wHour, t.m_Time.wMinute, t.m_Time.wSecond);
    t.AddTicks(seconds * CDateTime::kSecond);
    return t;
}

// A local time as UTC, 100-ns units since 1601.
inline long long UtcTicksOf(const CDateTime& local)
{
    SYSTEMTIME utc;
    FILETIME ft;
    TzSpecificLocalTimeToSystemTime(nullptr, &local.m_Time, &utc);
    SystemTimeToFileTime(&utc, &ft);
    return FileTimeToTicks(ft);
}

inline ProgramItem* Program(const CDateTime& start, const CDateTime& stop, unsigned weekly, const wchar_t* title)
{
    ProgramItem* p = new ProgramItem();
    p->m_StartTime = start;
    p->m_StopTime = stop;
    p->m_Weekly = weekly;
    p->m_Title.Assign(title);
    return p;
}

// Copies of the list's programs, in its order.
inline std::vector<ProgramItem> Items(ProgramList& list)
{
    std::vector<ProgramItem> items;
    ProgramItem copy;
    for (unsigned i = 0; list.GetAt(i, copy); ++i)
        items.push_back(copy);
    return items;
}

inline std::wstring Text(const CDateTime& t)
{
    wchar_t buffer[CDateTime::kTextSize];
    return t.Format(buffer);
}
