#include "tests/scriptapi/nScriptAPITestKit.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

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

}  // namespace

nOrvexParts nScriptAPITest::BulletWorldParts(const nUIDevices* ui)
{
    nOrvexParts parts;
    parts.physicWorlds = MakeBulletWorld;
    parts.userInterface = ui;
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

namespace {

std::vector<std::vector<std::string>> ReadManifestRows(const char* file)
{
    std::string path = std::string(QZ_MANIFEST_DIR) + "/" + file;
    std::ifstream in(path);
    EXPECT_TRUE(in.good()) << "no manifest " << path;
    std::vector<std::vector<std::string>> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields;
        std::stringstream cells(line);
        std::string cell;
        while (std::getline(cells, cell, '\t')) fields.push_back(cell);
        rows.push_back(fields);
    }
    return rows;
}

}  // namespace

std::vector<ManifestFunction> ReadFunctionManifest(const char* file)
{
    std::vector<ManifestFunction> out;
    for (const std::vector<std::string>& row : ReadManifestRows(file)) {
        EXPECT_EQ(row.size(), 4u) << file << ": " << (row.empty() ? "" : row[0]);
        if (row.size() == 4) out.push_back({row[0], row[1], row[2], row[3]});
    }
    return out;
}

std::vector<ManifestConstant> ReadConstantManifest(const char* file)
{
    std::vector<ManifestConstant> out;
    for (const std::vector<std::string>& row : ReadManifestRows(file)) {
        EXPECT_EQ(row.size(), 2u) << file << ": " << (row.empty() ? "" : row[0]);
        if (row.size() != 2) continue;
        if (row[1].compare(0, 5, "null ") == 0) out.push_back({row[0], 0, std::stoi(row[1].substr(5))});
        else out.push_back({row[0], std::stoll(row[1]), -1});
    }
    return out;
}

std::vector<ManifestMethod> ReadMethodManifest(const char* file)
{
    std::vector<ManifestMethod> out;
    for (const std::vector<std::string>& row : ReadManifestRows(file)) {
        EXPECT_EQ(row.size(), 2u) << file << ": " << (row.empty() ? "" : row[0]);
        if (row.size() == 2) out.push_back({row[0], std::stoll(row[1])});
    }
    return out;
}

std::vector<std::string> ManifestFiles(const char* suffix)
{
    std::vector<std::string> out;
    const std::string end = suffix;
    for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(QZ_MANIFEST_DIR)) {
        std::string name = entry.path().filename().string();
        if (name.size() > end.size() && name.compare(name.size() - end.size(), end.size(), end) == 0) out.push_back(name);
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<ManifestFunction> ReadAllFunctionManifests()
{
    std::vector<ManifestFunction> out;
    for (const std::string& file : ManifestFiles("_functions.tsv")) {
        std::vector<ManifestFunction> rows = ReadFunctionManifest(file.c_str());
        out.insert(out.end(), rows.begin(), rows.end());
    }
    return out;
}

std::vector<ManifestConstant> ReadAllConstantManifests()
{
    std::vector<ManifestConstant> out;
    for (const std::string& file : ManifestFiles("_constants.tsv")) {
        std::vector<ManifestConstant> rows = ReadConstantManifest(file.c_str());
        out.insert(out.end(), rows.begin(), rows.end());
    }
    return out;
}

SQInteger MaskEntries(const std::string& mask)
{
    SQInteger entries = 0;
    for (size_t i = 0; i < mask.size(); ++i) {
        char c = mask[i];
        if (c == ' ') continue;
        if (c == '|') {
            ++i;
            continue;
        }  // the next letter belongs to the same entry
        ++entries;
    }
    return entries;
}

std::vector<std::string> NamesAddedBy(void (*registrar)(HSQUIRRELVM))
{
    nOrvex engine;
    nSquirrelVM vm(&engine);
    EXPECT_TRUE(vm.Open());
    HSQUIRRELVM v = vm.GetHandle();
    auto names = [&] {
        std::vector<std::string> out;
        SQInteger top = sq_gettop(v);
        sq_pushroottable(v);
        sq_pushnull(v);
        while (SQ_SUCCEEDED(sq_next(v, -2))) {
            const SQChar* key = 0;
            if (SQ_SUCCEEDED(sq_getstring(v, -2, &key))) out.push_back(key);
            sq_pop(v, 2);
        }
        sq_settop(v, top);
        std::sort(out.begin(), out.end());
        return out;
    };
    std::vector<std::string> before = names();
    registrar(v);
    std::vector<std::string> after = names();
    std::vector<std::string> added;
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(added));
    vm.Close();
    return added;
}
