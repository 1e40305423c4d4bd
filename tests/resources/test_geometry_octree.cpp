// The geometry's octree: its leaves partition the mesh (each polygon in exactly one leaf, the
// leaves mapped back equal the source), the split rules, the visibility walk against a
// brute-force test of every leaf, and builds that run out of memory keeping the mesh.
#include "tests/resources/nGeometryTestKit.h"
#include "tests/support/nAllocationFailure.h"
#include "tests/support/nLogCapture.h"

#include "core/nFrustum.h"
#include "resources/nOctreeNode.h"
#include "tests/kit/nCallLog.h"
#include "tests/kit/nRecordingEvents.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

namespace {

// One triangle as drawn: corner positions, UVs, colours and the material's name.
typedef std::tuple<std::vector<float>, std::string> Drawn;

std::vector<Drawn> DrawnPolygons(const nGeometry& g)
{
    std::vector<Drawn> out;
    for (uint32_t p = 0; p < g.polygonCount; ++p) {
        std::vector<float> values;
        for (uint32_t c = 0; c < g.polygons[p].count; ++c) {
            const int32_t b = (int32_t)(g.polygons[p].bindings - g.bindings) + (int32_t)c;
            const nVector& v = g.vertices[g.bindings[b]];
            values.insert(values.end(), {v.x, v.y, v.z, g.uvSets[0][b].x, g.uvSets[0][b].y, g.colors[b].r, g.colors[b].g,
                                         g.colors[b].b});
        }
        out.emplace_back(values, g.GetMaterial(g.polygons[p].material)->GetName().GetCStr());
    }
    return out;
}

// The leaf nodes of the tree in depth-first order, lower child first.
void LeafNodes(const nOctreeNode* n, std::vector<const nOctreeNode*>& out)
{
    if (!n) return;
    if (n->IsLeaf()) out.push_back(n);
    LeafNodes(n->GetLower(), out);
    LeafNodes(n->GetUpper(), out);
}

std::vector<nGeometry*> WalkVisible(const nOctreeNode* root)
{
    std::vector<nGeometry*> out;
    nOctreeNode* cursor = 0;
    while (nGeometry* leaf = root->NextVisibleLeaf(cursor)) out.push_back(leaf);
    return out;
}

TEST(Octree, LeavesPartitionTheMeshAndMapBackToTheSource)
{
    nOrvex engine;
    nSharedPtr<nGeometry> grid(new nGeometry(&engine)), source(new nGeometry(&engine));
    grid->SetName("grid");
    BuildGrid(*grid, 100);  // 20,000 triangles
    BuildGrid(*source, 100);
    nLogCapture cap;
    ASSERT_TRUE(grid->BuildOctree(100));  // leaves of at most 1024 polygons

    const nOctreeNode* root = grid->GetOctree();
    ASSERT_NE(root, nullptr);
    std::vector<const nOctreeNode*> leaves;
    LeafNodes(root, leaves);
    ASSERT_GT(leaves.size(), 16u);
    std::vector<Drawn> fromLeaves;
    uint32_t total = 0;
    for (size_t i = 0; i < leaves.size(); ++i) {
        const nGeometry& leaf = *leaves[i]->GetLeaf();
        SCOPED_TRACE(leaf.GetName().GetCStr());
        EXPECT_EQ(std::string(leaf.GetName().GetCStr()), "grid (Leaf " + std::to_string(i) + ")");
        EXPECT_LE(leaf.polygonCount, 1024u);
        EXPECT_EQ(leaf.materialCount, 2u);
        EXPECT_EQ(leaf.materials[1].Get(), grid->materials[1].Get());  // the same materials, shared
        // Dense: every vertex is used, none is named twice over.
        std::vector<int> uses(leaf.vertexCount, 0);
        for (uint32_t b = 0; b < leaf.bindingCount; ++b) {
            ASSERT_LT((uint32_t)leaf.bindings[b], leaf.vertexCount);
            ++uses[leaf.bindings[b]];
        }
        EXPECT_EQ(std::count(uses.begin(), uses.end(), 0), 0);
        // The node's box holds the leaf's vertices.
        nMinMax box;
        leaf.ComputeBounds(box, 0);
        EXPECT_GE(box.min.x, leaves[i]->GetBounds().min.x);
        EXPECT_LE(box.max.z, leaves[i]->GetBounds().max.z);
        total += leaf.polygonCount;
        for (const Drawn& d : DrawnPolygons(leaf)) fromLeaves.push_back(d);
    }
    std::vector<Drawn> expected = DrawnPolygons(*source);
    std::sort(expected.begin(), expected.end());
    std::sort(fromLeaves.begin(), fromLeaves.end());
    EXPECT_EQ(total, 20000u);
    EXPECT_TRUE(fromLeaves == expected);  // each source polygon in exactly one leaf, as drawn

    uint32_t summaryLeaves = 0, summaryPolygons = 0;
    nGeometry::GetOctreeSummary(summaryLeaves, summaryPolygons);
    EXPECT_EQ(summaryLeaves, leaves.size());
    EXPECT_EQ(summaryPolygons, 20000u);
    const Calls lines = cap.Lines();
    EXPECT_EQ(lines.back(), "Octree summary: " + std::to_string(leaves.size()) + " leaves referencing 20000 polygon(s).\n");
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.rfind("Octree node depth ", 0) == 0; }),
              (long)leaves.size());

    // In the player the leaves hold the only copy of the mesh; the materials stay.
    EXPECT_EQ(grid->vertexCount, 0u);
    EXPECT_EQ(grid->polygonCount, 0u);
    EXPECT_EQ(grid->uvSets[0], nullptr);
    EXPECT_EQ(grid->materialCount, 2u);
    EXPECT_EQ(grid->GetKeepMask() & 0x19u, 0x19u);
}

