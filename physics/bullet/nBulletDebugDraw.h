#ifndef N_BULLETDEBUGDRAW_H
#define N_BULLETDEBUGDRAW_H

#include <LinearMath/btIDebugDraw.h>

class nRenderer;

// Turns Bullet's debug lines and contact points into renderer lines. The world writes the
// debug mode itself around each debug draw; setting it through Bullet changes nothing.
class nBulletDebugDraw : public btIDebugDraw
{
public:
    explicit nBulletDebugDraw(nRenderer* renderer) : debugMode(0), renderer(renderer) {}

    void drawLine(const btVector3& from, const btVector3& to, const btVector3& colour) override;
    // A cross of unit size at the point, in three lines.
    void drawContactPoint(const btVector3& point, const btVector3& normal, btScalar distance,
                          int lifeTime, const btVector3& colour) override;
    void reportErrorWarning(const char* text) override {}
    void draw3dText(const btVector3& location, const char* text) override {}
    void setDebugMode(int mode) override {}
    int getDebugMode() const override { return debugMode; }

    int debugMode;
    nRenderer* renderer;  // not owned
};

#endif
