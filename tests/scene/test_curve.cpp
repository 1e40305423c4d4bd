#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/nMetaTag.h"
#include "scene/nCurve.h"
#include "scene/nQuaternionTrack.h"
#include "tests/support/nLogCapture.h"

namespace {

const float kFirst = kCurveRangeFirst;
const float kLast = kCurveRangeLast;

struct KeySpec
{
    int32_t type;
    float time, value;
    float tension = 0, continuity = 0, bias = 0, h0 = 0, h1 = 0, h2 = 0, h3 = 0;
};

void Fill(nCurve& curve, const std::vector<KeySpec>& keys)
{
    ASSERT_TRUE(curve.SetKeyCount((int32_t)keys.size()));
    for (size_t i = 0; i < keys.size(); ++i) {
        nCurvePoint* k = curve.GetKey((uint32_t)i);
        const KeySpec& s = keys[i];
        k->type = s.type;
        k->time = s.time;
        k->value = s.value;
        k->tension = s.tension;
        k->continuity = s.continuity;
        k->bias = s.bias;
        k->handle0 = s.h0;
        k->handle1 = s.h1;
        k->handle2 = s.h2;
        k->handle3 = s.h3;
    }
}

float Eval(nCurve& curve, float t, int32_t mode = LoopConstant, float s = kFirst, float e = kLast)
{
    float out = -12345.0f;
    curve.Evaluate(t, out, mode, s, e);
    return out;
}

TEST(Curve, LinearLoopModesWorkedValues)
{
    nCurve curve;
    Fill(curve, {{CurveKeyLinear, 0, 0}, {CurveKeyLinear, 1, 10}});
    struct Case
    {
        float t;
        int32_t mode;
        float expected;
    };
    const Case cases[] = {
        {0.25f, LoopConstant, 2.5f}, {0.25f, LoopReset, 2.5f}, {1.0f, LoopReset, 10.0f}, {1.5f, LoopConstant, 10.0f}, {1.5f, LoopReset, 0.0f}, {1.5f, LoopRepeat, 5.0f}, {1.5f, LoopOscillate, 5.0f}, {1.5f, LoopOffsetRepeat, 15.0f}, {-0.25f, LoopRepeat, 7.5f}, {-0.25f, LoopOffsetRepeat, -2.5f}, {-0.25f, LoopConstant, 0.0f}, {-0.25f, LoopOscillate, 2.5f},  // mirrored: one repetition back
        {2.25f, LoopOscillate, 2.5f},                                                                                                                                                                                                                                                                                                                               // two repetitions on: forwards again
        {2.25f, LoopOffsetRepeat, 22.5f},
        {1.75f, LoopOscillate, 2.5f},
        {-1.0f, LoopOffsetRepeat, -10.0f},  // at a boundary the offset stays continuous
        {7.5f, 17, 10.0f},                  // an unknown mode clamps
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "t " << c.t << " mode " << c.mode);
        EXPECT_NEAR(Eval(curve, c.t, c.mode), c.expected, 1e-5f);
    }
}

TEST(Curve, PartialRangeWrapsInsideIt)
{
    nCurve curve;
    Fill(curve, {{CurveKeyLinear, 0, 0}, {CurveKeyLinear, 1, 10}});
    EXPECT_NEAR(Eval(curve, 1.25f, LoopRepeat, 0.5f, kLast), 7.5f, 1e-5f);
    EXPECT_NEAR(Eval(curve, 1.6f, LoopRepeat, 0.5f, kLast), 6.0f, 1e-5f);
    EXPECT_NEAR(Eval(curve, 0.2f, LoopRepeat, 0.5f, kLast), 7.0f, 1e-5f);     // before the range too
    EXPECT_NEAR(Eval(curve, 3.0f, LoopConstant, -4.0f, 0.25f), 2.5f, 1e-5f);  // the range is clamped to the keys
}

