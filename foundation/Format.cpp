#include "foundation/Format.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>

int FormatText(wchar_t* buffer, size_t count, const wchar_t* format, ...)
{
    if (!buffer || count == 0)
        return 0;
    va_list args;
    va_start(args, format);
    // The msvcrt formatter: "%s" takes a wide string in a wide format.
    int n = _vsnwprintf(buffer, count - 1, format, args);
    va_end(args);
    buffer[count - 1] = 0;
    if (n < 0 || static_cast<size_t>(n) >= count)
        n = static_cast<int>(wcslen(buffer));
    return n;
}
