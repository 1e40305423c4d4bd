#include "script/nSquirrelVM.h"

#include <chrono>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <typeinfo>
#include <vector>

#include <squirrel.h>
#include <sqstdblob.h>
#include <sqstdio.h>
#include <sqstdmath.h>
#include <sqstdstring.h>
#include <sqstdsystem.h>

#include "core/nIO.h"
#include "core/nLog.h"
#include "core/nScriptValue.h"
#include "core/nString.h"
#include "hub/nOrvex.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "script/nSquirrelObject.h"

struct nSquirrelVM::ClassCache
{
    enum
    {
        Capacity = 8
    };
    const ScriptClassDecl* decls[Capacity] = {};
    HSQOBJECT classes[Capacity];
    int count = 0;

    // Script files compiled on this opening, by resolved path, with the text they came from:
    // a file run again with the same text runs the closure already compiled.
    struct CompiledFile
    {
        nString path;
        std::string text;
        HSQOBJECT closure;
    };
    std::vector<CompiledFile> files;

    // The script thread of each nesting level of calls from the engine (null when not made).
    std::vector<HSQOBJECT> threads;
};

// One call from the engine while it runs: where a stopped script returns to.
struct nSquirrelVM::Entry
{
    jmp_buf jump;
    HSQUIRRELVM thread;
    Entry* outer;
    volatile bool abandoned;
};

void ScriptDebugHook(HSQUIRRELVM v, long long type, const char* source, long long line, const char* function);
static void DumpCallStack(HSQUIRRELVM v, SQInteger firstLevel, const char* title, nString* out);

namespace {

// Slots the root table starts with: the libraries, the type constants and the whole script API
// (some 1,200 names) fit, so registering them never regrows and rehashes the table on the way.
const SQInteger kRootTableSlots = 2048;

// The machine running a call from the engine on this thread: its debug hook events.
thread_local nSquirrelVM* t_running = 0;

// Machines given up after a call stopped inside the script library: their memory stays
// reachable until the process ends (the list is never destroyed), since tearing them down
// would walk the stopped frames.
std::vector<HSQUIRRELVM>* const s_keptMachines = new std::vector<HSQUIRRELVM>;

int64_t NowMicroseconds()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}

// ---------------------------------------------------------------------------------------------
// nSquirrelObject

nSquirrelObject::nSquirrelObject(nSquirrelVM* vm, const HSQOBJECT& object)
    : m_object(object), m_vm(vm), m_prev(0), m_next(0)
{
    sq_addref(vm->GetHandle(), &m_object);
    vm->Attach(this);
}

nSquirrelObject::~nSquirrelObject()
{
    Detach();
}

void nSquirrelObject::Detach()
{
    if (!m_vm)
        return;
    nSquirrelVM* vm = m_vm;
    vm->Detach(this);
    if (vm->GetHandle())
        sq_release(vm->GetHandle(), &m_object);
    sq_resetobject(&m_object);
    m_vm = 0;
}

void nSquirrelVM::Attach(nSquirrelObject* object)
{
    object->m_prev = 0;
    object->m_next = m_objects;
    if (m_objects)
        m_objects->m_prev = object;
    m_objects = object;
}

void nSquirrelVM::Detach(nSquirrelObject* object)
{
    if (object->m_prev) object->m_prev->m_next = object->m_next;
    else if (m_objects == object) m_objects = object->m_next;
    if (object->m_next) object->m_next->m_prev = object->m_prev;
    object->m_prev = 0;
    object->m_next = 0;
}

// The script object behind scope when it belongs to this machine, else NULL.
static nSquirrelObject* OwnObject(nSquirrelVM* vm, nScriptObject* object)
{
    // The exact type test is cheaper than a cast search and enough for a final class.
    if (!object || typeid(*object) != typeid(nSquirrelObject))
        return 0;
    nSquirrelObject* o = static_cast<nSquirrelObject*>(object);
    return o->GetVM() == vm ? o : 0;
}

// ---------------------------------------------------------------------------------------------
// Machine

