#include "hub/nOrvex.h"

#include <cstddef>
#include <cstdint>

#include "core/nBounds.h"
#include "core/nLog.h"
#include "core/nMatrix.h"
#include "core/nMetaTag.h"
#include "core/nSharedObject.h"
#include "core/nVector.h"
#include "render/nRenderQueue.h"
#include "resources/nGeometry.h"
#include "resources/nMaterial.h"
#include "resources/nSound.h"
#include "resources/nTexture.h"
#include "ace/nACEUnit.h"
#include "scene/nCamera.h"
#include "scene/nCurve.h"
#include "scene/nItem.h"
#include "scene/nLight.h"
#include "scene/nObject.h"

// Only the sizes of these types are read here (no code of theirs is called), so the hub stays
// below the libraries that define them.

namespace {

void PrintSize(const char* name, size_t size)
{
    *g_log << "    sizeof(" << name << ") = " << (int32_t)size << "\n";
}

}

void nOrvex::PrintMemoryLayout(bool core)
{
    *g_log << "Machine memory layout:\n";
    *g_log << "\n";
    PrintSize("bool", sizeof(bool));
    PrintSize("char", sizeof(char));
    PrintSize("short", sizeof(short));
    PrintSize("int", sizeof(int));
    PrintSize("float", sizeof(float));
    *g_log << "\n";
    PrintSize("nSharedObject", sizeof(nSharedObject));
    PrintSize("nSharedPtr<nSharedObject>", sizeof(nSharedPtr<nSharedObject>));
    PrintSize("nRenderablePrimitive", sizeof(nRenderablePrimitive));
    *g_log << "\n";
    if (core) {
        *g_log << "Core memory layout:\n";
        *g_log << "\n";
        PrintSize("nVector", sizeof(nVector));
        PrintSize("nMatrix3", sizeof(nMatrix3));
        PrintSize("nMatrix4", sizeof(nMatrix4));
        PrintSize("nMinMax", sizeof(nMinMax));
        *g_log << "\n";
        PrintSize("nOrvex", sizeof(nOrvex));
        PrintSize("nItem", sizeof(nItem));
        PrintSize("nACEUnit", sizeof(nACEUnit));
        PrintSize("nObject", sizeof(nObject));
        PrintSize("nTexture", sizeof(nTexture));
        PrintSize("nSound", sizeof(nSound));
        PrintSize("nGeometry", sizeof(nGeometry));
        PrintSize("nLight", sizeof(nLight));
        PrintSize("nMaterial", sizeof(nMaterial));
        PrintSize("nCamera", sizeof(nCamera));
        PrintSize("nPolygon", sizeof(nPolygon));
        PrintSize("nCurve", sizeof(nCurve));
        *g_log << "\n";
        PrintSize("nMetaTag", sizeof(nMetaTag));
    }
    *g_log << "\n";
    *g_log << "Compiled with " << (int32_t)nMaterial::kStageCount << " logical texture stage(s), "
           << (int32_t)kGeometryUVSetCount << " UV set(s).\n";
    *g_log << "\n";
}
