#include "scriptiface/nScriptEventDispatcher.h"

#include "core/nScriptValue.h"
#include "scriptiface/nScriptUnit.h"
#include "scriptiface/nScriptVM.h"
#include "scriptiface/nScriptedObject.h"

namespace {

// One call on one unit: the owner first, then up to three further arguments.
void Call(nScriptUnit* unit, const char* name, nScriptObject* function,
          const nScriptValue* a = 0, const nScriptValue* b = 0, const nScriptValue* c = 0)
{
    if (!unit->BeginCall(name, function)) return;
    if (a) unit->PushArgument(*a);
    if (b) unit->PushArgument(*b);
    if (c) unit->PushArgument(*c);
    unit->ExecuteCall(0);
}

// By-name event to every unit of the owner. Handlers may clear the units or destroy the
// owner: the walk then ends.
void SendByName(nScriptedObject* owner, const char* name,
                const nScriptValue* a = 0, const nScriptValue* b = 0, const nScriptValue* c = 0)
{
    nScriptUnitWalk walk(owner);
    while (nScriptUnit* unit = walk.Next()) Call(unit, name, 0, a, b, c);
}

// Cached event to the units of a managed item; units without the method are skipped, and
// so is the whole walk when no unit has it.
void SendCachedItem(nScriptedObject* owner, const char* name, int32_t cached,
                    const nScriptValue* a = 0, const nScriptValue* b = 0, const nScriptValue* c = 0)
{
    if (!owner || !owner->HasCachedEvent(cached)) return;
    const nScriptValue* args[3] = {a, b, c};
    int32_t count = c ? 3 : b ? 2
                        : a   ? 1
                              : 0;
    nScriptUnitWalk walk(owner);
    while (nScriptUnit* unit = walk.Next()) static_cast<nManagerScriptUnit*>(unit)->CallCachedEvent(cached, name, args, count);
}

void SendCachedScene(nScriptedObject* owner, const char* name, int32_t cached, const nScriptValue* a = 0)
{
    if (!owner || !owner->HasCachedEvent(cached)) return;
    nScriptUnitWalk walk(owner);
    while (nScriptUnit* unit = walk.Next()) static_cast<nSceneScriptUnit*>(unit)->CallCachedEvent(cached, name, &a, a ? 1 : 0);
}

// Sets up every unit that has no instance yet and greets each one that succeeded.
void SetupAndGreet(nScriptedObject* owner)
{
    nScriptUnitWalk walk(owner);
    while (nScriptUnit* unit = walk.Next())
        if (!unit->GetInstance() && unit->Setup()) Call(unit, "OnSetup", 0);
}

}

nItemScriptEventDispatcher* nItemScriptEventDispatcher::GetDefault()
{
    static nItemScriptEventDispatcher instance;
    return &instance;
}

void nItemScriptEventDispatcher::OnSetup(nScriptedObject* item) { SetupAndGreet(item); }
void nItemScriptEventDispatcher::OnSetupDone(nScriptedObject* item) { SendByName(item, "OnSetupDone"); }
void nItemScriptEventDispatcher::OnReset(nScriptedObject* item) { SendByName(item, "OnReset"); }

void nItemScriptEventDispatcher::OnActivate(nScriptedObject* item, bool active)
{
    nScriptValue a(active);
    SendCachedItem(item, "OnActivate", nManagerScriptUnit::CachedOnActivate, &a);
}

void nItemScriptEventDispatcher::OnPhysicStep(nScriptedObject* item, bool before)
{
    nScriptValue a(before);
    SendCachedItem(item, "OnPhysicStep", nManagerScriptUnit::CachedOnPhysicStep, &a);
}

void nItemScriptEventDispatcher::OnPhysicSleepStep(nScriptedObject* item)
{
    SendCachedItem(item, "OnPhysicSleepStep", nManagerScriptUnit::CachedOnPhysicSleepStep);
}

void nItemScriptEventDispatcher::OnItemEnter(nScriptedObject* trigger, void* item)
{
    nScriptValue a((int32_t)ScriptUnitOwnerManagedItem, item);
    SendByName(trigger, "OnItemEnter", &a);
}

void nItemScriptEventDispatcher::OnItemExit(nScriptedObject* trigger, void* item)
{
    nScriptValue a((int32_t)ScriptUnitOwnerManagedItem, item);
    SendByName(trigger, "OnItemExit", &a);
}

void nItemScriptEventDispatcher::OnEnterTrigger(nScriptedObject* item, void* trigger)
{
    nScriptValue a((int32_t)ScriptUnitOwnerManagedItem, trigger);
    SendByName(item, "OnEnterTrigger", &a);
}

void nItemScriptEventDispatcher::OnTrigger(nScriptedObject* item, void* trigger)
{
    nScriptValue a((int32_t)ScriptUnitOwnerManagedItem, trigger);
    SendByName(item, "OnTrigger", &a);
}

