#include "physics/bullet/nBulletPhysicWorld.h"

#include <cmath>
#include <new>

#include <btBulletDynamicsCommon.h>

#include "core/nLog.h"
#include "hub/nOrvex.h"
#include "physics/bullet/nBulletDebugDraw.h"
#include "physics/bullet/nBulletMath.h"
#include "physics/bullet/nBulletPhysicItem.h"
#include "physics/bullet/nBulletShapes.h"
#include "resources/nGeometry.h"
#include "resources/nResourceLoader.h"

namespace {

const float kDefaultRayLength = 5000.0f;
const int kMaxSubSteps = 4;

void PreTick(btDynamicsWorld* world, btScalar step)
{
    nBulletPhysicWorld* self = static_cast<nBulletPhysicWorld*>(world->getWorldUserInfo());
    if (self && self->GetCallback()) self->GetCallback()->OnSubStep(step, true);
}

void PostTick(btDynamicsWorld* world, btScalar step)
{
    nBulletPhysicWorld* self = static_cast<nBulletPhysicWorld*>(world->getWorldUserInfo());
    if (self && self->GetCallback()) self->GetCallback()->OnSubStep(step, false);
}

nPhysicItem* ItemOf(const btCollisionObject* object)
{
    return object ? static_cast<nPhysicItem*>(object->getUserPointer()) : 0;
}

template<class T>
void DeleteCache(nList<nSharedPtr<T>*>& cache)
{
    for (typename nList<nSharedPtr<T>*>::Node* n = cache.GetHead(); n; n = n->next) delete n->value;
    cache.Clear();
}

// Shapes are named after their geometries, whose names the loader normalises.
template<class T>
T* FindCached(const nList<nSharedPtr<T>*>& cache, const char* name)
{
    nString key = nString(name).GetNormalizedPath();
    for (typename nList<nSharedPtr<T>*>::Node* n = cache.GetHead(); n; n = n->next)
        if ((*n->value)->name == key) return n->value->Get();
    return 0;
}

void ReportNoData(const nGeometry* geometry)
{
    *g_log << "[!] No geometry data in '" << geometry->GetName().GetCStr() << "' to build collision shape.\n";
}

// Appends one reference to the new object to the cache; false (object deleted) when out of memory.
template<class T>
bool AddCached(nList<nSharedPtr<T>*>& cache, T* object)
{
    nSharedPtr<T>* holder = new (std::nothrow) nSharedPtr<T>(object);
    if (!holder) {
        delete object;
        return false;
    }
    if (!cache.InsertAfter(holder, 0)) {
        delete holder;
        return false;
    }
    return true;
}

}

nBulletPhysicWorld::nBulletPhysicWorld(nOrvex* engine)
    : nPhysicWorld(engine),
      m_world(0),
      m_broadphase(0),
      m_dispatcher(0),
      m_configuration(0),
      m_solver(0),
      m_debugDraw(0)
{
}

nBulletPhysicWorld::~nBulletPhysicWorld()
{
    Shutdown();
    m_meshCache.Clear();
    m_convexCache.Clear();
}

nPhysicWorld* nBulletPhysicWorld::Make(nOrvex* engine)
{
    nBulletPhysicWorld* world = new (std::nothrow) nBulletPhysicWorld(engine);
    if (!world) return 0;
    world->Init();
    if (engine) world->SetDebugRenderer(engine->GetRenderer());
    return world;
}

bool nBulletPhysicWorld::Init()
{
    if (m_world) return true;
    btDefaultCollisionConstructionInfo info;
    // Pools of a size that a small game fills: Bullet clears every byte of them when the world is
    // made (at 512 of each, some 550 KB and over a millisecond of a fresh player's start-up, more
    // than reading a small scene), whether or not anything ever touches. 64 contact manifolds of
    // 880 bytes and 128 pair algorithms of 192 bytes (a compound body's pair takes two) hold the
    // touching pairs of a few dozen bodies; past them Bullet takes each new pair from the heap,
    // one allocation beside the narrow-phase work that a new pair costs anyway.
    info.m_defaultMaxPersistentManifoldPoolSize = 64;
    info.m_defaultMaxCollisionAlgorithmPoolSize = 128;
    info.m_useEpaPenetrationAlgorithm = 1;
    m_configuration = new btDefaultCollisionConfiguration(info);
    m_dispatcher = new btCollisionDispatcher(m_configuration);
    m_broadphase = new btDbvtBroadphase();
    m_solver = new btSequentialImpulseConstraintSolver();
    m_world = new btDiscreteDynamicsWorld(m_dispatcher, m_broadphase, m_solver, m_configuration);
    m_world->setInternalTickCallback(PreTick, this, true);
    m_world->setInternalTickCallback(PostTick, this, false);
    m_world->getSolverInfo().m_solverMode = SOLVER_USE_WARMSTARTING | SOLVER_SIMD;
    return true;
}

