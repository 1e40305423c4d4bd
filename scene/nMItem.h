#ifndef N_MITEM_H
#define N_MITEM_H

#include <cstddef>
#include <cstdint>
#include <new>

#include "core/nList.h"
#include "core/nMatrix.h"
#include "core/nString.h"
#include "ace/nACEUnit.h"
#include "scene/nAnimationPlayer.h"
#include "scene/nItemPool.h"
#include "core/nPrefetch.h"
#include "scriptiface/nScriptedObject.h"

class nItem;
class nItemScriptEventDispatcher;
class nMetaFile;
class nMetaTag;
class nPhysicItem;
class nQuaternion;
class nScene;
class nScriptUnit;

// Kinds of managed item; each kind is a class derived from nMItem carrying its node.
enum nManagedItemKind
{
    ManagedItemNone = 0,
    ManagedItemCamera = 1,
    ManagedItemObject = 2,
    ManagedItemLight = 3,
    ManagedItemTrigger = 4,
    ManagedItemEmitter = 5,
    ManagedItemInstance = 6,
    ManagedItemTerrain = 7,
    ManagedItemKindCount = 8
};

// Bits of a managed item's flag word.
enum nMItemFlag : uint32_t
{
    MItemFlagBillboard = 0x01,  // turned towards the current camera by every evaluation
    MItemFlagSolveOverlap = 0x02,
    MItemFlagGhost = 0x04,
    MItemFlagTriggerDetected = 0x10,  // tested against the scene's triggers
    MItemFlagStatic = 0x20,
    MItemFlagNoToolDraw = 0x40  // not queued for drawing in edit mode
};

// Fields of a managed item that a walk over many items may ask for ahead (nMItem::Prefetch).
enum nMItemPrefetch : uint32_t
{
    MItemPrefetchNode = 0x1,   // the transform node pointer
    MItemPrefetchBody = 0x2,   // the physics item pointer
    MItemPrefetchEvents = 0x4  // the script event dispatcher
};

// Commands of the scene's command vocabulary, performed on the item's node.
enum nACE3DCommand
{
    ACE3DToPosition = 0,      // x, y, z
    ACE3DOffsetPosition = 1,  // dx, dy, dz spread over the duration
    ACE3DToOffset = 2,        // pivot translation x, y, z
    ACE3DToScale = 3,         // x, y, z
    ACE3DToRotation = 4,      // x, y, z in degrees
    ACE3DToAlpha = 5          // opacity
};

// The scene-managed part of every scene item: the scene lists, names, numbers, activates,
// deletes, scripts, simulates and animates items through it. A kind derives from it and
// carries its transform node; the kind's constructor sets the node, the kind code and the
// node's managed-item pointer. Items are created by their scene and deleted only through
// its deletion queue or content clearing. Main thread only.
class nMItem : public nAnimationPlayer, public nACEUnit, public nScriptedObject
{
public:
    // Registers the item with the scene (active at once) and gives it a physics item from
    // the scene's world when there is one.
    explicit nMItem(nScene* scene);

    // Items of every kind live in the item pool (nItemPool): in creation order, block by block.
    static void* operator new(size_t size) { return nItemPool::Allocate(size, false); }
    static void* operator new(size_t size, const std::nothrow_t&) noexcept { return nItemPool::Allocate(size, true); }
    static void operator delete(void* p, size_t size) { nItemPool::Free(p, size); }

    // Animation channels 1-3 position, 4-6 Euler rotation (radians), 7-9 scale of the node;
    // any other id gives false and writes nothing. Setters dirty the node.
    bool GetChannel(int32_t id, float& value) override;
    bool SetChannel(int32_t id, float value) override;
    void GetOrientation(nQuaternion& q) override;        // the node's Euler angles in its order
    bool SetOrientation(const nQuaternion& q) override;  // true
    // Raises OnDelete when the scene has not already done so, removes the units, leaves the
    // scene and deletes the physics item. A kind calls RaiseOnDelete first in its own
    // destructor, while its node still stands.
    ~nMItem() override;
    virtual bool IsActive() const { return m_active; }
    virtual void Evaluate() = 0;         // the kind's per-frame work
    virtual void UpdateTransform() = 0;  // the kind's transform hook
    virtual void Setup();                // builds the body, then OnSetupDone

    bool ExecuteCommand(nACECommand* record, float slice) override;  // codes 0-5 on the node, others to the base
    nScriptUnit* CreateScriptUnit() override;                        // a managed-item unit, appended; NULL (logged) on failure

    // OnDelete, once: the scene raises it before deleting the item, while the node stands.
    void RaiseOnDelete();

