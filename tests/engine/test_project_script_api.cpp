// The Project and threaded-load script functions on a project of our own: instances, layers,
// their listing and unloading, the scenes and script instances behind them, scenes made by
// scripts, ProjectRender (and its refusal from the project's own render events), ProjectEnd.

#include <gtest/gtest.h>

#include <string>

#include <squirrel.h>

#include "engine/nProject.h"
#include "hub/nOrvex.h"
#include "scene/nScene.h"
#include "script/nCObject.h"
#include "tests/kit/nCallLog.h"
#include "tests/scene/kit/nFakePhysicWorld.h"
#include "tests/kit/nRecordingRenderer.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nTempDir.h"
#include "ui/nScene2D.h"

namespace {

nOrvexParts FakeWorldParts()
{
    nOrvexParts parts;
    parts.physicWorlds = nFakePhysicWorld::Make;
    return parts;
}

class ProjectScriptAPI : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir.Write("level.nms", "<NML=1.0>\n<Scene= <ScriptedObject= <ScriptUnit= <Script=\"" + dir.Path("level.nut") +
                                   "\"> <Class=\"Level\"> > > >\n");
        dir.Write("level.nut", "class Level { tag = \"level script\"; }\nclass Other { }\n");
        dir.Write("hud.nml", "<NML=1.0>\n<Scene2d= <Version=1> >\n");
        dir.Write("game.nut",
                  "class Game {\n"
                  "  rendered = 0;\n"
                  "  function OnRenderScene(project, scene, layer) { rendered++; ProjectRender(project); }\n"
                  "}\n");
        project.SetScriptPath(dir.Path("game.nut").c_str());
        project.SetClassName("Game");
        ASSERT_TRUE(project.Open(true));
        v = project.GetScriptVM().GetHandle();
    }
    void TearDown() override
    {
        project.Close(true);
    }

    // An expression's value as text, "error: " and the text of a raised error.
    std::string Eval(const std::string& expression)
    {
        std::string code = "return function() { try { local r = (" + expression + "); return r == null ? \"null\" : \"\" + r; } "
                                                                                  "catch (e) { return \"error: \" + e; } }";
        SQInteger top = sq_gettop(v);
        std::string out = "compile error";
        if (SQ_SUCCEEDED(sq_compilebuffer(v, code.c_str(), code.size(), "eval", SQTrue))) {
            sq_pushroottable(v);
            sq_call(v, 1, SQTrue, SQTrue);
            sq_pushroottable(v);
            const SQChar* s = "call failed";
            if (SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQTrue))) sq_getstring(v, -1, &s);
            out = s;
        }
        sq_settop(v, top);
        return out;
    }
    void Exec(const std::string& statements) { ASSERT_EQ(Eval("(function() { " + statements + " })()"), "null") << statements; }
    std::string Path(const char* name) { return "\"" + dir.Path(name) + "\""; }

    nLogCapture log;
    nOrvex engine{FakeWorldParts()};
    nCallLog calls;
    nRecordingRenderer renderer{&engine, &calls};
    nTempDir dir;
    nProject project{&engine};
    HSQUIRRELVM v = 0;
};

TEST_F(ProjectScriptAPI, InstancesLayersAndUnloading)
{
    Exec("::level <- ProjectInstantiateScene(g_project, " + Path("level.nms") + ");"
                                                                                "::hud <- ProjectInstantiateScene(g_project, " +
         Path("hud.nml") + ");"
                           "::deep <- ProjectAddLayer(g_project, level, 10); ::near <- ProjectAddLayer(g_project, level, 5);"
                           "::top <- ProjectAddLayer(g_project, hud, 1);");
    const struct
    {
        const char* code;
        const char* text;
    } cases[] = {
        {"ProjectSceneGetType(level)", "1"},
        {"ProjectSceneGetType(hud)", "2"},
        {"ProjectSceneGetInstance(level).type()", "9"},
        {"ProjectSceneGetInstance(hud).type()", "12"},
        {"ProjectGetSceneLayerList(g_project, level).len()", "2"},
        {"ProjectLayerGetZOrder(near)", "5"},
        {"(ProjectLayerSetZOrder(near, 7.5), ProjectLayerGetZOrder(near))", "7.5"},
        {"ProjectLayerGetScene(top) <=> hud", "0"},
        {"ProjectSceneIsActive(g_project, level)", "true"},
        {"(ProjectActivateScene(g_project, level, false), ProjectIsSceneActive(g_project, level))", "false"},
        {"ProjectSceneGetScriptInstance(level).tag", "level script"},
        {"ProjectSceneGetScriptInstanceFromClass(level, \"Level\").tag", "level script"},
        {"ProjectSceneGetScriptInstanceFromClass(level, \"Other\")", "error: Script unit not found"},
        {"ProjectSceneGetScriptInstance(hud)", "error: No script unit"},
        {"ProjectGetScriptInstance(g_project).rendered", "0"},
        {"ProjectFindScene(g_project, \"none\").isNull()", "true"},
        {"ProjectSceneTypeScene2d", "2"},
        {"NullItem.type()", "24"},
    };
    for (const auto& c : cases) EXPECT_EQ(Eval(c.code), c.text) << c.code;
    EXPECT_EQ(Eval("ProjectFindScene(g_project, " + Path("level.nms") + ") <=> level"), "0");

    // Unloading takes the instance's layers with it; no object of either is left pointing at them.
    Exec("ProjectUnloadScene(g_project, level);");
    EXPECT_EQ(project.GetLayers().GetCount(), 1);
    EXPECT_EQ(Eval("level.isValid()"), "false");
    EXPECT_EQ(Eval("deep.isValid() || near.isValid()"), "false");
    EXPECT_EQ(Eval("ProjectSceneGetType(level)"), "error: Expected 'Project Scene' got 'Deleted native'");
    EXPECT_EQ(Eval("ProjectGetSceneLayerList(g_project, hud).len()"), "1");
    EXPECT_EQ(Eval("ProjectSceneGetType(ProjectLayerGetScene(NullItem))"), "error: Expected 'Project Layer' got 'Item'");
}

