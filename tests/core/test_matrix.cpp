#include "core/nMatrix.h"
#include "core/nMetaTag.h"
#include "tests/support/nMathExpect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

const float kPi = 3.14159265f;
const nVector kZero(0, 0, 0);

// The rotation order's defining product of axis rotations, built independently of FromEuler.
nMatrix3 AxisProduct(float x, float y, float z, nRotationOrder order)
{
    const nMatrix3 X = nMatrix3::RotationX(x), Y = nMatrix3::RotationY(y), Z = nMatrix3::RotationZ(z);
    switch (order) {
        case RotationOrderZYX: return Z * Y * X;
        case RotationOrderYZX: return Y * Z * X;
        case RotationOrderZXY: return Z * X * Y;
        case RotationOrderXZY: return X * Z * Y;
        case RotationOrderYXZ: return Y * X * Z;
        case RotationOrderXYZ: return X * Y * Z;
        default: return X * Y;
    }
}

nMatrix4 NaiveProduct(const nMatrix4& a, const nMatrix4& b)
{
    nMatrix4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double s = 0;
            for (int k = 0; k < 4; ++k)
                s += (double)a.m[4 * i + k] * b.m[4 * k + j];
            r.m[4 * i + j] = (float)s;
        }
    return r;
}

nMatrix4 RandomMatrix(std::mt19937& rng)
{
    std::uniform_real_distribution<float> u(-3, 3);
    nMatrix4 m;
    for (float& e : m.m)
        e = u(rng);
    return m;
}

// Columns orthonormal and right-handed.
::testing::AssertionResult IsRotation(const nMatrix3& m, float eps)
{
    const nMatrix3 mtm = m.Transpose() * m;
    if (!MatrixNear(mtm, nMatrix3(), eps))
        return ::testing::AssertionFailure() << "columns not orthonormal: " << MatrixNear(mtm, nMatrix3(), eps).message();
    const float det = m.GetColumn(0).Dot(m.GetColumn(1).Cross(m.GetColumn(2)));
    if (std::fabs(det - 1) > eps)
        return ::testing::AssertionFailure() << "determinant " << det;
    return ::testing::AssertionSuccess();
}

const nRotationOrder kOrders[] = {RotationOrderZYX, RotationOrderYZX, RotationOrderZXY, RotationOrderXZY,
                                  RotationOrderYXZ, RotationOrderXYZ, RotationOrderXY};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Storage and access

TEST(Matrix3, NewMatrixIsIdentityAndSetTakesColumns)
{
    nMatrix3 m;
    EXPECT_TRUE(MatrixNear(m, nMatrix3::Scaling(nVector(1, 1, 1)), 0.0f));
    m.Set(1, 2, 3, 4, 5, 6, 7, 8, 9);
    EXPECT_TRUE(Vector4Near(m.GetColumn(0), nVector(1, 2, 3, 1), 0.0f));
    EXPECT_TRUE(Vector4Near(m.GetColumn(2), nVector(7, 8, 9, 1), 0.0f));
    EXPECT_TRUE(Vector4Near(m.GetRow(0), nVector(1, 4, 7, 1), 0.0f));
    EXPECT_EQ(m.m[3 * 2 + 1], 6.0f);  // row 2, column 1

    m.SetRow(1, nVector(-1, -2, -3, 50));
    EXPECT_TRUE(Vector4Near(m.GetRow(1), nVector(-1, -2, -3, 1), 0.0f));
    m.SetAxes(nVector(1, 0, 0), nVector(0, 0, 1), nVector(0, -1, 0));
    EXPECT_TRUE(MatrixNear(m, nMatrix3::RotationX(kPi / 2), 1e-6f));
}