    // Activity: the active byte and OnActivate change at once; the scene's lists and the
    // body follow at its next evaluation. recursive walks the child nodes' managed items.
    void SetActive(bool active, bool recursive);

    void SetupScript();                              // OnSetup (sets up units without instance first)
    void RaiseOnReset();                             // OnReset
    void Reset();                                    // body re-synced, logic matrices := local, random logic phase
    void RecordLocation();                           // initial := inverse pivot x local
    void RestoreInitialMatrix();                     // local := pivot x initial, when one is recorded
    void SetLogicTransformation(const nMatrix4& m);  // both logic matrices
    void SetPriority(float priority);                // a light re-sorts the scene's light list
    void UpdateAnimation();                          // the animation player by the engine frame time
    void SetParentNotified(nItem* parent);           // listeners 13, the node's SetParent, listeners 14

    // "MItem" NML: reading resets the units, helper, active, initial matrix, accumulator and
    // uid first; a wrong root or a missing uid is an error and false.
    bool Deserialize(nMetaFile* document, nMetaTag* tag);
    nMetaTag* Serialize(nMetaFile* document);  // NULL (logged) when the root cannot be made

    nScene* GetScene() const { return m_scene; }
    nItem* GetItem() const { return m_item; }
    int32_t GetKind() const { return m_kind; }
    const nString& GetName() const { return m_name; }
    void SetName(const char* name) { m_name.Set(name); }
    int32_t GetUid() const { return m_uid; }
    void SetUid(int32_t uid) { m_uid = uid; }
    float GetPriority() const { return m_priority; }
    bool IsHelper() const { return m_helper; }
    void SetHelper(bool helper) { m_helper = helper; }
    uint32_t GetFlags() const { return m_flags; }
    void SetFlags(uint32_t flags) { m_flags = flags; }
    float GetLogicRate() const { return m_logicRate; }
    void SetLogicRate(float rate) { m_logicRate = rate; }
    float GetLogicAccumulator() const { return m_logicAccumulator; }
    void SetLogicAccumulator(float s) { m_logicAccumulator = s; }
    const nMatrix4& GetLogicMatrix() const { return m_logicMatrix; }
    const nMatrix4& GetPreviousLogicMatrix() const { return m_previousLogicMatrix; }
    bool HasInitialMatrix() const { return m_initialRecorded; }
    const nMatrix4& GetInitialMatrix() const { return m_initialMatrix; }
    nPhysicItem* GetPhysicItem() const { return m_physicItem; }
    nItemScriptEventDispatcher* GetEvents() const { return m_events; }
    void SetEvents(nItemScriptEventDispatcher* events) { m_events = events; }

    // Asks the cache early for the lines of the fields named (nMItemPrefetch bits).
    void Prefetch(uint32_t what) const
    {
        if (what & MItemPrefetchNode) nPrefetch(&m_item);
        if (what & MItemPrefetchBody) nPrefetch(&m_physicItem);
        if (what & MItemPrefetchEvents) nPrefetch(&m_events);
    }

protected:
    void SetNode(nItem* node, int32_t kind);  // for the kind's constructor

    // What the scene's frame walks read of every item comes first, next to the bases' own
    // fields, so that a walk reads few lines of an item; the rest follow.
    nItem* m_item;
    nPhysicItem* m_physicItem;
    nItemScriptEventDispatcher* m_events;
    uint32_t m_flags;
    int32_t m_kind;
    float m_logicRate;
    float m_logicAccumulator;
    bool m_active;
    bool m_helper;
    bool m_initialRecorded;
    bool m_deleteRaised;
    nScene* m_scene;
    int32_t m_uid;
    float m_priority;
    nString m_name;

private:
    friend class nScene;

    void SetOwnActive(bool active);  // the active byte, queue and OnActivate of this item alone

    // Where the item stands in each of its scene's lists, so that leaving a list takes no
    // search. The lists of every item, of the active ones and of the item's kind link the
    // item's own nodes (nList::Link; unlinked while it is not in the list); the queues link
    // heap nodes, NULL when it is not queued. They follow the name: deleting an item reads
    // both, and not the matrices after them.
    struct SceneLinks
    {
        nListNode<nMItem*> all;
        nListNode<nMItem*> active;
        nListNode<nMItem*> kind;
        nListNode<nMItem*>* activation;
        nListNode<nMItem*>* deactivation;
        nListNode<nMItem*>* deletion;
    };
    SceneLinks m_links;
    nMatrix4 m_initialMatrix;
    nMatrix4 m_logicMatrix;
    nMatrix4 m_previousLogicMatrix;
};

#endif
