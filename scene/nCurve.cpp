#include "scene/nCurve.h"

#include <cmath>
#include <cstring>
#include <new>

#include "core/nLog.h"
#include "core/nMLReader.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "core/nPrefetch.h"
#include "core/nString.h"
#include "scene/nKeySearch.h"
#include "scene/nLittleEndian.h"

namespace {

const uint32_t kInitialCapacity = 4;  // most curves have a few keys; longer ones grow by doubling
const int32_t kLinearRecordSize = 9;  // type, time, value
const int32_t kFullRecordSize = 37;   // and tension, continuity, bias, four handles
const float kBezierTolerance = 0.0001f;

// v truncated to int32, saturating; NaN gives 0.
int32_t TruncateToInt32(double v)
{
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483647.0) return -INT32_MAX;
    return (int32_t)v;
}

float Bezier(float p0, float p1, float p2, float p3, float w)
{
    float g = 3.0f * (p1 - p0);
    float h = 3.0f * (p2 - p1) - g;
    return p0 + g * w + h * w * w + (p3 - p0 - g - h) * w * w * w;
}

struct LoopModeName
{
    const char* name;
    int32_t mode;
};
const LoopModeName kPostBehaviors[] = {
    {"Reset", LoopReset},
    {"Constant", LoopConstant},
    {"Repeat", LoopRepeat},
    {"Oscillate", LoopOscillate},
    {"OffsetRepeat", LoopOffsetRepeat},
};

// KnotEx kind numbers name the key types in another order.
int32_t KeyTypeOfKnotKind(int32_t kind)
{
    switch (kind) {
        case 1: return CurveKeyLinear;
        case 2: return CurveKeyTangent2;
        case 3: return CurveKeyBezier;
        case 4: return CurveKeyTangent;
        case 5: return CurveKeyTCB;
        case 6: return CurveKeyStep;
        default: return CurveKeyNone;
    }
}

// Splits a knot text at ':' into at most max fields; returns how many fields were present.
int SplitFields(const char* text, const char** begin, const char** end, int max)
{
    int n = 0;
    const char* p = text;
    while (n < max) {
        const char* q = p;
        while (*q && *q != ':') ++q;
        begin[n] = p;
        end[n] = q;
        ++n;
        if (!*q) break;
        p = q + 1;
    }
    return n;
}

}

float WrapLoopTime(float t, float s, float e, int32_t* count)
{
    float len = e - s;
    if (len == 0.0f) {
        if (count) *count = 0;
        return s;
    }
    float d = t - s;
    float r = d >= 0.0f ? s + d - len * std::floor(d / len) : e + d - len * std::ceil(d / len);
    if (count) {
        // Whole ranges between t and r, to the nearest integer; computed in double and
        // saturated, as a far-away time must not overflow the count.
        double q = ((double)r - (double)t) / (double)len;
        *count = -TruncateToInt32(t < r ? q + 0.5 : q - 0.5);
    }
    return !(r >= s) ? s : (r > e ? e : r);  // NaN (an infinite t) gives s
}

nCurve::nCurve() : m_keys(kInitialCapacity), m_postBehavior(LoopConstant), m_defaultValue(0.0f), m_cachedSegment(-1)
{
}

nCurve::~nCurve()
{
}

int32_t nCurve::GetSerializedSize() const
{
    return 40 + 44 * (int32_t)m_keys.GetCount();
}

void nCurve::Clear()
{
    m_keys.Clear(true);
    m_keys.Resize(kInitialCapacity);
    m_cachedSegment = -1;
}

bool nCurve::SetKeyCount(int32_t count)
{
    Clear();
    if (count < 0) return false;
    if ((uint32_t)count > m_keys.GetSize() && !m_keys.Resize((uint32_t)count)) return false;
    for (int32_t i = 0; i < count; ++i) {
        nCurvePoint* key = new (std::nothrow) nCurvePoint;
        if (!key || !m_keys.Add(key, true)) {
            delete key;
            Clear();
            return false;
        }
    }
    return true;
}

bool nCurve::AddKeySorted(nCurvePoint* key)
{
    if (!key) return false;
    uint32_t n = m_keys.GetCount();
    uint32_t index = 0;
    while (index < n && !(Key(index)->time > key->time)) ++index;
    if (!m_keys.Insert(key, index, true)) {
        delete key;
        return false;
    }
    m_cachedSegment = -1;
    return true;
}

