#include "engine/player/nEngineWiring.h"

#include "physics/bullet/nBulletPhysicWorld.h"
#include "resources/nResourceCache.h"

nOrvexParts PlayerEngineParts(const nUIDevices* userInterface)
{
    nOrvexParts parts;
    parts.userInterface = userInterface;
    parts.caches = nResourceCache::GetEngineOps();
    parts.physicWorlds = nBulletPhysicWorld::Make;
    return parts;
}
