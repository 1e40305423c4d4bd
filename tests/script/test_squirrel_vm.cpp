// The script machine: running files, the kill policy and its log lines, refused calls after a
// kill, values in and out, and a stack that keeps its height through every good and failed call.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <squirrel.h>

#include "core/nScriptObject.h"
#include "core/nScriptValue.h"
#include "hub/nOrvex.h"
#include "script/nCObject.h"
#include "scriptiface/nScriptUnit.h"
#include "script/nSquirrelVM.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nTempDir.h"

namespace {

class SquirrelVMTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(vm.Open()); }

    // Writes the script and runs it; the path it ran under.
    std::string Run(const std::string& name, const std::string& text)
    {
        dir.Write(name, text);
        std::string path = dir.Path(name);
        EXPECT_TRUE(vm.RunFile(path.c_str(), 0));
        return path;
    }

    SQInteger Top() { return sq_gettop(vm.GetHandle()); }

    bool Call(const char* name, nScriptValue* result = 0)
    {
        return vm.BeginCall(name, 0, 0) && vm.ExecuteCall(result);
    }

    // Lines of the log that contain text.
    std::vector<std::string> LinesWith(const std::string& text)
    {
        std::vector<std::string> out;
        for (const std::string& l : log.Lines())
            if (l.find(text) != std::string::npos) out.push_back(l);
        return out;
    }

    nLogCapture log;
    nTempDir dir;
    nSquirrelVM vm{0};
};

TEST_F(SquirrelVMTest, ScriptsPrintScriptLines)
{
    Run("hello.nut", "print(\"hello \" + (6 * 7));\nfunction Twice(x) { return x * 2; }\n");
    EXPECT_EQ(LinesWith("hello"), (std::vector<std::string>{"[S] hello 42\n"}));

    nScriptValue result;
    ASSERT_TRUE(vm.BeginCall("Twice", 0, 0));
    ASSERT_TRUE(vm.PushArgument(nScriptValue((int32_t)21)));
    ASSERT_TRUE(vm.ExecuteCall(&result));
    int32_t value = 0;
    ASSERT_EQ(result.GetKind(), ScriptValue_Plain);
    ASSERT_TRUE(result.GetValue().GetInt(&value));
    EXPECT_EQ(value, 42);
    EXPECT_FALSE(vm.IsKilled());
}

TEST_F(SquirrelVMTest, MissingAndEmptyFiles)
{
    EXPECT_TRUE(vm.RunFile(0, 0));
    std::string missing = dir.Path("none.nut");
    EXPECT_FALSE(vm.RunFile(missing.c_str(), 0));
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"[!] Failed to locate script '" + missing + "'.\n"}));
    log.Clear();
    dir.Write("empty.nut", "");
    EXPECT_FALSE(vm.RunFile(dir.Path("empty.nut").c_str(), 0));
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_FALSE(vm.IsKilled());
}

// A file run again runs again, with its text as it is now: a new text, a broken one, and the
// earlier text back each take effect, and a closed and reopened machine starts afresh.
TEST_F(SquirrelVMTest, FileRunAgainRunsItsCurrentText)
{
    auto runs = [this]() {
        nScriptValue value;
        int32_t n = -1;
        EXPECT_TRUE(vm.GetValue("g_runs", value, 0));
        value.GetValue().GetInt(&n);
        return n;
    };
    Run("count.nut", "if (!(\"g_runs\" in getroottable())) ::g_runs <- 0;\n::g_runs += 1;\n");
    Run("count.nut", "if (!(\"g_runs\" in getroottable())) ::g_runs <- 0;\n::g_runs += 1;\n");
    EXPECT_EQ(runs(), 2);

    SQInteger top = Top();
    const char* texts[] = {"::g_runs += 10;\n", "::g_runs += 100;\n", "::g_runs += 10;\n"};
    const int32_t expected[] = {12, 112, 122};
    for (int i = 0; i < 3; ++i) {
        Run("count.nut", texts[i]);
        EXPECT_EQ(runs(), expected[i]) << texts[i];
        EXPECT_EQ(Top(), top);
    }

    Run("count.nut", "::g_runs += ;\n");
    EXPECT_TRUE(vm.IsKilled());
    EXPECT_EQ(runs(), 122);

    vm.Close();
    ASSERT_TRUE(vm.Open());
    Run("count.nut", "::g_runs <- 7;\n");
    EXPECT_EQ(runs(), 7);
}

