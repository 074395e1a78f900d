// The configuration file under abuse: the saving process killed at random
// moments, and thousands of damaged files read by the parser and the
// start-up loader.
#include "config/AppParameter.h"
#include "foundation/Xml.h"
#include "scheduler/UnfinishedRecording.h"
#include "support/ProgramFixtures.h"
#include "support/TestSupport.h"

#include <atomic>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <thread>

namespace {

const int kPrograms = 300;
// The test run's counts; scripts/bench runs the full ones.
const bool kFull = !EnvironmentValue(L"MARIVANE_FULL_RUNS").empty();
const int kKills = kFull ? 100 : 60;       // saves killed
const int kCases = kFull ? 10000 : 5000;  // damaged files read at start-up
const wchar_t kReadyEvent[] = L"Local\\MarivaneSaveLoopReady";

// kPrograms programs whose titles all carry the same generation letter.
void FillList(CAppParameter& config, wchar_t generation)
{
    config.m_ProgramList.RemoveAll();
    for (int i = 0; i < kPrograms; ++i) {
        std::wstring title = std::wstring(1, generation) + L"-" + std::to_wstring(i) + L" 番組";
        config.m_ProgramList.Insert(Program(At(2027, 1, 1 + i % 28, i % 24, 0, 0), At(2027, 1, 1 + i % 28, i % 24, 30, 0),
                                            static_cast<unsigned>(i % 128), title.c_str()));
    }
}

}  // namespace

// The child side of the kill test: saves forever, alternating two generations.
TEST(ConfigReliability, DISABLED_SaveForever)
{
    std::wstring ini = EnvironmentValue(L"MARIVANE_SAVE_INI");
    ASSERT_FALSE(ini.empty());
    IniConfig config(ini);
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, kReadyEvent);
    for (unsigned round = 0;; ++round) {
        FillList(config, round % 2 ? L'B' : L'A');
        config.Save();
        if (ready && round == 0)
            SetEvent(ready);
    }
}

TEST(ConfigReliability, KilledDuringSavesTheFileAlwaysLoadsWithEveryProgram)
{
    TempDir dir;
    std::wstring ini = dir.File(L"marivane.ini");
    {
        IniConfig first(ini);
        FillList(first, L'A');
        ASSERT_TRUE(first.Save());
    }
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, kReadyEvent);
    ASSERT_NE(ready, nullptr);
    std::mt19937 random(GetTickCount());
    for (int round = 0; round < kKills; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ResetEvent(ready);
        ChildProcess saver;
        ASSERT_TRUE(saver.Start(self, dir.Path(), {{L"MARIVANE_SAVE_INI", ini}},
                                L"--gtest_also_run_disabled_tests --gtest_filter=ConfigReliability.DISABLED_SaveForever"));
        ASSERT_EQ(WaitForSingleObject(ready, 20000), WAIT_OBJECT_0);
        Sleep(std::uniform_int_distribution<int>(0, 60)(random));
        saver.Kill();

        IniConfig loaded(ini);
        ASSERT_TRUE(loaded.Load()) << ReadBytes(ini).size() << " bytes, temporary " << ReadBytes(ini + L".tmp").size();
        std::vector<ProgramItem> items = Items(loaded.m_ProgramList);
        ASSERT_EQ(items.size(), static_cast<size_t>(kPrograms));
        // One whole generation, never a mixture of two saves.
        wchar_t generation = items[0].m_Title.GetWide()[0];
        for (size_t i = 0; i < items.size(); ++i)
            ASSERT_EQ(items[i].m_Title.GetWide()[0], generation) << "program " << i;
    }
    CloseHandle(ready);
}

// Damaged files: each is parsed at the very end of a guarded allocation (a
// read past the buffer faults) and read by the start-up path, every one in
// bounded time; so is a damaged note of a recording cut short.
TEST(ConfigReliability, DamagedFilesAtStartUp)
{
    TempDir dir;
    std::wstring ini = dir.File(L"marivane.ini");
    std::string seed;
    {
        IniConfig config(ini);
        config.m_WavFileDir.Assign(L"C:\\録音");
        for (int i = 0; i < 6; ++i)
            config.m_ProgramList.Insert(Program(At(2027, 2, 28, 23, 59, 50), At(2027, 3, 1, 0, 10, 0),
                                                static_cast<unsigned>(i * 17), L"Night & <Day> 夜"));
        ASSERT_TRUE(config.Save());
        seed = ReadBytes(ini);
    }
    const char tokens[][24] = {"<", ">", "</", "/>", "&", "&amp;", "&#", "<item>", "</item>", "<programs>",
                               "<start_time>", "9999/99/99 99:99:99", "-2147483649", "\xE3\x81", "\xFF", "\0",
                               "<!-- c -->", " a=\"x&amp;y\"", " b='", "<?", "\t\r\n"};
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    const size_t page = si.dwPageSize;
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(dir.Path().c_str());
    std::atomic<int> done{0};
    std::thread worker([&] {
        std::mt19937 random(20261207);
        auto damage = [&](std::string text) {
            int edits = 1 + static_cast<int>(random() % 8);
            for (int e = 0; e < edits && !text.empty(); ++e) {
                size_t at = random() % text.size();
                const char* t = tokens[random() % (sizeof tokens / sizeof tokens[0])];
                switch (random() % 5) {
                case 0: text[at] = static_cast<char>(random()); break;
                case 1: text.erase(at, 1 + random() % 40); break;
                case 2: text.insert(at, t, *t ? strlen(t) : 1); break;
                case 3: text.insert(at, text.substr(random() % text.size(), random() % 200)); break;
                default: text.resize(at); break;
                }
            }
            return text;
        };
        const std::string note = "title\tNight \xE5\xA4\x9C\r\nstart\t2027/02/28 23:59:50\r\nstop\t2027/03/01 00:10:00\r\n"
                                 "seen\t2027/03/01 00:01:00\r\nkept\t130\r\n";
        for (int n = 0; n < kCases; ++n, ++done) {
            std::string text = damage(seed);
            if (!text.empty()) {
                // The document ends right before a no-access page.
                size_t span = (text.size() + page - 1) / page * page;
                char* base = static_cast<char*>(VirtualAlloc(nullptr, span + page, MEM_COMMIT, PAGE_READWRITE));
                DWORD old;
                VirtualProtect(base + span, page, PAGE_NOACCESS, &old);
                char* data = base + span - text.size();
                memcpy(data, text.data(), text.size());
                CXml xml;
                CXml::FreeElements(xml.LoadDocument(data, static_cast<int>(text.size())));
                VirtualFree(base, 0, MEM_RELEASE);
            }
            WriteBytes(ini, text);
            // The start-up path: identity, then the file in the current folder.
            CAppParameter config;
            config.Initialize();
            EXPECT_LE(Items(config.m_ProgramList).size(), 400u) << "case " << n;
            WriteBytes(dir.File(L"marivane.recording"), damage(note));
            g_pConfig = &config;
            CUnfinishedRecording cut;
            wchar_t said[400];
            if (cut.Read())
                cut.Describe(false, true, said, 400);
            g_pConfig = nullptr;
        }
    });
    // A hang is a failure too: the loader must finish every case.
    if (!WaitUntil([&] { return done == kCases; }, 120000, 50)) {
        ADD_FAILURE() << "the loader hung at case " << done.load();
        SetCurrentDirectoryW(previous);
        ExitProcess(1);
    }
    worker.join();
    SetCurrentDirectoryW(previous);
}
