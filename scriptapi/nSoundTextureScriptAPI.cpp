#include "scriptapi/nSoundTextureScriptAPI.h"

#include <cstdint>

#include "audio/mivox/mvx_Stream.h"
#include "core/nLog.h"
#include "hub/nOrvex.h"
#include "render/nRenderer.h"
#include "resources/nSound.h"
#include "resources/nTexture.h"
#include "resources/nTextureStreamInterface.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "scriptapi/nItemScriptAccessors.h"
#include "scriptapi/nScriptObjectKinds.h"

// Texture objects wrap the nTexture, Sound objects the nSound.

namespace {

void RewindStream(nTexture* texture)
{
    nTextureStreamInterface* output = texture->GetStreamInterface();
    if (output && output->GetStream()) output->GetStream()->Rewind();
}

// The texture itself, as a Picture object (a texture is a picture).
SQInteger TextureGetPicture(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nTexture* texture;
    if (!s.Args(texture)) return SQ_ERROR;
    return s.ReturnObject(static_cast<void*>(static_cast<nPicture*>(texture)), objectTypePicture, false);
}

void UpdateTexture(nTexture* texture)
{
    if (!texture->GetPixels()) {
        *g_log << "[!] Cannot update texture, CPU-side data missing.\n";
        return;
    }
    nOrvex* engine = texture->GetEngine();
    if (nRenderer* renderer = engine ? engine->GetRenderer() : 0)
        renderer->UpdateTexture(texture, texture->GetPixels(), (int32_t)texture->GetWidth(), (int32_t)texture->GetHeight(), 0, 0);
}

// Whole milliseconds, in 64 bits: a long piece of music at 48 kHz passes 32 bits of
// frames x 1000. A sound without a rate has no duration.
int32_t SoundDuration(nSound* sound)
{
    const nSampleBuffer& samples = sound->GetSamples();
    const int64_t rate = samples.GetFormat().rate;
    if (rate <= 0) return 0;
    const int64_t ms = (int64_t)samples.GetCount() * 1000 / rate;
    return ms > INT32_MAX ? INT32_MAX : (int32_t)ms;
}

}

const ScriptFunctionDecl g_TextureScriptFunctions[] = {
    {"TextureSetStreamState", ScriptSet<&nTexture::SetStreamState>, ".xi"},
    {"TextureRewindStream", ScriptCall<RewindStream>, ".x"},
    {"TextureGetPicture", TextureGetPicture, ".x"},
    {"TextureUpdate", ScriptCall<UpdateTexture>, ".x"},
    {0, 0, 0}};

const ScriptConstantDecl g_TextureScriptConstants[] = {
    {"StreamPlaying", StreamPlaying, ScriptConstantInteger},
    {"StreamPaused", StreamPaused, ScriptConstantInteger},
    {"NullTexture", 0, objectTypeTexture},
    {0, 0, 0}};

const ScriptFunctionDecl g_SoundScriptFunctions[] = {
    {"SoundGetDuration", ScriptGet<SoundDuration>, ".x"},
    {0, 0, 0}};

void RegisterTextureScriptAPI(HSQUIRRELVM v)
{
    ScriptRegisterFunctions(v, g_TextureScriptFunctions);
    ScriptRegisterConstants(v, g_TextureScriptConstants);
}

void RegisterSoundScriptAPI(HSQUIRRELVM v)
{
    ScriptRegisterFunctions(v, g_SoundScriptFunctions);
}
