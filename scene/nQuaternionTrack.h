#ifndef N_QUATERNIONTRACK_H
#define N_QUATERNIONTRACK_H

#include <cstdint>

#include "core/nArrayList.h"
#include "core/nQuaternion.h"

class nMetaFile;
class nMetaTag;

// One rotation key (20 bytes as stored: time, x, y, z, w).
struct nQuaternionKey
{
    float time;
    nQuaternion value;
};

// Time-stamped rotations interpolated by spherical interpolation; the rotation track of a
// motion. Keys are expected in ascending time order; the track owns them.
class nQuaternionTrack
{
public:
    nQuaternionTrack();   // no keys (capacity 16)
    ~nQuaternionTrack();  // deletes the keys
    nQuaternionTrack(const nQuaternionTrack&) = delete;
    nQuaternionTrack& operator=(const nQuaternionTrack&) = delete;

    void Clear();                                       // deletes every key
    bool AddKey(float time, const nQuaternion& value);  // appends; false when out of memory
    uint32_t GetKeyCount() const { return m_keys.GetCount(); }
    const nQuaternionKey* GetKey(uint32_t index) const;  // NULL past the count

    // The rotation at time under a loop mode (LoopOffsetRepeat repeats) over [rangeStart,
    // rangeEnd] (the curve range sentinels mean the first and last key). Owners test for keys
    // first; without any the result is the identity. A time that is not a number evaluates
    // at the range start, as does an infinite time in the wrapping modes.
    void Evaluate(float time, nQuaternion& out, int32_t loopMode, float rangeStart, float rangeEnd);

    // "QChannel" NML: "BinaryKeys" (Count and Data records of 20 bytes) or "Keys" with "Key"
    // texts "time:x,y,z,w". The Count is checked against the Data length.
    bool Deserialize(nMetaFile* document, nMetaTag* tag);
    nMetaTag* Serialize(nMetaFile* document) const;  // "QChannel" with one "BinaryKeys" when there are keys

private:
    void ReadBinaryKeys(nMetaTag* tag);
    bool ReadKeyList(nMetaTag* tag);
    nQuaternionKey* Key(uint32_t index) const { return m_keys.Get(index); }

    int32_t m_cachedSegment;  // -1 none
    nArray<nQuaternionKey*> m_keys;
};

#endif
