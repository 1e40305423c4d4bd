// The Item functions of identity, state, casts, hierarchy, transform, matrices and bounds.
// Every function reads its first argument as an Item of a live managed item and works on it
// or on its transform node.

#include <cstdint>
#include <functional>

#include "core/nBounds.h"
#include "core/nLog.h"
#include "core/nMatrix.h"
#include "core/nVector.h"
#include "resources/nGeometry.h"
#include "scene/nItem.h"
#include "scene/nMItem.h"
#include "scene/nObject.h"
#include "scene/nScene.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "scriptapi/nItemScriptAccessors.h"
#include "scriptapi/nItemScriptAPI.h"
#include "scriptapi/nItemScriptArgs.h"

namespace {

SQInteger ReturnMinMax(ScriptStackHandler& s, const nMinMax& box)
{
    // Without a MinMax class the binding error is dumped and the script gets null.
    return ScriptPushMinMax(s.GetVM(), box) ? 1 : 0;
}

const nVector kOrigin(0.0f, 0.0f, 0.0f, 1.0f);

// Shared shapes of the node: the position of one of its matrices, one bit of its flag word.

// (Item) -> the translation of the node's matrix Get, w = 1.
template<auto Get>
SQInteger NodeMatrixPosition(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nItem* node;
    if (!s.Args(node)) return SQ_ERROR;
    return s.Return(std::invoke(Get, node).GetColumn(3, true));
}

template<uint32_t Bit>
SQInteger NodeHasFlag(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nItem* node;
    if (!s.Args(node)) return SQ_ERROR;
    return s.Return((node->GetFlags() & Bit) != 0);
}

// The bit changes at once; a bit that changes how the world matrix is made has it rebuilt.
template<uint32_t Bit>
SQInteger SetNodeFlag(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nItem* node;
    bool on;
    if (!s.Args(node, on)) return SQ_ERROR;
    node->SetFlag(Bit, on);
    if (Bit != ItemFlagInvisible) node->MarkWorldDirty();
    return s.Return();
}

// Identity and casts.

// Any item-kind object back to an Item; other kinds give a null Item.
SQInteger ItemDerivedCastToItem(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    void* native;
    int32_t type = objectTypeUndefined;
    if (!s.GetObjectOrNull(1, objectTypeUndefined, &native)) return SQ_ERROR;
    ScriptGetNativeObjectType(v, 2, &type);
    switch (type) {
        case objectTypeItem:
        case objectTypeCamera:
        case objectTypeObject:
        case objectTypeLight:
        case objectTypeEmitter:
        case objectTypeTrigger:
            break;
        default:
            native = 0;
    }
    return ScriptReturnItem(s, static_cast<nMItem*>(native));
}

template<int32_t Kind, int32_t Type>
SQInteger CastItem(HSQUIRRELVM v, const char* refusal)
{
    ScriptStackHandler s(v);
    nMItem* item;
    if (!s.Args(item)) return SQ_ERROR;
    if (item->GetKind() != Kind) return s.Error(refusal);
    return s.ReturnObject(static_cast<void*>(item), Type, false);
}

SQInteger ItemCastToTrigger(HSQUIRRELVM v) { return CastItem<ManagedItemTrigger, objectTypeTrigger>(v, "Cannot cast item to trigger"); }
SQInteger ItemCastToLight(HSQUIRRELVM v) { return CastItem<ManagedItemLight, objectTypeLight>(v, "Cannot cast item to light"); }
SQInteger ItemCastToInstance(HSQUIRRELVM v) { return CastItem<ManagedItemInstance, objectTypeInstance>(v, "Cannot cast item to instance"); }
SQInteger ItemCastToEmitter(HSQUIRRELVM v) { return CastItem<ManagedItemEmitter, objectTypeEmitter>(v, "Cannot cast item to emitter"); }

SQInteger ItemCompare(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* a;
    nMItem* b;
    if (!s.Args(a, b)) return SQ_ERROR;
    return s.Return(a == b);
}

SQInteger ItemGetName(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    if (!s.Args(item)) return SQ_ERROR;
    return s.Return(item->GetName().GetCStr());
}

SQInteger ItemGetScene(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    if (!s.Args(item)) return SQ_ERROR;
    return s.ReturnObject(static_cast<void*>(item->GetScene()), objectTypeScene, false);
}

SQInteger ItemGetEngine(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nItem* node;
    if (!s.Args(node)) return SQ_ERROR;
    return s.ReturnObject(static_cast<void*>(node->GetEngine()), objectTypeEngine, false);
}

SQInteger ItemGetGeometry(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    if (!s.Args(item)) return SQ_ERROR;
    nObject* object = nMObject::FromItem(item);
    if (!object) return s.Error("Item is not an object, cannot get geometry");
    return s.ReturnObject(static_cast<void*>(object->GetGeometry().Get()), objectTypeGeometry, false);
}

SQInteger ItemPrint(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    if (!s.Args(item)) return SQ_ERROR;
    // The whole pointer: the log has no 64-bit integer, so it is written through a text.
    nString address = nString::Format("%lld", (long long)(intptr_t) static_cast<void*>(item));
    *g_log << "Item at address @" << address.GetCStr() << ".\n";
    return s.Return();
}

// State.

template<bool Recursive>
SQInteger ItemActivate(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    bool active;
    if (!s.Args(item, active)) return SQ_ERROR;
    item->SetActive(active, Recursive);
    return s.Return();
}

// The item and every item of its scene below it; items of other scenes are not touched.
SQInteger ItemHierarchySetInvisible(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    nItem* node;
    bool invisible;
    if (!s.Args(ScriptItemAndNode(item, node), invisible)) return SQ_ERROR;
    node->SetFlag(ItemFlagInvisible, invisible);
    if (nScene* scene = item->GetScene()) {
        for (nList<nMItem*>::Node* n = scene->GetAllItems().GetHead(); n; n = n->next) {
            nItem* other = n->value->GetItem();
            if (other && other->IsDescendantOf(node)) other->SetFlag(ItemFlagInvisible, invisible);
        }
    }
    return s.Return();
}

SQInteger ItemSetFlags(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    SQInteger bits;
    bool on;
    if (!s.Args(item, bits, on)) return SQ_ERROR;
    uint32_t mask = (uint32_t)bits;
    item->SetFlags(on ? item->GetFlags() | mask : item->GetFlags() & ~mask);
    return s.Return();
}

SQInteger ItemSetOpacity(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nItem* node;
    float alpha;
    if (!s.Args(node, alpha)) return SQ_ERROR;
    node->SetOpacity(alpha > 0.0f ? (alpha < 1.0f ? alpha : 1.0f) : 0.0f);  // NaN gives 0
    return s.Return();
}

// Hierarchy and target.

SQInteger ItemGetParent(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nItem* node;
    if (!s.Args(node)) return SQ_ERROR;
    nItem* parent = node->GetParent();
    return ScriptReturnItem(s, parent ? parent->GetManagedItem() : 0);
}

// A null Item as the parent unlinks; the node refuses itself and repairs a loop.
SQInteger ItemSetParent(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    nItem* node;
    nMItem* parent;
    if (!s.Args(ScriptItemAndNode(item, node), ScriptOrNull(parent))) return SQ_ERROR;
    item->SetParentNotified(parent ? parent->GetItem() : 0);
    return s.Return();
}

SQInteger ItemGetChildList(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nItem* node;
    if (!s.Args(node)) return SQ_ERROR;
    s.NewArray();
    for (nList<nItem*>::Node* n = node->GetChildren().GetHead(); n; n = n->next)
        s.Append(ScriptReturnItem(s, n->value ? n->value->GetManagedItem() : 0));
    return 1;
}

SQInteger ItemSetTarget(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nItem* node;
    nVector point;
    if (!s.Args(node, point)) return SQ_ERROR;
    node->SetTarget(&point);
    return s.Return();
}

SQInteger ItemSetNoTarget(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nItem* node;
    if (!s.Args(node)) return SQ_ERROR;
    node->SetTarget(0);
    return s.Return();
}

// Transform components.

// An order outside the seven would draw the item unrotated and be dropped from saved
// scenes: it is refused and the item keeps its order.
SQInteger ItemSetRotationOrder(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    nItem* node;
    SQInteger order;
    if (!s.Args(ScriptItemAndNode(item, node), order)) return SQ_ERROR;
    if (order < RotationOrderZYX || order > RotationOrderXY) {
        *g_log << "[!] Rotation order " << nString::Format("%lld", (long long)order).GetCStr()
               << " of item '" << item->GetName().GetCStr() << "' is not one of 0 to 6; order kept.\n";
        return s.Return();
    }
    node->SetRotationOrder((int32_t)order);
    return s.Return();
}

SQInteger ItemSetPivot(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nItem* node;
    nVector offset;
    if (!s.Args(node, offset)) return SQ_ERROR;
    node->SetPivot(nMatrix4::Translation(offset));
    return s.Return();
}

// Matrices.

// The world matrix's upper 3x3, scale included.
SQInteger ItemGetRotationMatrix(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nItem* node;
    if (!s.Args(node)) return SQ_ERROR;
    return s.Return(nMatrix3::FromMatrix4(node->GetWorldMatrix()));
}

// Local matrix and components re-derived from the current world matrix.
SQInteger ItemSnapshotTransformation(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nItem* node;
    if (!s.Args(node)) return SQ_ERROR;
    nMatrix4 world = node->GetWorldMatrix();
    node->SetWorldMatrix(world, false, false);
    return s.Return();
}

SQInteger ItemSnapshotMatrix(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nItem* node;
    nMatrix4 m;
    if (!s.Args(node, m)) return SQ_ERROR;
    node->SetWorldMatrix(m, false, false);
    return s.Return();
}

// Bounds.

SQInteger ItemGetMinMax(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nItem* node;
    if (!s.Args(node)) return SQ_ERROR;
    nMinMax box(kOrigin, kOrigin);
    node->GetWorldMinMax(box);
    return ReturnMinMax(s, box);
}

SQInteger ItemComputeMinMax(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nItem* node;
    if (!s.Args(node)) return SQ_ERROR;
    nMinMax box(kOrigin, kOrigin);
    node->GetWorldMinMax(box);
    return s.Return();
}

// An object's geometry bounds as stored; the zero box for anything else.
SQInteger ItemGetLocalMinMax(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    if (!s.Args(item)) return SQ_ERROR;
    nMinMax box(kOrigin, kOrigin);
    nObject* object = nMObject::FromItem(item);
    if (object && object->GetGeometry().IsValid()) box = object->GetGeometry()->bounds;
    return ReturnMinMax(s, box);
}

// An object's geometry under its world matrix, the world position of an object without
// one, the zero box for other kinds.
SQInteger ItemGetWorldMinMax(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    if (!s.Args(item)) return SQ_ERROR;
    nMinMax box(kOrigin, kOrigin);
    if (nObject* object = nMObject::FromItem(item)) {
        const nMatrix4& world = object->GetWorldMatrix();
        if (object->GetGeometry().IsValid()) {
            object->GetGeometry()->ComputeBounds(box, &world);
        } else {
            nVector position = world.GetColumn(3, true);
            box = nMinMax(position, position);
        }
    }
    return ReturnMinMax(s, box);
}

}  // namespace

