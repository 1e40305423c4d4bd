// Scene render passes on the recording renderer, and the scene's answers to light queries.

#include <gtest/gtest.h>
#include <algorithm>

#include <string>
#include <vector>

#include "core/nFrustum.h"
#include "hub/nOrvex.h"
#include "render/nPropertyRequest.h"
#include "render/nRenderer.h"
#include "scene/nCamera.h"
#include "scene/nEmitter.h"
#include "scene/nLight.h"
#include "scene/nObject.h"
#include "scene/nScene.h"
#include "scene/nTerrain.h"
#include "tests/scene/kit/nKitScene.h"
#include "tests/support/nLogCapture.h"

namespace {

typedef std::vector<std::string> Names;

Names Passes(nKitScene& k)
{
    Names out;
    for (const std::string& call : k.log.Calls())
        if (call == "render.ApplyCamera" || call.rfind("render.Clear", 0) == 0 || call.rfind("scene.", 0) == 0)
            out.push_back(call);
    return out;
}

struct PassCase
{
    const char* name;
    bool hidden;
    uint32_t flags;
    Names calls;
    int32_t queued;
};

TEST(SceneRender, PassesFollowHiddenFlagsAndScriptSwitch)
{
    const PassCase cases[] = {
        {"shown", false, SceneRenderFlagClearViewport, {"render.Clear(0.25,0.5,0.75,1,0)", "render.ApplyCamera", "scene.OnRenderDone", "scene.OnRenderUI"}, 1},
        {"no clear", false, SceneRenderFlagNone, {"render.ApplyCamera", "scene.OnRenderDone", "scene.OnRenderUI"}, 1},
        {"no scripts", false, SceneRenderFlagClearViewport | SceneRenderFlagDisableScript, {"render.Clear(0.25,0.5,0.75,1,0)", "render.ApplyCamera"}, 1},
        {"hidden", true, SceneRenderFlagClearViewport, {"scene.OnRenderDone", "scene.OnRenderUI"}, 0},
        {"hidden, no scripts", true, SceneRenderFlagDisableScript, {}, 0},
    };
    for (const PassCase& c : cases) {
        SCOPED_TRACE(c.name);
        nKitScene k;
        nMItem* camera = k.scene->CreateCamera("eye");
        k.scene->SetCurrentCamera(camera->GetItem());
        k.scene->CreateObject("shown", nullptr);
        nMItem* off = k.scene->CreateObject("off", nullptr);
        off->SetActive(false, false);
        k.scene->Evaluate(0);
        k.scene->SetBackgroundColour(nVector(0.25f, 0.5f, 0.75f, 0.1f));
        k.scene->SetTargetExposure(0.6f);
        k.scene->SetFlags(c.hidden ? SceneFlagRenderless : 0);
        k.log.Clear();
        k.scene->RenderSetup(c.flags);
        k.scene->RenderToQueue(c.flags);
        k.scene->RenderUI(c.flags);
        EXPECT_EQ(Passes(k), c.calls);
        EXPECT_EQ(k.renderer.GetRenderQueue().GetCount(), c.queued);
        EXPECT_EQ(k.renderer.GetCamera(), c.hidden ? nullptr : camera->GetItem());
        EXPECT_EQ(k.renderer.GetTargetExposure(), c.hidden ? k.renderer.GetTargetExposure() : 0.6f);
        k.renderer.ResetRenderQueue();
    }
}

TEST(SceneRender, FogIsOnOnlyWithAPositiveFarAndTheCameraStaysWithoutOne)
{
    nKitScene k;
    nMItem* camera = k.scene->CreateCamera("eye");
    k.renderer.SetCamera(camera->GetItem());
    k.scene->SetFog(5.0f, 0.0f, nVector(1.0f, 0.0f, 0.0f, 1.0f));
    k.scene->RenderSetup(SceneRenderFlagNone);
    EXPECT_FALSE(k.renderer.IsFogEnabled());
    EXPECT_EQ(k.renderer.GetCamera(), camera->GetItem());  // no current camera: the bound one stays
    k.scene->SetFog(5.0f, 80.0f, nVector(0.0f, 1.0f, 0.0f, 1.0f));
    k.scene->RenderSetup(SceneRenderFlagNone);
    EXPECT_TRUE(k.renderer.IsFogEnabled());
    EXPECT_EQ(k.renderer.GetFogNear(), 5.0f);
    EXPECT_EQ(k.renderer.GetFogFar(), 80.0f);
    EXPECT_EQ(k.renderer.GetFogColour().y, 1.0f);
}

TEST(SceneRender, EditModeLeavesOutItemsFlaggedForNoToolDrawing)
{
    for (int32_t mode : {NoTool, ToolEdit}) {
        nKitScene k;
        k.engine.SetToolMode(mode);
        k.scene->CreateObject("a", nullptr)->SetFlags(MItemFlagNoToolDraw);
        k.scene->CreateObject("b", nullptr);
        k.scene->RenderToQueue(SceneRenderFlagDisableScript);
        EXPECT_EQ(k.renderer.GetRenderQueue().GetCount(), mode == ToolEdit ? 1 : 2);
        k.renderer.ResetRenderQueue();
    }
}

// Objects, emitters and terrains are queued as the drawables they are; cameras, lights,
// triggers and inactive items are not.
TEST(SceneRender, QueuesEveryDrawableKindAsItself)
{
    nKitScene k;
    k.scene->CreateCamera("eye");
    nMItem* object = k.scene->CreateObject("object", nullptr);
    k.scene->CreateLight("sun", 0, 1.0f);
    nMItem* emitter = k.scene->CreateEmitter("sparks");
    k.scene->CreateTrigger("zone");
    nMItem* terrain = k.scene->CreateTerrain("ground");
    k.scene->CreateObject("off", nullptr)->SetActive(false, false);
    k.scene->Evaluate(0);
    k.scene->RenderToQueue(SceneRenderFlagDisableScript);
    std::vector<nRenderable*> queued;
    for (const nList<nRenderable*>::Node* n = k.renderer.GetRenderQueue().GetHead(); n; n = n->next) queued.push_back(n->value);
    std::vector<nRenderable*> expected = {
        &static_cast<nMObject*>(object)->GetObject(),
        &static_cast<nMEmitter*>(emitter)->GetEmitter(),
        &static_cast<nMTerrain*>(terrain)->GetTerrain(),
    };
    std::sort(queued.begin(), queued.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(queued, expected);
    k.renderer.ResetRenderQueue();
}

// A scene with lights along +x at the given distances, priorities and ranges.
struct LightScene
{
    LightScene() { k.scene->RegisterAsPropertyCallback(&k.renderer); }
    nMItem* Add(const char* name, float x, float priority, float range)
    {
        nMLight* light = static_cast<nMLight*>(k.scene->CreateLight(name, LightTypePoint, priority));
        light->GetLight().SetPosition(nVector(x, 0.0f, 0.0f));
        light->GetLight().SetRange(range);
        return light;
    }
    nKitScene k;
};

Names Answer(const nPropertyRequest& request)
{
    Names out;
    for (uint32_t i = 0; i < request.count; ++i) out.push_back(request.items[i]->GetManagedItem()->GetName().GetCStr());
    return out;
}

TEST(SceneLightQueries, KindOneReturnsAllInOrderWhenTheyFitElseTheNearestByWeightedDistance)
{
    LightScene s;
    s.Add("far", 9.0f, 0.5f, 0.0f);
    s.Add("near", 1.0f, 0.5f, 0.0f);
    s.Add("mid", 4.0f, 0.5f, 0.0f);
    s.k.scene->SetAmbientColour(nVector(0.5f, 0.25f, 1.0f, 1.0f));
    s.k.scene->SetAmbientIntensity(0.5f);
    nPropertyRequest request;
    request.capacity = 8;
    ASSERT_TRUE(s.k.renderer.RequestProperty(PropertyRequestLightsAtPoint, &request));
    EXPECT_TRUE(request.answered);
    EXPECT_EQ(Answer(request), (Names{"far", "near", "mid"}));  // list order, no sorting
    EXPECT_EQ(request.ambient[1], 0.125f);
    EXPECT_EQ(request.ambient[3], 0.5f);

    request = nPropertyRequest();
    request.capacity = 2;
    nMItem* off = s.Add("off", 0.5f, 0.5f, 0.0f);
    off->SetActive(false, false);
    s.Add("first", 50.0f, 1.0f, 0.0f);  // priority 1: key 0 whatever the distance
    s.k.scene->Evaluate(0);
    ASSERT_TRUE(s.k.renderer.RequestProperty(PropertyRequestLightsAtPoint, &request));
    EXPECT_EQ(Answer(request), (Names{"first", "near"}));
}

TEST(SceneLightQueries, KindOneSortsNoMoreThanItsBufferAndSaysSo)
{
    LightScene s;
    for (int i = 0; i < 260; ++i) s.Add(("l" + std::to_string(i)).c_str(), 260.0f - (float)i, 0.5f, 0.0f);
    nPropertyRequest request;
    request.capacity = 4;
    nLogCapture capture;
    ASSERT_TRUE(s.k.scene->ProcessPropertyRequest(PropertyRequestLightsAtPoint, &request));
    EXPECT_EQ(capture.Lines(), (Names{"[*] the light proximity query cannot sort more than 256 lights! CORRECT THE HACK!\n"}));
    EXPECT_EQ(Answer(request), (Names{"l255", "l254", "l253", "l252"}));
}

TEST(SceneLightQueries, KindTwoWalksTheLightsInBatchesOfEightWithItsCursor)
{
    LightScene s;
    for (int i = 0; i < 20; ++i) s.Add(("l" + std::to_string(i)).c_str(), (float)i, 0.5f, 0.0f);
    nPropertyRequest request;
    std::vector<uint32_t> batches;
    do {
        ASSERT_TRUE(s.k.renderer.RequestProperty(PropertyRequestVisibleLights, &request));
        batches.push_back(request.count);
    } while (request.cursor && batches.size() < 5);
    EXPECT_EQ(batches, (std::vector<uint32_t>{8, 8, 4}));
    EXPECT_EQ(request.cursor, nullptr);
}

TEST(SceneLightQueries, KindTwoRangeLimitsReachAndADeletedCursorEndsTheWalk)
{
    LightScene s;
    // A light reaches as far as its range and its clip distance (300 by default) together.
    s.Add("unlimited", 1000.0f, 0.5f, 0.0f);
    s.Add("short", 1000.0f, 0.5f, 5.0f);
    s.Add("reaching", 300.0f, 0.5f, 5.0f);
    nPropertyRequest request;
    ASSERT_TRUE(s.k.scene->ProcessPropertyRequest(PropertyRequestVisibleLights, &request));
    EXPECT_EQ(Answer(request), (Names{"unlimited", "reaching"}));

    // A cursor whose light has gone since the last batch: no lights and no cursor.
    for (int i = 0; i < 10; ++i) s.Add(("l" + std::to_string(i)).c_str(), 0.0f, 0.5f, 0.0f);
    request = nPropertyRequest();
    ASSERT_TRUE(s.k.scene->ProcessPropertyRequest(PropertyRequestVisibleLights, &request));
    ASSERT_NE(request.cursor, nullptr);
    s.k.scene->QueueDeletion(request.cursor);
    s.k.scene->FlushDeletionQueue();
    ASSERT_TRUE(s.k.scene->ProcessPropertyRequest(PropertyRequestVisibleLights, &request));
    EXPECT_TRUE(request.answered);
    EXPECT_EQ(request.count, 0u);
    EXPECT_EQ(request.cursor, nullptr);
}

TEST(SceneLightQueries, KindThreeGivesTheAmbientAndUnknownKindsAreRefused)
{
    LightScene s;
    s.k.scene->SetAmbientColour(nVector(1.0f, 0.5f, 0.25f, 1.0f));
    s.k.scene->SetAmbientIntensity(2.0f);
    nPropertyRequest request;
    ASSERT_TRUE(s.k.scene->ProcessPropertyRequest(PropertyRequestAmbient, &request));
    EXPECT_EQ(request.ambient[0], 2.0f);
    EXPECT_EQ(request.ambient[2], 0.5f);
    nPropertyRequest other;
    nLogCapture capture;
    EXPECT_FALSE(s.k.scene->ProcessPropertyRequest(7, &other));
    EXPECT_FALSE(other.answered);
    EXPECT_EQ(capture.Lines(), (Names{"** Scene could not process one of the property request (7).\n"}));
}

TEST(SceneLightQueries, EqualPrioritiesKeepTheirOrderAfterSorting)
{
    LightScene s;
    s.Add("a", 0.0f, 0.5f, 0.0f);
    s.Add("b", 0.0f, 0.9f, 0.0f);
    s.Add("c", 0.0f, 0.5f, 0.0f);
    s.Add("d", 0.0f, 0.9f, 0.0f);
    s.k.scene->SortLightsByPriority();
    Names order;
    for (auto* n = s.k.scene->GetLights().GetHead(); n; n = n->next) order.push_back(n->value->GetName().GetCStr());
    EXPECT_EQ(order, (Names{"b", "d", "a", "c"}));
}

TEST(SceneLightQueries, KindTwoTestsPointLightsAsSpheresAgainstTheViewFrustum)
{
    LightScene s;
    nMItem* camera = s.k.scene->CreateCamera("eye");  // at the origin, looking along +z
    nFrustum view;
    static_cast<nMCamera*>(camera)->GetCamera().ComputeFrustum(&view, 0.1f, 1000.0f);
    s.Add("ahead", 0.0f, 0.5f, 10.0f)->GetItem()->SetPosition(nVector(0.0f, 0.0f, 50.0f));
    s.Add("behind", 0.0f, 0.5f, 10.0f)->GetItem()->SetPosition(nVector(0.0f, 0.0f, -50.0f));
    s.Add("unlimited behind", 0.0f, 0.5f, 0.0f)->GetItem()->SetPosition(nVector(0.0f, 0.0f, -50.0f));
    nPropertyRequest request;
    request.frustum = &view;
    ASSERT_TRUE(s.k.scene->ProcessPropertyRequest(PropertyRequestVisibleLights, &request));
    EXPECT_EQ(Answer(request), (Names{"ahead", "unlimited behind"}));
    request = nPropertyRequest();  // without a view every light in reach passes
    ASSERT_TRUE(s.k.scene->ProcessPropertyRequest(PropertyRequestVisibleLights, &request));
    EXPECT_EQ(Answer(request), (Names{"ahead", "behind", "unlimited behind"}));
}

}
