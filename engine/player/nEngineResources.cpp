#include "engine/player/nEngineResources.h"

#include <new>

#include "hub/nOrvex.h"
#include "resources/nResourceCache.h"
#include "resources/nResourceLoader.h"

namespace {

nResourceCache* CreateCache()
{
    return new (std::nothrow) nResourceCache();
}

void DestroyCache(nResourceCache* cache)
{
    delete cache;
}

void ClearCache(nResourceCache* cache)
{
    cache->Clear();
}

// Textures fed by video streams do not exist yet: nothing advances.
const nResourceCacheOps kCacheOps = {CreateCache, DestroyCache, ClearCache, 0};

}

void InstallEngineResources()
{
    nOrvex::SetResourceCacheOps(&kCacheOps);
    InstallResourceLoaders();
}
