#include "physics/bullet/nBulletPhysicItem.h"

#include <cmath>
#include <cstdint>
#include <new>

#include <btBulletDynamicsCommon.h>
#include <BulletCollision/CollisionShapes/btHeightfieldTerrainShape.h>
#include <BulletCollision/CollisionShapes/btScaledBvhTriangleMeshShape.h>

#include "core/nLog.h"
#include "physics/bullet/nBulletMath.h"
#include "physics/bullet/nBulletMotionState.h"
#include "physics/bullet/nBulletPhysicWorld.h"
#include "physics/bullet/nBulletShapes.h"
#include "physics/nPhysicShape.h"

namespace {

// Terrain heights are stored as twentieths of a unit.
const float kHeightScale = 0.05f;

// A height field over its own copy of the samples. The terrain's rows run towards -Z while
// Bullet's run towards +Z, so the copy holds them in reverse order; with a positive scaling
// Bullet's bounds stay the right way round.
class nBulletHeightfield : public btHeightfieldTerrainShape
{
public:
    nBulletHeightfield(int width, int length, int16_t* rows, float minHeight, float maxHeight)
        : btHeightfieldTerrainShape(width, length, rows, kHeightScale, minHeight, maxHeight, 1, false),
          m_rows(rows), m_middle((minHeight + maxHeight) * 0.5f)
    {
    }
    ~nBulletHeightfield() override { delete[] m_rows; }
    // Bullet puts this height, unscaled, at the shape's origin.
    float GetMiddleHeight() const { return m_middle; }

private:
    int16_t* m_rows;
    float m_middle;
};

bool IsIdentity(const btTransform& t)
{
    const btMatrix3x3& b = t.getBasis();
    return t.getOrigin().isZero() && b[0] == btVector3(1, 0, 0) && b[1] == btVector3(0, 1, 0) && b[2] == btVector3(0, 0, 1);
}

// A value that is not a finite number would spread through the whole simulation.
void RefuseNonFinite()
{
    *g_log << "[*] Physic item ignored a value that is not a finite number.\n";
}

// Present and finite; a present value that is not finite is refused with one warning.
bool Usable(const nVector* v)
{
    if (!v) return false;
    if (std::isfinite(v->x) && std::isfinite(v->y) && std::isfinite(v->z)) return true;
    RefuseNonFinite();
    return false;
}

btMatrix3x3 EulerBasis(const nVector& angles)
{
    nMatrix3 r = nMatrix3::FromEulerVector(angles, RotationOrderYXZ);
    const float* e = r.m;
    return btMatrix3x3(e[0], e[1], e[2], e[3], e[4], e[5], e[6], e[7], e[8]);
}

}

nBulletPhysicItem::nBulletPhysicItem(nBulletPhysicWorld* world)
    : nPhysicItem(world),
      m_bulletWorld(world),
      m_motionState(0),
      m_compound(0),
      m_body(0),
      m_centreOffset(0.0f, 0.0f, 0.0f, 1.0f),
      m_linearFactor(1.0f, 1.0f, 1.0f, 1.0f),
      m_angularFactor(1.0f, 1.0f, 1.0f, 1.0f),
      m_linearDamping(1.0f),
      m_angularDamping(1.0f),
      m_collisionMask(1),
      m_selfMask(1)
{
}

nBulletPhysicItem::~nBulletPhysicItem()
{
    Destroy();
    m_bulletShapes.Clear();
}

// ---------------------------------------------------------------------------------------------
// Building and taking down the body