nSquirrelVM::nSquirrelVM(nOrvex* engine)
    : nScriptVM(engine), m_vm(0), m_argCount(0), m_callTop(0), m_callPending(false),
      m_closing(false), m_session(0), m_objects(0), m_classes(0), m_entry(0), m_entryDepth(0),
      m_callDepth(0), m_ticks(0), m_deadline(0), m_heapCeiling(0), m_stopping(false), m_abandoned(false),
      m_closeAfterCall(false)
{
}

nSquirrelVM::~nSquirrelVM()
{
    Close();
}

int32_t nSquirrelVM::GetFrameTime() const
{
    return GetEngine() ? GetEngine()->GetFrameTime() : 0;
}

nSquirrelVM* nSquirrelVM::FromHandle(HSQUIRRELVM v)
{
    return v ? static_cast<nSquirrelVM*>(sq_getforeignptr(v)) : 0;
}

const void* nSquirrelVM::FindClass(const ScriptClassDecl* decl)
{
    if (!Usable() || !m_classes)
        return 0;
    for (int i = 0; i < m_classes->count; ++i)
        if (m_classes->decls[i] == decl)
            return &m_classes->classes[i];
    if (m_classes->count == ClassCache::Capacity)
        return 0;
    SQInteger top = sq_gettop(m_vm);
    sq_pushroottable(m_vm);
    sq_pushstring(m_vm, decl->name, -1);
    const void* found = 0;
    if (SQ_SUCCEEDED(sq_rawget(m_vm, -2)) && sq_gettype(m_vm, -1) == OT_CLASS) {
        SQUserPointer tag = 0;
        sq_gettypetag(m_vm, -1, &tag);
        if (tag == (SQUserPointer)decl) {
            HSQOBJECT& slot = m_classes->classes[m_classes->count];
            sq_getstackobj(m_vm, -1, &slot);
            sq_addref(m_vm, &slot);
            m_classes->decls[m_classes->count++] = decl;
            found = &slot;
        }
    }
    sq_settop(m_vm, top);
    return found;
}

bool nSquirrelVM::Open()
{
    Close();
    m_vm = sq_open(1024);
    if (!m_vm)
        return false;
    // Nothing holds the root table of a new machine yet, which has only the base library in it:
    // a table of full size takes its place with the same slots.
    sq_newtableex(m_vm, kRootTableSlots);
    sq_pushroottable(m_vm);
    sq_pushnull(m_vm);
    while (SQ_SUCCEEDED(sq_next(m_vm, -2)))
        sq_newslot(m_vm, -5, SQFalse);  // new table, old root, iterator, key, value
    sq_pop(m_vm, 2);
    sq_setroottable(m_vm);
    sq_setforeignptr(m_vm, this);
    static uint32_t s_sessions = 0;
    if (++s_sessions == 0) ++s_sessions;
    m_session = s_sessions;
    sq_setcompilererrorhandler(m_vm, ScriptCompileErrorHandler);
    sq_setprintfunc(m_vm, ScriptPrint, ScriptPrint);
    // Line events for the bounds: the compiler marks each new source line of what it compiles
    // from now on; the script threads take the hook over from this machine.
    sq_enabledebuginfo(m_vm, SQTrue);
    sq_setnativedebughook(m_vm, ScriptDebugHook);
    sq_newclosure(m_vm, ScriptRuntimeErrorHandler, 0);
    sq_seterrorhandler(m_vm);

    sq_pushroottable(m_vm);
    sqstd_register_bloblib(m_vm);
    sqstd_register_iolib(m_vm);
    sqstd_register_systemlib(m_vm);
    sqstd_register_mathlib(m_vm);
    sqstd_register_stringlib(m_vm);
    sq_pop(m_vm, 1);

    sq_pushroottable(m_vm);
    for (int32_t type = 0; type < objectTypeCount; ++type) {
        const char* name = GetObjectTypeConstantName(type);
        if (!name)
            continue;
        sq_pushstring(m_vm, name, -1);
        sq_pushinteger(m_vm, type);
        sq_newslot(m_vm, -3, SQTrue);
    }
    sq_pop(m_vm, 1);

    m_classes = new ClassCache;
    ScriptRegisterClass(m_vm, &g_CObjectClassDecl);
    sq_settop(m_vm, 0);
    return true;
}

