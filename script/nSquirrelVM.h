#ifndef N_SQUIRRELVM_H
#define N_SQUIRRELVM_H

#include <cstdint>

#include "scriptiface/nScriptVM.h"

typedef struct SQVM* HSQUIRRELVM;
class nString;
class nSquirrelObject;
struct ScriptClassDecl;

// The script machine on Squirrel 3. The machine's foreign pointer is this object, so the
// handlers and the binding code find it from the raw handle.
//
// Kill policy: a compile error, an uncaught run-time error, a failed class instantiation and
// a failed assertion kill the machine; the error handler does not suspend the machine, the
// killed flag alone makes every later call fail. A call's frame (stack top, argument count)
// is taken at ExecuteCall, so scripts may make engine calls of their own while it runs.
// Prepared calls hold plain handles without references of their own: they are good while
// the script objects they were copied from live, and a site is refused once the machine
// that prepared it closed (its session ends).
// Stack policy: every operation leaves the machine's stack as it found it, on success and
// on every failure.
// Closing: while Close tears the machine down (release hooks destroy script-owned natives),
// calls and value changes are refused, and script objects still held by the engine are
// detached so deleting them later touches no freed machine.
class nSquirrelVM final : public nScriptVM
{
public:
    explicit nSquirrelVM(nOrvex* engine);
    ~nSquirrelVM() override;                           // closes an open machine

    nScriptObject* GetObject(const char* name, nScriptObject* scope) override;
    bool           RunFile(const char* path, int32_t ignored) override;
    nScriptObject* NewTable() override;
    bool           SetValue(const char* name, const nScriptValue& value, nScriptObject* scope) override;
    bool           GetValue(const char* name, nScriptValue& out, nScriptObject* scope) override;
    nScriptObject* NewArray() override;
    bool           AppendToArray(const nScriptValue& value, nScriptObject* array) override;
    bool           BeginCall(const char* name, nScriptObject* function, nScriptObject* self) override;
    bool           PushArgument(const nScriptValue& value) override;
    bool           ExecuteCall(nScriptValue* result) override;
    int32_t        InvalidateNativeObject(void* native) override;
    void           Kill(int32_t code, const char* reason, bool with_location) override;
    bool           IsOpen() const override { return m_vm != 0; }
    int32_t        GetFrameTime() const override;
    bool           Open() override;
    void           Close() override;
    nScriptObject* NewNativeObject(int32_t type, void* native) override;
    bool           GetHandle(nScriptObject* object, nScriptHandle* out) override;
    bool           PrepareCallSite(nScriptObject* self, nScriptObject* first, nScriptCallSite* site) override;
    bool           CallSite(const nScriptCallSite& site, const nScriptHandle& function,
                            const nScriptValue* const* args, int32_t count) override;

    HSQUIRRELVM GetHandle() const { return m_vm; }
    bool        IsClosing() const { return m_closing; }
    static nSquirrelVM* FromHandle(HSQUIRRELVM v);     // the machine behind a raw handle, NULL when none

    // The root-table class of a native class declaration, looked up once and then held for
    // fast pushes (a const HSQOBJECT*); NULL while closed or when the class is not registered.
    const void* FindClass(const ScriptClassDecl* decl);

    // Script objects register here so Close can detach them.
    void Attach(nSquirrelObject* object);
    void Detach(nSquirrelObject* object);

private:
    bool PushValue(const nScriptValue& value);         // false (nothing pushed) for kinds it cannot push
    void ReadValue(long long index, nScriptValue& out);
    bool PushScope(nScriptObject* scope);              // the scope's value or the root table
    void CallScriptErrorHook(nString& report);

    friend long long ScriptRuntimeErrorHandler(HSQUIRRELVM v);
    friend void ScriptCompileErrorHandler(HSQUIRRELVM v, const char* description, const char* source, long long line, long long column);

    HSQUIRRELVM      m_vm;
    int32_t          m_argCount;                       // values pushed for the call being prepared, 'this' included
    long long        m_callTop;                        // stack top before BeginCall
    bool             m_callPending;                    // BeginCall done, ExecuteCall not yet
    bool             m_closing;
    uint32_t         m_session;                        // this opening, unique in the process; 0 while closed
    nSquirrelObject* m_objects;                        // live script objects of this machine
    struct ClassCache;
    ClassCache*      m_classes;
};

// Free functions on the raw handle.
bool ScriptRunFile(HSQUIRRELVM v, const char* path);                   // true whenever the file was loaded
void ScriptDumpCallStack(HSQUIRRELVM v, const char* title, nString* out); // "Requested" for a NULL title
void ScriptPrint(HSQUIRRELVM v, const char* format, ...);               // "[S] " text
void ScriptCompileErrorHandler(HSQUIRRELVM v, const char* description, const char* source, long long line, long long column); // kills with code 0
long long ScriptRuntimeErrorHandler(HSQUIRRELVM v);                    // logs, dumps the call stack, kills with code 1; 0

#endif
