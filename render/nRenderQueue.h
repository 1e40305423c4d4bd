#ifndef N_RENDERQUEUE_H
#define N_RENDERQUEUE_H

#include <cstdint>

#include "core/nList.h"

class nItem;

// Kinds of render-queue record.
enum nRenderablePrimitiveKind
{
    RenderablePrimitiveGeometry = 0,  // payload: the geometry part of an object to draw
    RenderablePrimitiveEmitter = 1,   // payload: the emitter
    RenderablePrimitiveTerrain = 2    // payload: the terrain patch record
};

// One thing to draw this frame. Allocated by the drawable that appends it; once appended it
// belongs to whoever empties the list (the renderer deletes it at the next list build).
struct nRenderablePrimitive
{
    int32_t kind;  // nRenderablePrimitiveKind
    nItem* owner;  // item whose matrices and flags are used when drawing
    float depth;   // distance along the camera's view axis; ascending is near to far
    void* payload;

    nRenderablePrimitive() : kind(0), owner(0), depth(0.0f), payload(0) {}
    nRenderablePrimitive(int32_t k, nItem* o, float d, void* p) : kind(k), owner(o), depth(d), payload(p) {}
};

typedef nList<nRenderablePrimitive*> nRenderablePrimitiveList;

// A drawable queued on the renderer for one frame. It must stay alive until the renderer's
// queue is reset.
class nRenderable
{
public:
    virtual ~nRenderable() {}

    // Culls against the camera and appends zero or more records at the tail of the list;
    // pass 0 is the camera view, 1 the shadow pass.
    virtual void Enqueue(nItem* camera, nRenderablePrimitiveList* list, int32_t pass) = 0;
};

// Sorts by ascending depth, stable: records of equal depth keep their order (infinities of one
// sign included, -0 equal to +0); a depth that is not a number goes after every number.
// Relinks the nodes in place in linear time and allocates nothing.
void SortPrimitiveList(nRenderablePrimitiveList* list);

// Unlinks every node from the front and deletes the node and its record.
void DeletePrimitiveList(nRenderablePrimitiveList* list);

#endif