TEST(Curve, KeyKindsWorkedValues)
{
    struct Case
    {
        const char* name;
        std::vector<KeySpec> keys;
        float t;
        float expected;
    };
    const Case cases[] = {
        // Step: holds the first value, gives its own value exactly at its time.
        {"step inside", {{1, 0, 3}, {CurveKeyStep, 1, 7}}, 0.999f, 3.0f},
        {"step at key", {{1, 0, 3}, {CurveKeyStep, 1, 7}}, 1.0f, 7.0f},
        // No interpolation: the offset alone.
        {"none", {{1, 0, 5}, {CurveKeyNone, 1, 9}}, 0.5f, 0.0f},
        {"unknown type", {{1, 0, 5}, {42, 1, 9}}, 0.5f, 0.0f},
        // Hermite with own tangents, u = 0.5: h00 = h01 = 0.5, h10 = 0.125, h11 = -0.125.
        {"tangent", {{1, 0, 0, 0, 0, 0, 2}, {CurveKeyTangent, 1, 1, 0, 0, 0, 0}}, 0.5f, 0.75f},
        {"tangent 4", {{1, 0, 0, 0, 0, 0, 2}, {CurveKeyTangent2, 1, 1, 0, 0, 0, 4}}, 0.5f, 0.25f},
        // Tangents scaled by dt / (B - P) and dt / (N - A) when the neighbours exist.
        {"tangent neighbours", {{1, -1, 0}, {1, 0, 0, 0, 0, 0, 2}, {CurveKeyTangent, 1, 1, 0, 0, 0, 4}, {1, 3, 0}}, 0.5f, 0.5f + 0.125f * 2 * 0.5f - 0.125f * 4 / 3},
        // TCB with zero parameters: Catmull-Rom. m0 = 1 (no P), m1 = 0.5 * (-1 + 1) = 0.
        {"tcb", {{1, 0, 0}, {CurveKeyTCB, 1, 1}, {1, 2, 0}}, 0.5f, 0.625f},
        // Tension 1 on both keys: flat tangents, the smoothstep midpoint.
        {"tcb tension", {{1, 0, 0, 1}, {CurveKeyTCB, 1, 1, 1}, {1, 2, 0}}, 0.5f, 0.5f},
        // Bezier from a linear key: time handles at 1/3 and 2/3 make the time linear in w,
        // value handles (0, 1) make it 3w^2 - 2w^3.
        {"bezier mid", {{1, 0, 0}, {CurveKeyBezier, 1, 1, 0, 0, 0, -1.0f / 3, 0}}, 0.5f, 0.5f},
        {"bezier quarter", {{1, 0, 0}, {CurveKeyBezier, 1, 1, 0, 0, 0, -1.0f / 3, 0}}, 0.25f, 0.15625f},
        // Bezier from a Bezier key: its outgoing handle (h2, h3) is used.
        {"bezier both", {{CurveKeyBezier, 0, 0, 0, 0, 0, 0, 0, 1.0f / 3, 1}, {CurveKeyBezier, 1, 1, 0, 0, 0, -1.0f / 3, 0}}, 0.5f, 0.5f + 0.375f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        nCurve curve;
        Fill(curve, c.keys);
        EXPECT_NEAR(Eval(curve, c.t), c.expected, 2e-4f);
    }
}

TEST(Curve, OneKeyAndNoKeys)
{
    nCurve curve;
    EXPECT_EQ(Eval(curve, 3.0f), 0.0f);
    curve.SetDefaultValue(4.0f);
    EXPECT_EQ(Eval(curve, 3.0f, LoopReset), 4.0f);
    Fill(curve, {{CurveKeyBezier, 2, 6}});
    for (int32_t mode = 0; mode <= 4; ++mode)
        for (float t : {-5.0f, 2.0f, 9.0f, NAN})
            EXPECT_EQ(Eval(curve, t, mode), 6.0f) << "mode " << mode << " t " << t;
}

TEST(Curve, NonFiniteTimesStayInsideTheKeys)
{
    nCurve curve;
    Fill(curve, {{1, 0, 1}, {1, 1, 2}, {1, 2, 4}});
    for (int32_t mode = 0; mode <= 4; ++mode) {
        SCOPED_TRACE(mode);
        EXPECT_EQ(Eval(curve, NAN, mode), 1.0f);  // the range start
        float inf = Eval(curve, INFINITY, mode);
        EXPECT_EQ(inf, mode == LoopReset ? 0.0f : (mode == LoopConstant ? 4.0f : 1.0f));
        EXPECT_EQ(Eval(curve, -INFINITY, mode), mode == LoopReset ? 0.0f : 1.0f);
        EXPECT_TRUE(std::isfinite(Eval(curve, 1e30f, mode)));
        EXPECT_TRUE(std::isfinite(Eval(curve, -1e30f, mode)));
    }
    // Keys whose times are not numbers give odd values, never a read past the keys.
    curve.GetKey(1)->time = NAN;
    for (float t : {-1.0f, 0.5f, 1.5f, 3.0f}) Eval(curve, t);
}

TEST(Curve, CachedSegmentMatchesFreshEvaluation)
{
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<KeySpec> keys;
    float time = -2.0f;
    for (int i = 0; i < 40; ++i) {
        time += 0.05f + unit(rng);
        KeySpec k{1 + (int32_t)(unit(rng) * 6.0f), time, unit(rng) * 10.0f - 5.0f};
        k.tension = unit(rng) - 0.5f;
        k.continuity = unit(rng) - 0.5f;
        k.bias = unit(rng) - 0.5f;
        k.h0 = -unit(rng) * 0.05f;
        k.h1 = unit(rng) - 0.5f;
        k.h2 = unit(rng) * 0.05f;
        k.h3 = unit(rng) - 0.5f;
        keys.push_back(k);
    }
    nCurve cached;
    Fill(cached, keys);
    float start = keys.front().time, end = keys.back().time;
    std::uniform_real_distribution<float> anywhere(start - 10.0f, end + 10.0f);
    float sweep = start - 1.0f;
    for (int i = 0; i < 600; ++i) {
        int32_t mode = i % 5;
        float t;
        if (i % 3 == 0) t = anywhere(rng);                           // jumps
        else t = (sweep += 0.037f);                                  // forwards in small steps
        if (i % 7 == 0) t = keys[(size_t)(unit(rng) * 39.0f)].time;  // exactly on a key
        nCurve fresh;
        Fill(fresh, keys);
        ASSERT_EQ(Eval(cached, t, mode), Eval(fresh, t, mode)) << "t " << t << " mode " << mode;
    }
}

TEST(Curve, WrapLoopTimeBoundaries)
{
    struct Case
    {
        float t, s, e, r;
        int32_t count;
    };
    const Case cases[] = {
        {1.5f, 0, 1, 0.5f, 1},
        {-0.25f, 0, 1, 0.75f, -1},
        {2.0f, 0, 1, 0.0f, 2},
        {-1.0f, 0, 1, 1.0f, -2},
        {0.5f, 0, 1, 0.5f, 0},
        {7.0f, 3, 3, 3.0f, 0},
        {10.5f, 2, 4, 2.5f, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.t);
        int32_t count = 99;
        EXPECT_FLOAT_EQ(WrapLoopTime(c.t, c.s, c.e, &count), c.r);
        EXPECT_EQ(count, c.count);
    }
    int32_t count = 0;
    float r = WrapLoopTime(3e38f, 0.0f, 1e-3f, &count);  // the count saturates instead of overflowing
    EXPECT_GE(r, 0.0f);
    EXPECT_LE(r, 1e-3f);
    EXPECT_EQ(count, INT32_MAX);
}

TEST(Curve, KeysAreKeptInTimeOrder)
{
    nCurve curve;
    EXPECT_EQ(curve.GetEndTime(), 0.0f);
    float s = 1, e = 1;
    curve.GetTimeRange(s, e);
    EXPECT_EQ(s, 0.0f);
    EXPECT_EQ(e, 0.0f);
    const float times[] = {2.0f, 0.5f, 2.0f, -1.0f, 3.0f};
    for (int i = 0; i < 5; ++i) {
        nCurvePoint* k = new nCurvePoint;
        k->time = times[i];
        k->value = (float)i;
        ASSERT_TRUE(curve.AddKeySorted(k));
    }
    const float expectedValues[] = {3, 1, 0, 2, 4};  // equal times keep their insertion order
    for (uint32_t i = 0; i < 5; ++i) EXPECT_EQ(curve.GetKey(i)->value, expectedValues[i]);
    EXPECT_EQ(curve.GetKey(5), nullptr);
    curve.GetTimeRange(s, e);
    EXPECT_EQ(s, -1.0f);
    EXPECT_EQ(e, 3.0f);
    EXPECT_EQ(curve.GetEndTime(), 3.0f);
    EXPECT_EQ(curve.GetSerializedSize(), 40 + 44 * 5);
    EXPECT_FALSE(curve.SetKeyCount(-1));
    EXPECT_EQ(curve.GetKeyCount(), 0u);
}

// NML helpers.
nMetaTag* Child(nMetaTag* parent, nMetaTag* child) { return parent->AddChild(child); }

std::unique_ptr<nMetaTag> KnotList(int32_t count, const std::vector<std::pair<const char*, const char*>>& knots)
{
    std::unique_ptr<nMetaTag> curve(new nMetaTag("Curve"));
    nMetaTag* list = Child(curve.get(), new nMetaTag("Knot"));
    Child(list, new nMetaTag("Count", count));
    for (const auto& k : knots) Child(list, new nMetaTag(k.first, k.second));
    return curve;
}

TEST(CurveNML, BinaryRoundTripKeepsEveryKeyKind)
{
    nCurve curve;
    Fill(curve, {{CurveKeyLinear, 0, 1}, {CurveKeyTCB, 0.5f, 2, 0.1f, 0.2f, 0.3f}, {CurveKeyTangent, 1, 3, 0, 0, 0, 0.4f, 0.5f}, {CurveKeyTangent2, 1.5f, -4}, {CurveKeyBezier, 2, 5, 0, 0, 0, -0.1f, 0.2f, 0.3f, -0.4f}, {CurveKeyStep, 2.5f, 6}, {CurveKeyNone, 3, 7}});
    curve.SetPostBehavior(LoopOscillate);
    std::unique_ptr<nMetaTag> tag(curve.Serialize(nullptr));
    ASSERT_TRUE(tag);
    EXPECT_EQ(tag->FindPath("PostBehavior;"), nullptr);  // never written
    nMetaTag* data = tag->FindPath("BinaryKnot:Data;");
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->GetValue().GetBinaryLength(), 9 * 1 + 37 * 6);

    nCurve back;
    nLogCapture log;
    ASSERT_TRUE(back.Deserialize(nullptr, tag.get()));
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_EQ(back.GetPostBehavior(), LoopConstant);
    ASSERT_EQ(back.GetKeyCount(), curve.GetKeyCount());
    for (uint32_t i = 0; i < curve.GetKeyCount(); ++i) {
        const nCurvePoint* a = curve.GetKey(i);
        const nCurvePoint* b = back.GetKey(i);
        EXPECT_EQ(a->type, b->type);
        EXPECT_EQ(a->time, b->time);
        EXPECT_EQ(a->value, b->value);
        EXPECT_EQ(a->tension, b->tension);
        EXPECT_EQ(a->continuity, b->continuity);
        EXPECT_EQ(a->bias, b->bias);
        EXPECT_EQ(a->handle0, b->handle0);
        EXPECT_EQ(a->handle1, b->handle1);
        EXPECT_EQ(a->handle2, b->handle2);
        EXPECT_EQ(a->handle3, b->handle3);
    }
    for (float t = -0.5f; t < 3.5f; t += 0.1f) EXPECT_EQ(Eval(curve, t), Eval(back, t));

    nCurve empty;
    std::unique_ptr<nMetaTag> emptyTag(empty.Serialize(nullptr));
    EXPECT_EQ(emptyTag->GetChildCount(), 0);
}

