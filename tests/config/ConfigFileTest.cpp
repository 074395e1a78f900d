// The configuration object and its file, through real files in temporary folders.
#include "config/AppParameter.h"
#include "files/RecordingFormat.h"
#include "programs/ProgramSource.h"
#include "support/ProgramFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

const std::string kDecl = "<?xml version=\"1.0\" ?>\r\n";

// A configuration object whose file lies in a fresh folder.
struct Fixture {
    TempDir dir;
    std::wstring ini = dir.File(L"marivane.ini");
    std::unique_ptr<CAppParameter> config{new IniConfig(ini)};

    int LoadText(const std::string& text)
    {
        WriteBytes(ini, text);
        return config->Load();
    }
    // A fresh object that loads what this one saved.
    std::unique_ptr<CAppParameter> Reload()
    {
        std::unique_ptr<CAppParameter> other(new IniConfig(ini));
        other->Load();
        return other;
    }
    std::string Saved() { return ReadBytes(ini); }
};

std::wstring W(CString& s)
{
    return s.GetWide() ? s.GetWide() : L"";
}

std::string Item(const std::string& start, const std::string& stop, const std::string& weekly,
                 const std::string& title)
{
    return "<item><start_time>" + start + "</start_time><stop_time>" + stop + "</stop_time><weekly>" + weekly +
           "</weekly><title>" + title + "</title>\r\n</item>\r\n";
}

// Settings, colours and programs (id, start, weekly, title) as one text.
std::string Describe(CAppParameter& c)
{
    char text[200];
    snprintf(text, sizeof text, "%d Hz %d ch %d MB %s %d, language %d, sleep %d%s, colors %u/%u %u/%u", c.m_Frequency,
             c.m_Channels, c.m_WavMaxSize, Narrow(RecordingFormat::Name(static_cast<FileType>(c.m_FileFormat))).c_str(),
             c.m_OpusBitrate, c.m_Language, c.m_Shutdown, c.m_SleepState ? " (S1-S3)" : "", c.m_Colors[0].m_Text, c.m_Colors[0].m_Background,
             c.m_Colors[1].m_Text, c.m_Colors[1].m_Background);
    std::string out = text;
    for (ProgramItem& p : Items(c.m_ProgramList))
        out += "; " + std::to_string(p.m_Id) + " " + Narrow(Text(p.m_StartTime)) + " " + std::to_string(p.m_Weekly) +
               " " + Narrow(W(p.m_Title));
    return out;
}

}  // namespace

