// The Scene functions: a 3D scene driven as a whole by its scripts. Loading with a filter,
// set-up, reset, evaluation and rendering by hand, the scene's globals, finding, adding,
// duplicating and deleting items, the deletion queue, script units, the physics world and
// ray queries against bodies and triggers.
//
// Calls that walk or empty the scene's lists again (set-up, reset, update, render, content
// and queue deletion) are refused with a line while the scene itself is busy: from inside
// its own events.

#include <cmath>
#include <functional>

#include "core/nLog.h"
#include "core/nVector.h"
#include "hub/nOrvex.h"
#include "physics/nPhysicItem.h"
#include "physics/nPhysicShape.h"
#include "physics/nPhysicWorld.h"
#include "render/nRenderer.h"
#include "resources/nGeometry.h"
#include "resources/nGeometryMerge.h"
#include "resources/nResourceLoader.h"
#include "scene/nAnimationSource.h"
#include "scene/nCamera.h"
#include "scene/nGroup.h"
#include "scene/nInstance.h"
#include "scene/nLight.h"
#include "scene/nMItem.h"
#include "scene/nObject.h"
#include "scene/nScene.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "scriptapi/nItemScriptAccessors.h"
#include "scriptapi/nItemScriptAPI.h"
#include "scriptapi/nItemScriptArgs.h"
#include "scriptapi/nSceneScriptAPI.h"
#include "scriptapi/nSceneScriptArgs.h"
#include "scriptiface/nScriptUnit.h"

namespace {

typedef nListNode<nMItem*> ItemNode;

// The busy guard: false, with one line, while the scene walks or empties its own lists.
bool SceneIsFree(nScene* scene, const char* function)
{
    if (!scene->IsBusy()) return true;
    *g_log << "[!] Cannot call '" << function << "' from inside the events of scene '"
           << scene->GetName().GetCStr() << "'.\n";
    return false;
}

// (Scene): Do(scene) unless the scene is busy.
template<const char* Name, void (*Do)(nScene*)>
SQInteger WhenFree(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    if (!s.Args(scene)) return SQ_ERROR;
    if (SceneIsFree(scene, Name)) Do(scene);
    return s.Return();
}

// A scene, or an Item of an instance, whose items and groups the find functions search.
// An instance is searched through its template group: nothing before the template is loaded.
struct SceneOrInstance
{
    nScene* scene;
    nMItem* instance;
};

bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, SceneOrInstance& out)
{
    int32_t type = objectTypeUndefined;
    void* native = 0;
    if (!ScriptGetNativeObjectType(s.GetVM(), arg + 1, &type) ||
        (type != objectTypeScene && type != objectTypeItem)) {
        s.Error("Expected scene or instance");
        return false;
    }
    if (!s.GetObjectOrNull(arg, type, &native)) return false;
    if (!native) {
        s.Error("Null object");
        return false;
    }
    out = SceneOrInstance{0, 0};
    if (type == objectTypeScene) {
        out.scene = static_cast<nScene*>(native);
        return true;
    }
    out.instance = static_cast<nMItem*>(native);
    if (out.instance->GetKind() != ManagedItemInstance) {
        s.Error("Expected scene or instance");
        return false;
    }
    return true;
}

// The template group of the instance searched, when it has one.
nGroup* InstanceGroup(const SceneOrInstance& where)
{
    nInstance* instance = nInstance::FromItem(where.instance);
    return instance ? instance->GetGroup() : 0;
}

// Colours are four components as given; anything but a Vector is refused
// ("Invalid instance type") and the colour kept.
struct ColourArg
{
    nVector& out;
};

bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, ColourArg c)
{
    return s.GetVector4(arg, c.out);
}

// The managed item of the node, when it is of the kind; NULL otherwise.
nMItem* ItemOfKind(nItem* node, int32_t kind)
{
    nMItem* item = node ? node->GetManagedItem() : 0;
    return item && item->GetKind() == kind ? item : 0;
}

// Loading, set-up and stepping.

SQInteger FromFile(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    const char* path;
    if (!s.Args(scene, path)) return SQ_ERROR;
    return s.Return(scene->Load(path));
}

