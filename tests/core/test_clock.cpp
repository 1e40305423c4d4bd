#include "core/nClock.h"
#include "core/nRandom.h"
#include "core/nString.h"
#include "core/nThread.h"
#include "core/nTimer.h"

#include <gtest/gtest.h>

namespace {

// ---- random generator ----

struct SeedCase
{
    uint32_t seed;
    int first, second, third;
};

TEST(nRandom, SeedsReplayTheirSequences)
{
    const SeedCase cases[] = {
        {0, 234, 563, 749},
        {77, 320, 455, 14},
        {8269, 320, 455, 14},  // same low 13 bits as 77
    };
    for (const SeedCase& c : cases) {
        nRandSeed(c.seed);
        EXPECT_EQ(nRandInt(1000), c.first) << "seed " << c.seed;
        EXPECT_EQ(nRandInt(1000), c.second) << "seed " << c.seed;
        EXPECT_EQ(nRandInt(1000), c.third) << "seed " << c.seed;
    }
}

TEST(nRandom, FloatUsesLow16BitsOfTheFirstWord)
{
    nRandSeed(0);
    EXPECT_EQ(nRandFloat(1.0f), 0.684967041015625f);  // 44890 / 65536, exact in float
    nRandSeed(0);
    EXPECT_EQ(nRandFloat(4.0f), 4.0f * 0.684967041015625f);
}

TEST(nRandom, RangeInterpolatesFromLowTowardsHigh)
{
    const float t = 0.684967041015625f;
    nRandSeed(0);
    EXPECT_FLOAT_EQ(nRandRange(10.0f, 20.0f), 10.0f + 10.0f * t);
    nRandSeed(0);
    EXPECT_FLOAT_EQ(nRandRange(20.0f, 10.0f), 20.0f - 10.0f * t);
}

TEST(nRandom, IntOfZeroDoesNotStepButIntOfOneDoes)
{
    nRandSeed(0);
    EXPECT_EQ(nRandInt(0), 0);
    EXPECT_EQ(nRandInt(1000), 234) << "nRandInt(0) must leave the state alone";

    nRandSeed(0);
    EXPECT_EQ(nRandInt(1), 0);
    EXPECT_EQ(nRandInt(1000), 563) << "nRandInt(1) must step";
}

TEST(nRandom, DrawsStayInTheirRanges)
{
    nRandSeed(12345);
    for (int i = 0; i < 10000; ++i) {
        int n = nRandInt(7);
        ASSERT_GE(n, 0);
        ASSERT_LT(n, 7);
        float f = nRandFloat(3.0f);
        ASSERT_GE(f, 0.0f);
        ASSERT_LT(f, 3.0f);
    }
}

// ---- clock ----

TEST(nClock, AdvancesInTenThousandthsOfASecond)
{
    nClockTicks before = nGetClock();
    nSleep(30);
    nClockTicks after = nGetClock();
    EXPECT_GE(after - before, 299u);  // at least 30 ms, one tick of truncation
    EXPECT_EQ(nClockFrequency, 10000);
    uint32_t low = nGetClock32();
    nClockTicks full = nGetClock();
    EXPECT_LE((uint32_t)full - low, 10u) << "the 32-bit clock is the low half of the 64-bit one";
}

TEST(nClock, PlatformAndLocaleNames)
{
    EXPECT_TRUE(GetPlatformName() == "Win32");
    EXPECT_TRUE(GetLocaleName() == "EN");
}

// ---- timer with an injected clock ----

uint32_t g_now = 0;
uint32_t FakeClock() { return g_now; }

class nTimerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_now = 0;
        timer.SetClock(FakeClock);
        timer.Reset();
    }

    void Interval(uint32_t from, uint32_t to, bool uncounted = false)
    {
        g_now = from;
        timer.Start(uncounted);
        g_now = to;
        timer.Stop();
    }

    nTimer timer;
};

TEST_F(nTimerTest, StartReturnsNowAndStopMeasuresTheInterval)
{
    g_now = 40;
    EXPECT_EQ(timer.Start(), 40u);
    g_now = 540;
    EXPECT_EQ(timer.Stop(), 0.0f) << "period of 540 ticks is still open";
    EXPECT_FLOAT_EQ(timer.GetLastMs(), 50.0f);
    EXPECT_EQ(timer.GetAccumulated(), 500u);
    EXPECT_EQ(timer.GetCount(), 1u);
}

