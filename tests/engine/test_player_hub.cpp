// The engine hub's frame bracket, resource-cache stack, renderer switches from a configuration
// tree, memory-layout report and process priority, with the resources layer installed.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <sys/resource.h>

#include "core/nMetaFile.h"
#include "hub/nOrvex.h"
#include "engine/player/nEngineWiring.h"
#include "engine/player/nMemoryLayout.h"
#include "engine/player/nPlayerApp.h"
#include "physics/bullet/nBulletPhysicWorld.h"
#include "render/nNull_Renderer.h"
#include "resources/nPicture.h"
#include "resources/nResourceCache.h"
#include "scene/nScene.h"
#include "tests/kit/nCallLog.h"
#include "tests/kit/nRecordingMixer.h"
#include "tests/kit/nRecordingRenderer.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nTempDir.h"

namespace {

typedef std::vector<std::string> Lines;

uint32_t g_now = 70000;
uint32_t FakeClock() { return g_now; }

class NothingToDraw : public nRenderable
{
public:
    void Enqueue(nItem*, nRenderablePrimitiveList*, int32_t) override {}
};

int g_endOfFrame = 0;
void OnEndOfFrame(void*) { ++g_endOfFrame; }

class OrvexFrame : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_endOfFrame = 0;
        engine.SetClockSource(FakeClock);
        engine.TickClock();  // starts the clock
        engine.SetHook(OrvexHookEndOfFrame, OnEndOfFrame);
    }

    // One frame time of 100 ticks passes before every clock reading.
    void Wait() { g_now += 100; }

    nOrvex engine{PlayerEngineParts()};
    nCallLog log;
    nRecordingRenderer renderer{&engine, &log};  // records the frame calls the engine makes
    nRecordingMixer mixer{&engine, &log};        // counts the frame's "mixer.Update"
    NothingToDraw drawable;
};

TEST_F(OrvexFrame, NestedBracketsDrawOneFrameAndTickOnce)
{
    for (int depth = 1; depth <= 3; ++depth) {
        SCOPED_TRACE(depth);
        log.Clear();
        g_endOfFrame = 0;
        const int32_t total = engine.GetTotalClock();
        int resets = 0;
        for (int i = 0; i < depth; ++i) engine.BeginDraw(true, true);
        EXPECT_EQ(engine.GetDrawNesting(), (uint32_t)depth);
        Wait();
        for (int i = 0; i < depth; ++i) {
            renderer.QueueRenderable(&drawable);
            engine.EndDraw(false, false, true);
            resets += renderer.GetRenderQueue().GetCount() == 0;
        }
        EXPECT_EQ(log.Count("render.BeginFrame"), 1);
        EXPECT_EQ(log.Count("render.EndFrame"), 1);
        EXPECT_EQ(log.Count("mixer.Update"), 1);
        EXPECT_EQ(log.Count("render.Present"), 1);
        EXPECT_EQ(g_endOfFrame, 1);
        EXPECT_EQ(engine.GetTotalClock(), total + 100);  // one tick for the whole frame
        EXPECT_EQ(resets, depth);                        // the queue is emptied at every level
        EXPECT_EQ(engine.GetDrawNesting(), 0u);
    }
}

TEST_F(OrvexFrame, KeptQueueForcedEndAndUnmatchedEnd)
{
    // A kept queue survives the end of the frame.
    engine.BeginDraw(false, false);
    renderer.QueueRenderable(&drawable);
    engine.EndDraw(false, true, false);
    EXPECT_EQ(renderer.GetRenderQueue().GetCount(), 1);
    EXPECT_EQ(log.Count("render.Present"), 1);

    // A forced end presents inside an open bracket; without tick clock the clock stands.
    const int32_t total = engine.GetTotalClock();
    engine.BeginDraw(false, false);
    engine.BeginDraw(false, false);
    Wait();
    engine.EndDraw(true, false, false);
    EXPECT_EQ(engine.GetDrawNesting(), 1u);
    EXPECT_EQ(log.Count("render.Present"), 2);
    EXPECT_EQ(engine.GetTotalClock(), total);
    EXPECT_EQ(renderer.GetRenderQueue().GetCount(), 0);
    engine.EndDraw(false, false, true);
    EXPECT_EQ(log.Count("render.Present"), 3);

    // An end without a begin still ends a frame and ticks.
    Wait();
    engine.EndDraw(false, false, true);
    EXPECT_EQ(engine.GetDrawNesting(), 0u);
    EXPECT_EQ(log.Count("render.Present"), 4);
    EXPECT_EQ(log.Count("render.BeginFrame"), 2);
    EXPECT_EQ(engine.GetTotalClock(), total + 200);
}

