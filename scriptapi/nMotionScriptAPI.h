#ifndef N_MOTIONSCRIPTAPI_H
#define N_MOTIONSCRIPTAPI_H

#include <squirrel.h>

#include "scriptapi/nScriptAPI.h"

// The Motion functions (name, length, position at a time) with the motion channel constants,
// and the AnimationSource functions on the source lists the motion-playing functions of the
// Scene and Group families hand out, with the loop mode constants.
extern const ScriptFunctionDecl g_MotionScriptFunctions[];
extern const ScriptConstantDecl g_MotionScriptConstants[];
extern const ScriptFunctionDecl g_AnimationSourceScriptFunctions[];
extern const ScriptConstantDecl g_AnimationSourceScriptConstants[];

void RegisterMotionScriptAPI(HSQUIRRELVM v);
void RegisterAnimationSourceScriptAPI(HSQUIRRELVM v);

#endif
