#include "script/iface/nScriptedObject.h"

#include <new>

#include "core/nLog.h"
#include "core/nMetaTag.h"
#include "script/iface/nScriptUnit.h"

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

nScriptUnitWalk::nScriptUnitWalk(nScriptedObject* owner)
    : m_owner(owner), m_next(owner ? owner->m_units.GetHead() : 0), m_outer(0)
{
    if (owner) {
        m_outer = owner->m_walks;
        owner->m_walks = this;
    }
}

nScriptUnitWalk::~nScriptUnitWalk()
{
    if (!m_owner) return;
    // Walks end in the reverse order of their start; a walk further in is already gone.
    nScriptUnitWalk** link = &m_owner->m_walks;
    while (*link && *link != this) link = &(*link)->m_outer;
    if (*link) *link = m_outer;
}

nScriptUnit* nScriptUnitWalk::Next()
{
    if (!m_owner || !m_next) return 0;
    nListNode<nScriptUnit*>* node = m_next;
    m_next = node->next;
    return node->value;
}
