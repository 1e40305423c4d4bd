#include "core/nFrustum.h"

#include <cfloat>
#include <cmath>

namespace {
// Edge directions of a frustum: the four edges from near to far, then the near plane's
// horizontal and vertical edges.
void GetEdges(const nFrustum& f, nVector edges[6])
{
    for (int k = 0; k < 4; ++k)
        edges[k] = f.corners[k + 4] - f.corners[k];
    edges[4] = f.corners[1] - f.corners[0];
    edges[5] = f.corners[3] - f.corners[0];
}

// Runs one axis of a separating-axis scheme: false when the axis separates the sets.
bool NarrowBy(const nVector& axis, const nVector* a, const nVector* b, int& result)
{
    const int r = SeparatingAxisTest(axis, 8, a, 8, b);
    if (r == VisibilityOutside)
        return false;
    if (r == VisibilityClipped)
        result = VisibilityClipped;
    return true;
}

// The side planes and the far plane; the near plane is parallel to the far one.
const int kPlaneAxes[5] = {0, 1, 2, 3, 5};
}

void nPlane::Set(const nVector* p, const nVector& n, const nMatrix4* m)
{
    if (m) {
        point = p ? p->Transform(*m) : m->GetColumn(3, true);
        normal = n.Rotate(nMatrix3::FromMatrix4(*m));
    } else {
        point = p ? *p : nVector(0.0f, 0.0f, 0.0f);
        normal = n;
    }
    d = -point.Dot(normal);
}

void nFrustum::SetPerspective(float fov, float nearZ, float farZ, const nMatrix4* m, float aspectX, float aspectY)
{
    const float half = std::tan(fov * 0.5f);
    const float tx = half / aspectX, ty = half / aspectY;
    const float ax = std::atan(tx), ay = std::atan(ty);
    const float cx = std::cos(ax), sx = std::sin(ax);
    const float cy = std::cos(ay), sy = std::sin(ay);
    const nVector nearPoint(0.0f, 0.0f, nearZ), farPoint(0.0f, 0.0f, farZ);
    planes[0].Set(nullptr, nVector(0.0f, cy, -sy), m);
    planes[1].Set(nullptr, nVector(0.0f, -cy, -sy), m);
    planes[2].Set(nullptr, nVector(-cx, 0.0f, -sx), m);
    planes[3].Set(nullptr, nVector(cx, 0.0f, -sx), m);
    planes[4].Set(&nearPoint, nVector(0.0f, 0.0f, -1.0f), m);
    planes[5].Set(&farPoint, nVector(0.0f, 0.0f, 1.0f), m);
    const float depth[2] = {nearZ, farZ};
    for (int q = 0; q < 2; ++q) {
        const float z = depth[q], x = z * tx, y = z * ty;
        corners[4 * q + 0] = nVector(-x, y, z);
        corners[4 * q + 1] = nVector(x, y, z);
        corners[4 * q + 2] = nVector(x, -y, z);
        corners[4 * q + 3] = nVector(-x, -y, z);
    }
    if (m)
        for (nVector& c : corners)
            c = c.Transform(*m);
}

void nFrustum::SetOrthographic(float width, float height, float nearZ, float farZ, const nMatrix4* m, float scaleX, float scaleY)
{
    const float hw = width * scaleX * 0.5f, hh = height * scaleY * 0.5f;
    const nVector top(0.0f, hh, 0.0f), bottom(0.0f, -hh, 0.0f), left(-hw, 0.0f, 0.0f), right(hw, 0.0f, 0.0f);
    const nVector nearPoint(0.0f, 0.0f, nearZ), farPoint(0.0f, 0.0f, farZ);
    planes[0].Set(&top, nVector(0.0f, 1.0f, 0.0f), m);
    planes[1].Set(&bottom, nVector(0.0f, -1.0f, 0.0f), m);
    planes[2].Set(&left, nVector(-1.0f, 0.0f, 0.0f), m);
    planes[3].Set(&right, nVector(1.0f, 0.0f, 0.0f), m);
    planes[4].Set(&nearPoint, nVector(0.0f, 0.0f, -1.0f), m);
    planes[5].Set(&farPoint, nVector(0.0f, 0.0f, 1.0f), m);
    const float depth[2] = {nearZ, farZ};
    for (int q = 0; q < 2; ++q) {
        const float z = depth[q];
        corners[4 * q + 0] = nVector(-hw, hh, z);
        corners[4 * q + 1] = nVector(hw, hh, z);
        corners[4 * q + 2] = nVector(hw, -hh, z);
        corners[4 * q + 3] = nVector(-hw, -hh, z);
    }
    if (m)
        for (nVector& c : corners)
            c = c.Transform(*m);
}

