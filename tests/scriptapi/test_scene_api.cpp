// The Scene, Camera, Object, Light, Group, Instance, Trigger and AIPath families through real Squirrel on a
// fixture scene with a Bullet world and every item kind the scene builds (camera, objects
// with and without geometry and bodies, lights, a trigger, a group): their names and
// constants against the manifests, tables of calls and results with the exact error texts,
// and a sweep of every function with wrong kinds, null and deleted objects and boundary
// numbers.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/nBounds.h"
#include "physics/nPhysicItem.h"
#include "physics/nPhysicShape.h"
#include "physics/nPhysicWorld.h"
#include "resources/nGeometry.h"
#include "resources/nTexture.h"
#include "scene/nCamera.h"
#include "scene/nAIPath.h"
#include "scene/nGroup.h"
#include "scene/nInstance.h"
#include "scene/nLight.h"
#include "scene/nMItem.h"
#include "scene/nObject.h"
#include "scene/nScene.h"
#include "scene/nTrigger.h"
#include "script/nCObject.h"
#include "scriptapi/nAIPathScriptAPI.h"
#include "scriptapi/nSceneScriptAPI.h"
#include "tests/kit/nCallLog.h"
#include "tests/kit/nRecordingRenderer.h"
#include "tests/scene/kit/nKitClock.h"
#include "tests/scriptapi/nScriptAPITestKit.h"
#include "tests/support/nMathExpect.h"
#include "tests/support/nTempDir.h"

namespace {

class SceneAPI : public nScriptAPITest
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(nScriptAPITest::SetUp());
        SetEngineFrameTime(&engine, 167);
        ASSERT_NO_FATAL_FAILURE(CreateScene(true));
        scene->SetName("yard");
        cube = new nGeometry(&engine);
        cube->bounds = nMinMax(nVector(-1.0f, -1.0f, -1.0f), nVector(1.0f, 1.0f, 1.0f));

        camera = scene->CreateCamera("cam");  // at the origin, looking along +z
        scene->SetCurrentCamera(camera->GetItem());
        crate = Body(scene->CreateObject("crate", cube.Get()), PhysicItemDynamic, nVector(0, 0, 10));
        floor = Body(scene->CreateObject("floor", cube.Get()), PhysicItemStatic, nVector(0, -5, 0));
        bare = scene->CreateObject("bare", 0);
        sun = scene->CreateLight("sun", LightTypeParallel, 1.0f);
        zone = scene->CreateTrigger("zone");
        zone->GetItem()->SetPosition(nVector(20, 0, 0));
        zone->GetItem()->SetScale(nVector(4, 4, 4));
        group = scene->CreateGroup("boxes");
        group->AddItem(crate, true);
        group->AddItem(floor, true);
        for (nMItem* item : {camera, crate, floor, bare, sun, zone}) {
            item->Setup();
            item->Reset();
            Hold(item->GetName().GetCStr(), item, objectTypeItem);
        }
        Hold("yard", scene, objectTypeScene);
        Hold("boxes", group, objectTypeGroup);
        Hold("noScene", 0, objectTypeScene);
        Hold("noGroup", 0, objectTypeGroup);
        Hold("noObject", 0, objectTypeObject);
        Exec("::camera <- ItemCastToCamera(cam); ::crateObject <- ItemCastToObject(crate);"
             "::bareObject <- ItemCastToObject(bare); ::sunLight <- ItemCastToLight(sun);"
             "::zoneTrigger <- ItemCastToTrigger(zone);");
    }

    void TearDown() override
    {
        nScriptAPITest::TearDown();
        cube.Release();
    }

    // A box body of size 2 in the mode, placed at position.
    nMItem* Body(nMItem* item, int32_t mode, const nVector& position)
    {
        item->GetItem()->SetPosition(position);
        nPhysicShape* shape = item->GetPhysicItem()->AddShape();
        shape->SetTypeAndSize(PhysicShapeBox, nVector(2, 2, 2));
        shape->mass = 1.0f;
        item->GetPhysicItem()->SetMode(mode);
        return item;
    }

    std::string Names(const std::string& array)
    {
        return Eval("(function() { local s = \"\"; foreach (i in " + array +
                    ") s += (s.len() ? \",\" : \"\") + ItemGetName(i); return s; })()");
    }

    nCallLog calls;
    std::unique_ptr<nRecordingRenderer> renderer;  // outlives the scene when made
    nSharedPtr<nGeometry> cube;
    nMItem* camera = 0;
    nMItem* crate = 0;
    nMItem* floor = 0;
    nMItem* bare = 0;
    nMItem* sun = 0;
    nMItem* zone = 0;
    nGroup* group = 0;
};

// The names each registrar adds are exactly the manifest's, with their parameter counts, and
// the constants have the manifest's values.
TEST_F(SceneAPI, CensusOfNamesMasksAndConstantsAgainstTheManifests)
{
    struct Family
    {
        const char* functions;
        const char* constants;
        std::vector<void (*)(HSQUIRRELVM)> registrars;
        size_t functionCount, constantCount;
    };
    const Family families[] = {
        {"scene_functions.tsv", "scene_constants.tsv", {RegisterSceneScriptAPI}, 74, 29},
        {"scene_item_functions.tsv", "scene_item_constants.tsv", {RegisterCameraScriptAPI, RegisterObjectScriptAPI, RegisterLightScriptAPI, RegisterGroupScriptAPI, RegisterInstanceScriptAPI, RegisterTriggerScriptAPI}, 52, 7},
        {"aipath_functions.tsv", "aipath_constants.tsv", {RegisterAIPathScriptAPI}, 10, 1},
    };
    for (const Family& family : families) {
        std::vector<ManifestFunction> functions = ReadFunctionManifest(family.functions);
        std::vector<ManifestConstant> constants = ReadConstantManifest(family.constants);
        ASSERT_EQ(functions.size(), family.functionCount) << family.functions;
        ASSERT_EQ(constants.size(), family.constantCount) << family.constants;
        std::vector<std::string> expected, added;
        for (const ManifestFunction& f : functions) expected.push_back(f.name);
        for (const ManifestConstant& c : constants) expected.push_back(c.name);
        for (auto registrar : family.registrars)
            for (const std::string& name : NamesAddedBy(registrar)) added.push_back(name);
        std::sort(expected.begin(), expected.end());
        std::sort(added.begin(), added.end());
        EXPECT_EQ(added, expected) << family.functions;
        std::vector<Function> registered;
        for (const ManifestFunction& f : functions) registered.push_back({f.name.c_str(), MaskEntries(f.mask)});
        ExpectFunctions(registered.data(), registered.size());
        for (const ManifestConstant& c : constants) {
            if (c.nullKind < 0) EXPECT_EQ(Eval(c.name), std::to_string(c.value)) << c.name;
            else EXPECT_EQ(Eval(c.name + ".isNull() && " + c.name + ".type() == " + std::to_string(c.nullKind)), "true") << c.name;
        }
    }
}

