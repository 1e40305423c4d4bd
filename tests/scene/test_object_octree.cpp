// Large geometries in a scene: set-up cuts the one of a single object into an octree, and the
// object then queues the leaves its camera sees, in leaf order, instead of the whole mesh.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/nFrustum.h"
#include "resources/nOctreeNode.h"
#include "scene/nCamera.h"
#include "scene/nObject.h"
#include "scene/nScene.h"
#include "tests/resources/nGeometryTestKit.h"
#include "tests/scene/kit/nKitScene.h"
#include "tests/support/nLogCapture.h"

namespace {

typedef std::vector<std::string> Names;

void LeafNodes(const nOctreeNode* n, std::vector<const nOctreeNode*>& out)
{
    if (!n) return;
    if (n->IsLeaf()) out.push_back(n);
    LeafNodes(n->GetLower(), out);
    LeafNodes(n->GetUpper(), out);
}

TEST(ObjectOctree, SetUpCutsALargeGeometryOfOneObject)
{
    struct Case
    {
        const char* what;
        int cells;  // 2 cells^2 triangles
        int users;
        bool tree;
        Names lines;  // of the optimisation
    };
    const Case cases[] = {
        {"8192 polygons", 64, 1, false, {}},
        {"8450 polygons, one object", 65, 1, true, {"   Generating octree for geometry 'big'.\n"}},
        {"8450 polygons, two objects", 65, 2, false, {"[*] Geometry 'big' should be optimized but will not be as it is used by more than one item.\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        nKitScene k;
        nSharedPtr<nGeometry> big(new nGeometry(&k.engine));
        big->SetName("big");
        BuildGrid(*big, c.cells);
        for (int i = 0; i < c.users; ++i) k.scene->CreateObject(("o" + std::to_string(i)).c_str(), big.Get());
        nLogCapture cap;
        k.scene->Setup(true, 1024);
        Names lines;
        for (const std::string& line : cap.Lines())
            if (line.find("ctree") != std::string::npos || line.find("optimized") != std::string::npos) lines.push_back(line);
        if (c.tree) {
            ASSERT_NE(big->GetOctree(), nullptr);
            ASSERT_GE(lines.size(), 2u);
            EXPECT_EQ(lines.front(), c.lines[0]);
            std::vector<const nOctreeNode*> leaves;
            LeafNodes(big->GetOctree(), leaves);
            EXPECT_EQ(lines.back(), "Octree summary: " + std::to_string(leaves.size()) + " leaves referencing 8450 polygon(s).\n");
            EXPECT_EQ(big->polygonCount, 0u);  // the leaves hold the mesh now
        } else {
            EXPECT_EQ(big->GetOctree(), nullptr);
            EXPECT_EQ(lines, c.lines);
        }
    }
}

TEST(ObjectOctree, AnObjectQueuesTheLeavesItsCameraSeesInLeafOrder)
{
    nKitScene k;
    k.renderer.SetViewportAnswer(0, 0, 800, 600);
    nMCamera* camera = static_cast<nMCamera*>(k.scene->CreateCamera("camera"));
    k.renderer.SetCamera(&camera->GetCamera());
    nSharedPtr<nGeometry> big(new nGeometry(&k.engine));
    big->SetName("big");
    BuildGrid(*big, 100, 4.0f);  // 20,000 triangles over 400 x 400
    nMObject* item = static_cast<nMObject*>(k.scene->CreateObject("level", big.Get()));
    nLogCapture quiet;
    k.scene->Setup(true, 0);
    ASSERT_NE(big->GetOctree(), nullptr);
    std::vector<const nOctreeNode*> leaves;
    LeafNodes(big->GetOctree(), leaves);

    struct Case
    {
        const char* what;
        nVector position;
        bool some;
    };
    const Case cases[] = {
        {"a corner in view", nVector(-200, -3, 2), true},
        {"off to the side", nVector(-100, -3, 30), true},
        {"behind the camera", nVector(-200, -3, -500), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        item->GetObject().SetPosition(c.position);
        k.scene->Evaluate(SceneEvaluateTransform);
        const nMatrix4& world = item->GetObject().GetWorldMatrix();
        const nFrustum& frustum = camera->GetCamera().GetFrustum();
        Names expected;
        for (const nOctreeNode* leaf : leaves)
            if (frustum.TestMinMax(leaf->GetBounds(), &world) != VisibilityOutside)
                expected.push_back(leaf->GetLeaf()->GetName().GetCStr());
        nRenderablePrimitiveList list;
        item->GetObject().Enqueue(&camera->GetCamera(), &list, 0);
        Names queued;
        for (auto* n = list.GetHead(); n; n = n->next) {
            EXPECT_EQ(n->value->owner, &item->GetObject());
            queued.push_back(static_cast<nGeometry*>(n->value->payload)->GetName().GetCStr());
        }
        DeletePrimitiveList(&list);
        EXPECT_EQ(queued, expected);
        EXPECT_EQ(!queued.empty(), c.some);
        EXPECT_LT(queued.size(), leaves.size());
    }
}

}
