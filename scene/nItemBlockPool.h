#ifndef N_ITEMBLOCKPOOL_H
#define N_ITEMBLOCKPOOL_H

#include <cstddef>
#include <mutex>

// Cache-line aligned blocks of one size for the managed items a scene makes by the thousand
// (an object is over a kilobyte and 64-byte aligned, which the heap serves slowly). Blocks are
// carved from chunks that are never returned to the system; a freed block waits for the next
// item, the last given first, and taking one asks the cache for the whole of the next, which a
// scene reading thousands of items builds soon after. Any thread may take and give blocks (one
// lock). Sanitizer builds take every block from the heap, where use after free and leaks show.
class nItemBlockPool
{
public:
    static const size_t kAlignment = 64;

    explicit nItemBlockPool(size_t blockSize);
    nItemBlockPool(const nItemBlockPool&) = delete;
    nItemBlockPool& operator=(const nItemBlockPool&) = delete;

    void* Take();            // a block of GetBlockSize() bytes; NULL when out of memory
    void Give(void* block);  // a block from Take; NULL is ignored
    size_t GetBlockSize() const { return m_blockSize; }
    static bool IsPooled();  // false in sanitizer builds

private:
    struct FreeBlock
    {
        FreeBlock* next;
    };

    size_t m_blockSize;  // a multiple of kAlignment
    std::mutex m_mutex;
    FreeBlock* m_free;  // blocks given back
    char* m_carve;      // next unused block of the newest chunk
    size_t m_left;      // unused blocks in it
};

#endif
