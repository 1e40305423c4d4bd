#include "core/nQuaternion.h"
#include "tests/support/nMathExpect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

const float kPi = 3.14159265f;

::testing::AssertionResult QuatNear(const nQuaternion& a, const nQuaternion& b, float eps)
{
    return Vector4Near(nVector(a.x, a.y, a.z, a.w), nVector(b.x, b.y, b.z, b.w), eps);
}

// q and -q are the same rotation.
::testing::AssertionResult SameRotation(const nQuaternion& a, const nQuaternion& b, float eps)
{
    if (a.Dot(b) < 0)
        return QuatNear(a, nQuaternion(-b.x, -b.y, -b.z, -b.w), eps);
    return QuatNear(a, b, eps);
}

float Length(const nQuaternion& q) { return std::sqrt(q.Dot(q)); }

}  // namespace

TEST(Quaternion, NewQuaternionIsIdentity)
{
    EXPECT_TRUE(QuatNear(nQuaternion(), nQuaternion(0, 0, 0, 1), 0.0f));
    EXPECT_TRUE(MatrixNear(nQuaternion().ToMatrix3(), nMatrix3(), 0.0f));
}

TEST(Quaternion, ProductMatchesProductOfMatrices)
{
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> u(-3, 3);
    for (int n = 0; n < 100; ++n) {
        const nQuaternion a = nQuaternion::FromAxisAngle(u(rng), u(rng), u(rng), u(rng));
        const nQuaternion b = nQuaternion::FromAxisAngle(u(rng), u(rng), u(rng), u(rng));
        ASSERT_TRUE(MatrixNear((a * b).ToMatrix3(), a.ToMatrix3() * b.ToMatrix3(), 2e-6f));
    }
}

TEST(Quaternion, AxisAngleFollowsTheRightHandRule)
{
    const nQuaternion q = nQuaternion::FromAxisAngle(kPi / 2, 0, 0, 1);
    EXPECT_TRUE(QuatNear(q, nQuaternion(0, 0, std::sin(kPi / 4), std::cos(kPi / 4)), 1e-7f));
    EXPECT_TRUE(VectorNear(nVector(1, 0, 0).Rotate(q.ToMatrix3()), nVector(0, 1, 0), 1e-6f));
    EXPECT_TRUE(MatrixNear(nQuaternion::FromAxisAngle(0.7f, 1, 0, 0).ToMatrix3(), nMatrix3::RotationX(0.7f), 1e-6f));
    // A longer axis is normalised away together with the angle's terms, so the result is unit length.
    EXPECT_NEAR(Length(nQuaternion::FromAxisAngle(0.7f, 0, 5, 0)), 1.0f, 1e-6f);
}

TEST(Quaternion, InverseUndoesTheRotation)
{
    const nQuaternion q = nQuaternion(0.2f, -0.4f, 0.1f, 0.8f);
    EXPECT_TRUE(QuatNear(q * q.Inverse(), nQuaternion(), 1e-6f));
    EXPECT_TRUE(QuatNear(q.Inverse() * q, nQuaternion(), 1e-6f));
    EXPECT_TRUE(QuatNear(nQuaternion(0, 0, 0, 0).Inverse(), nQuaternion(0, 0, 0, 0), 0.0f));
}

TEST(Quaternion, NormalizeGivesUnitLengthAndIdentityForZero)
{
    EXPECT_TRUE(QuatNear(nQuaternion(0, 3, 0, 4).Normalize(), nQuaternion(0, 0.6f, 0, 0.8f), 1e-7f));
    // A zero quaternion has no rotation to keep; the identity keeps callers free of NaN.
    EXPECT_TRUE(QuatNear(nQuaternion(0, 0, 0, 0).Normalize(), nQuaternion(), 0.0f));
    EXPECT_TRUE(QuatNear(nQuaternion(1e-30f, 0, 0, 0).Normalize(), nQuaternion(), 0.0f));  // underflows
}

TEST(Quaternion, FromEulerGivesTheSameRotationAsTheMatrix)
{
    std::mt19937 rng(2);
    std::uniform_real_distribution<float> u(-3.1f, 3.1f);
    for (int order = 0; order <= RotationOrderXY; ++order) {
        EXPECT_TRUE(MatrixNear(nQuaternion::FromEuler(0.3f, -0.7f, 1.1f, (nRotationOrder)order).ToMatrix3(),
                               nMatrix3::FromEuler(0.3f, -0.7f, 1.1f, (nRotationOrder)order), 2e-6f))
            << "order " << order;
        for (int n = 0; n < 100; ++n) {
            const float x = u(rng), y = u(rng), z = u(rng);
            ASSERT_TRUE(MatrixNear(nQuaternion::FromEuler(x, y, z, (nRotationOrder)order).ToMatrix3(),
                                   nMatrix3::FromEuler(x, y, z, (nRotationOrder)order), 4e-6f))
                << "order " << order;
        }
    }
    // Unknown orders read as YXZ.
    EXPECT_TRUE(QuatNear(nQuaternion::FromEuler(0.3f, -0.7f, 1.1f, (nRotationOrder)9),
                         nQuaternion::FromEuler(0.3f, -0.7f, 1.1f, RotationOrderYXZ), 0.0f));
}

