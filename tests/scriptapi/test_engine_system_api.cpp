// The Engine and System functions: the clock settings on a fake clock (fixed and corrected
// frame times), the caches and loaders, script-made textures, the old entries and their
// lines, and the System clock, sleep and random generator.

#include <gtest/gtest.h>

#include <new>
#include <string>

#include "core/nRandom.h"
#include "hub/nOrvex.h"
#include "resources/nPicture.h"
#include "resources/nResourceCache.h"
#include "resources/nResourceLoader.h"
#include "resources/nTexture.h"
#include "script/nCObject.h"
#include "scriptapi/nEngineScriptAPI.h"
#include "tests/scriptapi/nScriptAPITestKit.h"

namespace {

uint32_t g_fakeNow = 0;
uint32_t FakeClock() { return g_fakeNow; }

nOrvexParts CacheParts()
{
    nOrvexParts parts;
    parts.caches = nResourceCache::GetEngineOps();
    return parts;
}

class EngineSystemAPI : public nScriptAPITest
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(nScriptAPITest::SetUp());
        cached = new nOrvex(CacheParts());  // an engine with resource caches
        Hold("eng", &engine, objectTypeEngine);
        Hold("cached", cached, objectTypeEngine);
        Hold("nullEngine", 0, objectTypeEngine);
        Hold("nullItem", 0, objectTypeItem);
        g_fakeNow = 1000;
        engine.SetClockSource(FakeClock);
    }
    void TearDown() override
    {
        sq_collectgarbage(v);
        nScriptAPITest::TearDown();
        // Script objects go with the machine first: they hold references on the resources.
        vm.Close();
        delete cached;
    }

    // frames TickClock calls, every reading real time apart by ticks; the total they advance.
    int32_t Frames(int frames, uint32_t ticks = 160)
    {
        int32_t before = engine.GetTotalClock();
        for (int i = 0; i < frames; ++i) {
            g_fakeNow += ticks;
            engine.TickClock();
        }
        return engine.GetTotalClock() - before;
    }

    bool Logged(const std::string& text) const { return log.Text().find(text) != std::string::npos; }

    nOrvex* cached = 0;
};

TEST_F(EngineSystemAPI, FixedFrameTimeAndRateCorrectionOnAFakeClock)
{
    engine.TickClock();  // starts the clock
    Exec("EngineSetFixedDeltaFrame(eng, 1.0 / 60.0)");
    EXPECT_EQ(engine.GetFixedFrameTime(), 166);
    EXPECT_EQ(Frames(60), 60 * 166);

    Exec("EngineSetFixedFramerateCorrection(eng, 60)");
    EXPECT_EQ(engine.GetTargetRate(), 60);
    EXPECT_EQ(Frames(60), 9999);
    EXPECT_EQ(Frames(3), 166 + 167 + 167);

    // A new fixed time drops the correction; a negative one returns to the measured clock.
    Exec("EngineSetFixedDeltaFrame(eng, 0.01)");
    EXPECT_EQ(engine.GetTargetRate(), -1);
    EXPECT_EQ(Frames(5), 500);
    Exec("EngineSetFixedDeltaFrame(eng, -1)");
    EXPECT_EQ(engine.GetFixedFrameTime(), -1);
    EXPECT_EQ(Frames(4, 123), 4 * 123);
}

TEST_F(EngineSystemAPI, ClockScale)
{
    Exec("EngineSetClockScale(eng, 0.5)");
    EXPECT_EQ(Eval("EngineGetClockScale(eng)"), "0.5");
    engine.TickClock();
    EXPECT_EQ(Frames(4, 200), 400);
    Exec("EngineSetClockScale(eng, 0.0004)");
    EXPECT_EQ(Eval("EngineGetClockScale(eng)"), "0");
    EXPECT_EQ(Frames(4, 200), 0);
    // A null engine is no error here; huge and undefined scales saturate in the engine.
    Exec("EngineSetClockScale(nullEngine, 3)");
    Exec("EngineSetClockScale(eng, 1e30); EngineSetClockScale(eng, 0.0/0.0);");
    Exec("EngineResetClock(eng)");
    EXPECT_EQ(engine.GetFrameTime(), 166);
}

