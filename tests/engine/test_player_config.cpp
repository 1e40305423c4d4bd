// The player's configuration files: "bootstrap.txt" from the disk or from "resource.qza", and the
// window keys of "engine.cfg".

#include <gtest/gtest.h>

#include <string>

#include "core/nIO.h"
#include "core/nIOArchiveFS.h"
#include "engine/player/nPlayerApp.h"
#include "render/nRenderer.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nTempDir.h"

namespace {

// Writes one archive holding the given name and text.
bool WriteArchive(const std::string& path, const char* name, const std::string& text)
{
    nIOArchiveFS archive;
    if (!archive.Connect(path.c_str(), nullptr, true, nullptr, false)) return false;
    nIOHandle* handle = archive.Open(name, false, true, false);
    if (!handle) return false;
    bool written = archive.Write(handle, text.data(), (int32_t)text.size()) == (int32_t)text.size();
    archive.Close(handle);
    return archive.Disconnect() && written;
}

class PlayerBootstrap : public ::testing::Test
{
protected:
    nTempDir dir;
    nTempDir::ChangeInto inside{dir};
    nLogCapture log;
};

TEST_F(PlayerBootstrap, KeysFromTheDiskFile)
{
    struct Case
    {
        const char* text;
        int32_t viewMode;
        const char* input;
        bool ignoreEsc;
        bool ignoreMissing;
    };
    const Case cases[] = {
        {"", PlayerViewModeScene, "scene.nms", false, false},
        {"<ViewMode=\"Project\"><Input=\"game.ngp\"><IgnoreEsc=True><IgnoreMissingResource=True>",
         PlayerViewModeProject, "game.ngp", true, true},
        {"<ViewMode=\"Scene\"><Input=\"level.nms\"><IgnoreEsc=False>", PlayerViewModeScene, "level.nms", false, false},
        {"<ViewMode=\"scene\">", PlayerViewModeProject, "scene.nms", false, false},  // case-sensitive
        {"<ViewMode=\"Project\"><ViewScene>", PlayerViewModeScene, "scene.nms", false, false},
        {"<ViewScene=0><ViewMode=\"Other\">", PlayerViewModeScene, "scene.nms", false, false},
        // Values of another type count as absent.
        {"<ViewMode=1><Input=5><IgnoreEsc=1><IgnoreMissingResource=\"True\">",
         PlayerViewModeScene, "scene.nms", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(dir.Write("bootstrap.txt", std::string("<NML=1.0>\n") + c.text + "\n"));
        nPlayerApp app;
        ASSERT_TRUE(app.ReadBootstrap());
        EXPECT_EQ(app.GetViewMode(), c.viewMode);
        EXPECT_STREQ(app.GetInputFile().GetCStr(), c.input);
        EXPECT_EQ(app.GetIgnoreEscape(), c.ignoreEsc);
        EXPECT_EQ(app.GetIgnoreMissing(), c.ignoreMissing);
        EXPECT_EQ(app.GetDataSource(), PlayerDataSourceFileSystem);
        EXPECT_STREQ(app.GetDataRoot().GetCStr(), "./");
    }
}

TEST_F(PlayerBootstrap, FromTheArchiveWhenNotOnTheDisk)
{
    ASSERT_TRUE(WriteArchive(dir.Path("resource.qza"), "bootstrap.txt",
                             "<NML=1.0>\n<ViewMode=\"Project\">\n<Input=\"packed.ngp\">\n"));
    nIOBaseFS* disk = nIO::GetCurrentFS();
    nPlayerApp app;
    ASSERT_TRUE(app.ReadBootstrap());
    EXPECT_EQ(app.GetDataSource(), PlayerDataSourceArchive);
    EXPECT_STREQ(app.GetDataRoot().GetCStr(), "resource.qza");
    EXPECT_STREQ(app.GetInputFile().GetCStr(), "packed.ngp");
    EXPECT_EQ(app.GetViewMode(), PlayerViewModeProject);
    EXPECT_EQ(nIO::GetCurrentFS(), disk);
}

TEST_F(PlayerBootstrap, TheDiskFileWinsOverTheArchive)
{
    ASSERT_TRUE(WriteArchive(dir.Path("resource.qza"), "bootstrap.txt", "<NML=1.0>\n<Input=\"packed.ngp\">\n"));
    ASSERT_TRUE(dir.Write("bootstrap.txt", "<NML=1.0>\n<Input=\"disk.nms\">\n"));
    nPlayerApp app;
    ASSERT_TRUE(app.ReadBootstrap());
    EXPECT_STREQ(app.GetInputFile().GetCStr(), "disk.nms");
    EXPECT_EQ(app.GetDataSource(), PlayerDataSourceFileSystem);
}

TEST_F(PlayerBootstrap, NeitherOnTheDiskNorInTheArchive)
{
    nIOBaseFS* disk = nIO::GetCurrentFS();
    {
        nPlayerApp app;
        EXPECT_FALSE(app.ReadBootstrap());
        EXPECT_EQ(app.GetDataSource(), PlayerDataSourceFileSystem);
    }
    // An archive without the file.
    ASSERT_TRUE(WriteArchive(dir.Path("resource.qza"), "other.txt", "<NML=1.0>\n"));
    nPlayerApp app;
    EXPECT_FALSE(app.ReadBootstrap());
    EXPECT_EQ(app.GetDataSource(), PlayerDataSourceFileSystem);
    EXPECT_STREQ(app.GetDataRoot().GetCStr(), "./");
    EXPECT_EQ(nIO::GetCurrentFS(), disk);
}

TEST_F(PlayerBootstrap, NoArgumentsReadTheBootstrapOrPrintTheUsage)
{
    char name[] = "player";
    char* argv[] = {name, nullptr};
    {
        nPlayerApp app;
        log.Clear();
        EXPECT_FALSE(app.ParseCommandLine(1, argv));
        EXPECT_NE(log.Text().find("Usage: qzframework input(.nms|.ngp) <-P> <-f|-A> <-S>\n"), std::string::npos);
    }
    ASSERT_TRUE(dir.Write("bootstrap.txt", "<NML=1.0>\n<Input=\"boot.nms\">\n"));
    nPlayerApp app;
    log.Clear();
    EXPECT_TRUE(app.ParseCommandLine(1, argv));
    EXPECT_STREQ(app.GetInputFile().GetCStr(), "boot.nms");
    EXPECT_EQ(log.Text().find("Usage:"), std::string::npos);
}

// The usage text, as players have always printed it (the option table drives it).
TEST_F(PlayerBootstrap, UsageTextIsPrintedWhole)
{
    const char* const expected =
        "Usage: qzframework input(.nms|.ngp) <-P> <-f|-A> <-S>\n\n"
        "Basic usage:\n\n"
        "-P                 : Execute a project (default: execute scene).\n"
        "-C <config path>   : Configuration file path.\n"
        "\n"
        "Data source (default: -f ./):\n\n"
        "-f <base path>     : Input data from the file system.\n"
        "-A <archive path>  : Input data from an archive.\n"
        "\n"
        "Resource path:\n\n"
        "-S <search path>   : Additional search path.\n"
        "\n"
        "Data output (default: -r gl2 -m al):\n\n"
        "-r <ID>            : Output 3d renderer ('norvex dummy -r list' for valid IDs).\n"
        "-m <ID>            : Output audio mixer ('norvex dummy -m list' for valid IDs).\n"
        "\n"
        "Debug interface:\n\n"
        "-d <port>          : Listen for incoming debugger connection on this port.\n"
        "-dp <password>     : Password-protect the debugger interface.\n"
        "Script interface:\n\n"
        "-I <include>       : Include a script.\n"
        "-Ds <var> <string> : Define and initialize a variable.\n"
        "-Di <var> <int>    : Define and initialize a variable.\n"
        "-Df <var> <float>  : Define and initialize a variable.\n"
        "\n"
        "Program flags:\n\n"
        "-ignore_esc        : Do not exit on escape pressed.\n"
        "-ignore_missing    : Do not exit on missing resource.\n"
        "-ignore_bootstrap  : Ignore the bootstrap file.\n"
        "\n"
        "-safe_mode         : Enable renderer/mixer safe-mode.\n"
        "-fallback_disk_fs  : Fall back to the disk file system.\n"
        "\n"
        "-enable_profiler   : Enable on-screen profiler.\n"
        "\n"
        "-log_level <mask>  : Set the engine log level mask (eg. -log_level !S*).\n"
        "                     n: None\n"
        "                     s: Standard\n"
        "                     H: Header\n"
        "                     *: Warning\n"
        "                     !: Error\n"
        "                     S: Script\n"
        "                     a: All (default)\n"
        "-time_live <sec>   : Set a run time in seconds.\n"
        "\n";
    nPlayerApp app;
    log.Clear();
    app.PrintUsage();
    EXPECT_EQ(log.Text(), expected);
}

class PlayerConfigFile : public ::testing::Test
{
protected:
    nTempDir dir;
    nLogCapture log;
};

TEST_F(PlayerConfigFile, WindowKeysAreTakenOnlyWithTheirTypes)
{
    struct Case
    {
        const char* text;
        bool fullScreen;
        int32_t width;
        int32_t height;
        float aspect;
    };
    const Case cases[] = {
        {"", false, 800, 600, 1.0f},
        {"<Fullscreen=True><Width=1024><Height=768><AspectRatio=1.25f>", true, 1024, 768, 1.25f},
        {"<Width=1024.0f><Height=\"768\"><Fullscreen=1><AspectRatio=2>", false, 800, 600, 1.0f},
        {"<Window= <Width=640> >", false, 800, 600, 1.0f},  // root-level keys only
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(dir.Write("engine.cfg", std::string("<NML=1.0>\n") + c.text + "\n"));
        nPlayerApp app;
        EXPECT_TRUE(app.ReadConfigFile(dir.Path("engine.cfg").c_str()));
        EXPECT_EQ(app.GetFullScreen(), c.fullScreen);
        EXPECT_EQ(app.GetWidth(), c.width);
        EXPECT_EQ(app.GetHeight(), c.height);
        EXPECT_FLOAT_EQ(app.GetAspectRatio(), c.aspect);
    }
}

TEST_F(PlayerConfigFile, AMissingFileKeepsTheDefaultsAndAnEmptyTree)
{
    ASSERT_TRUE(dir.Write("engine.cfg", "<NML=1.0>\n<Width=1024>\n"));
    nPlayerApp app;
    ASSERT_TRUE(app.ReadConfigFile(dir.Path("engine.cfg").c_str()));
    EXPECT_EQ(app.GetConfigTree().GetRootCount(), 1);
    log.Clear();
    const std::string missing = dir.Path("missing.cfg");
    EXPECT_FALSE(app.ReadConfigFile(missing.c_str()));
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"[*] Could not access file '" + missing + "'.\n"}));
    EXPECT_EQ(app.GetConfigTree().GetRootCount(), 0);
    EXPECT_EQ(app.GetWidth(), 1024);  // what was read before stays
}

}
