#include "core/nScriptValue.h"

#include "core/nScriptObject.h"

nScriptValue::nScriptValue()
    : m_kind(ScriptValue_None), m_owned(false), m_scriptObject(0), m_native(0), m_objectType(0)
{
}

nScriptValue::nScriptValue(const nVariant& value) : nScriptValue() { SetVariant(value); }
nScriptValue::nScriptValue(bool value) : nScriptValue() { SetBool(value); }
nScriptValue::nScriptValue(int32_t value) : nScriptValue() { SetInt(value); }
nScriptValue::nScriptValue(float value) : nScriptValue() { SetFloat(value); }
nScriptValue::nScriptValue(const char* text) : nScriptValue() { SetString(text); }
nScriptValue::nScriptValue(nScriptObject* object, bool owned) : nScriptValue() { SetScriptObject(object, owned); }
nScriptValue::nScriptValue(int32_t object_type, void* native) : nScriptValue() { SetNativeObject(object_type, native); }

nScriptValue::~nScriptValue()
{
    ReleaseScriptObject();
}

void nScriptValue::ReleaseScriptObject()
{
    if (m_owned)
        delete m_scriptObject;
    m_scriptObject = 0;
    m_owned = false;
}

void nScriptValue::SetBool(bool value)
{
    ReleaseScriptObject();
    m_kind = ScriptValue_Plain;
    m_value.SetBool(value);
}

void nScriptValue::SetInt(int32_t value)
{
    ReleaseScriptObject();
    m_kind = ScriptValue_Plain;
    m_value.SetInt(value);
}

void nScriptValue::SetFloat(float value)
{
    ReleaseScriptObject();
    m_kind = ScriptValue_Plain;
    m_value.SetFloat(value);
}

void nScriptValue::SetString(const char* text)
{
    ReleaseScriptObject();
    m_kind = ScriptValue_Plain;
    m_value.SetString(text);
}

void nScriptValue::SetVariant(const nVariant& value)
{
    ReleaseScriptObject();
    m_kind = ScriptValue_Plain;
    m_value.Set(value);
}

void nScriptValue::SetScriptObject(nScriptObject* object, bool owned)
{
    if (object == m_scriptObject)
        m_owned = false;  // same object again: keep it alive, take the new ownership below
    ReleaseScriptObject();
    m_kind = ScriptValue_ScriptObject;
    m_scriptObject = object;
    m_owned = owned && object;
}

void nScriptValue::SetNativeObject(int32_t object_type, void* native)
{
    ReleaseScriptObject();
    m_kind = ScriptValue_Native;
    m_native = native;
    m_objectType = object_type;
}
