#include "foundation/DateTime.h"

#include <gtest/gtest.h>
#include <string>

static std::wstring Text(const CDateTime& t)
{
    wchar_t buffer[CDateTime::kTextSize];
    return t.Format(buffer);
}

TEST(CDateTime, SetAndAddTicksAcrossLeapDayAndYear)
{
    CDateTime t;
    t.Set(2024, 5, 1, 7, 30, 0);
    EXPECT_EQ(t.m_Time.wDayOfWeek, 3);
    EXPECT_EQ(Text(t), L"2024/05/01 07:30:00");
    t.Set(1601, 1, 1, 0, 0, 1);
    EXPECT_EQ(t.m_Ticks, CDateTime::kSecond);
    struct Case {
        int from[6];
        long long add;
        const wchar_t* to;
        int weekday;
    } cases[] = {
        {{2024, 2, 28, 23, 0, 0}, CDateTime::kDay, L"2024/02/29 23:00:00", 4},
        {{2023, 2, 28, 12, 0, 0}, CDateTime::kDay, L"2023/03/01 12:00:00", 3},
        {{2024, 12, 31, 23, 59, 59}, CDateTime::kSecond, L"2025/01/01 00:00:00", 3},
        {{2025, 1, 1, 0, 0, 0}, -5 * CDateTime::kSecond, L"2024/12/31 23:59:55", 2},
    };
    for (const Case& c : cases) {
        const int* f = c.from;
        t.Set(static_cast<WORD>(f[0]), static_cast<WORD>(f[1]), static_cast<WORD>(f[2]), static_cast<WORD>(f[3]),
              static_cast<WORD>(f[4]), static_cast<WORD>(f[5]));
        t.AddTicks(c.add);
        EXPECT_EQ(Text(t), c.to);
        EXPECT_EQ(t.m_Time.wDayOfWeek, c.weekday) << Text(t).c_str();
    }
}

// Parse is as lenient as the files it reads: the first slash starts the
// date; what the platform rejects leaves ticks of 0, never a crash.
TEST(CDateTime, ParseIsLenientAndRejectsDeterministically)
{
    const wchar_t* same[] = {L"2024/05/01 07:30:00", L"2024/5/1 7:30:0", L"2024/5/1   7:30", L"  x 2024/05/01 07:30:00",
                             L"2024/05/01 07:30"};
    for (const wchar_t* text : same) {
        CDateTime t;
        EXPECT_EQ(t.Parse(text), 1);
        EXPECT_EQ(Text(t), L"2024/05/01 07:30:00");
    }
    for (const wchar_t* bad : {L"20240501 0730", L"2023/02/30 10:00:00", L"garbage", L""}) {
        CDateTime t;
        EXPECT_EQ(t.Parse(bad), 1);
        EXPECT_EQ(t.m_Ticks, 0);
    }
    CDateTime t;
    t.Set(2024, 5, 1, 7, 30, 0);
    EXPECT_EQ(t.Parse(nullptr), 0);
    EXPECT_EQ(Text(t), L"2024/05/01 07:30:00");
}

TEST(CDateTime, DiffSeesMilliseconds)
{
    CDateTime now;
    now.SetNow();
    CDateTime same;
    same.Set(now.m_Time.wYear, now.m_Time.wMonth, now.m_Time.wDay, now.m_Time.wHour, now.m_Time.wMinute,
             now.m_Time.wSecond);
    EXPECT_EQ(now.Diff(same), now.m_Time.wMilliseconds * 10000LL);
    same.AddTicks(10 * CDateTime::kSecond);
    EXPECT_EQ(same.Diff(now) / CDateTime::kSecond, 9 + (now.m_Time.wMilliseconds == 0));
}
