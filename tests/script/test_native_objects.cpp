// Native objects in scripts: pushed and read back with their exact kind, null objects,
// invalidation by native pointer, reference-holding and owned kinds, and the value classes
// the game's scripts declare.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <squirrel.h>

#include "core/nBounds.h"
#include "core/nVector.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "script/nSquirrelVM.h"
#include "tests/support/nLogCapture.h"

namespace {

// Natives of our own, standing in for engine objects.
struct Thing
{
    int id;
};

// Reference-counted native (as textures, geometries and materials are).
struct Counted
{
    int refs = 0;
    bool deleted = false;
};

// A native that owns children and invalidates them when destroyed (as a scene its items).
struct Parent
{
    nSquirrelVM* vm;
    Thing children[2];
    bool* destroyed;
};

// Script functions under test: the frame every family function follows.
SQInteger ThingId(HSQUIRRELVM v)  // (Item) -> its id
{
    ScriptStackHandler s(v);
    Thing* t;
    if (!s.GetObject(1, objectTypeItem, &t)) return SQ_ERROR;
    return s.Return(t->id);
}

SQInteger KindOf(HSQUIRRELVM v)  // (any object) -> kind
{
    int32_t type = -1;
    if (!ScriptGetNativeObjectType(v, 2, &type)) return sq_throwerror(v, "not an object");
    sq_pushinteger(v, type);
    return 1;
}

SQInteger IsNull(HSQUIRRELVM v)  // (any object) -> native is NULL
{
    ScriptStackHandler s(v);
    void* p;
    if (!s.GetObjectOrNull(1, objectTypeUndefined, &p)) return SQ_ERROR;
    return s.Return(p == 0);
}

class NativeObjectTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        baseline = nCObject::GetLiveCount();
        ASSERT_TRUE(vm.Open());
        v = vm.GetHandle();
        Register("ThingId", ThingId, ".x");
        Register("KindOf", KindOf, ".x");
        Register("IsNull", IsNull, ".x");
    }
    void TearDown() override
    {
        vm.Close();
        EXPECT_EQ(nCObject::GetLiveCount(), baseline);  // closing frees every record
    }

    void Register(const char* name, SQFUNCTION f, const char* mask)
    {
        sq_pushroottable(v);
        sq_pushstring(v, name, -1);
        sq_newclosure(v, f, 0);
        sq_setparamscheck(v, SQ_MATCHTYPEMASKSTRING, mask);
        sq_newslot(v, -3, SQFalse);
        sq_pop(v, 1);
    }

    // Stores a new CObject for native under the global name.
    void Hold(const char* name, void* native, int32_t type, bool owned = false)
    {
        sq_pushroottable(v);
        sq_pushstring(v, name, -1);
        ASSERT_TRUE(ScriptPushNativeObject(v, native, type, owned));
        sq_newslot(v, -3, SQFalse);
        sq_pop(v, 1);
    }

    // Runs the expression inside try and returns what it printed: its value or "error: " text.
    std::string Eval(const std::string& expression)
    {
        std::string code = "try { print(\"\" + (" + expression + ")); } catch (e) { print(\"error: \" + e); }";
        SQInteger top = sq_gettop(v);
        log.Clear();
        EXPECT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(v, code.c_str(), code.size(), "eval", SQTrue)));
        sq_pushroottable(v);
        EXPECT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQFalse, SQTrue)));
        sq_settop(v, top);
        std::vector<std::string> lines = log.Lines();
        if (lines.size() != 1 || lines[0].compare(0, 4, "[S] ") != 0)
            return "unexpected log";
        return lines[0].substr(4, lines[0].size() - 5);
    }

    // Runs statements at the top level.
    void Exec(const std::string& code)
    {
        SQInteger top = sq_gettop(v);
        ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(v, code.c_str(), code.size(), "exec", SQTrue)));
        sq_pushroottable(v);
        EXPECT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQFalse, SQTrue)));
        sq_settop(v, top);
    }

    int32_t baseline = 0;
    nLogCapture log;
    nSquirrelVM vm{0};
    HSQUIRRELVM v = 0;
};

