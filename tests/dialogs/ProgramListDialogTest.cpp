// The program list and input dialogs, driven through their real windows.
#include "dialogs/DialogFixture.h"
#include "dialogs/MainDialog.h"
#include "dialogs/ProgramInputDialog.h"
#include "recorder/RecordingLevel.h"
#include "resources/resource.h"

#include <algorithm>
#include <cstdlib>
#include <commctrl.h>
#include <gtest/gtest.h>

namespace {

struct ListFixture : DialogFixture {
    explicit ListFixture(int ui = 0) : DialogFixture(ui)
    {
        config.m_ProgramList.Insert(Program(At(2025, 1, 2, 9, 5), At(2025, 1, 2, 10, 0), 0, L"Morning"));
        config.m_ProgramList.Insert(Program(At(2031, 6, 1, 10, 15, 30), At(2031, 6, 1, 11, 0), 0, L"Later"));
    }
};

SYSTEMTIME Picker(HWND dialog, int id)
{
    SYSTEMTIME st = {};
    SendDlgItemMessageW(dialog, id, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st));
    return st;
}

// Sets the date and the time picker of the start (IDC_START_DATE) or the
// stop (IDC_STOP_DATE) as a user would, each change notified to the dialog.
void SetTime(HWND dialog, int dateId, int y, int mo, int d, int h, int mi)
{
    SYSTEMTIME st = {static_cast<WORD>(y), static_cast<WORD>(mo), 0, static_cast<WORD>(d), static_cast<WORD>(h),
                     static_cast<WORD>(mi), 0, 0};
    for (int id : {dateId, dateId + 1}) {
        SendDlgItemMessageW(dialog, id, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
        NMDATETIMECHANGE change = {{GetDlgItem(dialog, id), static_cast<UINT_PTR>(id), static_cast<UINT>(DTN_DATETIMECHANGE)},
                                   GDT_VALID, Picker(dialog, id)};
        SendMessageW(dialog, WM_NOTIFY, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&change));
    }
}

std::wstring ShownTime(HWND input, int dateId)
{
    SYSTEMTIME date = Picker(input, dateId), clock = Picker(input, dateId + 1);
    wchar_t text[32];
    swprintf(text, 32, L"%04d/%02d/%02d %02d:%02d", date.wYear, date.wMonth, date.wDay, clock.wHour, clock.wMinute);
    return text;
}

}  // namespace

