// A program's source in the program window and the program list, through
// their real windows and this PC's (Wine's) devices.
#include "dialogs/DialogFixture.h"
#include "dialogs/MainDialog.h"
#include "dialogs/ProgramInputDialog.h"
#include "dialogs/SourceChoices.h"
#include "resources/resource.h"
#include "stream/StationProbe.h"

#include <commctrl.h>
#include <cstring>
#include <gtest/gtest.h>

namespace {

// Chooses the Source entry with that text as the user does.
bool ChooseSource(HWND input, const std::wstring& text)
{
    LRESULT i = SendDlgItemMessageW(input, IDC_SOURCE, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                    reinterpret_cast<LPARAM>(text.c_str()));
    if (i < 0)
        return false;
    SendDlgItemMessageW(input, IDC_SOURCE, CB_SETCURSEL, i, 0);
    SendMessageW(input, WM_COMMAND, MAKEWPARAM(IDC_SOURCE, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(input, IDC_SOURCE)));
    return true;
}

bool Shown(HWND input, int id)
{
    return IsWindowVisible(GetDlgItem(input, id)) != FALSE;
}

}  // namespace

// Each kind of source, in both languages: the list names it on the
// program's row (one not understood says so), the program window chooses
// its entry, and OK saves it as it was. A station shows its address, the
// addresses used before and Try, whose answer (the probe's) comes on the
// line under it; a new program from a station puts its address first among
// those used before; an address that is no station's is refused. The
// settings' device is named in its entry.
TEST(ProgramSourceDialog, EachKindIsShownChosenAndKept)
{
    CSourceChoices listed;
    listed.ListDevices();
    ASSERT_FALSE(listed.Devices().empty());
    const CSourceChoices::Device& mic = listed.Devices()[0];
    const std::wstring station = L"http://127.0.0.1:8000/live.mp3", garbage = L"ftp://127.0.0.1/x";
    for (int ja : {0, 1}) {
        SCOPED_TRACE(ja ? "Japanese" : "English");
        DialogFixture f(ja);
        f.config.m_CapDeviceName.Assign(L"Nowhere Mic");
        f.config.m_CapDeviceId.Assign(L"{0.0.1.00000000}.{nowhere}");
        f.config.m_StationAddresses.Assign(L"http://127.0.0.1:8000/old.pls\nhttps://127.0.0.1/older.m3u");
        const struct {
            const wchar_t* title;
            std::wstring source, row, entry;
            const char* shot;
        } kinds[] = {
            {L"Settings", L"", ja ? L"設定のデバイス" : L"Device in Setting",
             ja ? L"設定のデバイス (Nowhere Mic)" : L"Device in Setting (Nowhere Mic)", "settings"},
            {L"Mic", mic.id, mic.label, mic.label, "capture"},
            {L"Plays", L"loopback:default", ja ? L"このPCの再生音 (既定の出力)" : L"What this PC plays (default output)",
             ja ? L"このPCの再生音 (既定の出力)" : L"What this PC plays (default output)", "loopback"},
            {L"Radio", station, station + L" (96 kbit/s)", CSourceChoices::StationEntry(ja), "station"},
            {L"Odd", garbage, CSourceChoices::UnknownEntry(garbage.c_str(), ja),
             CSourceChoices::UnknownEntry(garbage.c_str(), ja), "garbage"},
        };
        for (const auto& k : kinds) {
            int day = 1 + static_cast<int>(&k - kinds);
            ProgramItem* p = Program(At(2031, 6, day, 10, 0), At(2031, 6, day, 11, 0), 0, k.title);
            p->m_Source.Assign(k.source.c_str());
            p->m_Variant = k.source == station ? 96000 : 0;  // an HLS variant chosen before
            f.config.m_ProgramList.Insert(p);
        }
        const std::wstring suffix = ja ? L"-ja" : L"-en";
        f.RunList([&](HWND dlg) {
            HWND list = GetDlgItem(dlg, IDC_PROGRAM_LIST);
            EXPECT_EQ(ColumnHeader(list, 3), ja ? L"録音元" : L"Source");
            auto rows = ListRows(list, 4);
            ASSERT_EQ(rows.size(), std::size(kinds));
            for (size_t i = 0; i < rows.size(); ++i)
                EXPECT_EQ(rows[i][3], kinds[i].row) << i;
            SaveScreenshot(dlg, L"program-list-sources" + suffix);
            const wchar_t* caption = ja ? L"予約入力" : L"Input Recording Program";
            for (size_t i = 0; i < rows.size(); ++i) {
                SCOPED_TRACE(kinds[i].shot);
                SelectRow(list, static_cast<int>(i));
                Click(dlg, IDC_PROGRAM_EDIT);
                HWND input = WaitForDialog(f.uiThread, caption);
                ASSERT_NE(input, nullptr);
                EXPECT_EQ(ComboChosen(input, IDC_SOURCE), kinds[i].entry);
                bool isStation = kinds[i].source == station;
                EXPECT_EQ(Shown(input, IDC_STATION_ADDRESS), isStation);
                EXPECT_EQ(Shown(input, IDC_STATION_TRY), isStation);
                if (isStation) {
                    EXPECT_EQ(ControlText(input, IDC_STATION_ADDRESS), station);
                    EXPECT_EQ(SendDlgItemMessageW(input, IDC_STATION_ADDRESS, CB_GETCOUNT, 0, 0), 2);
                    EXPECT_EQ(ComboChosen(input, IDC_STATION_VARIANT), L"96 kbit/s");
                    Click(input, IDC_STATION_TRY);
                    wchar_t expected[CProgramInputDialog::kAnswerSize];
                    CStationProbe::Describe(station.c_str(), ja != 0, expected, CProgramInputDialog::kAnswerSize);
                    EXPECT_TRUE(WaitUntil([&] { return ControlText(input, IDC_STATION_ANSWER) == expected; },
                                          CStationProbe::kTimeoutMs))
                        << Narrow(ControlText(input, IDC_STATION_ANSWER));
                }
                SaveScreenshot(input, L"program-input-source-" + std::wstring(kinds[i].shot, kinds[i].shot + strlen(kinds[i].shot)) + suffix);
                Click(input, IDOK);
                EXPECT_TRUE(WaitGone(input));
                Sleep(100);
            }
            // Saved as they were, the one not understood too.
            std::string saved = f.Saved();
            EXPECT_NE(saved.find("<source>" + Narrow(garbage) + "</source>"), std::string::npos) << saved;
            EXPECT_NE(saved.find("<source>" + Narrow(mic.id) + "</source>"), std::string::npos);
            EXPECT_NE(saved.find("<variant>96000</variant>"), std::string::npos) << "a Try without an answer keeps it";
            EXPECT_EQ(Narrow(f.config.m_StationAddresses.GetWide()),
                      Narrow(station) + "\nhttp://127.0.0.1:8000/old.pls\nhttps://127.0.0.1/older.m3u");

            // A new program from a station; an address that is no station's is refused first.
            Click(dlg, IDC_PROGRAM_NEW);
            HWND input = WaitForDialog(f.uiThread, caption);
            ASSERT_NE(input, nullptr);
            EXPECT_EQ(ComboChosen(input, IDC_SOURCE), kinds[0].entry);
            EXPECT_FALSE(Shown(input, IDC_STATION_ADDRESS));
            ASSERT_TRUE(ChooseSource(input, CSourceChoices::StationEntry(ja)));
            EXPECT_TRUE(Shown(input, IDC_STATION_ADDRESS));
            SetControlText(input, IDC_TITLE, L"New");
            SetControlText(input, IDC_DURATION, L"1:00");
            SetControlText(input, IDC_STATION_ADDRESS, L"127.0.0.1/live");
            Click(input, IDOK);
            EXPECT_EQ(AnswerMessageBox(input, IDOK),
                      ja ? L"放送局のアドレスは http:// か https:// で始めてください。"
                         : L"A station's address begins with http:// or https://.");
            SetControlText(input, IDC_STATION_ADDRESS, L"  https://127.0.0.1/new.pls ");
            Click(input, IDOK);
            EXPECT_TRUE(WaitGone(input));
            Sleep(100);
            EXPECT_NE(f.Saved().find("<source>https://127.0.0.1/new.pls</source>"), std::string::npos);
            EXPECT_EQ(std::wstring(f.config.m_StationAddresses.GetWide()).rfind(L"https://127.0.0.1/new.pls\n", 0), 0u);
        });
    }
}