TEST_F(NativeObjectTest, ExactKindIsChecked)
{
    Thing thing{7};
    Hold("item", &thing, objectTypeItem);
    Hold("camera", &thing, objectTypeCamera);
    Hold("vec", 0, objectTypeUndefined);
    struct Case
    {
        const char* expression;
        const char* printed;
    };
    const Case cases[] = {
        {"ThingId(item)", "7"},
        {"ThingId(camera)", "error: Expected 'Item' got 'Camera'"},
        {"KindOf(item)", "24"},
        {"KindOf(camera)", "25"},
        {"ThingId(5)", "error: parameter 1 has an invalid type 'integer' ; expected: 'instance'"},
        {"ThingId()", "error: wrong number of parameters"},
        {"ThingId(item, item)", "error: wrong number of parameters"},
        {"ThingId(regexp(\"a\"))", "error: invalid type tag"},
        {"ThingId(clone item)", "error: Internal failure"},  // a clone carries no record
    };
    for (const Case& c : cases)
        EXPECT_EQ(Eval(c.expression), c.printed) << c.expression;
    EXPECT_FALSE(vm.IsKilled());
}

TEST_F(NativeObjectTest, NullObjectsAreObjectsOfTheirKind)
{
    Hold("nullItem", 0, objectTypeItem);
    EXPECT_EQ(Eval("ThingId(nullItem)"), "error: CObject is null");
    EXPECT_EQ(Eval("IsNull(nullItem)"), "true");
    EXPECT_EQ(Eval("KindOf(nullItem)"), "24");
}

TEST_F(NativeObjectTest, InvalidationReachesEveryHolderUnderEveryKind)
{
    Thing thing{3};
    Thing other{4};
    Hold("item", &thing, objectTypeItem);
    Hold("camera", &thing, objectTypeCamera);
    Hold("otherItem", &other, objectTypeItem);
    EXPECT_EQ(vm.InvalidateNativeObject(&thing), 2);
    EXPECT_EQ(vm.InvalidateNativeObject(&thing), 0);
    EXPECT_EQ(Eval("KindOf(item)"), "1");
    EXPECT_EQ(Eval("KindOf(camera)"), "1");
    EXPECT_EQ(Eval("IsNull(camera)"), "true");
    EXPECT_EQ(Eval("ThingId(item)"), "error: Expected 'Item' got 'Deleted native'");
    EXPECT_EQ(Eval("ThingId(otherItem)"), "4");
    // A new push of the dead pointer's address (reused memory) is a new, live object.
    Hold("again", &thing, objectTypeItem);
    EXPECT_EQ(Eval("ThingId(again)"), "3");
    EXPECT_EQ(Eval("KindOf(item)"), "1");
}

// Many short-lived objects of many natives, a few kept: the kept ones are still found.
TEST_F(NativeObjectTest, InvalidationAfterManyShortLivedObjects)
{
    std::vector<Thing> things(5000);
    SQInteger top = sq_gettop(v);
    for (int round = 0; round < 3; ++round)
        for (size_t i = 0; i < things.size(); ++i) {
            things[i].id = (int)i;
            ASSERT_TRUE(ScriptPushNativeObject(v, &things[i], objectTypeItem, false));
            sq_settop(v, top);
            if (round == 1 && i % 1000 == 0)
                Hold(("kept" + std::to_string(i)).c_str(), &things[i], objectTypeItem);
        }
    EXPECT_EQ(nCObject::GetLiveCount(), baseline + 5);
    EXPECT_EQ(vm.InvalidateNativeObject(&things[3000]), 1);
    EXPECT_EQ(Eval("KindOf(kept3000)"), "1");
    EXPECT_EQ(Eval("ThingId(kept4000)"), "4000");
    EXPECT_EQ(vm.InvalidateNativeObject(&things[3001]), 0);
}

