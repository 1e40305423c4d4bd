#include "script/nScriptBinding.h"

#include "core/nMatrix.h"
#include "core/nMetaTag.h"
#include "core/nVector.h"
#include "script/nCObject.h"
#include "script/nScriptMath.h"
#include "script/nSquirrelVM.h"

bool ScriptRegisterClass(HSQUIRRELVM v, const ScriptClassDecl* decl)
{
    SQInteger top = sq_gettop(v);
    sq_pushroottable(v);
    sq_pushstring(v, decl->name, -1);
    bool has_base = decl->base != 0;
    if (has_base) {
        sq_pushstring(v, decl->base, -1);
        if (SQ_FAILED(sq_rawget(v, -3))) {
            sq_settop(v, top);
            return false;
        }
    }
    if (SQ_FAILED(sq_newclass(v, has_base ? SQTrue : SQFalse))) {
        sq_settop(v, top);
        return false;
    }
    sq_settypetag(v, -1, (SQUserPointer)decl);
    for (const ScriptMemberDecl* m = decl->members; m && m->name; ++m) {
        sq_pushstring(v, m->name, -1);
        sq_newclosure(v, m->function, 0);
        // A mask that does not compile would leave a closure nobody can call: refuse the class.
        if (SQ_FAILED(sq_setparamscheck(v, m->params, m->mask))) {
            sq_settop(v, top);
            return false;
        }
        sq_setnativeclosurename(v, -1, m->name);
        sq_newslot(v, -3, SQFalse);
    }
    sq_newslot(v, -3, SQFalse);
    sq_settop(v, top);
    return true;
}

bool ScriptAddClassMembers(HSQUIRRELVM v, const char* class_name, const ScriptMemberDecl* members)
{
    SQInteger top = sq_gettop(v);
    sq_pushroottable(v);
    sq_pushstring(v, class_name, -1);
    if (SQ_FAILED(sq_rawget(v, -2)) || sq_gettype(v, -1) != OT_CLASS) {
        sq_settop(v, top);
        return false;
    }
    bool all = true;
    for (const ScriptMemberDecl* m = members; m && m->name; ++m) {
        SQInteger mark = sq_gettop(v);
        sq_pushstring(v, m->name, -1);
        sq_newclosure(v, m->function, 0);
        if (SQ_FAILED(sq_setparamscheck(v, m->params, m->mask))) {
            all = false;
            sq_settop(v, mark);
            continue;
        }
        sq_setnativeclosurename(v, -1, m->name);
        if (SQ_FAILED(sq_newslot(v, -3, SQFalse))) {
            all = false;
            sq_settop(v, mark);
        }
    }
    sq_settop(v, top);
    return all;
}

// Stack: ... class. Replaces the class with a new instance of it; false, stack at top, on failure.
static bool InstanceOnTop(HSQUIRRELVM v, SQInteger top)
{
    if (SQ_FAILED(sq_createinstance(v, -1))) {
        sq_settop(v, top);
        return false;
    }
    sq_remove(v, -2);
    return true;
}

// The class of the declaration on top: held by an nSquirrelVM, else looked up in the root table.
static bool PushClass(HSQUIRRELVM v, const ScriptClassDecl* decl)
{
    nSquirrelVM* vm = nSquirrelVM::FromHandle(v);
    const HSQOBJECT* cls = vm ? static_cast<const HSQOBJECT*>(vm->FindClass(decl)) : 0;
    if (cls) {
        sq_pushobject(v, *cls);
        return true;
    }
    SQInteger top = sq_gettop(v);
    sq_pushroottable(v);
    sq_pushstring(v, decl->name, -1);
    if (SQ_FAILED(sq_rawget(v, -2)) || sq_gettype(v, -1) != OT_CLASS) {
        sq_settop(v, top);
        return false;
    }
    sq_remove(v, -2);
    return true;
}

bool ScriptCreateNativeInstance(HSQUIRRELVM v, const char* class_name, void* value, SQRELEASEHOOK hook)
{
    SQInteger top = sq_gettop(v);
    sq_pushroottable(v);
    sq_pushstring(v, class_name, -1);
    if (SQ_FAILED(sq_rawget(v, -2)) || sq_gettype(v, -1) != OT_CLASS) {
        sq_settop(v, top);
        return false;
    }
    sq_remove(v, -2);
    if (!InstanceOnTop(v, top))
        return false;
    sq_setinstanceup(v, -1, value);
    sq_setreleasehook(v, -1, hook);
    return true;
}

