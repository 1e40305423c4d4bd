#ifndef N_BULLETMATH_H
#define N_BULLETMATH_H

// Conversions between the engine's math types and Bullet's. Internal to the Bullet world.

#include <btBulletDynamicsCommon.h>

#include "core/nMatrix.h"
#include "core/nVector.h"

inline btVector3 ToBullet(const nVector& v) { return btVector3(v.x, v.y, v.z); }
inline nVector FromBullet(const btVector3& v) { return nVector(v.x(), v.y(), v.z(), 1.0f); }

// Rows 0 to 2 of m become the basis rows, column 3 the origin; m is taken as it is.
inline btTransform ToBulletTransform(const nMatrix4& m)
{
    const float* e = m.m;
    return btTransform(btMatrix3x3(e[0], e[1], e[2], e[4], e[5], e[6], e[8], e[9], e[10]),
                       btVector3(e[3], e[7], e[11]));
}

// The basis rows and the origin written back, (0, 0, 0, 1) as the last row.
inline nMatrix4 FromBulletTransform(const btTransform& t)
{
    nMatrix4 m;
    const btMatrix3x3& b = t.getBasis();
    for (int row = 0; row < 3; ++row) {
        m.m[4 * row + 0] = b[row].x();
        m.m[4 * row + 1] = b[row].y();
        m.m[4 * row + 2] = b[row].z();
        m.m[4 * row + 3] = t.getOrigin()[row];
    }
    return m;
}

// A rigid transform for Bullet from any engine matrix: Bullet needs an orthonormal basis, so
// the scale is taken out (into *scale when asked) and what is left is made a pure rotation.
inline btTransform ToRigidBulletTransform(const nMatrix4& m, nVector* scale)
{
    nVector position, s;
    nMatrix3 rotation;
    m.Decompose(&position, &s, &rotation);
    const float* r = rotation.m;
    btMatrix3x3 basis(r[0], r[1], r[2], r[3], r[4], r[5], r[6], r[7], r[8]);
    btQuaternion q;
    basis.getRotation(q);
    if (q.length2() > SIMD_EPSILON) {
        q.normalize();
        basis.setRotation(q);
    } else {
        basis.setIdentity();
    }
    if (scale) *scale = s;
    return btTransform(basis, ToBullet(position));
}

// Whether a scale differs enough from (1, 1, 1) to be handed to Bullet.
inline bool IsScaled(const nVector& s)
{
    return std::fabs(s.x - 1.0f) > 1e-5f || std::fabs(s.y - 1.0f) > 1e-5f || std::fabs(s.z - 1.0f) > 1e-5f;
}

#endif
