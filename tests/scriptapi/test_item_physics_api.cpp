// The physics functions of the Item family on the Bullet bodies of a scene's items: modes,
// velocities, impulses, forces and torques given by scripts and seen after the scene's
// evaluation, gravity, body placement, the obsolete entries and the argument errors.

#include <gtest/gtest.h>

#include <string>

#include <btBulletDynamicsCommon.h>

#include "physics/bullet/nBulletPhysicItem.h"
#include "physics/nPhysicItem.h"
#include "physics/nPhysicShape.h"
#include "scene/nItem.h"
#include "scene/nMItem.h"
#include "scene/nScene.h"
#include "script/nCObject.h"
#include "tests/scene/kit/nKitClock.h"
#include "tests/scriptapi/nScriptAPITestKit.h"
#include "tests/support/nMathExpect.h"

namespace {

class ItemPhysicsAPI : public nScriptAPITest
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(nScriptAPITest::SetUp());
        SetEngineFrameTime(&engine, 167);
        ASSERT_NO_FATAL_FAILURE(CreateScene(true));
    }

    // An object of the scene with one shape, set up and reset at position, held by the
    // script global of its name.
    nMItem* Add(const char* name, int32_t mode, int32_t type, const nVector& size, float mass, const nVector& position)
    {
        nMItem* item = scene->CreateObject(name, 0);
        item->GetItem()->SetPosition(position);
        nPhysicShape* shape = item->GetPhysicItem()->AddShape();
        shape->SetTypeAndSize(type, size);
        shape->mass = mass;
        shape->restitution = 0.0f;
        item->GetPhysicItem()->SetMode(mode);
        item->Setup();
        item->Reset();
        Hold(name, item, objectTypeItem);
        return item;
    }
    // A dynamic ball of mass 2 floating at position (no gravity).
    nMItem* Ball(const nVector& position = nVector(0, 0, 0))
    {
        nMItem* ball = Add("ball", PhysicItemDynamic, PhysicShapeSphere, nVector(0.5f, 0, 0), 2.0f, position);
        Exec("ItemSetGravity(ball, Vector(0, 0, 0));");
        return ball;
    }
    void Steps(int frames)
    {
        for (int i = 0; i < frames; ++i) scene->Evaluate(SceneEvaluatePhysic);
    }

    static nBulletPhysicItem* Body(nMItem* item) { return static_cast<nBulletPhysicItem*>(item->GetPhysicItem()); }
    static nVector At(nMItem* item) { return item->GetItem()->GetWorldMatrix().GetColumn(3, true); }
};

TEST_F(ItemPhysicsAPI, ModeAndFlagConstants)
{
    const Expected cases[] = {
        {"PhysicModeNone", "0"},
        {"PhysicModeStatic", "1"},
        {"PhysicModeKinematic", "2"},
        {"PhysicModeDynamic", "3"},
        {"PhysicModeRigidBody", "3"},
        {"PhysicFlagNone", "0"},
        {"PhysicFlagNoGravity", "0"},
        {"PhysicFlagNoForceField", "0"},
        {"PhysicFlagMobile", "0"},
        {"PhysicFlagGhost", "0"},
    };
    ExpectEvals(cases);
}

// The mode is stored at once and reads back; the body follows when it is rebuilt.
TEST_F(ItemPhysicsAPI, ModesReadBackAndTakeEffectWhenTheBodyIsRebuilt)
{
    nMItem* box = Add("box", PhysicItemStatic, PhysicShapeBox, nVector(1, 1, 1), 1.0f, nVector(0, 5, 0));
    struct Case
    {
        const char* mode;
        const char* read;
    };
    const Case cases[] = {
        {"PhysicModeKinematic", "2"},
        {"PhysicModeNone", "0"},
        {"PhysicModeRigidBody", "3"},
        {"PhysicModeStatic", "1"},
        {"PhysicModeDynamic", "3"},
    };
    for (const Case& c : cases) {
        Exec(std::string("ItemSetPhysicMode(box, ") + c.mode + ");");
        EXPECT_EQ(Eval("ItemGetPhysicMode(box)"), c.read) << c.mode;
    }
    // Codes outside the modes leave the mode as it is.
    for (const char* code : {"4", "-1"}) {
        log.Clear();
        EXPECT_EQ(Eval(std::string("ItemSetPhysicMode(box, ") + code + ")"), "null");
        EXPECT_EQ(log.Lines(), (Lines{
                                   std::string("[*] Physic mode ") + code + " is not one of the PhysicMode values; the mode is unchanged.\n"}));
        EXPECT_EQ(Eval("ItemGetPhysicMode(box)"), "3") << code;
    }
    // Still the static body of mass 0 until rebuilt: nothing falls.
    EXPECT_EQ(Body(box)->GetBody()->getInvMass(), 0.0f);
    Steps(10);
    EXPECT_NEAR(At(box).y, 5.0f, 1e-5f);

    Exec("ItemUpdateInertiaTensorFromCollision(box);");
    EXPECT_EQ(Eval("ItemGetMass(box)"), "1");
    Steps(30);
    EXPECT_LT(At(box).y, 4.5f);
}

