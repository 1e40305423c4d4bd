#ifndef N_RENDERQUEUE_H
#define N_RENDERQUEUE_H

#include <cstdint>

#include "core/nList.h"

class nItem;

// Kinds of render-queue record.
enum nRenderablePrimitiveKind
{
    RenderablePrimitiveGeometry = 0,   // payload: the geometry part of an object to draw
    RenderablePrimitiveEmitter  = 1,   // payload: the emitter
    RenderablePrimitiveTerrain  = 2    // payload: the terrain patch record
};

// One thing to draw this frame. Allocated by the drawable that appends it; once appended it
// belongs to whoever empties the list (the renderer deletes it at the next list build).
struct nRenderablePrimitive
{
    int32_t kind;       // nRenderablePrimitiveKind
    nItem*  owner;      // item whose matrices and flags are used when drawing
    float   depth;      // distance along the camera's view axis; ascending is near to far
    void*   payload;

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

// Stable bottom-up merge sort by ascending depth; relinks the nodes in place, allocates
// nothing. Records of equal depth keep their order.
void SortPrimitiveList(nRenderablePrimitiveList* list);

// Unlinks every node from the front and deletes the node and its record.
void DeletePrimitiveList(nRenderablePrimitiveList* list);

#endif
