#include "stream/StationAddress.h"

#include <cwctype>

namespace {

bool StartsNoCase(const std::wstring& text, const wchar_t* prefix)
{
    size_t i = 0;
    for (; prefix[i]; ++i)
        if (i >= text.size() || towlower(text[i]) != prefix[i])
            return false;
    return true;
}

std::wstring Trim(const std::wstring& text)
{
    size_t start = text.find_first_not_of(L" \t\r\n");
    if (start == std::wstring::npos)
        return std::wstring();
    return text.substr(start, text.find_last_not_of(L" \t\r\n") - start + 1);
}

}  // namespace

bool StationAddress::Parse(const std::wstring& typed)
{
    std::wstring address = Trim(typed);
    size_t rest;
    if (StartsNoCase(address, L"http://")) {
        secure = false;
        rest = 7;
    } else if (StartsNoCase(address, L"https://")) {
        secure = true;
        rest = 8;
    } else {
        return false;
    }
    size_t slash = address.find_first_of(L"/?#", rest);
    std::wstring authority = address.substr(rest, slash == std::wstring::npos ? std::wstring::npos : slash - rest);
    size_t at = authority.rfind(L'@');  // user:password@ is not sent
    if (at != std::wstring::npos)
        authority.erase(0, at + 1);
    port = secure ? 443 : 80;
    size_t colon = authority.rfind(L':');
    if (colon != std::wstring::npos && authority.find(L']', colon) == std::wstring::npos) {
        std::wstring digits = authority.substr(colon + 1);
        authority.erase(colon);
        if (!digits.empty()) {
            unsigned long value = 0;
            for (wchar_t c : digits) {
                if (c < L'0' || c > L'9' || (value = value * 10 + (c - L'0')) > 65535)
                    return false;
            }
            if (value == 0)
                return false;
            port = static_cast<unsigned short>(value);
        }
    }
    if (authority.size() > 2 && authority.front() == L'[' && authority.back() == L']')
        authority = authority.substr(1, authority.size() - 2);
    if (authority.empty() || authority.find_first_of(L" \t/\\") != std::wstring::npos)
        return false;
    host = authority;
    path = slash == std::wstring::npos ? L"/" : address.substr(slash);
    size_t hash = path.find(L'#');
    if (hash != std::wstring::npos)
        path.erase(hash);
    if (path.empty() || path[0] != L'/')
        path.insert(0, L"/");
    return true;
}

std::wstring StationAddress::Text() const
{
    std::wstring text = secure ? L"https://" : L"http://";
    text += host.find(L':') != std::wstring::npos ? L"[" + host + L"]" : host;
    if (port != (secure ? 443 : 80))
        text += L":" + std::to_wstring(port);
    return text + path;
}

std::wstring StationAddress::Resolve(const std::wstring& base, const std::wstring& reference)
{
    std::wstring ref = Trim(reference);
    StationAddress whole;
    if (whole.Parse(ref) || ref.find(L"://") != std::wstring::npos)
        return ref;
    StationAddress from;
    if (!from.Parse(base))
        return ref;
    if (ref.compare(0, 2, L"//") == 0)
        return (from.secure ? L"https:" : L"http:") + ref;
    if (!ref.empty() && ref[0] == L'/') {
        from.path = ref;
    } else {
        std::wstring dir = from.path.substr(0, from.path.find(L'?'));
        dir.erase(dir.rfind(L'/') + 1);
        from.path = dir + ref;
        // "./" and "../" steps, as a browser takes them.
        for (size_t at; (at = from.path.find(L"/./")) != std::wstring::npos;)
            from.path.erase(at, 2);
        for (size_t at; (at = from.path.find(L"/../")) != std::wstring::npos;) {
            size_t up = at == 0 ? 0 : from.path.rfind(L'/', at - 1);
            from.path.erase(up, at + 3 - up);
        }
    }
    return from.Text();
}

bool StationAddress::RedirectAllowed(const std::wstring& from, const std::wstring& to)
{
    StationAddress a, b;
    if (!a.Parse(from) || !b.Parse(to))
        return false;
    return !a.secure || b.secure;
}
