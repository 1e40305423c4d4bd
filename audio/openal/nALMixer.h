#ifndef N_ALMIXER_H
#define N_ALMIXER_H

#include <cstdint>

#include "audio/mixer/nMixer.h"
#include "audio/mixer/nMixerData.h"

// The OpenAL mixer's per-sound record: the buffer holding the sound's PCM.
class nALMixerData : public nMixerData
{
public:
    explicit nALMixerData(uint32_t name) : buffer(name) {}
    uint32_t buffer;                            // OpenAL buffer name
};

// The mixer that plays through OpenAL 1.1 (the player's default, id "al"): channel i plays on
// source i, each uploaded sound has one buffer, panning is stored but not heard. The listener
// gain is the master gain x 0.8, at least 0.01 except while muted. Main thread only.
class nALMixer : public nMixer
{
public:
    nALMixer(nMixerSlot* slot, bool makeCurrent);
    ~nALMixer() override;                       // Close when open

    bool    Open() override;                    // device, context, 64 sources; true when open already
    void    Close() override;                   // stops every channel, frees sources, context and device
    void    SetListener(const nVector* position, const nVector* velocity, const nMatrix3* orientation) override;
    bool    ChannelStart(int32_t channel, nSound* sound) override;
    bool    ChannelStop(int32_t channel) override;
    void    ChannelPause(int32_t channel) override;
    void    ChannelResume(int32_t channel) override;
    int32_t ChannelGetState(int32_t channel) override;
    // Gives the sound a buffer of its PCM; false (one log line, nothing attached) when that fails.
    bool    UploadSample(nSound* sound) override;
    // Stops the channels playing the sound and detaches its buffer from them, then deletes it.
    void    FreeSample(nSound* sound) override;
    void    SetGain(float gain) override;
    float   GetGain() override;
    // Streamed channels (a queue of buffers refilled from a stream's decoder) come with the
    // streams; until then no channel streams and a stream cannot open here.
    bool    ChannelOpenStream(int32_t channel, const mvx_AudioFormat& format) override { return false; }
    void    ChannelUpdateStream(int32_t channel) override {}
    void    ChannelCloseStream(int32_t channel) override {}
    void    ChannelSetPitch(int32_t channel, float pitch) override;
    void    ChannelSetGain(int32_t channel, float gain) override;
    void    ChannelSetLoopMode(int32_t channel, int32_t mode) override;

    bool    HasEAX() const                      { return m_eax; }
    uint32_t GetSource(int32_t channel) const   { return IsValidChannel(channel) ? m_sources[channel] : 0; }

private:
    void    ResetChannels();

    void*    m_device;                          // ALCdevice
    void*    m_context;                         // ALCcontext
    bool     m_eax;
    bool     m_sourcesMade;
    uint32_t m_sources[kMixerChannelCount];
};

#endif
