#ifndef N_SCENE_BIH_H
#define N_SCENE_BIH_H

#include <atomic>
#include <cstdint>

#include "core/nMatrix.h"
#include "core/nSharedObject.h"
#include "core/nVector.h"
#include "resources/nBIH.h"

class nGeometry;
class nMItem;
class nObject;
class nScene;

// One item the raytracer sees: the object, the geometry its rays meet (the object's own, its
// shadow proxy, or a private skinned copy) and the matrices it had when the scene was taken.
struct nSceneBIHEntry
{
    nMItem* item;
    nObject* object;
    nGeometry* geometry;
    nSharedPtr<nGeometry> hold;  // the geometry stays while the hierarchy reads it
    nMatrix4 world;
    nMatrix4 inverseWorld;
    nMatrix3 rotation;  // the world matrix's 3x3 part, for normals
    float alpha;        // the item's opacity
};

// The ray record of a scene query: the hierarchy's own record plus the distance limit of the
// query. A hit leaves hitObject pointing at the nSceneBIHEntry met, polygon, triangle, weights
// and backFace describing the polygon in that entry's geometry, and hitDistance in multiples
// of the world direction.
struct nSceneRay : nBIHRay
{
    float limit = -1.0f;  // -1: unlimited
    const nSceneBIHEntry* Entry() const { return hit ? static_cast<const nSceneBIHEntry*>(hitObject) : 0; }
};

// Variants of a scene hierarchy.
enum nSceneBIHVariant
{
    SceneBIHCamera = 0,  // camera, reflected, refracted, gathering and occlusion rays
    SceneBIHShadow = 1   // shadow rays: shadow proxies, no geometries flagged GeometryShadowNull
};

// A bounding interval hierarchy over the objects of a scene, bounded by their world boxes: a
// ray reaching a leaf is moved into each of its items' space and cast against the item's
// geometry hierarchy there. It holds a copy of the scene as it was when grabbed: matrices,
// opacities and the posed shape of skinned objects (private geometries it owns). Queries only
// read, so any number of threads may trace at once once it is built.
class nSceneBIH : public nBIH
{
public:
    nSceneBIH();            // empty; at most 3 items a leaf
    ~nSceneBIH() override;  // Release

    // Takes the scene's active, visible objects with a geometry of vertices and polygons.
    // False (one line, released) when out of memory. A scene without such objects gives an
    // empty hierarchy and true.
    bool GrabScene(nScene* scene, int32_t variant);

    // The nearest hit of origin + t direction, 0 <= t <= maxDistance (-1: unlimited), or with
    // ray.nearest cleared any hit. Counts one ray; the record's node and triangle tests are
    // those of this query alone.
    void CountedIntersect(nSceneRay& ray, const nVector& origin, const nVector& direction, float maxDistance);
    // The same query without counting it: for threads that count their rays themselves and
    // add them up with AddRayCount, rather than all meeting at one counter for every ray.
    void Cast(nSceneRay& ray, const nVector& origin, const nVector& direction, float maxDistance);
    void AddRayCount(uint64_t rays) { m_rays.fetch_add(rays, std::memory_order_relaxed); }

    void TestLeaf(const nBIHNode& leaf, float entry, float exit, nBIHRay& ray) override;  // ray: an nSceneRay
    void Release() override;                                                              // entries, owned copies, tree; the scene forgotten

    nScene* GetScene() const { return m_scene; }
    int32_t GetEntryCount() const { return m_entryCount; }
    const nSceneBIHEntry* GetEntries() const { return m_entries; }
    uint64_t GetRayCount() const { return m_rays.load(std::memory_order_relaxed); }
    void ClearRayCount() { m_rays.store(0, std::memory_order_relaxed); }

    // A new geometry of the engine copying the mesh, attributes and materials (shared) of
    // source, with its vertices, normals and tangent frames posed by the object's bone
    // matrices. NULL (logged) when out of memory.
    static nGeometry* PoseSkinnedCopy(const nObject& object, const nGeometry& source);

private:
    static nGeometry* Chosen(nMItem* item, int32_t variant);
    static uint32_t CountParts(nGeometry* geometry);
    void Take(nMItem* item, nGeometry* geometry, nMinMax* boxes);
    void AddPart(nMItem* item, nGeometry* geometry, nMinMax* boxes);

    nScene* m_scene;
    nSceneBIHEntry* m_entries;
    int32_t m_entryCount;
    int32_t m_capacity;
    nGeometry** m_owned;  // skinned copies, released with the hierarchy
    int32_t m_ownedCount;
    std::atomic<uint64_t> m_rays;
};

#endif
