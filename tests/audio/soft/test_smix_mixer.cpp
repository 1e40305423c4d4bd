// The software mixer: its mix against values worked out by hand (pans, gains, a half-rate step,
// loops, 8- and 16-bit, mono and stereo), its end rules and bounds, the queued device it feeds
// and the channel operations with numbers outside 0..63.
#include "audio/soft/nSMixMixer.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "hub/nOrvex.h"
#include "platform/nAudioQueue.h"
#include "tests/audio/nTestSounds.h"
#include "tests/support/nLogCapture.h"

namespace {

typedef std::pair<int, int> Frame;  // left, right
typedef std::vector<Frame> Frames;

// A device that keeps what it is given; the test decides how much of it is still queued.
class FakeQueue : public nAudioQueue
{
public:
    explicit FakeQueue(bool opens = true) : m_opens(opens) {}
    bool Open(int32_t rate) override
    {
        rate_ = rate;
        if (!m_opens) {
            m_error = "no audio device here";
            return false;
        }
        m_device = 1;
        return true;
    }
    void Close() override { m_device = 0; }
    bool Queue(const void* data, uint32_t bytes) override
    {
        const uint8_t* p = static_cast<const uint8_t*>(data);
        queued.insert(queued.end(), p, p + bytes);
        ++buffers;
        return true;
    }
    uint32_t GetQueuedBytes() const override { return (uint32_t)queued.size() - played; }

    std::vector<uint8_t> queued;
    uint32_t played = 0;
    int32_t buffers = 0;
    int32_t rate_ = 0;

private:
    bool m_opens;
};

class SMixMixerTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(mixer.Open()); }

    Frames Mix(int32_t frames)
    {
        std::vector<int16_t> out(2 * frames, 12345);
        mixer.Mix(out.data(), frames * 4);
        Frames result;
        for (int32_t i = 0; i < frames; ++i) result.push_back(Frame(out[2 * i], out[2 * i + 1]));
        return result;
    }

    nLogCapture log;
    nOrvex engine;
    FakeQueue* device = new FakeQueue();
    nSMixMixer mixer{&engine, true, device};
};

std::vector<int16_t> Ramp(int32_t frames, int16_t step)
{
    std::vector<int16_t> v;
    for (int32_t i = 0; i < frames; ++i) v.push_back((int16_t)(i * step));
    return v;
}

struct MixCase
{
    const char* name;
    std::vector<int16_t> pcm;
    int32_t channels;
    int32_t rate;
    float pitch, gain, master, panning;
    int32_t loop;
    Frames expected;
};

// One channel alone: 1000 at unity and centre gives 1000 x 127 x 255 >> 15 = 988 per side.
TEST_F(SMixMixerTest, OneChannelMixesToWorkedValues)
{
    const std::vector<int16_t> constant(8, 1000);
    const MixCase cases[] = {
        {"centre", constant, 1, 48000, 1, 1, 1, 0.5f, 0, {{988, 988}, {988, 988}}},
        {"hard left", constant, 1, 48000, 1, 1, 1, 0.0f, 0, {{1976, 0}, {1976, 0}}},
        {"hard right", constant, 1, 48000, 1, 1, 1, 1.0f, 0, {{0, 1976}, {0, 1976}}},
        {"panning beyond the sides", constant, 1, 48000, 1, 1, 1, -3.0f, 0, {{1976, 0}}},
        {"half channel gain", constant, 1, 48000, 1, 0.5f, 1, 0.5f, 0, {{492, 492}}},
        {"half master gain, left", constant, 1, 48000, 1, 1, 0.5f, 0.0f, 0, {{988, 0}}},
        {"silent gain", constant, 1, 48000, 1, 0, 1, 0.5f, 0, {{0, 0}}},
        {"stereo", {1000, -2000, 1000, -2000, 1000, -2000}, 2, 48000, 1, 1, 1, 0.5f, 0, {{988, -1977}, {988, -1977}}},
        // 24000 Hz at pitch 1 steps half a frame: every other output frame is interpolated.
        {"half-rate step", Ramp(8, 1000), 1, 48000 / 2, 1, 1, 1, 0.5f, 0, {{0, 0}, {498, 498}, {988, 988}, {1486, 1486}, {1976, 1976}}},
        {"pitch 2 skips frames", Ramp(8, 1000), 1, 48000, 2, 1, 1, 0.5f, 0, {{0, 0}, {1976, 1976}, {3953, 3953}}},
        {"stereo at half rate", {0, 0, 1000, -1000, 2000, -2000}, 2, 24000, 1, 1, 1, 0.5f, 0, {{0, 0}, {498, -499}, {988, -989}}},
        // The last frame's partner: the first frame when looping, the last frame itself when not.
        {"loop wraps", {0, 1000}, 1, 24000, 1, 1, 1, 0.5f, 1, {{0, 0}, {498, 498}, {988, 988}, {490, 490}, {0, 0}, {498, 498}}},
        {"one-shot ends", {0, 1000}, 1, 24000, 1, 1, 1, 0.5f, 0, {{0, 0}, {498, 498}, {988, 988}, {988, 988}, {0, 0}, {0, 0}}},
        {"whole-frame loop", {100, 200, 300}, 1, 48000, 1, 1, 1, 0.0f, 1, {{197, 0}, {395, 0}, {592, 0}, {197, 0}, {395, 0}, {592, 0}, {197, 0}}},
    };
    for (const MixCase& c : cases) {
        std::unique_ptr<nSound> sound = MakeSound16(&engine, c.pcm, c.channels, c.rate);
        mixer.SetGain(c.master);
        mixer.ChannelSetPitch(5, c.pitch);
        mixer.ChannelSetGain(5, c.gain);
        mixer.ChannelSetPanning(5, c.panning);
        mixer.ChannelSetLoopMode(5, c.loop);
        ASSERT_TRUE(mixer.ChannelStart(5, sound.get())) << c.name;
        EXPECT_EQ(Mix((int32_t)c.expected.size()), c.expected) << c.name;
        mixer.ChannelStop(5);
    }
}

