// Sorting the render queue by depth: the in-place sort of the primitive list beside
// std::stable_sort of the same primitives in a vector, at 1,000, 10,000 and 100,000 entries.
// Each round sorts a fresh shuffle of the same depths, rebuilt outside the timing.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "render/nRenderQueue.h"

namespace {

std::vector<float> Depths(int64_t count)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> depth(0.0f, 500.0f);
    std::vector<float> depths((size_t)count);
    for (float& d : depths) d = depth(random);
    return depths;
}

void BM_SortPrimitiveList(benchmark::State& state)
{
    const std::vector<float> depths = Depths(state.range(0));
    std::vector<nRenderablePrimitive> primitives(depths.size());
    for (size_t i = 0; i < depths.size(); ++i) primitives[i].depth = depths[i];
    nRenderablePrimitiveList list;
    for (auto _ : state) {
        state.PauseTiming();
        list.Clear();
        for (nRenderablePrimitive& p : primitives) list.InsertAfter(&p, 0);
        state.ResumeTiming();
        SortPrimitiveList(&list);
        benchmark::DoNotOptimize(list.GetHead());
    }
    list.Clear();
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_StdStableSort(benchmark::State& state)
{
    const std::vector<float> depths = Depths(state.range(0));
    std::vector<nRenderablePrimitive> primitives(depths.size());
    for (size_t i = 0; i < depths.size(); ++i) primitives[i].depth = depths[i];
    std::vector<nRenderablePrimitive*> order;
    for (auto _ : state) {
        state.PauseTiming();
        order.clear();
        for (nRenderablePrimitive& p : primitives) order.push_back(&p);
        state.ResumeTiming();
        std::stable_sort(order.begin(), order.end(),
                         [](const nRenderablePrimitive* a, const nRenderablePrimitive* b) { return a->depth < b->depth; });
        benchmark::DoNotOptimize(order.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

}

BENCHMARK(BM_SortPrimitiveList)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(BM_StdStableSort)->Arg(1000)->Arg(10000)->Arg(100000);
