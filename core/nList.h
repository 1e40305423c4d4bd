#ifndef N_LIST_H
#define N_LIST_H

#include <cstdint>
#include <new>

// Doubly linked list of heap nodes, one class per element type. The list owns its nodes and
// the value inside each node: an nString element is a private copy, an nSharedPtr element
// holds one reference, a raw pointer element owns nothing it points at.
//
// A list may instead hold nodes its caller keeps (Link): inside the values themselves, for
// lists every value of a kind is in, so that joining and leaving take no memory. Such a
// list never frees a node: it is emptied with Release, never Clear, and is empty when it is
// destroyed; its nodes leave through Unlink.

template<class T>
struct nListNode
{
    T value;
    nListNode<T>* prev;
    nListNode<T>* next;

    explicit nListNode(const T& v) : value(v), prev(0), next(0) {}
};

// {current, next}. A fresh iterator starts at the head. The successor is saved before the
// current value is handed out, so the current node may be removed while iterating.
template<class T>
struct nListIterator
{
    nListNode<T>* current;
    nListNode<T>* next;

    nListIterator() : current(0), next(0) {}
};

// How Add, Find, Contains and Remove match a node's value against a key: by == in general
// (raw pointers by address, shared pointers by target); nString elements by equal text
// through nString::operator==(const char*). The nString forms live in nList.cpp.
class nString;
bool nListValueMatches(const nString& value, const nString& key);
bool nListValueMatches(const nString& value, const char* key);
template<class T, class K>
inline bool nListValueMatches(const T& value, const K& key) { return value == key; }

template<class T>
class nList
{
public:
    typedef nListNode<T> Node;
    typedef nListIterator<T> Iterator;

    nList() : m_count(0), m_version(0), m_head(0), m_tail(0) {}
    virtual ~nList() { Clear(); }
    nList(const nList&) = delete;
    nList& operator=(const nList&) = delete;

    Node* InsertAfter(const T& value, Node* node);                   // NULL node: append at the tail; NULL when out of memory
    Node* InsertBefore(const T& value, Node* node);                  // NULL node: insert at the head; NULL when out of memory
    Node* Add(const T& value, bool at_tail, bool allow_duplicates);  // without duplicates, an equal value's node is returned
    template<class K> Node* Find(const K& key) const;                // first node from the head matching key, or NULL
    template<class K> bool Contains(const K& key) const { return Find(key) != 0; }
    template<class K> bool Remove(const K& key);  // unlinks and frees the first match; true when found
    Node* Unlink(Node* node);                     // detaches the node (NULL gives NULL); the caller deletes it
    void Clear();                                 // frees every node (and so its string or reference)
    Node* GetNode(int32_t index) const;           // NULL for a negative index or one at or past the count
    T GetAt(int32_t index) const;                 // the node's value; T() (NULL, empty pointer) when there is none
    void Begin(Iterator& it, Node* node) const;   // next Iterate hands out node's successor
    T Iterate(Iterator& it) const;                // head first, then each successor; T() at the end, then the head again

    // Caller-kept nodes. An unlinked node has NULL links (as constructed, or after Unlink or
    // Release); Holds tells it from a linked one.
    Node* Link(Node* node, Node* after);  // links an unlinked node after after (NULL: at the tail); returns node
    void Release();                       // empties the list, unlinking every node without freeing it
    bool Holds(const Node* node) const { return node->prev || m_head == node; }

    int32_t GetCount() const { return m_count; }
    uint32_t GetVersion() const { return m_version; }  // changes with every insertion, unlink and clear
    Node* GetHead() const { return m_head; }
    Node* GetTail() const { return m_tail; }

private:
    Node* TakeAll();  // empties the list; returns its old head, the nodes still chained

    int32_t m_count;
    uint32_t m_version;
    Node* m_head;
    Node* m_tail;
};

template<class T>
nListNode<T>* nList<T>::InsertAfter(const T& value, Node* node)
{
    Node* n = new (std::nothrow) Node(value);
    return n ? Link(n, node) : 0;
}

template<class T>
nListNode<T>* nList<T>::InsertBefore(const T& value, Node* node)
{
    Node* n = new (std::nothrow) Node(value);
    if (!n) return 0;
    if (node) {
        n->next = node;
        n->prev = node->prev;
        if (node->prev) node->prev->next = n;
        node->prev = n;
        if (node == m_head) m_head = n;
    } else {
        n->next = m_head;
        if (m_head) m_head->prev = n;
        else m_tail = n;
        m_head = n;
    }
    ++m_count;
    ++m_version;
    return n;
}

template<class T>
nListNode<T>* nList<T>::Add(const T& value, bool at_tail, bool allow_duplicates)
{
    if (!allow_duplicates) {
        Node* existing = Find(value);
        if (existing) return existing;
    }
    return at_tail ? InsertAfter(value, 0) : InsertBefore(value, 0);
}

template<class T>
template<class K>
nListNode<T>* nList<T>::Find(const K& key) const
{
    for (Node* n = m_head; n; n = n->next)
        if (nListValueMatches(n->value, key)) return n;
    return 0;
}

template<class T>
template<class K>
bool nList<T>::Remove(const K& key)
{
    Node* n = Find(key);
    if (!n) return false;
    delete Unlink(n);
    return true;
}

template<class T>
nListNode<T>* nList<T>::Unlink(Node* node)
{
    if (!node) return 0;
    if (node->prev) node->prev->next = node->next;
    else m_head = node->next;
    if (node->next) node->next->prev = node->prev;
    else m_tail = node->prev;
    node->prev = 0;
    node->next = 0;
    --m_count;
    ++m_version;
    return node;
}

template<class T>
nListNode<T>* nList<T>::TakeAll()
{
    Node* n = m_head;
    m_head = 0;
    m_tail = 0;
    m_count = 0;
    ++m_version;
    return n;
}

template<class T>
void nList<T>::Clear()
{
    for (Node* n = TakeAll(); n;) {
        Node* next = n->next;
        delete n;
        n = next;
    }
}

template<class T>
nListNode<T>* nList<T>::Link(Node* n, Node* node)
{
    if (node) {
        n->prev = node;
        n->next = node->next;
        if (node->next) node->next->prev = n;
        node->next = n;
        if (node == m_tail) m_tail = n;
    } else {
        n->prev = m_tail;
        n->next = 0;
        if (m_tail) m_tail->next = n;
        else m_head = n;
        m_tail = n;
    }
    ++m_count;
    ++m_version;
    return n;
}

template<class T>
void nList<T>::Release()
{
    for (Node* n = TakeAll(); n;) {
        Node* next = n->next;
        n->prev = 0;
        n->next = 0;
        n = next;
    }
}

template<class T>
nListNode<T>* nList<T>::GetNode(int32_t index) const
{
    if (index < 0 || index > m_count) return 0;
    Node* n = m_head;
    for (int32_t i = 0; i < index && n; ++i) n = n->next;
    return n;
}

template<class T>
T nList<T>::GetAt(int32_t index) const
{
    Node* n = GetNode(index);
    return n ? n->value : T();
}

template<class T>
void nList<T>::Begin(Iterator& it, Node* node) const
{
    it.current = node;
    it.next = node ? node->next : 0;
}

template<class T>
T nList<T>::Iterate(Iterator& it) const
{
    Node* candidate = it.current ? it.next : m_head;
    it.current = candidate;
    if (!candidate) {
        it.next = 0;
        return T();
    }
    it.next = candidate->next;
    return candidate->value;
}

#endif
