#ifndef N_SCRIPTHEAP_H
#define N_SCRIPTHEAP_H

#include <cstdint>

// The script library's memory. Every block it allocates passes through this program's
// sq_vm_malloc, sq_vm_realloc and sq_vm_free (they take the place of the library's own when
// the program links), so the bytes it holds are known at any time, for every machine of the
// process together.

// Told of an allocation that would take the script library past its limit; installed on the
// calling thread while a script runs under a bound.
class nScriptHeapWatch
{
public:
    virtual ~nScriptHeapWatch() {}
    virtual uint64_t GetHeapLimit() const = 0;      // bytes the script library may hold
    virtual void OnHeapLimit(uint64_t wanted) = 0;  // may not return (it stops the script)
};

uint64_t ScriptHeapInUse();                                     // bytes the script library holds now
nScriptHeapWatch* SetScriptHeapWatch(nScriptHeapWatch* watch);  // this thread's watch (NULL: none); the previous one

#endif
