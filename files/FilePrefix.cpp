#include "files/FilePrefix.h"
#include "files/RecordingFormat.h"
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

std::wstring FileTitle(const wchar_t* folder, const wchar_t* title, size_t count)
{
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
    return name;
}

void BuildFilePrefix(wchar_t* block, size_t count, const wchar_t* folder, const wchar_t* title,
                     const CDateTime& start)
{
    if (!block || count == 0)
        return;
    std::wstring name = FileTitle(folder, title, count);
    FormatText(block, count, L"%s\\%s_%04d%02d%02d%02d%02d", folder ? folder : L"", name.c_str(),
               start.m_Time.wYear, start.m_Time.wMonth, start.m_Time.wDay, start.m_Time.wHour,
               start.m_Time.wMinute);
}

bool ParseRecordingName(const wchar_t* name, size_t& titleLength, const wchar_t*& stamp)
{
    // From the end: ".ext", "_" and the number, "_" and the 12-digit stamp.
    const wchar_t* dot = name ? wcsrchr(name, L'.') : nullptr;
    bool recorded = false;
    for (int t = 0; dot && !recorded && RecordingFormat::OwnExtension(t); ++t)
        recorded = _wcsicmp(dot + 1, RecordingFormat::OwnExtension(t)) == 0;
    if (!recorded)
        return false;
    const wchar_t* p = dot;
    size_t digits = 0;
    while (p > name && p[-1] >= L'0' && p[-1] <= L'9') {
        --p;
        ++digits;
    }
    if (digits < 3 || static_cast<size_t>(p - name) < kStampLength + 2 || p[-1] != L'_')
        return false;
    p -= 1 + kStampLength;
    if (*p != L'_')
        return false;
    for (size_t i = 1; i <= kStampLength - 1; ++i)
        if (p[i] < L'0' || p[i] > L'9')
            return false;
    titleLength = static_cast<size_t>(p - name);
    stamp = p + 1;
    return titleLength > 0;
}

RecordingPath::RecordingPath(const wchar_t* path, size_t length)
{
    std::wstring whole(path ? path : L"", path ? length : 0);
    size_t slash = whole.rfind(L'\\');
    folder = slash == std::wstring::npos ? L"" : whole.substr(0, slash);
    std::wstring file = slash == std::wstring::npos ? whole : whole.substr(slash + 1);
    size_t titleLength = 0;
    const wchar_t* at = nullptr;
    if (ParseRecordingName(file.c_str(), titleLength, at)) {
        title = file.substr(0, titleLength);
        stamp.assign(at, kStampLength - 1);
    } else {
        title = file;
    }
}

RecordingPath::RecordingPath(const wchar_t* files)
    : RecordingPath(files, files ? wcscspn(files, L"\n") : 0)
{
}
