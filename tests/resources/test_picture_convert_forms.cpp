// The vector forms of pixel-format conversion against the plain one: every pair of formats on odd
// widths (so that each step's last few pixels take the plain tail), random pixels, floats out of
// range and not numbers, unaligned blocks, and the picture's own block reused for narrower targets.
#include "resources/nPicture.h"
#include "resources/nPictureConvertKernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

namespace {

struct NamedFormat
{
    const char* name;
    const nPictureFormat* format;
};

const NamedFormat kFormats[] = {
    {"BGRA8", &PixelFormatBGRA8},
    {"RGBA8", &PixelFormatRGBA8},
    {"ARGB8", &PixelFormatARGB8},
    {"BGR8", &PixelFormatBGR8},
    {"RGB24", &PixelFormatRGB24},
    {"RGB555", &PixelFormatRGB555},
    {"RGB565", &PixelFormatRGB565},
    {"ARGB4444", &PixelFormatARGB4444},
    {"RGBFloat", &PixelFormatRGBFloat},
};

// Random bytes, or for a float format values across and beyond 0..1 with infinities and NaN.
Bytes RandomPixels(const nPictureFormat& format, size_t count, std::mt19937& rng)
{
    Bytes b(count * format.BytesPerPixel());
    if (!format.isFloat) {
        for (uint8_t& v : b) v = uint8_t(rng());
        return b;
    }
    const float special[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity(), -0.0f, 1.0f, 254.5f / 255.0f, 1.0f / 255.0f};
    std::uniform_real_distribution<float> spread(-0.5f, 1.5f);
    for (size_t i = 0; i < b.size() / 4; ++i) {
        float f = rng() % 8 == 0 ? special[rng() % 7] : spread(rng);
        std::memcpy(&b[4 * i], &f, 4);
    }
    return b;
}

Bytes Plain(const Bytes& in, const nPictureFormat& from, const nPictureFormat& to, size_t count)
{
    Bytes out(count * to.BytesPerPixel());
    ConvertPixelsPlain(in.data(), from, out.data(), to, count);
    return out;
}

}

TEST(PictureConversionForms, EveryPairOnOddWidthsMatchesThePlainForm)
{
    // 257 x 257 passes the size above which 16-bit sources take a table of every word.
    const uint32_t sizes[][2] = {{1, 1}, {3, 1}, {5, 3}, {7, 1}, {9, 5}, {15, 3}, {17, 7}, {33, 1}, {67, 3}, {257, 257}};
    std::mt19937 rng(7);
    for (const NamedFormat& from : kFormats)
        for (const NamedFormat& to : kFormats) {
            if (to.format->isFloat || *to.format == *from.format) continue;
            for (const auto& size : sizes) {
                const size_t count = size_t(size[0]) * size[1];
                const Bytes in = RandomPixels(*from.format, count, rng);
                nPicture picture;
                ASSERT_TRUE(picture.Allocate(size[0], size[1], *from.format));
                std::memcpy(picture.GetPixels(), in.data(), in.size());
                ASSERT_TRUE(picture.Convert(*to.format));
                ASSERT_EQ(picture.GetByteSize(), count * to.format->BytesPerPixel());
                const Bytes got(picture.GetPixels(), picture.GetPixels() + picture.GetByteSize());
                ASSERT_EQ(got, Plain(in, *from.format, *to.format, count))
                    << from.name << " to " << to.name << ", " << size[0] << " x " << size[1];
            }
        }
}

// The pairs textures take have a vector form, which also reads and writes blocks at any address.
TEST(PictureConversionForms, TexturePairsTakeTheVectorFormAtAnyAlignment)
{
    struct Pair
    {
        const nPictureFormat* from;
        const nPictureFormat* to;
    };
    const Pair pairs[] = {
        {&PixelFormatBGRA8, &PixelFormatRGBA8},
        {&PixelFormatARGB8, &PixelFormatBGRA8},
        {&PixelFormatBGR8, &PixelFormatRGBA8},
        {&PixelFormatRGB24, &PixelFormatBGR8},
        {&PixelFormatRGBA8, &PixelFormatBGR8},
        {&PixelFormatRGBA8, &PixelFormatRGB565},
        {&PixelFormatBGRA8, &PixelFormatARGB4444},
        {&PixelFormatARGB8, &PixelFormatRGB555},
        {&PixelFormatRGBFloat, &PixelFormatRGBA8},
        {&PixelFormatRGBFloat, &PixelFormatBGR8},
    };
    if (!__builtin_cpu_supports("ssse3")) GTEST_SKIP() << "no byte shuffle on this processor";
    std::mt19937 rng(11);
    const size_t count = 45;
    for (const Pair& p : pairs)
        for (size_t offset : {0, 1, 3}) {
            const Bytes in = RandomPixels(*p.from, count, rng);
            Bytes src(offset + in.size()), dst(offset + count * p.to->BytesPerPixel(), 0xaa);
            std::memcpy(src.data() + offset, in.data(), in.size());
            ASSERT_TRUE(ConvertPixelsFast(src.data() + offset, *p.from, dst.data() + offset, *p.to, count));
            EXPECT_EQ(Bytes(dst.begin() + offset, dst.end()), Plain(in, *p.from, *p.to, count))
                << "offset " << offset;
            EXPECT_TRUE(std::all_of(dst.begin(), dst.begin() + offset, [](uint8_t v) { return v == 0xaa; }));
        }
}

