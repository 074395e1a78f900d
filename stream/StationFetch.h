// One whole answer of a station's server, as HLS asks for its playlists and
// segments: over WinHTTP (the user's proxy, TLS from Windows; a plain
// http:// server WinHTTP refuses is asked again over the socket), redirects
// followed but never down from HTTPS, the body read to its end within a
// bound. Used by one thread; Abort from any other ends a wait at once.
#pragma once

#include "stream/StationFailure.h"
#include "stream/StationLine.h"

#include <windows.h>
#include <string>

class CStationFetch {
public:
    static constexpr DWORD kTimeoutMs = 10000;
    static constexpr int kMaxHops = 5;

    CStationFetch() = default;
    CStationFetch(const CStationFetch&) = delete;
    CStationFetch& operator=(const CStationFetch&) = delete;

    // kFailNone with the body; kFailStatus with Status() for another answer
    // than 200 (403 or 404: an address that expired).
    StationFailure Get(const std::wstring& address, size_t maxBytes, std::string& body);
    unsigned Status() const { return m_Status; }
    // Where the answer came from, after redirects: relative addresses in it resolve against this.
    const std::wstring& Url() const { return m_Url; }
    // From any thread: the fetch waiting returns at once, and every one after.
    void Abort();
    bool Aborted() const { return m_Line.Aborted(); }

private:
    StationFailure Once(const std::wstring& address, size_t maxBytes, std::string& body, std::wstring& location);

    CStationLine m_Line;
    unsigned m_Status = 0;
    std::wstring m_Url;
};
