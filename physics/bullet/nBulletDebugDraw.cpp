#include "physics/bullet/nBulletDebugDraw.h"

#include "physics/bullet/nBulletMath.h"
#include "render/nRenderer.h"

void nBulletDebugDraw::drawLine(const btVector3& from, const btVector3& to, const btVector3& colour)
{
    if (!renderer) return;
    nVector c(colour.x(), colour.y(), colour.z(), 1.0f);
    renderer->DrawLine(FromBullet(from), FromBullet(to), &c);
}

void nBulletDebugDraw::drawContactPoint(const btVector3& point, const btVector3& normal, btScalar distance,
                                        int lifeTime, const btVector3& colour)
{
    if (!renderer) return;
    nVector c(colour.x(), colour.y(), colour.z(), 1.0f);
    const float half = 0.5f;
    for (int axis = 0; axis < 3; ++axis) {
        btVector3 d(0, 0, 0);
        d[axis] = half;
        renderer->DrawLine(FromBullet(point - d), FromBullet(point + d), &c);
    }
}
