#include "programs/ProgramSource.h"

#include <cwctype>
#include <cwchar>

namespace {

bool StartsWithNoCase(const wchar_t* text, const wchar_t* prefix)
{
    for (; *prefix; ++text, ++prefix)
        if (!*text || std::towlower(*text) != *prefix)
            return false;
    return true;
}

bool HasBlank(const wchar_t* text)
{
    for (; *text; ++text)
        if (*text <= L' ')
            return true;
    return false;
}

}  // namespace

SourceKind ProgramSource::Kind(const wchar_t* source)
{
    if (!source || !*source)
        return kSourceSettings;
    // One the recording could not carry whole is not understood either.
    if (HasBlank(source) || wcslen(source) >= static_cast<size_t>(kSize))
        return kSourceUnknown;
    // A station needs a host after the scheme.
    if ((StartsWithNoCase(source, L"http://") && source[7]) || (StartsWithNoCase(source, L"https://") && source[8]))
        return kSourceStation;
    if (wcsncmp(source, L"loopback:", 9) == 0)
        return source[9] ? kSourceLoopback : kSourceUnknown;
    // An endpoint id, as WASAPI names one: "{0.0.1.00000000}.{guid}".
    if (source[0] == L'{' && wcschr(source, L'}'))
        return kSourceCapture;
    return kSourceUnknown;
}
