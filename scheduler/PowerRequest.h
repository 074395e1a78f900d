// Keeps the PC awake while a program needs it: a power request whose reason
// names the program and its times ("powercfg /requests" shows it) and the
// thread's ES_SYSTEM_REQUIRED. Released, the user's own sleep settings apply
// again. The thread execution state is per thread: scheduler thread only.
#pragma once

#include <windows.h>

class CPowerRequest {
public:
    static constexpr int kReasonSize = 200;

    CPowerRequest() : m_hRequest(nullptr), m_Reason() {}
    ~CPowerRequest() { Release(); }
    CPowerRequest(const CPowerRequest&) = delete;
    CPowerRequest& operator=(const CPowerRequest&) = delete;

    // Holds the PC awake for reason; a new reason replaces the old one.
    void Hold(const wchar_t* reason);
    void Release();

private:
    HANDLE m_hRequest;
    wchar_t m_Reason[kReasonSize];
};
