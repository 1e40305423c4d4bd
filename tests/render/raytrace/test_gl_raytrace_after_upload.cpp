// A scene set up on the OpenGL renderer, with the renderer cleaning the CPU copies of what it
// uploads (as the player's does), is still seen whole by the CPU raytracer: a small object and
// a large one that the set-up cuts into an octree.

#include <gtest/gtest.h>

#include "render/raytrace/nRaytracer.h"
#include "scene/nScene.h"
#include "tests/kit/nCallLog.h"
#include "tests/render/gl/nGLRendererFixture.h"
#include "tests/render/raytrace/nRaytraceTestKit.h"
#include "tests/scene/kit/nRecordingScriptVM.h"
#include "tests/support/nLogCapture.h"

using namespace raytracekit;

namespace {

// A grid of n x n unit squares in the plane z = 0 from (x0, y0), facing -z, one material.
nGeometry* MakeGrid(nOrvex* engine, int n, float x0, float y0)
{
    nGeometry* grid = new nGeometry(engine);
    grid->SetName("grid");
    grid->AllocateVertices((uint32_t)((n + 1) * (n + 1)));
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x) grid->vertices[y * (n + 1) + x] = nVector(x0 + x * 0.1f, y0 + y * 0.1f, 0.0f);
    grid->AllocatePolygons((uint32_t)(n * n));
    for (int i = 0; i < n * n; ++i) {
        grid->polygons[i].count = 4;
        grid->polygons[i].material = 0;
    }
    grid->AllocateBindings();
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            int32_t* b = grid->polygons[y * n + x].bindings;
            const int32_t v = y * (n + 1) + x;
            b[0] = v;
            b[1] = v + n + 1;
            b[2] = v + n + 2;
            b[3] = v + 1;
        }
    grid->AllocateMaterials(1, true);
    return grid;
}

class RaytraceAfterUpload : public nGLRendererTest
{
};

TEST_F(RaytraceAfterUpload, ObjectsUploadedWithCleaningAreStillTraced)
{
    nLogCapture log;
    ASSERT_TRUE(renderer->GetCleanResourceOnSetup());
    nCallLog calls;
    nRecordingScriptVM vm(&engine, &calls);
    nScene* scene = new nScene(&engine, &vm);
    scene->SetAmbientColour(nVector(1, 1, 1, 1));
    nMCamera* camera = static_cast<nMCamera*>(scene->CreateCamera("camera"));
    camera->GetCamera().SetPosition(nVector(0, 0, -5));
    camera->GetCamera().SetFov(1.5707963f);
    camera->GetCamera().SetAspectRatio(1.0f);
    scene->SetCurrentCamera(&camera->GetCamera());

    // Left: one square. Right: a grid of 100 x 100 squares, large enough to be cut into an octree.
    nGeometry* square = MakeSquare(&engine, 1.0f, nullptr, "square");
    WithDefaultMap(square->GetMaterial(0));
    square->Setup();  // as the loader sets up what it loads
    nMObject* left = static_cast<nMObject*>(scene->CreateObject("left", square));
    left->GetObject().SetPosition(nVector(-2.5f, 0, 0));
    nGeometry* grid = MakeGrid(&engine, 100, 0.0f, -5.0f);
    WithDefaultMap(grid->GetMaterial(0));
    grid->Setup();
    scene->CreateObject("right", grid);
    scene->Setup(true, 0);

    // Uploaded, and the renderer's cleaning ran; the grid's mesh now lives in its octree's
    // leaves, uploaded too.
    EXPECT_NE(square->GetRenderData(), nullptr);
    ASSERT_NE(grid->GetOctree(), nullptr);
    EXPECT_EQ(grid->vertices, nullptr);

    nRaytracer tracer(&engine);
    nRaytracerSettings settings;
    settings.antialias = 0;
    tracer.SetSettings(settings);
    ASSERT_TRUE(tracer.SetScene(scene));
    EXPECT_GE(tracer.GetHierarchy(0).GetEntryCount(), 2);
    nPicture picture;
    ASSERT_TRUE(tracer.Trace(picture, 64, 64));
    // Pixel x sees world x = 5 (-1 + x / 32): 16 sees -2.5 (the square), 48 sees 2.5 (the grid),
    // 26 sees -0.94 (between the square, which ends at -1.5, and the grid, which starts at 0),
    // 2 sees -4.7 (nothing).
    EXPECT_TRUE(Near(PixelAt(picture, 16, 32), Pixel{255, 255, 255, 255})) << Show(PixelAt(picture, 16, 32));
    EXPECT_TRUE(Near(PixelAt(picture, 48, 32), Pixel{255, 255, 255, 255})) << Show(PixelAt(picture, 48, 32));
    EXPECT_TRUE(Near(PixelAt(picture, 26, 32), Pixel{0, 0, 0, 255})) << Show(PixelAt(picture, 26, 32));
    EXPECT_TRUE(Near(PixelAt(picture, 2, 32), Pixel{0, 0, 0, 255})) << Show(PixelAt(picture, 2, 32));
    delete scene;
}

}  // namespace
