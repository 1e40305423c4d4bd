#include <gtest/gtest.h>

#include <vector>

#include "core/nList.h"
#include "core/nSharedObject.h"
#include "core/nString.h"

namespace {

// Values head to tail, checked against a walk tail to head and against the count, so every
// test also proves the prev/next links, head, tail and count agree.
template<class T>
std::vector<T> Values(const nList<T>& list)
{
    std::vector<T> forward;
    for (auto* n = list.GetHead(); n; n = n->next) forward.push_back(n->value);
    std::vector<T> backward;
    for (auto* n = list.GetTail(); n; n = n->prev) backward.insert(backward.begin(), n->value);
    EXPECT_EQ(forward, backward);
    EXPECT_EQ(static_cast<int32_t>(forward.size()), list.GetCount());
    return forward;
}

int g_values[8];
int* P(int i) { return &g_values[i]; }

TEST(nListPointer, InsertsAroundNodesAndAtBothEnds)
{
    nList<int*> list;
    auto* n1 = list.InsertAfter(P(1), nullptr);  // empty list: head and tail
    EXPECT_EQ(list.GetHead(), n1);
    EXPECT_EQ(list.GetTail(), n1);
    list.InsertAfter(P(3), n1);               // after the tail: new tail
    list.InsertBefore(P(0), nullptr);         // at the head
    list.InsertAfter(P(2), n1);               // in the middle
    list.InsertBefore(P(4), list.GetHead());  // before the head: new head
    list.InsertAfter(P(5), nullptr);          // at the tail
    EXPECT_EQ(Values(list), (std::vector<int*>{P(4), P(0), P(1), P(2), P(3), P(5)}));
}

TEST(nListPointer, GetNodeRefusesIndicesOutsideTheList)
{
    nList<int*> list;
    for (int i = 0; i < 3; ++i) list.InsertAfter(P(i), nullptr);
    EXPECT_EQ(list.GetNode(0), list.GetHead());
    EXPECT_EQ(list.GetNode(2), list.GetTail());
    EXPECT_EQ(list.GetNode(3), nullptr);
    EXPECT_EQ(list.GetNode(4), nullptr);
    EXPECT_EQ(list.GetNode(-1), nullptr);
    EXPECT_EQ(list.GetNode(INT32_MIN), nullptr);
    EXPECT_EQ(list.GetAt(0), P(0));
    EXPECT_EQ(list.GetAt(1), P(1));
    EXPECT_EQ(list.GetAt(3), nullptr);
    EXPECT_EQ(list.GetAt(-1), nullptr);
}

TEST(nListPointer, RemoveUnlinksOnlyTheFirstMatch)
{
    nList<int*> list;
    for (int i : {1, 2, 1, 3}) list.InsertAfter(P(i), nullptr);
    EXPECT_TRUE(list.Contains(P(2)));
    EXPECT_TRUE(list.Remove(P(1)));
    EXPECT_EQ(Values(list), (std::vector<int*>{P(2), P(1), P(3)}));
    EXPECT_FALSE(list.Remove(P(7)));
    EXPECT_TRUE(list.Remove(P(3)));  // the tail
    EXPECT_TRUE(list.Remove(P(2)));  // the head
    EXPECT_EQ(Values(list), (std::vector<int*>{P(1)}));
    EXPECT_FALSE(list.Contains(P(2)));
}

TEST(nListPointer, UnlinkDetachesTheNodeForTheCaller)
{
    nList<int*> list;
    for (int i = 0; i < 3; ++i) list.InsertAfter(P(i), nullptr);
    EXPECT_EQ(list.Unlink(nullptr), nullptr);
    auto* middle = list.GetNode(1);
    ASSERT_EQ(list.Unlink(middle), middle);
    EXPECT_EQ(middle->prev, nullptr);
    EXPECT_EQ(middle->next, nullptr);
    EXPECT_EQ(Values(list), (std::vector<int*>{P(0), P(2)}));
    delete middle;
    delete list.Unlink(list.GetHead());
    delete list.Unlink(list.GetTail());
    EXPECT_EQ(list.GetHead(), nullptr);
    EXPECT_EQ(list.GetTail(), nullptr);
    EXPECT_EQ(list.GetCount(), 0);
}

TEST(nListPointer, IteratingWhileRemovingVisitsEachOnceThenRestarts)
{
    nList<int*> list;
    for (int i = 0; i < 5; ++i) list.InsertAfter(P(i), nullptr);
    nList<int*>::Iterator it;
    std::vector<int*> seen;
    while (int* v = list.Iterate(it)) {
        seen.push_back(v);
        if (v != P(4)) list.Remove(v);  // drop everything but the last one
    }
    EXPECT_EQ(seen, (std::vector<int*>{P(0), P(1), P(2), P(3), P(4)}));
    EXPECT_EQ(Values(list), (std::vector<int*>{P(4)}));
    EXPECT_EQ(list.Iterate(it), P(4));  // back at the head after the end
    EXPECT_EQ(list.Iterate(it), nullptr);
}

TEST(nListPointer, BeginContinuesAfterTheGivenNode)
{
    nList<int*> list;
    for (int i = 0; i < 4; ++i) list.InsertAfter(P(i), nullptr);
    nList<int*>::Iterator it;
    list.Begin(it, list.GetNode(1));
    EXPECT_EQ(list.Iterate(it), P(2));
    EXPECT_EQ(list.Iterate(it), P(3));
    EXPECT_EQ(list.Iterate(it), nullptr);
    list.Begin(it, nullptr);  // a NULL node starts from the head
    EXPECT_EQ(list.Iterate(it), P(0));
}

TEST(nListPointer, ClearDoesNotTouchThePointees)
{
    int* owned = new int(42);
    {
        nList<int*> list;
        list.InsertAfter(owned, nullptr);
        list.Clear();
        EXPECT_EQ(list.GetCount(), 0);
        EXPECT_EQ(list.GetHead(), nullptr);
        list.InsertAfter(owned, nullptr);  // the destructor clears again
    }
    EXPECT_EQ(*owned, 42);
    delete owned;
}

// Caller-kept nodes against heap nodes: the same random joins (at the tail or after a
// member), leavings and releases on a list of each kind keep the same values in the same
// order, and Holds says which values are in.
TEST(nListPointer, CallerKeptNodesBehaveAsHeapNodes)
{
    const int kValues = 8;
    nList<int*> kept;
    nList<int*> heap;
    std::vector<nListNode<int*>> nodes;
    for (int i = 0; i < kValues; ++i) nodes.emplace_back(P(i));
    std::vector<nListNode<int*>*> heapNodes(kValues, nullptr);
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t bound) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 16) % bound;
    };
    for (int step = 0; step < 400; ++step) {
        const int i = (int)next(kValues);
        const uint32_t action = next(20);
        if (action == 0) {
            kept.Release();
            heap.Clear();
            heapNodes.assign(kValues, nullptr);
        } else if (kept.Holds(&nodes[i])) {
            kept.Unlink(&nodes[i]);
            delete heap.Unlink(heapNodes[i]);
            heapNodes[i] = nullptr;
        } else {
            // After a member chosen at random, or at the tail when none is.
            const int after = (int)next(kValues);
            const bool member = kept.Holds(&nodes[after]);
            EXPECT_EQ(kept.Link(&nodes[i], member ? &nodes[after] : nullptr), &nodes[i]);
            heapNodes[i] = heap.InsertAfter(P(i), member ? heapNodes[after] : nullptr);
        }
        ASSERT_EQ(Values(kept), Values(heap)) << "step " << step;
        for (int v = 0; v < kValues; ++v) {
            EXPECT_EQ(kept.Holds(&nodes[v]), heapNodes[v] != nullptr) << "step " << step << ", value " << v;
            if (!kept.Holds(&nodes[v])) {
                EXPECT_EQ(nodes[v].prev, nullptr);
                EXPECT_EQ(nodes[v].next, nullptr);
            }
        }
    }
    kept.Release();  // the nodes are the vector's: the list lets them go unfreed
    EXPECT_EQ(kept.GetCount(), 0);
    EXPECT_FALSE(kept.Holds(&nodes[0]));
}

