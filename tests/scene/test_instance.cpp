// Instances: template scenes copied under an instance's node at set-up, evaluated with the
// host, reached by "instance/item" paths, refused when a template would instantiate itself,
// and kept by scene files.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/nMetaFile.h"
#include "core/nMLReader.h"
#include "core/nMetaTag.h"
#include "hub/nOrvex.h"
#include "scene/nGroup.h"
#include "scene/nInstance.h"
#include "scene/nItem.h"
#include "scene/nScene.h"
#include "scriptiface/nScriptUnit.h"
#include "tests/scene/kit/nKitScene.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nMLTestSupport.h"
#include "tests/support/nTempDir.h"

namespace {

typedef std::vector<std::string> Names;

Names NamesOf(const nList<nMItem*>& list)
{
    Names out;
    for (auto* n = list.GetHead(); n; n = n->next) out.push_back(n->value->GetName().GetCStr());
    return out;
}

Names GroupNames(nScene* scene)
{
    Names out;
    for (auto* n = scene->GetGroups().GetHead(); n; n = n->next) out.push_back(n->value->GetName().GetCStr());
    return out;
}

// Only the warnings and errors of a log.
Names Complaints(const nLogCapture& capture)
{
    Names out;
    for (const std::string& line : capture.Lines())
        if (line.compare(0, 4, "[*] ") == 0 || line.compare(0, 4, "[!] ") == 0) out.push_back(line);
    return out;
}

nInstance* InstanceNamed(nScene* scene, const char* name)
{
    return nInstance::FromItem(scene->FindInstance(name));
}

nMItem* ParentOf(nMItem* item)
{
    nItem* parent = item && item->GetItem() ? item->GetItem()->GetParent() : nullptr;
    return parent ? parent->GetManagedItem() : nullptr;
}

nVector WorldPosition(nMItem* item)
{
    return item->GetItem()->GetWorldMatrix().GetColumn(3, true);
}

// An item tag of a scene file.
std::string Instance(const char* name, int uid, const char* templatePath, float x = 0.0f, bool active = true)
{
    return std::string("<Instance= <MItem= <Id=\"") + name + "\"> <UId=" + std::to_string(uid) + ">" +
           (active ? " <Active>" : "") + " > <Item= <Position= <X=" + std::to_string(x) +
           "> <Y=0.0> <Z=0.0> > > <Template=\"" + templatePath + "\"> >\n";
}

std::string Object(const char* name, int uid, float y, const char* extra = "")
{
    return std::string("<MObject= <MItem= <Id=\"") + name + "\"> <UId=" + std::to_string(uid) + "> <Active> " + extra +
           " > <Object= <Item= <Position= <X=0.0> <Y=" + std::to_string(y) + "> <Z=0.0> > > > >\n";
}

std::string Scene(const std::string& items, const std::string& rest = "")
{
    return "<NML=1.0>\n<Scene= <Items=\n" + items + "> " + rest + " >\n";
}

// The template: a crate with its lid, a camera of its own, the template scene's script, look
// settings a host must not take, and a path.
const std::string kTemplate = Scene(
    Object("crate", 0, 1.0f, "<TriggerDetected>") + Object("lid", 1, 0.5f) +
        "<MCamera= <MItem= <Id=\"spy\"> <UId=2> <Active> > <Camera= > >\n",
    "<Links= <Link= <Item=1> <Link=0> > >\n"
    "<ScriptedObject= <ScriptUnit= <Script=\"crate.nut\"> <Class=\"Crate\"> > >\n"
    "<Globals= <BackgroundColor= <X=1.0> <Y=1.0> <Z=1.0> > <FogFar=9.0> >\n"
    "<CurrentCamera=\"spy\">\n"
    "<Paths= <Motion= <Id=\"lane\">"
    " <Channel= <Id=\"PositionX\"> <Curve= <Knot= <Count=2> <Knot=\"0:0\"> <Knot=\"1:4\"> > > >"
    " <Channel= <Id=\"PositionY\"> <Curve= <Knot= <Count=1> <Knot=\"0:0\"> > > >"
    " <Channel= <Id=\"PositionZ\"> <Curve= <Knot= <Count=1> <Knot=\"0:0\"> > > > > >\n");

// The host: two copies of the template, one of a template that holds an instance of itself,
// an inactive instance, a trigger around the left copy's crate and the host's own camera.
const std::string kHost = Scene(
    "<MCamera= <MItem= <Id=\"eye\"> <UId=0> <Active> > <Camera= > >\n" + Instance("left", 1, "tpl.nms", -5.0f) +
        Instance("right", 2, "tpl.nms", 5.0f) + Instance("loop", 3, "loop.nms") +
        Instance("idle", 4, "tpl.nms", 0.0f, false) +
        "<Trigger= <MItem= <Id=\"gate\"> <UId=5> <Active> > <Item= <Position= <X=-5.0> <Y=1.0> <Z=0.0> > "
        "<Scale= <X=2.0> <Y=2.0> <Z=2.0> > > >\n",
    "<Globals= <BackgroundColor= <X=0.25> <Y=0.5> <Z=0.75> > >\n<CurrentCamera=\"eye\">\n");

// Files in a temporary folder that is the current one, so that templates are found by their
// relative names; a kit scene whose items all report to the recording sender, which also
// hands the events on to their script units.
struct InstanceScene : ::testing::Test
{
    struct Recorder : nSceneListener
    {
        nKitScene* k = nullptr;
        void OnSceneEvent(int32_t code, void* data) override
        {
            if (code == SceneEventItemCreated) (*static_cast<nMItem**>(data))->SetEvents(&k->items);  // data: the item's address
        }
    };

