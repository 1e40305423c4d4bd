#include "scene/nItem.h"

#include <cmath>
#include <cstring>
#include <new>

#include "core/nBounds.h"
#include "core/nLog.h"
#include "core/nMetaTag.h"
#include "core/nQuaternion.h"
#include "scene/nItemTags.h"

namespace {

const char* const kRotationOrderNames[] = {"ZYX", "YZX", "ZXY", "XZY", "YXZ", "XYZ", "XY"};
const int32_t kRotationOrderCount = 7;
const float kWriteEpsilon = 1e-6f;

struct FlagName
{
    const char* name;
    uint32_t bit;
};
const FlagName kFlagNames[] = {
    {"HasTarget", ItemFlagHasTarget},
    {"Invisible", ItemFlagInvisible},
    {"LinkOnlyPosition", ItemFlagLinkOnlyPosition},
};

bool Differs(float a, float b)
{
    return !(std::fabs(a - b) < kWriteEpsilon);
}

}

nItem::nItem(nOrvex* engine)
    : m_flags(0),
      m_childCount(0),
      m_parent(0),
      m_childItems(m_inlineChildren),
      m_engine(engine),
      m_rotationOrder(RotationOrderYXZ),
      m_position(0, 0, 0, 1),
      m_rotation(0, 0, 0, 1),
      m_scale(1, 1, 1, 1),
      m_opacity(1.0f),
      m_managedItem(0),
      m_target(0, 0, 1, 1),
      m_link(0),
      m_childCapacity(kInlineChildren),
      m_childSlot(0)
{
    MarkDirty();
}

nItem::~nItem()
{
    nList<nItem*>::Node* next;
    for (nList<nItem*>::Node* n = m_children.GetHead(); n; n = next) {
        next = n->next;
        n->value->SetParent(0);
    }
    m_children.Clear();
    m_childCount = 0;
    if (m_childItems != m_inlineChildren) delete[] m_childItems;
    m_childItems = m_inlineChildren;
    if (m_parent) m_parent->DetachChild(this);
    m_parent = 0;
    MarkDirty();
}

void nItem::SetFlag(uint32_t bits, bool on)
{
    bits &= ~(uint32_t)ItemFlagDirty;  // the dirty bits follow the matrices only
    if (on) m_flags |= bits;
    else m_flags &= ~bits;
}

// Access.

const nMatrix4& nItem::GetWorldMatrix()
{
    UpdateWorldMatrix();
    return m_world;
}

const nMatrix4& nItem::GetLocalMatrix()
{
    UpdateWorldMatrix();
    return m_local;
}

const nMatrix3& nItem::GetRotationMatrix()
{
    UpdateWorldMatrix();
    return m_rotationMatrix;
}

const nMatrix4& nItem::GetInverseWorldMatrix()
{
    if (m_flags & ItemFlagInverseDirty) {
        UpdateWorldMatrix();
        m_inverseWorld = m_world.InverseTRS();
        m_flags &= ~ItemFlagInverseDirty;
    }
    return m_inverseWorld;
}

bool nItem::IsDescendantOf(const nItem* other) const
{
    for (const nItem* a = this; a; a = a->m_parent)
        if (a == other) return true;
    return false;
}

void nItem::GetWorldMinMax(nMinMax& out) const
{
    nVector origin = m_world.GetColumn(3, true);
    out.min = origin;
    out.max = origin;
}

// Setters.

void nItem::SetPosition(const nVector& position)
{
    m_position = position;
    MarkDirty();
}

void nItem::SetRotation(const nVector& angles)
{
    m_rotation = angles;
    MarkDirty();
}

void nItem::SetScale(const nVector& scale)
{
    m_scale = scale;
    MarkDirty();
}

void nItem::SetRotationQuaternion(const nQuaternion& q)
{
    m_rotation = q.ToMatrix3().ToEuler(GetRotationOrder());
    MarkDirty();
}

