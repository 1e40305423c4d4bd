// Pixel formats and pictures: derived channel fields, the conversion table between the nine
// formats, round trips, allocation and copying, packing and translucency.
#include "resources/nPicture.h"
#include "tests/support/nLogCapture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

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

const char* NameOf(const nPictureFormat& f)
{
    for (const NamedFormat& n : kFormats)
        if (*n.format == f) return n.name;
    return "?";
}

// A width x 1 picture holding the given bytes in the given format.
void Fill(nPicture& picture, const nPictureFormat& format, const Bytes& bytes, uint32_t height = 1)
{
    uint32_t width = uint32_t(bytes.size() / format.BytesPerPixel() / height);
    ASSERT_TRUE(picture.Allocate(width, height, format));
    ASSERT_EQ(picture.GetByteSize(), bytes.size());
    std::memcpy(picture.GetPixels(), bytes.data(), bytes.size());
}

Bytes PixelsOf(const nPicture& picture)
{
    return Bytes(picture.GetPixels(), picture.GetPixels() + picture.GetByteSize());
}

Bytes Floats(std::initializer_list<float> values)
{
    Bytes b(values.size() * 4);
    std::memcpy(b.data(), values.begin(), b.size());
    return b;
}

}

// ---------------------------------------------------------------------------------------------
// Formats

TEST(PictureFormat, StaticFormatsDeriveShiftsAndBitCounts)
{
    struct Case
    {
        const nPictureFormat* f;
        uint8_t shifts[4];
        uint8_t bits[4];
    };  // a, r, g, b
    const Case cases[] = {
        {&PixelFormatBGRA8, {24, 16, 8, 0}, {8, 8, 8, 8}},
        {&PixelFormatRGBA8, {24, 0, 8, 16}, {8, 8, 8, 8}},
        {&PixelFormatARGB8, {0, 8, 16, 24}, {8, 8, 8, 8}},
        {&PixelFormatBGR8, {32, 16, 8, 0}, {0, 8, 8, 8}},
        {&PixelFormatRGB24, {32, 0, 8, 16}, {0, 8, 8, 8}},
        {&PixelFormatRGB555, {32, 0, 5, 10}, {0, 5, 5, 5}},
        {&PixelFormatRGB565, {32, 0, 5, 11}, {0, 5, 6, 5}},
        {&PixelFormatARGB4444, {12, 0, 4, 8}, {4, 4, 4, 4}},
        {&PixelFormatRGBFloat, {32, 32, 0, 1}, {0, 0, 1, 1}},
    };
    for (const Case& c : cases) {
        const nPictureFormat& f = *c.f;
        SCOPED_TRACE(NameOf(f));
        EXPECT_EQ(f.kind, 1);
        EXPECT_EQ(f.alphaShift, c.shifts[0]);
        EXPECT_EQ(f.redShift, c.shifts[1]);
        EXPECT_EQ(f.greenShift, c.shifts[2]);
        EXPECT_EQ(f.blueShift, c.shifts[3]);
        EXPECT_EQ(f.alphaBits, c.bits[0]);
        EXPECT_EQ(f.redBits, c.bits[1]);
        EXPECT_EQ(f.greenBits, c.bits[2]);
        EXPECT_EQ(f.blueBits, c.bits[3]);
    }
}

TEST(PictureFormat, EqualityComparesKindDepthMasksAndFloatFlagOnly)
{
    nPictureFormat f;
    EXPECT_EQ(f, PixelFormatEmpty);
    EXPECT_EQ(f.bitsPerPixel, 0);
    f.Set(1, 0xff000000u, 0xff0000u, 0xff00u, 0xffu, 32, 0);
    EXPECT_EQ(f, PixelFormatBGRA8);
    EXPECT_EQ(f.redShift, 16);

    nPictureFormat other = f;
    other.redShift = 3;  // derived bytes do not count
    EXPECT_EQ(other, f);

    nPictureFormat kind0(0, 0xff000000u, 0xff0000u, 0xff00u, 0xffu, 32, 0);
    nPictureFormat depth(1, 0xff000000u, 0xff0000u, 0xff00u, 0xffu, 24, 0);
    nPictureFormat flt(1, 0xff000000u, 0xff0000u, 0xff00u, 0xffu, 32, 1);
    EXPECT_NE(kind0, f);
    EXPECT_NE(depth, f);
    EXPECT_NE(flt, f);
    for (size_t i = 0; i < 9; ++i)
        for (size_t j = 0; j < 9; ++j)
            EXPECT_EQ(*kFormats[i].format == *kFormats[j].format, i == j) << kFormats[i].name << " " << kFormats[j].name;
}

