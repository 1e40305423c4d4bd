#include "scene/nScene.h"

#include "resources/nRasterFont.h"

#include <algorithm>
#include <new>
#include <vector>

#include "core/nLog.h"
#include "core/nPrefetch.h"
#include "core/nScriptValue.h"
#include "hub/nOrvex.h"
#include "physics/nPhysicItem.h"
#include "render/nRenderer.h"
#include "scene/nAIPath.h"
#include "scene/nGroup.h"
#include "scene/nItem.h"
#include "scene/nItemPool.h"
#include "scene/nMotion.h"
#include "scene/nObject.h"
#include "scene/nTrigger.h"
#include "scriptiface/nScriptEventDispatcher.h"
#include "scriptiface/nScriptUnit.h"
#include "scriptiface/nScriptVM.h"

namespace {

typedef nListNode<nMItem*> ItemNode;

const char* const kTimerLabels[SceneTimerCount] = {
    "Evaluate",
    "Physic",
    "Send to render",
    "User interface",
    "Script",
    "Logic callback",
    "Collision callback",
};

const int32_t kPrefetchItemLines = 8;   // cache lines of an item the deletion flush asks for ahead
const int32_t kPrefetchNodeLines = 10;  // cache lines of its transform node
const int32_t kDeletionLevels = 7;      // levels of what an item owns (PrefetchOwned)
const int32_t kDeletionStep = 3;        // queue places between two levels

// One level of what deleting the item reads and frees, each level read through the ones
// before: 0 the item, 1 its node and the heads of its motions, sources and command records,
// 2 the first motion and source reference, 3 the motion's first channel node and the source,
// 4 that channel, 5 and 6 its keys.
void PrefetchOwned(nMItem* item, int32_t level)
{
    const char* bytes = reinterpret_cast<const char*>(item);
    if (level <= 0) {
        for (int32_t line = 0; line < kPrefetchItemLines; ++line) nPrefetch(bytes + 64 * line);
        return;
    }
    const nList<nMotion*>::Node* motion = item->GetMotions().GetHead();
    const nAnimationSourceList::List::Node* source = item->GetSourceList().GetHead();
    if (level == 1) {
        if (const char* node = reinterpret_cast<const char*>(item->GetItem()))
            for (int32_t line = 0; line < kPrefetchNodeLines; ++line) nPrefetch(node + 64 * line);
        if (motion) nPrefetch(motion);
        if (source) nPrefetch(source);
        if (const nACEUnit::Record* record = item->GetCommandList().GetHead()) nPrefetch(record);
        return;
    }
    if (level == 2) {
        if (motion && motion->value) nPrefetch(motion->value);
        if (source && source->value) nPrefetch(source->value);
        return;
    }
    if (level == 3 && source && source->value && source->value->Get()) nPrefetch(source->value->Get());
    const nMotion* m = motion ? motion->value : 0;
    const nMotion::ChannelList::Node* channel = m ? m->GetChannels().GetHead() : 0;
    if (level == 3) {
        if (channel) nPrefetch(channel);
        if (m && m->GetName().GetCStr()) nPrefetch(m->GetName().GetCStr());
    } else if (channel && channel->value) {
        if (level == 4) nPrefetch(channel->value);
        else channel->value->PrefetchKeys(level - 5);
    }
}

// Items and what they own lie far apart in memory; what the items down a list being deleted
// from its head will free is asked for early, level by level, so that their destruction does
// not wait for it. The list is walked from the head every time: handlers run by a deletion
// may change it.
void PrefetchDeletionsAhead(const ItemNode* head)
{
    const ItemNode* ahead = head;
    for (int32_t d = 1; ahead && d <= kDeletionStep * kDeletionLevels; ++d) {
        ahead = ahead->next;
        if (ahead && d % kDeletionStep == 0) PrefetchOwned(ahead->value, kDeletionLevels - d / kDeletionStep);
    }
}

}

nScene::nScene(nOrvex* engine, nScriptVM* vm)
    : m_engine(engine),
      m_renderer(0),
      m_currentCamera(0),
      m_vm(vm),
      m_physicsHook(this),
      m_physicWorld(0),
      m_ui(engine, vm),
      m_deletionHeld(false),
      m_flags(0),
      m_visualisationScale(1.0f),
      m_nextUid(0),
      m_backgroundColour(0.0f, 0.0f, 0.0f, 1.0f),
      m_ambientColour(0.0f, 0.0f, 0.0f, 1.0f),
      m_ambientIntensity(1.0f),
      m_targetExposure(0.25f),
      m_fogNear(0.0f),
      m_fogFar(0.0f),
      m_fogColour(0.0f, 0.0f, 0.0f, 1.0f),
      m_events(nSceneScriptEventDispatcher::GetDefault()),
      m_activeWalk{0, 0, 0, 0},
      m_allWalk{0, 0, 0, 0},
      m_activeVersion(1),
      m_allVersion(1),
      m_activeEvents(0),
      m_activeEventsVersion(0),
      m_activeEventsEpoch(0),
      m_evaluating(false),
      m_flushing(false),
      m_clearing(false),
      m_rendering(false)
{
    Define("toposition", ACE3DToPosition, 3);
    Define("offsetposition", ACE3DOffsetPosition, 3);
    Define("tooffset", ACE3DToOffset, 3);
    Define("toscale", ACE3DToScale, 3);
    Define("torotation", ACE3DToRotation, 3);
    Define("toalpha", ACE3DToAlpha, 1);
}

