// The way through to a station's server, as a connection or a fetch holds
// it: WinHTTP (the user's proxy, TLS from Windows), or, for a plain http://
// server WinHTTP refuses (Windows' refuses a status line "ICY 200 OK"), a
// socket of its own. One thread dials and reads; Abort from any other ends
// a wait at once, and every dial after it.
#pragma once

#include "stream/StationTransport.h"

#include <windows.h>
#include <memory>
#include <string>

class CStationLine {
public:
    CStationLine();
    ~CStationLine();
    CStationLine(const CStationLine&) = delete;
    CStationLine& operator=(const CStationLine&) = delete;

    // Hangs up the line before and connects, the answer's headers read.
    // socketFirst: plain http:// over the socket at once (a seam for the
    // tests, as Wine's WinHTTP takes "ICY 200 OK" and never falls back).
    StationFailure Dial(const StationAddress& address, DWORD connectMs, DWORD stallMs, bool socketFirst,
                        StationAnswer& answer);
    // The dialling thread's: the transport dialled (null before and after).
    IStationTransport* Transport() const { return m_pTransport.get(); }
    bool Socket() const { return m_bSocket; }
    std::wstring Url() const { return m_pTransport ? m_pTransport->Url() : std::wstring(); }
    void HangUp();
    void Abort();
    bool Aborted() const { return m_Aborted != 0; }

private:
    CRITICAL_SECTION m_Lock;  // m_pTransport's pointer against Abort
    std::unique_ptr<IStationTransport> m_pTransport;
    volatile LONG m_Aborted;
    bool m_bSocket;
};
