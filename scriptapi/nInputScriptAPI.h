#ifndef N_INPUTSCRIPTAPI_H
#define N_INPUTSCRIPTAPI_H

#include "scriptapi/nScriptAPI.h"

// The Input family: Include and FileExists, the global mouse and keyboard, and game
// controllers as HID objects (never owned by the script object). Registering switches the
// global mouse to absolute mode.
extern const ScriptFunctionDecl g_InputScriptFunctions[];
extern const ScriptConstantDecl g_InputScriptConstants[];

void RegisterInputScriptAPI(HSQUIRRELVM v);

#endif