TEST(Matrix4, SetTakesColumnsAndRowThreeIsAddressable)
{
    nMatrix4 m;
    m.Set(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    EXPECT_TRUE(Vector4Near(m.GetColumn(0, false), nVector(1, 2, 3, 4), 0.0f));
    EXPECT_TRUE(Vector4Near(m.GetColumn(3, false), nVector(13, 14, 15, 16), 0.0f));
    EXPECT_TRUE(Vector4Near(m.GetColumn(3, true), nVector(13, 14, 15, 1), 0.0f));
    EXPECT_TRUE(Vector4Near(m.GetRow(1, false), nVector(2, 6, 10, 14), 0.0f));
    EXPECT_TRUE(Vector4Near(m.GetRow(1, true), nVector(2, 6, 10, 1), 0.0f));
    EXPECT_EQ(m.m[3], 13.0f);  // translation x at element 3

    m.SetColumn(2, nVector(-1, -2, -3, -4), false);
    EXPECT_TRUE(Vector4Near(m.GetColumn(2, false), nVector(-1, -2, -3, -4), 0.0f));
    m.SetColumn(2, nVector(-1, -2, -3, -4), true);
    EXPECT_EQ(m.m[14], 1.0f);
    m.SetRow(0, nVector(9, 8, 7, 6), false);
    EXPECT_TRUE(Vector4Near(m.GetRow(0, false), nVector(9, 8, 7, 6), 0.0f));
    m.SetRow(0, nVector(9, 8, 7, 6), true);
    EXPECT_EQ(m.m[3], 1.0f);
}

TEST(Matrix4, EmbedsAndExtractsTheUpperLeft)
{
    const nMatrix3 r = nMatrix3::FromEuler(0.1f, 0.2f, 0.3f, RotationOrderZYX);
    const nMatrix4 m = nMatrix4::FromMatrix3(r);
    EXPECT_TRUE(Vector4Near(m.GetColumn(3, false), nVector(0, 0, 0, 1), 0.0f));
    EXPECT_TRUE(Vector4Near(m.GetRow(3, false), nVector(0, 0, 0, 1), 0.0f));
    EXPECT_TRUE(MatrixNear(nMatrix3::FromMatrix4(m), r, 0.0f));

    const nVector p(1, 2, 3);
    EXPECT_TRUE(VectorNear(p.Transform(nMatrix4::Translation(nVector(4, 5, 6))), nVector(5, 7, 9), 0.0f));
    EXPECT_TRUE(VectorNear(p.Transform(nMatrix4::Scaling(nVector(4, 5, 6))), nVector(4, 10, 18), 0.0f));
}

// ---------------------------------------------------------------------------------------------
// Products and inverses

TEST(Matrix4, MultiplyMatchesDefinitionAndComposesTransforms)
{
    std::mt19937 rng(7);
    for (int n = 0; n < 50; ++n) {
        const nMatrix4 a = RandomMatrix(rng), b = RandomMatrix(rng);
        const nMatrix4 ab = a.Multiply(b);
        ASSERT_TRUE(MatrixNear(ab, NaiveProduct(a, b), 1e-4f));
        ASSERT_TRUE(MatrixNear(a * b, ab, 0.0f));
    }
    const nMatrix4 a = nMatrix4::ComposeEuler(nVector(1, 2, 3), nVector(0.3f, 0.2f, 0.1f), nVector(1, 2, 3), kZero);
    const nMatrix4 b = nMatrix4::ComposeEuler(nVector(-4, 0, 1), nVector(-1, 0.5f, 2), nVector(0.5f, 1, 1), kZero);
    const nVector p(0.7f, -1.1f, 2.5f);
    EXPECT_TRUE(VectorNear(p.Transform(a.Multiply(b)), p.Transform(b).Transform(a), 1e-5f));
}

TEST(Matrix4, TransformArrayUsesAllFourComponents)
{
    std::mt19937 rng(11);
    const nMatrix4 m = RandomMatrix(rng);
    std::vector<nVector> in = {nVector(1, 2, 3, 1), nVector(-1, 0.5f, 4, 0), nVector(2, 2, -2, 3)};
    std::vector<nVector> out(in.size());
    m.TransformArray(out.data(), in.data(), (int)in.size());
    for (size_t i = 0; i < in.size(); ++i)
        for (int r = 0; r < 4; ++r) {
            const nVector row = m.GetRow(r, false);
            const float want = row.x * in[i].x + row.y * in[i].y + row.z * in[i].z + row.w * in[i].w;
            const float got = r == 0 ? out[i].x : r == 1 ? out[i].y
                                              : r == 2   ? out[i].z
                                                         : out[i].w;
            EXPECT_NEAR(got, want, 1e-5f) << "vector " << i << " row " << r;
        }
    m.TransformArray(in.data(), in.data(), (int)in.size());  // in place
    for (size_t i = 0; i < in.size(); ++i)
        EXPECT_TRUE(Vector4Near(in[i], out[i], 0.0f));
}

TEST(Matrix, RotateArrayIgnoresTranslationAndGivesWOne)
{
    const nMatrix3 r = nMatrix3::FromEuler(0.4f, -0.3f, 1.2f, RotationOrderYXZ);
    nMatrix4 m = nMatrix4::FromMatrix3(r);
    m.SetColumn(3, nVector(10, 20, 30), true);
    const nVector in[2] = {nVector(1, 2, 3, 0), nVector(-4, 5, 0.5f, 7)};
    nVector out3[2], out4[2];
    r.RotateArray(out3, in, 2);
    m.RotateArray(out4, in, 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(Vector4Near(out3[i], nVector(in[i].Rotate(r).x, in[i].Rotate(r).y, in[i].Rotate(r).z, 1), 0.0f));
        EXPECT_TRUE(Vector4Near(out4[i], out3[i], 0.0f));
    }
}

TEST(Matrix3, InverseOfInvertibleMatrixGivesIdentity)
{
    nMatrix3 m;
    m.Set(2, 0.5f, -1, 1, 3, 0.25f, 0, -2, 4);
    nMatrix3 inv;
    ASSERT_TRUE(m.Inverse(inv));
    EXPECT_TRUE(MatrixNear(m * inv, nMatrix3(), 1e-6f));
    EXPECT_TRUE(MatrixNear(inv * m, nMatrix3(), 1e-6f));
}

TEST(Matrix3, InverseOfSingularMatrixFailsLeavingTheAdjugate)
{
    nMatrix3 m;
    m.Set(1, 0, 3, 2, 0, 5, 4, 0, 6);  // row 1 is zero
    nMatrix3 adj;
    EXPECT_FALSE(m.Inverse(adj));
    EXPECT_TRUE(MatrixNear(m * adj, nMatrix3::Scaling(kZero), 0.0f));  // M adj(M) = det(M) I = 0
    EXPECT_GT(std::fabs(adj.m[1]) + std::fabs(adj.m[4]) + std::fabs(adj.m[7]), 0.0f);
}

// ---------------------------------------------------------------------------------------------
// Euler angles

TEST(MatrixEuler, EachOrderIsItsProductOfAxisRotations)
{
    const float x = 0.3f, y = -0.7f, z = 1.1f;
    for (nRotationOrder order : kOrders)
        EXPECT_TRUE(MatrixNear(nMatrix3::FromEuler(x, y, z, order), AxisProduct(x, y, z, order), 1e-6f)) << "order " << order;
    // The rightmost rotation acts first: under ZYX the X axis is turned about Y then Z only.
    const nMatrix3 zyx = nMatrix3::FromEuler(x, y, z, RotationOrderZYX);
    EXPECT_TRUE(VectorNear(nVector(1, 0, 0).Rotate(zyx),
                           nVector(1, 0, 0).Rotate(nMatrix3::RotationY(y)).Rotate(nMatrix3::RotationZ(z)), 1e-6f));
}

TEST(MatrixEuler, RoundTripsTheWorkedAngles)
{
    for (nRotationOrder order : kOrders) {
        if (order == RotationOrderXY)
            continue;
        const nVector angles = nMatrix3::FromEuler(0.3f, -0.7f, 1.1f, order).ToEuler(order);
        EXPECT_TRUE(Vector4Near(angles, nVector(0.3f, -0.7f, 1.1f, 1), 2e-6f)) << "order " << order;
        EXPECT_TRUE(MatrixNear(nMatrix3::FromEulerVector(nVector(0.3f, -0.7f, 1.1f), order),
                               nMatrix3::FromEuler(0.3f, -0.7f, 1.1f, order), 0.0f));
    }
}

TEST(MatrixEuler, RoundTripsRandomAnglesWithTheMiddleAngleInRange)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> outer(-3.1f, 3.1f), middle(-1.5f, 1.5f);
    for (int order = 0; order < 6; ++order)
        for (int n = 0; n < 200; ++n) {
            const float a = outer(rng), b = middle(rng), c = outer(rng);
            // The angle taken by asin is y for ZYX and XYZ, z for YZX and XZY, x for ZXY and YXZ.
            nVector want;
            switch (order) {
                case RotationOrderZYX:
                case RotationOrderXYZ: want = nVector(a, b, c); break;
                case RotationOrderYZX:
                case RotationOrderXZY: want = nVector(a, c, b); break;
                default: want = nVector(b, a, c); break;
            }
            const nMatrix3 m = nMatrix3::FromEulerVector(want, (nRotationOrder)order);
            const nVector got = m.ToEuler((nRotationOrder)order);
            ASSERT_TRUE(VectorNear(got, want, 2e-4f)) << "order " << order;
        }
}

