#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "scene/nScene.h"
#include "scene/nTrigger.h"
#include "tests/scene/kit/nKitScene.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nMLTestSupport.h"

namespace {

typedef std::vector<std::string> Names;

// The trigger events and deletions in the call log, in order.
Names TriggerEvents(const nCallLog& log)
{
    Names out;
    for (const std::string& call : log.Calls())
        if (call.find("Trigger(") != std::string::npos || call.find(".OnItem") != std::string::npos ||
            call.find(".OnDelete") != std::string::npos)
            out.push_back(call);
    return out;
}

struct TriggerScene
{
    nTrigger* AddTrigger(const char* name, const nVector& position, const nVector& scale)
    {
        nTrigger* t = static_cast<nTrigger*>(k.scene->CreateTrigger(name));
        t->SetEvents(&k.items);
        k.vm.NameNative(static_cast<nMItem*>(t), name);
        t->GetNode().SetPosition(position);
        t->GetNode().SetScale(scale);
        return t;
    }
    nKitItem* AddDetected(const char* name, const nVector& position)
    {
        nKitItem* item = k.Add(name);
        item->SetFlags(MItemFlagTriggerDetected);
        item->Node().SetPosition(position);
        return item;
    }
    Names Step()
    {
        k.log.Clear();
        k.scene->Evaluate(SceneEvaluateAll);
        return TriggerEvents(k.log);
    }

