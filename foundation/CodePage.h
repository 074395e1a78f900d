// Conversions between a code page and UTF-16. Both return a new zero-filled,
// NUL-terminated buffer the caller frees with delete[]; null only when the
// allocation fails.
#pragma once

wchar_t* MultiToWide(const char* bytes, int length, unsigned codePage);
char* WideToMulti(const wchar_t* wide, int length, unsigned codePage);
