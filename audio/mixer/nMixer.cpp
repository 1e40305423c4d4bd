#include "audio/mixer/nMixer.h"

#include <new>

#include "audio/mivox/mvx_Stream.h"
#include "audio/mixer/nMixerStreamInterface.h"
#include "audio/mixer/nNull_Mixer.h"
#include "core/nCategory.h"
#include "core/nLog.h"

nMixerChannel::nMixerChannel()
    : sound(0), lock(false), loopMode(MixerLoopNone), loopPosition(0), stream(0),
      pitch(1.0f), gain(1.0f), panning(0.5f)
{
}

nMixer::nMixer(nMixerSlot* slot, bool makeCurrent)
    : m_slot(slot), m_open(false), m_muted(false), m_savedGain(1.0f)
{
    if (makeCurrent && m_slot) m_slot->SetMixer(this);
}

nMixer::~nMixer()
{
    // No decoder thread outlives its mixer, whatever the derived mixer did with its channels.
    for (int32_t i = 0; i < kMixerChannelCount; ++i) DeleteChannelStream(i);
    if (!m_slot) return;
    nMixer* fallback = m_slot->GetNullMixer();
    if (fallback == this) {
        if (m_slot->GetMixer() == this) m_slot->SetMixer(0);
    } else if (m_slot->GetMixer() == this) {
        m_slot->SetMixer(fallback);
    }
}

nMixerChannel* nMixer::EditChannel(int32_t channel)
{
    return IsValidChannel(channel) ? &m_channels[channel] : 0;
}

const nMixerChannel* nMixer::GetChannel(int32_t channel) const
{
    return IsValidChannel(channel) ? &m_channels[channel] : 0;
}

void nMixer::ChannelSetPitch(int32_t channel, float pitch)
{
    if (nMixerChannel* c = EditChannel(channel)) c->pitch = pitch;
}

void nMixer::ChannelSetGain(int32_t channel, float gain)
{
    if (nMixerChannel* c = EditChannel(channel)) c->gain = gain;
}

void nMixer::ChannelSetPanning(int32_t channel, float panning)
{
    if (nMixerChannel* c = EditChannel(channel)) c->panning = panning;
}

void nMixer::ChannelSetLoopMode(int32_t channel, int32_t mode)
{
    if (nMixerChannel* c = EditChannel(channel)) c->loopMode = mode;
}

void nMixer::ChannelSetLoopPosition(int32_t channel, int32_t ms)
{
    if (nMixerChannel* c = EditChannel(channel)) c->loopPosition = ms;
}

void nMixer::DeleteChannelStream(int32_t channel)
{
    nMixerChannel* c = EditChannel(channel);
    if (!c || !c->stream) return;
    delete c->stream;
    c->stream = 0;
}

// A stream that ended is released once, when its channel has played out; the channel stays
// occupied by it until ChannelStop.
void nMixer::Update()
{
    for (int32_t i = 0; i < kMixerChannelCount; ++i) {
        nMixerStreamInterface* s = m_channels[i].stream;
        if (!s || s->IsReleased()) continue;
        ChannelUpdateStream(i);
        mvx_Stream* stream = s->LockStream();
        if (s->IsFinished()) {
            const int32_t state = ChannelGetState(i);
            if (state != MixerChannelPlaying && state != MixerChannelPaused) {
                *g_log << "[|] "
                       << "Release stream interface.\n";
                ChannelCloseStream(i);
                s->SetReleased();
            }
        } else if (stream && stream->GetState() != StreamDecoding) {
            // A stream that cannot seek (no decoder to find the time) ends rather than loops.
            const bool looped = m_channels[i].loopMode == MixerLoopRepeat && stream->Seek(m_channels[i].loopPosition);
            if (!looped) s->SetFinished(true);
        }
        s->UnlockStream();
    }
}

void nMixer::ResumeStreamChannels()
{
    for (int32_t i = 0; i < kMixerChannelCount; ++i)
        if (m_channels[i].stream) ChannelResume(i);
}

int32_t nMixer::FindFreeChannel()
{
    for (int32_t i = 0; i < kMixerChannelCount; ++i) {
        const nMixerChannel& c = m_channels[i];
        if (ChannelGetState(i) == MixerChannelStopped && !c.stream && !c.lock) return i;
    }
    *g_log << "[!] All channels in use.\n";
    return -1;
}

int32_t nMixer::SoundStart(nSound* sound)
{
    int32_t channel = FindFreeChannel();
    if (channel < 0) return -1;
    return ChannelStart(channel, sound) ? channel : -1;
}

int32_t nMixer::ChannelLock()
{
    int32_t channel = FindFreeChannel();
    if (channel >= 0) m_channels[channel].lock = true;
    return channel;
}

bool nMixer::ChannelTryLock(int32_t channel)
{
    nMixerChannel* c = EditChannel(channel);
    if (!c || c->lock) return false;
    c->lock = true;
    return true;
}

void nMixer::ChannelUnlock(int32_t channel)
{
    if (nMixerChannel* c = EditChannel(channel)) c->lock = false;
}

bool nMixer::ChannelIsLocked(int32_t channel) const
{
    const nMixerChannel* c = GetChannel(channel);
    return c && c->lock;
}

void nMixer::ChannelUnlockAll()
{
    for (int32_t i = 0; i < kMixerChannelCount; ++i) m_channels[i].lock = false;
}

void nMixer::ChannelStopAll()
{
    for (int32_t i = 0; i < kMixerChannelCount; ++i) ChannelStop(i);
}

nSound* nMixer::ChannelGetSound(int32_t channel) const
{
    const nMixerChannel* c = GetChannel(channel);
    return c ? c->sound : 0;
}

int32_t nMixer::StreamStart(const char* name)
{
    int32_t channel = FindFreeChannel();
    if (channel < 0) return -1;
    return OpenStream(channel, name) ? channel : -1;
}

bool nMixer::OpenStream(int32_t channel, const char* name)
{
    if (!IsValidChannel(channel) || !name) return false;
    nCategoryScope category(CategoryMixer);
    ChannelCloseStream(channel);
    nMixerStreamInterface* stream = new (std::nothrow) nMixerStreamInterface(this, channel);
    if (!stream) {
        *g_log << "[!] Failed to allocate chanel stream interface.\n";
        return false;
    }
    if (!stream->OpenContent(name)) {
        delete stream;
        DeleteChannelStream(channel);
        *g_log << "[!] Failed to open content stream.\n";
        return false;
    }
    DeleteChannelStream(channel);
    m_channels[channel].stream = stream;
    stream->StartThread();
    return true;
}

void nMixer::Mute()
{
    if (!m_muted) m_savedGain = GetGain();
    m_muted = true;
    SetGain(0.0f);
}

void nMixer::Unmute()
{
    m_muted = false;
    SetGain(m_savedGain);
}
