#include "core/nMatrix.h"

#include <cmath>
#include <new>

#include "core/nMathTags.h"
#include "core/nMetaTag.h"
#include "core/nQuaternion.h"

namespace {
float ClampUnit(float v)
{
    return v < -1.0f ? -1.0f : (v > 1.0f ? 1.0f : v);
}

const char* const kColumnNames[4] = {"R0", "R1", "R2", "R3"};

// The NML form of a matrix: one vector tag per column, named R0, R1, ... although they hold
// columns. NULL when out of memory.
nMetaTag* NewColumnsTag(const char* name, const nVector* columns, int count, bool withW)
{
    nMetaTag* tag = new (std::nothrow) nMetaTag(name);
    if (!tag)
        return 0;
    for (int i = 0; i < count; ++i) {
        nMetaTag* child = columns[i].ToMetaTag(kColumnNames[i], withW);
        if (!child) {
            delete tag;
            return 0;
        }
        tag->AddChild(child);
    }
    return tag;
}

// Reads the first `count` children of tag, by position, as columns of up to `rows` values;
// values a column lacks keep what columns[i] held. Returns the number of columns read.
int ReadColumnsTag(const nMetaTag* tag, float columns[][4], int count, int rows)
{
    if (!tag)
        return 0;
    nMetaTag* parent = const_cast<nMetaTag*>(tag);  // iteration does not change the tag
    nMetaTagIterator it;
    int n = 0;
    for (nMetaTag* child = parent->NextChild(it); child && n < count; child = parent->NextChild(it))
        nReadFloatChildren(child, columns[n++], rows);
    return n;
}
}

// ---------------------------------------------------------------------------------------------
// nMatrix3

void nMatrix3::Set(float m00, float m10, float m20, float m01, float m11, float m21,
                   float m02, float m12, float m22)
{
    m[0] = m00;
    m[1] = m01;
    m[2] = m02;
    m[3] = m10;
    m[4] = m11;
    m[5] = m12;
    m[6] = m20;
    m[7] = m21;
    m[8] = m22;
}

void nMatrix3::SetAxes(const nVector& a, const nVector& b, const nVector& c)
{
    SetColumn(0, a);
    SetColumn(1, b);
    SetColumn(2, c);
}

nMatrix3 nMatrix3::FromMatrix4(const nMatrix4& o)
{
    nMatrix3 r;
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            r.m[3 * row + col] = o.m[4 * row + col];
    return r;
}

nMatrix3 nMatrix3::operator*(const nMatrix3& o) const
{
    nMatrix3 r;
    for (int row = 0; row < 3; ++row) {
        const float a0 = m[3 * row], a1 = m[3 * row + 1], a2 = m[3 * row + 2];
        for (int col = 0; col < 3; ++col)
            r.m[3 * row + col] = a0 * o.m[col] + a1 * o.m[3 + col] + a2 * o.m[6 + col];
    }
    return r;
}

nMatrix3 nMatrix3::Transpose() const
{
    nMatrix3 r;
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            r.m[3 * row + col] = m[3 * col + row];
    return r;
}

bool nMatrix3::Inverse(nMatrix3& out) const
{
    const float m00 = m[0], m01 = m[1], m02 = m[2];
    const float m10 = m[3], m11 = m[4], m12 = m[5];
    const float m20 = m[6], m21 = m[7], m22 = m[8];
    nMatrix3 adj;
    adj.m[0] = m22 * m11 - m21 * m12;
    adj.m[1] = m21 * m02 - m01 * m22;
    adj.m[2] = m01 * m12 - m02 * m11;
    adj.m[3] = m20 * m12 - m10 * m22;
    adj.m[4] = m00 * m22 - m20 * m02;
    adj.m[5] = m10 * m02 - m12 * m00;
    adj.m[6] = m10 * m21 - m20 * m11;
    adj.m[7] = m01 * m20 - m21 * m00;
    adj.m[8] = m00 * m11 - m10 * m01;
    const float det = m00 * adj.m[0] + m01 * adj.m[3] + m02 * adj.m[6];
    if (det == 0.0f) {
        out = adj;
        return false;
    }
    const float inv = 1.0f / det;
    for (float& e : adj.m)
        e *= inv;
    out = adj;
    return true;
}

