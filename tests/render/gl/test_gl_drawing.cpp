// OpenGL renderer drawing: clearing and reading back, the picture grab, matrices and
// viewport, the clip plane, debug lines and immediate triangles, checked at known pixels.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "nGLRendererFixture.h"
#include "resources/nMaterial.h"
#include "resources/nPicture.h"
#include "resources/nTexture.h"
#include "scene/nCamera.h"
#include "scene/nItem.h"
#include "tests/support/nLogCapture.h"

namespace {
// The twelve stored elements of a GL matrix, transposed back to the engine's order.
nMatrix4 ReadGLMatrix(GLenum which)
{
    float t[16];
    glGetFloatv(which, t);
    nMatrix4 m;
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col) m.m[row * 4 + col] = t[col * 4 + row];
    return m;
}

void ExpectMatrixEq(const nMatrix4& a, const nMatrix4& b)
{
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(a.m[i], b.m[i], 1e-5f) << "element " << i;
}

nMatrix4 Translation(float x, float y, float z)
{
    return nMatrix4::Translation(nVector(x, y, z));
}
}

class GLDrawing : public nGLRendererTest
{};

TEST_F(GLDrawing, ClearFillsTheWholeOutputWithTheColour)
{
    const float colours[][3] = {{1, 0, 0}, {0, 1, 0}, {0.2f, 0.4f, 0.6f}};
    for (const auto& c : colours) {
        renderer->Clear(c[0], c[1], c[2], 1.0f, false);
        nRGBA want{(int)(c[0] * 255 + 0.5f), (int)(c[1] * 255 + 0.5f), (int)(c[2] * 255 + 0.5f), 255};
        for (int x : {0, kWidth / 2, kWidth - 1})
            for (int y : {0, kHeight / 2, kHeight - 1}) EXPECT_TRUE(PixelNear(ReadPixel(x, y), want, 1)) << x << "," << y;
    }
}

TEST_F(GLDrawing, DepthOnlyClearKeepsTheColourAndResetsTheDepth)
{
    renderer->Clear(1.0f, 0.0f, 0.0f, 1.0f, false);
    // A triangle at depth 0.5 (z -0.5 in clip terms of the pixel projection).
    nVector white(1, 1, 1, 1);
    renderer->DrawTriangle(nVector(0, 0, 0.5f), nVector(0, 96, 0.5f), nVector(128, 0, 0.5f), &white, 0, 0, 0);
    renderer->Clear(0.0f, 0.0f, 1.0f, 0.0f, true);  // depth 0: everything afterwards is behind
    EXPECT_TRUE(PixelNear(ReadPixel(10, 10), nRGBA{255, 255, 255, 255}));
    EXPECT_TRUE(PixelNear(ReadPixel(120, 90), nRGBA{255, 0, 0, 255}));
    nVector green(0, 1, 0, 1);
    renderer->DrawTriangle(nVector(0, 0, 0), nVector(0, 96, 0), nVector(128, 0, 0), &green, 0, 0, 0);
    EXPECT_TRUE(PixelNear(ReadPixel(10, 10), nRGBA{255, 255, 255, 255}));
}

TEST_F(GLDrawing, GrabToPictureGivesTopRowFirstInBgraOrder)
{
    renderer->Clear(0.0f, 0.0f, 1.0f, 1.0f, false);
    // Upper half red: GL counts rows from the bottom.
    renderer->SetViewport(0, kHeight / 2, kWidth, kHeight / 2);
    renderer->Clear(1.0f, 0.0f, 0.0f, 1.0f, false);
    renderer->SetViewport(0, 0, kWidth, kHeight);
    nPicture picture;
    ASSERT_TRUE(renderer->GrabToPicture(&picture));
    ASSERT_EQ(picture.GetWidth(), (uint32_t)kWidth);
    ASSERT_EQ(picture.GetHeight(), (uint32_t)kHeight);
    EXPECT_TRUE(picture.GetFormat() == PixelFormatBGRA8);
    const uint8_t* first = picture.GetPixels();
    const uint8_t* last = picture.GetPixels() + (size_t)(kHeight - 1) * kWidth * 4;
    EXPECT_TRUE(PixelNear(nRGBA{first[0], first[1], first[2], first[3]}, nRGBA{0, 0, 255, 255}, 0));  // red as B, G, R, A
    EXPECT_TRUE(PixelNear(nRGBA{last[0], last[1], last[2], last[3]}, nRGBA{255, 0, 0, 255}, 0));      // blue
    EXPECT_FALSE(renderer->GrabToPicture(nullptr));
}

