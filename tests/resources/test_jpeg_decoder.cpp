// The engine's own JPEG decoder against files written by libjpeg-turbo's cjpeg (tests/resources/jpeg,
// made by make_fixtures.py there): pixels within a small tolerance of stb_image on the same files,
// the statuses of the streams it refuses (bytes of good files patched), and streams cut short or
// damaged, which must never read outside their bytes.
#include "core/nIOFile.h"
#include "resources/nJPEGDecoder.h"
#include "resources/nPicture.h"
#include "resources/nPictureIOCodec.h"
#include "resources/nPictureIOSmallCodec.h"
#include "tests/resources/nResourceTestSupport.h"
#include "tests/support/nLogCapture.h"

#include <gtest/gtest.h>
#include <stb/stb_image.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>

using Lines = std::vector<std::string>;

namespace {

Bytes Fixture(const std::string& name)
{
    const char* root = std::getenv("QZ_TEST_DATA");
    std::ifstream in(std::string(root ? root : ".") + "/jpeg/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A stream over bytes in memory that hands out at most `chunk` bytes a read.
class MemoryStream : public jpeg_decoder_stream
{
public:
    MemoryStream(const Bytes& bytes, int chunk = 1 << 30) : m_bytes(bytes), m_chunk(chunk) {}
    int Read(uint8_t* buffer, int size, bool* endOfStream) override
    {
        const int n = std::min<int>({size, m_chunk, int(m_bytes.size() - m_pos)});
        std::copy_n(m_bytes.begin() + m_pos, n, buffer);
        m_pos += size_t(n);
        if (m_pos == m_bytes.size()) *endOfStream = true;
        return n;
    }
    void Attach() override { ++attached; }
    void Detach() override { ++detached; }

    int attached = 0, detached = 0;

private:
    const Bytes& m_bytes;
    int m_chunk;
    size_t m_pos = 0;
};

struct Decoded
{
    int status = 0;  // constructor's, then begin's
    uint32_t width = 0, height = 0;
    int bytesPerPixel = 0;
    Bytes pixels;  // rows as decode hands them out (grey or RGB + 255)
    int rows = 0;
};

Decoded Decode(const Bytes& file, int chunk = 1 << 30)
{
    Decoded d;
    MemoryStream stream(file, chunk);
    jpeg_decoder decoder(&stream);
    d.status = decoder.GetStatus();
    if (d.status) return d;
    if (decoder.begin() != 0) {
        d.status = decoder.GetStatus();
        return d;
    }
    d.width = decoder.GetWidth();
    d.height = decoder.GetHeight();
    d.bytesPerPixel = decoder.GetBytesPerPixel();
    const uint8_t* row = nullptr;
    uint32_t bytes = 0;
    while (decoder.decode(&row, &bytes) == 0) {
        EXPECT_EQ(bytes, d.width * uint32_t(d.bytesPerPixel));
        d.pixels.insert(d.pixels.end(), row, row + bytes);
        ++d.rows;
    }
    return d;
}

// stb_image's pixels of the same file, with our channel layout (grey, or RGB and 255).
Bytes Stb(const Bytes& file, int components, int& width, int& height)
{
    int n = 0;
    uint8_t* p = stbi_load_from_memory(file.data(), int(file.size()), &width, &height, &n, components);
    if (!p) return Bytes();
    Bytes out(p, p + size_t(width) * height * components);
    stbi_image_free(p);
    return out;
}

struct FixtureCase
{
    const char* name;
    uint32_t width, height;
    int bytesPerPixel;
};

const FixtureCase kFixtures[] = {
    {"h1v1.jpg", 61, 43, 4},
    {"h2v1.jpg", 61, 43, 4},
    {"h1v2.jpg", 61, 43, 4},
    {"h2v2.jpg", 61, 43, 4},
    {"grey.jpg", 61, 43, 1},
    {"h2v2_q100.jpg", 40, 24, 4},
    {"h2v2_optimized.jpg", 61, 43, 4},
    {"h2v2_restart1.jpg", 61, 43, 4},
    {"h1v1_restart7.jpg", 61, 43, 4},
    {"grey_restart3.jpg", 61, 43, 1},
    {"progressive_h2v2.jpg", 61, 43, 4},
    {"progressive_h1v1.jpg", 61, 43, 4},
    {"progressive_h2v1_restart2.jpg", 61, 43, 4},
    {"progressive_grey.jpg", 61, 43, 1},
    {"one_pixel.jpg", 1, 1, 4},
    {"odd_17x9.jpg", 17, 9, 4},
    {"wide_203x5.jpg", 203, 5, 4},
};

// libjpeg-turbo's decode of the same file with chroma samples repeated (as ours), when kept: the
// pixels of a PPM as red, green, blue, 255.
Bytes Reference(const std::string& jpegName)
{
    const Bytes ppm = Fixture(jpegName.substr(0, jpegName.size() - 4) + ".ppm");
    if (ppm.empty()) return Bytes();
    size_t pos = 0;
    for (int newlines = 0; pos < ppm.size() && newlines < 3; ++pos)
        if (ppm[pos] == '\n') ++newlines;
    Bytes rgba;
    for (; pos + 2 < ppm.size(); pos += 3) rgba.insert(rgba.end(), {ppm[pos], ppm[pos + 1], ppm[pos + 2], 255});
    return rgba;
}

int WorstDifference(const Bytes& a, const Bytes& b)
{
    int worst = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    return worst;
}

// Luma of RGB pixels: the same whichever way a decoder fills chroma between its samples.
Bytes Luma(const Bytes& rgba)
{
    Bytes y;
    for (size_t i = 0; i + 3 < rgba.size(); i += 4)
        y.push_back(uint8_t((77 * rgba[i] + 150 * rgba[i + 1] + 29 * rgba[i + 2]) >> 8));
    return y;
}

// The offset of the first marker FF <code>, or the file's size.
size_t FindMarker(const Bytes& file, uint8_t code)
{
    for (size_t i = 0; i + 1 < file.size(); ++i)
        if (file[i] == 0xFF && file[i + 1] == code) return i;
    return file.size();
}

}

TEST(JpegDecoder, FixturesDecodeWithinToleranceOfStbImage)
{
    for (const FixtureCase& c : kFixtures) {
        SCOPED_TRACE(c.name);
        const Bytes file = Fixture(c.name);
        ASSERT_FALSE(file.empty());
        const Decoded whole = Decode(file);
        ASSERT_EQ(whole.status, 0);
        EXPECT_EQ(whole.width, c.width);
        EXPECT_EQ(whole.height, c.height);
        EXPECT_EQ(whole.bytesPerPixel, c.bytesPerPixel);
        EXPECT_EQ(whole.rows, int(c.height));
        EXPECT_EQ(Decode(file, 7).pixels, whole.pixels);  // refills in the middle of everything

        int w = 0, h = 0;
        const Bytes peer = Stb(file, c.bytesPerPixel, w, h);
        ASSERT_EQ(peer.size(), whole.pixels.size());
        const Bytes reference = Reference(c.name);
        if (!reference.empty()) {
            // Subsampled: chroma as libjpeg repeats it, luma as stb_image gives it.
            EXPECT_LE(WorstDifference(reference, whole.pixels), 3);
            EXPECT_LE(WorstDifference(Luma(peer), Luma(whole.pixels)), 5);
        } else {
            EXPECT_LE(WorstDifference(peer, whole.pixels), 3);
        }
    }
}

TEST(JpegDecoder, ProgressiveAndBaselineFilesOfOnePictureDecodeAlike)
{
    const Decoded baseline = Decode(Fixture("h2v2.jpg"));
    const Decoded progressive = Decode(Fixture("progressive_h2v2.jpg"));
    ASSERT_EQ(baseline.pixels.size(), progressive.pixels.size());
    EXPECT_LE(WorstDifference(baseline.pixels, progressive.pixels), 2);
    EXPECT_EQ(Decode(Fixture("h2v2_restart1.jpg")).pixels, baseline.pixels);
    EXPECT_EQ(Decode(Fixture("h2v2_optimized.jpg")).pixels, baseline.pixels);
}

TEST(JpegDecoder, RefusedStreamsGiveTheirStatus)
{
    const Bytes base = Fixture("h2v2.jpg");
    const size_t sof = FindMarker(base, 0xC0), dht = FindMarker(base, 0xC4), dqt = FindMarker(base, 0xDB);
    const size_t sos = FindMarker(base, 0xDA);
    ASSERT_LT(sos, base.size());

    auto patched = [&](std::function<void(Bytes&)> change) { Bytes b = base; change(b); return b; };
    auto insertSegment = [&](size_t at, Bytes segment) {
        Bytes b = base;
        b.insert(b.begin() + long(at), segment.begin(), segment.end());
        return b;
    };
    // DHT counts moved so that three codes claim length 1: more codes than the length holds.
    Bytes oversubscribed = base;
    {
        uint8_t* counts = &oversubscribed[dht + 5];
        int moved = 3 - counts[0];
        counts[0] = 3;
        for (int i = 15; i > 0 && moved > 0; --i) {
            const int take = std::min<int>(counts[i], moved);
            counts[i] = uint8_t(counts[i] - take);
            moved -= take;
        }
    }
    Bytes fourProgressive = {0xFF, 0xD8, 0xFF, 0xC2, 0, 20, 8, 0, 8, 0, 8, 4};
    for (uint8_t id = 1; id <= 4; ++id) fourProgressive.insert(fourProgressive.end(), {id, 0x11, 0});
    fourProgressive.insert(fourProgressive.end(), {0xFF, 0xD9});

    struct Case
    {
        const char* what;
        Bytes file;
        int status;
    };
    const Case cases[] = {
        {"lossless frame", patched([&](Bytes& b) { b[sof + 1] = 0xC3; }), JPEG_UNSUPPORTED_MARKER},
        {"arithmetic frame", patched([&](Bytes& b) { b[sof + 1] = 0xC9; }), JPEG_NO_ARITHMETIC_SUPPORT},
        {"arithmetic file", Fixture("arithmetic.jpg"), JPEG_NO_ARITHMETIC_SUPPORT},
        {"12-bit samples", patched([&](Bytes& b) { b[sof + 4] = 12; }), JPEG_BAD_PRECISION},
        {"height 0", patched([&](Bytes& b) { b[sof + 5] = 0; b[sof + 6] = 0; }), JPEG_BAD_HEIGHT},
        {"width 8193", patched([&](Bytes& b) { b[sof + 7] = 0x20; b[sof + 8] = 0x01; }), JPEG_BAD_WIDTH},
        {"frame length", patched([&](Bytes& b) { b[sof + 3] += 1; }), JPEG_BAD_SOF_LENGTH},
        {"five components", patched([&](Bytes& b) { b[sof + 9] = 5; }), JPEG_TOO_MANY_COMPONENTS},
        {"frame quantisation table 4", patched([&](Bytes& b) { b[sof + 12] = 4; }), JPEG_BAD_DQT_TABLE},
        {"DQT index 4", patched([&](Bytes& b) { b[dqt + 4] = 4; }), JPEG_BAD_DQT_TABLE},
        {"DQT too short", patched([&](Bytes& b) { b[dqt + 3] = 40; }), JPEG_BAD_DQT_LENGTH},
        {"DHT index past the AC tables", patched([&](Bytes& b) { b[dht + 4] = 0x14; }), JPEG_BAD_DHT_INDEX},
        {"DHT length 1", patched([&](Bytes& b) { b[dht + 2] = 0; b[dht + 3] = 1; }), JPEG_BAD_DHT_MARKER},
        {"DHT over-subscribed", oversubscribed, JPEG_BAD_DHT_COUNTS},
        {"DRI length 5", insertSegment(sof, {0xFF, 0xDD, 0, 5, 0, 1, 0}), JPEG_BAD_DRI_LENGTH},
        {"segment length 1", insertSegment(2, {0xFF, 0xE1, 0, 1}), JPEG_BAD_VARIABLE_MARKER},
        {"restart marker among headers", insertSegment(2, {0xFF, 0xD3}), JPEG_UNEXPECTED_MARKER},
        {"no image start", Bytes(600, 0x20), JPEG_NOT_JPEG},
        {"4:1:1", Fixture("h4v1.jpg"), JPEG_UNSUPPORTED_SAMP_FACTORS},
        {"progressive with four components", fourProgressive, JPEG_UNSUPPORTED_COLORSPACE},
        {"scan of an unknown component", patched([&](Bytes& b) { b[sos + 5] = 9; }), JPEG_BAD_SOS_COMPONENT_ID},
        {"scan of five components", patched([&](Bytes& b) { b[sos + 4] = 5; }), JPEG_BAD_SOS_LENGTH},
        {"scan with an undefined table", patched([&](Bytes& b) { b[sos + 6] = 0x22; }), JPEG_UNDEFINED_HUFF_TABLE},
        {"no scan", Bytes(base.begin(), base.begin() + long(sos)), JPEG_UNEXPECTED_MARKER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Decoded d = Decode(c.file);
        EXPECT_EQ(d.status, c.status);
        EXPECT_TRUE(d.pixels.empty());
    }
}

TEST(JpegDecoder, AfterAnErrorEveryCallGivesMinusOneAndTheMemoryIsReleased)
{
    const Bytes file = Fixture("h4v1.jpg");
    MemoryStream stream(file);
    jpeg_decoder decoder(&stream);
    ASSERT_EQ(decoder.GetStatus(), 0);
    EXPECT_EQ(stream.attached, 1);
    const uint8_t* row = nullptr;
    EXPECT_EQ(decoder.decode(&row, nullptr), -1);  // before begin
    EXPECT_EQ(decoder.begin(), JPEG_UNSUPPORTED_SAMP_FACTORS);
    EXPECT_EQ(stream.detached, 1);
    EXPECT_EQ(decoder.begin(), -1);
    EXPECT_EQ(decoder.decode(&row, nullptr), -1);
    EXPECT_EQ(stream.detached, 1);
}

TEST(JpegDecoder, RestartMarkersOutOfSequenceStopTheRows)
{
    Bytes file = Fixture("h2v2_restart1.jpg");
    const size_t rst = FindMarker(file, 0xD0);
    ASSERT_LT(rst, file.size());
    file[rst + 1] = 0xD1;
    MemoryStream stream(file);
    jpeg_decoder decoder(&stream);
    ASSERT_EQ(decoder.begin(), 0);
    const uint8_t* row = nullptr;
    EXPECT_EQ(decoder.decode(&row, nullptr), -1);  // the first MCU row needs the restart
    EXPECT_EQ(decoder.GetStatus(), JPEG_BAD_RESTART_MARKER);
}

TEST(JpegDecoder, StreamsCutShortGiveTheWholePicture)
{
    for (const char* name : {"h2v2_restart1.jpg", "progressive_h2v2.jpg", "grey.jpg"}) {
        SCOPED_TRACE(name);
        const Bytes file = Fixture(name);
        const Decoded whole = Decode(file);
        const size_t sos = FindMarker(file, 0xDA);
        // Without its end marker the file decodes as it is.
        EXPECT_EQ(Decode(Bytes(file.begin(), file.end() - 2)).pixels, whole.pixels);
        for (size_t cut = 0; cut < file.size(); ++cut) {
            const Decoded d = Decode(Bytes(file.begin(), file.begin() + long(cut)));
            if (cut < sos + 14) continue;  // headers incomplete: refused or not
            ASSERT_EQ(d.status, 0) << cut;
            ASSERT_EQ(d.rows, int(whole.height)) << cut;
        }
    }
}

TEST(JpegDecoder, DamagedStreamsNeverReadOutsideTheirBytes)
{
    std::mt19937 random(30);
    for (const char* name : {"h2v2_restart1.jpg", "progressive_h2v1_restart2.jpg", "grey.jpg", "h1v1.jpg"}) {
        const Bytes file = Fixture(name);
        for (int round = 0; round < 300; ++round) {
            Bytes damaged = file;
            const int flips = 1 + int(random() % 8);
            for (int i = 0; i < flips; ++i) damaged[random() % damaged.size()] ^= uint8_t(1u << (random() % 8));
            const Decoded d = Decode(damaged, 1 + int(random() % 64));
            EXPECT_LE(d.rows, int(d.height));  // corrupt data stops the rows early
            EXPECT_EQ(d.pixels.size(), size_t(d.width) * d.rows * d.bytesPerPixel);
        }
    }
}

namespace {

class SmallCodecTest : public nMemoryFSTest
{
protected:
    SmallCodecTest() { RegisterPictureCodecs(false); }
};

}

TEST_F(SmallCodecTest, ColourJpegsLoadThroughTheSmallCodecAsBgra)
{
    nPictureIOCodec* small = FindPictureCodec("Small");
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(small->GetDescription(), "JPEG Small read-only codec.");
    EXPECT_EQ(GetPictureCodecs().GetHead(), small);  // before stb_image

    const Bytes file = Fixture("h2v1.jpg");
    Put("photo.jpg", file);
    nLogCapture log;
    nPicture picture;
    ASSERT_TRUE(nPicture::LoadContent(&picture, "photo.jpg"));
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_EQ(picture.GetFormat(), PixelFormatBGRA8);
    const Decoded d = Decode(file);
    ASSERT_EQ(picture.GetByteSize(), d.pixels.size());
    for (size_t i = 0; i < d.pixels.size(); i += 4) {  // ours, not stb_image's, byte for byte
        ASSERT_EQ(picture.GetPixels()[i], d.pixels[i + 2]) << i;
        ASSERT_EQ(picture.GetPixels()[i + 1], d.pixels[i + 1]) << i;
        ASSERT_EQ(picture.GetPixels()[i + 2], d.pixels[i]) << i;
        ASSERT_EQ(picture.GetPixels()[i + 3], 255) << i;
    }
}

TEST_F(SmallCodecTest, RefusedJpegsSayWhyAndGoOnToStbImage)
{
    struct Case
    {
        const char* name;
        const char* line;
    };
    const Case cases[] = {
        {"grey.jpg", "[!] Small JPEG interface only implements RGB (3 components) decoding!\n"},
        {"h4v1.jpg", "[!] Small JPEG decoder failed (begin)! Error status: -226.\n"},
    };
    for (const Case& c : cases) {
        Put(c.name, Fixture(c.name));
        nLogCapture log;
        nPicture picture;
        EXPECT_TRUE(nPicture::LoadContent(&picture, c.name)) << c.name;
        EXPECT_EQ(log.Lines(), Lines{c.line});
        EXPECT_NE(picture.GetPixels(), nullptr);
    }
}

TEST_F(SmallCodecTest, AFileCutShortLoadsWholeAndDamageLeavesLaterRowsZero)
{
    const Bytes file = Fixture("h2v2.jpg");
    Put("cut.jpg", Bytes(file.begin(), file.begin() + long(file.size() * 2 / 3)));
    nPicture cut;
    ASSERT_TRUE(nPicture::LoadContent(&cut, "cut.jpg"));
    EXPECT_EQ(cut.GetWidth(), 61u);
    EXPECT_EQ(cut.GetHeight(), 43u);
    EXPECT_EQ(cut.GetPixels()[(42 * 61 + 60) * 4 + 3], 255);  // rows past the end decode, grey

    // A run past the last coefficient in the first MCU row: no row is delivered, all stay zero.
    Bytes damaged = file;
    const size_t sos = FindMarker(damaged, 0xDA);
    const size_t data = sos + 2 + (size_t(damaged[sos + 2]) << 8 | damaged[sos + 3]);
    for (size_t i = data; i < data + 24 && i < damaged.size(); ++i) damaged[i] = 0xF0;
    Put("damaged.jpg", damaged);
    nPicture picture;
    uint32_t w = 0, h = 0;
    uint8_t* pixels = nullptr;
    nIOFile f;
    ASSERT_TRUE(f.Open("damaged.jpg", true, false, false));
    ASSERT_TRUE(DecodeSmallJPEG(f, w, h, pixels));
    EXPECT_EQ(w * h, 61u * 43u);
    EXPECT_EQ(pixels[(42 * 61 + 60) * 4 + 3], 0);
    nPictureFreePixels(pixels);
}