// Every setting off its default, saved byte for byte as the file format
// gives it, loaded back by a fresh object and saved again unchanged (so
// every value came back as it was).
TEST(ConfigFile, SavedFileIsByteExactAndRoundTrips)
{
    Fixture f;
    CAppParameter& c = *f.config;
    c.m_Language = 1;
    c.m_FontName.Assign(L"MS UI Gothic");
    c.m_TempPath.Assign(L"C:\\tmp");
    c.m_LogPath.Assign(L"C:\\log");
    c.m_CapDeviceName.Assign(L"マイク (USB)");
    c.m_CapDeviceId.Assign(L"{0.0.1.00000000}");
    c.m_WavFileDir.Assign(L"D:\\録音 🎵");
    c.m_Frequency = 32000;
    c.m_Channels = 1;
    c.m_Shutdown = 1;
    c.m_SleepState = CAppParameter::kSleep;
    c.m_WavMaxSize = 650;
    c.m_FileFormat = kFileOpus;
    c.m_OpusBitrate = 64;
    c.m_KeepDays = 42;
    c.m_AfterCommand.Assign(L"tag.exe %F \"%T\"");
    EXPECT_TRUE(c.AddRecordedTitle(L"News"));
    EXPECT_TRUE(c.AddRecordedTitle(L"Old"));
    EXPECT_FALSE(c.AddRecordedTitle(L"News"));  // known: first again
    c.m_ProgramList.Insert(Program(At(2024, 5, 1, 7, 30, 15), At(2024, 5, 1, 8, 0), 62, L"深夜便 <特集> & \"話\""));
    ASSERT_EQ(c.Save(), 1);
    // Each element on a line of its own; a group's first child follows its tag.
    auto e = [](const std::string& name, const std::string& value) {
        return "<" + name + ">" + value + "</" + name + ">\r\n";
    };
    auto color = [&](const char* index, const char* text) {
        return "<color>" + e("index", index) + e("text", text) + e("background", "16777215") + "</color>\r\n";
    };
    const std::string expected =
        kDecl + "<config>" + e("language", "1") + e("font_name", "MS UI Gothic") + e("font_size", "0") +
        e("temp_path", "C:\\tmp") + e("log_enabled", "0") + e("log_path", "C:\\log") + e("view_toolbar", "1") +
        e("view_statusbar", "1") + "<colors>" + color("0", "0") + color("1", "13158600") + "</colors>\r\n" +
        e("cap_device_name", "\xE3\x83\x9E\xE3\x82\xA4\xE3\x82\xAF (USB)") + e("cap_device_id", "{0.0.1.00000000}") +
        e("frequency", "32000") + e("channels", "1") + e("wavfile_dir", "D:\\\xE9\x8C\xB2\xE9\x9F\xB3 \xF0\x9F\x8E\xB5") +
        e("shutdown", "1") + e("sleep_state", "sleep") + e("wav_max_size", "650") + e("file_format", "opus") +
        e("opus_bitrate", "64") + e("keep_days", "42") + e("after_recording_command", "tag.exe %F &quot;%T&quot;") +
        "<recorded_titles>" +
        e("title", "News") + e("title", "Old") + "</recorded_titles>\r\n</config>\r\n<programs><item>" +
        e("start_time", "2024/05/01 07:30:15") + e("stop_time", "2024/05/01 08:00:00") + e("weekly", "62") +
        e("title", "\xE6\xB7\xB1\xE5\xA4\x9C\xE4\xBE\xBF &lt;\xE7\x89\xB9\xE9\x9B\x86&gt; &amp; &quot;\xE8\xA9\xB1&quot;") +
        "</item>\r\n</programs>\r\n";
    EXPECT_EQ(f.Saved(), expected);
    ASSERT_EQ(f.Reload()->Save(), 1);
    EXPECT_EQ(f.Saved(), expected);
}

