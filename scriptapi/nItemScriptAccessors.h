#ifndef N_ITEMSCRIPTACCESSORS_H
#define N_ITEMSCRIPTACCESSORS_H

#include <functional>
#include <type_traits>

#include "core/nMatrix.h"
#include "core/nVector.h"
#include "scene/nItem.h"
#include "scene/nMItem.h"
#include "script/nScriptBinding.h"
#include "scriptapi/nItemScriptArgs.h"

// The shapes most Item functions share, one template each over the member they reach: read the
// Item argument (or its transform node), then return what a getter gives, hand one argument to
// a setter, or call an action. Each may also be a function of the item (nMItem*, then the
// value), such as the fixed answer of an old entry.
//
//     {"ItemIsActive", ScriptItemGet<&nMItem::IsActive>, ".x"},
//     {"ItemSetPriority", ScriptItemSet<&nMItem::SetPriority>, ".xn"},
//     {"ItemGetPosition", ScriptNodeGet<&nItem::GetPosition>, ".x"},

// Argument arg read as the type a setter takes; false after raising the argument's error.
inline bool ScriptGetArgument(ScriptStackHandler& s, SQInteger arg, bool& out)        { return s.GetBool(arg, out); }
inline bool ScriptGetArgument(ScriptStackHandler& s, SQInteger arg, int32_t& out)     { return s.GetInt(arg, out); }
inline bool ScriptGetArgument(ScriptStackHandler& s, SQInteger arg, float& out)       { return s.GetFloat(arg, out); }
inline bool ScriptGetArgument(ScriptStackHandler& s, SQInteger arg, const char*& out) { return s.GetString(arg, out); }
inline bool ScriptGetArgument(ScriptStackHandler& s, SQInteger arg, nVector& out)     { return s.GetVector(arg, out); }    // w = 1
inline bool ScriptGetArgument(ScriptStackHandler& s, SQInteger arg, nMatrix3& out)    { return s.GetMatrix3(arg, out); }
inline bool ScriptGetArgument(ScriptStackHandler& s, SQInteger arg, nMatrix4& out)    { return s.GetMatrix4(arg, out); }

// The Item argument arg and its transform node; false after raising the argument's error or
// "Item has no transform node".
inline bool ScriptGetItemNode(ScriptStackHandler& s, SQInteger arg, nMItem** item, nItem** node)
{
    if (!ScriptGetItem(s, arg, item)) return false;
    *node = (*item)->GetItem();
    if (!*node) {
        s.Error("Item has no transform node");
        return false;
    }
    return true;
}

// The value type a setter takes: a member with one parameter or a function of (item, value).
template<class Setter> struct nScriptSetterValue;
template<class C, class R, class A> struct nScriptSetterValue<R (C::*)(A)>  { typedef typename std::decay<A>::type Type; };
template<class C, class R, class A> struct nScriptSetterValue<R (*)(C*, A)> { typedef typename std::decay<A>::type Type; };

// (Item) -> item->Get(), or Get(item).
template<auto Get>
SQInteger ScriptItemGet(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    if (!ScriptGetItem(s, 1, &item)) return SQ_ERROR;
    return s.Return(std::invoke(Get, item));
}

// (Item, value): item->Set(value), or Set(item, value).
template<auto Set>
SQInteger ScriptItemSet(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    typename nScriptSetterValue<decltype(Set)>::Type value;
    if (!ScriptGetItem(s, 1, &item) || !ScriptGetArgument(s, 2, value)) return SQ_ERROR;
    std::invoke(Set, item, value);
    return s.Return();
}

// (Item): item->Do(), or Do(item); no result.
template<auto Do>
SQInteger ScriptItemCall(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    if (!ScriptGetItem(s, 1, &item)) return SQ_ERROR;
    std::invoke(Do, item);
    return s.Return();
}

// (Item) -> node->Get() on the item's transform node.
template<auto Get>
SQInteger ScriptNodeGet(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    nItem* node;
    if (!ScriptGetItemNode(s, 1, &item, &node)) return SQ_ERROR;
    return s.Return(std::invoke(Get, node));
}

// (Item, value): node->Set(value) on the item's transform node.
template<auto Set>
SQInteger ScriptNodeSet(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    nItem* node;
    typename nScriptSetterValue<decltype(Set)>::Type value;
    if (!ScriptGetItemNode(s, 1, &item, &node) || !ScriptGetArgument(s, 2, value)) return SQ_ERROR;
    std::invoke(Set, node, value);
    return s.Return();
}

// (Item, ...): the item is checked and nothing else happens; the other arguments are left to
// the type mask. For old entries kept for the scripts that call them.
inline SQInteger ScriptItemCheckOnly(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    if (!ScriptGetItem(s, 1, &item)) return SQ_ERROR;
    return s.Return();
}

#endif
