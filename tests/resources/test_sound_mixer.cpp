// Sounds on a mixer: set-up and free in order on a recording mixer, the shared channel operations
// of nMixer, and the null mixer.
#include "audio/mixer/nMixer.h"
#include "audio/mixer/nMixerData.h"
#include "audio/mixer/nNull_Mixer.h"
#include "hub/nCoreListener.h"
#include "hub/nOrvex.h"
#include "resources/nSound.h"
#include "tests/kit/nCallLog.h"
#include "tests/kit/nRecordingEvents.h"
#include "tests/kit/nRecordingMixer.h"
#include "tests/support/nLogCapture.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

using Lines = std::vector<std::string>;

namespace {

class SoundOnMixer : public ::testing::Test
{
protected:
    // Every core event of these tests concerns one sound, the one at the address given.
    void ExpectEventsOf(uintptr_t sound)
    {
        for (const nCoreEventRecord& r : m_listener.records) {
            EXPECT_EQ(reinterpret_cast<uintptr_t>(r.sound), sound);
            EXPECT_EQ(r.geometry, nullptr);
            EXPECT_EQ(r.texture, nullptr);
        }
    }

    nCallLog m_journal;
    nOrvex m_engine;
    nRecordingMixer m_mixer{&m_engine, &m_journal};
    nRecordingEventInterface m_events{&m_engine, &m_journal};
    nRecordingCoreListener m_listener{&m_engine, &m_journal};
};

}

// ---------------------------------------------------------------------------------------------
// Sounds

TEST_F(SoundOnMixer, SetupAndDestructionReachTheCurrentMixerInOrder)
{
    EXPECT_EQ(m_engine.GetMixer(), &m_mixer);
    m_mixer.Open();
    nSound* sound = new nSound(&m_engine);
    EXPECT_EQ(sound->GetEngine(), &m_engine);
    EXPECT_TRUE(sound->GetName().IsEmpty());
    EXPECT_EQ(sound->GetMixerData(), nullptr);

    EXPECT_TRUE(sound->Setup());
    EXPECT_EQ(m_journal.Calls(), (Lines{"engine.Message(Sound Setup)", "mixer.UploadSample"}));
    EXPECT_NE(sound->GetMixerData(), nullptr);

    // A second set-up is refused by the mixer: the sound has its data already.
    m_journal.Clear();
    EXPECT_FALSE(sound->Setup());
    EXPECT_EQ(m_journal.Calls(), (Lines{"engine.Message(Sound Setup)", "mixer.UploadSample"}));

    m_journal.Clear();
    const uintptr_t address = reinterpret_cast<uintptr_t>(sound);
    delete sound;
    EXPECT_EQ(m_journal.Calls(), (Lines{"core.Event(5) sound", "mixer.FreeSample", "mixer.DataDeleted", "core.Event(6) sound"}));
    ExpectEventsOf(address);
}

TEST_F(SoundOnMixer, DataAClosedMixerCannotTakeBackGoesWithTheSound)
{
    m_mixer.Open();
    nSound* sound = new nSound(&m_engine);
    ASSERT_TRUE(sound->Setup());
    m_mixer.Close();
    m_journal.Clear();
    const uintptr_t address = reinterpret_cast<uintptr_t>(sound);
    delete sound;
    EXPECT_EQ(m_journal.Calls(), (Lines{"core.Event(5) sound", "mixer.FreeSample", "core.Event(6) sound", "mixer.DataDeleted"}));
    ExpectEventsOf(address);
}

TEST_F(SoundOnMixer, SetupWithoutMixerOrProgressInterface)
{
    m_mixer.Open();
    nSound sound(&m_engine);

    // A closed mixer refuses; its answer is the sound's.
    m_mixer.Close();
    EXPECT_FALSE(sound.Setup());
    EXPECT_EQ(m_journal.Calls(), (Lines{"engine.Message(Sound Setup)", "mixer.UploadSample"}));

    m_journal.Clear();
    m_mixer.Open();
    m_engine.SetEventInterface(nullptr);
    EXPECT_TRUE(sound.Setup());
    EXPECT_EQ(m_journal.Calls(), (Lines{"mixer.UploadSample"}));

    m_journal.Clear();
    nMixer* current = m_engine.GetMixer();
    m_engine.SetMixer(nullptr);
    EXPECT_FALSE(sound.Setup());
    EXPECT_TRUE(m_journal.Calls().empty());
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
    m_mixer.Unmute();  // never muted: the saved 1.0
    EXPECT_EQ(m_mixer.GetGain(), 1.0f);
    m_mixer.SetGain(0.5f);
    m_mixer.Mute();
    EXPECT_TRUE(m_mixer.IsMuted());
    EXPECT_EQ(m_mixer.GetGain(), 0.0f);
    m_mixer.SetGain(0.25f);
    m_mixer.Mute();  // the second keeps what the first saved
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
    m_journal.Clear();
    nLogCapture log;
    EXPECT_EQ(m_mixer.FindFreeChannel(), -1);
    EXPECT_EQ(m_mixer.SoundStart(&sound), -1);
    EXPECT_EQ(m_mixer.ChannelLock(), -1);
    EXPECT_EQ(log.Lines(), (Lines{"[!] All channels in use.\n", "[!] All channels in use.\n", "[!] All channels in use.\n"}));
    EXPECT_TRUE(m_journal.Calls().empty());

    m_mixer.ChannelUnlockAll();
    EXPECT_FALSE(m_mixer.ChannelIsLocked(63));
    m_journal.Clear();
    m_mixer.ChannelStopAll();
    ASSERT_EQ(m_journal.Calls().size(), size_t(kMixerChannelCount));
    EXPECT_EQ(m_journal.Calls().front(), "mixer.ChannelStop(0)");
    EXPECT_EQ(m_journal.Calls().back(), "mixer.ChannelStop(63)");
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
    nCallLog journal;
    nOrvex engine;
    nMixer* before = engine.GetMixer();
    nRecordingMixer* other = new nRecordingMixer(&engine, &journal, false);
    EXPECT_EQ(engine.GetMixer(), before);
    delete other;  // not current: nothing changes
    EXPECT_EQ(engine.GetMixer(), before);

    nRecordingMixer* current = new nRecordingMixer(&engine, &journal, true);
    EXPECT_EQ(engine.GetMixer(), current);
    delete current;
    EXPECT_EQ(engine.GetMixer(), static_cast<nMixer*>(engine.GetNullMixer()));

    nRecordingMixer detached(nullptr, &journal, true);  // no engine to tell
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
    EXPECT_EQ(sound.GetMixerData(), nullptr);  // stores nothing
    mixer.FreeSample(&sound);
    EXPECT_TRUE(mixer.ChannelStart(5, &sound));
    EXPECT_EQ(mixer.ChannelGetState(5), int32_t(MixerChannelStopped));
    EXPECT_TRUE(mixer.ChannelStop(5));
    mixer.SetGain(0.5f);
    EXPECT_EQ(mixer.GetGain(), 0.0f);
    EXPECT_EQ(mixer.SoundStart(&sound), 0);  // channel 0 always reads as free
    EXPECT_EQ(mixer.FindFreeChannel(), 0);
    mixer.Update();
    mixer.ResumeStreamChannels();

    mixer.Close();
    EXPECT_FALSE(mixer.IsOpen());
}
