#ifndef N_GEOMETRYSCRIPTAPI_H
#define N_GEOMETRYSCRIPTAPI_H

#include <squirrel.h>

#include "scriptapi/nScriptAPI.h"

// The Geometry functions: name, hidden bit, octree, set-up, bounds and the material table (by name,
// by index, whole). Materials come back as Material objects for the Material family.
extern const ScriptFunctionDecl g_GeometryScriptFunctions[];

void RegisterGeometryScriptAPI(HSQUIRRELVM v);

#endif
