#ifndef N_RENDERERSCRIPTAPI_H
#define N_RENDERERSCRIPTAPI_H

#include <squirrel.h>

#include "scriptapi/nScriptAPI.h"

// The Renderer functions on the engine's current renderer (g_render, EngineGetRenderer): its
// registry, effect and option words, global aspect ratio, camera, viewport, clip plane,
// clearing, output texture, fog, render queue, debug lines and crosses, statistics and screen
// grabs; with the effect-bit constants. The family's text functions are in
// nWriterFontScriptAPI.h.
extern const ScriptFunctionDecl g_RendererScriptFunctions[];
extern const ScriptConstantDecl g_RendererScriptConstants[];

void RegisterRendererScriptAPI(HSQUIRRELVM v);

#endif