// A velocity given by a script carries the body, and the item with it, at the next evaluations.
TEST_F(ItemPhysicsAPI, VelocityGivenByScriptMovesTheItem)
{
    nMItem* ball = Ball(nVector(1, 2, 3));
    Exec("ItemSetLinearVelocity(ball, Vector(3, 0, -4)); ItemSetAngularVelocity(ball, Vector(0, 2, 0));");
    EXPECT_TRUE(VectorNear(Vec("ItemGetLinearVelocity(ball)"), nVector(3, 0, -4), 1e-5f));
    EXPECT_TRUE(VectorNear(Vec("ItemGetPreviousLinearVelocity(ball)"), nVector(3, 0, -4), 1e-5f));
    EXPECT_TRUE(VectorNear(Vec("ItemGetAngularVelocity(ball)"), nVector(0, 2, 0), 1e-5f));
    EXPECT_NEAR(Number("ItemGetSpeed(ball)"), 5.0f, 1e-4f);
    Steps(60);
    // One second of sub-steps; the item is drawn between the last two.
    EXPECT_TRUE(VectorNear(Vec("ItemGetPhysicPosition(ball)"), nVector(4, 2, -1), 0.02f));
    EXPECT_TRUE(VectorNear(Vec("ItemGetCenterOfMass(ball)"), nVector(4, 2, -1), 0.02f));
    EXPECT_TRUE(VectorNear(At(ball), nVector(4, 2, -1), 0.1f));
}

// An impulse is a velocity change, whatever the mass; at a point it is that point's change
// along the impulse. Static bodies take none.
TEST_F(ItemPhysicsAPI, ImpulsesChangeVelocities)
{
    nMItem* ball = Ball(nVector(3, 0, 0));
    Add("wall", PhysicItemStatic, PhysicShapeBox, nVector(1, 1, 1), 1.0f, nVector(-5, 0, 0));
    Exec("ItemApplyLinearImpulse(ball, Vector(0, 5, 0)); ItemApplyLinearImpulse(wall, Vector(0, 5, 0));");
    EXPECT_TRUE(VectorNear(Vec("ItemGetLinearVelocity(ball)"), nVector(0, 5, 0), 1e-4f));
    EXPECT_TRUE(VectorNear(Vec("ItemGetLinearVelocity(wall)"), nVector(0, 0, 0), 1e-6f));
    Steps(30);
    EXPECT_GT(At(ball).y, 2.0f);

    Exec("ItemSetPhysicPosition(ball, Vector(3, 0, 0)); ItemSetLinearVelocity(ball, Vector(0, 0, 0));"
         "ItemApplyImpulse(ball, Vector(3, 1, 0), Vector(2, 0, 0));");
    EXPECT_TRUE(VectorNear(Vec("ItemWorldPointVelocity(ball, Vector(3, 1, 0))"), nVector(2, 0, 0), 1e-4f));
    // The same point in the body's own frame.
    EXPECT_TRUE(VectorNear(Vec("ItemPointVelocity(ball, Vector(0, 1, 0))"),
                           Vec("ItemWorldPointVelocity(ball, Vector(3, 1, 0))"), 1e-4f));
    // Above the centre: the centre moves less and the ball turns about -z.
    EXPECT_LT(Vec("ItemGetLinearVelocity(ball)").x, 2.0f);
    EXPECT_LT(Vec("ItemGetAngularVelocity(ball)").z, 0.0f);
}

