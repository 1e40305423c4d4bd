// Geometry hierarchies under allocation failure: every non-throwing allocation of a build is made
// to fail in turn. Each failure either makes the build fail with one error line and leaves no
// hierarchy, or leaves a hierarchy whose rays still find every hit brute force finds.
#include "resources/nGeometryBIH.h"
#include "tests/resources/nGeometryTestKit.h"
#include "tests/support/nAllocationFailure.h"
#include "tests/support/nLogCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <string>
#include <vector>

namespace {

// A 12 x 12 grid of quads at z = 0 and, far off, 30 copies of one triangle: their chain of
// splits down to the level limit makes the node array grow.
void BuildGrid(nGeometry& g)
{
    std::vector<nVector> points;
    std::vector<std::vector<int>> polys;
    for (int y = 0; y <= 12; ++y)
        for (int x = 0; x <= 12; ++x) points.push_back(nVector((float)x, (float)y, 0));
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) polys.push_back({y * 13 + x, y * 13 + x + 1, (y + 1) * 13 + x + 1, (y + 1) * 13 + x});
    const int first = (int)points.size();
    points.push_back(nVector(100, 0, 0));
    points.push_back(nVector(101, 0, 0));
    points.push_back(nVector(100, 1, 0));
    for (int i = 0; i < 30; ++i) polys.push_back({first, first + 1, first + 2});
    BuildMesh(g, points, polys, {}, 1);
}

std::vector<std::string> Errors(const nLogCapture& cap)
{
    std::vector<std::string> out;
    for (const std::string& line : cap.Lines())
        if (line.rfind("[!] ", 0) == 0) out.push_back(line);
    return out;
}

TEST(GeometryBIHAllocationFailure, EachFailureFailsCleanlyOrLosesNoHit)
{
    nOrvex engine;
    const std::vector<std::string> buildErrors = {
        "[!] Failed to allocate geotree.\n",
        "[!] Failed to allocate volume objects.\n",
        "[!] Failed to allocate point in polygon acceleration array.\n",
        "[!] Failed to allocate BIH indice array.\n",
        "[!] Failed to allocate BIH root node.\n",
    };
    int failedBuilds = 0, keptBuilds = 0;
    for (int n = 1; n < 200; ++n) {
        SCOPED_TRACE("allocation " + std::to_string(n));
        nGeometry g(&engine);
        BuildGrid(g);
        nLogCapture cap;
        nFailNthNothrowAllocation(n);
        const bool built = g.BuildGeoTree();
        const bool failedOne = nNothrowAllocationFailed();
        nFailNthNothrowAllocation(0);
        if (!failedOne) {
            EXPECT_TRUE(built);
            break;  // every allocation of a build has been made to fail
        }
        std::vector<std::string> errors = Errors(cap);
        if (!built) {
            ++failedBuilds;
            EXPECT_EQ(g.geometryBIH, nullptr);
            ASSERT_EQ(errors.size(), 1u);
            EXPECT_NE(std::find(buildErrors.begin(), buildErrors.end(), errors[0]), buildErrors.end()) << errors[0];
            continue;
        }
        // Absorbed: a polygon-normal array the hierarchy does without, or a node pair kept as
        // one larger leaf.
        ++keptBuilds;
        ASSERT_NE(g.geometryBIH, nullptr);
        EXPECT_LE(errors.size(), 1u);
        for (int i = 0; i < 144; ++i) {
            nBIHRay ray;
            const nVector origin(0.5f + (float)(i % 12), 0.5f + (float)(i / 12), 3);
            g.geometryBIH->CastRay(ray, origin, nVector(0.01f, 0.02f, -1), 0);
            EXPECT_EQ(ray.polygon, i) << "ray " << i;
        }
    }
    EXPECT_GE(failedBuilds, 5);
    EXPECT_GE(keptBuilds, 1);
}

}
