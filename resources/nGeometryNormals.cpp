// Shading data of a geometry: polygon normals and tangent frames, and their per-corner smoothed forms.
#include "resources/nGeometry.h"

#include <cmath>
#include <new>
#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "core/nLog.h"
#include "resources/nMaterial.h"

namespace {
const nVector kZero(0.0f, 0.0f, 0.0f, 1.0f);

inline nVector Unit(const nVector& v)
{
    nVector n = v.Normalize();
    n.w = 1.0f;
    return n;
}

// Corners whose sums are normalised together, while they are still in the first-level cache.
const uint32_t kNormaliseRun = 256;

// 1 / the length of v, or 0 for a length below 1e-6.
inline float InverseLength(const nVector& v)
{
    float len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return len >= 0.000001f ? 1.0f / len : 0.0f;
}

inline void FinishFrame(nTangentFrame& frame, const nVector& n)
{
    const nVector t = frame.tangent - n * n.Dot(frame.tangent);
    const float inv = InverseLength(t);
    frame.tangent = nVector(t.x * inv, t.y * inv, t.z * inv, 1.0f);
    frame.bitangent = n.Cross(frame.tangent);
}

// Square roots and divisions dominate the finishing of a corner and each ends a long chain of
// sums: done for a run of corners at once, four lanes at a time, they overlap instead. The lanes
// do the very operations of the scalar forms above in the same order, so the results are the
// same to the bit.
#if defined(__SSE__)
struct nLanes
{
    __m128 x, y, z;
};

// x, y and z of v[0], v[stride], v[2 * stride], v[3 * stride].
inline nLanes LoadLanes(const nVector* v, uint32_t stride)
{
    __m128 a = _mm_loadu_ps(&v[0].x), b = _mm_loadu_ps(&v[stride].x);
    __m128 c = _mm_loadu_ps(&v[2 * stride].x), d = _mm_loadu_ps(&v[3 * stride].x);
    _MM_TRANSPOSE4_PS(a, b, c, d);
    return nLanes{a, b, c};
}

// The lanes back as four vectors with w = 1.
inline void StoreLanes(nVector* v, uint32_t stride, nLanes l)
{
    __m128 w = _mm_set1_ps(1.0f);
    _MM_TRANSPOSE4_PS(l.x, l.y, l.z, w);
    _mm_storeu_ps(&v[0].x, l.x);
    _mm_storeu_ps(&v[stride].x, l.y);
    _mm_storeu_ps(&v[2 * stride].x, l.z);
    _mm_storeu_ps(&v[3 * stride].x, w);
}

inline __m128 Dot(const nLanes& a, const nLanes& b)
{
    return _mm_add_ps(_mm_add_ps(_mm_mul_ps(a.x, b.x), _mm_mul_ps(a.y, b.y)), _mm_mul_ps(a.z, b.z));
}

// As InverseLength: a length below 1e-6 scales by 0.
inline nLanes ScaledToUnit(const nLanes& v)
{
    const __m128 len = _mm_sqrt_ps(Dot(v, v));
    const __m128 inv = _mm_and_ps(_mm_cmpge_ps(len, _mm_set1_ps(0.000001f)), _mm_div_ps(_mm_set1_ps(1.0f), len));
    return nLanes{_mm_mul_ps(v.x, inv), _mm_mul_ps(v.y, inv), _mm_mul_ps(v.z, inv)};
}
#endif

// Sums of corners scaled to unit length, w = 1 (a length below 1e-6 gives zero).
void NormaliseRun(nVector* v, uint32_t count)
{
    uint32_t i = 0;
#if defined(__SSE__)
    for (; i + 4 <= count; i += 4) StoreLanes(v + i, 1, ScaledToUnit(LoadLanes(v + i, 1)));
#endif
    for (; i < count; ++i) {
        const float inv = InverseLength(v[i]);
        v[i] = nVector(v[i].x * inv, v[i].y * inv, v[i].z * inv, 1.0f);
    }
}

// Tangent sums made orthogonal to their corners' unit normals and scaled to unit length like
// NormaliseRun; each bitangent is its normal cross the tangent.
void FinishFrameRun(nTangentFrame* frames, const nVector* normals, uint32_t count)
{
    uint32_t i = 0;
#if defined(__SSE__)
    for (; i + 4 <= count; i += 4) {
        const nLanes sum = LoadLanes(&frames[i].tangent, 2);
        const nLanes n = LoadLanes(normals + i, 1);
        const __m128 d = Dot(n, sum);
        const nLanes t = ScaledToUnit(nLanes{_mm_sub_ps(sum.x, _mm_mul_ps(n.x, d)),
                                             _mm_sub_ps(sum.y, _mm_mul_ps(n.y, d)),
                                             _mm_sub_ps(sum.z, _mm_mul_ps(n.z, d))});
        const nLanes b{_mm_sub_ps(_mm_mul_ps(n.y, t.z), _mm_mul_ps(n.z, t.y)),
                       _mm_sub_ps(_mm_mul_ps(n.z, t.x), _mm_mul_ps(n.x, t.z)),
                       _mm_sub_ps(_mm_mul_ps(n.x, t.y), _mm_mul_ps(n.y, t.x))};
        StoreLanes(&frames[i].tangent, 2, t);
        StoreLanes(&frames[i].bitangent, 2, b);
    }
#endif
    for (; i < count; ++i) FinishFrame(frames[i], normals[i]);
}

// One walk over the corners of every polygon, each summing over the polygons at its vertex:
// with kNormals the normals of those within the threshold of its own polygon's, with kFrames
// their tangents, each turned to the side of its own polygon's. The sums are finished (normals
// before the frames built around them) in runs while still cached. Without kNormals the normals
// must be complete already.
template<bool kNormals, bool kFrames>
void WalkCorners(const nGeometry& g, const float* thresholdOf, uint32_t slots, nVector* normals, nTangentFrame* frames)
{
    float threshold = -1.0f;
    uint32_t binding = 0, finished = 0;
    for (uint32_t j = 0; j < g.polygonCount; ++j) {
        const nPolygon& p = g.polygons[j];
        nVector nj, tj;
        if (kNormals) {
            const float d = thresholdOf[p.material < slots ? p.material : 0];
            if (d <= 1.0f) threshold = d;  // above 1: no material, the previous threshold holds
            nj = g.polygonNormals[j];
        }
        if (kFrames) tj = g.polygonTangents[j].tangent;
        for (uint32_t c = 0; c < p.count; ++c, ++binding) {
            const nVertexPolygons& head = g.vertexPolygons[p.bindings[c]];
            float nx = 0.0f, ny = 0.0f, nz = 0.0f, tx = 0.0f, ty = 0.0f, tz = 0.0f;
            for (uint32_t k = 0; k < head.count; ++k) {
                const int32_t q = head.polygons[k];
                if (kNormals) {
                    const nVector& nk = g.polygonNormals[q];
                    if (nk.x * nj.x + nk.y * nj.y + nk.z * nj.z > threshold) {
                        nx += nk.x;
                        ny += nk.y;
                        nz += nk.z;
                    }
                }
                if (kFrames) {
                    const nVector& tk = g.polygonTangents[q].tangent;
                    const float sign = tk.x * tj.x + tk.y * tj.y + tk.z * tj.z < 0.0f ? -1.0f : 1.0f;
                    tx += sign * tk.x;
                    ty += sign * tk.y;
                    tz += sign * tk.z;
                }
            }
            if (kNormals) normals[binding] = nVector(nx, ny, nz);
            if (kFrames) frames[binding].tangent = nVector(tx, ty, tz);
        }
        for (; binding - finished >= kNormaliseRun; finished += kNormaliseRun) {
            if (kNormals) NormaliseRun(normals + finished, kNormaliseRun);
            if (kFrames) FinishFrameRun(frames + finished, normals + finished, kNormaliseRun);
        }
    }
    if (kNormals) NormaliseRun(normals + finished, binding - finished);
    if (kFrames) FinishFrameRun(frames + finished, normals + finished, binding - finished);
}
}

