#ifndef N_NULL_MIXER_H
#define N_NULL_MIXER_H

#include "audio/mixer/nMixer.h"

// The mixer that outputs nothing: current until the player opens another one. Every channel reads
// as stopped; starts and uploads succeed without storing anything. Streams open and decode on
// their threads but are never drained; ChannelStop ends them.
class nNull_Mixer : public nMixer
{
public:
    nNull_Mixer(nMixerSlot* slot, bool makeCurrent) : nMixer(slot, makeCurrent) {}

    bool Open() override;   // sets the open flag; true
    void Close() override;  // clears it
    void SetListener(const nVector*, const nVector*, const nMatrix3*) override {}
    bool ChannelStart(int32_t channel, nSound* sound) override { return true; }
    bool ChannelStop(int32_t channel) override
    {
        DeleteChannelStream(channel);
        return true;
    }
    void ChannelPause(int32_t channel) override {}
    void ChannelResume(int32_t channel) override {}
    int32_t ChannelGetState(int32_t channel) override { return MixerChannelStopped; }
    bool UploadSample(nSound* sound) override { return true; }
    void FreeSample(nSound* sound) override {}
    void SetGain(float gain) override {}
    float GetGain() override { return 0.0f; }
    bool ChannelOpenStream(int32_t channel, const mvx_AudioFormat&) override { return true; }
    void ChannelUpdateStream(int32_t channel) override {}
    void ChannelCloseStream(int32_t channel) override {}
    void Update() override {}
};

#endif
