// The on-screen profiler drawn by the player with -enable_profiler, read back from its frame:
// the demo scene's block and the demo project's overlay with the demo's font, and a small
// project of our own whose font draws every character as a block, so each line is a bar as
// long as its text. Each line is found at its row, in its colour, starting where the overlay
// puts it and ending where its text (with the timings of that frame) ends.
#include <gtest/gtest.h>

#include <SDL.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "engine/nProject.h"
#include "engine/player/nPlayerApp.h"
#include "render/nRenderer.h"
#include "resources/nPicture.h"
#include "resources/nPictureTGA.h"
#include "resources/nRasterFont.h"
#include "scene/nMItem.h"
#include "scene/nScene.h"
#include "ui/nScene2D.h"
#include "tests/support/nBlockFont.h"
#include "tests/support/nTempDir.h"

namespace {

struct Colour
{
    int r, g, b;
};

const Colour kWhite{255, 255, 255}, kList{191, 128, 255}, kEvaluate{255, 0, 64}, kScript{255, 191, 0},
    kRender{191, 255, 64}, kUserInterface{128, 64, 255}, kYellow{255, 255, 0};

// Runs the player in folder on argv for frames frames at 60 a second and grabs the last one.
class PlayerRun
{
public:
    bool Start(const char* folder, const std::vector<const char*>& args)
    {
        if (!getcwd(m_previous, sizeof(m_previous)) || chdir(folder) != 0) return false;
        m_app.Init();
        std::vector<const char*> argv = {"quazel"};
        argv.insert(argv.end(), args.begin(), args.end());
        if (!m_app.ParseCommandLine((int)argv.size(), const_cast<char**>(argv.data())) || !m_app.Setup()) return false;
        m_app.GetEngine().SetFixedDeltaFrame(1.0f / 60.0f);
        return true;
    }
    bool Frames(int count)
    {
        for (int i = 0; i < count; ++i)
            if (m_app.DrawFrame()) return false;
        return m_app.GetEngine().GetRenderer()->GrabToPicture(&grab);
    }
    ~PlayerRun()
    {
        m_app.Shutdown();
        if (m_previous[0]) (void)chdir(m_previous);
    }
    nPlayerApp& App() { return m_app; }

    nPicture grab;

private:
    nPlayerApp m_app;
    char m_previous[4096] = {0};
};

// Where one line of text is on the grab: the first and last pixel of its colour on the rows
// its line covers.
struct Found
{
    int first = -1, last = -1, count = 0;
};
Found FindLine(const nPicture& grab, float y, float lineHeight, const Colour& c, int tolerance)
{
    Found f;
    const int w = (int)grab.GetWidth(), h = (int)grab.GetHeight();
    const int top = (int)(y * h), bottom = std::min(h, (int)(y * h + lineHeight * h) + 1);
    for (int row = top; row < bottom; ++row)
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = grab.GetPixels() + ((size_t)row * w + x) * 4;
            if (std::abs(p[2] - c.r) > tolerance || std::abs(p[1] - c.g) > tolerance || std::abs(p[0] - c.b) > tolerance)
                continue;
            if (f.first < 0 || x < f.first) f.first = x;
            if (x > f.last) f.last = x;
            ++f.count;
        }
    return f;
}

// Where a line drawn with an antialiased font is: the first and last pixel on its rows that
// differ from the same frame drawn without the overlay.
Found FindChanged(const nPicture& with, const nPicture& without, float y, float lineHeight)
{
    Found f;
    const int w = (int)with.GetWidth(), h = (int)with.GetHeight();
    const int top = (int)(y * h), bottom = std::min(h, (int)(y * h + lineHeight * h) + 1);
    for (int row = top; row < bottom; ++row)
        for (int x = 0; x < w; ++x) {
            const uint8_t* a = with.GetPixels() + ((size_t)row * w + x) * 4;
            const uint8_t* b = without.GetPixels() + ((size_t)row * w + x) * 4;
            if (std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]) < 60) continue;
            if (f.first < 0 || x < f.first) f.first = x;
            if (x > f.last) f.last = x;
            ++f.count;
        }
    return f;
}