void nGeometry::ComputePolygonNormal(bool force)
{
    if (!force && (polygonNormals || polygonCount == 0 || vertexCount == 0)) return;
    *g_log << "Compute polygon normal for " << m_name.GetCStr() << ".\n";
    delete[] polygonNormals;
    polygonNormals = 0;
    if (polygonCount == 0) return;
    polygonNormals = AllocateArray<nVector>(polygonCount);
    if (!polygonNormals) {
        *g_log << "[!] nGeometry::ComputePolygonNormal() failed to allocate buffer!\n";
        return;
    }
    for (uint32_t i = 0; i < polygonCount; ++i) {
        const nPolygon& p = polygons[i];
        if (p.count < 3) {
            polygonNormals[i] = kZero;
            continue;
        }
        const nVector& p0 = vertices[p.bindings[0]];
        const nVector& p1 = vertices[p.bindings[1]];
        const nVector& p2 = vertices[p.bindings[2]];
        polygonNormals[i] = Unit((p1 - p0).Cross(p2 - p0));
    }
}

void nGeometry::ComputePolygonTangent(bool force)
{
    if (!force && (polygonTangents || polygonCount == 0 || vertexCount == 0)) return;
    delete[] polygonTangents;
    polygonTangents = 0;
    if (polygonCount == 0 || vertexCount == 0) return;
    ComputePolygonNormal(false);
    if (!polygonNormals) return;
    polygonTangents = AllocateArray<nTangentFrame>(polygonCount);
    if (!polygonTangents) {
        *g_log << "[!] nGeometry::ComputePolygonTangent() failed to allocate buffer!\n";
        return;
    }
    // The UV set each material's Normal stage reads, or why its polygons get no frame.
    const int32_t kNoStage = -1, kNoSet = -2;
    const uint32_t slots = materialCount ? materialCount : 1;
    int32_t* setOf = new (std::nothrow) int32_t[slots];
    if (!setOf) {
        delete[] polygonTangents;
        polygonTangents = 0;
        *g_log << "[!] nGeometry::ComputePolygonTangent() failed to allocate buffer!\n";
        return;
    }
    for (uint32_t m = 0; m < slots; ++m) {
        setOf[m] = kNoStage;
        nMaterial* material = GetMaterial(m);
        nMaterialStage* stage = material ? material->GetStage(MaterialChannelNormal, false) : 0;
        if (!stage || !stage->active || !stage->texture.IsValid()) continue;
        uint32_t set = stage->uvIndex;
        setOf[m] = set < uvSetCount && set < (uint32_t)kGeometryUVSetCount && uvSets[set] ? (int32_t)set : kNoSet;
    }
    bool missingSet = false;
    uint32_t first = 0;  // the polygon's first binding: polygons own consecutive bindings
    for (uint32_t i = 0; i < polygonCount; ++i) {
        const uint32_t offset = first;
        first += polygons[i].count;
        nTangentFrame& frame = polygonTangents[i];
        // A polygon without a tangent frame of its own adds nothing at its vertices.
        frame.tangent = kZero;
        frame.bitangent = kZero;
        const nPolygon& p = polygons[i];
        if (p.count < 3) continue;
        int32_t set = setOf[p.material < slots ? p.material : 0];
        if (set == kNoStage) continue;
        if (set == kNoSet) {
            missingSet = true;
            continue;
        }
        const nVector2* uv = uvSets[set] + offset;
        const nVector& p0 = vertices[p.bindings[0]];
        const nVector& p1 = vertices[p.bindings[1]];
        const nVector& p2 = vertices[p.bindings[2]];
        nVector e1 = p0 - p1, e2 = p2 - p1;
        nVector t = -Unit(e1 * (uv[2].y - uv[1].y) - e2 * (uv[0].y - uv[1].y));
        nVector b = Unit(e1 * (uv[2].x - uv[1].x) - e2 * (uv[0].x - uv[1].x));
        if (t.Cross(b).Dot(polygonNormals[i]) < 0.0f) {
            t = -t;
            b = -b;
        }
        t.w = 1.0f;
        b.w = 1.0f;
        frame.tangent = t;
        frame.bitangent = b;
    }
    delete[] setOf;
    if (missingSet)
        *g_log << "[*] Missing UV sets to compute tangent frame in '" << m_name.GetCStr() << "'.\n";
}

