// Raster-font text written by the OpenGL renderer, read back: glyph pixels where the layout
// puts the glyphs and none where it puts none (absent glyphs, spaces, the gaps of alignment),
// in the colour asked for or white; and the scene's profiler block on an 800 x 600 output,
// each of its lines a bar of its colour as long as its text, at its row.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "nGLRendererFixture.h"
#include "resources/nPicture.h"
#include "resources/nRasterFont.h"
#include "scene/nScene.h"
#include "tests/support/nBlockFont.h"
#include "tests/support/nTempDir.h"

namespace {

// The glyph 'A' covers a quarter of the page's width and half its height in clip units, with a
// step of half the width; 'B' is absent; the space steps as far as 'A' and draws nothing.
const char kFont[] =
    "<NML=1.0>\n<Font= <Common= <Height=0.5> <BaseLine=0.4> >\n"
    "<Char= <Id=32> <Step=0.5> >\n"
    "<Char= <Id=65> <U=0.0> <V=0.0> <W=0.25> <H=0.5> <Step=0.5> > >\n";

class GLText : public nGLRendererTest
{
protected:
    void SetUp() override
    {
        nGLRendererTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        std::string tga(18, '\0');
        tga[2] = 2;
        tga[12] = 4;
        tga[14] = 4;
        tga[16] = 32;
        tga[17] = 0x28;
        tga += std::string(64, '\xff');
        ASSERT_TRUE(dir.Write("a_00.tga", tga));
        ASSERT_TRUE(dir.Write("a.nml", kFont));
        font.reset(nRasterFont::New(&engine, dir.Path("a.nml").c_str(), dir.Path("a").c_str()));
        ASSERT_TRUE(font && font->GetPageTexture(0));
    }
    void TearDown() override
    {
        font.reset();
        nGLRendererTest::TearDown();
    }
    // The pixel at (x, y) counted from the top-left corner, as the text's coordinates are.
    nRGBA At(int x, int y) { return ReadPixel(x, kHeight - 1 - y); }

    nTempDir dir;
    std::unique_ptr<nRasterFont> font;
};

struct Probe
{
    int x, y;
    bool lit;
};

// On 128 x 96 at size 1, an 'A' is 16 x 24 pixels and steps 32 pixels (keep aspect off); one
// line down is 24 pixels. Each case lists pixels inside glyphs and pixels the text leaves alone.
TEST_F(GLText, GlyphsLandWhereTheLayoutPutsThemAndNowhereElse)
{
    struct Case
    {
        const char* what;
        const char* text;
        float x, y;
        bool keepAspect;
        int32_t alignment;
        std::vector<Probe> probes;
    };
    const Case cases[] = {
        // "A" at 12.8..28.8 across, 19.2..43.2 down; 'B' absent (no step); the space steps to 76.8.
        {"left, an absent glyph and a space", "AB A\nA", 0.1f, 0.2f, false, RasterAlignLeft, {{20, 30, true}, {84, 30, true}, {20, 55, true},  // the glyphs; the second line 24 down
                                                                                              {36, 30, false},
                                                                                              {60, 30, false},
                                                                                              {116, 30, false},  // no 'B', nothing under the space, no extra step
                                                                                              {84, 55, false},
                                                                                              {20, 12, false},
                                                                                              {4, 30, false}}},
        // The block ends at 1 - 0.1: "AA" is 0.5 wide, so it starts at 0.4 (51.2) and steps to 83.2.
        {"right", "AA", 0.1f, 0.5f, false, RasterAlignRight, {{59, 60, true}, {91, 60, true}, {40, 60, false}, {75, 60, false}, {107, 60, false}}},
        // Each line centred on 0.5 by its own width: "A" from 48, "AA" from 32 and 64.
        {"middle", "A\nAA", 0.5f, 0.1f, false, RasterAlignMiddle, {{56, 20, true}, {40, 44, true}, {72, 44, true}, {40, 20, false}, {72, 20, false}, {56, 44, false}}},
        // Keep aspect on a 4:3 output: glyphs 12 pixels wide, 24 apart.
        {"keep aspect", "AA", 0.0f, 0.5f, true, RasterAlignLeft, {{6, 60, true}, {30, 60, true}, {18, 60, false}, {40, 60, false}}},
    };
    const nVector red(1.0f, 0.0f, 0.0f, 1.0f);
    for (const Case& c : cases) {
        for (bool coloured : {true, false}) {
            renderer->Clear(0.0f, 0.0f, 0.5f, 1.0f, false);
            renderer->Write(font.get(), c.text, c.x, c.y, 1.0f, c.keepAspect, c.alignment, coloured ? &red : nullptr);
            const nRGBA ink = coloured ? nRGBA{255, 0, 0, 255} : nRGBA{255, 255, 255, 255};
            for (const Probe& p : c.probes)
                EXPECT_TRUE(PixelNear(At(p.x, p.y), p.lit ? ink : nRGBA{0, 0, 128, 255}))
                    << c.what << (coloured ? ", red" : ", white") << ": (" << p.x << ", " << p.y << ")";
        }
    }
}

// A glyph on a page whose picture did not load is left out, though the page drawn before it
// is still bound; the glyph's step still counts.
TEST_F(GLText, AGlyphOnAPageWithoutPictureIsLeftOut)
{
    ASSERT_TRUE(dir.Write("two.nml", "<NML=1.0>\n<Font= <Common= <Height=0.5> <BaseLine=0.4> <PageCount=2> >\n"
                                     "<Char= <Id=65> <W=0.25> <H=0.5> <Step=0.5> >\n"
                                     "<Char= <Id=67> <W=0.25> <H=0.5> <Step=0.5> <Page=1> > >\n"));
    std::string tga(18, '\0');
    tga[2] = 2;
    tga[12] = 4;
    tga[14] = 4;
    tga[16] = 32;
    tga[17] = 0x28;
    tga += std::string(64, '\xff');
    ASSERT_TRUE(dir.Write("two_00.tga", tga));
    std::unique_ptr<nRasterFont> two(nRasterFont::New(&engine, dir.Path("two.nml").c_str(), dir.Path("two").c_str()));
    ASSERT_TRUE(two && two->GetPageTexture(0) && !two->GetPageTexture(1));
    renderer->Clear(0.0f, 0.0f, 0.5f, 1.0f, false);
    renderer->Write(two.get(), "ACA", 0.1f, 0.2f, 1.0f, false, RasterAlignLeft, nullptr);
    EXPECT_TRUE(PixelNear(At(20, 30), nRGBA{255, 255, 255, 255}));
    EXPECT_TRUE(PixelNear(At(52, 30), nRGBA{0, 0, 128, 255})) << "the glyph of the missing page";
    EXPECT_TRUE(PixelNear(At(84, 30), nRGBA{255, 255, 255, 255})) << "the step of the left-out glyph";
}

TEST_F(GLText, WritingLeavesTheDepthTestAndBlendingAsTheyWere)
{
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glDisable(GL_BLEND);
    renderer->Write(font.get(), "A", 0.1f, 0.1f, 1.0f, false, 0, nullptr);
    GLint func = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &func);
    EXPECT_EQ(func, GL_LESS);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    GLboolean mask = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
    EXPECT_TRUE(mask);
}

