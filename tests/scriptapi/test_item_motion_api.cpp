// The Item functions of motions, command lists, script units and the per-item registry,
// called from scripts on a scene of managed items made by the scene's own factories and
// evaluated frame by frame.

#include <gtest/gtest.h>

#include <string>

#include "scene/nItem.h"
#include "scene/nMItem.h"
#include "scene/nMotion.h"
#include "scene/nScene.h"
#include "script/nCObject.h"
#include "tests/scene/kit/nKitClock.h"
#include "tests/scriptapi/nScriptAPITestKit.h"
#include "tests/support/nTempDir.h"

namespace {

// A motion whose channel runs linearly from 0 to slope * length over [0, length] seconds.
nMotion* Ramp(const char* name, int32_t channel, float slope, float length)
{
    nMotion* motion = new nMotion(name);
    nMotionChannel* c = motion->AddChannel(channel);
    c->SetKeyCount(2);
    c->GetKey(1)->time = length;
    c->GetKey(1)->value = slope * length;
    return motion;
}

class ItemMotionAPI : public nScriptAPITest
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(nScriptAPITest::SetUp());
        CreateScene();
        box = scene->CreateObject("box", 0);
        table = scene->CreateObject("table", 0);
        lamp = scene->CreateTrigger("lamp");
        ASSERT_TRUE(box && table && lamp);
        // The box turns a quarter turn per second about y for ten seconds; the table carries
        // a motion of its own.
        box->GetMotions().InsertAfter(Ramp("turn", ChannelYRot, kPi / 2.0f, 10.0f), 0);
        box->GetMotions().InsertAfter(Ramp("rise", ChannelYPos, 1.0f, 10.0f), 0);
        table->GetMotions().InsertAfter(Ramp("tilt", ChannelXRot, 1.0f, 10.0f), 0);
        Hold("box", box, objectTypeItem);
        Hold("table", table, objectTypeItem);
        Hold("lamp", lamp, objectTypeItem);
        Hold("nullItem", 0, objectTypeItem);
        Hold("nullMotion", 0, objectTypeMotion);
        log.Clear();
    }

    // One evaluation of the scene after a frame of the given seconds.
    void Frame(float seconds)
    {
        SetEngineFrameTime(&engine, (int32_t)(seconds * 10000.0f + 0.5f));
        scene->Evaluate(SceneEvaluateAnimation | SceneEvaluateTransform);
    }

    void Frames(int count, float seconds)
    {
        for (int i = 0; i < count; ++i) Frame(seconds);
    }

    nMItem* box = 0;
    nMItem* table = 0;
    nMItem* lamp = 0;
};

TEST_F(ItemMotionAPI, NamesAreRegisteredWithTheirParameterCounts)
{
    const Function functions[] = {
        {"ItemGetMotion", 3},
        {"ItemGetMotionFromIndex", 3},
        {"ItemSetMotion", 8},
        {"ItemMotionSlotSet", 8},
        {"ItemStopMotion", 2},
        {"ItemMotionSlotStop", 3},
        {"ItemIsMotionPlaying", 2},
        {"ItemMotionSlotIsPlaying", 3},
        {"ItemIsMotionDone", 2},
        {"ItemMotionSlotIsDone", 3},
        {"ItemMotionSlotGetTime", 3},
        {"ItemMotionSlotSetTime", 4},
        {"ItemMotionSlotGetClockScale", 3},
        {"ItemMotionSlotSetClockScale", 4},
        {"ItemMotionSlotGet", 3},
        {"ItemMotionGetClockScale", 2},
        {"ItemMotionSetClockScale", 3},
        {"ItemMotionGetPaused", 2},
        {"ItemMotionSetPaused", 3},
        {"ItemMotionSetPropagation", 4},
        {"ItemReplicateItemMotion", 3},
        {"ItemSetCommandList", 3},
        {"ItemResetCommandList", 2},
        {"ItemIsCommandListDone", 2},
        {"ItemSetScript", 4},
        {"ItemSetupScript", 2},
        {"ItemHasScript", 3},
        {"ItemGetScriptInstance", 2},
        {"ItemGetScriptInstanceCount", 2},
        {"ItemGetScriptInstanceFromIndex", 3},
        {"ItemGetScriptInstanceFromClass", 3},
        {"ItemGetScriptLogicFrequency", 2},
        {"ItemSetScriptLogicFrequency", 3},
        {"ItemRegistrySetKey", 4},
        {"ItemRegistryGetKey", 3},
    };
    ExpectFunctions(functions);
}

