#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "core/nQuaternion.h"
#include "core/nRandom.h"
#include "physics/nPhysicItem.h"
#include "physics/nPhysicShape.h"
#include "scene/nItem.h"
#include "scene/nMItem.h"
#include "scene/nScene.h"
#include "scriptiface/nScriptUnit.h"
#include "tests/scene/kit/nKitScene.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nMLTestSupport.h"

namespace {

typedef std::vector<std::string> Lines;

TEST(ManagedItem, ChannelsOneToNineReachTheNodeAndOthersAreRefused)
{
    nKitScene k;
    nKitItem* a = k.Add("a");
    a->Node().SetPosition(nVector(1.0f, 2.0f, 3.0f));
    a->Node().SetRotation(nVector(0.1f, 0.2f, 0.3f));
    a->Node().SetScale(nVector(4.0f, 5.0f, 6.0f));
    const float want[10] = {0.0f, 1.0f, 2.0f, 3.0f, 0.1f, 0.2f, 0.3f, 4.0f, 5.0f, 6.0f};
    for (int32_t id = -1; id <= 11; ++id) {
        float value = -99.0f;
        bool known = id >= 1 && id <= 9;
        EXPECT_EQ(a->GetChannel(id, value), known) << id;
        EXPECT_EQ(value, known ? want[id] : -99.0f) << id;
    }
    for (int32_t id = 1; id <= 9; ++id) {
        a->Node().GetWorldMatrix();  // clean, so that the setter must dirty it
        ASSERT_TRUE(a->SetChannel(id, 7.0f + id));
        EXPECT_NE(a->Node().GetFlags() & ItemFlagLocalDirty, 0u) << id;
        float value = 0.0f;
        a->GetChannel(id, value);
        EXPECT_EQ(value, 7.0f + id) << id;
    }
    EXPECT_FALSE(a->SetChannel(0, 1.0f));
    EXPECT_FALSE(a->SetChannel(10, 1.0f));
    EXPECT_EQ(a->Node().GetPosition().w, 1.0f);
}

TEST(ManagedItem, OrientationRoundTripsThroughTheNodeAngles)
{
    nKitScene k;
    nKitItem* a = k.Add("a");
    a->Node().SetRotation(nVector(0.4f, -0.3f, 0.2f));
    nQuaternion q;
    a->GetOrientation(q);
    nKitItem* b = k.Add("b");
    EXPECT_TRUE(b->SetOrientation(q));
    for (int i = 0; i < 9; ++i)
        EXPECT_NEAR(b->Node().GetRotationMatrix().m[i], a->Node().GetRotationMatrix().m[i], 1e-5f);
}

TEST(ManagedItem, ResetStartsTheLogicAtARandomPhaseWithinOnePeriod)
{
    nKitScene k;
    nKitItem* a = k.Add("a");
    a->Node().SetPosition(nVector(3.0f, 0.0f, 0.0f));
    struct
    {
        float rate;
        float period;
    } cases[] = {{15.0f, 1.0f / 15.0f}, {2.0f, 0.5f}, {0.0f, 10.0f}, {-3.0f, 10.0f}};
    nRandSeed(11);
    for (const auto& c : cases) {
        a->SetLogicRate(c.rate);
        for (int i = 0; i < 50; ++i) {
            a->Reset();
            float phase = a->GetLogicAccumulator();
            ASSERT_TRUE(std::isfinite(phase)) << c.rate;
            ASSERT_GE(phase, 0.0f) << c.rate;
            ASSERT_LT(phase, c.period) << c.rate;
        }
    }
    EXPECT_EQ(a->GetLogicMatrix().m[3], 3.0f);
    EXPECT_EQ(a->GetPreviousLogicMatrix().m[3], 3.0f);
    EXPECT_EQ(k.log.With("physics.a.").back(), "physics.a.SetMatrix");
}

TEST(ManagedItem, RecordedPoseComesBackWithItsPivot)
{
    nKitScene k;
    nKitItem* a = k.Add("a");
    a->Node().SetPosition(nVector(1.0f, 2.0f, 3.0f));
    a->Node().SetRotation(nVector(0.0f, 0.5f, 0.0f));
    a->Node().SetScale(nVector(2.0f, 2.0f, 2.0f));
    nMatrix4 pivot = nMatrix4::Translation(nVector(0.0f, -1.0f, 0.5f));
    a->Node().SetPivot(pivot);
    nMatrix4 before = a->Node().GetLocalMatrix();
    a->RecordLocation();
    nMatrix4 expected = pivot.InverseTRS() * before;
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(a->GetInitialMatrix().m[i], expected.m[i], 1e-5f);

    a->Node().SetPosition(nVector(9.0f, 9.0f, 9.0f));
    a->Node().SetRotation(nVector(1.0f, 0.0f, 0.0f));
    a->RestoreInitialMatrix();
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(a->Node().GetLocalMatrix().m[i], before.m[i], 1e-5f) << i;
    EXPECT_NEAR(a->Node().GetPosition().x, 1.0f, 1e-5f);
    EXPECT_NEAR(a->Node().GetRotation().y, 0.5f, 1e-5f);

    nKitItem* plain = k.Add("plain");
    plain->Node().SetPosition(nVector(4.0f, 0.0f, 0.0f));
    plain->RestoreInitialMatrix();  // nothing recorded: nothing changes
    EXPECT_EQ(plain->Node().GetPosition().x, 4.0f);
}

struct CommandCase
{
    const char* text;
    float step;  // seconds per evaluation
    int steps;
    const char* what;           // "x" position, "sx" scale, "ry" rotation, "px" pivot, "a" opacity
    std::vector<float> values;  // after each step
};

TEST(ManagedItem, CommandsMoveTheNodeTowardsTheirTargets)
{
    // Steps stay within the longest frame the scene takes (0.2 s).
    const CommandCase cases[] = {
        {"toposition 0.5, 10, 0, 0;", 0.125f, 4, "x", {2.5f, 5.0f, 7.5f, 10.0f}},
        {"offsetposition 0.5, 4, 0, 0;", 0.125f, 4, "x", {1.0f, 2.0f, 3.0f, 4.0f}},
        {"toscale 0.4, 3, 1, 1;", 0.2f, 2, "sx", {2.0f, 3.0f}},
        {"torotation 0.2, 0, 90, 0;", 0.2f, 1, "ry", {1.5707964f}},
        {"tooffset 0.4, 4, 0, 0;", 0.2f, 2, "px", {2.0f, 4.0f}},
        {"toalpha 0.4, 0;", 0.2f, 2, "a", {0.5f, 0.0f}},
        {"toalpha 0, 3;", 0.1f, 1, "a", {1.0f}},  // clamped to 1
    };
    for (const CommandCase& c : cases) {
        SCOPED_TRACE(c.text);
        nKitScene k(false);
        nKitItem* a = k.Add("a");
        ASSERT_GT(k.scene->CompileCommandList(c.text, a), 0);
        k.SetFrameTicks((int32_t)std::lround(c.step * 10000.0f));
        for (int i = 0; i < c.steps; ++i) {
            k.scene->Evaluate(0);
            std::string w = c.what;
            float v = w == "x"    ? a->Node().GetPosition().x
                      : w == "sx" ? a->Node().GetScale().x
                      : w == "ry" ? a->Node().GetRotation().y
                      : w == "px" ? a->Node().GetPivot().m[3]
                                  : a->Node().GetOpacity();
            EXPECT_NEAR(v, c.values[(size_t)i], 1e-5f) << "step " << i;
        }
        EXPECT_TRUE(a->IsCommandListDone());
    }
}

TEST(ManagedItem, UnitsAreBoundToTheItemAndItsScenesMachine)
{
    nKitScene k;
    nKitItem* a = k.Add("a");
    nScriptUnit* unit = a->CreateScriptUnit();
    ASSERT_NE(unit, nullptr);
    void* owner = nullptr;
    int32_t type = 0;
    unit->GetOwner(&owner, &type);
    EXPECT_EQ(owner, static_cast<void*>(static_cast<nMItem*>(a)));
    EXPECT_EQ(type, 24);
    EXPECT_EQ(unit->GetVM(), &k.vm);
    EXPECT_EQ(a->GetScriptUnits().GetTail()->value, unit);
}

TEST(ManagedItem, SetupBuildsTheBodyAndKeepsAnInactiveOneOutOfTheSimulation)
{
    nKitScene k;
    nKitItem* on = k.Add("on");
    nKitItem* off = k.Add("off");
    off->SetActive(false, false);
    k.log.Clear();
    on->Setup();
    off->Setup();
    Lines want = {"physics.on.Create", "on.OnSetupDone", "physics.off.Create", "physics.off.Enable(0)", "off.OnSetupDone"};
    EXPECT_EQ(k.log.Calls(), want);
}

TEST(ManagedItem, ReparentingTellsTheListenersAroundTheChange)
{
    nKitScene k;
    nKitItem* a = k.Add("a");
    nKitItem* b = k.Add("b");
    struct Recorder : nSceneListener
    {
        std::vector<std::string> events;
        nKitItem* child;
        void OnSceneEvent(int32_t code, void* data) override
        {
            events.push_back(std::to_string(code) + (child->Node().GetParent() ? " linked" : " free"));
        }
    } recorder;
    recorder.child = b;
    k.scene->AddListener(&recorder);
    b->SetParentNotified(&a->Node());
    k.scene->RemoveListener(&recorder);
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"13 free", "14 linked"}));
}

