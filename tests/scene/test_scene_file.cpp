// Scene files: a hand-written file with every item kind read, written and read again; load
// flags; uid rebasing; and a corpus of damaged files.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "hub/nOrvex.h"
#include "physics/nPhysicItem.h"
#include "resources/nGeometry.h"
#include "resources/nResourceCache.h"
#include "scene/nCamera.h"
#include "scene/nGroup.h"
#include "scene/nLight.h"
#include "scene/nObject.h"
#include "scene/nScene.h"
#include "scene/nTrigger.h"
#include "tests/kit/nCallLog.h"
#include "tests/kit/nRecordingEvents.h"
#include "tests/scene/kit/nKitScene.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nMLTestSupport.h"
#include "tests/support/nTempDir.h"

namespace {

typedef std::vector<std::string> Names;

std::string DataPath(const char* name)
{
    const char* root = std::getenv("QZ_TEST_DATA");
    return std::string(root ? root : ".") + "/data/" + name;
}

Names NamesOf(const nList<nMItem*>& list)
{
    Names out;
    for (auto* n = list.GetHead(); n; n = n->next) out.push_back(n->value->GetName().GetCStr());
    return out;
}

nMItem* Named(nScene* scene, const char* name, int which = 0)
{
    for (auto* n = scene->GetAllItems().GetHead(); n; n = n->next)
        if (n->value->GetName() == name && which-- == 0) return n->value;
    return nullptr;
}

nMItem* ParentOf(nMItem* item)
{
    nItem* parent = item && item->GetItem() ? item->GetItem()->GetParent() : nullptr;
    return parent ? parent->GetManagedItem() : nullptr;
}

// A kit scene whose engine caches "rig.nmo", a geometry skinned with two bones, as files
// name it.
struct FileScene
{
    FileScene(bool withWorld = true) : k(withWorld), selected{k.engine}
    {
        k.engine.SetResourceCache(&cache);
        nGeometry* rig = new nGeometry(&k.engine);
        rig->SetName("rig.nmo");
        rig->AllocateVertices(1);
        rig->vertices[0] = nVector(0.0f, 0.0f, 0.0f);
        rig->skinWeights = new nSkinWeight[1];
        rig->skinWeights[0] = nSkinWeight();
        rig->AllocateSkin(2);
        rig->bindMatrices[1] = nMatrix4::Translation(nVector(0.0f, -1.0f, 0.0f));
        nResourceCache::AddToList(cache.GetGeometryList(false), rig);
    }
    nScene* operator->() { return k.scene; }

