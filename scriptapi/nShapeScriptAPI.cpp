#include "scriptapi/nShapeScriptAPI.h"

#include <cmath>
#include <cstdio>
#include <cstdint>

#include "core/nLog.h"
#include "core/nVector.h"
#include "physics/nPhysicItem.h"
#include "physics/nPhysicShape.h"
#include "scene/nMItem.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "scriptapi/nItemScriptAccessors.h"
#include "scriptapi/nItemScriptArgs.h"
#include "scriptapi/nScriptObjectKinds.h"

// Collision Shape objects wrap the nPhysicShape record of an item's body; they read as a
// deleted native once the body deletes the record (its item deleted, its shapes read again).
// Sizes, masses and placements a body is built from must be finite, and sizes and masses not
// negative: another value is refused with one line (a setter with a result answers false),
// since the simulation would take it in as a body without bounds or with negative inertia.

// Physic Constraint objects (kind 38): the simulation has none, so only null ones exist.
namespace {
struct nNoConstraint;
}
template<> struct ScriptObjectKind<nNoConstraint>
{
    static const int32_t value = objectTypeConstraint;
};

namespace {

bool Finite(float value) { return std::isfinite(value); }
bool Finite(const nVector& v) { return Finite(v.x) && Finite(v.y) && Finite(v.z); }

// One refusal line: "[!] ShapeSetSphere: refused radius nan (expected a finite number, not negative).\n"
bool Refuse(const char* function, const char* what, float value, bool signedOk)
{
    char text[32];
    if (std::isnan(value)) std::snprintf(text, sizeof(text), "nan");
    else std::snprintf(text, sizeof(text), "%g", (double)value);
    *g_log << "[!] " << function << ": refused " << what << " " << text << " (expected a finite number"
           << (signedOk ? "" : ", not negative") << ").\n";
    return false;
}

bool CheckSize(const char* function, const char* what, float value)
{
    return (Finite(value) && value >= 0.0f) || Refuse(function, what, value, false);
}

bool CheckSize(const char* function, const nVector& size)
{
    return CheckSize(function, "size x", size.x) && CheckSize(function, "size y", size.y) &&
           CheckSize(function, "size z", size.z);
}

bool CheckPlacement(const char* function, const char* what, const nVector& v)
{
    if (Finite(v)) return true;
    float bad = !Finite(v.x) ? v.x : !Finite(v.y) ? v.y
                                                  : v.z;
    return Refuse(function, what, bad, true);
}

// Shape types given a geometry by name.

template<int32_t Type>
SQInteger ShapeSetGeometry(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicShape* shape;
    const char* name;
    if (!s.Args(shape, name)) return SQ_ERROR;
    return s.Return(shape->SetTypeAndGeometry(Type, name));
}

SQInteger ShapeSetSphere(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicShape* shape;
    float radius;
    if (!s.Args(shape, radius)) return SQ_ERROR;
    if (!CheckSize("ShapeSetSphere", "radius", radius)) return s.Return(false);
    return s.Return(shape->SetTypeAndSize(PhysicShapeSphere, nVector(radius, 0.0f, 0.0f, 1.0f)));
}

SQInteger ShapeSetBox(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicShape* shape;
    nVector size;
    if (!s.Args(shape, size)) return SQ_ERROR;
    if (!CheckSize("ShapeSetBox", size)) return s.Return(false);
    return s.Return(shape->SetTypeAndSize(PhysicShapeBox, size));
}

// (shape, a, b): the body takes a capsule's or a cylinder's diameter from size x and its
// height from size z, so b goes into both y and z: a shape of height b, never a flat one.
template<int32_t Type>
SQInteger ShapeSetDiameterHeight(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicShape* shape;
    float a, b;
    if (!s.Args(shape, a, b)) return SQ_ERROR;
    const char* function = Type == PhysicShapeCapsule ? "ShapeSetCapsule" : "ShapeSetCylinder";
    if (!CheckSize(function, "size", a) || !CheckSize(function, "height", b)) return s.Return(false);
    return s.Return(shape->SetTypeAndSize(Type, nVector(a, b, b, 1.0f)));
}

// Placement of the shape in its item's space.

template<nVector nPhysicShape::*Field>
nVector ShapeVector(nPhysicShape* shape) { return shape->*Field; }

void SetShapePosition(nPhysicShape* shape, nVector position)
{
    if (CheckPlacement("ShapeSetPosition", "position", position)) shape->SetPosition(position);
}

void SetShapeRotation(nPhysicShape* shape, nVector angles)
{
    if (CheckPlacement("ShapeSetRotation", "rotation", angles)) shape->SetRotation(angles);
}

// Surface and mass.

float ShapeMass(nPhysicShape* shape) { return shape->mass; }

void SetShapeMass(nPhysicShape* shape, float mass)
{
    if (CheckSize("ShapeSetMass", "mass", mass)) shape->mass = mass;
}

void SetShapeRestitution(nPhysicShape* shape, float restitution)
{
    if (Finite(restitution)) shape->restitution = restitution;
    else Refuse("ShapeSetRestitution", "restitution", restitution, true);
}

// (shape, a, b): b becomes both frictions (the body takes the static one from its first
// shape); a is read and not used.
SQInteger ShapeSetFriction(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicShape* shape;
    float unused, friction;
    if (!s.Args(shape, unused, friction)) return SQ_ERROR;
    if (!Finite(friction)) {
        Refuse("ShapeSetFriction", "friction", friction, true);
        return s.Return();
    }
    shape->dynamicFriction = friction;
    shape->staticFriction = friction;
    return s.Return();
}

// The item a shape belongs to is not recorded with it: always a null Item.
SQInteger ShapeGetItem(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicShape* shape;
    if (!s.Args(shape)) return SQ_ERROR;
    return ScriptReturnItem(s, 0);
}

// The item's body.

// A new shape (type none, mass 0) at the end of the body's list; a script null without a body.
SQInteger ItemAddCollisionShape(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicItem* body;
    if (!s.Args(body)) return SQ_ERROR;
    nPhysicShape* shape = body ? body->AddShape() : 0;
    if (!shape) return s.Return();
    return s.ReturnObject(static_cast<void*>(shape), objectTypeColShape, false);
}

// (Item, index from 0): a script null without a body or past the last shape.
SQInteger ItemGetShapeFromIndex(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicItem* body;
    SQInteger index;
    if (!s.Args(body, index)) return SQ_ERROR;
    if (!body || index < 0) return s.Return();
    SQInteger i = 0;
    for (nList<nPhysicShape*>::Node* n = body->GetShapes().GetHead(); n; n = n->next, ++i)
        if (i == index) return s.ReturnObject(static_cast<void*>(n->value), objectTypeColShape, false);
    return s.Return();
}

// (Item, value): body->Set(value) when the item has a body.
template<class T, void (nPhysicItem::*Set)(T)>
SQInteger SetBody(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicItem* body;
    T value;
    if (!s.Args(body, value)) return SQ_ERROR;
    if (body) (body->*Set)(value);
    return s.Return();
}

// Constraints: the arguments are checked and nothing else happens.

// (constraint, more...): the constraint object must be live ("CObject is null" for the null
// ones PositionConstraintNew gives), then each further argument reads as its type.
template<class... More>
bool ReadConstraint(ScriptStackHandler& s)
{
    nNoConstraint* constraint;
    return s.Args(constraint, More()...);
}

template<class... More>
SQInteger ConstraintCheck(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    if (!ReadConstraint<More...>(s)) return SQ_ERROR;
    return s.Return();
}

SQInteger ConstraintGetCurrentHookDistance(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    if (!ReadConstraint<>(s)) return SQ_ERROR;
    return s.Return(0.0f);
}

SQInteger ConstraintGetHookWorld(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    if (!ReadConstraint<>(s)) return SQ_ERROR;
    return s.Return(nVector(0.0f, 0.0f, 0.0f, 1.0f));
}

// (scene, anchor item, target item, anchor hook, target hook): a null Physic Constraint.
SQInteger PositionConstraintNew(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    void* scene;
    nMItem *anchor, *target;
    nVector anchorHook, targetHook;
    if (!s.GetObject(1, objectTypeScene, &scene)) return SQ_ERROR;
    if (!s.Args(ScriptSkip, anchor, target, anchorHook, targetHook)) return SQ_ERROR;
    return s.ReturnObject(0, objectTypeConstraint, false);
}

}  // namespace

