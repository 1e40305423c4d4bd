// The project's overlay of the on-screen profiler on the recording renderer: the fixed heading
// lines, the layer stack listed top layer first, one block per active instance (a 3D scene's
// short block, a 2D scene's window count), the second column, and nothing without the font.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/nProject.h"
#include "hub/nOrvex.h"
#include "resources/nRasterFont.h"
#include "scene/nScene.h"
#include "tests/kit/nCallLog.h"
#include "tests/kit/nRecordingRenderer.h"
#include "tests/scene/kit/nFakePhysicWorld.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nTempDir.h"
#include "ui/nScene2D.h"

namespace {

nOrvexParts FakeWorldParts()
{
    nOrvexParts parts;
    parts.physicWorlds = nFakePhysicWorld::Make;
    return parts;
}

struct Line
{
    std::string text;
    float x, y;
    const char* colour;  // "default", "list", "white", "yellow", "evaluate", ... by the colour written
};

const char* ColourName(const nRecordingRenderer::Written& w)
{
    if (!w.coloured) return "default";
    struct Named
    {
        const char* name;
        float r, g, b;
    };
    static const Named kNames[] = {
        {"list", 0.75f, 0.5f, 1.0f},
        {"white", 1.0f, 1.0f, 1.0f},
        {"yellow", 1.0f, 1.0f, 0.0f},
        {"evaluate", 1.0f, 0.0f, 0.25f},
        {"script", 1.0f, 0.75f, 0.0f},
        {"physic", 0.75f, 0.75f, 0.75f},
        {"render", 0.75f, 1.0f, 0.25f},
        {"ui", 0.5f, 0.25f, 1.0f},
        {"black", 0.0f, 0.0f, 0.0f},
    };
    for (const Named& n : kNames)
        if (w.colour.x == n.r && w.colour.y == n.g && w.colour.z == n.b && w.colour.w == 1.0f) return n.name;
    return "other";
}

class ProjectProfiler : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string tga(18, '\0');
        tga[2] = 2;
        tga[12] = 1;
        tga[14] = 1;
        tga[16] = 32;
        tga[17] = 0x28;
        tga += std::string(4, '\xff');
        dir.Write("p_00.tga", tga);
        dir.Write("p.nml", "<NML=1.0>\n<Font= <Common= <Height=0.1> <BaseLine=0.08> >\n"
                           "<Char= <Id=32> <Step=0.05> > >\n");
        dir.Write("level.nms", "<NML=1.0>\n<Scene= <Globals= <BackgroundColor= <x=0.1> <y=0.2> <z=0.3> > > >\n");
        dir.Write("hud.nml", "<NML=1.0>\n<Scene2d= <Sprites= <Sprite2d= <Uid=1> > <Sprite2d= <Uid=2> > > >\n");
        dir.Write("spare.nml", "<NML=1.0>\n<Scene2d= <Version=1> >\n");
        renderer.SetOutput(800.0f, 600.0f);
    }
    void TearDown() override { project.Close(true); }

    // The lines written in colour (each after its shadow, which is checked on the way).
    std::vector<Line> Written()
    {
        std::vector<Line> out;
        const auto& w = renderer.writes;
        EXPECT_EQ(w.size() % 2, 0u);
        for (size_t i = 0; i + 1 < w.size(); i += 2) {
            EXPECT_EQ(w[i].text, w[i + 1].text);
            EXPECT_STREQ(ColourName(w[i]), "black") << w[i].text;
            EXPECT_NEAR(w[i].x, w[i + 1].x + 1.0f / 800.0f, 1e-6f) << w[i].text;
            EXPECT_NEAR(w[i].y, w[i + 1].y + 1.0f / 600.0f, 1e-6f) << w[i].text;
            EXPECT_TRUE(w[i + 1].keepAspect);
            EXPECT_EQ(w[i + 1].alignment, 0);
            out.push_back({w[i + 1].text, w[i + 1].x, w[i + 1].y, ColourName(w[i + 1])});
        }
        return out;
    }
    std::string Path(const char* name) { return dir.Path(name); }

    nLogCapture log;
    nTempDir dir;
    nOrvex engine{FakeWorldParts()};
    nCallLog calls;
    nRecordingRenderer renderer{&engine, &calls};
    nProject project{&engine};
};

