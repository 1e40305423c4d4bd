#ifndef N_COUNTEDARRAY_H
#define N_COUNTEDARRAY_H

#include <cstdint>

// Small {count, data} arrays of resources and skinning. Each owns its data and frees it when
// destroyed; FreeCountedArray empties one early.

// Fixed number of pointer slots; the array does not own what they point at.
class nFixedPtrArray
{
public:
    nFixedPtrArray() : m_count(0), m_slots(0) {}
    ~nFixedPtrArray() { Free(); }
    nFixedPtrArray(const nFixedPtrArray&) = delete;
    nFixedPtrArray& operator=(const nFixedPtrArray&) = delete;

    bool Alloc(int32_t count);         // replaces the slots with count NULL slots; false (and empty) when count < 0 or out of memory
    bool Set(int32_t index, void* p);  // false unless 0 <= index < count
    void* Get(int32_t index) const;    // NULL outside 0..count-1
    int32_t GetCount() const { return m_count; }
    void Free();  // empty: count 0, no slots

private:
    int32_t m_count;
    void** m_slots;
};

// Counted bytes: count 0 and no data when empty.
struct nCountedByteArray
{
    int32_t count;
    uint8_t* data;

    nCountedByteArray() : count(0), data(0) {}
    nCountedByteArray(nCountedByteArray&& other) : count(other.count), data(other.data)
    {
        other.count = 0;
        other.data = 0;
    }
    nCountedByteArray& operator=(nCountedByteArray&& other);
    ~nCountedByteArray();
    nCountedByteArray(const nCountedByteArray&) = delete;
    nCountedByteArray& operator=(const nCountedByteArray&) = delete;
};

nCountedByteArray AllocateByteArray(int32_t count);  // count zeroed bytes; empty when count <= 0 or out of memory
void FreeCountedArray(nCountedByteArray& array);     // frees the data; count 0, no data
void FreeCountedArray(nFixedPtrArray& array);        // as nFixedPtrArray::Free

#endif