const ScriptFunctionDecl g_CollisionScriptFunctions[] = {
    {"ShapeSetMesh", ShapeSetGeometry<PhysicShapeMesh>, ".xs"},
    {"ShapeSetConvex", ShapeSetGeometry<PhysicShapeConvex>, ".xs"},
    {"ShapeSetSphere", ShapeSetSphere, ".xn"},
    {"ShapeSetBox", ShapeSetBox, ".xx"},
    {"ShapeSetCapsule", ShapeSetDiameterHeight<PhysicShapeCapsule>, ".xnn"},
    {"ShapeSetCylinder", ShapeSetDiameterHeight<PhysicShapeCylinder>, ".xnn"},
    {"ShapeSetPosition", ScriptSet<SetShapePosition>, ".xx"},
    {"ShapeGetPosition", ScriptGet<ShapeVector<&nPhysicShape::position>>, ".x"},
    {"ShapeSetRotation", ScriptSet<SetShapeRotation>, ".xx"},
    {"ShapeGetRotation", ScriptGet<ShapeVector<&nPhysicShape::rotation>>, ".x"},
    {"ShapeSetMass", ScriptSet<SetShapeMass>, ".xn"},
    {"ShapeGetMass", ScriptGet<ShapeMass>, ".x"},
    {"ShapeSetFriction", ShapeSetFriction, ".xnn"},
    {"ShapeSetRestitution", ScriptSet<SetShapeRestitution>, ".xn"},
    {"ShapeGetItem", ShapeGetItem, ".x"},
    {"ItemAddCollisionShape", ItemAddCollisionShape, ".x"},
    {"ItemCollisionActivate", SetBody<bool, &nPhysicItem::Enable>, ".xb"},
    {"ItemSetSelfMask", SetBody<int32_t, &nPhysicItem::SetSelfMask>, ".xi"},
    {"ItemSetCollisionMask", SetBody<int32_t, &nPhysicItem::SetCollisionMask>, ".xi"},
    {"ItemGetShapeFromIndex", ItemGetShapeFromIndex, ".xi"},
    {0, 0, 0}};

