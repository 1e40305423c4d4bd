#ifndef N_SCRIPTEVENTDISPATCHER_H
#define N_SCRIPTEVENTDISPATCHER_H

#include <cstdint>

class nScriptedObject;
class nScriptObject;
class nScene2DScriptUnit;
struct nPhysicContact;

// Senders of the script events of managed items, 3D scenes and 2D scenes. Each has one
// default instance; owners hold a pointer to theirs, so a sender can be replaced per owner.
// An event walks the owner's units in list order and calls the method on each unit that has
// an instance and a method of that name; the owner is always the first argument. Cached
// events go only to units that found the method when they were set up. Stateless; main
// thread only. The virtual operations are declared in their fixed order.

// Events of a managed scene item. The owner is the item's unit list; an item given as an
// argument is its native pointer (pushed as a managed item).
class nItemScriptEventDispatcher
{
public:
    virtual void OnSetup(nScriptedObject* item);  // sets up units without instance, greets each that succeeded
    virtual void OnSetupDone(nScriptedObject* item);
    virtual void OnReset(nScriptedObject* item);
    virtual void OnActivate(nScriptedObject* item, bool active);     // cached
    virtual void OnPhysicStep(nScriptedObject* item, bool before);   // cached
    virtual void OnPhysicSleepStep(nScriptedObject* item);           // cached
    virtual void OnItemEnter(nScriptedObject* trigger, void* item);  // to the trigger's units
    virtual void OnItemExit(nScriptedObject* trigger, void* item);
    virtual void OnEnterTrigger(nScriptedObject* item, void* trigger);  // to the item's units
    virtual void OnTrigger(nScriptedObject* item, void* trigger);
    virtual void OnExitTrigger(nScriptedObject* item, void* trigger);
    virtual void OnUpdate(nScriptedObject* item);                     // cached
    virtual void OnLogicUpdate(nScriptedObject* item, float period);  // cached
    virtual void OnDelete(nScriptedObject* item);
    virtual void OnCollisionEx(nScriptedObject* item, void* other, nPhysicContact* contact, nScriptObject* table);  // cached
    virtual void OnCollision(nScriptedObject* item, void* other, nPhysicContact* contact);                          // cached
    virtual ~nItemScriptEventDispatcher() {}

    static nItemScriptEventDispatcher* GetDefault();
};

// Events of a 3D scene; the owner is the scene's unit list.
class nSceneScriptEventDispatcher
{
public:
    virtual void OnPreSetup(nScriptedObject* scene);
    virtual void OnSetup(nScriptedObject* scene);  // sets up units without instance, greets each that succeeded
    virtual void OnSetupDone(nScriptedObject* scene);
    virtual void OnReset(nScriptedObject* scene);
    virtual void OnRenderDone(nScriptedObject* scene);               // cached
    virtual void OnRenderUI(nScriptedObject* scene);                 // cached
    virtual void OnPhysicStep(nScriptedObject* scene, bool before);  // cached
    // Cached; a unit whose update delay is 1 or more is skipped and its delay drops by the
    // engine's frame time in ticks.
    virtual void OnUpdate(nScriptedObject* scene);
    virtual void OnDelete(nScriptedObject* scene);
    virtual ~nSceneScriptEventDispatcher() {}

    static nSceneScriptEventDispatcher* GetDefault();
};

// Events of a 2D scene, which is its own and only unit.
class nScene2DScriptEventDispatcher
{
public:
    virtual void OnSetup(nScene2DScriptUnit* scene);
    virtual void OnReset(nScene2DScriptUnit* scene);
    virtual void OnUpdate(nScene2DScriptUnit* scene);  // the cached method when set, else by name
    virtual void OnDelete(nScene2DScriptUnit* scene);
    virtual ~nScene2DScriptEventDispatcher() {}

    static nScene2DScriptEventDispatcher* GetDefault();
};

#endif
