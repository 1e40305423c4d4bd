#include "scriptapi/nMaterialScriptAPI.h"

#include <cstdint>

#include "core/nLog.h"
#include "resources/nMaterial.h"
#include "resources/nRenderMap.h"
#include "resources/nTexture.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "scriptapi/nScriptObjectKinds.h"

// Material objects wrap an nMaterial the script never owns but holds a reference on. A channel
// names the stage bound to it in the material's channel table; a stage index (0 to 5) names a
// stage directly.

namespace {

// A Material object holds a reference on its material while it lives, as a Geometry object
// does on its geometry: a material handed out by a geometry outlives the geometry while a
// script holds it.
void RetainMaterial(void* native) { static_cast<nMaterial*>(native)->AddRef(); }
void ReleaseMaterial(void* native) { static_cast<nMaterial*>(native)->Release(); }

// A colour argument: all four components of a Vector.
struct ColourArg
{
    nVector& out;
};
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, ColourArg c) { return s.GetVector4(arg, c.out); }

const char* NameOf(const nMaterial* material)
{
    const char* name = material->GetName().GetCStr();
    return name ? name : "";
}

// The stage on the channel, or NULL after the log line of a missing stage.
nMaterialStage* ChannelStage(nMaterial* material, int32_t channel)
{
    nMaterialStage* stage = material->GetStage(channel, false);
    if (!stage)
        *g_log << "[!] Could not fetch texture stage (" << channel << ") from material '"
               << NameOf(material) << "'.\n";
    return stage;
}

SQInteger MaterialUpdate(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMaterial* material;
    if (!s.Args(material)) return SQ_ERROR;
    material->Update();
    return s.Return();
}

SQInteger MaterialGetName(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMaterial* material;
    if (!s.Args(material)) return SQ_ERROR;
    return s.Return(NameOf(material));
}

template<nVector nMaterial::*Colour>
SQInteger GetColour(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMaterial* material;
    if (!s.Args(material)) return SQ_ERROR;
    return s.Return(material->*Colour);
}

template<nVector nMaterial::*Colour>
SQInteger SetColour(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMaterial* material;
    nVector colour;
    if (!s.Args(material, ColourArg{colour})) return SQ_ERROR;
    material->*Colour = colour;
    return s.Return();
}

SQInteger MaterialBuildShaderTreeFromFixedFunction(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMaterial* material;
    if (!s.Args(material)) return SQ_ERROR;
    material->SetRenderMap(0);
    material->SetRenderMap(material->BuildDefaultRenderMap());
    material->Update();
    return s.Return();
}

SQInteger MaterialFlagSet(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMaterial* material;
    int32_t bits;
    bool on;
    if (!s.Args(material, bits, on)) return SQ_ERROR;
    if (on) material->renderFlags |= (uint32_t)bits;
    else material->renderFlags &= ~(uint32_t)bits;
    return s.Return();
}

SQInteger MaterialFlagGet(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMaterial* material;
    int32_t bits;
    if (!s.Args(material, bits)) return SQ_ERROR;
    return s.Return((material->renderFlags & (uint32_t)bits) != 0);
}

SQInteger MaterialHasChannel(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMaterial* material;
    int32_t channel;
    if (!s.Args(material, channel)) return SQ_ERROR;
    return s.Return(material->GetStage(channel, false) != 0);
}

SQInteger MaterialStageSetChannel(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMaterial* material;
    int32_t index, channel;
    if (!s.Args(material, index, channel)) return SQ_ERROR;
    if (index < 0 || index >= nMaterial::kStageCount) return s.Return();
    // A stage on a channel no table entry names would drop out of sight: refused.
    if (channel < 0 || channel >= MaterialChannelCount) {
        *g_log << "[!] Invalid channel " << channel << " for a stage of material '" << NameOf(material)
               << "'.\n";
        return s.Return();
    }
    material->GetStageAt(index).channel = channel;
    material->ValidateStages();
    return s.Return();
}

SQInteger MaterialStageGetChannel(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMaterial* material;
    int32_t index;
    if (!s.Args(material, index)) return SQ_ERROR;
    if (index < 0 || index >= nMaterial::kStageCount) return s.Return((int32_t)0);
    return s.Return((int32_t)material->GetStageAt(index).channel);
}

