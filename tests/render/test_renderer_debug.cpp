// The renderer's debug shapes and statistics text on the recording renderer: how many lines
// and triangles each shape adds, in which colour, which shapes a closed renderer drops, and
// where the statistics lines are written, the second column included.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "hub/nOrvex.h"
#include "resources/nRasterFont.h"
#include "tests/kit/nCallLog.h"
#include "tests/kit/nRecordingRenderer.h"

namespace {

class RendererDebug : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(renderer.Open(800, 600, 32, 0)); }

    bool SameColour(const nVector& a, const nVector& b)
    {
        return a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w;
    }
    // Every recorded line has this colour ((-1,-1,-1,-1): none was given).
    void ExpectAllLines(const nVector& colour, const char* shape)
    {
        for (const nRecordingRenderer::Line& l : renderer.GetLines())
            ASSERT_TRUE(SameColour(l.colour, colour)) << shape << ": " << l.colour.x << " " << l.colour.y << " "
                                                      << l.colour.z << " " << l.colour.w;
    }

    nOrvex engine;
    nCallLog calls;
    nRecordingRenderer renderer{&engine, &calls};
};

const nVector kNone(-1.0f, -1.0f, -1.0f, -1.0f);

TEST_F(RendererDebug, EachShapeDrawsItsLineCountInItsDefaultColour)
{
    const nMatrix3 turned = nMatrix3::RotationX(0.7f);
    nOBB box;
    box.scale = nVector(2, 1, 0.5f);
    struct Case
    {
        const char* shape;
        std::function<void()> draw;
        size_t lines;
        nVector colour;
    };
    const Case cases[] = {
        {"cross", [&] { renderer.DrawCross(nVector(1, 2, 3), 0.5f, 0); }, 3, nVector(1, 1, 1, 1)},
        {"box", [&] { renderer.DrawBox(nMinMax(nVector(0, 0, 0), nVector(1, 2, 3)), 0); }, 12, nVector(0.5f, 1, 0, 1)},
        {"square", [&] { renderer.DrawSquare(nVector(0, 0, 2), 1.0f); }, 4, nVector(1, 1, 1, 1)},
        {"cube", [&] { renderer.DrawCube(nVector(0, 0, 0), 1.0f, 0); }, 12, nVector(0, 0.5f, 1, 1)},
        {"sphere", [&] { renderer.DrawSphere(nVector(0, 0, 0), 2.0f, 0); }, 108, nVector(1, 1, 0, 1)},
        {"transformed sphere", [&] { renderer.DrawTransformedSphere(nMatrix4(), 2.0f, 0); }, 72, kNone},
        {"circle", [&] { renderer.DrawCircle(nVector(0, 0, 0), 1.0f, 0, 0); }, 37, kNone},
        {"turned circle", [&] { renderer.DrawCircle(nVector(0, 0, 0), 1.0f, &turned, 0); }, 37, kNone},
        {"cylinder", [&] { renderer.DrawCylinder(nVector(0, 0, 0), 1.0f, 2.0f, &turned, 0); }, 78, kNone},
        {"cone", [&] { renderer.DrawCone(nVector(0, 0, 0), 1.0f, 2.0f, 0, 0); }, 41, kNone},
        {"oriented box", [&] { renderer.DrawOrientedBox(box, 0); }, 12, nVector(1, 0.5f, 0, 1)},
        {"obb", [&] { renderer.DrawOBB(box, 0); }, 12, nVector(1, 0.5f, 0, 1)},
    };
    for (const Case& c : cases) {
        calls.Clear();
        const size_t before = renderer.GetLines().size();
        c.draw();
        std::vector<nRecordingRenderer::Line> added(renderer.GetLines().begin() + before, renderer.GetLines().end());
        EXPECT_EQ(added.size(), c.lines) << c.shape;
        for (const auto& l : added)
            EXPECT_TRUE(SameColour(l.colour, c.colour)) << c.shape;
    }
    // The capsule's spheres keep their own default colour, its two side lines the line default.
    const size_t before = renderer.GetLines().size();
    renderer.DrawCapsule(nVector(0, 0, 0), 1.0f, 2.0f, 0, 0);
    const auto& lines = renderer.GetLines();
    ASSERT_EQ(lines.size() - before, 218u);
    for (size_t i = before; i < before + 216; ++i) EXPECT_TRUE(SameColour(lines[i].colour, nVector(1, 1, 0, 1)));
    EXPECT_TRUE(SameColour(lines[before + 216].colour, kNone));
    EXPECT_TRUE(SameColour(lines[before + 217].colour, kNone));
}

