// The Camera functions: field of view, aspect, clipping planes, screen and world conversions,
// frustum culling of objects and the depth-of-field keys of the camera's registry.

#include <cmath>

#include "core/nFrustum.h"
#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "core/nVariant.h"
#include "core/nVector.h"
#include "resources/nGeometry.h"
#include "scene/nCamera.h"
#include "scene/nObject.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "scriptapi/nItemScriptAccessors.h"
#include "scriptapi/nItemScriptArgs.h"
#include "scriptapi/nSceneScriptAPI.h"
#include "scriptapi/nSceneScriptArgs.h"

namespace {

SQInteger ItemCastToCamera(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    if (!s.Args(item)) return SQ_ERROR;
    if (item->GetKind() != ManagedItemCamera) return s.Error("Item cannot be cast to camera");
    return ScriptReturnItemAs(s, item, objectTypeCamera);
}

// Planes that would make the projection singular (near at or below 0, far not beyond near,
// or not finite numbers) are refused: the camera keeps the planes it has.
SQInteger CameraSetClipping(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMCamera* item;
    float nearZ;
    float farZ;
    if (!s.Args(item, nearZ, farZ)) return SQ_ERROR;
    if (!(nearZ > 0.0f) || !(farZ > nearZ) || !std::isfinite(farZ)) {
        *g_log << "[!] Camera '" << item->GetName().GetCStr() << "' keeps its clipping planes: near " << nearZ
               << " and far " << farZ << " are not 0 < near < far.\n";
        return s.Return();
    }
    item->GetCamera().SetNear(nearZ);
    item->GetCamera().SetFar(farZ);
    return s.Return();
}

// (-1, -1, -1, -1) for a point not in front of the camera.
SQInteger CameraWorldToScreen(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nCamera* camera;
    nVector point;
    if (!s.Args(camera, point)) return SQ_ERROR;
    nVector screen(-1.0f, -1.0f, -1.0f, -1.0f);
    camera->WorldToScreen(point, screen, true);
    return s.Return(screen);
}

SQInteger CameraScreenToWorld(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nCamera* camera;
    float x;
    float y;
    if (!s.Args(camera, x, y)) return SQ_ERROR;
    nVector world;
    return s.Return(camera->ScreenToWorld(world, x, y, 1.0f, -1.0f));
}

SQInteger CameraScreenToWorldPlane(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nCamera* camera;
    float x;
    float y;
    float depth;
    if (!s.Args(camera, x, y, depth)) return SQ_ERROR;
    nVector world;
    return s.Return(camera->ScreenToWorld(world, x, y, depth, -1.0f));
}

// The object's geometry bounds under its world matrix against the camera's frustum as the
// last evaluation left it; outside for an object without geometry.
SQInteger CameraCullObject(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nCamera* camera;
    nMObject* item;
    if (!s.Args(camera, item)) return SQ_ERROR;
    nObject& object = item->GetObject();
    nGeometry* geometry = object.GetGeometry().Get();
    if (!geometry) return s.Return((int32_t)VisibilityOutside);
    const nMatrix4& world = object.GetWorldMatrix();
    return s.Return((int32_t)camera->GetFrustum().TestMinMax(geometry->bounds, &world));
}

// A float under a key of the camera node's registry, read by the depth-of-field effect.
template<const char* Key>
void SetRegistryFloat(nCamera* camera, float value)
{
    camera->GetRegistry().SetPathValue(Key, nVariant(value));
}
const char kFStop[] = "PostProcess:Dof:FStop";
const char kFocalDistance[] = "PostProcess:Dof:FDist";

}  // namespace

const ScriptFunctionDecl g_CameraScriptFunctions[] = {
    {"CameraGetItem", ScriptKindGetItem<nMCamera>, ".x"},
    {"ItemCastToCamera", ItemCastToCamera, ".x"},
    {"CameraGetFov", ScriptGet<&nCamera::GetFov>, ".x"},
    {"CameraSetFov", ScriptSet<&nCamera::SetFov>, ".xn"},
    {"CameraGetAspectRatio", ScriptGet<&nCamera::GetAspectRatio>, ".x"},
    {"CameraSetAspectRatio", ScriptSet<&nCamera::SetAspectRatio>, ".xn"},
    {"CameraSetAspectRatioRefAxis", ScriptSet<&nCamera::SetAspectReferenceY>, ".xb"},
    {"CameraSetClipping", CameraSetClipping, ".xnn"},
    {"CameraWorldToScreen", CameraWorldToScreen, ".xx"},
    {"CameraScreenToWorld", CameraScreenToWorld, ".xnn"},
    {"CameraScreenToWorldPlane", CameraScreenToWorldPlane, ".xnnn"},
    {"CameraCullObject", CameraCullObject, ".xx"},
    {"CameraSetFStop", ScriptSet<SetRegistryFloat<kFStop>>, ".xn"},
    {"CameraSetFocalDistance", ScriptSet<SetRegistryFloat<kFocalDistance>>, ".xn"},
    {0, 0, 0}};

const ScriptConstantDecl g_CameraScriptConstants[] = {
    {"VisibilityOutside", VisibilityOutside, ScriptConstantInteger},
    {"VisibilityInside", VisibilityInside, ScriptConstantInteger},
    {"VisibilityClipped", VisibilityClipped, ScriptConstantInteger},
    {0, 0, 0}};

void RegisterCameraScriptAPI(HSQUIRRELVM v)
{
    ScriptRegisterFunctions(v, g_CameraScriptFunctions);
    ScriptRegisterConstants(v, g_CameraScriptConstants);
}
