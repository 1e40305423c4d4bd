#include "tests/support/nAllocationFailure.h"

#include <new>

namespace {
int g_countdown = 0;  // counts nothrow allocations down while armed; the one reaching 0 fails
bool g_failed = false;
std::size_t g_failSize = 0;  // the next nothrow allocation of this size fails

bool ShouldFail(std::size_t size)
{
    if (g_failSize && size == g_failSize) {
        g_failSize = 0;
        return true;
    }
    if (g_countdown <= 0 || --g_countdown > 0) return false;
    g_failed = true;
    return true;
}
}

void nFailNthNothrowAllocation(int n)
{
    g_countdown = n;
    if (n > 0) g_failed = false;  // disarming keeps the answer of the last countdown
}

bool nNothrowAllocationFailed() { return g_failed; }

void nFailNothrowAllocationOfSize(std::size_t size) { g_failSize = size; }

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (ShouldFail(size)) return nullptr;
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    if (ShouldFail(size)) return nullptr;
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}
