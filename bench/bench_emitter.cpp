// An emitter's frame over 10,000 live particles (step: integration and curves; depth sort)
// against the same integration over plain arrays sorted with std::sort, in the same run. The
// emitter should stay within 1.5 times the plain arrays.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/nPairSort.h"
#include "core/nRandom.h"
#include "hub/nOrvex.h"
#include "scene/nEmitter.h"
#include "scene/nParticleModel.h"

namespace {

const int kParticles = 10000;
const float kStep = 1.0f / 60.0f;

// A model whose curves have a few keys, so that every particle evaluates real curves.
nParticleModel* MakeModel(nOrvex* engine)
{
    nParticleModel* model = new nParticleModel(engine);
    model->m_timeToLive = 1e9f;
    model->m_damping = 0.8f;
    model->m_gravity = nVector(0.0f, 0.0f, -9.8f, 1.0f);
    model->AddColorKey(0.0f, nVector(1.0f, 1.0f, 1.0f, 1.0f));
    model->AddColorKey(5.0f, nVector(0.2f, 0.2f, 0.2f, 0.0f));
    return model;
}

void BM_EmitterStepAndSort(benchmark::State& state)
{
    nOrvex engine;
    nSharedPtr<nParticleModel> model(MakeModel(&engine));
    nEmitter emitter(&engine);
    emitter.SetParticleModel(model.Get());
    emitter.SetPoolSize(kParticles);
    emitter.m_speedMax = 5.0f;
    emitter.m_sprayAngle = 1.0f;
    emitter.UpdateWorldMatrix();
    nRandSeed(77);
    emitter.AllocatePool();
    emitter.m_birthRate = (kParticles + 1) / kStep;  // fills the pool in one step
    emitter.Update(kStep);
    emitter.m_birthRate = 0.0f;
    nMatrix4 camera = nMatrix4::Translation(nVector(0.0f, 0.0f, -50.0f));
    nRenderablePrimitiveList list;
    for (auto _ : state) {
        emitter.Enqueue(&emitter, &list, 0);
        DeletePrimitiveList(&list);
        emitter.SortParticlesByDepth(camera);
        emitter.Update(kStep);
        benchmark::DoNotOptimize(emitter.GetSortedParticle(0));
    }
    state.counters["live"] = (double)emitter.GetSortedCount();
    emitter.SetParticleModel(nullptr);
}
BENCHMARK(BM_EmitterStepAndSort);

// The same particles as structure-of-arrays, the same integration and curves, std::sort.
void BM_PlainArraysStepAndSort(benchmark::State& state)
{
    nOrvex engine;
    nSharedPtr<nParticleModel> model(MakeModel(&engine));
    nParticleModel& m = *model;
    std::vector<float> age(kParticles), px(kParticles), py(kParticles), pz(kParticles), vx(kParticles),
        vy(kParticles), vz(kParticles), size(kParticles), angle(kParticles), red(kParticles), green(kParticles),
        blue(kParticles), opacity(kParticles);
    nRandSeed(77);
    for (int i = 0; i < kParticles; ++i) {
        age[i] = nRandFloat(1.0f);
        vx[i] = nRandRange(-3.0f, 3.0f), vy[i] = nRandRange(-3.0f, 3.0f), vz[i] = nRandRange(1.0f, 5.0f);
    }
    std::vector<std::pair<float, int>> sorted(kParticles);
    const float ax = 0.0f, ay = 0.0f, az = 1.0f;
    for (auto _ : state) {
        int count = 0;
        for (int i = 0; i < kParticles; ++i)
            if (age[i] >= 0.0f) sorted[count++] = {ax * px[i] + ay * py[i] + az * (pz[i] + 50.0f), i};
        std::sort(sorted.begin(), sorted.begin() + count,
                  [](const std::pair<float, int>& a, const std::pair<float, int>& b) { return a.first < b.first; });
        const float g = std::pow(m.m_damping, kStep);
        for (int i = 0; i < kParticles; ++i) {
            if (age[i] < 0.0f) continue;
            age[i] += kStep;
            if (age[i] >= m.m_timeToLive) {
                age[i] = -1.0f;
                continue;
            }
            px[i] += vx[i] * kStep, py[i] += vy[i] * kStep, pz[i] += vz[i] * kStep;
            vx[i] = (vx[i] + m.m_gravity.x * kStep) * g;
            vy[i] = (vy[i] + m.m_gravity.y * kStep) * g;
            vz[i] = (vz[i] + m.m_gravity.z * kStep) * g;
            m.m_size.Evaluate(age[i], size[i], 1, 1.1754944e-38f, 3.4028235e38f);
            m.m_angle.Evaluate(age[i], angle[i], 1, 1.1754944e-38f, 3.4028235e38f);
            m.m_red.Evaluate(age[i], red[i], 1, 1.1754944e-38f, 3.4028235e38f);
            m.m_green.Evaluate(age[i], green[i], 1, 1.1754944e-38f, 3.4028235e38f);
            m.m_blue.Evaluate(age[i], blue[i], 1, 1.1754944e-38f, 3.4028235e38f);
            m.m_opacity.Evaluate(age[i], opacity[i], 1, 1.1754944e-38f, 3.4028235e38f);
        }
        benchmark::DoNotOptimize(sorted.data());
        benchmark::DoNotOptimize(opacity.data());
    }
}
BENCHMARK(BM_PlainArraysStepAndSort);

}
