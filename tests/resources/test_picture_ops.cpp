// Picture drawing, blitting and filters against worked values; coordinates, rectangles and kernel
// sizes outside what the picture holds are cut or refused (under ASan nothing outside is touched).
#include "resources/nPicture.h"
#include "resources/nPictureOps.h"
#include "tests/support/nLogCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <utility>
#include <vector>

using Lines = std::vector<std::string>;
using Pixel = std::vector<int>;

namespace {

// A w x h RGBA8 picture whose pixels come from f(x, y) as a packed word.
template<typename F>
nPicture Make(uint32_t w, uint32_t h, F f, const nPictureFormat& format = PixelFormatRGBA8)
{
    nPicture p;
    EXPECT_TRUE(p.Allocate(w, h, format));
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) ((uint32_t*)p.GetPixels())[y * w + x] = f(x, y);
    return p;
}

Pixel At(const nPicture& p, uint32_t x, uint32_t y)
{
    const uint8_t* b = p.GetPixels() + (size_t(y) * p.GetWidth() + x) * 4;
    return {b[0], b[1], b[2], b[3]};
}

uint32_t Word(const nPicture& p, uint32_t x, uint32_t y) { return ((const uint32_t*)p.GetPixels())[y * p.GetWidth() + x]; }

// Pixels whose alpha byte is not 0.
std::set<std::pair<int, int>> Touched(const nPicture& p)
{
    std::set<std::pair<int, int>> out;
    for (uint32_t y = 0; y < p.GetHeight(); ++y)
        for (uint32_t x = 0; x < p.GetWidth(); ++x)
            if (At(p, x, y)[3]) out.insert({int(x), int(y)});
    return out;
}

const float kNaN = std::numeric_limits<float>::quiet_NaN();

}

TEST(PictureBlend, ByteOperationsGiveTheirWorkedValues)
{
    EXPECT_EQ(BlendScreen(128, 128), 192);
    EXPECT_EQ(BlendScreen(255, 255), 255);  // 256 clamped
    EXPECT_EQ(BlendScreen(0, 77), 77);
    EXPECT_EQ(BlendAlphaOver(100, 200, 255, 255, 255), 200);
    EXPECT_EQ(BlendAlphaOver(10, 200, 128, 255, 255), 200);
    EXPECT_EQ(BlendAlphaOver(10, 200, 0, 0, 0), 0);
    EXPECT_EQ(BlendAlphaOver(100, 0, 255, 128, 255), 50);  // (0 + 25500 - 12750) / 255

    uint8_t pixel[4] = {0, 0, 0, 0};
    BlendPixelOver(pixel, 255, 10, 20, 255);
    EXPECT_EQ(Pixel(pixel, pixel + 4), (Pixel{255, 10, 20, 255}));

    const nRect r = nRect::Intersect({0, 0, 10, 10}, {5, -3, 20, 4});
    EXPECT_EQ((Pixel{r.left, r.top, r.right, r.bottom}), (Pixel{5, 0, 10, 4}));
    EXPECT_TRUE(nRect::Intersect({0, 0, 2, 2}, {3, 0, 5, 2}).IsEmpty());
}

TEST(PictureDraw, FillRectCutsItsRectangleToThePicture)
{
    nPicture p = Make(4, 3, [](uint32_t, uint32_t) { return 0u; });
    const nRect inside = {1, 1, 3, 2}, overhanging = {-100, 2, 1000, 1000000}, flat = {2, 2, 2, 3};
    EXPECT_TRUE(p.FillRect(1, 0.5f, 0, 1, &inside));
    EXPECT_EQ(Word(p, 1, 1), 0xff007fffu);
    EXPECT_EQ(Word(p, 2, 1), 0xff007fffu);
    EXPECT_EQ(Word(p, 0, 1), 0u);
    EXPECT_TRUE(p.FillRect(0, 0, 1, 1, &overhanging));
    for (uint32_t x = 0; x < 4; ++x) EXPECT_EQ(Word(p, x, 2), 0xffff0000u);
    EXPECT_FALSE(p.FillRect(1, 1, 1, 1, &flat));
    EXPECT_TRUE(p.FillRect(0, 0, 0, 0));
    EXPECT_EQ(Word(p, 1, 1), 0u);

    nPicture grey;
    grey.Allocate(2, 2, PixelFormatRGB24);
    EXPECT_FALSE(grey.FillRect(1, 1, 1, 1));
    nPicture none;
    EXPECT_FALSE(none.FillRect(1, 1, 1, 1));
}

