#include "script/nCObject.h"

#include <cstring>
#include <new>
#include <string>
#include <unordered_map>

#include "core/nBounds.h"
#include "core/nLog.h"
#include "core/nMutex.h"
#include "core/nString.h"
#include "core/nVector.h"
#include "script/nScriptBinding.h"
#include "script/nScriptMath.h"
#include "script/nSquirrelVM.h"

namespace {

struct TypeEntry
{
    const char* name;
    const char* constant;
};

const TypeEntry s_types[objectTypeCount] = {
    {"Undefined", "objectTypeUndefined"},
    {"Deleted native", "objectTypeDeleted"},
    {"C Thread", "objectTypeCThread"},
    {"Engine", "objectTypeEngine"},
    {"Resource Set", "objectTypeResourceCache"},
    {"Project", "objectTypeProject"},
    {"Renderer", "objectTypeRenderer"},
    {"Raytracer", "objectTypeRaytracer"},
    {"Mixer", "objectTypeMixer"},
    {"Scene", "objectTypeScene"},
    {"Truetype Font", "objectTypeFont"},
    {"Raster Font", "objectTypeRasterFont"},
    {"Window System", "objectTypeWindowSystem"},
    {"Window", "objectTypeWindow"},
    {"Widget", "objectTypeWidget"},
    {"Base Sizer", "objectTypeSizerWidget"},
    {"Container Widget", "objectTypeContainerWidget"},
    {"Spacer Widget", "objectTypeSpacerWidget"},
    {"Canvas Widget", "objectTypeCanvasWidget"},
    {"Text Widget", "objectTypeTextWidget"},
    {"Bitmap Widget", "objectTypeBitmapWidget"},
    {"Check Widget", "objectTypeCheckWidget"},
    {"Picture", "objectTypePicture"},
    {"Scene Group", "objectTypeGroup"},
    {"Item", "objectTypeItem"},
    {"Camera", "objectTypeCamera"},
    {"Object", "objectTypeObject"},
    {"Light", "objectTypeLight"},
    {"Instance", "objectTypeInstance"},
    {"Emitter", 0},
    {"Motion", "objectTypeMotion"},
    {"Trigger", "objectTypeTrigger"},
    {"Path", "objectTypePath"},
    {"Sound", "objectTypeSound"},
    {"Texture", "objectTypeTexture"},
    {"Geometry", "objectTypeGeometry"},
    {"Material", "objectTypeMaterial"},
    {"Collision Shape", "objectTypeColShape"},
    {"Physic Constraint", "objectTypeConstraint"},
    {"Metafile", "objectTypeMetafile"},
    {"Metatag", "objectTypeMetatag"},
    {"Joypad", "objectTypeJoypad"},
    {"HID", "objectTypeHidDevice"},
    {"Editor Plugin", "objectTypeEditorPlugin"},
    {"Project Scene", "objectTypeProjectScene"},
    {"Project Layer", "objectTypeProjectLayer"},
    {"Animation Source", "objectTypeAnimationSource"},
};

// Live records by native pointer: each entry heads a chain of the records of that pointer.
// Records with a NULL pointer are counted but not indexed. An entry whose chain empties is
// kept (a native handed out again, as an event's owner is every frame, reuses it) and swept
// once such entries outnumber the live ones. Built on first use and never destroyed, so
// records released by other globals' destructors still find it.
struct Registry
{
    nMutex mutex;
    std::unordered_map<void*, nCObject*> index;
    int32_t count = 0;
    size_t emptyEntries = 0;
    void* lastNative = 0;     // the native of the last push and its slot:
    nCObject** lastSlot = 0;  // an event's owner is pushed again and again
    nObjectTypeLifetime lifetimes[objectTypeCount] = {};

