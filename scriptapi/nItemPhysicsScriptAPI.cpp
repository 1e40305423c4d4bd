#include "core/nLog.h"
#include "core/nMatrix.h"
#include "core/nVector.h"
#include "physics/nPhysicItem.h"
#include "physics/nPhysicWorld.h"
#include "scene/nMItem.h"
#include "scene/nScene.h"
#include "scriptapi/nItemScriptAccessors.h"
#include "scriptapi/nItemScriptAPI.h"
#include "scriptapi/nItemScriptArgs.h"

// The rigid body of a managed item. Every function works on the item's nPhysicItem; the
// physics world steps it during the scene's evaluation, which then copies the matrix of every
// dynamic body into its item. An item made while its scene had no physics world carries no
// body: it reads as a body in mode none (getters give 0, false or (0, 0, 0, 1)) and the
// setters do nothing.

namespace {

// (Item) -> the body's vector (Get), (0, 0, 0, 1) without a body.
template<nVector (nPhysicItem::*Get)()>
SQInteger GetBodyVector(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicItem* body;
    if (!s.Args(body)) return SQ_ERROR;
    return s.Return(body ? (body->*Get)() : nVector());
}

// (Item, Vector): hands the vector (w = 1) to the body (Set).
template<void (nPhysicItem::*Set)(const nVector*)>
SQInteger SetBodyVector(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicItem* body;
    nVector value;
    if (!s.Args(body, value)) return SQ_ERROR;
    if (body) (body->*Set)(&value);
    return s.Return();
}

// (Item, number): hands the number to the body (Set).
template<void (nPhysicItem::*Set)(float)>
SQInteger SetBodyFloat(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicItem* body;
    float value;
    if (!s.Args(body, value)) return SQ_ERROR;
    if (body) (body->*Set)(value);
    return s.Return();
}

// (Item, vector) or (Item, world point, vector): Apply with the point, or at the centre of
// mass without one.
template<void (nPhysicItem::*Apply)(const nVector*, const nVector*), bool WithPoint>
SQInteger ApplyToBody(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicItem* body;
    nVector point, value;
    if (!s.Args(body)) return SQ_ERROR;
    if (WithPoint ? !s.GetVector(2, point) || !s.GetVector(3, value) : !s.GetVector(2, value)) return SQ_ERROR;
    if (body) (body->*Apply)(&value, WithPoint ? &point : 0);
    return s.Return();
}

// (Item, point) -> the velocity of that point (Get), (0, 0, 0, 1) without a body.
template<nVector (nPhysicItem::*Get)(const nVector*)>
SQInteger GetPointVelocity(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicItem* body;
    nVector point;
    if (!s.Args(body, point)) return SQ_ERROR;
    return s.Return(body ? (body->*Get)(&point) : nVector());
}

SQInteger ItemGetPhysicMode(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicItem* body;
    if (!s.Args(body)) return SQ_ERROR;
    return s.Return(body ? body->GetMode() : (int32_t)PhysicItemNone);
}

// The mode takes effect when the body is next built (ItemUpdateInertiaTensorFromCollision,
// the item's set-up). A code outside the four modes is refused: the body would be built as
// neither kind and written to scene files without a mode.
SQInteger ItemSetPhysicMode(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicItem* body;
    int32_t mode;
    if (!s.Args(body, mode)) return SQ_ERROR;
    if (mode < PhysicItemNone || mode > PhysicItemDynamic) {
        *g_log << "[*] Physic mode " << mode << " is not one of the PhysicMode values; the mode is unchanged.\n";
        return s.Return();
    }
    if (body) body->SetMode(mode);
    return s.Return();
}

template<bool Sleeping>
SQInteger SetSleeping(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicItem* body;
    if (!s.Args(body)) return SQ_ERROR;
    if (body) body->SetSleeping(Sleeping);
    return s.Return();
}

SQInteger ItemIsSleeping(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicItem* body;
    if (!s.Args(body)) return SQ_ERROR;
    return s.Return(body ? body->IsSleeping() : false);
}

// Rebuilds the body from its shapes and mode, which recomputes mass and inertia. A body
// rebuilt for an inactive item stays out of the simulation, as at the item's set-up.
SQInteger ItemUpdateInertiaTensorFromCollision(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    if (!s.Args(item)) return SQ_ERROR;
    if (nPhysicItem* body = item->GetPhysicItem()) {
        body->Create();
        if (!item->IsActive()) body->Enable(false);
    }
    return s.Return();
}

SQInteger ItemGetMass(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicItem* body;
    if (!s.Args(body)) return SQ_ERROR;
    return s.Return(body ? body->GetTotalMass() : 0.0f);
}

SQInteger ItemGetSpeed(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicItem* body;
    if (!s.Args(body)) return SQ_ERROR;
    return s.Return(body ? body->GetLinearVelocity().Length() : 0.0f);
}

// The body's gravity becomes scale times the gravity of the item's scene's world.
SQInteger ItemSetGravityScale(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    float scale;
    if (!s.Args(item, scale)) return SQ_ERROR;
    nPhysicItem* body = item->GetPhysicItem();
    nPhysicWorld* world = item->GetScene() ? item->GetScene()->GetPhysicWorld() : 0;
    if (!body || !world) return s.Return();
    const nVector& g = world->GetGravity();
    nVector gravity(g.x * scale, g.y * scale, g.z * scale, 1.0f);
    body->SetGravity(&gravity);
    return s.Return();
}

// The body matrix: the identity without a body.
nMatrix4 BodyMatrix(nPhysicItem* body)
{
    nMatrix4 m;
    if (body) body->GetMatrix(&m);
    return m;
}

SQInteger ItemGetPhysicPosition(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicItem* body;
    if (!s.Args(body)) return SQ_ERROR;
    return s.Return(BodyMatrix(body).GetColumn(3, true));
}

SQInteger ItemSetPhysicPosition(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicItem* body;
    nVector position;
    if (!s.Args(body, position)) return SQ_ERROR;
    if (!body) return s.Return();
    nMatrix4 m = BodyMatrix(body);
    m.SetColumn(3, position, true);
    body->SetMatrix(&m);
    return s.Return();
}

SQInteger ItemGetPhysicRotation(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicItem* body;
    if (!s.Args(body)) return SQ_ERROR;
    if (!body) return s.Return(nVector());
    return s.Return(nMatrix3::FromMatrix4(BodyMatrix(body)).ToEuler(RotationOrderYXZ));
}

// Only the orientation changes: position and scale are kept from the body matrix.
SQInteger ItemSetPhysicRotation(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicItem* body;
    nVector angles;
    if (!s.Args(body, angles)) return SQ_ERROR;
    if (!body) return s.Return();
    nVector position, scale;
    BodyMatrix(body).Decompose(&position, &scale, 0);
    nMatrix4 m = nMatrix4::ComposeEuler(position, angles, scale, nVector(0.0f, 0.0f, 0.0f));
    body->SetMatrix(&m);
    return s.Return();
}

// (Item, position, Euler angles): the body placed at unit scale.
SQInteger ItemPhysicResetTransformation(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicItem* body;
    nVector position, angles;
    if (!s.Args(body, position, angles)) return SQ_ERROR;
    if (!body) return s.Return();
    nMatrix4 m = nMatrix4::ComposeEuler(position, angles, nVector(1.0f, 1.0f, 1.0f), nVector(0.0f, 0.0f, 0.0f));
    body->SetMatrix(&m);
    return s.Return();
}

// Obsolete entries: they check their arguments and answer a fixed value, do nothing or say
// that they are obsolete.

bool NeverCollided(nMItem*) { return false; }
nVector ZeroVector(nMItem*) { return nVector(0.0f, 0.0f, 0.0f, 1.0f); }
int32_t NoFlags(nMItem*) { return 0; }
void IgnoreFlag(nMItem*, int32_t) {}
void SayObsolete(nMItem*) { *g_log << "[!] OBSOLETE\n"; }
void SayObsoleteIgnoringPosition(nMItem* item, const nVector&) { SayObsolete(item); }

SQInteger ItemSetInertiaTensorAndCom(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    nMatrix3 tensor;
    nVector centre;
    if (!s.Args(item, tensor, centre)) return SQ_ERROR;
    return s.Return();
}

}  // namespace

