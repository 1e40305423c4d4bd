// The Collision and Constraint families through real Squirrel on a scene with a Bullet world:
// their names and constants against the manifest, shapes built by scripts and the bodies
// rebuilt from them, the collision switches seen in the simulation, the constraint entries
// that only check their arguments, the refusals of values no body can be built from, shape
// objects dying with their records, and a generated sweep of bad arguments.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <btBulletDynamicsCommon.h>

#include "physics/bullet/nBulletPhysicItem.h"
#include "physics/nPhysicItem.h"
#include "physics/nPhysicShape.h"
#include "scene/nItem.h"
#include "scene/nMItem.h"
#include "scene/nScene.h"
#include "script/nCObject.h"
#include "scriptapi/nShapeScriptAPI.h"
#include "tests/scene/kit/nKitClock.h"
#include "tests/scriptapi/nScriptAPITestKit.h"
#include "tests/support/nMathExpect.h"

namespace {

class ShapeAPI : public nScriptAPITest
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(nScriptAPITest::SetUp());
        SetEngineFrameTime(&engine, 167);
        ASSERT_NO_FATAL_FAILURE(CreateScene(true));
        Hold("scene", scene, objectTypeScene);
    }

    // An object of the scene at position, without shapes, set up and reset, then in mode; held
    // by the script global of its name.
    nMItem* Add(const char* name, int32_t mode, const nVector& position)
    {
        nMItem* item = scene->CreateObject(name, 0);
        item->GetItem()->SetPosition(position);
        item->GetPhysicItem()->SetMode(mode);
        item->Setup();
        item->Reset();
        // Built without shapes, the body fell back to mode none: the mode is given again for
        // the shapes the script adds, as a script would with ItemSetPhysicMode.
        item->GetPhysicItem()->SetMode(mode);
        Hold(name, item, objectTypeItem);
        return item;
    }
    // A static floor whose top face is at y = 0.5, built by the script.
    nMItem* Floor()
    {
        nMItem* floor = Add("floor", PhysicItemStatic, nVector(0, 0, 0));
        Exec("local s = ItemAddCollisionShape(floor); ShapeSetBox(s, Vector(20, 1, 20)); ShapeSetMass(s, 1);"
             "ItemUpdateInertiaTensorFromCollision(floor);");
        return floor;
    }
    void Steps(int frames)
    {
        for (int i = 0; i < frames; ++i) scene->Evaluate(SceneEvaluatePhysic);
    }

    static nBulletPhysicItem* Body(nMItem* item) { return static_cast<nBulletPhysicItem*>(item->GetPhysicItem()); }
    static nVector At(nMItem* item) { return item->GetItem()->GetWorldMatrix().GetColumn(3, true); }
    // The simulation's child shape built from the item's shape at index.
    static btCollisionShape* Child(nMItem* item, int index)
    {
        nList<nPhysicShape*>::Node* n = item->GetPhysicItem()->GetShapes().GetHead();
        for (int i = 0; n && i < index; ++i) n = n->next;
        return n ? static_cast<btCollisionShape*>(n->value->simulationShape) : 0;
    }
};

