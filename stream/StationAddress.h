// A station's address taken apart (http:// or https:// only), a relative
// address resolved against it, and which redirects are allowed.
#pragma once

#include <string>

struct StationAddress {
    bool secure = false;
    std::wstring host;
    unsigned short port = 0;
    std::wstring path;  // from the first '/', query included; "/" when none

    // False for anything but an http:// or https:// address with a host.
    bool Parse(const std::wstring& address);
    std::wstring Text() const;
    // reference as found in a playlist or a Location header, made whole.
    static std::wstring Resolve(const std::wstring& base, const std::wstring& reference);
    // Never from HTTPS down to plain HTTP: the stream would leave TLS unasked.
    static bool RedirectAllowed(const std::wstring& from, const std::wstring& to);
};