TEST_F(ItemMotionAPI, ArgumentErrorsPerKindOfArgument)
{
    const Expected cases[] = {
        {"ItemIsCommandListDone(nullItem)", "CObject is null"},
        {"ItemIsCommandListDone(nullMotion)", "Expected 'Item' got 'Motion'"},
        {"ItemIsCommandListDone(Vector())", "invalid type tag"},
        {"ItemReplicateItemMotion(box, nullItem)", "CObject is null"},
        {"ItemSetMotion(box, 0, nullMotion, 0.0, 1.0, 0.0, 1.0)", "CObject is null"},
        {"ItemSetMotion(box, 0, box, 0.0, 1.0, 0.0, 1.0)", "Expected 'Motion' got 'Item'"},
        {"ItemSetMotion(box, 0.5, ItemGetMotion(box, \"turn\"), 0.0, 1.0, 0.0, 1.0)",
         "parameter 2 has an invalid type 'float' ; expected: 'integer'"},
        {"ItemGetScriptLogicFrequency(box, 1)", "wrong number of parameters"},
    };
    ExpectRuns(cases);
    EXPECT_FALSE(box->IsPlaying());
    EXPECT_FALSE(vm.IsKilled());
}

// The scene runs command lists in frames of at most 0.2 s: these frames are a tenth of that.
TEST_F(ItemMotionAPI, CommandListMovesTheItemOverEvaluations)
{
    Exec("ItemSetCommandList(box, \"toposition 1, 10, 0, 0; torotation 2, 0, 90, 0 + toscale 2, 3, 3, 3;\")");
    EXPECT_EQ(Eval("ItemIsCommandListDone(box)"), "false");
    Frames(5, 0.1f);
    EXPECT_NEAR(Node(box)->GetPosition().x, 5.0f, 1e-4f);
    Frames(5, 0.1f);
    EXPECT_NEAR(Node(box)->GetPosition().x, 10.0f, 1e-4f);
    Frames(10, 0.1f);
    EXPECT_NEAR(Node(box)->GetRotation().y, kPi / 4.0f, 1e-4f);  // degrees in the text
    EXPECT_NEAR(Node(box)->GetScale().x, 2.0f, 1e-4f);
    EXPECT_EQ(Eval("ItemIsCommandListDone(box)"), "false");
    Frames(10, 0.1f);
    EXPECT_NEAR(Node(box)->GetRotation().y, kPi / 2.0f, 1e-4f);
    EXPECT_NEAR(Node(box)->GetScale().z, 3.0f, 1e-4f);
    EXPECT_EQ(Eval("ItemIsCommandListDone(box)"), "true");

    // A looping list never finishes; a reset stops it where it stands.
    Exec("ItemSetCommandList(table, \"loop 0.001; offsetposition 1, 0, 2, 0; next 0.001;\")");
    Frames(30, 0.1f);
    EXPECT_EQ(Eval("ItemIsCommandListDone(table)"), "false");
    float y = Node(table)->GetPosition().y;
    EXPECT_GT(y, 2.5f);
    Exec("ItemResetCommandList(table)");
    EXPECT_EQ(Eval("ItemIsCommandListDone(table)"), "true");
    Frames(2, 0.1f);
    EXPECT_EQ(Node(table)->GetPosition().y, y);
    EXPECT_EQ(log.Lines(), Lines{});
}

TEST_F(ItemMotionAPI, BadCommandListLogsTheCompilerLineAndTheScriptGoesOn)
{
    Exec("ItemSetCommandList(box, \"toposition 1, 1, 2, 3;\")");
    Exec("ItemSetCommandList(box, \"jump 1, 2;\"); print(\"still running\")");
    EXPECT_EQ(log.Lines(), (Lines{"[!] Undefined ACE command 'jump'.\n", "[S] still running\n"}));
    EXPECT_EQ(Eval("ItemIsCommandListDone(box)"), "true");  // the old list is gone too
    EXPECT_FALSE(vm.IsKilled());
}

