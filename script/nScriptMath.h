#ifndef N_SCRIPTMATH_H
#define N_SCRIPTMATH_H

#include <squirrel.h>

class nVector;
class nMatrix3;
class nMatrix4;
class SquirrelObject;
struct ScriptClassDecl;

// The native script classes Vector, Matrix3 and Matrix4. Each instance holds its engine value
// in bytes its class reserves inside the instance (a heap copy for instances of script
// subclasses, which have no reserve); results are new instances. An instance has a value once
// its release hook is set: one made without the constructor (a clone without _cloned,
// Class.instance()) has none. The declarations are the type tags.
extern const ScriptClassDecl g_VectorClassDecl;
extern const ScriptClassDecl g_Matrix3ClassDecl;
extern const ScriptClassDecl g_Matrix4ClassDecl;

bool RegisterVectorClass(HSQUIRRELVM v);
bool RegisterMatrixClasses(HSQUIRRELVM v);  // Matrix3, then Matrix4

// Push a new instance owning a copy, made without the script constructor; false (copy
// freed, stack unchanged) when the instance cannot be made.
bool ScriptPushVector(HSQUIRRELVM v, const nVector& value);
bool ScriptPushMatrix3(HSQUIRRELVM v, const nMatrix3& value);
bool ScriptPushMatrix4(HSQUIRRELVM v, const nMatrix4& value);
inline bool ScriptReturnVector(HSQUIRRELVM v, const nVector& value) { return ScriptPushVector(v, value); }

// out references a new instance (left null when it cannot be made); the stack is unchanged.
void ScriptMakeVector(SquirrelObject& out, HSQUIRRELVM v, const nVector& value);
void ScriptMakeMatrix3(SquirrelObject& out, HSQUIRRELVM v, const nMatrix3& value);
void ScriptMakeMatrix4(SquirrelObject& out, HSQUIRRELVM v, const nMatrix4& value);

// Release hooks of the three classes: a heap copy is freed (NULL: nothing); a value inside
// the instance needs nothing. 0.
SQInteger ScriptReleaseNativeValue(SQUserPointer value, SQInteger size);
SQInteger ScriptReleaseInlineValue(SQUserPointer value, SQInteger size);

#endif