TEST_F(nTimerTest, PeriodClosesOnlyAfterMoreThanAThousandTicks)
{
    Interval(100, 300);
    Interval(600, 1000);  // exactly 1000 after the period start: still open
    EXPECT_EQ(timer.GetCount(), 2u);
    EXPECT_EQ(timer.GetRate(), 0.0f);

    Interval(1000, 1001);  // 1001 ticks: closes
    EXPECT_EQ(timer.GetCount(), 0u);
    EXPECT_EQ(timer.GetAccumulated(), 0u);
    // 3 calls over 601 measured ticks in a period of 1001 ticks.
    EXPECT_FLOAT_EQ(timer.GetLoad(), 601.0f * 100.0f / 1001.0f);
    EXPECT_FLOAT_EQ(timer.GetAverageMs(), 601.0f / 3.0f / 10.0f);
    EXPECT_FLOAT_EQ(timer.GetRate(), 3.0f * 10000.0f / 601.0f);
}

TEST_F(nTimerTest, ClosedPeriodGivesLoadAverageAndRate)
{
    Interval(100, 300);  // 200 ticks
    g_now = 600;
    timer.Start();
    g_now = 1200;  // 600 ticks; period of 1200 closes
    float rate = timer.Stop();
    EXPECT_FLOAT_EQ(rate, 25.0f);  // 2 calls per 800 ticks = 25 per second
    EXPECT_FLOAT_EQ(timer.GetLoad(), 800.0f * 100.0f / 1200.0f);
    EXPECT_FLOAT_EQ(timer.GetAverageMs(), 40.0f);
    EXPECT_FLOAT_EQ(timer.GetLastMs(), 60.0f);
    EXPECT_FLOAT_EQ(timer.GetPreviousLastMs(), 20.0f);

    // The next period starts at 1200; its first short Stop returns the rate unchanged.
    Interval(1300, 1400);
    EXPECT_FLOAT_EQ(timer.GetRate(), 25.0f);
    Interval(2300, 2500);  // closes: 2 calls over 300 ticks
    EXPECT_FLOAT_EQ(timer.GetPreviousAverageMs(), 40.0f);
    EXPECT_FLOAT_EQ(timer.GetAverageMs(), 15.0f);
}

TEST_F(nTimerTest, PeriodWithoutCallsGivesZeroAverageAndRate)
{
    Interval(0, 1500, true);  // measured but not counted
    EXPECT_EQ(timer.GetAverageMs(), 0.0f);
    EXPECT_EQ(timer.GetRate(), 0.0f);
    EXPECT_FLOAT_EQ(timer.GetLoad(), 100.0f);

    Interval(3000, 3000);  // counted but nothing measured: no division by zero
    EXPECT_EQ(timer.GetAverageMs(), 0.0f);
    EXPECT_EQ(timer.GetRate(), 0.0f);
    EXPECT_EQ(timer.GetLoad(), 0.0f);
}

TEST_F(nTimerTest, BeginFrameCountsAndShiftsLastMs)
{
    Interval(0, 250);
    timer.BeginFrame();
    EXPECT_EQ(timer.GetCount(), 2u);
    EXPECT_EQ(timer.GetLastMs(), 0.0f);
    EXPECT_FLOAT_EQ(timer.GetPreviousLastMs(), 25.0f);
    Interval(300, 400, true);
    EXPECT_EQ(timer.GetCount(), 2u) << "uncounted Start adds no call";
}

TEST_F(nTimerTest, IntervalsAcrossTheThirtyTwoBitWrap)
{
    g_now = 0xffffff00u;
    timer.Reset();
    Interval(0xffffff00u, 0x100u);  // 512 ticks across the wrap; period still open
    EXPECT_EQ(timer.GetAccumulated(), 512u);
    EXPECT_EQ(timer.GetRate(), 0.0f);
    Interval(0x200u, 0x400u);  // period 1280 ticks: closes
    EXPECT_FLOAT_EQ(timer.GetRate(), 2.0f * 10000.0f / 1024.0f);
    EXPECT_FLOAT_EQ(timer.GetLoad(), 1024.0f * 100.0f / 1280.0f);
}

TEST(nTimer, ResetClearsEverythingAndUsesTheEngineClockByDefault)
{
    nTimer timer;
    timer.Start();
    nSleep(2);
    timer.Stop();
    EXPECT_GT(timer.GetLastMs(), 0.0f);
    timer.Reset();
    EXPECT_EQ(timer.GetCount(), 0u);
    EXPECT_EQ(timer.GetLastMs(), 0.0f);
    EXPECT_EQ(timer.GetRate(), 0.0f);
}

}  // namespace
