#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/nBounds.h"
#include "core/nMetaTag.h"
#include "core/nQuaternion.h"
#include "scene/nItem.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nMathExpect.h"

namespace {

struct Components
{
    nVector position, rotation, scale;
    nMatrix4 pivot;
    nRotationOrder order;
};

// local = T(position) R S(scale) pivot, composed the plain way.
nMatrix4 Reference(const Components& c)
{
    return nMatrix4::Translation(c.position) *
           nMatrix4::FromMatrix3(nMatrix3::FromEulerVector(c.rotation, c.order)) * nMatrix4::Scaling(c.scale) * c.pivot;
}

Components RandomComponents(std::mt19937& rng, int32_t order, bool withPivot = true)
{
    std::uniform_real_distribution<float> pos(-10.0f, 10.0f), angle(-1.4f, 1.4f), scale(0.2f, 3.0f);
    Components c;
    c.position = nVector(pos(rng), pos(rng), pos(rng));
    c.rotation = nVector(angle(rng), angle(rng), angle(rng));
    c.scale = nVector(scale(rng), scale(rng), scale(rng));
    if (withPivot) {
        c.pivot = nMatrix4::Translation(nVector(pos(rng), pos(rng), pos(rng))) *
                  nMatrix4::FromMatrix3(nMatrix3::FromEuler(angle(rng), angle(rng), angle(rng), RotationOrderZYX));
    }
    c.order = (nRotationOrder)order;
    return c;
}

void Apply(nItem& item, const Components& c)
{
    item.SetRotationOrder(c.order);
    item.SetPosition(c.position);
    item.SetRotation(c.rotation);
    item.SetScale(c.scale);
    item.SetPivot(c.pivot);
}

bool Finite(const nMatrix4& m)
{
    for (float f : m.m)
        if (!std::isfinite(f)) return false;
    return true;
}

TEST(Item, WorldMatricesMatchAPlainCompositionThroughThreeLevels)
{
    std::mt19937 rng(7);
    for (int32_t order = 0; order <= 6; ++order) {
        SCOPED_TRACE(order);
        nItem root(nullptr), middle(nullptr), leaf(nullptr);
        middle.SetParent(&root);
        leaf.SetParent(&middle);
        Components a = RandomComponents(rng, order), b = RandomComponents(rng, order), c = RandomComponents(rng, order);
        Apply(root, a);
        Apply(middle, b);
        Apply(leaf, c);
        nMatrix4 expected = Reference(a) * Reference(b) * Reference(c);
        EXPECT_TRUE(MatrixNear(leaf.GetWorldMatrix(), expected, 1e-3f));
        EXPECT_TRUE(MatrixNear(middle.GetLocalMatrix(), Reference(b), 1e-5f));
        // The cached inverse is that of a translation, rotation and scale (no shear).
        nItem single(nullptr);
        Apply(single, RandomComponents(rng, order, false));
        EXPECT_TRUE(MatrixNear(single.GetInverseWorldMatrix() * single.GetWorldMatrix(), nMatrix4(), 1e-5f));
    }
}

TEST(Item, SetWorldMatrixDecomposesIntoComponentsThatRebuildIt)
{
    std::mt19937 rng(11);
    for (int32_t order = 0; order <= 5; ++order) {
        for (int run = 0; run < 10; ++run) {
            SCOPED_TRACE(testing::Message() << "order " << order << " run " << run);
            Components c = RandomComponents(rng, order);
            nItem parent(nullptr), item(nullptr);
            Apply(parent, RandomComponents(rng, order, false));
            item.SetParent(&parent);
            item.SetRotationOrder(order);
            item.SetPivot(c.pivot);
            nMatrix4 local = Reference(c);

            item.SetWorldMatrix(local, true, false);
            EXPECT_EQ(item.GetFlags() & ItemFlagLocalDirty, 0u);
            EXPECT_TRUE(MatrixNear(item.GetLocalMatrix(), local, 0.0f));  // the matrix itself is kept
            EXPECT_TRUE(VectorNear(item.GetPosition(), c.position, 1e-4f));
            EXPECT_TRUE(VectorNear(item.GetScale(), c.scale, 1e-4f));
            item.SetPosition(item.GetPosition());  // rebuild from the components
            EXPECT_TRUE(MatrixNear(item.GetLocalMatrix(), local, 1e-4f));

            nMatrix4 world = parent.GetWorldMatrix() * local;
            item.SetWorldMatrix(world, false, true);  // a world matrix, components kept
            EXPECT_TRUE(MatrixNear(item.GetLocalMatrix(), local, 1e-3f));
            EXPECT_TRUE(MatrixNear(item.GetWorldMatrix(), world, 1e-3f));
        }
    }
}

TEST(Item, SettersDirtyTheSubtreeButNotSiblings)
{
    nItem root(nullptr), a(nullptr), b(nullptr), c(nullptr), other(nullptr);
    a.SetParent(&root);
    b.SetParent(&root);
    c.SetParent(&a);
    for (nItem* item : {&root, &a, &b, &c, &other}) {
        item->SetPosition(nVector(1, 0, 0));
        item->GetInverseWorldMatrix();
        ASSERT_EQ(item->GetFlags() & ItemFlagDirty, 0u);
    }
    EXPECT_FLOAT_EQ(c.GetWorldMatrix().m[3], 3.0f);

    a.SetScale(nVector(2, 2, 2));
    EXPECT_EQ(a.GetFlags() & ItemFlagDirty, (uint32_t)ItemFlagDirty);
    EXPECT_EQ(c.GetFlags() & ItemFlagDirty, (uint32_t)(ItemFlagWorldDirty | ItemFlagInverseDirty));
    EXPECT_EQ(root.GetFlags() & ItemFlagDirty, 0u);
    EXPECT_EQ(b.GetFlags() & ItemFlagDirty, 0u);
    EXPECT_EQ(other.GetFlags() & ItemFlagDirty, 0u);

    // Reading the grandchild rebuilds exactly the stale matrices, parents first.
    EXPECT_FLOAT_EQ(c.GetWorldMatrix().m[3], 1.0f + 1.0f + 2.0f);
    EXPECT_FLOAT_EQ(c.GetWorldMatrix().m[0], 2.0f);
    EXPECT_EQ(a.GetFlags() & (ItemFlagLocalDirty | ItemFlagWorldDirty), 0u);
    EXPECT_NE(c.GetFlags() & ItemFlagInverseDirty, 0u);  // the inverse only on request

    root.SetPosition(nVector(10, 0, 0));
    EXPECT_FLOAT_EQ(c.GetWorldMatrix().m[3], 10.0f + 1.0f + 2.0f);
    EXPECT_FLOAT_EQ(b.GetWorldMatrix().m[3], 11.0f);
    EXPECT_FLOAT_EQ(other.GetWorldMatrix().m[3], 1.0f);

    // Parenting to the current parent changes nothing, not even the dirty bits.
    c.GetInverseWorldMatrix();
    uint32_t before = c.GetFlags();
    c.SetParent(&a);
    EXPECT_EQ(c.GetFlags(), before);
    EXPECT_EQ(a.GetChildren().GetCount(), 1);
}

TEST(Item, SetMatrixMakesTheWorldMatrixExact)
{
    std::mt19937 rng(5);
    nItem parent(nullptr), item(nullptr), child(nullptr);
    Apply(parent, RandomComponents(rng, RotationOrderYXZ));
    item.SetParent(&parent);
    child.SetParent(&item);
    item.SetPivot(RandomComponents(rng, RotationOrderYXZ).pivot);
    nMatrix4 m = Reference(RandomComponents(rng, RotationOrderZXY));
    child.GetWorldMatrix();
    item.SetMatrix(m);
    EXPECT_EQ(std::memcmp(item.GetWorldMatrix().m, m.m, sizeof(m.m)), 0);
    EXPECT_EQ(std::memcmp(item.GetInverseWorldMatrix().m, m.InverseTRS().m, sizeof(m.m)), 0);
    EXPECT_NE(child.GetFlags() & ItemFlagWorldDirty, 0u);
    EXPECT_TRUE(MatrixNear(child.GetWorldMatrix(), m * child.GetLocalMatrix(), 1e-5f));
}

// Marking stops at a node that is already stale, so every way of cleaning a node must leave
// its ancestors clean: random moves, whole-matrix sets, reads, re-parenting and raw flag
// writes over two chains, each step checking one node against its parent and local matrix.
TEST(Item, EveryNodeFollowsItsAncestorsWhateverWasReadOrSetBefore)
{
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> pick(0, 7), op(0, 6);
    std::uniform_real_distribution<float> pos(-5.0f, 5.0f), angle(-1.4f, 1.4f);
    std::vector<std::unique_ptr<nItem>> nodes;
    for (int i = 0; i < 8; ++i) {
        nodes.emplace_back(new nItem(nullptr));
        if (i % 4 != 0) nodes[i]->SetParent(nodes[i - 1].get());
    }
    auto rigid = [&]() {
        return nMatrix4::Translation(nVector(pos(rng), pos(rng), pos(rng))) *
               nMatrix4::FromMatrix3(nMatrix3::FromEuler(angle(rng), angle(rng), angle(rng), RotationOrderYXZ));
    };
    for (int step = 0; step < 3000; ++step) {
        nItem& n = *nodes[pick(rng)];
        switch (op(rng)) {
            case 0: n.SetPosition(nVector(pos(rng), pos(rng), pos(rng))); break;
            case 1: n.SetMatrix(rigid()); break;
            case 2: n.SetWorldMatrix(rigid(), true, false); break;
            case 3: n.GetWorldMatrix(); break;
            case 4: n.GetInverseWorldMatrix(); break;
            case 5: n.SetParent(pick(rng) < 2 ? nullptr : nodes[pick(rng)].get()); break;
            case 6: n.SetFlag(ItemFlagDirty, pick(rng) < 4); break;  // ignored
        }
        nItem& checked = *nodes[pick(rng)];
        const nMatrix4 local = checked.GetLocalMatrix();
        const nMatrix4 expected = checked.GetParent() ? checked.GetParent()->GetWorldMatrix() * local : local;
        ASSERT_TRUE(MatrixNear(checked.GetWorldMatrix(), expected, 2e-3f)) << "step " << step;
    }
}

// The plain recursive form of a hierarchy, as the node's contract states it: a setter marks
// the item 0x38 and every descendant 0x30; a read rebuilds the parent first, then the item,
// clearing its local and world bits (the inverse bit stays); world = parent world * local.
struct PlainHierarchy
{
    struct Node
    {
        int parent = -1;
        std::vector<int> children;
        Components c;
        uint32_t flags = ItemFlagDirty;
        nMatrix4 world;
    };
    std::vector<Node> nodes;

