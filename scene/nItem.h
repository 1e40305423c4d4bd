#ifndef N_ITEM_H
#define N_ITEM_H

#include <cstdint>

#include "core/nList.h"
#include "core/nMatrix.h"
#include "core/nMetaFile.h"
#include "core/nPrefetch.h"

class nOrvex;
class nMItem;
class nMetaTag;
class nMinMax;
class nQuaternion;
class nRenderable;

// Bits of an item's flag word.
enum nItemFlag : uint32_t
{
    ItemFlagHasTarget = 0x01,         // the world rotation faces the target point; the Euler angles are not used
    ItemFlagInvisible = 0x02,         // marked hidden
    ItemFlagLinkOnlyPosition = 0x04,  // follows only the position of its parent chain, not its rotation or scale
    ItemFlagLocalDirty = 0x08,        // the local matrix must be rebuilt
    ItemFlagWorldDirty = 0x10,        // the world matrix must be rebuilt
    ItemFlagInverseDirty = 0x20,      // the inverse world matrix must be rebuilt
    ItemFlagBone = 0x40,              // drives a bone of a skinned object
    ItemFlagDirty = ItemFlagLocalDirty | ItemFlagWorldDirty | ItemFlagInverseDirty
};

// Groups of an item's lines that a walk over many items may ask for ahead (nItem::Prefetch).
enum nItemPrefetch : uint32_t
{
    ItemPrefetchWorld = 0x1,       // world and previous world matrices
    ItemPrefetchComponents = 0x2,  // position, rotation, scale and the engine
    ItemPrefetchRebuild = 0x4,     // what a rebuild of the local matrix reads and writes, components included
    ItemPrefetchChildren = 0x8     // the children's array that marking walks
};

// The transform node of the 3D scene graph: position, Euler rotation, scale and pivot, a
// parent and children (neither owned), a registry of user tags, and the local, world,
// previous world and inverse world matrices, rebuilt lazily under the three dirty bits.
//
// Matrices are row-major and act on column vectors: local = T(position) R S(scale) pivot,
// world = parent world * local. A component setter dirties the item's local and world
// matrices and the world matrices of its descendants, never its siblings; the next
// GetWorldMatrix of any of them rebuilds exactly what is stale, parents first. The inverse
// is rebuilt only on request. Main thread only.
class nItem
{
public:
    explicit nItem(nOrvex* engine);  // at the origin, unrotated, unit scale, rotation order YXZ, dirty (0x38)

    // Virtual operations (derived kinds override them).
    virtual void UpdateWorldMatrix();                 // rebuilds what the dirty bits say; nothing when clean
    virtual void SetParent(nItem* parent);            // keeps the local matrix; repairs a parent loop; refuses itself
    virtual void GetWorldMinMax(nMinMax& out) const;  // here both corners are the world translation as last computed (not updated)
    virtual nRenderable* GetRenderable() { return 0; }  // what the renderer queues for this item; none here
    virtual ~nItem();                                 // children become roots (local unchanged); leaves the parent

    // Access.
    nOrvex* GetEngine() const { return m_engine; }
    const nVector& GetPosition() const { return m_position; }
    const nVector& GetRotation() const { return m_rotation; }  // Euler angles, radians
    const nVector& GetScale() const { return m_scale; }
    const nMatrix4& GetPivot() const { return m_pivot; }
    const nVector& GetTarget() const { return m_target; }
    nRotationOrder GetRotationOrder() const { return (nRotationOrder)m_rotationOrder; }
    float GetOpacity() const { return m_opacity; }
    void SetOpacity(float opacity) { m_opacity = opacity; }
    uint32_t GetFlags() const { return m_flags; }
    void SetFlag(uint32_t bits, bool on);  // raw: a changed HasTarget or LinkOnlyPosition takes effect after MarkDirty; dirty bits are ignored
    nItem* GetParent() const { return m_parent; }
    const nList<nItem*>& GetChildren() const { return m_children; }
    nMItem* GetManagedItem() const { return m_managedItem; }  // NULL for a free node
    void SetManagedItem(nMItem* item) { m_managedItem = item; }
    nMetaFile& GetRegistry() { return m_registry; }  // owned user tags, handled as document roots

    const nMatrix4& GetWorldMatrix();                                           // brought up to date first
    const nMatrix4& GetLocalMatrix();                                           // brought up to date first
    const nMatrix3& GetRotationMatrix();                                        // brought up to date first
    const nMatrix4& GetInverseWorldMatrix();                                    // rebuilt when the inverse bit is set; a zero scale inverts to 0
    const nMatrix4& GetPreviousWorldMatrix() const { return m_previousWorld; }  // as last stored, no update
    void SetPreviousWorldMatrix(const nMatrix4& m) { m_previousWorld = m; }
    bool IsDescendantOf(const nItem* other) const;  // other is this item or one of its ancestors

