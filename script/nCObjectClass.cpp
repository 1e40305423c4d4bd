#include <functional>
#include <new>

#include "script/nCObject.h"

#include "script/nScriptBinding.h"

// The object methods of CObject that serve every kind: identity, null tests and the kind. The
// methods on scenes, items, shapes and the engine are added by the script API beside the
// functions of those objects (ScriptAddClassMembers).

bool ScriptCObjectThis(HSQUIRRELVM v, nCObject*& rec)
{
    SQUserPointer p = 0;
    if (sq_gettype(v, 1) != OT_INSTANCE || SQ_FAILED(sq_getinstanceup(v, 1, &p, (SQUserPointer)&g_CObjectClassDecl))) {
        sq_throwerror(v, "Invalid instance type");
        return false;
    }
    if (!p) {
        ScriptInternalFailure(v);
        return false;
    }
    rec = static_cast<nCObject*>(p);
    return true;
}

namespace {

SQInteger CObjectTypeName(HSQUIRRELVM v)
{
    sq_pushstring(v, "CObject", -1);
    return 1;
}

// A CObject made by a script: an empty record (kind 0, no native, not owned).
SQInteger CObjectConstructor(HSQUIRRELVM v)
{
    SQUserPointer p = 0;
    if (sq_gettype(v, 1) != OT_INSTANCE || SQ_FAILED(sq_getinstanceup(v, 1, &p, (SQUserPointer)&g_CObjectClassDecl)))
        return sq_throwerror(v, "Invalid instance type");
    if (p)
        return 0;  // already holds a record (the constructor called again by hand)
    nCObject* rec = new (std::nothrow) nCObject(objectTypeUndefined, 0, false);
    if (!rec)
        return sq_throwerror(v, "Could not allocate C Object.");
    sq_setinstanceup(v, 1, rec);
    sq_setreleasehook(v, 1, ScriptReleaseCObject);
    return 0;
}

// Orders by native pointer: 0 for the same native. An integer, as the language's comparison
// operators need (a bool result would make every comparison of two objects an error).
SQInteger CObjectCompare(HSQUIRRELVM v)
{
    nCObject* self;
    if (!ScriptCObjectThis(v, self)) return SQ_ERROR;
    SQUserPointer p = 0;
    if (sq_gettype(v, 2) != OT_INSTANCE || SQ_FAILED(sq_getinstanceup(v, 2, &p, (SQUserPointer)&g_CObjectClassDecl)))
        return sq_throwerror(v, "Invalid instance type");
    if (!p) return ScriptInternalFailure(v);
    void* a = self->GetNative();
    void* b = static_cast<nCObject*>(p)->GetNative();
    sq_pushinteger(v, a == b ? 0 : (std::less<void*>()(a, b) ? -1 : 1));
    return 1;
}

SQInteger CObjectIsValid(HSQUIRRELVM v)
{
    nCObject* self;
    if (!ScriptCObjectThis(v, self)) return SQ_ERROR;
    sq_pushbool(v, self->GetNative() ? SQTrue : SQFalse);
    return 1;
}

SQInteger CObjectIsNull(HSQUIRRELVM v)
{
    nCObject* self;
    if (!ScriptCObjectThis(v, self)) return SQ_ERROR;
    sq_pushbool(v, self->GetNative() ? SQFalse : SQTrue);
    return 1;
}

SQInteger CObjectType(HSQUIRRELVM v)
{
    nCObject* self;
    if (!ScriptCObjectThis(v, self)) return SQ_ERROR;
    sq_pushinteger(v, self->GetType());
    return 1;
}

}  // namespace

static const ScriptMemberDecl s_CObjectMembers[] = {
    {"_SCypeof", CObjectTypeName, 1, 0},
    {"constructor", CObjectConstructor, -1, "."},
    {"_cmp", CObjectCompare, 2, ".xx"},
    {"isValid", CObjectIsValid, 1, "."},
    {"isNull", CObjectIsNull, 1, "."},
    {"type", CObjectType, 1, "."},
    {0, 0, 0, 0}};

const ScriptClassDecl g_CObjectClassDecl = {"CObject", 0, s_CObjectMembers};
