#ifndef N_METAFILE_H
#define N_METAFILE_H

#include <cstdint>

#include "core/nLinkedList.h"
#include "core/nMetaTag.h"
#include "core/nString.h"

class nIOFile;

// An NML document: a list of owned root tags in document order, the binary encoding used
// when binary values are written (1 yEnc, 0 uuencode style) and the file name of the last
// successful load.
//
// Paths: "Font:Common;" names the tag Common below the root Font (see FindMetaTagByPath).
// Typed getters do no conversion: a value of another type than asked gives the default.
class nMetaFile
{
public:
    nMetaFile();   // empty, encoding 1
    ~nMetaFile();  // deletes the roots
    nMetaFile(const nMetaFile&) = delete;
    nMetaFile& operator=(const nMetaFile&) = delete;

    void Clear();                              // deletes the roots, empties the file name
    nMetaTag* AddRoot(nMetaTag* tag);          // appends (no duplicate test); NULL gives NULL
    bool UnlinkRoot(nMetaTag* tag);            // removes without deleting: the caller owns it; false when not a root
    nMetaTag* NextRoot(nMetaTagIterator& it);  // next root, or NULL at the end

    nMetaTag* FindPath(const char* path, bool verbose = false);                     // untyped lookup among the roots
    nMetaTag* FindTypedPath(const char* path, int32_t type, bool verbose = false);  // NULL unless the found value type is type

    bool GetBool(const char* path, bool def, bool verbose = false);                  // type 2 only
    int32_t GetInt(const char* path, int32_t def, bool verbose = false);             // type 3 only
    float GetFloat(const char* path, float def, bool verbose = false);               // type 1 only
    const char* GetString(const char* path, const char* def, bool verbose = false);  // type 4 only; points into the tag (valid while it lives); def itself otherwise
    float GetFloatValue(const char* path, float def);                                // quiet; type 1 only
    bool GetBoolValue(const char* path, bool def);                                   // quiet; float, bool and int convert (non-zero is true)

    nMetaTag* CreatePath(const char* path, const nVariant* value);  // finds or creates each ':' component (';' removed); copies value into the last; NULL when refused
    nMetaTag* SetPathValue(const char* path, const nVariant& value) { return CreatePath(path, &value); }
    bool DeletePath(const char* path);  // unlinks and deletes the tag at path; false when missing

    // Text form, implemented beside the parser (reading) and the writer (writing).
    bool Load(const char* path);                         // clears, then parses the file; file name set on success, empty on failure
    static nMetaFile* CreateFromFile(const char* path);  // new document loaded from path; NULL on failure
    bool Parse(const char* text, int32_t length);        // clears, then the header and every top-level tag
    bool ParseTag(nMetaTag* tag, const char* cursor, const char* end,
                  const char** out_cursor, int32_t depth = 0);           // one tag into tag, recursively
    bool Save(const char* path);                                         // header line and every root, in order
    bool WriteTag(nIOFile* stream, const nMetaTag* tag, int32_t depth);  // one tag and its subtree at depth

    nLinkedListId& GetRoots() { return m_roots; }  // owned; entries are nMetaTag
    const nLinkedListId& GetRoots() const { return m_roots; }
    int32_t GetRootCount() const { return m_roots.GetCount(); }
    int32_t GetBinaryEncoding() const { return m_encoding; }  // 1 yEnc, 0 uuencode style
    void SetBinaryEncoding(int32_t e) { m_encoding = e; }
    const nString& GetFileName() const { return m_fileName; }
    void SetFileName(const char* name) { m_fileName.Set(name); }

private:
    nMetaTag* NewTag();  // a fresh tag for the parser, in a slot of the tree being replaced when one is left

    nLinkedListId m_roots;
    nMetaTagRecycler* m_recycler;  // the replaced tree while Parse runs; NULL otherwise
    int32_t m_encoding;
    nString m_fileName;
};

#endif
