#include "config/AppParameter.h"
#include "scheduler/ProgramList.h"
#include "support/ProgramFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <functional>
#include <atomic>
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

TEST(ProgramList, InsertKeepsStartOrderAndInsertionOrderForTies)
{
    ProgramList list;
    list.Insert(Program(At(2024, 5, 1, 9, 0), At(2024, 5, 1, 10, 0), 0, L"nine"));
    list.Insert(Program(At(2024, 5, 1, 7, 0), At(2024, 5, 1, 8, 0), 0, L"seven"));
    list.Insert(Program(At(2024, 5, 1, 9, 0), At(2024, 5, 1, 9, 30), 0, L"nine again"));
    list.Insert(Program(At(2024, 5, 1, 8, 0), At(2024, 5, 1, 8, 30), 0, L"eight"));
    list.Insert(Program(At(2024, 5, 1, 12, 0), At(2024, 5, 1, 13, 0), 0, L"noon"));
    EXPECT_EQ(Titles(list), (std::vector<std::wstring>{L"seven", L"eight", L"nine", L"nine again", L"noon"}));
    ProgramItem copy;
    ASSERT_TRUE(list.GetAt(0, copy));
    EXPECT_EQ(copy.m_Id, 2u);
    EXPECT_EQ(list.m_NextId, 6u);
}

TEST(ProgramList, RunningHeadStaysFirst)
{
    ProgramList list;
    list.Insert(Program(At(2024, 5, 1, 9, 0), At(2024, 5, 1, 10, 0), 0, L"recording"));
    list.SetState(1, Recording);
    list.Insert(Program(At(2024, 5, 1, 8, 0), At(2024, 5, 1, 8, 30), 0, L"earlier"));
    list.Insert(Program(At(2024, 5, 1, 10, 0), At(2024, 5, 1, 11, 0), 0, L"later"));
    EXPECT_EQ(Titles(list), (std::vector<std::wstring>{L"recording", L"earlier", L"later"}));
}

TEST(ProgramList, LookupsAndEdits)
{
    ProgramList list;
    list.Insert(Program(At(2024, 5, 1, 9, 0), At(2024, 5, 1, 10, 0), 0, L"a"));
    ProgramItem copy;
    copy.m_Title.Assign(L"untouched");
    EXPECT_EQ(list.GetAt(1, copy), 0);
    EXPECT_EQ(list.FindById(7, copy), 0);
    EXPECT_TRUE(copy.m_Title.Equals(L"untouched"));
    list.Remove(7);  // unknown: nothing happens
    ASSERT_EQ(list.FindById(1, copy), 1);
    EXPECT_EQ(Text(copy.m_StartTime), L"2024/05/01 09:00:00");

    // An edit is Remove then Insert: the program gets a new id.
    ProgramItem* edited = new ProgramItem(copy);
    edited->m_Title.Assign(L"b");
    list.Remove(1);
    list.Insert(edited);
    EXPECT_EQ(list.FindById(1, copy), 0);
    ASSERT_EQ(list.FindById(2, copy), 1);
    EXPECT_TRUE(copy.m_Title.Equals(L"b"));
    EXPECT_EQ(Titles(list).size(), 1u);

    // Removing the tail and inserting after it keeps the order right.
    list.Insert(Program(At(2024, 5, 2, 9, 0), At(2024, 5, 2, 10, 0), 0, L"c"));
    list.Remove(3);
    list.Insert(Program(At(2024, 5, 1, 12, 0), At(2024, 5, 1, 13, 0), 0, L"d"));
    list.Insert(Program(At(2024, 5, 3, 12, 0), At(2024, 5, 3, 13, 0), 0, L"e"));
    EXPECT_EQ(Titles(list), (std::vector<std::wstring>{L"b", L"d", L"e"}));
}

TEST(ProgramList, ExpiredOneShotIsDeletedRecordedOrNot)
{
    ProgramList list;
    list.Insert(Program(At(2024, 5, 1, 7, 0), At(2024, 5, 1, 8, 0), 0, L"old"));
    list.Insert(Program(At(2024, 5, 1, 7, 30), At(2024, 5, 1, 8, 30), 0, L"older but later"));
    list.Insert(Program(At(2024, 5, 1, 9, 0), At(2024, 5, 1, 10, 0), 0, L"future"));
    list.ExpirePast(At(2024, 5, 1, 8, 45));
    EXPECT_EQ(Titles(list), (std::vector<std::wstring>{L"future"}));
    // A stop exactly now counts as passed.
    list.ExpirePast(At(2024, 5, 1, 10, 0));
    EXPECT_TRUE(Titles(list).empty());
}

