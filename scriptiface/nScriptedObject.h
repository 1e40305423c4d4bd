#ifndef N_SCRIPTEDOBJECT_H
#define N_SCRIPTEDOBJECT_H

#include <cstdint>

#include "core/nList.h"
#include "core/nPrefetch.h"
#include "scriptiface/nScriptUnit.h"

class nMetaFile;
class nMetaTag;
class nScriptUnitWalk;

// The owner of a list of script units (a scene, a managed item). The list owns its units, in
// creation order, which is also the order of every event dispatch.
class nScriptedObject
{
public:
    nScriptedObject() : m_walks(0), m_cachedEvents(0), m_cachedVersion(0), m_cachedEpoch(0) {}
    virtual nScriptUnit* CreateScriptUnit() = 0;  // a new unit of the owner's kind, bound and appended; NULL (logged) on failure
    virtual ~nScriptedObject();                   // deletes every unit; walks under way stop

    nScriptedObject(const nScriptedObject&) = delete;
    nScriptedObject& operator=(const nScriptedObject&) = delete;

    void ClearScriptUnits();  // removes and deletes every unit; walks under way stop
    nList<nScriptUnit*>& GetScriptUnits() { return m_units; }
    const nList<nScriptUnit*>& GetScriptUnits() const { return m_units; }

    // Bit i set: some unit has its cached event i (in the numbering of the units' kind), so a
    // walk for a cached event can be skipped without touching the units. Taken anew after the
    // list changed or any unit anywhere was set up, released or destroyed.
    uint32_t GetCachedEvents()
    {
        if (m_cachedEpoch != s_cachedEpoch || m_cachedVersion != m_units.GetVersion()) CollectCachedEvents();
        return m_cachedEvents;
    }
    bool HasCachedEvent(int32_t event) { return event >= 0 && event < 32 && ((GetCachedEvents() >> event) & 1u); }
    // Asks early for what an event walk reads, for a walk over many owners: each level goes
    // through what the level before brought in. 0 the unit list, 1 its first node, 2 the
    // first unit. Reads only what the earlier levels asked for.
    void PrefetchUnits(int32_t level) const
    {
        const nListNode<nScriptUnit*>* head = m_units.GetHead();
        if (level == 0) nPrefetch(&m_units);
        else if (level == 1 && head) nPrefetch(head);
        else if (level == 2 && head) head->value->Prefetch();
    }
    static void NoteCachedEventsChanged() { ++s_cachedEpoch; }  // by the units
    static uint64_t GetCachedEpoch() { return s_cachedEpoch; }  // changes with any unit's cached events

    // "ScriptedObject" NML: one "ScriptUnit" per unit. Reading replaces the units (not set up).
    bool Deserialize(nMetaFile* document, nMetaTag* tag);
    nMetaTag* Serialize(nMetaFile* document) const;  // NULL without units or when out of memory

protected:
    nList<nScriptUnit*> m_units;

private:
    friend class nScriptUnitWalk;
    void CollectCachedEvents();

    nScriptUnitWalk* m_walks;  // walks under way, innermost first
    uint32_t m_cachedEvents;
    uint32_t m_cachedVersion;       // the list's version then
    uint64_t m_cachedEpoch;         // s_cachedEpoch when m_cachedEvents was taken
    static uint64_t s_cachedEpoch;  // changes with every change of a unit's cached events
};

// A walk over an owner's units, in list order, that stays safe while the handlers it calls
// clear the units or destroy the owner: the walk then ends. The next unit is taken before
// the current one is handed out, so units appended behind the last one wait for the next
// walk. Walks nest (a handler may raise events of its own); they live on the stack.
class nScriptUnitWalk
{
public:
    explicit nScriptUnitWalk(nScriptedObject* owner)  // NULL owner: an empty walk
        : m_owner(owner), m_next(owner ? owner->m_units.GetHead() : 0), m_outer(0)
    {
        if (owner) Enter();
    }
    ~nScriptUnitWalk()
    {
        // Walks end in the reverse order of their start: this one is normally the innermost.
        if (m_owner && m_owner->m_walks == this) m_owner->m_walks = m_outer;
        else if (m_owner) Leave();
    }
    nScriptUnitWalk(const nScriptUnitWalk&) = delete;
    nScriptUnitWalk& operator=(const nScriptUnitWalk&) = delete;

    nScriptUnit* Next()  // NULL at the end, or once the units or the owner are gone
    {
        if (!m_owner || !m_next) return 0;
        nListNode<nScriptUnit*>* node = m_next;
        m_next = node->next;
        return node->value;
    }
    bool IsOwnerGone() const { return m_owner == 0; }

private:
    friend class nScriptedObject;
    void Enter();  // becomes the owner's innermost walk (out of line: inlined, the stored stack address draws a dangling-pointer warning)
    void Leave();  // leaves the owner's walks from wherever it is in them

    nScriptedObject* m_owner;
    nListNode<nScriptUnit*>* m_next;
    nScriptUnitWalk* m_outer;
};

#endif
