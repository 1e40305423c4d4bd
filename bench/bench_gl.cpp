// OpenGL renderer overhead: an empty frame (clear and present), the upload of a 1024 x 1024
// RGBA texture, and one deferred frame of 10,000 objects (queue, sort, state changes, uniforms,
// draw calls) through the renderer, each beside the same GL draws made directly on the same
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
#include "render/gl/nGL3Shader.h"
#include "render/gl/nGLEntryPoints.h"
#include "render/gl/nGLMaterial.h"
#include "resources/nGeometry.h"
#include "resources/nMaterial.h"
#include "resources/nRenderMap.h"
#include "resources/nShaderBlock.h"
#include "resources/nTexture.h"
#include "scene/nCamera.h"

namespace {
const int kWidth = 640;
const int kHeight = 480;
const uint32_t kTextureEdge = 1024;

nOrvex* g_engine = 0;
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

namespace {
const int kObjects = 10000;

// One queued object: a geometry record of its item.
class Drawable : public nRenderable
{
public:
    nItem* item = 0;
    nGeometry* geometry = 0;
    void Enqueue(nItem* camera, nRenderablePrimitiveList* list, int32_t pass) override
    {
        const float depth = item->GetWorldMatrix().m[11];
        nRenderablePrimitive* p = new nRenderablePrimitive(RenderablePrimitiveGeometry, item, depth, geometry);
        if (!list->InsertAfter(p, 0)) delete p;
    }
};

// 10,000 small quads of one constant material spread over the view of a camera at the origin.
struct Crowd
{
    nCamera camera;
    nSharedPtr<nMaterial> material;
    nSharedPtr<nGeometry> geometry;
    std::vector<nItem*> items;
    std::vector<Drawable> drawables;

    Crowd() : camera(g_engine)
    {
        nMaterial* m = new nMaterial(g_engine);
        material = m;
        nRenderMap* map = new nRenderMap;
        map->SetRoot(RenderMapNormal, new nShaderBlock(ShaderBlockNormal));
        nShaderBlock* constant = new nShaderBlock(ShaderBlockConstant);
        constant->constantType = ShaderValueVec4;
        constant->values[0] = 0.8f, constant->values[1] = 0.4f, constant->values[2] = 0.2f, constant->values[3] = 1.0f;
        map->SetRoot(RenderMapDiffuse, constant);
        m->SetRenderMap(map);
        g_renderer->SetupMaterial(m);

        nGeometry* g = new nGeometry(g_engine);
        geometry = g;
        g->AllocateVertices(4);
        g->AllocatePolygons(1);
        const float c[4][2] = {{-0.1f, -0.1f}, {-0.1f, 0.1f}, {0.1f, 0.1f}, {0.1f, -0.1f}};
        for (int k = 0; k < 4; ++k) g->vertices[k] = nVector(c[k][0], c[k][1], 0.0f, 1.0f);
        g->polygons[0].count = 4;
        g->polygons[0].material = 0;
        g->AllocateBindings();
        g->vertexNormals = nGeometry::AllocateArray<nVector>(g->bindingCount);
        for (uint32_t b = 0; b < g->bindingCount; ++b) {
            g->polygons[0].bindings[b] = (int32_t)b;
            g->vertexNormals[b] = nVector(0.0f, 0.0f, -1.0f, 0.0f);
        }
        g->AllocateMaterials(1, false);
        g->materials[0] = m;
        g_renderer->SetCleanResourceOnSetup(false);
        g_renderer->SetupGeometry(g);

        drawables.resize(kObjects);
        for (int i = 0; i < kObjects; ++i) {
            nItem* item = new nItem(g_engine);
            item->SetPosition(nVector((float)(i % 100) * 0.2f - 10.0f, (float)(i / 100) * 0.15f - 7.5f,
                                      10.0f + (float)((i * 7919) % 97) * 0.1f, 1.0f));
            item->GetWorldMatrix();
            items.push_back(item);
            drawables[i].item = item;
            drawables[i].geometry = g;
        }
        g_renderer->SetCamera(&camera);
        g_renderer->ApplyCamera();
    }

