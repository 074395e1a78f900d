// The program list and input dialogs, driven through their real windows.
#include "dialogs/DialogFixture.h"
#include "dialogs/MainDialog.h"
#include "resources/resource.h"

#include <commctrl.h>
#include <gtest/gtest.h>

namespace {

struct ListFixture : DialogFixture {
    explicit ListFixture(int ui = 0) : DialogFixture(ui)
    {
        config.m_ProgramList.Insert(Program(At(2025, 1, 2, 9, 5), At(2025, 1, 2, 10, 0), 0, L"Morning"));
        config.m_ProgramList.Insert(Program(At(2031, 6, 1, 10, 15, 30), At(2031, 6, 1, 11, 0), 0, L"Later"));
    }
    INT_PTR OpenList()
    {
        CMainDialog dialog(&config.m_ProgramList);
        g_pMainDialog = &dialog;
        INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(TemplateId(IDD_PROGRAMS_JA)),
                                         nullptr, CMainDialog::ListDialogProc, 0);
        EXPECT_EQ(g_pMainDialog, nullptr);  // cleared by the dialog itself
        g_pMainDialog = nullptr;
        return result;
    }
    HWND List(HWND dialog) { return GetDlgItem(dialog, IDC_PROGRAM_LIST); }
};

SYSTEMTIME Picker(HWND dialog, int id)
{
    SYSTEMTIME st = {};
    SendDlgItemMessageW(dialog, id, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st));
    return st;
}

void SetPicker(HWND dialog, int id, WORD y, WORD mo, WORD d, WORD h, WORD mi)
{
    SYSTEMTIME st = {};
    st.wYear = y;
    st.wMonth = mo;
    st.wDay = d;
    st.wHour = h;
    st.wMinute = mi;
    SendDlgItemMessageW(dialog, id, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
}

// Answers the refusal box with that caption and returns its text.
std::wstring AnswerRefusal(DWORD thread, const wchar_t* caption)
{
    HWND box = WaitForDialog(thread, caption);
    if (!box)
        return L"(no message box)";
    std::wstring text = MessageBoxText(box);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    WaitGone(box);
    return text;
}

}  // namespace

TEST(ProgramListDialog, ShowsTheProgramsAndNewEditDeleteChangeListAndFile)
{
    ListFixture f;
    INT_PTR result = -1;
    f.Run([&] { result = f.OpenList(); }, [&] {
        HWND dlg = WaitForDialog(f.uiThread, L"Recording Program List");
        ASSERT_NE(dlg, nullptr);
        HWND list = f.List(dlg);
        EXPECT_EQ(ColumnHeader(list, 0), L"ID");
        EXPECT_EQ(ColumnHeader(list, 1), L"Start Time");
        EXPECT_EQ(ColumnHeader(list, 2), L"Title");
        auto rows = ListRows(list, 3);
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[0], (std::vector<std::wstring>{L"1", L"2025/01/02 09:05:00", L"Morning"}));
        SaveScreenshot(dlg, L"program-list-en");

        // New: the dialog's values become a program in its sorted place.
        Click(dlg, IDC_PROGRAM_NEW);
        HWND input = WaitForDialog(f.uiThread, L"Input Recording Program");
        ASSERT_NE(input, nullptr);
        SetPicker(input, IDC_START_DATE, 2030, 4, 5, 0, 0);
        SetPicker(input, IDC_START_TIME, 2000, 1, 1, 21, 45);
        SetPicker(input, IDC_STOP_DATE, 2030, 4, 5, 0, 0);
        SetPicker(input, IDC_STOP_TIME, 2000, 1, 1, 22, 50);
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

        // Edit and Cancel: nothing changes. The seconds show as 0.
        SelectRow(list, 2);
        Click(dlg, IDC_PROGRAM_EDIT);
        input = WaitForDialog(f.uiThread, L"Input Recording Program");
        ASSERT_NE(input, nullptr);
        SYSTEMTIME shown = Picker(input, IDC_START_TIME);
        EXPECT_EQ(shown.wHour, 10);
        EXPECT_EQ(shown.wMinute, 15);
        EXPECT_EQ(shown.wSecond, 0);
        EXPECT_EQ(ControlText(input, IDC_TITLE), L"Later");
        Click(input, IDCANCEL);
        EXPECT_TRUE(WaitGone(input));
        Sleep(100);
        EXPECT_EQ(ListRows(list, 3)[2][0], L"2");

        // Edit and OK: the next id, the seconds dropped, the new place.
        SelectRow(list, 2);
        Click(dlg, IDC_PROGRAM_EDIT);
        input = WaitForDialog(f.uiThread, L"Input Recording Program");
        ASSERT_NE(input, nullptr);
        SetPicker(input, IDC_START_DATE, 2026, 1, 1, 0, 0);
        Click(input, IDOK);
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

        // A program the scheduler is recording is refused, with the exact box.
        f.config.m_ProgramList.SetState(4, Recording);
        SelectRow(list, 0);
        Click(dlg, IDC_PROGRAM_EDIT);
        EXPECT_EQ(AnswerRefusal(f.uiThread, L"Edit Program"), L"Can't edit a running program.");
        Click(dlg, IDC_PROGRAM_DELETE);
        EXPECT_EQ(AnswerRefusal(f.uiThread, L"Delete Program"), L"Can't delete a running program.");
        EXPECT_EQ(ListRows(list, 3).size(), 2u);

        Click(dlg, IDCANCEL);
        EXPECT_TRUE(WaitGone(dlg));
    });
    EXPECT_EQ(result, 0);
}

