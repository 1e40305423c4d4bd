// Fuzz target of the material reader and writer.
//
// The first byte sets the debug channel used by the set-up (byte % 13 - 1: off, channels 0 to 10
// and one beyond); the rest is an NML document. Every root is read as a material on an engine
// with its null renderer, set up, written, and the written tag read again. Textures load through
// the engine's loader from the memory file system, which holds "a.tga" (translucent) and "b.tga"
// (opaque), so embedded alpha is reached without touching any disk file.

#include "core/nIO.h"
#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "hub/nOrvex.h"
#include "resources/nMaterial.h"
#include "resources/nTexture.h"
#include "tests/fuzz/nFuzzSupport.h"

#include <cstring>
#include <string>

namespace {

// A 1 x 1 true-colour TGA of the given alpha.
void StoreTga(const char* name, uint8_t alpha)
{
    uint8_t tga[22] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 32, 0x28, 0x10, 0x20, 0x30, alpha};
    nFuzzStore(name, tga, sizeof tga);
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static nOrvex* engine = [] {
        g_log->SetMask(0);
        nIO::SetCurrentFS(reinterpret_cast<nIOBaseFS*>(nIO::GetMemoryFS()));
        StoreTga("a.tga", 100);
        StoreTga("b.tga", 255);
        return new nOrvex();
    }();
    if (size < 1 || size > 1 << 16)
        return 0;
    g_debugChannel = int32_t(data[0] % 13) - 1;

    nMetaFile document;
    if (document.Parse(reinterpret_cast<const char*>(data + 1), int32_t(size - 1))) {
        nMetaTagIterator it;
        while (nMetaTag* root = document.NextRoot(it)) {
            nMaterial* material = new nMaterial(engine);
            material->AddRef();
            material->Deserialize(&document, root);
            material->Setup();
            nMetaTag* written = material->Serialize(&document);
            if (written) {
                nMaterial again(engine);
                again.Deserialize(&document, written);
                delete written;
            }
            material->Release();
        }
    }
    g_debugChannel = -1;
    return 0;
}