    nKitScene k;
    nResourceCache cache;
    struct Selected
    {
        nOrvex& engine;
        ~Selected() { engine.SetResourceCache(nullptr); }
    } selected;
};

// The content of full.nms, as any scene that read it (once, from uid base) must hold it.
void ExpectFullContent(nScene* scene, int32_t base)
{
    EXPECT_EQ(NamesOf(scene->GetCameras()), (Names{"eye"}));
    EXPECT_EQ(NamesOf(scene->GetObjects()), (Names{"body", "arm", "hand"}));
    EXPECT_EQ(NamesOf(scene->GetLights()), (Names{"sun", "lamp"}));
    EXPECT_EQ(NamesOf(scene->GetTriggers()), (Names{"door"}));
    // The trigger was not marked active; the dark lamp keeps its place.
    EXPECT_EQ(NamesOf(scene->GetActiveItems()), (Names{"eye", "body", "arm", "hand", "sun", "lamp"}));
    const char* names[] = {"eye", "body", "arm", "hand", "sun", "door", "lamp"};
    for (int32_t uid = 0; uid < 7; ++uid) EXPECT_EQ(Named(scene, names[uid])->GetUid(), base + uid) << names[uid];
    EXPECT_EQ(scene->GetNextUid(), base + 7);

    EXPECT_EQ(ParentOf(Named(scene, "arm")), Named(scene, "body"));
    EXPECT_EQ(ParentOf(Named(scene, "hand")), Named(scene, "arm"));
    EXPECT_EQ(ParentOf(Named(scene, "eye")), Named(scene, "sun"));
    nObject* body = nMObject::FromItem(Named(scene, "body"));
    ASSERT_EQ(body->GetBoneCount(), 2);
    EXPECT_EQ(body->GetBone(0), Named(scene, "arm")->GetItem());
    EXPECT_EQ(body->GetBone(1), Named(scene, "hand")->GetItem());
    EXPECT_EQ(Named(scene, "hand")->GetFlags() & MItemFlagBillboard, (uint32_t)MItemFlagBillboard);
    EXPECT_EQ(Named(scene, "body")->GetPhysicItem()->GetMode(), (int32_t)PhysicItemDynamic);

    nGroup* rig = scene->FindGroup("rig");
    nGroup* lights = scene->FindGroup("lights");
    ASSERT_TRUE(rig && lights);
    EXPECT_EQ(NamesOf(rig->GetItems()), (Names{"body", "arm", "hand"}));
    EXPECT_EQ(NamesOf(lights->GetItems()), (Names{"sun", "lamp"}));

    EXPECT_EQ(scene->GetBackgroundColour().z, 0.5f);
    EXPECT_EQ(scene->GetAmbientColour().z, 0.25f);
    EXPECT_EQ(scene->GetAmbientIntensity(), 0.5f);
    EXPECT_EQ(scene->GetTargetExposure(), 0.375f);
    EXPECT_EQ(scene->GetVisualisationScale(), 2.0f);
    EXPECT_EQ(scene->GetFogNear(), 10.0f);
    EXPECT_EQ(scene->GetFogFar(), 200.0f);
    EXPECT_EQ(scene->GetFogColour().x, 0.75f);
    ASSERT_NE(scene->GetPhysicWorld(), nullptr);
    EXPECT_NEAR(scene->GetPhysicWorld()->GetFixedStep(), 1.0f / 30.0f, 1e-7f);
    EXPECT_EQ(scene->GetCurrentCamera(), Named(scene, "eye")->GetItem());
}

// The scene written as a file's text.
std::string Save(nScene* scene, nTempDir& dir, const char* name)
{
    nMetaFile document;
    nMetaTag* root = scene->Serialize(&document, nullptr, FlagLoadAll);
    EXPECT_NE(root, nullptr);
    if (!root) return "";
    document.AddRoot(root);
    EXPECT_TRUE(document.Save(dir.Path(name).c_str()));
    return dir.Read(name);
}

TEST(SceneFile, HandWrittenFileReadsWritesAndReadsBackToTheSameText)
{
    nTempDir dir;
    std::string first, second;
    {
        FileScene a;
        nLogCapture capture;
        ASSERT_TRUE(a->LoadFile(DataPath("full.nms").c_str(), nullptr, FlagLoadAll, 0));
        for (const std::string& line : capture.Lines()) EXPECT_NE(line.substr(0, 4), "[*] ") << line;
        for (const std::string& line : capture.Lines()) EXPECT_NE(line.substr(0, 4), "[!] ") << line;
        ExpectFullContent(a.k.scene, 0);
        first = Save(a.k.scene, dir, "first.nms");
    }
    {
        FileScene b;
        ASSERT_TRUE(b->LoadFile(dir.Path("first.nms").c_str(), nullptr, FlagLoadAll, 0));
        ExpectFullContent(b.k.scene, 0);
        second = Save(b.k.scene, dir, "second.nms");
    }
    EXPECT_FALSE(first.empty());
    EXPECT_EQ(first, second);
    // The writer's order of the scene's parts, and colours without alpha.
    nMetaFile written;
    ASSERT_TRUE(written.Load(dir.Path("second.nms").c_str()));
    Names parts;
    nMetaTagIterator it;
    nMetaTag* scene = written.FindPath("Scene;");
    ASSERT_NE(scene, nullptr);
    while (nMetaTag* child = scene->NextChild(it)) parts.push_back(child->GetName().GetCStr());
    EXPECT_EQ(parts, (Names{"Items", "Links", "Skins", "Paths", "Groups", "Globals", "Physics", "CurrentCamera"}));
    EXPECT_EQ(written.FindPath("Scene:Globals:BackgroundColor;")->GetChildCount(), 3);
    EXPECT_EQ(written.FindPath("Scene:Skins:Skin:Bone:BindMatrix;") != nullptr, true);
}

TEST(SceneFile, ASecondReadIntoTheSameSceneGetsItsOwnUidsLinksAndGroups)
{
    FileScene f;
    ASSERT_TRUE(f->LoadFile(DataPath("full.nms").c_str(), nullptr, FlagLoadAll, 0));
    ASSERT_TRUE(f->LoadFile(DataPath("full.nms").c_str(), nullptr, FlagLoadAll, 0));
    EXPECT_EQ(f->GetNextUid(), 14);
    const char* names[] = {"eye", "body", "arm", "hand", "sun", "door", "lamp"};
    for (int32_t uid = 0; uid < 7; ++uid) {
        EXPECT_EQ(Named(f.k.scene, names[uid], 0)->GetUid(), uid);
        EXPECT_EQ(Named(f.k.scene, names[uid], 1)->GetUid(), 7 + uid);
    }
    EXPECT_EQ(ParentOf(Named(f.k.scene, "arm", 1)), Named(f.k.scene, "body", 1));
    EXPECT_EQ(ParentOf(Named(f.k.scene, "arm", 0)), Named(f.k.scene, "body", 0));
    EXPECT_EQ(nMObject::FromItem(Named(f.k.scene, "body", 1))->GetBone(0), Named(f.k.scene, "arm", 1)->GetItem());
    nGroup* second = f->GetGroups().GetAt(2);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->GetName(), "rig");
    EXPECT_EQ(second->GetItems().GetHead()->value, Named(f.k.scene, "body", 1));
    // The camera is named by path: the first "eye" wins.
    EXPECT_EQ(f->GetCurrentCamera(), Named(f.k.scene, "eye", 0)->GetItem());
}

