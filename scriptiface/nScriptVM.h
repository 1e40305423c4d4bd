#ifndef N_SCRIPTVM_H
#define N_SCRIPTVM_H

#include <cstdint>

#include "core/nString.h"

class nOrvex;
class nScriptObject;
class nScriptValue;

// Why a script machine was killed.
enum nScriptKillCode
{
    ScriptKillCompileError = 0,  // a script did not compile
    ScriptKillRuntimeError = 1,  // an error no script caught
    ScriptKillNoInstance = 2,    // a script class could not be instantiated
    ScriptKillAssertion = 3      // __Assert with a false condition
};

// A machine's own reference to one script value, copied out of a script object of that
// machine so that a frequent call reads no other object; opaque outside the machine. It is
// good while the script object it was copied from lives and the machine stays open.
struct nScriptHandle
{
    uint64_t bits[2];
};

// Calls prepared once and made often: the 'this' they are made on and their first argument.
// session is the machine's open session when prepared (0: not prepared); a machine refuses
// a site of any other session, so a site outliving a close is never used.
struct nScriptCallSite
{
    nScriptHandle self;
    nScriptHandle first;
    uint32_t session;
};

// The engine's door into the script language. One machine exists; scenes, 2D scenes and
// script units keep a pointer to it. The first Kill marks it killed: from then on BeginCall
// and ExecuteCall refuse quietly (false), so every event becomes a no-op, until Close.
// A call is BeginCall, any number of PushArgument, then exactly one ExecuteCall.
// Script objects handed out (GetObject, NewTable, NewArray, kind-2 results) are owned by
// the caller and stay safe to delete after the machine closed.
class nScriptVM
{
public:
    explicit nScriptVM(nOrvex* engine);  // closed, not killed, empty strings

    virtual nScriptObject* GetObject(const char* name, nScriptObject* scope) = 0;                  // NULL scope: root table; NULL when the slot does not exist
    virtual bool RunFile(const char* path, int32_t ignored) = 0;                                   // compiles and runs in the root table; true whenever the file was loaded
    virtual nScriptObject* NewTable() = 0;                                                         // a new empty table
    virtual bool SetValue(const char* name, const nScriptValue& value, nScriptObject* scope) = 0;  // new slot in a table or class, else assigned
    virtual bool GetValue(const char* name, nScriptValue& out, nScriptObject* scope) = 0;          // false when the slot does not exist
    virtual nScriptObject* NewArray() = 0;                                                         // a new empty array
    virtual bool AppendToArray(const nScriptValue& value, nScriptObject* array) = 0;
    virtual bool BeginCall(const char* name, nScriptObject* function, nScriptObject* self) = 0;  // function given: name unused; NULL self: root table
    virtual bool PushArgument(const nScriptValue& value) = 0;
    virtual bool ExecuteCall(nScriptValue* result) = 0;                       // result may be NULL
    virtual int32_t InvalidateNativeObject(void* native) = 0;                 // number of script objects now reading as deleted natives
    virtual void Kill(int32_t code, const char* reason, bool with_location);  // the first kill's code, reason and location stay
    virtual bool IsKilled() const { return m_killed; }
    virtual bool IsOpen() const = 0;
    virtual bool Open() = 0;   // closes any open machine first
    virtual void Close() = 0;  // frees every script value; clears the killed state
    virtual ~nScriptVM();
    // A script object holding a new, not owned object of the native with that type, for
    // callers that pass the same native many times; NULL when the machine cannot make one
    // (the caller then passes the native value itself).
    virtual nScriptObject* NewNativeObject(int32_t type, void* native) { return 0; }
    // Prepared calls, for callers that make the same call many times. A machine without them
    // refuses to prepare, and the caller then makes its calls in the three steps.
    virtual bool GetHandle(nScriptObject* object, nScriptHandle* out) { return false; }  // false: not this machine's object
    virtual bool PrepareCallSite(nScriptObject* self, nScriptObject* first, nScriptCallSite* site) { return false; }
    // One call as BeginCall (function, self), PushArgument of first and of each argument
    // (a value that cannot be pushed goes as null), then ExecuteCall without result.
    virtual bool CallSite(const nScriptCallSite& site, const nScriptHandle& function,
                          const nScriptValue* const* args, int32_t count) { return false; }
    // Ticks of the engine's last frame (0 without an engine), which the update delays of
    // scene units count down. Every machine answers for the engine it was made for.
    virtual int32_t GetFrameTime() const = 0;

    nOrvex* GetEngine() const { return m_engine; }
    int32_t GetKillCode() const { return m_killCode; }  // meaningful once killed
    const nString& GetKillReason() const { return m_killReason; }
    const nString& GetErrorSource() const { return m_errorSource; }  // source file of the error, empty when unknown
    int32_t GetErrorLine() const { return m_errorLine; }             // 0 when unknown

protected:
    void SetErrorLocation(const char* source, int32_t line);
    void ClearKilled() { m_killed = false; }

private:
    nScriptVM(const nScriptVM&) = delete;
    nScriptVM& operator=(const nScriptVM&) = delete;

    nOrvex* m_engine;
    bool m_killed;
    int32_t m_killCode;
    nString m_errorSource;
    nString m_killReason;
    int32_t m_errorLine;
};

#endif
