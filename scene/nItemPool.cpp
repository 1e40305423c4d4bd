#include "scene/nItemPool.h"

#include <new>

namespace {

#if defined(__SANITIZE_ADDRESS__)
const bool kPooled = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
const bool kPooled = false;
#else
const bool kPooled = true;
#endif
#else
const bool kPooled = true;
#endif

const size_t kSlotAlign = 64;
const size_t kClassCount = nItemPool::kMaxPooledSize / kSlotAlign;

struct Block;

// The blocks of one slot size: the one new items come from, and the others that have free slots.
struct SizeClass
{
    Block* current;
    Block* partial;
};

struct alignas(64) Block
{
    SizeClass* owner;
    Block* prev;  // in the owner's partial list
    Block* next;
    void* freeSlots;  // each free slot holds the next one
    uint32_t slotSize;
    uint32_t capacity;
    uint32_t bump;  // slots below it have been handed out at least once
    uint32_t live;
    bool inPartial;
};

SizeClass g_classes[kClassCount + 1];
int32_t g_blockCount = 0;
// Empty blocks kept for the next items, each holding the next one in its first bytes.
void* g_spare = 0;
int32_t g_spareCount = 0;

char* FirstSlot(Block* b)
{
    return reinterpret_cast<char*>(b) + sizeof(Block);
}

void LinkPartial(SizeClass& c, Block* b)
{
    b->prev = 0;
    b->next = c.partial;
    if (c.partial) c.partial->prev = b;
    c.partial = b;
    b->inPartial = true;
}

void UnlinkPartial(SizeClass& c, Block* b)
{
    if (b->prev) b->prev->next = b->next;
    else c.partial = b->next;
    if (b->next) b->next->prev = b->prev;
    b->prev = b->next = 0;
    b->inPartial = false;
}

bool HasRoom(const Block* b)
{
    return b->freeSlots || b->bump < b->capacity;
}

Block* NewBlock(SizeClass& c, uint32_t slotSize, bool mayFail)
{
    void* memory;
    if (g_spare) {
        memory = g_spare;
        g_spare = *static_cast<void**>(memory);
        --g_spareCount;
    } else
        memory = mayFail ? ::operator new(nItemPool::kBlockBytes, std::align_val_t(nItemPool::kBlockBytes), std::nothrow)
                         : ::operator new(nItemPool::kBlockBytes, std::align_val_t(nItemPool::kBlockBytes));
    if (!memory) return 0;
    Block* b = new (memory) Block();
    b->owner = &c;
    b->slotSize = slotSize;
    b->capacity = (uint32_t)((nItemPool::kBlockBytes - sizeof(Block)) / slotSize);
    ++g_blockCount;
    return b;
}

void DeleteBlock(Block* b)
{
    b->~Block();
    --g_blockCount;
    void* memory = b;
    *static_cast<void**>(memory) = g_spare;
    g_spare = memory;
    ++g_spareCount;
}

}

void* nItemPool::Allocate(size_t size, bool mayFail)
{
    if (!kPooled || size == 0 || size > kMaxPooledSize)
        return mayFail ? ::operator new(size, std::align_val_t(kSlotAlign), std::nothrow)
                       : ::operator new(size, std::align_val_t(kSlotAlign));
    const size_t slots = (size + kSlotAlign - 1) / kSlotAlign;
    SizeClass& c = g_classes[slots];
    Block* b = c.current;
    if (!b || !HasRoom(b)) {
        if (c.partial) {
            b = c.partial;
            UnlinkPartial(c, b);
        } else {
            b = NewBlock(c, (uint32_t)(slots * kSlotAlign), mayFail);
            if (!b) return 0;
        }
        // The block given up keeps its place: a freed slot puts it back in the partial list.
        c.current = b;
    }
    void* p;
    if (b->freeSlots) {
        p = b->freeSlots;
        b->freeSlots = *static_cast<void**>(p);
    } else {
        p = FirstSlot(b) + (size_t)b->bump * b->slotSize;
        ++b->bump;
    }
    ++b->live;
    return p;
}

void nItemPool::Free(void* p, size_t size)
{
    if (!p) return;
    if (!kPooled || size == 0 || size > kMaxPooledSize) {
        ::operator delete(p, std::align_val_t(kSlotAlign));
        return;
    }
    Block* b = reinterpret_cast<Block*>(reinterpret_cast<uintptr_t>(p) & ~(uintptr_t)(kBlockBytes - 1));
    SizeClass& c = *b->owner;
    const bool wasFull = !HasRoom(b);
    *static_cast<void**>(p) = b->freeSlots;
    b->freeSlots = p;
    --b->live;
    if (b->live == 0) {
        if (b == c.current) {
            // Every item of the block is gone: the next ones fill it from the start again.
            b->freeSlots = 0;
            b->bump = 0;
            return;
        }
        if (b->inPartial) UnlinkPartial(c, b);
        DeleteBlock(b);
        return;
    }
    if (wasFull && b != c.current && !b->inPartial) LinkPartial(c, b);
}

bool nItemPool::IsPooled()
{
    return kPooled;
}

void nItemPool::Trim()
{
    while (void* memory = g_spare) {
        g_spare = *static_cast<void**>(memory);
        ::operator delete(memory, std::align_val_t(kBlockBytes));
    }
    g_spareCount = 0;
}

int32_t nItemPool::GetBlockCount()
{
    return g_blockCount;
}

int32_t nItemPool::GetSpareBlockCount()
{
    return g_spareCount;
}
