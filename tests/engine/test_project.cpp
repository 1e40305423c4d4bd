// The project: a project file of our own with includes, a script unit and two 3D layers run
// over several frames; layer clearing and order; the busy guard; unloading, activation and
// the environment NML.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <squirrel.h>

#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "core/nVector.h"
#include "hub/nOrvex.h"
#include "engine/nProject.h"
#include "scene/nScene.h"
#include "scriptiface/nScriptEventDispatcher.h"
#include "tests/engine/nScriptNotes.h"
#include "tests/kit/nCallLog.h"
#include "tests/kit/nRecordingRenderer.h"
#include "tests/scene/kit/nFakePhysicWorld.h"
#include "tests/scene/kit/nKitClock.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nTempDir.h"

namespace {

typedef std::vector<std::string> Lines;

// Try(operation): a script asks the project for one of its guarded operations.
nProject* g_project = 0;
std::string g_scenePath;
nProjectSceneInstance* g_target = 0;

SQInteger Try(HSQUIRRELVM v)
{
    const SQChar* op = "";
    sq_getstring(v, 2, &op);
    std::string o = op;
    bool done = false;
    if (o == "Open") done = g_project->Open(true);
    else if (o == "Setup") done = g_project->Setup();
    else if (o == "Close") {
        g_project->Close(false);
        done = true;
    } else if (o == "Instantiate") done = g_project->Instantiate(g_scenePath.c_str()) != 0;
    else if (o == "Unload") {
        g_project->Unload(g_target);
        done = true;
    } else if (o == "Render") {
        g_project->Render(0);
        done = true;
    } else if (o == "Evaluate") {
        g_project->Evaluate(63);
        done = true;
    } else if (o == "Active") done = g_target && g_target->IsActive();
    else if (o == "NewLayer") done = g_project->NewLayer(g_target, 3.0f) != 0;
    else if (o == "Activate") {
        g_project->ActivateScene(g_target, true);
        done = true;
    }
    sq_pushbool(v, done ? SQTrue : SQFalse);
    return 1;
}

nOrvexParts FakeWorldParts()
{
    nOrvexParts parts;
    parts.physicWorlds = nFakePhysicWorld::Make;
    return parts;
}

class Project : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_project = &project;
        notes.sink = &log;
    }
    void TearDown() override
    {
        project.Close(true);
        g_project = 0;
        g_target = 0;
    }

    std::string Write(const std::string& name, const std::string& text)
    {
        dir.Write(name, text);
        return dir.Path(name);
    }

    // A scene file with a background colour and one script unit of class Layer in layer.nut.
    std::string SceneFile(const std::string& name, const char* colour)
    {
        return Write(name + ".nms",
                     "<NML=1.0>\n<Scene=\n"
                     "\t<ScriptedObject= <ScriptUnit= <Script=\"" +
                         dir.Path("layer.nut") + "\"> <Class=\"Layer\">\n"
                                                 "\t\t<ParmList= <Parm= <Id=\"label\"> <Value=\"" +
                         name + "\"> > > > >\n"
                                "\t<Globals= <BackgroundColor= " +
                         colour + " > >\n>\n");
    }

    // The calls that clear or draw the queue, with the script notes when asked, in order.
    Lines Drawn(bool withScripts = false) const
    {
        Lines out;
        for (const std::string& call : log.Calls())
            if (call.rfind("render.Clear", 0) == 0 || call == "render.RenderQueue" ||
                (withScripts && call.rfind("script.", 0) == 0))
                out.push_back(call);
        return out;
    }

    // Opens the project with a script class Game and notes registered.
    void OpenWith(const std::string& game, const std::string& layer)
    {
        Write("layer.nut", layer);
        project.SetScriptPath(Write("game.nut", game).c_str());
        project.SetClassName("Game");
        ASSERT_TRUE(project.Open(true));
        notes.Register(project.GetScriptVM());
        nScriptNotes::Register(project.GetScriptVM(), "Try", Try);
        notes.Name(static_cast<void*>(&project), "project");
    }

    // A loaded scene is named after its file; the notes call it by the short name from the
    // moment it is loaded (its set-up events come before and show "?").
    nProjectSceneInstance* Load(const std::string& name, const char* colour)
    {
        nProjectSceneInstance* instance = project.Instantiate(SceneFile(name, colour).c_str());
        EXPECT_NE(instance, nullptr);
        if (instance && instance->GetScene3D()) notes.Name(instance->GetScene3D(), name);
        return instance;
    }

    nProjectLayer* Layer(nProjectSceneInstance* instance, float depth, const char* name)
    {
        nProjectLayer* layer = project.NewLayer(instance, depth);
        notes.Name(layer, name);
        return layer;
    }

    void Frame()
    {
        engine.TickClock();
        project.Evaluate(63);
        project.Render(0);
    }

    nOrvex engine{FakeWorldParts()};
    nCallLog log;
    nRecordingRenderer renderer{&engine, &log};
    nTempDir dir;
    nScriptNotes notes;
    nProject project{&engine};
};

