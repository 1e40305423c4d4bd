// Fuzz target of the command-list compiler and executor.
//
// The first byte chooses the vocabulary (bit 0 set: the 2D layer's, else the 3D scene's) and
// the number of steps run; the rest is the command-list text. It is compiled into a unit of
// that family and the list then advanced step by step with fixed and odd time slices.

#include <cmath>
#include <cstdint>
#include <string>

#include "ace/nACEUnit.h"
#include "hub/nOrvex.h"
#include "scene/nScene.h"
#include "script/nSquirrelVM.h"
#include "tests/fuzz/nFuzzSupport.h"
#include "ui/nScene2D.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool ready = [] {
        g_log->SetMask(0);
        return true;
    }();
    (void)ready;
    if (size < 1 || size > 1 << 14) return 0;
    const uint8_t options = data[0];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    const float slices[] = {0.016f, 0.5f, 0.0f, -1.0f, NAN, 1e30f, 0.001f};
    const int steps = 1 + (options >> 1);

    nOrvex engine;
    nSquirrelVM vm(&engine);
    if (options & 0x01) {
        nScene2D layer(&engine, &vm);
        layer.CompileCommandList(text.c_str(), &layer);
        for (int i = 0; i < steps; ++i)
            nACEManager::Advance(&layer, slices[i % 7]);
    } else {
        nScene* scene = new nScene(&engine, &vm);
        scene->AddRef();
        nACEUnit unit;
        scene->CompileCommandList(text.c_str(), &unit);
        for (int i = 0; i < steps; ++i)
            nACEManager::Advance(&unit, slices[i % 7]);
        scene->Release();
    }
    return 0;
}
