#include "stream/Playlist.h"

#include "foundation/TitleText.h"
#include "stream/StationAddress.h"

#include <cwctype>

std::wstring CPlaylist::FirstAddress(const char* text, size_t size, bool pls, const std::wstring& base)
{
    if (size > kMaxBytes)
        size = kMaxBytes;
    if (size >= 3 && static_cast<unsigned char>(text[0]) == 0xEF && static_cast<unsigned char>(text[1]) == 0xBB &&
        static_cast<unsigned char>(text[2]) == 0xBF) {
        text += 3;
        size -= 3;
    }
    std::wstring all = TitleText(text, size), best;
    unsigned long bestNumber = 0;
    for (size_t at = 0; at < all.size();) {
        size_t end = all.find_first_of(L"\r\n", at);
        if (end == std::wstring::npos)
            end = all.size();
        std::wstring line = all.substr(at, end - at);
        at = end + 1;
        size_t first = line.find_first_not_of(L" \t");
        if (first == std::wstring::npos)
            continue;
        line.erase(0, first);
        line.erase(line.find_last_not_of(L" \t") + 1);
        if (pls) {
            if (line.size() < 6 || towlower(line[0]) != L'f' || towlower(line[1]) != L'i' ||
                towlower(line[2]) != L'l' || towlower(line[3]) != L'e')
                continue;
            size_t equals = line.find(L'=');
            if (equals == std::wstring::npos || equals == 4)
                continue;
            unsigned long number = wcstoul(line.c_str() + 4, nullptr, 10);
            std::wstring value = line.substr(equals + 1);
            if (!value.empty() && (best.empty() || number < bestNumber)) {
                best = value;
                bestNumber = number;
            }
        } else if (line[0] != L'#') {
            best = line;
            break;
        }
    }
    return best.empty() ? best : StationAddress::Resolve(base, best);
}

bool CPlaylist::NamedLikeOne(const std::wstring& address)
{
    std::wstring path = address.substr(0, address.find_first_of(L"?#"));
    for (wchar_t& c : path)
        c = static_cast<wchar_t>(towlower(c));
    auto ends = [&path](const wchar_t* end) {
        size_t n = wcslen(end);
        return path.size() >= n && path.compare(path.size() - n, n, end) == 0;
    };
    return ends(L".pls") || ends(L".m3u");
}