TEST(CurveNML, BinaryCountIsCheckedAgainstTheData)
{
    // Two linear records and a third cut short, while Count claims a million.
    uint8_t data[9 * 2 + 5] = {};
    data[0] = 1;  // key 0: linear, time 0, value 0
    data[9] = 1;  // key 1: linear, time 0, value 1.0f
    data[16] = 0x80;
    data[17] = 0x3f;
    data[18] = 1;  // key 2: cut short
    std::unique_ptr<nMetaTag> tag(new nMetaTag("Curve"));
    nMetaTag* knots = Child(tag.get(), new nMetaTag("BinaryKnot"));
    Child(knots, new nMetaTag("Count", 1000000));
    Child(knots, new nMetaTag("Data", data, (int32_t)sizeof(data)));
    nCurve curve;
    nLogCapture log;
    ASSERT_TRUE(curve.Deserialize(nullptr, tag.get()));
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"[*] BinaryKnot data holds 2 of 1000000 keys, reading those.\n"});
    ASSERT_EQ(curve.GetKeyCount(), 2u);
    EXPECT_EQ(curve.GetKey(1)->value, 1.0f);

    // A full record announced by its type byte but cut short is not read either.
    uint8_t shortFull[20] = {2};
    knots->GetChildren().Clear(true);
    Child(knots, new nMetaTag("Count", 1));
    Child(knots, new nMetaTag("Data", shortFull, 20));
    log.Clear();
    ASSERT_TRUE(curve.Deserialize(nullptr, tag.get()));
    EXPECT_EQ(curve.GetKeyCount(), 0u);

    // Without Data, or with Data that is not binary, the tag is skipped.
    knots->GetChildren().Clear(true);
    Child(knots, new nMetaTag("Count", 1));
    Child(knots, new nMetaTag("Data", "text"));
    ASSERT_TRUE(curve.Deserialize(nullptr, tag.get()));
    EXPECT_EQ(curve.GetKeyCount(), 0u);
}