TEST(PictureDraw, PlottingFollowsTheChannelsAndStaysInsideThePicture)
{
    nPicture rgba = Make(3, 3, [](uint32_t, uint32_t) { return 0u; });
    rgba.PlotPixel(1.7f, 2.2f, 1, 0, 0, 1);
    EXPECT_EQ(At(rgba, 1, 2), (Pixel{255, 0, 0, 255}));
    nPicture bgra = Make(
        3, 3, [](uint32_t, uint32_t) { return 0u; }, PixelFormatBGRA8);
    bgra.PlotPixel(0, 0, 1, 0, 0, 1);
    EXPECT_EQ(At(bgra, 0, 0), (Pixel{0, 0, 255, 255}));  // red where the format keeps it

    const nRectF clip = {0, 0, 1, 1};
    rgba.PlotPixel(2, 0, 0, 1, 0, 1, &clip);
    EXPECT_EQ(At(rgba, 2, 0)[3], 0);
    for (float x : {-1.0f, 3.0f, 1e30f, -1e30f, kNaN})
        for (float y : {0.0f, -2.0f, 3.0f, kNaN}) {
            rgba.PlotPixel(x, y, 1, 1, 1, 1);
            rgba.PlotPixelSmooth(x, y, 1, 1, 1, 1);
        }
    EXPECT_EQ(Touched(rgba), (std::set<std::pair<int, int>>{{1, 2}}));

    nPicture smooth = Make(3, 3, [](uint32_t, uint32_t) { return 0u; });
    smooth.PlotPixelSmooth(0.5f, 0.5f, 1, 1, 1, 1);
    for (auto xy : {std::make_pair(0, 0), {1, 0}, {0, 1}, {1, 1}}) EXPECT_EQ(At(smooth, xy.first, xy.second)[3], 63);
    smooth.PlotPixelSmooth(2.5f, 2.5f, 1, 1, 1, 1);  // three of its four pixels are outside
    EXPECT_EQ(At(smooth, 2, 2)[3], 63);
}

TEST(PictureDraw, LinesPlotTheirStepsButNotTheFarEnd)
{
    using Points = std::set<std::pair<int, int>>;
    struct Case
    {
        float x0, y0, x1, y1;
        bool clipped;
        Points want;
    };
    const Case cases[] = {
        {0, 0, 3, 0, false, {{0, 0}, {1, 0}, {2, 0}}},
        {0.5f, 0, 3.5f, 0, false, {{0, 0}, {1, 0}, {2, 0}, {3, 0}}},
        {3, 0, 0, 0, false, {{0, 0}, {1, 0}, {2, 0}}},
        {1, 0, 1, 4, false, {{1, 0}, {1, 1}, {1, 2}, {1, 3}}},  // steep
        {0, 0, 4, 2, false, {{0, 0}, {1, 0}, {2, 1}, {3, 1}}},
        {0, 0, 7, 0, true, {{0, 0}, {1, 0}, {2, 0}}},   // clip right at 3
        {2, -3, 2, 9, true, {{2, 0}, {2, 1}, {2, 2}}},  // clip bottom at 3
        {-1e30f, 1, 1e30f, 1, false, {{0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}}},
        {kNaN, 0, 3, 0, false, {}},
        {2, 2, 2, 2, false, {}},
    };
    for (const Case& c : cases) {
        nPicture p = Make(6, 4, [](uint32_t, uint32_t) { return 0u; });
        const nRectF clip = {0, 0, 3, 3};
        p.DrawLine(false, c.x0, c.y0, c.x1, c.y1, 1, 1, 1, 1, c.clipped ? &clip : nullptr);
        EXPECT_EQ(Touched(p), c.want) << c.x0 << "," << c.y0 << " - " << c.x1 << "," << c.y1;
    }
    nPicture p = Make(6, 4, [](uint32_t, uint32_t) { return 0u; });
    p.DrawLineAntialiased(-50, -50, 80, 80, 1, 1, 1, 1);  // across and out of the picture
    EXPECT_GT(Touched(p).size(), 3u);
}

