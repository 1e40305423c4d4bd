// Arbitrary bytes as an archive file: scanning, loading every entry directly and through the
// archive file system, then writing what loaded into a new archive and reading it back.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "core/nArchive.h"
#include "core/nIO.h"
#include "core/nIOArchiveFS.h"
#include "core/nIOMemoryFS.h"
#include "core/nLog.h"
#include "tests/fuzz/nFuzzSupport.h"

namespace {

nQuietLog s_quiet;

struct Loaded
{
    std::string name;
    std::string data;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_log = &s_quiet;
    nIO::SetCurrentFS(nIO::GetMemoryFS());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    nFuzzStore("fuzz.qza", data, size);

    std::vector<Loaded> loaded;
    nArchive archive;
    if (archive.OpenRead("fuzz.qza", nullptr, nullptr)) {
        std::set<std::string> names;
        for (int32_t i = 0; i < archive.GetIndex().GetCount(); ++i) {
            const nArchiveEntry* entry = archive.GetIndex().GetAt(i);
            std::string bytes(entry->length, '\0');
            const char* name = entry->name.GetCStr() ? entry->name.GetCStr() : "";
            // Lookups by name find the first entry of that name, so only first entries count.
            const bool first = names.insert(name).second;
            if (archive.LoadEntry(entry, bytes.empty() ? nullptr : &bytes[0]) && first &&
                strlen(name) <= nArchive::MaxNameLength)
                loaded.push_back({name, bytes});
        }
    }
    archive.Close();

    nIOArchiveFS fs;
    if (fs.Connect("fuzz.qza", nullptr, false, nullptr, false)) {
        for (const Loaded& l : loaded) {
            nIOHandle* h = fs.Open(l.name.c_str(), true, false, false);
            if (!h)
                abort();
            std::string back(l.data.size(), '\0');
            if (fs.Read(h, back.empty() ? nullptr : &back[0], int32_t(back.size()) + 1) != int32_t(back.size()) ||
                back != l.data)
                abort();
            fs.Close(h);
        }
    }
    fs.Disconnect();

    // What loaded must survive a round trip with the layout that was read.
    if (!archive.OpenWrite("out.qza", nullptr))
        abort();
    for (size_t i = 0; i < loaded.size(); ++i)
        if (!archive.AddFile(loaded[i].name.c_str(), loaded[i].data.data(), uint32_t(loaded[i].data.size()),
                             i % 2 ? 6 : -1))
            abort();
    archive.Close();
    if (!archive.OpenRead("out.qza", nullptr, nullptr) || archive.GetIndex().GetCount() != int32_t(loaded.size()))
        abort();
    for (const Loaded& l : loaded) {
        std::string back(l.data.size(), '\0');
        if (!archive.LoadEntry(l.name.c_str(), back.empty() ? nullptr : &back[0]) || back != l.data)
            abort();
    }
    archive.Close();
    return 0;
}
