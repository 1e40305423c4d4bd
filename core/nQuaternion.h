#ifndef N_QUATERNION_H
#define N_QUATERNION_H

#include "core/nMatrix.h"

// Rotation as {x, y, z, w}, w last: the rotation by angle a about the unit axis u is
// (u sin(a/2), cos(a/2)). The product of two quaternions corresponds to the product of their
// matrices in the same order (column vectors). A new quaternion is the identity (0, 0, 0, 1).
class nQuaternion
{
public:
    float x, y, z, w;

    nQuaternion() : x(0.0f), y(0.0f), z(0.0f), w(1.0f) {}
    nQuaternion(float ax, float ay, float az, float aw) : x(ax), y(ay), z(az), w(aw) {}

    nQuaternion operator*(const nQuaternion& o) const;  // Hamilton product this * o
    float Dot(const nQuaternion& o) const { return x * o.x + y * o.y + z * o.z + w * o.w; }
    nQuaternion Inverse() const;    // conjugate / |q|^2; a zero quaternion comes back unchanged
    nQuaternion Normalize() const;  // unit length; a zero quaternion gives the identity

    static nQuaternion FromAxisAngle(float angle, float ax, float ay, float az);    // (sin(a/2) axis, cos(a/2)), normalised
    static nQuaternion FromMatrix3(const nMatrix3& m);                              // rotation matrix to unit quaternion
    nMatrix3 ToMatrix3() const;                                                     // for a unit quaternion
    static nQuaternion FromEuler(float x, float y, float z, nRotationOrder order);  // same rotation as nMatrix3::FromEuler; above 6 reads as YXZ

    // Shorter-arc spherical interpolation from a (t = 0) to b (t = 1), with linear weights when
    // the two are within 1 - cos < 0.05; the result is normalised. t is not clamped.
    static nQuaternion Slerp(float t, const nQuaternion& a, const nQuaternion& b);
};

#endif