nScene::~nScene()
{
    SetScriptGlobals(0);
    DeleteContent(false);
    // Lists of the items' own nodes never free them; what a refused deletion left is let go.
    ReleaseList(m_activeItems);
    ReleaseList(m_allItems);
    for (nList<nMItem*>& list : m_kindLists) ReleaseList(list);
    delete m_physicWorld;
    m_physicWorld = 0;
    delete m_profilerFont;
    m_profilerFont = 0;
    // Another scene may have bound the renderer since; its registration stays.
    if (m_renderer && m_renderer->GetPropertyRequestContext() == this)
        m_renderer->SetPropertyRequestCallback(0, 0);
    m_renderer = 0;
    // g_scene and every other script object of this scene read as a deleted native from now on.
    if (m_vm) m_vm->InvalidateNativeObject(this);
    delete[] m_activeWalk.items;
    delete[] m_allWalk.items;
}

nScriptUnit* nScene::CreateScriptUnit()
{
    nSceneScriptUnit* unit = new (std::nothrow) nSceneScriptUnit(m_vm);
    if (!unit || !m_units.InsertAfter(unit, 0)) {
        delete unit;
        *g_log << "[!] Failed to allocate script unit for item '" << m_name.GetCStr() << "'.\n";
        return 0;
    }
    unit->SetOwner(this, ScriptUnitOwnerScene);
    return unit;
}

// Physics world.

bool nScene::CreatePhysicWorld()
{
    if (m_evaluating || m_flushing || m_clearing) {
        DeleteContent(false);  // refused with its own line
        return false;
    }
    DeleteContent(false);
    delete m_physicWorld;
    m_physicWorld = 0;

    nPhysicWorldFactory factory = m_engine ? m_engine->GetPhysicWorldFactory() : 0;
    nPhysicWorld* world = factory ? factory(m_engine) : 0;
    if (!world) {
        *g_log << "[!] Could not create physic world.\n";
        return false;
    }
    if (!world->Init()) {
        // A world that did not initialise is never stepped or asked for bodies.
        *g_log << "[!] Could not initialise physic world.\n";
        delete world;
        return false;
    }
    world->SetCallback(&m_physicsHook);
    m_physicWorld = world;
    return true;
}

// Content.

void nScene::DeleteContent(bool keepScripts)
{
    if (m_evaluating || m_flushing || m_clearing) {
        *g_log << "[!] Cannot delete the content of scene '" << m_name.GetCStr()
               << "' while it evaluates or deletes items.\n";
        return;
    }
    m_clearing = true;
    NotifyListeners(SceneEventContentDeleting, 0);
    if (m_events) m_events->OnDelete(this);

    ClearQueue(m_pendingActivations, &nMItem::SceneLinks::activation);
    ClearQueue(m_pendingDeactivations, &nMItem::SceneLinks::deactivation);
    ClearQueue(m_deletionQueue, &nMItem::SceneLinks::deletion);
    m_path.Clear();
    m_name.Clear();
    DestroyGroups();

    ReleaseList(m_activeItems);
    for (nList<nMItem*>& list : m_kindLists) ReleaseList(list);

    // Handlers run during these deletions may create, queue or (de)activate items; every
    // item leaves all lists when it is unregistered, and items created meanwhile are
    // deleted by this same loop.
    while (ItemNode* head = m_allItems.GetHead()) {
        nMItem* item = head->value;
        PrefetchDeletionsAhead(head);
        Delist(m_allItems, item->m_links.all);
        item->RaiseOnDelete();
        delete item;
    }

    m_nextUid = 0;
    nItemPool::Trim();
    m_ui.Clear();
    // Scripts that hold a path or its motion see them deleted, not freed memory.
    for (nLinkedListEntry* e = m_aiPaths.GetHead(); e && m_vm; e = e->GetNext()) {
        nAIPath* path = static_cast<nAIPath*>(e);
        m_vm->InvalidateNativeObject(static_cast<void*>(path));
        m_vm->InvalidateNativeObject(static_cast<void*>(&path->GetMotion()));
    }
    m_aiPaths.Clear(true);
    if (!keepScripts) ClearScriptUnits();
    m_fogColour = nVector(0.0f, 0.0f, 0.0f, 1.0f);
    m_currentCamera = 0;
    m_fogNear = 0.0f;
    m_fogFar = 0.0f;
    m_clearing = false;
    NotifyListeners(SceneEventContentDeleted, 0);
}