bool ScriptCreateNativeInstance(HSQUIRRELVM v, const ScriptClassDecl* decl, void* value, SQRELEASEHOOK hook)
{
    if (!ScriptCreateBareInstance(v, decl))
        return false;
    sq_setinstanceup(v, -1, value);
    sq_setreleasehook(v, -1, hook);
    return true;
}

bool ScriptReserveClassValue(HSQUIRRELVM v, const ScriptClassDecl* decl, SQInteger size)
{
    SQInteger top = sq_gettop(v);
    bool ok = PushClass(v, decl) && SQ_SUCCEEDED(sq_setclassudsize(v, -1, size));
    sq_settop(v, top);
    return ok;
}

bool ScriptCreateBareInstance(HSQUIRRELVM v, const ScriptClassDecl* decl)
{
    SQInteger top = sq_gettop(v);
    return PushClass(v, decl) && InstanceOnTop(v, top);
}

SquirrelObject::SquirrelObject(HSQUIRRELVM v) : m_vm(v)
{
    sq_resetobject(&m_object);
}

SquirrelObject::~SquirrelObject()
{
    Reset();
}

void SquirrelObject::AttachToStack(SQInteger index)
{
    HSQOBJECT o;
    sq_resetobject(&o);
    if (SQ_FAILED(sq_getstackobj(m_vm, index, &o)))
        return;
    sq_addref(m_vm, &o);
    Reset();
    m_object = o;
}

void SquirrelObject::Reset()
{
    if (m_vm)
        sq_release(m_vm, &m_object);
    sq_resetobject(&m_object);
}

bool ScriptStackHandler::IsNumber(SQInteger arg) const
{
    SQObjectType t = GetType(arg);
    return t == OT_INTEGER || t == OT_FLOAT;
}

static SQInteger RaiseArgumentType(HSQUIRRELVM v, SQInteger arg)
{
    return sq_throwerror(v, "Invalid argument type");
}

bool ScriptStackHandler::GetInt(SQInteger arg, int32_t& out)
{
    SQInteger value;
    if (!GetInt64(arg, value)) return false;
    out = (int32_t)value;
    return true;
}

bool ScriptStackHandler::GetInt64(SQInteger arg, SQInteger& out)
{
    if (arg < 0 || arg >= m_count || SQ_FAILED(sq_getinteger(m_vm, arg + 1, &out))) {
        RaiseArgumentType(m_vm, arg);
        return false;
    }
    return true;
}

bool ScriptStackHandler::GetFloat(SQInteger arg, float& out)
{
    SQFloat value;
    if (arg < 0 || arg >= m_count || SQ_FAILED(sq_getfloat(m_vm, arg + 1, &value))) {
        RaiseArgumentType(m_vm, arg);
        return false;
    }
    out = value;
    return true;
}

bool ScriptStackHandler::GetBool(SQInteger arg, bool& out)
{
    SQBool value;
    if (arg < 0 || arg >= m_count || SQ_FAILED(sq_getbool(m_vm, arg + 1, &value))) {
        RaiseArgumentType(m_vm, arg);
        return false;
    }
    out = value != SQFalse;
    return true;
}

bool ScriptStackHandler::GetString(SQInteger arg, const char*& out)
{
    if (arg < 0 || arg >= m_count || SQ_FAILED(sq_getstring(m_vm, arg + 1, &out))) {
        RaiseArgumentType(m_vm, arg);
        return false;
    }
    return true;
}

bool ScriptStackHandler::GetObjectOrNull(SQInteger arg, int32_t type, void** out)
{
    if (arg < 0 || arg >= m_count) {
        RaiseArgumentType(m_vm, arg);
        return false;
    }
    return ScriptGetNativeObject(m_vm, arg + 1, out, type);
}

