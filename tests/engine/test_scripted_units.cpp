// Script units and their dispatchers on the real Squirrel machine: parameters from NML into
// the instance and back, files run per unit, the kill rules of set-up, cached versus by-name
// events, the scene's and its items' events in evaluation order, handlers that destroy their
// owner, and events refused while the machine closes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <squirrel.h>

#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "core/nScriptObject.h"
#include "core/nScriptValue.h"
#include "hub/nOrvex.h"
#include "scene/nScene.h"
#include "scriptiface/nScriptEventDispatcher.h"
#include "scriptiface/nScriptUnit.h"
#include "scriptiface/nScriptedObject.h"
#include "script/nCObject.h"
#include "script/nSquirrelVM.h"
#include "tests/engine/nScriptNotes.h"
#include "tests/scene/kit/nKitClock.h"
#include "tests/scene/kit/nKitItem.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nTempDir.h"

namespace {

typedef std::vector<std::string> Lines;

// An owner of managed-item units on a given machine.
class ItemOwner : public nScriptedObject
{
public:
    explicit ItemOwner(nScriptVM* vm) : m_vm(vm) {}
    nScriptUnit* CreateScriptUnit() override
    {
        nManagerScriptUnit* unit = new nManagerScriptUnit(m_vm);
        unit->SetOwner(this, ScriptUnitOwnerManagedItem);
        m_units.InsertAfter(unit, 0);
        return unit;
    }
    nScriptUnit* Add(const std::string& path, const char* className)
    {
        nScriptUnit* unit = CreateScriptUnit();
        unit->SetScriptPath(path.c_str());
        unit->SetClassName(className);
        return unit;
    }

private:
    nScriptVM* m_vm;
};

class ScriptedUnits : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(vm.Open());
        notes.Register(vm);
    }

    std::string Script(const std::string& name, const std::string& text)
    {
        dir.Write(name, text);
        return dir.Path(name);
    }

    SQInteger Top() { return sq_gettop(vm.GetHandle()); }

    nOrvex engine;
    nTempDir dir;
    nScriptNotes notes;
    nSquirrelVM vm{&engine};
    nItemScriptEventDispatcher* items = nItemScriptEventDispatcher::GetDefault();
};

TEST_F(ScriptedUnits, ParametersOfEveryTypeReachTheInstanceBeforeOnSetupAndWriteBack)
{
    std::string path = Script("mover.nut",
                              "class Mover {\n"
                              "  speed = 0.0; count = 0; armed = false; label = \"\";\n"
                              "  function OnSetup(owner) { Note(\"OnSetup\", owner, speed, count, armed, label, \"ghost\" in this); }\n"
                              "}\n");
    const std::string text =
        "<NML=1.0>\n"
        "<ScriptedObject=\n"
        "\t<ScriptUnit=\n"
        "\t\t<Script=\"" +
        path + "\">\n"
               "\t\t<Class=\"Mover\">\n"
               "\t\t<ParmList=\n"
               "\t\t\t<Parm= <Id=\"speed\"> <Value=3.5> >\n"
               "\t\t\t<Parm= <Id=\"count\"> <Value=7> >\n"
               "\t\t\t<Parm= <Id=\"armed\"> <Value=True> >\n"
               "\t\t\t<Parm= <Id=\"label\"> <Value=\"door\"> >\n"
               "\t\t\t<Parm= <Id=\"ghost\"> <Value=1> >\n"
               "\t\t>\n"
               "\t>\n"
               ">\n";
    nMetaFile source;
    ASSERT_TRUE(source.Parse(text.data(), (int32_t)text.size()));
    nMetaTagIterator it;
    nMetaTag* root = source.NextRoot(it);

    ItemOwner item(&vm);
    notes.Name(&item, "item");
    ASSERT_TRUE(item.Deserialize(&source, root));
    ASSERT_EQ(item.GetScriptUnits().GetCount(), 1);

    // A parameter the class does not declare is dropped without a trace on the stack.
    SQInteger top = Top();
    items->OnSetup(&item);
    EXPECT_EQ(Top(), top);
    EXPECT_EQ(notes.lines, (Lines{"OnSetup,item:24,3.5,7,true,door,false"}));
    EXPECT_FALSE(vm.IsKilled());

    // Written back, the document is the one that was read, typed values included.
    nMetaFile written;
    written.AddRoot(item.Serialize(&written));
    ASSERT_TRUE(source.Save(dir.Path("source.nml").c_str()));
    ASSERT_TRUE(written.Save(dir.Path("written.nml").c_str()));
    EXPECT_EQ(dir.Read("written.nml"), dir.Read("source.nml"));
    EXPECT_NE(dir.Read("written.nml").find("<Value=3.5"), std::string::npos);
}

