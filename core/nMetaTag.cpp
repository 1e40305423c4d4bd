#include "core/nMetaTag.h"

#include "core/nLog.h"

#include <cstdlib>

#include <mutex>
#include <new>

// ---------------------------------------------------------------------------------------------
// Slot pool
//
// Each thread keeps its own list of free slots, so allocating and freeing take no lock. A thread
// that frees more than it allocates (a loader thread's documents freed by another thread) hands
// batches of slots to a shared list, from which a thread that runs dry takes a batch before it
// carves a new chunk. Chunks are never returned to the system. Sanitizer builds use the plain heap,
// which is what finds a tag used after its deletion.

#if defined(__SANITIZE_ADDRESS__)
#define N_METATAG_POOL 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define N_METATAG_POOL 0
#endif
#endif
#ifndef N_METATAG_POOL
#define N_METATAG_POOL 1
#endif

#if N_METATAG_POOL
namespace
{

struct FreeSlot
{
    FreeSlot* next;        // next free slot of the same list
    FreeSlot* nextBatch;   // in the first slot of a batch on the shared list: the next batch
};

const std::size_t kSlotSize       = (sizeof(nMetaTag) + 15) & ~static_cast<std::size_t>(15);
const std::size_t kChunkAlignment = kSlotSize % 128 == 0 ? 128 : 16;   // divides kSlotSize
const int         kBatchSlots  = 256;                  // slots per chunk and per shared batch
const int         kKeptSlots   = 2 * kBatchSlots;      // a thread hands a batch over beyond this

struct SharedPool
{
    std::mutex mutex;
    FreeSlot*  batches = nullptr;   // full batches of kBatchSlots slots
    void*      chunks = nullptr;    // every chunk, linked through its first word
};

SharedPool& Shared()
{
    static SharedPool* pool = new SharedPool();   // never destroyed: tags may outlive static destruction
    return *pool;
}

struct LocalPool
{
    FreeSlot* head;
    int       count;
};

thread_local LocalPool t_pool = {nullptr, 0};

// Gives the thread's free slots to the shared list when the thread ends.
struct LocalPoolFlush
{
    ~LocalPoolFlush()
    {
        while (t_pool.count >= kBatchSlots)
            HandOver();
        // A partial batch stays with the exiting thread; its chunk memory is still recorded.
        t_pool.head = nullptr;
        t_pool.count = 0;
    }

    static void HandOver()
    {
        FreeSlot* first = t_pool.head;
        FreeSlot* last = first;
        for (int i = 1; i < kBatchSlots; ++i)
            last = last->next;
        t_pool.head = last->next;
        t_pool.count -= kBatchSlots;
        last->next = nullptr;
        SharedPool& shared = Shared();
        std::lock_guard<std::mutex> lock(shared.mutex);
        first->nextBatch = shared.batches;
        shared.batches = first;
    }
};

thread_local LocalPoolFlush t_flush;

__attribute__((noinline)) bool Refill()
{
    (void)&t_flush;   // registers the flush for this thread
    SharedPool& shared = Shared();
    {
        std::lock_guard<std::mutex> lock(shared.mutex);
        if (FreeSlot* batch = shared.batches)
        {
            shared.batches = batch->nextBatch;
            t_pool.head = batch;
            t_pool.count = kBatchSlots;
            return true;
        }
    }
    // One slot's worth in front of the slots records the chunk. Slots of a whole number of
    // cache lines start on a line pair: a tag is then fetched in one go.
    char* chunk = static_cast<char*>(std::aligned_alloc(kChunkAlignment, kSlotSize * (kBatchSlots + 1)));
    if (!chunk)
        return false;
    {
        std::lock_guard<std::mutex> lock(shared.mutex);
        *reinterpret_cast<void**>(chunk) = shared.chunks;
        shared.chunks = chunk;
    }
    FreeSlot* head = nullptr;
    for (int i = kBatchSlots; i >= 1; --i)
    {
        FreeSlot* slot = reinterpret_cast<FreeSlot*>(chunk + kSlotSize * static_cast<std::size_t>(i));
        slot->next = head;
        head = slot;
    }
    t_pool.head = head;
    t_pool.count = kBatchSlots;
    return true;
}

inline void* TakeSlot()
{
    if (!t_pool.head && !Refill())
        return nullptr;
    FreeSlot* slot = t_pool.head;
    t_pool.head = slot->next;
    --t_pool.count;
    // The next tag follows soon: its slot and the link in it start loading now.
    __builtin_prefetch(t_pool.head, 1);
    return slot;
}

inline void GiveSlot(void* block)
{
    FreeSlot* slot = static_cast<FreeSlot*>(block);
    slot->next = t_pool.head;
    t_pool.head = slot;
    if (++t_pool.count > kKeptSlots)
        LocalPoolFlush::HandOver();
}

}  // namespace
#endif

