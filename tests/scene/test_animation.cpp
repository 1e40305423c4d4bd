#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/nMetaTag.h"
#include "core/nQuaternion.h"
#include "scene/nAnimationPlayer.h"
#include "scene/nMotion.h"
#include "tests/support/nLogCapture.h"

namespace {

// A player whose item has every channel id it is asked about, starting at 0, and a rotation.
class FakePlayer : public nAnimationPlayer
{
public:
    bool GetChannel(int32_t id, float& value) override
    {
        value = channels[id];
        return true;
    }
    bool SetChannel(int32_t id, float value) override
    {
        channels[id] = value;
        ++writes[id];
        return true;
    }
    void GetOrientation(nQuaternion& q) override { q = orientation; }
    bool SetOrientation(const nQuaternion& q) override
    {
        orientation = q;
        ++orientationWrites;
        return true;
    }

    std::map<int32_t, float> channels;
    std::map<int32_t, int> writes;
    nQuaternion orientation;
    int orientationWrites = 0;
};

// A motion whose channel holds value + slope * t over [0, length].
nMotion* RampMotion(const char* name, int32_t channel, float value, float slope = 0.0f, float length = 10.0f)
{
    nMotion* motion = new nMotion(name);
    nMotionChannel* c = motion->AddChannel(channel);
    c->SetKeyCount(2);
    c->GetKey(0)->value = value;
    c->GetKey(1)->time = length;
    c->GetKey(1)->value = value + slope * length;
    return motion;
}

nMotion* Own(FakePlayer& player, nMotion* motion)
{
    player.GetMotions().InsertAfter(motion, 0);
    return motion;
}

const float kHalfSqrt = 0.70710678f;

TEST(AnimationPlayer, WeightedMeanOfSourcesWritingOneChannel)
{
    FakePlayer player;
    player.channels[ChannelYPos] = 123.0f;
    nMotion* zero = Own(player, RampMotion("zero", ChannelXPos, 0.0f));
    nMotion* eight = Own(player, RampMotion("eight", ChannelXPos, 8.0f));
    player.PlayMotion(zero, nullptr, 0.0f, true, 1.0f);
    player.PlayMotion(eight, nullptr, 0.0f, true, 3.0f);
    player.channels[ChannelXPos] = 50.0f;  // the first source overwrites what was there
    player.Update(0.0f);
    EXPECT_FLOAT_EQ(player.channels[ChannelXPos], 6.0f);
    EXPECT_EQ(player.channels[ChannelYPos], 123.0f);  // nobody writes it
    EXPECT_EQ(player.writes[ChannelYPos], 0);
    EXPECT_EQ(player.orientationWrites, 0);  // no source drives the rotation
}

TEST(AnimationPlayer, CrossFadeBlendsTwoMotionsOntoTheChannels)
{
    FakePlayer player;
    nMotion* ramp = Own(player, RampMotion("ramp", ChannelXPos, 0.0f, 10.0f));  // 10 per second
    nMotion* hold = Own(player, RampMotion("hold", ChannelXPos, 2.0f));
    Own(player, RampMotion("scale", ChannelYScl, 4.0f));
    EXPECT_EQ(player.FindMotion("hold"), hold);
    EXPECT_EQ(player.FindMotion("Hold"), nullptr);

    nAnimationSource* a = player.PlayMotion(ramp, nullptr, 0.0f, false, 1.0f);
    player.Update(0.25f);
    EXPECT_FLOAT_EQ(player.channels[ChannelXPos], 2.5f);

    nAnimationSource* b = player.PlayMotion(hold, nullptr, 1.0f, false, 1.0f);  // a fades out, b fades in
    EXPECT_FLOAT_EQ(a->GetWeightSpeed(), -1.0f);
    EXPECT_TRUE(a->GetDropWhenFaded());
    EXPECT_FLOAT_EQ(b->GetWeight(), 0.0f);
    for (int step = 1; step <= 4; ++step) {
        player.Update(0.25f);
        float wb = 0.25f * step, wa = 1.0f - wb;
        float va = 10.0f * (0.25f + 0.25f * step);
        if (step < 4) {
            ASSERT_EQ(player.GetSourceList().GetCount(), 2);
            EXPECT_FLOAT_EQ(player.channels[ChannelXPos], (wa * va + wb * 2.0f) / (wa + wb)) << "step " << step;
        }
    }
    // At the end of the fade a has weight 0 and is dropped in that same update.
    EXPECT_EQ(player.GetSourceList().GetCount(), 1);
    EXPECT_EQ(player.GetSourceList().GetAt(0), b);
    EXPECT_FLOAT_EQ(player.channels[ChannelXPos], 2.0f);
    EXPECT_FLOAT_EQ(b->GetWeight(), 1.0f);
    EXPECT_EQ(b->GetWeightSpeed(), 0.0f);
    EXPECT_EQ(player.writes[ChannelYScl], 0);
}

TEST(AnimationPlayer, FadeInReachesItsTargetAndStops)
{
    FakePlayer player;
    nAnimationSource* s = player.PlayMotion(Own(player, RampMotion("m", ChannelXPos, 1)), nullptr, 0.5f, false, 1.0f);
    for (int i = 0; i < 4; ++i) player.Update(0.125f);
    EXPECT_EQ(s->GetWeight(), 1.0f);
    EXPECT_EQ(s->GetWeightSpeed(), 0.0f);
    player.Update(0.125f);
    EXPECT_EQ(s->GetWeight(), 1.0f);
    EXPECT_FLOAT_EQ(s->GetClock(), 0.625f);
}

TEST(AnimationPlayer, ImmediateReplacementDropsEveryOtherSourceInTheNextUpdate)
{
    struct Counted : nMotionAnimationSource
    {
        Counted(nMotion* m, int* alive) : nMotionAnimationSource(m, nullptr), alive(alive) { ++*alive; }
        ~Counted() override { --*alive; }
        int* alive;
    };
    FakePlayer player;
    nMotion* m = Own(player, RampMotion("m", ChannelXPos, 5));
    int alive = 0;
    player.AddSource(new Counted(m, &alive), 0.0f, true, 1.0f);
    player.AddSource(new Counted(m, &alive), 0.0f, true, 1.0f);
    nAnimationSource* last = player.AddSource(new Counted(m, &alive), 0.0f, false, 0.5f);
    EXPECT_EQ(alive, 3);
    EXPECT_EQ(player.GetSourceList().GetAt(0)->GetWeight(), 0.0f);
    player.Update(0.01f);
    EXPECT_EQ(alive, 1);
    EXPECT_EQ(player.GetSourceList().GetCount(), 1);
    EXPECT_EQ(player.GetSourceList().GetAt(0), last);
    EXPECT_FLOAT_EQ(last->GetWeight(), 0.5f);
    player.Clear();
    EXPECT_EQ(alive, 0);
    EXPECT_FALSE(player.IsPlaying());
    EXPECT_TRUE(player.IsDone());
}

nMotion* TurnMotion(const char* name, const nQuaternion& to)
{
    nMotion* motion = RampMotion(name, ChannelXRot, 7.0f);  // replaced by the track
    motion->SetUseQuaternion(true);
    motion->GetQuaternionTrack().AddKey(0.0f, to);
    motion->GetQuaternionTrack().AddKey(10.0f, to);
    nMotionChannel* alpha = motion->AddChannel(ChannelAlpha);
    alpha->SetKeyCount(1);
    alpha->GetKey(0)->value = 0.25f;
    return motion;
}

TEST(AnimationPlayer, OrientationBlendBySlerpAboveTheWeightThreshold)
{
    const nQuaternion turnY(0, kHalfSqrt, 0, kHalfSqrt);
    const nQuaternion turnX(kHalfSqrt, 0, 0, kHalfSqrt);
    FakePlayer player;
    nMotion* y = Own(player, TurnMotion("y", turnY));
    nMotion* x = Own(player, TurnMotion("x", turnX));
    player.PlayMotion(y, nullptr, 0.0f, true, 1.0f);
    player.PlayMotion(x, nullptr, 0.0f, true, 3.0f);
    player.Update(0.0f);
    nQuaternion expected = nQuaternion::Slerp(0.25f, turnX, turnY);  // weight 1 of 4 stays with y
    EXPECT_NEAR(player.orientation.x, expected.x, 1e-5f);
    EXPECT_NEAR(player.orientation.y, expected.y, 1e-5f);
    EXPECT_NEAR(player.orientation.w, expected.w, 1e-5f);
    EXPECT_EQ(player.writes[ChannelXRot], 0);  // the track replaces the rotation channels
    EXPECT_FLOAT_EQ(player.channels[ChannelAlpha], 0.25f);

    // A source of weight 0.005 is left out of the rotation but still writes its channels.
    FakePlayer light;
    nMotion* lx = Own(light, TurnMotion("x", turnX));
    nMotion* solo = Own(light, RampMotion("solo", ChannelAlpha, 0.75f));
    light.PlayMotion(lx, nullptr, 0.0f, true, 0.005f);
    light.PlayMotion(solo, nullptr, 0.0f, true, 0.005f);
    light.Update(0.0f);
    EXPECT_EQ(light.orientationWrites, 0);
    EXPECT_FLOAT_EQ(light.channels[ChannelAlpha], 0.5f);
}

TEST(AnimationPlayer, ChannelsOutsideTheTableAndOutsideUpdateAreIgnored)
{
    FakePlayer player;
    nMotion* m = Own(player, RampMotion("m", ChannelXPos, 1.0f));
    m->AddChannel(0)->SetKeyCount(1);
    nMotionChannel* far = m->AddChannel(ChannelXPos);
    far->SetId(40);
    far->SetKeyCount(1);
    nMotionChannel* negative = m->AddChannel(ChannelXPos);
    negative->SetId(-3);
    negative->SetKeyCount(1);
    player.PlayMotion(m, nullptr, 0.0f, false, 1.0f);
    player.Update(0.1f);
    EXPECT_EQ(player.writes.count(40), 0u);
    EXPECT_EQ(player.writes.count(-3), 0u);
    EXPECT_EQ(player.writes[0], 1);
    EXPECT_EQ(player.writes[ChannelXPos], 1);

    player.ApplyChannel(ChannelXPos, 99.0f, 1.0f);  // no accumulators outside Update
    EXPECT_EQ(player.channels[ChannelXPos], 1.0f);
}

TEST(AnimationSource, IsDoneTable)
{
    nMotion motion("m");
    nMotionChannel* c = motion.AddChannel(ChannelXPos);
    c->SetKeyCount(2);
    c->GetKey(0)->time = 1.0f;
    c->GetKey(1)->time = 3.0f;
    nMotion empty("empty");
    nMotion turnOnly("turn");
    turnOnly.SetUseQuaternion(true);
    turnOnly.GetQuaternionTrack().AddKey(0.5f, nQuaternion());
    turnOnly.GetQuaternionTrack().AddKey(2.0f, nQuaternion());

    struct Case
    {
        const char* name;
        nMotion* motion;
        int32_t mode;
        float scale;
        float clock;
        bool done;
    };
    const Case cases[] = {
        {"repeat never ends", &motion, LoopRepeat, 1.0f, 100.0f, false},
        {"oscillate never ends", &motion, LoopOscillate, 1.0f, 100.0f, false},
        {"offset never ends", &motion, LoopOffsetRepeat, -1.0f, -100.0f, false},
        {"constant inside", &motion, LoopConstant, 1.0f, 3.0f, false},
        {"constant past the end", &motion, LoopConstant, 1.0f, 3.01f, true},
        {"backwards inside", &motion, LoopConstant, -1.0f, 1.0f, false},
        {"backwards before the start", &motion, LoopConstant, -1.0f, 0.99f, true},
        {"paused before the start", &motion, LoopReset, 0.0f, 0.5f, true},
        {"no motion", nullptr, LoopConstant, 1.0f, 0.0f, true},
        {"nothing to play", &empty, LoopConstant, 1.0f, 0.0f, true},
        {"track only, inside", &turnOnly, LoopConstant, 1.0f, 1.5f, false},
        {"track only, past", &turnOnly, LoopConstant, 1.0f, 2.5f, true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        nMotionAnimationSource source(k.motion, nullptr);
        source.SetLoopMode(k.mode);
        source.SetClockScale(k.scale);
        source.SetClock(k.clock);
        EXPECT_EQ(source.IsDone(), k.done);
    }
    nMotionAnimationSource fromMotion(&motion, nullptr);
    EXPECT_EQ(fromMotion.GetLoopStart(), 1.0f);
    EXPECT_EQ(fromMotion.GetLoopEnd(), 3.0f);
    nMotionAnimationSource fromEmpty(&empty, nullptr);
    EXPECT_EQ(fromEmpty.GetLoopStart(), kCurveRangeFirst);
    EXPECT_EQ(fromEmpty.GetLoopEnd(), kCurveRangeLast);
}

TEST(AnimationSourceList, ScriptListOutlivesThePlayer)
{
    nAnimationSourceList list;
    {
        FakePlayer player;
        nMotion* m = Own(player, RampMotion("m", ChannelXPos, 0.0f, 1.0f));
        player.PlayMotion(m, &list, 0.0f, true, 1.0f);
        player.PlayMotion(m, &list, 0.0f, true, 1.0f);
        EXPECT_EQ(list.GetCount(), 2);
        list.SetClock(2.0f);
        list.SetClockScale(0.5f);
        list.SetWeight(0.5f, 1.0f);
        list.SetLoop(0.5f, 1.5f);
        list.SetLoopMode(LoopRepeat);
        player.Update(1.0f);
        EXPECT_FLOAT_EQ(list.GetClock(), 2.5f);
        EXPECT_FLOAT_EQ(list.GetAt(1)->GetWeight(), 0.5f);    // ramped down from 1 and stopped there
        EXPECT_FLOAT_EQ(player.channels[ChannelXPos], 0.5f);  // 2.5 wrapped into [0.5, 1.5]
    }
    // The player and its motions are gone; the list still reaches its sources' own fields.
    list.SetClock(4.0f);
    list.SetWeight(-2.0f, 0.0f);
    EXPECT_EQ(list.GetClock(), 4.0f);
    EXPECT_EQ(list.GetAt(0)->GetWeight(), 0.0f);
    EXPECT_EQ(list.GetAt(2), nullptr);

    nAnimationSourceList none;
    EXPECT_EQ(none.GetClock(), 0.0f);
}

TEST(MotionPlayerNML, ReadAppendsMotionsAndWriteRoundTrips)
{
    FakePlayer player;
    Own(player, RampMotion("existing", ChannelXPos, 1.0f));
    std::unique_ptr<nMetaTag> tag(new nMetaTag("MotionPlayer"));
    tag->AddChild(new nMetaTag("Flag", 3));
    nMetaTag* motions = tag->AddChild(new nMetaTag("Motions"));
    motions->AddChild(new nMetaTag("Motion"))->AddChild(new nMetaTag("Id", "Run"));
    motions->AddChild(new nMetaTag("Motion"));
    {
        nLogCapture log;
        ASSERT_TRUE(player.Deserialize(nullptr, tag.get()));
        EXPECT_TRUE(log.Lines().empty());
    }
    ASSERT_EQ(player.GetMotions().GetCount(), 3);
    EXPECT_NE(player.FindMotion("Run"), nullptr);
    EXPECT_NE(player.FindMotion("NewMotion"), nullptr);

    std::unique_ptr<nMetaTag> written(player.Serialize(nullptr));
    ASSERT_TRUE(written);
    FakePlayer other;
    ASSERT_TRUE(other.Deserialize(nullptr, written.get()));
    ASSERT_EQ(other.GetMotions().GetCount(), 3);
    EXPECT_TRUE(other.GetMotions().GetAt(0)->GetName() == "existing");
    EXPECT_EQ(other.GetMotions().GetAt(0)->GetChannels().GetAt(0)->GetKey(0)->value, 1.0f);

    motions->AddChild(new nMetaTag("Path"));
    tag->AddChild(new nMetaTag("Speed", 1.0f));
    nLogCapture log;
    EXPECT_TRUE(other.Deserialize(nullptr, tag.get()));
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"[*] Unknown tag 'Path' in <Motions>.\n",
                                                     "[*] Unknown tag 'Speed' in <MotionPlayer>.\n"}));
    nMetaTag wrong("Motions");
    log.Clear();
    EXPECT_FALSE(other.Deserialize(nullptr, &wrong));
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"[!] Could not parse motion player. Root tag id is incorrect (Motions).\n"});
}

}
