#ifndef N_PREFETCH_H
#define N_PREFETCH_H

// Asks the cache for the line holding p, ahead of a walk over many objects. Never faults,
// whatever p is. Written as a step the compiler must keep: it takes a function made only of
// loads and plain prefetches for one without effect and drops the calls to it.
inline void nPrefetch(const void* p)
{
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    __asm__ __volatile__("prefetcht0 %0"
                         :
                         : "m"(*static_cast<const char*>(p)));
#else
    __builtin_prefetch(p);
#endif
}

#endif
