// Geometry tables under allocation failure: each failure is one log line and leaves no table
// that claims more than is known.
#include "tests/resources/nGeometryTestKit.h"
#include "tests/support/nAllocationFailure.h"
#include "tests/support/nLogCapture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Two triangles of different materials sharing the edge 1-2: vertices 1 and 2 are not shared,
// vertices 0 and 3 are.
void BuildSplitPair(nGeometry& g)
{
    BuildMesh(g, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {{0, 1, 2}, {2, 1, 3}}, {0, 1}, 2);
}

TEST(GeometryAllocationFailure, HomogeneousTableIsAbsentWhenATableCannotBeAllocated)
{
    const char* kAdjacency = "[!] Could not allocate vertex to polygon table.\n";
    struct Case
    {
        const char* what;
        std::size_t bytes;  // the one allocation that fails
        const char* line;
    };
    const Case cases[] = {
        {"vertex heads", 4 * sizeof(nVertexPolygons), kAdjacency},
        {"vertex polygon list", 6 * sizeof(int32_t), kAdjacency},
        {"homogeneous flags", 4, "[!] Could not allocate homogeneous vertex table.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        nOrvex engine;
        nGeometry g(&engine);
        BuildSplitPair(g);
        {
            nLogCapture cap;
            nFailNothrowAllocationOfSize(c.bytes);
            EXPECT_FALSE(g.BuildHomogeneousTable(-1));
            nFailNothrowAllocationOfSize(0);
            EXPECT_EQ(cap.Lines(), std::vector<std::string>{c.line});
        }
        EXPECT_EQ(g.homogeneous, nullptr);

        // Once memory is there again, the table is built in full.
        ASSERT_TRUE(g.BuildHomogeneousTable(-1));
        ASSERT_NE(g.homogeneous, nullptr);
        EXPECT_EQ(std::vector<int>(g.homogeneous, g.homogeneous + 4), (std::vector<int>{1, 0, 0, 1}));
    }
}

}