TEST_F(GLDrawing, ViewportAndScissorLimitClearing)
{
    renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, false);
    renderer->SetViewport(10, 20, 30, 40);
    int32_t x, y, w, h;
    renderer->GetViewport(&x, &y, &w, &h);
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, 20);
    EXPECT_EQ(w, 30);
    EXPECT_EQ(h, 40);
    GLint viewport[4], scissor[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetIntegerv(GL_SCISSOR_BOX, scissor);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(viewport[i], scissor[i]);
    EXPECT_EQ(viewport[0], 10);
    EXPECT_EQ(viewport[3], 40);
    EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));
    renderer->Clear(1.0f, 1.0f, 0.0f, 1.0f, false);
    EXPECT_TRUE(PixelNear(ReadPixel(10, 20), nRGBA{255, 255, 0, 255}));
    EXPECT_TRUE(PixelNear(ReadPixel(39, 59), nRGBA{255, 255, 0, 255}));
    EXPECT_TRUE(PixelNear(ReadPixel(9, 20), nRGBA{0, 0, 0, 255}));
    EXPECT_TRUE(PixelNear(ReadPixel(40, 59), nRGBA{0, 0, 0, 255}));
    EXPECT_TRUE(PixelNear(ReadPixel(10, 60), nRGBA{0, 0, 0, 255}));
}

TEST_F(GLDrawing, MatricesReachGlTransposedAndModelViewIsViewTimesModel)
{
    nMatrix4 projection = PixelProjection(64.0f, 32.0f);
    renderer->SetProjectionMatrix(projection);
    ExpectMatrixEq(ReadGLMatrix(GL_PROJECTION_MATRIX), projection);
    ExpectMatrixEq(renderer->GetProjectionMatrix(), projection);

    nMatrix4 view = nMatrix4::ComposeEuler(nVector(1, 2, 3), nVector(0.3f, -0.2f, 0.1f), nVector(1, 1, 1), nVector(0, 0, 0));
    nMatrix4 model = nMatrix4::ComposeEuler(nVector(-4, 0, 2), nVector(0, 1.0f, 0), nVector(2, 2, 2), nVector(0, 0, 0));
    nMatrix4 before = ReadGLMatrix(GL_MODELVIEW_MATRIX);
    renderer->SetViewMatrix(view);
    ExpectMatrixEq(ReadGLMatrix(GL_MODELVIEW_MATRIX), before);  // nothing sent before the model matrix
    renderer->SetModelMatrix(model);
    ExpectMatrixEq(ReadGLMatrix(GL_MODELVIEW_MATRIX), view * model);
    ExpectMatrixEq(renderer->GetModelViewMatrix(), view * model);
    EXPECT_EQ(renderer->GetMatrixMode(), (uint32_t)GL_MODELVIEW);
}

TEST_F(GLDrawing, TheViewMatrixMovesWhatIsDrawn)
{
    renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, false);
    renderer->SetViewMatrix(Translation(60.0f, 40.0f, 0.0f));
    nVector red(1, 0, 0, 1);
    // Clockwise on screen: front faces are counter-clockwise and culled.
    renderer->DrawTriangle(nVector(0, 0, 0), nVector(0, 20, 0), nVector(20, 0, 0), &red, 0, 0, 0);
    EXPECT_TRUE(PixelNear(ReadPixel(63, 43), nRGBA{255, 0, 0, 255}));
    EXPECT_TRUE(PixelNear(ReadPixel(3, 3), nRGBA{0, 0, 0, 255}));
}

TEST_F(GLDrawing, TrianglesFollowWindingAndRenderFlags)
{
    const nVector cw[3] = {nVector(10, 10, 0), nVector(10, 50, 0), nVector(50, 10, 0)};
    const nVector ccw[3] = {nVector(10, 10, 0), nVector(50, 10, 0), nVector(10, 50, 0)};
    const struct
    {
        const char* label;
        const nVector* corners;
        uint32_t flags;
        bool visible;
    } cases[] = {
        {"clockwise", cw, 0, true},
        {"counter-clockwise is culled", ccw, 0, false},
        {"double-sided", ccw, MaterialRenderDoubleSided, true},
    };
    nVector green(0, 1, 0, 1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, false);
        renderer->DrawTriangle(c.corners[0], c.corners[1], c.corners[2], &green, 0, 0, c.flags);
        EXPECT_TRUE(PixelNear(ReadPixel(15, 15), c.visible ? nRGBA{0, 255, 0, 255} : nRGBA{0, 0, 0, 255}));
        EXPECT_TRUE(PixelNear(ReadPixel(45, 45), nRGBA{0, 0, 0, 255}));  // outside the triangle
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    }
    // The state pushed for the triangle is restored.
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

