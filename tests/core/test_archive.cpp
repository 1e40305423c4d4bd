#include <gtest/gtest.h>

#include <zlib.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "core/nArchive.h"
#include "core/nIO.h"
#include "core/nIOArchiveFS.h"
#include "core/nIODiskFS.h"
#include "core/nIOFile.h"
#include "core/nIOMemoryFS.h"
#include "core/nString.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nTempDir.h"

namespace {

typedef std::vector<std::string> Lines;

// Hand-built archive bytes.
std::string U32(uint32_t v)
{
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[i] = char((v >> (8 * i)) & 0xFF);
    return s;
}

std::string Deflate(const std::string& data)
{
    uLongf length = compressBound(data.size());
    std::string out(length, '\0');
    EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(&out[0]), &length,
                        reinterpret_cast<const Bytef*>(data.data()), data.size(), 6),
              Z_OK);
    out.resize(length);
    return out;
}

// An unaligned entry: raw, or zlib with the given stored bytes and claimed length.
std::string RawEntry(const std::string& name, const std::string& data)
{
    return U32(uint32_t(name.size())) + name + std::string(1, '\0') + U32(uint32_t(data.size())) + data;
}

std::string ZlibEntry(const std::string& name, const std::string& stored, uint32_t length)
{
    return U32(uint32_t(name.size())) + name + std::string(1, '\1') + U32(length) +
           U32(uint32_t(stored.size())) + stored;
}

const std::string kEnd = U32(0xFFFFFFFFu);

std::string DranHeader(uint32_t alignment, uint32_t endBlock)
{
    std::string s = "DRAN" + U32(alignment);
    while (alignment && s.size() % alignment)
        s += '\0';
    return s + U32(endBlock);
}

// Text with repeats, so that zlib shrinks it.
std::string Words(size_t length, uint32_t seed)
{
    static const char* const words[] = {"alpha ", "beta ", "gamma ", "delta ", "scene ", "item "};
    std::string s;
    while (s.size() < length) {
        seed = seed * 1664525u + 1013904223u;
        s += words[(seed >> 16) % 6];
    }
    s.resize(length);
    return s;
}

// Bytes zlib cannot shrink.
std::string Noise(size_t length, uint32_t seed)
{
    std::string s(length, '\0');
    for (size_t i = 0; i < length; ++i) {
        seed = seed * 1103515245u + 12345u;
        s[i] = char(seed >> 16);
    }
    return s;
}

std::string LoadAll(nArchive& archive, const char* name)
{
    const nArchiveEntry* entry = archive.GetIndex().Find(name);
    if (!entry)
        return "<missing>";
    std::string out(entry->length, '\0');
    if (!archive.LoadEntry(name, out.empty() ? nullptr : &out[0]))
        return "<failed>";
    return out;
}

// Reads a whole file through the IO layer, in small pieces.
std::string ReadStream(const char* path)
{
    nIOFile file(1);
    if (!file.Open(path, true, false, false))
        return "<missing>";
    std::string out;
    char piece[7];
    for (int32_t got; (got = file.Read(piece, sizeof(piece))) > 0;)
        out.append(piece, size_t(got));
    EXPECT_EQ(int32_t(out.size()), file.GetSize());
    file.Close();
    return out;
}

// Makes the next archive this object writes use the given alignment and end block: an archive
// writes with the layout of the last "DRAN" archive it read.
void PrimeLayout(nArchive& archive, nTempDir& dir, uint32_t alignment, uint32_t endBlock)
{
    ASSERT_TRUE(dir.Write("layout.qza", DranHeader(alignment, endBlock) + kEnd));
    ASSERT_TRUE(archive.OpenRead(dir.Path("layout.qza").c_str(), nullptr, nullptr));
    archive.Close();
}

// Restores the IO layer's current file system and fallback queue.
struct IOStateGuard
{
    std::vector<nIOBaseFS*> queued;
    ~IOStateGuard()
    {
        nList<nString> none;
        nIO::SetSearchPaths(none);
        nIO::SetCurrentFS(nullptr);
        for (nIOBaseFS* fs : queued)
            nIO::RemoveFallbackFS(fs);
    }
    void Queue(nIOBaseFS* fs)
    {
        nIO::QueueFallbackFS(fs);
        queued.push_back(fs);
    }
};

// ---------------------------------------------------------------------------------------------
// Layout

TEST(ArchiveLayout, NewWriterProducesPlainDranEntriesAndMarker)
{
    nTempDir dir;
    const std::string path = dir.Path("a.qza");
    nLogCapture log;
    {
        nArchive archive;
        ASSERT_TRUE(archive.OpenWrite(path.c_str(), nullptr));
        ASSERT_TRUE(archive.AddFile("abcde", "xyz", 3, -1));
        archive.Close();
    }
    // A raw entry with a five-character name holding 3 bytes takes 4 + 5 + 1 + 4 + 3 bytes; an
    // archive without end block ends with exactly the four marker bytes.
    EXPECT_EQ(dir.Read("a.qza"), DranHeader(0, 0) + RawEntry("abcde", "xyz") + kEnd);
    EXPECT_EQ(RawEntry("abcde", "xyz").size(), 17u);
    EXPECT_EQ(log.Lines(), Lines({"Archive complete, closing.\n"}));

    nArchive reader;
    ASSERT_TRUE(reader.OpenRead(path.c_str(), nullptr, nullptr));
    const nArchiveEntry* entry = reader.GetIndex().Find("abcde");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->offset, 12u + 14u);
    EXPECT_EQ(entry->length, 3u);
    EXPECT_EQ(LoadAll(reader, "abcde"), "xyz");
}

