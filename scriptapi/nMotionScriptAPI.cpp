#include "scriptapi/nMotionScriptAPI.h"

#include <cstdint>

#include "core/nVector.h"
#include "scene/nAnimationSource.h"
#include "scene/nCurve.h"
#include "scene/nMotion.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "scriptapi/nItemScriptAccessors.h"
#include "scriptapi/nSceneScriptAPI.h"
#include "scriptapi/nScriptObjectKinds.h"

// Motion objects point at a motion of an item's player, never owned (the scene invalidates
// them with their item). AnimationSource objects own their nAnimationSourceList (not the
// sources, which the players share).

namespace {

// Motions.

const char* MotionName(nMotion* motion) { return motion->GetName().GetCStr(); }

// The X, Y and Z position channels at the time, repeating past the length; w = 1.
SQInteger MotionEvaluatePosition(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMotion* motion;
    float time;
    if (!s.Args(motion, time)) return SQ_ERROR;
    float x = 0.0f, y = 0.0f, z = 0.0f;
    motion->EvaluatePosition(time, x, y, z, LoopRepeat);
    return s.Return(nVector(x, y, z, 1.0f));
}

// Animation sources. The loop setters leave the sources that are done alone.

template<class Change>
void EveryMotionSourceNotDone(nAnimationSourceList* list, Change change)
{
    for (nAnimationSourceList::List::Node* n = list->GetHead(); n; n = n->next) {
        nMotionAnimationSource* source = dynamic_cast<nMotionAnimationSource*>(n->value->Get());
        if (source && !source->IsDone()) change(source);
    }
}

void SetLoopMode(nAnimationSourceList* list, int32_t mode)
{
    EveryMotionSourceNotDone(list, [mode](nMotionAnimationSource* source) { source->SetLoopMode(mode); });
}

SQInteger AnimationSourceSetLoop(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nAnimationSourceList* list;
    float start, end;
    if (!s.Args(list, start, end)) return SQ_ERROR;
    EveryMotionSourceNotDone(list, [start, end](nMotionAnimationSource* source) { source->SetLoop(start, end); });
    return s.Return();
}

SQInteger AnimationSourceSetWeight(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nAnimationSourceList* list;
    float weight, fadeTime;
    if (!s.Args(list, weight, fadeTime)) return SQ_ERROR;
    list->SetWeight(weight, fadeTime);
    return s.Return();
}

}

const ScriptFunctionDecl g_MotionScriptFunctions[] = {
    {"MotionGetName", ScriptGet<&MotionName>, ".x"},
    {"MotionGetLength", ScriptGet<&nMotion::GetDuration>, ".x"},
    {"MotionEvaluatePosition", MotionEvaluatePosition, ".xn"},
    {0, 0, 0}};

const ScriptConstantDecl g_MotionScriptConstants[] = {
    {"ChannelNone", ChannelNone, ScriptConstantInteger},
    {"ChannelXPos", ChannelXPos, ScriptConstantInteger},
    {"ChannelYPos", ChannelYPos, ScriptConstantInteger},
    {"ChannelZPos", ChannelZPos, ScriptConstantInteger},
    {"ChannelXRot", ChannelXRot, ScriptConstantInteger},
    {"ChannelYRot", ChannelYRot, ScriptConstantInteger},
    {"ChannelZRot", ChannelZRot, ScriptConstantInteger},
    {"ChannelXScl", ChannelXScl, ScriptConstantInteger},
    {"ChannelYScl", ChannelYScl, ScriptConstantInteger},
    {"ChannelZScl", ChannelZScl, ScriptConstantInteger},
    {"ChannelXPiv", ChannelXPiv, ScriptConstantInteger},
    {"ChannelYPiv", ChannelYPiv, ScriptConstantInteger},
    {"ChannelZPiv", ChannelZPiv, ScriptConstantInteger},
    {"ChannelRDif", ChannelRDif, ScriptConstantInteger},
    {"ChannelGDif", ChannelGDif, ScriptConstantInteger},
    {"ChannelBDif", ChannelBDif, ScriptConstantInteger},
    {"ChannelRSpc", ChannelRSpc, ScriptConstantInteger},
    {"ChannelGSpc", ChannelGSpc, ScriptConstantInteger},
    {"ChannelBSpc", ChannelBSpc, ScriptConstantInteger},
    {"ChannelDiffuseIntensity", ChannelDiffuseIntensity, ScriptConstantInteger},
    {"ChannelSpecularIntensity", ChannelSpecularIntensity, ScriptConstantInteger},
    {"ChannelConeAngle", ChannelConeAngle, ScriptConstantInteger},
    {"ChannelEdgeAngle", ChannelEdgeAngle, ScriptConstantInteger},
    {"ChannelAlpha", ChannelAlpha, ScriptConstantInteger},
    {"ChannelZoomFactor", ChannelZoomFactor, ScriptConstantInteger},
    {"ChannelRange", ChannelRange, ScriptConstantInteger},
    {"ChannelFogStart", ChannelFogStart, ScriptConstantInteger},
    {"ChannelFogEnd", ChannelFogEnd, ScriptConstantInteger},
    {"ChannelRFog", ChannelRFog, ScriptConstantInteger},
    {"ChannelGFog", ChannelGFog, ScriptConstantInteger},
    {"ChannelBFog", ChannelBFog, ScriptConstantInteger},
    {0, 0, 0}};

const ScriptFunctionDecl g_AnimationSourceScriptFunctions[] = {
    {"AnimationSourceSetLoopMode", ScriptSet<&SetLoopMode>, ".xi"},
    {"AnimationSourceSetLoop", AnimationSourceSetLoop, ".xnn"},
    {"AnimationSourceGetClock", ScriptGet<&nAnimationSourceList::GetClock>, ".x"},
    {"AnimationSourceSetClock", ScriptSet<&nAnimationSourceList::SetClock>, ".xn"},
    {"AnimationSourceSetClockScale", ScriptSet<&nAnimationSourceList::SetClockScale>, ".xn"},
    {"AnimationSourceSetWeight", AnimationSourceSetWeight, ".xnn"},
    {0, 0, 0}};

const ScriptConstantDecl g_AnimationSourceScriptConstants[] = {
    {"AnimationReset", LoopReset, ScriptConstantInteger},
    {"AnimationRepeat", LoopRepeat, ScriptConstantInteger},
    {"AnimationOscillate", LoopOscillate, ScriptConstantInteger},
    {"AnimationOffsetRepeat", LoopOffsetRepeat, ScriptConstantInteger},
    {0, 0, 0}};

void RegisterMotionScriptAPI(HSQUIRRELVM v)
{
    ScriptRegisterFunctions(v, g_MotionScriptFunctions);
    ScriptRegisterConstants(v, g_MotionScriptConstants);
}

void RegisterAnimationSourceScriptAPI(HSQUIRRELVM v)
{
    // The lists' objects free them, whichever family registers first.
    ScriptRegisterSourceListLifetime();
    ScriptRegisterFunctions(v, g_AnimationSourceScriptFunctions);
    ScriptRegisterConstants(v, g_AnimationSourceScriptConstants);
}