TEST_F(SquirrelVMTest, CompileErrorKillsWithSourceAndLine)
{
    SQInteger top = Top();
    Run("good.nut", "function Good() { return 1; }\n");
    std::string path = Run("broken.nut", "local a = 1;\n\nlocal b = ;\n");
    EXPECT_TRUE(vm.IsKilled());
    EXPECT_EQ(vm.GetKillCode(), ScriptKillCompileError);
    EXPECT_STREQ(vm.GetErrorSource().GetCStr(), path.c_str());
    EXPECT_EQ(vm.GetErrorLine(), 3);
    ASSERT_FALSE(vm.GetKillReason().IsEmpty());
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "[!] Killing VM with reason '" + std::string(vm.GetKillReason().GetCStr()) + "'.\n"}));
    EXPECT_FALSE(Call("Good"));
    EXPECT_EQ(Top(), top);
}

// A byte-order mark before the first line is skipped, on a first run and on a run again; line
// numbers still count from the line it stands on.
TEST_F(SquirrelVMTest, ByteOrderMarkIsSkipped)
{
    const std::string mark = "\xEF\xBB\xBF";
    Run("bom.nut", mark + "print(\"marked \" + (6 * 7));\n::g_marked <- 1;\n");
    Run("bom.nut", mark + "print(\"marked \" + (6 * 7));\n::g_marked <- 1;\n");
    Run("only.nut", mark);
    EXPECT_FALSE(vm.IsKilled()) << vm.GetKillReason().GetCStr();
    EXPECT_EQ(LinesWith("marked"), (std::vector<std::string>{"[S] marked 42\n", "[S] marked 42\n"}));

    std::string path = Run("bad.nut", mark + "local a = 1;\nlocal b = ;\n");
    EXPECT_TRUE(vm.IsKilled());
    EXPECT_EQ(vm.GetKillCode(), ScriptKillCompileError);
    EXPECT_EQ(vm.GetErrorLine(), 2);
}

TEST_F(SquirrelVMTest, UncaughtErrorKillsAndLogsTheCallStack)
{
    std::string path = Run("boom.nut",
                           "function Inner() {\n"
                           "  throw \"boom\";\n"
                           "}\n"
                           "function Outer() { Inner(); }\n");
    SQInteger top = Top();
    EXPECT_FALSE(Call("Outer"));
    EXPECT_EQ(Top(), top);
    EXPECT_TRUE(vm.IsKilled());
    EXPECT_EQ(vm.GetKillCode(), ScriptKillRuntimeError);
    EXPECT_STREQ(vm.GetKillReason().GetCStr(), "boom");
    EXPECT_STREQ(vm.GetErrorSource().GetCStr(), path.c_str());
    EXPECT_EQ(vm.GetErrorLine(), 2);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "[|] Exception: boom\n",
                               "[|] \n",
                               "[|] Call stack (CS):\n",
                               "[|]   1: Inner() " + path + "(2)\n",
                               "[|]   2: Outer() " + path + "(4)\n",
                               "[|] \n",
                               "[!] Killing VM with reason 'boom'.\n"}));
    EXPECT_FALSE(vm.BeginCall("Inner", 0, 0));
}