void nSquirrelVM::Close()
{
    if (m_entry) {
        m_closeAfterCall = true;  // a script of this machine is running: closed when the call ends
        return;
    }
    m_closeAfterCall = false;
    if (m_vm) {
        m_closing = true;
        while (m_objects)
            m_objects->Detach();
        if (m_classes) {
            for (int i = 0; i < m_classes->count; ++i)
                sq_release(m_vm, &m_classes->classes[i]);
            for (size_t i = 0; i < m_classes->files.size(); ++i)
                sq_release(m_vm, &m_classes->files[i].closure);
            for (size_t i = 0; i < m_classes->threads.size(); ++i)
                sq_release(m_vm, &m_classes->threads[i]);
        }
        delete m_classes;
        m_classes = 0;
        if (m_abandoned) {
            // A stopped call's frames still hold references the library cannot account for.
            s_keptMachines->push_back(m_vm);
        } else {
            // Frees every instance: release hooks may destroy script-owned natives, whose
            // events are refused while m_closing is set.
            sq_close(m_vm);
        }
        m_vm = 0;
        m_closing = false;
    }
    m_stopping = false;
    m_abandoned = false;
    m_callDepth = 0;
    m_session = 0;
    m_callPending = false;
    m_argCount = 0;
    ClearKilled();
}

// Finds a script through the search paths (resolved becomes its path) and reads it whole into a
// new buffer the caller deletes. False, with nothing to delete, when it cannot be found (one line
// here) or read (the IO layer says why).
static bool LoadScriptText(const char* path, nString& resolved, char** buffer, int32_t* size)
{
    if (!nIO::FindFile(resolved)) {
        *g_log << "[!] Failed to locate script '" << path << "'.\n";
        return false;
    }
    *buffer = 0;
    *size = nIO::LoadFile(resolved.GetCStr(), buffer);
    if (*size <= 0) {
        delete[] * buffer;
        *buffer = 0;
        return false;
    }
    // Editors may start a UTF-8 file with a byte-order mark, which the compiler does not read.
    static const char kByteOrderMark[] = "\xEF\xBB\xBF";
    if (*size >= 3 && std::memcmp(*buffer, kByteOrderMark, 3) == 0) {
        *size -= 3;
        std::memmove(*buffer, *buffer + 3, size_t(*size) + 1);  // the terminator too
    }
    return true;
}

bool nSquirrelVM::RunFile(const char* path, int32_t ignored)
{
    if (!Usable())
        return false;
    if (!path || !m_classes)
        return ScriptRunFile(m_vm, path);
    nString resolved(path);
    char* buffer = 0;
    int32_t size = 0;
    if (!LoadScriptText(path, resolved, &buffer, &size))
        return false;
    std::vector<ClassCache::CompiledFile>& files = m_classes->files;
    size_t index = 0;
    while (index < files.size() && !(files[index].path == resolved.GetCStr()))
        ++index;
    SQInteger top = sq_gettop(m_vm);
    bool ready = false;
    if (index < files.size() && files[index].text.size() == (size_t)size &&
        std::memcmp(files[index].text.data(), buffer, (size_t)size) == 0) {
        sq_pushobject(m_vm, files[index].closure);
        ready = true;
    } else if (SQ_SUCCEEDED(sq_compilebuffer(m_vm, buffer, size, resolved.GetCStr(), SQTrue))) {
        HSQOBJECT closure;
        sq_resetobject(&closure);
        sq_getstackobj(m_vm, -1, &closure);
        sq_addref(m_vm, &closure);
        if (index < files.size()) {
            sq_release(m_vm, &files[index].closure);
            files[index].text.assign(buffer, (size_t)size);
            files[index].closure = closure;
        } else {
            files.push_back(ClassCache::CompiledFile());
            files.back().path = resolved;
            files.back().text.assign(buffer, (size_t)size);
            files.back().closure = closure;
        }
        ready = true;
    }
    delete[] buffer;
    if (ready) {
        sq_pushroottable(m_vm);
        Call(top, 1, 0);
    }
    sq_settop(m_vm, top);
    return true;
}

bool nSquirrelVM::PushScope(nScriptObject* scope)
{
    if (!scope) {
        sq_pushroottable(m_vm);
        return true;
    }
    nSquirrelObject* o = OwnObject(this, scope);
    if (!o)
        return false;
    sq_pushobject(m_vm, o->GetHandle());
    return true;
}

