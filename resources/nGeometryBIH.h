#ifndef N_GEOMETRY_BIH_H
#define N_GEOMETRY_BIH_H

#include <cstdint>

#include "resources/nBIH.h"

class nGeometry;

// The ray-casting hierarchy of one geometry's polygons: finds the nearest polygon a ray meets,
// with its fan triangle and barycentric position, and the polygons near a box. It reads the
// geometry's mesh at query time: the mesh must stay unchanged while the hierarchy lives (the
// geometry drops its hierarchy with its mesh).
class nGeometryBIH : public nBIH
{
public:
    // What a ray needs of one polygon: its plane, the two axes it is projected on, and four
    // coefficients per fan triangle that give the barycentric weights of a point in the plane.
    struct PolygonPlane
    {
        nVector normal;   // unit normal of the first three corners; w: normal . first corner
        float origin[2];  // the first corner on the projection axes
        uint8_t axis0;
        uint8_t axis1;
        uint8_t included;        // 0: left out of the hierarchy (fewer than 3 usable corners)
        uint8_t hittable;        // 0: no plane (a degenerate first triangle), never hit by rays
        uint32_t firstTriangle;  // into the coefficient array; corner count - 2 entries
    };

    nGeometryBIH();
    ~nGeometryBIH() override;  // Release

    // Builds over the polygons that have at least 3 corners, all naming existing vertices with
    // finite positions; the others are left out (one warning). Computes the geometry's polygon
    // normals when missing and keeps its mesh through Free (keep-mask bit 0x02). False when no
    // polygon is left or out of memory (an error line).
    bool Build(nGeometry* geometry);

    // The nearest (ray.nearest set) or first hit of origin + t direction, 0 <= t <= maxDistance
    // (maxDistance <= 0: unlimited). Sets polygon to -1 and triangles tested to 0 first.
    void CastRay(nBIHRay& ray, const nVector& origin, const nVector& direction, float maxDistance);

    // The ray against one polygon alone, within [entry, exit]: recorded when it hits nearer than
    // the record's hit. What the leaves run for each of their polygons; false for a polygon the
    // hierarchy left out.
    bool TestPolygon(int32_t polygon, float entry, float exit, nBIHRay& ray) const;

    // The polygons whose corners' box meets box (touching counts), in no particular order.
    // Writes at most capacity of them and returns how many there are (the first capacity of
    // them written when more).
    int32_t FindPolygons(const nMinMax& box, int32_t* out, int32_t capacity) const;

    void TestLeaf(const nBIHNode& leaf, float entry, float exit, nBIHRay& ray) override;
    void Release() override;  // the planes, then the tree

    nGeometry* GetGeometry() const { return m_geometry; }
    const PolygonPlane* GetPlanes() const { return m_planes; }  // one per polygon

private:
    using nBIH::Build;
    bool Usable(uint32_t polygon) const;
    void PreparePlane(uint32_t polygon, uint32_t firstTriangle);
    nMinMax HitBox(uint32_t polygon) const;
    inline bool HitPolygon(int32_t polygon, float entry, float exit, nBIHRay& ray) const;

    nGeometry* m_geometry;
    PolygonPlane* m_planes;  // one per polygon of the geometry
    float* m_coefficients;   // 4 per fan triangle, polygon after polygon
};

#endif