TEST(MatrixEuler, OutOfRangeMiddleAngleGivesAnEquivalentTriple)
{
    for (nRotationOrder order : kOrders) {
        const nMatrix3 m = nMatrix3::FromEuler(0.3f, 2.5f, -1.1f, order);
        EXPECT_TRUE(MatrixNear(nMatrix3::FromEulerVector(m.ToEuler(order), order), m, 2e-6f)) << "order " << order;
    }
}

TEST(MatrixEuler, OrderXYIgnoresZAndKeepsTheSignsOfItsAngles)
{
    EXPECT_TRUE(MatrixNear(nMatrix3::FromEuler(0.3f, 0.4f, 5.0f, RotationOrderXY),
                           nMatrix3::RotationX(0.3f) * nMatrix3::RotationY(0.4f), 1e-6f));
    const float cases[][2] = {{0.3f, 0.4f}, {-0.4f, -2.5f}, {2.9f, -0.1f}, {-3.0f, 1.7f}};
    for (const auto& c : cases) {
        const nVector got = nMatrix3::FromEuler(c[0], c[1], 0, RotationOrderXY).ToEuler(RotationOrderXY);
        EXPECT_TRUE(Vector4Near(got, nVector(c[0], c[1], 0, 1), 2e-6f)) << c[0] << ", " << c[1];
    }
}

