#pragma once
// nString: the engine's one string type, an owned copy of an 8-bit text with its length and a
// lazily computed hash. Characters are bytes; comparisons are case-sensitive. Texts of up to
// kLocalLength characters are kept inside the string itself, longer ones on the heap.
//
// A string is in one of three states:
//   unset      no text (GetCStr() is NULL), length 0
//   empty-set  an allocated empty text, length 0
//   non-empty  a text of length 1 or more
// Only the empty-set string equals the empty text ""; both empty states are IsEmpty() and equal
// each other. Copies (copy construction, operator=, Copy) keep the state of their source.

#include <cstdint>

class nString
{
public:
    nString() = default;                          // unset
    explicit nString(const char* text);           // as Set(text)
    nString(const char* begin, const char* end);  // as Set(begin, end)
    nString(const nString& other);                // same state and text as other
    nString(nString&& other) noexcept;            // takes other's text; other becomes unset
    ~nString();                                   // Clear

    // Assignment. Allocation failure leaves the string unset.
    void Set(const char* text);                    // NULL: unset; "": empty-set; own text: unchanged
    void SetNonEmpty(const char* text);            // as Set, but NULL and "" give unset
    void Set(const char* begin, const char* end);  // [begin, end), end NULL: to the terminator; empty range: unset
    void Clear();                                  // frees the text; unset
    nString& operator=(const nString& other);      // self: nothing; otherwise same state and text as other
    nString& operator=(nString&& other) noexcept;
    nString Copy() const;                           // a string set from this one's text
    static nString Format(const char* format, ...)  // printf conventions; at most 1023 characters kept
        __attribute__((format(printf, 1, 2)));

    // Access.
    const char* GetCStr() const { return (m_size & kLocalBit) ? m_local : m_heap; }  // NULL when unset
    int32_t GetLength() const { return static_cast<int32_t>(m_size & ~kLocalBit); }
    uint32_t GetHash() const;                          // cached; odd, never 0; 1 for both empty states
    bool IsEmpty() const { return GetLength() == 0; }  // unset or empty-set

    // Appending.
    nString& operator+=(const char* text);      // NULL: nothing; unset target: Set(text); allocation failure: unchanged
    nString& operator+=(const nString& other);  // only when other has a non-empty text
    nString operator+(const char* text) const;  // copy of this with text appended

    // Comparison.
    bool operator==(const char* text) const;  // NULL: IsEmpty(); unset never equals a text, not even ""
    bool operator!=(const char* text) const { return !(*this == text); }
    bool operator==(const nString& other) const;  // both empty: equal; else hashes, then characters
    bool operator!=(const nString& other) const { return !(*this == other); }
    bool Equals(const char* text) const;  // empty equals only NULL; non-empty equals same characters

    // Paths and pieces.
    bool NormalizePath();                      // false (unchanged) when unset or out of memory
    nString GetNormalizedPath() const;         // normalised copy
    void StripFileName();                      // keeps up to and including the last '/', ':' or '\'
    void StripPathAndExtension();              // StripPath, then cut at the last '.'
    nString RemoveChar(char character) const;  // copy without any occurrence of character

    // Appends the pieces between separators at the tail of list (duplicates allowed, empty pieces as
    // unset strings, no piece after a trailing separator) and returns the list's count. An unset
    // string returns 0 and an empty-set string the list's count, adding nothing. List is an
    // nList<nString> (anything with Add(const nString&, bool at_tail, bool allow_duplicates) and
    // GetCount()).
    template<class List>
    int Split(const char* separator, List& list) const;

    // Calls piece(context, begin, end) for every piece Split would add, in order. Nothing when unset.
    typedef void (*PieceFunction)(void* context, const char* begin, const char* end);
    void ForEachPiece(const char* separator, PieceFunction piece, void* context) const;

    static const int32_t kLocalLength = 15;  // longest text kept without a heap block

private:
    static const uint32_t kLocalBit = 0x80000000u;  // in m_size: the text is m_local

