#include "core/nMetaFile.h"

#include <cstddef>
#include <new>
#include <vector>

namespace {

// The pieces of path between ':' characters: an empty piece stands between adjacent ':',
// nothing follows a trailing ':'. With strip_semicolons every ';' is dropped first.
std::vector<nString> SplitPath(const char* path, bool strip_semicolons)
{
    std::vector<nString> pieces;
    if (!path || !*path)
        return pieces;
    nString text;
    if (strip_semicolons) {
        std::vector<char> kept;
        for (const char* p = path; *p; ++p)
            if (*p != ';')
                kept.push_back(*p);
        if (kept.empty())
            return pieces;
        text.Set(kept.data(), kept.data() + kept.size());
    } else {
        text.Set(path);
    }
    text.ForEachPiece(
        ":",
        [](void* context, const char* begin, const char* end) {
            static_cast<std::vector<nString>*>(context)->emplace_back(begin, end);
        },
        &pieces);
    return pieces;
}

}  // namespace

nMetaFile::nMetaFile() : m_recycler(0), m_encoding(1)
{
}

nMetaFile::~nMetaFile()
{
    DeleteMetaTags(m_roots);
}

void nMetaFile::Clear()
{
    DeleteMetaTags(m_roots);
    m_fileName.Clear();
}

nMetaTag* nMetaFile::AddRoot(nMetaTag* tag)
{
    if (!tag)
        return 0;
    return static_cast<nMetaTag*>(m_roots.Add(tag, true, true));
}

bool nMetaFile::UnlinkRoot(nMetaTag* tag)
{
    return tag && m_roots.Remove(tag);
}

nMetaTag* nMetaFile::NextRoot(nMetaTagIterator& it)
{
    it.current = static_cast<nMetaTag*>(m_roots.Iterate(it.cursor));
    return it.current;
}

nMetaTag* nMetaFile::FindPath(const char* path, bool verbose)
{
    return FindMetaTagByPath(&m_roots, path, verbose);
}

nMetaTag* nMetaFile::FindTypedPath(const char* path, int32_t type, bool verbose)
{
    nMetaTag* tag = FindMetaTagByPath(&m_roots, path, verbose);
    return tag && tag->GetType() == type ? tag : 0;
}

bool nMetaFile::GetBool(const char* path, bool def, bool verbose)
{
    nMetaTag* tag = FindTypedPath(path, TagType_Bool, verbose);
    bool value = def;
    return tag && tag->GetValue().GetBool(&value) ? value : def;
}

int32_t nMetaFile::GetInt(const char* path, int32_t def, bool verbose)
{
    nMetaTag* tag = FindTypedPath(path, TagType_Integer, verbose);
    int32_t value = def;
    return tag && tag->GetValue().GetInt(&value) ? value : def;
}

float nMetaFile::GetFloat(const char* path, float def, bool verbose)
{
    nMetaTag* tag = FindTypedPath(path, TagType_Real, verbose);
    float value = def;
    return tag && tag->GetValue().GetFloat(&value) ? value : def;
}

const char* nMetaFile::GetString(const char* path, const char* def, bool verbose)
{
    nMetaTag* tag = FindTypedPath(path, TagType_String, verbose);
    const char* value = def;
    return tag && tag->GetValue().GetString(&value) ? value : def;
}

float nMetaFile::GetFloatValue(const char* path, float def)
{
    nMetaTag* tag = FindPath(path, false);
    float value = def;
    return tag && tag->GetValue().GetFloat(&value) ? value : def;
}

bool nMetaFile::GetBoolValue(const char* path, bool def)
{
    nMetaTag* tag = FindPath(path, false);
    bool value = def;
    return tag && tag->GetValue().GetBool(&value) ? value : def;
}

nMetaTag* nMetaFile::CreatePath(const char* path, const nVariant* value)
{
    std::vector<nString> pieces = SplitPath(path, true);
    if (pieces.empty())
        return 0;

    nMetaTag* tag = 0;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const char* name = pieces[i].GetCStr();
        nMetaTag* next = i == 0 ? FindPath(name, false) : tag->FindPath(name, false);
        if (!next) {
            next = new (std::nothrow) nMetaTag(name);
            if (!next)
                return 0;
            nMetaTag* linked = i == 0 ? AddRoot(next) : tag->AddChild(next);
            if (!linked) {
                delete next;
                return 0;
            }
        }
        tag = next;
    }
    if (value)
        tag->GetValue().Set(*value);
    return tag;
}

bool nMetaFile::DeletePath(const char* path)
{
    std::vector<nString> pieces = SplitPath(path, false);
    if (pieces.empty())
        return false;

    nMetaTag* parent = 0;
    nMetaTag* tag = 0;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const char* name = pieces[i].GetCStr();
        parent = tag;
        tag = i == 0 ? FindPath(name, false) : tag->FindPath(name, false);
        if (!tag)
            return false;
    }
    if (parent)
        parent->GetChildren().Remove(tag);
    else
        m_roots.Remove(tag);
    delete tag;
    return true;
}
