#ifndef N_SCRIPTBINDING_H
#define N_SCRIPTBINDING_H

#include <cstdint>

#include <squirrel.h>

class nVector;
class nMatrix3;
class nMatrix4;

// Tools between the engine's binding code and the Squirrel API: declarative native classes,
// native instances made without running a script constructor, a reference-holding handle to
// a script value, and the argument and result frame of every native script function.

// One member of a native class: count n > 0 means exactly n values, -n at least n, 'this'
// included; a NULL mask accepts any type. A row with a NULL name ends a member table.
struct ScriptMemberDecl
{
    const char* name;
    SQFUNCTION function;
    SQInteger params;
    const char* mask;
};

// A native class. The address of the declaration is the class's type tag: native code
// recognises the class's instances by it (sq_getinstanceup with the declaration).
struct ScriptClassDecl
{
    const char* name;
    const char* base;  // class in the root table, or NULL
    const ScriptMemberDecl* members;
};

// Registers the class in the root table. False, stack unchanged, when the base class is
// missing, the class cannot be made or a member's mask does not compile.
bool ScriptRegisterClass(HSQUIRRELVM v, const ScriptClassDecl* decl);
// Adds methods to a class of the root table (methods may be added after the first instance).
// False, stack unchanged, when the class is missing; a member whose mask does not compile is
// left out (false as well).
bool ScriptAddClassMembers(HSQUIRRELVM v, const char* class_name, const ScriptMemberDecl* members);

// Pushes a new instance of the root-table class without calling any constructor; its user
// pointer becomes value and hook frees value when the machine frees the instance. False,
// stack unchanged, when the class is missing or the instance cannot be made (the caller
// still owns value then).
bool ScriptCreateNativeInstance(HSQUIRRELVM v, const char* class_name, void* value, SQRELEASEHOOK hook);
// The same for a native class by its declaration: on an nSquirrelVM the class is looked up
// once and then held (the fast path of frequent pushes).
bool ScriptCreateNativeInstance(HSQUIRRELVM v, const ScriptClassDecl* decl, void* value, SQRELEASEHOOK hook);
// Reserves size bytes inside every instance of the root-table class of the declaration, for
// its native value; before its first instance. False, stack unchanged, when it cannot.
bool ScriptReserveClassValue(HSQUIRRELVM v, const ScriptClassDecl* decl, SQInteger size);
// Pushes a new instance of the native class without calling any constructor and leaves its
// user pointer as the machine made it: the bytes the class reserves inside each instance
// (uninitialised), or NULL for a class that reserves none. False, stack unchanged, on failure.
bool ScriptCreateBareInstance(HSQUIRRELVM v, const ScriptClassDecl* decl);

// A reference to one script value on one machine; holds one reference while bound.
class SquirrelObject
{
public:
    explicit SquirrelObject(HSQUIRRELVM v);  // a null value bound to v
    virtual ~SquirrelObject();               // releases the held reference
    SquirrelObject(const SquirrelObject&) = delete;
    SquirrelObject& operator=(const SquirrelObject&) = delete;

    void AttachToStack(SQInteger index);  // references the value at index, releasing the previous one
    void Reset();                         // back to null
    const HSQOBJECT& GetObject() const { return m_object; }
    HSQUIRRELVM GetVM() const { return m_vm; }

private:
    HSQOBJECT m_object;
    HSQUIRRELVM m_vm;
};

// The object kind (objectType...) a native class is read as by ScriptStackHandler::Args:
// specialised beside the functions of the class's family, as
//     template<> struct ScriptObjectKind<nMItem> { static const int32_t value = objectTypeItem; };
template<class T> struct ScriptObjectKind;

// Argument forms of ScriptStackHandler::Args besides plain outputs.
template<class T> struct ScriptOrNullArg
{
    T*& out;
};  // an object that may be null
template<class T> ScriptOrNullArg<T> ScriptOrNull(T*& out) { return ScriptOrNullArg<T>{out}; }
struct ScriptSkipArg
{};  // an argument left to the type mask
const ScriptSkipArg ScriptSkip = ScriptSkipArg();

// The frame of one native script function. The machine has already checked the argument
// count and types against the function's mask. Argument 0 is 'this', argument k the k-th
// after it (stack index k + 1). Each reader gives false after raising the script error, and
// the function then returns SQ_ERROR at once. Args reads arguments 1, 2, ... in one line:
//
//     ScriptStackHandler s(v);
//     nMItem* item;
//     const char* name;
//     if (!s.Args(item, name)) return SQ_ERROR;
//     return s.ReturnObject(item->FindMotion(name), objectTypeMotion, false);
//
// Arguments stay on the stack until the function returns, so strings and objects read from
// them stay alive while the engine operation runs.
class nMetaTag;

class ScriptStackHandler
{
public:
    explicit ScriptStackHandler(HSQUIRRELVM v) : m_vm(v), m_count(sq_gettop(v)) {}

    HSQUIRRELVM GetVM() const { return m_vm; }
    SQInteger GetParamCount() const { return m_count; }    // 'this' included
    SQInteger GetArgCount() const { return m_count - 1; }  // after 'this'
    SQObjectType GetType(SQInteger arg) const { return sq_gettype(m_vm, arg + 1); }
    bool IsNumber(SQInteger arg) const;  // integer or float

