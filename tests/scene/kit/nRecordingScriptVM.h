#ifndef N_RECORDINGSCRIPTVM_H
#define N_RECORDINGSCRIPTVM_H

#include <map>
#include <set>
#include <string>

#include "core/nScriptObject.h"
#include "scriptiface/nScriptVM.h"

class nCallLog;

// A script object of the recording machine: a class instance, a method, a table or an array.
class nRecordingScriptObject : public nScriptObject
{
public:
    explicit nRecordingScriptObject(const std::string& name, const std::string& className = "")
        : name(name), className(className) {}
    std::string name;
    std::string className;  // instances: the class they were made from
};

// A script machine without a language: classes are declared with the methods they define,
// every completed call is written into the call log as "script.Method(owner,args...)", and
// values set and natives invalidated are recorded too ("script.set g_scene=native(9,scene)",
// "script.invalidate item"). Natives are shown by the names given with NameNative.
class nRecordingScriptVM : public nScriptVM
{
public:
    nRecordingScriptVM(nOrvex* engine, nCallLog* log);

    void DefineClass(const std::string& className, const std::set<std::string>& methods);
    void DefineFunction(const std::string& name);                             // a global function scripts can call
    void AddMethod(const std::string& className, const std::string& method);  // e.g. after set-up
    void NameNative(const void* native, const std::string& name);
    std::string Describe(const nScriptValue& value) const;
    int32_t InvalidationCount(const void* native) const;

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
    bool IsOpen() const override { return m_open; }
    int32_t GetFrameTime() const override;  // the engine's, as the real machine
    bool Open() override
    {
        m_open = true;
        return true;
    }
    void Close() override
    {
        m_open = false;
        ClearKilled();
    }

private:
    nCallLog* m_log;
    bool m_open;
    std::map<std::string, std::set<std::string>> m_classes;
    std::set<std::string> m_functions;
    std::map<const void*, std::string> m_names;
    std::map<const void*, int32_t> m_invalidations;
    std::string m_pending;       // the call being prepared
    std::string m_pendingClass;  // non-empty while a class is being instantiated
    int32_t m_arguments;
};

#endif
