#ifndef N_SCRIPTVALUE_H
#define N_SCRIPTVALUE_H

#include <cstdint>

#include "core/nVariant.h"

class nScriptObject;

// Kinds of a value passed to the script machine.
enum nScriptValueKind
{
    ScriptValue_None = 0,
    ScriptValue_Plain = 1,         // an nVariant
    ScriptValue_ScriptObject = 2,  // an nScriptObject, deleted by this value when owned
    ScriptValue_Native = 3         // a native pointer with the script runtime's object type code
};

// One argument or global handed to the script machine. Every setter and the destructor first
// delete an owned script object; plain setters then store through the matching nVariant setter.
class nScriptValue
{
public:
    nScriptValue();                                   // kind 0
    explicit nScriptValue(const nVariant& value);     // kind 1, copied with nVariant::Set
    explicit nScriptValue(bool value);                // kind 1
    explicit nScriptValue(int32_t value);             // kind 1
    explicit nScriptValue(float value);               // kind 1
    explicit nScriptValue(const char* text);          // kind 1
    nScriptValue(nScriptObject* object, bool owned);  // kind 2
    nScriptValue(int32_t object_type, void* native);  // kind 3
    ~nScriptValue();
    nScriptValue(const nScriptValue&) = delete;
    nScriptValue& operator=(const nScriptValue&) = delete;

    void SetBool(bool value);
    void SetInt(int32_t value);
    void SetFloat(float value);
    void SetString(const char* text);
    void SetVariant(const nVariant& value);
    void SetScriptObject(nScriptObject* object, bool owned);
    void SetNativeObject(int32_t object_type, void* native);

    int32_t GetKind() const { return m_kind; }
    const nVariant& GetValue() const { return m_value; }               // kind 1
    nScriptObject* GetScriptObject() const { return m_scriptObject; }  // kind 2
    bool IsOwned() const { return m_owned; }
    void* GetNativeObject() const { return m_native; }      // kind 3
    int32_t GetObjectType() const { return m_objectType; }  // kind 3; never interpreted here

private:
    void ReleaseScriptObject();  // deletes an owned object; forgets it

    int32_t m_kind;
    nVariant m_value;
    bool m_owned;
    nScriptObject* m_scriptObject;
    void* m_native;
    int32_t m_objectType;
};

#endif
