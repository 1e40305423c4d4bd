// Fuzz target of the project file reader and writer.
//
// The input is a project file (".ngp", "Environment" NML) served from the memory file system:
// it is parsed, read into a project whose script machine stays closed, written, and the
// written tree read into a second project.

#include <cstdint>

#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "engine/nProject.h"
#include "hub/nOrvex.h"
#include "tests/fuzz/nFuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool ready = [] {
        g_log->SetMask(0);
        nIO::SetCurrentFS(nIO::GetMemoryFS());
        return true;
    }();
    (void)ready;
    if (size > 1 << 16) return 0;
    nFuzzStore("fuzz.ngp", data, size);

    nMetaFile document;
    if (!document.Load("fuzz.ngp")) return 0;
    nOrvex engine;
    nProject project(&engine);
    project.Deserialize(&document, document.FindPath("Environment;"));
    nMetaFile written;
    if (nMetaTag* root = project.Serialize(&written)) {
        written.AddRoot(root);
        nProject again(&engine);
        again.Deserialize(&written, root);
    }
    return 0;
}
