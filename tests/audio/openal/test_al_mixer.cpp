// The OpenAL mixer on OpenAL Soft's null back-end (it plays in real time without a sound card):
// its start-up lines, the listener gain and mute, samples that start, loop, pause and end,
// uploads of every format, a sound freed while it plays, and channel numbers outside 0..63.
#include "audio/openal/nALMixer.h"

#include <gtest/gtest.h>

#include <AL/al.h>
#include <AL/alc.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "hub/nOrvex.h"
#include "tests/audio/nTestSounds.h"
#include "tests/support/nLogCapture.h"

namespace {

typedef std::vector<std::string> Lines;

class ALMixerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setenv("ALSOFT_DRIVERS", "null", 1);
        ASSERT_TRUE(mixer.Open()) << log.Text();
        log.Clear();
    }

    // Polls the channel's state until it is the wanted one; false after seconds.
    bool WaitFor(int32_t channel, int32_t state, double seconds)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < end) {
            if (mixer.ChannelGetState(channel) == state) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return mixer.ChannelGetState(channel) == state;
    }

    float SourceFloat(int32_t channel, ALenum what)
    {
        ALfloat v = -1.0f;
        alGetSourcef(mixer.GetSource(channel), what, &v);
        return v;
    }
    ALint SourceInt(int32_t channel, ALenum what)
    {
        ALint v = -1;
        alGetSourcei(mixer.GetSource(channel), what, &v);
        return v;
    }
    float ListenerGain()
    {
        ALfloat g = -1.0f;
        alGetListenerf(AL_GAIN, &g);
        return g;
    }

    nLogCapture log;
    nOrvex engine;
    nALMixer mixer{&engine, true};
};

TEST(ALMixerOpen, StartUpLines)
{
    setenv("ALSOFT_DRIVERS", "null", 1);
    nLogCapture log;
    nALMixer mixer(0, false);
    ASSERT_TRUE(mixer.Open());
    EXPECT_TRUE(mixer.Open());  // open already
    Lines lines = log.Lines();
    ASSERT_EQ(lines.size(), 6u) << log.Text();
    EXPECT_EQ(lines[0], "Starting OpenAL1.1 mixer...\n");
    EXPECT_EQ(lines[1], "[*] Failed to open default device, performances might suffer.\n");
    EXPECT_EQ(lines[2].substr(0, 8), "Device: ");
    EXPECT_EQ(lines[3], "64 mixer channel.\n");
    EXPECT_EQ(lines[4], "Done.\n");
    EXPECT_EQ(lines[5], "\n");
    mixer.Close();
    EXPECT_FALSE(mixer.IsOpen());
    EXPECT_EQ(mixer.GetGain(), 0.0f);
}

TEST_F(ALMixerTest, ListenerGainAndMute)
{
    EXPECT_FLOAT_EQ(ListenerGain(), 0.8f);
    EXPECT_FLOAT_EQ(mixer.GetGain(), 1.0f);
    mixer.SetGain(0.5f);
    EXPECT_FLOAT_EQ(ListenerGain(), 0.4f);
    mixer.SetGain(0.0f);  // a quiet master gain keeps its floor
    EXPECT_FLOAT_EQ(ListenerGain(), 0.01f);
    EXPECT_FLOAT_EQ(mixer.GetGain(), 0.0125f);
    mixer.SetGain(0.75f);
    mixer.Mute();  // muting is silence
    EXPECT_FLOAT_EQ(ListenerGain(), 0.0f);
    EXPECT_FLOAT_EQ(mixer.GetSavedGain(), 0.75f);
    mixer.Unmute();
    EXPECT_FLOAT_EQ(ListenerGain(), 0.6f);
}

TEST_F(ALMixerTest, SampleStartsPlaysAndEnds)
{
    std::unique_ptr<nSound> sound = MakeConstant(&engine, 1000, 4800);  // 0.1 s
    EXPECT_EQ(mixer.ChannelGetState(3), MixerChannelStopped);           // never played
    EXPECT_FALSE(mixer.ChannelStart(3, sound.get()));                   // not uploaded
    ASSERT_TRUE(mixer.UploadSample(sound.get()));
    EXPECT_FALSE(mixer.UploadSample(sound.get()));  // uploaded already
    mixer.ChannelSetGain(3, 0.3f);
    mixer.ChannelSetPitch(3, 1.5f);
    ASSERT_TRUE(mixer.ChannelStart(3, sound.get()));
    EXPECT_EQ(mixer.ChannelGetState(3), MixerChannelPlaying);
    EXPECT_EQ(mixer.ChannelGetSound(3), sound.get());
    EXPECT_FLOAT_EQ(SourceFloat(3, AL_GAIN), 0.3f);
    EXPECT_FLOAT_EQ(SourceFloat(3, AL_PITCH), 1.5f);
    EXPECT_EQ(SourceInt(3, AL_BUFFER), (ALint) static_cast<nALMixerData*>(sound->GetMixerData())->buffer);
    EXPECT_NE(mixer.FindFreeChannel(), 3);

    mixer.ChannelPause(3);
    EXPECT_EQ(mixer.ChannelGetState(3), MixerChannelPaused);
    mixer.ChannelResume(3);
    EXPECT_EQ(mixer.ChannelGetState(3), MixerChannelPlaying);
    EXPECT_TRUE(WaitFor(3, MixerChannelStopped, 5.0));
    EXPECT_EQ(mixer.ChannelGetSound(3), sound.get());  // the sound pointer stays
    EXPECT_EQ(log.Text(), "");
}