SQInteger FromFileStoreGroup(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    const char* path;
    int32_t flags;
    if (!s.Args(scene, path, flags)) return SQ_ERROR;
    nGroup* group = 0;
    scene->LoadFile(path, &group, flags, 0);
    return s.ReturnObject(static_cast<void*>(group), objectTypeGroup, false);
}

SQInteger PreloadResources(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    const char* path;
    if (!s.Args(scene, path)) return SQ_ERROR;
    return s.Return(scene->PreloadResources(path));
}

const char kSceneSetup[] = "SceneSetup";
const char kSceneUpdate[] = "SceneUpdate";
const char kSceneRenderToQueue[] = "SceneRenderToQueue";
const char kSceneRenderUI[] = "SceneRenderUI";
const char kSceneDeleteContent[] = "SceneDeleteContent";
const char kSceneFlushDeletionQueue[] = "SceneFlushDeletionQueue";

void Setup(nScene* scene) { scene->Setup(true, 1); }
void Update(nScene* scene) { scene->Evaluate(SceneEvaluateAll); }
void RenderToQueue(nScene* scene) { scene->RenderToQueue(SceneRenderFlagClearViewport); }
void RenderUI(nScene* scene) { scene->RenderUI(SceneRenderFlagNone); }
void DeleteContent(nScene* scene) { scene->DeleteContent(true); }
void FlushDeletions(nScene* scene) { scene->FlushDeletionQueue(); }
void End(nScene* scene) { scene->SetFlags(scene->GetFlags() | SceneFlagQuit); }
void SetGlobal(nScene* scene) { scene->SetScriptGlobals(0); }
const char* SceneName(nScene* scene) { return scene->GetName().GetCStr(); }

void SetRenderless(nScene* scene, bool on)
{
    scene->SetFlags(on ? scene->GetFlags() | SceneFlagRenderless : scene->GetFlags() & ~(uint32_t)SceneFlagRenderless);
}

// A null scene is ignored.
SQInteger Reset(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    if (!s.Args(ScriptOrNull(scene))) return SQ_ERROR;
    if (scene && SceneIsFree(scene, "SceneReset")) scene->Reset();
    return s.Return();
}

// Rendering.

// Debug drawing on the engine's current renderer.
nRenderer* CurrentRenderer(nScene* scene)
{
    return scene->GetEngine() ? scene->GetEngine()->GetRenderer() : 0;
}

void DrawDebug(nScene* scene)
{
    scene->DrawDebug(CurrentRenderer(scene), 0, 0, DebugDrawAll);
}

void DrawPaths(nScene* scene)
{
    if (nRenderer* renderer = CurrentRenderer(scene)) scene->DrawAIPaths(renderer);
}

SQInteger Render(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    int32_t flags;
    if (!s.Args(scene, flags)) return SQ_ERROR;
    if (!SceneIsFree(scene, "SceneRender")) return s.Return();
    nRenderer* renderer = scene->GetEngine() ? scene->GetEngine()->GetRenderer() : 0;
    scene->RegisterAsPropertyCallback(renderer);
    scene->RenderSetup((uint32_t)flags);
    scene->RenderToQueue((uint32_t)flags);
    if (renderer) renderer->RenderQueue();
    scene->RenderUI(SceneRenderFlagNone);
    return s.Return();
}

SQInteger RenderSetup(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    int32_t flags;
    if (!s.Args(scene, flags)) return SQ_ERROR;
    if (SceneIsFree(scene, "SceneRenderSetup")) scene->RenderSetup((uint32_t)flags);
    return s.Return();
}

SQInteger RegisterAsPropertyCallback(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    nRenderer* renderer;
    if (!s.Args(scene, renderer)) return SQ_ERROR;
    scene->RegisterAsPropertyCallback(renderer);
    return s.Return();
}

// Globals.

nVector AmbientColour(nScene* scene) { return scene->GetAmbientColour(); }
nVector BackgroundColour(nScene* scene) { return scene->GetBackgroundColour(); }
nVector FogColour(nScene* scene) { return scene->GetFogColour(); }

template<void (nScene::*Set)(const nVector&)>
SQInteger SetColour(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    nVector colour;
    if (!s.Args(scene, ColourArg{colour})) return SQ_ERROR;
    (scene->*Set)(colour);
    return s.Return();
}