TEST(MatrixEuler, UnknownOrderGivesIdentityAndReadsAsYXZ)
{
    const nRotationOrder seven = (nRotationOrder)7;
    EXPECT_TRUE(MatrixNear(nMatrix3::FromEuler(0.3f, -0.7f, 1.1f, seven), nMatrix3(), 0.0f));
    const nMatrix3 m = nMatrix3::FromEuler(0.3f, -0.7f, 1.1f, RotationOrderYXZ);
    EXPECT_TRUE(Vector4Near(m.ToEuler(seven), m.ToEuler(RotationOrderYXZ), 0.0f));
    EXPECT_EQ(RotationOrderDefault, RotationOrderYXZ);
}

// ---------------------------------------------------------------------------------------------
// Look-at basis

TEST(MatrixLookAt, WithoutUpBuildsAroundTheDirection)
{
    struct Case
    {
        nVector dir;
        nVector c0, c1, c2;
    };
    const Case cases[] = {
        {nVector(0, 0, 1), nVector(1, 0, 0), nVector(0, 1, 0), nVector(0, 0, 1)},
        {nVector(1, 0, 0), nVector(0, 0, -1), nVector(0, 1, 0), nVector(1, 0, 0)},
        {nVector(0, 2, 0), nVector(-1, 0, 0), nVector(0, 0, 1), nVector(0, 1, 0)},
    };
    for (const Case& c : cases) {
        const nMatrix3 m = nMatrix3::LookAt(c.dir, nullptr);
        EXPECT_TRUE(VectorNear(m.GetColumn(0), c.c0, 1e-6f)) << c.dir.x << "," << c.dir.y << "," << c.dir.z;
        EXPECT_TRUE(VectorNear(m.GetColumn(1), c.c1, 1e-6f));
        EXPECT_TRUE(VectorNear(m.GetColumn(2), c.c2, 1e-6f));
    }
    EXPECT_TRUE(MatrixNear(nMatrix3::LookAt(kZero, nullptr), nMatrix3(), 0.0f));
    const nVector up(0, 1, 0);
    EXPECT_TRUE(MatrixNear(nMatrix3::LookAt(kZero, &up), nMatrix3(), 0.0f));
}

