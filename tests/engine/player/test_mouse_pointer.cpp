// The player's mouse routed to its 2D scenes: the pointer reads the frame's input snapshot as a
// fraction of the input window's client area, and a project's 2D layer, made by the player's
// engine, hands a click of the real event queue to its window's script handler.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <SDL.h>

#include "engine/player/nMousePointer.h"
#include "engine/player/nPlayerApp.h"
#include "platform/nGLWindow.h"
#include "platform/nPlatformInput.h"
#include "tests/input/nInputEvents.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nTempDir.h"
#include "ui/nScene2D.h"
#include "ui/nUIDevices.h"

namespace {

typedef std::vector<std::string> Lines;

bool DisplayAvailable()
{
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return true;
}

// A hidden 640 x 480 window as the input window: events pushed for it move the cursor of the
// snapshots taken after.
class InputWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!DisplayAvailable()) GTEST_SKIP() << "no display can be opened: " << SDL_GetError();
        ASSERT_EQ(window.CreateWindow("pointer test", 640, 480, GLWindowModeHidden, false), GLWindowCreated);
        id = SDL_GetWindowID(static_cast<SDL_Window*>(window.GetNativeHandle()));
        nPlatform::SetInputWindow(window.GetNativeHandle());
        nPlatform::TakeInputSnapshot();
    }
    void TearDown() override
    {
        held.ReleaseAll();
        nPlatform::SetInputWindow(0);
    }

    // The cursor at (x, y) of the client area, the left button pressed or released.
    void Move(int32_t x, int32_t y)             { PushMotionEvent(id, x, y); }
    void Left(bool down)                        { down ? held.PressButton(SDL_BUTTON_LEFT) : held.ReleaseButton(SDL_BUTTON_LEFT); }

    nGLWindow  window;
    Uint32     id = 0;
    nHeldInput held;
};

TEST_F(InputWindow, ThePointerReadsTheSnapshotAsFractionsOfTheClientArea)
{
    nMousePointer pointer;
    struct Case { int32_t x, y; bool left; float nx, ny; };
    const Case cases[] = {
        {0, 0, false, 0.0f, 0.0f},
        {320, 240, true, 0.5f, 0.5f},
        {640, 480, true, 1.0f, 1.0f},
        {-64, 960, false, -0.1f, 2.0f},    // outside the window: beyond 0 to 1
    };
    for (const Case& c : cases) {
        Move(c.x, c.y);
        Left(c.left);
        nPlatform::TakeInputSnapshot();
        const nUIPointerFrame frame = pointer.ReadFrame();
        EXPECT_TRUE(frame.hasPosition) << c.x << "," << c.y;
        EXPECT_NEAR(frame.nx, c.nx, 1e-4f) << c.x << "," << c.y;
        EXPECT_NEAR(frame.ny, c.ny, 1e-4f) << c.x << "," << c.y;
        EXPECT_EQ(frame.down[0], c.left) << c.x << "," << c.y;
        EXPECT_FALSE(frame.down[1] || frame.down[2]);
        const nUIPointerFrame again = pointer.ReadFrame();   // every scene of a frame reads the same
        EXPECT_EQ(again.nx, frame.nx);
        EXPECT_EQ(again.down[0], frame.down[0]);
    }
    nPlatform::SetInputWindow(0);
    nPlatform::TakeInputSnapshot();
    EXPECT_FALSE(pointer.ReadFrame().hasPosition) << "no input window, no position";
}

// (argv of "player <arguments...>")
class CommandLine
{
public:
    explicit CommandLine(std::vector<std::string> arguments) : m_strings(std::move(arguments))
    {
        m_strings.insert(m_strings.begin(), "player");
        for (std::string& s : m_strings) m_argv.push_back(&s[0]);
        m_argv.push_back(nullptr);
    }
    int    argc() const { return (int)m_strings.size(); }
    char** argv()       { return m_argv.data(); }

private:
    std::vector<std::string> m_strings;
    std::vector<char*>       m_argv;
};

