#ifndef N_SHAREDOBJECT_H
#define N_SHAREDOBJECT_H

#include <cstdint>

// Intrusive reference-counted base. A new object has count 0; the first holder takes it to 1
// and the release that brings it back to 0 deletes the object through its virtual destructor.
// Objects used only through raw pointers are deleted explicitly by their owner instead.
// Not thread-safe: an object and its holders live on one thread at a time.
class nSharedObject
{
public:
    nSharedObject() : m_refcount(0) {}
    virtual ~nSharedObject() {}

    // A copy is a new object: it has no holders of its own, and assigning over an object
    // leaves the holders of the target where they are.
    nSharedObject(const nSharedObject&) : m_refcount(0) {}
    nSharedObject& operator=(const nSharedObject&) { return *this; }

    void AddRef() { ++m_refcount; }
    void Release()
    {
        if (--m_refcount == 0) delete this;
    }  // deletes on the last release
    int32_t GetRefCount() const { return m_refcount; }

private:
    int32_t m_refcount;
};

// Counting pointer to one nSharedObject-derived T (NULL allowed). Holding a target means
// holding one reference on it; the pointer drops it when it lets the target go.
template<class T>
class nSharedPtr
{
public:
    nSharedPtr() : m_target(0) {}
    explicit nSharedPtr(T* target) : m_target(target)
    {
        if (m_target) m_target->AddRef();
    }
    nSharedPtr(const nSharedPtr& other) : m_target(other.m_target)
    {
        if (m_target) m_target->AddRef();
    }
    template<class U>
    nSharedPtr(const nSharedPtr<U>& other) : m_target(other.Get())
    {
        if (m_target) m_target->AddRef();
    }
    ~nSharedPtr() { Release(); }

    nSharedPtr& operator=(const nSharedPtr& other) { return Assign(other.m_target); }
    nSharedPtr& operator=(T* target) { return Assign(target); }

    // Drops the reference on the target (which may delete it) and holds nothing.
    void Release()
    {
        T* old = m_target;
        m_target = 0;
        if (old) old->Release();
    }

    bool IsValid() const { return m_target != 0; }
    T* Get() const { return m_target; }
    T* operator->() const { return m_target; }
    T& operator*() const { return *m_target; }

    bool operator==(const nSharedPtr& other) const { return m_target == other.m_target; }
    bool operator!=(const nSharedPtr& other) const { return m_target != other.m_target; }
    bool operator==(const T* target) const { return m_target == target; }
    bool operator!=(const T* target) const { return m_target != target; }

private:
    // The new target is referenced before the old one is released: the old target may be the
    // last holder of the new one, and releasing it first would delete the new target.
    nSharedPtr& Assign(T* target)
    {
        if (target == m_target) return *this;
        T* old = m_target;
        m_target = target;
        if (m_target) m_target->AddRef();
        if (old) old->Release();
        return *this;
    }

    T* m_target;
};

#endif
