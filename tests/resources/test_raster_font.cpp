// Raster fonts: the description table (pages, missing and duplicate glyphs, the log lines),
// widths, and the layout of written text as quads (alignments, lines, absent glyphs).
#include "resources/nRasterFont.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hub/nOrvex.h"
#include "resources/nTexture.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nTempDir.h"

namespace {

// A w x h uncompressed 32-bit TGA, first row at the top, every pixel white and opaque.
std::string Tga(int w, int h)
{
    std::string bytes(18, '\0');
    bytes[2] = 2;
    bytes[12] = (char)w;
    bytes[14] = (char)h;
    bytes[16] = 32;
    bytes[17] = 0x28;
    bytes += std::string((size_t)w * h * 4, '\xff');
    return bytes;
}

const char* kCommon = "<Common= <Height=0.5> <BaseLine=0.25> <PageCount=2> >";
std::string Font(const std::string& common, const std::string& chars)
{
    return "<NML=1.0>\n<Font=\n" + common + "\n" + chars + "\n>\n";
}
std::string Char(int id, float step, int page = 0)
{
    return "<Char= <Id=" + std::to_string(id) + "> <U=0.25> <V=0.5> <W=0.125> <H=0.25> <OffsetU=0.0> <OffsetV=0.0> <Step=" + std::to_string(step) + "> <Page=" + std::to_string(page) + "> >\n";
}

class RasterFontTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir.Write("f_00.tga", Tga(2, 2));
        dir.Write("f_01.tga", Tga(2, 2));
    }
    bool Load(const std::string& description)
    {
        dir.Write("font.nml", description);
        log.Clear();
        return font.Load(dir.Path("font.nml").c_str(), dir.Path("f").c_str());
    }
    std::string PathLine(const char* start, const char* end) { return std::string(start) + dir.Path("font.nml") + end; }

    nTempDir dir;
    nLogCapture log;
    nOrvex engine;
    nRasterFont font{&engine};
};