TEST_F(SceneAPI, GlobalsStoreWhatTheyAreGivenAndColourSettersRefuseOtherValues)
{
    const Expected cases[] = {
        {"SceneGetName(yard) + \"/\" + SceneGetPath(yard)", "yard/yard"},
        {"SceneSetAmbientIntensity(yard, 0.25)", "null"},
        {"SceneGetAmbientIntensity(yard)", "0.25"},
        {"SceneSetAmbientColor(yard, Vector(0.5, 0.25, 1, 0.5))", "null"},
        {"SceneGetAmbientColor(yard).w", "0.5"},
        {"SceneSetBackgroundColor(yard, Vector(0.1, 0.2, 0.3, 0))", "null"},
        {"SceneGetBackgroundColor(yard)", "0.1 0.2 0.3"},
        {"SceneSetFog(yard, true, Vector(1, 0, 0), 10, 20)", "null"},
        {"SceneGetFogNear(yard) + \" \" + SceneGetFogFar(yard)", "10 20"},
        // Disabled fog: both distances 0, the colour kept.
        {"SceneSetFog(yard, false, Vector(0, 1, 0), 10, 20)", "null"},
        {"SceneGetFogNear(yard) + \" \" + SceneGetFogFar(yard)", "0 0"},
        {"SceneGetFogColor(yard)", "0 1 0"},
        // Anything but a Vector is refused and the colour stays.
        {"SceneSetAmbientColor(yard, cam)", "error: Invalid instance type"},
        {"SceneSetBackgroundColor(yard, Matrix3())", "error: Invalid instance type"},
        {"SceneSetFog(yard, true, boxes, 1, 2)", "error: Invalid instance type"},
        {"SceneGetAmbientColor(yard)", "0.5 0.25 1"},
        {"SceneGetFogColor(yard)", "0 1 0"},
        {"SceneSetAmbientColor(yard, 1)", "error: parameter 2 has an invalid type 'integer' ; expected: 'instance'"},
        {"SceneGetAmbientIntensity(noScene)", "error: CObject is null"},
        {"SceneGetAmbientIntensity(cam)", "error: Expected 'Scene' got 'Item'"},
        {"SceneSetRenderless(yard, true)", "null"},
    };
    ExpectEvals(cases);
    EXPECT_EQ(scene->GetFlags() & SceneFlagRenderless, (uint32_t)SceneFlagRenderless);
    Exec("SceneEnd(yard);");
    EXPECT_EQ(scene->GetFlags() & SceneFlagQuit, (uint32_t)SceneFlagQuit);
}

TEST_F(SceneAPI, FindingListingAndAddingItems)
{
    Exec("ItemSetParent(bare, crate);");
    const Expected cases[] = {
        {"SceneGetItemList(yard).len()", "6"},
        {"SceneFindItem(yard, \"floor\").type() == EngineTypeItem", "true"},
        {"ItemGetName(SceneFindItem(yard, \"floor\"))", "floor"},
        {"SceneFindItem(yard, \"nothing\").isNull()", "true"},
        {"ItemGetName(SceneFindItemChild(yard, crate, \"bare\"))", "bare"},
        {"SceneFindItem(cam, \"floor\")", "error: Expected scene or instance"},
        {"SceneFindItem(boxes, \"floor\")", "error: Expected scene or instance"},
        {"SceneFindItem(noScene, \"floor\")", "error: Null object"},
        {"SceneFindItem(NullItem, \"floor\")", "error: Null object"},
        {"SceneFindGroup(yard, \"boxes\").type() == EngineTypeSceneGroup", "true"},
        {"SceneFindGroup(yard, \"none\").isNull()", "true"},
        {"ItemGetName(SceneGetCurrentCamera(yard))", "error: Expected 'Item' got 'Camera'"},
        {"ItemGetName(CameraGetItem(SceneGetCurrentCamera(yard)))", "cam"},
        {"SceneFindConstraint(yard, \"hinge\").isNull()", "true"},
    };
    ExpectEvals(cases);
    EXPECT_EQ(Names("SceneGetItemList(yard)"), "cam,crate,floor,bare,sun,zone");
    EXPECT_EQ(Names("SceneGetItemChildrenList(yard, crate)"), "bare");
    EXPECT_EQ(Names("SceneGetItemChildrenList(yard, floor)"), "");

    // New items come set up and reset, under their kind.
    Exec("::added <- [SceneAddObject(yard, \"o\"), SceneAddCamera(yard, \"c\"), SceneAddLight(yard, \"l\")];");
    EXPECT_EQ(Eval("added[0].type() == EngineTypeObject && added[1].type() == EngineTypeCamera &&"
                   " added[2].type() == EngineTypeLight"),
              "true");
    EXPECT_EQ(Eval("LightGetType(added[2])"), "1");
    EXPECT_EQ(scene->GetLights().GetCount(), 2);
    EXPECT_FLOAT_EQ(scene->GetLights().GetTail()->value->GetPriority(), 0.5f);
    Exec("SceneSetCurrentCamera(yard, added[1]);");
    EXPECT_EQ(Eval("ItemGetName(CameraGetItem(SceneGetCurrentCamera(yard)))"), "c");
    // A current camera that is not a camera's node reads as none.
    scene->SetCurrentCamera(crate->GetItem());
    EXPECT_EQ(Eval("SceneGetCurrentCamera(yard).isNull()"), "true");

    EXPECT_EQ(Eval("ItemGetName(SceneDuplicateItem(yard, floor))"), "floor");
    EXPECT_EQ(scene->GetObjects().GetCount(), 5);

    // A camera of another scene does not become this one's.
    nScene other(&engine, &vm);
    other.SetName("other");
    Hold("other", &other, objectTypeScene);
    Exec("::otherEye <- SceneAddCamera(other, \"e\");");
    log.Clear();
    scene->SetCurrentCamera(camera->GetItem());
    Exec("SceneSetCurrentCamera(yard, otherEye);");
    EXPECT_EQ(log.Lines(), (Lines{"[*] Camera 'e' is not an item of scene 'yard': the current camera is kept.\n"}));
    EXPECT_EQ(scene->GetCurrentCamera(), camera->GetItem());
}

// An instance item (kind 6) is searched as an instance: it keeps no group here and finds
// nothing; cast to an Instance object it is refused.
TEST_F(SceneAPI, FindingInAnInstance)
{
    struct InstanceItem : nMItem
    {
        explicit InstanceItem(nScene* scene) : nMItem(scene), node(scene->GetEngine()) { SetNode(&node, ManagedItemInstance); }
        ~InstanceItem() override { RaiseOnDelete(); }
        void Evaluate() override {}
        void UpdateTransform() override {}
        nItem node;
    };
    nMItem* instance = new InstanceItem(scene);
    scene->AddCreatedItem(instance, "houses");
    Hold("houses", instance, objectTypeItem);
    const Expected cases[] = {
        {"SceneFindItem(houses, \"crate\").isNull()", "true"},
        {"SceneFindItemChild(houses, crate, \"bare\").isNull()", "true"},
        {"SceneFindGroup(houses, \"boxes\").isNull()", "true"},
        {"SceneFindItem(ItemCastToInstance(houses), \"crate\")", "error: Expected scene or instance"},
        {"SceneFindItem(Vector(1, 2, 3), \"crate\")", "error: Expected scene or instance"},
    };
    ExpectEvals(cases);
}

