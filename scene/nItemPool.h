#ifndef N_ITEMPOOL_H
#define N_ITEMPOOL_H

#include <cstddef>
#include <cstdint>

// Memory of the managed items. Items of one size are carved in creation order out of blocks
// of kBlockBytes, so that the scene's walks, which follow creation order, read neighbouring
// memory whatever the heap went through before; when every item of a size is gone the next
// ones start again at the beginning of a block. A block whose items are all gone is kept for
// the next items rather than handed back one by one in the middle of a deletion flush; Trim
// hands the kept blocks back (the scene does when its content is deleted). Slots are 64-byte
// aligned; the blocks stay below the size the heap maps on its own. Items larger than kMaxPooledSize, and every item under
// AddressSanitizer (so that its checks see each one), come from the heap. Main thread only.
class nItemPool
{
public:
    static const size_t kBlockBytes = 32 * 1024;
    static const size_t kMaxPooledSize = 4096;

    // NULL when out of memory if mayFail; otherwise a failure ends as the plain new does.
    static void* Allocate(size_t size, bool mayFail);
    static void Free(void* p, size_t size);  // size as allocated; NULL is ignored

    static bool IsPooled();               // false under AddressSanitizer
    static void Trim();                   // frees the kept empty blocks
    static int32_t GetBlockCount();       // blocks holding items now, over every size
    static int32_t GetSpareBlockCount();  // empty blocks kept
};

#endif
