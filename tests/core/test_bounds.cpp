#include "core/nBounds.h"
#include "core/nFrustum.h"
#include "core/nPairSort.h"
#include "tests/support/nMathExpect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <utility>
#include <vector>

namespace {

const nMinMax kUnit(nVector(0, 0, 0), nVector(1, 1, 1));
const nVector kZero(0, 0, 0);

std::string Str(const nVector& v)
{
    return "(" + std::to_string(v.x) + ", " + std::to_string(v.y) + ", " + std::to_string(v.z) + ")";
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Axis-aligned box

TEST(MinMax, IncludeAndMergeGrowTheBox)
{
    nMinMax box(nVector(1, 1, 1), nVector(1, 1, 1));
    box.Include(nVector(3, -2, 1));
    box.Include(nVector(2, 0, 5));
    EXPECT_TRUE(VectorNear(box.min, nVector(1, -2, 1), 0.0f));
    EXPECT_TRUE(VectorNear(box.max, nVector(3, 1, 5), 0.0f));
    box.Merge(nMinMax(nVector(-4, 0, 0), nVector(0, 9, 2)));
    EXPECT_TRUE(VectorNear(box.min, nVector(-4, -2, 0), 0.0f));
    EXPECT_TRUE(VectorNear(box.max, nVector(3, 9, 5), 0.0f));
}

TEST(MinMax, OutcodeNamesTheSidesAPointIsBeyond)
{
    struct Case
    {
        nVector p;
        uint32_t code;
    };
    const Case cases[] = {
        {nVector(0.5f, 0.5f, 0.5f), 0},
        {nVector(1, 0.5f, 0), 0},  // on the surface counts as inside
        {nVector(0, 1, 1), 0},
        {nVector(2, 0.5f, 0.5f), 0x01},
        {nVector(-1, 0.5f, 0.5f), 0x02},
        {nVector(0.5f, 2, 0.5f), 0x04},
        {nVector(0.5f, -1, 0.5f), 0x08},
        {nVector(0.5f, 0.5f, -1), 0x10},  // the z pair is reversed: below is 0x10
        {nVector(0.5f, 0.5f, 2), 0x20},
        {nVector(2, -1, 2), 0x01 | 0x08 | 0x20},
    };
    for (const Case& c : cases)
        EXPECT_EQ(kUnit.GetOutcode(c.p), c.code) << Str(c.p);
}

TEST(MinMax, RayRangeGivesEntryAndExit)
{
    float entry = -1, exit = -1;
    ASSERT_TRUE(kUnit.IntersectRayRange(nVector(-5, 0.5f, 0.5f), nVector(1, 0, 0), entry, exit));
    EXPECT_FLOAT_EQ(entry, 5);
    EXPECT_FLOAT_EQ(exit, 6);
    EXPECT_FALSE(kUnit.IntersectRayRange(nVector(-5, 2, 0.5f), nVector(1, 0, 0), entry, exit));      // parallel, outside the y slab
    EXPECT_FALSE(kUnit.IntersectRayRange(nVector(-5, 0.5f, 0.5f), nVector(-1, 0, 0), entry, exit));  // pointing away

    ASSERT_TRUE(kUnit.IntersectRayRange(nVector(0.5f, 0.5f, 0.5f), nVector(0, 0, 2), entry, exit));
    EXPECT_FLOAT_EQ(entry, 0);  // starts inside: entry stays 0
    EXPECT_FLOAT_EQ(exit, 0.25f);
}

TEST(MinMax, RayTable)
{
    struct Case
    {
        nVector origin, dir;
        bool hit;
        nVector point, normal;
    };
    const Case cases[] = {
        {nVector(0.5f, 0.5f, 0.5f), nVector(1, 0, 0), true, nVector(0.5f, 0.5f, 0.5f), kZero},  // inside
        {nVector(-1, 0.5f, 0.5f), nVector(1, 0, 0), true, nVector(0, 0.5f, 0.5f), nVector(-1, 0, 0)},
        {nVector(2, 0.5f, 0.5f), nVector(-1, 0, 0), true, nVector(1, 0.5f, 0.5f), nVector(1, 0, 0)},
        {nVector(0.5f, 3, 0.5f), nVector(0, -1, 0), true, nVector(0.5f, 1, 0.5f), nVector(0, 1, 0)},
        {nVector(0.5f, -3, 0.5f), nVector(0, 4, 0), true, nVector(0.5f, 0, 0.5f), nVector(0, -1, 0)},
        {nVector(0.5f, 0.5f, -2), nVector(0, 0, 1), true, nVector(0.5f, 0.5f, 0), nVector(0, 0, -1)},
        {nVector(0.5f, 0.5f, 5), nVector(0, 0, -2), true, nVector(0.5f, 0.5f, 1), nVector(0, 0, 1)},
        {nVector(-1, -1, -1), nVector(1, 1, 1), true, nVector(0, 0, 0), nVector(-1, 0, 0)},            // corner
        {nVector(-1, 2, 0.5f), nVector(1, -1, 0), true, nVector(0, 1, 0.5f), nVector(-1, 0, 0)},       // edge
        {nVector(-0.5f, 3, 0.5f), nVector(1, -2, 0), true, nVector(0.5f, 1, 0.5f), nVector(0, 1, 0)},  // misses x face, enters y
        {nVector(-1, 0.5f, 0.5f), nVector(-1, 0, 0), false, kZero, kZero},                             // pointing away
        {nVector(-1, 2, 0.5f), nVector(1, 0, 0), false, kZero, kZero},                                 // parallel above
        {nVector(-1, 0.5f, 0.5f), nVector(1, 2, 0), false, kZero, kZero},                              // passes by
        {nVector(2, 0.5f, 0.5f), nVector(0, 0, 1), false, kZero, kZero},                               // parallel to the x faces, beyond
    };
    for (const Case& c : cases) {
        nVector hit(9, 9, 9), normal(9, 9, 9);
        ASSERT_EQ(kUnit.IntersectRay(c.origin, c.dir, hit, &normal), c.hit) << Str(c.origin) << " along " << Str(c.dir);
        if (!c.hit)
            continue;
        EXPECT_TRUE(Vector4Near(hit, nVector(c.point.x, c.point.y, c.point.z, 1), 1e-6f)) << Str(c.origin);
        EXPECT_TRUE(VectorNear(normal, c.normal, 0.0f)) << Str(c.origin);
        nVector again;
        EXPECT_TRUE(kUnit.IntersectRay(c.origin, c.dir, again, nullptr));  // normal optional
    }
}

TEST(MinMax, SegmentTable)
{
    struct Case
    {
        nVector start, end;
        bool hit;
        nVector point, normal;
    };
    const Case cases[] = {
        {nVector(0.5f, 0.5f, 0.5f), nVector(5, 5, 5), true, nVector(0.5f, 0.5f, 0.5f), kZero},  // starts inside
        // Ends inside: the hit is where the segment enters, not its end.
        {nVector(-1, 0.5f, 0.5f), nVector(0.5f, 0.5f, 0.5f), true, nVector(0, 0.5f, 0.5f), nVector(-1, 0, 0)},
        {nVector(0.25f, 0.75f, 4), nVector(0.25f, 0.75f, 0.5f), true, nVector(0.25f, 0.75f, 1), nVector(0, 0, 1)},
        {nVector(-1, 0.5f, 0.5f), nVector(2, 0.5f, 0.5f), true, nVector(0, 0.5f, 0.5f), nVector(-1, 0, 0)},  // through
        {nVector(-1, 0.2f, 0.2f), nVector(-0.5f, 0.8f, 0.8f), false, kZero, kZero},                          // both beyond x = 0
        {nVector(-1, 0.5f, 0.5f), nVector(0.5f, 3, 0.5f), false, kZero, kZero},                              // stops short of the box's top
        {nVector(-2, 0.5f, 0.5f), nVector(-0.5f, 0.5f, 0.5f), false, kZero, kZero},                          // ends before the box
    };
    for (const Case& c : cases) {
        nVector hit(9, 9, 9), normal(9, 9, 9);
        ASSERT_EQ(kUnit.IntersectSegment(c.start, c.end, hit, &normal), c.hit) << Str(c.start) << " to " << Str(c.end);
        if (!c.hit)
            continue;
        EXPECT_TRUE(Vector4Near(hit, nVector(c.point.x, c.point.y, c.point.z, 1), 1e-6f)) << Str(c.start);
        EXPECT_TRUE(VectorNear(normal, c.normal, 0.0f)) << Str(c.start);
    }
}

TEST(MinMax, RayAndSegmentAgreeWithTheSlabTest)
{
    // Two independent algorithms: the face walk and the slab interval must give the same hits.
    std::mt19937 rng(17);
    std::uniform_real_distribution<float> u(-4, 4);
    const nMinMax box(nVector(-1, -0.5f, 0), nVector(1.5f, 1, 2));
    int hits = 0;
    for (int n = 0; n < 5000; ++n) {
        const nVector a(u(rng), u(rng), u(rng)), b(u(rng), u(rng), u(rng));
        const nVector dir = b - a;
        float entry, exit;
        const bool slab = box.IntersectRayRange(a, dir, entry, exit);
        nVector hit;
        const bool ray = box.IntersectRay(a, dir, hit, nullptr);
        ASSERT_EQ(ray, slab) << Str(a) << " along " << Str(dir);
        if (ray) {
            ASSERT_TRUE(VectorNear(hit, a + dir * entry, 1e-4f)) << Str(a) << " along " << Str(dir);
        }
        const bool segmentWanted = slab && entry <= 1;
        ASSERT_EQ(box.IntersectSegment(a, b, hit, nullptr), segmentWanted) << Str(a) << " to " << Str(b);
        if (segmentWanted) {
            ++hits;
            ASSERT_TRUE(VectorNear(hit, a + dir * entry, 1e-4f)) << Str(a) << " to " << Str(b);
        }
    }
    EXPECT_GT(hits, 100);  // the sample exercised the hit path
}

// ---------------------------------------------------------------------------------------------
// Oriented box

TEST(OBB, ConstructionDefaultsAndFromMinMax)
{
    const nOBB def;
    EXPECT_TRUE(Vector4Near(def.position, nVector(0, 0, 0, 1), 0.0f));
    EXPECT_TRUE(Vector4Near(def.scale, nVector(1, 1, 1, 1), 0.0f));
    EXPECT_TRUE(MatrixNear(def.orientation, nMatrix3(), 0.0f));

    const nVector pos(1, 2, 3), size(4, 5, 6);
    const nMatrix3 rot = nMatrix3::RotationZ(0.5f);
    const nOBB onlyPos(&pos, nullptr, &rot);  // position is taken only with a size
    EXPECT_TRUE(VectorNear(onlyPos.position, kZero, 0.0f));
    EXPECT_TRUE(MatrixNear(onlyPos.orientation, rot, 0.0f));
    const nOBB both(&pos, &size, nullptr);
    EXPECT_TRUE(VectorNear(both.position, pos, 0.0f));
    EXPECT_TRUE(VectorNear(both.scale, size, 0.0f));

    const nOBB fromBox(nMinMax(nVector(-1, 0, 2), nVector(3, 1, 4)));
    EXPECT_TRUE(Vector4Near(fromBox.position, nVector(1, 0.5f, 3, 1), 0.0f));
    EXPECT_TRUE(Vector4Near(fromBox.scale, nVector(4, 1, 2, 1), 0.0f));
}

TEST(OBB, EnclosingBoxOfARotatedBox)
{
    const nVector pos(10, 0, 0), size(2, 2, 4);
    const nMatrix3 rot = nMatrix3::RotationZ(3.14159265f / 4);
    const nOBB box(&pos, &size, &rot);
    const nMinMax mm = box.GetMinMax();
    const float r = std::sqrt(2.0f);
    EXPECT_TRUE(VectorNear(mm.min, nVector(10 - r, -r, -2), 1e-5f));
    EXPECT_TRUE(VectorNear(mm.max, nVector(10 + r, r, 2), 1e-5f));
}

TEST(OBB, TransformMovesAndTurnsButKeepsTheSize)
{
    nOBB box(nMinMax(nVector(0, 0, 0), nVector(2, 4, 6)));
    const nMatrix4 m = nMatrix4::ComposeEuler(nVector(5, 0, 0), nVector(0, 0, 3.14159265f / 2), nVector(1, 1, 1), kZero);
    box.Transform(m);
    EXPECT_TRUE(VectorNear(box.position, nVector(3, 1, 3), 1e-5f));
    EXPECT_TRUE(VectorNear(box.scale, nVector(2, 4, 6), 0.0f));
    EXPECT_TRUE(MatrixNear(box.orientation, nMatrix3::RotationZ(3.14159265f / 2), 1e-6f));
    const nMinMax mm = box.GetMinMax();
    EXPECT_TRUE(VectorNear(mm.min, nVector(1, 0, 0), 1e-5f));
    EXPECT_TRUE(VectorNear(mm.max, nVector(5, 2, 6), 1e-5f));
}

// ---------------------------------------------------------------------------------------------
// Planes and frusta

TEST(Plane, SetFromPointAndNormal)
{
    nPlane p;
    EXPECT_EQ(p.d, 0.0f);
    const nVector point(0, 3, 0);
    p.Set(&point, nVector(0, 2, 0), nullptr);
    EXPECT_FLOAT_EQ(p.d, -6);
    EXPECT_FLOAT_EQ(p.GetDistance(nVector(7, 5, -1)), 4);  // in units of the (unnormalised) normal

    p.Set(nullptr, nVector(1, 0, 0), nullptr);
    EXPECT_TRUE(VectorNear(p.point, kZero, 0.0f));
    EXPECT_EQ(p.d, 0.0f);

    const nMatrix4 m = nMatrix4::ComposeEuler(nVector(1, 2, 3), nVector(0, 3.14159265f / 2, 0), nVector(1, 1, 1), kZero);
    p.Set(nullptr, nVector(0, 0, 2), &m);  // the matrix's translation, the normal turned but not normalised
    EXPECT_TRUE(VectorNear(p.point, nVector(1, 2, 3), 1e-6f));
    EXPECT_TRUE(VectorNear(p.normal, nVector(2, 0, 0), 1e-6f));
    EXPECT_NEAR(p.d, -2, 1e-5f);
    p.Set(&point, nVector(0, 1, 0), &m);
    EXPECT_TRUE(VectorNear(p.point, nVector(1, 5, 3), 1e-6f));
}

TEST(Frustum, OrthographicSphereTest)
{
    nFrustum f;
    f.SetOrthographic(10, 6, 1, 100, nullptr, 1, 1);
    EXPECT_TRUE(VectorNear(f.planes[3].point, nVector(5, 0, 0), 0.0f));
    EXPECT_EQ(f.TestSphere(nVector(4, 0, 2), 0.5f), VisibilityInside);
    EXPECT_EQ(f.TestSphere(nVector(6, 0, 2), 0.5f), VisibilityOutside);
    EXPECT_EQ(f.TestSphere(nVector(5.5f, 0, 2), 0.5f), VisibilityClipped);  // beyond by exactly the radius
    EXPECT_EQ(f.TestSphere(nVector(0, 2.9f, 50), 0.5f), VisibilityClipped);
    EXPECT_EQ(f.TestSphere(nVector(0, 0, 0.8f), 0.5f), VisibilityClipped);  // crosses the near plane
    EXPECT_EQ(f.TestSphere(nVector(0, 0, 0), 0.5f), VisibilityOutside);     // in front of it
    EXPECT_EQ(f.TestSphere(nVector(0, 0, 101), 0.5f), VisibilityOutside);   // beyond the far plane
    EXPECT_TRUE(VectorNear(f.corners[1], nVector(5, 3, 1), 0.0f));
    EXPECT_TRUE(VectorNear(f.corners[7], nVector(-5, -3, 100), 0.0f));

    f.SetOrthographic(10, 6, 1, 100, nullptr, 2, 0.5f);  // scales widen and flatten
    EXPECT_TRUE(VectorNear(f.planes[3].point, nVector(10, 0, 0), 0.0f));
    EXPECT_TRUE(VectorNear(f.planes[0].point, nVector(0, 1.5f, 0), 0.0f));
}

TEST(Frustum, PerspectiveCornersLieOnTheirPlanes)
{
    nFrustum f;
    f.SetPerspective(1.2f, 0.5f, 50, nullptr, 1.5f, 1);
    const float tx = std::tan(0.6f) / 1.5f, ty = std::tan(0.6f);
    EXPECT_TRUE(VectorNear(f.corners[0], nVector(-0.5f * tx, 0.5f * ty, 0.5f), 1e-6f));
    EXPECT_TRUE(VectorNear(f.corners[6], nVector(50 * tx, -50 * ty, 50), 1e-5f));
    // Which corners lie on each plane: top, bottom, left, right, near, far.
    const int on[6][4] = {{0, 1, 4, 5}, {2, 3, 6, 7}, {0, 3, 4, 7}, {1, 2, 5, 6}, {0, 1, 2, 3}, {4, 5, 6, 7}};
    for (int p = 0; p < 6; ++p)
        for (int c = 0; c < 8; ++c) {
            const float d = f.planes[p].GetDistance(f.corners[c]);
            const bool onPlane = std::find(on[p], on[p] + 4, c) != on[p] + 4;
            if (onPlane)
                EXPECT_NEAR(d, 0.0f, 1e-4f) << "plane " << p << " corner " << c;
            else
                EXPECT_LT(d, -1e-3f) << "plane " << p << " corner " << c;
        }
}

TEST(Frustum, MatrixPlacesPlanesAndCorners)
{
    nFrustum local, world;
    const nMatrix4 m = nMatrix4::ComposeEuler(nVector(3, -2, 7), nVector(0.3f, 1.1f, -0.4f), nVector(1, 1, 1), kZero);
    local.SetPerspective(1.0f, 1, 20, nullptr, 1, 1);
    world.SetPerspective(1.0f, 1, 20, &m, 1, 1);
    for (int c = 0; c < 8; ++c)
        EXPECT_TRUE(VectorNear(world.corners[c], local.corners[c].Transform(m), 1e-5f));
    std::mt19937 rng(4);
    std::uniform_real_distribution<float> u(-10, 10);
    for (int n = 0; n < 50; ++n) {
        const nVector p(u(rng), u(rng), u(rng) + 10);
        for (int i = 0; i < 6; ++i)
            ASSERT_NEAR(world.planes[i].GetDistance(p.Transform(m)), local.planes[i].GetDistance(p), 1e-4f);
    }
}

TEST(Frustum, PointsTest)
{
    nFrustum f;
    f.SetOrthographic(10, 6, 1, 100, nullptr, 1, 1);
    const nVector inside[] = {nVector(0, 0, 5), nVector(4, 2, 90)};
    const nVector straddle[] = {nVector(0, 0, 5), nVector(7, 0, 5)};
    const nVector beyond[] = {nVector(6, 0, 5), nVector(8, 2, 50), nVector(5.5f, -2, 2)};
    EXPECT_EQ(f.TestPoints(2, inside, 0), VisibilityInside);
    EXPECT_EQ(f.TestPoints(2, straddle, 0), VisibilityClipped);
    EXPECT_EQ(f.TestPoints(3, beyond, 0), VisibilityOutside);
    EXPECT_EQ(f.TestPoints(3, beyond, 1), VisibilityClipped);  // a margin lets points lie a little beyond
}

TEST(Frustum, BoxTest)
{
    nFrustum f;
    f.SetPerspective(1.5f, 1, 100, nullptr, 1, 1);
    EXPECT_EQ(f.TestMinMax(nMinMax(nVector(-1, -1, 10), nVector(1, 1, 12)), nullptr), VisibilityInside);
    EXPECT_EQ(f.TestMinMax(nMinMax(nVector(5, -1, 10), nVector(20, 1, 12)), nullptr), VisibilityClipped);
    EXPECT_EQ(f.TestMinMax(nMinMax(nVector(30, -1, 10), nVector(40, 1, 12)), nullptr), VisibilityOutside);
    EXPECT_EQ(f.TestMinMax(nMinMax(nVector(-1, -1, -5), nVector(1, 1, -2)), nullptr), VisibilityOutside);      // behind
    EXPECT_EQ(f.TestMinMax(nMinMax(nVector(-1, -1, 0.2f), nVector(1, 1, 0.5f)), nullptr), VisibilityOutside);  // before near

    // The same outside box moved into view by a matrix.
    const nMatrix4 m = nMatrix4::Translation(nVector(-35, 0, 0));
    EXPECT_EQ(f.TestMinMax(nMinMax(nVector(30, -1, 10), nVector(40, 1, 12)), &m), VisibilityInside);
}

TEST(Frustum, BoxTestAgreesWithSampledPoints)
{
    // Outside must mean no point of the box is in the volume; inside must mean every point is.
    nFrustum f;
    const nMatrix4 cam = nMatrix4::ComposeEuler(nVector(2, 1, -3), nVector(0.2f, -0.6f, 0.1f), nVector(1, 1, 1), kZero);
    f.SetPerspective(1.2f, 1, 30, &cam, 1.3f, 1);
    std::mt19937 rng(23);
    std::uniform_real_distribution<float> centre(-25, 25), extent(0.1f, 6), unit(0, 1), angle(-3, 3);
    int seen[3] = {0, 0, 0};
    for (int n = 0; n < 2000; ++n) {
        const nVector c(centre(rng), centre(rng), centre(rng)), e(extent(rng), extent(rng), extent(rng));
        const nMinMax box(c - e, c + e);
        const bool placed = n % 2 == 1;
        const nMatrix4 m = nMatrix4::ComposeEuler(nVector(0, 0, 0), nVector(angle(rng), angle(rng), angle(rng)),
                                                  nVector(1, 1, 1), kZero);
        const int result = f.TestMinMax(box, placed ? &m : nullptr);
        ++seen[result];
        bool anyIn = false, anyOut = false;
        for (int s = 0; s < 200; ++s) {
            nVector p(box.min.x + (box.max.x - box.min.x) * unit(rng), box.min.y + (box.max.y - box.min.y) * unit(rng),
                      box.min.z + (box.max.z - box.min.z) * unit(rng));
            if (placed)
                p = p.Transform(m);
            float worst = -1e30f;
            for (const nPlane& plane : f.planes)
                worst = std::max(worst, plane.GetDistance(p));
            if (worst < -1e-3f)
                anyIn = true;
            if (worst > 1e-3f)
                anyOut = true;
        }
        if (result == VisibilityOutside) {
            ASSERT_FALSE(anyIn) << "box " << n << " reported outside";
        }
        if (result == VisibilityInside) {
            ASSERT_FALSE(anyOut) << "box " << n << " reported inside";
        }
    }
    EXPECT_GT(seen[0], 0);
    EXPECT_GT(seen[1], 0);
    EXPECT_GT(seen[2], 0);
}

TEST(Frustum, FrustumTest)
{
    nFrustum big, small, far, side;
    big.SetPerspective(1.5f, 1, 100, nullptr, 1, 1);
    const nMatrix4 ahead = nMatrix4::Translation(nVector(0, 0, 20));
    small.SetPerspective(0.3f, 1, 5, &ahead, 1, 1);
    EXPECT_EQ(big.TestFrustum(small), VisibilityInside);
    EXPECT_EQ(small.TestFrustum(big), VisibilityClipped);

    const nMatrix4 away = nMatrix4::Translation(nVector(500, 0, 0));
    far.SetPerspective(0.3f, 1, 5, &away, 1, 1);
    EXPECT_EQ(big.TestFrustum(far), VisibilityOutside);

    const nMatrix4 across = nMatrix4::ComposeEuler(nVector(-40, 0, 50), nVector(0, 3.14159265f / 2, 0), nVector(1, 1, 1), kZero);
    side.SetPerspective(0.5f, 1, 100, &across, 1, 1);
    EXPECT_EQ(big.TestFrustum(side), VisibilityClipped);
}

TEST(SeparatingAxis, ProjectsBothSetsOnTheAxis)
{
    const nVector a[] = {nVector(0, 0, 0), nVector(10, 0, 0)};
    struct Case
    {
        float lo, hi;
        int want;
    };
    const Case cases[] = {
        {2, 3, VisibilityInside}, {-5, -1, VisibilityOutside}, {11, 12, VisibilityOutside}, {-1, 3, VisibilityClipped}, {0, 3, VisibilityClipped},  // touching the end is not strictly inside
        {10, 12, VisibilityClipped},                                                                                                                // touching counts as overlapping
    };
    for (const Case& c : cases) {
        const nVector b[] = {nVector(c.lo, 5, 5), nVector(c.hi, -5, 0)};
        EXPECT_EQ(SeparatingAxisTest(nVector(1, 0, 0), 2, a, 2, b), c.want) << c.lo << ".." << c.hi;
    }
    const nVector b[] = {nVector(2, 0, 0)};
    EXPECT_EQ(SeparatingAxisTest(nVector(1, 0, 0), 0, a, 1, b), VisibilityOutside);  // nothing to overlap
}

// ---------------------------------------------------------------------------------------------
// Pair sorts and closest point

TEST(PairSort, SortsByKeyCarryingValues)
{
    nKeyValuePair pairs[] = {{3, 30}, {1, 10}, {2, 20}};
    SortPairsByKey(pairs, 0, 2);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(pairs[i].key, (float)(i + 1));
        EXPECT_EQ(pairs[i].value, (i + 1) * 10);
    }
}

TEST(PairSort, MatchesStandardSortWithManyEqualKeys)
{
    std::mt19937 rng(8);
    for (int n : {0, 1, 2, 17, 1000}) {
        std::uniform_int_distribution<int> key(0, 5);
        std::vector<nKeyValuePair> pairs(n + 4);
        for (int i = 0; i < n + 4; ++i)
            pairs[i] = {(float)key(rng), i};
        std::vector<nKeyValuePair> before = pairs;
        if (n > 0)
            SortPairsByKey(pairs.data(), 2, n + 1);  // a sub-range: the two pairs either side stay put
        for (int i : {0, 1, n + 2, n + 3})
            EXPECT_EQ(pairs[i].value, before[i].value);
        std::vector<std::pair<float, int>> got, want;
        for (int i = 2; i < n + 2; ++i) {
            got.push_back({pairs[i].key, pairs[i].value});
            want.push_back({before[i].key, before[i].value});
        }
        for (size_t i = 1; i < got.size(); ++i)
            ASSERT_LE(got[i - 1].first, got[i].first);
        std::sort(got.begin(), got.end());
        std::sort(want.begin(), want.end());
        EXPECT_EQ(got, want) << "the same pairs, only reordered";
    }
}

TEST(PairSort, NaNKeysDoNotBreakTheSort)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<nKeyValuePair> pairs;
    for (int i = 0; i < 200; ++i)
        pairs.push_back({i % 7 == 0 ? nan : (float)((i * 37) % 101), i});
    SortPairsByKey(pairs.data(), 0, (int)pairs.size() - 1);
    size_t firstNaN = pairs.size();
    for (size_t i = 0; i < pairs.size(); ++i)
        if (std::isnan(pairs[i].key) && firstNaN == pairs.size())
            firstNaN = i;
    for (size_t i = firstNaN; i < pairs.size(); ++i)
        EXPECT_TRUE(std::isnan(pairs[i].key));
    for (size_t i = 1; i < firstNaN; ++i)
        EXPECT_LE(pairs[i - 1].key, pairs[i].key);
}

