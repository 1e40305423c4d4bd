#include "core/nVariant.h"

#include <cstring>
#include <new>
#include <utility>

namespace {

const nString kUnsetText = nString();

}  // namespace

nVariant::nVariant() : m_type(TagType_None), m_binaryLength(0), m_extra(0)
{
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
    delete m_extra;
}

const nString& nVariant::GetText() const
{
    return m_type == TagType_String ? m_payload.text : kUnsetText;
}

const nString& nVariant::GetName() const
{
    return m_extra ? m_extra->name : kUnsetText;
}

void nVariant::SetName(const char* name)
{
    if (!name && !m_extra)
        return;
    if (Extra* extra = GetExtra())
        extra->name.Set(name);
}

nVariant::Extra* nVariant::GetExtra()
{
    if (!m_extra)
        m_extra = new (std::nothrow) Extra();
    return m_extra;
}

void nVariant::FreePayload()
{
    switch (m_type) {
        case TagType_Binary:
            delete[] m_payload.binary;
            break;
        case TagType_String:
            m_payload.text.~nString();
            break;
        case TagType_List: {
            nListIterator<nVariant*> it;
            while (nVariant* element = m_extra->list.Iterate(it))
                delete element;
            m_extra->list.Clear();
            break;
        }
        default:
            break;
    }
    m_payload.binary = 0;
    m_binaryLength = 0;
    m_type = TagType_None;
}

void nVariant::Clear()
{
    FreePayload();
}

void nVariant::TakeText(nString& text)
{
    FreePayload();
    new (&m_payload.text) nString(static_cast<nString&&>(text));
    m_type = TagType_String;
}

void nVariant::SetString(const char* text)
{
    if (m_type == TagType_String && text == m_payload.text.GetCStr())
        return;  // own text: nothing changes
    // Copied before the old payload goes: text may lie in the current text.
    nString copy;
    copy.Set(text);
    TakeText(copy);
}

bool nVariant::SetString(const char* begin, const char* end)
{
    if (m_type == TagType_None && begin && end > begin) {
        // Nothing to free and no text of its own the range could lie in: the text is made in place.
        nString* text = new (&m_payload.text) nString(begin, end);
        if (!text->GetCStr()) {
            text->~nString();
            m_payload.binary = 0;
            return false;
        }
        m_type = TagType_String;
        return true;
    }
    // Copied before the old payload goes: the range may lie in the current text.
    nString text;
    if (begin && end > begin)
        text.Set(begin, end);
    else
        text.Set("");
    if (!text.GetCStr())
        return false;
    TakeText(text);
    return true;
}

void nVariant::SetInt(int32_t value)
{
    if (m_type != TagType_None)  // a value without a type holds nothing to free
        FreePayload();
    m_payload.integer = value;
    m_type = TagType_Integer;
}

void nVariant::SetBool(bool value)
{
    if (m_type != TagType_None)
        FreePayload();
    m_payload.boolean = value;
    m_type = TagType_Bool;
}

void nVariant::SetFloat(float value)
{
    if (m_type != TagType_None)
        FreePayload();
    m_payload.real = value;
    m_type = TagType_Real;
}

bool nVariant::SetBinary(const void* data, int32_t length)
{
    if (length < 0 || (length > 0 && !data)) {
        FreePayload();
        return false;
    }
    uint8_t* copy = 0;
    if (length > 0) {
        copy = new (std::nothrow) uint8_t[length];
        if (!copy) {
            FreePayload();
            return false;
        }
        memcpy(copy, data, (size_t)length);
    }
    FreePayload();  // after the copy: data may point into this value's own buffer
    m_payload.binary = copy;
    m_binaryLength = length;
    m_type = TagType_Binary;
    return true;
}

void nVariant::AttachBinary(uint8_t* buffer, int32_t length)
{
    if (m_type == TagType_Binary && buffer == m_payload.binary)
        m_payload.binary = 0;  // already ours: do not free it below
    FreePayload();
    if (!buffer || length <= 0) {
        delete[] buffer;
        buffer = 0;
        length = 0;
    }
    m_payload.binary = buffer;
    m_binaryLength = length;
    m_type = TagType_Binary;
}

nList<nVariant*>* nVariant::SetList()
{
    FreePayload();
    Extra* extra = GetExtra();
    if (!extra)
        return 0;
    m_type = TagType_List;
    return &extra->list;
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
    switch (other.m_type) {
        case TagType_Real: SetFloat(other.m_payload.real); break;
        case TagType_Bool: SetBool(other.m_payload.boolean); break;
        case TagType_Integer: SetInt(other.m_payload.integer); break;
        case TagType_String: SetString(other.m_payload.text.GetCStr()); break;
        case TagType_Binary: SetBinary(other.m_payload.binary, other.m_binaryLength); break;
        case TagType_List: {
            nList<nVariant*>* list = SetList();
            if (!list)
                break;
            nListIterator<nVariant*> it;
            while (nVariant* element = other.m_extra->list.Iterate(it)) {
                nVariant* copy = new (std::nothrow) nVariant();
                if (!copy)
                    continue;
                copy->CopyPayload(*element);
                if (element->m_extra)
                    copy->SetName(element->m_extra->name.GetCStr());
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
    if (from.m_type == TagType_String) {
        TakeText(from.m_payload.text);
    } else if (from.m_type == TagType_List) {
        nList<nVariant*>* list = SetList();
        nListIterator<nVariant*> it;
        while (nVariant* element = from.m_extra->list.Iterate(it))
            if (!list || !list->InsertAfter(element, 0))
                delete element;  // out of memory: that element is lost, nothing leaks
        from.m_extra->list.Clear();
    } else {
        FreePayload();
        m_type = from.m_type;
        memcpy(&m_payload.binary, &from.m_payload.binary, sizeof(m_payload.binary));  // the number or the buffer
        m_binaryLength = from.m_binaryLength;
        from.m_payload.binary = 0;  // a buffer now belongs here
    }
    from.FreePayload();
}

bool nVariant::GetBool(bool* out) const
{
    switch (m_type) {
        case TagType_Real: *out = m_payload.real != 0.0f; return true;
        case TagType_Bool: *out = m_payload.boolean; return true;
        case TagType_Integer: *out = m_payload.integer != 0; return true;
        default: return false;
    }
}

bool nVariant::GetFloat(float* out) const
{
    if (m_type != TagType_Real)
        return false;
    *out = m_payload.real;
    return true;
}

bool nVariant::GetInt(int32_t* out) const
{
    if (m_type != TagType_Integer)
        return false;
    *out = m_payload.integer;
    return true;
}

bool nVariant::GetString(const char** out) const
{
    if (m_type != TagType_String)
        return false;
    *out = m_payload.text.GetCStr() ? m_payload.text.GetCStr() : "";
    return true;
}

bool nVariant::GetBinary(uint8_t** out, int32_t* length) const
{
    if (m_type != TagType_Binary)
        return false;
    uint8_t* copy = 0;
    if (m_binaryLength > 0) {
        copy = new (std::nothrow) uint8_t[m_binaryLength];
        if (!copy)
            return false;
        memcpy(copy, m_payload.binary, (size_t)m_binaryLength);
    }
    *out = copy;
    *length = m_binaryLength;
    return true;
}
