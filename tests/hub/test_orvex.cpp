#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/nRandom.h"
#include "core/nString.h"
#include "hub/nCoreListener.h"
#include "hub/nOrvex.h"
#include "tests/support/nLogCapture.h"

namespace {

uint32_t g_fakeNow = 0;
uint32_t FakeClock() { return g_fakeNow; }

// An engine on the fake clock, started: the first tick only starts the clock.
class OrvexClock : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_fakeNow = 50000;
        engine.SetClockSource(FakeClock);
    }

    int32_t Advance(uint32_t ticks)
    {
        g_fakeNow += ticks;
        engine.TickClock();
        return engine.GetFrameTime();
    }

    nOrvex engine;
};

TEST_F(OrvexClock, FirstTickMeasuresNothingAndStartsTheClock)
{
    EXPECT_EQ(Advance(0), 0);
    EXPECT_EQ(engine.GetRawFrameTime(), 0);
    EXPECT_EQ(engine.GetTotalClock(), 0);
    EXPECT_EQ(Advance(250), 250);
    EXPECT_EQ(engine.GetRawFrameTime(), 250);
    EXPECT_EQ(engine.GetTotalClock(), 250);
}

TEST_F(OrvexClock, SpeedScalesTheFrameTimeButNotTheRawTime)
{
    struct Case
    {
        float scale;
        uint32_t raw;
        int32_t frame;
    };
    const Case cases[] = {
        {1.0f, 200, 200},
        {0.5f, 200, 100},  // speed 500
        {0.0f, 200, 0},    // the clock stands still while raw time follows the wall clock
        {2.0f, 333, 666},
        {0.3f, 7, 2},     // 300 * 7 / 1000 truncates
        {-1.0f, 100, 0},  // a negative frame time becomes 0 ...
    };
    Advance(0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scale);
        engine.SetClockScale(c.scale);
        int32_t total = engine.GetTotalClock();
        EXPECT_EQ(Advance(c.raw), c.frame);
        EXPECT_EQ(engine.GetRawFrameTime(), (int32_t)c.raw);
        if (c.scale >= 0.0f) {
            EXPECT_EQ(engine.GetTotalClock(), total + c.frame);
        }
    }
    // ... but the total took the negative amount, as the frame time is clamped after it.
    EXPECT_EQ(engine.GetTotalClock(), 200 + 100 + 0 + 666 + 2 - 100);
}

TEST_F(OrvexClock, FixedFrameTimeWithRateCorrectionRunsTheWorkedSequence)
{
    nLogCapture log;
    engine.SetFixedDeltaFrame(0.0166f);
    EXPECT_EQ(engine.GetFixedFrameTime(), 166);
    engine.SetFixedFramerateCorrection(60);
    engine.ResetClock();
    int32_t total = engine.GetTotalClock();

    const int32_t expected[] = {166, 167, 166, 167, 167, 166, 167, 167, 166};
    int32_t corrections = 0;
    for (int i = 0; i < 60; ++i) {
        int32_t frame = Advance(3);  // the wall clock plays no part
        if (i < 9) {
            EXPECT_EQ(frame, expected[i]) << "frame " << i;
        }
        corrections += frame - 166;
    }
    EXPECT_EQ(engine.GetTotalClock() - total, 9999);
    std::vector<std::string> lines = log.Lines();
    ASSERT_EQ((int32_t)lines.size(), corrections);
    EXPECT_EQ(lines[0], "Applying clock correction of 1 units.\n");
}

