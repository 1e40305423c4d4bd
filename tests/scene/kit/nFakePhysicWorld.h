#ifndef N_FAKEPHYSICWORLD_H
#define N_FAKEPHYSICWORLD_H

#include <functional>
#include <string>
#include <vector>

#include "physics/nPhysicItem.h"
#include "physics/nPhysicWorld.h"

class nCallLog;
class nFakePhysicWorld;

// A body that stores what it is told and writes the calls that change the simulation into
// the call log as "physics.<item name>.Enable(1)". Its motion matrix (what a step leaves) is
// set by the test.
class nFakePhysicItem : public nPhysicItem
{
public:
    nFakePhysicItem(nFakePhysicWorld* world, nCallLog* log);

    void SetMode(int32_t mode) override;
    void SetSelfMask(int32_t bits) override { m_selfMask = bits; }
    int32_t GetSelfMask() override { return m_selfMask; }
    void SetCollisionMask(int32_t bits) override { m_collisionMask = bits; }
    int32_t GetCollisionMask() override { return m_collisionMask; }
    void SetLinearFactor(const nVector* f) override {}
    void SetAngularFactor(const nVector* f) override {}
    void SetGravity(const nVector* g) override
    {
        if (g) m_gravity = *g;
    }
    nVector GetGravity() override { return m_gravity; }
    void ApplyImpulse(const nVector* v, const nVector* p) override {}
    void ApplyForce(const nVector* f, const nVector* p) override {}
    void ApplyTorque(const nVector* t) override {}
    void SetAngularVelocity(const nVector* v) override {}
    nVector GetAngularVelocity() override { return nVector(0.0f, 0.0f, 0.0f); }
    void SetLinearVelocity(const nVector* v) override {}
    nVector GetLinearVelocity() override { return nVector(0.0f, 0.0f, 0.0f); }
    nVector GetLocalPointVelocity(const nVector* p) override { return nVector(0.0f, 0.0f, 0.0f); }
    nVector GetWorldPointVelocity(const nVector* p) override { return nVector(0.0f, 0.0f, 0.0f); }
    void SetLinearDamping(float d) override { m_linearDamping = d; }
    float GetLinearDamping() override { return m_linearDamping; }
    void SetAngularDamping(float d) override { m_angularDamping = d; }
    float GetAngularDamping() override { return m_angularDamping; }
    nVector GetCenterOfMass() override { return m_matrix.GetColumn(3, true); }
    void GetMotionMatrix(nMatrix4* out) override
    {
        if (out) *out = motionMatrix;
    }
    void GetMatrix(nMatrix4* out) override
    {
        if (out) *out = m_matrix;
    }
    void SetMatrix(const nMatrix4* m) override;
    void ResetDynamics() override;
    void SetSleeping(bool s) override {}
    bool IsSleeping() override { return false; }
    void Enable(bool enabled) override;
    bool IsActive() override { return enabled; }
    bool Create() override;
    void Destroy() override;
    ~nFakePhysicItem() override;

    std::string Name() const;  // the owner's name, or "?" without an owner
    void DetachWorld()
    {
        m_fakeWorld = 0;
        m_world = 0;
    }
    const nMatrix4& GetPlacement() const { return m_matrix; }

    nMatrix4 motionMatrix;  // returned by GetMotionMatrix
    bool enabled;

private:
    nFakePhysicWorld* m_fakeWorld;
    nCallLog* m_log;
    int32_t m_selfMask;
    int32_t m_collisionMask;
    float m_linearDamping;
    float m_angularDamping;
    nVector m_gravity;
    nMatrix4 m_matrix;
};

// A world that makes fake items and steps like a fixed-step simulation: each Step runs at
// most 4 sub-steps of the fixed step from an accumulator, calling the callback around each
// and the test's sub-step action between them. Contacts are set by the test.
class nFakePhysicWorld : public nPhysicWorld
{
public:
    nFakePhysicWorld(nOrvex* engine, nCallLog* log);
    ~nFakePhysicWorld() override;

    void ClearShapeCache() override {}
    bool Init() override;
    void Shutdown() override {}
    bool RayCast(const nVector* origin, const nVector* direction, nPhysicRayHit* hit,
                 int32_t group, int32_t unused, float length) override { return false; }
    nPhysicItem* NewItem() override;
    void AddItem(nPhysicItem* item) override;
    void RemoveItem(nPhysicItem* item) override;
    int32_t GetContactCount() override { return (int32_t)contacts.size(); }
    bool GetContact(int32_t index, nPhysicContact* out) override;
    void Step(float dt) override;

    bool initResult;  // what Init answers
    std::vector<nPhysicContact> contacts;
    std::function<void()> onSubStep;      // runs inside each sub-step, between the two callbacks
    int32_t liveItems;                    // items made and not yet deleted
    std::vector<nFakePhysicItem*> items;  // made and not yet deleted, in creation order

    void ItemDeleted(nFakePhysicItem* item);

    // The factory form for nScene: each made world is recorded and answers Init with the
    // value set here.
    static nPhysicWorld* Make(nOrvex* engine);
    static nCallLog* s_log;
    static bool s_initResult;
    static nFakePhysicWorld* s_last;  // the world made last
    static int32_t s_made;
    static int32_t s_deleted;

private:
    nCallLog* m_log;
    float m_accumulator;
};

#endif
