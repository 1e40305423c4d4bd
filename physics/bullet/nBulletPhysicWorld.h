#ifndef N_BULLETPHYSICWORLD_H
#define N_BULLETPHYSICWORLD_H

#include <cstdint>

#include "core/nList.h"
#include "core/nSharedObject.h"
#include "physics/nPhysicWorld.h"

class btBroadphaseInterface;
class btCollisionDispatcher;
class btDefaultCollisionConfiguration;
class btDiscreteDynamicsWorld;
class btSequentialImpulseConstraintSolver;
class nBulletConvex;
class nBulletDebugDraw;
class nBulletMesh;
class nBulletPhysicItem;
class nGeometry;
class nRenderer;

// The physics world on Bullet: stepping at a fixed rate with the callback around every
// sub-step, ray casts, contacts of the last step, and two caches that let every body naming
// the same geometry share one convex hull or one triangle mesh. The geometries of those shapes
// load through the engine's loader, on its collision list of the current resource cache, so a
// geometry is read once however many worlds and bodies name it.
class nBulletPhysicWorld : public nPhysicWorld
{
public:
    explicit nBulletPhysicWorld(nOrvex* engine);  // no simulation until Init
    // The scene's world factory: a running world drawing its debug view into the engine's
    // current renderer; NULL when out of memory.
    static nPhysicWorld* Make(nOrvex* engine);
    ~nBulletPhysicWorld() override;  // Shutdown

    void ClearShapeCache() override;  // shapes still used by bodies live on
    void DrawDebug() override;        // wireframes and contact points, when a debug renderer is set
    bool Init() override;             // true; a running world is kept as it is
    // Bodies still registered are taken out first; they stay with their items, outside any
    // simulation. The Bullet objects go in the reverse order of their creation.
    void Shutdown() override;
    // Closest hit on origin -> origin + direction * length (length <= 0: 5000). A body is hit
    // when its group is not 0 and its mask shares a bit with group (16 bits).
    bool RayCast(const nVector* origin, const nVector* direction, nPhysicRayHit* hit,
                 int32_t group, int32_t unused, float length) override;
    nPhysicItem* NewItem() override;           // NULL when out of memory
    void AddItem(nPhysicItem* item) override;  // with the item's group and mask, and the world gravity
    void RemoveItem(nPhysicItem* item) override;
    int32_t GetContactCount() override;                            // contact manifolds of the last step
    bool GetContact(int32_t index, nPhysicContact* out) override;  // false: no such manifold or no point in it
    void Step(float dt) override;                                  // at most 4 sub-steps of the fixed step; a bad dt is ignored with a warning

    void SetDebugRenderer(nRenderer* renderer);  // after Init only; the drawer lives until Shutdown
    // Cached or new; NULL when it cannot be built. A geometry that could not be read is
    // reported by the loader alone; one read without the data of the shape is one error line.
    nBulletConvex* GetConvex(const char* geometryName);
    nBulletMesh* GetMesh(const char* geometryName);

    // Puts a registered body under a new group and mask. Pairs already in contact are
    // dropped with it, so that a body taken out of a group stops colliding at once; the
    // bodies it touched are woken.
    void Refilter(nBulletPhysicItem* item, int32_t group, int32_t mask);

    btDiscreteDynamicsWorld* GetDynamicsWorld() const { return m_world; }
    int32_t GetConvexCacheCount() const { return m_convexCache.GetCount(); }
    int32_t GetMeshCacheCount() const { return m_meshCache.GetCount(); }

private:
    nGeometry* LoadShapeGeometry(const char* name);  // held only while its shape is built

    nList<nSharedPtr<nBulletMesh>*> m_meshCache;
    nList<nSharedPtr<nBulletConvex>*> m_convexCache;
    btDiscreteDynamicsWorld* m_world;
    btBroadphaseInterface* m_broadphase;
    btCollisionDispatcher* m_dispatcher;
    btDefaultCollisionConfiguration* m_configuration;
    btSequentialImpulseConstraintSolver* m_solver;
    nBulletDebugDraw* m_debugDraw;  // owned
};

#endif
