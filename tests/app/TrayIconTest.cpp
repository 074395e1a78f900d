// The application object in this process, the shell's and the shutdown screen's calls through its seams.
#include "app/AppMain.h"
#include "app/Recorder.h"
#include "support/DialogDriver.h"

#include <gtest/gtest.h>

namespace {

class SeamApp : public CAppMain {
public:
    using CAppMain::CAppMain;
    int m_AddFailures = 0, m_Adds = 0;  // NIM_ADD fails this often
    bool m_ThereAnyway = false, m_There = false;  // a failed NIM_ADD added the icon all the same
    std::vector<std::wstring> m_Reasons;

protected:
    BOOL NotifyIcon(DWORD message, NOTIFYICONDATAW*) override
    {
        if (message == NIM_ADD)
            m_There = ++m_Adds > m_AddFailures || m_ThereAnyway;
        if (message == NIM_DELETE)
            m_There = false;
        return message == NIM_ADD ? m_Adds > m_AddFailures : m_There;
    }
    void BlockShutdown(const wchar_t* reason) override { m_Reasons.push_back(reason ? reason : L"(none)"); }
};

}  // namespace

// The icon failing 30 times, then added by the retry timer, or an add that failed but left the icon there:
// the program runs on with both threads, the notice log says so. While a program records, the shutdown
// screen names it and a shutdown waits for the user, unless Windows forces it.
TEST(TrayIcon, NeverExitsForLackOfItAndTheShutdownScreenNamesTheRecording)
{
    struct Case { int failures; bool thereAnyway; const char* logged; } cases[] = {  // logged: in the notice log
        {30, false, "The notification icon was added at attempt 31."}, {1, true, nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failures);
        TempDir dir;
        IniConfig config(dir.File(L"marivane.ini"));
        config.m_Language = 0;
        ProgramItem* news = Program(SecondsFromNow(86400), SecondsFromNow(86400 + 1800), 0, L"News");
        config.m_ProgramList.Insert(news);
        g_pConfig = &config;
        TraceCapture trace;
        {
            SeamApp app(GetModuleHandleW(nullptr));
            app.m_AddFailures = c.failures;
            app.m_ThereAnyway = c.thereAnyway;
            g_pApp = &app;
            ASSERT_EQ(app.Create(GetModuleHandleW(nullptr)), 1);
            for (int i = 0; i < 40; ++i)
                SendMessageW(app.m_hWnd, WM_TIMER, CAppMain::kTrayTimer, 0);
            PumpMessages(300);
            EXPECT_EQ(app.m_Adds, c.thereAnyway ? 1 : 31);
            EXPECT_NE(app.m_AudioCtrl.m_ThreadId, 0u);
            EXPECT_NE(app.m_SchedThreadId, 0u);
            EXPECT_EQ(TraceCapture::Count(L"Balloon: Notification icon: The notification icon could not be added. "
                                          L"Recordings go on as scheduled; the icon is tried again.\n"),
                      c.thereAnyway ? 0 : 1);
            EXPECT_EQ(TraceCapture::Count(L"NIM_ADD failed but the notification icon is there\n"), c.thereAnyway ? 1 : 0);
            EXPECT_TRUE(!c.logged || ReadBytes(dir.File(L"marivane.log")).find(c.logged) != std::string::npos);

            config.m_ProgramList.SetState(news->m_Id, Recording);
            SendMessageW(app.m_hWnd, WM_CAPTURE_START, 0, 0);
            EXPECT_EQ(SendMessageW(app.m_hWnd, WM_QUERYENDSESSION, 0, 0), FALSE);
            EXPECT_EQ(SendMessageW(app.m_hWnd, WM_QUERYENDSESSION, 0, ENDSESSION_CRITICAL), TRUE);
            SendMessageW(app.m_hWnd, WM_CAPTURE_CLOSE, 0, 0);
            EXPECT_EQ(SendMessageW(app.m_hWnd, WM_QUERYENDSESSION, 0, 0), TRUE);
            EXPECT_EQ(app.m_Reasons, (std::vector<std::wstring>{L"Recording News until " + Text(news->m_StopTime).substr(11, 5), L"(none)"}));
            app.ExitInstance();
            DestroyWindow(app.m_hWnd);
            // Its WM_DESTROY posted a quit, which every later PeekMessage of this thread would return first.
            MSG quit;
            PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
            UnregisterClassW(CAppMain::kWindowClass, GetModuleHandleW(nullptr));
            g_pApp = nullptr;
        }
        g_pConfig = nullptr;
    }
}
