// The "Recording Program List" dialog: lists the programs with their
// sources and adds, edits and deletes them; programs the scheduler is
// handling are protected.
#pragma once

#include "dialogs/Dialog.h"
#include "dialogs/SourceChoices.h"

class ProgramList;
class CProgramInputDialog;

class CMainDialog : public CDialog {
public:
    explicit CMainDialog(ProgramList* list) : m_pList(list) {}

    void OnInitDialog(HWND hwnd) override;
    void OnCommand(HWND hwnd, int id, int code) override;
    int OnCancel(HWND hwnd) override;
    void OnNotify(HWND hwnd, WPARAM idFrom, NMHDR* header) override;
    // WM_DPICHANGED moves the dialog to a monitor of another scale: the
    // columns, in pixels, are sized again.
    INT_PTR DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;
    // The columns' widths for the list's DPI.
    static void SizeColumns(HWND view);
    // While a program records: its title, the time recorded and its level.
    void ShowRecording(HWND hwnd);
    static constexpr UINT_PTR kLevelTimer = 1;

    static INT_PTR CALLBACK ListDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    void FillList(HWND hwnd);
    unsigned GetSelectedId(HWND hwnd);
    bool IsEditable(unsigned id);
    void OnNew(HWND hwnd);
    void OnEdit(HWND hwnd);
    void OnDelete(HWND hwnd);

    ProgramList* m_pList;

private:
    CSourceChoices m_Choices;
    void SaveConfig(HWND hwnd);
    void Refuse(HWND hwnd, bool edit);
};

extern CMainDialog* g_pMainDialog;
