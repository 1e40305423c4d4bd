#include "scriptiface/nScriptUnit.h"

#include <new>

#include "core/nLog.h"
#include "core/nMLReader.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "core/nScriptObject.h"
#include "core/nScriptValue.h"
#include "core/nVariant.h"
#include "scriptiface/nScriptVM.h"
#include "scriptiface/nScriptedObject.h"

namespace {

const char* const kManagerEvents[nManagerScriptUnit::CachedEventCount] = {
    "OnLogicUpdate",
    "OnUpdate",
    "OnActivate",
    "OnPhysicStep",
    "OnPhysicSleepStep",
    "OnCollision",
    "OnCollisionEx",
};

const char* const kSceneEvents[nSceneScriptUnit::CachedEventCount] = {
    "OnRenderDone",
    "OnRenderUI",
    "OnPhysicStep",
    "OnUpdate",
};

// A copy of a parameter as an NML value tag; NULL for a type a parameter cannot have.
nMetaTag* ValueTag(const nVariant& v)
{
    float f;
    bool b;
    int32_t i;
    const char* s;
    if (v.GetFloat(&f)) return new (std::nothrow) nMetaTag("Value", f);
    if (v.GetType() == TagType_Bool && v.GetBool(&b)) return new (std::nothrow) nMetaTag("Value", b);
    if (v.GetInt(&i)) return new (std::nothrow) nMetaTag("Value", i);
    if (v.GetString(&s)) return new (std::nothrow) nMetaTag("Value", s);
    return 0;
}

}

nScriptUnit::nScriptUnit(nScriptVM* vm)
    : m_vm(vm), m_site(), m_cachedEvents(0), m_ownerType(0), m_owner(0), m_instance(0), m_ownerObject(0)
{
}

void nScriptUnit::SetOwner(void* owner, int32_t ownerType)
{
    // A unit that moves takes its cached events to its new owner's list.
    if (m_cachedEvents) nScriptedObject::NoteCachedEventsChanged();
    m_owner = owner;
    m_ownerType = ownerType;
    m_site.session = 0;  // its first argument was the old owner's object
    delete m_ownerObject;
    m_ownerObject = 0;
}

nScriptUnit::~nScriptUnit()
{
    for (nList<nVariant*>::Node* n = m_parameters.GetHead(); n; n = n->next) delete n->value;
    m_parameters.Clear();
    m_site.session = 0;
    if (m_cachedEvents) nScriptedObject::NoteCachedEventsChanged();
    m_cachedEvents = 0;
    delete m_ownerObject;
    m_ownerObject = 0;
    delete m_instance;
    m_instance = 0;
}

void nScriptUnit::GetOwner(void** owner, int32_t* ownerType) const
{
    if (owner) *owner = m_owner;
    if (ownerType) *ownerType = m_ownerType;
}

bool nScriptUnit::Setup()
{
    Release();
    if (m_scriptPath.IsEmpty() || m_className.IsEmpty()) return true;
    if (!m_vm || !m_vm->RunFile(m_scriptPath.GetCStr(), 0)) return false;
    if (!m_vm->BeginCall(m_className.GetCStr(), 0, 0)) return false;

    nScriptValue result;
    if (!m_vm->ExecuteCall(&result) || result.GetKind() != ScriptValue_ScriptObject || !result.GetScriptObject()) {
        m_vm->Kill(ScriptKillNoInstance, m_className.GetCStr(), true);
        return false;
    }
    m_instance = result.GetScriptObject();
    if (result.IsOwned()) result.SetScriptObject(m_instance, false);  // the unit takes it over

    for (nList<nVariant*>::Node* n = m_parameters.GetHead(); n; n = n->next)
        m_vm->SetValue(n->value->GetName().GetCStr(), nScriptValue(*n->value), m_instance);
    m_ownerObject = m_vm->NewNativeObject(m_ownerType, m_owner);
    if (!m_ownerObject || !m_vm->PrepareCallSite(m_instance, m_ownerObject, &m_site)) m_site.session = 0;
    return true;
}