TEST(ProgramList, WeeklyProgramsMoveToTheirNextDay)
{
    // 2024-05-06 is a Monday.
    ProgramList list;
    list.Insert(Program(At(2024, 5, 6, 20, 0), At(2024, 5, 6, 21, 0), kMonday | kWednesday, L"mon-wed"));
    list.Insert(Program(At(2024, 5, 6, 22, 0), At(2024, 5, 6, 22, 30), kMonday, L"mon"));
    list.Insert(Program(At(2024, 5, 6, 23, 0), At(2024, 5, 7, 1, 0), kMonday, L"overnight"));
    unsigned overnightId = 3;
    list.ExpirePast(At(2024, 5, 7, 1, 0));
    ProgramItem copy;
    ASSERT_TRUE(list.GetAt(0, copy));
    EXPECT_TRUE(copy.m_Title.Equals(L"mon-wed"));
    EXPECT_EQ(Text(copy.m_StartTime), L"2024/05/08 20:00:00");
    EXPECT_EQ(Text(copy.m_StopTime), L"2024/05/08 21:00:00");
    EXPECT_EQ(copy.m_Id, 1u);  // ids are kept
    EXPECT_EQ(copy.m_State, Idle);
    ASSERT_TRUE(list.GetAt(1, copy));
    EXPECT_EQ(Text(copy.m_StartTime), L"2024/05/13 22:00:00");
    ASSERT_TRUE(list.FindById(overnightId, copy));
    EXPECT_EQ(Text(copy.m_StartTime), L"2024/05/13 23:00:00");
    EXPECT_EQ(Text(copy.m_StopTime), L"2024/05/14 01:00:00");
}

TEST(ProgramList, WeeklyProgramCatchesUpAfterDaysOrMonthsOff)
{
    ProgramList list;
    list.Insert(Program(At(2024, 5, 6, 7, 0), At(2024, 5, 6, 8, 0), kMonday, L"mon"));
    list.Insert(Program(At(2024, 2, 26, 7, 0), At(2024, 2, 26, 8, 0), 0x7F & ~1u, L"weekdays"));
    list.Insert(Program(At(2024, 1, 1, 7, 0), At(2024, 1, 1, 8, 0), 0x80, L"no weekday bits"));
    // Retired on the Thursday after.
    list.ExpirePast(At(2024, 5, 9, 12, 0));
    ProgramItem copy;
    ASSERT_TRUE(list.FindById(1, copy));
    EXPECT_EQ(Text(copy.m_StartTime), L"2024/05/13 07:00:00");
    EXPECT_EQ(copy.m_StartTime.m_Time.wDayOfWeek, 1);
    // From February, across the leap day, to Friday 2024-05-10.
    ASSERT_TRUE(list.FindById(2, copy));
    EXPECT_EQ(Text(copy.m_StartTime), L"2024/05/10 07:00:00");
    // A mask without weekday bits moves whole weeks: Monday 2024-05-13.
    ASSERT_TRUE(list.FindById(3, copy));
    EXPECT_EQ(Text(copy.m_StartTime), L"2024/05/13 07:00:00");

    // Sunday and Saturday only, across a month and a year end.
    ProgramList weekend;
    weekend.Insert(Program(At(2024, 12, 28, 9, 0), At(2024, 12, 28, 10, 0), 1u | (1u << 6), L"weekend"));
    weekend.ExpirePast(At(2024, 12, 28, 10, 0));
    ASSERT_TRUE(weekend.GetAt(0, copy));
    EXPECT_EQ(Text(copy.m_StartTime), L"2024/12/29 09:00:00");
    weekend.ExpirePast(At(2025, 1, 1, 0, 0));
    ASSERT_TRUE(weekend.GetAt(0, copy));
    EXPECT_EQ(Text(copy.m_StartTime), L"2025/01/04 09:00:00");
    // Years behind: still the right weekday, and in the future.
    weekend.ExpirePast(At(2031, 3, 5, 12, 0));  // a Wednesday
    ASSERT_TRUE(weekend.GetAt(0, copy));
    EXPECT_EQ(Text(copy.m_StartTime), L"2031/03/08 09:00:00");
}

TEST(ProgramList, RetirementSavesAndIsReentrantUnderTheMutex)
{
    TempDir dir;
    CAppParameter config;
    config.m_IniFile.Assign(dir.File(L"marivane.ini").c_str());
    config.m_ProgramList.Insert(Program(At(2024, 5, 6, 7, 0), At(2024, 5, 6, 8, 0), kMonday, L"mon"));
    config.m_ProgramList.Insert(Program(At(2024, 5, 6, 9, 0), At(2024, 5, 6, 10, 0), 0, L"once"));
    std::thread scheduler([&] { config.m_ProgramList.ExpirePast(At(2024, 5, 6, 11, 0)); });
    scheduler.join();
    std::string saved = ReadBytes(dir.File(L"marivane.ini"));
    EXPECT_NE(saved.find("<start_time>2024/05/13 07:00:00</start_time>"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("once"), std::string::npos);
}

// The scheduler retiring and saving, the UI saving and changing the text
// settings, and the audio and scheduler threads reading those settings, all
// at once for 10 s. A lock taken in two orders deadlocks here within a few
// tries; a setting read without the lock frees a buffer twice.
TEST(ProgramList, RetireSaveAndSettingsFromFourThreadsNeverHangOrCrash)
{
    TempDir dir;
    CAppParameter config;
    config.m_IniFile.Assign(dir.File(L"marivane.ini").c_str());
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
    Sleep(10000);
    stop = true;
    for (int i = 0; i < 2000 && running; ++i)
        Sleep(10);
    if (running) {
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
    CAppParameter back;
    back.m_IniFile.Assign(dir.File(L"marivane.ini").c_str());
    ASSERT_EQ(back.Load(), 1);
    std::vector<ProgramItem> items = Items(back.m_ProgramList);
    ASSERT_FALSE(items.empty());
    EXPECT_STREQ(items.back().m_Title.GetWide(), L"future");
}
