#ifndef N_ITEMSCRIPTARGS_H
#define N_ITEMSCRIPTARGS_H

#include "scene/nItem.h"
#include "scene/nMItem.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "scriptapi/nScriptObjectKinds.h"

// Items as the Item functions read and push them. An Item object (kind objectTypeItem) wraps
// the managed item itself (static_cast<void*>(nMItem*)), as the item events push it; a cast
// re-wraps the same pointer under another kind.
//
// Read by ScriptStackHandler::Args: nMItem* (a live Item: "Expected 'Item' got '%s'" or
// "CObject is null"), ScriptOrNull(nMItem*) (NULL allowed: "no parent"), nItem* (the Item's
// transform node: "Item has no transform node" besides), ScriptItemAndNode(item, node) and
// nPhysicItem* (the Item's body).
struct ScriptItemNodeArg
{
    nMItem*& item;
    nItem*& node;
};
inline ScriptItemNodeArg ScriptItemAndNode(nMItem*& item, nItem*& node) { return ScriptItemNodeArg{item, node}; }

inline bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, ScriptItemNodeArg both)
{
    if (!ScriptReadArg(s, arg, both.item)) return false;
    both.node = both.item->GetItem();
    if (!both.node) {
        s.Error("Item has no transform node");
        return false;
    }
    return true;
}

inline bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, nItem*& out)
{
    nMItem* item;
    return ScriptReadArg(s, arg, ScriptItemAndNode(item, out));
}

// Read by ScriptStackHandler::Args: an Item argument as its body, NULL for an item without
// one (a scene without a physics world); false after raising the Item's error.
inline bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, nPhysicItem*& body)
{
    nMItem* item;
    if (!ScriptReadArg(s, arg, item)) return false;
    body = item->GetPhysicItem();
    return true;
}

// Pushes a new Item object of item, not owned (NULL: a null Item); 1, as the Return calls.
inline SQInteger ScriptReturnItem(ScriptStackHandler& s, nMItem* item)
{
    return s.ReturnObject(static_cast<void*>(item), objectTypeItem, false);
}

#endif
