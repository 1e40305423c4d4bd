#include "scriptapi/nItemScriptAPI.h"

const ScriptFunctionDecl g_ItemMotionScriptFunctions[] = {
    {0, 0, 0}
};

const ScriptConstantDecl g_ItemMotionScriptConstants[] = {
    {0, 0, 0}
};
