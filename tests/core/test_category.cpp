#include <gtest/gtest.h>

#include <thread>

#include "core/nCategory.h"

TEST(Category, EnterAndRestoreNest)
{
    EXPECT_EQ(GetCategory(), CategoryDefault);
    EnterCategory(CategoryScene2D);
    EnterCategory(CategoryMixer);
    EXPECT_EQ(GetCategory(), CategoryMixer);
    RestoreCategory();
    EXPECT_EQ(GetCategory(), CategoryScene2D);
    RestoreCategory();
    EXPECT_EQ(GetCategory(), CategoryDefault);
    RestoreCategory();  // unbalanced: nothing to put back
    EXPECT_EQ(GetCategory(), CategoryDefault);
}

TEST(Category, ScopeRestoresOnEveryExitAndThreadsAreSeparate)
{
    {
        nCategoryScope scope(CategoryScene);
        EXPECT_EQ(GetCategory(), CategoryScene);
        int32_t seen = -1;
        std::thread other([&seen] { seen = GetCategory(); });
        other.join();
        EXPECT_EQ(seen, CategoryDefault);
    }
    EXPECT_EQ(GetCategory(), CategoryDefault);
}

TEST(Category, DeepNestingStaysBalanced)
{
    for (int32_t i = 0; i < 100; ++i) EnterCategory(i);
    for (int32_t i = 0; i < 100; ++i) RestoreCategory();
    EXPECT_EQ(GetCategory(), CategoryDefault);
}