TEST_F(OrvexFrame, EndOfFrameWithoutMixerStillPresents)
{
    engine.SetMixer(nullptr);
    engine.BeginDraw(true, true);
    engine.EndDraw(false, false, true);
    EXPECT_EQ(log.Count("render.Present"), 1);
    EXPECT_EQ(log.Count("mixer.Update"), 0);
    engine.SetMixer(&mixer);
}

// A picture that reports its destruction.
class TrackedPicture : public nPicture
{
public:
    explicit TrackedPicture(int* deaths) : m_deaths(deaths) {}
    ~TrackedPicture() override { ++*m_deaths; }

private:
    int* m_deaths;
};

nPicture* Tracked(int* deaths) { return new TrackedPicture(deaths); }

TEST(OrvexCaches, StackOfCachesIsFreedOldestFirstAndTheBaseCleared)
{
    nOrvex engine(PlayerEngineParts());
    nResourceCache* base = engine.GetResourceCache();
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(base, engine.GetBaseResourceCache());

    nResourceCache* first = engine.NewResourceCache();
    nResourceCache* second = engine.NewResourceCache();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(engine.GetResourceCache(), base);  // a new cache is not made current
    EXPECT_EQ(engine.SetResourceCache(second), base);
    EXPECT_EQ(engine.SetResourceCache(nullptr), second);  // NULL selects the base cache
    EXPECT_EQ(engine.GetResourceCache(), base);

    int deaths = 0;
    nResourceCache::AddToList(base->GetPictureList(), Tracked(&deaths));
    nResourceCache::AddToList(first->GetPictureList(), Tracked(&deaths));
    nResourceCache::AddToList(second->GetPictureList(), Tracked(&deaths));
    engine.SetResourceCache(first);

    nLogCapture log;
    engine.FreeResourceCaches();
    EXPECT_EQ(log.Lines(), (Lines{"Freeing 3 resource cache(s)...\n", "Done.\n"}));
    EXPECT_EQ(deaths, 3);
    EXPECT_EQ(engine.GetPushedCacheCount(), 0);
    EXPECT_EQ(engine.GetResourceCache(), base);
    EXPECT_EQ(engine.GetBaseResourceCache(), base);  // cleared, not deleted
    EXPECT_EQ(base->GetPictureList().GetCount(), 0);

    log.Clear();
    engine.FreeResourceCaches();
    EXPECT_EQ(log.Lines(), (Lines{"Freeing 1 resource cache(s)...\n", "Done.\n"}));
}

TEST(OrvexCaches, PushedCachesLeftAtDestructionAreReleased)
{
    int deaths = 0;
    {
        nOrvex engine(PlayerEngineParts());
        nResourceCache* cache = engine.NewResourceCache();
        ASSERT_NE(cache, nullptr);
        nResourceCache::AddToList(cache->GetPictureList(), Tracked(&deaths));
        nResourceCache::AddToList(engine.GetResourceCache()->GetPictureList(), Tracked(&deaths));
    }
    EXPECT_EQ(deaths, 2);
}

