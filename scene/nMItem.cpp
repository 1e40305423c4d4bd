#include "scene/nMItem.h"

#include <new>
#include <vector>

#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "core/nQuaternion.h"
#include "core/nRandom.h"
#include "hub/nOrvex.h"
#include "physics/nPhysicItem.h"
#include "physics/nPhysicShape.h"
#include "physics/nPhysicWorld.h"
#include "scene/nItem.h"
#include "scene/nItemTags.h"
#include "scene/nScene.h"
#include "scriptiface/nScriptEventDispatcher.h"
#include "scriptiface/nScriptUnit.h"

namespace {

const float kDegreesToRadians = 3.1415927f / 180.0f;
const float kMinimumLogicRate = 0.1f;

// Flag words written by name, in writing order (the reader's table has a row for each).
struct FlagName
{
    const char* name;
    uint32_t bit;
};

const FlagName kFlagNames[] = {
    {"Billboard", MItemFlagBillboard},
    {"SolveOverlap", MItemFlagSolveOverlap},
    {"Ghost", MItemFlagGhost},
    {"Static", MItemFlagStatic},
    {"TriggerDetected", MItemFlagTriggerDetected},
};

// A row of the reader's table that sets one flag bit.
template<uint32_t Bit>
void SetFlag(nMItem& item, nMetaFile*, nMetaTag*)
{
    item.SetFlags(item.GetFlags() | Bit);
}

// The children of the older forms, found in one walk: the first lone unit tag, and the last of
// each older body tag (they count once, the last one). NULL for those absent.
struct OlderFormTags
{
    nMetaTag* scriptUnit = 0;
    nMetaTag* tau = 0;
    nMetaTag* col = 0;
};

OlderFormTags FindOlderFormTags(nMetaTag* tag)
{
    OlderFormTags found;
    nMetaTagIterator it;
    while (nMetaTag* child = tag->NextChild(it)) {
        if (IsTagNamed(child, "ScriptUnit")) {
            if (!found.scriptUnit) found.scriptUnit = child;
        } else if (IsTagNamed(child, "TauItem")) {
            found.tau = child;
        } else if (IsTagNamed(child, "GColItem")) {
            found.col = child;
        }
    }
    return found;
}

float Component(const nVector& v, int32_t i)
{
    return i == 0 ? v.x : (i == 1 ? v.y : v.z);
}

void SetComponent(nVector& v, int32_t i, float value)
{
    if (i == 0) v.x = value;
    else if (i == 1) v.y = value;
    else v.z = value;
}

}

nMItem::nMItem(nScene* scene)
    : m_item(0),
      m_physicItem(0),
      m_events(nItemScriptEventDispatcher::GetDefault()),
      m_flags(0),
      m_kind(ManagedItemNone),
      m_logicRate(15.0f),
      m_logicAccumulator(0.0f),
      m_active(true),
      m_helper(false),
      m_initialRecorded(false),
      m_deleteRaised(false),
      m_scene(scene),
      m_uid(-1),
      m_priority(0.5f),
      m_links{nListNode<nMItem*>(this), nListNode<nMItem*>(this), nListNode<nMItem*>(this), 0, 0, 0}
{
    nPhysicWorld* world = m_scene ? m_scene->GetPhysicWorld() : 0;
    if (world) {
        m_physicItem = world->NewItem();
        if (m_physicItem) m_physicItem->SetOwner(this);
    }
    if (m_scene) m_scene->RegisterItem(this);
}

nMItem::~nMItem()
{
    RaiseOnDelete();
    ClearScriptUnits();
    if (m_scene) m_scene->UnregisterItem(this);
    delete m_physicItem;
    m_physicItem = 0;
}

void nMItem::SetNode(nItem* node, int32_t kind)
{
    m_item = node;
    m_kind = kind;
    if (node) node->SetManagedItem(this);
}

void nMItem::RaiseOnDelete()
{
    if (m_deleteRaised) return;
    m_deleteRaised = true;
    if (m_events) m_events->OnDelete(this);
}

// Activity.

void nMItem::SetActive(bool active, bool recursive)
{
    SetOwnActive(active);
    if (!recursive || !m_item) return;
    // The managed items of the subtree as it stands now, depth first with children in attach
    // order, gathered before any handler runs: handlers may re-parent items, which frees the
    // list nodes a walk would be holding. A child without a managed item ends its branch. No
    // recursion, so a chain of any depth costs one entry a level.
    std::vector<nMItem*> subtree;
    std::vector<nList<nItem*>::Node*> pending;
    if (nList<nItem*>::Node* first = m_item->GetChildren().GetHead()) pending.push_back(first);
    while (!pending.empty()) {
        nList<nItem*>::Node* n = pending.back();
        if (n->next) pending.back() = n->next;
        else pending.pop_back();
        nMItem* child = n->value ? n->value->GetManagedItem() : 0;
        if (!child) continue;
        subtree.push_back(child);
        if (child->m_item)
            if (nList<nItem*>::Node* first = child->m_item->GetChildren().GetHead()) pending.push_back(first);
    }
    for (nMItem* child : subtree) child->SetOwnActive(active);
}

