// Sounds on a mixer: set-up and free in order on a recording mixer, the shared channel operations
// of nMixer, and the null mixer.
#include "audio/mixer/nMixer.h"
#include "audio/mixer/nMixerData.h"
#include "audio/mixer/nNull_Mixer.h"
#include "hub/nCoreListener.h"
#include "hub/nOrvex.h"
#include "resources/nSound.h"
#include "tests/support/nLogCapture.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

using Lines = std::vector<std::string>;

namespace {

using Journal = std::vector<std::string>;

class RecordingData : public nMixerData
{
public:
    explicit RecordingData(Journal& journal) : m_journal(journal) {}
    ~RecordingData() override { m_journal.push_back("data deleted"); }
private:
    Journal& m_journal;
};

// A mixer that plays nothing but writes down what it is asked, keeping channel states and gain.
class RecordingMixer : public nMixer
{
public:
    RecordingMixer(nOrvex* engine, bool makeCurrent, Journal& journal)
        : nMixer(engine, makeCurrent), m_journal(journal)
    {
        for (int32_t& s : m_state) s = MixerChannelStopped;
    }

    bool Open() override { m_open = true; return true; }
    void Close() override { m_open = false; }
    void SetListener(const nVector*, const nVector*, const nMatrix3*) override {}
    bool ChannelStart(int32_t channel, nSound* sound) override
    {
        m_journal.push_back("start " + std::to_string(channel));
        if (!m_open || !IsValidChannel(channel)) return false;
        m_channels[channel].sound = sound;
        m_state[channel] = MixerChannelPlaying;
        return true;
    }
    bool ChannelStop(int32_t channel) override
    {
        m_journal.push_back("stop " + std::to_string(channel));
        if (IsValidChannel(channel)) m_state[channel] = MixerChannelStopped;
        return true;
    }
    void ChannelPause(int32_t) override {}
    void ChannelResume(int32_t channel) override { m_journal.push_back("resume " + std::to_string(channel)); }
    int32_t ChannelGetState(int32_t channel) override
    {
        return IsValidChannel(channel) ? m_state[channel] : int32_t(MixerChannelInvalid);
    }
    bool UploadSample(nSound* sound) override
    {
        m_journal.push_back("upload");
        if (!m_open || !sound || sound->GetMixerData()) return false;
        sound->SetMixerData(new RecordingData(m_journal));
        return true;
    }
    void FreeSample(nSound* sound) override
    {
        m_journal.push_back("free");
        if (!m_open || !sound || !sound->GetMixerData()) return;
        delete sound->GetMixerData();
        sound->SetMixerData(nullptr);
    }
    void SetGain(float gain) override { m_gain = gain; m_journal.push_back("gain " + std::to_string(gain)); }
    float GetGain() override { return m_gain; }
    bool ChannelOpenStream(int32_t, const mvx_AudioFormat&) override { return false; }
    void ChannelUpdateStream(int32_t) override {}
    void ChannelCloseStream(int32_t) override {}

    void SetState(int32_t channel, int32_t state) { m_state[channel] = state; }

private:
    Journal& m_journal;
    int32_t  m_state[kMixerChannelCount];
    float    m_gain = 0.75f;
};

class RecordingEvents : public nOrvex::EventInterface
{
public:
    explicit RecordingEvents(Journal& journal) : m_journal(journal) {}
    void OnMessage(const char* text) override { m_journal.push_back(std::string("message ") + text); }
private:
    Journal& m_journal;
};

class RecordingListener : public nCoreListener
{
public:
    explicit RecordingListener(Journal& journal) : m_journal(journal) {}
    int32_t OnCoreEvent(int32_t code, nCoreEventRecord* record) override
    {
        bool soundOnly = record && record->sound == expected && !record->geometry && !record->texture && !record->reserved;
        m_journal.push_back("core " + std::to_string(code) + (soundOnly ? " sound" : " ?"));
        return 0;
    }
    nSound* expected = nullptr;
private:
    Journal& m_journal;
};

class SoundOnMixer : public ::testing::Test {
protected:
    SoundOnMixer() : m_mixer(&m_engine, true, m_journal), m_events(m_journal), m_listener(m_journal)
    {
        m_engine.SetEventInterface(&m_events);
        m_engine.AddCoreListener(&m_listener);
    }
    ~SoundOnMixer() override { m_engine.RemoveCoreListener(&m_listener); }

    Journal           m_journal;
    nOrvex            m_engine;
    RecordingMixer    m_mixer;
    RecordingEvents   m_events;
    RecordingListener m_listener;
};

}

// ---------------------------------------------------------------------------------------------
// Sounds

