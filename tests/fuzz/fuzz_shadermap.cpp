// Fuzz target of the ShaderMap reader, writer and GLSL generator.
//
// The first byte picks material flags (vertex colour, tangent normal map, skinned, soft alpha,
// alpha to frame); the rest is an NML document. Every root is read as a render map and written;
// what was written is read and written again, and once more: the last two writings must be the
// same tags (a map read from the writer's own form reads back unchanged). Then every pass of a
// material holding the map is generated and assembled.

#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "render/glsl/GL3_ShaderGenerator.h"
#include "resources/nMaterial.h"
#include "resources/nRenderMap.h"
#include "tests/fuzz/nFuzzSupport.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

// Same names, value types, values (floats bit for bit) and children, in order.
bool SameTags(nMetaTag* a, nMetaTag* b)
{
    if (!a || !b)
        return a == b;
    if (!(a->GetName() == b->GetName()) || a->GetType() != b->GetType())
        return false;
    int32_t ia = 0, ib = 0;
    float fa = 0, fb = 0;
    bool ba = false, bb = false;
    switch (a->GetType()) {
        case TagType_Integer:
            a->GetValue().GetInt(&ia), b->GetValue().GetInt(&ib);
            if (ia != ib)
                return false;
            break;
        case TagType_Real:
            a->GetValue().GetFloat(&fa), b->GetValue().GetFloat(&fb);
            if (std::memcmp(&fa, &fb, sizeof(float)) != 0)
                return false;
            break;
        case TagType_Bool:
            a->GetValue().GetBool(&ba), b->GetValue().GetBool(&bb);
            if (ba != bb)
                return false;
            break;
        case TagType_String:
            if (!(a->GetValue().GetText() == b->GetValue().GetText()))
                return false;
            break;
        default:
            break;
    }
    nMetaTagIterator ita, itb;
    for (;;) {
        nMetaTag* ca = a->NextChild(ita);
        nMetaTag* cb = b->NextChild(itb);
        if (!ca || !cb)
            return ca == cb;
        if (!SameTags(ca, cb))
            return false;
    }
}

// The writer's form of a map read from tag; NULL when nothing could be written.
nMetaTag* ReadAndWrite(nMetaFile& document, nMetaTag* tag)
{
    nRenderMap map;
    map.Parse(0, &document, tag);
    return map.Serialize(&document);
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool ready = [] {
        g_log = new nQuietLog();
        return true;
    }();
    (void)ready;
    if (size < 1 || size > 1 << 16)
        return 0;
    static const uint32_t kFlags[5] = {MaterialRenderVertexColor, MaterialRenderNormalMapTangent, MaterialRenderSkinned,
                                       AlphaSoftZ, AlphaToFrame};
    uint32_t flags = 0;
    for (int i = 0; i < 5; ++i)
        if (data[0] & (1 << i))
            flags |= kFlags[i];

    nMetaFile document;
    if (!document.Parse(reinterpret_cast<const char*>(data + 1), int32_t(size - 1)))
        return 0;
    GL3_ShaderGenerator generator;
    nMetaTagIterator it;
    while (nMetaTag* root = document.NextRoot(it)) {
        std::unique_ptr<nMetaTag> first(ReadAndWrite(document, root));
        if (first) {
            std::unique_ptr<nMetaTag> second(ReadAndWrite(document, first.get()));
            std::unique_ptr<nMetaTag> third(second ? ReadAndWrite(document, second.get()) : 0);
            if (second && third && !SameTags(second.get(), third.get()))
                abort();
        }
        nMaterial material(0);
        material.renderFlags = flags;
        nRenderMap* map = new nRenderMap();
        material.SetRenderMap(map);
        map->Parse(0, &document, root);
        std::string vertex, fragment;
        for (int pass = 0; pass < GL3PassCount; ++pass)
            if (generator.GenerateMaterialPass(material, pass))
                generator.Assemble(&vertex, &fragment);
        generator.Reset();
    }
    return 0;
}
