#include "scene/nObject.h"

#include <new>

#include "core/nFrustum.h"
#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "hub/nOrvex.h"
#include "resources/nOctreeNode.h"
#include "resources/nResourceLoader.h"
#include "scene/nCamera.h"
#include "scene/nItemBlockPool.h"
#include "scene/nItemTags.h"
#include "scene/nScene.h"

namespace {

const uint32_t kGeometryHidden = 0x1;  // proxy flag: the geometry is not drawn

int32_t g_skinnedObjects = 0;

// Appends one geometry primitive of the object at the tail of the list.
void QueueGeometry(nRenderablePrimitiveList* list, nObject* object, nGeometry* g, const nMatrix4& cameraWorld,
                   const nMatrix4& world)
{
    nRenderablePrimitive* primitive = new (std::nothrow)
        nRenderablePrimitive(RenderablePrimitiveGeometry, object, nObject::ViewDepth(cameraWorld, g, world), g);
    if (primitive && !list->InsertAfter(primitive, 0)) delete primitive;
}

bool ReadObjectTag(nMItem* item, nMetaFile* document, nMetaTag* tag)
{
    return static_cast<nMObject*>(item)->GetObject().Deserialize(document, tag);
}

}

nObject::nObject(nOrvex* engine)
    : nItem(engine), m_boneMatrices(0), m_boneVolumes(0), m_cacheGeometry(true)
{
}

nObject::~nObject()
{
    FreeSkinning();
    m_occluder.Release();
    m_geometry.Release();
}

int32_t nObject::GetSkinnedCount()
{
    return g_skinnedObjects;
}

void nObject::SetGeometry(nGeometry* geometry, bool setupSkinning)
{
    if (m_geometry == geometry) return;
    FreeSkinning();
    m_geometry = geometry;
    if (setupSkinning) SetupSkinning();
}

// Skin.

void nObject::FreeSkinning()
{
    if (m_bones.GetCount() > 0 && m_boneMatrices && m_boneVolumes) --g_skinnedObjects;
    delete[] m_boneMatrices;
    m_boneMatrices = 0;
    delete[] m_boneVolumes;
    m_boneVolumes = 0;
    m_bones.Free();
}

bool nObject::SetupSkinning()
{
    FreeSkinning();
    nGeometry* g = m_geometry.Get();
    if (!g || g->boneCount <= 0) return true;
    const int32_t count = g->boneCount;
    bool ok = m_bones.Alloc(count);
    if (ok) {
        m_boneMatrices = new (std::nothrow) nMatrix4[(size_t)count];
        const nVector origin(0.0f, 0.0f, 0.0f, 1.0f);
        m_boneVolumes = new (std::nothrow) nMinMax[(size_t)count];
        if (m_boneVolumes)
            for (int32_t i = 0; i < count; ++i) m_boneVolumes[i] = nMinMax(origin, origin);
        ok = m_boneMatrices && m_boneVolumes;
    }
    if (ok) ++g_skinnedObjects;
    if (ok && ComputeBoneVolumes()) return true;
    FreeSkinning();
    *g_log << "[!] Failed to allocate skinning structure.\n";
    return false;
}

bool nObject::ComputeBoneVolumes()
{
    const nGeometry* g = m_geometry.Get();
    const int32_t count = m_bones.GetCount();
    nCountedByteArray seen = AllocateByteArray(count);
    if (seen.count != count) {
        *g_log << "[!] Failed to allocate the bone bounding volume array.\n";
        return false;
    }
    if (!g->skinWeights || !g->vertices) return true;
    for (uint32_t v = 0; v < g->vertexCount; ++v) {
        const nSkinWeight& w = g->skinWeights[v];
        for (int k = 0; k < 4; ++k) {
            if (!(w.weight[k] > 0.0f)) continue;
            const int32_t b = w.bone[k];
            if (b >= count) continue;
            if (!seen.data[b]) {
                m_boneVolumes[b] = nMinMax(g->vertices[v], g->vertices[v]);
                seen.data[b] = 1;
            } else {
                m_boneVolumes[b].Include(g->vertices[v]);
            }
        }
    }
    return true;
}

bool nObject::SetBone(int32_t index, nItem* item)
{
    if (index < 0 || index >= m_bones.GetCount()) return false;
    m_bones.Set(index, item);
    if (item) item->SetFlag(ItemFlagBone, true);
    return true;
}

nMatrix4 nObject::GetBindMatrix(int32_t index) const
{
    const nGeometry* g = m_geometry.Get();
    if (!g || index < 0 || index >= m_bones.GetCount() || index >= g->boneCount || !g->bindMatrices) return nMatrix4();
    return g->bindMatrices[index];
}

bool nObject::GetBoneVolume(int32_t index, nOBB& out) const
{
    if (index < 0 || index >= m_bones.GetCount()) return false;
    out.FromMinMax(m_boneVolumes[index]);
    out.Transform(m_boneMatrices[index]);
    return true;
}