const char* kSky = "<x=0.25> <y=0.5> <z=0.75>";
const char* kGround = "<x=0.1> <y=0.2> <z=0.3>";

const char* kLayerScript =
    "class Layer {\n"
    "  label = \"\";\n"
    "  function OnSetup(scene) { Note(\"Layer.OnSetup\", scene, label); }\n"
    "  function OnUpdate(scene) { Note(\"Layer.OnUpdate\", scene, ::g_scene); }\n"
    "}\n";

TEST_F(Project, AProjectFileRunsIncludesScriptAndLayersFrameByFrame)
{
    Write("lib.nut", "function Label(s) { return \"<\" + s + \">\"; }\n");
    Write("util.nut", "::g_included <- Label(\"util\");\n");
    Write("layer.nut", std::string(kLayerScript) +
                           "Layer.OnRenderDone <- function(scene) { Note(\"Layer.OnRenderDone\", scene); };\n"
                           "Layer.OnRenderUI <- function(scene) { Note(\"Layer.OnRenderUI\", scene); };\n");
    Write("game.nut",
          "class Game {\n"
          "  title = \"\";\n"
          "  function OnSetup(project) { Note(\"Game.OnSetup\", project, title, ::g_context_project, ::g_included); }\n"
          "  function OnUpdate(project) { Note(\"Game.OnUpdate\", project, ::g_dt_frame); }\n"
          "  function OnRender(project) { Note(\"Game.OnRender\", project); }\n"
          "  function OnRenderScene(project, scene, layer) { Note(\"Game.OnRenderScene\", project, scene, layer); }\n"
          "  function OnClose(project) { Note(\"Game.OnClose\", project); }\n"
          "}\n");
    std::string file = Write("game.ngp",
                             "<NML=1.0>\n"
                             "<Environment=\n"
                             "\t<Name=\"Two Layers\">\n"
                             "\t<Include= <URI=\"" +
                                 dir.Path("lib.nut") + "\"> <URI=\"" + dir.Path("util.nut") + "\"> >\n"
                                                                                              "\t<ScriptUnit= <Script=\"" +
                                 dir.Path("game.nut") + "\"> <Class=\"Game\">\n"
                                                        "\t\t<ParmList= <Parm= <Id=\"title\"> <Value=\"demo\"> > > >\n"
                                                        ">\n");

    ASSERT_TRUE(project.Load(file.c_str()));
    EXPECT_TRUE(project.GetName() == "Two Layers");
    EXPECT_TRUE(project.GetFileName() == file.c_str());
    ASSERT_TRUE(project.Open(true));
    notes.Register(project.GetScriptVM());
    notes.Name(static_cast<void*>(&project), "project");
    ASSERT_TRUE(project.Setup());

    // Drawn deepest first whatever the order of creation.
    nProjectSceneInstance* ground = Load("ground", kGround);
    nProjectSceneInstance* sky = Load("sky", kSky);
    Layer(ground, 5.0f, "layer5");
    Layer(sky, 10.0f, "layer10");
    EXPECT_EQ(log.Calls(), (Lines{"script.Game.OnSetup,project:5,demo,true,<util>",
                                  "script.Layer.OnSetup,?:9,ground", "script.Layer.OnSetup,?:9,sky"}));

    SetEngineFrameTime(&engine, 166);
    for (int frame = 0; frame < 3; ++frame) {
        SCOPED_TRACE(frame);
        log.Clear();
        Frame();
        Lines want = {
            "script.Game.OnUpdate,project:5,0.0166",
            "script.Layer.OnUpdate,ground:9,ground:9",
            "script.Layer.OnUpdate,sky:9,sky:9",
            "script.Game.OnRender,project:5",
            "script.Game.OnRenderScene,project:5,sky:9,layer10:45",
            "render.Clear(0.25,0.5,0.75,1,0)",
            "script.Layer.OnRenderDone,sky:9",
            "render.RenderQueue",
            "script.Layer.OnRenderUI,sky:9",
            "script.Game.OnRenderScene,project:5,ground:9,layer5:45",
            "render.Clear(0.1,0.2,0.3,1,1)",
            "script.Layer.OnRenderDone,ground:9",
            "render.RenderQueue",
            "script.Layer.OnRenderUI,ground:9",
        };
        EXPECT_EQ(Drawn(true), want);
        // Each 3D layer also draws its scene's own 2D layer after the queue.
        EXPECT_EQ(log.Count("render.SetViewMatrix"), 2u);
    }
    EXPECT_FALSE(project.GetScriptVM().IsKilled());

    log.Clear();
    project.Close(true);
    EXPECT_EQ(log.Calls(), (Lines{"script.Game.OnClose,project:5"}));
    EXPECT_EQ(project.GetInstances().GetCount(), 0);
    EXPECT_EQ(project.GetLayers().GetCount(), 0);
    EXPECT_FALSE(project.GetScriptVM().IsOpen());
}

