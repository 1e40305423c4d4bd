#ifndef N_ENGINESCRIPTAPI_H
#define N_ENGINESCRIPTAPI_H

#include <cstdint>

#include <squirrel.h>

#include "script/nScriptBinding.h"
#include "scriptapi/nScriptAPI.h"

// The System family (process clock, sleep, random generator, platform, file caching) and the
// Engine family (caches, loaders, draw bracket, clock settings), each a table and a registrar.
extern const ScriptFunctionDecl g_SystemScriptFunctions[];
extern const ScriptFunctionDecl g_EngineScriptFunctions[];
extern const ScriptConstantDecl g_EngineScriptConstants[];
void RegisterSystemScriptAPI(HSQUIRRELVM v);
void RegisterEngineScriptAPI(HSQUIRRELVM v);

// A whole number read from any script number for ScriptStackHandler::Args: a float is
// truncated; NaN, infinities and values outside 32 bits raise "Number out of range".
struct ScriptWholeNumber
{
    int32_t value;
};
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, ScriptWholeNumber& out);

#endif
