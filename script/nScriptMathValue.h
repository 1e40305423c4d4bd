#ifndef N_SCRIPTMATHVALUE_H
#define N_SCRIPTMATHVALUE_H

// Shared inside the math classes: which math class an instance belongs to, and its copy.

#include <cstdlib>
#include <new>

#include <squirrel.h>

#include "script/nScriptBinding.h"
#include "script/nScriptMath.h"

enum nScriptMathKind
{
    MathKindNone = 0,  // not an instance of a math class
    MathKindVector = 1,
    MathKindMatrix3 = 2,
    MathKindMatrix4 = 3
};

// The math class of the value at index and its value (NULL for an instance without one),
// found by the class's type tag; raises nothing.
inline nScriptMathKind ScriptMathKindOf(HSQUIRRELVM v, SQInteger index, void** value)
{
    *value = 0;
    if (sq_gettype(v, index) != OT_INSTANCE)
        return MathKindNone;
    SQUserPointer tag = 0;
    if (SQ_FAILED(sq_gettypetag(v, index, &tag)))
        return MathKindNone;
    nScriptMathKind kind = tag == (SQUserPointer)&g_VectorClassDecl    ? MathKindVector
                           : tag == (SQUserPointer)&g_Matrix3ClassDecl ? MathKindMatrix3
                           : tag == (SQUserPointer)&g_Matrix4ClassDecl ? MathKindMatrix4
                                                                       : MathKindNone;
    if (kind != MathKindNone && sq_getreleasehook(v, index))
        sq_getinstanceup(v, index, value, 0);
    return kind;
}

// A heap copy freed by ScriptReleaseNativeValue, for an instance without a reserve (the math
// values are trivially destructible).
template<class T>
inline T* ScriptNewMathValue(const T& value)
{
    void* p = std::malloc(sizeof(T));
    return p ? new (p) T(value) : 0;
}

// 'this' of a member of the class of kind: NULL after raising "Invalid instance type" or
// "Internal failure".
template<class T>
inline T* ScriptMathThis(HSQUIRRELVM v, nScriptMathKind kind)
{
    void* p;
    if (ScriptMathKindOf(v, 1, &p) != kind) {
        sq_throwerror(v, "Invalid instance type");
        return 0;
    }
    if (!p)
        sq_throwerror(v, "Internal failure");
    return static_cast<T*>(p);
}

// Gives 'this' a value of its own (constructors and clones): written into the instance's
// reserve or its earlier copy, else into a new heap copy; false after raising.
template<class T>
inline bool ScriptMathAdopt(HSQUIRRELVM v, const T& value)
{
    SQUserPointer old = 0;
    sq_getinstanceup(v, 1, &old, 0);
    if (old) {
        new (old) T(value);
        if (!sq_getreleasehook(v, 1))
            sq_setreleasehook(v, 1, ScriptReleaseInlineValue);
        return true;
    }
    T* copy = ScriptNewMathValue(value);
    if (!copy) {
        sq_throwerror(v, "Internal failure");
        return false;
    }
    sq_setinstanceup(v, 1, copy);
    sq_setreleasehook(v, 1, ScriptReleaseNativeValue);
    return true;
}

// Pushes a new instance of the class holding value; false, stack unchanged, on failure.
template<class T>
inline bool ScriptMathPush(HSQUIRRELVM v, const ScriptClassDecl& decl, const T& value)
{
    if (!ScriptCreateBareInstance(v, &decl))
        return false;
    SQUserPointer reserve = 0;
    sq_getinstanceup(v, -1, &reserve, 0);
    if (reserve) {
        new (reserve) T(value);
        sq_setreleasehook(v, -1, ScriptReleaseInlineValue);
        return true;
    }
    T* copy = ScriptNewMathValue(value);
    if (!copy) {
        sq_pop(v, 1);
        return false;
    }
    sq_setinstanceup(v, -1, copy);
    sq_setreleasehook(v, -1, ScriptReleaseNativeValue);
    return true;
}

#endif
