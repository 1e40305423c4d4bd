#ifndef N_METAFILESCRIPTAPI_H
#define N_METAFILESCRIPTAPI_H

#include <squirrel.h>

#include "scriptapi/nScriptAPI.h"

// The Metafile and Metatag functions (NML documents and their tags) and the TagType_
// constants. Registering also makes owned Metafile objects destroy their document.
extern const ScriptFunctionDecl g_MetafileScriptFunctions[];
extern const ScriptConstantDecl g_MetafileScriptConstants[];
void RegisterMetafileScriptAPI(HSQUIRRELVM v);

#endif