// A line written at (x, y) with size: it spans its text's width from x, as the font steps it
// on this output (keep aspect on). The ink of the last glyph ends within slack of that end.
void ExpectLine(const nPicture& grab, nRasterFont* font, const std::string& text, float x, float y, float size,
                const Colour& colour, float slack, int tolerance)
{
    const float w = (float)grab.GetWidth(), h = (float)grab.GetHeight();
    const float aspect = h / w;
    const float lead = font->GetLineWidth(text.substr(0, text.find_first_not_of(' ')).c_str(), nullptr);
    const float left = (x + lead * 0.5f * size * aspect) * w;
    const float right = (x + font->GetLineWidth(text.c_str(), nullptr) * 0.5f * size * aspect) * w;
    const Found f = FindLine(grab, y, font->GetLineHeight() * size * 0.5f, colour, tolerance);
    ASSERT_GT(f.count, 0) << "'" << text << "' is not drawn at y " << y;
    EXPECT_GE(f.first, left - 1.5f) << text;
    EXPECT_LE(f.first, left + slack) << text;
    EXPECT_LE(f.last, right + 1.5f) << text;
    EXPECT_GE(f.last, right - 1.0f - slack) << text;
}

std::string Timing(const char* format, float ms)
{
    char line[128];
    std::snprintf(line, sizeof(line), format, ms);
    return line;
}

// The lines of a scene's block below its heading, with the timings of the scene's last frame.
struct BlockLine
{
    std::string text;
    Colour colour;
};
std::vector<BlockLine> SceneBlock(nScene* scene)
{
    int count = 0, active = 0;
    for (nListNode<nMItem*>* n = scene->GetAllItems().GetHead(); n; n = n->next, ++count)
        if (n->value->IsActive()) ++active;
    char items[128];
    std::snprintf(items, sizeof(items), "  -> Item = %d item(s), %d active (%d%%)", count, active,
                  count ? active * 100 / count : 100);
    char ui[128];
    std::snprintf(ui, sizeof(ui), "User interface = %0.02f ms (%d window(s))",
                  scene->GetTimer(SceneTimerUserInterface).GetAverageMs(), (int)scene->GetUI().GetSprites().GetCount());
    return {
        {Timing("Evaluate = %0.02f ms", scene->GetTimer(SceneTimerEvaluate).GetAverageMs()), kEvaluate},
        {items, kEvaluate},
        {Timing("Script = %0.02f ms", scene->GetTimer(SceneTimerScript).GetAverageMs()), kScript},
        {"", {}},  // Physic: grey, not told apart from the scene behind it
        {Timing("Send to render = %0.02f ms", scene->GetTimer(SceneTimerSendToRender).GetAverageMs()), kRender},
        {ui, kUserInterface},
    };
}

bool DisplayAvailable()
{
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return true;
}

// Where a line of the demo's font is, against the frame without the overlay: from its left
// end, within a glyph of its text's end.
void ExpectDemoLine(const nPicture& with, const nPicture& without, nRasterFont* font, const std::string& text, float x,
                    float y, float size)
{
    const float w = (float)with.GetWidth(), aspect = (float)with.GetHeight() / w;
    const float lead = font->GetLineWidth(text.substr(0, text.find_first_not_of(' ')).c_str(), nullptr);
    const float left = (x + lead * 0.5f * size * aspect) * w;
    const float right = (x + font->GetLineWidth(text.c_str(), nullptr) * 0.5f * size * aspect) * w;
    const Found f = FindChanged(with, without, y, font->GetLineHeight() * size * 0.5f);
    ASSERT_GT(f.count, 0) << "'" << text << "' is not drawn at y " << y;
    EXPECT_GE(f.first, left - 2.0f) << text;
    EXPECT_LE(f.first, left + 8.0f) << text;
    EXPECT_LE(f.last, right + 4.0f) << text;  // the shadow is a pixel further
    EXPECT_GE(f.last, right - 12.0f) << text;
}