TEST(ArchiveLayout, EndBlockPadsFromTheMarkerToTheNextMultiple)
{
    struct Case
    {
        uint32_t dataLength;
        size_t padding;
    };
    // Header 12 bytes + entry (4 + 1 + 1 + 4 + data) + marker 4: ends at 36 or at 48.
    const Case cases[] = {{10, 12}, {22, 16}};
    for (const Case& c : cases) {
        nTempDir dir;
        nArchive archive;
        PrimeLayout(archive, dir, 0, 16);
        const std::string path = dir.Path("p.qza");
        const std::string data(c.dataLength, 'd');
        ASSERT_TRUE(archive.OpenWrite(path.c_str(), nullptr));
        ASSERT_TRUE(archive.AddFile("n", data.data(), c.dataLength, -1));
        archive.Close();
        EXPECT_EQ(dir.Read("p.qza"),
                  DranHeader(0, 16) + RawEntry("n", data) + kEnd + std::string(c.padding, '\xFF'))
            << "data length " << c.dataLength;
    }
}

TEST(ArchiveLayout, CranWithoutEndMarkerIsScannedToTheEnd)
{
    nTempDir dir;
    ASSERT_TRUE(dir.Write("c.qza", "CRAN" + RawEntry("one", "1111") + RawEntry("two", "22")));
    nLogCapture log;
    nArchive archive;
    ASSERT_TRUE(archive.OpenRead(dir.Path("c.qza").c_str(), nullptr, nullptr));
    EXPECT_FALSE(archive.IsDRAN());
    ASSERT_EQ(archive.GetIndex().GetCount(), 2);
    EXPECT_EQ(archive.GetIndex().Find("one")->offset, 4u + 4u + 3u + 1u + 4u);
    EXPECT_EQ(LoadAll(archive, "one"), "1111");
    EXPECT_EQ(LoadAll(archive, "two"), "22");
    EXPECT_TRUE(log.Lines().empty());
}

TEST(ArchiveLayout, ScanStopsAtANameLongerThanTheWriterAccepts)
{
    // The longest name the writer accepts is still an entry; one byte more ends the scan,
    // however plausible the bytes after it look.
    const std::string longest(511, 'n');
    const std::string tooLong(512, 'x');
    nTempDir dir;
    ASSERT_TRUE(dir.Write("l.qza", "CRAN" + RawEntry("one", "1111") + RawEntry(longest, "22") +
                                       RawEntry(tooLong, "333") + RawEntry("two", "4")));
    nLogCapture log;
    nArchive archive;
    ASSERT_TRUE(archive.OpenRead(dir.Path("l.qza").c_str(), nullptr, nullptr));
    EXPECT_EQ(archive.GetIndex().GetCount(), 2);
    EXPECT_EQ(LoadAll(archive, "one"), "1111");
    EXPECT_EQ(LoadAll(archive, longest.c_str()), "22");
    EXPECT_EQ(archive.GetIndex().Find(tooLong.c_str()), nullptr);
    EXPECT_EQ(archive.GetIndex().Find("two"), nullptr);
    const size_t offset = 4 + RawEntry("one", "1111").size() + RawEntry(longest, "22").size();
    EXPECT_EQ(log.Lines(), Lines({"[!] Entry name at offset " + std::to_string(offset) + " in archive '" +
                                  dir.Path("l.qza") + "' is longer than 511 bytes; the scan stops there.\n"}));
}

TEST(ArchiveLayout, IncompressibleDataIsStillStoredCompressed)
{
    nTempDir dir;
    const std::string path = dir.Path("n.qza");
    const std::string noise = Noise(4000, 7);
    {
        nArchive archive;
        ASSERT_TRUE(archive.OpenWrite(path.c_str(), nullptr));
        ASSERT_TRUE(archive.AddFile("noise", noise.data(), uint32_t(noise.size()), 9));
        archive.Close();
    }
    nArchive archive;
    ASSERT_TRUE(archive.OpenRead(path.c_str(), nullptr, nullptr));
    const nArchiveEntry* entry = archive.GetIndex().Find("noise");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->method, ArchiveMethodZlib);
    EXPECT_GE(entry->compressedLength, entry->length);
    EXPECT_EQ(LoadAll(archive, "noise"), noise);
}

// ---------------------------------------------------------------------------------------------
// Index lookups

TEST(ArchiveIndexLookup, FindsTheFirstEntryOfEachNameThroughAddsAndRemoves)
{
    nArchiveIndex index;
    std::vector<nArchiveEntry*> added;
    for (int i = 0; i < 3000; ++i) {
        nArchiveEntry* entry = new nArchiveEntry;
        // Every seventh name repeats an earlier one; one name is empty.
        const int id = i % 7 == 6 ? i / 2 : i;
        entry->name.Set(id == 5 ? "" : ("dir/file" + std::to_string(id) + ".tga").c_str());
        entry->offset = uint32_t(i);
        ASSERT_TRUE(index.Add(entry));
        added.push_back(entry);
    }
    for (size_t i = 0; i < added.size(); i += 3)
        ASSERT_TRUE(index.Remove(added[i]));
    EXPECT_FALSE(index.Remove(added[0]));
    auto firstByWalk = [&](const char* name) -> nArchiveEntry* {
        for (int32_t i = 0; i < index.GetCount(); ++i) {
            nArchiveEntry* entry = index.GetAt(i);
            if (std::string(entry->name.GetCStr() ? entry->name.GetCStr() : "") == name)
                return entry;
        }
        return nullptr;
    };
    for (int id = 0; id < 3100; ++id) {
        const std::string name = id == 5 ? "" : "dir/file" + std::to_string(id) + ".tga";
        EXPECT_EQ(index.Find(name.c_str()), firstByWalk(name.c_str())) << name;
    }
    EXPECT_EQ(index.Find(nullptr), nullptr);
    index.Clear();
    EXPECT_EQ(index.Find("dir/file1.tga"), nullptr);
    EXPECT_EQ(index.GetCount(), 0);
}

// ---------------------------------------------------------------------------------------------
// Round trips

struct RoundTripEntry
{
    std::string name;
    std::string data;
    int level;
};