void nCurve::PrefetchKeys(int32_t level) const
{
    const uint32_t count = m_keys.GetCount();
    if (count == 0) return;
    if (level <= 0) {
        nPrefetch(m_keys.GetOrder());
        nPrefetch(m_keys.GetSlots());
        nPrefetch(m_keys.GetFree());
        return;
    }
    // A short curve is read whole; a longer one around the segment used last.
    const uint32_t first = m_cachedSegment > 0 && (uint32_t)m_cachedSegment < count ? (uint32_t)m_cachedSegment - 1 : 0;
    for (uint32_t i = first; i < count && i < first + 4; ++i) nPrefetch(Key(i));
}

nCurvePoint* nCurve::GetKey(uint32_t index) const
{
    return index < m_keys.GetCount() ? Key(index) : 0;
}

float nCurve::GetEndTime() const
{
    uint32_t n = m_keys.GetCount();
    return n ? Key(n - 1)->time : 0.0f;
}

void nCurve::GetTimeRange(float& start, float& end) const
{
    uint32_t n = m_keys.GetCount();
    start = n ? Key(0)->time : 0.0f;
    end = n ? Key(n - 1)->time : 0.0f;
}

void nCurve::Evaluate(float t, float& out, int32_t loopMode, float rangeStart, float rangeEnd)
{
    uint32_t n = m_keys.GetCount();
    if (n == 0) {
        out = m_defaultValue;
        return;
    }
    const nCurvePoint* first = Key(0);
    const nCurvePoint* last = Key(n - 1);
    if (n == 1) {
        out = first->value;
        return;
    }

    float s = rangeStart == kCurveRangeFirst ? first->time
                                             : (rangeStart < first->time ? first->time : (rangeStart > last->time ? last->time : rangeStart));
    float e = rangeEnd == kCurveRangeLast ? last->time
                                          : (rangeEnd < first->time ? first->time : (rangeEnd > last->time ? last->time : rangeEnd));
    float offset = 0.0f;

    if (std::isnan(t)) t = s;
    if (t < s || t > e) {
        bool wraps = loopMode == LoopRepeat || loopMode == LoopOscillate || loopMode == LoopOffsetRepeat;
        if (loopMode == LoopReset) {
            out = 0.0f;
            return;
        } else if (wraps && std::isinf(t)) {
            t = s;  // no phase to keep at an infinite time
        } else if (loopMode == LoopRepeat) {
            t = WrapLoopTime(t, s, e, 0);
        } else if (loopMode == LoopOscillate) {
            int32_t count;
            t = WrapLoopTime(t, s, e, &count);
            if (count % 2 != 0) t = s + e - t;
        } else if (loopMode == LoopOffsetRepeat) {
            int32_t count;
            t = WrapLoopTime(t, s, e, &count);
            offset = (last->value - first->value) * (float)count;
        } else {
            t = t < s ? s : e;
        }
    }

    uint32_t i = nFindKeySegment(n, m_cachedSegment, t, [this](uint32_t k) { return Key(k)->time; });
    const nCurvePoint* a = Key(i);
    const nCurvePoint* b = Key(i + 1);
    if (t == a->time) {
        out = a->value + offset;
        return;
    }
    if (t == b->time) {
        out = b->value + offset;
        return;
    }

    const nCurvePoint* p = i > 0 ? Key(i - 1) : 0;
    const nCurvePoint* nx = i + 2 < n ? Key(i + 2) : 0;
    float dt = b->time - a->time;
    float u = (t - a->time) / dt;

    switch (b->type) {
        case CurveKeyLinear:
            out = a->value + (b->value - a->value) * u + offset;
            return;
        case CurveKeyTCB:
        case CurveKeyTangent:
        case CurveKeyTangent2: {
            float m0, m1;
            if (b->type == CurveKeyTCB) {
                m0 = (b->value - a->value) * (1 - a->tension) * (1 - a->continuity) * (1 - a->bias);
                if (p)
                    m0 = dt / (b->time - p->time) *
                         ((1 - a->tension) * (1 + a->continuity) * (1 + a->bias) * (a->value - p->value) + m0);
                m1 = (b->value - a->value) * (1 - b->tension) * (1 - b->continuity) * (1 + b->bias);
                if (nx)
                    m1 = dt / (nx->time - a->time) *
                         ((1 - b->tension) * (1 + b->continuity) * (1 - b->bias) * (nx->value - b->value) + m1);
            } else {
                m0 = a->handle0;
                if (p) m0 *= dt / (b->time - p->time);
                m1 = b->handle0;
                if (nx) m1 *= dt / (nx->time - a->time);
            }
            float u2 = u * u, u3 = u2 * u;
            float h00 = 2 * u3 - 3 * u2 + 1;
            float h01 = 3 * u2 - 2 * u3;
            float h10 = u3 - 2 * u2 + u;
            float h11 = u3 - u2;
            out = h00 * a->value + h01 * b->value + h10 * m0 + h11 * m1 + offset;
            return;
        }
        case CurveKeyBezier: {
            float t0 = a->time;
            float t1 = a->type == CurveKeyBezier ? a->time + a->handle2 : a->time + dt / 3;
            float t2 = b->time + b->handle0;
            float t3 = b->time;
            float v0 = a->value;
            float v1 = a->type == CurveKeyBezier ? a->value + a->handle3 : a->value + a->handle1 / 3;
            float v2 = b->value + b->handle1;
            float v3 = b->value;
            float lo = 0.0f, hi = 1.0f, w = 0.5f;
            for (int iteration = 0; iteration < 64; ++iteration) {
                w = lo + (hi - lo) / 2;
                float bt = Bezier(t0, t1, t2, t3, w);
                if (!(std::fabs(hi - lo) > kBezierTolerance) || std::fabs(bt - t) <= kBezierTolerance) break;
                if (t < bt) hi = w;
                else lo = w;
            }
            out = Bezier(v0, v1, v2, v3, w) + offset;
            return;
        }
        case CurveKeyStep:
            out = a->value + offset;
            return;
        default:
            out = offset;
            return;
    }
}

