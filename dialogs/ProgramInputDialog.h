// The "Input Recording Program" dialog: start, stop, weekly days and title
// of one program. It accepts whatever is entered.
#pragma once

#include "dialogs/Dialog.h"
#include "foundation/DateTime.h"
#include "foundation/String.h"

class ProgramItem;

class CProgramInputDialog : public CDialog {
public:
    static constexpr int kMaxTitle = 255;

    CProgramInputDialog() : m_Id(0), m_Weekly(0), m_bNew(0) {}
    ~CProgramInputDialog() override {}

    void OnInitDialog(HWND hwnd) override;
    void OnCommand(HWND hwnd, int id, int code) override;
    int OnOK(HWND hwnd) override;

    static INT_PTR CALLBACK InputDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // A new program from the dialog's values; null when memory is short.
    ProgramItem* CreateItem();

    unsigned m_Id;
    CDateTime m_StartTime;
    CDateTime m_StopTime;
    unsigned m_Weekly;
    CString m_Title;
    int m_bNew;
};

extern CProgramInputDialog* g_pInputDialog;
