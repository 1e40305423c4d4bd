#include "resources/nGeometry.h"

#include <cmath>
#include <cstring>
#include <new>
#include <sys/mman.h>

#include "core/nLog.h"
#include "hub/nCoreListener.h"
#include "hub/nOrvex.h"
#include "render/nRenderer.h"
#include "resources/nGeometryBIH.h"
#include "resources/nMaterial.h"
#include "resources/nOctreeNode.h"

nGeometry::nGeometry(nOrvex* engine)
    : bounds(nVector(0.0f, 0.0f, 0.0f, 1.0f), nVector(0.0f, 0.0f, 0.0f, 1.0f)),
      materialCount(0),
      materials(0),
      renderWord(0),
      materialFlags(0),
      geometryBIH(0),
      proxyFlags(0),
      centre(0.0f, 0.0f, 0.0f, 1.0f),
      zFar(-1.0f),
      lodDistance(100.0f),
      homogeneous(0),
      vertexCount(0),
      vertices(0),
      vertexNormals(0),
      vertexTangents(0),
      colors(0),
      uvSetCount(0),
      bindings(0),
      bindingCount(0),
      polygonOffsets(0),
      polygonCount(0),
      polygons(0),
      boneCount(0),
      boneNames(0),
      bindMatrices(0),
      skinWeights(0),
      staticFlag(1),
      polygonNormals(0),
      polygonTangents(0),
      vertexPolygons(0),
      vertexPolygonList(0),
      m_keepMask(0),
      m_engine(engine),
      m_renderData(0),
      m_octree(0)
{
    for (int i = 0; i < kGeometryUVSetCount; ++i) uvSets[i] = 0;
}

nGeometry::~nGeometry()
{
    nCoreEventRecord record;
    record.geometry = this;
    if (m_engine) m_engine->NotifyCoreListeners(CoreEventResourceDestroying, &record);
    Clear();
    if (m_engine) m_engine->NotifyCoreListeners(CoreEventResourceDestroyed, &record);
    shadowProxy.Release();
    lodProxy.Release();
}

// ---------------------------------------------------------------------------------------------
// Storage

bool nGeometry::AllocateVertices(uint32_t count)
{
    delete[] vertices;
    vertices = 0;
    vertexCount = 0;
    if (count == 0) return true;
    vertices = AllocateArray<nVector>(count);
    if (!vertices) return false;
    vertexCount = count;
    return true;
}

bool nGeometry::AllocatePolygons(uint32_t count)
{
    delete[] polygons;
    delete[] polygonOffsets;
    polygons = 0;
    polygonOffsets = 0;
    polygonCount = 0;
    bindingCount = 0;
    if (count == 0) return true;
    polygons = new (std::nothrow) nPolygon[count];
    if (!polygons) return false;
    polygonCount = count;
    return true;
}

bool nGeometry::AllocateBindings()
{
    CountBindings();
    delete[] bindings;
    bindings = 0;
    if (bindingCount == 0) return true;
    bindings = new (std::nothrow) int32_t[bindingCount];
    if (!bindings) {
        bindingCount = 0;
        return false;
    }
    int32_t* cursor = bindings;
    for (uint32_t i = 0; i < polygonCount; ++i) {
        polygons[i].bindings = cursor;
        cursor += polygons[i].count;
    }
    return true;
}

void nGeometry::CountBindings()
{
    uint32_t total = 0;
    for (uint32_t i = 0; i < polygonCount; ++i) total += polygons[i].count;
    bindingCount = total;
}

void nGeometry::BuildPolygonOffsets()
{
    if (polygonCount == 0 || polygonOffsets) return;
    polygonOffsets = new (std::nothrow) int32_t[polygonCount];
    if (!polygonOffsets) return;
    int32_t offset = 0;
    for (uint32_t i = 0; i < polygonCount; ++i) {
        polygonOffsets[i] = offset;
        offset += polygons[i].count;
    }
}

