// The methods of CObject over the kinds of object: what each gives on the kinds it serves and
// the exact error text on the others, null objects, the kind-free methods, and the argument
// faults (a non-geometry handed to addObject, bad physics numbers).

#include <gtest/gtest.h>

#include <string>

#include "physics/nPhysicItem.h"
#include "physics/nPhysicShape.h"
#include "physics/nPhysicWorld.h"
#include "scene/nGroup.h"
#include "scene/nItem.h"
#include "scene/nMItem.h"
#include "scene/nScene.h"
#include "script/nCObject.h"
#include "tests/scriptapi/nScriptAPITestKit.h"
#include "tests/support/nMathExpect.h"

namespace {

class CObjectMethods : public nScriptAPITest
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(nScriptAPITest::SetUp());
        ASSERT_NO_FATAL_FAILURE(CreateScene(true));
        scene->SetName("level");
        box = scene->CreateObject("box", 0);
        ASSERT_TRUE(box && box->GetPhysicItem());
        shape = box->GetPhysicItem()->AddShape();
        Hold("sc", scene, objectTypeScene);
        Hold("box", box, objectTypeObject);
        Hold("boxItem", box, objectTypeItem);
        Hold("shape", shape, objectTypeColShape);
        Hold("ui", &scene->GetUI(), objectTypeWindowSystem);
        Hold("engine", &engine, objectTypeEngine);
        Hold("nullItem", 0, objectTypeItem);
        Hold("nullScene", 0, objectTypeScene);
        Hold("mixer", &engine, objectTypeMixer);  // a kind no method serves
    }

    nMItem* box = 0;
    nPhysicShape* shape = 0;
};

// Every method on a kind it serves and on kinds it does not, with the texts of both.
TEST_F(CObjectMethods, ResultsAndRefusalsOverKinds)
{
    const Expected cases[] = {
        {"sc.name()", "level"},
        {"box.name()", "box"},
        {"boxItem.name()", "box"},
        {"shape.name()", "error: Object has no name"},
        {"engine.name()", "error: Object has no name"},
        {"nullItem.name()", "error: Item is null"},
        {"nullScene.name()", "error: Scene is null"},
        {"sc.setName(\"x\")", "error: Cannot set object name"},
        {"ui.setName(\"x\")", "error: Cannot set object name"},
        {"box.position()", "0 0 0"},
        {"sc.position()", "error: Object has no position"},
        {"nullItem.position()", "error: Object is null"},
        {"sc.setRotation(Vector(0, 0, 0))", "error: Object has no rotation"},
        {"ui.rotation()", "error: Object has no rotation"},
        {"sc.scene()", "error: Object is not an item"},
        {"shape.matrix()", "error: Object is not an item"},
        {"engine.setNoTarget()", "error: Object is not an item"},
        {"box.ui()", "error: Object is not a scene"},
        {"nullScene.ui()", "error: Scene is null"},
        {"box.physicsFrequency()", "error: Object is not a scene"},
        {"box.load(\"x.nms\")", "error: Object cannot be loaded"},
        {"shape.isCommandListDone()", "error: Object cannot execute command lists"},
        {"sc.setCommandList(\"\")", "error: Object cannot execute command lists"},
        {"box.isCommandListDone()", "true"},
        {"ui.isCommandListDone()", "true"},
        {"sc.findGroup(\"g\").isNull()", "true"},
        {"box.findGroup(\"g\")", "error: Object does not manage groups"},
        {"boxItem.findGroup(\"g\")", "error: Object does not manage groups"},
        {"engine.findGroup(\"g\")", "error: Object does not manage groups"},
        {"boxItem.findItem(\"box\").isNull()", "true"},
        {"box.findItem(\"box\")", "error: Object does not manage items"},
        {"ui.findItem(1)", "error: Object does not manage items"},
        {"box.mass()", "error: Invalid type"},
        {"sc.setSphere(1)", "error: Invalid type"},
        {"sc.loadGeometry(\"g.ngm\")", "error: Invalid type"},
        {"box.globalFade()", "error: Object is not a scene 2d"},
        {"mixer.physicsMode()", "error: Object is not an item"},
        {"mixer.position()", "error: Object has no position"},
        {"box.addObject()", "error: Object is not a scene"},
        {"box.setCurrentCamera(box)", "error: Object is not a scene"},
        {"sc.setCurrentCamera(nullItem)", "error: Item is null"},
        {"sc.setCurrentCamera(shape)", "error: Object is not an item"},
        {"box.setParent(shape)", "error: Object is not an item"},
    };
    ExpectEvals(cases);
}

