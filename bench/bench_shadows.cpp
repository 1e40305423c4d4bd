// The CPU cost of a frame of the demo game (demo/crates) drawn by the player's OpenGL renderer
// with the sun's shadow maps and one post effect (the camera's sharpening), against the same
// frame without them, in the same run. Four variants alternate frame by frame on one running
// game (plain; shadows only; the post effect only; both), each frame timed from the start of
// the player's frame to the end of the driver's work (glFinish). The counters give the median
// frame of each variant and the share of the frame that the shadow pass and the post effect
// take (the extra time of their variant over the plain frame, over the frame with both).
// Needs a display (Xvfb will do); without one it says so and measures nothing.

#include <benchmark/benchmark.h>

#include <SDL.h>
#include <GL/gl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "core/nLog.h"
#include "engine/player/nPlayerApp.h"
#include "render/nRenderer.h"
#include "scene/nItem.h"
#include "scene/nLight.h"
#include "scene/nScene.h"

#ifndef QZ_SOURCE_DIR
#error "QZ_SOURCE_DIR names the source tree (demo game and the player's engine.cfg)"
#endif

namespace {

double Median(std::vector<double> values)
{
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void BM_DemoFrameShadowsAndPostVersusPlain(benchmark::State& state)
{
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        state.SkipWithError("no display can be opened");
        return;
    }
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    if (chdir(QZ_SOURCE_DIR "/demo/crates") != 0) {
        state.SkipWithError("no demo game");
        return;
    }
    g_log->SetMask(0);
    nPlayerApp app;
    app.Init();
    char program[] = "quazel", input[] = "crates.nms", r[] = "-r", gl2[] = "gl2", m[] = "-m", none[] = "none";
    char* argv[] = {program, input, r, gl2, m, none, nullptr};
    app.ReadConfigFile(QZ_SOURCE_DIR "/engine/player/engine.cfg");
    if (!app.ParseCommandLine(6, argv) || !app.Setup()) {
        g_log->SetMask(LogLevelAll);
        state.SkipWithError("the player could not start the demo");
        return;
    }
    // A slow game clock: the yard's script ends the show after eight seconds of game time.
    app.GetEngine().SetFixedDeltaFrame(0.002f);
    nRenderer* renderer = app.GetEngine().GetRenderer();
    nMItem* sunItem = app.GetScene() ? app.GetScene()->FindLight("sun") : 0;
    nItem* camera = app.GetScene() && renderer ? app.GetScene()->GetCurrentCamera() : 0;
    if (!sunItem || !camera) {
        app.Shutdown();
        g_log->SetMask(LogLevelAll);
        state.SkipWithError("the demo has no sun or camera");
        return;
    }
    nLight& sun = static_cast<nMLight*>(sunItem)->GetLight();
    for (int frame = 0; frame < 30; ++frame) app.DrawFrame();  // bodies falling, caches warm

    std::vector<double> times[4];  // bit 0: shadows, bit 1: the post effect
    int variant = 0;
    for (auto _ : state) {
        sun.SetShadow(variant & 1 ? LightShadowMap : LightShadowNone);
        camera->GetRegistry().DeletePath("PostProcess;");
        if (variant & 2) camera->GetRegistry().SetPathValue("PostProcess:Sharpen:Strength", nVariant(0.5f));
        const auto start = std::chrono::steady_clock::now();
        const bool ended = app.DrawFrame();
        glFinish();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        times[variant].push_back(seconds);
        variant = (variant + 1) & 3;
        if (ended || app.HasFailed()) {
            state.SkipWithError("the game ended during the measurement");
            break;
        }
    }
    app.Shutdown();
    g_log->SetMask(LogLevelAll);

    const double plain = Median(times[0]), shadows = Median(times[1]), post = Median(times[2]), both = Median(times[3]);
    state.counters["plain_ms"] = plain * 1e3;
    state.counters["shadows_ms"] = shadows * 1e3;
    state.counters["post_ms"] = post * 1e3;
    state.counters["both_ms"] = both * 1e3;
    state.counters["both_over_plain"] = plain > 0.0 ? both / plain : 0.0;
    state.counters["shadow_share"] = both > 0.0 ? (shadows - plain) / both : 0.0;
    state.counters["post_share"] = both > 0.0 ? (post - plain) / both : 0.0;
    state.counters["rest_share"] = both > 0.0 ? plain / both : 0.0;
}
BENCHMARK(BM_DemoFrameShadowsAndPostVersusPlain)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(400);

}

BENCHMARK_MAIN();
