// The JPEG decoder's vector steps against the plain ones: the inverse DCT on random coefficient
// blocks (sparse and dense, up to the limits the decoder holds coefficients to), dequantisation
// with every size of quantisation value, colour rows at odd widths with whole and halved chroma,
// and whole decodes of every fixture (and of damaged copies) identical under both.
#include "resources/nJPEGDecoder.h"
#include "resources/nJPEGSteps.h"
#include "tests/resources/nResourceTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

const nJPEGSteps& Plain() { return JpegPlainSteps(); }
const nJPEGSteps& Fast() { return JpegFastSteps(); }

std::string FixtureFolder()
{
    const char* root = std::getenv("QZ_TEST_DATA");
    return std::string(root ? root : ".") + "/jpeg";
}

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class MemoryStream : public jpeg_decoder_stream
{
public:
    explicit MemoryStream(const Bytes& bytes) : m_bytes(bytes) {}
    int Read(uint8_t* buffer, int size, bool* endOfStream) override
    {
        const int n = std::min<int>(size, int(m_bytes.size() - m_pos));
        std::copy_n(m_bytes.begin() + m_pos, n, buffer);
        m_pos += size_t(n);
        if (m_pos == m_bytes.size()) *endOfStream = true;
        return n;
    }

private:
    const Bytes& m_bytes;
    size_t m_pos = 0;
};

struct Decoded
{
    int status = 0;
    int rows = 0;
    Bytes pixels;
    bool operator==(const Decoded& o) const { return status == o.status && rows == o.rows && pixels == o.pixels; }
};

Decoded Decode(const Bytes& file, const nJPEGSteps& steps)
{
    Decoded d;
    MemoryStream stream(file);
    jpeg_decoder decoder(&stream, steps);
    if (decoder.GetStatus() || decoder.begin() != 0) {
        d.status = decoder.GetStatus();
        return d;
    }
    const uint8_t* row = nullptr;
    uint32_t bytes = 0;
    int result;
    while ((result = decoder.decode(&row, &bytes)) == 0) {
        d.pixels.insert(d.pixels.end(), row, row + bytes);
        ++d.rows;
    }
    d.status = result == 1 ? 0 : decoder.GetStatus();
    return d;
}

// A block as the decoder hands it to the inverse DCT: `coded` coefficients set at random places,
// each within +-limit (the decoder holds them to +-16383).
std::vector<int16_t> RandomBlock(std::mt19937& rng, int coded, int limit)
{
    std::vector<int16_t> block(64, 0);
    std::uniform_int_distribution<int> value(-limit, limit), place(0, 63);
    for (int i = 0; i < coded; ++i) block[size_t(i < 64 && coded == 64 ? i : place(rng))] = int16_t(value(rng));
    return block;
}

std::vector<uint8_t> Idct(const nJPEGSteps& steps, const std::vector<int16_t>& block, int stride)
{
    std::vector<uint8_t> out(size_t(7 * stride + 8), 0xAB);
    steps.inverseDCT(block.data(), out.data(), stride);
    return out;
}

}

TEST(JpegSteps, InverseDCTOfRandomBlocksIsThePlainFormsByteForByte)
{
    struct Case
    {
        int coded, limit;
    };
    // Sparse blocks (the usual), dense ones, the size of real coefficients and the decoder's limit.
    const Case cases[] = {{1, 2200}, {3, 2200}, {10, 300}, {20, 2200}, {64, 60}, {64, 2200}, {64, 16383}, {5, 16383}};
    std::mt19937 rng(42);
    for (const Case& c : cases)
        for (int n = 0; n < 2000; ++n) {
            const std::vector<int16_t> block = RandomBlock(rng, c.coded, c.limit);
            const int stride = 8 + 4 * (n % 3);  // the bytes between the rows are left alone
            ASSERT_EQ(Idct(Fast(), block, stride), Idct(Plain(), block, stride))
                << c.coded << " coefficients up to " << c.limit << ", block " << n;
        }
}

TEST(JpegSteps, InverseDCTAtTheLimitsIsThePlainFormsByteForByte)
{
    // Every coefficient at +-16383 in patterns that drive the sums of both passes to their ends.
    std::mt19937 rng(5);
    for (int n = 0; n < 4096; ++n) {
        std::vector<int16_t> block(64);
        for (int k = 0; k < 64; ++k) block[size_t(k)] = int16_t((rng() & 1) ? 16383 : -16383);
        if (n % 4 == 1) std::fill(block.begin() + 8, block.end(), 0);  // one row
        if (n % 4 == 2) {                                              // one column
            for (int k = 0; k < 64; ++k)
                if (k % 8) block[size_t(k)] = 0;
        }
        ASSERT_EQ(Idct(Fast(), block, 8), Idct(Plain(), block, 8)) << "block " << n;
    }
    const std::vector<int16_t> flat(64, 0);
    EXPECT_EQ(Idct(Fast(), flat, 8), Idct(Plain(), flat, 8));
}