// The families add exactly the manifest's names, with its masks and values; the constraint
// entries the manifest says share a native function share one.
TEST_F(ShapeAPI, CensusOfNamesMasksAndConstantsAgainstTheManifest)
{
    std::vector<ManifestFunction> collision = ReadFunctionManifest("collision_functions.tsv");
    std::vector<ManifestConstant> constants = ReadConstantManifest("collision_constants.tsv");
    std::vector<ManifestFunction> constraint = ReadFunctionManifest("constraint_functions.tsv");
    ASSERT_EQ(collision.size(), 20u);
    ASSERT_EQ(constants.size(), 4u);
    ASSERT_EQ(constraint.size(), 14u);

    std::vector<std::string> expected;
    for (const ManifestFunction& f : collision) expected.push_back(f.name);
    for (const ManifestConstant& c : constants) expected.push_back(c.name);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(NamesAddedBy(RegisterCollisionScriptAPI), expected);
    expected.clear();
    for (const ManifestFunction& f : constraint) expected.push_back(f.name);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(NamesAddedBy(RegisterConstraintScriptAPI), expected);

    std::vector<Function> registered;
    for (const std::vector<ManifestFunction>* family : {&collision, &constraint})
        for (const ManifestFunction& f : *family) registered.push_back({f.name.c_str(), MaskEntries(f.mask)});
    ExpectFunctions(registered.data(), registered.size());
    for (const ManifestConstant& c : constants) EXPECT_EQ(Eval(c.name), std::to_string(c.value)) << c.name;

    auto native = [](const char* name) -> SQFUNCTION {
        for (const ScriptFunctionDecl* f = g_ConstraintScriptFunctions; f->name; ++f)
            if (std::string(f->name) == name) return f->function;
        return 0;
    };
    const std::vector<std::vector<const char*>> shared = {
        {"ConstraintSetStrength", "ConstraintSetMaximumErrorCorrection"},
        {"ConstraintGetAnchorHookWorld", "ConstraintGetTargetHookWorld"},
        {"ConstraintSetAnchorItem", "ConstraintSetTargetItem"},
        {"ConstraintSetAnchorRotation", "ConstraintSetAnchorHook", "ConstraintSetTargetHook", "ConstraintSetCorrectionVector"},
        {"ConstraintEnable", "ConstraintUseCorrectionVector"},
    };
    std::set<SQFUNCTION> groups;
    for (const std::vector<const char*>& group : shared) {
        ASSERT_NE(native(group[0]), nullptr) << group[0];
        for (const char* name : group) EXPECT_EQ(native(name), native(group[0])) << name;
        groups.insert(native(group[0]));
    }
    EXPECT_EQ(groups.size(), shared.size()) << "each group is a function of its own";
}

// Each setter gives the shape its type and size (a capsule or cylinder its height in z as
// well) and answers true; the rebuilt body's child has the matching Bullet dimensions.
TEST_F(ShapeAPI, SettersGiveTypeAndSizeAndTheRebuiltBodyFollows)
{
    nMItem* item = Add("item", PhysicItemDynamic, nVector(0, 10, 0));
    Exec("::shape <- ItemAddCollisionShape(item); ShapeSetMass(shape, 1); ItemSetGravity(item, Vector(0, 0, 0));");
    nPhysicShape* shape = item->GetPhysicItem()->GetShapes().GetHead()->value;

    struct Case
    {
        const char* call;
        int32_t type;
        nVector size;
    };
    const Case cases[] = {
        {"ShapeSetSphere(shape, 0.5)", PhysicShapeSphere, nVector(0.5f, 0, 0, 1)},
        {"ShapeSetBox(shape, Vector(2, 4, 6))", PhysicShapeBox, nVector(2, 4, 6, 1)},
        {"ShapeSetCapsule(shape, 1, 3)", PhysicShapeCapsule, nVector(1, 3, 3, 1)},
        {"ShapeSetCylinder(shape, 2, 5)", PhysicShapeCylinder, nVector(2, 5, 5, 1)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Eval(c.call), "true") << c.call;
        EXPECT_EQ(shape->type, c.type) << c.call;
        EXPECT_TRUE(VectorNear(shape->size, c.size, 1e-6f)) << c.call;
        EXPECT_NEAR(shape->size.w, 1.0f, 1e-6f) << c.call;
    }

    // Dimensions in the simulation after each rebuild.
    Exec("ShapeSetSphere(shape, 0.5); ItemUpdateInertiaTensorFromCollision(item);");
    ASSERT_NE(Child(item, 0), nullptr);
    ASSERT_EQ(Child(item, 0)->getShapeType(), SPHERE_SHAPE_PROXYTYPE);
    EXPECT_NEAR(static_cast<btSphereShape*>(Child(item, 0))->getRadius(), 0.5f, 1e-6f);

    Exec("ShapeSetBox(shape, Vector(2, 4, 6)); ItemUpdateInertiaTensorFromCollision(item);");
    ASSERT_EQ(Child(item, 0)->getShapeType(), BOX_SHAPE_PROXYTYPE);
    btVector3 half = static_cast<btBoxShape*>(Child(item, 0))->getHalfExtentsWithMargin();
    EXPECT_NEAR(half.x(), 1.0f, 1e-5f);
    EXPECT_NEAR(half.y(), 2.0f, 1e-5f);
    EXPECT_NEAR(half.z(), 3.0f, 1e-5f);

    Exec("ShapeSetCapsule(shape, 1, 3); ItemUpdateInertiaTensorFromCollision(item);");
    ASSERT_EQ(Child(item, 0)->getShapeType(), CAPSULE_SHAPE_PROXYTYPE);
    btCapsuleShape* capsule = static_cast<btCapsuleShape*>(Child(item, 0));
    EXPECT_NEAR(capsule->getRadius(), 0.5f, 1e-6f);
    EXPECT_NEAR(capsule->getHalfHeight() * 2.0f, 3.0f, 1e-5f);

    Exec("ShapeSetCylinder(shape, 2, 5); ItemUpdateInertiaTensorFromCollision(item);");
    ASSERT_EQ(Child(item, 0)->getShapeType(), CYLINDER_SHAPE_PROXYTYPE);
    btCylinderShape* cylinder = static_cast<btCylinderShape*>(Child(item, 0));
    EXPECT_NEAR(cylinder->getRadius(), 1.0f, 1e-5f);
    EXPECT_NEAR(cylinder->getHalfExtentsWithMargin().z() * 2.0f, 5.0f, 1e-5f);
    EXPECT_EQ(Eval("ItemGetMass(item)"), "1");
}

