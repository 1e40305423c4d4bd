#include "tests/scene/kit/nRecordingScriptVM.h"

#include <cstdio>

#include "core/nScriptValue.h"
#include "hub/nOrvex.h"
#include "tests/kit/nCallLog.h"

nRecordingScriptVM::nRecordingScriptVM(nOrvex* engine, nCallLog* log)
    : nScriptVM(engine), m_log(log), m_open(true), m_arguments(0)
{
}

void nRecordingScriptVM::DefineClass(const std::string& className, const std::set<std::string>& methods)
{
    m_classes[className] = methods;
}

void nRecordingScriptVM::DefineFunction(const std::string& name)
{
    m_functions.insert(name);
}

void nRecordingScriptVM::AddMethod(const std::string& className, const std::string& method)
{
    m_classes[className].insert(method);
}

void nRecordingScriptVM::NameNative(const void* native, const std::string& name)
{
    m_names[native] = name;
}

int32_t nRecordingScriptVM::InvalidationCount(const void* native) const
{
    auto it = m_invalidations.find(native);
    return it == m_invalidations.end() ? 0 : it->second;
}

std::string nRecordingScriptVM::Describe(const nScriptValue& value) const
{
    switch (value.GetKind()) {
        case ScriptValue_Plain: {
            const nVariant& v = value.GetValue();
            float f;
            bool b;
            int32_t i;
            const char* s;
            if (v.GetFloat(&f)) return FormatFloat(f);
            if (v.GetType() == TagType_Bool && v.GetBool(&b)) return b ? "true" : "false";
            if (v.GetInt(&i)) return std::to_string(i);
            if (v.GetString(&s)) return std::string("\"") + s + "\"";
            return "?";
        }
        case ScriptValue_ScriptObject: {
            const nRecordingScriptObject* o = static_cast<const nRecordingScriptObject*>(value.GetScriptObject());
            return o ? o->name : "null";
        }
        case ScriptValue_Native: {
            auto it = m_names.find(value.GetNativeObject());
            std::string name;
            if (it != m_names.end()) {
                name = it->second;
            } else {
                char text[32];
                snprintf(text, sizeof(text), "%p", value.GetNativeObject());
                name = text;
            }
            return "native(" + std::to_string(value.GetObjectType()) + "," + name + ")";
        }
        default:
            return "none";
    }
}

nScriptObject* nRecordingScriptVM::GetObject(const char* name, nScriptObject* scope)
{
    if (!name) return 0;
    if (scope) {
        const nRecordingScriptObject* o = static_cast<const nRecordingScriptObject*>(scope);
        auto c = m_classes.find(o->className);
        if (c == m_classes.end() || !c->second.count(name)) return 0;
        return new nRecordingScriptObject(o->className + "." + name);
    }
    if (m_functions.count(name) || m_classes.count(name)) return new nRecordingScriptObject(name);
    return 0;
}

bool nRecordingScriptVM::RunFile(const char* path, int32_t ignored)
{
    m_log->Add(std::string("script.run ") + (path ? path : "NULL"));
    return true;
}

nScriptObject* nRecordingScriptVM::NewTable()
{
    m_log->Add("script.NewTable");
    return new nRecordingScriptObject("table");
}

bool nRecordingScriptVM::SetValue(const char* name, const nScriptValue& value, nScriptObject* scope)
{
    std::string where = scope ? static_cast<nRecordingScriptObject*>(scope)->name + "." : "";
    m_log->Add("script.set " + where + (name ? name : "") + "=" + Describe(value));
    return true;
}

bool nRecordingScriptVM::GetValue(const char* name, nScriptValue& out, nScriptObject* scope)
{
    return false;
}

nScriptObject* nRecordingScriptVM::NewArray()
{
    m_log->Add("script.NewArray");
    return new nRecordingScriptObject("array");
}

bool nRecordingScriptVM::AppendToArray(const nScriptValue& value, nScriptObject* array)
{
    m_log->Add("script.append " + Describe(value));
    return array != 0;
}

bool nRecordingScriptVM::BeginCall(const char* name, nScriptObject* function, nScriptObject* self)
{
    if (IsKilled() || !m_open || !name) return false;
    m_pendingClass.clear();
    if (!function) {
        if (self) {
            const nRecordingScriptObject* o = static_cast<const nRecordingScriptObject*>(self);
            auto c = m_classes.find(o->className);
            if (c == m_classes.end() || !c->second.count(name)) return false;
        } else if (m_classes.count(name)) {
            m_pendingClass = name;
        } else if (!m_functions.count(name)) {
            return false;
        }
    }
    m_pending = std::string("script.") + name + "(";
    m_arguments = 0;
    return true;
}

bool nRecordingScriptVM::PushArgument(const nScriptValue& value)
{
    m_pending += (m_arguments++ ? "," : "") + Describe(value);
    return true;
}

bool nRecordingScriptVM::ExecuteCall(nScriptValue* result)
{
    if (IsKilled()) return false;
    if (!m_pendingClass.empty()) {
        m_log->Add("script.new " + m_pendingClass);
        if (result) result->SetScriptObject(new nRecordingScriptObject("instance:" + m_pendingClass, m_pendingClass), true);
        m_pendingClass.clear();
        return true;
    }
    m_log->Add(m_pending + ")");
    if (result) result->SetScriptObject(new nRecordingScriptObject("result"), true);
    return true;
}

int32_t nRecordingScriptVM::InvalidateNativeObject(void* native)
{
    ++m_invalidations[native];
    nScriptValue v(1, native);
    std::string text = Describe(v);
    m_log->Add("script.invalidate " + text.substr(std::string("native(1,").size(), text.size() - 10));
    return 0;
}

int32_t nRecordingScriptVM::GetFrameTime() const
{
    return GetEngine() ? GetEngine()->GetFrameTime() : 0;
}
