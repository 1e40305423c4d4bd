// Collision and physics-step events of a scene: raised around every sub-step from the
// world's contacts, on scripted fake contacts and on a box landing in the Bullet world.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "physics/bullet/nBulletPhysicWorld.h"
#include "physics/nPhysicShape.h"
#include "scriptiface/nScriptUnit.h"
#include "tests/scene/kit/nKitScene.h"

namespace {

typedef std::vector<std::string> Calls;

// The event lines of the log: no body or kind hook calls, and script machine calls only when asked for.
Calls Events(const nCallLog& log, bool withScript = false)
{
    Calls out;
    for (const std::string& c : log.Calls())
        if ((withScript || c.compare(0, 7, "script.") != 0) && c.compare(0, 8, "physics.") != 0 && c.compare(0, 5, "item.") != 0)
            out.push_back(c);
    return out;
}

void AddUnit(nKitScene& k, nMItem* item, const char* className)
{
    nScriptUnit* unit = item->CreateScriptUnit();
    unit->SetScriptPath("unit.nut");
    unit->SetClassName(className);
    unit->Setup();
}

nPhysicContact Contact(nMItem* a, nMItem* b, int32_t points)
{
    nPhysicContact c;
    c.a = a ? a->GetPhysicItem() : 0;
    c.b = b ? b->GetPhysicItem() : 0;
    c.pointCount = points;
    for (int32_t i = 0; i < points; ++i) {
        c.positions[i] = nVector(i + 0.5f, 2.0f, -1.0f);
        c.normals[i] = nVector(0.0f, 1.0f, 0.0f);
    }
    return c;
}

class CollisionEvents : public ::testing::Test
{
protected:
    CollisionEvents()
    {
        kit.SetFrameTicks(167);  // one sub-step per evaluation
        kit.vm.DefineClass("Plain", {"OnCollision"});
        kit.vm.DefineClass("Detailed", {"OnCollision", "OnCollisionEx"});
        kit.vm.DefineFunction("Vector");
    }
    nKitItem* Body(const char* name, int32_t mode = PhysicItemDynamic)
    {
        nKitItem* item = kit.Add(name);
        item->GetPhysicItem()->SetMode(mode);
        return item;
    }
    void Step()
    {
        kit.log.Clear();
        kit.scene->Evaluate(SceneEvaluatePhysic);
    }
    nKitScene kit;
};

TEST_F(CollisionEvents, PhysicStepGoesToTheSceneFirstThenToItemsWithBodiesAndInstances)
{
    Body("ball");
    Body("ghost", PhysicItemNone);
    kit.Add("copy", ManagedItemInstance);
    Body("crate", PhysicItemStatic);
    Step();
    EXPECT_EQ(Events(kit.log), (Calls{"scene.OnPhysicStep(1)", "ball.OnPhysicStep(1)", "copy.OnPhysicStep(1)",
                                      "crate.OnPhysicStep(1)"}));
    kit.SetFrameTicks(340);  // two sub-steps
    Step();
    EXPECT_EQ(Events(kit.log).size(), 8u);
}

TEST_F(CollisionEvents, EveryContactRaisesOnCollisionOnBothActiveItems)
{
    nKitItem* ball = Body("ball");
    nKitItem* floor = Body("floor", PhysicItemStatic);
    nKitItem* wall = Body("wall", PhysicItemStatic);
    kit.World()->contacts = {Contact(ball, floor, 2), Contact(wall, ball, 1), Contact(ball, wall, 0)};
    Step();
    EXPECT_EQ(Events(kit.log), (Calls{"scene.OnPhysicStep(1)", "ball.OnPhysicStep(1)", "floor.OnPhysicStep(1)",
                                      "wall.OnPhysicStep(1)", "ball.OnCollision(floor)", "floor.OnCollision(ball)",
                                      "wall.OnCollision(ball)", "ball.OnCollision(wall)"}))
        << "an empty manifold raises nothing";

    wall->SetActive(false, false);
    kit.World()->contacts = {Contact(wall, ball, 1)};
    kit.log.Clear();
    kit.scene->Evaluate(SceneEvaluatePhysic);
    Calls collisions;
    for (const std::string& c : Events(kit.log))
        if (c.find("OnCollision") != std::string::npos) collisions.push_back(c);
    EXPECT_EQ(collisions, Calls{"ball.OnCollision(wall)"}) << "only the active item hears of it";
}

TEST_F(CollisionEvents, ContactsOfBodiesWithoutItemsAreSkipped)
{
    nKitItem* ball = Body("ball");
    kit.World()->contacts = {Contact(ball, 0, 1), Contact(0, ball, 1)};
    Step();
    EXPECT_EQ(Events(kit.log), (Calls{"scene.OnPhysicStep(1)", "ball.OnPhysicStep(1)"}));
}

TEST_F(CollisionEvents, TableIsBuiltOnlyForItemsThatDefineOnCollisionEx)
{
    nKitItem* ball = Body("ball");
    nKitItem* floor = Body("floor", PhysicItemStatic);
    AddUnit(kit, ball, "Plain");
    AddUnit(kit, floor, "Plain");
    kit.World()->contacts = {Contact(ball, floor, 3)};
    Step();
    for (const std::string& c : kit.log.Calls()) {
        EXPECT_EQ(c.find("NewTable"), std::string::npos) << c;
        EXPECT_EQ(c.find("OnCollisionEx"), std::string::npos) << c;
    }

    AddUnit(kit, floor, "Detailed");
    Step();
    Calls table;
    for (const std::string& c : Events(kit.log, true))
        if (c.compare(0, 14, "scene.OnPhysic") != 0 && c.find("OnPhysicStep") == std::string::npos) table.push_back(c);
    EXPECT_EQ(table, (Calls{"script.NewTable", "script.NewArray", "script.Vector(0.5,2,-1)", "script.append result",
                            "script.Vector(1.5,2,-1)", "script.append result", "script.Vector(2.5,2,-1)",
                            "script.append result", "script.NewArray", "script.Vector(0,1,0)",
                            "script.append result", "script.Vector(0,1,0)", "script.append result",
                            "script.Vector(0,1,0)", "script.append result", "script.set table.count=3",
                            "script.set table.p=array", "script.set table.n=array",
                            "ball.OnCollisionEx(floor)", "floor.OnCollisionEx(ball)", "ball.OnCollision(floor)",
                            "floor.OnCollision(ball)"}));
}

// A box dropped onto a floor in the Bullet world, through the scene.
TEST(CollisionEventsBullet, LandingBoxHearsOfItOncePerSubStep)
{
    nKitScene kit(nBulletPhysicWorld::Make);
    ASSERT_NE(kit.scene->GetPhysicWorld(), nullptr);
    kit.SetFrameTicks(334);  // two sub-steps per evaluation

    nKitItem* floor = kit.Add("floor");
    nKitItem* box = kit.Add("box");
    struct
    {
        nKitItem* item;
        int32_t mode;
        nVector size, position;
    } bodies[] = {
        {floor, PhysicItemStatic, nVector(20, 1, 20), nVector(0, -0.5f, 0)},
        {box, PhysicItemDynamic, nVector(1, 1, 1), nVector(0, 2, 0)},
    };
    for (auto& b : bodies) {
        b.item->Node().SetPosition(b.position);
        nPhysicShape* shape = b.item->GetPhysicItem()->AddShape();
        shape->SetTypeAndSize(PhysicShapeBox, b.size);
        shape->mass = 1.0f;
        shape->restitution = 0.0f;
        b.item->GetPhysicItem()->SetMode(b.mode);
        b.item->Setup();
        b.item->Reset();
    }
    kit.log.Clear();
    kit.scene->Evaluate(SceneEvaluatePhysic);
    EXPECT_EQ(kit.log.Count("box.OnCollision(floor)"), 0u) << "still falling";
    for (int i = 0; i < 60; ++i) kit.scene->Evaluate(SceneEvaluatePhysic);
    kit.log.Clear();
    for (int i = 0; i < 10; ++i) kit.scene->Evaluate(SceneEvaluatePhysic);
    size_t subSteps = kit.log.Count("scene.OnPhysicStep(1)");
    EXPECT_GE(subSteps, 19u);
    EXPECT_EQ(kit.log.Count("box.OnCollision(floor)"), subSteps);
    EXPECT_EQ(kit.log.Count("floor.OnCollision(box)"), subSteps);
}

}
