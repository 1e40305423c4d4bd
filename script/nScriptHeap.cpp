#include "script/nScriptHeap.h"

#include <atomic>
#include <cstdlib>

#include <malloc.h>
#include <squirrel.h>

namespace {

std::atomic<uint64_t> s_inUse(0);
thread_local nScriptHeapWatch* t_watch = 0;

// Asks the watch before a block of size more bytes is taken; the watch may stop the script.
void Check(uint64_t more)
{
    if (t_watch && s_inUse.load(std::memory_order_relaxed) + more > t_watch->GetHeapLimit())
        t_watch->OnHeapLimit(more);
}

void Count(void* block, bool taken)
{
    if (!block) return;
    const uint64_t size = malloc_usable_size(block);
    if (taken) s_inUse.fetch_add(size, std::memory_order_relaxed);
    else s_inUse.fetch_sub(size, std::memory_order_relaxed);
}

}

uint64_t ScriptHeapInUse()
{
    return s_inUse.load(std::memory_order_relaxed);
}

nScriptHeapWatch* SetScriptHeapWatch(nScriptHeapWatch* watch)
{
    nScriptHeapWatch* previous = t_watch;
    t_watch = watch;
    return previous;
}

// The script library's allocator functions, in its own declarations.
void* sq_vm_malloc(SQUnsignedInteger size)
{
    Check(size);
    void* block = std::malloc(size);
    Count(block, true);
    return block;
}

void* sq_vm_realloc(void* p, SQUnsignedInteger oldsize, SQUnsignedInteger size)
{
    if (size > oldsize) Check(size - oldsize);
    Count(p, false);
    void* block = std::realloc(p, size);
    if (block) Count(block, true);
    else if (size != 0) Count(p, true);  // a failed realloc keeps the old block
    return block;
}

void sq_vm_free(void* p, SQUnsignedInteger size)
{
    Count(p, false);
    std::free(p);
}
