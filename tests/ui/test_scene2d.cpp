#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hub/nCoreListener.h"
#include "hub/nOrvex.h"
#include "scriptiface/nScriptEventDispatcher.h"
#include "tests/kit/nCallLog.h"
#include "tests/kit/nRecordingRenderer.h"
#include "tests/scene/kit/nKitClock.h"
#include "tests/scene/kit/nRecordingScriptVM.h"
#include "tests/support/nLogCapture.h"
#include "ui/nScene2D.h"

namespace {

typedef std::vector<std::string> Calls;

struct Layer
{
    nOrvex engine;
    nCallLog log;
    nRecordingRenderer renderer{&engine, &log};
    nRecordingScriptVM vm{&engine, &log};
};

TEST(Scene2D, KeepsTheInternalAspectWhateverTheOutputShape)
{
    struct
    {
        int32_t w, h;
        float aspect;
        float want;
    } cases[] = {
        {1280, 960, 1.0f, 1.0f},
        {1920, 1080, 1.0f, (1280.0f / 960.0f) * (1080.0f / 1920.0f)},
        {800, 800, 2.0f, (1280.0f / 960.0f) * 2.0f},
    };
    for (const auto& c : cases) {
        Layer l;
        nScene2D ui(&l.engine, &l.vm);
        l.renderer.Open(c.w, c.h, 32, 0);
        l.renderer.SetGlobalAspectRatio(c.aspect);
        l.log.Clear();
        ui.Render(true);
        Calls want = {"render.SetViewMatrix", "render.SetProjectionMatrix(" + FormatFloat(c.want) + ")",
                      "render.SetProjectionMatrix(1)"};
        EXPECT_EQ(l.log.Calls(), want) << c.w << "x" << c.h;
    }
}

TEST(Scene2D, FadeAboveOneHundredthDrawsTwoFullScreenTriangles)
{
    Layer l;
    nScene2D ui(&l.engine, &l.vm);
    ui.SetFadeColour(nVector(0.25f, 0.5f, 0.75f, 1.0f));
    ui.SetGlobalFade(0.01f);
    ui.Render(true);
    EXPECT_TRUE(l.log.With("render.DrawTriangle").empty());
    ui.SetGlobalFade(0.011f);
    l.log.Clear();
    ui.Render(true);
    Calls want = {
        "render.DrawTriangle(-1,1,1,1)(1,1,1,1)(-1,-1,1,1)(0.25,0.5,0.75,0.011) flags 16384",
        "render.DrawTriangle(1,1,1,1)(1,-1,1,1)(-1,-1,1,1)(0.25,0.5,0.75,0.011) flags 16384",
    };
    EXPECT_EQ(l.log.With("render.DrawTriangle"), want);
    ui.SetGlobalFade(3.0f);
    EXPECT_EQ(ui.GetGlobalFade(), 1.0f);
    ui.SetGlobalFade(-1.0f);
    EXPECT_EQ(ui.GetGlobalFade(), 0.0f);
}

TEST(Scene2D, GlobalFadeCommandReachesItsTargetWithTheFrameTime)
{
    Layer l;
    nScene2D ui(&l.engine, &l.vm);
    ASSERT_EQ(ui.CompileCommandList("globalfade 0.5, 1;", &ui), 2);
    SetEngineFrameTime(&l.engine, 1250);
    const float want[] = {0.25f, 0.5f, 0.75f, 1.0f};
    for (float w : want) {
        ui.Render(true);
        EXPECT_NEAR(ui.GetGlobalFade(), w, 1e-5f);
    }
    EXPECT_TRUE(ui.IsCommandListDone());
    EXPECT_EQ(ui.CompileCommandList("toangle 1, 90;", &ui), 2);  // a sprite command: defined, no effect here
    nLogCapture capture;
    EXPECT_EQ(ui.CompileCommandList("torotation 1, 0, 0, 0;", &ui), -1);  // a 3D command
    EXPECT_EQ(capture.Lines(), (Calls{"[!] Undefined ACE command 'torotation'.\n"}));
}

TEST(Scene2D, ScriptEventsGoToTheLayerItself)
{
    Layer l;
    l.vm.DefineClass("Hud", {"OnSetup", "OnReset", "OnUpdate", "OnDelete"});
    {
        nScene2D ui(&l.engine, &l.vm);
        l.vm.NameNative(&ui, "ui");
        ui.SetScriptPath("hud.nut");
        ui.SetClassName("Hud");
        EXPECT_TRUE(ui.Setup());
        ui.Reset();
        ui.Render(false);
        ui.Render(true);
        ui.Clear();
    }
    Calls want = {"script.run hud.nut", "script.new Hud", "script.OnSetup(native(12,ui))",
                  "script.OnReset(native(12,ui))", "script.OnUpdate(native(12,ui))", "script.OnDelete(native(12,ui))",
                  "script.OnDelete(native(12,ui))", "script.invalidate ui"};
    Calls seen;
    for (const std::string& c : l.log.Calls())
        if (c.compare(0, 7, "script.") == 0) seen.push_back(c);
    EXPECT_EQ(seen, want);
}

TEST(Scene2D, ListensToTheEngineWhileItLives)
{
    Layer l;
    nScene2D* ui = new nScene2D(&l.engine, &l.vm);
    EXPECT_TRUE(l.engine.RemoveCoreListener(ui));  // registered by the constructor
    ASSERT_TRUE(l.engine.AddCoreListener(ui));
    delete ui;  // leaves the list again
    EXPECT_FALSE(l.engine.RemoveCoreListener(ui));
}

}