const ScriptFunctionDecl g_ItemTransformScriptFunctions[] = {
    // Identity, state and casts.
    {"ItemDerivedCastToItem", ItemDerivedCastToItem, ".x"},
    {"ItemCastToTrigger", ItemCastToTrigger, ".x"},
    {"ItemCastToLight", ItemCastToLight, ".x"},
    {"ItemCastToInstance", ItemCastToInstance, ".x"},
    {"ItemCastToEmitter", ItemCastToEmitter, ".x"},
    {"ItemGetType", ScriptGet<&nMItem::GetKind>, ".x"},
    {"ItemCompare", ItemCompare, ".xx"},
    {"ItemGetName", ItemGetName, ".x"},
    {"ItemSetName", ScriptSet<&nMItem::SetName>, ".xs"},
    {"ItemGetScene", ItemGetScene, ".x"},
    {"ItemGetEngine", ItemGetEngine, ".x"},
    {"ItemGetGeometry", ItemGetGeometry, ".x"},
    {"ItemPrint", ItemPrint, ".x"},
    {"ItemActivate", ItemActivate<false>, ".xb"},
    {"ItemActivateHierarchy", ItemActivate<true>, ".xb"},
    {"ItemIsActive", ScriptGet<&nMItem::IsActive>, ".x"},
    {"ItemIsInvisible", NodeHasFlag<ItemFlagInvisible>, ".x"},
    {"ItemSetInvisible", SetNodeFlag<ItemFlagInvisible>, ".xb"},
    {"ItemHierarchySetInvisible", ItemHierarchySetInvisible, ".xb"},
    {"ItemSetup", ScriptCall<&nMItem::Setup>, ".x"},
    {"ItemReset", ScriptCall<&nMItem::Reset>, ".x"},
    {"ItemRecordLocation", ScriptCall<&nMItem::RecordLocation>, ".x"},
    {"ItemSetPriority", ScriptSet<&nMItem::SetPriority>, ".xn"},
    {"ItemGetFlags", ScriptGet<&nMItem::GetFlags>, ".x"},
    {"ItemSetFlags", ItemSetFlags, ".xib"},
    {"ItemGetOpacity", ScriptGet<&nItem::GetOpacity>, ".x"},
    {"ItemGetAlpha", ScriptGet<&nItem::GetOpacity>, ".x"},
    {"ItemSetOpacity", ItemSetOpacity, ".xn"},
    {"ItemSetAlpha", ItemSetOpacity, ".xn"},
    // Hierarchy and target.
    {"ItemGetParent", ItemGetParent, ".x"},
    {"ItemSetParent", ItemSetParent, ".xx"},
    {"ItemSetLink", ItemSetParent, ".xx"},
    {"ItemGetChildList", ItemGetChildList, ".x"},
    {"ItemSetLinkInheritsPositionOnly", SetNodeFlag<ItemFlagLinkOnlyPosition>, ".xb"},
    {"ItemSetTarget", ItemSetTarget, ".xx"},
    {"ItemSetNoTarget", ItemSetNoTarget, ".x"},
    {"ItemGetTarget", ScriptGet<&nItem::GetTarget>, ".x"},
    {"ItemHasTarget", NodeHasFlag<ItemFlagHasTarget>, ".x"},
    // Transform components.
    {"ItemGetPosition", ScriptGet<&nItem::GetPosition>, ".x"},
    {"ItemSetPosition", ScriptSet<&nItem::SetPosition>, ".xx"},
    {"ItemGetScale", ScriptGet<&nItem::GetScale>, ".x"},
    {"ItemSetScale", ScriptSet<&nItem::SetScale>, ".xx"},
    {"ItemGetRotation", ScriptGet<&nItem::GetRotation>, ".x"},
    {"ItemSetRotation", ScriptSet<&nItem::SetRotation>, ".xx"},
    {"ItemSetRotationQuaternion", ScriptSet<&nItem::SetRotation>, ".xx"},
    {"ItemGetRotationOrder", ScriptGet<&nItem::GetRotationOrder>, ".x"},
    {"ItemSetRotationOrder", ItemSetRotationOrder, ".xi"},
    {"ItemGetPivot", NodeMatrixPosition<&nItem::GetPivot>, ".x"},
    {"ItemSetPivot", ItemSetPivot, ".xx"},
    {"ItemGetWorldPosition", NodeMatrixPosition<&nItem::GetWorldMatrix>, ".x"},
    {"ItemGetPreviousWorldPosition", NodeMatrixPosition<&nItem::GetPreviousWorldMatrix>, ".x"},
    {"ItemSetOrientationMethod", ScriptCheckOnly<nMItem>, ".xi"},
    // Matrices and bounds.
    {"ItemGetMatrix", ScriptGet<&nItem::GetWorldMatrix>, ".x"},
    {"ItemGetInverseMatrix", ScriptGet<&nItem::GetInverseWorldMatrix>, ".x"},
    {"ItemGetLocalMatrix", ScriptGet<&nItem::GetLocalMatrix>, ".x"},
    {"ItemSetMatrix", ScriptSet<&nItem::SetMatrix>, ".xx"},
    {"ItemGetRotationMatrix", ItemGetRotationMatrix, ".x"},
    {"ItemSetRotationMatrix", ScriptSet<&nItem::SetRotationMatrix>, ".xx"},
    {"ItemSnapshotTransformation", ItemSnapshotTransformation, ".x"},
    {"ItemSnapshotMatrix", ItemSnapshotMatrix, ".xx"},
    {"ItemSetLogicTransformation", ScriptSet<&nMItem::SetLogicTransformation>, ".xx"},
    {"ItemComputeMatrix", ScriptCheckOnly<nMItem>, ".x"},
    {"ItemComputeLocalMatrix", ScriptCheckOnly<nMItem>, ".x"},
    {"ItemGetMinMax", ItemGetMinMax, ".x"},
    {"ItemComputeMinMax", ItemComputeMinMax, ".x"},
    {"ItemGetLocalMinMax", ItemGetLocalMinMax, ".x"},
    {"ItemGetWorldMinMax", ItemGetWorldMinMax, ".x"},
    {0, 0, 0}};