void nScriptUnit::Release()
{
    m_site.session = 0;
    delete m_ownerObject;
    m_ownerObject = 0;
    delete m_instance;
    m_instance = 0;
}

bool nScriptUnit::BeginCall(const char* event, nScriptObject* function)
{
    if (!m_instance || !m_vm) return false;
    if (!m_vm->BeginCall(event, function, m_instance)) return false;
    if (m_ownerObject) return m_vm->PushArgument(nScriptValue(m_ownerObject, false));
    return m_vm->PushArgument(nScriptValue(m_ownerType, m_owner));
}

bool nScriptUnit::PushArgument(const nScriptValue& value)
{
    return m_vm && m_vm->PushArgument(value);
}

bool nScriptUnit::ExecuteCall(nScriptValue* result)
{
    return m_vm && m_vm->ExecuteCall(result);
}

nScriptObject* nScriptUnit::LookUp(const char* name) const
{
    return m_instance && m_vm ? m_vm->GetObject(name, m_instance) : 0;
}

void nScriptUnit::LookUpCached(const char* const* names, int32_t count, nScriptCachedMethod* methods)
{
    uint32_t events = 0;
    for (int32_t i = 0; i < count; ++i) {
        methods[i].function = LookUp(names[i]);
        methods[i].handle = nScriptHandle();
        if (!methods[i].function) continue;
        events |= 1u << i;
        // A method without a handle is called in the three steps, and so are all the others.
        if (m_site.session && !m_vm->GetHandle(methods[i].function, &methods[i].handle)) m_site.session = 0;
    }
    if (events != m_cachedEvents) nScriptedObject::NoteCachedEventsChanged();
    m_cachedEvents = events;
}

void nScriptUnit::ForgetCached(nScriptCachedMethod* methods, int32_t count)
{
    m_site.session = 0;
    if (m_cachedEvents) nScriptedObject::NoteCachedEventsChanged();
    m_cachedEvents = 0;
    for (int32_t i = 0; i < count; ++i) {
        delete methods[i].function;
        methods[i].function = 0;
    }
}

bool nScriptUnit::CallInSteps(const char* event, nScriptObject* function, const nScriptValue* const* args, int32_t count)
{
    if (!BeginCall(event, function)) return false;
    for (int32_t i = 0; i < count; ++i) PushArgument(*args[i]);
    return ExecuteCall(0);
}

bool nScriptUnit::Deserialize(nMetaFile* document, nMetaTag* tag)
{
    if (!tag) return false;
    if (!nMLCheckRoot(tag, "ScriptUnit", "script unit")) return false;
    m_scriptPath.Clear();
    m_className.Clear();

    static const nMLTagRule<nScriptUnit> kTags[] = {
        {"Script", [](nScriptUnit& u, nMetaFile*, nMetaTag* t) { ReadTagString(t, u.m_scriptPath); }},
        {"Class", [](nScriptUnit& u, nMetaFile*, nMetaTag* t) { ReadTagString(t, u.m_className); }},
        {"ParmList", [](nScriptUnit& u, nMetaFile*, nMetaTag* t) { u.ReadParameters(t); }},
    };
    nMLReadChildren(*this, document, tag, kTags, "ScriptUnit");
    return true;
}

void nScriptUnit::ReadParameters(nMetaTag* tag)
{
    nMetaTagIterator parms;
    while (nMetaTag* parm = tag->NextChild(parms)) {
        nMetaTag* id = parm->FindPath("Id;");
        nMetaTag* value = parm->FindPath("Value;");
        const char* name = 0;
        if (!id || !value || !id->GetValue().GetString(&name)) {
            *g_log << "[*] Incomplete script parameter declaration ignored.\n";
            continue;
        }
        int32_t type = value->GetType();
        if (type != TagType_Real && type != TagType_Bool && type != TagType_Integer && type != TagType_String) {
            *g_log << "[*] parameter '" << name << "' type is invalid.\n";
            continue;
        }
        nVariant* parameter = new (std::nothrow) nVariant();
        if (!parameter) continue;
        parameter->Set(value->GetValue());
        parameter->SetName(name);
        if (!m_parameters.InsertAfter(parameter, 0)) delete parameter;
    }
}

