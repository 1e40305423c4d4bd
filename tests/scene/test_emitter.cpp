// Emitters and particle models: a deterministic run of many frames (spawn counts, ages, the
// pool cap), the depth sort and bounds, queueing and its timer, the NML forms and the loader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "core/nRandom.h"
#include "hub/nOrvex.h"
#include "resources/nResourceCache.h"
#include "scene/nCamera.h"
#include "scene/nEmitter.h"
#include "scene/nParticleModel.h"
#include "scene/nScene.h"
#include "tests/scene/kit/nKitScene.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nMLTestSupport.h"

namespace {

const float kStep = 1.0f / 60.0f;

struct Rig
{
    explicit Rig(float ttl = 1.0f, uint32_t pool = 50, float rate = 100.0f)
        : model(new nParticleModel(&engine)), emitter(&engine)
    {
        model->m_timeToLive = ttl;
        emitter.SetParticleModel(model.Get());
        emitter.SetPoolSize(pool);
        emitter.m_birthRate = rate;
        emitter.UpdateWorldMatrix();
        nRandSeed(77);
        EXPECT_TRUE(emitter.AllocatePool());
    }
    // One visible frame: queued (marked drawn), sorted, stepped.
    void Frame(float dt = kStep)
    {
        nMatrix4 camera;
        emitter.Enqueue(&emitter, &list, 0);  // a node that is no camera is never culled
        DeletePrimitiveList(&list);
        emitter.SortParticlesByDepth(camera);
        emitter.Update(dt);
    }
    uint32_t Live() const
    {
        uint32_t n = 0;
        for (uint32_t i = 0; i < emitter.GetPoolSize(); ++i) n += emitter.GetPool()[i].IsAlive();
        return n;
    }

    nOrvex engine;
    nSharedPtr<nParticleModel> model;
    nEmitter emitter;
    nRenderablePrimitiveList list;
};

}

// 120 frames of rate 100 into a pool of 50 with a life of one second: births follow the owed
// count one frame at a time until the pool is full, nobody is born while it is full, the
// first deaths free slots that refill in the same step, ages stay below the life, and what is
// owed never exceeds the pool.
TEST(Emitter, DeterministicRunOf120Frames)
{
    Rig r(1.0f, 50, 100.0f);
    float owed = 0.0f;
    std::vector<float> previous(50, -1.0f);
    uint32_t fullFrames = 0, refills = 0;
    for (int frame = 1; frame <= 120; ++frame) {
        SCOPED_TRACE(frame);
        const uint32_t freeBefore = 50 - r.Live();
        r.Frame();
        // Deaths this step: slots alive before whose age would reach the life.
        uint32_t births = 0, deaths = 0;
        for (uint32_t i = 0; i < 50; ++i) {
            const float now = r.emitter.GetPool()[i].age;
            const bool wasAlive = previous[i] >= 0.0f;
            if (wasAlive && (now < 0.0f || now < previous[i])) ++deaths;
            if ((!wasAlive && now >= 0.0f) || (wasAlive && now >= 0.0f && now < previous[i])) ++births;
            previous[i] = now;
        }
        owed += 100.0f * kStep;
        uint32_t expected = 0;
        while (owed > 1.0f && expected < freeBefore) {
            ++expected;
            owed -= 1.0f;
        }
        if (owed > 50.0f) owed = 50.0f;
        // A slot freed by this step's ageing is only reused in the next step.
        EXPECT_EQ(births, expected);
        EXPECT_NEAR(r.emitter.GetAccumulator(), owed, 1e-3f);
        EXPECT_LE(r.emitter.GetAccumulator(), 50.0f);
        EXPECT_LE(r.Live(), 50u);
        for (uint32_t i = 0; i < 50; ++i) EXPECT_LT(r.emitter.GetPool()[i].age, 1.0f);
        if (freeBefore == 0) ++fullFrames;
        if (freeBefore > 0 && frame > 61) ++refills;
        (void)deaths;
    }
    EXPECT_GT(fullFrames, 20u);  // the pool filled after 30 frames and stayed full until the first deaths
    EXPECT_GT(refills, 0u);      // then refilled as particles died
    EXPECT_NEAR(r.emitter.GetClock(), 120 * kStep, 1e-3f);
}

