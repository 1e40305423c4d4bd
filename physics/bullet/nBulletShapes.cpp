#include "physics/bullet/nBulletShapes.h"

#include <new>

#include <btBulletCollisionCommon.h>

#include "core/nLog.h"
#include "resources/nGeometry.h"

namespace {

// x, y, z of every vertex into a new array; the mean into *centroid. NULL when out of memory
// or when there is no vertex.
float* CopyPositions(const nGeometry* geometry, nVector* centroid)
{
    *centroid = nVector(0.0f, 0.0f, 0.0f, 1.0f);
    uint32_t count = geometry->vertexCount;
    if (count == 0 || !geometry->vertices) return 0;
    float* out = new (std::nothrow) float[count * 3];
    if (!out) return 0;
    double sx = 0.0, sy = 0.0, sz = 0.0;
    for (uint32_t i = 0; i < count; ++i) {
        const nVector& v = geometry->vertices[i];
        out[3 * i + 0] = v.x;
        out[3 * i + 1] = v.y;
        out[3 * i + 2] = v.z;
        sx += v.x;
        sy += v.y;
        sz += v.z;
    }
    *centroid = nVector((float)(sx / count), (float)(sy / count), (float)(sz / count), 1.0f);
    return out;
}

}

nBulletConvex::nBulletConvex() : hull(0), centroid(0.0f, 0.0f, 0.0f, 1.0f)
{
}

nBulletConvex::~nBulletConvex()
{
    delete hull;
}

bool nBulletConvex::Build(const nGeometry* geometry)
{
    name = geometry->GetName();
    float* points = CopyPositions(geometry, &centroid);
    if (!points && geometry->vertexCount > 0) return false;
    hull = new btConvexHullShape(points, points ? (int)geometry->vertexCount : 0, 3 * sizeof(float));
    delete[] points;
    return hull != 0;
}

nBulletMesh::nBulletMesh()
    : centroid(0.0f, 0.0f, 0.0f, 1.0f),
      vertices(0),
      indices(0),
      vertexCount(0),
      triangleCount(0),
      array(0),
      shape(0)
{
}

nBulletMesh::~nBulletMesh()
{
    delete shape;
    delete array;
    delete[] indices;
    delete[] vertices;
}

bool nBulletMesh::Build(const nGeometry* geometry)
{
    name = geometry->GetName();
    int32_t triangles = 0;
    if (geometry->vertexCount > 0 && geometry->polygons)
        for (uint32_t p = 0; p < geometry->polygonCount; ++p)
            if (geometry->polygons[p].count > 2 && geometry->polygons[p].bindings) triangles += geometry->polygons[p].count - 2;
    if (triangles == 0) {
        *g_log << "[!] No geometry data in '" << name.GetCStr() << "' to build collision shape.\n";
        return false;
    }
    vertices = CopyPositions(geometry, &centroid);
    indices = new (std::nothrow) int32_t[triangles * 3];
    if (!vertices || !indices) {
        *g_log << "[!] Failed to allocate bullet mesh.\n";
        return false;
    }
    vertexCount = (int32_t)geometry->vertexCount;

    // A corner naming a vertex that does not exist drops its triangle rather than letting
    // Bullet read outside the vertex array.
    bool skipped = false;
    int32_t* out = indices;
    for (uint32_t p = 0; p < geometry->polygonCount; ++p) {
        const nPolygon& polygon = geometry->polygons[p];
        if (polygon.count <= 2 || !polygon.bindings) continue;
        for (int32_t k = 1; k + 1 < polygon.count; ++k) {
            int32_t a = polygon.bindings[0], b = polygon.bindings[k], c = polygon.bindings[k + 1];
            if (a < 0 || b < 0 || c < 0 || a >= vertexCount || b >= vertexCount || c >= vertexCount) {
                skipped = true;
                continue;
            }
            out[0] = a;
            out[1] = b;
            out[2] = c;
            out += 3;
        }
    }
    if (skipped)
        *g_log << "[*] Triangles with invalid vertex indices left out of the collision mesh '" << name.GetCStr() << "'.\n";
    triangleCount = (int32_t)((out - indices) / 3);
    if (triangleCount == 0) {
        *g_log << "[!] No geometry data in '" << name.GetCStr() << "' to build collision shape.\n";
        return false;
    }
    array = new btTriangleIndexVertexArray(triangleCount, indices, 3 * sizeof(int32_t),
                                           vertexCount, vertices, 3 * sizeof(float));
    if (array) shape = new btBvhTriangleMeshShape(array, true, true);
    if (!shape) {
        *g_log << "[!] Failed to allocate bullet mesh.\n";
        return false;
    }
    return true;
}
