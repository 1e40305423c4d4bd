// The Item functions of identity, state, casts, hierarchy, transform, matrices and bounds,
// called from scripts on a scene of managed items made by the scene's own factories.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <squirrel.h>

#include "core/nBounds.h"
#include "core/nMatrix.h"
#include "resources/nGeometry.h"
#include "scene/nItem.h"
#include "scene/nLight.h"
#include "scene/nMItem.h"
#include "scene/nObject.h"
#include "scene/nScene.h"
#include "script/nCObject.h"
#include "tests/scriptapi/nScriptAPITestKit.h"
#include "tests/support/nMathExpect.h"

namespace {

// A managed item of a kind the scene has no factory for yet (emitter, instance), built and
// listed the way the factories do it.
class PlainKindItem : public nMItem
{
public:
    PlainKindItem(nScene* scene, int32_t kind) : nMItem(scene), m_node(scene->GetEngine()) { SetNode(&m_node, kind); }
    ~PlainKindItem() override { RaiseOnDelete(); }
    void Evaluate() override {}
    void UpdateTransform() override {}

private:
    nItem m_node;
};

class ItemTransformAPI : public nScriptAPITest
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(nScriptAPITest::SetUp());
        Exec("class MinMax { min = null; max = null; constructor() { min = Vector(); max = Vector(); } }");

        CreateScene();
        cube = new nGeometry(&engine);
        cube->bounds = nMinMax(nVector(-1.0f, -2.0f, -3.0f), nVector(1.0f, 2.0f, 3.0f));
        camera = scene->CreateCamera("camera");
        object = scene->CreateObject("object", cube.Get());
        bare = scene->CreateObject("bare", 0);
        light = scene->CreateLight("light", LightTypePoint, 1.0f);
        trigger = scene->CreateTrigger("trigger");
        emitter = Add("emitter", ManagedItemEmitter);
        instance = Add("instance", ManagedItemInstance);
        nMItem* items[] = {camera, object, bare, light, trigger, emitter, instance};
        for (nMItem* item : items) {
            ASSERT_NE(item, nullptr);
            Hold(item->GetName().GetCStr(), item, objectTypeItem);
        }
        Hold("nullItem", 0, objectTypeItem);
    }

    void TearDown() override
    {
        nScriptAPITest::TearDown();
        cube.Release();
    }

    nMItem* Add(const char* name, int32_t kind)
    {
        nMItem* item = new PlainKindItem(scene, kind);
        scene->AddCreatedItem(item, name);
        return item;
    }

    // The kind and native of a CObject result.
    struct Object
    {
        int32_t type;
        void* native;
    };
    Object ObjectOf(const std::string& expression)
    {
        SQInteger top = sq_gettop(v);
        Object out = {-1, 0};
        if (Push(expression) && ScriptGetNativeObjectType(v, -1, &out.type)) ScriptGetNativeObject(v, -1, &out.native, 0);
        sq_settop(v, top);
        return out;
    }

    nMinMax Box(const std::string& expression)
    {
        Exec("box <- " + expression);
        return nMinMax(Vec("box.min"), Vec("box.max"));
    }

    nSharedPtr<nGeometry> cube;
    nMItem* camera = 0;
    nMItem* object = 0;
    nMItem* bare = 0;
    nMItem* light = 0;
    nMItem* trigger = 0;
    nMItem* emitter = 0;
    nMItem* instance = 0;
};

