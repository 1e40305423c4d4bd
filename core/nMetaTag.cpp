#include "core/nMetaTag.h"

#include "core/nLog.h"

#include <new>
#include <typeinfo>

// ---------------------------------------------------------------------------------------------
// Allocation

namespace {

nBlockPool g_tagPool(sizeof(nMetaTag), nBlockPool::kTagPool);
nBlockPool g_listPool(sizeof(nLinkedListId), nBlockPool::kChildListPool);

}  // namespace

nLinkedListId& nMetaTag::GetChildren()
{
    if (!m_children) {
        void* block = g_listPool.Take();
        m_children = block ? new (block) nLinkedListId() : new nLinkedListId();
    }
    return *m_children;
}

const nLinkedListId* nMetaTag::NoChildren()
{
    static const nLinkedListId* none = new nLinkedListId();  // never destroyed: tags outlive static destruction
    return none;
}

void* nMetaTag::operator new(std::size_t size)
{
    void* block = operator new(size, std::nothrow);
    if (!block)
        throw std::bad_alloc();
    return block;
}

void* nMetaTag::operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (size == sizeof(nMetaTag)) {
        // The pool hands out the slots of a deleted document in address order (see
        // DeleteMetaTags): the next tags of the document being parsed go just above this one.
        char* block = static_cast<char*>(g_tagPool.Take());
        __builtin_prefetch(block + 3 * sizeof(nMetaTag), 1);
        __builtin_prefetch(block + 4 * sizeof(nMetaTag), 1);
        return block;
    }
    return ::operator new(size, std::nothrow);
}

void nMetaTag::operator delete(void* block, std::size_t size) noexcept
{
    if (!block)
        return;
    if (size == sizeof(nMetaTag))
        g_tagPool.Give(block);
    else
        ::operator delete(block);
}

// ---------------------------------------------------------------------------------------------
// Tags

nMetaTag::nMetaTag() : m_children(0)
{
}

nMetaTag::nMetaTag(const char* name) : nLinkedListEntryId(name), m_children(0)
{
}

nMetaTag::nMetaTag(const char* name, int32_t value) : nLinkedListEntryId(name), m_children(0)
{
    m_value.SetInt(value);
}

nMetaTag::nMetaTag(const char* name, float value) : nLinkedListEntryId(name), m_children(0)
{
    m_value.SetFloat(value);
}

nMetaTag::nMetaTag(const char* name, const char* text) : nLinkedListEntryId(name), m_children(0)
{
    m_value.SetString(text);
}

nMetaTag::nMetaTag(const char* name, bool value) : nLinkedListEntryId(name), m_children(0)
{
    m_value.SetBool(value);
}

nMetaTag::nMetaTag(const char* name, const void* data, int32_t length) : nLinkedListEntryId(name), m_children(0)
{
    m_value.SetBinary(data, length);
}

namespace {

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
    // The value goes with its own destructor.
    if (m_children) {
        if (m_children->GetTail())
            PrefetchTag(m_children->GetTail());
        DeleteMetaTags(*m_children);
        m_children->~nLinkedListId();
        g_listPool.Give(m_children);
    }
}

// From the tail: the slots of a subtree then go back to the pool in the reverse of document order,
// and the pool, which hands out the slot given back last, hands them out again in document order,
// the order in which the parser asks for them and in which a document built from fresh chunks
// lies in memory. Walking memory in one direction lets the processor fetch it ahead.
void DeleteMetaTags(nLinkedList& list)
{
    if (list.IsNoDelete()) {
        list.Clear(false);
        return;
    }
    nLinkedListEntry* entry = list.GetTail();
    list.Clear(false);  // the entries keep their links until they are deleted
    while (entry) {
        nLinkedListEntry* previous = entry->GetPrev();
        if (previous)
            PrefetchTag(previous);
        // Tags of a parsed document lie in document order, and they are deleted backwards: the
        // tags just below this one in memory are the next ones to go.
        const char* below = reinterpret_cast<const char*>(entry);
        for (int i = 2; i <= 6; ++i)
            __builtin_prefetch(below - i * static_cast<std::ptrdiff_t>(sizeof(nMetaTag)));
        delete entry;
        entry = previous;
    }
}

// ---------------------------------------------------------------------------------------------
// Recycling a replaced tree

nMetaTagRecycler::nMetaTagRecycler(nLinkedList& list) : m_next(0), m_pendingCount(0)
{
    if (!list.IsNoDelete())
        m_next = list.GetHead();
    list.Clear(false);  // the entries keep their links: they are walked through them
}

nMetaTagRecycler::~nMetaTagRecycler()
{
    while (nMetaTag* old = TakeNext())
        delete old;
}

