#include "stream/StationFetch.h"

#include "foundation/Trace.h"
#include "stream/StationAddress.h"
#include "stream/StationConnection.h"

void CStationFetch::Abort()
{
    m_Line.Abort();
}

StationFailure CStationFetch::Once(const std::wstring& address, size_t maxBytes, std::string& body,
                                   std::wstring& location)
{
    StationAddress parsed;
    if (!parsed.Parse(address))
        return kFailBadAddress;
    StationAnswer answer;
    StationFailure failure = m_Line.Dial(parsed, kTimeoutMs, kTimeoutMs, CStationConnection::s_bSocketAlways, answer);
    m_Url = m_Line.Url();
    m_Status = answer.status;
    location = answer.location;
    if (failure != kFailNone)
        return failure;
    if (answer.status != 200)
        return kFailStatus;
    unsigned char piece[16384];
    for (;;) {
        size_t got = 0;
        failure = m_Line.Transport()->Receive(piece, sizeof(piece), got);
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
    m_Url.clear();
    m_Status = 0;
    StationFailure failure = kFailTooManyHops;
    for (int hop = 0; hop <= kMaxHops; ++hop) {
        body.clear();
        std::wstring location;
        failure = Once(at, maxBytes, body, location);
        if (m_Line.Aborted())
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
    m_Line.HangUp();
    if (failure != kFailNone)
        Trace(L"[CStationFetch] %s: %s\n", at.c_str(), StationFailureText(failure, m_Status, false).c_str());
    return failure;
}
