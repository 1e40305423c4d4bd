#ifndef N_ALMIXER_H
#define N_ALMIXER_H

#include <cstdint>

#include "audio/mivox/mvx_AudioOutput.h"
#include "audio/mixer/nMixer.h"
#include "audio/mixer/nMixerData.h"

// The OpenAL mixer's per-sound record: the buffer holding the sound's PCM.
class nALMixerData : public nMixerData
{
public:
    explicit nALMixerData(uint32_t name) : buffer(name) {}
    uint32_t buffer;  // OpenAL buffer name
};

const int32_t kALStreamBuffers = 16;          // buffers queued on a streaming source
const int32_t kALStreamTransferBytes = 2048;  // bytes moved from the ring into one buffer

// A streaming channel: its buffers form a stack of free names over a ring of 16 slots, the free
// names from the stack index upwards (cyclically).
struct nALStreamRecord
{
    uint8_t* transfer;  // NULL while the channel is not streaming
    mvx_AudioFormat format;
    uint32_t buffers[kALStreamBuffers];
    int32_t stackIndex;
    int32_t freeCount;
    bool started;
};

// The mixer that plays through OpenAL 1.1 (the player's default, id "al"): channel i plays on
// source i, each uploaded sound has one buffer, panning is stored but not heard. The listener
// gain is the master gain x 0.8, at least 0.01 except while muted. Main thread only.
class nALMixer : public nMixer
{
public:
    nALMixer(nMixerSlot* slot, bool makeCurrent);
    ~nALMixer() override;  // Close when open

    bool Open() override;   // device, context, 64 sources; true when open already
    void Close() override;  // stops every channel, frees sources, context and device
    void SetListener(const nVector* position, const nVector* velocity, const nMatrix3* orientation) override;
    bool ChannelStart(int32_t channel, nSound* sound) override;
    bool ChannelStop(int32_t channel) override;
    void ChannelPause(int32_t channel) override;
    void ChannelResume(int32_t channel) override;
    int32_t ChannelGetState(int32_t channel) override;
    // Gives the sound a buffer of its PCM; false (one log line, nothing attached) when that fails.
    bool UploadSample(nSound* sound) override;
    // Stops the channels playing the sound and detaches its buffer from them, then deletes it.
    void FreeSample(nSound* sound) override;
    void SetGain(float gain) override;
    float GetGain() override;
    // A streaming channel queues 16 buffers of 2048 bytes refilled from its stream's ring. A
    // source that ran dry plays again as soon as a refill queued something.
    bool ChannelOpenStream(int32_t channel, const mvx_AudioFormat& format) override;
    void ChannelUpdateStream(int32_t channel) override;  // nothing for a channel not streaming
    void ChannelCloseStream(int32_t channel) override;
    void ChannelSetPitch(int32_t channel, float pitch) override;
    void ChannelSetGain(int32_t channel, float gain) override;
    void ChannelSetLoopMode(int32_t channel, int32_t mode) override;

    bool HasEAX() const { return m_eax; }
    uint32_t GetSource(int32_t channel) const { return IsValidChannel(channel) ? m_sources[channel] : 0; }
    const nALStreamRecord* GetStreamRecord(int32_t channel) const { return IsValidChannel(channel) ? &m_streams[channel] : 0; }
    bool IsStreaming(int32_t channel) const { return IsValidChannel(channel) && m_streams[channel].transfer; }

private:
    void ResetChannels();

    void* m_device;   // ALCdevice
    void* m_context;  // ALCcontext
    bool m_eax;
    bool m_sourcesMade;
    uint32_t m_sources[kMixerChannelCount];
    nALStreamRecord m_streams[kMixerChannelCount];
};

#endif
