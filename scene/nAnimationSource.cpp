#include "scene/nAnimationSource.h"

#include <new>

#include "core/nPrefetch.h"
#include "core/nQuaternion.h"
#include "scene/nAnimationPlayer.h"
#include "scene/nCurve.h"
#include "scene/nMotion.h"

// Source.

nAnimationSource::nAnimationSource()
    : m_clock(0.0f), m_clockScale(1.0f), m_weight(0.0f), m_targetWeight(1.0f), m_weightSpeed(0.0f),
      m_dropWhenFaded(false)
{
}

nAnimationSource::~nAnimationSource()
{
}

void nAnimationSource::Update(float dt)
{
    if (m_weightSpeed != 0.0f) {
        m_weight += m_weightSpeed * dt;
        if ((m_weightSpeed > 0.0f && m_weight >= m_targetWeight) || (m_weightSpeed < 0.0f && m_weight <= m_targetWeight)) {
            m_weight = m_targetWeight;
            m_weightSpeed = 0.0f;
        }
    }
    m_clock += dt * m_clockScale;
}

void nAnimationSource::FadeTo(float weight, float fadeTime)
{
    weight = weight > 0.0f ? weight : 0.0f;  // NaN too
    m_targetWeight = weight;
    if (fadeTime > 0.0f) {
        m_weightSpeed = (weight - m_weight) / fadeTime;
    } else {
        m_weight = weight;
        m_weightSpeed = 0.0f;
    }
}

// Motion source.

nMotionAnimationSource::nMotionAnimationSource(nMotion* motion, nAnimationSourceList* out)
    : m_motion(motion), m_loopMode(LoopConstant), m_loopStart(kCurveRangeFirst), m_loopEnd(kCurveRangeLast)
{
    if (motion) {
        m_loopMode = motion->GetLoopMode();
        float start, end;
        if (motion->GetTimeRange(start, end)) SetLoop(start, end);
    }
    if (out) out->Append(this);
}

nMotionAnimationSource::~nMotionAnimationSource()
{
}

void nMotionAnimationSource::Update(float dt)
{
    nAnimationSource::Update(dt);
}

void nMotionAnimationSource::Apply(nAnimationPlayer* player)
{
    if (!m_motion || !player) return;
    bool quaternion = m_motion->HasQuaternion();
    for (nMotion::ChannelList::Node* n = m_motion->GetChannels().GetHead(); n; n = n->next) {
        nMotionChannel* channel = n->value;
        if (channel->GetKeyCount() == 0) continue;
        int32_t id = channel->GetId();
        if (quaternion && id >= ChannelXRot && id <= ChannelZRot) continue;
        float value;
        channel->Evaluate(GetClock(), value, m_loopMode, m_loopStart, m_loopEnd);
        player->ApplyChannel(id, value, GetWeight());
    }
}

bool nMotionAnimationSource::GetOrientation(nQuaternion& q)
{
    if (!m_motion || !m_motion->HasQuaternion()) return false;
    m_motion->GetQuaternionTrack().Evaluate(GetClock(), q, m_loopMode, m_loopStart, m_loopEnd);
    return true;
}

void nMotionAnimationSource::Prefetch(int32_t level) const
{
    if (!m_motion) return;
    if (level <= 0) {
        nPrefetch(m_motion);
        nPrefetch(reinterpret_cast<const char*>(m_motion) + sizeof(nMotion) - 1);
        return;
    }
    const nMotion::ChannelList::Node* node = static_cast<const nMotion*>(m_motion)->GetChannels().GetHead();
    if (!node) return;
    if (level == 1) {
        nPrefetch(node);
        return;
    }
    const nMotionChannel* channel = node->value;
    if (!channel) return;
    if (level == 2) {
        nPrefetch(channel);
        nPrefetch(reinterpret_cast<const char*>(channel) + sizeof(nMotionChannel) - 1);
        return;
    }
    channel->PrefetchKeys(level - 3);
}

bool nMotionAnimationSource::IsDone() const
{
    if (!m_motion) return true;
    if (m_loopMode == LoopRepeat || m_loopMode == LoopOscillate || m_loopMode == LoopOffsetRepeat) return false;

    // A motion without channels keeps the whole-curve sentinels as its range, which a clock
    // never passes: its length is then that of its quaternion track, or nothing at all.
    float start = m_loopStart, end = m_loopEnd;
    if (m_motion->GetChannels().GetCount() == 0 && start == kCurveRangeFirst && end == kCurveRangeLast) {
        nQuaternionTrack& track = m_motion->GetQuaternionTrack();
        if (!m_motion->HasQuaternion()) return true;
        start = track.GetKey(0)->time;
        end = track.GetKey(track.GetKeyCount() - 1)->time;
    }
    return GetClockScale() > 0.0f ? GetClock() > end : GetClock() < start;
}

// Source list.

bool nAnimationSourceList::Append(nAnimationSource* source)
{
    // The node exists before the reference is taken, so a failure never drops the last
    // reference of a source that is still being set up.
    Reference ref = new (std::nothrow) nSharedPtr<nAnimationSource>();
    if (!ref) return false;
    if (!m_list.InsertAfter(ref, 0)) {
        delete ref;
        return false;
    }
    *ref = source;
    return true;
}

void nAnimationSourceList::Remove(List::Node* node)
{
    if (!node) return;
    Reference ref = m_list.Unlink(node)->value;
    delete node;
    delete ref;
}

void nAnimationSourceList::Clear()
{
    while (List::Node* node = m_list.GetHead()) Remove(node);
}

nAnimationSource* nAnimationSourceList::GetAt(int32_t index) const
{
    List::Node* node = m_list.GetNode(index);
    return node ? node->value->Get() : 0;
}

float nAnimationSourceList::GetClock() const
{
    List::Node* head = m_list.GetHead();
    return head && head->value->IsValid() ? (*head->value)->GetClock() : 0.0f;
}

void nAnimationSourceList::SetClock(float t)
{
    for (List::Node* n = m_list.GetHead(); n; n = n->next)
        if (n->value->IsValid()) (*n->value)->SetClock(t);
}

void nAnimationSourceList::SetClockScale(float scale)
{
    for (List::Node* n = m_list.GetHead(); n; n = n->next)
        if (n->value->IsValid()) (*n->value)->SetClockScale(scale);
}

void nAnimationSourceList::SetWeight(float weight, float fadeTime)
{
    for (List::Node* n = m_list.GetHead(); n; n = n->next)
        if (n->value->IsValid()) (*n->value)->FadeTo(weight, fadeTime);
}

void nAnimationSourceList::SetLoop(float start, float end)
{
    for (List::Node* n = m_list.GetHead(); n; n = n->next) {
        nMotionAnimationSource* source = dynamic_cast<nMotionAnimationSource*>(n->value->Get());
        if (source) source->SetLoop(start, end);
    }
}

void nAnimationSourceList::SetLoopMode(int32_t mode)
{
    for (List::Node* n = m_list.GetHead(); n; n = n->next) {
        nMotionAnimationSource* source = dynamic_cast<nMotionAnimationSource*>(n->value->Get());
        if (source) source->SetLoopMode(mode);
    }
}
