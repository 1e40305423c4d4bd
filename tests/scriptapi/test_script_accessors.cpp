// The accessor templates and the one-line argument reads on a family other than Item: the
// functions a new family writes as table rows, called from scripts.

#include <gtest/gtest.h>

#include <string>

#include <squirrel.h>

#include "scene/nMotion.h"
#include "script/nCObject.h"
#include "scriptapi/nItemScriptAccessors.h"
#include "scriptapi/nScriptAPI.h"
#include "tests/scriptapi/nScriptAPITestKit.h"

namespace {

int32_t TwiceTheLoopMode(nMotion* motion) { return 2 * motion->GetLoopMode(); }

// (Motion, name, loop mode): both set in one call, read through Args.
SQInteger MotionRename(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMotion* motion;
    const char* name;
    int32_t mode;
    if (!s.Args(motion, name, mode)) return SQ_ERROR;
    motion->SetName(name);
    motion->SetLoopMode(mode);
    return s.Return(motion->GetName().GetCStr());
}

const ScriptFunctionDecl kMotionRows[] = {
    {"MotionGetLoopMode", ScriptGet<&nMotion::GetLoopMode>, ".x"},
    {"MotionSetLoopMode", ScriptSet<&nMotion::SetLoopMode>, ".xi"},
    {"MotionSetUseQuaternion", ScriptSet<&nMotion::SetUseQuaternion>, ".xb"},
    {"MotionGetUseQuaternion", ScriptGet<&nMotion::GetUseQuaternion>, ".x"},
    {"MotionTwiceTheLoopMode", ScriptGet<TwiceTheLoopMode>, ".x"},
    {"MotionCheck", ScriptCheckOnly<nMotion>, ".xi"},
    {"MotionRename", MotionRename, ".xsi"},
    {0, 0, 0}};

class ScriptAccessors : public nScriptAPITest
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(nScriptAPITest::SetUp());
        ScriptRegisterFunctions(v, kMotionRows);
        Hold("motion", &motion, objectTypeMotion);
        Hold("nullMotion", 0, objectTypeMotion);
        Hold("item", &motion, objectTypeItem);  // the wrong kind
    }

    nMotion motion{"walk"};
};

TEST_F(ScriptAccessors, RowsOfAnotherKindReadTheirObjectAndValue)
{
    Exec("MotionSetLoopMode(motion, 2)");
    EXPECT_EQ(motion.GetLoopMode(), 2);
    EXPECT_EQ(Eval("MotionGetLoopMode(motion)"), "2");
    EXPECT_EQ(Eval("MotionTwiceTheLoopMode(motion)"), "4");
    Exec("MotionSetUseQuaternion(motion, true)");
    EXPECT_EQ(Eval("MotionGetUseQuaternion(motion)"), "true");
    EXPECT_EQ(Eval("MotionRename(motion, \"run\", 1)"), "run");
    EXPECT_STREQ(motion.GetName().GetCStr(), "run");
    EXPECT_EQ(motion.GetLoopMode(), 1);
    Exec("MotionCheck(motion, 5)");
}

TEST_F(ScriptAccessors, TheObjectIsCheckedFirstWithTheFamilyErrors)
{
    const int32_t mode = motion.GetLoopMode();
    struct Case
    {
        const char* call;
        const char* error;
    };
    const Case cases[] = {
        {"MotionGetLoopMode(nullMotion)", "CObject is null"},
        {"MotionSetLoopMode(nullMotion, 3)", "CObject is null"},
        {"MotionCheck(nullMotion, 1)", "CObject is null"},
        {"MotionGetLoopMode(item)", "Expected 'Motion' got 'Item'"},
        {"MotionRename(item, \"x\", 3)", "Expected 'Motion' got 'Item'"},
    };
    for (const Case& c : cases) EXPECT_EQ(Run(c.call), c.error) << c.call;
    EXPECT_STREQ(motion.GetName().GetCStr(), "walk");  // nothing ran past the failed read
    EXPECT_EQ(motion.GetLoopMode(), mode);
}

}
