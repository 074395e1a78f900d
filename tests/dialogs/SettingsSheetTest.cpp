// The settings sheet with its two real pages.
#include "capture/LevelMeter.h"
#include "capture/WasapiCapture.h"
#include "config/AutoStart.h"
#include "dialogs/ConfigDialog.h"
#include "dialogs/DialogFixture.h"
#include "files/RecordingFormat.h"
#include "resources/resource.h"
#include "scheduler/WakeSupport.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <tlhelp32.h>

namespace {

LRESULT Selected(HWND page, int id)
{
    return SendDlgItemMessageW(page, id, CB_GETCURSEL, 0, 0);
}

void PressOk(HWND sheet)
{
    PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    WaitGone(sheet);
}

}  // namespace

TEST(SettingsSheet, PagesShowAndStoreTheSettings)
{
    DialogFixture f;
    f.config.m_CapDeviceName.Assign(L"Unplugged microphone");
    f.config.m_CapDeviceId.Assign(L"{0.0.1.00000000}.{00000000-0000-0000-0000-0000000000ab}");
    f.config.m_Frequency = 96000;
    f.config.m_Channels = 1;
    f.config.m_WavFileDir.Assign(L"C:\\Old");
    f.config.m_WavMaxSize = 250;
    f.config.m_Language = 0;
    f.config.m_FileFormat = kFileOpus;
    f.config.m_OpusBitrate = 80;
    std::wstring newFolder = f.dir.File(L"録音\\新しい");
    // Wine answers no power query: the PC stands in with wake timers for Windows alone.
    CWakeSupport::s_Facts = [] {
        PowerFacts facts;
        facts.known = facts.hibernate = facts.rtcWakeS4 = facts.sleep = facts.rtcWakeSleep = facts.battery = true;
        facts.wakeTimersAc = facts.wakeTimersDc = 2;  // important wake timers only
        return facts;
    };
    CAutoStart::Set(false, nullptr);
    f.Run([&] { CConfigDialog().Show(nullptr); }, L"Setting", [&](HWND sheet) {
        HWND audio = Page(sheet, 0);
        ASSERT_NE(audio, nullptr);
        // The unplugged device stays chosen after the real ones; 96000 selects nothing.
        LRESULT devices = SendDlgItemMessageW(audio, IDC_DEVICE, CB_GETCOUNT, 0, 0);
        EXPECT_GE(devices, 2);
        EXPECT_EQ(Selected(audio, IDC_DEVICE), devices - 1);
        EXPECT_EQ(ComboChosen(audio, IDC_DEVICE), L"Unplugged microphone (not connected)");
        EXPECT_EQ(ControlText(audio, IDC_METER_TEXT), L"This device is not connected.");
        EXPECT_EQ(SendDlgItemMessageW(audio, IDC_FREQUENCY, CB_GETCOUNT, 0, 0), 5);
        EXPECT_EQ(Selected(audio, IDC_FREQUENCY), -1);
        EXPECT_EQ(ComboChosen(audio, IDC_CHANNELS), L"1ch (mono)");
        // Opus at a rate between the offered ones; the size line for the
        // stored 96000 Hz. FLAC then, in stereo: no bit rate, its own size.
        EXPECT_EQ(ComboChosen(audio, IDC_FILE_FORMAT), L"Opus (lossy, small)");
        EXPECT_EQ(ComboChosen(audio, IDC_OPUS_BITRATE), L"80 kbit/s");
        EXPECT_EQ(SendDlgItemMessageW(audio, IDC_OPUS_BITRATE, CB_GETCOUNT, 0, 0), 11);
        EXPECT_EQ(ControlText(audio, IDC_SIZE_PER_HOUR), L"About 36 MB per hour (96000 Hz, 1 ch; depends on the sound)");
        SaveScreenshot(sheet, L"settings-audio-opus-en");
        SendDlgItemMessageW(audio, IDC_CHANNELS, CB_SETCURSEL, 1, 0);
        SendDlgItemMessageW(audio, IDC_FILE_FORMAT, CB_SETCURSEL, 1, 0);
        SendMessageW(audio, WM_COMMAND, MAKEWPARAM(IDC_FILE_FORMAT, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(GetDlgItem(audio, IDC_FILE_FORMAT)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(audio, IDC_OPUS_BITRATE)));
        EXPECT_EQ(ControlText(audio, IDC_SIZE_PER_HOUR), L"About 829 MB per hour (96000 Hz, 2 ch; depends on the sound)");

        HWND misc = Page(sheet, 1);
        ASSERT_NE(misc, nullptr);
        EXPECT_EQ(ComboChosen(misc, IDC_LANGUAGE), L"English");
        EXPECT_EQ(ControlText(misc, IDC_WAV_FOLDER), L"C:\\Old");
        EXPECT_EQ(ControlText(misc, IDC_WAV_MAX_SIZE), L"250");
        EXPECT_EQ(IsDlgButtonChecked(misc, IDC_SHUTDOWN), BST_UNCHECKED);
        // Both states there: hibernation as by default, sleep to choose.
        EXPECT_EQ(ComboItems(misc, IDC_SLEEP_STATE), L"Hibernate|Sleep");
        EXPECT_EQ(ComboChosen(misc, IDC_SLEEP_STATE), L"Hibernate");
        EXPECT_EQ(ControlText(misc, IDC_BATTERY_NOTE), L"On battery, too, this PC stays awake while recording.");
        EXPECT_TRUE(IsWindowVisible(GetDlgItem(misc, IDC_BATTERY_NOTE)));
        EXPECT_EQ(ControlText(misc, IDC_KEEP_DAYS), L"0");
        SetControlText(misc, IDC_KEEP_DAYS, L"42");
        SetControlText(misc, IDC_AFTER_COMMAND, L"C:\\Tools\\upload.exe %F --title \"%T\"");
        SaveScreenshot(sheet, L"settings-misc-en");
        SendDlgItemMessageW(misc, IDC_LANGUAGE, CB_SETCURSEL, 1, 0);  // Japanese, on an English interface
        SetControlText(misc, IDC_WAV_FOLDER, newFolder);
        SetControlText(misc, IDC_WAV_MAX_SIZE, L"12a");
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(misc, IDC_WAKE_WARNING)));
        Click(misc, IDC_SHUTDOWN);
        Sleep(100);
        // Checked: the line says what keeps the PC from waking.
        EXPECT_TRUE(IsWindowVisible(GetDlgItem(misc, IDC_WAKE_WARNING)));
        EXPECT_NE(ControlText(misc, IDC_WAKE_WARNING).find(L"Allow wake timers"), std::wstring::npos);
        SendDlgItemMessageW(misc, IDC_SLEEP_STATE, CB_SETCURSEL, 1, 0);
        SendMessageW(misc, WM_COMMAND, MAKEWPARAM(IDC_SLEEP_STATE, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(GetDlgItem(misc, IDC_SLEEP_STATE)));
        SaveScreenshot(sheet, L"settings-misc-wake-en");
        EXPECT_EQ(IsDlgButtonChecked(misc, IDC_AUTOSTART), BST_UNCHECKED);
        Click(misc, IDC_AUTOSTART);
        PressOk(sheet);
    });
    CWakeSupport::s_Facts = CWakeSupport::Query;
    EXPECT_STREQ(f.config.m_CapDeviceName.GetWide(), L"Unplugged microphone");
    EXPECT_STREQ(f.config.m_CapDeviceId.GetWide(), L"{0.0.1.00000000}.{00000000-0000-0000-0000-0000000000ab}");
    EXPECT_EQ(f.config.m_Frequency, 96000);  // kept
    EXPECT_EQ(f.config.m_Channels, 2);
    EXPECT_EQ(f.config.m_FileFormat, kFileFlac);
    EXPECT_EQ(f.config.m_OpusBitrate, 80);
    EXPECT_NE(f.Saved().find("<file_format>flac</file_format>"), std::string::npos);
    EXPECT_EQ(f.config.m_Language, 1);
    EXPECT_EQ(f.config.m_UiLanguage, 0);  // until the next start
    EXPECT_STREQ(f.config.m_WavFileDir.GetWide(), newFolder.c_str());
    EXPECT_TRUE(GetFileAttributesW(newFolder.c_str()) & FILE_ATTRIBUTE_DIRECTORY);  // made on OK
    EXPECT_EQ(f.config.m_WavMaxSize, 250);  // 12a keeps the size
    EXPECT_EQ(f.config.m_Shutdown, 1);
    EXPECT_EQ(f.config.m_SleepState, CAppParameter::kSleep);
    EXPECT_NE(f.Saved().find("<sleep_state>sleep</sleep_state>"), std::string::npos);
    EXPECT_EQ(f.config.m_KeepDays, 42);
    EXPECT_STREQ(f.config.m_AfterCommand.GetWide(), L"C:\\Tools\\upload.exe %F --title \"%T\"");
    EXPECT_NE(f.Saved().find("<language>1</language>"), std::string::npos);
    // Start with Windows: the Run value holds the quoted program.
    wchar_t exe[MAX_PATH], value[MAX_PATH + 3] = L"";
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    DWORD size = sizeof value;
    RegGetValueW(HKEY_CURRENT_USER, CAutoStart::kRunKey, CAutoStart::kValueName, RRF_RT_REG_SZ, nullptr, value, &size);
    EXPECT_EQ(std::wstring(value), L"\"" + std::wstring(exe) + L"\"");
}

