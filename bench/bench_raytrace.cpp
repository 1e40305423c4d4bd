// The CPU raytracer on a fixed scene of 100,352 triangles: 16 lumpy tiles of 56 x 56 quads,
// each its own object (so rays cross the scene hierarchy and the geometries' own ones), seen
// by a 512 x 512 view from above.
//
// BM_Traversal/<threads>: nearest hits of the view's 262,144 camera rays through the scene
// hierarchy (nSceneBIH), one thread and every thread, and in the same iterations the same
// rays through Embree (a reference library, one flat scene of the same triangles in world
// space, same thread count). Counters: "rays_per_s" ours, "embree_rays_per_s" Embree's and
// "vs_embree", our time over Embree's. Target: vs_embree at most 3. The hit counts of both are
// compared (they differ only on rays that graze an edge).
// BM_Trace/<threads>: a whole trace of the view (lights, shadows, the supersampling pass),
// rays per second of the camera hierarchy as the raytracer counts them.
#include <benchmark/benchmark.h>

#include <embree3/rtcore.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "core/nLog.h"
#include "render/raytrace/nRaytracer.h"
#include "render/raytrace/nSceneBIH.h"
#include "resources/nGeometry.h"
#include "resources/nMaterial.h"
#include "resources/nRenderMap.h"
#include "scene/nCamera.h"
#include "scene/nLight.h"
#include "scene/nObject.h"
#include "scene/nScene.h"
#include "tests/scene/kit/nKitScene.h"

namespace {

const int kTiles = 4;   // 4 x 4 objects
const int kQuads = 56;  // 56 x 56 quads of 2 triangles each: 16 x 6,272 = 100,352 triangles
const float kTileSize = 10.0f;
const int kView = 512;

class nQuietLog : public nLog
{
protected:
    void Write(const char*, size_t) override {}
};

float Height(float x, float y)
{
    return 0.6f * std::sin(x * 1.7f) * std::cos(y * 1.3f) + 0.25f * std::sin(x * 5.1f + y * 3.7f);
}

// One tile in its own space (x, y across, z up towards the camera's -z), triangles.
nGeometry* MakeTile(nOrvex* engine, float x0, float y0)
{
    nGeometry* g = new nGeometry(engine);
    const int n = kQuads;
    g->AllocateVertices((uint32_t)((n + 1) * (n + 1)));
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x) {
            const float fx = kTileSize * x / n, fy = kTileSize * y / n;
            g->vertices[y * (n + 1) + x] = nVector(fx, fy, Height(x0 + fx, y0 + fy));
        }
    g->AllocatePolygons((uint32_t)(2 * n * n));
    for (int i = 0; i < 2 * n * n; ++i) {
        g->polygons[i].count = 3;
        g->polygons[i].material = 0;
    }
    g->AllocateBindings();
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const int32_t v = y * (n + 1) + x;
            int32_t* a = g->polygons[2 * (y * n + x)].bindings;
            int32_t* b = g->polygons[2 * (y * n + x) + 1].bindings;
            a[0] = v;
            a[1] = v + n + 1;
            a[2] = v + n + 2;  // faces -z
            b[0] = v;
            b[1] = v + n + 2;
            b[2] = v + 1;
        }
    g->AllocateMaterials(1, true);
    g->GetMaterial(0)->SetRenderMap(g->GetMaterial(0)->BuildDefaultRenderMap());
    return g;
}

struct Fixture
{
    Fixture()
    {
        static nQuietLog quiet;
        g_log = &quiet;
        for (int ty = 0; ty < kTiles; ++ty)
            for (int tx = 0; tx < kTiles; ++tx) {
                const float x0 = tx * kTileSize, y0 = ty * kTileSize;
                nMObject* o = static_cast<nMObject*>(kit.scene->CreateObject("tile", MakeTile(&kit.engine, x0, y0)));
                o->GetObject().SetPosition(nVector(x0, y0, 0));
            }
        nMCamera* camera = static_cast<nMCamera*>(kit.scene->CreateCamera("camera"));
        nCamera& c = camera->GetCamera();
        c.SetPosition(nVector(20, 20, -30));
        c.SetFov(1.2f);
        c.SetAspectRatio(1.0f);
        kit.scene->SetCurrentCamera(&c);
        nMLight* light = static_cast<nMLight*>(kit.scene->CreateLight("sun", LightTypePoint, 1.0f));
        light->GetLight().SetPosition(nVector(5, 10, -20));
        light->GetLight().SetShadow(LightShadowMap);
        tree.GrabScene(kit.scene, SceneBIHCamera);

        // The view's camera rays, as the raytracer makes them (pixel corners on the image plane).
        const nMatrix4& view = c.GetWorldMatrix();
        const float zoom = c.GetZoom();
        const nVector eye = view.GetColumn(3, true);
        const nVector tl = nVector(-1, 1, zoom).Transform(view), tr = nVector(1, 1, zoom).Transform(view),
                      bl = nVector(-1, -1, zoom).Transform(view);
        for (int y = 0; y < kView; ++y)
            for (int x = 0; x < kView; ++x) {
                const nVector p = tl + (tr - tl) * ((float)x / kView) + (bl - tl) * ((float)y / kView);
                origins.push_back(eye);
                directions.push_back((p - eye).Normalize());
            }

        // Embree: the same triangles in world space, one flat scene.
        device = rtcNewDevice(nullptr);
        embree = rtcNewScene(device);
        RTCGeometry mesh = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
        uint32_t triangles = 0, vertices = 0;
        for (int i = 0; i < tree.GetEntryCount(); ++i) {
            triangles += tree.GetEntries()[i].geometry->polygonCount;
            vertices += tree.GetEntries()[i].geometry->vertexCount;
        }
        triangleCount = triangles;
        float* vb = (float*)rtcSetNewGeometryBuffer(mesh, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, 3 * sizeof(float), vertices);
        uint32_t* ib = (uint32_t*)rtcSetNewGeometryBuffer(mesh, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3, 3 * sizeof(uint32_t), triangles);
        uint32_t vbase = 0;
        for (int i = 0; i < tree.GetEntryCount(); ++i) {
            const nSceneBIHEntry& e = tree.GetEntries()[i];
            const nGeometry* g = e.geometry;
            for (uint32_t v = 0; v < g->vertexCount; ++v) {
                const nVector w = g->vertices[v].Transform(e.world);
                vb[3 * (vbase + v) + 0] = w.x;
                vb[3 * (vbase + v) + 1] = w.y;
                vb[3 * (vbase + v) + 2] = w.z;
            }
            for (uint32_t p = 0; p < g->polygonCount; ++p)
                for (int k = 0; k < 3; ++k) *ib++ = vbase + (uint32_t)g->polygons[p].bindings[k];
            vbase += g->vertexCount;
        }
        rtcCommitGeometry(mesh);
        rtcAttachGeometry(embree, mesh);
        rtcReleaseGeometry(mesh);
        rtcCommitScene(embree);
    }
    ~Fixture()
    {
        rtcReleaseScene(embree);
        rtcReleaseDevice(device);
    }

