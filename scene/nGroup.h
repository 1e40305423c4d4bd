#ifndef N_GROUP_H
#define N_GROUP_H

#include <cstdint>

#include "core/nList.h"
#include "core/nMatrix.h"
#include "core/nString.h"

class nAnimationSourceList;
class nMItem;
class nOrvex;

// A named set of a scene's items that scripts address as a unit, with sub-groups and an
// optional root item under which the members hang. The group owns neither its members nor
// its sub-groups; the scene owns the group and takes every deleted item out of it.
class nGroup
{
public:
    explicit nGroup(nOrvex* engine);  // no root, no members, no sub-groups, empty name

    nMItem* AddItem(nMItem* item, bool unique);    // appended; NULL for NULL or (unique) a member already
    bool RemoveItem(nMItem* item);                 // the first occurrence; false when absent
    nGroup* AddGroup(nGroup* group, bool unique);  // the same rules for sub-groups
    bool RemoveGroup(nGroup* group);               // the first occurrence; false when absent
    bool ContainsItem(const nMItem* item) const;
    bool ContainsGroup(const nGroup* group) const;
    nMItem* FindItem(const char* name);   // first member of that name; NULL (warned)
    nMItem* FindItemByUid(int32_t uid);   // first member of that uid; NULL (warned)
    nGroup* FindGroup(const char* name);  // first sub-group of that name; NULL (warned)

    void SetActive(bool active);           // every member, not recursively
    void SetInvisible(bool invisible);     // the invisible flag of every member's node
    void OffsetMatrix(const nMatrix4& m);  // world := m * world for members without a parent
    // Members hanging under the old root are unparented, then every member without a parent
    // is hung under the new root (none for NULL).
    void SetRootItem(nMItem* root);
    void ForgetItem(const nMItem* item);  // every occurrence and the root; for the scene deleting it
    void Setup();                         // nMItem::Setup of every member
    void SetupScript();                   // nMItem::SetupScript of every member
    void Reset(bool raiseEvent);          // nMItem::Reset of every member, then their OnReset when asked
    // The motion on every member that has it, active or not; a list asked for is created first.
    void SetMotion(const char* motion, nAnimationSourceList** out, float fadeTime, bool keepOthers, float weight);

    nOrvex* GetEngine() const { return m_engine; }
    nMItem* GetRootItem() const { return m_root; }
    nList<nMItem*>& GetItems() { return m_items; }
    const nList<nMItem*>& GetItems() const { return m_items; }
    nList<nGroup*>& GetGroups() { return m_groups; }
    const nString& GetName() const { return m_name; }
    void SetName(const char* name) { m_name.Set(name); }

private:
    nOrvex* m_engine;
    nMItem* m_root;
    nList<nMItem*> m_items;
    nList<nGroup*> m_groups;
    nString m_name;
};

#endif
