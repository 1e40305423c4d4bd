#ifndef N_SCRIPTUNIT_H
#define N_SCRIPTUNIT_H

#include <cstdint>

#include "core/nList.h"
#include "core/nString.h"

class nMetaFile;
class nMetaTag;
class nScriptObject;
class nScriptValue;
class nScriptVM;
class nVariant;
class nScene2DScriptEventDispatcher;

// Object types of the owners of script units, as scripts see them.
enum nScriptUnitOwnerType
{
    ScriptUnitOwnerProject     = 5,
    ScriptUnitOwnerScene       = 9,
    ScriptUnitOwnerScene2D     = 12,
    ScriptUnitOwnerManagedItem = 24
};

// One instance of a script class bound to one engine object, its owner. Set-up runs the
// unit's file, instantiates the class, copies the named parameters into the instance and
// (in the subclasses) caches the instance's event methods; every call then goes to the
// instance with the owner pushed first. A unit whose set-up failed has no instance and
// refuses every call. The virtual operations are declared in their fixed order.
class nScriptUnit
{
public:
    explicit nScriptUnit(nScriptVM* vm);        // no owner (type 0), no instance, empty strings

    virtual bool Setup();                       // true without instance when path or class is empty
    virtual void Release();                     // deletes the instance (subclasses their cached functions first)
    virtual bool BeginCall(const char* event, nScriptObject* function); // pushes the owner; false without instance or method
    virtual bool PushArgument(const nScriptValue& value);
    virtual bool ExecuteCall(nScriptValue* result);
    virtual ~nScriptUnit();                     // deletes the parameters and the instance

    nScriptUnit(const nScriptUnit&) = delete;
    nScriptUnit& operator=(const nScriptUnit&) = delete;

    void           SetOwner(void* owner, int32_t ownerType);
    void           GetOwner(void** owner, int32_t* ownerType) const; // either output may be NULL
    nScriptVM*     GetVM() const                               { return m_vm; }
    nScriptObject* GetInstance() const                         { return m_instance; }
    const nString& GetScriptPath() const                       { return m_scriptPath; }
    void           SetScriptPath(const char* path)             { m_scriptPath.Set(path); }
    const nString& GetClassName() const                        { return m_className; }
    void           SetClassName(const char* name)              { m_className.Set(name); }
    nList<nVariant*>& GetParameters()                          { return m_parameters; } // owned, named values

    // "ScriptUnit" NML: "Script", "Class" and a "ParmList" of "Parm" {"Id", "Value"}.
    // Reading clears path and class and appends to the parameters.
    bool      Deserialize(nMetaFile* document, nMetaTag* tag);
    nMetaTag* Serialize(nMetaFile* document) const;            // NULL (logged) when out of memory

protected:
    nScriptObject* LookUp(const char* name) const;             // a method through the instance, or NULL

    nScriptVM*       m_vm;
    int32_t          m_ownerType;
    void*            m_owner;
    nScriptObject*   m_instance;
    nScriptObject*   m_ownerObject;                            // the owner as scripts get it, made at set-up; NULL: pushed afresh per call
    nList<nVariant*> m_parameters;
    nString          m_scriptPath;
    nString          m_className;
};

// The unit of a managed scene item (owner type 24).
class nManagerScriptUnit : public nScriptUnit
{
public:
    // Event methods looked up once at set-up; a method added to the class later is not seen.
    enum CachedEvent
    {
        CachedOnLogicUpdate = 0,
        CachedOnUpdate,
        CachedOnActivate,
        CachedOnPhysicStep,
        CachedOnPhysicSleepStep,
        CachedOnCollision,
        CachedOnCollisionEx,
        CachedEventCount
    };

    explicit nManagerScriptUnit(nScriptVM* vm);
    bool Setup() override;
    void Release() override;
    ~nManagerScriptUnit() override;

    nScriptObject* GetCached(int32_t event) const              // NULL when the class has no such method
    {
        return event >= 0 && event < CachedEventCount ? m_cached[event] : 0;
    }

private:
    nScriptObject* m_cached[CachedEventCount];
};

// The unit of a 3D scene (owner type 9), with its update delay.
class nSceneScriptUnit : public nScriptUnit
{
public:
    enum CachedEvent
    {
        CachedOnRenderDone = 0,
        CachedOnRenderUI,
        CachedOnPhysicStep,
        CachedOnUpdate,
        CachedEventCount
    };

    explicit nSceneScriptUnit(nScriptVM* vm);
    bool Setup() override;                                     // also clears the update delay
    void Release() override;
    ~nSceneScriptUnit() override;

    nScriptObject* GetCached(int32_t event) const
    {
        return event >= 0 && event < CachedEventCount ? m_cached[event] : 0;
    }
    void           SuspendUpdate(int32_t ticks)                { m_updateDelay = ticks; }
    int32_t        GetUpdateDelay() const                      { return m_updateDelay; } // engine ticks
    void           SetUpdateDelay(int32_t ticks)               { m_updateDelay = ticks; }

private:
    int32_t        m_updateDelay;
    nScriptObject* m_cached[CachedEventCount];
};

// The unit a 2D scene is itself (owner type 12): the scene binds it with SetOwner.
class nScene2DScriptUnit : public nScriptUnit
{
public:
    explicit nScene2DScriptUnit(nScriptVM* vm);
    bool Setup() override;
    void Release() override;
    ~nScene2DScriptUnit() override;

    nScriptObject*                  GetCachedUpdate() const    { return m_onUpdate; }
    nScene2DScriptEventDispatcher*  GetEvents() const          { return m_events; }
    void SetEvents(nScene2DScriptEventDispatcher* events)      { m_events = events; }

private:
    nScene2DScriptEventDispatcher* m_events;
    nScriptObject*                 m_onUpdate;
};

#endif