TEST_F(ItemMotionAPI, MotionLookupByNameAndIndex)
{
    const Expected cases[] = {
        {"ObjectIsValid(ItemGetMotion(box, \"rise\"))", "true"},
        {"ObjectIsSame(ItemGetMotion(box, \"rise\"), ItemGetMotionFromIndex(box, 1))", "true"},
        {"ObjectIsSame(ItemGetMotion(box, \"turn\"), ItemGetMotionFromIndex(box, 0))", "true"},
        {"ObjectIsValid(ItemGetMotion(box, \"Turn\"))", "false"},
        {"ObjectIsValid(ItemGetMotion(box, \"tilt\"))", "false"},
        {"ObjectIsValid(ItemGetMotionFromIndex(box, 2))", "false"},
        {"ObjectIsValid(ItemGetMotionFromIndex(box, -1))", "false"},
        {"ItemGetMotionFromIndex(box, 2) == null", "false"},  // a null Motion, not a script null
        {"ObjectIsValid(ItemMotionSlotGet(box, 0))", "false"},
    };
    ExpectEvals(cases);
}

// A motion a script holds dies with its item, whichever way the item goes: the script then
// holds a deleted native, as it does for the item, and no other item's motions are touched.
TEST_F(ItemMotionAPI, MotionsHeldByScriptsReadAsDeletedOnceTheirItemGoes)
{
    ASSERT_EQ(Run("::tilt <- ItemGetMotion(table, \"tilt\"); ::rise <- ItemGetMotion(box, \"rise\");"), "");
    scene->QueueDeletion(table);
    scene->FlushDeletionQueue();
    const Expected after[] = {
        {"ObjectIsValid(tilt)", "false"},
        {"ObjectIsValid(rise)", "true"},
    };
    ExpectEvals(after);
    const Expected refused[] = {
        {"ItemSetMotion(box, 0, tilt, 0.0, 1.0, 0.0, 1.0)", "Expected 'Motion' got 'Deleted native'"},
    };
    ExpectRuns(refused);

    ASSERT_EQ(Run("::turn <- ItemGetMotion(box, \"turn\");"), "");
    scene->DeleteContent(false);
    EXPECT_EQ(Eval("ObjectIsValid(turn)"), "false");
    EXPECT_EQ(Eval("ObjectIsValid(rise)"), "false");
}

// Slot 0 and slot 5 play the same way: the item has one set of sources.
TEST_F(ItemMotionAPI, MotionPlayedByScriptTurnsTheItemFromItsClockAtItsClockScale)
{
    for (const char* slot : {"0", "5"}) {
        SCOPED_TRACE(slot);
        Exec("ItemStopMotion(box)");
        Node(box)->SetRotation(nVector(0.0f, 0.0f, 0.0f, 1.0f));
        EXPECT_EQ(Eval("ItemMotionSlotIsPlaying(box, " + std::string(slot) + ")"), "false");
        // Starts at 2 s, at twice the speed: after half a second of frames the clock reads 3 s.
        Exec("ItemSetMotion(box, " + std::string(slot) + ", ItemGetMotion(box, \"turn\"), 0.0, 1.0, 2.0, 2.0)");
        EXPECT_EQ(Eval("ItemIsMotionPlaying(box)"), "true");
        Frame(0.25f);
        Frame(0.25f);
        EXPECT_NEAR(Number("ItemMotionSlotGetTime(box, 3)"), 3.0f, 1e-4f);
        EXPECT_NEAR(Number("ItemMotionSlotGetClockScale(box, 3)"), 2.0f, 1e-6f);
        EXPECT_NEAR(Node(box)->GetRotation().y, 3.0f * kPi / 2.0f, 1e-4f);
        EXPECT_EQ(Eval("ItemIsMotionDone(box)"), "false");
    }

    // Moved on by script: a new clock and a pause.
    Exec("ItemMotionSlotSetTime(box, 1, 9.0); ItemMotionSlotSetClockScale(box, 1, 0.0)");
    Frame(0.5f);
    EXPECT_NEAR(Number("ItemMotionSlotGetTime(box, 0)"), 9.0f, 1e-4f);
    EXPECT_NEAR(Node(box)->GetRotation().y, 9.0f * kPi / 2.0f, 1e-3f);

    // Past the end of a motion that does not loop it is done, and still playing until stopped.
    Exec("ItemMotionSlotSetClockScale(box, 0, 1.0)");
    Frame(1.5f);
    EXPECT_EQ(Eval("ItemMotionSlotIsDone(box, 0)"), "true");
    EXPECT_EQ(Eval("ItemIsMotionPlaying(box)"), "true");
    Exec("ItemMotionSlotStop(box, 2)");
    EXPECT_EQ(Eval("ItemIsMotionPlaying(box)"), "false");
}

