// The scene's lookups by path, uid, name, kind and node, and the utilities over sets of items.

#include <cstring>
#include <new>
#include <string>

#include "core/nBounds.h"
#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "scene/nAnimationSource.h"
#include "scene/nCamera.h"
#include "scene/nGroup.h"
#include "scene/nInstance.h"
#include "scene/nItem.h"
#include "scene/nLight.h"
#include "scene/nObject.h"
#include "scene/nScene.h"
#include "scene/nTrigger.h"

namespace {

typedef nListNode<nMItem*> ItemNode;

nMItem* FindNamed(nList<nMItem*>& list, const char* name)
{
    for (ItemNode* n = list.GetHead(); n; n = n->next)
        if (n->value->GetName() == name) return n->value;
    return 0;
}

}

nMItem* nScene::FindItem(const char* path, nMItem* parent)
{
    if (!path) path = "";
    // The path splits at every "/"; an empty piece names nothing.
    const char* end = std::strchr(path, '/');
    std::string first(path, end ? (size_t)(end - path) : std::strlen(path));

    nMItem* current = 0;
    if (parent) {
        if (nItem* node = parent->GetItem())
            for (const nListNode<nItem*>* n = node->GetChildren().GetHead(); n && !current; n = n->next) {
                nMItem* child = n->value ? n->value->GetManagedItem() : 0;
                if (child && child->GetName() == first.c_str()) current = child;
            }
    } else {
        static const int32_t kSearchOrder[] = {ManagedItemInstance, ManagedItemCamera, ManagedItemLight,
                                               ManagedItemObject, ManagedItemTrigger, ManagedItemEmitter};
        for (int32_t kind : kSearchOrder)
            if ((current = FindNamed(m_kindLists[kind], first.c_str())) != 0) break;
    }
    if (!current) {
        *g_log << "[*] No item named '" << path << "' in scene '" << m_name.GetCStr() << "'.\n";
        return 0;
    }
    while (end) {
        const char* begin = end + 1;
        end = std::strchr(begin, '/');
        std::string part(begin, end ? (size_t)(end - begin) : std::strlen(begin));
        if (current->GetKind() != ManagedItemInstance) {
            *g_log << "[*] Cannot solve sub-path '" << part.c_str() << "' on item '" << current->GetName().GetCStr()
                   << "'.\n";
            return 0;
        }
        // An instance whose template was never loaded has no group to look in.
        nInstance* instance = nInstance::FromItem(current);
        nGroup* group = instance ? instance->GetGroup() : 0;
        if (!group || !(current = group->FindItem(part.c_str()))) return 0;
    }
    return current;
}

nMItem* nScene::FindItemByUid(int32_t uid)
{
    for (ItemNode* n = m_allItems.GetHead(); n; n = n->next)
        if (n->value->GetUid() == uid) return n->value;
    *g_log << "[*] No managed item with UID (" << uid << ").\n";
    return 0;
}

nMItem* nScene::FindCamera(const char* name) { return FindNamed(m_kindLists[ManagedItemCamera], name ? name : ""); }
nMItem* nScene::FindLight(const char* name) { return FindNamed(m_kindLists[ManagedItemLight], name ? name : ""); }
nMItem* nScene::FindObject(const char* name) { return FindNamed(m_kindLists[ManagedItemObject], name ? name : ""); }
nMItem* nScene::FindTrigger(const char* name) { return FindNamed(m_kindLists[ManagedItemTrigger], name ? name : ""); }
nMItem* nScene::FindEmitter(const char* name) { return FindNamed(m_kindLists[ManagedItemEmitter], name ? name : ""); }
nMItem* nScene::FindInstance(const char* name) { return FindNamed(m_kindLists[ManagedItemInstance], name ? name : ""); }

nGroup* nScene::FindGroup(const char* name)
{
    for (nListNode<nGroup*>* n = m_groups.GetHead(); n; n = n->next)
        if (n->value->GetName() == (name ? name : "")) return n->value;
    return 0;
}

int32_t nScene::GetItemKind(nItem* node, nMItem** out)
{
    if (!node) return 0;
    static const int32_t kSearchOrder[] = {ManagedItemObject, ManagedItemLight, ManagedItemCamera, ManagedItemTrigger,
                                           ManagedItemEmitter, ManagedItemTerrain, ManagedItemInstance};
    for (int32_t kind : kSearchOrder)
        for (ItemNode* n = m_kindLists[kind].GetHead(); n; n = n->next)
            if (n->value->GetItem() == node) {
                if (out) *out = n->value;
                return kind;
            }
    *g_log << "[*] Could not locate any instance of the provided item.\n";
    return 0;
}

