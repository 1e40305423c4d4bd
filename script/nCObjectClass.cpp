#include "script/nCObject.h"

#include "script/nScriptBinding.h"

// The object methods of CObject. Each checks the kind of 'this' itself.
static const ScriptMemberDecl s_CObjectMembers[] = {
    {0, 0, 0, 0}
};

const ScriptClassDecl g_CObjectClassDecl = {"CObject", 0, s_CObjectMembers};
