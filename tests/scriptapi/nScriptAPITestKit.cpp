#include "tests/scriptapi/nScriptAPITestKit.h"

#include <cstdlib>

#include "physics/bullet/nBulletPhysicWorld.h"
#include "scene/nMItem.h"
#include "scene/nScene.h"
#include "script/nCObject.h"
#include "scriptapi/nScriptAPI.h"

namespace {

nPhysicWorld* MakeBulletWorld(nOrvex* engine)
{
    return new nBulletPhysicWorld(engine);
}

} // namespace

nOrvexParts nScriptAPITest::BulletWorldParts()
{
    nOrvexParts parts;
    parts.physicWorlds = MakeBulletWorld;
    return parts;
}

void nScriptAPITest::SetUp()
{
    ASSERT_TRUE(vm.Open());
    v = vm.GetHandle();
    RegisterScriptAPI(v);
}

void nScriptAPITest::TearDown()
{
    delete scene;
    scene = 0;
}

void nScriptAPITest::CreateScene(bool withPhysics)
{
    scene = new nScene(&engine, &vm);
    if (!withPhysics) return;
    ASSERT_TRUE(scene->CreatePhysicWorld());
}

void nScriptAPITest::HoldPushed(const char* name, const std::function<bool()>& push)
{
    SQInteger top = sq_gettop(v);
    sq_pushroottable(v);
    sq_pushstring(v, name, -1);
    bool pushed = push();
    EXPECT_TRUE(pushed) << name;
    if (pushed) sq_newslot(v, -3, SQFalse);
    sq_settop(v, top);
}

void nScriptAPITest::Hold(const char* name, void* native, int32_t type)
{
    HoldPushed(name, [&] { return ScriptPushNativeObject(v, native, type, false); });
}

void nScriptAPITest::Hold(const char* name, const nMatrix4& m)
{
    HoldPushed(name, [&] { return ScriptPushMatrix4(v, m); });
}

void nScriptAPITest::Hold(const char* name, const nMatrix3& m)
{
    HoldPushed(name, [&] { return ScriptPushMatrix3(v, m); });
}

std::string nScriptAPITest::Run(const std::string& code)
{
    std::string wrapped = "try { " + code + "\n } catch (e) { return \"\" + e; } return \"\";";
    SQInteger top = sq_gettop(v);
    if (SQ_FAILED(sq_compilebuffer(v, wrapped.c_str(), wrapped.size(), "test", SQTrue))) return "compile error";
    sq_pushroottable(v);
    std::string out = "call failed";
    const SQChar* s = 0;
    if (SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQTrue)) && SQ_SUCCEEDED(sq_getstring(v, -1, &s))) out = s;
    sq_settop(v, top);
    return out;
}

void nScriptAPITest::Exec(const std::string& code)
{
    ASSERT_EQ(Run(code), "") << code;
}

void nScriptAPITest::RunUncaught(const std::string& code)
{
    SQInteger top = sq_gettop(v);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(v, code.c_str(), code.size(), "exec.nut", SQTrue))) << code;
    sq_pushroottable(v);
    sq_call(v, 1, SQFalse, SQTrue);
    sq_settop(v, top);
}

std::string nScriptAPITest::Eval(const std::string& expression)
{
    std::string code = "return function() { try { local r = (" + expression + "); if (r == null) return \"null\";"
                       "if (r instanceof Vector) return r.x + \" \" + r.y + \" \" + r.z; return \"\" + r; } "
                       "catch (e) { return \"error: \" + e; } }";
    SQInteger top = sq_gettop(v);
    if (SQ_FAILED(sq_compilebuffer(v, code.c_str(), code.size(), "eval", SQTrue))) return "compile error";
    sq_pushroottable(v);
    sq_call(v, 1, SQTrue, SQTrue);
    sq_pushroottable(v);
    const SQChar* s = "call failed";
    if (SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQTrue))) sq_getstring(v, -1, &s);
    std::string out = s;
    sq_settop(v, top);
    return out;
}

float nScriptAPITest::Number(const std::string& expression)
{
    std::string text = Eval(expression);
    char* end = 0;
    float value = std::strtof(text.c_str(), &end);
    EXPECT_TRUE(end && *end == 0 && !text.empty()) << expression << " gave " << text;
    return value;
}

bool nScriptAPITest::Push(const std::string& expression)
{
    std::string code = "return (" + expression + ");";
    if (SQ_FAILED(sq_compilebuffer(v, code.c_str(), code.size(), "test", SQTrue))) return false;
    sq_pushroottable(v);
    return SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQFalse));
}

void nScriptAPITest::ExpectFunctions(const Function* functions, size_t count)
{
    SQInteger top = sq_gettop(v);
    for (size_t i = 0; i < count; ++i) {
        const Function& f = functions[i];
        sq_pushroottable(v);
        sq_pushstring(v, f.name, -1);
        if (!SQ_SUCCEEDED(sq_get(v, -2))) {
            ADD_FAILURE() << f.name << " is not registered";
            sq_settop(v, top);
            continue;
        }
        EXPECT_EQ(sq_gettype(v, -1), OT_NATIVECLOSURE) << f.name;
        SQUnsignedInteger params = 0, freeVars = 0;
        EXPECT_TRUE(SQ_SUCCEEDED(sq_getclosureinfo(v, -1, &params, &freeVars))) << f.name;
        EXPECT_EQ((SQInteger)params, f.params) << f.name;
        const SQChar* name = 0;
        if (SQ_SUCCEEDED(sq_getclosurename(v, -1))) sq_getstring(v, -1, &name);
        EXPECT_STREQ(name, f.name);
        sq_settop(v, top);
    }
}

nItem* nScriptAPITest::Node(nMItem* item)
{
    return item->GetItem();
}