TEST(SceneFile, SourceUidsReserveTheirRangeAndRepeatedUidsResolveToTheFirstItem)
{
    FileScene f;
    f.k.Add("before");
    ASSERT_TRUE(nMLPutMemoryFile("uids.nms", "<NML=1.0>\n<Scene= <Items="
                                             " <MCamera= <MItem= <Id=\"a\"> <UId=0> <Active> > >"
                                             " <MCamera= <MItem= <Id=\"b\"> <UId=1> <Active> > >"
                                             " <MCamera= <MItem= <Id=\"c\"> <UId=5> <Active> > >"
                                             " <MCamera= <MItem= <Id=\"twin\"> <UId=5> <Active> > >"
                                             " <MCamera= <MItem= <Id=\"child\"> <UId=3> <Active> > > >"
                                             " <Links= <Link= <Item=3> <Link=5> > > <CurrentCamera=\"a\"> >"));
    ASSERT_TRUE(f->LoadFile("uids.nms", nullptr, FlagLoadAll, 0));
    EXPECT_EQ(Named(f.k.scene, "a")->GetUid(), 1);
    EXPECT_EQ(Named(f.k.scene, "b")->GetUid(), 2);
    EXPECT_EQ(Named(f.k.scene, "c")->GetUid(), 6);
    EXPECT_EQ(Named(f.k.scene, "twin")->GetUid(), 6);
    EXPECT_EQ(ParentOf(Named(f.k.scene, "child")), Named(f.k.scene, "c"));
    EXPECT_EQ(f->GetNextUid(), 7);
    EXPECT_EQ(f->CreateCamera("after")->GetUid(), 7);
}

// Load flags against what a read of full.nms makes.
struct FlagCase
{
    const char* name;
    int32_t flags;
    Names cameras, objects, lights, triggers;
    bool groups;
    size_t masked;  // "Group member masked out during import." lines
    float fixedStep;
    bool globals;
};

