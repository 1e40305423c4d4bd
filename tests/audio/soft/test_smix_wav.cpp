// The software mixer's capture: the WAV file written in fixed steps, read back by SDL's own WAV
// reader and compared with the same mix made directly, and a capture without any audio device.
#include "audio/soft/nSMixMixer.h"

#include <gtest/gtest.h>

#include <SDL.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "hub/nOrvex.h"
#include "platform/nAudioQueue.h"
#include "tests/audio/nTestSounds.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nTempDir.h"

namespace {

// A device that never opens: the capture must not need it.
class NoDevice : public nAudioQueue
{
public:
    bool Open(int32_t) override
    {
        ++opens;
        m_error = "no device";
        return false;
    }
    int32_t opens = 0;
};

uint32_t U32(const std::string& bytes, size_t at)
{
    uint32_t v = 0;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
}

// The same channels on a mixer: a looping stereo sound on the left, a one-shot on the right.
struct Scene
{
    explicit Scene(nSMixMixer& mixer)
        : music(MakeSound16(0, {1000, -1000, 3000, -3000, 5000, -5000, 7000, -7000, 30000, -30000}, 2, 44100)),
          thump(MakeSound16(0, std::vector<int16_t>(3000, 20000), 1, 22050))
    {
        mixer.ChannelSetLoopMode(3, 1);
        mixer.ChannelSetPanning(3, 0.2f);
        mixer.ChannelSetPitch(3, 1.3f);
        mixer.ChannelSetPanning(40, 1.0f);
        mixer.ChannelSetGain(40, 0.7f);
        mixer.ChannelStart(3, music.get());
        mixer.ChannelStart(40, thump.get());
    }
    std::unique_ptr<nSound> music, thump;
};

TEST(SMixMixerWav, CaptureIsTheMixInFixedSteps)
{
    nLogCapture log;
    nTempDir dir;
    const std::string path = dir.Path("out.wav");
    const int32_t updates = 10;
    {
        NoDevice* device = new NoDevice();
        nSMixMixer mixer(0, false, device);
        ASSERT_TRUE(mixer.OpenWavFile(path.c_str()));
        ASSERT_TRUE(mixer.Open());
        EXPECT_EQ(device->opens, 0);
        EXPECT_TRUE(mixer.IsWritingWav());
        Scene scene(mixer);
        mixer.SetFixedStep(100);  // 480 frames, 1920 bytes per Update
        for (int32_t i = 0; i < updates; ++i) mixer.Update();
        mixer.Close();
        EXPECT_FALSE(mixer.IsWritingWav());
    }
    const uint32_t n = updates * 1920;
    const std::string file = dir.Read("out.wav");
    ASSERT_EQ(file.size(), n + 44);
    EXPECT_EQ(file.substr(0, 4), "RIFF");
    EXPECT_EQ(U32(file, 4), n + 36);
    EXPECT_EQ(file.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(file.substr(36, 4), "data");
    EXPECT_EQ(U32(file, 40), n);

    // SDL's reader: 48000 Hz, 16-bit signed, stereo, and the PCM of the same mix made directly.
    SDL_AudioSpec format;
    Uint8* pcm = 0;
    Uint32 length = 0;
    ASSERT_NE(SDL_LoadWAV(path.c_str(), &format, &pcm, &length), nullptr) << SDL_GetError();
    EXPECT_EQ(format.freq, 48000);
    EXPECT_EQ(format.format, AUDIO_S16LSB);
    EXPECT_EQ(format.channels, 2);
    ASSERT_EQ(length, n);
    std::vector<int16_t> read(n / 2);
    std::memcpy(read.data(), pcm, n);
    SDL_FreeWAV(pcm);

    nSMixMixer direct(0, false, new NoDevice());
    ASSERT_TRUE(direct.OpenWavFile(dir.Path("unused.wav").c_str()));
    ASSERT_TRUE(direct.Open());
    Scene scene(direct);
    std::vector<int16_t> expected(n / 2);
    direct.Mix(expected.data(), (int32_t)n);
    EXPECT_EQ(read, expected);
    size_t loud = 0;
    for (int16_t v : read) loud += v != 0;
    EXPECT_GT(loud, read.size() / 2);  // the music plays throughout
}

TEST(SMixMixerWav, WithoutStepEachUpdateWrites16KAndAFrameOfNoTimeNothing)
{
    nTempDir dir;
    nSMixMixer mixer(0, false, new NoDevice());
    ASSERT_TRUE(mixer.OpenWavFile(dir.Path("a.wav").c_str()));
    ASSERT_TRUE(mixer.Open());
    mixer.Update();
    mixer.Update();
    EXPECT_EQ(mixer.GetWavDataBytes(), 2 * 16384);
    // A frame of no time (a paused game) adds no sound to the capture.
    mixer.SetFixedStep(0);
    mixer.Update();
    EXPECT_EQ(mixer.GetWavDataBytes(), 2 * 16384);
}

// The destructor finishes a capture that was never closed: the sizes are in the header.
TEST(SMixMixerWav, DestructorFinishesTheHeader)
{
    nTempDir dir;
    {
        nSMixMixer mixer(0, false, new NoDevice());
        ASSERT_TRUE(mixer.OpenWavFile(dir.Path("b.wav").c_str()));
        ASSERT_TRUE(mixer.Open());
        mixer.SetFixedStep(10);
        mixer.Update();
    }
    const std::string file = dir.Read("b.wav");
    ASSERT_EQ(file.size(), 44u + 192);
    EXPECT_EQ(U32(file, 40), 192u);
}

TEST(SMixMixerWav, UnwritableFileIsOneError)
{
    nLogCapture log;
    nSMixMixer mixer(0, false, new NoDevice());
    EXPECT_FALSE(mixer.OpenWavFile("/nonexistent-dir/x.wav"));
    EXPECT_FALSE(mixer.IsWritingWav());
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"[!] Failed to open WAV file '/nonexistent-dir/x.wav'.\n"}));
}

}
