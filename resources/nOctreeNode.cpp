#include "resources/nOctreeNode.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "core/nFrustum.h"
#include "core/nLog.h"
#include "hub/nOrvex.h"
#include "render/nRenderer.h"
#include "resources/nGeometry.h"
#include "resources/nMaterial.h"

namespace {

const float kFlatExtent = 0.001f;  // a node this thin on its split axis cannot be split

uint32_t g_leafCounter = 0;
uint32_t g_polygonTotal = 0;

// Calls f(position) for every vertex of the polygon.
template<class F>
void ForEachVertex(const nGeometry* g, uint32_t polygon, F f)
{
    const nPolygon& p = g->polygons[polygon];
    for (uint32_t c = 0; c < p.count; ++c) f(g->vertices[p.bindings[c]]);
}

bool HasVertexBelow(const nGeometry* g, uint32_t polygon, int32_t axis, float value)
{
    const nPolygon& p = g->polygons[polygon];
    for (uint32_t c = 0; c < p.count; ++c)
        if ((&g->vertices[p.bindings[c]].x)[axis] < value) return true;
    return false;
}

// A copy of count per-binding (or per-polygon) elements of each listed polygon, in list order.
template<class T>
bool CopyPerBinding(T*& out, const T* in, const nGeometry* source, const nDwordArray& list, uint32_t total)
{
    if (!in || total == 0) return true;
    out = nGeometry::AllocateArray<T>(total);
    if (!out) return false;
    T* cursor = out;
    for (uint32_t i = 0; i < list.count; ++i) {
        const nPolygon& p = source->polygons[list.values[i]];
        const T* first = in + (p.bindings - source->bindings);
        std::memcpy(static_cast<void*>(cursor), first, p.count * sizeof(T));
        cursor += p.count;
    }
    return true;
}

template<class T>
bool CopyPerPolygon(T*& out, const T* in, const nDwordArray& list)
{
    if (!in || list.count == 0) return true;
    out = nGeometry::AllocateArray<T>(list.count);
    if (!out) return false;
    for (uint32_t i = 0; i < list.count; ++i) out[i] = in[list.values[i]];
    return true;
}

}

// ---------------------------------------------------------------------------------------------
// nDwordArray

bool nDwordArray::Allocate(uint32_t n)
{
    Free();
    if (n == 0) return true;
    values = new (std::nothrow) uint32_t[n];
    if (!values) return false;
    count = n;
    return true;
}

void nDwordArray::Free()
{
    delete[] values;
    values = 0;
    count = 0;
}

// ---------------------------------------------------------------------------------------------
// Build

nOctreeNode::nOctreeNode(nOrvex* engine)
    : m_engine(engine),
      m_visibility(VisibilityOutside),
      m_bounds(nVector(0.0f, 0.0f, 0.0f, 1.0f), nVector(0.0f, 0.0f, 0.0f, 1.0f)),
      m_parent(0),
      m_lower(0),
      m_upper(0),
      m_splitAxis(0),
      m_splitValue(0.0f)
{
}

nOctreeNode::~nOctreeNode()
{
    delete m_lower;
    delete m_upper;
    m_leaf.Release();
}

void nOctreeNode::ResetSummary()
{
    g_leafCounter = 0;
    g_polygonTotal = 0;
}

void nOctreeNode::GetSummary(uint32_t& leaves, uint32_t& polygons)
{
    leaves = g_leafCounter;
    polygons = g_polygonTotal;
}

bool nOctreeNode::BuildNode(nOctreeBuild& build, nDwordArray& list, int32_t depth)
{
    const bool hasVertices = ComputeNodeBounds(build.source, list);
    const nVector extent = m_bounds.max - m_bounds.min;
    const float ex = std::fabs(extent.x), ey = std::fabs(extent.y), ez = std::fabs(extent.z);
    m_splitAxis = (ex > ey && ex > ez) ? 0 : (ey > ex && ey > ez) ? 1
                                                                  : 2;
    const float axisExtent = m_splitAxis == 0 ? ex : m_splitAxis == 1 ? ey
                                                                      : ez;

    if (depth <= 0 || list.count <= build.leafLimit || !hasVertices || axisExtent <= kFlatExtent) {
        *g_log << "Octree node depth " << (kOctreeDepthBudget - depth) << ", containing " << (int32_t)list.count
               << " polygon(s).\n";
        return MakeLeaf(build, list);
    }

    const uint32_t lowerCount = ChooseSplit(build.source, list);
    nDwordArray lower, upper;
    if (!lower.Allocate(lowerCount) || !upper.Allocate(list.count - lowerCount)) {
        *g_log << "[!] Octree failed to allocate polygon list.\n";
        list.Free();
        return false;
    }
    uint32_t l = 0, u = 0;
    for (uint32_t i = 0; i < list.count; ++i) {
        const uint32_t polygon = list.values[i];
        if (HasVertexBelow(build.source, polygon, m_splitAxis, m_splitValue)) lower.values[l++] = polygon;
        else upper.values[u++] = polygon;
    }
    list.Free();

    return BuildChild(m_lower, build, lower, depth - 1) && BuildChild(m_upper, build, upper, depth - 1);
}

