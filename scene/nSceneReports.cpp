// Two reports a game's scripts write to the log: the scene's content, and an audit of
// geometry use that points at objects that look placed twice. Both only read the scene.
#include <cmath>
#include <vector>

#include "core/nLog.h"
#include "resources/nGeometry.h"
#include "scene/nGroup.h"
#include "scene/nItem.h"
#include "scene/nObject.h"
#include "scene/nScene.h"

namespace {
void PrintNameList(const char* title, const nList<nMItem*>& list)
{
    *g_log << "[|] " << title << " list follows (" << (int32_t)list.GetCount() << " entries) :\n";
    for (nListNode<nMItem*>* n = list.GetHead(); n; n = n->next)
        *g_log << "[|] "
               << "  - " << n->value->GetName().GetCStr() << "\n";
    *g_log << "[|] "
           << "\n";
}

const char* YesNo(bool value) { return value ? "yes" : "no"; }

nGeometry* GeometryOf(nMItem* item)
{
    nObject* object = nMObject::FromItem(item);
    return object ? object->GetGeometry().Get() : 0;
}

bool Differs(const nVector& a, const nVector& b)
{
    return std::fabs(a.x - b.x) >= 1e-6f || std::fabs(a.y - b.y) >= 1e-6f || std::fabs(a.z - b.z) >= 1e-6f;
}
}

void nScene::PrintItemList()
{
    *g_log << "[|] "
           << "Dumping scene content\n\n";
    PrintNameList("Camera", GetCameras());
    PrintNameList("Object", GetObjects());
    PrintNameList("Light", GetLights());
    *g_log << "[|] "
           << "Group list follows (" << (int32_t)m_groups.GetCount() << " entries) :\n";
    for (nListNode<nGroup*>* n = m_groups.GetHead(); n; n = n->next)
        *g_log << "[|] "
               << "  - " << n->value->GetName().GetCStr() << "\n";
    *g_log << "[|] "
           << "\n";
    *g_log << "[|] "
           << "-------------------\n\n";
    *g_log << "[|] "
           << "-------------------\n\n";

    *g_log << "[|] "
           << "Global item list follows (" << (int32_t)m_activeItems.GetCount() << " entries) :\n";
    for (nListNode<nMItem*>* n = m_activeItems.GetHead(); n; n = n->next) {
        nMItem* item = n->value;
        nItem* parent = item->GetItem() ? item->GetItem()->GetParent() : 0;
        // The parent is looked up before the line starts, so that the search's own warning
        // stands on a line of its own ahead of the item's.
        nMItem* parentItem = 0;
        if (parent) GetItemKind(parent, &parentItem);
        *g_log << "[|] "
               << "  - " << item->GetName().GetCStr() << " ";
        if (parentItem) {
            const bool invisible = (item->GetItem()->GetFlags() & ItemFlagInvisible) != 0;
            *g_log << "[|] "
                   << "(Linked to '" << parentItem->GetName().GetCStr() << "'), (Active: "
                   << YesNo(item->IsActive()) << ", Invisible: " << YesNo(invisible) << ")\n";
        } else {
            *g_log << "[|] "
                   << "\n";
        }
    }
    *g_log << "[|] "
           << "\n";
}

void nScene::Audit()
{
    *g_log << "\n"
           << "Running scene audit:\n"
           << "--------------------\n\n"
           << "(1/2) Geometry usage:\n\n";

    std::vector<nGeometry*> geometries;
    for (nListNode<nMItem*>* n = m_allItems.GetHead(); n; n = n->next) {
        nGeometry* g = n->value->GetKind() == ManagedItemObject ? GeometryOf(n->value) : 0;
        if (!g) continue;
        bool known = false;
        for (nGeometry* seen : geometries) known = known || seen == g;
        if (!known) geometries.push_back(g);
    }
    for (nGeometry* g : geometries) {
        std::vector<nMItem*> users;
        for (nListNode<nMItem*>* n = GetObjects().GetHead(); n; n = n->next)
            if (GeometryOf(n->value) == g) users.push_back(n->value);
        *g_log << "'" << g->GetName().GetCStr() << "' used by " << (int32_t)users.size() << " object(s).\n";
        for (nMItem* user : users) *g_log << " - Object '" << user->GetName().GetCStr() << "'\n";
    }

    *g_log << "\n"
           << "(2/2) Check for duplicate geometries:\n\n";
    for (nListNode<nMItem*>* a = GetObjects().GetHead(); a; a = a->next) {
        for (nListNode<nMItem*>* b = GetObjects().GetHead(); b; b = b->next) {
            if (a == b) continue;
            nGeometry* g = GeometryOf(a->value);
            if (!g || g != GeometryOf(b->value)) continue;
            nItem* na = a->value->GetItem();
            nItem* nb = b->value->GetItem();
            if (Differs(na->GetPosition(), nb->GetPosition()) || Differs(na->GetRotation(), nb->GetRotation())) continue;
            *g_log << "[*]  - Object '" << a->value->GetName().GetCStr() << "' and '"
                   << b->value->GetName().GetCStr() << "' might be duplicates.\n";
        }
    }
    *g_log << "\n"
           << "Audit complete.\n\n";
}
