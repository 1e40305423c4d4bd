#ifndef N_GEOMETRY_H
#define N_GEOMETRY_H

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>

#include "core/nBounds.h"
#include "core/nMatrix.h"
#include "core/nMetaObject.h"
#include "core/nSharedObject.h"
#include "core/nString.h"
#include "core/nVector.h"

class nOrvex;
class nGeometryBIH;
class nMaterial;
class nOctreeNode;
class nMetaFile;
class nMetaTag;
struct nRenderData;

// One polygon, drawn as a triangle fan over its corners.
struct nPolygon
{
    uint16_t count;     // corners
    uint16_t material;  // index into the material table (out of range reads as 0)
    int32_t* bindings;  // the polygon's first corner in the geometry's binding array
};

// Four bone influences of one vertex.
struct nSkinWeight
{
    float weight[4];
    uint16_t bone[4];
};

// Polygons that use one vertex, once per corner that refers to it.
struct nVertexPolygons
{
    uint32_t count;
    int32_t* polygons;  // into the table's one flat array
};

// Tangent then bitangent, fourth components 1.
struct nTangentFrame
{
    nVector tangent;
    nVector bitangent;
};

struct nGeometryColor
{
    float r, g, b, a;
};

// Render word bits.
enum nGeometryRenderWord
{
    GeometryRenderLit = 0x1,  // vertex normals are needed
    GeometryRenderUseNormal = 0x8,
    GeometryRenderTangents = 0x10  // vertex tangent frames are needed
};

// Proxy flags.
enum nGeometryProxyFlag
{
    GeometryHidden = 0x1,  // not drawn (scripts set it)
    GeometryLodNull = 0x2,
    GeometryShadowNull = 0x4
};

// Keep-mask bits: the parts Free leaves in place.
enum nGeometryKeep
{
    GeometryKeepMaterials = 0x01,  // freeing them also resets ZFar to -1
    GeometryKeepMesh = 0x02,       // positions, polygons, bindings, normals, tangent frames
    GeometryKeepAdjacency = 0x04,  // vertex-to-polygon and homogeneous tables, polygon offsets
    GeometryKeepOctree = 0x08,
    GeometryKeepProxies = 0x10,     // LOD and shadow proxies, LOD distance, proxy flags
    GeometryKeepRenderData = 0x20,  // clear: Free first calls the renderer's FreeGeometry
    GeometryKeepAttributes = 0x40   // UV sets and colours
};

// What MergeMaterials asks of two materials before it takes them for one.
enum nGeometryMergeFlag
{
    GeometryMergeSameName = 0x1,     // equal names, case-sensitive
    GeometryMergeSameTextures = 0x2  // the same active textured stage (or none) on every channel
};

const int kGeometryUVSetCount = 3;

// The mesh resource: vertices, fan polygons whose corners ("bindings") carry per-corner
// attributes, a material table, an optional skin and LOD and shadow substitutes, and tables
// derived on demand. Counts always describe the arrays beside them: an absent array has count 0
// or is NULL. Held through nSharedPtr; set up on the engine's current renderer before drawing.
class nGeometry : public nSharedObject, public nMetaObject
{
public:
    explicit nGeometry(nOrvex* engine);  // empty; LOD distance 100, ZFar -1, static
    ~nGeometry() override;               // core event 5, Clear, core event 6, proxies released
    nGeometry(const nGeometry&) = delete;
    nGeometry& operator=(const nGeometry&) = delete;

    // Storage. Allocations leave the new elements uninitialised; false when out of memory.
    bool AllocateVertices(uint32_t count);  // replaces the positions
    bool AllocatePolygons(uint32_t count);  // replaces polygons and offsets; binding count 0
    bool AllocateBindings();                // one binding per corner, polygons pointed at them in order
    void CountBindings();                   // binding count = sum of the polygon corner counts
    void BuildPolygonOffsets();             // first binding of every polygon, once
    void AllocateSkin(int32_t boneCount);   // empty names and identity bind matrices; a failed array stays absent

    // Material table.
    bool AllocateMaterials(uint32_t count, bool create);    // releases the old table; count 0 warns and is true
    nMaterial* GetMaterial(uint32_t index) const;           // out of range reads entry 0; NULL without table
    uint32_t FindMaterialIndex(const char* name) const;     // first of that name; 0 when none
    nMaterial* FindMaterial(const char* name) const;        // entry at FindMaterialIndex; NULL without table
    void SetMaterial(uint32_t index, nMaterial* material);  // an index outside the table does nothing
    // Materials equal to an earlier one are dropped and their polygons moved to it. Flags:
    // GeometryMergeSameName, GeometryMergeSameTextures. The number dropped.
    uint32_t MergeMaterials(uint32_t flags);

    // Derived tables.
    nMinMax& ComputeBounds(nMinMax& out, const nMatrix4* matrix) const;  // vertex box (through matrix); stored bounds without vertices
    bool BuildVertexPolygonTable();                                      // once; false (logged) when out of memory, the table absent
    bool BuildHomogeneousTable(int32_t key);                             // 1 per vertex whose bindings agree (key: a material index, or -1 for all);
                                                                         // false (logged) when a table cannot be allocated: then there is none
    void FreeHomogeneousTable();
    bool BuildGeoTree();  // the ray-casting hierarchy, once; false (logged) when it cannot be built,
                          // leaving none so that a later call tries again

