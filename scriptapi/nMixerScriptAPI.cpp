#include "scriptapi/nMixerScriptAPI.h"

#include <climits>
#include <cstdint>
#include <functional>
#include <type_traits>

#include "audio/mixer/nMixer.h"
#include "hub/nOrvex.h"
#include "resources/nSound.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "scriptapi/nItemScriptAccessors.h"
#include "scriptapi/nScriptObjectKinds.h"

// Mixer objects wrap the nMixer itself, Sound objects the nSound. Channel numbers reach the
// mixer unchanged, which ignores those outside 0..63; a number beyond 32 bits is no channel at
// all (never a wrapped one). The setters skip -1, the channel of a start that failed.

namespace {

const int32_t kNoChannel = -1;

// A channel number as Args reads it (found beside its type).
struct Channel
{
    int32_t value;
    operator int32_t() const { return value; }
};

bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, Channel& out)
{
    SQInteger value;
    if (!s.GetInt64(arg, value)) return false;
    out.value = (value < INT32_MIN || value > INT32_MAX) ? INT32_MIN : (int32_t)value;
    return true;
}

// (Mixer, channel) -> mixer->Do(channel); with Quiet the result is not handed on.
template<auto Do, bool Quiet = false>
SQInteger MixerChannelCall(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMixer* mixer;
    Channel channel;
    if (!s.Args(mixer, channel)) return SQ_ERROR;
    if constexpr (Quiet || std::is_void_v<std::invoke_result_t<decltype(Do), nMixer*, int32_t>>) {
        std::invoke(Do, mixer, channel.value);
        return s.Return();
    } else {
        return s.Return(std::invoke(Do, mixer, channel.value));
    }
}

// (Mixer, channel, value): mixer->Set(channel, value) unless the channel is -1.
template<auto Set, class T>
SQInteger MixerChannelSet(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMixer* mixer;
    Channel channel;
    T value;
    if (!s.Args(mixer, channel, value)) return SQ_ERROR;
    if (channel != kNoChannel) std::invoke(Set, mixer, channel.value, value);
    return s.Return();
}

SQInteger EngineGetMixer(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nOrvex* engine;
    if (!s.Args(engine)) return SQ_ERROR;
    return s.ReturnObject(static_cast<void*>(engine->GetMixer()), objectTypeMixer, false);
}

SQInteger MixerSoundStart(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMixer* mixer;
    nSound* sound;
    if (!s.Args(mixer, sound)) return SQ_ERROR;
    return s.Return(mixer->SoundStart(sound));
}

SQInteger MixerChannelStart(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMixer* mixer;
    Channel channel;
    nSound* sound;
    if (!s.Args(mixer, channel, sound)) return SQ_ERROR;
    return s.Return(mixer->ChannelStart(channel, sound));
}

SQInteger MixerChannelGetSound(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMixer* mixer;
    Channel channel;
    if (!s.Args(mixer, channel)) return SQ_ERROR;
    return s.ReturnObject(static_cast<void*>(mixer->ChannelGetSound(channel)), objectTypeSound, false);
}

SQInteger MixerStreamStart(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMixer* mixer;
    const char* name;
    if (!s.Args(mixer, name)) return SQ_ERROR;
    return s.Return(mixer->StreamStart(name));
}

SQInteger MixerChannelStartStream(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMixer* mixer;
    Channel channel;
    const char* name;
    if (!s.Args(mixer, channel, name)) return SQ_ERROR;
    return s.Return(mixer->ChannelStartStream(channel, name));
}

// A stream that does not start gives its channel back: the script, told false, could not
// know whether the channel was locked by this call.
SQInteger MixerChannelLockAndStream(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMixer* mixer;
    Channel channel;
    const char* name;
    if (!s.Args(mixer, channel, name)) return SQ_ERROR;
    if (!name || !mixer->ChannelTryLock(channel)) return s.Return(false);
    if (mixer->ChannelStartStream(channel, name)) return s.Return(true);
    mixer->ChannelUnlock(channel);
    return s.Return(false);
}

}

const ScriptFunctionDecl g_MixerScriptFunctions[] = {
    {"EngineGetMixer", EngineGetMixer, ".x"},
    {"MixerChannelGetState", MixerChannelCall<&nMixer::ChannelGetState>, ".xi"},
    {"MixerChannelTryLock", MixerChannelCall<&nMixer::ChannelTryLock>, ".xi"},
    {"MixerChannelLock", ScriptGet<&nMixer::ChannelLock>, ".x"},
    {"MixerChannelStop", MixerChannelCall<&nMixer::ChannelStop, true>, ".xi"},
    {"MixerChannelPause", MixerChannelCall<&nMixer::ChannelPause>, ".xi"},
    {"MixerChannelResume", MixerChannelCall<&nMixer::ChannelResume>, ".xi"},
    {"MixerChannelStopAll", ScriptCall<&nMixer::ChannelStopAll>, ".x"},
    {"MixerChannelUnlock", MixerChannelCall<&nMixer::ChannelUnlock>, ".xi"},
    {"MixerChannelUnlockAll", ScriptCall<&nMixer::ChannelUnlockAll>, ".x"},
    {"MixerSetGain", ScriptSet<&nMixer::SetGain>, ".xn"},
    {"MixerChannelLockAndStream", MixerChannelLockAndStream, ".xis"},
    {"MixerSoundStart", MixerSoundStart, ".xx"},
    {"MixerStreamStart", MixerStreamStart, ".xs"},
    {"MixerMute", ScriptCall<&nMixer::Mute>, ".x"},
    {"MixerUnmute", ScriptCall<&nMixer::Unmute>, ".x"},
    {"MixerUpdate", ScriptCall<&nMixer::Update>, ".x"},
    {"MixerChannelGetSound", MixerChannelGetSound, ".xi"},
    {"MixerChannelStart", MixerChannelStart, ".xix"},
    {"MixerChannelStartStream", MixerChannelStartStream, ".xis"},
    {"MixerChannelSetGain", MixerChannelSet<&nMixer::ChannelSetGain, float>, ".xin"},
    {"MixerChannelSetPitch", MixerChannelSet<&nMixer::ChannelSetPitch, float>, ".xin"},
    {"MixerChannelSetPanning", MixerChannelSet<&nMixer::ChannelSetPanning, float>, ".xin"},
    {"MixerChannelSetLoopMode", MixerChannelSet<&nMixer::ChannelSetLoopMode, int32_t>, ".xii"},
    {"MixerChannelSetLoopPosition", MixerChannelSet<&nMixer::ChannelSetLoopPosition, int32_t>, ".xii"},
    {0, 0, 0}};

const ScriptConstantDecl g_MixerScriptConstants[] = {
    {"LoopNone", MixerLoopNone, ScriptConstantInteger},
    {"LoopRepeat", MixerLoopRepeat, ScriptConstantInteger},
    {"ChannelStateInvalid", MixerChannelInvalid, ScriptConstantInteger},
    {"ChannelStateStopped", MixerChannelStopped, ScriptConstantInteger},
    {"ChannelStatePlaying", MixerChannelPlaying, ScriptConstantInteger},
    {"ChannelStatePaused", MixerChannelPaused, ScriptConstantInteger},
    {"MixerChannelInvalid", -1, ScriptConstantInteger},
    {"MixerMaxChannel", kMixerChannelCount, ScriptConstantInteger},
    {0, 0, 0}};

void RegisterMixerScriptAPI(HSQUIRRELVM v)
{
    ScriptRegisterFunctions(v, g_MixerScriptFunctions);
    ScriptRegisterConstants(v, g_MixerScriptConstants);
}
