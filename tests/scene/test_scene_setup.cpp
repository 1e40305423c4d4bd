// Scene set-up and reset sequences, and groups.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hub/nOrvex.h"
#include "resources/nGeometry.h"
#include "scene/nGroup.h"
#include "scene/nItem.h"
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

struct EventCase
{
    int32_t toolMode;
    Names setup;
    Names reset;
};

TEST(SceneSetup, SetupAndResetRaiseTheirEventsInOrderForEachToolMode)
{
    const EventCase cases[] = {
        {NoTool,
         {"scene.OnPreSetup", "a.OnSetup", "b.OnSetup", "scene.OnSetup", "a.OnSetupDone", "b.OnSetupDone", "scene.OnSetupDone"},
         {"a.OnReset", "b.OnReset", "scene.OnReset"}},
        {ToolEdit, {"a.OnSetupDone", "b.OnSetupDone"}, {"scene.OnReset"}},
    };
    for (const EventCase& c : cases) {
        SCOPED_TRACE(c.toolMode);
        nKitScene k;
        k.engine.SetToolMode(c.toolMode);
        k.Add("a");
        k.Add("b");
        k.scene->SetName("level");
        nLogCapture capture;
        k.scene->Setup(false, 1024);
        EXPECT_EQ(k.log.Containing(".On"), c.setup);
        // Every body is built, also in edit mode.
        EXPECT_EQ(k.log.Count("physics.a.Create"), 1u);
        k.log.Clear();
        k.scene->SetFlags(SceneFlagQuit | SceneFlagRenderless);
        k.scene->Reset();
        EXPECT_EQ(k.log.Containing(".On"), c.reset);
        EXPECT_EQ(k.scene->GetFlags(), (uint32_t)SceneFlagRenderless);
        EXPECT_EQ(capture.Lines(), (Names{"[H] Setup scene 'level'\n", "[H] Scene reset\n"}));
    }
}

TEST(SceneSetup, ResetPutsItemsBackAtTheirRecordedPlaceAndRestartsTheClock)
{
    nKitScene k;
    nKitItem* a = k.Add("a");
    a->Node().SetPosition(nVector(1.0f, 2.0f, 3.0f));
    k.scene->RecordLocation();
    a->Node().SetPosition(nVector(7.0f, 7.0f, 7.0f));
    k.SetFrameTicks(900);
    k.scene->Reset();
    EXPECT_EQ(a->Node().GetWorldMatrix().GetColumn(3, true).x, 1.0f);
    EXPECT_EQ(a->Node().GetWorldMatrix().GetColumn(3, true).z, 3.0f);
    EXPECT_GE(a->GetLogicAccumulator(), 0.0f);
    EXPECT_LT(a->GetLogicAccumulator(), 1.0f / 15.0f);
}

TEST(SceneSetup, ItemsMadeBySetupHandlersAreSetUpAndDeletionsWaitForTheNextEvaluation)
{
    nKitScene k;
    nKitItem* a = k.Add("a");
    nKitItem* b = k.Add("b");
    k.items.handler = [&](const std::string& event, nMItem* item) {
        if (event != "OnSetup" || item != a) return;
        k.Add("late");
        k.scene->QueueDeletion(b);
        k.scene->FlushDeletionQueue();
    };
    k.scene->Setup(false, 1024);
    k.items.handler = nullptr;
    EXPECT_EQ(k.log.Count("late.OnSetupDone"), 1u);
    EXPECT_EQ(k.log.Count("b.OnSetupDone"), 1u);
    EXPECT_EQ(NamesOf(k.scene->GetAllItems()), (Names{"a", "b", "late"}));
    k.scene->Evaluate(0);
    EXPECT_EQ(NamesOf(k.scene->GetAllItems()), (Names{"a", "late"}));
}

TEST(SceneGroups, MembershipAndLookupsFollowTheUniqueRuleAndWarnWhenAbsent)
{
    nKitScene k;
    nKitItem* a = k.Add("a");
    nGroup* g = k.scene->CreateGroup("g");
    nGroup* sub = k.scene->CreateGroup("sub");
    ASSERT_TRUE(g && sub);
    EXPECT_EQ(g->AddItem(a, true), a);
    EXPECT_EQ(g->AddItem(a, true), nullptr);
    EXPECT_EQ(g->AddItem(a, false), a);
    EXPECT_EQ(g->AddItem(nullptr, false), nullptr);
    EXPECT_EQ(g->AddGroup(sub, true), sub);
    EXPECT_EQ(g->AddGroup(sub, true), nullptr);
    EXPECT_TRUE(g->ContainsItem(a));
    EXPECT_TRUE(g->ContainsGroup(sub));
    EXPECT_EQ(g->FindItem("a"), a);
    EXPECT_EQ(g->FindItemByUid(a->GetUid()), a);
    EXPECT_EQ(g->FindGroup("sub"), sub);
    EXPECT_EQ(k.scene->FindGroup("sub"), sub);
    nLogCapture capture;
    EXPECT_EQ(g->FindItem("zz"), nullptr);
    EXPECT_EQ(g->FindItemByUid(42), nullptr);
    EXPECT_EQ(g->FindGroup("zz"), nullptr);
    EXPECT_EQ(k.scene->FindGroup("zz"), nullptr);
    EXPECT_EQ(capture.Lines(), (Names{"[*] Could not find item 'zz' in group 'g'.\n",
                                      "[*] Could not find item with uid '42' in group 'g'.\n",
                                      "[*] Could not find group 'zz' in group 'g'.\n"}));
}