btCollisionShape* nBulletPhysicItem::BuildChild(nPhysicShape* shape, nVector* referencePoint)
{
    *referencePoint = shape->position;
    const nVector& size = shape->size;
    btCollisionShape* child = 0;
    switch (shape->type) {
        case PhysicShapeBox:
            child = new btBoxShape(btVector3(size.x, size.y, size.z) * 0.5f);
            break;
        case PhysicShapeSphere:
            child = new btSphereShape(size.x);
            break;
        case PhysicShapeCylinder:
            child = new btCylinderShapeZ(btVector3(size.x, size.y, size.z) * 0.5f);
            break;
        case PhysicShapeCone:
            child = new btConeShapeZ(size.x * 0.5f, size.z * 0.5f);
            break;
        case PhysicShapeCapsule:
            child = new btCapsuleShapeZ(size.x * 0.5f, size.z);
            break;
        case PhysicShapeConvex: {
            nBulletConvex* convex = m_bulletWorld->GetConvex(shape->geometry.GetCStr());
            if (!convex) return 0;
            shape->geometry = convex->name;
            *referencePoint = convex->centroid.Transform(shape->GetMatrix());
            convex->AddRef();
            shape->simulationShape = convex;
            shape->simulationType = shape->type;
            return 0;
        }
        case PhysicShapeMesh: {
            nBulletMesh* mesh = m_bulletWorld->GetMesh(shape->geometry.GetCStr());
            if (!mesh) return 0;
            shape->geometry = mesh->name;
            *referencePoint = mesh->centroid.Transform(shape->GetMatrix());
            mesh->AddRef();
            shape->simulationShape = mesh;
            shape->simulationType = shape->type;
            return 0;
        }
        case PhysicShapeHeightfield: {
            int32_t width = shape->heightfieldWidth, length = shape->heightfieldLength;
            if (!shape->heightfieldSamples || width < 2 || length < 2 || (int64_t)width * length > INT32_MAX) {
                *g_log << "[*] Height field shape without samples left out of the body.\n";
                return 0;
            }
            int32_t count = width * length;
            int16_t* rows = new (std::nothrow) int16_t[count];
            if (!rows) return 0;
            int16_t lowest = shape->heightfieldSamples[0], highest = lowest;
            for (int32_t row = 0; row < length; ++row) {
                const int16_t* source = shape->heightfieldSamples + (size_t)(length - 1 - row) * width;
                for (int32_t column = 0; column < width; ++column) {
                    int16_t h = source[column];
                    rows[row * width + column] = h;
                    if (h < lowest) lowest = h;
                    if (h > highest) highest = h;
                }
            }
            child = new nBulletHeightfield(width, length, rows, lowest * kHeightScale, highest * kHeightScale);
            if (!child) delete[] rows;
            break;
        }
        default:
            return 0;
    }
    if (child && IsScaled(shape->scale)) child->setLocalScaling(ToBullet(shape->scale));
    shape->simulationShape = child;
    shape->simulationType = shape->type;
    return child;
}

// The Bullet shape that goes into the compound for a built record, and the record's offset
// beyond its position. Shared shapes with a scale get a scaled view owned by this body.
btCollisionShape* nBulletPhysicItem::PlaceChild(nPhysicShape* shape, btCollisionShape* child, nVector* extraOffset)
{
    *extraOffset = nVector(0.0f, 0.0f, 0.0f, 1.0f);
    const nVector& s = shape->scale;
    if (shape->type == PhysicShapeConvex) {
        btConvexHullShape* hull = static_cast<nBulletConvex*>(shape->simulationShape)->hull;
        if (!IsScaled(s)) return hull;
        btConvexHullShape* scaled = new btConvexHullShape(
            &hull->getUnscaledPoints()[0][0], hull->getNumPoints(), sizeof(btVector3));
        if (!scaled) return 0;
        scaled->setLocalScaling(ToBullet(s));
        if (!m_bulletShapes.InsertAfter(scaled, 0)) {
            delete scaled;
            return 0;
        }
        return scaled;
    }
    if (shape->type == PhysicShapeMesh) {
        btBvhTriangleMeshShape* bvh = static_cast<nBulletMesh*>(shape->simulationShape)->shape;
        if (!IsScaled(s)) return bvh;
        btScaledBvhTriangleMeshShape* scaled = new btScaledBvhTriangleMeshShape(bvh, ToBullet(s));
        if (!scaled) return 0;
        if (!m_bulletShapes.InsertAfter(scaled, 0)) {
            delete scaled;
            return 0;
        }
        return scaled;
    }
    if (shape->type == PhysicShapeHeightfield) {
        // Sample (column, row) lands at (column * spacing, sample / 20, -row * spacing) of the
        // shape's frame. Bullet centres the grid on its origin and the heights between the
        // lowest and the highest sample.
        nBulletHeightfield* field = static_cast<nBulletHeightfield*>(child);
        float spacing = shape->heightfieldScale;
        btVector3 scaling(spacing * s.x, s.y, spacing * s.z);
        field->setLocalScaling(scaling);
        float halfWidth = (shape->heightfieldWidth - 1) * 0.5f * scaling.x();
        float halfLength = (shape->heightfieldLength - 1) * 0.5f * scaling.z();
        *extraOffset = nVector(halfWidth, field->GetMiddleHeight() * scaling.y(), -halfLength, 1.0f);
    }
    return child;
}

