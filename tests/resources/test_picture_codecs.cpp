// The codec registry and nPicture::LoadContent: TGA first, then the codecs in registration order;
// PNG and BMP files built here go through stb_image.
#include "core/nIOFile.h"
#include "resources/nPicture.h"
#include "resources/nPictureIOCodec.h"
#include "tests/resources/nResourceTestSupport.h"
#include "tests/support/nLogCapture.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

using Lines = std::vector<std::string>;

namespace {

// A codec that decodes files beginning with its magic text into 1 x 1 pixels of the given
// bytes, and records how often it was asked.
class FakeCodec : public nPictureIOCodec
{
public:
    FakeCodec(const char* name, const char* magic, uint32_t flags, Bytes pixel, uint32_t width = 1)
        : nPictureIOCodec(name, "test codec", flags), m_magic(magic), m_pixel(pixel), m_width(width) {}

    bool Decode(nIOFile& file, uint32_t& width, uint32_t& height, uint8_t*& pixels) override
    {
        ++calls;
        file.Rewind();
        char head[16] = {0};
        file.Read(head, int32_t(m_magic.size()));
        if (m_magic.compare(0, m_magic.size(), head, m_magic.size()) != 0) return false;
        pixels = static_cast<uint8_t*>(nPictureAllocPixels(m_pixel.size()));
        std::memcpy(pixels, m_pixel.data(), m_pixel.size());
        width = m_width;
        height = 1;
        return true;
    }
    void FreePixels(uint8_t*& pixels) override
    {
        nPictureFreePixels(pixels);
        pixels = nullptr;
    }

