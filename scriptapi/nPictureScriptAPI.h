#ifndef N_PICTURESCRIPTAPI_H
#define N_PICTURESCRIPTAPI_H

#include <cstdint>

#include <squirrel.h>

#include "scriptapi/nScriptAPI.h"

// The Picture functions: scripts make, load and save pictures, draw into them (fills, pixels,
// lines, text), read them back, filter them with a kernel and blit them onto one another with
// the Blend* modes. A picture made by PictureNew lives as long as a script object holds it.
extern const ScriptFunctionDecl g_PictureScriptFunctions[];
extern const ScriptConstantDecl g_PictureScriptConstants[];

// Sizes scripts may give PictureAlloc and PictureResize, a side; kernels at most 1024 values.
const int32_t kScriptPictureMaxSide = 32768;
const int32_t kScriptKernelMaxValues = 1024;

void RegisterPictureScriptAPI(HSQUIRRELVM v);

#endif
