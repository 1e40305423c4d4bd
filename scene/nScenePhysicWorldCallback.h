#ifndef N_SCENEPHYSICWORLDCALLBACK_H
#define N_SCENEPHYSICWORLDCALLBACK_H

#include "physics/nPhysicWorld.h"

class nScene;

// The hook a scene installs in its physics world, bound to the scene for its whole life.
// Before each sub-step it raises OnPhysicStep on the scene, then on every active item that
// is an instance or has a body; after it, every contact of the step becomes OnCollisionEx
// (only when one of the two items has a unit that defines it) and OnCollision on each of
// the two items that is active. A shape record deleted by a body of the world (a shape
// removed, the shapes read again, the body deleted with its item) is invalidated for scripts.
class nScenePhysicWorldCallback : public nPhysicWorldCallback
{
public:
    explicit nScenePhysicWorldCallback(nScene* scene) : m_scene(scene) {}
    nScene* GetScene() const { return m_scene; }

    void OnSubStep(float dt, bool before) override;     // dt is not used
    void OnShapeDeleted(nPhysicShape* shape) override;  // the shape's script objects become deleted natives

private:
    void RaisePhysicStep();
    void RaiseCollisions();

    nScene* m_scene;
};

#endif
