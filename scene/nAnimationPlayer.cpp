#include "scene/nAnimationPlayer.h"

#include <new>

#include "core/nLog.h"
#include "core/nMLReader.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "core/nQuaternion.h"
#include "scene/nMotion.h"

namespace {

const float kOrientationWeight = 0.01f;  // lighter sources do not take part in the rotation blend

}

nAnimationPlayer::nAnimationPlayer() : m_accumulators(0)
{
}

nAnimationPlayer::~nAnimationPlayer()
{
    m_sources.Clear();
    for (nList<nMotion*>::Node* n = m_motions.GetHead(); n; n = n->next) delete n->value;
    m_motions.Clear();
}

void nAnimationPlayer::GetOrientation(nQuaternion& q)
{
    q = nQuaternion();
}

nMotion* nAnimationPlayer::FindMotion(const char* name) const
{
    for (nList<nMotion*>::Node* n = m_motions.GetHead(); n; n = n->next)
        if (n->value->GetName() == name) return n->value;
    return 0;
}

nAnimationSource* nAnimationPlayer::PlayMotion(nMotion* motion, nAnimationSourceList* out, float fadeTime,
                                               bool keepOthers, float weight)
{
    nMotionAnimationSource* source = new (std::nothrow) nMotionAnimationSource(motion, out);
    if (!source) return 0;
    return AddSource(source, fadeTime, keepOthers, weight);
}

nAnimationSource* nAnimationPlayer::AddSource(nAnimationSource* source, float fadeTime, bool keepOthers, float weight)
{
    if (!source) return 0;
    if (!keepOthers) {
        for (nAnimationSourceList::List::Node* n = m_sources.GetHead(); n; n = n->next) {
            nAnimationSource* playing = n->value->Get();
            playing->FadeTo(0.0f, fadeTime);
            playing->SetDropWhenFaded(true);
        }
    }
    source->FadeTo(weight, fadeTime);
    if (!m_sources.Append(source)) {
        if (source->GetRefCount() == 0) delete source;  // nobody else holds it
        return 0;
    }
    return source;
}

void nAnimationPlayer::Update(float dt)
{
    float accumulators[kChannelCount] = {};
    m_accumulators = accumulators;

    nAnimationSourceList::List::Node* next;
    for (nAnimationSourceList::List::Node* n = m_sources.GetHead(); n; n = next) {
        next = n->next;
        nAnimationSource* source = n->value->Get();
        source->Update(dt);
        if (source->GetDropWhenFaded() && source->GetWeight() == 0.0f) m_sources.Remove(n);
    }

    // Without a source nothing reads the current orientation, which costs an Euler conversion.
    if (!m_sources.GetHead()) {
        m_accumulators = 0;
        return;
    }

    nQuaternion blended;
    float total = 0.0f;
    nQuaternion q;
    GetOrientation(q);
    for (nAnimationSourceList::List::Node* n = m_sources.GetHead(); n; n = n->next) {
        nAnimationSource* source = n->value->Get();
        float weight = source->GetWeight();
        if (!(weight > kOrientationWeight) || !source->GetOrientation(q)) continue;
        blended = total > kOrientationWeight ? nQuaternion::Slerp(total / (total + weight), q, blended) : q;
        total += weight;
    }
    if (total > 0.0f) SetOrientation(blended);

    for (nAnimationSourceList::List::Node* n = m_sources.GetHead(); n; n = n->next) {
        nAnimationSource* source = n->value->Get();
        if (source->GetWeight() != 0.0f) source->Apply(this);
    }

    m_accumulators = 0;
}

void nAnimationPlayer::ApplyChannel(int32_t id, float value, float weight)
{
    if (weight == 0.0f || !m_accumulators || id < 0 || id >= kChannelCount) return;
    float current;
    if (!GetChannel(id, current)) return;
    float accumulated = m_accumulators[id];
    float mixed = (accumulated * current + value * weight) / (accumulated + weight);
    m_accumulators[id] = accumulated + weight;
    SetChannel(id, mixed);
}

void nAnimationPlayer::Clear()
{
    m_sources.Clear();
}

bool nAnimationPlayer::IsDone() const
{
    for (nAnimationSourceList::List::Node* n = m_sources.GetHead(); n; n = n->next)
        if (!n->value->Get()->IsDone()) return false;
    return true;
}

bool nAnimationPlayer::Deserialize(nMetaFile* document, nMetaTag* tag)
{
    if (!nMLCheckRoot(tag, "MotionPlayer", "motion player")) return false;
    typedef nAnimationPlayer P;
    static const nMLTagRule<P> kMotionsTags[] = {
        {"Motion", [](P& p, nMetaFile* d, nMetaTag* t) {
             nMotion* motion = new (std::nothrow) nMotion("NewMotion");
             if (!motion) return;
             motion->Deserialize(d, t);
             if (!p.m_motions.InsertAfter(motion, 0)) delete motion;
         }},
    };
    static const nMLTagRule<P> kTags[] = {
        {"Motions", [](P& p, nMetaFile* d, nMetaTag* t) { nMLReadChildren(p, d, t, kMotionsTags, "Motions"); }},
        {"Flag", 0},  // accepted and ignored
    };
    nMLReadChildren(*this, document, tag, kTags, "MotionPlayer");
    return true;
}

nMetaTag* nAnimationPlayer::Serialize(nMetaFile* document) const
{
    nMetaTag* root = new (std::nothrow) nMetaTag("MotionPlayer");
    if (!root) {
        *g_log << "[!] Could not create managed root tag to serialize.\n";
        return 0;
    }
    nMetaTag* motions = root->AddChild(new (std::nothrow) nMetaTag("Motions"));
    if (!motions) {
        delete root;
        return 0;
    }
    for (nList<nMotion*>::Node* n = m_motions.GetHead(); n; n = n->next)
        motions->AddChild(n->value->Serialize(document));
    return root;
}
