#include "stream/StationLine.h"

#include "foundation/Trace.h"
#include "stream/IcySocketTransport.h"
#include "stream/WinHttpTransport.h"

#include <new>

CStationLine::CStationLine() : m_Aborted(0), m_bSocket(false)
{
    InitializeCriticalSection(&m_Lock);
}

CStationLine::~CStationLine()
{
    HangUp();
    DeleteCriticalSection(&m_Lock);
}

void CStationLine::HangUp()
{
    EnterCriticalSection(&m_Lock);
    std::unique_ptr<IStationTransport> old(m_pTransport.release());
    LeaveCriticalSection(&m_Lock);
}

void CStationLine::Abort()
{
    EnterCriticalSection(&m_Lock);
    InterlockedExchange(&m_Aborted, 1);
    if (m_pTransport)
        m_pTransport->Abort();
    LeaveCriticalSection(&m_Lock);
}

StationFailure CStationLine::Dial(const StationAddress& address, DWORD connectMs, DWORD stallMs, bool socketFirst,
                                  StationAnswer& answer)
{
    StationFailure failure = kFailBadAnswer;
    for (int attempt = 0; attempt < 2; ++attempt) {
        HangUp();
        bool socket = !address.secure && (socketFirst || attempt == 1);
        IStationTransport* transport = socket ? static_cast<IStationTransport*>(new (std::nothrow) CIcySocketTransport())
                                              : new (std::nothrow) CWinHttpTransport();
        if (!transport)
            return kFailConnect;
        EnterCriticalSection(&m_Lock);
        m_pTransport.reset(transport);
        m_bSocket = socket;
        if (m_Aborted)
            transport->Abort();
        LeaveCriticalSection(&m_Lock);
        answer = StationAnswer();
        failure = transport->Connect(address, connectMs, stallMs, answer);
        if (m_Aborted)
            return kFailCancelled;
        if (failure != kFailBadAnswer || socket || address.secure)
            return failure;
        Trace(L"[CStationLine] %s: WinHTTP refused the answer, asking over a socket\n", transport->Url().c_str());
    }
    return failure;
}
