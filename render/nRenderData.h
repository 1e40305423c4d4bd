#ifndef N_RENDERDATA_H
#define N_RENDERDATA_H

// A renderer's private data hung on a geometry, texture, material or light by its set-up and
// removed by its free operation. A resource whose pointer is set counts as set up on the
// device; only the renderer creates and deletes it.
struct nRenderData
{
    virtual ~nRenderData() {}
};

#endif
