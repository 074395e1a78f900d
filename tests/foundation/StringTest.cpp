#include "foundation/CodePage.h"
#include "foundation/Format.h"
#include "foundation/String.h"
#include "support/TestSupport.h"

#include <windows.h>
#include <gtest/gtest.h>
#include <cstring>
#include <memory>

TEST(CodePage, ManifestMakesTheAnsiCodePageUtf8)
{
    EXPECT_EQ(GetACP(), 65001u);
}

TEST(CodePage, ConversionsRoundTripJapaneseAndNonBmpText)
{
    const wchar_t* text = L"予約録音 \U0001F3B5 𠮷";
    std::unique_ptr<char[]> utf8(WideToMulti(text, static_cast<int>(wcslen(text)), 65001));
    std::unique_ptr<wchar_t[]> back(MultiToWide(utf8.get(), static_cast<int>(strlen(utf8.get())), 65001));
    EXPECT_STREQ(back.get(), text);
    // Shift_JIS bytes of "録音".
    const char sjis[] = "\x98\x5e\x89\xb9";
    std::unique_ptr<wchar_t[]> fromSjis(MultiToWide(sjis, 4, 932));
    EXPECT_STREQ(fromSjis.get(), L"録音");
    // Bytes that need no NUL of their own and an empty input.
    std::unique_ptr<wchar_t[]> part(MultiToWide("abcdef", 3, 65001));
    EXPECT_STREQ(part.get(), L"abc");
    std::unique_ptr<wchar_t[]> none(MultiToWide("", 0, 65001));
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none[0], 0);
}

TEST(CString, AssignAndClear)
{
    CString s;
    EXPECT_EQ(s.m_pBuffer, nullptr);
    EXPECT_EQ(s.GetWide(), nullptr);

    s.Assign(L"abc");
    EXPECT_EQ(s.m_nLength, 3);
    EXPECT_EQ(s.m_nSize, 5);  // 0 + 3 + 1 + 1 after the first Grow
    EXPECT_STREQ(s.GetWide(), L"abc");

    s.Assign(nullptr);
    EXPECT_EQ(s.m_pBuffer, nullptr);
    EXPECT_EQ(s.GetWide(), nullptr);
    s.Assign(L"x");
    s.Assign(L"", -1);
    EXPECT_EQ(s.m_nLength, 0);
    EXPECT_EQ(s.GetWide(), nullptr);
    s.Assign(L"abcdef", 2);
    EXPECT_STREQ(s.GetWide(), L"ab");
}

TEST(CString, JapaneseAndEmojiSurviveAsUtf8Bytes)
{
    CString s(L"深夜ラジオ🎵");
    EXPECT_EQ(s.m_nLength, 5 * 3 + 4);
    EXPECT_STREQ(s.GetWide(), L"深夜ラジオ🎵");
    EXPECT_TRUE(s.Equals(L"深夜ラジオ🎵"));
    EXPECT_FALSE(s.Equals(L"深夜ラジオ"));
}

TEST(CString, CopyKeepsBytesAndEmptiness)
{
    CString a(L"title"), b(L"something longer"), empty;
    b.Copy(a);
    EXPECT_STREQ(b.GetWide(), L"title");
    EXPECT_EQ(b.m_nLength, 5);
    b.Copy(empty);
    EXPECT_EQ(b.m_pBuffer, nullptr);
    CString c(a);
    a.Assign(L"changed");
    EXPECT_STREQ(c.GetWide(), L"title");
}

TEST(CString, Trim)
{
    CString s(L"  a  ");
    s.Trim();
    EXPECT_EQ(s.m_nLength, 1);
    EXPECT_STREQ(s.GetWide(), L"a");
    CString one(L"a");
    one.Trim();
    EXPECT_STREQ(one.GetWide(), L"a");
    CString blanks(L"   ");
    blanks.Trim();
    EXPECT_EQ(blanks.m_nLength, 0);
    EXPECT_NE(blanks.m_pBuffer, nullptr);
    CString mixed(L"\t\r\n 録音 x\n");
    mixed.Trim();
    EXPECT_STREQ(mixed.GetWide(), L"録音 x");
    // Blank: white space only, the full-width space of Japanese input included.
    for (const wchar_t* text : {L"", L" \t\r\n", L"\x3000 \x3000"})
        EXPECT_TRUE(CString(text).IsBlank()) << Narrow(text);
    for (const wchar_t* text : {L"a", L" \x3000x", L"\x3001"})
        EXPECT_FALSE(CString(text).IsBlank()) << Narrow(text);
}

TEST(CString, MidAndEmptyEquality)
{
    CString s(L"abc");
    std::unique_ptr<CString> none(s.Mid(0, 0));
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none->m_nLength, 0);
    EXPECT_EQ(none->m_nSize, 1);
    EXPECT_EQ(s.Mid(3, 1), nullptr);
    EXPECT_EQ(s.Mid(-1, 1), nullptr);
    EXPECT_EQ(s.Mid(0, -1), nullptr);
    std::unique_ptr<CString> tail(s.Mid(1, 10));
    EXPECT_STREQ(tail->GetWide(), L"bc");

    CString never;
    EXPECT_TRUE(never.Equals(L""));
    EXPECT_TRUE(never.Equals(nullptr));
    EXPECT_FALSE(none->Equals(L""));
    EXPECT_FALSE(s.Equals(L"ABC"));  // case matters
}

TEST(FormatText, WideStringsAndTruncation)
{
    wchar_t buffer[16];
    EXPECT_EQ(FormatText(buffer, 16, L"%s_%04d", L"録音", 7), 7);
    EXPECT_STREQ(buffer, L"録音_0007");
    EXPECT_EQ(FormatText(buffer, 16, L"%lld", -1234567890123LL), 14);
    EXPECT_STREQ(buffer, L"-1234567890123");
    FormatText(buffer, 4, L"%s", L"abcdef");
    EXPECT_STREQ(buffer, L"abc");
}
