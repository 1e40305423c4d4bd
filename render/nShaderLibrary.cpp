#include "render/nShaderLibrary.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "core/nString.h"
#include "render/nRenderer.h"
#include "render/nShader.h"

namespace {

// The string value of child name of entry; NULL when missing or not a string.
const char* ChildText(nMetaTag* entry, const char* name)
{
    nMetaTag* child = entry->FindTypedPath(name, TagType_String);
    const char* text = 0;
    if (!child || !child->GetValue().GetString(&text)) return 0;
    return text;
}

// One text for every spelling of a file: the disk's own path of it when the disk has it (the
// "disc:" prefix aside), else the normalised name (a file inside an archive).
std::string FileIdentity(const nString& file)
{
    const char* name = file.GetCStr() ? file.GetCStr() : "";
    const char* onDisk = std::strncmp(name, "disc:", 5) == 0 ? name + 5 : name;
    char resolved[PATH_MAX];
    if (realpath(onDisk, resolved)) return resolved;
    const nString normalised = file.GetNormalizedPath();
    return normalised.GetCStr() ? normalised.GetCStr() : name;
}

}

nShaderLibrary::nShaderLibrary(nRenderer* renderer)
    : m_renderer(renderer), m_missingHook(0), m_readHook(0)
{
}

nShaderLibrary::~nShaderLibrary()
{
    for (nList<nShader*>::Node* node = m_shaders.GetHead(); node; node = node->next)
        node->value->Release();
    m_shaders.Clear();
}

nShader* nShaderLibrary::Find(const char* name) const
{
    if (!name) return 0;
    for (nList<nShader*>::Node* node = m_shaders.GetHead(); node; node = node->next)
        if (node->value->GetName() == name) return node->value;
    return 0;
}

bool nShaderLibrary::Load(const char* path, const char* profile)
{
    return LoadProfile(path, profile) == Loaded;
}

nShaderLibrary::LoadResult nShaderLibrary::LoadProfile(const char* path, const char* profile)
{
    if (!path) return Failed;
    const char* profilePath = profile ? profile : "Default";

    nString file(path);
    nMetaFile document;
    if (!document.Load(file.GetCStr())) {
        if (!m_missingHook) return Failed;
        m_missingHook(&file);
        if (!document.Load(file.GetCStr())) return Failed;
    }
    if (m_readHook) m_readHook(&file);

    nMetaTag* root = document.FindPath(profilePath);
    if (!root) {
        *g_log << "[!] profile '" << profilePath << "' not found.\n";
        return Failed;
    }
    if (root->GetType() != TagType_None) {
        *g_log << "[!] profile '" << profilePath << "' empty.\n";
        return Failed;
    }

    // A profile that includes itself, directly or through other files, would load forever.
    const std::string key = FileIdentity(file) + "\n" + profilePath;
    if (std::find(m_loading.begin(), m_loading.end(), key) != m_loading.end()) {
        *g_log << "[!] Shader library '" << file.GetCStr() << "' includes its profile '" << profilePath
               << "' again; the include is skipped.\n";
        return Cycle;
    }
    m_loading.push_back(key);

    nMetaTagIterator it;
    while (nMetaTag* entry = root->NextChild(it)) {
        if (entry->GetName() == "Include") Include(entry);
        else if (entry->GetName() == "Shader") AddShader(entry);
    }

    m_loading.pop_back();
    *g_log << m_shaders.GetCount() << " shader in library '" << file.GetCStr() << "'.\n";
    return Loaded;
}

void nShaderLibrary::Include(nMetaTag* entry)
{
    const char* uri = ChildText(entry, "Uri;");
    const char* tag = ChildText(entry, "Tag;");
    if (!uri || !tag) return;
    if (LoadProfile(uri, tag) == Failed)
        *g_log << "[!] Failed to include external shader library '" << uri << "'.\n";
}

void nShaderLibrary::AddShader(nMetaTag* entry)
{
    const char* name = ChildText(entry, "Name;");
    const char* vertex = ChildText(entry, "Vertex;");
    const char* pixel = ChildText(entry, "Pixel;");
    if (!name || !vertex || !pixel) return;
    nShader* shader = m_renderer ? m_renderer->NewShader() : 0;
    if (!shader) return;
    shader->AddRef();
    shader->Compile(name, vertex, pixel);  // a failed program stays, marked as failed
    if (!m_shaders.InsertAfter(shader, 0)) shader->Release();
}
