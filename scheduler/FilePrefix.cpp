#include "scheduler/FilePrefix.h"
#include "foundation/Format.h"

#include <cwchar>
#include <string>

namespace {

// What the writer appends: "_%03d.flac" (or .wav, .opus), with room for numbers past 999.
constexpr size_t kNumberSuffix = 10;
// "_YYYYMMDDhhmm".
constexpr size_t kStampLength = 13;
constexpr size_t kMaxComponent = 255;
constexpr size_t kMaxPathChars = MAX_PATH - 1;

bool Forbidden(wchar_t c)
{
    return c < 0x20 || c == 0x7F || wcschr(L"\\/:*?\"<>|", c) != nullptr;
}

}  // namespace

void BuildFilePrefix(wchar_t* block, size_t count, const wchar_t* folder, const wchar_t* title,
                     const CDateTime& start)
{
    if (!block || count == 0)
        return;
    std::wstring dir = folder ? folder : L"";
    std::wstring name;
    for (const wchar_t* p = title ? title : L""; *p; ++p)
        name += Forbidden(*p) ? L'_' : *p;

    // The title may take what is left of the component, of the path and of
    // the block; it never drops below one character because of the path
    // limit (a folder that long fails the file either way, and the trace says so).
    size_t room = kMaxComponent - kStampLength - kNumberSuffix;
    size_t fixed = dir.size() + 1 + kStampLength;
    if (fixed + kNumberSuffix < kMaxPathChars) {
        size_t pathRoom = kMaxPathChars - fixed - kNumberSuffix;
        if (pathRoom < room)
            room = pathRoom;
    } else if (room > 1) {
        room = 1;
    }
    if (fixed + 1 < count) {
        size_t blockRoom = count - 1 - fixed;
        if (blockRoom < room)
            room = blockRoom;
    } else {
        room = 0;
    }
    if (name.size() > room) {
        size_t cut = room;
        // Never split a surrogate pair.
        if (cut > 0 && name[cut - 1] >= 0xD800 && name[cut - 1] <= 0xDBFF)
            --cut;
        name.resize(cut);
    }
    FormatText(block, count, L"%s\\%s_%04d%02d%02d%02d%02d", dir.c_str(), name.c_str(),
               start.m_Time.wYear, start.m_Time.wMonth, start.m_Time.wDay, start.m_Time.wHour,
               start.m_Time.wMinute);
}
