#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "core/nScriptValue.h"
#include "core/nVariant.h"
#include "hub/nOrvex.h"
#include "scriptiface/nScriptEventDispatcher.h"
#include "scriptiface/nScriptUnit.h"
#include "scriptiface/nScriptedObject.h"
#include "tests/kit/nCallLog.h"
#include "tests/scene/kit/nKitClock.h"
#include "tests/scene/kit/nRecordingScriptVM.h"
#include "tests/support/nLogCapture.h"

namespace {

typedef std::vector<std::string> Calls;

// An owner whose units are managed-item units, named for the recording machine.
class ItemOwner : public nScriptedObject
{
public:
    ItemOwner(nRecordingScriptVM* vm, const char* name) : m_vm(vm) { vm->NameNative(this, name); }
    nScriptUnit* CreateScriptUnit() override
    {
        nManagerScriptUnit* unit = new nManagerScriptUnit(m_vm);
        unit->SetOwner(this, ScriptUnitOwnerManagedItem);
        m_units.InsertAfter(unit, 0);
        return unit;
    }
    nManagerScriptUnit* Add(const char* path, const char* className)
    {
        nScriptUnit* u = CreateScriptUnit();
        u->SetScriptPath(path);
        u->SetClassName(className);
        return static_cast<nManagerScriptUnit*>(u);
    }

private:
    nRecordingScriptVM* m_vm;
};

class SceneOwner : public nScriptedObject
{
public:
    SceneOwner(nRecordingScriptVM* vm) : m_vm(vm) { vm->NameNative(this, "scene"); }
    nScriptUnit* CreateScriptUnit() override
    {
        nSceneScriptUnit* unit = new nSceneScriptUnit(m_vm);
        unit->SetOwner(this, ScriptUnitOwnerScene);
        m_units.InsertAfter(unit, 0);
        return unit;
    }

private:
    nRecordingScriptVM* m_vm;
};

class ScriptUnits : public ::testing::Test
{
protected:
    nOrvex engine;
    nCallLog log;
    nRecordingScriptVM vm{&engine, &log};
    nItemScriptEventDispatcher* items = nItemScriptEventDispatcher::GetDefault();
};

TEST_F(ScriptUnits, ParametersReachTheInstanceBeforeOnSetup)
{
    vm.DefineClass("Mover", {"OnSetup", "OnUpdate"});
    ItemOwner item(&vm, "item");
    nManagerScriptUnit* unit = item.Add("mover.nut", "Mover");
    nVariant* speed = new nVariant("speed", 3.5f);
    unit->GetParameters().InsertAfter(speed, 0);
    items->OnSetup(&item);
    Calls want = {"script.run mover.nut", "script.new Mover", "script.set instance:Mover.speed=3.5",
                  "script.OnSetup(native(24,item))"};
    EXPECT_EQ(log.Calls(), want);
    EXPECT_NE(unit->GetCached(nManagerScriptUnit::CachedOnUpdate), nullptr);
    EXPECT_EQ(unit->GetCached(nManagerScriptUnit::CachedOnLogicUpdate), nullptr);
}

TEST_F(ScriptUnits, SetUpIsSkippedOrRefusedWithoutAUsableClass)
{
    nLogCapture capture;
    ItemOwner item(&vm, "item");
    nManagerScriptUnit* noClass = item.Add("a.nut", "");
    nManagerScriptUnit* missing = item.Add("b.nut", "Missing");
    EXPECT_TRUE(noClass->Setup());
    EXPECT_EQ(noClass->GetInstance(), nullptr);
    EXPECT_FALSE(missing->Setup());
    EXPECT_EQ(missing->GetInstance(), nullptr);
    EXPECT_FALSE(vm.IsKilled());  // a missing class kills nothing
    EXPECT_FALSE(noClass->BeginCall("OnUpdate", nullptr));
    Calls want = {"script.run b.nut"};  // the unit without class runs no file
    EXPECT_EQ(log.Calls(), want);
}

TEST_F(ScriptUnits, SecondOnSetupGreetsOnlyUnitsAddedSince)
{
    vm.DefineClass("A", {"OnSetup"});
    ItemOwner item(&vm, "item");
    item.Add("a.nut", "A");
    items->OnSetup(&item);
    item.Add("a.nut", "A");
    log.Clear();
    items->OnSetup(&item);
    Calls want = {"script.run a.nut", "script.new A", "script.OnSetup(native(24,item))"};
    EXPECT_EQ(log.Calls(), want);
}

TEST_F(ScriptUnits, CachedEventsMissMethodsAddedAfterSetUpWhileByNameEventsFindThem)
{
    vm.DefineClass("Late", {"OnSetup"});
    ItemOwner item(&vm, "item");
    item.Add("late.nut", "Late");
    items->OnSetup(&item);
    vm.AddMethod("Late", "OnUpdate");
    vm.AddMethod("Late", "OnReset");
    log.Clear();
    items->OnUpdate(&item);
    items->OnReset(&item);
    Calls want = {"script.OnReset(native(24,item))"};
    EXPECT_EQ(log.Calls(), want);
}

// The owner's summary of its units' cached events lets a walk for an event no unit has be
// skipped; it must follow every set-up, release, deletion and removal, and never hide a unit
// that has the method.
TEST_F(ScriptUnits, TheOwnersCachedEventsFollowItsUnits)
{
    vm.DefineClass("Mover", {"OnUpdate", "OnActivate"});
    vm.DefineClass("Thinker", {"OnLogicUpdate"});
    ItemOwner item(&vm, "item");
    ItemOwner other(&vm, "other");
    nManagerScriptUnit* mover = item.Add("m.nut", "Mover");
    nManagerScriptUnit* thinker = item.Add("t.nut", "Thinker");
    other.Add("m.nut", "Mover");
    const uint32_t update = 1u << nManagerScriptUnit::CachedOnUpdate;
    const uint32_t activate = 1u << nManagerScriptUnit::CachedOnActivate;
    const uint32_t logic = 1u << nManagerScriptUnit::CachedOnLogicUpdate;
    const uint32_t collision = 1u << nManagerScriptUnit::CachedOnCollision;
    nListNode<nScriptUnit*>* thinkerNode = item.GetScriptUnits().GetTail();

    struct Step
    {
        const char* name;
        std::function<void()> change;
        uint32_t item;
        uint32_t other;
    };
    const Step steps[] = {
        {"before set-up", [] {}, 0, 0},
        {"item set up", [&] { items->OnSetup(&item); }, update | activate | logic, 0},
        {"other set up", [&] { items->OnSetup(&other); }, update | activate | logic, update | activate},
        {"one unit released", [&] { thinker->Release(); }, update | activate, update | activate},
        {"set up again with a method added", [&] { vm.AddMethod("Mover", "OnCollision"); mover->Setup(); },
         update | activate | collision, update | activate},
        {"released unit set up again", [&] { thinker->Setup(); }, update | activate | collision | logic, update | activate},
        {"a unit taken off the list", [&] { delete item.GetScriptUnits().Unlink(thinkerNode); },
         update | activate | collision, update | activate},
        {"that unit deleted", [&] { delete thinker; }, update | activate | collision, update | activate},
        {"units cleared", [&] { item.ClearScriptUnits(); }, 0, update | activate},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.change();
        EXPECT_EQ(item.GetCachedEvents(), step.item);
        EXPECT_EQ(other.GetCachedEvents(), step.other);
    }
}

// Cached events reach exactly the units that have the method, whether the others come
// before or after them, and nothing when no unit has it.
TEST_F(ScriptUnits, CachedEventsSkipUnitsWithoutTheMethod)
{
    vm.DefineClass("Plain", {"OnSetup"});
    vm.DefineClass("Mover", {"OnUpdate"});
    ItemOwner item(&vm, "item");
    item.Add("p.nut", "Plain");
    item.Add("m.nut", "Mover");
    item.Add("p.nut", "Plain");
    ItemOwner plain(&vm, "plain");
    plain.Add("p.nut", "Plain");
    items->OnSetup(&item);
    items->OnSetup(&plain);
    log.Clear();
    items->OnUpdate(&plain);
    items->OnUpdate(&item);
    items->OnLogicUpdate(&item, 0.5f);
    EXPECT_EQ(log.Calls(), (Calls{"script.OnUpdate(native(24,item))"}));
}

TEST_F(ScriptUnits, ItemEventsCarryTheirArgumentsInUnitOrder)
{
    vm.DefineClass("First", {"OnActivate", "OnLogicUpdate", "OnItemEnter", "OnCollisionEx", "OnCollision"});
    vm.DefineClass("Second", {"OnActivate", "OnTrigger"});
    ItemOwner item(&vm, "item");
    ItemOwner other(&vm, "other");
    item.Add("f.nut", "First");
    item.Add("s.nut", "Second");
    items->OnSetup(&item);
    log.Clear();
    nRecordingScriptObject table("table");
    items->OnActivate(&item, false);
    items->OnLogicUpdate(&item, 0.25f);
    items->OnItemEnter(&item, &other);
    items->OnTrigger(&item, &other);
    items->OnCollisionEx(&item, &other, nullptr, &table);
    items->OnCollision(&item, &other, nullptr);
    Calls want = {
        "script.OnActivate(native(24,item),false)",
        "script.OnActivate(native(24,item),false)",
        "script.OnLogicUpdate(native(24,item),0.25)",
        "script.OnItemEnter(native(24,item),native(24,other))",
        "script.OnTrigger(native(24,item),native(24,other))",
        "script.OnCollisionEx(native(24,item),native(24,other),table,true)",
        "script.OnCollision(native(24,item),native(24,other))",
    };
    EXPECT_EQ(log.Calls(), want);
}

TEST_F(ScriptUnits, SceneUpdateDelayCountsDownByTheFrameTime)
{
    vm.DefineClass("Game", {"OnUpdate"});
    SceneOwner scene(&vm);
    nScriptUnit* u = scene.CreateScriptUnit();
    u->SetScriptPath("game.nut");
    u->SetClassName("Game");
    nSceneScriptEventDispatcher::GetDefault()->OnSetup(&scene);
    static_cast<nSceneScriptUnit*>(u)->SuspendUpdate(5000);
    SetEngineFrameTime(&engine, 166);
    log.Clear();
    int firstCall = 0;
    for (int frame = 1; frame <= 40 && !firstCall; ++frame) {
        nSceneScriptEventDispatcher::GetDefault()->OnUpdate(&scene);
        if (!log.Calls().empty()) firstCall = frame;
    }
    EXPECT_EQ(firstCall, 32);  // 5000 ticks need 31 frames of 166 to fall below 1
}

TEST_F(ScriptUnits, UnitNmlRoundTripsTypedParameters)
{
    nMetaFile document;
    ItemOwner item(&vm, "item");
    nScriptUnit* unit = item.Add("logic.nut", "Logic");
    unit->GetParameters().InsertAfter(new nVariant("speed", 2.5f), 0);
    unit->GetParameters().InsertAfter(new nVariant("count", (int32_t)4), 0);
    unit->GetParameters().InsertAfter(new nVariant("on", true), 0);
    unit->GetParameters().InsertAfter(new nVariant("label", "door"), 0);
    nMetaTag* scripted = item.Serialize(&document);
    ASSERT_NE(scripted, nullptr);

    ItemOwner copy(&vm, "copy");
    ASSERT_TRUE(copy.Deserialize(&document, scripted));
    ASSERT_EQ(copy.GetScriptUnits().GetCount(), 1);
    nScriptUnit* read = copy.GetScriptUnits().GetHead()->value;
    EXPECT_TRUE(read->GetScriptPath() == "logic.nut");
    EXPECT_TRUE(read->GetClassName() == "Logic");
    std::vector<std::string> described;
    for (auto* n = read->GetParameters().GetHead(); n; n = n->next)
        described.push_back(std::string(n->value->GetName().GetCStr()) + "=" + vm.Describe(nScriptValue(*n->value)));
    std::vector<std::string> want = {"speed=2.5", "count=4", "on=true", "label=\"door\""};
    EXPECT_EQ(described, want);
    delete scripted;

    nScriptUnit* bare = copy.CreateScriptUnit();
    nMetaTag* tag = bare->Serialize(&document);
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(tag->GetChildCount(), 0);  // no path, no class, no ParmList
    delete tag;
}

TEST_F(ScriptUnits, UnitNmlReportsBadInputAndKeepsTheRest)
{
    nMetaFile document;
    const std::string text =
        "<NML=1.0>\n<ScriptUnit=\n<Script=\"x.nut\">\n<Class=\"X\">\n<ParmList=\n"
        "<Parm= <Id=\"a\"> >\n"
        "<Parm= <Id=\"b\"> <Value=7> >\n"
        ">\n<Colour=1>\n>\n<Other>\n";
    ASSERT_TRUE(document.Parse(text.data(), (int32_t)text.size()));
    nMetaTagIterator it;
    nMetaTag* unitTag = document.NextRoot(it);
    nMetaTag* otherTag = document.NextRoot(it);
    ASSERT_NE(otherTag, nullptr);
    nLogCapture capture;
    ItemOwner item(&vm, "item");
    nScriptUnit* unit = item.CreateScriptUnit();
    EXPECT_TRUE(unit->Deserialize(&document, unitTag));
    EXPECT_FALSE(unit->Deserialize(&document, otherTag));
    EXPECT_FALSE(item.Deserialize(&document, otherTag));
    std::vector<std::string> want = {
        "[*] Incomplete script parameter declaration ignored.\n",
        "[*] Unknown tag 'Colour' in <ScriptUnit>.\n",
        "[!] Could not parse script unit. Root tag id is incorrect (Other).\n",
        "[!] Could not parse scripted object. Root tag id is incorrect (Other).\n",
    };
    EXPECT_EQ(capture.Lines(), want);
    ASSERT_EQ(unit->GetParameters().GetCount(), 1);
    EXPECT_TRUE(unit->GetParameters().GetHead()->value->GetName() == "b");
}

}