// A real instance is searched through the copy of its template: its items listed (as an
// Instance object), found by name and by path, its groups found.
TEST_F(SceneAPI, AnInstanceListsAndFindsTheItemsOfItsTemplateCopy)
{
    nTempDir dir;
    dir.Write("shed.nms", "<NML=1.0>\n<Scene= <Items=\n"
                          "<MObject= <MItem= <Id=\"box\"> <UId=0> <Active> > <Object= > >\n"
                          "<MObject= <MItem= <Id=\"tool\"> <UId=1> <Active> > <Object= > > >\n"
                          "<Groups= <Group= <Id=\"kit\"> <Item=1> > > >\n");
    nMItem* shed = scene->CreateInstance("shed", dir.Path("shed.nms").c_str());
    nMItem* empty = scene->CreateInstance("empty", 0);
    Hold("shed", shed, objectTypeItem);
    Hold("empty", empty, objectTypeItem);
    const Expected before[] = {
        {"InstanceGetItemList(ItemCastToInstance(shed)).len()", "0"},
        {"SceneFindItem(shed, \"box\").isNull()", "true"},
    };
    ExpectEvals(before);
    ASSERT_TRUE(nInstance::FromItem(shed)->SetupTemplate());
    const Expected cases[] = {
        {"(function() { local s = \"\"; foreach (i in InstanceGetItemList(ItemCastToInstance(shed))) s += ItemGetName(i) + \" \"; return s; })()",
         "box tool "},
        {"InstanceGetItemList(ItemCastToInstance(empty)).len()", "0"},
        {"InstanceGetItemList(shed)", "error: Expected 'Instance' got 'Item'"},
        {"InstanceGetItemList(ItemCastToInstance(crate))", "error: Cannot cast item to instance"},
        {"ItemGetName(SceneFindItem(shed, \"tool\"))", "tool"},
        {"ItemGetName(SceneFindItem(yard, \"shed/box\"))", "box"},
        {"GroupGetItemList(SceneFindGroup(shed, \"kit\")).len()", "1"},
        {"SceneFindGroup(empty, \"kit\").isNull()", "true"},
        {"ItemGetName(shed.findItem(\"box\"))", "box"},
        {"shed.findGroup(\"kit\").isNull()", "false"},
        {"ItemGetName(ItemGetParent(SceneFindItem(shed, \"box\")))", "shed"},
    };
    ExpectEvals(cases);
}

// A scene's paths found by name and queried; a path of a deleted content reads as deleted.
TEST_F(SceneAPI, PathsAreFoundAndQueriedAndReadAsDeletedWithTheirScene)
{
    nTempDir dir;
    dir.Write("paths.nml",
              "<NML=1.0>\n<Scene= <Paths= <Motion= <Id=\"lane\">"
              " <Channel= <Id=\"PositionX\"> <Curve= <Knot= <Count=3> <Knot=\"0:0\"> <Knot=\"1:10\"> <Knot=\"2:10\"> > > >"
              " <Channel= <Id=\"PositionY\"> <Curve= <Knot= <Count=1> <Knot=\"0:0\"> > > >"
              " <Channel= <Id=\"PositionZ\"> <Curve= <Knot= <Count=1> <Knot=\"0:2\"> > > > > > >\n");
    Exec("SceneLoadAIPath(yard, \"" + dir.Path("paths.nml") + "\"); SceneLoadAIPath(noScene, \"x\");"
                                                              "::lane <- SceneFindAIPath(yard, \"lane\");");
    const Expected cases[] = {
        {"SceneAIPathFind(yard, \"lane\").isNull()", "false"},
        {"SceneFindAIPath(yard, \"none\").isNull()", "true"},
        {"SceneFindAIPath(noScene, \"lane\").isNull()", "true"},
        {"AIPathGetPosition(lane, 0.5)", "5 0 2"},
        {"AIPathGetPosition(lane, 2.5)", "5 0 2"},
        {"AIPathGetClosestPoint(lane, Vector(10, 4, 2))", "10 0 2"},
        {"AIPathGetClosestPosition(lane, Vector(-3, 0, 2))", "0 0 2"},
        {"AIPathGetClosestTime(lane, Vector(10, 4, 2))", "1"},
        {"(function() { local m = Matrix4(); m.m13 = 1; return AIPathSetMatrix(lane, m); })()", "null"},
        {"AIPathGetMatrix(lane).m13", "1"},
        {"AIPathGetPosition(lane, 0.5)", "5 1 2"},
        {"AIPathGetMotion(lane).isNull()", "false"},
        {"AIPathGetPosition(NullPath, 0)", "error: CObject is null"},
        {"AIPathGetClosestTime(lane, cam)", "error: Invalid instance type"},
        {"AIPathIsValid(lane)", "true"},
    };
    ExpectEvals(cases);
    scene->DeleteContent(false);
    EXPECT_EQ(Eval("AIPathIsValid(lane)"), "false");
}

// Deleting only queues; the queue is flushed by the next update unless held.
TEST_F(SceneAPI, TheDeletionQueueHeldAndFlushed)
{
    Exec("SceneEnableItemDeletionQueue(yard, true); SceneDeleteObject(yard, bareObject); SceneDeleteItem(yard, sun);");
    EXPECT_EQ(scene->GetDeletionQueue().GetCount(), 2);
    Exec("SceneUpdate(yard);");
    EXPECT_EQ(Eval("ObjectIsValid(bare) && ObjectIsValid(sun)"), "true");
    Exec("SceneFlushDeletionQueue(yard);");
    EXPECT_EQ(Eval("ObjectIsValid(bare) || ObjectIsValid(sun) || ObjectIsValid(bareObject)"), "false");
    EXPECT_EQ(Eval("ItemGetName(bare)"), "error: Expected 'Item' got 'Deleted native'");

    Exec("SceneEnableItemDeletionQueue(yard, false); SceneAddLight(yard, \"a\"); SceneAddLight(yard, \"b\");"
         "SceneAddLight(yard, \"c\"); SceneDeleteLight(yard, \"b\"); SceneDeleteLight(yard, \"none\");");
    EXPECT_EQ(scene->GetDeletionQueue().GetCount(), 1);
    Exec("SceneDeleteAllLights(yard); SceneDeleteAllLights(yard);");
    EXPECT_EQ(scene->GetDeletionQueue().GetCount(), 3);
    Exec("SceneUpdate(yard);");
    EXPECT_EQ(scene->GetLights().GetCount(), 0);
    EXPECT_EQ(Eval("SceneGetItemList(yard).len()"), "4");

    log.Clear();
    EXPECT_EQ(Eval("SceneSetItemDeletionDelay(yard, 2)"), "null");
    EXPECT_EQ(log.Lines(), (Lines{"[|] SceneSetItemDeletionDelay() is deprecated, please use SceneEnableItemDeletionQueue() instead.\n"}));
}

