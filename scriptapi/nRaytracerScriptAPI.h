#ifndef N_RAYTRACERSCRIPTAPI_H
#define N_RAYTRACERSCRIPTAPI_H

#include <squirrel.h>

#include "scriptapi/nScriptAPI.h"

// The Raytracer functions: raytracers made by scripts (owned by their script object), bound to
// a scene, given their quality options and tracing the scene's camera view into TGA files.
// Registering also makes owned Raytracer objects destroy their raytracer.
extern const ScriptFunctionDecl g_RaytracerScriptFunctions[];
void RegisterRaytracerScriptAPI(HSQUIRRELVM v);

#endif
