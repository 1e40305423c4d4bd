#include "core/nLinkedList.h"

#include "core/nLog.h"

bool nLinkedList::Contains(const nLinkedListEntry* entry) const
{
    for (const nLinkedListEntry* e = m_head; e; e = e->m_next)
        if (e == entry) return true;
    return false;
}

nLinkedListEntry* nLinkedList::Add(nLinkedListEntry* entry, bool at_tail, bool skip_check)
{
    if (!entry) return 0;
    if (!skip_check && Contains(entry)) return entry;
    if (at_tail) {
        entry->m_next = 0;
        entry->m_prev = m_tail;
        if (m_tail) m_tail->m_next = entry;
        else m_head = entry;
        m_tail = entry;
    } else {
        entry->m_prev = 0;
        entry->m_next = m_head;
        if (m_head) m_head->m_prev = entry;
        else m_tail = entry;
        m_head = entry;
    }
    ++m_count;
    return entry;
}

nLinkedListEntry* nLinkedList::InsertBefore(nLinkedListEntry* entry, nLinkedListEntry* anchor, bool skip_check)
{
    if (!entry) return 0;
    if (!skip_check && Contains(entry)) return 0;
    if (!anchor) return 0;
    entry->m_next = anchor;
    entry->m_prev = anchor->m_prev;
    if (anchor->m_prev) anchor->m_prev->m_next = entry;
    else m_head = entry;
    anchor->m_prev = entry;
    ++m_count;
    return entry;
}

nLinkedListEntry* nLinkedList::InsertAfter(nLinkedListEntry* entry, nLinkedListEntry* anchor, bool skip_check)
{
    if (!entry) return 0;
    if (!skip_check && Contains(entry)) return 0;
    if (!anchor) return 0;
    entry->m_prev = anchor;
    entry->m_next = anchor->m_next;
    if (anchor->m_next) anchor->m_next->m_prev = entry;
    else m_tail = entry;
    anchor->m_next = entry;
    ++m_count;
    return entry;
}

bool nLinkedList::Remove(nLinkedListEntry* entry)
{
    if (!entry || !Contains(entry)) return false;
    if (entry->m_prev) entry->m_prev->m_next = entry->m_next;
    else m_head = entry->m_next;
    if (entry->m_next) entry->m_next->m_prev = entry->m_prev;
    else m_tail = entry->m_prev;
    entry->m_prev = 0;
    entry->m_next = 0;
    --m_count;
    return true;
}

bool nLinkedList::RemoveAndDelete(nLinkedListEntry* entry, bool del)
{
    if (!Remove(entry)) return false;
    if (del && !m_noDelete) delete entry;
    return true;
}

void nLinkedList::Clear(bool del)
{
    if (del && !m_noDelete) {
        while (m_head) {
            nLinkedListEntry* e = m_head;
            m_head = e->m_next;
            if (m_head) m_head->m_prev = 0;
            else m_tail = 0;
            e->m_prev = 0;
            e->m_next = 0;
            --m_count;
            delete e;
        }
    }
    // Entries that were not deleted keep their stale links; adding them anywhere rewrites both.
    m_head = 0;
    m_tail = 0;
    m_count = 0;
}

nLinkedListEntry* nLinkedList::GetAt(int32_t index) const
{
    nLinkedListEntry* e = index < 0 ? 0 : m_head;
    for (int32_t i = 0; i < index && e; ++i) e = e->m_next;
    if (!e) *g_log << "[!] out of bound linked list access.\n";
    return e;
}

nLinkedListEntryId* nLinkedListId::FindById(const nString& id, bool log_failure) const
{
    for (nLinkedListEntry* e = GetHead(); e; e = e->GetNext()) {
        nLinkedListEntryId* entry = static_cast<nLinkedListEntryId*>(e);
        if (entry->GetId() == id) return entry;
    }
    if (log_failure) *g_log << "[*] LListID failed to find '" << id.GetCStr() << "'.\n";
    return 0;
}

nLinkedListEntryId* nLinkedListId::FindById(const char* id, bool log_failure) const
{
    nString key;
    key.Set(id);
    return FindById(key, log_failure);
}