    void SweepEmpty()
    {
        lastNative = 0;
        lastSlot = 0;
        for (auto it = index.begin(); it != index.end();) {
            if (it->second) ++it;
            else it = index.erase(it);
        }
        emptyEntries = 0;
    }
};

Registry& GetRegistry()
{
    static Registry* registry = new Registry;
    return *registry;
}

}  // namespace

const char* GetObjectTypeName(int32_t type)
{
    if (type < 0 || type >= objectTypeCount) {
        *g_log << "[!] No matching description string for type " << type << ".\n";
        return "Unknown";
    }
    return s_types[type].name;
}

const char* GetObjectTypeConstantName(int32_t type)
{
    if (type < 0 || type >= objectTypeCount)
        return 0;
    return s_types[type].constant;
}

void ScriptSetObjectTypeLifetime(int32_t type, const nObjectTypeLifetime& hooks)
{
    if (type < 0 || type >= objectTypeCount)
        return;
    Registry& r = GetRegistry();
    nMutexScope lock(r.mutex);
    r.lifetimes[type] = hooks;
}

nCObject::nCObject(int32_t type, void* native, bool owned)
    : m_owned(owned), m_head(0), m_prev(0), m_next(0), m_type(type), m_native(native)
{
    Registry& r = GetRegistry();
    nMutexScope lock(r.mutex);
    ++r.count;
    if (!native)
        return;
    if (type >= 0 && type < objectTypeCount && r.lifetimes[type].retain)
        r.lifetimes[type].retain(native);
    // An existing entry without records is an emptied one (counted); a new entry is not.
    nCObject** slot = r.lastSlot;
    bool was_emptied = false;
    if (native == r.lastNative) {
        was_emptied = *slot == 0;
    } else {
        auto entry = r.index.try_emplace(native, nullptr);
        slot = &entry.first->second;
        was_emptied = !entry.second && *slot == 0;
        r.lastNative = native;
        r.lastSlot = slot;
    }
    if (was_emptied)
        --r.emptyEntries;
    nCObject*& head = *slot;
    m_next = head;
    if (head)
        head->m_prev = this;
    head = this;
    m_head = &head;  // element references of the index stay valid until their entry is erased
}

void nCObject::Unlink()
{
    Registry& r = GetRegistry();
    nCObject* next = m_next;
    if (next)
        next->m_prev = m_prev;
    if (m_prev) {
        m_prev->m_next = next;
    } else if (m_head) {
        *m_head = next;
        if (!next && ++r.emptyEntries > 1024 && r.emptyEntries > (size_t)r.count)
            r.SweepEmpty();
    }
    m_head = 0;
    m_prev = 0;
    m_next = 0;
}

nCObject::~nCObject()
{
    Registry& r = GetRegistry();
    nMutexScope lock(r.mutex);
    --r.count;
    if (!m_native)
        return;
    // Leave the index first: destroying the native below invalidates its pointer again
    // (re-entrantly, on this thread), which must not reach this dying record.
    Unlink();
    void* native = m_native;
    m_native = 0;
    const nObjectTypeLifetime* hooks = (m_type >= 0 && m_type < objectTypeCount) ? &r.lifetimes[m_type] : 0;
    if (hooks && hooks->release)
        hooks->release(native);
    if (!m_owned)
        return;
    if (hooks && hooks->destroy)
        hooks->destroy(native);
    else
        *g_log << "[!] Type " << GetObjectTypeName(m_type) << " lifetime should not be managed by the VM.\n";
}

int32_t nCObject::Invalidate(void* native)
{
    if (!native)
        return 0;
    Registry& r = GetRegistry();
    nMutexScope lock(r.mutex);
    auto it = r.index.find(native);
    if (it == r.index.end())
        return 0;
    nCObject* rec = it->second;
    if (!rec)
        --r.emptyEntries;
    if (r.lastNative == native) {
        r.lastNative = 0;
        r.lastSlot = 0;
    }
    r.index.erase(it);
    int32_t n = 0;
    while (rec) {
        nCObject* next = rec->m_next;
        rec->m_type = objectTypeDeleted;
        rec->m_native = 0;
        rec->m_head = 0;
        rec->m_prev = 0;
        rec->m_next = 0;
        rec = next;
        ++n;
    }
    return n;
}