TEST(PairSort, BubbleSortIsStableAndCopies)
{
    int objects[5];
    nKeyPointerPair pairs[] = {{3, &objects[0]}, {1, &objects[1]}, {3, &objects[2]}, {0, &objects[3]}, {1, &objects[4]}};
    nKeyPointerPair out[5] = {};
    BubbleSortPairs(5, pairs, out);
    const int keys[] = {0, 1, 1, 3, 3};
    void* order[] = {&objects[3], &objects[1], &objects[4], &objects[0], &objects[2]};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(out[i].key, keys[i]);
        EXPECT_EQ(out[i].pointer, order[i]);
        EXPECT_EQ(pairs[i].pointer, order[i]);  // sorted in place as well
    }
    nKeyPointerPair one[] = {{5, &objects[0]}}, oneOut[1] = {};
    BubbleSortPairs(1, one, oneOut);
    EXPECT_EQ(oneOut[0].pointer, &objects[0]);
}

TEST(ClosestPoint, ProjectsOntoTheSegmentAndClamps)
{
    const nVector a(1, 0, 0), b(5, 0, 0);
    struct Case
    {
        nVector p;
        float t;
        nVector q;
    };
    const Case cases[] = {
        {nVector(2, 3, 0), 0.25f, nVector(2, 0, 0)},
        {nVector(-4, 1, 1), 0, nVector(1, 0, 0)},
        {nVector(9, -1, 2), 1, nVector(5, 0, 0)},
    };
    for (const Case& c : cases) {
        nVector q(9, 9, 9, 9);
        EXPECT_FLOAT_EQ(ClosestPointOnSegment(a, b, c.p, &q), c.t);
        EXPECT_TRUE(Vector4Near(q, nVector(c.q.x, c.q.y, c.q.z, 1), 1e-6f));
        EXPECT_FLOAT_EQ(ClosestPointOnSegment(a, b, c.p, nullptr), c.t);
    }
    // A zero-length segment has one point to offer: its start, at t = 0.
    nVector q;
    EXPECT_EQ(ClosestPointOnSegment(a, a, nVector(3, 3, 3), &q), 0.0f);
    EXPECT_TRUE(VectorNear(q, a, 0.0f));
}
