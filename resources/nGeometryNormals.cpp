// Shading data of a geometry: polygon normals and tangent frames, and their per-corner smoothed forms.
#include "resources/nGeometry.h"

#include <cmath>
#include <new>

#include "core/nLog.h"
#include "resources/nMaterial.h"

namespace
{
const nVector kZero(0.0f, 0.0f, 0.0f, 1.0f);

inline nVector Unit(const nVector& v)
{
    nVector n = v.Normalize();
    n.w = 1.0f;
    return n;
}

// Normalize on every element, w = 1. A pass of its own: the square roots and divisions of
// independent elements overlap instead of ending each element's chain of sums.
void NormalizeAll(nVector* v, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i)
    {
        float len = std::sqrt(v[i].x * v[i].x + v[i].y * v[i].y + v[i].z * v[i].z);
        float inv = len >= 0.000001f ? 1.0f / len : 0.0f;
        v[i] = nVector(v[i].x * inv, v[i].y * inv, v[i].z * inv, 1.0f);
    }
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
    if (!polygonNormals)
    {
        *g_log << "[!] " << "nGeometry::ComputePolygonNormal() failed to allocate buffer!\n";
        return;
    }
    for (uint32_t i = 0; i < polygonCount; ++i)
    {
        const nPolygon& p = polygons[i];
        if (p.count < 3)
        {
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
    if (!polygonTangents)
    {
        *g_log << "[!] " << "nGeometry::ComputePolygonTangent() failed to allocate buffer!\n";
        return;
    }
    BuildPolygonOffsets();
    if (!polygonOffsets)
    {
        delete[] polygonTangents;
        polygonTangents = 0;
        *g_log << "[!] " << "nGeometry::ComputePolygonTangent() failed to allocate buffer!\n";
        return;
    }
    // The UV set each material's Normal stage reads, or why its polygons get no frame.
    const int32_t kNoStage = -1, kNoSet = -2;
    const uint32_t slots = materialCount ? materialCount : 1;
    int32_t* setOf = new (std::nothrow) int32_t[slots];
    if (!setOf)
    {
        delete[] polygonTangents;
        polygonTangents = 0;
        *g_log << "[!] " << "nGeometry::ComputePolygonTangent() failed to allocate buffer!\n";
        return;
    }
    for (uint32_t m = 0; m < slots; ++m)
    {
        setOf[m] = kNoStage;
        nMaterial* material = GetMaterial(m);
        nMaterialStage* stage = material ? material->GetStage(MaterialChannelNormal, false) : 0;
        if (!stage || !stage->active || !stage->texture.IsValid()) continue;
        uint32_t set = stage->uvIndex;
        setOf[m] = set < uvSetCount && set < (uint32_t)kGeometryUVSetCount && uvSets[set] ? (int32_t)set : kNoSet;
    }
    bool missingSet = false;
    for (uint32_t i = 0; i < polygonCount; ++i)
    {
        nTangentFrame& frame = polygonTangents[i];
        // A polygon without a tangent frame of its own adds nothing at its vertices.
        frame.tangent = kZero;
        frame.bitangent = kZero;
        const nPolygon& p = polygons[i];
        if (p.count < 3) continue;
        int32_t set = setOf[p.material < slots ? p.material : 0];
        if (set == kNoStage) continue;
        if (set == kNoSet)
        {
            missingSet = true;
            continue;
        }
        const nVector2* uv = uvSets[set] + polygonOffsets[i];
        const nVector& p0 = vertices[p.bindings[0]];
        const nVector& p1 = vertices[p.bindings[1]];
        const nVector& p2 = vertices[p.bindings[2]];
        nVector e1 = p0 - p1, e2 = p2 - p1;
        nVector t = -Unit(e1 * (uv[2].y - uv[1].y) - e2 * (uv[0].y - uv[1].y));
        nVector b = Unit(e1 * (uv[2].x - uv[1].x) - e2 * (uv[0].x - uv[1].x));
        if (t.Cross(b).Dot(polygonNormals[i]) < 0.0f)
        {
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
        *g_log << "[*] " << "Missing UV sets to compute tangent frame in '" << m_name.GetCStr() << "'.\n";
}

void nGeometry::ComputeVertexNormal(bool force)
{
    if (!force && (vertexNormals || polygonCount == 0 || vertexCount == 0)) return;
    if (polygonCount == 0 || vertexCount == 0)
    {
        delete[] vertexNormals;
        vertexNormals = 0;
        return;
    }
    ComputePolygonNormal(force);
    // A forced computation follows edited vertices: the tangent frames must follow them too.
    ComputePolygonTangent(force);
    BuildVertexPolygonTable();
    *g_log << "Compute vertex normal for " << m_name.GetCStr() << ".\n";
    if (bindingCount == 0)
    {
        *g_log << "[!] " << "The total binding count is wrong. Check that the importer did properly update this flag.\n";
        CountBindings();
    }
    delete[] vertexNormals;
    vertexNormals = 0;
    if (!polygonNormals || !vertexPolygons || bindingCount == 0) return;
    vertexNormals = AllocateArray<nVector>(bindingCount);
    if (!vertexNormals)
    {
        *g_log << "[!] " << "nGeometry::ComputeVertexNormal() failed to allocate buffer!\n";
        return;
    }
    // Each material's threshold, once: its smoothing value clamped to [-1, 1], 1 meaning -1.
    const uint32_t slots = materialCount ? materialCount : 1;
    float* thresholdOf = new (std::nothrow) float[slots];
    if (!thresholdOf)
    {
        delete[] vertexNormals;
        vertexNormals = 0;
        *g_log << "[!] " << "nGeometry::ComputeVertexNormal() failed to allocate buffer!\n";
        return;
    }
    for (uint32_t m = 0; m < slots; ++m)
    {
        nMaterial* material = GetMaterial(m);
        float d = material ? nClamp(material->maxSmoothingAngle, -1.0f, 1.0f) : 2.0f;
        thresholdOf[m] = d == 1.0f ? -1.0f : d;   // 2: no material, the previous threshold holds
    }
    float threshold = -1.0f;
    nVector* out = vertexNormals;
    for (uint32_t j = 0; j < polygonCount; ++j)
    {
        const nPolygon& p = polygons[j];
        const float d = thresholdOf[p.material < slots ? p.material : 0];
        if (d <= 1.0f) threshold = d;
        const nVector nj = polygonNormals[j];
        for (uint32_t c = 0; c < p.count; ++c, ++out)
        {
            const nVertexPolygons& head = vertexPolygons[p.bindings[c]];
            float sx = 0.0f, sy = 0.0f, sz = 0.0f;
            for (uint32_t k = 0; k < head.count; ++k)
            {
                const nVector& nk = polygonNormals[head.polygons[k]];
                if (nk.x * nj.x + nk.y * nj.y + nk.z * nj.z > threshold)
                {
                    sx += nk.x;
                    sy += nk.y;
                    sz += nk.z;
                }
            }
            *out = nVector(sx, sy, sz);
        }
    }
    delete[] thresholdOf;
    NormalizeAll(vertexNormals, bindingCount);
}

void nGeometry::ComputeVertexTangent(bool force)
{
    if (!force && (vertexTangents || polygonCount == 0 || vertexCount == 0)) return;
    if (polygonCount == 0 || vertexCount == 0)
    {
        delete[] vertexTangents;
        vertexTangents = 0;
        return;
    }
    *g_log << "Compute vertex tangent for " << m_name.GetCStr() << ".\n";
    ComputePolygonNormal(false);
    ComputePolygonTangent(force);
    BuildVertexPolygonTable();
    if (bindingCount == 0)
    {
        *g_log << "[!] " << "ComputeVertexTangent() pol_binding_count member wasn't set! Check that the importer updates this flag.\n";
        CountBindings();
    }
    // The frames are built around the vertex normals, which must exist first.
    ComputeVertexNormal(false);
    delete[] vertexTangents;
    vertexTangents = 0;
    if (!polygonTangents || !vertexPolygons || !vertexNormals || bindingCount == 0) return;
    vertexTangents = AllocateArray<nTangentFrame>(bindingCount);
    if (!vertexTangents)
    {
        *g_log << "[!] " << "nGeometry::ComputeVertexTangent() failed to allocate buffer!\n";
        return;
    }
    uint32_t binding = 0;
    for (uint32_t i = 0; i < polygonCount; ++i)
    {
        const nPolygon& p = polygons[i];
        const nVector ti = polygonTangents[i].tangent;
        for (uint32_t c = 0; c < p.count; ++c, ++binding)
        {
            const nVertexPolygons& head = vertexPolygons[p.bindings[c]];
            float sx = 0.0f, sy = 0.0f, sz = 0.0f;
            for (uint32_t k = 0; k < head.count; ++k)
            {
                const nVector& tk = polygonTangents[head.polygons[k]].tangent;
                float sign = tk.x * ti.x + tk.y * ti.y + tk.z * ti.z < 0.0f ? -1.0f : 1.0f;
                sx += sign * tk.x;
                sy += sign * tk.y;
                sz += sign * tk.z;
            }
            const nVector sum(sx, sy, sz);
            const nVector& n = vertexNormals[binding];
            vertexTangents[binding].tangent = sum - n * n.Dot(sum);
        }
    }
    for (uint32_t i = 0; i < bindingCount; ++i)
    {
        nTangentFrame& frame = vertexTangents[i];
        const nVector& t = frame.tangent;
        float len = std::sqrt(t.x * t.x + t.y * t.y + t.z * t.z);
        float inv = len >= 0.000001f ? 1.0f / len : 0.0f;
        frame.tangent = nVector(t.x * inv, t.y * inv, t.z * inv, 1.0f);
        frame.bitangent = vertexNormals[i].Cross(frame.tangent);
    }
}