int32_t nCObject::GetLiveCount()
{
    Registry& r = GetRegistry();
    nMutexScope lock(r.mutex);
    return r.count;
}

SQInteger ScriptReleaseCObject(SQUserPointer record, SQInteger size)
{
    delete static_cast<nCObject*>(record);
    return 0;
}

bool ScriptPushNativeObject(HSQUIRRELVM v, void* native, int32_t type, bool owned)
{
    nCObject* rec = new (std::nothrow) nCObject(type, native, owned);
    bool pushed = false;
    if (rec)
        pushed = ScriptCreateNativeInstance(v, &g_CObjectClassDecl, rec, ScriptReleaseCObject);
    if (!pushed) {
        *g_log << "[!] Could not allocate C Object.\n";
        delete rec;
        return false;
    }
    return true;
}

bool ScriptGetNativeObject(HSQUIRRELVM v, SQInteger index, void** out, int32_t expected)
{
    SQUserPointer p = 0;
    if (SQ_FAILED(sq_getinstanceup(v, index, &p, (SQUserPointer)&g_CObjectClassDecl)))
        return false;
    nCObject* rec = static_cast<nCObject*>(p);
    if (!rec) {
        sq_throwerror(v, "Internal failure");
        return false;
    }
    if (expected != 0 && expected != rec->GetType()) {
        nString text = nString::Format("Expected '%s' got '%s'", GetObjectTypeName(expected), GetObjectTypeName(rec->GetType()));
        sq_throwerror(v, text.GetCStr());
        return false;
    }
    if (out)
        *out = rec->GetNative();
    return true;
}

bool ScriptGetNativeObjectType(HSQUIRRELVM v, SQInteger index, int32_t* out)
{
    SQUserPointer p = 0;
    if (sq_gettype(v, index) != OT_INSTANCE || SQ_FAILED(sq_getinstanceup(v, index, &p, (SQUserPointer)&g_CObjectClassDecl)) || !p)
        return false;
    if (out)
        *out = static_cast<nCObject*>(p)->GetType();
    return true;
}

bool ScriptBindingError(HSQUIRRELVM v, const char* message)
{
    nString title = nString::Format("Binding error: %s", message ? message : "");
    ScriptDumpCallStack(v, title.GetCStr(), 0);
    return false;
}

bool ScriptInstantiateClass(HSQUIRRELVM v, const char* class_name, bool call_constructor)
{
    SQInteger top = sq_gettop(v);
    sq_pushroottable(v);
    sq_pushstring(v, class_name, -1);
    if (SQ_FAILED(sq_get(v, -2)) || sq_gettype(v, -1) != OT_CLASS) {
        sq_settop(v, top);
        nString text = nString::Format("Class '%s' is not declared.", class_name);
        return ScriptBindingError(v, text.GetCStr());
    }
    if (call_constructor) {
        sq_pushroottable(v);
        if (SQ_FAILED(sq_call(v, 1, SQTrue, SQFalse))) {
            sq_settop(v, top);
            nString text = nString::Format("Failed to instantiate class '%s'.", class_name);
            return ScriptBindingError(v, text.GetCStr());
        }
    } else if (SQ_FAILED(sq_createinstance(v, -1))) {
        sq_settop(v, top);
        nString text = nString::Format("Failed to instantiate class '%s'.", class_name);
        return ScriptBindingError(v, text.GetCStr());
    }
    // Stack: root, class, instance.
    sq_remove(v, -2);
    sq_remove(v, -2);
    return true;
}

static void SetFloatMember(HSQUIRRELVM v, SQInteger index, const char* name, float value)
{
    SQInteger top = sq_gettop(v);
    sq_pushstring(v, name, -1);
    sq_pushfloat(v, value);
    sq_set(v, index < 0 ? index - 2 : index);
    sq_settop(v, top);
}