    // Component setters; each ends with MarkDirty.
    void SetPosition(const nVector& position);
    void SetRotation(const nVector& angles);
    void SetScale(const nVector& scale);
    void SetRotationQuaternion(const nQuaternion& q);  // Euler angles of q in the item's rotation order
    void SetRotationMatrix(const nMatrix3& m);         // Euler angles of m in the item's rotation order
    void SetPivot(const nMatrix4& pivot);
    void SetRotationOrder(int32_t order);  // the angles stay, so the rotation changes with the order
    void SetTarget(const nVector* point);  // a point sets HasTarget; NULL clears it and keeps the point

    // Whole-matrix setters. SetWorldMatrix takes m as the local matrix (isLocal) or as the
    // world matrix, keeps it in use until a component setter runs again, and unless
    // keepComponents decomposes it into position, scale and rotation. SetMatrix also makes
    // the world matrix exactly m.
    void SetWorldMatrix(const nMatrix4& m, bool isLocal, bool keepComponents);
    void SetMatrix(const nMatrix4& m);

    // Marking and rebuilding walk the hierarchy without recursion, so chains of any depth
    // take constant stack.
    void MarkDirty();       // local, world and inverse of this item; world and inverse of every descendant
    void MarkWorldDirty();  // world and inverse of this item and every descendant

    // Asks the cache early for the lines of a group (nItemPrefetch bits), for walks over many
    // items: the flags and children line always.
    void Prefetch(uint32_t what) const;

    // "Item" NML.
    bool Deserialize(nMetaFile* document, nMetaTag* tag);
    nMetaTag* Serialize(nMetaFile* document) const;  // NULL (logged) when out of memory

protected:
    void UpdateLocalMatrix();  // only when the local bit is set

    // The fields every world-matrix update and every marking walk touch come first, in one
    // cache line; then what a rebuild of the local matrix and the scene's frame walks read, in
    // one run of lines; the rest follow.
    static const int32_t kInlineChildren = 4;
    uint32_t m_flags;      // nItemFlag bits
    int32_t m_childCount;  // entries of m_childItems
    nItem* m_parent;
    nItem** m_childItems;                      // the children again, side by side for marking, in no set order:
    nItem* m_inlineChildren[kInlineChildren];  // here while they fit, so that marking reads one line per item
    alignas(64) nMatrix4 m_world;              // world and local each fill one cache line; a child reads
    nMatrix4 m_local;                          // its parent's first two
    nMatrix4 m_previousWorld;                  // written by every evaluation
    nOrvex* m_engine;
    int32_t m_rotationOrder;
    nVector m_position;
    nVector m_rotation;
    nVector m_scale;
    nMatrix4 m_pivot;
    nMatrix3 m_rotationMatrix;
    float m_opacity;
    nMItem* m_managedItem;
    nMatrix4 m_inverseWorld;
    nVector m_target;
    nMetaFile m_registry;         // beside the child list: deleting an item reads both
    nList<nItem*> m_children;     // attach order, the order every other walk and the writers see
    nList<nItem*>::Node* m_link;  // this item's node in the parent's child list; NULL for a root
    int32_t m_childCapacity;      // room in m_childItems (kInlineChildren while it points at m_inlineChildren)
    int32_t m_childSlot;          // this item's index in the parent's m_childItems

private:
    void RebuildWorldMatrix();                    // the work of UpdateWorldMatrix once a bit is set
    void FollowParentPlace();                     // the world matrix of a LinkOnlyPosition item, its parent's up to date
    void FaceTarget();                            // the world rotation turned to the target
    void ReadRotationOrder(const nMetaTag* tag);  // a known name, else the order stays and a warning is logged
    void UpdateStaleAncestors();                  // every stale ancestor, the highest first
    void MarkDescendantsWorldDirty();             // world and inverse of every descendant not yet stale
    bool HasInSubtree(const nItem* other) const;  // other is this item or one of its descendants
    // The item after node in a depth-first walk of this item's subtree (children in the order
    // of m_childItems) when node has no child to go down to: the next sibling of node or of its
    // nearest ancestor below this item that has one; NULL at the end of the subtree.
    nItem* NextBeside(const nItem* node) const;
    bool AttachChild(nItem* child);  // both child collections; false (nothing changed) when out of memory
    void DetachChild(nItem* child);  // both child collections; the last array entry fills the gap
};

inline void nItem::Prefetch(uint32_t what) const
{
    nPrefetch(&m_flags);
    if (what & ItemPrefetchWorld) {
        nPrefetch(&m_world);
        nPrefetch(&m_previousWorld);
    }
    if (what & (ItemPrefetchComponents | ItemPrefetchRebuild)) nPrefetch(&m_engine);
    if (what & ItemPrefetchRebuild) {
        nPrefetch(&m_local);
        nPrefetch(&m_pivot.m[15]);
        nPrefetch(&m_rotationMatrix.m[8]);
    }
    if ((what & ItemPrefetchChildren) && m_childItems != m_inlineChildren) nPrefetch(m_childItems);
}

#endif
