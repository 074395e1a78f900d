// Lists kept as one text of lines separated by "\n": the titles recorded
// under, a recording's files.
#pragma once

#include <cstddef>
#include <cwchar>

// Calls each(line, length) for every line of text, its "\n" left out; a
// null or empty text has none, and a trailing "\n" ends the last line.
template <class Each>
void ForEachLine(const wchar_t* text, Each each)
{
    for (const wchar_t* line = text; line && *line;) {
        const wchar_t* end = wcschr(line, L'\n');
        each(line, end ? static_cast<size_t>(end - line) : wcslen(line));
        line = end ? end + 1 : nullptr;
    }
}
