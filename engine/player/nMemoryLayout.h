#ifndef N_MEMORY_LAYOUT_H
#define N_MEMORY_LAYOUT_H

// Log report of the sizes of the machine types and, with core, of the engine's main types
// (the hub, items, resources, cameras, lights, curves). It sits with the player, the one
// place that sees every library whose types it measures.
void nPrintMemoryLayout(bool core);

#endif
