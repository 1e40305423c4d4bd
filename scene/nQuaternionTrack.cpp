#include "scene/nQuaternionTrack.h"

#include <cmath>
#include <new>

#include "core/nLog.h"
#include "core/nMLReader.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "core/nString.h"
#include "scene/nCurve.h"
#include "scene/nKeySearch.h"
#include "scene/nLittleEndian.h"

namespace {

const uint32_t kInitialCapacity = 4;  // most tracks have a few keys; longer ones grow by doubling
const int32_t kRecordSize = 20;

// "time:x,y,z,w" into five floats; false when a part is missing.
bool ParseKeyText(const char* text, float out[5])
{
    const char* p = text;
    const char* q = p;
    while (*q && *q != ':') ++q;
    if (!*q) return false;
    out[0] = nStringToFloat(p, q, false);
    p = q + 1;
    for (int i = 1; i < 5; ++i) {
        q = p;
        while (*q && *q != ',') ++q;
        if (i < 4 && !*q) return false;
        out[i] = nStringToFloat(p, q, false);
        p = *q ? q + 1 : q;
    }
    return true;
}

}

nQuaternionTrack::nQuaternionTrack() : m_cachedSegment(-1), m_keys(kInitialCapacity)
{
}

nQuaternionTrack::~nQuaternionTrack()
{
    Clear();
}

void nQuaternionTrack::Clear()
{
    while (uint32_t n = m_keys.GetCount()) {
        delete Key(n - 1);
        m_keys.RemoveAt(n - 1);
    }
    m_cachedSegment = -1;
}

bool nQuaternionTrack::AddKey(float time, const nQuaternion& value)
{
    nQuaternionKey* key = new (std::nothrow) nQuaternionKey;
    if (!key) return false;
    key->time = time;
    key->value = value;
    if (!m_keys.Insert(key, m_keys.GetCount(), true)) {
        delete key;
        return false;
    }
    return true;
}

const nQuaternionKey* nQuaternionTrack::GetKey(uint32_t index) const
{
    return index < m_keys.GetCount() ? Key(index) : 0;
}

void nQuaternionTrack::Evaluate(float t, nQuaternion& out, int32_t loopMode, float rangeStart, float rangeEnd)
{
    uint32_t n = m_keys.GetCount();
    if (n == 0) {
        out = nQuaternion();
        return;
    }
    const nQuaternionKey* first = Key(0);
    const nQuaternionKey* last = Key(n - 1);
    float s = rangeStart == kCurveRangeFirst ? first->time
                                             : (rangeStart < first->time ? first->time : (rangeStart > last->time ? last->time : rangeStart));
    float e = rangeEnd == kCurveRangeLast ? last->time
                                          : (rangeEnd < first->time ? first->time : (rangeEnd > last->time ? last->time : rangeEnd));

    if (std::isnan(t)) t = s;
    if (t < s || t > e) {
        bool wraps = loopMode == LoopRepeat || loopMode == LoopOscillate || loopMode == LoopOffsetRepeat;
        if (loopMode == LoopReset) {
            out = nQuaternion();
            return;
        } else if (wraps && std::isinf(t)) {
            t = s;
        } else if (loopMode == LoopRepeat || loopMode == LoopOffsetRepeat) {
            t = WrapLoopTime(t, s, e, 0);
        } else if (loopMode == LoopOscillate) {
            int32_t count;
            t = WrapLoopTime(t, s, e, &count);
            if (count % 2 != 0) t = s + e - t;
        } else {
            t = t < s ? s : e;
        }
    }

    if (t <= first->time) {
        out = first->value;
        return;
    }
    if (t >= last->time) {
        out = last->value;
        return;
    }
    uint32_t i = nFindKeySegment(n, m_cachedSegment, t, [this](uint32_t k) { return Key(k)->time; });
    const nQuaternionKey* a = Key(i);
    const nQuaternionKey* b = Key(i + 1);
    out = nQuaternion::Slerp((t - a->time) / (b->time - a->time), a->value, b->value).Normalize();
}

