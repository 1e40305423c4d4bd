// The scene's block of the on-screen profiler on the recording renderer: its lines, their
// colours and shadows, the column rule, and nothing without a loaded font.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/nRasterFont.h"
#include "scene/nScene.h"
#include "tests/scene/kit/nKitScene.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nTempDir.h"

namespace {

class SceneProfilerTest : public ::testing::Test
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
        k.renderer.SetOutput(800.0f, 600.0f);
    }
    std::vector<std::string> Coloured() const  // the texts written in colour, not the shadows
    {
        std::vector<std::string> out;
        for (size_t i = 1; i < k.renderer.writes.size(); i += 2) out.push_back(k.renderer.writes[i].text);
        return out;
    }

    nLogCapture log;
    nTempDir dir;
    nKitScene k;
};

TEST_F(SceneProfilerTest, AnEmptySceneWritesTheFullBlockWithShadowsAndColours)
{
    ASSERT_TRUE(k.scene->LoadProfilerFont(dir.Path("p.nml").c_str(), dir.Path("p").c_str()));
    const float below = k.scene->DrawProfiler(0.025f, 0.05f, true, nullptr);
    const std::vector<std::string> lines = Coloured();
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0].rfind("Perf. = ", 0), 0u);
    EXPECT_EQ(lines[1], "Scene:");
    EXPECT_EQ(lines[2], "Evaluate = 0.00 ms");
    EXPECT_EQ(lines[3], "  -> Item = 0 item(s), 0 active (100%)");
    EXPECT_EQ(lines[4], "Script = 0.00 ms");
    EXPECT_EQ(lines[5], "Physic = 0.00 ms");
    EXPECT_EQ(lines[6], "Send to render = 0.00 ms");
    EXPECT_EQ(lines[7], "User interface = 0.00 ms (0 window(s))");
    EXPECT_EQ(lines[8], "Logic callback = 0.00 ms");
    EXPECT_EQ(lines[9], "Collision callback = 0.00 ms");
    // Twelve line steps: two empty lines between.
    EXPECT_NEAR(below, 0.05f + 12 * 0.021f, 1e-5f);

    const auto& w = k.renderer.writes;
    // The shadow: black, one output pixel right and down; then the line where asked.
    EXPECT_NEAR(w[0].x, 0.025f + 1.0f / 800.0f, 1e-6f);
    EXPECT_NEAR(w[0].y, 0.05f + 1.0f / 600.0f, 1e-6f);
    EXPECT_TRUE(w[0].coloured);
    EXPECT_EQ(w[0].colour.x + w[0].colour.y + w[0].colour.z, 0.0f);
    EXPECT_FLOAT_EQ(w[1].x, 0.025f);
    EXPECT_FLOAT_EQ(w[1].y, 0.05f);
    EXPECT_FALSE(w[1].coloured);  // the frame rate: the renderer's default
    EXPECT_FLOAT_EQ(w[1].size, 0.35f);
    EXPECT_TRUE(w[1].keepAspect);
    EXPECT_EQ(w[1].alignment, 0);
    struct Colour
    {
        size_t line;
        float r, g, b;
    };
    for (const Colour& c : {Colour{1, 0.75f, 0.5f, 1.0f}, Colour{2, 1.0f, 0.0f, 0.25f}, Colour{4, 1.0f, 0.75f, 0.0f},
                            Colour{5, 0.75f, 0.75f, 0.75f}, Colour{6, 0.75f, 1.0f, 0.25f}, Colour{7, 0.5f, 0.25f, 1.0f}}) {
        const auto& line = w[2 * c.line + 1];
        ASSERT_TRUE(line.coloured) << line.text;
        EXPECT_FLOAT_EQ(line.colour.x, c.r) << line.text;
        EXPECT_FLOAT_EQ(line.colour.y, c.g) << line.text;
        EXPECT_FLOAT_EQ(line.colour.z, c.b) << line.text;
    }
    EXPECT_FLOAT_EQ(w[2 * 2 + 1].y, 0.05f + 4 * 0.021f);  // Evaluate after the heading and two empty lines
}

TEST_F(SceneProfilerTest, LinesPastTheBottomContinueInASecondColumn)
{
    ASSERT_TRUE(k.scene->LoadProfilerFont(dir.Path("p.nml").c_str(), dir.Path("p").c_str()));
    const float below = k.scene->DrawProfiler(0.1f, 0.9f, false, nullptr);
    const auto& w = k.renderer.writes;
    ASSERT_EQ(w.size(), 12u);
    // 0.9, 0.921, 0.942, then 0.963 > 0.958: the fourth line starts a column at x + 0.5, y 0.05.
    EXPECT_FLOAT_EQ(w[5].x, 0.1f);
    EXPECT_NEAR(w[5].y, 0.942f, 1e-5f);
    EXPECT_FLOAT_EQ(w[7].x, 0.6f);
    EXPECT_FLOAT_EQ(w[7].y, 0.05f);
    EXPECT_NEAR(below, 0.05f + 3 * 0.021f, 1e-5f);
}

TEST_F(SceneProfilerTest, WithoutALoadedFontNothingIsWritten)
{
    EXPECT_FLOAT_EQ(k.scene->DrawProfiler(0.025f, 0.05f, true, nullptr), 0.05f);
    EXPECT_FALSE(k.scene->LoadProfilerFont(dir.Path("none.nml").c_str(), "none"));
    EXPECT_FLOAT_EQ(k.scene->DrawProfiler(0.025f, 0.05f, true, nullptr), 0.05f);
    EXPECT_TRUE(k.renderer.writes.empty());
}

}
