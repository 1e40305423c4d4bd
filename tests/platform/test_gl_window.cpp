// Platform layer on a real display: window modes, the compatibility context, the extension
// rule for entry points, the message pump's quit request, cursor and key state.

#include <gtest/gtest.h>

#include <SDL.h>
#include <GL/gl.h>

#include <cstring>
#include <string>

#include "platform/nGLWindow.h"
#include "platform/nPlatformInput.h"

namespace {
// Skips the test when no display can be opened at all.
bool DisplayAvailable()
{
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return true;
}

#define QZ_REQUIRE_DISPLAY() \
    if (!DisplayAvailable()) GTEST_SKIP() << "no display can be opened: " << SDL_GetError()

// A hidden window of the size with its context current.
void OpenHidden(nGLWindow& window, int32_t width, int32_t height, bool multisample = false)
{
    ASSERT_EQ(window.CreateWindow("test", width, height, GLWindowModeHidden, multisample), GLWindowCreated);
    ASSERT_TRUE(window.CreateContext());
    ASSERT_TRUE(window.MakeCurrent());
}
}

TEST(GLWindow, HiddenAndWindowedModesGiveACompatibilityContextOfTheAskedSize)
{
    QZ_REQUIRE_DISPLAY();
    const struct
    {
        int32_t mode;
        int32_t width;
        int32_t height;
        bool shown;
    } cases[] = {
        {GLWindowModeHidden, 128, 96, false},
        {GLWindowModeWindowed, 160, 120, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        nGLWindow window;
        ASSERT_EQ(window.CreateWindow("test", c.width, c.height, c.mode, false), GLWindowCreated);
        ASSERT_TRUE(window.CreateContext());
        ASSERT_TRUE(window.MakeCurrent());
        int32_t w = 0, h = 0;
        window.GetDrawableSize(&w, &h);
        EXPECT_EQ(w, c.width);
        EXPECT_EQ(h, c.height);
        Uint32 flags = SDL_GetWindowFlags(static_cast<SDL_Window*>(window.GetNativeHandle()));
        EXPECT_EQ((flags & SDL_WINDOW_SHOWN) != 0, c.shown);

        // Immediate mode and fixed-function state exist only in a compatibility profile.
        GLint profile = 0;
        glGetIntegerv(0x9126 /* GL_CONTEXT_PROFILE_MASK */, &profile);
        EXPECT_EQ(profile & 0x1 /* core */, 0);
        GLint depthBits = 0;
        glGetIntegerv(GL_DEPTH_BITS, &depthBits);
        EXPECT_GE(depthBits, 24);
        glBegin(GL_TRIANGLES);
        glEnd();
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    }
}

TEST(GLWindow, MultisampleFormatWhenAskedOnly)
{
    QZ_REQUIRE_DISPLAY();
    for (bool multisample : {false, true}) {
        SCOPED_TRACE(multisample);
        nGLWindow window;
        OpenHidden(window, 64, 64, multisample);
        GLint samples = 0;
        glGetIntegerv(GL_SAMPLES, &samples);
        EXPECT_EQ(window.IsMultisampled(), samples > 1);
        if (!multisample) {
            EXPECT_LE(samples, 1);
        }
    }
}

TEST(GLWindow, AnExtensionCountsOnlyWhenTheDriverListsIt)
{
    QZ_REQUIRE_DISPLAY();
    EXPECT_FALSE(nGLWindow::IsExtensionSupported("GL_ARB_multitexture"));  // no context yet
    EXPECT_EQ(nGLWindow::GetProcAddress("glActiveTextureARB"), nullptr);
    nGLWindow window;
    OpenHidden(window, 32, 32);
    EXPECT_TRUE(nGLWindow::IsExtensionSupported("GL_ARB_multitexture"));
    EXPECT_NE(nGLWindow::GetProcAddress("glActiveTextureARB"), nullptr);
    EXPECT_FALSE(nGLWindow::IsExtensionSupported("GL_QZ_no_such_extension"));
    EXPECT_FALSE(nGLWindow::IsExtensionSupported(nullptr));
}

TEST(GLWindow, DestroyingReleasesContextAndWindowAndAllowsANewOne)
{
    QZ_REQUIRE_DISPLAY();
    nGLWindow window;
    OpenHidden(window, 32, 32);
    window.DestroyWindow();
    EXPECT_FALSE(window.HasWindow());
    EXPECT_FALSE(window.HasContext());
    EXPECT_FALSE(window.MakeCurrent());
    EXPECT_FALSE(window.CreateContext());  // no window to put it on
    window.SwapBuffers();                  // nothing to swap: no effect
    int32_t w = -1, h = -1;
    window.GetDrawableSize(&w, &h);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    OpenHidden(window, 48, 40);
    window.GetDrawableSize(&w, &h);
    EXPECT_EQ(w, 48);
    EXPECT_EQ(h, 40);
}

TEST(GLWindow, RefusesEmptySizes)
{
    QZ_REQUIRE_DISPLAY();
    nGLWindow window;
    EXPECT_EQ(window.CreateWindow("test", 0, 64, GLWindowModeHidden, false), GLWindowFailed);
    EXPECT_EQ(window.CreateWindow("test", 64, -1, GLWindowModeHidden, false), GLWindowFailed);
    EXPECT_FALSE(window.HasWindow());
}

TEST(PlatformMessages, CloseRequestIsReportedAndLeavesTheWindowAndTheEvent)
{
    QZ_REQUIRE_DISPLAY();
    nGLWindow window;
    OpenHidden(window, 32, 32);
    nPlatform::PumpMessages();
    SDL_FlushEvent(SDL_QUIT);
    nPlatform::ClearQuitRequest();
    EXPECT_FALSE(nPlatform::QuitRequested());

    SDL_Event quit;
    std::memset(&quit, 0, sizeof(quit));
    quit.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&quit), 1);
    nPlatform::PumpMessages();
    EXPECT_TRUE(nPlatform::QuitRequested());
    EXPECT_TRUE(window.HasWindow());
    // The event stays for the player's own pump.
    EXPECT_EQ(SDL_PeepEvents(&quit, 1, SDL_PEEKEVENT, SDL_QUIT, SDL_QUIT), 1);
    nPlatform::ClearQuitRequest();
    EXPECT_FALSE(nPlatform::QuitRequested());
    SDL_FlushEvent(SDL_QUIT);
}

