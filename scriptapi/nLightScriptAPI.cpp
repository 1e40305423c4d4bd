// The Light functions: type, colours, intensities, cone and edge angles and the projected
// texture. Setters only store; the renderer's copy of the light follows at the next
// evaluation in which the light is active (the projected texture at once).

#include "resources/nResourceLoader.h"
#include "resources/nTexture.h"
#include "scene/nLight.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "scriptapi/nItemScriptAccessors.h"
#include "scriptapi/nItemScriptArgs.h"
#include "scriptapi/nSceneScriptAPI.h"
#include "scriptapi/nSceneScriptArgs.h"

namespace {

// The texture loaded through the light's engine (cached); a name that gives none clears it.
SQInteger LightSetProjectionTexture(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMLight* item;
    const char* name;
    if (!s.Args(item, name)) return SQ_ERROR;
    nLight& light = item->GetLight();
    light.SetProjectionMap(LoadTexture(light.GetEngine(), name, false, false));
    item->Evaluate();
    return s.Return();
}

}  // namespace

const ScriptFunctionDecl g_LightScriptFunctions[] = {
    {"LightGetItem", ScriptKindGetItem<nMLight>, ".x"},
    {"LightGetType", ScriptGet<&nLight::GetType>, ".x"},
    {"LightSetType", ScriptSet<&nLight::SetType>, ".xi"},
    {"LightGetDiffuseColor", ScriptGet<&nLight::GetDiffuse>, ".x"},
    {"LightSetDiffuseColor", ScriptSet<&nLight::SetDiffuse>, ".xx"},  // alpha 1
    {"LightGetDiffuseIntensity", ScriptGet<&nLight::GetDiffuseIntensity>, ".x"},
    {"LightSetDiffuseIntensity", ScriptSet<&nLight::SetDiffuseIntensity>, ".xn"},
    {"LightGetSpecularColor", ScriptGet<&nLight::GetSpecular>, ".x"},
    {"LightSetSpecularColor", ScriptSet<&nLight::SetSpecular>, ".xx"},  // alpha 1
    {"LightGetSpecularIntensity", ScriptGet<&nLight::GetSpecularIntensity>, ".x"},
    {"LightSetSpecularIntensity", ScriptSet<&nLight::SetSpecularIntensity>, ".xn"},
    {"LightGetConeAngle", ScriptGet<&nLight::GetConeAngle>, ".x"},
    {"LightSetConeAngle", ScriptSet<&nLight::SetConeAngle>, ".xn"},
    {"LightGetEdgeAngle", ScriptGet<&nLight::GetEdgeAngle>, ".x"},
    {"LightSetEdgeAngle", ScriptSet<&nLight::SetEdgeAngle>, ".xn"},
    {"LightSetProjectionTexture", LightSetProjectionTexture, ".xs"},
    {0, 0, 0}};

const ScriptConstantDecl g_LightScriptConstants[] = {
    {"LightTypeNone", LightTypeNone, ScriptConstantInteger},
    {"LightTypePoint", LightTypePoint, ScriptConstantInteger},
    {"LightTypeLinear", LightTypeParallel, ScriptConstantInteger},
    {"LightTypeSpot", LightTypeSpot, ScriptConstantInteger},
    {0, 0, 0}};

void RegisterLightScriptAPI(HSQUIRRELVM v)
{
    ScriptRegisterFunctions(v, g_LightScriptFunctions);
    ScriptRegisterConstants(v, g_LightScriptConstants);
}