    ~Crowd()
    {
        g_renderer->SetCamera(0);
        g_renderer->FreeGeometry(geometry.Get());
        g_renderer->FreeMaterial(material.Get());
        for (nItem* item : items) delete item;
    }
};

Crowd* g_crowd = 0;
}

static void BM_ObjectFrame_Renderer(benchmark::State& state)
{
    for (auto _ : state) {
        g_renderer->ResetRenderQueue();
        for (Drawable& d : g_crowd->drawables) g_renderer->QueueRenderable(&d);
        g_renderer->RenderQueue();
    }
    glFinish();
}
BENCHMARK(BM_ObjectFrame_Renderer)->Unit(benchmark::kMillisecond);

// The same draws written out by hand: for the depth-normal and the attribute pass, every
// object's matrix, program, uniforms, buffers and indexed triangles, with the programs the
// renderer compiled for the material. Like with like: each frame also pays what the renderer's
// frame costs without a single object (its clears and full-screen steps, run by the renderer on
// an empty queue), and the hand-written draws start from the renderer's default state.
static void BM_ObjectFrame_Direct(benchmark::State& state)
{
    const nGLEntryPoints& gl = *g_renderer->GetEntryPoints();
    const GL_MaterialData* data = static_cast<GL_MaterialData*>(g_crowd->material->GetRenderData());
    const nGL3Renderer::GL_Batch& batch =
        static_cast<nGL3Renderer::GL_GeometryData*>(g_crowd->geometry->GetRenderData())->batches[0];
    const nMatrix4 view = g_crowd->camera.GetInverseWorldMatrix();
    for (auto _ : state) {
        g_renderer->ResetRenderQueue();
        g_renderer->RenderQueue();
        g_renderer->ResetState();
        for (int32_t pass : {GL3PassNormalDepth, GL3PassAttributes}) {
            const GL3_CompiledRenderMap* map = data->ForPass(pass);
            const uint32_t program = map->program->GetProgram();
            const GLint colour = map->uniforms.empty() ? -1 : map->uniforms[0].location;
            const GLint clipD = gl.GetUniformLocationARB(program, "user_clip_d");
            const GLint clipN = gl.GetUniformLocationARB(program, "user_clip_n");
            for (nItem* item : g_crowd->items) {
                const nMatrix4 mv = view * item->GetWorldMatrix();
                float t[16];
                for (int r = 0; r < 4; ++r)
                    for (int c = 0; c < 4; ++c) t[c * 4 + r] = mv.m[r * 4 + c];
                glMatrixMode(GL_MODELVIEW);
                glLoadMatrixf(t);
                gl.UseProgramObjectARB(program);
                if (colour != -1) gl.Uniform4fARB(colour, 0.8f, 0.4f, 0.2f, 1.0f);
                gl.Uniform1fARB(clipD, 0.0f);
                gl.Uniform3fARB(clipN, 0.0f, 0.0f, 0.0f);
                gl.BindBufferARB(GL_ARRAY_BUFFER_ARB, batch.vertexBuffer);
                gl.BindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, batch.indexBuffer);
                glEnableClientState(GL_VERTEX_ARRAY);
                glVertexPointer(3, GL_FLOAT, 0, 0);
                glEnableClientState(GL_NORMAL_ARRAY);
                glNormalPointer(GL_FLOAT, 0, (const void*)(uintptr_t)batch.normalOffset);
                glDrawElements(GL_TRIANGLES, batch.indexCount, GL_UNSIGNED_SHORT, 0);
                glDisableClientState(GL_NORMAL_ARRAY);
                glDisableClientState(GL_VERTEX_ARRAY);
            }
        }
        gl.UseProgramObjectARB(0);
        gl.BindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
        gl.BindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
    }
    glFinish();
}
BENCHMARK(BM_ObjectFrame_Direct)->Unit(benchmark::kMillisecond);

namespace {
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
        const struct
        {
            const char* label;
            const char* renderer;
            const char* direct;
            double limit;
        } pairs[] = {
            {"empty frame", "BM_EmptyFrame_Renderer", "BM_EmptyFrame_Direct", 1.1},
            {"1024x1024 texture upload", "BM_TextureUpload_Renderer", "BM_TextureUpload_Direct", 1.1},
            {"frame of 10,000 objects", "BM_ObjectFrame_Renderer", "BM_ObjectFrame_Direct", 1.5}};
        for (const auto& p : pairs) {
            if (!m_times.count(p.renderer) || !m_times.count(p.direct) || m_times[p.direct] <= 0.0) continue;
            double ratio = m_times[p.renderer] / m_times[p.direct];
            std::printf("%s: renderer / direct = %.3f (limit %.3f)%s\n", p.label, ratio, p.limit,
                        ratio <= p.limit ? "" : "  OVER THE LIMIT");
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
    Crowd crowd;
    g_crowd = &crowd;
    // The renderer's frame must draw what the hand-written loop draws.
    g_renderer->ResetStatistics();
    for (Drawable& d : crowd.drawables) g_renderer->QueueRenderable(&d);
    g_renderer->RenderQueue();
    g_renderer->ResetRenderQueue();
    std::printf("bench_gl: the renderer's frame drew %u objects in %u batches.\n",
                g_renderer->GetStatistics().objectsDrawn, g_renderer->GetStatistics().listsDrawn);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    g_crowd = 0;
    renderer.Close();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return 0;
}