TEST_F(ItemTransformAPI, NamesAreNativeClosuresWithTheirMasksAndConstantsHaveTheirValues)
{
    const Function functions[] = {
        {"ItemDerivedCastToItem", 2},
        {"ItemCastToTrigger", 2},
        {"ItemCastToLight", 2},
        {"ItemCastToInstance", 2},
        {"ItemCastToEmitter", 2},
        {"ItemGetType", 2},
        {"ItemCompare", 3},
        {"ItemGetName", 2},
        {"ItemSetName", 3},
        {"ItemGetScene", 2},
        {"ItemGetEngine", 2},
        {"ItemGetGeometry", 2},
        {"ItemPrint", 2},
        {"ItemActivate", 3},
        {"ItemActivateHierarchy", 3},
        {"ItemIsActive", 2},
        {"ItemIsInvisible", 2},
        {"ItemSetInvisible", 3},
        {"ItemHierarchySetInvisible", 3},
        {"ItemSetup", 2},
        {"ItemReset", 2},
        {"ItemRecordLocation", 2},
        {"ItemSetPriority", 3},
        {"ItemGetFlags", 2},
        {"ItemSetFlags", 4},
        {"ItemGetOpacity", 2},
        {"ItemGetAlpha", 2},
        {"ItemSetOpacity", 3},
        {"ItemSetAlpha", 3},
        {"ItemGetParent", 2},
        {"ItemSetParent", 3},
        {"ItemSetLink", 3},
        {"ItemGetChildList", 2},
        {"ItemSetLinkInheritsPositionOnly", 3},
        {"ItemSetTarget", 3},
        {"ItemSetNoTarget", 2},
        {"ItemGetTarget", 2},
        {"ItemHasTarget", 2},
        {"ItemGetPosition", 2},
        {"ItemSetPosition", 3},
        {"ItemGetScale", 2},
        {"ItemSetScale", 3},
        {"ItemGetRotation", 2},
        {"ItemSetRotation", 3},
        {"ItemSetRotationQuaternion", 3},
        {"ItemGetRotationOrder", 2},
        {"ItemSetRotationOrder", 3},
        {"ItemGetPivot", 2},
        {"ItemSetPivot", 3},
        {"ItemGetWorldPosition", 2},
        {"ItemGetPreviousWorldPosition", 2},
        {"ItemSetOrientationMethod", 3},
        {"ItemGetMatrix", 2},
        {"ItemGetInverseMatrix", 2},
        {"ItemGetLocalMatrix", 2},
        {"ItemSetMatrix", 3},
        {"ItemGetRotationMatrix", 2},
        {"ItemSetRotationMatrix", 3},
        {"ItemSnapshotTransformation", 2},
        {"ItemSnapshotMatrix", 3},
        {"ItemSetLogicTransformation", 3},
        {"ItemComputeMatrix", 2},
        {"ItemComputeLocalMatrix", 2},
        {"ItemGetMinMax", 2},
        {"ItemComputeMinMax", 2},
        {"ItemGetLocalMinMax", 2},
        {"ItemGetWorldMinMax", 2},
    };
    ExpectFunctions(functions);

    const Expected constants[] = {
        {"OrientationEuler", "0"},
        {"OrientationMatrix", "1"},
        {"OrientationQuaternion", "2"},
        {"OrientationExternal", "3"},
        {"RotationOrderDefault", "4"},
        {"RotationOrderZYX", "0"},
        {"RotationOrderYZX", "1"},
        {"RotationOrderZXY", "2"},
        {"RotationOrderXZY", "3"},
        {"RotationOrderYXZ", "4"},
        {"RotationOrderXYZ", "5"},
        {"RotationOrderXY", "6"},
        {"ItemTypeNone", "0"},
        {"ItemTypeCamera", "1"},
        {"ItemTypeObject", "2"},
        {"ItemTypeLight", "3"},
        {"ItemTypeTrigger", "4"},
        {"ItemTypeEmitter", "5"},
        {"ItemTypeInstance", "6"},
        {"ItemFlagNone", "0"},
        {"ItemFlagBillboard", "1"},
        {"ItemFlagSolveOverlap", "2"},
    };
    ExpectEvals(constants);
    Object nullGeometry = ObjectOf("NullGeometry");
    EXPECT_EQ(nullGeometry.type, objectTypeGeometry);
    EXPECT_EQ(nullGeometry.native, nullptr);
}