const ScriptFunctionDecl g_ItemPhysicsScriptFunctions[] = {
    {"ItemGetPhysicMode", ItemGetPhysicMode, ".x"},
    {"ItemSetPhysicMode", ItemSetPhysicMode, ".xi"},
    {"ItemWake", SetSleeping<false>, ".x"},
    {"ItemSleep", SetSleeping<true>, ".x"},
    {"ItemIsSleeping", ItemIsSleeping, ".x"},
    {"ItemUpdateInertiaTensorFromCollision", ItemUpdateInertiaTensorFromCollision, ".x"},
    {"ItemGetMass", ItemGetMass, ".x"},
    {"ItemGetCenterOfMass", GetBodyVector<&nPhysicItem::GetCenterOfMass>, ".x"},
    {"ItemGetSpeed", ItemGetSpeed, ".x"},
    {"ItemGetLinearVelocity", GetBodyVector<&nPhysicItem::GetLinearVelocity>, ".x"},
    {"ItemGetPreviousLinearVelocity", GetBodyVector<&nPhysicItem::GetLinearVelocity>, ".x"},
    {"ItemSetLinearVelocity", SetBodyVector<&nPhysicItem::SetLinearVelocity>, ".xx"},
    {"ItemGetAngularVelocity", GetBodyVector<&nPhysicItem::GetAngularVelocity>, ".x"},
    {"ItemSetAngularVelocity", SetBodyVector<&nPhysicItem::SetAngularVelocity>, ".xx"},
    {"ItemSetLinearDamping", SetBodyFloat<&nPhysicItem::SetLinearDamping>, ".xn"},
    {"ItemSetAngularDamping", SetBodyFloat<&nPhysicItem::SetAngularDamping>, ".xn"},
    {"ItemPhysicSetLinearFactor", SetBodyVector<&nPhysicItem::SetLinearFactor>, ".xx"},
    {"ItemPhysicSetAngularFactor", SetBodyVector<&nPhysicItem::SetAngularFactor>, ".xx"},
    {"ItemApplyLinearForce", ApplyToBody<&nPhysicItem::ApplyForce, false>, ".xx"},
    {"ItemApplyForce", ApplyToBody<&nPhysicItem::ApplyForce, true>, ".xxx"},
    {"ItemApplyLinearImpulse", ApplyToBody<&nPhysicItem::ApplyImpulse, false>, ".xx"},
    {"ItemApplyImpulse", ApplyToBody<&nPhysicItem::ApplyImpulse, true>, ".xxx"},
    {"ItemApplyTorque", SetBodyVector<&nPhysicItem::ApplyTorque>, ".xx"},
    {"ItemSetGravity", SetBodyVector<&nPhysicItem::SetGravity>, ".xx"},
    {"ItemGetGravity", GetBodyVector<&nPhysicItem::GetGravity>, ".x"},
    {"ItemSetGravityScale", ItemSetGravityScale, ".xn"},
    {"ItemWorldPointVelocity", GetPointVelocity<&nPhysicItem::GetWorldPointVelocity>, ".xx"},
    {"ItemPointVelocity", GetPointVelocity<&nPhysicItem::GetLocalPointVelocity>, ".xx"},
    {"ItemGetPhysicPosition", ItemGetPhysicPosition, ".x"},
    {"ItemSetPhysicPosition", ItemSetPhysicPosition, ".xx"},
    {"ItemGetPhysicRotation", ItemGetPhysicRotation, ".x"},
    {"ItemSetPhysicRotation", ItemSetPhysicRotation, ".xx"},
    {"ItemPhysicResetTransformation", ItemPhysicResetTransformation, ".xxx"},
    {"ItemCollided", ScriptGet<NeverCollided>, ".x"},
    {"ItemGetLinearAcceleration", ScriptGet<ZeroVector>, ".x"},
    {"ItemGetPhysicPreviousPosition", ScriptGet<ZeroVector>, ".x"},
    {"ItemPhysicGetFlag", ScriptGet<NoFlags>, ".x"},
    {"ItemPhysicSetFlag", ScriptSet<IgnoreFlag>, ".xi"},
    {"ItemSetInertiaTensorAndCom", ItemSetInertiaTensorAndCom, ".xxx"},
    {"ItemSetPhysicPreviousPosition", ScriptSet<SayObsoleteIgnoringPosition>, ".xx"},
    {"ItemPhysicSynchronizeCollision", ScriptCall<SayObsolete>, ".x"},
    {0, 0, 0}};

const ScriptConstantDecl g_ItemPhysicsScriptConstants[] = {
    {"PhysicModeNone", PhysicItemNone, ScriptConstantInteger},
    {"PhysicModeStatic", PhysicItemStatic, ScriptConstantInteger},
    {"PhysicModeKinematic", PhysicItemKinematic, ScriptConstantInteger},
    {"PhysicModeDynamic", PhysicItemDynamic, ScriptConstantInteger},
    {"PhysicModeRigidBody", PhysicItemDynamic, ScriptConstantInteger},
    // The flag constants are kept for old scripts; nothing reads them.
    {"PhysicFlagNone", 0, ScriptConstantInteger},
    {"PhysicFlagNoGravity", 0, ScriptConstantInteger},
    {"PhysicFlagNoForceField", 0, ScriptConstantInteger},
    {"PhysicFlagMobile", 0, ScriptConstantInteger},
    {"PhysicFlagGhost", 0, ScriptConstantInteger},
    {0, 0, 0}};
