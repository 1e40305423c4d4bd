// Triangle lists: the fan polygons of a geometry cut into indexed, bounded batches for upload.
#include "resources/nTrilist.h"

#include <cstring>
#include <new>

#include "core/nClock.h"
#include "core/nLog.h"
#include "resources/nMaterial.h"

nTrilist::nTrilist()
    : vertexCount(0), positions(0), triangleCount(0), indices(0), boneCount(0), skin(0), bones(0),
      normals(0), tangentFrames(0), colours(0), material(0)
{
    for (int s = 0; s < kGeometryUVSetCount; ++s) uvSets[s] = 0;
}

nTrilist::~nTrilist()
{
    delete[] positions;
    delete[] indices;
    delete[] skin;
    delete[] bones;
    delete[] normals;
    delete[] tangentFrames;
    delete[] colours;
    for (int s = 0; s < kGeometryUVSetCount; ++s) delete[] uvSets[s];
}

namespace {
// What the conversion makes of each polygon, decided once.
enum PolygonKind : uint8_t
{
    PolygonDrawn,
    PolygonSmall,      // fewer than 3 corners: nothing to draw
    PolygonMalformed,  // corners outside the bindings or the vertices
    PolygonTooLarge    // more triangles or vertices than one list may hold
};

// Working state of one conversion. Vertex numbers of the current pass are valid where the
// vertex's stamp equals the pass, so starting a pass costs nothing.
struct Converter
{
    nGeometry& g;
    uint32_t maxTriangles;
    uint32_t maxVertices;
    uint32_t maxBones;

    uint8_t* kinds;    // one PolygonKind per polygon
    int32_t* remap;    // list vertex number of each geometry vertex
    uint32_t* stamps;  // pass in which remap was written
    uint32_t pass;
    uint16_t* boneTable;  // the batch's bone table: maxBones entries, then room for one polygon's new bones
    uint32_t boneCount;
    bool bonesDropped;
    bool cornersDropped;