// Through another scene the item is still queued on its own (and the call says so).
TEST_F(SceneAPI, DeletingThroughTheWrongSceneQueuesOnTheOwner)
{
    nScene other(&engine, &vm);
    other.SetName("other");
    Hold("other", &other, objectTypeScene);
    log.Clear();
    Exec("SceneDeleteItem(other, crate);");
    EXPECT_EQ(log.Lines(), (Lines{"[*] Deleting item 'crate' (uid=1) using the wrong owner scene 'other' "
                                  "(current owner is scene 'yard').\n"}));
    EXPECT_EQ(other.GetDeletionQueue().GetCount(), 0);
    EXPECT_EQ(scene->GetDeletionQueue().GetCount(), 1);
    Exec("SceneFlushDeletionQueue(yard);");
    EXPECT_EQ(Eval("ObjectIsValid(crate)"), "false");
}

// A deleted group queues its members, and its script objects read as deleted at once.
TEST_F(SceneAPI, DeletingAGroupLeavesNoDanglingGroupObject)
{
    Exec("::again <- SceneFindGroup(yard, \"boxes\");");
    const Expected cases[] = {
        {"SceneDeleteGroup(noScene, boxes)", "null"},
        {"SceneDeleteGroup(yard, noGroup)", "null"},
        {"SceneDeleteGroup(yard, cam)", "error: Expected 'Scene Group' got 'Item'"},
        {"SceneDeleteGroup(yard, boxes)", "null"},
        {"ObjectIsValid(boxes) || ObjectIsValid(again)", "false"},
        {"GroupGetItemList(again)", "error: Expected 'Scene Group' got 'Deleted native'"},
        {"SceneFindGroup(yard, \"boxes\").isNull()", "true"},
    };
    ExpectEvals(cases);
    EXPECT_EQ(scene->GetDeletionQueue().GetCount(), 2);
    // Groups that go with the content leave no dangling object either.
    nGroup* kept = scene->CreateGroup("kept");
    Hold("kept", kept, objectTypeGroup);
    Exec("SceneDeleteContent(yard);");
    EXPECT_EQ(Eval("ObjectIsValid(kept)"), "false");
    EXPECT_EQ(Eval("SceneGetItemList(yard).len()"), "0");
}

// Rays against the bodies and against the triggers.
TEST_F(SceneAPI, RaysAgainstBodiesAndTriggers)
{
    Exec("SceneUpdate(yard);");
    EXPECT_EQ(Eval("(function() { local r = SceneCollisionRaytrace(yard, Vector(0, 10, -10), Vector(0, 1, 0), -1, 0, 100);"
                   " local k = []; foreach (key, value in r) k.append(key); return k.len() + \" \" + r.hit; })()"),
              "1 false");
    Exec("::ray <- SceneCollisionRaytrace(yard, Vector(0, 20, 0), Vector(0, -1, 0), -1, 0, 0);");
    const Expected cases[] = {
        {"ray.hit", "true"},
        {"ItemGetName(ray.item)", "floor"},
        {"ray.p", "0 -4 0"},
        {"ray.n", "0 1 0"},
        {"ray.d", "24"},
        {"ray.shape.isNull() && ray.material.isNull()", "true"},
        {"SceneCollisionRaytrace(yard, cam, Vector(0, -1, 0), -1, 0, 0)", "error: Invalid instance type"},
        {"ItemGetName(SceneRaytraceTriggerList(yard, Vector(0, 0, 0), Vector(1, 0, 0), 100))", "zone"},
        {"SceneRaytraceTriggerList(yard, Vector(0, 0, 0), Vector(-1, 0, 0), 100).isNull()", "true"},
        {"SceneRaytraceTriggerList(yard, Vector(0, 0, 0), Vector(1, 0, 0), 5).isNull()", "true"},
        {"SceneRaytraceTriggerList(noScene, Vector(0, 0, 0), Vector(1, 0, 0), 100).isNull()", "true"},
    };
    ExpectEvals(cases);
    nScene bare2(&engine, &vm);
    Hold("worldless", &bare2, objectTypeScene);
    EXPECT_EQ(Eval("SceneCollisionRaytrace(worldless, Vector(0, 20, 0), Vector(0, -1, 0), -1, 0, 0)"), "null");
    EXPECT_EQ(Eval("SceneGetPhysicFrequency(worldless)"), "0");
}

TEST_F(SceneAPI, PhysicsRateAndGravity)
{
    log.Clear();
    const Expected cases[] = {
        {"SceneGetPhysicFrequency(yard)", "60"},
        {"SceneSetPhysicFrequency(yard, 120)", "null"},
        {"SceneGetPhysicFrequency(yard)", "120"},
        {"SceneSetPhysicFrequency(yard, 0)", "null"},
        {"SceneSetPhysicFrequency(yard, -5)", "null"},
        {"SceneGetPhysicFrequency(yard)", "120"},
        {"SceneSetGravity(yard, Vector(0, -1, 0))", "null"},
    };
    ExpectEvals(cases);
    EXPECT_EQ(log.Lines(), (Lines{"[!] Ignored physics frequency 0.000: expected a positive number of steps per second.\n",
                                  "[!] Ignored physics frequency -5.000: expected a positive number of steps per second.\n"}));
    EXPECT_TRUE(VectorNear(scene->GetPhysicWorld()->GetGravity(), nVector(0, -1, 0), 0.0f));
    EXPECT_EQ(scene->GetPhysicWorld()->GetGravity().w, 1.0f);
    log.Clear();
    Exec("ScenePhysicAllocateCollisionNode(yard, 1, 2); ScenePhysicEnableDeactivation(yard, true);");
    EXPECT_EQ(log.Lines(), (Lines{"ScenePhysicAllocateCollisionNode is obsolete.\n"}));
}