TEST_F(GLDrawing, TriangleColourDefaultsToBlackAndBlendsByItsAlpha)
{
    renderer->Clear(1.0f, 1.0f, 1.0f, 1.0f, false);
    renderer->DrawTriangle(nVector(0, 0, 0), nVector(0, 40, 0), nVector(40, 0, 0), 0, 0, 0, 0);
    EXPECT_TRUE(PixelNear(ReadPixel(5, 5), nRGBA{0, 0, 0, 255}));

    renderer->Clear(0.0f, 0.0f, 1.0f, 1.0f, false);
    nVector halfRed(1, 0, 0, 0.5f);
    renderer->DrawTriangle(nVector(0, 0, 0), nVector(0, 40, 0), nVector(40, 0, 0), &halfRed, 0, 0, 0);
    EXPECT_TRUE(PixelNear(ReadPixel(5, 5), nRGBA{128, 0, 128, 255}, 2));
    renderer->Clear(0.0f, 0.0f, 1.0f, 1.0f, false);
    renderer->DrawTriangle(nVector(0, 0, 0), nVector(0, 40, 0), nVector(40, 0, 0), &halfRed, 0, 0, MaterialRenderAdd);
    EXPECT_TRUE(PixelNear(ReadPixel(5, 5), nRGBA{128, 0, 255, 255}, 2));
}

TEST_F(GLDrawing, TrianglesHonourTheDepthFlags)
{
    nVector near_(1, 0, 0, 1), far_(0, 1, 0, 1);
    const struct
    {
        const char* label;
        uint32_t firstFlags;
        uint32_t secondFlags;
        nRGBA expected;
    } cases[] = {
        // The first triangle is nearer: the second, farther one is hidden by its depth...
        {"depth test", 0, 0, {255, 0, 0, 255}},
        // ...unless the first wrote no depth,
        {"no depth write", MaterialRenderNoDepthWrite, 0, {0, 255, 0, 255}},
        // ...or the second ignores the depth test.
        {"no depth test", 0, MaterialRenderNoDepthTest, {0, 255, 0, 255}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, false);
        // The pixel projection puts larger z nearer.
        renderer->DrawTriangle(nVector(0, 0, 0.6f), nVector(0, 60, 0.6f), nVector(60, 0, 0.6f), &near_, 0, 0, c.firstFlags);
        renderer->DrawTriangle(nVector(0, 0, -0.2f), nVector(0, 60, -0.2f), nVector(60, 0, -0.2f), &far_, 0, 0, c.secondFlags);
        EXPECT_TRUE(PixelNear(ReadPixel(10, 10), c.expected));
    }
    GLboolean depthWrites = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrites);
    EXPECT_TRUE(depthWrites);
    GLint depthFunc = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &depthFunc);
    EXPECT_EQ(depthFunc, GL_LEQUAL);
}

TEST_F(GLDrawing, LinesAreDrawnAtTheirPixelsWhenFlushed)
{
    renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, false);
    nVector blue(0, 0, 1, 1);
    renderer->DrawLine(nVector(0, 10.5f, 0), nVector(128, 10.5f, 0), &blue);
    renderer->DrawLine(nVector(70.5f, 0, 0), nVector(70.5f, 96, 0), 0);  // default colour: yellow
    EXPECT_EQ(renderer->GetLineCount(), 2);
    EXPECT_TRUE(PixelNear(ReadPixel(30, 10), nRGBA{0, 0, 0, 255}));  // nothing before the flush
    renderer->FlushLines();
    EXPECT_EQ(renderer->GetLineCount(), 0);
    EXPECT_TRUE(PixelNear(ReadPixel(30, 10), nRGBA{0, 0, 255, 255}));
    EXPECT_TRUE(PixelNear(ReadPixel(30, 12), nRGBA{0, 0, 0, 255}));
    EXPECT_TRUE(PixelNear(ReadPixel(70, 50), nRGBA{255, 255, 0, 255}));
    EXPECT_TRUE(PixelNear(ReadPixel(72, 50), nRGBA{0, 0, 0, 255}));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL));
}

TEST_F(GLDrawing, RenderQueueFlushesLinesOnlyWithACamera)
{
    renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, false);
    renderer->DrawLine(nVector(0, 20.5f, 0), nVector(128, 20.5f, 0), 0);
    renderer->RenderQueue();
    EXPECT_EQ(renderer->GetLineCount(), 1);
    nItem camera(&engine);
    renderer->SetCamera(&camera);
    renderer->SetViewMatrix(nMatrix4());
    renderer->RenderQueue();
    EXPECT_EQ(renderer->GetLineCount(), 0);
    EXPECT_TRUE(PixelNear(ReadPixel(64, 20), nRGBA{255, 255, 0, 255}));
    renderer->SetCamera(0);
}

