// Bullet bodies of scene items: placed by their item's node, written back by the scene's
// physics step with the item's scale kept, kinematic bodies following their node.

#include <gtest/gtest.h>
#include <btBulletDynamicsCommon.h>

#include "physics/bullet/nBulletPhysicItem.h"
#include "physics/bullet/nBulletPhysicWorld.h"
#include "physics/nPhysicShape.h"
#include "tests/scene/kit/nKitScene.h"
#include "tests/support/nMathExpect.h"

namespace {

nPhysicWorld* MakeBulletWorld(nOrvex* engine)
{
    return new nBulletPhysicWorld(engine);
}

class BulletScene : public ::testing::Test
{
protected:
    BulletScene() : kit(MakeBulletWorld)
    {
        kit.SetFrameTicks(167);
    }
    // An item with one shape at the given node position and scale, set up and reset.
    nKitItem* Add(const char* name, int32_t mode, int32_t type, const nVector& size, float mass,
                  const nVector& position, const nVector& scale = nVector(1, 1, 1))
    {
        nKitItem* item = kit.Add(name);
        item->Node().SetPosition(position);
        item->Node().SetScale(scale);
        nPhysicItem* body = item->GetPhysicItem();
        nPhysicShape* shape = body->AddShape();
        shape->SetTypeAndSize(type, size);
        shape->mass = mass;
        shape->restitution = 0.0f;
        body->SetMode(mode);
        item->Setup();
        item->Reset();
        return item;
    }
    void Run(float seconds)
    {
        for (float t = 0.0f; t < seconds; t += 0.0167f) kit.scene->Evaluate(SceneEvaluatePhysic);
    }
    static nBulletPhysicItem* Body(nMItem* item) { return static_cast<nBulletPhysicItem*>(item->GetPhysicItem()); }

    nKitScene kit;
};

TEST_F(BulletScene, ItemsGetBulletBodiesPlacedByTheirNodes)
{
    ASSERT_NE(kit.scene->GetPhysicWorld(), nullptr);
    nKitItem* ball = Add("ball", PhysicItemDynamic, PhysicShapeSphere, nVector(0.5f, 0, 0), 1.0f, nVector(2, 6, -1));
    ASSERT_NE(Body(ball)->GetBody(), nullptr);
    EXPECT_EQ(Body(ball)->GetOwner(), ball);
    EXPECT_TRUE(VectorNear(Body(ball)->GetCenterOfMass(), nVector(2, 6, -1), 1e-5f));
}

TEST_F(BulletScene, SceneStepWritesTheRestingPlaceBackIntoTheNode)
{
    Add("floor", PhysicItemStatic, PhysicShapeBox, nVector(20, 1, 20), 0.0f, nVector(0, -0.5f, 0));
    nKitItem* ball = Add("ball", PhysicItemDynamic, PhysicShapeSphere, nVector(0.5f, 0, 0), 1.0f, nVector(2, 4, -1));
    Run(3.0f);
    nVector at = ball->Node().GetWorldMatrix().GetColumn(3, true);
    EXPECT_NEAR(at.y, 0.5f, 0.01f);
    EXPECT_NEAR(at.x, 2.0f, 0.01f);
    EXPECT_NEAR(at.z, -1.0f, 0.01f);
}

TEST_F(BulletScene, ScaledItemKeepsItsScaleThroughTheSimulation)
{
    Add("floor", PhysicItemStatic, PhysicShapeBox, nVector(20, 1, 20), 0.0f, nVector(0, -0.5f, 0));
    nKitItem* crate = Add("crate", PhysicItemDynamic, PhysicShapeBox, nVector(1, 1, 1), 1.0f, nVector(0, 3, 0), nVector(2, 3, 2));
    btMatrix3x3 basis = Body(crate)->GetBody()->getWorldTransform().getBasis();
    EXPECT_NEAR(basis.determinant(), 1.0f, 1e-5f) << "Bullet is handed a rigid frame";
    Run(2.0f);
    nMatrix4 m = crate->Node().GetWorldMatrix();
    nVector position, scale;
    nMatrix3 rotation;
    m.Decompose(&position, &scale, &rotation);
    EXPECT_TRUE(VectorNear(scale, nVector(2, 3, 2), 1e-4f));
    EXPECT_NEAR(position.y, 0.5f, 0.01f) << "the shape itself is not scaled by the item";
}

TEST_F(BulletScene, KinematicBodyFollowsItsNode)
{
    nKitItem* lift = Add("lift", PhysicItemKinematic, PhysicShapeBox, nVector(2, 1, 2), 0.0f, nVector(0, 0, 0));
    lift->Node().SetPosition(nVector(7, 3, 0));
    Run(0.1f);
    EXPECT_TRUE(VectorNear(Body(lift)->GetCenterOfMass(), nVector(7, 3, 0), 1e-4f));
    nVector origin(7, 10, 0), down(0, -1, 0);
    nPhysicRayHit hit;
    ASSERT_TRUE(kit.scene->GetPhysicWorld()->RayCast(&origin, &down, &hit, 1, 0, 0.0f));
    EXPECT_EQ(hit.item, Body(lift));
    EXPECT_NEAR(hit.point.y, 3.5f, 1e-3f);
}

TEST_F(BulletScene, InactiveItemsBodyStaysOutOfTheSimulation)
{
    nKitItem* ghost = kit.Add("ghost");
    ghost->SetActive(false, false);
    ghost->Node().SetPosition(nVector(0, 5, 0));
    nPhysicShape* shape = ghost->GetPhysicItem()->AddShape();
    shape->SetTypeAndSize(PhysicShapeSphere, nVector(1, 0, 0));
    shape->mass = 1.0f;
    ghost->GetPhysicItem()->SetMode(PhysicItemDynamic);
    ghost->Setup();
    ghost->Reset();
    EXPECT_FALSE(ghost->GetPhysicItem()->IsActive());
    nVector origin(0, 20, 0), down(0, -1, 0);
    nPhysicRayHit hit;
    EXPECT_FALSE(kit.scene->GetPhysicWorld()->RayCast(&origin, &down, &hit, 1, 0, 0.0f));
}

}