bool nOctreeNode::BuildChild(nOctreeNode*& child, nOctreeBuild& build, nDwordArray& list, int32_t depth)
{
    if (list.count == 0) return true;
    child = new (std::nothrow) nOctreeNode(m_engine);
    if (!child) {
        *g_log << "[!] Octree failed to allocate a node.\n";
        list.Free();
        return false;
    }
    child->m_parent = this;
    return child->BuildNode(build, list, depth);
}

// Starts at the first listed polygon that has a vertex: a polygon without vertices adds
// nothing, and neither does a list of such polygons (the bounds stay zero).
bool nOctreeNode::ComputeNodeBounds(const nGeometry* source, const nDwordArray& list)
{
    bool found = false;
    for (uint32_t i = 0; i < list.count; ++i) {
        ForEachVertex(source, list.values[i], [&](const nVector& v) {
            if (!found) {
                m_bounds = nMinMax(v, v);
                found = true;
            } else {
                m_bounds.min = VectorMin(m_bounds.min, v);
                m_bounds.max = VectorMax(m_bounds.max, v);
            }
        });
    }
    if (found) m_bounds.max.w = m_bounds.min.w;
    return found;
}

uint32_t nOctreeNode::ChooseSplit(const nGeometry* source, const nDwordArray& list)
{
    const float lo = (&m_bounds.min.x)[m_splitAxis];
    const float hi = (&m_bounds.max.x)[m_splitAxis];
    m_splitValue = (lo + hi) * 0.5f;
    uint32_t lowerCount = 0;
    for (uint32_t i = 0; i < list.count; ++i)
        if (HasVertexBelow(source, list.values[i], m_splitAxis, m_splitValue)) ++lowerCount;
    return lowerCount;
}