TEST_F(GLDrawing, TheLineListKeepsItsCapacityAndWarnsOnce)
{
    nLogCapture log;
    const std::string warning =
        "[!] The line display list is full, please increase its capacity or flush it more frequently.\n";
    for (int i = 0; i < nGL3Renderer::kLineCapacity; ++i) renderer->DrawLine(nVector(0, 0, 0), nVector(1, 1, 0), 0);
    EXPECT_EQ(renderer->GetLineCount(), nGL3Renderer::kLineCapacity);
    EXPECT_TRUE(log.Lines().empty());
    renderer->DrawLine(nVector(0, 0, 0), nVector(1, 1, 0), 0);
    renderer->DrawLine(nVector(0, 0, 0), nVector(1, 1, 0), 0);
    EXPECT_EQ(renderer->GetLineCount(), nGL3Renderer::kLineCapacity);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{warning}));
    renderer->FlushLines();
    for (int i = 0; i <= nGL3Renderer::kLineCapacity; ++i) renderer->DrawLine(nVector(0, 0, 0), nVector(1, 1, 0), 0);
    EXPECT_EQ(renderer->GetLineCount(), nGL3Renderer::kLineCapacity);
    EXPECT_EQ(log.Lines().size(), 1u);  // once in the renderer's life
    renderer->FlushLines();
}

TEST_F(GLDrawing, ATexturedTriangleSamplesTheTexture)
{
    renderer->SetSystemFlag(RendererSystemTextureNoCompression, true);
    nTexture texture(&engine, 1, 0);
    texture.SetName("quadrants");
    // 2 x 2 RGBA: red, green on the first row; blue, white on the second.
    const uint8_t texels[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
    ASSERT_TRUE(texture.Allocate(2, 2, PixelFormatRGBA8));
    std::memcpy(texture.GetPixels(), texels, sizeof(texels));
    ASSERT_TRUE(renderer->SetupTexture(&texture));
    glBindTexture(GL_TEXTURE_2D, static_cast<nGL3Renderer::GL_TextureData*>(texture.GetRenderData())->name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, 0);

    renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, false);
    nVector white(1, 1, 1, 1);
    // Two clockwise triangles covering (0, 0)-(64, 64); v = 0 at the bottom.
    const nVector2 uvA[3] = {nVector2(0, 0), nVector2(0, 1), nVector2(1, 0)};
    const nVector2 uvB[3] = {nVector2(1, 0), nVector2(0, 1), nVector2(1, 1)};
    renderer->DrawTriangle(nVector(0, 0, 0), nVector(0, 64, 0), nVector(64, 0, 0), &white, uvA, &texture, 0);
    renderer->DrawTriangle(nVector(64, 0, 0), nVector(0, 64, 0), nVector(64, 64, 0), &white, uvB, &texture, 0);
    EXPECT_TRUE(PixelNear(ReadPixel(8, 8), nRGBA{255, 0, 0, 255}));
    EXPECT_TRUE(PixelNear(ReadPixel(56, 8), nRGBA{0, 255, 0, 255}));
    EXPECT_TRUE(PixelNear(ReadPixel(8, 56), nRGBA{0, 0, 255, 255}));
    EXPECT_TRUE(PixelNear(ReadPixel(56, 56), nRGBA{255, 255, 255, 255}));
    // Every unit the triangle used is clean again.
    EXPECT_EQ(renderer->FirstFreeTextureUnit(), 0);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    renderer->FreeTexture(&texture);
}

TEST_F(GLDrawing, CopyToTextureTakesTheLowerLeftOfTheOutput)
{
    renderer->SetSystemFlag(RendererSystemTextureNoCompression, true);
    nTexture texture(&engine, 1, 0);
    texture.SetName("copy");
    ASSERT_TRUE(texture.Allocate(16, 16, PixelFormatRGBA8));
    ASSERT_TRUE(renderer->SetupTexture(&texture));
    renderer->Clear(0.0f, 1.0f, 1.0f, 1.0f, false);
    renderer->CopyToTexture(&texture);
    renderer->ResetTextureUnits(0);
    std::vector<uint8_t> texels(16 * 16 * 4);
    glBindTexture(GL_TEXTURE_2D, static_cast<nGL3Renderer::GL_TextureData*>(texture.GetRenderData())->name);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_TRUE(PixelNear(nRGBA{texels[0], texels[1], texels[2], texels[3]}, nRGBA{0, 255, 255, 255}));
    size_t last = texels.size() - 4;
    EXPECT_TRUE(PixelNear(nRGBA{texels[last], texels[last + 1], texels[last + 2], texels[last + 3]}, nRGBA{0, 255, 255, 255}));
    nTexture bare(&engine, 1, 0);
    renderer->CopyToTexture(&bare);         // no device copy: nothing
    renderer->BindTargetTexture(&texture);  // the window has no attachments: nothing
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    renderer->FreeTexture(&texture);
}

