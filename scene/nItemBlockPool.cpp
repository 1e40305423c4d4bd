#include "scene/nItemBlockPool.h"

#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define N_ITEM_BLOCK_POOL 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define N_ITEM_BLOCK_POOL 0
#endif
#endif
#ifndef N_ITEM_BLOCK_POOL
#define N_ITEM_BLOCK_POOL 1
#endif

#if N_ITEM_BLOCK_POOL
namespace {

const size_t kChunkBlocks = 64;
const size_t kLineBytes = 64;

// Asks the cache for every line of a block, to be written: an item is built over the whole of
// its block soon after it is taken, and a block freed a while ago has gone cold.
void PrefetchForWriting(const char* block, size_t bytes)
{
    for (size_t at = 0; at < bytes; at += kLineBytes) __builtin_prefetch(block + at, 1);
}

}
#endif

nItemBlockPool::nItemBlockPool(size_t blockSize)
    : m_blockSize((blockSize + kAlignment - 1) / kAlignment * kAlignment), m_free(0), m_carve(0), m_left(0)
{
    if (m_blockSize == 0) m_blockSize = kAlignment;
}

void* nItemBlockPool::Take()
{
#if N_ITEM_BLOCK_POOL
    std::lock_guard<std::mutex> lock(m_mutex);
    if (FreeBlock* block = m_free) {
        m_free = block->next;
        // The block handed out next starts loading now, while this one is built.
        if (m_free) PrefetchForWriting(reinterpret_cast<const char*>(m_free), m_blockSize);
        return block;
    }
    if (m_left == 0) {
        char* chunk = static_cast<char*>(::operator new(m_blockSize* kChunkBlocks, std::align_val_t(kAlignment), std::nothrow));
        if (!chunk) return 0;
        m_carve = chunk;
        m_left = kChunkBlocks;
    }
    void* block = m_carve;
    m_carve += m_blockSize;
    --m_left;
    return block;
#else
    return ::operator new(m_blockSize, std::align_val_t(kAlignment), std::nothrow);
#endif
}

void nItemBlockPool::Give(void* block)
{
    if (!block) return;
#if N_ITEM_BLOCK_POOL
    std::lock_guard<std::mutex> lock(m_mutex);
    FreeBlock* freed = static_cast<FreeBlock*>(block);
    freed->next = m_free;
    m_free = freed;
#else
    ::operator delete(block, std::align_val_t(kAlignment));
#endif
}

bool nItemBlockPool::IsPooled()
{
    return N_ITEM_BLOCK_POOL != 0;
}
