// SceneMergeItems through real Squirrel on a scene with a Bullet world: two objects baked into a
// new object "merged" in world space with both sets of collision shapes, a geometry whose mesh
// was freed loaded again by its name, and the errors for wrong kinds, null objects and objects
// without a geometry.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "physics/nPhysicItem.h"
#include "physics/nPhysicShape.h"
#include "resources/nGeometry.h"
#include "scene/nLight.h"
#include "scene/nMItem.h"
#include "scene/nObject.h"
#include "scene/nScene.h"
#include "script/nCObject.h"
#include "tests/resources/nGeometryTestKit.h"
#include "tests/scriptapi/nScriptAPITestKit.h"
#include "tests/support/nMathExpect.h"
#include "tests/support/nTempDir.h"

namespace {

class SceneMerge : public nScriptAPITest
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(nScriptAPITest::SetUp());
        ASSERT_NO_FATAL_FAILURE(CreateScene(true));
        scene->SetName("yard");
        cube = new nGeometry(&engine);
        BuildCube(*cube);
        quad = new nGeometry(&engine);
        BuildMesh(*quad, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}}, {0}, 1);
        quad->materials[0]->SetName("m0");  // the cube's material again: one after the merge
        hollow = new nGeometry(&engine);    // no mesh and no name to load it by

        nMItem* a = scene->CreateObject("a", cube.Get());
        a->GetItem()->SetPosition(nVector(5, 0, 0));
        Shape(a, PhysicShapeBox, nVector(2, 2, 2), PhysicItemDynamic);
        nMItem* b = scene->CreateObject("b", quad.Get());
        b->GetItem()->SetPosition(nVector(0, 0, 3));
        Shape(b, PhysicShapeSphere, nVector(0.5f, 0, 0), PhysicItemStatic);
        nMItem* items[] = {a, b, scene->CreateObject("bare", 0), scene->CreateObject("hollow", hollow.Get()),
                           scene->CreateLight("sun", LightTypeParallel, 1.0f)};
        for (nMItem* item : items) {
            item->Setup();
            item->Reset();
            Hold(item->GetName().GetCStr(), item, objectTypeItem);
        }
        Hold("yard", scene, objectTypeScene);
        Hold("noScene", 0, objectTypeScene);
    }

    void TearDown() override
    {
        nScriptAPITest::TearDown();
        cube.Release();
        quad.Release();
        hollow.Release();
    }

    static void Shape(nMItem* item, int32_t type, const nVector& size, int32_t mode)
    {
        nPhysicShape* shape = item->GetPhysicItem()->AddShape();
        shape->SetTypeAndSize(type, size);
        item->GetPhysicItem()->SetMode(mode);
    }

    nObject* Merged()
    {
        nMItem* item = scene->FindItem("merged", 0);
        return item ? nMObject::FromItem(item) : 0;
    }

    nSharedPtr<nGeometry> cube, quad, hollow;
};

TEST_F(SceneMerge, TwoObjectsBecomeANewObjectInWorldSpaceWithBothBodies)
{
    EXPECT_EQ(Eval("ItemGetName(SceneMergeItems(yard, a, b))"), "merged");
    nObject* merged = Merged();
    ASSERT_NE(merged, nullptr);
    nGeometry* g = merged->GetGeometry().Get();
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->vertexCount, 12u);
    EXPECT_EQ(g->polygonCount, 7u);
    EXPECT_EQ(g->materialCount, 1u);
    EXPECT_TRUE(VectorNear(g->vertices[0], nVector(4, -1, -1), 1e-5f));
    EXPECT_TRUE(VectorNear(g->vertices[10], nVector(1, 1, 3), 1e-5f));
    EXPECT_TRUE(VectorNear(merged->GetPosition(), nVector(0, 0, 0), 1e-6f));

    nPhysicItem* body = scene->FindItem("merged", 0)->GetPhysicItem();
    ASSERT_NE(body, nullptr);
    ASSERT_EQ(body->GetShapes().GetCount(), 2);
    const nPhysicShape* box = body->GetShapes().GetHead()->value;
    const nPhysicShape* sphere = body->GetShapes().GetTail()->value;
    EXPECT_EQ(box->type, PhysicShapeBox);
    EXPECT_TRUE(VectorNear(box->size, nVector(2, 2, 2), 1e-6f));
    EXPECT_TRUE(VectorNear(box->position, nVector(5, 0, 0), 1e-5f));
    EXPECT_EQ(sphere->type, PhysicShapeSphere);
    EXPECT_TRUE(VectorNear(sphere->position, nVector(0, 0, 3), 1e-5f));
    EXPECT_EQ(body->GetMode(), PhysicItemStatic);  // the second item's mode wins

    // The sources stay as they were.
    EXPECT_EQ(cube->vertexCount, 8u);
    EXPECT_EQ(Eval("SceneGetItemList(yard).len()"), "6");
}

TEST_F(SceneMerge, AGeometryWhoseMeshWasFreedIsLoadedAgainByName)
{
    nTempDir dir;
    const std::string path = dir.Path("crate.nmo");
    ASSERT_TRUE(cube->Save(path.c_str()));
    nSharedPtr<nGeometry> freed(new nGeometry(&engine));
    freed->SetName(path.c_str());
    nMItem* crate = scene->CreateObject("crate", freed.Get());
    Hold("crate", crate, objectTypeItem);
    EXPECT_EQ(Eval("ItemGetName(SceneMergeItems(yard, crate, b))"), "merged");
    ASSERT_NE(Merged(), nullptr);
    EXPECT_EQ(Merged()->GetGeometry()->vertexCount, 12u);
    EXPECT_EQ(freed->vertexCount, 0u);  // the object's own geometry is left alone
}

TEST_F(SceneMerge, WrongKindsNullObjectsAndMissingGeometriesAreRefused)
{
    const Expected cases[] = {
        {"SceneMergeItems(yard, a, sun)", "Only objects can be merged."},
        {"SceneMergeItems(yard, sun, a)", "Only objects can be merged."},
        {"SceneMergeItems(yard, bare, a)", "Only objects with a geometry can be merged."},
        {"SceneMergeItems(yard, a, hollow)", "Failed to load geometry to merge."},
        {"SceneMergeItems(noScene, a, b)", "CObject is null"},
        {"SceneMergeItems(yard, NullItem, b)", "CObject is null"},
        {"SceneMergeItems(yard, a, NullItem)", "CObject is null"},
        {"SceneMergeItems(yard, a, yard)", "Expected 'Item' got 'Scene'"},
        {"SceneMergeItems(a, a, b)", "Expected 'Scene' got 'Item'"},
        {"SceneMergeItems(yard, a, Vector(0, 0, 0))", "invalid type tag"},
        {"SceneMergeItems(yard, a, 1)", "parameter 3 has an invalid type 'integer' ; expected: 'instance'"},
        {"SceneMergeItems(yard, a)", "wrong number of parameters"},
    };
    ExpectRuns(cases);
    EXPECT_EQ(Merged(), nullptr);
    EXPECT_FALSE(vm.IsKilled());
}

}  // namespace