// A script may change a shape's type after its body was built: the body is then taken down as
// what it was built as (a child shape deleted, a shared hull or mesh released), never as what
// the record says now. Under the sanitizers a wrong take-down is a fault of its own.
TEST_F(ShapeAPI, ABodyIsTakenDownAsItWasBuilt)
{
    nMItem* item = Add("item", PhysicItemDynamic, nVector(0, 5, 0));
    Exec("::shape <- ItemAddCollisionShape(item); ShapeSetSphere(shape, 0.5); ShapeSetMass(shape, 1);"
         "ItemUpdateInertiaTensorFromCollision(item);");
    ASSERT_NE(Child(item, 0), nullptr);
    struct Case
    {
        const char* change;
        const char* after;
    };
    const Case cases[] = {
        {"ShapeSetConvex(shape, \"models/none.nml\")", "ShapeSetSphere(shape, 0.5)"},
        {"ShapeSetMesh(shape, \"models/none.nml\")", "ShapeSetBox(shape, Vector(1, 1, 1))"},
    };
    for (const Case& c : cases) {
        Exec(std::string(c.change) + "; ItemUpdateInertiaTensorFromCollision(item);");
        EXPECT_EQ(Child(item, 0), nullptr) << c.change << ": no geometry, no child";
        Exec(std::string(c.after) + "; ItemSetPhysicMode(item, PhysicModeDynamic); ItemUpdateInertiaTensorFromCollision(item);");
        EXPECT_NE(Child(item, 0), nullptr) << c.after;
        Exec(std::string(c.change) + ";");
        item->GetPhysicItem()->Destroy();
        EXPECT_EQ(Child(item, 0), nullptr) << c.change << " then taken down";
        Exec(std::string(c.after) + "; ItemSetPhysicMode(item, PhysicModeDynamic); ItemUpdateInertiaTensorFromCollision(item);");
    }
}

// A mesh or convex shape names its geometry; the body builds it at the next rebuild.
TEST_F(ShapeAPI, MeshAndConvexNameTheirGeometry)
{
    nMItem* item = Add("item", PhysicItemStatic, nVector(0, 0, 0));
    Exec("::shape <- ItemAddCollisionShape(item);");
    nPhysicShape* shape = item->GetPhysicItem()->GetShapes().GetHead()->value;
    struct Case
    {
        const char* call;
        int32_t type;
        const char* geometry;
    };
    const Case cases[] = {
        {"ShapeSetMesh(shape, \"models/rock.nml\")", PhysicShapeMesh, "models/rock.nml"},
        {"ShapeSetConvex(shape, \"models/crate.nml\")", PhysicShapeConvex, "models/crate.nml"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Eval(c.call), "true") << c.call;
        EXPECT_EQ(shape->type, c.type) << c.call;
        EXPECT_STREQ(shape->geometry.GetCStr(), c.geometry) << c.call;
    }
}