void* nMetaTag::operator new(std::size_t size)
{
    void* block = operator new(size, std::nothrow);
    if (!block)
        throw std::bad_alloc();
    return block;
}

void* nMetaTag::operator new(std::size_t size, const std::nothrow_t&) noexcept
{
#if N_METATAG_POOL
    if (size == sizeof(nMetaTag))
        return TakeSlot();
#endif
    return ::operator new(size, std::nothrow);
}

void nMetaTag::operator delete(void* block, std::size_t size) noexcept
{
    if (!block)
        return;
#if N_METATAG_POOL
    if (size == sizeof(nMetaTag))
    {
        GiveSlot(block);
        return;
    }
#endif
    ::operator delete(block);
}

// ---------------------------------------------------------------------------------------------
// Tags

nMetaTag::nMetaTag()
{
}

nMetaTag::nMetaTag(const char* name) : nLinkedListEntryId(name)
{
}

nMetaTag::nMetaTag(const char* name, int32_t value) : nLinkedListEntryId(name)
{
    m_value.SetInt(value);
}

nMetaTag::nMetaTag(const char* name, float value) : nLinkedListEntryId(name)
{
    m_value.SetFloat(value);
}

nMetaTag::nMetaTag(const char* name, const char* text) : nLinkedListEntryId(name)
{
    m_value.SetString(text);
}

nMetaTag::nMetaTag(const char* name, bool value) : nLinkedListEntryId(name)
{
    m_value.SetBool(value);
}

nMetaTag::nMetaTag(const char* name, const void* data, int32_t length) : nLinkedListEntryId(name)
{
    m_value.SetBinary(data, length);
}

namespace
{

// Every cache line of the tag at entry starts loading.
inline void PrefetchTag(const void* entry)
{
    const char* p = static_cast<const char*>(entry);
    for (std::size_t offset = 0; offset < sizeof(nMetaTag); offset += 64)
        __builtin_prefetch(p + offset, 1);
    __builtin_prefetch(p + sizeof(nMetaTag) - 1, 1);
}

}  // namespace

nMetaTag::~nMetaTag()
{
    if (nLinkedListEntry* last = m_children.GetTail())
        PrefetchTag(last);
    m_value.Clear();
    DeleteMetaTags(m_children);
}

// From the tail: the slots of a subtree then go back to the pool in the reverse of document order,
// and the pool, which hands out the slot given back last, hands them out again in document order,
// the order in which the parser asks for them and in which a document built from fresh chunks
// lies in memory. Walking memory in one direction lets the processor fetch it ahead.
void DeleteMetaTags(nLinkedList& list)
{
    if (list.IsNoDelete())
    {
        list.Clear(false);
        return;
    }
    nLinkedListEntry* entry = list.GetTail();
    list.Clear(false);   // the entries keep their links until they are deleted
    while (entry)
    {
        nLinkedListEntry* previous = entry->GetPrev();
        if (previous)
            PrefetchTag(previous);
        delete entry;
        entry = previous;
    }
}

bool nMetaTag::RefusesChildren() const
{
    if (m_value.GetType() == TagType_None)
        return false;
    *g_log << "[!] " << "Cannot add child to tag '" << m_id.GetCStr()
           << "' as it is neither a pure tag or a node.\n";
    return true;
}