// A new motion fades in at its weight while the playing one fades out and is dropped.
TEST_F(ItemMotionAPI, MotionCrossFadeWithWeight)
{
    Exec("ItemSetMotion(box, 0, ItemGetMotion(box, \"rise\"), 0.0, 1.0, 4.0, 1.0)");
    Frame(0.001f);
    Exec("ItemSetMotion(box, 0, ItemGetMotion(box, \"turn\"), 1.0, 0.5, 0.0, 1.0)");
    Frame(0.5f);
    // Still the oldest source: the rise, half faded out.
    EXPECT_NEAR(Number("ItemMotionSlotGetTime(box, 0)"), 4.501f, 1e-3f);
    EXPECT_NEAR(Node(box)->GetPosition().y, 4.501f, 1e-3f);             // only the rise drives y
    EXPECT_NEAR(Node(box)->GetRotation().y, 0.5f * kPi / 2.0f, 1e-4f);  // only the turn drives the rotation
    EXPECT_EQ(box->GetSourceList().GetCount(), 2);
    Frame(0.6f);
    ASSERT_EQ(box->GetSourceList().GetCount(), 1);
    EXPECT_NEAR(Number("ItemMotionSlotGetTime(box, 0)"), 1.1f, 1e-4f);
    EXPECT_NEAR(box->GetSourceList().GetAt(0)->GetWeight(), 0.5f, 1e-6f);
}

TEST_F(ItemMotionAPI, NothingPlayingAndTheFixedResults)
{
    const Expected cases[] = {
        {"ItemMotionSlotGetTime(box, 0)", "-1"},
        {"ItemMotionSlotGetClockScale(box, 0)", "0"},
        {"ItemIsMotionPlaying(box)", "false"},
        {"ItemIsMotionDone(box)", "true"},
        {"ItemMotionGetClockScale(box)", "-1"},
        {"ItemMotionGetPaused(box)", "false"},
        {"ItemMotionSetClockScale(box, 3) == null", "true"},
        {"ItemMotionSetPaused(box, true) == null", "true"},
        {"ItemMotionSetPropagation(box, true, false) == null", "true"},
        {"ItemReplicateItemMotion(box, table) == null", "true"},
    };
    Exec("ItemMotionSlotSetTime(box, 0, 5.0); ItemMotionSlotSetClockScale(box, 0, 3.0)");
    ExpectEvals(cases);
    EXPECT_EQ(log.Lines(), Lines{});
}

// A source keeps a plain pointer to its motion, which dies with the item owning it.
TEST_F(ItemMotionAPI, MotionOfAnotherItemIsRefused)
{
    Exec("ItemSetMotion(box, 0, ItemGetMotion(table, \"tilt\"), 0.0, 1.0, 0.0, 1.0)");
    EXPECT_FALSE(box->IsPlaying());
    EXPECT_EQ(log.Lines(), Lines{"[!] Cannot play a motion of another item on item 'box'.\n"});
}

