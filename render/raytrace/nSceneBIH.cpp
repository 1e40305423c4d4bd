// The raytracer's hierarchy over a scene's objects: taking the scene (with skinned objects
// posed into private copies), and casting rays through item bounds into each item's own
// geometry hierarchy.
#include "render/raytrace/nSceneBIH.h"

#include <cstring>
#include <new>

#include "core/nList.h"
#include "core/nLog.h"
#include "resources/nGeometry.h"
#include "resources/nGeometryBIH.h"
#include "resources/nMaterial.h"
#include "resources/nOctreeNode.h"
#include "scene/nItem.h"
#include "scene/nMItem.h"
#include "scene/nObject.h"
#include "scene/nScene.h"

namespace {
const uint32_t kLastTakenFlag = 0x40;  // managed-item flags from here up leave the item out

inline nVector RotateByMatrix4(const nMatrix4& m, const nVector& v)
{
    const float* a = m.m;
    return nVector(a[0] * v.x + a[1] * v.y + a[2] * v.z, a[4] * v.x + a[5] * v.y + a[6] * v.z,
                   a[8] * v.x + a[9] * v.y + a[10] * v.z, 1.0f);
}

template<class T> bool CopyArray(T*& out, const T* in, size_t count)
{
    out = 0;
    if (!in || count == 0) return true;
    out = nGeometry::AllocateArray<T>(count);
    if (!out) return false;
    std::memcpy(out, in, sizeof(T) * count);
    return true;
}

// The bone matrices of a vertex's influences summed by weight, up to the first zero weight;
// a bone outside the object's matrices counts as the identity.
nMatrix4 BlendedBoneMatrix(const nSkinWeight& w, const nMatrix4* bones, int32_t boneCount)
{
    nMatrix4 sum;
    std::memset(sum.m, 0, sizeof(sum.m));
    const nMatrix4 identity;
    for (int k = 0; k < 4 && w.weight[k] != 0.0f; ++k) {
        const nMatrix4& bone = w.bone[k] < boneCount ? bones[w.bone[k]] : identity;
        for (int j = 0; j < 16; ++j) sum.m[j] += w.weight[k] * bone.m[j];
    }
    return sum;
}
}

nSceneBIH::nSceneBIH() : m_scene(0), m_entries(0), m_entryCount(0), m_capacity(0), m_owned(0), m_ownedCount(0), m_rays(0)
{
    m_leafSize = 3;
}

nSceneBIH::~nSceneBIH()
{
    nSceneBIH::Release();
}

void nSceneBIH::Release()
{
    for (int32_t i = 0; i < m_ownedCount; ++i) m_owned[i]->Release();
    delete[] m_owned;
    delete[] m_entries;
    m_owned = 0;
    m_ownedCount = 0;
    m_entries = 0;
    m_entryCount = 0;
    m_capacity = 0;
    m_scene = 0;
    nBIH::Release();
}

// ---------------------------------------------------------------------------------------------
// Taking the scene

bool nSceneBIH::GrabScene(nScene* scene, int32_t variant)
{
    // 1. Empty; remember the scene.
    Release();
    if (!scene) return false;
    m_scene = scene;

    // 2. Room for every geometry part of the objects taken (a geometry cut into an octree
    //    keeps its mesh in the leaves, one part each).
    const nList<nMItem*>& objects = scene->GetObjects();
    uint32_t parts = 0;
    for (nListNode<nMItem*>* n = objects.GetHead(); n; n = n->next)
        parts += CountParts(Chosen(n->value, variant));
    if (parts == 0) return true;
    m_entries = new (std::nothrow) nSceneBIHEntry[parts];
    m_owned = new (std::nothrow) nGeometry*[parts];
    m_capacity = (int32_t)parts;
    nMinMax* boxes = new (std::nothrow) nMinMax[parts];
    if (!m_entries || !m_owned) {
        *g_log << "[!] Failed to grab scene to raytracer.\n";
        delete[] boxes;
        Release();
        return false;
    }
    if (!boxes) {
        *g_log << "[!] Failed to allocate volume array to build scene tree.\n";
        Release();
        return false;
    }

    // 3.-5. Each object taken, in the scene's order.
    for (nListNode<nMItem*>* n = objects.GetHead(); n; n = n->next)
        Take(n->value, Chosen(n->value, variant), boxes);

    // 6. The tree over the items' world boxes; nothing taken is an empty scene.
    bool built = m_entryCount == 0 || Build((uint32_t)m_entryCount, boxes);
    delete[] boxes;
    if (!built) {
        Release();
        return false;
    }
    return true;
}