TEST_F(RendererDebug, AGivenColourReachesEveryLine)
{
    const nVector red(1, 0, 0, 0.5f);
    renderer.DrawSphere(nVector(0, 0, 0), 1.0f, &red);
    renderer.DrawCylinder(nVector(0, 0, 0), 1.0f, 1.0f, 0, &red);
    renderer.DrawOrientedBox(nOBB(), &red);
    ASSERT_EQ(renderer.GetLines().size(), 108u + 78u + 12u);
    ExpectAllLines(red, "coloured shapes");
}

TEST_F(RendererDebug, AClosedRendererDropsOnlyCrossBoxSquareAndCube)
{
    renderer.Close();
    renderer.DrawCross(nVector(0, 0, 0), 1.0f, 0);
    renderer.DrawBox(nMinMax(nVector(0, 0, 0), nVector(1, 1, 1)), 0);
    renderer.DrawSquare(nVector(0, 0, 0), 1.0f);
    renderer.DrawCube(nVector(0, 0, 0), 1.0f, 0);
    EXPECT_EQ(renderer.GetLines().size(), 0u);
    renderer.DrawCircle(nVector(0, 0, 0), 1.0f, 0, 0);
    renderer.DrawOrientedBox(nOBB(), 0);
    EXPECT_EQ(renderer.GetLines().size(), 37u + 12u);
}

TEST_F(RendererDebug, ShapesSitWhereTheirArgumentsPlaceThem)
{
    // Cross arms of length 2 x half size along the axes.
    renderer.DrawCross(nVector(1, 2, 3), 0.5f, 0);
    const auto& cross = renderer.GetLines();
    for (int axis = 0; axis < 3; ++axis) {
        const nVector d = cross[axis].to - cross[axis].from;
        EXPECT_NEAR(d.Length(), 1.0f, 1e-6f);
        EXPECT_NEAR((cross[axis].to + cross[axis].from).x * 0.5f, 1.0f, 1e-6f);
    }
    // Every circle point lies at the radius in the turned plane; the last segment ends at the
    // first point again.
    const nMatrix3 turned = nMatrix3::RotationX(0.7f);
    const nVector centre(4, 5, 6);
    const size_t first = renderer.GetLines().size();
    renderer.DrawCircle(centre, 2.0f, &turned, 0);
    const nVector normal = nVector(0, 0, 1).Rotate(turned);
    for (size_t i = first; i < renderer.GetLines().size(); ++i) {
        const nVector p = renderer.GetLines()[i].to - centre;
        EXPECT_NEAR(p.Length(), 2.0f, 1e-4f);
        EXPECT_NEAR(p.Dot(normal), 0.0f, 1e-4f);
    }
    EXPECT_NEAR((renderer.GetLines().back().to - renderer.GetLines()[first].to).Length(), 0.0f, 0.01f);
    // The cone's four last lines meet at the apex, half the height along the turned Z.
    const size_t cone = renderer.GetLines().size();
    renderer.DrawCone(centre, 1.0f, 4.0f, &turned, 0);
    const nVector apex = centre + nVector(0, 0, 2).Rotate(turned);
    for (size_t i = cone + 37; i < renderer.GetLines().size(); ++i)
        EXPECT_NEAR((renderer.GetLines()[i].to - apex).Length(), 0.0f, 1e-5f);
    // Oriented box corners: centre + orientation (+-size / 2).
    nOBB box;
    box.position = nVector(1, 1, 1);
    box.scale = nVector(2, 4, 6);
    box.orientation = nMatrix3::RotationZ(0.5f);
    const size_t obb = renderer.GetLines().size();
    renderer.DrawOrientedBox(box, 0);
    for (size_t i = obb; i < renderer.GetLines().size(); ++i) {
        const nVector local = (renderer.GetLines()[i].from - box.position).Rotate(box.orientation.Transpose());
        EXPECT_NEAR(std::fabs(local.x), 1.0f, 1e-5f);
        EXPECT_NEAR(std::fabs(local.y), 2.0f, 1e-5f);
        EXPECT_NEAR(std::fabs(local.z), 3.0f, 1e-5f);
    }
}

TEST_F(RendererDebug, TheSolidOrientedBoxIsTwelveTrianglesWithTheFlags)
{
    renderer.DrawSolidOrientedBox(nOBB(), 0, 0x6000);
    const nVector blue(0, 0, 1, 1);
    renderer.DrawSolidOrientedBox(nOBB(), &blue, 0);
    const auto& t = renderer.GetTriangles();
    ASSERT_EQ(t.size(), 24u);
    for (size_t i = 0; i < 12; ++i) {
        EXPECT_EQ(t[i].flags, 0x6000u);
        EXPECT_TRUE(SameColour(t[i].colour, nVector(1, 0.5f, 0, 1)));
        EXPECT_TRUE(SameColour(t[12 + i].colour, blue));
    }
    EXPECT_TRUE(renderer.GetLines().empty());
}

// Statistics text.