TEST(CurveNML, KnotListsTextAndKinds)
{
    std::unique_ptr<nMetaTag> tag = KnotList(4, {{"Knot", "1,5:2,5"}, {"Knot", "3"}, {"KnotEx", "2:3:5"}, {"KnotEx", "4:5:1:0.1:0.2:0.3:0.4:0.5:0.6:0.7"}});
    nCurve curve;
    nLogCapture log;
    ASSERT_TRUE(curve.Deserialize(nullptr, tag.get()));
    EXPECT_TRUE(log.Lines().empty());
    ASSERT_EQ(curve.GetKeyCount(), 4u);
    EXPECT_EQ(curve.GetKey(0)->type, CurveKeyLinear);
    EXPECT_FLOAT_EQ(curve.GetKey(0)->time, 1.5f);  // ',' is a decimal separator here
    EXPECT_FLOAT_EQ(curve.GetKey(0)->value, 2.5f);
    EXPECT_FLOAT_EQ(curve.GetKey(1)->time, 3.0f);
    EXPECT_EQ(curve.GetKey(1)->value, 0.0f);  // no ':' gives value 0
    const nCurvePoint* bez = curve.GetKey(2);
    EXPECT_EQ(bez->type, CurveKeyBezier);
    EXPECT_EQ(bez->time, 2.0f);
    EXPECT_EQ(bez->value, 5.0f);
    for (float f : {bez->tension, bez->continuity, bez->bias, bez->handle0, bez->handle1, bez->handle2, bez->handle3})
        EXPECT_EQ(f, -1.0f);  // missing trailing fields read as -1
    const nCurvePoint* tcb = curve.GetKey(3);
    EXPECT_EQ(tcb->type, CurveKeyTCB);
    EXPECT_FLOAT_EQ(tcb->handle3, 0.7f);

    struct Kind
    {
        const char* text;
        int32_t type;
    };
    const Kind kinds[] = {{"0:1:0", CurveKeyLinear}, {"0:2:0", CurveKeyTangent2}, {"0:3:0", CurveKeyBezier}, {"0:4:0", CurveKeyTangent}, {"0:5:0", CurveKeyTCB}, {"0:6:0", CurveKeyStep}, {"0:7:0", CurveKeyNone}, {"0", CurveKeyNone}};
    for (const Kind& k : kinds) {
        SCOPED_TRACE(k.text);
        std::unique_ptr<nMetaTag> one = KnotList(1, {{"KnotEx", k.text}});
        ASSERT_TRUE(curve.Deserialize(nullptr, one.get()));
        EXPECT_EQ(curve.GetKey(0)->type, k.type);
    }
}