    void MarkWorld(int i)
    {
        nodes[i].flags |= ItemFlagWorldDirty | ItemFlagInverseDirty;
        for (int k : nodes[i].children) MarkWorld(k);
    }
    void Mark(int i)
    {
        nodes[i].flags |= ItemFlagDirty;
        for (int k : nodes[i].children) MarkWorld(k);
    }
    void Update(int i)
    {
        Node& n = nodes[i];
        if (n.flags & ItemFlagWorldDirty) {
            if (n.parent >= 0) Update(n.parent);
            n.world = n.parent >= 0 ? nodes[n.parent].world * Reference(n.c) : Reference(n.c);
        }
        n.flags &= ~(uint32_t)(ItemFlagLocalDirty | ItemFlagWorldDirty);
    }
    bool InSubtree(int root, int i) const
    {
        for (; i >= 0; i = nodes[i].parent)
            if (i == root) return true;
        return false;
    }
    void SetParent(int i, int p)
    {
        if (p >= 0 && nodes[i].parent == p) return;  // a root set to no parent is marked again
        if (nodes[i].parent >= 0) {
            std::vector<int>& siblings = nodes[nodes[i].parent].children;
            siblings.erase(std::find(siblings.begin(), siblings.end(), i));
        }
        nodes[i].parent = p;
        if (p >= 0) nodes[p].children.push_back(i);
        Mark(i);
    }
    // An item destroyed: its children become roots in attach order, each marked, and it leaves
    // its parent; a fresh item takes its place.
    void Replace(int i)
    {
        const std::vector<int> children = nodes[i].children;
        for (int k : children) SetParent(k, -1);
        SetParent(i, -1);
        nodes[i].flags = ItemFlagDirty;
    }
};

// Every item's children, in the order GetChildren gives them, against the plain form's.
testing::AssertionResult SameChildren(const std::vector<std::unique_ptr<nItem>>& items, const PlainHierarchy& plain)
{
    for (size_t k = 0; k < items.size(); ++k) {
        std::vector<int> seen;
        for (const nListNode<nItem*>* n = items[k]->GetChildren().GetHead(); n; n = n->next) {
            int index = -1;
            for (size_t j = 0; j < items.size(); ++j)
                if (items[j].get() == n->value) index = (int)j;
            seen.push_back(index);
        }
        if (seen != plain.nodes[k].children) return testing::AssertionFailure() << "children of node " << k;
    }
    return testing::AssertionSuccess();
}

// A wide and deep tree moved, re-parented and read in random orders: every flag word after
// every step, and every world matrix read, is what the plain recursive form gives.
TEST(Item, HierarchyUpdatesInRandomOrdersEqualThePlainRecursiveForm)
{
    const int kNodes = 300;
    std::mt19937 rng(35);
    std::uniform_int_distribution<int> pickNode(0, kNodes - 1), op(0, 5);
    PlainHierarchy plain;
    std::vector<std::unique_ptr<nItem>> items;
    for (int i = 0; i < kNodes; ++i) {
        items.emplace_back(new nItem(nullptr));
        plain.nodes.emplace_back();
        // Half the nodes continue the chain before them, the rest hang anywhere above.
        int parent = i == 0 ? -1 : (rng() % 2 ? i - 1 : (int)(rng() % (unsigned)i));
        if (parent >= 0) {
            items[i]->SetParent(items[parent].get());
            plain.SetParent(i, parent);
        }
        plain.nodes[i].c = RandomComponents(rng, RotationOrderYXZ);
        Apply(*items[i], plain.nodes[i].c);
        plain.Mark(i);
    }
    auto read = [&](int i) {
        plain.Update(i);
        ASSERT_TRUE(MatrixNear(items[i]->GetWorldMatrix(), plain.nodes[i].world, 2e-3f)) << "node " << i;
    };
    for (int step = 0; step < 2000; ++step) {
        const int i = pickNode(rng);
        switch (op(rng)) {
            case 0:
                plain.nodes[i].c.position = RandomComponents(rng, RotationOrderYXZ).position;
                items[i]->SetPosition(plain.nodes[i].c.position);
                plain.Mark(i);
                break;
            case 1:
                plain.nodes[i].c.rotation = RandomComponents(rng, RotationOrderYXZ).rotation;
                items[i]->SetRotation(plain.nodes[i].c.rotation);
                plain.Mark(i);
                break;
            case 2: {
                int p = pickNode(rng) % 8 == 0 ? -1 : pickNode(rng);
                if (p >= 0 && plain.InSubtree(i, p)) break;  // loops are repaired elsewhere
                items[i]->SetParent(p >= 0 ? items[p].get() : nullptr);
                plain.SetParent(i, p);
                break;
            }
            case 3:
            case 4:
                read(i);
                break;
            case 5: {
                // The whole tree read in a random order.
                std::vector<int> order(kNodes);
                for (int k = 0; k < kNodes; ++k) order[k] = k;
                std::shuffle(order.begin(), order.end(), rng);
                for (int k : order) read(k);
                break;
            }
        }
        if (HasFatalFailure()) return;
        for (int k = 0; k < kNodes; ++k)
            ASSERT_EQ(items[k]->GetFlags() & ItemFlagDirty, plain.nodes[k].flags & ItemFlagDirty) << "step " << step << " node " << k;
    }
}

// Families far wider than an item holds in its own line: children taken from the middle of
// a family, added to it and destroyed in random orders keep their attach order, and every
// flag word after every step is what the plain recursive form gives.
TEST(Item, WideFamiliesChangingInRandomOrdersEqualThePlainRecursiveForm)
{
    const int kNodes = 80, kHubs = 3;
    std::mt19937 rng(52);
    std::uniform_int_distribution<int> pickNode(0, kNodes - 1), pickHub(0, kHubs - 1), op(0, 4);
    PlainHierarchy plain;
    std::vector<std::unique_ptr<nItem>> items;
    auto create = [&](int i) {
        items[i].reset(new nItem(nullptr));
        plain.nodes[i].c = RandomComponents(rng, RotationOrderYXZ);
        Apply(*items[i], plain.nodes[i].c);
        plain.Mark(i);
    };
    auto attach = [&](int i, int p) {
        if (p >= 0 && plain.InSubtree(i, p)) return;  // loops are repaired elsewhere
        items[i]->SetParent(p >= 0 ? items[p].get() : nullptr);
        plain.SetParent(i, p);
    };
    for (int i = 0; i < kNodes; ++i) {
        items.emplace_back();
        plain.nodes.emplace_back();
        create(i);
        if (i >= kHubs) attach(i, pickHub(rng));
    }
    for (int step = 0; step < 3000; ++step) {
        const int i = pickNode(rng);
        switch (op(rng)) {
            case 0: attach(i, pickHub(rng)); break;
            case 1: attach(i, pickNode(rng) % 4 == 0 ? -1 : pickNode(rng)); break;
            case 2:
                plain.Replace(i);
                create(i);
                break;
            case 3: {
                const int hub = pickHub(rng);
                plain.nodes[hub].c.position = RandomComponents(rng, RotationOrderYXZ).position;
                items[hub]->SetPosition(plain.nodes[hub].c.position);
                plain.Mark(hub);
                break;
            }
            case 4:
                plain.Update(i);
                ASSERT_TRUE(MatrixNear(items[i]->GetWorldMatrix(), plain.nodes[i].world, 2e-3f)) << "step " << step;
                break;
        }
        ASSERT_TRUE(SameChildren(items, plain)) << "step " << step;
        for (int k = 0; k < kNodes; ++k)
            ASSERT_EQ(items[k]->GetFlags() & ItemFlagDirty, plain.nodes[k].flags & ItemFlagDirty) << "step " << step << " node " << k;
    }
}

TEST(Item, LinkOnlyPositionFollowsThePlaceButNotTheTurnOrScale)
{
    nItem parent(nullptr), item(nullptr);
    item.SetParent(&parent);
    parent.SetPosition(nVector(5, 0, 0));
    parent.SetRotation(nVector(0, 1.5707964f, 0));  // 90 degrees about Y
    parent.SetScale(nVector(2, 2, 2));
    item.SetPosition(nVector(1, 0, 0));
    item.SetRotation(nVector(0.3f, 0, 0));
    item.SetScale(nVector(3, 3, 3));
    item.SetPivot(nMatrix4::Translation(nVector(0, 7, 0)));
    item.SetFlag(ItemFlagLinkOnlyPosition, true);
    item.MarkDirty();

    const nMatrix4& w = item.GetWorldMatrix();
    nMatrix4 own = nMatrix4::FromMatrix3(nMatrix3::FromEuler(0.3f, 0, 0, RotationOrderYXZ));
    nVector origin = (parent.GetWorldMatrix() * item.GetLocalMatrix()).GetColumn(3, true);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(w.m[4 * r + c], own.m[4 * r + c], 1e-6f);
    EXPECT_TRUE(VectorNear(w.GetColumn(3, true), origin, 1e-5f));
    // The parent's turn and scale still place the origin: +x of the item lands on -z.
    nItem plain(nullptr);
    plain.SetParent(&parent);
    plain.SetPosition(nVector(1, 0, 0));
    EXPECT_TRUE(VectorNear(plain.GetWorldMatrix().GetColumn(3, true), nVector(5, 0, -2), 1e-5f));
}

TEST(Item, TargetTurnsTheThirdAxisUntilCleared)
{
    nItem parent(nullptr), item(nullptr);
    item.SetParent(&parent);
    parent.SetPosition(nVector(1, 2, 3));
    parent.SetRotation(nVector(0.2f, 0.4f, 0.1f));
    item.SetPosition(nVector(0, 0, 4));
    item.SetScale(nVector(2, 2, 2));
    nVector target(10, -5, 2);
    item.SetTarget(&target);
    EXPECT_NE(item.GetFlags() & ItemFlagHasTarget, 0u);

    const nMatrix4& w = item.GetWorldMatrix();
    nVector from = w.GetColumn(3, true);
    nVector axis = w.GetColumn(2, true).Normalize();
    EXPECT_TRUE(VectorNear(axis, (target - from).Normalize(), 1e-5f));
    EXPECT_NEAR(w.GetColumn(0, true).Length(), 2.0f, 1e-5f);  // the uniform scale stays
    EXPECT_TRUE(VectorNear(item.GetRotationMatrix().GetColumn(2), axis, 1e-5f));

    // A new target point is followed at the next update.
    nVector other(-3, 0, 0);
    item.SetTarget(&other);
    nVector towards = (other - item.GetWorldMatrix().GetColumn(3, true)).Normalize();
    EXPECT_TRUE(VectorNear(item.GetWorldMatrix().GetColumn(2, true).Normalize(), towards, 1e-5f));

    item.SetTarget(nullptr);
    EXPECT_EQ(item.GetFlags() & ItemFlagHasTarget, 0u);
    EXPECT_TRUE(VectorNear(item.GetTarget(), other, 0.0f));  // the point is kept
    nMatrix4 euler = parent.GetWorldMatrix() * nMatrix4::Translation(nVector(0, 0, 4)) * nMatrix4::Scaling(nVector(2, 2, 2));
    EXPECT_TRUE(MatrixNear(item.GetWorldMatrix(), euler, 1e-5f));
}

TEST(Item, ParentingToOwnDescendantRepairsTheLoop)
{
    nItem top(nullptr), a(nullptr), b(nullptr), c(nullptr), sibling(nullptr);
    a.SetParent(&top);
    b.SetParent(&a);
    c.SetParent(&b);
    sibling.SetParent(&a);
    a.SetPosition(nVector(1, 0, 0));
    b.SetPosition(nVector(0, 1, 0));
    c.SetPosition(nVector(0, 0, 1));

    nLogCapture log;
    a.SetParent(&c);
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"[*] Deadlock detected, link chain has been corrected.\n"});
    EXPECT_EQ(b.GetParent(), &top);  // lifted to a's old parent
    EXPECT_EQ(a.GetParent(), &c);
    EXPECT_EQ(sibling.GetParent(), &a);  // the rest of a's subtree moves with it
    EXPECT_TRUE(a.IsDescendantOf(&top));
    EXPECT_FALSE(b.IsDescendantOf(&a));
    EXPECT_EQ(top.GetChildren().GetCount(), 1);
    EXPECT_EQ(a.GetChildren().GetCount(), 1);
    // Local matrices stay, so a now sits under c.
    EXPECT_TRUE(VectorNear(a.GetWorldMatrix().GetColumn(3, true), nVector(1, 1, 1), 1e-6f));

    log.Clear();
    c.SetParent(&c);
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"[!] Cannot parent item to itself.\n"});
    EXPECT_EQ(c.GetParent(), &b);

    // Without an old parent the lifted child becomes a root.
    nItem r(nullptr), s(nullptr), t(nullptr);
    s.SetParent(&r);
    t.SetParent(&s);
    log.Clear();
    r.SetParent(&t);
    EXPECT_EQ(s.GetParent(), nullptr);
    EXPECT_EQ(r.GetParent(), &t);
    EXPECT_EQ(log.Lines().size(), 1u);
}

