#ifndef N_RECORDINGMIXER_H
#define N_RECORDINGMIXER_H

#include "audio/mixer/nMixer.h"

class nCallLog;

// A mixer that plays nothing but writes what it is asked into a call log ("mixer.ChannelStart(3)",
// "mixer.UploadSample", "mixer.SetGain(0.5)", "mixer.Update"), keeping channel states and the gain.
// Like a device mixer it refuses starts, uploads and frees until opened, and an uploaded sound
// gets mixer data whose deletion is logged ("mixer.DataDeleted"). Made current on construction
// unless told otherwise.
class nRecordingMixer : public nMixer
{
public:
    nRecordingMixer(nMixerSlot* slot, nCallLog* log, bool makeCurrent = true);

    bool Open() override;
    void Close() override;
    void SetListener(const nVector*, const nVector*, const nMatrix3*) override {}
    bool ChannelStart(int32_t channel, nSound* sound) override;
    bool ChannelStop(int32_t channel) override;
    void ChannelPause(int32_t channel) override;
    void ChannelResume(int32_t channel) override;
    int32_t ChannelGetState(int32_t channel) override;
    bool UploadSample(nSound* sound) override;
    void FreeSample(nSound* sound) override;
    void SetGain(float gain) override;
    float GetGain() override { return m_gain; }
    bool ChannelOpenStream(int32_t, const mvx_AudioFormat&) override { return false; }
    void ChannelUpdateStream(int32_t) override {}
    void ChannelCloseStream(int32_t) override {}
    void Update() override;

    void SetState(int32_t channel, int32_t state);  // a channel's nMixerChannelState, as if the device had changed it

private:
    nCallLog* m_log;
    int32_t m_state[kMixerChannelCount];
    float m_gain;
};

#endif