// Placement, mass and surface read back as given; the rotation and position keep w = 1.
TEST_F(ShapeAPI, PlacementMassAndSurfaceReadBack)
{
    nMItem* item = Add("item", PhysicItemDynamic, nVector(0, 0, 0));
    Exec("::shape <- ItemAddCollisionShape(item);");
    nPhysicShape* shape = item->GetPhysicItem()->GetShapes().GetHead()->value;
    const Expected fresh[] = {
        {"ShapeGetPosition(shape)", "0 0 0"},
        {"ShapeGetRotation(shape)", "0 0 0"},
        {"ShapeGetMass(shape)", "0"},
        {"ObjectIsValid(ShapeGetItem(shape))", "false"},
        {"ShapeGetItem(shape).type()", "24"},
    };
    ExpectEvals(fresh);

    Exec("local p = Vector(1, 2, 3); p.w = 7; ShapeSetPosition(shape, p); local r = Vector(0.1, 0.2, 0.3); r.w = 5;"
         "ShapeSetRotation(shape, r); ShapeSetMass(shape, 2.5); ShapeSetFriction(shape, 0.9, 0.25);"
         "ShapeSetRestitution(shape, 0.75);");
    const Expected set[] = {
        {"ShapeGetPosition(shape)", "1 2 3"},
        {"ShapeGetPosition(shape).w", "1"},
        {"ShapeGetRotation(shape)", "0.1 0.2 0.3"},
        {"ShapeGetRotation(shape).w", "1"},
        {"ShapeGetMass(shape)", "2.5"},
        {"ItemGetMass(item)", "2.5"},
    };
    ExpectEvals(set);
    // The second number is both frictions; the first is not used.
    EXPECT_FLOAT_EQ(shape->staticFriction, 0.25f);
    EXPECT_FLOAT_EQ(shape->dynamicFriction, 0.25f);
    EXPECT_FLOAT_EQ(shape->restitution, 0.75f);

    // The body takes friction and restitution from its first shape when rebuilt.
    Exec("ShapeSetSphere(shape, 1); ItemUpdateInertiaTensorFromCollision(item);");
    ASSERT_NE(Body(item)->GetBody(), nullptr);
    EXPECT_FLOAT_EQ(Body(item)->GetBody()->getFriction(), 0.25f);
    EXPECT_FLOAT_EQ(Body(item)->GetBody()->getRestitution(), 0.75f);
}

// Shapes by position in the body's list; a script null past the end, before the start, and
// for an item without a body.
TEST_F(ShapeAPI, ShapesByIndexAndItemsWithoutABody)
{
    nMItem* item = Add("item", PhysicItemStatic, nVector(0, 0, 0));
    Exec("::first <- ItemAddCollisionShape(item); ::second <- ItemAddCollisionShape(item);"
         "ShapeSetMass(first, 1); ShapeSetMass(second, 2);");
    ASSERT_EQ(item->GetPhysicItem()->GetShapes().GetCount(), 2);
    const Expected cases[] = {
        {"ShapeGetMass(ItemGetShapeFromIndex(item, 0))", "1"},
        {"ShapeGetMass(ItemGetShapeFromIndex(item, 1))", "2"},
        {"ItemGetShapeFromIndex(item, 1).type()", "37"},
        {"ObjectIsSame(ItemGetShapeFromIndex(item, 1), second)", "true"},
        {"ItemGetShapeFromIndex(item, 2)", "null"},
        {"ItemGetShapeFromIndex(item, -1)", "null"},
        {"ItemGetShapeFromIndex(item, 4294967296)", "null"},  // not shape 0 by a cut to 32 bits
    };
    ExpectEvals(cases);

    // A scene without a world gives its items no body.
    nScene bare(&engine, &vm);
    nMItem* ghost = bare.CreateObject("ghost", 0);
    Hold("ghost", ghost, objectTypeItem);
    const Expected bodiless[] = {
        {"ItemAddCollisionShape(ghost)", "null"},
        {"ItemGetShapeFromIndex(ghost, 0)", "null"},
        {"ItemCollisionActivate(ghost, false)", "null"},
        {"ItemSetSelfMask(ghost, 3)", "null"},
        {"ItemSetCollisionMask(ghost, 3)", "null"},
    };
    ExpectEvals(bodiless);
    Exec("::ghost = null;");
}

