// Text a station sends without naming its encoding, read as the user would.
#include "foundation/TitleText.h"

#include <gtest/gtest.h>
#include <cstring>

TEST(TitleText, UnsaidEncodings)
{
    struct {
        const char* bytes;
        unsigned codePage;
        const wchar_t* text;
    } const rows[] = {
        {"Caf\xC3\xA9 \xE5\xA4\xA9\xE6\xB0\x97", 932, L"Café 天気"},  // valid UTF-8 wins
        {"\x83\x6A\x83\x85\x81\x5B\x83\x58", 932, L"ニュース"},        // Shift-JIS on a Japanese Windows
        {"Caf\xE9", 1252, L"Café"},                                    // a Western one
        {"\x82\xA0\x82", 932, L"\x82\xA0\x82"},                        // neither: Latin-1
    };
    for (const auto& row : rows) {
        SetTitleCodePage(row.codePage);
        EXPECT_EQ(TitleText(row.bytes, strlen(row.bytes)), row.text) << row.bytes;
    }
    SetTitleCodePage(0);
}