TEST(PictureFormat, PackColorClampsEachChannelInThirtyTwoBitFormats)
{
    struct Case
    {
        const nPictureFormat* f;
        float r, g, b, a;
        uint32_t word;
    };
    const Case cases[] = {
        {&PixelFormatRGBA8, 1.0f, 0.5f, 0.0f, 1.0f, 0xff007fffu},
        {&PixelFormatBGRA8, 1.0f, 0.5f, 0.0f, 1.0f, 0xffff7f00u},
        {&PixelFormatARGB8, 1.0f, 0.5f, 0.0f, 1.0f, 0x007fffffu},
        // Out of range values stay inside their own channel.
        {&PixelFormatRGBA8, 1.5f, -1.0f, 0.0f, 1.0f, 0xff0000ffu},
        {&PixelFormatRGBA8, 0.0f, 2.0f, -0.5f, 0.0f, 0x0000ff00u},
    };
    nLogCapture log;
    for (const Case& c : cases)
        EXPECT_EQ(c.f->PackColor(c.r, c.g, c.b, c.a), c.word) << NameOf(*c.f);
    EXPECT_TRUE(log.Lines().empty());
}

TEST(PictureFormat, PackColorWarnsOutsideThirtyTwoBitFormats)
{
    for (const nPictureFormat* f : {&PixelFormatBGR8, &PixelFormatRGB565, &PixelFormatRGBFloat, &PixelFormatEmpty}) {
        nLogCapture log;
        EXPECT_EQ(f->PackColor(1, 1, 1, 1), 0u);
        EXPECT_EQ(log.Lines(), Lines{"[*] Unimplemented formatting.\n"});
    }
}

// ---------------------------------------------------------------------------------------------
// Conversion

struct ConversionCase
{
    const nPictureFormat* from;
    Bytes in;
    const nPictureFormat* to;
    Bytes out;
};

// Keeps the pointer bytes out of the discovered test names (the case name says it all).
void PrintTo(const ConversionCase&, std::ostream* os) { *os << "case"; }