    // Readers; numbers convert between integer and float. Integers are narrowed to 32 bits
    // (the engine's ints); GetInt64 keeps the script's full width.
    bool GetInt(SQInteger arg, int32_t& out);
    bool GetInt64(SQInteger arg, SQInteger& out);
    bool GetFloat(SQInteger arg, float& out);
    bool GetBool(SQInteger arg, bool& out);
    bool GetString(SQInteger arg, const char*& out);                // owned by the machine
    bool GetObject(SQInteger arg, int32_t type, void** out);        // exact kind (0: any); a NULL native raises "CObject is null"
    bool GetObjectOrNull(SQInteger arg, int32_t type, void** out);  // exact kind (0: any); NULL native allowed
    bool GetVector(SQInteger arg, nVector& out);                    // x, y, z copied, w = 1; "Invalid instance type"
    bool GetVector4(SQInteger arg, nVector& out);                   // all four components
    bool GetMatrix3(SQInteger arg, nMatrix3& out);                  // "Invalid instance type"
    bool GetMatrix4(SQInteger arg, nMatrix4& out);

    // Reads arguments 1, 2, ... into outs, in order, each as its type reads (ScriptReadArg):
    // int32_t, SQInteger (full width), float, bool, const char*, nVector (w = 1), nMatrix3,
    // nMatrix4, a pointer to a class with a ScriptObjectKind (a live object of exactly that
    // kind), ScriptOrNull(pointer), ScriptSkip. Stops at the first argument that does not
    // read, after raising its error (once), and gives false.
    template<class... T> bool Args(T&&... outs)
    {
        SQInteger arg = 1;
        return (ScriptReadArg(*this, arg++, outs) && ...);
    }

    template<class T> bool GetObject(SQInteger arg, int32_t type, T** out)
    {
        void* p = 0;
        if (!GetObject(arg, type, &p)) return false;
        *out = static_cast<T*>(p);
        return true;
    }
    template<class T> bool GetObjectOrNull(SQInteger arg, int32_t type, T** out)
    {
        void* p = 0;
        if (!GetObjectOrNull(arg, type, &p)) return false;
        *out = static_cast<T*>(p);
        return true;
    }

    // Results: each pushes one value and gives 1; Return() gives 0 (the script gets null).
    SQInteger Return() { return 0; }
    SQInteger Return(int32_t value)
    {
        sq_pushinteger(m_vm, value);
        return 1;
    }
    SQInteger Return(uint32_t value)
    {
        sq_pushinteger(m_vm, (SQInteger)value);
        return 1;
    }  // packed colours and masks: as scripts write them (0xFFFFFFFF)
    SQInteger Return(SQInteger value)
    {
        sq_pushinteger(m_vm, value);
        return 1;
    }
    SQInteger Return(float value)
    {
        sq_pushfloat(m_vm, value);
        return 1;
    }
    SQInteger Return(bool value)
    {
        sq_pushbool(m_vm, value ? SQTrue : SQFalse);
        return 1;
    }
    SQInteger Return(const char* text)
    {
        sq_pushstring(m_vm, text ? text : "", -1);
        return 1;
    }  // copied
    SQInteger Return(const SquirrelObject& value)
    {
        sq_pushobject(m_vm, value.GetObject());
        return 1;
    }
    SQInteger ReturnObject(void* native, int32_t type, bool owned);  // a new CObject; a NULL native gives a null object of the kind
    SQInteger Return(const nVector& value);                          // a new Vector
    SQInteger ReturnTagValue(const nMetaTag* tag);                   // a registry key's bool, integer, float or text; -1 for none or another kind
    SQInteger Return(const nMatrix3& value);                         // a new Matrix3
    SQInteger Return(const nMatrix4& value);                         // a new Matrix4
    SQInteger Error(const char* text) { return sq_throwerror(m_vm, text); }

    // Lists: NewArray or NewTable pushes the result under construction; each Return call then
    // pushes one element, which Append (array) or Slot (table, under key) moves into it:
    //     s.NewArray();
    //     for (...) s.Append(s.ReturnObject(item, objectTypeItem, false));
    //     return 1;
    void NewArray() { sq_newarray(m_vm, 0); }
    void NewTable() { sq_newtable(m_vm); }
    void Append(SQInteger pushed);                 // the value on top into the array below it
    void Slot(const char* key, SQInteger pushed);  // the value on top into the table below it

private:
    HSQUIRRELVM m_vm;
    SQInteger m_count;
};

// One argument read by its type, for ScriptStackHandler::Args; false after raising its error.
// A family adds its own forms beside its functions (an Item's transform node, for one).
inline bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, int32_t& out) { return s.GetInt(arg, out); }
inline bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, SQInteger& out) { return s.GetInt64(arg, out); }
inline bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, float& out) { return s.GetFloat(arg, out); }
inline bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, bool& out) { return s.GetBool(arg, out); }
inline bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, const char*& out) { return s.GetString(arg, out); }
inline bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, nVector& out) { return s.GetVector(arg, out); }
inline bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, nMatrix3& out) { return s.GetMatrix3(arg, out); }
inline bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, nMatrix4& out) { return s.GetMatrix4(arg, out); }
inline bool ScriptReadArg(ScriptStackHandler&, SQInteger, ScriptSkipArg) { return true; }
template<class T, int32_t Kind = ScriptObjectKind<T>::value>
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, T*& out) { return s.GetObject(arg, Kind, &out); }
template<class T, int32_t Kind = ScriptObjectKind<T>::value>
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, ScriptOrNullArg<T> o) { return s.GetObjectOrNull(arg, Kind, &o.out); }

// Raises "Internal failure": 'this' of the right class without its native value (a clone).
SQInteger ScriptInternalFailure(HSQUIRRELVM v);
// Fails the way a metamethod reports "no such key": an error without a message of its own.
SQInteger ScriptFailQuietly(HSQUIRRELVM v);

#endif