TEST(SceneGroups, ADeletedGroupLosesItsMembersAtTheNextEvaluationAndStaysSafeToHold)
{
    nKitScene k;
    nKitItem* a = k.Add("a");
    k.Add("keep");
    nKitItem* b = k.Add("b");
    nGroup* g = k.scene->CreateGroup("g");
    g->AddItem(a, false);
    g->AddItem(b, false);
    g->AddItem(b, false);
    nGroup* other = k.scene->CreateGroup("other");
    other->AddItem(b, false);
    k.scene->DeleteGroup(g);
    EXPECT_EQ(k.scene->FindGroup("g"), nullptr);
    EXPECT_EQ(NamesOf(g->GetItems()), (Names{"a", "b", "b"}));
    k.scene->Evaluate(0);
    EXPECT_EQ(NamesOf(k.scene->GetAllItems()), (Names{"keep"}));
    // Neither the removed group nor a listed one keeps a pointer to a deleted item.
    EXPECT_EQ(g->GetItems().GetCount(), 0);
    EXPECT_EQ(other->GetItems().GetCount(), 0);
    EXPECT_EQ(g->FindItem("b"), nullptr);
}

TEST(SceneGroups, RootItemHangsTheLooseMembersAndNullTakesThemDown)
{
    nKitScene k;
    nKitItem* root = k.Add("root");
    nKitItem* a = k.Add("a");
    nKitItem* b = k.Add("b");
    nKitItem* other = k.Add("other");
    b->Node().SetParent(&other->Node());
    nGroup* g = k.scene->CreateGroup("g");
    g->AddItem(a, false);
    g->AddItem(b, false);
    g->SetRootItem(root);
    EXPECT_EQ(a->Node().GetParent(), &root->Node());
    EXPECT_EQ(b->Node().GetParent(), &other->Node());  // hangs elsewhere already
    g->SetRootItem(nullptr);
    EXPECT_EQ(a->Node().GetParent(), nullptr);
    EXPECT_EQ(b->Node().GetParent(), &other->Node());
    g->SetRootItem(root);
    k.scene->QueueDeletion(root);
    k.scene->FlushDeletionQueue();
    EXPECT_EQ(g->GetRootItem(), nullptr);
}

TEST(SceneGroups, GroupOperationsReachEveryMember)
{
    nKitScene k;
    nKitItem* a = k.Add("a");
    nKitItem* b = k.Add("b");
    nKitItem* child = k.Add("child");
    child->Node().SetParent(&a->Node());
    nGroup* g = k.scene->CreateGroup("g");
    g->AddItem(a, false);
    g->AddItem(b, false);
    g->AddItem(child, false);
    g->SetInvisible(true);
    EXPECT_TRUE(b->Node().GetFlags() & ItemFlagInvisible);
    g->OffsetMatrix(nMatrix4::Translation(nVector(0.0f, 5.0f, 0.0f)));
    EXPECT_EQ(a->Node().GetWorldMatrix().GetColumn(3, true).y, 5.0f);
    EXPECT_EQ(child->Node().GetWorldMatrix().GetColumn(3, true).y, 5.0f);  // follows its parent only
    g->SetActive(false);
    EXPECT_EQ(k.log.Containing("OnActivate"), (Names{"a.OnActivate(0)", "b.OnActivate(0)", "child.OnActivate(0)"}));
    k.log.Clear();
    g->Reset(true);
    EXPECT_EQ(k.log.Containing(".On"), (Names{"a.OnReset", "b.OnReset", "child.OnReset"}));
}

TEST(SceneGroups, DeletingTheContentDestroysGroupsListedAndRemoved)
{
    nKitScene k;
    nGroup* g = k.scene->CreateGroup("g");
    k.scene->CreateGroup("h");
    k.scene->RemoveGroup(g);
    k.scene->DeleteContent(false);
    EXPECT_EQ(k.scene->GetGroups().GetCount(), 0);
    // The sanitizer build reports the groups if they were not destroyed.
}

TEST(SceneSetup, OptimisingDropsSelfProxiesAndWarnsAboutLargeSharedGeometries)
{
    nKitScene k;
    nGeometry* shared = new nGeometry(&k.engine);
    shared->SetName("big");
    ASSERT_TRUE(shared->AllocatePolygons(8193));
    nGeometry* small = new nGeometry(&k.engine);
    small->SetName("small");
    ASSERT_TRUE(small->AllocatePolygons(8192));
    small->lodProxy = small;  // a proxy of itself: dropped, so the geometry can go
    small->shadowProxy = small;
    k.scene->CreateObject("a", shared);
    k.scene->CreateObject("b", shared);
    k.scene->CreateObject("c", small);
    k.scene->CreateObject("d", small);
    nLogCapture capture;
    k.scene->Setup(true, 1024);
    EXPECT_EQ(capture.Lines(), (Names{"[H] Setup scene ''\n",
                                      "[*] Geometry 'big' should be optimized but will not be as it is used by more than one item.\n"}));
    EXPECT_FALSE(small->lodProxy.IsValid());
    EXPECT_FALSE(small->shadowProxy.IsValid());
}

}
