#ifndef N_ANIMATIONSOURCE_H
#define N_ANIMATIONSOURCE_H

#include <cstdint>

#include "core/nList.h"
#include "core/nSharedObject.h"

class nAnimationPlayer;
class nAnimationSourceList;
class nMotion;
class nQuaternion;

// Something a player mixes onto its channels: a clock with its own scale, and a weight that
// can ramp towards a target. Shared between the player that plays it and any source list a
// script holds; the last reference deletes it.
class nAnimationSource : public nSharedObject
{
public:
    nAnimationSource();  // clock 0, scale 1, weight 0, target 1, not ramping, kept when faded
    ~nAnimationSource() override;

    virtual void Update(float dt);                                 // ramps the weight (stopping once it reaches the target), then clock += dt * scale
    virtual void Apply(nAnimationPlayer* player) {}                // writes the source's channels through ApplyChannel
    virtual bool GetOrientation(nQuaternion& q) { return false; }  // fills q and returns true when the source drives the rotation
    virtual bool IsDone() const { return false; }
    // Asks the cache early for one level of what the source reads beyond itself (each level
    // through the ones before), for walks over many players; nothing here.
    virtual void Prefetch(int32_t level) const {}

    // Weight towards max(weight, 0): at once for a fade time of 0 or less, else ramping from
    // the current weight so that it arrives after fadeTime seconds.
    void FadeTo(float weight, float fadeTime);

    float GetClock() const { return m_clock; }
    void SetClock(float t) { m_clock = t; }
    float GetClockScale() const { return m_clockScale; }
    void SetClockScale(float s) { m_clockScale = s; }  // 0 pauses, negative plays backwards
    float GetWeight() const { return m_weight; }
    float GetTargetWeight() const { return m_targetWeight; }
    float GetWeightSpeed() const { return m_weightSpeed; }  // per second, 0 when not ramping
    bool GetDropWhenFaded() const { return m_dropWhenFaded; }
    void SetDropWhenFaded(bool drop) { m_dropWhenFaded = drop; }  // the player drops it once its weight is 0

private:
    float m_clock;
    float m_clockScale;
    float m_weight;
    float m_targetWeight;
    float m_weightSpeed;
    bool m_dropWhenFaded;
};

// Plays one motion (not owned) with its own loop mode and loop range.
class nMotionAnimationSource : public nAnimationSource
{
public:
    // Loop mode from the motion, loop range from its channels (the whole-curve sentinels when
    // it has none). With an out list, the source appends a reference to itself to it.
    nMotionAnimationSource(nMotion* motion, nAnimationSourceList* out);
    ~nMotionAnimationSource() override;

    void Update(float dt) override;
    void Apply(nAnimationPlayer* player) override;  // every keyed channel; rotation channels 4 to 6 only without a quaternion track in use
    bool GetOrientation(nQuaternion& q) override;   // the quaternion track at the clock, when the motion uses one
    // Done without a motion or without anything to play; never in the looping modes;
    // otherwise once the clock has run past the end of the range (before its start when
    // the clock scale is 0 or negative).
    bool IsDone() const override;
    void Prefetch(int32_t level) const override;  // 0 the motion, 1 its first channel's node, 2 that channel, 3 and 4 its keys

    nMotion* GetMotion() const { return m_motion; }
    int32_t GetLoopMode() const { return m_loopMode; }
    void SetLoopMode(int32_t mode) { m_loopMode = mode; }
    float GetLoopStart() const { return m_loopStart; }
    float GetLoopEnd() const { return m_loopEnd; }
    void SetLoop(float start, float end)
    {
        m_loopStart = start;
        m_loopEnd = end;
    }

private:
    nMotion* m_motion;
    int32_t m_loopMode;
    float m_loopStart;
    float m_loopEnd;
};

// References to sources, each held through a heap-held shared pointer; the references are
// dropped when the list is destroyed. Handed to scripts by play requests, and the form in
// which a player holds its playing sources. The setters change every source of the list.
class nAnimationSourceList
{
public:
    typedef nSharedPtr<nAnimationSource>* Reference;
    typedef nList<Reference> List;

    nAnimationSourceList() {}
    ~nAnimationSourceList() { Clear(); }
    nAnimationSourceList(const nAnimationSourceList&) = delete;
    nAnimationSourceList& operator=(const nAnimationSourceList&) = delete;

    bool Append(nAnimationSource* source);  // takes a reference at the tail; false (nothing taken) when out of memory
    void Remove(List::Node* node);          // unlinks the node and drops its reference
    void Clear();                           // drops every reference
    int32_t GetCount() const { return m_list.GetCount(); }
    List::Node* GetHead() const { return m_list.GetHead(); }
    nAnimationSource* GetAt(int32_t index) const;  // NULL past the end

    float GetClock() const;  // the first source's clock, 0 for an empty list
    void SetClock(float t);
    void SetClockScale(float scale);
    void SetWeight(float weight, float fadeTime);  // FadeTo on every source
    void SetLoop(float start, float end);          // motion sources only
    void SetLoopMode(int32_t mode);                // motion sources only

private:
    List m_list;
};

#endif