// The second argument is the point and the third the force: a push along +x at height 1
// moves the body along +x and turns it about -z.
TEST_F(ItemPhysicsAPI, ForcesAndTorquesActDuringTheNextStep)
{
    Ball();
    Exec("ItemApplyForce(ball, Vector(0, 1, 0), Vector(10, 0, 0));");
    Steps(1);
    nVector velocity = Vec("ItemGetLinearVelocity(ball)");
    EXPECT_GT(velocity.x, 0.0f);
    EXPECT_NEAR(velocity.y, 0.0f, 1e-6f);
    EXPECT_LT(Vec("ItemGetAngularVelocity(ball)").z, 0.0f);
    // Forces last one step.
    Steps(2);
    EXPECT_TRUE(VectorNear(Vec("ItemGetLinearVelocity(ball)"), velocity, 1e-5f));

    Exec("ItemSetLinearVelocity(ball, Vector(0, 0, 0)); ItemSetAngularVelocity(ball, Vector(0, 0, 0));"
         "ItemApplyLinearForce(ball, Vector(0, 0, 6));");
    Steps(1);
    velocity = Vec("ItemGetLinearVelocity(ball)");
    EXPECT_GT(velocity.z, 0.0f);
    EXPECT_TRUE(VectorNear(Vec("ItemGetAngularVelocity(ball)"), nVector(0, 0, 0), 1e-6f));

    // The torque is in item space: turned by a quarter about y, the item's z is the world's x.
    Exec("ItemSetLinearVelocity(ball, Vector(0, 0, 0));"
         "ItemPhysicResetTransformation(ball, Vector(0, 0, 0), Vector(0, 1.5707963, 0));"
         "ItemApplyTorque(ball, Vector(0, 0, 5));");
    Steps(1);
    nVector spin = Vec("ItemGetAngularVelocity(ball)");
    EXPECT_GT(spin.x, 0.0f);
    EXPECT_NEAR(spin.z, 0.0f, 1e-4f);
}

TEST_F(ItemPhysicsAPI, FactorsAndDampingShapeTheMotion)
{
    nMItem* ball = Ball();
    nMItem* other = Add("other", PhysicItemDynamic, PhysicShapeSphere, nVector(0.5f, 0, 0), 1.0f, nVector(10, 0, 0));
    // No linear motion along y: gravity no longer pulls the ball down.
    Exec("ItemSetGravity(ball, Vector(0, -9.8, 0)); ItemPhysicSetLinearFactor(ball, Vector(1, 0, 1));"
         "ItemPhysicSetAngularFactor(ball, Vector(0, 0, 0)); ItemApplyTorque(ball, Vector(3, 3, 3));");
    Steps(20);
    EXPECT_NEAR(At(ball).y, 0.0f, 1e-5f);
    EXPECT_TRUE(VectorNear(Vec("ItemGetAngularVelocity(ball)"), nVector(0, 0, 0), 1e-6f));
    EXPECT_LT(At(other).y, -0.1f);

    // Retention 1 keeps the speed, 0.5 loses some of it; the same for turning.
    Exec("ItemSetGravity(other, Vector(0, 0, 0)); ItemSetLinearVelocity(other, Vector(4, 0, 0));"
         "ItemSetAngularVelocity(other, Vector(0, 4, 0)); ItemSetLinearDamping(other, 1);");
    Steps(10);
    EXPECT_NEAR(Number("ItemGetSpeed(other)"), 4.0f, 1e-4f);
    Exec("ItemSetLinearDamping(other, 0.5); ItemSetAngularDamping(other, 0.5);");
    Steps(10);
    EXPECT_LT(Number("ItemGetSpeed(other)"), 3.9f);
    EXPECT_LT(Vec("ItemGetAngularVelocity(other)").y, 3.9f);
}