nMatrix3 nMatrix3::RotationX(float angle)
{
    const float c = std::cos(angle), s = std::sin(angle);
    nMatrix3 r;
    r.m[4] = c;
    r.m[5] = -s;
    r.m[7] = s;
    r.m[8] = c;
    return r;
}

nMatrix3 nMatrix3::RotationY(float angle)
{
    const float c = std::cos(angle), s = std::sin(angle);
    nMatrix3 r;
    r.m[0] = c;
    r.m[2] = s;
    r.m[6] = -s;
    r.m[8] = c;
    return r;
}

nMatrix3 nMatrix3::RotationZ(float angle)
{
    const float c = std::cos(angle), s = std::sin(angle);
    nMatrix3 r;
    r.m[0] = c;
    r.m[1] = -s;
    r.m[3] = s;
    r.m[4] = c;
    return r;
}

nMatrix3 nMatrix3::Scaling(const nVector& v)
{
    nMatrix3 r;
    r.m[0] = v.x;
    r.m[4] = v.y;
    r.m[8] = v.z;
    return r;
}

nMatrix3 nMatrix3::FromEuler(float x, float y, float z, nRotationOrder order)
{
    if ((uint32_t)order > (uint32_t)RotationOrderXY)
        return nMatrix3();
    nMatrix3 r{Uninitialised()};  // every case below writes all nine elements
    // All six first: the products below then need no values kept across the library calls.
    const float cx = std::cos(x), sx = std::sin(x);
    const float cy = std::cos(y), sy = std::sin(y);
    const float cz = std::cos(z), sz = std::sin(z);
    float* o = r.m;
    switch (order) {
        case RotationOrderXY:  // X(x) * Y(y); z plays no part
            o[0] = cy;
            o[1] = 0.0f;
            o[2] = sy;
            o[3] = sx * sy;
            o[4] = cx;
            o[5] = -sx * cy;
            o[6] = -cx * sy;
            o[7] = sx;
            o[8] = cx * cy;
            break;
        case RotationOrderZYX:  // Z(z) * Y(y) * X(x)
            o[0] = cy * cz;
            o[1] = sx * sy * cz - cx * sz;
            o[2] = cx * sy * cz + sx * sz;
            o[3] = cy * sz;
            o[4] = sx * sy * sz + cx * cz;
            o[5] = cx * sy * sz - sx * cz;
            o[6] = -sy;
            o[7] = sx * cy;
            o[8] = cx * cy;
            break;
        case RotationOrderYZX:  // Y(y) * Z(z) * X(x)
            o[0] = cy * cz;
            o[1] = sx * sy - cx * cy * sz;
            o[2] = cx * sy + sx * cy * sz;
            o[3] = sz;
            o[4] = cx * cz;
            o[5] = -sx * cz;
            o[6] = -sy * cz;
            o[7] = cx * sy * sz + sx * cy;
            o[8] = cx * cy - sx * sy * sz;
            break;
        case RotationOrderZXY:  // Z(z) * X(x) * Y(y)
            o[0] = cy * cz - sx * sy * sz;
            o[1] = -cx * sz;
            o[2] = sy * cz + sx * cy * sz;
            o[3] = cy * sz + sx * sy * cz;
            o[4] = cx * cz;
            o[5] = sy * sz - sx * cy * cz;
            o[6] = -cx * sy;
            o[7] = sx;
            o[8] = cx * cy;
            break;
        case RotationOrderXZY:  // X(x) * Z(z) * Y(y)
            o[0] = cy * cz;
            o[1] = -sz;
            o[2] = sy * cz;
            o[3] = cx * cy * sz + sx * sy;
            o[4] = cx * cz;
            o[5] = cx * sy * sz - sx * cy;
            o[6] = sx * cy * sz - cx * sy;
            o[7] = sx * cz;
            o[8] = cx * cy + sx * sy * sz;
            break;
        case RotationOrderYXZ:  // Y(y) * X(x) * Z(z)
            o[0] = cy * cz + sx * sy * sz;
            o[1] = sx * sy * cz - cy * sz;
            o[2] = cx * sy;
            o[3] = cx * sz;
            o[4] = cx * cz;
            o[5] = -sx;
            o[6] = sx * cy * sz - sy * cz;
            o[7] = sx * cy * cz + sy * sz;
            o[8] = cx * cy;
            break;
        default:  // RotationOrderXYZ: X(x) * Y(y) * Z(z)
            o[0] = cy * cz;
            o[1] = -cy * sz;
            o[2] = sy;
            o[3] = cx * sz + sx * sy * cz;
            o[4] = cx * cz - sx * sy * sz;
            o[5] = -sx * cy;
            o[6] = sx * sz - cx * sy * cz;
            o[7] = sx * cz + cx * sy * sz;
            o[8] = cx * cy;
            break;
    }
    return r;
}

