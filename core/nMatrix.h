#ifndef N_MATRIX_H
#define N_MATRIX_H

#include <cstdint>

#include "core/nVector.h"

// How Euler angles (x, y, z) combine; the letters give the product from left to right with
// column vectors, so the rightmost rotation acts first (ZYX turns about X, then Y, then Z).
// The values are the script constants. Orders above 6 are tolerated: FromEuler gives the
// identity and ToEuler reads them as YXZ.
enum nRotationOrder : int32_t
{
    RotationOrderZYX = 0,
    RotationOrderYZX = 1,
    RotationOrderZXY = 2,
    RotationOrderXZY = 3,
    RotationOrderYXZ = 4,
    RotationOrderXYZ = 5,
    RotationOrderXY = 6,  // X(x) * Y(y); z is ignored
    RotationOrderDefault = RotationOrderYXZ
};

// 3x3 matrix stored row by row (element r, c at m[3r + c]) and used with column vectors:
// p' = M * p. A new matrix is the identity.
class nMatrix3
{
public:
    float m[9];

    nMatrix3() : m{1, 0, 0, 0, 1, 0, 0, 0, 1} {}

    void Set(float m00, float m10, float m20, float m01, float m11, float m21,
             float m02, float m12, float m22);                                             // values given column by column
    nVector GetColumn(int i) const { return nVector(m[i], m[3 + i], m[6 + i]); }           // w = 1
    nVector GetRow(int i) const { return nVector(m[3 * i], m[3 * i + 1], m[3 * i + 2]); }  // w = 1
    void SetColumn(int i, const nVector& v)
    {
        m[i] = v.x;
        m[3 + i] = v.y;
        m[6 + i] = v.z;
    }
    void SetRow(int i, const nVector& v)
    {
        m[3 * i] = v.x;
        m[3 * i + 1] = v.y;
        m[3 * i + 2] = v.z;
    }
    void SetAxes(const nVector& a, const nVector& b, const nVector& c);  // the three columns
    static nMatrix3 FromMatrix4(const nMatrix4& o);                      // upper-left 3x3

    nMatrix3 operator*(const nMatrix3& o) const;  // this * o
    nMatrix3 Transpose() const;
    bool Inverse(nMatrix3& out) const;  // false when the determinant is exactly 0 (out then holds the adjugate)

    static nMatrix3 RotationX(float angle);
    static nMatrix3 RotationY(float angle);
    static nMatrix3 RotationZ(float angle);
    static nMatrix3 Scaling(const nVector& v);  // diagonal (v.x, v.y, v.z)

    static nMatrix3 FromEuler(float x, float y, float z, nRotationOrder order);  // an order above 6 gives the identity
    static nMatrix3 FromEulerVector(const nVector& angles, nRotationOrder order) { return FromEuler(angles.x, angles.y, angles.z, order); }
    nVector ToEuler(nRotationOrder order) const;  // inverts FromEuler while the middle angle lies in [-pi/2, pi/2]; w = 1

    // Orthonormal basis with columns (right, up, normalised direction). A zero direction gives
    // the identity. With an up vector, right = normalise(up x direction) and up is made
    // perpendicular to the direction; an up that is zero or parallel to the direction is
    // treated as absent. Without one, right = normalise(dir.z, 0, -dir.x), or (-1, 0, 0) for a
    // direction along Y, and up = direction x right.
    static nMatrix3 LookAt(const nVector& direction, const nVector* up);

    void RotateArray(nVector* out, const nVector* in, int count) const;  // out[i] = M * in[i], w = 1; out may equal in

    // NML form "Mtx3" (or name): children "R0", "R1", "R2" are vector tags holding columns 0
    // to 2 (X, Y, Z). Reading takes the first three children by position; false, nothing
    // changed, with fewer. Values a column lacks read as 0. ToMetaTag gives NULL when out of memory.
    nMetaTag* ToMetaTag(const char* name) const;
    bool FromMetaTag(const nMetaTag* tag);

private:
    struct Uninitialised
    {};
    explicit nMatrix3(Uninitialised) {}  // for results that write all nine elements
};

// 4x4 matrix stored row by row (element r, c at m[4r + c]) and used with column vectors; the
// translation is column 3 (m[3], m[7], m[11]) and a transform's bottom row is (0, 0, 0, 1).
// A new matrix is the identity.
class nMatrix4
{
public:
    float m[16];