void nItem::SetRotationMatrix(const nMatrix3& m)
{
    m_rotation = m.ToEuler(GetRotationOrder());
    MarkDirty();
}

void nItem::SetPivot(const nMatrix4& pivot)
{
    m_pivot = pivot;
    MarkDirty();
}

void nItem::SetRotationOrder(int32_t order)
{
    m_rotationOrder = order;
    MarkDirty();
}

void nItem::SetTarget(const nVector* point)
{
    if (point) {
        m_flags |= ItemFlagHasTarget;
        m_target = *point;
    } else {
        m_flags &= ~ItemFlagHasTarget;
    }
    MarkDirty();
}

// A node is only ever cleaned after its ancestors (a rebuild brings the parent up to date
// first, SetMatrix asks for the parent's inverse), so a node whose world matrix is stale has a
// stale subtree: marking stops there. Moving every item of a deep chain then marks the chain
// once, not once per item.

void nItem::MarkDirty()
{
    const bool wasClean = !(m_flags & ItemFlagWorldDirty);
    m_flags |= ItemFlagDirty;
    if (wasClean) MarkDescendantsWorldDirty();
}

void nItem::MarkWorldDirty()
{
    if (m_flags & ItemFlagWorldDirty) return;
    m_flags |= ItemFlagWorldDirty | ItemFlagInverseDirty;
    MarkDescendantsWorldDirty();
}

// Depth first through the children's arrays, without recursion: down to the first child, else
// on to the next entry of the array the node is in or of its nearest ancestor's. The walk
// keeps the rest of the array to go on with at each level it is in (a chain keeps none), as a
// recursion would, so that going on takes no search; past kMarkLevels such levels it finds
// each one from the node it left (NextBeside), in the same constant stack. Every child of a
// node is asked for before the walk goes down into the first: the loads of a large subtree
// then overlap instead of waiting one on another.
void nItem::MarkDescendantsWorldDirty()
{
    struct Rest
    {
        nItem** at;
        nItem** end;
    };
    const int32_t kMarkLevels = 64;
    Rest pending[kMarkLevels];
    int32_t levels = 0;
    bool overflowed = false;
    nItem** at = m_childItems;
    nItem** end = m_childItems + m_childCount;
    for (nItem** c = at; c != end; ++c) nPrefetch(*c);
    while (at != end) {
        nItem* node = *at++;
        if (!(node->m_flags & ItemFlagWorldDirty)) {
            node->m_flags |= ItemFlagWorldDirty | ItemFlagInverseDirty;
            if (node->m_childCount > 0) {
                if (at != end) {
                    if (levels < kMarkLevels) pending[levels++] = {at, end};
                    else overflowed = true;
                }
                at = node->m_childItems;
                end = at + node->m_childCount;
                for (nItem** c = at; c != end; ++c) nPrefetch(*c);
                continue;
            }
        }
        if (at != end) continue;
        if (overflowed) {
            if (nItem* beside = NextBeside(node)) {
                at = beside->m_parent->m_childItems + beside->m_childSlot;
                end = beside->m_parent->m_childItems + beside->m_parent->m_childCount;
            }
        } else if (levels > 0) {
            --levels;
            at = pending[levels].at;
            end = pending[levels].end;
        }
    }
}

nItem* nItem::NextBeside(const nItem* node) const
{
    for (const nItem* n = node; n != this; n = n->m_parent)
        if (n->m_childSlot + 1 < n->m_parent->m_childCount) return n->m_parent->m_childItems[n->m_childSlot + 1];
    return 0;
}

// Walked from both ends at once, up from other and down through the subtree, so that the answer
// costs the shorter of the two walks: a chain linked in any order is linked in linear time.
bool nItem::HasInSubtree(const nItem* other) const
{
    const nItem* up = other;
    const nItem* down = this;
    while (up && down) {
        if (up == this || down == other) return true;
        up = up->m_parent;
        down = down->m_childCount > 0 ? down->m_childItems[0] : NextBeside(down);
    }
    return false;
}