TEST(MatrixLookAt, UpPerpendicularToTheDirectionIsKept)
{
    const nVector dir(0, 0, 3), up(0, 2, 0);
    const nMatrix3 m = nMatrix3::LookAt(dir, &up);
    EXPECT_TRUE(VectorNear(m.GetColumn(0), nVector(1, 0, 0), 1e-6f));  // up x direction
    EXPECT_TRUE(VectorNear(m.GetColumn(1), nVector(0, 1, 0), 1e-6f));
    EXPECT_TRUE(VectorNear(m.GetColumn(2), nVector(0, 0, 1), 1e-6f));
}

TEST(MatrixLookAt, TiltedDirectionStillGivesARotation)
{
    // A camera looking down at an angle with the world's up: the basis must stay orthonormal,
    // look along the direction, and keep its up column on the side of the given up.
    const nVector up(0, 1, 0);
    const nVector dirs[] = {nVector(1, -1, 2), nVector(0, -5, 0.1f), nVector(-3, 2, -1), nVector(0.2f, 0.9f, 0)};
    for (const nVector& dir : dirs) {
        const nMatrix3 m = nMatrix3::LookAt(dir, &up);
        EXPECT_TRUE(IsRotation(m, 1e-5f)) << dir.x << "," << dir.y << "," << dir.z;
        EXPECT_TRUE(VectorNear(m.GetColumn(2), dir.Normalize(), 1e-6f));
        EXPECT_NEAR(m.GetColumn(0).Dot(up), 0.0f, 1e-6f);  // right stays horizontal
        EXPECT_GT(m.GetColumn(1).Dot(up), 0.0f);
    }
}

TEST(MatrixLookAt, UpAlongTheDirectionFallsBackToNoUp)
{
    const nVector dir(0, 3, 0);
    const nVector ups[] = {nVector(0, 1, 0), nVector(0, -2, 0), nVector(0, 0, 0)};
    for (const nVector& up : ups) {
        const nMatrix3 m = nMatrix3::LookAt(dir, &up);
        EXPECT_TRUE(MatrixNear(m, nMatrix3::LookAt(dir, nullptr), 0.0f));
        EXPECT_TRUE(IsRotation(m, 1e-6f));
    }
}

// ---------------------------------------------------------------------------------------------
// Compose, decompose, inverse, interpolate