TEST_F(ScriptedUnits, EveryUnitRunsItsFileAgain)
{
    std::string path = Script("counter.nut",
                              "if (!(\"g_runs\" in getroottable())) ::g_runs <- 0;\n"
                              "::g_runs++;\n"
                              "class Counter { function OnSetup(owner) { Note(\"OnSetup\", owner, ::g_runs); } }\n");
    ItemOwner a(&vm), b(&vm);
    notes.Name(&a, "a");
    notes.Name(&b, "b");
    a.Add(path, "Counter");
    b.Add(path, "Counter");
    items->OnSetup(&a);
    items->OnSetup(&b);
    EXPECT_EQ(notes.lines, (Lines{"OnSetup,a:24,1", "OnSetup,b:24,2"}));
}

TEST_F(ScriptedUnits, SetUpOutcomesAndTheKillOfAClassThatGivesNoObject)
{
    std::string path = Script("kinds.nut",
                              "class Fine { function OnReset(owner) { Note(\"Fine.OnReset\"); } }\n"
                              "function NotAClass() { return 5; }\n"
                              "function NoValue() { return null; }\n");
    nLogCapture log;
    ItemOwner item(&vm);
    nScriptUnit* noClass = item.Add(path, "");
    nScriptUnit* missing = item.Add(path, "Missing");
    nScriptUnit* fine = item.Add(path, "Fine");
    EXPECT_TRUE(noClass->Setup());
    EXPECT_EQ(noClass->GetInstance(), nullptr);
    SQInteger top = Top();
    EXPECT_FALSE(missing->Setup());
    EXPECT_EQ(Top(), top);
    EXPECT_FALSE(vm.IsKilled());
    EXPECT_TRUE(fine->Setup());
    EXPECT_NE(fine->GetInstance(), nullptr);
    EXPECT_TRUE(log.Lines().empty());
    items->OnReset(&item);
    EXPECT_EQ(notes.lines, (Lines{"Fine.OnReset"}));
    notes.lines.clear();

    // A result that is no object (a number, or no value at all) kills the machine.
    for (const char* className : {"NotAClass", "NoValue"}) {
        SCOPED_TRACE(className);
        log.Clear();
        nScriptUnit* broken = item.Add(path, className);
        EXPECT_FALSE(broken->Setup());
        EXPECT_EQ(broken->GetInstance(), nullptr);
        EXPECT_EQ(Top(), top);
        ASSERT_TRUE(vm.IsKilled());
        EXPECT_EQ(vm.GetKillCode(), (int32_t)ScriptKillNoInstance);
        EXPECT_EQ(log.Lines(), (Lines{std::string("[!] Killing VM with reason '") + className + "'.\n"}));
        if (std::string(className) == "NotAClass") {
            // A killed machine refuses every event quietly.
            items->OnReset(&item);
            EXPECT_TRUE(notes.lines.empty());
        }
        vm.Open();
        notes.Register(vm);
        ASSERT_TRUE(fine->Setup());
    }
}