    nMatrix4() : m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1} {}

    // Sixteen values given column by column: argument 4i + j goes to row j, column i.
    void Set(float m00, float m10, float m20, float m30, float m01, float m11, float m21, float m31,
             float m02, float m12, float m22, float m32, float m03, float m13, float m23, float m33);
    nVector GetColumn(int i, bool wOne) const { return nVector(m[i], m[4 + i], m[8 + i], wOne ? 1.0f : m[12 + i]); }
    nVector GetRow(int i, bool wOne) const { return nVector(m[4 * i], m[4 * i + 1], m[4 * i + 2], wOne ? 1.0f : m[4 * i + 3]); }
    void SetColumn(int i, const nVector& v, bool wOne)
    {
        m[i] = v.x;
        m[4 + i] = v.y;
        m[8 + i] = v.z;
        m[12 + i] = wOne ? 1.0f : v.w;
    }
    void SetRow(int i, const nVector& v, bool wOne)
    {
        m[4 * i] = v.x;
        m[4 * i + 1] = v.y;
        m[4 * i + 2] = v.z;
        m[4 * i + 3] = wOne ? 1.0f : v.w;
    }

    static nMatrix4 FromMatrix3(const nMatrix3& o);  // o in the upper left, no translation
    static nMatrix4 Translation(const nVector& v);
    static nMatrix4 Scaling(const nVector& v);

    inline nMatrix4 Multiply(const nMatrix4& o) const;  // this * o
    nMatrix4 operator*(const nMatrix4& o) const { return Multiply(o); }
    void TransformArray(nVector* out, const nVector* in, int count) const;  // out[i] = M * in[i], all four components; out may equal in
    void RotateArray(nVector* out, const nVector* in, int count) const;     // upper-left 3x3 only, w = 1; out may equal in

    // T(position) * R * S(scale) * T(pivot): the pivot moves the local origin to +pivot
    // before scaling. ComposeEuler builds R from the angles in RotationOrderYXZ.
    static nMatrix4 Compose(const nVector& position, const nMatrix3& rotation, const nVector& scale, const nVector& pivot);
    static nMatrix4 ComposeEuler(const nVector& position, const nVector& angles, const nVector& scale, const nVector& pivot);

    // Position = column 3; scale = lengths of columns 0 to 2, x negated for a mirrored basis;
    // rotation = columns divided by their scale (a zero column becomes its unit axis).
    // Every output may be NULL.
    void Decompose(nVector* position, nVector* scale, nMatrix3* rotation) const;
    void DecomposeEuler(nVector* position, nVector* scale, nVector* angles, nRotationOrder order) const;

    // Inverse of translation * rotation * per-axis scale (mirroring included, no shear). An
    // axis of zero scale has no inverse: its row of the result is 0 instead of infinite.
    nMatrix4 InverseTRS() const;

    // linear: element by element. Otherwise position and scale are blended linearly and the
    // rotations by quaternion slerp; the result carries no pivot. t is not clamped.
    static nMatrix4 Interpolate(const nMatrix4& a, const nMatrix4& b, float t, bool linear);

    // NML form "Mtx4" (or name): children "R0" to "R3" are vector tags holding columns 0 to 3
    // with their row-3 element as W ("R3" is the translation and m33). Reading takes the
    // first four children by position; false, nothing changed, with fewer. Values a column
    // lacks read as 0, except a missing m33, which reads as 1.
    nMetaTag* ToMetaTag(const char* name) const;
    bool FromMetaTag(const nMetaTag* tag);

private:
    struct Uninitialised
    {};
    explicit nMatrix4(Uninitialised) {}  // for results that write all sixteen elements
};

inline nMatrix4 nMatrix4::Multiply(const nMatrix4& o) const
{
    // Row r of the product is the sum over k of m_rk times row k of o: four rows of o scaled
    // and added, which compiles to 4-wide vector code.
    nMatrix4 r{Uninitialised()};
    const float* b = o.m;
    for (int row = 0; row < 4; ++row) {
        const float a0 = m[4 * row], a1 = m[4 * row + 1], a2 = m[4 * row + 2], a3 = m[4 * row + 3];
        float* out = r.m + 4 * row;
        for (int col = 0; col < 4; ++col)
            out[col] = a0 * b[col] + a1 * b[4 + col] + a2 * b[8 + col] + a3 * b[12 + col];
    }
    return r;
}

inline nVector nVector::Transform(const nMatrix4& mat) const
{
    const float* m = mat.m;
    return nVector(m[0] * x + m[1] * y + m[2] * z + m[3],
                   m[4] * x + m[5] * y + m[6] * z + m[7],
                   m[8] * x + m[9] * y + m[10] * z + m[11]);
}

inline nVector nVector::Rotate(const nMatrix3& mat) const
{
    const float* m = mat.m;
    return nVector(m[0] * x + m[1] * y + m[2] * z,
                   m[3] * x + m[4] * y + m[5] * z,
                   m[6] * x + m[7] * y + m[8] * z);
}

inline void nVector::TransformSelf(const nMatrix4& mat)
{
    nVector r = Transform(mat);
    x = r.x;
    y = r.y;
    z = r.z;
}

inline void nVector::RotateSelf(const nMatrix3& mat)
{
    nVector r = Rotate(mat);
    x = r.x;
    y = r.y;
    z = r.z;
}

#endif
