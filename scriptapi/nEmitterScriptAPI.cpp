// The Emitter functions: the particle model by name and the four birth scales. A changed model
// keeps the pool, so an emitter without a pool stays empty until the scene's next set-up.

#include "scene/nEmitter.h"
#include "scene/nParticleModel.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "scriptapi/nItemScriptAccessors.h"
#include "scriptapi/nSceneScriptAPI.h"
#include "scriptapi/nSceneScriptArgs.h"

// An Emitter object: "CObject is null", "Expected '%s' got '%s'", or "Item is not an emitter".
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, nMEmitter*& out)
{
    return ScriptReadKindItem<nMEmitter, objectTypeEmitter, ManagedItemEmitter>(s, arg, out, "Item is not an emitter");
}

// The emitter part, for the setter templates.
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, nEmitter*& out)
{
    nMEmitter* emitter;
    if (!ScriptReadArg(s, arg, emitter)) return false;
    out = &emitter->GetEmitter();
    return true;
}

namespace {

// Loaded through the emitter's engine (cached); a name that gives none clears the model.
SQInteger EmitterSetParticleModel(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nEmitter* emitter;
    const char* name;
    if (!s.Args(emitter, name)) return SQ_ERROR;
    emitter->SetParticleModel(LoadParticleModel(emitter->GetEngine(), name, false));
    return s.Return();
}

}  // namespace

const ScriptFunctionDecl g_EmitterScriptFunctions[] = {
    {"EmitterSetParticleModel", EmitterSetParticleModel, ".xs"},
    {"EmitterSetBirthRateScale", ScriptSet<&nEmitter::SetBirthRateScale>, ".xn"},
    {"EmitterSetBirthSpeedScale", ScriptSet<&nEmitter::SetBirthSpeedScale>, ".xn"},
    {"EmitterSetBirthSizeScale", ScriptSet<&nEmitter::SetBirthSizeScale>, ".xn"},
    {"EmitterSetBirthOpacityScale", ScriptSet<&nEmitter::SetBirthOpacityScale>, ".xn"},
    {0, 0, 0}};

void RegisterEmitterScriptAPI(HSQUIRRELVM v)
{
    ScriptRegisterFunctions(v, g_EmitterScriptFunctions);
}
