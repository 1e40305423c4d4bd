#ifndef N_METATAG_H
#define N_METATAG_H

#include <cstddef>
#include <cstdint>
#include <new>

#include "core/nLinkedList.h"
#include "core/nVariant.h"

class nMetaTag;

// Walks the children of a tag or the roots of a document: a fresh iterator passed repeatedly
// to nMetaTag::NextChild or nMetaFile::NextRoot yields each in order, then NULL; a further
// call starts again at the first. The tag just handed out may be removed during the walk.
struct nMetaTagIterator
{
    nMetaTag* current;
    nLinkedListIterator cursor;

    nMetaTagIterator() : current(0) {}
};

// One NML tag: a name (case-sensitive, may be empty; it is the entry id) with either owned
// child tags, in document order, or one value. A tag with a value refuses children.
// Deleting a tag deletes its children recursively.
class nMetaTag : public nLinkedListEntryId
{
public:
    nMetaTag();                           // unnamed pure tag
    explicit nMetaTag(const char* name);  // pure tag
    nMetaTag(const char* name, int32_t value);
    nMetaTag(const char* name, float value);
    nMetaTag(const char* name, const char* text);  // string value (NULL: unset text)
    nMetaTag(const char* name, bool value);
    nMetaTag(const char* name, const void* data, int32_t length);  // binary value, bytes copied
    ~nMetaTag() override;                                          // clears the value, deletes the children

    // Tags come from a pool of fixed-size slots: documents build and free them by the hundred
    // thousand, and a general-purpose heap spends more on that than the parser does on the text.
    static void* operator new(std::size_t size);
    static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
    static void operator delete(void* block, std::size_t size) noexcept;

    nMetaTag* AddChild(nMetaTag* child, bool at_front = false);                     // child, or NULL (refused: caller keeps it)
    nMetaTag* InsertChild(nMetaTag* child, nMetaTag* reference, bool before);       // no reference: append; NULL when refused
    nMetaTag* NextChild(nMetaTagIterator& it);                                      // next child, or NULL at the end
    nMetaTag* FindPath(const char* path, bool verbose = false);                     // path lookup below the children
    nMetaTag* FindTypedPath(const char* path, int32_t type, bool verbose = false);  // NULL unless the found value type is type
    bool GetBoolValue() const;                                                      // nVariant::GetBool of the value; false when not convertible
    nMetaTag* Clone(bool deep) const;                                               // new tag, name and value copied (every type); deep: children too

    const nString& GetName() const { return m_id; }
    void SetName(const char* n) { m_id.Set(n); }
    void SetName(const char* begin, const char* end) { m_id.Set(begin, end); }  // as nString::Set(begin, end)
    int32_t GetType() const { return m_value.GetType(); }
    nVariant& GetValue() { return m_value; }
    const nVariant& GetValue() const { return m_value; }
    nLinkedListId& GetChildren();  // owned; entries are nMetaTag
    int32_t GetChildCount() const { return m_children ? m_children->GetCount() : 0; }
    const nLinkedListId* Children() const;  // for reading: the child list, or an empty one (GetChildren makes one)

private:
    friend class nMetaTagRecycler;

    static const nLinkedListId* NoChildren();        // the empty list of a tag without children
    bool RefusesChildren() const;                    // logs the refusal when the tag holds a value
    bool SurelyNotChild(const nMetaTag* tag) const;  // true only when tag is certainly not a child

    // Most tags hold a value and never get a child: the list is made when first asked for.
    nLinkedListId* m_children;
    nVariant m_value;
};

// Inline: readers walk every child of every tag they read.
inline const nLinkedListId* nMetaTag::Children() const
{
    return m_children ? m_children : NoChildren();
}

inline nMetaTag* nMetaTag::NextChild(nMetaTagIterator& it)
{
    it.current = static_cast<nMetaTag*>(Children()->Iterate(it.cursor));
    return it.current;
}

// Takes over the tags of a tree being replaced and hands their slots out again, one for each new
// tag, in the document order of the old tree: each old tag is destroyed just before its slot is
// reused, while that memory is loaded anyway, instead of in a separate pass over the whole old tree
// before the new one is built. Old tags are destroyed as by delete; the destructor deletes those
// that were not reused. Tags of a no-delete list are left alone, as DeleteMetaTags leaves them.
class nMetaTagRecycler
{
public:
    explicit nMetaTagRecycler(nLinkedList& list);  // takes every entry of list and empties it
    ~nMetaTagRecycler();                           // deletes the old tags not reused
    nMetaTagRecycler(const nMetaTagRecycler&) = delete;
    nMetaTagRecycler& operator=(const nMetaTagRecycler&) = delete;

    nMetaTag* New();  // an unnamed pure tag, where an old one was when one is left; NULL when out of memory

private:
    nMetaTag* TakeNext();  // the next old tag, its children queued and its list emptied; NULL when none is left

    static const int kMaxPending = 64;         // siblings waiting below deeper levels; deeper subtrees go at once
    nLinkedListEntry* m_next;                  // the next old tag in document order
    nLinkedListEntry* m_pending[kMaxPending];  // where each unfinished level goes on
    int m_pendingCount;
};

// Deletes every entry of list (nothing when the list is no-delete) and empties it, the last
// entry first. Used for the children of a tag and the roots of a document.
void DeleteMetaTags(nLinkedList& list);

// Path lookup shared by tags and documents: list is the tags to search (NULL: nothing to
// search). "Scene:Items;" finds Items below the tag Scene of list; leading and doubled ':'
// are skipped, text after ';' is ignored, a missing final ';' still matches (warning in
// verbose mode), and a component below a tag holding a value never matches.
// Logs only in verbose mode.
nMetaTag* FindMetaTagByPath(const nLinkedListId* list, const char* path, bool verbose);

#endif
