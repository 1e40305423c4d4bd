// Fuzz target of the "Scene2d" file reader and writer.
//
// The first byte chooses what runs after reading (bit 0 renders three frames with the null
// renderer, bit 1 lays every window out without drawing); the rest is the file, served from the
// memory file system beside two small pictures ("a.tga", 8 x 8, and "b.tga", 1 x 1) that skins,
// textures and background pictures may name. The file is read into a fresh 2D scene, which is
// then drawn, written, and read again from what it wrote.

#include <cstdint>
#include <vector>

#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "hub/nOrvex.h"
#include "tests/fuzz/nFuzzSupport.h"
#include "ui/nScene2D.h"
#include "ui/nSprite2D.h"

namespace {

// An uncompressed true-colour TGA of width x height pixels with 32 bits each.
std::vector<uint8_t> TGA(uint8_t width, uint8_t height)
{
    std::vector<uint8_t> bytes(18, 0);
    bytes[2] = 2;
    bytes[12] = width;
    bytes[14] = height;
    bytes[16] = 32;
    bytes[17] = 0x28;  // top-left origin, 8 alpha bits
    for (int i = 0; i < width * height; ++i) {
        const uint8_t pixel[4] = {uint8_t(i * 7), uint8_t(i * 13), uint8_t(i * 29), uint8_t(255 - i)};
        bytes.insert(bytes.end(), pixel, pixel + 4);
    }
    return bytes;
}

void LayOut(nScene2D& ui)
{
    for (nListNode<nSprite2D*>* n = ui.GetSprites().GetHead(); n; n = n->next) n->value->Render(0);
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool ready = [] {
        g_log->SetMask(0);
        nIO::SetCurrentFS(nIO::GetMemoryFS());
        const std::vector<uint8_t> a = TGA(8, 8), b = TGA(1, 1);
        nFuzzStore("a.tga", a.data(), a.size());
        nFuzzStore("b.tga", b.data(), b.size());
        return true;
    }();
    (void)ready;
    if (size < 1 || size > 1 << 16) return 0;
    const uint8_t options = data[0];
    nFuzzStore("fuzz.nml", data + 1, size - 1);

    nMetaFile document;
    if (!document.Load("fuzz.nml")) return 0;
    nOrvex engine;
    nScene2D ui(&engine, 0);
    ui.Deserialize(&document, document.FindPath("Scene2d;"));
    if (options & 0x01)
        for (int frame = 0; frame < 3; ++frame) ui.Render(true);
    if (options & 0x02) LayOut(ui);

    nMetaFile written;
    if (nMetaTag* root = ui.Serialize(&written)) {
        written.AddRoot(root);
        nScene2D again(&engine, 0);
        again.Deserialize(&written, root);
        if (options & 0x01) again.Render(true);
    }
    return 0;
}
