// Two geometries baked into one, and the merging of equal materials of a geometry.

#include "resources/nGeometryMerge.h"

#include <cstring>
#include <memory>
#include <new>

#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "resources/nGeometry.h"
#include "resources/nMaterial.h"

namespace {

const nVector2 kMissingUV(0.5f, 0.5f);
const nGeometryColor kWhite = {1.0f, 1.0f, 1.0f, 1.0f};

// One source of a merge with where its parts land in the result.
struct MergePart
{
    const nGeometry* g;
    nMatrix4 matrix;        // places the positions
    nMatrix3 normalMatrix;  // the inverse transpose of the matrix's upper-left 3x3
    uint32_t firstVertex;
    uint32_t firstBinding;
    uint32_t firstPolygon;
    uint32_t firstMaterial;
};

MergePart MakePart(const nGeometry* g, const nMatrix4* matrix, uint32_t vertex, uint32_t binding, uint32_t polygon,
                   uint32_t material)
{
    MergePart part = {g, matrix ? *matrix : nMatrix4(), nMatrix3(), vertex, binding, polygon, material};
    // Normals follow the inverse transpose, so that they stay perpendicular to their surface
    // under a non-uniform scale. A singular matrix gives the adjugate, whose transpose (the
    // cofactor matrix) carries normals the same way up to the length, which is normalised.
    nMatrix3 inverse;
    nMatrix3::FromMatrix4(part.matrix).Inverse(inverse);
    part.normalMatrix = inverse.Transpose();
    return part;
}

nVector TransformNormal(const nVector& n, const nMatrix3& m)
{
    nVector r = n.Rotate(m).Normalize();
    r.w = 1.0f;
    return r;
}

// out[part's range] from the part's per-element array (count elements), or fill where it has none.
template<class T, class F>
void CopyOrFill(T* out, const T* in, uint32_t count, const T& fill, F convert)
{
    for (uint32_t i = 0; i < count; ++i) out[i] = in ? convert(in[i]) : fill;
}

// Stage agreement on one channel: neither has an active textured stage, or both have one with
// the same texture, UV source and UV set. Copies made without a resource cache load their
// textures anew, so textures named alike count as the same.
bool StagesAgree(const nMaterial& a, const nMaterial& b, int32_t channel)
{
    const nMaterialStage* sa = a.GetStage(channel, true);
    const nMaterialStage* sb = b.GetStage(channel, true);
    if (!sa || !sb) return !sa && !sb;
    const bool sameTexture = sa->texture == sb->texture || (sa->texture->GetName().GetLength() && sa->texture->GetName() == sb->texture->GetName());
    return sameTexture && sa->uvSource == sb->uvSource && sa->uvIndex == sb->uvIndex;
}

bool MaterialsEqual(const nMaterial* a, const nMaterial* b, uint32_t flags)
{
    if (!a || !b) return a == b;
    if ((flags & GeometryMergeSameName) && !(a->GetName() == b->GetName())) return false;
    if (flags & GeometryMergeSameTextures)
        for (int32_t channel = MaterialChannelDiffuse; channel <= MaterialChannelBlendRGB; ++channel)
            if (!StagesAgree(*a, *b, channel)) return false;
    return true;
}

// The material written to NML and read back into a new one of the same engine.
void CopyMaterial(nMaterial* to, const nMaterial* from)
{
    if (!to || !from) return;
    nMetaFile document;
    std::unique_ptr<nMetaTag> tag(from->Serialize(&document));
    if (tag) to->Deserialize(&document, tag.get());
}

}

