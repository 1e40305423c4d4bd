// The methods of CObject on scenes, 2D scenes, groups, items, collision shapes and the engine.
// Each reads 'this' as the kind it serves (the readers below raise the method's own text for
// another kind or a null object), then its arguments after 'this' through Args.

#include <functional>
#include <type_traits>

#include "core/nLog.h"
#include "core/nMatrix.h"
#include "core/nVector.h"
#include "hub/nOrvex.h"
#include "physics/nPhysicItem.h"
#include "physics/nPhysicShape.h"
#include "physics/nPhysicWorld.h"
#include "resources/nGeometry.h"
#include "resources/nResourceLoader.h"
#include "scene/nGroup.h"
#include "scene/nInstance.h"
#include "scene/nItem.h"
#include "scene/nMItem.h"
#include "scene/nScene.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "scriptapi/nScriptAPI.h"
#include "ui/nScene2D.h"

namespace {

// 'this' of any kind: its record; "Invalid instance type" or "Internal failure".
bool ThisRecord(ScriptStackHandler& s, nCObject*& rec)
{
    return ScriptCObjectThis(s.GetVM(), rec);
}

bool IsItemKind(int32_t type)
{
    return type == objectTypeItem || type == objectTypeCamera || type == objectTypeObject ||
           type == objectTypeLight || type == objectTypeTrigger;
}

// 'this' as one kind (or a set of kinds): refusal for another kind, nullText for a NULL native.
template<class T>
bool ThisAs(ScriptStackHandler& s, bool (*accepts)(int32_t), const char* refusal, const char* nullText, T*& out)
{
    nCObject* rec;
    if (!ThisRecord(s, rec)) return false;
    if (!accepts(rec->GetType())) {
        s.Error(refusal);
        return false;
    }
    if (!rec->GetNative()) {
        s.Error(nullText);
        return false;
    }
    out = static_cast<T*>(rec->GetNative());
    return true;
}

bool IsScene(int32_t type) { return type == objectTypeScene; }
bool IsScene2D(int32_t type) { return type == objectTypeWindowSystem; }
bool IsShape(int32_t type) { return type == objectTypeColShape; }
bool IsEngine(int32_t type) { return type == objectTypeEngine; }

// The readers of 'this', one per kind a method serves.
bool This(ScriptStackHandler& s, nMItem*& out) { return ThisAs(s, IsItemKind, "Object is not an item", "Item is null", out); }
bool This(ScriptStackHandler& s, nScene*& out) { return ThisAs(s, IsScene, "Object is not a scene", "Scene is null", out); }
bool This(ScriptStackHandler& s, nScene2D*& out) { return ThisAs(s, IsScene2D, "Object is not a scene 2d", "Scene 2d is null", out); }
bool This(ScriptStackHandler& s, nPhysicShape*& out) { return ThisAs(s, IsShape, "Invalid type", "Object is null", out); }
bool This(ScriptStackHandler& s, nOrvex*& out) { return ThisAs(s, IsEngine, "Invalid type", "Object is null", out); }

bool This(ScriptStackHandler& s, nItem*& out)
{
    nMItem* item;
    if (!This(s, item)) return false;
    out = item->GetItem();
    if (!out) {
        s.Error("Item has no transform node");
        return false;
    }
    return true;
}

bool This(ScriptStackHandler& s, nPhysicItem*& out)
{
    nMItem* item;
    if (!This(s, item)) return false;
    out = item->GetPhysicItem();
    if (!out) {
        s.Error("Item has no physics body");
        return false;
    }
    return true;
}

// The scene's physics world, "Scene has no physics world" without one.
bool This(ScriptStackHandler& s, nPhysicWorld*& out)
{
    nScene* scene;
    if (!This(s, scene)) return false;
    out = scene->GetPhysicWorld();
    if (!out) {
        s.Error("Scene has no physics world");
        return false;
    }
    return true;
}

template<class F> struct Self;
template<class C, class R, class... A> struct Self<R (C::*)(A...)>
{
    typedef C Type;
};
template<class C, class R, class... A> struct Self<R (C::*)(A...) const>
{
    typedef C Type;
};
template<class C, class R, class... A> struct Self<R (*)(C*, A...)>
{
    typedef C Type;
};
template<class C, class R> struct Self<R C::*>
{
    typedef C Type;
};

template<class F> struct SetterValue;
template<class C, class R, class A> struct SetterValue<R (C::*)(A)>
{
    typedef typename std::decay<A>::type Type;
};
template<class C, class R, class A> struct SetterValue<R (*)(C*, A)>
{
    typedef typename std::decay<A>::type Type;
};
template<class C, class R> struct SetterValue<R C::*>
{
    typedef R Type;
};

// ('this') -> Get of this, a member function, a function of (this) or a field.
template<auto Get, class T = typename Self<decltype(Get)>::Type>
SQInteger ThisGet(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    T* self;
    if (!This(s, self)) return SQ_ERROR;
    return s.Return(std::invoke(Get, self));
}

// ('this', value): Set of this with the value, or the field set to it.
template<auto Set, class T = typename Self<decltype(Set)>::Type>
SQInteger ThisSet(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    T* self;
    typename SetterValue<decltype(Set)>::Type value;
    if (!This(s, self) || !s.Args(value)) return SQ_ERROR;
    if constexpr (std::is_member_object_pointer<decltype(Set)>::value)
        self->*Set = value;
    else
        std::invoke(Set, self, value);
    return s.Return();
}

// ('this'): Do of this, no result.
template<auto Do, class T = typename Self<decltype(Do)>::Type>
SQInteger ThisCall(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    T* self;
    if (!This(s, self)) return SQ_ERROR;
    std::invoke(Do, self);
    return s.Return();
}

// Command lists and names: the kinds that have them.

// The command-list unit and manager of 'this': a 2D scene's own, or an item's with its scene's manager.
bool ThisCommandUnit(ScriptStackHandler& s, nACEUnit*& unit, nACEManager*& manager)
{
    nCObject* rec;
    if (!ThisRecord(s, rec)) return false;
    if (rec->GetType() == objectTypeWindowSystem) {
        nScene2D* scene;
        if (!This(s, scene)) return false;
        unit = scene;
        manager = scene;
        return true;
    }
    if (!IsItemKind(rec->GetType())) {
        s.Error("Object cannot execute command lists");
        return false;
    }
    nMItem* item;
    if (!This(s, item)) return false;
    unit = item;
    manager = item->GetScene();
    return true;
}

SQInteger IsCommandListDone(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nACEUnit* unit;
    nACEManager* manager;
    if (!ThisCommandUnit(s, unit, manager)) return SQ_ERROR;
    return s.Return(unit->IsCommandListDone());
}

SQInteger SetCommandList(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nACEUnit* unit;
    nACEManager* manager;
    const char* text;
    if (!ThisCommandUnit(s, unit, manager) || !s.Args(text)) return SQ_ERROR;
    if (!manager) return s.Error("Item has no scene");
    return s.Return(manager->CompileCommandList(text, unit));
}

SQInteger Name(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nCObject* rec;
    if (!ThisRecord(s, rec)) return SQ_ERROR;
    if (rec->GetType() == objectTypeScene) {
        nScene* scene;
        if (!This(s, scene)) return SQ_ERROR;
        return s.Return(scene->GetName().GetCStr());
    }
    if (!IsItemKind(rec->GetType())) return s.Error("Object has no name");
    nMItem* item;
    if (!This(s, item)) return SQ_ERROR;
    return s.Return(item->GetName().GetCStr());
}

SQInteger SetName(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nCObject* rec;
    if (!ThisRecord(s, rec)) return SQ_ERROR;
    if (!IsItemKind(rec->GetType())) return s.Error("Cannot set object name");
    nMItem* item;
    const char* name;
    if (!This(s, item) || !s.Args(name)) return SQ_ERROR;
    item->SetName(name);
    return s.Return();
}

// Position and rotation: an item's transform node or a shape.

// 'this' as a node or a shape (exactly one set); refusal for other kinds, "Object is null".
bool ThisPlaced(ScriptStackHandler& s, const char* refusal, nItem*& node, nPhysicShape*& shape)
{
    nCObject* rec;
    if (!ThisRecord(s, rec)) return false;
    node = 0;
    shape = 0;
    if (rec->GetType() != objectTypeColShape && !IsItemKind(rec->GetType())) {
        s.Error(refusal);
        return false;
    }
    if (!rec->GetNative()) {
        s.Error("Object is null");
        return false;
    }
    if (rec->GetType() == objectTypeColShape) return This(s, shape);
    return This(s, node);
}

SQInteger SetPosition(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nItem* node;
    nPhysicShape* shape;
    nVector position;
    if (!ThisPlaced(s, "Object has no position", node, shape) || !s.Args(position)) return SQ_ERROR;
    if (node) node->SetPosition(position);
    else shape->SetPosition(position);
    return s.Return();
}

SQInteger Position(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nItem* node;
    nPhysicShape* shape;
    if (!ThisPlaced(s, "Object has no position", node, shape)) return SQ_ERROR;
    return s.Return(node ? node->GetPosition() : shape->position);
}

SQInteger SetRotation(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nItem* node;
    nPhysicShape* shape;
    nVector angles;
    if (!ThisPlaced(s, "Object has no rotation", node, shape) || !s.Args(angles)) return SQ_ERROR;
    if (node) node->SetRotation(angles);
    else shape->SetRotation(angles);
    return s.Return();
}

SQInteger Rotation(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nItem* node;
    nPhysicShape* shape;
    if (!ThisPlaced(s, "Object has no rotation", node, shape)) return SQ_ERROR;
    return s.Return(node ? node->GetRotation() : shape->rotation);
}

// Items.

SQInteger ItemScene(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    if (!This(s, item)) return SQ_ERROR;
    return s.ReturnObject(static_cast<void*>(item->GetScene()), objectTypeScene, false);
}

void ClearTarget(nItem* node) { node->SetTarget(0); }

SQInteger SetParent(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nItem* node;
    if (!This(s, node)) return SQ_ERROR;
    nCObject* parentRec = 0;
    SQUserPointer p = 0;
    if (sq_gettype(v, 2) != OT_INSTANCE || SQ_FAILED(sq_getinstanceup(v, 2, &p, (SQUserPointer)&g_CObjectClassDecl)))
        return s.Error("Invalid instance type");
    if (!p) return ScriptInternalFailure(v);
    parentRec = static_cast<nCObject*>(p);
    nMItem* parent = static_cast<nMItem*>(parentRec->GetNative());
    if (parent && !IsItemKind(parentRec->GetType())) return s.Error("Object is not an item");
    node->SetParent(parent ? parent->GetItem() : 0);
    return s.Return();
}

nMatrix4 WorldMatrix(nItem* node) { return node->GetWorldMatrix(); }
nVector WorldPosition(nItem* node) { return node->GetWorldMatrix().GetColumn(3, true); }

// Scenes.

SQInteger Load(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nCObject* rec;
    if (!ThisRecord(s, rec)) return SQ_ERROR;
    if (rec->GetType() != objectTypeScene) return s.Error("Object cannot be loaded");
    nScene* scene;
    const char* path;
    int32_t filter = -1;
    if (!This(s, scene) || !s.Args(path)) return SQ_ERROR;
    if (s.GetArgCount() >= 2 && !s.GetInt(2, filter)) return SQ_ERROR;
    nGroup* group = 0;
    scene->LoadFile(path, &group, filter, 0);
    return s.ReturnObject(static_cast<void*>(group), objectTypeGroup, false);
}

SQInteger UI(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    if (!This(s, scene)) return SQ_ERROR;
    return s.ReturnObject(static_cast<void*>(&scene->GetUI()), objectTypeWindowSystem, false);
}

SQInteger CurrentCamera(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    if (!This(s, scene)) return SQ_ERROR;
    nItem* camera = scene->GetCurrentCamera();
    return s.ReturnObject(static_cast<void*>(camera ? camera->GetManagedItem() : 0), objectTypeCamera, false);
}

SQInteger SetCurrentCamera(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    if (!This(s, scene)) return SQ_ERROR;
    SQUserPointer p = 0;
    if (sq_gettype(v, 2) != OT_INSTANCE || SQ_FAILED(sq_getinstanceup(v, 2, &p, (SQUserPointer)&g_CObjectClassDecl)))
        return s.Error("Invalid instance type");
    if (!p) return ScriptInternalFailure(v);
    nCObject* rec = static_cast<nCObject*>(p);
    if (!rec->GetNative()) return s.Error("Item is null");
    if (!IsItemKind(rec->GetType())) return s.Error("Object is not an item");
    scene->SetCurrentCamera(static_cast<nMItem*>(rec->GetNative())->GetItem());
    return s.Return();
}

// The object whose groups or items findGroup and findItem search: a scene, a group, or an
// Item of an instance, searched through its template group (nothing before the template is
// loaded).
struct Searched
{
    nScene* scene;
    nGroup* group;
    bool itemKind;  // an Item: searches find nothing
};

bool ThisSearched(ScriptStackHandler& s, const char* refusal, bool itemsOfAnyKind, Searched& out)
{
    nCObject* rec;
    if (!ThisRecord(s, rec)) return false;
    out = Searched{0, 0, false};
    int32_t type = rec->GetType();
    bool instance = type == objectTypeItem && rec->GetNative() &&
                    static_cast<nMItem*>(rec->GetNative())->GetKind() == ManagedItemInstance;
    if (type != objectTypeScene && type != objectTypeGroup && !(type == objectTypeItem && (instance || itemsOfAnyKind))) {
        s.Error(refusal);
        return false;
    }
    if (!rec->GetNative()) {
        s.Error("Object is null");
        return false;
    }
    if (type == objectTypeScene) out.scene = static_cast<nScene*>(rec->GetNative());
    else if (type == objectTypeGroup) out.group = static_cast<nGroup*>(rec->GetNative());
    else if (nInstance* instance = nInstance::FromItem(static_cast<nMItem*>(rec->GetNative())))
        out.group = instance->GetGroup();
    if (!out.scene && !out.group) out.itemKind = true;
    return true;
}

SQInteger FindGroup(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    Searched where;
    const char* name = "";
    if (!ThisSearched(s, "Object does not manage groups", false, where)) return SQ_ERROR;
    if (s.GetArgCount() >= 1 && !s.GetString(1, name)) return SQ_ERROR;
    nGroup* found = where.scene ? where.scene->FindGroup(name) : where.group ? where.group->FindGroup(name)
                                                                             : 0;
    return s.ReturnObject(static_cast<void*>(found), objectTypeGroup, false);
}

SQInteger FindItem(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    Searched where;
    if (!ThisSearched(s, "Object does not manage items", true, where)) return SQ_ERROR;
    nMItem* found = 0;
    if (s.GetType(1) == OT_STRING) {
        const char* name;
        if (!s.GetString(1, name)) return SQ_ERROR;
        found = where.scene ? where.scene->FindItem(name, 0) : where.group ? where.group->FindItem(name)
                                                                           : 0;
    } else {
        int32_t uid;
        if (!s.GetInt(1, uid)) return SQ_ERROR;
        found = where.scene ? where.scene->FindItemByUid(uid) : where.group ? where.group->FindItemByUid(uid)
                                                                            : 0;
    }
    return s.ReturnObject(static_cast<void*>(found), objectTypeItem, false);
}

// (optional name, optional Geometry): a new object item. Only a Geometry object is taken as
// the geometry: a native of another kind is refused rather than read as one.
SQInteger AddObject(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    if (!This(s, scene)) return SQ_ERROR;
    if (s.GetArgCount() > 2) return s.Error("Too many parameters");
    const char* name = "New Object";
    nGeometry* geometry = 0;
    if (s.GetArgCount() >= 1 && SQ_FAILED(sq_getstring(v, 2, &name))) return s.Error("Expected string as object name");
    if (s.GetArgCount() >= 2) {
        int32_t type = objectTypeUndefined;
        void* native = 0;
        if (!ScriptGetNativeObjectType(v, 3, &type)) return s.Error("Invalid instance type");
        if (type != objectTypeGeometry) return s.Error("Expected 'Geometry' object");
        if (!s.GetObjectOrNull(2, objectTypeGeometry, &native)) return SQ_ERROR;
        if (!native) return s.Error("C Object is null");
        geometry = static_cast<nGeometry*>(native);
    }
    return s.ReturnObject(static_cast<void*>(scene->CreateObject(name, geometry)), objectTypeObject, false);
}

// Seconds per physics step: finite and positive, else refused with a line.
void SetFixedStep(nPhysicWorld* world, float seconds)
{
    if (!(seconds > 0.0f) || seconds != seconds || seconds > 1e30f) {
        *g_log << "[!] Ignored physics frequency " << seconds << ": a step must be a positive number of seconds.\n";
        return;
    }
    world->SetFixedStep(seconds);
}

// Physics bodies: the item's.

void ApplyLinearImpulse(nPhysicItem* b, nVector impulse) { b->ApplyImpulse(&impulse, 0); }
void ApplyLinearForce(nPhysicItem* b, nVector force) { b->ApplyForce(&force, 0); }
void SetLinearVelocity(nPhysicItem* b, nVector velocity) { b->SetLinearVelocity(&velocity); }
void SetAngularVelocity(nPhysicItem* b, nVector velocity) { b->SetAngularVelocity(&velocity); }
void SetLinearFactor(nPhysicItem* b, nVector factor) { b->SetLinearFactor(&factor); }
void SetAngularFactor(nPhysicItem* b, nVector factor) { b->SetAngularFactor(&factor); }
int32_t ShapeCount(nPhysicItem* b) { return b->GetShapes().GetCount(); }

// (impulse or force, world point)
template<void (nPhysicItem::*Apply)(const nVector*, const nVector*)>
SQInteger ApplyAtPoint(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicItem* body;
    nVector amount;
    nVector point;
    if (!This(s, body) || !s.Args(amount, point)) return SQ_ERROR;
    (body->*Apply)(&amount, &point);
    return s.Return();
}

// A physics mode outside none..dynamic is refused with a line.
void SetMode(nPhysicItem* body, int32_t mode)
{
    if (mode < PhysicItemNone || mode > PhysicItemDynamic) {
        *g_log << "[!] Ignored physics mode " << mode << ": expected 0 to 3.\n";
        return;
    }
    body->SetMode(mode);
}

SQInteger SetPhysicsActive(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicItem* body;
    if (!This(s, body)) return SQ_ERROR;
    SQBool on = SQFalse;
    if (sq_gettype(v, 2) == OT_BOOL) sq_getbool(v, 2, &on);
    body->Enable(on != SQFalse);
    return s.Return();
}

SQInteger CollisionShape(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicItem* body;
    int32_t index;
    if (!This(s, body) || !s.Args(index)) return SQ_ERROR;
    nPhysicShape* shape = 0;
    int32_t i = 0;
    for (nList<nPhysicShape*>::Node* n = body->GetShapes().GetHead(); n && !shape; n = n->next, ++i)
        if (i == index) shape = n->value;
    return s.ReturnObject(static_cast<void*>(shape), objectTypeColShape, false);
}

SQInteger AddCollisionShape(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicItem* body;
    if (!This(s, body)) return SQ_ERROR;
    return s.ReturnObject(static_cast<void*>(body->AddShape()), objectTypeColShape, false);
}

// Collision shapes: the description only; the body is rebuilt by the item's Create.

void SetBox(nPhysicShape* shape, nVector size) { shape->SetTypeAndSize(PhysicShapeBox, size); }
void SetSphere(nPhysicShape* shape, float radius) { shape->SetTypeAndSize(PhysicShapeSphere, nVector(radius, 0, 0, 1)); }
void SetConvex(nPhysicShape* shape, const char* name) { shape->SetTypeAndGeometry(PhysicShapeConvex, name); }
void SetMesh(nPhysicShape* shape, const char* name) { shape->SetTypeAndGeometry(PhysicShapeMesh, name); }

// setBox keeps all four components of its Vector.
SQInteger ShapeSetBox(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicShape* shape;
    nVector size;
    if (!This(s, shape) || !s.GetVector4(1, size)) return SQ_ERROR;
    SetBox(shape, size);
    return s.Return();
}

template<int32_t ShapeType>
SQInteger ShapeSetRadiusHeight(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPhysicShape* shape;
    float radius;
    float height;
    if (!This(s, shape) || !s.Args(radius, height)) return SQ_ERROR;
    shape->SetTypeAndSize(ShapeType, nVector(radius, height, 0, 1));
    return s.Return();
}

// The engine.

// (name, optional bool: bypass the cache); further arguments are ignored.
SQInteger LoadGeometryMethod(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nOrvex* engine;
    const char* name;
    if (!This(s, engine) || !s.Args(name)) return SQ_ERROR;
    SQBool bypass = SQFalse;
    if (s.GetArgCount() >= 2 && sq_gettype(v, 3) == OT_BOOL) sq_getbool(v, 3, &bypass);
    nGeometry* geometry = LoadGeometry(engine, name, false, bypass != SQFalse);
    return s.ReturnObject(static_cast<void*>(geometry), objectTypeGeometry, false);
}

const ScriptMemberDecl kMembers[] = {
    {"isCommandListDone", IsCommandListDone, 1, "."},
    {"setCommandList", SetCommandList, 2, ".s"},
    {"name", Name, 1, "."},
    {"setName", SetName, 2, ".s"},
    {"load", Load, -2, ".s"},
    {"setPosition", SetPosition, 2, ".x"},
    {"position", Position, 1, "."},
    {"setRotation", SetRotation, 2, ".x"},
    {"rotation", Rotation, 1, "."},
    {"scene", ItemScene, 1, "."},
    {"setNoTarget", ThisCall<ClearTarget>, 1, "."},
    {"setParent", SetParent, 2, ".x"},
    {"matrix", ThisGet<WorldMatrix>, 1, "."},
    {"worldPosition", ThisGet<WorldPosition>, 1, "."},
    {"ui", UI, 1, "."},
    {"currentCamera", CurrentCamera, 1, "."},
    {"setCurrentCamera", SetCurrentCamera, 2, ".x"},
    {"findGroup", FindGroup, -1, ".s"},
    {"addObject", AddObject, -1, ".sx"},
    {"findItem", FindItem, 2, ".s|i"},
    {"physicsFrequency", ThisGet<&nPhysicWorld::GetFixedStep>, 1, "."},
    {"setPhysicsFrequency", ThisSet<SetFixedStep>, 2, ".n"},
    {"physicsActive", ThisGet<&nPhysicItem::IsActive>, 1, "."},
    {"setPhysicsActive", SetPhysicsActive, 2, ".b"},
    {"physicsMode", ThisGet<&nPhysicItem::GetMode>, 1, "."},
    {"setPhysicsMode", ThisSet<SetMode>, 2, ".i"},
    {"linearVelocity", ThisGet<&nPhysicItem::GetLinearVelocity>, 1, "."},
    {"setLinearVelocity", ThisSet<SetLinearVelocity>, 2, ".x"},
    {"angularVelocity", ThisGet<&nPhysicItem::GetAngularVelocity>, 1, "."},
    {"setAngularVelocity", ThisSet<SetAngularVelocity>, 2, ".x"},
    {"applyLinearImpulse", ThisSet<ApplyLinearImpulse>, 2, ".x"},
    {"applyImpulse", ApplyAtPoint<&nPhysicItem::ApplyImpulse>, 3, ".xx"},
    {"applyLinearForce", ThisSet<ApplyLinearForce>, 2, ".x"},
    {"applyForce", ApplyAtPoint<&nPhysicItem::ApplyForce>, 3, ".xx"},
    {"collisionShapeCount", ThisGet<ShapeCount>, 1, "."},
    {"collisionShape", CollisionShape, 2, ".i"},
    {"addCollisionShape", AddCollisionShape, 1, "."},
    {"collisionMask", ThisGet<&nPhysicItem::GetCollisionMask>, 1, "."},
    {"setCollisionMask", ThisSet<&nPhysicItem::SetCollisionMask>, 2, ".i"},
    {"selfMask", ThisGet<&nPhysicItem::GetSelfMask>, 1, "."},
    {"setSelfMask", ThisSet<&nPhysicItem::SetSelfMask>, 2, ".i"},
    {"setLinearFactor", ThisSet<SetLinearFactor>, 2, ".x"},
    {"setAngularFactor", ThisSet<SetAngularFactor>, 2, ".x"},
    {"mass", ThisGet<&nPhysicShape::mass>, 1, "."},
    {"setMass", ThisSet<&nPhysicShape::mass>, 2, ".n"},
    {"staticFriction", ThisGet<&nPhysicShape::staticFriction>, 1, "."},
    {"setStaticFriction", ThisSet<&nPhysicShape::staticFriction>, 2, ".n"},
    {"dynamicFriction", ThisGet<&nPhysicShape::dynamicFriction>, 1, "."},
    {"setDynamicFriction", ThisSet<&nPhysicShape::dynamicFriction>, 2, ".n"},
    {"restitution", ThisGet<&nPhysicShape::restitution>, 1, "."},
    {"setRestitution", ThisSet<&nPhysicShape::restitution>, 2, ".n"},
    {"setBox", ShapeSetBox, 2, ".x"},
    {"setCapsule", ShapeSetRadiusHeight<PhysicShapeCapsule>, 3, ".nn"},
    {"setConvex", ThisSet<SetConvex>, 2, ".s"},
    {"setCylinder", ShapeSetRadiusHeight<PhysicShapeCylinder>, 3, ".nn"},
    {"setMesh", ThisSet<SetMesh>, 2, ".s"},
    {"setSphere", ThisSet<SetSphere>, 2, ".n"},
    {"loadGeometry", LoadGeometryMethod, -2, ".sb"},
    {"globalFade", ThisGet<&nScene2D::GetGlobalFade>, 1, "."},
    {"setGlobalFade", ThisSet<&nScene2D::SetGlobalFade>, 2, ".n"},
    {0, 0, 0, 0}};

}  // namespace

void RegisterCObjectMethods(HSQUIRRELVM v)
{
    if (!ScriptAddClassMembers(v, g_CObjectClassDecl.name, kMembers))
        *g_log << "[!] Could not add the object methods to CObject.\n";
}