TEST_F(SceneAPI, CameraProjectionAndScreenMapping)
{
    Exec("SceneUpdate(yard);");
    const Expected cases[] = {
        {"CameraSetFov(camera, 0)", "null"},
        {"CameraGetFov(camera) > 0.008726 && CameraGetFov(camera) < 0.008727", "true"},
        {"CameraSetFov(camera, 1.5707963)", "null"},
        {"CameraGetFov(camera) > 1.57079 && CameraGetFov(camera) < 1.5708", "true"},
        {"CameraWorldToScreen(camera, Vector(0, 0, 10))", "0.5 0.5 0"},
        {"CameraWorldToScreen(camera, Vector(0, 0, -10)).w", "-1"},
        {"CameraWorldToScreen(camera, Vector(0, 0, -10))", "-1 -1 -1"},
        {"CameraWorldToScreen(camera, Vector(0, 10, 10)).x", "0.5"},
        {"fabs(CameraWorldToScreen(camera, Vector(0, 10, 10)).y) < 1e-6", "true"},
        {"CameraScreenToWorld(camera, 0.5, 0.5)", "0 0 1"},
        {"CameraScreenToWorldPlane(camera, 0.5, 0, 10)", "0 10 10"},
        {"CameraSetAspectRatio(camera, 0.75)", "null"},
        {"CameraGetAspectRatio(camera)", "0.75"},
        {"CameraGetFov(cam)", "error: Expected 'Camera' got 'Item'"},
        {"ItemCastToCamera(crate)", "error: Item cannot be cast to camera"},
        {"CameraGetFov(NullItem)", "error: Expected 'Camera' got 'Item'"},
    };
    ExpectEvals(cases);
    // Screen to world and back.
    nVector p = Vec("CameraScreenToWorldPlane(camera, 0.2, 0.7, 5)");
    EXPECT_TRUE(VectorNear(Vec("CameraWorldToScreen(camera, Vector(" + std::to_string(p.x) + ", " + std::to_string(p.y) +
                               ", " + std::to_string(p.z) + "))"),
                           nVector(0.2f, 0.7f, 0, 1), 1e-4f));

    // Clipping planes that would make the projection singular are refused.
    nCamera& c = static_cast<nMCamera*>(camera)->GetCamera();
    Exec("CameraSetClipping(camera, 0.5, 100);");
    EXPECT_EQ(c.GetNear(), 0.5f);
    EXPECT_EQ(c.GetFar(), 100.0f);
    struct Refused
    {
        const char* args;
        const char* line;
    };
    const Refused refused[] = {
        {"1, 1e30 * 1e30", "[!] Camera 'cam' keeps its clipping planes: near 1.000 and far inf are not 0 < near < far.\n"},
        {"0, 100", "[!] Camera 'cam' keeps its clipping planes: near 0.000 and far 100.000 are not 0 < near < far.\n"},
        {"-1, 100", "[!] Camera 'cam' keeps its clipping planes: near -1.000 and far 100.000 are not 0 < near < far.\n"},
        {"10, 10", "[!] Camera 'cam' keeps its clipping planes: near 10.000 and far 10.000 are not 0 < near < far.\n"},
        {"10, 5", "[!] Camera 'cam' keeps its clipping planes: near 10.000 and far 5.000 are not 0 < near < far.\n"},
    };
    for (const Refused& r : refused) {
        log.Clear();
        Exec(std::string("CameraSetClipping(camera, ") + r.args + ");");
        EXPECT_EQ(log.Lines(), (Lines{r.line})) << r.args;
        EXPECT_EQ(c.GetNear(), 0.5f) << r.args;
        EXPECT_EQ(c.GetFar(), 100.0f) << r.args;
    }

    // Depth of field keys in the camera's registry.
    Exec("CameraSetFStop(camera, 2.8); CameraSetFocalDistance(camera, 12);");
    EXPECT_EQ(Eval("ItemRegistryGetKey(cam, \"PostProcess:Dof:FStop\")").substr(0, 3), "2.8");
    EXPECT_EQ(Eval("ItemRegistryGetKey(cam, \"PostProcess:Dof:FDist\")"), "12");
}

TEST_F(SceneAPI, CullingObjectsAgainstTheCameraFrustum)
{
    Exec("CameraSetFov(camera, 1.0); CameraSetClipping(camera, 0.1, 100); SceneUpdate(yard);");
    struct Case
    {
        nVector at;
        const char* visibility;
    };
    const Case cases[] = {
        {nVector(0, 0, 10), "1"},    // inside
        {nVector(0, 0, -10), "0"},   // behind
        {nVector(0, 0, 100), "2"},   // across the far plane
        {nVector(500, 0, 10), "0"},  // far to the side
    };
    for (const Case& c : cases) {
        crate->GetPhysicItem()->SetMode(PhysicItemNone);
        crate->GetItem()->SetPosition(c.at);
        EXPECT_EQ(Eval("CameraCullObject(camera, crateObject)"), c.visibility) << c.at.x << " " << c.at.z;
    }
    EXPECT_EQ(Eval("CameraCullObject(camera, bareObject) == VisibilityOutside"), "true");
    EXPECT_EQ(Eval("CameraCullObject(camera, crate)"), "error: Expected 'Object' got 'Item'");
}

TEST_F(SceneAPI, ObjectsAndTheirGeometry)
{
    log.Clear();
    const Expected cases[] = {
        {"ItemGetName(ObjectGetItem(crateObject))", "crate"},
        {"ObjectGetItem(noObject).isNull()", "true"},
        {"ObjectGetGeometry(noObject).isNull()", "true"},
        {"ObjectGetGeometry(bareObject).isNull()", "true"},
        {"ObjectGetGeometry(crateObject).isNull()", "false"},
        {"ObjectSetGeometry(noObject, ObjectGetGeometry(crateObject))", "null"},
        {"ObjectSetGeometry(bareObject, ObjectGetGeometry(crateObject))", "null"},
        {"ObjectGetGeometry(bareObject).isNull()", "false"},
        {"ObjectSetGeometry(crateObject, NullGeometry)", "null"},
        {"ObjectGetGeometry(crateObject).isNull()", "true"},
        {"ObjectSetSkinMotion(crateObject, \"walk\")", "null"},
        {"ObjectSetSkinMotion(noObject, \"walk\")", "error: CObject is null"},
        {"ObjectSetSkinMotionClockScale(noObject, 1.0)", "null"},
        {"ObjectSetSkinMotionClockScale(crateObject, 1)",
         "error: parameter 2 has an invalid type 'integer' ; expected: 'float'"},
        {"ObjectStopAllSkinMotion(noObject)", "null"},
        {"ItemCastToObject(sun).isNull()", "true"},
    };
    ExpectEvals(cases);
    EXPECT_EQ(static_cast<nMObject*>(bare)->GetObject().GetGeometry().Get(), cube.Get());
    EXPECT_EQ(static_cast<nMObject*>(crate)->GetObject().GetGeometry().Get(), nullptr);
    EXPECT_EQ(log.Lines(), (Lines{"[!] Incorrect cast, item is not an object.\n"}));
}

