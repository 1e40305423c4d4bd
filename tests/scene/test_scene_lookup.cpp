// Scene lookups by path, uid, name, kind and node, and the trigger ray test.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/nBounds.h"
#include "scene/nAnimationSource.h"
#include "scene/nGroup.h"
#include "scene/nLight.h"
#include "scene/nItem.h"
#include "scene/nScene.h"
#include "scene/nTrigger.h"
#include "tests/scene/kit/nKitScene.h"
#include "tests/support/nLogCapture.h"

namespace {

typedef std::vector<std::string> Names;

TEST(SceneLookup, PathsFindByKindOrderParentChildrenAndWarnOnWhatTheyCannotSolve)
{
    nKitScene k;
    k.scene->SetName("level");
    nKitItem* light = k.Add("x", ManagedItemLight);
    nKitItem* camera = k.Add("x", ManagedItemCamera);
    nKitItem* parent = k.Add("p", ManagedItemObject);
    nKitItem* child = k.Add("c", ManagedItemObject);
    nKitItem* grandchild = k.Add("g", ManagedItemObject);
    k.Add("t", ManagedItemTerrain);
    child->Node().SetParent(&parent->Node());
    grandchild->Node().SetParent(&child->Node());
    nItem loose(&k.engine);
    loose.SetParent(&parent->Node());  // a child node without a managed item is passed over

    EXPECT_EQ(k.scene->FindItem("x", nullptr), camera);  // cameras are searched before lights
    EXPECT_EQ(k.scene->FindItem("c", parent), child);
    EXPECT_EQ(k.scene->FindItem("g", parent), nullptr);  // direct children only
    nLogCapture capture;
    EXPECT_EQ(k.scene->FindItem("t", nullptr), nullptr);  // terrains are not searched
    EXPECT_EQ(k.scene->FindItem("x/y", nullptr), nullptr);
    EXPECT_EQ(capture.Lines(), (Names{"[*] No item named 't' in scene 'level'.\n",
                                      "[*] Cannot solve sub-path 'y' on item 'x'.\n"}));
    capture.Clear();
    EXPECT_EQ(k.scene->FindLight("x"), light);
    EXPECT_EQ(k.scene->FindCamera("x"), camera);
    EXPECT_EQ(k.scene->FindObject("x"), nullptr);
    EXPECT_EQ(k.scene->FindTrigger("x"), nullptr);
    EXPECT_EQ(capture.Lines(), Names{});
    loose.SetParent(nullptr);
}

TEST(SceneLookup, UidsAndNodesGiveTheFirstItemAndItsKind)
{
    nKitScene k;
    nKitItem* a = k.Add("a", ManagedItemLight);
    nKitItem* b = k.Add("b", ManagedItemTrigger);
    b->SetUid(a->GetUid());
    EXPECT_EQ(k.scene->FindItemByUid(a->GetUid()), a);
    nMItem* found = nullptr;
    EXPECT_EQ(k.scene->GetItemKind(&b->Node(), &found), (int32_t)ManagedItemTrigger);
    EXPECT_EQ(found, b);
    nItem loose(&k.engine);
    nLogCapture capture;
    EXPECT_EQ(k.scene->FindItemByUid(99), nullptr);
    EXPECT_EQ(k.scene->GetItemKind(nullptr, nullptr), 0);
    EXPECT_EQ(k.scene->GetItemKind(&loose, nullptr), 0);
    EXPECT_EQ(capture.Lines(), (Names{"[*] No managed item with UID (99).\n",
                                      "[*] Could not locate any instance of the provided item.\n"}));
}

TEST(SceneLookup, TriggerRayTestsMeetTheUnitBoxUnderTheTriggerMatrix)
{
    nKitScene k;
    nMItem* trigger = k.scene->CreateTrigger("gate");
    trigger->GetItem()->SetPosition(nVector(10.0f, 0.0f, 0.0f));
    trigger->GetItem()->SetScale(nVector(2.0f, 2.0f, 2.0f));
    trigger->SetActive(false, false);  // inactive triggers are hit too
    k.scene->Evaluate(0);
    const nVector origin(0.0f, 0.0f, 0.0f, 1.0f), along(1.0f, 0.0f, 0.0f, 0.0f);
    nVector hit(-1.0f, -1.0f, -1.0f);
    EXPECT_EQ(k.scene->RaytraceTriggers(origin, along, -1.0f, &hit), trigger);
    EXPECT_NEAR(hit.x, 9.0f, 1e-5f);
    EXPECT_NEAR(hit.y, 0.0f, 1e-5f);
    nVector untouched(7.0f, 7.0f, 7.0f);
    EXPECT_EQ(k.scene->RaytraceTriggers(origin, along, 5.0f, &untouched), nullptr);  // the segment ends at x = 5
    EXPECT_EQ(untouched.x, 7.0f);
    EXPECT_EQ(k.scene->RaytraceTriggers(origin, along, 20.0f, nullptr), trigger);
    EXPECT_EQ(k.scene->RaytraceTriggers(origin, nVector(0.0f, 1.0f, 0.0f, 0.0f), -1.0f, nullptr), nullptr);
}

TEST(SceneLookup, ObjectBoundsLeaveTheBoxAloneWithoutObjects)
{
    nKitScene k;
    nMinMax box(nVector(1.0f, 2.0f, 3.0f), nVector(4.0f, 5.0f, 6.0f));
    k.scene->GetObjectBounds(box);
    EXPECT_EQ(box.min.y, 2.0f);
    EXPECT_EQ(box.max.z, 6.0f);
}

TEST(SceneLookup, DuplicatesCopyTheirSourceUnderTheSameParentWithAFreshUid)
{
    nKitScene k;
    nKitItem* parent = k.Add("p", ManagedItemObject);
    nMItem* light = k.scene->CreateLight("spot", LightTypeSpot, 0.5f);
    light->GetItem()->SetPosition(nVector(1.0f, 2.0f, 3.0f));
    light->GetItem()->SetParent(&parent->Node());
    static_cast<nMLight*>(light)->GetLight().SetRange(12.0f);
    nMItem* copy = k.scene->DuplicateItem(light);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, light);
    EXPECT_EQ(copy->GetName(), "spot");
    EXPECT_EQ(copy->GetKind(), (int32_t)ManagedItemLight);
    EXPECT_NE(copy->GetUid(), light->GetUid());
    EXPECT_EQ(copy->GetItem()->GetParent(), &parent->Node());
    EXPECT_EQ(static_cast<nMLight*>(copy)->GetLight().GetType(), (int32_t)LightTypeSpot);
    EXPECT_EQ(static_cast<nMLight*>(copy)->GetLight().GetRange(), 12.0f);
    EXPECT_EQ(copy->GetItem()->GetPosition().y, 2.0f);

    nMItem* trigger = k.scene->CreateTrigger("gate");
    EXPECT_NE(k.scene->DuplicateItem(trigger), nullptr);
    // Kinds without a copy form, and items of other classes, give nothing and make nothing.
    nKitItem* emitter = k.Add("e", ManagedItemEmitter);
    const int32_t count = k.scene->GetAllItems().GetCount();
    EXPECT_EQ(k.scene->DuplicateItem(emitter), nullptr);
    EXPECT_EQ(k.scene->DuplicateItem(parent), nullptr);
    EXPECT_EQ(k.scene->GetAllItems().GetCount(), count);
}

TEST(SceneLookup, SetMotionMakesTheAskedListEvenWhenNoItemHasTheMotion)
{
    nKitScene k;
    k.Add("a");
    nAnimationSourceList* list = nullptr;
    k.scene->SetMotion("walk", &list, 0.5f, false, 1.0f);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->GetCount(), 0);
    delete list;
}

}