// A native function that always fails, as a script function does with bad arguments.
SQInteger Failing(HSQUIRRELVM v) { return sq_throwerror(v, "bad argument"); }
// A native function that calls back into the script's function Callback.
SQInteger CallBack(HSQUIRRELVM v)
{
    sq_pushroottable(v);
    sq_pushstring(v, "Callback", -1);
    sq_get(v, -2);
    sq_pushroottable(v);
    if (SQ_FAILED(sq_call(v, 1, SQFalse, SQTrue))) return SQ_ERROR;
    sq_pop(v, 2);
    return 0;
}

void RegisterNative(HSQUIRRELVM v, const char* name, SQFUNCTION f)
{
    sq_pushroottable(v);
    sq_pushstring(v, name, -1);
    sq_newclosure(v, f, 0);
    sq_setnativeclosurename(v, -1, name);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
}

TEST_F(SquirrelVMTest, NativeErrorListsNativeLevelsAsNative)
{
    RegisterNative(vm.GetHandle(), "Failing", Failing);
    RegisterNative(vm.GetHandle(), "CallBack", CallBack);
    std::string path = Run("native.nut",
                           "function Callback() { Failing(); }\n"
                           "function Start() { CallBack(); }\n");
    EXPECT_FALSE(Call("Start"));
    EXPECT_EQ(vm.GetKillCode(), ScriptKillRuntimeError);
    EXPECT_STREQ(vm.GetKillReason().GetCStr(), "bad argument");
    std::vector<std::string> stack = LinesWith(": ");
    ASSERT_GE(stack.size(), 3u);
    EXPECT_EQ(stack[0], "[|] Exception: bad argument\n");
    EXPECT_EQ(stack[1], "[|]   1: Callback() " + path + "(1)\n");
    EXPECT_EQ(stack[2], "[|]   2: CallBack() C/C++\n");
    // One kill only, although the error crossed two calls.
    EXPECT_EQ(LinesWith("Killing VM").size(), 1u);
}

TEST_F(SquirrelVMTest, CaughtErrorKillsNothing)
{
    RegisterNative(vm.GetHandle(), "Failing", Failing);
    Run("caught.nut", "try { Failing(); } catch (e) { print(\"caught \" + e); }\n");
    EXPECT_FALSE(vm.IsKilled());
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"[S] caught bad argument\n"}));
}

TEST_F(SquirrelVMTest, KilledMachineRefusesEveryCall)
{
    Run("f.nut", "count <- 0;\nfunction Count() { ::count++; return ::count; }\n");
    ASSERT_TRUE(Call("Count"));
    vm.Kill(ScriptKillNoInstance, "Enemy", true);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"[!] Killing VM with reason 'Enemy'.\n"}));
    EXPECT_EQ(vm.GetKillCode(), ScriptKillNoInstance);
    SQInteger top = Top();
    EXPECT_FALSE(vm.BeginCall("Count", 0, 0));
    EXPECT_FALSE(vm.PushArgument(nScriptValue((int32_t)1)));
    EXPECT_FALSE(vm.ExecuteCall(0));
    EXPECT_EQ(Top(), top);
    // A call prepared before the kill is dropped by ExecuteCall, stack restored.
    nSquirrelVM other(0);
    ASSERT_TRUE(other.Open());
    SQInteger other_top = sq_gettop(other.GetHandle());
    ASSERT_TRUE(other.BeginCall("print", 0, 0));
    other.Kill(ScriptKillAssertion, "Assertion failed", false);
    EXPECT_FALSE(other.ExecuteCall(0));
    EXPECT_EQ(sq_gettop(other.GetHandle()), other_top);
    // The counter saw one call only.
    nScriptValue count;
    ASSERT_TRUE(vm.GetValue("count", count, 0));
    int32_t n = 0;
    count.GetValue().GetInt(&n);
    EXPECT_EQ(n, 1);
}

