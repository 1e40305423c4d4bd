// The Bullet world: sub-steps and their callbacks, ray casts, contacts, shape caches,
// debug drawing and shutdown.

#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <btBulletDynamicsCommon.h>

#include "nPhysicsKit.h"
#include "hub/nOrvex.h"
#include "physics/bullet/nBulletShapes.h"
#include "core/nIO.h"
#include "render/nNull_Renderer.h"
#include "tests/kit/nCallLog.h"
#include "tests/kit/nRecordingRenderer.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nMathExpect.h"
#include "tests/support/nTempDir.h"

namespace {

typedef std::vector<std::string> Lines;

class RecordingCallback : public nPhysicWorldCallback
{
public:
    void OnSubStep(float dt, bool before) override { calls.push_back(std::make_pair(dt, before)); }
    std::vector<std::pair<float, bool>> calls;
};

class BulletWorld : public ::testing::Test
{
protected:
    BulletWorld() : world(&engine) { world.Init(); }
    ~BulletWorld() override
    {
        for (nPhysicItem* item : items) delete item;
    }
    nBulletPhysicItem* Body(int32_t mode, int32_t type, const nVector& size, float mass, const nVector& position)
    {
        items.push_back(KitBody(world, mode, type, size, mass, position));
        return items.back();
    }
    nOrvex engine{KitCachedParts()};
    nBulletPhysicWorld world;
    std::vector<nBulletPhysicItem*> items;
};

TEST_F(BulletWorld, SubStepsComeInBeforeAndAfterPairsOfTheFixedStep)
{
    RecordingCallback callback;
    world.SetCallback(&callback);
    const float fixed = world.GetFixedStep();
    EXPECT_FLOAT_EQ(fixed, 1.0f / 60.0f);

    const struct
    {
        float dt;
        size_t pairs;
    } cases[] = {
        {2.0f * fixed, 2},  // two whole steps
        {0.5f * fixed, 0},  // the time is kept for later
        {0.5f * fixed, 1},  // and now makes a step
        {1.0f, 4},          // never more than four
    };
    for (const auto& c : cases) {
        callback.calls.clear();
        world.Step(c.dt);
        ASSERT_EQ(callback.calls.size(), 2 * c.pairs) << "dt " << c.dt;
        for (size_t i = 0; i < callback.calls.size(); ++i) {
            EXPECT_EQ(callback.calls[i].second, i % 2 == 0) << "before first, then after";
            EXPECT_FLOAT_EQ(callback.calls[i].first, fixed);
        }
    }
    world.SetCallback(0);
    world.Step(fixed);  // without a callback nothing is called
    EXPECT_EQ(callback.calls.size(), 8u);
}

TEST_F(BulletWorld, StepTimesThatAreNotFiniteArePassedOver)
{
    RecordingCallback callback;
    world.SetCallback(&callback);
    nLogCapture cap;
    world.Step(std::nanf(""));
    world.Step(-1.0f);
    world.Step(INFINITY);
    EXPECT_EQ(cap.Lines().size(), 3u);
    EXPECT_TRUE(callback.calls.empty());
    world.Step(world.GetFixedStep());
    EXPECT_EQ(callback.calls.size(), 2u) << "the world keeps stepping afterwards";
    world.SetCallback(0);

    nVector origin(0, 10, 0), down(0, -1, 0), bad(std::nanf(""), 0, 0);
    Body(PhysicItemStatic, PhysicShapeBox, nVector(2, 2, 2), 0.0f, nVector(0, 0, 0));
    nPhysicRayHit hit;
    EXPECT_FALSE(world.RayCast(&bad, &down, &hit, 1, 0, 0.0f));
    EXPECT_FALSE(world.RayCast(&origin, &bad, &hit, 1, 0, 0.0f));
    EXPECT_FALSE(world.RayCast(&origin, &down, &hit, 1, 0, std::nanf("")));
    EXPECT_TRUE(world.RayCast(&origin, &down, &hit, 1, 0, 0.0f));
}

TEST_F(BulletWorld, AfterSubStepCallbackSeesTheBodiesMoved)
{
    struct HeightProbe : nPhysicWorldCallback
    {
        nPhysicItem* item = 0;
        std::vector<float> heights;
        void OnSubStep(float dt, bool before) override { heights.push_back(item->GetCenterOfMass().y); }
    } probe;
    nBulletPhysicItem* ball = Body(PhysicItemDynamic, PhysicShapeSphere, nVector(0.5f, 0, 0), 1.0f, nVector(0, 10, 0));
    probe.item = ball;
    world.SetCallback(&probe);
    world.Step(world.GetFixedStep());
    ASSERT_EQ(probe.heights.size(), 2u);
    EXPECT_FLOAT_EQ(probe.heights[0], 10.0f);
    EXPECT_LT(probe.heights[1], 10.0f);
    world.SetCallback(0);
}

TEST_F(BulletWorld, RayReachAndDirectionLength)
{
    nBulletPhysicItem* box = Body(PhysicItemStatic, PhysicShapeBox, nVector(2, 2, 2), 0.0f, nVector(0, 0, 0));
    Body(PhysicItemStatic, PhysicShapeBox, nVector(2, 2, 2), 0.0f, nVector(4000, 0, 0));
    world.Step(world.GetFixedStep());
    const nVector down(0, -1, 0), origin(0, 10, 0);
    const struct
    {
        nVector origin, direction;
        float length;
        bool hit;
        const char* what;
    } cases[] = {
        {origin, down, 5.0f, false, "short of the box"},
        {origin, down, 9.5f, true, "just reaches"},
        {origin, down, 0.0f, true, "0 reaches 5000"},
        {origin, down, -3.0f, true, "negative reaches 5000"},
        {origin, nVector(0, -2, 0), 5.0f, true, "a longer direction reaches further"},
        {nVector(0, 0, 0) + nVector(10, 0, 0), nVector(1, 0, 0), 0.0f, true, "5000 along x reaches x = 3999"},
        {nVector(-2000, 0, 0), nVector(1, 0, 0), 0.0f, true, "first of two"},
        {nVector(-2000, 0, 0), nVector(-1, 0, 0), 0.0f, false, "nothing behind"},
    };
    for (const auto& c : cases) {
        nPhysicRayHit hit;
        EXPECT_EQ(world.RayCast(&c.origin, &c.direction, &hit, 1, 0, c.length), c.hit) << c.what;
    }
    nPhysicRayHit hit;
    ASSERT_TRUE(world.RayCast(&origin, &down, &hit, 1, 0, 0.0f));
    EXPECT_EQ(hit.item, box);
    EXPECT_EQ(hit.material, nullptr);
    EXPECT_EQ(hit.shape, nullptr);
    EXPECT_TRUE(Vector4Near(hit.point, nVector(0, 1, 0, 1), 1e-4f));
    EXPECT_TRUE(Vector4Near(hit.normal, nVector(0, 1, 0, 1), 1e-4f));
}

TEST_F(BulletWorld, RayGroupsAgainstBodyMasksAndDisabledBodies)
{
    nBulletPhysicItem* box = Body(PhysicItemStatic, PhysicShapeBox, nVector(2, 2, 2), 0.0f, nVector(0, 0, 0));
    const nVector origin(0, 10, 0), down(0, -1, 0);
    auto hits = [&](int32_t group) {
        world.Step(world.GetFixedStep());
        nPhysicRayHit hit;
        return world.RayCast(&origin, &down, &hit, group, 0, 0.0f);
    };
    EXPECT_TRUE(hits(1));
    EXPECT_FALSE(hits(0));
    EXPECT_FALSE(hits(2));
    EXPECT_TRUE(hits(0x10003)) << "only 16 bits of the group count";
    box->SetCollisionMask(6);
    EXPECT_TRUE(hits(2));
    EXPECT_FALSE(hits(1));
    box->SetSelfMask(0);
    EXPECT_FALSE(hits(2)) << "a body of group 0 is never hit";
    box->SetSelfMask(1);
    EXPECT_TRUE(hits(2));
    box->Enable(false);
    EXPECT_FALSE(hits(2));
    EXPECT_FALSE(hits(-1));
    box->Enable(true);
    EXPECT_TRUE(hits(2));
}

TEST_F(BulletWorld, ContactsOfARestingBody)
{
    nBulletPhysicItem* floor = Body(PhysicItemStatic, PhysicShapeBox, nVector(20, 1, 20), 0.0f, nVector(0, -0.5f, 0));
    nBulletPhysicItem* ball = Body(PhysicItemDynamic, PhysicShapeSphere, nVector(0.5f, 0, 0), 1.0f, nVector(0, 2, 0));
    EXPECT_EQ(world.GetContactCount(), 0);
    KitRun(world, 2.0f);
    ASSERT_EQ(world.GetContactCount(), 1);
    nPhysicContact contact;
    ASSERT_TRUE(world.GetContact(0, &contact));
    EXPECT_TRUE((contact.a == floor && contact.b == ball) || (contact.a == ball && contact.b == floor));
    ASSERT_GE(contact.pointCount, 1);
    ASSERT_LE(contact.pointCount, (int32_t)nPhysicContact::kMaxPoints);
    for (int i = 0; i < contact.pointCount; ++i) {
        EXPECT_NEAR(contact.positions[i].y, 0.0f, 0.02f);
        EXPECT_NEAR(std::fabs(contact.normals[i].y), 1.0f, 1e-3f);
        EXPECT_FLOAT_EQ(contact.positions[i].w, 1.0f);
    }
    EXPECT_FALSE(world.GetContact(1, &contact));
    EXPECT_FALSE(world.GetContact(-1, &contact));
}

TEST_F(BulletWorld, BoxFaceOnABoxGivesFourPoints)
{
    Body(PhysicItemStatic, PhysicShapeBox, nVector(20, 1, 20), 0.0f, nVector(0, -0.5f, 0));
    Body(PhysicItemDynamic, PhysicShapeBox, nVector(2, 1, 2), 1.0f, nVector(0, 1, 0));
    KitRun(world, 2.0f);
    ASSERT_EQ(world.GetContactCount(), 1);
    nPhysicContact contact;
    ASSERT_TRUE(world.GetContact(0, &contact));
    EXPECT_EQ(contact.pointCount, 4) << "a box face resting on a box";
}

// The world keeps small pools of contacts and pair algorithms; more touching pairs than they
// hold come from the heap and behave the same: every ball of a wide grid rests on the floor and
// reports its one contact.
TEST_F(BulletWorld, MoreTouchingPairsThanThePoolsHoldAllRestAndReportContacts)
{
    const int kSide = 15;  // 225 balls: well past 64 contacts and 128 pair algorithms
    Body(PhysicItemStatic, PhysicShapeBox, nVector(100, 1, 100), 0.0f, nVector(0, -0.5f, 0));
    std::vector<nBulletPhysicItem*> balls;
    for (int i = 0; i < kSide * kSide; ++i)
        balls.push_back(Body(PhysicItemDynamic, PhysicShapeSphere, nVector(0.5f, 0, 0), 1.0f,
                             nVector(2.0f * (i % kSide) - kSide, 0.5f + 0.25f * (i % 3), 2.0f * (i / kSide) - kSide)));
    KitRun(world, 2.0f);
    EXPECT_EQ(world.GetContactCount(), kSide * kSide);
    for (size_t i = 0; i < balls.size(); ++i) EXPECT_NEAR(KitPosition(balls[i]).y, 0.5f, 0.02f) << "ball " << i;
}

TEST_F(BulletWorld, WithoutInitNothingRuns)
{
    nBulletPhysicWorld idle(0);
    nVector origin(0, 0, 0), direction(0, -1, 0);
    nPhysicRayHit hit;
    idle.Step(1.0f);
    EXPECT_FALSE(idle.RayCast(&origin, &direction, &hit, 1, 0, 0.0f));
    EXPECT_EQ(idle.GetContactCount(), 0);
    EXPECT_FALSE(idle.GetContact(0, 0));
    idle.SetDebugRenderer(0);
    idle.DrawDebug();
}

TEST_F(BulletWorld, MeshFansEveryPolygonFromItsFirstCorner)
{
    KitAddGeometry(engine, "fan", {nVector(0, 0, 0), nVector(1, 0, 0), nVector(1, 0, 1), nVector(0, 0, 1), nVector(2, 0, 2)},
                   {{0, 1, 2, 3}, {4}, {3, 4}, {1, 4, 2}, {0, 1, 2, 3, 4}});
    nBulletMesh* mesh = world.GetMesh("fan");
    ASSERT_NE(mesh, nullptr);
    std::vector<int32_t> expected = {0, 1, 2, 0, 2, 3, 1, 4, 2, 0, 1, 2, 0, 2, 3, 0, 3, 4};
    ASSERT_EQ(mesh->triangleCount, (int32_t)expected.size() / 3);
    EXPECT_EQ(std::vector<int32_t>(mesh->indices, mesh->indices + expected.size()), expected);
    EXPECT_EQ(mesh->vertexCount, 5);
    EXPECT_TRUE(Vector4Near(mesh->centroid, nVector(0.8f, 0, 0.8f, 1), 1e-6f));
    EXPECT_EQ(world.GetMesh("fan"), mesh) << "built once";
    EXPECT_EQ(world.GetMeshCacheCount(), 1);
}

TEST_F(BulletWorld, MeshesThatCannotBeBuiltAreReported)
{
    KitAddGeometry(engine, "points", {nVector(0, 0, 0), nVector(1, 0, 0)}, {});
    KitAddGeometry(engine, "lines", {nVector(0, 0, 0), nVector(1, 0, 0)}, {{0, 1}});
    KitAddGeometry(engine, "broken", {nVector(0, 0, 0), nVector(1, 0, 0), nVector(0, 0, 1)}, {{0, 1, 7}, {0, 1, 2}});
    nLogCapture cap;
    EXPECT_EQ(world.GetMesh("missing"), nullptr);
    EXPECT_EQ(world.GetConvex("missing"), nullptr);
    EXPECT_EQ(world.GetMesh("missing"), nullptr);
    EXPECT_EQ(cap.Lines(), (Lines{"[*] Could not access file 'missing'.\n", "[!] Failed to load geometry 'missing'.\n"}))
        << "the engine's loader reports a missing file once, and the world adds nothing";
    cap.Clear();
    EXPECT_EQ(world.GetMesh("points"), nullptr);
    EXPECT_EQ(world.GetMesh("lines"), nullptr);
    EXPECT_EQ(cap.Lines(), (Lines{"[!] No geometry data in 'points' to build collision shape.\n",
                                  "[!] No geometry data in 'lines' to build collision shape.\n"}));
    cap.Clear();
    nBulletMesh* broken = world.GetMesh("broken");
    ASSERT_NE(broken, nullptr);
    EXPECT_EQ(broken->triangleCount, 1);
    EXPECT_EQ(cap.Lines(), Lines{"[*] Triangles with invalid vertex indices left out of the collision mesh 'broken'.\n"});
}

// A unit cube as a geometry file, as a game ships it.
const char* const kCubeFile =
    "<NML=1.0>\n<Geometry=\n"
    "<Materials= <Material= <Id=\"stone\"> > >\n"
    "<AVertex=<Count=8><Data=\n"
    "<Vector=<X=-0.5><Y=-0.5><Z=-0.5>> <Vector=<X=0.5><Y=-0.5><Z=-0.5>> <Vector=<X=-0.5><Y=0.5><Z=-0.5>>\n"
    "<Vector=<X=0.5><Y=0.5><Z=-0.5>> <Vector=<X=-0.5><Y=-0.5><Z=0.5>> <Vector=<X=0.5><Y=-0.5><Z=0.5>>\n"
    "<Vector=<X=-0.5><Y=0.5><Z=0.5>> <Vector=<X=0.5><Y=0.5><Z=0.5>> >>\n"
    "<APolygon=<Count=6><BindingCount=24><Data=\n"
    "<Polygon=<Count=4><Material=0><Index=0><Index=2><Index=3><Index=1>>\n"
    "<Polygon=<Count=4><Material=0><Index=4><Index=5><Index=7><Index=6>>\n"
    "<Polygon=<Count=4><Material=0><Index=0><Index=1><Index=5><Index=4>>\n"
    "<Polygon=<Count=4><Material=0><Index=2><Index=6><Index=7><Index=3>>\n"
    "<Polygon=<Count=4><Material=0><Index=0><Index=4><Index=6><Index=2>>\n"
    "<Polygon=<Count=4><Material=0><Index=1><Index=3><Index=7><Index=5>> >>\n"
    ">\n";

size_t CountLinesStartingWith(const Lines& lines, const std::string& start)
{
    size_t n = 0;
    for (const std::string& line : lines) n += line.compare(0, start.size(), start) == 0;
    return n;
}

// Shape geometries come from files through the engine's loader and its cache: read once for
// every world and body, whatever spelling of the path they use, and kept apart from the
// geometries the renderer is given.
TEST_F(BulletWorld, ShapeGeometriesAreReadOnceThroughTheEnginesCache)
{
    nTempDir dir;
    nTempDir::ChangeInto inside(dir);
    ASSERT_TRUE(dir.Write("models/cube.nml", kCubeFile));
    nLogCapture cap;
    nBulletConvex* hull = world.GetConvex("models/cube.nml");
    ASSERT_NE(hull, nullptr);
    EXPECT_EQ(hull->hull->getNumPoints(), 8);
    EXPECT_EQ(world.GetConvex("models\\cube.nml"), hull) << "one hull for both spellings";
    nBulletMesh* mesh = world.GetMesh("models\\cube.nml");
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->triangleCount, 12);

