// Material program generation and the program cache's signature lookup.
//
//   GenerateAllPasses  every generated pass (0, 2, 5, 3) of 1,000 distinct materials, assembled
//                      into program texts, as the renderer does when it sets them up.
//   ProgramCache / UnorderedMap
//                      finding each of 500 program signatures in the program cache's pass table,
//                      and the same keys in a std::unordered_map<std::string, program*>; compare
//                      the two times (the target is at most 1.2 times the map's).

#include "render/glsl/GL3_ShaderGenerator.h"
#include "render/glsl/nProgramCache.h"
#include "resources/nMaterial.h"
#include "resources/nRenderMap.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

void AddStage(nMaterial& m, int index, int32_t channel, int32_t uvSource, int uvIndex, int32_t op)
{
    nMaterialStage& s = m.GetStageAt(index);
    nTexture* texture = new nTexture(nullptr, 0, 0);
    texture->SetName(("t" + std::to_string(index) + ".tga").c_str());
    s.texture = texture;
    s.active = 1;
    s.channel = channel;
    s.uvSource = uvSource;
    s.uvIndex = (uint8_t)uvIndex;
    s.op = op;
}

// Material i of a family of distinct ones: flags, UV sets and stages taken from the bits of i.
std::unique_ptr<nMaterial> MakeMaterial(int i)
{
    static const uint32_t kFlags[5] = {MaterialRenderVertexColor, MaterialRenderNormalMapTangent, MaterialRenderSkinned,
                                       AlphaSoftZ, AlphaToFrame};
    std::unique_ptr<nMaterial> m(new nMaterial(nullptr));
    for (int bit = 0; bit < 5; ++bit)
        if (i & (1 << bit))
            m->renderFlags |= kFlags[bit];
    int stage = 0;
    AddStage(*m, stage++, MaterialChannelDiffuse, MaterialUVMap, (i >> 5) % 3, 0);
    if ((i / 96) % 2)
        AddStage(*m, stage++, MaterialChannelNormal, MaterialUVMap, 1, 0);
    if ((i / 192) % 2)
        AddStage(*m, stage++, MaterialChannelOpacity, MaterialUVMap, 0, 0);
    if ((i / 384) % 2)
        AddStage(*m, stage++, MaterialChannelDecal, MaterialUVMap, 2, 0);
    if ((i / 768) % 2)
        AddStage(*m, stage++, MaterialChannelReflection, MaterialFrontMap, 0, MaterialOperatorAdd);
    m->ValidateStages();
    m->SetRenderMap(m->BuildDefaultRenderMap());
    return m;
}

const std::vector<std::unique_ptr<nMaterial>>& Materials()
{
    static std::vector<std::unique_ptr<nMaterial>> materials = [] {
        std::vector<std::unique_ptr<nMaterial>> all;
        for (int i = 0; i < 1000; ++i)
            all.push_back(MakeMaterial(i));
        return all;
    }();
    return materials;
}

const int kPasses[4] = {GL3PassForward, GL3PassNormalDepth, GL3PassShadowDepth, GL3PassAttributes};

void GenerateAllPasses(benchmark::State& state)
{
    const auto& materials = Materials();
    GL3_ShaderGenerator generator;
    std::string vertex, fragment;
    size_t bytes = 0;
    for (auto _ : state) {
        for (const auto& m : materials) {
            for (int pass : kPasses) {
                generator.GenerateMaterialPass(*m, pass);
                generator.Assemble(&vertex, &fragment);
                bytes += vertex.size() + fragment.size();
            }
        }
        generator.Reset();
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)materials.size());
    state.counters["passes"] = (double)materials.size() * 4;
    benchmark::DoNotOptimize(bytes);
}
BENCHMARK(GenerateAllPasses)->Unit(benchmark::kMillisecond);

// 500 distinct signatures of the materials' passes, and the same keys as separate strings (as a
// generator hands them over).
const std::vector<std::string>& Signatures()
{
    static std::vector<std::string> signatures = [] {
        std::set<std::string> distinct;
        GL3_ShaderGenerator generator;
        for (const auto& m : Materials())
            for (int pass : kPasses) {
                generator.GenerateMaterialPass(*m, pass);
                distinct.insert(generator.GetSignature());
            }
        std::vector<std::string> out(distinct.begin(), distinct.end());
        if (out.size() > 500)
            out.resize(500);
        return out;
    }();
    return signatures;
}

int g_programs[500];

void ProgramCache(benchmark::State& state)
{
    const auto& keys = Signatures();
    nProgramCache<int> cache;
    for (size_t i = 0; i < keys.size(); ++i)
        cache.Add(GL3PassAttributes, keys[i], &g_programs[i]);
    const std::vector<std::string> lookups(keys.begin(), keys.end());
    for (auto _ : state)
        for (const std::string& key : lookups)
            benchmark::DoNotOptimize(cache.Find(GL3PassAttributes, key));
    state.SetItemsProcessed(state.iterations() * (int64_t)lookups.size());
    state.counters["programs"] = (double)keys.size();
}
BENCHMARK(ProgramCache);

void UnorderedMap(benchmark::State& state)
{
    const auto& keys = Signatures();
    std::unordered_map<std::string, int*> map;
    for (size_t i = 0; i < keys.size(); ++i)
        map.emplace(keys[i], &g_programs[i]);
    const std::vector<std::string> lookups(keys.begin(), keys.end());
    for (auto _ : state)
        for (const std::string& key : lookups)
            benchmark::DoNotOptimize(map.find(key)->second);
    state.SetItemsProcessed(state.iterations() * (int64_t)lookups.size());
    state.counters["programs"] = (double)keys.size();
}
BENCHMARK(UnorderedMap);

}
