// The disk and memory file systems: Windows-style paths and case on disk, modes, read, write
// and seek on both, memory-file growth and access rules, listings, and their log lines.
#include "core/nIO.h"
#include "core/nIODiskFS.h"
#include "core/nIOMemoryFS.h"
#include "tests/support/nIOTestSupport.h"
#include "tests/support/nLogCapture.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using Lines = std::vector<std::string>;

namespace {

std::vector<std::string> Names(const nList<nString*>& list)
{
    std::vector<std::string> names;
    for (nListNode<nString*>* node = list.GetHead(); node; node = node->next)
        names.push_back(node->value->GetCStr());
    return names;
}

void DeleteNames(nList<nString*>& list)
{
    for (nListNode<nString*>* node = list.GetHead(); node; node = node->next)
        delete node->value;
    list.Clear();
}

// ---------------------------------------------------------------------------------------------
// Both file systems: read, write, seek with one meaning of every origin

struct FileSystemKind
{
    const char* name;
    std::function<nIOBaseFS*()> make;
};
void PrintTo(const FileSystemKind& kind, std::ostream* os) { *os << kind.name; }

class EveryFS : public nIOTest, public ::testing::WithParamInterface<FileSystemKind>
{
protected:
    EveryFS() : m_fs(GetParam().make()) {}
    std::unique_ptr<nIOBaseFS> m_fs;
};

TEST_P(EveryFS, WriteThenReadBackInPieces)
{
    std::string contents;
    for (int i = 0; i < 10000; ++i)
        contents += char('a' + i % 26);
    ASSERT_TRUE(PutFile(m_fs.get(), "f.bin", contents));
    EXPECT_TRUE(m_fs->Exists("f.bin"));
    EXPECT_FALSE(m_fs->Exists("g.bin"));
    EXPECT_FALSE(m_fs->Exists(nullptr));

    nIOHandle* h = m_fs->Open("f.bin", true, false, false);
    ASSERT_NE(h, nullptr);
    EXPECT_STREQ(h->GetName().GetCStr(), "f.bin");
    EXPECT_EQ(m_fs->GetSize(h), 10000);
    EXPECT_EQ(ReadAll(m_fs.get(), h), contents);
    EXPECT_EQ(m_fs->Tell(h), 10000);
    char c = 0;
    EXPECT_EQ(m_fs->Read(h, &c, 1), 0);  // at the end
    EXPECT_EQ(m_fs->Rewind(h), 0);
    EXPECT_EQ(m_fs->Read(h, &c, 1), 1);
    EXPECT_EQ(c, 'a');
    EXPECT_EQ(m_fs->GetOpenHandleCount(), 1);
    EXPECT_TRUE(m_fs->Close(h));
    EXPECT_EQ(m_fs->GetOpenHandleCount(), 0);
}

TEST_P(EveryFS, SeekOriginsMeanTheSameEverywhere)
{
    ASSERT_TRUE(PutFile(m_fs.get(), "s.bin", std::string(100, 'x')));
    nIOHandle* h = m_fs->Open("s.bin", true, false, false);
    ASSERT_NE(h, nullptr);
    struct Case
    {
        int32_t offset;
        int32_t whence;
        bool ok;
        int32_t position;
    };
    const Case cases[] = {
        {50, nIOSeekStart, true, 50},
        {-10, nIOSeekCurrent, true, 40},
        {5, nIOSeekCurrent, true, 45},
        {-10, nIOSeekEnd, true, 90},
        {0, nIOSeekEnd, true, 100},
        {-100, nIOSeekEnd, true, 0},
        {0, nIOSeekStart, true, 0},
        {100, nIOSeekStart, true, 100},
        {-1, nIOSeekStart, false, 100},
        {-101, nIOSeekCurrent, false, 100},
        {-101, nIOSeekEnd, false, 100},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(m_fs->Seek(h, c.offset, c.whence), c.ok) << c.offset << "," << c.whence;
        EXPECT_EQ(m_fs->Tell(h), c.position) << c.offset << "," << c.whence;
    }
    nLogCapture log;
    EXPECT_FALSE(m_fs->Seek(h, 0, 3));
    EXPECT_EQ(log.Lines(), Lines{"[!] Invalid seek origin 3.\n"});
    EXPECT_EQ(m_fs->Tell(h), 100);
    m_fs->Close(h);
}

TEST_P(EveryFS, NullHandleGivesZeroOrFalse)
{
    char buffer[4];
    EXPECT_EQ(m_fs->Read(nullptr, buffer, 4), 0);
    EXPECT_EQ(m_fs->Write(nullptr, buffer, 4), 0);
    EXPECT_EQ(m_fs->GetSize(nullptr), 0);
    EXPECT_EQ(m_fs->Tell(nullptr), 0);
    EXPECT_EQ(m_fs->Rewind(nullptr), 0);
    EXPECT_FALSE(m_fs->Seek(nullptr, 0, nIOSeekStart));
    nLogCapture log;
    EXPECT_FALSE(m_fs->Close(nullptr));
    EXPECT_EQ(log.Lines().size(), 1u);
}

TEST_P(EveryFS, BadBuffersAndLengthsAreRefusedWithoutMoving)
{
    ASSERT_TRUE(PutFile(m_fs.get(), "b.bin", "abc"));
    nIOHandle* h = m_fs->Open("b.bin", false, true, true);
    ASSERT_NE(h, nullptr);
    char buffer[4];
    nLogCapture log;
    EXPECT_EQ(m_fs->Write(h, nullptr, 2), 0);
    EXPECT_EQ(m_fs->Write(h, "xy", -2), 0);
    EXPECT_EQ(m_fs->Write(h, "xy", 0), 0);
    m_fs->Close(h);
    h = m_fs->Open("b.bin", true, false, false);
    EXPECT_EQ(m_fs->Read(h, nullptr, 2), 0);
    EXPECT_EQ(m_fs->Read(h, buffer, -2), 0);
    EXPECT_EQ(m_fs->Read(h, buffer, 0), 0);
    EXPECT_EQ(log.Lines(), Lines(4, "[!] Invalid argument.\n"));
    EXPECT_EQ(m_fs->Tell(h), 0);
    EXPECT_EQ(ReadAll(m_fs.get(), h), "abc");
    m_fs->Close(h);
}

TEST_P(EveryFS, AppendKeepsContentsAndWritingWithoutAppendTruncates)
{
    ASSERT_TRUE(PutFile(m_fs.get(), "log.txt", "one"));
    nIOHandle* h = m_fs->Open("log.txt", false, true, true);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(m_fs->Write(h, "two", 3), 3);
    m_fs->Close(h);
    h = m_fs->Open("log.txt", true, false, false);
    EXPECT_EQ(ReadAll(m_fs.get(), h), "onetwo");
    m_fs->Close(h);

    ASSERT_TRUE(PutFile(m_fs.get(), "log.txt", "x"));
    h = m_fs->Open("log.txt", true, false, false);
    EXPECT_EQ(m_fs->GetSize(h), 1);
    m_fs->Close(h);
}

TEST_P(EveryFS, InterfaceDefaultsAndIdentity)
{
    EXPECT_EQ(m_fs->GetTypeId(), 15);
    EXPECT_TRUE(m_fs->GetCurrentDir().IsEmpty());
    EXPECT_STREQ(m_fs->GetName(), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(IO, EveryFS, ::testing::Values(FileSystemKind{"Disc", [] { return static_cast<nIOBaseFS*>(new nIODiskFS); }}, FileSystemKind{"Memory", [] { return static_cast<nIOBaseFS*>(new nIOMemoryFS); }}),
                         [](const ::testing::TestParamInfo<FileSystemKind>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Disk: Windows-style names on a case-sensitive file system

class DiskFS : public nIOTest
{
protected:
    nIODiskFS m_disk;
};

TEST_F(DiskFS, BackslashesAndCaseAreResolvedComponentByComponent)
{
    ASSERT_TRUE(m_dir.Write("Data/Models/Box.NMO", "box"));
    const std::vector<std::string> spellings = {
        "Data/Models/Box.NMO",
        "Data\\Models\\Box.NMO",
        "data\\models\\box.nmo",
        "DATA/MODELS/BOX.nmo",
        m_dir.Path("data\\Models/box.NMO"),
    };
    for (const std::string& name : spellings) {
        EXPECT_TRUE(m_disk.Exists(name.c_str())) << name;
        nIOHandle* h = m_disk.Open(name.c_str(), true, false, false);
        ASSERT_NE(h, nullptr) << name;
        EXPECT_EQ(ReadAll(&m_disk, h), "box") << name;
        m_disk.Close(h);
    }
    EXPECT_FALSE(m_disk.Exists("data/models/box.nmx"));
    EXPECT_FALSE(m_disk.Exists("data/model/box.nmo"));
    EXPECT_EQ(m_disk.Open("data/models/other.nmo", true, false, false), nullptr);
}

TEST_F(DiskFS, WritesLandInTheExistingDirectoryAndFileWhateverTheirCase)
{
    ASSERT_TRUE(m_dir.Write("Saves/Slot1.nml", "old"));
    // An existing file is replaced, not doubled by a second spelling.
    ASSERT_TRUE(PutFile(&m_disk, "saves\\slot1.NML", "new"));
    EXPECT_EQ(m_dir.List("Saves"), (std::vector<std::string>{"Slot1.nml"}));
    EXPECT_EQ(m_dir.Read("Saves/Slot1.nml"), "new");
    // A new file keeps its own name inside the existing directory.
    ASSERT_TRUE(PutFile(&m_disk, "SAVES\\Slot2.nml", "two"));
    EXPECT_EQ(m_dir.List("Saves"), (std::vector<std::string>{"Slot1.nml", "Slot2.nml"}));
    EXPECT_EQ(m_dir.List(""), (std::vector<std::string>{"Saves"}));
    // No directory of any case: the write fails and creates nothing.
    EXPECT_EQ(m_disk.Open("nodir\\x.txt", false, true, false), nullptr);
    EXPECT_EQ(m_dir.List(""), (std::vector<std::string>{"Saves"}));
}

TEST_F(DiskFS, RememberedNamesFollowChangesOnDisk)
{
    ASSERT_TRUE(m_dir.Write("Maps/Level.nms", "1"));
    EXPECT_TRUE(m_disk.Exists("maps/level.nms"));
    ASSERT_EQ(rename(m_dir.Path("Maps").c_str(), m_dir.Path("MAPS").c_str()), 0);
    EXPECT_TRUE(m_disk.Exists("maps/level.nms"));
    ASSERT_EQ(remove(m_dir.Path("MAPS/Level.nms").c_str()), 0);
    EXPECT_FALSE(m_disk.Exists("maps/level.nms"));
    ASSERT_TRUE(m_dir.Write("MAPS/LEVEL.nms", "2"));
    nIOHandle* h = m_disk.Open("maps/level.nms", true, false, false);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(ReadAll(&m_disk, h), "2");
    m_disk.Close(h);
}

TEST_F(DiskFS, SeveralSpellingsOnDiskResolveToTheFirstInByteOrder)
{
    ASSERT_TRUE(m_dir.Write("readme.TXT", "upper ext"));
    ASSERT_TRUE(m_dir.Write("README.txt", "upper name"));
    nIOHandle* h = m_disk.Open("Readme.txt", true, false, false);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(ReadAll(&m_disk, h), "upper name");
    m_disk.Close(h);
}

TEST_F(DiskFS, DirectoriesAreNeitherFilesNorOpenable)
{
    ASSERT_TRUE(m_dir.MakeDir("Folder"));
    for (const char* name : {"Folder", "folder", "Folder/"}) {
        EXPECT_FALSE(m_disk.Exists(name)) << name;
        EXPECT_EQ(m_disk.Open(name, true, false, false), nullptr) << name;
        EXPECT_EQ(m_disk.Open(name, false, true, false), nullptr) << name;
    }
    EXPECT_EQ(m_disk.GetOpenHandleCount(), 0);
}

TEST_F(DiskFS, ModesReadWriteAndAppendWithRead)
{
    // Read and write together update an existing file in place.
    ASSERT_TRUE(m_dir.Write("rw.bin", "abcdef"));
    nIOHandle* h = m_disk.Open("rw.bin", true, true, false);
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(m_disk.Seek(h, 2, nIOSeekStart));
    EXPECT_EQ(m_disk.Write(h, "XY", 2), 2);
    EXPECT_TRUE(m_disk.Close(h));
    EXPECT_EQ(m_dir.Read("rw.bin"), "abXYef");

    // Append with read creates a missing file and writes at its end.
    h = m_disk.Open("a+.txt", true, false, true);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(m_disk.Write(h, "one", 3), 3);
    m_disk.Close(h);
    h = m_disk.Open("a+.txt", true, false, true);
    EXPECT_EQ(m_disk.Write(h, "two", 3), 3);
    m_disk.Close(h);
    EXPECT_EQ(m_dir.Read("a+.txt"), "onetwo");

    nLogCapture log;
    EXPECT_EQ(m_disk.Open("none.txt", false, false, false), nullptr);
    EXPECT_EQ(log.Lines(), Lines{"[!] No access mode asked to open 'none.txt'.\n"});
}

TEST_F(DiskFS, SeekPastTheEndThenWriteExtendsTheFile)
{
    nIOHandle* h = m_disk.Open("sparse.bin", false, true, false);
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(m_disk.Seek(h, 4, nIOSeekStart));
    EXPECT_EQ(m_disk.Write(h, "z", 1), 1);
    EXPECT_EQ(m_disk.GetSize(h), 5);
    EXPECT_EQ(m_disk.Tell(h), 5);  // GetSize keeps the position
    m_disk.Close(h);
    EXPECT_EQ(m_dir.Read("sparse.bin"), std::string("\0\0\0\0z", 5));
}

TEST_F(DiskFS, ClosingAForeignHandleIsRefusedAndLeavesItOpen)
{
    ASSERT_TRUE(m_dir.Write("mine.txt", "m"));
    nIODiskFS other;
    nIOHandle* h = other.Open("mine.txt", true, false, false);
    ASSERT_NE(h, nullptr);
    nLogCapture log;
    EXPECT_FALSE(m_disk.Close(h));
    char number[32];
    snprintf(number, sizeof number, "%" PRIuPTR, reinterpret_cast<uintptr_t>(h));
    EXPECT_EQ(log.Lines(), Lines{std::string("[!] Trying to close a disk handle (") + number +
                                 ") that was not opened on this file system.\n"});
    EXPECT_EQ(ReadAll(&other, h), "m");  // still usable where it belongs
    EXPECT_TRUE(other.Close(h));
}

TEST_F(DiskFS, ListDirFollowsWindowsWildcards)
{
    for (const char* name : {"a.txt", "B.TXT", "c.nml", "noext", "ab.txt", "x[1].txt", "Sub/inner.txt"})
        ASSERT_TRUE(m_dir.Write(name, "."));
    using Names_ = std::vector<std::string>;
    struct Case
    {
        std::string pattern;
        Names_ names;
    };
    const Case cases[] = {
        {"*", {".", "..", "B.TXT", "Sub", "a.txt", "ab.txt", "c.nml", "noext", "x[1].txt"}},
        {"*.*", {".", "..", "B.TXT", "Sub", "a.txt", "ab.txt", "c.nml", "noext", "x[1].txt"}},
        {"*.txt", {"B.TXT", "a.txt", "ab.txt", "x[1].txt"}},
        {"?.txt", {"B.TXT", "a.txt"}},
        {"noext.*", {"noext"}},
        {"x[1].*", {"x[1].txt"}},
        {"sub\\*.TXT", {"inner.txt"}},
        {m_dir.Path("SUB/*"), {".", "..", "inner.txt"}},
    };
    for (const Case& c : cases) {
        nList<nString*> list;
        EXPECT_TRUE(m_disk.ListDir(c.pattern.c_str(), &list)) << c.pattern;
        EXPECT_EQ(Names(list), c.names) << c.pattern;
        DeleteNames(list);
    }
}

TEST_F(DiskFS, ListDirWithoutMatchesEmptiesTheListAndReturnsFalse)
{
    ASSERT_TRUE(m_dir.Write("a.txt", "."));
    nList<nString*> list;
    list.InsertAfter(new nString("stale"), nullptr);  // deleted by ListDir
    for (const char* pattern : {"*.wav", "missing/*", "a.txt/*", ""}) {
        EXPECT_FALSE(m_disk.ListDir(pattern, &list)) << pattern;
        EXPECT_EQ(list.GetCount(), 0) << pattern;
    }
}

TEST_F(DiskFS, ChangeDirAcceptsWindowsNames)
{
    ASSERT_TRUE(m_dir.Write("Game/Data/x.txt", "x"));
    EXPECT_TRUE(m_disk.ChangeDir("game\\DATA"));
    EXPECT_TRUE(m_disk.Exists("x.txt"));
    EXPECT_TRUE(m_disk.Exists("X.TXT"));
    EXPECT_TRUE(m_disk.ChangeDir(".."));
    EXPECT_TRUE(m_disk.Exists("Data/x.txt"));
    EXPECT_FALSE(m_disk.ChangeDir("nowhere"));
    EXPECT_TRUE(m_disk.Exists("Data/x.txt"));
}

// ---------------------------------------------------------------------------------------------
// Memory file system

class MemoryFS : public nIOTest
{
protected:
    nIOMemoryFS m_mem;
};

TEST_F(MemoryFS, BuffersGrowByPositionPlusLengthPlus8192)
{
    const int32_t record = int32_t(sizeof(nIOMemoryFile));
    nIOHandle* h = m_mem.Open("grow.bin", false, true, false);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(m_mem.GetMemoryUsage(), 4096 + record);
    const std::string ten(10, 'a'), more(5000, 'b');
    EXPECT_EQ(m_mem.Write(h, ten.data(), 10), 10);
    EXPECT_EQ(m_mem.GetMemoryUsage(), 4096 + record);
    EXPECT_EQ(m_mem.Write(h, more.data(), 5000), 5000);
    EXPECT_EQ(m_mem.GetMemoryUsage(), 5010 + 8192 + record);
    // An overwrite inside the contents keeps what lies beyond it.
    EXPECT_TRUE(m_mem.Seek(h, 5, nIOSeekStart));
    EXPECT_EQ(m_mem.Write(h, "XY", 2), 2);
    EXPECT_EQ(m_mem.GetSize(h), 5010);
    m_mem.Close(h);
    h = m_mem.Open("grow.bin", true, false, false);
    EXPECT_EQ(ReadAll(&m_mem, h), ten.substr(0, 5) + "XY" + ten.substr(7) + more);
    m_mem.Close(h);
}

TEST_F(MemoryFS, SeekOutsideTheFileIsRefusedWithItsLine)
{
    ASSERT_TRUE(PutFile(&m_mem, "s.bin", std::string(100, 'x')));
    nIOHandle* h = m_mem.Open("s.bin", true, false, false);
    ASSERT_TRUE(m_mem.Seek(h, -10, nIOSeekEnd));
    nLogCapture log;
    EXPECT_FALSE(m_mem.Seek(h, 10, nIOSeekEnd));
    EXPECT_FALSE(m_mem.Seek(h, 101, nIOSeekStart));
    EXPECT_EQ(log.Lines(), Lines(2, "[!] Cannot seek outside of file boundaries.\n"));
    EXPECT_EQ(m_mem.Tell(h), 90);
    m_mem.Close(h);
}

TEST_F(MemoryFS, ReadHandlesNeverModifyAFile)
{
    ASSERT_TRUE(PutFile(&m_mem, "ro.txt", "original"));
    for (bool write : {false, true}) {
        nIOHandle* h = m_mem.Open("ro.txt", true, write, false);
        ASSERT_NE(h, nullptr);
        nLogCapture log;
        EXPECT_EQ(m_mem.Write(h, "XXXXXXXXXXXXXXXXXXXX", 20), 0);
        EXPECT_EQ(log.Lines(), Lines{"[!] Cannot write to file 'ro.txt', it was opened for reading.\n"});
        EXPECT_EQ(m_mem.GetSize(h), 8);
        EXPECT_EQ(ReadAll(&m_mem, h), "original");
        m_mem.Close(h);
    }
}

TEST_F(MemoryFS, AWriterNeedsExclusiveAccess)
{
    ASSERT_TRUE(PutFile(&m_mem, "x.txt", "keep"));
    nIOHandle* reader = m_mem.Open("x.txt", true, false, false);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(m_mem.FindOpenHandle("x.txt"), reader);
    EXPECT_EQ(m_mem.FindOpenHandle("y.txt"), nullptr);
    {
        nLogCapture log;
        EXPECT_EQ(m_mem.Open("x.txt", false, true, false), nullptr);
        EXPECT_EQ(m_mem.Open("x.txt", false, true, true), nullptr);
        EXPECT_EQ(log.Lines(), Lines(2, "[!] Cannot write to file 'x.txt', exclusive access required.\n"));
    }
    EXPECT_EQ(ReadAll(&m_mem, reader), "keep");  // the refused writer did not truncate
    m_mem.Close(reader);

    nIOHandle* writer = m_mem.Open("x.txt", false, true, true);
    ASSERT_NE(writer, nullptr);
    EXPECT_EQ(m_mem.Tell(writer), 4);  // append starts at the end
    nLogCapture log;
    EXPECT_EQ(m_mem.Open("x.txt", false, true, false), nullptr);
    EXPECT_EQ(log.Lines().size(), 1u);
    nIOHandle* second = m_mem.Open("x.txt", true, false, false);  // readers may join a writer
    EXPECT_NE(second, nullptr);
    m_mem.Close(second);
    m_mem.Close(writer);
}

TEST_F(MemoryFS, RefusalsLogTheirLines)
{
    nLogCapture log;
    EXPECT_EQ(m_mem.Open("missing.txt", true, false, false), nullptr);
    EXPECT_EQ(m_mem.Open("x.txt", false, false, false), nullptr);
    nIOMemoryFS other;
    ASSERT_TRUE(PutFile(&other, "o.txt", "o"));
    nIOHandle* foreign = other.Open("o.txt", true, false, false);
    EXPECT_FALSE(m_mem.Close(foreign));
    EXPECT_EQ(log.Lines(), (Lines{
                               "[!] File 'missing.txt' does not exist.\n",
                               "[!] No access mode asked to open 'x.txt'.\n",
                               "[!] Trying to close a memory handle that was not opened on this file system.\n",
                           }));
    EXPECT_FALSE(m_mem.Exists("missing.txt"));
    EXPECT_FALSE(m_mem.Exists("x.txt"));
    EXPECT_TRUE(other.Close(foreign));
}

TEST_F(MemoryFS, WritingEmptiesACachedFileAndAppendContinuesIt)
{
    ASSERT_TRUE(m_dir.Write("c.txt", "from disk"));
    ASSERT_TRUE(m_mem.CacheFile("c.txt"));
    EXPECT_EQ(m_mem.GetMemoryUsage(), 9 + int32_t(sizeof(nIOMemoryFile)));

    nIOHandle* h = m_mem.Open("c.txt", false, true, true);
    EXPECT_EQ(m_mem.Tell(h), 9);
    EXPECT_EQ(m_mem.Write(h, "!", 1), 1);
    m_mem.Close(h);
    h = m_mem.Open("c.txt", true, false, false);
    EXPECT_EQ(ReadAll(&m_mem, h), "from disk!");
    m_mem.Close(h);

    h = m_mem.Open("c.txt", false, true, false);
    EXPECT_EQ(m_mem.GetSize(h), 0);
    EXPECT_EQ(m_mem.GetMemoryUsage(), 4096 + int32_t(sizeof(nIOMemoryFile)));
    m_mem.Close(h);
}

TEST_F(MemoryFS, CachingTwiceKeepsTheFirstCopy)
{
    ASSERT_TRUE(m_dir.Write("c.txt", "first"));
    ASSERT_TRUE(m_mem.CacheFile("c.txt"));
    ASSERT_TRUE(m_dir.Write("c.txt", "second"));
    nLogCapture log;
    EXPECT_FALSE(m_mem.CacheFile("c.txt"));
    ASSERT_TRUE(m_dir.Write("empty.txt", ""));
    EXPECT_FALSE(m_mem.CacheFile("empty.txt"));
    EXPECT_EQ(log.Lines(), (Lines{
                               "[!] File 'c.txt' already exists.\n",
                               "[!] File source 'empty.txt' not found.\n",
                           }));
    nIOHandle* h = m_mem.Open("c.txt", true, false, false);
    EXPECT_EQ(ReadAll(&m_mem, h), "first");
    m_mem.Close(h);
}

TEST_F(MemoryFS, WriteFileToDiskCopiesTheWholeContents)
{
    ASSERT_TRUE(PutFile(&m_mem, "m.bin", std::string("a\0b", 3)));
    ASSERT_TRUE(m_dir.MakeDir("Out"));
    EXPECT_TRUE(m_mem.WriteFileToDisk("m.bin", "out\\m.bin"));
    EXPECT_EQ(m_dir.Read("Out/m.bin"), std::string("a\0b", 3));

    nLogCapture log;
    EXPECT_FALSE(m_mem.WriteFileToDisk("none.bin", "x.bin"));
    EXPECT_FALSE(m_mem.WriteFileToDisk("m.bin", "nodir/m.bin"));
    EXPECT_EQ(log.Lines(), (Lines{
                               "[!] File 'none.bin' does not exist.\n",
                               "[!] Failed to write 'm.bin' to 'nodir/m.bin'.\n",
                           }));
    EXPECT_FALSE(m_dir.Exists("x.bin"));
}

TEST_F(MemoryFS, ShutdownClosesHandlesAndForgetsFiles)
{
    ASSERT_TRUE(PutFile(&m_mem, "a", "1"));
    ASSERT_TRUE(PutFile(&m_mem, "b", "2"));
    nIOHandle* open = m_mem.Open("a", true, false, false);
    ASSERT_NE(open, nullptr);
    m_mem.Shutdown();
    EXPECT_EQ(m_mem.GetOpenHandleCount(), 0);
    EXPECT_FALSE(m_mem.Exists("a"));
    EXPECT_EQ(m_mem.GetMemoryUsage(), 0);
}

}  // namespace