struct Shared : nSharedObject
{
    explicit Shared(int* deaths) : deaths(deaths) {}
    ~Shared() override { ++*deaths; }
    int* deaths;
};

TEST(nListSharedPtr, NodesHoldOneReferenceEach)
{
    int deaths = 0;
    Shared* a = new Shared(&deaths);
    Shared* b = new Shared(&deaths);
    nList<nSharedPtr<Shared>> list;
    auto* na = list.Add(nSharedPtr<Shared>(a), true, false);
    list.Add(nSharedPtr<Shared>(b), true, false);
    EXPECT_EQ(a->GetRefCount(), 1);
    EXPECT_EQ(list.Add(nSharedPtr<Shared>(a), false, false), na);  // same target: the existing node
    EXPECT_EQ(list.GetCount(), 2);
    EXPECT_EQ(a->GetRefCount(), 1);
    list.Add(nSharedPtr<Shared>(a), false, true);  // duplicates allowed: at the head
    EXPECT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.GetHead()->value.Get(), a);
    EXPECT_EQ(a->GetRefCount(), 2);
    EXPECT_EQ(list.Find(b)->value.Get(), b);
    EXPECT_EQ(list.Find(static_cast<Shared*>(nullptr)), nullptr);

    nSharedPtr<Shared> got = list.GetAt(2);  // a new reference to the element
    EXPECT_EQ(got.Get(), b);
    EXPECT_EQ(b->GetRefCount(), 2);
    EXPECT_FALSE(list.GetAt(3).IsValid());  // past the end: an empty pointer

    list.Clear();          // drops every reference
    EXPECT_EQ(deaths, 1);  // a had only the list's references
    EXPECT_EQ(b->GetRefCount(), 1);
    got.Release();
    EXPECT_EQ(deaths, 2);
}