// Matrices.

void nItem::UpdateLocalMatrix()
{
    if (!(m_flags & ItemFlagLocalDirty)) return;
    if (!(m_flags & ItemFlagHasTarget))
        m_rotationMatrix = nMatrix3::FromEuler(m_rotation.x, m_rotation.y, m_rotation.z, GetRotationOrder());

    // T(position) * R * S(scale), written out, then the pivot acts first on a point.
    const float* r = m_rotationMatrix.m;
    const float s[3] = {m_scale.x, m_scale.y, m_scale.z};
    const float p[3] = {m_position.x, m_position.y, m_position.z};
    nMatrix4 trs;
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) trs.m[4 * row + col] = r[3 * row + col] * s[col];
        trs.m[4 * row + 3] = p[row];
    }
    m_local = trs.Multiply(m_pivot);
    m_flags &= ~ItemFlagLocalDirty;
}

void nItem::UpdateWorldMatrix()
{
    // A clean item costs one flag test; the rebuild lives apart so this path stays short.
    if (m_flags & (ItemFlagLocalDirty | ItemFlagWorldDirty)) RebuildWorldMatrix();
}

void nItem::RebuildWorldMatrix()
{
    const uint32_t entry = m_flags;
    if (entry & ItemFlagLocalDirty) UpdateLocalMatrix();

    if (entry & ItemFlagWorldDirty) {
        if (!m_parent) {
            m_world = m_local;
        } else {
            if (m_parent->m_flags & (ItemFlagLocalDirty | ItemFlagWorldDirty)) UpdateStaleAncestors();
            else m_parent->UpdateWorldMatrix();
            if (m_flags & ItemFlagLinkOnlyPosition) FollowParentPlace();
            else m_world = m_parent->m_world.Multiply(m_local);
        }
    }

    if (m_flags & ItemFlagHasTarget) FaceTarget();
    m_flags &= ~ItemFlagWorldDirty;
}

void nItem::FollowParentPlace()
{
    // Own rotation, no scale or pivot; only the placement of the origin follows the parent.
    nVector origin = m_parent->m_world.Multiply(m_local).GetColumn(3, true);
    m_world = nMatrix4::FromMatrix3(m_rotationMatrix);
    m_world.SetColumn(3, origin, true);
}

void nItem::FaceTarget()
{
    nMatrix3 current;
    m_world.Decompose(0, 0, &current);
    m_rotationMatrix = current;
    nVector direction = m_target - m_world.GetColumn(3, true);
    nMatrix3 look = nMatrix3::LookAt(direction, 0);
    m_world = m_world.Multiply(nMatrix4::FromMatrix3(current.Transpose() * look));
    m_rotationMatrix = look;
}

// Each stale ancestor is brought up to date by its own UpdateWorldMatrix once its parent is
// current, the highest first, so that no rebuild waits inside another: a chain of any depth
// takes one walk up and one down. The path is kept on the stack while short, on the heap beyond.
void nItem::UpdateStaleAncestors()
{
    const uint32_t stale = ItemFlagLocalDirty | ItemFlagWorldDirty;
    const int32_t kInlinePath = 64;
    nItem* inlinePath[kInlinePath];
    nItem** path = inlinePath;
    int32_t capacity = kInlinePath;
    int32_t count = 0;
    bool complete = true;
    for (nItem* a = m_parent; a && (a->m_flags & stale); a = a->m_parent) {
        if (count == capacity) {
            nItem** grown = new (std::nothrow) nItem*[(size_t)capacity * 2];
            if (!grown) {
                complete = false;
                break;
            }
            std::memcpy(grown, path, sizeof(nItem*) * (size_t)count);
            if (path != inlinePath) delete[] path;
            path = grown;
            capacity *= 2;
        }
        path[count++] = a;
    }
    if (complete) {
        while (count > 0) path[--count]->UpdateWorldMatrix();
    } else {
        // Out of memory for the path: the highest stale ancestor, again and again (slower, in
        // the same constant stack).
        for (;;) {
            nItem* highest = 0;
            for (nItem* a = m_parent; a && (a->m_flags & stale); a = a->m_parent) highest = a;
            if (!highest) break;
            highest->UpdateWorldMatrix();
        }
    }
    if (path != inlinePath) delete[] path;
}