TEST_F(NativeObjectTest, ClosedMachineInvalidatesNothing)
{
    Thing thing{1};
    vm.Close();
    EXPECT_EQ(vm.InvalidateNativeObject(&thing), 0);
    ASSERT_TRUE(vm.Open());
    v = vm.GetHandle();
}

TEST_F(NativeObjectTest, ReferenceKindsHoldTheirNative)
{
    ScriptSetObjectTypeLifetime(objectTypeGeometry, nObjectTypeLifetime{
                                                        [](void* p) { ++static_cast<Counted*>(p)->refs; },
                                                        [](void* p) { if (--static_cast<Counted*>(p)->refs == 0) static_cast<Counted*>(p)->deleted = true; },
                                                        0});
    Counted geometry;
    Hold("g1", &geometry, objectTypeGeometry);
    Hold("g2", &geometry, objectTypeGeometry);
    EXPECT_EQ(geometry.refs, 2);
    Exec("delete ::g1");
    sq_collectgarbage(v);
    EXPECT_EQ(geometry.refs, 1);
    EXPECT_FALSE(geometry.deleted);
    Exec("delete ::g2");
    EXPECT_EQ(geometry.refs, 0);
    EXPECT_TRUE(geometry.deleted);
    ScriptSetObjectTypeLifetime(objectTypeGeometry, nObjectTypeLifetime{0, 0, 0});
}

TEST_F(NativeObjectTest, OwnedNativeDiesWithItsLastScriptValue)
{
    ScriptSetObjectTypeLifetime(objectTypeScene, nObjectTypeLifetime{0, 0, [](void* p) {
                                                                         Parent* parent = static_cast<Parent*>(p);
                                                                         // Destroying a scene invalidates its items, re-entering the registry on this thread.
                                                                         parent->vm->InvalidateNativeObject(&parent->children[0]);
                                                                         parent->vm->InvalidateNativeObject(&parent->children[1]);
                                                                         *parent->destroyed = true;
                                                                         delete parent;
                                                                     }});
    bool destroyed = false;
    Parent* scene = new Parent{&vm, {{1}, {2}}, &destroyed};
    Hold("scene", scene, objectTypeScene, true);
    Hold("child", &scene->children[1], objectTypeItem);
    EXPECT_EQ(Eval("ThingId(child)"), "2");
    Exec("delete ::scene");
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(Eval("KindOf(child)"), "1");
    ScriptSetObjectTypeLifetime(objectTypeScene, nObjectTypeLifetime{0, 0, 0});
}

TEST_F(NativeObjectTest, OwningAKindWithoutLifetimeIsRefused)
{
    Thing thing{9};
    Hold("owned", &thing, objectTypeItem, true);
    log.Clear();
    Exec("delete ::owned");
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"[!] Type Item lifetime should not be managed by the VM.\n"}));
    EXPECT_EQ(thing.id, 9);
}

TEST_F(NativeObjectTest, FailedPushLeavesTheStackAndFreesTheOwnedNative)
{
    static bool destroyed;
    destroyed = false;
    ScriptSetObjectTypeLifetime(objectTypePicture, nObjectTypeLifetime{0, 0, [](void*) { destroyed = true; }});
    HSQUIRRELVM raw = sq_open(64);  // a machine without the CObject class
    SQInteger top = sq_gettop(raw);
    int32_t live = nCObject::GetLiveCount();
    Thing picture{1};
    EXPECT_FALSE(ScriptPushNativeObject(raw, &picture, objectTypePicture, true));
    EXPECT_EQ(sq_gettop(raw), top);
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(nCObject::GetLiveCount(), live);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"[!] Could not allocate C Object.\n"}));
    sq_close(raw);
    ScriptSetObjectTypeLifetime(objectTypePicture, nObjectTypeLifetime{0, 0, 0});
}