TEST(Item, DestroyingAnItemLeavesItsChildrenAsRoots)
{
    nItem parent(nullptr), child(nullptr);
    std::unique_ptr<nItem> middle(new nItem(nullptr));
    middle->SetParent(&parent);
    child.SetParent(middle.get());
    parent.SetPosition(nVector(5, 0, 0));
    child.SetPosition(nVector(0, 2, 0));
    EXPECT_FLOAT_EQ(child.GetWorldMatrix().m[3], 5.0f);
    middle.reset();
    EXPECT_EQ(child.GetParent(), nullptr);
    EXPECT_EQ(parent.GetChildren().GetCount(), 0);
    EXPECT_TRUE(VectorNear(child.GetWorldMatrix().GetColumn(3, true), nVector(0, 2, 0), 0.0f));
}

TEST(Item, ZeroScaleInvertsWithoutInfinities)
{
    nItem parent(nullptr), child(nullptr);
    child.SetParent(&parent);
    parent.SetPosition(nVector(1, 2, 3));
    parent.SetRotation(nVector(0.5f, 0.2f, 0));
    parent.SetScale(nVector(0, 0, 0));  // scripts hide items this way
    EXPECT_TRUE(Finite(parent.GetInverseWorldMatrix()));
    child.SetWorldMatrix(nMatrix4::Translation(nVector(4, 4, 4)), false, false);
    EXPECT_TRUE(Finite(child.GetLocalMatrix()));
    EXPECT_TRUE(std::isfinite(child.GetPosition().x));
    EXPECT_TRUE(Finite(child.GetWorldMatrix()));

    parent.SetScale(nVector(2, 0, 1));  // one axis flattened
    const nMatrix4& inv = parent.GetInverseWorldMatrix();
    EXPECT_TRUE(Finite(inv));
    nVector p(3, 0, 0);
    EXPECT_TRUE(VectorNear(p.Transform(parent.GetWorldMatrix()).Transform(inv), p, 1e-5f));
}

