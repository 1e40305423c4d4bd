#ifndef N_LINKEDLIST_H
#define N_LINKEDLIST_H

#include <cstdint>

#include "core/nString.h"

class nLinkedList;

// Base of every intrusive entry: the entry carries its own links. A list deletes its entries
// through the virtual destructor unless the list is marked no-delete. An entry belongs to at
// most one list at a time; its links mean nothing while it is in none.
class nLinkedListEntry
{
public:
    nLinkedListEntry() : m_prev(0), m_next(0) {}
    virtual ~nLinkedListEntry() {}

    nLinkedListEntry* GetPrev() const { return m_prev; }
    nLinkedListEntry* GetNext() const { return m_next; }

    // A copy is in no list: links are never copied.
    nLinkedListEntry(const nLinkedListEntry&) : m_prev(0), m_next(0) {}
    nLinkedListEntry& operator=(const nLinkedListEntry&) { return *this; }

private:
    friend class nLinkedList;

    nLinkedListEntry* m_prev;
    nLinkedListEntry* m_next;
};

// {current, next}: a fresh iterator starts at the head; the entry handed out may be removed
// (and deleted) before the next call, because its successor was saved first.
struct nLinkedListIterator
{
    nLinkedListEntry* current;
    nLinkedListEntry* next;

    nLinkedListIterator() : current(0), next(0) {}
};

// Intrusive doubly linked list. Searches, duplicate checks and index access walk from the
// head; callers that add many entries they know are new pass skip_check.
class nLinkedList
{
public:
    nLinkedList() : m_count(0), m_head(0), m_tail(0), m_noDelete(false) {}
    virtual ~nLinkedList() { Clear(true); }
    nLinkedList(const nLinkedList&) = delete;
    nLinkedList& operator=(const nLinkedList&) = delete;

    nLinkedListEntry* Add(nLinkedListEntry* entry, bool at_tail, bool skip_check);                       // an entry already in the list is returned unchanged; NULL for NULL
    nLinkedListEntry* InsertBefore(nLinkedListEntry* entry, nLinkedListEntry* anchor, bool skip_check);  // NULL for NULL, a NULL anchor or an entry already in
    nLinkedListEntry* InsertAfter(nLinkedListEntry* entry, nLinkedListEntry* anchor, bool skip_check);   // as InsertBefore
    bool Remove(nLinkedListEntry* entry);                                                                // detaches without deleting; false when absent
    bool RemoveAndDelete(nLinkedListEntry* entry, bool del);                                             // also deletes when asked and not no-delete; true when found
    void Clear(bool del);                                                                                // empties the list; deletes the entries when asked and not no-delete
    void DeleteAll() { Clear(true); }
    nLinkedListEntry* GetAt(int32_t index) const;              // NULL and an error line for an index outside 0..count-1
    nLinkedListEntry* Iterate(nLinkedListIterator& it) const;  // head first, then each successor; NULL at the end, then the head again

    int32_t GetCount() const { return m_count; }
    nLinkedListEntry* GetHead() const { return m_head; }
    nLinkedListEntry* GetTail() const { return m_tail; }
    bool IsNoDelete() const { return m_noDelete; }
    void SetNoDelete(bool v) { m_noDelete = v; }  // set: the list never deletes its entries

private:
    bool Contains(const nLinkedListEntry* entry) const;  // walks from the head

    int32_t m_count;
    nLinkedListEntry* m_head;
    nLinkedListEntry* m_tail;
    bool m_noDelete;
};

// Inline: readers call it for every child of every tag they read.
inline nLinkedListEntry* nLinkedList::Iterate(nLinkedListIterator& it) const
{
    nLinkedListEntry* candidate = it.current ? it.next : m_head;
    it.current = candidate;
    it.next = candidate ? candidate->m_next : 0;
    return candidate;
}

// Entry with a string id, looked up by nLinkedListId::FindById.
class nLinkedListEntryId : public nLinkedListEntry
{
public:
    nLinkedListEntryId() {}
    explicit nLinkedListEntryId(const char* id) { m_id.Set(id); }
    virtual ~nLinkedListEntryId() {}

    const nString& GetId() const { return m_id; }
    void SetId(const char* id) { m_id.Set(id); }
    void SetId(const nString& id) { m_id = id; }

protected:
    nString m_id;
};

// List of nLinkedListEntryId entries, searchable by id. Entries added to it must be
// nLinkedListEntryId (or derived from it).
class nLinkedListId : public nLinkedList
{
public:
    nLinkedListId() {}
    virtual ~nLinkedListId() {}

    // First entry whose id equals id (nString equality: cached hashes, then characters), or
    // NULL; with log_failure a miss writes one warning line.
    nLinkedListEntryId* FindById(const nString& id, bool log_failure) const;
    nLinkedListEntryId* FindById(const char* id, bool log_failure) const;
};

#endif
