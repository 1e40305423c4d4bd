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

namespace {

const size_t kChunkBlocks = 64;

}

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