// The argument errors of the families, with their exact texts.
TEST_F(ShapeAPI, ArgumentErrors)
{
    Add("item", PhysicItemStatic, nVector(0, 0, 0));
    Exec("::shape <- ItemAddCollisionShape(item);");
    Hold("nullShape", 0, objectTypeColShape);
    Hold("nullItem", 0, objectTypeItem);
    Hold("nullScene", 0, objectTypeScene);
    const Expected cases[] = {
        {"ShapeSetBox(shape, Matrix3())", "error: Invalid instance type"},
        {"ShapeSetBox(shape, item)", "error: Invalid instance type"},
        {"ShapeSetBox(shape, 1)", "error: parameter 2 has an invalid type 'integer' ; expected: 'instance'"},
        {"ShapeSetPosition(shape, CObject())", "error: Invalid instance type"},
        {"ShapeGetMass(item)", "error: Expected 'Collision Shape' got 'Item'"},
        {"ShapeGetMass(nullShape)", "error: CObject is null"},
        {"ShapeSetSphere(nullShape, 1)", "error: CObject is null"},
        {"ShapeSetMass()", "error: wrong number of parameters"},
        {"ItemAddCollisionShape(shape)", "error: Expected 'Item' got 'Collision Shape'"},
        {"ItemAddCollisionShape(nullItem)", "error: CObject is null"},
        {"ItemGetShapeFromIndex(item, 1.5)", "error: parameter 2 has an invalid type 'float' ; expected: 'integer'"},
        {"ItemCollisionActivate(scene, true)", "error: Expected 'Item' got 'Scene'"},
        {"PositionConstraintNew(item, item, item, Vector(), Vector())", "error: Expected 'Scene' got 'Item'"},
        {"PositionConstraintNew(nullScene, item, item, Vector(), Vector())", "error: CObject is null"},
        {"PositionConstraintNew(scene, nullItem, item, Vector(), Vector())", "error: CObject is null"},
        {"PositionConstraintNew(scene, item, shape, Vector(), Vector())", "error: Expected 'Item' got 'Collision Shape'"},
        {"PositionConstraintNew(scene, item, item, Vector(), Matrix3())", "error: Invalid instance type"},
        {"ConstraintEnable(item, true)", "error: Expected 'Physic Constraint' got 'Item'"},
    };
    ExpectEvals(cases);
}

// PositionConstraintNew answers a null constraint, and every constraint entry refuses it
// with "CObject is null"; no argument reaches further than its check.
TEST_F(ShapeAPI, ConstraintsAreNullObjectsThatEveryEntryRefuses)
{
    Add("anchor", PhysicItemStatic, nVector(0, 0, 0));
    Add("target", PhysicItemDynamic, nVector(0, 1, 0));
    Exec("::c <- PositionConstraintNew(scene, anchor, target, Vector(0, 0, 0), Vector(0, 1, 0));");
    const Expected made[] = {{"c.type()", "38"}, {"ObjectIsValid(c)", "false"}};
    ExpectEvals(made);
    const Expected refused[] = {
        {"ConstraintEnable(c, true)", "error: CObject is null"},
        {"ConstraintSetAnchorRotation(c, Vector(1, 0, 0))", "error: CObject is null"},
        {"ConstraintSetStrength(c, 0.5)", "error: CObject is null"},
        {"ConstraintSetMaximumErrorCorrection(c, 0.5)", "error: CObject is null"},
        {"ConstraintGetCurrentHookDistance(c)", "error: CObject is null"},
        {"ConstraintGetAnchorHookWorld(c)", "error: CObject is null"},
        {"ConstraintGetTargetHookWorld(c)", "error: CObject is null"},
        {"ConstraintSetAnchorItem(c, anchor)", "error: CObject is null"},
        {"ConstraintSetTargetItem(c, target)", "error: CObject is null"},
        {"ConstraintSetAnchorHook(c, Vector(0, 0, 0))", "error: CObject is null"},
        {"ConstraintSetTargetHook(c, Vector(0, 0, 0))", "error: CObject is null"},
        {"ConstraintSetCorrectionVector(c, Vector(0, 0, 0))", "error: CObject is null"},
        {"ConstraintUseCorrectionVector(c, true)", "error: CObject is null"},
    };
    ExpectEvals(refused);
    EXPECT_TRUE(log.Lines().empty()) << log.Text();
}

