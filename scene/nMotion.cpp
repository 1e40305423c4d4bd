#include "scene/nMotion.h"

#include <cstring>
#include <new>

#include "core/nCategory.h"
#include "core/nLog.h"
#include "core/nMLReader.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"

namespace {

const char* const kChannelNames[ChannelLast + 1] = {
    0,
    "PositionX",
    "PositionY",
    "PositionZ",
    "RotationX",
    "RotationY",
    "RotationZ",
    "ScaleX",
    "ScaleY",
    "ScaleZ",
    "PivotX",
    "PivotY",
    "PivotZ",
    "DiffuseR",
    "DiffuseG",
    "DiffuseB",
    "SpecularR",
    "SpecularG",
    "SpecularB",
    "DiffuseI",
    "SpecularI",
    "ConeAngle",
    "EdgeAngle",
    "Alpha",
    "Zoom",
    "Range",
    "FogStart",
    "FogEnd",
    "FogR",
    "FogG",
    "FogB",
};

struct LoopModeName
{
    const char* name;
    int32_t mode;
};
// Motion files name the offset mode differently from curve files.
const LoopModeName kLoopModes[] = {
    {"Reset", LoopReset},
    {"Repeat", LoopRepeat},
    {"Oscillate", LoopOscillate},
    {"OffsetAndRepeat", LoopOffsetRepeat},
};

const char* LoopModeName(int32_t mode)
{
    for (const struct LoopModeName& m : kLoopModes)
        if (m.mode == mode) return m.name;
    return 0;
}

}

const char* GetMotionChannelName(int32_t id)
{
    return id >= 1 && id <= ChannelLast ? kChannelNames[id] : 0;
}

int32_t FindMotionChannelId(const char* name)
{
    if (!name) return ChannelNone;
    for (int32_t id = 1; id <= ChannelLast; ++id)
        if (std::strcmp(kChannelNames[id], name) == 0) return id;
    return ChannelNone;
}

// Channel.

int32_t nMotionChannel::GetSerializedSize() const
{
    return 84 + 44 * (int32_t)GetKeyCount();
}

bool nMotionChannel::Deserialize(nMetaFile* document, nMetaTag* tag)
{
    if (!nMLCheckRoot(tag, "Channel", "motion channel")) return false;
    typedef nMotionChannel C;
    static const nMLTagRule<C> kTags[] = {
        {"Curve", [](C& c, nMetaFile* d, nMetaTag* t) { c.nCurve::Deserialize(d, t); }},
        {"Id", [](C& c, nMetaFile*, nMetaTag* t) {
             const char* text = ReadTagString(t);
             int32_t id = FindMotionChannelId(text);
             if (id == ChannelNone) *g_log << "[*] Unknown channel id '" << text << "'.\n";
             else c.m_id = id;
         }},
    };
    nMLReadChildren(*this, document, tag, kTags, "Channel");
    return true;
}

nMetaTag* nMotionChannel::Serialize(nMetaFile* document) const
{
    nMetaTag* root = new (std::nothrow) nMetaTag("Channel");
    if (!root) {
        *g_log << "[!] Could not create channel root tag to serialize.\n";
        return 0;
    }
    root->AddChild(nCurve::Serialize(document));
    const char* name = GetMotionChannelName(m_id);
    if (name) root->AddChild(new (std::nothrow) nMetaTag("Id", name));
    else *g_log << "[*] Unknown motion channel type (" << m_id << ").\n";
    return root;
}

// Motion.

nMotion::nMotion(const char* name) : m_useQuaternion(false), m_loopMode(LoopConstant)
{
    m_name.Set(name);
}

nMotion::~nMotion()
{
    for (ChannelList::Node* n = m_channels.GetHead(); n; n = n->next) delete n->value;
    m_channels.Clear();
    m_track.Clear();
}

nMotionChannel* nMotion::AddChannel(int32_t id)
{
    nMotionChannel* channel;
    {
        nCategoryScope category(CategoryScene);
        channel = new (std::nothrow) nMotionChannel;
        if (channel && !m_channels.InsertAfter(channel, 0)) {
            delete channel;
            channel = 0;
        }
    }
    if (!channel) {
        *g_log << "[!] Could not allocate channel.\n";
        return 0;
    }
    channel->SetId(id);
    return channel;
}