bool nOctreeNode::MakeLeaf(nOctreeBuild& build, nDwordArray& list)
{
    const nGeometry* source = build.source;
    nGeometry* leaf = new (std::nothrow) nGeometry(m_engine);
    if (!leaf) {
        *g_log << "[!] Failed to allocate leaf geometry.\n";
        list.Free();
        return false;
    }
    m_leaf = leaf;

    // Dense renumbering: each source vertex gets the next index at its first use.
    uint32_t used = 0, bindingTotal = 0;
    for (uint32_t i = 0; i < list.count; ++i) {
        const nPolygon& p = source->polygons[list.values[i]];
        bindingTotal += p.count;
        for (uint32_t c = 0; c < p.count; ++c) {
            int32_t& slot = build.vertexMap[p.bindings[c]];
            if (slot < 0) slot = (int32_t)used++;
        }
    }

    bool ok = leaf->AllocateVertices(used) && leaf->AllocatePolygons(list.count);
    if (ok) {
        for (uint32_t i = 0; i < list.count; ++i) {
            const nPolygon& p = source->polygons[list.values[i]];
            leaf->polygons[i].count = p.count;
            leaf->polygons[i].material = p.material;
        }
        ok = leaf->AllocateBindings();
    }
    if (ok) {
        for (uint32_t i = 0; i < list.count; ++i) {
            const nPolygon& p = source->polygons[list.values[i]];
            for (uint32_t c = 0; c < p.count; ++c) {
                const int32_t v = build.vertexMap[p.bindings[c]];
                leaf->polygons[i].bindings[c] = v;
                leaf->vertices[v] = source->vertices[p.bindings[c]];
            }
        }
        ok = CopyPerBinding(leaf->vertexNormals, source->vertexNormals, source, list, bindingTotal) && CopyPerBinding(leaf->vertexTangents, source->vertexTangents, source, list, bindingTotal) && CopyPerBinding(leaf->colors, source->colors, source, list, bindingTotal) && CopyPerPolygon(leaf->polygonNormals, source->polygonNormals, list) && CopyPerPolygon(leaf->polygonTangents, source->polygonTangents, list);
        for (int s = 0; ok && s < kGeometryUVSetCount; ++s)
            ok = CopyPerBinding(leaf->uvSets[s], source->uvSets[s], source, list, bindingTotal);
        leaf->uvSetCount = source->uvSetCount;
    }
    if (ok && source->materialCount) {
        ok = leaf->AllocateMaterials(source->materialCount, false);
        for (uint32_t m = 0; ok && m < source->materialCount; ++m) leaf->SetMaterial(m, source->materials[m].Get());
    }

    // The map is left clean for the next leaf.
    for (uint32_t i = 0; i < list.count; ++i) {
        const nPolygon& p = source->polygons[list.values[i]];
        for (uint32_t c = 0; c < p.count; ++c) build.vertexMap[p.bindings[c]] = -1;
    }
    const uint32_t polygons = list.count;
    list.Free();
    if (!ok) {
        *g_log << "[!] Failed to allocate leaf geometry.\n";
        return false;
    }

    char number[32];
    std::snprintf(number, sizeof(number), " (Leaf %u)", g_leafCounter);
    leaf->SetName((source->GetName() + number).GetCStr());
    ++g_leafCounter;
    g_polygonTotal += polygons;
    leaf->ComputeBounds(leaf->bounds, 0);
    leaf->Setup();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Drawing

void nOctreeNode::MarkVisibility(const nFrustum* frustum, const nMatrix4* matrix)
{
    if (!frustum || (m_parent && m_parent->m_visibility == VisibilityInside)) m_visibility = VisibilityInside;
    else m_visibility = frustum->TestMinMax(m_bounds, matrix);
    if (m_visibility == VisibilityOutside) return;
    if (m_lower) m_lower->MarkVisibility(frustum, matrix);
    if (m_upper) m_upper->MarkVisibility(frustum, matrix);
}

namespace {

// The node after n's subtree in depth-first order, not leaving root's subtree; NULL at its end.
const nOctreeNode* SkipSubtree(const nOctreeNode* n, const nOctreeNode* root)
{
    while (n != root) {
        const nOctreeNode* parent = n->GetParent();
        if (n == parent->GetLower() && parent->GetUpper()) return parent->GetUpper();
        n = parent;
    }
    return 0;
}

}

nGeometry* nOctreeNode::NextVisibleLeaf(nOctreeNode*& cursor) const
{
    const nOctreeNode* n = cursor ? SkipSubtree(cursor, this) : this;
    while (n) {
        if (n->m_visibility == VisibilityOutside) {
            n = SkipSubtree(n, this);
        } else if (n->IsLeaf()) {
            cursor = const_cast<nOctreeNode*>(n);
            return n->m_leaf.Get();
        } else if (n->m_lower || n->m_upper) {
            n = n->m_lower ? n->m_lower : n->m_upper;
        } else {
            n = SkipSubtree(n, this);  // a leaf whose geometry could not be made
        }
    }
    cursor = 0;
    return 0;
}

const nOctreeNode* nOctreeNode::FindLeaf(const nVector& point) const
{
    const nOctreeNode* n = this;
    for (;;) {
        const nOctreeNode* next = (&point.x)[n->m_splitAxis] < n->m_splitValue ? n->m_lower : n->m_upper;
        if (!next || n->IsLeaf()) return n;
        n = next;
    }
}

void nOctreeNode::DrawDebug(nRenderer* renderer, const nMatrix4* matrix) const
{
    if (!renderer) return;
    if (m_lower) m_lower->DrawDebugNode(renderer, matrix);
    if (m_upper) m_upper->DrawDebugNode(renderer, matrix);
}

void nOctreeNode::DrawDebugNode(nRenderer* renderer, const nMatrix4* matrix) const
{
    if (!IsLeaf()) {
        if (m_lower) m_lower->DrawDebugNode(renderer, matrix);
        if (m_upper) m_upper->DrawDebugNode(renderer, matrix);
        return;
    }
    static const uint32_t kColours[4] = {0xffb40000u, 0xd420a500u, 0x3d62d300u, 0x47c8ff00u};
    const nVector colour = nVector::UnpackColor(kColours[(reinterpret_cast<uintptr_t>(this) >> 3) & 3]);
    const nVector& lo = m_bounds.min;
    const nVector& hi = m_bounds.max;
    nVector corners[8];
    for (int i = 0; i < 8; ++i) {
        corners[i] = nVector(i & 1 ? hi.x : lo.x, i & 2 ? hi.y : lo.y, i & 4 ? hi.z : lo.z);
        if (matrix) corners[i] = corners[i].Transform(*matrix);
    }
    static const int kEdges[12][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 2}, {1, 3}, {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
    for (const auto& e : kEdges) renderer->DrawLine(corners[e[0]], corners[e[1]], &colour);
}

void nOctreeNode::Setup()
{
    if (m_leaf.IsValid()) m_leaf->Setup();
    if (m_lower) m_lower->Setup();
    if (m_upper) m_upper->Setup();
    nOrvex::EventInterface* progress = m_engine ? m_engine->GetEventInterface() : 0;
    if (progress) progress->OnMessage("Octree Leaf Setup");
}
