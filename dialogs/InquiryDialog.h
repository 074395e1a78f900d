// The modeless sleep inquiry shown after a recording while the countdown runs.
#pragma once

#include "scheduler/SleepInquiry.h"

class CInquiryDialog : public CSleepInquiry {
public:
    HWND OpenInquiry(CScheduler* scheduler, HINSTANCE instance, bool japanese) override;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
};