TEST_F(Project, ScenesEvaluatingAreRefusedEveryGuardedOperation)
{
    OpenWith("class Game {\n"
             "  function OnUpdate(project) { Note(\"Game.OnUpdate\", Try(\"Instantiate\")); }\n"
             "}\n",
             "class Layer {\n"
             "  label = \"\";\n"
             "  function OnUpdate(scene) {\n"
             "    foreach (op in [\"Open\", \"Setup\", \"Close\", \"Instantiate\", \"Unload\", \"Render\", \"Evaluate\",\n"
             "                    \"NewLayer\", \"Activate\"])\n"
             "      Note(op, Try(op));\n"
             "  }\n"
             "}\n");
    nProjectSceneInstance* level = Load("level", kGround);
    g_target = level;
    g_scenePath = dir.Path("level.nms");  // the loaded scene's name
    Layer(level, 1.0f, "layer");
    nLogCapture capture;
    project.Evaluate(63);

    Lines refused;
    for (const std::string& line : capture.Lines())
        if (line.find("Cannot call") != std::string::npos) refused.push_back(line);
    Lines want;
    for (const char* op : {"Open", "Setup", "Close", "Instantiate", "Unload", "Render", "Evaluate"})
        want.push_back(std::string("[!] Cannot call 'nProject::") + op +
                       "' while rendering or evaluating the project scene stack.\n");
    EXPECT_EQ(refused, want);
    // The project's own OnUpdate runs before the scenes and may load (here: finds) a scene.
    EXPECT_EQ(notes.lines, (Lines{"Game.OnUpdate,true", "Open,false", "Setup,false", "Close,true",
                                  "Instantiate,false", "Unload,true", "Render,true", "Evaluate,true",
                                  "NewLayer,true", "Activate,true"}));
    // Nothing the guard covers changed; a layer may still be added and a scene activated.
    EXPECT_EQ(project.GetInstances().GetCount(), 1);
    EXPECT_EQ(project.GetLayers().GetCount(), 2);
    EXPECT_NE(project.GetScriptVM().GetHandle(), nullptr);
    EXPECT_FALSE(project.IsBusy());
    EXPECT_FALSE(project.GetScriptVM().IsKilled());
}

TEST_F(Project, LayerClearingFollowsTheActiveLayersInDepthOrder)
{
    struct Case
    {
        const char* name;
        bool skyActive;
        bool groundActive;
        bool withLayers;
        Lines want;
    };
    const Case cases[] = {
        {"both active", true, true, true, {"render.Clear(0.25,0.5,0.75,1,0)", "render.RenderQueue", "render.Clear(0.1,0.2,0.3,1,1)", "render.RenderQueue"}},
        {"inactive deepest layer passes the full clear on", false, true, true, {"render.Clear(0.1,0.2,0.3,1,0)", "render.RenderQueue"}},
        {"nothing active", false, false, true, {}},
        {"no layers", true, true, false, {}},
    };
    nProjectSceneInstance* sky = Load("sky", kSky);
    nProjectSceneInstance* ground = Load("ground", kGround);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.withLayers && project.GetLayers().GetCount() == 0) {
            Layer(ground, 2.0f, "near");
            Layer(sky, 20.0f, "far");
        }
        if (!c.withLayers) {
            project.Unload(sky);
            project.Unload(ground);
            EXPECT_EQ(project.GetLayers().GetCount(), 0);
        } else {
            project.ActivateScene(sky, c.skyActive);
            project.ActivateScene(ground, c.groundActive);
        }
        log.Clear();
        project.Render(0);
        EXPECT_EQ(Drawn(), c.want);
    }
}