// Disabled fog keeps the colour and has both distances at 0.
SQInteger SetFog(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    bool enable;
    nVector colour;
    float nearZ;
    float farZ;
    if (!s.Args(scene, enable, ColourArg{colour}, nearZ, farZ)) return SQ_ERROR;
    if (!enable) nearZ = farZ = 0.0f;
    scene->SetFog(nearZ, farZ, colour);
    return s.Return();
}

// Items, cameras, lights and groups.

SQInteger GetItemList(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    if (!s.Args(scene)) return SQ_ERROR;
    s.NewArray();
    for (ItemNode* n = scene->GetAllItems().GetHead(); n; n = n->next) s.Append(ScriptReturnItem(s, n->value));
    return 1;
}

SQInteger GetItemChildrenList(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    nMItem* parent;
    if (!s.Args(scene, parent)) return SQ_ERROR;
    nItem* parentNode = parent->GetItem();
    s.NewArray();
    for (ItemNode* n = scene->GetAllItems().GetHead(); n; n = n->next) {
        nItem* node = n->value->GetItem();
        if (parentNode && node && node->GetParent() == parentNode) s.Append(ScriptReturnItem(s, n->value));
    }
    return 1;
}

SQInteger FindItem(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    SceneOrInstance where;
    const char* path;
    if (!s.Args(where, path)) return SQ_ERROR;
    nGroup* group = InstanceGroup(where);
    return ScriptReturnItem(s, where.scene ? where.scene->FindItem(path, 0) : group ? group->FindItem(path)
                                                                                    : 0);
}

SQInteger FindItemChild(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    SceneOrInstance where;
    nMItem* parent;
    const char* path;
    if (!s.Args(where, parent, path)) return SQ_ERROR;
    return ScriptReturnItem(s, where.scene ? where.scene->FindItem(path, parent) : 0);
}

SQInteger FindGroup(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    SceneOrInstance where;
    const char* name;
    if (!s.Args(where, name)) return SQ_ERROR;
    nGroup* group = InstanceGroup(where);
    nGroup* found = where.scene ? where.scene->FindGroup(name) : group ? group->FindGroup(name)
                                                                       : 0;
    return s.ReturnObject(static_cast<void*>(found), objectTypeGroup, false);
}

// A new item is set up and reset at once.
SQInteger ReturnNewItem(ScriptStackHandler& s, nMItem* item, int32_t type)
{
    if (item) {
        item->Setup();
        item->Reset();
    }
    return ScriptReturnItemAs(s, item, type);
}

SQInteger AddObject(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    const char* name;
    if (!s.Args(scene, name)) return SQ_ERROR;
    return ReturnNewItem(s, scene->CreateObject(name, 0), objectTypeObject);
}

SQInteger AddCamera(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    const char* name;
    if (!s.Args(scene, name)) return SQ_ERROR;
    return ReturnNewItem(s, scene->CreateCamera(name), objectTypeCamera);
}

SQInteger AddLight(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    const char* name;
    if (!s.Args(scene, name)) return SQ_ERROR;
    return ReturnNewItem(s, scene->CreateLight(name, LightTypePoint, 0.5f), objectTypeLight);
}

SQInteger GetCurrentCamera(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    if (!s.Args(scene)) return SQ_ERROR;
    return ScriptReturnItemAs(s, ItemOfKind(scene->GetCurrentCamera(), ManagedItemCamera), objectTypeCamera);
}

SQInteger SetCurrentCamera(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    nMCamera* camera;
    if (!s.Args(scene, camera)) return SQ_ERROR;
    // A camera of another scene would be left dangling here when its own scene deletes it.
    if (camera->GetScene() != scene) {
        *g_log << "[*] Camera '" << camera->GetName().GetCStr() << "' is not an item of scene '"
               << scene->GetName().GetCStr() << "': the current camera is kept.\n";
        return s.Return();
    }
    scene->SetCurrentCamera(camera->GetItem());
    return s.Return();
}

// The copy is made in the source's own scene, beside the source.
SQInteger DuplicateItem(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    nMItem* item;
    if (!s.Args(scene, item)) return SQ_ERROR;
    nScene* owner = item->GetScene() ? item->GetScene() : scene;
    return ScriptReturnItem(s, owner->DuplicateItem(item));
}