TEST_F(ItemMotionAPI, ScriptUnitsAttachedSetUpAndReached)
{
    nTempDir dir;
    ASSERT_TRUE(dir.Write("lift.nut",
                          "class Lift { count = 0; function OnSetup(item) { print(\"lift up\"); }\n"
                          "             function OnSetupDone(item) { print(\"lift done\"); } }\n"
                          "class Bell { function OnSetup(item) { print(\"bell up\"); } }\n"));
    std::string path = dir.Path("lift.nut");
    EXPECT_EQ(Run("ItemGetScriptInstance(box)"), "Item has no script unit");
    EXPECT_EQ(Eval("ItemGetScriptInstanceCount(box)"), "0");

    Exec("ItemSetScript(box, \"" + path + "\", \"Lift\")");
    EXPECT_EQ(log.Lines(), Lines{});  // attached, not yet instantiated
    EXPECT_EQ(Run("ItemGetScriptInstance(box)"), "Script unit is not open");
    Exec("ItemSetupScript(box)");
    EXPECT_EQ(log.Lines(), Lines{"[S] lift up\n"});

    // A second unit made by the engine, set up by the next call.
    nScriptUnit* bell = box->CreateScriptUnit();
    ASSERT_NE(bell, nullptr);
    bell->SetScriptPath(path.c_str());
    bell->SetClassName("Bell");
    Exec("ItemSetupScript(box)");
    EXPECT_EQ(log.Lines(), (Lines{"[S] lift up\n", "[S] bell up\n"}));

    Exec("ItemGetScriptInstance(box).count = 7");
    const Expected cases[] = {
        {"ItemGetScriptInstanceCount(box)", "2"},
        {"ItemHasScript(box, \"Bell\")", "true"},
        {"ItemHasScript(box, \"bell\")", "false"},
        {"ItemGetScriptInstanceFromClass(box, \"Lift\").count", "7"},
        {"ItemGetScriptInstanceFromIndex(box, 0).count", "7"},
        {"ItemGetScriptInstanceFromIndex(box, 1) instanceof Bell", "true"},
        {"ItemGetScriptInstanceFromIndex(box, 2)", "error: Script unit is not open"},
        {"ItemGetScriptInstanceFromIndex(box, -1)", "error: Script unit is not open"},
        {"ItemGetScriptInstanceFromClass(box, \"Horn\")", "error: Script unit not found"},
    };
    ExpectEvals(cases);

    // Setting the script again reuses the first unit and sets the item up again.
    log.Clear();
    Exec("ItemSetScript(box, \"" + path + "\", \"Bell\")");
    EXPECT_EQ(log.Lines(), Lines{"[S] lift done\n"});
    EXPECT_EQ(Eval("ItemGetScriptInstanceCount(box)"), "2");
    EXPECT_EQ(Eval("ItemHasScript(box, \"Lift\")"), "false");
    EXPECT_FALSE(vm.IsKilled());
}

TEST_F(ItemMotionAPI, LogicFrequencyIsStoredAsGiven)
{
    struct Case
    {
        const char* rate;
        float stored;
    };
    const Case cases[] = {{"30", 30.0f}, {"2.5", 2.5f}, {"0", 0.0f}, {"-4", -4.0f}};
    for (const Case& c : cases) {
        Exec(std::string("ItemSetScriptLogicFrequency(lamp, ") + c.rate + ")");
        EXPECT_EQ(lamp->GetLogicRate(), c.stored) << c.rate;
        EXPECT_EQ(Number("ItemGetScriptLogicFrequency(lamp)"), c.stored) << c.rate;
    }
}

TEST_F(ItemMotionAPI, RegistryKeysStoreTypedValuesOnTheNode)
{
    struct Case
    {
        const char* key;
        const char* value;
        const char* read;
        const char* type;
    };
    const Case cases[] = {
        {"Game:Score", "3", "3", "integer"},
        {"Game:Alive", "true", "true", "bool"},
        {"Game:Speed", "2.5", "2.5", "float"},
        {"Name", "\"crate\"", "crate", "string"},
        {"Game:Score", "\"high\"", "high", "string"},  // a new value replaces the old
    };
    for (const Case& c : cases) {
        Exec(std::string("ItemRegistrySetKey(box, \"") + c.key + "\", " + c.value + ")");
        std::string get = std::string("ItemRegistryGetKey(box, \"") + c.key + "\")";
        EXPECT_EQ(Eval(get), c.read) << c.key;
        EXPECT_EQ(Eval("typeof " + get), c.type) << c.key;
    }
    EXPECT_EQ(Node(box)->GetRegistry().GetString("Game:Score", ""), std::string("high"));
    EXPECT_EQ(Node(box)->GetRegistry().GetInt("Game:Alive", 0), 0);  // kept as a bool
    EXPECT_EQ(Eval("ItemRegistryGetKey(box, \"Game:Scores\")"), "-1");
    EXPECT_EQ(Eval("ItemRegistryGetKey(box, \"Game\")"), "-1");          // a tag without a value
    EXPECT_EQ(Eval("ItemRegistryGetKey(table, \"Game:Score\")"), "-1");  // per item
    EXPECT_EQ(log.Lines(), Lines{});

    Exec("ItemRegistrySetKey(box, \"Game:Bag\", {a = 1})");
    EXPECT_EQ(log.Lines(), Lines{"[*] Incorrect binding argument count.\n"});
    EXPECT_NE(Node(box)->GetRegistry().FindPath("Game:Bag"), nullptr);  // made, with an empty value
    EXPECT_EQ(Eval("ItemRegistryGetKey(box, \"Game:Bag\")"), "-1");
}

}  // namespace
