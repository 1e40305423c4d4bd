// Bounding interval hierarchies: the tree's shape on worked item sets, ray and box queries of
// geometry hierarchies against a brute-force loop over every polygon on random meshes (also flat
// and degenerate ones), the leaf test against an independent double-precision intersection, the
// geometry's own hierarchy, and the spread directions.
#include "resources/nBIH.h"
#include "resources/nGeometryBIH.h"
#include "core/nRandom.h"
#include "tests/resources/nGeometryTestKit.h"
#include "tests/support/nLogCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

// A hierarchy over plain boxes that records the leaves a ray reaches.
class nRecordingBIH : public nBIH
{
public:
    std::vector<std::vector<uint32_t>> reached;
    void TestLeaf(const nBIHNode& leaf, float, float, nBIHRay&) override
    {
        reached.push_back(std::vector<uint32_t>(GetItems(leaf), GetItems(leaf) + leaf.itemCount));
    }
};

nMinMax Box(float x0, float y0, float z0, float x1, float y1, float z1)
{
    return nMinMax(nVector(x0, y0, z0), nVector(x1, y1, z1));
}

std::vector<std::string> Complaints(const nLogCapture& cap)
{
    std::vector<std::string> out;
    for (const std::string& line : cap.Lines())
        if (line.rfind("[!] ", 0) == 0 || line.rfind("[*] ", 0) == 0) out.push_back(line);
    return out;
}

TEST(BIHTree, ShapeOfWorkedItemSets)
{
    std::vector<nMinMax> few, same, square, twoClusters;
    for (int i = 0; i < 8; ++i) few.push_back(Box((float)i, 0, 0, (float)i + 0.5f, 1, 1));
    for (int i = 0; i < 20; ++i) same.push_back(Box(0, 0, 0, 1, 1, 1));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) square.push_back(Box((float)x, (float)y, 0, (float)x + 1, (float)y + 1, 0));
    for (int i = 0; i < 10; ++i) twoClusters.push_back(Box(0, 0.1f * (float)i, 0, 1, 0.1f * (float)i + 0.1f, 1));
    for (int i = 0; i < 10; ++i) twoClusters.push_back(Box(10, 0.1f * (float)i, 0, 11, 0.1f * (float)i + 0.1f, 1));
    // Counts of -1 are not checked: the leaf size and the depth limit are, for every set.
    const struct
    {
        const char* label;
        const std::vector<nMinMax>& boxes;
        int32_t nodes, leaves, depth, rootAxis;
    } cases[] = {
        // Eight items fit one leaf.
        {"eight items", few, 1, 1, 0, nBIHNode::LeafAxis},
        // Identical boxes never separate: one side empty at every level down to the limit. The
        // extents tie three ways: x.
        {"identical boxes", same, 1 + 2 * kBIHLevelLimit, kBIHLevelLimit + 1, kBIHLevelLimit, 0},
        // A flat square: x and y tie and x is split, not the thickness.
        {"flat square", square, -1, -1, -1, 0},
        {"two clusters along x", twoClusters, -1, -1, -1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        nLogCapture cap;
        nRecordingBIH bih;
        ASSERT_TRUE(bih.Build((uint32_t)c.boxes.size(), c.boxes.data()));
        if (c.nodes >= 0) {
            EXPECT_EQ(bih.GetNodeCount(), c.nodes);
        }
        if (c.leaves >= 0) {
            EXPECT_EQ(bih.GetLeafCount(), c.leaves);
        }
        if (c.depth >= 0) {
            EXPECT_EQ(bih.GetDepth(), c.depth);
        }
        EXPECT_LE(bih.GetDepth(), kBIHLevelLimit);
        EXPECT_EQ(bih.GetRoot()->axis, c.rootAxis);
        std::vector<std::string> lines = cap.Lines();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], "Building bounding interval hierarchy BIH...\n");
        EXPECT_EQ(lines[1].rfind("Done in ", 0), 0u);
        EXPECT_EQ(lines[1].substr(lines[1].find("ms. ")),
                  "ms. " + std::to_string(bih.GetNodeCount()) + " nodes, " + std::to_string(bih.GetLeafCount()) +
                      " leaves, depth = " + std::to_string(bih.GetDepth()) + ".\n");
        // Every item sits in exactly one leaf; leaves hold the leaf size at most, unless their
        // items cannot be told apart.
        std::vector<int> seen(c.boxes.size(), 0);
        std::vector<const nBIHNode*> walk{bih.GetRoot()};
        int32_t leaves = 0, nodes = 0;
        while (!walk.empty()) {
            const nBIHNode* node = walk.back();
            walk.pop_back();
            ++nodes;
            if (node->IsLeaf()) {
                ++leaves;
                for (int32_t i = 0; i < node->itemCount; ++i) ++seen[bih.GetItems(*node)[i]];
                if (&c.boxes != &same) {
                    EXPECT_LE(node->itemCount, bih.GetLeafSize());
                }
            } else {
                walk.push_back(bih.GetChildren(*node));
                walk.push_back(bih.GetChildren(*node) + 1);
            }
        }
        EXPECT_EQ(seen, std::vector<int>(c.boxes.size(), 1));
        EXPECT_EQ(nodes, bih.GetNodeCount());
        EXPECT_EQ(leaves, bih.GetLeafCount());
        // The bounds hold every item with the margin.
        EXPECT_FLOAT_EQ(bih.GetBounds().min.x, c.boxes[0].min.x - 0.0001f);
    }

    // No items: false, and nothing but the opening line.
    nLogCapture cap;
    nRecordingBIH empty;
    EXPECT_FALSE(empty.Build(0, nullptr));
    EXPECT_EQ(cap.Lines(), (std::vector<std::string>{"Building bounding interval hierarchy BIH...\n"}));
    nBIHRay ray;
    empty.Intersect(ray, nVector(0, 0, 0), nVector(1, 0, 0), 0);
    EXPECT_TRUE(empty.reached.empty());
}

