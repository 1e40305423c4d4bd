#include <gtest/gtest.h>
TEST(Skeleton, Builds) { EXPECT_EQ(1 + 1, 2); }
