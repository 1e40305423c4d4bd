#ifndef N_BULLETMOTIONSTATE_H
#define N_BULLETMOTIONSTATE_H

#include <btBulletDynamicsCommon.h>

#include "core/nMatrix.h"
#include "core/nVector.h"

class nBulletPhysicItem;

// Connects a body to its item's matrices. Bullet reads the item's world matrix (or, without
// an owning item, the cached matrix) moved to the centre of mass, and writes the simulated
// frame back into the cache as an item matrix. Bullet sees only rigid transforms: the item's
// scale is kept aside and put back into every matrix written.
class nBulletMotionState : public btDefaultMotionState
{
public:
    explicit nBulletMotionState(nBulletPhysicItem* owner);  // cache := the owner item's world matrix

    void getWorldTransform(btTransform& out) const override;
    void setWorldTransform(const btTransform& t) override;

    const nMatrix4& GetMatrix() const { return m_matrix; }
    void SetMatrix(const nMatrix4& m) { m_matrix = m; }

private:
    nBulletPhysicItem* m_owner;
    nMatrix4 m_matrix;
    mutable nVector m_scale;  // the item's scale last read
};

#endif
