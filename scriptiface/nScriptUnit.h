#ifndef N_SCRIPTUNIT_H
#define N_SCRIPTUNIT_H

#include <cstddef>
#include <cstdint>

#include "core/nList.h"
#include "core/nPrefetch.h"
#include "core/nString.h"
#include "scriptiface/nScriptVM.h"

class nMetaFile;
class nMetaTag;
class nScriptObject;
class nScriptValue;
class nVariant;
class nScene2DScriptEventDispatcher;

// Object types of the owners of script units, as scripts see them.
enum nScriptUnitOwnerType
{
    ScriptUnitOwnerProject = 5,
    ScriptUnitOwnerScene = 9,
    ScriptUnitOwnerScene2D = 12,
    ScriptUnitOwnerManagedItem = 24
};

// A method a unit looked up at set-up, with the machine's handle for prepared calls.
struct nScriptCachedMethod
{
    nScriptObject* function;  // owned by the unit; NULL when the class has no such method
    nScriptHandle handle;
};

// One instance of a script class bound to one engine object, its owner. Set-up runs the
// unit's file, instantiates the class, copies the named parameters into the instance and
// (in the subclasses) caches the instance's event methods; every call then goes to the
// instance with the owner pushed first. The owner goes as one script object made at set-up,
// so an owner a script keeps from one event compares equal (==) to the owner of the next: a
// new object per call doubled the cost of the units' calls (bench_units: 1.4 times the raw
// calls with one object, 2.7 times with a new one per call). A unit whose set-up failed has
// no instance and refuses every call. The virtual operations are declared in their fixed order.
class nScriptUnit
{
public:
    explicit nScriptUnit(nScriptVM* vm);  // no owner (type 0), no instance, empty strings

    virtual bool Setup();                                                // true without instance when path or class is empty
    virtual void Release();                                              // deletes the instance (subclasses their cached functions first)
    virtual bool BeginCall(const char* event, nScriptObject* function);  // pushes the owner; false without instance or method
    virtual bool PushArgument(const nScriptValue& value);
    virtual bool ExecuteCall(nScriptValue* result);
    virtual ~nScriptUnit();  // deletes the parameters and the instance

    nScriptUnit(const nScriptUnit&) = delete;
    nScriptUnit& operator=(const nScriptUnit&) = delete;

    void SetOwner(void* owner, int32_t ownerType);
    void GetOwner(void** owner, int32_t* ownerType) const;  // either output may be NULL
    nScriptVM* GetVM() const { return m_vm; }
    nScriptObject* GetInstance() const { return m_instance; }
    nScriptObject* GetOwnerObject() const { return m_ownerObject; }  // made at set-up; NULL without
    const nString& GetScriptPath() const { return m_scriptPath; }
    void SetScriptPath(const char* path) { m_scriptPath.Set(path); }
    const nString& GetClassName() const { return m_className; }
    void SetClassName(const char* name) { m_className.Set(name); }
    nList<nVariant*>& GetParameters() { return m_parameters; }  // owned, named values

    // "ScriptUnit" NML: "Script", "Class" and a "ParmList" of "Parm" {"Id", "Value"}.
    // Reading clears path and class and appends to the parameters.
    bool Deserialize(nMetaFile* document, nMetaTag* tag);
    nMetaTag* Serialize(nMetaFile* document) const;  // NULL (logged) when out of memory

    // Bit i set: the subclass's cached event i was found at set-up (in its own numbering).
    uint32_t GetCachedEvents() const { return m_cachedEvents; }
    // Asks early for what a call of a cached method reads: the machine and the call site at
    // the start, the subclass's methods right behind this base. Reads nothing.
    void Prefetch() const
    {
        const char* at = reinterpret_cast<const char*>(this);
        nPrefetch(at);
        for (size_t line = 0; line < kPrefetchMethodLines; ++line) nPrefetch(at + sizeof(nScriptUnit) + 64 * line);
    }

protected:
    static const size_t kPrefetchMethodLines = 3;  // 64-byte lines of a method table asked for; frequent events come first