// The size field takes blanks, a sign and digits and nothing else; anything
// else keeps the size.
TEST(SettingsSheet, SizeRulesCancelAndJapaneseTexts)
{
    struct Case {
        const wchar_t* typed;
        int stored;
    } cases[] = {{L"", 0}, {L"  -", 0}, {L"-5", -5}, {L" \t42", 42}, {L"4x2", 100}, {L"+5", 100}, {L"12 ", 100},
                 {L"99999999999999999999999", 0x7FFFFFFF}};  // stops past 2^32 instead of wrapping
    for (const Case& c : cases) {
        DialogFixture f;
        f.config.m_WavMaxSize = 100;
        f.Run([&] { CConfigDialog().Show(nullptr); }, L"Setting", [&](HWND sheet) {
            HWND misc = Page(sheet, 1);
            // No folder set: the one recordings go to, the Music folder.
            EXPECT_EQ(ControlText(misc, IDC_WAV_FOLDER), MusicFolder());
            SetControlText(misc, IDC_WAV_MAX_SIZE, c.typed);
            PressOk(sheet);
        });
        EXPECT_EQ(f.config.m_WavMaxSize, c.stored) << "typed \"" << Narrow(c.typed) << "\"";
    }

    // Cancel stores nothing; in Japanese, with neither language chosen yet,
    // the user's default language is offered.
    DialogFixture f(1);
    f.config.m_WavMaxSize = 100;
    f.config.m_Language = 7;
    // Started with Windows, but switched off in Task Manager's Startup tab.
    CAutoStart::Set(true, L"C:\\Marivane\\marivane.exe");
    const BYTE disabled[12] = {3};
    RegSetKeyValueW(HKEY_CURRENT_USER, CAutoStart::kApprovedKey, CAutoStart::kValueName, REG_BINARY, disabled, 12);
    // A Modern Standby laptop that wakes by timer: the page says what standby means.
    CWakeSupport::s_Facts = [] {
        PowerFacts facts;
        facts.known = facts.hibernate = facts.rtcWakeS4 = facts.modernStandby = facts.battery = true;
        facts.sleepTimeoutDc = 600;
        return facts;
    };
    f.Run([&] { CConfigDialog().Show(nullptr); }, L"設定", [&](HWND sheet) {
        SaveScreenshot(sheet, L"settings-audio-ja");
        EXPECT_EQ(ControlText(Page(sheet, 0), IDC_SIZE_PER_HOUR), L"1 時間あたり 635 MB (44100 Hz、2 ch)");
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(Page(sheet, 0), IDC_OPUS_BITRATE)));
        HWND misc = Page(sheet, 1);
        EXPECT_EQ(ComboChosen(misc, IDC_LANGUAGE), GetUserDefaultLangID() == 0x411 ? L"日本語" : L"English");
        // No device set: the system's default one is shown, not the first listed.
        wchar_t id[256] = L"";
        EXPECT_TRUE(CWasapiCapture::DefaultEndpointId(id, 256));
        EXPECT_EQ(Selected(Page(sheet, 0), IDC_DEVICE), CWasapiCapture().FindDevice(L"", id, 0));
        EXPECT_EQ(ControlText(misc, IDC_SHUTDOWN), L"録音終了後パソコンをスリープする");
        EXPECT_EQ(IsDlgButtonChecked(misc, IDC_AUTOSTART), BST_CHECKED);
        EXPECT_NE(ControlText(misc, IDC_AUTOSTART_NOTE).find(L"タスク マネージャー"), std::wstring::npos);
        EXPECT_TRUE(GetWindowLongW(GetDlgItem(misc, IDC_WAKE_WARNING), GWL_STYLE) & WS_VISIBLE);  // its page is behind
        EXPECT_EQ(ControlText(misc, IDC_WAKE_WARNING).rfind(L"モダン スタンバイ:", 0), 0u);
        // No S3 with Modern Standby: hibernation alone, said, not offered.
        EXPECT_EQ(ComboItems(misc, IDC_SLEEP_STATE), L"休止状態");
        EXPECT_EQ(ComboChosen(misc, IDC_SLEEP_STATE), L"休止状態");
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(misc, IDC_SLEEP_STATE)));
        EXPECT_EQ(ControlText(misc, IDC_BATTERY_NOTE).rfind(L"バッテリー駆動中は 15 分操作がないと", 0), 0u);
        SaveScreenshot(Page(sheet, 1) ? sheet : nullptr, L"settings-misc-ja");
        // FLAC: the longer size line takes its second line.
        HWND audio = Page(sheet, 0);
        SendDlgItemMessageW(audio, IDC_FILE_FORMAT, CB_SETCURSEL, 1, 0);
        SendMessageW(audio, WM_COMMAND, MAKEWPARAM(IDC_FILE_FORMAT, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(GetDlgItem(audio, IDC_FILE_FORMAT)));
        EXPECT_EQ(ControlText(audio, IDC_SIZE_PER_HOUR), L"1 時間あたり約 381 MB (44100 Hz、2 ch、音により変わります)");
        SaveScreenshot(sheet, L"settings-audio-flac-ja");
        SetControlText(misc, IDC_WAV_MAX_SIZE, L"7");
        PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    });
    CWakeSupport::s_Facts = CWakeSupport::Query;
    EXPECT_EQ(f.config.m_WavMaxSize, 100);
    EXPECT_EQ(f.config.m_Language, 7);
    EXPECT_FALSE(Exists(f.dir.File(L"marivane.ini")));
    EXPECT_TRUE(CAutoStart::IsOn());
    CAutoStart::Set(false, nullptr);
    RegDeleteKeyValueW(HKEY_CURRENT_USER, CAutoStart::kApprovedKey, CAutoStart::kValueName);
}

