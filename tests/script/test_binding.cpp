// Binding support: native classes from declarations, instances made without a script
// constructor, held references, and the argument readers of the native-function frame.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include <squirrel.h>

#include "script/nScriptBinding.h"
#include "tests/support/nLogCapture.h"

namespace {

SQInteger Anything(HSQUIRRELVM v)
{
    sq_pushinteger(v, sq_gettop(v));
    return 1;
}
SQInteger Constructor(HSQUIRRELVM v)
{
    sq_setinstanceup(v, 1, (SQUserPointer)1);
    return 0;
}
SQInteger UserValue(HSQUIRRELVM v)
{
    SQUserPointer p = 0;
    sq_getinstanceup(v, 1, &p, 0);
    sq_pushinteger(v, (SQInteger)(intptr_t)p);
    return 1;
}

// (int, float, string, bool) -> "i f s b" read through the frame.
SQInteger Readers(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    int32_t i;
    SQInteger wide;
    float f;
    const char* text;
    bool b;
    if (!s.GetInt(1, i) || !s.GetInt64(1, wide) || !s.GetFloat(2, f) || !s.GetString(3, text) || !s.GetBool(4, b))
        return SQ_ERROR;
    if (i == 1)
        return s.Return((uint32_t)0xFF0000FFu);  // a packed colour
    std::string out = std::to_string(i) + " " + std::to_string(wide) + " " + std::to_string((int)f) + " " + text + " " + (b ? "T" : "F");
    return s.Return(out.c_str());
}

// (int, any, float, string, bool, Vector) -> "i f s b" read in one line; counts its calls
// past the reads, so a failed read is seen to stop the function.
int s_argsBodies = 0;
SQInteger OneLineReads(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    SQInteger wide;
    float f;
    const char* text;
    bool b;
    if (!s.Args(wide, ScriptSkip, f, text, b)) return SQ_ERROR;
    ++s_argsBodies;
    std::string out = std::to_string(wide) + " " + std::to_string((int)f) + " " + text + " " + (b ? "T" : "F");
    return s.Return(out.c_str());
}

// (n) -> [0, 1, ..., n-1] and {count = n, name = "list"}, built through the list helpers.
SQInteger Lists(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    int32_t n;
    if (!s.GetInt(1, n)) return SQ_ERROR;
    s.NewTable();
    s.NewArray();
    for (int32_t i = 0; i < n; ++i)
        s.Append(s.Return(i));
    s.Slot("items", 1);
    s.Slot("count", s.Return(n));
    s.Slot("name", s.Return("list"));
    return 1;
}

const ScriptMemberDecl s_members[] = {
    {"constructor", Constructor, 1, 0},
    {"Any", Anything, 1, 0},
    {"Value", UserValue, 1, "x"},
    {"AtLeastTwo", Anything, -2, "xn"},
    {0, 0, 0, 0}};
const ScriptClassDecl s_thing = {"Thing", 0, s_members};
const ScriptClassDecl s_derived = {"Derived", "Thing", s_members};
const ScriptClassDecl s_orphan = {"Orphan", "Missing", s_members};

const ScriptMemberDecl s_badMembers[] = {
    {"Bad", Anything, 2, "xq"},
    {0, 0, 0, 0}};
const ScriptClassDecl s_bad = {"Bad", 0, s_badMembers};

class BindingTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        v = sq_open(256);
    }
    void TearDown() override { sq_close(v); }

    // Evaluates an expression; its value as text or "error: " text.
    std::string Eval(const std::string& expression)
    {
        std::string code = "return function() { try { return \"\" + (" + expression + "); } catch (e) { return \"error: \" + e; } }";
        SQInteger top = sq_gettop(v);
        if (SQ_FAILED(sq_compilebuffer(v, code.c_str(), code.size(), "eval", SQFalse))) return "compile error";
        sq_pushroottable(v);
        sq_call(v, 1, SQTrue, SQFalse);
        sq_pushroottable(v);
        const SQChar* s = "call failed";
        if (SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQFalse))) sq_getstring(v, -1, &s);
        std::string out = s;
        sq_settop(v, top);
        return out;
    }

    HSQUIRRELVM v = 0;
};

TEST_F(BindingTest, RegistrationFailuresLeaveTheStack)
{
    SQInteger top = sq_gettop(v);
    EXPECT_FALSE(ScriptRegisterClass(v, &s_orphan));
    EXPECT_EQ(sq_gettop(v), top);
    EXPECT_FALSE(ScriptRegisterClass(v, &s_bad));
    EXPECT_EQ(sq_gettop(v), top);
    EXPECT_EQ(Eval("Bad"), "error: the index 'Bad' does not exist");
    EXPECT_TRUE(ScriptRegisterClass(v, &s_thing));
    EXPECT_TRUE(ScriptRegisterClass(v, &s_derived));
    EXPECT_EQ(sq_gettop(v), top);
}

