// The player application object: command-line parsing, start-up on the null devices, the exit
// conditions of the frame loop and the file-system state it leaves behind.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/soft/nSMixMixer.h"
#include "core/nIO.h"
#include "core/nIOArchiveFS.h"
#include "core/nLog.h"
#include "core/nString.h"
#include "engine/player/nPlayerApp.h"
#include "platform/nPlatformInput.h"
#include "core/nScriptValue.h"
#include "render/nRenderer.h"
#include "scene/nScene.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nTempDir.h"

namespace {

typedef std::vector<std::string> Lines;

// argv of a command line "player <arguments...>".
class CommandLine
{
public:
    explicit CommandLine(std::vector<std::string> arguments) : m_strings(std::move(arguments))
    {
        m_strings.insert(m_strings.begin(), "player");
        for (std::string& s : m_strings) m_argv.push_back(&s[0]);
        m_argv.push_back(nullptr);
    }
    int argc() const { return (int)m_strings.size(); }
    char** argv() { return m_argv.data(); }

private:
    std::vector<std::string> m_strings;
    std::vector<char*> m_argv;
};

// Parses and returns the log lines; the log mask is restored afterwards.
Lines Parse(nPlayerApp& app, std::vector<std::string> arguments, bool* ok)
{
    CommandLine line(std::move(arguments));
    nLogCapture log;
    *ok = app.ParseCommandLine(line.argc(), line.argv());
    Lines lines = log.Lines();
    g_log->SetMask(LogLevelAll);
    return lines;
}

class PlayerCommandLine : public ::testing::Test
{
protected:
    nPlayerApp app;
};

TEST_F(PlayerCommandLine, DefaultsWithAnInputOnly)
{
    bool ok;
    EXPECT_TRUE(Parse(app, {"level.nms"}, &ok).empty());
    EXPECT_TRUE(ok);
    EXPECT_STREQ(app.GetInputFile().GetCStr(), "level.nms");
    EXPECT_EQ(app.GetViewMode(), PlayerViewModeScene);
    EXPECT_EQ(app.GetDataSource(), PlayerDataSourceFileSystem);
    EXPECT_STREQ(app.GetDataRoot().GetCStr(), "./");
    EXPECT_STREQ(app.GetRendererId().GetCStr(), "gl2");
    EXPECT_STREQ(app.GetMixerId().GetCStr(), "al");
    EXPECT_TRUE(app.GetConfigPath().IsEmpty());
    EXPECT_EQ(app.GetTimeToLive(), 0);
    EXPECT_EQ(app.GetWidth(), 800);
    EXPECT_EQ(app.GetHeight(), 600);
}

TEST_F(PlayerCommandLine, EveryOptionWithItsArguments)
{
    bool ok;
    EXPECT_TRUE(Parse(app, {"-game.ngp", "-P", "-time_live", "12", "-C", "my.cfg", "-A", "data.qza", "-f", "root/", "-r", "none", "-m", "file", "out.wav", "-S", "a", "-S", "a", "-I", "x.nut", "-I", "y.nut", "-Ds", "s", "some text", "-Di", "i", "42", "-Df", "f", "5.5", "-ignore_esc", "-ignore_missing", "-ignore_bootstrap", "-fallback_disk_fs", "-safe_mode", "-enable_profiler"}, &ok).empty());
    ASSERT_TRUE(ok);
    EXPECT_STREQ(app.GetInputFile().GetCStr(), "-game.ngp");  // the first argument, whatever it looks like
    EXPECT_EQ(app.GetViewMode(), PlayerViewModeProject);
    EXPECT_EQ(app.GetTimeToLive(), 12);
    EXPECT_STREQ(app.GetConfigPath().GetCStr(), "my.cfg");
    EXPECT_STREQ(app.GetDataRoot().GetCStr(), "root/");  // -f keeps the archive source of -A
    EXPECT_EQ(app.GetDataSource(), PlayerDataSourceArchive);
    EXPECT_STREQ(app.GetRendererId().GetCStr(), "none");
    EXPECT_STREQ(app.GetMixerId().GetCStr(), "file");
    EXPECT_STREQ(app.GetMixerOutputFile().GetCStr(), "out.wav");
    EXPECT_EQ(app.GetSearchPaths().GetCount(), 2);  // duplicates kept
    ASSERT_EQ(app.GetIncludes().GetCount(), 2);
    EXPECT_STREQ(app.GetIncludes().GetAt(1).GetCStr(), "y.nut");
    EXPECT_TRUE(app.GetIgnoreEscape());
    EXPECT_TRUE(app.GetIgnoreMissing());
    EXPECT_TRUE(app.GetIgnoreBootstrap());
    EXPECT_TRUE(app.GetFallbackDiskFS());
    EXPECT_TRUE(app.GetSafeMode());
    EXPECT_TRUE(app.GetProfilerEnabled());

    ASSERT_EQ(app.GetDefines().GetCount(), 3);
    const nVariant* s = app.GetDefines().GetAt(0);
    const nVariant* i = app.GetDefines().GetAt(1);
    const nVariant* f = app.GetDefines().GetAt(2);
    const char* text = nullptr;
    int32_t number = 0;
    float real = 0.0f;
    EXPECT_TRUE(s->GetName() == "s");
    EXPECT_TRUE(s->GetString(&text));
    EXPECT_STREQ(text, "some text");
    EXPECT_TRUE(i->GetName() == "i");
    EXPECT_TRUE(i->GetInt(&number));
    EXPECT_EQ(number, 42);
    EXPECT_TRUE(f->GetName() == "f");
    EXPECT_TRUE(f->GetFloat(&real));
    EXPECT_FLOAT_EQ(real, 5.5f);
}

TEST_F(PlayerCommandLine, LaterOptionsOverwriteAndNumbersReadLikeAtoi)
{
    bool ok;
    Parse(app, {"in.nms", "-r", "list", "-r", "none", "-time_live", "9", "-time_live", "3x", "-Di", "n", "7.9"}, &ok);
    ASSERT_TRUE(ok);
    EXPECT_STREQ(app.GetRendererId().GetCStr(), "none");
    EXPECT_EQ(app.GetTimeToLive(), 3);
    int32_t n = 0;
    EXPECT_TRUE(app.GetDefines().GetAt(0)->GetInt(&n));
    EXPECT_EQ(n, 7);
}

TEST_F(PlayerCommandLine, BadCommandLinesGiveOneErrorLine)
{
    struct Case
    {
        std::vector<std::string> arguments;
        const char* line;
    };
    const Case cases[] = {
        {{"in", "-Z"}, "[!] Unknown command line parameter '-Z'\n"},
        {{"-P", "game.ngp"}, "[!] Unknown command line parameter 'game.ngp'\n"},
        {{"in", "-d", "4000"}, "[!] Unknown command line parameter '-d'\n"},
        {{"in", "-time_live"}, "[!] -time_live: Missing mask.\n"},
        {{"in", "-log_level"}, "[!] -log_level: Missing mask.\n"},
        {{"in", "-C"}, "[!] -C: Missing configuration file path.\n"},
        {{"in", "-f"}, "[!] -f: Missing root path.\n"},
        {{"in", "-A"}, "[!] -A: Missing archive path.\n"},
        {{"in", "-r"}, "[!] -r: Missing renderer id.\n"},
        {{"in", "-m"}, "[!] -m: Missing mixer id.\n"},
        {{"in", "-m", "file"}, "[!] -m: Missing mixer output file.\n"},
        {{"in", "-S"}, "[!] -S: Missing search path.\n"},
        {{"in", "-I"}, "[!] -I: Missing include path.\n"},
        {{"in", "-Ds"}, "[!] -Ds: Incomplete key-value pair. (eg. -Ds my_var \"String Value\")\n"},
        {{"in", "-Ds", "name"}, "[!] -Ds: Incomplete key-value pair. (eg. -Ds my_var \"String Value\")\n"},
        {{"in", "-Di", "name"}, "[!] -Di: Incomplete key-value pair. (eg. -Di my_var 5)\n"},
        {{"in", "-Df", "name"}, "[!] -Df: Incomplete key-value pair. (eg. -Df my_var 5.5)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        nPlayerApp fresh;
        bool ok = true;
        EXPECT_EQ(Parse(fresh, c.arguments, &ok), Lines{c.line});
        EXPECT_FALSE(ok);
    }
}

TEST_F(PlayerCommandLine, LogLevelMask)
{
    struct Case
    {
        const char* letters;
        uint8_t mask;
    };
    const Case cases[] = {{"!S*", 28}, {"an", 0}, {"xyz", 0}, {"s", 1}, {"H", 2}, {"na!", 0xff}, {"Hs", 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.letters);
        nPlayerApp fresh;
        CommandLine line({"in", "-log_level", c.letters});
        ASSERT_TRUE(fresh.ParseCommandLine(line.argc(), line.argv()));
        EXPECT_EQ(g_log->GetMask(), c.mask);
        g_log->SetMask(LogLevelAll);
    }
}

// A derived player that accepts one option of its own.
class ExtendedPlayer : public nPlayerApp
{
public:
    bool ParseExtraOption(int argc, char** argv, int index) override
    {
        seen = argv[index];
        return seen == "-extra";
    }
    std::string seen;
};

TEST(PlayerExtraOption, UnrecognisedArgumentsAreOfferedToTheDerivedPlayer)
{
    ExtendedPlayer app;
    bool ok;
    EXPECT_TRUE(Parse(app, {"in", "-extra"}, &ok).empty());
    EXPECT_TRUE(ok);
    EXPECT_EQ(Parse(app, {"in", "-other"}, &ok), Lines{"[!] Unknown command line parameter '-other'\n"});
    EXPECT_EQ(app.seen, "-other");
}

// The frame loop on the null devices, without a scene.
nClockTicks g_ticks = 0;
nClockTicks FakeTicks() { return g_ticks; }

class PlayerFrame : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_ticks = 0;
        app.Init();
        app.SetClock(FakeTicks);
        log.Clear();
    }
    void TearDown() override { nPlatform::ClearInjectedKeys(); }

