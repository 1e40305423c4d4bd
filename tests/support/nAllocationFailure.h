#pragma once
// Makes chosen non-throwing allocations fail, for tests of the engine's allocation-failure paths.
// An executable that calls any of these gets the replaced operator new(nothrow) and new[](nothrow)
// from this library's object; other executables keep the standard ones.

#include <cstddef>

void nFailNthNothrowAllocation(int n);                // the n-th next nothrow allocation fails; 0 disarms
                                                      // (arming clears nNothrowAllocationFailed, disarming keeps it)
bool nNothrowAllocationFailed();                      // whether an armed countdown has made one fail
void nFailNothrowAllocationOfSize(std::size_t size);  // the next nothrow allocation of this size fails; 0 disarms
