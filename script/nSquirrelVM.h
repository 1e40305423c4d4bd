#ifndef N_SQUIRRELVM_H
#define N_SQUIRRELVM_H

#include <csetjmp>
#include <cstdint>

#include "script/nScriptHeap.h"
#include "scriptiface/nScriptVM.h"

typedef struct SQVM* HSQUIRRELVM;
class nString;
class nSquirrelObject;
struct ScriptClassDecl;

// Bounds on what scripts may do within one call from the engine. A script that passes one is
// stopped where it stands: a script error with its own reason (a "[|] Exception: " line, the
// call stack, and the machine killed with that reason), and every script call of the machine
// still running ends as well.
struct nScriptLimits
{
    int32_t callDepth;         // script functions called inside one another
    int32_t nestedCalls;       // calls from the engine inside a script call (events a script's call raises)
    int32_t callMilliseconds;  // one call from the engine, with everything it runs
    uint64_t heapBytes;        // memory one call from the engine may add to the script library's

    nScriptLimits() : callDepth(2000), nestedCalls(48), callMilliseconds(5000), heapBytes(uint64_t(256) << 20) {}
};

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
// Bounds (nScriptLimits): every call from the engine runs on a script thread of its own
// nesting level, watched through the machine's debug hook (calls, returns and source lines)
// and the script library's allocator. A stopped call leaves its thread unusable, so a machine
// that stopped one is refused every operation until it closes, and its closing keeps the
// library's memory as it is instead of tearing it down (the process ends soon after).
// A loop that stays on one source line gives the hook no event: only the allocations in it
// can stop it. Memory kept from one call to the next is not bounded.
class nSquirrelVM final : public nScriptVM, private nScriptHeapWatch
{
public:
    explicit nSquirrelVM(nOrvex* engine);
    ~nSquirrelVM() override;  // closes an open machine

    nScriptObject* GetObject(const char* name, nScriptObject* scope) override;
    bool RunFile(const char* path, int32_t ignored) override;
    nScriptObject* NewTable() override;
    bool SetValue(const char* name, const nScriptValue& value, nScriptObject* scope) override;
    bool GetValue(const char* name, nScriptValue& out, nScriptObject* scope) override;
    nScriptObject* NewArray() override;
    bool AppendToArray(const nScriptValue& value, nScriptObject* array) override;
    bool BeginCall(const char* name, nScriptObject* function, nScriptObject* self) override;
    bool PushArgument(const nScriptValue& value) override;
    bool ExecuteCall(nScriptValue* result) override;
    int32_t InvalidateNativeObject(void* native) override;
    void Kill(int32_t code, const char* reason, bool with_location) override;
    bool IsOpen() const override { return m_vm != 0; }
    int32_t GetFrameTime() const override;
    bool Open() override;
    void Close() override;
    nScriptObject* NewNativeObject(int32_t type, void* native) override;
    bool GetHandle(nScriptObject* object, nScriptHandle* out) override;
    bool PrepareCallSite(nScriptObject* self, nScriptObject* first, nScriptCallSite* site) override;
    bool CallSite(const nScriptCallSite& site, const nScriptHandle& function,
                  const nScriptValue* const* args, int32_t count) override;

    HSQUIRRELVM GetHandle() const { return m_vm; }
    bool IsClosing() const { return m_closing; }
    bool IsStopped() const { return m_abandoned; }  // a call was stopped inside a script since the machine opened
    void SetLimits(const nScriptLimits& limits) { m_limits = limits; }
    const nScriptLimits& GetLimits() const { return m_limits; }
    HSQUIRRELVM GetOuterThread(HSQUIRRELVM v) const;  // the script thread of the call from the engine around the one running on v, or NULL
    static nSquirrelVM* FromHandle(HSQUIRRELVM v);    // the machine behind a raw handle, NULL when none

    // The root-table class of a native class declaration, looked up once and then held for
    // fast pushes (a const HSQOBJECT*); NULL while closed or when the class is not registered.
    const void* FindClass(const ScriptClassDecl* decl);

