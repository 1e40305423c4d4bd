#ifndef N_CORELISTENER_H
#define N_CORELISTENER_H

#include <cstdint>

class nGeometry;
class nTexture;
class nSound;

// Resource life events sent to the engine's core listeners.
enum nCoreEvent
{
    CoreEventResourceLoading = 3,     // a loader is about to create a geometry or texture
    CoreEventResourceLoaded = 4,      // the loader finished; the record holds the new object or NULL
    CoreEventResourceDestroying = 5,  // before a geometry, texture or sound is freed on its device
    CoreEventResourceDestroyed = 6    // after it was freed
};

// The record of one core event. Before a load the slot of the kind being loaded holds the
// value 1 and the others NULL; after it, that slot holds the new object or NULL.
struct nCoreEventRecord
{
    nGeometry* geometry;
    nTexture* texture;
    nSound* sound;
    void* reserved;  // nothing reads it

    nCoreEventRecord() : geometry(0), texture(0), sound(0), reserved(0) {}
};

// Receiver of core events. Registered with nOrvex::AddCoreListener and not owned by the
// engine: a listener removes itself (nOrvex::RemoveCoreListener) before it is destroyed.
class nCoreListener
{
public:
    virtual int32_t OnCoreEvent(int32_t code, nCoreEventRecord* record) = 0;  // the answer is not examined
    virtual ~nCoreListener() {}
};

#endif