// Kept for old scripts; nothing reads them.
const ScriptConstantDecl g_CollisionScriptConstants[] = {
    {"CollisionTraceMesh", -1, ScriptConstantInteger},
    {"CollisionTraceSphere", -1, ScriptConstantInteger},
    {"CollisionTraceCuboid", -1, ScriptConstantInteger},
    {"CollisionTraceAll", -1, ScriptConstantInteger},
    {0, 0, 0}};

const ScriptFunctionDecl g_ConstraintScriptFunctions[] = {
    {"PositionConstraintNew", PositionConstraintNew, ".xxxxx"},
    {"ConstraintEnable", ConstraintCheck<bool>, ".xb"},
    {"ConstraintSetAnchorRotation", ConstraintCheck<nVector>, ".xx"},
    {"ConstraintSetStrength", ConstraintCheck<float>, ".xn"},
    {"ConstraintSetMaximumErrorCorrection", ConstraintCheck<float>, ".xn"},
    {"ConstraintGetCurrentHookDistance", ConstraintGetCurrentHookDistance, ".x"},
    {"ConstraintGetAnchorHookWorld", ConstraintGetHookWorld, ".x"},
    {"ConstraintGetTargetHookWorld", ConstraintGetHookWorld, ".x"},
    {"ConstraintSetAnchorItem", ConstraintCheck<nMItem*>, ".xx"},
    {"ConstraintSetTargetItem", ConstraintCheck<nMItem*>, ".xx"},
    {"ConstraintSetAnchorHook", ConstraintCheck<nVector>, ".xx"},
    {"ConstraintSetTargetHook", ConstraintCheck<nVector>, ".xx"},
    {"ConstraintSetCorrectionVector", ConstraintCheck<nVector>, ".xx"},
    {"ConstraintUseCorrectionVector", ConstraintCheck<bool>, ".xb"},
    {0, 0, 0}};

void RegisterCollisionScriptAPI(HSQUIRRELVM v)
{
    ScriptRegisterFunctions(v, g_CollisionScriptFunctions);
    ScriptRegisterConstants(v, g_CollisionScriptConstants);
}

void RegisterConstraintScriptAPI(HSQUIRRELVM v)
{
    ScriptRegisterFunctions(v, g_ConstraintScriptFunctions);
}
