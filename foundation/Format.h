// printf-style formatting into a caller's wide buffer with the Windows
// conventions the whole program uses ("%s" is a wide string). Always
// NUL-terminates, truncating when the buffer is too small; returns the length.
#pragma once

#include <cstddef>

int FormatText(wchar_t* buffer, size_t count, const wchar_t* format, ...);
