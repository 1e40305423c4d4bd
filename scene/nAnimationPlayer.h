#ifndef N_ANIMATIONPLAYER_H
#define N_ANIMATIONPLAYER_H

#include <cstdint>

#include "core/nList.h"
#include "core/nPrefetch.h"
#include "scene/nAnimationSource.h"

class nMetaFile;
class nMetaTag;
class nMotion;
class nQuaternion;

// Owns an item's motions and mixes any number of playing sources onto the item's channels
// each frame: within one Update the first source to write a channel sets it, and every
// further one turns it into the weighted mean of the values written so far; channels no
// source writes keep their value. Sources above weight 0.01 that drive the rotation are
// blended by slerp. The managed item overrides the four channel operations.
class nAnimationPlayer
{
public:
    static const int32_t kChannelCount = 31;  // channel ids 0 to 30

    nAnimationPlayer();
    virtual bool GetChannel(int32_t id, float& value) { return false; }  // false: the item has no such channel
    virtual bool SetChannel(int32_t id, float value) { return false; }
    virtual void GetOrientation(nQuaternion& q);  // the identity here
    virtual bool SetOrientation(const nQuaternion& q) { return false; }
    virtual ~nAnimationPlayer();  // deletes the motions, drops the sources
    nAnimationPlayer(const nAnimationPlayer&) = delete;
    nAnimationPlayer& operator=(const nAnimationPlayer&) = delete;

    nMotion* FindMotion(const char* name) const;  // first motion of that name (case-sensitive), or NULL

    // Starts the motion in a new source (reported into out when given) and adds it.
    nAnimationSource* PlayMotion(nMotion* motion, nAnimationSourceList* out, float fadeTime, bool keepOthers, float weight);
    // Unless keepOthers, every playing source fades out over fadeTime and is dropped at weight
    // 0; the new source fades in from its weight to max(weight, 0). Returns the source, NULL
    // for a NULL source or when it cannot be held.
    nAnimationSource* AddSource(nAnimationSource* source, float fadeTime, bool keepOthers, float weight);

    void Update(float dt);                                     // one frame of dt seconds; allocates nothing
    void ApplyChannel(int32_t id, float value, float weight);  // during Update only; ids outside 0..30 are ignored

    void Clear();  // drops every playing source
    bool IsPlaying() const { return m_sources.GetCount() > 0; }
    bool IsDone() const;  // every playing source is done (true with none)

    // Asks the cache early for one level of what Update reads, for walks over many players:
    // 0 the player's own line, 1 the first playing source's list node, 2 its reference, 3
    // the source, and from 4 on what the source reads beyond itself (its Prefetch levels).
    // A level is read only through the ones before it, which should be in by then.
    static const int32_t kPrefetchLevels = 9;
    void PrefetchForUpdate(int32_t level) const;

    nAnimationSourceList& GetSourceList() { return m_sources; }
    nList<nMotion*>& GetMotions() { return m_motions; }  // owned: motions added here die with the player

    // "MotionPlayer" NML: the "Motion" tags of a "Motions" child, appended to the motions.
    bool Deserialize(nMetaFile* document, nMetaTag* tag);
    nMetaTag* Serialize(nMetaFile* document) const;  // NULL (logged) when out of memory

private:
    nList<nMotion*> m_motions;
    nAnimationSourceList m_sources;  // in start order
    float* m_accumulators;           // kChannelCount weights while Update runs, else NULL
};

inline void nAnimationPlayer::PrefetchForUpdate(int32_t level) const
{
    if (level <= 0) {
        nPrefetch(&m_sources);
        return;
    }
    nAnimationSourceList::List::Node* node = m_sources.GetHead();
    if (!node) return;
    if (level == 1) {
        nPrefetch(node);
        return;
    }
    nAnimationSourceList::Reference reference = node->value;
    if (!reference) return;
    if (level == 2) {
        nPrefetch(reference);
        return;
    }
    nAnimationSource* source = reference->Get();
    if (!source) return;
    if (level == 3) nPrefetch(source);
    else source->Prefetch(level - 4);
}

#endif
