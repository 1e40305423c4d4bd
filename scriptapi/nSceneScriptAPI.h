#ifndef N_SCENESCRIPTAPI_H
#define N_SCENESCRIPTAPI_H

#include "scriptapi/nScriptAPI.h"

// The Scene family (nSceneScriptAPI.cpp): loading, set-up and stepping, rendering, globals,
// items, cameras, lights and groups, the deletion queue, script units, physics and rays.
extern const ScriptFunctionDecl g_SceneScriptFunctions[];
extern const ScriptConstantDecl g_SceneScriptConstants[];
void RegisterSceneScriptAPI(HSQUIRRELVM v);

// The kind-specific item families: cameras (nCameraScriptAPI.cpp), mesh objects
// (nObjectScriptAPI.cpp), lights (nLightScriptAPI.cpp), groups, instances and triggers
// (nGroupScriptAPI.cpp).
extern const ScriptFunctionDecl g_CameraScriptFunctions[];
extern const ScriptConstantDecl g_CameraScriptConstants[];
extern const ScriptFunctionDecl g_ObjectScriptFunctions[];
extern const ScriptFunctionDecl g_LightScriptFunctions[];
extern const ScriptConstantDecl g_LightScriptConstants[];
extern const ScriptFunctionDecl g_GroupScriptFunctions[];
extern const ScriptFunctionDecl g_InstanceScriptFunctions[];
extern const ScriptFunctionDecl g_TriggerScriptFunctions[];
void RegisterCameraScriptAPI(HSQUIRRELVM v);
void RegisterObjectScriptAPI(HSQUIRRELVM v);
void RegisterLightScriptAPI(HSQUIRRELVM v);
void RegisterEmitterScriptAPI(HSQUIRRELVM v);
void RegisterGroupScriptAPI(HSQUIRRELVM v);
void RegisterInstanceScriptAPI(HSQUIRRELVM v);
void RegisterTriggerScriptAPI(HSQUIRRELVM v);

// AnimationSource objects made by the motion functions own their list of started sources:
// the kind's destroy hook frees it (set by the registrars that make them).
void ScriptRegisterSourceListLifetime();

#endif
