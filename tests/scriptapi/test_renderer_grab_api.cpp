// The Renderer functions on the OpenGL renderer through real Squirrel: a script clears part of
// the frame through a viewport given in fractions and grabs the display into a picture.
#include <gtest/gtest.h>

#include <SDL.h>

#include "render/gl/nGL3Renderer.h"
#include "resources/nPicture.h"
#include "script/nCObject.h"
#include "tests/scriptapi/nScriptAPITestKit.h"

namespace {

class RendererGrabAPI : public nScriptAPITest
{
protected:
    void SetUp() override
    {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) GTEST_SKIP() << "no display can be opened: " << SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        ASSERT_NO_FATAL_FAILURE(nScriptAPITest::SetUp());
        renderer = new nGL3Renderer(&engine, true);
        ASSERT_TRUE(renderer->Open(64, 48, 32, 2));
        Hold("g_render", renderer, objectTypeRenderer);
        Hold("picture", picture.Get(), objectTypePicture);
    }
    void TearDown() override
    {
        nScriptAPITest::TearDown();
        vm.Close();  // the script objects go before the renderer they point at
        delete renderer;
    }

    nGL3Renderer* renderer = 0;
    nSharedPtr<nPicture> picture{new nPicture()};
};

TEST_F(RendererGrabAPI, AScriptClearsThroughAViewportAndGrabsTheDisplay)
{
    Exec("RendererSetViewport(g_render, 0, 0, 1, 1);"
         "RendererClearFrame(g_render, 0, 0, 1);"
         "RendererSetViewport(g_render, 0, 0.5, 1, 0.5);"  // the upper half: GL counts rows from the bottom
         "RendererClearFrame(g_render, 1, 0, 0);"
         "RendererSetViewport(g_render, 0, 0, 1, 1);"
         "RendererGrabDisplayToPicture(g_render, picture)");
    ASSERT_EQ(picture->GetWidth(), 64u);
    ASSERT_EQ(picture->GetHeight(), 48u);
    const uint8_t* top = picture->GetPixels();
    const uint8_t* bottom = picture->GetPixels() + (size_t)47 * 64 * 4;
    EXPECT_EQ(top[2], 255);  // red, stored B, G, R, A
    EXPECT_EQ(top[0], 0);
    EXPECT_EQ(bottom[0], 255);  // blue
    EXPECT_EQ(bottom[2], 0);
    EXPECT_EQ(Eval("RendererGetViewport(g_render)"), "0 0 64");
    Hold("nullPicture", 0, objectTypePicture);
    EXPECT_EQ(Run("RendererGrabDisplayToPicture(g_render, nullPicture)"), "CObject is null");
}

}