// OK with a folder that cannot be made is refused on the page; a save that
// fails is told once for both pages, and the settings stay in memory.
TEST(SettingsSheet, UnmakeableFolderIsRefusedAndAFailedSaveIsToldOnce)
{
    DialogFixture f;
    WriteBytes(f.dir.File(L"plain file"), "x");
    std::wstring impossible = f.dir.File(L"plain file\\wav"), good = f.dir.File(L"wav");
    std::wstring refusal, failure, second;
    HANDLE locked = INVALID_HANDLE_VALUE;
    f.Run([&] { CConfigDialog().Show(nullptr); }, L"Setting", [&](HWND sheet) {
        HWND audio = Page(sheet, 0);
        EXPECT_EQ(ComboChosen(audio, IDC_FREQUENCY), L"44100 Hz");
        SaveScreenshot(sheet, L"settings-audio-en");
        HWND misc = Page(sheet, 1);
        SetControlText(misc, IDC_WAV_FOLDER, impossible);
        SetControlText(misc, IDC_WAV_MAX_SIZE, L"7");
        PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
        refusal = AnswerMessageBox(sheet, IDOK);
        Sleep(300);
        EXPECT_TRUE(IsWindowVisible(sheet));
        // Held open without sharing, as a scanner past the retries would.
        WriteBytes(f.dir.File(L"marivane.ini"), "old");
        locked = CreateFileW(f.dir.File(L"marivane.ini").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        SetControlText(misc, IDC_WAV_FOLDER, good);
        PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
        failure = AnswerMessageBox(sheet, IDOK, 10000);
        second = AnswerMessageBox(sheet, IDOK, 1500);
    });
    CloseHandle(locked);
    EXPECT_EQ(refusal, L"The WAV folder " + impossible + L" does not exist and cannot be created.");
    EXPECT_EQ(failure, L"The settings could not be saved to " + f.dir.File(L"marivane.ini") +
                           L".\nThe changes stay in effect until the program ends.");
    EXPECT_EQ(second, L"(no message box)");
    EXPECT_EQ(f.config.m_WavMaxSize, 7);
    EXPECT_STREQ(f.config.m_WavFileDir.GetWide(), good.c_str());
    EXPECT_EQ(f.Saved(), "old");
    EXPECT_FALSE(Exists(f.dir.File(L"marivane.ini.tmp")));
}

// The Audio page's meter on the virtual microphone: the ramp (full scale on
// the left) reads within 3 dB of full scale, the "Quiet" input says so
// within 4 s, 8 kHz mono keeps it live, an output's loopback is listed and
// stored (in place of a chosen output that is not there, listed as such),
// and closing the sheet ends the meter's thread.
TEST(SettingsSheet, TheAudioPageMetersTheInput)
{
    auto threads = [] {
        int count = 0;
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
        THREADENTRY32 entry = {};
        entry.dwSize = sizeof entry;
        for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
            count += entry.th32OwnerProcessID == GetCurrentProcessId();
        CloseHandle(snapshot);
        return count;
    };
    CLevelMeter warm;  // the sound system's own threads stay once started
    warm.Start(L"", 48000, 2);
    warm.Stop();
    int before = threads();
    for (int ja : {0, 1}) {
        DialogFixture f(ja);
        f.config.m_CapDeviceName.Assign(L"USB Headset");
        f.config.m_CapDeviceId.Assign(L"loopback:{0.0.0.00000000}.{00000000-0000-0000-0000-0000000000ab}");
        f.Run([&] { CConfigDialog().Show(nullptr); }, ja ? L"設定" : L"Setting", [&](HWND sheet) {
            HWND audio = Page(sheet, 0);
            EXPECT_EQ(ComboChosen(audio, IDC_DEVICE),
                      ja ? L"このPCの再生音: USB Headset （未接続）" : L"What this PC plays: USB Headset (not connected)");
            auto choose = [&](int id, const wchar_t* part) {
                HWND combo = GetDlgItem(audio, id);
                for (LRESULT i = 0; i < SendMessageW(combo, CB_GETCOUNT, 0, 0); ++i) {
                    wchar_t text[300] = L"";
                    SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
                    if (wcsstr(text, part))
                        SendMessageW(combo, CB_SETCURSEL, i, 0);
                }
                PostMessageW(audio, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
            };
            // Positions are tenths of a dB above -60 dBFS.
            auto above = [&](LRESULT position) {
                return WaitUntil([&] { return SendDlgItemMessageW(audio, IDC_METER_LEFT, PBM_GETPOS, 0, 0) > position; },
                                 3000);
            };
            choose(IDC_DEVICE, L"mic.fifo");
            EXPECT_TRUE(above(570));
            SaveScreenshot(sheet, ja ? L"settings-audio-meter-ja" : L"settings-audio-meter-en");
            // MARIVANE_METER_SECONDS holds the page open, for its CPU to be read from outside.
            Sleep(static_cast<DWORD>(_wtoi(EnvironmentValue(L"MARIVANE_METER_SECONDS").c_str())) * 1000);
            choose(IDC_DEVICE, L"Quiet");
            EXPECT_TRUE(WaitUntil([&] {
                return ControlText(audio, IDC_METER_TEXT) ==
                       (ja ? L"音がありません (-60 dBFS 以下)" : L"No sound (-60 dBFS or below)");
            }, 4000));
            choose(IDC_DEVICE, L"mic.fifo");
            choose(IDC_FREQUENCY, L"8000");
            choose(IDC_CHANNELS, L"mono");
            EXPECT_TRUE(above(400));  // the engine mixes the two channels down
            EXPECT_FALSE(IsWindowEnabled(GetDlgItem(audio, IDC_METER_RIGHT)));
            // After the capture devices, what the PC plays: through the
            // default output, then each one. Wine refuses loopback, and the
            // meter says so.
            const wchar_t* playing = ja ? L"このPCの再生音" : L"What this PC plays";
            LRESULT captures = static_cast<LRESULT>(CWasapiCapture().GetDeviceCaps(0, nullptr));
            wchar_t text[300] = L"";
            SendDlgItemMessageW(audio, IDC_DEVICE, CB_GETLBTEXT, captures, reinterpret_cast<LPARAM>(text));
            EXPECT_EQ(std::wstring(text), std::wstring(playing) + (ja ? L" (既定の出力)" : L" (default output)"));
            choose(IDC_DEVICE, L": Null Output");
            EXPECT_TRUE(WaitUntil([&] { return ControlText(audio, IDC_METER_TEXT).find(ja ? L"このシステムでは" : L"This system cannot") == 0; }, 3000));
            EXPECT_EQ(ComboChosen(audio, IDC_DEVICE), std::wstring(playing) + L": Null Output");
            SendDlgItemMessageW(audio, IDC_DEVICE, CB_SHOWDROPDOWN, TRUE, 0);
            SaveScreenshot(sheet, ja ? L"settings-audio-loopback-ja" : L"settings-audio-loopback-en");
            SendDlgItemMessageW(audio, IDC_DEVICE, CB_SHOWDROPDOWN, FALSE, 0);
            PressOk(sheet);
        });
        // Stored as the output's id behind "loopback:", with its name.
        EXPECT_STREQ(f.config.m_CapDeviceName.GetWide(), L"Null Output");
        EXPECT_EQ(std::wstring(f.config.m_CapDeviceId.GetWide()).rfind(L"loopback:{0.0.0.", 0), 0u);
    }
    EXPECT_TRUE(WaitUntil([&] { return threads() <= before; }, 3000));
}

// A command whose program path has spaces but no quotes is refused on OK
// with the reason, in either language: the sheet stays open and keeps the
// old command; with the quotes it is taken.
TEST(SettingsSheet, AnUnquotedProgramPathIsRefused)
{
    for (int ja : {0, 1}) {
        DialogFixture f(ja);
        f.config.m_AfterCommand.Assign(L"old.exe %F");
        std::wstring refusal, kept;
        std::string saved;
        f.Run([&] { CConfigDialog().Show(nullptr); }, ja ? L"設定" : L"Setting", [&](HWND sheet) {
            HWND misc = Page(sheet, 1);
            SetControlText(misc, IDC_AFTER_COMMAND, L"C:\\Program Files\\Tool\\up.exe %F");
            PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
            refusal = AnswerMessageBox(sheet, IDOK, 5000, ja ? L"settings-misc-unquoted-ja" : L"settings-misc-unquoted-en");
            Sleep(300);
            EXPECT_TRUE(IsWindowVisible(sheet));
            kept = f.config.m_AfterCommand.GetWide();
            saved = f.Saved();
            SetControlText(misc, IDC_AFTER_COMMAND, L"\"C:\\Program Files\\Tool\\up.exe\" %F");
            PressOk(sheet);
        });
        EXPECT_EQ(refusal.rfind(ja ? L"プログラムのパスに空白がありますが、引用符で囲まれていません。"
                                   : L"The program's path has spaces but no quotes: Windows could take",
                                0),
                  0u)
            << Narrow(refusal);
        EXPECT_EQ(kept, L"old.exe %F");
        EXPECT_EQ(saved.find("up.exe"), std::string::npos);
        EXPECT_STREQ(f.config.m_AfterCommand.GetWide(), L"\"C:\\Program Files\\Tool\\up.exe\" %F");
    }
}