bool nBulletPhysicItem::Create()
{
    Destroy();
    if (m_mode == PhysicItemNone) return true;

    m_compound = new btCompoundShape(true);
    if (!m_compound) return true;
    int32_t shapeCount = m_shapes.GetCount();
    btScalar* masses = shapeCount > 0 ? new (std::nothrow) btScalar[shapeCount] : 0;
    btScalar childMass = 0.0f;
    m_centreOffset = nVector(0.0f, 0.0f, 0.0f, 1.0f);

    if (shapeCount > 0 && masses) {
        nVector weighted(0.0f, 0.0f, 0.0f, 1.0f);
        float total = 0.0f;
        for (nList<nPhysicShape*>::Node* n = m_shapes.GetHead(); n; n = n->next) {
            nVector reference;
            BuildChild(n->value, &reference);
            weighted = weighted + reference * n->value->mass;
            total += n->value->mass;
        }
        if (total != 0.0f) m_centreOffset = weighted / total;

        // The masses follow the compound's children, which leave out the records that built nothing.
        int32_t children = 0;
        for (nList<nPhysicShape*>::Node* n = m_shapes.GetHead(); n; n = n->next) {
            nPhysicShape* shape = n->value;
            if (!shape->simulationShape) continue;
            nVector extra;
            btCollisionShape* placed = PlaceChild(shape, static_cast<btCollisionShape*>(shape->simulationShape), &extra);
            if (!placed) continue;
            // Bullet needs rigid child frames: the record's scale went into the shape itself.
            btMatrix3x3 basis = EulerBasis(shape->rotation);
            btVector3 origin = ToBullet(shape->position - m_centreOffset) + basis * ToBullet(extra);
            m_compound->addChildShape(btTransform(basis, origin), placed);
            masses[children++] = shape->mass;
            childMass += shape->mass;
        }
    }

    if (m_compound->getNumChildShapes() == 0) {
        delete[] masses;
        Destroy();
        SetMode(PhysicItemNone);
        return true;
    }

    btScalar mass = 0.0f;
    btVector3 inertia(0.0f, 0.0f, 0.0f);
    if (m_mode == PhysicItemDynamic) {
        if (childMass > 0.0f && GetTotalMass() > 0.0f) {
            btTransform principal;
            m_compound->calculatePrincipalAxisTransform(masses, principal, inertia);
            mass = GetTotalMass();
        } else {
            *g_log << "[*] Dynamic physic item without mass is simulated as static.\n";
        }
    }
    delete[] masses;

    // A lone child in the body's own frame collides as itself: the compound would only add a
    // level of collision dispatch to every pair.
    btCollisionShape* bodyShape = m_compound;
    if (m_compound->getNumChildShapes() == 1 && IsIdentity(m_compound->getChildTransform(0)))
        bodyShape = m_compound->getChildShape(0);

    m_motionState = new nBulletMotionState(this);
    if (m_motionState) {
        btRigidBody::btRigidBodyConstructionInfo info(mass, m_motionState, bodyShape, inertia);
        m_body = new btRigidBody(info);
    }
    if (!m_body) {
        Destroy();
        return true;
    }
    m_body->setUserPointer(static_cast<nPhysicItem*>(this));
    if (m_mode == PhysicItemKinematic) {
        m_body->setCollisionFlags(m_body->getCollisionFlags() | btCollisionObject::CF_KINEMATIC_OBJECT);
        m_body->forceActivationState(DISABLE_DEACTIVATION);
    }
    if (m_shapes.GetHead()) {
        m_body->setFriction(m_shapes.GetHead()->value->staticFriction);
        m_body->setRestitution(m_shapes.GetHead()->value->restitution);
    }
    m_world->AddItem(this);
    SetLinearFactor(&m_linearFactor);
    SetAngularFactor(&m_angularFactor);
    ApplyDamping();
    ApplyFilter();
    return true;
}