void nGeometry::PrefaultLargeArray(void* data, size_t bytes)
{
#ifdef MADV_POPULATE_WRITE
    // The mesh arrays run to tens of megabytes and are written in full right after allocation.
    // Fresh pages taken one fault at a time cost more than the work that fills them; asking the
    // kernel to map the whole array at once saves the fault entry and exit of every page. Memory
    // the allocator hands out again is mostly mapped already (its last page tells) and is left
    // alone. A kernel without this advice refuses it harmlessly.
    const size_t kLarge = (size_t)1 << 20;
    const uintptr_t kPage = 4096;
    if (bytes < kLarge) return;
    const uintptr_t begin = ((uintptr_t)data + kPage - 1) & ~(kPage - 1);
    const uintptr_t end = ((uintptr_t)data + bytes) & ~(kPage - 1);
    unsigned char resident = 0;
    if (end <= begin || (mincore((void*)(end - kPage), kPage, &resident) == 0 && (resident & 1))) return;
    madvise((void*)begin, end - begin, MADV_POPULATE_WRITE);
#else
    (void)data;
    (void)bytes;
#endif
}

void nGeometry::AllocateSkin(int32_t count)
{
    delete[] boneNames;
    delete[] bindMatrices;
    boneNames = 0;
    bindMatrices = 0;
    boneCount = count > 0 ? count : 0;
    if (boneCount == 0) return;
    boneNames = new (std::nothrow) nString[boneCount];
    bindMatrices = new (std::nothrow) nMatrix4[boneCount];
}

// ---------------------------------------------------------------------------------------------
// Materials

bool nGeometry::AllocateMaterials(uint32_t count, bool create)
{
    FreeMaterials();
    if (count == 0) {
        *g_log << "[*] No materials allocated for geometry '" << m_name.GetCStr() << "'.\n";
        return true;
    }
    materials = new (std::nothrow) nSharedPtr<nMaterial>[count];
    if (!materials) {
        *g_log << "[!] Could not allocate material array for geometry '" << m_name.GetCStr() << "'.\n";
        return false;
    }
    if (create)
        for (uint32_t i = 0; i < count; ++i) materials[i] = new (std::nothrow) nMaterial(m_engine);
    materialCount = count;
    return true;
}

nMaterial* nGeometry::GetMaterial(uint32_t index) const
{
    if (!materials || materialCount == 0) return 0;
    if (index >= materialCount) index = 0;
    return materials[index].Get();
}

uint32_t nGeometry::FindMaterialIndex(const char* name) const
{
    if (!materials) return 0;
    nString wanted(name);
    for (uint32_t i = 0; i < materialCount; ++i)
        if (materials[i].IsValid() && materials[i]->GetName() == wanted) return i;
    return 0;
}

nMaterial* nGeometry::FindMaterial(const char* name) const
{
    if (!materials) return 0;
    return GetMaterial(FindMaterialIndex(name));
}

void nGeometry::SetMaterial(uint32_t index, nMaterial* material)
{
    if (materials && index < materialCount) materials[index] = material;
}

void nGeometry::FreeMaterials()
{
    delete[] materials;
    materials = 0;
    materialCount = 0;
}

// ---------------------------------------------------------------------------------------------
// Derived tables

nMinMax& nGeometry::ComputeBounds(nMinMax& out, const nMatrix4* matrix) const
{
    if (vertexCount == 0 || !vertices) {
        if (!matrix) {
            out = bounds;
            return out;
        }
        nOBB box(bounds);
        box.Transform(*matrix);
        out = box.GetMinMax();
        return out;
    }
    nVector first = matrix ? vertices[0].Transform(*matrix) : vertices[0];
    nVector lo = first, hi = first;
    for (uint32_t i = 1; i < vertexCount; ++i) {
        nVector p = matrix ? vertices[i].Transform(*matrix) : vertices[i];
        lo = VectorMin(lo, p);
        hi = VectorMax(hi, p);
    }
    lo.w = first.w;
    hi.w = first.w;
    out = nMinMax(lo, hi);
    return out;
}