SQInteger MaterialChannelGetUVMatrix(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMaterial* material;
    int32_t channel;
    if (!s.Args(material, channel)) return SQ_ERROR;
    nMaterialStage* stage = ChannelStage(material, channel);
    return s.Return(stage ? stage->uvMatrix : nMatrix4());
}

SQInteger MaterialChannelSetUVMatrix(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMaterial* material;
    int32_t channel;
    nMatrix4 matrix;
    if (!s.Args(material, channel, matrix)) return SQ_ERROR;
    if (nMaterialStage* stage = ChannelStage(material, channel)) stage->uvMatrix = matrix;
    return s.Return();
}

SQInteger MaterialChannelGetActive(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMaterial* material;
    int32_t channel;
    if (!s.Args(material, channel)) return SQ_ERROR;
    nMaterialStage* stage = ChannelStage(material, channel);
    return s.Return(stage ? stage->active != 0 : false);
}

SQInteger MaterialChannelSetActive(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMaterial* material;
    int32_t channel;
    bool active;
    if (!s.Args(material, channel, active)) return SQ_ERROR;
    if (nMaterialStage* stage = ChannelStage(material, channel)) {
        stage->active = active ? 1 : 0;
        material->Update();
    }
    return s.Return();
}

SQInteger MaterialChannelSetUVIndex(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMaterial* material;
    int32_t channel, index;
    if (!s.Args(material, channel, index)) return SQ_ERROR;
    if (nMaterialStage* stage = ChannelStage(material, channel)) {
        stage->uvIndex = (uint8_t)index;
        material->Update();
    }
    return s.Return();
}

SQInteger MaterialChannelGetUVIndex(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMaterial* material;
    int32_t channel;
    if (!s.Args(material, channel)) return SQ_ERROR;
    nMaterialStage* stage = ChannelStage(material, channel);
    return s.Return(stage ? (int32_t)stage->uvIndex : (int32_t)-1);
}

SQInteger MaterialChannelSetTexture(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMaterial* material;
    nTexture* texture;
    int32_t channel;
    if (!s.Args(material, texture, channel)) return SQ_ERROR;
    if (nMaterialStage* stage = ChannelStage(material, channel)) {
        stage->active = 1;
        stage->texture = texture;  // takes a reference on the new texture, drops the old one
        material->Update();
    }
    return s.Return();
}

SQInteger MaterialChannelGetTexture(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMaterial* material;
    int32_t channel;
    if (!s.Args(material, channel)) return SQ_ERROR;
    nMaterialStage* stage = ChannelStage(material, channel);
    return s.ReturnObject(stage ? static_cast<void*>(stage->texture.Get()) : 0, objectTypeTexture, false);
}

}

const ScriptFunctionDecl g_MaterialScriptFunctions[] = {
    {"MaterialUpdate", MaterialUpdate, ".x"},
    {"MaterialGetName", MaterialGetName, ".x"},
    {"MaterialGetAmbient", GetColour<&nMaterial::ambient>, ".x"},
    {"MaterialSetAmbient", SetColour<&nMaterial::ambient>, ".xx"},
    {"MaterialGetSpecular", GetColour<&nMaterial::specular>, ".x"},
    {"MaterialSetSecular", SetColour<&nMaterial::specular>, ".xx"},
    {"MaterialGetDiffuse", GetColour<&nMaterial::diffuse>, ".x"},
    {"MaterialSetDiffuse", SetColour<&nMaterial::diffuse>, ".xx"},
    {"MaterialGetSelfIllum", GetColour<&nMaterial::self>, ".x"},
    {"MaterialSetSelfIllum", SetColour<&nMaterial::self>, ".xx"},
    {"MaterialBuildShaderTreeFromFixedFunction", MaterialBuildShaderTreeFromFixedFunction, ".x"},
    {"MaterialFlagSet", MaterialFlagSet, ".xib"},
    {"MaterialFlagGet", MaterialFlagGet, ".xi"},
    {"MaterialHasChannel", MaterialHasChannel, ".xi"},
    {"MaterialStageSetChannel", MaterialStageSetChannel, ".xii"},
    {"MaterialStageGetChannel", MaterialStageGetChannel, ".xi"},
    {"MaterialChannelGetUVMatrix", MaterialChannelGetUVMatrix, ".xi"},
    {"MaterialChannelSetUVMatrix", MaterialChannelSetUVMatrix, ".xix"},
    {"MaterialChannelGetActive", MaterialChannelGetActive, ".xi"},
    {"MaterialChannelSetActive", MaterialChannelSetActive, ".xib"},
    {"MaterialChannelSetUVIndex", MaterialChannelSetUVIndex, ".xii"},
    {"MaterialChannelGetUVIndex", MaterialChannelGetUVIndex, ".xi"},
    {"MaterialChannelSetTexture", MaterialChannelSetTexture, ".xxi"},
    {"MaterialChannelGetTexture", MaterialChannelGetTexture, ".xi"},
    {0, 0, 0}};

