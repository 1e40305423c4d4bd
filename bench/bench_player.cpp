// Start-up and shutdown of the player on the null devices: the script machine opened with the
// whole script API, the boot library, the physics world, a scene of 1,000 objects with a scene
// script read, set up and reset, then everything closed again. Against it, the same scene read,
// set up and reset on a bare script machine without the API or a physics world, to show what
// the player's own steps cost.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "engine/hub/nOrvex.h"
#include "engine/player/nEngineResources.h"
#include "engine/player/nPlayerApp.h"
#include "scene/nScene.h"
#include "script/nSquirrelVM.h"

namespace {

const int32_t kObjects = 1000;

void WriteFile(const char* name, const std::string& text)
{
    FILE* f = std::fopen(name, "wb");
    if (!f) std::abort();
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

// A scratch folder holding the game, made once and entered for the whole run.
void PrepareGame()
{
    static bool prepared = false;
    if (prepared) return;
    prepared = true;
    char folder[] = "/tmp/qz-player-bench-XXXXXX";
    if (!mkdtemp(folder) || chdir(folder) != 0) std::abort();
    if (system("mkdir -p scriptlib") != 0) std::abort();
    WriteFile("scriptlib/zib.nut", "::g_booted <- true;\n");
    WriteFile("level.nut", "class Level { frames = 0; function OnUpdate(scene) { frames++; } }\n");
    std::string text = "<NML=1.0>\n<Scene=\n<Items=\n";
    char line[256];
    for (int32_t i = 0; i < kObjects; ++i) {
        std::snprintf(line, sizeof(line),
                      "<MObject= <MItem= <Id=\"object%d\"> <UId=%d> <Active> > <Object= <Item= <Position= <X=%d.0> <Y=0.0> <Z=%d.0> > > > >\n",
                      i, i, i % 32, i / 32);
        text += line;
    }
    text += ">\n<ScriptUnit= <Script=\"level.nut\"> <Class=\"Level\"> >\n>\n";
    WriteFile("level.nms", text);
    InstallEngineResources();
}

void BM_PlayerStartupAndShutdown(benchmark::State& state)
{
    PrepareGame();
    char program[] = "quazel", input[] = "level.nms", r[] = "-r", m[] = "-m", none[] = "none";
    char* argv[] = {program, input, r, none, m, none, nullptr};
    g_log->SetMask(0);
    for (auto _ : state) {
        nPlayerApp app;
        app.Init();
        if (!app.ParseCommandLine(6, argv) || !app.Setup()) {
            state.SkipWithError("start-up failed");
            break;
        }
        app.Shutdown();
    }
    g_log->SetMask(LogLevelAll);
}
BENCHMARK(BM_PlayerStartupAndShutdown)->Unit(benchmark::kMillisecond);

void BM_SceneReadAlone(benchmark::State& state)
{
    PrepareGame();
    g_log->SetMask(0);
    for (auto _ : state) {
        nOrvex engine;
        nSquirrelVM vm(&engine);
        vm.Open();
        nScene* scene = new nScene(&engine, &vm);
        scene->Load("level.nms");
        scene->Setup(true, 1024);
        scene->Reset();
        delete scene;
    }
    g_log->SetMask(LogLevelAll);
}
BENCHMARK(BM_SceneReadAlone)->Unit(benchmark::kMillisecond);

}
