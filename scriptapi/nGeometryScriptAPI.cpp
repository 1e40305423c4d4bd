#include "scriptapi/nGeometryScriptAPI.h"

#include <cstdint>

#include "resources/nGeometry.h"
#include "core/nLog.h"
#include "hub/nOrvex.h"
#include "render/nRenderer.h"
#include "resources/nMaterial.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "scriptapi/nItemScriptAccessors.h"
#include "scriptapi/nScriptObjectKinds.h"

// Geometry objects wrap an nGeometry and hold a reference on it while they live (the Engine
// family registers that lifetime with the other shared resources).

namespace {

const char* GeometryName(nGeometry* geometry) { return geometry->GetName().GetCStr(); }

void SetHidden(nGeometry* geometry, bool hidden)
{
    if (hidden) geometry->proxyFlags |= GeometryHidden;
    else geometry->proxyFlags &= ~(uint32_t)GeometryHidden;
}

int32_t MaterialCount(nGeometry* geometry) { return geometry->materials ? (int32_t)geometry->materialCount : 0; }

SQInteger ReturnMaterial(ScriptStackHandler& s, nMaterial* material)
{
    return s.ReturnObject(static_cast<void*>(material), objectTypeMaterial, false);
}

// A geometry of more than four times the renderer's leaf size is split into an octree of leaves
// of that size, culled and drawn on their own; one already set up lets its whole copy on the
// device go. A skinned geometry stays whole: the leaves carry no skin.
void Optimize(nGeometry* geometry)
{
    nOrvex* engine = geometry->GetEngine();
    nRenderer* renderer = engine ? engine->GetRenderer() : 0;
    const int64_t leafPolygons = renderer ? renderer->GetConstant() : 8192;
    if ((int64_t)geometry->polygonCount <= 4 * leafPolygons) return;
    if (geometry->skinWeights) {
        *g_log << "[*] Geometry '" << geometry->GetName().GetCStr() << "' is skinned: it is not split into an octree.\n";
        return;
    }
    // The leaves are set up as they are made; the whole mesh's device copy is drawn no more.
    if (geometry->BuildOctree((int32_t)leafPolygons) && geometry->GetRenderData() && renderer)
        renderer->FreeGeometry(geometry);
}

SQInteger GeometryGetMinMax(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nGeometry* geometry;
    if (!s.Args(geometry)) return SQ_ERROR;
    // Without a MinMax class the binding error is dumped and the script gets null.
    return ScriptPushMinMax(v, geometry->bounds) ? 1 : 0;
}

SQInteger GeometryGetMaterialList(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nGeometry* geometry;
    if (!s.Args(geometry)) return SQ_ERROR;
    s.NewArray();
    for (int32_t i = 0; i < MaterialCount(geometry); ++i) s.Append(ReturnMaterial(s, geometry->materials[i].Get()));
    return 1;
}

// The material of that name, else the first; NullMaterial for a geometry without materials.
SQInteger GeometryGetMaterial(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nGeometry* geometry;
    const char* name;
    if (!s.Args(geometry, name)) return SQ_ERROR;
    return ReturnMaterial(s, geometry->FindMaterial(name));
}

// The material at the index, the first for any index outside the table (negative and past
// 32 bits too); NullMaterial for a geometry without materials.
SQInteger GeometryGetMaterialFromIndex(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nGeometry* geometry;
    SQInteger index;
    if (!s.Args(geometry, index)) return SQ_ERROR;
    const bool inside = index >= 0 && index < MaterialCount(geometry);
    return ReturnMaterial(s, geometry->GetMaterial(inside ? (uint32_t)index : 0));
}

}

const ScriptFunctionDecl g_GeometryScriptFunctions[] = {
    {"GeometryGetName", ScriptGet<&GeometryName>, ".x"},
    {"GeometrySetHidden", ScriptSet<&SetHidden>, ".xb"},
    {"GeometryOptimize", ScriptCall<&Optimize>, ".x"},
    {"GeometrySetup", ScriptCall<&nGeometry::Setup>, ".x"},
    {"GeometryGetMinMax", GeometryGetMinMax, ".x"},
    {"GeometryGetMaterialCount", ScriptGet<&MaterialCount>, ".x"},
    {"GeometryGetMaterialList", GeometryGetMaterialList, ".x"},
    {"GeometryGetMaterial", GeometryGetMaterial, ".xs"},
    {"GeometryGetMaterialFromIndex", GeometryGetMaterialFromIndex, ".xi"},
    {0, 0, 0}};

void RegisterGeometryScriptAPI(HSQUIRRELVM v)
{
    ScriptRegisterFunctions(v, g_GeometryScriptFunctions);
}