    nScriptObject* LookUp(const char* name) const;  // a method through the instance, or NULL
    // Cached methods of a subclass: each looked up, its handle taken for prepared calls (the
    // unit falls back to the three steps when the machine gives none), and the mask noted.
    void LookUpCached(const char* const* names, int32_t count, nScriptCachedMethod* methods);
    void ForgetCached(nScriptCachedMethod* methods, int32_t count);  // deletes them; clears the mask
    // One call of a cached method: the same as BeginCall (event, function), PushArgument of
    // each argument and ExecuteCall (NULL); through the prepared site when there is one.
    bool CallCached(const char* event, const nScriptCachedMethod& method, const nScriptValue* const* args, int32_t count)
    {
        if (m_site.session) return m_vm->CallSite(m_site, method.handle, args, count);
        return CallInSteps(event, method.function, args, count);
    }
    bool CallInSteps(const char* event, nScriptObject* function, const nScriptValue* const* args, int32_t count);
    void ReadParameters(nMetaTag* tag);  // the "Parm" tags of a "ParmList", appended

    // What every call reads comes first, on one cache line.
    nScriptVM* m_vm;
    nScriptCallSite m_site;  // calls on the instance with the owner first; session 0: none
    uint32_t m_cachedEvents;
    int32_t m_ownerType;
    void* m_owner;
    nScriptObject* m_instance;
    nScriptObject* m_ownerObject;  // the owner as scripts get it, made at set-up; NULL: pushed afresh per call
    nList<nVariant*> m_parameters;
    nString m_scriptPath;
    nString m_className;
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

    nScriptObject* GetCached(int32_t event) const  // NULL when the class has no such method
    {
        return event >= 0 && event < CachedEventCount ? m_cached[event].function : 0;
    }
    // Calls the cached method with the owner first and count further arguments; false when
    // the class has no such method or the call is refused or fails.
    bool CallCachedEvent(int32_t event, const char* name, const nScriptValue* const* args = 0, int32_t count = 0)
    {
        return GetCached(event) && CallCached(name, m_cached[event], args, count);
    }

private:
    nScriptCachedMethod m_cached[CachedEventCount];
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
    bool Setup() override;  // also clears the update delay
    void Release() override;
    ~nSceneScriptUnit() override;

    nScriptObject* GetCached(int32_t event) const
    {
        return event >= 0 && event < CachedEventCount ? m_cached[event].function : 0;
    }
    bool CallCachedEvent(int32_t event, const char* name, const nScriptValue* const* args = 0, int32_t count = 0)
    {
        return GetCached(event) && CallCached(name, m_cached[event], args, count);
    }
    void SuspendUpdate(int32_t ticks) { m_updateDelay = ticks; }
    int32_t GetUpdateDelay() const { return m_updateDelay; }  // engine ticks
    void SetUpdateDelay(int32_t ticks) { m_updateDelay = ticks; }

private:
    int32_t m_updateDelay;
    nScriptCachedMethod m_cached[CachedEventCount];
};

// The unit a 2D scene is itself (owner type 12): the scene binds it with SetOwner.
class nScene2DScriptUnit : public nScriptUnit
{
public:
    explicit nScene2DScriptUnit(nScriptVM* vm);
    bool Setup() override;
    void Release() override;
    ~nScene2DScriptUnit() override;

    nScriptObject* GetCachedUpdate() const { return m_onUpdate.function; }
    bool CallCachedUpdate()  // the cached OnUpdate; false without it
    {
        return m_onUpdate.function && CallCached("OnUpdate", m_onUpdate, 0, 0);
    }
    nScene2DScriptEventDispatcher* GetEvents() const { return m_events; }
    void SetEvents(nScene2DScriptEventDispatcher* events) { m_events = events; }

private:
    nScene2DScriptEventDispatcher* m_events;
    nScriptCachedMethod m_onUpdate;
};

#endif