    nBulletPhysicWorld other(&engine);
    other.Init();
    EXPECT_NE(other.GetMesh("models/cube.nml"), nullptr);
    EXPECT_EQ(CountLinesStartingWith(cap.Lines(), "Loading geometry 'models/cube.nml'"), 1u) << cap.Text();

    nResourceCache* cache = engine.GetResourceCache();
    ASSERT_NE(cache->FindGeometry("models/cube.nml", true), nullptr) << "on the collision list";
    EXPECT_EQ(cache->FindGeometry("models/cube.nml", false), nullptr) << "not on the list the renderer sets up";
}

TEST_F(BulletWorld, ConvexHullIsSharedAndOutlivesTheCacheWhileBodiesUseIt)
{
    KitAddCube(engine, "cube");
    auto convexBody = [&](const nVector& position) {
        nBulletPhysicItem* item = static_cast<nBulletPhysicItem*>(world.NewItem());
        items.push_back(item);
        KitShape(item, PhysicShapeConvex, nVector(1, 1, 1), 1.0f)->geometry.Set("cube");
        item->SetMode(PhysicItemDynamic);
        item->Create();
        nMatrix4 m = nMatrix4::Translation(position);
        item->SetMatrix(&m);
        return item;
    };
    nBulletPhysicItem* a = convexBody(nVector(0, 5, 0));
    nBulletPhysicItem* b = convexBody(nVector(3, 5, 0));
    nBulletConvex* shared = static_cast<nBulletConvex*>(a->GetShapes().GetAt(0)->simulationShape);
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(b->GetShapes().GetAt(0)->simulationShape, shared);
    EXPECT_EQ(world.GetConvexCacheCount(), 1);
    EXPECT_EQ(shared->GetRefCount(), 3);
    EXPECT_EQ(shared->hull->getNumPoints(), 8);

    world.ClearShapeCache();
    EXPECT_EQ(world.GetConvexCacheCount(), 0);
    EXPECT_EQ(shared->GetRefCount(), 2);
    KitRun(world, 0.5f);  // both bodies still simulate on the shared hull
    EXPECT_LT(KitPosition(a).y, 5.0f);
    a->Destroy();
    EXPECT_EQ(shared->GetRefCount(), 1);
    b->Destroy();  // the last holder frees it (the sanitizer build checks)
}

