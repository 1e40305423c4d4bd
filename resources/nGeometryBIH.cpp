// The ray-casting hierarchy of a geometry: polygon planes with per-triangle coefficients, the
// leaf test, and box look-ups.
#include "resources/nGeometryBIH.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "core/nLog.h"
#include "resources/nGeometry.h"
#include "resources/nMaterial.h"

namespace {
const float kEdgeTolerance = 1e-6f;

inline float Component(const nVector& v, int32_t axis) { return (&v.x)[axis]; }

inline bool Finite(const nVector& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// Whether two boxes meet, touching included.
inline bool Meet(const nMinMax& a, const nMinMax& b)
{
    return a.min.x <= b.max.x && a.max.x >= b.min.x && a.min.y <= b.max.y && a.max.y >= b.min.y &&
           a.min.z <= b.max.z && a.max.z >= b.min.z;
}

nMinMax CornerBox(const nGeometry& g, const nPolygon& poly)
{
    nMinMax box(g.vertices[poly.bindings[0]], g.vertices[poly.bindings[0]]);
    for (uint32_t k = 1; k < poly.count; ++k) box.Include(g.vertices[poly.bindings[k]]);
    return box;
}
}

nGeometryBIH::nGeometryBIH() : m_geometry(0), m_planes(0), m_coefficients(0)
{
}

nGeometryBIH::~nGeometryBIH()
{
    nGeometryBIH::Release();
}

void nGeometryBIH::Release()
{
    delete[] m_planes;
    delete[] m_coefficients;
    m_planes = 0;
    m_coefficients = 0;
    nBIH::Release();
}

// ---------------------------------------------------------------------------------------------
// Building

// At least 3 corners, every one an existing vertex at a finite position.
bool nGeometryBIH::Usable(uint32_t p) const
{
    const nGeometry& g = *m_geometry;
    const nPolygon& poly = g.polygons[p];
    if (poly.count < 3 || !poly.bindings) return false;
    for (uint32_t k = 0; k < poly.count; ++k) {
        const int32_t v = poly.bindings[k];
        if (v < 0 || (uint32_t)v >= g.vertexCount || !Finite(g.vertices[v])) return false;
    }
    return true;
}

// The plane of the first three corners, the projection on the two axes the normal is least
// along, and for each fan triangle (P0, Pj, Pj+1), with b = Pj - P0 and c = Pj+1 - P0 projected
// and Z = 1 / (b1 c0 - c1 b0): (c0 Z, -c1 Z, b1 Z, -b0 Z). A triangle of no projected area gets
// zeros, which the test knows never to take.
void nGeometryBIH::PreparePlane(uint32_t p, uint32_t firstTriangle)
{
    nGeometry& g = *m_geometry;
    const nPolygon& poly = g.polygons[p];
    const nVector& p0 = g.vertices[poly.bindings[0]];
    PolygonPlane& plane = m_planes[p];

    const nVector cross = (g.vertices[poly.bindings[1]] - p0).Cross(g.vertices[poly.bindings[2]] - p0);
    const float length = cross.Length();
    nVector normal(0.0f, 0.0f, 0.0f, 1.0f);
    if (length > 0.0f && std::isfinite(length)) normal = nVector(cross.x / length, cross.y / length, cross.z / length, 1.0f);
    if (g.polygonNormals) g.polygonNormals[p] = normal;

    const float ax = std::fabs(normal.x), ay = std::fabs(normal.y), az = std::fabs(normal.z);
    const int32_t k = (ax >= ay && ax >= az) ? 0 : ((ay >= ax && ay >= az) ? 1 : 2);
    const int32_t a0 = (k + 1) % 3, a1 = (k + 2) % 3;
    plane.normal = normal;
    plane.normal.w = normal.Dot(p0);
    plane.origin[0] = Component(p0, a0);
    plane.origin[1] = Component(p0, a1);
    plane.axis0 = (uint8_t)a0;
    plane.axis1 = (uint8_t)a1;
    plane.included = 1;
    plane.hittable = normal.x != 0.0f || normal.y != 0.0f || normal.z != 0.0f;
    plane.firstTriangle = firstTriangle;

    float* coefficients = m_coefficients + 4 * (size_t)firstTriangle;
    for (uint32_t j = 1; j + 1 < poly.count; ++j, coefficients += 4) {
        const nVector b = g.vertices[poly.bindings[j]] - p0, c = g.vertices[poly.bindings[j + 1]] - p0;
        const float b0 = Component(b, a0), b1 = Component(b, a1), c0 = Component(c, a0), c1 = Component(c, a1);
        const float determinant = b1 * c0 - c1 * b0;
        const float z = determinant != 0.0f ? 1.0f / determinant : 0.0f;
        const bool degenerate = !std::isfinite(z) || z == 0.0f;
        coefficients[0] = degenerate ? 0.0f : c0 * z;
        coefficients[1] = degenerate ? 0.0f : -c1 * z;
        coefficients[2] = degenerate ? 0.0f : b1 * z;
        coefficients[3] = degenerate ? 0.0f : -b0 * z;
    }
}

// Where a ray can hit the polygon: its corners and, as rays hit the plane of the first three
// corners, the corners moved into that plane along the projection axis, a little larger for
// the edge tolerance.
nMinMax nGeometryBIH::HitBox(uint32_t p) const
{
    const nGeometry& g = *m_geometry;
    const nPolygon& poly = g.polygons[p];
    const PolygonPlane& plane = m_planes[p];
    nMinMax box = CornerBox(g, poly);
    if (plane.hittable) {
        const int32_t a0 = plane.axis0, a1 = plane.axis1, k = 3 - a0 - a1;
        const float nk = Component(plane.normal, k);
        for (uint32_t c = 0; c < poly.count; ++c) {
            nVector flat = g.vertices[poly.bindings[c]];
            (&flat.x)[k] = (plane.normal.w - Component(plane.normal, a0) * Component(flat, a0) -
                            Component(plane.normal, a1) * Component(flat, a1)) /
                           nk;
            if (std::isfinite((&flat.x)[k])) box.Include(flat);
        }
    }
    const nVector size = box.max - box.min;
    const float pad = 4.0f * kEdgeTolerance * std::max(size.x, std::max(size.y, size.z));
    box.min = box.min - nVector(pad, pad, pad);
    box.max = box.max + nVector(pad, pad, pad);
    box.min.w = box.max.w = 1.0f;
    return box;
}

bool nGeometryBIH::Build(nGeometry* geometry)
{
    Release();
    m_geometry = geometry;
    if (!geometry || !geometry->polygons || !geometry->vertices) return nBIH::Build(0, 0);
    nGeometry& g = *geometry;

    // 1. The usable polygons, one box each; the mesh stays through Free; planes for every polygon.
    uint32_t usable = 0;
    uint64_t triangles = 0;
    for (uint32_t p = 0; p < g.polygonCount; ++p)
        if (Usable(p)) {
            ++usable;
            triangles += g.polygons[p].count - 2u;
        }
    if (usable < g.polygonCount)
        *g_log << "[*] Left " << (int32_t)(g.polygonCount - usable)
               << " polygon(s) with fewer than 3 usable corners out of the ray-casting hierarchy of geometry "
               << g.GetName().GetCStr() << ".\n";
    if (usable == 0) return nBIH::Build(0, 0);

    nMinMax* boxes = new (std::nothrow) nMinMax[usable];
    uint32_t* polygonOf = new (std::nothrow) uint32_t[usable];
    if (!boxes || !polygonOf) {
        delete[] boxes;
        delete[] polygonOf;
        *g_log << "[!] Failed to allocate volume objects.\n";
        return false;
    }
    g.SetKeepMask(g.GetKeepMask() | GeometryKeepMesh);
    m_planes = new (std::nothrow) PolygonPlane[g.polygonCount]();
    m_coefficients = new (std::nothrow) float[4 * (size_t)triangles];
    if (!m_planes || !m_coefficients) {
        delete[] boxes;
        delete[] polygonOf;
        Release();
        *g_log << "[!] Failed to allocate point in polygon acceleration array.\n";
        return false;
    }
    g.ComputePolygonNormal(false);

    // 2. Each usable polygon's plane, coefficients and box.
    uint32_t item = 0, firstTriangle = 0;
    for (uint32_t p = 0; p < g.polygonCount; ++p) {
        if (!Usable(p)) continue;
        PreparePlane(p, firstTriangle);
        firstTriangle += g.polygons[p].count - 2u;
        boxes[item] = HitBox(p);
        polygonOf[item++] = p;
    }

    // 3. The tree over the boxes; its entries then name polygons rather than box numbers.
    const bool built = nBIH::Build(usable, boxes);
    if (built) {
        uint32_t* entries = GetItemEntries();
        for (uint32_t i = 0; i < usable; ++i) entries[i] = polygonOf[entries[i]];
    }
    delete[] boxes;
    delete[] polygonOf;
    if (!built) Release();
    return built;
}

// ---------------------------------------------------------------------------------------------
// Rays

void nGeometryBIH::CastRay(nBIHRay& ray, const nVector& origin, const nVector& direction, float maxDistance)
{
    ray.polygon = -1;
    ray.trianglesTested = 0;
    Intersect(ray, origin, direction, maxDistance);
}

// The plane distance first, then the fan triangles with two dot products each. Back faces
// count only on double-sided materials; a ray along the plane never hits it.
inline bool nGeometryBIH::HitPolygon(int32_t p, float entry, float exit, nBIHRay& ray) const
{
    const nGeometry& g = *m_geometry;
    const nPolygon& poly = g.polygons[p];
    const PolygonPlane& plane = m_planes[p];
    // 1. The triangles examined.
    ray.trianglesTested += poly.count - 2;
    if (!plane.hittable) return false;

    // 2. Front or back.
    const float c = plane.normal.Dot(ray.direction);
    bool back = false;
    if (!(c < 0.0f)) {
        if (!(c > 0.0f)) return false;
        const nMaterial* material = g.GetMaterial(poly.material);
        if (!material || !(material->renderFlags & MaterialRenderDoubleSided)) return false;
        back = true;
    }

    // 3. Where the ray meets the plane: nearer than the hit so far, within the range.
    const float t = (plane.normal.w - plane.normal.Dot(ray.origin)) / c;
    if (ray.hit && ray.hitDistance <= t) return false;
    if (!(t >= entry && t <= exit)) return false;

    // 4. Which fan triangle holds that point, if any.
    const int32_t a0 = plane.axis0, a1 = plane.axis1;
    const float cu = Component(ray.origin, a0) + t * Component(ray.direction, a0) - plane.origin[0];
    const float dv = Component(ray.origin, a1) + t * Component(ray.direction, a1) - plane.origin[1];
    const float* k = m_coefficients + 4 * (size_t)plane.firstTriangle;
    for (int32_t j = 1; j + 1 < (int32_t)poly.count; ++j, k += 4) {
        const float u = cu * k[1] + dv * k[0];
        if (u < -kEdgeTolerance) continue;
        const float v = dv * k[3] + cu * k[2];
        if (v < -kEdgeTolerance) continue;
        const float w = 1.0f - u - v;
        if (w < -kEdgeTolerance) continue;
        if (k[0] == 0.0f && k[1] == 0.0f && k[2] == 0.0f && k[3] == 0.0f) continue;  // no area
        ray.hit = 1;
        ray.polygon = p;
        ray.hitDistance = t;
        ray.triangle = j - 1;
        ray.weights[0] = u;
        ray.weights[1] = v;
        ray.weights[2] = w;
        ray.hitObject = m_geometry;
        ray.backFace = back;
        return true;
    }
    return false;
}

bool nGeometryBIH::TestPolygon(int32_t polygon, float entry, float exit, nBIHRay& ray) const
{
    if (!m_planes || polygon < 0 || (uint32_t)polygon >= m_geometry->polygonCount || !m_planes[polygon].included)
        return false;
    return HitPolygon(polygon, entry, exit, ray);
}

void nGeometryBIH::TestLeaf(const nBIHNode& leaf, float entry, float exit, nBIHRay& ray)
{
    const uint32_t* items = GetItems(leaf);
    for (int32_t i = 0; i < leaf.itemCount; ++i) HitPolygon((int32_t)items[i], entry, exit, ray);
}

// ---------------------------------------------------------------------------------------------
// Boxes

namespace {
struct PolygonSearch
{
    const nGeometry* geometry;
    nMinMax box;
    int32_t* out;
    int32_t capacity;
    int32_t count;
};

void CollectPolygons(void* context, const uint32_t* items, int32_t count)
{
    PolygonSearch& search = *static_cast<PolygonSearch*>(context);
    const nGeometry& g = *search.geometry;
    for (int32_t i = 0; i < count; ++i) {
        if (!Meet(CornerBox(g, g.polygons[items[i]]), search.box)) continue;
        if (search.count < search.capacity) search.out[search.count] = (int32_t)items[i];
        ++search.count;
    }
}
}

int32_t nGeometryBIH::FindPolygons(const nMinMax& box, int32_t* out, int32_t capacity) const
{
    if (!m_planes) return 0;
    PolygonSearch search = {m_geometry, box, out, out ? capacity : 0, 0};
    VisitBox(box, CollectPolygons, &search);
    return search.count;
}
