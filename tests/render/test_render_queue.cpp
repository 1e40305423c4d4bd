#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "core/nRandom.h"
#include "hub/nOrvex.h"
#include "render/nNull_Renderer.h"
#include "render/nRenderQueue.h"

namespace {

// A drawable that appends one record per depth it was given, in order.
class DepthRenderable : public nRenderable
{
public:
    DepthRenderable(std::vector<float> depths, int tag) : m_depths(depths), m_tag(tag) {}

    void Enqueue(nItem* camera, nRenderablePrimitiveList* list, int32_t pass) override
    {
        lastCamera = camera;
        lastPass = pass;
        for (float d : m_depths)
            list->InsertAfter(new nRenderablePrimitive(RenderablePrimitiveGeometry, nullptr, d,
                                                       (void*)(intptr_t)m_tag),
                              nullptr);
        ++calls;
    }

    nItem* lastCamera = nullptr;
    int32_t lastPass = -1;
    int calls = 0;

private:
    std::vector<float> m_depths;
    int m_tag;
};

// (depth, tag) pairs of a list, read forwards; the backward walk must agree.
std::vector<std::pair<float, int>> Read(const nRenderablePrimitiveList& list)
{
    std::vector<std::pair<float, int>> forward, backward;
    for (auto* n = list.GetHead(); n; n = n->next)
        forward.push_back({n->value->depth, (int)(intptr_t)n->value->payload});
    for (auto* n = list.GetTail(); n; n = n->prev)
        backward.push_back({n->value->depth, (int)(intptr_t)n->value->payload});
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(forward, backward);
    EXPECT_EQ((int32_t)forward.size(), list.GetCount());
    return forward;
}

nItem* const kCamera = reinterpret_cast<nItem*>(0x10);

TEST(RenderQueue, EqualDepthsComeOutMostRecentlyQueuedFirst)
{
    nOrvex engine;
    nRenderer* r = engine.GetRenderer();
    DepthRenderable a({5.0f}, 1), b({5.0f}, 2), c({5.0f}, 3);
    r->QueueRenderable(&a);
    r->QueueRenderable(&b);
    r->QueueRenderable(&c);
    r->SetCamera(kCamera);
    nRenderablePrimitiveList list;
    r->BuildPrimitiveList(&list, 1);
    std::vector<std::pair<float, int>> want = {{5, 3}, {5, 2}, {5, 1}};
    EXPECT_EQ(Read(list), want);
    EXPECT_EQ(a.lastCamera, kCamera);
    EXPECT_EQ(a.lastPass, 1);
    DeletePrimitiveList(&list);
}

TEST(RenderQueue, SortIsAscendingAndStable)
{
    nOrvex engine;
    nRenderer* r = engine.GetRenderer();
    DepthRenderable a({3.0f, -1.0f}, 1), b({3.0f, 0.0f}, 2);
    r->QueueRenderable(&b);
    r->QueueRenderable(&a);  // a is visited first: records 3(a) -1(a) 3(b) 0(b)
    r->SetCamera(kCamera);
    nRenderablePrimitiveList list;
    r->BuildPrimitiveList(&list, 0);
    std::vector<std::pair<float, int>> want = {{-1, 1}, {0, 2}, {3, 1}, {3, 2}};
    EXPECT_EQ(Read(list), want);
    DeletePrimitiveList(&list);
}

TEST(RenderQueue, WithoutCameraTheListIsEmptiedAndStaysEmpty)
{
    nOrvex engine;
    nRenderer* r = engine.GetRenderer();
    DepthRenderable a({1.0f, 2.0f}, 1);
    r->QueueRenderable(&a);
    r->SetCamera(kCamera);
    nRenderablePrimitiveList list;
    r->BuildPrimitiveList(&list, 0);
    EXPECT_EQ(list.GetCount(), 2);
    r->SetCamera(nullptr);
    r->BuildPrimitiveList(&list, 0);  // the previous records are freed (checked by the sanitizer build)
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(a.calls, 1);
}

TEST(RenderQueue, QueueingTwiceVisitsTwiceAndResetEmptiesTheQueue)
{
    nOrvex engine;
    nRenderer* r = engine.GetRenderer();
    DepthRenderable a({1.0f}, 1);
    ASSERT_NE(r->QueueRenderable(&a), nullptr);
    ASSERT_NE(r->QueueRenderable(&a), nullptr);
    r->SetCamera(kCamera);
    nRenderablePrimitiveList list;
    r->BuildPrimitiveList(&list, 0);
    EXPECT_EQ(a.calls, 2);
    EXPECT_EQ(list.GetCount(), 2);
    r->ResetRenderQueue();
    r->BuildPrimitiveList(&list, 0);
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(a.calls, 2);
}

// Random lists of every small size and a few large ones against std::stable_sort, with
// many equal depths, the head and tail nodes taking part in every position.
TEST(RenderQueue, SortAgreesWithAStableSortOnRandomLists)
{
    nRandSeed(3);
    std::vector<int> sizes;
    for (int n = 0; n <= 40; ++n) sizes.push_back(n);
    sizes.push_back(1000);
    sizes.push_back(10000);
    for (int n : sizes) {
        for (int round = 0; round < (n < 100 ? 20 : 1); ++round) {
            nRenderablePrimitiveList list;
            std::vector<std::pair<float, int>> model;
            for (int i = 0; i < n; ++i) {
                float d = (float)nRandInt(n / 3 + 2) - 2.0f;
                list.InsertAfter(new nRenderablePrimitive(0, nullptr, d, (void*)(intptr_t)i), nullptr);
                model.push_back({d, i});
            }
            SortPrimitiveList(&list);
            std::stable_sort(model.begin(), model.end(),
                             [](const std::pair<float, int>& a, const std::pair<float, int>& b) { return a.first < b.first; });
            ASSERT_EQ(Read(list), model) << "size " << n;
            DeletePrimitiveList(&list);
        }
    }
}

// (depth, tag) pairs sorted as the queue sorts them: ascending, equal depths in list order.
std::vector<std::pair<float, int>> StableByDepth(std::vector<std::pair<float, int>> model)
{
    std::stable_sort(model.begin(), model.end(),
                     [](const std::pair<float, int>& a, const std::pair<float, int>& b) { return a.first < b.first; });
    return model;
}

// A list of the depths in order, each record tagged with its index.
void Fill(nRenderablePrimitiveList& list, const std::vector<float>& depths)
{
    for (size_t i = 0; i < depths.size(); ++i)
        list.InsertAfter(new nRenderablePrimitive(0, nullptr, depths[i], (void*)(intptr_t)i), nullptr);
}

// Depths over the whole float range, negative and positive, with every bit of them in play.
TEST(RenderQueue, SortAgreesWithAStableSortOnRandomFloatDepths)
{
    std::mt19937 random(11);
    for (float range : {1.0f, 500.0f, 1e30f}) {
        std::uniform_real_distribution<float> depth(-range, range);
        std::vector<float> depths(10000);
        for (float& d : depths) d = depth(random);
        for (size_t i = 0; i < depths.size(); i += 7) depths[i] = depths[i / 2];  // some equal depths
        nRenderablePrimitiveList list;
        Fill(list, depths);
        std::vector<std::pair<float, int>> model;
        for (size_t i = 0; i < depths.size(); ++i) model.push_back({depths[i], (int)i});
        SortPrimitiveList(&list);
        EXPECT_EQ(Read(list), StableByDepth(model)) << "range " << range;
        DeletePrimitiveList(&list);
    }
}

// Infinities of one sign are equal depths and keep their order; -0 equals +0; a depth that is
// not a number goes after every number, in list order.
TEST(RenderQueue, InfinitiesZeroesAndNaNSortToFixedPlaces)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> depths = {inf, 1.0f, -inf, inf, nan, 0.0f, -0.0f, -nan, -inf, 2.0f};
    nRenderablePrimitiveList list;
    Fill(list, depths);
    SortPrimitiveList(&list);
    std::vector<int> order, backward;
    for (auto* n = list.GetHead(); n; n = n->next) order.push_back((int)(intptr_t)n->value->payload);
    for (auto* n = list.GetTail(); n; n = n->prev) backward.insert(backward.begin(), (int)(intptr_t)n->value->payload);
    EXPECT_EQ(order, (std::vector<int>{2, 8, 5, 6, 1, 9, 0, 3, 4, 7}));
    EXPECT_EQ(backward, order);
    DeletePrimitiveList(&list);
}

}
