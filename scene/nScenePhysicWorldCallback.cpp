#include "scene/nScenePhysicWorldCallback.h"

#include <vector>

#include "core/nScriptObject.h"
#include "core/nScriptValue.h"
#include "physics/nPhysicItem.h"
#include "scene/nMItem.h"
#include "scene/nScene.h"
#include "scriptiface/nScriptEventDispatcher.h"
#include "scriptiface/nScriptUnit.h"
#include "scriptiface/nScriptVM.h"

namespace {

bool HasBody(nMItem* item)
{
    nPhysicItem* body = item->GetPhysicItem();
    return body && body->GetMode() != PhysicItemNone;
}

// Whether any of the item's units found OnCollisionEx when it was set up.
bool WantsCollisionTable(nMItem* item)
{
    for (nList<nScriptUnit*>::Node* n = item->GetScriptUnits().GetHead(); n; n = n->next)
        if (static_cast<nManagerScriptUnit*>(n->value)->GetCached(nManagerScriptUnit::CachedOnCollisionEx)) return true;
    return false;
}

// An array of script Vectors made from the first count points; NULL when the array cannot
// be made. A point whose Vector cannot be made is left out.
nScriptObject* VectorArray(nScriptVM* vm, const nVector* points, int32_t count)
{
    nScriptObject* array = vm->NewArray();
    if (!array) return 0;
    for (int32_t i = 0; i < count; ++i) {
        if (!vm->BeginCall("Vector", 0, 0)) continue;
        vm->PushArgument(nScriptValue(points[i].x));
        vm->PushArgument(nScriptValue(points[i].y));
        vm->PushArgument(nScriptValue(points[i].z));
        nScriptValue vector;
        if (vm->ExecuteCall(&vector)) vm->AppendToArray(vector, array);
    }
    return array;
}

// The table handed to OnCollisionEx: "count", "p" (positions) and "n" (normals). NULL when
// the table or one of its arrays cannot be made: the handlers expect all three.
nScriptObject* CollisionTable(nScriptVM* vm, const nPhysicContact& contact)
{
    if (!vm) return 0;
    nScriptObject* table = vm->NewTable();
    if (!table) return 0;
    nScriptObject* positions = VectorArray(vm, contact.positions, contact.pointCount);
    nScriptObject* normals = positions ? VectorArray(vm, contact.normals, contact.pointCount) : 0;
    if (!positions || !normals) {
        delete positions;
        delete table;
        return 0;
    }
    vm->SetValue("count", nScriptValue(contact.pointCount), table);
    vm->SetValue("p", nScriptValue(positions, true), table);
    vm->SetValue("n", nScriptValue(normals, true), table);
    return table;
}

}

void nScenePhysicWorldCallback::OnSubStep(float dt, bool before)
{
    if (!m_scene) return;
    if (before) RaisePhysicStep();
    else RaiseCollisions();
}

// Scripts may hold the shape (Collision Shape objects): they read as a deleted native from now on.
void nScenePhysicWorldCallback::OnShapeDeleted(nPhysicShape* shape)
{
    nScriptVM* vm = m_scene ? m_scene->GetVM() : 0;
    if (vm) vm->InvalidateNativeObject(static_cast<void*>(shape));
}

void nScenePhysicWorldCallback::RaisePhysicStep()
{
    if (nSceneScriptEventDispatcher* events = m_scene->GetEvents()) events->OnPhysicStep(m_scene, true);
    // Handlers may ask for activations; those change the list only at the next evaluation,
    // but the walk goes over a copy all the same.
    std::vector<nMItem*> items;
    items.reserve((size_t)m_scene->GetActiveItems().GetCount());
    for (nList<nMItem*>::Node* n = m_scene->GetActiveItems().GetHead(); n; n = n->next) items.push_back(n->value);
    for (nMItem* item : items) {
        if (item->GetKind() != ManagedItemInstance && !HasBody(item)) continue;
        if (nItemScriptEventDispatcher* events = item->GetEvents()) events->OnPhysicStep(item, true);
    }
}

void nScenePhysicWorldCallback::RaiseCollisions()
{
    nPhysicWorld* world = m_scene->GetPhysicWorld();
    if (!world) return;
    // The contacts are copied before any handler runs: a handler that rebuilds or removes a
    // body changes the world's manifolds under the walk.
    std::vector<nPhysicContact> contacts;
    for (int32_t i = 0; i < world->GetContactCount(); ++i) {
        nPhysicContact contact;
        if (world->GetContact(i, &contact)) contacts.push_back(contact);
    }
    for (nPhysicContact& contact : contacts) {
        nMItem* a = contact.a ? contact.a->GetOwner() : 0;
        nMItem* b = contact.b ? contact.b->GetOwner() : 0;
        if (!a || !b) continue;
        bool aActive = a->IsActive(), bActive = b->IsActive();
        nItemScriptEventDispatcher* aEvents = aActive ? a->GetEvents() : 0;
        nItemScriptEventDispatcher* bEvents = bActive ? b->GetEvents() : 0;
        if ((aEvents || bEvents) && (WantsCollisionTable(a) || WantsCollisionTable(b))) {
            nScriptObject* table = CollisionTable(m_scene->GetVM(), contact);
            if (table) {
                if (aEvents) aEvents->OnCollisionEx(a, static_cast<void*>(b), &contact, table);
                if (bEvents) bEvents->OnCollisionEx(b, static_cast<void*>(a), &contact, table);
                delete table;
            }
        }
        if (aEvents) aEvents->OnCollision(a, static_cast<void*>(b), &contact);
        if (bEvents) bEvents->OnCollision(b, static_cast<void*>(a), &contact);
    }
}
