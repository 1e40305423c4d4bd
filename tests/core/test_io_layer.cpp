// The IO layer: path splitting, the read resolution order (memory cache, chosen file system with
// its search paths, fallbacks, "disc:"), existence, search-path helpers, whole-file operations.
#include "core/nIO.h"
#include "core/nIODiskFS.h"
#include "core/nIOFile.h"
#include "core/nIOMemoryFS.h"
#include "core/nMutex.h"
#include "tests/support/nIOTestSupport.h"
#include "tests/support/nLogCapture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using Lines = std::vector<std::string>;

namespace {

// A memory file system that misreports sizes or refuses to close, for the layer's error paths.
class FaultyFS : public nIOMemoryFS
{
public:
    int32_t extraSize = 0;
    bool refuseClose = false;

    int32_t GetSize(nIOHandle* handle) override { return nIOMemoryFS::GetSize(handle) + extraSize; }
    bool Close(nIOHandle* handle) override
    {
        const bool closed = nIOMemoryFS::Close(handle);
        return closed && !refuseClose;
    }
};

// ---------------------------------------------------------------------------------------------
// Current file system and path splitting

TEST_F(nIOTest, CurrentFileSystemDefaultsToDiskAndNullSelectsDisk)
{
    nIOMemoryFS archive;
    EXPECT_EQ(nIO::GetCurrentFS(), nIO::GetDiskFS());
    EXPECT_EQ(nIO::SetCurrentFS(&archive), nIO::GetDiskFS());
    EXPECT_EQ(nIO::GetCurrentFS(), &archive);
    EXPECT_EQ(nIO::SetCurrentFS(nullptr), &archive);
    EXPECT_EQ(nIO::GetCurrentFS(), nIO::GetDiskFS());
}

TEST_F(nIOTest, SplitPathChoosesDiskOnlyForTheExactPrefix)
{
    nIOMemoryFS archive;
    nIO::SetCurrentFS(&archive);
    struct Case
    {
        const char* path;
        bool forced;
        bool disk;
        const char* rest;
    };
    const Case cases[] = {
        {"disc:data/a.txt", true, true, "data/a.txt"},
        {"disc:", true, true, ""},
        {"data/a.txt", false, false, "data/a.txt"},
        {"Disc:data/a.txt", false, false, "Disc:data/a.txt"},
        {"disk:a", false, false, "disk:a"},
    };
    for (const Case& c : cases) {
        nIOBaseFS* fs = nullptr;
        const char* rest = nullptr;
        EXPECT_EQ(nIO::SplitPath(c.path, &fs, &rest), c.forced) << c.path;
        EXPECT_EQ(fs, c.disk ? static_cast<nIOBaseFS*>(nIO::GetDiskFS()) : &archive) << c.path;
        EXPECT_STREQ(rest, c.rest) << c.path;
    }
}

TEST_F(nIOTest, NullArgumentsAreRefusedWithOneLine)
{
    nLogCapture log;
    nIOBaseFS* fs = nullptr;
    const char* rest = nullptr;
    EXPECT_FALSE(nIO::SplitPath(nullptr, &fs, &rest));
    EXPECT_FALSE(nIO::SplitPath("a", nullptr, &rest));
    EXPECT_EQ(nIO::Open(nullptr, &fs, true, false, false), nullptr);
    EXPECT_EQ(fs, nullptr);
    EXPECT_FALSE(nIO::Exists(nullptr));
    char* buffer = reinterpret_cast<char*>(1);
    EXPECT_EQ(nIO::LoadFile(nullptr, &buffer), 0);
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(nIO::SaveFile("x", nullptr, 3), 0);
    EXPECT_FALSE(nIO::QueueFallbackFS(nullptr));
    EXPECT_EQ(log.Lines(), Lines(7, "[!] Invalid argument.\n"));
    EXPECT_FALSE(m_dir.Exists("x"));
}

// ---------------------------------------------------------------------------------------------
// Read resolution order

// An archive-like file system is current, the disk is queued behind it, and "data" is a search
// path. Each name is placed so that exactly one layer of the order decides it.
TEST_F(nIOTest, ReadsResolveCacheThenCurrentWithSearchPathsThenFallbacksUnlessForced)
{
    nIOMemoryFS archive;
    ASSERT_TRUE(PutFile(&archive, "both.txt", "archive"));
    ASSERT_TRUE(PutFile(&archive, "data/order.txt", "archive under data"));
    ASSERT_TRUE(PutFile(&archive, "archonly.txt", "archive only"));
    ASSERT_TRUE(PutFile(&archive, "cached.txt", "archive at caching time"));
    ASSERT_TRUE(m_dir.Write("both.txt", "disk"));
    ASSERT_TRUE(m_dir.Write("order.txt", "disk"));
    ASSERT_TRUE(m_dir.Write("disk.txt", "disk own name"));
    ASSERT_TRUE(m_dir.Write("data/deep.txt", "disk under data"));
    ASSERT_TRUE(m_dir.Write("cached.txt", "disk"));

    nIO::SetCurrentFS(&archive);
    Queue(nIO::GetDiskFS());
    SearchPaths({"data"});
    ASSERT_TRUE(nIO::CacheFile("cached.txt"));
    ASSERT_TRUE(PutFile(&archive, "cached.txt", "archive rewritten"));

    nIOBaseFS* const disk = nIO::GetDiskFS();
    nIOBaseFS* const cache = nIO::GetMemoryFS();
    struct Case
    {
        const char* path;
        const char* contents;
        nIOBaseFS* servedBy;
    };
    const Case cases[] = {
        {"cached.txt", "archive at caching time", cache},
        {"both.txt", "archive", &archive},
        {"order.txt", "archive under data", &archive},  // current FS's search paths before the fallback
        {"disk.txt", "disk own name", disk},
        {"deep.txt", "disk under data", disk},
        {"disc:both.txt", "disk", disk},
        {"disc:archonly.txt", "<none>", nullptr},  // forced: no fallback
        {"missing.txt", "<none>", nullptr},
    };
    for (const Case& c : cases) {
        nIOBaseFS* fs = nullptr;
        EXPECT_EQ(ReadThroughIO(c.path, &fs), c.contents) << c.path;
        EXPECT_EQ(fs, c.servedBy) << c.path;
    }
}

TEST_F(nIOTest, CachedFileIsMatchedByTheExactNameAndOnlyForReading)
{
    ASSERT_TRUE(m_dir.Write("a/b.nml", "cached"));
    ASSERT_TRUE(nIO::CacheFile("a/b.nml"));
    ASSERT_TRUE(m_dir.Write("a/b.nml", "disk"));

    EXPECT_EQ(ReadThroughIO("a/b.nml"), "cached");
    EXPECT_EQ(ReadThroughIO("a\\b.nml"), "disk");  // another spelling is not the cached name
    EXPECT_EQ(ReadThroughIO("disc:a/b.nml"), "disk");

    // Read and write asked together: the cache hands out a read handle that refuses writes.
    nLogCapture log;
    nIOBaseFS* fs = nullptr;
    nIOHandle* handle = nIO::Open("a/b.nml", &fs, true, true, false);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(fs, nIO::GetMemoryFS());
    EXPECT_EQ(fs->Write(handle, "xx", 2), 0);
    fs->Close(handle);
    EXPECT_EQ(log.Lines(), Lines{"[!] Cannot write to file 'a/b.nml', it was opened for reading.\n"});
    EXPECT_EQ(ReadThroughIO("a/b.nml"), "cached");

    // Writing goes to the chosen file system.
    EXPECT_EQ(nIO::SaveFile("a/b.nml", "new", 3), 3);
    EXPECT_EQ(m_dir.Read("a/b.nml"), "new");
}

TEST_F(nIOTest, WritesNeverUseSearchPathsOrFallbacks)
{
    nIOMemoryFS other;
    Queue(&other);
    ASSERT_TRUE(m_dir.Write("data/w.txt", "keep"));
    SearchPaths({"data"});

    EXPECT_EQ(nIO::SaveFile("w.txt", "new", 3), 3);
    EXPECT_EQ(m_dir.Read("w.txt"), "new");
    EXPECT_EQ(m_dir.Read("data/w.txt"), "keep");

    // A write that the disk refuses (no such directory) is final.
    nIOBaseFS* fs = nullptr;
    EXPECT_EQ(nIO::Open("nodir/x.txt", &fs, false, true, false), nullptr);
    EXPECT_EQ(fs, nullptr);
    EXPECT_FALSE(other.Exists("nodir/x.txt"));
}

// ---------------------------------------------------------------------------------------------
// Existence and search paths

TEST_F(nIOTest, ExistsConsultsChosenThenFallbacksButNeitherCacheNorSearchPaths)
{
    nIOMemoryFS archive;
    ASSERT_TRUE(PutFile(&archive, "arch.txt", "a"));
    ASSERT_TRUE(m_dir.Write("disk.txt", "d"));
    ASSERT_TRUE(m_dir.Write("data/deep.txt", "d"));
    ASSERT_TRUE(m_dir.Write("tocache.txt", "c"));
    ASSERT_TRUE(nIO::CacheFile("tocache.txt"));
    ASSERT_EQ(remove(m_dir.Path("tocache.txt").c_str()), 0);
    nIO::SetCurrentFS(&archive);
    Queue(nIO::GetDiskFS());
    SearchPaths({"data"});

    struct Case
    {
        const char* path;
        bool exists;
    };
    const Case cases[] = {
        {"arch.txt", true},
        {"disk.txt", true},
        {"disc:disk.txt", true},
        {"disc:arch.txt", false},
        {"deep.txt", false},
        {"tocache.txt", false},
        {"data", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(nIO::Exists(c.path), c.exists) << c.path;
}

TEST_F(nIOTest, FindFileNormalisesAndRewritesToTheFoundName)
{
    nIOMemoryFS archive;
    ASSERT_TRUE(m_dir.Write("data/Models/Box.nmo", "box"));
    ASSERT_TRUE(PutFile(&archive, "scripts/Main.nut", "main"));
    SearchPaths({"data", "scripts"});

    nString missing("Models\\\\Missing.nmo");
    EXPECT_FALSE(nIO::FindFile(missing));
    EXPECT_STREQ(missing.GetCStr(), "Models/Missing.nmo");

    nString box("Models\\Box.nmo");
    EXPECT_TRUE(nIO::FindFile(box));
    EXPECT_STREQ(box.GetCStr(), "data/Models/Box.nmo");

    // Found on a fallback file system through the search paths.
    Queue(&archive);
    nString script("Main.nut");
    EXPECT_TRUE(nIO::FindFile(script));
    EXPECT_STREQ(script.GetCStr(), "scripts/Main.nut");

    nString empty;
    EXPECT_FALSE(nIO::FindFile(empty));
}

TEST_F(nIOTest, SearchPathsAreTriedInListOrderAndEmptyOnesSkipped)
{
    ASSERT_TRUE(m_dir.Write("one/x.txt", "one"));
    ASSERT_TRUE(m_dir.Write("two/x.txt", "two"));
    ASSERT_TRUE(m_dir.Write("two/y.txt", "two"));
    SearchPaths({"", "two", "one"});
    EXPECT_EQ(ReadThroughIO("x.txt"), "two");
    SearchPaths({"one"});
    EXPECT_EQ(ReadThroughIO("x.txt"), "one");
    EXPECT_EQ(ReadThroughIO("y.txt"), "<none>");
    nIO::AddSearchPath("two");
    EXPECT_EQ(ReadThroughIO("x.txt"), "one");
    EXPECT_EQ(ReadThroughIO("y.txt"), "two");
}

TEST_F(nIOTest, StripSearchPathCutsOnlyWholeLeadingDirectories)
{
    struct Case
    {
        std::vector<const char*> paths;
        const char* path;
        bool stripped;
        const char* result;
    };
    const Case cases[] = {
        {{"./", "data/"}, "data/a.tga", true, "a.tga"},
        {{"./", "data/"}, "./data/a.tga", true, "data/a.tga"},
        {{"data"}, "data/a.tga", true, "a.tga"},
        {{"data"}, "data\\a.tga", true, "a.tga"},
        {{"data"}, "database/x.tga", false, "database/x.tga"},
        {{"data/"}, "database/x.tga", false, "database/x.tga"},
        {{"data"}, "data", false, "data"},
        {{"data"}, "data/", false, "data/"},
        {{"Data\\Sub"}, "Data/Sub/t.tga", true, "t.tga"},
        {{"data"}, "Data/a.tga", false, "Data/a.tga"},
        {{"one", "two"}, "two/one/a", true, "one/a"},
        {{}, "data/a.tga", false, "data/a.tga"},
    };
    for (const Case& c : cases) {
        nList<nString> list;
        for (const char* p : c.paths)
            list.InsertAfter(nString(p), nullptr);
        nIO::SetSearchPaths(list);
        nString path(c.path);
        EXPECT_EQ(nIO::StripSearchPath(path), c.stripped) << c.path;
        EXPECT_STREQ(path.GetCStr(), c.result) << c.path;
    }
    nString unset;
    EXPECT_FALSE(nIO::StripSearchPath(unset));
}

TEST_F(nIOTest, FallbackQueuedTwiceKeepsOneEntry)
{
    nIOMemoryFS archive;
    ASSERT_TRUE(PutFile(&archive, "f.txt", "f"));
    nLogCapture log;
    EXPECT_TRUE(nIO::QueueFallbackFS(&archive));
    EXPECT_TRUE(nIO::QueueFallbackFS(&archive));
    EXPECT_EQ(log.Lines(), Lines{"[*] Fallback file system already queued.\n"});
    EXPECT_TRUE(nIO::Exists("f.txt"));
    nIO::RemoveFallbackFS(&archive);  // one removal empties the queue
    EXPECT_FALSE(nIO::Exists("f.txt"));
}

// ---------------------------------------------------------------------------------------------
// Whole-file operations

TEST_F(nIOTest, LoadFileReturnsContentsWithATerminator)
{
    const std::string contents("ab\0cd", 5);
    ASSERT_TRUE(m_dir.Write("bin.dat", contents));
    ASSERT_TRUE(m_dir.Write("empty.dat", ""));

    char* buffer = nullptr;
    ASSERT_EQ(nIO::LoadFile("bin.dat", &buffer), 5);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(std::string(buffer, 5), contents);
    EXPECT_EQ(buffer[5], 0);
    delete[] buffer;

    buffer = nullptr;
    EXPECT_EQ(nIO::LoadFile("empty.dat", &buffer), 0);
    ASSERT_NE(buffer, nullptr);  // empty, but a buffer to free
    EXPECT_EQ(buffer[0], 0);
    delete[] buffer;

    buffer = reinterpret_cast<char*>(1);
    nLogCapture log;
    EXPECT_EQ(nIO::LoadFile("missing.dat", &buffer), 0);
    EXPECT_EQ(buffer, nullptr);
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(nIOTest, LoadFileReturnsWhatWasActuallyRead)
{
    FaultyFS fs;
    fs.extraSize = 10;
    ASSERT_TRUE(PutFile(&fs, "short.txt", "12345"));
    nIO::SetCurrentFS(&fs);
    nLogCapture log;
    char* buffer = nullptr;
    EXPECT_EQ(nIO::LoadFile("short.txt", &buffer), 5);
    ASSERT_NE(buffer, nullptr);
    EXPECT_STREQ(buffer, "12345");
    delete[] buffer;
    EXPECT_EQ(log.Lines(), Lines{"[!] Failed to read 'short.txt': 5 of 15 bytes.\n"});
    EXPECT_EQ(fs.GetOpenHandleCount(), 0);
}

TEST_F(nIOTest, SaveFileCreatesTruncatesAndReportsAnUnfinishedWrite)
{
    ASSERT_TRUE(m_dir.Write("out.txt", "a much longer old text"));
    EXPECT_EQ(nIO::SaveFile("out.txt", "short", 5), 5);
    EXPECT_EQ(m_dir.Read("out.txt"), "short");
    EXPECT_EQ(nIO::SaveFile("new.txt", "", 0), 0);
    EXPECT_TRUE(m_dir.Exists("new.txt"));

    FaultyFS fs;
    fs.refuseClose = true;
    nIO::SetCurrentFS(&fs);
    nLogCapture log;
    EXPECT_EQ(nIO::SaveFile("x.txt", "abc", 3), 0);
    EXPECT_EQ(log.Lines(), Lines{"[!] Failed to finish writing 'x.txt'.\n"});
}

TEST_F(nIOTest, GetFileSizeAndCopyFile)
{
    ASSERT_TRUE(m_dir.Write("data/src.txt", "source"));
    ASSERT_TRUE(m_dir.Write("dst.txt", "precious"));
    SearchPaths({"data"});
    EXPECT_EQ(nIO::GetFileSize("src.txt"), 6);
    EXPECT_EQ(nIO::GetFileSize("none.txt"), 0);

    EXPECT_EQ(nIO::CopyFile("src.txt", "copy.txt"), 6);
    EXPECT_EQ(m_dir.Read("copy.txt"), "source");
    // A source that cannot be read leaves the destination as it was.
    EXPECT_EQ(nIO::CopyFile("none.txt", "dst.txt"), 0);
    EXPECT_EQ(m_dir.Read("dst.txt"), "precious");
}

TEST_F(nIOTest, CacheFileLogsTheCacheSizeWhateverTheOutcome)
{
    ASSERT_TRUE(m_dir.Write("data/c.txt", "first"));
    SearchPaths({"data"});
    nLogCapture log;
    EXPECT_TRUE(nIO::CacheFile("c.txt"));
    const int32_t usage = nIO::GetMemoryFS()->GetMemoryUsage();
    EXPECT_EQ(usage, 5 + int32_t(sizeof(nIOMemoryFile)));
    ASSERT_TRUE(m_dir.Write("data/c.txt", "second"));
    EXPECT_FALSE(nIO::CacheFile("c.txt"));
    EXPECT_FALSE(nIO::CacheFile("none.txt"));
    const std::string line = "[|] Caching file %s, memory consumption = " + std::to_string(usage) + "...\n";
    auto caching = [&](const char* name) {
        std::string l = line;
        return l.replace(l.find("%s"), 2, name);
    };
    EXPECT_EQ(log.Lines(), (Lines{
                               caching("c.txt"),
                               "[!] File 'c.txt' already exists.\n",
                               caching("c.txt"),
                               "[!] File source 'none.txt' not found.\n",
                               caching("none.txt"),
                           }));
    EXPECT_EQ(ReadThroughIO("c.txt"), "first");
}

// ---------------------------------------------------------------------------------------------
// Locking

TEST_F(nIOTest, OpenAndCloseFromSeveralThreadsWhileTheLayerIsBusy)
{
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(m_dir.Write("t" + std::to_string(i) + ".txt", std::string(100 + i, char('a' + i))));
    ASSERT_TRUE(nIO::CacheFile("t0.txt"));
    const int32_t openBefore = nIO::GetDiskFS()->GetOpenHandleCount();
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &wrong] {
            const std::string name = "t" + std::to_string(t) + ".txt";
            for (int round = 0; round < 50; ++round) {
                nIOFile file;
                if (!file.Open(name.c_str(), true, false, false) || file.GetSize() != 100 + t)
                    ++wrong;
                char* buffer = nullptr;
                if (nIO::LoadFile(name.c_str(), &buffer) != 100 + t || buffer[0] != char('a' + t))
                    ++wrong;
                delete[] buffer;
            }
        });
    }
    // The lock is re-entrant and shared: holding it here delays the others, never deadlocks.
    {
        nMutexScope lock(nIO::GetMutex());
        EXPECT_TRUE(nIO::Exists("t1.txt"));
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(nIO::GetDiskFS()->GetOpenHandleCount(), openBefore);
    EXPECT_EQ(nIO::GetMemoryFS()->GetOpenHandleCount(), 0);
}

// A stream still open when the program ends closes through the IO layer's globals, which must
// still be alive then (checked by the sanitizer build at exit).
nIOFile g_openAtExit;

TEST_F(nIOTest, StreamLeftOpenUntilExit)
{
    ASSERT_TRUE(m_dir.Write("exit.txt", "x"));
    ASSERT_TRUE(g_openAtExit.Open(m_dir.Path("exit.txt").c_str(), true, false, false));
}

}  // namespace