TEST_F(ItemPhysicsAPI, GravityOfOneBody)
{
    nMItem* ball = Add("ball", PhysicItemDynamic, PhysicShapeSphere, nVector(0.5f, 0, 0), 2.0f, nVector(0, 0, 0));
    EXPECT_TRUE(VectorNear(Vec("ItemGetGravity(ball)"), nVector(0, -9.8f, 0), 1e-5f));
    Exec("ItemSetGravityScale(ball, 0.5);");
    EXPECT_TRUE(VectorNear(Vec("ItemGetGravity(ball)"), nVector(0, -4.9f, 0), 1e-5f));
    Exec("ItemSetGravity(ball, Vector(1, 2, 3));");
    EXPECT_TRUE(VectorNear(Vec("ItemGetGravity(ball)"), nVector(1, 2, 3), 1e-5f));
    Steps(30);
    EXPECT_GT(At(ball).z, 0.1f);
}

TEST_F(ItemPhysicsAPI, MassAndCentreOfMassOfSeveralShapes)
{
    nMItem* pair = scene->CreateObject("pair", 0);
    nPhysicItem* body = pair->GetPhysicItem();
    for (float x : {0.0f, 2.0f}) {
        nPhysicShape* shape = body->AddShape();
        shape->SetTypeAndSize(PhysicShapeSphere, nVector(0.5f, 0, 0));
        shape->mass = 1.5f;
        shape->position = nVector(x, 0, 0);
    }
    body->SetMode(PhysicItemDynamic);
    pair->Setup();
    pair->Reset();
    Hold("pair", pair, objectTypeItem);
    EXPECT_EQ(Eval("ItemGetMass(pair)"), "3");
    EXPECT_TRUE(VectorNear(Vec("ItemGetCenterOfMass(pair)"), nVector(1, 0, 0), 1e-5f));
}

TEST_F(ItemPhysicsAPI, SleepAndWake)
{
    nMItem* ball = Ball();
    Exec("ItemSleep(ball);");
    EXPECT_EQ(Eval("ItemIsSleeping(ball)"), "true");
    Exec("ItemWake(ball);");
    EXPECT_EQ(Eval("ItemIsSleeping(ball)"), "false");
    EXPECT_TRUE(Body(ball)->IsActive());
}

// The body is placed directly; the item follows at the next evaluation.
TEST_F(ItemPhysicsAPI, BodyPlacement)
{
    nMItem* ball = Ball(nVector(1, 1, 1));
    Exec("ItemSetPhysicPosition(ball, Vector(4, 5, 6));");
    EXPECT_TRUE(VectorNear(Vec("ItemGetPhysicPosition(ball)"), nVector(4, 5, 6), 1e-5f));
    EXPECT_TRUE(VectorNear(At(ball), nVector(1, 1, 1), 1e-5f));
    Steps(1);
    EXPECT_TRUE(VectorNear(At(ball), nVector(4, 5, 6), 1e-5f));

    // A rotation keeps the place.
    Exec("ItemSetPhysicRotation(ball, Vector(0.3, -0.5, 0.2));");
    EXPECT_TRUE(VectorNear(Vec("ItemGetPhysicRotation(ball)"), nVector(0.3f, -0.5f, 0.2f), 1e-4f));
    EXPECT_TRUE(VectorNear(Vec("ItemGetPhysicPosition(ball)"), nVector(4, 5, 6), 1e-5f));

    // Angles in the order YXZ, whatever the node's own order.
    ball->GetItem()->SetRotationOrder(RotationOrderXYZ);
    Exec("ItemPhysicResetTransformation(ball, Vector(-2, 0, 7), Vector(0.2, 0.4, -0.3));");
    EXPECT_TRUE(VectorNear(Vec("ItemGetPhysicPosition(ball)"), nVector(-2, 0, 7), 1e-5f));
    EXPECT_TRUE(VectorNear(Vec("ItemGetPhysicRotation(ball)"), nVector(0.2f, 0.4f, -0.3f), 1e-4f));
    Steps(1);
    nVector position, scale, angles;
    ball->GetItem()->GetWorldMatrix().DecomposeEuler(&position, &scale, &angles, RotationOrderYXZ);
    EXPECT_TRUE(VectorNear(position, nVector(-2, 0, 7), 1e-5f));
    EXPECT_TRUE(VectorNear(angles, nVector(0.2f, 0.4f, -0.3f), 1e-4f));
}