// A document from NML text; the first root is the tag under test.
TEST(ManagedItem, NmlRoundTripKeepsEveryValue)
{
    nKitScene k;
    nKitItem* a = k.Add("door");
    a->SetFlags(MItemFlagBillboard | MItemFlagGhost | MItemFlagTriggerDetected | MItemFlagStatic | MItemFlagSolveOverlap);
    a->SetHelper(true);
    a->SetLogicRate(30.0f);
    a->SetPriority(0.75f);
    a->Node().SetPosition(nVector(1.0f, 2.0f, 3.0f));
    a->RecordLocation();
    nScriptUnit* unit = a->CreateScriptUnit();
    unit->SetScriptPath("door.nut");
    unit->SetClassName("Door");
    a->GetPhysicItem()->SetMode(PhysicItemDynamic);
    a->GetPhysicItem()->AddShape()->SetTypeAndSize(PhysicShapeBox, nVector(1.0f, 2.0f, 3.0f));

    nMetaFile document;
    nMetaTag* tag = a->Serialize(&document);
    ASSERT_NE(tag, nullptr);
    Lines children;
    nMetaTagIterator it;
    while (nMetaTag* child = tag->NextChild(it)) children.push_back(child->GetName().GetCStr());
    Lines want = {"Id", "UId", "Active", "Helper", "Billboard", "SolveOverlap", "Ghost", "Static", "TriggerDetected",
                  "InitialMatrix", "Priority", "ScriptLogicFq", "MotionPlayer", "ScriptedObject", "ScriptUnit", "PhysicItem"};
    EXPECT_EQ(children, want);

    nKitItem* b = k.Add("copy");
    b->SetUid(-1);
    ASSERT_TRUE(b->Deserialize(&document, tag));
    EXPECT_TRUE(b->GetName() == "door");
    EXPECT_EQ(b->GetUid(), a->GetUid());
    EXPECT_TRUE(b->IsActive());
    EXPECT_TRUE(b->IsHelper());
    EXPECT_EQ(b->GetFlags(), a->GetFlags());
    EXPECT_EQ(b->GetLogicRate(), 30.0f);
    EXPECT_EQ(b->GetPriority(), 0.75f);
    ASSERT_TRUE(b->HasInitialMatrix());
    EXPECT_EQ(b->GetInitialMatrix().m[3], 1.0f);
    // The units come from "ScriptedObject" only, not once more from the lone "ScriptUnit".
    ASSERT_EQ(b->GetScriptUnits().GetCount(), 1);
    EXPECT_TRUE(b->GetScriptUnits().GetHead()->value->GetClassName() == "Door");
    EXPECT_EQ(b->GetPhysicItem()->GetMode(), PhysicItemDynamic);
    ASSERT_EQ(b->GetPhysicItem()->GetShapes().GetCount(), 1);
    EXPECT_EQ(b->GetPhysicItem()->GetShapes().GetHead()->value->size.z, 3.0f);
    delete tag;
}

