#ifndef N_FRUSTUM_H
#define N_FRUSTUM_H

#include "core/nBounds.h"

// Results of every frustum and separating-axis test (the script constants of the same names).
enum nVisibility
{
    VisibilityOutside = 0,
    VisibilityInside = 1,
    VisibilityClipped = 2  // intersecting
};

// Plane through a point with a normal (not necessarily unit length); d = -(point . normal).
// The signed distance normal . p + d is positive on the side the normal points to.
class nPlane
{
public:
    float d;
    nVector point;
    nVector normal;

    nPlane() : d(0.0f), point(0.0f, 0.0f, 0.0f), normal(0.0f, 0.0f, 0.0f) {}

    // With a matrix the point goes through the whole matrix (a NULL point gives its
    // translation) and the normal through its rotation part; without one a NULL point is the
    // origin. The normal is not normalised.
    void Set(const nVector* point, const nVector& normal, const nMatrix4* m);
    float GetDistance(const nVector& p) const { return normal.Dot(p) + d; }  // signed, in units of |normal|
};

// View volume. In its own space (looking along +z, y up) corners 0-3 lie on the near plane and
// 4-7 on the far plane, each quadruple ordered (-x, +y), (+x, +y), (+x, -y), (-x, -y). Planes:
// 0 top (+y), 1 bottom (-y), 2 left (-x), 3 right (+x), 4 near, 5 far; normals point out.
class nFrustum
{
public:
    nVector corners[8];
    nPlane planes[6];

    // fov in radians; the half-angle tangent is divided by each aspect. m (or NULL) places
    // the frustum in the world.
    void SetPerspective(float fov, float nearZ, float farZ, const nMatrix4* m, float aspectX, float aspectY);
    // A box of width * scaleX by height * scaleY from nearZ to farZ.
    void SetOrthographic(float width, float height, float nearZ, float farZ, const nMatrix4* m, float scaleX, float scaleY);

    int TestSphere(const nVector& centre, float radius) const;             // outside only when beyond a plane by more than the radius
    int TestPoints(int count, const nVector* points, float margin) const;  // 0 when all points lie beyond one plane by more than margin
    int TestMinMax(const nMinMax& box, const nMatrix4* m) const;           // the box placed by m (or NULL), by separating axes
    int TestFrustum(const nFrustum& other) const;                          // by separating axes; 1 when other lies inside this
};

// Projects both point sets on the axis (x, y, z): 0 disjoint, 1 when b lies strictly inside
// a, else 2.
int SeparatingAxisTest(const nVector& axis, int countA, const nVector* a, int countB, const nVector* b);

#endif