TEST_F(SceneAPI, LightsOfEveryType)
{
    const Expected cases[] = {
        {"LightGetType(sunLight) == LightTypeLinear", "true"},
        {"LightSetType(sunLight, LightTypeSpot)", "null"},
        {"LightGetType(sunLight)", "3"},
        {"LightSetType(sunLight, LightTypeNone)", "null"},
        {"LightGetType(sunLight)", "0"},
        {"LightSetType(sunLight, LightTypePoint)", "null"},
        {"LightGetType(sunLight)", "1"},
        {"LightSetDiffuseColor(sunLight, Vector(1, 0.5, 0.25, 0))", "null"},
        {"LightGetDiffuseColor(sunLight)", "1 0.5 0.25"},
        {"LightGetDiffuseColor(sunLight).w", "1"},
        {"LightSetSpecularColor(sunLight, Vector(0.5, 0.5, 0.5, 0))", "null"},
        {"LightGetSpecularColor(sunLight).w", "1"},
        {"LightSetDiffuseIntensity(sunLight, 2.5)", "null"},
        {"LightGetDiffuseIntensity(sunLight)", "2.5"},
        {"LightSetSpecularIntensity(sunLight, 0.75)", "null"},
        {"LightGetSpecularIntensity(sunLight)", "0.75"},
        {"LightSetConeAngle(sunLight, 0.5)", "null"},
        {"LightGetConeAngle(sunLight)", "0.5"},
        {"LightSetEdgeAngle(sunLight, 0.125)", "null"},
        {"LightGetEdgeAngle(sunLight)", "0.125"},
        {"ItemGetName(LightGetItem(sunLight))", "sun"},
        {"LightSetDiffuseColor(sunLight, 3)", "error: parameter 2 has an invalid type 'integer' ; expected: 'instance'"},
        {"LightSetDiffuseColor(sunLight, cam)", "error: Invalid instance type"},
        {"LightGetType(sun)", "error: Expected 'Light' got 'Item'"},
        {"LightGetType(camera)", "error: Expected 'Light' got 'Camera'"},
    };
    ExpectEvals(cases);
    nLight& light = static_cast<nMLight*>(sun)->GetLight();
    EXPECT_EQ(light.GetSpecular().w, 1.0f);
}

// The projected texture comes from the engine; a new one takes the old one's place and the
// light gives its reference on the old one back.
TEST_F(SceneAPI, ProjectedTexturesSwapTheirReferences)
{
    nLight& light = static_cast<nMLight*>(sun)->GetLight();
    Exec("LightSetProjectionTexture(sunLight, \"spot.tga\");");
    ASSERT_NE(light.GetProjectionMap(), nullptr);
    nSharedPtr<nTexture> first(light.GetProjectionMap());
    EXPECT_EQ(first->GetRefCount(), 2);
    Exec("LightSetProjectionTexture(sunLight, \"stripes.tga\");");
    ASSERT_NE(light.GetProjectionMap(), nullptr);
    EXPECT_NE(light.GetProjectionMap(), first.Get());
    EXPECT_EQ(first->GetRefCount(), 1);
    EXPECT_EQ(light.GetProjectionMap()->GetRefCount(), 1);
}

TEST_F(SceneAPI, GroupMembershipRootAndOffsets)
{
    const Expected cases[] = {
        {"GroupItemIsMember(boxes, crate)", "true"},
        {"GroupItemIsMember(boxes, cam)", "false"},
        {"ItemGetName(GroupFindItem(boxes, \"floor\"))", "floor"},
        {"GroupFindItem(boxes, \"cam\").isNull()", "true"},
        {"GroupGetRootItem(boxes).isNull()", "true"},
        {"GroupGetItemList(noGroup)", "error: CObject is null"},
        {"GroupGetItemList(yard)", "error: Expected 'Scene Group' got 'Scene'"},
    };
    ExpectEvals(cases);
    EXPECT_EQ(Names("GroupGetItemList(boxes)"), "crate,floor");

    // The root takes the unlinked members; a new root takes them over.
    Exec("GroupSetRootItem(boxes, cam);");
    EXPECT_EQ(crate->GetItem()->GetParent(), camera->GetItem());
    EXPECT_EQ(floor->GetItem()->GetParent(), camera->GetItem());
    EXPECT_EQ(Eval("ItemGetName(GroupGetRootItem(boxes))"), "cam");
    Exec("GroupSetRootItem(boxes, sun);");
    EXPECT_EQ(crate->GetItem()->GetParent(), sun->GetItem());
}

TEST_F(SceneAPI, GroupOffsetActivationAndVisibility)
{
    Exec("ItemSetParent(floor, cam);");
    Hold("offset", nMatrix4::Translation(nVector(1, 2, 3)));
    Exec("GroupOffsetMatrix(boxes, offset);");
    EXPECT_TRUE(VectorNear(crate->GetItem()->GetWorldMatrix().GetColumn(3, true), nVector(1, 2, 13), 1e-5f));
    EXPECT_TRUE(VectorNear(floor->GetItem()->GetWorldMatrix().GetColumn(3, true), nVector(0, -5, 0), 1e-5f));
    Exec("GroupSetInvisible(boxes, true); GroupActivate(boxes, false);");
    EXPECT_TRUE(crate->GetItem()->GetFlags() & ItemFlagInvisible);
    EXPECT_TRUE(floor->GetItem()->GetFlags() & ItemFlagInvisible);
    EXPECT_FALSE(crate->IsActive());
    EXPECT_TRUE(camera->IsActive());
    Exec("GroupActivate(boxes, true); GroupSetup(boxes); GroupSetupScript(boxes); GroupReset(boxes);");
    EXPECT_TRUE(crate->IsActive());
    EXPECT_EQ(Eval("GroupSetMotion(boxes, \"none\", 0.5).type() == EngineTypeAnimationSource"), "true");
    EXPECT_EQ(Eval("SceneSetMotion(yard, \"none\", 0.5).type() == EngineTypeAnimationSource"), "true");
}

// The trigger lists what is inside after each update, and forgets what left or was deleted.
TEST_F(SceneAPI, TriggerListsFollowItemsInAndOut)
{
    crate->SetFlags(crate->GetFlags() | MItemFlagTriggerDetected);
    floor->SetFlags(floor->GetFlags() | MItemFlagTriggerDetected);
    crate->GetPhysicItem()->SetMode(PhysicItemNone);
    Exec("SceneUpdate(yard);");
    EXPECT_EQ(Eval("TriggerGetItemList(zoneTrigger).len()"), "0");
    EXPECT_EQ(Eval("TriggerTestItem(zoneTrigger, crate)"), "false");
    Exec("ItemSetPosition(crate, Vector(20, 1, 0)); SceneUpdate(yard);");
    EXPECT_EQ(Names("TriggerGetItemList(zoneTrigger)"), "crate");
    EXPECT_EQ(Eval("TriggerTestItem(zoneTrigger, crate)"), "true");
    EXPECT_EQ(Eval("TriggerTestItem(zoneTrigger, floor)"), "false");
    Exec("ItemSetPosition(floor, Vector(19, 0, 0)); SceneUpdate(yard);");
    EXPECT_EQ(Names("TriggerGetItemList(zoneTrigger)"), "crate,floor");
    Exec("ItemSetPosition(crate, Vector(0, 0, 0)); SceneUpdate(yard);");
    EXPECT_EQ(Names("TriggerGetItemList(zoneTrigger)"), "floor");
    Exec("SceneDeleteItem(yard, floor); SceneUpdate(yard);");
    EXPECT_EQ(Eval("TriggerGetItemList(zoneTrigger).len()"), "0");
    EXPECT_EQ(Eval("TriggerGetItemList(zone)"), "error: Expected 'Trigger' got 'Item'");
}

