#include "audio/openal/nALMixer.h"

#include <new>

#include <AL/al.h>
#include <AL/alc.h>

#include "audio/mixer/nMixerStreamInterface.h"
#include "core/nLog.h"
#include "resources/nSound.h"

namespace {

const float kListenerScale = 0.8f;   // listener gain = master gain x 0.8
const float kListenerFloor = 0.01f;  // unless muted
const int32_t kStartTries = 4;

ALCdevice* Device(void* d) { return static_cast<ALCdevice*>(d); }
ALCcontext* Context(void* c) { return static_cast<ALCcontext*>(c); }

// The OpenAL format of a sample, or 0.
ALenum Format(const nSampleFormat& f)
{
    if (f.channels == 1 && f.bits == 8) return AL_FORMAT_MONO8;
    if (f.channels == 1 && f.bits == 16) return AL_FORMAT_MONO16;
    if (f.channels == 2 && f.bits == 8) return AL_FORMAT_STEREO8;
    if (f.channels == 2 && f.bits == 16) return AL_FORMAT_STEREO16;
    return 0;
}

}

nALMixer::nALMixer(nMixerSlot* slot, bool makeCurrent)
    : nMixer(slot, makeCurrent), m_device(0), m_context(0), m_eax(false), m_sourcesMade(false)
{
    for (uint32_t& s : m_sources) s = 0;
    for (nALStreamRecord& r : m_streams) {
        r.transfer = 0;
        r.format = {0, 0, 0};
        for (uint32_t& b : r.buffers) b = 0;
        r.stackIndex = 0;
        r.freeCount = kALStreamBuffers;
        r.started = false;
    }
}

nALMixer::~nALMixer()
{
    if (m_open || m_device) Close();
}

bool nALMixer::Open()
{
    if (m_open) return true;
    *g_log << "Starting OpenAL1.1 mixer...\n";
    ALCdevice* device = alcOpenDevice("Generic Software");
    if (!device) {
        *g_log << "[*] Failed to open default device, performances might suffer.\n";
        device = alcOpenDevice(0);
        if (!device) {
            *g_log << "[!] Failed to open default OpenAL device.\n";
            return false;
        }
    }
    m_device = device;
    const ALCchar* name = alcGetString(device, ALC_DEVICE_SPECIFIER);
    *g_log << "Device: " << (name ? name : "") << "\n";

    ALCcontext* context = alcCreateContext(device, 0);
    if (!context || !alcMakeContextCurrent(context)) {
        *g_log << "[!] Failed to create OpenAL context.\n";
        if (context) alcDestroyContext(context);
        alcCloseDevice(device);
        m_device = 0;
        return false;
    }
    m_context = context;

    m_eax = alIsExtensionPresent("EAX2.0") == AL_TRUE;
    if (m_eax) *g_log << "Audio device supports EAX2.0.\n";

    *g_log << kMixerChannelCount << " mixer channel.\n";
    alGetError();
    alGenSources(kMixerChannelCount, m_sources);
    if (alGetError() != AL_NO_ERROR) {
        *g_log << "[!] Failed to allocate OpenAL sources.\n";
        return false;
    }
    m_sourcesMade = true;
    m_open = true;
    ResetChannels();
    SetGain(1.0f);
    *g_log << "Done.\n"
           << "\n";
    return true;
}

void nALMixer::ResetChannels()
{
    for (int32_t i = 0; i < kMixerChannelCount; ++i) {
        ChannelStop(i);
        ChannelSetLoopMode(i, MixerLoopNone);
        ChannelSetPitch(i, 1.0f);
        ChannelSetGain(i, 1.0f);
        ChannelSetPanning(i, 0.5f);
    }
}

void nALMixer::Close()
{
    ChannelStopAll();
    if (m_context) {
        if (m_sourcesMade) alDeleteSources(kMixerChannelCount, m_sources);
        alcMakeContextCurrent(0);
        alcDestroyContext(Context(m_context));
    }
    if (m_device) alcCloseDevice(Device(m_device));
    for (uint32_t& s : m_sources) s = 0;
    m_sourcesMade = false;
    m_device = 0;
    m_context = 0;
    m_eax = false;
    m_open = false;
}

void nALMixer::SetListener(const nVector* position, const nVector* velocity, const nMatrix3* orientation)
{
    if (!m_open) return;
    if (position) {
        const ALfloat v[3] = {position->x, position->y, position->z};
        alListenerfv(AL_POSITION, v);
    }
    if (velocity) {
        const ALfloat v[3] = {velocity->x, velocity->y, velocity->z};
        alListenerfv(AL_VELOCITY, v);
    }
    if (orientation) {
        // At (column 2), then up (column 1).
        const nVector at = orientation->GetColumn(2);
        const nVector up = orientation->GetColumn(1);
        const ALfloat v[6] = {at.x, at.y, at.z, up.x, up.y, up.z};
        alListenerfv(AL_ORIENTATION, v);
    }
}