// Each kind of argument is refused once with its error text, and the item is left alone.
TEST_F(ItemTransformAPI, ArgumentErrorsPerKindOfArgument)
{
    Hold("asCamera", camera, objectTypeCamera);
    Hold("dead", trigger, objectTypeItem);
    scene->QueueDeletion(trigger);
    scene->FlushDeletionQueue();
    Hold("m3", nMatrix3());
    Hold("m4", nMatrix4());
    const Expected cases[] = {
        {"ItemSetPosition(nullItem, Vector(1, 2, 3))", "CObject is null"},
        {"ItemComputeMatrix(nullItem)", "CObject is null"},
        {"ItemSetPosition(asCamera, Vector(1, 2, 3))", "Expected 'Item' got 'Camera'"},
        {"ItemSetPosition(dead, Vector(1, 2, 3))", "Expected 'Item' got 'Deleted native'"},
        {"ItemCompare(object, nullItem)", "CObject is null"},
        {"ItemSetParent(object, asCamera)", "Expected 'Item' got 'Camera'"},
        {"ItemSetPosition(object, object)", "Invalid instance type"},
        {"ItemSetMatrix(object, m3)", "Invalid instance type"},
        {"ItemSetRotationMatrix(object, m4)", "Invalid instance type"},
        {"ItemSetRotationOrder(object, 1.5)", "parameter 2 has an invalid type 'float' ; expected: 'integer'"},
        {"ItemGetName()", "wrong number of parameters"},
    };
    ExpectRuns(cases);
    EXPECT_NE(Run("ItemGetName(Vector())"), "");
    EXPECT_TRUE(VectorNear(Node(object)->GetPosition(), nVector(0, 0, 0), 0.0f));
    EXPECT_EQ(Node(object)->GetParent(), nullptr);
}

TEST_F(ItemTransformAPI, CastsFollowTheManagedKind)
{
    struct Cast
    {
        const char* function;
        int32_t kind;
        int32_t type;
        const char* refusal;
    };
    const Cast casts[] = {
        {"ItemCastToTrigger", ManagedItemTrigger, objectTypeTrigger, "Cannot cast item to trigger"},
        {"ItemCastToLight", ManagedItemLight, objectTypeLight, "Cannot cast item to light"},
        {"ItemCastToInstance", ManagedItemInstance, objectTypeInstance, "Cannot cast item to instance"},
        {"ItemCastToEmitter", ManagedItemEmitter, objectTypeEmitter, "Cannot cast item to emitter"},
    };
    nMItem* items[] = {camera, object, light, trigger, emitter, instance};
    for (const Cast& c : casts) {
        for (nMItem* item : items) {
            std::string call = std::string(c.function) + "(" + item->GetName().GetCStr() + ")";
            if (item->GetKind() == c.kind) {
                Object result = ObjectOf(call);
                EXPECT_EQ(result.type, c.type) << call;
                EXPECT_EQ(result.native, static_cast<void*>(item)) << call;
                // And back: the derived object is no Item until cast back.
                EXPECT_EQ(Run("ItemGetName(" + call + ")"), "Expected 'Item' got '" + std::string(GetObjectTypeName(c.type)) + "'");
                // An Instance does not cast back: the Item it gives is null.
                if (c.type == objectTypeInstance)
                    EXPECT_EQ(Run("ItemGetName(ItemDerivedCastToItem(" + call + "))"), "CObject is null");
                else
                    EXPECT_EQ(Eval("ItemGetName(ItemDerivedCastToItem(" + call + "))"), item->GetName().GetCStr()) << call;
            } else {
                EXPECT_EQ(Run(call), c.refusal) << call;
            }
        }
    }
}

TEST_F(ItemTransformAPI, DerivedCastToItemKeepsTheNativeOfItemKindsOnly)
{
    struct Case
    {
        int32_t type;
        bool kept;
    };
    const Case cases[] = {
        {objectTypeItem, true},
        {objectTypeCamera, true},
        {objectTypeObject, true},
        {objectTypeLight, true},
        {objectTypeEmitter, true},
        {objectTypeTrigger, true},
        {objectTypeInstance, false},
        {objectTypeMotion, false},
        {objectTypeScene, false},
    };
    for (const Case& c : cases) {
        Hold("wrapped", light, c.type);
        Object result = ObjectOf("ItemDerivedCastToItem(wrapped)");
        EXPECT_EQ(result.type, objectTypeItem) << c.type;
        EXPECT_EQ(result.native, c.kept ? static_cast<void*>(light) : nullptr) << c.type;
    }
    Hold("wrapped", instance, objectTypeInstance);
    EXPECT_EQ(Run("ItemGetType(ItemDerivedCastToItem(wrapped))"), "CObject is null");
}