void nBulletPhysicWorld::Shutdown()
{
    if (m_world) {
        // Bodies belong to their items; they leave the simulation before it goes.
        btCollisionObjectArray& objects = m_world->getCollisionObjectArray();
        for (int i = objects.size() - 1; i >= 0; --i) {
            btRigidBody* body = btRigidBody::upcast(objects[i]);
            if (body) m_world->removeRigidBody(body);
            else m_world->removeCollisionObject(objects[i]);
        }
        m_world->setDebugDrawer(0);
    }
    delete m_world;
    delete m_solver;
    delete m_broadphase;
    delete m_dispatcher;
    delete m_configuration;
    delete m_debugDraw;
    m_world = 0;
    m_solver = 0;
    m_broadphase = 0;
    m_dispatcher = 0;
    m_configuration = 0;
    m_debugDraw = 0;
    ClearShapeCache();
}

void nBulletPhysicWorld::ClearShapeCache()
{
    DeleteCache(m_meshCache);
    DeleteCache(m_convexCache);
}

void nBulletPhysicWorld::SetDebugRenderer(nRenderer* renderer)
{
    if (!m_world) return;
    nBulletDebugDraw* draw = new (std::nothrow) nBulletDebugDraw(renderer);
    if (!draw) return;
    m_world->setDebugDrawer(draw);
    delete m_debugDraw;
    m_debugDraw = draw;
}

void nBulletPhysicWorld::DrawDebug()
{
    if (!m_world || !m_debugDraw) return;
    m_debugDraw->debugMode = btIDebugDraw::DBG_DrawWireframe | btIDebugDraw::DBG_DrawContactPoints;
    m_world->debugDrawWorld();
    m_debugDraw->debugMode = 0;
}

void nBulletPhysicWorld::Step(float dt)
{
    if (!m_world) return;
    // Bullet keeps the time left over between steps: one bad value would stop it for good.
    if (!(dt >= 0.0f) || !std::isfinite(dt)) {
        *g_log << "[*] Physic world step ignored a time that is negative or not a finite number.\n";
        return;
    }
    m_world->stepSimulation(dt, kMaxSubSteps, m_fixedStep);
}

nPhysicItem* nBulletPhysicWorld::NewItem()
{
    return new (std::nothrow) nBulletPhysicItem(this);
}

void nBulletPhysicWorld::AddItem(nPhysicItem* item)
{
    nBulletPhysicItem* bullet = static_cast<nBulletPhysicItem*>(item);
    btRigidBody* body = bullet ? bullet->GetBody() : 0;
    if (!m_world || !body || body->getBroadphaseHandle()) return;
    m_world->addRigidBody(body, bullet->GetSelfMask(), bullet->GetCollisionMask());
    body->setGravity(ToBullet(m_gravity));
}

void nBulletPhysicWorld::RemoveItem(nPhysicItem* item)
{
    nBulletPhysicItem* bullet = static_cast<nBulletPhysicItem*>(item);
    btRigidBody* body = bullet ? bullet->GetBody() : 0;
    if (!m_world || !body || !body->getBroadphaseHandle()) return;
    m_world->removeRigidBody(body);
}

void nBulletPhysicWorld::Refilter(nBulletPhysicItem* item, int32_t group, int32_t mask)
{
    btRigidBody* body = item ? item->GetBody() : 0;
    if (!m_world || !body) return;
    btBroadphaseProxy* proxy = body->getBroadphaseHandle();
    if (!proxy) return;
    if (proxy->m_collisionFilterGroup == group && proxy->m_collisionFilterMask == mask) return;
    // Bullet filters only pairs it has yet to make; taking the body out and back in drops the
    // pairs it already has. Bodies resting on it may be asleep and would stay where they are:
    // they are woken first. Re-adding gives the body the Bullet world's gravity, so its own
    // comes back.
    for (int i = 0; i < m_dispatcher->getNumManifolds(); ++i) {
        btPersistentManifold* manifold = m_dispatcher->getManifoldByIndexInternal(i);
        const btCollisionObject* other = manifold->getBody0() == body   ? manifold->getBody1()
                                         : manifold->getBody1() == body ? manifold->getBody0()
                                                                        : 0;
        if (other) const_cast<btCollisionObject*>(other)->activate();
    }
    btVector3 gravity = body->getGravity();
    m_world->removeRigidBody(body);
    m_world->addRigidBody(body, group, mask);
    body->setGravity(gravity);
}

