// The Project functions (the scene stack: instances, layers, their scenes and script
// instances, drawing on demand, the end of the run) and the threaded-load functions, whose
// loads run on the calling thread and are done when they return.

#include <new>

#include "core/nLog.h"
#include "core/nMatrix.h"
#include "engine/nProject.h"
#include "engine/nProjectScriptAPI.h"
#include "hub/nOrvex.h"
#include "render/nRenderer.h"
#include "resources/nGeometry.h"
#include "resources/nPicture.h"
#include "resources/nResourceLoader.h"
#include "scene/nScene.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "script/nSquirrelObject.h"
#include "scriptapi/nItemScriptAccessors.h"
#include "scriptapi/nScriptAPI.h"
#include "scriptapi/nScriptObjectKinds.h"
#include "ui/nScene2D.h"

template<> struct ScriptObjectKind<nProject>
{
    static const int32_t value = objectTypeProject;
};
template<> struct ScriptObjectKind<nProjectSceneInstance>
{
    static const int32_t value = objectTypeProjectScene;
};
template<> struct ScriptObjectKind<nProjectLayer>
{
    static const int32_t value = objectTypeProjectLayer;
};
template<> struct ScriptObjectKind<nScene2D>
{
    static const int32_t value = objectTypeWindowSystem;
};

