#ifndef N_MATERIALSCRIPTAPI_H
#define N_MATERIALSCRIPTAPI_H

#include <squirrel.h>

#include "scriptapi/nScriptAPI.h"

// The Material functions (colours, render flags, texture stages by channel, the render map
// rebuilt from the stages) with their channel and flag constants.
extern const ScriptFunctionDecl g_MaterialScriptFunctions[];
extern const ScriptConstantDecl g_MaterialScriptConstants[];

void RegisterMaterialScriptAPI(HSQUIRRELVM v);

#endif