TEST(SceneFile, LoadFlagsChooseKindsAndParts)
{
    const float kDefaultStep = 1.0f / 60.0f, kFileStep = 1.0f / 30.0f;
    const Names allObjects{"body", "arm", "hand"}, allLights{"sun", "lamp"};
    const FlagCase cases[] = {
        {"all", FlagLoadAll, {"eye"}, allObjects, allLights, {"door"}, true, 0, kFileStep, true},
        {"no lights", FlagLoadAll & ~FlagLoadLight, {"eye"}, allObjects, {}, {"door"}, true, 2, kFileStep, true},
        {"no cameras", FlagLoadAll & ~FlagLoadCamera, {"Default"}, allObjects, allLights, {"door"}, true, 0, kFileStep, true},
        {"no objects", FlagLoadAll & ~FlagLoadObject, {"eye"}, {}, allLights, {"door"}, true, 3, kFileStep, true},
        {"no triggers", FlagLoadAll & ~FlagLoadTrigger, {"eye"}, allObjects, allLights, {}, true, 0, kFileStep, true},
        {"no groups", FlagLoadAll & ~FlagLoadGroup, {"eye"}, allObjects, allLights, {"door"}, false, 0, kFileStep, true},
        {"no settings", FlagLoadAll & ~FlagLoadSettings, {"eye", "Default"}, allObjects, allLights, {"door"}, true, 0, kFileStep, true},
        {"no physics", FlagLoadAll & ~FlagLoadPhysic, {"eye"}, allObjects, allLights, {"door"}, true, 0, kDefaultStep, true},
        {"objects only", FlagLoadObject, {"Default"}, allObjects, {}, {}, false, 0, kDefaultStep, true},
    };
    for (const FlagCase& c : cases) {
        SCOPED_TRACE(c.name);
        FileScene f;
        nLogCapture capture;
        ASSERT_TRUE(f->LoadFile(DataPath("full.nms").c_str(), nullptr, c.flags, 0));
        EXPECT_EQ(NamesOf(f->GetCameras()), c.cameras);
        EXPECT_EQ(NamesOf(f->GetObjects()), c.objects);
        EXPECT_EQ(NamesOf(f->GetLights()), c.lights);
        EXPECT_EQ(NamesOf(f->GetTriggers()), c.triggers);
        EXPECT_EQ(f->FindGroup("rig") != nullptr, c.groups);
        size_t masked = 0;
        for (const std::string& line : capture.Lines()) masked += line == "[*] Group member masked out during import.\n";
        EXPECT_EQ(masked, c.masked);
        EXPECT_NEAR(f->GetPhysicWorld()->GetFixedStep(), c.fixedStep, 1e-7f);
        // Globals are read without an output group whatever the flags.
        EXPECT_EQ(f->GetTargetExposure(), 0.375f);
        // A link whose parent was filtered out is skipped without a message.
        for (const std::string& line : capture.Lines()) EXPECT_EQ(line.find("link"), std::string::npos) << line;
    }
}

TEST(SceneFile, AnOutputGroupCollectsTheItemsAndTheFileGroupsAndKeepsTheGlobalsOut)
{
    FileScene f;
    nGroup* group = nullptr;
    nLogCapture capture;
    ASSERT_TRUE(f->LoadFile(DataPath("full.nms").c_str(), &group, FlagLoadAll & ~FlagLoadGlobals, 0));
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->GetName(), DataPath("full.nms").c_str());
    EXPECT_EQ(NamesOf(group->GetItems()), (Names{"eye", "body", "arm", "hand", "sun", "lamp", "door"}));
    EXPECT_EQ(group->GetGroups().GetCount(), 2);
    EXPECT_EQ(f->GetTargetExposure(), 0.25f);  // untouched
    bool reported = false;
    for (const std::string& line : capture.Lines()) reported |= line.find("': 7 item(s).\n") != std::string::npos;
    EXPECT_TRUE(reported);
}

