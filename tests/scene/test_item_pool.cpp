#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <vector>

#include "scene/nItemPool.h"
#include "scene/nScene.h"
#include "tests/scene/kit/nKitItem.h"
#include "tests/scene/kit/nKitScene.h"

namespace {

std::vector<uintptr_t> AddItems(nKitScene& k, int count)
{
    std::vector<uintptr_t> at;
    for (int i = 0; i < count; ++i) at.push_back(reinterpret_cast<uintptr_t>(k.Add("i")));
    return at;
}

// Pairs of items created one after the other that do not sit one slot apart.
int Jumps(const std::vector<uintptr_t>& at)
{
    int jumps = 0;
    for (size_t i = 1; i < at.size(); ++i)
        if (at[i] - at[i - 1] != at[1] - at[0]) ++jumps;
    return jumps;
}

}

// Walks follow creation order; the items of a scene filled again after a deletion flush
// still lie in that order, block by block, whatever order the old ones were freed in.
TEST(ItemPool, ItemsLieInCreationOrderAfterTheSceneWasEmptiedAndFilledAgain)
{
    if (!nItemPool::IsPooled()) GTEST_SKIP() << "items come from the heap under AddressSanitizer";
    const int count = 200;
    nKitScene k;
    std::vector<uintptr_t> first = AddItems(k, count);
    const int blocks = (int)(count * (first[1] - first[0]) / nItemPool::kBlockBytes) + 1;
    EXPECT_LE(Jumps(first), blocks);

    // Deleted from the middle outwards, in one flush.
    const nList<nMItem*>& all = k.scene->GetAllItems();
    std::vector<nMItem*> items;
    for (nListNode<nMItem*>* n = all.GetHead(); n; n = n->next) items.push_back(n->value);
    for (int i = 0; i < count; ++i) k.scene->QueueDeletion(items[(i * 7 + count / 2) % count]);
    k.scene->FlushDeletionQueue();
    ASSERT_EQ(all.GetCount(), 0);

    std::vector<uintptr_t> again = AddItems(k, count);
    EXPECT_LE(Jumps(again), blocks);
    EXPECT_EQ(again[1] - again[0], first[1] - first[0]);
}

TEST(ItemPool, SlotsFreedAmongLiveItemsAreReusedAndEmptyBlocksGoBackWithTheContent)
{
    if (!nItemPool::IsPooled()) GTEST_SKIP() << "items come from the heap under AddressSanitizer";
    const int32_t before = nItemPool::GetBlockCount();
    nKitScene k;
    std::vector<uintptr_t> at = AddItems(k, 300);
    const int32_t held = nItemPool::GetBlockCount() - before;
    EXPECT_GE(held, 2);

    // Every other item goes; as many new ones take their slots and no block is added.
    std::vector<nMItem*> items;
    for (nListNode<nMItem*>* n = k.scene->GetAllItems().GetHead(); n; n = n->next) items.push_back(n->value);
    for (size_t i = 0; i < items.size(); i += 2) k.scene->QueueDeletion(items[i]);
    k.scene->FlushDeletionQueue();
    std::vector<uintptr_t> reused = AddItems(k, 150);
    EXPECT_EQ(nItemPool::GetBlockCount() - before, held);
    std::set<uintptr_t> freed;
    for (size_t i = 0; i < at.size(); i += 2) freed.insert(at[i]);
    for (uintptr_t p : reused) EXPECT_EQ(freed.erase(p), 1u);

    k.scene->DeleteContent(false);
    EXPECT_EQ(nItemPool::GetSpareBlockCount(), 0);
    EXPECT_LE(nItemPool::GetBlockCount() - before, 1);  // the block new items of that size come from
}
