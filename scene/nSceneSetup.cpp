// The scene's set-up and reset sequences, the geometry clean-up of set-up, and its groups.

#include <cstdint>
#include <new>
#include <vector>

#include "core/nLog.h"
#include "core/nPrefetch.h"
#include "hub/nOrvex.h"
#include "resources/nGeometry.h"
#include "scene/nGroup.h"
#include "scene/nInstance.h"
#include "scene/nObject.h"
#include "scene/nScene.h"
#include "scriptiface/nScriptEventDispatcher.h"
#include "scriptiface/nScriptVM.h"

namespace {

typedef nListNode<nMItem*> ItemNode;

const uint32_t kOctreePolygonThreshold = 8192;  // geometries above it are worth an octree

// How far ahead of a walk the cache is asked for an item, then for the lines of its node.
const int32_t kItemAhead = 8;
const int32_t kNodeAhead = 4;

// Calls f on every item of the list, items appended by handlers included. Nothing leaves
// the list meanwhile: deletions wait while the scene sets up or resets. The walk asks the
// cache for each item a few items before f reaches it and, when nodeLines names any
// (nItemPrefetch bits), for those lines of its node a little later: a scene's items lie far
// apart, and each would otherwise be waited for.
template<class F>
void WalkLive(const nList<nMItem*>& list, uint32_t nodeLines, F f)
{
    ItemNode* itemAhead = list.GetHead();
    ItemNode* nodeAhead = itemAhead;
    for (int32_t i = 0; i < kItemAhead && itemAhead; ++i, itemAhead = itemAhead->next) {
        nPrefetch(itemAhead->value);
        if (i == kItemAhead - kNodeAhead) nodeAhead = itemAhead;
    }
    if (nodeAhead == list.GetHead()) nodeAhead = 0;
    for (ItemNode* n = list.GetHead(); n; n = n->next) {
        if (itemAhead) {
            nPrefetch(itemAhead->value);
            itemAhead = itemAhead->next;
        }
        if (nodeAhead) {
            if (nodeLines)
                if (nItem* node = nodeAhead->value->GetItem()) node->Prefetch(nodeLines);
            nodeAhead = nodeAhead->next;
        }
        f(n->value);
    }
}

}

void nScene::Setup(bool optimize, int32_t minimumLeafPolygons)
{
    if (m_evaluating || m_flushing || m_clearing) {
        *g_log << "[!] Cannot set up scene '" << m_name.GetCStr() << "' while it evaluates or deletes items.\n";
        return;
    }
    *g_log << "[H] "
           << "Setup scene '" << m_name.GetCStr() << "'\n";
    const bool editing = m_engine && m_engine->GetToolMode() == ToolEdit;
    // Deletions asked for by the set-up handlers wait for the next evaluation, so that the
    // walks below never reach a freed item.
    m_evaluating = true;
    if (!editing && m_events) m_events->OnPreSetup(this);
    // Every instance loads its template; instances a template brings join the list and are
    // reached by the same walk (the nesting rules of nInstance end it).
    WalkLive(GetInstances(), 0, [](nMItem* item) {
        if (nInstance* instance = nInstance::FromItem(item)) instance->SetupTemplate();
    });
    if (optimize) OptimizeGeometries(minimumLeafPolygons);
    if (!editing) {
        WalkLive(m_allItems, 0, [](nMItem* item) { item->SetupScript(); });
        if (m_events) m_events->OnSetup(this);
    }
    WalkLive(m_allItems, 0, [](nMItem* item) { item->Setup(); });
    if (!editing && m_events) m_events->OnSetupDone(this);
    SortLightsByPriority();
    m_evaluating = false;
}

void nScene::Reset()
{
    if (m_evaluating || m_flushing || m_clearing) {
        *g_log << "[!] Cannot reset scene '" << m_name.GetCStr() << "' while it evaluates or deletes items.\n";
        return;
    }
    *g_log << "[H] "
           << "Scene reset\n";
    const bool editing = m_engine && m_engine->GetToolMode() == ToolEdit;
    m_evaluating = true;
    WalkLive(m_allItems, 0, [](nMItem* item) { item->RestoreInitialMatrix(); });
    WalkLive(m_allItems, ItemPrefetchRebuild, [](nMItem* item) { item->Reset(); });
    if (!editing) WalkLive(m_allItems, 0, [](nMItem* item) { item->RaiseOnReset(); });
    if (m_events) m_events->OnReset(this);
    for (int32_t i = 0; i < SceneTimerCount; ++i) m_timers[i].Reset();
    if (m_engine) {
        m_engine->ResetClock();
        m_engine->TickClock();
    }
    m_flags &= ~(uint32_t)SceneFlagQuit;
    m_evaluating = false;
}