nVector nMatrix3::ToEuler(nRotationOrder order) const
{
    const float m00 = m[0], m01 = m[1], m02 = m[2];
    const float m10 = m[3], m11 = m[4], m12 = m[5];
    const float m20 = m[6], m21 = m[7], m22 = m[8];
    switch (order) {
        case RotationOrderZYX:
            return nVector(std::atan2(m21, m22), std::asin(ClampUnit(-m20)), std::atan2(m10, m00));
        case RotationOrderYZX:
            return nVector(std::atan2(-m12, m11), std::atan2(-m20, m00), std::asin(ClampUnit(m10)));
        case RotationOrderZXY:
            return nVector(std::asin(ClampUnit(m21)), std::atan2(-m20, m22), std::atan2(-m01, m11));
        case RotationOrderXZY:
            return nVector(std::atan2(m21, m11), std::atan2(m02, m00), std::asin(ClampUnit(-m01)));
        case RotationOrderXYZ:
            return nVector(std::atan2(-m12, m22), std::asin(ClampUnit(m02)), std::atan2(-m01, m00));
        case RotationOrderXY:
            // X(x) * Y(y) has m00 = cos y, m02 = sin y, m11 = cos x, m21 = sin x; atan2 keeps
            // the signs that acos of the cosines alone would lose.
            return nVector(std::atan2(m21, m11), std::atan2(m02, m00), 0.0f);
        default:  // RotationOrderYXZ and anything above 6
            return nVector(std::asin(ClampUnit(-m12)), std::atan2(m02, m22), std::atan2(m10, m11));
    }
}

nMatrix3 nMatrix3::LookAt(const nVector& direction, const nVector* up)
{
    nMatrix3 r;
    const float len = direction.Length();
    if (!(len > 0.0f))
        return r;
    const nVector n = direction / len;
    if (up) {
        nVector right = up->Normalize().Cross(n);
        const float rightLen = right.Length();
        if (rightLen > 0.000001f) {
            right = right / rightLen;
            r.SetAxes(right, n.Cross(right), n);
            return r;
        }
    }
    nVector right(-1.0f, 0.0f, 0.0f);
    if (std::fabs(n.x) > 0.000001f || std::fabs(n.z) > 0.000001f)
        right = nVector(n.z, 0.0f, -n.x).Normalize();
    r.SetAxes(right, n.Cross(right), n);
    return r;
}

void nMatrix3::RotateArray(nVector* out, const nVector* in, int count) const
{
    const float m00 = m[0], m01 = m[1], m02 = m[2];
    const float m10 = m[3], m11 = m[4], m12 = m[5];
    const float m20 = m[6], m21 = m[7], m22 = m[8];
    for (int i = 0; i < count; ++i) {
        const float x = in[i].x, y = in[i].y, z = in[i].z;
        out[i].x = m00 * x + m01 * y + m02 * z;
        out[i].y = m10 * x + m11 * y + m12 * z;
        out[i].z = m20 * x + m21 * y + m22 * z;
        out[i].w = 1.0f;
    }
}

