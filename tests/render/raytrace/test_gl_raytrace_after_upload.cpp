// A scene set up on the OpenGL renderer, with the renderer cleaning the CPU copies of what it
// uploads (as the player's does), is still seen whole by the CPU raytracer: a small object and
// a large one that the set-up cuts into an octree.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "render/raytrace/nRaytracer.h"
#include "resources/nPictureFormat.h"
#include "resources/nPictureTGA.h"
#include "resources/nResourceLoader.h"
#include "resources/nShaderBlock.h"
#include "resources/nTexture.h"
#include "scene/nScene.h"
#include "tests/kit/nCallLog.h"
#include "tests/render/gl/nGLRendererFixture.h"
#include "tests/render/raytrace/nRaytraceTestKit.h"
#include "tests/scene/kit/nRecordingScriptVM.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nTempDir.h"

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
protected:
    RaytraceAfterUpload() : vm(&engine, &calls) {}

    // A scene under full white ambient light, seen by a camera at (0, 0, -5) looking along +z
    // with a square view 90 degrees wide.
    nScene* MakeScene()
    {
        nScene* scene = new nScene(&engine, &vm);
        scene->SetAmbientColour(nVector(1, 1, 1, 1));
        nMCamera* camera = static_cast<nMCamera*>(scene->CreateCamera("camera"));
        camera->GetCamera().SetPosition(nVector(0, 0, -5));
        camera->GetCamera().SetFov(1.5707963f);
        camera->GetCamera().SetAspectRatio(1.0f);
        scene->SetCurrentCamera(&camera->GetCamera());
        return scene;
    }

    nCallLog calls;
    nRecordingScriptVM vm;
};

TEST_F(RaytraceAfterUpload, ObjectsUploadedWithCleaningAreStillTraced)
{
    nLogCapture log;
    ASSERT_TRUE(renderer->GetCleanResourceOnSetup());
    nScene* scene = MakeScene();

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

int LinesWith(const nLogCapture& log, const char* text)
{
    int n = 0;
    for (const std::string& line : log.Lines()) n += line.find(text) != std::string::npos;
    return n;
}

// A 2 x 2 TGA file of one colour.
bool WriteFlatTGA(const std::string& path, uint8_t r, uint8_t g, uint8_t b)
{
    nPicture picture;
    if (!picture.Allocate(2, 2, PixelFormatBGRA8)) return false;
    for (int i = 0; i < 4; ++i) {
        uint8_t* p = picture.GetPixels() + 4 * i;
        p[0] = b, p[1] = g, p[2] = r, p[3] = 255;
    }
    return SavePictureTGA(path.c_str(), picture);
}

// Textures lose their pixels once uploaded; the raytracer reads them again from their files, for
// a texture stage and for a Texture block of a render map alike, and says so once when a file
// is gone.
TEST_F(RaytraceAfterUpload, TexturesUploadedWithCleaningAreSampledFromTheirFiles)
{
    nTempDir dir;
    nTempDir::ChangeInto inside(dir);
    ASSERT_TRUE(WriteFlatTGA("teal.tga", 30, 160, 220));
    ASSERT_TRUE(WriteFlatTGA("gold.tga", 230, 180, 20));
    ASSERT_TRUE(WriteFlatTGA("gone.tga", 0, 255, 0));
    nLogCapture log;
    nScene* scene = MakeScene();

    // Left: a texture stage. Middle: a Texture block sampled by the render map. Right: a stage
    // whose file is removed after the upload.
    auto textured = [&](const char* file, float x, bool block) {
        nTexture* texture = LoadTexture(&engine, file, false, true);
        EXPECT_NE(texture, nullptr);
        if (!texture) return;
        nMaterial* material = 0;
        nGeometry* square = MakeSquare(&engine, 1.0f, &material, file);
        if (block) {
            nShaderBlock* source = new nShaderBlock(ShaderBlockTexture);
            source->texture = texture;
            nShaderBlock* sampler = new nShaderBlock(ShaderBlockSampler2D);
            sampler->SetInput(0, source);
            sampler->SetInput(1, new nShaderBlock(ShaderBlockUV));
            nRenderMap* map = new nRenderMap;
            map->SetRoot(RenderMapNormal, new nShaderBlock(ShaderBlockNormal));
            map->SetRoot(RenderMapDiffuse, sampler);
            material->SetRenderMap(map);
        } else {
            material->AddStage(MaterialChannelDiffuse, texture, MaterialUVMap, 0);
            material->ValidateStages();
            WithDefaultMap(material);
        }
        EXPECT_TRUE(texture->Setup());
        square->Setup();
        EXPECT_EQ(texture->GetPixels(), nullptr) << file;  // cleaned after its upload
        nMObject* object = static_cast<nMObject*>(scene->CreateObject(file, square));
        object->GetObject().SetPosition(nVector(x, 0, 0));
    };
    textured("teal.tga", -3.0f, false);
    textured("gold.tga", 0.0f, true);
    textured("gone.tga", 3.0f, false);
    scene->Setup(true, 0);
    ASSERT_EQ(std::remove("gone.tga"), 0);

    nRaytracer tracer(&engine);
    nRaytracerSettings settings;
    settings.antialias = 0;
    tracer.SetSettings(settings);
    ASSERT_TRUE(tracer.SetScene(scene));
    nPicture picture;
    ASSERT_TRUE(tracer.Trace(picture, 64, 64));
    // Pixel x sees world x = 5 (-1 + x / 32): 13 sees -3 (teal), 32 sees 0 (gold).
    EXPECT_TRUE(Near(PixelAt(picture, 13, 32), Pixel{30, 160, 220, 255})) << Show(PixelAt(picture, 13, 32));
    EXPECT_TRUE(Near(PixelAt(picture, 32, 32), Pixel{230, 180, 20, 255})) << Show(PixelAt(picture, 32, 32));
    EXPECT_EQ(LinesWith(log, "could not be read again"), 1);
    ASSERT_TRUE(tracer.Trace(picture, 64, 64));  // the copies are kept; the missing file is not asked for again
    EXPECT_TRUE(Near(PixelAt(picture, 32, 32), Pixel{230, 180, 20, 255})) << Show(PixelAt(picture, 32, 32));
    EXPECT_EQ(LinesWith(log, "could not be read again"), 1);
    delete scene;
}

}  // namespace