void nMItem::SetOwnActive(bool active)
{
    if (active == m_active) return;
    if (m_scene) m_scene->RequestActivation(this, active);
    if (active) m_logicAccumulator = 0.0f;
    if (m_events) m_events->OnActivate(this, active);
    m_active = active;
}

// Set-up and reset.

void nMItem::Setup()
{
    if (m_physicItem) {
        m_physicItem->Create();
        // A body built for an item that is not active must not take part in the simulation.
        if (!m_active) m_physicItem->Enable(false);
    }
    if (m_events) m_events->OnSetupDone(this);
}

void nMItem::SetupScript()
{
    if (m_events) m_events->OnSetup(this);
}

void nMItem::RaiseOnReset()
{
    if (m_events) m_events->OnReset(this);
}

void nMItem::Reset()
{
    if (m_physicItem && m_item) {
        m_physicItem->ResetDynamics();
        m_physicItem->SetMatrix(&m_item->GetWorldMatrix());
    }
    if (m_item) {
        m_logicMatrix = m_item->GetLocalMatrix();
        m_previousLogicMatrix = m_logicMatrix;
    }
    // The rate is floored as the evaluation floors it, so the phase stays finite.
    float rate = m_logicRate >= kMinimumLogicRate ? m_logicRate : kMinimumLogicRate;
    m_logicAccumulator = nRandFloat(1.0f / rate);
}

void nMItem::RecordLocation()
{
    if (!m_item) return;
    m_initialMatrix = m_item->GetPivot().InverseTRS() * m_item->GetLocalMatrix();
    m_initialRecorded = true;
}

void nMItem::RestoreInitialMatrix()
{
    if (!m_initialRecorded || !m_item) return;
    // The recorded pose holds the local matrix without its pivot; the pivot goes back on.
    m_item->SetWorldMatrix(m_item->GetPivot() * m_initialMatrix, true, false);
}

void nMItem::SetLogicTransformation(const nMatrix4& m)
{
    m_logicMatrix = m;
    m_previousLogicMatrix = m;
}

void nMItem::SetPriority(float priority)
{
    m_priority = priority;
    if (m_kind == ManagedItemLight && m_scene) m_scene->SortLightsByPriority();
}

void nMItem::UpdateAnimation()
{
    nOrvex* engine = m_item ? m_item->GetEngine() : 0;
    Update(engine ? (float)engine->GetFrameTime() / 10000.0f : 0.0f);
}

void nMItem::SetParentNotified(nItem* parent)
{
    if (m_scene) m_scene->NotifyListeners(SceneEventParentChanging, 0);
    if (m_item) m_item->SetParent(parent);
    if (m_scene) m_scene->NotifyListeners(SceneEventParentChanged, 0);
}

// Animation channels.

bool nMItem::GetChannel(int32_t id, float& value)
{
    if (!m_item || id < 1 || id > 9) return false;
    int32_t i = (id - 1) % 3;
    if (id <= 3) value = Component(m_item->GetPosition(), i);
    else if (id <= 6) value = Component(m_item->GetRotation(), i);
    else value = Component(m_item->GetScale(), i);
    return true;
}

bool nMItem::SetChannel(int32_t id, float value)
{
    if (!m_item || id < 1 || id > 9) return false;
    int32_t i = (id - 1) % 3;
    if (id <= 3) {
        nVector v = m_item->GetPosition();
        SetComponent(v, i, value);
        m_item->SetPosition(v);
    } else if (id <= 6) {
        nVector v = m_item->GetRotation();
        SetComponent(v, i, value);
        m_item->SetRotation(v);
    } else {
        nVector v = m_item->GetScale();
        SetComponent(v, i, value);
        m_item->SetScale(v);
    }
    return true;
}

void nMItem::GetOrientation(nQuaternion& q)
{
    if (!m_item) {
        q = nQuaternion();
        return;
    }
    const nVector& r = m_item->GetRotation();
    q = nQuaternion::FromEuler(r.x, r.y, r.z, m_item->GetRotationOrder());
}

bool nMItem::SetOrientation(const nQuaternion& q)
{
    if (m_item) m_item->SetRotationQuaternion(q);
    return true;
}

