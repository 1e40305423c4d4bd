#ifndef N_RAYTRACER_H
#define N_RAYTRACER_H

#include <cstddef>
#include <cstdint>

#include "core/nMatrix.h"
#include "core/nVector.h"
#include "render/raytrace/nRaytraceHit.h"
#include "render/raytrace/nRaytracerShading.h"
#include "render/raytrace/nSceneBIH.h"
#include "resources/nBIH.h"
#include "resources/nPicture.h"
#include "scene/nScene.h"

class nOrvex;
class nLight;
class nShaderBlock;

// The quality options of a raytracer, 52 bytes, handed over and read back whole.
struct nRaytracerSettings
{
    int32_t shadowDepth = 32;      // most transparent surfaces a shadow ray passes through
    int32_t reflectionBudget = 2;  // recursion depth of reflected rays
    int32_t refractionBudget = 6;  // recursion depth of transmitted rays
    int32_t giBounces = 1;         // global-illumination bounce budget
    int32_t spreadSize = 8;        // n: each spread table holds n x n directions
    int32_t antialiasSamples = 4;  // supersamples per axis
    uint8_t shadows = 1;
    uint8_t globalIllumination = 0;
    uint8_t antialias = 1;           // the supersampling pass
    uint8_t transparentShadows = 1;  // else any hit blocks the light
    uint8_t reflections = 1;
    uint8_t unused29 = 1;
    uint8_t ambientWhenGISpent = 0;  // the scene's ambient light also when the GI budget is spent
    uint8_t jitter = 0;              // jittered supersamples
    uint8_t ambientOcclusion = 0;
    uint8_t fresnel = 0;  // Fresnel term on transparent surfaces
    uint8_t pad34[2] = {0, 0};
    float occlusionLength = 1.0f;
    float spreadAngle = 90.0f;  // cone of the spread tables, degrees
    uint8_t interlaced = 0;
    uint8_t startField = 1;  // field toggle an interlaced sequence starts with
    uint8_t halfHeightFields = 1;
    uint8_t pad47 = 0;
    float antialiasThreshold = 0.0075f;  // squared RGB distance to a neighbour that asks for supersampling
};
static_assert(sizeof(nRaytracerSettings) == 52, "the settings block is 52 bytes");

// Limits on what scripts may ask for: beyond them a trace would take hours or exhaust memory.
const int32_t kRaytraceMaxSize = 16384;     // picture width and height
const int32_t kRaytraceMaxSpreadSize = 64;  // spread table n (n x n gathered rays a hit)
const int32_t kRaytraceMaxSamples = 16;     // supersamples per axis
const int32_t kRaytraceSpreadTables = 32;

// An RGBA colour of the frame buffer and of shading, four floats.
struct nRaytraceColor
{
    float r = 0.0f, g = 0.0f, b = 0.0f, a = 0.0f;
};

// The three recursion counters of a ray.
struct nRaytraceBudget
{
    int32_t gi;
    int32_t reflection;
    int32_t refraction;
};

// One traced ray: the ray, what it met and the medium it travels in.
struct nRaytraceRay
{
    nVector origin;
    nVector direction;
    bool hit = false;
    float distance = -1.0f;
    bool backFace = false;
    int32_t nodeTests = 0;
    const nSceneBIHEntry* entry = 0;
    nRaytraceHit surface;      // geometry, polygon, corner weights, point, normal, item, material
    float mediumIndex = 1.0f;  // index of refraction of the medium the ray travels in
};

// Statistics of a trace.
struct nRaytraceStatistics
{
    uint64_t rays = 0;
    uint64_t nodeTests = 0;
};

// Where a trace stands, for a progress callback.
struct nRaytraceProgress
{
    class nRaytracer* raytracer = 0;
    const char* stage = "";
    int64_t startTicks = 0;
    float done = 0.0f;
    int32_t width = 0;
    int32_t row = 0;
    bool finished = false;
    bool stop = false;
};
typedef void (*nRaytraceProgressCallback)(const nRaytraceProgress& progress, void* context);

// Renders the view of a scene's current camera into a picture on the CPU: a copy of the
// scene's objects in two hierarchies (camera and shadow rays), lights with shadows through
// transparent surfaces, reflection, refraction with an optional Fresnel term, global
// illumination or ambient light, ambient occlusion, a primary pass of one ray a pixel and an
// edge-adaptive supersampling pass, and interlaced fields merged over successive traces. It
// uses every core: the result does not depend on how many. It listens to its scene: when an
// item it copied is deleted the copy is taken again at the next trace, and when the scene's
// content goes the raytracer lets the scene go.
class nRaytracer : public nSceneListener
{
public:
    explicit nRaytracer(nOrvex* engine);  // default settings and tables; no scene
    ~nRaytracer() override;               // ReleaseScene
    nRaytracer(const nRaytracer&) = delete;
    nRaytracer& operator=(const nRaytracer&) = delete;

    // Binding: copies the scene's objects into the hierarchies and takes its active lights.
    // False (logged) when out of memory, the scene then released.
    bool SetScene(nScene* scene);
    void ReleaseScene();
    nScene* GetScene() const { return m_scene; }
    void OnSceneEvent(int32_t code, void* data) override;

    // The settings block, whole. Sizes below 1 count as 1 and beyond the limits as the limits;
    // the spread tables are rebuilt.
    void SetSettings(const nRaytracerSettings& settings);
    void GetSettings(nRaytracerSettings& out) const { out = m_settings; }