TEST(BIHTree, RaysReachOnlyTheLeavesOfTheirSlabs)
{
    // Two clusters split along x: a ray along y meets the leaves of the cluster its x lies in,
    // and none from between the clusters.
    std::vector<nMinMax> boxes;
    for (int i = 0; i < 10; ++i) boxes.push_back(Box(0, 0.1f * (float)i, 0, 1, 0.1f * (float)i + 0.1f, 1));
    for (int i = 0; i < 10; ++i) boxes.push_back(Box(10, 0.1f * (float)i, 0, 11, 0.1f * (float)i + 0.1f, 1));
    nLogCapture quiet;
    nRecordingBIH bih;
    ASSERT_TRUE(bih.Build((uint32_t)boxes.size(), boxes.data()));
    const struct
    {
        float x;
        bool leftCluster, rightCluster;
    } cases[] = {{0.5f, true, false}, {10.5f, false, true}, {5.0f, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE("x = " + std::to_string(c.x));
        bih.reached.clear();
        nBIHRay ray;
        bih.Intersect(ray, nVector(c.x, -5, 0.5f), nVector(0, 1, 0), 0);
        bool left = false, right = false;
        for (const std::vector<uint32_t>& leaf : bih.reached)
            for (uint32_t item : leaf) (item < 10 ? left : right) = true;
        EXPECT_EQ(left, c.leftCluster);
        EXPECT_EQ(right, c.rightCluster);
        EXPECT_EQ(ray.hitDistance, -1.0f);
    }
    // A ray that starts beyond the maximum distance from the bounds reaches nothing.
    bih.reached.clear();
    nBIHRay ray;
    bih.Intersect(ray, nVector(-20, 0.5f, 0.5f), nVector(1, 0, 0), 10);
    EXPECT_TRUE(bih.reached.empty());
    // Coordinates that are not finite reach nothing either.
    bih.Intersect(ray, nVector(0.5f, std::numeric_limits<float>::quiet_NaN(), 0.5f), nVector(0, 1, 0), 0);
    bih.Intersect(ray, nVector(0.5f, -5, 0.5f), nVector(0, std::numeric_limits<float>::infinity(), 0), 0);
    EXPECT_TRUE(bih.reached.empty());
}

// ---------------------------------------------------------------------------------------------
// Geometry hierarchies against brute force

struct RayCase
{
    nVector origin;
    nVector direction;
    float maxDistance;
};

// The polygons one by one, in index order, through the same polygon test as the leaves.
nBIHRay BruteForce(const nGeometryBIH& bih, const RayCase& r)
{
    nBIHRay ray;
    ray.origin = r.origin;
    ray.direction = r.direction;
    const float exit = r.maxDistance > 0 ? r.maxDistance : FLT_MAX;
    for (uint32_t p = 0; p < bih.GetGeometry()->polygonCount; ++p) bih.TestPolygon((int32_t)p, 0.0f, exit, ray);
    return ray;
}

// Every ray of the hierarchy gives the brute-force hit: the same distance, and the same polygon,
// triangle, weights and side unless another polygon lies at exactly that distance too. Without
// nearest, a hit exactly when brute force has one, and a true one.
void ExpectRaysMatchBruteForce(nGeometryBIH& bih, const std::vector<RayCase>& rays, int* hits = nullptr)
{
    int found = 0;
    for (size_t i = 0; i < rays.size(); ++i) {
        const RayCase& r = rays[i];
        SCOPED_TRACE("ray " + std::to_string(i));
        nBIHRay expected = BruteForce(bih, r);
        nBIHRay got;
        got.nearest = 1;
        bih.CastRay(got, r.origin, r.direction, r.maxDistance);
        ASSERT_EQ(got.hit, expected.hit) << "origin " << r.origin.x << " " << r.origin.y << " " << r.origin.z << " direction "
                                         << r.direction.x << " " << r.direction.y << " " << r.direction.z << " max " << r.maxDistance
                                         << " polygon " << expected.polygon << " at " << expected.hitDistance;
        if (!got.hit) {
            EXPECT_EQ(got.polygon, -1);
            EXPECT_EQ(got.hitDistance, -1.0f);
        } else {
            ++found;
            ASSERT_EQ(got.hitDistance, expected.hitDistance);
            EXPECT_EQ(got.hitObject, bih.GetGeometry());
            if (got.polygon != expected.polygon) {
                nBIHRay alone;
                alone.origin = r.origin;
                alone.direction = r.direction;
                ASSERT_TRUE(bih.TestPolygon(got.polygon, 0.0f, FLT_MAX, alone)) << "polygon " << got.polygon;
                EXPECT_EQ(alone.hitDistance, expected.hitDistance) << "polygon " << got.polygon << " is no tie";
            } else {
                EXPECT_EQ(got.triangle, expected.triangle);
                EXPECT_EQ(got.backFace, expected.backFace);
                for (int k = 0; k < 3; ++k) EXPECT_EQ(got.weights[k], expected.weights[k]);
            }
        }
        if (got.hit) {
            EXPECT_GT(got.trianglesTested, 0);
        }

        nBIHRay first;
        first.nearest = 0;
        bih.CastRay(first, r.origin, r.direction, r.maxDistance);
        ASSERT_EQ(first.hit, expected.hit);
        if (first.hit) {
            nBIHRay alone;
            alone.origin = r.origin;
            alone.direction = r.direction;
            ASSERT_TRUE(bih.TestPolygon(first.polygon, 0.0f, FLT_MAX, alone));
            EXPECT_EQ(alone.hitDistance, first.hitDistance);
            EXPECT_GE(first.hitDistance, expected.hitDistance);
        }
    }
    if (hits) *hits = found;
}

// Whether a polygon's corners all name existing vertices at finite positions, with 3 or more.
bool Usable(const nGeometry& g, const nPolygon& poly)
{
    if (poly.count < 3) return false;
    for (uint32_t k = 0; k < poly.count; ++k) {
        int32_t v = poly.bindings[k];
        if (v < 0 || (uint32_t)v >= g.vertexCount) return false;
        const nVector& p = g.vertices[v];
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return false;
    }
    return true;
}

// The polygons whose corner box meets the box, touching included, by looking at every one.
std::vector<int32_t> PolygonsInBoxBruteForce(const nGeometry& g, const nMinMax& box)
{
    std::vector<int32_t> out;
    for (uint32_t p = 0; p < g.polygonCount; ++p) {
        const nPolygon& poly = g.polygons[p];
        if (!Usable(g, poly)) continue;
        nVector lo = g.vertices[poly.bindings[0]], hi = lo;
        for (uint32_t k = 1; k < poly.count; ++k) {
            const nVector& v = g.vertices[poly.bindings[k]];
            lo = nVector(std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z));
            hi = nVector(std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z));
        }
        if (lo.x <= box.max.x && hi.x >= box.min.x && lo.y <= box.max.y && hi.y >= box.min.y && lo.z <= box.max.z &&
            hi.z >= box.min.z)
            out.push_back((int32_t)p);
    }
    return out;
}

