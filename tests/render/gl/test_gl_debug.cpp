// Debug drawing on the OpenGL renderer, read back from the frame: the shapes' lines at their
// pixels, screen quads, and the overlay's light volumes in wireframe.
#include <gtest/gtest.h>

#include <cstring>

#include "nGLFrameKit.h"
#include "resources/nTexture.h"

namespace {

class GLDebugShapes : public nGLRendererTest
{
};

TEST_F(GLDebugShapes, ShapesAreDrawnAtTheirPixelsInTheirColours)
{
    renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, false);
    const nVector red(1, 0, 0, 1);
    const nVector green(0, 1, 0, 1);
    renderer->DrawCross(nVector(64.5f, 48.5f, 0), 20.0f, &red);
    renderer->DrawSquare(nVector(30.5f, 30.5f, 0), 10.0f);
    nOBB box;
    box.position = nVector(90.5f, 70.5f, 0);
    box.scale = nVector(40, 20, 1);
    renderer->DrawOrientedBox(box, &green);
    renderer->DrawBox(nMinMax(nVector(12.5f, 67.5f, 0), nVector(28.5f, 83.5f, 0)), 0);  // default (0.5, 1, 0)
    EXPECT_EQ(renderer->GetLineCount(), 3 + 4 + 12 + 12);
    renderer->FlushLines();

    struct Probe
    {
        int x, y;
        nRGBA colour;
    };
    const Probe probes[] = {
        {74, 48, {255, 0, 0, 255}}, {54, 48, {255, 0, 0, 255}}, {64, 60, {255, 0, 0, 255}},  // cross arms
        {64, 70, {0, 0, 0, 255}},                                                            // beyond the arm
        {30, 20, {255, 255, 255, 255}},
        {40, 30, {255, 255, 255, 255}},
        {30, 30, {0, 0, 0, 255}},  // square
        {90, 60, {0, 255, 0, 255}},
        {70, 70, {0, 255, 0, 255}},
        {110, 75, {0, 255, 0, 255}},  // box edges
        {90, 70, {0, 0, 0, 255}},     // box inside
        {20, 67, {128, 255, 0, 255}},
        {12, 75, {128, 255, 0, 255}},  // flat box
    };
    for (const Probe& p : probes) EXPECT_TRUE(PixelNear(ReadPixel(p.x, p.y), p.colour, 3)) << p.x << ", " << p.y;
}

TEST_F(GLDebugShapes, AScreenQuadShowsItsTextureOnlyInsideItsRectangle)
{
    renderer->SetSystemFlag(RendererSystemTextureNoCompression, true);
    nSharedPtr<nTexture> texture(new nTexture(&engine, 1, 0));
    texture->SetName("magenta");
    ASSERT_TRUE(texture->Allocate(2, 2, PixelFormatRGBA8));
    const uint8_t magenta[16] = {255, 0, 255, 255, 255, 0, 255, 255, 255, 0, 255, 255, 255, 0, 255, 255};
    std::memcpy(texture->GetPixels(), magenta, sizeof(magenta));
    ASSERT_TRUE(renderer->SetupTexture(texture.Get()));
    renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, false);
    // Lower-left corner at clip (0, 0), half the output each way: the upper-right quarter.
    renderer->DrawScreenQuad(texture.Get(), 0.0f, 0.0f, 1.0f, 1.0f, true);
    EXPECT_TRUE(PixelNear(ReadPixel(96, 72), nRGBA{255, 0, 255, 255}));
    EXPECT_TRUE(PixelNear(ReadPixel(32, 72), nRGBA{0, 0, 0, 255}));
    EXPECT_TRUE(PixelNear(ReadPixel(96, 24), nRGBA{0, 0, 0, 255}));
    // The quad leaves no state behind: a line drawn next comes out in its own colour.
    const nVector blue(0, 0, 1, 1);
    renderer->DrawLine(nVector(0, 10.5f, 0), nVector(128, 10.5f, 0), &blue);
    renderer->FlushLines();
    EXPECT_TRUE(PixelNear(ReadPixel(96, 10), nRGBA{0, 0, 255, 255}));

    // Without shaders there are no screen quads.
    renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, false);
    renderer->SetSystemFlag(RendererSystemDisableShader, true);
    renderer->DrawScreenQuad(texture.Get(), 0.0f, 0.0f, 1.0f, 1.0f, true);
    renderer->SetSystemFlag(RendererSystemDisableShader, false);
    EXPECT_TRUE(PixelNear(ReadPixel(96, 72), nRGBA{0, 0, 0, 255}));
    renderer->FreeTexture(texture.Get());
}