    nKitScene k;
};

TEST(Trigger, VolumeIsTheUnitCubeUnderTheWorldMatrix)
{
    struct Case
    {
        const char* name;
        nVector position, rotation, scale;
        nVector point;
        bool inside;
    } cases[] = {
        {"centre", nVector(0, 0, 0), nVector(0, 0, 0), nVector(1, 1, 1), nVector(0, 0, 0), true},
        {"just inside a face", nVector(0, 0, 0), nVector(0, 0, 0), nVector(1, 1, 1), nVector(0.49f, 0, 0), true},
        {"on a face", nVector(0, 0, 0), nVector(0, 0, 0), nVector(1, 1, 1), nVector(0.5f, 0, 0), false},
        {"on the far face", nVector(0, 0, 0), nVector(0, 0, 0), nVector(1, 1, 1), nVector(0, 0, -0.5f), false},
        {"scaled, along x", nVector(0, 0, 0), nVector(0, 0, 0), nVector(10, 2, 10), nVector(4.9f, 0, -4.9f), true},
        {"scaled, beyond x", nVector(0, 0, 0), nVector(0, 0, 0), nVector(10, 2, 10), nVector(5.1f, 0, 0), false},
        {"scaled, along y", nVector(0, 0, 0), nVector(0, 0, 0), nVector(10, 2, 10), nVector(0, 0.99f, 0), true},
        {"scaled, beyond y", nVector(0, 0, 0), nVector(0, 0, 0), nVector(10, 2, 10), nVector(0, 1.01f, 0), false},
        {"turned, long axis along z", nVector(0, 0, 0), nVector(0, 1.5707964f, 0), nVector(10, 1, 1), nVector(0, 0, 4.9f), true},
        {"turned, short axis along x", nVector(0, 0, 0), nVector(0, 1.5707964f, 0), nVector(10, 1, 1), nVector(4.9f, 0, 0), false},
        {"moved", nVector(20, 0, 0), nVector(0, 0, 0), nVector(1, 1, 1), nVector(20.2f, 0, 0), true},
        {"moved, old place", nVector(20, 0, 0), nVector(0, 0, 0), nVector(1, 1, 1), nVector(0.2f, 0, 0), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TriggerScene s;
        nTrigger* t = s.AddTrigger("t", c.position, c.scale);
        t->GetNode().SetRotation(c.rotation);
        EXPECT_EQ(t->ContainsPoint(c.point), c.inside);
    }
    // Under a parent the box follows the parent.
    TriggerScene s;
    nKitItem* parent = s.k.Add("parent");
    parent->Node().SetPosition(nVector(100.0f, 0.0f, 0.0f));
    nTrigger* t = s.AddTrigger("t", nVector(0, 0, 0), nVector(2, 2, 2));
    t->SetParentNotified(&parent->Node());
    EXPECT_TRUE(t->ContainsPoint(nVector(100.9f, 0.0f, 0.0f)));
    EXPECT_FALSE(t->ContainsPoint(nVector(0.0f, 0.0f, 0.0f)));
}

TEST(Trigger, ItemsEnterStayAndLeaveOverSeveralEvaluations)
{
    TriggerScene s;
    s.AddTrigger("t1", nVector(0, 0, 0), nVector(4, 4, 4));  // x from -2 to 2
    s.AddTrigger("t2", nVector(1, 0, 0), nVector(4, 4, 4));  // x from -1 to 3
    nKitItem* a = s.AddDetected("a", nVector(0.5f, 0, 0));
    nKitItem* b = s.AddDetected("b", nVector(50, 0, 0));
    nKitItem* c = s.k.Add("c");  // not detected
    c->Node().SetPosition(nVector(0, 0, 0));

    EXPECT_EQ(s.Step(), (Names{"a.OnTrigger(t1)", "a.OnEnterTrigger(t1)", "t1.OnItemEnter(a)",
                               "a.OnTrigger(t2)", "a.OnEnterTrigger(t2)", "t2.OnItemEnter(a)"}));
    b->Node().SetPosition(nVector(-1.5f, 0, 0));
    EXPECT_EQ(s.Step(), (Names{"a.OnTrigger(t1)", "b.OnTrigger(t1)", "b.OnEnterTrigger(t1)", "t1.OnItemEnter(b)",
                               "a.OnTrigger(t2)"}));
    a->Node().SetPosition(nVector(50, 0, 0));
    EXPECT_EQ(s.Step(), (Names{"b.OnTrigger(t1)", "a.OnExitTrigger(t1)", "t1.OnItemExit(a)",
                               "a.OnExitTrigger(t2)", "t2.OnItemExit(a)"}));
    b->Node().SetPosition(nVector(50, 0, 0));
    EXPECT_EQ(s.Step(), (Names{"b.OnExitTrigger(t1)", "t1.OnItemExit(b)"}));
    EXPECT_EQ(s.Step(), Names{});
    // In and out again between two evaluations: nothing happened.
    a->Node().SetPosition(nVector(0, 0, 0));
    a->Node().SetPosition(nVector(50, 0, 0));
    EXPECT_EQ(s.Step(), Names{});
}

TEST(Trigger, StayingRaisesOnTriggerEveryEvaluationAndEnterOnce)
{
    TriggerScene s;
    nTrigger* t = s.AddTrigger("t", nVector(0, 0, 0), nVector(2, 2, 2));
    s.AddDetected("a", nVector(0, 0, 0));
    Names all;
    for (int i = 0; i < 3; ++i)
        for (const std::string& e : s.Step()) all.push_back(e);
    EXPECT_EQ(all, (Names{"a.OnTrigger(t)", "a.OnEnterTrigger(t)", "t.OnItemEnter(a)", "a.OnTrigger(t)",
                          "a.OnTrigger(t)"}));
    EXPECT_EQ(t->GetRecords().GetCount(), 1);
}

TEST(Trigger, AnItemDeletedInsideLeavesBeforeItIsDestroyed)
{
    TriggerScene s;
    nTrigger* t = s.AddTrigger("t", nVector(0, 0, 0), nVector(2, 2, 2));
    nKitItem* a = s.AddDetected("a", nVector(0, 0, 0));
    s.AddDetected("b", nVector(0, 0, 0.5f));
    s.Step();
    s.k.scene->QueueDeletion(a);
    EXPECT_EQ(s.Step(), (Names{"a.OnExitTrigger(t)", "t.OnItemExit(a)", "a.OnDelete", "b.OnTrigger(t)"}));
    ASSERT_EQ(t->GetRecords().GetCount(), 1);
    EXPECT_EQ(s.Step(), (Names{"b.OnTrigger(t)"}));
}

TEST(Trigger, HandlersMayDeleteAndCreateItemsDuringTheTest)
{
    TriggerScene s;
    nTrigger* t = s.AddTrigger("t", nVector(0, 0, 0), nVector(2, 2, 2));
    s.AddDetected("a", nVector(0, 0, 0));
    bool created = false;
    s.k.items.handler = [&](const std::string& event, nMItem* item) {
        if (event != "OnItemEnter" || created) return;
        created = true;
        // The entering item is deleted by the next flush; a new one waits for the next test.
        for (auto* n = s.k.scene->GetAllItems().GetHead(); n; n = n->next)
            if (n->value->GetName() == "a") s.k.scene->QueueDeletion(n->value);
        s.AddDetected("late", nVector(0, 0, 0));
    };
    EXPECT_EQ(s.Step(), (Names{"a.OnTrigger(t)", "a.OnEnterTrigger(t)", "t.OnItemEnter(a)"}));
    EXPECT_EQ(s.Step(), (Names{"a.OnExitTrigger(t)", "t.OnItemExit(a)", "a.OnDelete", "late.OnTrigger(t)",
                               "late.OnEnterTrigger(t)", "t.OnItemEnter(late)"}));
    EXPECT_EQ(t->GetRecords().GetCount(), 1);
}

TEST(Trigger, InactiveTriggersKeepTheirRecordsUntilTheyTestAgain)
{
    TriggerScene s;
    nTrigger* t = s.AddTrigger("t", nVector(0, 0, 0), nVector(2, 2, 2));
    nKitItem* a = s.AddDetected("a", nVector(0, 0, 0));
    nKitItem* b = s.AddDetected("b", nVector(0, 0, 0));
    s.Step();
    t->SetActive(false, false);
    a->Node().SetPosition(nVector(50, 0, 0));
    EXPECT_EQ(s.Step(), Names{});
    EXPECT_EQ(t->GetRecords().GetCount(), 2);
    t->SetActive(true, false);
    EXPECT_EQ(s.Step(), (Names{"b.OnTrigger(t)", "a.OnExitTrigger(t)", "t.OnItemExit(a)"}));
    // An item that stops being detected leaves at the next test.
    b->SetActive(false, false);
    EXPECT_EQ(s.Step(), (Names{"b.OnExitTrigger(t)", "t.OnItemExit(b)"}));
    EXPECT_EQ(t->GetRecords().GetCount(), 0);
    // Without the trigger stage nothing is tested.
    a->Node().SetPosition(nVector(0, 0, 0));
    s.k.log.Clear();
    s.k.scene->Evaluate(SceneEvaluateAll & ~SceneEvaluateTrigger);
    EXPECT_EQ(TriggerEvents(s.k.log), Names{});
}

TEST(Trigger, DeletingTriggersOrTheWholeSceneWithItemsInsideRaisesNoExits)
{
    TriggerScene s;
    nTrigger* t = s.AddTrigger("t", nVector(0, 0, 0), nVector(2, 2, 2));
    s.AddTrigger("u", nVector(0, 0, 0), nVector(2, 2, 2));
    s.AddDetected("a", nVector(0, 0, 0));
    s.AddDetected("b", nVector(0, 0, 0));
    s.Step();
    s.k.scene->QueueDeletion(t);
    EXPECT_EQ(s.Step(), (Names{"t.OnDelete", "a.OnTrigger(u)", "b.OnTrigger(u)"}));
    s.k.log.Clear();
    s.k.scene->DeleteContent(false);
    for (const std::string& e : TriggerEvents(s.k.log)) EXPECT_EQ(e.find("Exit"), std::string::npos) << e;
    EXPECT_EQ(s.k.scene->GetAllItems().GetCount(), 0);
}

TEST(TriggerNML, TriggerFormHoldsTheItemAndTheNode)
{
    TriggerScene s;
    nTrigger* a = s.AddTrigger("zone", nVector(1, 2, 3), nVector(4, 5, 6));
    s.AddDetected("x", nVector(1, 2, 3));
    s.Step();
    nMetaFile document;
    nMetaTag* tag = a->Serialize(&document);
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(tag->GetName(), "Trigger");
    EXPECT_EQ(nMLChildNames(tag), (Names{"MItem", "Item"}));
    nTrigger* b = s.AddTrigger("copy", nVector(0, 0, 0), nVector(1, 1, 1));
    nLogCapture capture;
    ASSERT_TRUE(b->Deserialize(&document, tag));
    EXPECT_EQ(b->GetName(), "zone");
    EXPECT_FLOAT_EQ(b->GetNode().GetPosition().y, 2.0f);
    EXPECT_FLOAT_EQ(b->GetNode().GetScale().z, 6.0f);
    EXPECT_EQ(b->GetRecords().GetCount(), 0);
    nMetaFile other;
    ASSERT_TRUE(b->Deserialize(&other, nMLParseRoot(other, "<Trigger= <MItem= <UId=9> > <Shape=1> >")));
    nMetaFile wrong;
    EXPECT_FALSE(b->Deserialize(&wrong, nMLParseRoot(wrong, "<MTrigger= >")));
    EXPECT_EQ(capture.Lines(), (Names{"[*] Unknown tag 'Shape' in <Trigger>.\n",
                                      "[!] Could not parse trigger. Root tag id is incorrect (MTrigger).\n"}));
    delete tag;
}

}