// Each description gives its page count, which glyphs are there and the lines it logs.
TEST_F(RasterFontTest, DescriptionsGiveTheirPagesGlyphsAndLines)
{
    struct Case
    {
        const char* name;
        std::string text;
        int pages;
        std::vector<int> present, absent;
        std::vector<std::string> lines;  // "%p" stands for the description's path
    };
    const std::string space = Char(32, 0.1f);
    const Case cases[] = {
        {"no PageCount: one page", Font("<Common= <Height=0.5> <BaseLine=0.25> >", space), 1, {32}, {}, {}},
        {"two pages", Font(kCommon, space + Char(65, 0.2f, 1)), 2, {32, 65}, {}, {}},
        {"page past the count", Font(kCommon, space + Char(65, 0.2f, 3)), 2, {32}, {65}, {"[*] Invalid glyph page in font '%p' (Glyph #65), skipping.\n"}},
        {"negative page", Font(kCommon, space + Char(66, 0.2f, -1)), 2, {32}, {66}, {"[*] Invalid glyph page in font '%p' (Glyph #66), skipping.\n"}},
        {"Id past 255: skipped silently", Font(kCommon, space + Char(300, 0.2f)), 2, {32}, {44}, {}},
        {"no Id", Font(kCommon, space + "<Char= <U=0.5> >"), 2, {32}, {}, {"[*] Glyph with no or invalid ID in font '%p', skipping.\n"}},
        {"no space", Font(kCommon, Char(65, 0.2f)), 2, {65}, {32}, {"[*] No space character in font '%p'.\n"}},
        {"unknown header tag", Font("<Common= <Height=0.5> <Weight=3> >", space), 1, {32}, {}, {"[*] Unexpected tag in font description header ('Weight').\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Load(c.text));
        EXPECT_EQ(font.GetPageCount(), c.pages);
        for (int id : c.present) EXPECT_NE(font.GetGlyph((uint8_t)id), nullptr) << id;
        for (int id : c.absent) EXPECT_EQ(font.GetGlyph((uint8_t)id), nullptr) << id;
        std::vector<std::string> expected;
        for (std::string line : c.lines) {
            const size_t at = line.find("%p");
            if (at != std::string::npos) line.replace(at, 2, dir.Path("font.nml"));
            expected.push_back(line);
        }
        EXPECT_EQ(log.Lines(), expected);
        EXPECT_EQ(font.GetName().GetCStr(), dir.Path("font.nml"));
    }
}

TEST_F(RasterFontTest, ALaterCharOfTheSameIdOverwritesAndMetricsAreFloatsAsStored)
{
    ASSERT_TRUE(Load(Font(kCommon, Char(32, 0.1f) + Char(65, 0.2f) + Char(65, 0.4f) + "<Char= <Id=66> <W=1> <Step=0.3> >")));
    ASSERT_NE(font.GetGlyph(65), nullptr);
    EXPECT_FLOAT_EQ(font.GetGlyph(65)->step, 0.4f);
    EXPECT_FLOAT_EQ(font.GetGlyph(65)->u, 0.25f);
    EXPECT_FLOAT_EQ(font.GetLineHeight(), 0.5f);
    EXPECT_FLOAT_EQ(font.GetBaseLine(), 0.25f);
    // An integer-valued metric is not taken: the width stays 0, not the integer's bits.
    ASSERT_NE(font.GetGlyph(66), nullptr);
    EXPECT_EQ(font.GetGlyph(66)->w, 0.0f);
    EXPECT_FLOAT_EQ(font.GetGlyph(66)->step, 0.3f);
    EXPECT_EQ(font.GetGlyph(66)->page, 0);
}

TEST_F(RasterFontTest, PagesHoldTheirTexturesAndAClearDropsThem)
{
    ASSERT_TRUE(Load(Font(kCommon, Char(32, 0.1f))));
    nTexture* first = font.GetPageTexture(0);
    ASSERT_NE(first, nullptr);
    EXPECT_NE(font.GetPageTexture(1), nullptr);
    EXPECT_EQ(font.GetPageTexture(2), nullptr);
    EXPECT_EQ(font.GetPageTexture(-1), nullptr);
    EXPECT_EQ(first->GetWidth(), 2u);
    font.Clear();
    EXPECT_EQ(font.GetPageCount(), 0);
    EXPECT_EQ(font.GetGlyph(32), nullptr);
    EXPECT_FLOAT_EQ(font.GetLineHeight(), 0.5f);  // kept by a clear
}

// A page whose picture does not load has no texture (it is not an empty one).
TEST_F(RasterFontTest, APagePictureThatDoesNotLoadLeavesThePageWithoutTexture)
{
    ASSERT_TRUE(dir.Write("g_00.tga", Tga(2, 2)));
    ASSERT_TRUE(dir.Write("g_01.tga", "not a picture"));
    dir.Write("font.nml", Font("<Common= <Height=0.5> <BaseLine=0.25> <PageCount=3> >", Char(32, 0.1f)));
    ASSERT_TRUE(font.Load(dir.Path("font.nml").c_str(), dir.Path("g").c_str()));
    EXPECT_EQ(font.GetPageCount(), 3);
    EXPECT_NE(font.GetPageTexture(0), nullptr);
    EXPECT_EQ(font.GetPageTexture(1), nullptr);  // unreadable
    EXPECT_EQ(font.GetPageTexture(2), nullptr);  // missing
}

// A page base name longer than any fixed buffer still names its pages whole.
TEST_F(RasterFontTest, ALongPageBaseNameFindsItsPages)
{
    std::string base = "";
    for (int part = 0; part < 6; ++part) base += std::string(200, (char)('a' + part)) + "/";
    base += "f";
    ASSERT_TRUE(dir.Write(base + "_00.tga", Tga(2, 2)));
    ASSERT_TRUE(dir.Write(base + "_01.tga", Tga(4, 4)));
    dir.Write("font.nml", Font(kCommon, Char(32, 0.1f)));
    ASSERT_TRUE(font.Load(dir.Path("font.nml").c_str(), dir.Path(base).c_str()));
    ASSERT_NE(font.GetPageTexture(1), nullptr);
    EXPECT_EQ(font.GetPageTexture(1)->GetWidth(), 4u);
}

TEST_F(RasterFontTest, AFailedLoadLogsAndLeavesTheFontCleared)
{
    ASSERT_TRUE(Load(Font(kCommon, Char(32, 0.1f))));
    EXPECT_FALSE(Load("<NML=1.0>\n<Font= <Char= <Id=32> > >\n"));
    EXPECT_EQ(log.Lines(), std::vector<std::string>{PathLine("[!] Missing base tag in font description ('", "').\n")});
    EXPECT_EQ(font.GetPageCount(), 0);
    EXPECT_EQ(font.GetGlyph(32), nullptr);

    log.Clear();
    EXPECT_FALSE(font.Load(dir.Path("none.nml").c_str(), "f"));
    ASSERT_FALSE(log.Lines().empty());  // after the file system's own line
    EXPECT_EQ(log.Lines().back(), "[!] Failed to load raster font description file '" + dir.Path("none.nml") + "'.\n");
    EXPECT_EQ(nRasterFont::New(&engine, dir.Path("none.nml").c_str(), "f"), nullptr);
}

// A font without pages whose glyphs are laid out by their metrics alone.
class RasterLayoutTest : public RasterFontTest
{
protected:
    void SetUp() override
    {
        RasterFontTest::SetUp();
        // Space and 'a' step 0.1, 'b' 0.3; '!' absent. Height 0.5.
        ASSERT_TRUE(Load(Font(kCommon, Char(32, 0.1f) + Char(97, 0.1f) + Char(98, 0.3f))));
    }
    std::vector<nRasterQuad> Lay(const char* text, float x, float y, int32_t align, float aspect = 1.0f, float size = 1.0f)
    {
        std::vector<nRasterQuad> quads;
        font.Layout(text, nRasterTextPlacement{x, y, size, aspect, 1.0f, align}, quads);
        return quads;
    }
    // Where a quad's left edge is, as a fraction of the output width.
    static float ScreenLeft(const nRasterQuad& q) { return (q.left + 1.0f) * 0.5f; }
};

TEST_F(RasterLayoutTest, WidthsCoverOneLineAndTheWidestLine)
{
    const char* text = "ab\nbbb!";
    const char* next = 0;
    EXPECT_FLOAT_EQ(font.GetLineWidth(text, &next), 0.4f);
    EXPECT_EQ(next, text + 3);
    EXPECT_FLOAT_EQ(font.GetTextWidth(text), 0.9f);
    EXPECT_FLOAT_EQ(font.GetTextWidth("b\n"), 0.3f);
    EXPECT_FLOAT_EQ(font.GetTextWidth(""), 0.0f);
}

TEST_F(RasterLayoutTest, AlignmentsPlaceEachLine)
{
    // Pen steps are step * 0.5 * size * aspect of the output width.
    struct Case
    {
        const char* name;
        const char* text;
        float x;
        int32_t align;
        float aspect;
        std::vector<float> lefts;
    };
    const Case cases[] = {
        {"left", "ab", 0.1f, RasterAlignLeft, 1.0f, {0.1f, 0.15f}},
        {"left, aspect 0.5", "ab", 0.1f, RasterAlignLeft, 0.5f, {0.1f, 0.125f}},
        // The block ends at 1 - x: 0.9 - (0.1 + 0.3) * 0.5 = 0.7, then 0.75; it ends at 0.9.
        {"right", "ab", 0.1f, RasterAlignRight, 1.0f, {0.7f, 0.75f}},
        {"right, aspect 0.5", "ab", 0.1f, RasterAlignRight, 0.5f, {0.8f, 0.825f}},
        // Lines start together at the widest line's start.
        {"right, two lines", "ab\na", 0.1f, RasterAlignRight, 1.0f, {0.7f, 0.75f, 0.7f}},
        // Each line centred on x by its own width: "ab" is 0.2 wide, "a" 0.05.
        {"middle, two lines", "ab\na", 0.5f, RasterAlignMiddle, 1.0f, {0.4f, 0.45f, 0.475f}},
        {"absent glyphs neither draw nor move", "a!!b", 0.1f, RasterAlignLeft, 1.0f, {0.1f, 0.15f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<nRasterQuad> quads = Lay(c.text, c.x, 0.0f, c.align, c.aspect);
        ASSERT_EQ(quads.size(), c.lefts.size());
        for (size_t i = 0; i < quads.size(); ++i) EXPECT_NEAR(ScreenLeft(quads[i]), c.lefts[i], 1e-5f) << i;
    }
    // Right-aligned at x = 0.1: the last glyph's advance ends at 0.9 of the width.
    const std::vector<nRasterQuad> right = Lay("ab", 0.1f, 0.0f, RasterAlignRight);
    EXPECT_NEAR(ScreenLeft(right[1]) + 0.3f * 0.5f, 0.9f, 1e-5f);
}

TEST_F(RasterLayoutTest, QuadsCarryTheGlyphRectangleAndNewLinesMoveDown)
{
    const std::vector<nRasterQuad> quads = Lay("a\n\nb", 0.0f, 0.1f, RasterAlignLeft, 1.0f, 2.0f);
    ASSERT_EQ(quads.size(), 2u);
    // y 0.1 from the top is 0.8 in clip space; two lines of 0.5 * 2 * 0.5 move it down 1.0.
    EXPECT_NEAR(quads[0].top, 0.8f, 1e-5f);
    EXPECT_NEAR(quads[1].top, 0.8f - 2.0f * 1.0f, 1e-5f);
    EXPECT_NEAR(quads[0].left, -1.0f, 1e-5f);
    EXPECT_NEAR(quads[0].width, 0.125f * 2.0f, 1e-5f);
    EXPECT_NEAR(quads[0].height, 0.25f * 2.0f, 1e-5f);
    EXPECT_FLOAT_EQ(quads[0].u, 0.25f);
    EXPECT_FLOAT_EQ(quads[0].v, 0.5f);
    EXPECT_FLOAT_EQ(quads[0].w, 0.125f);
    EXPECT_FLOAT_EQ(quads[0].h, 0.25f);
    EXPECT_EQ(quads[0].page, 0);
}

}