void ExpectBoxesMatchBruteForce(const nGeometryBIH& bih, const std::vector<nMinMax>& boxes, int* found = nullptr)
{
    int total = 0;
    std::vector<int32_t> out(bih.GetGeometry()->polygonCount + 1);
    for (size_t i = 0; i < boxes.size(); ++i) {
        SCOPED_TRACE("box " + std::to_string(i));
        std::vector<int32_t> expected = PolygonsInBoxBruteForce(*bih.GetGeometry(), boxes[i]);
        int32_t count = bih.FindPolygons(boxes[i], out.data(), (int32_t)out.size());
        ASSERT_EQ(count, (int32_t)expected.size());
        std::vector<int32_t> got(out.begin(), out.begin() + count);
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, expected);
        total += count;
        // Short of room: the count still, and as many polygons as fit, each a right one.
        if (count > 1) {
            int32_t few[1] = {-1};
            EXPECT_EQ(bih.FindPolygons(boxes[i], few, 1), count);
            EXPECT_TRUE(std::binary_search(expected.begin(), expected.end(), few[0]));
            EXPECT_EQ(bih.FindPolygons(boxes[i], nullptr, 0), count);
        }
    }
    if (found) *found = total;
}

// Random meshes: planar convex polygons of 3 to 6 corners scattered in a cube of side 20 times
// scale around centre, some of material 1 (double-sided).
void BuildScatteredPolygons(nGeometry& g, std::mt19937& random, int count, float scale, const nVector& centre)
{
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::vector<nVector> points;
    std::vector<std::vector<int>> polys;
    std::vector<int> materials;
    for (int p = 0; p < count; ++p) {
        const nVector middle = centre + nVector(unit(random), unit(random), unit(random)) * (10.0f * scale);
        const nVector axisU = nVector(unit(random), unit(random), unit(random)).Normalize();
        nVector axisV = axisU.Cross(nVector(unit(random), unit(random), unit(random))).Normalize();
        const float size = (0.1f + std::fabs(unit(random)) * 2.0f) * scale;
        const int corners = 3 + (int)(random() % 4);
        std::vector<int> poly;
        for (int k = 0; k < corners; ++k) {
            const float a = 6.2831853f * ((float)k + 0.8f * std::fabs(unit(random))) / (float)corners;
            poly.push_back((int)points.size());
            points.push_back(middle + axisU * (size * std::cos(a)) + axisV * (size * std::sin(a)));
        }
        polys.push_back(poly);
        materials.push_back((int)(random() % 2));
    }
    BuildMesh(g, points, polys, materials, 2);
    g.materials[1]->renderFlags |= MaterialRenderDoubleSided;
}

