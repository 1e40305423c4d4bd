#ifndef N_UISCRIPTAPI_H
#define N_UISCRIPTAPI_H

#include <squirrel.h>

#include "scriptapi/nScriptAPI.h"

// The 2D scene ("UI"), sprite and window functions with their style and event constants.
extern const ScriptFunctionDecl g_UIScriptFunctions[];
extern const ScriptConstantDecl g_UIScriptConstants[];

void RegisterUIScriptAPI(HSQUIRRELVM v);

class nWindowSystemFonts;

// The window-system fonts the engine of the script machine lends its 2D scenes (nUIDevices);
// NULL without them.
nWindowSystemFonts* ScriptWindowSystemFonts(HSQUIRRELVM v);

#endif
