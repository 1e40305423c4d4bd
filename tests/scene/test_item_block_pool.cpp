// Aligned item blocks: sizes, alignment, reuse, and objects of the scene built and deleted
// through them alongside larger objects derived from them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

#include "hub/nOrvex.h"
#include "scene/nItemBlockPool.h"
#include "scene/nObject.h"
#include "scene/nScene.h"

namespace {

bool Aligned(const void* p)
{
    return reinterpret_cast<std::uintptr_t>(p) % nItemBlockPool::kAlignment == 0;
}

TEST(ItemBlockPool, BlocksAreAlignedDistinctAndWholeThroughManyChunks)
{
    struct Case
    {
        size_t asked;
        size_t block;
    };
    const Case cases[] = {{1, 64}, {64, 64}, {65, 128}, {1280, 1280}, {1300, 1344}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.asked);
        nItemBlockPool pool(c.asked);
        EXPECT_EQ(pool.GetBlockSize(), c.block);
        std::vector<unsigned char*> blocks;
        std::set<unsigned char*> distinct;
        for (int i = 0; i < 200; ++i) {
            unsigned char* b = static_cast<unsigned char*>(pool.Take());
            ASSERT_NE(b, nullptr);
            EXPECT_TRUE(Aligned(b));
            std::memset(b, i & 0xff, pool.GetBlockSize());  // blocks must not overlap
            blocks.push_back(b);
            distinct.insert(b);
        }
        EXPECT_EQ(distinct.size(), blocks.size());
        for (size_t i = 0; i < blocks.size(); ++i) {
            EXPECT_EQ(blocks[i][0], (unsigned char)(i & 0xff));
            EXPECT_EQ(blocks[i][pool.GetBlockSize() - 1], (unsigned char)(i & 0xff));
        }
        for (unsigned char* b : blocks) pool.Give(b);
        pool.Give(nullptr);
        // Given blocks serve the next takes.
        for (int i = 0; i < 200; ++i) {
            void* b = pool.Take();
            ASSERT_NE(b, nullptr);
            EXPECT_TRUE(Aligned(b));
            pool.Give(b);
        }
    }
}

// Given blocks are taken again the last given first, whole and unchanged by the taking (which
// asks the cache for the next one ahead).
TEST(ItemBlockPool, GivenBlocksComeBackLastGivenFirst)
{
    if (!nItemBlockPool::IsPooled()) GTEST_SKIP() << "blocks come from the heap under AddressSanitizer";
    nItemBlockPool pool(1280);
    std::vector<unsigned char*> given;
    for (int i = 0; i < 100; ++i) given.push_back(static_cast<unsigned char*>(pool.Take()));
    for (size_t i = 0; i < given.size(); ++i) {
        std::memset(given[i], (int)i, pool.GetBlockSize());
        pool.Give(given[i]);
    }
    for (size_t i = given.size(); i-- > 0;) {
        unsigned char* b = static_cast<unsigned char*>(pool.Take());
        ASSERT_EQ(b, given[i]);
        EXPECT_EQ(b[sizeof(void*)], (unsigned char)i);  // past the free-list link
        EXPECT_EQ(b[pool.GetBlockSize() - 1], (unsigned char)i);
    }
}

// A larger object derived from the scene's object: the heap serves it, the pool the others.
class BigObject : public nMObject
{
public:
    explicit BigObject(nScene* scene) : nMObject(scene) { std::memset(m_extra, 7, sizeof(m_extra)); }
    unsigned char m_extra[512];
};

TEST(ItemBlockPool, ObjectsOfEverySizeAreBuiltAndDeletedAligned)
{
    nOrvex engine;
    nScene* scene = new nScene(&engine, 0);
    std::vector<nMItem*> made;
    for (int i = 0; i < 150; ++i) {
        nMItem* item = scene->CreateObject(("o" + std::to_string(i)).c_str(), 0);
        ASSERT_NE(item, nullptr);
        EXPECT_TRUE(Aligned(item));
        made.push_back(item);
    }
    BigObject* big = new (std::nothrow) BigObject(nullptr);
    ASSERT_NE(big, nullptr);
    EXPECT_TRUE(Aligned(big));
    EXPECT_EQ(big->m_extra[511], 7);
    delete big;
    nMObject* plain = new nMObject(nullptr);
    EXPECT_TRUE(Aligned(plain));
    delete plain;
    EXPECT_EQ(scene->GetObjects().GetCount(), 150);
    delete scene;
}

}
