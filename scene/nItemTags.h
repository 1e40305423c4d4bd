#ifndef N_ITEMTAGS_H
#define N_ITEMTAGS_H

#include "core/nMLReader.h"

class nMItem;
class nMetaFile;

// Small building blocks shared by the NML readers and writers of the scene's item kinds; the
// general ones (name test, appending, typed reads) are the reader kit of core/nMLReader.h.

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