bool ScriptInstantiateVector(HSQUIRRELVM v, const nVector& value)
{
    SQInteger top = sq_gettop(v);
    sq_pushroottable(v);
    sq_pushstring(v, "Vector", -1);
    if (SQ_FAILED(sq_get(v, -2)) || sq_gettype(v, -1) != OT_CLASS) {
        sq_settop(v, top);
        return ScriptBindingError(v, "Failed to create Vector instance.");
    }
    sq_pushroottable(v);
    if (SQ_FAILED(sq_call(v, 1, SQTrue, SQFalse)) || sq_gettype(v, -1) != OT_INSTANCE) {
        sq_settop(v, top);
        return ScriptBindingError(v, "Failed to create Vector instance.");
    }
    sq_remove(v, -2);
    sq_remove(v, -2);
    SetFloatMember(v, -1, "x", value.x);
    SetFloatMember(v, -1, "y", value.y);
    SetFloatMember(v, -1, "z", value.z);
    SetFloatMember(v, -1, "w", value.w);
    return true;
}

void ScriptGetVector(HSQUIRRELVM v, SQInteger index, nVector& out)
{
    SQUserPointer p = 0;
    SQInteger top = sq_gettop(v);
    if (SQ_SUCCEEDED(sq_getinstanceup(v, index, &p, (SQUserPointer)&g_VectorClassDecl)) && p && sq_getreleasehook(v, index))
        out = *static_cast<nVector*>(p);
    else
        sq_reseterror(v);  // out stays as it was; the caller's mask already accepted the value
    sq_settop(v, top);
}

// Assigns x, y, z of the member name of the instance on top.
static void SetVectorMember(HSQUIRRELVM v, const char* member, const nVector& value)
{
    SQInteger top = sq_gettop(v);
    sq_pushstring(v, member, -1);
    if (SQ_SUCCEEDED(sq_get(v, -2))) {
        SetFloatMember(v, -1, "x", value.x);
        SetFloatMember(v, -1, "y", value.y);
        SetFloatMember(v, -1, "z", value.z);
    }
    sq_settop(v, top);
}

bool ScriptPushMinMax(HSQUIRRELVM v, const nMinMax& box)
{
    if (!ScriptInstantiateClass(v, "MinMax", true))
        return ScriptBindingError(v, "Failed to create MinMax instance.");
    SetVectorMember(v, "min", box.min);
    SetVectorMember(v, "max", box.max);
    return true;
}

bool ScriptPushRect(HSQUIRRELVM v, int32_t sx, int32_t sy, int32_t ex, int32_t ey)
{
    if (!ScriptInstantiateClass(v, "Rect", false))
        return ScriptBindingError(v, "Failed to create Rect instance.");
    SetFloatMember(v, -1, "sx", (float)sx);
    SetFloatMember(v, -1, "sy", (float)sy);
    SetFloatMember(v, -1, "ex", (float)ex);
    SetFloatMember(v, -1, "ey", (float)ey);
    return true;
}

void ScriptGetRect(HSQUIRRELVM v, SQInteger index, int32_t out[4])
{
    static const char* const names[4] = {"sx", "sy", "ex", "ey"};
    SQInteger top = sq_gettop(v);
    SQInteger abs_index = index < 0 ? top + 1 + index : index;
    for (int i = 0; i < 4; ++i) {
        sq_pushstring(v, names[i], -1);
        SQFloat f;
        if (SQ_SUCCEEDED(sq_get(v, abs_index)) && SQ_SUCCEEDED(sq_getfloat(v, -1, &f)))
            out[i] = f == f ? (int32_t)(f < -1.0e9f ? -1.0e9f : (f > 1.0e9f ? 1.0e9f : f)) : 0;
        sq_settop(v, top);
    }
}