nScriptObject* nSquirrelVM::GetObject(const char* name, nScriptObject* scope)
{
    if (!Usable() || !name)
        return 0;
    SQInteger top = sq_gettop(m_vm);
    nScriptObject* result = 0;
    if (PushScope(scope)) {
        sq_pushstring(m_vm, name, -1);
        if (SQ_SUCCEEDED(sq_get(m_vm, -2))) {
            HSQOBJECT o;
            sq_getstackobj(m_vm, -1, &o);
            result = new (std::nothrow) nSquirrelObject(this, o);
        }
    }
    sq_settop(m_vm, top);
    return result;
}

static nScriptObject* WrapNew(nSquirrelVM* vm, HSQUIRRELVM v, SQInteger top)
{
    HSQOBJECT o;
    sq_getstackobj(v, -1, &o);
    nScriptObject* result = new (std::nothrow) nSquirrelObject(vm, o);
    sq_settop(v, top);
    return result;
}

nScriptObject* nSquirrelVM::NewTable()
{
    if (!Usable())
        return 0;
    SQInteger top = sq_gettop(m_vm);
    sq_newtable(m_vm);
    return WrapNew(this, m_vm, top);
}

nScriptObject* nSquirrelVM::NewArray()
{
    if (!Usable())
        return 0;
    SQInteger top = sq_gettop(m_vm);
    sq_newarray(m_vm, 0);
    return WrapNew(this, m_vm, top);
}

nScriptObject* nSquirrelVM::NewNativeObject(int32_t type, void* native)
{
    if (!Usable())
        return 0;
    SQInteger top = sq_gettop(m_vm);
    if (!ScriptPushNativeObject(m_vm, native, type, false))
        return 0;
    return WrapNew(this, m_vm, top);
}

static_assert(sizeof(HSQOBJECT) <= sizeof(nScriptHandle), "a handle holds a Squirrel object");

static HSQOBJECT FromScriptHandle(const nScriptHandle& handle)
{
    HSQOBJECT o;
    memcpy(&o, &handle, sizeof(o));
    return o;
}

bool nSquirrelVM::GetHandle(nScriptObject* object, nScriptHandle* out)
{
    nSquirrelObject* o = Usable() ? OwnObject(this, object) : 0;
    if (!o || !out)
        return false;
    *out = nScriptHandle();
    memcpy(out, &o->GetHandle(), sizeof(HSQOBJECT));
    return true;
}

bool nSquirrelVM::PrepareCallSite(nScriptObject* self, nScriptObject* first, nScriptCallSite* site)
{
    if (!site)
        return false;
    site->session = 0;
    if (!GetHandle(self, &site->self) || !GetHandle(first, &site->first))
        return false;
    site->session = m_session;
    return true;
}

bool nSquirrelVM::CallSite(const nScriptCallSite& site, const nScriptHandle& function,
                           const nScriptValue* const* args, int32_t count)
{
    if (!Usable() || IsKilled() || site.session == 0 || site.session != m_session)
        return false;
    if (m_callPending) {
        // A call prepared but never executed: drop what it pushed, as BeginCall does.
        sq_settop(m_vm, m_callTop);
        m_callPending = false;
    }
    SQInteger top = sq_gettop(m_vm);
    sq_pushobject(m_vm, FromScriptHandle(function));
    sq_pushobject(m_vm, FromScriptHandle(site.self));
    sq_pushobject(m_vm, FromScriptHandle(site.first));
    for (int32_t i = 0; i < count; ++i)
        if (!args[i] || !PushValue(*args[i]))
            sq_pushnull(m_vm);
    bool ok = Call(top, 2 + (count > 0 ? count : 0), 0);
    sq_settop(m_vm, top);
    return ok;
}