    // Script objects register here so Close can detach them.
    void Attach(nSquirrelObject* object);
    void Detach(nSquirrelObject* object);

private:
    struct Entry;

    bool Usable() const { return m_vm && !m_closing && !m_abandoned; }
    bool PushValue(const nScriptValue& value);  // false (nothing pushed) for kinds it cannot push
    void ReadValue(HSQUIRRELVM v, long long index, nScriptValue& out);
    bool PushScope(nScriptObject* scope);  // the scope's value or the root table
    void CallScriptErrorHook(nString& report);
    void KillAt(HSQUIRRELVM v, long long level, int32_t code, const char* reason);  // with the location of v's frame at that level

    // Calls the function above base on this machine's stack with params values ('this'
    // included) on the script thread of the next nesting level; the stack is cut back to base.
    bool Call(long long base, long long params, nScriptValue* result);
    HSQUIRRELVM EntryThread(int32_t level);  // made on first use; NULL when it cannot be made
    void OnDebugEvent(HSQUIRRELVM v, long long type);
    void Stop(HSQUIRRELVM v, const char* reason);    // reports, kills, and ends the running call (does not return)
    void Report(HSQUIRRELVM v, const char* reason);  // the script error's lines, the kill and the error hook
    uint64_t GetHeapLimit() const override { return m_heapCeiling; }
    void OnHeapLimit(uint64_t wanted) override;

    friend void ScriptDebugHook(HSQUIRRELVM v, long long type, const char* source, long long line, const char* function);
    friend long long ScriptRuntimeErrorHandler(HSQUIRRELVM v);
    friend void ScriptCompileErrorHandler(HSQUIRRELVM v, const char* description, const char* source, long long line, long long column);

    HSQUIRRELVM m_vm;
    int32_t m_argCount;   // values pushed for the call being prepared, 'this' included
    long long m_callTop;  // stack top before BeginCall
    bool m_callPending;   // BeginCall done, ExecuteCall not yet
    bool m_closing;
    uint32_t m_session;          // this opening, unique in the process; 0 while closed
    nSquirrelObject* m_objects;  // live script objects of this machine
    struct ClassCache;
    ClassCache* m_classes;
    nScriptLimits m_limits;
    Entry* m_entry;          // the innermost call from the engine running, NULL when none
    int32_t m_entryDepth;    // calls from the engine running, one inside the other
    int32_t m_callDepth;     // script functions running inside the outermost call
    uint32_t m_ticks;        // hook events since the clock was last read
    int64_t m_deadline;      // microseconds on the steady clock when the outermost call must end; 0: not read yet
    uint64_t m_heapCeiling;  // script library bytes the outermost call may reach
    bool m_stopping;         // a bound was passed: every running call ends
    bool m_abandoned;        // a call was left inside the script library
    bool m_closeAfterCall;   // Close asked while a call ran
};

// Free functions on the raw handle.
bool ScriptRunFile(HSQUIRRELVM v, const char* path);  // true whenever the file was loaded
// The same with the run's outcome: a run that failed leaves its error as the machine's last
// error, so a native function can raise it on (an error the handler never saw, such as the
// machine's "Native stack overflow", would otherwise be lost).
enum
{
    ScriptIncludeRan = 0,
    ScriptIncludeNotLoaded = -1,
    ScriptIncludeFailed = 1
};
int32_t ScriptIncludeFile(HSQUIRRELVM v, const char* path);
void ScriptDumpCallStack(HSQUIRRELVM v, const char* title, nString* out);                                                      // "Requested" for a NULL title
void ScriptPrint(HSQUIRRELVM v, const char* format, ...);                                                                      // "[S] " text
void ScriptCompileErrorHandler(HSQUIRRELVM v, const char* description, const char* source, long long line, long long column);  // kills with code 0
long long ScriptRuntimeErrorHandler(HSQUIRRELVM v);                                                                            // logs, dumps the call stack, kills with code 1; 0; nothing more once killed

#endif
