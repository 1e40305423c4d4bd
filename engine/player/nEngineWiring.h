#ifndef N_ENGINEWIRING_H
#define N_ENGINEWIRING_H

#include "hub/nOrvex.h"

// The one place the player's engine is put together. Nothing is installed process-wide; each
// part is handed what it needs where it is made:
// - the engine hub, in its constructor: its resource caches (nResourceCache) and the physics
//   world every scene of the engine simulates with (a running Bullet world drawing its debug
//   view into the engine's current renderer);
// - every 2D scene of the engine, when it is made: the player's user-interface devices
//   (nPlayerUserInterface: the mouse routed to windows and widgets, window titles written
//   with the window-system fonts) and the scripts' font functions, those fonts;
// - the geometry and material readers, the loaders and the Bullet world reach the caches
//   through the engine they are made with: LOD and shadow proxies, stage textures and the
//   geometries of convex and mesh collision shapes all load through the engine's loaders.
// The player makes its engine from these parts, and so do the tests and benchmarks that run
// the player's engine.
struct nUIDevices;

nOrvexParts PlayerEngineParts(const nUIDevices* userInterface = 0);  // NULL: 2D scenes keep their null devices

#endif