    int calls = 0;

private:
    std::string m_magic;
    Bytes m_pixel;
    uint32_t m_width;
};

// A 24-bit BMP of 2 x 2 pixels: bottom row first, rows padded to 4 bytes.
Bytes MakeBmp()
{
    const Bytes rows[2] = {
        {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0, 0},  // bottom row: two blue, green, red triples
        {0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c, 0, 0},  // top row
    };
    Bytes b;
    PutText(b, "BM");
    PutU32(b, 14 + 40 + 16);
    PutU32(b, 0);
    PutU32(b, 14 + 40);
    PutU32(b, 40);  // BITMAPINFOHEADER
    PutU32(b, 2);
    PutU32(b, 2);
    PutU16(b, 1);
    PutU16(b, 24);
    PutU32(b, 0);  // no compression
    PutU32(b, 16);
    PutU32(b, 2835);
    PutU32(b, 2835);
    PutU32(b, 0);
    PutU32(b, 0);
    PutBytes(b, rows[0]);
    PutBytes(b, rows[1]);
    return b;
}

void PutChunk(Bytes& png, const char* type, const Bytes& data)
{
    Bytes typed;
    PutText(typed, type);
    PutBytes(typed, data);
    png.push_back(uint8_t(data.size() >> 24));
    png.push_back(uint8_t(data.size() >> 16));
    png.push_back(uint8_t(data.size() >> 8));
    png.push_back(uint8_t(data.size()));
    PutBytes(png, typed);
    uLong crc = crc32(0, typed.data(), uInt(typed.size()));
    png.push_back(uint8_t(crc >> 24));
    png.push_back(uint8_t(crc >> 16));
    png.push_back(uint8_t(crc >> 8));
    png.push_back(uint8_t(crc));
}

// A 2 x 2 RGBA PNG: each row a filter byte 0 and two red, green, blue, alpha pixels.
Bytes MakePng()
{
    const Bytes raw = {0, 10, 20, 30, 40, 50, 60, 70, 80,
                       0, 90, 100, 110, 120, 130, 140, 150, 255};
    Bytes png = {0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a};
    Bytes ihdr;
    for (uint32_t v : {2u, 2u}) {
        ihdr.push_back(0);
        ihdr.push_back(0);
        ihdr.push_back(0);
        ihdr.push_back(uint8_t(v));
    }
    PutBytes(ihdr, {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter set, no interlace
    PutChunk(png, "IHDR", ihdr);
    Bytes packed(compressBound(uLong(raw.size())));
    uLongf packedSize = uLongf(packed.size());
    compress(packed.data(), &packedSize, raw.data(), uLong(raw.size()));
    packed.resize(packedSize);
    PutChunk(png, "IDAT", packed);
    PutChunk(png, "IEND", {});
    return png;
}

class CodecTest : public nMemoryFSTest
{
protected:
    CodecTest() { RegisterPictureCodecs(false); }

    Bytes PixelsOf(const nPicture& p) { return Bytes(p.GetPixels(), p.GetPixels() + p.GetByteSize()); }
};

}

TEST_F(CodecTest, RegistrationLogsWhenVerboseAndKeepsTheFirstOfEachName)
{
    nLogCapture log;
    RegisterPictureCodecs(true);
    Lines lines = log.Lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.front(), "Beginning picture I/O codec registration sequence...\n");
    EXPECT_EQ(Lines(lines.end() - 2, lines.end()), (Lines{"All codec registered.\n", "\n"}));

    nPictureIOCodec* stb = FindPictureCodec("STB");
    ASSERT_NE(stb, nullptr);
    EXPECT_EQ(stb->GetFlags() & PictureCodecRead, uint32_t(PictureCodecRead));
    EXPECT_FALSE(stb->GetDescription().IsEmpty());
    const int32_t count = GetPictureCodecs().GetCount();

    log.Clear();
    EXPECT_TRUE(RegisterPictureCodec(new FakeCodec("STB", "x", 0, {}), true));
    EXPECT_EQ(FindPictureCodec("STB"), stb);
    EXPECT_EQ(GetPictureCodecs().GetCount(), count);
    EXPECT_TRUE(log.Lines().empty());

    FakeCodec* tail = new FakeCodec("Registered-last", "x", 0, {});
    EXPECT_TRUE(RegisterPictureCodec(tail, true));
    EXPECT_EQ(log.Lines(), Lines{"Codec ('Registered-last') registered successfully.\n"});
    EXPECT_EQ(GetPictureCodecs().GetTail(), tail);
    EXPECT_EQ(FindPictureCodec("Registered-last"), tail);
}

TEST_F(CodecTest, MissingFilesAreSilentAndUnreadableOnesLogged)
{
    // A file missing from the disk (the memory file system has a complaint of its own).
    nIO::SetCurrentFS(nullptr);
    nPicture picture;
    nLogCapture log;
    EXPECT_FALSE(nPicture::LoadContent(&picture, "nowhere.png"));
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_TRUE(picture.GetName().IsEmpty());
    nIO::SetCurrentFS(&m_mem);

    Put("junk.bin", Bytes(100, 0x42));
    EXPECT_FALSE(nPicture::LoadContent(&picture, "junk.bin"));
    EXPECT_EQ(log.Lines(), Lines{"[!] No picture decoder for 'junk.bin'.\n"});
    EXPECT_EQ(picture.GetName(), "junk.bin");
    EXPECT_EQ(picture.GetPixels(), nullptr);

    log.Clear();
    Put("empty.png", Bytes());
    EXPECT_FALSE(nPicture::LoadContent(&picture, "empty.png"));
    EXPECT_EQ(log.Lines(), Lines{"[!] No picture decoder for 'empty.png'.\n"});
}

TEST_F(CodecTest, TgaFilesNeverReachTheCodecs)
{
    FakeCodec* spy = new FakeCodec("Spy", "SPY", 0, {1, 2, 3, 4});
    RegisterPictureCodec(spy, false);
    Bytes tga(18, 0);
    tga[2] = 2;
    tga[12] = 1;
    tga[14] = 1;
    tga[16] = 32;
    tga[17] = 0x28;
    PutBytes(tga, {9, 8, 7, 6});
    Put("one.tga", tga);
    nPicture picture;
    ASSERT_TRUE(nPicture::LoadContent(&picture, "one.tga"));
    EXPECT_EQ(PixelsOf(picture), (Bytes{9, 8, 7, 6}));
    EXPECT_EQ(picture.GetName(), "one.tga");
    EXPECT_EQ(spy->calls, 0);
}

TEST_F(CodecTest, BmpAndPngDecodeThroughStbAsBgra)
{
    Put("two.bmp", MakeBmp());
    Put("two.png", MakePng());
    nLogCapture log;

    nPicture bmp;
    ASSERT_TRUE(nPicture::LoadContent(&bmp, "two.bmp"));
    EXPECT_EQ(bmp.GetFormat(), PixelFormatBGRA8);
    EXPECT_EQ(bmp.GetWidth(), 2u);
    EXPECT_EQ(bmp.GetHeight(), 2u);
    // Top row first, blue, green, red as stored, opaque.
    EXPECT_EQ(PixelsOf(bmp), (Bytes{7, 8, 9, 255, 10, 11, 12, 255, 1, 2, 3, 255, 4, 5, 6, 255}));

    nPicture png;
    ASSERT_TRUE(nPicture::LoadContent(&png, "two.png"));
    EXPECT_EQ(png.GetFormat(), PixelFormatBGRA8);
    EXPECT_EQ(PixelsOf(png), (Bytes{30, 20, 10, 40, 70, 60, 50, 80, 110, 100, 90, 120, 150, 140, 130, 255}));
    EXPECT_TRUE(log.Lines().empty());

    // The same bytes cut inside the header are refused by every decoder.
    Bytes cut = MakePng();
    cut.resize(30);
    Put("cut.png", cut);
    nPicture broken;
    EXPECT_FALSE(nPicture::LoadContent(&broken, "cut.png"));
    EXPECT_EQ(log.Lines(), Lines{"[!] No picture decoder for 'cut.png'.\n"});
}

TEST_F(CodecTest, CodecsAreTriedInOrderAndTheirBlockAdopted)
{
    float white[3] = {1.0f, 1.0f, 1.0f};
    Bytes floats(12);
    std::memcpy(floats.data(), white, 12);
    FakeCodec* first = new FakeCodec("Floats", "FLOAT", PictureCodecRead | PictureCodecFloat, floats);
    FakeCodec* second = new FakeCodec("Bytes", "FLOAT", PictureCodecRead, {1, 2, 3, 4});
    RegisterPictureCodec(first, false);
    RegisterPictureCodec(second, false);

    Bytes file;
    PutText(file, "FLOAT and more");
    Put("f.bin", file);
    nPicture picture;
    ASSERT_TRUE(nPicture::LoadContent(&picture, "f.bin"));
    EXPECT_EQ(picture.GetFormat(), PixelFormatRGBFloat);
    EXPECT_EQ(PixelsOf(picture), floats);
    EXPECT_EQ(first->calls, 1);
    EXPECT_EQ(second->calls, 0);
}

TEST_F(CodecTest, ABlockThePictureCannotTakeIsFreedAndTheNextCodecTried)
{
    // Claims a picture of width 0: Allocate refuses it, the block is freed (leak check).
    FakeCodec* zero = new FakeCodec("Zero", "ZERO", PictureCodecRead, {1, 2, 3, 4}, 0);
    FakeCodec* next = new FakeCodec("AfterZero", "ZERO", PictureCodecRead, {5, 6, 7, 8});
    RegisterPictureCodec(zero, false);
    RegisterPictureCodec(next, false);
    Bytes file;
    PutText(file, "ZERO!");
    Put("z.bin", file);
    nLogCapture log;
    nPicture picture;
    ASSERT_TRUE(nPicture::LoadContent(&picture, "z.bin"));
    EXPECT_EQ(PixelsOf(picture), (Bytes{5, 6, 7, 8}));
    EXPECT_EQ(log.Lines(), Lines{"[!] Failed to allocate picture buffer (0x1@32bpp).\n"});
}
