#ifndef N_RAYTRACEHIT_H
#define N_RAYTRACEHIT_H

// What the raytracer knows about a surface it hit, and the value one shader block gives there.

#include <cstdint>

#include "core/nMatrix.h"
#include "core/nVector.h"

class nGeometry;
class nItem;
class nMaterial;
class nTexture;

// The surface at a hit. Polygons are fans: the triangle hit has the polygon's first corner and
// its corners offset + 1 and offset + 2, weighted w0, w1 and w2. An attribute given per corner is
// read at the hit as w0 x first + w1 x (offset + 1) + w2 x (offset + 2).
struct nRaytraceHit
{
    nGeometry* geometry = 0;  // not owned
    int32_t polygon = 0;      // index into the geometry's polygons
    int32_t offset = 0;       // of the hit triangle inside the polygon's fan
    float w0 = 1.0f, w1 = 0.0f, w2 = 0.0f;
    nVector point;            // world space
    nVector normal;           // world space, as the intersection found it
    nVector eye;              // where the ray started
    nVector view;             // direction of the ray
    nItem* item = 0;          // its world matrices must be up to date: the shading only reads them
    nMaterial* material = 0;  // not owned
};

// The kinds of value a shader block gives on the CPU.
enum nRaytraceValueType
{
    RaytraceValueNone = 0,
    RaytraceValueVector = 1,
    RaytraceValueMatrix3 = 2,
    RaytraceValueMatrix4 = 3,
    RaytraceValueTexture = 4
};

// The value of one evaluated block: created empty (type none, zero vector, identity matrices);
// the setters set the type. A float is carried in vector.x. size is the number of components the
// generated program gives the value (1 float to 4 vec4), 0 for a value that is not a vector.
struct ShaderValue
{
    int32_t type = RaytraceValueNone;
    nVector vector = nVector(0.0f, 0.0f, 0.0f, 0.0f);
    nMatrix3 matrix3;
    nMatrix4 matrix4;
    nTexture* texture = 0;
    int32_t size = 0;

    void SetVector(const nVector& v, int32_t components)
    {
        type = RaytraceValueVector;
        vector = v;
        size = components;
    }
    void SetMatrix3(const nMatrix3& m)
    {
        type = RaytraceValueMatrix3;
        matrix3 = m;
        size = 0;
    }
    void SetMatrix4(const nMatrix4& m)
    {
        type = RaytraceValueMatrix4;
        matrix4 = m;
        size = 0;
    }
    void SetTexture(nTexture* t)
    {
        type = RaytraceValueTexture;
        texture = t;
        size = 0;
    }
};

#endif