namespace {

int32_t CountUsers(nScene* scene, const nGeometry* geometry, int32_t stopAt)
{
    int32_t users = 0;
    for (ItemNode* n = scene->GetObjects().GetHead(); n && users < stopAt; n = n->next) {
        nObject* object = nMObject::FromItem(n->value);
        if (object && object->GetGeometry().Get() == geometry) ++users;
    }
    return users;
}

// One geometry and its proxies, depth first: a large static geometry of exactly one object
// is cut into an octree; a proxy that is its own geometry is dropped.
void Optimize(nScene* scene, nGeometry* geometry, int32_t minimumLeafPolygons, int32_t depth)
{
    if (!geometry || depth > 16) return;
    if (!geometry->GetOctree() && !geometry->skinWeights && geometry->polygonCount > kOctreePolygonThreshold) {
        const int32_t users = CountUsers(scene, geometry, 2);
        if (users >= 2) {
            *g_log << "[*] Geometry '" << geometry->GetName().GetCStr()
                   << "' should be optimized but will not be as it is used by more than one item.\n";
        } else if (users == 1) {
            *g_log << "   Generating octree for geometry '" << geometry->GetName().GetCStr() << "'.\n";
            geometry->BuildOctree(minimumLeafPolygons);
        }
    }
    if (geometry->shadowProxy.Get() == geometry) geometry->shadowProxy = nSharedPtr<nGeometry>();
    if (geometry->lodProxy.Get() == geometry) geometry->lodProxy = nSharedPtr<nGeometry>();
    Optimize(scene, geometry->shadowProxy.Get(), minimumLeafPolygons, depth + 1);
    Optimize(scene, geometry->lodProxy.Get(), minimumLeafPolygons, depth + 1);
}

}

void nScene::OptimizeGeometries(int32_t minimumLeafPolygons)
{
    // Each geometry once, in the order of its first object: thousands of objects often share a
    // few hundred geometries, told apart here by an open-addressed set of their addresses. The
    // objects keep them alive meanwhile: nothing is deleted while the scene sets up.
    std::vector<nGeometry*> order;
    std::vector<const nGeometry*> seen(64, nullptr);
    size_t mask = seen.size() - 1;
    WalkLive(m_allItems, 0, [&](nMItem* item) {
        nObject* object = nMObject::FromItem(item);
        nGeometry* geometry = object ? object->GetGeometry().Get() : 0;
        if (!geometry) return;
        size_t i = (reinterpret_cast<uintptr_t>(geometry) >> 4) & mask;
        while (seen[i] && seen[i] != geometry) i = (i + 1) & mask;
        if (seen[i]) return;
        seen[i] = geometry;
        order.push_back(geometry);
        if (2 * order.size() > seen.size()) {
            std::vector<const nGeometry*> grown(seen.size() * 2, nullptr);
            const size_t grownMask = grown.size() - 1;
            for (const nGeometry* g : order) {
                size_t j = (reinterpret_cast<uintptr_t>(g) >> 4) & grownMask;
                while (grown[j]) j = (j + 1) & grownMask;
                grown[j] = g;
            }
            seen.swap(grown);
            mask = grownMask;
        }
    });
    for (nGeometry* geometry : order) Optimize(this, geometry, minimumLeafPolygons, 0);
}

// Groups.

nGroup* nScene::CreateGroup(const char* name)
{
    NotifyListeners(SceneEventGroupCreating, 0);
    nGroup* group = new (std::nothrow) nGroup(m_engine);
    if (!group || !m_groups.InsertAfter(group, 0)) {
        delete group;
        *g_log << "[!] Could not allocate new group.\n";
        return 0;
    }
    group->SetName(name);
    NotifyListeners(SceneEventGroupCreated, &group);
    return group;
}

void nScene::RemoveGroup(nGroup* group)
{
    if (!group || !m_groups.Contains(group)) return;
    NotifyListeners(SceneEventGroupRemoving, &group);
    m_groups.Remove(group);
    // Kept alive for whoever still holds it, and purged of deleted items like a listed one.
    if (!m_retiredGroups.InsertAfter(group, 0)) delete group;
    NotifyListeners(SceneEventGroupRemoved, &group);
}

void nScene::DeleteGroup(nGroup* group)
{
    if (!group) return;
    for (ItemNode* n = group->GetItems().GetHead(); n; n = n->next) QueueDeletion(n->value);
    RemoveGroup(group);
}

void nScene::RemoveItemFromGroups(nMItem* item)
{
    for (nListNode<nGroup*>* n = m_groups.GetHead(); n; n = n->next) n->value->ForgetItem(item);
    for (nListNode<nGroup*>* n = m_retiredGroups.GetHead(); n; n = n->next) n->value->ForgetItem(item);
}

void nScene::DestroyGroups()
{
    // Script objects of a group read as deleted natives once it is gone.
    while (nListNode<nGroup*>* n = m_groups.GetHead()) {
        nGroup* group = n->value;
        delete m_groups.Unlink(n);
        if (m_vm) m_vm->InvalidateNativeObject(group);
        delete group;
    }
    while (nListNode<nGroup*>* n = m_retiredGroups.GetHead()) {
        nGroup* group = n->value;
        delete m_retiredGroups.Unlink(n);
        if (m_vm) m_vm->InvalidateNativeObject(group);
        delete group;
    }
}
