#include "scheduler/PowerRequest.h"
#include "foundation/Trace.h"

void CPowerRequest::Hold(const wchar_t* reason)
{
    if (m_hRequest && lstrcmpW(m_Reason, reason) == 0)
        return;
    if (m_hRequest) {
        PowerClearRequest(m_hRequest, PowerRequestSystemRequired);
        CloseHandle(m_hRequest);
    }
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
    // Also where power requests are not known.
    SetThreadExecutionState(ES_SYSTEM_REQUIRED | ES_CONTINUOUS);
}

void CPowerRequest::Release()
{
    if (m_hRequest) {
        PowerClearRequest(m_hRequest, PowerRequestSystemRequired);
        CloseHandle(m_hRequest);
        m_hRequest = nullptr;
    }
    m_Reason[0] = L'\0';
    SetThreadExecutionState(ES_CONTINUOUS);
}