TEST_F(EngineSystemAPI, CachesAreMadeSwitchedAndCleared)
{
    EXPECT_EQ(Eval("EngineGetResourceCache(cached).type()"), "4");
    Exec("::fresh <- EngineNewResourceCache(cached); ::old <- EngineSetResourceCache(cached, fresh);");
    EXPECT_EQ(cached->GetPushedCacheCount(), 1);
    EXPECT_EQ(Eval("EngineGetResourceCache(cached) <=> fresh"), "0");
    EXPECT_EQ(Eval("(old <=> fresh) == 0"), "false");
    EXPECT_EQ(Eval("EngineSetResourceCache(cached, nullItem)"), "error: Expected 'Resource Set' got 'Item'");

    Exec("::canvas <- EngineCreateCanvasTexture(cached, 4, 2)");
    nResourceCache* fresh = cached->GetResourceCache();
    ASSERT_EQ(fresh->GetTextureList(false).GetCount(), 1);
    nTexture* canvas = fresh->GetTextureList(false).GetHead()->value.Get();
    EXPECT_EQ(canvas->GetWidth(), 4u);
    EXPECT_EQ(canvas->GetHeight(), 2u);
    EXPECT_EQ(canvas->GetFlags(), (uint32_t)(TextureKeepPixels | TextureRenderTarget));
    EXPECT_EQ(Eval("EngineCreateTexture(cached, 2, 2, false).isValid()"), "true");
    EXPECT_EQ(fresh->GetTextureList(false).GetCount(), 2);
    EXPECT_EQ(cached->GetBaseResourceCache()->GetTextureList(false).GetCount(), 0);

    // A resource a script holds outlives the clearing of its cache.
    Exec("EngineClearResourceCache(cached)");
    EXPECT_EQ(fresh->GetTextureList(false).GetCount(), 0);
    EXPECT_EQ(Eval("canvas.isValid()"), "true");
    EXPECT_EQ(canvas->GetRefCount(), 1);

    Exec("EngineOutputCacheStatistics(cached)");
    EXPECT_TRUE(Logged("[H] Engine resource cache statistics\n  - 0 geometries (CPU),\n"
                       "  - 0 geometries (GPU),\n  - 0 textures (CPU),\n  - 0 textures (GPU),\n  - 0 sounds.\n\n"))
        << log.Text();
}

// Texture sizes are checked before anything is allocated.
TEST_F(EngineSystemAPI, TextureSizesOutsideTheRangeGiveANullTexture)
{
    const Expected cases[] = {
        {"EngineCreateCanvasTexture(cached, 0, 4).isNull()", "true"},
        {"EngineCreateCanvasTexture(cached, -1, 4).isNull()", "true"},
        {"EngineCreateCanvasTexture(cached, 100000, 100000).isNull()", "true"},
        {"EngineCreateTexture(cached, 4, 1e12, true)", "error: Number out of range"},
        {"EngineCreateTexture(cached, 0.0/0.0, 4, true)", "error: Number out of range"},
        {"EngineCreateCanvasTexture(cached, 2.9, 1).isValid()", "true"},
    };
    ExpectEvals(cases);
    EXPECT_TRUE(Logged("[!] Cannot create a texture of 0 x 4 pixels (1 to 16384 a side).\n")) << log.Text();
}

TEST_F(EngineSystemAPI, PicturesLeaveTheCacheAndTheirObjectsDie)
{
    nPicture* picture = new nPicture();
    picture->SetName("splash.tga");
    cached->GetResourceCache()->AddPicture(picture);
    EXPECT_EQ(Eval("EngineCacheUnregisterPicture(cached, \"missing.tga\")"), "false");
    EXPECT_EQ(Eval("EngineUnloadPicture(cached, \"splash.tga\")"), "true");
    EXPECT_EQ(cached->GetResourceCache()->GetPictureList().GetCount(), 0);
}

TEST_F(EngineSystemAPI, RetiredEntriesOnlyLogTheirLine)
{
    Exec("EngineSetResourceAutoSetup(nullItem, true); EngineSetupResources(nullItem);"
         "EngineSetupAllGeometries(nullEngine); EngineDeleteTexture(eng, nullItem); EngineEnableLoadCallback(eng, true);");
    EXPECT_EQ(log.Lines(), (Lines{"[*] EngineSetResourceAutoSetup() is deprecated.\n", "[*] EngineSetupResources() is deprecated.\n",
                                  "[*] EngineSetupAllGeometries() is deprecated.\n", "[*] EngineDeleteTexture() is obsolete.\n"}));
    const Expected cases[] = {
        {"EngineGetToolMode(eng)", "0"},
        {"NoTool", "0"},
        {"ToolProjectPreview", "3"},
        {"PlatformUnknown", "65535"},
        {"g_platform", "0"},
        {"EngineGetRenderer(eng).type()", "6"},
        {"EngineFindTexture(nullEngine, \"a\").isNull()", "true"},
        {"EngineLoadSound(nullEngine, \"a.wav\")", "error: CObject is null"},
        {"EngineGetManagerGeometryList(cached).len()", "0"},
    };
    ExpectEvals(cases);
}

TEST_F(EngineSystemAPI, SystemFunctions)
{
    const Expected cases[] = {
        {"SystemGetClockFrequency()", "10000"},
        {"SystemGetLocale()", "EN"},
        {"SystemGetPlatform()", "Win32"},
        {"SystemRand(0)", "0"},
        {"SystemRand(0.0/0.0)", "error: Number out of range"},
        {"SystemSeedRand(1e300)", "error: Number out of range"},
    };
    ExpectEvals(cases);
    Exec("SystemSeedRand(77)");
    nRandSeed(77);
    int32_t expected = nRandInt(1000);
    nRandSeed(77);
    EXPECT_EQ(Number("SystemRand(1000)"), (float)expected);
    EXPECT_GT(Number("SystemGetClock()"), 0.0f);

    // Negative and overlong waits are refused at once.
    Exec("SystemSleep(-1); SystemSleep(2147483647); SystemSleep(0);");
    EXPECT_TRUE(Logged("[!] SystemSleep(-1) ignored: expected 0 to 60000 ms.\n")) << log.Text();
    EXPECT_EQ(Eval("SystemCacheFile(\"no/such/file\")"), "false");
}

}  // namespace
