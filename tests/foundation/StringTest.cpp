#include "foundation/String.h"
#include <gtest/gtest.h>
TEST(CStringSmoke, Builds) { CString s(L"abc"); EXPECT_EQ(s.m_nLength, 3); }