TEST(ProgramListDialog, ShowsTheProgramsAndNewEditDeleteChangeListAndFile)
{
    ListFixture f;
    INT_PTR result = -1;
    f.Run([&] { result = f.OpenList(); }, L"Recording Program List", [&](HWND dlg) {
        HWND list = GetDlgItem(dlg, IDC_PROGRAM_LIST);
        std::vector<std::wstring> headers = {ColumnHeader(list, 0), ColumnHeader(list, 1), ColumnHeader(list, 2)};
        EXPECT_EQ(headers, (std::vector<std::wstring>{L"ID", L"Start Time", L"Title"}));
        auto rows = ListRows(list, 3);
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[0], (std::vector<std::wstring>{L"1", L"2025/01/02 09:05:00", L"Morning"}));
        // Every column as wide as its longest text, the header's padded.
        for (int column = 0; column < 3; ++column) {
            auto width = [&](const std::wstring& text) {
                return static_cast<int>(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text.c_str())));
            };
            int widest = width(ColumnHeader(list, column)) + 12;
            for (const auto& row : rows)
                widest = std::max(widest, width(row[column]) + 6);
            EXPECT_GE(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0), widest) << "column " << column;
        }
        SaveScreenshot(dlg, L"program-list-en");

        // New: the dialog's values become a program in its sorted place. The
        // stop follows the start until the user sets the stop.
        Click(dlg, IDC_PROGRAM_NEW);
        HWND input = WaitForDialog(f.uiThread, L"Input Recording Program");
        ASSERT_NE(input, nullptr);
        SetTime(input, IDC_START_DATE, 2030, 4, 5, 21, 0);
        EXPECT_EQ(ShownTime(input, IDC_STOP_DATE), L"2030/04/05 21:00");
        SetTime(input, IDC_STOP_DATE, 2030, 4, 5, 22, 50);
        SetTime(input, IDC_START_DATE, 2030, 4, 5, 21, 45);
        Click(input, IDC_DAY_SUNDAY + 1);
        Click(input, IDC_DAY_SUNDAY + 3);
        Click(input, IDC_DAY_SUNDAY + 3);  // twice: as it was
        SetControlText(input, IDC_TITLE, L"夜のニュース 🎵");
        Sleep(100);
        SaveScreenshot(input, L"program-input-en");
        Click(input, IDOK);
        EXPECT_TRUE(WaitGone(input));
        Sleep(100);
        rows = ListRows(list, 3);
        ASSERT_EQ(rows.size(), 3u);
        EXPECT_EQ(rows[1], (std::vector<std::wstring>{L"3", L"2030/04/05 21:45:00", L"夜のニュース 🎵"}));
        std::string saved = f.Saved();
        EXPECT_NE(saved.find("<title>夜のニュース 🎵</title>"), std::string::npos) << saved;
        EXPECT_NE(saved.find("<stop_time>2030/04/05 22:50:00</stop_time>"), std::string::npos);
        EXPECT_NE(saved.find("<weekly>2</weekly>"), std::string::npos);

        // A double click edits; OK gives the next id, the seconds dropped, the
        // new place. It now holds the new program wholly inside it: the user is warned.
        SelectRow(list, 2);
        NMHDR doubleClick = {list, IDC_PROGRAM_LIST, static_cast<UINT>(NM_DBLCLK)};
        PostMessageW(dlg, WM_NOTIFY, IDC_PROGRAM_LIST, reinterpret_cast<LPARAM>(&doubleClick));
        input = WaitForDialog(f.uiThread, L"Input Recording Program");
        ASSERT_NE(input, nullptr);
        EXPECT_EQ(ShownTime(input, IDC_START_DATE), L"2031/06/01 10:15");
        EXPECT_EQ(Picker(input, IDC_START_TIME).wSecond, 0);
        EXPECT_EQ(ControlText(input, IDC_TITLE), L"Later");
        SetTime(input, IDC_START_DATE, 2026, 1, 1, 10, 15);
        Click(input, IDOK);
        EXPECT_EQ(AnswerMessageBox(input, IDYES),
                  L"This program overlaps \"夜のニュース 🎵\" (starting 2030/04/05 21:45:00).\n"
                  L"An overlapping program waits for the one before it to end.\n"
                  L"A program wholly inside another is never recorded.\n\nSave it anyway?");
        EXPECT_TRUE(WaitGone(input));
        Sleep(100);
        rows = ListRows(list, 3);
        ASSERT_EQ(rows.size(), 3u);
        EXPECT_EQ(rows[1], (std::vector<std::wstring>{L"4", L"2026/01/01 10:15:00", L"Later"}));

        // Delete the first row; Delete and Edit with no selection only refill.
        SelectRow(list, 0);
        Click(dlg, IDC_PROGRAM_DELETE);
        Sleep(200);
        rows = ListRows(list, 3);
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[0][2], L"Later");
        EXPECT_EQ(f.Saved().find("Morning"), std::string::npos);
        Click(dlg, IDC_PROGRAM_DELETE);
        Click(dlg, IDC_PROGRAM_EDIT);
        Sleep(200);
        EXPECT_EQ(ListRows(list, 3).size(), 2u);

        // A program the scheduler is recording, or has set up, is refused, with the exact box.
        f.config.m_ProgramList.SetState(4, Recording);
        SelectRow(list, 0);
        Click(dlg, IDC_PROGRAM_EDIT);
        EXPECT_EQ(AnswerMessageBox(dlg, IDOK), L"Can't edit a running program.");
        f.config.m_ProgramList.SetState(4, ProgramState::SetUp);
        Click(dlg, IDC_PROGRAM_DELETE);
        EXPECT_EQ(AnswerMessageBox(dlg, IDOK), L"Can't delete a running program.");
        EXPECT_EQ(ListRows(list, 3).size(), 2u);

    });
    EXPECT_EQ(result, 0);
}

