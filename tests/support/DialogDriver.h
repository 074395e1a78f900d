// Drives real dialogs from a second thread while the test's own thread runs
// them modally: find a dialog by caption, click, type, read controls, and
// take a screenshot of it.
#pragma once

#include <windows.h>
#include <functional>
#include <string>
#include <vector>

// The thread's visible windows that are wanted, or that have that caption.
std::vector<HWND> VisibleWindows(DWORD threadId, const std::function<bool(HWND)>& wanted);
std::vector<HWND> VisibleWindows(DWORD threadId, const std::wstring& caption);
// The visible dialog (or window) with that caption owned by the thread, or null after timeoutMs.
HWND WaitForDialog(DWORD threadId, const std::wstring& caption, DWORD timeoutMs = 5000);
// The popup menu a thread shows; null when none shows in time.
HWND WaitForMenu(DWORD threadId, DWORD timeoutMs = 5000);
// Waits until the window is gone; false after timeoutMs.
bool WaitGone(HWND hwnd, DWORD timeoutMs = 5000);
// Dispatches this thread's messages for ms, each first offered to handled.
void PumpMessages(DWORD ms, bool (*handled)(MSG*) = nullptr);
std::wstring WindowText(HWND hwnd);
// Posted, so a click that opens a nested modal dialog does not block the driver.
void Click(HWND dialog, int id);
std::wstring ControlText(HWND dialog, int id);
void SetControlText(HWND dialog, int id, const std::wstring& text);
// A combo box's chosen item, and all its items with "|" between them.
std::wstring ComboChosen(HWND dialog, int id);
std::wstring ComboItems(HWND dialog, int id);
// Rows of a list view of this process as text, one vector of columns per row.
std::vector<std::vector<std::wstring>> ListRows(HWND list, int columns);
std::wstring ColumnHeader(HWND list, int column);
// Turns a property sheet to a page and returns that page.
HWND Page(HWND sheet, int index);
void SelectRow(HWND list, int row);
// Answers the message box the window opens with that button and returns its
// text, or "(no message box)"; with a screenshot name, saves it first.
std::wstring AnswerMessageBox(HWND owner, int button, DWORD timeoutMs = 5000, const wchar_t* screenshot = nullptr);
// Saves the window as it is on screen to build\screenshots\<name>.bmp
// (scripts/test turns them into PNG).
bool SaveScreenshot(HWND window, const std::wstring& name);
