#include "engine/player/nMemoryLayout.h"

#include <cstddef>
#include <cstdint>

#include "ace/nACEUnit.h"
#include "core/nBounds.h"
#include "core/nLog.h"
#include "core/nMatrix.h"
#include "core/nMetaTag.h"
#include "core/nSharedObject.h"
#include "core/nVector.h"
#include "hub/nOrvex.h"
#include "render/nRenderQueue.h"
#include "resources/nGeometry.h"
#include "resources/nMaterial.h"
#include "resources/nSound.h"
#include "resources/nTexture.h"
#include "scene/nCamera.h"
#include "scene/nCurve.h"
#include "scene/nItem.h"
#include "scene/nLight.h"
#include "scene/nObject.h"

namespace {

void PrintSize(const char* name, size_t size)
{
    *g_log << "    sizeof(" << name << ") = " << (int32_t)size << "\n";
}

}

void nPrintMemoryLayout(bool core)
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
