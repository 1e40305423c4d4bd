#ifndef N_MATHSCRIPTAPI_H
#define N_MATHSCRIPTAPI_H

#include <squirrel.h>

#include "scriptapi/nScriptAPI.h"

// The Math family: MatrixToEuler, EulerFromDirection, RotationMatrixFromDirection and
// TransformationMatrix. No constants.
extern const ScriptFunctionDecl g_MathScriptFunctions[];
void RegisterMathScriptAPI(HSQUIRRELVM v);

#endif
