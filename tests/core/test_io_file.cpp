// nIOFile streams (typed values in both byte orders, short reads, open and close) and the byte
// helpers.
#include "core/nIOFile.h"
#include "core/nIO.h"
#include "core/nIODiskFS.h"
#include "core/nIOMemoryFS.h"
#include "tests/support/nIOTestSupport.h"
#include "tests/support/nLogCapture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using Lines = std::vector<std::string>;

namespace {

class RefusingCloseFS : public nIOMemoryFS
{
public:
    bool refuse = false;
    bool Close(nIOHandle* handle) override
    {
        const bool closed = nIOMemoryFS::Close(handle);
        return closed && !refuse;
    }
};

// Streams over the disk (current directory) and over a memory file system made current.
class StreamOn : public nIOTest, public ::testing::WithParamInterface<bool>
{
protected:
    StreamOn()
    {
        if (GetParam())
            nIO::SetCurrentFS(&m_mem);
    }
    std::string Bytes(const char* name)
    {
        nIOFile f;
        if (!f.Open(name, true, false, false))
            return "<none>";
        std::string s(size_t(f.GetSize()), '\0');
        f.Read(&s[0], int32_t(s.size()));
        return s;
    }
    nIOMemoryFS m_mem;
};

TEST_P(StreamOn, TypedValuesAreLittleEndianInByteOrderOne)
{
    {
        nIOFile f(1);
        ASSERT_TRUE(f.Open("le.bin", false, true, false));
        EXPECT_TRUE(f.WriteU8(0xA1));
        EXPECT_TRUE(f.WriteU16(0xB2C3));
        EXPECT_TRUE(f.WriteU32(0x11223344));
        float pi = 3.14159f;
        uint32_t bits;
        memcpy(&bits, &pi, 4);
        EXPECT_TRUE(f.WriteU32(bits));
        EXPECT_EQ(f.Tell(), 11);
    }
    EXPECT_EQ(Bytes("le.bin").substr(0, 7), std::string("\xA1\xC3\xB2\x44\x33\x22\x11", 7));

    nIOFile f(1);
    ASSERT_TRUE(f.Open("le.bin", true, false, false));
    EXPECT_EQ(f.ReadU8(), 0xA1);
    EXPECT_EQ(f.ReadU16(), 0xB2C3);
    EXPECT_EQ(f.ReadU32(), 0x11223344u);
    EXPECT_EQ(f.ReadFloat(), 3.14159f);
}

TEST_P(StreamOn, OtherByteOrdersStoreMostSignificantFirstAndReadBack)
{
    const float value = -2.5f;  // bits 0xC0200000
    uint32_t bits;
    memcpy(&bits, &value, 4);
    {
        nIOFile f(0);
        ASSERT_TRUE(f.Open("be.bin", false, true, false));
        f.WriteU16(0xB2C3);
        f.WriteU32(0x11223344);
        f.WriteU32(bits);
    }
    EXPECT_EQ(Bytes("be.bin"), std::string("\xB2\xC3\x11\x22\x33\x44\xC0\x20\x00\x00", 10));
    nIOFile f(0);
    ASSERT_TRUE(f.Open("be.bin", true, false, false));
    EXPECT_EQ(f.ReadU16(), 0xB2C3);
    EXPECT_EQ(f.ReadU32(), 0x11223344u);
    EXPECT_EQ(f.ReadFloat(), value);
}

TEST_P(StreamOn, ShortTypedReadsGiveZero)
{
    {
        nIOFile f;
        ASSERT_TRUE(f.Open("short.bin", false, true, false));
        f.Write("\x01\x02\x03\x04\x05\x06\x07", 7);
    }
    nIOFile f;
    ASSERT_TRUE(f.Open("short.bin", true, false, false));
    EXPECT_EQ(f.ReadU32(), 0x04030201u);
    EXPECT_EQ(f.ReadU32(), 0u);  // 3 bytes left
    EXPECT_TRUE(f.Seek(-1, nIOSeekEnd));
    EXPECT_EQ(f.ReadU16(), 0);
    EXPECT_EQ(f.ReadU8(), 0);
    EXPECT_EQ(f.ReadFloat(), 0.0f);
    f.Rewind();
    EXPECT_EQ(f.Tell(), 0);
    char buffer[16];
    EXPECT_EQ(f.Read(buffer, 16), 7);
}

INSTANTIATE_TEST_SUITE_P(IO, StreamOn, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return std::string(info.param ? "Memory" : "Disc"); });

class Stream : public nIOTest
{};