TEST_F(SMixMixerTest, ChannelsAddUpAndSaturate)
{
    std::unique_ptr<nSound> a = MakeConstant(&engine, 1000, 16);
    std::unique_ptr<nSound> b = MakeSound16(&engine, std::vector<int16_t>(16, -500), 1, 48000);
    ASSERT_TRUE(mixer.ChannelStart(0, a.get()));
    ASSERT_TRUE(mixer.ChannelStart(63, b.get()));
    // 988 + (-500 x 127 x 255 >> 15 = -495)
    EXPECT_EQ(Mix(2), (Frames{{493, 493}, {493, 493}}));

    // Two loud channels at hard pan would wrap around 16 bits: they stop at the limits.
    std::unique_ptr<nSound> loud = MakeConstant(&engine, 30000, 16);
    std::unique_ptr<nSound> low = MakeSound16(&engine, std::vector<int16_t>(16, -32768), 1, 48000);
    mixer.ChannelStopAll();
    mixer.ChannelSetPanning(1, 0.0f);
    mixer.ChannelSetPanning(2, 0.0f);
    mixer.ChannelSetPanning(3, 1.0f);
    mixer.ChannelSetPanning(4, 1.0f);
    mixer.ChannelSetGain(4, 4.0f);
    ASSERT_TRUE(mixer.ChannelStart(1, loud.get()));
    ASSERT_TRUE(mixer.ChannelStart(2, loud.get()));
    ASSERT_TRUE(mixer.ChannelStart(3, low.get()));
    ASSERT_TRUE(mixer.ChannelStart(4, low.get()));
    EXPECT_EQ(Mix(1), (Frames{{32767, -32768}}));
}

TEST_F(SMixMixerTest, OnlySixteenBitMonoAndStereoAreHeard)
{
    std::unique_ptr<nSound> eight = MakeSound8(&engine, std::vector<uint8_t>(64, 200), 1, 48000);
    std::unique_ptr<nSound> three = MakeSound16(&engine, std::vector<int16_t>(48, 1000), 3, 48000);
    ASSERT_TRUE(mixer.ChannelStart(0, eight.get()));
    ASSERT_TRUE(mixer.ChannelStart(1, three.get()));
    EXPECT_EQ(Mix(100), Frames(100, Frame(0, 0)));
    EXPECT_EQ(mixer.ChannelGetState(0), MixerChannelPlaying);
    EXPECT_EQ(mixer.ChannelGetState(1), MixerChannelPlaying);
}

TEST_F(SMixMixerTest, OneShotFreesItsChannelAtTheEnd)
{
    std::unique_ptr<nSound> sound = MakeConstant(&engine, 1000, 3);
    ASSERT_EQ(mixer.SoundStart(sound.get()), 0);
    EXPECT_EQ(mixer.FindFreeChannel(), 1);
    EXPECT_EQ(Mix(3), Frames(3, Frame(988, 988)));
    EXPECT_EQ(mixer.ChannelGetSound(0), nullptr);
    EXPECT_EQ(mixer.ChannelGetState(0), MixerChannelStopped);
    EXPECT_EQ(mixer.FindFreeChannel(), 0);
    EXPECT_EQ(Mix(2), Frames(2, Frame(0, 0)));
}