// The kind-free methods: typeof keeps the language's answer, comparison (_cmp) orders by
// native, equal for two values of one native while == compares the instances;
// a script-made CObject is an empty record.
TEST_F(CObjectMethods, IdentityMethodsServeEveryKind)
{
    const Expected cases[] = {
        {"box._SCypeof()", "CObject"},
        {"typeof box", "instance"},
        {"box.isValid()", "true"},
        {"nullItem.isValid()", "false"},
        {"nullItem.isNull()", "true"},
        {"box.type()", "26"},
        {"shape.type()", "37"},
        {"(box <=> boxItem) == 0", "true"},
        {"box == boxItem", "false"},
        {"(box <=> shape) == 0", "false"},
        {"(box <=> shape) == -(shape <=> box)", "true"},
        {"box <=> Vector(0, 0, 0)", "error: Invalid instance type"},
        {"CObject().type()", "0"},
        {"CObject().isNull()", "true"},
        {"box.name.call(Vector(0, 0, 0))", "error: Invalid instance type"},
    };
    ExpectEvals(cases);
}

TEST_F(CObjectMethods, ItemTransformAndHierarchy)
{
    Exec("box.setPosition(Vector(1, 2, 3)); box.setRotation(Vector(0, 0.5, 0));");
    EXPECT_TRUE(Vector4Near(Node(box)->GetPosition(), nVector(1, 2, 3, 1), 1e-6f));
    EXPECT_NEAR(Node(box)->GetRotation().y, 0.5f, 1e-6f);
    EXPECT_EQ(Eval("box.worldPosition()"), "1 2 3");
    EXPECT_TRUE(MatrixNear(Mat4("box.matrix()"), Node(box)->GetWorldMatrix(), 1e-6f));

    nMItem* parent = scene->CreateObject("parent", 0);
    Hold("parent", parent, objectTypeObject);
    Exec("box.setParent(parent)");
    EXPECT_EQ(Node(box)->GetParent(), Node(parent));
    Exec("box.setParent(nullItem)");
    EXPECT_EQ(Node(box)->GetParent(), nullptr);

    Exec("box.setName(\"crate\")");
    EXPECT_STREQ(box->GetName().GetCStr(), "crate");
    EXPECT_EQ(Eval("box.scene().name()"), "level");
    EXPECT_EQ(Eval("sc.ui().type()"), "12");
}

// findItem: a string searches by name, an integer by unique id; findGroup names a group.
TEST_F(CObjectMethods, SceneSearchesByNameAndByUid)
{
    nMItem* twelve = scene->CreateObject("12", 0);
    EXPECT_EQ(Eval("sc.findItem(\"box\").name()"), "box");
    EXPECT_EQ(Eval("sc.findItem(\"12\").name()"), "12");
    const std::string byUid = "sc.findItem(" + std::to_string(box->GetUid()) + ").name()";
    EXPECT_EQ(Eval(byUid), "box");
    EXPECT_NE(twelve->GetUid(), box->GetUid());
    EXPECT_EQ(Eval("sc.findItem(\"missing\").isNull()"), "true");
}

TEST_F(CObjectMethods, CamerasAndNewObjects)
{
    EXPECT_EQ(Eval("sc.currentCamera().isNull()"), "true");
    EXPECT_EQ(Eval("sc.currentCamera().type()"), "25");
    Exec("sc.setCurrentCamera(box)");
    EXPECT_EQ(scene->GetCurrentCamera(), Node(box));
    EXPECT_EQ(Eval("sc.currentCamera().name()"), "box");

    EXPECT_EQ(Eval("sc.addObject().name()"), "New Object");
    EXPECT_EQ(Eval("sc.addObject(\"made\").type()"), "26");
    EXPECT_EQ(Eval("sc.addObject(1)"), "error: parameter 1 has an invalid type 'integer' ; expected: 'string'");
    Hold("nullGeometry", 0, objectTypeGeometry);
    EXPECT_EQ(Eval("sc.addObject(\"a\", nullGeometry, 1)"), "error: Too many parameters");
    EXPECT_EQ(Eval("sc.addObject(\"a\", nullGeometry)"), "error: C Object is null");
}

// A native of another kind is not taken as a geometry.
TEST_F(CObjectMethods, AddObjectRefusesNonGeometries)
{
    EXPECT_EQ(Eval("sc.addObject(\"a\", box)"), "error: Expected 'Geometry' object");
    EXPECT_EQ(Eval("sc.addObject(\"a\", sc)"), "error: Expected 'Geometry' object");
    EXPECT_EQ(scene->FindItem("a", 0), nullptr);
}

