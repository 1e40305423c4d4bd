#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "core/nMatrix.h"
#include "physics/nPhysicItem.h"
#include "scene/nItem.h"
#include "scene/nMotion.h"
#include "scene/nScene.h"
#include "scriptiface/nScriptUnit.h"
#include "tests/scene/kit/nKitScene.h"
#include "tests/support/nLogCapture.h"

namespace {

typedef std::vector<std::string> Calls;

// Gives the item a unit of a class with OnUpdate and OnLogicUpdate, set up.
void AddLogicUnit(nKitScene& k, nMItem* item)
{
    k.vm.DefineClass("Logic", {"OnUpdate", "OnLogicUpdate"});
    nScriptUnit* unit = item->CreateScriptUnit();
    unit->SetScriptPath("logic.nut");
    unit->SetClassName("Logic");
    unit->Setup();
}

// The calls of the kinds an evaluation stage leaves in the log.
Calls StageCalls(const nCallLog& log)
{
    Calls out;
    for (const std::string& c : log.Calls())
        if (c.compare(0, 7, "script.") != 0) out.push_back(c);
    return out;
}

struct FlagCase
{
    uint32_t flags;
    Calls calls;
};

TEST(SceneEvaluate, EachFlagRunsItsStagesInTheFixedOrder)
{
    const Calls evaluate = {"item.a.Evaluate", "item.b.Evaluate"};
    const Calls transform = {"item.a.UpdateTransform", "item.b.UpdateTransform"};
    const std::string logic = "a.OnLogicUpdate(" + FormatFloat(1.0f / 15.0f) + ")";
    const Calls scripts = {"a.OnUpdate", "b.OnUpdate", logic, logic};  // 0.1 s holds two periods of 1/15 s
    auto join = [](std::initializer_list<Calls> parts) {
        Calls out;
        for (const Calls& p : parts) out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    // 0.1 s of physics runs the cap of 4 fixed sub-steps, each opened by the scene's OnPhysicStep.
    const Calls physics = {"physics.world.Step(0.1)", "scene.OnPhysicStep(1)", "scene.OnPhysicStep(1)",
                           "scene.OnPhysicStep(1)", "scene.OnPhysicStep(1)"};
    const FlagCase cases[] = {
        {0x00, evaluate},
        {0x01, join({evaluate, transform})},
        {0x02, evaluate},
        {0x04, evaluate},
        {0x08, join({physics, evaluate})},
        {0x10, join({{"scene.OnUpdate"}, scripts, evaluate})},
        {0x20, evaluate},
        {0x3f, join({{"scene.OnUpdate"}, physics, scripts, evaluate, transform})},
    };
    for (const FlagCase& c : cases) {
        SCOPED_TRACE("flags " + std::to_string(c.flags));
        nKitScene k;
        nKitItem* a = k.Add("a");
        k.Add("b");
        AddLogicUnit(k, a);
        a->SetLogicAccumulator(0.0f);
        k.SetFrameTicks(1000);
        k.log.Clear();
        k.scene->Evaluate(c.flags);
        EXPECT_EQ(StageCalls(k.log), c.calls);
    }
}

TEST(SceneEvaluate, AnimationPlayersAdvanceOnlyWithTheirFlag)
{
    for (uint32_t flags : {0x00u, 0x3du, 0x02u}) {
        SCOPED_TRACE("flags " + std::to_string(flags));
        nKitScene k;
        nKitItem* a = k.Add("a");
        nMotion* motion = new nMotion("slide");
        nMotionChannel* channel = motion->AddChannel(ChannelXPos);
        nCurvePoint* first = new nCurvePoint();
        nCurvePoint* last = new nCurvePoint();
        last->time = 1.0f;
        last->value = 10.0f;
        channel->AddKeySorted(first);
        channel->AddKeySorted(last);
        a->GetMotions().InsertAfter(motion, 0);
        ASSERT_NE(a->PlayMotion(motion, nullptr, 0.0f, false, 1.0f), nullptr);
        k.SetFrameTicks(2500);
        k.scene->Evaluate(flags);
        float x = a->Node().GetPosition().x;
        if (flags & SceneEvaluateAnimation) EXPECT_NEAR(x, 2.5f, 1e-4f);
        else EXPECT_EQ(x, 0.0f);
    }
}

TEST(SceneEvaluate, FrameTimeIsClampedToAFifthOfASecond)
{
    struct
    {
        int32_t ticks;
        float dt;
    } cases[] = {{5000, 0.2f}, {2000, 0.2f}, {1000, 0.1f}, {0, 0.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ticks);
        nKitScene k;
        nKitItem* a = k.Add("a");
        ASSERT_EQ(k.scene->CompileCommandList("toposition 1, 10, 0, 0;", a), 2);
        k.SetFrameTicks(c.ticks);
        k.log.Clear();
        k.scene->Evaluate(SceneEvaluatePhysic);
        EXPECT_EQ(k.log.With("physics.world.Step"), Calls{"physics.world.Step(" + FormatFloat(c.dt) + ")"});
        EXPECT_NEAR(a->Node().GetPosition().x, 10.0f * c.dt, 1e-5f);
    }
}

struct LogicCase
{
    const char* what;
    float rate;
    float accumulator;
    int32_t ticks;
    int calls;
    float period;  // argument of every call
    float finalAccumulator;
    float shownX;  // displayed x: the handler adds 1 to x per call, from 0
};

TEST(SceneEvaluate, FixedRateLogicCountsCallsAndInterpolates)
{
    const LogicCase cases[] = {
        {"two periods in a tenth of a second", 15.0f, 0.0f, 1000, 2, 1.0f / 15.0f, 2.0f / 15.0f - 0.1f, 1.5f},
        {"time left over, no call", 15.0f, 0.05f, 400, 0, 0.0f, 0.01f, 0.0f},
        {"a quarter period still to go", 4.0f, 0.3f, 2000, 0, 0.0f, 0.1f, 0.0f},
        {"rate 0 runs at the floor rate and shows the current state", 0.0f, 0.0f, 1000, 1, 10.0f, 9.9f, 1.0f},
        {"a negative rate likewise", -5.0f, 0.0f, 1000, 1, 10.0f, 9.9f, 1.0f},
        {"a huge rate is capped and its backlog dropped", 1.0e9f, 0.0f, 2000, nScene::kMaxLogicStepsPerEvaluation,
         1.0e-9f, 1.0e-9f, (float)nScene::kMaxLogicStepsPerEvaluation - 1.0f},
    };
    for (const LogicCase& c : cases) {
        SCOPED_TRACE(c.what);
        nKitScene k(false);
        nKitItem* a = k.Add("a");
        AddLogicUnit(k, a);
        a->SetLogicRate(c.rate);
        a->SetLogicAccumulator(c.accumulator);
        k.items.handler = [&](const std::string& event, nMItem* item) {
            if (event != "OnLogicUpdate") return;
            nVector p = a->Node().GetPosition();
            p.x += 1.0f;
            a->Node().SetPosition(p);
        };
        k.SetFrameTicks(c.ticks);
        k.log.Clear();
        k.scene->Evaluate(SceneEvaluateScript);
        Calls logic = k.log.With("a.OnLogicUpdate");
        ASSERT_EQ((int)logic.size(), c.calls);
        for (const std::string& call : logic) EXPECT_EQ(call, "a.OnLogicUpdate(" + FormatFloat(c.period) + ")");
        EXPECT_NEAR(a->GetLogicAccumulator(), c.finalAccumulator, 1e-5f * std::max(1.0f, c.finalAccumulator));
        const nMatrix4& local = a->Node().GetLocalMatrix();
        EXPECT_TRUE(std::isfinite(local.m[3]) && std::isfinite(local.m[0]));
        EXPECT_NEAR(a->Node().GetPosition().x, c.shownX, 1e-3f);
    }
}

// The scene's summary of the cached events of its active items decides whether the logic
// walks run at all: it follows every change, and logic reaches exactly the items that have
// the method, also a unit set up by a handler earlier in the same evaluation.
TEST(SceneEvaluate, LogicFollowsTheActiveItemsWhoseUnitsHaveTheMethod)
{
    nKitScene k(false);
    nKitItem* a = k.Add("a");
    nKitItem* b = k.Add("b");
    nKitItem* c = k.Add("c");
    k.vm.DefineClass("Plain", {"OnUpdate"});
    nScriptUnit* plain = c->CreateScriptUnit();
    plain->SetScriptPath("plain.nut");
    plain->SetClassName("Plain");
    plain->Setup();
    nScriptUnit* unitA = 0;
    bool setUpB = false;
    k.items.handler = [&](const std::string& event, nMItem* item) {
        if (event == "OnUpdate" && item == c && setUpB) {
            setUpB = false;
            AddLogicUnit(k, b);
        }
    };
    const uint32_t logic = 1u << nManagerScriptUnit::CachedOnLogicUpdate;
    struct Step
    {
        const char* name;
        std::function<void()> change;
        bool a;
        bool b;
    };
    const Step steps[] = {
        {"no unit has the method", [] {}, false, false},
        {"a unit of a set up", [&] { AddLogicUnit(k, a); unitA = a->GetScriptUnits().GetTail()->value; }, true, false},
        {"a deactivated", [&] { a->SetActive(false, false); }, false, false},
        {"a active again", [&] { a->SetActive(true, false); }, true, false},
        {"its unit released", [&] { unitA->Release(); }, false, false},
        {"set up again", [&] { unitA->Setup(); }, true, false},
        {"its units cleared", [&] { a->ClearScriptUnits(); }, false, false},
        {"b set up by a handler in the same evaluation", [&] { setUpB = true; }, false, true},
        {"b deleted", [&] { k.scene->QueueDeletion(b); }, false, false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.change();
        for (nKitItem* item : {a, b}) item->SetLogicAccumulator(0.0f);
        k.SetFrameTicks(500);
        k.log.Clear();
        k.scene->Evaluate(SceneEvaluateScript);
        EXPECT_EQ(!k.log.With("a.OnLogicUpdate").empty(), step.a);
        EXPECT_EQ(!k.log.With("b.OnLogicUpdate").empty(), step.b);
        EXPECT_EQ(k.log.With("c.OnLogicUpdate").size(), 0u);
        EXPECT_EQ((k.scene->GetActiveCachedEvents() & logic) != 0, step.a || step.b);
    }
}

TEST(SceneEvaluate, ItemsWithABodyAreNeverInterpolated)
{
    nKitScene k;  // every item gets a body (mode none)
    nKitItem* a = k.Add("a");
    AddLogicUnit(k, a);
    a->SetLogicAccumulator(0.0f);
    k.items.handler = [&](const std::string& event, nMItem* item) {
        if (event != "OnLogicUpdate") return;
        nVector p = a->Node().GetPosition();
        p.x += 1.0f;
        a->Node().SetPosition(p);
    };
    k.SetFrameTicks(1000);
    k.scene->Evaluate(SceneEvaluateScript);
    EXPECT_EQ(k.log.With("a.OnLogicUpdate").size(), 2u);
    EXPECT_EQ(a->Node().GetPosition().x, 2.0f);
}

TEST(SceneEvaluate, DynamicBodiesPlaceTheirItemsThroughTheParent)
{
    nKitScene k;
    nKitItem* parent = k.Add("parent");
    nKitItem* dynamic = k.Add("dynamic");
    nKitItem* fixed = k.Add("fixed");
    nKitItem* sleeping = k.Add("sleeping");
    parent->Node().SetPosition(nVector(10.0f, 0.0f, 0.0f));
    parent->Node().SetRotation(nVector(0.0f, 1.5707964f, 0.0f));
    parent->Node().SetScale(nVector(2.0f, 2.0f, 2.0f));
    dynamic->Node().SetParent(&parent->Node());
    fixed->Node().SetParent(&parent->Node());
    nMatrix4 motion = nMatrix4::Translation(nVector(1.0f, 2.0f, 3.0f)) * nMatrix4::FromMatrix3(nMatrix3::RotationZ(0.5f));
    for (nKitItem* item : {dynamic, fixed, sleeping}) nKitScene::Body(item)->motionMatrix = motion;
    dynamic->GetPhysicItem()->SetMode(PhysicItemDynamic);
    fixed->GetPhysicItem()->SetMode(PhysicItemStatic);
    sleeping->GetPhysicItem()->SetMode(PhysicItemDynamic);
    sleeping->SetActive(false, false);
    nMatrix4 fixedBefore = fixed->Node().GetWorldMatrix();

    k.SetFrameTicks(166);
    k.scene->Evaluate(SceneEvaluatePhysic);

    const nMatrix4& world = dynamic->Node().GetWorldMatrix();
    for (int i = 0; i < 16; ++i) EXPECT_EQ(world.m[i], motion.m[i]) << i;
    // The local matrix is the motion matrix seen from the parent, and the components follow.
    nMatrix4 local = parent->Node().GetWorldMatrix().InverseTRS() * motion;
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(dynamic->Node().GetLocalMatrix().m[i], local.m[i], 1e-5f) << i;
    EXPECT_NEAR(dynamic->Node().GetPosition().x, local.m[3], 1e-5f);
    EXPECT_NEAR(dynamic->Node().GetScale().x, 0.5f, 1e-5f);
    // Static bodies and items that left the active list are not moved.
    for (int i = 0; i < 16; ++i) EXPECT_EQ(fixed->Node().GetWorldMatrix().m[i], fixedBefore.m[i]);
    EXPECT_EQ(sleeping->Node().GetWorldMatrix().m[3], 0.0f);
}

TEST(SceneEvaluate, BillboardsFaceTheCameraUnderARotatedParentAndKeepTheirComponents)
{
    nKitScene k(false);
    nKitItem* camera = k.Add("camera", ManagedItemCamera);
    nKitItem* parent = k.Add("parent");
    nKitItem* board = k.Add("board");
    camera->Node().SetRotation(nVector(0.3f, -0.8f, 0.1f));
    k.scene->SetCurrentCamera(&camera->Node());
    parent->Node().SetPosition(nVector(5.0f, 1.0f, -2.0f));
    parent->Node().SetRotation(nVector(0.0f, 0.7f, 0.4f));
    parent->Node().SetScale(nVector(2.0f, 3.0f, 1.0f));
    board->Node().SetParent(&parent->Node());
    board->Node().SetPosition(nVector(1.0f, 0.0f, 0.0f));
    board->Node().SetRotation(nVector(0.9f, 0.9f, 0.25f));
    board->Node().SetScale(nVector(0.5f, 0.5f, 0.5f));
    board->SetFlags(MItemFlagBillboard);

    k.scene->Evaluate(SceneEvaluateTransform);

    const nMatrix4& world = board->Node().GetWorldMatrix();
    nMatrix3 want = nMatrix3::FromMatrix4(camera->Node().GetWorldMatrix()) * nMatrix3::RotationZ(0.25f);
    const float scale[3] = {1.0f, 1.5f, 0.5f};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(world.m[4 * r + c], want.m[3 * r + c] * scale[c], 1e-5f) << r << c;
    nVector p = nVector(1.0f, 0.0f, 0.0f).Transform(parent->Node().GetWorldMatrix());
    EXPECT_NEAR(world.m[3], p.x, 1e-5f);
    EXPECT_NEAR(world.m[7], p.y, 1e-5f);
    EXPECT_NEAR(world.m[11], p.z, 1e-5f);
    EXPECT_EQ(board->Node().GetRotation().x, 0.9f);
    EXPECT_EQ(board->Node().GetPosition().x, 1.0f);
}

TEST(SceneEvaluate, PreviousWorldMatricesAreTakenForEveryItemActiveOrNot)
{
    nKitScene k;
    nKitItem* a = k.Add("a");
    nKitItem* b = k.Add("b");
    a->Node().SetPosition(nVector(1.0f, 0.0f, 0.0f));
    b->Node().SetPosition(nVector(2.0f, 0.0f, 0.0f));
    b->SetActive(false, false);
    k.scene->Evaluate(0);
    a->Node().SetPosition(nVector(5.0f, 0.0f, 0.0f));
    k.scene->Evaluate(0);
    EXPECT_EQ(a->Node().GetPreviousWorldMatrix().m[3], 5.0f);
    EXPECT_EQ(b->Node().GetPreviousWorldMatrix().m[3], 2.0f);
}

TEST(SceneEvaluate, RequestsMadeDuringAnEvaluationWaitForTheNextOne)
{
    nKitScene k;
    nKitItem* a = k.Add("a");
    nKitItem* b = k.Add("b");
    nKitItem* c = k.Add("c");
    bool once = false;
    nLogCapture capture;
    k.sceneEvents.handler = [&](const std::string& event, nScene* scene) {
        if (event != "OnUpdate" || once) return;
        once = true;
        k.Add("fresh");      // reached by the later stages of this evaluation
        scene->Evaluate(0);  // refused: the scene is evaluating
    };
    k.items.handler = [&](const std::string& event, nMItem* item) {
        if (event != "OnUpdate" || item != a) return;
        b->SetActive(false, false);  // still walked for the rest of this evaluation
        k.scene->QueueDeletion(c);
        k.scene->FlushDeletionQueue();  // left to the next evaluation
        k.scene->DeleteContent(false);  // refused
    };
    k.scene->Evaluate(SceneEvaluateScript);
    k.sceneEvents.handler = nullptr;
    k.items.handler = nullptr;
    Calls want = {"scene.OnUpdate", "a.OnUpdate", "b.OnActivate(0)", "b.OnUpdate", "c.OnUpdate", "fresh.OnUpdate",
                  "item.a.Evaluate", "item.b.Evaluate", "item.c.Evaluate", "item.fresh.Evaluate"};
    EXPECT_EQ(StageCalls(k.log), want);
    EXPECT_EQ(capture.Lines(), (Calls{"[!] Cannot evaluate scene '' while it evaluates.\n",
                                      "[!] Cannot flush the deletion queue of scene '' while it evaluates, sets up or resets.\n",
                                      "[!] Cannot delete the content of scene '' while it evaluates or deletes items.\n"}));
    k.log.Clear();
    k.scene->Evaluate(0);
    EXPECT_EQ(StageCalls(k.log), (Calls{"physics.b.Enable(0)", "c.OnDelete", "physics.c.RemoveItem",
                                        "physics.c.delete", "item.a.Evaluate", "item.fresh.Evaluate"}));
}

}