// The object's geometry with its vertex data, loaded again by name (as a collision geometry,
// through the cache) when an octree build or the renderer freed it; NULL when none loads.
nSharedPtr<nGeometry> GeometryToMerge(nOrvex* engine, nGeometry* geometry)
{
    nSharedPtr<nGeometry> held(geometry);
    if (geometry->vertexCount && geometry->vertices) return held;
    held = LoadGeometry(engine, geometry->GetName().GetCStr(), true, false);
    if (held.IsValid() && (!held->vertexCount || !held->vertices)) held.Release();
    return held;
}

// The source's collision shapes added to the merged body, placed in world space as the merged
// geometry is; the body takes the source's mode. Sized kinds (cylinders too) copy their size,
// hulls and meshes their geometry name, others come without type or size.
void CopyShapes(nPhysicItem* to, nMItem* source)
{
    nPhysicItem* from = source->GetPhysicItem();
    if (!to || !from) return;
    const nMatrix4& world = source->GetItem()->GetWorldMatrix();
    for (nListNode<nPhysicShape*>* n = from->GetShapes().GetHead(); n; n = n->next) {
        const nPhysicShape& shape = *n->value;
        nPhysicShape* copy = to->AddShape();
        if (!copy) return;
        copy->SetMatrix(world * shape.GetMatrix());
        switch (shape.type) {
            case PhysicShapeBox:
            case PhysicShapeSphere:
            case PhysicShapeCylinder:
            case PhysicShapeCone:
            case PhysicShapeCapsule:
                copy->SetTypeAndSize(shape.type, shape.size);
                break;
            case PhysicShapeConvex:
            case PhysicShapeMesh:
                copy->SetTypeAndGeometry(shape.type, shape.geometry.GetCStr());
                break;
            default:
                break;
        }
    }
    to->SetMode(from->GetMode());
}

// Two objects baked into a new object "merged" in world space, with both sets of collision
// shapes; neither source changes and the new object is not set up.
SQInteger MergeItems(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    nMItem* first;
    nMItem* second;
    if (!s.Args(scene, first, second)) return SQ_ERROR;
    nObject* a = nMObject::FromItem(first);
    nObject* b = nMObject::FromItem(second);
    if (!a || !b) return s.Error("Only objects can be merged.");
    if (!a->GetGeometry().IsValid() || !b->GetGeometry().IsValid())
        return s.Error("Only objects with a geometry can be merged.");
    nSharedPtr<nGeometry> ga = GeometryToMerge(scene->GetEngine(), a->GetGeometry().Get());
    nSharedPtr<nGeometry> gb = GeometryToMerge(scene->GetEngine(), b->GetGeometry().Get());
    if (!ga.IsValid() || !gb.IsValid()) return s.Error("Failed to load geometry to merge.");
    nSharedPtr<nGeometry> merged(MergeGeometries(ga.Get(), gb.Get(), &a->GetWorldMatrix(), &b->GetWorldMatrix()));
    if (!merged.IsValid()) return ScriptReturnItem(s, 0);
    nMItem* item = scene->CreateObject("merged", merged.Get());
    if (!item) return ScriptReturnItem(s, 0);
    CopyShapes(item->GetPhysicItem(), first);
    CopyShapes(item->GetPhysicItem(), second);
    return ScriptReturnItem(s, item);
}

// Queued on the item's own scene: a queue of another scene would destroy the item behind
// its owner's lists. Asked through another scene, the call says so.
void QueueOnOwner(nScene* scene, nMItem* item)
{
    nScene* owner = item->GetScene();
    if (owner && owner != scene) {
        *g_log << "[*] Deleting item '" << item->GetName().GetCStr() << "' (uid=" << item->GetUid()
               << ") using the wrong owner scene '" << scene->GetName().GetCStr() << "' (current owner is scene '"
               << owner->GetName().GetCStr() << "').\n";
    }
    (owner ? owner : scene)->QueueDeletion(item);
}