// Command lists.

bool nMItem::ExecuteCommand(nACECommand* record, float slice)
{
    if (!record || record->code < ACE3DToPosition || record->code > ACE3DToAlpha || !m_item)
        return nACEUnit::ExecuteCommand(record, slice);
    if (slice == 0.0f) return true;

    // The share of the time left that this slice takes: 1 in the slice that uses it up, so
    // the value lands on the target whatever the frame times were.
    float f = record->remaining > 0.0f ? slice / record->remaining : 1.0f;
    const float* p = record->parameters;
    nVector target(p[0], p[1], p[2]);
    switch (record->code) {
        case ACE3DToPosition: {
            nVector v = m_item->GetPosition();
            m_item->SetPosition(nVector(v.x + (target.x - v.x) * f, v.y + (target.y - v.y) * f, v.z + (target.z - v.z) * f, 1.0f));
            break;
        }
        case ACE3DOffsetPosition: {
            float share = record->duration > 0.0f ? slice / record->duration : 1.0f;
            nVector v = m_item->GetPosition();
            m_item->SetPosition(nVector(v.x + target.x * share, v.y + target.y * share, v.z + target.z * share, 1.0f));
            break;
        }
        case ACE3DToOffset: {
            nMatrix4 pivot = m_item->GetPivot();
            pivot.m[3] += (target.x - pivot.m[3]) * f;
            pivot.m[7] += (target.y - pivot.m[7]) * f;
            pivot.m[11] += (target.z - pivot.m[11]) * f;
            m_item->SetPivot(pivot);
            break;
        }
        case ACE3DToScale: {
            nVector v = m_item->GetScale();
            m_item->SetScale(nVector(v.x + (target.x - v.x) * f, v.y + (target.y - v.y) * f, v.z + (target.z - v.z) * f, v.w));
            break;
        }
        case ACE3DToRotation: {
            nVector v = m_item->GetRotation();
            m_item->SetRotation(nVector(v.x + (target.x * kDegreesToRadians - v.x) * f,
                                        v.y + (target.y * kDegreesToRadians - v.y) * f,
                                        v.z + (target.z * kDegreesToRadians - v.z) * f, v.w));
            break;
        }
        case ACE3DToAlpha: {
            float a = m_item->GetOpacity();
            a += (p[0] - a) * f;
            m_item->SetOpacity(a < 0.0f ? 0.0f : (a > 1.0f ? 1.0f : a));
            break;
        }
    }
    return true;
}

// Scripts.

nScriptUnit* nMItem::CreateScriptUnit()
{
    nManagerScriptUnit* unit = new (std::nothrow) nManagerScriptUnit(m_scene ? m_scene->GetVM() : 0);
    if (!unit || !m_units.InsertAfter(unit, 0)) {
        delete unit;
        *g_log << "[!] Failed to allocate script unit for item '" << m_name.GetCStr() << "'.\n";
        return 0;
    }
    unit->SetOwner(this, ScriptUnitOwnerManagedItem);
    return unit;
}

// NML.

