// The Metafile and Metatag functions: NML documents made, loaded and saved by scripts, their
// tags walked, searched by path, added and given values.
//
// A Metatag object never owns its tag. Its record dies with the tag: a document made by a
// script invalidates the objects of all its tags when it is destroyed or reloaded, so no
// script object outlives the tag it names.

#include <cstdint>
#include <new>

#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "core/nString.h"
#include "core/nVariant.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "scriptapi/nMetafileScriptAPI.h"
#include "scriptapi/nScriptAPI.h"
#include "scriptapi/nScriptObjectKinds.h"

namespace {

SQInteger ReturnTag(ScriptStackHandler& s, nMetaTag* tag)
{
    return s.ReturnObject(static_cast<void*>(tag), objectTypeMetatag, false);
}

// The objects of the tag and of every tag below it become deleted ones.
void InvalidateTree(nMetaTag* tag)
{
    nCObject::Invalidate(tag);
    nMetaTagIterator it;
    while (nMetaTag* child = tag->NextChild(it)) InvalidateTree(child);
}

void InvalidateDocument(nMetaFile* document)
{
    nMetaTagIterator it;
    while (nMetaTag* root = document->NextRoot(it)) InvalidateTree(root);
}

void DestroyDocument(void* native)
{
    nMetaFile* document = static_cast<nMetaFile*>(native);
    InvalidateDocument(document);
    delete document;
}

// Tag integers are 32 bits: a wider one is refused with a line rather than stored wrapped.
bool FitsTag(SQInteger i)
{
    if (i >= INT32_MIN && i <= INT32_MAX) return true;
    *g_log << "[!] Integer " << nString::Format("%lld", (long long)i).GetCStr() << " does not fit a tag value (32 bits).\n";
    return false;
}

// One script value as a new tag of the name: null, bool, integer, float or string; any other
// type logs one line and gives NULL.
nMetaTag* ScriptValueToMetaTag(HSQUIRRELVM v, SQInteger index, const char* name)
{
    switch (sq_gettype(v, index)) {
        case OT_NULL:
            return new (std::nothrow) nMetaTag(name);
        case OT_BOOL: {
            SQBool b;
            sq_getbool(v, index, &b);
            return new (std::nothrow) nMetaTag(name, b != SQFalse);
        }
        case OT_INTEGER: {
            SQInteger i;
            sq_getinteger(v, index, &i);
            if (!FitsTag(i)) return 0;
            return new (std::nothrow) nMetaTag(name, (int32_t)i);
        }
        case OT_FLOAT: {
            SQFloat f;
            sq_getfloat(v, index, &f);
            return new (std::nothrow) nMetaTag(name, (float)f);
        }
        case OT_STRING: {
            const SQChar* text;
            sq_getstring(v, index, &text);
            return new (std::nothrow) nMetaTag(name, text);
        }
        default:
            *g_log << "[!] Cannot convert input Squirrel type to metatag value.\n";
            return 0;
    }
}

// Documents.

SQInteger MetafileNew(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMetaFile* document = new (std::nothrow) nMetaFile();
    return s.ReturnObject(static_cast<void*>(document), objectTypeMetafile, document != 0);
}

// The document goes with its script object; the entry is kept for the scripts that call it.
SQInteger MetafileDelete(HSQUIRRELVM v)
{
    return 0;
}

// Reloading replaces every tag: their objects go first.
SQInteger MetafileLoad(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMetaFile* document;
    const char* path;
    if (!s.Args(document, path)) return SQ_ERROR;
    InvalidateDocument(document);
    return s.Return(document->Load(path));
}

SQInteger MetafileSave(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMetaFile* document;
    const char* path;
    if (!s.Args(document, path)) return SQ_ERROR;
    return s.Return(document->Save(path));
}

SQInteger MetafileGetRoots(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMetaFile* document;
    if (!s.Args(document)) return SQ_ERROR;
    s.NewArray();
    nMetaTagIterator it;
    while (nMetaTag* root = document->NextRoot(it)) s.Append(ReturnTag(s, root));
    return 1;
}

SQInteger MetafileGetTag(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMetaFile* document;
    const char* path;
    if (!s.Args(document, path)) return SQ_ERROR;
    return ReturnTag(s, document->FindPath(path));
}

SQInteger MetafileGetTypedTag(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMetaFile* document;
    const char* path;
    int32_t type;
    if (!s.Args(document, path, type)) return SQ_ERROR;
    return ReturnTag(s, document->FindTypedPath(path, type));
}

SQInteger MetafileAddRoot(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMetaFile* document;
    const char* name;
    if (!s.Args(document, name)) return SQ_ERROR;
    return ReturnTag(s, document->AddRoot(new (std::nothrow) nMetaTag(name)));
}

SQInteger MetafileAddRootWithValue(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMetaFile* document;
    const char* name;
    if (!s.Args(document, name, ScriptSkip)) return SQ_ERROR;
    return ReturnTag(s, document->AddRoot(ScriptValueToMetaTag(v, 4, name)));
}

// Tags.

SQInteger MetatagGetName(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMetaTag* tag;
    if (!s.Args(tag)) return SQ_ERROR;
    return s.Return(tag->GetName().GetCStr());
}

SQInteger MetatagGetType(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMetaTag* tag;
    if (!s.Args(tag)) return SQ_ERROR;
    return s.Return(tag->GetType());
}

SQInteger MetatagGetValue(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMetaTag* tag;
    if (!s.Args(tag)) return SQ_ERROR;
    const nVariant& value = tag->GetValue();
    switch (value.GetType()) {
        case TagType_Real: {
            float f = 0.0f;
            value.GetFloat(&f);
            return s.Return(f);
        }
        case TagType_Bool:
            return s.Return(tag->GetBoolValue());
        case TagType_Integer: {
            int32_t i = 0;
            value.GetInt(&i);
            return s.Return(i);
        }
        case TagType_String:
            return s.Return(value.GetText().GetCStr());
        default:
            *g_log << "[!] Cannot get value from tag '" << tag->GetName().GetCStr() << "'. Unsupported type.\n";
            return s.Return((int32_t)-1);
    }
}

// A tag with children keeps them and refuses a value: a tag is either a node or a value.
SQInteger MetatagSetValue(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMetaTag* tag;
    if (!s.Args(tag, ScriptSkip)) return SQ_ERROR;
    if (tag->GetChildCount() > 0) {
        *g_log << "[!] Cannot set a value on tag '" << tag->GetName().GetCStr() << "' as it has children.\n";
        return s.Return();
    }
    nVariant& value = tag->GetValue();
    switch (sq_gettype(v, 3)) {
        case OT_BOOL: {
            SQBool b;
            sq_getbool(v, 3, &b);
            value.SetBool(b != SQFalse);
            break;
        }
        case OT_INTEGER: {
            SQInteger i;
            sq_getinteger(v, 3, &i);
            if (FitsTag(i)) value.SetInt((int32_t)i);
            break;
        }
        case OT_FLOAT: {
            SQFloat f;
            sq_getfloat(v, 3, &f);
            value.SetFloat((float)f);
            break;
        }
        case OT_STRING: {
            const SQChar* text;
            sq_getstring(v, 3, &text);
            value.SetString(text);
            break;
        }
        default:
            *g_log << "[!] Cannot convert input Squirrel type to metatag value.\n";
            *g_log << "[*] Incorrect binding argument count.\n";
    }
    return s.Return();
}

SQInteger MetatagGetChildren(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMetaTag* tag;
    if (!s.Args(tag)) return SQ_ERROR;
    s.NewArray();
    nMetaTagIterator it;
    while (nMetaTag* child = tag->NextChild(it)) s.Append(ReturnTag(s, child));
    return 1;
}

SQInteger MetatagGetTag(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMetaTag* tag;
    const char* path;
    if (!s.Args(tag, path)) return SQ_ERROR;
    return ReturnTag(s, tag->FindPath(path));
}

SQInteger MetatagGetTypedTag(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMetaTag* tag;
    const char* path;
    int32_t type;
    if (!s.Args(tag, path, type)) return SQ_ERROR;
    return ReturnTag(s, tag->FindTypedPath(path, type));
}

// A parent holding a value refuses the child (AddChild logs why): the new tag is freed and
// the script gets a null Metatag rather than a tag of no document that nobody would free.
SQInteger AddChildTag(ScriptStackHandler& s, nMetaTag* parent, nMetaTag* child)
{
    if (!child) return ReturnTag(s, 0);
    if (!parent->AddChild(child)) {
        delete child;
        return ReturnTag(s, 0);
    }
    return ReturnTag(s, child);
}

SQInteger MetatagAddChild(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMetaTag* tag;
    const char* name;
    if (!s.Args(tag, name)) return SQ_ERROR;
    return AddChildTag(s, tag, new (std::nothrow) nMetaTag(name));
}

SQInteger MetatagAddChildWithValue(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMetaTag* tag;
    const char* name;
    if (!s.Args(tag, name, ScriptSkip)) return SQ_ERROR;
    return AddChildTag(s, tag, ScriptValueToMetaTag(v, 4, name));
}

}  // namespace