TEST_F(OrvexClock, FixedFrameTimeEdgeCases)
{
    nLogCapture log;
    Advance(0);

    engine.SetFixedDeltaFrame(0.0f);  // 0 counts as off
    EXPECT_EQ(Advance(123), 123);

    engine.SetFixedDeltaFrame(0.02f);  // 200 ticks, scaled by the speed
    engine.SetClockScale(0.5f);
    EXPECT_EQ(Advance(1), 100);
    engine.SetClockScale(1.0f);

    for (int32_t rate : {0, -1}) {  // no correction without a positive rate
        engine.SetFixedFramerateCorrection(rate);
        for (int i = 0; i < 10; ++i) EXPECT_EQ(Advance(1), 200);
    }

    engine.SetFixedDeltaFrame(-1.0f);
    EXPECT_EQ(engine.GetFixedFrameTime(), -1);
    EXPECT_EQ(Advance(77), 77);
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(OrvexClock, SettingTheFixedFrameTimeDropsTheRateCorrection)
{
    engine.SetFixedFramerateCorrection(60);
    engine.SetFixedDeltaFrame(0.0166f);
    EXPECT_EQ(engine.GetTargetRate(), -1);
}

TEST_F(OrvexClock, AFixedFrameLongerThanTheTargetNeverCorrects)
{
    // The remainder only falls here; it must neither overflow nor turn into a large
    // positive correction after many frames.
    nLogCapture log;
    engine.SetFixedDeltaFrame(0.05f);  // 500 ticks, far longer than 1/60 s
    engine.SetFixedFramerateCorrection(60);
    Advance(0);
    for (int i = 0; i < 5000; ++i) ASSERT_EQ(Advance(1), 500) << "frame " << i;
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(OrvexClock, LongStallsAndClockWrapDoNotOverflow)
{
    Advance(0);
    EXPECT_EQ(Advance(3000000), 3000000);  // five minutes in the debugger
    engine.SetClockScale(1000.0f);
    EXPECT_EQ(Advance(3000000), INT32_MAX);  // saturates instead of overflowing
    engine.SetClockScale(1.0f);

    g_fakeNow = 0xfffffff0u;
    engine.TickClock();
    EXPECT_EQ(Advance(0x20), 0x20);  // across the 32-bit wrap
}

TEST_F(OrvexClock, PauseYieldsZeroAndRestartsTheClock)
{
    Advance(0);
    Advance(100);
    int32_t total = engine.GetTotalClock();
    engine.SetPause(true);
    EXPECT_EQ(Advance(100), 0);
    EXPECT_EQ(Advance(100), 0);
    EXPECT_EQ(engine.GetRawFrameTime(), 100);  // unchanged while paused
    engine.SetPause(false);
    EXPECT_EQ(Advance(100), 0);  // the first tick after the pause starts again
    EXPECT_EQ(Advance(100), 100);
    EXPECT_EQ(engine.GetTotalClock(), total + 100);
}

TEST_F(OrvexClock, ResetClockSetsANormalFrameAndKeepsTheTotal)
{
    Advance(0);
    Advance(400);
    engine.ResetClock();
    EXPECT_EQ(engine.GetFrameTime(), 166);
    EXPECT_EQ(engine.GetTotalClock(), 400);
    EXPECT_EQ(Advance(30), 30);  // measured from the reset
}

TEST(Orvex, ConstructionSeedsTheRandomGeneratorWith77)
{
    nRandSeed(1);
    nOrvex engine;
    EXPECT_EQ(nRandInt(1000), 320);
    EXPECT_EQ(nRandInt(1000), 455);
    EXPECT_EQ(nRandInt(1000), 14);
}

TEST(Orvex, ConstructionDefaults)
{
    nOrvex engine;
    EXPECT_EQ(engine.GetToolMode(), NoTool);
    EXPECT_TRUE(engine.GetResourceAutoSetup());
    EXPECT_EQ(engine.GetFixedFrameTime(), -1);
    EXPECT_EQ(engine.GetTargetRate(), -1);
    EXPECT_FLOAT_EQ(engine.GetClockScale(), 1.0f);
    EXPECT_EQ(engine.GetDrawNesting(), 0u);
    EXPECT_EQ(engine.GetLoadingGeometry(), nullptr);
    EXPECT_EQ(engine.GetEventInterface(), engine.GetDefaultEventInterface());
    for (int32_t slot = 0; slot < OrvexHookCount; ++slot) EXPECT_EQ(engine.GetHook(slot), nullptr);
    EXPECT_EQ(g_debugChannel, -1);
    EXPECT_STREQ(nOrvex::GetVersion(), "1.1.7");
    // The null fallbacks are current until a real renderer or mixer is opened.
    ASSERT_NE(engine.GetNullRenderer(), nullptr);
    ASSERT_NE(engine.GetNullMixer(), nullptr);
    EXPECT_EQ((void*)engine.GetRenderer(), (void*)engine.GetNullRenderer());
    EXPECT_EQ((void*)engine.GetMixer(), (void*)engine.GetNullMixer());
}

void RenameMissing(void* argument)
{
    static_cast<nString*>(argument)->Set("fallback.nml");
}

int g_endOfFrameCalls = 0;
void CountEndOfFrame(void* argument)
{
    EXPECT_EQ(argument, nullptr);
    ++g_endOfFrameCalls;
}

TEST(Orvex, HooksAreCalledOnlyWhenInstalled)
{
    nOrvex engine;
    nString name("missing.nml");
    EXPECT_FALSE(engine.CallHook(OrvexHookGeometryMissing, &name));
    EXPECT_TRUE(name == "missing.nml");

    EXPECT_EQ(engine.SetHook(OrvexHookGeometryMissing, RenameMissing), nullptr);
    EXPECT_TRUE(engine.CallHook(OrvexHookGeometryMissing, &name));
    EXPECT_TRUE(name == "fallback.nml");  // the hook may change the name

    EXPECT_EQ(engine.SetHook(OrvexHookGeometryMissing, 0), RenameMissing);
    g_endOfFrameCalls = 0;
    engine.SetHook(OrvexHookEndOfFrame, CountEndOfFrame);
    EXPECT_TRUE(engine.CallHook(OrvexHookEndOfFrame, 0));
    EXPECT_EQ(g_endOfFrameCalls, 1);

    for (int32_t slot : {-1, (int32_t)OrvexHookCount, 1000}) {  // outside the table: nothing happens
        EXPECT_EQ(engine.SetHook(slot, CountEndOfFrame), nullptr);
        EXPECT_EQ(engine.GetHook(slot), nullptr);
        EXPECT_FALSE(engine.CallHook(slot, 0));
    }
}

struct Recorder : nCoreListener
{
    Recorder(std::vector<std::string>* log, const char* name) : log(log), name(name) {}
    int32_t OnCoreEvent(int32_t code, nCoreEventRecord* record) override
    {
        log->push_back(name + ":" + std::to_string(code) + (record && record->texture ? ":texture" : ""));
        if (engine && removeSelf) engine->RemoveCoreListener(this);
        return 0;
    }
    std::vector<std::string>* log;
    std::string name;
    nOrvex* engine = nullptr;
    bool removeSelf = false;
};

TEST(Orvex, CoreListenersHearEveryEventInRegistrationOrder)
{
    nOrvex engine;
    std::vector<std::string> heard;
    Recorder a(&heard, "a"), b(&heard, "b"), c(&heard, "c");
    ASSERT_TRUE(engine.AddCoreListener(&a));
    ASSERT_TRUE(engine.AddCoreListener(&b));
    ASSERT_TRUE(engine.AddCoreListener(&c));

    nCoreEventRecord record;
    record.texture = reinterpret_cast<nTexture*>(&record);
    engine.NotifyCoreListeners(CoreEventResourceDestroying, &record);
    EXPECT_EQ(heard, (std::vector<std::string>{"a:5:texture", "b:5:texture", "c:5:texture"}));

    // A listener may leave while it is being told; the walk goes on with the next one.
    heard.clear();
    b.engine = &engine;
    b.removeSelf = true;
    engine.NotifyCoreListeners(CoreEventResourceLoaded, 0);
    engine.NotifyCoreListeners(CoreEventResourceLoaded, 0);
    EXPECT_EQ(heard, (std::vector<std::string>{"a:4", "b:4", "c:4", "a:4", "c:4"}));

    EXPECT_FALSE(engine.RemoveCoreListener(&b));
    EXPECT_TRUE(engine.RemoveCoreListener(&a));
}

TEST(Orvex, ProgressInterfaceCanBeReplacedOrSwitchedOff)
{
    struct Counting : nOrvex::EventInterface
    {
        void OnMessage(const char* text) override { messages.push_back(text); }
        std::vector<std::string> messages;
    };
    nOrvex engine;
    nOrvex::EventInterface* active = engine.GetEventInterface();
    ASSERT_NE(active, nullptr);
    active->OnBegin();  // the default does nothing
    active->OnProgress("Loading", -1.0f);
    active->OnMessage("Geometry Setup");
    active->OnEnd();

    Counting counting;
    engine.SetEventInterface(&counting);
    engine.GetEventInterface()->OnMessage("Octree Leaf Setup");
    EXPECT_EQ(counting.messages, (std::vector<std::string>{"Octree Leaf Setup"}));
    engine.SetEventInterface(0);
    EXPECT_EQ(engine.GetEventInterface(), nullptr);
}

}