void nObject::UpdateSkinning()
{
    const int32_t count = m_bones.GetCount();
    if (count <= 0) return;
    const nMatrix4& inverse = GetInverseWorldMatrix();
    for (int32_t i = 0; i < count; ++i) {
        nItem* bone = GetBone(i);
        m_boneMatrices[i] = bone ? inverse * bone->GetWorldMatrix() * GetBindMatrix(i) : nMatrix4();
    }
}

bool nObject::SkinVertices(nVector* out) const
{
    const nGeometry* g = m_geometry.Get();
    if (!out || !g || !g->vertices || g->vertexCount == 0) return false;
    const uint32_t vertexCount = g->vertexCount;
    const nVector* in = g->vertices;
    const nSkinWeight* weights = g->skinWeights;
    const uint32_t count = (uint32_t)m_bones.GetCount();
    if (count == 0 || !weights) {
        for (uint32_t v = 0; v < vertexCount; ++v) out[v] = nVector(in[v].x, in[v].y, in[v].z, 1.0f);
        return true;
    }
    // The weighted sum of each vertex's bone matrices' top three rows, applied once. An
    // influence outside the bone range takes weight 0 on bone 0 instead of a branch, which
    // keeps the loop straight.
    const float* matrices = m_boneMatrices[0].m;
    for (uint32_t v = 0; v < vertexCount; ++v) {
        const nSkinWeight& w = weights[v];
        float m[12];
        {
            const bool valid = w.bone[0] < count;
            const float* s = matrices + 16 * (valid ? w.bone[0] : 0u);
            const float weight = valid ? w.weight[0] : 0.0f;
            for (int j = 0; j < 12; ++j) m[j] = weight * s[j];
        }
        for (int k = 1; k < 4; ++k) {
            const bool valid = w.bone[k] < count;
            const float* s = matrices + 16 * (valid ? w.bone[k] : 0u);
            const float weight = valid ? w.weight[k] : 0.0f;
            for (int j = 0; j < 12; ++j) m[j] += weight * s[j];
        }
        const float x = in[v].x, y = in[v].y, z = in[v].z;
        nVector& o = out[v];
        o.x = m[0] * x + m[1] * y + m[2] * z + m[3];
        o.y = m[4] * x + m[5] * y + m[6] * z + m[7];
        o.z = m[8] * x + m[9] * y + m[10] * z + m[11];
        o.w = 1.0f;
    }
    return true;
}

void nObject::GetWorldMinMax(nMinMax& out) const
{
    const nGeometry* g = m_geometry.Get();
    if (!g) {
        // Callers place the box with the world matrix, so the node's own point is the origin
        // here, not its world position.
        const nVector origin(0.0f, 0.0f, 0.0f, 1.0f);
        out = nMinMax(origin, origin);
        return;
    }
    const int32_t count = m_bones.GetCount();
    if (count <= 0) {
        out = g->bounds;
        return;
    }
    for (int32_t i = 0; i < count; ++i) {
        nOBB box;
        GetBoneVolume(i, box);
        if (i == 0) out = box.GetMinMax();
        else out.Merge(box.GetMinMax());
    }
}

// Drawing.

float nObject::ViewDepth(const nMatrix4& cameraWorld, const nGeometry* geometry, const nMatrix4& objectWorld)
{
    nVector centre = geometry->centre.Transform(objectWorld);
    return (centre - cameraWorld.GetColumn(3, true)).Dot(cameraWorld.GetColumn(2, true));
}

void nObject::Enqueue(nItem* camera, nRenderablePrimitiveList* list, int32_t pass)
{
    nGeometry* g = m_geometry.Get();
    if (!g || !camera || !list) return;
    const nMatrix4& world = GetWorldMatrix();
    const nMatrix4& cameraWorld = camera->GetWorldMatrix();
    if (pass == 0) {
        const float d2 = world.GetColumn(3, true).DistanceSquared(cameraWorld.GetColumn(3, true));
        if (!(d2 < g->lodDistance * g->lodDistance)) {
            if (g->proxyFlags & GeometryLodNull) return;
            if (g->lodProxy.IsValid()) g = g->lodProxy.Get();
        }
    } else if (pass == 1) {
        if (g->proxyFlags & GeometryShadowNull) return;
        if (g->shadowProxy.IsValid()) g = g->shadowProxy.Get();
    }
    if (g->proxyFlags & kGeometryHidden) return;

    nTimer* timer = m_engine ? &m_engine->GetQueueTimer() : 0;
    if (timer) timer->Start(true);
    nMinMax box;
    GetWorldMinMax(box);
    const nCamera* view = dynamic_cast<const nCamera*>(camera);
    const nFrustum* frustum = view ? &const_cast<nCamera*>(view)->GetFrustum() : 0;
    if (!frustum || frustum->TestMinMax(box, &world) != VisibilityOutside) {
        if (nOctreeNode* octree = g->GetOctree()) {
            // The visible leaves instead of the whole mesh; without a frustum every leaf.
            octree->MarkVisibility(frustum, &world);
            nOctreeNode* cursor = 0;
            while (nGeometry* leaf = octree->NextVisibleLeaf(cursor)) QueueGeometry(list, this, leaf, cameraWorld, world);
        } else {
            QueueGeometry(list, this, g, cameraWorld, world);
        }
    }
    if (timer) timer->Stop();
}

