// The TGA reader and writer over files built here: every type and depth, both origins, run-length
// packets, colour maps, refused headers, damaged files, and files written back.
#include "core/nIOFile.h"
#include "resources/nPicture.h"
#include "resources/nPictureTGA.h"
#include "tests/resources/nResourceTestSupport.h"
#include "tests/support/nLogCapture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using Lines = std::vector<std::string>;

namespace {

// A TGA file as stored: header fields, image ID, colour map bytes and pixel data bytes.
struct Tga
{
    uint8_t type = 2;
    uint8_t bits = 32;
    uint8_t descriptor = 0x28;
    uint8_t mapType = 0;
    uint16_t mapFirst = 0;
    uint16_t mapLength = 0;
    uint8_t mapBits = 0;
    uint16_t width = 3;
    uint16_t height = 2;
    std::string id;
    Bytes map;
    Bytes data;

    Bytes Build() const
    {
        Bytes b;
        PutU8(b, uint32_t(id.size()));
        PutU8(b, mapType);
        PutU8(b, type);
        PutU16(b, mapFirst);
        PutU16(b, mapLength);
        PutU8(b, mapBits);
        PutU16(b, 0);
        PutU16(b, 0);
        PutU16(b, width);
        PutU16(b, height);
        PutU8(b, bits);
        PutU8(b, descriptor);
        PutText(b, id.c_str());
        PutBytes(b, map);
        PutBytes(b, data);
        return b;
    }
};

// BGRA words as bytes.
Bytes Pixels(std::initializer_list<uint32_t> argb)
{
    Bytes b;
    for (uint32_t c : argb) PutU32(b, c);
    return b;
}

// The rows of a picture given top row first, in the order a bottom-left file stores them.
Bytes FlipRows(const Bytes& pixels, size_t rowBytes)
{
    Bytes out;
    for (size_t r = pixels.size() / rowBytes; r-- > 0;)
        out.insert(out.end(), pixels.begin() + r * rowBytes, pixels.begin() + (r + 1) * rowBytes);
    return out;
}

// Only the colour bytes of BGRA pixels (blue, green, red), for 24-bit files.
Bytes Drop(const Bytes& bgra)
{
    Bytes out;
    for (size_t i = 0; i < bgra.size(); i += 4) out.insert(out.end(), bgra.begin() + i, bgra.begin() + i + 3);
    return out;
}

Bytes Opaque(Bytes bgra)
{
    for (size_t i = 3; i < bgra.size(); i += 4) bgra[i] = 0xff;
    return bgra;
}

// The reference picture: 3 x 2, top row first.
const Bytes kImage = Pixels({0x28141e0a, 0x50463c32, 0x786e645a, 0xa0968c82, 0xc8beb4aa, 0xffe6dcd2});

class TgaTest : public nMemoryFSTest
{
protected:
    // Loads the bytes as "t.tga"; the picture's pixels or "<refused>".
    bool Load(const Bytes& file, nPicture& picture)
    {
        Put("t.tga", file);
        nIOFile f;
        EXPECT_TRUE(f.Open("t.tga", true, false, false));
        return LoadPictureTGA(f, picture);
    }
    Bytes LoadPixels(const Bytes& file, uint32_t* width = nullptr, uint32_t* height = nullptr)
    {
        nPicture picture;
        if (!Load(file, picture)) return Bytes{0xde, 0xad};
        EXPECT_EQ(picture.GetFormat(), PixelFormatBGRA8);
        if (width) *width = picture.GetWidth();
        if (height) *height = picture.GetHeight();
        return Bytes(picture.GetPixels(), picture.GetPixels() + picture.GetByteSize());
    }
};

}

// ---------------------------------------------------------------------------------------------
// Raw pictures

