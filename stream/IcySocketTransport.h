// A plain http:// station over a socket of its own, for old servers that
// answer "ICY 200 OK", which Windows' WinHTTP refuses. HTTP/1.0, so the body
// is the stream as it comes (no chunks); no proxy (the answer could not
// pass one anyway) and no TLS.
#pragma once

#include "stream/StationTransport.h"

#include <winsock2.h>
#include <string>

class CIcySocketTransport : public IStationTransport {
public:
    // Headers longer than this are no station's.
    static constexpr size_t kMaxHeader = 16384;

    CIcySocketTransport();
    ~CIcySocketTransport() override;
    CIcySocketTransport(const CIcySocketTransport&) = delete;
    CIcySocketTransport& operator=(const CIcySocketTransport&) = delete;

    StationFailure Connect(const StationAddress& address, DWORD timeoutMs, DWORD stallMs,
                           StationAnswer& answer) override;
    std::wstring Url() const override { return m_Url; }
    StationFailure Receive(unsigned char* buffer, size_t size, size_t& got) override;
    void Abort() override;

private:
    void CloseSocket();
    // Waits until the socket can be read (or written): 1 ready, 0 timed out, -1 failed.
    int Wait(DWORD ms, bool write);

    bool m_bStarted;  // WSAStartup succeeded
    // The owner thread's alone; Abort only sets m_Aborted.
    SOCKET m_Socket;
    volatile LONG m_Aborted;
    DWORD m_StallMs;
    std::string m_Body;  // body bytes that came with the headers
    std::wstring m_Url;
};
