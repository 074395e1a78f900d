#include "config/AppParameter.h"
#include <gtest/gtest.h>
TEST(ConfigSmoke, Defaults) { CAppParameter p; EXPECT_EQ(p.m_Frequency, 44100); }