bool nALMixer::ChannelStart(int32_t channel, nSound* sound)
{
    if (!m_open || !sound || !IsValidChannel(channel)) return false;
    nALMixerData* data = static_cast<nALMixerData*>(sound->GetMixerData());
    if (!data) return false;
    ChannelStop(channel);
    const ALuint source = m_sources[channel];
    alSourcef(source, AL_GAIN, 0.0f);
    alSourcePause(source);
    alSourceStop(source);
    alGetError();
    for (int32_t attempt = 0; attempt < kStartTries; ++attempt) {
        alSourcei(source, AL_BUFFER, (ALint)data->buffer);
        if (alGetError() == AL_NO_ERROR) {
            alSourcePlay(source);
            const nMixerChannel& c = m_channels[channel];
            ChannelSetLoopMode(channel, c.loopMode);
            ChannelSetGain(channel, c.gain);
            ChannelSetPitch(channel, c.pitch);
            ChannelSetPanning(channel, c.panning);
            m_channels[channel].sound = sound;
            return true;
        }
        *g_log << "StartChannel() retrying.\n";
    }
    *g_log << "[*] Failed to attach sound '" << sound->GetName().GetCStr() << "' to channel " << channel << ".\n";
    return false;
}

bool nALMixer::ChannelStop(int32_t channel)
{
    if (!m_open || !IsValidChannel(channel)) return false;
    alGetError();
    ChannelCloseStream(channel);
    DeleteChannelStream(channel);
    alSourceStop(m_sources[channel]);
    return true;
}

void nALMixer::ChannelPause(int32_t channel)
{
    if (m_sourcesMade && IsValidChannel(channel)) alSourcePause(m_sources[channel]);
}

void nALMixer::ChannelResume(int32_t channel)
{
    if (m_sourcesMade && IsValidChannel(channel)) alSourcePlay(m_sources[channel]);
}

int32_t nALMixer::ChannelGetState(int32_t channel)
{
    if (!IsValidChannel(channel)) return MixerChannelInvalid;
    if (!m_sourcesMade) return MixerChannelStopped;
    ALint state = 0;
    alGetSourcei(m_sources[channel], AL_SOURCE_STATE, &state);
    switch (state) {
        case AL_INITIAL:
        case AL_STOPPED: return MixerChannelStopped;
        case AL_PLAYING: return MixerChannelPlaying;
        case AL_PAUSED: return MixerChannelPaused;
        default: return MixerChannelInvalid;
    }
}

// The sound gets its data only once its buffer holds the PCM: a sound without data is one the
// device refused, and ChannelStart refuses it at once.
bool nALMixer::UploadSample(nSound* sound)
{
    if (!m_open || !sound || sound->GetMixerData()) return false;
    const nSampleBuffer& samples = sound->GetSamples();
    const ALenum format = Format(samples.GetFormat());
    if (!format) {
        *g_log << "[!] Unsupported PCM format in sample '" << sound->GetName().GetCStr() << "'.\n";
        return false;
    }
    alGetError();
    ALuint buffer = 0;
    alGenBuffers(1, &buffer);
    if (alGetError() != AL_NO_ERROR) {
        *g_log << "[!] Failed to generate sound buffer.\n";
        return false;
    }
    alBufferData(buffer, format, samples.GetData(), (ALsizei)samples.GetByteSize(), samples.GetFormat().rate);
    nALMixerData* data = alGetError() == AL_NO_ERROR ? new (std::nothrow) nALMixerData(buffer) : 0;
    if (!data) {
        *g_log << "[!] Failed to upload sample to OpenAL buffer ('" << sound->GetName().GetCStr() << "').\n";
        alDeleteBuffers(1, &buffer);
        return false;
    }
    sound->SetMixerData(data);
    return true;
}

// A buffer still attached to a source cannot be deleted, and a channel must not keep a sound
// that goes: the channels playing it stop and let go of both first.
void nALMixer::FreeSample(nSound* sound)
{
    if (!sound) return;
    for (int32_t i = 0; i < kMixerChannelCount; ++i) {
        if (m_channels[i].sound != sound) continue;
        if (m_sourcesMade) {
            alSourceStop(m_sources[i]);
            alSourcei(m_sources[i], AL_BUFFER, 0);
        }
        m_channels[i].sound = 0;
    }
    nALMixerData* data = static_cast<nALMixerData*>(sound->GetMixerData());
    if (!m_open || !data) return;
    alGetError();
    alDeleteBuffers(1, &data->buffer);
    if (alGetError() != AL_NO_ERROR) *g_log << "[*] Failed to delete sound buffer ('" << sound->GetName().GetCStr() << "').\n";
    delete data;
    sound->SetMixerData(0);
}