    nKitScene kit;
    nSceneBIH tree;
    std::vector<nVector> origins, directions;
    RTCDevice device;
    RTCScene embree;
    uint32_t triangleCount = 0;
};

Fixture& Scene()
{
    static Fixture fixture;
    return fixture;
}

// Runs work(first, last) over the rays on threads threads; gives the hits and the seconds.
template<class Work>
double Split(int threads, size_t count, Work work, int64_t& hits)
{
    std::atomic<int64_t> total(0);
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&, t] {
            const size_t first = count * t / threads, last = count * (t + 1) / threads;
            total += work(first, last);
        });
    for (std::thread& t : pool) t.join();
    hits = total;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int ThreadsOf(const benchmark::State& state)
{
    return state.range(0) > 0 ? (int)state.range(0) : (int)std::max(1u, std::thread::hardware_concurrency());
}

void BM_Traversal(benchmark::State& state)
{
    Fixture& f = Scene();
    const int threads = ThreadsOf(state);
    const size_t count = f.origins.size();
    double ours = 0.0, theirs = 0.0;
    int64_t ourHits = 0, theirHits = 0;
    for (auto _ : state) {
        const double mine = Split(
            threads, count, [&](size_t first, size_t last) {
                int64_t hits = 0;
                for (size_t i = first; i < last; ++i) {
                    nSceneRay ray;
                    f.tree.Cast(ray, f.origins[i], f.directions[i], -1.0f);
                    hits += ray.hit;
                }
                return hits;
            },
            ourHits);
        ours += mine;
        theirs += Split(
            threads, count, [&](size_t first, size_t last) {
                int64_t hits = 0;
                RTCIntersectContext context;
                rtcInitIntersectContext(&context);
                for (size_t i = first; i < last; ++i) {
                    RTCRayHit rh;
                    rh.ray.org_x = f.origins[i].x;
                    rh.ray.org_y = f.origins[i].y;
                    rh.ray.org_z = f.origins[i].z;
                    rh.ray.dir_x = f.directions[i].x;
                    rh.ray.dir_y = f.directions[i].y;
                    rh.ray.dir_z = f.directions[i].z;
                    rh.ray.tnear = 0.0f;
                    rh.ray.tfar = INFINITY;
                    rh.ray.mask = 0xffffffffu;
                    rh.ray.flags = 0;
                    rh.ray.time = 0.0f;
                    rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
                    rh.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
                    rtcIntersect1(f.embree, &context, &rh);
                    hits += rh.hit.geomID != RTC_INVALID_GEOMETRY_ID;
                }
                return hits;
            },
            theirHits);
        state.SetIterationTime(mine);
    }
    const double iterations = (double)state.iterations();
    state.counters["threads"] = threads;
    state.counters["triangles"] = f.triangleCount;
    state.counters["rays_per_s"] = count * iterations / ours;
    state.counters["embree_rays_per_s"] = count * iterations / theirs;
    state.counters["vs_embree"] = ours / theirs;
    state.counters["hits"] = (double)ourHits;
    state.counters["embree_hits"] = (double)theirHits;
}
BENCHMARK(BM_Traversal)->Arg(1)->Arg(4)->Arg(0)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_Trace(benchmark::State& state)
{
    Fixture& f = Scene();
    nRaytracer tracer(&f.kit.engine);
    tracer.SetThreadCount(ThreadsOf(state));
    tracer.SetScene(f.kit.scene);
    double seconds = 0.0;
    uint64_t rays = 0;
    for (auto _ : state) {
        nPicture picture;
        const auto start = std::chrono::steady_clock::now();
        tracer.Trace(picture, 256, 256);
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        seconds += took;
        rays += tracer.GetHierarchy(0).GetRayCount();
        state.SetIterationTime(took);
    }
    state.counters["threads"] = ThreadsOf(state);
    state.counters["rays_per_s"] = rays / seconds;
}
BENCHMARK(BM_Trace)->Arg(1)->Arg(4)->Arg(0)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace
