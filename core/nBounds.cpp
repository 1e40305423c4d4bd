#include "core/nBounds.h"

#include <cfloat>
#include <cmath>

namespace {
enum : uint32_t
{
    OutAboveX = 0x01,
    OutBelowX = 0x02,
    OutAboveY = 0x04,
    OutBelowY = 0x08,
    OutBelowZ = 0x10,
    OutAboveZ = 0x20
};

const float kParallel = 0.000001f;

float Axis(const nVector& v, int axis)
{
    return axis == 0 ? v.x : (axis == 1 ? v.y : v.z);
}

void SetAxis(nVector& v, int axis, float value)
{
    if (axis == 0)
        v.x = value;
    else if (axis == 1)
        v.y = value;
    else
        v.z = value;
}

// Tries the faces of the box that face the origin (as its outcode says), x then y then z:
// a face is accepted when the line origin + t direction crosses its plane inside the other
// two slabs. The normal is written for every face tried.
bool EnterThroughFace(const nMinMax& box, uint32_t outcode, const nVector& origin, const nVector& direction,
                      nVector& hit, nVector* normal)
{
    static const uint32_t kAbove[3] = {OutAboveX, OutAboveY, OutAboveZ};
    static const uint32_t kBelow[3] = {OutBelowX, OutBelowY, OutBelowZ};
    for (int axis = 0; axis < 3; ++axis) {
        float face, sign;
        if (outcode & kAbove[axis]) {
            face = Axis(box.max, axis);
            sign = 1.0f;
        } else if (outcode & kBelow[axis]) {
            face = Axis(box.min, axis);
            sign = -1.0f;
        } else
            continue;
        if (normal) {
            *normal = nVector(0.0f, 0.0f, 0.0f);
            SetAxis(*normal, axis, sign);
        }
        const float t = (face - Axis(origin, axis)) / Axis(direction, axis);
        nVector p = origin + direction * t;
        SetAxis(p, axis, face);
        const int a1 = (axis + 1) % 3, a2 = (axis + 2) % 3;
        if (Axis(box.min, a1) <= Axis(p, a1) && Axis(p, a1) <= Axis(box.max, a1) &&
            Axis(box.min, a2) <= Axis(p, a2) && Axis(p, a2) <= Axis(box.max, a2)) {
            hit = p;
            return true;
        }
    }
    return false;
}
}

// ---------------------------------------------------------------------------------------------
// nMinMax

void nMinMax::Include(const nVector& p)
{
    if (p.x < min.x) min.x = p.x;
    if (p.y < min.y) min.y = p.y;
    if (p.z < min.z) min.z = p.z;
    if (p.x > max.x) max.x = p.x;
    if (p.y > max.y) max.y = p.y;
    if (p.z > max.z) max.z = p.z;
}

void nMinMax::Merge(const nMinMax& other)
{
    Include(other.min);
    Include(other.max);
}

uint32_t nMinMax::GetOutcode(const nVector& p) const
{
    uint32_t code = 0;
    if (p.x > max.x)
        code |= OutAboveX;
    else if (p.x < min.x)
        code |= OutBelowX;
    if (p.y > max.y)
        code |= OutAboveY;
    else if (p.y < min.y)
        code |= OutBelowY;
    if (p.z > max.z)
        code |= OutAboveZ;
    else if (p.z < min.z)
        code |= OutBelowZ;
    return code;
}

bool nMinMax::IntersectRayRange(const nVector& origin, const nVector& direction, float& entry, float& exit) const
{
    float t0 = 0.0f, t1 = FLT_MAX;
    for (int axis = 0; axis < 3; ++axis) {
        const float o = Axis(origin, axis), d = Axis(direction, axis);
        const float lo = Axis(min, axis), hi = Axis(max, axis);
        if (std::fabs(d) > kParallel) {
            float near = (lo - o) / d, far = (hi - o) / d;
            if (near > far) {
                const float swap = near;
                near = far;
                far = swap;
            }
            if (near > t0)
                t0 = near;
            if (far < t1)
                t1 = far;
            if (t0 > t1)
                return false;
        } else if (!(lo <= o && o <= hi))
            return false;
    }
    entry = t0;
    exit = t1;
    return true;
}

bool nMinMax::IntersectRay(const nVector& origin, const nVector& direction, nVector& hit, nVector* normal) const
{
    const uint32_t outcode = GetOutcode(origin);
    if (outcode == 0) {
        hit = nVector(origin.x, origin.y, origin.z);
        if (normal)
            *normal = nVector(0.0f, 0.0f, 0.0f);
        return true;
    }
    const uint32_t heading = (direction.x > 0.0f ? OutAboveX : OutBelowX) |
                             (direction.y > 0.0f ? OutAboveY : OutBelowY) |
                             (direction.z > 0.0f ? OutAboveZ : OutBelowZ);
    if (heading & outcode)
        return false;  // moving away from a side the origin is already beyond
    return EnterThroughFace(*this, outcode, origin, direction, hit, normal);
}

bool nMinMax::IntersectSegment(const nVector& start, const nVector& end, nVector& hit, nVector* normal) const
{
    const uint32_t startCode = GetOutcode(start);
    if (startCode == 0) {
        hit = nVector(start.x, start.y, start.z);
        if (normal)
            *normal = nVector(0.0f, 0.0f, 0.0f);
        return true;
    }
    const uint32_t endCode = GetOutcode(end);
    if (startCode & endCode)
        return false;  // both beyond the same face
    // The faces facing the start are crossed at t in [0, 1] since the end is not beyond them.
    if (EnterThroughFace(*this, startCode, start, end - start, hit, normal))
        return true;
    if (endCode == 0) {
        // Rounding missed an edge by an ulp; the end is still a point of the segment inside.
        hit = nVector(end.x, end.y, end.z);
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// nOBB

nOBB::nOBB(const nVector* pos, const nVector* size, const nMatrix3* orient)
    : position(0.0f, 0.0f, 0.0f), scale(1.0f, 1.0f, 1.0f)
{
    if (pos && size) {
        position = *pos;
        scale = *size;
    }
    if (orient)
        orientation = *orient;
}

void nOBB::FromMinMax(const nMinMax& box)
{
    position = (box.min + box.max) * 0.5f;
    scale = box.max - box.min;
    orientation = nMatrix3();
}

void nOBB::Transform(const nMatrix4& m)
{
    const nMatrix3 r = nMatrix3::FromMatrix4(m);
    orientation = r * orientation;
    position = position.Transform(m);
}

nMinMax nOBB::GetMinMax() const
{
    const nVector h = scale * 0.5f;
    const nVector corners[4] = {nVector(h.x, h.y, h.z), nVector(-h.x, h.y, h.z), nVector(h.x, -h.y, h.z),
                                nVector(h.x, h.y, -h.z)};
    nVector e(0.0f, 0.0f, 0.0f);
    for (const nVector& c : corners)
        e = VectorMax(e, c.Rotate(orientation).Abs());
    return nMinMax(position - e, position + e);
}

float ClosestPointOnSegment(const nVector& a, const nVector& b, const nVector& point, nVector* out)
{
    const nVector ab = b - a;
    const float q = ab.Dot(ab);
    float t = 0.0f;
    if (q > 0.0f)
        t = nClamp(ab.Dot(point - a) / q, 0.0f, 1.0f);
    if (out)
        *out = a + ab * t;
    return t;
}