// ProjectRender draws the stack with scripts off; from the project's own OnRenderScene it is
// refused, so a frame never draws inside itself.
TEST_F(ProjectScriptAPI, RenderOnDemandAndItsRefusalInsideTheProjectsDraw)
{
    Exec("::level <- ProjectInstantiateScene(g_project, " + Path("level.nms") + "); ProjectAddLayer(g_project, level, 1);");
    Exec("ProjectRender(g_project)");
    EXPECT_EQ(Eval("ProjectGetScriptInstance(g_project).rendered"), "0");
    int32_t drawnAlone = 0;
    for (const std::string& call : calls.Calls()) drawnAlone += call == "render.RenderQueue";
    EXPECT_EQ(drawnAlone, 1);

    project.Render(0);
    EXPECT_EQ(Eval("ProjectGetScriptInstance(g_project).rendered"), "1");
    EXPECT_NE(log.Text().find("[!] ProjectRender() ignored: the project is drawing.\n"), std::string::npos) << log.Text();
}

TEST_F(ProjectScriptAPI, ScriptMadeScenesEndAndThreadedLoads)
{
    const struct
    {
        const char* code;
        const char* text;
    } cases[] = {
        {"ProjectNewScene(g_project).type()", "9"},
        {"ProjectNewScene3D(g_project).isValid()", "true"},
        {"ProjectNewScene2D(g_project).type()", "12"},
        {"LoadThreadIsDone(EngineLoadGeometryThreaded(g_engine, \"none.nmo\"))", "true"},
        {"SceneFromNMLThreaded(ProjectNewScene(g_project), \"none.nms\").type()", "2"},
        {"ProjectEnd(NullItem)", "error: Expected 'Project' got 'Item'"},
    };
    for (const auto& c : cases) EXPECT_EQ(Eval(c.code), c.text) << c.code;
    sq_collectgarbage(v);
    EXPECT_EQ(project.GetQuit(), 0);
    Exec("ProjectEnd(g_project)");
    EXPECT_EQ(project.GetQuit() & 1, 1);
}

// A 2D instance is found by its name like a 3D one, and the offset given to the 2D layers
// moves what their scenes draw: by the offset over the internal resolution, in the scene
// transform applied after every sprite's own.
TEST_F(ProjectScriptAPI, TwoDimensionalInstancesFoundByNameAndMovedByTheLayerOffset)
{
    Exec("::hud <- ProjectInstantiateScene(g_project, " + Path("hud.nml") + "); ProjectAddLayer(g_project, hud, 1);"
                                                                            "::ui <- ProjectSceneGetInstance(hud); UISetInternalResolution(ui, 640, 480);"
                                                                            "::dot <- UIAddSprite(ui, 1, NullTexture, 0, 0, 10, 10); WindowShow(dot, true); WindowForceLayout(dot);");
    EXPECT_EQ(Eval("ProjectFindScene(g_project, " + Path("hud.nml") + ") <=> hud"), "0");
    nProjectSceneInstance* instance = project.FindInstanceByName(dir.Path("hud.nml").c_str());
    ASSERT_TRUE(instance && instance->GetScene2D());
    const nSprite2D* dot = instance->GetScene2D()->GetSprites().GetTail()->value;
    const nVector before = dot->GetFinalTransform().GetColumn(2);
    Exec("ProjectSetAll2DLayerOffset(g_project, 64, -48); WindowForceLayout(dot);");
    const nVector after = dot->GetFinalTransform().GetColumn(2);
    EXPECT_NEAR(after.x - before.x, 64.0f / 640.0f, 1e-5f);
    EXPECT_NEAR(after.y - before.y, -48.0f / 480.0f, 1e-5f);
}

}  // namespace
