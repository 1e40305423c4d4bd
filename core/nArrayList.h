#ifndef N_ARRAYLIST_H
#define N_ARRAYLIST_H

#include <cstdint>
#include <type_traits>

// Indexed pointer arrays that keep the logical order apart from the storage slots.
//   slots: storage; a slot keeps its pointer until the slot is reused
//   order: logical index -> slot index, for indices below count
//   free:  slot pool; free[count] is the slot the next added pointer takes
// Invariant: order[0..count-1] and free[count..size-1] together name every slot once.
// After a resize the pointers sit in slots 0..count-1 in logical order and order[i] = free[i] = i.
// Access by logical index and appending are constant time; insertion and removal move only
// the 32-bit order indices, never the pointers.

// The storage and bookkeeping shared by nArrayList and nArray<T>.
class nArrayIndex
{
public:
    uint32_t GetCount() const { return m_count; }
    uint32_t GetSize() const { return m_size; }           // capacity of the three arrays
    const uint32_t* GetOrder() const { return m_order; }  // order[0..count-1]
    const uint32_t* GetFree() const { return m_free; }    // pool in free[count..size-1]
    void* const* GetSlots() const { return m_slots; }     // slots[0..size-1], in storage order

protected:
    nArrayIndex() : m_slots(0), m_order(0), m_free(0), m_size(0), m_count(0) {}
    ~nArrayIndex() { FreeArrays(); }
    nArrayIndex(const nArrayIndex&) = delete;
    nArrayIndex& operator=(const nArrayIndex&) = delete;

    bool ResizeSlots(uint32_t size, const char* failure);  // failure: the error text after "[!] "
    bool GrowTo(uint32_t size, const char* failure);       // true only when there is room for one more
    bool AppendSlot(void* p);                              // needs count < size
    bool CheckInsertIndex(uint32_t index) const;           // index <= count, else an error line and false
    bool InsertSlot(void* p, uint32_t index);              // needs count < size and index <= count
    void* GetSlot(uint32_t index) const;                   // NULL and a warning line past the count
    bool DetachSlot(const void* p);                        // by pointer equality; false when absent
    bool DetachAt(uint32_t index);                         // false and a warning line past the count
    void FreeArrays();                                     // frees the three arrays; size and count 0

    void** m_slots;
    uint32_t* m_order;
    uint32_t* m_free;
    uint32_t m_size;
    uint32_t m_count;
};

// Base of the elements of an nArrayList; the list deletes them through this destructor.
class nArrayEntry
{
public:
    virtual ~nArrayEntry() {}
};

// Indexed array of nArrayEntry pointers that owns its entries.
class nArrayList : public nArrayIndex
{
public:
    explicit nArrayList(uint32_t capacity);  // empty, then Resize(capacity)
    virtual ~nArrayList() { Clear(true); }

    bool Resize(uint32_t size);                                      // refuses (logged) a size below the count or a failed allocation
    bool Add(nArrayEntry* entry, bool may_grow);                     // appends; when full grows to 2 * size + 4, or fails
    bool Insert(nArrayEntry* entry, uint32_t index, bool may_grow);  // index 0..count; when full grows to 2 * size (4 from 0), or fails
    nArrayEntry* Get(uint32_t index) const;                          // entry at a logical index; NULL and a warning line past the count
    bool Detach(nArrayEntry* entry);                                 // removes from the order without deleting; false when absent
    bool Remove(nArrayEntry* entry, bool del);                       // under half full: first resizes to size / 2 (size >= 128) or 64; then Detach, deleting when asked
    void Clear(bool del);                                            // deletes the entries when asked; frees the arrays, size 0
};

// Indexed array of pointers T (T is a pointer type) that never deletes its elements.
template<class T>
class nArray : public nArrayIndex
{
    static_assert(std::is_pointer<T>::value, "nArray holds pointers");

public:
    explicit nArray(uint32_t capacity) { Resize(capacity); }
    virtual ~nArray() {}

    bool Resize(uint32_t size) { return ResizeSlots(size, "Failed to resize array.\n"); }
    bool Insert(T element, uint32_t index, bool may_grow)  // index 0..count; when full grows to 2 * size, or fails
    {
        if (!CheckInsertIndex(index)) return false;
        if (m_count == m_size && !(may_grow && GrowTo(2 * m_size, "Failed to resize array.\n"))) return false;
        return InsertSlot((void*)element, index);
    }
    bool RemoveAt(uint32_t index) { return DetachAt(index); }  // false and a warning line past the count
    T Get(uint32_t index) const { return (T)GetSlot(index); }  // NULL and a warning line past the count
};

#endif