std::vector<RoundTripEntry> RoundTripEntries()
{
    return {
        {"scene.nms", Words(5000, 1), 6},
        {"raw/texture.tga", Noise(777, 2), -1},
        {"", "an empty name", -1},
        {std::string(nArchive::MaxNameLength, 'n'), Words(300, 3), 9},
        {"empty.raw", "", -1},
        {"empty.zlib", "", 6},
        {"one", "1", 1},
        {"last.bin", Noise(33, 4), 0},
    };
}

TEST(ArchiveRoundTrip, EveryLayoutReadsBackEveryEntry)
{
    struct Layout
    {
        uint32_t alignment;
        uint32_t endBlock;
    };
    const Layout layouts[] = {{0, 0}, {0, 16}, {4, 0}, {4, 16}, {8, 2048}, {3, 5}};
    const std::vector<RoundTripEntry> entries = RoundTripEntries();
    for (const Layout& layout : layouts) {
        SCOPED_TRACE("alignment " + std::to_string(layout.alignment) + ", end block " +
                     std::to_string(layout.endBlock));
        nTempDir dir;
        const std::string path = dir.Path("r.qza");
        {
            nArchive writer;
            PrimeLayout(writer, dir, layout.alignment, layout.endBlock);
            ASSERT_TRUE(writer.OpenWrite(path.c_str(), nullptr));
            for (const RoundTripEntry& e : entries)
                ASSERT_TRUE(writer.AddFile(e.name.c_str(), e.data.data(), uint32_t(e.data.size()), e.level));
            writer.Close();
        }
        const std::string bytes = dir.Read("r.qza");
        if (layout.endBlock) {
            EXPECT_EQ(bytes.size() % layout.endBlock, 0u);
        }

        nLogCapture log;
        nArchive reader;
        ASSERT_TRUE(reader.OpenRead(path.c_str(), nullptr, nullptr));
        EXPECT_TRUE(reader.IsDRAN());
        EXPECT_EQ(reader.GetAlignment(), layout.alignment);
        EXPECT_EQ(reader.GetEndBlock(), layout.endBlock);
        ASSERT_EQ(reader.GetIndex().GetCount(), int32_t(entries.size()));
        for (int32_t i = 0; i < int32_t(entries.size()); ++i) {
            const RoundTripEntry& e = entries[size_t(i)];
            const nArchiveEntry* entry = reader.GetIndex().GetAt(i);
            ASSERT_NE(entry, nullptr);
            EXPECT_EQ(reader.GetIndex().Find(e.name.c_str()), entry);
            EXPECT_EQ(entry->method, e.level >= 0 ? ArchiveMethodZlib : ArchiveMethodRaw);
            EXPECT_EQ(entry->length, e.data.size());
            if (layout.alignment) {
                EXPECT_EQ(entry->offset % layout.alignment, 0u) << e.name;
            }
            EXPECT_EQ(LoadAll(reader, e.name.c_str()), e.data) << e.name;
        }
        EXPECT_TRUE(log.Lines().empty());
    }
}

TEST(ArchiveRoundTrip, UserStreamsStayOpenAndSeeTheSameArchive)
{
    nTempDir dir;
    const std::string path = dir.Path("u.qza");
    nIOFile out(1);
    ASSERT_TRUE(out.Open(path.c_str(), false, true, false));
    {
        nArchive writer;
        ASSERT_TRUE(writer.OpenWrite(nullptr, &out));
        ASSERT_TRUE(writer.AddFile("x", "hello", 5, 6));
        writer.Close();
    }
    EXPECT_TRUE(out.IsOpen());
    out.Close();

    nIOFile in(1);
    ASSERT_TRUE(in.Open(path.c_str(), true, false, false));
    nArchive reader;
    ASSERT_TRUE(reader.OpenRead(nullptr, nullptr, &in));
    EXPECT_EQ(LoadAll(reader, "x"), "hello");
    reader.Close();
    EXPECT_TRUE(in.IsOpen());

    nIOFile closed(1);
    nLogCapture log;
    EXPECT_FALSE(reader.OpenRead(nullptr, nullptr, &closed));
    EXPECT_FALSE(reader.OpenWrite(nullptr, &closed));
    EXPECT_EQ(log.Lines(), Lines({"[!] Cannot open archive for reading, user stream is not open.\n",
                                  "[!] Cannot open archive for writing, user stream is not open.\n"}));
}

TEST(ArchiveRoundTrip, TwoArchivesOpenAtOnceKeepTheirOwnFiles)
{
    nTempDir dir;
    for (const char* name : {"first", "second"}) {
        nArchive writer;
        ASSERT_TRUE(writer.OpenWrite(dir.Path(std::string(name) + ".qza").c_str(), nullptr));
        ASSERT_TRUE(writer.AddFile("entry", name, uint32_t(strlen(name)), -1));
        writer.Close();
    }
    nArchive first, second;
    ASSERT_TRUE(first.OpenRead(dir.Path("first.qza").c_str(), nullptr, nullptr));
    ASSERT_TRUE(second.OpenRead(dir.Path("second.qza").c_str(), nullptr, nullptr));
    EXPECT_EQ(LoadAll(first, "entry"), "first");
    EXPECT_EQ(LoadAll(second, "entry"), "second");
}

TEST(ArchiveRoundTrip, AddFileFromPathStoresTheFileUnderItsName)
{
    nTempDir dir;
    ASSERT_TRUE(dir.Write("src/model.nml", Words(900, 5)));
    ASSERT_TRUE(dir.Write("src/empty.txt", ""));
    const std::string source = dir.Path("src/model.nml");
    const std::string path = dir.Path("f.qza");
    {
        nArchive writer;
        ASSERT_TRUE(writer.OpenWrite(path.c_str(), nullptr));
        EXPECT_TRUE(writer.AddFileFromPath(source.c_str(), "model.nml", 6));
        EXPECT_TRUE(writer.AddFileFromPath(source.c_str(), nullptr, -1));
        EXPECT_TRUE(writer.AddFileFromPath(dir.Path("src/empty.txt").c_str(), "empty", 6));
        nLogCapture log;
        const std::string missing = dir.Path("src/missing.txt");
        EXPECT_FALSE(writer.AddFileFromPath(missing.c_str(), "missing", 6));
        EXPECT_EQ(log.Lines(), Lines({"[!] Failed to load '" + missing + "'.\n"}));
        writer.Close();
    }
    nArchive reader;
    ASSERT_TRUE(reader.OpenRead(path.c_str(), nullptr, nullptr));
    EXPECT_EQ(LoadAll(reader, "model.nml"), Words(900, 5));
    EXPECT_EQ(LoadAll(reader, source.c_str()), Words(900, 5));
    EXPECT_EQ(LoadAll(reader, "empty"), "");
    EXPECT_EQ(reader.GetIndex().GetCount(), 3);
}

