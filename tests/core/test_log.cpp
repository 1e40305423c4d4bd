#include "core/nLog.h"
#include "tests/support/nLogCapture.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <thread>
#include <vector>

using Lines = std::vector<std::string>;

// ---------------------------------------------------------------------------------------------
// Line classes and the mask

TEST(LogLevel, LineClassFromTheFirstThreeCharacters)
{
    struct Case
    {
        const char* line;
        nLogLevel level;
    };
    const Case cases[] = {
        {"[!] x\n", LogLevelError},
        {"[*] x\n", LogLevelWarning},
        {"[H] x\n", LogLevelHeading},
        {"[S] x\n", LogLevelScript},
        {"[|] x\n", LogLevelNone},
        {"[?]", LogLevelNone},
        {"[!]", LogLevelError},  // three characters suffice
        {"[!", LogLevelStandard},
        {"[!x] x\n", LogLevelStandard},
        {"[", LogLevelStandard},
        {"x [!] \n", LogLevelStandard},
        {"\n", LogLevelStandard},
        {"", LogLevelStandard},
        {"[s] x\n", LogLevelNone},  // letters are case-sensitive
    };
    for (const Case& c : cases)
        EXPECT_EQ(nLogGetLineClass(c.line), c.level) << '"' << c.line << '"';
}

TEST(LogLevel, MaskFromLetters)
{
    struct Case
    {
        const char* letters;
        uint8_t mask;
    };
    const Case cases[] = {
        {"!S*", 0x1c},
        {"an", 0x00},
        {"n!", 0x08},
        {"a", 0xff},
        {"s", 0x01},
        {"H", 0x02},
        {"*", 0x04},
        {"!", 0x08},
        {"S", 0x10},
        {"sH*!S", 0x1f},
        {"!a", 0xff},
        {"xyz h", 0x00},
        {"", 0x00},
        {"!!", 0x08},
    };
    for (const Case& c : cases)
        EXPECT_EQ(nLogMaskFromLetters(c.letters), c.mask) << c.letters;
    EXPECT_EQ(nLogMaskFromLetters(nullptr), 0x00);
}

TEST(LogMask, LineClassAgainstMask)
{
    const char* lines[] = {"[!] x\n", "[S] y\n", "[*] z\n", "[H] w\n", "v\n", "[|] u\n", "\n", "[!]\n", "[!\n"};
    struct Case
    {
        uint8_t mask;
        Lines written;
    };
    const Case cases[] = {
        {0x1c, {"[!] x\n", "[S] y\n", "[*] z\n", "[|] u\n", "[!]\n"}},
        {0xff, {"[!] x\n", "[S] y\n", "[*] z\n", "[H] w\n", "v\n", "[|] u\n", "\n", "[!]\n", "[!\n"}},
        {0x00, {"[|] u\n"}},
        {0x01, {"v\n", "[|] u\n", "\n", "[!\n"}},
        {0x02, {"[H] w\n", "[|] u\n"}},
        {0x04, {"[*] z\n", "[|] u\n"}},
        {0x08, {"[!] x\n", "[|] u\n", "[!]\n"}},
        {0x10, {"[S] y\n", "[|] u\n"}},
    };
    for (const Case& c : cases) {
        nLogCapture cap;
        g_log->SetMask(c.mask);
        for (const char* line : lines)
            *g_log << line;
        EXPECT_EQ(cap.Lines(), c.written) << "mask " << int(c.mask);
    }
}

TEST(LogMask, StartsWithAllAndPrintRespectsIt)
{
    nLogCapture cap;
    EXPECT_EQ(g_log->GetMask(), 0xff);
    g_log->SetMask(nLogMaskFromLetters("!"));
    EXPECT_EQ(g_log->GetMask(), 0x08);
    g_log->Print("[!] direct\n");
    g_log->Print("[*] filtered\n");
    g_log->Print(nullptr);
    EXPECT_EQ(cap.Lines(), (Lines{"[!] direct\n"}));
}

// ---------------------------------------------------------------------------------------------
// Pieces

TEST(LogPieces, ChainedPiecesFormatAsOneLine)
{
    nLogCapture cap;
    *g_log << "a" << 5 << 1.25f << true << "\n";
    *g_log << "[*] " << int32_t(-7) << "|" << INT_MIN << "|" << static_cast<signed char>(-128) << "|"
           << static_cast<unsigned char>(255) << "|" << -0.5f << "|" << 1e10f << "|" << 1.2346f << "|"
           << false << "|" << static_cast<const char*>(nullptr) << "end\n";
    EXPECT_EQ(cap.Lines(), (Lines{"a51.250TRUE\n",
                                  "[*] -7|-2147483648|-128|255|-0.500|10000000000.000|1.235|FALSE|end\n"}));
}

TEST(LogPieces, OnlyANewlineInATextPieceCompletesALine)
{
    nLogCapture cap;
    *g_log << "x" << 10 << 1.0f << true;
    EXPECT_TRUE(cap.Lines().empty());
    *g_log << "\n";
    EXPECT_EQ(cap.Lines(), (Lines{"x101.000TRUE\n"}));
}