TEST_F(ScriptedUnits, CachedEventsMissMethodsAddedAfterSetUpByNameEventsFindThem)
{
    // Declared once: a second run of the file keeps the class and what was added to it.
    std::string path = Script("late.nut",
                              "if (!(\"Late\" in getroottable())) ::Late <- class { function OnSetup(owner) {} };\n");
    ItemOwner item(&vm);
    notes.Name(&item, "item");
    nScriptUnit* unit = item.Add(path, "Late");
    items->OnSetup(&item);
    ASSERT_NE(unit->GetInstance(), nullptr);
    EXPECT_EQ(static_cast<nManagerScriptUnit*>(unit)->GetCached(nManagerScriptUnit::CachedOnUpdate), nullptr);

    ASSERT_TRUE(vm.RunFile(Script("extend.nut",
                                  "Late.OnUpdate <- function(owner) { Note(\"OnUpdate\", owner); }\n"
                                  "Late.OnReset <- function(owner) { Note(\"OnReset\", owner); }\n"
                                  "Late.OnActivate <- function(owner, on) { Note(\"OnActivate\", owner, on); }\n")
                               .c_str(),
                           0));
    ASSERT_FALSE(vm.IsKilled());
    items->OnUpdate(&item);
    items->OnActivate(&item, true);
    items->OnReset(&item);
    EXPECT_EQ(notes.lines, (Lines{"OnReset,item:24"}));

    // A new set-up looks the methods up again.
    ASSERT_TRUE(unit->Setup());
    items->OnUpdate(&item);
    EXPECT_EQ(notes.lines, (Lines{"OnReset,item:24", "OnUpdate,item:24"}));
}

TEST_F(ScriptedUnits, ItemEventsCarryTheirArgumentsToEveryUnitInOrder)
{
    std::string path = Script("events.nut",
                              "class First {\n"
                              "  function OnActivate(owner, on) { Note(\"First.OnActivate\", owner, on); }\n"
                              "  function OnLogicUpdate(owner, period) { Note(\"First.OnLogicUpdate\", owner, period); }\n"
                              "  function OnItemEnter(owner, other) { Note(\"First.OnItemEnter\", owner, other); }\n"
                              "  function OnCollisionEx(owner, other, contact, flag) { Note(\"First.OnCollisionEx\", owner, other, contact.count, flag); }\n"
                              "  function OnCollision(owner, other) { Note(\"First.OnCollision\", owner, other); }\n"
                              "  function OnPhysicStep(owner, flag) { Note(\"First.OnPhysicStep\", owner, flag); }\n"
                              "}\n"
                              "class Second {\n"
                              "  function OnActivate(owner, on) { Note(\"Second.OnActivate\", owner, on); }\n"
                              "  function OnTrigger(owner, trigger) { Note(\"Second.OnTrigger\", owner, trigger); }\n"
                              "  function OnDelete(owner) { Note(\"Second.OnDelete\", owner); }\n"
                              "}\n");
    ItemOwner item(&vm), other(&vm);
    notes.Name(&item, "item");
    notes.Name(&other, "other");
    item.Add(path, "First");
    item.Add(path, "Second");
    items->OnSetup(&item);

    nScriptObject* table = vm.NewTable();
    ASSERT_NE(table, nullptr);
    ASSERT_TRUE(vm.SetValue("count", nScriptValue((int32_t)2), table));
    items->OnActivate(&item, false);
    items->OnLogicUpdate(&item, 0.25f);
    items->OnItemEnter(&item, &other);
    items->OnTrigger(&item, &other);
    items->OnPhysicStep(&item, true);
    items->OnCollisionEx(&item, &other, nullptr, table);
    items->OnCollision(&item, &other, nullptr);
    items->OnDelete(&item);
    delete table;
    Lines want = {
        "First.OnActivate,item:24,false",
        "Second.OnActivate,item:24,false",
        "First.OnLogicUpdate,item:24,0.25",
        "First.OnItemEnter,item:24,other:24",
        "Second.OnTrigger,item:24,other:24",
        "First.OnPhysicStep,item:24,true",
        "First.OnCollisionEx,item:24,other:24,2,true",
        "First.OnCollision,item:24,other:24",
        "Second.OnDelete,item:24",
    };
    EXPECT_EQ(notes.lines, want);
    EXPECT_FALSE(vm.IsKilled());
}