// Values no body can be built from are refused with one line; the shape keeps what it had.
TEST_F(ShapeAPI, RefusesSizesAndMassesNoBodyCanBeBuiltFrom)
{
    nMItem* item = Add("item", PhysicItemDynamic, nVector(0, 0, 0));
    Exec("::shape <- ItemAddCollisionShape(item); ShapeSetBox(shape, Vector(1, 2, 3)); ShapeSetMass(shape, 4);"
         "ShapeSetPosition(shape, Vector(5, 6, 7)); ::nan <- 0.0 / 0.0; ::inf <- 1e300 * 1e300;");
    nPhysicShape* shape = item->GetPhysicItem()->GetShapes().GetHead()->value;
    log.Clear();
    struct Case
    {
        const char* call;
        const char* result;
        const char* line;
    };
    const Case cases[] = {
        {"ShapeSetSphere(shape, -1)", "false", "[!] ShapeSetSphere: refused radius -1 (expected a finite number, not negative).\n"},
        {"ShapeSetSphere(shape, nan)", "false", "[!] ShapeSetSphere: refused radius nan (expected a finite number, not negative).\n"},
        {"ShapeSetBox(shape, Vector(1, -2, 1))", "false", "[!] ShapeSetBox: refused size y -2 (expected a finite number, not negative).\n"},
        {"ShapeSetBox(shape, Vector(1, 1, inf))", "false", "[!] ShapeSetBox: refused size z inf (expected a finite number, not negative).\n"},
        {"ShapeSetCapsule(shape, 1, -3)", "false", "[!] ShapeSetCapsule: refused height -3 (expected a finite number, not negative).\n"},
        {"ShapeSetCylinder(shape, nan, 1)", "false", "[!] ShapeSetCylinder: refused size nan (expected a finite number, not negative).\n"},
        {"ShapeSetMass(shape, -0.5)", "null", "[!] ShapeSetMass: refused mass -0.5 (expected a finite number, not negative).\n"},
        {"ShapeSetMass(shape, inf)", "null", "[!] ShapeSetMass: refused mass inf (expected a finite number, not negative).\n"},
        {"ShapeSetPosition(shape, Vector(0, nan, 0))", "null", "[!] ShapeSetPosition: refused position nan (expected a finite number).\n"},
        {"ShapeSetRotation(shape, Vector(inf, 0, 0))", "null", "[!] ShapeSetRotation: refused rotation inf (expected a finite number).\n"},
        {"ShapeSetFriction(shape, 0, nan)", "null", "[!] ShapeSetFriction: refused friction nan (expected a finite number).\n"},
        {"ShapeSetRestitution(shape, -inf)", "null", "[!] ShapeSetRestitution: refused restitution -inf (expected a finite number).\n"},
    };
    for (const Case& c : cases) {
        log.Clear();
        EXPECT_EQ(Eval(c.call), c.result) << c.call;
        EXPECT_EQ(log.Lines(), Lines{c.line}) << c.call;
    }
    EXPECT_EQ(shape->type, PhysicShapeBox);
    EXPECT_TRUE(VectorNear(shape->size, nVector(1, 2, 3, 1), 1e-6f));
    EXPECT_FLOAT_EQ(shape->mass, 4.0f);
    EXPECT_TRUE(VectorNear(shape->position, nVector(5, 6, 7), 1e-6f));
    EXPECT_TRUE(VectorNear(shape->rotation, nVector(0, 0, 0), 1e-6f));
    // Zero sizes are sizes.
    EXPECT_EQ(Eval("ShapeSetSphere(shape, 0)"), "true");
}

