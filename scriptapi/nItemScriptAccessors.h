#ifndef N_ITEMSCRIPTACCESSORS_H
#define N_ITEMSCRIPTACCESSORS_H

#include <functional>
#include <type_traits>

#include "script/nScriptBinding.h"
#include "scriptapi/nItemScriptArgs.h"

// The shapes most family functions share, one template each over the member they reach: read
// the object (argument 1, by ScriptStackHandler::Args, so any kind with a ScriptObjectKind or
// a ScriptReadArg of its own), then return what a getter gives, hand one argument to a
// setter, or call an action. Each may also be a function of the object (Self*, then the
// value), such as the fixed answer of an old entry. The object's class is the member's own;
// Self names it where the member is inherited (a member of a base of nMItem read as an Item).
//
//     {"ItemIsActive", ScriptGet<&nMItem::IsActive>, ".x"},
//     {"ItemSetPriority", ScriptSet<&nMItem::SetPriority>, ".xn"},
//     {"ItemGetPosition", ScriptGet<&nItem::GetPosition>, ".x"},      // the Item's transform node
//     {"ItemStopMotion", ScriptCall<&nMItem::Clear, nMItem>, ".x"},   // Clear is the animation player's

// The object class of a member or of a function of (Self*, ...).
template<class F> struct nScriptSelf;
template<class C, class R, class... A> struct nScriptSelf<R (C::*)(A...)>
{
    typedef C Type;
};
template<class C, class R, class... A> struct nScriptSelf<R (C::*)(A...) const>
{
    typedef C Type;
};
template<class C, class R, class... A> struct nScriptSelf<R (*)(C*, A...)>
{
    typedef C Type;
};

// The value type a setter takes: a member with one parameter or a function of (object, value).
template<class Setter> struct nScriptSetterValue;
template<class C, class R, class A> struct nScriptSetterValue<R (C::*)(A)>
{
    typedef typename std::decay<A>::type Type;
};
template<class C, class R, class A> struct nScriptSetterValue<R (*)(C*, A)>
{
    typedef typename std::decay<A>::type Type;
};

// (object) -> object->Get(), or Get(object).
template<auto Get, class Self = typename nScriptSelf<decltype(Get)>::Type>
SQInteger ScriptGet(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    Self* self;
    if (!s.Args(self)) return SQ_ERROR;
    return s.Return(std::invoke(Get, self));
}

// (object, value): object->Set(value), or Set(object, value).
template<auto Set, class Self = typename nScriptSelf<decltype(Set)>::Type>
SQInteger ScriptSet(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    Self* self;
    typename nScriptSetterValue<decltype(Set)>::Type value;
    if (!s.Args(self, value)) return SQ_ERROR;
    std::invoke(Set, self, value);
    return s.Return();
}

// (object): object->Do(), or Do(object); no result.
template<auto Do, class Self = typename nScriptSelf<decltype(Do)>::Type>
SQInteger ScriptCall(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    Self* self;
    if (!s.Args(self)) return SQ_ERROR;
    std::invoke(Do, self);
    return s.Return();
}

// (object, ...): the object is checked and nothing else happens; the other arguments are
// left to the type mask. For old entries kept for the scripts that call them.
template<class Self>
SQInteger ScriptCheckOnly(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    Self* self;
    if (!s.Args(self)) return SQ_ERROR;
    return s.Return();
}

#endif
