#ifndef N_PROJECTSCRIPTAPI_H
#define N_PROJECTSCRIPTAPI_H

#include <squirrel.h>

#include "scriptapi/nScriptAPI.h"

// The Project family (the project's scene stack: instances, layers, drawing, the end of the
// run, with the ProjectSceneType constants and NullItem) and the threaded-load family. The
// project registers both on its machine after the rest of the script API. Registering the
// Project family also makes owned Scene and Window System objects destroy their scene.
extern const ScriptFunctionDecl g_ThreadedLoadScriptFunctions[];
extern const ScriptFunctionDecl g_ProjectScriptFunctions[];
extern const ScriptConstantDecl g_ProjectScriptConstants[];
void RegisterThreadedLoadScriptAPI(HSQUIRRELVM v);
void RegisterProjectScriptAPI(HSQUIRRELVM v);

#endif