TEST(ManagedItem, NmlReadingReportsBadTagsAndResetsItsState)
{
    nKitScene k;
    nKitItem* a = k.Add("a");
    a->CreateScriptUnit();
    a->RecordLocation();
    nLogCapture capture;
    nMetaFile document;
    nMetaTag* wrong = nMLParseRoot(document, "<Item= <UId=3> >");
    EXPECT_FALSE(a->Deserialize(&document, wrong));
    nMetaFile noUid;
    EXPECT_FALSE(a->Deserialize(&noUid, nMLParseRoot(noUid, "<MItem= <Id=\"x\"> <Shiny> >")));
    EXPECT_FALSE(a->IsActive());  // no "Active": inactive
    EXPECT_FALSE(a->HasInitialMatrix());
    EXPECT_EQ(a->GetScriptUnits().GetCount(), 0);
    Lines want = {"[!] Could not parse managed item. Root tag id is incorrect (Item).\n",
                  "[*] Unknown tag 'Shiny' in <MItem>.\n",
                  "[!] Managed item 'x' Uid is invalid.\n"};
    EXPECT_EQ(capture.Lines(), want);
}

struct OldFormCase
{
    const char* what;
    const char* body;  // children of MItem besides Id and UId
    int32_t mode;
    float mass;  // of the first shape, -1 without shapes
    int32_t selfMask;
    int32_t units;
};

