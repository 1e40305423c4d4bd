// The scene's content listing and geometry audit, as the exact log lines they write.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hub/nOrvex.h"
#include "resources/nGeometry.h"
#include "scene/nGroup.h"
#include "scene/nItem.h"
#include "scene/nLight.h"
#include "scene/nScene.h"
#include "tests/scene/kit/nKitScene.h"
#include "tests/support/nLogCapture.h"

namespace {

typedef std::vector<std::string> Lines;

TEST(SceneReports, AnEmptySceneListsEmptyHeadersAndAuditsNothing)
{
    nKitScene k(false);
    nLogCapture capture;
    k.scene->PrintItemList();
    k.scene->Audit();
    EXPECT_EQ(capture.Lines(), (Lines{
                                   "[|] Dumping scene content\n", "\n",
                                   "[|] Camera list follows (0 entries) :\n", "[|] \n",
                                   "[|] Object list follows (0 entries) :\n", "[|] \n",
                                   "[|] Light list follows (0 entries) :\n", "[|] \n",
                                   "[|] Group list follows (0 entries) :\n", "[|] \n",
                                   "[|] -------------------\n", "\n",
                                   "[|] -------------------\n", "\n",
                                   "[|] Global item list follows (0 entries) :\n",
                                   "[|] \n",
                                   "\n", "Running scene audit:\n", "--------------------\n", "\n", "(1/2) Geometry usage:\n", "\n",
                                   "\n", "(2/2) Check for duplicate geometries:\n", "\n",
                                   "\n", "Audit complete.\n", "\n"}));
}

TEST(SceneReports, TheListingNamesEveryListAndLinksOfActiveItems)
{
    nKitScene k(false);
    nMItem* eye = k.scene->CreateCamera("eye");
    nMItem* crate = k.scene->CreateObject("crate", nullptr);
    nMItem* lid = k.scene->CreateObject("lid", nullptr);
    nMItem* lamp = k.scene->CreateLight("lamp", LightTypePoint, 0.0f);
    nMItem* gone = k.scene->CreateObject("gone", nullptr);
    k.scene->CreateGroup("props");
    lid->GetItem()->SetParent(crate->GetItem());
    lid->GetItem()->SetFlag(ItemFlagInvisible, true);
    nItem plain(&k.engine);  // a node no item of the scene owns
    lamp->GetItem()->SetParent(&plain);
    gone->SetActive(false, false);
    k.scene->ProcessPendingActivations();
    (void)eye;
    nLogCapture capture;
    k.scene->PrintItemList();
    lamp->GetItem()->SetParent(0);
    EXPECT_EQ(capture.Lines(), (Lines{
                                   "[|] Dumping scene content\n", "\n",
                                   "[|] Camera list follows (1 entries) :\n", "[|]   - eye\n", "[|] \n",
                                   "[|] Object list follows (3 entries) :\n", "[|]   - crate\n", "[|]   - lid\n", "[|]   - gone\n", "[|] \n",
                                   "[|] Light list follows (1 entries) :\n", "[|]   - lamp\n", "[|] \n",
                                   "[|] Group list follows (1 entries) :\n", "[|]   - props\n", "[|] \n",
                                   "[|] -------------------\n", "\n",
                                   "[|] -------------------\n", "\n",
                                   "[|] Global item list follows (4 entries) :\n",
                                   "[|]   - eye [|] \n",
                                   "[|]   - crate [|] \n",
                                   "[|]   - lid [|] (Linked to 'crate'), (Active: yes, Invisible: yes)\n",
                                   "[*] Could not locate any instance of the provided item.\n",
                                   "[|]   - lamp [|] \n",
                                   "[|] \n"}));
}

nGeometry* Named(nOrvex* engine, const char* name)
{
    nGeometry* g = new nGeometry(engine);
    g->SetName(name);
    return g;
}

TEST(SceneReports, TheAuditCountsGeometryUseAndReportsLookAlikesBothWays)
{
    nKitScene k(false);
    nSharedPtr<nGeometry> box(Named(&k.engine, "box.nmg"));
    nSharedPtr<nGeometry> twin(Named(&k.engine, "box.nmg"));  // loaded apart: another geometry
    nSharedPtr<nGeometry> ball(Named(&k.engine, "ball.nmg"));
    nMItem* a = k.scene->CreateObject("a", box.Get());
    nMItem* b = k.scene->CreateObject("b", box.Get());
    nMItem* c = k.scene->CreateObject("c", twin.Get());
    nMItem* d = k.scene->CreateObject("d", ball.Get());
    nMItem* e = k.scene->CreateObject("e", box.Get());
    k.scene->CreateObject("bare", nullptr);
    k.scene->CreateObject("bare2", nullptr);
    b->GetItem()->SetScale(nVector(3, 3, 3));        // scale is not compared
    e->GetItem()->SetPosition(nVector(0, 0.5f, 0));  // moved: not a duplicate
    (void)a, (void)c, (void)d;
    nLogCapture capture;
    k.scene->Audit();
    EXPECT_EQ(capture.Lines(), (Lines{
                                   "\n", "Running scene audit:\n", "--------------------\n", "\n", "(1/2) Geometry usage:\n", "\n",
                                   "'box.nmg' used by 3 object(s).\n", " - Object 'a'\n", " - Object 'b'\n", " - Object 'e'\n",
                                   "'box.nmg' used by 1 object(s).\n", " - Object 'c'\n",
                                   "'ball.nmg' used by 1 object(s).\n", " - Object 'd'\n",
                                   "\n", "(2/2) Check for duplicate geometries:\n", "\n",
                                   "[*]  - Object 'a' and 'b' might be duplicates.\n",
                                   "[*]  - Object 'b' and 'a' might be duplicates.\n",
                                   "\n", "Audit complete.\n", "\n"}));
}

}