TEST(PlatformInput, InjectedKeysOverrideTheRealStateUntilCleared)
{
    QZ_REQUIRE_DISPLAY();
    nGLWindow window;
    OpenHidden(window, 32, 32);
    nPlatform::PumpMessages();
    EXPECT_FALSE(nPlatform::IsKeyDown(PlatformKeyEscape));
    nPlatform::InjectKeyState(PlatformKeyEscape, true);
    EXPECT_TRUE(nPlatform::IsKeyDown(PlatformKeyEscape));
    EXPECT_FALSE(nPlatform::IsKeyDown(PlatformKeyEscape + 1));
    nPlatform::InjectKeyState(PlatformKeyEscape, false);
    EXPECT_FALSE(nPlatform::IsKeyDown(PlatformKeyEscape));
    nPlatform::InjectKeyState(PlatformKeyEscape, true);
    nPlatform::ClearInjectedKeys();
    EXPECT_FALSE(nPlatform::IsKeyDown(PlatformKeyEscape));
    for (int32_t key : {-1, (int32_t)PlatformKeyCount, 100000}) {
        nPlatform::InjectKeyState(key, true);
        EXPECT_FALSE(nPlatform::IsKeyDown(key));
    }
}

TEST(PlatformInput, InjectedKeysWorkWithoutAnyWindow)
{
    nPlatform::InjectKeyState(PlatformKeyEscape, true);
    EXPECT_TRUE(nPlatform::IsKeyDown(PlatformKeyEscape));
    nPlatform::ClearInjectedKeys();
    EXPECT_FALSE(nPlatform::IsKeyDown(PlatformKeyEscape));
    int32_t x = 5, y = 5;
    EXPECT_FALSE(nPlatform::GetCursorPosition(&x, &y));
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
}

TEST(PlatformInput, CursorVisibilityFollowsTheRequest)
{
    QZ_REQUIRE_DISPLAY();
    nGLWindow window;
    OpenHidden(window, 32, 32);
    nPlatform::ShowCursor(false);
    EXPECT_FALSE(nPlatform::IsCursorVisible());
    nPlatform::ShowCursor(true);
    EXPECT_TRUE(nPlatform::IsCursorVisible());
    int32_t x = -1, y = -1;
    EXPECT_TRUE(nPlatform::GetCursorPosition(&x, &y));
    EXPECT_GE(x, 0);
    EXPECT_GE(y, 0);
}