// The first frame: 1.667 owed, one particle born aged 1/100 s before the step adds 1/60 s;
// 0.667 stays owed. Exactly 1.0 owed spawns nothing.
TEST(Emitter, FirstStepAndTheStrictThreshold)
{
    Rig r(4.0f, 100, 100.0f);
    r.Frame();
    ASSERT_EQ(r.Live(), 1u);
    EXPECT_NEAR(r.emitter.GetPool()[0].age, 1.6666667f / 100.0f + kStep, 1e-5f);
    EXPECT_NEAR(r.emitter.GetAccumulator(), 0.6666667f, 1e-5f);

    Rig exact(4.0f, 100, 60.0f);
    exact.Frame();  // 60 per second for 1/60 s: exactly 1.0 owed
    EXPECT_EQ(exact.Live(), 0u);
}

// A pool that stays full for minutes owes at most its size, so the burst born when slots free
// lives out its life instead of being born older than it.
TEST(Emitter, AFullPoolOwesAtMostItsSize)
{
    Rig r(0.5f, 10, 100.0f);
    r.model->m_timeToLive = 1000.0f;
    for (int frame = 0; frame < 600; ++frame) r.Frame();
    EXPECT_EQ(r.Live(), 10u);
    EXPECT_FLOAT_EQ(r.emitter.GetAccumulator(), 10.0f);
    r.model->m_timeToLive = 0.5f;  // everyone dies at the next step, the burst follows
    r.Frame();
    EXPECT_EQ(r.Live(), 0u);
    r.Frame();
    EXPECT_EQ(r.Live(), 10u);
    for (uint32_t i = 0; i < 10; ++i) EXPECT_LT(r.emitter.GetPool()[i].age, 0.5f);
}

// Keyless curves give size 1, angle 0, white and opaque, times the birth scales; damping and
// gravity act as damping^dt and v + g dt.
TEST(Emitter, KeylessCurvesDampingAndGravity)
{
    Rig r(10.0f, 4, 100.0f);
    r.model->m_damping = 0.5f;
    r.model->m_gravity = nVector(0.0f, 0.0f, -10.0f, 1.0f);
    r.emitter.m_birthSizeScale = 2.0f;
    r.emitter.m_birthOpacityScale = 0.25f;
    r.emitter.m_speedMin = r.emitter.m_speedMax = 0.0f;
    r.Frame();
    ASSERT_EQ(r.Live(), 1u);
    const nParticle& p = r.emitter.GetPool()[0];
    EXPECT_FLOAT_EQ(p.size, 2.0f);
    EXPECT_FLOAT_EQ(p.angle, 0.0f);
    EXPECT_FLOAT_EQ(p.red, 1.0f);
    EXPECT_FLOAT_EQ(p.opacity, 0.25f);
    EXPECT_NEAR(p.velocity.z, -10.0f * kStep * std::pow(0.5f, kStep), 1e-5f);
    const float vz = p.velocity.z, z = p.position.z;
    r.Frame();
    EXPECT_NEAR(r.emitter.GetPool()[0].position.z, z + vz * kStep, 1e-6f);
}

// Directions stay within the spray angle of the emitter's Z axis and speeds within the range
// times the birth speed scale.
TEST(Emitter, SprayConeAndSpeeds)
{
    Rig r(100.0f, 500, 6000.0f);
    r.emitter.m_sprayAngle = 0.3f;
    r.emitter.m_speedMin = 2.0f;
    r.emitter.m_speedMax = 3.0f;
    r.emitter.m_birthSpeedScale = 2.0f;
    r.Frame(kStep);
    ASSERT_GT(r.Live(), 90u);
    for (uint32_t i = 0; i < r.emitter.GetPoolSize(); ++i) {
        const nParticle& p = r.emitter.GetPool()[i];
        if (!p.IsAlive()) continue;
        const float speed = p.velocity.Length();
        EXPECT_GE(speed, 4.0f - 1e-4f);
        EXPECT_LE(speed, 6.0f + 1e-4f);
        EXPECT_LE(std::acos(p.velocity.z / speed), 0.3f + 1e-4f);
    }
}

