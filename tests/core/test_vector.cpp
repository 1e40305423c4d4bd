#include "core/nMatrix.h"
#include "core/nMetaTag.h"
#include "core/nRandom.h"
#include "core/nVector.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nMathExpect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

}  // namespace

// ---------------------------------------------------------------------------------------------
// Arithmetic

TEST(Vector, NewVectorIsOriginPoint)
{
    nVector v;
    EXPECT_TRUE(Vector4Near(v, nVector(0, 0, 0, 1), 0.0f));
}

TEST(Vector, ArithmeticWorksOnXyzAndGivesWOne)
{
    const nVector a(1, 2, 3, 7), b(4, -5, 6, 9);
    struct Case
    {
        const char* what;
        nVector got, want;
    };
    const Case cases[] = {
        {"a + b", a + b, nVector(5, -3, 9, 1)},
        {"a - b", a - b, nVector(-3, 7, -3, 1)},
        {"-a", -a, nVector(-1, -2, -3, 1)},
        {"a * 2", a * 2.0f, nVector(2, 4, 6, 1)},
        {"a * b", a * b, nVector(4, -10, 18, 1)},
        {"a / 2", a / 2.0f, nVector(0.5f, 1, 1.5f, 1)},
        {"a / b", a / b, nVector(0.25f, -0.4f, 0.5f, 1)},
        {"a x b", a.Cross(b), nVector(2 * 6 - 3 * -5, 3 * 4 - 1 * 6, 1 * -5 - 2 * 4, 1)},
        {"|b|", b.Abs(), nVector(4, 5, 6, 1)},
        {"min", VectorMin(a, b), nVector(1, -5, 3, 1)},
        {"max", VectorMax(a, b), nVector(4, 2, 6, 1)},
        {"clamp", nVector(-2, 0.5f, 9, 5).Clamp(0, 1), nVector(0, 0.5f, 1, 1)},
        {"clamp by vectors", nVector(-2, 0.5f, 9).Clamp(nVector(-1, 1, 2), nVector(0, 2, 3)), nVector(-1, 1, 3, 1)},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(Vector4Near(c.got, c.want, 1e-6f)) << c.what;
}

TEST(Vector, CrossIsPerpendicularAndRightHanded)
{
    const nVector x(1, 0, 0), y(0, 1, 0);
    EXPECT_TRUE(VectorNear(x.Cross(y), nVector(0, 0, 1), 0.0f));
    const nVector a(0.3f, -1.2f, 2.5f), b(-4, 0.5f, 1);
    const nVector c = a.Cross(b);
    EXPECT_NEAR(c.Dot(a), 0.0f, 1e-5f);
    EXPECT_NEAR(c.Dot(b), 0.0f, 1e-5f);
}

TEST(Vector, DivisionByZeroScalarGivesZeroVector)
{
    EXPECT_TRUE(Vector4Near(nVector(3, -4, 5, 2) / 0.0f, nVector(0, 0, 0, 1), 0.0f));
}

TEST(Vector, DotAndDistancesIgnoreW)
{
    const nVector a(1, 2, 3, 100), b(4, 6, 3, -50);
    EXPECT_FLOAT_EQ(a.Dot(b), 4 + 12 + 9);
    EXPECT_FLOAT_EQ(a.DistanceSquared(b), 25);
    EXPECT_FLOAT_EQ(a.Distance(b), 5);
}

TEST(Vector, NormalizeGivesUnitLengthOrZeroBelowOneMillionth)
{
    EXPECT_TRUE(Vector4Near(nVector(3, 0, 4, 8).Normalize(), nVector(0.6f, 0, 0.8f, 1), 1e-7f));
    EXPECT_TRUE(Vector4Near(nVector(0.0000001f, 0, 0).Normalize(), nVector(0, 0, 0, 1), 0.0f));
    EXPECT_TRUE(Vector4Near(nVector(0, 0, 0).Normalize(), nVector(0, 0, 0, 1), 0.0f));
    const nVector n = nVector(0.000002f, 0, 0).Normalize();  // just above the limit: still a direction
    EXPECT_TRUE(VectorNear(n, nVector(1, 0, 0), 1e-6f));
    const nVector big = nVector(1e18f, -2e18f, 2e18f).Normalize();
    EXPECT_NEAR(big.Length(), 1.0f, 1e-6f);
}

TEST(Vector, ClampLengthKeepsDirection)
{
    struct Case
    {
        nVector in;
        float lo, hi;
        nVector want;
    };
    const Case cases[] = {
        {nVector(0, 0, 3), 1, 2, nVector(0, 0, 2, 1)},
        {nVector(0, 0, 1.5f, 7), 1, 2, nVector(0, 0, 1.5f, 7)},  // inside: unchanged, w kept
        {nVector(0, 0, 0, 7), 1, 2, nVector(0, 0, 0, 7)},        // zero: unchanged
        {nVector(0.3f, 0, 0.4f), 1, 2, nVector(0.6f, 0, 0.8f, 1)},
        {nVector(-30, 40, 0), 0, 10, nVector(-6, 8, 0, 1)},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(Vector4Near(c.in.ClampLength(c.lo, c.hi), c.want, 1e-6f))
            << c.in.x << "," << c.in.y << "," << c.in.z << " into [" << c.lo << ", " << c.hi << "]";
}

TEST(Vector, FaceForwardFlipsWhenFacingTheReference)
{
    const nVector v(1, 2, 3, 5);
    EXPECT_TRUE(Vector4Near(v.FaceForward(nVector(0, 0, 1)), nVector(-1, -2, -3, 1), 0.0f));
    EXPECT_TRUE(Vector4Near(v.FaceForward(nVector(3, 0, -1)), nVector(-1, -2, -3, 1), 0.0f));  // perpendicular
    EXPECT_TRUE(Vector4Near(v.FaceForward(nVector(0, 0, -1)), v, 0.0f));                       // w kept
}

TEST(Vector, TransformIncludesTranslationRotateDoesNot)
{
    nMatrix4 m = nMatrix4::ComposeEuler(nVector(10, 20, 30), nVector(0, 0, 1.5707964f), nVector(1, 1, 1), nVector(0, 0, 0));
    const nVector p(1, 0, 0, 4);
    EXPECT_TRUE(Vector4Near(p.Transform(m), nVector(10, 21, 30, 1), 1e-5f));
    const nMatrix3 r = nMatrix3::RotationZ(1.5707964f);
    EXPECT_TRUE(Vector4Near(p.Rotate(r), nVector(0, 1, 0, 1), 1e-6f));

    nVector q = p;
    q.TransformSelf(m);
    EXPECT_TRUE(Vector4Near(q, nVector(10, 21, 30, 4), 1e-5f));
    q = p;
    q.RotateSelf(r);
    EXPECT_TRUE(Vector4Near(q, nVector(0, 1, 0, 4), 1e-6f));
}

TEST(Vector, RandomDrawsXThenYThenZFromTheEngineGenerator)
{
    nRandSeed(1234);
    const float x = nRandRange(-2, 5), y = nRandRange(-2, 5), z = nRandRange(-2, 5);
    nRandSeed(1234);
    const nVector v = nVector::Random(-2, 5);
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
    EXPECT_EQ(v.z, z);
    EXPECT_EQ(v.w, 1.0f);
}

TEST(Vector, ScalarHelpers)
{
    EXPECT_EQ(nClamp(-1, 0, 1), 0);
    EXPECT_EQ(nClamp(2, 0, 1), 1);
    EXPECT_EQ(nClamp(0.25f, 0, 1), 0.25f);
    EXPECT_TRUE(std::isnan(nClamp(kNaN, 0, 1)));

    EXPECT_TRUE(IsNearlyEqual(1.0f, 1.05f, 0.1f));
    EXPECT_FALSE(IsNearlyEqual(1.0f, 1.5f, 0.5f));  // strictly less than epsilon

    const nVector a(1, 2, 3);
    EXPECT_TRUE(a.IsNearlyEqual(nVector(1.0000005f, 2, 3, 9)));
    EXPECT_FALSE(a.IsNearlyEqual(nVector(1, 2, 3.00001f)));
}

// ---------------------------------------------------------------------------------------------
// Colours

TEST(VectorColor, PackTruncatesEachChannelIntoItsByte)
{
    struct Case
    {
        float c;
        uint32_t byte;
    };
    const Case cases[] = {
        {0.0f, 0},
        {0.5f, 127},
        {0.999f, 254},
        {1.0f, 255},
        {0.25f, 63},
        {1.0f / 255.0f, 1},
        // Out of range and NaN clamp instead of wrapping through the bit pattern.
        {1.2f, 255},
        {-0.1f, 0},
        {1000.0f, 255},
        {-1000.0f, 0},
        {kNaN, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(nVector(c.c, 0, 0, 0).PackColor(), c.byte) << "red " << c.c;
        EXPECT_EQ(nVector(0, 0, 0, c.c).PackColor(), c.byte << 24) << "alpha " << c.c;
    }
}

TEST(VectorColor, PackPlacesRedLowAndAlphaHigh)
{
    EXPECT_EQ(nVector(1, 0.5f, 0, 1).PackColor(), 0xff007fffu);
    EXPECT_EQ(nVector(0, 0, 1, 0).PackColor(), 0x00ff0000u);
}

TEST(VectorColor, UnpackScalesEachByteIncludingAlpha)
{
    const nVector c = nVector::UnpackColor(0xff007fffu);
    EXPECT_EQ(c.x, 1.0f);
    EXPECT_EQ(c.y, 127 * 0.003921569f);
    EXPECT_EQ(c.z, 0.0f);
    EXPECT_EQ(c.w, 1.0f);
}

TEST(VectorColor, EveryByteSurvivesUnpackAndPack)
{
    for (uint32_t b = 0; b < 256; ++b) {
        const uint32_t packed = b | ((255 - b) << 8) | (((b * 7) & 0xff) << 16) | (b << 24);
        EXPECT_EQ(nVector::UnpackColor(packed).PackColor(), packed) << b;
    }
}

// ---------------------------------------------------------------------------------------------
// Diagnostics

TEST(VectorDump, WritesOneScriptLineWithThreeDecimals)
{
    nLogCapture cap;
    nVector(1.5f, -2, 0.12345f).Dump("pos");
    nVector(0, 1, 2).Dump(nullptr);
    EXPECT_EQ(cap.Lines(), (std::vector<std::string>{"[S] Vector 'pos' = {1.500,-2.000,0.123}\n",
                                                     "[S] Vector = {0.000,1.000,2.000}\n"}));
}

// ---------------------------------------------------------------------------------------------
// NML form

namespace {

std::vector<std::string> ChildNames(nMetaTag* tag)
{
    std::vector<std::string> names;
    nMetaTagIterator it;
    for (nMetaTag* c = tag->NextChild(it); c; c = tag->NextChild(it))
        names.push_back(c->GetName().GetCStr() ? c->GetName().GetCStr() : "");
    return names;
}

std::vector<float> ChildFloats(nMetaTag* tag)
{
    std::vector<float> values;
    nMetaTagIterator it;
    for (nMetaTag* c = tag->NextChild(it); c; c = tag->NextChild(it)) {
        float f = -999;
        EXPECT_TRUE(c->GetValue().GetFloat(&f)) << "child is not a float";
        values.push_back(f);
    }
    return values;
}

}  // namespace

TEST(VectorTag, WritesNamedFloatChildren)
{
    const nVector v(1.5f, -2, 0.1f, 0.25f);
    nMetaTag* tag = v.ToMetaTag(nullptr, false);
    ASSERT_NE(tag, nullptr);
    EXPECT_STREQ(tag->GetName().GetCStr(), "Vector");
    EXPECT_EQ(ChildNames(tag), (std::vector<std::string>{"X", "Y", "Z"}));
    EXPECT_EQ(ChildFloats(tag), (std::vector<float>{1.5f, -2, 0.1f}));
    delete tag;

    tag = v.ToMetaTag("Position", true);
    ASSERT_NE(tag, nullptr);
    EXPECT_STREQ(tag->GetName().GetCStr(), "Position");
    EXPECT_EQ(ChildNames(tag), (std::vector<std::string>{"X", "Y", "Z", "W"}));
    EXPECT_EQ(ChildFloats(tag), (std::vector<float>{1.5f, -2, 0.1f, 0.25f}));
    delete tag;
}

TEST(VectorTag, ReadsChildrenByPositionWhateverTheirNames)
{
    nMetaTag tag("Vector");
    tag.AddChild(new nMetaTag("A", 4.0f));
    tag.AddChild(new nMetaTag("B", 5.5f));
    tag.AddChild(new nMetaTag("C", -6.0f));
    nVector v(0, 0, 0, 9);
    ASSERT_TRUE(v.FromMetaTag(&tag));
    EXPECT_TRUE(Vector4Near(v, nVector(4, 5.5f, -6, 9), 0.0f));  // no fourth child: w kept

    tag.AddChild(new nMetaTag("D", 0.5f));
    tag.AddChild(new nMetaTag("E", 7.0f));  // beyond the fourth: ignored
    ASSERT_TRUE(v.FromMetaTag(&tag));
    EXPECT_TRUE(Vector4Near(v, nVector(4, 5.5f, -6, 0.5f), 0.0f));
}

TEST(VectorTag, FewerThanThreeChildrenFailsAndChangesNothing)
{
    nMetaTag tag("Vector");
    tag.AddChild(new nMetaTag("X", 1.0f));
    tag.AddChild(new nMetaTag("Y", 2.0f));
    nVector v(7, 8, 9, 3);
    EXPECT_FALSE(v.FromMetaTag(&tag));
    EXPECT_FALSE(v.FromMetaTag(nullptr));
    nMetaTag valued("Vector", 1.0f);
    EXPECT_FALSE(v.FromMetaTag(&valued));
    EXPECT_TRUE(Vector4Near(v, nVector(7, 8, 9, 3), 0.0f));
}

TEST(VectorTag, IntegerChildrenAreConvertedNotReinterpreted)
{
    nMetaTag tag("Vector");
    tag.AddChild(new nMetaTag("X", (int32_t)3));
    tag.AddChild(new nMetaTag("Y", -2.5f));
    tag.AddChild(new nMetaTag("Z", (int32_t)-7));
    nVector v;
    ASSERT_TRUE(v.FromMetaTag(&tag));
    EXPECT_TRUE(VectorNear(v, nVector(3, -2.5f, -7), 0.0f));
}

TEST(VectorTag, RoundTripsExactly)
{
    const nVector v(0.1f, -123.456f, 1e-7f, 3.25f);
    nMetaTag* tag = v.ToMetaTag(nullptr, true);
    ASSERT_NE(tag, nullptr);
    nVector back;
    ASSERT_TRUE(back.FromMetaTag(tag));
    EXPECT_TRUE(Vector4Near(back, v, 0.0f));
    delete tag;
}

TEST(Vector2Tag, WritesAndReadsTwoChildren)
{
    nMetaTag* tag = nVector2(0.25f, -4).ToMetaTag(nullptr);
    ASSERT_NE(tag, nullptr);
    EXPECT_STREQ(tag->GetName().GetCStr(), "Vector2");
    EXPECT_EQ(ChildNames(tag), (std::vector<std::string>{"X", "Y"}));
    nVector2 v;
    ASSERT_TRUE(v.FromMetaTag(tag));
    EXPECT_EQ(v.x, 0.25f);
    EXPECT_EQ(v.y, -4.0f);
    delete tag;

    nMetaTag one("UV");
    one.AddChild(new nMetaTag("U", 1.0f));
    nVector2 keep(5, 6);
    EXPECT_FALSE(keep.FromMetaTag(&one));
    EXPECT_EQ(keep.x, 5.0f);
    EXPECT_EQ(keep.y, 6.0f);
}