// Rays from around and inside the mesh towards points in it, some along axes (direction
// components exactly 0), some with a maximum distance.
std::vector<RayCase> RandomRays(std::mt19937& random, int count, float scale, const nVector& centre)
{
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::vector<RayCase> rays;
    for (int i = 0; i < count; ++i) {
        RayCase r;
        // A third start inside the bounds, a few far away.
        const float reach = (i % 3 == 0) ? 8.0f : ((i % 11 == 10) ? 500.0f : 16.0f);
        r.origin = centre + nVector(unit(random), unit(random), unit(random)) * (reach * scale);
        const nVector target = centre + nVector(unit(random), unit(random), unit(random)) * (10.0f * scale);
        r.direction = (target - r.origin) * (0.25f + std::fabs(unit(random)));
        switch (i % 7) {
            case 1: r.direction.x = 0.0f; break;
            case 2:
                r.direction.y = 0.0f;
                r.direction.z = 0.0f;
                break;
            case 3:
                r.direction.x = 0.0f;
                r.direction.z = 0.0f;
                break;
            default: break;
        }
        r.maxDistance = (i % 5 == 4) ? std::fabs(unit(random)) * 2.0f : 0.0f;
        rays.push_back(r);
    }
    return rays;
}

std::vector<nMinMax> RandomBoxes(std::mt19937& random, int count, float scale, const nVector& centre)
{
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::vector<nMinMax> boxes;
    for (int i = 0; i < count; ++i) {
        const nVector middle = centre + nVector(unit(random), unit(random), unit(random)) * (12.0f * scale);
        // Points, small boxes, slabs and boxes larger than the mesh.
        const float sizes[4] = {0.0f, 1.0f, 4.0f, 40.0f};
        nVector half(sizes[i % 4] * std::fabs(unit(random)), sizes[(i / 4) % 4] * std::fabs(unit(random)),
                     sizes[(i / 16) % 4] * std::fabs(unit(random)));
        half = half * scale;
        boxes.push_back(nMinMax(middle - half, middle + half));
    }
    return boxes;
}

class GeometryBIHTest : public ::testing::Test
{
protected:
    nLogCapture quiet;
    nOrvex engine;
};

TEST_F(GeometryBIHTest, RandomMeshesMatchBruteForce)
{
    const struct
    {
        unsigned seed;
        int polygons;
        float scale;
        nVector centre;
    } cases[] = {
        {1, 6, 1.0f, nVector(0, 0, 0)},  // one leaf
        {2, 300, 1.0f, nVector(0, 0, 0)},
        {3, 2000, 1.0f, nVector(3, -2, 1)},
        {4, 2000, 0.001f, nVector(0, 0, 0)},        // millimetre polygons
        {5, 2000, 100.0f, nVector(5000, 0, -3000)}  // far from the origin, where the margin is below a float step
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("seed " + std::to_string(c.seed));
        std::mt19937 random(c.seed);
        nGeometry g(&engine);
        g.SetName("scattered");
        BuildScatteredPolygons(g, random, c.polygons, c.scale, c.centre);
        nGeometryBIH bih;
        ASSERT_TRUE(bih.Build(&g));
        EXPECT_LE(bih.GetDepth(), kBIHLevelLimit);
        int hits = 0, inBoxes = 0;
        ExpectRaysMatchBruteForce(bih, RandomRays(random, 3000, c.scale, c.centre), &hits);
        ExpectBoxesMatchBruteForce(bih, RandomBoxes(random, 400, c.scale, c.centre), &inBoxes);
        // The rays and boxes are no idle sweep: many of them find something.
        EXPECT_GT(hits, c.polygons > 100 ? 600 : 10);
        EXPECT_GT(inBoxes, c.polygons > 100 ? 100 : 20);
    }
}

