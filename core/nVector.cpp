#include "core/nVector.h"

#include <cstring>

#include "core/nLog.h"
#include "core/nRandom.h"

nVector nVector::ClampLength(float min, float max) const
{
    float q = Dot(*this);
    if ((q >= min * min && q <= max * max) || q < 0.000001f)
        return *this;
    float len = std::sqrt(q);
    float target = len;
    if (len < min)
        target = min;
    else if (len > max)
        target = max;
    return (*this * target) / len;
}

nVector nVector::Random(float min, float max)
{
    // Three separate statements: the draws must happen in x, y, z order.
    nVector v;
    v.x = nRandRange(min, max);
    v.y = nRandRange(min, max);
    v.z = nRandRange(min, max);
    return v;
}

bool nVector::IsNearlyEqual(const nVector& o) const
{
    return ::IsNearlyEqual(x, o.x, 0.000001f) && ::IsNearlyEqual(y, o.y, 0.000001f) &&
           ::IsNearlyEqual(z, o.z, 0.000001f);
}

namespace
{
// The byte is the top 8 mantissa bits of 256 + c * 255, that is the integer part of c * 255
// as rounded in single precision. Values outside [0, 1] would wrap through the bit pattern,
// so they are clamped first; NaN counts as 0.
uint32_t PackChannel(float c)
{
    if (!(c > 0.0f))
        c = 0.0f;
    else if (c > 1.0f)
        c = 1.0f;
    float v = 256.0f + c * 255.0f;
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return (bits >> 15) & 0xffu;
}

const float kByteToUnit = 0.003921569f; // the float nearest 1 / 255
}

uint32_t nVector::PackColor() const
{
    return PackChannel(x) | (PackChannel(y) << 8) | (PackChannel(z) << 16) | (PackChannel(w) << 24);
}

nVector nVector::UnpackColor(uint32_t packed)
{
    return nVector((float)(packed & 0xffu) * kByteToUnit, (float)((packed >> 8) & 0xffu) * kByteToUnit,
                   (float)((packed >> 16) & 0xffu) * kByteToUnit, (float)(packed >> 24) * kByteToUnit);
}

void nVector::Dump(const char* name) const
{
    if (name && *name)
        *g_log << "[S] Vector '" << name << "' = {";
    else
        *g_log << "[S] Vector = {";
    *g_log << x << "," << y << "," << z << "}\n";
}
