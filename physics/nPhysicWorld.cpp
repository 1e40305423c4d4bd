#include "physics/nPhysicWorld.h"

nPhysicWorld::nPhysicWorld(nOrvex* engine)
    : m_engine(engine),
      m_fixedStep(1.0f / 60.0f),
      m_reserved0(0.0f),
      m_gravity(0.0f, -9.8f, 0.0f, 1.0f),
      m_reserved1(1.0f),
      m_callback(0)
{
}
