#ifndef N_MLREADER_H
#define N_MLREADER_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <new>

#include "core/nMetaTag.h"

class nMetaFile;
class nString;
class nVector;
class nVector2;

// The NML reader kit: what every reader of an NML record does the same way. A reader reads
// like its record's list:
//
//     bool nCamera::Deserialize(nMetaFile* document, nMetaTag* tag)
//     {
//         if (!nMLCheckRoot(tag, "Camera", "camera")) return false;
//         static const nMLTagRule<nCamera> kTags[] = {
//             {"Item", [](nCamera& c, nMetaFile* d, nMetaTag* t) { c.nItem::Deserialize(d, t); }},
//             {"ZFar", [](nCamera& c, nMetaFile*, nMetaTag* t) { ReadTagFloat(t, c.m_far); }},
//             {"Orthographic", [](nCamera& c, nMetaFile*, nMetaTag*) { c.m_orthographic = true; }},
//         };
//         nMLReadChildren(*this, document, tag, kTags, "Camera");
//         return true;
//     }
//
// (a table local to a member function reaches the class's own fields).

// ---- Names and children

// Whether two texts of length bytes each are equal (both readable for length bytes): as memcmp,
// without a library call for names of up to 16 characters, which compare as two overlapping
// words of each text (the names a reader tests a tag against are short; the call was most of
// the test). nMLSameTextPlain is the plain form it is tested against.
inline bool nMLSameTextPlain(const char* a, const char* b, size_t length)
{
    return std::memcmp(a, b, length) == 0;
}

// Whether the first and the last sizeof(Word) bytes of a and b agree (length at least that).
template<class Word>
inline bool nMLSameEnds(const char* a, const char* b, size_t length)
{
    Word a0, a1, b0, b1;
    std::memcpy(&a0, a, sizeof(Word));
    std::memcpy(&b0, b, sizeof(Word));
    std::memcpy(&a1, a + length - sizeof(Word), sizeof(Word));
    std::memcpy(&b1, b + length - sizeof(Word), sizeof(Word));
    return ((a0 ^ b0) | (a1 ^ b1)) == 0;
}

