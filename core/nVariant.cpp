#include "core/nVariant.h"

#include <cstring>
#include <new>
#include <utility>

namespace
{

const nString kUnsetName = nString();

}  // namespace

nVariant::nVariant() : m_type(TagType_None), m_binaryLength(0), m_list(0), m_name(0)
{
    m_number.binary = 0;
}

nVariant::nVariant(float value) : nVariant()
{
    SetFloat(value);
}

nVariant::nVariant(int32_t value) : nVariant()
{
    SetInt(value);
}

nVariant::nVariant(const char* name, const char* value) : nVariant()
{
    SetName(name);
    SetString(value);
}

nVariant::nVariant(const char* name, int32_t value) : nVariant()
{
    SetName(name);
    SetInt(value);
}

nVariant::nVariant(const char* name, float value) : nVariant()
{
    SetName(name);
    SetFloat(value);
}

nVariant::nVariant(const char* name, bool value) : nVariant()
{
    SetName(name);
    SetBool(value);
}

nVariant::~nVariant()
{
    FreePayload();
    delete m_list;
    delete m_name;
}

const nString& nVariant::GetName() const
{
    return m_name ? *m_name : kUnsetName;
}

void nVariant::SetName(const char* name)
{
    if (!m_name)
    {
        if (!name)
            return;
        m_name = new (std::nothrow) nString();
        if (!m_name)
            return;
    }
    m_name->Set(name);
}

void nVariant::FreePayload()
{
    if (m_type == TagType_Binary)
        delete[] m_number.binary;
    m_number.binary = 0;
    m_binaryLength = 0;
    m_text.Clear();
    if (m_list)
    {
        nListIterator<nVariant*> it;
        while (nVariant* element = m_list->Iterate(it))
            delete element;
        m_list->Clear();
    }
    m_type = TagType_None;
}

void nVariant::Clear()
{
    FreePayload();
}

void nVariant::SetString(const char* text)
{
    if (m_type == TagType_String && text == m_text.GetCStr())
        return;  // own text: Set would keep it anyway, FreePayload would not
    FreePayload();
    m_text.Set(text);
    m_type = TagType_String;
}

bool nVariant::SetString(const char* begin, const char* end)
{
    // Copied before the old payload goes: the range may lie in the current text.
    nString text;
    if (begin && end > begin)
        text.Set(begin, end);
    else
        text.Set("");
    if (!text.GetCStr())
        return false;
    FreePayload();
    m_text = std::move(text);
    m_type = TagType_String;
    return true;
}

void nVariant::SetInt(int32_t value)
{
    FreePayload();
    m_number.integer = value;
    m_type = TagType_Integer;
}

void nVariant::SetBool(bool value)
{
    FreePayload();
    m_number.boolean = value;
    m_type = TagType_Bool;
}

void nVariant::SetFloat(float value)
{
    FreePayload();
    m_number.real = value;
    m_type = TagType_Real;
}

bool nVariant::SetBinary(const void* data, int32_t length)
{
    if (length < 0 || (length > 0 && !data))
    {
        FreePayload();
        return false;
    }
    uint8_t* copy = 0;
    if (length > 0)
    {
        copy = new (std::nothrow) uint8_t[length];
        if (!copy)
        {
            FreePayload();
            return false;
        }
        memcpy(copy, data, (size_t)length);
    }
    FreePayload();  // after the copy: data may point into this value's own buffer
    m_number.binary = copy;
    m_binaryLength = length;
    m_type = TagType_Binary;
    return true;
}

void nVariant::AttachBinary(uint8_t* buffer, int32_t length)
{
    if (m_type == TagType_Binary && buffer == m_number.binary)
        m_number.binary = 0;  // already ours: do not free it below
    FreePayload();
    if (!buffer || length <= 0)
    {
        delete[] buffer;
        buffer = 0;
        length = 0;
    }
    m_number.binary = buffer;
    m_binaryLength = length;
    m_type = TagType_Binary;
}

nList<nVariant*>* nVariant::SetList()
{
    FreePayload();
    if (!m_list)
    {
        m_list = new (std::nothrow) nList<nVariant*>();
        if (!m_list)
            return 0;
    }
    m_type = TagType_List;
    return m_list;
}

void nVariant::Set(const nVariant& other)
{
    if (&other == this)
        return;
    // Copy into a temporary first: other may live inside this value's payload (a list element).
    nVariant copy;
    copy.CopyPayload(other);
    TakePayload(copy);
}

void nVariant::CopyPayload(const nVariant& other)
{
    switch (other.m_type)
    {
    case TagType_Real:    SetFloat(other.m_number.real); break;
    case TagType_Bool:    SetBool(other.m_number.boolean); break;
    case TagType_Integer: SetInt(other.m_number.integer); break;
    case TagType_String:  SetString(other.m_text.GetCStr()); break;
    case TagType_Binary:  SetBinary(other.m_number.binary, other.m_binaryLength); break;
    case TagType_List:
    {
        nList<nVariant*>* list = SetList();
        if (!list)
            break;
        nListIterator<nVariant*> it;
        while (nVariant* element = other.m_list->Iterate(it))
        {
            nVariant* copy = new (std::nothrow) nVariant();
            if (!copy)
                continue;
            copy->CopyPayload(*element);
            if (element->m_name)
                copy->SetName(element->m_name->GetCStr());
            if (!list->InsertAfter(copy, 0))
                delete copy;
        }
        break;
    }
    default:
        FreePayload();
        break;
    }
}

void nVariant::TakePayload(nVariant& from)
{
    FreePayload();
    m_type = from.m_type;
    m_number = from.m_number;
    m_binaryLength = from.m_binaryLength;
    m_text = static_cast<nString&&>(from.m_text);
    std::swap(m_list, from.m_list);   // from's elements come along; this one's old list is empty
    from.m_number.binary = 0;
    from.m_binaryLength = 0;
    from.m_type = TagType_None;
}

bool nVariant::GetBool(bool* out) const
{
    switch (m_type)
    {
    case TagType_Real:    *out = m_number.real != 0.0f; return true;
    case TagType_Bool:    *out = m_number.boolean; return true;
    case TagType_Integer: *out = m_number.integer != 0; return true;
    default:              return false;
    }
}

bool nVariant::GetFloat(float* out) const
{
    if (m_type != TagType_Real)
        return false;
    *out = m_number.real;
    return true;
}

bool nVariant::GetInt(int32_t* out) const
{
    if (m_type != TagType_Integer)
        return false;
    *out = m_number.integer;
    return true;
}

bool nVariant::GetString(const char** out) const
{
    if (m_type != TagType_String)
        return false;
    *out = m_text.GetCStr() ? m_text.GetCStr() : "";
    return true;
}

bool nVariant::GetBinary(uint8_t** out, int32_t* length) const
{
    if (m_type != TagType_Binary)
        return false;
    uint8_t* copy = 0;
    if (m_binaryLength > 0)
    {
        copy = new (std::nothrow) uint8_t[m_binaryLength];
        if (!copy)
            return false;
        memcpy(copy, m_number.binary, (size_t)m_binaryLength);
    }
    *out = copy;
    *length = m_binaryLength;
    return true;
}