bool nSquirrelVM::PushValue(const nScriptValue& value)
{
    switch (value.GetKind()) {
        case ScriptValue_Plain: {
            const nVariant& var = value.GetValue();
            switch (var.GetType()) {
                case TagType_Real: {
                    float f = 0;
                    var.GetFloat(&f);
                    sq_pushfloat(m_vm, f);
                    return true;
                }
                case TagType_Bool: {
                    bool b = false;
                    var.GetBool(&b);
                    sq_pushbool(m_vm, b ? SQTrue : SQFalse);
                    return true;
                }
                case TagType_Integer: {
                    int32_t i = 0;
                    var.GetInt(&i);
                    sq_pushinteger(m_vm, i);
                    return true;
                }
                case TagType_String: {
                    const char* s = "";
                    var.GetString(&s);
                    sq_pushstring(m_vm, s ? s : "", -1);
                    return true;
                }
                default: return false;
            }
        }
        case ScriptValue_ScriptObject: {
            nSquirrelObject* o = OwnObject(this, value.GetScriptObject());
            if (!o)
                return false;
            sq_pushobject(m_vm, o->GetHandle());
            return true;
        }
        case ScriptValue_Native:
            return ScriptPushNativeObject(m_vm, value.GetNativeObject(), value.GetObjectType(), false);
        default:
            return false;
    }
}

void nSquirrelVM::ReadValue(HSQUIRRELVM v, long long index, nScriptValue& out)
{
    switch (sq_gettype(v, index)) {
        case OT_NULL: return;  // no value: the result stays empty
        case OT_BOOL: {
            SQBool b;
            sq_getbool(v, index, &b);
            out.SetBool(b != SQFalse);
            return;
        }
        case OT_INTEGER: {
            SQInteger i;
            sq_getinteger(v, index, &i);
            out.SetInt((int32_t)i);
            return;
        }
        case OT_FLOAT: {
            SQFloat f;
            sq_getfloat(v, index, &f);
            out.SetFloat(f);
            return;
        }
        case OT_STRING: {
            const SQChar* s;
            sq_getstring(v, index, &s);
            out.SetString(s);
            return;
        }
        default: {
            HSQOBJECT o;
            sq_getstackobj(v, index, &o);
            out.SetScriptObject(new (std::nothrow) nSquirrelObject(this, o), true);
            return;
        }
    }
}

bool nSquirrelVM::SetValue(const char* name, const nScriptValue& value, nScriptObject* scope)
{
    if (!Usable() || !name)
        return false;
    SQInteger top = sq_gettop(m_vm);
    if (!PushScope(scope))
        return false;
    sq_pushstring(m_vm, name, -1);
    if (!PushValue(value)) {
        sq_settop(m_vm, top);
        return false;
    }
    SQObjectType scope_type = sq_gettype(m_vm, -3);
    SQRESULT r;
    if (scope_type == OT_TABLE || scope_type == OT_CLASS)
        r = sq_newslot(m_vm, -3, SQFalse);
    else
        r = sq_set(m_vm, -3);  // a missing member fails and leaves key and value behind
    sq_settop(m_vm, top);
    return SQ_SUCCEEDED(r);
}

bool nSquirrelVM::GetValue(const char* name, nScriptValue& out, nScriptObject* scope)
{
    if (!Usable() || !name)
        return false;
    SQInteger top = sq_gettop(m_vm);
    if (!PushScope(scope))
        return false;
    sq_pushstring(m_vm, name, -1);
    bool found = SQ_SUCCEEDED(sq_get(m_vm, -2));
    if (found)
        ReadValue(m_vm, -1, out);
    sq_settop(m_vm, top);
    return found;
}

bool nSquirrelVM::AppendToArray(const nScriptValue& value, nScriptObject* array)
{
    if (!Usable())
        return false;
    nSquirrelObject* o = OwnObject(this, array);
    if (!o)
        return false;
    SQInteger top = sq_gettop(m_vm);
    sq_pushobject(m_vm, o->GetHandle());
    bool ok = PushValue(value) && SQ_SUCCEEDED(sq_arrayappend(m_vm, -2));
    sq_settop(m_vm, top);
    return ok;
}

bool nSquirrelVM::BeginCall(const char* name, nScriptObject* function, nScriptObject* self)
{
    if (!Usable() || IsKilled())
        return false;
    if (m_callPending) {
        // A call prepared but never executed: drop what it pushed.
        sq_settop(m_vm, m_callTop);
        m_callPending = false;
    }
    SQInteger top = sq_gettop(m_vm);
    if (function) {
        nSquirrelObject* f = OwnObject(this, function);
        if (!f)
            return false;
        sq_pushobject(m_vm, f->GetHandle());
    } else {
        if (!name || !PushScope(self))
            return false;
        sq_pushstring(m_vm, name, -1);
        if (SQ_FAILED(sq_get(m_vm, -2))) {
            sq_settop(m_vm, top);
            return false;
        }
        sq_remove(m_vm, -2);
    }
    if (!PushScope(self)) {
        sq_settop(m_vm, top);
        return false;
    }
    m_argCount = 1;
    m_callTop = top;
    m_callPending = true;
    return true;
}