TEST_F(ScriptedUnits, SceneAndItemEventsArriveInTheOrderOfTheSceneEvaluation)
{
    std::string path = Script("scene.nut",
                              "class Level {\n"
                              "  function OnPreSetup(owner) { Note(\"Level.OnPreSetup\", owner); }\n"
                              "  function OnSetup(owner) { Note(\"Level.OnSetup\", owner, ::g_scene); }\n"
                              "  function OnSetupDone(owner) { Note(\"Level.OnSetupDone\", owner); }\n"
                              "  function OnUpdate(owner) { Note(\"Level.OnUpdate\", owner); }\n"
                              "}\n"
                              "class Crate {\n"
                              "  function OnSetup(owner) { Note(\"Crate.OnSetup\", owner); }\n"
                              "  function OnSetupDone(owner) { Note(\"Crate.OnSetupDone\", owner); }\n"
                              "  function OnUpdate(owner) { Note(\"Crate.OnUpdate\", owner); }\n"
                              "  function OnLogicUpdate(owner, period) { Note(\"Crate.OnLogicUpdate\", owner, period); }\n"
                              "}\n");
    nScene* scene = new nScene(&engine, &vm);
    scene->SetScriptGlobals(0);
    notes.Name(scene, "scene");
    nScriptUnit* level = scene->CreateScriptUnit();
    level->SetScriptPath(path.c_str());
    level->SetClassName("Level");
    nKitItem* a = CreateKitItem(scene, "a");
    nKitItem* b = CreateKitItem(scene, "b");
    for (nKitItem* item : {a, b}) {
        notes.Name(static_cast<nMItem*>(item), item->GetName().GetCStr());
        nScriptUnit* unit = item->CreateScriptUnit();
        unit->SetScriptPath(path.c_str());
        unit->SetClassName("Crate");
        item->SetLogicRate(4.0f);  // a period of 0.25 s
    }

    scene->Setup(false, 0);
    // OnPreSetup reaches only units set up before: none yet.
    Lines want = {"Crate.OnSetup,a:24", "Crate.OnSetup,b:24", "Level.OnSetup,scene:9,scene:9",
                  "Crate.OnSetupDone,a:24", "Crate.OnSetupDone,b:24", "Level.OnSetupDone,scene:9"};
    EXPECT_EQ(notes.lines, want);

    notes.lines.clear();
    SetEngineFrameTime(&engine, 1000);  // 0.1 s frames: logic at frames 1 and 3
    for (int frame = 1; frame <= 3; ++frame) {
        notes.lines.push_back("frame " + std::to_string(frame));
        scene->Evaluate(SceneEvaluateAll);
    }
    want = {
        "frame 1",
        "Level.OnUpdate,scene:9",
        "Crate.OnUpdate,a:24",
        "Crate.OnUpdate,b:24",
        "Crate.OnLogicUpdate,a:24,0.25",
        "Crate.OnLogicUpdate,b:24,0.25",
        "frame 2",
        "Level.OnUpdate,scene:9",
        "Crate.OnUpdate,a:24",
        "Crate.OnUpdate,b:24",
        "frame 3",
        "Level.OnUpdate,scene:9",
        "Crate.OnUpdate,a:24",
        "Crate.OnUpdate,b:24",
        "Crate.OnLogicUpdate,a:24,0.25",
        "Crate.OnLogicUpdate,b:24,0.25",
    };
    EXPECT_EQ(notes.lines, want);
    EXPECT_FALSE(vm.IsKilled());
    delete scene;
}

TEST_F(ScriptedUnits, TheOwnerObjectOfAUnitLastsUntilItsOwnerIsDestroyed)
{
    std::string path = Script("keeper.nut",
                              "::kept <- null;\n"
                              "class Keeper {\n"
                              "  function OnReset(owner) { if (::kept != null) Note(\"same\", ::kept == owner); ::kept = owner; }\n"
                              "  function OnSetup(owner) {}\n"
                              "}\n"
                              "function ShowKept() { Note(\"kept\", ::kept); }\n");
    ItemOwner* item = new ItemOwner(&vm);
    notes.Name(item, "item");
    item->Add(path, "Keeper");
    items->OnSetup(item);
    items->OnReset(item);
    items->OnReset(item);
    EXPECT_EQ(notes.lines, (Lines{"same,true"}));

    // The engine tells the machine when the owner goes; what a script kept reads as deleted.
    vm.InvalidateNativeObject(item);
    delete item;
    ASSERT_TRUE(vm.BeginCall("ShowKept", nullptr, nullptr));
    ASSERT_TRUE(vm.ExecuteCall(nullptr));
    EXPECT_EQ(notes.lines, (Lines{"same,true", "kept,null:1"}));
}

