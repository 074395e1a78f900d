// Text a station or a tag sends without saying its encoding (a StreamTitle,
// an ID3v1 field): UTF-8 where the bytes are valid UTF-8, else the user's
// ANSI code page (932 on a Japanese Windows), else Latin-1, which takes any
// byte. The process's own code page is UTF-8 by its manifest, so "the
// user's" is the locale's legacy one, not GetACP().
#pragma once

#include <string>

// The user's legacy ANSI code page; a test may set another (0: the user's again).
unsigned TitleCodePage();
void SetTitleCodePage(unsigned codePage);

std::wstring TitleText(const char* bytes, size_t length);
