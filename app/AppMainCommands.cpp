// The main window's recorder commands: record now, stop the recording, and
// what follows a recording's end.
#include "afterwards/AfterRecording.h"
#include "app/AppMain.h"
#include "capture/BaseCapture.h"
#include "config/AppParameter.h"
#include "dialogs/MainDialog.h"
#include "dialogs/ProgramInputDialog.h"
#include "files/FilePrefix.h"
#include "foundation/Trace.h"
#include "programs/ProgramList.h"

#include <cwchar>

void CAppMain::RecordNow()
{
    m_InquiryCountdown = 0;
    if (g_pInputDialog) {
        BringDialogToFront(g_pInputDialog->m_hWnd);
        return;
    }
    if (!m_pProgramList)
        return;
    CProgramInputDialog input;
    input.SetRecordNow();
    HWND owner = g_pMainDialog && g_pMainDialog->m_hWnd ? g_pMainDialog->m_hWnd : m_hWnd;
    if (!input.RunToInsert(owner, m_pProgramList))
        return;
    // Set up and started in one pass, now: no lead-in.
    WakeNow();
    wchar_t start[CDateTime::kTextSize];
    Trace(L"Record now from %s\n", input.m_StartTime.Format(start));
    SaveConfigOrTell(owner);
    if (g_pMainDialog && g_pMainDialog->m_hWnd)
        g_pMainDialog->FillList(g_pMainDialog->m_hWnd);
    UpdateTrayTip();
}

bool CAppMain::CurrentRecording(ProgramItem& program) const
{
    return m_pProgramList && m_pProgramList->GetAt(0, program) && program.m_State == Recording;
}

void CAppMain::StopRecordingNow(const ProgramItem* shown)
{
    // The frames end at the moment of the command, however late the scheduler acts on it.
    long long at = CBaseCapture::Now();
    ProgramItem head;
    if (!shown) {
        if (!CurrentRecording(head)) {
            Trace(L"Stop recording: nothing records\n");
            return;
        }
        shown = &head;
    }
    RequestStop(shown->m_Id, shown->m_StartTime.m_Ticks, at);
}

void CAppMain::OnRecordingFiles(const wchar_t* files)
{
    if (!files || !*files || !g_pConfig)
        return;
    // Its old recordings are this program's, whatever becomes of the program.
    RecordingPath first(files);
    if (!first.stamp.empty() && g_pConfig->AddRecordedTitle(first.title.c_str()) && !g_pConfig->Save())
        Trace(L"The recorded title %s could not be saved\n", first.title.c_str());
    CString command;
    g_pConfig->GetSetting(g_pConfig->m_AfterCommand, command);
    if (!command.IsBlank())
        CAfterRecording::Run(command.GetWide(), files, m_hWnd, UiIsJapanese());
    m_Cleaner.Request();
}