TEST(Item, RotationSettersAndOrder)
{
    nItem item(nullptr);
    nQuaternion q = nQuaternion::FromAxisAngle(0.7f, 0.3f, 1.0f, -0.2f);
    item.SetRotationQuaternion(q);
    EXPECT_TRUE(MatrixNear(item.GetRotationMatrix(), q.ToMatrix3(), 1e-5f));
    nMatrix3 m = nMatrix3::FromEuler(0.1f, -0.4f, 0.9f, RotationOrderZXY);
    item.SetRotationMatrix(m);
    EXPECT_TRUE(MatrixNear(item.GetRotationMatrix(), m, 1e-5f));

    nVector angles = item.GetRotation();
    item.SetRotationOrder(RotationOrderXYZ);  // same angles, another rotation
    EXPECT_TRUE(VectorNear(item.GetRotation(), angles, 0.0f));
    EXPECT_TRUE(MatrixNear(item.GetRotationMatrix(), nMatrix3::FromEulerVector(angles, RotationOrderXYZ), 1e-6f));
}

TEST(Item, WorldMinMaxIsTheLastComputedOrigin)
{
    nItem item(nullptr);
    item.SetPosition(nVector(1, 2, 3));
    item.GetWorldMatrix();
    item.SetPosition(nVector(9, 9, 9));
    nMinMax box;
    item.GetWorldMinMax(box);
    EXPECT_TRUE(Vector4Near(box.min, nVector(1, 2, 3, 1), 0.0f));
    EXPECT_TRUE(Vector4Near(box.max, nVector(1, 2, 3, 1), 0.0f));
}

