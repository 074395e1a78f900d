// A station through WinHTTP: the user's proxy (automatic), TLS and its
// certificates from Windows, redirects followed but never from HTTPS to HTTP.
#pragma once

#include "stream/StationTransport.h"

#include <winhttp.h>

class CWinHttpTransport : public IStationTransport {
public:
    CWinHttpTransport();
    ~CWinHttpTransport() override;
    CWinHttpTransport(const CWinHttpTransport&) = delete;
    CWinHttpTransport& operator=(const CWinHttpTransport&) = delete;

    StationFailure Connect(const StationAddress& address, DWORD timeoutMs, DWORD stallMs,
                           StationAnswer& answer) override;
    std::wstring Url() const override { return m_Url; }
    StationFailure Receive(unsigned char* buffer, size_t size, size_t& got) override;
    void Abort() override;

    // A seam for the tests: refuse an answer that is no HTTP/1.x, as
    // Windows' WinHTTP refuses "ICY 200 OK" (Wine's takes it as 200).
    static bool s_bRefuseIcy;

    // A WinHTTP error as a failure the user can read.
    static StationFailure FailureOf(DWORD error);

private:
    void CloseHandles();
    std::wstring Header(const wchar_t* name) const;
    // Called on the connecting thread (synchronous WinHTTP) at each redirect.
    static void CALLBACK Redirected(HINTERNET, DWORD_PTR context, DWORD status, void* information, DWORD length);

    // The handles are closed by Abort from another thread too: under m_Lock.
    CRITICAL_SECTION m_Lock;
    HINTERNET m_hSession, m_hConnect, m_hRequest;
    volatile LONG m_Aborted;
    DWORD m_StallMs;
    std::wstring m_Url, m_Redirect;
};
