#ifndef N_PHYSICWORLD_H
#define N_PHYSICWORLD_H

#include <cstdint>

#include "core/nVector.h"

class nMaterial;
class nOrvex;
class nPhysicItem;
class nPhysicShape;

// The hook a world calls around each fixed sub-step: before = true just before it, false
// just after; and, from each body of the world, just before one of its shape records is
// deleted (so that whoever handed the record out lets go of it). The base does nothing.
class nPhysicWorldCallback
{
public:
    virtual void OnSubStep(float dt, bool before) {}
    virtual void OnShapeDeleted(nPhysicShape* shape) {}
    virtual ~nPhysicWorldCallback() {}
};

// One contact pair of the last step.
struct nPhysicContact
{
    static const int32_t kMaxPoints = 4;

    nPhysicItem* a;
    nPhysicItem* b;
    int32_t pointCount;             // at most 4
    nVector positions[kMaxPoints];  // world, w = 1
    nVector normals[kMaxPoints];    // world, w = 1

    nPhysicContact() : a(0), b(0), pointCount(0) {}
};

// The result of a ray cast; the cast writes normal, point and item and leaves the rest.
struct nPhysicRayHit
{
    nVector normal;  // w = 1
    nVector point;   // w = 1
    nMaterial* material;
    nPhysicShape* shape;
    nPhysicItem* item;

    nPhysicRayHit() : material(0), shape(0), item(0) {}
};

// The simulation of one scene: stepping, ray casts, contacts and the creation of bodies. The
// virtual operations are declared in their fixed order. Construction -> Init -> Step once per
// scene evaluation -> Shutdown (also run by the destructor of an implementation).
class nPhysicWorld
{
public:
    explicit nPhysicWorld(nOrvex* engine);  // fixed step 1/60 s, gravity (0, -9.8, 0), no callback

    virtual void ClearShapeCache() = 0;  // drops the world's references to cached convex and mesh shapes
    virtual void DrawDebug() {}          // draws the bodies into the debug renderer
    virtual bool Init() = 0;             // creates the simulation; false on failure
    virtual void Shutdown() = 0;         // deletes the simulation and clears the shape cache
    virtual bool RayCast(const nVector* origin, const nVector* direction, nPhysicRayHit* hit,
                         int32_t group, int32_t unused, float length) = 0;
    virtual nPhysicItem* NewItem() = 0;                               // a new body bound to this world: mode none, no shapes
    virtual void AddItem(nPhysicItem* item) = 0;                      // registers the body and gives it the world gravity
    virtual void RemoveItem(nPhysicItem* item) = 0;                   // unregisters it
    virtual int32_t GetContactCount() = 0;                            // contact pairs of the last step
    virtual bool GetContact(int32_t index, nPhysicContact* out) = 0;  // false when there is no such contact point
    virtual void Step(float dt) = 0;                                  // at most 4 fixed sub-steps, the callback around each
    virtual ~nPhysicWorld() {}

    nPhysicWorld(const nPhysicWorld&) = delete;
    nPhysicWorld& operator=(const nPhysicWorld&) = delete;

    nOrvex* GetEngine() const { return m_engine; }
    float GetFixedStep() const { return m_fixedStep; }  // seconds per sub-step
    void SetFixedStep(float seconds) { m_fixedStep = seconds; }
    const nVector& GetGravity() const { return m_gravity; }
    void SetGravity(const nVector& gravity) { m_gravity = gravity; }
    nPhysicWorldCallback* GetCallback() const { return m_callback; }
    void SetCallback(nPhysicWorldCallback* c) { m_callback = c; }  // not owned

protected:
    nOrvex* m_engine;
    float m_fixedStep;
    float m_reserved0;
    nVector m_gravity;
    float m_reserved1;
    nPhysicWorldCallback* m_callback;
};

// Makes the world a scene simulates with, for the engine, with the engine's current renderer
// as its debug renderer; NULL when none can be made. Init is left to the caller.
typedef nPhysicWorld* (*nPhysicWorldFactory)(nOrvex* engine);

#endif
