// The Mixer functions through real Squirrel, on the software mixer (with a device of the test's
// own) as the engine's current mixer and g_mixer, playing sounds the engine loaded through its
// resource cache: registration, channels started, set and stopped, locks, streams that cannot
// open, the master gain and mute, and the sweep of wrong kinds, null objects and channel numbers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include <cstring>
#include <string>
#include <vector>

#include "audio/soft/nSMixMixer.h"
#include "core/nIO.h"
#include "platform/nAudioQueue.h"
#include "resources/nResourceCache.h"
#include "resources/nResourceLoader.h"
#include "resources/nSound.h"
#include "script/nCObject.h"
#include "tests/scriptapi/nScriptAPITestKit.h"
#include "tests/support/nMLTestSupport.h"

namespace {

class OpenDevice : public nAudioQueue
{
public:
    bool Open(int32_t) override
    {
        m_device = 1;
        return true;
    }
    void Close() override { m_device = 0; }
    bool Queue(const void*, uint32_t) override { return true; }
    uint32_t GetQueuedBytes() const override { return 0; }
};

// A RIFF/WAVE file of 16-bit mono PCM at 48000 Hz.
std::string Wav(const std::vector<int16_t>& pcm)
{
    std::string s;
    auto u32 = [&](uint32_t v) { s.append(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { s.append(reinterpret_cast<const char*>(&v), 2); };
    const uint32_t bytes = (uint32_t)pcm.size() * 2;
    s += "RIFF";
    u32(36 + bytes);
    s += "WAVEfmt ";
    u32(16);
    u16(1);
    u16(1);
    u32(48000);
    u32(96000);
    u16(2);
    u16(16);
    s += "data";
    u32(bytes);
    s.append(reinterpret_cast<const char*>(pcm.data()), bytes);
    return s;
}

class MixerAPI : public nScriptAPITest
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(nScriptAPITest::SetUp());
        previousFS = nIO::SetCurrentFS(reinterpret_cast<nIOBaseFS*>(nIO::GetMemoryFS()));
        engine.SetResourceCache(&cache);
        ASSERT_TRUE(mixer.Open());
        ASSERT_EQ(engine.GetMixer(), &mixer);
        ASSERT_TRUE(nMLPutMemoryFile("sfx/beep.wav", Wav(std::vector<int16_t>(4800, 1000))));
        beep = LoadSound(&engine, "sfx/beep.wav");
        ASSERT_TRUE(beep && beep->GetSamples().GetCount() == 4800);
        Hold("engine", &engine, objectTypeEngine);
        Hold("g_mixer", &mixer, objectTypeMixer);
        Hold("beep", beep, objectTypeSound);
        Hold("nullMixer", 0, objectTypeMixer);
        Hold("nullSound", 0, objectTypeSound);
        log.Clear();
    }
    void TearDown() override
    {
        nScriptAPITest::TearDown();
        cache.Clear();
        engine.SetResourceCache(nullptr);
        nIO::SetCurrentFS(previousFS);
    }

    // One output frame of the mix (left, right).
    std::pair<int, int> MixFrame()
    {
        int16_t out[2];
        mixer.Mix(out, 4);
        return {out[0], out[1]};
    }

    nIOBaseFS* previousFS = 0;
    nResourceCache cache;
    nSMixMixer mixer{&engine, true, new OpenDevice()};
    nSound* beep = 0;
};

TEST_F(MixerAPI, RegistersEveryFunctionAndConstant)
{
    ExpectFunctions({{"EngineGetMixer", 2}, {"MixerChannelGetState", 3}, {"MixerChannelTryLock", 3}, {"MixerChannelLock", 2}, {"MixerChannelStop", 3}, {"MixerChannelPause", 3}, {"MixerChannelResume", 3}, {"MixerChannelStopAll", 2}, {"MixerChannelUnlock", 3}, {"MixerChannelUnlockAll", 2}, {"MixerSetGain", 3}, {"MixerChannelLockAndStream", 4}, {"MixerSoundStart", 3}, {"MixerStreamStart", 3}, {"MixerMute", 2}, {"MixerUnmute", 2}, {"MixerUpdate", 2}, {"MixerChannelGetSound", 3}, {"MixerChannelStart", 4}, {"MixerChannelStartStream", 4}, {"MixerChannelSetGain", 4}, {"MixerChannelSetPitch", 4}, {"MixerChannelSetPanning", 4}, {"MixerChannelSetLoopMode", 4}, {"MixerChannelSetLoopPosition", 4}});
    ExpectEvals({{"LoopNone", "0"}, {"LoopRepeat", "1"}, {"ChannelStateInvalid", "0"}, {"ChannelStateStopped", "1"}, {"ChannelStatePlaying", "2"}, {"ChannelStatePaused", "3"}, {"MixerChannelInvalid", "-1"}, {"MixerMaxChannel", "64"}});
}

TEST_F(MixerAPI, ScriptsPlaySoundsOnChannels)
{
    ExpectEvals({
        {"ObjectIsSame(EngineGetMixer(engine), g_mixer)", "true"},
        {"MixerChannelGetState(g_mixer, 0)", "1"},
        {"MixerSoundStart(g_mixer, beep)", "0"},
        {"MixerChannelGetState(g_mixer, 0)", "2"},
        {"ObjectIsSame(MixerChannelGetSound(g_mixer, 0), beep)", "true"},
        {"MixerChannelStart(g_mixer, 10, beep)", "true"},
        {"MixerChannelStart(g_mixer, 64, beep)", "false"},
    });
    // The channel's settings reach the mix: 1000 at half gain, hard left, is 988.
    Exec("MixerChannelSetGain(g_mixer, 10, 0.5); MixerChannelSetPanning(g_mixer, 10, 0.0);"
         "MixerChannelSetPitch(g_mixer, 10, 2); MixerChannelSetLoopMode(g_mixer, 10, LoopRepeat);"
         "MixerChannelSetLoopPosition(g_mixer, 10, 250); MixerChannelStop(g_mixer, 0)");
    const nMixerChannel* c = mixer.GetChannel(10);
    EXPECT_EQ(c->gain, 0.5f);
    EXPECT_EQ(c->panning, 0.0f);
    EXPECT_EQ(c->pitch, 2.0f);
    EXPECT_EQ(c->loopMode, MixerLoopRepeat);
    EXPECT_EQ(c->loopPosition, 250);
    EXPECT_EQ(MixFrame(), std::make_pair(988, 0));
    EXPECT_EQ(mixer.GetPlayRecord(10).position, 512u);  // pitch 2
    ExpectEvals({
        {"MixerChannelGetState(g_mixer, 0)", "1"},
        {"MixerChannelPause(g_mixer, 10)", "null"},
        {"MixerChannelResume(g_mixer, 10)", "null"},
        {"MixerChannelStopAll(g_mixer)", "null"},
        {"MixerChannelGetState(g_mixer, 10)", "1"},
        {"MixerUpdate(g_mixer)", "null"},
    });
    // A channel that never played gives a null Sound object, not a script null.
    ExpectEvals({{"typeof MixerChannelGetSound(g_mixer, 40)", "instance"},
                 {"ObjectIsValid(MixerChannelGetSound(g_mixer, 40))", "false"}});
}

TEST_F(MixerAPI, MasterGainAndMute)
{
    Exec("MixerSetGain(g_mixer, 0.25)");
    EXPECT_EQ(mixer.GetGain(), 0.25f);
    Exec("MixerMute(g_mixer)");
    EXPECT_EQ(mixer.GetGain(), 0.0f);
    EXPECT_TRUE(mixer.IsMuted());
    Exec("MixerUnmute(g_mixer)");
    EXPECT_EQ(mixer.GetGain(), 0.25f);
    Exec("MixerSetGain(g_mixer, 1)");  // an integer is a number too
    EXPECT_EQ(mixer.GetGain(), 1.0f);
}

TEST_F(MixerAPI, LocksAndStreams)
{
    ExpectEvals({
        {"MixerChannelTryLock(g_mixer, 3)", "true"},
        {"MixerChannelTryLock(g_mixer, 3)", "false"},
        {"MixerChannelLockAndStream(g_mixer, 3, \"music.ogg\")", "false"},
        {"MixerChannelLock(g_mixer)", "0"},
        {"MixerChannelUnlock(g_mixer, 0)", "null"},
    });
    EXPECT_EQ(log.Text(), "");  // the locked channel started nothing
    // A stream that cannot open: -1 or false, one line each, and the channel is given back.
    ExpectEvals({
        {"MixerStreamStart(g_mixer, \"music.ogg\")", "-1"},
        {"MixerChannelStartStream(g_mixer, 5, \"music.ogg\")", "false"},
        {"MixerChannelLockAndStream(g_mixer, 4, \"music.ogg\")", "false"},
        {"MixerChannelTryLock(g_mixer, 4)", "true"},
    });
    const Lines failed = {"Allocate 32kb ring buffer (8*4096 bytes)\n", "[H] Opening stream 'music.ogg'.\n",
                          "[!] File 'music.ogg' does not exist.\n", "Stream interface decoder thread joined.\n",
                          "[!] Failed to open content stream.\n"};
    Lines expected;
    for (int i = 0; i < 3; ++i) expected.insert(expected.end(), failed.begin(), failed.end());
    EXPECT_EQ(log.Lines(), expected);
    Exec("MixerChannelUnlockAll(g_mixer)");
    EXPECT_FALSE(mixer.ChannelIsLocked(3));
    EXPECT_FALSE(mixer.ChannelIsLocked(4));
}

// A real Ogg stream through the functions: it starts on a free channel, on a locked one, and
// stopping the channel ends it (and its decoder thread).
TEST_F(MixerAPI, ScriptsStreamMusicOnChannels)
{
    const char* root = std::getenv("QZ_TEST_DATA");
    std::ifstream in(std::string(root ? root : ".") + "/../audio/streams/data/mono22k.ogg", std::ios::binary);
    const std::string ogg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(ogg.size(), 1000u);
    ASSERT_TRUE(nMLPutMemoryFile("music/theme.ogg", ogg));
    ExpectEvals({
        {"MixerStreamStart(g_mixer, \"music/theme.ogg\")", "0"},
        {"MixerChannelLockAndStream(g_mixer, 5, \"music/theme.ogg\")", "true"},
        {"MixerChannelStartStream(g_mixer, 6, \"music/theme.ogg\")", "true"},
        {"MixerChannelStartStream(g_mixer, 6, \"music/theme.ogg\")", "true"},  // replaces the stream
    });
    EXPECT_NE(mixer.GetChannel(0)->stream, nullptr);
    EXPECT_NE(mixer.GetChannel(5)->stream, nullptr);
    EXPECT_TRUE(mixer.ChannelIsLocked(5));
    EXPECT_EQ(Eval("MixerChannelLock(g_mixer)"), "1");  // streaming channels are not free
    Exec("MixerChannelStop(g_mixer, 0); MixerChannelStop(g_mixer, 5); MixerChannelStop(g_mixer, 6)");
    EXPECT_EQ(mixer.GetChannel(0)->stream, nullptr);
    EXPECT_EQ(mixer.GetChannel(5)->stream, nullptr);
    int joined = 0;
    for (const std::string& line : log.Lines()) joined += line == "Stream interface decoder thread joined.\n";
    EXPECT_EQ(joined, 4);
}

// With every channel locked a start gives -1, which the setters then pass over safely.
TEST_F(MixerAPI, FailedStartGivesAChannelTheSettersSkip)
{
    Exec("for (local i = 0; i < MixerMaxChannel; i++) MixerChannelLock(g_mixer)");
    log.Clear();
    EXPECT_EQ(Eval("MixerSoundStart(g_mixer, beep)"), "-1");
    EXPECT_EQ(Eval("MixerChannelLock(g_mixer)"), "-1");
    EXPECT_EQ(log.Lines(), (Lines{"[!] All channels in use.\n", "[!] All channels in use.\n"}));
    Exec("local ch = MixerSoundStart(g_mixer, beep); MixerChannelSetGain(g_mixer, ch, 0.5);"
         "MixerChannelSetPitch(g_mixer, ch, 3); MixerChannelSetPanning(g_mixer, ch, 0);"
         "MixerChannelSetLoopMode(g_mixer, ch, 1); MixerChannelSetLoopPosition(g_mixer, ch, 9)");
    for (int32_t i = 0; i < kMixerChannelCount; ++i) EXPECT_EQ(mixer.GetChannel(i)->gain, 1.0f) << i;
}

// Wrong kinds and null objects raise their errors; numbers outside 0..63, also beyond 32 bits,
// reach no channel. The sanitizers watch the calls.
TEST_F(MixerAPI, SweepOfKindsNullsAndChannelNumbers)
{
    ExpectRuns({
        {"MixerChannelGetState(beep, 0)", "Expected 'Mixer' got 'Sound'"},
        {"MixerChannelGetState(nullMixer, 0)", "CObject is null"},
        {"MixerSoundStart(g_mixer, nullSound)", "CObject is null"},
        {"MixerSoundStart(g_mixer, g_mixer)", "Expected 'Sound' got 'Mixer'"},
        {"MixerChannelStart(g_mixer, 1, nullSound)", "CObject is null"},
        {"MixerChannelStart(g_mixer, 1, Vector(1, 2, 3))", "invalid type tag"},
        {"EngineGetMixer(g_mixer)", "Expected 'Engine' got 'Mixer'"},
        {"MixerSetGain(g_mixer)", "wrong number of parameters"},
        {"MixerChannelSetGain(g_mixer, 1.5, 0.5)", "parameter 2 has an invalid type 'float' ; expected: 'integer'"},
        {"MixerMute(nullMixer)", "CObject is null"},
    });
    const char* channels[] = {"-1", "64", "-2147483648", "2147483647", "2147483648", "4294967296",
                              "4294967297", "-9223372036854775807 - 1", "1000"};
    const char* calls[] = {
        "MixerChannelGetState(g_mixer, %c)",
        "MixerChannelTryLock(g_mixer, %c)",
        "MixerChannelStop(g_mixer, %c)",
        "MixerChannelPause(g_mixer, %c)",
        "MixerChannelResume(g_mixer, %c)",
        "MixerChannelUnlock(g_mixer, %c)",
        "MixerChannelLockAndStream(g_mixer, %c, \"x.ogg\")",
        "MixerChannelGetSound(g_mixer, %c)",
        "MixerChannelStart(g_mixer, %c, beep)",
        "MixerChannelStartStream(g_mixer, %c, \"x.ogg\")",
        "MixerChannelSetGain(g_mixer, %c, 9.0)",
        "MixerChannelSetPitch(g_mixer, %c, 9.0)",
        "MixerChannelSetPanning(g_mixer, %c, 9.0)",
        "MixerChannelSetLoopMode(g_mixer, %c, 1)",
        "MixerChannelSetLoopPosition(g_mixer, %c, 9)",
    };
    for (const char* channel : channels) {
        for (std::string call : calls) {
            call.replace(call.find("%c"), 2, channel);
            EXPECT_EQ(Run(call), "") << call;
        }
    }
    for (int32_t i = 0; i < kMixerChannelCount; ++i) {
        const nMixerChannel* c = mixer.GetChannel(i);
        EXPECT_TRUE(c->gain == 1.0f && c->pitch == 1.0f && c->panning == 0.5f && c->loopMode == 0 &&
                    c->loopPosition == 0 && !c->lock && !c->sound)
            << i;
        EXPECT_EQ(mixer.ChannelGetState(i), MixerChannelStopped) << i;
    }
    EXPECT_EQ(Eval("MixerChannelGetState(g_mixer, 64)"), "0");
    EXPECT_EQ(Eval("MixerChannelStart(g_mixer, 4294967296, beep)"), "false");
}

}