TEST_F(Stream, ClosedStreamsDoNothingAndCloseQuietly)
{
    nLogCapture log;
    nIOFile f;
    EXPECT_FALSE(f.IsOpen());
    EXPECT_TRUE(f.Close());
    char c;
    EXPECT_EQ(f.Read(&c, 1), 0);
    EXPECT_EQ(f.Write("x", 1), 0);
    EXPECT_EQ(f.GetSize(), 0);
    EXPECT_EQ(f.Tell(), 0);
    EXPECT_FALSE(f.Seek(0, nIOSeekStart));
    EXPECT_FALSE(f.WriteU32(1));
    EXPECT_EQ(f.ReadU32(), 0u);
    EXPECT_FALSE(f.Open("missing.bin", true, false, false));
    EXPECT_FALSE(f.IsOpen());
    EXPECT_TRUE(f.Close());
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(Stream, ReopeningClosesTheHeldHandle)
{
    ASSERT_TRUE(m_dir.Write("a.txt", "a"));
    ASSERT_TRUE(m_dir.Write("b.txt", "bb"));
    nIODiskFS* disk = nIO::GetDiskFS();
    const int32_t before = disk->GetOpenHandleCount();
    nIOFile f;
    ASSERT_TRUE(f.Open("a.txt", true, false, false));
    ASSERT_TRUE(f.Open("b.txt", true, false, false));
    EXPECT_EQ(disk->GetOpenHandleCount(), before + 1);
    EXPECT_EQ(f.GetSize(), 2);
    EXPECT_FALSE(f.Open("missing.txt", true, false, false));
    EXPECT_EQ(disk->GetOpenHandleCount(), before);
    EXPECT_FALSE(f.IsOpen());
}

TEST_F(Stream, AFileSystemRefusingToCloseIsReportedAndTheHandleForgotten)
{
    RefusingCloseFS fs;
    ASSERT_TRUE(PutFile(&fs, "r.txt", "r"));
    fs.refuse = true;
    nIO::SetCurrentFS(&fs);
    nIOFile f;
    ASSERT_TRUE(f.Open("r.txt", true, false, false));
    nLogCapture log;
    EXPECT_FALSE(f.Close());
    EXPECT_EQ(log.Lines(), Lines{"[!] File system failed to close handle.\n"});
    EXPECT_FALSE(f.IsOpen());
    EXPECT_TRUE(f.Close());
    EXPECT_EQ(fs.GetOpenHandleCount(), 0);
}

// ---------------------------------------------------------------------------------------------
// Byte helpers

TEST(ByteHelpers, SwapBytesReversesTwoOrFourOnly)
{
    uint8_t b[4] = {1, 2, 3, 4};
    SwapBytes(2, b);
    EXPECT_EQ(std::vector<int>(b, b + 4), (std::vector<int>{2, 1, 3, 4}));
    SwapBytes(4, b);
    EXPECT_EQ(std::vector<int>(b, b + 4), (std::vector<int>{4, 3, 1, 2}));
    for (int count : {0, 1, 3, 8, -2}) {
        SwapBytes(count, b);
        EXPECT_EQ(std::vector<int>(b, b + 4), (std::vector<int>{4, 3, 1, 2})) << count;
    }
    SwapBytes(4, nullptr);
}

TEST(ByteHelpers, BitCounts)
{
    struct Case
    {
        uint32_t value;
        int32_t bits;
        int32_t trailing;
    };
    const Case cases[] = {
        {0, 0, 32},
        {1, 1, 0},
        {0x80000000u, 1, 31},
        {0x0000FF00u, 8, 8},
        {0x00FF00FFu, 16, 0},
        {0xFFFFFFFFu, 32, 0},
        {0x00010000u, 1, 16},
        {0x0F0F0000u, 8, 16},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CountBits(c.value), c.bits) << std::hex << c.value;
        EXPECT_EQ(CountTrailingZeros(c.value), c.trailing) << std::hex << c.value;
    }
}

TEST(ByteHelpers, MemoryDiffersAgreesWithMemcmpAtEveryLengthAndPosition)
{
    // Unaligned starts too: the word comparison must not assume alignment.
    uint8_t a[12], b[12];
    for (int offset = 0; offset < 3; ++offset) {
        for (int32_t length = 0; length <= 9; ++length) {
            for (int32_t at = -1; at < length; ++at) {
                for (int i = 0; i < 12; ++i)
                    a[i] = b[i] = uint8_t(i * 7 + 1);
                if (at >= 0)
                    b[offset + at] ^= 0x40;
                const bool expected = memcmp(a + offset, b + offset, size_t(length)) != 0;
                EXPECT_EQ(MemoryDiffers(a + offset, b + offset, length), expected)
                    << "offset " << offset << " length " << length << " at " << at;
            }
        }
    }
    EXPECT_TRUE(MemoryDiffers(nullptr, b, 4));
    EXPECT_TRUE(MemoryDiffers(a, nullptr, 0));
    EXPECT_FALSE(MemoryDiffers(a, b, -5));
}

TEST(ByteHelpers, CopyAndFillIgnoreEmptyRequests)
{
    char buffer[8] = "abcdefg";
    nMemCopy(buffer + 1, "XYZ", 3);
    EXPECT_STREQ(buffer, "aXYZefg");
    nMemSet(buffer, '-', 2);
    EXPECT_STREQ(buffer, "--YZefg");
    nMemCopy(buffer, "zz", 0);
    nMemCopy(buffer, "zz", -1);
    nMemCopy(nullptr, "zz", 2);
    nMemSet(buffer, 'q', -3);
    nMemSet(nullptr, 'q', 3);
    EXPECT_STREQ(buffer, "--YZefg");
}

}  // namespace
