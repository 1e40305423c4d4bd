#include "engine/player/nEngineWiring.h"

#include "physics/bullet/nBulletPhysicWorld.h"
#include "resources/nResourceCache.h"

nOrvexParts PlayerEngineParts()
{
    nOrvexParts parts;
    parts.caches = nResourceCache::GetEngineOps();
    parts.physicWorlds = nBulletPhysicWorld::Make;
    return parts;
}