TEST(Quaternion, FromMatrixInvertsToMatrix)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(-1, 1), angle(-kPi, kPi);
    for (int n = 0; n < 500; ++n) {
        const nQuaternion q = nQuaternion::FromAxisAngle(angle(rng), u(rng), u(rng), u(rng));
        const nQuaternion back = nQuaternion::FromMatrix3(q.ToMatrix3());
        ASSERT_NEAR(Length(back), 1.0f, 1e-6f);
        ASSERT_TRUE(SameRotation(back, q, 2e-6f)) << n;
    }
}

TEST(Quaternion, FromMatrixStaysAccurateNearAHalfTurn)
{
    const float angles[] = {kPi, 179.9f * kPi / 180, 179.99f * kPi / 180, 170.0f * kPi / 180};
    const nVector axes[] = {nVector(1, 0, 0), nVector(0, 1, 0), nVector(0, 0, 1), nVector(1, 2, -2).Normalize(),
                            nVector(-0.3f, 0.1f, 0.9f).Normalize()};
    for (float a : angles)
        for (const nVector& axis : axes) {
            const nQuaternion q = nQuaternion::FromAxisAngle(a, axis.x, axis.y, axis.z);
            const nQuaternion back = nQuaternion::FromMatrix3(q.ToMatrix3());
            EXPECT_TRUE(SameRotation(back, q, 2e-6f)) << "angle " << a << " axis " << axis.x << "," << axis.y << "," << axis.z;
        }
    EXPECT_TRUE(QuatNear(nQuaternion::FromMatrix3(nMatrix3::RotationX(kPi)), nQuaternion(1, 0, 0, 0), 1e-6f));
}

// Whichever component is largest, a matrix with a not-a-number entry gives the identity, and a
// rotation scaled a little off unit length still gives a unit quaternion of that rotation.
TEST(Quaternion, FromMatrixOfDamagedRotations)
{
    const nVector axes[] = {nVector(1, 0, 0), nVector(0, 1, 0), nVector(0, 0, 1), nVector(1, 2, -2).Normalize()};
    const float angles[] = {0.3f, 3.0f};  // w largest, then each of x, y, z largest
    for (const nVector& axis : axes)
        for (float a : angles) {
            const nQuaternion q = nQuaternion::FromAxisAngle(a, axis.x, axis.y, axis.z);
            nMatrix3 scaled = q.ToMatrix3();
            for (float& v : scaled.m) v *= 1.002f;
            const nQuaternion back = nQuaternion::FromMatrix3(scaled);
            EXPECT_NEAR(Length(back), 1.0f, 1e-6f);
            EXPECT_TRUE(SameRotation(back, q, 1e-3f)) << a;
            for (int entry = 0; entry < 9; ++entry) {
                nMatrix3 broken = q.ToMatrix3();
                broken.m[entry] = std::nanf("");
                EXPECT_TRUE(QuatNear(nQuaternion::FromMatrix3(broken), nQuaternion(), 0.0f)) << "entry " << entry << " angle " << a;
            }
        }
}

TEST(QuaternionSlerp, HalfwayToAQuarterTurnAboutY)
{
    const nQuaternion a, b = nQuaternion::FromAxisAngle(kPi / 2, 0, 1, 0);
    const nQuaternion want(0, 0.38268343f, 0, 0.92387953f);
    EXPECT_TRUE(QuatNear(nQuaternion::Slerp(0.5f, a, b), want, 1e-6f));
    EXPECT_TRUE(QuatNear(nQuaternion::Slerp(0.5f, a, nQuaternion(-b.x, -b.y, -b.z, -b.w)), want, 1e-6f));  // shorter arc
}

TEST(QuaternionSlerp, FollowsTheArcAtConstantSpeed)
{
    const float h = std::sqrt(0.5f);
    const nQuaternion a = nQuaternion::FromAxisAngle(0.2f, h, h, 0), b = nQuaternion::FromAxisAngle(2.4f, h, h, 0);
    const float ts[] = {0.0f, 0.1f, 0.37f, 0.8f, 1.0f, 1.25f, -0.5f};  // t is not clamped
    for (float t : ts) {
        const float angle = 0.2f + t * (2.4f - 0.2f);
        EXPECT_TRUE(SameRotation(nQuaternion::Slerp(t, a, b), nQuaternion::FromAxisAngle(angle, h, h, 0), 2e-6f)) << t;
    }
}

TEST(QuaternionSlerp, CloseQuaternionsBlendLinearly)
{
    const nQuaternion a(0, 0, 0, 1), b(0.2f, 0, 0, 0.98f);  // dot 0.98: within the linear threshold
    const nQuaternion got = nQuaternion::Slerp(0.25f, a, b);
    const nQuaternion want = nQuaternion(0.25f * 0.2f, 0, 0, 0.75f + 0.25f * 0.98f).Normalize();
    EXPECT_TRUE(QuatNear(got, want, 1e-7f));
    EXPECT_NEAR(Length(got), 1.0f, 1e-6f);
}