// Unqueued emitters are frozen; the sort reads far to near; the bounds hold the sorted
// particles only.
TEST(Emitter, FrozenUnlessDrawnSortedFarToNearAndBounded)
{
    Rig r(10.0f, 20, 600.0f);
    r.emitter.m_speedMin = 1.0f;
    r.emitter.m_speedMax = 3.0f;
    r.Frame();
    r.Frame();
    const float clock = r.emitter.GetClock();
    r.emitter.Update(kStep);  // not queued since the last step
    EXPECT_FLOAT_EQ(r.emitter.GetClock(), clock);

    nMatrix4 camera;  // looking along +Z from the origin
    r.emitter.Enqueue(&r.emitter, &r.list, 0);
    DeletePrimitiveList(&r.list);
    r.emitter.SortParticlesByDepth(camera);
    ASSERT_EQ(r.emitter.GetSortedCount(), r.Live());
    ASSERT_GT(r.emitter.GetSortedCount(), 3u);
    nMinMax box;
    r.emitter.GetWorldMinMax(box);
    for (uint32_t k = 0; k + 1 < r.emitter.GetSortedCount(); ++k)
        EXPECT_GE(r.emitter.GetSortedParticle(k)->position.z, r.emitter.GetSortedParticle(k + 1)->position.z);
    float top = r.emitter.GetWorldMatrix().m[11];
    for (uint32_t k = 0; k < r.emitter.GetSortedCount(); ++k) {
        const nParticle* p = r.emitter.GetSortedParticle(k);
        EXPECT_LE(p->position.z + p->size, box.max.z + 1e-6f);
        EXPECT_GE(p->position.z - p->size, box.min.z - 1e-6f);
        top = std::max(top, p->position.z + p->size);
    }
    EXPECT_FLOAT_EQ(box.max.z, top);
    EXPECT_EQ(r.emitter.GetSortedParticle(r.emitter.GetSortedCount()), nullptr);
}

namespace {
uint32_t g_fakeTicks = 0;
uint32_t FakeClock() { return g_fakeTicks += 5; }
}

// A culled emitter stops the queue timer like a drawn one, and adds no record.
TEST(Emitter, CulledEmitterStopsTheQueueTimerAndQueuesNothing)
{
    Rig r;
    nCamera camera(&r.engine);
    camera.SetPosition(nVector(0.0f, 0.0f, -10.0f));
    camera.UpdateWorldMatrix();
    camera.ComputeFrustum(0, -1.0f, -1.0f);
    r.emitter.SetPosition(nVector(0.0f, 5000.0f, 0.0f));  // far outside any view
    r.emitter.UpdateWorldMatrix();
    r.emitter.Update(kStep);  // clears the drawn mark of the allocation
    r.engine.GetQueueTimer().SetClock(FakeClock);
    r.engine.GetQueueTimer().Reset();
    const uint32_t before = r.engine.GetQueueTimer().GetAccumulated();
    r.emitter.Enqueue(&camera, &r.list, 0);
    EXPECT_EQ(r.list.GetCount(), 0);
    EXPECT_GT(r.engine.GetQueueTimer().GetAccumulated(), before);
    EXPECT_FALSE(r.emitter.IsDrawn());
    r.engine.GetQueueTimer().SetClock(0);
}

