// The CPU raytracer: settings and spread tables, binding a scene, the two passes of a trace
// with their threads, interlaced fields, and the shading of one hit.
#include "render/raytrace/nRaytracer.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "core/nList.h"
#include "core/nLog.h"
#include "core/nRandom.h"
#include "resources/nGeometry.h"
#include "resources/nMaterial.h"
#include "resources/nPictureFormat.h"
#include "resources/nRenderMap.h"
#include "scene/nCamera.h"
#include "scene/nItem.h"
#include "scene/nLight.h"
#include "scene/nMItem.h"
#include "scene/nObject.h"
#include "scene/nScene.h"

namespace {
const float kSurfaceOffset = 0.001f;  // secondary rays start this far off the surface
const float kPi = 3.14159265358979f;

inline nRaytraceColor Color(float r, float g, float b, float a)
{
    nRaytraceColor c;
    c.r = r;
    c.g = g;
    c.b = b;
    c.a = a;
    return c;
}
inline nRaytraceColor Color(const nVector& v) { return Color(v.x, v.y, v.z, v.w); }
inline nRaytraceColor operator+(const nRaytraceColor& p, const nRaytraceColor& q) { return Color(p.r + q.r, p.g + q.g, p.b + q.b, p.a + q.a); }
inline nRaytraceColor operator*(const nRaytraceColor& p, const nRaytraceColor& q) { return Color(p.r * q.r, p.g * q.g, p.b * q.b, p.a * q.a); }
inline nRaytraceColor operator*(const nRaytraceColor& p, float s) { return Color(p.r * s, p.g * s, p.b * s, p.a * s); }
inline float Clamp01(float x) { return x < 0.0f ? 0.0f : (x > 1.0f ? 1.0f : x); }
inline nRaytraceColor Clamped(const nRaytraceColor& c) { return Color(Clamp01(c.r), Clamp01(c.g), Clamp01(c.b), Clamp01(c.a)); }
inline float DistanceRGB(const nRaytraceColor& p, const nRaytraceColor& q)
{
    const float r = p.r - q.r, g = p.g - q.g, b = p.b - q.b;
    return r * r + g * g + b * b;
}
inline int32_t ClampInt(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

// A direction through the 3x3 part of a 4x4 matrix, or through its transpose.
inline nVector Rotate(const nMatrix4& m, const nVector& v)
{
    const float* a = m.m;
    return nVector(a[0] * v.x + a[1] * v.y + a[2] * v.z, a[4] * v.x + a[5] * v.y + a[6] * v.z, a[8] * v.x + a[9] * v.y + a[10] * v.z);
}
inline nVector RotateTransposed(const nMatrix4& m, const nVector& v)
{
    const float* a = m.m;
    return nVector(a[0] * v.x + a[4] * v.y + a[8] * v.z, a[1] * v.x + a[5] * v.y + a[9] * v.z, a[2] * v.x + a[6] * v.y + a[10] * v.z);
}

// A small generator of its own per pixel, so that a pixel's random choices do not depend on
// which thread traces it or in what order.
struct PixelRandom
{
    uint64_t state;
    void Seed(uint64_t seed, uint64_t pixel, uint64_t pass)
    {
        state = seed ^ (pixel * 0x9E3779B97F4A7C15ull) ^ (pass << 56);
        Next();
    }
    uint64_t Next()
    {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    float Float(float x) { return (float)(Next() >> 40) * (1.0f / 16777216.0f) * x; }  // [0, x)
    int32_t Int(int32_t n) { return n > 0 ? (int32_t)(Next() % (uint64_t)n) : 0; }
};
}

// What one thread of a trace keeps for itself, on cache lines of its own: its counters change
// at every ray.
struct alignas(64) nRaytracer::Worker
{
    PixelRandom random;
    nRaytraceStatistics statistics;
    uint64_t supersampled = 0;
    uint64_t shadowRays = 0;
};

nRaytracer::nRaytracer(nOrvex* engine)
    : m_engine(engine), m_stop(0), m_scene(0), m_lights(0), m_lightCount(0), m_fieldToggle(1), m_shading(engine),
      m_progress(0), m_progressContext(0), m_threadCount(0), m_supersampled(0), m_stale(false), m_width(0), m_height(0), m_seed(0)
{
    SetSettings(nRaytracerSettings());
    m_fieldToggle = m_settings.startField;
}

nRaytracer::~nRaytracer()
{
    ReleaseScene();
}

// ---------------------------------------------------------------------------------------------
// Binding

bool nRaytracer::SetScene(nScene* scene)
{
    ReleaseScene();
    if (!scene) return false;
    m_scene = scene;
    if (!m_trees[SceneBIHCamera].GrabScene(scene, SceneBIHCamera) || !m_trees[SceneBIHShadow].GrabScene(scene, SceneBIHShadow)) {
        ReleaseScene();
        return false;
    }
    const nList<nMItem*>& lights = scene->GetLights();
    m_lights = new (std::nothrow) Light[lights.GetCount() > 0 ? lights.GetCount() : 1];
    if (!m_lights) {
        *g_log << "[!] Failed to allocate raytracer light array.\n";
        ReleaseScene();
        return false;
    }
    for (nListNode<nMItem*>* n = lights.GetHead(); n; n = n->next)
        if (n->value->IsActive()) m_lights[m_lightCount++].light = &static_cast<nMLight*>(n->value)->GetLight();
    scene->AddListener(this);
    PrepareScene();
    return true;
}

// What rays read of the scene, brought up to date on the calling thread so that tracing only
// reads: the clear and ambient colours, the lights' matrices and the items' matrices.
void nRaytracer::PrepareScene()
{
    if (!m_scene) return;
    m_clearColour = m_scene->GetBackgroundColour();
    m_ambient = m_scene->GetAmbientColour() * m_scene->GetAmbientIntensity();
    m_ambient.w = m_scene->GetAmbientColour().w * m_scene->GetAmbientIntensity();
    for (int32_t i = 0; i < m_lightCount; ++i) m_lights[i].world = m_lights[i].light->GetWorldMatrix();
    for (int32_t variant = 0; variant < 2; ++variant)
        for (int32_t i = 0; i < m_trees[variant].GetEntryCount(); ++i) {
            nItem* item = m_trees[variant].GetEntries()[i].object;
            item->GetWorldMatrix();
            item->GetInverseWorldMatrix();
            item->GetRotationMatrix();
        }
}

// The shading reads again the textures of traced materials whose pixels the renderer let go.
void nRaytracer::PrepareTextures()
{
    std::vector<nGeometry*> geometries;
    for (int32_t variant = 0; variant < 2; ++variant)
        for (int32_t i = 0; i < m_trees[variant].GetEntryCount(); ++i) geometries.push_back(m_trees[variant].GetEntries()[i].geometry);
    m_shading.PrepareTextures(geometries.data(), (int32_t)geometries.size());
}

void nRaytracer::OnSceneEvent(int32_t code, void* data)
{
    if (code == SceneEventContentDeleting) {
        ReleaseScene();
        return;
    }
    if (code != SceneEventItemDeleting || !data || m_stale) return;
    const nMItem* item = *static_cast<nMItem**>(data);
    for (int32_t i = 0; i < m_lightCount; ++i)
        if (m_lights[i].light->GetManagedItem() == item) m_stale = true;
    for (int32_t variant = 0; variant < 2; ++variant)
        for (int32_t i = 0; i < m_trees[variant].GetEntryCount(); ++i)
            if (m_trees[variant].GetEntries()[i].item == item) m_stale = true;
}

void nRaytracer::ReleaseScene()
{
    if (m_scene) m_scene->RemoveListener(this);
    m_stale = false;
    m_trees[SceneBIHCamera].Release();
    m_trees[SceneBIHShadow].Release();
    delete[] m_lights;
    m_lights = 0;
    m_lightCount = 0;
    m_scene = 0;
}

// ---------------------------------------------------------------------------------------------
// Settings

void nRaytracer::SetSettings(const nRaytracerSettings& settings)
{
    m_settings = settings;
    m_settings.spreadSize = ClampInt(m_settings.spreadSize, 1, kRaytraceMaxSpreadSize);
    m_settings.antialiasSamples = ClampInt(m_settings.antialiasSamples, 1, kRaytraceMaxSamples);
    if (!(m_settings.occlusionLength > 0.0f)) m_settings.occlusionLength = 1.0f;
    const float angle = m_settings.spreadAngle / 180.0f * kPi;
    for (nVectorSpread& table : m_spread) BuildSpreadVectors(table, m_settings.spreadSize, m_settings.spreadSize, angle);
}

void nRaytracer::StartInterlacedSequence()
{
    m_fieldToggle = m_settings.startField;
    m_accumulation.FreePixels();
    m_accumulation.Reset();
}

// ---------------------------------------------------------------------------------------------
// Tracing a picture

int32_t nRaytracer::ImageRow(int32_t renderedRow) const
{
    if (!m_settings.interlaced) return renderedRow;
    return 2 * renderedRow + (m_fieldToggle == 0 ? 1 : 0);
}

nVector nRaytracer::PixelPoint(float x, float imageRow) const
{
    const float u = x / (float)m_width, v = imageRow / (float)m_height;
    return m_topLeft + (m_topRight - m_topLeft) * u + (m_bottomLeft - m_topLeft) * v;
}

void nRaytracer::ReportProgress(const char* stage, float done, int32_t row, bool finished)
{
    m_progressRecord.stage = stage;
    m_progressRecord.done = done;
    m_progressRecord.row = row;
    m_progressRecord.finished = finished;
    m_progressRecord.stop = m_stop != 0;
    if (m_progress) m_progress(m_progressRecord, m_progressContext);
}

bool nRaytracer::Trace(nPicture& picture, int32_t width, int32_t height)
{
    // 1. The sizes; interlaced fields are half as high.
    if (width < 1 || height < 1 || width > kRaytraceMaxSize || height > kRaytraceMaxSize) {
        *g_log << "[!] Raytrace size " << width << " x " << height << " is outside 1 to " << kRaytraceMaxSize << ".\n";
        return false;
    }
    int32_t rows = height;
    if (m_settings.interlaced) {
        if (height % 2 != 0) {
            *g_log << "[!] Interlaced frame height must be a multiple of 2.\n";
            return false;
        }
        rows = height / 2;
    }

    // 2. The camera, and the scene taken again when an item of the copy has gone since.
    if (m_stale && m_scene && !SetScene(m_scene)) return false;
    nCamera* camera = m_scene ? dynamic_cast<nCamera*>(m_scene->GetCurrentCamera()) : 0;
    if (!camera) return false;

    // 3. The picture and the float frame buffer.
    if (!picture.Allocate((uint32_t)width, (uint32_t)rows, PixelFormatRGBA8)) return false;
    nRaytraceColor* frame = new (std::nothrow) nRaytraceColor[(size_t)width * (size_t)rows];
    if (!frame) {
        *g_log << "[!] Failed to allocate floating point frame buffer.\n";
        return false;
    }

    // 4. Statistics, clock, counters.
    m_statistics = nRaytraceStatistics();
    m_supersampled = 0;
    m_stop = 0;
    m_trees[SceneBIHCamera].ClearRayCount();
    const auto start = std::chrono::steady_clock::now();
    m_progressRecord = nRaytraceProgress();
    m_progressRecord.raytracer = this;
    m_progressRecord.width = width;
    m_progressRecord.startTicks = (int64_t)std::chrono::duration_cast<std::chrono::microseconds>(start.time_since_epoch()).count() / 100;

    // 5. The image plane, and everything the workers read brought up to date here, so that
    //    they only read.
    float aspect = camera->GetAspectRatio();
    if (!(aspect > 0.0f)) aspect = 1.0f;
    const float halfX = camera->GetAspectReferenceY() ? (float)width / (float)height / aspect : 1.0f;
    const float halfY = camera->GetAspectReferenceY() ? 1.0f : (float)height / aspect / (float)width;
    const nMatrix4& view = camera->GetWorldMatrix();
    camera->GetInverseWorldMatrix();
    const float zoom = camera->GetZoom();
    m_topLeft = nVector(-halfX, halfY, zoom).Transform(view);
    m_topRight = nVector(halfX, halfY, zoom).Transform(view);
    m_bottomLeft = nVector(-halfX, -halfY, zoom).Transform(view);
    m_eye = view.GetColumn(3, true);
    m_width = width;
    m_height = height;
    m_seed = ((uint64_t)(uint32_t)nRandInt(0x7fffffff) << 32) | (uint32_t)nRandInt(0x7fffffff);
    PrepareScene();
    m_shading.SetView(camera, width, height);
    PrepareTextures();

    int32_t threads = m_threadCount > 0 ? m_threadCount : (int32_t)std::thread::hardware_concurrency();
    if (threads < 1) threads = 1;
    if (threads > rows) threads = rows;

    // 6. One ray a pixel.
    ReportProgress("[1/2] - Rendering", 0.0f, 0, false);
    PrimaryPass(frame, width, rows, threads);

    // 7. Supersampling where neighbours differ.
    ReportProgress("[2/2] - Antialiasing", 0.0f, 0, false);
    if (m_settings.antialias) AntialiasPass(frame, width, rows, threads);

    // 8. Completion.
    ReportProgress("[2/2] - Antialiasing", 1.0f, rows, true);
    const float ms = std::chrono::duration<float, std::milli>(std::chrono::steady_clock::now() - start).count();
    const float rays = (float)m_trees[SceneBIHCamera].GetRayCount();
    *g_log << "Raytracing done. Took " << ms << " ms. Ray/s = " << rays * 1000.0f / (ms > 0.001f ? ms : 0.001f) << "\n";

    // 9. To bytes.
    uint8_t* out = picture.GetPixels();
    for (size_t i = 0, n = (size_t)width * (size_t)rows; i < n; ++i) {
        const nRaytraceColor c = Clamped(frame[i]);
        out[4 * i + 0] = (uint8_t)(c.r * 255.0f);
        out[4 * i + 1] = (uint8_t)(c.g * 255.0f);
        out[4 * i + 2] = (uint8_t)(c.b * 255.0f);
        out[4 * i + 3] = (uint8_t)(c.a * 255.0f);
    }
    delete[] frame;

    // 10. Interlaced fields merge with the one kept from the previous trace.
    if (m_settings.interlaced) {
        if (!m_accumulation.GetPixels()) {
            m_accumulation.CopyFrom(picture);
            picture.FreePixels();
            picture.Reset();
        } else if (m_accumulation.GetWidth() != picture.GetWidth() || m_accumulation.GetHeight() != picture.GetHeight()) {
            *g_log << "[!] Unexpected frame dimension change during interlaced sequence rendering.\n";
            m_accumulation.FreePixels();
            m_accumulation.Reset();
            picture.FreePixels();
            picture.Reset();
        } else {
            nPicture field(picture);
            picture.Allocate((uint32_t)width, (uint32_t)height, PixelFormatRGBA8);
            const size_t rowBytes = (size_t)width * 4;
            for (int32_t k = 0; k < rows; ++k) {
                const uint8_t* even = m_fieldToggle == 0 ? m_accumulation.GetPixels() : field.GetPixels();
                const uint8_t* odd = m_fieldToggle == 0 ? field.GetPixels() : m_accumulation.GetPixels();
                std::memcpy(picture.GetPixels() + (size_t)(2 * k) * rowBytes, even + (size_t)k * rowBytes, rowBytes);
                std::memcpy(picture.GetPixels() + (size_t)(2 * k + 1) * rowBytes, odd + (size_t)k * rowBytes, rowBytes);
            }
            m_accumulation.FreePixels();
            m_accumulation.Reset();
        }
    }

    // 11. The next field.
    m_fieldToggle = m_fieldToggle ? 0 : 1;
    return true;
}

// Rows are handed out one at a time; every pixel's ray and random choices are its own, so the
// frame is the same however many threads share it.
void nRaytracer::PrimaryPass(nRaytraceColor* frame, int32_t width, int32_t rows, int32_t threads)
{
    std::atomic<int32_t> nextRow(0);
    std::atomic<int32_t> rowsDone(0);
    std::mutex progress;
    std::vector<Worker> workers((size_t)threads);
    const nRaytraceBudget budget = {m_settings.giBounces, m_settings.reflectionBudget, m_settings.refractionBudget};
    auto run = [&](Worker& worker) {
        for (;;) {
            const int32_t row = nextRow.fetch_add(1);
            if (row >= rows || m_stop) return;
            const int32_t imageRow = ImageRow(row);
            for (int32_t x = 0; x < width && !m_stop; ++x) {
                worker.random.Seed(m_seed, (uint64_t)imageRow * (uint64_t)width + (uint64_t)x, 1);
                nRaytraceRay ray;
                ray.origin = m_eye;
                ray.direction = (PixelPoint((float)x, (float)imageRow) - m_eye).Normalize();
                TraceRayWith(ray, frame[(size_t)row * width + x], budget, 0, worker);
            }
            const int32_t done = rowsDone.fetch_add(1) + 1;
            if (m_progress) {
                std::lock_guard<std::mutex> lock(progress);
                ReportProgress("[1/2] - Rendering", (float)done / (float)rows, row, false);
            }
        }
    };
    std::vector<std::thread> pool;
    for (int32_t t = 1; t < threads; ++t) pool.emplace_back(run, std::ref(workers[(size_t)t]));
    run(workers[0]);
    for (std::thread& t : pool) t.join();
    for (const Worker& w : workers) {
        m_statistics.rays += w.statistics.rays;
        m_statistics.nodeTests += w.statistics.nodeTests;
        m_trees[SceneBIHCamera].AddRayCount(w.statistics.rays);
        m_trees[SceneBIHShadow].AddRayCount(w.shadowRays);
    }
}

// A pixel compares itself with its left and upper neighbours as this pass left them and with
// its right and lower ones as the first pass left them. Rows run in order on every thread, each
// a column behind the row above it, which keeps exactly the comparisons of one thread walking
// row by row.
void nRaytracer::AntialiasPass(nRaytraceColor* frame, int32_t width, int32_t rows, int32_t threads)
{
    if (rows < 3 || width < 3) return;
    const float threshold = m_settings.antialiasThreshold;
    std::vector<std::atomic<int32_t>> progress((size_t)rows);
    for (std::atomic<int32_t>& p : progress) p.store(width);  // row 0 is never changed: done
    for (int32_t y = 1; y < rows; ++y) progress[(size_t)y].store(0);
    std::atomic<int32_t> nextRow(1);
    std::vector<Worker> workers((size_t)threads);
    auto run = [&](Worker& worker) {
        for (;;) {
            const int32_t y = nextRow.fetch_add(1);
            if (y > rows - 2 || m_stop) return;
            std::atomic<int32_t>& above = progress[(size_t)y - 1];
            std::atomic<int32_t>& mine = progress[(size_t)y];
            const int32_t imageRow = ImageRow(y);
            for (int32_t x = 1; x < width - 1; ++x) {
                // The pixel above must be final; the right one above too, so that the row
                // above never reads a pixel of this row that is already replaced.
                while (above.load(std::memory_order_acquire) <= x + 1 && !m_stop) std::this_thread::yield();
                if (m_stop) break;
                nRaytraceColor& p = frame[(size_t)y * width + x];
                const bool differs = DistanceRGB(p, frame[(size_t)y * width + x - 1]) >= threshold ||
                                     DistanceRGB(p, frame[(size_t)(y - 1) * width + x]) >= threshold ||
                                     DistanceRGB(p, frame[(size_t)y * width + x + 1]) >= threshold ||
                                     DistanceRGB(p, frame[(size_t)(y + 1) * width + x]) >= threshold;
                if (differs) {
                    worker.random.Seed(m_seed, (uint64_t)imageRow * (uint64_t)width + (uint64_t)x, 2);
                    Supersample(worker, x, imageRow, p);
                    ++worker.supersampled;
                }
                mine.store(x + 1, std::memory_order_release);
            }
            mine.store(width, std::memory_order_release);
        }
    };
    std::vector<std::thread> pool;
    for (int32_t t = 1; t < threads; ++t) pool.emplace_back(run, std::ref(workers[(size_t)t]));
    run(workers[0]);
    for (std::thread& t : pool) t.join();
    for (const Worker& w : workers) {
        m_statistics.rays += w.statistics.rays;
        m_statistics.nodeTests += w.statistics.nodeTests;
        m_supersampled += w.supersampled;
        m_trees[SceneBIHCamera].AddRayCount(w.statistics.rays);
        m_trees[SceneBIHShadow].AddRayCount(w.shadowRays);
    }
}

// n x n rays spread over the pixel's own area, a row of the picture high and a column wide.
void nRaytracer::Supersample(Worker& worker, int32_t x, int32_t imageRow, nRaytraceColor& out) const
{
    const int32_t n = m_settings.antialiasSamples;
    const float step = 1.0f / (float)n;
    const nRaytraceBudget budget = {m_settings.giBounces, m_settings.reflectionBudget, m_settings.refractionBudget};
    nRaytraceColor sum;
    for (int32_t i = 0; i < n; ++i)
        for (int32_t j = 0; j < n; ++j) {
            const float jx = m_settings.jitter ? worker.random.Float(0.125f * step) : 0.0f;
            const float jy = m_settings.jitter ? worker.random.Float(0.125f * step) : 0.0f;
            nRaytraceRay ray;
            ray.origin = m_eye;
            ray.direction = (PixelPoint((float)x + (float)j * step + jx, (float)imageRow + (float)i * step + jy) - m_eye).Normalize();
            nRaytraceColor c;
            TraceRayWith(ray, c, budget, 0, worker);
            sum = sum + c;
        }
    out = sum * (1.0f / (float)(n * n));
}

// ---------------------------------------------------------------------------------------------
// Rays

void nRaytracer::TraceRay(nRaytraceRay& ray, nRaytraceColor& out, nRaytraceBudget budget, const nRaytraceRay* parent) const
{
    Worker worker;
    worker.random.Seed(m_seed, 0, 3);
    if (parent) ray.mediumIndex = parent->mediumIndex;
    TraceRayWith(ray, out, budget, parent, worker);
    m_trees[SceneBIHCamera].AddRayCount(worker.statistics.rays);
    m_trees[SceneBIHShadow].AddRayCount(worker.shadowRays);
}

void nRaytracer::TraceRayWith(nRaytraceRay& ray, nRaytraceColor& out, nRaytraceBudget budget, const nRaytraceRay*,
                              Worker& worker) const
{
    nSceneRay query;
    m_trees[SceneBIHCamera].Cast(query, ray.origin, ray.direction, -1.0f);
    ++worker.statistics.rays;
    worker.statistics.nodeTests += (uint64_t)query.steps;
    ray.hit = query.hit != 0;
    ray.nodeTests = query.steps;
    if (!ray.hit) {
        out = Color(m_clearColour);
        return;
    }
    const nSceneBIHEntry* entry = query.Entry();
    ray.entry = entry;
    ray.distance = query.hitDistance;
    ray.backFace = query.backFace != 0;
    nRaytraceHit& s = ray.surface;
    s.geometry = entry->geometry;
    s.polygon = query.polygon;
    s.offset = query.triangle;
    s.w0 = query.weights[2];
    s.w1 = query.weights[0];
    s.w2 = query.weights[1];
    s.point = ray.origin + ray.direction * ray.distance;
    s.eye = ray.origin;
    s.view = ray.direction;
    s.item = entry->object;
    s.material = entry->geometry->GetMaterial(entry->geometry->polygons[query.polygon].material);
    const nVector* faces = entry->geometry->polygonNormals;
    s.normal = faces ? RotateTransposed(entry->inverseWorld, faces[query.polygon]).Normalize() : nVector(0, 0, 0);

    // The shading normal in world space: through the inverse transpose, so scaled items keep
    // their normals perpendicular; turned round on a back face.
    nVector normal = RotateTransposed(entry->inverseWorld, m_shading.GetHitNormal(s)).Normalize();
    if (ray.backFace) normal = -normal;
    s.normal = normal;
    Shade(ray, out, budget, worker);
}

float nRaytracer::FresnelTerm(const nVector& d, const nVector& n, float eta)
{
    const float r = (1.0f - eta) / (1.0f + eta);
    const float r0 = r * r;
    const float c = 1.0f - std::fabs(d.Dot(n));
    return Clamp01(r0 + (1.0f - r0) * c * c * c * c * c);
}

bool nRaytracer::Refract(const nVector& d, const nVector& n, float eta, nVector& out)
{
    const float c = std::fabs(n.Dot(d));
    const float k = 1.0f - eta * eta * (1.0f - c * c);
    if (k < 0.0f) return false;
    out = (d * eta + n * (eta * c - std::sqrt(k))).Normalize();
    return true;
}

float nRaytracer::TraceShadow(const nVector& origin, const nVector& direction, float distance, int32_t depth) const
{
    Worker worker;
    const float transmission = TraceShadowWith(origin, direction, distance, depth, worker);
    m_trees[SceneBIHShadow].AddRayCount(worker.shadowRays);
    return transmission;
}

float nRaytracer::TraceShadowWith(const nVector& origin, const nVector& direction, float distance, int32_t depth,
                                  Worker& worker) const
{
    nSceneRay query;
    ++worker.shadowRays;
    if (!m_settings.transparentShadows) {
        query.nearest = 0;
        m_trees[SceneBIHShadow].Cast(query, origin, direction, distance);
        return query.hit && query.hitDistance > 0.0f && query.hitDistance <= distance ? 0.0f : 1.0f;
    }
    if (depth <= 0) return 1.0f;
    m_trees[SceneBIHShadow].Cast(query, origin, direction, distance);
    if (!query.hit || !(query.hitDistance > 0.0f)) return 1.0f;
    const nSceneBIHEntry* entry = query.Entry();
    nRaytraceHit s;
    s.geometry = entry->geometry;
    s.polygon = query.polygon;
    s.offset = query.triangle;
    s.w0 = query.weights[2];
    s.w1 = query.weights[0];
    s.w2 = query.weights[1];
    s.point = origin + direction * query.hitDistance;
    s.eye = origin;
    s.view = direction;
    s.item = entry->object;
    s.material = entry->geometry->GetMaterial(entry->geometry->polygons[query.polygon].material);
    const float o = m_shading.GetOpacity(s);
    if (o >= 1.0f) return 0.0f;
    const float travelled = query.hitDistance + kSurfaceOffset;
    return (1.0f - Clamp01(o)) *
           TraceShadowWith(s.point + direction * kSurfaceOffset, direction, distance - travelled, depth - 1, worker);
}

// ---------------------------------------------------------------------------------------------
// Shading

void nRaytracer::Shade(const nRaytraceRay& ray, nRaytraceColor& out, nRaytraceBudget budget, Worker& worker) const
{
    const nRaytraceHit& hit = ray.surface;
    const nMaterial* material = hit.material;
    const bool fixed = material && (material->renderFlags & MaterialRenderFixedFunction);
    const nVector& normal = hit.normal;
    const nVector& d = ray.direction;

    // 1. Opacity.
    float alpha = (fixed ? m_shading.GetOpacity(hit) : m_shading.GetMaterialChannel(hit, RenderMapOpacity).x) * ray.entry->alpha;
    const float threshold = material ? material->alphaThreshold : 0.0f;
    nRaytraceColor colour = Color(0.0f, 0.0f, 0.0f, 1.0f);
    if (alpha > threshold) {
        // 2. Glossiness, the light sums, the lit point.
        const float glossiness = fixed ? material->glossiness : m_shading.GetMaterialChannel(hit, RenderMapGlossiness).x;
        nRaytraceColor diffuse = Color(0.0f, 0.0f, 0.0f, 1.0f), specular = Color(0.0f, 0.0f, 0.0f, 1.0f);
        const nVector lit = hit.point + normal * kSurfaceOffset;

        // 3. Each light, through what stands between.
        for (int32_t i = 0; i < m_lightCount; ++i) {
            const nLight& light = *m_lights[i].light;
            const nMatrix4& world = m_lights[i].world;
            float shadow = 1.0f;
            if (m_settings.shadows && light.GetShadow() != LightShadowNone) {
                const nVector toLight = light.GetType() == LightTypeParallel
                                            ? -world.GetColumn(2, true) * light.GetClipDistance()
                                            : world.GetColumn(3, true) - lit;
                if (normal.Dot(toLight) > 0.0f) {
                    const float length = toLight.Length();
                    shadow = TraceShadowWith(lit, toLight / length, length, m_settings.shadowDepth, worker);
                    if (shadow == 0.0f) continue;
                }
            }
            float fd = 0.0f, fs = 0.0f;
            if (!light.ComputeLightingAt(world, hit.point, normal, &fd, &fs, &d, glossiness, false, false)) continue;
            // fd and fs carry the light's intensities already.
            diffuse = diffuse + Color(light.GetDiffuse()) * (fd * shadow);
            specular = specular + Color(light.GetSpecular()) * (fs * shadow);
        }

        // 4. Indirect light: gathered, or the scene's ambient light.
        nRaytraceColor gathered, ambient;
        if (m_settings.globalIllumination && budget.gi > 0) {
            budget.gi -= 1;
            const nVectorSpread& table = m_spread[worker.random.Int(kRaytraceSpreadTables)];
            const nMatrix3 frame = nMatrix3::LookAt(normal, 0);
            const nRaytraceBudget gather = {budget.gi, 0, 0};
            for (int32_t k = 0; k < table.count; ++k) {
                nRaytraceRay sample;
                sample.origin = lit;
                sample.direction = table.vectors[k].Rotate(frame);
                sample.mediumIndex = ray.mediumIndex;
                nRaytraceColor c;
                TraceRayWith(sample, c, gather, &ray, worker);
                gathered = gathered + c;
            }
            if (table.count > 0) gathered = gathered * (1.0f / (float)table.count);
        } else if (!m_settings.globalIllumination || m_settings.ambientWhenGISpent)
            ambient = Color(m_ambient);

        // 5. Ambient occlusion.
        float occlusion = 1.0f;
        if (m_settings.ambientOcclusion && alpha >= 1.0f) {
            const nVectorSpread& table = m_spread[worker.random.Int(kRaytraceSpreadTables)];
            const nMatrix3 frame = nMatrix3::LookAt(normal, 0);
            const float length = m_settings.occlusionLength;
            float sum = 0.0f;
            for (int32_t k = 0; k < table.count; ++k) {
                const nVector direction = table.vectors[k].Rotate(frame);
                nSceneRay query;
                m_trees[SceneBIHCamera].Cast(query, hit.point + direction * kSurfaceOffset, direction, length);
                ++worker.statistics.rays;
                if (query.hit && query.hitDistance > 0.0f) sum += 1.0f - Clamp01(query.hitDistance / length);
            }
            if (table.count > 0) occlusion = Clamp01(1.0f - sum / (float)table.count);
        }

        // 6. The surface colours.
        nRaytraceColor cd, cs, ce;
        if (fixed) {
            cd = Color(m_shading.GetStageColor(hit, MaterialChannelDiffuse));
            if ((material->renderFlags & MaterialRenderVertexColor) && hit.geometry->colors)
                cd = cd * Color(m_shading.GetHitVertexColor(hit));
            cs = Color(m_shading.GetStageColor(hit, MaterialChannelSpecular));
            ce = Color(m_shading.GetStageColor(hit, MaterialChannelSelfIllum));
        } else {
            cd = Color(m_shading.GetMaterialChannel(hit, RenderMapDiffuse));
            cs = Color(m_shading.GetMaterialChannel(hit, RenderMapSpecular));
            ce = Color(m_shading.GetMaterialChannel(hit, RenderMapConstant));
        }

        // 7. Together.
        colour = (cd * (diffuse + gathered + ambient) + cs * specular + ce) * (alpha * occlusion);
    }

    // 8. Transmission.
    const nVector facing = normal.Dot(d) < 0.0f ? normal : -normal;
    const bool additive = material && (material->renderFlags & MaterialRenderAdd);
    if ((alpha < 1.0f || additive) && budget.reflection > 0 && budget.refraction > 0) {
        float next = material ? material->ior : 1.0f;
        if (ray.mediumIndex == next) next = 1.0f;
        const float eta = ray.mediumIndex / next;
        if (m_settings.fresnel) alpha = FresnelTerm(d, facing, eta);
        nVector transmitted;
        if (!Refract(d, facing, eta, transmitted)) alpha = 1.0f;
        if (1.0f - alpha > 0.0f) {
            nRaytraceBudget inner = budget;
            inner.refraction -= 1;
            nRaytraceRay through;
            through.origin = hit.point + transmitted * kSurfaceOffset;
            through.direction = transmitted;
            through.mediumIndex = next;
            nRaytraceColor c;
            TraceRayWith(through, c, inner, &ray, worker);
            colour = additive ? colour + c : colour * alpha + c * (1.0f - alpha);
        }
    }

    // 9. Reflection; the reflected ray stays in the medium it came through.
    const float reflection = material ? material->reflection : 0.0f;
    if (m_settings.reflections && reflection > 0.0f && budget.reflection > 0 && budget.refraction > 0 && alpha > 0.0f) {
        nRaytraceBudget inner = budget;
        inner.reflection -= 1;
        const nVector n = facing.Normalize();
        const nVector r = d + n * (2.0f * std::fabs(n.Dot(d)));
        nRaytraceRay mirrored;
        mirrored.origin = hit.point + r * kSurfaceOffset;
        mirrored.direction = r;
        mirrored.mediumIndex = ray.mediumIndex;
        nRaytraceColor c;
        TraceRayWith(mirrored, c, inner, &ray, worker);
        colour = colour + c * (reflection * alpha);
    }

    // 10. Within [0, 1].
    out = Clamped(colour);
}