void nBulletPhysicItem::Destroy()
{
    if (m_body) m_world->RemoveItem(this);
    for (nList<nPhysicShape*>::Node* n = m_shapes.GetHead(); n; n = n->next) {
        nPhysicShape* shape = n->value;
        if (!shape->simulationShape) continue;
        // Taken down as what it was built as: a script may have given the record another type since.
        if (shape->simulationType == PhysicShapeConvex) static_cast<nBulletConvex*>(shape->simulationShape)->Release();
        else if (shape->simulationType == PhysicShapeMesh) static_cast<nBulletMesh*>(shape->simulationShape)->Release();
        else delete static_cast<btCollisionShape*>(shape->simulationShape);
        shape->simulationShape = 0;
        shape->simulationType = PhysicShapeNone;
    }
    delete m_body;
    delete m_motionState;
    delete m_compound;
    for (nList<btCollisionShape*>::Node* n = m_bulletShapes.GetHead(); n; n = n->next) delete n->value;
    m_bulletShapes.Clear();
    m_body = 0;
    m_motionState = 0;
    m_compound = 0;
}

// ---------------------------------------------------------------------------------------------
// Filtering and simulation state

bool nBulletPhysicItem::IsDisabled() const
{
    return m_body && m_body->getActivationState() == DISABLE_SIMULATION;
}

// A disabled body keeps group and mask 0 until it is enabled again.
void nBulletPhysicItem::ApplyFilter()
{
    if (m_body && !IsDisabled()) m_bulletWorld->Refilter(this, m_selfMask, m_collisionMask);
}

void nBulletPhysicItem::SetSelfMask(int32_t group)
{
    m_selfMask = group;
    ApplyFilter();
}

void nBulletPhysicItem::SetCollisionMask(int32_t mask)
{
    m_collisionMask = mask;
    ApplyFilter();
}

void nBulletPhysicItem::Enable(bool enabled)
{
    if (!m_body) return;
    if (enabled) {
        // The state each kind of body has when it is registered: Bullet ignores plain
        // activation-state changes of a kinematic body (state 4), and keeps static bodies
        // asleep so that sleeping bodies resting on them cost nothing.
        if (m_mode == PhysicItemKinematic) m_body->forceActivationState(DISABLE_DEACTIVATION);
        else if (m_body->isStaticObject()) m_body->forceActivationState(ISLAND_SLEEPING);
        else m_body->forceActivationState(ACTIVE_TAG);
        m_body->activate();
        ApplyFilter();
    } else {
        m_body->forceActivationState(DISABLE_SIMULATION);
        m_bulletWorld->Refilter(this, 0, 0);
    }
}

bool nBulletPhysicItem::IsActive()
{
    if (!m_body) return false;
    int state = m_body->getActivationState();
    return state != ISLAND_SLEEPING && state != DISABLE_SIMULATION;
}

void nBulletPhysicItem::SetSleeping(bool sleeping)
{
    if (!m_body) return;
    if (sleeping) m_body->setActivationState(WANTS_DEACTIVATION);
    else m_body->activate(false);
}

bool nBulletPhysicItem::IsSleeping()
{
    return m_body ? m_body->wantsSleeping() : false;
}

// ---------------------------------------------------------------------------------------------
// Factors, damping, gravity

void nBulletPhysicItem::SetLinearFactor(const nVector* factor)
{
    if (!factor) return;
    m_linearFactor = *factor;
    if (m_body) m_body->setLinearFactor(ToBullet(*factor));
}

void nBulletPhysicItem::SetAngularFactor(const nVector* factor)
{
    if (!factor) return;
    m_angularFactor = *factor;
    if (m_body) m_body->setAngularFactor(ToBullet(*factor));
}

void nBulletPhysicItem::ApplyDamping()
{
    if (m_body) m_body->setDamping(1.0f - m_linearDamping, 1.0f - m_angularDamping);
}

void nBulletPhysicItem::SetLinearDamping(float retention)
{
    m_linearDamping = retention;
    ApplyDamping();
}

void nBulletPhysicItem::SetAngularDamping(float retention)
{
    m_angularDamping = retention;
    ApplyDamping();
}

void nBulletPhysicItem::SetGravity(const nVector* gravity)
{
    if (m_body && Usable(gravity)) m_body->setGravity(ToBullet(*gravity));
}

nVector nBulletPhysicItem::GetGravity()
{
    return m_body ? FromBullet(m_body->getGravity()) : nVector();
}

// ---------------------------------------------------------------------------------------------
// Impulses, forces, velocities

