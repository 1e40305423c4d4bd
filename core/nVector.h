#ifndef N_VECTOR_H
#define N_VECTOR_H

#include <cmath>
#include <cstdint>

class nMatrix3;
class nMatrix4;
class nMetaTag;

// lo when lo > x, else hi when hi < x, else x (a NaN x comes back unchanged).
inline float nClamp(float x, float lo, float hi) { return lo > x ? lo : (hi < x ? hi : x); }
// |b - a| < epsilon.
inline bool IsNearlyEqual(float a, float b, float epsilon) { return std::fabs(b - a) < epsilon; }

// Four floats for points, directions, scales, Euler angles (radians) and RGBA colours.
// Arithmetic works on x, y and z; every vector result has w = 1 unless a comment says
// otherwise. As a colour, x, y, z, w are red, green, blue, alpha in [0, 1].
class nVector
{
public:
    float x, y, z, w;

    nVector() : x(0.0f), y(0.0f), z(0.0f), w(1.0f) {}
    nVector(float ax, float ay, float az, float aw = 1.0f) : x(ax), y(ay), z(az), w(aw) {}

    nVector operator+(const nVector& o) const { return nVector(x + o.x, y + o.y, z + o.z); }
    nVector operator-(const nVector& o) const { return nVector(x - o.x, y - o.y, z - o.z); }
    nVector operator-() const { return nVector(-x, -y, -z); }
    nVector operator*(float s) const { return nVector(x * s, y * s, z * s); }
    nVector operator*(const nVector& o) const { return nVector(x * o.x, y * o.y, z * o.z); }  // component-wise
    inline nVector operator/(float s) const;                                                  // times 1 / s; s = 0 gives (0, 0, 0)
    nVector operator/(const nVector& o) const { return nVector(x / o.x, y / o.y, z / o.z); }  // component-wise, no zero guard

    nVector Cross(const nVector& o) const { return nVector(y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x); }  // this x o
    nVector Abs() const { return nVector(std::fabs(x), std::fabs(y), std::fabs(z)); }
    inline nVector Normalize() const;                                  // unit length; a length below 1e-6 gives (0, 0, 0)
    inline nVector Clamp(float lo, float hi) const;                    // x, y, z each clamped to [lo, hi]
    inline nVector Clamp(const nVector& lo, const nVector& hi) const;  // per component between lo and hi
    nVector ClampLength(float min, float max) const;                   // length brought into [min, max]; unchanged (w kept) when inside or when the squared length is below 1e-6
    inline nVector FaceForward(const nVector& reference) const;        // -this when this . reference >= 0, else this (w kept)

    inline nVector Transform(const nMatrix4& m) const;  // point through rows 0 to 2, translation included (defined in nMatrix.h)
    inline nVector Rotate(const nMatrix3& m) const;     // m * this (defined in nMatrix.h)
    inline void TransformSelf(const nMatrix4& m);       // Transform in place; w kept
    inline void RotateSelf(const nMatrix3& m);          // Rotate in place; w kept
    static nVector Random(float min, float max);        // x, y, z drawn in that order with nRandRange(min, max)

    float Dot(const nVector& o) const { return x * o.x + y * o.y + z * o.z; }
    float Length() const { return std::sqrt(Dot(*this)); }
    float DistanceSquared(const nVector& o) const { return (*this - o).Dot(*this - o); }
    float Distance(const nVector& o) const { return std::sqrt(DistanceSquared(o)); }
    bool IsNearlyEqual(const nVector& o) const;  // x, y, z each strictly within 1e-6

    uint32_t PackColor() const;                   // red in bits 0-7 ... alpha in 24-31; each channel clamped to [0, 1] (NaN as 0), then truncated to c * 255
    static nVector UnpackColor(uint32_t packed);  // each byte * (1 / 255), alpha included

    void Dump(const char* name) const;  // script-output line "[S] Vector 'name' = {x,y,z}" (three decimals)

    // NML form: a tag named name ("Vector" for NULL) with float children "X", "Y", "Z" and,
    // with withW, "W"; NULL when out of memory. Reading takes the children by position: the
    // first three give x, y, z, a fourth gives w (else w is kept); false, and nothing
    // changed, with fewer than three. Integer children are converted.
    nMetaTag* ToMetaTag(const char* name, bool withW) const;
    bool FromMetaTag(const nMetaTag* tag);
};

// Two floats for 2D positions and texture coordinates.
class nVector2
{
public:
    float x, y;

    nVector2() : x(0.0f), y(0.0f) {}
    nVector2(float ax, float ay) : x(ax), y(ay) {}

    nMetaTag* ToMetaTag(const char* name) const;  // "Vector2" (or name) with float children "X", "Y"
    bool FromMetaTag(const nMetaTag* tag);        // the first two children by position; false with fewer
};

inline nVector VectorMin(const nVector& a, const nVector& b)
{
    return nVector(a.x < b.x ? a.x : b.x, a.y < b.y ? a.y : b.y, a.z < b.z ? a.z : b.z);
}

inline nVector VectorMax(const nVector& a, const nVector& b)
{
    return nVector(a.x > b.x ? a.x : b.x, a.y > b.y ? a.y : b.y, a.z > b.z ? a.z : b.z);
}

inline nVector nVector::operator/(float s) const
{
    if (s == 0.0f)
        return nVector(0.0f, 0.0f, 0.0f);
    float inv = 1.0f / s;
    return nVector(x * inv, y * inv, z * inv);
}

inline nVector nVector::Normalize() const
{
    float len = Length();
    if (!(len >= 0.000001f))
        return nVector(0.0f, 0.0f, 0.0f);
    float inv = 1.0f / len;
    return nVector(x * inv, y * inv, z * inv);
}

inline nVector nVector::Clamp(float lo, float hi) const
{
    return nVector(nClamp(x, lo, hi), nClamp(y, lo, hi), nClamp(z, lo, hi));
}

inline nVector nVector::Clamp(const nVector& lo, const nVector& hi) const
{
    return nVector(nClamp(x, lo.x, hi.x), nClamp(y, lo.y, hi.y), nClamp(z, lo.z, hi.z));
}

inline nVector nVector::FaceForward(const nVector& reference) const
{
    return Dot(reference) >= 0.0f ? -*this : *this;
}

#endif