    explicit Converter(nGeometry& geometry)
        : g(geometry), maxTriangles(0), maxVertices(0), maxBones(0), kinds(0), remap(0), stamps(0), pass(0),
          boneTable(0), boneCount(0), bonesDropped(false), cornersDropped(false) {}
    ~Converter()
    {
        delete[] kinds;
        delete[] remap;
        delete[] stamps;
        delete[] boneTable;
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    uint32_t MaterialOf(uint32_t p) const
    {
        return g.polygons[p].material < g.materialCount ? g.polygons[p].material : 0u;
    }
    static uint32_t UsedCorners(const nPolygon& poly)
    {
        return poly.count < kTrilistMaxCorners ? poly.count : kTrilistMaxCorners;
    }
    // Whether vertex v of a polygon drawn with material t is one vertex for all its corners.
    // Polygons read as material 0 through an out-of-range index never share: the table was
    // built for the polygons that name t.
    bool Shared(const nPolygon& poly, uint32_t t, int32_t v) const
    {
        return g.homogeneous && poly.material == t && g.homogeneous[v];
    }
    int32_t BoneSlot(uint16_t bone, uint32_t count) const
    {
        for (uint32_t i = 0; i < count; ++i)
            if (boneTable[i] == bone) return (int32_t)i;
        return -1;
    }

    bool Prepare(uint32_t triangles, uint32_t vertices, uint32_t bones);
    void Classify();
    uint32_t Count(uint32_t t, uint32_t start, uint32_t& vertices, uint32_t& triangles);
    nTrilist* Fill(uint32_t t, uint32_t start, uint32_t end, uint32_t vertices, uint32_t triangles);
    void Emit(nTrilist& list, uint32_t n, int32_t v, int32_t binding);
};

bool Converter::Prepare(uint32_t triangles, uint32_t vertices, uint32_t bones)
{
    maxTriangles = triangles;
    maxVertices = vertices;
    // Slots are bytes: a table beyond 256 entries could not be addressed.
    maxBones = bones < 1 ? 1 : (bones > 256 ? 256 : bones);
    kinds = new (std::nothrow) uint8_t[g.polygonCount];
    if (g.vertexCount > 0) {
        remap = new (std::nothrow) int32_t[g.vertexCount];
        stamps = new (std::nothrow) uint32_t[g.vertexCount];
    }
    if (g.skinWeights) boneTable = new (std::nothrow) uint16_t[maxBones + 4 * kTrilistMaxCorners];
    g.BuildPolygonOffsets();
    if (!kinds || (g.vertexCount > 0 && (!remap || !stamps)) || (g.skinWeights && !boneTable) || !g.polygonOffsets) {
        *g_log << "[!] Could not allocate memory to remap vertice!\n";
        return false;
    }
    if (stamps) std::memset(stamps, 0, sizeof(uint32_t) * g.vertexCount);
    return true;
}

void Converter::Classify()
{
    uint32_t small = 0, malformed = 0, large = 0;
    for (uint32_t p = 0; p < g.polygonCount; ++p) {
        const nPolygon& poly = g.polygons[p];
        uint8_t kind = PolygonDrawn;
        if (poly.count < 3)
            kind = PolygonSmall;
        else if (!poly.bindings || !g.bindings || (uint64_t)g.polygonOffsets[p] + poly.count > g.bindingCount)
            kind = PolygonMalformed;
        else {
            for (uint32_t k = 0; k < poly.count && kind == PolygonDrawn; ++k)
                if (poly.bindings[k] < 0 || (uint32_t)poly.bindings[k] >= g.vertexCount) kind = PolygonMalformed;
            uint32_t used = UsedCorners(poly);
            if (kind == PolygonDrawn && (used - 2 >= maxTriangles || used > maxVertices)) kind = PolygonTooLarge;
        }
        if (kind == PolygonDrawn && poly.count > kTrilistMaxCorners) cornersDropped = true;
        kinds[p] = kind;
        small += kind == PolygonSmall;
        malformed += kind == PolygonMalformed;
        large += kind == PolygonTooLarge;
    }
    const char* name = g.GetName().GetCStr();
    if (small)
        *g_log << "[*] Skipped " << (int32_t)small << " polygon(s) with fewer than 3 corners in geometry "
               << name << ".\n";
    if (malformed)
        *g_log << "[!] Skipped " << (int32_t)malformed << " polygon(s) with corners outside geometry "
               << name << ".\n";
    if (large)
        *g_log << "[!] Skipped " << (int32_t)large << " polygon(s) too large for one triangle list in geometry "
               << name << ".\n";
}

// Counting pass of the batch of material t that starts at polygon start: takes polygons in
// order while they fit and returns the first polygon not taken (the polygon count when all
// fit). Fills in the batch's vertex and triangle counts and its bone table.
uint32_t Converter::Count(uint32_t t, uint32_t start, uint32_t& vertices, uint32_t& triangles)
{
    ++pass;
    vertices = 0;
    triangles = 0;
    boneCount = 0;
    uint32_t taken = 0;
    for (uint32_t p = start; p < g.polygonCount; ++p) {
        if (kinds[p] != PolygonDrawn || MaterialOf(p) != t) continue;
        const nPolygon& poly = g.polygons[p];
        uint32_t used = UsedCorners(poly);
        if (triangles + used - 2 >= maxTriangles) return p;
        if (taken > 0 && boneCount + kTrilistBoneHeadroom >= maxBones) return p;

        // A polygon that does not fit ends the pass, so what it stamped never counts.
        uint32_t newVertices = 0;
        for (uint32_t k = 0; k < used; ++k) {
            int32_t v = poly.bindings[k];
            if (!Shared(poly, t, v))
                ++newVertices;
            else if (stamps[v] != pass) {
                stamps[v] = pass;
                ++newVertices;
            }
        }
        bool fits = (uint64_t)vertices + newVertices <= maxVertices;

        uint32_t newBones = 0;
        if (fits && g.skinWeights) {
            for (uint32_t k = 0; k < used; ++k) {
                const nSkinWeight& w = g.skinWeights[poly.bindings[k]];
                for (int i = 0; i < 4; ++i)
                    if (BoneSlot(w.bone[i], boneCount + newBones) < 0) boneTable[boneCount + newBones++] = w.bone[i];
            }
            if (boneCount + newBones > maxBones) {
                // A polygon that needs more bones than a whole table keeps what fits.
                if (taken > 0) fits = false;
                else {
                    bonesDropped = true;
                    newBones = maxBones - boneCount;
                }
            }
        }
        if (!fits) return p;
        boneCount += newBones;
        vertices += newVertices;
        triangles += used - 2;
        ++taken;
    }
    return g.polygonCount;
}

void Converter::Emit(nTrilist& list, uint32_t n, int32_t v, int32_t b)
{
    list.positions[n] = g.vertices[v];
    if (list.normals) list.normals[n] = g.vertexNormals[b];
    if (list.tangentFrames) list.tangentFrames[n] = g.vertexTangents[b];
    if (list.colours) list.colours[n] = g.colors[b];
    for (int s = 0; s < kGeometryUVSetCount; ++s)
        if (list.uvSets[s]) list.uvSets[s][n] = g.uvSets[s][b];
    if (list.skin) {
        const nSkinWeight& w = g.skinWeights[v];
        nTrilistSkin& out = list.skin[n];
        float sum = 0.0f;
        for (int i = 0; i < 4; ++i) {
            int32_t slot = BoneSlot(w.bone[i], list.boneCount);
            out.slot[i] = (uint8_t)(slot < 0 ? 0 : slot);
            out.weight[i] = slot < 0 ? 0.0f : w.weight[i];
            sum += out.weight[i];
        }
        // Skinning divides by the sum of the weights: a vertex left without any follows its
        // first influence (or slot 0 when that bone was dropped) instead of vanishing.
        if (sum == 0.0f) out.weight[0] = 1.0f;
    }
}

// Filling pass over the polygons the counting pass took: the same walk, so the same numbers.
nTrilist* Converter::Fill(uint32_t t, uint32_t start, uint32_t end, uint32_t vertices, uint32_t triangles)
{
    nTrilist* list = new (std::nothrow) nTrilist();
    if (!list) return 0;
    list->material = (int32_t)t;
    nMaterial* material = t < g.materialCount ? g.materials[t].Get() : 0;
    bool ok = (list->positions = nGeometry::AllocateArray<nVector>(vertices)) != 0;
    ok = ok && (list->indices = nGeometry::AllocateArray<int32_t>(3 * (size_t)triangles)) != 0;
    if (g.skinWeights) {
        ok = ok && (list->skin = nGeometry::AllocateArray<nTrilistSkin>(vertices)) != 0;
        if (boneCount > 0) ok = ok && (list->bones = nGeometry::AllocateArray<uint16_t>(boneCount)) != 0;
    }
    if (g.vertexNormals) ok = ok && (list->normals = nGeometry::AllocateArray<nVector>(vertices)) != 0;
    if (g.vertexTangents && material && (material->renderFlags & MaterialRenderNormalMapTangent))
        ok = ok && (list->tangentFrames = nGeometry::AllocateArray<nTangentFrame>(vertices)) != 0;
    if (g.colors) ok = ok && (list->colours = nGeometry::AllocateArray<nGeometryColor>(vertices)) != 0;
    for (uint32_t s = 0; s < (uint32_t)kGeometryUVSetCount; ++s)
        if (s < g.uvSetCount && g.uvSets[s]) ok = ok && (list->uvSets[s] = nGeometry::AllocateArray<nVector2>(vertices)) != 0;
    if (!ok) {
        delete list;
        return 0;
    }
    if (boneCount > 0 && list->bones) {
        std::memcpy(list->bones, boneTable, sizeof(uint16_t) * boneCount);
        list->boneCount = boneCount;
    }

    ++pass;
    uint32_t n = 0, tri = 0;
    int32_t corner[kTrilistMaxCorners];
    for (uint32_t p = start; p < end; ++p) {
        if (kinds[p] != PolygonDrawn || MaterialOf(p) != t) continue;
        const nPolygon& poly = g.polygons[p];
        uint32_t used = UsedCorners(poly);
        for (uint32_t k = 0; k < used; ++k) {
            int32_t v = poly.bindings[k];
            bool shared = Shared(poly, t, v);
            if (shared && stamps[v] == pass) {
                corner[k] = remap[v];
                continue;
            }
            corner[k] = (int32_t)n;
            if (shared) {
                stamps[v] = pass;
                remap[v] = (int32_t)n;
            }
            Emit(*list, n++, v, g.polygonOffsets[p] + (int32_t)k);
        }
        for (uint32_t m = 1; m + 1 < used; ++m, ++tri) {
            list->indices[3 * tri] = corner[0];
            list->indices[3 * tri + 1] = corner[m];
            list->indices[3 * tri + 2] = corner[m + 1];
        }
    }
    list->vertexCount = n;
    list->triangleCount = tri;
    return list;
}
}

nLinkedList* ConvertGeometryToTrilist(nGeometry* geometry, uint32_t maxTriangles, uint32_t maxVertices, uint32_t maxBones)
{
    const char* name = geometry ? geometry->GetName().GetCStr() : 0;
    *g_log << "Converting geometry " << name << " to triangle list...\n";
    nClockTicks began = nGetClock();
    if (!geometry || geometry->polygonCount == 0 || !geometry->polygons) {
        *g_log << "[!] Invalid geometry (" << name << ").\n";
        return 0;
    }
    nGeometry& g = *geometry;
    nLinkedList* lists = new (std::nothrow) nLinkedList();
    if (!lists) {
        *g_log << "[!] Failed to allocate trilist object.\n";
        return 0;
    }
    Converter c(g);
    if (!c.Prepare(maxTriangles, maxVertices, maxBones)) {
        delete lists;
        return 0;
    }
    c.Classify();

    uint64_t totalTriangles = 0, totalBones = 0;
    bool failed = false;
    for (uint32_t t = 0; t < g.materialCount && !failed; ++t) {
        g.BuildHomogeneousTable((int32_t)t);
        // Without the vertex-to-polygon table nothing is known to be shared.
        if (!g.vertexPolygons) g.FreeHomogeneousTable();
        uint32_t start = 0;
        while (start < g.polygonCount) {
            uint32_t vertices = 0, triangles = 0;
            uint32_t end = c.Count(t, start, vertices, triangles);
            if (vertices == 0) {
                start = end;
                continue;
            }
            nTrilist* list = c.Fill(t, start, end, vertices, triangles);
            if (!list) {
                *g_log << "[!] Couldn't allocate triangle list container objects.\n";
                failed = true;
                break;
            }
            lists->Add(list, true, true);
            totalTriangles += list->triangleCount;
            totalBones += list->boneCount;
            start = end;
        }
        g.FreeHomogeneousTable();
    }
    if (failed) {
        delete lists;
        return 0;
    }
    if (c.bonesDropped) *g_log << "[!] Bone array safeguard exceeded!\n";
    if (c.cornersDropped)
        *g_log << "[*] One or more polygon(s) vertex count exceeded remapping capability ("
               << (int32_t)kTrilistMaxCorners << ").\n";

    int32_t count = lists->GetCount();
    int32_t elapsed = (int32_t)((nGetClock() - began) * 1000 / nClockFrequency);
    float triangleAverage = count ? (float)totalTriangles / (float)count : 0.0f;
    float boneAverage = count ? (float)totalBones / (float)count : 0.0f;
    *g_log << "Done, in " << elapsed << "ms. Average: " << triangleAverage << " tri/list, " << boneAverage
           << " bone/list.\n";
    return lists;
}