bool nSquirrelVM::PushArgument(const nScriptValue& value)
{
    if (!m_callPending)
        return false;
    ++m_argCount;
    if (PushValue(value))
        return true;
    sq_pushnull(m_vm);  // keeps the argument count and the stack in step
    return false;
}

bool nSquirrelVM::ExecuteCall(nScriptValue* result)
{
    if (!m_callPending)
        return false;
    // The frame is local: the call may run scripts that prepare calls of their own.
    SQInteger top = m_callTop;
    SQInteger count = m_argCount;
    m_callPending = false;
    if (!Usable() || IsKilled()) {
        if (m_vm)
            sq_settop(m_vm, top);
        return false;
    }
    bool ok = Call(top, count, result);
    sq_settop(m_vm, top);
    return ok;
}

HSQUIRRELVM nSquirrelVM::EntryThread(int32_t level)
{
    std::vector<HSQOBJECT>& threads = m_classes->threads;
    if ((size_t)level < threads.size() && sq_isthread(threads[level]))
        return threads[level]._unVal.pThread;
    SQInteger top = sq_gettop(m_vm);
    HSQUIRRELVM thread = sq_newthread(m_vm, 64);
    if (!thread)
        return 0;
    HSQOBJECT o;
    sq_getstackobj(m_vm, -1, &o);
    sq_addref(m_vm, &o);
    sq_settop(m_vm, top);
    sq_setforeignptr(thread, this);
    if ((size_t)level >= threads.size()) {
        HSQOBJECT none;
        sq_resetobject(&none);
        threads.resize(size_t(level) + 1, none);
    }
    threads[level] = o;
    return thread;
}

bool nSquirrelVM::Call(long long base, long long params, nScriptValue* result)
{
    if (m_entryDepth >= m_limits.nestedCalls) {
        sq_settop(m_vm, base);
        nString reason = nString::Format("Script calls nested more than %d deep through the engine.",
                                         (int)m_limits.nestedCalls);
        m_stopping = true;
        Report(m_entry ? m_entry->thread : m_vm, reason.GetCStr());
        return false;
    }
    const int32_t level = m_entryDepth;
    HSQUIRRELVM thread = m_classes ? EntryThread(level) : 0;
    if (!thread) {
        sq_settop(m_vm, base);
        return false;
    }
    const SQInteger top = sq_gettop(m_vm);
    for (SQInteger i = base + 1; i <= top; ++i)
        sq_move(thread, m_vm, i);
    sq_settop(m_vm, base);

    Entry entry;
    entry.thread = thread;
    entry.outer = m_entry;
    entry.abandoned = false;
    const int32_t callDepth = m_callDepth;
    nSquirrelVM* const outerMachine = t_running;
    if (!m_entry) {
        m_callDepth = 0;
        m_deadline = 0;  // set at the first look at the clock, a few hundred events in
        m_ticks = 0;
        m_heapCeiling = ScriptHeapInUse() + m_limits.heapBytes;
    }
    m_entry = &entry;
    ++m_entryDepth;
    t_running = this;
    nScriptHeapWatch* const outerWatch = SetScriptHeapWatch(this);
    volatile bool ok = false;
    if (setjmp(entry.jump) == 0)
        ok = SQ_SUCCEEDED(sq_call(thread, params, result ? SQTrue : SQFalse, SQTrue));
    SetScriptHeapWatch(outerWatch);
    t_running = outerMachine;
    m_entry = entry.outer;
    --m_entryDepth;
    m_callDepth = callDepth;
    if (entry.abandoned) {
        // The thread stopped inside the library: it stays as it is, held by the machine.
        sq_resetobject(&m_classes->threads[level]);
        if (!m_entry && m_closeAfterCall)
            Close();
        return false;
    }
    if (ok && result)
        ReadValue(thread, -1, *result);
    sq_settop(thread, 0);
    if (!m_entry && m_closeAfterCall)
        Close();
    return ok;
}

