#include <gtest/gtest.h>

#include "core/nCountedArray.h"

namespace {

TEST(nFixedPtrArray, AllocGivesNullSlotsAndSetStaysInBounds)
{
    int a = 1, b = 2;
    nFixedPtrArray array;
    EXPECT_EQ(array.GetCount(), 0);
    ASSERT_TRUE(array.Alloc(3));
    ASSERT_EQ(array.GetCount(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(array.Get(i), nullptr);

    EXPECT_TRUE(array.Set(0, &a));
    EXPECT_TRUE(array.Set(2, &b));
    EXPECT_FALSE(array.Set(3, &a));
    EXPECT_FALSE(array.Set(-1, &a));
    EXPECT_EQ(array.Get(0), &a);
    EXPECT_EQ(array.Get(1), nullptr);
    EXPECT_EQ(array.Get(2), &b);
    EXPECT_EQ(array.Get(3), nullptr);

    ASSERT_TRUE(array.Alloc(2));  // a new allocation starts all NULL again
    EXPECT_EQ(array.Get(0), nullptr);
    EXPECT_EQ(array.GetCount(), 2);
}

TEST(nFixedPtrArray, FailedAllocLeavesItEmpty)
{
    nFixedPtrArray array;
    ASSERT_TRUE(array.Alloc(4));
    EXPECT_FALSE(array.Alloc(-1));
    EXPECT_EQ(array.GetCount(), 0);
    EXPECT_FALSE(array.Set(0, nullptr));
}

TEST(nFixedPtrArray, FreeCountedArrayEmptiesIt)
{
    nFixedPtrArray array;
    ASSERT_TRUE(array.Alloc(5));
    FreeCountedArray(array);
    EXPECT_EQ(array.GetCount(), 0);
    EXPECT_EQ(array.Get(0), nullptr);
}

TEST(nCountedByteArray, AllocateGivesZeroedBytesAndFreeZeroesBothFields)
{
    nCountedByteArray bytes = AllocateByteArray(16);
    ASSERT_EQ(bytes.count, 16);
    ASSERT_NE(bytes.data, nullptr);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(bytes.data[i], 0);
    bytes.data[15] = 7;
    FreeCountedArray(bytes);
    EXPECT_EQ(bytes.count, 0);
    EXPECT_EQ(bytes.data, nullptr);
    FreeCountedArray(bytes);  // freeing an empty array is harmless
}

TEST(nCountedByteArray, NonPositiveCountGivesAnEmptyArray)
{
    for (int32_t count : {0, -1}) {
        nCountedByteArray bytes = AllocateByteArray(count);
        EXPECT_EQ(bytes.count, 0);
        EXPECT_EQ(bytes.data, nullptr);
    }
}

TEST(nCountedByteArray, MovingHandsOverTheData)
{
    nCountedByteArray a = AllocateByteArray(4);
    uint8_t* data = a.data;
    nCountedByteArray b = AllocateByteArray(2);
    b = static_cast<nCountedByteArray&&>(a);
    EXPECT_EQ(b.data, data);
    EXPECT_EQ(b.count, 4);
    EXPECT_EQ(a.data, nullptr);
    EXPECT_EQ(a.count, 0);
}

}  // namespace