const ScriptConstantDecl g_MaterialScriptConstants[] = {
    {"NullMaterial", 0, objectTypeMaterial},
    {"ChannelNone", MaterialChannelNone, ScriptConstantInteger},
    {"ChannelDiffuse", MaterialChannelDiffuse, ScriptConstantInteger},
    {"ChannelDecal", MaterialChannelDecal, ScriptConstantInteger},
    {"ChannelOpacity", MaterialChannelOpacity, ScriptConstantInteger},
    {"ChannelSpecular", MaterialChannelSpecular, ScriptConstantInteger},
    {"ChannelGlossiness", MaterialChannelGlossiness, ScriptConstantInteger},
    {"ChannelNormal", MaterialChannelNormal, ScriptConstantInteger},
    {"ChannelReflection", MaterialChannelReflection, ScriptConstantInteger},
    {"ChannelSelfIllum", MaterialChannelSelfIllum, ScriptConstantInteger},
    {"ChannelLight", MaterialChannelLightmap, ScriptConstantInteger},
    {"ChannelBlendRGB", MaterialChannelBlendRGB, ScriptConstantInteger},
    {"ChannelColor", MaterialChannelLightmap, ScriptConstantInteger},
    {"ChannelDetail", MaterialChannelDecal, ScriptConstantInteger},
    {"MaterialRenderShadeless", MaterialRenderShadeless, ScriptConstantInteger},
    {"MaterialRenderSmooth", MaterialRenderSmooth, ScriptConstantInteger},
    {"MaterialRenderAdd", MaterialRenderAdd, ScriptConstantInteger},
    {"MaterialRenderDoubleSided", MaterialRenderDoubleSided, ScriptConstantInteger},
    {"MaterialRenderWire", MaterialRenderWire, ScriptConstantInteger},
    {"MaterialRenderVertexColor", MaterialRenderVertexColor, ScriptConstantInteger},
    {"MaterialRenderSub", MaterialRenderSub, ScriptConstantInteger},
    {"MaterialRenderVertexNormal", MaterialRenderVertexNormal, ScriptConstantInteger},
    {"MaterialRenderNormalMapTangent", MaterialRenderNormalMapTangent, ScriptConstantInteger},
    {"MaterialRenderNoDepthWrite", MaterialRenderNoDepthWrite, ScriptConstantInteger},
    {"MaterialRenderNoDepthTest", MaterialRenderNoDepthTest, ScriptConstantInteger},
    {"MaterialRenderNoFog", MaterialRenderNoFog, ScriptConstantInteger},
    {"MaterialRenderFixedFunction", MaterialRenderFixedFunction, ScriptConstantInteger},
    {"MaterialRenderToonShading", MaterialRenderToonShading, ScriptConstantInteger},
    {0, 0, 0}};

void RegisterMaterialScriptAPI(HSQUIRRELVM v)
{
    ScriptSetObjectTypeLifetime(objectTypeMaterial, nObjectTypeLifetime{RetainMaterial, ReleaseMaterial, 0});
    ScriptRegisterFunctions(v, g_MaterialScriptFunctions);
    ScriptRegisterConstants(v, g_MaterialScriptConstants);
}
