#include "foundation/DateTime.h"

#include <gtest/gtest.h>
#include <string>

static std::wstring Text(const CDateTime& t)
{
    wchar_t buffer[CDateTime::kTextSize];
    return t.Format(buffer);
}

TEST(CDateTime, DefaultValue)
{
    CDateTime t;
    EXPECT_EQ(t.m_Time.wYear, 1);
    EXPECT_EQ(t.m_Time.wMonth, 1);
    EXPECT_EQ(t.m_Time.wDay, 1);
    EXPECT_EQ(t.m_Ticks, 0);
}

TEST(CDateTime, SetDerivesWeekdayAndFormats)
{
    CDateTime t;
    t.Set(2024, 5, 1, 7, 30, 0);
    EXPECT_EQ(t.m_Time.wDayOfWeek, 3);
    EXPECT_EQ(Text(t), L"2024/05/01 07:30:00");
    CDateTime epoch;
    epoch.Set(1601, 1, 1, 0, 0, 1);
    EXPECT_EQ(epoch.m_Ticks, CDateTime::kSecond);
}

TEST(CDateTime, AddTicksCrossesLeapDayAndYear)
{
    CDateTime t;
    t.Set(2024, 2, 28, 23, 0, 0);
    t.AddTicks(CDateTime::kDay);
    EXPECT_EQ(Text(t), L"2024/02/29 23:00:00");
    EXPECT_EQ(t.m_Time.wDayOfWeek, 4);
    t.Set(2023, 2, 28, 12, 0, 0);
    t.AddTicks(CDateTime::kDay);
    EXPECT_EQ(Text(t), L"2023/03/01 12:00:00");
    t.Set(2024, 12, 31, 23, 59, 59);
    t.AddTicks(CDateTime::kSecond);
    EXPECT_EQ(Text(t), L"2025/01/01 00:00:00");
    t.AddTicks(-5 * CDateTime::kSecond);
    EXPECT_EQ(Text(t), L"2024/12/31 23:59:55");
}

TEST(CDateTime, ParseIsLenient)
{
    CDateTime t;
    EXPECT_EQ(t.Parse(L"2024/05/01 07:30:00"), 1);
    EXPECT_EQ(Text(t), L"2024/05/01 07:30:00");
    EXPECT_EQ(t.Parse(L"2024/5/1 7:30:0"), 1);
    EXPECT_EQ(Text(t), L"2024/05/01 07:30:00");
    EXPECT_EQ(t.Parse(L"2024/5/1   7:30"), 1);
    EXPECT_EQ(Text(t), L"2024/05/01 07:30:00");
    EXPECT_EQ(t.Parse(L"  x 2024/05/01 07:30:00"), 1);
    EXPECT_EQ(Text(t), L"2024/05/01 07:30:00");
    EXPECT_EQ(t.Parse(L"2024/05/01 07:30"), 1);
    EXPECT_EQ(t.m_Time.wSecond, 0);
    EXPECT_EQ(t.m_Time.wMinute, 30);
}

TEST(CDateTime, ParseOfNullChangesNothing)
{
    CDateTime t;
    t.Set(2024, 5, 1, 7, 30, 0);
    long long before = t.m_Ticks;
    EXPECT_EQ(t.Parse(nullptr), 0);
    EXPECT_EQ(t.m_Ticks, before);
    EXPECT_EQ(t.Parse(L""), 1);
    EXPECT_EQ(t.Parse(L"garbage"), 1);
}

TEST(CDateTime, ParseWithoutSlashIsRejectedDeterministically)
{
    CDateTime t;
    EXPECT_EQ(t.Parse(L"20240501 0730"), 1);
    EXPECT_EQ(t.m_Time.wMonth, 0);
    EXPECT_EQ(t.m_Time.wDay, 0);
    EXPECT_EQ(t.m_Ticks, 0);  // the platform rejects it; the ticks are 0
    CDateTime feb;
    feb.Parse(L"2023/02/30 10:00:00");
    EXPECT_EQ(feb.m_Ticks, 0);
}

TEST(CDateTime, FormatHasNoLeadingZeroOnTheYear)
{
    CDateTime t;
    t.Set(1601, 1, 1, 0, 0, 0);
    t.m_Time.wYear = 987;
    EXPECT_EQ(Text(t).substr(0, 4), L"987/");
}

TEST(CDateTime, DiffSeesMilliseconds)
{
    CDateTime now;
    now.SetNow();
    CDateTime same;
    same.Set(now.m_Time.wYear, now.m_Time.wMonth, now.m_Time.wDay, now.m_Time.wHour, now.m_Time.wMinute,
             now.m_Time.wSecond);
    EXPECT_EQ(now.Diff(same), now.m_Time.wMilliseconds * 10000LL);
    CDateTime later = same;
    later.AddTicks(10 * CDateTime::kSecond);
    EXPECT_GT(later.Diff(same), 0);
    EXPECT_LT(same.Diff(later), 0);
    EXPECT_EQ(later.Diff(same) / CDateTime::kSecond, 10);
}
