#ifndef N_MIXERSCRIPTAPI_H
#define N_MIXERSCRIPTAPI_H

#include <squirrel.h>

#include "scriptapi/nScriptAPI.h"

// The Mixer functions: sounds and streams on channels of the engine's current mixer (g_mixer),
// with their gain, pitch, panning and loop, and EngineGetMixer.
extern const ScriptFunctionDecl g_MixerScriptFunctions[];
extern const ScriptConstantDecl g_MixerScriptConstants[];

void RegisterMixerScriptAPI(HSQUIRRELVM v);

#endif
