#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "physics/nPhysicItem.h"
#include "render/nRenderer.h"
#include "scene/nItem.h"
#include "scene/nMItem.h"
#include "scene/nScene.h"
#include "tests/scene/kit/nKitScene.h"
#include "tests/support/nLogCapture.h"

namespace {

typedef std::vector<std::string> Names;

Names NamesOf(const nList<nMItem*>& list)
{
    Names out;
    for (auto* n = list.GetHead(); n; n = n->next) out.push_back(n->value->GetName().GetCStr());
    return out;
}

// Records the scene events it is told, with the item name when the data is an item.
class EventRecorder : public nSceneListener
{
public:
    void OnSceneEvent(int32_t code, void* data) override
    {
        std::string text = std::to_string(code);
        if (data && (code == SceneEventItemCreated || code == SceneEventItemDeleting))
            text += ":" + std::string((*static_cast<nMItem**>(data))->GetName().GetCStr());
        events.push_back(text);
    }
    Names events;
};

TEST(SceneRegistry, NewItemsAreActiveListedAndNumberedInCreationOrder)
{
    nKitScene k;
    EventRecorder recorder;
    k.scene->AddListener(&recorder);
    nKitItem* a = k.Add("a", ManagedItemCamera);
    nKitItem* b = k.Add("b", ManagedItemLight);
    nKitItem* c = k.Add("c", ManagedItemCamera);
    EXPECT_TRUE(a->IsActive());
    EXPECT_EQ(NamesOf(k.scene->GetActiveItems()), (Names{"a", "b", "c"}));
    EXPECT_EQ(NamesOf(k.scene->GetAllItems()), (Names{"a", "b", "c"}));
    EXPECT_EQ(NamesOf(k.scene->GetCameras()), (Names{"a", "c"}));
    EXPECT_EQ(NamesOf(k.scene->GetLights()), (Names{"b"}));
    EXPECT_EQ(a->GetUid(), 0);
    EXPECT_EQ(b->GetUid(), 1);
    EXPECT_EQ(c->GetUid(), 2);
    EXPECT_EQ(recorder.events, (Names{"1", "2:a", "1", "2:b", "1", "2:c"}));
    // Each item got a body from the scene's world, owned by the item.
    ASSERT_NE(a->GetPhysicItem(), nullptr);
    EXPECT_EQ(a->GetPhysicItem()->GetOwner(), a);
    k.scene->RemoveListener(&recorder);
}

TEST(SceneRegistry, ASecondUidIsRefusedAndTheItemKeepsItsFirst)
{
    nKitScene k;
    nKitItem* a = k.Add("a");
    nLogCapture capture;
    EXPECT_EQ(k.scene->AssignItemUid(a), a);
    EXPECT_EQ(a->GetUid(), 0);
    EXPECT_EQ(k.scene->GetNextUid(), 1);
    EXPECT_EQ(capture.Lines(), (Names{"[!] (Critical error) item 'a' already has an uid (0).\n"}));
    EXPECT_EQ(k.scene->AssignItemUid(nullptr), nullptr);
}

// One activation step: the item, the request, and whether it is recursive; "eval" runs an
// evaluation instead.
struct Step
{
    const char* item;
    int request;  // 0 deactivate, 1 activate, 2 evaluate
    bool recursive;
};

struct ActivationCase
{
    const char* what;
    std::vector<Step> steps;
    Names active;      // the active list after the steps
    Names pendingOn;   // pending activations after the steps
    Names pendingOff;  // pending deactivations after the steps
    Names events;      // OnActivate events and body Enable calls, in order
};

TEST(SceneRegistry, ActivationSequencesGiveListsEventsAndBodies)
{
    // a is the parent of b; b is the parent of c; d stands alone.
    const ActivationCase cases[] = {
        {"deactivation waits for the evaluation",
         {{"d", 0, false}},
         {"a", "b", "c", "d"},
         {},
         {"d"},
         {"d.OnActivate(0)"}},
        {"deactivation applied by the evaluation",
         {{"d", 0, false}, {"", 2, false}},
         {"a", "b", "c"},
         {},
         {},
         {"d.OnActivate(0)", "physics.d.Enable(0)"}},
        {"deactivating twice raises once and queues once",
         {{"d", 0, false}, {"d", 0, false}},
         {"a", "b", "c", "d"},
         {},
         {"d"},
         {"d.OnActivate(0)"}},
        {"off and on again before the evaluation leaves it active and re-enables the body",
         {{"d", 0, false}, {"d", 1, false}, {"", 2, false}},
         {"a", "b", "c", "d"},
         {},
         {},
         {"d.OnActivate(0)", "d.OnActivate(1)", "physics.d.Enable(1)"}},
        {"activating an active item changes nothing",
         {{"d", 1, false}, {"", 2, false}},
         {"a", "b", "c", "d"},
         {},
         {},
         {}},
        {"reactivated items come back at the tail",
         {{"a", 0, false}, {"", 2, false}, {"a", 1, false}, {"", 2, false}},
         {"b", "c", "d", "a"},
         {},
         {},
         {"a.OnActivate(0)", "physics.a.Enable(0)", "a.OnActivate(1)", "physics.a.Enable(1)"}},
        {"recursive deactivation walks the children",
         {{"a", 0, true}, {"", 2, false}},
         {"d"},
         {},
         {},
         {"a.OnActivate(0)", "b.OnActivate(0)", "c.OnActivate(0)",
          "physics.a.Enable(0)", "physics.b.Enable(0)", "physics.c.Enable(0)"}},
        {"recursive activation of an active parent still reaches an inactive grandchild",
         {{"c", 0, false}, {"", 2, false}, {"a", 1, true}},
         {"a", "b", "d"},
         {"c"},
         {},
         {"c.OnActivate(0)", "physics.c.Enable(0)", "c.OnActivate(1)"}},
    };
    for (const ActivationCase& t : cases) {
        SCOPED_TRACE(t.what);
        nKitScene k;
        std::map<std::string, nKitItem*> items;
        for (const char* name : {"a", "b", "c", "d"}) items[name] = k.Add(name);
        items["b"]->Node().SetParent(&items["a"]->Node());
        items["c"]->Node().SetParent(&items["b"]->Node());
        k.log.Clear();
        for (const Step& s : t.steps) {
            if (s.request == 2) k.scene->Evaluate(0);
            else items[s.item]->SetActive(s.request == 1, s.recursive);
        }
        EXPECT_EQ(NamesOf(k.scene->GetActiveItems()), t.active);
        EXPECT_EQ(NamesOf(k.scene->GetPendingActivations()), t.pendingOn);
        EXPECT_EQ(NamesOf(k.scene->GetPendingDeactivations()), t.pendingOff);
        Names seen;
        for (const std::string& c : k.log.Calls())
            if (c.find("OnActivate") != std::string::npos || c.find("Enable") != std::string::npos) seen.push_back(c);
        EXPECT_EQ(seen, t.events);
    }
}

// A handler that moves the next child elsewhere while a recursive deactivation walks the
// children: every item of the subtree as it stood is told once, in order.
TEST(SceneRegistry, RecursiveActivationSurvivesHandlersThatReparentItsItems)
{
    nKitScene k;
    std::map<std::string, nKitItem*> items;
    for (const char* name : {"a", "b", "c", "c1", "e", "d"}) items[name] = k.Add(name);
    for (const char* child : {"b", "c", "e"}) items[child]->Node().SetParent(&items["a"]->Node());
    items["c1"]->Node().SetParent(&items["c"]->Node());
    k.items.handler = [&](const std::string& event, nMItem* item) {
        if (event == "OnActivate" && item == items["b"]) {
            items["c"]->Node().SetParent(&items["d"]->Node());
            items["e"]->Node().SetParent(0);
        }
    };
    k.log.Clear();
    items["a"]->SetActive(false, true);
    Names seen;
    for (const std::string& c : k.log.Calls())
        if (c.find("OnActivate") != std::string::npos) seen.push_back(c);
    EXPECT_EQ(seen, (Names{"a.OnActivate(0)", "b.OnActivate(0)", "c.OnActivate(0)", "c1.OnActivate(0)", "e.OnActivate(0)"}));
    EXPECT_TRUE(items["d"]->IsActive());
    EXPECT_EQ(items["c"]->GetItem()->GetParent(), items["d"]->GetItem());
}

TEST(SceneRegistry, ActivationResetsTheLogicAccumulatorAtOnce)
{
    nKitScene k;
    nKitItem* a = k.Add("a");
    a->SetActive(false, false);
    a->SetLogicAccumulator(0.04f);
    a->SetActive(true, false);
    EXPECT_EQ(a->GetLogicAccumulator(), 0.0f);
    EXPECT_TRUE(a->IsActive());
}

struct DeletionCase
{
    const char* what;
    std::vector<const char*> queue;  // items queued, in order
    bool held;                       // the queue is held during the evaluation
    bool flush;                      // an explicit flush after the evaluation
    Names left;                      // items still in the scene at the end
    Names events;                    // listener events 3 and 4 and OnDelete, in order
};

TEST(SceneRegistry, DeletionSequencesGiveListsAndEvents)
{
    const DeletionCase cases[] = {
        {"queued items go at the next evaluation, in queue order",
         {"c", "a"},
         false,
         false,
         {"b"},
         {"3:c", "c.OnDelete", "4", "3:a", "a.OnDelete", "4"}},
        {"queuing the same item twice deletes it once",
         {"b", "b"},
         false,
         false,
         {"a", "c"},
         {"3:b", "b.OnDelete", "4"}},
        {"a held queue waits for an explicit flush",
         {"a"},
         true,
         false,
         {"a", "b", "c"},
         {}},
        {"the explicit flush deletes what a held queue kept",
         {"a"},
         true,
         true,
         {"b", "c"},
         {"3:a", "a.OnDelete", "4"}},
    };
    for (const DeletionCase& t : cases) {
        SCOPED_TRACE(t.what);
        nKitScene k;
        std::map<std::string, nKitItem*> items;
        for (const char* name : {"a", "b", "c"}) items[name] = k.Add(name, ManagedItemLight);
        Names events;
        struct Recorder : nSceneListener
        {
            Names* out;
            void OnSceneEvent(int32_t code, void* data) override
            {
                if (code == SceneEventItemDeleting) out->push_back("3:" + std::string((*static_cast<nMItem**>(data))->GetName().GetCStr()));
                if (code == SceneEventItemDeleted) out->push_back("4");
            }
        } recorder;
        recorder.out = &events;
        k.scene->AddListener(&recorder);
        k.items.handler = [&](const std::string& event, nMItem* item) {
            if (event == "OnDelete") events.push_back(std::string(item->GetName().GetCStr()) + ".OnDelete");
        };
        for (const char* name : t.queue) EXPECT_TRUE(k.scene->QueueDeletion(items[name]));
        // Queued items stay in every list until the flush.
        EXPECT_EQ(k.scene->GetActiveItems().GetCount(), 3);
        k.scene->SetDeletionQueueHeld(t.held);
        k.scene->Evaluate(0);
        k.scene->SetDeletionQueueHeld(false);
        if (t.flush) k.scene->FlushDeletionQueue();
        EXPECT_EQ(NamesOf(k.scene->GetAllItems()), t.left);
        EXPECT_EQ(NamesOf(k.scene->GetActiveItems()), t.left);
        EXPECT_EQ(NamesOf(k.scene->GetLights()), t.left);
        EXPECT_EQ(events, t.events);
        k.scene->RemoveListener(&recorder);
        k.items.handler = nullptr;
    }
}

TEST(SceneRegistry, DeletedItemsLeaveTheWorldTheScriptsAndTheCurrentCamera)
{
    nKitScene k;
    nKitItem* cam = k.Add("cam", ManagedItemCamera);
    k.Add("other");
    k.scene->SetCurrentCamera(&cam->Node());
    k.scene->QueueDeletion(cam);
    k.scene->FlushDeletionQueue();
    EXPECT_EQ(k.scene->GetCurrentCamera(), nullptr);
    EXPECT_EQ(NamesOf(k.scene->GetCameras()), Names{});
    Names want = {"cam.OnDelete", "physics.cam.RemoveItem", "script.invalidate cam", "physics.cam.delete"};
    EXPECT_EQ(k.log.Calls(), want);
    EXPECT_EQ(k.World()->liveItems, 1);
}

TEST(SceneRegistry, OnDeleteSeesTheItemStillStanding)
{
    nKitScene k;
    nKitItem* parent = k.Add("parent");
    nKitItem* child = k.Add("child");
    parent->Node().SetPosition(nVector(1.0f, 2.0f, 3.0f));
    child->Node().SetPosition(nVector(10.0f, 0.0f, 0.0f));
    child->Node().SetParent(&parent->Node());
    float seenX = 0.0f;
    bool hadParent = false;
    k.items.handler = [&](const std::string& event, nMItem* item) {
        if (event != "OnDelete" || item != child) return;
        seenX = item->GetItem()->GetWorldMatrix().m[3];
        hadParent = item->GetItem()->GetParent() != nullptr;
    };
    k.scene->QueueDeletion(child);
    k.scene->FlushDeletionQueue();
    EXPECT_FLOAT_EQ(seenX, 11.0f);
    EXPECT_TRUE(hadParent);
    EXPECT_EQ(parent->Node().GetChildren().GetCount(), 0);
}

// Handlers that re-enter the scene from OnDelete during a flush: everything they ask for is
// honoured and nothing points at a deleted item afterwards (the sanitizer build checks the
// memory side).
TEST(SceneRegistry, FlushSurvivesHandlersThatReenterTheScene)
{
    nKitScene k;
    std::map<std::string, nKitItem*> items;
    for (const char* name : {"a", "b", "c", "d", "e"}) items[name] = k.Add(name);
    int created = 0;
    k.items.handler = [&](const std::string& event, nMItem* item) {
        if (event != "OnDelete") return;
        std::string name = item->GetName().GetCStr();
        if (name == "a") {
            k.scene->FlushDeletionQueue();       // nested: left to the running flush
            k.scene->QueueDeletion(items["b"]);  // deleted by this same flush
            k.scene->QueueDeletion(item);        // already going: no second deletion
            item->SetActive(false, false);       // a request for an item about to go
        } else if (name == "b") {
            items["c"]->SetActive(false, false);
            items["d"]->SetActive(false, false);
            items["d"]->SetActive(true, false);
            k.Add("fresh");  // a new item during the flush
            ++created;
            k.scene->DeleteContent(false);  // refused while the flush runs
        }
    };
    nLogCapture capture;
    k.scene->QueueDeletion(items["a"]);
    k.scene->FlushDeletionQueue();
    k.items.handler = nullptr;
    EXPECT_EQ(created, 1);
    EXPECT_EQ(NamesOf(k.scene->GetAllItems()), (Names{"c", "d", "e", "fresh"}));
    EXPECT_EQ(NamesOf(k.scene->GetDeletionQueue()), Names{});
    EXPECT_EQ(NamesOf(k.scene->GetPendingDeactivations()), (Names{"c"}));
    EXPECT_EQ(NamesOf(k.scene->GetPendingActivations()), (Names{"d"}));  // off, then on again: a request stands
    EXPECT_EQ(k.log.Count("a.OnDelete"), 1u);
    EXPECT_EQ(k.log.Count("b.OnDelete"), 1u);
    EXPECT_EQ(capture.Lines(), (Names{"[!] Cannot delete the content of scene '' while it evaluates or deletes items.\n"}));
    k.scene->Evaluate(0);
    EXPECT_EQ(NamesOf(k.scene->GetActiveItems()), (Names{"d", "e", "fresh"}));
}

// A flush asked for by a handler while the scene walks its lists is refused with one line; the
// item goes at the next evaluation.
TEST(SceneRegistry, FlushAskedWhileTheSceneEvaluatesSetsUpOrResetsIsRefusedAndLogged)
{
    struct Case
    {
        const char* event;
        void (*run)(nScene*);
    };
    const Case cases[] = {
        {"OnUpdate", [](nScene* s) { s->Evaluate(SceneEvaluateScript); }},
        {"OnSetup", [](nScene* s) { s->Setup(false, 1024); }},
        {"OnReset", [](nScene* s) { s->Reset(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.event);
        nKitScene k;
        k.scene->SetName("level");
        nKitItem* a = k.Add("a");
        nKitItem* b = k.Add("b");
        k.items.handler = [&](const std::string& event, nMItem* item) {
            if (event != c.event || item != a) return;
            k.scene->QueueDeletion(b);
            k.scene->FlushDeletionQueue();
        };
        nLogCapture capture;
        capture.SetMask(LogLevelError);
        c.run(k.scene);
        k.items.handler = nullptr;
        EXPECT_EQ(capture.Lines(),
                  (Names{"[!] Cannot flush the deletion queue of scene 'level' while it evaluates, sets up or resets.\n"}));
        EXPECT_EQ(NamesOf(k.scene->GetAllItems()), (Names{"a", "b"}));
        k.scene->Evaluate(0);
        EXPECT_EQ(NamesOf(k.scene->GetAllItems()), (Names{"a"}));
        EXPECT_EQ(capture.Lines().size(), 1u);
    }
}

TEST(SceneRegistry, DeleteContentSurvivesHandlersAndResetsTheScene)
{
    nKitScene k;
    std::map<std::string, nKitItem*> items;
    for (const char* name : {"a", "b", "c"}) items[name] = k.Add(name, ManagedItemLight);
    k.scene->SetCurrentCamera(&items["a"]->Node());
    k.scene->SetFog(5.0f, 50.0f, nVector(1.0f, 0.0f, 0.0f, 1.0f));
    k.scene->SetBackgroundColour(nVector(0.5f, 0.5f, 0.5f, 1.0f));
    k.scene->SetName("level");
    k.scene->CreateScriptUnit();
    nPhysicWorld* world = k.scene->GetPhysicWorld();
    items["c"]->SetActive(false, false);
    int fresh = 0;
    k.items.handler = [&](const std::string& event, nMItem* item) {
        if (event != "OnDelete") return;
        std::string name = item->GetName().GetCStr();
        if (name == "a") {
            k.scene->QueueDeletion(items["b"]);
            items["b"]->SetActive(false, false);
            k.scene->FlushDeletionQueue();
            if (fresh++ == 0) k.Add("fresh");
        }
    };
    EventRecorder recorder;
    k.scene->AddListener(&recorder);
    k.scene->DeleteContent(false);
    k.items.handler = nullptr;
    k.scene->RemoveListener(&recorder);

    EXPECT_EQ(k.scene->GetAllItems().GetCount(), 0);
    EXPECT_EQ(k.scene->GetActiveItems().GetCount(), 0);
    EXPECT_EQ(k.scene->GetLights().GetCount(), 0);
    EXPECT_EQ(k.scene->GetDeletionQueue().GetCount(), 0);
    EXPECT_EQ(k.scene->GetPendingActivations().GetCount(), 0);
    EXPECT_EQ(k.scene->GetPendingDeactivations().GetCount(), 0);
    EXPECT_EQ(k.log.Count("fresh.OnDelete"), 1u);
    EXPECT_EQ(recorder.events.front(), "9");
    EXPECT_EQ(recorder.events.back(), "10");
    EXPECT_EQ(k.log.With("scene.").front(), "scene.OnDelete");
    EXPECT_EQ(k.scene->GetCurrentCamera(), nullptr);
    EXPECT_EQ(k.scene->GetFogNear(), 0.0f);
    EXPECT_EQ(k.scene->GetFogFar(), 0.0f);
    EXPECT_EQ(k.scene->GetFogColour().x, 0.0f);
    EXPECT_EQ(k.scene->GetBackgroundColour().x, 0.5f);
    EXPECT_EQ(k.scene->GetPhysicWorld(), world);
    EXPECT_TRUE(k.scene->GetName().IsEmpty());
    EXPECT_EQ(k.scene->GetScriptUnits().GetCount(), 0);
    EXPECT_EQ(k.World()->liveItems, 0);
    // Uids start again at 0.
    EXPECT_EQ(k.Add("again")->GetUid(), 0);
}

TEST(SceneRegistry, DeleteContentCanKeepTheScenesOwnUnits)
{
    nKitScene k;
    nScriptUnit* unit = k.scene->CreateScriptUnit();
    ASSERT_NE(unit, nullptr);
    void* owner = nullptr;
    int32_t type = 0;
    unit->GetOwner(&owner, &type);
    EXPECT_EQ(owner, static_cast<void*>(k.scene));
    EXPECT_EQ(type, 9);
    k.scene->DeleteContent(true);
    EXPECT_EQ(k.scene->GetScriptUnits().GetCount(), 1);
}

TEST(SceneRegistry, CreatePhysicWorldKeepsOnlyAWorldThatStarted)
{
    nLogCapture capture;
    {
        nKitScene none(false);  // an engine without a world factory
        EXPECT_FALSE(none.scene->CreatePhysicWorld());
        EXPECT_EQ(none.scene->GetPhysicWorld(), nullptr);
        EXPECT_EQ(capture.Lines(), Names{"[!] Could not create physic world.\n"});
    }

    nKitScene k(true);
    capture.Clear();
    nFakePhysicWorld::s_log = &k.log;
    nFakePhysicWorld::s_initResult = false;
    int32_t deletedBefore = nFakePhysicWorld::s_deleted;
    EXPECT_FALSE(k.scene->CreatePhysicWorld());
    EXPECT_EQ(k.scene->GetPhysicWorld(), nullptr);
    EXPECT_EQ(nFakePhysicWorld::s_deleted, deletedBefore + 2) << "the world made at first and the new one";
    nKitItem* bodiless = k.Add("bodiless");
    EXPECT_EQ(bodiless->GetPhysicItem(), nullptr);
    k.scene->Evaluate(SceneEvaluateAll);  // nothing to step

    nFakePhysicWorld::s_initResult = true;
    EXPECT_TRUE(k.scene->CreatePhysicWorld());
    ASSERT_NE(k.scene->GetPhysicWorld(), nullptr);
    EXPECT_NE(k.scene->GetPhysicWorld()->GetCallback(), nullptr);
    EXPECT_EQ(k.scene->GetAllItems().GetCount(), 0);  // the content went with the old setting

    EXPECT_EQ(capture.Lines(), Names{"[!] Could not initialise physic world.\n"});
}

TEST(SceneRegistry, DestructorPublishesItselfThenLeavesNothingPointingAtIt)
{
    nOrvex engine;
    nCallLog log;
    nRecordingScriptVM vm(&engine, &log);
    nRecordingRenderer renderer(&engine, &log);
    nScene* first = new nScene(&engine, &vm);
    nScene* second = new nScene(&engine, &vm);
    vm.NameNative(first, "first");
    vm.NameNative(second, "second");
    vm.NameNative(&first->GetUI(), "first-ui");

    first->RegisterAsPropertyCallback(&renderer);
    second->RegisterAsPropertyCallback(&renderer);  // the renderer now serves the second scene
    delete first;
    EXPECT_EQ(renderer.GetPropertyRequestContext(), second);
    EXPECT_NE(renderer.GetPropertyRequestCallback(), nullptr);
    Names want = {"script.set g_scene=native(9,first)", "script.set g_clock_fq=10000", "script.invalidate first",
                  "script.invalidate first-ui"};
    EXPECT_EQ(log.Calls(), want);
    EXPECT_EQ(vm.InvalidationCount(first), 1);

    delete second;
    EXPECT_EQ(renderer.GetPropertyRequestCallback(), nullptr);
    EXPECT_EQ(renderer.GetPropertyRequestContext(), nullptr);
}

TEST(SceneRegistry, ScriptGlobalsNeedAnOpenMachine)
{
    nKitScene k;
    k.vm.Close();
    k.scene->SetScriptGlobals(nullptr);
    EXPECT_EQ(k.log.Calls(), Names{});
    k.vm.Open();
    k.scene->SetScriptGlobals(nullptr);
    EXPECT_EQ(k.log.Calls(), (Names{"script.set g_scene=native(9,scene)", "script.set g_clock_fq=10000"}));
}

TEST(SceneRegistry, AmbientRequestsAreAnsweredAndUnknownKindsReported)
{
    nKitScene k;
    k.scene->RegisterAsPropertyCallback(&k.renderer);
    k.scene->SetAmbientColour(nVector(0.5f, 0.25f, 1.0f, 1.0f));
    k.scene->SetAmbientIntensity(2.0f);
    nPropertyRequest request;
    EXPECT_TRUE(k.renderer.RequestProperty(PropertyRequestAmbient, &request));
    EXPECT_TRUE(request.answered);
    EXPECT_EQ(request.ambient[0], 1.0f);
    EXPECT_EQ(request.ambient[1], 0.5f);
    EXPECT_EQ(request.ambient[2], 2.0f);
    nLogCapture capture;
    EXPECT_FALSE(k.renderer.RequestProperty(7, &request));
    EXPECT_FALSE(request.answered);
    EXPECT_EQ(capture.Lines(), (Names{"** Scene could not process one of the property request (7).\n"}));
}

TEST(SceneRegistry, LightsSortByDescendingPriorityKeepingTiesInOrder)
{
    nKitScene k;
    nKitItem* a = k.Add("a", ManagedItemLight);
    nKitItem* b = k.Add("b", ManagedItemLight);
    nKitItem* c = k.Add("c", ManagedItemLight);
    k.Add("d", ManagedItemLight);
    c->SetPriority(0.9f);
    EXPECT_EQ(NamesOf(k.scene->GetLights()), (Names{"c", "a", "b", "d"}));
    a->SetPriority(0.1f);
    EXPECT_EQ(NamesOf(k.scene->GetLights()), (Names{"c", "b", "d", "a"}));
    // The sorted list still lets items leave it directly.
    k.scene->QueueDeletion(b);
    k.scene->FlushDeletionQueue();
    EXPECT_EQ(NamesOf(k.scene->GetLights()), (Names{"c", "d", "a"}));
}

}