namespace {

SQInteger ReturnInstance(ScriptStackHandler& s, nProjectSceneInstance* instance)
{
    return s.ReturnObject(static_cast<void*>(instance), objectTypeProjectScene, false);
}

SQInteger ReturnLayer(ScriptStackHandler& s, nProjectLayer* layer)
{
    return s.ReturnObject(static_cast<void*>(layer), objectTypeProjectLayer, false);
}

// The script instance of a unit as the script value itself; raises missing when there is none.
SQInteger ReturnScriptInstance(ScriptStackHandler& s, const nScriptUnit* unit, const char* missing)
{
    nSquirrelObject* instance = unit ? static_cast<nSquirrelObject*>(unit->GetInstance()) : 0;
    if (!instance) return s.Error(missing);
    sq_pushobject(s.GetVM(), instance->GetHandle());
    return 1;
}

// Scenes made by scripts are owned by their script objects.
void DestroyScene(void* native) { delete static_cast<nScene*>(native); }
void DestroyScene2D(void* native) { delete static_cast<nScene2D*>(native); }

// The project.

SQInteger GetScriptInstance(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nProject* project;
    if (!s.Args(project)) return SQ_ERROR;
    return ReturnScriptInstance(s, project, "No script unit");
}

void UpdateScriptClock(nProject* project) { project->UpdateScriptClock(); }
void End(nProject* project) { project->SetQuit(project->GetQuit() | 1); }

// Layers.

SQInteger LayerGetScene(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nProjectLayer* layer;
    if (!s.Args(layer)) return SQ_ERROR;
    return ReturnInstance(s, layer->GetInstance());
}

SQInteger AddLayer(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nProject* project;
    nProjectSceneInstance* instance;
    float depth;
    if (!s.Args(project, instance, depth)) return SQ_ERROR;
    return ReturnLayer(s, project->NewLayer(instance, depth));
}

void SetLayerDepth(nProjectLayer* layer, float depth) { layer->SetDepth(depth); }
float LayerDepth(nProjectLayer* layer) { return layer->GetDepth(); }

// Every 2D layer's scene moved by (x, y) in units of its internal resolution.
SQInteger SetAll2DLayerOffset(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nProject* project;
    float x, y;
    if (!s.Args(project, x, y)) return SQ_ERROR;
    for (nListNode<nProjectLayer*>* n = project->GetLayers().GetHead(); n; n = n->next) {
        nScene2D* scene = n->value->GetInstance() ? n->value->GetInstance()->GetScene2D() : 0;
        if (!scene) continue;
        float width = 0.0f, height = 0.0f;
        scene->GetInternalResolution(&width, &height);
        nMatrix3 transform;
        transform.SetColumn(2, nVector(width != 0.0f ? x / width : 0.0f, height != 0.0f ? y / height : 0.0f, 1.0f));
        scene->SetTransform(transform);
    }
    return s.Return();
}

// Scenes owned by their script objects, not added to the project.
SQInteger NewScene(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nProject* project;
    if (!s.Args(project)) return SQ_ERROR;
    nScene* scene = new (std::nothrow) nScene(project->GetEngine(), &project->GetScriptVM());
    return s.ReturnObject(static_cast<void*>(scene), objectTypeScene, scene != 0);
}

SQInteger NewScene2D(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nProject* project;
    if (!s.Args(project)) return SQ_ERROR;
    nScene2D* scene = new (std::nothrow) nScene2D(project->GetEngine(), &project->GetScriptVM());
    return s.ReturnObject(static_cast<void*>(scene), objectTypeWindowSystem, scene != 0);
}

// Instances.

SQInteger FindScene(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nProject* project;
    const char* name;
    if (!s.Args(project, name)) return SQ_ERROR;
    return ReturnInstance(s, project->FindInstanceByName(name));
}

SQInteger GetSceneLayerList(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nProject* project;
    nProjectSceneInstance* instance;
    if (!s.Args(project, instance)) return SQ_ERROR;
    s.NewArray();
    for (nListNode<nProjectLayer*>* n = project->GetLayers().GetHead(); n; n = n->next)
        if (n->value->GetInstance() == instance) s.Append(ReturnLayer(s, n->value));
    return 1;
}

SQInteger SceneIsActive(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nProject* project;
    nProjectSceneInstance* instance;
    if (!s.Args(project, instance)) return SQ_ERROR;
    return s.Return(instance->IsActive());
}

SQInteger SceneActivate(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nProject* project;
    nProjectSceneInstance* instance;
    bool active;
    if (!s.Args(project, instance, active)) return SQ_ERROR;
    project->ActivateScene(instance, active);
    return s.Return();
}

SQInteger InstantiateScene(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nProject* project;
    const char* path;
    if (!s.Args(project, path)) return SQ_ERROR;
    return ReturnInstance(s, project->Instantiate(path));
}

SQInteger SceneSetGlobal(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nProjectSceneInstance* instance;
    if (!s.Args(instance)) return SQ_ERROR;
    if (nScene* scene = instance->GetScene3D()) scene->SetScriptGlobals(0);
    return s.Return();
}

SQInteger UnloadScene(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nProject* project;
    nProjectSceneInstance* instance;
    if (!s.Args(project, instance)) return SQ_ERROR;
    project->Unload(instance);
    return s.Return();
}

int32_t SceneType(nProjectSceneInstance* instance) { return instance->GetType(); }

SQInteger SceneGetInstance(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nProjectSceneInstance* instance;
    if (!s.Args(instance)) return SQ_ERROR;
    if (nScene2D* scene = instance->GetScene2D())
        return s.ReturnObject(static_cast<void*>(scene), objectTypeWindowSystem, false);
    return s.ReturnObject(static_cast<void*>(instance->GetScene3D()), objectTypeScene, false);
}

// The first script unit of a 3D scene (of the class, when one is named), or the 2D scene's own.
const nScriptUnit* SceneUnit(nProjectSceneInstance* instance, const char* className)
{
    if (nScene2D* scene = instance->GetScene2D()) return scene;
    nScene* scene = instance->GetScene3D();
    if (!scene) return 0;
    for (nListNode<nScriptUnit*>* n = scene->GetScriptUnits().GetHead(); n; n = n->next)
        if (!className || n->value->GetClassName() == className) return n->value;
    return 0;
}

SQInteger SceneGetScriptInstance(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nProjectSceneInstance* instance;
    if (!s.Args(instance)) return SQ_ERROR;
    return ReturnScriptInstance(s, SceneUnit(instance, 0), "No script unit");
}

SQInteger SceneGetScriptInstanceFromClass(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nProjectSceneInstance* instance;
    const char* className;
    if (!s.Args(instance, className)) return SQ_ERROR;
    return ReturnScriptInstance(s, SceneUnit(instance, className), "Script unit not found");
}

// The whole stack drawn at once, scripts off (a loading screen from OnUpdate). Called while
// the project walks its layers (from its own render events) it would draw the stack inside
// the stack's own draw: refused with a line.
SQInteger Render(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nProject* project;
    if (!s.Args(project)) return SQ_ERROR;
    nOrvex* engine = project->GetEngine();
    if (project->IsRendering() || project->IsBusy()) {
        *g_log << "[!] ProjectRender() ignored: the project is drawing.\n";
        return s.Return();
    }
    if (!engine) return s.Return();
    engine->BeginDraw(true, true);
    project->Render(1);
    engine->EndDraw(true, false, true);
    if (nRenderer* renderer = engine->GetRenderer()) renderer->UpdateOutputSize();
    return s.Return();
}

// Threaded loads.

SQInteger ReturnDoneThread(ScriptStackHandler& s)
{
    return s.ReturnObject(0, objectTypeCThread, false);
}

SQInteger WindowSystemLoadBitmapThreaded(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene2D* scene;
    const char* path;
    if (!s.Args(scene, path)) return SQ_ERROR;
    nPicture* picture = LoadPicture(scene->GetEngine(), path, false);
    if (picture && picture->GetRefCount() == 0) {  // no cache holds it
        picture->AddRef();
        picture->Release();
    }
    return ReturnDoneThread(s);
}

SQInteger SceneFromNMLThreaded(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    const char* path;
    if (!s.Args(scene, path)) return SQ_ERROR;
    scene->Load(path);
    scene->OptimizeGeometries(1024);
    return ReturnDoneThread(s);
}

SQInteger EngineLoadGeometryThreaded(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nOrvex* engine;
    const char* path;
    if (!s.Args(ScriptOrNull(engine), path)) return SQ_ERROR;
    // Without a cache nobody holds the geometry: it is freed at once.
    nGeometry* geometry = engine ? LoadGeometry(engine, path, false, false) : 0;
    if (geometry && geometry->GetRefCount() == 0) {
        geometry->AddRef();
        geometry->Release();
    }
    return ReturnDoneThread(s);
}

SQInteger LoadThreadIsDone(HSQUIRRELVM v)
{
    *g_log << "[*] threaded binding is only available on the Windows platform.\n";
    return ScriptStackHandler(v).Return(true);
}

}  // namespace

