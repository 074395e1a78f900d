#include "config/AppParameter.h"
#include "programs/ProgramList.h"
#include "support/ProgramFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <string>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

namespace {

std::vector<std::wstring> Titles(ProgramList& list)
{
    std::vector<std::wstring> titles;
    for (auto& item : Items(list))
        titles.push_back(item.m_Title.GetWide() ? item.m_Title.GetWide() : L"");
    return titles;
}

const unsigned kMonday = 1u << 1, kWednesday = 1u << 3;

}  // namespace

TEST(ProgramList, InsertKeepsStartOrderWithTiesInArrivalAndTheRunningHeadFirst)
{
    ProgramList list;
    list.Insert(Program(At(2024, 5, 1, 9, 0), At(2024, 5, 1, 10, 0), 0, L"nine"));
    list.Insert(Program(At(2024, 5, 1, 7, 0), At(2024, 5, 1, 8, 0), 0, L"seven"));
    list.Insert(Program(At(2024, 5, 1, 9, 0), At(2024, 5, 1, 9, 30), 0, L"nine again"));
    list.Insert(Program(At(2024, 5, 1, 12, 0), At(2024, 5, 1, 13, 0), 0, L"noon"));
    EXPECT_EQ(Titles(list), (std::vector<std::wstring>{L"seven", L"nine", L"nine again", L"noon"}));
    EXPECT_EQ(Items(list)[0].m_Id, 2u);
    list.SetState(2, Recording);
    list.Insert(Program(At(2024, 5, 1, 6, 0), At(2024, 5, 1, 6, 30), 0, L"earlier"));
    EXPECT_EQ(Titles(list)[0], L"seven");
    list.Remove(9);  // unknown: nothing changes
    EXPECT_EQ(Titles(list), (std::vector<std::wstring>{L"seven", L"earlier", L"nine", L"nine again", L"noon"}));
}

// Retirement: one-shot programs whose stop has come go, recorded or not;
// weekly ones move to their next day at the same time, after any time off;
// the file is saved from the scheduler's thread.
TEST(ProgramList, RetirementDeletesOneShotsAndMovesWeeklyPrograms)
{
    // 2024-05-06 is a Monday.
    TempDir dir;
    IniConfig config(dir.File(L"marivane.ini"));
    ProgramList& list = config.m_ProgramList;
    struct Case {
        CDateTime start, stop;
        unsigned weekly;
        const wchar_t* next;  // null: deleted
    } cases[] = {
        {At(2024, 5, 6, 7, 0), At(2024, 5, 6, 8, 0), 0, nullptr},
        {At(2024, 5, 9, 11, 0), At(2024, 5, 9, 12, 0), 0, nullptr},  // a stop exactly now has passed
        {At(2024, 5, 6, 20, 0), At(2024, 5, 6, 21, 0), kMonday | kWednesday, L"2024/05/13 20:00:00"},
        {At(2024, 5, 6, 23, 0), At(2024, 5, 7, 1, 0), kMonday | kWednesday, L"2024/05/13 23:00:00"},
        {At(2024, 2, 26, 7, 0), At(2024, 2, 26, 8, 0), 0x7F & ~1u, L"2024/05/10 07:00:00"},  // across the leap day
        {At(2024, 1, 1, 7, 0), At(2024, 1, 1, 8, 0), 0x80, L"2024/05/13 07:00:00"},  // no weekday bits: whole weeks
        {At(2024, 12, 28, 9, 0), At(2024, 12, 28, 10, 0), 1u | (1u << 6), L"2024/12/28 09:00:00"},  // not yet
    };
    for (const Case& c : cases)
        list.Insert(Program(c.start, c.stop, c.weekly, L"p"));
    std::thread scheduler([&] { list.ExpirePast(At(2024, 5, 9, 12, 0)); });
    scheduler.join();
    std::string saved = ReadBytes(dir.File(L"marivane.ini"));
    ProgramItem copy;
    for (unsigned id = 1; id <= 7; ++id) {
        const Case& c = cases[id - 1];
        ASSERT_EQ(list.FindById(id, copy), c.next ? 1 : 0) << id;
        if (!c.next)
            continue;
        EXPECT_EQ(Text(copy.m_StartTime), c.next) << id;
        EXPECT_EQ(copy.m_StopTime.Diff(copy.m_StartTime), c.stop.Diff(c.start)) << id;
        EXPECT_NE(saved.find(Narrow(c.next)), std::string::npos) << id;
    }
    // Weekend only, across a month and a year end, and years behind.
    struct Step {
        CDateTime now;
        const wchar_t* next;
    } steps[] = {{At(2024, 12, 28, 10, 0), L"2024/12/29 09:00:00"}, {At(2025, 1, 1, 0, 0), L"2025/01/04 09:00:00"},
                 {At(2031, 3, 5, 12, 0), L"2031/03/08 09:00:00"}};
    for (const Step& step : steps) {
        list.ExpirePast(step.now);
        ASSERT_EQ(list.FindById(7, copy), 1);
        EXPECT_EQ(Text(copy.m_StartTime), step.next);
    }
}