// A project whose 2D layer's script adds a window at (100, 80) of 200 x 100 pixels, with a
// click handler, on the null renderer's 640 x 480 output.
TEST_F(InputWindow, APlayersLayerWindowGetsAClickFromTheMouse)
{
    nTempDir dir;
    nTempDir::ChangeInto inside{dir};
    dir.Write("scriptlib/zib.nut", "");
    dir.Write("engine.cfg", "<NML=1.0>\n<Width=640><Height=480>\n");
    dir.Write("game.ngp", "<NML=1.0>\n<Environment=\n\t<ScriptUnit= <Script=\"game.nut\"> <Class=\"Game\"> >\n>\n");
    dir.Write("game.nut", "class Game { function OnSetup(project) {\n"
                          "  ProjectAddLayer(project, ProjectInstantiateScene(project, \"hud.nml\"), 1); } }\n");
    dir.Write("hud.nml", "<NML=1.0>\n<Scene2d=\n\t<ScriptUnit= <Script=\"hud.nut\"> <Class=\"Hud\"> >\n>\n");
    dir.Write("hud.nut", "class Hud { function OnSetup(ui) {\n"
                         "  UISetInternalResolution(ui, 640, 480);\n"
                         "  local button = UIAddWindow(ui, 1, 100, 80, 200, 100);\n"
                         "  WindowSetEventHandler(button, EventLeftMouseClick, function(id, e) {\n"
                         "    print(\"Hud: button clicked, event \" + id); });\n"
                         "} }\n");
    nLogCapture log;
    nPlayerApp app;
    app.Init();
    CommandLine line({"game.ngp", "-P", "-r", "none", "-m", "none"});
    ASSERT_TRUE(app.ParseCommandLine(line.argc(), line.argv()));
    app.ReadConfigFile(dir.Path("engine.cfg").c_str());
    ASSERT_TRUE(app.Setup());
    nPlatform::SetInputWindow(window.GetNativeHandle());   // the null renderer has no window of its own
    ASSERT_EQ(app.GetProject().GetLayers().GetCount(), 1);
    nScene2D* hud = app.GetProject().GetLayers().GetHead()->value->GetInstance()->GetScene2D();
    ASSERT_NE(hud, nullptr);
    EXPECT_EQ(hud->GetTitleWriter(), app.GetEngine().GetUIDevices()->titleWriter) << "titles written with the fonts";

    const std::string clicked = "[S] Hud: button clicked, event 1\n";
    auto clicks = [&] {
        int n = 0;
        for (const std::string& l : log.Lines()) n += l == clicked;
        return n;
    };
    // One frame of the player with the cursor at (x, y) (a motion event each frame: the events
    // pushed here do not move the system's own cursor) and the left button as given.
    bool left = false;
    auto frame = [&](int32_t x, int32_t y, bool down) {
        Move(x, y);
        if (down != left) Left(down);
        left = down;
        return app.Frame();
    };
    // Pressed and released beside the window: nothing. Then over it: one click.
    ASSERT_TRUE(frame(500, 300, false));
    ASSERT_TRUE(frame(500, 300, true));
    ASSERT_TRUE(frame(500, 300, false));
    EXPECT_EQ(clicks(), 0);
    ASSERT_TRUE(frame(200, 130, false));
    ASSERT_TRUE(frame(200, 130, true));
    ASSERT_TRUE(frame(200, 130, false));
    EXPECT_EQ(clicks(), 1);
    // Pressed over it, released beside it: no click.
    ASSERT_TRUE(frame(200, 130, true));
    ASSERT_TRUE(frame(500, 300, false));
    EXPECT_EQ(clicks(), 1);
    // A press and release within one frame is still a click.
    ASSERT_TRUE(frame(200, 130, false));
    Left(true);
    Left(false);
    ASSERT_TRUE(frame(200, 130, false));
    ASSERT_TRUE(frame(200, 130, false));
    EXPECT_EQ(clicks(), 2);
    EXPECT_FALSE(app.HasFailed());
    app.Shutdown();
}

} // namespace