TEST_F(SquirrelVMTest, FirstKillStays)
{
    vm.Kill(ScriptKillRuntimeError, "first", false);
    vm.Kill(ScriptKillCompileError, "second", true);
    EXPECT_EQ(vm.GetKillCode(), ScriptKillRuntimeError);
    EXPECT_STREQ(vm.GetKillReason().GetCStr(), "first");
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"[!] Killing VM with reason 'first'.\n"}));
}

TEST_F(SquirrelVMTest, ReopenedMachineIsFreshAndUsable)
{
    Run("a.nut", "marker <- 5;\n");
    vm.Kill(ScriptKillRuntimeError, "stop", false);
    vm.Close();
    EXPECT_FALSE(vm.IsOpen());
    EXPECT_FALSE(vm.IsKilled());
    ASSERT_TRUE(vm.Open());
    nScriptValue v;
    EXPECT_FALSE(vm.GetValue("marker", v, 0));
    EXPECT_TRUE(vm.GetValue("objectTypeAnimationSource", v, 0));
    int32_t type = 0;
    v.GetValue().GetInt(&type);
    EXPECT_EQ(type, 46);
    EXPECT_FALSE(vm.GetValue("objectTypeEmitter", v, 0));
    Run("b.nut", "function F() { return 1; }\n");
    EXPECT_TRUE(Call("F"));
}

TEST_F(SquirrelVMTest, StackKeepsItsHeightThroughEveryOperation)
{
    Run("s.nut",
        "class Unit { health = 3; function Hit(owner, n) { health -= n; return health; } }\n"
        "unit <- Unit();\n"
        "function List() { return [1, 2, 3]; }\n"
        "function Fail() { throw \"no\"; }\n");
    SQInteger top = Top();
    nScriptValue result;

    EXPECT_TRUE(Call("List", &result));  // good call with a result
    EXPECT_EQ(Top(), top);
    EXPECT_FALSE(vm.BeginCall("Missing", 0, 0));  // missing function
    EXPECT_EQ(Top(), top);
    EXPECT_EQ(vm.GetObject("Missing", 0), (nScriptObject*)0);  // GetObject miss
    EXPECT_EQ(Top(), top);
    EXPECT_FALSE(vm.GetValue("Missing", result, 0));  // GetValue miss
    EXPECT_EQ(Top(), top);

    nScriptObject* unit = vm.GetObject("unit", 0);
    ASSERT_NE(unit, (nScriptObject*)0);
    EXPECT_TRUE(vm.SetValue("health", nScriptValue((int32_t)10), unit));  // known member
    EXPECT_EQ(Top(), top);
    EXPECT_FALSE(vm.SetValue("armour", nScriptValue((int32_t)1), unit));  // unknown member: refused, nothing left behind
    EXPECT_EQ(Top(), top);

    // A method looked up through the instance, called with the instance as 'this'.
    nScriptObject* hit = vm.GetObject("Hit", unit);
    ASSERT_NE(hit, (nScriptObject*)0);
    ASSERT_TRUE(vm.BeginCall(0, hit, unit));
    vm.PushArgument(nScriptValue(objectTypeItem, (void*)&top));
    vm.PushArgument(nScriptValue((int32_t)4));
    ASSERT_TRUE(vm.ExecuteCall(&result));
    int32_t health = 0;
    result.GetValue().GetInt(&health);
    EXPECT_EQ(health, 6);
    EXPECT_EQ(Top(), top);

    // A call abandoned after BeginCall does not leak into the next one.
    ASSERT_TRUE(vm.BeginCall("List", 0, 0));
    EXPECT_TRUE(Call("List", &result));
    EXPECT_EQ(Top(), top);

    EXPECT_FALSE(Call("Fail"));  // run-time error
    EXPECT_EQ(Top(), top);
    EXPECT_FALSE(Call("List"));  // killed machine
    EXPECT_EQ(Top(), top);
    EXPECT_FALSE(vm.SetValue("armour", nScriptValue((int32_t)1), unit));
    EXPECT_EQ(Top(), top);
    delete hit;
    delete unit;
}