TEST_F(SMixMixerTest, UnknownLoopModeWarnsAndStopsAsOneShot)
{
    std::unique_ptr<nSound> sound = MakeConstant(&engine, 1000, 2);
    mixer.ChannelSetLoopMode(7, 9);
    ASSERT_TRUE(mixer.ChannelStart(7, sound.get()));
    log.Clear();
    EXPECT_EQ(Mix(3), (Frames{{988, 988}, {988, 988}, {0, 0}}));
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"[*] Unimplemented SMix channel loop mode (9).\n"}));
    EXPECT_EQ(mixer.ChannelGetSound(7), nullptr);
}

// Steps that leave the sample: a loop shorter than one step, negative, NaN and huge pitches,
// huge and NaN gains. The sanitizers watch the reads; the loop keeps its position inside.
TEST_F(SMixMixerTest, StrangeStepsAndGainsStayInsideTheSample)
{
    const float pitches[] = {-1.0f, 0.0f, 7.0f, 1e9f, std::numeric_limits<float>::infinity(),
                             std::numeric_limits<float>::quiet_NaN(), -std::numeric_limits<float>::infinity()};
    const float gains[] = {1.0f, 1e30f, -1e30f, std::numeric_limits<float>::quiet_NaN()};
    for (float pitch : pitches) {
        for (float gain : gains) {
            for (int32_t loop = 0; loop < 2; ++loop) {
                std::unique_ptr<nSound> sound = MakeSound16(&engine, {-32768, 32767, 5}, 1, 44100);
                mixer.ChannelSetPitch(2, pitch);
                mixer.ChannelSetGain(2, gain);
                mixer.ChannelSetLoopMode(2, loop);
                ASSERT_TRUE(mixer.ChannelStart(2, sound.get()));
                Mix(64);
                if (mixer.ChannelGetState(2) == MixerChannelPlaying) {
                    EXPECT_LT(mixer.GetPlayRecord(2).position >> 8, 3u) << pitch << " " << gain << " " << loop;
                }
                EXPECT_EQ(loop == 1 || !(pitch > 0.0f), mixer.ChannelGetState(2) == MixerChannelPlaying) << pitch;
                mixer.ChannelStop(2);
            }
        }
    }
    // A pitch below zero stands still on the first frame.
    std::unique_ptr<nSound> ramp = MakeSound16(&engine, Ramp(4, 1000), 1, 48000);
    mixer.ChannelSetPitch(3, -2.0f);
    mixer.ChannelSetGain(3, 1.0f);
    mixer.ChannelSetPanning(3, 0.5f);
    ASSERT_TRUE(mixer.ChannelStart(3, ramp.get()));
    EXPECT_EQ(Mix(3), Frames(3, Frame(0, 0)));
    EXPECT_EQ(mixer.ChannelGetState(3), MixerChannelPlaying);
}

// A sound that goes while channels play it leaves them: nothing reads its PCM afterwards.
TEST_F(SMixMixerTest, FreedSoundLeavesItsChannels)
{
    std::unique_ptr<nSound> sound = MakeConstant(&engine, 1000, 4800);
    ASSERT_TRUE(mixer.ChannelStart(4, sound.get()));
    ASSERT_TRUE(mixer.ChannelStart(9, sound.get()));
    Mix(10);
    sound.reset();  // the sound's destructor frees it on the current mixer
    EXPECT_EQ(mixer.ChannelGetSound(4), nullptr);
    EXPECT_EQ(mixer.ChannelGetSound(9), nullptr);
    EXPECT_EQ(mixer.ChannelGetState(4), MixerChannelStopped);
    EXPECT_EQ(Mix(10), Frames(10, Frame(0, 0)));
}

TEST_F(SMixMixerTest, StartsAndUploadsNeedAnOpenMixer)
{
    std::unique_ptr<nSound> sound = MakeConstant(&engine, 1000, 4);
    EXPECT_TRUE(mixer.UploadSample(sound.get()));
    EXPECT_EQ(sound->GetMixerData(), nullptr);  // mixing reads the PCM directly
    EXPECT_FALSE(mixer.UploadSample(nullptr));
    EXPECT_FALSE(mixer.ChannelStart(0, nullptr));
    EXPECT_FALSE(mixer.ChannelStart(64, sound.get()));
    ASSERT_TRUE(mixer.ChannelStart(0, sound.get()));
    mixer.Close();
    EXPECT_EQ(mixer.ChannelGetState(0), MixerChannelStopped);  // Close stops every channel
    EXPECT_FALSE(mixer.IsOpen());
    EXPECT_FALSE(mixer.ChannelStart(0, sound.get()));
    EXPECT_FALSE(mixer.UploadSample(sound.get()));
}

