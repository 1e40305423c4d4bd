// Ray casting through a geometry's bounding interval hierarchy on a lumpy sphere of 100,352
// triangles, with the build time beside it.
//
// BM_GeometryBIHRays: nearest hits of rays from around the sphere towards points inside it,
// through the hierarchy, against the same rays tested polygon by polygon (the leaves' own test,
// every polygon in turn), both in the same iterations in thread CPU time. Target: the hierarchy
// at least 50 times as fast ("vs_brute_force" at least 50). The hit counts of both are compared
// on every ray they share.
// BM_GeometryBIHBuild: building the hierarchy of the same mesh ("build_ms"), polygon normals
// included as a loaded geometry without them needs.
#include <benchmark/benchmark.h>

#include <cfloat>
#include <cmath>
#include <ctime>
#include <random>
#include <vector>

#include "core/nLog.h"
#include "hub/nOrvex.h"
#include "resources/nGeometry.h"
#include "resources/nGeometryBIH.h"
#include "resources/nMaterial.h"

namespace {

const int kRings = 224;  // 2 x 224 x 224 = 100,352 triangles
const int kSectors = 224;

class nQuietLog : public nLog
{
protected:
    void Write(const char*, size_t) override {}
};

double CpuSeconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

// A sphere of radius about 10 with bumps, as triangles between latitude rings.
void BuildLumpySphere(nGeometry& g)
{
    const int side = kSectors + 1;
    g.AllocateVertices((uint32_t)((kRings + 1) * side));
    for (int r = 0; r <= kRings; ++r)
        for (int s = 0; s <= kSectors; ++s) {
            const float polar = 3.14159265f * (float)r / kRings, azimuth = 6.2831853f * (float)s / kSectors;
            const float radius = 10.0f + 0.3f * std::sin(7.0f * polar) * std::cos(5.0f * azimuth);
            g.vertices[r * side + s] = nVector(radius * std::sin(polar) * std::cos(azimuth),
                                               radius * std::sin(polar) * std::sin(azimuth), radius * std::cos(polar));
        }
    g.AllocatePolygons(2 * kRings * kSectors);
    for (uint32_t i = 0; i < g.polygonCount; ++i) {
        g.polygons[i].count = 3;
        g.polygons[i].material = 0;
    }
    g.AllocateBindings();
    int32_t* b = g.bindings;
    for (int r = 0; r < kRings; ++r)
        for (int s = 0; s < kSectors; ++s) {
            const int32_t v00 = r * side + s, v01 = v00 + 1, v10 = v00 + side, v11 = v10 + 1;
            const int32_t corners[6] = {v00, v10, v11, v00, v11, v01};
            for (int k = 0; k < 6; ++k) *b++ = corners[k];
        }
    g.AllocateMaterials(1, true);
    g.materials[0]->renderFlags |= MaterialRenderDoubleSided;
}

struct Ray
{
    nVector origin, direction;
};

std::vector<Ray> AroundTheSphere(int count)
{
    std::mt19937 random(3);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::vector<Ray> rays;
    for (int i = 0; i < count; ++i) {
        nVector from(unit(random), unit(random), unit(random));
        from = from.Normalize() * 30.0f;
        const nVector to(unit(random) * 8.0f, unit(random) * 8.0f, unit(random) * 8.0f);
        rays.push_back(Ray{from, to - from});
    }
    return rays;
}

void BM_GeometryBIHRays(benchmark::State& state)
{
    static nQuietLog quiet;
    g_log = &quiet;
    nOrvex engine;
    nGeometry g(&engine);
    BuildLumpySphere(g);
    nGeometryBIH bih;
    if (!bih.Build(&g)) {
        state.SkipWithError("no hierarchy");
        return;
    }
    const std::vector<Ray> rays = AroundTheSphere(4096);
    const size_t kBruteRays = 8;  // per iteration, taken in turn
    double tree = 0.0, brute = 0.0;
    size_t treeRays = 0, bruteRays = 0, next = 0;
    for (auto _ : state) {
        double t0 = CpuSeconds();
        int32_t hits = 0;
        for (const Ray& r : rays) {
            nBIHRay ray;
            bih.CastRay(ray, r.origin, r.direction, 0.0f);
            hits += ray.hit;
        }
        double t1 = CpuSeconds();
        std::vector<nBIHRay> expected(kBruteRays);
        for (size_t i = 0; i < kBruteRays; ++i) {
            const Ray& r = rays[(next + i) % rays.size()];
            nBIHRay& ray = expected[i];
            ray.origin = r.origin;
            ray.direction = r.direction;
            for (uint32_t p = 0; p < g.polygonCount; ++p) bih.TestPolygon((int32_t)p, 0.0f, FLT_MAX, ray);
        }
        double t2 = CpuSeconds();
        for (size_t i = 0; i < kBruteRays; ++i) {
            const Ray& r = rays[(next + i) % rays.size()];
            nBIHRay ray;
            bih.CastRay(ray, r.origin, r.direction, 0.0f);
            if (ray.hitDistance != expected[i].hitDistance) state.SkipWithError("the hierarchy and brute force disagree");
        }
        benchmark::DoNotOptimize(hits);
        tree += t1 - t0;
        brute += t2 - t1;
        treeRays += rays.size();
        bruteRays += kBruteRays;
        next += kBruteRays;
    }
    const double treeNs = tree * 1e9 / (double)treeRays, bruteNs = brute * 1e9 / (double)bruteRays;
    state.counters["triangles"] = g.polygonCount;
    state.counters["ns_per_ray"] = treeNs;
    state.counters["brute_ns_per_ray"] = bruteNs;
    state.counters["vs_brute_force"] = bruteNs / treeNs;
}

void BM_GeometryBIHBuild(benchmark::State& state)
{
    static nQuietLog quiet;
    g_log = &quiet;
    nOrvex engine;
    double seconds = 0.0;
    uint32_t triangles = 0, nodes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        nGeometry* g = new nGeometry(&engine);
        BuildLumpySphere(*g);
        nGeometryBIH* bih = new nGeometryBIH();
        state.ResumeTiming();
        double t0 = CpuSeconds();
        if (!bih->Build(g)) state.SkipWithError("no hierarchy");
        seconds += CpuSeconds() - t0;
        state.PauseTiming();
        triangles = g->polygonCount;
        nodes = (uint32_t)bih->GetNodeCount();
        delete bih;
        delete g;
        state.ResumeTiming();
    }
    state.counters["triangles"] = triangles;
    state.counters["nodes"] = nodes;
    state.counters["build_ms"] = seconds * 1e3 / (double)state.iterations();
}

BENCHMARK(BM_GeometryBIHRays)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_GeometryBIHBuild)->Unit(benchmark::kMillisecond)->Iterations(10);

}