TEST(SceneFile, ADarkLightReadInactiveByLevelComesBackWhenReactivatedAndLit)
{
    FileScene f;
    ASSERT_TRUE(f->LoadFile(DataPath("full.nms").c_str(), nullptr, FlagLoadAll, 0));
    nMLight* lamp = static_cast<nMLight*>(Named(f.k.scene, "lamp"));
    EXPECT_FALSE(lamp->IsActive());
    lamp->SetActive(false, false);
    f->Evaluate(SceneEvaluateAll);
    EXPECT_EQ(NamesOf(f->GetActiveItems()), (Names{"eye", "body", "arm", "hand", "sun"}));
    lamp->SetActive(true, false);
    lamp->GetLight().SetDiffuseIntensity(1.0f);
    f->Evaluate(SceneEvaluateAll);
    EXPECT_TRUE(lamp->IsActive());
    EXPECT_EQ(NamesOf(f->GetActiveItems()), (Names{"eye", "body", "arm", "hand", "sun", "lamp"}));
}

TEST(SceneFile, AnItemReadInactiveDoesNotCollideOnceSetUp)
{
    FileScene f;
    ASSERT_TRUE(nMLPutMemoryFile("asleep.nms", "<NML=1.0>\n<Scene= <Items="
                                               " <MObject= <MItem= <Id=\"rock\"> <UId=0> <PhysicItem= <Mode=\"Static\"> > > >"
                                               " <MObject= <MItem= <Id=\"ball\"> <UId=1> <Active> <PhysicItem= <Mode=\"Dynamic\"> > > > > >"));
    ASSERT_TRUE(f->LoadFile("asleep.nms", nullptr, FlagLoadAll, 0));
    f->Setup(false, 1024);
    EXPECT_FALSE(nKitScene::Body(Named(f.k.scene, "rock"))->enabled);
    EXPECT_TRUE(nKitScene::Body(Named(f.k.scene, "ball"))->enabled);
}

TEST(SceneFile, PhysicsRateFromTheOlderTagAndDefaultCameraFromTheViewMatrix)
{
    FileScene f;
    ASSERT_TRUE(nMLPutMemoryFile("old.nms", "<NML=1.0>\n<Scene= <Tau= <Frequency=120.0> >"
                                            " <ViewMatrix= <R0= <X=1.0> <Y=0.0> <Z=0.0> <W=0.0> > <R1= <X=0.0> <Y=1.0> <Z=0.0> <W=0.0> >"
                                            " <R2= <X=0.0> <Y=0.0> <Z=1.0> <W=0.0> > <R3= <X=3.0> <Y=4.0> <Z=5.0> <W=1.0> > > >"));
    ASSERT_TRUE(f->LoadFile("old.nms", nullptr, FlagLoadAll, 0));
    EXPECT_NEAR(f->GetPhysicWorld()->GetFixedStep(), 1.0f / 120.0f, 1e-8f);
    EXPECT_EQ(NamesOf(f->GetCameras()), (Names{"Default"}));
    ASSERT_NE(f->GetCurrentCamera(), nullptr);
    nVector p = f->GetCurrentCamera()->GetWorldMatrix().GetColumn(3, true);
    EXPECT_EQ(p.x, 3.0f);
    EXPECT_EQ(p.z, 5.0f);
}

TEST(SceneFile, EditModeMakesNoDefaultCameraAndHelpersStayOutOfThePlayer)
{
    const char* text = "<NML=1.0>\n<Scene= <Items= <MCamera= <MItem= <Id=\"gizmo\"> <UId=0> <Active> <Helper> > > > >";
    for (int32_t mode : {NoTool, ToolEdit}) {
        FileScene f;
        f.k.engine.SetToolMode(mode);
        ASSERT_TRUE(nMLPutMemoryFile("helper.nms", text));
        ASSERT_TRUE(f->LoadFile("helper.nms", nullptr, FlagLoadAll, 0));
        EXPECT_EQ(NamesOf(f->GetCameras()), mode == NoTool ? (Names{"Default"}) : (Names{"gizmo"})) << mode;
    }
}