// The player's engine is made whole by its constructor: nothing process-wide has to be
// installed first, and two engines do not share what they were given.
TEST(PlayerEngineWiring, TheEngineComesWithItsCachesAndItsScenesWithBulletWorlds)
{
    nPlayerApp app;
    nOrvex& engine = app.GetEngine();
    ASSERT_NE(engine.GetResourceCache(), nullptr);
    EXPECT_EQ(engine.GetResourceCacheOps(), nResourceCache::GetEngineOps());
    EXPECT_EQ(engine.GetPhysicWorldFactory(), PlayerEngineParts().physicWorlds);

    nScene scene(&engine, 0);
    ASSERT_TRUE(scene.CreatePhysicWorld());
    nBulletPhysicWorld* world = dynamic_cast<nBulletPhysicWorld*>(scene.GetPhysicWorld());
    ASSERT_NE(world, nullptr);
    EXPECT_NE(world->GetDynamicsWorld(), nullptr);
    EXPECT_EQ(world->GetEngine(), &engine);

    nOrvex bare;
    EXPECT_EQ(bare.GetResourceCache(), nullptr);
    EXPECT_EQ(bare.GetPhysicWorldFactory(), nullptr);
    nScene without(&bare, 0);
    nLogCapture log;
    EXPECT_FALSE(without.CreatePhysicWorld());
    EXPECT_EQ(log.Lines(), Lines{"[!] Could not create physic world.\n"});
}

TEST(OrvexCaches, WithoutTheResourcesLayerThereAreNoCaches)
{
    {
        nOrvex engine;  // made without parts
        EXPECT_EQ(engine.GetResourceCache(), nullptr);
        EXPECT_EQ(engine.NewResourceCache(), nullptr);
        nLogCapture log;
        engine.FreeResourceCaches();
        engine.UpdateStreamedTextures(166);
        EXPECT_EQ(log.Lines(), (Lines{"Freeing 1 resource cache(s)...\n", "Done.\n"}));
    }
}

// The 19 renderer keys of "engine.cfg" and the bits they drive.
struct Switch
{
    const char* key;
    bool system;
    uint32_t bit;
};
const Switch kSwitches[] = {
    {"EnableDebug", true, 0x1},
    {"Antialiasing", true, 0x2},
    {"DisableShader", true, 0x10},
    {"DisableMultipleRenderTarget", true, 0x20},
    {"UseFloatTarget", true, 0x4},
    {"OptimizeVideoRam", true, 0x8},
    {"TextureForceTrueColor", true, 0x100},
    {"TextureNoCompression", true, 0x200},
    {"TextureNoDownscale", true, 0x80},
    {"TextureForceSquare", true, 0x400},
    {"Bloom", false, 0x8},
    {"Exposure", false, 0x10},
    {"MotionBlur", false, 0x1},
    {"LinearShadow", false, 0x40},
    {"DepthOfField", false, 0x20},
    {"AmbientOcclusion", false, 0x80},
    {"ShadowMapping", false, 0x2},
    {"FramebufferAsTexture", false, 0x100},
    {"LowResolutionFx", false, 0x200},
};
const uint32_t kUnnamedSystemBits = 0x40 | 0x800;  // no key names them

TEST(OrvexConfig, EachKeySetsExactlyItsBitAndLeavesUnnamedBits)
{
    nOrvex engine;
    nRenderer* renderer = engine.GetRenderer();
    for (const Switch& s : kSwitches) {
        SCOPED_TRACE(s.key);
        renderer->SetSystemFlag(0xffffffffu, true);
        renderer->SetControlFlag(0xffffffffu, true);
        nMetaFile tree;
        std::string text = std::string("<NML=1.0>\n<") + s.key + "=True>\n";
        ASSERT_TRUE(tree.Parse(text.c_str(), (int32_t)text.size()));
        EXPECT_TRUE(engine.LoadConfig(nullptr, &tree));
        const uint32_t system = renderer->GetSystemWord();
        const uint32_t control = renderer->GetControlWord();
        uint32_t namedSystem = 0, namedControl = 0;
        for (const Switch& other : kSwitches) (other.system ? namedSystem : namedControl) |= other.bit;
        EXPECT_EQ(system & namedSystem, s.system ? s.bit : 0u);
        EXPECT_EQ(control & namedControl, s.system ? 0u : s.bit);
        EXPECT_EQ(system & kUnnamedSystemBits, kUnnamedSystemBits);
        EXPECT_EQ(control & ~namedControl, ~namedControl);
    }
}