const ScriptConstantDecl g_ItemTransformScriptConstants[] = {
    // Read by no function; kept for the scripts that name them.
    {"OrientationEuler", 0, ScriptConstantInteger},
    {"OrientationMatrix", 1, ScriptConstantInteger},
    {"OrientationQuaternion", 2, ScriptConstantInteger},
    {"OrientationExternal", 3, ScriptConstantInteger},
    {"RotationOrderDefault", RotationOrderDefault, ScriptConstantInteger},
    {"RotationOrderZYX", RotationOrderZYX, ScriptConstantInteger},
    {"RotationOrderYZX", RotationOrderYZX, ScriptConstantInteger},
    {"RotationOrderZXY", RotationOrderZXY, ScriptConstantInteger},
    {"RotationOrderXZY", RotationOrderXZY, ScriptConstantInteger},
    {"RotationOrderYXZ", RotationOrderYXZ, ScriptConstantInteger},
    {"RotationOrderXYZ", RotationOrderXYZ, ScriptConstantInteger},
    {"RotationOrderXY", RotationOrderXY, ScriptConstantInteger},
    {"ItemTypeNone", ManagedItemNone, ScriptConstantInteger},
    {"ItemTypeCamera", ManagedItemCamera, ScriptConstantInteger},
    {"ItemTypeObject", ManagedItemObject, ScriptConstantInteger},
    {"ItemTypeLight", ManagedItemLight, ScriptConstantInteger},
    {"ItemTypeTrigger", ManagedItemTrigger, ScriptConstantInteger},
    {"ItemTypeEmitter", ManagedItemEmitter, ScriptConstantInteger},
    {"ItemTypeInstance", ManagedItemInstance, ScriptConstantInteger},
    {"ItemFlagNone", 0, ScriptConstantInteger},
    {"ItemFlagBillboard", MItemFlagBillboard, ScriptConstantInteger},
    {"ItemFlagSolveOverlap", MItemFlagSolveOverlap, ScriptConstantInteger},
    {"NullGeometry", 0, objectTypeGeometry},
    {0, 0, 0}};
