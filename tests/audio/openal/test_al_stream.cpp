// Streamed channels on the OpenAL mixer, on OpenAL Soft's null back-end: an Ogg stream queued
// in 2048-byte buffers plays to its end and is released once; the buffer stack and the queue
// always account for all 16 buffers; a source that ran dry plays again on the next refill;
// looping goes on past the end; a streaming channel never loops its source.
#include "audio/openal/nALMixer.h"

#include <gtest/gtest.h>

#include <AL/al.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "audio/mixer/nMixerStreamInterface.h"
#include "tests/support/nLogCapture.h"

namespace {

const std::string kMono = std::string(QZ_STREAM_DATA) + "/mono22k.ogg";  // 2 s at 22050 Hz

class ALStreamTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setenv("ALSOFT_DRIVERS", "null", 1);
        ASSERT_TRUE(mixer.Open()) << log.Text();
        log.Clear();
    }
    ALint Queued(int32_t channel)
    {
        ALint v = -1;
        alGetSourcei(mixer.GetSource(channel), AL_BUFFERS_QUEUED, &v);
        return v;
    }
    int Count(const std::string& line)
    {
        int n = 0;
        for (const std::string& l : log.Lines()) n += l == line;
        return n;
    }

    nLogCapture log;
    nALMixer mixer{0, false};
};

TEST_F(ALStreamTest, AStreamPlaysToItsEndAndIsReleasedOnce)
{
    const int32_t channel = mixer.StreamStart(kMono.c_str());
    ASSERT_EQ(channel, 0) << log.Text();
    ASSERT_TRUE(mixer.IsStreaming(channel));
    bool played = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (Count("[|] Release stream interface.\n") == 0) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the stream never ended";
        mixer.Update();
        if (mixer.IsStreaming(channel)) {
            const nALStreamRecord* r = mixer.GetStreamRecord(channel);
            ASSERT_EQ(r->freeCount + Queued(channel), kALStreamBuffers);
            ASSERT_GE(r->stackIndex, 0);
            ASSERT_LT(r->stackIndex, kALStreamBuffers);
        }
        played |= mixer.ChannelGetState(channel) == MixerChannelPlaying;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(played);
    EXPECT_FALSE(mixer.IsStreaming(channel));
    for (int i = 0; i < 10; ++i) mixer.Update();
    EXPECT_EQ(Count("[|] Release stream interface.\n"), 1);
    EXPECT_NE(mixer.GetChannel(channel)->stream, nullptr);  // occupied until stopped
    EXPECT_NE(mixer.FindFreeChannel(), channel);
    EXPECT_TRUE(mixer.ChannelStop(channel));
    EXPECT_EQ(mixer.GetChannel(channel)->stream, nullptr);
    EXPECT_EQ(mixer.FindFreeChannel(), channel);
}

TEST_F(ALStreamTest, ASourceThatRanDryPlaysAgainOnTheNextRefill)
{
    const int32_t channel = mixer.StreamStart(kMono.c_str());
    ASSERT_GE(channel, 0);
    mixer.Update();
    ASSERT_EQ(mixer.ChannelGetState(channel), MixerChannelPlaying);
    // No update while the queue (about 0.37 s) plays out; the decoder refills the ring meanwhile.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (mixer.ChannelGetState(channel) != MixerChannelStopped) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    mixer.Update();
    EXPECT_EQ(mixer.ChannelGetState(channel), MixerChannelPlaying);
    EXPECT_GT(Queued(channel), 0);
    mixer.ChannelStop(channel);
}

TEST_F(ALStreamTest, ALoopingStreamGoesOnAndItsSourceNeverLoops)
{
    const int32_t channel = mixer.StreamStart(kMono.c_str());
    ASSERT_GE(channel, 0);
    mixer.ChannelSetLoopMode(channel, MixerLoopRepeat);
    ALint looping = -1;
    alGetSourcei(mixer.GetSource(channel), AL_LOOPING, &looping);
    EXPECT_EQ(looping, AL_FALSE);
    // Past the 2 s of the file.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(3000);
    while (std::chrono::steady_clock::now() < until) {
        mixer.Update();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_FALSE(mixer.GetChannel(channel)->stream->IsFinished());
    EXPECT_EQ(Count("[|] Release stream interface.\n"), 0);
    EXPECT_EQ(mixer.ChannelGetState(channel), MixerChannelPlaying);
    mixer.Close();
    EXPECT_EQ(Count("Stream interface decoder thread joined.\n"), 1);
}

}