// NML.

TEST(ItemNML, AFreshReadItemIsIdentityAndClean)
{
    nItem item(nullptr);
    item.SetPosition(nVector(4, 4, 4));
    item.SetFlag(ItemFlagInvisible | ItemFlagBone, true);
    nMetaTag tag("Item");
    ASSERT_TRUE(item.Deserialize(nullptr, &tag));
    EXPECT_TRUE(MatrixNear(item.GetLocalMatrix(), nMatrix4(), 0.0f));
    EXPECT_TRUE(MatrixNear(item.GetWorldMatrix(), nMatrix4(), 0.0f));
    EXPECT_EQ(item.GetFlags(), (uint32_t)ItemFlagInverseDirty);
}

TEST(ItemNML, RoundTrip)
{
    nItem item(nullptr);
    item.SetRotationOrder(RotationOrderXZY);
    item.SetPosition(nVector(1, -2, 3.5f));
    item.SetRotation(nVector(0.1f, 0.2f, 0.3f));
    item.SetScale(nVector(1, 2, 1));
    item.SetPivot(nMatrix4::Translation(nVector(0, 0.5f, 0)));
    nVector target(3, 3, 3);
    item.SetTarget(&target);
    item.SetFlag(ItemFlagInvisible | ItemFlagLinkOnlyPosition | ItemFlagBone, true);
    nVariant focus("Focus", 2.5f);
    item.GetRegistry().SetPathValue("DepthOfField:Focus", focus);

    std::unique_ptr<nMetaTag> tag(item.Serialize(nullptr));
    ASSERT_TRUE(tag);
    nItem back(nullptr);
    nLogCapture log;
    ASSERT_TRUE(back.Deserialize(nullptr, tag.get()));
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_EQ(back.GetRotationOrder(), RotationOrderXZY);
    EXPECT_TRUE(VectorNear(back.GetPosition(), item.GetPosition(), 0.0f));
    EXPECT_TRUE(VectorNear(back.GetRotation(), item.GetRotation(), 0.0f));
    EXPECT_TRUE(VectorNear(back.GetScale(), item.GetScale(), 0.0f));
    EXPECT_TRUE(VectorNear(back.GetTarget(), target, 0.0f));
    EXPECT_TRUE(MatrixNear(back.GetPivot(), item.GetPivot(), 0.0f));
    EXPECT_EQ(back.GetFlags() & ~ItemFlagDirty,
              (uint32_t)(ItemFlagHasTarget | ItemFlagInvisible | ItemFlagLinkOnlyPosition));  // the bone bit is not stored
    EXPECT_EQ(back.GetRegistry().GetFloat("DepthOfField:Focus;", 0.0f), 2.5f);
    EXPECT_TRUE(MatrixNear(back.GetWorldMatrix(), item.GetWorldMatrix(), 1e-6f));
}