TEST(ManagedItem, OlderBodyAndUnitFormsAreStillRead)
{
    const OldFormCase cases[] = {
        {"rigid tau item makes a dynamic body",
         "<TauItem= <Mode= <Rigid> > > <GColItem= <SelfMask=4> <Shapes= <GColShape= <Type=\"Box\"> <Mass=2.0> > > >",
         PhysicItemDynamic, 2.0f, 4, 0},
        {"tau item without rigid mode zeroes the masses and the body turns static",
         "<TauItem= <Mode= <Soft> > > <GColItem= <Shapes= <GColShape= <Mass=3.0> > > >",
         PhysicItemStatic, 0.0f, 1, 0},
        {"shapes without any mode make a static body",
         "<GColItem= <Shapes= <GColShape= <Mass=3.0> > > >",
         PhysicItemStatic, 3.0f, 1, 0},
        {"neither rigid mode nor shapes leaves the body alone",
         "<TauItem= <Other> >",
         PhysicItemNone, -1.0f, 1, 0},
        {"a lone unit tag makes one unit",
         "<ScriptUnit= <Script=\"a.nut\"> <Class=\"A\"> >",
         PhysicItemNone, -1.0f, 1, 1},
    };
    for (const OldFormCase& c : cases) {
        SCOPED_TRACE(c.what);
        nKitScene k;
        nKitItem* a = k.Add("a");
        nMetaFile document;
        nMetaTag* tag = nMLParseRoot(document, std::string("<MItem= <Id=\"a\"> <UId=5> ") + c.body + " >");
        ASSERT_NE(tag, nullptr);
        nLogCapture capture;
        ASSERT_TRUE(a->Deserialize(&document, tag));
        nPhysicItem* body = a->GetPhysicItem();
        EXPECT_EQ(body->GetMode(), c.mode);
        if (c.mass < 0.0f) {
            EXPECT_EQ(body->GetShapes().GetCount(), 0);
        } else {
            ASSERT_EQ(body->GetShapes().GetCount(), 1);
            EXPECT_EQ(body->GetShapes().GetHead()->value->mass, c.mass);
        }
        EXPECT_EQ(body->GetSelfMask(), c.selfMask);
        EXPECT_EQ(a->GetScriptUnits().GetCount(), c.units);
        EXPECT_EQ(capture.Lines(), Lines{});
    }
}

}
