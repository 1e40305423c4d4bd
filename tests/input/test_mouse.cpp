// The mouse on a real window: absolute and relative mode on injected motion (corners, centre,
// outside the window), buttons and their filter, a click shorter than a frame seen by every
// mouse, and the cursor warped on the display and read back.

#include <gtest/gtest.h>

#include <SDL.h>

#include "input/nInterfaceInstance.h"
#include "input/nInterfaceMouse.h"
#include "platform/nGLWindow.h"
#include "platform/nPlatformInput.h"
#include "tests/input/nInputEvents.h"

namespace {

bool DisplayAvailable()
{
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return true;
}

class MouseTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!DisplayAvailable()) GTEST_SKIP() << "no display can be opened: " << SDL_GetError();
        Open(GLWindowModeHidden, 800, 600);
    }
    void TearDown() override
    {
        nPlatform::SetInputWindow(0);
    }

    void Open(int32_t mode, int32_t w, int32_t h)
    {
        window.DestroyWindow();
        ASSERT_EQ(window.CreateWindow("input test", w, h, mode, false), GLWindowCreated);
        InitDirectInput(window.GetNativeHandle());
        id = SDL_GetWindowID(static_cast<SDL_Window*>(window.GetNativeHandle()));
        nPlatform::TakeInputSnapshot();
    }

    // X and Y of one update of mouse after the cursor moved to (x, y) of the window.
    std::pair<int32_t, int32_t> MoveAndRead(nInterfaceMouse& mouse, int32_t x, int32_t y)
    {
        PushMotionEvent(id, x, y);
        nPlatform::TakeInputSnapshot();
        mouse.Update();
        int32_t mx = -1, my = -1;
        EXPECT_TRUE(mouse.PoolFunction(DeviceFunctionAxisX, &mx, 0, false));
        EXPECT_TRUE(mouse.PoolFunction(DeviceFunctionAxisY, &my, 0, false));
        EXPECT_FALSE(mouse.PoolFunction(DeviceFunctionAxisX, 0, 0, false)) << "a pool always removes";
        return {mx, my};
    }

    int32_t Button(nInterfaceMouse& mouse, int32_t function)
    {
        int32_t value = 0;
        return mouse.PoolFunction(function, &value, 0, false) ? value : -1;  // -1: nothing pushed
    }

    nGLWindow window;
    Uint32 id = 0;
    nHeldInput held;
};

TEST_F(MouseTest, AbsoluteModeSpansTheClientAreaAndGoesBeyondIt)
{
    nInterfaceMouse mouse;
    mouse.SetMode(MouseModeAbsolute);
    const struct
    {
        int32_t x, y, mx, my;
    } cases[] = {
        {0, 0, 0, 0},
        {400, 300, 32767, 32767},
        {800, 600, 65535, 65535},
        {799, 0, 65453, 0},
        {0, 599, 0, 65425},
        {-80, 900, -6553, 98302},
        {1600, -600, 131070, -65535},
    };
    for (const auto& c : cases) {
        std::pair<int32_t, int32_t> read = MoveAndRead(mouse, c.x, c.y);
        EXPECT_EQ(read.first, c.mx) << c.x << ", " << c.y;
        EXPECT_EQ(read.second, c.my) << c.x << ", " << c.y;
    }
}

TEST_F(MouseTest, RelativeModeMeasuresMotionByTheScreenWidthAndWrapsAtTheBorders)
{
    nInterfaceMouse mouse;
    const int32_t screen = nPlatform::GetInputSnapshot().screenWidth;
    ASSERT_GT(screen, 0);
    MoveAndRead(mouse, 400, 300);  // the first update only sets the start
    std::pair<int32_t, int32_t> read = MoveAndRead(mouse, 500, 250);
    EXPECT_EQ(read.first, 100 * 65535 / screen);
    EXPECT_EQ(read.second, -50 * 65535 / screen) << "Y is divided by the width too";
    // Past a border the cursor is put back inside, the far side: the next motion is measured from there.
    const struct
    {
        int32_t x, y, nextX, nextY;
    } wraps[] = {
        {10, 300, 746, 300},  // left: x + 800 - 64
        {790, 300, 54, 300},  // right: x + 64 - 800
        {400, 5, 400, 541},   // top
        {400, 590, 400, 54},  // bottom
    };
    for (const auto& w : wraps) {
        MoveAndRead(mouse, w.x, w.y);
        read = MoveAndRead(mouse, w.nextX, w.nextY);
        EXPECT_EQ(read.first, 0) << w.x << ", " << w.y;
        EXPECT_EQ(read.second, 0) << w.x << ", " << w.y;
    }
}

