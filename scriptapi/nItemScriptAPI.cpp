#include "scriptapi/nItemScriptAPI.h"

void RegisterItemScriptAPI(HSQUIRRELVM v)
{
    ScriptRegisterFunctions(v, g_ItemTransformScriptFunctions);
    ScriptRegisterFunctions(v, g_ItemPhysicsScriptFunctions);
    ScriptRegisterFunctions(v, g_ItemMotionScriptFunctions);
    ScriptRegisterConstants(v, g_ItemTransformScriptConstants);
    ScriptRegisterConstants(v, g_ItemPhysicsScriptConstants);
    ScriptRegisterConstants(v, g_ItemMotionScriptConstants);
}
