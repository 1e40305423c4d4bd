#ifndef N_SOUNDTEXTURESCRIPTAPI_H
#define N_SOUNDTEXTURESCRIPTAPI_H

#include <squirrel.h>

#include "scriptapi/nScriptAPI.h"

// The Texture functions (video stream state and rewind, the texture as a picture, uploading
// script-made pixels) with their constants, and the Sound function (duration).
extern const ScriptFunctionDecl g_TextureScriptFunctions[];
extern const ScriptConstantDecl g_TextureScriptConstants[];
extern const ScriptFunctionDecl g_SoundScriptFunctions[];

void RegisterTextureScriptAPI(HSQUIRRELVM v);
void RegisterSoundScriptAPI(HSQUIRRELVM v);

#endif