// Script units of the scene, and the calls refused from inside the scene's own events.
TEST_F(SceneAPI, ScriptUnitsAndTheBusyGuard)
{
    nTempDir dir;
    dir.Write("yard.nut",
              "class Yard {\n"
              "  function OnUpdate(scene) {\n"
              "    SceneUpdate(scene); SceneRender(scene, 0); SceneSetup(scene); SceneReset(scene);\n"
              "    SceneDeleteContent(scene); SceneFlushDeletionQueue(scene);\n"
              "    ::updated <- true;\n"
              "  }\n"
              "  function OnRenderDone(scene) { SceneRenderToQueue(scene); SceneRenderUI(scene); ::rendered <- true; }\n"
              "}\n");
    EXPECT_EQ(Eval("SceneGetScriptInstance(yard)"), "error: No script unit");
    Exec("SceneSetScript(yard, \"" + dir.Path("yard.nut") + "\", \"Yard\");");
    EXPECT_EQ(Eval("SceneGetScriptInstance(yard)"), "error: Script unit is not open");
    Exec("SceneSetup(yard);");
    EXPECT_EQ(Eval("SceneGetScriptInstance(yard) instanceof Yard"), "true");
    EXPECT_EQ(Eval("SceneGetScriptInstanceFromClass(yard, \"Yard\") instanceof Yard"), "true");
    EXPECT_EQ(Eval("SceneGetScriptInstanceFromClass(yard, \"yard\")"), "error: Script unit not found");

    log.Clear();
    Exec("SceneUpdate(yard);");
    EXPECT_EQ(Eval("::updated"), "true");
    const char* refused[] = {"SceneUpdate", "SceneRender", "SceneSetup", "SceneReset", "SceneDeleteContent",
                             "SceneFlushDeletionQueue"};
    Lines expected;
    for (const char* f : refused)
        expected.push_back(std::string("[!] Cannot call '") + f + "' from inside the events of scene 'yard'.\n");
    EXPECT_EQ(log.Lines(), expected);
    EXPECT_EQ(Eval("SceneGetItemList(yard).len()"), "6");

    log.Clear();
    Exec("SceneRender(yard, SceneRenderFlagClearViewport);");
    EXPECT_EQ(Eval("::rendered"), "true");
    EXPECT_EQ(log.Lines(), (Lines{"[!] Cannot call 'SceneRenderToQueue' from inside the events of scene 'yard'.\n",
                                  "[!] Cannot call 'SceneRenderUI' from inside the events of scene 'yard'.\n"}));
    // Outside the events the calls run: only the handler's own calls are refused.
    log.Clear();
    Exec("SceneRenderToQueue(yard); SceneRenderUI(yard); SceneRenderSetup(yard, 1); SceneSuspendScriptUpdate(yard, 1e12);");
    EXPECT_EQ(log.Lines(), (Lines{"[!] Cannot call 'SceneRenderToQueue' from inside the events of scene 'yard'.\n",
                                  "[!] Cannot call 'SceneRenderUI' from inside the events of scene 'yard'.\n"}));
}

// SceneRender drives the engine's current renderer: the scene binds it, clears with its
// background colour when asked, applies its camera and draws the queue; a renderless scene
// only keeps its script hooks.
TEST_F(SceneAPI, RenderingDrivesTheCurrentRenderer)
{
    renderer.reset(new nRecordingRenderer(&engine, &calls));
    nTempDir dir;
    dir.Write("draw.nut", "class Draw {\n"
                          "  function OnRenderDone(scene) { ::done++; }\n"
                          "  function OnRenderUI(scene) { ::ui++; }\n"
                          "}\n");
    Exec("::done <- 0; ::ui <- 0; SceneSetScript(yard, \"" + dir.Path("draw.nut") + "\", \"Draw\"); SceneSetup(yard);"
                                                                                    "SceneSetBackgroundColor(yard, Vector(0.25, 0.5, 0.75, 1));");
    calls.Clear();
    Exec("SceneRender(yard, SceneRenderFlagClearViewport);");
    EXPECT_EQ(renderer->GetPropertyRequestContext(), static_cast<void*>(scene));
    EXPECT_EQ(calls.With("render.Clear"), (std::vector<std::string>{"render.Clear(0.25,0.5,0.75,1,0)"}));
    EXPECT_EQ(calls.Count("render.ApplyCamera"), 1u);
    EXPECT_EQ(calls.Count("render.RenderQueue"), 1u);
    EXPECT_EQ(Eval("::done + \" \" + ::ui"), "1 1");

    // Scripts off: OnRenderDone is not raised, OnRenderUI still is; no clear without the flag.
    calls.Clear();
    Exec("SceneRender(yard, SceneRenderFlagDisableScript);");
    EXPECT_EQ(calls.With("render.Clear").size(), 0u);
    EXPECT_EQ(Eval("::done + \" \" + ::ui"), "1 2");

    // Renderless: nothing drawn from the scene, the queue still asked for, the hooks raised.
    calls.Clear();
    Exec("SceneSetRenderless(yard, true); SceneRender(yard, SceneRenderFlagClearViewport);");
    EXPECT_EQ(calls.With("render.Clear").size(), 0u);
    EXPECT_EQ(calls.Count("render.ApplyCamera"), 0u);
    EXPECT_EQ(calls.Count("render.RenderQueue"), 1u);
    EXPECT_EQ(Eval("::done + \" \" + ::ui"), "2 3");

    // The parts one by one.
    calls.Clear();
    Exec("SceneSetRenderless(yard, false); SceneRenderSetup(yard, SceneRenderFlagClearViewport);"
         "SceneRenderToQueue(yard); SceneRenderUI(yard);");
    EXPECT_EQ(calls.With("render.Clear").size(), 1u);
    EXPECT_EQ(Eval("::done + \" \" + ::ui"), "3 4");

    nScene other(&engine, &vm);
    Hold("other", &other, objectTypeScene);
    Hold("g_engine", &engine, objectTypeEngine);
    Exec("SceneRegisterAsPropertyCallback(other, EngineGetRenderer(g_engine));");
    EXPECT_EQ(renderer->GetPropertyRequestContext(), static_cast<void*>(&other));
    EXPECT_EQ(Eval("SceneRegisterAsPropertyCallback(other, cam)"), "error: Expected 'Renderer' got 'Item'");
}