void nItem::SetWorldMatrix(const nMatrix4& m, bool isLocal, bool keepComponents)
{
    nMatrix4 local = m;
    if (m_parent && !isLocal) local = m_parent->GetInverseWorldMatrix().Multiply(m);
    m_local = local;
    m_flags &= ~ItemFlagLocalDirty;

    if (!keepComponents) {
        nMatrix3 rotation;
        local.Multiply(m_pivot.InverseTRS()).Decompose(&m_position, &m_scale, &rotation);
        m_rotationMatrix = rotation;
        m_rotation = rotation.ToEuler(GetRotationOrder());
    }
    MarkWorldDirty();
}

void nItem::SetMatrix(const nMatrix4& m)
{
    SetWorldMatrix(m, false, false);
    m_world = m;
    m_inverseWorld = m.InverseTRS();
    m_flags &= ~(ItemFlagWorldDirty | ItemFlagInverseDirty);
    MarkDescendantsWorldDirty();
}

// Hierarchy.

void nItem::SetParent(nItem* parent)
{
    if (parent == this) {
        *g_log << "[!] Cannot parent item to itself.\n";
        return;
    }
    if (parent && parent == m_parent) return;

    // Parenting to one of our own descendants: the child of ours on the way up from the new
    // parent is lifted out of our subtree first, so no loop forms.
    if (parent && HasInSubtree(parent)) {
        nItem* a = parent;
        while (a->m_parent != this) a = a->m_parent;
        a->SetParent(m_parent);
        *g_log << "[*] Deadlock detected, link chain has been corrected.\n";
    }

    if (m_parent) m_parent->DetachChild(this);
    // Out of memory for the child's place, the item stays a root.
    m_parent = parent && parent->AttachChild(this) ? parent : 0;
    MarkDirty();
}

bool nItem::AttachChild(nItem* child)
{
    if (m_childCount == m_childCapacity) {
        const int32_t capacity = m_childCapacity * 2;
        nItem** grown = new (std::nothrow) nItem*[(size_t)capacity];
        if (!grown) return false;
        std::memcpy(grown, m_childItems, sizeof(nItem*) * (size_t)m_childCount);
        if (m_childItems != m_inlineChildren) delete[] m_childItems;
        m_childItems = grown;
        m_childCapacity = capacity;
    }
    nList<nItem*>::Node* link = m_children.InsertAfter(child, 0);
    if (!link) return false;
    child->m_link = link;
    child->m_childSlot = m_childCount;
    m_childItems[m_childCount++] = child;
    return true;
}

void nItem::DetachChild(nItem* child)
{
    delete m_children.Unlink(child->m_link);
    child->m_link = 0;
    nItem* last = m_childItems[--m_childCount];
    m_childItems[child->m_childSlot] = last;
    last->m_childSlot = child->m_childSlot;
    child->m_childSlot = 0;
}

// NML.

