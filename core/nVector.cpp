#include "core/nVector.h"

#include <cstring>
#include <new>

#include "core/nLog.h"
#include "core/nMathTags.h"
#include "core/nMetaTag.h"
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

namespace {
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

const float kByteToUnit = 0.003921569f;  // the float nearest 1 / 255
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

int nReadFloatChildren(const nMetaTag* tag, float* out, int max)
{
    if (!tag)
        return 0;
    // Walking the children does not change the tag; the iteration interface is just not const.
    nMetaTag* parent = const_cast<nMetaTag*>(tag);
    nMetaTagIterator it;
    int count = 0;
    for (nMetaTag* child = parent->NextChild(it); child && count < max; child = parent->NextChild(it)) {
        float value = 0.0f;
        int32_t integer;
        if (!child->GetValue().GetFloat(&value) && child->GetValue().GetInt(&integer))
            value = (float)integer;
        out[count++] = value;
    }
    return count;
}

nMetaTag* nNewFloatTag(const char* name, const char* const* childNames, const float* values, int count)
{
    nMetaTag* tag = new (std::nothrow) nMetaTag(name);
    if (!tag)
        return 0;
    for (int i = 0; i < count; ++i) {
        nMetaTag* child = new (std::nothrow) nMetaTag(childNames[i], values[i]);
        if (!child) {
            delete tag;
            return 0;
        }
        tag->AddChild(child);
    }
    return tag;
}

namespace {
const char* const kAxisNames[4] = {"X", "Y", "Z", "W"};
}

nMetaTag* nVector::ToMetaTag(const char* name, bool withW) const
{
    const float values[4] = {x, y, z, w};
    return nNewFloatTag(name ? name : "Vector", kAxisNames, values, withW ? 4 : 3);
}

bool nVector::FromMetaTag(const nMetaTag* tag)
{
    float values[4];
    const int count = nReadFloatChildren(tag, values, 4);
    if (count < 3)
        return false;
    x = values[0];
    y = values[1];
    z = values[2];
    if (count > 3)
        w = values[3];
    return true;
}

nMetaTag* nVector2::ToMetaTag(const char* name) const
{
    const float values[2] = {x, y};
    return nNewFloatTag(name ? name : "Vector2", kAxisNames, values, 2);
}

bool nVector2::FromMetaTag(const nMetaTag* tag)
{
    float values[2];
    if (nReadFloatChildren(tag, values, 2) < 2)
        return false;
    x = values[0];
    y = values[1];
    return true;
}