// A ball whose shape its script builds falls onto a floor built the same way and comes to
// rest on it; with its collision mask cleared it falls through; switched off it stays put.
TEST_F(ShapeAPI, ScriptBuiltShapesCollideAndTheSwitchesReachTheSimulation)
{
    Floor();
    nMItem* ball = Add("ball", PhysicItemDynamic, nVector(0, 3, 0));
    Exec("local s = ItemAddCollisionShape(ball); ShapeSetSphere(s, 0.5); ShapeSetMass(s, 1); ShapeSetRestitution(s, 0);"
         "ItemUpdateInertiaTensorFromCollision(ball);");
    Steps(150);
    EXPECT_NEAR(At(ball).y, 1.0f, 0.05f) << "resting on the floor's top at 0.5, radius 0.5";

    // Group and mask reach the body's broadphase proxy (made again when the body is re-added).
    auto filter = [&] {
        btBroadphaseProxy* proxy = Body(ball)->GetBody()->getBroadphaseHandle();
        EXPECT_NE(proxy, nullptr);
        return proxy ? std::make_pair(proxy->m_collisionFilterGroup, proxy->m_collisionFilterMask) : std::make_pair(-7, -7);
    };
    Exec("ItemSetSelfMask(ball, 6); ItemSetCollisionMask(ball, 0xFFFFFFFF);");
    EXPECT_EQ(filter(), std::make_pair(6, -1));
    Exec("ItemSetSelfMask(ball, 1); ItemSetCollisionMask(ball, 1);");

    // Switched off: out of the simulation, group and mask 0; back on with its own.
    Exec("ItemCollisionActivate(ball, false);");
    EXPECT_EQ(Eval("ItemGetPhysicMode(ball)"), "3");
    EXPECT_EQ(filter(), std::make_pair(0, 0));
    EXPECT_FALSE(Body(ball)->IsActive());
    Exec("ItemCollisionActivate(ball, true);");
    EXPECT_EQ(filter(), std::make_pair(1, 1));
    EXPECT_TRUE(Body(ball)->IsActive());

    // A mask that leaves out the floor's group lets it fall through.
    Exec("ItemSetCollisionMask(ball, 2); ItemWake(ball);");
    Steps(60);
    EXPECT_LT(At(ball).y, -1.0f);
}

// A Collision Shape object reads as a deleted native once its record is gone: the body read
// again from its NML, or the item deleted.
TEST_F(ShapeAPI, ShapeObjectsDieWithTheirRecords)
{
    nMItem* item = Add("item", PhysicItemStatic, nVector(0, 0, 0));
    Exec("::a <- ItemAddCollisionShape(item); ::b <- ItemGetShapeFromIndex(item, 0); ShapeSetSphere(a, 1);"
         "ItemUpdateInertiaTensorFromCollision(item);");
    nMetaTag body("PhysicItem");
    EXPECT_TRUE(item->GetPhysicItem()->Deserialize(&engine, 0, &body));
    const Expected reread[] = {
        {"ObjectIsValid(a)", "false"},
        {"ObjectIsValid(b)", "false"},
        {"ShapeGetMass(a)", "error: Expected 'Collision Shape' got 'Deleted native'"},
        {"ShapeSetSphere(b, 1)", "error: Expected 'Collision Shape' got 'Deleted native'"},
        {"a.mass()", "error: Invalid type"},
    };
    ExpectEvals(reread);

    Exec("::c <- ItemAddCollisionShape(item); ShapeSetBox(c, Vector(1, 1, 1));");
    EXPECT_EQ(Eval("ObjectIsValid(c)"), "true");
    ASSERT_TRUE(scene->QueueDeletion(item));
    scene->FlushDeletionQueue();
    EXPECT_EQ(Eval("ObjectIsValid(c)"), "false");
    EXPECT_EQ(Eval("ShapeGetPosition(c)"), "error: Expected 'Collision Shape' got 'Deleted native'");
}