TEST(ItemNML, WriteThresholdsAndFlagTag)
{
    struct Case
    {
        nVector position;
        nVector scale;
        bool writesPosition;
        bool writesScale;
    };
    const Case cases[] = {
        {nVector(0, 0, 0), nVector(1, 1, 1), false, false},
        {nVector(5e-7f, 0, -5e-7f), nVector(1 + 5e-7f, 1, 1), false, false},
        {nVector(0, 2e-6f, 0), nVector(1, 1, 1 - 2e-6f), true, true},
    };
    for (const Case& c : cases) {
        nItem item(nullptr);
        item.SetPosition(c.position);
        item.SetScale(c.scale);
        item.GetWorldMatrix();  // 0x20 still set: the flag word is not 0
        std::unique_ptr<nMetaTag> tag(item.Serialize(nullptr));
        EXPECT_EQ(tag->FindPath("Position;") != nullptr, c.writesPosition);
        EXPECT_EQ(tag->FindPath("Scale;") != nullptr, c.writesScale);
        EXPECT_EQ(tag->FindPath("Rotation;"), nullptr);
        EXPECT_EQ(tag->FindPath("OffsetMatrix;"), nullptr);
        EXPECT_NE(tag->FindPath("Target;"), nullptr);    // always
        EXPECT_NE(tag->FindPath("Registry;"), nullptr);  // always
        nMetaTag* flags = tag->FindPath("ItemFlag;");
        ASSERT_NE(flags, nullptr);
        EXPECT_EQ(flags->GetChildCount(), 0);  // only dirty bits: written empty
        nItem back(nullptr);
        ASSERT_TRUE(back.Deserialize(nullptr, tag.get()));
        EXPECT_EQ(back.GetFlags() & ~ItemFlagDirty, 0u);
    }
}