    // Shading data (normals and tangents). Each computes when forced or when its array is
    // missing and there are polygons and vertices; a forced computation replaces the array.
    void ComputePolygonNormal(bool force);           // first three corners; fewer corners: zero
    void ComputePolygonTangent(bool force = false);  // from the UV set of each material's Normal stage; skipped polygons: zero frame
    void ComputeVertexNormal(bool force);            // per binding, smoothed by the materials' cosine threshold
    void ComputeVertexTangent(bool force);           // per binding, orthogonal to the vertex normal (computed first when missing)

    // The octree: the polygons split into leaf geometries that are culled and drawn on their
    // own. A build replaces the tree; in the player it frees the mesh, which the leaves then
    // hold alone. False (logged) when memory runs out: then there is no tree and the mesh is
    // kept. minimumLeafPolygons n gives leaves of up to 2 max(n, 512) polygons.
    bool BuildOctree(int32_t minimumLeafPolygons);
    void SetupOctree();  // sets the leaves up
    nOctreeNode* GetOctree() const { return m_octree; }
    static void GetOctreeSummary(uint32_t& leaves, uint32_t& polygons);  // of the last build

    // Life cycle.
    void UpdateMaterialFlags();  // render word and static flag from the materials; material flags accumulate
    void SetupMaterials();       // skinned flag when weighted, then each material's Setup
    void Setup();                // flags, centre, normals/tangents as asked, materials, bounds, renderer (or the octree's leaves)
    void Free();                 // frees what the keep mask does not name; the adjacency goes with the mesh
    void Clear();                // skin, then everything (keep mask 0)

    // NML "Geometry" root tag. Reading clears first; malformed positions or polygons leave the
    // geometry empty (false), a malformed attribute chunk is dropped. One log line per fault.
    bool Deserialize(nMetaFile* document, nMetaTag* root) override;
    nMetaTag* Serialize(nMetaFile* document) override;

    nOrvex* GetEngine() const { return m_engine; }
    const nString& GetName() const { return m_name; }
    void SetName(const char* name) { m_name.Set(name); }
    uint32_t GetKeepMask() const { return m_keepMask; }
    void SetKeepMask(uint32_t mask) { m_keepMask = mask; }
    nRenderData* GetRenderData() const { return m_renderData; }
    void SetRenderData(nRenderData* data) { m_renderData = data; }  // the renderer's alone

    // Mesh data; see the struct comments and the counts' contract above.
    nMinMax bounds;  // min and max (0, 0, 0, 1) at creation
    uint32_t materialCount;
    nSharedPtr<nMaterial>* materials;
    int32_t renderWord;         // nGeometryRenderWord bits
    uint32_t materialFlags;     // union of every material's render flags seen
    nGeometryBIH* geometryBIH;  // owned; built on demand, dropped with the mesh
    uint32_t proxyFlags;        // nGeometryProxyFlag bits
    nVector centre;             // mean position, computed by Setup
    float zFar;                 // -1 unset
    nSharedPtr<nGeometry> lodProxy;
    float lodDistance;  // 100 at creation
    nSharedPtr<nGeometry> shadowProxy;
    uint8_t* homogeneous;  // one per vertex
    uint32_t vertexCount;
    nVector* vertices;
    nVector* vertexNormals;                 // one per binding
    nTangentFrame* vertexTangents;          // one per binding
    nGeometryColor* colors;                 // one per binding
    uint32_t uvSetCount;                    // 0 to 3
    nVector2* uvSets[kGeometryUVSetCount];  // one pair per binding; an absent set is NULL
    int32_t* bindings;                      // vertex index of every corner
    uint32_t bindingCount;
    int32_t* polygonOffsets;  // first binding of every polygon
    uint32_t polygonCount;
    nPolygon* polygons;
    int32_t boneCount;
    nString* boneNames;
    nMatrix4* bindMatrices;
    nSkinWeight* skinWeights;  // one per vertex
    int32_t staticFlag;        // 0 when a material is a soft body
    nVector* polygonNormals;
    nTangentFrame* polygonTangents;
    nVertexPolygons* vertexPolygons;  // one head per vertex
    int32_t* vertexPolygonList;       // the heads' flat array

    // Storage for count elements that are all written before anything reads them: they are not
    // default-constructed first. Freed with delete[] like every array here. NULL when out of memory.
    template<class T> static T* AllocateArray(size_t count);

private:
    void FreeMesh();
    void FreeAttributes();
    void FreeAdjacency();
    void FreeSkin();
    void FreeMaterials();
    void FreeOctree();
    bool ReadChunks(nMetaFile* document, nMetaTag* root);      // false: malformed, already reported
    nGeometry* LoadProxy(const char* name);                    // NULL when refused or not loadable
    void SmoothVertexNormals(nTangentFrame* frames);           // vertex normals from the tables; frames: tangent frames too
    static void PrefaultLargeArray(void* data, size_t bytes);  // fresh pages mapped in one call rather than one fault each

    nString m_name;
    uint32_t m_keepMask;
    nOrvex* m_engine;
    nRenderData* m_renderData;
    nOctreeNode* m_octree;
};

template<class T>
T* nGeometry::AllocateArray(size_t count)
{
    static_assert(std::is_trivially_copyable<T>::value && std::is_trivially_destructible<T>::value,
                  "plain element types only");
    if (count == 0 || count > (size_t)-1 / sizeof(T)) return 0;
    T* data = static_cast<T*>(::operator new[](count * sizeof(T), std::nothrow));
    if (data) PrefaultLargeArray(data, count * sizeof(T));
    return data;
}

// x, y or z differ by 1e-6 or more (w ignored).
bool VectorDiffers(const nVector& a, const nVector& b);
// Any of the sixteen elements differs by 1e-6 or more.
bool MatrixDiffers(const nMatrix4& a, const nMatrix4& b);

#endif
