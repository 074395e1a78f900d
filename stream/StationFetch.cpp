#include "stream/StationFetch.h"

#include "foundation/Trace.h"
#include "stream/IcySocketTransport.h"
#include "stream/StationAddress.h"
#include "stream/StationConnection.h"
#include "stream/WinHttpTransport.h"

#include <new>

CStationFetch::CStationFetch() : m_Aborted(0), m_Status(0)
{
    InitializeCriticalSection(&m_Lock);
}

CStationFetch::~CStationFetch()
{
    EnterCriticalSection(&m_Lock);
    m_pTransport.reset();
    LeaveCriticalSection(&m_Lock);
    DeleteCriticalSection(&m_Lock);
}

void CStationFetch::Abort()
{
    EnterCriticalSection(&m_Lock);
    InterlockedExchange(&m_Aborted, 1);
    if (m_pTransport)
        m_pTransport->Abort();
    LeaveCriticalSection(&m_Lock);
}

StationFailure CStationFetch::Once(const std::wstring& address, bool socket, size_t maxBytes, std::string& body,
                                   std::wstring& location)
{
    StationAddress parsed;
    if (!parsed.Parse(address))
        return kFailBadAddress;
    IStationTransport* transport = socket ? static_cast<IStationTransport*>(new (std::nothrow) CIcySocketTransport())
                                          : new (std::nothrow) CWinHttpTransport();
    if (!transport)
        return kFailConnect;
    EnterCriticalSection(&m_Lock);
    m_pTransport.reset(transport);
    if (m_Aborted)
        transport->Abort();
    LeaveCriticalSection(&m_Lock);
    StationAnswer answer;
    StationFailure failure = transport->Connect(parsed, kTimeoutMs, kTimeoutMs, answer);
    m_Url = transport->Url();
    m_Status = answer.status;
    location = answer.location;
    if (failure != kFailNone)
        return failure;
    if (answer.status != 200)
        return kFailStatus;
    unsigned char piece[16384];
    for (;;) {
        size_t got = 0;
        failure = transport->Receive(piece, sizeof(piece), got);
        if (failure == kFailEnded)
            return kFailNone;
        if (failure != kFailNone)
            return failure;
        if (body.size() + got > maxBytes)
            return kFailUnknownFormat;  // no playlist or segment is this large
        body.append(reinterpret_cast<const char*>(piece), got);
    }
}

StationFailure CStationFetch::Get(const std::wstring& address, size_t maxBytes, std::string& body)
{
    std::wstring at = address;
    StationFailure failure = kFailTooManyHops;
    for (int hop = 0; hop <= kMaxHops; ++hop) {
        body.clear();
        std::wstring location;
        StationAddress parsed;
        bool secure = parsed.Parse(at) && parsed.secure;
        failure = Once(at, !secure && CStationConnection::s_bSocketAlways, maxBytes, body, location);
        if (failure == kFailBadAnswer && !secure && !CStationConnection::s_bSocketAlways)
            failure = Once(at, true, maxBytes, body, location);
        if (m_Aborted)
            return kFailCancelled;
        // Only the socket path gets here; WinHTTP follows them itself.
        if (failure == kFailStatus && m_Status >= 300 && m_Status < 400 && !location.empty()) {
            std::wstring next = StationAddress::Resolve(m_Url, location);
            if (!StationAddress::RedirectAllowed(m_Url, next))
                return kFailInsecureRedirect;
            at = next;
            continue;
        }
        break;
    }
    EnterCriticalSection(&m_Lock);
    std::unique_ptr<IStationTransport> done(m_pTransport.release());
    LeaveCriticalSection(&m_Lock);
    if (failure != kFailNone)
        Trace(L"[CStationFetch] %s: %s\n", at.c_str(), StationFailureText(failure, m_Status, false).c_str());
    return failure;
}