bool nItem::Deserialize(nMetaFile* document, nMetaTag* tag)
{
    if (!nMLCheckRoot(tag, "Item", "item")) return false;
    m_flags = 0;
    m_position = nVector(0, 0, 0, 1);
    m_rotation = nVector(0, 0, 0, 1);
    m_scale = nVector(1, 1, 1, 1);
    m_opacity = 1.0f;
    m_pivot = nMatrix4();
    m_rotationOrder = RotationOrderYXZ;
    m_registry.Clear();

    typedef nItem I;
    static const nMLTagRule<I> kTags[] = {
        {"OffsetPosition", [](I& i, nMetaFile*, nMetaTag* t) {
             nVector offset;
             if (offset.FromMetaTag(t)) i.m_pivot.SetColumn(3, offset, true);
         }},
        {"OffsetMatrix", [](I& i, nMetaFile*, nMetaTag* t) { i.m_pivot.FromMetaTag(t); }},
        {"Position", nMLField<&I::m_position>},
        {"Rotation", nMLField<&I::m_rotation>},
        {"Scale", nMLField<&I::m_scale>},
        {"Target", nMLField<&I::m_target>},
        {"ItemFlag", [](I& i, nMetaFile*, nMetaTag* t) {
             nMetaTagIterator flags;
             while (nMetaTag* flag = t->NextChild(flags))
                 for (const FlagName& f : kFlagNames)
                     if (IsTagNamed(flag, f.name)) i.m_flags |= f.bit;
         }},
        {"RotationOrder", [](I& i, nMetaFile*, nMetaTag* t) { i.ReadRotationOrder(t); }},
        {"Registry", [](I& i, nMetaFile*, nMetaTag* t) {
             nMetaTagIterator entries;
             while (nMetaTag* entry = t->NextChild(entries)) i.m_registry.AddRoot(entry->Clone(true));
         }},
        {"TargetOffsetRotation", 0},  // accepted and ignored
        {"OrientationQuaternion", 0},
        {"OrientationMatrix", 0},
    };
    nMLReadChildren(*this, document, tag, kTags, "Item");
    MarkDirty();
    return true;
}

void nItem::ReadRotationOrder(const nMetaTag* tag)
{
    const char* text = 0;
    tag->GetValue().GetString(&text);
    for (int32_t order = 0; order < kRotationOrderCount; ++order) {
        if (text && std::strcmp(text, kRotationOrderNames[order]) == 0) {
            m_rotationOrder = order;
            return;
        }
    }
    *g_log << "[*] Unknown rotation order '" << text << "'.\n";
}

nMetaTag* nItem::Serialize(nMetaFile* document) const
{
    nMetaTag* root = new (std::nothrow) nMetaTag("Item");
    if (!root) {
        *g_log << "[!] Could not serialize item. Failed to create root tag.\n";
        return 0;
    }

    static const nMatrix4 identity;
    bool pivotUsed = false;
    for (int i = 0; i < 16; ++i) pivotUsed = pivotUsed || Differs(m_pivot.m[i], identity.m[i]);
    if (pivotUsed) root->AddChild(m_pivot.ToMetaTag("OffsetMatrix"));
    if (Differs(m_position.x, 0) || Differs(m_position.y, 0) || Differs(m_position.z, 0))
        root->AddChild(m_position.ToMetaTag("Position", false));
    if (Differs(m_rotation.x, 0) || Differs(m_rotation.y, 0) || Differs(m_rotation.z, 0))
        root->AddChild(m_rotation.ToMetaTag("Rotation", false));
    if (Differs(m_scale.x, 1) || Differs(m_scale.y, 1) || Differs(m_scale.z, 1))
        root->AddChild(m_scale.ToMetaTag("Scale", false));
    if (m_flags != 0) {
        nMetaTag* flags = root->AddChild(new (std::nothrow) nMetaTag("ItemFlag"));
        if (flags)
            for (const FlagName& f : kFlagNames)
                if (m_flags & f.bit) flags->AddChild(new (std::nothrow) nMetaTag(f.name));
    }
    root->AddChild(m_target.ToMetaTag("Target", false));
    if (m_rotationOrder >= 0 && m_rotationOrder < kRotationOrderCount)
        root->AddChild(new (std::nothrow) nMetaTag("RotationOrder", kRotationOrderNames[m_rotationOrder]));
    nMetaTag* registry = root->AddChild(new (std::nothrow) nMetaTag("Registry"));
    if (registry) {
        const nLinkedListId& roots = m_registry.GetRoots();
        for (nLinkedListEntry* e = roots.GetHead(); e; e = e->GetNext())
            registry->AddChild(static_cast<nMetaTag*>(e)->Clone(true));
    }
    return root;
}