    void Options(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), "none.nms");
        CommandLine line(arguments);
        ASSERT_TRUE(app.ParseCommandLine(line.argc(), line.argv()));
    }

    nLogCapture log;
    nPlayerApp app;
};

TEST_F(PlayerFrame, NothingStopsAPlainFrame)
{
    EXPECT_TRUE(app.Frame());
    EXPECT_FALSE(app.HasFailed());
    EXPECT_EQ(app.GetEngine().GetDrawNesting(), 0u);
}

TEST_F(PlayerFrame, TimeToLiveExpiresStrictlyAfterItsTicks)
{
    struct Case
    {
        int seconds;
        nClockTicks now;
        bool goesOn;
    };
    const Case cases[] = {
        {0, 4000000000ull, true},  // no limit
        {5, 50000, true},
        {5, 50001, false},
        {300000, 2000000000ull, true},  // 3e9 ticks do not fit 32 bits
        {300000, 3000000001ull, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        nPlayerApp fresh;
        fresh.SetClock(FakeTicks);
        CommandLine line({"none.nms", "-time_live", std::to_string(c.seconds)});
        ASSERT_TRUE(fresh.ParseCommandLine(line.argc(), line.argv()));
        g_ticks = c.now;
        EXPECT_EQ(fresh.Frame(), c.goesOn);
        EXPECT_FALSE(fresh.HasFailed());
    }
}

TEST_F(PlayerFrame, EscapeEndsTheRunUnlessIgnored)
{
    nPlatform::InjectKeyState(PlatformKeyEscape, true);
    EXPECT_FALSE(app.Frame());
    EXPECT_FALSE(app.HasFailed());
    Options({"-ignore_esc"});
    EXPECT_TRUE(app.Frame());
    nPlatform::InjectKeyState(PlatformKeyEscape, false);
    EXPECT_TRUE(app.Frame());
}

TEST_F(PlayerFrame, MissingResourcesEndTheRunWithAFailure)
{
    nString name("models/gone.nmo");
    EXPECT_TRUE(app.GetEngine().CallHook(OrvexHookTextureMissing, &name));
    EXPECT_TRUE(nPlayerApp::IsResourceMissing());
    EXPECT_FALSE(app.Frame());
    EXPECT_TRUE(app.HasFailed());
    EXPECT_EQ(log.Lines(), (Lines{"[!] Exiting due to missing resources.\n", "[!] Exiting due to missing resources.\n"}));

    Options({"-ignore_missing"});
    log.Clear();
    EXPECT_TRUE(app.Frame());
    EXPECT_FALSE(app.HasFailed());
    EXPECT_TRUE(log.Lines().empty());

    // Init clears the flag; every missing-file hook sets it.
    for (int32_t hook : {OrvexHookGeometryMissing, OrvexHookSoundMissing}) {
        nPlayerApp fresh;
        fresh.Init();
        EXPECT_FALSE(nPlayerApp::IsResourceMissing());
        fresh.GetEngine().CallHook(hook, &name);
        EXPECT_TRUE(nPlayerApp::IsResourceMissing());
    }
    EXPECT_EQ(app.GetEngine().GetHook(OrvexHookPictureLoaded), nullptr);
}

TEST_F(PlayerFrame, AKilledScriptMachineEndsTheRunWithAFailure)
{
    app.GetScriptVM().Kill(ScriptKillRuntimeError, "test", false);
    EXPECT_FALSE(app.Frame());
    EXPECT_TRUE(app.HasFailed());
}

// Start-up on the null devices.
class PlayerSetup : public ::testing::Test
{
protected:
    void SetUp() override
    {
        app.Init();
        dir.Write("game.nut", "class Game { function OnUpdate(project) {} }\n");
        dir.Write("game.ngp", "<NML=1.0>\n<Environment=\n\t<ScriptUnit= <Script=\"game.nut\"> <Class=\"Game\"> >\n>\n");
        dir.Write("scriptlib/zib.nut", "::g_booted <- true;\n");
    }

    bool Start(std::vector<std::string> arguments, const char* config = "")
    {
        dir.Write("engine.cfg", std::string("<NML=1.0>\n") + config + "\n");
        CommandLine line(arguments);
        if (!app.ParseCommandLine(line.argc(), line.argv())) return false;
        app.ReadConfigFile(dir.Path("engine.cfg").c_str());
        return app.Setup();
    }

    nTempDir dir;
    nTempDir::ChangeInto inside{dir};
    nLogCapture log;
    nPlayerApp app;
};

// The window-system fonts open with the scripts (the system font installed beside the program)
// and close at shutdown.
TEST_F(PlayerSetup, TheFontsOpenWithTheScriptsAndCloseAtShutdown)
{
    ASSERT_TRUE(Start({"game.ngp", "-P", "-r", "none", "-m", "none"}));
    nWindowSystemFont* system = app.GetWindowSystemFonts().GetSystemFont();
    ASSERT_NE(system, nullptr);
    EXPECT_STREQ(system->GetName().GetCStr(), "default");
    EXPECT_EQ(app.GetWindowSystemFonts().FindWindowSystemFont("anything"), system);
    EXPECT_TRUE(app.Shutdown());
    EXPECT_FALSE(app.GetWindowSystemFonts().IsOpen());
    EXPECT_EQ(app.GetWindowSystemFonts().GetSystemFont(), nullptr);
}

TEST_F(PlayerSetup, AProjectStartsRunsAndShutsDown)
{
    ASSERT_TRUE(Start({"game.ngp", "-P", "-r", "none", "-m", "none", "-time_live", "1"},
                      "<Width=320><Height=200>"));
    nRenderer* renderer = app.GetEngine().GetRenderer();
    EXPECT_TRUE(renderer->IsOpen());
    nVector2 size;
    renderer->GetOutputSize(size);
    EXPECT_EQ(size.x, 320.0f);
    EXPECT_EQ(size.y, 200.0f);
    EXPECT_TRUE(app.GetScriptVM().IsOpen());
    EXPECT_TRUE(app.Frame());
    EXPECT_TRUE(app.Shutdown());
    EXPECT_FALSE(app.GetScriptVM().IsOpen());
    EXPECT_FALSE(renderer->IsOpen());
    EXPECT_TRUE(app.Shutdown());  // a second shutdown is harmless
}

TEST_F(PlayerSetup, ASceneIsLoadedBoundSetUpAndQuitsOnRequest)
{
    dir.Write("level.nut", "class Level { function OnSetup(scene) { ::g_level_ready <- true; } }\n");
    dir.Write("level.nms", "<NML=1.0>\n<Scene=\n\t<ScriptUnit= <Script=\"level.nut\"> <Class=\"Level\"> >\n>\n");
    ASSERT_TRUE(Start({"level.nms", "-r", "none", "-m", "none"}));
    nScene* scene = app.GetScene();
    ASSERT_NE(scene, nullptr);
    nRenderer* renderer = app.GetEngine().GetRenderer();
    EXPECT_EQ(scene->GetRenderer(), renderer);
    EXPECT_EQ(renderer->GetPropertyRequestContext(), static_cast<void*>(scene));
    nScriptValue ready;
    EXPECT_TRUE(app.GetScriptVM().GetValue("g_level_ready", ready, nullptr));  // set-up ran
    EXPECT_TRUE(app.Frame());
    scene->SetFlags(scene->GetFlags() | SceneFlagQuit);
    EXPECT_FALSE(app.Frame());
    EXPECT_FALSE(app.HasFailed());
    app.Shutdown();
    EXPECT_EQ(app.GetScene(), nullptr);
}

TEST_F(PlayerSetup, AProjectQuitRequestEndsTheRunWithoutFailure)
{
    ASSERT_TRUE(Start({"game.ngp", "-P", "-r", "none", "-m", "none"}));
    EXPECT_TRUE(app.Frame());
    app.GetProject().SetQuit(1);
    EXPECT_FALSE(app.Frame());
    EXPECT_FALSE(app.HasFailed());
}

TEST_F(PlayerSetup, EngineConfigDecidesTheSwitchesSafeModeAndAspectRatioStillApply)
{
    nRenderer* renderer = app.GetEngine().GetRenderer();
    renderer->SetControlFlag(RendererControlBloom | RendererControlAmbientOcclusion, true);
    ASSERT_TRUE(Start({"game.ngp", "-P", "-r", "none", "-m", "none", "-safe_mode"},
                      "<ShadowMapping=True><AspectRatio=1.5f>"));
    EXPECT_TRUE(renderer->TestControlFlag(RendererControlShadowMapping));
    EXPECT_FALSE(renderer->TestControlFlag(RendererControlBloom));
    EXPECT_FALSE(renderer->TestControlFlag(RendererControlAmbientOcclusion));
    EXPECT_TRUE(renderer->TestSystemFlag(RendererSystemDisableShader));
    EXPECT_FLOAT_EQ(renderer->GetGlobalAspectRatio(), 1.5f);
}

TEST_F(PlayerSetup, WithoutSafeModeTheConfigurationAloneDecides)
{
    nRenderer* renderer = app.GetEngine().GetRenderer();
    renderer->SetSystemFlag(RendererSystemDisableShader, true);
    ASSERT_TRUE(Start({"game.ngp", "-P", "-r", "none", "-m", "none"}));
    EXPECT_FALSE(renderer->TestSystemFlag(RendererSystemDisableShader));
    EXPECT_FLOAT_EQ(renderer->GetGlobalAspectRatio(), 1.0f);
}

TEST_F(PlayerSetup, ListsAndUnavailableDevicesFailTheStart)
{
    struct Case
    {
        std::vector<std::string> arguments;
        bool listed;
    };
    const Case cases[] = {
        {{"game.ngp", "-P", "-r", "list", "-m", "none"}, true},
        {{"game.ngp", "-P", "-r", "none", "-m", "list"}, true},
        {{"game.ngp", "-P", "-r", "gl9", "-m", "none"}, false},
        {{"game.ngp", "-P", "-r", "none", "-m", "wave"}, false},
    };
    for (const Case& c : cases) {
        nPlayerApp fresh;
        CommandLine line(c.arguments);
        ASSERT_TRUE(fresh.ParseCommandLine(line.argc(), line.argv()));
        log.Clear();
        EXPECT_FALSE(fresh.Setup());
        EXPECT_EQ(log.Text().find("Available ") != std::string::npos, c.listed);
        EXPECT_EQ(log.Text().find("[!]"), std::string::npos);
        EXPECT_FALSE(fresh.GetScriptVM().IsOpen());
    }
}

// The file mixer becomes the engine's mixer and writes one frame time of sound per frame; it
// needs no sound device, and its file is finished at shutdown.
TEST_F(PlayerSetup, FileMixerCapturesEachFrameTime)
{
    ASSERT_TRUE(Start({"game.ngp", "-P", "-r", "none", "-m", "file", "out.wav"}));
    nSMixMixer* mixer = dynamic_cast<nSMixMixer*>(app.GetEngine().GetMixer());
    ASSERT_NE(mixer, nullptr);
    EXPECT_TRUE(mixer->IsOpen());
    EXPECT_TRUE(mixer->IsWritingWav());
    app.GetEngine().SetFixedDeltaFrame(0.01f);  // 100 ticks: 480 frames, 1920 bytes
    EXPECT_TRUE(app.Frame());                   // the clock starts
    EXPECT_TRUE(app.Frame());
    const int32_t first = mixer->GetWavDataBytes();
    EXPECT_TRUE(app.Frame());
    EXPECT_TRUE(app.Frame());
    EXPECT_EQ(mixer->GetFixedStep(), 1920);
    EXPECT_EQ(mixer->GetWavDataBytes() - first, 2 * 1920);
    const int32_t bytes = mixer->GetWavDataBytes();
    app.Shutdown();
    EXPECT_EQ(dir.Read("out.wav").size(), (size_t)bytes + 44);
}

TEST_F(PlayerSetup, AnArchiveBecomesTheCurrentFileSystemUntilTheApplicationGoes)
{
    ASSERT_TRUE(dir.Write("packed/dummy", ""));
    {
        nIOArchiveFS writer;
        ASSERT_TRUE(writer.Connect(dir.Path("game.qza").c_str(), nullptr, true, nullptr, false));
        for (const char* name : {"game.ngp", "game.nut", "scriptlib/zib.nut"}) {
            std::string text = dir.Read(name);
            nIOHandle* handle = writer.Open(name, false, true, false);
            ASSERT_NE(handle, nullptr);
            writer.Write(handle, text.data(), (int32_t)text.size());
            writer.Close(handle);
        }
        writer.Disconnect();
    }
    nIOBaseFS* disk = nIO::GetCurrentFS();
    // Only the disk has "packed/dummy": it is found through the archive only with the disk
    // queued as fallback, and the queue does not outlive the application that made it.
    for (bool fallback : {false, true, false}) {
        SCOPED_TRACE(fallback);
        nPlayerApp player;
        std::vector<std::string> arguments = {"game.ngp", "-P", "-A", "game.qza", "-r", "none", "-m", "none"};
        if (fallback) arguments.push_back("-fallback_disk_fs");
        CommandLine line(arguments);
        ASSERT_TRUE(player.ParseCommandLine(line.argc(), line.argv()));
        ASSERT_TRUE(player.Setup());
        EXPECT_EQ(nIO::GetCurrentFS()->GetTypeId(), 75);
        EXPECT_EQ(nIO::Exists("packed/dummy"), fallback);
    }
    EXPECT_EQ(nIO::GetCurrentFS(), disk);
    EXPECT_TRUE(nIO::Exists("packed/dummy"));

    nPlayerApp missing;
    CommandLine line({"game.ngp", "-P", "-A", "nothere.qza", "-r", "none", "-m", "none"});
    ASSERT_TRUE(missing.ParseCommandLine(line.argc(), line.argv()));
    EXPECT_FALSE(missing.Setup());
    EXPECT_EQ(nIO::GetCurrentFS(), disk);
}

TEST_F(PlayerSetup, AFileSystemRootIsSearched)
{
    ASSERT_TRUE(dir.Write("data/level.ngp", dir.Read("game.ngp")));
    ASSERT_TRUE(dir.Write("data/game.nut", dir.Read("game.nut")));
    EXPECT_TRUE(Start({"level.ngp", "-P", "-f", dir.Path("data/"), "-r", "none", "-m", "none"}));
}

}