// Damaged files: what each one says, and the scene reads, evaluates and writes afterwards.
struct DamagedCase
{
    const char* name;
    std::string text;
    bool result;
    const char* line;  // a line the read must log
};

TEST(SceneFile, DamagedFilesGiveOneClearLineAndLeaveTheSceneUsable)
{
    const std::string head = "<NML=1.0>\n";
    const std::string camera = "<MCamera= <MItem= <Id=\"c\"> <UId=0> <Active> > >";
    const DamagedCase cases[] = {
        {"no scene root", head + "<Other= <Items> >", false, "[!] No <Scene> tag in 'damaged.nms'.\n"},
        {"wrong root only after a scene", head + "<Items> <Scene= >", true, "Done loading scene in "},
        {"huge uid", head + "<Scene= <Items= <MCamera= <MItem= <Id=\"big\"> <UId=2147483647> <Active> > > > >", true,
         "[*] Corrupt item 'big' source UID (2147483647/1) while loading scene 'damaged.nms'.\n"},
        {"negative uid", head + "<Scene= <Items= <MCamera= <MItem= <Id=\"neg\"> <UId=-4> <Active> > > > >", true,
         "[*] Corrupt item 'neg' source UID (-4/1) while loading scene 'damaged.nms'.\n"},
        {"link beyond the table", head + "<Scene= <Items= " + camera + " > <Links= <Link= <Item=0> <Link=99999> > > >",
         true, "[*] Invalid link information, item Uid out of bound.\n"},
        {"negative link", head + "<Scene= <Items= " + camera + " > <Links= <Link= <Item=-1> <Link=0> > > >", true,
         "[*] Invalid link information, item Uid out of bound.\n"},
        {"incomplete link", head + "<Scene= <Links= <Link= <Item=0> <Parent=0> > > >", true, "[*] Incomplete link tag.\n"},
        {"dangling link", head + "<Scene= <Items= " + camera + " <MCamera= <MItem= <Id=\"d\"> <UId=3> > > > <Links= <Link= <Item=0> <Link=2> > > >",
         true, "Done loading scene in "},
        {"group member beyond the table", head + "<Scene= <Items= " + camera + " > <Groups= <Group= <Id=\"g\"> <Item=70000> > > >",
         true, "[*] Invalid group information, item Uid out of bound.\n"},
        {"group without id", head + "<Scene= <Groups= <Group= <Item=0> > > >", true, "[*] Could not read group, no identifier found.\n"},
        {"skin of a camera", head + "<Scene= <Items= " + camera + " > <Skins= <Skin= <UId=0> > > >", true,
         "[!] Invalid skin information, item Uid does not refer to a skinned object ('c').\n"},
        {"skin beyond the table", head + "<Scene= <Skins= <Skin= <UId=-7> > > >", true,
         "[!] Invalid skin information, item Uid out of bound.\n"},
        {"bone index out of the skin", head + "<Scene= <Items= <MObject= <MItem= <Id=\"o\"> <UId=0> > <Object= <Geometry=\"rig.nmo\"> > > >"
                                              " <Skins= <Skin= <UId=0> <Bone= <Index=2> <UId=0> > <Bone= <Index=-1> <UId=0> > > > >",
         true,
         "[!] Invalid bone information, bone index out of bound.\n"},
        {"bone uid beyond the table", head + "<Scene= <Items= <MObject= <MItem= <Id=\"o\"> <UId=0> > <Object= <Geometry=\"rig.nmo\"> > > >"
                                             " <Skins= <Skin= <UId=0> <Bone= <Index=0> <UId=123456> > > > >",
         true,
         "[!] Invalid bone information, item Uid out of bound.\n"},
        {"zero frequency", head + "<Scene= <Physics= <Frequency=0.0> > >", true, "[*] Invalid physic frequency (0.000), ignored.\n"},
        {"unknown item kind", head + "<Scene= <Items= <MGadget= <MItem= <Id=\"e\"> <UId=0> > > > >", true,
         "[*] Unexpected <MGadget> sub-tag in <Items>.\n"},
        {"emitter with a negative pool", head + "<Scene= <Items= <MEmitter= <MItem= <Id=\"e\"> <UId=0> > <Emitter= <PoolSize=-3> > > > >",
         true, "[*] Emitter pool size -3 is out of range (1 to 65536); keeping 100.\n"},
        {"uid as binary", head + "<Scene= <Items= <MCamera= <MItem= <Id=\"b\"> <UId==3:3@\n\x8b\x8c\x8d> <Active> > > > >", true,
         "[*] Corrupt item 'b' source UID (-1/1) while loading scene 'damaged.nms'.\n"},
        {"truncated binary block", head + "<Scene= <Items= <MCamera= <MItem= <Id==40:40@\nabc", false, nullptr},
        {"truncated tag", head + "<Scene= <Items= <MCamera= <MItem= <Id=\"x\"> <UId=0", false, nullptr},
    };
    for (const DamagedCase& c : cases) {
        SCOPED_TRACE(c.name);
        FileScene f;
        ASSERT_TRUE(nMLPutMemoryFile("damaged.nms", c.text));
        nLogCapture capture;
        EXPECT_EQ(f->LoadFile("damaged.nms", nullptr, FlagLoadAll, 0), c.result);
        if (c.line) {
            bool found = false;
            for (const std::string& line : capture.Lines()) found |= line.rfind(c.line, 0) == 0;
            EXPECT_TRUE(found) << c.line;
        }
        f->Setup(true, 1024);
        f->Reset();
        f->Evaluate(SceneEvaluateAll);
        nMetaFile document;
        nMetaTag* written = f->Serialize(&document, nullptr, FlagLoadAll);
        ASSERT_NE(written, nullptr);
        delete written;
    }
}