// NML: pool sizes, integer lives and dampings, the round trip, the wrong roots.
TEST(EmitterNML, PoolSizesAreCheckedAndIntegersAccepted)
{
    struct Case
    {
        const char* text;
        uint32_t pool;
        const char* line;
    };
    const Case cases[] = {
        {"<Emitter= <PoolSize=250> >", 250, nullptr},
        {"<Emitter= <PoolSize=1> >", 1, nullptr},
        {"<Emitter= <PoolSize=0> >", 100, "[*] Emitter pool size 0 is out of range (1 to 65536); keeping 100.\n"},
        {"<Emitter= <PoolSize=-1> >", 100, "[*] Emitter pool size -1 is out of range (1 to 65536); keeping 100.\n"},
        {"<Emitter= <PoolSize=65537> >", 100, "[*] Emitter pool size 65537 is out of range (1 to 65536); keeping 100.\n"},
        {"<Emitter= <PoolSize=65536> >", 65536, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        nOrvex engine;
        nEmitter e(&engine);
        nMetaFile document;
        nMetaTag* root = nMLParseRoot(document, c.text);
        ASSERT_NE(root, nullptr);
        nLogCapture capture;
        EXPECT_TRUE(e.Deserialize(&document, root));
        EXPECT_EQ(e.GetPoolSize(), c.pool);
        if (c.line) EXPECT_EQ(capture.Lines(), std::vector<std::string>{c.line});
        else EXPECT_TRUE(capture.Lines().empty());
    }

    nOrvex engine;
    nParticleModel model(&engine);
    nMetaFile document;
    nMetaTag* root = nMLParseRoot(document, "<ParticleModel= <TTL=3> <Damping=0.5> <Gravity= <X=0> <Y=0> <Z=-2> > >");
    ASSERT_NE(root, nullptr);
    EXPECT_TRUE(model.Deserialize(&document, root));
    EXPECT_FLOAT_EQ(model.m_timeToLive, 3.0f);
    EXPECT_FLOAT_EQ(model.m_damping, 0.5f);
    EXPECT_FLOAT_EQ(model.m_gravity.z, -2.0f);
    EXPECT_TRUE(model.m_material.renderFlags & MaterialRenderVertexColor);
}

TEST(EmitterNML, WrongRootsAndUnknownTags)
{
    struct Case
    {
        const char* text;
        bool emitter;
        bool result;
        const char* line;
    };
    const Case cases[] = {
        {"<Emitters= >", true, false, "[!] Could not parse emitter. Root tag id is incorrect (Emitters).\n"},
        {"<Emitter= <Rate=3> >", true, true, "[*] Unknown tag 'Rate' in <Emitter>.\n"},
        {"<Model= >", false, false, "[!] Could not parse particle model. Root tag id is incorrect (Model).\n"},
        {"<ParticleModel= <Life=3> >", false, true, "[*] Unknown tag 'Life' in <ParticleModel>.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        nOrvex engine;
        nEmitter e(&engine);
        nParticleModel m(&engine);
        nMetaFile document;
        nMetaTag* root = nMLParseRoot(document, c.text);
        ASSERT_NE(root, nullptr);
        nLogCapture capture;
        EXPECT_EQ(c.emitter ? e.Deserialize(&document, root) : m.Deserialize(&document, root), c.result);
        EXPECT_EQ(capture.Lines(), std::vector<std::string>{c.line});
    }
}

// A model file loads once per cache; the emitter written and read back keeps its values.
TEST(EmitterNML, LoaderCachesAndTheEmitterRoundTrips)
{
    nOrvex engine;
    nResourceCache cache;
    engine.SetResourceCache(&cache);
    ASSERT_TRUE(nMLPutMemoryFile("smoke.npm", "<NML=1.0>\n<ParticleModel= <TTL=2.5> <SizeCurve= <Curve= > > >"));
    nParticleModel* model = LoadParticleModel(&engine, "smoke.npm", false);
    ASSERT_NE(model, nullptr);
    EXPECT_FLOAT_EQ(model->m_timeToLive, 2.5f);
    EXPECT_EQ(LoadParticleModel(&engine, "smoke.npm", false), model);
    EXPECT_EQ(LoadParticleModel(nullptr, nullptr, false), nullptr);

    nEmitter e(&engine);
    e.SetParticleModel(model);
    e.SetPoolSize(64);
    e.m_birthRate = 30.0f;
    e.m_speedMin = 2.0f;
    e.m_speedMax = 4.0f;
    e.m_sprayAngle = 0.2f;
    nMetaFile document;
    nMetaTag* written = e.Serialize(&document);
    ASSERT_NE(written, nullptr);
    nEmitter back(&engine);
    EXPECT_TRUE(back.Deserialize(&document, written));
    EXPECT_EQ(back.GetPoolSize(), 64u);
    EXPECT_FLOAT_EQ(back.m_birthRate, 30.0f);
    EXPECT_FLOAT_EQ(back.m_speedMin, 2.0f);
    EXPECT_FLOAT_EQ(back.m_speedMax, 4.0f);
    EXPECT_FLOAT_EQ(back.m_sprayAngle, 0.2f);
    EXPECT_EQ(back.GetParticleModel(), model);
    delete written;

    nMetaTag* modelTag = model->Serialize(&document);
    ASSERT_NE(modelTag, nullptr);
    nParticleModel copy(&engine);
    EXPECT_TRUE(copy.Deserialize(&document, modelTag));
    EXPECT_FLOAT_EQ(copy.m_timeToLive, 2.5f);
    delete modelTag;
    e.SetParticleModel(nullptr);
    back.SetParticleModel(nullptr);
    engine.SetResourceCache(nullptr);
}

// The scene makes, reads, sets up, evaluates and writes managed emitters.
TEST(EmitterScene, ManagedEmitterThroughTheScene)
{
    nKitScene k;
    nMItem* item = k.scene->CreateEmitter("smoke");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->GetKind(), ManagedItemEmitter);
    EXPECT_FLOAT_EQ(item->GetPriority(), 1.0f);
    EXPECT_EQ(k.scene->FindEmitter("smoke"), item);
    nEmitter& e = static_cast<nMEmitter*>(item)->GetEmitter();
    nSharedPtr<nParticleModel> model(new nParticleModel(&k.engine));
    e.SetParticleModel(model.Get());
    item->Setup();
    ASSERT_NE(e.GetPool(), nullptr);
    k.SetFrameTicks(10000 / 60 + 1);
    item->Evaluate();
    EXPECT_GT(e.GetClock(), 0.0f);

    nMetaFile document;
    nMetaTag* written = static_cast<nMEmitter*>(item)->Serialize(&document);
    ASSERT_NE(written, nullptr);
    EXPECT_EQ(nMLChildNames(written), (std::vector<std::string>{"MItem", "Emitter"}));
    delete written;
    e.SetParticleModel(nullptr);
}
