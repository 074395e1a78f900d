// The dialog base: a modal dialog's window messages arrive as calls of
// virtual operations. Every dialog object lives on its opener's stack.
#pragma once

#include "config/UiLanguage.h"

#include <windows.h>
#include <shellapi.h>

class CDialog {
public:
    CDialog() : m_hWnd(nullptr) {}
    virtual ~CDialog() {}
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    virtual INT_PTR DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    virtual void OnInitDialog(HWND hwnd) { (void)hwnd; }
    virtual void OnCommand(HWND hwnd, int id, int code);
    virtual int OnOK(HWND hwnd) { (void)hwnd; return 1; }
    virtual int OnCancel(HWND hwnd) { (void)hwnd; return 1; }
    virtual void OnNotify(HWND hwnd, WPARAM idFrom, NMHDR* header) { (void)hwnd; (void)idFrom; (void)header; }
    virtual int OnDropFiles(HDROP drop, wchar_t* buffer, int size);

    // The plain dialog procedure, forwarding to g_pDialog.
    static INT_PTR CALLBACK StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hWnd;
};

extern CDialog* g_pDialog;

// The Japanese template id, or the English one (100 higher).
inline int TemplateId(int japaneseId) { return UiIsJapanese() ? japaneseId : japaneseId + 100; }
// The instance an opener passes to DialogBoxParamW: the owner window's.
HINSTANCE OwnerInstance(HWND owner);
// The 16 x 16 application icon as the dialog's small icon.
void SetSmallAppIcon(HWND hwnd);
// A second request for a dialog that is already open: the open one (or the
// dialog it has opened in turn) comes to the front instead of a nested copy.
void BringDialogToFront(HWND dialog);
// Saves the configuration; when the file cannot be written, tells the user
// in a message box over owner (the changes stay in memory) and returns false.
bool SaveConfigOrTell(HWND owner);