TEST_F(ALMixerTest, LoopingSampleKeepsPlayingUntilStopped)
{
    std::unique_ptr<nSound> sound = MakeConstant(&engine, 1000, 480);  // 10 ms
    ASSERT_TRUE(mixer.UploadSample(sound.get()));
    mixer.ChannelSetLoopMode(0, MixerLoopRepeat);
    ASSERT_TRUE(mixer.ChannelStart(0, sound.get()));
    EXPECT_EQ(SourceInt(0, AL_LOOPING), AL_TRUE);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(mixer.ChannelGetState(0), MixerChannelPlaying);
    EXPECT_TRUE(mixer.ChannelStop(0));
    EXPECT_EQ(mixer.ChannelGetState(0), MixerChannelStopped);
    mixer.ChannelSetLoopMode(0, MixerLoopNone);
    EXPECT_EQ(SourceInt(0, AL_LOOPING), AL_FALSE);
}

TEST_F(ALMixerTest, UploadsEveryPcmLayoutAndRefusesOthers)
{
    std::unique_ptr<nSound> mono8 = MakeSound8(&engine, std::vector<uint8_t>(100, 128), 1, 11025);
    std::unique_ptr<nSound> stereo8 = MakeSound8(&engine, std::vector<uint8_t>(100, 128), 2, 22050);
    std::unique_ptr<nSound> mono16 = MakeConstant(&engine, 5, 100, 44100);
    std::unique_ptr<nSound> stereo16 = MakeSound16(&engine, std::vector<int16_t>(100, 5), 2, 48000);
    for (nSound* s : {mono8.get(), stereo8.get(), mono16.get(), stereo16.get()}) {
        ASSERT_TRUE(mixer.UploadSample(s));
        ALuint buffer = static_cast<nALMixerData*>(s->GetMixerData())->buffer;
        ALint frequency = 0;
        alGetBufferi(buffer, AL_FREQUENCY, &frequency);
        EXPECT_EQ(frequency, s->GetSamples().GetFormat().rate);
    }
    std::unique_ptr<nSound> three = MakeSound16(&engine, std::vector<int16_t>(30, 5), 3, 48000, "surround");
    EXPECT_FALSE(mixer.UploadSample(three.get()));
    EXPECT_EQ(three->GetMixerData(), nullptr);
    EXPECT_FALSE(mixer.ChannelStart(1, three.get()));
    EXPECT_EQ(log.Lines(), (Lines{"[!] Unsupported PCM format in sample 'surround'.\n"}));
}

// The buffer of a sound that goes while it plays is detached, stopped and deleted; the
// channel forgets the sound.
TEST_F(ALMixerTest, FreedSoundLeavesItsChannels)
{
    std::unique_ptr<nSound> sound = MakeConstant(&engine, 1000, 48000);
    ASSERT_TRUE(mixer.UploadSample(sound.get()));
    const ALuint buffer = static_cast<nALMixerData*>(sound->GetMixerData())->buffer;
    ASSERT_TRUE(mixer.ChannelStart(6, sound.get()));
    ASSERT_TRUE(mixer.ChannelStart(7, sound.get()));
    sound.reset();  // frees it on the current mixer
    EXPECT_EQ(alIsBuffer(buffer), AL_FALSE);
    EXPECT_EQ(mixer.ChannelGetSound(6), nullptr);
    EXPECT_EQ(mixer.ChannelGetState(6), MixerChannelStopped);
    EXPECT_EQ(mixer.ChannelGetState(7), MixerChannelStopped);
    EXPECT_EQ(SourceInt(6, AL_BUFFER), 0);
    EXPECT_EQ(log.Text(), "");
}

TEST_F(ALMixerTest, ClosedMixerRefusesStartsStopsAndUploads)
{
    std::unique_ptr<nSound> sound = MakeConstant(&engine, 1000, 480);
    ASSERT_TRUE(mixer.UploadSample(sound.get()));
    ASSERT_TRUE(mixer.ChannelStart(0, sound.get()));
    mixer.FreeSample(sound.get());
    mixer.Close();
    std::unique_ptr<nSound> other = MakeConstant(&engine, 1000, 480);
    EXPECT_FALSE(mixer.UploadSample(other.get()));
    EXPECT_FALSE(mixer.ChannelStart(0, other.get()));
    EXPECT_FALSE(mixer.ChannelStop(0));
    EXPECT_EQ(mixer.ChannelGetState(0), MixerChannelStopped);
    mixer.ChannelSetGain(0, 0.5f);  // stored only
    EXPECT_EQ(mixer.GetChannel(0)->gain, 0.5f);
}

TEST_F(ALMixerTest, ChannelNumbersOutsideTheTableAreIgnored)
{
    std::unique_ptr<nSound> sound = MakeConstant(&engine, 1000, 480);
    ASSERT_TRUE(mixer.UploadSample(sound.get()));
    for (int32_t channel : {-1, 64, INT_MIN, INT_MAX}) {
        EXPECT_FALSE(mixer.ChannelStart(channel, sound.get())) << channel;
        EXPECT_FALSE(mixer.ChannelStop(channel));
        mixer.ChannelPause(channel);
        mixer.ChannelResume(channel);
        EXPECT_EQ(mixer.ChannelGetState(channel), MixerChannelInvalid);
        mixer.ChannelSetPitch(channel, 2.0f);
        mixer.ChannelSetGain(channel, 2.0f);
        mixer.ChannelSetPanning(channel, 0.0f);
        mixer.ChannelSetLoopMode(channel, 1);
        mixer.ChannelSetLoopPosition(channel, 10);
        EXPECT_FALSE(mixer.ChannelTryLock(channel));
        EXPECT_EQ(mixer.ChannelGetSound(channel), nullptr);
        EXPECT_EQ(mixer.GetSource(channel), 0u);
    }
    EXPECT_EQ(log.Text(), "");
}

}