HSQUIRRELVM nSquirrelVM::GetOuterThread(HSQUIRRELVM v) const
{
    for (Entry* e = m_entry; e; e = e->outer)
        if (e->thread == v)
            return e->outer ? e->outer->thread : 0;
    return 0;
}

void ScriptDebugHook(HSQUIRRELVM v, long long type, const char* source, long long line, const char* function)
{
    if (t_running)
        t_running->OnDebugEvent(v, type);
}

void nSquirrelVM::OnDebugEvent(HSQUIRRELVM v, long long type)
{
    if (!m_entry)
        return;
    if (m_stopping)
        Stop(v, 0);
    if (type == 'r') {
        --m_callDepth;
        return;
    }
    if (type == 'c' && ++m_callDepth > m_limits.callDepth) {
        char reason[128];
        snprintf(reason, sizeof(reason), "Call stack overflow: more than %d nested script calls.",
                 (int)m_limits.callDepth);
        Stop(v, reason);
    }
    // The clock is read every 256 events, a few microseconds of script: a short call never
    // reads it, and a long one is timed from its first reading.
    if ((++m_ticks & 255) == 0) {
        const int64_t now = NowMicroseconds();
        if (m_deadline == 0) {
            m_deadline = now + int64_t(m_limits.callMilliseconds) * 1000;
        } else if (now > m_deadline) {
            char reason[128];
            snprintf(reason, sizeof(reason), "Script call ran longer than %d ms.", (int)m_limits.callMilliseconds);
            Stop(v, reason);
        }
    }
}

void nSquirrelVM::OnHeapLimit(uint64_t wanted)
{
    if (!m_entry)
        return;
    HSQUIRRELVM v = m_entry->thread;
    if (m_stopping)
        Stop(v, 0);
    char reason[128];
    snprintf(reason, sizeof(reason), "Script call allocated more than %d MB.", (int)(m_limits.heapBytes >> 20));
    Stop(v, reason);
}

void nSquirrelVM::Report(HSQUIRRELVM v, const char* reason)
{
    *g_log << "[|] Exception: " << reason << "\n";
    nString report("Exception: ");
    report += reason;
    report += "\n";
    // From v's innermost frame: no error handler of the library stands on it.
    nString dump;
    DumpCallStack(v, 0, "CS", &dump);
    report += dump;
    KillAt(v, 0, ScriptKillRuntimeError, reason);
    CallScriptErrorHook(report);
}

// Nothing with a destructor may live in the frames this leaves: the reason is plain text.
void nSquirrelVM::Stop(HSQUIRRELVM v, const char* reason)
{
    if (!m_stopping) {
        m_stopping = true;
        Report(v, reason);
    }
    m_abandoned = true;
    m_entry->abandoned = true;
    longjmp(m_entry->jump, 1);
}

int32_t nSquirrelVM::InvalidateNativeObject(void* native)
{
    if (!m_vm)
        return 0;
    return nCObject::Invalidate(native);
}

void nSquirrelVM::Kill(int32_t code, const char* reason, bool with_location)
{
    if (IsKilled())
        return;
    if (with_location) {
        KillAt(m_entry ? m_entry->thread : m_vm, 1, code, reason);
        return;
    }
    nScriptVM::Kill(code, reason, with_location);
}

void nSquirrelVM::KillAt(HSQUIRRELVM v, long long level, int32_t code, const char* reason)
{
    if (IsKilled())
        return;
    // The innermost script function from that level: a native has no source line.
    SQStackInfos si;
    while (v && SQ_SUCCEEDED(sq_stackinfos(v, level, &si)) && si.funcname && si.line == -1)
        ++level;
    if (v && SQ_SUCCEEDED(sq_stackinfos(v, level, &si)) && si.funcname)
        SetErrorLocation(si.source, (int32_t)si.line);
    else
        SetErrorLocation(0, 0);
    nScriptVM::Kill(code, reason, true);
}

void nSquirrelVM::CallScriptErrorHook(nString& report)
{
    if (GetEngine())
        GetEngine()->CallHook(OrvexHookScriptError, &report);
}

// ---------------------------------------------------------------------------------------------
// Handlers and free functions