TEST_F(SquirrelVMTest, ResultKinds)
{
    Run("r.nut",
        "function I() { return 7; }\n"
        "function F() { return 2.5; }\n"
        "function B() { return true; }\n"
        "function S() { return \"text\"; }\n"
        "function A() { return [1, 2]; }\n"
        "function Big() { return 0xFFFFFFFF; }\n");
    nScriptValue r;
    ASSERT_TRUE(Call("I", &r));
    EXPECT_EQ(r.GetValue().GetType(), TagType_Integer);
    ASSERT_TRUE(Call("F", &r));
    EXPECT_EQ(r.GetValue().GetType(), TagType_Real);
    ASSERT_TRUE(Call("B", &r));
    EXPECT_EQ(r.GetValue().GetType(), TagType_Bool);
    ASSERT_TRUE(Call("S", &r));
    const char* s = 0;
    ASSERT_TRUE(r.GetValue().GetString(&s));
    EXPECT_STREQ(s, "text");
    ASSERT_TRUE(Call("Big", &r));
    int32_t big = 0;
    r.GetValue().GetInt(&big);
    EXPECT_EQ((uint32_t)big, 0xFFFFFFFFu);  // packed values keep their 32 bits
    ASSERT_TRUE(Call("A", &r));
    ASSERT_EQ(r.GetKind(), ScriptValue_ScriptObject);
    EXPECT_TRUE(r.IsOwned());

    // The array object can be appended to and read back through a table.
    nScriptObject* table = vm.NewTable();
    ASSERT_TRUE(vm.SetValue("list", nScriptValue(r.GetScriptObject(), false), table));
    ASSERT_TRUE(vm.AppendToArray(nScriptValue("three"), r.GetScriptObject()));
    ASSERT_TRUE(vm.SetValue("t", nScriptValue(table, false), 0));
    Run("len.nut", "print(\"len \" + t.list.len() + \" \" + t.list[2]);\n");
    EXPECT_EQ(LinesWith("len"), (std::vector<std::string>{"[S] len 3 three\n"}));
    delete table;
}

TEST_F(SquirrelVMTest, ScriptErrorHookGetsTheReport)
{
    static nString* seen = 0;
    static nString copy;
    nOrvex engine;
    engine.SetHook(OrvexHookScriptError, [](void* report) { copy = *static_cast<nString*>(report); seen = &copy; });
    nSquirrelVM hooked(&engine);
    ASSERT_TRUE(hooked.Open());
    dir.Write("h.nut", "function F() { throw \"hooked\"; }\n");
    ASSERT_TRUE(hooked.RunFile(dir.Path("h.nut").c_str(), 0));
    EXPECT_FALSE(hooked.BeginCall("F", 0, 0) && hooked.ExecuteCall(0));
    ASSERT_NE(seen, (nString*)0);
    std::string report = copy.GetCStr();
    EXPECT_EQ(report.find("Exception: hooked\n"), 0u);
    EXPECT_NE(report.find("Call stack (CS):\n  1: F() "), std::string::npos);
    hooked.Close();
}

// An owned native whose destruction tries to raise an event on the machine that frees it.
struct Noisy
{
    nSquirrelVM* vm;
    bool* called;
};