// The scene's block on an 800 x 600 output with the block font: a character is 10.5 pixels
// wide at the block's size 0.35 with keep aspect (height / width 0.75), a line 6.3 pixels high,
// one line 12.6 pixels below the other.
class GLProfilerBlock : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QZ_REQUIRE_GL_DISPLAY();
        renderer = new nGL3Renderer(&engine, true);
        ASSERT_TRUE(renderer->Open(800, 600, 32, 2));
        errors.Install();
        ASSERT_TRUE(WriteBlockFont(dir, "block"));
        scene.reset(new nScene(&engine, nullptr));
        ASSERT_TRUE(scene->LoadProfilerFont(dir.Path("block.nml").c_str(), dir.Path("block").c_str()));
    }
    void TearDown() override
    {
        scene.reset();
        if (renderer && renderer->IsOpen()) {
            EXPECT_TRUE(errors.Errors().empty()) << "GL error during the test: " << errors.Errors().front();
        }
        delete renderer;
    }

    nOrvex engine;
    nGL3Renderer* renderer = 0;
    nGLErrorRecorder errors;
    nTempDir dir;
    std::unique_ptr<nScene> scene;
};

TEST_F(GLProfilerBlock, EachLineIsABarOfItsColourAsLongAsItsTextAtItsRow)
{
    renderer->Clear(0.0f, 0.0f, 0.5f, 1.0f, false);
    scene->DrawProfiler(0.025f, 0.05f, true, nullptr);
    nPicture grab;
    ASSERT_TRUE(renderer->GrabToPicture(&grab));
    ASSERT_EQ(grab.GetWidth(), 800u);

    struct Bar
    {
        const char* text;
        int row;
        nRGBA colour;
    };
    const Bar bars[] = {
        {"Perf. = 0.00 fps (0.00 ms)", 0, {255, 255, 255, 255}},
        {"Scene:", 2, {191, 128, 255, 255}},
        {"Evaluate = 0.00 ms", 4, {255, 0, 64, 255}},
        {"  -> Item = 0 item(s), 0 active (100%)", 5, {255, 0, 64, 255}},
        {"Script = 0.00 ms", 6, {255, 191, 0, 255}},
        {"Physic = 0.00 ms", 7, {191, 191, 191, 255}},
        {"Send to render = 0.00 ms", 8, {191, 255, 64, 255}},
        {"User interface = 0.00 ms (0 window(s))", 9, {128, 64, 255, 255}},
        {"Logic callback = 0.00 ms", 10, {255, 255, 255, 255}},
        {"Collision callback = 0.00 ms", 11, {255, 255, 255, 255}},
    };
    const float advance = 10.5f;
    for (const Bar& bar : bars) {
        const int y = (int)std::lround((0.05f + bar.row * 0.021f) * 600.0f + 3.0f);
        int first = -1, last = -1;
        for (int x = 0; x < 800; ++x) {
            const uint8_t* p = grab.GetPixels() + ((size_t)y * 800 + x) * 4;
            if (PixelNear(nRGBA{p[2], p[1], p[0], 255}, bar.colour, 3)) {
                if (first < 0) first = x;
                last = x;
            }
        }
        // The text starts at x 0.025 (20 pixels) and its last character ends n steps on.
        const std::string text = bar.text;
        size_t leading = text.find_first_not_of(' ');
        EXPECT_NEAR(first, 20.0f + leading * advance, 1.0f) << text;
        EXPECT_NEAR(last, 20.0f + text.size() * advance - 1.0f, 1.0f) << text;
        // Between two lines: the background, or the shadow's black fringe.
        const int gap = (int)std::lround((0.05f + bar.row * 0.021f) * 600.0f + 9.5f);
        const uint8_t* p = grab.GetPixels() + ((size_t)gap * 800 + 25) * 4;
        EXPECT_FALSE(PixelNear(nRGBA{p[2], p[1], p[0], 255}, bar.colour, 3)) << text << " spills below its row";
    }
}

}
