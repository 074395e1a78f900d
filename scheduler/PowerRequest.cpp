#include "scheduler/PowerRequest.h"
#include "foundation/Trace.h"

bool CPowerRequest::Hold(const wchar_t* reason, bool screen)
{
    if (!m_hRequest || lstrcmpW(m_Reason, reason) != 0) {
        Close();
        lstrcpynW(m_Reason, reason, kReasonSize);
        REASON_CONTEXT context = {};
        context.Version = POWER_REQUEST_CONTEXT_VERSION;
        context.Flags = POWER_REQUEST_CONTEXT_SIMPLE_STRING;
        context.Reason.SimpleReasonString = m_Reason;
        m_hRequest = PowerCreateRequest(&context);
        if (m_hRequest == INVALID_HANDLE_VALUE)
            m_hRequest = nullptr;
        if (!m_hRequest || !PowerSetRequest(m_hRequest, PowerRequestSystemRequired))
            Trace(L"[CPowerRequest] the power request was refused (%lu)\n", GetLastError());
    }
    bool held = true;
    if (screen && !m_bScreen) {
        m_bScreen = m_hRequest && PowerSetRequest(m_hRequest, PowerRequestDisplayRequired);
        held = m_bScreen;
        if (!held)
            Trace(L"[CPowerRequest] the display request was refused (%lu)\n", GetLastError());
    } else if (!screen && m_bScreen) {
        PowerClearRequest(m_hRequest, PowerRequestDisplayRequired);
        m_bScreen = false;
    }
    // Also where power requests are not known.
    SetThreadExecutionState(ES_SYSTEM_REQUIRED | ES_CONTINUOUS | (screen ? ES_DISPLAY_REQUIRED : 0));
    return held;
}

void CPowerRequest::Release()
{
    Close();
    m_Reason[0] = L'\0';
    SetThreadExecutionState(ES_CONTINUOUS);
}

void CPowerRequest::Close()
{
    if (!m_hRequest)
        return;
    if (m_bScreen)
        PowerClearRequest(m_hRequest, PowerRequestDisplayRequired);
    PowerClearRequest(m_hRequest, PowerRequestSystemRequired);
    CloseHandle(m_hRequest);
    m_hRequest = nullptr;
    m_bScreen = false;
}
