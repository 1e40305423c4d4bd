// Arbitrary bytes as the NML index of a small valid archive: loading the index, then every entry
// it names, directly and through the archive file system.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/nArchive.h"
#include "core/nIO.h"
#include "core/nIOArchiveFS.h"
#include "core/nIOMemoryFS.h"
#include "core/nLog.h"
#include "tests/fuzz/nFuzzSupport.h"

namespace {

nQuietLog s_quiet;

// An archive with raw, zlib and empty entries, aligned to 4 with an end block of 16.
void StoreArchive()
{
    std::string layout = std::string("DRAN") + std::string("\4\0\0\0", 4) + std::string("\20\0\0\0", 4) +
                         std::string("\xFF\xFF\xFF\xFF", 4);
    nFuzzStore("layout.qza", layout.data(), layout.size());
    nArchive archive;
    if (!archive.OpenRead("layout.qza", nullptr, nullptr))
        abort();
    archive.Close();
    if (!archive.OpenWrite("a.qza", nullptr))
        abort();
    const std::string text = "<NML=1.0>\n<Scene= <Name=\"level\"> <Items=3> >\n";
    archive.AddFile("scene.nms", text.data(), uint32_t(text.size()), 6);
    archive.AddFile("raw.bin", "\1\2\3\4\5\6\7", 7, -1);
    archive.AddFile("empty", "", 0, -1);
    archive.AddFile("empty.z", "", 0, 9);
    archive.Close();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_log = &s_quiet;
    nIO::SetCurrentFS(nIO::GetMemoryFS());
    StoreArchive();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    nFuzzStore("i.nml", data, size);
    nIOArchiveFS fs;
    if (!fs.Connect("a.qza", "i.nml", false, nullptr, false))
        abort();
    nArchive& archive = fs.GetArchive();
    for (int32_t i = 0; i < archive.GetIndex().GetCount(); ++i) {
        const nArchiveEntry* entry = archive.GetIndex().GetAt(i);
        std::string bytes(entry->length, '\0');
        archive.LoadEntry(entry, bytes.empty() ? nullptr : &bytes[0]);
        if (!entry->name.GetCStr())
            continue;
        if (nIOHandle* h = fs.Open(entry->name.GetCStr(), true, false, false)) {
            char piece[64];
            while (fs.Read(h, piece, sizeof(piece)) > 0) {
            }
            fs.Close(h);
        }
    }
    fs.Disconnect();
    return 0;
}