bool nGeometry::BuildVertexPolygonTable()
{
    if (polygonCount == 0 || vertexCount == 0 || vertexPolygons || !polygons) return true;
    nVertexPolygons* heads = AllocateArray<nVertexPolygons>(vertexCount);
    if (!heads) {
        *g_log << "[!] Could not allocate vertex to polygon table.\n";
        return false;
    }
    for (uint32_t v = 0; v < vertexCount; ++v) heads[v].count = 0;
    size_t total = 0;
    for (uint32_t p = 0; p < polygonCount; ++p)
        for (uint32_t c = 0; c < polygons[p].count; ++c) {
            int32_t v = polygons[p].bindings[c];
            if (v >= 0 && (uint32_t)v < vertexCount) {
                ++heads[v].count;
                ++total;
            }
        }
    int32_t* flat = AllocateArray<int32_t>(total ? total : 1);
    if (!flat) {
        delete[] heads;
        *g_log << "[!] Could not allocate vertex to polygon table.\n";
        return false;
    }
    int32_t* cursor = flat;
    for (uint32_t v = 0; v < vertexCount; ++v) {
        heads[v].polygons = cursor;
        cursor += heads[v].count;
        heads[v].count = 0;
    }
    for (uint32_t p = 0; p < polygonCount; ++p)
        for (uint32_t c = 0; c < polygons[p].count; ++c) {
            int32_t v = polygons[p].bindings[c];
            if (v >= 0 && (uint32_t)v < vertexCount) heads[v].polygons[heads[v].count++] = (int32_t)p;
        }
    vertexPolygons = heads;
    vertexPolygonList = flat;
    return true;
}

namespace {
const float kHomogeneousEpsilon = 1e-5f;

// The binding of vertex v in polygon p: its first corner there.
int32_t CornerOf(const nGeometry& g, int32_t p, int32_t v)
{
    const nPolygon& poly = g.polygons[p];
    for (uint32_t c = 0; c < poly.count; ++c)
        if (poly.bindings[c] == v) return (int32_t)(poly.bindings - g.bindings) + (int32_t)c;
    return -1;
}

bool BindingsAgree(const nGeometry& g, int32_t a, int32_t b)
{
    if (g.vertexNormals && g.vertexNormals[a].DistanceSquared(g.vertexNormals[b]) > kHomogeneousEpsilon)
        return false;
    if (g.colors) {
        // Red, green and blue only: bindings that differ in alpha alone still agree.
        const nGeometryColor& ca = g.colors[a];
        const nGeometryColor& cb = g.colors[b];
        float dr = ca.r - cb.r, dg = ca.g - cb.g, db = ca.b - cb.b;
        if (dr * dr + dg * dg + db * db > kHomogeneousEpsilon) return false;
    }
    for (uint32_t s = 0; s < g.uvSetCount && s < (uint32_t)kGeometryUVSetCount; ++s) {
        const nVector2* uv = g.uvSets[s];
        if (!uv) continue;
        float dx = uv[a].x - uv[b].x, dy = uv[a].y - uv[b].y;
        if (dx * dx + dy * dy > kHomogeneousEpsilon) return false;
    }
    return true;
}

// Grows [lo, hi] per component to hold value.
inline void Widen(float* lo, float* hi, const float* value, int n)
{
    for (int i = 0; i < n; ++i) {
        if (value[i] < lo[i]) lo[i] = value[i];
        if (value[i] > hi[i]) hi[i] = value[i];
    }
}

inline bool Within(const float* lo, const float* hi, int n)
{
    float d = 0.0f;
    for (int i = 0; i < n; ++i) d += (hi[i] - lo[i]) * (hi[i] - lo[i]);
    return d <= kHomogeneousEpsilon;
}

// True when the attributes of every binding of v lie in a box whose diagonal is within the
// threshold: then every pair agrees, without comparing the pairs.
bool RangesAgree(const nGeometry& g, int32_t v)
{
    const nVertexPolygons& head = g.vertexPolygons[v];
    const int kSets = kGeometryUVSetCount;
    float lo[3 + 3 + 2 * kSets], hi[3 + 3 + 2 * kSets];
    bool first = true;
    for (uint32_t i = 0; i < head.count; ++i) {
        int32_t b = CornerOf(g, head.polygons[i], v);
        if (b < 0) continue;
        float value[3 + 3 + 2 * kSets] = {0};
        if (g.vertexNormals) {
            value[0] = g.vertexNormals[b].x;
            value[1] = g.vertexNormals[b].y;
            value[2] = g.vertexNormals[b].z;
        }
        if (g.colors) {
            value[3] = g.colors[b].r;
            value[4] = g.colors[b].g;
            value[5] = g.colors[b].b;
        }
        for (int s = 0; s < kSets; ++s)
            if (s < (int)g.uvSetCount && g.uvSets[s]) {
                value[6 + 2 * s] = g.uvSets[s][b].x;
                value[7 + 2 * s] = g.uvSets[s][b].y;
            }
        if (first) {
            for (int k = 0; k < 6 + 2 * kSets; ++k) lo[k] = hi[k] = value[k];
            first = false;
        } else
            Widen(lo, hi, value, 6 + 2 * kSets);
    }
    if (first) return true;
    for (int k = 0; k < 6 + 2 * kSets; k += (k < 6 ? 3 : 2))
        if (!Within(lo + k, hi + k, k < 6 ? 3 : 2)) return false;
    return true;
}

// Whether every pair of v's bindings in different polygons agrees: same material and, when that
// material is keyed, attributes within the threshold.
bool VertexAgrees(const nGeometry& g, int32_t v, int32_t key)
{
    const nVertexPolygons& head = g.vertexPolygons[v];
    if (head.count < 2) return true;
    const uint16_t material = g.polygons[head.polygons[0]].material;
    for (uint32_t i = 1; i < head.count; ++i)
        if (g.polygons[head.polygons[i]].material != material) return false;
    if (key != -1 && key != (int32_t)material) return true;
    if (RangesAgree(g, v)) return true;
    // The threshold is not transitive: bindings spread wider than it may still agree pairwise.
    for (uint32_t i = 0; i < head.count; ++i) {
        int32_t pa = head.polygons[i];
        int32_t bindingA = CornerOf(g, pa, v);
        for (uint32_t j = i + 1; j < head.count; ++j) {
            int32_t pb = head.polygons[j];
            if (pa == pb) continue;
            int32_t bindingB = CornerOf(g, pb, v);
            if (bindingA >= 0 && bindingB >= 0 && !BindingsAgree(g, bindingA, bindingB)) return false;
        }
    }
    return true;
}
}