void nScene::GetObjectBounds(nMinMax& out)
{
    bool first = true;
    for (ItemNode* n = m_allItems.GetHead(); n; n = n->next) {
        nObject* object = nMObject::FromItem(n->value);
        if (!object || !object->GetGeometry().IsValid()) continue;
        nMinMax local;
        object->GetWorldMinMax(local);
        nOBB box(local);
        box.Transform(object->GetWorldMatrix());
        nMinMax world = box.GetMinMax();
        if (first) {
            out = world;
            first = false;
        } else {
            out.Include(world.min);
            out.Include(world.max);
        }
    }
}

void nScene::RecordLocation()
{
    for (ItemNode* n = m_allItems.GetHead(); n; n = n->next) n->value->RecordLocation();
}

nMItem* nScene::RaytraceTriggers(const nVector& origin, const nVector& vector, float length, nVector* hit)
{
    const nMinMax volume(nVector(-0.5f, -0.5f, -0.5f, 1.0f), nVector(0.5f, 0.5f, 0.5f, 1.0f));
    for (ItemNode* n = m_kindLists[ManagedItemTrigger].GetHead(); n; n = n->next) {
        nItem* node = n->value->GetItem();
        if (!node) continue;
        const nMatrix4& inverse = node->GetInverseWorldMatrix();
        nVector start(origin.x, origin.y, origin.z, 1.0f);
        start = start.Transform(inverse);
        nVector direction = vector.Rotate(nMatrix3::FromMatrix4(inverse));
        nVector local;
        bool met;
        if (length == -1.0f) {
            met = volume.IntersectRay(start, direction, local, 0);
        } else {
            nVector stop(start.x + direction.x * length, start.y + direction.y * length, start.z + direction.z * length, 1.0f);
            met = volume.IntersectSegment(start, stop, local, 0);
        }
        if (!met) continue;
        if (hit) {
            local.w = 1.0f;
            *hit = local.Transform(node->GetWorldMatrix());
            hit->w = 1.0f;
        }
        return n->value;
    }
    return 0;
}

namespace {

// Creates the copy with make, then reads the source's managed tag into it.
template<class T, class Make>
nMItem* CopyThroughTag(nMItem* item, Make make)
{
    T* source = dynamic_cast<T*>(item);
    T* made = source ? static_cast<T*>(make()) : 0;
    if (!made) return 0;
    // The tag carries the source's uid; the copy keeps the one it was made with, so uids
    // stay unique within the scene.
    const int32_t uid = made->GetUid();
    nMetaFile document;
    if (nMetaTag* tag = source->Serialize(&document)) {
        made->Deserialize(&document, tag);
        delete tag;
    }
    made->SetUid(uid);
    return made;
}

}

nMItem* nScene::DuplicateItem(nMItem* item)
{
    if (!item) return 0;
    nMItem* copy = 0;
    switch (item->GetKind()) {
        case ManagedItemCamera:
            copy = CopyThroughTag<nMCamera>(item, [this] { return CreateCamera("_"); });
            break;
        case ManagedItemObject:
            copy = CopyThroughTag<nMObject>(item, [this] { return CreateObject("_", 0); });
            if (nObject* object = nMObject::FromItem(copy))
                if (!object->GetCacheGeometry() && object->GetGeometry().IsValid()) object->GetGeometry()->Setup();
            break;
        case ManagedItemLight:
            copy = CopyThroughTag<nMLight>(item, [this] { return CreateLight("_", LightTypePoint, 0.5f); });
            break;
        case ManagedItemTrigger:
            copy = CopyThroughTag<nTrigger>(item, [this] { return CreateTrigger("_"); });
            break;
        case ManagedItemInstance:
            copy = CopyThroughTag<nInstance>(item, [this] { return CreateInstance("_", 0); });
            if (nInstance* instance = nInstance::FromItem(copy)) {
                // The copy sits where the source does among the templates around it.
                instance->SetAncestry(static_cast<nInstance*>(item)->GetAncestry());
                instance->SetupTemplate();
                if (nGroup* group = instance->GetGroup()) {
                    group->Setup();
                    group->SetupScript();
                }
                instance->Setup();
                instance->SetupScript();
            }
            break;
    }
    if (copy && copy->GetItem() && item->GetItem()) copy->SetParentNotified(item->GetItem()->GetParent());
    return copy;
}

void nScene::SetMotion(const char* motion, nAnimationSourceList** out, float fadeTime, bool keepOthers, float weight)
{
    nAnimationSourceList* list = 0;
    if (out) {
        list = new (std::nothrow) nAnimationSourceList();
        *out = list;
    }
    for (ItemNode* n = m_activeItems.GetHead(); n; n = n->next)
        if (nMotion* m = n->value->FindMotion(motion)) n->value->PlayMotion(m, list, fadeTime, keepOthers, weight);
}