// Globals published, poses recorded and restored, updates suspended by ticks.
TEST_F(SceneAPI, GlobalsPosesAndSuspendedUpdates)
{
    Hold("g_engine", &engine, objectTypeEngine);
    Exec("::g_scene <- null; SceneSetGlobal(yard);");
    EXPECT_EQ(Eval("SceneGetName(g_scene)"), "yard");

    crate->GetPhysicItem()->SetMode(PhysicItemNone);
    Exec("SceneRecordLocation(yard); ItemSetPosition(crate, Vector(7, 7, 7)); SceneReset(yard); SceneReset(noScene);");
    EXPECT_EQ(Eval("ItemGetPosition(crate)"), "0 0 10");

    nTempDir dir;
    dir.Write("count.nut", "class Count { function OnUpdate(scene) { ::updates++; } }\n");
    Exec("::updates <- 0; SceneSetScript(yard, \"" + dir.Path("count.nut") + "\", \"Count\"); SceneSetup(yard);"
                                                                             "SceneUpdate(yard);");
    EXPECT_EQ(Eval("::updates"), "1");
    // 10,000 ticks are one second; each update takes its frame time (167 ticks) off.
    Exec("SceneSuspendScriptUpdate(yard, 400); SceneUpdate(yard); SceneUpdate(yard);");
    EXPECT_EQ(Eval("::updates"), "1");
    Exec("SceneUpdate(yard); SceneUpdate(yard);");
    EXPECT_EQ(Eval("::updates"), "2");
    Exec("SceneSuspendScriptUpdate(yard, -5); SceneUpdate(yard);");
    EXPECT_EQ(Eval("::updates"), "3");
}

// Loading a file with a filter: only the kinds asked for, in a group named after the path.
TEST_F(SceneAPI, LoadingWithAFilterFillsAGroup)
{
    nTempDir dir;
    dir.Write("more.nms", "<NML=1.0>\n<Scene= <Items="
                          " <MCamera= <MItem= <Id=\"eye\"> <UId=0> <Active> > >"
                          " <MLight= <MItem= <Id=\"lamp\"> <UId=1> <Active> > > > >");
    const std::string path = dir.Path("more.nms");
    Exec("::loaded <- SceneFromFileStoreGroup(yard, \"" + path + "\", FlagLoadLight);");
    EXPECT_EQ(Names("GroupGetItemList(loaded)"), "lamp");
    EXPECT_EQ(Eval("SceneFindItem(yard, \"eye\").isNull()"), "true");
    EXPECT_EQ(Eval("SceneFromFile(yard, \"" + path + "\")"), "true");
    EXPECT_EQ(Eval("ItemGetName(SceneFindItem(yard, \"eye\"))"), "eye");
    EXPECT_EQ(Eval("SceneFromNML(yard, \"" + dir.Path("none.nms") + "\")"), "false");
}

// Every function of the families with wrong kinds, null and deleted objects and boundary
// numbers in each position: a script error or a return, never a crash or a killed machine.
TEST_F(SceneAPI, SweepOfEveryFunctionWithBadArguments)
{
    nTempDir dir;
    dir.Write("empty.nms", "<NML=1.0>\n<Scene= >\n");
    Exec("::g_long <- \"\"; for (local i = 0; i < 4096; i++) g_long += \"x\";"
         "::g_gone <- ItemCastToObject(bare); ::g_goneItem <- bare; SceneDeleteItem(yard, bare);"
         "SceneFlushDeletionQueue(yard);");
    const std::vector<std::string> kinds[] = {
        /* i */ {"0", "-1", "2147483647", "2147483648", "-2147483649", "9223372036854775807", "(-9223372036854775807 - 1)"},
        /* n */ {"0", "-1.0", "1e30", "-1e30", "(0.0 / 0.0)", "(1e30 * 1e30)", "-(1e30 * 1e30)", "0.0001"},
        /* s */ {"\"\"", "\"crate\"", "\"../x\"", "g_long", "\"" + dir.Path("empty.nms") + "\"", "\"none.nms\""},
        /* b */ {"true", "false"},
        /* x */ {"yard", "cam", "camera", "crateObject", "sunLight", "zoneTrigger", "boxes", "noScene", "noGroup", "noObject", "NullItem", "g_gone", "g_goneItem", "Vector(1, 2, 3)", "Matrix4()", "g_engine"},
        /* f */ {"0.0", "-1.0", "(0.0 / 0.0)", "1e30"},
    };
    Hold("g_engine", &engine, objectTypeEngine);
    const std::vector<std::string> wrong = {"null", "1.5", "7", "\"s\"", "true", "[]", "{}", "Vector(0, 0, 0)"};
    auto good = [&](char letter) -> const std::vector<std::string>& { return kinds[std::string("insbxf").find(letter)]; };

    const std::vector<std::string> knownErrors = {
        "wrong number of parameters", "parameter ", "CObject is null", "Expected '", "Invalid instance type",
        "Expected scene or instance", "Null object", "Item cannot be cast to camera", "Item is not a ",
        "No script unit", "Script unit is not open", "Script unit not found", "invalid type tag",
        "Only objects can be merged.", "Only objects with a geometry can be merged.", "Failed to load geometry to merge."};
    // The calls that would empty the fixture are swept last, each once on its own below.
    const std::set<std::string> last = {"SceneDeleteContent"};
    int calls = 0;
    for (const char* manifest : {"scene_item_functions.tsv", "scene_functions.tsv"}) {
        for (const ManifestFunction& f : ReadFunctionManifest(manifest)) {
            if (last.count(f.name)) continue;
            const std::string letters = f.mask.substr(1);
            std::vector<std::string> base;
            for (char l : letters) base.push_back(good(l)[0]);
            std::vector<std::vector<std::string>> argLists;
            for (size_t p = 0; p < letters.size(); ++p) {
                for (const std::string& value : good(letters[p])) {
                    auto a = base;
                    a[p] = value;
                    argLists.push_back(a);
                }
                for (const std::string& value : wrong) {
                    auto a = base;
                    a[p] = value;
                    argLists.push_back(a);
                }
            }
            argLists.push_back(std::vector<std::string>(base.begin(), base.end() - 1));
            auto more = base;
            more.push_back("0");
            argLists.push_back(more);
            for (const std::vector<std::string>& args : argLists) {
                const std::string call = CallText(f.name, args);
                const std::string result = Run(call);
                ++calls;
                if (!result.empty()) {
                    EXPECT_TRUE(IsKnownError(result, knownErrors)) << call << " raised " << result;
                }
                ASSERT_FALSE(vm.IsKilled()) << call;
            }
        }
    }
    EXPECT_EQ(Run("SceneDeleteContent(yard); SceneDeleteContent(noScene);"), "CObject is null");
    EXPECT_EQ(Eval("SceneGetItemList(yard).len()"), "0");
    EXPECT_GT(calls, 2000);
}

}  // namespace
