#ifndef N_SCRIPTEDOBJECT_H
#define N_SCRIPTEDOBJECT_H

#include "core/nList.h"

class nMetaFile;
class nMetaTag;
class nScriptUnit;
class nScriptUnitWalk;

// The owner of a list of script units (a scene, a managed item). The list owns its units, in
// creation order, which is also the order of every event dispatch.
class nScriptedObject
{
public:
    nScriptedObject() : m_walks(0) {}
    virtual nScriptUnit* CreateScriptUnit() = 0;   // a new unit of the owner's kind, bound and appended; NULL (logged) on failure
    virtual ~nScriptedObject();                    // deletes every unit; walks under way stop

    nScriptedObject(const nScriptedObject&) = delete;
    nScriptedObject& operator=(const nScriptedObject&) = delete;

    void                 ClearScriptUnits();        // removes and deletes every unit; walks under way stop
    nList<nScriptUnit*>& GetScriptUnits()           { return m_units; }
    const nList<nScriptUnit*>& GetScriptUnits() const { return m_units; }

    // "ScriptedObject" NML: one "ScriptUnit" per unit. Reading replaces the units (not set up).
    bool      Deserialize(nMetaFile* document, nMetaTag* tag);
    nMetaTag* Serialize(nMetaFile* document) const; // NULL without units or when out of memory

protected:
    nList<nScriptUnit*> m_units;

private:
    friend class nScriptUnitWalk;
    nScriptUnitWalk* m_walks;                      // walks under way, innermost first
};

// A walk over an owner's units, in list order, that stays safe while the handlers it calls
// clear the units or destroy the owner: the walk then ends. The next unit is taken before
// the current one is handed out, so units appended behind the last one wait for the next
// walk. Walks nest (a handler may raise events of its own); they live on the stack.
class nScriptUnitWalk
{
public:
    explicit nScriptUnitWalk(nScriptedObject* owner);   // NULL owner: an empty walk
    ~nScriptUnitWalk();
    nScriptUnitWalk(const nScriptUnitWalk&) = delete;
    nScriptUnitWalk& operator=(const nScriptUnitWalk&) = delete;

    nScriptUnit* Next();                                // NULL at the end, or once the units or the owner are gone
    bool         IsOwnerGone() const { return m_owner == 0; }

private:
    friend class nScriptedObject;
    nScriptedObject*         m_owner;
    nListNode<nScriptUnit*>* m_next;
    nScriptUnitWalk*         m_outer;
};

#endif