inline bool nMLSameText(const char* a, const char* b, size_t length)
{
    if (length > 16) return nMLSameTextPlain(a, b, length);
    if (length >= 8) return nMLSameEnds<uint64_t>(a, b, length);
    if (length >= 4) return nMLSameEnds<uint32_t>(a, b, length);
    for (size_t i = 0; i < length; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

// As IsTagNamed(tag, name) below, for a name whose length is known (the rows of a reader's
// table count theirs once): most other names are told apart by their length alone.
inline bool IsTagNamed(const nMetaTag* tag, const char* name, size_t length)
{
    const nString& own = tag->GetName();
    if (!name) return own.IsEmpty();
    const char* text = own.GetCStr();
    return text && (size_t)own.GetLength() == length && nMLSameText(text, name, length);
}

// As tag->GetName() == name, without a library call: the length of a literal name is known
// where this is inlined.
inline bool IsTagNamed(const nMetaTag* tag, const char* name)
{
    return IsTagNamed(tag, name, name ? std::strlen(name) : 0);
}

// The length of a row's tag name, counted when its table is made (NULL: 0).
constexpr size_t nMLNameLength(const char* name)
{
    size_t length = 0;
    if (name)
        while (name[length]) ++length;
    return length;
}

// The first child of tag named name, or NULL; the same name test, without a path lookup.
inline nMetaTag* FirstChildNamed(nMetaTag* tag, const char* name)
{
    nMetaTagIterator it;
    while (nMetaTag* child = tag->NextChild(it))
        if (IsTagNamed(child, name)) return child;
    return 0;
}

// Appends child to parent: true when added. A child that is NULL (out of memory) is skipped,
// one the parent refuses is deleted; either way the written record just lacks it.
inline bool AppendTag(nMetaTag* parent, nMetaTag* child)
{
    if (child && parent->AddChild(child)) return true;
    delete child;
    return false;
}

// ---- The root check

// True when tag is named rootName (or one of rootNames). Otherwise logs
// "[!] Could not parse <what>. Root tag id is incorrect (<name found>).\n" (a NULL tag: an
// empty name) and gives false.
bool nMLCheckRoot(const nMetaTag* tag, std::initializer_list<const char*> rootNames, const char* what);
bool nMLRefuseRoot(const nMetaTag* tag, const char* what);  // the check's error line; false

// The one-name form, inline: readers of records met by the thousand (items, their nodes) check
// every one, and the length of a literal name is then counted where the call is compiled.
inline bool nMLCheckRoot(const nMetaTag* tag, const char* rootName, const char* what)
{
    return (tag && IsTagNamed(tag, rootName)) || nMLRefuseRoot(tag, what);
}

// The same error line for a root worded otherwise: "[!] " + errorStart + name found + ").\n".
void nMLLogWrongRoot(const nMetaTag* tag, const char* errorStart);

// ---- Typed reads: true when the tag's value could be read; out is left alone otherwise.

bool ReadTagInt(const nMetaTag* tag, int32_t& out);      // an integer
bool ReadTagFloat(const nMetaTag* tag, float& out);      // a float, or an integer converted
bool ReadTagBool(const nMetaTag* tag, bool& out);        // a bool, or a non-zero int or float
const char* ReadTagString(const nMetaTag* tag);          // the text of a string value, else NULL
bool ReadTagString(const nMetaTag* tag, nString& out);   // the text of a string value
bool ReadTagVector(const nMetaTag* tag, nVector& out);   // a vector or colour: three number children or more (x, y, z, then w when present)
bool ReadTagVector(const nMetaTag* tag, nVector2& out);  // two number children or more

// The same by the type of out (for nMLField).
inline bool ReadTagValue(const nMetaTag* tag, int32_t& out) { return ReadTagInt(tag, out); }
inline bool ReadTagValue(const nMetaTag* tag, float& out) { return ReadTagFloat(tag, out); }
inline bool ReadTagValue(const nMetaTag* tag, bool& out) { return ReadTagBool(tag, out); }
inline bool ReadTagValue(const nMetaTag* tag, nString& out) { return ReadTagString(tag, out); }
inline bool ReadTagValue(const nMetaTag* tag, nVector& out) { return ReadTagVector(tag, out); }
inline bool ReadTagValue(const nMetaTag* tag, nVector2& out) { return ReadTagVector(tag, out); }

// ---- Children by a table

// "[*] Unknown tag '<name>' in <record>.\n", record being the name the reader goes by, such as
// "Camera".
void nMLWarnUnknownTag(const nMetaTag* tag, const char* record);

// One row of a reader's table: the child tag's name and what reading it does to the record
// (NULL: a known tag that is skipped).
template<class T>
struct nMLTagRule
{
    typedef void (*Read)(T& record, nMetaFile* document, nMetaTag* child);
    constexpr nMLTagRule(const char* tag, Read read) : tag(tag), length(nMLNameLength(tag)), read(read) {}

    const char* tag;
    size_t length;  // of tag
    Read read;
};

// A row that reads the child's value into one field of the record, as the field's type
// reads (ReadTagValue); a value that does not read leaves the field alone:
//     {"ZFar", nMLField<&nCamera::m_far>},
template<class Member> struct nMLMemberOf;
template<class C, class V> struct nMLMemberOf<V C::*>
{
    typedef C Record;
};

template<auto Field>
void nMLField(typename nMLMemberOf<decltype(Field)>::Record& record, nMetaFile*, nMetaTag* child)
{
    ReadTagValue(child, record.*Field);
}

// A row whose reading can fail: its read gives false to end the reading of the record.
template<class T>
struct nMLCheckedTagRule
{
    typedef bool (*Read)(T& record, nMetaFile* document, nMetaTag* child);
    constexpr nMLCheckedTagRule(const char* tag, Read read) : tag(tag), length(nMLNameLength(tag)), read(read) {}

    const char* tag;
    size_t length;  // of tag
    Read read;
};

// The first row of rules naming tag, or NULL.
template<class Rule, size_t N>
const Rule* nMLFindRule(const Rule (&rules)[N], const nMetaTag* tag)
{
    for (const Rule& rule : rules)
        if (IsTagNamed(tag, rule.tag, rule.length)) return &rule;
    return 0;
}

// The rows of a long table by the length of their names, made once beside the table: Find
// compares a tag only with the rows of its name's length, in row order, and so finds the row
// nMLFindRule finds (a name test needs equal lengths; a NULL row name, which names the tags
// of empty names, counts as length 0). Names longer than kLongest share one group. For the
// records whose children run through most of a long table, such as "MItem":
//     static const nMLRuleIndex kRows(kTags);
//     nMLReadChildren(*this, document, tag, kRows, "MItem");
template<class Rule, size_t N>
class nMLRuleIndex
{
public:
    static_assert(N <= 64, "a row index holds tables of up to 64 rows");
    static const size_t kLongest = 31;

    explicit nMLRuleIndex(const Rule (&rules)[N]) : m_rules(rules), m_rows()
    {
        for (size_t i = 0; i < N; ++i) m_rows[Group(rules[i].length)] |= uint64_t(1) << i;
    }

    const Rule* Find(const nMetaTag* tag) const
    {
        for (uint64_t rows = m_rows[Group((size_t)tag->GetName().GetLength())]; rows; rows &= rows - 1) {
            const Rule& rule = m_rules[__builtin_ctzll(rows)];
            if (IsTagNamed(tag, rule.tag, rule.length)) return &rule;
        }
        return 0;
    }

private:
    static size_t Group(size_t length) { return length < kLongest ? length : kLongest; }

    const Rule (&m_rules)[N];
    uint64_t m_rows[kLongest + 1];  // bit i: row i has a name of that length
};

template<class Rule, size_t N>
const Rule* nMLFindRule(const nMLRuleIndex<Rule, N>& rules, const nMetaTag* tag)
{
    return rules.Find(tag);
}

// Reads each child of parent, in order, by the first row naming it; a child no row names
// warns nMLWarnUnknownTag(child, recordName), or is passed over silently when recordName is
// NULL. Gives how many children were unknown. Rules: the table, or its nMLRuleIndex.
template<class T, class Rules>
int32_t nMLReadChildren(T& record, nMetaFile* document, nMetaTag* parent, const Rules& rules, const char* recordName)
{
    int32_t unknown = 0;
    nMetaTagIterator it;
    while (nMetaTag* child = parent->NextChild(it)) {
        if (const nMLTagRule<T>* rule = nMLFindRule(rules, child)) {
            if (rule->read) rule->read(record, document, child);
        } else {
            if (recordName) nMLWarnUnknownTag(child, recordName);
            ++unknown;
        }
    }
    return unknown;
}

// As nMLReadChildren with rows that can fail: false as soon as a row's read gives false, and
// the children after that one are neither read nor warned about.
template<class T, size_t N>
bool nMLReadChildrenChecked(T& record, nMetaFile* document, nMetaTag* parent, const nMLCheckedTagRule<T> (&rules)[N],
                            const char* recordName)
{
    nMetaTagIterator it;
    while (nMetaTag* child = parent->NextChild(it)) {
        if (const nMLCheckedTagRule<T>* rule = nMLFindRule(rules, child)) {
            if (rule->read && !rule->read(record, document, child)) return false;
        } else {
            nMLWarnUnknownTag(child, recordName);
        }
    }
    return true;
}

#endif