nMetaTag* nMetaTagRecycler::TakeNext()
{
    while (!m_next) {
        if (m_pendingCount == 0)
            return 0;
        m_next = m_pending[--m_pendingCount];
    }
    nMetaTag* tag = static_cast<nMetaTag*>(m_next);
    nLinkedListEntry* next = tag->GetNext();
    nLinkedListId* children = tag->m_children;
    // The children come next, then the siblings; the emptied list goes with the tag. With too
    // many unfinished levels the subtree stays, and the tag's destructor deletes it.
    if (children && !children->IsNoDelete() && children->GetHead() && (!next || m_pendingCount < kMaxPending)) {
        if (next)
            m_pending[m_pendingCount++] = next;
        next = children->GetHead();
        children->Clear(false);
    }
    m_next = next;
    if (m_next)
        PrefetchTag(m_next);
    // A parsed tree lies in document order: the tags after the next one start loading too.
    const char* ahead = reinterpret_cast<const char*>(tag) + 12 * sizeof(nMetaTag);
    __builtin_prefetch(ahead, 1);
    __builtin_prefetch(ahead + 64, 1);
    return tag;
}

nMetaTag* nMetaTagRecycler::New()
{
    nMetaTag* old = TakeNext();
    // Only the slot of a plain tag fits a plain tag; anything else is deleted as it is.
    while (old && typeid(*old) != typeid(nMetaTag)) {
        delete old;
        old = TakeNext();
    }
    if (!old)
        return new (std::nothrow) nMetaTag();
    old->nMetaTag::~nMetaTag();
    return ::new (static_cast<void*>(old)) nMetaTag();
}

bool nMetaTag::RefusesChildren() const
{
    if (m_value.GetType() == TagType_None)
        return false;
    *g_log << "[!] Cannot add child to tag '" << m_id.GetCStr()
           << "' as it is neither a pure tag or a node.\n";
    return true;
}

// Every entry of a list but its head has a predecessor, so an entry without one that is not the
// head is not in the list: fresh tags are linked without walking the children.
bool nMetaTag::SurelyNotChild(const nMetaTag* tag) const
{
    return !tag->GetPrev() && (!m_children || m_children->GetHead() != tag);
}

nMetaTag* nMetaTag::AddChild(nMetaTag* child, bool at_front)
{
    if (!child || child == this || RefusesChildren())
        return 0;
    bool fresh = SurelyNotChild(child);
    return static_cast<nMetaTag*>(GetChildren().Add(child, !at_front, fresh));
}

nMetaTag* nMetaTag::InsertChild(nMetaTag* child, nMetaTag* reference, bool before)
{
    if (!child || child == this || RefusesChildren())
        return 0;
    if (!reference) {
        bool fresh = SurelyNotChild(child);
        return static_cast<nMetaTag*>(GetChildren().Add(child, true, fresh));
    }
    // The tail is where appending callers keep their reference: no walk for it.
    const nLinkedListId* children = Children();
    if (reference != children->GetTail()) {
        nLinkedListEntry* entry = children->GetHead();
        while (entry && entry != reference)
            entry = entry->GetNext();
        if (!entry) {
            *g_log << "[!] Reference tag is not a child of tag '" << m_id.GetCStr() << "'.\n";
            return 0;
        }
    }
    bool fresh = SurelyNotChild(child);
    nLinkedListEntry* linked = before ? GetChildren().InsertBefore(child, reference, fresh)
                                      : GetChildren().InsertAfter(child, reference, fresh);
    return static_cast<nMetaTag*>(linked);
}

nMetaTag* nMetaTag::FindPath(const char* path, bool verbose)
{
    return FindMetaTagByPath(Children(), path, verbose);
}

nMetaTag* nMetaTag::FindTypedPath(const char* path, int32_t type, bool verbose)
{
    nMetaTag* tag = FindMetaTagByPath(Children(), path, verbose);
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
    while (nLinkedListEntry* entry = Children()->Iterate(it)) {
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
    for (;;) {
        while (*p == ':')
            ++p;
        if (*p == ';')
            return found;

        const char* begin = p;
        while (*p && *p != ':' && *p != ';')
            ++p;
        bool at_end = (*p == 0);
        if (at_end && verbose) {
            if (p != begin)
                *g_log << "[*] incomplete path '" << path << "' (missing ';').\n";
            else
                *g_log << "[!] unexpected end of path'" << path << "'.\n";
        }

        if (!list) {
            if (verbose)
                *g_log << "[*] '" << path << "' is deeper than lowest tree node.\n";
            return 0;
        }

        nString component(begin, p);
        found = static_cast<nMetaTag*>(list->FindById(component, verbose));
        if (!found) {
            if (verbose)
                *g_log << "!! Error '" << component.GetCStr() << "' in '" << path << "' not found.\n";
            return 0;
        }

        list = found->GetType() == TagType_None ? found->Children() : 0;
        if (at_end)
            return found;
    }
}