// (Scene, Item or Object)
template<class M>
SQInteger DeleteAs(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    M* item;
    if (!s.Args(scene, item)) return SQ_ERROR;
    QueueOnOwner(scene, item);
    return s.Return();
}

SQInteger DeleteLight(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    const char* name;
    if (!s.Args(scene, name)) return SQ_ERROR;
    if (nMItem* light = scene->FindLight(name)) scene->QueueDeletion(light);
    return s.Return();
}

void DeleteAllLights(nScene* scene)
{
    for (ItemNode* n = scene->GetLights().GetHead(); n; n = n->next) scene->QueueDeletion(n->value);
}

// Null arguments are ignored. Only a group of this scene is deleted; its script objects read
// as deleted natives at once (the group itself lives on, empty, until the content goes).
SQInteger DeleteGroup(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    nGroup* group;
    if (!s.Args(ScriptOrNull(scene), ScriptOrNull(group))) return SQ_ERROR;
    if (!scene || !group) return s.Return();
    if (!scene->GetGroups().Contains(group)) {
        *g_log << "[*] Group '" << group->GetName().GetCStr() << "' is not a group of scene '"
               << scene->GetName().GetCStr() << "': nothing deleted.\n";
        return s.Return();
    }
    scene->DeleteGroup(group);
    nCObject::Invalidate(static_cast<void*>(group));
    return s.Return();
}

void HoldDeletions(nScene* scene, bool hold) { scene->SetDeletionQueueHeld(hold); }

SQInteger SetItemDeletionDelay(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    if (!s.Args(scene)) return SQ_ERROR;
    *g_log << "[|] "
           << "SceneSetItemDeletionDelay() is deprecated, please use SceneEnableItemDeletionQueue() instead.\n";
    return s.Return();
}

void DestroySourceList(void* native) { delete static_cast<nAnimationSourceList*>(native); }

// Script units.

SQInteger GetScriptInstance(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    if (!s.Args(scene)) return SQ_ERROR;
    nScriptUnit* unit = scene->GetScriptUnits().GetAt(0);
    if (!unit) return s.Error("No script unit");
    return ScriptReturnUnitInstance(s, unit);
}

SQInteger GetScriptInstanceFromClass(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    const char* className;
    if (!s.Args(scene, className)) return SQ_ERROR;
    nScriptUnit* unit = ScriptFindUnit(*scene, className);
    if (!unit) return s.Error("Script unit not found");
    return ScriptReturnUnitInstance(s, unit);
}

// The first unit (made when there is none) gets the script; nothing is set up.
SQInteger SetScript(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    const char* path;
    const char* className;
    if (!s.Args(scene, path, className)) return SQ_ERROR;
    nScriptUnit* unit = scene->GetScriptUnits().GetAt(0);
    if (!unit) unit = scene->CreateScriptUnit();
    if (!unit) return s.Return();
    unit->SetScriptPath(path);
    unit->SetClassName(className);
    return s.Return();
}

// Whole ticks; a negative or NaN count suspends nothing, a huge one as long as a count can.
SQInteger SuspendScriptUpdate(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    float ticks;
    if (!s.Args(scene, ticks)) return SQ_ERROR;
    nSceneScriptUnit* unit = dynamic_cast<nSceneScriptUnit*>(scene->GetScriptUnits().GetAt(0));
    if (!unit) return s.Return();
    const float kMaxTicks = 2147483520.0f;  // the largest float below 2^31
    unit->SuspendUpdate(ticks > 0.0f ? (int32_t)(ticks < kMaxTicks ? ticks : kMaxTicks) : 0);
    return s.Return();
}

// Physics and ray queries.

float PhysicFrequency(nScene* scene)
{
    nPhysicWorld* world = scene->GetPhysicWorld();
    return world && world->GetFixedStep() > 0.0f ? 1.0f / world->GetFixedStep() : 0.0f;
}

// Steps per second; anything but a positive finite number would stop or hang the world:
// refused with a line.
void SetPhysicFrequency(nScene* scene, float frequency)
{
    nPhysicWorld* world = scene->GetPhysicWorld();
    if (!world) return;
    if (!(frequency > 0.0f) || !std::isfinite(frequency)) {
        *g_log << "[!] Ignored physics frequency " << frequency << ": expected a positive number of steps per second.\n";
        return;
    }
    world->SetFixedStep(1.0f / frequency);
}