std::vector<std::string> Texts(const std::vector<nStatisticsLine>& lines)
{
    std::vector<std::string> out;
    for (const nStatisticsLine& l : lines) out.push_back(l.text);
    return out;
}

TEST_F(RendererDebug, StatisticsListTheCountersWithTheirAverages)
{
    RendererStatistics& s = renderer.GetStatistics();
    s.queuePasses = 4, s.lightsProcessed = 3, s.objectsSent = 10, s.objectsDrawn = 9, s.trianglesDrawn = 1000;
    s.listsDrawn = 8;
    std::vector<nStatisticsLine> lines;
    const float next = renderer.LayoutStatistics(0.1f, 0.1f, 1.5f, 0.25f, lines);
    EXPECT_EQ(Texts(lines), (std::vector<std::string>{
                                "Renderer:", "Render queue = 1.50 ms", "Queue pass = 4", "Culling = 0.25 ms",
                                "Light processed = 3", "Object sent = 10", "Object drawn = 9 (pass avg. = 2)",
                                "Triangle drawn = 1000 (pass avg. = 250)",
                                "List drawn = 8 (avg. list length = 125.00, efficiency = 0.5000)"}));
    EXPECT_TRUE(SameColour(lines[0].colour, nVector(0.75f, 0.5f, 1, 1)));
    EXPECT_TRUE(SameColour(lines[1].colour, nVector(1, 1, 1, 1)));
    EXPECT_NEAR(lines[1].y, 0.1f + 2 * 0.0225f, 1e-6f);
    EXPECT_NEAR(lines[8].y, 0.1f + 9 * 0.0225f, 1e-6f);
    EXPECT_NEAR(next, 0.1f + 12 * 0.0225f, 1e-5f);

    s = RendererStatistics();
    renderer.LayoutStatistics(0.1f, 0.1f, 0, 0, lines);
    EXPECT_EQ(lines[6].text, "Object drawn = 0 (pass avg. = 0)");
    EXPECT_EQ(lines[8].text, "List drawn = 0 (avg. list length = 0.00, efficiency = 1.0000)");
}

TEST_F(RendererDebug, StatisticsWrapIntoASecondColumnPastTheBottom)
{
    std::vector<nStatisticsLine> lines;
    renderer.LayoutStatistics(0.1f, 0.94f, 0, 0, lines);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_FLOAT_EQ(lines[0].x, 0.1f);
    EXPECT_FLOAT_EQ(lines[0].y, 0.94f);
    // The first advance passes 0.955: the counters start the second column.
    EXPECT_FLOAT_EQ(lines[1].x, 0.6f);
    EXPECT_NEAR(lines[1].y, 0.05f + 0.0225f, 1e-6f);
    for (size_t i = 2; i < lines.size(); ++i) {
        EXPECT_FLOAT_EQ(lines[i].x, 0.6f);
        EXPECT_NEAR(lines[i].y - lines[i - 1].y, 0.0225f, 1e-6f);
    }
    // A start lower in the column wraps part-way: the lines after the wrap move right.
    renderer.LayoutStatistics(0.0f, 0.8f, 0, 0, lines);
    size_t wrapped = 0;
    for (const nStatisticsLine& l : lines) {
        EXPECT_LE(l.y, 0.955f);
        if (l.x == 0.5f) ++wrapped;
    }
    EXPECT_EQ(wrapped, 3u);
}

TEST_F(RendererDebug, DrawStatisticsWritesEachLineWithAShadowAndNothingWithoutAFont)
{
    EXPECT_FLOAT_EQ(renderer.DrawStatistics(0.1f, 0.2f, 0), 0.2f);
    EXPECT_TRUE(renderer.writes.empty());
    nRasterFont font(&engine);
    const float next = renderer.DrawStatistics(0.1f, 0.2f, &font);
    EXPECT_NEAR(next, 0.2f + 12 * 0.0225f, 1e-5f);
    ASSERT_EQ(renderer.writes.size(), 18u);
    const auto& shadow = renderer.writes[0];
    const auto& title = renderer.writes[1];
    EXPECT_EQ(shadow.text, "Renderer:");
    EXPECT_EQ(title.text, "Renderer:");
    EXPECT_FLOAT_EQ(shadow.x, 0.1f + 1.0f / 800);
    EXPECT_FLOAT_EQ(shadow.y, 0.2f + 1.0f / 600);
    EXPECT_TRUE(SameColour(shadow.colour, nVector(0, 0, 0, 1)));
    EXPECT_TRUE(SameColour(title.colour, nVector(0.75f, 0.5f, 1, 1)));
    for (const auto& w : renderer.writes) {
        EXPECT_FLOAT_EQ(w.size, 0.375f);
        EXPECT_TRUE(w.keepAspect);
        EXPECT_EQ(w.alignment, 0);
    }
}

}