void nGeometry::ComputeVertexNormal(bool force)
{
    if (!force && (vertexNormals || polygonCount == 0 || vertexCount == 0)) return;
    if (polygonCount == 0 || vertexCount == 0) {
        delete[] vertexNormals;
        vertexNormals = 0;
        return;
    }
    ComputePolygonNormal(force);
    // A forced computation follows edited vertices: the tangent frames must follow them too.
    ComputePolygonTangent(force);
    BuildVertexPolygonTable();
    SmoothVertexNormals(0);
}

void nGeometry::SmoothVertexNormals(nTangentFrame* frames)
{
    *g_log << "Compute vertex normal for " << m_name.GetCStr() << ".\n";
    if (bindingCount == 0) {
        *g_log << "[!] The total binding count is wrong. Check that the importer did properly update this flag.\n";
        CountBindings();
    }
    delete[] vertexNormals;
    vertexNormals = 0;
    if (!polygonNormals || !vertexPolygons || bindingCount == 0) return;
    vertexNormals = AllocateArray<nVector>(bindingCount);
    if (!vertexNormals) {
        *g_log << "[!] nGeometry::ComputeVertexNormal() failed to allocate buffer!\n";
        return;
    }
    // Each material's threshold, once: its smoothing value clamped to [-1, 1], 1 meaning -1.
    const uint32_t slots = materialCount ? materialCount : 1;
    float* thresholdOf = new (std::nothrow) float[slots];
    if (!thresholdOf) {
        delete[] vertexNormals;
        vertexNormals = 0;
        *g_log << "[!] nGeometry::ComputeVertexNormal() failed to allocate buffer!\n";
        return;
    }
    for (uint32_t m = 0; m < slots; ++m) {
        nMaterial* material = GetMaterial(m);
        float d = material ? nClamp(material->maxSmoothingAngle, -1.0f, 1.0f) : 2.0f;
        thresholdOf[m] = d == 1.0f ? -1.0f : d;  // 2: no material, the previous threshold holds
    }
    if (frames)
        WalkCorners<true, true>(*this, thresholdOf, slots, vertexNormals, frames);
    else
        WalkCorners<true, false>(*this, thresholdOf, slots, vertexNormals, 0);
    delete[] thresholdOf;
}