// An HLS station's variants, from the test HLS station (run-stream-tests.sh
// starts it): Try lists those it can record, the best first, and the line
// describes the one chosen; OK keeps the choice, which comes back chosen,
// on the list's row too; another address lets it go. Both languages.
TEST(ProgramSourceDialog, HlsVariantsAreListedChosenAndKept)
{
    STATION_PORT_OR_SKIP(port, L"MARIVANE_HLS_PORT");
    const std::wstring master = L"http://127.0.0.1:" + port + L"/master.m3u8";
    for (int ja : {0, 1}) {
        SCOPED_TRACE(ja ? "Japanese" : "English");
        DialogFixture f(ja);
        const std::wstring best = ja ? L"放送局が出す最高のもの" : L"The highest the station offers";
        ProgramItem* p = Program(At(2031, 6, 1, 10, 0), At(2031, 6, 1, 11, 0), 0, L"Radio");
        p->m_Source.Assign(master.c_str());
        f.config.m_ProgramList.Insert(p);
        auto tried = [&](HWND dlg, const std::wstring& line) {
            Click(dlg, IDC_STATION_TRY);
            EXPECT_TRUE(WaitUntil([&] { return ControlText(dlg, IDC_STATION_ANSWER).find(line) == 0; },
                                  CStationProbe::kTimeoutMs))
                << Narrow(ControlText(dlg, IDC_STATION_ANSWER));
        };
        // Chosen after a Try, kept as it was opened again, let go with another address.
        f.RunList([&](HWND list) {
            for (int pass = 0; pass < 3; ++pass) {
                SCOPED_TRACE(pass);
                SelectRow(GetDlgItem(list, IDC_PROGRAM_LIST), 0);
                Click(list, IDC_PROGRAM_EDIT);
                HWND dlg = WaitForDialog(f.uiThread, ja ? L"予約入力" : L"Input Recording Program");
                ASSERT_NE(dlg, nullptr);
                EXPECT_EQ(Shown(dlg, IDC_STATION_VARIANT), pass > 0);
                if (pass == 0) {
                    tried(dlg, L"HLS · AAC · 130 kbit/s");
                    EXPECT_EQ(ComboItems(dlg, IDC_STATION_VARIANT), best + L"|130 kbit/s · AAC|60 kbit/s · AAC");
                    SendDlgItemMessageW(dlg, IDC_STATION_VARIANT, CB_SETCURSEL, 2, 0);
                    tried(dlg, L"HLS · AAC · 60 kbit/s");
                    EXPECT_TRUE(Shown(dlg, IDC_STATION_VARIANT));
                    SaveScreenshot(dlg, ja ? L"program-input-hls-variants-ja" : L"program-input-hls-variants-en");
                } else {
                    EXPECT_EQ(ComboItems(dlg, IDC_STATION_VARIANT), best + L"|60 kbit/s");
                    EXPECT_EQ(ComboChosen(dlg, IDC_STATION_VARIANT), L"60 kbit/s");
                }
                if (pass == 2) {
                    SetControlText(dlg, IDC_STATION_ADDRESS, master + L"?form=aac");
                    SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDC_STATION_ADDRESS, CBN_EDITCHANGE),
                                 reinterpret_cast<LPARAM>(GetDlgItem(dlg, IDC_STATION_ADDRESS)));
                    EXPECT_FALSE(Shown(dlg, IDC_STATION_VARIANT));
                }
                Click(dlg, IDOK);
                EXPECT_TRUE(WaitGone(dlg));
                Sleep(100);
                EXPECT_EQ(ListRows(GetDlgItem(list, IDC_PROGRAM_LIST), 4).at(0)[3],
                          pass < 2 ? master + L" (60 kbit/s)" : master + L"?form=aac");
                EXPECT_EQ(f.Saved().find("<variant>60000</variant>") != std::string::npos, pass < 2);
            }
        });
    }
}