TEST_F(TgaTest, TrueColourAndGreyAtEveryDepthAndOrigin)
{
    // 16-bit words and the colours they expand to (five bits each, top bit ignored, opaque).
    const Bytes words16 = {0xff, 0x7f, 0x00, 0x00, 0x1f, 0x80, 0xe0, 0x03, 0x00, 0x7c, 0x21, 0x84};
    const Bytes colours16 = Pixels({0xfff8f8f8, 0xff000000, 0xff0000f8, 0xff00f800, 0xfff80000, 0xff080808});
    const Bytes greys = {0, 1, 127, 128, 254, 255};
    const Bytes greyPixels = Pixels({0x00000000, 0x01010101, 0x7f7f7f7f, 0x80808080, 0xfefefefe, 0xffffffff});

    struct Case
    {
        const char* name;
        uint8_t type, bits;
        Bytes stored;
        size_t rowBytes;
        Bytes expect;
    };
    const Case cases[] = {
        {"32-bit", 2, 32, kImage, 12, kImage},
        {"24-bit", 2, 24, Drop(kImage), 9, Opaque(kImage)},
        {"16-bit", 2, 16, words16, 6, colours16},
        {"8-bit true colour", 2, 8, greys, 3, greyPixels},
        {"8-bit grey", 3, 8, greys, 3, greyPixels},
        {"32-bit grey type", 3, 32, kImage, 12, kImage},
    };
    for (const Case& c : cases) {
        for (bool topLeft : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (topLeft ? " top-left" : " bottom-left"));
            Tga t;
            t.type = c.type;
            t.bits = c.bits;
            t.descriptor = topLeft ? 0x20 : 0x00;
            t.data = topLeft ? c.stored : FlipRows(c.stored, c.rowBytes);
            nLogCapture log;
            uint32_t w = 0, h = 0;
            EXPECT_EQ(LoadPixels(t.Build(), &w, &h), c.expect);
            EXPECT_EQ(w, 3u);
            EXPECT_EQ(h, 2u);
            EXPECT_TRUE(log.Lines().empty());
        }
    }
}

TEST_F(TgaTest, ImageIdAndAnUnusedColourMapAreSkipped)
{
    Tga t;
    t.descriptor = 0x20;
    t.id = "made by hand";
    t.mapType = 1;
    t.mapLength = 5;
    t.mapBits = 24;
    t.map = Bytes(15, 0x55);
    t.data = kImage;
    EXPECT_EQ(LoadPixels(t.Build()), kImage);
}

TEST_F(TgaTest, ARefusedSecondLoadDoesNotTouchThePicture)
{
    nPicture picture;
    Tga t;
    t.descriptor = 0x20;
    t.data = kImage;
    ASSERT_TRUE(Load(t.Build(), picture));
    Tga bad = t;
    bad.type = 4;
    EXPECT_FALSE(Load(bad.Build(), picture));
    EXPECT_EQ(Bytes(picture.GetPixels(), picture.GetPixels() + 24), kImage);

    // A shorter second picture of the same size starts from zero, not from the old pixels.
    Tga shorter = t;
    shorter.data.resize(12);
    ASSERT_TRUE(Load(shorter.Build(), picture));
    Bytes expect(kImage.begin(), kImage.begin() + 12);
    expect.resize(24, 0);
    EXPECT_EQ(Bytes(picture.GetPixels(), picture.GetPixels() + 24), expect);
}

// ---------------------------------------------------------------------------------------------
// Colour maps