// The obsolete entries check their arguments and answer fixed values, even on a body that
// collides and moves.
TEST_F(ItemPhysicsAPI, ObsoleteEntries)
{
    Add("floor", PhysicItemStatic, PhysicShapeBox, nVector(20, 1, 20), 0.0f, nVector(0, -0.5f, 0));
    nMItem* ball = Add("ball", PhysicItemDynamic, PhysicShapeSphere, nVector(0.5f, 0, 0), 1.0f, nVector(0, 0.6f, 0));
    Steps(30);
    ASSERT_GT(scene->GetPhysicWorld()->GetContactCount(), 0);
    Exec("ItemSetLinearVelocity(ball, Vector(1, 0, 0));");
    log.Clear();
    const Expected cases[] = {
        {"ItemCollided(ball)", "false"},
        {"ItemPhysicGetFlag(ball)", "0"},
        {"ItemPhysicSetFlag(ball, 0x7fffffff)", "null"},
        {"ItemSetInertiaTensorAndCom(ball, Matrix3(), Vector(9, 9, 9))", "null"},
        {"ItemSetInertiaTensorAndCom(ball, Vector(), Vector(9, 9, 9))", "error: Invalid instance type"},
        {"ItemSetInertiaTensorAndCom(ball, Matrix3(), Matrix3())", "error: Invalid instance type"},
        {"ItemSetPhysicPreviousPosition(ball, Vector(9, 9, 9))", "null"},
        {"ItemPhysicSynchronizeCollision(ball)", "null"},
    };
    ExpectEvals(cases);
    EXPECT_EQ(log.Lines(), (Lines{"[!] OBSOLETE\n", "[!] OBSOLETE\n"}));
    for (const char* call : {"ItemGetLinearAcceleration(ball)", "ItemGetPhysicPreviousPosition(ball)"})
        EXPECT_TRUE(VectorNear(Vec(call), nVector(0, 0, 0), 0.0f)) << call;
    EXPECT_EQ(Body(ball)->GetTotalMass(), 1.0f);
    EXPECT_TRUE(VectorNear(Vec("ItemGetLinearVelocity(ball)"), nVector(1, 0, 0), 1e-5f));
    EXPECT_FALSE(Body(ball)->TestFlag(-1));
}

// One case per kind of argument error; the function never reaches the body.
TEST_F(ItemPhysicsAPI, ArgumentErrors)
{
    nMItem* ball = Ball();
    Hold("nullItem", 0, objectTypeItem);
    Hold("ballAsObject", ball, objectTypeObject);
    const Expected cases[] = {
        {"ItemSetLinearVelocity(nullItem, Vector(1, 0, 0))", "error: CObject is null"},
        {"ItemSetLinearVelocity(ballAsObject, Vector(1, 0, 0))", "error: Expected 'Item' got 'Object'"},
        {"ItemSetLinearVelocity(Vector(), Vector(1, 0, 0))", "error: invalid type tag"},
        {"ItemSetLinearVelocity(ball, Matrix4())", "error: Invalid instance type"},
        {"ItemApplyForce(ball, Vector(0, 1, 0), Matrix3())", "error: Invalid instance type"},
        {"ItemSetPhysicMode(ball, 1.5)", "error: parameter 2 has an invalid type 'float' ; expected: 'integer'"},
        {"ItemSetLinearDamping(ball, \"0.5\")", "error: parameter 2 has an invalid type 'string' ; expected: 'integer|float'"},
        {"ItemApplyImpulse(ball, Vector(1, 0, 0))", "error: wrong number of parameters"},
    };
    ExpectEvals(cases);
    EXPECT_TRUE(VectorNear(Body(ball)->GetLinearVelocity(), nVector(0, 0, 0), 0.0f));
    EXPECT_EQ(Body(ball)->GetMode(), PhysicItemDynamic);
}

// A body rebuilt by a script for an inactive item stays out of the simulation.
TEST_F(ItemPhysicsAPI, RebuiltBodyOfAnInactiveItemStaysOut)
{
    nMItem* box = Add("box", PhysicItemStatic, PhysicShapeBox, nVector(1, 1, 1), 1.0f, nVector(0, 5, 0));
    box->SetActive(false, false);
    Exec("ItemSetPhysicMode(box, PhysicModeDynamic); ItemUpdateInertiaTensorFromCollision(box);");
    EXPECT_FALSE(Body(box)->IsActive());
    Steps(30);
    EXPECT_NEAR(At(box).y, 5.0f, 1e-5f);
}