nMetaTag* nScriptUnit::Serialize(nMetaFile* document) const
{
    nMetaTag* root = new (std::nothrow) nMetaTag("ScriptUnit");
    if (!root) {
        *g_log << "[!] Could not serialize script unit. Failed to create root tag.\n";
        return 0;
    }
    if (!m_scriptPath.IsEmpty()) AppendTag(root, new (std::nothrow) nMetaTag("Script", m_scriptPath.GetCStr()));
    if (!m_className.IsEmpty()) AppendTag(root, new (std::nothrow) nMetaTag("Class", m_className.GetCStr()));
    if (m_parameters.GetCount() > 0) {
        nMetaTag* list = new (std::nothrow) nMetaTag("ParmList");
        if (list) {
            for (nList<nVariant*>::Node* n = m_parameters.GetHead(); n; n = n->next) {
                const nVariant* v = n->value;
                nMetaTag* parm = new (std::nothrow) nMetaTag("Parm");
                nMetaTag* id = new (std::nothrow) nMetaTag("Id", v->GetName().GetCStr());
                nMetaTag* value = ValueTag(*v);
                bool added = parm && id && value && parm->AddChild(id);
                if (added) id = 0;
                added = added && parm->AddChild(value);
                if (added) value = 0;
                added = added && list->AddChild(parm);
                if (!added) {
                    delete parm;
                    delete id;
                    delete value;
                    *g_log << "[*] Failed to serialize instance parameter '" << v->GetName().GetCStr() << "'.\n";
                }
            }
            AppendTag(root, list);
        }
    }
    return root;
}

nManagerScriptUnit::nManagerScriptUnit(nScriptVM* vm) : nScriptUnit(vm), m_cached{}
{
}

nManagerScriptUnit::~nManagerScriptUnit()
{
    ForgetCached(m_cached, CachedEventCount);
}

bool nManagerScriptUnit::Setup()
{
    if (!nScriptUnit::Setup()) return false;
    LookUpCached(kManagerEvents, CachedEventCount, m_cached);
    return true;
}

void nManagerScriptUnit::Release()
{
    ForgetCached(m_cached, CachedEventCount);
    nScriptUnit::Release();
}

nSceneScriptUnit::nSceneScriptUnit(nScriptVM* vm) : nScriptUnit(vm), m_updateDelay(0), m_cached{}
{
}

nSceneScriptUnit::~nSceneScriptUnit()
{
    ForgetCached(m_cached, CachedEventCount);
}

bool nSceneScriptUnit::Setup()
{
    if (!nScriptUnit::Setup()) return false;
    LookUpCached(kSceneEvents, CachedEventCount, m_cached);
    m_updateDelay = 0;
    return true;
}

void nSceneScriptUnit::Release()
{
    ForgetCached(m_cached, CachedEventCount);
    nScriptUnit::Release();
}

nScene2DScriptUnit::nScene2DScriptUnit(nScriptVM* vm) : nScriptUnit(vm), m_events(0), m_onUpdate()
{
}

nScene2DScriptUnit::~nScene2DScriptUnit()
{
    ForgetCached(&m_onUpdate, 1);
}

bool nScene2DScriptUnit::Setup()
{
    if (!nScriptUnit::Setup()) return false;
    static const char* const kUpdate = "OnUpdate";
    LookUpCached(&kUpdate, 1, &m_onUpdate);
    return true;
}

void nScene2DScriptUnit::Release()
{
    ForgetCached(&m_onUpdate, 1);
    nScriptUnit::Release();
}