TEST_F(TgaTest, ColourMapsOfEveryEntrySize)
{
    const Bytes indices = {2, 0, 1, 1, 2, 0};  // top row first
    struct Case
    {
        const char* name;
        uint8_t bits;
        Bytes map;
        uint32_t colours[3];
    };
    const Case cases[] = {
        // 24-bit entries: magenta (255, 0, 255) is the one transparent colour.
        {"24-bit", 24, {0xff, 0x00, 0xff, 0xfe, 0x00, 0xff, 0x10, 0x20, 0x30}, {0x00ff00ff, 0xffff00fe, 0xff302010}},
        {"16-bit", 16, {0xff, 0x7f, 0x1f, 0x00, 0x00, 0x7c}, {0xfff8f8f8, 0xff0000f8, 0xfff80000}},
        {"32-bit", 32, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, {0x04030201, 0x08070605, 0x0c0b0a09}},
    };
    for (const Case& c : cases) {
        for (bool rle : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (rle ? " run-length" : " raw"));
            Tga t;
            t.type = rle ? 9 : 1;
            t.bits = 8;
            t.descriptor = 0x20;
            t.mapType = 1;
            t.mapLength = 3;
            t.mapBits = c.bits;
            t.map = c.map;
            // Run-length: one raw packet of two, a run of two, then a raw packet of two.
            t.data = rle ? Bytes{0x01, 2, 0, 0x81, 1, 0x01, 2, 0} : indices;
            Bytes expect;
            for (uint8_t i : indices) PutU32(expect, c.colours[i]);
            nLogCapture log;
            EXPECT_EQ(LoadPixels(t.Build()), expect);
            EXPECT_TRUE(log.Lines().empty());
        }
    }
}

TEST_F(TgaTest, ColourMapLengthDecidesWherePixelsStart)
{
    // Two entries, then the pixels: indices beyond the map give colour 0.
    Tga t;
    t.type = 1;
    t.bits = 8;
    t.descriptor = 0x20;
    t.width = 4;
    t.height = 1;
    t.mapType = 1;
    t.mapLength = 2;
    t.mapBits = 24;
    t.map = {0x10, 0x20, 0x30, 0x40, 0x50, 0x60};
    t.data = {1, 0, 7, 255};
    EXPECT_EQ(LoadPixels(t.Build()), Pixels({0xff605040, 0xff302010, 0, 0}));

    // A map of 300 entries: the pixels follow all of them; entries past 255 are unreachable.
    t.mapLength = 300;
    t.map.clear();
    for (int i = 0; i < 300; ++i) {
        PutU8(t.map, i);
        PutU8(t.map, 0);
        PutU8(t.map, 0);
    }
    t.data = {5, 255, 0, 1};
    EXPECT_EQ(LoadPixels(t.Build()), Pixels({0xff000005, 0xff0000ff, 0xff000000, 0xff000001}));
}

TEST_F(TgaTest, UnusableColourMapsAreReported)
{
    struct Case
    {
        uint8_t mapBits;
        uint16_t length;
        size_t mapBytes;
        const char* line;
    };
    const Case cases[] = {
        {15, 2, 4, "[!] Palette is in unsupported pixel format (neither RGB16, RGB24 or BGR8).\n"},
        {8, 2, 2, "[!] Palette is in unsupported pixel format (neither RGB16, RGB24 or BGR8).\n"},
        {20, 2, 6, "[!] Palette is in unsupported pixel format (neither RGB16, RGB24 or BGR8).\n"},
        {24, 200, 10, "[!] Could not read TGA palette.\n"},  // the map runs past the end
    };
    for (const Case& c : cases) {
        Tga t;
        t.type = 1;
        t.bits = 8;
        t.mapType = 1;
        t.mapBits = c.mapBits;
        t.mapLength = c.length;
        t.map = Bytes(c.mapBytes, 1);
        nLogCapture log;
        nPicture picture;
        EXPECT_FALSE(Load(t.Build(), picture));
        EXPECT_EQ(log.Lines(), Lines{c.line});
    }
}

// ---------------------------------------------------------------------------------------------
// Run-length pictures

TEST_F(TgaTest, RunLengthTrueColourAtEveryDepth)
{
    // A run of 4 crossing the row end, then a raw packet of 2, bottom-left: the file's first row
    // is the picture's last.
    struct Case
    {
        uint8_t bits;
        Bytes a, b, c;
        uint32_t ca, cb, cc;
    };
    const Case cases[] = {
        {32, {1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}, 0x04030201, 0x08070605, 0x0c0b0a09},
        {24, {1, 2, 3}, {5, 6, 7}, {9, 10, 11}, 0xff030201, 0xff070605, 0xff0b0a09},
        {16, {0xff, 0x7f}, {0x1f, 0x00}, {0x00, 0x7c}, 0xfff8f8f8, 0xff0000f8, 0xfff80000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.bits));
        Tga t;
        t.type = 10;
        t.bits = c.bits;
        t.descriptor = 0x00;
        t.data = {0x83};
        PutBytes(t.data, c.a);
        PutU8(t.data, 0x01);
        PutBytes(t.data, c.b);
        PutBytes(t.data, c.c);
        // File rows: [a a a] [a b c]; the picture shows them the other way round.
        EXPECT_EQ(LoadPixels(t.Build()), Pixels({c.ca, c.cb, c.cc, c.ca, c.ca, c.ca}));
    }
}

