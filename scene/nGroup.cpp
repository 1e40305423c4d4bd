#include "scene/nGroup.h"

#include "core/nLog.h"
#include "scene/nAnimationSource.h"
#include "scene/nItem.h"
#include "scene/nMItem.h"

#include <new>

namespace {

typedef nListNode<nMItem*> ItemNode;

}

nGroup::nGroup(nOrvex* engine)
    : m_engine(engine), m_root(0)
{
}

nMItem* nGroup::AddItem(nMItem* item, bool unique)
{
    if (!item || (unique && m_items.Contains(item))) return 0;
    return m_items.InsertAfter(item, 0) ? item : 0;
}

bool nGroup::RemoveItem(nMItem* item)
{
    return m_items.Remove(item);
}

nGroup* nGroup::AddGroup(nGroup* group, bool unique)
{
    if (!group || (unique && m_groups.Contains(group))) return 0;
    return m_groups.InsertAfter(group, 0) ? group : 0;
}

bool nGroup::RemoveGroup(nGroup* group)
{
    return m_groups.Remove(group);
}

bool nGroup::ContainsItem(const nMItem* item) const
{
    for (const ItemNode* n = m_items.GetHead(); n; n = n->next)
        if (n->value == item) return true;
    return false;
}

bool nGroup::ContainsGroup(const nGroup* group) const
{
    for (const nListNode<nGroup*>* n = m_groups.GetHead(); n; n = n->next)
        if (n->value == group) return true;
    return false;
}

nMItem* nGroup::FindItem(const char* name)
{
    for (ItemNode* n = m_items.GetHead(); n; n = n->next)
        if (n->value->GetName() == (name ? name : "")) return n->value;
    *g_log << "[*] Could not find item '" << (name ? name : "") << "' in group '" << m_name.GetCStr() << "'.\n";
    return 0;
}

nMItem* nGroup::FindItemByUid(int32_t uid)
{
    for (ItemNode* n = m_items.GetHead(); n; n = n->next)
        if (n->value->GetUid() == uid) return n->value;
    *g_log << "[*] Could not find item with uid '" << uid << "' in group '" << m_name.GetCStr() << "'.\n";
    return 0;
}

nGroup* nGroup::FindGroup(const char* name)
{
    for (nListNode<nGroup*>* n = m_groups.GetHead(); n; n = n->next)
        if (n->value->m_name == (name ? name : "")) return n->value;
    *g_log << "[*] Could not find group '" << (name ? name : "") << "' in group '" << m_name.GetCStr() << "'.\n";
    return 0;
}

// The walks below read the next member first: handlers raised by the members may change
// the group.

void nGroup::SetActive(bool active)
{
    for (ItemNode* n = m_items.GetHead(); n;) {
        ItemNode* next = n->next;
        n->value->SetActive(active, false);
        n = next;
    }
}

void nGroup::SetInvisible(bool invisible)
{
    for (ItemNode* n = m_items.GetHead(); n; n = n->next)
        if (nItem* node = n->value->GetItem()) node->SetFlag(ItemFlagInvisible, invisible);
}

void nGroup::OffsetMatrix(const nMatrix4& m)
{
    for (ItemNode* n = m_items.GetHead(); n; n = n->next) {
        nItem* node = n->value->GetItem();
        if (!node || node->GetParent()) continue;
        node->SetWorldMatrix(m * node->GetWorldMatrix(), false, false);
    }
}

void nGroup::SetRootItem(nMItem* root)
{
    nItem* oldNode = m_root ? m_root->GetItem() : 0;
    if (oldNode)
        for (ItemNode* n = m_items.GetHead(); n; n = n->next) {
            nItem* node = n->value->GetItem();
            if (node && node->GetParent() == oldNode) n->value->SetParentNotified(0);
        }
    nItem* newNode = root ? root->GetItem() : 0;
    for (ItemNode* n = m_items.GetHead(); n; n = n->next) {
        nItem* node = n->value->GetItem();
        if (node && !node->GetParent() && n->value != root) n->value->SetParentNotified(newNode);
    }
    m_root = root;
}

void nGroup::ForgetItem(const nMItem* item)
{
    while (m_items.Remove(const_cast<nMItem*>(item))) {}
    if (m_root == item) m_root = 0;
}

void nGroup::Setup()
{
    for (ItemNode* n = m_items.GetHead(); n;) {
        ItemNode* next = n->next;
        n->value->Setup();
        n = next;
    }
}

void nGroup::SetupScript()
{
    for (ItemNode* n = m_items.GetHead(); n;) {
        ItemNode* next = n->next;
        n->value->SetupScript();
        n = next;
    }
}

void nGroup::Reset(bool raiseEvent)
{
    for (ItemNode* n = m_items.GetHead(); n; n = n->next) n->value->Reset();
    if (!raiseEvent) return;
    for (ItemNode* n = m_items.GetHead(); n;) {
        ItemNode* next = n->next;
        n->value->RaiseOnReset();
        n = next;
    }
}

void nGroup::SetMotion(const char* motion, nAnimationSourceList** out, float fadeTime, bool keepOthers, float weight)
{
    nAnimationSourceList* list = 0;
    if (out) {
        list = new (std::nothrow) nAnimationSourceList();
        *out = list;
    }
    for (ItemNode* n = m_items.GetHead(); n; n = n->next)
        if (nMotion* m = n->value->FindMotion(motion)) n->value->PlayMotion(m, list, fadeTime, keepOthers, weight);
}