TEST_F(Project, UnloadTakesEveryLayerOfTheInstanceAlsoFromInsideTheDrawWalk)
{
    OpenWith("class Game {\n"
             "  function OnRenderScene(project, scene, layer) { Note(\"OnRenderScene\", scene, layer); Try(\"Unload\"); }\n"
             "  function OnActivateScene(project, instance) { Note(\"OnActivateScene\", instance, Try(\"Active\")); }\n"
             "}\n",
             kLayerScript);
    nProjectSceneInstance* sky = Load("sky", kSky);
    nProjectSceneInstance* ground = Load("ground", kGround);
    notes.Name(ground, "groundInstance");
    Layer(sky, 10.0f, "sky10");
    Layer(ground, 5.0f, "ground5");
    Layer(ground, 1.0f, "ground1");

    // Activation: the script sees the state before the change.
    notes.lines.clear();
    g_target = ground;
    project.ActivateScene(ground, false);
    project.ActivateScene(ground, true);
    EXPECT_EQ(notes.lines, (Lines{"OnActivateScene,groundInstance:44,true", "OnActivateScene,groundInstance:44,false"}));

    // The first layer's handler unloads the ground instance, which two later layers draw:
    // neither is drawn, and both are gone once the walk ends.
    notes.lines.clear();
    log.Clear();
    project.Render(0);
    EXPECT_EQ(notes.lines, (Lines{"OnRenderScene,sky:9,sky10:45"}));
    EXPECT_EQ(Drawn(), (Lines{"render.Clear(0.25,0.5,0.75,1,0)", "render.RenderQueue"}));
    EXPECT_EQ(project.GetLayers().GetCount(), 1);
    EXPECT_EQ(project.GetInstances().GetCount(), 1);

    // Unloading an instance that is no longer loaded is reported.
    nLogCapture capture;
    g_target = 0;
    nProjectSceneInstance* other = Load("other", kGround);
    project.Unload(other);
    project.Unload(other);
    EXPECT_EQ(capture.Lines().back(), "[*] Trying to unload an invalid scene instance.\n");
}

TEST_F(Project, ATwoDimensionalLayerIsDrawnAsItsSceneOverTheDeeperLayers)
{
    OpenWith("class Game {\n"
             "  function OnRenderScene(project, scene, layer) { Note(\"OnRenderScene\", scene, layer); }\n"
             "}\n",
             kLayerScript);
    nProjectSceneInstance* world = Load("world", kSky);
    nProjectSceneInstance* hud = project.Instantiate(Write("hud.nml", "<NML=1.0>\n<Scene2d=1>\n").c_str());
    ASSERT_NE(hud, nullptr);
    ASSERT_EQ(hud->GetType(), (int32_t)ProjectSceneTypeScene2d);
    ASSERT_NE(hud->GetScene2D(), nullptr);
    EXPECT_EQ(hud->GetScene3D(), nullptr);
    notes.Name(static_cast<void*>(hud->GetScene2D()), "hud");
    Layer(hud, 0.0f, "front");
    Layer(world, 100.0f, "back");

    notes.lines.clear();
    log.Clear();
    project.Render(0);
    EXPECT_EQ(notes.lines, (Lines{"OnRenderScene,world:9,back:45", "OnRenderScene,hud:12,front:45"}));
    EXPECT_EQ(Drawn(), (Lines{"render.Clear(0.25,0.5,0.75,1,0)", "render.RenderQueue", "render.Clear(0,0,0,1,1)"}));
    // The 2D layer draws itself after its clear: its view and projection, no queue (the
    // 3D layer's own 2D layer did the same once).
    Lines calls = log.Calls();
    EXPECT_EQ(calls.back(), "render.SetProjectionMatrix(1)");
    EXPECT_EQ(log.Count("render.SetViewMatrix"), 2u);

    // With scripts off the handlers are skipped and the layers still drawn.
    notes.lines.clear();
    log.Clear();
    project.Render(1);
    EXPECT_TRUE(notes.lines.empty());
    EXPECT_EQ(log.Count("render.RenderQueue"), 1u);
    EXPECT_EQ(log.Count("render.SetViewMatrix"), 2u);
}

