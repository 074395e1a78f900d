// The modeless sleep inquiry shown after a recording while the countdown runs.
#pragma once

#include <windows.h>

INT_PTR CALLBACK InquiryDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
