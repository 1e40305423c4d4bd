#pragma once
// Helpers for the Bullet world tests: geometries put in the engine's resource cache, where the
// world's loads find them, bodies made from a few shapes, and stepping for a while.

#include <map>
#include <string>
#include <vector>

#include <btBulletDynamicsCommon.h>

#include "core/nSharedObject.h"
#include "hub/nOrvex.h"
#include "physics/bullet/nBulletPhysicItem.h"
#include "physics/bullet/nBulletPhysicWorld.h"
#include "physics/nPhysicShape.h"
#include "resources/nGeometry.h"
#include "resources/nResourceCache.h"

// An engine with the resource caches the player's engine has.
inline nOrvexParts KitCachedParts()
{
    nOrvexParts parts;
    parts.caches = nResourceCache::GetEngineOps();
    return parts;
}

// A geometry of the given positions and polygons (each a list of vertex indices), on the
// collision list of the engine's cache, where the world looks for the geometries of its shapes.
inline nGeometry* KitAddGeometry(nOrvex& engine, const char* name, const std::vector<nVector>& positions,
                                 const std::vector<std::vector<int32_t>>& polygons)
{
    nGeometry* g = new nGeometry(&engine);
    g->SetName(name);
    g->AllocateVertices((uint32_t)positions.size());
    for (size_t i = 0; i < positions.size(); ++i) g->vertices[i] = positions[i];
    g->AllocatePolygons((uint32_t)polygons.size());
    for (size_t p = 0; p < polygons.size(); ++p) {
        g->polygons[p].count = (uint16_t)polygons[p].size();
        g->polygons[p].material = 0;
    }
    g->AllocateBindings();
    for (size_t p = 0; p < polygons.size(); ++p)
        for (size_t k = 0; k < polygons[p].size(); ++k) g->polygons[p].bindings[k] = polygons[p][k];
    engine.GetResourceCache()->AddGeometry(g, true);
    return g;
}

// A flat grid of quads at height 0 spanning [-half, half] in x and z, cells across.
inline nGeometry* KitAddFloor(nOrvex& engine, const char* name, float half, int cells)
{
    std::vector<nVector> positions;
    std::vector<std::vector<int32_t>> quads;
    for (int z = 0; z <= cells; ++z)
        for (int x = 0; x <= cells; ++x)
            positions.push_back(nVector(-half + 2 * half * x / cells, 0.0f, -half + 2 * half * z / cells));
    for (int z = 0; z < cells; ++z)
        for (int x = 0; x < cells; ++x) {
            int32_t a = z * (cells + 1) + x;
            quads.push_back({a, a + cells + 1, a + cells + 2, a + 1});  // upward facing
        }
    return KitAddGeometry(engine, name, positions, quads);
}

// Corners of the unit cube [-0.5, 0.5]^3 as a point cloud with one polygon.
inline nGeometry* KitAddCube(nOrvex& engine, const char* name)
{
    std::vector<nVector> positions;
    for (int i = 0; i < 8; ++i)
        positions.push_back(nVector(i & 1 ? 0.5f : -0.5f, i & 2 ? 0.5f : -0.5f, i & 4 ? 0.5f : -0.5f));
    return KitAddGeometry(engine, name, positions, {{0, 1, 3, 2}});
}

inline nPhysicShape* KitShape(nPhysicItem* item, int32_t type, const nVector& size, float mass,
                              const nVector& position = nVector(0.0f, 0.0f, 0.0f))
{
    nPhysicShape* shape = item->AddShape();
    shape->type = type;
    shape->size = size;
    shape->mass = mass;
    shape->position = position;
    return shape;
}

// A body of one shape, created and placed at position.
inline nBulletPhysicItem* KitBody(nBulletPhysicWorld& world, int32_t mode, int32_t type, const nVector& size,
                                  float mass, const nVector& position)
{
    nBulletPhysicItem* item = static_cast<nBulletPhysicItem*>(world.NewItem());
    KitShape(item, type, size, mass);
    item->SetMode(mode);
    item->Create();
    nMatrix4 m = nMatrix4::Translation(position);
    item->SetMatrix(&m);
    return item;
}

inline void KitRun(nBulletPhysicWorld& world, float seconds)
{
    for (float t = 0.0f; t < seconds; t += 1.0f / 60.0f) world.Step(1.0f / 60.0f);
}

inline nVector FromBulletKit(const btVector3& v) { return nVector(v.x(), v.y(), v.z()); }

inline nVector KitPosition(nPhysicItem* item)
{
    nMatrix4 m;
    item->GetMotionMatrix(&m);
    return m.GetColumn(3, true);
}