bool nMItem::Deserialize(nMetaFile* document, nMetaTag* tag)
{
    if (!tag) return false;
    if (!nMLCheckRoot(tag, "MItem", "managed item")) return false;
    ClearScriptUnits();
    m_helper = false;
    m_active = false;
    m_initialRecorded = false;
    m_initialMatrix = nMatrix4();
    m_logicAccumulator = 0.0f;
    m_uid = -1;

    typedef nMItem M;
    static const nMLTagRule<M> kTags[] = {
        {"Id", nMLField<&M::m_name>},
        {"UId", nMLField<&M::m_uid>},
        {"Active", [](M& m, nMetaFile*, nMetaTag*) { m.m_active = true; }},
        {"Helper", [](M& m, nMetaFile*, nMetaTag*) { m.m_helper = true; }},
        {"ToolSpecific", [](M& m, nMetaFile*, nMetaTag*) { m.m_helper = true; }},
        {"Billboard", SetFlag<MItemFlagBillboard>},
        {"SolveOverlap", SetFlag<MItemFlagSolveOverlap>},
        {"Ghost", SetFlag<MItemFlagGhost>},
        {"Static", SetFlag<MItemFlagStatic>},
        {"TriggerDetected", SetFlag<MItemFlagTriggerDetected>},
        {"InitialMatrix", [](M& m, nMetaFile*, nMetaTag* t) { if (m.m_initialMatrix.FromMetaTag(t)) m.m_initialRecorded = true; }},
        {"Priority", [](M& m, nMetaFile*, nMetaTag* t) { t->GetValue().GetFloat(&m.m_priority); }},        // a float only
        {"ScriptLogicFq", [](M& m, nMetaFile*, nMetaTag* t) { t->GetValue().GetFloat(&m.m_logicRate); }},  // a float only
        {"MotionPlayer", [](M& m, nMetaFile* d, nMetaTag* t) { m.nAnimationPlayer::Deserialize(d, t); }},
        {"PhysicItem", [](M& m, nMetaFile* d, nMetaTag* t) {
             if (m.m_physicItem) m.m_physicItem->Deserialize(m.m_scene ? m.m_scene->GetEngine() : 0, d, t);
         }},
        {"ScriptedObject", [](M& m, nMetaFile* d, nMetaTag* t) { m.nScriptedObject::Deserialize(d, t); }},
        {"TauItem", 0},  // older forms, read after the rest (below)
        {"GColItem", 0},
        {"ScriptUnit", 0},
        {"Proxy", 0},
        {"ProxyScene", 0},
        {"ProxyGroup", 0},
        {"ProxyFlag", 0},
        {"ProxyRootParamTo", 0},
    };
    static const nMLRuleIndex kRows(kTags);  // files hold thousands of items, each running through the table
    nMLReadChildren(*this, document, tag, kRows, "MItem");
    const OlderFormTags older = FindOlderFormTags(tag);
    nMetaTag* const scriptUnitTag = older.scriptUnit;
    nMetaTag* const tauTag = older.tau;
    nMetaTag* const colTag = older.col;

    if (m_uid < 0) {
        *g_log << "[!] Managed item '" << m_name.GetCStr() << "' Uid is invalid.\n";
        return false;
    }

    // Older forms: a lone unit tag, and bodies described by "TauItem" and "GColItem".
    if (m_units.GetCount() == 0 && scriptUnitTag) {
        nScriptUnit* unit = CreateScriptUnit();
        if (unit) unit->Deserialize(document, scriptUnitTag);
    }
    if (!m_physicItem) return true;
    bool rigid = tauTag && tauTag->FindPath("Mode:Rigid;");
    bool shapes = colTag && colTag->FindPath("Shapes;");
    if (!rigid && !shapes) return true;
    if (colTag) {
        m_physicItem->Deserialize(m_scene ? m_scene->GetEngine() : 0, document, colTag);
        nMetaTag* selfMask = colTag->FindPath("SelfMask;");
        nMetaTag* mask = colTag->FindPath("Mask;");
        int32_t bits = 0;
        if (selfMask && selfMask->GetValue().GetInt(&bits)) m_physicItem->SetSelfMask(bits);
        if (mask && mask->GetValue().GetInt(&bits)) m_physicItem->SetCollisionMask(bits);
    }
    if (tauTag) {
        if (rigid) {
            m_physicItem->SetMode(PhysicItemDynamic);
        } else {
            nList<nPhysicShape*>& list = m_physicItem->GetShapes();
            for (nList<nPhysicShape*>::Node* n = list.GetHead(); n; n = n->next) n->value->mass = 0.0f;
        }
    }
    if (m_physicItem->GetMode() == PhysicItemNone && m_physicItem->GetShapes().GetCount() > 0)
        m_physicItem->SetMode(PhysicItemStatic);
    return true;
}

nMetaTag* nMItem::Serialize(nMetaFile* document)
{
    nMetaTag* root = new (std::nothrow) nMetaTag("MItem");
    if (!root) {
        *g_log << "[!] Could not create managed root tag to serialize.\n";
        return 0;
    }
    AppendTag(root, new (std::nothrow) nMetaTag("Id", m_name.GetCStr() ? m_name.GetCStr() : ""));
    AppendTag(root, new (std::nothrow) nMetaTag("UId", m_uid));
    if (m_active) AppendTag(root, new (std::nothrow) nMetaTag("Active"));
    if (m_helper) AppendTag(root, new (std::nothrow) nMetaTag("Helper"));
    for (const FlagName& f : kFlagNames)
        if (m_flags & f.bit) AppendTag(root, new (std::nothrow) nMetaTag(f.name));
    if (m_initialRecorded) AppendTag(root, m_initialMatrix.ToMetaTag("InitialMatrix"));
    AppendTag(root, new (std::nothrow) nMetaTag("Priority", m_priority));
    AppendTag(root, new (std::nothrow) nMetaTag("ScriptLogicFq", m_logicRate));
    AppendTag(root, nAnimationPlayer::Serialize(document));
    AppendTag(root, nScriptedObject::Serialize(document));
    if (m_units.GetHead()) AppendTag(root, m_units.GetHead()->value->Serialize(document));
    if (m_physicItem) AppendTag(root, m_physicItem->Serialize(document));
    return root;
}
