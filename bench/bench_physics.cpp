// Stepping 1,000 boxes (ten layers of 10 x 10) that fall onto a triangle-mesh floor and pile
// up, for 240 steps of 1/60 s, through the engine's physics world. Beside it the same scene
// built directly on Bullet with the same world set-up: the bound the engine's bodies
// (compound shapes, motion states, sub-step callbacks) are measured against. Both report the
// time per step; the comparison runs both in turn and reports their ratio.
// The engine's bodies here have no scene item to be placed by, so they are built at the
// origin and then moved; the Bullet bodies are added and moved in the same order, which
// leaves both broadphases with the same history.

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <vector>

#include <btBulletDynamicsCommon.h>

#include "physics/bullet/nBulletPhysicItem.h"
#include "physics/bullet/nBulletPhysicWorld.h"
#include "physics/nPhysicShape.h"
#include "hub/nOrvex.h"
#include "resources/nGeometry.h"
#include "resources/nResourceCache.h"

namespace {

const int kSide = 10;
const int kLayers = 10;
const int kSteps = 240;
const float kStep = 1.0f / 60.0f;
const float kFloorHalf = 40.0f;
const int kFloorCells = 32;

btVector3 BoxPosition(int i)
{
    int x = i % kSide, z = (i / kSide) % kSide, layer = i / (kSide * kSide);
    return btVector3((x - kSide / 2) * 1.5f + 0.1f * layer, 2.0f + layer * 1.5f, (z - kSide / 2) * 1.5f);
}

// The floor grid's corners and triangles, shared by both scenes.
struct FloorMesh
{
    std::vector<float> vertices;
    std::vector<int32_t> quads;  // four corners each
    FloorMesh()
    {
        for (int z = 0; z <= kFloorCells; ++z)
            for (int x = 0; x <= kFloorCells; ++x) {
                vertices.push_back(-kFloorHalf + 2 * kFloorHalf * x / kFloorCells);
                vertices.push_back(0.0f);
                vertices.push_back(-kFloorHalf + 2 * kFloorHalf * z / kFloorCells);
            }
        for (int z = 0; z < kFloorCells; ++z)
            for (int x = 0; x < kFloorCells; ++x) {
                int32_t a = z * (kFloorCells + 1) + x;
                int32_t corners[4] = {a, a + kFloorCells + 1, a + kFloorCells + 2, a + 1};
                quads.insert(quads.end(), corners, corners + 4);
            }
    }
};

const FloorMesh& Floor()
{
    static FloorMesh floor;
    return floor;
}

// The floor geometry on the collision list of the engine's cache, where the world finds it.
void AddFloorGeometry(nOrvex* engine)
{
    {
        const FloorMesh& f = Floor();
        nGeometry* g = new nGeometry(engine);
        g->SetName("floor");
        g->AllocateVertices((uint32_t)f.vertices.size() / 3);
        for (uint32_t i = 0; i < g->vertexCount; ++i)
            g->vertices[i] = nVector(f.vertices[3 * i], f.vertices[3 * i + 1], f.vertices[3 * i + 2]);
        g->AllocatePolygons((uint32_t)f.quads.size() / 4);
        for (uint32_t p = 0; p < g->polygonCount; ++p) {
            g->polygons[p].count = 4;
            g->polygons[p].material = 0;
        }
        g->AllocateBindings();
        for (uint32_t p = 0; p < g->polygonCount; ++p)
            for (int k = 0; k < 4; ++k) g->polygons[p].bindings[k] = f.quads[4 * p + k];
        engine->GetResourceCache()->AddGeometry(g, true);
    }
}

// An engine with the player's resource caches.
nOrvexParts CachedParts()
{
    nOrvexParts parts;
    parts.caches = nResourceCache::GetEngineOps();
    return parts;
}

// The engine's world with its bodies.
struct EngineScene
{
    nOrvex engine{CachedParts()};
    nBulletPhysicWorld world;
    std::vector<nBulletPhysicItem*> items;

    EngineScene() : world(&engine)
    {
        AddFloorGeometry(&engine);
        world.Init();
        nBulletPhysicItem* floor = static_cast<nBulletPhysicItem*>(world.NewItem());
        nPhysicShape* mesh = floor->AddShape();
        mesh->SetTypeAndGeometry(PhysicShapeMesh, "floor");
        mesh->mass = 0.0f;
        floor->SetMode(PhysicItemStatic);
        floor->Create();
        items.push_back(floor);
        for (int i = 0; i < kSide * kSide * kLayers; ++i) {
            nBulletPhysicItem* box = static_cast<nBulletPhysicItem*>(world.NewItem());
            nPhysicShape* shape = box->AddShape();
            shape->SetTypeAndSize(PhysicShapeBox, nVector(1, 1, 1));
            shape->mass = 1.0f;
            box->SetMode(PhysicItemDynamic);
            box->Create();
            btVector3 p = BoxPosition(i);
            nMatrix4 m = nMatrix4::Translation(nVector(p.x(), p.y(), p.z()));
            box->SetMatrix(&m);
            items.push_back(box);
        }
    }
    ~EngineScene()
    {
        for (nBulletPhysicItem* item : items) delete item;
    }
    void Step() { world.Step(kStep); }
};

// The same scene on Bullet alone, set up as the engine's world sets up its simulation.
struct BulletScene
{
    btDefaultCollisionConfiguration* configuration;
    btCollisionDispatcher* dispatcher;
    btDbvtBroadphase* broadphase;
    btSequentialImpulseConstraintSolver* solver;
    btDiscreteDynamicsWorld* world;
    btTriangleIndexVertexArray* array;
    std::vector<int32_t> triangles;
    btBvhTriangleMeshShape* floorShape;
    btBoxShape* boxShape;
    std::vector<btRigidBody*> bodies;

