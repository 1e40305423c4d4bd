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
    nQuaternion q;
    // The trace form divides by a w that shrinks towards 0 as the angle nears 180 degrees,
    // so it is used only for a positive trace; otherwise the largest diagonal element
    // gives the well-conditioned divisor.
    const float d = m00 + m11 + m22 + 1.0f;
    if (d > 1.0f)
    {
        const float s = 2.0f * std::sqrt(d);
        q = nQuaternion((m21 - m12) / s, (m02 - m20) / s, (m10 - m01) / s, s / 4.0f);
    }
    else if (m00 > m11 && m00 > m22)
    {
        const float s = 2.0f * std::sqrt(1.0f + m00 - m11 - m22);
        q = nQuaternion(s / 4.0f, (m10 + m01) / s, (m20 + m02) / s, (m21 - m12) / s);
    }
    else if (m11 > m22)
    {
        const float s = 2.0f * std::sqrt(1.0f + m11 - m00 - m22);
        q = nQuaternion((m10 + m01) / s, s / 4.0f, (m21 + m12) / s, (m02 - m20) / s);
    }
    else
    {
        const float s = 2.0f * std::sqrt(1.0f + m22 - m00 - m11);
        q = nQuaternion((m20 + m02) / s, (m21 + m12) / s, s / 4.0f, (m10 - m01) / s);
    }
    return q.Normalize();
}

nMatrix3 nQuaternion::ToMatrix3() const
{
    const float xx = x * x, yy = y * y, zz = z * z;
    const float xy = x * y, xz = x * z, yz = y * z;
    const float wx = w * x, wy = w * y, wz = w * z;
    nMatrix3 r;
    r.m[0] = 1.0f - 2.0f * yy - 2.0f * zz; r.m[1] = 2.0f * xy - 2.0f * wz;        r.m[2] = 2.0f * xz + 2.0f * wy;
    r.m[3] = 2.0f * xy + 2.0f * wz;        r.m[4] = 1.0f - 2.0f * xx - 2.0f * zz; r.m[5] = 2.0f * yz - 2.0f * wx;
    r.m[6] = 2.0f * xz - 2.0f * wy;        r.m[7] = 2.0f * yz + 2.0f * wx;        r.m[8] = 1.0f - 2.0f * xx - 2.0f * yy;
    return r;
}

nQuaternion nQuaternion::FromEuler(float x, float y, float z, nRotationOrder order)
{
    const nQuaternion qx = FromAxisAngle(x, 1.0f, 0.0f, 0.0f);
    const nQuaternion qy = FromAxisAngle(y, 0.0f, 1.0f, 0.0f);
    const nQuaternion qz = FromAxisAngle(z, 0.0f, 0.0f, 1.0f);
    nQuaternion q;
    switch (order)
    {
    case RotationOrderZYX: q = qz * qy * qx; break;
    case RotationOrderYZX: q = qy * qz * qx; break;
    case RotationOrderZXY: q = qz * qx * qy; break;
    case RotationOrderXZY: q = qx * qz * qy; break;
    case RotationOrderXYZ: q = qx * qy * qz; break;
    case RotationOrderXY:  q = qx * qy; break;
    default:               q = qy * qx * qz; break; // RotationOrderYXZ and anything above 6
    }
    return q.Normalize();
}

nQuaternion nQuaternion::Slerp(float t, const nQuaternion& a, const nQuaternion& b)
{
    float c = a.Dot(b);
    nQuaternion to = b;
    if (c < 0.0f)
    {
        c = -c;
        to = nQuaternion(-b.x, -b.y, -b.z, -b.w);
    }
    float wa = 1.0f - t, wb = t;
    if (1.0f - c >= 0.05f)
    {
        const float theta = std::acos(c);
        const float s = std::sin(theta);
        wa = std::sin((1.0f - t) * theta) / s;
        wb = std::sin(t * theta) / s;
    }
    return nQuaternion(wa * a.x + wb * to.x, wa * a.y + wb * to.y, wa * a.z + wb * to.z,
                       wa * a.w + wb * to.w).Normalize();
}
