#ifndef N_BOUNDS_H
#define N_BOUNDS_H

#include <cstdint>

#include "core/nMatrix.h"

// Axis-aligned box. There is no empty box: callers start from a first point or box and grow.
// Only x, y and z take part in every test.
class nMinMax
{
public:
    nVector min;
    nVector max;

    nMinMax() {}
    nMinMax(const nVector& minimum, const nVector& maximum) : min(minimum), max(maximum) {}

    void Include(const nVector& point);  // grow to contain the point
    void Merge(const nMinMax& other);    // grow to contain the other box

    // Where a point lies: bit 1 x > max.x, else 2 x < min.x; 4 y > max.y, else 8 y < min.y;
    // 0x20 z > max.z, else 0x10 z < min.z (the z pair is the other way round). 0 means inside
    // or on the surface.
    uint32_t GetOutcode(const nVector& point) const;

    // Slab test of the ray origin + t direction, t >= 0. True with the entry and exit t
    // (written only then); an axis with |direction| <= 1e-6 needs the origin inside its slab.
    bool IntersectRayRange(const nVector& origin, const nVector& direction, float& entry, float& exit) const;

    // First point where the ray meets the box, with the normal of the face entered (NULL to
    // skip). An origin inside gives the origin and normal (0, 0, 0). After a miss the normal
    // holds the last face tried.
    bool IntersectRay(const nVector& origin, const nVector& direction, nVector& hit, nVector* normal) const;

    // First point of the segment inside the box, with the normal of the face entered. A start
    // inside gives the start and normal (0, 0, 0); otherwise the hit is where the segment
    // enters, also when its end lies inside.
    bool IntersectSegment(const nVector& start, const nVector& end, nVector& hit, nVector* normal) const;
};

// Oriented box: centre, full size along each local axis, and the local axes as the columns
// of the orientation. A new box is the unit cube (size 1) at the origin.
class nOBB
{
public:
    nVector position;
    nVector scale;
    nMatrix3 orientation;

    nOBB() : position(0.0f, 0.0f, 0.0f), scale(1.0f, 1.0f, 1.0f) {}
    nOBB(const nVector* position, const nVector* scale, const nMatrix3* orientation);  // position and scale taken only when both are given
    explicit nOBB(const nMinMax& box) { FromMinMax(box); }

    void FromMinMax(const nMinMax& box);  // centre and size of the box, identity orientation
    void Transform(const nMatrix4& m);    // orientation := R orientation, position := R position + t; size unchanged
    nMinMax GetMinMax() const;            // the enclosing axis-aligned box
};

// Parameter t in [0, 1] of the point of segment a-b closest to the point; *out (when not
// NULL) receives a + t (b - a). A zero-length segment gives t = 0.
float ClosestPointOnSegment(const nVector& a, const nVector& b, const nVector& point, nVector* out);

#endif