// The demo scene: its block with the demo's font where the timings of the frame put each line;
// the same block with the block font, each line a bar of its colour as long as its text.
TEST(GLProfilerOverlay, TheDemoSceneShowsItsBlockWithTheTimingsOfTheFrame)
{
    if (!DisplayAvailable()) GTEST_SKIP() << "no display can be opened: " << SDL_GetError();
    nTempDir dir;
    ASSERT_TRUE(WriteBlockFont(dir, "block"));
    PlayerRun run;
    ASSERT_TRUE(run.Start(QZ_DEMO_GAME, {"crates.nms", "-r", "gl2", "-m", "none", "-enable_profiler"}));
    // Three seconds: the bodies have landed and the sky behind the block stays as it is.
    ASSERT_TRUE(run.Frames(180));
    nScene* scene = run.App().GetScene();
    ASSERT_TRUE(scene && scene->GetProfilerFont());
    ASSERT_EQ(run.grab.GetWidth(), 800u);
    const nPicture withDemoFont = run.grab;
    const std::vector<BlockLine> demoBlock = SceneBlock(scene);
    std::unique_ptr<nRasterFont> demoFont(nRasterFont::New(&run.App().GetEngine(), "fonts/arial.nml", "fonts/arial"));
    ASSERT_NE(demoFont, nullptr);

    ASSERT_TRUE(scene->LoadProfilerFont(dir.Path("block.nml").c_str(), dir.Path("block").c_str()));
    ASSERT_TRUE(run.Frames(1));
    const nPicture withBlocks = run.grab;
    const std::vector<BlockLine> block = SceneBlock(scene);
    EXPECT_FALSE(scene->LoadProfilerFont("fonts/none.nml", "fonts/none"));
    ASSERT_TRUE(run.Frames(1));
    if (const char* keep = std::getenv("QZ_PROFILER_GRAB")) SavePictureTGA(keep, withDemoFont);

    nRasterFont* font = demoFont.get();
    ExpectDemoLine(withDemoFont, run.grab, font, "Scene:", 0.025f, 0.05f + 2 * 0.021f, 0.35f);
    for (size_t i = 0; i < demoBlock.size(); ++i)
        if (!demoBlock[i].text.empty())
            ExpectDemoLine(withDemoFont, run.grab, font, demoBlock[i].text, 0.025f, 0.05f + (4 + i) * 0.021f, 0.35f);
    nRasterFont blockFont(&run.App().GetEngine());
    ASSERT_TRUE(blockFont.Load(dir.Path("block.nml").c_str(), dir.Path("block").c_str()));
    ExpectLine(withBlocks, &blockFont, "Scene:", 0.025f, 0.05f + 2 * 0.021f, 0.35f, kList, 1.5f, 3);
    for (size_t i = 0; i < block.size(); ++i)
        if (!block[i].text.empty())
            ExpectLine(withBlocks, &blockFont, block[i].text, 0.025f, 0.05f + (4 + i) * 0.021f, 0.35f, block[i].colour, 1.5f, 3);
    EXPECT_FALSE(run.App().HasFailed());
}

// The demo project: the overlay over the yard and the HUD, its scene list where its counts put it.
TEST(GLProfilerOverlay, TheDemoProjectShowsTheOverlayOverItsLayers)
{
    if (!DisplayAvailable()) GTEST_SKIP() << "no display can be opened: " << SDL_GetError();
    PlayerRun run;
    ASSERT_TRUE(run.Start(QZ_DEMO_GAME, {"crates.ngp", "-P", "-r", "gl2", "-m", "none", "-enable_profiler"}));
    ASSERT_TRUE(run.Frames(180));
    nProject& project = run.App().GetProject();
    ASSERT_NE(project.GetFont(), nullptr);
    const nPicture withOverlay = run.grab;
    std::unique_ptr<nRasterFont> font(nRasterFont::New(&run.App().GetEngine(), "fonts/arial.nml", "fonts/arial"));
    ASSERT_NE(font, nullptr);
    char list[128];
    std::snprintf(list, sizeof(list), "Scene list (%d instantiated, %d active):", (int)project.GetInstances().GetCount(),
                  (int)project.CountActiveInstances());
    EXPECT_FALSE(project.LoadFont("fonts/none.nml", "fonts/none"));
    ASSERT_TRUE(run.Frames(1));
    if (const char* keep = std::getenv("QZ_PROFILER_GRAB_PROJECT")) SavePictureTGA(keep, withOverlay);
    ExpectDemoLine(withOverlay, run.grab, font.get(), list, 0.025f, 0.074f, 0.4f);
    // The HUD's icons move beside "Layer stack:" from frame to frame: only its left end is sure.
    const Found stack = FindChanged(withOverlay, run.grab, 0.122f, font->GetLineHeight() * 0.4f * 0.5f);
    EXPECT_NEAR(stack.first, 20.0f, 3.0f);
    EXPECT_FALSE(run.App().HasFailed());
}