void SetGravity(nScene* scene, nVector gravity)
{
    if (nPhysicWorld* world = scene->GetPhysicWorld()) world->SetGravity(gravity);
}

// {hit = false}, or the hit with its item, point, normal and distance; nothing without a world.
SQInteger CollisionRaytrace(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    nVector origin;
    nVector direction;
    int32_t group;
    float length;
    if (!s.Args(scene, origin, direction, group, ScriptSkip, length)) return SQ_ERROR;
    nPhysicWorld* world = scene->GetPhysicWorld();
    if (!world) return s.Return();
    nPhysicRayHit hit;
    bool found = world->RayCast(&origin, &direction, &hit, group, 0, length);
    s.NewTable();
    s.Slot("hit", s.Return(found));
    if (!found) return 1;
    s.Slot("shape", s.ReturnObject(static_cast<void*>(hit.shape), objectTypeColShape, false));
    s.Slot("item", ScriptReturnItem(s, hit.item ? hit.item->GetOwner() : 0));
    s.Slot("material", s.ReturnObject(static_cast<void*>(hit.material), objectTypeMaterial, false));
    s.Slot("p", s.Return(hit.point));
    s.Slot("n", s.Return(hit.normal));
    nVector d = hit.point - origin;
    s.Slot("d", s.Return(std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z)));
    return 1;
}

// A null scene gives a null Item, no error.
SQInteger RaytraceTriggerList(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    nVector origin;
    nVector direction;
    float length;
    if (!s.Args(ScriptOrNull(scene), origin, direction, length)) return SQ_ERROR;
    return ScriptReturnItem(s, scene ? scene->RaytraceTriggers(origin, direction, length, 0) : 0);
}

SQInteger FindConstraint(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    const char* name;
    if (!s.Args(scene, name)) return SQ_ERROR;
    return s.ReturnObject(0, objectTypeConstraint, false);
}

SQInteger PhysicAllocateCollisionNode(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    if (!s.Args(scene)) return SQ_ERROR;
    *g_log << "ScenePhysicAllocateCollisionNode is obsolete.\n";
    return s.Return();
}

// Loads the scene's profiler font; a null scene is passed over.
SQInteger CreateProfiler(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    const char* path;
    const char* pageBase;
    if (!s.Args(ScriptOrNull(scene), path, pageBase)) return SQ_ERROR;
    if (scene) scene->LoadProfilerFont(path, pageBase);
    return s.Return();
}

// The scene's full profiler block at the player's place, with the scene's own font.
void UpdateProfiler(nScene* scene)
{
    scene->DrawProfiler(0.025f, 0.05f, true, 0);
}

}  // namespace