TEST(ArchiveRoundTrip, VerboseModeReportsEveryStep)
{
    nTempDir dir;
    const std::string path = dir.Path("v.qza");
    const std::string words = Words(10000, 9);
    nLogCapture log;
    {
        nArchive writer;
        writer.SetVerbose(true);
        ASSERT_TRUE(writer.OpenWrite(path.c_str(), nullptr));
        ASSERT_TRUE(writer.AddFile("w", words.data(), uint32_t(words.size()), 6));
        ASSERT_TRUE(writer.AddFile("e", "", 0, 6));
        ASSERT_TRUE(writer.AddFile("bad level", "x", 1, 42));
        writer.Close();
    }
    nArchive reader;
    reader.SetVerbose(true);
    ASSERT_TRUE(reader.OpenRead(path.c_str(), nullptr, nullptr));
    const nArchiveEntry* w = reader.GetIndex().Find("w");
    const nArchiveEntry* e = reader.GetIndex().Find("e");
    const nArchiveEntry* x = reader.GetIndex().Find("bad level");
    ASSERT_TRUE(w && e && x);
    const std::string wc = std::to_string(w->compressedLength);
    EXPECT_EQ(log.Lines(),
              Lines({"[H] Adding 'w' to archive...\n",
                     "Was 10 KB, is now " + std::to_string(w->compressedLength / 1000) + " KB (" +
                         std::to_string(w->compressedLength * 100 / 10000) + "%).\n",
                     "[H] Adding 'e' to archive...\n",
                     // An empty entry has no ratio to divide out.
                     "Was 0 KB, is now 0 KB (100%).\n",
                     "[H] Adding 'bad level' to archive...\n",
                     "No compression achieved for 'bad level', adding uncompressed.\n",
                     "Archive complete, closing.\n",
                     "No index provided, please wait while scanning archive...\n",
                     "New entry: 'w'\n",
                     "[method = 1, len = 10000, clen = " + wc + ", offset = " + std::to_string(w->offset) + "].\n",
                     "New entry: 'e'\n",
                     "[method = 1, len = 0, clen = " + std::to_string(e->compressedLength) +
                         ", offset = " + std::to_string(e->offset) + "].\n",
                     "New entry: 'bad level'\n",
                     "[method = 0, len = 1, clen = 1, offset = " + std::to_string(x->offset) + "].\n",
                     "Done, index table built.\n", "\n"}));
}

// ---------------------------------------------------------------------------------------------
// Refusals and damaged archives

TEST(ArchiveWriter, RefusesWhatItCouldNotReadBack)
{
    nTempDir dir;
    const std::string path = dir.Path("w.qza");
    nArchive archive;
    nLogCapture log;
    EXPECT_FALSE(archive.AddFile("early", "x", 1, -1));
    ASSERT_TRUE(archive.OpenWrite(path.c_str(), nullptr));
    const std::string longName(nArchive::MaxNameLength + 1, 'L');
    EXPECT_FALSE(archive.AddFile(longName.c_str(), "x", 1, -1));
    EXPECT_TRUE(archive.AddFile("kept", "k", 1, -1));
    EXPECT_FALSE(archive.AddFile("kept", "again", 5, -1));
    EXPECT_FALSE(archive.LoadEntry("kept", nullptr));
    archive.Close();
    EXPECT_EQ(log.Lines(), Lines({"[!] Cannot write 'early' (r/w mode error).\n",
                                  "[!] Entry name '" + longName + "' is longer than 511 bytes.\n",
                                  "[!] An entry with alias 'kept' already exists.\n",
                                  "[!] Cannot load 'kept' (r/w mode error).\n",
                                  "Archive complete, closing.\n"}));
    EXPECT_EQ(dir.Read("w.qza"), DranHeader(0, 0) + RawEntry("kept", "k") + kEnd);
}

TEST(ArchiveWriter, ReportsBytesTheStreamRefuses)
{
    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full";
    const std::string big = Noise(100000, 31);
    nLogCapture log;
    nArchive archive;
    ASSERT_TRUE(archive.OpenWrite("/dev/full", nullptr));
    EXPECT_FALSE(archive.AddFile("big", big.data(), uint32_t(big.size()), -1));
    EXPECT_EQ(archive.GetIndex().Find("big"), nullptr);
    archive.Close();
    const Lines lines = log.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "[!] Failed to write 'big' to archive '/dev/full'.\n");

    // A stream that cannot be written at all fails the header.
    nTempDir dir;
    ASSERT_TRUE(dir.Write("ro.qza", "old"));
    nIOFile readOnly(1);
    ASSERT_TRUE(readOnly.Open(dir.Path("ro.qza").c_str(), true, false, false));
    log.Clear();
    EXPECT_FALSE(archive.OpenWrite(nullptr, &readOnly));
    EXPECT_FALSE(archive.IsWriteMode());
    EXPECT_EQ(log.Lines(), Lines({"[!] Failed to write archive header to ''.\n"}));
}