// A project of ours: a 3D level (depth 10) and a 2D layer (depth 5), both active, and the
// block font in place of the player's profiler font.
class OwnProject : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!DisplayAvailable()) GTEST_SKIP() << "no display can be opened: " << SDL_GetError();
        ASSERT_TRUE(WriteBlockFont(dir, "fonts/arial"));
        dir.Write("game.ngp", "<NML=1.0>\n<Environment= <Name=\"Overlay\"> <ScriptUnit= <Script=\"game.nut\"> <Class=\"Game\"> > >\n");
        dir.Write("game.nut",
                  "class Game {\n"
                  "  function OnSetup(project) {\n"
                  "    local level = ProjectInstantiateScene(project, \"level.nms\");\n"
                  "    local hud = ProjectInstantiateScene(project, \"hud.nml\");\n"
                  "    ProjectAddLayer(project, level, 10);\n"
                  "    ProjectAddLayer(project, hud, 5);\n"
                  "  }\n"
                  "}\n");
        dir.Write("level.nms", "<NML=1.0>\n<Scene= <Globals= <BackgroundColor= <x=0.0> <y=0.0> <z=0.0> > > >\n");
        dir.Write("hud.nml", "<NML=1.0>\n<Scene2d= <Version=1> >\n");
    }
    nTempDir dir;
};

TEST_F(OwnProject, EveryOverlayLineIsABarWhereTheLayoutAndTheTimingsPutIt)
{
    PlayerRun run;
    ASSERT_TRUE(run.Start(dir.Path("").c_str(), {"game.ngp", "-P", "-r", "gl2", "-m", "none", "-enable_profiler"}));
    ASSERT_TRUE(run.Frames(30));
    nProject& project = run.App().GetProject();
    nRasterFont* font = project.GetFont();
    ASSERT_NE(font, nullptr);
    ASSERT_EQ(project.GetInstances().GetCount(), 2);
    nProjectSceneInstance* level = project.GetInstances().GetHead()->value;
    nProjectSceneInstance* hud = project.GetInstances().GetTail()->value;
    ASSERT_TRUE(level->GetScene3D() && hud->GetScene2D());
    if (const char* keep = std::getenv("QZ_PROFILER_GRAB")) SavePictureTGA(keep, run.grab);

    const float s = 0.024f, b = 0.021f;
    const std::string levelName = level->GetName().GetCStr(), hudName = hud->GetName().GetCStr();
    struct Line
    {
        std::string text;
        float x, y, size;
        Colour colour;
    };
    std::vector<Line> lines = {
        {"Scene list (2 instantiated, 2 active):", 0.025f, 0.074f, 0.4f, kList},
        {"Layer stack:", 0.025f, 0.122f, 0.4f, kWhite},
        {"  -> " + hudName, 0.025f, 0.146f, 0.4f, kList},  // the top layer first
        {"  -> " + levelName, 0.025f, 0.146f + s, 0.4f, kList},
        {"Scene instance '" + levelName + "':", 0.05f, 0.146f + 3 * s, 0.4f, kWhite},
    };
    const float block = 0.146f + 5 * s;
    const std::vector<BlockLine> levelBlock = SceneBlock(level->GetScene3D());
    for (size_t i = 0; i < levelBlock.size(); ++i)
        if (!levelBlock[i].text.empty()) lines.push_back({levelBlock[i].text, 0.075f, block + i * b, 0.35f, levelBlock[i].colour});
    const float next = block + 6 * b;
    lines.push_back({"Scene instance '" + hudName + "':", 0.05f, next, 0.4f, kWhite});
    lines.push_back({"Window count = 0", 0.075f, next + 2 * s, 0.35f, kYellow});
    for (const Line& line : lines) ExpectLine(run.grab, font, line.text, line.x, line.y, line.size, line.colour, 1.5f, 3);
    // The frame rate's line: white from the left margin, its numbers whatever the frame took.
    const Found perf = FindLine(run.grab, 0.05f, font->GetLineHeight() * 0.4f * 0.5f, kWhite, 3);
    EXPECT_NEAR(perf.first, 20.0f, 1.5f);
    EXPECT_GE(perf.last, 20 + 26 * 12 - 2);
    EXPECT_FALSE(run.App().HasFailed());
}

}