TEST(SceneFile, PlayerLoadThroughTheDocumentOperationReadsEverything)
{
    FileScene f;
    ASSERT_TRUE(f->Load(DataPath("full.nms").c_str()));
    ExpectFullContent(f.k.scene, 0);
}

// Every way of loading a scene file goes through one loader: by path (the player, the tests),
// through the document operation, or from a document already parsed (projects).
TEST(SceneFile, EveryLoadFindsTheSceneRootAndRefusesFilesWithoutOne)
{
    struct Case
    {
        const char* name;
        std::string text;  // empty: no file
        bool result;
        Names lines;  // the error lines
    };
    const std::string head = "<NML=1.0>\n";
    const std::string scene = "<Scene= <Items= <MCamera= <MItem= <Id=\"eye\"> <UId=0> <Active> > > > >";
    const Case cases[] = {
        {"scene root", head + scene, true, {}},
        {"scene root after another", head + "<Environment= <Input=\"x\"> >\n" + scene, true, {}},
        {"another root only", head + "<Environment= <Input=\"x\"> >", false, {"[!] Could not parse scene. Root tag id is incorrect (Environment).\n", "[!] No <Scene> tag in 'load.nms'.\n"}},
        {"no root", head, false, {"[!] No <Scene> tag in 'load.nms'.\n"}},
    };
    enum Way
    {
        ByPath,
        ByDocumentOperation,
        FromParsedDocument
    };
    for (const Case& c : cases) {
        for (Way way : {ByPath, ByDocumentOperation, FromParsedDocument}) {
            SCOPED_TRACE(std::string(c.name) + " / way " + std::to_string((int)way));
            ASSERT_TRUE(nMLPutMemoryFile("load.nms", c.text));
            FileScene f;
            nLogCapture capture;
            capture.SetMask(LogLevelError);
            bool read = false;
            if (way == ByPath) {
                read = f->LoadFile("load.nms", nullptr, FlagLoadAll, 0);
            } else if (way == ByDocumentOperation) {
                read = f->Load("load.nms");
            } else {
                nMetaFile document;
                ASSERT_TRUE(document.Load("load.nms"));
                read = f->ReadDocument(&document, nullptr, FlagLoadAll, 0);
            }
            EXPECT_EQ(read, c.result);
            EXPECT_EQ(capture.Lines(), c.lines);
            // A file without a current camera gets the default one.
            EXPECT_EQ(NamesOf(f->GetCameras()), c.result ? (Names{"eye", "Default"}) : Names{});
        }
    }
}

