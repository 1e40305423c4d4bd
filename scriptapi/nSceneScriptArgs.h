#ifndef N_SCENESCRIPTARGS_H
#define N_SCENESCRIPTARGS_H

#include "scene/nAnimationSource.h"
#include "scene/nCamera.h"
#include "scene/nInstance.h"
#include "scene/nLight.h"
#include "scene/nMItem.h"
#include "scene/nObject.h"
#include "scene/nTrigger.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "scriptapi/nScriptObjectKinds.h"

// The kind-specific item objects as the Camera, Object, Light and Trigger functions read them.
// Each wraps the managed item itself under a kind of its own (as an Item object does); the
// item must also be of the matching managed kind, since an object of the wrong kind could
// otherwise be read as another class (a scene's current camera may be any item's node).
//
// Read by ScriptStackHandler::Args: nMCamera* and nCamera* (a Camera object), nMObject* (an
// Object), nMLight* and nLight* (a Light), nTrigger* (a Trigger), nInstance* (an Instance):
// "CObject is null",
// "Expected '%s' got '%s'", or the refusal of the managed kind.
template<class M, int32_t Type, int32_t Kind>
bool ScriptReadKindItem(ScriptStackHandler& s, SQInteger arg, M*& out, const char* refusal)
{
    void* native;
    if (!s.GetObject(arg, Type, &native)) return false;
    nMItem* item = static_cast<nMItem*>(native);
    if (item->GetKind() != Kind) {
        s.Error(refusal);
        return false;
    }
    out = static_cast<M*>(item);
    return true;
}

inline bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, nMCamera*& out)
{
    return ScriptReadKindItem<nMCamera, objectTypeCamera, ManagedItemCamera>(s, arg, out, "Item is not a camera");
}
inline bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, nMObject*& out)
{
    return ScriptReadKindItem<nMObject, objectTypeObject, ManagedItemObject>(s, arg, out, "Item is not an object");
}
inline bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, nMLight*& out)
{
    return ScriptReadKindItem<nMLight, objectTypeLight, ManagedItemLight>(s, arg, out, "Item is not a light");
}
inline bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, nTrigger*& out)
{
    return ScriptReadKindItem<nTrigger, objectTypeTrigger, ManagedItemTrigger>(s, arg, out, "Item is not a trigger");
}

inline bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, nInstance*& out)
{
    nMItem* item;
    if (!ScriptReadKindItem<nMItem, objectTypeInstance, ManagedItemInstance>(s, arg, item, "Item is not an instance"))
        return false;
    // Only the scene's own instances hold a template group.
    if (!(out = nInstance::FromItem(item))) s.Error("Item is not an instance");
    return out != 0;
}

// The kind's own part, for the accessor templates (ScriptGet<&nCamera::GetFov>).
inline bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, nCamera*& out)
{
    nMCamera* camera;
    if (!ScriptReadArg(s, arg, camera)) return false;
    out = &camera->GetCamera();
    return true;
}
inline bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, nLight*& out)
{
    nMLight* light;
    if (!ScriptReadArg(s, arg, light)) return false;
    out = &light->GetLight();
    return true;
}

// Pushes a new object of the managed item under a kind (NULL: a null object); 1.
inline SQInteger ScriptReturnItemAs(ScriptStackHandler& s, nMItem* item, int32_t type)
{
    return s.ReturnObject(static_cast<void*>(item), type, false);
}

// Shapes the scene and item families share.

// (kind object) -> the same item as an Item.
template<class M>
SQInteger ScriptKindGetItem(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    M* item;
    if (!s.Args(item)) return SQ_ERROR;
    return ScriptReturnItemAs(s, item, objectTypeItem);
}

// (scene or group, motion name, fade time) -> an AnimationSource owning the list of the
// sources started: the motion on every item of the owner that has it, at weight 1.
template<class Owner, bool KeepOthers>
SQInteger ScriptSetMotion(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    Owner* owner;
    const char* motion;
    float fadeTime;
    if (!s.Args(owner, motion, fadeTime)) return SQ_ERROR;
    nAnimationSourceList* sources = 0;
    owner->SetMotion(motion, &sources, fadeTime, KeepOthers, 1.0f);
    return s.ReturnObject(static_cast<void*>(sources), objectTypeAnimationSource, sources != 0);
}

#endif