TEST(PictureDraw, LinesWithEndsNearTheFloatRangeEndAfterAFewSteps)
{
    // Found by fuzzing: clipping such a line overflowed to infinity and its steps to 1e30.
    const float far = 1e30f;
    const float lines[][4] = {{-far, -far, far, far}, {far, -far, -far, far}, {-far, 0.5f, far, -far}, {0, -far, 0.25f, far}};
    const nRectF clips[] = {{-far, -far, far, far}, {kNaN, kNaN, kNaN, kNaN}, {4, 3, 1, 0}};
    for (const auto& l : lines)
        for (const nRectF& clip : clips)
            for (bool smooth : {false, true}) {
                nPicture p = Make(6, 4, [](uint32_t, uint32_t) { return 0u; });
                p.DrawLine(smooth, l[0], l[1], l[2], l[3], 1, 1, 1, 1, &clip);
                EXPECT_LE(Touched(p).size(), 16u);
            }
}

TEST(PictureBlit, RectanglesAreCutToBothPictures)
{
    nPicture source = Make(12, 12, [](uint32_t x, uint32_t y) { return 0xff000000u | (y << 8) | x; });
    nPicture destination = Make(20, 20, [](uint32_t, uint32_t) { return 0u; });
    const nRect overhang = {-5, -5, 10, 10};
    const nRect at00 = {0, 0, 0, 0};
    ASSERT_TRUE(BlitPicture(source, destination, &overhang, &at00, BlendReplace));
    EXPECT_EQ(Word(destination, 5, 5), 0xff000000u);    // source (0, 0)
    EXPECT_EQ(Word(destination, 14, 14), 0xff000909u);  // source (9, 9)
    EXPECT_EQ(Word(destination, 15, 15), 0u);
    EXPECT_EQ(Word(destination, 4, 5), 0u);

    const nRect outside = {20, 0, 0, 0}, negative = {-12, -12, 0, 0}, corner = {18, 19, 0, 0};
    EXPECT_FALSE(BlitPicture(source, destination, nullptr, &outside, BlendReplace));
    EXPECT_FALSE(BlitPicture(source, destination, nullptr, &negative, BlendReplace));
    ASSERT_TRUE(BlitPicture(source, destination, nullptr, &corner, BlendReplace));
    EXPECT_EQ(Word(destination, 18, 19), 0xff000000u);
    EXPECT_EQ(Word(destination, 19, 19), 0xff000001u);
    nPicture empty;
    EXPECT_FALSE(BlitPicture(empty, destination, nullptr, nullptr, BlendReplace));
    EXPECT_FALSE(BlitPicture(source, empty, nullptr, nullptr, BlendReplace));
}

TEST(PictureBlit, ModesComposeCopyAlphaOrChangeNothing)
{
    auto one = [](uint32_t word) { return Make(1, 1, [word](uint32_t, uint32_t) { return word; }); };
    struct Case
    {
        const char* what;
        uint32_t source, destination;
        int32_t mode;
        Pixel want;
    };
    const Case cases[] = {
        {"opaque over", 0xff1e6400u, 0x800a0a0au, BlendCompose, {0, 100, 30, 255}},
        {"clear over clear", 0x00ffffffu, 0x00ffffffu, BlendCompose, {0, 0, 0, 0}},
        {"half over opaque", 0x80000000u, 0xff646464u, BlendCompose, {50, 50, 50, 255}},
        {"colour to alpha", 0x00302010u, 0xff646464u, RgbToAlpha, {100, 100, 100, 32}},
        {"add", 0xffffffffu, 0x11223344u, BlendAdd, {0x44, 0x33, 0x22, 0x11}},
        {"multiply 2x", 0xffffffffu, 0x11223344u, BlendAlphaMultiply2x, {0x44, 0x33, 0x22, 0x11}},
    };
    for (const Case& c : cases) {
        nPicture destination = one(c.destination);
        EXPECT_TRUE(BlitPicture(one(c.source), destination, nullptr, nullptr, c.mode)) << c.what;
        EXPECT_EQ(At(destination, 0, 0), c.want) << c.what;
    }
}

