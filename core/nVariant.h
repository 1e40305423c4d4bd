#ifndef N_VARIANT_H
#define N_VARIANT_H

#include <cstdint>

#include "core/nList.h"
#include "core/nString.h"

// Value type codes; scripts see the same numbers.
enum nTagType
{
    TagType_None = 0,  // no value: a pure tag or a node with children
    TagType_Node = 0,
    TagType_Tag = 0,
    TagType_Shortcut = 0,
    TagType_Real = 1,  // 32-bit float
    TagType_Bool = 2,
    TagType_Integer = 3,  // 32-bit signed
    TagType_String = 4,   // nString
    TagType_List = 5,     // owned nVariant elements; never written as text
    TagType_Binary = 6    // owned byte buffer and its length
};

// A typed value of NML tags, script parameters and command-line definitions. It owns its
// payload: the text, the binary buffer, and the elements of a list (deleted with it).
// The optional name is never written to NML and never copied by Set.
class nVariant
{
public:
    nVariant();                                     // type 0, unset text and name, empty list
    explicit nVariant(float value);                 // unnamed type 1
    explicit nVariant(int32_t value);               // unnamed type 3
    nVariant(const char* name, const char* value);  // named type 4
    nVariant(const char* name, int32_t value);      // named type 3
    nVariant(const char* name, float value);        // named type 1
    nVariant(const char* name, bool value);         // named type 2
    ~nVariant();                                    // frees payload and name
    nVariant(const nVariant&) = delete;
    nVariant& operator=(const nVariant&) = delete;

    // Setters free the old payload (text, list elements, binary buffer) and set the type.
    void SetString(const char* text);                    // NULL gives a string value with unset text
    bool SetString(const char* begin, const char* end);  // text [begin, end) up to a NUL in it, empty range: ""; false (unchanged) when out of memory
    void SetInt(int32_t value);
    void SetBool(bool value);
    void SetFloat(float value);
    bool SetBinary(const void* data, int32_t length);    // copies; false (type 0) when out of memory or bad arguments
    void AttachBinary(uint8_t* buffer, int32_t length);  // takes ownership of a new[] buffer (NULL or length <= 0: empty binary)
    nList<nVariant*>* SetList();                         // empty list value to fill; the value owns what is added (NULL, type 0, when out of memory)
    void Set(const nVariant& other);                     // deep copy of every type's payload; the name stays
    void Clear();                                        // frees the payload; type 0

    // Getters write *out and return true only when the value has the asked type.
    bool GetBool(bool* out) const;                         // float (!= 0), bool, or int (!= 0)
    bool GetFloat(float* out) const;                       // type 1 only
    bool GetInt(int32_t* out) const;                       // type 3 only
    bool GetString(const char** out) const;                // type 4 only; an unset text reads as ""
    bool GetBinary(uint8_t** out, int32_t* length) const;  // type 6: a new[] copy the caller frees (NULL for 0 bytes)

    int32_t GetType() const { return m_type; }
    const nString& GetText() const;  // the type 4 payload (unset for other types)
    const uint8_t* GetBinaryData() const { return m_type == TagType_Binary ? m_payload.binary : 0; }
    int32_t GetBinaryLength() const { return m_type == TagType_Binary ? m_binaryLength : 0; }
    const nList<nVariant*>* GetList() const { return m_type == TagType_List ? &m_extra->list : 0; }
    const nString& GetName() const;
    void SetName(const char* name);

private:
    // Lists and names are rare beside the values of NML tags: both live in a block allocated on
    // first use, which stays until the value is destroyed.
    struct Extra
    {
        nList<nVariant*> list;
        nString name;
    };

    void FreePayload();
    void CopyPayload(const nVariant& other);  // deep copy of other's payload into this one
    void TakePayload(nVariant& from);         // moves from's payload here; from becomes type 0
    void TakeText(nString& text);             // frees the payload; type 4 holding text's text
    Extra* GetExtra();                        // allocated when missing; NULL when out of memory

    int32_t m_type;
    int32_t m_binaryLength;
    union Payload
    {
        float real;
        int32_t integer;
        bool boolean;
        uint8_t* binary;
        nString text;  // constructed only while the type is 4

        Payload() : binary(0) {}
        ~Payload() {}
    } m_payload;
    Extra* m_extra;  // NULL until a list or a name is set
};

#endif
