// Fuzz target of the material reader and writer.
//
// The first byte sets the debug channel used by the set-up (byte % 13 - 1: off, channels 0 to 10
// and one beyond); the rest is an NML document. Every root is read as a material on an engine
// with its null renderer, set up, written, and the written tag read again. Textures come from
// memory: a name containing 'a' gets a translucent picture, others an opaque one, so embedded
// alpha is reached without touching any file.

#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "hub/nOrvex.h"
#include "resources/nMaterial.h"
#include "resources/nTexture.h"

#include <cstring>
#include <string>

namespace {

nTexture* LoadMemoryTexture(nOrvex* engine, const char* name)
{
    nTexture* texture = new nTexture(engine, 0, 0);
    texture->SetName(name);
    if (texture->Allocate(1, 1, PixelFormatRGBA8))
        texture->GetPixels()[3] = std::strchr(name, 'a') ? 100 : 255;
    if (engine && engine->GetResourceAutoSetup())
        texture->Setup();
    return texture;
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static nOrvex* engine = [] {
        g_log->SetMask(0);
        SetMaterialTextureLoader(LoadMemoryTexture);
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