// Every function of the two families with each wrong value at each position, the others
// plausible: a script error or a result, never a crash (run under the sanitizers by ./test.sh).
TEST_F(ShapeAPI, GeneratedSweepOfBadArguments)
{
    Floor();
    Add("ball", PhysicItemDynamic, nVector(0, 3, 0));
    Exec("::shape <- ItemAddCollisionShape(ball); ShapeSetSphere(shape, 0.5); ShapeSetMass(shape, 1);"
         "ItemUpdateInertiaTensorFromCollision(ball);");
    nMItem* gone = Add("gone", PhysicItemStatic, nVector(0, 0, 0));
    Exec("::goneShape <- ItemAddCollisionShape(gone);");
    ASSERT_TRUE(scene->QueueDeletion(gone));
    scene->FlushDeletionQueue();
    Hold("nullShape", 0, objectTypeColShape);
    Hold("nullItem", 0, objectTypeItem);
    Exec("::nullConstraint <- PositionConstraintNew(scene, ball, floor, Vector(), Vector());"
         "::big <- \"\"; for (local i = 0; i < 4096; i++) ::big += \"a\";");

    // Values by mask letter: the plausible ones first; objects by the family's first argument.
    const std::vector<std::string> numbers = {"0", "-1", "2147483648", "-9223372036854775807", "0.0", "-1.0", "1e30",
                                              "0.0 / 0.0", "1e300 * 1e300", "-1e300 * 1e300"};
    const std::vector<std::string> wrong = {"null", "1.5", "7", "\"s\"", "true", "[]", "{}", "Vector(0, 0, 0)",
                                            "Matrix3()", "CObject()", "nullShape", "nullItem", "goneShape", "gone",
                                            "nullConstraint", "scene", "shape", "ball"};
    auto plausible = [&](char letter, const std::string& function, size_t position) -> std::vector<std::string> {
        switch (letter) {
            case 'n': return numbers;
            case 'i': return {"0", "1", "-1", "2147483648", "4294967295", "-9223372036854775807"};
            case 's': return {"\"models/none.nml\"", "\"\"", "big", "\"../x\""};
            case 'b': return {"true", "false"};
            default:
                if (position == 0) {
                    if (function.find("Shape") == 0) return {"shape", "goneShape", "nullShape"};
                    if (function.find("Item") == 0) return {"ball", "floor", "gone", "nullItem"};
                    if (function == "PositionConstraintNew") return {"scene"};
                    return {"nullConstraint"};
                }
                if (function == "PositionConstraintNew" && position < 3) return {"ball", "floor", "nullItem"};
                if (function.find("ConstraintSet") == 0 && function.find("Item") != std::string::npos) return {"ball"};
                return {"Vector(1, 2, 3)", "Vector(0.0 / 0.0, 1e300 * 1e300, 0)", "Vector(0, -1, 0)"};
        }
    };

    const std::vector<std::string> knownErrors = {
        "wrong number of parameters", "parameter ", "CObject is null", "Expected '", "Invalid instance type",
        "invalid type tag", "the object is not a class instance"};
    for (const char* file : {"collision_functions.tsv", "constraint_functions.tsv"}) {
        for (const ManifestFunction& f : ReadFunctionManifest(file)) {
            const std::string letters = f.mask.substr(1);
            std::vector<std::string> base;
            for (size_t p = 0; p < letters.size(); ++p) base.push_back(plausible(letters[p], f.name, p)[0]);
            std::vector<std::vector<std::string>> argLists = {base};
            for (size_t p = 0; p < letters.size(); ++p) {
                std::vector<std::string> values = plausible(letters[p], f.name, p);
                values.insert(values.end(), wrong.begin(), wrong.end());
                for (const std::string& value : values) {
                    auto a = base;
                    a[p] = value;
                    argLists.push_back(a);
                }
            }
            if (!base.empty()) argLists.push_back(std::vector<std::string>(base.begin(), base.end() - 1));
            argLists.push_back(base);
            argLists.back().push_back("0");
            for (const std::vector<std::string>& args : argLists) {
                const std::string call = CallText(f.name, args);
                log.Clear();
                const std::string result = Eval(call);
                EXPECT_NE(result, "call failed") << call;
                EXPECT_NE(result, "compile error") << call;
                if (result.compare(0, 7, "error: ") == 0) {
                    EXPECT_TRUE(IsKnownError(result.substr(7), knownErrors)) << call << " gave " << result;
                }
                EXPECT_LE(log.Lines().size(), 1u) << call << ": " << log.Text();
            }
            // Between functions the world steps over whatever the shapes became.
            Exec("ItemUpdateInertiaTensorFromCollision(ball); ItemUpdateInertiaTensorFromCollision(floor);");
            Steps(2);
        }
    }
    EXPECT_EQ(Eval("ObjectIsValid(ball)"), "true") << "the machine is still alive";
}

}  // namespace
