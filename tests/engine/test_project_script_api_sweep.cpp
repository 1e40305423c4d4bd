// The script API on the project's machine: a census of every registered name against the
// family manifests (tests/scriptapi/manifest), and a generated sweep that calls every function
// of the Engine, System, Math, Metafile, Project and threaded-load families and every CObject
// method with wrong kinds, null and deleted objects, boundary numbers and long strings. Every call must raise a script error or return; none may crash
// (run under the sanitizers by ./test.sh).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <squirrel.h>
#include <unistd.h>

#include "engine/nProject.h"
#include "engine/nProjectScriptAPI.h"
#include "hub/nOrvex.h"
#include "scene/nScene.h"
#include "scriptapi/nEngineScriptAPI.h"
#include "scriptapi/nMathScriptAPI.h"
#include "scriptapi/nMetafileScriptAPI.h"
#include "scriptapi/nScriptAPI.h"
#include "script/nCObject.h"
#include "tests/kit/nCallLog.h"
#include "tests/scene/kit/nFakePhysicWorld.h"
#include "tests/kit/nRecordingRenderer.h"
#include "tests/support/nLogCapture.h"
#include "tests/scriptapi/nScriptAPITestKit.h"
#include "tests/support/nTempDir.h"

namespace {

nOrvexParts FakeWorldParts()
{
    nOrvexParts parts;
    parts.physicWorlds = nFakePhysicWorld::Make;
    return parts;
}

// The families this sweep calls, by their manifest files (tests/scriptapi/manifest).
const char* const kSweptFamilies[] = {"math", "system", "engine", "threadedload", "metafile", "project"};

std::vector<ManifestFunction> SweptFunctions()
{
    std::vector<ManifestFunction> out;
    for (const char* family : kSweptFamilies) {
        std::vector<ManifestFunction> rows = ReadFunctionManifest((std::string(family) + "_functions.tsv").c_str());
        out.insert(out.end(), rows.begin(), rows.end());
    }
    return out;
}

// Everything the project's machine registers as the script API: every family, then the
// project's own two.
void RegisterProjectMachineAPI(HSQUIRRELVM v)
{
    RegisterScriptAPI(v);
    RegisterThreadedLoadScriptAPI(v);
    RegisterProjectScriptAPI(v);
}

class ScriptAPISweep : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Functions that write files (MetafileSave) write into the scratch folder.
        char* here = getcwd(0, 0);
        previousDir = here ? here : ".";
        std::free(here);
        ASSERT_EQ(chdir(dir.Root().c_str()), 0);
        dir.Write("level.nms", "<NML=1.0>\n<Scene= <Version=1> >\n");
        dir.Write("hud.nml", "<NML=1.0>\n<Scene2d= <Version=1> >\n");
        dir.Write("game.nut", "class Game { function OnRenderScene(project, scene, layer) { ProjectRender(project); } }\n");
        project.SetScriptPath(dir.Path("game.nut").c_str());
        project.SetClassName("Game");
        ASSERT_TRUE(project.Open(true));
        v = project.GetScriptVM().GetHandle();
    }
    void TearDown() override
    {
        project.Close(true);
        EXPECT_EQ(chdir(previousDir.c_str()), 0);
    }

    // Runs code as a script of its own; "" or the text of the error that escaped it.
    std::string Run(const std::string& code)
    {
        SQInteger top = sq_gettop(v);
        std::string out;
        if (SQ_FAILED(sq_compilebuffer(v, code.c_str(), code.size(), "sweep", SQTrue))) {
            out = "compile error";
        } else {
            sq_pushroottable(v);
            if (SQ_FAILED(sq_call(v, 1, SQFalse, SQFalse))) {
                out = "call failed";
                sq_getlasterror(v);
                const SQChar* text = 0;
                if (SQ_SUCCEEDED(sq_getstring(v, -1, &text))) out += std::string(": ") + text;
            }
        }
        sq_settop(v, top);
        return out;
    }

    std::string previousDir;
    nLogCapture log;
    nOrvex engine{FakeWorldParts()};
    nCallLog calls;
    nRecordingRenderer renderer{&engine, &calls};
    nTempDir dir;
    nProject project{&engine};
    HSQUIRRELVM v = 0;
};

