#ifndef N_PROPERTYREQUEST_H
#define N_PROPERTYREQUEST_H

#include <cstdint>

class nFrustum;
class nItem;
class nMLight;

// Kinds of property request a renderer sends to the scene bound to it.
enum nPropertyRequestKind
{
    PropertyRequestLightsAtPoint = 1,  // lights reaching the query point (at most capacity) and the ambient colour
    PropertyRequestVisibleLights = 2,  // next batch of at most 8 lights meeting the view; repeat while cursor != NULL
    PropertyRequestAmbient = 3         // the ambient colour only
};

// The record a renderer fills and passes to its property callback; the callee answers in place.
struct nPropertyRequest
{
    static const uint32_t kMaxItems = 256;  // result slots; capacity never exceeds it

    bool answered;            // cleared by the renderer, set by the callee that handled the kind
    void* context;            // copied from the renderer's callback context before each call
    uint32_t capacity;        // kind 1: result slots offered
    float point[3];           // query point
    nFrustum* frustum;        // the bound camera's view volume, or NULL
    nMLight* cursor;          // kind 2: NULL to start; the last light returned while more remain
    uint32_t count;           // number of result items
    float ambient[4];         // kinds 1 and 3: ambient colour times ambient intensity
    nItem* items[kMaxItems];  // transform nodes of the lights returned

    nPropertyRequest()
        : answered(false), context(0), capacity(0), point{0.0f, 0.0f, 0.0f}, frustum(0), cursor(0),
          count(0), ambient{0.0f, 0.0f, 0.0f, 0.0f}, items{} {}
};

typedef nPropertyRequest RendererPropertyQuery;

// The callback a scene installs in a renderer: true when it handled the kind.
typedef bool (*RendererPropertyRequest)(int32_t kind, nPropertyRequest* request);

#endif
