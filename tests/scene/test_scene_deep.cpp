// Deep hierarchies: a scene file chaining 20,000 items, each the child of the next, loads, sets
// up, resets, evaluates, moves, activates and deletes with the chain's world matrices, whatever
// order its links come in; nodes chained deeper still rebuild, mark and re-parent in constant
// stack. A recursion per level overflows the stack long before these depths.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "hub/nOrvex.h"
#include "scene/nItem.h"
#include "scene/nScene.h"
#include "tests/scene/kit/nDeepChain.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nMLTestSupport.h"

namespace {

const int32_t kCount = 20000;

// The item of the chain read with source uid i (uids are rebased from 0 in a fresh scene).
nMItem* Link(nScene* scene, int32_t i)
{
    for (nListNode<nMItem*>* n = scene->GetAllItems().GetHead(); n; n = n->next)
        if (n->value->GetUid() == i) return n->value;
    return nullptr;
}

float WorldX(nMItem* item)
{
    return item->GetItem()->GetWorldMatrix().GetColumn(3, true).x;
}

// Lines of the capture that begin with the prefix.
size_t LinesStartingWith(const nLogCapture& capture, const char* prefix)
{
    size_t count = 0;
    for (const std::string& line : capture.Lines()) count += line.rfind(prefix, 0) == 0;
    return count;
}

int32_t CountActive(nScene* scene)
{
    return scene->GetActiveItems().GetCount();
}

struct DeepScene
{
    DeepScene() : scene(new nScene(&engine, nullptr)) { scene->AddRef(); }
    ~DeepScene() { scene->Release(); }
    nOrvex engine;
    nScene* scene;
};

TEST(SceneDeepChain, LoadsSetsUpResetsAndEvaluatesWithTheChainsWorldMatrices)
{
    struct Case
    {
        const char* name;
        bool rootFirstLinks;
    };
    const Case cases[] = {{"links leaf first", false}, {"links root first", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        nDeepChain chain;
        chain.count = kCount;
        chain.rootFirstLinks = c.rootFirstLinks;
        ASSERT_TRUE(nMLPutMemoryFile("chain.nms", chain.Text()));
        DeepScene d;
        nLogCapture capture;
        ASSERT_TRUE(d.scene->LoadFile("chain.nms", nullptr, FlagLoadAll, 0));
        nMItem* leaf = Link(d.scene, 0);
        nMItem* middle = Link(d.scene, kCount / 2);
        nMItem* root = Link(d.scene, kCount - 1);
        ASSERT_TRUE(leaf && middle && root);
        EXPECT_EQ(leaf->GetItem()->GetParent(), Link(d.scene, 1)->GetItem());
        EXPECT_EQ(root->GetItem()->GetParent(), nullptr);
        EXPECT_TRUE(leaf->GetItem()->IsDescendantOf(root->GetItem()));

        // The reset reads the leaf's matrices first, with every ancestor stale.
        d.scene->Setup(true, 1024);
        d.scene->Reset();
        EXPECT_EQ(WorldX(leaf), (float)kCount);
        d.scene->Evaluate(SceneEvaluateAll);
        EXPECT_EQ(WorldX(leaf), (float)kCount);
        EXPECT_EQ(WorldX(middle), (float)(kCount - kCount / 2));
        EXPECT_EQ(WorldX(root), 1.0f);
        EXPECT_EQ(leaf->GetItem()->GetPreviousWorldMatrix().GetColumn(3, true).x, (float)kCount);

        // Moving the root marks the whole clean chain; the leaf follows at the next read.
        root->GetItem()->SetPosition(nVector(11.0f, 0.0f, 0.0f));
        EXPECT_NE(leaf->GetItem()->GetFlags() & ItemFlagWorldDirty, 0u);
        d.scene->Evaluate(SceneEvaluateAll);
        EXPECT_EQ(WorldX(leaf), (float)(kCount + 10));

        // Activity follows the hierarchy down the whole chain; the default camera the reader
        // made stays active.
        root->SetActive(false, true);
        d.scene->Evaluate(SceneEvaluateAll);
        EXPECT_EQ(CountActive(d.scene), 1);
        EXPECT_FALSE(leaf->IsActive());
        root->SetActive(true, true);
        d.scene->Evaluate(SceneEvaluateAll);
        EXPECT_EQ(CountActive(d.scene), kCount + 1);

        // Deleting the root leaves the rest of the chain standing where its own links put it.
        d.scene->QueueDeletion(root);
        d.scene->Evaluate(SceneEvaluateAll);
        EXPECT_EQ(Link(d.scene, kCount - 2)->GetItem()->GetParent(), nullptr);
        EXPECT_EQ(WorldX(leaf), (float)(kCount - 1));
        EXPECT_EQ(LinesStartingWith(capture, "[!] "), 0u);
        EXPECT_EQ(LinesStartingWith(capture, "[*] "), 0u);
    }
}

// Free nodes chained deeper than any scene file: built root first, then leaf first, they rebuild
// from the leaf, mark from the root, re-parent across the chain and come apart from the root.
TEST(SceneDeepChain, NodesOfAVeryDeepChainRebuildMarkAndReparentInConstantStack)
{
    const int32_t depth = 200000;
    for (bool rootFirst : {true, false}) {
        SCOPED_TRACE(rootFirst ? "built root first" : "built leaf first");
        std::vector<std::unique_ptr<nItem>> nodes;  // nodes[0] is the root
        for (int32_t i = 0; i < depth; ++i) nodes.emplace_back(new nItem(nullptr));
        for (int32_t k = 1; k < depth; ++k) {
            const int32_t i = rootFirst ? k : depth - k;
            nodes[i]->SetParent(nodes[i - 1].get());
        }
        for (auto& node : nodes) node->SetPosition(nVector(1.0f, 0.0f, 0.0f));
        nItem* leaf = nodes.back().get();
        EXPECT_EQ(leaf->GetWorldMatrix().GetColumn(3, true).x, (float)depth);
        EXPECT_EQ(nodes[depth / 2]->GetWorldMatrix().GetColumn(3, true).x, (float)(depth / 2 + 1));

        nodes[0]->SetPosition(nVector(5.0f, 0.0f, 0.0f));
        EXPECT_EQ(leaf->GetInverseWorldMatrix().GetColumn(3, true).x, -(float)(depth + 4));

        // The root hung under the leaf: the node below it on the way up is lifted out first.
        nLogCapture capture;
        nodes[0]->SetParent(leaf);
        EXPECT_EQ(capture.Lines(), (std::vector<std::string>{"[*] Deadlock detected, link chain has been corrected.\n"}));
        EXPECT_EQ(nodes[1]->GetParent(), nullptr);
        EXPECT_EQ(nodes[0]->GetParent(), leaf);
        EXPECT_EQ(nodes[0]->GetWorldMatrix().GetColumn(3, true).x, (float)(depth - 1 + 5));

        // Destroyed from the top, each node in turn becomes a root of the rest.
        nodes[0].reset();
        for (int32_t i = 1; i < depth; ++i) nodes[i].reset();
    }
}

// A comb: every node of a spine holds the next spine node first and a leaf after it, so that
// a walk down the spine leaves a sibling behind at every level. Moving the root reaches every
// leaf, however many levels wait.
TEST(SceneDeepChain, MovingTheRootOfADeepCombReachesEveryLeaf)
{
    const int32_t depth = 1000;
    std::vector<std::unique_ptr<nItem>> spine, leaves;
    for (int32_t i = 0; i < depth; ++i) {
        spine.emplace_back(new nItem(nullptr));
        spine.back()->SetPosition(nVector(1.0f, 0.0f, 0.0f));
        if (i > 0) spine[i]->SetParent(spine[i - 1].get());
    }
    for (int32_t i = 0; i < depth; ++i) {
        leaves.emplace_back(new nItem(nullptr));
        leaves.back()->SetPosition(nVector(0.0f, 1.0f, 0.0f));
        leaves[i]->SetParent(spine[i].get());
    }
    for (auto& leaf : leaves) leaf->GetWorldMatrix();
    spine[0]->SetPosition(nVector(3.0f, 0.0f, 0.0f));
    for (int32_t i = 0; i < depth; ++i) {
        SCOPED_TRACE(i);
        EXPECT_NE(leaves[i]->GetFlags() & ItemFlagWorldDirty, 0u);
        const nVector p = leaves[i]->GetWorldMatrix().GetColumn(3, true);
        ASSERT_EQ(p.x, (float)(i + 3));
        ASSERT_EQ(p.y, 1.0f);
    }
    leaves.clear();
    spine.clear();
}

}