TEST(Octree, AToolKeepsTheSourceMeshAndABuildOfAnEmptiedMeshKeepsTheTree)
{
    nOrvex engine;
    engine.SetToolMode(ToolEdit);
    nSharedPtr<nGeometry> grid(new nGeometry(&engine));
    BuildGrid(*grid, 40);
    ASSERT_TRUE(grid->BuildOctree(0));
    EXPECT_EQ(grid->polygonCount, 3200u);
    ASSERT_NE(grid->GetOctree(), nullptr);

    engine.SetToolMode(NoTool);
    ASSERT_TRUE(grid->BuildOctree(0));  // rebuilt: the old tree goes, the mesh now too
    const nOctreeNode* tree = grid->GetOctree();
    EXPECT_EQ(grid->polygonCount, 0u);
    nLogCapture cap;
    EXPECT_FALSE(grid->BuildOctree(0));  // nothing left to split: the leaves are kept
    EXPECT_EQ(grid->GetOctree(), tree);
    EXPECT_EQ(cap.Lines(), Calls{"[*] Geometry '' has no mesh to split into an octree.\n"});
}

// A node built straight from a list with a small leaf limit shows the split rules.
struct SplitCase
{
    const char* what;
    std::vector<nVector> positions;
    std::vector<std::vector<int>> polygons;
    int32_t axis;                     // of the root
    std::vector<uint32_t> lowerLeaf;  // the polygons of the root's lower child (a leaf)
    bool rootIsLeaf;
};

