// Skinning 100,000 vertices of four weighted bones each on the CPU: the object's blend of its
// posed bone matrices beside a plain loop doing the same arithmetic on bare arrays. The
// "time_per_vertex" counters of the two runs are the figures to compare (target: at most 1.5x).

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "core/nMatrix.h"
#include "core/nRandom.h"
#include "hub/nOrvex.h"
#include "resources/nGeometry.h"
#include "scene/nItem.h"
#include "scene/nObject.h"

namespace {

const uint32_t kVertices = 100000;
const int32_t kBones = 32;

struct SkinFixture
{
    SkinFixture() : object(&engine), out(kVertices)
    {
        nRandSeed(11);
        nGeometry* g = new nGeometry(&engine);
        g->AllocateVertices(kVertices);
        g->skinWeights = new nSkinWeight[kVertices];
        for (uint32_t v = 0; v < kVertices; ++v) {
            g->vertices[v] = nVector::Random(-10.0f, 10.0f);
            float total = 0.0f;
            for (int k = 0; k < 4; ++k) {
                g->skinWeights[v].bone[k] = (uint16_t)(nRandRange(0.0f, (float)kBones - 0.01f));
                g->skinWeights[v].weight[k] = nRandRange(0.1f, 1.0f);
                total += g->skinWeights[v].weight[k];
            }
            for (int k = 0; k < 4; ++k) g->skinWeights[v].weight[k] /= total;
        }
        g->AllocateSkin(kBones);
        for (int32_t b = 0; b < kBones; ++b)
            g->bindMatrices[b] = nMatrix4::Translation(nVector::Random(-1.0f, 1.0f));
        object.SetGeometry(g, true);
        bones.reserve(kBones);
        for (int32_t b = 0; b < kBones; ++b) {
            bones.emplace_back(new nItem(&engine));
            bones.back()->SetPosition(nVector::Random(-5.0f, 5.0f));
            bones.back()->SetRotation(nVector::Random(-3.0f, 3.0f));
            object.SetBone(b, bones.back());
        }
        object.UpdateSkinning();

        // The same data as bare arrays for the reference loop.
        positions.resize(3 * kVertices);
        weights.resize(4 * kVertices);
        indices.resize(4 * kVertices);
        for (uint32_t v = 0; v < kVertices; ++v) {
            positions[3 * v] = g->vertices[v].x;
            positions[3 * v + 1] = g->vertices[v].y;
            positions[3 * v + 2] = g->vertices[v].z;
            for (int k = 0; k < 4; ++k) {
                weights[4 * v + k] = g->skinWeights[v].weight[k];
                indices[4 * v + k] = g->skinWeights[v].bone[k];
            }
        }
        matrices.resize(12 * kBones);
        for (int32_t b = 0; b < kBones; ++b)
            for (int j = 0; j < 12; ++j) matrices[12 * b + j] = object.GetBoneMatrices()[b].m[j];
        reference.resize(3 * kVertices);
    }
    ~SkinFixture()
    {
        object.SetGeometry(nullptr, false);
        for (nItem* bone : bones) delete bone;
    }

    nOrvex engine;
    nObject object;
    std::vector<nItem*> bones;
    std::vector<nVector> out;
    std::vector<float> positions;
    std::vector<float> weights;
    std::vector<uint16_t> indices;
    std::vector<float> matrices;
    std::vector<float> reference;
};

SkinFixture& Fixture()
{
    static SkinFixture* fixture = new SkinFixture;
    return *fixture;
}

void SetCounters(benchmark::State& state)
{
    state.SetItemsProcessed((int64_t)state.iterations() * kVertices);
    state.counters["time_per_vertex"] = benchmark::Counter((double)kVertices,
                                                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_ObjectSkinVertices(benchmark::State& state)
{
    SkinFixture& f = Fixture();
    for (auto _ : state) {
        f.object.SkinVertices(f.out.data());
        benchmark::DoNotOptimize(f.out.data());
        benchmark::ClobberMemory();
    }
    SetCounters(state);
}

// Weighted sum of the four bone matrices' top rows, applied once, on bare arrays.
void BM_ReferenceSkinning(benchmark::State& state)
{
    SkinFixture& f = Fixture();
    const float* positions = f.positions.data();
    const float* weights = f.weights.data();
    const uint16_t* indices = f.indices.data();
    const float* matrices = f.matrices.data();
    float* out = f.reference.data();
    for (auto _ : state) {
        for (uint32_t v = 0; v < kVertices; ++v) {
            float m[12] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
            for (int k = 0; k < 4; ++k) {
                const float w = weights[4 * v + k];
                const float* s = matrices + 12 * indices[4 * v + k];
                for (int j = 0; j < 12; ++j) m[j] += w * s[j];
            }
            const float x = positions[3 * v], y = positions[3 * v + 1], z = positions[3 * v + 2];
            out[3 * v] = m[0] * x + m[1] * y + m[2] * z + m[3];
            out[3 * v + 1] = m[4] * x + m[5] * y + m[6] * z + m[7];
            out[3 * v + 2] = m[8] * x + m[9] * y + m[10] * z + m[11];
        }
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    SetCounters(state);
}

}

BENCHMARK(BM_ObjectSkinVertices)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReferenceSkinning)->Unit(benchmark::kMicrosecond);