bool nCurve::Deserialize(nMetaFile* document, nMetaTag* tag)
{
    if (!nMLCheckRoot(tag, "Curve", "curve")) return false;
    Clear();
    m_postBehavior = LoopConstant;
    static const nMLCheckedTagRule<nCurve> kTags[] = {
        {"BinaryKnot", [](nCurve& c, nMetaFile*, nMetaTag* t) { c.ReadBinaryKnots(t); return true; }},
        {"Knot", [](nCurve& c, nMetaFile*, nMetaTag* t) { return c.ReadKnotList(t); }},
        {"PostBehavior", [](nCurve& c, nMetaFile*, nMetaTag* t) { c.ReadPostBehavior(t); return true; }},
        {"PreBehavior", 0},
    };
    return nMLReadChildrenChecked(*this, document, tag, kTags, "Curve");
}

void nCurve::ReadPostBehavior(nMetaTag* tag)
{
    const char* text = ReadTagString(tag);
    bool known = false;
    for (const LoopModeName& m : kPostBehaviors) {
        if (text && std::strcmp(text, m.name) == 0) {
            m_postBehavior = m.mode;
            known = true;
        }
    }
    if (!known) *g_log << "[*] Unknown loop mode '" << text << "'.\n";
}

// Records: type (uint8), time, value and, unless the type is linear, seven more floats, all
// little-endian without padding. The Count is not trusted: only the complete records the
// Data block holds are read.
bool nCurve::ReadBinaryKnots(nMetaTag* tag)
{
    nMetaTag* countTag = FirstChildNamed(tag, "Count");
    nMetaTag* dataTag = FirstChildNamed(tag, "Data");
    int32_t count = 0;
    if (!countTag || !dataTag || !countTag->GetValue().GetInt(&count) || dataTag->GetType() != TagType_Binary)
        return false;

    const uint8_t* data = dataTag->GetValue().GetBinaryData();
    int32_t length = dataTag->GetValue().GetBinaryLength();
    int32_t complete = 0;
    for (int32_t offset = 0; complete < count;) {
        if (length - offset < kLinearRecordSize) break;
        int32_t size = data[offset] == CurveKeyLinear ? kLinearRecordSize : kFullRecordSize;
        if (length - offset < size) break;
        offset += size;
        ++complete;
    }
    if (complete < count)
        *g_log << "[*] BinaryKnot data holds " << complete << " of " << count << " keys, reading those.\n";

    if (!SetKeyCount(complete)) return false;
    const uint8_t* p = data;
    for (int32_t i = 0; i < complete; ++i) {
        nCurvePoint* key = Key((uint32_t)i);
        key->type = p[0];
        key->time = nReadFloatLE(p + 1);
        key->value = nReadFloatLE(p + 5);
        p += kLinearRecordSize;
        if (key->type != CurveKeyLinear) {
            float* fields[7] = {&key->tension, &key->continuity, &key->bias,
                                &key->handle0, &key->handle1, &key->handle2, &key->handle3};
            for (float* f : fields) {
                *f = nReadFloatLE(p);
                p += 4;
            }
        }
    }
    return true;
}

