// Linear container operations at scene scale (10k entries) against the standard containers:
// index walks over nList and nLinkedList, nArrayList access, and id lookups by FindById.
#include <benchmark/benchmark.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "core/nArrayList.h"
#include "core/nLinkedList.h"
#include "core/nList.h"

namespace {

const int kEntries = 10000;

struct Entry : nArrayEntry
{};

// Visits every element by index: quadratic for the lists, which walk from the head each time.
void BM_ListGetAtLoop(benchmark::State& state)
{
    static int value;
    nList<int*> list;
    for (int i = 0; i < state.range(0); ++i) list.InsertAfter(&value, nullptr);
    for (auto _ : state)
        for (int32_t i = 0; i < list.GetCount(); ++i) benchmark::DoNotOptimize(list.GetAt(i));
}
BENCHMARK(BM_ListGetAtLoop)->Arg(1000)->Arg(kEntries);

void BM_ListIterate(benchmark::State& state)
{
    static int value;
    nList<int*> list;
    for (int i = 0; i < state.range(0); ++i) list.InsertAfter(&value, nullptr);
    for (auto _ : state) {
        nList<int*>::Iterator it;
        while (int* v = list.Iterate(it)) benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(BM_ListIterate)->Arg(kEntries);

void BM_ArrayListGetLoop(benchmark::State& state)
{
    nArrayList list(64);
    for (int i = 0; i < state.range(0); ++i) list.Add(new Entry, true);
    for (auto _ : state)
        for (uint32_t i = 0; i < list.GetCount(); ++i) benchmark::DoNotOptimize(list.Get(i));
}
BENCHMARK(BM_ArrayListGetLoop)->Arg(kEntries);

void BM_VectorIndexLoop(benchmark::State& state)
{
    static int value;
    std::vector<int*> v(state.range(0), &value);
    for (auto _ : state)
        for (size_t i = 0; i < v.size(); ++i) benchmark::DoNotOptimize(v[i]);
}
BENCHMARK(BM_VectorIndexLoop)->Arg(kEntries);

// Looks up every id once.
void BM_FindById(benchmark::State& state)
{
    nLinkedListId list;
    std::vector<nString> ids;
    for (int i = 0; i < state.range(0); ++i) {
        std::string id = "item" + std::to_string(i);
        list.Add(new nLinkedListEntryId(id.c_str()), true, true);
        ids.emplace_back(id.c_str());
    }
    for (auto _ : state)
        for (const nString& id : ids) benchmark::DoNotOptimize(list.FindById(id, false));
}
BENCHMARK(BM_FindById)->Arg(1000)->Arg(kEntries);

void BM_UnorderedMapFind(benchmark::State& state)
{
    std::unordered_map<std::string, int> map;
    std::vector<std::string> ids;
    for (int i = 0; i < state.range(0); ++i) {
        ids.push_back("item" + std::to_string(i));
        map[ids.back()] = i;
    }
    for (auto _ : state)
        for (const std::string& id : ids) benchmark::DoNotOptimize(map.find(id));
}
BENCHMARK(BM_UnorderedMapFind)->Arg(1000)->Arg(kEntries);

void BM_ArrayListInsertFront(benchmark::State& state)
{
    for (auto _ : state) {
        nArrayList list(64);
        for (int i = 0; i < state.range(0); ++i) list.Insert(new Entry, 0, true);
    }
}
BENCHMARK(BM_ArrayListInsertFront)->Arg(kEntries);

}  // namespace
