#ifndef N_AIPATHSCRIPTAPI_H
#define N_AIPATHSCRIPTAPI_H

#include "scriptapi/nScriptAPI.h"

// The AIPath family (nAIPathScriptAPI.cpp): a scene's paths loaded and found, and the
// position, closest point and time queries of a path. Path objects never own their path.
extern const ScriptFunctionDecl g_AIPathScriptFunctions[];
extern const ScriptConstantDecl g_AIPathScriptConstants[];
void RegisterAIPathScriptAPI(HSQUIRRELVM v);

#endif