TEST(JpegSteps, DequantisationIsThePlainFormsForEveryQuantisationValue)
{
    std::mt19937 rng(9);
    // 8-bit tables, 16-bit tables past the signed range, and values around the limit of 16384.
    const uint16_t unusual[] = {0, 1, 2, 255, 16383, 16384, 16385, 32767, 32768, 65535};
    for (int n = 0; n < 3000; ++n) {
        std::vector<int16_t> in(64), fast(64, 7), plain(64, 7);
        std::vector<uint16_t> quant(64);
        for (int k = 0; k < 64; ++k) {
            in[size_t(k)] = int16_t(n % 2 ? int(rng() % 65536) - 32768 : int(rng() % 513) - 256);
            quant[size_t(k)] = n % 3 == 0 ? uint16_t(rng() % 256) : (n % 3 == 1 ? unusual[rng() % 10] : uint16_t(rng()));
        }
        Fast().dequantise(in.data(), quant.data(), fast.data());
        Plain().dequantise(in.data(), quant.data(), plain.data());
        ASSERT_EQ(fast, plain) << "block " << n;
    }
}

TEST(JpegSteps, ColourRowsAtOddWidthsAreThePlainFormsByteForByte)
{
    std::mt19937 rng(13);
    for (bool half : {false, true})
        for (int width : {1, 2, 7, 15, 16, 17, 31, 33, 61, 203, 2048}) {
            const int chroma = half ? (width + 1) / 2 : width;
            Bytes luma(static_cast<size_t>(width)), cb(static_cast<size_t>(chroma)), cr(static_cast<size_t>(chroma));
            for (Bytes* b : {&luma, &cb, &cr})
                for (uint8_t& v : *b) v = uint8_t(rng());
            // The ends of the ranges, where the sums clamp.
            if (width >= 4) {
                luma[0] = 0;
                cb[0] = 0;
                cr[0] = 0;
                luma[1] = 255;
                cb[chroma > 1 ? 1 : 0] = 255;
                cr[chroma > 1 ? 1 : 0] = 255;
            }
            Bytes fast(size_t(width) * 4 + 4, 0xAB), plain(fast);
            Fast().colourRow(luma.data(), cb.data(), cr.data(), half, fast.data(), width);
            Plain().colourRow(luma.data(), cb.data(), cr.data(), half, plain.data(), width);
            ASSERT_EQ(fast, plain) << (half ? "halved chroma, " : "whole chroma, ") << width << " pixels";
        }
    // Every pair of chroma values with a sweep of luma.
    Bytes luma(256 * 256), cb(256 * 256), cr(256 * 256);
    for (size_t i = 0; i < luma.size(); ++i) {
        cb[i] = uint8_t(i >> 8);
        cr[i] = uint8_t(i);
        luma[i] = uint8_t(i * 7);
    }
    Bytes fast(luma.size() * 4), plain(fast.size());
    Fast().colourRow(luma.data(), cb.data(), cr.data(), false, fast.data(), int(luma.size()));
    Plain().colourRow(luma.data(), cb.data(), cr.data(), false, plain.data(), int(luma.size()));
    EXPECT_EQ(fast, plain);
}

// Every fixture whole, cut short and with damaged bytes: the same status, rows and pixels whichever
// steps decode it.
TEST(JpegSteps, EveryFixtureDecodesTheSameWithEitherSteps)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(FixtureFolder()))
        if (entry.path().extension() == ".jpg") names.push_back(entry.path().string());
    std::sort(names.begin(), names.end());
    ASSERT_GE(names.size(), 10u);
    std::mt19937 rng(17);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const Bytes file = ReadFile(name);
        ASSERT_FALSE(file.empty());
        const Decoded whole = Decode(file, Fast());
        EXPECT_EQ(whole, Decode(file, Plain()));
        const Bytes cut(file.begin(), file.begin() + long(file.size() * 2 / 3));
        EXPECT_EQ(Decode(cut, Fast()), Decode(cut, Plain()));
        for (int n = 0; n < 8; ++n) {
            Bytes damaged = file;
            for (int i = 0; i < 4; ++i) damaged[file.size() / 4 + rng() % (file.size() * 3 / 4)] = uint8_t(rng());
            EXPECT_EQ(Decode(damaged, Fast()), Decode(damaged, Plain())) << "damage " << n;
        }
    }
}
