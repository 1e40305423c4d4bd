#include "scene/nInstance.h"

#include <new>

#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "hub/nOrvex.h"
#include "scene/nGroup.h"
#include "scene/nItemTags.h"
#include "scene/nScene.h"

nInstance::nInstance(nScene* scene)
    : nMItem(scene), m_node(scene ? scene->GetEngine() : 0), m_group(0)
{
    SetNode(&m_node, ManagedItemInstance);
}

nInstance::~nInstance()
{
    RaiseOnDelete();
}

void nInstance::SetTemplate(const char* path)
{
    m_template.Set(path);
    m_group = 0;
}

bool nInstance::SetupTemplate()
{
    const bool editing = m_scene && m_scene->GetEngine() && m_scene->GetEngine()->GetToolMode() == ToolEdit;
    if (!m_scene || !IsActive() || editing || m_group || m_template.IsEmpty()) return false;
    const std::string path = m_template.GetNormalizedPath().GetCStr();
    if (RefusesTemplate(path)) return false;

    nMetaFile document;
    if (!document.Load(m_template.GetCStr())) return false;  // the reader said why
    // The template scene's scripts become the instance's.
    if (nMetaTag* scripts = document.FindPath("Scene:ScriptedObject;")) nScriptedObject::Deserialize(&document, scripts);
    nGroup* group = 0;
    m_scene->ReadDocument(&document, &group, kTemplateLoadFlags, 0);
    if (!group) return false;
    m_group = group;
    group->SetName(m_template.GetCStr());
    group->SetRootItem(this);
    HandDownAncestry(path);
    return true;
}

bool nInstance::RefusesTemplate(const std::string& path)
{
    std::string chain;
    bool cycle = false;
    for (const std::string& outer : m_ancestry) {
        chain += outer + " > ";
        cycle = cycle || outer == path;
    }
    chain += path;
    if (cycle) {
        *g_log << "[!] Instance '" << GetName().GetCStr() << "' refused: template '" << m_template.GetCStr()
               << "' would instantiate itself (" << chain.c_str() << ").\n";
        return true;
    }
    if ((int32_t)m_ancestry.size() >= kMaxNesting) {
        *g_log << "[!] Instance '" << GetName().GetCStr() << "' refused: templates nested deeper than "
               << kMaxNesting << " (" << chain.c_str() << ").\n";
        return true;
    }
    return false;
}

void nInstance::HandDownAncestry(const std::string& path)
{
    std::vector<std::string> inner = m_ancestry;
    inner.push_back(path);
    for (nListNode<nMItem*>* n = m_group->GetItems().GetHead(); n; n = n->next)
        if (nInstance* nested = FromItem(n->value)) nested->SetAncestry(inner);
}

nInstance* nInstance::FromItem(nMItem* item)
{
    if (!item || item->GetKind() != ManagedItemInstance) return 0;
    return dynamic_cast<nInstance*>(item);
}

// NML.

bool nInstance::Deserialize(nMetaFile* document, nMetaTag* tag)
{
    if (!nMLCheckRoot(tag, "Instance", "instance")) return false;
    static const nMLTagRule<nInstance> kTags[] = {
        {"MItem", [](nInstance& r, nMetaFile* d, nMetaTag* t) { r.nMItem::Deserialize(d, t); }},
        {"Item", [](nInstance& r, nMetaFile* d, nMetaTag* t) { r.m_node.Deserialize(d, t); }},
        {"Template", nMLField<&nInstance::m_template>},
    };
    nMLReadChildren(*this, document, tag, kTags, "Instance");
    return true;
}

nMetaTag* nInstance::Serialize(nMetaFile* document)
{
    nMetaTag* root = SerializeManagedTag(this, document, "Instance", m_node.Serialize(document),
                                         "Could not create managed root tag to serialize.\n");
    if (root) AppendTag(root, new (std::nothrow) nMetaTag("Template", m_template.GetCStr() ? m_template.GetCStr() : ""));
    return root;
}