// Cached events go through calls the machine prepared at set-up. They end with the machine
// that prepared them: after a close, and after a new opening, the unit gets nothing until it
// is set up again (the sanitizer build checks that nothing freed is read).
TEST_F(ScriptedUnits, PreparedCallsEndWithTheirMachineAndReturnWithANewSetUp)
{
    std::string path = Script("tick.nut",
                              "class Tick {\n"
                              "  function OnUpdate(owner) { Note(\"OnUpdate\", owner); }\n"
                              "  function OnLogicUpdate(owner, period) { Note(\"OnLogicUpdate\", owner, period); }\n"
                              "}\n");
    ItemOwner item(&vm);
    notes.Name(&item, "item");
    nScriptUnit* unit = item.Add(path, "Tick");
    items->OnSetup(&item);
    SQInteger top = Top();
    items->OnUpdate(&item);
    items->OnLogicUpdate(&item, 0.5f);
    EXPECT_EQ(Top(), top);
    EXPECT_EQ(notes.lines, (Lines{"OnUpdate,item:24", "OnLogicUpdate,item:24,0.5"}));

    notes.lines.clear();
    vm.Close();
    items->OnUpdate(&item);
    ASSERT_TRUE(vm.Open());
    notes.Register(vm);
    items->OnUpdate(&item);
    items->OnLogicUpdate(&item, 0.5f);
    EXPECT_TRUE(notes.lines.empty());
    EXPECT_FALSE(vm.IsKilled());

    ASSERT_TRUE(unit->Setup());
    items->OnUpdate(&item);
    EXPECT_EQ(notes.lines, (Lines{"OnUpdate,item:24"}));
}

// A prepared call behaves as the three steps do: it drops a call prepared but never made,
// leaves the stack as it found it, and a run-time error in it kills the machine so that the
// units after it get nothing.
TEST_F(ScriptedUnits, PreparedCallsKeepTheRulesOfTheThreeSteps)
{
    std::string path = Script("steps.nut",
                              "class Quiet { function OnUpdate(owner) { Note(\"Quiet\", owner); } }\n"
                              "class Broken { function OnUpdate(owner) { throw \"broken\"; } }\n"
                              "function Pending() { Note(\"Pending\"); }\n");
    nLogCapture log;
    ItemOwner item(&vm);
    notes.Name(&item, "item");
    item.Add(path, "Quiet");
    item.Add(path, "Broken");
    item.Add(path, "Quiet");
    items->OnSetup(&item);
    ASSERT_EQ(item.GetScriptUnits().GetCount(), 3);

    SQInteger top = Top();
    ASSERT_TRUE(vm.BeginCall("Pending", nullptr, nullptr));
    items->OnUpdate(&item);
    EXPECT_EQ(Top(), top);
    EXPECT_FALSE(vm.ExecuteCall(nullptr));  // the pending call was dropped
    EXPECT_EQ(notes.lines, (Lines{"Quiet,item:24"}));
    ASSERT_TRUE(vm.IsKilled());
    EXPECT_EQ(vm.GetKillCode(), (int32_t)ScriptKillRuntimeError);
    EXPECT_EQ(vm.GetKillReason(), nString("broken"));
    items->OnUpdate(&item);
    EXPECT_EQ(notes.lines, (Lines{"Quiet,item:24"}));
    EXPECT_EQ(Top(), top);
}

// A unit given another owner after its set-up hands its calls the new owner.
TEST_F(ScriptedUnits, AUnitGivenAnotherOwnerCallsWithIt)
{
    std::string path = Script("moved.nut",
                              "class Moved { function OnUpdate(owner) { Note(\"OnUpdate\", owner); } }\n");
    ItemOwner item(&vm), other(&vm);
    notes.Name(&item, "item");
    notes.Name(&other, "other");
    nScriptUnit* unit = item.Add(path, "Moved");
    items->OnSetup(&item);
    items->OnUpdate(&item);
    unit->SetOwner(&other, ScriptUnitOwnerManagedItem);
    items->OnUpdate(&item);
    EXPECT_EQ(notes.lines, (Lines{"OnUpdate,item:24", "OnUpdate,other:24"}));
}

// A handler that destroys its own owner (or clears its units) ends the walk over them: the
// units after it get nothing, and nothing freed is touched (the sanitizer build checks).
ItemOwner* g_doomed = 0;
SQInteger DestroyOwner(HSQUIRRELVM v)
{
    delete g_doomed;
    g_doomed = 0;
    return 0;
}
SQInteger ClearUnits(HSQUIRRELVM v)
{
    if (g_doomed) g_doomed->ClearScriptUnits();
    return 0;
}

