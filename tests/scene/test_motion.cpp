#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "scene/nMotion.h"
#include "tests/support/nLogCapture.h"

namespace {

// Two tag trees with the same names, value types, values and children, in order.
::testing::AssertionResult SameTree(const nMetaTag* a, const nMetaTag* b)
{
    if (!a || !b) return a == b ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << "missing tag";
    std::string where = a->GetName().GetCStr() ? a->GetName().GetCStr() : "";
    if (!(a->GetName() == b->GetName()))
        return ::testing::AssertionFailure() << "names " << where << " / " << (b->GetName().GetCStr() ? b->GetName().GetCStr() : "");
    const nVariant& va = a->GetValue();
    const nVariant& vb = b->GetValue();
    if (va.GetType() != vb.GetType()) return ::testing::AssertionFailure() << "types differ in " << where;
    float fa, fb;
    int32_t ia, ib;
    bool ba, bb;
    if (va.GetFloat(&fa) && vb.GetFloat(&fb) && !(fa == fb)) return ::testing::AssertionFailure() << "floats differ in " << where;
    if (va.GetInt(&ia) && vb.GetInt(&ib) && ia != ib) return ::testing::AssertionFailure() << "ints differ in " << where;
    if (va.GetType() == TagType_Bool && va.GetBool(&ba) && vb.GetBool(&bb) && ba != bb)
        return ::testing::AssertionFailure() << "bools differ in " << where;
    if (va.GetType() == TagType_String && !(va.GetText() == vb.GetText()))
        return ::testing::AssertionFailure() << "texts differ in " << where;
    if (va.GetType() == TagType_Binary &&
        (va.GetBinaryLength() != vb.GetBinaryLength() ||
         std::string((const char*)va.GetBinaryData(), va.GetBinaryLength()) !=
             std::string((const char*)vb.GetBinaryData(), vb.GetBinaryLength())))
        return ::testing::AssertionFailure() << "binary differs in " << where;
    if (a->GetChildCount() != b->GetChildCount()) return ::testing::AssertionFailure() << "child counts differ in " << where;
    nMetaTagIterator ita, itb;
    nMetaTag* ca;
    while ((ca = const_cast<nMetaTag*>(a)->NextChild(ita)) != nullptr) {
        ::testing::AssertionResult r = SameTree(ca, const_cast<nMetaTag*>(b)->NextChild(itb));
        if (!r) return r << " (in " << where << ")";
    }
    return ::testing::AssertionSuccess();
}

void AddKeys(nCurve* curve, const std::vector<std::pair<float, float>>& keys, int32_t post = LoopConstant)
{
    ASSERT_TRUE(curve->SetKeyCount((int32_t)keys.size()));
    for (size_t i = 0; i < keys.size(); ++i) {
        curve->GetKey((uint32_t)i)->time = keys[i].first;
        curve->GetKey((uint32_t)i)->value = keys[i].second;
    }
    curve->SetPostBehavior(post);
}

// A motion as the editor would write it, with every part filled.
std::unique_ptr<nMotion> SampleMotion()
{
    std::unique_ptr<nMotion> m(new nMotion("Walk"));
    m->SetLoopMode(LoopOscillate);
    m->SetUseQuaternion(true);
    m->GetQuaternionTrack().AddKey(0.0f, nQuaternion());
    m->GetQuaternionTrack().AddKey(1.25f, nQuaternion(0, 0.6f, 0, 0.8f));
    AddKeys(m->AddChannel(ChannelXPos), {{0, 1}, {0.5f, -2}, {2, 3.5f}});
    AddKeys(m->AddChannel(ChannelAlpha), {{0.25f, 0.5f}});
    nMotionChannel* bezier = m->AddChannel(ChannelBFog);
    AddKeys(bezier, {{0, 0}, {1, 1}});
    bezier->GetKey(1)->type = CurveKeyBezier;
    bezier->GetKey(1)->handle0 = -0.25f;
    m->AddChannel(ChannelZRot);  // a channel without keys
    return m;
}

TEST(Motion, ChannelNamesCoverEveryId)
{
    for (int32_t id = 1; id <= ChannelLast; ++id) {
        ASSERT_NE(GetMotionChannelName(id), nullptr);
        EXPECT_EQ(FindMotionChannelId(GetMotionChannelName(id)), id);
    }
    EXPECT_STREQ(GetMotionChannelName(ChannelZoomFactor), "Zoom");
    EXPECT_STREQ(GetMotionChannelName(ChannelSpecularIntensity), "SpecularI");
    EXPECT_EQ(GetMotionChannelName(0), nullptr);
    EXPECT_EQ(GetMotionChannelName(31), nullptr);
    EXPECT_EQ(FindMotionChannelId("positionx"), ChannelNone);
    EXPECT_EQ(FindMotionChannelId(nullptr), ChannelNone);
}

TEST(Motion, DurationRangeAndLookups)
{
    nMotion motion("m");
    float s = 42, e = 43;
    EXPECT_EQ(motion.GetDuration(), 0.0f);
    EXPECT_FALSE(motion.GetTimeRange(s, e));
    EXPECT_EQ(s, 42.0f);
    EXPECT_EQ(e, 43.0f);

    AddKeys(motion.AddChannel(ChannelXPos), {{0.5f, 0}, {2, 0}});
    AddKeys(motion.AddChannel(ChannelYPos), {{-1, 0}, {3.5f, 0}});
    nMotionChannel* second = motion.AddChannel(ChannelXPos);
    AddKeys(second, {{1, 0}});
    EXPECT_EQ(motion.GetDuration(), 3.5f);
    ASSERT_TRUE(motion.GetTimeRange(s, e));
    EXPECT_EQ(s, -1.0f);
    EXPECT_EQ(e, 3.5f);
    EXPECT_NE(motion.FindChannel(ChannelXPos), second);  // the first of that id
    EXPECT_EQ(motion.FindChannel(ChannelAlpha), nullptr);
    EXPECT_EQ(motion.GetChannels().GetCount(), 3);

    EXPECT_FALSE(motion.HasQuaternion());
    motion.SetUseQuaternion(true);
    EXPECT_FALSE(motion.HasQuaternion());  // no keys yet
    motion.GetQuaternionTrack().AddKey(0, nQuaternion());
    EXPECT_TRUE(motion.HasQuaternion());
}

TEST(Motion, EvaluatePositionTouchesOnlyPresentChannels)
{
    nMotion motion("path");
    AddKeys(motion.AddChannel(ChannelYPos), {{0, 0}, {1, 10}});
    float x = 7, y = 7, z = 7;
    motion.EvaluatePosition(1.5f, x, y, z, LoopRepeat);
    EXPECT_EQ(x, 7.0f);
    EXPECT_FLOAT_EQ(y, 5.0f);
    EXPECT_EQ(z, 7.0f);

    AddKeys(motion.AddChannel(ChannelYPos), {{0, 100}, {1, 200}});  // the last channel of an id counts
    AddKeys(motion.AddChannel(ChannelZPos), {{0, -1}, {1, -3}});
    motion.EvaluatePosition(0.5f, x, y, z, LoopConstant);
    EXPECT_FLOAT_EQ(y, 150.0f);
    EXPECT_FLOAT_EQ(z, -2.0f);
}

TEST(MotionNML, LoopModeInference)
{
    struct Case
    {
        const char* name;
        std::vector<int32_t> posts;
        const char* loopMode;
        int32_t expected;
    };
    const Case cases[] = {
        {"from the curves", {LoopConstant, LoopOscillate, LoopRepeat}, nullptr, LoopOscillate},
        {"all constant", {LoopConstant, LoopConstant}, nullptr, LoopConstant},
        {"no channels", {}, nullptr, LoopConstant},
        {"tag wins", {LoopOscillate}, "Repeat", LoopRepeat},
        {"offset", {}, "OffsetAndRepeat", LoopOffsetRepeat},
        {"reset", {LoopRepeat}, "Reset", LoopReset},
        {"unknown text keeps constant", {LoopOscillate}, "Bounce", LoopConstant},
        {"curve spelling is unknown here", {LoopOscillate}, "OffsetRepeat", LoopConstant},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        nMotion source("x");
        for (int32_t post : c.posts) AddKeys(source.AddChannel(ChannelXPos), {{0, 0}, {1, 1}}, post);
        std::unique_ptr<nMetaTag> tag(source.Serialize(nullptr));
        ASSERT_TRUE(tag);
        // The writer never writes PostBehavior: put it in as a file from the editor would.
        static const char* const kPostNames[] = {"Reset", "Constant", "Repeat", "Oscillate", "OffsetRepeat"};
        nMetaTagIterator it;
        size_t i = 0;
        while (nMetaTag* child = tag->NextChild(it))
            if (child->GetName() == "Channel")
                child->FindPath("Curve;")->AddChild(new nMetaTag("PostBehavior", kPostNames[c.posts[i++]]));
        if (c.loopMode) tag->AddChild(new nMetaTag("LoopMode", c.loopMode));

        nMotion read("y");
        nLogCapture log;
        ASSERT_TRUE(read.Deserialize(nullptr, tag.get()));
        EXPECT_TRUE(log.Lines().empty());
        EXPECT_EQ(read.GetLoopMode(), c.expected);
    }
}

TEST(MotionNML, RoundTripThroughTags)
{
    std::unique_ptr<nMotion> motion = SampleMotion();
    std::unique_ptr<nMetaTag> tag(motion->Serialize(nullptr));
    ASSERT_TRUE(tag);
    nMotion back("other");
    nLogCapture log;
    ASSERT_TRUE(back.Deserialize(nullptr, tag.get()));
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_TRUE(back.GetName() == "Walk");
    EXPECT_EQ(back.GetLoopMode(), LoopOscillate);
    EXPECT_TRUE(back.HasQuaternion());
    ASSERT_EQ(back.GetChannels().GetCount(), 4);
    EXPECT_EQ(back.GetChannels().GetAt(2)->GetId(), ChannelBFog);
    EXPECT_EQ(back.GetChannels().GetAt(2)->GetKey(1)->type, CurveKeyBezier);
    EXPECT_EQ(back.GetChannels().GetAt(3)->GetKeyCount(), 0u);
    std::unique_ptr<nMetaTag> again(back.Serialize(nullptr));
    EXPECT_TRUE(SameTree(tag.get(), again.get()));

    // A constant loop mode is not written at all.
    back.SetLoopMode(LoopConstant);
    std::unique_ptr<nMetaTag> constant(back.Serialize(nullptr));
    EXPECT_EQ(constant->FindPath("LoopMode;"), nullptr);
    EXPECT_NE(constant->FindPath("QChannel;"), nullptr);
}

TEST(MotionNML, RoundTripThroughAFile)
{
    std::unique_ptr<nMotion> motion = SampleMotion();
    nMetaFile document;
    ASSERT_TRUE(document.AddRoot(motion->Serialize(&document)));
    char path[] = "/tmp/qz_motion_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    ASSERT_TRUE(document.Save(path));

    nMetaFile loaded;
    ASSERT_TRUE(loaded.Load(path));
    std::remove(path);
    nMetaTagIterator it;
    nMotion back("x");
    ASSERT_TRUE(back.Deserialize(&loaded, loaded.NextRoot(it)));
    std::unique_ptr<nMetaTag> original(motion->Serialize(nullptr));
    std::unique_ptr<nMetaTag> reread(back.Serialize(nullptr));
    EXPECT_TRUE(SameTree(original.get(), reread.get()));
}

TEST(MotionNML, ReadingProblems)
{
    std::unique_ptr<nMetaTag> tag(new nMetaTag("Motion"));
    tag->AddChild(new nMetaTag("Id", "Jump"));
    tag->AddChild(new nMetaTag("Speed", 2));
    nMetaTag* channel = tag->AddChild(new nMetaTag("Channel"));
    channel->AddChild(new nMetaTag("Id", "PositionW"));
    channel->AddChild(new nMetaTag("Gain", 1.0f));
    nMetaTag* curve = channel->AddChild(new nMetaTag("Curve"));
    nMetaTag* knots = curve->AddChild(new nMetaTag("Knot"));
    knots->AddChild(new nMetaTag("Count", 1));
    knots->AddChild(new nMetaTag("Knot", "0:4"));
    nMetaTag* q = tag->AddChild(new nMetaTag("QChannel"));
    nMetaTag* keys = q->AddChild(new nMetaTag("Keys"));
    keys->AddChild(new nMetaTag("Key", "0:0,0,0,1"));
    keys->AddChild(new nMetaTag("Key", "1:0,0,1"));

    nMotion motion("m");
    nLogCapture log;
    EXPECT_TRUE(motion.Deserialize(nullptr, tag.get()));  // reading never discards a motion
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "[*] Unknown tag 'Speed' in <Motion>.\n",
                               "[*] Unknown channel id 'PositionW'.\n",
                               "[*] Unknown tag 'Gain' in <Channel>.\n",
                               "[*] Mangled keyframe tag while parsing quaternion channel.\n",
                           }));
    ASSERT_EQ(motion.GetChannels().GetCount(), 1);
    EXPECT_EQ(motion.GetChannels().GetAt(0)->GetId(), ChannelNone);  // kept with id 0
    EXPECT_EQ(motion.GetChannels().GetAt(0)->GetKey(0)->value, 4.0f);
    EXPECT_EQ(motion.GetQuaternionTrack().GetKeyCount(), 1u);

    log.Clear();
    std::unique_ptr<nMetaTag> written(motion.Serialize(nullptr));
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"[*] Unknown motion channel type (0).\n"});
    EXPECT_EQ(written->FindPath("Channel:Id;"), nullptr);

    struct Wrong
    {
        const char* root;
        std::function<bool(nMetaTag*)> read;
        const char* line;
    };
    nMotionChannel lone;
    const Wrong wrong[] = {
        {"Motions", [&](nMetaTag* t) { return motion.Deserialize(nullptr, t); },
         "[!] Could not parse motion, root tag id is incorrect (Motions).\n"},
        {"Curve", [&](nMetaTag* t) { return lone.Deserialize(nullptr, t); },
         "[!] Could not parse motion channel. Root tag id is incorrect (Curve).\n"},
    };
    for (const Wrong& w : wrong) {
        nMetaTag t(w.root);
        log.Clear();
        EXPECT_FALSE(w.read(&t));
        EXPECT_EQ(log.Lines(), std::vector<std::string>{w.line});
    }
    EXPECT_EQ(lone.GetSerializedSize(), 84);
}

}