// Registry.

void nScene::RegisterItem(nMItem* item)
{
    if (!item) return;
    Enlist(m_activeItems, item->m_links.active);
    Enlist(m_allItems, item->m_links.all);
}

void nScene::UnregisterItem(nMItem* item)
{
    if (!item) return;
    if (m_physicWorld && item->m_physicItem) m_physicWorld->RemoveItem(item->m_physicItem);
    if (m_vm) {
        // Scripts may hold the item and its motions, which die with it (its collision shapes
        // are invalidated by the physics hook as its body deletes them).
        m_vm->InvalidateNativeObject(static_cast<void*>(item));
        for (nListNode<nMotion*>* motion = item->GetMotions().GetHead(); motion; motion = motion->next)
            m_vm->InvalidateNativeObject(motion->value);
    }
    // The node may already be destroyed: it is compared, never read.
    if (item->m_item && item->m_item == m_currentCamera) m_currentCamera = 0;
    // No trigger record (the flush has sent the exit events already) and no bone slot keeps
    // pointing at the item, whichever way it is destroyed.
    nTrigger::RemoveFromTriggers(this, item, false);
    nMObject::ReleaseBone(this, item->m_item);
    Unlink(m_deletionQueue, item->m_links.deletion);
    Unlink(m_pendingActivations, item->m_links.activation);
    Unlink(m_pendingDeactivations, item->m_links.deactivation);
    if (item->m_kind > 0 && item->m_kind < ManagedItemKindCount) Delist(m_kindLists[item->m_kind], item->m_links.kind);
    Delist(m_allItems, item->m_links.all);
    Delist(m_activeItems, item->m_links.active);
    RemoveItemFromGroups(item);
}

nMItem* nScene::AssignItemUid(nMItem* item)
{
    if (!item) return 0;
    if (item->m_uid != -1) {
        *g_log << "[!] (Critical error) item '" << item->m_name.GetCStr() << "' already has an uid ("
               << item->m_uid << ").\n";
        return item;
    }
    item->m_uid = m_nextUid++;
    return item;
}

void nScene::AddCreatedItem(nMItem* item, const char* name)
{
    if (!item) return;
    item->SetName(name);
    if (item->m_kind > 0 && item->m_kind < ManagedItemKindCount) Enlist(m_kindLists[item->m_kind], item->m_links.kind);
    AssignItemUid(item);
    NotifyListeners(SceneEventItemCreated, &item);
}

const nList<nMItem*>& nScene::GetKindList(int32_t kind) const
{
    return m_kindLists[kind > 0 && kind < ManagedItemKindCount ? kind : 0];
}

// Lists and queues.

void nScene::Enlist(nList<nMItem*>& list, nListNode<nMItem*>& node)
{
    if (list.Holds(&node)) return;
    list.Link(&node, 0);
    ListChanged(list);
}

void nScene::Delist(nList<nMItem*>& list, nListNode<nMItem*>& node)
{
    if (!list.Holds(&node)) return;
    list.Unlink(&node);
    ListChanged(list);
}

void nScene::ReleaseList(nList<nMItem*>& list)
{
    list.Release();
    ListChanged(list);
}

void nScene::Unlink(nList<nMItem*>& list, nListNode<nMItem*>*& node)
{
    if (!node) return;
    delete list.Unlink(node);
    node = 0;
}

void nScene::ClearQueue(nList<nMItem*>& list, nListNode<nMItem*>* nMItem::SceneLinks::*link)
{
    for (ItemNode* n = list.GetHead(); n; n = n->next) n->value->m_links.*link = 0;
    list.Clear();
}

void nScene::ListChanged(const nList<nMItem*>& list)
{
    if (&list == &m_activeItems) ++m_activeVersion;
    if (&list == &m_allItems) ++m_allVersion;
}

void nScene::RequestActivation(nMItem* item, bool active)
{
    if (!item) return;
    if (active) {
        if (!item->m_links.activation) item->m_links.activation = m_pendingActivations.InsertAfter(item, 0);
        Unlink(m_pendingDeactivations, item->m_links.deactivation);
    } else {
        if (!item->m_links.deactivation) item->m_links.deactivation = m_pendingDeactivations.InsertAfter(item, 0);
        Unlink(m_pendingActivations, item->m_links.activation);
    }
}

