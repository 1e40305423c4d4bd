#ifndef N_OBJECT_H
#define N_OBJECT_H

#include <cstddef>
#include <cstdint>
#include <new>

#include "core/nBounds.h"
#include "core/nCountedArray.h"
#include "core/nMatrix.h"
#include "core/nSharedObject.h"
#include "render/nRenderQueue.h"
#include "resources/nGeometry.h"
#include "scene/nItem.h"
#include "scene/nMItem.h"

class nMetaFile;
class nMetaTag;
class nScene;

// A transform node that shows a geometry, can drive the geometry's skin with other items as
// bones, and queues its geometry for drawing when the renderer asks.
//
// Skin invariant: with a skin set up, the bone table, the bone matrices and the bone volumes
// each hold the geometry's bone count of entries; without one all three are empty. Bone
// matrices map the bind-pose mesh in the object's own space to its current pose in the same
// space; an unbound bone contributes the identity. Bone indices outside 0..count-1 are
// refused, wherever they come from (callers or the geometry's influences).
class nObject : public nItem, public nRenderable
{
public:
    explicit nObject(nOrvex* engine);  // no geometry, no skin, cache geometry on
    ~nObject() override;

    void GetWorldMinMax(nMinMax& out) const override;  // in the object's own space: bone boxes, the geometry's bounds, or the origin
    nRenderable* GetRenderable() override { return this; }
    virtual bool SetupSkinning();                      // rebuilds the skin for the geometry; false (logged, no skin) when out of memory
    virtual void FreeSkinning();                       // no skin
    virtual bool SetBone(int32_t index, nItem* item);  // false outside the bone range; a bound item is flagged as a bone

    nSharedPtr<nGeometry> GetGeometry() const { return m_geometry; }
    void SetGeometry(nGeometry* geometry, bool setupSkinning);  // the same geometry changes nothing
    nGeometry* GetOccluder() const { return m_occluder.Get(); }
    void SetOccluder(nGeometry* geometry) { m_occluder = geometry; }
    bool GetCacheGeometry() const { return m_cacheGeometry; }
    void SetCacheGeometry(bool cache) { m_cacheGeometry = cache; }

    void UpdateSkinning();  // bone matrices from the bound items' world matrices
    int32_t GetBoneCount() const { return m_bones.GetCount(); }
    nItem* GetBone(int32_t index) const { return static_cast<nItem*>(m_bones.Get(index)); }  // NULL outside the range
    const nMatrix4* GetBoneMatrices() const { return m_boneMatrices; }                       // GetBoneCount() entries, or NULL
    nMatrix4 GetBindMatrix(int32_t index) const;                                             // the geometry's; identity outside the bone range
    bool GetBoneVolume(int32_t index, nOBB& out) const;                                      // bind-pose box under the bone matrix; false outside the range

    // The geometry's vertices blended by their four weighted bone matrices into out (vertex
    // count entries, w = 1), for readers of the posed mesh on the CPU. Without a skin the
    // vertices are copied. Influences outside the bone range are skipped. False without a
    // geometry or vertices.
    bool SkinVertices(nVector* out) const;

    // Appends this object's primitives (LOD or shadow substitute, culled by the camera's
    // frustum) at the tail of the list.
    void Enqueue(nItem* camera, nRenderablePrimitiveList* list, int32_t pass) override;
    // The geometry's centre placed by the object matrix, measured along the camera's view axis.
    static float ViewDepth(const nMatrix4& cameraWorld, const nGeometry* geometry, const nMatrix4& objectWorld);

    // "Object" NML.
    bool Deserialize(nMetaFile* document, nMetaTag* tag);
    nMetaTag* Serialize(nMetaFile* document);  // NULL (logged) when the root cannot be made

    static int32_t GetSkinnedCount();  // objects alive with a skin, in every scene

private:
    bool ComputeBoneVolumes();

    nFixedPtrArray m_bones;  // nItem* per bone; not owned
    nMatrix4* m_boneMatrices;
    nMinMax* m_boneVolumes;
    nSharedPtr<nGeometry> m_geometry;
    nSharedPtr<nGeometry> m_occluder;
    bool m_cacheGeometry;
};

// The managed object (kind 2), the kind the scene skins every evaluation.
class nMObject : public nMItem
{
public:
    explicit nMObject(nScene* scene);
    ~nMObject() override;

    // Objects of this exact size come from a pool of aligned blocks (nItemBlockPool), larger
    // derived ones from the heap; the nothrow forms give NULL when out of memory.
    static void* operator new(std::size_t size, std::align_val_t alignment);
    static void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept;
    static void operator delete(void* block, std::size_t size, std::align_val_t alignment) noexcept;

    void Evaluate() override {}
    void UpdateTransform() override {}

    // "MObject" NML: the "MItem" tag and the "Object" tag.
    bool Deserialize(nMetaFile* document, nMetaTag* tag);
    nMetaTag* Serialize(nMetaFile* document);

    nObject& GetObject() { return m_object; }

    // The scene's hooks: the object of a managed item (NULL for any other kind); every bone
    // slot of the scene's objects that holds node is cleared.
    static nObject* FromItem(nMItem* item);
    static void ReleaseBone(nScene* scene, const nItem* node);

private:
    nObject m_object;
};

#endif
