#include "foundation/Format.h"
#include "foundation/String.h"
#include "support/TestSupport.h"

#include <windows.h>
#include <gtest/gtest.h>

// Trim and blank: white space, the full-width space of Japanese input included.
TEST(CString, TrimAndBlank)
{
    CString s(L"\t\r\n 録音 x\n");
    s.Trim();
    EXPECT_STREQ(s.GetWide(), L"録音 x");
    for (const wchar_t* text : {L"", L" \t\r\n", L"\x3000 \x3000"})
        EXPECT_TRUE(CString(text).IsBlank()) << Narrow(text);
    for (const wchar_t* text : {L"a", L" \x3000x", L"\x3001"})
        EXPECT_FALSE(CString(text).IsBlank()) << Narrow(text);
}

// The manifest makes the ANSI code page UTF-8; formatting cuts at the buffer.
TEST(FormatText, Utf8CodePageWideStringsAndTruncation)
{
    EXPECT_EQ(GetACP(), 65001u);
    wchar_t buffer[16];
    EXPECT_EQ(FormatText(buffer, 16, L"%s_%04d", L"録音", 7), 7);
    EXPECT_STREQ(buffer, L"録音_0007");
    EXPECT_EQ(FormatText(buffer, 16, L"%lld", -1234567890123LL), 14);
    FormatText(buffer, 4, L"%s", L"abcdef");
    EXPECT_STREQ(buffer, L"abc");
}

// Text outside every legacy code page comes back whole and is held as
// UTF-8, whatever the system's ANSI code page: the run without the manifest
// (foundation_legacy_code_page) has the one Wine's locale gives, as Windows
// 10 1809 ignores the manifest's.
TEST(CString, UnicodeSurvivesALegacyAnsiCodePage)
{
    const wchar_t* text = L"録音 ü – \U0001F3B5";
    CString s(text);
    EXPECT_STREQ(s.GetWide(), text);
    EXPECT_EQ(std::string(s.GetBytes(), static_cast<size_t>(s.m_nLength)), "録音 ü – \xF0\x9F\x8E\xB5");
    EXPECT_TRUE(s.Equals(text));
    printf("ANSI code page %u\n", GetACP());
}
