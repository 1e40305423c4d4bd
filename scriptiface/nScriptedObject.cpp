#include "scriptiface/nScriptedObject.h"

#include <new>

#include "core/nLog.h"
#include "core/nMetaTag.h"
#include "scriptiface/nScriptUnit.h"

uint64_t nScriptedObject::s_cachedEpoch = 1;

void nScriptedObject::CollectCachedEvents()
{
    uint32_t events = 0;
    for (nList<nScriptUnit*>::Node* n = m_units.GetHead(); n; n = n->next) events |= n->value->GetCachedEvents();
    m_cachedEvents = events;
    m_cachedVersion = m_units.GetVersion();
    m_cachedEpoch = s_cachedEpoch;
}

nScriptedObject::~nScriptedObject()
{
    ClearScriptUnits();
    // A handler destroyed the owner while its events were being sent: those walks end.
    for (nScriptUnitWalk* w = m_walks; w; w = w->m_outer) w->m_owner = 0;
    m_walks = 0;
}

void nScriptedObject::ClearScriptUnits()
{
    for (nScriptUnitWalk* w = m_walks; w; w = w->m_outer) w->m_next = 0;
    // Unlink before deleting: nothing may find a unit that is being destroyed.
    while (nList<nScriptUnit*>::Node* n = m_units.GetHead()) {
        nScriptUnit* unit = n->value;
        delete m_units.Unlink(n);
        delete unit;
    }
}

bool nScriptedObject::Deserialize(nMetaFile* document, nMetaTag* tag)
{
    if (!tag) return false;
    if (!(tag->GetName() == "ScriptedObject")) {
        *g_log << "[!] " << "Could not parse scripted object. Root tag id is incorrect (" << tag->GetName().GetCStr() << ").\n";
        return false;
    }
    ClearScriptUnits();
    nMetaTagIterator it;
    while (nMetaTag* child = tag->NextChild(it)) {
        if (child->GetName() == "ScriptUnit") {
            nScriptUnit* unit = CreateScriptUnit();
            if (unit) unit->Deserialize(document, child);
        } else {
            *g_log << "[*] " << "Unknown tag '" << child->GetName().GetCStr() << "' in <ScriptedObject>.\n";
        }
    }
    return true;
}

nMetaTag* nScriptedObject::Serialize(nMetaFile* document) const
{
    if (m_units.GetCount() == 0) return 0;
    nMetaTag* root = new (std::nothrow) nMetaTag("ScriptedObject");
    if (!root) {
        *g_log << "[!] " << "Could not create managed root tag to serialize.\n";
        return 0;
    }
    for (nList<nScriptUnit*>::Node* n = m_units.GetHead(); n; n = n->next) {
        nMetaTag* unit = n->value->Serialize(document);
        if (unit && !root->AddChild(unit)) delete unit;
    }
    return root;
}

void nScriptUnitWalk::Enter()
{
    m_outer = m_owner->m_walks;
    m_owner->m_walks = this;
}

void nScriptUnitWalk::Leave()
{
    // Not the innermost walk: found by a search from the innermost one.
    nScriptUnitWalk** link = &m_owner->m_walks;
    while (*link && *link != this) link = &(*link)->m_outer;
    if (*link) *link = m_outer;
}