// Every entry of a list but its head has a predecessor, so an entry without one that is not the
// head is not in the list: fresh tags are linked without walking the children.
bool nMetaTag::SurelyNotChild(const nMetaTag* tag) const
{
    return !tag->GetPrev() && m_children.GetHead() != tag;
}

nMetaTag* nMetaTag::AddChild(nMetaTag* child, bool at_front)
{
    if (!child || child == this || RefusesChildren())
        return 0;
    return static_cast<nMetaTag*>(m_children.Add(child, !at_front, SurelyNotChild(child)));
}

nMetaTag* nMetaTag::InsertChild(nMetaTag* child, nMetaTag* reference, bool before)
{
    if (!child || child == this || RefusesChildren())
        return 0;
    if (!reference)
        return static_cast<nMetaTag*>(m_children.Add(child, true, false));
    // The tail is where appending callers keep their reference: no walk for it.
    if (reference != m_children.GetTail())
    {
        nLinkedListEntry* entry = m_children.GetHead();
        while (entry && entry != reference)
            entry = entry->GetNext();
        if (!entry)
        {
            *g_log << "[!] " << "Reference tag is not a child of tag '" << m_id.GetCStr() << "'.\n";
            return 0;
        }
    }
    bool fresh = SurelyNotChild(child);
    nLinkedListEntry* linked = before ? m_children.InsertBefore(child, reference, fresh)
                                      : m_children.InsertAfter(child, reference, fresh);
    return static_cast<nMetaTag*>(linked);
}

nMetaTag* nMetaTag::NextChild(nMetaTagIterator& it)
{
    it.current = static_cast<nMetaTag*>(m_children.Iterate(it.cursor));
    return it.current;
}

nMetaTag* nMetaTag::FindPath(const char* path, bool verbose)
{
    return FindMetaTagByPath(&m_children, path, verbose);
}

nMetaTag* nMetaTag::FindTypedPath(const char* path, int32_t type, bool verbose)
{
    nMetaTag* tag = FindMetaTagByPath(&m_children, path, verbose);
    return tag && tag->GetType() == type ? tag : 0;
}

bool nMetaTag::GetBoolValue() const
{
    bool value = false;
    return m_value.GetBool(&value) && value;
}

nMetaTag* nMetaTag::Clone(bool deep) const
{
    nMetaTag* clone = new (std::nothrow) nMetaTag();
    if (!clone)
        return 0;
    clone->m_id.Set(m_id.GetCStr());  // keeps unset and empty-set names apart
    clone->m_value.Set(m_value);
    if (!deep)
        return clone;
    nLinkedListIterator it;
    while (nLinkedListEntry* entry = m_children.Iterate(it))
    {
        nMetaTag* child = static_cast<const nMetaTag*>(entry)->Clone(true);
        if (child && !clone->AddChild(child))
            delete child;
    }
    return clone;
}

nMetaTag* FindMetaTagByPath(const nLinkedListId* list, const char* path, bool verbose)
{
    if (!path || !*path)
        return 0;

    nMetaTag* found = 0;
    const char* p = path;
    for (;;)
    {
        while (*p == ':')
            ++p;
        if (*p == ';')
            return found;

        const char* begin = p;
        while (*p && *p != ':' && *p != ';')
            ++p;
        bool at_end = (*p == 0);
        if (at_end && verbose)
        {
            if (p != begin)
                *g_log << "[*] " << "incomplete path '" << path << "' (missing ';').\n";
            else
                *g_log << "[!] " << "unexpected end of path'" << path << "'.\n";
        }

        if (!list)
        {
            if (verbose)
                *g_log << "[*] " << "'" << path << "' is deeper than lowest tree node.\n";
            return 0;
        }

        nString component(begin, p);
        found = static_cast<nMetaTag*>(list->FindById(component, verbose));
        if (!found)
        {
            if (verbose)
                *g_log << "!! Error '" << component.GetCStr() << "' in '" << path << "' not found.\n";
            return 0;
        }

        list = found->GetType() == TagType_None ? &found->GetChildren() : 0;
        if (at_end)
            return found;
    }
}