// Loading is lenient: a setting that is not a number keeps its loader
// default, a missing config element keeps every value, colours go by their
// index, a program without a title gets a visible one, one without a stop is
// dropped, a file cut short keeps what came before the cut, and impossible
// numbers and dates load without trouble. A file the loader rejects (not
// text) is kept as .bad before any save replaces it. Each case loads into a
// fresh object.
TEST(ConfigFile, LenientLoads)
{
    const std::string two = kDecl + "<config><frequency>16000</frequency><language>1</language></config>\r\n" +
                            "<programs>" + Item("2024/05/01 07:30:00", "2024/05/01 08:00:00", "0", "one") +
                            Item("2024/05/02 07:30:00", "2024/05/02 08:00:00", "0", "two") + "</programs>\r\n";
    const std::string kColors = ", colors 0/16777215 13158600/16777215", kSetTo16000 = "16000 Hz 2 ch 100 MB wav 96, language 1";
    const std::string kDefaults = "44100 Hz 2 ch 100 MB wav 96, language -1, sleep 0" + kColors;
    const std::string kLoaderDefaults = "48000 Hz 2 ch 100 MB wav 96, language -1, sleep 0" + kColors;
    struct Case {
        const char* what;
        std::string text;  // empty: no file
        int loaded;
        std::string settings, programs;
        bool damaged = false;  // read in part: the original is kept before the first save
    } cases[] = {
        {"no file", "", 0, kDefaults, ""},
        {"not text", std::string("\0\0\xFF\xFE<config>", 12) + kDecl + "<config/>", 0, kDefaults, ""},
        {"no config element", kDecl + "<programs></programs>", 1, kDefaults, ""},
        {"empty config element", kDecl + "<config></config>", 1, kLoaderDefaults, ""},
        {"odd values", kDecl + "<config><frequency>44100Hz</frequency><shutdown>5</shutdown><language> 1 </language>"
                              "<sleep_state>Sleep</sleep_state><channels>1</channels><wav_max_size>-3</wav_max_size><file_format>mp3</file_format>"
                              "<opus_bitrate>x</opus_bitrate><colors>"
                              "<color><index>0</index><text>255</text><background>65280</background></color>"
                              "<color><index>5</index><text>1</text></color><color><text>7</text></color>"
                              "<color><index>1</index><text>123</text></color></colors></config>",
         1, "48000 Hz 1 ch -3 MB wav 96, language 1, sleep 1 (S1-S3), colors 255/65280 123/16777215", ""},
        {"file format", kDecl + "<config><file_format>Opus</file_format><opus_bitrate>300</opus_bitrate>"
                                "<sleep_state>nap</sleep_state></config>", 1,
         "48000 Hz 2 ch 100 MB opus 300, language -1, sleep 0" + kColors, ""},  // the rate is clamped where it is used
        {"language not a number", kDecl + "<config><language>1x</language></config>", 1, kLoaderDefaults, ""},
        {"lenient programs", kDecl + "<config/>\r\n<programs>" + Item("2024/5/2 7:30", "2024/5/2 8:00", "62", "B&amp;C") +
                                 Item("2024/05/01 07:30:00", "2024/05/01 08:00:00", "0", "") + "<other/>" +
                                 Item("2024/05/01 06:00:00", "2024/05/01 06:30:00", "x", "A") +
                                 "<item><start_time>2024/05/01 05:00:00</start_time><title>no stop</title></item>" +
                                 "</programs>\r\n",
         1, "", "; 12 2024/05/01 06:00:00 0 A; 11 2024/05/01 07:30:00 0 Recording; 10 2024/05/02 07:30:00 62 B&C"},
        {"cut inside the second title", two.substr(0, two.find("two")), 1, kSetTo16000 + ", sleep 0" + kColors,
         "; 10 2024/05/01 07:30:00 0 one; 11 2024/05/02 07:30:00 0 録音", true},  // the visible title, in Japanese
        {"byte-order mark, as Notepad saves", "\xEF\xBB\xBF" + two, 1, kSetTo16000 + ", sleep 0" + kColors,
         "; 10 2024/05/01 07:30:00 0 one; 11 2024/05/02 07:30:00 0 two"},
        {"impossible numbers and dates",
         kDecl + "<config><frequency>99999999999999999999</frequency><channels>-2147483648</channels>"
                 "<wav_max_size>2147483647</wav_max_size></config><programs>" +
             Item("65535/99/99 99:99:99", "2024/13/40 25:61:61", "4294967295", "bad dates") +
             "<item><start_time/><stop_time/><weekly/><title/></item><item>" + "</programs>",
         1, "1661992959 Hz -2147483648 ch 2147483647 MB wav 96, language -1, sleep 0" + kColors,
         "; 10 65535/99/99 99:99:99 4294967295 bad dates", true},  // numbers wrap at 32 bits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f;
        f.config->m_ProgramList.m_NextId = 10;
        EXPECT_EQ(c.text.empty() ? f.config->Load() : f.LoadText(c.text), c.loaded);
        std::string described = Describe(*f.config);
        if (!c.settings.empty()) {
            EXPECT_EQ(described.substr(0, described.find(';')), c.settings);
        }
        EXPECT_EQ(described.substr(std::min(described.find(';'), described.size())), c.programs);
        bool kept = !c.text.empty() && (!c.loaded || c.damaged);
        EXPECT_EQ(f.config->m_bLoadDamaged, kept ? 1 : 0);
        f.config->Save();
        EXPECT_EQ(ReadBytes(f.ini + L".bad"), kept ? c.text : "");
    }
}

// Empty values saved cleanly: an empty list as an empty element, empty paths
// as empty elements that come back as the current folder. A program with
// impossible dates is held and retired without trouble. With no file named
// nothing is saved.
TEST(ConfigFile, EmptyAndImpossibleValuesSaveCleanly)
{
    Fixture f;
    f.config->m_TempPath.Clear();
    f.config->Save();
    EXPECT_NE(f.Saved().find("</config>\r\n<programs/>\r\n"), std::string::npos);
    EXPECT_NE(f.Saved().find("<temp_path/>\r\n"), std::string::npos);
    EXPECT_EQ(W(f.Reload()->m_TempPath), W(f.config->m_CurrentPath));

    f.LoadText(kDecl + "<programs>" + Item("65535/99/99 99:99:99", "2024/13/40 25:61:61", "4294967295", "bad") +
               "</programs>");
    CDateTime now;
    now.SetNow();
    f.config->m_ProgramList.ExpirePast(now);
    ProgramItem copy;
    ASSERT_TRUE(f.config->m_ProgramList.GetAt(0, copy));
    EXPECT_GT(copy.m_StopTime.Diff(now), 0);
    EXPECT_EQ(Items(f.Reload()->m_ProgramList).size(), 1u);
    EXPECT_EQ(CAppParameter().Save(), 0);  // no file named
}

