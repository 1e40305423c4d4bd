#ifndef N_SCRIPTAPI_H
#define N_SCRIPTAPI_H

#include <cstdint>

#include <squirrel.h>

// The script API: global functions and constants in the root table, registered family by
// family. A family is two tables and a registrar:
//
//     static const ScriptFunctionDecl s_functions[] = {
//         {"ItemGetName", ItemGetName, ".x"},
//         {0, 0, 0}
//     };
//     static const ScriptConstantDecl s_constants[] = {
//         {"ItemTypeObject", 2, ScriptConstantInteger},
//         {"NullItem", 0, objectTypeItem},            // a null object of that kind
//         {0, 0, 0}
//     };
//     void RegisterItemScriptAPI(HSQUIRRELVM v)
//     {
//         ScriptRegisterFunctions(v, s_functions);
//         ScriptRegisterConstants(v, s_constants);
//     }
//
// and every function reads its arguments and pushes its result through ScriptStackHandler
// (script/nScriptBinding.h). A mask has one entry per value, 'this' first ("." for the root
// table); its entry count is the exact argument count, which the machine checks, with the
// types, before the function runs.

struct ScriptFunctionDecl
{
    const char* name;  // NULL ends a table
    SQFUNCTION function;
    const char* mask;
};

enum
{
    ScriptConstantInteger = -1
};

struct ScriptConstantDecl
{
    const char* name;        // NULL ends a table
    SQInteger value;         // the integer (ScriptConstantInteger)
    int32_t nullObjectType;  // ScriptConstantInteger, or the kind of a null object
};

// Adds one global function. A mask that does not compile logs one line and leaves the name
// unregistered (a closure nobody could call is worse than a missing name).
void ScriptRegisterFunction(HSQUIRRELVM v, SQFUNCTION function, const char* name, const char* mask);
void ScriptRegisterFunctions(HSQUIRRELVM v, const ScriptFunctionDecl* table);
void ScriptRegisterConstants(HSQUIRRELVM v, const ScriptConstantDecl* table);  // scripts may overwrite them

// One family registrar in the master order; function NULL until the family exists.
typedef void (*ScriptFamilyRegistrar)(HSQUIRRELVM v);
struct ScriptFamilyEntry
{
    const char* name;
    ScriptFamilyRegistrar function;
};
extern const ScriptFamilyEntry g_ScriptFamilies[30];

// Registers the whole API into the root table of an open machine: the base functions,
// SystemClockFrequency and the EngineType* constants, the families in their fixed order,
// then the Vector, Matrix3 and Matrix4 classes. Once per opening of the machine.
void RegisterScriptAPI(HSQUIRRELVM v);

// The methods of CObject on scenes, 2D scenes, groups, items, collision shapes and the
// engine (the kind-free ones come with the class).
void RegisterCObjectMethods(HSQUIRRELVM v);

// The base functions (__Assert, Pow, Mod, AbsMod, ObjectIsValid and its aliases,
// ObjectIsSame, ShellExecute, FileRename).
void RegisterBaseScriptAPI(HSQUIRRELVM v);

#endif