TEST(PictureBlit, TheSourceTakesTheDestinationsFormatAndTheRestStaysAsItWas)
{
    nPicture source;
    source.Allocate(1, 1, PixelFormatRGB24);
    source.GetPixels()[0] = 200;  // red
    nPicture destination = Make(
        2, 1, [](uint32_t, uint32_t) { return 0x80112233u; }, PixelFormatBGRA8);
    ASSERT_TRUE(BlitPicture(source, destination, nullptr, nullptr, BlendReplace));
    EXPECT_EQ(At(destination, 0, 0), (Pixel{0, 0, 200, 0}));            // blue, green, red; no alpha in the source
    EXPECT_EQ(At(destination, 1, 0), (Pixel{0x33, 0x22, 0x11, 0x80}));  // untouched, alpha kept

    nPicture rgb;
    rgb.Allocate(2, 2, PixelFormatRGB24);
    EXPECT_FALSE(BlitPicture(destination, rgb, nullptr, nullptr, BlendCompose));  // no alpha to compose into
}

TEST(PictureFilters, FlipTurnsRowsColumnsOrBoth)
{
    nPicture two = Make(2, 1, [](uint32_t x, uint32_t) { return x + 1; });
    ASSERT_TRUE(two.Flip(true, true));
    EXPECT_EQ(Word(two, 0, 0), 2u);
    EXPECT_EQ(Word(two, 1, 0), 1u);
    nPicture grid = Make(3, 2, [](uint32_t x, uint32_t y) { return y * 10 + x; });
    ASSERT_TRUE(grid.Flip(true, false));
    EXPECT_EQ(Word(grid, 0, 0), 2u);
    EXPECT_EQ(Word(grid, 2, 1), 10u);
    ASSERT_TRUE(grid.Flip(false, true));
    EXPECT_EQ(Word(grid, 0, 0), 12u);
    nPicture none;
    EXPECT_FALSE(none.Flip(true, true));
}

TEST(PictureFilters, BilinearSamplesBlendTheFourNeighbours)
{
    nPicture p = Make(2, 2, [](uint32_t x, uint32_t y) { return 0xff000000u | (x ? 0xffu : 0u) | (y ? 0xff00u : 0u); });
    const nVector corner = p.SampleBilinear(1, 1);
    EXPECT_FLOAT_EQ(corner.x, 1);
    EXPECT_FLOAT_EQ(corner.y, 1);
    const nVector middle = p.SampleBilinear(0.25f, 0.25f);  // x = y = 0.5
    EXPECT_FLOAT_EQ(middle.x, 0.5f);
    EXPECT_FLOAT_EQ(middle.y, 0.5f);
    EXPECT_FLOAT_EQ(middle.w, 1);
    EXPECT_EQ(p.SamplePacked(-3, kNaN), 0xff000000u);
    EXPECT_EQ(p.SamplePacked(0.25f, 0), 0xff00007fu);

    nPicture floats;
    floats.Allocate(1, 1, PixelFormatRGBFloat);
    ((float*)floats.GetPixels())[1] = 0.25f;
    EXPECT_FLOAT_EQ(floats.SampleBilinear(0.5f, 0.5f).y, 0.25f);
    nPicture empty;
    EXPECT_EQ(empty.SamplePacked(0.5f, 0.5f), 0xffff00ffu);  // magenta
}