TEST(ProgramListDialog, NewWithoutTouchingAnythingAndJapaneseTexts)
{
    ListFixture f(1);
    f.Run([&] { f.OpenList(); }, [&] {
        HWND dlg = WaitForDialog(f.uiThread, L"予約リスト");
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(ColumnHeader(f.List(dlg), 1), L"開始日時");
        EXPECT_EQ(ControlText(dlg, IDC_PROGRAM_NEW), L"新規(&N)");
        SaveScreenshot(dlg, L"program-list-ja");
        Click(dlg, IDC_PROGRAM_NEW);
        HWND input = WaitForDialog(f.uiThread, L"予約入力");
        ASSERT_NE(input, nullptr);
        EXPECT_EQ(ControlText(input, IDC_DAY_SUNDAY), L"日");
        SaveScreenshot(input, L"program-input-ja");
        Click(input, IDOK);
        EXPECT_TRUE(WaitGone(input));
        Sleep(100);
        f.config.m_ProgramList.SetState(1, ProgramState::SetUp);
        SelectRow(f.List(dlg), 0);
        Click(dlg, IDC_PROGRAM_DELETE);
        EXPECT_EQ(AnswerRefusal(f.uiThread, L"予約の削除"), L"実行中の予約は削除できません。");
        Click(dlg, IDCANCEL);
        WaitGone(dlg);
    });
    // New then OK at once: start and stop at the current minute, empty title.
    ProgramItem added;
    ASSERT_TRUE(f.config.m_ProgramList.FindById(3, added));
    CDateTime now;
    now.SetNow();
    EXPECT_EQ(added.m_StartTime.m_Time.wSecond, 0);
    EXPECT_EQ(added.m_StartTime.m_Ticks, added.m_StopTime.m_Ticks);
    EXPECT_LT(now.Diff(added.m_StartTime), 120 * CDateTime::kSecond);
    EXPECT_TRUE(added.m_Title.IsEmpty());
}

TEST(ProgramListDialog, OverLongTitleIsCutTo255OnOk)
{
    DialogFixture f;
    std::wstring longTitle(300, L'x');
    f.config.m_ProgramList.Insert(Program(At(2031, 1, 1, 1, 0), At(2031, 1, 1, 2, 0), 0, longTitle.c_str()));
    f.Run([&] {
        CMainDialog dialog(&f.config.m_ProgramList);
        g_pMainDialog = &dialog;
        DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PROGRAMS_EN), nullptr,
                        CMainDialog::ListDialogProc, 0);
        g_pMainDialog = nullptr;
    }, [&] {
        HWND dlg = WaitForDialog(f.uiThread, L"Recording Program List");
        ASSERT_NE(dlg, nullptr);
        SelectRow(GetDlgItem(dlg, IDC_PROGRAM_LIST), 0);
        // A double click on the list edits the selected row.
        NMHDR header = {GetDlgItem(dlg, IDC_PROGRAM_LIST), IDC_PROGRAM_LIST, static_cast<UINT>(NM_DBLCLK)};
        PostMessageW(dlg, WM_NOTIFY, IDC_PROGRAM_LIST, reinterpret_cast<LPARAM>(&header));
        HWND input = WaitForDialog(f.uiThread, L"Input Recording Program");
        ASSERT_NE(input, nullptr);
        EXPECT_EQ(ControlText(input, IDC_TITLE).size(), 300u);
        Click(input, IDOK);
        WaitGone(input);
        Click(dlg, IDCANCEL);
        WaitGone(dlg);
    });
    ProgramItem edited;
    ASSERT_TRUE(f.config.m_ProgramList.GetAt(0, edited));
    EXPECT_EQ(std::wstring(edited.m_Title.GetWide()), std::wstring(255, L'x'));
}