TEST(CurveNML, KnotListFailures)
{
    struct Case
    {
        const char* name;
        std::unique_ptr<nMetaTag> tag;
        bool ok;
        uint32_t keys;
        std::vector<std::string> lines;
    };
    std::vector<Case> cases;
    cases.push_back({"short list", KnotList(3, {{"Knot", "0:1"}, {"Knot", "1:2"}}), false, 0, {"[!] <Curve> is corrupted, discarding.\n"}});
    cases.push_back({"huge count", KnotList(2000000000, {{"Knot", "0:1"}}), false, 0, {"[!] <Curve> is corrupted, discarding.\n"}});
    cases.push_back({"too many", KnotList(1, {{"Knot", "0:1"}, {"Knot", "1:2"}, {"Knot", "2:3"}}), true, 1, {"[!] Too many knot in <Curve>, 1 expected.\n"}});
    cases.push_back({"too many ex", KnotList(1, {{"Knot", "0:1"}, {"KnotEx", "1:1:2"}}), true, 1, {"[!] Too many knot in <Knot>, 1 specified.\n"}});
    cases.push_back({"odd children", KnotList(1, {{"Comment", "x"}, {"Knot", "0:1"}}), true, 1, {"[*] Unsupported knot tag 'Comment'.\n"}});
    {
        std::unique_ptr<nMetaTag> t = KnotList(2, {{"Knot", "0:1"}});
        nMetaTag* list = t->FindPath("Knot;");
        Child(list, new nMetaTag("Knot", 5));
        Child(list, new nMetaTag("KnotEx", 1.5f));
        cases.push_back({"not strings", std::move(t), false, 0, {"[*] Invalid knot tag while parsing curve.\n", "[*] Invalid extended knot tag while parsing curve.\n", "[!] <Curve> is corrupted, discarding.\n"}});
    }
    {
        std::unique_ptr<nMetaTag> t(new nMetaTag("Curve"));
        nMetaTag* list = Child(t.get(), new nMetaTag("Knot"));
        Child(list, new nMetaTag("Knot", "0:1"));
        Child(list, new nMetaTag("Count", 1));
        cases.push_back({"count not first", std::move(t), false, 0, {"[!] First sub-tag in <Curve> must be the knot <Count> tag.\n"}});
    }
    {
        std::unique_ptr<nMetaTag> t = KnotList(1, {{"Knot", "0:1"}});
        Child(t.get(), new nMetaTag("PostBehavior", "OffsetRepeat"));
        Child(t.get(), new nMetaTag("PreBehavior", "Reset"));
        Child(t.get(), new nMetaTag("PostBehavior", "Bounce"));
        Child(t.get(), new nMetaTag("Extra", 1));
        cases.push_back({"behaviours", std::move(t), true, 1, {"[*] Unknown loop mode 'Bounce'.\n", "[*] Unknown tag 'Extra' in <Curve>.\n"}});
    }
    cases.push_back({"wrong root", std::unique_ptr<nMetaTag>(new nMetaTag("Curves")), false, 0, {"[!] Could not parse curve. Root tag id is incorrect (Curves).\n"}});

    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        nCurve curve;
        nLogCapture log;
        EXPECT_EQ(curve.Deserialize(nullptr, c.tag.get()), c.ok);
        EXPECT_EQ(curve.GetKeyCount(), c.keys);
        EXPECT_EQ(log.Lines(), c.lines);
    }

    nCurve curve;
    std::unique_ptr<nMetaTag> t = KnotList(1, {{"Knot", "0:1"}});
    Child(t.get(), new nMetaTag("PostBehavior", "OffsetRepeat"));
    ASSERT_TRUE(curve.Deserialize(nullptr, t.get()));
    EXPECT_EQ(curve.GetPostBehavior(), LoopOffsetRepeat);
}

