// The scene's evaluation: one frame of the scene, phase by phase, in its fixed order, and the
// walks over the item lists the phases make. What each walk asks the cache for ahead of the
// item it works on is in nEvaluationPrefetch.h.

#include <cmath>
#include <new>

#include "core/nLog.h"
#include "hub/nOrvex.h"
#include "physics/nPhysicItem.h"
#include "scene/nEvaluationPrefetch.h"
#include "scene/nItem.h"
#include "scene/nObject.h"
#include "scene/nScene.h"
#include "scene/nTrigger.h"
#include "scriptiface/nScriptEventDispatcher.h"
#include "scriptiface/nScriptUnit.h"

namespace {

typedef nListNode<nMItem*> ItemNode;

const float kMaxFrameTime = 0.2f;      // seconds: the longest step the scene takes
const float kMinimumLogicRate = 0.1f;  // logic events per second

// Calls f on every item of the list from the head up to the node that was the tail when the
// walk began: items appended meanwhile wait for the next walk. The scene removes no node
// from its lists while it walks them.
template<class F>
void WalkAsItStands(nList<nMItem*>& list, F f)
{
    ItemNode* last = list.GetTail();
    for (ItemNode* n = list.GetHead(); n;) {
        ItemNode* next = n->next;
        f(n->value);
        if (n == last) break;
        n = next;
    }
}

// The first unit of the item whose class defines OnLogicUpdate, or NULL.
nScriptUnit* LogicUnit(nMItem* item)
{
    if (!item->HasCachedEvent(nManagerScriptUnit::CachedOnLogicUpdate)) return 0;
    for (nList<nScriptUnit*>::Node* n = item->GetScriptUnits().GetHead(); n; n = n->next)
        if (static_cast<nManagerScriptUnit*>(n->value)->GetCached(nManagerScriptUnit::CachedOnLogicUpdate))
            return n->value;
    return 0;
}

}

void nScene::Evaluate(uint32_t flags)
{
    if (m_evaluating) {
        *g_log << "[!] Cannot evaluate scene '" << m_name.GetCStr() << "' while it evaluates.\n";
        return;
    }
    nTimer& script = m_timers[SceneTimerScript];
    m_timers[SceneTimerEvaluate].Start();
    ProcessPendingActivations();
    if (!m_deletionHeld) FlushDeletionQueue();
    m_evaluating = true;
    RememberPreviousWorldMatrices();
    script.BeginFrame();
    if (flags & SceneEvaluateScript) {
        script.Start(true);
        RaiseSceneUpdate();
        script.Stop();
    }
    const float dt = FrameStep();
    if (flags & SceneEvaluatePhysic) {
        m_timers[SceneTimerPhysic].Start();
        StepPhysicWorld(dt);
        m_timers[SceneTimerPhysic].Stop();
        CopyBodiesToItems();
    }
    if (flags & SceneEvaluateTrigger) nTrigger::TestScene(this);
    AdvanceCommandLists(dt);
    if (flags & SceneEvaluateScript) {
        script.Start(true);
        RaiseItemUpdates();
        m_timers[SceneTimerLogicCallback].Start();
        RunLogic(dt);
        m_timers[SceneTimerLogicCallback].Stop();
        script.Stop();
    }
    EvaluateItems();
    UpdateItems(flags);
    UpdateSkinning();
    m_evaluating = false;
    m_timers[SceneTimerEvaluate].Stop();
}

// The phases.

void nScene::RememberPreviousWorldMatrices()
{
    WalkAll<nEvaluationPrefetch::PreviousWorldMatrices>([](nMItem* item) {
        if (nItem* node = item->GetItem()) node->SetPreviousWorldMatrix(node->GetWorldMatrix());
    });
}

void nScene::RaiseSceneUpdate()
{
    if (m_events) m_events->OnUpdate(this);
}

float nScene::FrameStep() const
{
    float dt = m_engine ? (float)m_engine->GetFrameTime() / 10000.0f : 0.0f;
    if (!(dt >= 0.0f)) dt = 0.0f;
    if (dt > kMaxFrameTime) dt = kMaxFrameTime;
    return dt;
}

void nScene::StepPhysicWorld(float dt)
{
    if (m_physicWorld) m_physicWorld->Step(dt);
}

void nScene::CopyBodiesToItems()
{
    // Bodies come from the scene's world only, so without one no item has a body.
    if (!m_physicWorld) return;
    WalkActive<nEvaluationPrefetch::BodiesToItems>([](nMItem* item) {
        nPhysicItem* body = item->GetPhysicItem();
        if (!body || !item->GetItem() || body->GetMode() != PhysicItemDynamic) return;
        nMatrix4 m;
        body->GetMotionMatrix(&m);
        item->GetItem()->SetMatrix(m);
    });
}

void nScene::AdvanceCommandLists(float dt)
{
    WalkActive<nEvaluationPrefetch::CommandLists>([dt](nMItem* item) { nACEManager::Advance(item, dt); });
}

void nScene::RaiseItemUpdates()
{
    WalkActive<nEvaluationPrefetch::ItemUpdateEvents>([](nMItem* item) {
        if (nItemScriptEventDispatcher* events = item->GetEvents()) events->OnUpdate(item);
    });
}

void nScene::RunLogic(float dt)
{
    // No active item has the logic method: neither walk would do anything.
    if (!((GetActiveCachedEvents() >> nManagerScriptUnit::CachedOnLogicUpdate) & 1u)) return;
    StepLogic(dt);
    InterpolateLogicStates();
}