void nGeometry::ComputeVertexTangent(bool force)
{
    if (!force && (vertexTangents || polygonCount == 0 || vertexCount == 0)) return;
    if (polygonCount == 0 || vertexCount == 0) {
        delete[] vertexTangents;
        vertexTangents = 0;
        return;
    }
    *g_log << "Compute vertex tangent for " << m_name.GetCStr() << ".\n";
    ComputePolygonNormal(false);
    ComputePolygonTangent(force);
    BuildVertexPolygonTable();
    if (bindingCount == 0) {
        *g_log << "[!] ComputeVertexTangent() pol_binding_count member wasn't set! Check that the importer updates this flag.\n";
        CountBindings();
    }
    delete[] vertexTangents;
    vertexTangents = 0;
    nTangentFrame* frames = 0;
    if (polygonTangents && vertexPolygons && bindingCount > 0) {
        frames = AllocateArray<nTangentFrame>(bindingCount);
        if (!frames) *g_log << "[!] nGeometry::ComputeVertexTangent() failed to allocate buffer!\n";
    }
    // The frames are built around the vertex normals: missing ones come from the same walk.
    if (!vertexNormals) {
        SmoothVertexNormals(frames);
        if (frames && vertexNormals) vertexTangents = frames;
        else delete[] frames;
        return;
    }
    if (!frames) return;
    WalkCorners<false, true>(*this, 0, 0, vertexNormals, frames);
    vertexTangents = frames;
}