// The floor keeps a quiet master gain audible; muting means silence.
void nALMixer::SetGain(float gain)
{
    if (!m_context) return;
    float g = gain * kListenerScale;
    if (!m_muted && !(g >= kListenerFloor)) g = kListenerFloor;
    if (m_muted && !(g >= 0.0f)) g = 0.0f;
    alListenerf(AL_GAIN, g);
}

float nALMixer::GetGain()
{
    if (!m_context) return 0.0f;
    ALfloat g = 0.0f;
    alGetListenerf(AL_GAIN, &g);
    return g / kListenerScale;
}

void nALMixer::ChannelSetPitch(int32_t channel, float pitch)
{
    nMixer::ChannelSetPitch(channel, pitch);
    if (m_sourcesMade && IsValidChannel(channel)) alSourcef(m_sources[channel], AL_PITCH, pitch);
}

void nALMixer::ChannelSetGain(int32_t channel, float gain)
{
    nMixer::ChannelSetGain(channel, gain);
    if (m_sourcesMade && IsValidChannel(channel)) alSourcef(m_sources[channel], AL_GAIN, gain);
}

void nALMixer::ChannelSetLoopMode(int32_t channel, int32_t mode)
{
    nMixer::ChannelSetLoopMode(channel, mode);
    if (m_sourcesMade && IsValidChannel(channel))
        alSourcei(m_sources[channel], AL_LOOPING, mode != 0 && !IsStreaming(channel) ? AL_TRUE : AL_FALSE);
}

bool nALMixer::ChannelOpenStream(int32_t channel, const mvx_AudioFormat& format)
{
    if (!m_sourcesMade || !IsValidChannel(channel)) return false;
    nALStreamRecord& r = m_streams[channel];
    if (r.transfer) return true;
    alGetError();
    alGenBuffers(kALStreamBuffers, r.buffers);
    if (alGetError() != AL_NO_ERROR) {
        *g_log << "[!] Failed to generate sound buffer.\n";
        return false;
    }
    r.transfer = new (std::nothrow) uint8_t[kALStreamTransferBytes];
    if (!r.transfer) {
        alDeleteBuffers(kALStreamBuffers, r.buffers);
        return false;
    }
    r.stackIndex = 0;
    r.freeCount = kALStreamBuffers;
    r.format = format;
    r.started = false;
    alSourcei(m_sources[channel], AL_LOOPING, AL_FALSE);
    return true;
}

void nALMixer::ChannelUpdateStream(int32_t channel)
{
    if (!IsStreaming(channel)) return;
    nMixerStreamInterface* stream = m_channels[channel].stream;
    if (!stream) return;
    nALStreamRecord& r = m_streams[channel];
    const ALuint source = m_sources[channel];

    ALint processed = 0;
    alGetSourcei(source, AL_BUFFERS_PROCESSED, &processed);
    for (ALint i = 0; i < processed && r.freeCount < kALStreamBuffers; ++i) {
        r.stackIndex = (r.stackIndex + kALStreamBuffers - 1) % kALStreamBuffers;
        alSourceUnqueueBuffers(source, 1, &r.buffers[r.stackIndex]);
        ++r.freeCount;
    }

    nRingBuffer* ring = stream->LockRing();
    while (r.freeCount > 0 && ring->GetUsedBytes() >= kALStreamTransferBytes &&
           ring->Read(r.transfer, kALStreamTransferBytes) == kALStreamTransferBytes) {
        const ALuint buffer = r.buffers[r.stackIndex];
        alBufferData(buffer, AL_FORMAT_STEREO16, r.transfer, kALStreamTransferBytes, r.format.sampleRate);
        alSourceQueueBuffers(source, 1, &buffer);
        --r.freeCount;
        r.stackIndex = (r.stackIndex + 1) % kALStreamBuffers;
        if (!r.started) {
            alSourcePlay(source);
            r.started = true;
        }
    }
    stream->UnlockRing();

    // A source that ran dry stops; whatever was queued since must play, or the next update
    // would take it back unplayed.
    if (r.freeCount < kALStreamBuffers && ChannelGetState(channel) == MixerChannelStopped && !stream->IsFinished())
        alSourcePlay(source);
}

void nALMixer::ChannelCloseStream(int32_t channel)
{
    if (!IsStreaming(channel)) return;
    nALStreamRecord& r = m_streams[channel];
    delete[] r.transfer;
    r.transfer = 0;
    const ALuint source = m_sources[channel];
    alSourceStop(source);
    ALint queued = 0;
    alGetSourcei(source, AL_BUFFERS_QUEUED, &queued);
    for (ALint i = 0; i < queued; ++i) {
        ALuint name = 0;
        alSourceUnqueueBuffers(source, 1, &name);
    }
    alDeleteBuffers(kALStreamBuffers, r.buffers);
    r.freeCount = kALStreamBuffers;
}