TEST_F(CObjectMethods, PhysicsOfTheItemAndTheScene)
{
    Exec("sc.setPhysicsFrequency(0.01)");
    EXPECT_NEAR(Number("sc.physicsFrequency()"), 0.01f, 1e-7f);
    for (const char* bad : {"0", "-1", "(0.0/0.0)", "1e39*1e39"}) {
        Exec(std::string("sc.setPhysicsFrequency(") + bad + ")");
        EXPECT_NEAR(scene->GetPhysicWorld()->GetFixedStep(), 0.01f, 1e-7f) << bad;
    }

    Exec("box.setPhysicsMode(3)");
    EXPECT_EQ(Eval("box.physicsMode()"), "3");
    Exec("box.setPhysicsMode(7)");
    EXPECT_EQ(Eval("box.physicsMode()"), "3");
    Exec("box.setCollisionMask(6); box.setSelfMask(2);");
    EXPECT_EQ(Eval("box.collisionMask()"), "6");
    EXPECT_EQ(Eval("box.selfMask()"), "2");
    EXPECT_EQ(Eval("box.collisionShapeCount()"), "1");
    EXPECT_EQ(Eval("box.collisionShape(0).type()"), "37");
    EXPECT_EQ(Eval("box.collisionShape(5).isNull()"), "true");
    EXPECT_EQ(Eval("box.collisionShape(-1).isNull()"), "true");
    EXPECT_EQ(Eval("box.addCollisionShape().type()"), "37");
    EXPECT_EQ(box->GetPhysicItem()->GetShapes().GetCount(), 2);
}

// Shape setters change the description only; setBox keeps the fourth component.
TEST_F(CObjectMethods, ShapeDescriptions)
{
    shape->mass = 4.0f;
    Exec("shape.setSphere(0.5)");
    EXPECT_EQ(shape->type, PhysicShapeSphere);
    EXPECT_FLOAT_EQ(shape->size.x, 0.5f);
    EXPECT_FLOAT_EQ(shape->mass, 4.0f);
    Exec("local v = Vector(2, 1, 1); shape.setBox(v)");
    EXPECT_TRUE(Vector4Near(shape->size, nVector(2, 1, 1, 1), 1e-6f));
    Exec("shape.setCapsule(0.25, 2)");
    EXPECT_EQ(shape->type, PhysicShapeCapsule);
    EXPECT_TRUE(Vector4Near(shape->size, nVector(0.25f, 2, 0, 1), 1e-6f));
    Exec("shape.setMesh(\"rock.ngm\")");
    EXPECT_EQ(shape->type, PhysicShapeMesh);
    EXPECT_STREQ(shape->geometry.GetCStr(), "rock.ngm");
    Exec("shape.setMass(2); shape.setStaticFriction(0.25); shape.setDynamicFriction(0.75); shape.setRestitution(0.125);");
    EXPECT_EQ(Eval("shape.mass()"), "2");
    EXPECT_EQ(Eval("shape.staticFriction()"), "0.25");
    EXPECT_EQ(Eval("shape.dynamicFriction()"), "0.75");
    EXPECT_EQ(Eval("shape.restitution()"), "0.125");
    Exec("shape.setPosition(Vector(0, 1, 0))");
    EXPECT_EQ(Eval("shape.position()"), "0 1 0");
}

TEST_F(CObjectMethods, GlobalFadeIsClamped)
{
    Exec("ui.setGlobalFade(0.5)");
    EXPECT_EQ(Eval("ui.globalFade()"), "0.5");
    Exec("ui.setGlobalFade(7)");
    EXPECT_EQ(Eval("ui.globalFade()"), "1");
}

// A record invalidated by the engine answers as a null object, never with the freed object.
TEST_F(CObjectMethods, DeletedObjectsAnswerAsNull)
{
    nMItem* gone = scene->CreateObject("gone", 0);
    Hold("gone", gone, objectTypeObject);
    nCObject::Invalidate(gone);
    const Expected cases[] = {
        {"gone.isNull()", "true"},
        {"gone.name()", "error: Object has no name"},
        {"gone.position()", "error: Object has no position"},
        {"gone.type()", "1"},
    };
    ExpectEvals(cases);
}

}  // namespace

namespace {

// A shape's object dies with the item that owns the shape.
TEST_F(CObjectMethods, ShapeObjectsDieWithTheirItem)
{
    Exec("::held <- box.collisionShape(0)");
    EXPECT_EQ(Eval("held.isValid()"), "true");
    scene->DeleteContent(true);
    box = 0;
    EXPECT_EQ(Eval("held.isNull()"), "true");
    EXPECT_EQ(Eval("held.setPosition(Vector(1, 1, 1))"), "error: Object has no position");
}

}  // namespace