// The geometry an item shows to this variant's rays: NULL for an inactive, invisible or
// excluded item, for one without geometry and, for shadow rays, for a geometry that casts none.
nGeometry* nSceneBIH::Chosen(nMItem* item, int32_t variant)
{
    nObject* object = nMObject::FromItem(item);
    if (!object || !item->IsActive() || item->GetFlags() >= kLastTakenFlag) return 0;
    if (object->GetOpacity() == 0.0f) return 0;
    nGeometry* geometry = object->GetGeometry().Get();
    if (!geometry) return 0;
    if (variant == SceneBIHShadow) {
        if (geometry->proxyFlags & GeometryShadowNull) return 0;
        if (geometry->shadowProxy.IsValid()) geometry = geometry->shadowProxy.Get();
    }
    return geometry;
}

namespace {
bool HasMesh(const nGeometry* g)
{
    return g && g->vertexCount > 0 && g->vertices && g->polygonCount > 0 && g->polygons;
}

template<class Visit> void VisitOctreeLeaves(const nOctreeNode* node, Visit& visit)
{
    for (; node; node = node->GetUpper()) {
        if (node->IsLeaf()) visit(node->GetLeaf());
        VisitOctreeLeaves(node->GetLower(), visit);
    }
}
}

uint32_t nSceneBIH::CountParts(nGeometry* geometry)
{
    if (!geometry) return 0;
    if (HasMesh(geometry)) return 1;
    uint32_t count = 0;
    auto visit = [&count](nGeometry* leaf) { count += HasMesh(leaf) ? 1 : 0; };
    VisitOctreeLeaves(geometry->GetOctree(), visit);
    return count;
}

void nSceneBIH::Take(nMItem* item, nGeometry* geometry, nMinMax* boxes)
{
    if (!geometry) return;
    nObject* object = nMObject::FromItem(item);

    // 4. A skinned object is posed into a copy of its own.
    const bool skinned = object->GetGeometry().Get() == geometry && object->GetBoneCount() > 0 &&
                         object->GetBoneMatrices() && geometry->skinWeights && HasMesh(geometry);
    if (skinned) {
        nGeometry* copy = PoseSkinnedCopy(*object, *geometry);
        if (!copy) return;
        m_owned[m_ownedCount++] = copy;
        AddPart(item, copy, boxes);
        return;
    }
    if (HasMesh(geometry)) {
        AddPart(item, geometry, boxes);
        return;
    }
    auto visit = [&](nGeometry* leaf) {
        if (HasMesh(leaf)) AddPart(item, leaf, boxes);
    };
    VisitOctreeLeaves(geometry->GetOctree(), visit);
}

void nSceneBIH::AddPart(nMItem* item, nGeometry* geometry, nMinMax* boxes)
{
    if (m_entryCount >= m_capacity) return;
    // 4. The shading data in place (a posed copy has its own already).
    geometry->BuildPolygonOffsets();
    geometry->ComputeVertexNormal(false);
    geometry->ComputeVertexTangent(false);

    // 5. The geometry's own hierarchy, the world box and the entry.
    if (!geometry->BuildGeoTree()) return;
    nItem* node = item->GetItem();
    nSceneBIHEntry& entry = m_entries[m_entryCount];
    entry.item = item;
    entry.object = nMObject::FromItem(item);
    entry.geometry = geometry;
    entry.hold = nSharedPtr<nGeometry>(geometry);
    entry.world = node->GetWorldMatrix();
    entry.inverseWorld = node->GetInverseWorldMatrix();
    entry.rotation = nMatrix3::FromMatrix4(entry.world);
    entry.alpha = node->GetOpacity();
    geometry->ComputeBounds(boxes[m_entryCount], &entry.world);
    ++m_entryCount;
}