    void StartInterlacedSequence();  // field toggle := start field; the stored field dropped

    // Renders width x height into picture (RGBA8). False without a current camera (silently),
    // for sizes outside 1..kRaytraceMaxSize, an odd height when interlaced, or when out of
    // memory. An interlaced trace leaves the picture empty on the first field of a frame.
    bool Trace(nPicture& picture, int32_t width, int32_t height);

    // One ray (ray.mediumIndex given, or the parent's; the hit filled in), with the scene as it
    // was bound or last traced.
    void TraceRay(nRaytraceRay& ray, nRaytraceColor& out, nRaytraceBudget budget, const nRaytraceRay* parent) const;
    // Transmission of the light along a shadow ray, in [0, 1].
    float TraceShadow(const nVector& origin, const nVector& direction, float distance, int32_t depth) const;
    // Schlick's reflectance of a surface of relative index eta, in [0, 1].
    static float FresnelTerm(const nVector& direction, const nVector& normal, float eta);
    // The direction refracted through a surface whose normal faces the ray, eta = index of the
    // medium left / index of the medium entered; false for total internal reflection.
    static bool Refract(const nVector& direction, const nVector& normal, float eta, nVector& out);

    // The material values at a hit (forwarded to the shading).
    bool EvaluateShaderBlock(const nRaytraceHit& hit, const nShaderBlock* block, ShaderValue& out) const
    {
        return m_shading.EvaluateShaderBlock(hit, block, out);
    }
    nVector GetMaterialChannel(const nRaytraceHit& hit, int32_t channel) const { return m_shading.GetMaterialChannel(hit, channel); }
    nVector GetStageColor(const nRaytraceHit& hit, int32_t channel) const { return m_shading.GetStageColor(hit, channel); }
    float GetOpacity(const nRaytraceHit& hit) const { return m_shading.GetOpacity(hit); }
    nVector GetHitNormal(const nRaytraceHit& hit) const { return m_shading.GetHitNormal(hit); }
    nVector GetHitVertexColor(const nRaytraceHit& hit) const { return m_shading.GetHitVertexColor(hit); }

    // Threads a trace runs on: 0 (the default) every core.
    void SetThreadCount(int32_t threads) { m_threadCount = threads < 0 ? 0 : threads; }
    int32_t GetThreadCount() const { return m_threadCount; }
    void SetProgressCallback(nRaytraceProgressCallback callback, void* context)
    {
        m_progress = callback;
        m_progressContext = context;
    }
    void Stop() { m_stop = 1; }

    const nRaytraceStatistics& GetStatistics() const { return m_statistics; }
    const nSceneBIH& GetHierarchy(int32_t variant) const { return m_trees[variant == 1 ? 1 : 0]; }
    int32_t GetLightCount() const { return m_lightCount; }
    const nVectorSpread& GetSpreadTable(int32_t i) const { return m_spread[i]; }
    const nPicture& GetAccumulation() const { return m_accumulation; }
    uint8_t GetFieldToggle() const { return m_fieldToggle; }
    // Pixels the last trace supersampled.
    uint64_t GetSupersampledCount() const { return m_supersampled; }

    // Called per pixel by the trace workers.
    struct Worker;

private:
    struct Light
    {
        nLight* light;
        nMatrix4 world;
    };

    void Shade(const nRaytraceRay& ray, nRaytraceColor& out, nRaytraceBudget budget, Worker& worker) const;
    float TraceShadowWith(const nVector& origin, const nVector& direction, float distance, int32_t depth, Worker& worker) const;
    void TraceRayWith(nRaytraceRay& ray, nRaytraceColor& out, nRaytraceBudget budget, const nRaytraceRay* parent,
                      Worker& worker) const;
    void Supersample(Worker& worker, int32_t x, int32_t imageRow, nRaytraceColor& out) const;
    nVector PixelPoint(float x, float imageRow) const;
    void PrimaryPass(nRaytraceColor* frame, int32_t width, int32_t rows, int32_t threads);
    void AntialiasPass(nRaytraceColor* frame, int32_t width, int32_t rows, int32_t threads);
    int32_t ImageRow(int32_t renderedRow) const;
    void PrepareScene();
    void PrepareTextures();  // on the calling thread, before tracing
    void ReportProgress(const char* stage, float done, int32_t row, bool finished);

    nOrvex* m_engine;
    volatile uint8_t m_stop;
    nScene* m_scene;
    mutable nSceneBIH m_trees[2];  // queries count rays
    nRaytraceStatistics m_statistics;
    Light* m_lights;
    int32_t m_lightCount;
    nRaytracerSettings m_settings;
    nVectorSpread m_spread[kRaytraceSpreadTables];
    uint8_t m_fieldToggle;
    nPicture m_accumulation;
    nRaytracerShading m_shading;
    nRaytraceProgressCallback m_progress;
    void* m_progressContext;
    nRaytraceProgress m_progressRecord;
    int32_t m_threadCount;
    uint64_t m_supersampled;
    bool m_stale;  // an item copied was deleted: take the scene again

    // The view of the trace running: camera position, image-plane corners, sizes, seed.
    nVector m_eye;
    nVector m_topLeft, m_topRight, m_bottomLeft;
    int32_t m_width, m_height;
    uint64_t m_seed;
    nVector m_clearColour;
    nVector m_ambient;
};

#endif
