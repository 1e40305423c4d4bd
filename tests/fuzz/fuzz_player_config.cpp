// Fuzz target of the player's start-up files: "engine.cfg" and "bootstrap.txt".
//
// The first byte chooses the file (bit 0 set: the bootstrap, else the configuration) and
// bit 1 also stores the bytes as "resource.qza", the archive the bootstrap falls back to when
// it is not a file; the rest is the file, served from the memory file system. The player
// reads it as at start-up and applies the renderer switches of a configuration.

#include <cstdint>

#include "engine/player/nPlayerApp.h"
#include "tests/fuzz/nFuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static nIOMemoryFS* memory = [] {
        g_log->SetMask(0);
        nIO::SetCurrentFS(nIO::GetMemoryFS());
        return nIO::GetMemoryFS();
    }();
    if (size < 1 || size > 1 << 16) return 0;
    const uint8_t options = data[0];
    memory->Shutdown();
    const char* name = (options & 0x01) ? "bootstrap.txt" : "engine.cfg";
    if ((options & 0x03) == 0x03) name = "resource.qza";
    nFuzzStore(name, data + 1, size - 1);

    nPlayerApp app;
    if (options & 0x01)
        app.ReadBootstrap();
    else
        app.ReadConfigFile("engine.cfg");
    return 0;
}
