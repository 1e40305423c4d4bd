#include "tests/kit/nRecordingMixer.h"

#include <string>

#include "audio/mixer/nMixerData.h"
#include "resources/nSound.h"
#include "tests/kit/nCallLog.h"

namespace {

// Mixer data that logs its deletion, so that a test sees when a sound lets go of it.
class RecordingData : public nMixerData
{
public:
    explicit RecordingData(nCallLog* log) : m_log(log) {}
    ~RecordingData() override { m_log->Add("mixer.DataDeleted"); }

private:
    nCallLog* m_log;
};

std::string Channel(const char* call, int32_t channel)
{
    return std::string("mixer.") + call + "(" + std::to_string(channel) + ")";
}

}

nRecordingMixer::nRecordingMixer(nMixerSlot* slot, nCallLog* log, bool makeCurrent)
    : nMixer(slot, makeCurrent), m_log(log), m_gain(0.75f)
{
    for (int32_t& s : m_state) s = MixerChannelStopped;
}

bool nRecordingMixer::Open()
{
    m_open = true;
    return true;
}

void nRecordingMixer::Close()
{
    m_open = false;
}

bool nRecordingMixer::ChannelStart(int32_t channel, nSound* sound)
{
    m_log->Add(Channel("ChannelStart", channel));
    if (!m_open || !IsValidChannel(channel)) return false;
    m_channels[channel].sound = sound;
    m_state[channel] = MixerChannelPlaying;
    return true;
}

bool nRecordingMixer::ChannelStop(int32_t channel)
{
    m_log->Add(Channel("ChannelStop", channel));
    if (IsValidChannel(channel)) m_state[channel] = MixerChannelStopped;
    return true;
}

void nRecordingMixer::ChannelPause(int32_t channel)
{
    m_log->Add(Channel("ChannelPause", channel));
}

void nRecordingMixer::ChannelResume(int32_t channel)
{
    m_log->Add(Channel("ChannelResume", channel));
}

int32_t nRecordingMixer::ChannelGetState(int32_t channel)
{
    return IsValidChannel(channel) ? m_state[channel] : int32_t(MixerChannelInvalid);
}

bool nRecordingMixer::UploadSample(nSound* sound)
{
    m_log->Add("mixer.UploadSample");
    if (!m_open || !sound || sound->GetMixerData()) return false;
    sound->SetMixerData(new RecordingData(m_log));
    return true;
}

void nRecordingMixer::FreeSample(nSound* sound)
{
    m_log->Add("mixer.FreeSample");
    if (!m_open || !sound || !sound->GetMixerData()) return;
    delete sound->GetMixerData();
    sound->SetMixerData(nullptr);
}

void nRecordingMixer::SetGain(float gain)
{
    m_gain = gain;
    m_log->Add("mixer.SetGain(" + FormatFloat(gain) + ")");
}

void nRecordingMixer::Update()
{
    m_log->Add("mixer.Update");
    nMixer::Update();
}

void nRecordingMixer::SetState(int32_t channel, int32_t state)
{
    if (IsValidChannel(channel)) m_state[channel] = state;
}