// Quaternion tracks.

const float kHalfSqrt = 0.70710678f;

TEST(QuaternionTrack, SlerpBetweenKeysAndLoops)
{
    nQuaternionTrack track;
    ASSERT_TRUE(track.AddKey(0.0f, nQuaternion()));
    ASSERT_TRUE(track.AddKey(1.0f, nQuaternion(0, kHalfSqrt, 0, kHalfSqrt)));  // 90 degrees about Y
    nQuaternion q;
    track.Evaluate(0.5f, q, LoopConstant, kFirst, kLast);
    EXPECT_NEAR(q.y, 0.38268f, 1e-5f);
    EXPECT_NEAR(q.w, 0.92388f, 1e-5f);

    struct Case
    {
        float t;
        int32_t mode;
        float same;
    };
    const Case cases[] = {{1.25f, LoopRepeat, 0.25f}, {1.25f, LoopOffsetRepeat, 0.25f}, {1.25f, LoopOscillate, 0.75f}, {-0.25f, LoopOscillate, 0.25f}, {3.0f, LoopConstant, 1.0f}, {-3.0f, LoopConstant, 0.0f}, {NAN, LoopRepeat, 0.0f}, {INFINITY, LoopOscillate, 0.0f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.t);
        nQuaternion a, b;
        track.Evaluate(c.t, a, c.mode, kFirst, kLast);
        track.Evaluate(c.same, b, LoopConstant, kFirst, kLast);
        EXPECT_NEAR(a.x, b.x, 1e-5f);
        EXPECT_NEAR(a.y, b.y, 1e-5f);
        EXPECT_NEAR(a.z, b.z, 1e-5f);
        EXPECT_NEAR(a.w, b.w, 1e-5f);
    }
    track.Evaluate(1.5f, q, LoopReset, kFirst, kLast);
    EXPECT_EQ(q.y, 0.0f);
    EXPECT_EQ(q.w, 1.0f);
}