// A name longer than any writer of ours makes ends the scan, even when an entry follows it.
TEST(ArchiveReader, LongNamesFromOtherWritersEndTheScan)
{
    nTempDir dir;
    const std::string longName(600, 'q');
    ASSERT_TRUE(dir.Write("l.qza", DranHeader(0, 0) + RawEntry("before", "first") + RawEntry(longName, "long") +
                                       RawEntry("after", "later") + kEnd));
    nLogCapture log;
    nArchive archive;
    ASSERT_TRUE(archive.OpenRead(dir.Path("l.qza").c_str(), nullptr, nullptr));
    EXPECT_EQ(LoadAll(archive, "before"), "first");
    EXPECT_EQ(archive.GetIndex().Find(longName.c_str()), nullptr);
    EXPECT_EQ(archive.GetIndex().Find("after"), nullptr);
    EXPECT_EQ(log.Lines().size(), 1u);
}

TEST(ArchiveReader, DamagedArchivesKeepWhatIsReadable)
{
    const std::string good = RawEntry("good", "fine");
    const std::string afterGood = std::to_string(12 + good.size());
    struct Case
    {
        const char* what;
        std::string bytes;
        bool opens;
        std::vector<std::string> names;  // entries found, in order
        std::vector<std::string> lines;  // "%s" stands for the archive path
    };
    const Case cases[] = {
        {"empty file", "", false, {}, {"[!] Invalid archive type '%s'.\n"}},
        {"bad magic", "XRAN" + good, false, {}, {"[!] Invalid archive type '%s'.\n"}},
        {"short magic", "DR", false, {}, {"[!] Invalid archive type '%s'.\n"}},
        {"truncated header", "DRAN" + U32(0) + "\1", false, {}, {"[!] Truncated archive header in '%s'.\n"}},
        {"huge alignment", "DRAN" + U32(0x80000000u) + U32(0) + good, false, {}, {"[!] Invalid alignment or end block in archive '%s'.\n"}},
        {"huge end block", DranHeader(0, 0x7FFFFFFFu) + good, false, {}, {"[!] Invalid alignment or end block in archive '%s'.\n"}},
        {"stray bytes after the last entry", DranHeader(0, 0) + good + "\5\0", true, {"good"}, {"[!] Truncated entry at offset " + afterGood + " in archive '%s'.\n"}},
        {"name longer than the file", DranHeader(0, 0) + good + U32(500) + "abc", true, {"good"}, {"[!] Truncated entry at offset " + afterGood + " in archive '%s'.\n"}},
        {"fields cut off", DranHeader(0, 0) + good + U32(2) + "ab" + std::string(1, '\1') + U32(9), true, {"good"}, {"[!] Truncated entry at offset " + afterGood + " in archive '%s'.\n"}},
        {"data past the end", DranHeader(0, 0) + good + U32(1) + "b" + std::string(1, '\0') + U32(100) + "short", true, {"good"}, {"[!] Entry 'b' runs past the end of archive '%s'.\n"}},
        {"length too large for a stream", DranHeader(0, 0) + good + U32(1) + "b" + std::string(1, '\0') + U32(0xFFFFFFF0u) + "x", true, {"good"}, {"[!] Entry 'b' runs past the end of archive '%s'.\n"}},
        {"huge inflated length", DranHeader(0, 0) + ZlibEntry("huge", Deflate("tiny"), 0x7FFFFFF0u) + good + kEnd, true, {"good"}, {"[!] Entry 'huge' in archive '%s' has an impossible length (len = 2147483632, clen = " + std::to_string(Deflate("tiny").size()) + ").\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        nTempDir dir;
        ASSERT_TRUE(dir.Write("d.qza", c.bytes));
        const std::string path = dir.Path("d.qza");
        nLogCapture log;
        nArchive archive;
        EXPECT_EQ(archive.OpenRead(path.c_str(), nullptr, nullptr), c.opens);
        std::vector<std::string> names;
        for (int32_t i = 0; i < archive.GetIndex().GetCount(); ++i)
            names.push_back(archive.GetIndex().GetAt(i)->name.GetCStr());
        EXPECT_EQ(names, c.names);
        std::vector<std::string> expected;
        for (std::string line : c.lines) {
            line.replace(line.find("%s"), 2, path);
            expected.push_back(line);
        }
        EXPECT_EQ(log.Lines(), expected);
        if (!c.names.empty()) {
            EXPECT_EQ(LoadAll(archive, "good"), "fine");
        }
    }
}

TEST(ArchiveReader, BadCompressedDataFailsToLoadWithOneLine)
{
    const std::string ten = "0123456789";
    const std::string packed = Deflate(ten);
    const std::string packedOne = Deflate("1");
    struct Case
    {
        const char* name;
        std::string entry;
        std::string line;
    };
    const Case cases[] = {
        {"garbage", ZlibEntry("garbage", "not a zlib stream", 5), "[!] Failed to inflate 'garbage' (zlib error -3).\n"},
        {"cut", ZlibEntry("cut", packed.substr(0, packed.size() / 2), 10), "[!] Failed to inflate 'cut' (zlib error -3).\n"},
        {"longer", ZlibEntry("longer", packed, 5), "[!] Failed to inflate 'longer' (zlib error -5).\n"},
        {"shorter", ZlibEntry("shorter", packed, 20), "[!] Inflated size of 'shorter' is 10 bytes instead of 20.\n"},
        {"not empty", ZlibEntry("not empty", packedOne, 0), "[!] Inflated size of 'not empty' is 1 bytes instead of 0.\n"},
    };
    nTempDir dir;
    std::string bytes = DranHeader(0, 0);
    for (const Case& c : cases)
        bytes += c.entry;
    bytes += RawEntry("fine", ten) + kEnd;
    ASSERT_TRUE(dir.Write("z.qza", bytes));
    const std::string path = dir.Path("z.qza");

    nIOArchiveFS fs;
    ASSERT_TRUE(fs.Connect(path.c_str(), nullptr, false, nullptr, false));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        nLogCapture log;
        std::string out(64, '\0');
        EXPECT_FALSE(fs.GetArchive().LoadEntry(c.name, &out[0]));
        EXPECT_EQ(fs.Open(c.name, true, false, false), nullptr);
        EXPECT_EQ(log.Lines(), Lines({c.line, c.line}));
    }
    EXPECT_EQ(LoadAll(fs.GetArchive(), "fine"), ten);
    EXPECT_EQ(fs.GetOpenHandleCount(), 0);
}

TEST(ArchiveReader, RawEntryCutByTheFileFailsInsteadOfReturningGarbage)
{
    // An index can claim more than the file holds; the scanner would not have accepted it.
    nTempDir dir;
    ASSERT_TRUE(dir.Write("t.qza", DranHeader(0, 0) + RawEntry("t", "0123456789") + kEnd));
    nArchive archive;
    ASSERT_TRUE(archive.OpenRead(dir.Path("t.qza").c_str(), nullptr, nullptr));
    nArchiveEntry* entry = archive.GetIndex().Find("t");
    ASSERT_NE(entry, nullptr);
    entry->length = 400;
    std::string out(400, '\0');
    nLogCapture log;
    EXPECT_FALSE(archive.LoadEntry("t", &out[0]));
    EXPECT_FALSE(archive.LoadEntry("absent", &out[0]));
    EXPECT_EQ(log.Lines(), Lines({"[!] Failed to load raw source.\n", "[!] Could not find 'absent'.\n"}));
}

// ---------------------------------------------------------------------------------------------
// The archive file system

class ArchiveFS : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string bytes = DranHeader(0, 0) + RawEntry("data/raw.bin", Noise(100, 11)) +
                            ZlibEntry("data/text.nml", Deflate(Words(3000, 12)), 3000) +
                            RawEntry("empty", "") + ZlibEntry("empty.z", Deflate(""), 0) + kEnd;
        ASSERT_TRUE(dir.Write("game.qza", bytes));
        path = dir.Path("game.qza");
        ASSERT_TRUE(fs.Connect(path.c_str(), nullptr, false, nullptr, false));
    }

    nTempDir dir;
    std::string path;
    nIOArchiveFS fs;
};