// Flat and degenerate meshes build, terminate and answer like brute force.
TEST_F(GeometryBIHTest, FlatAndDegenerateMeshesMatchBruteForce)
{
    auto grid = [](nGeometry& g, int side, float lift) {
        std::vector<nVector> points;
        std::vector<std::vector<int>> quads;
        for (int y = 0; y <= side; ++y)
            for (int x = 0; x <= side; ++x) points.push_back(nVector((float)x, (float)y, lift * (float)((x * 7 + y * 3) % 2)));
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                quads.push_back({y * (side + 1) + x, y * (side + 1) + x + 1, (y + 1) * (side + 1) + x + 1, (y + 1) * (side + 1) + x});
        BuildMesh(g, points, quads, {}, 1);
    };
    const struct
    {
        const char* label;
        std::function<void(nGeometry&)> make;
        int32_t maxLeafItems;
    } cases[] = {
        {"flat square grid", [&](nGeometry& g) { grid(g, 40, 0.0f); }, 8},
        {"bumpy square grid", [&](nGeometry& g) { grid(g, 40, 0.01f); }, 8},
        {"one triangle stacked 500 times",
         [](nGeometry& g) {
             std::vector<std::vector<int>> polys(500, std::vector<int>{0, 1, 2});
             BuildMesh(g, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, polys, {}, 1);
         },
         500},
        {"collinear corners only",
         [](nGeometry& g) {
             std::vector<nVector> points;
             std::vector<std::vector<int>> polys;
             for (int i = 0; i < 300; ++i) {
                 points.push_back(nVector((float)i, (float)i, 0));
                 points.push_back(nVector((float)i + 1, (float)i + 1, 0));
                 points.push_back(nVector((float)i + 2, (float)i + 2, 0));
                 polys.push_back({3 * i, 3 * i + 1, 3 * i + 2});
             }
             BuildMesh(g, points, polys, {}, 1);
         },
         8},
        {"all corners on one point",
         [](nGeometry& g) {
             std::vector<std::vector<int>> polys(100, std::vector<int>{0, 0, 0, 0});
             BuildMesh(g, {{2, 2, 2}}, polys, {}, 1);
         },
         100},
        {"thin needles along z",
         [](nGeometry& g) {
             std::vector<nVector> points;
             std::vector<std::vector<int>> polys;
             for (int i = 0; i < 200; ++i) {
                 const float x = (float)(i % 20) * 0.5f, y = (float)(i / 20) * 0.5f;
                 points.push_back(nVector(x, y, 0));
                 points.push_back(nVector(x + 1e-4f, y, 0));
                 points.push_back(nVector(x, y, 50));
                 polys.push_back({3 * i, 3 * i + 1, 3 * i + 2});
             }
             BuildMesh(g, points, polys, {}, 1);
         },
         8},
    };
    std::mt19937 random(11);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        nGeometry g(&engine);
        c.make(g);
        nGeometryBIH bih;
        ASSERT_TRUE(bih.Build(&g));
        EXPECT_LE(bih.GetDepth(), kBIHLevelLimit);
        // Leaves hold no more than the leaf size unless their items cannot be told apart.
        std::vector<const nBIHNode*> walk{bih.GetRoot()};
        while (!walk.empty()) {
            const nBIHNode* node = walk.back();
            walk.pop_back();
            if (node->IsLeaf())
                EXPECT_LE(node->itemCount, c.maxLeafItems);
            else {
                walk.push_back(bih.GetChildren(*node));
                walk.push_back(bih.GetChildren(*node) + 1);
            }
        }
        nMinMax bounds;
        g.ComputeBounds(bounds, nullptr);
        const nVector centre = (bounds.min + bounds.max) * 0.5f;
        const float scale = std::max({bounds.max.x - bounds.min.x, bounds.max.y - bounds.min.y, bounds.max.z - bounds.min.z, 1.0f}) / 20.0f;
        std::vector<RayCase> rays = RandomRays(random, 1500, scale, centre);
        // Rays straight down onto the grids and along their plane.
        for (int i = 0; i < 200; ++i) {
            const float x = (float)(random() % 4000) / 100.0f, y = (float)(random() % 4000) / 100.0f;
            rays.push_back(RayCase{nVector(x, y, 5), nVector(0, 0, -1), 0});
            rays.push_back(RayCase{nVector(-1, y, 0), nVector(1, 0, 0), 0});
        }
        ExpectRaysMatchBruteForce(bih, rays);
        ExpectBoxesMatchBruteForce(bih, RandomBoxes(random, 200, scale, centre));
    }
}

TEST_F(GeometryBIHTest, PolygonsWithoutUsableCornersAreLeftOut)
{
    // A line, a triangle naming a missing vertex, one with a corner at infinity, and two good ones.
    nGeometry g(&engine);
    g.SetName("ragged");
    BuildMesh(g, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {std::numeric_limits<float>::infinity(), 0, 0}, {0, 0, 1}},
              {{0, 1}, {0, 1, 7}, {0, 3, 2}, {0, 1, 2}, {0, 4, 1}}, {}, 1);
    nLogCapture cap;
    nGeometryBIH bih;
    ASSERT_TRUE(bih.Build(&g));
    EXPECT_EQ(Complaints(cap), (std::vector<std::string>{
                                   "[*] Left 3 polygon(s) with fewer than 3 usable corners out of the ray-casting hierarchy of geometry ragged.\n"}));
    EXPECT_LT(bih.GetBounds().max.x, 1.01f);  // the infinite corner stays out of the bounds
    nBIHRay ray;
    bih.CastRay(ray, nVector(0.25f, 0.25f, 1), nVector(0, 0, -1), 0);
    EXPECT_EQ(ray.polygon, 3);
    bih.CastRay(ray, nVector(0.25f, 1, 0.25f), nVector(0, -1, 0), 0);
    EXPECT_EQ(ray.polygon, 4);
    for (int32_t p : {0, 1, 2, 7, -1}) EXPECT_FALSE(bih.TestPolygon(p, 0, FLT_MAX, ray)) << p;
    ExpectBoxesMatchBruteForce(bih, {Box(-1, -1, -1, 2, 2, 2), Box(0.5f, 0, 0, 0.5f, 0, 0)});

    // Nothing usable: no hierarchy.
    cap.Clear();
    nGeometry lines(&engine);
    lines.SetName("lines");
    BuildMesh(lines, {{0, 0, 0}, {1, 0, 0}}, {{0, 1}, {1, 0}}, {}, 1);
    nGeometryBIH none;
    EXPECT_FALSE(none.Build(&lines));
    EXPECT_EQ(cap.Lines(), (std::vector<std::string>{
                               "[*] Left 2 polygon(s) with fewer than 3 usable corners out of the ray-casting hierarchy of geometry lines.\n",
                               "Building bounding interval hierarchy BIH...\n"}));
    none.CastRay(ray, nVector(0, 0, 1), nVector(0, 0, -1), 0);
    EXPECT_EQ(ray.polygon, -1);
    EXPECT_EQ(none.FindPolygons(Box(-9, -9, -9, 9, 9, 9), nullptr, 0), 0);
}