// A grey picture gives the same pixels raw and run-length coded: grey into blue, green and red,
// and alpha from the grey byte at 8 bits, from the alpha byte at 16 bits.
TEST_F(TgaTest, GreyPicturesAreTheSameRawAndRunLengthCoded)
{
    struct Case
    {
        const char* name;
        uint8_t bits;
        Bytes a, b, c;
        uint32_t ca, cb, cc;
    };
    const Case cases[] = {
        {"8-bit grey", 8, {0x00}, {0x80}, {0xff}, 0x00000000, 0x80808080, 0xffffffff},
        {"16-bit grey and alpha", 16, {0x10, 0xff}, {0x80, 0x00}, {0xff, 0x40}, 0xff101010, 0x00808080, 0x40ffffff},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // File rows, bottom-left: [a a a] [a b c].
        Tga raw;
        raw.type = 3;
        raw.bits = c.bits;
        raw.descriptor = 0x00;
        for (const Bytes* p : {&c.a, &c.a, &c.a, &c.a, &c.b, &c.c}) PutBytes(raw.data, *p);
        Tga coded = raw;
        coded.type = 11;
        coded.data = {0x83};
        PutBytes(coded.data, c.a);
        PutU8(coded.data, 0x01);
        PutBytes(coded.data, c.b);
        PutBytes(coded.data, c.c);

        const Bytes expect = Pixels({c.ca, c.cb, c.cc, c.ca, c.ca, c.ca});
        nLogCapture log;
        EXPECT_EQ(LoadPixels(raw.Build()), expect);
        EXPECT_EQ(LoadPixels(coded.Build()), expect);
        EXPECT_TRUE(log.Lines().empty());
    }
}

TEST_F(TgaTest, RunHeaderCountsFromOneTo128)
{
    Tga t;
    t.type = 10;
    t.bits = 24;
    t.descriptor = 0x20;
    t.width = 130;
    t.height = 1;
    t.data = {0xff, 1, 2, 3, 0x80, 4, 5, 6, 0x00, 7, 8, 9};
    Bytes expect;
    for (int i = 0; i < 128; ++i) PutU32(expect, 0xff030201);
    PutU32(expect, 0xff060504);
    PutU32(expect, 0xff090807);
    EXPECT_EQ(LoadPixels(t.Build()), expect);
}

