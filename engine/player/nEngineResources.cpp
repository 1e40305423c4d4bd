#include "engine/player/nEngineResources.h"

#include "hub/nOrvex.h"
#include "resources/nResourceCache.h"
#include "resources/nResourceLoader.h"

void InstallEngineResources()
{
    nOrvex::SetResourceCacheOps(nResourceCache::GetEngineOps());
    InstallResourceLoaders();
}