TEST_F(SoundOnMixer, SetupAndDestructionReachTheCurrentMixerInOrder)
{
    EXPECT_EQ(m_engine.GetMixer(), &m_mixer);
    m_mixer.Open();
    nSound* sound = new nSound(&m_engine);
    m_listener.expected = sound;
    EXPECT_EQ(sound->GetEngine(), &m_engine);
    EXPECT_TRUE(sound->GetName().IsEmpty());
    EXPECT_EQ(sound->GetMixerData(), nullptr);

    EXPECT_TRUE(sound->Setup());
    EXPECT_EQ(m_journal, (Journal{"message Sound Setup", "upload"}));
    EXPECT_NE(sound->GetMixerData(), nullptr);

    // A second set-up is refused by the mixer: the sound has its data already.
    m_journal.clear();
    EXPECT_FALSE(sound->Setup());
    EXPECT_EQ(m_journal, (Journal{"message Sound Setup", "upload"}));

    m_journal.clear();
    delete sound;
    EXPECT_EQ(m_journal, (Journal{"core 5 sound", "free", "data deleted", "core 6 sound"}));
}

TEST_F(SoundOnMixer, DataAClosedMixerCannotTakeBackGoesWithTheSound)
{
    m_mixer.Open();
    nSound* sound = new nSound(&m_engine);
    m_listener.expected = sound;
    ASSERT_TRUE(sound->Setup());
    m_mixer.Close();
    m_journal.clear();
    delete sound;
    EXPECT_EQ(m_journal, (Journal{"core 5 sound", "free", "core 6 sound", "data deleted"}));
}

TEST_F(SoundOnMixer, SetupWithoutMixerOrProgressInterface)
{
    m_mixer.Open();
    nSound sound(&m_engine);
    m_listener.expected = &sound;

    // A closed mixer refuses; its answer is the sound's.
    m_mixer.Close();
    EXPECT_FALSE(sound.Setup());
    EXPECT_EQ(m_journal, (Journal{"message Sound Setup", "upload"}));

    m_journal.clear();
    m_mixer.Open();
    m_engine.SetEventInterface(nullptr);
    EXPECT_TRUE(sound.Setup());
    EXPECT_EQ(m_journal, (Journal{"upload"}));

    m_journal.clear();
    nMixer* current = m_engine.GetMixer();
    m_engine.SetMixer(nullptr);
    EXPECT_FALSE(sound.Setup());
    EXPECT_TRUE(m_journal.empty());
    m_engine.SetMixer(current);

    nSound orphan(nullptr);
    EXPECT_FALSE(orphan.Setup());
}

// ---------------------------------------------------------------------------------------------
// The mixer base

TEST_F(SoundOnMixer, FreshChannelsAndGain)
{
    EXPECT_FALSE(m_mixer.IsOpen());
    EXPECT_FALSE(m_mixer.IsMuted());
    EXPECT_EQ(m_mixer.GetSavedGain(), 1.0f);
    for (int32_t i = 0; i < kMixerChannelCount; ++i) {
        const nMixerChannel* c = m_mixer.GetChannel(i);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->sound, nullptr);
        EXPECT_EQ(c->stream, nullptr);
        EXPECT_FALSE(c->lock);
        EXPECT_EQ(c->loopMode, 0);
        EXPECT_EQ(c->loopPosition, 0);
        EXPECT_EQ(c->pitch, 1.0f);
        EXPECT_EQ(c->gain, 1.0f);
        EXPECT_EQ(c->panning, 0.5f);
        EXPECT_EQ(c->position.w, 1.0f);
        EXPECT_EQ(c->orientation.m[4], 1.0f);
    }
}

TEST_F(SoundOnMixer, MuteSavesTheGainOnceAndUnmuteRestoresIt)
{
    m_mixer.Unmute();                                    // never muted: the saved 1.0
    EXPECT_EQ(m_mixer.GetGain(), 1.0f);
    m_mixer.SetGain(0.5f);
    m_mixer.Mute();
    EXPECT_TRUE(m_mixer.IsMuted());
    EXPECT_EQ(m_mixer.GetGain(), 0.0f);
    m_mixer.SetGain(0.25f);
    m_mixer.Mute();                                      // the second keeps what the first saved
    EXPECT_EQ(m_mixer.GetSavedGain(), 0.5f);
    m_mixer.Unmute();
    EXPECT_FALSE(m_mixer.IsMuted());
    EXPECT_EQ(m_mixer.GetGain(), 0.5f);
}