TEST_F(ProjectProfiler, TheOverlayListsScenesLayersTopFirstAndABlockPerActiveInstance)
{
    ASSERT_TRUE(project.Open(true));
    nProjectSceneInstance* level = project.Instantiate(Path("level.nms").c_str());
    nProjectSceneInstance* hud = project.Instantiate(Path("hud.nml").c_str());
    nProjectSceneInstance* spare = project.Instantiate(Path("spare.nml").c_str());
    ASSERT_TRUE(level && hud && spare) << ::testing::PrintToString(log.Lines());
    project.ActivateScene(spare, false);
    project.NewLayer(hud, 5.0f);
    project.NewLayer(level, 10.0f);
    project.NewLayer(0, 1.0f);
    project.Render(1);  // sorts the layers: deepest first
    ASSERT_TRUE(project.LoadFont(Path("p.nml").c_str(), Path("p").c_str()));
    renderer.writes.clear();
    project.DrawProfiler();

    const std::string levelName = level->GetName().GetCStr(), hudName = hud->GetName().GetCStr();
    const float s = 0.024f, b = 0.021f;      // the overlay's and the blocks' line steps
    const float instances = 0.146f + 4 * s;  // three layers and an empty line
    const float levelBlock = instances + 2 * s;
    const float hudLine = levelBlock + 6 * b;
    const std::vector<Line> expected = {
        {"Perf. = 0.00 fps (0.00 ms)", 0.025f, 0.05f, "default"},
        {"Scene list (3 instantiated, 2 active):", 0.025f, 0.074f, "list"},
        {"Layer stack:", 0.025f, 0.122f, "white"},
        {"  -> No Instance", 0.025f, 0.146f, "list"},
        {"  -> " + hudName, 0.025f, 0.146f + s, "list"},
        {"  -> " + levelName, 0.025f, 0.146f + 2 * s, "list"},
        {"Scene instance '" + levelName + "':", 0.05f, instances, "white"},
        {"Evaluate = 0.00 ms", 0.075f, levelBlock, "evaluate"},
        {"  -> Item = 1 item(s), 1 active (100%)", 0.075f, levelBlock + b, "evaluate"},  // the default camera
        {"Script = 0.00 ms", 0.075f, levelBlock + 2 * b, "script"},
        {"Physic = 0.00 ms", 0.075f, levelBlock + 3 * b, "physic"},
        {"Send to render = 0.00 ms", 0.075f, levelBlock + 4 * b, "render"},
        {"User interface = 0.00 ms (0 window(s))", 0.075f, levelBlock + 5 * b, "ui"},
        {"Scene instance '" + hudName + "':", 0.05f, hudLine, "white"},
        {"Window count = 2", 0.075f, hudLine + 2 * s, "yellow"},
    };
    const std::vector<Line> lines = Written();
    ASSERT_EQ(lines.size(), expected.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].text, expected[i].text) << i;
        EXPECT_NEAR(lines[i].x, expected[i].x, 1e-5f) << expected[i].text;
        EXPECT_NEAR(lines[i].y, expected[i].y, 1e-5f) << expected[i].text;
        EXPECT_STREQ(lines[i].colour, expected[i].colour) << expected[i].text;
    }
    // Text sizes: the overlay's own lines 0.4, the instances' blocks 0.35.
    EXPECT_FLOAT_EQ(renderer.writes[1].size, 0.4f);
    EXPECT_FLOAT_EQ(renderer.writes.back().size, 0.35f);
}

TEST_F(ProjectProfiler, ALongLayerStackContinuesInASecondColumn)
{
    ASSERT_TRUE(project.Open(true));
    ASSERT_TRUE(project.LoadFont(Path("p.nml").c_str(), Path("p").c_str()));
    // From 0.146 in steps of 0.024: the 34th layer line is written at 0.938; 0.962 passes 0.952.
    for (int i = 0; i < 36; ++i) project.NewLayer(0, 0.0f);
    project.DrawProfiler();
    const std::vector<Line> lines = Written();
    ASSERT_EQ(lines.size(), 3u + 36u);
    EXPECT_NEAR(lines[3 + 33].y, 0.146f + 33 * 0.024f, 1e-4f);
    EXPECT_NEAR(lines[3 + 33].x, 0.025f, 1e-6f);
    EXPECT_NEAR(lines[3 + 34].x, 0.525f, 1e-6f);
    EXPECT_NEAR(lines[3 + 34].y, 0.05f, 1e-6f);
    EXPECT_NEAR(lines[3 + 35].y, 0.074f, 1e-6f);
}

TEST_F(ProjectProfiler, WithoutItsFontTheOverlayWritesNothing)
{
    ASSERT_TRUE(project.Open(true));
    project.DrawProfiler();
    EXPECT_FALSE(project.LoadFont(Path("none.nml").c_str(), Path("none").c_str()));
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"[*] Could not access file '" + Path("none.nml") + "'.\n",
                                                     "[!] Failed to load raster font description file '" + Path("none.nml") + "'.\n"}));
    project.DrawProfiler();
    EXPECT_TRUE(renderer.writes.empty());
    // A font that did load is let go when the project closes (before its renderer goes).
    ASSERT_TRUE(project.LoadFont(Path("p.nml").c_str(), Path("p").c_str()));
    EXPECT_NE(project.GetFont(), nullptr);
    project.Close(false);
    EXPECT_EQ(project.GetFont(), nullptr);
}

// A 2D scene's line: yellow "Window count", two steps on with the wrap at 0.958, nothing
// without a font whose first page has its texture.
TEST_F(ProjectProfiler, TheWindowCountLineOfA2DScene)
{
    ASSERT_TRUE(project.Open(true));
    nProjectSceneInstance* hud = project.Instantiate(Path("hud.nml").c_str());
    ASSERT_TRUE(hud && hud->GetScene2D());
    nScene2D* scene = hud->GetScene2D();
    nRasterFont* font = nRasterFont::New(&engine, Path("p.nml").c_str(), Path("p").c_str());
    ASSERT_NE(font, nullptr);
    ASSERT_NE(font->GetPageTexture(0), nullptr);
    // 0.95 + 0.021 = 0.971 wraps to 0.05, then one step more.
    EXPECT_NEAR(scene->DrawStats(0.3f, 0.95f, font), 0.071f, 1e-5f);
    EXPECT_NEAR(scene->DrawStats(0.3f, 0.5f, font), 0.542f, 1e-5f);
    const std::vector<Line> lines = Written();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, "Window count = 2");
    EXPECT_STREQ(lines[0].colour, "yellow");
    EXPECT_FLOAT_EQ(renderer.writes[1].size, 0.35f);
    delete font;

    nRasterFont pageless(&engine);
    EXPECT_FLOAT_EQ(scene->DrawStats(0.3f, 0.5f, &pageless), 0.5f);
    EXPECT_FLOAT_EQ(scene->DrawStats(0.3f, 0.5f, nullptr), 0.5f);
    EXPECT_EQ(renderer.writes.size(), 4u);
}

}