TEST_F(TgaTest, PacketsAreCutAtTheLastPixel)
{
    struct Case
    {
        const char* name;
        uint8_t type, bits;
        Bytes data;
        Bytes expect;
    };
    const Case cases[] = {
        {"run of 128 into 4 pixels", 10, 32, {0xff, 1, 2, 3, 4}, Pixels({0x04030201, 0x04030201, 0x04030201, 0x04030201})},
        {"raw packet of 128 into 4 pixels", 10, 24,
         [] { Bytes d = {0x7f}; for (int i = 0; i < 128 * 3; ++i) d.push_back(uint8_t(i)); return d; }(),
         Pixels({0xff020100, 0xff050403, 0xff080706, 0xff0b0a09})},
        {"indexed run past the end", 9, 8, {0x83, 0, 0xff, 0}, Pixels({0xff302010, 0xff302010, 0xff302010, 0xff302010})},
        {"packets after the last pixel", 10, 16, {0x83, 0x1f, 0x00, 0x85, 0xff, 0x7f, 0x00, 0x00}, Pixels({0xff0000f8, 0xff0000f8, 0xff0000f8, 0xff0000f8})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tga t;
        t.type = c.type;
        t.bits = c.bits;
        t.descriptor = 0x20;
        t.width = 2;
        t.height = 2;
        if (c.type == 9) {
            t.mapType = 1;
            t.mapLength = 1;
            t.mapBits = 24;
            t.map = {0x10, 0x20, 0x30};
        }
        t.data = c.data;
        EXPECT_EQ(LoadPixels(t.Build()), c.expect);
    }
}

// ---------------------------------------------------------------------------------------------
// Headers that are not a TGA this reader can decode: refused without a word, so that the
// codecs may try the file.

TEST_F(TgaTest, ImpossibleHeadersAreRefusedSilently)
{
    struct Case
    {
        const char* name;
        void (*change)(Tga&);
    };
    const Case cases[] = {
        {"type 0", [](Tga& t) { t.type = 0; }},
        {"type 4", [](Tga& t) { t.type = 4; }},
        {"grey run-length of 32 bits", [](Tga& t) { t.type = 11; }},
        {"type 32", [](Tga& t) { t.type = 32; }},
        {"first map index 1", [](Tga& t) { t.mapFirst = 1; }},
        {"map type 2", [](Tga& t) { t.mapType = 2; }},
        {"width 0", [](Tga& t) { t.width = 0; }},
        {"height 0", [](Tga& t) { t.height = 0; }},
        {"15 bits", [](Tga& t) { t.bits = 15; }},
        {"0 bits", [](Tga& t) { t.bits = 0; }},
        {"48 bits", [](Tga& t) { t.bits = 48; }},
        {"run-length 8 bits", [](Tga& t) { t.type = 10; t.bits = 8; }},
        {"colour-mapped without a map", [](Tga& t) { t.type = 1; t.bits = 8; }},
        {"colour-mapped of 16 bits", [](Tga& t) { t.type = 1; t.bits = 16; t.mapType = 1; t.mapLength = 1; t.mapBits = 24; }},
        {"empty colour map", [](Tga& t) { t.type = 9; t.bits = 8; t.mapType = 1; t.mapLength = 0; t.mapBits = 24; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tga t;
        t.data = kImage;
        c.change(t);
        nLogCapture log;
        nPicture picture;
        EXPECT_FALSE(Load(t.Build(), picture));
        EXPECT_TRUE(log.Lines().empty());
        EXPECT_EQ(picture.GetPixels(), nullptr);
    }
    // Too short for a header at all.
    for (size_t n : {0, 1, 17}) {
        nPicture picture;
        EXPECT_FALSE(Load(Bytes(n, 2), picture));
    }
}

// A PNG, BMP or JPEG file is never taken for a TGA, whatever its size field says.
TEST_F(TgaTest, OtherFormatsAreNotTakenForTga)
{
    Bytes bmp;
    PutText(bmp, "BM");
    PutU32(bmp, 0x00020000 + 9);  // a file size whose low bytes read as type 9
    PutBytes(bmp, Bytes(60, 0x11));
    Bytes png = {0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a};
    PutBytes(png, Bytes(40, 0));
    Bytes jpeg = {0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 'J', 'F', 'I', 'F'};
    PutBytes(jpeg, Bytes(40, 0));
    for (const Bytes* file : {&bmp, &png, &jpeg}) {
        nPicture picture;
        EXPECT_FALSE(Load(*file, picture));
    }
}

// ---------------------------------------------------------------------------------------------
// Damaged pixel data

TEST_F(TgaTest, DataEndingEarlyLeavesTheRestZero)
{
    // Raw: a row, one pixel and one byte of 24-bit data give four pixels; the rest stays zero.
    Tga raw;
    raw.bits = 24;
    raw.descriptor = 0x20;
    raw.data = Drop(kImage);
    raw.data.resize(9 + 3 + 1);
    const Bytes opaque = Opaque(kImage);
    Bytes expect(opaque.begin(), opaque.begin() + 16);
    expect.resize(24, 0);
    EXPECT_EQ(LoadPixels(raw.Build()), expect);

    // Run-length: decoded packets stay, a packet cut inside its value ends decoding.
    Tga rle;
    rle.type = 10;
    rle.bits = 32;
    rle.descriptor = 0x20;
    rle.data = {0x81, 1, 2, 3, 4, 0x02, 5, 6, 7, 8, 9, 10, 11, 12, 13};
    EXPECT_EQ(LoadPixels(rle.Build()), Pixels({0x04030201, 0x04030201, 0x08070605, 0x0c0b0a09, 0, 0}));
}

// Every prefix and many mutations of valid files of each kind: any answer will do, as long as
// nothing is read or written out of bounds (checked by the sanitizer build) and a decoded picture
// is whole.
TEST_F(TgaTest, DamagedFilesNeverReachOutsideTheirBuffers)
{
    std::vector<Bytes> files;
    for (uint8_t bits : {8, 16, 24, 32}) {
        Tga t;
        t.bits = bits;
        t.descriptor = bits == 32 ? 0x08 : 0x20;
        t.data = Bytes(6 * bits / 8, 0x5a);
        files.push_back(t.Build());
        t.type = bits == 8 ? 3 : 10;
        t.data = bits == 8 ? Bytes(6, 9) : Bytes{0x82, 1, 2, 3, 4, 0x02, 5, 6, 7, 8, 9, 10, 11, 12};
        files.push_back(t.Build());
    }
    for (uint8_t type : {1, 9}) {
        Tga t;
        t.type = type;
        t.bits = 8;
        t.mapType = 1;
        t.mapLength = 3;
        t.mapBits = 24;
        t.map = Bytes(9, 0x33);
        t.data = type == 1 ? Bytes{0, 1, 2, 2, 1, 0} : Bytes{0x85, 2, 0x00, 1};
        files.push_back(t.Build());
    }

    std::mt19937 random(1234);
    nLogCapture quiet;
    for (const Bytes& file : files) {
        std::vector<Bytes> damaged;
        for (size_t n = 0; n < file.size(); ++n) damaged.emplace_back(file.begin(), file.begin() + n);
        for (int i = 0; i < 300; ++i) {
            Bytes m = file;
            for (int k = random() % 4 + 1; k > 0; --k) m[random() % m.size()] = uint8_t(random());
            if (random() % 3 == 0) m.resize(random() % (m.size() + 1));
            damaged.push_back(m);
        }
        for (const Bytes& d : damaged) {
            nPicture picture;
            if (Load(d, picture)) {
                ASSERT_NE(picture.GetPixels(), nullptr);
                EXPECT_EQ(picture.GetByteSize(), size_t(picture.GetWidth()) * picture.GetHeight() * 4);
                EXPECT_EQ(picture.GetFormat(), PixelFormatBGRA8);
            }
        }
    }
}

TEST_F(TgaTest, HugeDeclaredSizesAreRefusedOrDecodedLazily)
{
    // 65535 x 65535 is beyond what a picture may hold: one allocation line, no decoding.
    Tga huge;
    huge.width = 65535;
    huge.height = 65535;
    huge.data = Bytes(64, 1);
    nLogCapture log;
    nPicture picture;
    EXPECT_FALSE(Load(huge.Build(), picture));
    EXPECT_EQ(log.Lines(), Lines{"[!] Failed to allocate picture buffer (65535x65535@32bpp).\n"});

    // 16384 x 4096 (256 MB) with 64 bytes of data: allocated, the rest left zero.
    log.Clear();
    huge.width = 16384;
    huge.height = 4096;
    huge.descriptor = 0x28;
    ASSERT_TRUE(Load(huge.Build(), picture));
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_EQ(picture.GetPixels()[63], 1);
    EXPECT_EQ(picture.GetPixels()[64], 0);
}

// ---------------------------------------------------------------------------------------------
// Writing

TEST_F(TgaTest, SavedFilesHoldBlueGreenRedWhateverThePictureOrder)
{
    // One pixel red 0xc8, green 0x64, blue 0x32, alpha 0x96 in each writable format.
    struct Case
    {
        const nPictureFormat* f;
        Bytes pixel;
        uint8_t bits, descriptor;
        Bytes stored;
        Bytes reloaded;
    };
    const Case cases[] = {
        {&PixelFormatBGRA8, {0x32, 0x64, 0xc8, 0x96}, 32, 0x28, {0x32, 0x64, 0xc8, 0x96}, {0x32, 0x64, 0xc8, 0x96}},
        {&PixelFormatRGBA8, {0xc8, 0x64, 0x32, 0x96}, 32, 0x28, {0x32, 0x64, 0xc8, 0x96}, {0x32, 0x64, 0xc8, 0x96}},
        {&PixelFormatBGR8, {0x32, 0x64, 0xc8}, 24, 0x20, {0x32, 0x64, 0xc8}, {0x32, 0x64, 0xc8, 0xff}},
        {&PixelFormatRGB24, {0xc8, 0x64, 0x32}, 24, 0x20, {0x32, 0x64, 0xc8}, {0x32, 0x64, 0xc8, 0xff}},
        // Red 25, green 12, blue 6: the file's 16-bit word has blue in its low bits.
        {&PixelFormatRGB555, {0x99, 0x19}, 16, 0x20, {0x86, 0x65}, {0x30, 0x60, 0xc8, 0xff}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.bits));
        nPicture picture;
        ASSERT_TRUE(picture.Allocate(2, 1, *c.f));
        std::memcpy(picture.GetPixels(), c.pixel.data(), c.pixel.size());
        std::memcpy(picture.GetPixels() + c.pixel.size(), c.pixel.data(), c.pixel.size());
        nLogCapture log;
        ASSERT_TRUE(SavePictureTGA("out.tga", picture));
        EXPECT_TRUE(log.Lines().empty());

        Tga t;
        t.bits = c.bits;
        t.descriptor = c.descriptor;
        t.width = 2;
        t.height = 1;
        t.data = c.stored;
        PutBytes(t.data, c.stored);
        EXPECT_EQ(Get("out.tga"), t.Build());

        Bytes reloaded = c.reloaded;
        PutBytes(reloaded, c.reloaded);
        EXPECT_EQ(LoadPixels(Get("out.tga")), reloaded);
    }
}

// Every kind of file read and written back gives the same picture again; files the writer can
// produce itself (uncompressed, top-left) come back byte for byte.
TEST_F(TgaTest, FilesReadAndWrittenBackAreIdentical)
{
    struct Case
    {
        const char* name;
        Tga file;
        const nPictureFormat* saveAs;
        bool sameBytes;
    };
    std::vector<Case> cases;
    {
        Tga t;
        t.descriptor = 0x28;
        t.data = kImage;
        cases.push_back({"32-bit top-left", t, &PixelFormatBGRA8, true});
        t.descriptor = 0x08;
        t.data = FlipRows(kImage, 12);
        cases.push_back({"32-bit bottom-left", t, &PixelFormatBGRA8, false});
    }
    {
        Tga t;
        t.bits = 24;
        t.descriptor = 0x20;
        t.data = Drop(kImage);
        cases.push_back({"24-bit top-left", t, &PixelFormatBGR8, true});
        t.descriptor = 0x00;
        t.data = FlipRows(Drop(kImage), 9);
        cases.push_back({"24-bit bottom-left", t, &PixelFormatRGB24, false});
    }
    {
        Tga t;
        t.bits = 16;
        t.descriptor = 0x20;
        t.data = {0xff, 0x7f, 0x00, 0x00, 0x1f, 0x00, 0xe0, 0x03, 0x00, 0x7c, 0x21, 0x04};
        cases.push_back({"16-bit top-left", t, &PixelFormatRGB555, true});
    }
    {
        Tga t;
        t.type = 3;
        t.bits = 8;
        t.descriptor = 0x20;
        t.data = {0, 50, 100, 150, 200, 250};
        cases.push_back({"grey", t, &PixelFormatBGRA8, false});
    }
    {
        Tga t;
        t.type = 9;
        t.bits = 8;
        t.descriptor = 0x00;
        t.mapType = 1;
        t.mapLength = 2;
        t.mapBits = 32;
        t.map = {1, 2, 3, 4, 5, 6, 7, 8};
        t.data = {0x82, 1, 0x02, 0, 1, 0};
        cases.push_back({"run-length colour-mapped", t, &PixelFormatRGBA8, false});
    }
    {
        Tga t;
        t.type = 10;
        t.bits = 24;
        t.descriptor = 0x20;
        t.data = {0x85, 9, 8, 7};
        cases.push_back({"run-length 24-bit", t, &PixelFormatBGR8, false});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes original = c.file.Build();
        nPicture picture;
        ASSERT_TRUE(Load(original, picture));
        Bytes first(picture.GetPixels(), picture.GetPixels() + picture.GetByteSize());
        ASSERT_TRUE(picture.Convert(*c.saveAs));
        ASSERT_TRUE(SavePictureTGA("back.tga", picture));
        if (c.sameBytes) {
            EXPECT_EQ(Get("back.tga"), original);
        }
        Bytes second = LoadPixels(Get("back.tga"));
        if (*c.saveAs == PixelFormatBGR8 || *c.saveAs == PixelFormatRGB24 || *c.saveAs == PixelFormatRGB555) {
            first = Opaque(first);
        }
        EXPECT_EQ(second, first);
    }
}

TEST_F(TgaTest, WritingRefusals)
{
    nPicture picture;
    ASSERT_TRUE(picture.Allocate(2, 2, PixelFormatRGB565));
    {
        nLogCapture log;
        EXPECT_FALSE(SavePictureTGA("a.tga", picture));
        EXPECT_EQ(log.Lines(), Lines{"[!] Only supports BGRA8/BGR8/RGB24/RGB555.\n"});
    }
    for (const nPictureFormat* f : {&PixelFormatARGB8, &PixelFormatARGB4444, &PixelFormatRGBFloat, &PixelFormatEmpty}) {
        nPicture other;
        if (f->bitsPerPixel) {
            ASSERT_TRUE(other.Allocate(1, 1, *f));
        }
        nLogCapture log;
        EXPECT_FALSE(SavePictureTGA("a.tga", other));
        EXPECT_EQ(log.Lines(), Lines{"[!] Only supports BGRA8/BGR8/RGB24/RGB555.\n"});
    }
    EXPECT_TRUE(Get("a.tga").empty());

    // A writable format without pixels (the last allocation failed): nothing is written.
    {
        nLogCapture log;
        ASSERT_TRUE(picture.Allocate(2, 2, PixelFormatBGRA8));
        EXPECT_FALSE(picture.Allocate(0, 0, PixelFormatBGRA8));
        log.Clear();
        EXPECT_FALSE(SavePictureTGA("a.tga", picture));
        EXPECT_EQ(log.Lines(), Lines{"[!] Cannot write a picture of 2x2 without pixels as TGA to 'a.tga'.\n"});
        EXPECT_TRUE(Get("a.tga").empty());
    }
    // Too wide for the header's 16-bit width.
    {
        nPicture wide;
        ASSERT_TRUE(wide.Allocate(70000, 1, PixelFormatBGR8));
        nLogCapture log;
        EXPECT_FALSE(SavePictureTGA("a.tga", wide));
        EXPECT_EQ(log.Lines(), Lines{"[!] Cannot write a picture of 70000x1 as TGA to 'a.tga'.\n"});
    }
    // A path that cannot be opened for writing.
    {
        nIO::SetCurrentFS(nullptr);
        ASSERT_TRUE(picture.Allocate(2, 2, PixelFormatBGRA8));
        nLogCapture log;
        EXPECT_FALSE(SavePictureTGA("no/such/dir/a.tga", picture));
        EXPECT_EQ(log.Lines(), Lines{"[!] Cannot write to 'no/such/dir/a.tga'.\n"});
    }
}