nMotionChannel* nMotion::FindChannel(int32_t id) const
{
    for (ChannelList::Node* n = m_channels.GetHead(); n; n = n->next)
        if (n->value->GetId() == id) return n->value;
    return 0;
}

float nMotion::GetDuration() const
{
    float duration = 0.0f;
    for (ChannelList::Node* n = m_channels.GetHead(); n; n = n->next) {
        float end = n->value->GetEndTime();
        if (n == m_channels.GetHead() || end > duration) duration = end;
    }
    return duration;
}

bool nMotion::GetTimeRange(float& start, float& end) const
{
    if (!m_channels.GetHead()) return false;
    for (ChannelList::Node* n = m_channels.GetHead(); n; n = n->next) {
        float s, e;
        n->value->GetTimeRange(s, e);
        if (n == m_channels.GetHead() || s < start) start = s;
        if (n == m_channels.GetHead() || e > end) end = e;
    }
    return true;
}

void nMotion::EvaluatePosition(float time, float& x, float& y, float& z, int32_t loopMode)
{
    for (ChannelList::Node* n = m_channels.GetHead(); n; n = n->next) {
        nMotionChannel* channel = n->value;
        float* component = channel->GetId() == ChannelXPos   ? &x
                           : channel->GetId() == ChannelYPos ? &y
                           : channel->GetId() == ChannelZPos ? &z
                                                             : 0;
        if (component) channel->Evaluate(time, *component, loopMode, kCurveRangeFirst, kCurveRangeLast);
    }
}

bool nMotion::Deserialize(nMetaFile* document, nMetaTag* tag)
{
    if (!tag || !IsTagNamed(tag, "Motion")) {
        nMLLogWrongRoot(tag, "Could not parse motion, root tag id is incorrect (");
        return false;
    }
    m_useQuaternion = false;
    m_loopMode = LoopConstant;
    static const nMLTagRule<nMotion> kTags[] = {
        {"Id", nMLField<&nMotion::m_name>},
        {"UseQuaternion", [](nMotion& m, nMetaFile*, nMetaTag* t) { m.m_useQuaternion = t->GetBoolValue(); }},
        {"QChannel", [](nMotion& m, nMetaFile* d, nMetaTag* t) { m.m_track.Deserialize(d, t); }},
        {"LoopMode", [](nMotion& m, nMetaFile*, nMetaTag* t) {
             const char* text = ReadTagString(t);
             for (const struct LoopModeName& mode : kLoopModes)
                 if (text && std::strcmp(text, mode.name) == 0) m.m_loopMode = mode.mode;
         }},
        {"Channel", [](nMotion& m, nMetaFile* d, nMetaTag* t) {
             nMotionChannel* channel = m.AddChannel(ChannelNone);
             if (channel) channel->Deserialize(d, t);
         }},
    };
    nMLReadChildren(*this, document, tag, kTags, "Motion");

    // Without a loop mode of its own the motion loops as its first channel that loops.
    const bool loopModeSeen = FirstChildNamed(tag, "LoopMode") != 0;
    if (!loopModeSeen) {
        for (ChannelList::Node* n = m_channels.GetHead(); n; n = n->next) {
            if (n->value->GetPostBehavior() != LoopConstant) {
                m_loopMode = n->value->GetPostBehavior();
                break;
            }
        }
    }
    return true;
}

nMetaTag* nMotion::Serialize(nMetaFile* document) const
{
    nMetaTag* root = new (std::nothrow) nMetaTag("Motion");
    if (!root) {
        *g_log << "[!] Could not create managed root tag to serialize.\n";
        return 0;
    }
    root->AddChild(new (std::nothrow) nMetaTag("Id", m_name.GetCStr()));
    const char* loopMode = LoopModeName(m_loopMode);
    if (loopMode) root->AddChild(new (std::nothrow) nMetaTag("LoopMode", loopMode));
    root->AddChild(new (std::nothrow) nMetaTag("UseQuaternion", m_useQuaternion));
    root->AddChild(m_track.Serialize(document));
    for (ChannelList::Node* n = m_channels.GetHead(); n; n = n->next)
        root->AddChild(n->value->Serialize(document));
    return root;
}