TEST_F(ArchiveFS, ReadsEntriesAsCurrentFileSystemWithDiskFallback)
{
    ASSERT_TRUE(dir.Write("disk/only.txt", "from disk"));
    IOStateGuard guard;
    nIO::SetCurrentFS(&fs);
    guard.Queue(nIO::GetDiskFS());
    nIO::AddSearchPath(dir.Path("disk").c_str());

    EXPECT_EQ(ReadStream("data/raw.bin"), Noise(100, 11));
    EXPECT_EQ(ReadStream("data/text.nml"), Words(3000, 12));
    EXPECT_EQ(ReadStream("empty"), "");
    EXPECT_EQ(ReadStream("empty.z"), "");
    EXPECT_TRUE(nIO::Exists("data/text.nml"));
    // Missing from the archive: found on disk under the search path.
    EXPECT_EQ(ReadStream("only.txt"), "from disk");
    // Forced to disk: the archive is not consulted.
    EXPECT_EQ(ReadStream(("disc:" + path).c_str()), dir.Read("game.qza"));
    EXPECT_EQ(ReadStream("disc:data/raw.bin"), "<missing>");
    EXPECT_EQ(fs.GetOpenHandleCount(), 0);
}

TEST_F(ArchiveFS, ServesAsFallbackBehindTheDisk)
{
    IOStateGuard guard;
    guard.Queue(&fs);
    nTempDir::ChangeInto cwd(dir);
    char* buffer = nullptr;
    const int32_t size = nIO::LoadFile("data/text.nml", &buffer);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(std::string(buffer, size_t(size)), Words(3000, 12));
    delete[] buffer;
    EXPECT_TRUE(nIO::Exists("data/raw.bin"));
    EXPECT_FALSE(nIO::Exists("disc:data/raw.bin"));
}