// NML.

bool nObject::Deserialize(nMetaFile* document, nMetaTag* tag)
{
    if (!tag) return false;
    if (!nMLCheckRoot(tag, "Object", "object")) return false;
    // The switch decides how the geometry below loads, wherever it stands among the children.
    nMetaTag* cacheTag = FirstChildNamed(tag, "CacheGeometry");
    m_cacheGeometry = true;
    if (cacheTag && !ReadTagBool(cacheTag, m_cacheGeometry)) m_cacheGeometry = false;

    typedef nObject O;
    static const nMLTagRule<O> kTags[] = {
        {"Item", [](O& o, nMetaFile* d, nMetaTag* t) { o.nItem::Deserialize(d, t); }},
        {"Geometry", [](O& o, nMetaFile*, nMetaTag* t) {
             if (const char* name = ReadTagString(t)) o.SetGeometry(LoadGeometry(o.m_engine, name, false, !o.m_cacheGeometry), true);
         }},
        {"Occluder", [](O& o, nMetaFile*, nMetaTag* t) {
             if (const char* name = ReadTagString(t)) o.SetOccluder(LoadGeometry(o.m_engine, name, false, false));
         }},
        {"CacheGeometry", 0},  // read first, above
    };
    nMLReadChildren(*this, document, tag, kTags, "Object");
    return true;
}

nMetaTag* nObject::Serialize(nMetaFile* document)
{
    nMetaTag* root = new (std::nothrow) nMetaTag("Object");
    if (!root) {
        *g_log << "[!] Could not serialize object. Failed to create root tag.\n";
        return 0;
    }
    AppendTag(root, nItem::Serialize(document));
    if (!m_cacheGeometry) AppendTag(root, new (std::nothrow) nMetaTag("CacheGeometry", false));
    if (m_geometry.IsValid())
        AppendTag(root, new (std::nothrow) nMetaTag("Geometry", m_geometry->GetName().GetCStr() ? m_geometry->GetName().GetCStr() : ""));
    if (m_occluder.IsValid())
        AppendTag(root, new (std::nothrow) nMetaTag("Occluder", m_occluder->GetName().GetCStr() ? m_occluder->GetName().GetCStr() : ""));
    return root;
}

// Managed object.

namespace {

// Reachable until the process ends, so that an object deleted by a static destructor still
// finds it.
nItemBlockPool& ObjectPool()
{
    static nItemBlockPool* pool = new nItemBlockPool(sizeof(nMObject));
    return *pool;
}

bool Pooled(std::size_t size, std::align_val_t alignment)
{
    return size == sizeof(nMObject) && (std::size_t)alignment <= nItemBlockPool::kAlignment;
}

}

void* nMObject::operator new(std::size_t size, std::align_val_t alignment)
{
    void* block = operator new(size, alignment, std::nothrow);
    if (!block) throw std::bad_alloc();
    return block;
}

void* nMObject::operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return Pooled(size, alignment) ? ObjectPool().Take() : ::operator new(size, alignment, std::nothrow);
}

void nMObject::operator delete(void* block, std::size_t size, std::align_val_t alignment) noexcept
{
    if (Pooled(size, alignment)) ObjectPool().Give(block);
    else ::operator delete(block, alignment);
}

nMObject::nMObject(nScene* scene)
    : nMItem(scene), m_object(scene ? scene->GetEngine() : 0)
{
    SetNode(&m_object, ManagedItemObject);
}

nMObject::~nMObject()
{
    RaiseOnDelete();
}

bool nMObject::Deserialize(nMetaFile* document, nMetaTag* tag)
{
    return DeserializeManagedTag(this, document, tag, "MObject", "Object",
                                 "Could not parse managed object. Root tag id is incorrect (", ReadObjectTag);
}

nMetaTag* nMObject::Serialize(nMetaFile* document)
{
    return SerializeManagedTag(this, document, "MObject", m_object.Serialize(document),
                               "Could not create managed root tag to serialize.\n");
}

nObject* nMObject::FromItem(nMItem* item)
{
    if (!item || item->GetKind() != ManagedItemObject) return 0;
    nMObject* object = dynamic_cast<nMObject*>(item);
    return object ? &object->m_object : 0;
}

void nMObject::ReleaseBone(nScene* scene, const nItem* node)
{
    if (!scene || !node || g_skinnedObjects == 0) return;
    for (nListNode<nMItem*>* n = scene->GetObjects().GetHead(); n; n = n->next) {
        nObject* object = FromItem(n->value);
        if (!object) continue;
        for (int32_t i = 0; i < object->GetBoneCount(); ++i)
            if (object->GetBone(i) == node) object->SetBone(i, 0);
    }
}
