#include "scriptiface/nScriptedObject.h"

#include <new>

#include "core/nLog.h"
#include "core/nMLReader.h"
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
    if (!nMLCheckRoot(tag, "ScriptedObject", "scripted object")) return false;
    ClearScriptUnits();
    static const nMLTagRule<nScriptedObject> kTags[] = {
        {"ScriptUnit", [](nScriptedObject& o, nMetaFile* d, nMetaTag* t) {
             if (nScriptUnit* unit = o.CreateScriptUnit()) unit->Deserialize(d, t);
         }},
    };
    nMLReadChildren(*this, document, tag, kTags, "ScriptedObject");
    return true;
}

nMetaTag* nScriptedObject::Serialize(nMetaFile* document) const
{
    if (m_units.GetCount() == 0) return 0;
    nMetaTag* root = new (std::nothrow) nMetaTag("ScriptedObject");
    if (!root) {
        *g_log << "[!] Could not create managed root tag to serialize.\n";
        return 0;
    }
    for (nList<nScriptUnit*>::Node* n = m_units.GetHead(); n; n = n->next) {
        nMetaTag* unit = n->value->Serialize(document);
        AppendTag(root, unit);
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
