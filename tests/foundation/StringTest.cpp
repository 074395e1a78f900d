#include "foundation/CodePage.h"
#include "foundation/Format.h"
#include "foundation/String.h"
#include "support/TestSupport.h"

#include <windows.h>
#include <gtest/gtest.h>
#include <cstring>
#include <memory>

TEST(CodePage, Utf8ManifestAndConversionsOfJapaneseAndNonBmpText)
{
    EXPECT_EQ(GetACP(), 65001u);
    const wchar_t* text = L"予約録音 \U0001F3B5 𠮷";
    std::unique_ptr<char[]> utf8(WideToMulti(text, static_cast<int>(wcslen(text)), 65001));
    std::unique_ptr<wchar_t[]> back(MultiToWide(utf8.get(), static_cast<int>(strlen(utf8.get())), 65001));
    EXPECT_STREQ(back.get(), text);
    std::unique_ptr<wchar_t[]> fromSjis(MultiToWide("\x98\x5e\x89\xb9", 4, 932));  // "録音" in Shift_JIS
    EXPECT_STREQ(fromSjis.get(), L"録音");
    std::unique_ptr<wchar_t[]> part(MultiToWide("abcdef", 3, 65001));
    EXPECT_STREQ(part.get(), L"abc");
    std::unique_ptr<wchar_t[]> none(MultiToWide("", 0, 65001));
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none[0], 0);
}

// Texts are held as UTF-8 bytes; an empty text is no text.
TEST(CString, Utf8BytesAndEmptiness)
{
    CString s(L"深夜ラジオ🎵");
    EXPECT_EQ(s.m_nLength, 5 * 3 + 4);
    EXPECT_TRUE(s.Equals(L"深夜ラジオ🎵"));
    EXPECT_FALSE(s.Equals(L"深夜ラジオ"));
    s.Assign(L"", -1);
    EXPECT_EQ(s.GetWide(), nullptr);
    EXPECT_TRUE(s.Equals(nullptr));
    CString copy(L"x");
    copy.Copy(s);
    EXPECT_EQ(copy.m_pBuffer, nullptr);
}

TEST(CString, TrimAndBlank)
{
    struct Case {
        const wchar_t* text;
        const wchar_t* trimmed;
    } cases[] = {{L"  a  ", L"a"}, {L"a", L"a"}, {L"\t\r\n 録音 x\n", L"録音 x"}, {L"   ", L""}};
    for (const Case& c : cases) {
        CString s(c.text);
        s.Trim();
        EXPECT_EQ(std::wstring(s.GetWide() ? s.GetWide() : L""), c.trimmed) << Narrow(c.text);
    }
    // Blank: white space only, the full-width space of Japanese input included.
    for (const wchar_t* text : {L"", L" \t\r\n", L"\x3000 \x3000"})
        EXPECT_TRUE(CString(text).IsBlank()) << Narrow(text);
    for (const wchar_t* text : {L"a", L" \x3000x", L"\x3001"})
        EXPECT_FALSE(CString(text).IsBlank()) << Narrow(text);
}

TEST(FormatText, WideStringsAndTruncation)
{
    wchar_t buffer[16];
    EXPECT_EQ(FormatText(buffer, 16, L"%s_%04d", L"録音", 7), 7);
    EXPECT_STREQ(buffer, L"録音_0007");
    EXPECT_EQ(FormatText(buffer, 16, L"%lld", -1234567890123LL), 14);
    FormatText(buffer, 4, L"%s", L"abcdef");
    EXPECT_STREQ(buffer, L"abc");
}