const ScriptFunctionDecl g_SceneScriptFunctions[] = {
    // Loading, set-up and stepping.
    {"SceneFromFile", FromFile, ".xs"},
    {"SceneFromNML", FromFile, ".xs"},
    {"SceneFromFileStoreGroup", FromFileStoreGroup, ".xsi"},
    {"SceneFromNMLStoreGroup", FromFileStoreGroup, ".xsi"},
    {"ScenePreloadResources", PreloadResources, ".xs"},
    {"SceneSetup", WhenFree<kSceneSetup, Setup>, ".x"},
    {"SceneReset", Reset, ".x"},
    {"SceneUpdate", WhenFree<kSceneUpdate, Update>, ".x"},
    {"SceneRecordLocation", ScriptCall<&nScene::RecordLocation>, ".x"},
    {"SceneEnd", ScriptCall<End>, ".x"},
    {"SceneSetRenderless", ScriptSet<SetRenderless>, ".xb"},
    {"SceneSetGlobal", ScriptCall<SetGlobal>, ".x"},
    {"SceneGetName", ScriptGet<SceneName>, ".x"},
    {"SceneGetPath", ScriptGet<SceneName>, ".x"},
    {"SceneAudit", ScriptCall<&nScene::Audit>, ".x"},
    {"ScenePrintItemList", ScriptCall<&nScene::PrintItemList>, ".x"},
    // Rendering.
    {"SceneRender", Render, ".xi"},
    {"SceneRenderSetup", RenderSetup, ".xi"},
    {"SceneRenderToQueue", WhenFree<kSceneRenderToQueue, RenderToQueue>, ".x"},
    {"SceneRenderUI", WhenFree<kSceneRenderUI, RenderUI>, ".x"},
    {"SceneRegisterAsPropertyCallback", RegisterAsPropertyCallback, ".xx"},
    {"SceneCreateProfiler", CreateProfiler, ".xss"},
    {"SceneUpdateProfiler", ScriptCall<UpdateProfiler>, ".x"},
    {"SceneDebugCollisionSystem", ScriptCheckOnly<nScene>, ".x"},
    {"SceneDebugPhysicSystem", ScriptCheckOnly<nScene>, ".x"},
    {"SceneDebug", ScriptCall<DrawDebug>, ".x"},
    {"SceneDebugPath", ScriptCall<DrawPaths>, ".x"},
    // Globals.
    {"SceneGetAmbientIntensity", ScriptGet<&nScene::GetAmbientIntensity>, ".x"},
    {"SceneSetAmbientIntensity", ScriptSet<&nScene::SetAmbientIntensity>, ".xn"},
    {"SceneGetAmbientColor", ScriptGet<AmbientColour>, ".x"},
    {"SceneSetAmbientColor", SetColour<&nScene::SetAmbientColour>, ".xx"},
    {"SceneGetBackgroundColor", ScriptGet<BackgroundColour>, ".x"},
    {"SceneSetBackgroundColor", SetColour<&nScene::SetBackgroundColour>, ".xx"},
    {"SceneSetFog", SetFog, ".xbxnn"},
    {"SceneGetFogColor", ScriptGet<FogColour>, ".x"},
    {"SceneGetFogNear", ScriptGet<&nScene::GetFogNear>, ".x"},
    {"SceneGetFogFar", ScriptGet<&nScene::GetFogFar>, ".x"},
    // Items, cameras, lights and groups.
    {"SceneGetItemList", GetItemList, ".x"},
    {"SceneGetItemChildrenList", GetItemChildrenList, ".xx"},
    {"SceneFindItem", FindItem, ".xs"},
    {"SceneFindItemChild", FindItemChild, ".xxs"},
    {"SceneFindGroup", FindGroup, ".xs"},
    {"SceneAddObject", AddObject, ".xs"},
    {"SceneAddCamera", AddCamera, ".xs"},
    {"SceneAddLight", AddLight, ".xs"},
    {"SceneGetCurrentCamera", GetCurrentCamera, ".x"},
    {"SceneSetCurrentCamera", SetCurrentCamera, ".xx"},
    {"SceneDuplicateItem", DuplicateItem, ".xx"},
    {"SceneMergeItems", MergeItems, ".xxx"},
    {"SceneDeleteItem", DeleteAs<nMItem>, ".xx"},
    {"SceneDeleteObject", DeleteAs<nMObject>, ".xx"},
    {"SceneDeleteLight", DeleteLight, ".xs"},
    {"SceneDeleteAllLights", ScriptCall<DeleteAllLights>, ".x"},
    {"SceneDeleteGroup", DeleteGroup, ".xx"},
    {"SceneDeleteContent", WhenFree<kSceneDeleteContent, DeleteContent>, ".x"},
    {"SceneFlushDeletionQueue", WhenFree<kSceneFlushDeletionQueue, FlushDeletions>, ".x"},
    {"SceneEnableItemDeletionQueue", ScriptSet<HoldDeletions>, ".xb"},
    {"SceneSetItemDeletionDelay", SetItemDeletionDelay, ".xn"},
    {"SceneSetMotion", ScriptSetMotion<nScene, false>, ".xsn"},  // every active item
    {"SceneSetMotionAdd", ScriptSetMotion<nScene, true>, ".xsn"},
    // Script units.
    {"SceneGetScriptInstance", GetScriptInstance, ".x"},
    {"SceneGetScriptInstanceFromClass", GetScriptInstanceFromClass, ".xs"},
    {"SceneSetScript", SetScript, ".xss"},
    {"SceneSuspendScriptUpdate", SuspendScriptUpdate, ".xn"},
    // Physics and ray queries.
    {"SceneGetPhysicFrequency", ScriptGet<PhysicFrequency>, ".x"},
    {"SceneSetPhysicFrequency", ScriptSet<SetPhysicFrequency>, ".xn"},
    {"SceneSetGravity", ScriptSet<SetGravity>, ".xx"},
    {"SceneCollisionRaytrace", CollisionRaytrace, ".xxxiin"},
    {"SceneRaytraceTriggerList", RaytraceTriggerList, ".xxxn"},
    {"SceneFindConstraint", FindConstraint, ".xs"},
    {"ScenePhysicAllocateCollisionNode", PhysicAllocateCollisionNode, ".xii"},
    {"ScenePhysicEnableDeactivation", ScriptCheckOnly<nScene>, ".xb"},
    {"SceneSetPhysicContactSolverIteration", ScriptCheckOnly<nScene>, ".xi"},
    {"SceneSetPhysicConstraintSolverIteration", ScriptCheckOnly<nScene>, ".xi"},
    {0, 0, 0}};