TEST(ObjectTypeNames, TableAndUnknown)
{
    struct Case
    {
        int32_t type;
        const char* name;
        const char* constant;
    };
    const Case cases[] = {
        {0, "Undefined", "objectTypeUndefined"},
        {1, "Deleted native", "objectTypeDeleted"},
        {12, "Window System", "objectTypeWindowSystem"},
        {29, "Emitter", 0},
        {37, "Collision Shape", "objectTypeColShape"},
        {42, "HID", "objectTypeHidDevice"},
        {46, "Animation Source", "objectTypeAnimationSource"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(GetObjectTypeName(c.type), c.name);
        EXPECT_STREQ(GetObjectTypeConstantName(c.type), c.constant);
    }
    nLogCapture log;
    EXPECT_STREQ(GetObjectTypeName(47), "Unknown");
    EXPECT_STREQ(GetObjectTypeName(-1), "Unknown");
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "[!] No matching description string for type 47.\n",
                               "[!] No matching description string for type -1.\n"}));
}

// MinMax and Rect are classes the game's scripts declare; the engine fills them by name.
TEST_F(NativeObjectTest, ScriptDeclaredValueClasses)
{
    SQInteger top = sq_gettop(v);
    EXPECT_FALSE(ScriptPushRect(v, 1, 2, 3, 4));
    EXPECT_EQ(sq_gettop(v), top);
    std::vector<std::string> lines = log.Lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[1], "[|] Call stack (Binding error: Class 'Rect' is not declared.):\n");

    Exec("::Vec3 <- class { x = 0; y = 0; z = 0; }");
    Exec("::MinMax <- class { min = null; max = null; constructor() { min = Vec3(); max = Vec3(); } }");
    Exec("::Rect <- class { sx = 0; sy = 0; ex = 0; ey = 0; }");
    ASSERT_TRUE(ScriptPushMinMax(v, nMinMax(nVector(-1, -2, -3), nVector(4, 5, 6))));
    sq_pushroottable(v);
    sq_pushstring(v, "box", -1);
    sq_push(v, -3);
    sq_newslot(v, -3, SQFalse);
    sq_settop(v, top);
    EXPECT_EQ(Eval("box.min.x + \",\" + box.min.z + \",\" + box.max.y"), "-1,-3,5");

    ASSERT_TRUE(ScriptPushRect(v, 10, 20, 30, 40));
    int32_t out[4] = {0, 0, 0, 0};
    ScriptGetRect(v, -1, out);
    EXPECT_EQ(std::vector<int32_t>(out, out + 4), (std::vector<int32_t>{10, 20, 30, 40}));
    sq_settop(v, top);

    Exec("::r <- Rect(); r.sx = 1.9; r.sy = -1.9; r.ex = 7; r.ey = 8");
    sq_pushroottable(v);
    sq_pushstring(v, "r", -1);
    sq_get(v, -2);
    ScriptGetRect(v, -1, out);
    EXPECT_EQ(std::vector<int32_t>(out, out + 4), (std::vector<int32_t>{1, -1, 7, 8}));
    sq_settop(v, top);
}

TEST_F(NativeObjectTest, InstantiateClassReportsThroughTheCallStack)
{
    SQInteger top = sq_gettop(v);
    Exec("::Broken <- class { constructor() { throw \"no\"; } }");
    log.Clear();
    EXPECT_FALSE(ScriptInstantiateClass(v, "Broken", true));
    EXPECT_EQ(sq_gettop(v), top);
    EXPECT_FALSE(vm.IsKilled());
    bool found = false;
    for (const std::string& l : log.Lines())
        found = found || l == "[|] Call stack (Binding error: Failed to instantiate class 'Broken'.):\n";
    EXPECT_TRUE(found);
    EXPECT_TRUE(ScriptInstantiateClass(v, "Broken", false));  // no constructor run
    EXPECT_EQ(sq_gettype(v, -1), OT_INSTANCE);
    EXPECT_EQ(sq_gettop(v), top + 1);
    sq_settop(v, top);
}

}  // namespace