TEST_F(ItemTransformAPI, IdentityNameSceneEngineAndGeometry)
{
    nMItem* items[] = {camera, object, light, trigger, emitter, instance};
    for (nMItem* item : items)
        EXPECT_EQ(Eval(std::string("ItemGetType(") + item->GetName().GetCStr() + ")"), std::to_string(item->GetKind()));
    EXPECT_EQ(Eval("ItemCompare(object, ItemDerivedCastToItem(object))"), "true");
    EXPECT_EQ(Eval("ItemCompare(object, bare)"), "false");

    Exec("ItemSetName(light, \"lamp\" + 2)");
    EXPECT_EQ(Eval("ItemGetName(light)"), "lamp2");
    EXPECT_EQ(scene->FindLight("lamp2"), light);

    Object s = ObjectOf("ItemGetScene(camera)");
    EXPECT_EQ(s.type, objectTypeScene);
    EXPECT_EQ(s.native, static_cast<void*>(scene));
    Object e = ObjectOf("ItemGetEngine(camera)");
    EXPECT_EQ(e.type, objectTypeEngine);
    EXPECT_EQ(e.native, static_cast<void*>(&engine));

    Object g = ObjectOf("ItemGetGeometry(object)");
    EXPECT_EQ(g.type, objectTypeGeometry);
    EXPECT_EQ(g.native, static_cast<void*>(cube.Get()));
    g = ObjectOf("ItemGetGeometry(bare)");
    EXPECT_EQ(g.type, objectTypeGeometry);
    EXPECT_EQ(g.native, nullptr);
    EXPECT_EQ(Run("ItemGetGeometry(light)"), "Item is not an object, cannot get geometry");

    log.Clear();
    Exec("ItemPrint(camera)");
    EXPECT_EQ(log.Lines(), (Lines{"Item at address @" + std::to_string((long long)(intptr_t) static_cast<void*>(camera)) + ".\n"}));
}

TEST_F(ItemTransformAPI, ActivationAndHidingAloneOrOverTheHierarchy)
{
    Node(object)->SetParent(Node(camera));
    Node(bare)->SetParent(Node(object));

    Exec("ItemActivate(camera, false)");
    EXPECT_EQ(Eval("ItemIsActive(camera)"), "false");
    EXPECT_TRUE(object->IsActive());
    scene->Evaluate(0);
    EXPECT_FALSE(scene->GetActiveItems().Contains(camera));

    Exec("ItemActivateHierarchy(camera, false)");
    EXPECT_FALSE(object->IsActive());
    EXPECT_FALSE(bare->IsActive());
    EXPECT_TRUE(light->IsActive());
    Exec("ItemActivateHierarchy(object, true)");
    EXPECT_EQ(Eval("ItemIsActive(object) + \" \" + ItemIsActive(bare) + \" \" + ItemIsActive(camera)"), "true true false");

    Exec("ItemSetInvisible(object, true)");
    EXPECT_EQ(Eval("ItemIsInvisible(object) + \" \" + ItemIsInvisible(bare)"), "true false");
    Exec("ItemSetInvisible(object, false)");

    // An item of another scene hung below is not in this scene's list and keeps its flag.
    nScene other(&engine, &vm);
    nMItem* stranger = other.CreateCamera("stranger");
    Node(stranger)->SetParent(Node(object));
    Exec("ItemHierarchySetInvisible(camera, true)");
    EXPECT_EQ(Eval("ItemIsInvisible(camera) + \" \" + ItemIsInvisible(object) + \" \" + ItemIsInvisible(bare)"), "true true true");
    EXPECT_FALSE(Node(light)->GetFlags() & ItemFlagInvisible);
    EXPECT_FALSE(Node(stranger)->GetFlags() & ItemFlagInvisible);
    Exec("ItemHierarchySetInvisible(object, false)");
    EXPECT_EQ(Eval("ItemIsInvisible(camera) + \" \" + ItemIsInvisible(object) + \" \" + ItemIsInvisible(bare)"), "true false false");
    Node(stranger)->SetParent(0);
}