nGeometry* nSceneBIH::PoseSkinnedCopy(const nObject& object, const nGeometry& source)
{
    nGeometry* copy = new (std::nothrow) nGeometry(source.GetEngine());
    if (!copy) {
        *g_log << "[!] Failed to grab scene to raytracer.\n";
        return 0;
    }
    copy->AddRef();
    copy->SetName(source.GetName().GetCStr());

    // The mesh, its attributes and the materials, shared.
    bool copied = copy->AllocateVertices(source.vertexCount) && copy->AllocatePolygons(source.polygonCount);
    if (copied) {
        for (uint32_t p = 0; p < source.polygonCount; ++p) {
            copy->polygons[p].count = source.polygons[p].count;
            copy->polygons[p].material = source.polygons[p].material;
        }
        copied = copy->AllocateBindings() && copy->bindingCount == source.bindingCount;
    }
    if (copied) {
        for (uint32_t p = 0; p < source.polygonCount; ++p)
            std::memcpy(copy->polygons[p].bindings, source.polygons[p].bindings, sizeof(int32_t) * source.polygons[p].count);
        copied = CopyArray(copy->colors, source.colors, source.colors ? source.bindingCount : 0);
        copy->uvSetCount = source.uvSetCount;
        for (int k = 0; copied && k < kGeometryUVSetCount; ++k)
            copied = CopyArray(copy->uvSets[k], source.uvSets[k], source.uvSets[k] ? source.bindingCount : 0);
    }
    if (copied && source.materialCount > 0) {
        copied = copy->AllocateMaterials(source.materialCount, false);
        for (uint32_t i = 0; copied && i < source.materialCount; ++i) copy->SetMaterial(i, source.materials[i].Get());
    }
    if (!copied) {
        *g_log << "[!] Failed to grab scene to raytracer.\n";
        copy->Release();
        return 0;
    }
    copy->renderWord = source.renderWord;
    copy->materialFlags = source.materialFlags;

    // The shading data of the bind pose, then everything posed by the bone matrices.
    const nMatrix4* bones = object.GetBoneMatrices();
    const int32_t boneCount = object.GetBoneCount();
    for (uint32_t v = 0; v < source.vertexCount; ++v) copy->vertices[v] = source.vertices[v];
    copy->BuildPolygonOffsets();
    copy->ComputeVertexNormal(true);
    copy->ComputeVertexTangent(true);
    for (uint32_t v = 0; v < source.vertexCount; ++v) {
        nVector posed = source.vertices[v].Transform(BlendedBoneMatrix(source.skinWeights[v], bones, boneCount));
        posed.w = 1.0f;
        copy->vertices[v] = posed;
    }
    for (uint32_t b = 0; b < copy->bindingCount; ++b) {
        const int32_t v = copy->bindings[b];
        if (v < 0 || (uint32_t)v >= source.vertexCount) continue;
        const nMatrix4 blend = BlendedBoneMatrix(source.skinWeights[v], bones, boneCount);
        if (copy->vertexNormals) copy->vertexNormals[b] = RotateByMatrix4(blend, copy->vertexNormals[b]);
        if (copy->vertexTangents) {
            copy->vertexTangents[b].tangent = RotateByMatrix4(blend, copy->vertexTangents[b].tangent);
            copy->vertexTangents[b].bitangent = RotateByMatrix4(blend, copy->vertexTangents[b].bitangent);
        }
    }
    // The face normals follow the posed corners.
    copy->ComputePolygonNormal(true);
    return copy;
}

// ---------------------------------------------------------------------------------------------
// Queries

void nSceneBIH::CountedIntersect(nSceneRay& ray, const nVector& origin, const nVector& direction, float maxDistance)
{
    m_rays.fetch_add(1, std::memory_order_relaxed);
    Cast(ray, origin, direction, maxDistance);
}

void nSceneBIH::Cast(nSceneRay& ray, const nVector& origin, const nVector& direction, float maxDistance)
{
    ray.trianglesTested = 0;
    ray.polygon = -1;
    ray.hitObject = 0;
    ray.limit = maxDistance > 0.0f ? maxDistance : -1.0f;
    Intersect(ray, origin, direction, ray.limit);
}

void nSceneBIH::TestLeaf(const nBIHNode& leaf, float, float, nBIHRay& record)
{
    nSceneRay& ray = static_cast<nSceneRay&>(record);
    const uint32_t* items = GetItems(leaf);
    for (int32_t i = 0; i < leaf.itemCount; ++i) {
        if (ray.hit && !ray.nearest) return;
        const nSceneBIHEntry& entry = m_entries[items[i]];
        nGeometryBIH* tree = entry.geometry->geometryBIH;
        if (!tree) continue;

        // Item space; the direction keeps its length there, so distances stay comparable.
        const nVector origin = ray.origin.Transform(entry.inverseWorld);
        const nVector direction = RotateByMatrix4(entry.inverseWorld, ray.direction);
        float limit = ray.limit;
        if (ray.hit) {
            if (ray.hitDistance <= 0.0f) return;
            if (limit < 0.0f || ray.hitDistance < limit) limit = ray.hitDistance;
        }
        nBIHRay inner;
        inner.nearest = ray.nearest;
        tree->CastRay(inner, origin, direction, limit);
        ray.trianglesTested += inner.trianglesTested;
        ray.steps += inner.steps;
        if (!inner.hit || (ray.hit && !(inner.hitDistance < ray.hitDistance))) continue;
        ray.hit = 1;
        ray.hitDistance = inner.hitDistance;
        ray.hitObject = const_cast<nSceneBIHEntry*>(&entry);
        ray.polygon = inner.polygon;
        ray.triangle = inner.triangle;
        ray.weights[0] = inner.weights[0];
        ray.weights[1] = inner.weights[1];
        ray.weights[2] = inner.weights[2];
        ray.backFace = inner.backFace;
    }
}