bool nGeometry::BuildHomogeneousTable(int32_t key)
{
    // Without the vertex-to-polygon table nothing is known to be shared: no table at all rather
    // than one that calls every vertex shared.
    if (!BuildVertexPolygonTable()) {
        FreeHomogeneousTable();
        return false;
    }
    if (vertexCount == 0) return true;
    if (!homogeneous) {
        homogeneous = new (std::nothrow) uint8_t[vertexCount];
        if (!homogeneous) {
            *g_log << "[!] Could not allocate homogeneous vertex table.\n";
            return false;
        }
    }
    std::memset(homogeneous, 1, vertexCount);
    if (!vertexPolygons) return true;  // no polygons: no binding disagrees
    for (uint32_t v = 0; v < vertexCount; ++v)
        if (!VertexAgrees(*this, (int32_t)v, key)) homogeneous[v] = 0;
    return true;
}

void nGeometry::FreeHomogeneousTable()
{
    delete[] homogeneous;
    homogeneous = 0;
}

bool nGeometry::BuildGeoTree()
{
    if (geometryBIH) return true;
    geometryBIH = new (std::nothrow) nGeometryBIH();
    if (!geometryBIH) {
        *g_log << "[!] Failed to allocate geotree.\n";
        return false;
    }
    if (geometryBIH->Build(this)) return true;
    delete geometryBIH;
    geometryBIH = 0;
    return false;
}

// ---------------------------------------------------------------------------------------------
// Life cycle

void nGeometry::UpdateMaterialFlags()
{
    renderWord = 0;
    bool needNormals = false;
    for (uint32_t i = 0; i < materialCount; ++i) {
        nMaterial* m = materials[i].Get();
        if (!m) continue;
        uint32_t flags = m->renderFlags;
        materialFlags |= flags;
        if (flags & SoftBody) staticFlag = 0;
        if ((flags & MaterialRenderSmooth) && !(flags & MaterialRenderShadeless)) needNormals = true;
        if (flags & MaterialRenderNormalMapTangent) renderWord |= GeometryRenderTangents;
    }
    if ((materialFlags & MaterialRenderVertexNormal) || needNormals) renderWord |= GeometryRenderLit;
}

void nGeometry::SetupMaterials()
{
    for (uint32_t i = 0; i < materialCount; ++i) {
        nMaterial* m = materials[i].Get();
        if (!m) continue;
        if (skinWeights) m->renderFlags |= MaterialRenderSkinned;
        m->Setup();
    }
}

