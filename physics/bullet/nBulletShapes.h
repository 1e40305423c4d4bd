#ifndef N_BULLETSHAPES_H
#define N_BULLETSHAPES_H

#include <cstdint>

#include "core/nSharedObject.h"
#include "core/nString.h"
#include "core/nVector.h"

class btBvhTriangleMeshShape;
class btConvexHullShape;
class btTriangleIndexVertexArray;
class nGeometry;

// The convex hull of one geometry, shared by every body of a world that names it. The world's
// cache holds one reference and each body built on it another.
class nBulletConvex : public nSharedObject
{
public:
    nBulletConvex();
    ~nBulletConvex() override;  // deletes the hull
    nBulletConvex(const nBulletConvex&) = delete;
    nBulletConvex& operator=(const nBulletConvex&) = delete;

    // One hull point per vertex; centroid = mean vertex (0 without vertices). False when out of memory.
    bool Build(const nGeometry* geometry);

    nString name;             // the geometry's name
    btConvexHullShape* hull;  // owned
    nVector centroid;         // w 1
};

// The triangle mesh of one geometry, shared like nBulletConvex. Polygons are fanned from
// their first corner; polygons of fewer than 3 corners add nothing.
class nBulletMesh : public nSharedObject
{
public:
    nBulletMesh();
    ~nBulletMesh() override;  // the shape, the index/vertex array, then both arrays
    nBulletMesh(const nBulletMesh&) = delete;
    nBulletMesh& operator=(const nBulletMesh&) = delete;

    // False with one error line when the geometry gives no triangle or memory runs out.
    bool Build(const nGeometry* geometry);

    nString name;
    nVector centroid;  // mean vertex, w 1
    float* vertices;   // x, y, z per vertex, owned
    int32_t* indices;  // three per triangle, owned
    int32_t vertexCount;
    int32_t triangleCount;
    btTriangleIndexVertexArray* array;  // over vertices and indices, owned
    btBvhTriangleMeshShape* shape;      // owned
};

#endif
