// OpenGL renderer overhead: an empty frame (clear and present) and the upload of a 1024 x 1024
// RGBA texture through the renderer, each beside the same GL calls made directly on the same
// context in the same run. Needs a display (Xvfb will do); without one it says so and stops.

#include <benchmark/benchmark.h>

#include <SDL.h>
#include <GL/gl.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/nLog.h"
#include "hub/nOrvex.h"
#include "render/gl/nGL3Renderer.h"
#include "resources/nTexture.h"

namespace
{
    const int kWidth = 640;
    const int kHeight = 480;
    const uint32_t kTextureEdge = 1024;

    nOrvex*       g_engine = 0;
    nGL3Renderer* g_renderer = 0;

    SDL_Window* Window()
    {
        return static_cast<SDL_Window*>(g_renderer->GetWindowHandle());
    }

    void FillTexels(nPicture& picture)
    {
        picture.Allocate(kTextureEdge, kTextureEdge, PixelFormatRGBA8);
        uint8_t* p = picture.GetPixels();
        for (size_t i = 0; i < (size_t)kTextureEdge * kTextureEdge * 4; ++i) p[i] = (uint8_t)(i * 31);
    }
}

static void BM_EmptyFrame_Renderer(benchmark::State& state)
{
    for (auto _ : state) {
        g_renderer->Clear(0.1f, 0.2f, 0.3f, 1.0f, false);
        g_renderer->Present();
    }
    glFinish();
}
BENCHMARK(BM_EmptyFrame_Renderer)->Unit(benchmark::kMicrosecond);

static void BM_EmptyFrame_Direct(benchmark::State& state)
{
    for (auto _ : state) {
        glClearColor(0.1f, 0.2f, 0.3f, 1.0f);
        glClearDepth(1.0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        SDL_PumpEvents();
        SDL_GL_SwapWindow(Window());
    }
    glFinish();
}
BENCHMARK(BM_EmptyFrame_Direct)->Unit(benchmark::kMicrosecond);

static void BM_TextureUpload_Renderer(benchmark::State& state)
{
    // Mipmaps off and no compression: the renderer stores plain RGBA8, as the direct upload.
    g_renderer->SetSystemFlag(RendererSystemTextureNoCompression, true);
    g_renderer->SetCleanResourceOnSetup(false);
    nTexture texture(g_engine, 1, 0);
    texture.SetName("bench");
    FillTexels(texture);
    for (auto _ : state) {
        g_renderer->SetupTexture(&texture);
        g_renderer->FreeTexture(&texture);
    }
    glFinish();
    state.SetBytesProcessed((int64_t)state.iterations() * kTextureEdge * kTextureEdge * 4);
}
BENCHMARK(BM_TextureUpload_Renderer)->Unit(benchmark::kMicrosecond);

static void BM_TextureUpload_Direct(benchmark::State& state)
{
    nPicture picture;
    FillTexels(picture);
    for (auto _ : state) {
        GLuint name = 0;
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kTextureEdge, kTextureEdge, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     picture.GetPixels());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glBindTexture(GL_TEXTURE_2D, 0);
        glDeleteTextures(1, &name);
    }
    glFinish();
    state.SetBytesProcessed((int64_t)state.iterations() * kTextureEdge * kTextureEdge * 4);
}
BENCHMARK(BM_TextureUpload_Direct)->Unit(benchmark::kMicrosecond);

namespace
{
    // Prints the console report, then each renderer time against its direct twin (medians
    // when repeated), with the 1.1 limit beside it.
    class RatioReporter : public benchmark::ConsoleReporter
    {
    public:
        void ReportRuns(const std::vector<Run>& runs) override
        {
            for (const Run& run : runs) {
                if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
                m_times[run.run_name.function_name] = run.GetAdjustedRealTime();
            }
            ConsoleReporter::ReportRuns(runs);
        }

        void PrintRatios()
        {
            const char* pairs[][3] = {{"empty frame", "BM_EmptyFrame_Renderer", "BM_EmptyFrame_Direct"},
                                      {"1024x1024 texture upload", "BM_TextureUpload_Renderer", "BM_TextureUpload_Direct"}};
            for (const auto& p : pairs) {
                if (!m_times.count(p[1]) || !m_times.count(p[2]) || m_times[p[2]] <= 0.0) continue;
                double ratio = m_times[p[1]] / m_times[p[2]];
                std::printf("%s: renderer / direct = %.3f (limit 1.100)%s\n", p[0], ratio,
                            ratio <= 1.1 ? "" : "  OVER THE LIMIT");
            }
        }

    private:
        std::map<std::string, double> m_times;
    };
}

int main(int argc, char** argv)
{
    // Repeated and interleaved unless asked otherwise: the frame timings of a software
    // driver on a virtual display are noisy, and a fixed order would favour one side.
    std::vector<char*> args(argv, argv + argc);
    char repetitions[] = "--benchmark_repetitions=7";
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    char aggregates[] = "--benchmark_report_aggregates_only=true";
    if (argc == 1) {
        args.push_back(repetitions);
        args.push_back(interleave);
        args.push_back(aggregates);
    }
    int count = (int)args.size();
    benchmark::Initialize(&count, args.data());
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::printf("bench_gl: no display can be opened (%s); nothing measured.\n", SDL_GetError());
        return 0;
    }
    // Only errors: the upload's set-up line would otherwise be printed every iteration.
    g_log->SetMask(LogLevelError);
    nOrvex engine;
    nGL3Renderer renderer(&engine, true);
    g_engine = &engine;
    g_renderer = &renderer;
    if (!renderer.Open(kWidth, kHeight, 32, 2)) {
        std::printf("bench_gl: the OpenGL renderer could not open; nothing measured.\n");
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return 0;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    renderer.Close();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return 0;
}