class GLDebugOverlay : public nGLFrameTest
{
protected:
    // Pixels brighter than black, and the box around them.
    int Lit(int* minX, int* maxX, int* minY, int* maxY)
    {
        std::vector<uint8_t> pixels(kWidth * kHeight * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        int count = 0;
        *minX = kWidth, *maxX = -1, *minY = kHeight, *maxY = -1;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const uint8_t* p = &pixels[(y * kWidth + x) * 4];
                if (p[0] + p[1] + p[2] < 30) continue;
                ++count;
                *minX = std::min(*minX, x), *maxX = std::max(*maxX, x);
                *minY = std::min(*minY, y), *maxY = std::max(*maxY, y);
            }
        return count;
    }
};

TEST_F(GLDebugOverlay, LightVolumesAreDrawnInWireframeAroundTheLight)
{
    nLight* light = AddLight(LightTypePoint, 0.0f, 0.0f, 20.0f);
    light->SetRange(2.0f);
    DrawFrame();
    int minX, maxX, minY, maxY;
    EXPECT_EQ(Lit(&minX, &maxX, &minY, &maxY), 0);  // a light over nothing lights nothing

    renderer->DrawLightVolumesWireframe();
    ASSERT_GT(Lit(&minX, &maxX, &minY, &maxY), 20);
    // Everything drawn lies within the projected sphere of the volume's radius around the light.
    const float R = nGL3Renderer::DebugPointVolumeRadius(2.0f) * 1.1f;
    int x0, y0, x1, y1;
    PixelOf(-R, -R, 20.0f - R, &x0, &y0);
    PixelOf(R, R, 20.0f - R, &x1, &y1);
    EXPECT_GE(minX, x0);
    EXPECT_LE(maxX, x1);
    EXPECT_GE(minY, y0);
    EXPECT_LE(maxY, y1);
    int cx, cy;
    PixelOf(0, 0, 20.0f, &cx, &cy);
    EXPECT_LT(minX, cx);
    EXPECT_GT(maxX, cx);
}

TEST_F(GLDebugOverlay, TheDebugSwitchDrawsTheOverlayAfterTheFrameWithoutErrors)
{
    AddLight(LightTypeSpot, 0.0f, 0.0f, 10.0f)->SetRange(5.0f);
    renderer->SetSystemFlag(RendererSystemEnableDebug, true);
    DrawFrame(0.0f, 0.0f, 0.0f);
    int minX, maxX, minY, maxY;
    // The attribute thumbnails fill the upper left, the shadow maps the bottom row.
    EXPECT_GT(Lit(&minX, &maxX, &minY, &maxY), 0);
    renderer->SetSystemFlag(RendererSystemEnableDebug, false);
    DrawFrame(0.0f, 0.0f, 0.0f);
    EXPECT_EQ(Lit(&minX, &maxX, &minY, &maxY), 0);
}

TEST(GLDebugVolumes, SizesOfTheOverlayVolumes)
{
    EXPECT_NEAR(nGL3Renderer::DebugPointVolumeRadius(10.0f), 10.0f * (1.0f + (1.0f - std::cos(3.14159265f / 8)) / std::cos(3.14159265f / 4)), 1e-4f);
    EXPECT_NEAR(nGL3Renderer::DebugSpotVolumeHalfSize(10.0f, 0.3f, 0.1f), 10.0f * std::tan(0.4f) / std::cos(3.14159265f / 4), 1e-4f);
}

}