TEST_F(ItemTransformAPI, FlagsOpacityPriorityAndLogicState)
{
    Exec("ItemSetFlags(object, ItemFlagBillboard | ItemFlagSolveOverlap, true)");
    Exec("ItemSetFlags(object, ItemFlagBillboard, false)");
    EXPECT_EQ(Eval("ItemGetFlags(object)"), std::to_string(MItemFlagSolveOverlap));
    Exec("ItemSetFlags(object, 0xFFFFFFFF, true)");
    EXPECT_EQ(object->GetFlags(), 0xFFFFFFFFu);

    struct Case
    {
        const char* set;
        const char* value;
        float stored;
    };
    const Case cases[] = {
        {"ItemSetOpacity", "1.5", 1.0f},
        {"ItemSetAlpha", "-0.2", 0.0f},
        {"ItemSetOpacity", "0.25", 0.25f},
        {"ItemSetAlpha", "1", 1.0f},
    };
    for (const Case& c : cases) {
        Exec(std::string(c.set) + "(light, " + c.value + ")");
        EXPECT_FLOAT_EQ(Node(light)->GetOpacity(), c.stored) << c.set << " " << c.value;
        Exec("opacity <- ItemGetOpacity(light); alpha <- ItemGetAlpha(light)");
        EXPECT_EQ(Eval("opacity == alpha && typeof opacity == \"float\""), "true");
    }

    Exec("ItemSetPriority(light, 7)");
    EXPECT_FLOAT_EQ(light->GetPriority(), 7.0f);

    Exec("ItemSetPosition(object, Vector(1, 2, 3)); ItemRecordLocation(object); ItemSetPosition(object, Vector(9, 9, 9))");
    ASSERT_TRUE(object->HasInitialMatrix());
    object->RestoreInitialMatrix();
    EXPECT_TRUE(VectorNear(Vec("ItemGetPosition(object)"), nVector(1, 2, 3), 1e-5f));

    nMatrix4 logic = nMatrix4::Translation(nVector(4, 5, 6));
    Hold("logic", logic);
    Exec("ItemSetLogicTransformation(object, logic)");
    EXPECT_TRUE(MatrixNear(object->GetLogicMatrix(), logic, 0.0f));
    EXPECT_TRUE(MatrixNear(object->GetPreviousLogicMatrix(), logic, 0.0f));
    Exec("ItemReset(object)");
    EXPECT_TRUE(MatrixNear(object->GetLogicMatrix(), Node(object)->GetLocalMatrix(), 0.0f));
    Exec("ItemSetup(object); ItemSetOrientationMethod(object, OrientationMatrix); ItemComputeMatrix(object); ItemComputeLocalMatrix(object)");
}

TEST_F(ItemTransformAPI, ParentLinkAndChildList)
{
    Exec("ItemSetParent(object, camera); ItemSetLink(bare, camera)");
    EXPECT_EQ(Node(object)->GetParent(), Node(camera));
    EXPECT_EQ(Eval("ItemCompare(ItemGetParent(bare), camera)"), "true");
    EXPECT_EQ(Eval("ItemIsValid(ItemGetParent(camera))"), "false");

    // One Item per child node in child order; a node no managed item carries gives a null Item.
    nItem free(&engine);
    free.SetParent(Node(camera));
    Exec("children <- ItemGetChildList(camera)");
    std::vector<std::string> names;
    for (int i = 0; i < Node(camera)->GetChildren().GetCount(); ++i)
        names.push_back(Eval("ItemIsValid(children[" + std::to_string(i) + "]) ? ItemGetName(children[" + std::to_string(i) + "]) : \"-\""));
    std::vector<std::string> expected;
    for (nList<nItem*>::Node* n = Node(camera)->GetChildren().GetHead(); n; n = n->next)
        expected.push_back(n->value->GetManagedItem() ? n->value->GetManagedItem()->GetName().GetCStr() : "-");
    EXPECT_EQ(names, expected);
    EXPECT_EQ(Eval("children.len()"), "3");
    free.SetParent(0);

    Exec("ItemSetLink(object, nullItem)");
    EXPECT_EQ(Node(object)->GetParent(), nullptr);

    log.Clear();
    Exec("ItemSetParent(bare, bare)");
    EXPECT_EQ(log.Lines(), (Lines{"[!] Cannot parent item to itself.\n"}));
    EXPECT_EQ(Node(bare)->GetParent(), Node(camera));

    log.Clear();
    Exec("ItemSetParent(camera, bare)");
    EXPECT_EQ(log.Lines(), (Lines{"[*] Deadlock detected, link chain has been corrected.\n"}));
    EXPECT_EQ(Node(camera)->GetParent(), Node(bare));
    EXPECT_EQ(Node(bare)->GetParent(), nullptr);
}