nGeometry* MergeGeometries(nGeometry* first, nGeometry* second, const nMatrix4* firstMatrix,
                           const nMatrix4* secondMatrix)
{
    if (!first || !second) {
        *g_log << "[!] Cannot merge NULL geometry.\n";
        return 0;
    }
    nGeometry* result = new (std::nothrow) nGeometry(first->GetEngine());
    if (!result) {
        *g_log << "[!] Failed to allocate merged geometry.\n";
        return 0;
    }
    // Freed again on every failure below; a new geometry has no holder yet.
    std::unique_ptr<nGeometry> hold(result);

    if (first->polygonNormals || second->polygonNormals) {
        first->ComputePolygonNormal(false);
        second->ComputePolygonNormal(false);
    }
    if (first->vertexNormals || second->vertexNormals) {
        first->ComputeVertexNormal(false);
        second->ComputeVertexNormal(false);
    }
    first->CountBindings();
    second->CountBindings();

    const MergePart parts[2] = {
        MakePart(first, firstMatrix, 0, 0, 0, 0),
        MakePart(second, secondMatrix, first->vertexCount, first->bindingCount, first->polygonCount, first->materialCount),
    };
    const bool polygonNormals = first->polygonNormals || second->polygonNormals;
    const bool vertexNormals = first->vertexNormals || second->vertexNormals;
    const bool colours = first->colors || second->colors;
    bool ok = result->AllocateVertices(first->vertexCount + second->vertexCount) && result->AllocatePolygons(first->polygonCount + second->polygonCount);
    if (ok) {
        for (const MergePart& part : parts)
            for (uint32_t p = 0; p < part.g->polygonCount; ++p) {
                nPolygon& out = result->polygons[part.firstPolygon + p];
                out.count = part.g->polygons[p].count;
                out.material = (uint16_t)(part.g->polygons[p].material + part.firstMaterial);
            }
        ok = result->AllocateBindings();
    }
    const uint32_t bindings = result->bindingCount;
    const uint32_t polygons = result->polygonCount;
    if (ok && polygonNormals) ok = (result->polygonNormals = nGeometry::AllocateArray<nVector>(polygons)) != 0 || !polygons;
    if (ok && vertexNormals) ok = (result->vertexNormals = nGeometry::AllocateArray<nVector>(bindings)) != 0 || !bindings;
    if (ok && colours) ok = (result->colors = nGeometry::AllocateArray<nGeometryColor>(bindings)) != 0 || !bindings;
    int32_t uvSlots = 0;
    for (int s = 0; ok && s < kGeometryUVSetCount; ++s) {
        if (!first->uvSets[s] && !second->uvSets[s]) continue;
        ok = (result->uvSets[s] = nGeometry::AllocateArray<nVector2>(bindings)) != 0 || !bindings;
        uvSlots = s + 1;  // a set past a missing one is still read
    }
    if (!ok) {
        *g_log << "[!] Failed to allocate merged geometry.\n";
        return 0;
    }
    result->uvSetCount = (uint32_t)uvSlots;

    const auto same = [](const auto& x) { return x; };
    for (const MergePart& part : parts) {
        const nGeometry& g = *part.g;
        for (uint32_t v = 0; v < g.vertexCount; ++v) {
            nVector p = g.vertices[v].Transform(part.matrix);
            p.w = 1.0f;
            result->vertices[part.firstVertex + v] = p;
        }
        for (uint32_t b = 0; b < g.bindingCount; ++b)
            result->bindings[part.firstBinding + b] = g.bindings[b] + (int32_t)part.firstVertex;
        const nVector none(0.0f, 0.0f, 0.0f, 1.0f);  // a side whose normals could not be computed
        const auto normal = [&](const nVector& n) { return TransformNormal(n, part.normalMatrix); };
        if (polygonNormals)
            CopyOrFill(result->polygonNormals + part.firstPolygon, g.polygonNormals, g.polygonCount, none, normal);
        if (vertexNormals)
            CopyOrFill(result->vertexNormals + part.firstBinding, g.vertexNormals, g.bindingCount, none, normal);
        if (colours) CopyOrFill(result->colors + part.firstBinding, g.colors, g.bindingCount, kWhite, same);
        for (int s = 0; s < kGeometryUVSetCount; ++s)
            if (result->uvSets[s])
                CopyOrFill(result->uvSets[s] + part.firstBinding, g.uvSets[s], g.bindingCount, kMissingUV, same);
    }

    const uint32_t materials = first->materialCount + second->materialCount;
    if (materials) {
        if (!result->AllocateMaterials(materials, true)) return 0;
        for (const MergePart& part : parts)
            for (uint32_t m = 0; m < part.g->materialCount; ++m)
                CopyMaterial(result->materials[part.firstMaterial + m].Get(), part.g->materials[m].Get());
    }
    result->MergeMaterials(GeometryMergeSameName | GeometryMergeSameTextures);

    return hold.release();
}

uint32_t nGeometry::MergeMaterials(uint32_t flags)
{
    if (materialCount < 2) return 0;
    *g_log << "[H] "
           << "Merging materials in geometry '" << m_name.GetCStr() << "'...\n";
    std::unique_ptr<bool[]> merged(new (std::nothrow) bool[materialCount]);
    std::unique_ptr<uint32_t[]> map(new (std::nothrow) uint32_t[materialCount]);
    std::unique_ptr<nSharedPtr<nMaterial>[]> kept(new (std::nothrow) nSharedPtr<nMaterial>[materialCount]);
    if (!merged || !map || !kept) {
        *g_log << "[!] Could not allocate the material merge tables of geometry '" << m_name.GetCStr() << "'.\n";
        return 0;
    }
    for (uint32_t i = 0; i < materialCount; ++i) {
        merged[i] = false;
        map[i] = i;
    }
    for (uint32_t i = 0; i < materialCount; ++i) {
        if (merged[i]) continue;
        for (uint32_t k = i + 1; k < materialCount; ++k)
            if (!merged[k] && MaterialsEqual(materials[i].Get(), materials[k].Get(), flags)) {
                merged[k] = true;
                map[k] = i;
            }
    }
    uint32_t keptCount = 0;
    for (uint32_t i = 0; i < materialCount; ++i) {
        if (merged[i]) continue;
        kept[keptCount] = materials[i];
        map[i] = keptCount++;
    }
    for (uint32_t i = 0; i < materialCount; ++i)
        if (merged[i]) map[i] = map[map[i]];
    for (uint32_t p = 0; p < polygonCount; ++p) {
        // An index past the table reads as material 0, and so it stays.
        const uint32_t old = polygons[p].material < materialCount ? polygons[p].material : 0;
        polygons[p].material = (uint16_t)map[old];
    }
    const uint32_t removed = materialCount - keptCount;
    for (uint32_t i = 0; i < materialCount; ++i) materials[i] = i < keptCount ? kept[i].Get() : 0;
    materialCount = keptCount;
    *g_log << "Done, merged " << (int32_t)removed << " material(s).\n";
    return removed;
}