TEST(SceneFile, ReadingTellsTheListenersAndTheProgressInterface)
{
    struct Listener : nSceneListener
    {
        void OnSceneEvent(int32_t code, void*) override
        {
            if (code == 11 || code == 12) codes.push_back(code);
        }
        std::vector<int32_t> codes;
    } listener;
    FileScene f;
    f->AddListener(&listener);
    nCallLog calls;
    nRecordingEventInterface progress(&f.k.engine, &calls);
    ASSERT_TRUE(nMLPutMemoryFile("two.nms", "<NML=1.0>\n<Scene= <Items= <MCamera= <MItem= <Id=\"a\"> <UId=0> > > > >"));
    ASSERT_TRUE(f->LoadFile("two.nms", nullptr, FlagLoadAll, 0));
    f.k.engine.SetEventInterface(f.k.engine.GetDefaultEventInterface());
    // A foreign interface hears no item lines.
    EXPECT_EQ(calls.Calls(), (Names{"engine.Begin", "engine.Progress(Parsing scene globals...,1)", "engine.End"}));
    EXPECT_EQ(listener.codes, (std::vector<int32_t>{11, 12}));
    f->RemoveListener(&listener);
}

TEST(SceneFile, PreloadingLeavesTheObjectGeometriesInTheCache)
{
    FileScene f;
    ASSERT_TRUE(nMLPutMemoryFile("preload.nms", "<NML=1.0>\n<Scene= <Items="
                                                " <MObject= <MItem= <Id=\"a\"> <UId=0> > <Object= <Geometry=\"crate.nmo\"> > >"
                                                " <MLight= <MItem= <Id=\"l\"> <UId=1> > <Object= <Geometry=\"lamp.nmo\"> > > > >"));
    nLogCapture capture;  // the geometry files are missing: the loader says so
    EXPECT_TRUE(f->PreloadResources("preload.nms"));
    EXPECT_EQ(capture.Lines().front(), "[H] Preloading scene 'preload.nms' resources...\n");
    EXPECT_NE(f.cache.FindGeometry("crate.nmo", false), nullptr);
    EXPECT_EQ(f.cache.FindGeometry("lamp.nmo", false), nullptr);
    EXPECT_EQ(f->GetAllItems().GetCount(), 0);
    EXPECT_FALSE(f->PreloadResources("missing.nms"));
}

TEST(SceneFile, WritingFollowsTheGroupFilterAndTheKindFlags)
{
    FileScene f;
    ASSERT_TRUE(f->LoadFile(DataPath("full.nms").c_str(), nullptr, FlagLoadAll, 0));
    nMetaFile document;
    // The rig group: its items, the links among them and the skin, and the scene's paths,
    // which belong to no group; no other scene parts.
    nMetaTag* rig = f->Serialize(&document, f->FindGroup("rig"), FlagLoadAll);
    ASSERT_NE(rig, nullptr);
    EXPECT_EQ(nMLChildNames(rig), (Names{"Items", "Links", "Skins", "Paths"}));
    EXPECT_EQ(nMLChildNames(rig->FindPath("Items;")), (Names{"MObject", "MObject", "MObject"}));
    EXPECT_EQ(rig->FindPath("Links;")->GetChildCount(), 2);
    EXPECT_EQ(rig->FindPath("Skins;")->GetChildCount(), 1);
    delete rig;
    // Without lights: no light items and no link that hangs on a light.
    nMetaTag* dark = f->Serialize(&document, nullptr, FlagLoadAll & ~FlagLoadLight);
    ASSERT_NE(dark, nullptr);
    EXPECT_EQ(nMLChildNames(dark->FindPath("Items;")), (Names{"MCamera", "MObject", "MObject", "MObject", "Trigger"}));
    EXPECT_EQ(dark->FindPath("Links;")->GetChildCount(), 2);
    delete dark;
}

}