nMetaTag* nMatrix3::ToMetaTag(const char* name) const
{
    const nVector columns[3] = {GetColumn(0), GetColumn(1), GetColumn(2)};
    return NewColumnsTag(name ? name : "Mtx3", columns, 3, false);
}

bool nMatrix3::FromMetaTag(const nMetaTag* tag)
{
    float columns[3][4] = {};
    if (ReadColumnsTag(tag, columns, 3, 3) < 3)
        return false;
    for (int i = 0; i < 3; ++i)
        SetColumn(i, nVector(columns[i][0], columns[i][1], columns[i][2]));
    return true;
}

// ---------------------------------------------------------------------------------------------
// nMatrix4

void nMatrix4::Set(float m00, float m10, float m20, float m30, float m01, float m11, float m21, float m31,
                   float m02, float m12, float m22, float m32, float m03, float m13, float m23, float m33)
{
    m[0] = m00;
    m[1] = m01;
    m[2] = m02;
    m[3] = m03;
    m[4] = m10;
    m[5] = m11;
    m[6] = m12;
    m[7] = m13;
    m[8] = m20;
    m[9] = m21;
    m[10] = m22;
    m[11] = m23;
    m[12] = m30;
    m[13] = m31;
    m[14] = m32;
    m[15] = m33;
}

nMatrix4 nMatrix4::FromMatrix3(const nMatrix3& o)
{
    nMatrix4 r;
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            r.m[4 * row + col] = o.m[3 * row + col];
    return r;
}

nMatrix4 nMatrix4::Translation(const nVector& v)
{
    nMatrix4 r;
    r.m[3] = v.x;
    r.m[7] = v.y;
    r.m[11] = v.z;
    return r;
}

nMatrix4 nMatrix4::Scaling(const nVector& v)
{
    nMatrix4 r;
    r.m[0] = v.x;
    r.m[5] = v.y;
    r.m[10] = v.z;
    return r;
}

void nMatrix4::TransformArray(nVector* out, const nVector* in, int count) const
{
    // out = column 0 * x + column 1 * y + column 2 * z + column 3 * w, evaluated left to
    // right: the same sums as row . vector, in a form that vectorises across the four rows.
    const float c0[4] = {m[0], m[4], m[8], m[12]};
    const float c1[4] = {m[1], m[5], m[9], m[13]};
    const float c2[4] = {m[2], m[6], m[10], m[14]};
    const float c3[4] = {m[3], m[7], m[11], m[15]};
    for (int i = 0; i < count; ++i) {
        const float x = in[i].x, y = in[i].y, z = in[i].z, w = in[i].w;
        float r[4];
        for (int k = 0; k < 4; ++k)
            r[k] = c0[k] * x + c1[k] * y + c2[k] * z + c3[k] * w;
        out[i].x = r[0];
        out[i].y = r[1];
        out[i].z = r[2];
        out[i].w = r[3];
    }
}

void nMatrix4::RotateArray(nVector* out, const nVector* in, int count) const
{
    nMatrix3::FromMatrix4(*this).RotateArray(out, in, count);
}

nMatrix4 nMatrix4::Compose(const nVector& position, const nMatrix3& rotation, const nVector& scale, const nVector& pivot)
{
    // [R S | R S pivot + position] without forming the four factors.
    nMatrix4 r;
    const float s[3] = {scale.x, scale.y, scale.z};
    const float p[3] = {pivot.x, pivot.y, pivot.z};
    const float t[3] = {position.x, position.y, position.z};
    for (int row = 0; row < 3; ++row) {
        float moved = 0.0f;
        for (int col = 0; col < 3; ++col) {
            const float e = rotation.m[3 * row + col] * s[col];
            r.m[4 * row + col] = e;
            moved += e * p[col];
        }
        r.m[4 * row + 3] = moved + t[row];
    }
    return r;
}

