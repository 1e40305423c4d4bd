#ifndef N_ITEMTAGS_H
#define N_ITEMTAGS_H

#include <cstring>
#include <new>

#include "core/nMetaTag.h"

class nMItem;
class nMetaFile;

// Small building blocks shared by the NML readers and writers of the scene's item kinds.

// As tag->GetName() == name, without a library call: the length of a literal name is known
// where this is inlined, so most other names are told apart by their length alone.
inline bool IsTagNamed(const nMetaTag* tag, const char* name)
{
    const nString& own = tag->GetName();
    if (!name) return own.IsEmpty();
    const size_t length = std::strlen(name);
    return own.GetCStr() && (size_t)own.GetLength() == length && std::memcmp(own.GetCStr(), name, length) == 0;
}

// The first child of tag named name, or NULL; the same name test, without a path lookup.
inline nMetaTag* FirstChildNamed(nMetaTag* tag, const char* name)
{
    nMetaTagIterator it;
    while (nMetaTag* child = tag->NextChild(it))
        if (IsTagNamed(child, name)) return child;
    return 0;
}

// Appends child to parent; a child that is NULL (out of memory) is skipped, one the parent
// refuses is deleted.
inline void AppendTag(nMetaTag* parent, nMetaTag* child)
{
    if (child && !parent->AddChild(child)) delete child;
}

// Value readers: true when the tag's value could be read; out is left alone otherwise.
bool ReadTagFloat(const nMetaTag* tag, float& out);      // a float, or an integer converted
bool ReadTagBool(const nMetaTag* tag, bool& out);        // a bool, or a non-zero int or float
const char* ReadTagString(const nMetaTag* tag);          // the text of a string value, else NULL

// The managed form shared by cameras, objects and lights: a root named rootName holding one
// "MItem" tag and the kind's own tag (nodeName), read by readNode. A wrong root logs
// rootError + the name found + ").\n" as an error and gives false; other children warn
// "Unknown tag '<name>' in <rootName>."; the children's results are not used.
typedef bool (*nNodeTagReader)(nMItem* item, nMetaFile* document, nMetaTag* tag);
bool DeserializeManagedTag(nMItem* item, nMetaFile* document, nMetaTag* tag, const char* rootName,
                           const char* nodeName, const char* rootError, nNodeTagReader readNode);

// A root named rootName holding the "MItem" tag and node (which it takes over, NULL allowed);
// NULL after logging failure (error prefix) when the root cannot be made.
nMetaTag* SerializeManagedTag(nMItem* item, nMetaFile* document, const char* rootName, nMetaTag* node,
                              const char* failure);

#endif
