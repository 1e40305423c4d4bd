#ifndef N_ENGINERESOURCES_H
#define N_ENGINERESOURCES_H

// Connects the engine hub to the resources layer: the hub's resource caches become
// nResourceCache objects and the geometry and material readers load their proxies and stage
// textures through the engine's loaders. Process-wide; call once before the first engine is
// made (an engine made earlier has no caches).
void InstallEngineResources();

#endif
