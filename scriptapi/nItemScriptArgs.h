#ifndef N_ITEMSCRIPTARGS_H
#define N_ITEMSCRIPTARGS_H

#include "script/nCObject.h"
#include "script/nScriptBinding.h"

class nMItem;

// Items as the Item functions read and push them. An Item object (kind objectTypeItem) wraps
// the managed item itself (static_cast<void*>(nMItem*)), as the item events push it; a cast
// re-wraps the same pointer under another kind.

// Argument arg as an Item of a live item: false after raising "Expected 'Item' got '%s'"
// or "CObject is null"; the function then returns SQ_ERROR.
inline bool ScriptGetItem(ScriptStackHandler& s, SQInteger arg, nMItem** out)
{
    return s.GetObject(arg, objectTypeItem, out);
}

// The same with a NULL native allowed (*out NULL): an optional item such as "no parent".
inline bool ScriptGetItemOrNull(ScriptStackHandler& s, SQInteger arg, nMItem** out)
{
    return s.GetObjectOrNull(arg, objectTypeItem, out);
}

// Pushes a new Item object of item, not owned (NULL: a null Item); 1, as the Return calls.
inline SQInteger ScriptReturnItem(ScriptStackHandler& s, nMItem* item)
{
    return s.ReturnObject(static_cast<void*>(item), objectTypeItem, false);
}

#endif