// The Japanese texts; a new program's stop follows its start, so OK at once
// is refused. While the first program records, the line under the list
// follows the recording's own level and time.
TEST(ProgramListDialog, JapaneseTexts)
{
    ListFixture f(1);
    f.config.m_ProgramList.SetState(1, Recording);
    RecordingLevel::s_Rate = 8000;
    RecordingLevel::s_Frames = 65 * 8000;
    RecordingLevel::s_Peak = 16384;
    RecordingLevel::s_Recording = 1;
    f.RunList([&](HWND dlg) {
        EXPECT_EQ(ColumnHeader(GetDlgItem(dlg, IDC_PROGRAM_LIST), 1), L"開始日時");
        EXPECT_EQ(ControlText(dlg, IDC_REC_STATUS), L"録音中: Morning  0:01:05  -6 dBFS");
        EXPECT_EQ(SendDlgItemMessageW(dlg, IDC_REC_LEVEL, PBM_GETPOS, 0, 0), 539);
        SaveScreenshot(dlg, L"program-list-ja");
        RecordingLevel::s_Peak = 0;
        EXPECT_TRUE(WaitUntil([&] { return SendDlgItemMessageW(dlg, IDC_REC_LEVEL, PBM_GETPOS, 0, 0) == 0; }, 1000));
        RecordingLevel::s_Recording = 0;
        EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(GetDlgItem(dlg, IDC_REC_STATUS)); }, 1000));
        Click(dlg, IDC_PROGRAM_NEW);
        HWND input = WaitForDialog(f.uiThread, L"予約入力");
        ASSERT_NE(input, nullptr);
        SaveScreenshot(input, L"program-input-ja");
        SetTime(input, IDC_START_DATE, 2030, 4, 5, 21, 45);
        SetControlText(input, IDC_TITLE, L"ニュース");
        Click(input, IDOK);
        EXPECT_EQ(AnswerMessageBox(input, IDOK), L"終了時刻は開始時刻より後にしてください。");
    });
}

