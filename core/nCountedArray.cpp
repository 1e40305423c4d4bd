#include "core/nCountedArray.h"

#include <new>

bool nFixedPtrArray::Alloc(int32_t count)
{
    Free();
    if (count < 0) return false;
    if (count == 0) return true;
    m_slots = new (std::nothrow) void*[count]();
    if (!m_slots) return false;
    m_count = count;
    return true;
}

bool nFixedPtrArray::Set(int32_t index, void* p)
{
    if (index < 0 || index >= m_count) return false;
    m_slots[index] = p;
    return true;
}

void* nFixedPtrArray::Get(int32_t index) const
{
    return index >= 0 && index < m_count ? m_slots[index] : 0;
}

void nFixedPtrArray::Free()
{
    delete[] m_slots;
    m_slots = 0;
    m_count = 0;
}

void FreeCountedArray(nFixedPtrArray& array)
{
    array.Free();
}

nCountedByteArray& nCountedByteArray::operator=(nCountedByteArray&& other)
{
    if (this != &other) {
        FreeCountedArray(*this);
        count = other.count;
        data = other.data;
        other.count = 0;
        other.data = 0;
    }
    return *this;
}

nCountedByteArray::~nCountedByteArray()
{
    FreeCountedArray(*this);
}

nCountedByteArray AllocateByteArray(int32_t count)
{
    nCountedByteArray array;
    if (count <= 0) return array;
    array.data = new (std::nothrow) uint8_t[count]();
    if (array.data) array.count = count;
    return array;
}

void FreeCountedArray(nCountedByteArray& array)
{
    delete[] array.data;
    array.data = 0;
    array.count = 0;
}
