// The notice log: one line per notice the user was shown (local time,
// program, text), in "marivane.log" beside the settings file, or in the
// log folder the settings name. UTF-8 with a byte order mark and CRLF, so
// Notepad shows it as it is; at 1 MB it moves to "marivane-old.log" and
// starts afresh, keeping one generation. UI thread only.
#pragma once

#include "foundation/DateTime.h"

#include <windows.h>

class CNoticeLog {
public:
    static constexpr unsigned long long kRotateBytes = 1048576;

    // The log's path from the settings (empty when there is no settings file).
    static void PathFromSettings(wchar_t* path, int count);
    // Appends one line; false when the file could not be written.
    static bool Append(const wchar_t* path, const CDateTime& when, const wchar_t* program, const wchar_t* text);

    // The latest notice shown, for the program list's line under the list.
    static const wchar_t* Latest() { return s_Latest; }
    static void SetLatest(const wchar_t* text) { lstrcpynW(s_Latest, text, 256); }

private:
    static wchar_t s_Latest[256];
};
