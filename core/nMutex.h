#ifndef N_MUTEX_H
#define N_MUTEX_H

#include <mutex>

// Re-entrant mutex: the owning thread may lock it again and must unlock it as often as it
// locked it. Lock waits without time-out. Takes no other lock and logs nothing, so the log
// itself can be built on it.
class nMutex
{
public:
    nMutex() = default;
    ~nMutex() = default;
    nMutex(const nMutex&) = delete;
    nMutex& operator=(const nMutex&) = delete;

    void Lock() { m_mutex.lock(); }                // waits until this thread owns it
    void Unlock() { m_mutex.unlock(); }            // releases one level; caller must own it
    bool TryLock() { return m_mutex.try_lock(); }  // true when now owned (one more level)
    void Close() {}                                // nothing to close; kept for the owners' symmetry

private:
    std::recursive_mutex m_mutex;
};

// Scope guard: locks the mutex in the constructor and unlocks it in the destructor, so a
// lock taken in a function is released on every way out of it. Do not lock the mutex
// yourself before constructing the guard (that would leave one level locked).
class nMutexScope
{
public:
    explicit nMutexScope(nMutex* mutex) : m_mutex(mutex)
    {
        if (m_mutex) m_mutex->Lock();
    }
    explicit nMutexScope(nMutex& mutex) : m_mutex(&mutex) { m_mutex->Lock(); }
    ~nMutexScope()
    {
        if (m_mutex) m_mutex->Unlock();
    }
    nMutexScope(const nMutexScope&) = delete;
    nMutexScope& operator=(const nMutexScope&) = delete;

private:
    nMutex* m_mutex;
};

#endif
