// A 3D scene's 2D layer on the OpenGL renderer: a sprite and a window drawn over the scene's
// frame, read back at known pixels; the full-screen fade over both.

#include <gtest/gtest.h>

#include <memory>

#include "hub/nOrvex.h"
#include "resources/nTexture.h"
#include "scene/nScene.h"
#include "tests/kit/nCallLog.h"
#include "tests/render/gl/nGLRendererFixture.h"
#include "tests/scene/kit/nKitClock.h"
#include "tests/scene/kit/nRecordingScriptVM.h"
#include "ui/nScene2D.h"
#include "ui/nWindow.h"

namespace {

const int kWidth = 128;
const int kHeight = 96;

// A pixel of the 2D plane, y down, read from the back buffer (GL counts rows from the bottom).
nRGBA Probe(int x, int y) { return ReadPixel(x, kHeight - 1 - y); }

class OverlayGL : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QZ_REQUIRE_GL_DISPLAY();
        renderer = new nGL3Renderer(&engine, true);
        ASSERT_TRUE(renderer->Open(kWidth, kHeight, 32, 2));
        errors.Install();
        scene.reset(new nScene(&engine, &vm));
        scene->SetBackgroundColour(nVector(0.2f, 0.4f, 0.6f, 1.0f));
        // One internal pixel per output pixel.
        scene->GetUI().SetInternalResolution((float)kWidth, (float)kHeight);
    }

    void TearDown() override
    {
        scene.reset();  // its sprites free their textures on the renderer first
        if (renderer && renderer->IsOpen()) {
            EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << "GL error left by the test";
            EXPECT_TRUE(errors.Errors().empty()) << "GL error during the test: " << errors.Errors().front();
        }
        delete renderer;
        renderer = 0;
    }

    // One frame as the player draws a scene: its 3D frame, then its 2D layer over it.
    void DrawFrame()
    {
        scene->RenderSetup(SceneRenderFlagClearViewport);
        scene->RenderToQueue(SceneRenderFlagDisableScript);
        renderer->RenderQueue();
        renderer->ResetRenderQueue();
        scene->RenderUI(SceneRenderFlagDisableScript);
    }

    nTexture* SolidTexture(uint32_t width, uint32_t height, const uint8_t rgba[4])
    {
        nTexture* texture = new nTexture(&engine, 0, 0);
        texture->Allocate(width, height, PixelFormatRGBA8);
        for (uint32_t i = 0; i < width * height; ++i)
            for (int c = 0; c < 4; ++c) texture->GetPixels()[i * 4 + c] = rgba[c];
        texture->SetName("solid");
        EXPECT_TRUE(texture->Setup());
        return texture;
    }

    nOrvex engine;
    nCallLog log;
    nRecordingScriptVM vm{&engine, &log};
    nGL3Renderer* renderer = 0;
    std::unique_ptr<nScene> scene;
    nGLErrorRecorder errors;
};

// Colours in steps of 17 survive a texture of four bits a channel.
const nRGBA kBackground{51, 102, 153, 255};
const nRGBA kSpriteColour{255, 0, 0, 255};
const nRGBA kWindowColour{0, 255, 170, 255};

TEST_F(OverlayGL, ASpriteAndAWindowAreDrawnOverTheFrame)
{
    const uint8_t red[4] = {255, 0, 0, 255};
    nScene2D& ui = scene->GetUI();
    const nVector2 spriteAt(10, 10), spriteSize(16, 8);
    new nSprite2D(&ui, SolidTexture(16, 16, red), 0, "sprite", &spriteAt, &spriteSize);
    const nVector2 windowAt(60, 40), windowSize(40, 30);
    nWindow* window = new nWindow(&ui, 0, "window", 0, &windowAt, &windowSize);
    window->SetBackgroundColor(nVector(0.0f, 1.0f, 170.0f / 255.0f, 1.0f));

    DrawFrame();
    struct Case
    {
        const char* what;
        int x, y;
        nRGBA colour;
    };
    const Case cases[] = {
        {"frame, top left", 2, 2, kBackground},
        {"sprite, first pixel", 10, 10, kSpriteColour},
        {"sprite, last pixel", 25, 17, kSpriteColour},
        {"right of the sprite", 27, 12, kBackground},
        {"below the sprite: its texture is not stretched", 12, 19, kBackground},
        {"window, first pixel", 60, 40, kWindowColour},
        {"window, centre", 80, 55, kWindowColour},
        {"window, last pixel", 99, 69, kWindowColour},
        {"right of the window: its cache is larger", 102, 55, kBackground},
        {"below the window", 80, 72, kBackground},
    };
    for (const Case& c : cases) EXPECT_TRUE(PixelNear(Probe(c.x, c.y), c.colour, 3)) << c.what;

    // The window moves by its command list; a second frame draws it where it went.
    ASSERT_EQ(window->SetCommandText("toposition 0.001, 20, 40;"), 2);
    SetEngineFrameTime(&engine, 100);
    DrawFrame();
    EXPECT_TRUE(PixelNear(Probe(25, 55), kWindowColour, 3));
    EXPECT_TRUE(PixelNear(Probe(80, 55), kBackground, 3));
}

TEST_F(OverlayGL, TheFadeCoversTheFrameAndTheLayer)
{
    const uint8_t white[4] = {255, 255, 255, 255};
    nScene2D& ui = scene->GetUI();
    const nVector2 at(0, 0), size(64, 96);
    new nSprite2D(&ui, SolidTexture(64, 128, white), 0, "left half", &at, &size);
    ui.SetGlobalFade(0.5f);  // black, half
    DrawFrame();
    EXPECT_TRUE(PixelNear(Probe(10, 50), nRGBA{128, 128, 128, 255}, 3));
    EXPECT_TRUE(PixelNear(Probe(100, 50), nRGBA{26, 51, 77, 255}, 3));
}

}