TEST_F(ItemTransformAPI, ComponentsRoundTripWithWForcedToOne)
{
    struct Case
    {
        const char* set;
        const char* get;
        const nVector& (nItem::*stored)() const;
    };
    const Case cases[] = {
        {"ItemSetPosition", "ItemGetPosition", &nItem::GetPosition},
        {"ItemSetScale", "ItemGetScale", &nItem::GetScale},
        {"ItemSetRotation", "ItemGetRotation", &nItem::GetRotation},
        {"ItemSetRotationQuaternion", "ItemGetRotation", &nItem::GetRotation},
        {"ItemSetTarget", "ItemGetTarget", &nItem::GetTarget},
    };
    for (const Case& c : cases) {
        Exec(std::string(c.set) + "(light, Vector(0.5, -2, 3, 0))");
        EXPECT_TRUE(Vector4Near((Node(light)->*c.stored)(), nVector(0.5f, -2.0f, 3.0f, 1.0f), 0.0f)) << c.set;
        EXPECT_TRUE(Vector4Near(Vec(std::string(c.get) + "(light)"), nVector(0.5f, -2.0f, 3.0f, 1.0f), 0.0f)) << c.get;
    }

    EXPECT_EQ(Eval("ItemHasTarget(light)"), "true");
    Exec("ItemSetNoTarget(light)");
    EXPECT_EQ(Eval("ItemHasTarget(light)"), "false");
    EXPECT_TRUE(VectorNear(Vec("ItemGetTarget(light)"), nVector(0.5f, -2.0f, 3.0f), 0.0f));

    // The pivot acts first: scaled by 2, a pivot of (1, 2, 3) puts the origin at (2, 4, 6).
    Exec("ItemSetScale(bare, Vector(2, 2, 2)); ItemSetPivot(bare, Vector(1, 2, 3, 0))");
    EXPECT_TRUE(Vector4Near(Vec("ItemGetPivot(bare)"), nVector(1, 2, 3, 1), 0.0f));
    EXPECT_TRUE(MatrixNear(Node(bare)->GetPivot(), nMatrix4::Translation(nVector(1, 2, 3)), 0.0f));
    EXPECT_TRUE(Vector4Near(Vec("ItemGetWorldPosition(bare)"), nVector(2, 4, 6, 1), 1e-6f));

    Node(bare)->SetPreviousWorldMatrix(nMatrix4::Translation(nVector(7, 8, 9)));
    EXPECT_TRUE(Vector4Near(Vec("ItemGetPreviousWorldPosition(bare)"), nVector(7, 8, 9, 1), 0.0f));
}