const ScriptFunctionDecl g_ThreadedLoadScriptFunctions[] = {
    {"WindowSystemLoadBitmapThreaded", WindowSystemLoadBitmapThreaded, ".xs"},
    {"SceneFromNMLThreaded", SceneFromNMLThreaded, ".xs"},
    {"EngineLoadGeometryThreaded", EngineLoadGeometryThreaded, ".xs"},
    {"LoadThreadIsDone", LoadThreadIsDone, ".x"},
    {0, 0, 0}};

const ScriptFunctionDecl g_ProjectScriptFunctions[] = {
    {"ProjectGetScriptInstance", GetScriptInstance, ".x"},
    {"ProjectUpdateScriptClock", ScriptCall<UpdateScriptClock>, ".x"},
    {"ProjectEnd", ScriptCall<End>, ".x"},
    {"ProjectLayerGetScene", LayerGetScene, ".x"},
    {"ProjectAddLayer", AddLayer, ".xxn"},
    {"ProjectLayerSetZOrder", ScriptSet<SetLayerDepth>, ".xn"},
    {"ProjectLayerGetZOrder", ScriptGet<LayerDepth>, ".x"},
    {"ProjectSetAll2DLayerOffset", SetAll2DLayerOffset, ".xnn"},
    {"ProjectNewScene", NewScene, ".x"},
    {"ProjectNewScene3D", NewScene, ".x"},
    {"ProjectNewScene2D", NewScene2D, ".x"},
    {"ProjectFindScene", FindScene, ".xs"},
    {"ProjectGetSceneLayerList", GetSceneLayerList, ".xx"},
    {"ProjectSceneIsActive", SceneIsActive, ".xx"},
    {"ProjectIsSceneActive", SceneIsActive, ".xx"},
    {"ProjectSceneActivate", SceneActivate, ".xxb"},
    {"ProjectActivateScene", SceneActivate, ".xxb"},
    {"ProjectInstantiateScene", InstantiateScene, ".xs"},
    {"ProjectSceneSetGlobal", SceneSetGlobal, ".x"},
    {"ProjectUnloadScene", UnloadScene, ".xx"},
    {"ProjectSceneGetType", ScriptGet<SceneType>, ".x"},
    {"ProjectSceneGetInstance", SceneGetInstance, ".x"},
    {"ProjectSceneGetScriptInstance", SceneGetScriptInstance, ".x"},
    {"ProjectSceneGetScriptInstanceFromClass", SceneGetScriptInstanceFromClass, ".xs"},
    {"ProjectRender", Render, ".x"},
    {0, 0, 0}};

const ScriptConstantDecl g_ProjectScriptConstants[] = {
    {"ProjectSceneTypeNone", ProjectSceneTypeNone, ScriptConstantInteger},
    {"ProjectSceneTypeScene2d", ProjectSceneTypeScene2d, ScriptConstantInteger},
    {"ProjectSceneTypeScene3d", ProjectSceneTypeScene3d, ScriptConstantInteger},
    {"NullItem", 0, objectTypeItem},
    {0, 0, 0}};

void RegisterThreadedLoadScriptAPI(HSQUIRRELVM v)
{
    ScriptRegisterFunctions(v, g_ThreadedLoadScriptFunctions);
}

void RegisterProjectScriptAPI(HSQUIRRELVM v)
{
    ScriptSetObjectTypeLifetime(objectTypeScene, nObjectTypeLifetime{0, 0, DestroyScene});
    ScriptSetObjectTypeLifetime(objectTypeWindowSystem, nObjectTypeLifetime{0, 0, DestroyScene2D});
    ScriptRegisterFunctions(v, g_ProjectScriptFunctions);
    ScriptRegisterConstants(v, g_ProjectScriptConstants);
}
