// The Engine, System, Math, Metafile, Project and threaded-load families and the CObject
// methods on the project's machine: a census of names, masks and constants against a
// manifest written from the function tables of their documentation, and a generated sweep
// that calls every function and method with wrong kinds, null and deleted objects, boundary
// numbers and long strings. Every call must raise a script error or return; none may crash
// (run under the sanitizers by ./test.sh).

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
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
#include "tests/kit/nCallLog.h"
#include "tests/scene/kit/nFakePhysicWorld.h"
#include "tests/kit/nRecordingRenderer.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nTempDir.h"

namespace {

nOrvexParts FakeWorldParts()
{
    nOrvexParts parts;
    parts.physicWorlds = nFakePhysicWorld::Make;
    return parts;
}

struct ManifestFunction { const char* family; const char* name; const char* mask; };
struct ManifestConstant { const char* name; SQInteger value; };

// Written from the documented tables, in registration order per family.
const ManifestFunction kFunctions[] = {
    {"Math", "MatrixToEuler", ".xi"}, {"Math", "EulerFromDirection", ".x"},
    {"Math", "RotationMatrixFromDirection", ".x"}, {"Math", "TransformationMatrix", ".xxxx"},
    {"System", "SystemCacheFile", ".s"}, {"System", "SystemSleep", ".i"}, {"System", "SystemGetClock", "."},
    {"System", "SystemGetClockFrequency", "."}, {"System", "SystemGetLocale", "."}, {"System", "SystemGetPlatform", "."},
    {"System", "SystemRand", ".n"}, {"System", "SystemSeedRand", ".n"},
    {"Engine", "EngineNewResourceCache", ".x"}, {"Engine", "EngineGetResourceCache", ".x"},
    {"Engine", "EngineSetResourceCache", ".xx"}, {"Engine", "EngineClearResourceCache", ".x"},
    {"Engine", "EngineEnableLoadCallback", ".xb"}, {"Engine", "EngineGetCacheGeometryList", ".x"},
    {"Engine", "EngineGetManagerGeometryList", ".x"}, {"Engine", "EngineOutputCacheStatistics", ".x"},
    {"Engine", "EngineFindTexture", ".xs"}, {"Engine", "EngineCreateCanvasTexture", ".xnn"},
    {"Engine", "EngineCreateTexture", ".xnnb"}, {"Engine", "EngineLoadTexture", ".xs"},
    {"Engine", "EngineLoadPicture", ".xs"}, {"Engine", "EngineCacheUnregisterPicture", ".xs"},
    {"Engine", "EngineLoadTextureBypassCache", ".xs"}, {"Engine", "EngineLoadSound", ".xs"},
    {"Engine", "EngineSetTextureContent", ".xxs"}, {"Engine", "EngineLoadGeometryFromMetafile", ".xx"},
    {"Engine", "EngineLoadGeometry", ".xs"}, {"Engine", "EngineLoadGeometryBypassCache", ".xs"},
    {"Engine", "EngineGetToolMode", ".x"}, {"Engine", "EngineGetRenderer", ".x"}, {"Engine", "EngineBeginDraw", ".x"},
    {"Engine", "EngineEndDraw", ".x"}, {"Engine", "EngineResetClock", ".x"}, {"Engine", "EngineSetClockScale", ".xn"},
    {"Engine", "EngineGetClockScale", ".x"}, {"Engine", "EngineSetFixedDeltaFrame", ".xn"},
    {"Engine", "EngineSetFixedFramerateCorrection", ".xn"}, {"Engine", "EngineNewResourceManagerSet", ".x"},
    {"Engine", "EngineNewResourceSet", ".x"}, {"Engine", "EngineGetResourceManagerSet", ".x"},
    {"Engine", "EngineGetResourceSet", ".x"}, {"Engine", "EngineSetResourceManagerSet", ".xx"},
    {"Engine", "EngineSetResourceSet", ".xx"}, {"Engine", "EngineDeleteAllResources", ".x"},
    {"Engine", "EngineUnloadPicture", ".xs"}, {"Engine", "EngineSetResourceAutoSetup", ".xb"},
    {"Engine", "EngineSetupResources", ".x"}, {"Engine", "EngineSetupAllGeometries", ".x"},
    {"Engine", "EngineDeleteTexture", ".xx"},
    {"ThreadedLoad", "WindowSystemLoadBitmapThreaded", ".xs"}, {"ThreadedLoad", "SceneFromNMLThreaded", ".xs"},
    {"ThreadedLoad", "EngineLoadGeometryThreaded", ".xs"}, {"ThreadedLoad", "LoadThreadIsDone", ".x"},
    {"Metafile", "MetafileNew", "."}, {"Metafile", "MetafileDelete", ".x"}, {"Metafile", "MetafileLoad", ".xs"},
    {"Metafile", "MetafileSave", ".xs"}, {"Metafile", "MetafileGetRoots", ".x"}, {"Metafile", "MetafileGetTag", ".xs"},
    {"Metafile", "MetafileGetTypedTag", ".xsi"}, {"Metafile", "MetafileAddRoot", ".xs"},
    {"Metafile", "MetafileAddRootWithValue", ".xs."}, {"Metafile", "MetatagGetName", ".x"},
    {"Metafile", "MetatagGetType", ".x"}, {"Metafile", "MetatagGetValue", ".x"}, {"Metafile", "MetatagSetValue", ".x."},
    {"Metafile", "MetatagGetChildren", ".x"}, {"Metafile", "MetatagGetTag", ".xs"},
    {"Metafile", "MetatagGetTypedTag", ".xsi"}, {"Metafile", "MetatagAddChild", ".xs"},
    {"Metafile", "MetatagAddChildWithValue", ".xs."},
    {"Project", "ProjectGetScriptInstance", ".x"}, {"Project", "ProjectUpdateScriptClock", ".x"},
    {"Project", "ProjectEnd", ".x"}, {"Project", "ProjectLayerGetScene", ".x"}, {"Project", "ProjectAddLayer", ".xxn"},
    {"Project", "ProjectLayerSetZOrder", ".xn"}, {"Project", "ProjectLayerGetZOrder", ".x"},
    {"Project", "ProjectSetAll2DLayerOffset", ".xnn"}, {"Project", "ProjectNewScene", ".x"},
    {"Project", "ProjectNewScene3D", ".x"}, {"Project", "ProjectNewScene2D", ".x"}, {"Project", "ProjectFindScene", ".xs"},
    {"Project", "ProjectGetSceneLayerList", ".xx"}, {"Project", "ProjectSceneIsActive", ".xx"},
    {"Project", "ProjectIsSceneActive", ".xx"}, {"Project", "ProjectSceneActivate", ".xxb"},
    {"Project", "ProjectActivateScene", ".xxb"}, {"Project", "ProjectInstantiateScene", ".xs"},
    {"Project", "ProjectSceneSetGlobal", ".x"}, {"Project", "ProjectUnloadScene", ".xx"},
    {"Project", "ProjectSceneGetType", ".x"}, {"Project", "ProjectSceneGetInstance", ".x"},
    {"Project", "ProjectSceneGetScriptInstance", ".x"}, {"Project", "ProjectSceneGetScriptInstanceFromClass", ".xs"},
    {"Project", "ProjectRender", ".x"},
};

const ManifestConstant kConstants[] = {
    {"PlatformWin32", 0}, {"PlatformLinuxX86", 1}, {"PlatformNintendoWii", 2}, {"PlatformUnknown", 65535},
    {"g_platform", 0}, {"ToolEdit", 1}, {"ToolPreview", 2}, {"ToolProjectPreview", 3}, {"NoTool", 0},
    {"TagType_None", 0}, {"TagType_Real", 1}, {"TagType_Integer", 3}, {"TagType_String", 4}, {"TagType_Binary", 6},
    {"TagType_Node", 0}, {"TagType_Tag", 0}, {"TagType_Shortcut", 0},
    {"ProjectSceneTypeNone", 0}, {"ProjectSceneTypeScene2d", 2}, {"ProjectSceneTypeScene3d", 1},
};

// The CObject methods: name and parameter count ('this' included; negative: at least).
const struct { const char* name; SQInteger params; } kMethods[] = {
    {"_SCypeof", 1}, {"isValid", 1}, {"isNull", 1}, {"type", 1}, {"isCommandListDone", 1}, {"setCommandList", 2},
    {"name", 1}, {"setName", 2}, {"load", -2}, {"setPosition", 2}, {"position", 1}, {"setRotation", 2}, {"rotation", 1},
    {"scene", 1}, {"setNoTarget", 1}, {"setParent", 2}, {"matrix", 1}, {"worldPosition", 1}, {"ui", 1},
    {"currentCamera", 1}, {"setCurrentCamera", 2}, {"findGroup", -1}, {"addObject", -1}, {"findItem", 2},
    {"physicsFrequency", 1}, {"setPhysicsFrequency", 2}, {"physicsActive", 1}, {"setPhysicsActive", 2},
    {"physicsMode", 1}, {"setPhysicsMode", 2}, {"linearVelocity", 1}, {"setLinearVelocity", 2}, {"angularVelocity", 1},
    {"setAngularVelocity", 2}, {"applyLinearImpulse", 2}, {"applyImpulse", 3}, {"applyLinearForce", 2},
    {"applyForce", 3}, {"collisionShapeCount", 1}, {"collisionShape", 2}, {"addCollisionShape", 1},
    {"collisionMask", 1}, {"setCollisionMask", 2}, {"selfMask", 1}, {"setSelfMask", 2}, {"setLinearFactor", 2},
    {"setAngularFactor", 2}, {"mass", 1}, {"setMass", 2}, {"staticFriction", 1}, {"setStaticFriction", 2},
    {"dynamicFriction", 1}, {"setDynamicFriction", 2}, {"restitution", 1}, {"setRestitution", 2}, {"setBox", 2},
    {"setCapsule", 3}, {"setConvex", 2}, {"setCylinder", 3}, {"setMesh", 2}, {"setSphere", 2}, {"loadGeometry", -2},
    {"globalFade", 1}, {"setGlobalFade", 2},
};

// Entries of a type mask ("." and each type, '|' joining alternatives), 'this' included.
SQInteger MaskEntries(const char* mask)
{
    SQInteger n = 0;
    for (const char* p = mask; *p; ++p)
        if (*p != '|' && *p != ' ' && (p == mask || p[-1] != '|')) ++n;
    return n;
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

    std::string         previousDir;
    nLogCapture         log;
    nOrvex              engine{FakeWorldParts()};
    nCallLog            calls;
    nRecordingRenderer  renderer{&engine, &calls};
    nTempDir            dir;
    nProject            project{&engine};
    HSQUIRRELVM         v = 0;
};

// The tables registered are the documented ones, name by name and mask by mask.
TEST_F(ScriptAPISweep, CensusOfNamesMasksAndConstants)
{
    const ScriptFunctionDecl* tables[] = {g_MathScriptFunctions, g_SystemScriptFunctions, g_EngineScriptFunctions,
                                          g_ThreadedLoadScriptFunctions, g_MetafileScriptFunctions, g_ProjectScriptFunctions};
    std::vector<std::string> registered;
    for (const ScriptFunctionDecl* table : tables)
        for (const ScriptFunctionDecl* f = table; f->name; ++f) registered.push_back(std::string(f->name) + " " + f->mask);
    std::vector<std::string> documented;
    for (const ManifestFunction& f : kFunctions) documented.push_back(std::string(f.name) + " " + f.mask);
    EXPECT_EQ(registered, documented);

    SQInteger top = sq_gettop(v);
    for (const ManifestFunction& f : kFunctions) {
        sq_pushroottable(v);
        sq_pushstring(v, f.name, -1);
        SQUnsignedInteger params = 0, freeVars = 0;
        bool found = SQ_SUCCEEDED(sq_get(v, -2)) && sq_gettype(v, -1) == OT_NATIVECLOSURE &&
                     SQ_SUCCEEDED(sq_getclosureinfo(v, -1, &params, &freeVars));
        EXPECT_TRUE(found) << f.name;
        if (found) {
            EXPECT_EQ((SQInteger)params, MaskEntries(f.mask)) << f.name;
        }
        sq_settop(v, top);
    }
    for (const ManifestConstant& c : kConstants) {
        sq_pushroottable(v);
        sq_pushstring(v, c.name, -1);
        SQInteger value = -12345;
        EXPECT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)) && SQ_SUCCEEDED(sq_getinteger(v, -1, &value))) << c.name;
        EXPECT_EQ(value, c.value) << c.name;
        sq_settop(v, top);
    }
    std::string script = "::methods <- {};\nforeach (k, m in CObject) if (typeof m == \"function\") ::methods[k] <- true;\n";
    ASSERT_EQ(Run(script), "");
    for (const auto& m : kMethods) {
        EXPECT_EQ(Run("if (!(\"" + std::string(m.name) + "\" in ::methods)) throw \"missing\";"), "") << m.name;
        sq_pushroottable(v);
        sq_pushstring(v, "CObject", -1);
        sq_get(v, -2);
        sq_pushstring(v, m.name, -1);
        SQUnsignedInteger params = 0, freeVars = 0;
        if (SQ_SUCCEEDED(sq_get(v, -2)) && SQ_SUCCEEDED(sq_getclosureinfo(v, -1, &params, &freeVars))) {
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
    for (const ManifestFunction& f : kFunctions)
        names += "[\"" + std::string(f.name) + "\", " + std::to_string(MaskEntries(f.mask) - 1) + "], ";
    names += "];\n::methodList <- [";
    for (const auto& m : kMethods)
        names += "[\"" + std::string(m.name) + "\", " + std::to_string((m.params < 0 ? -m.params : m.params) - 1) + "], ";
    names += "];\n";
    ASSERT_EQ(Run(names), "");

    const std::string setup =
        "::big <- \"\"; for (local i = 0; i < 4096; i++) ::big += \"a\";\n"
        "::inst <- ProjectInstantiateScene(g_project, \"" + dir.Path("level.nms") + "\");\n"
        "::hudInst <- ProjectInstantiateScene(g_project, \"" + dir.Path("hud.nml") + "\");\n"
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

} // namespace
