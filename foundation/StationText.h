// A station's text (a stream title, a station name) as it comes, in bytes
// of no declared encoding: read as UTF-8 where it is valid UTF-8, otherwise
// in the user's ANSI code page (932 on a Japanese Windows), Latin-1 as the
// last resort. Never fails on bad bytes.
#pragma once

// The user's ANSI code page by the locale, not GetACP(): the program's
// manifest makes GetACP() UTF-8, while stations send the locale's.
unsigned UserAnsiCodePage();
// A new NUL-terminated buffer the caller frees with delete[]; null only when
// the allocation fails.
wchar_t* StationTextToWide(const char* bytes, int length, unsigned ansiCodePage);