TEST(nListSharedPtr, DestroyingTheListDropsItsReferences)
{
    int deaths = 0;
    {
        nList<nSharedPtr<Shared>> list;
        for (int i = 0; i < 3; ++i) list.Add(nSharedPtr<Shared>(new Shared(&deaths)), true, true);
    }
    EXPECT_EQ(deaths, 3);
}

TEST(nListString, AddWithoutDuplicatesFindsAnEqualText)
{
    nList<nString> list;
    nString abc("abc");
    auto* first = list.Add(abc, true, false);
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first->value.GetCStr(), abc.GetCStr());  // a private copy
    EXPECT_EQ(list.Add(nString("abc"), true, false), first);
    EXPECT_EQ(list.GetCount(), 1);
    auto* second = list.Add(nString("abc"), true, true);
    EXPECT_NE(second, first);
    EXPECT_EQ(list.GetCount(), 2);
    list.Add(nString("xyz"), false, false);
    EXPECT_EQ(list.GetHead()->value, "xyz");
    EXPECT_EQ(list.Find(nString("abc")), first);
    EXPECT_EQ(list.Find("abc"), first);
    EXPECT_EQ(list.Find(nString("ab")), nullptr);
    EXPECT_EQ(list.GetNode(2), second);
}

TEST(nListString, EmptyStatesMatchAsPlainTexts)
{
    // Matching compares the element with the key's text: an unset key (no text) matches any
    // empty element, an empty-set key ("") only an empty-set element.
    nString unset;
    nString emptySet("");
    nList<nString> list;
    auto* u = list.Add(unset, true, false);
    EXPECT_EQ(list.Find(emptySet), nullptr);
    EXPECT_EQ(list.Find(unset), u);
    auto* e = list.Add(emptySet, true, false);
    EXPECT_NE(e, u);
    EXPECT_EQ(list.Find(emptySet), e);
    EXPECT_EQ(list.GetCount(), 2);
}

TEST(nListString, SplitAppendsPieces)
{
    nList<nString> list;
    EXPECT_EQ(nString("a//b").Split("/", list), 3);
    ASSERT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.GetAt(0), "a");
    EXPECT_EQ(list.GetAt(1).GetCStr(), nullptr);
    EXPECT_EQ(list.GetAt(2), "b");
}

}  // namespace