TEST_F(ArchiveFS, SeeksStayInsideTheEntry)
{
    for (const char* name : {"data/raw.bin", "data/text.nml"}) {
        SCOPED_TRACE(name);
        nIOHandle* h = fs.Open(name, true, false, false);
        ASSERT_NE(h, nullptr);
        const int32_t size = fs.GetSize(h);
        struct Step
        {
            int32_t offset;
            int32_t whence;
            bool ok;
            int32_t position;
        };
        const Step steps[] = {
            {0, nIOSeekEnd, true, size},
            {1, nIOSeekEnd, false, size},
            {-size, nIOSeekEnd, true, 0},
            {-1, nIOSeekCurrent, false, 0},
            {size, nIOSeekStart, true, size},
            {size + 1, nIOSeekStart, false, size},
            {-10, nIOSeekCurrent, true, size - 10},
            {5, 7, true, size - 10},
        };
        for (const Step& s : steps) {
            EXPECT_EQ(fs.Seek(h, s.offset, s.whence), s.ok) << s.offset << " from " << s.whence;
            EXPECT_EQ(fs.Tell(h), s.position) << s.offset << " from " << s.whence;
        }
        char tail[16];
        EXPECT_EQ(fs.Read(h, tail, sizeof(tail)), 10);
        EXPECT_EQ(fs.Rewind(h), 0);
        EXPECT_EQ(fs.Tell(h), 0);
        EXPECT_TRUE(fs.Close(h));
    }
    nLogCapture log;
    EXPECT_EQ(fs.Read(nullptr, nullptr, 4), 0);
    EXPECT_EQ(fs.GetSize(nullptr), 0);
    EXPECT_FALSE(fs.Seek(nullptr, 0, nIOSeekStart));
    EXPECT_FALSE(fs.Close(nullptr));
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(ArchiveFS, RefusesModesItDoesNotOffer)
{
    nLogCapture log;
    EXPECT_EQ(fs.Open("new.txt", false, true, false), nullptr);
    EXPECT_EQ(fs.Open("data/raw.bin", true, false, true), nullptr);
    EXPECT_EQ(fs.Open("absent", true, false, false), nullptr);
    // A handle of another file system is reported and left to its owner.
    nIOMemoryFS memory;
    nIOHandle* foreign = memory.Open("m", false, true, false);
    ASSERT_NE(foreign, nullptr);
    EXPECT_FALSE(fs.Close(foreign));
    EXPECT_TRUE(memory.Close(foreign));
    EXPECT_EQ(log.Lines(), Lines({"[!] Cannot create write handle (r/w mode error).\n",
                                  "[!] Append mode is not supported.\n",
                                  "[!] Trying to close a handle (m) that was not opened on this file system.\n"}));
}

TEST_F(ArchiveFS, WriteConnectionStoresOneEntryPerHandle)
{
    const std::string out = dir.Path("out.qza");
    {
        nLogCapture log;
        ASSERT_TRUE(fs.Connect(out.c_str(), nullptr, true, nullptr, false));
        EXPECT_EQ(fs.Open("data/raw.bin", true, false, false), nullptr);
        nIOHandle* h = fs.Open("saved.nml", false, true, false);
        ASSERT_NE(h, nullptr);
        const std::string text = Words(2000, 13);
        EXPECT_EQ(fs.Write(h, text.data(), int32_t(text.size())), int32_t(text.size()));
        EXPECT_EQ(fs.Write(h, "more", 4), 0);
        EXPECT_EQ(fs.GetSize(h), int32_t(text.size()));
        char c;
        EXPECT_EQ(fs.Read(h, &c, 1), 0);
        EXPECT_TRUE(fs.Close(h));
        nIOHandle* again = fs.Open("saved.nml", false, true, false);
        EXPECT_EQ(fs.Write(again, "x", 1), 0);
        EXPECT_TRUE(fs.Close(again));
        EXPECT_TRUE(fs.Disconnect());
        EXPECT_EQ(log.Lines(),
                  Lines({"[H] Filesystem connecting to archive '" + out + "'...\n",
                         "[!] Cannot create read handle (r/w mode error).\n",
                         "[!] Cannot perform subsequent write to file, this file system does not support streaming.\n",
                         "[!] An entry with alias 'saved.nml' already exists.\n",
                         "[!] Failed to compress data to archive.\n",
                         "Archive complete, closing.\n"}));
    }
    ASSERT_TRUE(fs.Connect(out.c_str(), nullptr, false, nullptr, false));
    nIOHandle* h = fs.Open("saved.nml", true, false, false);
    ASSERT_NE(h, nullptr);
    std::string back(2000, '\0');
    EXPECT_EQ(fs.Read(h, &back[0], 4000), 2000);
    EXPECT_EQ(back, Words(2000, 13));
    EXPECT_EQ(fs.GetArchive().GetIndex().Find("saved.nml")->method, ArchiveMethodZlib);
    // Disconnecting closes what is still open.
    EXPECT_TRUE(fs.Disconnect());
    EXPECT_EQ(fs.GetOpenHandleCount(), 0);
    EXPECT_FALSE(fs.Exists("saved.nml"));
}

TEST_F(ArchiveFS, FailedConnectLeavesNothingOpen)
{
    nLogCapture log;
    const std::string missing = dir.Path("missing.qza");
    EXPECT_FALSE(fs.Connect(missing.c_str(), nullptr, false, nullptr, false));
    EXPECT_FALSE(fs.Exists("data/raw.bin"));
    EXPECT_EQ(log.Lines(), Lines({"[H] Filesystem connecting to archive '" + missing + "'...\n",
                                  "[!] Failed to open archive '" + missing + "'.\n"}));
}

// ---------------------------------------------------------------------------------------------
// The NML index

TEST(ArchiveIndex, SavedIndexOpensTheArchiveWithoutScanning)
{
    nTempDir dir;
    const std::string path = dir.Path("i.qza");
    const std::string index = dir.Path("i.nml");
    const std::vector<RoundTripEntry> entries = RoundTripEntries();
    {
        nIOArchiveFS fs;
        ASSERT_TRUE(fs.Connect(path.c_str(), nullptr, true, nullptr, false));
        for (const RoundTripEntry& e : entries)
            ASSERT_TRUE(fs.GetArchive().AddFile(e.name.c_str(), e.data.data(), uint32_t(e.data.size()), e.level));
        ASSERT_TRUE(fs.SaveIndex(index.c_str()));
    }
    // A second index written from the scanned archive names the same data.
    const std::string rescanned = dir.Path("rescanned.nml");
    {
        nArchive scanned;
        ASSERT_TRUE(scanned.OpenRead(path.c_str(), nullptr, nullptr));
        ASSERT_TRUE(scanned.SaveIndex(rescanned.c_str()));
    }
    for (const std::string& indexPath : {index, rescanned}) {
        SCOPED_TRACE(indexPath);
        nLogCapture log;
        nArchive reader;
        ASSERT_TRUE(reader.OpenRead(path.c_str(), indexPath.c_str(), nullptr));
        ASSERT_EQ(reader.GetIndex().GetCount(), int32_t(entries.size()));
        for (int32_t i = 0; i < int32_t(entries.size()); ++i) {
            const RoundTripEntry& e = entries[size_t(i)];
            EXPECT_EQ(reader.GetIndex().GetAt(i), reader.GetIndex().Find(e.name.c_str()));
            EXPECT_EQ(LoadAll(reader, e.name.c_str()), e.data) << e.name;
        }
        EXPECT_EQ(log.Lines(), Lines({"[|] Loading archive index '" + indexPath + "'...\n",
                                      "[|] Done, found " + std::to_string(entries.size()) + " entries.\n"}));
    }
}

TEST(ArchiveIndex, BadEntriesAreSkippedWithOneLineEach)
{
    nTempDir dir;
    const std::string data = "0123456789";
    const std::string packed = Deflate(data);
    ASSERT_TRUE(dir.Write("x.qza", DranHeader(0, 0) + RawEntry("raw", data) + ZlibEntry("z", packed, 10) + kEnd));
    const uint32_t rawAt = 12 + 4 + 3 + 1 + 4;
    const uint32_t zAt = rawAt + 10 + 4 + 1 + 1 + 4 + 4;
    auto entry = [](const std::string& id, const std::string& compLen, const std::string& len,
                    const std::string& offset, const std::string& method) {
        return "<Entry= <ID=\"" + id + "\"> <CompLen=" + compLen + "> <Len=" + len + "> <Offset=" + offset +
               "> <Method=\"" + method + "\"> >\n";
    };
    const std::string at = std::to_string(rawAt), zat = std::to_string(zAt), pz = std::to_string(packed.size());
    const std::string text =
        "<NML=1.0>\n<Index=\n" + entry("raw", "0", "10", at, "Raw") + "<Foo=1>\n" +
        "<Entry= <ID=\"nolen\"> <CompLen=0> <Offset=1> <Method=\"Raw\"> >\n" +
        entry("float", "5.0", "10", at, "Raw") + entry("lzma", "0", "10", at, "Lzma") +
        entry("negative", "0", "10", "-4", "Raw") + entry("outside", "0", "10", "60000", "Raw") +
        entry("greedy", pz, "2000000000", zat, "Zlib") + entry("z", pz, "10", zat, "Zlib") + ">\n";
    ASSERT_TRUE(dir.Write("x.nml", text));
    const std::string path = dir.Path("x.qza");
    const std::string index = dir.Path("x.nml");

    nLogCapture log;
    nArchive archive;
    ASSERT_TRUE(archive.OpenRead(path.c_str(), index.c_str(), nullptr));
    EXPECT_EQ(log.Lines(),
              Lines({"[|] Loading archive index '" + index + "'...\n",
                     "[*] Unexpected tag <Foo> in <Index>.\n",
                     "[!] Incomplete index entry.\n",
                     "[!] Incomplete index entry.\n",
                     "[!] Unknown method 'Lzma' in index entry 'lzma'.\n",
                     "[!] Negative size or offset in index entry 'negative'.\n",
                     "[|] Done, found 4 entries.\n",
                     "[!] Index entry 'outside' lies outside archive '" + path + "'.\n",
                     "[!] Index entry 'greedy' has an impossible length (len = 2000000000, clen = " + pz + ").\n"}));
    ASSERT_EQ(archive.GetIndex().GetCount(), 2);
    EXPECT_EQ(LoadAll(archive, "raw"), data);
    EXPECT_EQ(LoadAll(archive, "z"), data);
}

TEST(ArchiveIndex, UnusableIndexLeavesTheArchiveOpenAndEmpty)
{
    nTempDir dir;
    ASSERT_TRUE(dir.Write("e.qza", DranHeader(0, 0) + RawEntry("raw", "r") + kEnd));
    ASSERT_TRUE(dir.Write("other.nml", "<NML=1.0>\n<Other=1>\n"));
    const std::string path = dir.Path("e.qza");
    const std::string other = dir.Path("other.nml");
    const std::string missing = dir.Path("missing.nml");
    nLogCapture log;
    nArchive archive;
    EXPECT_TRUE(archive.OpenRead(path.c_str(), other.c_str(), nullptr));
    EXPECT_EQ(archive.GetIndex().GetCount(), 0);
    EXPECT_TRUE(archive.OpenRead(path.c_str(), missing.c_str(), nullptr));
    EXPECT_EQ(archive.GetIndex().GetCount(), 0);
    EXPECT_EQ(log.Lines(), Lines({"[|] Loading archive index '" + other + "'...\n",
                                  "[!] No archive index tag found in '" + other + "'.\n",
                                  "[|] Loading archive index '" + missing + "'...\n",
                                  "[*] Could not access file '" + missing + "'.\n"}));
}

// Raw entries are read from the shared archive file on every Read; a second thread inflating
// entries at the same time must not move the file under the first.
TEST(ArchiveThreads, ConcurrentReadsSeeTheirOwnBytes)
{
    nTempDir dir;
    const std::string a = Noise(200000, 21), b = Noise(200000, 22), z = Words(50000, 23);
    {
        nArchive writer;
        ASSERT_TRUE(writer.OpenWrite(dir.Path("t.qza").c_str(), nullptr));
        ASSERT_TRUE(writer.AddFile("a", a.data(), uint32_t(a.size()), -1));
        ASSERT_TRUE(writer.AddFile("b", b.data(), uint32_t(b.size()), -1));
        ASSERT_TRUE(writer.AddFile("z", z.data(), uint32_t(z.size()), 6));
        writer.Close();
    }
    nIOArchiveFS fs;
    ASSERT_TRUE(fs.Connect(dir.Path("t.qza").c_str(), nullptr, false, nullptr, false));
    nIOHandle* ha = fs.Open("a", true, false, false);
    nIOHandle* hb = fs.Open("b", true, false, false);
    ASSERT_TRUE(ha && hb);

    std::atomic<int> mismatches(0);
    auto reader = [&](nIOHandle* h, const std::string& expected, uint32_t seed) {
        std::vector<char> piece(997);
        for (int round = 0; round < 400; ++round) {
            seed = seed * 1664525u + 1013904223u;
            const int32_t at = int32_t(seed % (expected.size() - piece.size()));
            fs.Seek(h, at, nIOSeekStart);
            if (fs.Read(h, piece.data(), int32_t(piece.size())) != int32_t(piece.size()) ||
                memcmp(piece.data(), expected.data() + at, piece.size()) != 0)
                ++mismatches;
        }
    };
    auto inflater = [&]() {
        std::string out(z.size(), '\0');
        for (int round = 0; round < 40; ++round)
            if (!fs.GetArchive().LoadEntry("z", &out[0]) || out != z)
                ++mismatches;
    };
    std::thread t1(reader, ha, std::cref(a), 1u);
    std::thread t2(reader, hb, std::cref(b), 2u);
    std::thread t3(inflater);
    t1.join();
    t2.join();
    t3.join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_TRUE(fs.Close(ha));
    EXPECT_TRUE(fs.Close(hb));
}

}  // namespace
