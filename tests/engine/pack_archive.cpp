// Packs every regular file below a folder into one archive, each entry named by its path
// relative to the folder ("scriptlib/zib.nut"). The end-to-end player tests make their
// archive games with it: pack_archive <archive> <folder>. Exit code 0 on success.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/nIOArchiveFS.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: pack_archive <archive> <folder>\n");
        return 2;
    }
    namespace fs = std::filesystem;
    nIOArchiveFS archive;
    if (!archive.Connect(argv[1], nullptr, true, nullptr, false)) return 1;
    const fs::path root(argv[2]);
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::string name = fs::relative(entry.path(), root).generic_string();
        nIOHandle* handle = archive.Open(name.c_str(), false, true, false);
        if (!handle) return 1;
        const bool written = archive.Write(handle, data.data(), (int32_t)data.size()) == (int32_t)data.size();
        archive.Close(handle);
        if (!written) return 1;
    }
    return archive.Disconnect() ? 0 : 1;
}
