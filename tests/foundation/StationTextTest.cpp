#include "foundation/StationText.h"

#include <gtest/gtest.h>

#include <string>

// A station's text: UTF-8 where it is valid, else the given ANSI code page,
// else Latin-1; bad bytes never fail it.
TEST(StationText, Utf8ThenTheCodePageThenLatin1)
{
    struct {
        std::string bytes;
        unsigned codePage;
        const wchar_t* text;
    } rows[] = {
        {"Artist - \xE5\xA4\x9C", 932, L"Artist - 夜"},
        {"\x89\xCC\x8E\xE8 - \x8C\x8E", 932, L"歌手 - 月"},
        {"Caf\xE9", 1252, L"Café"},
        {"\x82", 932, L"\x82"},  // a lead byte with nothing after it
        {"", 932, L""},
    };
    for (auto& r : rows) {
        wchar_t* text = StationTextToWide(r.bytes.data(), static_cast<int>(r.bytes.size()), r.codePage);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(std::wstring(text), r.text) << r.bytes;
        delete[] text;
    }
    EXPECT_NE(UserAnsiCodePage(), 65001u);
}
