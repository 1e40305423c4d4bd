// The scene's AI paths: read from its file's "Paths" tag or loaded from any NML file, found
// by name, written back and drawn as debug lines.

#include <new>

#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "scene/nAIPath.h"
#include "scene/nItemTags.h"
#include "scene/nScene.h"

namespace {

// A new path named name, its motion read from tag and its nodes built, appended to paths;
// false when it cannot be made.
bool AddPath(nLinkedList& paths, const char* name, nMetaFile* document, nMetaTag* tag)
{
    nAIPath* path = new (std::nothrow) nAIPath(name);
    if (!path) return false;
    paths.Add(path, true, true);
    path->GetMotion().Deserialize(document, tag);
    path->BuildNodes();
    return true;
}

}

bool nScene::LoadAIPaths(const char* path)
{
    nMetaFile document;
    if (!path || !document.Load(path)) return false;
    nMetaTag* list = document.FindPath("Scene:Paths;");
    if (!list) list = document.FindPath("Scene:Motions;");
    if (!list) {
        *g_log << "[!] No AI path in '" << path << "'.\n";
        return false;
    }
    nMetaTagIterator it;
    while (nMetaTag* child = list->NextChild(it)) {
        if (!IsTagNamed(child, "Motion")) continue;
        if (!AddPath(m_aiPaths, "", &document, child)) *g_log << "[*] Failed to allocate a new AI path.\n";
    }
    *g_log << m_aiPaths.GetCount() << " AI path(s) in world.\n";
    return true;
}

nAIPath* nScene::FindAIPath(const char* name)
{
    for (nLinkedListEntry* e = m_aiPaths.GetHead(); e; e = e->GetNext()) {
        nAIPath* path = static_cast<nAIPath*>(e);
        if (path->GetName() == (name ? name : "")) return path;
    }
    *g_log << "[*] Could not find AI path '" << (name ? name : "") << "'.\n";
    return 0;
}

void nScene::DrawAIPaths(nRenderer* renderer)
{
    for (nLinkedListEntry* e = m_aiPaths.GetHead(); e; e = e->GetNext()) static_cast<nAIPath*>(e)->Draw(renderer);
}

bool nScene::ReadPaths(nMetaFile* document, nMetaTag* tag)
{
    if (!tag) return true;
    nMetaTagIterator it;
    while (nMetaTag* child = tag->NextChild(it)) {
        if (!IsTagNamed(child, "Motion")) {
            *g_log << "[*] Unexpected tag '" << child->GetName().GetCStr() << "' in <Paths>.\n";
            continue;
        }
        if (!AddPath(m_aiPaths, "Unnamed", document, child)) *g_log << "[*] Failed to allocate a new AI path.\n";
    }
    return true;
}

nMetaTag* nScene::WritePaths(nMetaFile* document)
{
    nMetaTag* tag = new (std::nothrow) nMetaTag("Paths");
    if (!tag) return 0;
    for (nLinkedListEntry* e = m_aiPaths.GetHead(); e; e = e->GetNext())
        AppendTag(tag, static_cast<nAIPath*>(e)->GetMotion().Serialize(document));
    return tag;
}
