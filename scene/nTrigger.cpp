#include "scene/nTrigger.h"

#include <new>

#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "scene/nItemTags.h"
#include "scene/nScene.h"
#include "scriptiface/nScriptEventDispatcher.h"

namespace {

typedef nListNode<nTriggerItem*> RecordNode;
typedef nListNode<nMItem*> ItemNode;

void* Native(nMItem* item)
{
    return static_cast<void*>(item);
}

}

nTrigger::nTrigger(nScene* scene)
    : nMItem(scene), m_node(scene ? scene->GetEngine() : 0)
{
    SetNode(&m_node, ManagedItemTrigger);
}

nTrigger::~nTrigger()
{
    RaiseOnDelete();
    for (RecordNode* n = m_records.GetHead(); n; n = n->next) delete n->value;
    m_records.Clear();
}

bool nTrigger::ContainsPoint(const nVector& point)
{
    nVector p = point.Transform(m_node.GetInverseWorldMatrix());
    return p.x > -0.5f && p.x < 0.5f && p.y > -0.5f && p.y < 0.5f && p.z > -0.5f && p.z < 0.5f;
}

void nTrigger::BeginTest()
{
    for (RecordNode* n = m_records.GetHead(); n; n = n->next) n->value->seen = false;
}

void nTrigger::AddItemInside(nMItem* item)
{
    if (!item) return;
    if (nItemScriptEventDispatcher* events = item->GetEvents()) events->OnTrigger(item, Native(this));
    for (RecordNode* n = m_records.GetHead(); n; n = n->next)
        if (n->value->item == item) {
            n->value->seen = true;
            return;
        }
    // Without a record the item counts as new again at the next test.
    nTriggerItem* record = new (std::nothrow) nTriggerItem{true, item};
    if (record && !m_records.InsertAfter(record, 0)) delete record;
    if (nItemScriptEventDispatcher* events = item->GetEvents()) events->OnEnterTrigger(item, Native(this));
    if (m_events) m_events->OnItemEnter(this, Native(item));
}

void nTrigger::EndTest()
{
    // Handlers of the exit events may remove other records, so the walk starts again from
    // the head after every removal.
    for (;;) {
        RecordNode* n = m_records.GetHead();
        while (n && n->value->seen) n = n->next;
        if (!n) return;
        RemoveRecord(n);
    }
}

void nTrigger::RemoveRecord(RecordNode* record)
{
    if (!record) return;
    // The record leaves first, so that nothing a handler does can reach it twice.
    m_records.Unlink(record);
    nTriggerItem* entry = record->value;
    delete record;
    nMItem* item = entry->item;
    delete entry;
    if (nItemScriptEventDispatcher* events = item->GetEvents()) events->OnExitTrigger(item, Native(this));
    if (m_events) m_events->OnItemExit(this, Native(item));
}

void nTrigger::RemoveItem(nMItem* item)
{
    for (RecordNode* n = m_records.GetHead(); n; n = n->next)
        if (n->value->item == item) {
            RemoveRecord(n);
            return;
        }
}

void nTrigger::ForgetItem(nMItem* item)
{
    for (RecordNode* n = m_records.GetHead(); n; n = n->next)
        if (n->value->item == item) {
            m_records.Unlink(n);
            delete n->value;
            delete n;
            return;
        }
}

// NML.

bool nTrigger::Deserialize(nMetaFile* document, nMetaTag* tag)
{
    if (!tag) return false;
    if (!nMLCheckRoot(tag, "Trigger", "trigger")) return false;
    static const nMLTagRule<nTrigger> kTags[] = {
        {"MItem", [](nTrigger& r, nMetaFile* d, nMetaTag* t) { r.nMItem::Deserialize(d, t); }},
        {"Item", [](nTrigger& r, nMetaFile* d, nMetaTag* t) { r.m_node.Deserialize(d, t); }},
    };
    nMLReadChildren(*this, document, tag, kTags, "Trigger");
    return true;
}

nMetaTag* nTrigger::Serialize(nMetaFile* document)
{
    return SerializeManagedTag(this, document, "Trigger", m_node.Serialize(document),
                               "Could not create managed root tag to serialize.\n");
}

// Scene hooks.

nTrigger* nTrigger::FromItem(nMItem* item)
{
    if (!item || item->GetKind() != ManagedItemTrigger) return 0;
    return dynamic_cast<nTrigger*>(item);
}

void nTrigger::TestScene(nScene* scene)
{
    if (!scene) return;
    const nList<nMItem*>& triggers = scene->GetTriggers();
    const nList<nMItem*>& active = scene->GetActiveItems();
    // Items and triggers that handlers add during the test wait for the next one; nothing
    // leaves these lists while the scene evaluates.
    ItemNode* lastTrigger = triggers.GetTail();
    ItemNode* lastActive = active.GetTail();
    for (ItemNode* t = triggers.GetHead(); t; t = t->next) {
        nTrigger* trigger = FromItem(t->value);
        if (trigger && trigger->IsActive()) {
            trigger->BeginTest();
            for (ItemNode* a = lastActive ? active.GetHead() : 0; a; a = a->next) {
                nMItem* item = a->value;
                nItem* node = item->GetItem();
                if (node && (item->GetFlags() & MItemFlagTriggerDetected) && item->IsActive() && trigger->ContainsPoint(node->GetWorldMatrix().GetColumn(3, true)))
                    trigger->AddItemInside(item);
                if (a == lastActive) break;
            }
            trigger->EndTest();
        }
        if (t == lastTrigger) break;
    }
}

void nTrigger::RemoveFromTriggers(nScene* scene, nMItem* item, bool events)
{
    if (!scene || !item) return;
    for (ItemNode* t = scene->GetTriggers().GetHead(); t; t = t->next) {
        nTrigger* trigger = FromItem(t->value);
        if (!trigger) continue;
        if (events) trigger->RemoveItem(item);
        else trigger->ForgetItem(item);
    }
}