// Colour used below: red 0xc8, green 0x64, blue 0x32, alpha 0x96. In 5 bits red 25, green 12,
// blue 6; green in 6 bits 25; in 4 bits 12, 6, 3, alpha 9.
const ConversionCase kConversions[] = {
    // Among the 8-bit four-channel formats (in place).
    {&PixelFormatBGRA8, {0x32, 0x64, 0xc8, 0x96}, &PixelFormatRGBA8, {0xc8, 0x64, 0x32, 0x96}},
    {&PixelFormatBGRA8, {0x32, 0x64, 0xc8, 0x96}, &PixelFormatARGB8, {0x96, 0xc8, 0x64, 0x32}},
    {&PixelFormatRGBA8, {0xc8, 0x64, 0x32, 0x96}, &PixelFormatARGB8, {0x96, 0xc8, 0x64, 0x32}},
    {&PixelFormatARGB8, {0x96, 0xc8, 0x64, 0x32}, &PixelFormatBGRA8, {0x32, 0x64, 0xc8, 0x96}},
    {&PixelFormatARGB8, {0x96, 0xc8, 0x64, 0x32}, &PixelFormatRGBA8, {0xc8, 0x64, 0x32, 0x96}},
    {&PixelFormatRGBA8, {0xc8, 0x64, 0x32, 0x96}, &PixelFormatBGRA8, {0x32, 0x64, 0xc8, 0x96}},
    // Dropping and gaining alpha: a format without alpha gives alpha 0.
    {&PixelFormatBGRA8, {0x32, 0x64, 0xc8, 0x96}, &PixelFormatBGR8, {0x32, 0x64, 0xc8}},
    {&PixelFormatBGRA8, {0x32, 0x64, 0xc8, 0x96}, &PixelFormatRGB24, {0xc8, 0x64, 0x32}},
    {&PixelFormatBGR8, {0x32, 0x64, 0xc8}, &PixelFormatRGBA8, {0xc8, 0x64, 0x32, 0x00}},
    {&PixelFormatRGB24, {0xc8, 0x64, 0x32}, &PixelFormatARGB8, {0x00, 0xc8, 0x64, 0x32}},
    {&PixelFormatRGB24, {0xc8, 0x64, 0x32}, &PixelFormatBGR8, {0x32, 0x64, 0xc8}},
    // Down to 16 bits: the top bits of each channel.
    {&PixelFormatBGRA8, {0x32, 0x64, 0xc8, 0x96}, &PixelFormatRGB555, {0x99, 0x19}},
    {&PixelFormatBGRA8, {0x32, 0x64, 0xc8, 0x96}, &PixelFormatRGB565, {0x39, 0x33}},
    {&PixelFormatBGRA8, {0x32, 0x64, 0xc8, 0x96}, &PixelFormatARGB4444, {0x6c, 0x93}},
    {&PixelFormatBGR8, {0x32, 0x64, 0xc8}, &PixelFormatARGB4444, {0x6c, 0x03}},
    // Up from 16 bits: shifted into the top bits, low bits left 0.
    {&PixelFormatRGB565, {0xff, 0x07}, &PixelFormatRGBA8, {0xf8, 0xfc, 0x00, 0x00}},
    {&PixelFormatRGB555, {0x99, 0x19}, &PixelFormatBGRA8, {0x30, 0x60, 0xc8, 0x00}},
    {&PixelFormatARGB4444, {0x6c, 0x93}, &PixelFormatBGRA8, {0x30, 0x60, 0xc0, 0x90}},
    // Between 16-bit formats through 8 bits.
    {&PixelFormatRGB555, {0x99, 0x19}, &PixelFormatRGB565, {0x19, 0x33}},
    {&PixelFormatARGB4444, {0x6c, 0x93}, &PixelFormatRGB555, {0x98, 0x19}},
    // From floats: clamped to 0..255, truncated; full alpha where the target has alpha.
    {&PixelFormatRGBFloat, Floats({1.0f, 0.5f, -0.25f}), &PixelFormatRGBA8, {0xff, 0x7f, 0x00, 0xff}},
    {&PixelFormatRGBFloat, Floats({2.0f, 0.0f, 1.0f}), &PixelFormatBGRA8, {0xff, 0x00, 0xff, 0xff}},
    {&PixelFormatRGBFloat, Floats({0.25f, 0.75f, 0.125f}), &PixelFormatBGR8, {0x1f, 0xbf, 0x3f}},
    {&PixelFormatRGBFloat, Floats({1.0f, 0.5f, 0.25f}), &PixelFormatRGB565, {0xff, 0x3b}},
    {&PixelFormatRGBFloat, Floats({1.0f, 0.5f, 0.25f}), &PixelFormatARGB4444, {0x7f, 0xf3}},
};

class PictureConversion : public ::testing::TestWithParam<ConversionCase>
{};

TEST_P(PictureConversion, BytesInBytesOut)
{
    const ConversionCase& c = GetParam();
    // Three copies of the pixel in a 3 x 1 picture, so that every pixel is seen to be converted.
    Bytes in, out;
    for (int i = 0; i < 3; ++i) {
        in.insert(in.end(), c.in.begin(), c.in.end());
        out.insert(out.end(), c.out.begin(), c.out.end());
    }
    nPicture picture;
    Fill(picture, *c.from, in);
    nLogCapture log;
    ASSERT_TRUE(picture.Convert(*c.to));
    EXPECT_EQ(picture.GetFormat(), *c.to);
    EXPECT_EQ(picture.GetWidth(), 3u);
    EXPECT_EQ(PixelsOf(picture), out);
    EXPECT_TRUE(log.Lines().empty());
}

std::string ConversionName(const ::testing::TestParamInfo<ConversionCase>& info)
{
    return std::string(NameOf(*info.param.from)) + "_to_" + NameOf(*info.param.to) + "_" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Table, PictureConversion, ::testing::ValuesIn(kConversions), ConversionName);

