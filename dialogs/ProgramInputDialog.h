// The "Input Recording Program" dialog: start, stop, weekly days and title
// of one program. OK refuses a program that cannot record and asks before
// one that will not record as the user may think.
#pragma once

#include "dialogs/Dialog.h"
#include "foundation/DateTime.h"
#include "foundation/String.h"

class ProgramItem;
class ProgramList;

class CProgramInputDialog : public CDialog {
public:
    static constexpr int kMaxTitle = 255;

    CProgramInputDialog() : m_Id(0), m_Weekly(0), m_bNew(0), m_pList(nullptr), m_Length(0), m_bMovingStop(false) {}
    ~CProgramInputDialog() override {}

    void OnInitDialog(HWND hwnd) override;
    void OnCommand(HWND hwnd, int id, int code) override;
    int OnOK(HWND hwnd) override;
    void OnNotify(HWND hwnd, WPARAM idFrom, NMHDR* header) override;

    static INT_PTR CALLBACK InputDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // A new program from the dialog's values; null when memory is short.
    ProgramItem* CreateItem();

    unsigned m_Id;
    CDateTime m_StartTime;
    CDateTime m_StopTime;
    unsigned m_Weekly;
    CString m_Title;
    // 1 for a new program while its stop follows its start (the user has
    // not changed the stop yet).
    int m_bNew;
    // The other programs, for the overlap warning; may be null.
    ProgramList* m_pList;

private:
    // False when the user keeps the dialog open to mend the program.
    bool Check(HWND hwnd);
    void FollowStart(HWND hwnd);

    long long m_Length;  // stop minus start while the stop follows
    bool m_bMovingStop;  // the dialog itself is setting the stop pickers
};

extern CProgramInputDialog* g_pInputDialog;
