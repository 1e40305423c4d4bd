#ifndef N_MOTION_H
#define N_MOTION_H

#include <cstdint>

#include "core/nList.h"
#include "core/nString.h"
#include "scene/nCurve.h"
#include "scene/nQuaternionTrack.h"

class nMetaFile;
class nMetaTag;

// The property a motion channel drives (script constants of the same names and values).
// Rotation channels hold radians.
enum nMotionChannelId
{
    ChannelNone = 0,
    ChannelXPos = 1,
    ChannelYPos = 2,
    ChannelZPos = 3,
    ChannelXRot = 4,
    ChannelYRot = 5,
    ChannelZRot = 6,
    ChannelXScl = 7,
    ChannelYScl = 8,
    ChannelZScl = 9,
    ChannelXPiv = 10,
    ChannelYPiv = 11,
    ChannelZPiv = 12,
    ChannelRDif = 13,
    ChannelGDif = 14,
    ChannelBDif = 15,
    ChannelRSpc = 16,
    ChannelGSpc = 17,
    ChannelBSpc = 18,
    ChannelDiffuseIntensity = 19,
    ChannelSpecularIntensity = 20,
    ChannelConeAngle = 21,
    ChannelEdgeAngle = 22,
    ChannelAlpha = 23,
    ChannelZoomFactor = 24,
    ChannelRange = 25,
    ChannelFogStart = 26,
    ChannelFogEnd = 27,
    ChannelRFog = 28,
    ChannelGFog = 29,
    ChannelBFog = 30,
    ChannelLast = 30
};

const char* GetMotionChannelName(int32_t id);   // NML name ("PositionX"), NULL outside 1..30
int32_t FindMotionChannelId(const char* name);  // id of an NML name, ChannelNone when unknown

// A float curve that drives one property of an item.
class nMotionChannel : public nCurve
{
public:
    nMotionChannel() : m_id(ChannelNone) {}
    int32_t GetSerializedSize() const override;  // 84 + 44 per key
    ~nMotionChannel() override {}

    int32_t GetId() const { return m_id; }
    void SetId(int32_t id) { m_id = id; }

    // "Channel" NML: a "Curve" tag and the channel's "Id" name.
    bool Deserialize(nMetaFile* document, nMetaTag* tag);
    nMetaTag* Serialize(nMetaFile* document) const;  // NULL (logged) when out of memory

private:
    int32_t m_id;
};

// A named key-framed animation: channels of float curves, an optional quaternion track that
// replaces rotation channels 4 to 6 while it is in use and has keys, and a loop mode.
class nMotion
{
public:
    typedef nList<nMotionChannel*> ChannelList;

    explicit nMotion(const char* name);  // no channels, empty track, loop mode Constant
    ~nMotion();                          // deletes the channels, then the track's keys
    nMotion(const nMotion&) = delete;
    nMotion& operator=(const nMotion&) = delete;

    nMotionChannel* AddChannel(int32_t id);             // new empty channel at the end; NULL (logged) when out of memory
    nMotionChannel* FindChannel(int32_t id) const;      // first channel with that id, or NULL
    float GetDuration() const;                          // largest last-key time over the channels, 0 without channels
    bool GetTimeRange(float& start, float& end) const;  // smallest first-key and largest last-key time; false (untouched) without channels
    bool HasQuaternion() const { return m_useQuaternion && m_track.GetKeyCount() > 0; }

    // Channels 1, 2 and 3 evaluated over their whole curves into x, y and z; a component
    // whose channel is missing keeps the caller's value; of several channels with one id the
    // last counts.
    void EvaluatePosition(float time, float& x, float& y, float& z, int32_t loopMode);

    const nString& GetName() const { return m_name; }
    void SetName(const char* name) { m_name.Set(name); }
    ChannelList& GetChannels() { return m_channels; }
    const ChannelList& GetChannels() const { return m_channels; }
    nQuaternionTrack& GetQuaternionTrack() { return m_track; }
    bool GetUseQuaternion() const { return m_useQuaternion; }
    void SetUseQuaternion(bool use) { m_useQuaternion = use; }
    int32_t GetLoopMode() const { return m_loopMode; }
    void SetLoopMode(int32_t mode) { m_loopMode = mode; }

    // "Motion" NML. Without a "LoopMode" tag the loop mode is the post behaviour of the first
    // channel whose post behaviour is not Constant.
    bool Deserialize(nMetaFile* document, nMetaTag* tag);
    nMetaTag* Serialize(nMetaFile* document) const;  // NULL (logged) when out of memory

private:
    nString m_name;
    ChannelList m_channels;  // owned
    bool m_useQuaternion;
    nQuaternionTrack m_track;
    int32_t m_loopMode;
};

#endif