TEST(OrvexConfig, OnlyTheBoolTrueSetsABitAndDebugChannelIsRead)
{
    nOrvex engine;
    nRenderer* renderer = engine.GetRenderer();
    struct Case
    {
        const char* text;
        bool bloom;
        int32_t channel;
    };
    const Case cases[] = {
        {"<Bloom=True><DebugChannel=3>", true, 3},
        {"<Bloom=False>", false, -1},
        {"<Bloom=1><DebugChannel=2.0f>", false, -1},  // wrong types count as absent
        {"<Bloom=\"True\"><DebugChannel=\"4\">", false, -1},
        {"", false, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        renderer->SetControlFlag(RendererControlBloom, !c.bloom);
        g_debugChannel = 99;
        nMetaFile tree;
        std::string text = std::string("<NML=1.0>\n") + c.text + "\n";
        ASSERT_TRUE(tree.Parse(text.c_str(), (int32_t)text.size()));
        EXPECT_TRUE(engine.LoadConfig(nullptr, &tree));
        EXPECT_EQ(renderer->TestControlFlag(RendererControlBloom), c.bloom);
        EXPECT_EQ(g_debugChannel, c.channel);
    }
    g_debugChannel = -1;
}

TEST(OrvexConfig, AFileIsReadWhenNoTreeIsGivenAndAMissingOneChangesNothing)
{
    nTempDir dir;
    ASSERT_TRUE(dir.Write("engine.cfg", "<NML=1.0>\n<ShadowMapping=True>\n<Antialiasing=True>\n"));
    nOrvex engine;
    nRenderer* renderer = engine.GetRenderer();
    renderer->SetControlFlag(RendererControlBloom, true);
    {
        nLogCapture log;
        EXPECT_FALSE(engine.LoadConfig(dir.Path("missing.cfg").c_str(), nullptr));
    }
    EXPECT_TRUE(renderer->TestControlFlag(RendererControlBloom));
    EXPECT_TRUE(engine.LoadConfig(dir.Path("engine.cfg").c_str(), nullptr));
    EXPECT_FALSE(renderer->TestControlFlag(RendererControlBloom));
    EXPECT_TRUE(renderer->TestControlFlag(RendererControlShadowMapping));
    EXPECT_TRUE(renderer->TestSystemFlag(RendererSystemAntialiasing));
}

// Every type line reads "    sizeof(<type>) = <bytes>"; the sections come in their order.
TEST(OrvexLayout, ReportsSectionsAndOneLinePerType)
{
    for (bool core : {false, true}) {
        SCOPED_TRACE(core);
        nLogCapture log;
        nPrintMemoryLayout(core);
        Lines lines = log.Lines();
        ASSERT_GE(lines.size(), 4u);
        EXPECT_EQ(lines[0], "Machine memory layout:\n");
        EXPECT_EQ(lines[2], "    sizeof(bool) = 1\n");
        EXPECT_EQ(lines[5], "    sizeof(int) = 4\n");
        EXPECT_EQ(lines[lines.size() - 2], "Compiled with 6 logical texture stage(s), 3 UV set(s).\n");
        EXPECT_EQ(lines.back(), "\n");
        bool coreSection = false;
        for (const std::string& line : lines) {
            if (line == "Core memory layout:\n") coreSection = true;
            if (line.rfind("    ", 0) != 0) continue;
            EXPECT_EQ(line.rfind("    sizeof(", 0), 0u) << line;
            EXPECT_NE(line.find(") = "), std::string::npos) << line;
        }
        EXPECT_EQ(coreSection, core);
        const std::string text = log.Text();
        EXPECT_EQ(text.find("sizeof(nOrvex) = " + std::to_string(sizeof(nOrvex)) + "\n") != std::string::npos, core);
    }
}

TEST(OrvexPriority, NormalAndUnknownValuesSucceedHigherOnesFollowThePrivilege)
{
    nOrvex engine;
    const int before = getpriority(PRIO_PROCESS, 0);
    EXPECT_TRUE(engine.SetProcessPriority(7));
    EXPECT_TRUE(engine.SetProcessPriority(-1));
    EXPECT_EQ(getpriority(PRIO_PROCESS, 0), before);
    const bool raised = engine.SetProcessPriority(ProcessPriorityHigh);
    EXPECT_EQ(raised, getpriority(PRIO_PROCESS, 0) == -10);
    if (raised || before == 0) {
        EXPECT_TRUE(engine.SetProcessPriority(ProcessPriorityNormal));
    }
    setpriority(PRIO_PROCESS, 0, before);
}

}