TEST(MatrixCompose, IsTranslationRotationScalePivot)
{
    const nVector pos(1, 2, 3), angles(0.2f, -0.4f, 0.9f), scale(2, 3, 0.5f), pivot(1, -1, 2);
    const nMatrix3 r = nMatrix3::FromEulerVector(angles, RotationOrderYXZ);
    const nMatrix4 factors = nMatrix4::Translation(pos) * nMatrix4::FromMatrix3(r) * nMatrix4::Scaling(scale) *
                             nMatrix4::Translation(pivot);
    EXPECT_TRUE(MatrixNear(nMatrix4::Compose(pos, r, scale, pivot), factors, 1e-5f));
    EXPECT_TRUE(MatrixNear(nMatrix4::ComposeEuler(pos, angles, scale, pivot), factors, 1e-5f));
    // The pivot moves the local origin to +pivot before scaling.
    const nMatrix4 m = nMatrix4::Compose(kZero, nMatrix3(), nVector(2, 2, 2), nVector(1, 0, 0));
    EXPECT_TRUE(VectorNear(kZero.Transform(m), nVector(2, 0, 0), 0.0f));
}

TEST(MatrixCompose, DecomposeRecoversPositionAndSignedScale)
{
    struct Case
    {
        nVector scale;
    };
    const Case cases[] = {{nVector(2, 3, 4)}, {nVector(-2, 3, 4)}};
    for (const Case& c : cases) {
        const nMatrix4 m = nMatrix4::ComposeEuler(nVector(1, 2, 3), nVector(0, 0.5f, 0), c.scale, kZero);
        nVector pos, scale;
        nMatrix3 rot;
        m.Decompose(&pos, &scale, &rot);
        EXPECT_TRUE(Vector4Near(pos, nVector(1, 2, 3, 1), 1e-6f));
        EXPECT_TRUE(Vector4Near(scale, nVector(c.scale.x, c.scale.y, c.scale.z, 1), 1e-5f));
        EXPECT_TRUE(MatrixNear(rot, nMatrix3::RotationY(0.5f), 1e-6f));
    }
}

TEST(MatrixCompose, DecomposeInvertsComposeForRandomTransforms)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> angle(-3.1f, 3.1f), middle(-1.5f, 1.5f), size(0.1f, 5), coord(-100, 100);
    std::bernoulli_distribution mirror(0.3);
    for (int n = 0; n < 300; ++n) {
        const nVector pos(coord(rng), coord(rng), coord(rng));
        const nVector angles(middle(rng), angle(rng), angle(rng));
        const nVector scale(mirror(rng) ? -size(rng) : size(rng), size(rng), size(rng));
        const nMatrix4 m = nMatrix4::ComposeEuler(pos, angles, scale, kZero);
        nVector p, s, a;
        nMatrix3 r;
        m.Decompose(&p, &s, &r);
        ASSERT_TRUE(VectorNear(p, pos, 0.0f));
        ASSERT_TRUE(VectorNear(s, scale, 1e-5f * 5));
        ASSERT_TRUE(MatrixNear(r, nMatrix3::FromEulerVector(angles, RotationOrderYXZ), 1e-5f));
        m.DecomposeEuler(nullptr, nullptr, &a, RotationOrderYXZ);
        ASSERT_TRUE(VectorNear(a, angles, 1e-3f)) << n;
    }
}

TEST(MatrixCompose, DecomposeOfAZeroScaleColumnGivesItsUnitAxis)
{
    const nMatrix4 m = nMatrix4::ComposeEuler(nVector(1, 1, 1), nVector(0, 0, 0), nVector(2, 0, 3), kZero);
    nVector scale;
    nMatrix3 rot;
    m.Decompose(nullptr, &scale, &rot);
    EXPECT_TRUE(VectorNear(scale, nVector(2, 0, 3), 0.0f));
    EXPECT_TRUE(MatrixNear(rot, nMatrix3(), 0.0f));
    m.Decompose(nullptr, nullptr, nullptr);  // every output optional
}