TEST(QuaternionTrack, OneKey)
{
    nQuaternionTrack track;
    nQuaternion out(1, 2, 3, 4);
    track.Evaluate(0.0f, out, LoopConstant, kFirst, kLast);  // no key: the identity
    EXPECT_EQ(out.w, 1.0f);
    const nQuaternion key(0, 0, kHalfSqrt, kHalfSqrt);
    track.AddKey(2.0f, key);
    for (int32_t mode = 1; mode <= 4; ++mode)
        for (float t : {-1.0f, 2.0f, 5.0f}) {
            track.Evaluate(t, out, mode, kFirst, kLast);
            EXPECT_EQ(out.z, key.z) << "mode " << mode << " t " << t;
        }
    track.Evaluate(2.0f, out, LoopReset, kFirst, kLast);
    EXPECT_EQ(out.z, key.z);
    track.Evaluate(2.5f, out, LoopReset, kFirst, kLast);
    EXPECT_EQ(out.z, 0.0f);
    EXPECT_EQ(out.w, 1.0f);
}

TEST(QuaternionTrackNML, BinaryRoundTripAndShortData)
{
    nQuaternionTrack track;
    track.AddKey(0.0f, nQuaternion());
    track.AddKey(0.5f, nQuaternion(0, kHalfSqrt, 0, kHalfSqrt));
    track.AddKey(2.0f, nQuaternion(kHalfSqrt, 0, 0, kHalfSqrt));
    std::unique_ptr<nMetaTag> tag(track.Serialize(nullptr));
    ASSERT_TRUE(tag);
    EXPECT_EQ(tag->FindPath("BinaryKeys:Data;")->GetValue().GetBinaryLength(), 60);
    nQuaternionTrack back;
    ASSERT_TRUE(back.Deserialize(nullptr, tag.get()));
    ASSERT_EQ(back.GetKeyCount(), 3u);
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(back.GetKey(i)->time, track.GetKey(i)->time);
        EXPECT_EQ(back.GetKey(i)->value.x, track.GetKey(i)->value.x);
        EXPECT_EQ(back.GetKey(i)->value.w, track.GetKey(i)->value.w);
    }

    nMetaTag* count = tag->FindPath("BinaryKeys:Count;");
    count->GetValue().SetInt(500);
    nLogCapture log;
    ASSERT_TRUE(back.Deserialize(nullptr, tag.get()));
    EXPECT_EQ(back.GetKeyCount(), 3u);
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"[*] BinaryKeys data holds 3 of 500 keys, reading those.\n"});

    nQuaternionTrack empty;
    std::unique_ptr<nMetaTag> emptyTag(empty.Serialize(nullptr));
    EXPECT_EQ(emptyTag->GetChildCount(), 0);
}

