#ifndef N_SCRIPTEDOBJECT_H
#define N_SCRIPTEDOBJECT_H

#include "core/nList.h"

class nMetaFile;
class nMetaTag;
class nScriptUnit;

// The owner of a list of script units (a scene, a managed item). The list owns its units, in
// creation order, which is also the order of every event dispatch.
class nScriptedObject
{
public:
    nScriptedObject() {}
    virtual nScriptUnit* CreateScriptUnit() = 0;   // a new unit of the owner's kind, bound and appended; NULL (logged) on failure
    virtual ~nScriptedObject();                    // deletes every unit

    nScriptedObject(const nScriptedObject&) = delete;
    nScriptedObject& operator=(const nScriptedObject&) = delete;

    void                 ClearScriptUnits();        // removes and deletes every unit
    nList<nScriptUnit*>& GetScriptUnits()           { return m_units; }
    const nList<nScriptUnit*>& GetScriptUnits() const { return m_units; }

    // "ScriptedObject" NML: one "ScriptUnit" per unit. Reading replaces the units (not set up).
    bool      Deserialize(nMetaFile* document, nMetaTag* tag);
    nMetaTag* Serialize(nMetaFile* document) const; // NULL without units or when out of memory

protected:
    nList<nScriptUnit*> m_units;
};

#endif