void nScene::ProcessPendingActivations()
{
    for (ItemNode* n = m_pendingActivations.GetHead(); n; n = n->next) ApplyItemActivation(n->value, true);
    for (ItemNode* n = m_pendingDeactivations.GetHead(); n; n = n->next) {
        nMItem* item = n->value;
        Delist(m_activeItems, item->m_links.active);
        if (item->m_physicItem) item->m_physicItem->Enable(false);
    }
    ClearQueue(m_pendingActivations, &nMItem::SceneLinks::activation);
    ClearQueue(m_pendingDeactivations, &nMItem::SceneLinks::deactivation);
}

bool nScene::ApplyItemActivation(nMItem* item, bool active)
{
    if (!item) return true;
    if (active) Enlist(m_activeItems, item->m_links.active);
    else Delist(m_activeItems, item->m_links.active);
    if (item->m_physicItem) item->m_physicItem->Enable(active);
    return true;
}

bool nScene::QueueDeletion(nMItem* item)
{
    if (!item) return false;
    if (item->m_links.deletion) return true;
    item->m_links.deletion = m_deletionQueue.InsertAfter(item, 0);
    return item->m_links.deletion != 0;
}

void nScene::FlushDeletionQueue()
{
    // Nested in a flush or in content clearing, the running loop deletes what was queued.
    if (m_flushing || m_clearing) return;
    if (m_evaluating) {
        *g_log << "[!] Cannot flush the deletion queue of scene '" << m_name.GetCStr()
               << "' while it evaluates, sets up or resets.\n";
        return;
    }
    m_flushing = true;
    // The head is read again for every item: handlers may queue more during the flush.
    while (ItemNode* head = m_deletionQueue.GetHead()) {
        nMItem* item = head->value;
        PrefetchDeletionsAhead(head);
        NotifyListeners(SceneEventItemDeleting, &item);
        if (item->m_item && item->m_item == m_currentCamera) m_currentCamera = 0;
        nTrigger::RemoveFromTriggers(this, item, true);
        Delist(m_activeItems, item->m_links.active);
        Unlink(m_pendingActivations, item->m_links.activation);
        Unlink(m_pendingDeactivations, item->m_links.deactivation);
        if (item->m_kind > 0 && item->m_kind < ManagedItemKindCount) Delist(m_kindLists[item->m_kind], item->m_links.kind);
        Unlink(m_deletionQueue, item->m_links.deletion);
        item->RaiseOnDelete();
        delete item;
        NotifyListeners(SceneEventItemDeleted, &item);
    }
    m_flushing = false;
}

// Scripts and renderer.

void nScene::SetScriptGlobals(nScriptVM* vm)
{
    if (!vm) vm = m_vm;
    if (!vm || !vm->IsOpen()) return;
    vm->SetValue("g_scene", nScriptValue((int32_t)ScriptUnitOwnerScene, static_cast<void*>(this)), 0);
    vm->SetValue("g_clock_fq", nScriptValue((int32_t)10000), 0);
}

nRenderer* nScene::RegisterAsPropertyCallback(nRenderer* renderer)
{
    if (renderer) renderer->SetPropertyRequestCallback(PropertyRequestCallback, this);
    m_renderer = renderer;
    return renderer;
}

bool nScene::PropertyRequestCallback(int32_t kind, nPropertyRequest* request)
{
    nScene* scene = request ? static_cast<nScene*>(request->context) : 0;
    return scene ? scene->ProcessPropertyRequest(kind, request) : false;
}

void nScene::SortLightsByPriority()
{
    nList<nMItem*>& lights = m_kindLists[ManagedItemLight];
    std::vector<nMItem*> sorted;
    sorted.reserve((size_t)lights.GetCount());
    for (ItemNode* n = lights.GetHead(); n; n = n->next) sorted.push_back(n->value);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const nMItem* a, const nMItem* b) { return a->m_priority > b->m_priority; });
    // Each light's node is its own: the list is linked again in the sorted order.
    lights.Release();
    for (nMItem* light : sorted) lights.Link(&light->m_links.kind, 0);
}

// Listeners.

void nScene::AddListener(nSceneListener* listener)
{
    if (listener) m_listeners.Add(listener, true, false);
}

void nScene::RemoveListener(nSceneListener* listener)
{
    m_listeners.Remove(listener);
}

void nScene::NotifyListeners(int32_t code, void* data)
{
    for (nList<nSceneListener*>::Node* n = m_listeners.GetHead(); n;) {
        nList<nSceneListener*>::Node* next = n->next;
        n->value->OnSceneEvent(code, data);
        n = next;
    }
}

const char* nScene::GetTimerLabel(int32_t timer)
{
    return timer >= 0 && timer < SceneTimerCount ? kTimerLabels[timer] : "";
}