    InstanceScene() : into(dir)
    {
        recorder.k = &k;
        k.scene->AddListener(&recorder);
        k.items.forward = true;
        k.vm.DefineClass("Crate", {"OnSetup", "OnUpdate"});
        dir.Write("tpl.nms", kTemplate);
        dir.Write("loop.nms", Scene(Object("ring", 0, 0.0f) + Instance("again", 1, "loop.nms")));
        dir.Write("host.nms", kHost);
    }
    ~InstanceScene() override { k.scene->RemoveListener(&recorder); }

    nTempDir dir;
    nTempDir::ChangeInto into;
    nKitScene k;
    Recorder recorder;
};

TEST_F(InstanceScene, AHostWithTwoCopiesAndASelfInstantiatingTemplateSetsUpAndEvaluates)
{
    nScene* scene = k.scene;
    ASSERT_TRUE(scene->LoadFile("host.nms", nullptr, FlagLoadAll, 0));
    nLogCapture capture;
    scene->Setup(false, 1024);
    // The template that instantiates itself is copied once; its inner instance is refused.
    EXPECT_EQ(Complaints(capture),
              (Names{"[!] Instance 'again' refused: template 'loop.nms' would instantiate itself (loop.nms > loop.nms).\n"}));
    EXPECT_EQ(GroupNames(scene), (Names{"tpl.nms", "tpl.nms", "loop.nms"}));
    EXPECT_EQ(NamesOf(scene->GetInstances()), (Names{"left", "right", "loop", "idle", "again"}));
    EXPECT_EQ(InstanceNamed(scene, "idle")->GetGroup(), nullptr);
    EXPECT_EQ(InstanceNamed(scene, "again")->GetGroup(), nullptr);

    // Each copy hangs under its own instance; the lid stays under its crate.
    nInstance* left = InstanceNamed(scene, "left");
    nInstance* right = InstanceNamed(scene, "right");
    nMItem* leftCrate = scene->FindItem("left/crate", nullptr);
    nMItem* rightLid = scene->FindItem("right/lid", nullptr);
    ASSERT_TRUE(leftCrate && rightLid);
    EXPECT_NE(leftCrate, scene->FindItem("right/crate", nullptr));
    EXPECT_EQ(ParentOf(leftCrate), left);
    EXPECT_EQ(ParentOf(rightLid), scene->FindItem("right/crate", nullptr));
    EXPECT_EQ(NamesOf(left->GetGroup()->GetItems()), (Names{"crate", "lid", "spy"}));
    EXPECT_EQ(WorldPosition(leftCrate).x, -5.0f);
    EXPECT_EQ(WorldPosition(rightLid).x, 5.0f);
    EXPECT_EQ(WorldPosition(rightLid).y, 1.5f);
    EXPECT_EQ(scene->FindItem("loop/ring", nullptr)->GetName(), "ring");

    // The template's scripts are the instances' own; the host's look and camera are kept; the
    // template's paths come along with every copy.
    ASSERT_EQ(left->GetScriptUnits().GetCount(), 1);
    EXPECT_TRUE(left->GetScriptUnits().GetHead()->value->GetClassName() == "Crate");
    EXPECT_EQ(right->GetScriptUnits().GetCount(), 1);
    EXPECT_EQ(scene->GetScriptUnits().GetCount(), 0);
    EXPECT_EQ(scene->GetBackgroundColour().x, 0.25f);
    EXPECT_EQ(scene->GetFogFar(), 0.0f);
    EXPECT_EQ(scene->GetCurrentCamera(), scene->FindCamera("eye")->GetItem());
    EXPECT_EQ(scene->GetAIPaths().GetCount(), 2);
    EXPECT_EQ(k.log.Count("left.OnSetup"), 1u);
    EXPECT_EQ(k.log.Count("crate.OnSetupDone"), 2u);

    // Moving an instance moves its copy.
    left->GetNode().SetPosition(nVector(-5.5f, 0.0f, 0.0f));
    EXPECT_EQ(WorldPosition(leftCrate).x, -5.5f);

    // Three frames: the copies update with the host, each template script as its instance's;
    // the left crate, still inside the gate, enters once and stays.
    k.vm.NameNative(static_cast<nMItem*>(left), "left");
    k.vm.NameNative(static_cast<nMItem*>(right), "right");
    k.log.Clear();
    k.SetFrameTicks(100);
    for (int frame = 0; frame < 3; ++frame) scene->Evaluate(SceneEvaluateAll);
    EXPECT_EQ(k.log.Containing("Trigger"), (Names{"crate.OnTrigger(gate)", "crate.OnEnterTrigger(gate)",
                                                  "crate.OnTrigger(gate)", "crate.OnTrigger(gate)"}));
    EXPECT_EQ(k.log.Count("gate.OnItemEnter(crate)"), 1u);
    EXPECT_EQ(k.log.Count("crate.OnUpdate"), 6u);
    EXPECT_EQ(k.log.Count("left.OnUpdate"), 3u);
    EXPECT_EQ(k.log.Containing("script.OnUpdate"),
              (Names{"script.OnUpdate(native(24,left))", "script.OnUpdate(native(24,right))",
                     "script.OnUpdate(native(24,left))", "script.OnUpdate(native(24,right))",
                     "script.OnUpdate(native(24,left))", "script.OnUpdate(native(24,right))"}));
}

TEST_F(InstanceScene, TemplatesThatInstantiateEachOtherAreRefusedWhereTheCircleCloses)
{
    dir.Write("a.nms", Scene(Object("apple", 0, 0.0f) + Instance("toB", 1, "b.nms")));
    dir.Write("b.nms", Scene(Object("pear", 0, 0.0f) + Instance("toA", 1, "a.nms")));
    nScene* scene = k.scene;
    ASSERT_NE(scene->CreateInstance("first", "a.nms"), nullptr);
    nLogCapture capture;
    scene->Setup(false, 1024);
    EXPECT_EQ(Complaints(capture),
              (Names{"[!] Instance 'toA' refused: template 'a.nms' would instantiate itself (a.nms > b.nms > a.nms).\n"}));
    EXPECT_EQ(GroupNames(scene), (Names{"a.nms", "b.nms"}));
    EXPECT_EQ(scene->FindItem("first/toB/pear", nullptr)->GetName(), "pear");
    EXPECT_EQ(scene->FindItem("first/toB/toA/apple", nullptr), nullptr);
}

TEST_F(InstanceScene, NestingDeeperThanTheCapIsRefused)
{
    // t0 holds an instance of t1, t1 one of t2, and so on: every template differs.
    const int kChain = nInstance::kMaxNesting + 4;
    for (int i = 0; i < kChain; ++i) {
        const std::string next = "t" + std::to_string(i + 1) + ".nms";
        dir.Write("t" + std::to_string(i) + ".nms",
                  Scene(Instance(("to" + std::to_string(i + 1)).c_str(), 0, next.c_str())));
    }
    ASSERT_NE(k.scene->CreateInstance("to0", "t0.nms"), nullptr);
    nLogCapture capture;
    k.scene->Setup(false, 1024);
    std::string chain;
    for (int i = 0; i <= nInstance::kMaxNesting; ++i) chain += (i ? " > t" : "t") + std::to_string(i) + ".nms";
    EXPECT_EQ(Complaints(capture), (Names{"[!] Instance 'to16' refused: templates nested deeper than 16 (" + chain + ").\n"}));
    EXPECT_EQ(k.scene->GetGroups().GetCount(), nInstance::kMaxNesting);
}

struct EmptyCase
{
    const char* what;
    const char* templatePath;
    bool active;
    int32_t toolMode;
};

TEST_F(InstanceScene, InstancesThatStayEmptyHaveNoGroupAndPathsThroughThemFindNothing)
{
    dir.Write("notascene.nms", "<NML=1.0>\n<Level= <Items= > >\n");
    const EmptyCase cases[] = {
        {"empty template", "", true, NoTool},
        {"inactive", "tpl.nms", false, NoTool},
        {"editing", "tpl.nms", true, ToolEdit},
        {"missing file", "gone.nms", true, NoTool},
        {"no Scene tag", "notascene.nms", true, NoTool},
    };
    for (const EmptyCase& c : cases) {
        SCOPED_TRACE(c.what);
        nKitScene s;
        s.engine.SetToolMode(c.toolMode);
        nInstance* instance = nInstance::FromItem(s.scene->CreateInstance("box", c.templatePath));
        ASSERT_NE(instance, nullptr);
        if (!c.active) instance->SetActive(false, false);
        nLogCapture capture;
        EXPECT_FALSE(instance->SetupTemplate());
        EXPECT_EQ(instance->GetGroup(), nullptr);
        EXPECT_EQ(s.scene->GetGroups().GetCount(), 0);
        capture.Clear();
        EXPECT_EQ(s.scene->FindItem("box/crate", nullptr), nullptr);
        EXPECT_EQ(capture.Lines(), Names{});
    }
}

TEST_F(InstanceScene, SettingUpTwiceMakesOneCopyAndANewTemplateStartsAfresh)
{
    nInstance* box = nInstance::FromItem(k.scene->CreateInstance("box", "tpl.nms"));
    ASSERT_TRUE(box->SetupTemplate());
    nGroup* first = box->GetGroup();
    EXPECT_FALSE(box->SetupTemplate());
    EXPECT_EQ(box->GetGroup(), first);
    EXPECT_EQ(k.scene->GetObjects().GetCount(), 2);
    // A new template empties the instance; the old copy stays in the scene, no longer its.
    box->SetTemplate("loop.nms");
    EXPECT_EQ(box->GetGroup(), nullptr);
    ASSERT_TRUE(box->SetupTemplate());
    EXPECT_EQ(GroupNames(k.scene), (Names{"tpl.nms", "loop.nms"}));
    EXPECT_EQ(ParentOf(k.scene->FindItem("box/ring", nullptr)), box);
    EXPECT_EQ(k.scene->FindItem("box/crate", nullptr), nullptr);
    EXPECT_EQ(ParentOf(first->FindItem("crate")), box);  // still hanging where it was
    // Deleting the instance leaves its copy.
    k.scene->QueueDeletion(box);
    k.scene->FlushDeletionQueue();
    EXPECT_NE(k.scene->FindObject("ring"), nullptr);
}

TEST_F(InstanceScene, ADuplicatedInstanceMakesItsOwnCopy)
{
    nInstance* box = nInstance::FromItem(k.scene->CreateInstance("box", "tpl.nms"));
    box->GetNode().SetPosition(nVector(3.0f, 0.0f, 0.0f));
    ASSERT_TRUE(box->SetupTemplate());
    k.log.Clear();
    nInstance* copy = nInstance::FromItem(k.scene->DuplicateItem(box));
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(copy->GetName() == "box");
    EXPECT_TRUE(copy->GetTemplate() == "tpl.nms");
    ASSERT_NE(copy->GetGroup(), nullptr);
    EXPECT_NE(copy->GetGroup(), box->GetGroup());
    EXPECT_EQ(WorldPosition(copy->GetGroup()->FindItem("crate")).x, 3.0f);
    // The copy's items and the copy are set up, the copy's template script with it.
    EXPECT_EQ(k.log.Count("crate.OnSetupDone"), 1u);
    EXPECT_EQ(k.log.Count("box.OnSetup"), 1u);
    EXPECT_EQ(k.log.Count("box.OnSetupDone"), 1u);
}

TEST_F(InstanceScene, SceneFilesKeepInstancesThroughASaveAndALoad)
{
    {
        nKitScene first;
        ASSERT_TRUE(first.scene->LoadFile("host.nms", nullptr, FlagLoadAll, 0));
        nMetaFile document;
        nMetaTag* root = first.scene->Serialize(&document, nullptr, FlagLoadAll);
        ASSERT_NE(root, nullptr);
        document.AddRoot(root);
        ASSERT_TRUE(document.Save("saved.nms"));
        // Without the instance flag the writer leaves them out.
        nMetaFile bare;
        nMetaTag* none = first.scene->Serialize(&bare, nullptr, FlagLoadAll & ~FlagLoadInstance);
        EXPECT_EQ(none->FindPath("Items:Instance;"), nullptr);
        delete none;
    }
    nScene* scene = k.scene;
    ASSERT_TRUE(scene->LoadFile("saved.nms", nullptr, FlagLoadAll, 0));
    EXPECT_EQ(NamesOf(scene->GetInstances()), (Names{"left", "right", "loop", "idle"}));
    EXPECT_TRUE(InstanceNamed(scene, "right")->GetTemplate() == "tpl.nms");
    EXPECT_FALSE(InstanceNamed(scene, "idle")->IsActive());
    EXPECT_EQ(InstanceNamed(scene, "right")->GetNode().GetPosition().x, 5.0f);
    EXPECT_EQ(InstanceNamed(scene, "left")->GetGroup(), nullptr);
    nLogCapture capture;
    scene->Setup(false, 1024);
    EXPECT_EQ(GroupNames(scene), (Names{"tpl.nms", "tpl.nms", "loop.nms"}));
    EXPECT_EQ(WorldPosition(scene->FindItem("right/crate", nullptr)).x, 5.0f);

    // The tag alone: an empty template is written too; a wrong root and a stranger are told.
    nInstance* empty = nInstance::FromItem(scene->CreateInstance("empty", nullptr));
    nMetaFile document;
    nMetaTag* tag = empty->Serialize(&document);
    ASSERT_NE(tag, nullptr);
    ASSERT_NE(tag->FindPath("Template;"), nullptr);
    EXPECT_STREQ(ReadTagString(tag->FindPath("Template;")), "");
    delete tag;
    capture.Clear();
    nMetaFile odd;
    EXPECT_FALSE(empty->Deserialize(&odd, nMLParseRoot(odd, "<Trigger= >")));
    EXPECT_TRUE(empty->Deserialize(&odd, nMLParseRoot(odd, "<Instance= <Template=\"tpl.nms\"> <Colour=1> >")));
    EXPECT_TRUE(empty->GetTemplate() == "tpl.nms");
    EXPECT_EQ(capture.Lines(), (Names{"[!] Could not parse instance. Root tag id is incorrect (Trigger).\n",
                                      "[*] Unknown tag 'Colour' in <Instance>.\n"}));
}

}  // namespace
