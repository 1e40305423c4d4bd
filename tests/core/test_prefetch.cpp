#include "core/nPrefetch.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

// A prefetch is only a hint: whatever the address, it neither faults nor changes memory. A
// plain load from any of these addresses would stop the test with a fault.
TEST(Prefetch, NeverFaultsWhateverTheAddress)
{
    const long page = sysconf(_SC_PAGESIZE);
    void* guarded = mmap(nullptr, page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(guarded, MAP_FAILED);
    void* unmapped = mmap(nullptr, page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(unmapped, MAP_FAILED);
    ASSERT_EQ(munmap(unmapped, page), 0);

    const void* addresses[] = {
        nullptr,
        guarded,  // mapped without any access
        static_cast<char*>(guarded) + page - 1,
        unmapped,                                          // no longer mapped at all
        reinterpret_cast<const void*>(uintptr_t(1)),       // odd, in the first page
        reinterpret_cast<const void*>(~uintptr_t(0) - 63)  // the top of the address space
    };
    for (const void* p : addresses) {
        SCOPED_TRACE(p);
        nPrefetch(p);
    }
    EXPECT_EQ(munmap(guarded, page), 0);
}

TEST(Prefetch, LeavesTheBytesItAsksForAsTheyWere)
{
    std::vector<unsigned char> block(4096);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<unsigned char>(i * 7);
    const std::vector<unsigned char> before = block;
    for (size_t at = 0; at < block.size(); at += 64) nPrefetch(&block[at]);
    nPrefetch(block.data() + block.size());  // one past the end
    EXPECT_EQ(block, before);
}
