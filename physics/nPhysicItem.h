#ifndef N_PHYSICITEM_H
#define N_PHYSICITEM_H

#include <cstdint>

#include "core/nList.h"
#include "core/nMatrix.h"
#include "core/nVector.h"

class nMItem;
class nMetaFile;
class nMetaTag;
class nOrvex;
class nPhysicShape;
class nPhysicWorld;

// Simulation modes of a body.
enum PhysicItemMode
{
    PhysicItemNone = 0,  // no body
    PhysicItemStatic = 1,
    PhysicItemKinematic = 2,
    PhysicItemDynamic = 3
};

// The body of one managed item, built from its list of collision-shape descriptions. Made by
// its world (nPhysicWorld::NewItem) with mode none and no shapes; no body exists in the
// simulation until Create. The item owns its shapes; deleting the item destroys its body.
// The virtual operations are declared in their fixed order.
class nPhysicItem
{
public:
    explicit nPhysicItem(nPhysicWorld* world);

    virtual void SetMode(int32_t mode) { m_mode = mode; }  // the body is rebuilt only by Create
    virtual int32_t GetMode() { return m_mode; }
    virtual void SetSelfMask(int32_t groupBits) = 0;
    virtual int32_t GetSelfMask() = 0;
    virtual void SetCollisionMask(int32_t maskBits) = 0;
    virtual int32_t GetCollisionMask() = 0;
    virtual void SetLinearFactor(const nVector* factor) = 0;
    virtual void SetAngularFactor(const nVector* factor) = 0;
    virtual void SetFlag(int32_t bits, bool on);
    virtual bool TestFlag(int32_t bits) { return (m_flags & (uint32_t)bits) != 0; }  // any of the bits
    virtual void SetGravity(const nVector* gravity) = 0;
    virtual nVector GetGravity() = 0;
    virtual void ApplyImpulse(const nVector* velocityChange, const nVector* worldPoint) = 0;  // point NULL: at the centre
    virtual void ApplyForce(const nVector* force, const nVector* worldPoint) = 0;
    virtual void ApplyTorque(const nVector* torque) = 0;  // in item space
    virtual void SetAngularVelocity(const nVector* velocity) = 0;
    virtual nVector GetAngularVelocity() = 0;
    virtual void SetLinearVelocity(const nVector* velocity) = 0;
    virtual nVector GetLinearVelocity() = 0;
    virtual nVector GetLocalPointVelocity(const nVector* point) = 0;
    virtual nVector GetWorldPointVelocity(const nVector* point) = 0;
    virtual void SetLinearDamping(float damping) = 0;
    virtual float GetLinearDamping() = 0;
    virtual void SetAngularDamping(float damping) = 0;
    virtual float GetAngularDamping() = 0;
    virtual nVector GetCenterOfMass() = 0;            // world
    virtual void GetMotionMatrix(nMatrix4* out) = 0;  // the item matrix left by the last step
    virtual void GetMatrix(nMatrix4* out) = 0;        // the body's current transform
    virtual void SetMatrix(const nMatrix4* m) = 0;    // moves the body
    virtual void ResetDynamics() = 0;                 // zero velocities and accumulated forces
    virtual void SetSleeping(bool sleeping) = 0;
    virtual bool IsSleeping() = 0;
    virtual void Enable(bool enabled) = 0;  // takes the body in or out of simulation and collision
    virtual bool IsActive() = 0;
    virtual bool Create() = 0;   // (re)builds the body from the shapes and the mode
    virtual void Destroy() = 0;  // removes and deletes the body
    virtual ~nPhysicItem();      // deletes every shape (the world's callback told of each)

    nPhysicItem(const nPhysicItem&) = delete;
    nPhysicItem& operator=(const nPhysicItem&) = delete;

    nPhysicShape* AddShape();               // a new shape with the defaults, appended; NULL when out of memory
    void RemoveShape(nPhysicShape* shape);  // unlinks (when present) and deletes it; a body built from it is destroyed first
    float GetTotalMass() const;             // sum of the shapes' masses
    nList<nPhysicShape*>& GetShapes() { return m_shapes; }

    nMItem* GetOwner() const { return m_owner; }
    void SetOwner(nMItem* owner) { m_owner = owner; }
    nPhysicWorld* GetWorld() const { return m_world; }

    // "PhysicItem" (or the older "TauItem" and "GColItem"): empties the shape list, masks
    // 1 and 1, then the children; false with one error line for another root name. The body
    // itself is built later by Create.
    bool Deserialize(nOrvex* engine, nMetaFile* document, nMetaTag* tag);
    nMetaTag* Serialize(nMetaFile* document);  // a new "PhysicItem" tag, NULL when out of memory

protected:
    void DeleteShape(nPhysicShape* shape);  // tells the world's callback, then deletes it

    nList<nPhysicShape*> m_shapes;
    uint32_t m_flags;
    int32_t m_mode;
    nMItem* m_owner;
    nPhysicWorld* m_world;
};

#endif