// OK refuses what cannot record and asks about what will not record as the
// user may think; the dialog stays open with the values entered. A title
// over 255 characters is cut on OK.
TEST(ProgramListDialog, OkRefusesOrQuestionsImpossiblePrograms)
{
    const wchar_t* ask = L"\n\nSave it anyway?";
    const std::wstring kLong(300, L'x');
    struct Case {
        const wchar_t* title;
        int start[5], stop[5];  // year, month, day, hour, minute
        unsigned weekly;
        std::wstring box;  // empty: accepted at once
    } cases[] = {
        {L"   ", {2031, 6, 2, 10, 0}, {2031, 6, 2, 11, 0}, 0, L"Enter a title."},
        {L"Same", {2031, 6, 2, 10, 0}, {2031, 6, 2, 10, 0}, 0, L"The stop time must be later than the start time."},
        {L"Back", {2031, 6, 2, 10, 0}, {2031, 6, 1, 23, 0}, 0, L"The stop time must be later than the start time."},
        {L"Past", {2020, 6, 1, 10, 0}, {2020, 6, 1, 11, 0}, 0,
         L"The stop time has already passed: the program will be deleted without being recorded." + std::wstring(ask)},
        {L"Weekly past", {2020, 6, 1, 10, 0}, {2020, 6, 1, 11, 0}, 0x3E, L""},  // records next week
        // "Later" runs 2031/06/01 10:15:30 to 11:00.
        {L"Inside", {2031, 6, 1, 10, 20}, {2031, 6, 1, 10, 40}, 0,
         L"This program overlaps \"Later\" (starting 2031/06/01 10:15:30).\n"
         L"An overlapping program waits for the one before it to end.\n"
         L"A program wholly inside another is never recorded." + std::wstring(ask)},
        {L"Weekly across", {2031, 5, 25, 10, 50}, {2031, 5, 25, 11, 30}, 1,  // Sundays; June 1 is one
         L"This program overlaps \"Later\" (starting 2031/06/01 10:15:30).\n"
         L"An overlapping program waits for the one before it to end." + std::wstring(ask)},
        {L"Apart", {2031, 6, 1, 12, 0}, {2031, 6, 1, 13, 0}, 0, L""},
        {kLong.c_str(), {2031, 6, 1, 12, 0}, {2031, 6, 1, 13, 0}, 0, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << Narrow(c.title).substr(0, 20));
        ListFixture f;
        std::wstring answered;
        f.RunList([&](HWND dlg) {
            Click(dlg, IDC_PROGRAM_NEW);
            HWND input = WaitForDialog(f.uiThread, L"Input Recording Program");
            ASSERT_NE(input, nullptr);
            SetTime(input, IDC_START_DATE, c.start[0], c.start[1], c.start[2], c.start[3], c.start[4]);
            SetTime(input, IDC_STOP_DATE, c.stop[0], c.stop[1], c.stop[2], c.stop[3], c.stop[4]);
            for (int i = 0; i < 7; ++i)
                if ((c.weekly >> i) & 1)
                    Click(input, IDC_DAY_SUNDAY + i);
            SetControlText(input, IDC_TITLE, c.title);
            Sleep(100);
            Click(input, IDOK);
            if (!c.box.empty()) {
                answered = AnswerMessageBox(input, c.box.find(ask) != std::wstring::npos ? IDNO : IDOK);
                EXPECT_TRUE(IsWindowVisible(input));
                Click(input, IDCANCEL);
            }
            EXPECT_TRUE(WaitGone(input));
        });
        EXPECT_EQ(answered, c.box);
        ProgramItem added;
        EXPECT_EQ(f.config.m_ProgramList.FindById(3, added), c.box.empty() ? 1 : 0);
        if (c.title == kLong.c_str()) {
            EXPECT_EQ(std::wstring(added.m_Title.GetWide()), std::wstring(255, L'x'));
        }
    }
}

