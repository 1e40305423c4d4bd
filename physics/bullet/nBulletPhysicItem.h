#ifndef N_BULLETPHYSICITEM_H
#define N_BULLETPHYSICITEM_H

#include <cstdint>

#include "core/nList.h"
#include "core/nVector.h"
#include "physics/nPhysicItem.h"

class btCollisionShape;
class btCompoundShape;
class btRigidBody;
class nBulletMotionState;
class nBulletPhysicWorld;

// One Bullet rigid body per managed item: a compound of one child per shape record, centred
// on the mass-weighted centre of the shapes. Factors, dampings, group and mask are cached and
// applied again to every new body. Without a body the operations do nothing and the getters
// give 0 or (0, 0, 0, 1). Vectors and matrices that are not finite are refused with a warning.
class nBulletPhysicItem : public nPhysicItem
{
public:
    explicit nBulletPhysicItem(nBulletPhysicWorld* world);
    ~nBulletPhysicItem() override;  // Destroy, then the shapes

    void SetSelfMask(int32_t group) override;  // pairs in contact are dropped with the change
    int32_t GetSelfMask() override { return m_selfMask; }
    void SetCollisionMask(int32_t mask) override;
    int32_t GetCollisionMask() override { return m_collisionMask; }
    void SetLinearFactor(const nVector* factor) override;
    void SetAngularFactor(const nVector* factor) override;
    void SetGravity(const nVector* gravity) override;
    nVector GetGravity() override;
    void ApplyImpulse(const nVector* velocityChange, const nVector* worldPoint) override;  // dynamic bodies only
    void ApplyForce(const nVector* force, const nVector* worldPoint) override;             // dynamic only; wakes
    void ApplyTorque(const nVector* torque) override;                                      // dynamic only; item space
    void SetAngularVelocity(const nVector* velocity) override;
    nVector GetAngularVelocity() override;
    void SetLinearVelocity(const nVector* velocity) override;
    nVector GetLinearVelocity() override;
    nVector GetLocalPointVelocity(const nVector* point) override;
    nVector GetWorldPointVelocity(const nVector* point) override;
    void SetLinearDamping(float retention) override;  // 1 = no damping
    float GetLinearDamping() override { return m_linearDamping; }
    void SetAngularDamping(float retention) override;
    float GetAngularDamping() override { return m_angularDamping; }
    nVector GetCenterOfMass() override;            // the body's origin
    void GetMotionMatrix(nMatrix4* out) override;  // the item matrix the simulation left
    void GetMatrix(nMatrix4* out) override;        // the centre-of-mass frame
    void SetMatrix(const nMatrix4* m) override;    // scale dropped
    void ResetDynamics() override;
    void SetSleeping(bool sleeping) override;
    bool IsSleeping() override;
    void Enable(bool enabled) override;  // off: out of simulation and collision, group and mask kept
    bool IsActive() override;            // a body neither sleeping nor disabled
    bool Create() override;              // true
    void Destroy() override;

    btRigidBody* GetBody() const { return m_body; }
    btCompoundShape* GetCompound() const { return m_compound; }        // every child; the body collides with its lone child directly
    const nVector& GetCentreOffset() const { return m_centreOffset; }  // item space

private:
    btCollisionShape* BuildChild(nPhysicShape* shape, nVector* referencePoint);
    btCollisionShape* PlaceChild(nPhysicShape* shape, btCollisionShape* child, nVector* extraOffset);
    void ApplyDamping();
    void ApplyFilter();
    bool IsDisabled() const;

    nBulletPhysicWorld* m_bulletWorld;
    nList<btCollisionShape*> m_bulletShapes;  // scaled views of shared shapes, owned by this body
    nBulletMotionState* m_motionState;
    btCompoundShape* m_compound;
    btRigidBody* m_body;
    nVector m_centreOffset;
    nVector m_linearFactor;
    nVector m_angularFactor;
    float m_linearDamping;
    float m_angularDamping;
    int32_t m_collisionMask;
    int32_t m_selfMask;
};

#endif
