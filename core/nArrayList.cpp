#include "core/nArrayList.h"

#include <new>

#include "core/nLog.h"

bool nArrayIndex::ResizeSlots(uint32_t size, const char* failure)
{
    if (size == m_size) return true;
    if (size < m_count) {
        *g_log << "[!] Cannot shrink array, too many entries.\n";
        return false;
    }
    void** slots = new (std::nothrow) void*[size];
    uint32_t* order = new (std::nothrow) uint32_t[size];
    uint32_t* pool = new (std::nothrow) uint32_t[size];
    if (!slots || !order || !pool) {
        delete[] slots;
        delete[] order;
        delete[] pool;
        *g_log << "[!] " << failure;
        return false;
    }
    for (uint32_t i = 0; i < size; ++i) {
        slots[i] = i < m_count ? m_slots[m_order[i]] : 0;
        order[i] = i;
        pool[i] = i;
    }
    delete[] m_slots;
    delete[] m_order;
    delete[] m_free;
    m_slots = slots;
    m_order = order;
    m_free = pool;
    m_size = size;
    return true;
}

bool nArrayIndex::GrowTo(uint32_t size, const char* failure)
{
    if (size <= m_size) return false;  // the capacity computation wrapped or did not grow
    return ResizeSlots(size, failure) && m_count < m_size;
}

bool nArrayIndex::AppendSlot(void* p)
{
    m_order[m_count] = m_free[m_count];
    m_slots[m_order[m_count]] = p;
    ++m_count;
    return true;
}

bool nArrayIndex::CheckInsertIndex(uint32_t index) const
{
    if (index <= m_count) return true;
    *g_log << "[!] Cannot insert past the end of the array.\n";
    return false;
}

bool nArrayIndex::InsertSlot(void* p, uint32_t index)
{
    uint32_t slot = m_free[m_count];
    for (uint32_t i = m_count; i > index; --i) m_order[i] = m_order[i - 1];
    m_order[index] = slot;
    m_slots[slot] = p;
    ++m_count;
    return true;
}

void* nArrayIndex::GetSlot(uint32_t index) const
{
    if (index < m_count) return m_slots[m_order[index]];
    *g_log << "[*] Out of bound array access.\n";
    return 0;
}

bool nArrayIndex::DetachSlot(const void* p)
{
    for (uint32_t i = 0; i < m_count; ++i)
        if (m_slots[m_order[i]] == p) return DetachAt(i);
    return false;
}

bool nArrayIndex::DetachAt(uint32_t index)
{
    if (index >= m_count) {
        *g_log << "[*] Out of bound array access.\n";
        return false;
    }
    m_free[m_count - 1] = m_order[index];
    for (uint32_t i = index + 1; i < m_count; ++i) m_order[i - 1] = m_order[i];
    --m_count;
    return true;
}

void nArrayIndex::FreeArrays()
{
    delete[] m_slots;
    delete[] m_order;
    delete[] m_free;
    m_slots = 0;
    m_order = 0;
    m_free = 0;
    m_size = 0;
    m_count = 0;
}

static const char* const kListResizeFailure = "Failed to resize array, new() failed.\n";

nArrayList::nArrayList(uint32_t capacity)
{
    Resize(capacity);
}

bool nArrayList::Resize(uint32_t size)
{
    return ResizeSlots(size, kListResizeFailure);
}

bool nArrayList::Add(nArrayEntry* entry, bool may_grow)
{
    if (m_count == m_size && !(may_grow && GrowTo(2 * m_size + 4, kListResizeFailure))) return false;
    return AppendSlot(entry);
}

bool nArrayList::Insert(nArrayEntry* entry, uint32_t index, bool may_grow)
{
    if (!CheckInsertIndex(index)) return false;
    if (m_count == m_size && !(may_grow && GrowTo(m_size ? 2 * m_size : 4, kListResizeFailure))) return false;
    return InsertSlot(entry, index);
}

nArrayEntry* nArrayList::Get(uint32_t index) const
{
    return static_cast<nArrayEntry*>(GetSlot(index));
}

bool nArrayList::Detach(nArrayEntry* entry)
{
    return DetachSlot(entry);
}

// A removal first shrinks a list that is less than half full to half its size, but never
// below 64 slots: a smaller list is enlarged to 64 instead.
bool nArrayList::Remove(nArrayEntry* entry, bool del)
{
    if (m_count < m_size / 2) Resize(m_size >= 128 ? m_size / 2 : 64);
    if (!Detach(entry)) return false;
    if (del && entry) delete entry;
    return true;
}

void nArrayList::Clear(bool del)
{
    if (del) {
        for (uint32_t i = 0; i < m_count; ++i) {
            nArrayEntry* entry = static_cast<nArrayEntry*>(m_slots[m_order[i]]);
            m_slots[m_order[i]] = 0;
            delete entry;
        }
    }
    FreeArrays();
}