TEST_F(SquirrelVMTest, ClosingRefusesEventsAndDetachesHeldObjects)
{
    nObjectTypeLifetime hooks = {0, 0, [](void* p) {
                                     Noisy* n = static_cast<Noisy*>(p);
                                     *n->called = n->vm->BeginCall("print", 0, 0);
                                     n->vm->InvalidateNativeObject(n);
                                     delete n;
                                 }};
    ScriptSetObjectTypeLifetime(objectTypeRaytracer, hooks);
    bool called = true;
    Noisy* noisy = new Noisy{&vm, &called};
    HSQUIRRELVM v = vm.GetHandle();
    ASSERT_TRUE(ScriptPushNativeObject(v, noisy, objectTypeRaytracer, true));
    sq_pushroottable(v);
    sq_pushstring(v, "tracer", -1);
    sq_push(v, -3);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 2);
    nScriptObject* held = vm.GetObject("tracer", 0);
    ASSERT_NE(held, (nScriptObject*)0);
    vm.Close();
    EXPECT_FALSE(called);
    delete held;  // after Close: touches no freed machine
    ScriptSetObjectTypeLifetime(objectTypeRaytracer, nObjectTypeLifetime{0, 0, 0});
}

TEST_F(SquirrelVMTest, FailedClassInstantiationKills)
{
    dir.Write("enemy.nut", "function Enemy() { return 5; }\nclass Friend { function OnUpdate(owner) { return 1; } }\n");
    SQInteger top = Top();
    nScriptUnit good(&vm);
    good.SetScriptPath(dir.Path("enemy.nut").c_str());
    good.SetClassName("Friend");
    ASSERT_TRUE(good.Setup());
    nScriptUnit bad(&vm);
    bad.SetScriptPath(dir.Path("enemy.nut").c_str());
    bad.SetClassName("Enemy");
    EXPECT_FALSE(bad.Setup());
    EXPECT_TRUE(vm.IsKilled());
    EXPECT_EQ(vm.GetKillCode(), ScriptKillNoInstance);
    EXPECT_STREQ(vm.GetKillReason().GetCStr(), "Enemy");
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"[!] Killing VM with reason 'Enemy'.\n"}));
    EXPECT_FALSE(good.BeginCall("OnUpdate", 0));  // the healthy unit is refused too
    EXPECT_EQ(Top(), top);
    good.Release();
}

// A native that makes an engine call into the script while the script is running.
SQInteger Nested(HSQUIRRELVM v)
{
    nSquirrelVM* vm = nSquirrelVM::FromHandle(v);
    nScriptValue r;
    if (!vm->BeginCall("Inner", 0, 0) || !vm->PushArgument(nScriptValue((int32_t)5)) || !vm->ExecuteCall(&r))
        return sq_throwerror(v, "nested call failed");
    int32_t n = 0;
    r.GetValue().GetInt(&n);
    sq_pushinteger(v, n);
    return 1;
}

TEST_F(SquirrelVMTest, NestedCallsKeepTheirFrames)
{
    RegisterNative(vm.GetHandle(), "Nested", Nested);
    Run("nested.nut", "function Inner(n) { return n * 10; }\nfunction Outer(a, b) { return a + Nested() + b; }\n");
    SQInteger top = Top();
    nScriptValue r;
    ASSERT_TRUE(vm.BeginCall("Outer", 0, 0));
    vm.PushArgument(nScriptValue((int32_t)1));
    vm.PushArgument(nScriptValue((int32_t)2));
    ASSERT_TRUE(vm.ExecuteCall(&r));
    int32_t n = 0;
    r.GetValue().GetInt(&n);
    EXPECT_EQ(n, 53);
    EXPECT_EQ(Top(), top);
}

// ---------------------------------------------------------------------------------------------
// Bounds: a script that recurses, allocates or loops without end is stopped as a script error.

class BoundedVMTest : public SquirrelVMTest
{
protected:
    void SetUp() override
    {
        nScriptLimits limits;
        limits.callDepth = 200;
        limits.nestedCalls = 8;
        limits.callMilliseconds = 1000;
        limits.heapBytes = uint64_t(48) << 20;
        vm.SetLimits(limits);
        SquirrelVMTest::SetUp();
    }