void ScriptPrint(HSQUIRRELVM v, const char* format, ...)
{
    char buffer[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    *g_log << "[S] " << buffer << "\n";
}

void ScriptCompileErrorHandler(HSQUIRRELVM v, const char* description, const char* source, long long line, long long column)
{
    nSquirrelVM* vm = nSquirrelVM::FromHandle(v);
    if (!vm || vm->IsKilled())
        return;
    vm->SetErrorLocation(source, (int32_t)line);
    vm->Kill(ScriptKillCompileError, description, false);
}

long long ScriptRuntimeErrorHandler(HSQUIRRELVM v)
{
    // A killed machine has reported its error; what unwinds its scripts after it is no new one.
    nSquirrelVM* killed = nSquirrelVM::FromHandle(v);
    if (killed && killed->IsKilled())
        return 0;
    nString report;
    nString first;
    SQInteger top = sq_gettop(v);
    for (SQInteger i = 2; i <= top; ++i) {
        const SQChar* text;
        if (sq_gettype(v, i) != OT_STRING || SQ_FAILED(sq_getstring(v, i, &text)))
            continue;
        if (first.GetCStr() == 0)
            first.Set(text);
        *g_log << "[|] Exception: " << text << "\n";
        report += "Exception: ";
        report += text;
        report += "\n";
    }
    nString dump;
    ScriptDumpCallStack(v, "CS", &dump);
    report += dump;
    nSquirrelVM* vm = nSquirrelVM::FromHandle(v);
    if (vm) {
        vm->KillAt(v, 1, ScriptKillRuntimeError, first.GetCStr());
        vm->CallScriptErrorHook(report);
    }
    // No suspension: the killed flag already refuses every later call.
    return 0;
}

void ScriptDumpCallStack(HSQUIRRELVM v, const char* title, nString* out)
{
    // Level 0 is the native making the dump.
    DumpCallStack(v, 1, title, out);
}

// The frames from firstLevel of the script thread v, then those of the calls from the engine
// around it (their natives included).
static void DumpCallStack(HSQUIRRELVM v, SQInteger firstLevel, const char* title, nString* out)
{
    *g_log << "[|] \n";
    nString text = nString::Format("Call stack (%s):\n", title ? title : "Requested");
    *g_log << "[|] " << text.GetCStr();
    nSquirrelVM* vm = nSquirrelVM::FromHandle(v);
    SQStackInfos si;
    SQInteger level = 1;
    for (HSQUIRRELVM at = v; at; at = vm ? vm->GetOuterThread(at) : 0, firstLevel = 0) {
        for (SQInteger frame = firstLevel; SQ_SUCCEEDED(sq_stackinfos(at, frame, &si)); ++frame, ++level) {
            nString line;
            if (si.funcname && si.line == -1)
                line = nString::Format("  %d: %s() C/C++", (int)level, si.funcname);
            else if (si.funcname)
                line = nString::Format("  %d: %s() %s(%d)", (int)level, si.funcname, si.source ? si.source : "", (int)si.line);
            else
                line = nString::Format("  %d: NOINFO", (int)level);
            *g_log << "[|] " << line.GetCStr() << "\n";
            text += line;
            text += "\n";
        }
    }
    if (out)
        *out = text;
    *g_log << "[|] \n";
}

bool ScriptRunFile(HSQUIRRELVM v, const char* path)
{
    return ScriptIncludeFile(v, path) != ScriptIncludeNotLoaded;
}

int32_t ScriptIncludeFile(HSQUIRRELVM v, const char* path)
{
    if (!path)
        return ScriptIncludeRan;
    nString resolved(path);
    char* buffer = 0;
    int32_t size = 0;
    if (!LoadScriptText(path, resolved, &buffer, &size))
        return ScriptIncludeNotLoaded;
    SQInteger top = sq_gettop(v);
    int32_t result = ScriptIncludeRan;
    if (SQ_SUCCEEDED(sq_compilebuffer(v, buffer, size, resolved.GetCStr(), SQTrue))) {
        sq_pushroottable(v);
        if (SQ_FAILED(sq_call(v, 1, SQFalse, SQTrue)))
            result = ScriptIncludeFailed;
    }
    sq_settop(v, top);
    delete[] buffer;
    return result;
}