TEST_F(Project, InstantiateFindsByNameLoadsOrFails)
{
    nProjectSceneInstance* first = Load("level", kGround);
    ASSERT_NE(first, nullptr);
    std::string path = dir.Path("level.nms");
    EXPECT_TRUE(first->GetName() == path.c_str());
    EXPECT_EQ(project.Instantiate(path.c_str()), first);  // found by its name: nothing is loaded
    EXPECT_EQ(project.GetInstances().GetCount(), 1);
    // Renamed, the scene no longer answers to the path: a second copy is loaded.
    first->GetScene3D()->SetName("renamed");
    nProjectSceneInstance* copy = project.Instantiate(path.c_str());
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, first);
    EXPECT_EQ(project.FindInstanceByName("renamed"), first);
    EXPECT_EQ(project.FindInstanceByName(path.c_str()), copy);
    EXPECT_EQ(project.FindInstanceByName("level"), nullptr);

    nLogCapture capture;
    std::string missing = dir.Path("none.nms");
    EXPECT_EQ(project.Instantiate(missing.c_str()), nullptr);
    EXPECT_EQ(project.Instantiate(Write("other.nml", "<NML=1.0>\n<Geometry=1>\n").c_str()), nullptr);
    EXPECT_EQ(capture.Lines(), (Lines{"[*] Could not access file '" + missing + "'.\n",
                                      "[!] Could not instantiate scene '" + missing + "', file not found.\n"}));
    EXPECT_EQ(project.GetInstances().GetCount(), 2);
    EXPECT_EQ(project.CountActiveInstances(), 2);
    project.ActivateScene(copy, false);
    EXPECT_EQ(project.CountActiveInstances(), 1);

    nProjectSceneInstance empty(ProjectSceneTypeNone, 0);
    EXPECT_TRUE(empty.GetName() == "Empty");
}

TEST_F(Project, EnvironmentRoundTrip)
{
    const std::string text =
        "<NML=1.0>\n"
        "<Environment=\n"
        "\t<Name=\"Demo\">\n"
        "\t<Authors=\"A and B\">\n"
        "\t<Description=\"A test\">\n"
        "\t<Copyright=\"(c) us\">\n"
        "\t<Include= <URI=\"a.nut\"> <URI=\"b.nut\"> <URI=\"a.nut\"> >\n"
        "\t<SearchPaths= <Dir=\"data\"> <Path=\"more\"> >\n"
        "\t<ScriptUnit= <Script=\"game.nut\"> <Class=\"Game\"> >\n"
        "\t<Unknown=1>\n"
        ">\n";
    nMetaFile source;
    ASSERT_TRUE(source.Parse(text.data(), (int32_t)text.size()));
    nLogCapture capture;
    ASSERT_TRUE(project.DeserializeFromMetaFile(&source));
    EXPECT_EQ(capture.Lines(), (Lines{"Parsing NML environment...\n"}));
    EXPECT_TRUE(project.GetScriptPath() == "game.nut");
    EXPECT_TRUE(project.GetClassName() == "Game");
    EXPECT_EQ(project.GetIncludes().GetCount(), 3);
    EXPECT_EQ(project.GetSearchPaths().GetCount(), 2);

    // Written back in its fixed order, search paths as "Path", without the script unit.
    nMetaFile written;
    ASSERT_TRUE(project.SerializeToMetaFile(&written));
    const std::string expected =
        "<NML=1.0>\n"
        "<Environment=\n"
        "\t<Name=\"Demo\">\n"
        "\t<Authors=\"A and B\">\n"
        "\t<Description=\"A test\">\n"
        "\t<Copyright=\"(c) us\">\n"
        "\t<Include= <URI=\"a.nut\"> <URI=\"b.nut\"> <URI=\"a.nut\"> >\n"
        "\t<SearchPaths= <Path=\"data\"> <Path=\"more\"> >\n"
        ">\n";
    nMetaFile want;
    ASSERT_TRUE(want.Parse(expected.data(), (int32_t)expected.size()));
    ASSERT_TRUE(written.Save(dir.Path("written.nml").c_str()));
    ASSERT_TRUE(want.Save(dir.Path("want.nml").c_str()));
    EXPECT_EQ(dir.Read("written.nml"), dir.Read("want.nml"));

    // Reading again starts from empty lists.
    ASSERT_TRUE(project.DeserializeFromMetaFile(&source));
    EXPECT_EQ(project.GetIncludes().GetCount(), 3);

    capture.Clear();
    nMetaFile wrong;
    const std::string other = "<NML=1.0>\n<Project=1>\n";
    ASSERT_TRUE(wrong.Parse(other.data(), (int32_t)other.size()));
    EXPECT_FALSE(project.DeserializeFromMetaFile(&wrong));
    EXPECT_EQ(capture.Lines(), (Lines{"[!] Could not parse environment. Root tag id is incorrect (Project).\n"}));
}

}