// Each order builds the rotation its own way; a rotation read back as a matrix and written
// into an item of the same order gives the same angles.
TEST_F(ItemTransformAPI, RotationOrdersAndRotationMatrices)
{
    const nVector angles(0.3f, -0.4f, 0.5f);
    for (int32_t order = RotationOrderZYX; order <= RotationOrderXY; ++order) {
        SCOPED_TRACE(order);
        const std::string o = std::to_string(order);
        Exec("ItemSetRotationOrder(bare, " + o + "); ItemSetRotationOrder(trigger, " + o + ")");
        EXPECT_EQ(Eval("ItemGetRotationOrder(bare)"), o);
        Exec("ItemSetRotation(bare, Vector(0.3, -0.4, 0.5)); ItemSetRotationMatrix(trigger, ItemGetRotationMatrix(bare))");
        nVector expected = order == RotationOrderXY ? nVector(0.3f, -0.4f, 0.0f) : angles;
        EXPECT_TRUE(VectorNear(Vec("ItemGetRotation(trigger)"), expected, 1e-5f));
        EXPECT_TRUE(MatrixNear(Mat3("ItemGetRotationMatrix(bare)"), nMatrix3::FromEuler(0.3f, -0.4f, 0.5f, (nRotationOrder)order), 1e-6f));
    }
    // Orders differ: the same angles give another matrix under ZYX than under XYZ.
    Exec("ItemSetRotationOrder(trigger, RotationOrderXYZ); ItemSetRotation(trigger, Vector(0.3, -0.4, 0.5)); ItemSetRotationOrder(bare, RotationOrderZYX)");
    EXPECT_FALSE(MatrixNear(Mat3("ItemGetRotationMatrix(bare)"), Mat3("ItemGetRotationMatrix(trigger)"), 1e-3f));

    log.Clear();
    Exec("ItemSetRotationOrder(bare, 7); ItemSetRotationOrder(bare, -1)");
    EXPECT_EQ(log.Lines(), (Lines{"[!] Rotation order 7 of item 'bare' is not one of 0 to 6; order kept.\n",
                                  "[!] Rotation order -1 of item 'bare' is not one of 0 to 6; order kept.\n"}));
    EXPECT_EQ(Node(bare)->GetRotationOrder(), RotationOrderZYX);

    // The rotation matrix carries the world scale: its columns have the scale's length.
    Exec("ItemSetScale(bare, Vector(2, 3, 4))");
    nMatrix3 scaled = Mat3("ItemGetRotationMatrix(bare)");
    const float lengths[3] = {2, 3, 4};
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(scaled.GetColumn(c).Length(), lengths[c], 1e-5f) << c;
}