// Save and load grow linearly with the programs. scripts/bench runs the
// sizes 1,000, 10,000 and 100,000 for its figures.
TEST(ConfigScale, ProgramsLoadAndSaveInLinearTime)
{
    const std::vector<int> sizes = EnvironmentValue(L"MARIVANE_FULL_RUNS").empty() ? std::vector<int>{10000, 40000}
                                                                                 : std::vector<int>{1000, 10000, 100000};
    std::vector<DWORD> took;  // save and load, ms
    for (int count : sizes) {
        Fixture f;
        CDateTime start = At(2030, 1, 1, 0, 0);
        for (int i = 0; i < count; ++i, start.AddTicks(60 * CDateTime::kSecond)) {
            CDateTime stop = start;
            stop.AddTicks(30 * CDateTime::kSecond);
            f.config->m_ProgramList.Insert(Program(start, stop, static_cast<unsigned>(i % 128), L"番組 program"));
        }
        DWORD t0 = GetTickCount();
        EXPECT_EQ(f.config->Save(), 1);
        DWORD t1 = GetTickCount();
        int loaded = 0;  // by ForEach: GetAt walks the list
        f.Reload()->m_ProgramList.ForEach([](const ProgramItem&, void* n) { ++*static_cast<int*>(n); }, &loaded);
        EXPECT_EQ(loaded, count);
        DWORD t2 = GetTickCount();
        took.push_back(t2 - t0);
        printf("configuration: %6d programs: save %5lu ms, load %5lu ms\n", count, t1 - t0, t2 - t1);
        if (count == 10000) {
            EXPECT_LT(took.back(), 1000u);
        }
    }
    // n times the programs may cost at most about n times as long.
    for (size_t i = 1; i < sizes.size(); ++i) {
        DWORD n = static_cast<DWORD>(sizes[i] / sizes[i - 1]);
        printf("configuration: cost per program %d -> %d x%.2f (linear = 1.00)\n", sizes[i - 1], sizes[i],
               (took[i] + 1.0) / (took[i - 1] + 1.0) / n);
        EXPECT_LT(took[i], 2 * n * took[i - 1] + 100) << took[i - 1] << " ms for " << sizes[i - 1];
    }
}