// A "Knot" list: "Count" first, then one "Knot" ("time:value") or "KnotEx" ("time:kind:value:
// tension:continuity:bias:h0:h1:h2:h3") per key. Keys are made only for knots that exist, so
// a Count larger than the list allocates nothing before the list is found short.
bool nCurve::ReadKnotList(nMetaTag* tag)
{
    nMetaTagIterator it;
    nMetaTag* countTag = tag->NextChild(it);
    int32_t count = 0;
    if (!countTag || !(countTag->GetName() == "Count") || !countTag->GetValue().GetInt(&count)) {
        *g_log << "[!] First sub-tag in <Curve> must be the knot <Count> tag.\n";
        return false;
    }

    int32_t knots = 0;
    nMetaTagIterator scan;
    tag->NextChild(scan);
    while (nMetaTag* child = tag->NextChild(scan))
        if (child->GetName() == "Knot" || child->GetName() == "KnotEx") ++knots;
    if (!SetKeyCount(count < knots ? (count < 0 ? 0 : count) : knots)) return false;

    int32_t filled = 0;
    while (nMetaTag* child = tag->NextChild(it)) {
        bool extended = child->GetName() == "KnotEx";
        if (!extended && !(child->GetName() == "Knot")) {
            *g_log << "[*] Unsupported knot tag '" << child->GetName().GetCStr() << "'.\n";
            continue;
        }
        const char* text = 0;
        if (!child->GetValue().GetString(&text)) {
            *g_log << "[*] " << (extended ? "Invalid extended knot tag while parsing curve.\n" : "Invalid knot tag while parsing curve.\n");
            continue;
        }
        if (filled >= count) {
            if (extended) *g_log << "[!] Too many knot in <Knot>, " << count << " specified.\n";
            else *g_log << "[!] Too many knot in <Curve>, " << count << " expected.\n";
            break;
        }

        nCurvePoint* key = Key((uint32_t)filled++);
        const char* begin[10];
        const char* end[10];
        if (!extended) {
            int fields = SplitFields(text, begin, end, 2);
            key->type = CurveKeyLinear;
            key->time = nStringToFloat(begin[0], end[0], true);
            key->value = fields > 1 ? nStringToFloat(begin[1], end[1], true) : 0.0f;
        } else {
            int fields = SplitFields(text, begin, end, 10);
            float values[10];
            for (int f = 0; f < 10; ++f)
                values[f] = f < fields ? nStringToFloat(begin[f], end[f], true) : -1.0f;
            key->time = values[0];
            key->type = fields > 1 ? KeyTypeOfKnotKind(nStringToInt(nString(begin[1], end[1]).GetCStr())) : CurveKeyNone;
            key->value = values[2];
            key->tension = values[3];
            key->continuity = values[4];
            key->bias = values[5];
            key->handle0 = values[6];
            key->handle1 = values[7];
            key->handle2 = values[8];
            key->handle3 = values[9];
        }
    }

    if (filled < count) {
        Clear();
        *g_log << "[!] <Curve> is corrupted, discarding.\n";
        return false;
    }
    return true;
}

nMetaTag* nCurve::Serialize(nMetaFile* document) const
{
    nMetaTag* root = new (std::nothrow) nMetaTag("Curve");
    if (!root) return 0;
    uint32_t n = m_keys.GetCount();
    if (n == 0) return root;

    int32_t size = 0;
    for (uint32_t i = 0; i < n; ++i)
        size += (uint8_t)Key(i)->type == CurveKeyLinear ? kLinearRecordSize : kFullRecordSize;
    uint8_t* data = new (std::nothrow) uint8_t[size];
    nMetaTag* knots = new (std::nothrow) nMetaTag("BinaryKnot");
    if (!data || !knots) {
        delete[] data;
        delete knots;
        delete root;
        return 0;
    }
    uint8_t* p = data;
    for (uint32_t i = 0; i < n; ++i) {
        const nCurvePoint* key = Key(i);
        uint8_t type = (uint8_t)key->type;  // the record size follows the byte, as the reader sees it
        p[0] = type;
        nWriteFloatLE(p + 1, key->time);
        nWriteFloatLE(p + 5, key->value);
        p += kLinearRecordSize;
        if (type != CurveKeyLinear) {
            const float fields[7] = {key->tension, key->continuity, key->bias,
                                     key->handle0, key->handle1, key->handle2, key->handle3};
            for (float f : fields) {
                nWriteFloatLE(p, f);
                p += 4;
            }
        }
    }
    root->AddChild(knots);
    knots->AddChild(new (std::nothrow) nMetaTag("Count", (int32_t)n));
    knots->AddChild(new (std::nothrow) nMetaTag("Data", data, size));
    delete[] data;
    return root;
}