// One census holds the whole script API: the names registered on a machine are exactly the
// names of the manifests, and each is there as the manifest says: a native closure taking as
// many parameters as its mask has entries, or a constant of its value (a null object of its
// kind). The swept families' tables are the manifest's, name by name and mask by mask.
TEST_F(ScriptAPISweep, CensusOfEveryRegisteredNameAgainstTheManifests)
{
    const std::vector<ManifestFunction> functions = ReadAllFunctionManifests();
    const std::vector<ManifestConstant> constants = ReadAllConstantManifests();
    std::vector<std::string> census;
    for (const ManifestFunction& f : functions) census.push_back(f.name);
    for (const ManifestConstant& c : constants) census.push_back(c.name);
    for (const char* scriptClass : {"Vector", "Matrix3", "Matrix4"}) census.push_back(scriptClass);
    std::sort(census.begin(), census.end());
    std::vector<std::string> twice;
    for (size_t i = 1; i < census.size(); ++i)
        if (census[i] == census[i - 1]) twice.push_back(census[i]);
    census.erase(std::unique(census.begin(), census.end()), census.end());
    const std::vector<std::string> registered = NamesAddedBy(RegisterProjectMachineAPI);
    std::vector<std::string> unlisted, missing;
    std::set_difference(registered.begin(), registered.end(), census.begin(), census.end(), std::back_inserter(unlisted));
    std::set_difference(census.begin(), census.end(), registered.begin(), registered.end(), std::back_inserter(missing));
    EXPECT_EQ(unlisted, std::vector<std::string>()) << "registered without a manifest row";
    EXPECT_EQ(missing, std::vector<std::string>()) << "in a manifest, not registered";

    SQInteger top = sq_gettop(v);
    for (const ManifestFunction& f : functions) {
        sq_pushroottable(v);
        sq_pushstring(v, f.name.c_str(), -1);
        SQUnsignedInteger params = 0, freeVars = 0;
        bool found = SQ_SUCCEEDED(sq_get(v, -2)) && sq_gettype(v, -1) == OT_NATIVECLOSURE &&
                     SQ_SUCCEEDED(sq_getclosureinfo(v, -1, &params, &freeVars));
        EXPECT_TRUE(found) << f.name;
        if (found) {
            EXPECT_EQ((SQInteger)params, MaskEntries(f.mask)) << f.name;
        }
        sq_settop(v, top);
    }
    for (const ManifestConstant& c : constants) {
        sq_pushroottable(v);
        sq_pushstring(v, c.name.c_str(), -1);
        bool found = SQ_SUCCEEDED(sq_get(v, -2));
        EXPECT_TRUE(found) << c.name;
        if (found && c.nullKind < 0) {
            SQInteger value = -12345;
            EXPECT_TRUE(SQ_SUCCEEDED(sq_getinteger(v, -1, &value))) << c.name;
            EXPECT_EQ(value, c.value) << c.name;
        } else if (found) {
            void* native = &top;
            int32_t kind = -1;
            EXPECT_TRUE(ScriptGetNativeObjectType(v, -1, &kind) && ScriptGetNativeObject(v, -1, &native, 0)) << c.name;
            EXPECT_EQ(kind, c.nullKind) << c.name;
            EXPECT_EQ(native, nullptr) << c.name;
        }
        sq_settop(v, top);
    }
    // A name in two manifests is one registered twice with one value.
    for (const std::string& name : twice) {
        std::vector<long long> values;
        for (const ManifestConstant& c : constants)
            if (c.name == name) values.push_back(c.nullKind < 0 ? c.value : -1000 - c.nullKind);
        EXPECT_EQ(values.size(), 2u) << name << " is a constant of two families";
        EXPECT_TRUE(values.size() == 2 && values[0] == values[1]) << name << " with two values";
    }

    const ScriptFunctionDecl* tables[] = {g_MathScriptFunctions, g_SystemScriptFunctions, g_EngineScriptFunctions,
                                          g_ThreadedLoadScriptFunctions, g_MetafileScriptFunctions, g_ProjectScriptFunctions};
    std::vector<std::string> tabled;
    for (const ScriptFunctionDecl* table : tables)
        for (const ScriptFunctionDecl* f = table; f->name; ++f) tabled.push_back(std::string(f->name) + " " + f->mask);
    std::vector<std::string> documented;
    for (const ManifestFunction& f : SweptFunctions()) documented.push_back(f.name + " " + f.mask);
    EXPECT_EQ(tabled, documented);
}

// The CObject methods: the manifest's, each taking its parameters.
TEST_F(ScriptAPISweep, CensusOfTheObjectMethods)
{
    SQInteger top = sq_gettop(v);
    std::string script = "::methods <- {};\nforeach (k, m in CObject) if (typeof m == \"function\") ::methods[k] <- true;\n";
    ASSERT_EQ(Run(script), "");
    for (const ManifestMethod& m : ReadMethodManifest("cobject_methods.tsv")) {
        EXPECT_EQ(Run("if (!(\"" + m.name + "\" in ::methods)) throw \"missing\";"), "") << m.name;
        sq_pushroottable(v);
        sq_pushstring(v, "CObject", -1);
        sq_get(v, -2);
        sq_pushstring(v, m.name.c_str(), -1);
        SQUnsignedInteger params = 0, freeVars = 0;
        bool found = SQ_SUCCEEDED(sq_get(v, -2)) && SQ_SUCCEEDED(sq_getclosureinfo(v, -1, &params, &freeVars));
        EXPECT_TRUE(found) << m.name;
        if (found) {
            EXPECT_EQ((SQInteger)params, m.params) << m.name;
        }
        sq_settop(v, top);
    }
}