// An item of a scene without a physics world has no body: it reads as mode none, every
// function gives its empty value without an error, and the item stays where it is.
TEST_F(ItemPhysicsAPI, ItemWithoutBody)
{
    nScene bare(&engine, &vm);
    nMItem* item = bare.CreateObject("bare", 0);
    ASSERT_EQ(item->GetPhysicItem(), nullptr);
    Hold("bare", item, objectTypeItem);
    const char* zero = "0 0 0";
    const Expected cases[] = {
        {"ItemSetPhysicMode(bare, PhysicModeDynamic)", "null"},
        {"ItemUpdateInertiaTensorFromCollision(bare)", "null"},
        {"ItemGetPhysicMode(bare)", "0"},
        {"ItemWake(bare)", "null"},
        {"ItemSleep(bare)", "null"},
        {"ItemIsSleeping(bare)", "false"},
        {"ItemGetMass(bare)", "0"},
        {"ItemGetCenterOfMass(bare)", zero},
        {"ItemSetLinearVelocity(bare, Vector(1, 2, 3))", "null"},
        {"ItemSetAngularVelocity(bare, Vector(1, 2, 3))", "null"},
        {"ItemGetSpeed(bare)", "0"},
        {"ItemGetLinearVelocity(bare)", zero},
        {"ItemGetPreviousLinearVelocity(bare)", zero},
        {"ItemGetAngularVelocity(bare)", zero},
        {"ItemSetLinearDamping(bare, 0.5)", "null"},
        {"ItemSetAngularDamping(bare, 0.5)", "null"},
        {"ItemPhysicSetLinearFactor(bare, Vector(1, 0, 1))", "null"},
        {"ItemPhysicSetAngularFactor(bare, Vector(1, 0, 1))", "null"},
        {"ItemApplyLinearForce(bare, Vector(1, 0, 0))", "null"},
        {"ItemApplyForce(bare, Vector(0, 1, 0), Vector(1, 0, 0))", "null"},
        {"ItemApplyLinearImpulse(bare, Vector(1, 0, 0))", "null"},
        {"ItemApplyImpulse(bare, Vector(0, 1, 0), Vector(1, 0, 0))", "null"},
        {"ItemApplyTorque(bare, Vector(1, 0, 0))", "null"},
        {"ItemSetGravity(bare, Vector(1, 0, 0))", "null"},
        {"ItemSetGravityScale(bare, 2)", "null"},
        {"ItemGetGravity(bare)", zero},
        {"ItemWorldPointVelocity(bare, Vector(1, 1, 1))", zero},
        {"ItemPointVelocity(bare, Vector(1, 1, 1))", zero},
        {"ItemSetPhysicPosition(bare, Vector(1, 1, 1))", "null"},
        {"ItemSetPhysicRotation(bare, Vector(1, 1, 1))", "null"},
        {"ItemPhysicResetTransformation(bare, Vector(1, 1, 1), Vector(1, 1, 1))", "null"},
        {"ItemGetPhysicPosition(bare)", zero},
        {"ItemGetPhysicRotation(bare)", zero},
        {"ItemCollided(bare)", "false"},
        {"ItemGetLinearAcceleration(bare)", zero},
        {"ItemGetPhysicPreviousPosition(bare)", zero},
        {"ItemPhysicGetFlag(bare)", "0"},
        {"ItemPhysicSetFlag(bare, 1)", "null"},
        {"ItemSetInertiaTensorAndCom(bare, Matrix3(), Vector())", "null"},
        {"ItemSetPhysicPreviousPosition(bare, Vector())", "null"},
        {"ItemPhysicSynchronizeCollision(bare)", "null"},
    };
    ExpectEvals(cases);
    EXPECT_EQ(log.Lines(), (Lines{"[!] OBSOLETE\n", "[!] OBSOLETE\n"}));
    EXPECT_TRUE(VectorNear(At(item), nVector(0, 0, 0), 0.0f));
}

}  // namespace
