#ifndef N_ITEMSCRIPTAPI_H
#define N_ITEMSCRIPTAPI_H

#include "scriptapi/nScriptAPI.h"

// The Item family: one registrar over three groups of functions, each group in its own file.
// Identity, hierarchy and transform (nItemTransformScriptAPI.cpp).
extern const ScriptFunctionDecl g_ItemTransformScriptFunctions[];
extern const ScriptConstantDecl g_ItemTransformScriptConstants[];
// Rigid bodies (nItemPhysicsScriptAPI.cpp).
extern const ScriptFunctionDecl g_ItemPhysicsScriptFunctions[];
extern const ScriptConstantDecl g_ItemPhysicsScriptConstants[];
// Motions, command lists, script units and the per-item registry (nItemMotionScriptAPI.cpp).
extern const ScriptFunctionDecl g_ItemMotionScriptFunctions[];
extern const ScriptConstantDecl g_ItemMotionScriptConstants[];

// The script instance of a unit, pushed as the value itself: "Script unit is not open" when it
// has none (or one of another machine); and the first unit of an owner with a class name.
class ScriptStackHandler;
class nScriptUnit;
class nScriptedObject;
SQInteger ScriptReturnUnitInstance(ScriptStackHandler& s, nScriptUnit* unit);
nScriptUnit* ScriptFindUnit(nScriptedObject& owner, const char* className);

// Registers the three groups' functions, then their constants.
void RegisterItemScriptAPI(HSQUIRRELVM v);

#endif