// Every function and method, with every bad value in every position; the other positions take
// a plausible object or value. The script catches each error; the run must reach its end.
TEST_F(ScriptAPISweep, BadInputNeverCrashes)
{
    std::string names = "::functions <- [";
    for (const ManifestFunction& f : SweptFunctions())
        names += "[\"" + f.name + "\", " + std::to_string(MaskEntries(f.mask) - 1) + "], ";
    names += "];\n::methodList <- [";
    for (const ManifestMethod& m : ReadMethodManifest("cobject_methods.tsv"))
        names += "[\"" + m.name + "\", " + std::to_string((m.params < 0 ? -m.params : m.params) - 1) + "], ";
    names += "];\n";
    ASSERT_EQ(Run(names), "");

    const std::string setup =
        "::big <- \"\"; for (local i = 0; i < 4096; i++) ::big += \"a\";\n"
        "::inst <- ProjectInstantiateScene(g_project, \"" +
        dir.Path("level.nms") + "\");\n"
                                "::hudInst <- ProjectInstantiateScene(g_project, \"" +
        dir.Path("hud.nml") + "\");\n"
                              "::layer <- ProjectAddLayer(g_project, inst, 1); ProjectAddLayer(g_project, hudInst, 2);\n"
                              "::scene <- ProjectSceneGetInstance(inst); ::ui <- scene.ui(); ::item <- scene.addObject(\"box\");\n"
                              "::shape <- item.addCollisionShape(); ::doc <- MetafileNew(); ::tag <- MetafileAddRoot(doc, \"T\");\n"
                              "::cache <- EngineGetResourceCache(g_engine); ::thread <- LoadThreadIsDone;\n"
                              "local gone = MetafileNew(); ::deleted <- MetafileAddRoot(gone, \"G\"); gone = null;\n"
                              "::texture <- EngineCreateTexture(g_engine, 2, 2, false);\n"
                              "::objects <- [g_engine, g_project, inst, layer, scene, ui, item, shape, doc, tag, cache, texture,\n"
                              "              Vector(1, 2, 3), Matrix3(), \"x\", 1, true];\n"
                              "::bad <- [null, 0, -1, 2147483648, 0.0 / 0.0, 1e300 * 1e300, -1e300 * 1e300, \"\", big, true, {}, [],\n"
                              "          Vector(0, 0, 0), Matrix3(), Matrix4(), NullItem, CObject(), deleted, g_engine, g_project, inst,\n"
                              "          layer, scene, ui, item, shape, doc, tag, cache, texture];\n"
                              "::prefixes <- [[\"Engine\", g_engine], [\"ProjectLayer\", layer], [\"ProjectScene\", inst], [\"Project\", g_project],\n"
                              "               [\"Metafile\", doc], [\"Metatag\", tag], [\"MatrixToEuler\", Matrix3()], [\"WindowSystem\", ui],\n"
                              "               [\"SceneFrom\", scene], [\"LoadThread\", null]];\n";
    ASSERT_EQ(Run(setup), "") << log.Text();

    // For each function: first argument the family's object or each object; the rest each object.
    const std::string sweep =
        "local calls = 0;\n"
        "local function Call(f, args) { calls++; args.insert(0, getroottable()); try { f.acall(args); } catch (e) {} }\n"
        "foreach (entry in functions) {\n"
        "  local f = getroottable()[entry[0]]; local n = entry[1];\n"
        "  local first = null;\n"
        "  foreach (p in prefixes) if (first == null && entry[0].find(p[0]) == 0) first = p[1];\n"
        "  foreach (d in objects) {\n"
        "    foreach (useFirst in [true, false]) {\n"
        "      for (local at = 0; at < n; at++) {\n"
        "        foreach (b in bad) {\n"
        "          local args = [];\n"
        "          for (local k = 0; k < n; k++) args.append(k == at ? b : (k == 0 && useFirst && first != null ? first : d));\n"
        "          Call(f, args);\n"
        "        }\n"
        "      }\n"
        "      if (n == 0) Call(f, []);\n"
        "    }\n"
        "  }\n"
        "}\n"
        "objects.extend([NullItem, CObject(), deleted, {}, Vector(1, 1, 1)]);\n"
        "foreach (self in objects) {\n"
        "  foreach (entry in methodList) {\n"
        "    local m = CObject[entry[0]]; local n = entry[1];\n"
        "    for (local extra = n; extra <= n + 1; extra++) {\n"
        "      if (extra == 0) { calls++; try { m.acall([self]); } catch (e) {} continue; }\n"
        "      for (local at = 0; at < extra; at++) foreach (b in bad) {\n"
        "        local args = [self];\n"
        "        for (local k = 0; k < extra; k++) args.append(k == at ? b : Vector(1, 1, 1));\n"
        "        calls++; try { m.acall(args); } catch (e) {}\n"
        "      }\n"
        "    }\n"
        "  }\n"
        "}\n"
        "::sweepCalls <- calls;\n";
    EXPECT_EQ(Run(sweep), "");
    sq_pushroottable(v);
    sq_pushstring(v, "sweepCalls", -1);
    SQInteger count = 0;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)) && SQ_SUCCEEDED(sq_getinteger(v, -1, &count)));
    sq_pop(v, 2);
    EXPECT_GT(count, 100000);
    // Each refused call logged at most a few lines: nothing floods the log.
    sq_collectgarbage(v);
}

}  // namespace