const ScriptConstantDecl g_SceneScriptConstants[] = {
    {"SceneRenderFlagNone", SceneRenderFlagNone, ScriptConstantInteger},
    {"SceneRenderFlagClearViewport", SceneRenderFlagClearViewport, ScriptConstantInteger},
    {"SceneRenderFlagDisableScript", SceneRenderFlagDisableScript, ScriptConstantInteger},
    {"SceneRenderFlagDefault", SceneRenderFlagDefault, ScriptConstantInteger},
    {"FlagLoadCamera", FlagLoadCamera, ScriptConstantInteger},
    {"ImportFlagCamera", FlagLoadCamera, ScriptConstantInteger},
    {"FlagLoadLight", FlagLoadLight, ScriptConstantInteger},
    {"ImportFlagLight", FlagLoadLight, ScriptConstantInteger},
    {"FlagLoadObject", FlagLoadObject, ScriptConstantInteger},
    {"ImportFlagObject", FlagLoadObject, ScriptConstantInteger},
    {"FlagLoadTrigger", FlagLoadTrigger, ScriptConstantInteger},
    {"ImportFlagTrigger", FlagLoadTrigger, ScriptConstantInteger},
    {"FlagLoadGroup", FlagLoadGroup, ScriptConstantInteger},
    {"ImportFlagGroup", FlagLoadGroup, ScriptConstantInteger},
    {"FlagLoadMotion", FlagLoadMotion, ScriptConstantInteger},
    {"ImportFlagMotion", FlagLoadMotion, ScriptConstantInteger},
    {"FlagLoadSettings", FlagLoadSettings, ScriptConstantInteger},
    {"ImportFlagSettings", FlagLoadSettings, ScriptConstantInteger},
    {"FlagLoadGlobals", FlagLoadGlobals, ScriptConstantInteger},
    {"ImportFlagGlobals", FlagLoadGlobals, ScriptConstantInteger},
    {"FlagLoadCollision", FlagLoadCollision, ScriptConstantInteger},
    {"ImportFlagCollision", FlagLoadCollision, ScriptConstantInteger},
    {"FlagLoadPhysic", FlagLoadPhysic, ScriptConstantInteger},
    {"ImportFlagPhysic", FlagLoadPhysic, ScriptConstantInteger},
    {"FlagLoadPath", FlagLoadPath, ScriptConstantInteger},
    {"ImportFlagPath", FlagLoadPath, ScriptConstantInteger},
    {"FlagLoadAll", FlagLoadAll, ScriptConstantInteger},
    {"ImportFlagAll", FlagLoadAll, ScriptConstantInteger},
    {"NullItem", 0, objectTypeItem},
    {0, 0, 0}};

void ScriptRegisterSourceListLifetime()
{
    ScriptSetObjectTypeLifetime(objectTypeAnimationSource, nObjectTypeLifetime{0, 0, DestroySourceList});
}

void RegisterSceneScriptAPI(HSQUIRRELVM v)
{
    ScriptRegisterSourceListLifetime();
    ScriptRegisterFunctions(v, g_SceneScriptFunctions);
    ScriptRegisterConstants(v, g_SceneScriptConstants);
}
