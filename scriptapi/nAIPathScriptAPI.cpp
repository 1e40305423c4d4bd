// The AIPath functions: paths of a scene, found by name, and their queries.

#include "core/nMatrix.h"
#include "core/nVector.h"
#include "scene/nAIPath.h"
#include "scene/nScene.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "scriptapi/nAIPathScriptAPI.h"
#include "scriptapi/nItemScriptAccessors.h"
#include "scriptapi/nScriptObjectKinds.h"

namespace {

// A NULL scene loads nothing.
SQInteger SceneLoadAIPath(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    const char* path;
    if (!s.Args(ScriptOrNull(scene), path)) return SQ_ERROR;
    if (scene) scene->LoadAIPaths(path);
    return s.Return();
}

// A NULL scene finds nothing.
SQInteger SceneFindAIPath(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    const char* name;
    if (!s.Args(ScriptOrNull(scene), name)) return SQ_ERROR;
    return s.ReturnObject(scene ? static_cast<void*>(scene->FindAIPath(name)) : 0, objectTypePath, false);
}

SQInteger AIPathGetMotion(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nAIPath* path;
    if (!s.Args(path)) return SQ_ERROR;
    return s.ReturnObject(static_cast<void*>(&path->GetMotion()), objectTypeMotion, false);
}

nVector Position(nAIPath* path, float time)
{
    nVector at(0.0f, 0.0f, 0.0f);
    path->GetPosition(time, at);
    return at;
}

SQInteger AIPathGetPosition(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nAIPath* path;
    float time;
    if (!s.Args(path, time)) return SQ_ERROR;
    return s.Return(Position(path, time));
}

// The point (w forced to 1); a failed query gives the point back unchanged.
SQInteger AIPathGetClosestPoint(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nAIPath* path;
    nVector point;
    if (!s.Args(path, point)) return SQ_ERROR;
    nVector closest = point;
    path->GetClosestPoint(point, &closest, 0);
    return s.Return(closest);
}

// 0 when the query fails.
SQInteger AIPathGetClosestTime(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nAIPath* path;
    nVector point;
    if (!s.Args(path, point)) return SQ_ERROR;
    float time = 0.0f;
    if (!path->GetClosestPoint(point, 0, &time)) time = 0.0f;
    return s.Return(time);
}

}  // namespace

const ScriptFunctionDecl g_AIPathScriptFunctions[] = {
    {"SceneLoadAIPath", SceneLoadAIPath, ".xs"},
    {"SceneFindAIPath", SceneFindAIPath, ".xs"},
    {"SceneAIPathFind", SceneFindAIPath, ".xs"},
    {"AIPathGetMotion", AIPathGetMotion, ".x"},
    {"AIPathGetMatrix", ScriptGet<&nAIPath::GetMatrix>, ".x"},
    {"AIPathSetMatrix", ScriptSet<&nAIPath::SetMatrix>, ".xx"},
    {"AIPathGetPosition", AIPathGetPosition, ".xn"},
    {"AIPathGetClosestPosition", AIPathGetClosestPoint, ".xx"},
    {"AIPathGetClosestPoint", AIPathGetClosestPoint, ".xx"},
    {"AIPathGetClosestTime", AIPathGetClosestTime, ".xx"},
    {0, 0, 0}};

const ScriptConstantDecl g_AIPathScriptConstants[] = {
    {"NullPath", 0, objectTypePath},
    {0, 0, 0}};

void RegisterAIPathScriptAPI(HSQUIRRELVM v)
{
    ScriptRegisterFunctions(v, g_AIPathScriptFunctions);
    ScriptRegisterConstants(v, g_AIPathScriptConstants);
}