// Saves cut short by a crash: the temporary file is looked for where the
// configuration is resolved, and promoted only when it is whole.
TEST(ConfigFile, InterruptedSavesAreRecoveredWhereTheyHappened)
{
    TempDir current, application;
    std::string whole = kDecl + "<config><frequency>16000</frequency></config>\r\n<programs>" +
                        Item("2030/05/01 07:30:00", "2030/05/01 08:00:00", "0", "News") + "</programs>\r\n";
    WriteBytes(current.File(L"marivane.ini.tmp"), whole);
    WriteBytes(application.File(L"marivane.ini"), kDecl + "<config><frequency>8000</frequency></config>\r\n");
    CAppParameter config;
    config.m_CurrentPath.Assign(current.Path().c_str());
    config.m_AppPath.Assign(application.Path().c_str());
    config.ResolveIniFile();
    EXPECT_EQ(W(config.m_IniFile), current.File(L"marivane.ini"));
    ASSERT_EQ(config.Load(), 1);
    EXPECT_EQ(config.m_Frequency, 16000);
    EXPECT_EQ(Items(config.m_ProgramList).size(), 1u);
    EXPECT_FALSE(Exists(current.File(L"marivane.ini.tmp")));

    // Every cut of a first save inside its last element: never promoted, kept as .bad.
    size_t lastElement = whole.find("<programs>");
    for (size_t cut : {lastElement + 3, whole.find("News"), whole.size() - 4}) {
        SCOPED_TRACE(cut);
        TempDir dir;
        WriteBytes(dir.File(L"marivane.ini.tmp"), whole.substr(0, cut));
        CAppParameter cutShort;
        cutShort.m_CurrentPath.Assign(dir.Path().c_str());
        cutShort.m_AppPath.Assign(application.Path().c_str());
        cutShort.ResolveIniFile();
        EXPECT_EQ(W(cutShort.m_IniFile), application.File(L"marivane.ini"));
        cutShort.m_IniFile.Assign(dir.File(L"marivane.ini").c_str());
        EXPECT_EQ(cutShort.Load(), 0);
        EXPECT_FALSE(Exists(dir.File(L"marivane.ini")));
        EXPECT_EQ(ReadBytes(dir.File(L"marivane.ini.bad")), whole.substr(0, cut));
    }

    // A configuration path as long as a path can be: the temporary file
    // takes a short name in the same folder, and the save still lands.
    std::wstring folder = current.Path() + L"\\" + std::wstring(MAX_PATH - current.Path().size() - 17, L'd');
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    std::wstring longIni = folder + L"\\marivane.ini";
    ASSERT_LT(longIni.size(), static_cast<size_t>(MAX_PATH));
    ASSERT_GE(longIni.size() + 4, static_cast<size_t>(MAX_PATH));
    config.m_IniFile.Assign(longIni.c_str());
    config.m_Frequency = 22050;
    ASSERT_EQ(config.Save(), 1);
    IniConfig back(longIni);
    ASSERT_EQ(back.Load(), 1);
    EXPECT_EQ(back.m_Frequency, 22050);
    EXPECT_FALSE(Exists(folder + L"\\~mv.tmp"));
}

// Where the settings go, in the order of the start-up rules: the current
// folder's file, the application folder's, the user's local one where it
// was made before, the application folder while it can be written, else
// %LOCALAPPDATA%\Marivane (made for it; a folder under Program Files cannot
// be written, here one that does not exist). A save lands there and the
// next start finds it again.
TEST(ConfigFile, SettingsAlwaysHaveAPlaceToBeSaved)
{
    struct Case {
        const char* what;
        bool here, beside, writable, local;  // where a file is, and whether the application folder is writable
        int chosen;                          // 0 current, 1 application, 2 local
    } cases[] = {
        {"a fresh writable folder", false, false, true, false, 1},
        {"a read-only application folder", false, false, false, false, 2},
        {"made locally before", false, false, true, true, 2},
        {"in the current folder", true, true, true, true, 0},
        {"beside the program", false, true, true, true, 1},
    };
    std::wstring saved = EnvironmentValue(L"LOCALAPPDATA");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir current, application, local;
        SetEnvironmentVariableW(L"LOCALAPPDATA", local.Path().c_str());
        std::wstring appFolder = c.writable ? application.Path() : application.File(L"missing");
        std::wstring files[] = {current.File(L"marivane.ini"), appFolder + L"\\marivane.ini",
                                local.File(L"Marivane\\marivane.ini")};
        if (c.local)  // else the start-up makes it
            CreateDirectoryW(local.File(L"Marivane").c_str(), nullptr);
        for (int i : {c.here ? 0 : -1, c.beside ? 1 : -1, c.local ? 2 : -1}) {
            ASSERT_TRUE(i < 0 || WriteBytes(files[i], kDecl + "<config/>\r\n"));
        }
        for (int start = 0; start < 2; ++start) {
            CAppParameter config;
            config.m_CurrentPath.Assign(current.Path().c_str());
            config.m_AppPath.Assign(appFolder.c_str());
            config.ResolveIniFile();
            EXPECT_EQ(W(config.m_IniFile), files[c.chosen]);
            config.m_Frequency = 32000;
            EXPECT_EQ(config.Save(), 1);
        }
        EXPECT_NE(ReadBytes(files[c.chosen]).find("<frequency>32000</frequency>"), std::string::npos);
    }
    SetEnvironmentVariableW(L"LOCALAPPDATA", saved.empty() ? nullptr : saved.c_str());
}