// ---------------------------------------------------------------------------------------------
// The leaf test on worked cases

TEST_F(GeometryBIHTest, HitsOnWorkedPolygons)
{
    // A unit quad at z = 0 facing +z (material 0, single-sided), a double-sided triangle at
    // x = 5 facing +x, and a triangle at z = -12 facing +z beside the quad.
    nGeometry g(&engine);
    g.SetName("worked");
    BuildMesh(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {5, 0, 0}, {5, 1, 0}, {5, 0, 1}, {2, 0, -12}, {3, 0, -12}, {3, 1, -12}},
              {{0, 1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, {0, 1, 0}, 2);
    g.materials[1]->renderFlags |= MaterialRenderDoubleSided;
    nGeometryBIH bih;
    ASSERT_TRUE(bih.Build(&g));
    ASSERT_NE(g.polygonNormals, nullptr);
    EXPECT_EQ(g.polygonNormals[0].z, 1.0f);  // written back into the geometry
    EXPECT_EQ(g.GetKeepMask() & GeometryKeepMesh, (uint32_t)GeometryKeepMesh);

    const struct
    {
        const char* label;
        nVector origin, direction;
        float maxDistance;
        int32_t polygon;
        float distance;
        int32_t triangle;
        float u, v, w;
        bool back;
    } cases[] = {
        // Corner weights of (0, j, j + 1): u for corner j, v for j + 1, w for corner 0.
        {"front of the quad, first triangle", {0.75f, 0.25f, 2}, {0, 0, -1}, 0, 0, 2.0f, 0, 0.5f, 0.25f, 0.25f, false},
        {"second triangle, direction of length 2", {0.25f, 0.75f, 2}, {0, 0, -2}, 0, 0, 1.0f, 1, 0.25f, 0.5f, 0.25f, false},
        {"shared edge goes to the first triangle", {0.5f, 0.5f, 1}, {0, 0, -1}, 0, 0, 1.0f, 0, 0.0f, 0.5f, 0.5f, false},
        {"back of the single-sided quad", {0.5f, 0.5f, -1}, {0, 0, 1}, 0, -1, -1.0f, 0, 0, 0, 0, false},
        {"double-sided front", {6, 0.25f, 0.25f}, {-1, 0, 0}, 0, 1, 1.0f, 0, 0.25f, 0.25f, 0.5f, false},
        {"double-sided back", {4, 0.25f, 0.25f}, {1, 0, 0}, 0, 1, 1.0f, 0, 0.25f, 0.25f, 0.5f, true},
        {"nearest surface at 12 beyond a limit of 10", {2.75f, 0.25f, 0}, {0, 0, -1}, 10, -1, -1.0f, 0, 0, 0, 0, false},
        {"the same within 13", {2.75f, 0.25f, 0.0f}, {0, 0, -1}, 13, 2, 12.0f, 0, 0.5f, 0.25f, 0.25f, false},
        {"along the quad's plane", {0.5f, -1, 0}, {0, 1, 0}, 0, -1, -1.0f, 0, 0, 0, 0, false},
        {"just past the edge tolerance", {1.00001f, 0.5f, 1}, {0, 0, -1}, 0, -1, -1.0f, 0, 0, 0, 0, false},
        {"within the edge tolerance", {1.0000005f, 0.5f, 1}, {0, 0, -1}, 0, 0, 1.0f, 0, 0.5f, 0.5f, 0.0f, false},
        {"zero direction", {0.5f, 0.5f, 0}, {0, 0, 0}, 0, -1, -1.0f, 0, 0, 0, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        nBIHRay ray;
        bih.CastRay(ray, c.origin, c.direction, c.maxDistance);
        EXPECT_EQ(ray.polygon, c.polygon);
        EXPECT_FLOAT_EQ(ray.hitDistance, c.distance);
        EXPECT_EQ((bool)ray.hit, c.polygon >= 0);
        if (c.polygon < 0) continue;
        EXPECT_EQ(ray.triangle, c.triangle);
        EXPECT_NEAR(ray.weights[0], c.u, 1e-6f);
        EXPECT_NEAR(ray.weights[1], c.v, 1e-6f);
        EXPECT_NEAR(ray.weights[2], c.w, 1e-6f);
        EXPECT_EQ((bool)ray.backFace, c.back);
        EXPECT_EQ(ray.hitObject, &g);
    }
}

TEST_F(GeometryBIHTest, DegenerateFanTrianglesAreNeverHit)
{
    // A pentagon whose second fan triangle has no area (corners 0, 2, 3 in a line), and a quad
    // whose first three corners are in a line: no plane at all.
    nGeometry g(&engine);
    BuildMesh(g, {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {3, 3, 0}, {0, 3, 0}, {10, 0, 0}, {11, 0, 0}, {12, 0, 0}, {10, 1, 0}},
              {{0, 1, 2, 3, 4}, {5, 6, 7, 8}}, {}, 1);
    nGeometryBIH bih;
    ASSERT_TRUE(bih.Build(&g));
    const nGeometryBIH::PolygonPlane* planes = bih.GetPlanes();
    EXPECT_TRUE(planes[0].hittable);
    EXPECT_FALSE(planes[1].hittable);
    const struct
    {
        nVector origin;
        int32_t polygon;
        int32_t triangle;
    } cases[] = {
        {{1.5f, 0.5f, 1}, 0, 0},
        {{1, 2.5f, 1}, 0, 2},
        {{2.9f, 0.5f, 1}, -1, 0},  // in the box, outside every triangle with an area
        {{10.2f, 0.2f, 1}, -1, 0},
    };
    for (const auto& c : cases) {
        nBIHRay ray;
        bih.CastRay(ray, c.origin, nVector(0, 0, -1), 0);
        EXPECT_EQ(ray.polygon, c.polygon) << c.origin.x << ", " << c.origin.y;
        if (c.polygon >= 0) {
            EXPECT_EQ(ray.triangle, c.triangle);
        }
        EXPECT_EQ(ray.trianglesTested, 5);
    }
}

// The leaf test against an independent double-precision intersection of every triangle. Rays
// whose answer turns on a hair's breadth at an edge are left out.
TEST_F(GeometryBIHTest, HitsAgreeWithDoublePrecisionTriangles)
{
    std::mt19937 random(21);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    nGeometry g(&engine);
    std::vector<nVector> points;
    std::vector<std::vector<int>> triangles;
    for (int i = 0; i < 400; ++i) {
        const nVector middle(unit(random) * 10, unit(random) * 10, unit(random) * 10);
        for (int k = 0; k < 3; ++k) points.push_back(middle + nVector(unit(random), unit(random), unit(random)) * 1.5f);
        triangles.push_back({3 * i, 3 * i + 1, 3 * i + 2});
    }
    BuildMesh(g, points, triangles, {}, 1);
    nGeometryBIH bih;
    ASSERT_TRUE(bih.Build(&g));
    int compared = 0;
    for (const RayCase& r : RandomRays(random, 3000, 1.0f, nVector(0, 0, 0))) {
        double best = HUGE_VAL;
        int bestPolygon = -1;
        bool ambiguous = false;
        for (int i = 0; i < 400; ++i) {
            const nVector& a = points[3 * i];
            const nVector& b = points[3 * i + 1];
            const nVector& c = points[3 * i + 2];
            const double e1[3] = {(double)b.x - a.x, (double)b.y - a.y, (double)b.z - a.z};
            const double e2[3] = {(double)c.x - a.x, (double)c.y - a.y, (double)c.z - a.z};
            const double d[3] = {r.direction.x, r.direction.y, r.direction.z};
            const double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
            const double facing = n[0] * d[0] + n[1] * d[1] + n[2] * d[2];
            const double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            const double area = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            if (std::fabs(facing) < 1e-4 * area * length) {
                ambiguous = true;  // grazing
                continue;
            }
            if (facing > 0) continue;  // single-sided: only fronts
            const double s[3] = {(double)r.origin.x - a.x, (double)r.origin.y - a.y, (double)r.origin.z - a.z};
            const double t = -(n[0] * s[0] + n[1] * s[1] + n[2] * s[2]) / facing;
            const double q[3] = {s[0] + t * d[0], s[1] + t * d[1], s[2] + t * d[2]};
            // Barycentric weights of the point in the triangle's plane.
            auto dot = [](const double* x, const double* y) { return x[0] * y[0] + x[1] * y[1] + x[2] * y[2]; };
            const double d11 = dot(e1, e1), d12 = dot(e1, e2), d22 = dot(e2, e2), q1 = dot(q, e1), q2 = dot(q, e2);
            const double den = d11 * d22 - d12 * d12;
            const double u = (d22 * q1 - d12 * q2) / den, v = (d11 * q2 - d12 * q1) / den, w = 1 - u - v;
            const double inside = std::min({u, v, w});
            const double limit = r.maxDistance > 0 ? r.maxDistance : HUGE_VAL;
            if (std::fabs(inside) < 1e-3 || std::fabs(t) * length < 1e-3 || std::fabs(t - limit) * length < 1e-3) {
                if (inside > -1e-3 && t > -1e-3 && t < limit + 1e-3) ambiguous = true;
                continue;
            }
            if (inside > 0 && t > 0 && t <= limit && t < best) {
                best = t;
                bestPolygon = i;
            }
        }
        if (ambiguous) continue;
        nBIHRay ray;
        bih.CastRay(ray, r.origin, r.direction, r.maxDistance);
        ASSERT_EQ(ray.polygon, bestPolygon);
        if (bestPolygon >= 0) {
            EXPECT_NEAR(ray.hitDistance, best, 1e-4 * (1 + best));
        }
        ++compared;
    }
    EXPECT_GT(compared, 2500);
}

// ---------------------------------------------------------------------------------------------
// The geometry's own hierarchy

TEST_F(GeometryBIHTest, TheGeometryBuildsItsHierarchyOnceAndDropsItWithItsMesh)
{
    nGeometry g(&engine);
    g.SetName("cube");
    BuildCube(g);
    EXPECT_EQ(g.geometryBIH, nullptr);
    ASSERT_TRUE(g.BuildGeoTree());
    nGeometryBIH* first = g.geometryBIH;
    ASSERT_NE(first, nullptr);
    {
        nLogCapture cap;
        EXPECT_TRUE(g.BuildGeoTree());
        EXPECT_TRUE(cap.Lines().empty());
    }
    EXPECT_EQ(g.geometryBIH, first);
    nBIHRay ray;
    g.geometryBIH->CastRay(ray, nVector(0.5f, 0.25f, 5), nVector(0, 0, -1), 0);
    EXPECT_EQ(ray.polygon, 1);  // the +z face
    EXPECT_FLOAT_EQ(ray.hitDistance, 4.0f);

    // Free keeps the mesh the hierarchy reads; clearing drops both.
    g.Free();
    EXPECT_EQ(g.geometryBIH, first);
    EXPECT_NE(g.vertices, nullptr);
    g.Clear();
    EXPECT_EQ(g.geometryBIH, nullptr);

    // A geometry without polygons has none, and a later call tries again.
    nGeometry empty(&engine);
    EXPECT_FALSE(empty.BuildGeoTree());
    EXPECT_EQ(empty.geometryBIH, nullptr);
    BuildCube(empty);
    EXPECT_TRUE(empty.BuildGeoTree());
    EXPECT_NE(empty.geometryBIH, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Spread directions

TEST(BIHSpread, DirectionsFillTheirCellsOfTheCone)
{
    nVectorSpread spread;
    nRandSeed(5);
    const int32_t sectors = 8, rings = 4;
    const float angle = 0.9f;
    ASSERT_TRUE(BuildSpreadVectors(spread, sectors, rings, angle));
    ASSERT_EQ(spread.count, sectors * rings);
    const float step = angle / (float)(rings + 2), sector = 6.2831853f / (float)sectors;
    for (int32_t r = 0; r < rings; ++r)
        for (int32_t s = 0; s < sectors; ++s) {
            const nVector& d = spread.vectors[r * sectors + s];
            SCOPED_TRACE("ring " + std::to_string(r) + " sector " + std::to_string(s));
            EXPECT_NEAR(d.Length(), 1.0f, 1e-5f);
            EXPECT_EQ(d.w, 1.0f);
            const float polar = std::acos(std::min(1.0f, d.z));
            EXPECT_GE(polar, step * (float)(r + 1) - 1e-4f);
            EXPECT_LT(polar, step * (float)(r + 2) + 1e-4f);
            float azimuth = std::atan2(d.y, d.x);
            if (azimuth < -1e-4f) azimuth += 6.2831853f;
            EXPECT_GE(azimuth, sector * (float)s - 1e-4f);
            EXPECT_LT(azimuth, sector * (float)(s + 1) + 1e-4f);
        }
    // Every ring shares its polar angle: one jitter per ring.
    for (int32_t s = 1; s < sectors; ++s) EXPECT_FLOAT_EQ(spread.vectors[s].z, spread.vectors[0].z);

    // The same seed, the same table; a rebuild replaces it.
    nVectorSpread again;
    nRandSeed(5);
    ASSERT_TRUE(BuildSpreadVectors(again, sectors, rings, angle));
    for (int32_t i = 0; i < spread.count; ++i) {
        EXPECT_EQ(again.vectors[i].x, spread.vectors[i].x);
        EXPECT_EQ(again.vectors[i].z, spread.vectors[i].z);
    }
    ASSERT_TRUE(BuildSpreadVectors(again, 2, 1, angle));
    EXPECT_EQ(again.count, 2);

    nLogCapture cap;
    EXPECT_FALSE(BuildSpreadVectors(again, -1, 4, angle));
    EXPECT_EQ(again.count, 0);
    EXPECT_EQ(again.vectors, nullptr);
    EXPECT_EQ(cap.Lines(), (std::vector<std::string>{"[!] failed to allocate vector spread.\n"}));
    EXPECT_TRUE(BuildSpreadVectors(again, 0, 4, angle));
    EXPECT_EQ(again.count, 0);
}

}
