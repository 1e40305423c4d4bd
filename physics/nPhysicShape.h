#ifndef N_PHYSICSHAPE_H
#define N_PHYSICSHAPE_H

#include <cstdint>

#include "core/nMatrix.h"
#include "core/nString.h"
#include "core/nVector.h"

class nMetaTag;

// Kinds of collision shape.
enum PhysicShapeType
{
    PhysicShapeNone = 0,
    PhysicShapeBox = 1,
    PhysicShapeSphere = 2,  // size x is the radius
    PhysicShapeConvex = 3,  // convex hull of the named geometry
    PhysicShapeCylinder = 4,
    PhysicShapeCone = 5,
    PhysicShapeCapsule = 6,
    PhysicShapeMesh = 7,  // triangle mesh of the named geometry
    PhysicShapeHeightfield = 8
};

// One collision-shape description of a body: created by nPhysicItem::AddShape and owned by
// the item's shape list. Rotation is Euler angles in the YXZ order.
class nPhysicShape
{
public:
    nPhysicShape();  // type none, mass 0, unit scale and size, frictions and restitution 0.5

    nMatrix4 GetMatrix() const;         // translation(position) x rotation x scale
    void SetMatrix(const nMatrix4& m);  // position, scale and rotation decomposed from m
    void SetPosition(const nVector& v) { position = v; }
    void SetRotation(const nVector& v) { rotation = v; }
    bool SetTypeAndGeometry(int32_t shapeType, const char* name);    // true
    bool SetTypeAndSize(int32_t shapeType, const nVector& extents);  // true
    // Type 8 over samples borrowed from the terrain (not owned): width per row, length rows,
    // scale the distance between samples.
    void SetHeightfield(const int16_t* samples, int32_t width, int32_t length, float scale);

    // "PhysicShape" (or the older "GColShape"): mass 1 and type none before the children;
    // false with one error line for another root name. Unknown children are warnings.
    bool Deserialize(nMetaTag* tag);
    nMetaTag* Serialize() const;  // a new "GColShape" tag, NULL when out of memory

    int32_t type;
    float mass;
    nVector position;
    nVector rotation;
    nVector scale;
    float restitution;      // the body's restitution when this is its first shape
    float dynamicFriction;  // stored and written only
    float staticFriction;   // the body's friction when this is its first shape
    nString geometry;       // geometry name of a convex or mesh shape
    nVector size;           // box, cylinder, cone and capsule extents
    int32_t heightfieldWidth;
    int32_t heightfieldLength;
    const int16_t* heightfieldSamples;
    float heightfieldScale;
    void* simulationShape;   // filled by the simulation when the body is built
    int32_t simulationType;  // the type simulationShape was built as (scripts may change type since)
};

#endif