void nScene::StepLogic(float dt)
{
    WalkActive<nEvaluationPrefetch::Logic>([dt](nMItem* item) {
        if (!LogicUnit(item)) return;
        float rate = item->m_logicRate >= kMinimumLogicRate ? item->m_logicRate : kMinimumLogicRate;
        float period = 1.0f / rate;
        float accumulator = std::isfinite(item->m_logicAccumulator) ? item->m_logicAccumulator : 0.0f;
        accumulator -= dt;
        // Catch-up is bounded: a period too small to move the accumulator, or a backlog
        // beyond the bound, would otherwise keep the loop going; the rest is dropped.
        int32_t steps = 0;
        while (accumulator <= 0.0f && steps < kMaxLogicStepsPerEvaluation) {
            item->m_previousLogicMatrix = item->m_logicMatrix;
            accumulator += period;
            item->m_logicAccumulator = accumulator;
            if (item->m_events) item->m_events->OnLogicUpdate(item, period);
            if (item->m_item) item->m_logicMatrix = item->m_item->GetLocalMatrix();
            ++steps;
        }
        if (accumulator <= 0.0f) accumulator = period;
        item->m_logicAccumulator = accumulator;
    });
}

// The displayed transform lies between the last two logic states: t = 0 shows the current
// one, t = 1 the previous one. Bodies place their items themselves.
void nScene::InterpolateLogicStates()
{
    WalkActive<nEvaluationPrefetch::LogicInterpolation>([](nMItem* item) {
        if (item->m_physicItem || !item->m_item || !LogicUnit(item)) return;
        float t = item->m_logicAccumulator * item->m_logicRate;
        if (!(t >= 0.0f)) t = 0.0f;
        if (t > 1.0f) t = 1.0f;
        nMatrix4 m = nMatrix4::Interpolate(item->m_logicMatrix, item->m_previousLogicMatrix, t, false);
        item->m_item->SetWorldMatrix(m, true, false);
    });
}

void nScene::EvaluateItems()
{
    WalkActive<nEvaluationPrefetch::ItemWork>([](nMItem* item) { item->Evaluate(); });
}

void nScene::UpdateItems(uint32_t flags)
{
    WalkActive<nEvaluationPrefetch::ItemUpdates>([this, flags](nMItem* item) { UpdateItem(item, item->GetItem(), flags); });
}

void nScene::UpdateSkinning()
{
    if (nObject::GetSkinnedCount() == 0) return;
    WalkActive<nEvaluationPrefetch::Skinning>([](nMItem* item) {
        if (nObject* object = nMObject::FromItem(item)) object->UpdateSkinning();
    });
}

void nScene::UpdateItem(nMItem* item, nItem* node, uint32_t flags)
{
    if (!item) return;
    if (flags & SceneEvaluateAnimation) item->UpdateAnimation();
    if (!(flags & SceneEvaluateTransform)) return;

    if ((item->GetFlags() & MItemFlagBillboard) && node) {
        // Faces the view: the camera's rotation, rolled by the node's own Z angle; position
        // and scale follow the parent; the node's components are left as they are.
        nVector p = node->GetPosition();
        p.w = 1.0f;
        nVector s = node->GetScale();
        s.w = 1.0f;
        if (nItem* parent = node->GetParent()) {
            p = p.Transform(parent->GetWorldMatrix());
            const nVector& ps = parent->GetScale();
            s = nVector(s.x * ps.x, s.y * ps.y, s.z * ps.z, 1.0f);
        }
        nMatrix3 camera;
        if (m_currentCamera) camera = nMatrix3::FromMatrix4(m_currentCamera->GetWorldMatrix());
        nMatrix3 r = camera * nMatrix3::RotationZ(node->GetRotation().z);
        nMatrix4 m = nMatrix4::Compose(p, r, s, nVector(0.0f, 0.0f, 0.0f, 1.0f));
        node->SetWorldMatrix(m, false, true);
    }
    item->UpdateTransform();
}

uint32_t nScene::GetActiveCachedEvents()
{
    const uint64_t epoch = nScriptedObject::GetCachedEpoch();
    if (m_activeEventsVersion == m_activeVersion && m_activeEventsEpoch == epoch) return m_activeEvents;
    uint32_t events = 0;
    for (ItemNode* n = m_activeItems.GetHead(); n; n = n->next) events |= n->value->GetCachedEvents();
    m_activeEvents = events;
    m_activeEventsVersion = m_activeVersion;
    m_activeEventsEpoch = epoch;
    return events;
}

// Walks.

bool nScene::Snapshot(ItemArray& array, nList<nMItem*>& list, uint32_t version)
{
    if (array.version == version) return true;
    int32_t count = list.GetCount();
    if (count > array.capacity) {
        int32_t capacity = count + count / 2 + 16;
        nMItem** grown = new (std::nothrow) nMItem*[(size_t)capacity];
        if (!grown) return false;
        delete[] array.items;
        array.items = grown;
        array.capacity = capacity;
    }
    array.count = 0;
    for (ItemNode* n = list.GetHead(); n; n = n->next) array.items[array.count++] = n->value;
    array.version = version;
    return true;
}

// Calls f on every item of the list, from the head up to the item that was the tail when the
// walk began: items added meanwhile wait for the next walk. Nothing leaves the scene's lists
// while the evaluation walks them. Policy::Ahead(item, level) asks for one level of what f will
// read of an item further down (nEvaluationPrefetch.h).
template<class Policy, class F>
void nScene::Walk(ItemArray& array, nList<nMItem*>& list, uint32_t version, F f)
{
    if (!Snapshot(array, list, version)) {
        WalkAsItStands(list, f);
        return;
    }
    const int32_t count = array.count;
    nMItem* const* items = array.items;
    for (int32_t i = 0; i < count; ++i) {
        for (int32_t level = 0; level < Policy::Levels; ++level) {
            const int32_t at = i + Policy::Step * (Policy::Levels - level);
            if (at < count) Policy::Ahead(items[at], level);
        }
        f(items[i]);
    }
}
