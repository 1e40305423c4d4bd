// The player's mouse routed to its 2D scenes: the pointer reads the frame's input snapshot as a
// fraction of the input window's client area, and a project's 2D layer and a scene's own, made
// by the player's engine, hand clicks of the real event queue to their windows' script handlers.
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
#include "scene/nScene.h"
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
    void Move(int32_t x, int32_t y) { PushMotionEvent(id, x, y); }
    void Left(bool down) { down ? held.PressButton(SDL_BUTTON_LEFT) : held.ReleaseButton(SDL_BUTTON_LEFT); }

    nGLWindow window;
    Uint32 id = 0;
    nHeldInput held;
};

TEST_F(InputWindow, ThePointerReadsTheSnapshotAsFractionsOfTheClientArea)
{
    nMousePointer pointer;
    struct Case
    {
        int32_t x, y;
        bool left;
        float nx, ny;
    };
    const Case cases[] = {
        {0, 0, false, 0.0f, 0.0f},
        {320, 240, true, 0.5f, 0.5f},
        {640, 480, true, 1.0f, 1.0f},
        {-64, 960, false, -0.1f, 2.0f},  // outside the window: beyond 0 to 1
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
        const nUIPointerFrame again = pointer.ReadFrame();  // every scene of a frame reads the same
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
    int argc() const { return (int)m_strings.size(); }
    char** argv() { return m_argv.data(); }

private:
    std::vector<std::string> m_strings;
    std::vector<char*> m_argv;
};

// The player on the null renderer's 640 x 480 output, with a game whose script adds a button
// window at (100, 80) of 200 x 100 pixels to a 2D scene; its click handler prints a line.
class PlayerClicks : public InputWindow
{
protected:
    // The script that builds the button in the 2D scene ui.
    static std::string Button(const char* ui)
    {
        return std::string("  UISetInternalResolution(") + ui + ", 640, 480);\n"
                                                                "  local button = UIAddWindow(" +
               ui + ", 1, 100, 80, 200, 100);\n"
                    "  WindowSetEventHandler(button, EventLeftMouseClick, function(id, e) {\n"
                    "    print(\"Button clicked, event \" + id); });\n";
    }

    bool Start(std::vector<std::string> arguments)
    {
        dir.Write("scriptlib/zib.nut", "");
        dir.Write("engine.cfg", "<NML=1.0>\n<Width=640><Height=480>\n");
        app.Init();
        CommandLine line(arguments);
        if (!app.ParseCommandLine(line.argc(), line.argv())) return false;
        app.ReadConfigFile(dir.Path("engine.cfg").c_str());
        if (!app.Setup()) return false;
        nPlatform::SetInputWindow(window.GetNativeHandle());  // the null renderer has no window of its own
        return true;
    }

    // One frame of the player with the cursor at (x, y) (a motion event each frame: the events
    // pushed here do not move the system's own cursor) and the left button as given.
    bool Frame(int32_t x, int32_t y, bool down)
    {
        Move(x, y);
        if (down != left) Left(down);
        left = down;
        return app.Frame();
    }

    int Clicks() const
    {
        int n = 0;
        for (const std::string& l : log.Lines()) n += l == "[S] Button clicked, event 1\n";
        return n;
    }

    // Beside the button, over it, pressed over it and released beside it, and pressed and
    // released within one frame.
    void ClickAround()
    {
        ASSERT_TRUE(Frame(500, 300, false));
        ASSERT_TRUE(Frame(500, 300, true));
        ASSERT_TRUE(Frame(500, 300, false));
        EXPECT_EQ(Clicks(), 0) << "pressed and released beside the button";
        ASSERT_TRUE(Frame(200, 130, false));
        ASSERT_TRUE(Frame(200, 130, true));
        ASSERT_TRUE(Frame(200, 130, false));
        EXPECT_EQ(Clicks(), 1) << "pressed and released over it";
        ASSERT_TRUE(Frame(200, 130, true));
        ASSERT_TRUE(Frame(500, 300, false));
        EXPECT_EQ(Clicks(), 1) << "pressed over it, released beside it";
        ASSERT_TRUE(Frame(200, 130, false));
        Left(true);
        Left(false);
        ASSERT_TRUE(Frame(200, 130, false));
        ASSERT_TRUE(Frame(200, 130, false));
        EXPECT_EQ(Clicks(), 2) << "a click shorter than a frame";
        EXPECT_FALSE(app.HasFailed());
    }

    nTempDir dir;
    nTempDir::ChangeInto inside{dir};
    nLogCapture log;
    nPlayerApp app;
    bool left = false;
};

// A project's 2D layer: its window answers the mouse, and its titles are written with the fonts.
TEST_F(PlayerClicks, AProjectLayersWindowGetsClicksFromTheMouse)
{
    dir.Write("game.ngp", "<NML=1.0>\n<Environment=\n\t<ScriptUnit= <Script=\"game.nut\"> <Class=\"Game\"> >\n>\n");
    dir.Write("game.nut", "class Game { function OnSetup(project) {\n"
                          "  ProjectAddLayer(project, ProjectInstantiateScene(project, \"hud.nml\"), 1); } }\n");
    dir.Write("hud.nml", "<NML=1.0>\n<Scene2d=\n\t<ScriptUnit= <Script=\"hud.nut\"> <Class=\"Hud\"> >\n>\n");
    dir.Write("hud.nut", "class Hud { function OnSetup(ui) {\n" + Button("ui") + "} }\n");
    ASSERT_TRUE(Start({"game.ngp", "-P", "-r", "none", "-m", "none"}));
    ASSERT_EQ(app.GetProject().GetLayers().GetCount(), 1);
    nScene2D* hud = app.GetProject().GetLayers().GetHead()->value->GetInstance()->GetScene2D();
    ASSERT_NE(hud, nullptr);
    EXPECT_EQ(hud->GetTitleWriter(), app.GetEngine().GetUIDevices()->titleWriter) << "titles written with the fonts";
    ClickAround();
}

// A scene's own user-interface layer, in scene mode.
TEST_F(PlayerClicks, ASceneUserInterfaceWindowGetsClicksFromTheMouse)
{
    dir.Write("level.nms", "<NML=1.0>\n<Scene=\n\t<ScriptUnit= <Script=\"level.nut\"> <Class=\"Level\"> >\n>\n");
    dir.Write("level.nut", "class Level { function OnSetup(scene) {\n  local ui = SceneGetUI(scene);\n" + Button("ui") + "} }\n");
    ASSERT_TRUE(Start({"level.nms", "-r", "none", "-m", "none"}));
    ASSERT_NE(app.GetScene(), nullptr);
    EXPECT_EQ(app.GetScene()->GetUI().GetTitleWriter(), app.GetEngine().GetUIDevices()->titleWriter);
    ClickAround();
}

}  // namespace