TEST_F(BindingTest, CountsAndMasksOfMembers)
{
    ASSERT_TRUE(ScriptRegisterClass(v, &s_thing));
    ASSERT_TRUE(ScriptRegisterClass(v, &s_derived));
    struct Case
    {
        const char* expression;
        const char* value;
    };
    const Case cases[] = {
        {"Thing().Any()", "1"},
        {"Thing().Any.call(5)", "1"},  // count 1, no mask: 'this' of any type
        {"Thing().Any(1)", "error: wrong number of parameters"},
        {"Thing().AtLeastTwo(1, \"x\", [])", "4"},
        {"Thing().AtLeastTwo()", "error: wrong number of parameters"},
        {"Thing().AtLeastTwo(\"x\")", "error: parameter 1 has an invalid type 'string' ; expected: 'integer|float'"},
        {"Thing().Value()", "1"},  // the constructor ran
        {"Derived() instanceof Thing", "true"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Eval(c.expression), c.value) << c.expression;
}

TEST_F(BindingTest, NativeInstancesSkipTheConstructor)
{
    ASSERT_TRUE(ScriptRegisterClass(v, &s_thing));
    static int released;
    released = 0;
    SQInteger top = sq_gettop(v);
    ASSERT_TRUE(ScriptCreateNativeInstance(v, "Thing", (SQUserPointer)42, [](SQUserPointer p, SQInteger) -> SQInteger {
        released += (int)(intptr_t)p;
        return 0;
    }));
    EXPECT_EQ(sq_gettop(v), top + 1);
    SquirrelObject held(v);
    held.AttachToStack(-1);
    sq_settop(v, top);
    sq_pushobject(v, held.GetObject());
    sq_pushstring(v, "Value", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    sq_push(v, -2);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQFalse)));
    SQInteger value = 0;
    sq_getinteger(v, -1, &value);
    EXPECT_EQ(value, 42);  // not 1: no constructor
    sq_settop(v, top);
    EXPECT_EQ(released, 0);  // the held reference keeps it
    held.Reset();
    EXPECT_EQ(released, 42);

    EXPECT_FALSE(ScriptCreateNativeInstance(v, "Missing", 0, 0));
    EXPECT_EQ(sq_gettop(v), top);
}

TEST_F(BindingTest, FrameReaders)
{
    sq_pushroottable(v);
    sq_pushstring(v, "Readers", -1);
    sq_newclosure(v, Readers, 0);
    sq_setparamscheck(v, SQ_MATCHTYPEMASKSTRING, ".nnsb");
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
    EXPECT_EQ(Eval("Readers(7, 2.9, \"t\", true)"), "7 7 2 t T");
    EXPECT_EQ(Eval("Readers(2.9, 1, \"\", false)"), "2 2 1  F");
    // Packed values keep their 32 bits when narrowed; the wide reader keeps everything.
    EXPECT_EQ(Eval("Readers(0xFFFFFFFF, 0, \"\", false)"), "-1 4294967295 0  F");
    EXPECT_EQ(Eval("Readers(1, 0, \"\", false) == 0xFF0000FF"), "true");
}

TEST_F(BindingTest, OneLineArgumentReads)
{
    sq_pushroottable(v);
    sq_pushstring(v, "Reads", -1);
    sq_newclosure(v, OneLineReads, 0);
    sq_setparamscheck(v, 6, 0);  // no mask: the reads themselves judge the arguments
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
    s_argsBodies = 0;
    struct Case
    {
        const char* call;
        const char* result;
    };
    const Case cases[] = {
        {"Reads(0xFFFFFFFF, [], 2.9, \"t\", true)", "4294967295 2 t T"},  // the skipped argument is not read
        {"Reads(7, null, 1, \"\", false)", "7 1  F"},                     // an integer reads as a float
        {"Reads(\"7\", [], 2.9, \"t\", true)", "error: Invalid argument type"},
        {"Reads(7, [], 2.9, 3, true)", "error: Invalid argument type"},
        {"Reads(7, [], \"x\", 3, [])", "error: Invalid argument type"},  // raised once, for the first bad one
    };
    for (const Case& c : cases)
        EXPECT_EQ(Eval(c.call), c.result) << c.call;
    EXPECT_EQ(s_argsBodies, 2);
}

TEST_F(BindingTest, ListResults)
{
    sq_pushroottable(v);
    sq_pushstring(v, "Lists", -1);
    sq_newclosure(v, Lists, 0);
    sq_setparamscheck(v, SQ_MATCHTYPEMASKSTRING, ".i");
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
    EXPECT_EQ(Eval("Lists(3).items.len()"), "3");
    EXPECT_EQ(Eval("Lists(3).items[2]"), "2");
    EXPECT_EQ(Eval("Lists(3).count"), "3");
    EXPECT_EQ(Eval("Lists(0).name + Lists(0).items.len()"), "list0");
}

}  // namespace
