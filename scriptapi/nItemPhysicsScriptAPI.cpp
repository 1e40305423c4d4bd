#include "scriptapi/nItemScriptAPI.h"

const ScriptFunctionDecl g_ItemPhysicsScriptFunctions[] = {
    {0, 0, 0}
};

const ScriptConstantDecl g_ItemPhysicsScriptConstants[] = {
    {0, 0, 0}
};