bool nQuaternionTrack::Deserialize(nMetaFile* document, nMetaTag* tag)
{
    if (!nMLCheckRoot(tag, "QChannel", "motion quaternion channel")) return false;
    Clear();
    static const nMLCheckedTagRule<nQuaternionTrack> kTags[] = {
        {"BinaryKeys", [](nQuaternionTrack& q, nMetaFile*, nMetaTag* t) { q.ReadBinaryKeys(t); return true; }},
        {"Keys", [](nQuaternionTrack& q, nMetaFile*, nMetaTag* t) { return q.ReadKeyList(t); }},
    };
    return nMLReadChildrenChecked(*this, document, tag, kTags, "QChannel");
}

// Records of time, x, y, z and w, little-endian floats. The Count is not trusted: only the
// complete records the Data block holds are read.
void nQuaternionTrack::ReadBinaryKeys(nMetaTag* tag)
{
    nMetaTag* countTag = FirstChildNamed(tag, "Count");
    nMetaTag* dataTag = FirstChildNamed(tag, "Data");
    int32_t count = 0;
    if (!countTag || !dataTag || !countTag->GetValue().GetInt(&count) || dataTag->GetType() != TagType_Binary)
        return;
    const uint8_t* data = dataTag->GetValue().GetBinaryData();
    int32_t complete = dataTag->GetValue().GetBinaryLength() / kRecordSize;
    if (count > complete) {
        *g_log << "[*] BinaryKeys data holds " << complete << " of " << count << " keys, reading those.\n";
        count = complete;
    }
    for (int32_t k = 0; k < count; ++k) {
        const uint8_t* p = data + k * kRecordSize;
        nQuaternion q(nReadFloatLE(p + 4), nReadFloatLE(p + 8), nReadFloatLE(p + 12), nReadFloatLE(p + 16));
        if (!AddKey(nReadFloatLE(p), q)) break;
    }
}

// "Key" children of text "time:x,y,z,w"; false at the first mangled one.
bool nQuaternionTrack::ReadKeyList(nMetaTag* tag)
{
    nMetaTagIterator keys;
    while (nMetaTag* key = tag->NextChild(keys)) {
        if (!IsTagNamed(key, "Key")) continue;
        const char* text = ReadTagString(key);
        if (!text) {
            *g_log << "[*] Invalid key tag while parsing quaternion channel.\n";
            continue;
        }
        float f[5];
        if (!ParseKeyText(text, f)) {
            *g_log << "[*] Mangled keyframe tag while parsing quaternion channel.\n";
            return false;
        }
        AddKey(f[0], nQuaternion(f[1], f[2], f[3], f[4]));
    }
    return true;
}

nMetaTag* nQuaternionTrack::Serialize(nMetaFile* document) const
{
    nMetaTag* root = new (std::nothrow) nMetaTag("QChannel");
    if (!root) {
        *g_log << "[!] Could not create quaternion channel root tag to serialize.\n";
        return 0;
    }
    uint32_t n = m_keys.GetCount();
    if (n == 0) return root;

    int32_t size = (int32_t)n * kRecordSize;
    uint8_t* data = new (std::nothrow) uint8_t[size];
    nMetaTag* keys = new (std::nothrow) nMetaTag("BinaryKeys");
    if (!data || !keys) {
        delete[] data;
        delete keys;
        delete root;
        return 0;
    }
    for (uint32_t k = 0; k < n; ++k) {
        const nQuaternionKey* key = Key(k);
        uint8_t* p = data + k * kRecordSize;
        nWriteFloatLE(p, key->time);
        nWriteFloatLE(p + 4, key->value.x);
        nWriteFloatLE(p + 8, key->value.y);
        nWriteFloatLE(p + 12, key->value.z);
        nWriteFloatLE(p + 16, key->value.w);
    }
    root->AddChild(keys);
    keys->AddChild(new (std::nothrow) nMetaTag("Count", (int32_t)n));
    keys->AddChild(new (std::nothrow) nMetaTag("Data", data, size));
    delete[] data;
    return root;
}