TEST(Octree, SplitRulesStraddlersTiesAndFlatOrEmptyNodes)
{
    const SplitCase cases[] = {
        {"longest x: a straddler (one vertex below, two above) goes lower",
         {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {4, 0, 0}, {10, 0, 0}, {10, 1, 0}, {9, 0, 1}, {10, 0, 1}, {10, 1, 1}},
         {{0, 1, 2}, {3, 4, 5}, {6, 7, 8}},
         0,
         {0, 1},
         false},
        {"longest y", {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {0, 9, 0}, {0, 10, 0}, {1, 10, 0}}, {{0, 1, 2}, {3, 4, 5}}, 1, {0}, false},
        {"x and y tie: z", {{0, 0, 0}, {10, 0, 0}, {0, 10, 1}, {0, 0, 2}, {10, 10, 3}, {10, 0, 3}}, {{0, 1, 2}, {3, 4, 5}}, 2, {0}, false},
        {"flat in the XY plane with equal x and y: a leaf", {{0, 0, 0}, {10, 0, 0}, {0, 10, 0}, {10, 10, 0}}, {{0, 1, 2}, {1, 3, 2}}, 2, {}, true},
        {"polygons without vertices only: a leaf with zero bounds", {{5, 5, 5}}, {{}, {}, {}}, 2, {}, true},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.what);
        nOrvex engine;
        nSharedPtr<nGeometry> g(new nGeometry(&engine));
        BuildMesh(*g, c.positions, c.polygons, {}, 1);
        std::vector<int32_t> map(g->vertexCount, -1);
        nOctreeBuild build = {g.Get(), 1, map.data()};
        nDwordArray list;
        ASSERT_TRUE(list.Allocate(g->polygonCount));
        for (uint32_t i = 0; i < list.count; ++i) list.values[i] = i;
        nOctreeNode root(&engine);
        nLogCapture cap;
        ASSERT_TRUE(root.BuildNode(build, list, kOctreeDepthBudget));
        EXPECT_EQ(root.IsLeaf(), c.rootIsLeaf);
        if (c.rootIsLeaf) {
            EXPECT_EQ(root.GetLeaf()->polygonCount, g->polygonCount);
            if (g->bindingCount == 0) { EXPECT_EQ(root.GetBounds().max.x, 0.0f); }
            continue;
        }
        EXPECT_EQ(root.GetSplitAxis(), c.axis);
        ASSERT_NE(root.GetLower(), nullptr);
        uint32_t lowerPolygons = 0;
        std::vector<const nOctreeNode*> leaves;
        LeafNodes(root.GetLower(), leaves);
        for (const nOctreeNode* n : leaves) lowerPolygons += n->GetLeaf()->polygonCount;
        EXPECT_EQ(lowerPolygons, c.lowerLeaf.size());
        // FindLeaf follows the splits down to the leaf holding a point of the first polygon.
        EXPECT_EQ(root.FindLeaf(c.positions[0])->IsLeaf(), true);
    }
}

// Frusta placed over the grid in many ways, the object placed by a rotation and translation.
TEST(Octree, VisibleLeavesAreExactlyThoseABruteForceTestKeepsInTreeOrder)
{
    nOrvex engine;
    nSharedPtr<nGeometry> grid(new nGeometry(&engine));
    BuildGrid(*grid, 120, 2.0f);  // 28,800 triangles over 240 x 240
    ASSERT_TRUE(grid->BuildOctree(0));
    nOctreeNode* root = grid->GetOctree();
    std::vector<const nOctreeNode*> leaves;
    LeafNodes(root, leaves);

    const nMatrix4 object = nMatrix4::Translation(nVector(-120, -5, 30)) * nMatrix4::FromMatrix3(nMatrix3::RotationY(0.4f));
    int partial = 0;
    for (int i = 0; i < 24; ++i) {
        SCOPED_TRACE(i);
        nMatrix4 camera = nMatrix4::Translation(nVector(-150.0f + 13.0f * i, 20.0f, -40.0f + 9.0f * i)) * nMatrix4::FromMatrix3(nMatrix3::RotationY(-1.2f + 0.21f * i) * nMatrix3::RotationX(0.3f));
        nFrustum frustum;
        frustum.SetPerspective(0.9f, 1.0f, 60.0f + 10.0f * i, &camera, 1.0f, 1.0f);
        root->MarkVisibility(&frustum, &object);
        std::vector<nGeometry*> expected;
        for (const nOctreeNode* leaf : leaves)
            if (frustum.TestMinMax(leaf->GetBounds(), &object) != VisibilityOutside) expected.push_back(leaf->GetLeaf());
        EXPECT_EQ(WalkVisible(root), expected);
        if (!expected.empty() && expected.size() < leaves.size()) ++partial;
    }
    EXPECT_GT(partial, 8);  // the cases do cut the grid

    root->MarkVisibility(0, 0);  // everything inside
    std::vector<nGeometry*> all;
    for (const nOctreeNode* leaf : leaves) all.push_back(leaf->GetLeaf());
    EXPECT_EQ(WalkVisible(root), all);
    nFrustum behind;
    nMatrix4 away = nMatrix4::Translation(nVector(0, 0, -1000)) * nMatrix4::FromMatrix3(nMatrix3::RotationY(3.14159f));
    behind.SetPerspective(0.9f, 1.0f, 100.0f, &away, 1.0f, 1.0f);
    root->MarkVisibility(&behind, 0);
    EXPECT_TRUE(WalkVisible(root).empty());
}

