// The pictures the core programs sample, as installed beside the program and read by the
// engine's picture reader: the dither thresholds make an ordered dither (each opacity keeps its
// share of pixels, spread evenly), and the noise holds unit directions spread over the sphere
// and an even grain.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "resources/nPicture.h"
#include "resources/nPictureFormat.h"

namespace {

// A square picture of the given edge installed beside this test program, as RGBA bytes, first
// row at the top.
::testing::AssertionResult LoadBesideProgram(const char* name, uint32_t edge, nPicture& picture)
{
    char program[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", program, sizeof(program) - 1);
    if (length <= 0) return ::testing::AssertionFailure() << "no program path";
    std::string path(program, (size_t)length);
    path = path.substr(0, path.rfind('/') + 1) + name;
    if (!nPicture::LoadContent(&picture, path.c_str()) || !picture.Convert(PixelFormatRGBA8))
        return ::testing::AssertionFailure() << "cannot read " << path;
    if (picture.GetWidth() != edge || picture.GetHeight() != edge)
        return ::testing::AssertionFailure() << path << " is " << picture.GetWidth() << " x " << picture.GetHeight();
    return ::testing::AssertionSuccess();
}

TEST(CorePictures, TheDitherThresholdsAreAnOrderedDitherOfEvenSteps)
{
    nPicture dither;
    ASSERT_TRUE(LoadBesideProgram("dither.tga", 8, dither));
    const uint8_t* p = dither.GetPixels();
    std::vector<int> thresholds;
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(p[i * 4], p[i * 4 + 1]) << "grey";
        EXPECT_EQ(p[i * 4], p[i * 4 + 2]) << "grey";
        thresholds.push_back(p[i * 4]);
    }
    // Sorted, the thresholds climb in even steps of 1/65 from 1/65 to 64/65: a surface of
    // opacity a (discarded where a + 0.01 is below the threshold) keeps about a of its pixels,
    // none at 0 and all at 1.
    std::vector<int> sorted = thresholds;
    std::sort(sorted.begin(), sorted.end());
    for (int rank = 0; rank < 64; ++rank)
        EXPECT_EQ(sorted[rank], (int)std::floor((rank + 1) * 255.0 / 65.0 + 0.5)) << "rank " << rank;
    // The k lowest thresholds lie evenly over the four 4 x 4 quarters and over the sixteen 2 x 2
    // blocks: a partly transparent surface keeps a fine, even pattern.
    for (int k : {4, 16, 32, 48}) {
        int quarters[4] = {0, 0, 0, 0};
        std::vector<int> blocks(16, 0);
        for (int i = 0; i < 64; ++i) {
            if (thresholds[i] > sorted[k - 1]) continue;
            const int x = i % 8, y = i / 8;
            ++quarters[(y / 4) * 2 + x / 4];
            ++blocks[(y / 2) * 4 + x / 2];
        }
        for (int q : quarters) EXPECT_EQ(q, k / 4) << k << " lowest";
        if (k % 16 != 0) continue;
        for (int b : blocks) EXPECT_EQ(b, k / 16) << k << " lowest";
    }
}

TEST(CorePictures, TheNoiseHoldsUnitDirectionsOverTheWholeSphereAndAnEvenGrain)
{
    nPicture noise;
    ASSERT_TRUE(LoadBesideProgram("noise.tga", 64, noise));
    const uint8_t* p = noise.GetPixels();
    const int count = 64 * 64;
    double mean[3] = {0, 0, 0};
    int octants[8] = {0};
    int grain[4] = {0};
    for (int i = 0; i < count; ++i) {
        double v[3];
        for (int c = 0; c < 3; ++c) v[c] = p[i * 4 + c] / 255.0 * 2.0 - 1.0;
        const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        EXPECT_NEAR(length, 1.0, 0.015) << "pixel " << i;
        for (int c = 0; c < 3; ++c) mean[c] += v[c] / count;
        ++octants[(v[0] > 0) + 2 * (v[1] > 0) + 4 * (v[2] > 0)];
        ++grain[p[i * 4 + 3] / 64];
    }
    for (double m : mean) EXPECT_NEAR(m, 0.0, 0.05);
    for (int o : octants) EXPECT_NEAR(o, count / 8, count / 8 * 0.2) << "directions per octant";
    for (int g : grain) EXPECT_NEAR(g, count / 4, count / 4 * 0.1) << "grain per quarter of its range";
    // Neighbours are unrelated: no smooth gradient a blur would leave.
    int close = 0;
    for (int i = 0; i + 1 < count; ++i)
        if (std::abs(p[i * 4] - p[(i + 1) * 4]) < 8 && std::abs(p[i * 4 + 1] - p[(i + 1) * 4 + 1]) < 8) ++close;
    EXPECT_LT(close, count / 20);
}

}
