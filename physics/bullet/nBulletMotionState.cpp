#include "physics/bullet/nBulletMotionState.h"

#include "physics/bullet/nBulletMath.h"
#include "physics/bullet/nBulletPhysicItem.h"
#include "scene/nItem.h"
#include "scene/nMItem.h"

namespace {

// The world matrix of the item that owns the body, or NULL when it has no item.
const nMatrix4* OwnerMatrix(nBulletPhysicItem* owner)
{
    nMItem* managed = owner ? owner->GetOwner() : 0;
    nItem* item = managed ? managed->GetItem() : 0;
    return item ? &item->GetWorldMatrix() : 0;
}

}

nBulletMotionState::nBulletMotionState(nBulletPhysicItem* owner)
    : m_owner(owner), m_scale(1.0f, 1.0f, 1.0f, 1.0f)
{
    const nMatrix4* world = OwnerMatrix(owner);
    if (world) m_matrix = *world;
}

void nBulletMotionState::getWorldTransform(btTransform& out) const
{
    const nMatrix4* world = OwnerMatrix(m_owner);
    out = ToRigidBulletTransform(world ? *world : m_matrix, &m_scale);
    out.getOrigin() += out.getBasis() * ToBullet(m_owner->GetCentreOffset());
}

void nBulletMotionState::setWorldTransform(const btTransform& t)
{
    btTransform frame = t;
    frame.getOrigin() -= frame.getBasis() * ToBullet(m_owner->GetCentreOffset());
    m_matrix = FromBulletTransform(frame);
    if (IsScaled(m_scale)) m_matrix = m_matrix * nMatrix4::Scaling(m_scale);
}