// Random pictures converted to another format and back come out byte for byte, wherever the
// second format holds every bit of the first.
TEST(PictureConversion, RoundTripsKeepEveryBit)
{
    struct Trip
    {
        const nPictureFormat* from;
        const nPictureFormat* via;
        uint32_t wordMask;
    };
    const Trip trips[] = {
        {&PixelFormatBGRA8, &PixelFormatRGBA8, 0xffffffffu},
        {&PixelFormatBGRA8, &PixelFormatARGB8, 0xffffffffu},
        {&PixelFormatRGBA8, &PixelFormatARGB8, 0xffffffffu},
        {&PixelFormatARGB8, &PixelFormatBGRA8, 0xffffffffu},
        {&PixelFormatBGR8, &PixelFormatRGB24, 0xffffffu},
        {&PixelFormatBGR8, &PixelFormatBGRA8, 0xffffffu},
        {&PixelFormatRGB24, &PixelFormatARGB8, 0xffffffu},
        {&PixelFormatRGB555, &PixelFormatBGRA8, 0x7fffu},
        {&PixelFormatRGB555, &PixelFormatRGB565, 0x7fffu},
        {&PixelFormatRGB565, &PixelFormatRGBA8, 0xffffu},
        {&PixelFormatRGB565, &PixelFormatBGR8, 0xffffu},
        {&PixelFormatARGB4444, &PixelFormatARGB8, 0xffffu},
    };
    std::mt19937 random(7);
    for (const Trip& t : trips) {
        SCOPED_TRACE(std::string(NameOf(*t.from)) + " via " + NameOf(*t.via));
        const uint32_t bytes = t.from->BytesPerPixel();
        Bytes in;
        for (int i = 0; i < 7 * 5; ++i) {
            uint32_t w = random() & t.wordMask;
            for (uint32_t b = 0; b < bytes; ++b) in.push_back(uint8_t(w >> (8 * b)));
        }
        nPicture picture;
        Fill(picture, *t.from, in, 5);
        ASSERT_TRUE(picture.Convert(*t.via));
        EXPECT_EQ(picture.GetByteSize(), size_t(7 * 5 * t.via->BytesPerPixel()));
        ASSERT_TRUE(picture.Convert(*t.from));
        EXPECT_EQ(PixelsOf(picture), in);
    }
}

TEST(PictureConversion, SameFormatEmptyTargetAndRefusals)
{
    nPicture picture;
    Fill(picture, PixelFormatBGRA8, {1, 2, 3, 4});
    uint8_t* block = picture.GetPixels();
    EXPECT_TRUE(picture.Convert(PixelFormatBGRA8));
    EXPECT_EQ(picture.GetPixels(), block);
    EXPECT_EQ(PixelsOf(picture), (Bytes{1, 2, 3, 4}));

    // Nothing converts to floats; the picture stays as it was.
    EXPECT_FALSE(picture.Convert(PixelFormatRGBFloat));
    EXPECT_EQ(picture.GetFormat(), PixelFormatBGRA8);
    EXPECT_EQ(PixelsOf(picture), (Bytes{1, 2, 3, 4}));

    // A depth that is not a whole packed word is refused in either direction.
    nPictureFormat odd(1, 0, 0xfu, 0xf0u, 0xf00u, 12, 0);
    EXPECT_FALSE(picture.Convert(odd));
    EXPECT_EQ(picture.GetFormat(), PixelFormatBGRA8);

    EXPECT_TRUE(picture.Convert(PixelFormatEmpty));
    EXPECT_EQ(picture.GetPixels(), nullptr);
    EXPECT_EQ(picture.GetFormat(), PixelFormatEmpty);
    EXPECT_EQ(picture.GetWidth(), 0u);

    nPicture none;
    EXPECT_FALSE(none.Convert(PixelFormatRGBA8));
    EXPECT_TRUE(none.Convert(PixelFormatEmpty));  // already the empty format
}

TEST(PictureConversion, WideChannelsScaleWithoutOverflow)
{
    // A custom format with 10-bit channels: values keep their top 8 bits when narrowed.
    nPictureFormat wide(1, 0x3u << 30, 0x3ffu, 0x3ffu << 10, 0x3ffu << 20, 32, 0);
    nPicture picture;
    uint32_t word = 0x3ffu | (0x200u << 10) | (0x0ffu << 20) | (0x2u << 30);
    Bytes in(4);
    std::memcpy(in.data(), &word, 4);
    Fill(picture, wide, in);
    ASSERT_TRUE(picture.Convert(PixelFormatRGBA8));
    EXPECT_EQ(PixelsOf(picture), (Bytes{0xff, 0x80, 0x3f, 0x80}));
}

// ---------------------------------------------------------------------------------------------
// Pictures

