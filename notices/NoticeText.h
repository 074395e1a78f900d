// What each notice says, in both languages.
#pragma once

#include <windows.h>

// The balloon text of a notice about program (its title); detail is the
// notice's own text block where it carries one. Returns text.
const wchar_t* NoticeText(WPARAM notice, const wchar_t* detail, bool japanese, const wchar_t* program, wchar_t* text,
                          int count);
// Notices about the settings or several programs rather than the one at
// the head of the list: their balloon is titled by the notice itself.
const wchar_t* NoticeTitle(WPARAM notice, bool japanese);
// Notices that only go to the log: nothing for the user to act on.
bool NoticeLogOnly(WPARAM notice);