    BulletScene()
    {
        btDefaultCollisionConstructionInfo info;
        info.m_defaultMaxPersistentManifoldPoolSize = 4096;
        info.m_defaultMaxCollisionAlgorithmPoolSize = 4096;
        configuration = new btDefaultCollisionConfiguration(info);
        dispatcher = new btCollisionDispatcher(configuration);
        broadphase = new btDbvtBroadphase();
        solver = new btSequentialImpulseConstraintSolver();
        world = new btDiscreteDynamicsWorld(dispatcher, broadphase, solver, configuration);
        world->getSolverInfo().m_solverMode = SOLVER_USE_WARMSTARTING | SOLVER_SIMD;
        world->setGravity(btVector3(0, -9.8f, 0));

        const FloorMesh& f = Floor();
        for (size_t q = 0; q < f.quads.size(); q += 4) {
            const int32_t* c = &f.quads[q];
            int32_t fan[6] = {c[0], c[1], c[2], c[0], c[2], c[3]};
            triangles.insert(triangles.end(), fan, fan + 6);
        }
        array = new btTriangleIndexVertexArray((int)triangles.size() / 3, triangles.data(), 3 * sizeof(int32_t),
                                               (int)f.vertices.size() / 3, const_cast<float*>(f.vertices.data()), 3 * sizeof(float));
        floorShape = new btBvhTriangleMeshShape(array, true, true);
        bodies.push_back(new btRigidBody(0.0f, new btDefaultMotionState(), floorShape));
        world->addRigidBody(bodies.back());

        boxShape = new btBoxShape(btVector3(0.5f, 0.5f, 0.5f));
        btVector3 inertia;
        boxShape->calculateLocalInertia(1.0f, inertia);
        for (int i = 0; i < kSide * kSide * kLayers; ++i) {
            btTransform start(btQuaternion::getIdentity(), BoxPosition(i));
            btRigidBody* body = new btRigidBody(1.0f, new btDefaultMotionState(), boxShape, inertia);
            body->setFriction(0.5f);
            body->setRestitution(0.5f);
            world->addRigidBody(body);
            body->setCenterOfMassTransform(start);
            bodies.push_back(body);
        }
    }
    ~BulletScene()
    {
        for (btRigidBody* body : bodies) {
            world->removeRigidBody(body);
            delete body->getMotionState();
            delete body;
        }
        delete boxShape;
        delete floorShape;
        delete array;
        delete world;
        delete solver;
        delete broadphase;
        delete dispatcher;
        delete configuration;
    }
    void Step() { world->stepSimulation(kStep, 4, kStep); }
};

// Seconds per step of one whole run of a new scene.
template<class Scene>
double RunScene()
{
    Scene scene;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kSteps; ++i) scene.Step();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / kSteps;
}

template<class Scene>
void BM_Scene(benchmark::State& state)
{
    double total = 0.0;
    for (auto _ : state) {
        double perStep = RunScene<Scene>();
        total += perStep;
        state.SetIterationTime(perStep * kSteps);
    }
    state.counters["ms_per_step"] = 1000.0 * total / state.iterations();
}

void BM_EngineWorld(benchmark::State& state) { BM_Scene<EngineScene>(state); }
void BM_BulletDirect(benchmark::State& state) { BM_Scene<BulletScene>(state); }

// Both in turn, so that both see the same machine state; ratio = engine / Bullet.
void BM_EngineOverBullet(benchmark::State& state)
{
    double engine = 0.0, bullet = 0.0;
    for (auto _ : state) {
        engine += RunScene<EngineScene>();
        bullet += RunScene<BulletScene>();
    }
    state.counters["engine_ms_per_step"] = 1000.0 * engine / state.iterations();
    state.counters["bullet_ms_per_step"] = 1000.0 * bullet / state.iterations();
    state.counters["ratio"] = engine / bullet;
}

}

BENCHMARK(BM_EngineWorld)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_BulletDirect)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_EngineOverBullet)->Unit(benchmark::kMillisecond)->Iterations(5);