TEST(LogPieces, TextAfterANewlineStartsTheNextLine)
{
    nLogCapture cap;
    *g_log << "P"
           << "x\ny";
    EXPECT_EQ(cap.Lines(), (Lines{"Px\n"}));
    *g_log << "z\n";
    EXPECT_EQ(cap.Lines(), (Lines{"Px\n", "yz\n"}));

    cap.Clear();
    *g_log << "Q"
           << "\n\n";
    *g_log << "a\nb\nc\n";
    EXPECT_EQ(cap.Lines(), (Lines{"Q\n", "\n", "a\n", "b\n", "c\n"}));
}

TEST(LogPieces, ClassOfACarriedOverLineIsItsOwn)
{
    nLogCapture cap;
    g_log->SetMask(LogLevelError);
    *g_log << "[!] first\n[*] second\n[!] third\nplain\n";
    EXPECT_EQ(cap.Lines(), (Lines{"[!] first\n", "[!] third\n"}));
}

TEST(LogPieces, PercentIsLiteral)
{
    nLogCapture cap;
    *g_log << "100%"
           << " %s %d %n %%"
           << "\n";
    EXPECT_EQ(cap.Lines(), (Lines{"100% %s %d %n %%\n"}));
}

TEST(LogOutput, WritesWholeLinesToStandardOutput)
{
    uint8_t mask = g_log->GetMask();
    g_log->SetMask(0xff);
    testing::internal::CaptureStdout();
    *g_log << "[|] 100% " << 3 << " %s\n";
    *g_log << "partial";
    std::string written = testing::internal::GetCapturedStdout();
    *g_log << "\n";  // completes (and prints) the partial line outside the capture
    g_log->SetMask(mask);
    EXPECT_EQ(written, "[|] 100% 3 %s\n");
}

// ---------------------------------------------------------------------------------------------
// Line length

TEST(LogLength, LongLinesAreCutAndStillEndTheLine)
{
    const size_t capacity = nLog::LineCapacity;
    struct Case
    {
        std::vector<std::string> pieces;
        std::string expected;
    };
    const Case cases[] = {
        {{std::string(capacity - 1, 'a'), "\n"}, std::string(capacity - 1, 'a') + "\n"},
        {{std::string(capacity, 'a'), "\n"}, std::string(capacity - 1, 'a') + "\n"},
        {{std::string(5000, 'b') + "\n"}, std::string(capacity - 1, 'b') + "\n"},
        {{std::string(3000, 'c'), std::string(3000, 'd'), "tail\n"},
         std::string(3000, 'c') + std::string(capacity - 1 - 3000, 'd') + "\n"},
    };
    for (const Case& c : cases) {
        nLogCapture cap;
        for (const std::string& piece : c.pieces)
            *g_log << piece.c_str();
        *g_log << "next\n";
        Lines lines = cap.Lines();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0].size(), c.expected.size());
        EXPECT_EQ(lines[0], c.expected);
        EXPECT_EQ(lines[1], "next\n");
    }
}

TEST(LogLength, NumbersBeyondTheLimitAreDropped)
{
    nLogCapture cap;
    *g_log << std::string(nLog::LineCapacity - 2, 'a').c_str() << 12345 << true << "\n";
    Lines lines = cap.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], std::string(nLog::LineCapacity - 2, 'a') + "1\n");
}

// ---------------------------------------------------------------------------------------------
// Capture fixture

TEST(LogCapture, NestsAndRestoresTheLog)
{
    nLog* original = g_log;
    {
        nLogCapture outer;
        EXPECT_EQ(g_log, &outer);
        *g_log << "one\n";
        {
            nLogCapture inner;
            *g_log << "two\n";
            EXPECT_EQ(inner.Lines(), (Lines{"two\n"}));
            EXPECT_EQ(inner.Text(), "two\n");
        }
        EXPECT_EQ(g_log, &outer);
        *g_log << "three\n";
        EXPECT_EQ(outer.Lines(), (Lines{"one\n", "three\n"}));
        EXPECT_EQ(outer.Text(), "one\nthree\n");
    }
    EXPECT_EQ(g_log, original);
}

// ---------------------------------------------------------------------------------------------
// Threads

TEST(LogThreads, ConcurrentLinesStayWhole)
{
    const int kThreads = 4;
    const int kLines = 2000;
    nLogCapture cap;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) {
                *g_log << "[S] thread " << t << " line " << i << " value " << 0.5f << " ok " << (i % 2 == 0)
                       << " end\n";
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    Lines lines = cap.Lines();
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
    std::vector<int> next(kThreads, 0);
    for (const std::string& line : lines) {
        int t = -1, i = -1;
        ASSERT_EQ(std::sscanf(line.c_str(), "[S] thread %d line %d", &t, &i), 2) << line;
        ASSERT_GE(t, 0);
        ASSERT_LT(t, kThreads);
        // Each thread's lines arrive whole and in its own order.
        EXPECT_EQ(i, next[t]) << line;
        std::string expected = "[S] thread " + std::to_string(t) + " line " + std::to_string(i) +
                               " value 0.500 ok " + (i % 2 == 0 ? "TRUE" : "FALSE") + " end\n";
        EXPECT_EQ(line, expected);
        next[t] = i + 1;
    }
}