TEST_F(BulletWorld, ShutdownWithBodiesStillRegistered)
{
    nBulletPhysicItem* ball = Body(PhysicItemDynamic, PhysicShapeSphere, nVector(0.5f, 0, 0), 1.0f, nVector(0, 2, 0));
    Body(PhysicItemStatic, PhysicShapeBox, nVector(20, 1, 20), 0.0f, nVector(0, -0.5f, 0));
    KitRun(world, 1.0f);
    world.Shutdown();
    EXPECT_EQ(world.GetDynamicsWorld(), nullptr);
    EXPECT_EQ(ball->GetBody()->getBroadphaseHandle(), nullptr);
    world.Step(1.0f);
    ASSERT_TRUE(world.Init());
    ball->Create();  // a new body in the new simulation
    KitRun(world, 0.1f);
    EXPECT_NE(ball->GetBody()->getBroadphaseHandle(), nullptr);
}

TEST_F(BulletWorld, DebugDrawingGoesToTheRendererOnlyWhenAsked)
{
    nOrvex engine;
    nCallLog log;
    nRecordingRenderer renderer(&engine, &log, false);
    world.SetDebugRenderer(&renderer);
    Body(PhysicItemStatic, PhysicShapeBox, nVector(20, 1, 20), 0.0f, nVector(0, -0.5f, 0));
    Body(PhysicItemDynamic, PhysicShapeBox, nVector(1, 1, 1), 1.0f, nVector(0, 0.5f, 0));
    KitRun(world, 0.5f);
    EXPECT_TRUE(renderer.GetLines().empty()) << "stepping draws nothing";
    world.DrawDebug();
    ASSERT_GE(renderer.GetLines().size(), 24u) << "two box wireframes at least";
    for (const nRecordingRenderer::Line& line : renderer.GetLines()) {
        EXPECT_FLOAT_EQ(line.from.w, 1.0f);
        EXPECT_FLOAT_EQ(line.to.w, 1.0f);
        EXPECT_FLOAT_EQ(line.colour.w, 1.0f);
    }
    size_t drawn = renderer.GetLines().size();
    KitRun(world, 0.5f);
    EXPECT_EQ(renderer.GetLines().size(), drawn) << "the debug mode is off again between draws";
}

TEST_F(BulletWorld, FactoryMakesARunningWorldThatASecondInitKeeps)
{
    nOrvex engine;
    nCallLog log;
    nRecordingRenderer renderer(&engine, &log, false);
    engine.SetRenderer(&renderer);
    std::unique_ptr<nPhysicWorld> made(nBulletPhysicWorld::Make(&engine));
    ASSERT_NE(made, nullptr);
    nBulletPhysicWorld* bullet = static_cast<nBulletPhysicWorld*>(made.get());
    ASSERT_NE(bullet->GetDynamicsWorld(), nullptr);
    btDiscreteDynamicsWorld* simulation = bullet->GetDynamicsWorld();
    EXPECT_TRUE(made->Init());
    EXPECT_EQ(bullet->GetDynamicsWorld(), simulation);
    nPhysicItem* item = made->NewItem();
    KitShape(item, PhysicShapeSphere, nVector(1, 0, 0), 1.0f);
    item->SetMode(PhysicItemDynamic);
    item->Create();
    made->DrawDebug();
    EXPECT_FALSE(renderer.GetLines().empty()) << "draws into the engine's renderer";
    delete item;
    engine.SetRenderer(0);
}

}
