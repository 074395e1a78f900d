// The window that asks, after a recording, whether the PC may go to sleep.
// The scheduler opens it through this interface; the dialogs make it.
#pragma once

#include <windows.h>

class CScheduler;

class CSleepInquiry {
public:
    virtual ~CSleepInquiry() {}
    // Opens the modeless inquiry for scheduler on the UI thread; its window,
    // or null when it cannot be made. Its Cancel ends the countdown, and
    // whatever closes it clears the scheduler's m_hInquiryDlg.
    virtual HWND OpenInquiry(CScheduler* scheduler, HINSTANCE instance, bool japanese) = 0;
};