TEST(MatrixInverseTRS, UndoesTranslationRotationAndScale)
{
    const nMatrix4 cases[] = {
        nMatrix4::ComposeEuler(nVector(5, 0, 0), nVector(0.1f, 0.2f, 0.3f), nVector(2, 2, 2), kZero),
        nMatrix4::ComposeEuler(nVector(-1, 7, 3), nVector(1.2f, -0.5f, 2.8f), nVector(0.5f, 4, 1.5f), kZero),
        nMatrix4::ComposeEuler(nVector(2, -3, 4), nVector(-0.7f, 0.3f, 0.1f), nVector(-2, 3, 4), kZero),  // mirrored
    };
    for (const nMatrix4& m : cases) {
        EXPECT_TRUE(MatrixNear(m.InverseTRS() * m, nMatrix4(), 1e-5f));
        EXPECT_TRUE(MatrixNear(m * m.InverseTRS(), nMatrix4(), 1e-5f));
    }
}

TEST(MatrixInverseTRS, ZeroScaleGivesFiniteResult)
{
    const nMatrix4 m = nMatrix4::ComposeEuler(nVector(1, 2, 3), nVector(0.3f, 0, 0), nVector(2, 0, 1), kZero);
    const nMatrix4 inv = m.InverseTRS();
    for (float e : inv.m)
        ASSERT_TRUE(std::isfinite(e));
    // The axes that have a scale are still undone.
    const nVector p(0.5f, 0, -2);
    EXPECT_TRUE(VectorNear(p.Transform(m).Transform(inv), p, 1e-5f));
}

TEST(MatrixInterpolate, LinearBlendsEveryElement)
{
    std::mt19937 rng(9);
    const nMatrix4 a = RandomMatrix(rng), b = RandomMatrix(rng);
    const nMatrix4 r = nMatrix4::Interpolate(a, b, 0.25f, true);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(r.m[i], a.m[i] + 0.25f * (b.m[i] - a.m[i]), 1e-6f);
}

TEST(MatrixInterpolate, RigidBlendsPositionScaleAndRotationSeparately)
{
    const nMatrix4 a = nMatrix4::ComposeEuler(nVector(0, 0, 0), nVector(0, 0, 0), nVector(1, 1, 1), kZero);
    const nMatrix4 b = nMatrix4::ComposeEuler(nVector(2, 4, 6), nVector(0, 1.2f, 0), nVector(3, 3, 3), kZero);
    const nMatrix4 mid = nMatrix4::ComposeEuler(nVector(1, 2, 3), nVector(0, 0.6f, 0), nVector(2, 2, 2), kZero);
    EXPECT_TRUE(MatrixNear(nMatrix4::Interpolate(a, b, 0.5f, false), mid, 1e-5f));
    EXPECT_TRUE(MatrixNear(nMatrix4::Interpolate(a, b, 0.0f, false), a, 1e-5f));
    EXPECT_TRUE(MatrixNear(nMatrix4::Interpolate(a, b, 1.0f, false), b, 1e-5f));
}

// ---------------------------------------------------------------------------------------------
// NML forms

namespace {

nMetaTag* VectorTag(const char* name, std::vector<float> values)
{
    nMetaTag* tag = new nMetaTag(name);
    const char* names[] = {"X", "Y", "Z", "W"};
    for (size_t i = 0; i < values.size(); ++i)
        tag->AddChild(new nMetaTag(names[i], values[i]));
    return tag;
}

std::vector<std::string> Names(nMetaTag* tag)
{
    std::vector<std::string> names;
    nMetaTagIterator it;
    for (nMetaTag* c = tag->NextChild(it); c; c = tag->NextChild(it))
        names.push_back(c->GetName().GetCStr());
    return names;
}

}  // namespace

TEST(MatrixTag, Mtx3HoldsColumnsAndRoundTrips)
{
    nMatrix3 m;
    m.Set(1, 2, 3, 4, 5, 6, 7, 8, 9);
    nMetaTag* tag = m.ToMetaTag(nullptr);
    ASSERT_NE(tag, nullptr);
    EXPECT_STREQ(tag->GetName().GetCStr(), "Mtx3");
    EXPECT_EQ(Names(tag), (std::vector<std::string>{"R0", "R1", "R2"}));
    nMetaTagIterator it;
    nVector first;
    ASSERT_TRUE(first.FromMetaTag(tag->NextChild(it)));
    EXPECT_TRUE(VectorNear(first, nVector(1, 2, 3), 0.0f));  // R0 is column 0
    EXPECT_EQ(tag->NextChild(it)->GetChildCount(), 3);       // no W

    nMatrix3 back = nMatrix3::Scaling(kZero);
    ASSERT_TRUE(back.FromMetaTag(tag));
    EXPECT_TRUE(MatrixNear(back, m, 0.0f));
    delete tag;
}