bool ScriptStackHandler::GetObject(SQInteger arg, int32_t type, void** out)
{
    void* p = 0;
    if (!GetObjectOrNull(arg, type, &p))
        return false;
    if (!p) {
        sq_throwerror(m_vm, "CObject is null");
        return false;
    }
    *out = p;
    return true;
}

template<class T>
static bool GetMathValue(HSQUIRRELVM v, SQInteger count, SQInteger arg, const ScriptClassDecl& decl, T*& out)
{
    SQUserPointer p = 0;
    if (arg < 0 || arg >= count || SQ_FAILED(sq_getinstanceup(v, arg + 1, &p, (SQUserPointer)&decl)) || !p || !sq_getreleasehook(v, arg + 1)) {
        sq_throwerror(v, "Invalid instance type");
        return false;
    }
    out = static_cast<T*>(p);
    return true;
}

bool ScriptStackHandler::GetVector(SQInteger arg, nVector& out)
{
    nVector* p;
    if (!GetMathValue(m_vm, m_count, arg, g_VectorClassDecl, p)) return false;
    out = nVector(p->x, p->y, p->z, 1.0f);
    return true;
}

bool ScriptStackHandler::GetVector4(SQInteger arg, nVector& out)
{
    nVector* p;
    if (!GetMathValue(m_vm, m_count, arg, g_VectorClassDecl, p)) return false;
    out = *p;
    return true;
}

bool ScriptStackHandler::GetMatrix3(SQInteger arg, nMatrix3& out)
{
    nMatrix3* p;
    if (!GetMathValue(m_vm, m_count, arg, g_Matrix3ClassDecl, p)) return false;
    out = *p;
    return true;
}

bool ScriptStackHandler::GetMatrix4(SQInteger arg, nMatrix4& out)
{
    nMatrix4* p;
    if (!GetMathValue(m_vm, m_count, arg, g_Matrix4ClassDecl, p)) return false;
    out = *p;
    return true;
}

SQInteger ScriptStackHandler::ReturnObject(void* native, int32_t type, bool owned)
{
    if (!ScriptPushNativeObject(m_vm, native, type, owned))
        sq_pushnull(m_vm);
    return 1;
}

SQInteger ScriptStackHandler::Return(const nVector& value)
{
    if (!ScriptPushVector(m_vm, value))
        sq_pushnull(m_vm);
    return 1;
}

SQInteger ScriptStackHandler::Return(const nMatrix3& value)
{
    if (!ScriptPushMatrix3(m_vm, value))
        sq_pushnull(m_vm);
    return 1;
}

SQInteger ScriptStackHandler::Return(const nMatrix4& value)
{
    if (!ScriptPushMatrix4(m_vm, value))
        sq_pushnull(m_vm);
    return 1;
}

void ScriptStackHandler::Append(SQInteger pushed)
{
    if (pushed == 1)
        sq_arrayappend(m_vm, -2);
}

void ScriptStackHandler::Slot(const char* key, SQInteger pushed)
{
    if (pushed != 1)
        return;
    sq_pushstring(m_vm, key, -1);
    sq_push(m_vm, -2);
    sq_newslot(m_vm, -4, SQFalse);
    sq_pop(m_vm, 1);
}

SQInteger ScriptInternalFailure(HSQUIRRELVM v)
{
    return sq_throwerror(v, "Internal failure");
}

SQInteger ScriptFailQuietly(HSQUIRRELVM v)
{
    // A null error tells the machine "no such key" (its own message), not an error text of ours.
    sq_pushnull(v);
    return sq_throwobject(v);
}

SQInteger ScriptStackHandler::ReturnTagValue(const nMetaTag* tag)
{
    if (!tag) return Return(-1);
    const nVariant& value = tag->GetValue();
    switch (value.GetType()) {
        case TagType_Bool: {
            bool b = false;
            value.GetBool(&b);
            return Return(b);
        }
        case TagType_Integer: {
            int32_t i = 0;
            value.GetInt(&i);
            return Return(i);
        }
        case TagType_Real: {
            float f = 0.0f;
            value.GetFloat(&f);
            return Return(f);
        }
        case TagType_String: {
            const char* text = "";
            value.GetString(&text);
            return Return(text);
        }
        default:
            return Return(-1);
    }
}