TEST_F(SoundOnMixer, FreeChannelsSkipPlayingLockedAndLastOfAll)
{
    m_mixer.Open();
    nSound sound(&m_engine);
    EXPECT_EQ(m_mixer.SoundStart(&sound), 0);
    EXPECT_EQ(m_mixer.ChannelGetSound(0), &sound);
    EXPECT_TRUE(m_mixer.ChannelTryLock(1));
    EXPECT_FALSE(m_mixer.ChannelTryLock(1));
    EXPECT_EQ(m_mixer.FindFreeChannel(), 2);
    EXPECT_EQ(m_mixer.ChannelLock(), 2);
    EXPECT_TRUE(m_mixer.ChannelIsLocked(2));
    m_mixer.SetState(3, MixerChannelPaused);
    EXPECT_EQ(m_mixer.SoundStart(&sound), 4);
    m_mixer.ChannelUnlock(1);
    EXPECT_EQ(m_mixer.FindFreeChannel(), 1);

    // Everything locked: one line per call, and no start is attempted.
    for (int32_t i = 0; i < kMixerChannelCount; ++i) m_mixer.ChannelTryLock(i);
    m_journal.clear();
    nLogCapture log;
    EXPECT_EQ(m_mixer.FindFreeChannel(), -1);
    EXPECT_EQ(m_mixer.SoundStart(&sound), -1);
    EXPECT_EQ(m_mixer.ChannelLock(), -1);
    EXPECT_EQ(log.Lines(), (Lines{"[!] All channels in use.\n", "[!] All channels in use.\n", "[!] All channels in use.\n"}));
    EXPECT_TRUE(m_journal.empty());

    m_mixer.ChannelUnlockAll();
    EXPECT_FALSE(m_mixer.ChannelIsLocked(63));
    m_journal.clear();
    m_mixer.ChannelStopAll();
    ASSERT_EQ(m_journal.size(), size_t(kMixerChannelCount));
    EXPECT_EQ(m_journal.front(), "stop 0");
    EXPECT_EQ(m_journal.back(), "stop 63");
}

TEST_F(SoundOnMixer, ChannelNumbersOutsideTheTableAreIgnored)
{
    nSound sound(&m_engine);
    for (int32_t bad : {-1, kMixerChannelCount, INT_MIN, INT_MAX}) {
        m_mixer.ChannelSetPitch(bad, 2.0f);
        m_mixer.ChannelSetGain(bad, 2.0f);
        m_mixer.ChannelSetPanning(bad, 2.0f);
        m_mixer.ChannelSetLoopMode(bad, 1);
        m_mixer.ChannelSetLoopPosition(bad, 5);
        m_mixer.ChannelUnlock(bad);
        EXPECT_FALSE(m_mixer.ChannelTryLock(bad));
        EXPECT_FALSE(m_mixer.ChannelIsLocked(bad));
        EXPECT_EQ(m_mixer.ChannelGetSound(bad), nullptr);
        EXPECT_EQ(m_mixer.GetChannel(bad), nullptr);
    }
    m_mixer.ChannelSetPitch(63, 2.0f);
    m_mixer.ChannelSetGain(63, 0.5f);
    m_mixer.ChannelSetPanning(63, 0.0f);
    m_mixer.ChannelSetLoopMode(63, MixerLoopRepeat);
    m_mixer.ChannelSetLoopPosition(63, 1500);
    const nMixerChannel* c = m_mixer.GetChannel(63);
    EXPECT_EQ(c->pitch, 2.0f);
    EXPECT_EQ(c->gain, 0.5f);
    EXPECT_EQ(c->panning, 0.0f);
    EXPECT_EQ(c->loopMode, 1);
    EXPECT_EQ(c->loopPosition, 1500);
    EXPECT_EQ(m_mixer.GetChannel(62)->pitch, 1.0f);
}

TEST(Mixer, ADeletedCurrentMixerHandsTheEngineBack)
{
    Journal journal;
    nOrvex engine;
    nMixer* before = engine.GetMixer();
    RecordingMixer* other = new RecordingMixer(&engine, false, journal);
    EXPECT_EQ(engine.GetMixer(), before);
    delete other;                                        // not current: nothing changes
    EXPECT_EQ(engine.GetMixer(), before);

    RecordingMixer* current = new RecordingMixer(&engine, true, journal);
    EXPECT_EQ(engine.GetMixer(), current);
    delete current;
    EXPECT_EQ(engine.GetMixer(), static_cast<nMixer*>(engine.GetNullMixer()));

    RecordingMixer detached(nullptr, true, journal);     // no engine to tell
    EXPECT_EQ(detached.GetSlot(), nullptr);
}

// ---------------------------------------------------------------------------------------------
// The null mixer

TEST(NullMixer, OutputsNothingAndAcceptsEverything)
{
    nOrvex engine;
    nNull_Mixer mixer(&engine, true);
    EXPECT_EQ(engine.GetMixer(), &mixer);
    EXPECT_FALSE(mixer.IsOpen());
    EXPECT_TRUE(mixer.Open());
    EXPECT_TRUE(mixer.IsOpen());

    nSound sound(&engine);
    EXPECT_TRUE(sound.Setup());
    EXPECT_EQ(sound.GetMixerData(), nullptr);           // stores nothing
    mixer.FreeSample(&sound);
    EXPECT_TRUE(mixer.ChannelStart(5, &sound));
    EXPECT_EQ(mixer.ChannelGetState(5), int32_t(MixerChannelStopped));
    EXPECT_TRUE(mixer.ChannelStop(5));
    mixer.SetGain(0.5f);
    EXPECT_EQ(mixer.GetGain(), 0.0f);
    EXPECT_EQ(mixer.SoundStart(&sound), 0);             // channel 0 always reads as free
    EXPECT_EQ(mixer.FindFreeChannel(), 0);
    mixer.Update();
    mixer.ResumeStreamChannels();

    mixer.Close();
    EXPECT_FALSE(mixer.IsOpen());
}