TEST_F(GLDrawing, ApplyCameraLoadsTheCamerasViewProjectionAndFrustum)
{
    nCamera camera(&engine);
    camera.SetPosition(nVector(0, 0, -10));  // looking along +z at the origin
    renderer->SetCamera(&camera);
    renderer->ApplyCamera();
    nMatrix4 projection;
    camera.ComputeProjectionMatrix(projection);
    ExpectMatrixEq(renderer->GetProjectionMatrix(), projection);
    ExpectMatrixEq(ReadGLMatrix(GL_PROJECTION_MATRIX), projection);
    ExpectMatrixEq(renderer->GetViewMatrix(), camera.GetInverseWorldMatrix());
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(renderer->GetFrustum().corners[i].x, camera.GetFrustum().corners[i].x);
        EXPECT_EQ(renderer->GetFrustum().corners[i].z, camera.GetFrustum().corners[i].z);
    }

    // A large triangle through the origin covers the centre of the output, nothing of a
    // corner far off to the side.
    renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, false);
    nVector red(1, 0, 0, 1);
    renderer->DrawTriangle(nVector(-1, -1, 0), nVector(1, -1, 0), nVector(0, 1, 0), &red, 0, 0, MaterialRenderDoubleSided);
    EXPECT_TRUE(PixelNear(ReadPixel(kWidth / 2, kHeight / 2), nRGBA{255, 0, 0, 255}));
    EXPECT_TRUE(PixelNear(ReadPixel(2, 2), nRGBA{0, 0, 0, 255}));

    // A plain item sets the view only.
    nItem node(&engine);
    node.SetPosition(nVector(3, 0, 0));
    renderer->SetCamera(&node);
    renderer->ApplyCamera();
    ExpectMatrixEq(renderer->GetViewMatrix(), node.GetInverseWorldMatrix());
    ExpectMatrixEq(renderer->GetProjectionMatrix(), projection);
    renderer->SetCamera(0);
}

TEST_F(GLDrawing, TheClipPlaneIsKeptInViewSpace)
{
    nItem camera(&engine);
    camera.SetPosition(nVector(0, 0, 5));
    renderer->SetClipPlane(nVector(0, 0, 0), nVector(0, 0, 1));  // no camera: ignored
    EXPECT_EQ(renderer->GetClipPlaneNormal().z, 0.0f);
    renderer->SetCamera(&camera);
    renderer->SetClipPlane(nVector(0, 0, 1), nVector(0, 0, 1));
    EXPECT_NEAR(renderer->GetClipPlaneNormal().z, 1.0f, 1e-6f);
    // The plane z = 1 seen from z = 5 lies at view z = -4.
    EXPECT_NEAR(renderer->GetClipPlaneDistance(), 4.0f, 1e-5f);
    renderer->SetClipPlane(nVector(0, 0, 0), nVector(0, 0, -1));
    EXPECT_NEAR(renderer->GetClipPlaneDistance(), -5.0f, 1e-5f);
    renderer->ClearClipPlane();
    EXPECT_EQ(renderer->GetClipPlaneNormal().x, 0.0f);
    EXPECT_EQ(renderer->GetClipPlaneNormal().y, 0.0f);
    EXPECT_EQ(renderer->GetClipPlaneNormal().z, 0.0f);
    EXPECT_NEAR(renderer->GetClipPlaneDistance(), -5.0f, 1e-5f);  // the distance stays
    renderer->SetCamera(0);
}

TEST(GLDrawingClosed, DrawingOnAClosedRendererDoesNothing)
{
    nOrvex engine;
    nGL3Renderer renderer(&engine, true);
    renderer.Clear(1, 0, 0, 1, false);
    renderer.DrawTriangle(nVector(0, 0, 0), nVector(0, 1, 0), nVector(1, 0, 0), 0, 0, 0, 0);
    renderer.FlushLines();
    renderer.Present();
    nPicture picture;
    EXPECT_FALSE(renderer.GrabToPicture(&picture));
    EXPECT_EQ(picture.GetPixels(), nullptr);
}