TEST(Picture, NewPictureIsEmpty)
{
    nPicture picture;
    EXPECT_EQ(picture.GetPixels(), nullptr);
    EXPECT_EQ(picture.GetWidth(), 0u);
    EXPECT_EQ(picture.GetHeight(), 0u);
    EXPECT_EQ(picture.GetFormat(), PixelFormatEmpty);
    EXPECT_EQ(picture.GetFormat().bitsPerPixel, 0);
    EXPECT_EQ(picture.GetStateFlags(), 0u);
    EXPECT_EQ(picture.GetOwnershipFlags(), 0u);
    EXPECT_TRUE(picture.GetName().IsEmpty());
    EXPECT_EQ(picture.GetByteSize(), 0u);
}

TEST(Picture, AllocateSameSizeAndDepthOnlySwapsTheFormat)
{
    nPicture picture;
    Fill(picture, PixelFormatBGRA8, {1, 2, 3, 4, 5, 6, 7, 8});
    uint8_t* block = picture.GetPixels();
    ASSERT_TRUE(picture.Allocate(2, 1, PixelFormatRGBA8));
    EXPECT_EQ(picture.GetPixels(), block);
    EXPECT_EQ(picture.GetFormat(), PixelFormatRGBA8);
    EXPECT_EQ(PixelsOf(picture), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));

    // Another depth or size gives a new zero-filled block.
    ASSERT_TRUE(picture.Allocate(2, 1, PixelFormatBGR8));
    EXPECT_EQ(PixelsOf(picture), Bytes(6, 0));
    ASSERT_TRUE(picture.Allocate(1, 3, PixelFormatBGR8));
    EXPECT_EQ(PixelsOf(picture), Bytes(9, 0));
}

TEST(Picture, AllocateFailuresLogAndKeepTheOldSizeWithoutPixels)
{
    struct Case
    {
        uint32_t w, h;
        const nPictureFormat* f;
        const char* line;
    };
    const Case cases[] = {
        {0, 0, &PixelFormatBGRA8, "[!] Failed to allocate picture buffer (0x0@32bpp).\n"},
        {5, 0, &PixelFormatBGR8, "[!] Failed to allocate picture buffer (5x0@24bpp).\n"},
        {4, 4, &PixelFormatEmpty, "[!] Failed to allocate picture buffer (4x4@0bpp).\n"},
        // Beyond what a picture may hold: the size is computed in 64 bits and refused.
        {65536, 65536, &PixelFormatBGRA8, "[!] Failed to allocate picture buffer (65536x65536@32bpp).\n"},
        {40000, 40000, &PixelFormatRGBFloat, "[!] Failed to allocate picture buffer (40000x40000@96bpp).\n"},
    };
    for (const Case& c : cases) {
        nPicture picture;
        Fill(picture, PixelFormatRGB565, {1, 2, 3, 4});
        nLogCapture log;
        EXPECT_FALSE(picture.Allocate(c.w, c.h, *c.f));
        EXPECT_EQ(log.Lines(), Lines{c.line});
        EXPECT_EQ(picture.GetPixels(), nullptr);
        EXPECT_EQ(picture.GetWidth(), 2u);
        EXPECT_EQ(picture.GetFormat(), PixelFormatRGB565);
        EXPECT_EQ(picture.GetByteSize(), 0u);
    }
}

TEST(Picture, AllocateAdoptsGivenMemory)
{
    uint8_t* block = static_cast<uint8_t*>(nPictureAllocPixels(8));
    block[5] = 9;
    nPicture picture;
    ASSERT_TRUE(picture.Allocate(2, 1, PixelFormatRGBA8, block));
    EXPECT_EQ(picture.GetPixels(), block);
    EXPECT_EQ(picture.GetPixels()[5], 9);
    EXPECT_EQ(picture.GetOwnershipFlags(), 0u);  // freed with the picture (leak check)
}

TEST(Picture, AttachedMemoryIsNeverFreedByThePicture)
{
    uint8_t memory[16] = {1, 2, 3, 4};
    {
        nPicture picture;
        Fill(picture, PixelFormatBGR8, {9, 9, 9});
        picture.AttachPixels(memory, 2, 2, PixelFormatBGRA8);
        EXPECT_EQ(picture.GetPixels(), memory);
        EXPECT_EQ(picture.GetOwnershipFlags(), uint32_t(PictureNotOwned));
        picture.AttachPixels(nullptr, 7, 7, PixelFormatRGB24);  // nothing
        EXPECT_EQ(picture.GetWidth(), 2u);
        EXPECT_TRUE(picture.Convert(PixelFormatRGBA8));  // in place, still the caller's
        EXPECT_EQ(picture.GetPixels(), memory);
        EXPECT_EQ(memory[0], 3);
        picture.FreePixels();
        EXPECT_EQ(picture.GetPixels(), nullptr);
        EXPECT_EQ(picture.GetOwnershipFlags(), 0u);
        picture.AttachPixels(memory, 2, 2, PixelFormatBGRA8);
    }  // a freed stack block would be reported by the sanitizer build
    {
        // Converting into a new block gives the picture a block of its own.
        nPicture picture;
        picture.AttachPixels(memory, 2, 2, PixelFormatBGRA8);
        ASSERT_TRUE(picture.Convert(PixelFormatBGR8));
        EXPECT_NE(picture.GetPixels(), memory);
        EXPECT_EQ(picture.GetOwnershipFlags(), 0u);
    }
}