// A tool keeps the source mesh, so setting the source up again reaches its tree.
TEST(Octree, SetUpSetsUpEveryLeafAndReportsEveryNodeOnce)
{
    nOrvex engine;
    engine.SetToolMode(ToolEdit);
    nSharedPtr<nGeometry> grid(new nGeometry(&engine));
    BuildGrid(*grid, 60);
    ASSERT_TRUE(grid->BuildOctree(0));
    nCallLog calls;
    nRecordingEventInterface events(&engine, &calls);
    grid->Setup();
    int nodes = 0;
    std::vector<const nOctreeNode*> stack = {grid->GetOctree()};
    while (!stack.empty()) {
        const nOctreeNode* n = stack.back();
        stack.pop_back();
        ++nodes;
        for (const nOctreeNode* child : {n->GetLower(), n->GetUpper()})
            if (child) stack.push_back(child);
    }
    std::vector<const nOctreeNode*> leaves;
    LeafNodes(grid->GetOctree(), leaves);
    const Calls& lines = calls.Calls();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "engine.Message(Octree Leaf Setup)"), nodes);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "engine.Message(Geometry Setup)"), (long)leaves.size() + 1);
    EXPECT_EQ(lines.back(), "engine.Message(Octree Leaf Setup)");  // the root's, after its children
}

// Whatever allocation fails, a build either gives a tree whose leaves hold the whole mesh, or
// no tree and the mesh untouched: never a tree missing a part, never a lost mesh.
TEST(Octree, ABuildThatRunsOutOfMemoryKeepsTheMeshWhole)
{
    struct Case
    {
        const char* what;
        size_t bytes;
        const char* line;
    };
    const Case named[] = {
        {"the polygon list", 4 * 3200, "[!] Octree failed to allocate polygon list.\n"},
        {"the first leaf", sizeof(nGeometry), "[!] Failed to allocate leaf geometry.\n"},
    };
    for (const Case& c : named) {
        SCOPED_TRACE(c.what);
        nOrvex engine;
        nSharedPtr<nGeometry> grid(new nGeometry(&engine));
        BuildGrid(*grid, 40);
        nLogCapture cap;
        nFailNothrowAllocationOfSize(c.bytes);
        EXPECT_FALSE(grid->BuildOctree(0));
        nFailNothrowAllocationOfSize(0);
        const Calls lines = cap.Lines();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), c.line), 1);
        EXPECT_EQ(grid->GetOctree(), nullptr);
        EXPECT_EQ(grid->polygonCount, 3200u);
        EXPECT_EQ(grid->vertexCount, 41u * 41u);
    }

    nOrvex engine;
    nSharedPtr<nGeometry> reference(new nGeometry(&engine));
    BuildGrid(*reference, 40);
    std::vector<Drawn> expected = DrawnPolygons(*reference);
    std::sort(expected.begin(), expected.end());
    int failed = 0;
    for (int n = 1; n <= 400; n += 3) {
        SCOPED_TRACE(n);
        nSharedPtr<nGeometry> grid(new nGeometry(&engine));
        BuildGrid(*grid, 40);
        bool built;
        {
            nLogCapture quiet;
            nFailNthNothrowAllocation(n);
            built = grid->BuildOctree(0);
            nFailNthNothrowAllocation(0);
        }
        std::vector<Drawn> drawn;
        if (built) {
            ASSERT_NE(grid->GetOctree(), nullptr);
            std::vector<const nOctreeNode*> leaves;
            LeafNodes(grid->GetOctree(), leaves);
            for (const nOctreeNode* leaf : leaves)
                for (const Drawn& d : DrawnPolygons(*leaf->GetLeaf())) drawn.push_back(d);
        } else {
            ++failed;
            EXPECT_EQ(grid->GetOctree(), nullptr);
            drawn = DrawnPolygons(*grid);
        }
        std::sort(drawn.begin(), drawn.end());
        EXPECT_TRUE(drawn == expected);
    }
    EXPECT_GT(failed, 10);
}

}