TEST(PictureFilters, ConvolutionWeighsNeighboursWithEdgesReplacedByThePixelsOwn)
{
    auto grid = [] { return Make(3, 3, [](uint32_t x, uint32_t y) { return 0xff000000u | (30 * x + 90 * y); }); };
    const int32_t box[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    nPicture p = grid();
    ASSERT_TRUE(p.ApplyConvolution(3, 3, box, nullptr));
    EXPECT_EQ(At(p, 0, 0)[0], 40);  // (4 x 0 + 2 x 30 + 2 x 90 + 120) / 9
    EXPECT_EQ(At(p, 1, 1)[0], 120);
    EXPECT_EQ(At(p, 1, 1)[3], 255);

    nPicture part = grid();
    const nRect corner = {-4, -4, 1, 1};
    ASSERT_TRUE(part.ApplyConvolution(3, 3, box, &corner));
    EXPECT_EQ(At(part, 0, 0)[0], 40);
    EXPECT_EQ(At(part, 1, 1)[0], 120);
    EXPECT_EQ(At(part, 1, 0)[0], 30);  // outside the rectangle

    // Edge detection adds up to 0: the plain weighted sum, clamped.
    nPicture row = Make(3, 1, [](uint32_t x, uint32_t) { return uint32_t(x == 0 ? 10 : (x == 1 ? 50 : 20)); });
    const int32_t edge[3] = {-1, 2, -1};
    ASSERT_TRUE(row.ApplyConvolution(3, 1, edge, nullptr));
    EXPECT_EQ((Pixel{At(row, 0, 0)[0], At(row, 1, 0)[0], At(row, 2, 0)[0]}), (Pixel{0, 70, 0}));
}

TEST(PictureFilters, ConvolutionRefusesBadKernelsAndPicturesWithOneLine)
{
    nPicture p = Make(2, 2, [](uint32_t, uint32_t) { return 0u; });
    const std::vector<int32_t> values(65 * 65, 1);
    struct Case
    {
        int32_t w, h;
        const char* line;
    };
    const Case cases[] = {
        {0, 3, "[!] Invalid kernel size (0x3).\n"},
        {3, -1, "[!] Invalid kernel size (3x-1).\n"},
        {65, 1, "[!] Invalid kernel size (65x1).\n"},
        {-2147483647 - 1, -2147483647 - 1, "[!] Invalid kernel size (-2147483648x-2147483648).\n"},
    };
    for (const Case& c : cases) {
        nLogCapture log;
        EXPECT_FALSE(p.ApplyConvolution(c.w, c.h, values.data(), nullptr));
        EXPECT_EQ(log.Lines(), Lines{c.line});
    }
    nLogCapture log;
    nPicture rgb;
    rgb.Allocate(2, 2, PixelFormatRGB24);
    EXPECT_FALSE(rgb.ApplyConvolution(1, 1, values.data(), nullptr));
    nPicture empty;
    EXPECT_FALSE(empty.ApplyConvolution(1, 1, values.data(), nullptr));
    EXPECT_EQ(log.Lines(), (Lines{"[!] Cannot apply convolution filter to a non RGB32 picture.\n",
                                  "[!] Cannot apply convolution filter to a non RGB32 picture.\n"}));
    EXPECT_TRUE(p.ApplyConvolution(64, 64, values.data(), nullptr));
}

TEST(PictureFilters, ResizeSamplesAndKeepsTheAspectForANegativeSide)
{
    nPicture p = Make(200, 100, [](uint32_t, uint32_t) { return 0u; });
    ASSERT_TRUE(p.Resize(-1, 50));
    EXPECT_EQ(p.GetWidth(), 100u);
    EXPECT_EQ(p.GetHeight(), 50u);
    ASSERT_TRUE(p.Resize(20, -1));
    EXPECT_EQ(p.GetHeight(), 10u);

    nPicture ramp = Make(
        2, 1, [](uint32_t x, uint32_t) { return x ? 0xff0000ffu : 0x000000ffu; }, PixelFormatBGRA8);
    ASSERT_TRUE(ramp.Resize(4, 1));
    EXPECT_EQ(ramp.GetFormat(), PixelFormatRGBA8);
    EXPECT_EQ((Pixel{At(ramp, 0, 0)[3], At(ramp, 1, 0)[3], At(ramp, 2, 0)[3], At(ramp, 3, 0)[3]}),
              (Pixel{0, 127, 255, 255}));
    EXPECT_EQ(At(ramp, 3, 0)[2], 255);  // blue of BGRA8 now in byte 2

    nPicture tall = Make(1, 100, [](uint32_t, uint32_t) { return 0u; });
    for (auto size : {std::make_pair(0, 5), {5, 0}, {-1, -1}, {-1, 0}, {-1, 50}, {100000, 100000}, {-1, 2147483647}}) {
        EXPECT_FALSE(tall.Resize(size.first, size.second)) << size.first << "x" << size.second;
        EXPECT_EQ(tall.GetHeight(), 100u);
    }
    nPicture empty;
    EXPECT_FALSE(empty.Resize(-1, 5));
    EXPECT_FALSE(empty.Resize(4, 4));
}