TEST(PictureConversionForms, PairsWithoutAVectorFormAreLeftToThePlainOne)
{
    uint8_t src[64] = {0}, dst[64] = {0};
    EXPECT_FALSE(ConvertPixelsFast(src, PixelFormatRGB565, dst, PixelFormatRGBA8, 8));
    EXPECT_FALSE(ConvertPixelsFast(src, PixelFormatBGR8, dst, PixelFormatRGB565, 8));
    EXPECT_FALSE(ConvertPixelsFast(src, PixelFormatRGBA8, dst, PixelFormatRGBFloat, 4));
}

// 16-bit targets of other layouts: an 8-bit channel, or channels whose bits must move further than
// the vector form's multiply-adds reach, are left to the plain form; the rest take the vector form.
// Either way every pixel is the plain form's.
TEST(PictureConversionForms, SixteenBitTargetsOfOtherLayoutsMatchThePlainForm)
{
    struct Case
    {
        const char* name;
        nPictureFormat to;
    };
    const Case cases[] = {
        {"grey and alpha of 8 bits", nPictureFormat(1, 0xff00u, 0xffu, 0, 0, 16, 0)},
        {"blue 4 bits at the top, alpha 4 at the bottom", nPictureFormat(1, 0xfu, 0x0f0u, 0x0f00u, 0xf000u, 16, 0)},
        {"red 1 bit at the top, blue 7 at the bottom", nPictureFormat(1, 0, 0x8000u, 0x7f00u, 0x7fu, 16, 0)},
        {"alpha 2 bits at the bottom, red 2 at the top", nPictureFormat(1, 0x3u, 0xc000u, 0x0u, 0x0u, 16, 0)},
    };
    std::mt19937 rng(23);
    const size_t count = 61;
    int vectors = 0;
    for (const NamedFormat& from : {kFormats[0], kFormats[1], kFormats[2]})
        for (const Case& c : cases) {
            const Bytes in = RandomPixels(*from.format, count, rng);
            Bytes out(count * 2, 0xaa);
            if (ConvertPixelsFast(in.data(), *from.format, out.data(), c.to, count)) {
                ++vectors;
                EXPECT_EQ(out, Plain(in, *from.format, c.to, count)) << from.name << " to " << c.name;
            }
            nPicture picture;
            ASSERT_TRUE(picture.Allocate(uint32_t(count), 1, *from.format));
            std::memcpy(picture.GetPixels(), in.data(), in.size());
            ASSERT_TRUE(picture.Convert(c.to));
            EXPECT_EQ(Bytes(picture.GetPixels(), picture.GetPixels() + picture.GetByteSize()),
                      Plain(in, *from.format, c.to, count))
                << from.name << " to " << c.name;
        }
    EXPECT_GT(vectors, 0);
    uint8_t src[64] = {0}, dst[64] = {0};
    EXPECT_FALSE(ConvertPixelsFast(src, PixelFormatRGBA8, dst, cases[0].to, 8));
}

// A narrower target is written over the picture's own block, which keeps its size; a wider
// one takes a new block. A chain through both keeps every pixel as the plain form gives it.
TEST(PictureConversionForms, ChainsThroughNarrowerAndWiderTargetsMatchThePlainForm)
{
    std::mt19937 rng(3);
    const size_t count = 7 * 3;
    const Bytes in = RandomPixels(PixelFormatRGBFloat, count, rng);
    nPicture picture;
    ASSERT_TRUE(picture.Allocate(7, 3, PixelFormatRGBFloat));
    std::memcpy(picture.GetPixels(), in.data(), in.size());
    const nPictureFormat* chain[] = {&PixelFormatBGRA8, &PixelFormatRGB24, &PixelFormatRGB565, &PixelFormatRGBA8, &PixelFormatARGB4444};
    Bytes want = in;
    const nPictureFormat* at = &PixelFormatRGBFloat;
    for (const nPictureFormat* to : chain) {
        ASSERT_TRUE(picture.Convert(*to));
        want = Plain(want, *at, *to, count);
        at = to;
        ASSERT_EQ(picture.GetByteSize(), want.size());
        EXPECT_EQ(Bytes(picture.GetPixels(), picture.GetPixels() + picture.GetByteSize()), want);
    }
    EXPECT_EQ(picture.GetOwnershipFlags(), 0u);
}