// Every channel operation of the mixer and of its interface with numbers outside 0..63.
TEST_F(SMixMixerTest, ChannelNumbersOutsideTheTableAreIgnored)
{
    std::unique_ptr<nSound> sound = MakeConstant(&engine, 1000, 4);
    for (int32_t channel : {-1, 64, INT_MIN, INT_MAX, 1000}) {
        EXPECT_FALSE(mixer.ChannelStart(channel, sound.get())) << channel;
        EXPECT_TRUE(mixer.ChannelStop(channel));
        mixer.ChannelPause(channel);
        mixer.ChannelResume(channel);
        EXPECT_EQ(mixer.ChannelGetState(channel), MixerChannelInvalid);
        mixer.ChannelSetPitch(channel, 2.0f);
        mixer.ChannelSetGain(channel, 2.0f);
        mixer.ChannelSetPanning(channel, 0.0f);
        mixer.ChannelSetLoopMode(channel, 1);
        mixer.ChannelSetLoopPosition(channel, 10);
        mixer.ChannelUpdateStream(channel);
        mixer.ChannelCloseStream(channel);
        EXPECT_FALSE(mixer.ChannelTryLock(channel));
        mixer.ChannelUnlock(channel);
        EXPECT_FALSE(mixer.ChannelIsLocked(channel));
        EXPECT_EQ(mixer.ChannelGetSound(channel), nullptr);
        EXPECT_EQ(mixer.GetChannel(channel), nullptr);
    }
    EXPECT_EQ(Mix(4), Frames(4, Frame(0, 0)));
}

// The device gets whole 16 KB buffers, at most 8 at a time counting the one being filled.
TEST_F(SMixMixerTest, DeviceIsFedWholeBuffersUpToEight)
{
    EXPECT_EQ(device->rate_, 48000);
    std::unique_ptr<nSound> sound = MakeConstant(&engine, 1000, 48000);
    mixer.ChannelSetLoopMode(0, 1);
    ASSERT_TRUE(mixer.ChannelStart(0, sound.get()));
    mixer.Update();
    EXPECT_EQ(device->buffers, 8);
    EXPECT_EQ(device->queued.size(), 8u * 16384);
    mixer.Update();
    EXPECT_EQ(device->buffers, 8);  // all eight still queued

    device->played = 16384 + 100;  // one played, part of the next
    mixer.Update();
    EXPECT_EQ(device->buffers, 9);

    // A fixed step fills one buffer by that much per Update.
    mixer.SetFixedStep(166);  // 796 frames: 3184 bytes
    EXPECT_EQ(mixer.GetFixedStep(), 3184);
    device->played = (uint32_t)device->queued.size();
    for (int32_t i = 0; i < 5; ++i) mixer.Update();
    EXPECT_EQ(device->buffers, 9);
    mixer.Update();  // 6 x 3184 > 16384: the sixth fills it up
    EXPECT_EQ(device->buffers, 10);
    // What the device got is the mix: 988 on both sides throughout.
    const int16_t* pcm = reinterpret_cast<const int16_t*>(device->queued.data());
    for (size_t i = 0; i < device->queued.size() / 2; ++i) ASSERT_EQ(pcm[i], 988) << i;
}

TEST(SMixMixerDevice, FailedDeviceFailsTheOpenWithItsReason)
{
    nLogCapture log;
    nOrvex engine;
    nSMixMixer mixer(&engine, true, new FakeQueue(false));
    EXPECT_FALSE(mixer.Open());
    EXPECT_FALSE(mixer.IsOpen());
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"[!] Failed to open the audio output device (no audio device here).\n"}));
}

TEST(SMixMixerDevice, FixedStepLogsWhenItChanges)
{
    nLogCapture log;
    nSMixMixer mixer(0, false, new FakeQueue());
    mixer.SetFixedStep(166);
    mixer.SetFixedStep(166);
    mixer.SetFixedStep(100);
    mixer.SetFixedStep(-5);
    mixer.SetFixedStep(INT_MAX);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"Fixed mixer step: 3184 bytes (step = 166).\n",
                                                     "Fixed mixer step: 1920 bytes (step = 100).\n",
                                                     "Fixed mixer step: 0 bytes (step = -5).\n",
                                                     "Fixed mixer step: 1073741824 bytes (step = 2147483647).\n"}));
}

// The platform's own device on SDL's dummy driver, and a driver that does not exist.
TEST(SMixMixerDevice, PlatformDeviceOnTheDummyDriver)
{
    nLogCapture log;
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    {
        nSMixMixer mixer(0, false);
        ASSERT_TRUE(mixer.Open()) << log.Text();
        std::unique_ptr<nSound> sound = MakeConstant(0, 1000, 4800);
        ASSERT_TRUE(mixer.ChannelStart(0, sound.get()));
        mixer.Update();
        mixer.Close();
    }
    EXPECT_EQ(log.Text(), "");
}

}