// The duration and the stop follow each other both ways, across midnight
// and up to 99:59; what is not a duration, a zero length and a stop before
// the start are refused; the presets tick their days. Both languages.
TEST(ProgramInputDialog, DurationAndStopFollowEachOtherAndPresetsTickTheirDays)
{
    for (int ja : {0, 1}) {
        DialogFixture f(ja);
        CProgramInputDialog input;
        input.m_StartTime = At(2030, 4, 5, 21, 0);
        input.m_StopTime = input.m_StartTime;
        input.m_bNew = 1;
        bool ok = false;
        std::wstring durationBox = ja ? L"長さは 時:分 (99:59 まで) で入力してください。例: 1:30"
                                      : L"Enter the duration as h:mm, up to 99:59; for example 1:30.";
        std::wstring orderBox = ja ? L"終了時刻は開始時刻より後にしてください。" : L"The stop time must be later than the start time.";
        f.Run([&] { ok = input.Run(nullptr, nullptr); }, ja ? L"予約入力" : L"Input Recording Program", [&](HWND dlg) {
            auto type = [&](const wchar_t* text) {
                SetControlText(dlg, IDC_DURATION, text);
                Sleep(50);
            };
            auto refused = [&](const std::wstring& box) {
                Click(dlg, IDOK);
                EXPECT_EQ(AnswerMessageBox(dlg, IDOK), box);
            };
            SetControlText(dlg, IDC_TITLE, L"Late show");
            EXPECT_EQ(ControlText(dlg, IDC_DURATION), L"0:00");
            refused(orderBox);  // zero length
            type(L"1:30");
            EXPECT_EQ(ShownTime(dlg, IDC_STOP_DATE), L"2030/04/05 22:30");
            SetTime(dlg, IDC_START_DATE, 2030, 4, 5, 23, 0);  // a new program's stop keeps following
            EXPECT_EQ(ShownTime(dlg, IDC_STOP_DATE), L"2030/04/06 00:30");
            SetTime(dlg, IDC_STOP_DATE, 2030, 4, 6, 0, 15);
            EXPECT_EQ(ControlText(dlg, IDC_DURATION), L"1:15");
            SetTime(dlg, IDC_START_DATE, 2030, 4, 5, 23, 50);  // now the stop stays
            EXPECT_EQ(ControlText(dlg, IDC_DURATION), L"0:25");
            type(L"99:59");
            EXPECT_EQ(ShownTime(dlg, IDC_STOP_DATE), L"2030/04/10 03:49");
            type(L" １：０５ ");  // as a Japanese input method types it
            EXPECT_EQ(ShownTime(dlg, IDC_STOP_DATE), L"2030/04/06 00:55");
            for (const wchar_t* wrong : {L"100:00", L"1:60", L"1:5", L"90", L"-1:00", L"1:3x"}) {
                type(wrong);
                EXPECT_EQ(ShownTime(dlg, IDC_STOP_DATE), L"2030/04/06 00:55") << Narrow(wrong);
                refused(durationBox);
            }
            SetTime(dlg, IDC_STOP_DATE, 2030, 4, 5, 23, 20);
            EXPECT_EQ(ControlText(dlg, IDC_DURATION), L"-0:30");
            refused(orderBox);
            type(L"0:45");
            for (auto preset : {std::make_pair(IDC_REPEAT_DAILY, 0x7Fu), std::make_pair(IDC_REPEAT_NONE, 0u),
                                std::make_pair(IDC_REPEAT_WEEKENDS, 0x41u), std::make_pair(IDC_REPEAT_WEEKDAYS, 0x3Eu)}) {
                Click(dlg, preset.first);
                Sleep(100);
                unsigned days = 0;
                for (int i = 0; i < 7; ++i)
                    days |= (IsDlgButtonChecked(dlg, IDC_DAY_SUNDAY + i) == BST_CHECKED ? 1u : 0u) << i;
                EXPECT_EQ(days, preset.second) << preset.first;
            }
            SaveScreenshot(dlg, ja ? L"program-input-duration-ja" : L"program-input-duration-en");
            Click(dlg, IDOK);
            EXPECT_TRUE(WaitGone(dlg));
        });
        EXPECT_TRUE(ok);
        EXPECT_EQ(Text(input.m_StopTime), L"2030/04/06 00:35:00");
        EXPECT_EQ(input.m_Weekly, 0x3Eu);
    }
}

// "Record now": an hour from this second under the default title; the
// start is the moment of OK, however long the dialog stayed open.
TEST(ProgramInputDialog, RecordNowStartsAtOkForAnHour)
{
    for (int ja : {0, 1}) {
        DialogFixture f(ja);
        CProgramInputDialog input;
        input.SetRecordNow();
        CDateTime opened = input.m_StartTime, pressed;
        f.Run([&] { input.Run(nullptr, nullptr); }, ja ? L"予約入力" : L"Input Recording Program", [&](HWND dlg) {
            EXPECT_EQ(ControlText(dlg, IDC_TITLE), ja ? L"録音" : L"Recording");
            EXPECT_EQ(ControlText(dlg, IDC_DURATION), L"1:00");
            EXPECT_EQ(Picker(dlg, IDC_START_TIME).wSecond, opened.m_Time.wSecond);
            SaveScreenshot(dlg, ja ? L"record-now-ja" : L"record-now-en");
            Sleep(1500);
            pressed.SetNow();
            Click(dlg, IDOK);
        });
        EXPECT_LE(std::abs(input.m_StartTime.Diff(pressed)), CDateTime::kSecond);
        EXPECT_GE(input.m_StartTime.Diff(opened), CDateTime::kSecond);
        EXPECT_EQ(input.m_StopTime.Diff(input.m_StartTime), 3600 * CDateTime::kSecond);
    }
}
