// The raytracer's scene hierarchy: which objects it takes for camera and for shadow rays,
// nearest hits across overlapping, moved and scaled items, skinned objects in their pose, and
// geometries whose mesh lives in octree leaves.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/raytrace/nSceneBIH.h"
#include "resources/nGeometryBIH.h"
#include "tests/render/raytrace/nRaytraceTestKit.h"
#include "tests/support/nLogCapture.h"

using namespace raytracekit;

namespace {

std::vector<std::string> TakenNames(const nSceneBIH& tree)
{
    std::vector<std::string> names;
    for (int32_t i = 0; i < tree.GetEntryCount(); ++i) names.push_back(tree.GetEntries()[i].item->GetName().GetCStr());
    return names;
}

// The item met first by a ray from (x, y, -10) along +z, or "" for none.
std::string FirstAlongZ(nSceneBIH& tree, float x, float y, float* distance = nullptr)
{
    nSceneRay ray;
    tree.CountedIntersect(ray, nVector(x, y, -10.0f), nVector(0.0f, 0.0f, 1.0f), -1.0f);
    if (distance) *distance = ray.hitDistance;
    return ray.Entry() ? ray.Entry()->item->GetName().GetCStr() : "";
}

TEST(SceneBIH, TakesOnlyActiveVisibleObjectsWithAMesh)
{
    nLogCapture log;
    Stage s;
    nOrvex* engine = &s.k.engine;
    s.AddObject("shown", MakeSquare(engine, 1.0f), nVector(0, 0, 0));
    s.AddObject("inactive", MakeSquare(engine, 1.0f), nVector(0, 0, 1))->SetActive(false, false);
    s.AddObject("transparent item", MakeSquare(engine, 1.0f), nVector(0, 0, 2))->GetObject().SetOpacity(0.0f);
    s.AddObject("half transparent", MakeSquare(engine, 1.0f), nVector(0, 0, 3))->GetObject().SetOpacity(0.5f);
    s.AddObject("flag 0x20", MakeSquare(engine, 1.0f), nVector(0, 0, 4))->SetFlags(0x20);
    s.AddObject("flag 0x40", MakeSquare(engine, 1.0f), nVector(0, 0, 5))->SetFlags(0x40);
    s.AddObject("flag 0x80", MakeSquare(engine, 1.0f), nVector(0, 0, 6))->SetFlags(0x80);
    s.AddObject("no geometry", nullptr, nVector(0, 0, 7));
    s.AddObject("no vertices", new nGeometry(engine), nVector(0, 0, 8));
    s.AddObject("shown last", MakeSquare(engine, 1.0f), nVector(0, 0, 9));

    for (int32_t variant : {SceneBIHCamera, SceneBIHShadow}) {
        SCOPED_TRACE(variant);
        nSceneBIH tree;
        ASSERT_TRUE(tree.GrabScene(s.k.scene, variant));
        EXPECT_EQ(TakenNames(tree), (std::vector<std::string>{"shown", "half transparent", "flag 0x20", "shown last"}));
        EXPECT_EQ(tree.GetScene(), s.k.scene);
        EXPECT_FLOAT_EQ(tree.GetEntries()[1].alpha, 0.5f);
    }
}

TEST(SceneBIH, ShadowRaysMeetTheShadowProxyAndSkipGeometriesThatCastNone)
{
    Stage s;
    nOrvex* engine = &s.k.engine;
    nGeometry* big = MakeSquare(engine, 1.0f, nullptr, "big");
    big->shadowProxy = nSharedPtr<nGeometry>(MakeSquare(engine, 0.25f, nullptr, "proxy"));
    s.AddObject("with proxy", big, nVector(0, 0, 0));
    nGeometry* noShadow = MakeSquare(engine, 1.0f, nullptr, "no shadow");
    noShadow->proxyFlags |= GeometryShadowNull;
    s.AddObject("casts none", noShadow, nVector(5, 0, 0));

    nSceneBIH camera, shadow;
    ASSERT_TRUE(camera.GrabScene(s.k.scene, SceneBIHCamera));
    ASSERT_TRUE(shadow.GrabScene(s.k.scene, SceneBIHShadow));
    EXPECT_EQ(TakenNames(camera), (std::vector<std::string>{"with proxy", "casts none"}));
    EXPECT_EQ(TakenNames(shadow), (std::vector<std::string>{"with proxy"}));
    EXPECT_EQ(std::string(shadow.GetEntries()[0].geometry->GetName().GetCStr()), "proxy");

    // (0.5, 0.5) lies on the full square but off the proxy; (5, 0) on the one casting none.
    EXPECT_EQ(FirstAlongZ(camera, 0.5f, 0.5f), "with proxy");
    EXPECT_EQ(FirstAlongZ(shadow, 0.5f, 0.5f), "");
    EXPECT_EQ(FirstAlongZ(shadow, 0.1f, 0.1f), "with proxy");
    EXPECT_EQ(FirstAlongZ(camera, 5.0f, 0.0f), "casts none");
    EXPECT_EQ(FirstAlongZ(shadow, 5.0f, 0.0f), "");
}

TEST(SceneBIH, TheNearestHitWinsAcrossOverlappingMovedAndScaledItems)
{
    Stage s;
    nOrvex* engine = &s.k.engine;
    s.AddObject("far", MakeSquare(engine, 1.0f), nVector(0, 0, 4));
    nMObject* scaled = s.AddObject("scaled", MakeSquare(engine, 1.0f), nVector(3, 0, 2));
    scaled->GetObject().SetScale(nVector(3, 3, 3));  // spans x 0..6 at z = 2
    s.AddObject("near", MakeSquare(engine, 0.5f), nVector(0.5f, 0, 1));
    for (int i = 0; i < 20; ++i)  // enough items for several leaves
        s.AddObject("filler", MakeSquare(engine, 0.1f), nVector(-20.0f + i, 10, 0));

    nSceneBIH tree;
    ASSERT_TRUE(tree.GrabScene(s.k.scene, SceneBIHCamera));
    ASSERT_GT(tree.GetLeafCount(), 1);
    const struct
    {
        float x, y;
        const char* item;
        float distance;
    } cases[] = {
        {0.5f, 0.0f, "near", 11.0f},    // all three overlap here
        {-0.5f, 0.0f, "far", 14.0f},    // left of the scaled one and off the small one
        {2.0f, 0.0f, "scaled", 12.0f},  // only the scaled one reaches x = 2
        {5.9f, 2.9f, "scaled", 12.0f},
        {6.1f, 0.0f, "", -1.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + ", " + std::to_string(c.y));
        float distance = 0.0f;
        EXPECT_EQ(FirstAlongZ(tree, c.x, c.y, &distance), c.item);
        EXPECT_NEAR(distance, c.distance, 1e-4f);
    }

    // A limited ray stops short of everything beyond its length; an any-hit ray stops at its
    // first hit, whichever that is.
    nSceneRay limited;
    tree.CountedIntersect(limited, nVector(-0.5f, 0, -10), nVector(0, 0, 1), 13.0f);
    EXPECT_FALSE(limited.hit);
    nSceneRay any;
    any.nearest = 0;
    tree.CountedIntersect(any, nVector(0.5f, 0, -10), nVector(0, 0, 1), -1.0f);
    EXPECT_TRUE(any.hit);
    EXPECT_EQ(tree.GetRayCount(), 7u);
}

TEST(SceneBIH, AnEmptySceneIsAnEmptyHierarchy)
{
    Stage s;
    s.AddObject("no geometry", nullptr, nVector(0, 0, 0));
    nSceneBIH tree;
    EXPECT_TRUE(tree.GrabScene(s.k.scene, SceneBIHCamera));
    EXPECT_EQ(tree.GetEntryCount(), 0);
    EXPECT_EQ(FirstAlongZ(tree, 0, 0), "");
}

TEST(SceneBIH, ASkinnedObjectIsTakenInThePoseItHadWhenGrabbed)
{
    Stage s;
    nOrvex* engine = &s.k.engine;
    // A square whose left half follows bone 0 and right half bone 1.
    nGeometry* g = MakeSquare(engine, 1.0f, nullptr, "skinned");
    g->skinWeights = nGeometry::AllocateArray<nSkinWeight>(4);
    for (uint16_t v = 0; v < 4; ++v) g->skinWeights[v] = nSkinWeight{{1, 0, 0, 0}, {uint16_t(v < 2 ? 0 : 1), 0, 0, 0}};
    g->AllocateSkin(2);
    nMObject* object = s.AddObject("skinned", g, nVector(0, 0, 0));
    nMObject* bone0 = s.AddObject("bone0", nullptr, nVector(0, 0, 0));
    nMObject* bone1 = s.AddObject("bone1", nullptr, nVector(0, 0, 0));
    nObject& o = object->GetObject();
    ASSERT_TRUE(o.SetBone(0, &bone0->GetObject()));
    ASSERT_TRUE(o.SetBone(1, &bone1->GetObject()));
    bone1->GetObject().SetPosition(nVector(4, 0, 0));  // the right edge moves from x = 1 to x = 5
    o.UpdateSkinning();

    nSceneBIH tree;
    ASSERT_TRUE(tree.GrabScene(s.k.scene, SceneBIHCamera));
    ASSERT_EQ(tree.GetEntryCount(), 1);
    const nGeometry* posed = tree.GetEntries()[0].geometry;
    EXPECT_NE(posed, g);  // a copy of its own
    EXPECT_FLOAT_EQ(posed->vertices[2].x, 5.0f);
    EXPECT_FLOAT_EQ(g->vertices[2].x, 1.0f);  // the shared geometry is untouched
    EXPECT_EQ(FirstAlongZ(tree, 4.0f, 0.0f), "skinned");

    // Moving the bone later changes nothing until the scene is taken again.
    bone1->GetObject().SetPosition(nVector(0, 0, 0));
    o.UpdateSkinning();
    EXPECT_EQ(FirstAlongZ(tree, 4.0f, 0.0f), "skinned");
    ASSERT_TRUE(tree.GrabScene(s.k.scene, SceneBIHCamera));
    EXPECT_EQ(FirstAlongZ(tree, 4.0f, 0.0f), "");
}

TEST(SceneBIH, AGeometryCutIntoAnOctreeIsFoundInItsLeaves)
{
    Stage s;
    nOrvex* engine = &s.k.engine;
    // A grid of 64 x 64 small squares, cut into an octree that keeps the mesh in its leaves.
    nGeometry* grid = new nGeometry(engine);
    grid->SetName("grid");
    const int n = 64;
    grid->AllocateVertices((n + 1) * (n + 1));
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x) grid->vertices[y * (n + 1) + x] = nVector((float)x, (float)y, 0.0f);
    grid->AllocatePolygons(n * n);
    for (int i = 0; i < n * n; ++i) {
        grid->polygons[i].count = 4;
        grid->polygons[i].material = 0;
    }
    grid->AllocateBindings();
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            int32_t* b = grid->polygons[y * n + x].bindings;
            const int32_t v = y * (n + 1) + x;
            b[0] = v;
            b[1] = v + n + 1;
            b[2] = v + n + 2;
            b[3] = v + 1;
        }
    grid->AllocateMaterials(1, true);
    ASSERT_TRUE(grid->BuildOctree(64));
    ASSERT_EQ(grid->vertices, nullptr);  // the player's octree frees the whole mesh
    s.AddObject("grid", grid, nVector(0, 0, 0));

    nSceneBIH tree;
    ASSERT_TRUE(tree.GrabScene(s.k.scene, SceneBIHCamera));
    ASSERT_GE(tree.GetEntryCount(), 1);
    for (int32_t i = 0; i < tree.GetEntryCount(); ++i) EXPECT_NE(tree.GetEntries()[i].geometry, grid);  // leaves only
    for (float x : {0.5f, 31.5f, 63.5f}) EXPECT_EQ(FirstAlongZ(tree, x, x), "grid") << x;
    EXPECT_EQ(FirstAlongZ(tree, 64.5f, 1.0f), "");
}

}  // namespace
