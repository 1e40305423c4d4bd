// Windows that changed: 100 skinned windows of 200 x 120 (caches of 256 x 128) composed and
// uploaded through the renderer, beside the same pixel count copied with memcpy and uploaded
// with glTexSubImage2D on the same context, in the same run. BM_Windows_Ratio runs both in
// each iteration and reports compose / copy as "ratio" (target: at most 2). Needs a display
// (Xvfb will do); without one it says so and stops.

#include <benchmark/benchmark.h>

#include <SDL.h>
#include <GL/gl.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/nLog.h"
#include "hub/nOrvex.h"
#include "render/gl/nGL3Renderer.h"
#include "resources/nResourceCache.h"
#include "scriptiface/nScriptVM.h"
#include "ui/nScene2D.h"
#include "ui/nWindow.h"

namespace {
const int kWindows = 100;
const float kWindowWidth = 200.0f;
const float kWindowHeight = 120.0f;

nGL3Renderer* g_renderer = 0;
std::vector<nWindow*> g_windows;

// The peer: one GL texture and two pixel blocks per window, of the cache's size.
struct Copy
{
    GLuint texture;
    std::vector<uint8_t> source, target;
};
std::vector<Copy> g_copies;
GLsizei g_edgeX = 0, g_edgeY = 0;

void ComposeAndUpload()
{
    for (nWindow* window : g_windows) {
        window->Invalidate();
        window->Compose();
        window->UploadCache(g_renderer);
    }
    glFinish();
}

void CopyAndUpload()
{
    for (Copy& c : g_copies) {
        std::memcpy(c.target.data(), c.source.data(), c.source.size());
        glBindTexture(GL_TEXTURE_2D, c.texture);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, g_edgeX, g_edgeY, GL_RGBA, GL_UNSIGNED_BYTE, c.target.data());
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    glFinish();
}

// Eight skin pictures in the engine's cache, named as SetSkin asks for them.
bool MakeSkin(nOrvex& engine, nScene2D& scene)
{
    const int sizes[SkinSlotCount][2] = {{4, 24}, {12, 4}, {12, 4}, {4, 12}, {12, 24}, {12, 24}, {12, 12}, {12, 12}};
    const char* names[SkinSlotCount] = {"top", "left", "right", "bottom", "tl", "tr", "bl", "br"};
    for (int i = 0; i < SkinSlotCount; ++i) {
        nPicture* picture = new nPicture();
        picture->Allocate(sizes[i][0], sizes[i][1], PixelFormatRGBA8);
        std::memset(picture->GetPixels(), 0x40 + 16 * i, picture->GetByteSize());
        picture->SetName(names[i]);
        engine.GetResourceCache()->AddPicture(picture);
    }
    return scene.SetSkin(names, 0xD0302010u, 0xFFFFFFFFu, 4, 20, 16, "Default");
}
}

static void BM_Windows_ComposeAndUpload(benchmark::State& state)
{
    for (auto _ : state) ComposeAndUpload();
    state.SetBytesProcessed((int64_t)state.iterations() * kWindows * g_edgeX * g_edgeY * 4);
}
BENCHMARK(BM_Windows_ComposeAndUpload)->Unit(benchmark::kMillisecond);

static void BM_Windows_MemcpyAndUpload(benchmark::State& state)
{
    for (auto _ : state) CopyAndUpload();
    state.SetBytesProcessed((int64_t)state.iterations() * kWindows * g_edgeX * g_edgeY * 4);
}
BENCHMARK(BM_Windows_MemcpyAndUpload)->Unit(benchmark::kMillisecond);

// Both sides in every iteration, so that they share the machine's state of the moment.
static void BM_Windows_Ratio(benchmark::State& state)
{
    typedef std::chrono::steady_clock Clock;
    double compose = 0.0, copy = 0.0;
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        ComposeAndUpload();
        Clock::time_point middle = Clock::now();
        CopyAndUpload();
        copy += std::chrono::duration<double>(Clock::now() - middle).count();
        compose += std::chrono::duration<double>(middle - start).count();
    }
    state.counters["ratio"] = copy > 0.0 ? compose / copy : 0.0;
}
BENCHMARK(BM_Windows_Ratio)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::printf("bench_window_compose: no display can be opened (%s); nothing measured.\n", SDL_GetError());
        return 0;
    }
    g_log->SetMask(LogLevelError);
    nOrvexParts parts;
    parts.caches = nResourceCache::GetEngineOps();
    {
        nOrvex engine(parts);
        nGL3Renderer renderer(&engine, true);
        g_renderer = &renderer;
        // Plain RGBA8 textures on both sides.
        renderer.SetSystemFlag(RendererSystemTextureNoCompression, true);
        if (!renderer.Open(640, 480, 32, 2)) {
            std::printf("bench_window_compose: the OpenGL renderer could not open; nothing measured.\n");
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
            return 0;
        }
        {
            nScene2D scene(&engine, 0);
            if (!MakeSkin(engine, scene)) std::printf("bench_window_compose: the skin did not load.\n");
            const nVector2 size(kWindowWidth, kWindowHeight);
            for (int i = 0; i < kWindows; ++i) g_windows.push_back(new nWindow(&scene, 0, "w", 0, 0, &size));
            g_edgeX = (GLsizei)g_windows[0]->GetCachePicture()->GetWidth();
            g_edgeY = (GLsizei)g_windows[0]->GetCachePicture()->GetHeight();
            for (int i = 0; i < kWindows; ++i) {
                Copy c;
                c.source.assign((size_t)g_edgeX * g_edgeY * 4, (uint8_t)i);
                c.target.assign(c.source.size(), 0);
                glGenTextures(1, &c.texture);
                glBindTexture(GL_TEXTURE_2D, c.texture);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
                glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, g_edgeX, g_edgeY, 0, GL_RGBA, GL_UNSIGNED_BYTE, 0);
                g_copies.push_back(std::move(c));
            }
            glBindTexture(GL_TEXTURE_2D, 0);

            benchmark::RunSpecifiedBenchmarks();

            for (Copy& c : g_copies) glDeleteTextures(1, &c.texture);
            g_copies.clear();
            g_windows.clear();  // the scene deletes them
        }
        renderer.Close();
    }
    benchmark::Shutdown();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return 0;
}
