#ifndef N_SHAPESCRIPTAPI_H
#define N_SHAPESCRIPTAPI_H

#include <squirrel.h>

#include "scriptapi/nScriptAPI.h"

// The Collision functions: the collision-shape records of an item's body (Collision Shape
// objects, not owned) and the body's collision switches. A change to a shape reaches the
// simulation when the body is rebuilt (ItemUpdateInertiaTensorFromCollision, the item's
// set-up).
extern const ScriptFunctionDecl g_CollisionScriptFunctions[];
extern const ScriptConstantDecl g_CollisionScriptConstants[];
void RegisterCollisionScriptAPI(HSQUIRRELVM v);

// The Constraint functions: the simulation has no constraints, so PositionConstraintNew
// answers a null Physic Constraint object and the others only check their arguments.
extern const ScriptFunctionDecl g_ConstraintScriptFunctions[];
void RegisterConstraintScriptAPI(HSQUIRRELVM v);

#endif