TEST(QuaternionTrackNML, TextKeys)
{
    std::unique_ptr<nMetaTag> tag(new nMetaTag("QChannel"));
    nMetaTag* keys = Child(tag.get(), new nMetaTag("Keys"));
    Child(keys, new nMetaTag("Key", "0:0,0,0,1"));
    Child(keys, new nMetaTag("Note", "ignored without a message"));
    Child(keys, new nMetaTag("Key", 3));
    Child(keys, new nMetaTag("Key", "1.5:0,0.5,0,0.75"));
    Child(keys, new nMetaTag("Key", "2:1,0,0"));  // four numbers: the reading stops
    Child(keys, new nMetaTag("Key", "3:0,0,0,1"));
    Child(tag.get(), new nMetaTag("Speed", 1));
    nQuaternionTrack track;
    nLogCapture log;
    EXPECT_FALSE(track.Deserialize(nullptr, tag.get()));
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"[*] Invalid key tag while parsing quaternion channel.\n",
                                                     "[*] Mangled keyframe tag while parsing quaternion channel.\n"}));
    ASSERT_EQ(track.GetKeyCount(), 2u);
    EXPECT_EQ(track.GetKey(1)->time, 1.5f);
    EXPECT_EQ(track.GetKey(1)->value.y, 0.5f);
    EXPECT_EQ(track.GetKey(1)->value.w, 0.75f);

    keys->GetChildren().Clear(true);
    Child(keys, new nMetaTag("Key", "1,5:0,0,0,1"));  // ',' is no decimal separator here
    log.Clear();
    EXPECT_TRUE(track.Deserialize(nullptr, tag.get()));
    EXPECT_EQ(track.GetKey(0)->time, 1.0f);
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"[*] Unknown tag 'Speed' in <QChannel>.\n"});

    nMetaTag wrong("Channel");
    log.Clear();
    EXPECT_FALSE(track.Deserialize(nullptr, &wrong));
    EXPECT_EQ(log.Lines(),
              std::vector<std::string>{"[!] Could not parse motion quaternion channel. Root tag id is incorrect (Channel).\n"});
}

}
