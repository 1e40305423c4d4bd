// The script API frame: registration of the base functions and constants with exact masks,
// the base functions' behaviour, assertions killing the machine, and argument checks made
// before any function runs.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <squirrel.h>

#include "core/nSharedObject.h"
#include "resources/nTexture.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "scriptapi/nScriptAPI.h"
#include "tests/scriptapi/nScriptAPITestKit.h"
#include "tests/support/nTempDir.h"

namespace {

typedef nScriptAPITest ScriptAPITest;

// Each base function is a native closure of its name whose parameter count is its mask's.
TEST_F(ScriptAPITest, BaseFunctionsAreRegisteredWithTheirMasks)
{
    const Function functions[] = {
        {"__Assert", 3},
        {"Pow", 3},
        {"Mod", 3},
        {"AbsMod", 3},
        {"ObjectIsValid", 2},
        {"ObjectIsSame", 3},
        {"ShellExecute", 3},
        {"FileRename", 3},
        {"AIPathIsValid", 2},
        {"GeometryIsValid", 2},
        {"ItemIsValid", 2},
        {"MetatagIsValid", 2},
        {"TextureIsValid", 2},
        {"WidgetIsValid", 2},
        {"WindowIsValid", 2},
    };
    ExpectFunctions(functions);
}

TEST_F(ScriptAPITest, Constants)
{
    const Expected cases[] = {
        {"SystemClockFrequency", "10000"},
        {"EngineTypeUndefined", "0"},
        {"EngineTypeDeletednative", "1"},
        {"EngineTypeResourceSet", "4"},
        {"EngineTypeEmitter", "29"},
        {"EngineTypeCollisionShape", "37"},
        {"EngineTypeHID", "42"},
        {"EngineTypeAnimationSource", "46"},
        {"objectTypeColShape", "37"},
        {"typeof Vector", "class"},
        {"typeof Matrix3", "class"},
        {"typeof Matrix4", "class"},
    };
    ExpectEvals(cases);
}

TEST_F(ScriptAPITest, ArithmeticFunctions)
{
    const Expected cases[] = {
        {"Mod(-7, 3)", "-1"},
        {"AbsMod(-7, 3)", "2"},
        {"AbsMod(7, -3)", "1"},
        {"Mod(7, 3)", "1"},
        {"Mod(7, 0)", "error: division by zero"},
        {"AbsMod(7, 0)", "error: division by zero"},
        {"Mod(-9223372036854775807 - 1, -1)", "0"},
        {"Mod(7.5, 2)", "error: parameter 1 has an invalid type 'float' ; expected: 'integer'"},
        {"Pow(2.0, 10.0)", "1024"},
        {"Pow(2, 3.0)", "error: parameter 1 has an invalid type 'integer' ; expected: 'float'"},
        {"Pow(2.0)", "error: wrong number of parameters"},
    };
    ExpectEvals(cases);
    EXPECT_FALSE(vm.IsKilled());
}

TEST_F(ScriptAPITest, ValidityAndSameness)
{
    int item = 0;
    // Texture objects hold a reference on their texture: a real, shared one.
    nSharedPtr<nTexture> shared(new nTexture(&engine, 0, 0));
    nTexture& texture = *shared;
    int gone = 0;
    Hold("item", &item, objectTypeItem);
    Hold("itemAsCamera", &item, objectTypeCamera);
    Hold("texture", &texture, objectTypeTexture);
    Hold("nullItem", 0, objectTypeItem);
    Hold("nullGeometry", 0, objectTypeGeometry);
    Hold("dead", &gone, objectTypeItem);
    Hold("deadToo", &gone, objectTypeWidget);
    Hold("textureToo", &texture, objectTypeTexture);
    vm.InvalidateNativeObject(&gone);
    const Expected cases[] = {
        {"ObjectIsValid(item)", "true"},
        {"ItemIsValid(texture)", "true"},  // the kind is not tested
        {"ObjectIsSame(texture, textureToo)", "true"},
        {"ObjectIsValid(nullItem)", "false"},
        {"WidgetIsValid(dead)", "false"},  // a deleted native is accepted and not valid
        {"ObjectIsSame(item, itemAsCamera)", "true"},
        {"ObjectIsSame(item, nullItem)", "false"},
        {"ObjectIsSame(nullItem, nullGeometry)", "true"},
        {"ObjectIsSame(dead, deadToo)", "true"},
        {"ObjectIsValid(Vector())", "error: invalid type tag"},
        {"ObjectIsValid(1)", "error: parameter 1 has an invalid type 'integer' ; expected: 'instance'"},
        {"ObjectIsValid()", "error: wrong number of parameters"},
    };
    ExpectEvals(cases);
}

TEST_F(ScriptAPITest, AssertionKillsTheMachine)
{
    RunUncaught("__Assert(true, \"fine\");");
    EXPECT_FALSE(vm.IsKilled());
    EXPECT_TRUE(log.Lines().empty());

    RunUncaught("function Check(n) {\n  __Assert(n > 3, \"n is big\");\n}\nCheck(1);\n");
    EXPECT_TRUE(vm.IsKilled());
    EXPECT_EQ(vm.GetKillCode(), ScriptKillAssertion);
    EXPECT_STREQ(vm.GetKillReason().GetCStr(), "Assertion failed");
    EXPECT_STREQ(vm.GetErrorSource().GetCStr(), "exec.nut");
    EXPECT_EQ(vm.GetErrorLine(), 2);
    EXPECT_EQ(log.Lines(), (Lines{
                               "[!] Killing VM with reason 'Assertion failed'.\n",
                               "[|] \n",
                               "[|] Call stack (Assertion failed 'n is big'):\n",
                               "[|]   1: Check() exec.nut(2)\n",
                               "[|]   2: main() exec.nut(4)\n",
                               "[|] \n"}));
    EXPECT_FALSE(vm.BeginCall("Check", 0, 0));
}

TEST_F(ScriptAPITest, ArgumentErrorUncaughtKills)
{
    RunUncaught("function Bad() { return Mod(\"a\", 1); }\nBad();\n");
    EXPECT_TRUE(vm.IsKilled());
    EXPECT_EQ(vm.GetKillCode(), ScriptKillRuntimeError);
    EXPECT_STREQ(vm.GetKillReason().GetCStr(), "parameter 1 has an invalid type 'string' ; expected: 'integer'");
    EXPECT_EQ(log.Lines()[0], "[|] Exception: parameter 1 has an invalid type 'string' ; expected: 'integer'\n");
}

TEST_F(ScriptAPITest, ShellExecuteLogsTheOutput)
{
    EXPECT_EQ(Eval("ShellExecute(\"printf\", \"'one\\\\ntwo'\")"), "0");
    EXPECT_EQ(log.Lines(), (Lines{
                               "[H] Execute command 'printf 'one\\ntwo''\n", "\n", "one\n", "two\n"}));
    log.Clear();
    EXPECT_EQ(Eval("ShellExecute(\"exit 3;\", \"\")"), "3");
    EXPECT_EQ(log.Lines()[0], "[H] Execute command 'exit 3; '\n");
}

TEST_F(ScriptAPITest, FileRenameNeverReplaces)
{
    nTempDir dir;
    dir.Write("a.txt", "A");
    dir.Write("b.txt", "B");
    std::string a = dir.Path("a.txt"), b = dir.Path("b.txt"), c = dir.Path("c.txt");
    EXPECT_EQ(Eval("FileRename(\"" + a + "\", \"" + b + "\")"), "false");
    EXPECT_EQ(dir.Read("b.txt"), "B");
    EXPECT_EQ(Eval("FileRename(\"" + a + "\", \"" + c + "\")"), "true");
    EXPECT_EQ(dir.Read("c.txt"), "A");
    EXPECT_FALSE(dir.Exists("a.txt"));
    EXPECT_EQ(Eval("FileRename(\"" + a + "\", \"" + c + "\")"), "false");
}

// A family registers through tables; a mask that does not compile leaves the name out.
SQInteger Answer(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    int32_t n;
    if (!s.GetInt(1, n)) return SQ_ERROR;
    return s.Return(n * 2);
}

TEST_F(ScriptAPITest, FamilyTables)
{
    const ScriptFunctionDecl functions[] = {
        {"TestDouble", Answer, ".i"},
        {"TestBroken", Answer, ".q"},
        {0, 0, 0}};
    const ScriptConstantDecl constants[] = {
        {"TestSeven", 7, ScriptConstantInteger},
        {"TestNullItem", 0, objectTypeItem},
        {0, 0, 0}};
    SQInteger top = sq_gettop(v);
    ScriptRegisterFunctions(v, functions);
    ScriptRegisterConstants(v, constants);
    EXPECT_EQ(sq_gettop(v), top);
    EXPECT_EQ(log.Lines(), (Lines{"[!] Script function TestBroken has an invalid type mask '.q'.\n"}));
    EXPECT_EQ(Eval("TestDouble(TestSeven)"), "14");
    EXPECT_EQ(Eval("TestBroken"), "error: the index 'TestBroken' does not exist");
    EXPECT_EQ(Eval("ObjectIsValid(TestNullItem)"), "false");
    EXPECT_EQ(Eval("ObjectIsSame(TestNullItem, TestNullItem)"), "true");
    // Scripts may overwrite constants.
    Exec("TestSeven = 8;");
    EXPECT_EQ(Eval("TestSeven"), "8");
}

TEST_F(ScriptAPITest, ReopenedMachineRegistersAgain)
{
    vm.Close();
    ASSERT_TRUE(vm.Open());
    v = vm.GetHandle();
    EXPECT_EQ(Eval("Mod(5, 3)"), "error: the index 'Mod' does not exist");
    RegisterScriptAPI(v);
    EXPECT_EQ(Eval("Mod(5, 3)"), "2");
}

}  // namespace
