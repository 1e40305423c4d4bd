#ifndef N_INSTANCE_H
#define N_INSTANCE_H

#include <string>
#include <vector>

#include "core/nString.h"
#include "scene/nItem.h"
#include "scene/nMItem.h"

class nGroup;
class nMetaFile;
class nMetaTag;
class nScene;

// A managed item (kind 6) that places a copy of another scene file, its template, into its
// scene: set up, it loads the template's items into a new group of the scene, hangs the
// group's top-level items under its own node and takes the template scene's script units as
// its own. Moving the instance moves the copy; "instance/item" paths reach into it. Deleting
// the instance leaves the copy in the scene. Main thread only.
class nInstance : public nMItem
{
public:
    // Templates instantiated inside templates, at most this deep; a template that would
    // instantiate itself, directly or through others, is refused at any depth.
    static constexpr int32_t kMaxNesting = 16;
    // Everything a template file brings: items, groups, paths and physics settings, not the
    // host's settings and camera (0x80), globals (0x100), helper items (0x1000) or scene
    // scripts (0x2000).
    static constexpr int32_t kTemplateLoadFlags = (int32_t)0xFFFFCE7F;

    explicit nInstance(nScene* scene);  // empty template, no group
    ~nInstance() override;              // the group and its items stay in the scene

    void Evaluate() override {}
    void UpdateTransform() override {}

    // The path of the template; the instance becomes empty again (an earlier copy stays in the
    // scene but is no longer the instance's).
    void SetTemplate(const char* path);
    // Loads the template into a new group, once (called "Setup" in the scene's vocabulary; the
    // name is taken by the managed item's own set-up, which builds the body later). Nothing
    // for an inactive instance, in edit mode, with a group already or an empty template. A
    // template already being instantiated around this instance, or nested deeper than
    // kMaxNesting, is refused with one error line. True when a group was made.
    bool SetupTemplate();

    // "Instance" NML: the "MItem" tag, the node's "Item" tag and "Template" (written always).
    bool Deserialize(nMetaFile* document, nMetaTag* tag);
    nMetaTag* Serialize(nMetaFile* document);  // NULL (logged) when the root cannot be made

    nItem& GetNode() { return m_node; }
    const nString& GetTemplate() const { return m_template; }
    nGroup* GetGroup() const { return m_group; }
    // The templates whose copies hold this instance, outermost first (normalised paths).
    const std::vector<std::string>& GetAncestry() const { return m_ancestry; }
    void SetAncestry(const std::vector<std::string>& ancestry) { m_ancestry = ancestry; }

    static nInstance* FromItem(nMItem* item);  // NULL for any other kind

private:
    bool RefusesTemplate(const std::string& path);   // the nesting rules above; logs the refusal
    void HandDownAncestry(const std::string& path);  // to the instances the copy brought

    nItem m_node;
    nString m_template;
    nGroup* m_group;  // owned by the scene's group list
    std::vector<std::string> m_ancestry;
};

#endif