int nFrustum::TestSphere(const nVector& centre, float radius) const
{
    int result = VisibilityInside;
    for (const nPlane& plane : planes) {
        const float dist = plane.GetDistance(centre);
        if (dist > radius)
            return VisibilityOutside;
        if (dist > -radius)
            result = VisibilityClipped;
    }
    return result;
}

int nFrustum::TestPoints(int count, const nVector* points, float margin) const
{
    int result = VisibilityInside;
    for (const nPlane& plane : planes) {
        int beyond = 0;
        for (int i = 0; i < count; ++i)
            if (plane.GetDistance(points[i]) > margin)
                ++beyond;
        if (beyond == count)
            return VisibilityOutside;
        if (beyond > 0)
            result = VisibilityClipped;
    }
    return result;
}

int nFrustum::TestMinMax(const nMinMax& box, const nMatrix4* m) const
{
    const nVector& lo = box.min;
    const nVector& hi = box.max;
    nVector points[8] = {nVector(lo.x, lo.y, lo.z), nVector(hi.x, lo.y, lo.z), nVector(hi.x, hi.y, lo.z),
                         nVector(lo.x, hi.y, lo.z), nVector(lo.x, lo.y, hi.z), nVector(hi.x, lo.y, hi.z),
                         nVector(hi.x, hi.y, hi.z), nVector(lo.x, hi.y, hi.z)};
    nVector axes[3] = {nVector(1.0f, 0.0f, 0.0f), nVector(0.0f, 1.0f, 0.0f), nVector(0.0f, 0.0f, 1.0f)};
    if (m) {
        for (nVector& p : points)
            p = p.Transform(*m);
        for (int i = 0; i < 3; ++i)
            axes[i] = m->GetColumn(i, true);
    }

    int result = VisibilityInside;
    for (int i : kPlaneAxes)
        if (!NarrowBy(planes[i].normal, corners, points, result))
            return VisibilityOutside;
    for (const nVector& axis : axes)
        if (!NarrowBy(axis, corners, points, result))
            return VisibilityOutside;
    nVector edges[6];
    GetEdges(*this, edges);
    for (const nVector& edge : edges)
        for (const nVector& axis : axes) {
            const nVector c = edge.Cross(axis);
            if (c.Dot(c) > 0.000001f && !NarrowBy(c, corners, points, result))
                return VisibilityOutside;
        }
    return result;
}

int nFrustum::TestFrustum(const nFrustum& other) const
{
    int result = VisibilityInside;
    for (int i : kPlaneAxes)
        if (!NarrowBy(planes[i].normal, corners, other.corners, result))
            return VisibilityOutside;
    for (int i : kPlaneAxes)
        if (!NarrowBy(other.planes[i].normal, corners, other.corners, result))
            return VisibilityOutside;
    nVector mine[6], theirs[6];
    GetEdges(*this, mine);
    GetEdges(other, theirs);
    for (const nVector& edge : theirs)
        for (const nVector& axis : mine) {
            const nVector c = edge.Cross(axis);
            if (c.Dot(c) > 0.000001f && !NarrowBy(c, corners, other.corners, result))
                return VisibilityOutside;
        }
    return result;
}

int SeparatingAxisTest(const nVector& axis, int countA, const nVector* a, int countB, const nVector* b)
{
    float minA = FLT_MAX, maxA = -FLT_MAX, minB = FLT_MAX, maxB = -FLT_MAX;
    for (int i = 0; i < countA; ++i) {
        const float p = axis.Dot(a[i]);
        if (p < minA) minA = p;
        if (p > maxA) maxA = p;
    }
    for (int i = 0; i < countB; ++i) {
        const float p = axis.Dot(b[i]);
        if (p < minB) minB = p;
        if (p > maxB) maxB = p;
    }
    if (minB > maxA || maxB < minA)
        return VisibilityOutside;
    if (minB > minA && maxA > maxB)
        return VisibilityInside;
    return VisibilityClipped;
}