void nBulletPhysicItem::ApplyImpulse(const nVector* velocityChange, const nVector* worldPoint)
{
    // A body without mass (a massless dynamic item is simulated as static) cannot take one.
    if (!m_body || !Usable(velocityChange) || m_mode != PhysicItemDynamic || m_body->getInvMass() == 0.0f) return;
    if (worldPoint && !Usable(worldPoint)) return;
    SetSleeping(false);
    btVector3 v = ToBullet(*velocityChange);
    btScalar length = v.length();
    if (worldPoint && length > 0.0001f) {
        btVector3 n = v / length;
        btVector3 r = ToBullet(*worldPoint) - m_body->getCenterOfMassPosition();
        btScalar k = m_body->getInvMass() + n.dot((m_body->getInvInertiaTensorWorld() * r.cross(n)).cross(r));
        if (k > 0.0f) m_body->applyImpulse(v / k, r);
    } else {
        m_body->applyCentralImpulse(v / m_body->getInvMass());
    }
}

void nBulletPhysicItem::ApplyForce(const nVector* force, const nVector* worldPoint)
{
    if (!m_body || !Usable(force) || m_mode != PhysicItemDynamic) return;
    if (worldPoint && !Usable(worldPoint)) return;
    SetSleeping(false);
    if (worldPoint) m_body->applyForce(ToBullet(*force), ToBullet(*worldPoint) - m_body->getCenterOfMassPosition());
    else m_body->applyCentralForce(ToBullet(*force));
}

void nBulletPhysicItem::ApplyTorque(const nVector* torque)
{
    if (!m_body || !Usable(torque) || m_mode != PhysicItemDynamic) return;
    m_body->applyTorque(m_body->getWorldTransform().getBasis() * ToBullet(*torque));
}

void nBulletPhysicItem::SetAngularVelocity(const nVector* velocity)
{
    if (m_body && Usable(velocity)) m_body->setAngularVelocity(ToBullet(*velocity));
}

nVector nBulletPhysicItem::GetAngularVelocity()
{
    return m_body ? FromBullet(m_body->getAngularVelocity()) : nVector();
}

void nBulletPhysicItem::SetLinearVelocity(const nVector* velocity)
{
    if (m_body && Usable(velocity)) m_body->setLinearVelocity(ToBullet(*velocity));
}

nVector nBulletPhysicItem::GetLinearVelocity()
{
    return m_body ? FromBullet(m_body->getLinearVelocity()) : nVector();
}

nVector nBulletPhysicItem::GetLocalPointVelocity(const nVector* point)
{
    if (!m_body || !point) return nVector();
    btVector3 r = m_body->getWorldTransform().getBasis() * ToBullet(*point);
    return FromBullet(m_body->getLinearVelocity() + m_body->getAngularVelocity().cross(r));
}

nVector nBulletPhysicItem::GetWorldPointVelocity(const nVector* point)
{
    if (!m_body || !point) return nVector();
    btVector3 r = ToBullet(*point) - m_body->getCenterOfMassPosition();
    return FromBullet(m_body->getLinearVelocity() + m_body->getAngularVelocity().cross(r));
}

void nBulletPhysicItem::ResetDynamics()
{
    if (!m_body) return;
    m_body->setLinearVelocity(btVector3(0, 0, 0));
    m_body->setAngularVelocity(btVector3(0, 0, 0));
    m_body->clearForces();
}

// ---------------------------------------------------------------------------------------------
// Matrices

nVector nBulletPhysicItem::GetCenterOfMass()
{
    return m_body ? FromBullet(m_body->getCenterOfMassPosition()) : nVector();
}

void nBulletPhysicItem::GetMotionMatrix(nMatrix4* out)
{
    if (m_motionState && out) *out = m_motionState->GetMatrix();
}

void nBulletPhysicItem::GetMatrix(nMatrix4* out)
{
    if (m_body && out) *out = FromBulletTransform(m_body->getWorldTransform());
}

void nBulletPhysicItem::SetMatrix(const nMatrix4* m)
{
    if (!m_body || !m) return;
    for (int i = 0; i < 16; ++i)
        if (!std::isfinite(m->m[i])) return RefuseNonFinite();
    btTransform t = ToRigidBulletTransform(*m, 0);
    t.getOrigin() += t.getBasis() * ToBullet(m_centreOffset);
    m_body->setCenterOfMassTransform(t);
    // An item without a scene node is placed by its cached matrix, which now follows.
    m_motionState->SetMatrix(*m);
}