TEST(Picture, CopiesAreDeepAndLeaveTheNameBehind)
{
    nPicture source;
    source.SetName("a/b.tga");
    Fill(source, PixelFormatRGB24, {1, 2, 3, 4, 5, 6});
    nPicture copy(source);
    EXPECT_NE(copy.GetPixels(), source.GetPixels());
    EXPECT_EQ(PixelsOf(copy), PixelsOf(source));
    EXPECT_EQ(copy.GetFormat(), PixelFormatRGB24);
    EXPECT_TRUE(copy.GetName().IsEmpty());
    copy.GetPixels()[0] = 77;
    EXPECT_EQ(source.GetPixels()[0], 1);

    nPicture sizeOnly;
    sizeOnly.SetSizeOnly(640, 480);
    copy.CopyFrom(sizeOnly);
    EXPECT_TRUE(copy.IsSizeOnly());
    EXPECT_EQ(copy.GetPixels(), nullptr);
    EXPECT_EQ(copy.GetWidth(), 640u);
    EXPECT_EQ(copy.GetHeight(), 480u);
    EXPECT_EQ(copy.GetFormat(), PixelFormatEmpty);

    nPicture empty;
    nLogCapture log;
    copy.CopyFrom(empty);
    EXPECT_EQ(log.Lines(), Lines{"[!] Failed to allocate picture buffer (0x0@0bpp).\n"});
    EXPECT_EQ(copy.GetPixels(), nullptr);
    EXPECT_FALSE(copy.IsSizeOnly());
}

TEST(Picture, SetSizeOnlyDropsPixelsAndFormat)
{
    nPicture picture;
    Fill(picture, PixelFormatBGRA8, {1, 2, 3, 4});
    picture.SetSizeOnly(32, 16);
    EXPECT_EQ(picture.GetPixels(), nullptr);
    EXPECT_EQ(picture.GetStateFlags(), uint32_t(PictureSizeOnly));
    EXPECT_EQ(picture.GetWidth(), 32u);
    EXPECT_EQ(picture.GetFormat(), PixelFormatEmpty);
}

TEST(Picture, TranslucencyComparesAlphaWithItsFullValue)
{
    struct Case
    {
        const nPictureFormat* f;
        Bytes pixels;
        bool translucent;
    };
    const Case cases[] = {
        {&PixelFormatBGRA8, {1, 2, 3, 255, 4, 5, 6, 255}, false},
        {&PixelFormatBGRA8, {1, 2, 3, 255, 4, 5, 6, 254}, true},
        {&PixelFormatRGBA8, {0, 0, 0, 0}, true},
        {&PixelFormatARGB8, {255, 0, 0, 0, 254, 9, 9, 9}, true},
        {&PixelFormatARGB8, {255, 0, 0, 0}, false},
        {&PixelFormatARGB4444, {0xff, 0xff, 0x00, 0xf0}, false},  // alpha 15 of 15
        {&PixelFormatARGB4444, {0x00, 0xf0, 0x00, 0x10}, true},   // alpha 1 of 15
        {&PixelFormatARGB4444, {0x00, 0xf0, 0x00, 0xe0}, true},   // alpha 14 of 15
        {&PixelFormatBGR8, {0, 0, 0}, false},                     // no alpha at all
        {&PixelFormatRGB565, {0, 0}, false},
    };
    for (const Case& c : cases) {
        nPicture picture;
        Fill(picture, *c.f, c.pixels);
        EXPECT_EQ(picture.HasTranslucentPixels(), c.translucent) << NameOf(*c.f);
    }
    nPicture none;
    EXPECT_FALSE(none.HasTranslucentPixels());
}
