// Keeps the PC awake while a program needs it: a power request whose reason
// names the program and its times ("powercfg /requests" shows it) and the
// thread's ES_SYSTEM_REQUIRED; on battery with Modern Standby the display
// too (see CBatteryStandby). Released, the user's own sleep settings apply
// again. The thread execution state is per thread: scheduler thread only.
#pragma once

#include <windows.h>

class CPowerRequest {
public:
    static constexpr int kReasonSize = 200;

    CPowerRequest() : m_hRequest(nullptr), m_bScreen(false), m_Reason() {}
    ~CPowerRequest() { Release(); }
    CPowerRequest(const CPowerRequest&) = delete;
    CPowerRequest& operator=(const CPowerRequest&) = delete;

    // Holds the PC awake for reason, and its display on with screen; a new
    // reason replaces the old one. False when the display request was refused.
    bool Hold(const wchar_t* reason, bool screen);
    void Release();

private:
    void Close();

    HANDLE m_hRequest;
    bool m_bScreen;  // the display request is set on m_hRequest
    wchar_t m_Reason[kReasonSize];
};