    // The lines of a stopped call: the exception, the call stack, the kill.
    void ExpectStopped(const std::string& reason)
    {
        EXPECT_TRUE(vm.IsKilled());
        EXPECT_TRUE(vm.IsStopped());
        EXPECT_EQ(vm.GetKillCode(), ScriptKillRuntimeError);
        EXPECT_EQ(vm.GetKillReason().GetCStr(), reason);
        std::vector<std::string> lines = log.Lines();
        ASSERT_GE(lines.size(), 4u);
        EXPECT_EQ(lines.front(), "[|] Exception: " + reason + "\n");
        EXPECT_EQ(lines[2], "[|] Call stack (CS):\n");
        EXPECT_EQ(lines.back(), "[!] Killing VM with reason '" + reason + "'.\n");
        EXPECT_EQ(LinesWith("Killing VM").size(), 1u);
    }
};

TEST_F(BoundedVMTest, RunawayScriptsAreStoppedWithTheirOwnReason)
{
    struct Case
    {
        const char* name;
        const char* script;
        const char* reason;
    };
    const Case cases[] = {
        {"recursion", "function Run() { return Run() + 1; }\n",
         "Call stack overflow: more than 200 nested script calls."},
        {"tail recursion", "function Run() { return Run(); }\n",
         "Call stack overflow: more than 200 nested script calls."},
        {"allocation", "function Run() {\n  local a = [];\n  local chunk = \"0123456789abcdef\";\n"
                       "  for (local i = 0; i < 16; i++)\n    chunk += chunk;\n"
                       "  while (true) {\n    a.append(chunk + a.len());\n  }\n}\n",
         "Script call allocated more than %MB MB."},
        {"allocation on one line", "function Run() { local s = \"x\"; while (true) s += s; }\n",
         "Script call allocated more than %MB MB."},
        {"endless loop", "function Run() {\n  local i = 0;\n  while (true) {\n    i++;\n  }\n}\n",
         "Script call ran longer than 1000 ms."},
        {"endless loop in a library call", "function Run() {\n  [3, 1, 2].sort(function(a, b) {\n    while (true) {\n      a++;\n    }\n  });\n}\n",
         "Script call ran longer than 1000 ms."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        vm.Close();
        ASSERT_TRUE(vm.Open());
        Run("runaway.nut", c.script);
        Run("after.nut", "function After() { return 1; }\n");
        log.Clear();
        std::string reason = c.reason;
        const size_t mb = reason.find("%MB");
        if (mb != std::string::npos)
            reason.replace(mb, 3, std::to_string(vm.GetLimits().heapBytes >> 20));

        SQInteger top = Top();
        EXPECT_FALSE(Call("Run"));
        ExpectStopped(reason);
        // Every later operation is refused, and the machine opens afresh after closing.
        EXPECT_EQ(Top(), top);
        EXPECT_FALSE(Call("After"));
        EXPECT_EQ(vm.NewTable(), nullptr);
        EXPECT_FALSE(vm.SetValue("g_x", nScriptValue((int32_t)1), 0));
        vm.Close();
        EXPECT_FALSE(vm.IsStopped());
        ASSERT_TRUE(vm.Open());
        Run("after.nut", "function After() { return 1; }\n");
        EXPECT_TRUE(Call("After"));
        EXPECT_FALSE(vm.IsKilled());
    }
}

// Work within the bounds runs as before: recursion just under the depth, caught errors deep
// in the stack again and again (the depth count follows them back), loops of many lines and
// a script heap that grows and shrinks again.
TEST_F(BoundedVMTest, ScriptsWithinTheBoundsRun)
{
    nScriptLimits limits = vm.GetLimits();
    limits.callMilliseconds = 60000;  // this test is about the depth and the memory
    vm.SetLimits(limits);
    Run("work.nut",
        "function Down(n) { return n == 0 ? 0 : 1 + Down(n - 1); }\n"
        "function Throw(n) { if (n == 0) throw \"deep\"; return Throw(n - 1) + 1; }\n"
        "function Work() {\n"
        "  local caught = 0;\n"
        "  for (local i = 0; i < 1000; i++) {\n"
        "    try { Throw(150); } catch (e) { caught++; }\n"
        "  }\n"
        "  for (local i = 0; i < 30; i++) {\n"
        "    local s = \"0123456789abcdef\";\n"
        "    for (local j = 0; j < 16; j++)\n"
        "      s += s;\n"
        "  }\n"
        "  return Down(190) + caught;\n"
        "}\n");
    for (int i = 0; i < 3; ++i) {
        nScriptValue r;
        ASSERT_TRUE(Call("Work", &r)) << vm.GetKillReason().GetCStr();
        int32_t n = 0;
        r.GetValue().GetInt(&n);
        EXPECT_EQ(n, 1190);
    }
    EXPECT_FALSE(vm.IsKilled());
    EXPECT_TRUE(LinesWith("[!]").empty());
}

// A native that calls "Inner" from the engine and reports nothing when that fails.
SQInteger CallInner(HSQUIRRELVM v)
{
    nSquirrelVM* vm = nSquirrelVM::FromHandle(v);
    if (vm->BeginCall("Inner", 0, 0))
        vm->ExecuteCall(0);
    return 0;
}

// A call from the engine inside a script call is stopped, and so is the call around it at its
// next line: the script after the native never runs. The call stack shows both.
TEST_F(BoundedVMTest, StoppedInnerCallEndsTheCallsAroundIt)
{
    RegisterNative(vm.GetHandle(), "CallInner", CallInner);
    std::string path = Run("nested.nut",
                           "function Inner() {\n"
                           "  local i = 0;\n"
                           "  while (true) {\n"
                           "    i++;\n"
                           "  }\n"
                           "}\n"
                           "function Outer() {\n"
                           "  CallInner();\n"
                           "  print(\"after\");\n"
                           "}\n");
    log.Clear();
    SQInteger top = Top();
    EXPECT_FALSE(Call("Outer"));
    EXPECT_EQ(Top(), top);
    ExpectStopped("Script call ran longer than 1000 ms.");
    EXPECT_EQ(LinesWith("Inner() " + path).size(), 1u);
    EXPECT_EQ(LinesWith("CallInner() C/C++").size(), 1u);
    EXPECT_EQ(LinesWith("Outer() " + path + "(8)").size(), 1u);
    EXPECT_TRUE(LinesWith("[S] after").empty());
    vm.Close();
    ASSERT_TRUE(vm.Open());
    EXPECT_FALSE(vm.IsKilled());
}

// Engine calls nested through natives deeper than the bound end as a script error too.
SQInteger CallAgain(HSQUIRRELVM v)
{
    nSquirrelVM* vm = nSquirrelVM::FromHandle(v);
    if (vm->BeginCall("Again", 0, 0))
        vm->ExecuteCall(0);
    return 0;
}

TEST_F(BoundedVMTest, EngineCallsNestedTooDeepAreStopped)
{
    RegisterNative(vm.GetHandle(), "CallAgain", CallAgain);
    Run("again.nut", "function Again() {\n  CallAgain();\n  print(\"after\");\n}\n");
    log.Clear();
    EXPECT_FALSE(Call("Again"));
    EXPECT_TRUE(vm.IsKilled());
    EXPECT_EQ(vm.GetKillReason().GetCStr(), std::string("Script calls nested more than 8 deep through the engine."));
    EXPECT_EQ(LinesWith("[|] Exception: ").size(), 1u);
    EXPECT_EQ(LinesWith(": Again() ").size(), 8u);
    EXPECT_TRUE(vm.IsStopped());
    EXPECT_TRUE(LinesWith("[S] after").empty());
}

TEST_F(SquirrelVMTest, LongPrintIsCut)
{
    Run("long.nut", "local s = \"\"; for (local i = 0; i < 1100; i++) s += \"a\"; print(s);\n");
    std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "[S] " + std::string(1023, 'a') + "\n");
}

}  // namespace
