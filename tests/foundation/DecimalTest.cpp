// The text-field integer rule shared by the list dialog and the settings page.
#include "foundation/Decimal.h"

#include <gtest/gtest.h>

TEST(Decimal, BlanksSignDigitsAndNothingElse)
{
    struct Case {
        const wchar_t* text;
        bool ok, negative;
        unsigned long long value;  // ~0: anything past 2^32
    } cases[] = {
        {L" \t-42", true, true, 42}, {L"", true, false, 0}, {L"4294967295", true, false, 0xFFFFFFFFULL},
        {L"4294967296", true, false, ~0ULL}, {L"99999999999999999999999", true, false, ~0ULL},
        {L"12a", false}, {L"12 ", false}, {L"+5", false}, {nullptr, false},
    };
    for (const Case& c : cases) {
        bool negative = !c.negative;
        unsigned long long value = 1;
        ASSERT_EQ(ScanDecimal(c.text, negative, value), c.ok) << (c.text ? "text" : "null");
        if (!c.ok)
            continue;
        EXPECT_EQ(negative, c.negative);
        if (c.value == ~0ULL)
            EXPECT_GT(value, 0xFFFFFFFFULL);  // stops past 2^32 instead of wrapping
        else
            EXPECT_EQ(value, c.value);
    }
}
