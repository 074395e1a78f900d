// The text-field integer rule shared by the list dialog and the settings page.
#include "foundation/Decimal.h"

#include <gtest/gtest.h>

TEST(Decimal, BlanksSignDigitsAndNothingElse)
{
    bool negative = true;
    unsigned long long value = 1;
    EXPECT_TRUE(ScanDecimal(L" \t-42", negative, value));
    EXPECT_TRUE(negative);
    EXPECT_EQ(value, 42u);
    EXPECT_TRUE(ScanDecimal(L"", negative, value));  // an empty field is zero
    EXPECT_FALSE(negative);
    EXPECT_EQ(value, 0u);
    EXPECT_FALSE(ScanDecimal(L"12a", negative, value));
    EXPECT_FALSE(ScanDecimal(L"12 ", negative, value));
    EXPECT_FALSE(ScanDecimal(L"+5", negative, value));
    EXPECT_FALSE(ScanDecimal(nullptr, negative, value));
    // Huge numbers stop past 2^32 instead of wrapping into small ones.
    EXPECT_TRUE(ScanDecimal(L"99999999999999999999999", negative, value));
    EXPECT_GT(value, 0xFFFFFFFFULL);
    EXPECT_TRUE(ScanDecimal(L"4294967296", negative, value));
    EXPECT_GT(value, 0xFFFFFFFFULL);
    EXPECT_TRUE(ScanDecimal(L"4294967295", negative, value));
    EXPECT_EQ(value, 0xFFFFFFFFULL);
}
