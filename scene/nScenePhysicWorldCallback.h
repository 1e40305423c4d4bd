#ifndef N_SCENEPHYSICWORLDCALLBACK_H
#define N_SCENEPHYSICWORLDCALLBACK_H

#include "physics/nPhysicWorld.h"

class nScene;

// The hook a scene installs in its physics world, bound to the scene for its whole life.
class nScenePhysicWorldCallback : public nPhysicWorldCallback
{
public:
    explicit nScenePhysicWorldCallback(nScene* scene) : m_scene(scene) {}
    nScene* GetScene() const { return m_scene; }

private:
    nScene* m_scene;
};

#endif
