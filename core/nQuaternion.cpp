#include "core/nQuaternion.h"

#include <cmath>

nQuaternion nQuaternion::operator*(const nQuaternion& o) const
{
    return nQuaternion(w * o.x + x * o.w + y * o.z - z * o.y,
                       w * o.y + y * o.w + z * o.x - x * o.z,
                       w * o.z + z * o.w + x * o.y - y * o.x,
                       w * o.w - (x * o.x + y * o.y + z * o.z));
}

nQuaternion nQuaternion::Inverse() const
{
    const float n = Dot(*this);
    if (!(n > 0.0f))
        return *this;
    return nQuaternion(-x / n, -y / n, -z / n, w / n);
}

nQuaternion nQuaternion::Normalize() const
{
    // A zero (or underflowing) length has no direction; the identity is the one rotation
    // that callers can always use safely.
    const float q = Dot(*this);
    if (!(q > 0.0f))
        return nQuaternion();
    const float len = std::sqrt(q);
    return nQuaternion(x / len, y / len, z / len, w / len);
}

nQuaternion nQuaternion::FromAxisAngle(float angle, float ax, float ay, float az)
{
    const float s = std::sin(angle * 0.5f);
    return nQuaternion(ax * s, ay * s, az * s, std::cos(angle * 0.5f)).Normalize();
}

nQuaternion nQuaternion::FromMatrix3(const nMatrix3& mat)
{
    const float m00 = mat.m[0], m01 = mat.m[1], m02 = mat.m[2];
    const float m10 = mat.m[3], m11 = mat.m[4], m12 = mat.m[5];
    const float m20 = mat.m[6], m21 = mat.m[7], m22 = mat.m[8];
    // 4 w^2, 4 x^2, 4 y^2 and 4 z^2 from the diagonal. The largest gives the well-conditioned
    // divisor (the trace form alone loses w near a half turn); their sum is 4, so it is at least 1.
    const float fw = 1.0f + m00 + m11 + m22, fx = 1.0f + m00 - m11 - m22;
    const float fy = 1.0f - m00 + m11 - m22, fz = 1.0f - m00 - m11 + m22;
    // With c the largest component (the first of equals, in the order w, x, y, z), every
    // component is its sum or difference of two entries over 4 c, and c itself is 4 c^2 over
    // 4 c. Normalising the quaternion of those numerators gives the same unit quaternion in one
    // root, and mends a matrix that is not quite orthonormal.
    nQuaternion q;
    if (fw >= fx && fw >= fy && fw >= fz) q = nQuaternion(m21 - m12, m02 - m20, m10 - m01, fw);
    else if (fx >= fy && fx >= fz) q = nQuaternion(fx, m10 + m01, m20 + m02, m21 - m12);
    else if (fy >= fz) q = nQuaternion(m10 + m01, fy, m21 + m12, m02 - m20);
    else q = nQuaternion(m20 + m02, m21 + m12, fz, m10 - m01);
    const float n = q.Dot(q);
    if (!(n > 0.0f))
        return nQuaternion();  // not a number anywhere in the matrix
    const float inv = 1.0f / std::sqrt(n);
    return nQuaternion(q.x * inv, q.y * inv, q.z * inv, q.w * inv);
}

nMatrix3 nQuaternion::ToMatrix3() const
{
    const float xx = x * x, yy = y * y, zz = z * z;
    const float xy = x * y, xz = x * z, yz = y * z;
    const float wx = w * x, wy = w * y, wz = w * z;
    nMatrix3 r;
    r.m[0] = 1.0f - 2.0f * yy - 2.0f * zz;
    r.m[1] = 2.0f * xy - 2.0f * wz;
    r.m[2] = 2.0f * xz + 2.0f * wy;
    r.m[3] = 2.0f * xy + 2.0f * wz;
    r.m[4] = 1.0f - 2.0f * xx - 2.0f * zz;
    r.m[5] = 2.0f * yz - 2.0f * wx;
    r.m[6] = 2.0f * xz - 2.0f * wy;
    r.m[7] = 2.0f * yz + 2.0f * wx;
    r.m[8] = 1.0f - 2.0f * xx - 2.0f * yy;
    return r;
}

nQuaternion nQuaternion::FromEuler(float x, float y, float z, nRotationOrder order)
{
    const nQuaternion qx = FromAxisAngle(x, 1.0f, 0.0f, 0.0f);
    const nQuaternion qy = FromAxisAngle(y, 0.0f, 1.0f, 0.0f);
    const nQuaternion qz = FromAxisAngle(z, 0.0f, 0.0f, 1.0f);
    nQuaternion q;
    switch (order) {
        case RotationOrderZYX: q = qz * qy * qx; break;
        case RotationOrderYZX: q = qy * qz * qx; break;
        case RotationOrderZXY: q = qz * qx * qy; break;
        case RotationOrderXZY: q = qx * qz * qy; break;
        case RotationOrderXYZ: q = qx * qy * qz; break;
        case RotationOrderXY: q = qx * qy; break;
        default: q = qy * qx * qz; break;  // RotationOrderYXZ and anything above 6
    }
    return q.Normalize();
}

nQuaternion nQuaternion::Slerp(float t, const nQuaternion& a, const nQuaternion& b)
{
    float c = a.Dot(b);
    nQuaternion to = b;
    if (c < 0.0f) {
        c = -c;
        to = nQuaternion(-b.x, -b.y, -b.z, -b.w);
    }
    float wa = 1.0f - t, wb = t;
    if (1.0f - c >= 0.05f) {
        const float theta = std::acos(c);
        const float s = std::sin(theta);
        wa = std::sin((1.0f - t) * theta) / s;
        wb = std::sin(t * theta) / s;
    }
    return nQuaternion(wa * a.x + wb * to.x, wa * a.y + wb * to.y, wa * a.z + wb * to.z,
                       wa * a.w + wb * to.w)
        .Normalize();
}