bool nBulletPhysicWorld::RayCast(const nVector* origin, const nVector* direction, nPhysicRayHit* hit,
                                 int32_t group, int32_t unused, float length)
{
    if (!m_world || !origin || !direction) return false;
    if (!std::isfinite(origin->x) || !std::isfinite(origin->y) || !std::isfinite(origin->z) ||
        !std::isfinite(direction->x) || !std::isfinite(direction->y) || !std::isfinite(direction->z) || std::isnan(length))
        return false;
    if (!(length > 0.0f)) length = kDefaultRayLength;
    btVector3 from = ToBullet(*origin);
    btVector3 to = from + ToBullet(*direction) * length;
    btCollisionWorld::ClosestRayResultCallback result(from, to);
    result.m_collisionFilterGroup = group & 0xFFFF;
    result.m_collisionFilterMask = -1;
    m_world->rayTest(from, to, result);
    if (!result.hasHit()) return false;
    if (hit) {
        hit->normal = FromBullet(result.m_hitNormalWorld);
        hit->point = FromBullet(result.m_hitPointWorld);
        hit->item = ItemOf(result.m_collisionObject);
    }
    return true;
}

int32_t nBulletPhysicWorld::GetContactCount()
{
    return m_dispatcher ? m_dispatcher->getNumManifolds() : 0;
}

bool nBulletPhysicWorld::GetContact(int32_t index, nPhysicContact* out)
{
    if (!m_dispatcher || !out || index < 0 || index >= m_dispatcher->getNumManifolds()) return false;
    btPersistentManifold* manifold = m_dispatcher->getManifoldByIndexInternal(index);
    if (!manifold || manifold->getNumContacts() == 0) return false;
    out->a = ItemOf(manifold->getBody0());
    out->b = ItemOf(manifold->getBody1());
    out->pointCount = 0;
    for (int i = 0; i < manifold->getNumContacts() && out->pointCount < nPhysicContact::kMaxPoints; ++i) {
        const btManifoldPoint& point = manifold->getContactPoint(i);
        out->positions[out->pointCount] = FromBullet(point.getPositionWorldOnB());
        out->normals[out->pointCount] = FromBullet(point.m_normalWorldOnB);
        ++out->pointCount;
    }
    return true;
}

nGeometry* nBulletPhysicWorld::LoadShapeGeometry(const char* name)
{
    // The collision list: never set up, so the renderer cannot take the vertices away.
    return LoadGeometry(m_engine, name, true, false);
}

nBulletConvex* nBulletPhysicWorld::GetConvex(const char* geometryName)
{
    if (!geometryName) return 0;
    if (nBulletConvex* cached = FindCached(m_convexCache, geometryName)) return cached;
    nSharedPtr<nGeometry> geometry(LoadShapeGeometry(geometryName));
    if (!geometry.IsValid()) return 0;
    // No vertex: the loader has said why (a file is never read without vertices). An empty
    // hull would give a body of no size.
    if (geometry->vertexCount == 0) return 0;
    nBulletConvex* convex = new (std::nothrow) nBulletConvex();
    if (!convex || !convex->Build(geometry.Get())) {
        delete convex;
        *g_log << "[!] Failed to allocate bullet convex.\n";
        return 0;
    }
    if (convex->name.IsEmpty()) convex->name.Set(geometryName);
    return AddCached(m_convexCache, convex) ? convex : 0;
}

nBulletMesh* nBulletPhysicWorld::GetMesh(const char* geometryName)
{
    if (!geometryName) return 0;
    if (nBulletMesh* cached = FindCached(m_meshCache, geometryName)) return cached;
    nSharedPtr<nGeometry> geometry(LoadShapeGeometry(geometryName));
    if (!geometry.IsValid() || geometry->vertexCount == 0) return 0;  // reported by the loader
    if (geometry->polygonCount == 0) {
        ReportNoData(geometry.Get());
        return 0;
    }
    nBulletMesh* mesh = new (std::nothrow) nBulletMesh();
    if (!mesh) {
        *g_log << "[!] Failed to allocate bullet mesh.\n";
        return 0;
    }
    if (!mesh->Build(geometry.Get())) {
        delete mesh;
        return 0;
    }
    if (mesh->name.IsEmpty()) mesh->name.Set(geometryName);
    return AddCached(m_meshCache, mesh) ? mesh : 0;
}