TEST_F(MouseTest, NoPositionWithoutAnInputWindow)
{
    nInterfaceMouse mouse;
    mouse.SetMode(MouseModeAbsolute);
    window.DestroyWindow();
    nPlatform::TakeInputSnapshot();
    EXPECT_EQ(nPlatform::GetInputSnapshot().clientWidth, 0);
    EXPECT_FALSE(mouse.Update());
    EXPECT_FALSE(mouse.PoolFunction(DeviceFunctionAxisX, 0, 0, false));
}

TEST_F(MouseTest, AClickShorterThanAFrameIsSeenByEveryMouse)
{
    nInterfaceMouse first, second;
    PushButtonEvent(SDL_BUTTON_LEFT, true, id);
    PushButtonEvent(SDL_BUTTON_LEFT, false, id);
    PushButtonEvent(SDL_BUTTON_MIDDLE, true, id);
    PushButtonEvent(SDL_BUTTON_MIDDLE, false, id);
    nPlatform::TakeInputSnapshot();
    first.Update();
    second.Update();
    for (nInterfaceMouse* m : {&first, &second}) {
        EXPECT_EQ(Button(*m, DeviceFunctionButton0), 1);
        EXPECT_EQ(Button(*m, DeviceFunctionButton0 + 1), -1);
        EXPECT_EQ(Button(*m, DeviceFunctionButton0 + 2), 1);
    }
    nPlatform::TakeInputSnapshot();
    first.Update();
    EXPECT_EQ(Button(first, DeviceFunctionButton0), -1) << "the next frame has no click";
}

TEST_F(MouseTest, ButtonFilterGivesOneValuePerPress)
{
    nInterfaceMouse mouse;
    mouse.SetFunctionBounceFilter(DeviceFunctionButton0 + 1, true);
    mouse.SetFunctionBounceFilter(DeviceFunctionAxisX, true);  // ignored
    held.PressButton(SDL_BUTTON_RIGHT);
    const int32_t expected[] = {1, -1, -1};
    for (int32_t e : expected) {
        nPlatform::TakeInputSnapshot();
        mouse.Update();
        EXPECT_EQ(Button(mouse, DeviceFunctionButton0 + 1), e);
    }
    held.ReleaseButton(SDL_BUTTON_RIGHT);
    nPlatform::TakeInputSnapshot();
    mouse.Update();
    EXPECT_EQ(Button(mouse, DeviceFunctionButton0 + 1), -1) << "nothing on release";
    held.PressButton(SDL_BUTTON_RIGHT);
    nPlatform::TakeInputSnapshot();
    mouse.Update();
    EXPECT_EQ(Button(mouse, DeviceFunctionButton0 + 1), 1);
    // Without the filter a held button gives 1 at every update.
    nInterfaceMouse plain;
    plain.Update();
    plain.Update();
    EXPECT_EQ(Button(plain, DeviceFunctionButton0 + 1), 1);
}

TEST_F(MouseTest, SupportedFunctions)
{
    nInterfaceMouse mouse;
    for (int32_t f : {0, 1, 2, 5, 6, 7}) EXPECT_TRUE(mouse.IsFunctionSupported(f)) << f;
    for (int32_t f : {-1, 3, 4, 8, 21, 28, 29}) EXPECT_FALSE(mouse.IsFunctionSupported(f)) << f;
    EXPECT_FALSE(mouse.PoolFunction(DeviceFunctionAxisZ, 0, 0, false)) << "Z is never pushed";
}

// The real cursor on the display: warped to the centre of a shown window and read back.
TEST_F(MouseTest, WarpedCursorIsReadBackAtTheCentre)
{
    Open(GLWindowModeWindowed, 320, 240);
    nInterfaceMouse mouse;
    mouse.SetMode(MouseModeAbsolute);
    // The warp lands once the server has mapped the window, which a busy machine may take
    // seconds to do: up to five are waited for.
    bool there = false;
    for (int i = 0; i < 500 && !there; ++i) {
        nPlatform::WarpCursor(160, 120);
        SDL_Delay(10);
        nPlatform::TakeInputSnapshot();
        const nInputSnapshot& s = nPlatform::GetInputSnapshot();
        there = s.cursorX == 160 && s.cursorY == 120;
    }
    ASSERT_TRUE(there) << "cursor at " << nPlatform::GetInputSnapshot().cursorX << ", "
                       << nPlatform::GetInputSnapshot().cursorY;
    mouse.Update();
    int32_t x = 0, y = 0;
    ASSERT_TRUE(mouse.PoolFunction(DeviceFunctionAxisX, &x, 0, false));
    ASSERT_TRUE(mouse.PoolFunction(DeviceFunctionAxisY, &y, 0, false));
    EXPECT_EQ(x, 32767);
    EXPECT_EQ(y, 32767);
}

}  // namespace
