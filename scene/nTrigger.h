#ifndef N_TRIGGER_H
#define N_TRIGGER_H

#include "core/nList.h"
#include "core/nVector.h"
#include "scene/nItem.h"
#include "scene/nMItem.h"

class nMetaFile;
class nMetaTag;
class nScene;

// One item inside a trigger.
struct nTriggerItem
{
    bool seen;     // found inside during the current test
    nMItem* item;  // not owned
};

// A box-shaped managed item (kind 4) that tells scripts when the origins of other items enter
// it, stay in it and leave it. Its volume is the unit cube centred on its node's origin under
// the node's world matrix; a point is inside when each of its trigger-space coordinates lies
// strictly between -0.5 and 0.5. The trigger keeps one record per item inside, in order of
// entry, and raises the events from the difference between two tests. A record never outlives
// its item: the scene drops it (with the exit events) before deleting the item.
class nTrigger : public nMItem
{
public:
    explicit nTrigger(nScene* scene);
    ~nTrigger() override;  // frees the records; no exit events

    void Evaluate() override {}
    void UpdateTransform() override {}

    bool ContainsPoint(const nVector& point);  // the volume test
    void BeginTest();                          // clears every seen flag
    // OnTrigger on the item, then for an item without a record a new record, OnEnterTrigger on
    // the item and OnItemEnter on the trigger.
    void AddItemInside(nMItem* item);
    void EndTest();  // records not seen leave, in record order
    // The record leaves the list, then OnExitTrigger on the item and OnItemExit on the
    // trigger, then the record is freed.
    void RemoveRecord(nListNode<nTriggerItem*>* record);
    void RemoveItem(nMItem* item);  // RemoveRecord on the item's record, if any
    void ForgetItem(nMItem* item);  // drops the item's record without events

    // "Trigger" NML: the "MItem" tag and the node's "Item" tag; the records are not stored.
    bool Deserialize(nMetaFile* document, nMetaTag* tag);
    nMetaTag* Serialize(nMetaFile* document);  // NULL (logged) when the root cannot be made

    nItem& GetNode() { return m_node; }
    const nList<nTriggerItem*>& GetRecords() const { return m_records; }

    // The scene's hooks.
    static nTrigger* FromItem(nMItem* item);  // NULL for any other kind
    // One test of every active trigger of the scene against its active, detected items, in
    // list order, with the lists as they stand when the test begins.
    static void TestScene(nScene* scene);
    // Every trigger of the scene drops the item: with exit events before the item is deleted,
    // silently once it is being destroyed.
    static void RemoveFromTriggers(nScene* scene, nMItem* item, bool events);

private:
    nItem m_node;
    nList<nTriggerItem*> m_records;
};

#endif