void nGeometry::Setup()
{
    nOrvex::EventInterface* progress = m_engine ? m_engine->GetEventInterface() : 0;
    if (progress) progress->OnMessage("Geometry Setup");
    UpdateMaterialFlags();
    if (vertexCount == 0 || !vertices || polygonCount == 0 || !polygons) return;

    double sx = 0.0, sy = 0.0, sz = 0.0;
    for (uint32_t i = 0; i < vertexCount; ++i) {
        sx += vertices[i].x;
        sy += vertices[i].y;
        sz += vertices[i].z;
    }
    centre = nVector((float)(sx / vertexCount), (float)(sy / vertexCount), (float)(sz / vertexCount), 1.0f);

    if (renderWord & GeometryRenderLit) ComputeVertexNormal(false);
    if (renderWord & GeometryRenderTangents) ComputeVertexTangent(false);
    SetupMaterials();
    m_keepMask |= GeometryKeepMaterials | GeometryKeepProxies | GeometryKeepRenderData;
    ComputeBounds(bounds, 0);
    if (m_octree) {
        SetupOctree();
        return;
    }
    nRenderer* renderer = m_engine ? m_engine->GetRenderer() : 0;
    if (renderer) renderer->SetupGeometry(this);
}

void nGeometry::FreeMesh()
{
    // The hierarchy reads the mesh at every query.
    delete geometryBIH;
    geometryBIH = 0;
    delete[] vertices;
    delete[] vertexNormals;
    delete[] vertexTangents;
    delete[] polygonNormals;
    delete[] polygonTangents;
    delete[] polygons;
    delete[] bindings;
    delete[] polygonOffsets;
    vertices = 0;
    vertexNormals = 0;
    vertexTangents = 0;
    polygonNormals = 0;
    polygonTangents = 0;
    polygons = 0;
    bindings = 0;
    polygonOffsets = 0;
    // The counts go with the arrays: a later set-up or conversion must not walk freed memory.
    vertexCount = 0;
    polygonCount = 0;
    bindingCount = 0;
}

void nGeometry::FreeAttributes()
{
    for (int i = 0; i < kGeometryUVSetCount; ++i) {
        delete[] uvSets[i];
        uvSets[i] = 0;
    }
    uvSetCount = 0;
    delete[] colors;
    colors = 0;
}

void nGeometry::FreeAdjacency()
{
    delete[] vertexPolygons;
    delete[] vertexPolygonList;
    vertexPolygons = 0;
    vertexPolygonList = 0;
    FreeHomogeneousTable();
    delete[] polygonOffsets;
    polygonOffsets = 0;
}

void nGeometry::FreeSkin()
{
    delete[] boneNames;
    delete[] bindMatrices;
    delete[] skinWeights;
    boneNames = 0;
    bindMatrices = 0;
    skinWeights = 0;
    boneCount = 0;
}

void nGeometry::Free()
{
    if (!(m_keepMask & GeometryKeepRenderData)) {
        nRenderer* renderer = m_engine ? m_engine->GetRenderer() : 0;
        if (renderer) renderer->FreeGeometry(this);
    }
    if (!(m_keepMask & GeometryKeepMesh)) {
        // The vertex-to-polygon table indexes vertices; it cannot outlive them.
        FreeMesh();
        FreeAdjacency();
    }
    if (!(m_keepMask & GeometryKeepAttributes)) FreeAttributes();
    if (!(m_keepMask & GeometryKeepAdjacency)) FreeAdjacency();
    if (!(m_keepMask & GeometryKeepMaterials)) {
        FreeMaterials();
        zFar = -1.0f;
    }
    if (!(m_keepMask & GeometryKeepProxies)) {
        lodProxy.Release();
        shadowProxy.Release();
        lodDistance = 100.0f;
        proxyFlags &= ~(uint32_t)(GeometryLodNull | GeometryShadowNull);
    }
    if (!(m_keepMask & GeometryKeepOctree)) FreeOctree();
}

void nGeometry::Clear()
{
    FreeSkin();
    m_keepMask = 0;
    Free();
}

// ---------------------------------------------------------------------------------------------

bool VectorDiffers(const nVector& a, const nVector& b)
{
    return std::fabs(a.x - b.x) >= 1e-6f || std::fabs(a.y - b.y) >= 1e-6f || std::fabs(a.z - b.z) >= 1e-6f;
}

bool MatrixDiffers(const nMatrix4& a, const nMatrix4& b)
{
    for (int i = 0; i < 16; ++i)
        if (std::fabs(a.m[i] - b.m[i]) >= 1e-6f) return true;
    return false;
}
