// The terrain walk of a 2048 x 2048 grid per frame: the quadtree cut by the camera's frustum and
// refined by distance, as the renderer asks it once a frame, from a viewer low over the ground
// and from one high above it; beside it in the same run, the plain walk that tests every
// 64 x 64-sample patch of the finest level against the frustum (what the tree saves). The
// counters give the patches queued per frame. The build of the tree and the normals at load,
// and the patch fill the drawer runs per drawn patch and pass, are measured too.
//
// Measured (RelWithDebInfo, load average about 20 on 8 cores): the walk 35 us low over the
// ground (44 patches) and 9 us from above (12 patches), against 180 and 205 us for the plain
// walk of the 1,024 finest patches; normals and tree 45 ms; a patch fill 19 us, 6 us for
// positions only.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "core/nFrustum.h"
#include "hub/nOrvex.h"
#include "render/gl/nGL3Renderer.h"
#include "scene/nCamera.h"
#include "scene/nTerrain.h"

namespace {

const int32_t kGrid = 2048;

// A rolling grid of 2048 x 2048 samples one unit apart, normals and tree built.
nTerrain* MakeTerrain(nOrvex* engine)
{
    nTerrain* terrain = new nTerrain(engine);
    terrain->SetSize(kGrid, kGrid, 1.0f);
    int16_t* samples = const_cast<int16_t*>(terrain->GetSamples());
    for (int32_t row = 0; row <= kGrid; ++row)
        for (int32_t column = 0; column <= kGrid; ++column)
            samples[(size_t)row * (kGrid + 1) + column] =
                (int16_t)(600.0 * std::sin(column * 0.01) * std::cos(row * 0.013) + 200.0 * std::sin((column + row) * 0.05));
    terrain->ComputeNormals(0, 0, 0, 0);
    terrain->BuildQuadtree();
    terrain->UpdateWorldMatrix();
    return terrain;
}

struct Viewer
{
    nVector position;
    nVector rotation;  // Euler angles, radians
};

// arg 0: a walker 2 units over the ground in the middle of the grid looking along it;
// arg 1: a viewer 1500 units up looking down at 60 degrees over the whole grid.
Viewer ViewerOf(int64_t which)
{
    if (which == 0) return Viewer{nVector(1024.0f, 30.0f, -200.0f), nVector(0.0f, 3.1415927f, 0.0f)};
    return Viewer{nVector(1024.0f, 1500.0f, 300.0f), nVector(1.0471976f, 3.1415927f, 0.0f)};
}

void PlaceCamera(nCamera& camera, const Viewer& viewer)
{
    camera.SetFar(5000.0f);
    camera.SetPosition(viewer.position);
    camera.SetRotation(viewer.rotation);
    camera.UpdateWorldMatrix();
    camera.ComputeFrustum(0, -1.0f, -1.0f);
}

void BM_TerrainWalk(benchmark::State& state)
{
    nOrvex engine;
    nTerrain* terrain = MakeTerrain(&engine);
    nCamera camera(&engine);
    PlaceCamera(camera, ViewerOf(state.range(0)));
    nRenderablePrimitiveList list;
    size_t records = 0;
    for (auto _ : state) {
        terrain->Enqueue(&camera, &list, 0);
        records = list.GetCount();
        DeletePrimitiveList(&list);
    }
    state.counters["patches"] = (double)records;
    delete terrain;
}
BENCHMARK(BM_TerrainWalk)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The peer: every finest patch (64 x 64 samples at step 1) tested against the frustum.
void BM_PlainPatchWalk(benchmark::State& state)
{
    nOrvex engine;
    nTerrain* terrain = MakeTerrain(&engine);
    nCamera camera(&engine);
    PlaceCamera(camera, ViewerOf(state.range(0)));
    std::vector<nMinMax> boxes;
    for (int32_t row = 0; row < kGrid; row += 64)
        for (int32_t column = 0; column < kGrid; column += 64) {
            int16_t lowest = 32767, highest = -32768;
            for (int32_t r = row; r <= row + 64; ++r)
                for (int32_t c = column; c <= column + 64; ++c) {
                    const int16_t h = terrain->GetSample(c, r);
                    lowest = h < lowest ? h : lowest;
                    highest = h > highest ? h : highest;
                }
            boxes.push_back(nMinMax(nVector((float)column, lowest / 20.0f, -(float)(row + 64), 1.0f),
                                    nVector((float)(column + 64), highest / 20.0f, -(float)row, 1.0f)));
        }
    const nMatrix4& world = terrain->GetWorldMatrix();
    size_t visible = 0;
    for (auto _ : state) {
        visible = 0;
        for (const nMinMax& box : boxes) visible += camera.GetFrustum().TestMinMax(box, &world) != VisibilityOutside;
        benchmark::DoNotOptimize(visible);
    }
    state.counters["patches"] = (double)visible;
    delete terrain;
}
BENCHMARK(BM_PlainPatchWalk)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Load-time work: normals and the tree over the whole grid.
void BM_TerrainNormalsAndTree(benchmark::State& state)
{
    nOrvex engine;
    nTerrain* terrain = MakeTerrain(&engine);
    for (auto _ : state) {
        terrain->ComputeNormals(0, 0, 0, 0);
        terrain->BuildQuadtree();
    }
    delete terrain;
}
BENCHMARK(BM_TerrainNormalsAndTree)->Unit(benchmark::kMillisecond);

// The drawer's fill of one patch (arg 1: positions only, as in the shadow pass).
void BM_TerrainPatchFill(benchmark::State& state)
{
    nOrvex engine;
    nTerrain* terrain = MakeTerrain(&engine);
    std::vector<float> staging(nGL3Renderer::kTerrainFloats);
    const nTerrainNode* node = terrain->GetQuadtree()->children[3]->children[0];
    for (auto _ : state) {
        nGL3Renderer::FillTerrainPatch(*terrain, *node, state.range(0) != 0, staging.data());
        benchmark::DoNotOptimize(staging.data());
    }
    delete terrain;
}
BENCHMARK(BM_TerrainPatchFill)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}