TEST(ItemNML, ReadingProblemsAndExtras)
{
    std::unique_ptr<nMetaTag> tag(new nMetaTag("Item"));
    tag->AddChild(new nMetaTag("RotationOrder", "ZYX"));
    tag->AddChild(new nMetaTag("RotationOrder", "YXX"));
    tag->AddChild(new nMetaTag("Colour", 1));
    tag->AddChild(new nMetaTag("OrientationQuaternion", 1));
    tag->AddChild(nVector(0, 0, 2).ToMetaTag("OffsetPosition", false));
    nMetaTag* flags = tag->AddChild(new nMetaTag("ItemFlag"));
    flags->AddChild(new nMetaTag("Invisible"));
    flags->AddChild(new nMetaTag("Selected"));
    nMetaTag* registry = tag->AddChild(new nMetaTag("Registry"));
    registry->AddChild(new nMetaTag("Key", 1));
    registry->AddChild(new nMetaTag("Key", 2));  // no duplicate test

    nItem item(nullptr);
    item.SetRotationOrder(RotationOrderXY);
    nLogCapture log;
    ASSERT_TRUE(item.Deserialize(nullptr, tag.get()));
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"[*] Unknown rotation order 'YXX'.\n",
                                                     "[*] Unknown tag 'Colour' in <Item>.\n"}));
    EXPECT_EQ(item.GetRotationOrder(), RotationOrderZYX);  // the first tag set it; the bad one left it
    EXPECT_TRUE(Vector4Near(item.GetPivot().GetColumn(3, false), nVector(0, 0, 2, 1), 0.0f));
    EXPECT_EQ(item.GetFlags() & ~ItemFlagDirty, (uint32_t)ItemFlagInvisible);
    EXPECT_EQ(item.GetRegistry().GetRootCount(), 2);

    nMetaTag bad("Items");
    log.Clear();
    EXPECT_FALSE(item.Deserialize(nullptr, &bad));
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"[!] Could not parse item. Root tag id is incorrect (Items).\n"});

    std::unique_ptr<nMetaTag> alone(new nMetaTag("Item"));
    alone->AddChild(new nMetaTag("RotationOrder", "XYZW"));
    nItem other(nullptr);
    other.SetRotationOrder(RotationOrderXY);
    ASSERT_TRUE(other.Deserialize(nullptr, alone.get()));
    EXPECT_EQ(other.GetRotationOrder(), RotationOrderYXZ);  // reset to 4 at the start of reading
}

}
