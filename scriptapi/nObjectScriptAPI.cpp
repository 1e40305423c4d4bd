// The Object functions: the geometry of a mesh object; the skin-motion entries are kept for
// the scripts that call them and do nothing. Most of them take a null Object without error.

#include "core/nLog.h"
#include "resources/nGeometry.h"
#include "scene/nObject.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "scriptapi/nItemScriptAccessors.h"
#include "scriptapi/nItemScriptArgs.h"
#include "scriptapi/nSceneScriptAPI.h"
#include "scriptapi/nSceneScriptArgs.h"

namespace {

// An Object argument that may be null (the functions then do nothing or answer null); a live
// one must be a mesh object.
struct ObjectOrNullArg
{
    nMObject*& out;
};

bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, ObjectOrNullArg o)
{
    void* native;
    if (!s.GetObjectOrNull(arg, objectTypeObject, &native)) return false;
    o.out = 0;
    return !native || ScriptReadArg(s, arg, o.out);
}

struct GeometryOrNullArg
{
    nGeometry*& out;
};

bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, GeometryOrNullArg g)
{
    return s.GetObjectOrNull(arg, objectTypeGeometry, &g.out);
}

SQInteger ObjectGetItem(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMObject* object;
    if (!s.Args(ObjectOrNullArg{object})) return SQ_ERROR;
    return ScriptReturnItem(s, object);
}

// Only an object casts; any other item gives a null Object and a line, no script error.
SQInteger ItemCastToObject(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    if (!s.Args(item)) return SQ_ERROR;
    if (item->GetKind() != ManagedItemObject) {
        *g_log << "[!] Incorrect cast, item is not an object.\n";
        return ScriptReturnItemAs(s, 0, objectTypeObject);
    }
    return ScriptReturnItemAs(s, item, objectTypeObject);
}

SQInteger ObjectGetGeometry(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMObject* object;
    if (!s.Args(ObjectOrNullArg{object})) return SQ_ERROR;
    nGeometry* geometry = object ? object->GetObject().GetGeometry().Get() : 0;
    return s.ReturnObject(static_cast<void*>(geometry), objectTypeGeometry, false);
}

// A geometry is set up before the object takes it (with its skin); a null one takes the
// object's geometry away.
SQInteger ObjectSetGeometry(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMObject* object;
    nGeometry* geometry;
    if (!s.Args(ObjectOrNullArg{object}, GeometryOrNullArg{geometry})) return SQ_ERROR;
    if (!object) return s.Return();
    if (geometry) geometry->Setup();
    object->GetObject().SetGeometry(geometry, true);
    return s.Return();
}

// (Object or null, ...): nothing.
SQInteger ObjectNothing(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMObject* object;
    if (!s.Args(ObjectOrNullArg{object})) return SQ_ERROR;
    return s.Return();
}

}  // namespace

const ScriptFunctionDecl g_ObjectScriptFunctions[] = {
    {"ObjectGetItem", ObjectGetItem, ".x"},
    {"ItemCastToObject", ItemCastToObject, ".x"},
    {"ObjectGetGeometry", ObjectGetGeometry, ".x"},
    {"ObjectSetGeometry", ObjectSetGeometry, ".xx"},
    {"ObjectSetSkinMotion", ScriptCheckOnly<nMObject>, ".xs"},
    {"ObjectSetSkinMotionClockScale", ObjectNothing, ".xf"},
    {"ObjectStopAllSkinMotion", ObjectNothing, ".x"},
    {0, 0, 0}};

void RegisterObjectScriptAPI(HSQUIRRELVM v)
{
    ScriptRegisterFunctions(v, g_ObjectScriptFunctions);
}