void nItemScriptEventDispatcher::OnExitTrigger(nScriptedObject* item, void* trigger)
{
    nScriptValue a((int32_t)ScriptUnitOwnerManagedItem, trigger);
    SendByName(item, "OnExitTrigger", &a);
}

void nItemScriptEventDispatcher::OnUpdate(nScriptedObject* item)
{
    SendCachedItem(item, "OnUpdate", nManagerScriptUnit::CachedOnUpdate);
}

void nItemScriptEventDispatcher::OnLogicUpdate(nScriptedObject* item, float period)
{
    nScriptValue a(period);
    SendCachedItem(item, "OnLogicUpdate", nManagerScriptUnit::CachedOnLogicUpdate, &a);
}

void nItemScriptEventDispatcher::OnDelete(nScriptedObject* item) { SendByName(item, "OnDelete"); }

void nItemScriptEventDispatcher::OnCollisionEx(nScriptedObject* item, void* other, nPhysicContact* contact,
                                               nScriptObject* table)
{
    nScriptValue a((int32_t)ScriptUnitOwnerManagedItem, other);
    nScriptValue b(table, false);
    nScriptValue c(true);
    SendCachedItem(item, "OnCollisionEx", nManagerScriptUnit::CachedOnCollisionEx, &a, &b, &c);
}

void nItemScriptEventDispatcher::OnCollision(nScriptedObject* item, void* other, nPhysicContact* contact)
{
    nScriptValue a((int32_t)ScriptUnitOwnerManagedItem, other);
    SendCachedItem(item, "OnCollision", nManagerScriptUnit::CachedOnCollision, &a);
}

nSceneScriptEventDispatcher* nSceneScriptEventDispatcher::GetDefault()
{
    static nSceneScriptEventDispatcher instance;
    return &instance;
}

void nSceneScriptEventDispatcher::OnPreSetup(nScriptedObject* scene) { SendByName(scene, "OnPreSetup"); }
void nSceneScriptEventDispatcher::OnSetup(nScriptedObject* scene) { SetupAndGreet(scene); }
void nSceneScriptEventDispatcher::OnSetupDone(nScriptedObject* scene) { SendByName(scene, "OnSetupDone"); }
void nSceneScriptEventDispatcher::OnReset(nScriptedObject* scene) { SendByName(scene, "OnReset"); }
void nSceneScriptEventDispatcher::OnDelete(nScriptedObject* scene) { SendByName(scene, "OnDelete"); }

void nSceneScriptEventDispatcher::OnRenderDone(nScriptedObject* scene)
{
    SendCachedScene(scene, "OnRenderDone", nSceneScriptUnit::CachedOnRenderDone);
}

void nSceneScriptEventDispatcher::OnRenderUI(nScriptedObject* scene)
{
    SendCachedScene(scene, "OnRenderUI", nSceneScriptUnit::CachedOnRenderUI);
}

void nSceneScriptEventDispatcher::OnPhysicStep(nScriptedObject* scene, bool before)
{
    nScriptValue a(before);
    SendCachedScene(scene, "OnPhysicStep", nSceneScriptUnit::CachedOnPhysicStep, &a);
}

void nSceneScriptEventDispatcher::OnUpdate(nScriptedObject* scene)
{
    nScriptUnitWalk walk(scene);
    while (nScriptUnit* u = walk.Next()) {
        nSceneScriptUnit* unit = static_cast<nSceneScriptUnit*>(u);
        if (unit->GetUpdateDelay() >= 1) {
            nScriptVM* vm = unit->GetVM();
            unit->SetUpdateDelay(unit->GetUpdateDelay() - (vm ? vm->GetFrameTime() : 0));
        } else {
            unit->CallCachedEvent(nSceneScriptUnit::CachedOnUpdate, "OnUpdate");
        }
    }
}

nScene2DScriptEventDispatcher* nScene2DScriptEventDispatcher::GetDefault()
{
    static nScene2DScriptEventDispatcher instance;
    return &instance;
}

void nScene2DScriptEventDispatcher::OnSetup(nScene2DScriptUnit* scene)
{
    if (scene) Call(scene, "OnSetup", 0);
}
void nScene2DScriptEventDispatcher::OnReset(nScene2DScriptUnit* scene)
{
    if (scene) Call(scene, "OnReset", 0);
}
void nScene2DScriptEventDispatcher::OnDelete(nScene2DScriptUnit* scene)
{
    if (scene) Call(scene, "OnDelete", 0);
}

void nScene2DScriptEventDispatcher::OnUpdate(nScene2DScriptUnit* scene)
{
    if (!scene) return;
    if (scene->GetCachedUpdate()) scene->CallCachedUpdate();
    else Call(scene, "OnUpdate", 0);
}