TEST_F(ScriptedUnits, AHandlerMayDestroyItsOwnerOrClearItsUnits)
{
    nScriptNotes::Register(vm, "DestroyOwner", DestroyOwner);
    nScriptNotes::Register(vm, "ClearUnits", ClearUnits);
    std::string path = Script("doom.nut",
                              "class Doom {\n"
                              "  function OnReset(owner) { Note(\"Doom.OnReset\"); DestroyOwner(); }\n"
                              "  function OnUpdate(owner) { Note(\"Doom.OnUpdate\"); ClearUnits(); }\n"
                              "}\n"
                              "class Next {\n"
                              "  function OnReset(owner) { Note(\"Next.OnReset\"); }\n"
                              "  function OnUpdate(owner) { Note(\"Next.OnUpdate\"); }\n"
                              "}\n");
    struct Case
    {
        const char* name;
        void (*send)(nItemScriptEventDispatcher*, nScriptedObject*);
        Lines want;
        bool ownerGone;
    };
    const Case cases[] = {
        {"destroyed in a by-name event", [](nItemScriptEventDispatcher* d, nScriptedObject* o) { d->OnReset(o); }, {"Doom.OnReset"}, true},
        {"units cleared in a cached event", [](nItemScriptEventDispatcher* d, nScriptedObject* o) { d->OnUpdate(o); }, {"Doom.OnUpdate"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        notes.lines.clear();
        g_doomed = new ItemOwner(&vm);
        g_doomed->Add(path, "Doom");
        g_doomed->Add(path, "Next");
        items->OnSetup(g_doomed);
        c.send(items, g_doomed);
        EXPECT_EQ(notes.lines, c.want);
        EXPECT_EQ(g_doomed == nullptr, c.ownerGone);
        if (g_doomed) {
            EXPECT_EQ(g_doomed->GetScriptUnits().GetCount(), 0);
        }
        delete g_doomed;
        g_doomed = 0;
    }
    EXPECT_FALSE(vm.IsKilled());
}

// A native object owned by a script whose destruction raises an event on its owner's units,
// as a script-created scene does when the machine frees it.
ItemOwner* g_closingOwner = 0;
int g_destroyed = 0;
void DestroyRaisingOnDelete(void* native)
{
    ++g_destroyed;
    if (g_closingOwner) nItemScriptEventDispatcher::GetDefault()->OnDelete(g_closingOwner);
}

TEST_F(ScriptedUnits, EventsOnAClosingOrClosedMachineAreRefused)
{
    std::string path = Script("watch.nut",
                              "class Watch { function OnDelete(owner) { Note(\"Watch.OnDelete\", owner); } }\n");
    ItemOwner item(&vm);
    notes.Name(&item, "item");
    nScriptUnit* unit = item.Add(path, "Watch");
    items->OnSetup(&item);
    ASSERT_NE(unit->GetInstance(), nullptr);
    items->OnDelete(&item);
    ASSERT_EQ(notes.lines, (Lines{"Watch.OnDelete,item:24"}));
    notes.lines.clear();

    int marker = 0;
    nObjectTypeLifetime hooks = {0, 0, DestroyRaisingOnDelete};
    ScriptSetObjectTypeLifetime(objectTypeRaytracer, hooks);
    g_closingOwner = &item;
    // An owned object in a global: the machine destroys it while it closes.
    HSQUIRRELVM v = vm.GetHandle();
    sq_pushroottable(v);
    sq_pushstring(v, "g_owned", -1);
    ASSERT_TRUE(ScriptPushNativeObject(v, &marker, objectTypeRaytracer, true));
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);

    vm.Close();
    EXPECT_EQ(g_destroyed, 1);
    EXPECT_TRUE(notes.lines.empty());
    items->OnDelete(&item);
    EXPECT_FALSE(unit->BeginCall("OnDelete", nullptr));
    EXPECT_TRUE(notes.lines.empty());
    g_closingOwner = 0;
    ScriptSetObjectTypeLifetime(objectTypeRaytracer, nObjectTypeLifetime{0, 0, 0});
}

}