const ScriptFunctionDecl g_MetafileScriptFunctions[] = {
    {"MetafileNew", MetafileNew, "."},
    {"MetafileDelete", MetafileDelete, ".x"},
    {"MetafileLoad", MetafileLoad, ".xs"},
    {"MetafileSave", MetafileSave, ".xs"},
    {"MetafileGetRoots", MetafileGetRoots, ".x"},
    {"MetafileGetTag", MetafileGetTag, ".xs"},
    {"MetafileGetTypedTag", MetafileGetTypedTag, ".xsi"},
    {"MetafileAddRoot", MetafileAddRoot, ".xs"},
    {"MetafileAddRootWithValue", MetafileAddRootWithValue, ".xs."},
    {"MetatagGetName", MetatagGetName, ".x"},
    {"MetatagGetType", MetatagGetType, ".x"},
    {"MetatagGetValue", MetatagGetValue, ".x"},
    {"MetatagSetValue", MetatagSetValue, ".x."},
    {"MetatagGetChildren", MetatagGetChildren, ".x"},
    {"MetatagGetTag", MetatagGetTag, ".xs"},
    {"MetatagGetTypedTag", MetatagGetTypedTag, ".xsi"},
    {"MetatagAddChild", MetatagAddChild, ".xs"},
    {"MetatagAddChildWithValue", MetatagAddChildWithValue, ".xs."},
    {0, 0, 0}};

const ScriptConstantDecl g_MetafileScriptConstants[] = {
    {"TagType_None", 0, ScriptConstantInteger},
    {"TagType_Real", 1, ScriptConstantInteger},
    {"TagType_Integer", 3, ScriptConstantInteger},
    {"TagType_String", 4, ScriptConstantInteger},
    {"TagType_Binary", 6, ScriptConstantInteger},
    {"TagType_Node", 0, ScriptConstantInteger},
    {"TagType_Tag", 0, ScriptConstantInteger},
    {"TagType_Shortcut", 0, ScriptConstantInteger},
    {0, 0, 0}};

void RegisterMetafileScriptAPI(HSQUIRRELVM v)
{
    ScriptSetObjectTypeLifetime(objectTypeMetafile, nObjectTypeLifetime{0, 0, DestroyDocument});
    ScriptRegisterFunctions(v, g_MetafileScriptFunctions);
    ScriptRegisterConstants(v, g_MetafileScriptConstants);
}