TEST(MatrixTag, Mtx4HoldsColumnsWithRowThreeAndRoundTrips)
{
    nMatrix4 m = nMatrix4::ComposeEuler(nVector(7, 8, 9), nVector(0.1f, 0.2f, 0.3f), nVector(1, 2, 3), kZero);
    m.m[13] = 0.5f;  // a non-transform bottom row survives too
    nMetaTag* tag = m.ToMetaTag("World");
    ASSERT_NE(tag, nullptr);
    EXPECT_STREQ(tag->GetName().GetCStr(), "World");
    EXPECT_EQ(Names(tag), (std::vector<std::string>{"R0", "R1", "R2", "R3"}));
    nMetaTagIterator it;
    tag->NextChild(it);
    tag->NextChild(it);
    tag->NextChild(it);
    nVector translation;
    ASSERT_TRUE(translation.FromMetaTag(tag->NextChild(it)));
    EXPECT_TRUE(Vector4Near(translation, nVector(7, 8, 9, 1), 0.0f));

    nMatrix4 back = nMatrix4::Scaling(kZero);
    ASSERT_TRUE(back.FromMetaTag(tag));
    EXPECT_TRUE(MatrixNear(back, m, 0.0f));
    delete tag;
}

TEST(MatrixTag, TooFewChildrenFailsAndChangesNothing)
{
    nMetaTag mtx4("Mtx4");
    for (int i = 0; i < 3; ++i)
        mtx4.AddChild(VectorTag("R", {1, 2, 3, 4}));
    nMatrix4 m4 = nMatrix4::Translation(nVector(1, 2, 3));
    const nMatrix4 before4 = m4;
    EXPECT_FALSE(m4.FromMetaTag(&mtx4));
    EXPECT_FALSE(m4.FromMetaTag(nullptr));
    EXPECT_TRUE(MatrixNear(m4, before4, 0.0f));

    nMetaTag mtx3("Mtx3");
    mtx3.AddChild(VectorTag("R", {1, 2, 3}));
    mtx3.AddChild(VectorTag("R", {1, 2, 3}));
    nMatrix3 m3 = nMatrix3::RotationX(1);
    const nMatrix3 before3 = m3;
    EXPECT_FALSE(m3.FromMetaTag(&mtx3));
    EXPECT_TRUE(MatrixNear(m3, before3, 0.0f));
}

TEST(MatrixTag, ShortColumnsReadAsZeroAndMissingM33AsOne)
{
    // Children are taken by position whatever their names; missing values do not inherit
    // the previous column's.
    nMetaTag tag("Mtx4");
    tag.AddChild(VectorTag("a", {1, 2, 3, 4}));
    tag.AddChild(VectorTag("b", {5, 6, 7}));
    tag.AddChild(VectorTag("c", {8, 9}));
    tag.AddChild(VectorTag("d", {10, 11, 12}));
    nMatrix4 m;
    ASSERT_TRUE(m.FromMetaTag(&tag));
    EXPECT_TRUE(Vector4Near(m.GetColumn(0, false), nVector(1, 2, 3, 4), 0.0f));
    EXPECT_TRUE(Vector4Near(m.GetColumn(1, false), nVector(5, 6, 7, 0), 0.0f));
    EXPECT_TRUE(Vector4Near(m.GetColumn(2, false), nVector(8, 9, 0, 0), 0.0f));
    EXPECT_TRUE(Vector4Near(m.GetColumn(3, false), nVector(10, 11, 12, 1), 0.0f));
}