nMatrix4 nMatrix4::ComposeEuler(const nVector& position, const nVector& angles, const nVector& scale, const nVector& pivot)
{
    return Compose(position, nMatrix3::FromEulerVector(angles, RotationOrderYXZ), scale, pivot);
}

void nMatrix4::Decompose(nVector* position, nVector* scale, nMatrix3* rotation) const
{
    if (position)
        *position = GetColumn(3, true);
    if (!scale && !rotation)
        return;
    const nVector c0 = GetColumn(0, true), c1 = GetColumn(1, true), c2 = GetColumn(2, true);
    float s[3] = {c0.Length(), c1.Length(), c2.Length()};
    if (c0.Dot(c1.Cross(c2)) < 0.0f)
        s[0] = -s[0];
    if (scale)
        *scale = nVector(s[0], s[1], s[2]);
    if (rotation) {
        const nVector cols[3] = {c0, c1, c2};
        for (int i = 0; i < 3; ++i) {
            nVector axis(i == 0 ? 1.0f : 0.0f, i == 1 ? 1.0f : 0.0f, i == 2 ? 1.0f : 0.0f);
            if (s[i] != 0.0f)
                axis = cols[i] / s[i];
            rotation->SetColumn(i, axis);
        }
    }
}

void nMatrix4::DecomposeEuler(nVector* position, nVector* scale, nVector* angles, nRotationOrder order) const
{
    nMatrix3 rotation;
    Decompose(position, scale, angles ? &rotation : nullptr);
    if (angles)
        *angles = rotation.ToEuler(order);
}

nMatrix4 nMatrix4::InverseTRS() const
{
    // S^-1 R^T T(-p): row i of the upper 3x3 is column i / |column i|^2.
    nMatrix4 r;
    for (int i = 0; i < 3; ++i) {
        const nVector c = GetColumn(i, true);
        const float q = c.Dot(c);
        const float inv = q > 0.0f ? 1.0f / q : 0.0f;
        r.m[4 * i] = c.x * inv;
        r.m[4 * i + 1] = c.y * inv;
        r.m[4 * i + 2] = c.z * inv;
    }
    const float px = m[3], py = m[7], pz = m[11];
    for (int i = 0; i < 3; ++i)
        r.m[4 * i + 3] = -(r.m[4 * i] * px + r.m[4 * i + 1] * py + r.m[4 * i + 2] * pz);
    return r;
}

nMatrix4 nMatrix4::Interpolate(const nMatrix4& a, const nMatrix4& b, float t, bool linear)
{
    nMatrix4 r;
    if (linear) {
        for (int i = 0; i < 16; ++i)
            r.m[i] = a.m[i] + t * (b.m[i] - a.m[i]);
        return r;
    }
    nVector pa, sa, pb, sb;
    nMatrix3 ra, rb;
    a.Decompose(&pa, &sa, &ra);
    b.Decompose(&pb, &sb, &rb);
    const nVector position = pa + (pb - pa) * t;
    const nVector scale = sa + (sb - sa) * t;
    const nQuaternion q = nQuaternion::Slerp(t, nQuaternion::FromMatrix3(ra), nQuaternion::FromMatrix3(rb));
    return Compose(position, q.ToMatrix3(), scale, nVector(0.0f, 0.0f, 0.0f));
}

nMetaTag* nMatrix4::ToMetaTag(const char* name) const
{
    const nVector columns[4] = {GetColumn(0, false), GetColumn(1, false), GetColumn(2, false), GetColumn(3, false)};
    return NewColumnsTag(name ? name : "Mtx4", columns, 4, true);
}

bool nMatrix4::FromMetaTag(const nMetaTag* tag)
{
    // A column written without its W reads as the bottom row of a transform.
    float columns[4][4] = {{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 1}};
    if (ReadColumnsTag(tag, columns, 4, 4) < 4)
        return false;
    for (int i = 0; i < 4; ++i)
        SetColumn(i, nVector(columns[i][0], columns[i][1], columns[i][2], columns[i][3]), false);
    return true;
}