// The scheduler retiring and saving, the UI saving and changing the text
// settings, and the audio and scheduler threads reading those settings, all
// at once for 4 s. A lock taken in two orders deadlocks here within a few
// tries; a setting read without the lock frees a buffer twice.
TEST(ProgramList, RetireSaveAndSettingsFromFourThreadsNeverHangOrCrash)
{
    TempDir dir;
    IniConfig config(dir.File(L"marivane.ini"));
    config.m_ProgramList.Insert(Program(At(2030, 1, 1, 9, 0), At(2030, 1, 1, 10, 0), 0, L"future"));
    std::atomic<bool> stop(false);
    std::atomic<int> running(4);
    std::atomic<long> saves(0), retired(0), reads(0), torn(0);
    auto worker = [&](std::function<void(int)> step) {
        return std::thread([&, step] {
            for (int i = 0; !stop; ++i)
                step(i);
            --running;
        });
    };
    std::vector<std::thread> threads;
    threads.push_back(worker([&](int i) {  // the scheduler's retirements
        config.m_ProgramList.Insert(Program(At(2024, 5, 6, 9, 0), At(2024, 5, 6, 10, 0), i % 50 == 1 ? kMonday : 0, L"old"));
        config.m_ProgramList.ExpirePast(At(2024, 5, 6, 11, 0));
        ++retired;
    }));
    threads.push_back(worker([&](int i) {  // the settings page's OK
        config.SetSetting(config.m_WavFileDir, i % 2 ? L"C:\\Recordings\\a rather long folder name" : L"D:\\r");
        config.SetSetting(config.m_CapDeviceName, i % 3 ? L"Microphone (USB Audio Device)" : nullptr);
        if (config.Save())
            ++saves;
    }));
    for (int t = 0; t < 2; ++t)
        threads.push_back(worker([&](int) {  // the audio and scheduler threads' reads
            CString name, folder;
            config.GetSetting(config.m_CapDeviceName, name);
            config.GetSetting(config.m_WavFileDir, folder);
            const wchar_t* n = name.GetWide();
            // A copy is always one of the values written whole, never a torn one.
            if (n && wcscmp(n, L"Microphone (USB Audio Device)") != 0)
                ++torn;
            if (n || folder.GetWide())
                ++reads;
        }));
    Sleep(4000);
    stop = true;
    if (!WaitUntil([&] { return running == 0; }, 20000, 10)) {
        ADD_FAILURE() << running << " threads hung (a lock-order deadlock)";
        fflush(stdout);
        TerminateProcess(GetCurrentProcess(), 3);
    }
    for (auto& t : threads)
        t.join();
    EXPECT_GT(saves.load(), 10);
    EXPECT_GT(retired.load(), 10);
    EXPECT_GT(reads.load(), 1000);
    EXPECT_EQ(torn.load(), 0);
    IniConfig back(dir.File(L"marivane.ini"));
    ASSERT_EQ(back.Load(), 1);
    std::vector<ProgramItem> items = Items(back.m_ProgramList);
    ASSERT_FALSE(items.empty());
    EXPECT_STREQ(items.back().m_Title.GetWide(), L"future");
}
