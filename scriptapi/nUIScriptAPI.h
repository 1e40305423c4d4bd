#ifndef N_UISCRIPTAPI_H
#define N_UISCRIPTAPI_H

#include <squirrel.h>

#include "scriptapi/nScriptAPI.h"

// The 2D scene ("UI"), sprite and window functions with their style and event constants.
extern const ScriptFunctionDecl g_UIScriptFunctions[];
extern const ScriptConstantDecl g_UIScriptConstants[];

void RegisterUIScriptAPI(HSQUIRRELVM v);

#endif