// A program's own source comes back as it was written, understood or not;
// without the key it is the settings' device and the item is saved without
// it. A station's variant comes back, one that is no number as the best.
// The addresses used before come back newest first, at most ten.
TEST(ConfigFile, ProgramSourcesAndStationAddressesRoundTrip)
{
    const struct {
        const char* source;  // null: no key
        SourceKind kind;
        const char* variant = nullptr;  // null: no key
        unsigned long long bandwidth = 0;
    } cases[] = {
        {nullptr, kSourceSettings},
        {"{0.0.1.00000000}.{0123abcd-0000-0000-0000-00000000beef}", kSourceCapture},
        {"loopback:default", kSourceLoopback},
        {"loopback:{0.0.0.00000000}.{00000000-0000-0000-0000-0000000000ab}", kSourceLoopback},
        {"http://127.0.0.1:8000/live.mp3", kSourceStation},
        {"http://127.0.0.1:8000/master.m3u8", kSourceStation, "96000", 96000},
        {"HTTPS://127.0.0.1/listen.pls", kSourceStation, "96k", 0},
        {"http://127.0.0.1/a.m3u?x=1&amp;y=2", kSourceStation},
        {"ftp://127.0.0.1/x", kSourceUnknown},
        {"\xE3\x83\xA9\xE3\x82\xB8\xE3\x82\xAA &lt;?&gt;", kSourceUnknown},
        {"loopback:", kSourceUnknown},
        {"http://", kSourceUnknown},
    };
    std::string items;
    for (const auto& c : cases)
        items += "<item><start_time>2024/05/01 07:30:00</start_time><stop_time>2024/05/01 08:00:00</stop_time>"
                 "<weekly>0</weekly><title>t</title>" +
                 (c.source ? "<source>" + std::string(c.source) + "</source>" : std::string()) +
                 (c.variant ? "<variant>" + std::string(c.variant) + "</variant>" : std::string()) + "</item>\r\n";
    Fixture f;
    ASSERT_EQ(f.LoadText(kDecl + "<config/>\r\n<programs>" + items + "</programs>\r\n"), 1);
    for (int round = 0; round < 2; ++round) {
        std::vector<ProgramItem> loaded = Items(f.config->m_ProgramList);
        ASSERT_EQ(loaded.size(), std::size(cases));
        for (size_t i = 0; i < loaded.size(); ++i) {
            SCOPED_TRACE(cases[i].source ? cases[i].source : "(none)");
            std::string written = cases[i].source ? cases[i].source : "";
            for (auto [escaped, plain] : {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}})
                for (size_t at; (at = written.find(escaped)) != std::string::npos;)
                    written.replace(at, strlen(escaped), plain);
            EXPECT_EQ(Narrow(W(loaded[i].m_Source)), written);
            EXPECT_EQ(ProgramSource::Kind(loaded[i].m_Source.GetWide()), cases[i].kind);
            EXPECT_EQ(loaded[i].m_Variant, cases[i].bandwidth);
        }
        std::string saved = f.Saved();
        EXPECT_EQ(saved.find("<source>", saved.find("<item>")), saved.find("<source>"));  // the first has none
        EXPECT_NE(saved.find("<source>ftp://127.0.0.1/x</source>"), std::string::npos);
        EXPECT_EQ(saved.find("station_addresses"), std::string::npos);
        ASSERT_EQ(f.config->Save(), 1);
        f.config = f.Reload();
    }
    for (int i = 0; i < 12; ++i)
        f.config->AddStationAddress((L"http://127.0.0.1/" + std::to_wstring(i)).c_str());
    f.config->AddStationAddress(L"http://127.0.0.1/3");  // used again: first, once
    f.config->AddStationAddress(L"bad\naddress");
    ASSERT_EQ(f.config->Save(), 1);
    EXPECT_EQ(Narrow(W(f.Reload()->m_StationAddresses)),
              "http://127.0.0.1/3\nhttp://127.0.0.1/11\nhttp://127.0.0.1/10\nhttp://127.0.0.1/9\nhttp://127.0.0.1/8\n"
              "http://127.0.0.1/7\nhttp://127.0.0.1/6\nhttp://127.0.0.1/5\nhttp://127.0.0.1/4\nhttp://127.0.0.1/2");
}