    bool IsLocal() const { return (m_size & kLocalBit) != 0; }
    char* Text() { return IsLocal() ? m_local : m_heap; }
    void SetLength(int32_t length) { m_size = static_cast<uint32_t>(length) | (m_size & kLocalBit); }
    void FreeText();                                // frees a heap text; leaves the members as they are
    void Assign(const char* text, int32_t length);  // copy of length characters (no NUL among them); may alias the own text
    void Adopt(char* text);                         // frees the old text, takes the heap text (NULL: unset), recomputes length
    void TakeFrom(nString& other);                  // other's state and text; other becomes unset

    union
    {
        char* m_heap = nullptr;          // owned, NUL-terminated; NULL when unset
        char m_local[kLocalLength + 1];  // the text when it is short
    };
    mutable uint32_t m_hash = 0;  // 0: not computed yet
    uint32_t m_size = 0;          // length, and kLocalBit
};

// Fixed-size blocks for the small objects that documents make and free by the hundred thousand:
// tags and the heap texts of strings. Each thread keeps its own stack of free blocks, so taking and
// giving a block take no lock; a thread that gives more than it takes (documents loaded by one
// thread and freed by another) hands batches over to a shared stack, from which a thread that runs
// dry takes a batch before it carves a new chunk. Chunks are never returned to the system.
// Sanitizer builds take every block from the heap, where use after free and leaks show.
class nBlockPool
{
public:
    enum Index
    {
        kTagPool,
        kChildListPool,
        kShortTextPool,
        kTextPool,
        kPoolCount
    };  // one pool object for each

    constexpr nBlockPool(unsigned long blockSize, Index index)
        : m_blockSize(blockSize < 32 ? 32 : (blockSize + 15) & ~15ul), m_index(index) {}
    nBlockPool(const nBlockPool&) = delete;
    nBlockPool& operator=(const nBlockPool&) = delete;

    void* Take();            // a block of GetBlockSize() bytes; NULL when out of memory
    void Give(void* block);  // a block taken from this pool, by any thread
    unsigned long GetBlockSize() const { return m_blockSize; }

private:
    bool Refill();

    unsigned long m_blockSize;  // a multiple of 16
    Index m_index;
};

// 0 when the texts are equal or both unset; 1 when exactly one is unset; otherwise, at the first
// differing character compared as signed bytes, 1 when a sorts before b and -1 when after.
int nStringCompare(const nString& a, const nString& b);

// Plain-text helpers (a plain text is a NUL-terminated char array).
int StripFileName(char* text);                                                   // keeps up to the last '/', ':' or '\'; returns its index, or -1 (text emptied)
void StripPath(char* text);                                                      // moves the text after the last '/' or '\' to the start
nString GetFileExtension(const char* text);                                      // text after the last '.', empty (unset) when none
const char* nStringFindChar(const char* text, char character, const char* end);  // first occurrence, or the terminator, or end

// Numbers and hashing. The parsers never fail: they return what they read up to the first
// character they do not accept.
int32_t nStringToInt(const char* text);                                                // optional sign, decimal digits; wraps on overflow; NULL: 0
float nStringToFloat(const char* begin, const char* end, bool allow_comma);            // end NULL: whole text; see nString.cpp
float nStringDecimalToFloat(bool negative, uint64_t mantissa, int digits, int scale);  // nStringToFloat's rounding of mantissa * 10^scale, digits significant ones (at most 19)
uint32_t nStringHash(const char* text);                                                // h = h * 37 + signed byte, then | 1; NULL: 1

template<class List>
int nString::Split(const char* separator, List& list) const
{
    if (!GetCStr())
        return 0;
    ForEachPiece(
        separator,
        [](void* context, const char* begin, const char* end) {
            static_cast<List*>(context)->Add(nString(begin, end), true, true);
        },
        &list);
    return list.GetCount();
}
