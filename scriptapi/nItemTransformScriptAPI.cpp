#include "scriptapi/nItemScriptAPI.h"

const ScriptFunctionDecl g_ItemTransformScriptFunctions[] = {
    {0, 0, 0}
};

const ScriptConstantDecl g_ItemTransformScriptConstants[] = {
    {0, 0, 0}
};
