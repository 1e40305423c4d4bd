#ifndef N_CURVE_H
#define N_CURVE_H

#include <cstdint>

#include "core/nArrayList.h"

class nMetaFile;
class nMetaTag;

// Loop modes of curves, quaternion tracks, motions and animation sources: what an evaluation
// outside its range does. Scripts know 0, 2, 3 and 4 as AnimationReset, AnimationRepeat,
// AnimationOscillate and AnimationOffsetRepeat.
enum nLoopMode
{
    LoopReset = 0,        // a float curve yields 0, a quaternion track the identity
    LoopConstant = 1,     // the time is clamped to the range
    LoopRepeat = 2,       // the time wraps into the range
    LoopOscillate = 3,    // wraps, and every odd repetition runs backwards
    LoopOffsetRepeat = 4  // wraps, and each repetition adds (last - first key value) once more; a track repeats
};

// Interpolation kind of the segment that ends at a key.
enum nCurveKeyType
{
    CurveKeyNone = 0,  // and any value not below: the segment yields the loop offset alone
    CurveKeyLinear = 1,
    CurveKeyTCB = 2,       // Kochanek-Bartels tangents from tension, continuity and bias
    CurveKeyTangent = 3,   // Hermite with the keys' own tangents (handle0)
    CurveKeyTangent2 = 4,  // same as 3
    CurveKeyBezier = 5,    // two-dimensional handles in time and value
    CurveKeyStep = 6       // holds the value of the segment's first key
};

// Range sentinels: an evaluation range starting at kCurveRangeFirst starts at the first key,
// one ending at kCurveRangeLast ends at the last key.
const float kCurveRangeFirst = 1.1754944e-38f;  // the smallest normal float
const float kCurveRangeLast = 3.4028235e38f;    // the largest float

// One key of a curve.
class nCurvePoint : public nArrayEntry
{
public:
    nCurvePoint() : type(CurveKeyLinear), time(0), value(0), tension(0), continuity(0), bias(0),
                    handle0(0), handle1(0), handle2(0), handle3(0) {}

    int32_t type;  // nCurveKeyType of the segment ending here
    float time;    // seconds
    float value;
    float tension, continuity, bias;  // TCB keys
    float handle0;                    // Bezier: time offset of the incoming handle; tangent keys: the tangent
    float handle1;                    // Bezier: value offset of the incoming handle; else the outgoing tangent of a Bezier segment starting here
    float handle2;                    // Bezier: time offset of the outgoing handle
    float handle3;                    // Bezier: value offset of the outgoing handle
};

// Wraps t into [s, e] and, when count is given, stores the number of whole ranges between t
// and the result (positive after the range, negative before it). A zero-length range gives s
// and count 0.
float WrapLoopTime(float t, float s, float e, int32_t* count);

// A key-framed float curve. Keys are expected in ascending time order (evaluation does not
// sort them; equal times are allowed). The curve owns its keys. A cached segment index makes
// sequential evaluation cost a step or two; evaluating never changes the keys or allocates.
class nCurve
{
public:
    nCurve();                                   // no keys (capacity 64), post behaviour Constant, default value 0
    virtual int32_t GetSerializedSize() const;  // 40 + 44 per key
    virtual ~nCurve();
    nCurve(const nCurve&) = delete;
    nCurve& operator=(const nCurve&) = delete;

    void Clear();                         // deletes every key
    bool SetKeyCount(int32_t count);      // clears, then count new linear keys at 0; false (keys cleared) when they cannot be made
    bool AddKeySorted(nCurvePoint* key);  // before the first later key (after equal times); takes ownership (deleted when it cannot be added)
    uint32_t GetKeyCount() const { return m_keys.GetCount(); }
    nCurvePoint* GetKey(uint32_t index) const;  // NULL past the count

    // The value at time under a loop mode over [rangeStart, rangeEnd] (the sentinels above
    // mean the first and last key). No keys: the default value; one key: its value, whatever
    // the time and mode. A time that is not a number evaluates at the range start, as does
    // an infinite time in the wrapping modes.
    void Evaluate(float time, float& out, int32_t loopMode, float rangeStart, float rangeEnd);

    float GetEndTime() const;                           // last key's time, 0 without keys
    void GetTimeRange(float& start, float& end) const;  // first and last key time, (0, 0) without keys

    int32_t GetPostBehavior() const { return m_postBehavior; }  // loop mode read from NML
    void SetPostBehavior(int32_t mode) { m_postBehavior = mode; }
    float GetDefaultValue() const { return m_defaultValue; }
    void SetDefaultValue(float value) { m_defaultValue = value; }

    // "Curve" NML: keys as "BinaryKnot" (Count and Data records) or a "Knot" list, and
    // "PostBehavior". Counts are checked against what the tag actually holds.
    bool Deserialize(nMetaFile* document, nMetaTag* tag);
    nMetaTag* Serialize(nMetaFile* document) const;  // "Curve" with one "BinaryKnot" when there are keys; NULL when out of memory

    // Asks the cache early for what Evaluate reads, for walks over many curves: level 0 the
    // key index, level 1 (once that is in) the keys themselves.
    void PrefetchKeys(int32_t level) const;

private:
    nCurvePoint* Key(uint32_t index) const { return static_cast<nCurvePoint*>(m_keys.Get(index)); }
    bool ReadBinaryKnots(nMetaTag* tag);
    bool ReadKnotList(nMetaTag* tag);
    void ReadPostBehavior(nMetaTag* tag);  // "PostBehavior": a loop mode name, else one warning

    nArrayList m_keys;
    int32_t m_postBehavior;
    float m_defaultValue;
    int32_t m_cachedSegment;  // -1 none
};

#endif