// A world matrix set under a rotated, scaled parent is kept exactly; the local matrix and the
// components follow from the parent's inverse.
TEST_F(ItemTransformAPI, MatricesWorldAndLocalUnderAParent)
{
    Exec("ItemSetPosition(trigger, Vector(10, 0, 0)); ItemSetRotation(trigger, Vector(0, " + std::to_string(kPi / 2) + ", 0));"
                                                                                                                       "ItemSetScale(trigger, Vector(2, 2, 2)); ItemSetParent(object, trigger); ItemSetPosition(object, Vector(1, 0, 0))");
    nMatrix4 parent = Mat4("ItemGetMatrix(trigger)");
    EXPECT_TRUE(MatrixNear(Mat4("ItemGetLocalMatrix(object)"), nMatrix4::Translation(nVector(1, 0, 0)), 0.0f));
    EXPECT_TRUE(MatrixNear(Mat4("ItemGetMatrix(object)"), parent * nMatrix4::Translation(nVector(1, 0, 0)), 1e-5f));
    // The child's origin is one unit along the parent's X, turned to -Z and doubled.
    EXPECT_TRUE(VectorNear(Vec("ItemGetWorldPosition(object)"), nVector(10, 0, -2), 1e-5f));

    nMatrix4 inverse = Mat4("ItemGetInverseMatrix(object)");
    EXPECT_TRUE(MatrixNear(inverse * Mat4("ItemGetMatrix(object)"), nMatrix4(), 1e-5f));

    nMatrix4 wanted = nMatrix4::Translation(nVector(3, 4, 5)) * nMatrix4::FromMatrix3(nMatrix3::RotationX(0.5f));
    Hold("wanted", wanted);
    struct Case
    {
        const char* call;
        bool exact;
    };
    const Case cases[] = {{"ItemSetMatrix(object, wanted)", true}, {"ItemSnapshotMatrix(object, wanted)", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        Exec("ItemSetPosition(object, Vector(0, 0, 0))");
        Exec(c.call);
        EXPECT_TRUE(MatrixNear(Mat4("ItemGetMatrix(object)"), wanted, c.exact ? 0.0f : 1e-5f));
        nMatrix4 local = Node(trigger)->GetInverseWorldMatrix() * wanted;
        EXPECT_TRUE(MatrixNear(Mat4("ItemGetLocalMatrix(object)"), local, 1e-5f));
        EXPECT_TRUE(VectorNear(Vec("ItemGetPosition(object)"), local.GetColumn(3, true), 1e-5f));
        EXPECT_TRUE(VectorNear(Vec("ItemGetScale(object)"), nVector(0.5f, 0.5f, 0.5f), 1e-5f));
        // A component setter rebuilds from the derived components: the pose does not jump.
        Exec("ItemSetScale(object, ItemGetScale(object))");
        EXPECT_TRUE(MatrixNear(Mat4("ItemGetMatrix(object)"), wanted, 1e-4f));
    }

    // Only the position follows the parent: the child keeps its own rotation and no scale.
    Exec("ItemSetMatrix(object, Matrix4()); ItemSetPosition(object, Vector(1, 0, 0)); ItemSetRotation(object, Vector(0, 0, 0));"
         "ItemSetScale(object, Vector(1, 1, 1)); ItemSetLinkInheritsPositionOnly(object, true)");
    nMatrix4 onlyPosition = Mat4("ItemGetMatrix(object)");
    EXPECT_TRUE(MatrixNear(nMatrix3::FromMatrix4(onlyPosition), nMatrix3(), 1e-5f));
    EXPECT_TRUE(VectorNear(onlyPosition.GetColumn(3, true), nVector(10, 0, -2), 1e-5f));
    Exec("ItemSetLinkInheritsPositionOnly(object, false)");
    EXPECT_TRUE(MatrixNear(Mat4("ItemGetMatrix(object)"), parent * nMatrix4::Translation(nVector(1, 0, 0)), 1e-5f));
}

// A target turns the world matrix; a snapshot makes that pose the item's own components, so
// it stays when the target goes.
TEST_F(ItemTransformAPI, SnapshotTransformationKeepsATargetedPose)
{
    Exec("ItemSetPosition(trigger, Vector(0, 0, 0)); ItemSetTarget(trigger, Vector(5, 0, 0))");
    nMatrix4 aimed = Mat4("ItemGetMatrix(trigger)");
    EXPECT_FALSE(MatrixNear(aimed, nMatrix4(), 1e-3f));
    Exec("ItemSetNoTarget(trigger)");
    EXPECT_TRUE(MatrixNear(Mat4("ItemGetMatrix(trigger)"), nMatrix4(), 1e-6f));
    Exec("ItemSetTarget(trigger, Vector(5, 0, 0)); ItemSnapshotTransformation(trigger); ItemSetNoTarget(trigger)");
    EXPECT_TRUE(MatrixNear(Mat4("ItemGetMatrix(trigger)"), aimed, 1e-5f));
}

TEST_F(ItemTransformAPI, BoundsAsMinMax)
{
    // Rotated a quarter turn about Y, the box's z extent lies along x in the world.
    Exec("ItemSetPosition(object, Vector(10, 0, 0)); ItemSetScale(object, Vector(2, 2, 2));"
         "ItemSetRotation(object, Vector(0, " +
         std::to_string(kPi / 2) + ", 0)); ItemSetPosition(bare, Vector(1, 2, 3));"
                                   "ItemSetPosition(light, Vector(4, 5, 6)); ItemComputeMinMax(object)");
    const nVector o(0, 0, 0);
    struct Case
    {
        const char* call;
        nVector min;
        nVector max;
    };
    const Case cases[] = {
        {"ItemGetLocalMinMax(object)", nVector(-1, -2, -3), nVector(1, 2, 3)},
        {"ItemGetWorldMinMax(object)", nVector(4, -4, -2), nVector(16, 4, 2)},
        {"ItemGetMinMax(object)", nVector(-1, -2, -3), nVector(1, 2, 3)},
        {"ItemGetLocalMinMax(bare)", o, o},
        {"ItemGetWorldMinMax(bare)", nVector(1, 2, 3), nVector(1, 2, 3)},
        {"ItemGetLocalMinMax(light)", o, o},
        {"ItemGetWorldMinMax(light)", o, o},
    };
    for (const Case& c : cases) {
        nMinMax box = Box(c.call);
        EXPECT_TRUE(VectorNear(box.min, c.min, 1e-5f)) << c.call;
        EXPECT_TRUE(VectorNear(box.max, c.max, 1e-5f)) << c.call;
    }
    // A plain node's box is its world translation as last computed.
    Node(light)->GetWorldMatrix();
    nMinMax point = Box("ItemGetMinMax(light)");
    EXPECT_TRUE(VectorNear(point.min, nVector(4, 5, 6), 0.0f));
    EXPECT_TRUE(VectorNear(point.max, nVector(4, 5, 6), 0.0f));
}

}  // namespace
