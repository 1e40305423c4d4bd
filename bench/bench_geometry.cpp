// Geometry shading data and loading on a grid of about 1,000,000 triangles.
//
// BM_LoadGeometry: reading the geometry file (binary chunks: positions, polygons, vertex normals,
// one UV set) into a geometry, against reading and decoding the same file as an NML document
// alone, both in the same iterations in thread CPU time. Target: at most 2 times as long
// ("vs_parse"). Each side releases what it loaded inside its measured time.
// Both come cold and "/warm". The arrays of a loaded or shaded mesh are several times larger
// than the file (four floats per position and normal), so cold, much of the time is the kernel
// handing out fresh pages; "/warm" keeps freed memory in the process, as a long-running player
// that loads and frees meshes does, and measures the work itself (see SetMemoryMode).
// BM_NormalsAndTangents: polygon normals and tangent frames, the vertex-to-polygon table and the
// per-corner normals and tangent frames, all from scratch on a freshly built geometry, on one
// core, in thread CPU time. Target: at most 150 ns per triangle ("ns_per_triangle"), cold.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <malloc.h>
#include <string>
#include <unistd.h>

#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "hub/nOrvex.h"
#include "resources/nGeometry.h"
#include "resources/nMaterial.h"
#include "resources/nTexture.h"

namespace {

const int kSide = 708;  // vertices per grid side: 2 x 707 x 707 = 999,698 triangles

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

// A gently rolling height field of triangles with a UV set and a normal-mapped material.
void BuildGrid(nGeometry& g, nOrvex* engine)
{
    g.AllocateVertices(kSide * kSide);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x)
            g.vertices[y * kSide + x] = nVector((float)x, (float)y, 0.25f * (float)((x * 7 + y * 13) % 5));
    const int quads = (kSide - 1) * (kSide - 1);
    g.AllocatePolygons(2 * quads);
    for (int i = 0; i < 2 * quads; ++i) {
        g.polygons[i].count = 3;
        g.polygons[i].material = 0;
    }
    g.AllocateBindings();
    g.uvSetCount = 1;
    g.uvSets[0] = new nVector2[g.bindingCount];
    int32_t* b = g.bindings;
    nVector2* uv = g.uvSets[0];
    for (int y = 0; y + 1 < kSide; ++y)
        for (int x = 0; x + 1 < kSide; ++x) {
            const int32_t v00 = y * kSide + x, v10 = v00 + 1, v01 = v00 + kSide, v11 = v01 + 1;
            const int32_t corners[6] = {v00, v10, v11, v00, v11, v01};
            for (int k = 0; k < 6; ++k) {
                *b++ = corners[k];
                *uv++ = nVector2((float)(corners[k] % kSide) / kSide, (float)(corners[k] / kSide) / kSide);
            }
        }
    g.AllocateMaterials(1, true);
    g.materials[0]->maxSmoothingAngle = 0.5f;
    g.materials[0]->AddStage(MaterialChannelNormal, new nTexture(engine, 0, 0), MaterialUVMap, 0);
    g.materials[0]->ValidateStages();
}

// Cold: every large array comes as fresh pages from the kernel, as for the first mesh a player
// loads. The allocator's mmap threshold is pinned at its default: left dynamic, it rises after the
// first large free and later iterations would quietly reuse the pages of earlier ones. Warm: freed
// memory stays in the process and is handed out again, as in a long-running player that loads and
// frees meshes.
void SetMemoryMode(bool warm)
{
    const int threshold = warm ? 1 << 30 : 128 * 1024;
    mallopt(M_MMAP_THRESHOLD, threshold);
    mallopt(M_TRIM_THRESHOLD, threshold);
    if (!warm) malloc_trim(0);
}

void BM_LoadGeometry(benchmark::State& state)
{
    static nQuietLog quiet;
    g_log = &quiet;
    SetMemoryMode(state.range(0) != 0);
    nOrvex engine;
    char pattern[] = "/tmp/qz-bench-XXXXXX";
    if (!mkdtemp(pattern)) abort();
    const std::string path = std::string(pattern) + "/grid.nml";
    {
        nGeometry g(&engine);
        BuildGrid(g, &engine);
        g.ComputeVertexNormal(false);
        nMetaFile document;
        if (!g.SerializeToMetaFile(&document) || !document.Save(path.c_str())) abort();
    }
    double parse = 0.0, load = 0.0;
    uint32_t triangles = 0;
    for (auto _ : state) {
        double t0 = CpuSeconds();
        {
            nMetaFile document;
            if (!document.Load(path.c_str())) abort();
            benchmark::DoNotOptimize(document.GetRootCount());
        }
        double t1 = CpuSeconds();
        nGeometry* g = new nGeometry(&engine);
        if (!g->Load(path.c_str())) abort();
        triangles = g->polygonCount;
        delete g;
        double t2 = CpuSeconds();
        parse += t1 - t0;
        load += t2 - t1;
    }
    state.counters["triangles"] = triangles;
    state.counters["parse_ms"] = parse * 1e3 / state.iterations();
    state.counters["load_ms"] = load * 1e3 / state.iterations();
    state.counters["vs_parse"] = load / parse;
    std::remove(path.c_str());
    rmdir(pattern);
}

// Each iteration shades a geometry just built, as a loaded one is: its making and destruction
// are outside the measured time, and nothing derived is left over from an earlier iteration.
void BM_NormalsAndTangents(benchmark::State& state)
{
    static nQuietLog quiet;
    g_log = &quiet;
    SetMemoryMode(state.range(0) != 0);
    nOrvex engine;
    double seconds = 0.0;
    double triangles = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        nGeometry* g = new nGeometry(&engine);
        BuildGrid(*g, &engine);
        state.ResumeTiming();
        double t0 = CpuSeconds();
        g->ComputeVertexTangent(false);
        seconds += CpuSeconds() - t0;
        benchmark::DoNotOptimize(g->vertexTangents);
        state.PauseTiming();
        if (!g->vertexTangents || g->vertexTangents[7].tangent.Length() < 0.5f) state.SkipWithError("no tangent frames");
        triangles = (double)g->polygonCount;
        delete g;
        state.ResumeTiming();
    }
    state.counters["triangles"] = triangles;
    state.counters["ns_per_triangle"] = seconds * 1e9 / ((double)state.iterations() * triangles);
}
BENCHMARK(BM_LoadGeometry)->ArgName("warm")->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_NormalsAndTangents)->ArgName("warm")->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_LoadGeometry)->ArgName("warm")->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_NormalsAndTangents)->ArgName("warm")->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);

}
