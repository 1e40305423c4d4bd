// "PhysicShape" and "PhysicItem" NML: reading, writing, older names and bad input.

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nMLTestSupport.h"
#include "tests/support/nMathExpect.h"
#include "physics/bullet/nBulletPhysicItem.h"
#include "physics/bullet/nBulletPhysicWorld.h"
#include "physics/nPhysicShape.h"

namespace {

typedef std::vector<std::string> Lines;

nMetaTag* ParseRoot(nMetaFile& document, const std::string& body)
{
    std::string text = "<NML=1.0>\n" + body + "\n";
    if (!document.Parse(text.data(), (int32_t)text.size())) return 0;
    nMetaTagIterator it;
    return document.NextRoot(it);
}

nMetaTag* Child(nMetaTag* tag, const char* name)
{
    nMetaTagIterator it;
    while (nMetaTag* child = tag->NextChild(it))
        if (child->GetName() == name) return child;
    return 0;
}

// The text of the "Type" child; "" when there is none.
std::string TypeText(nMetaTag* shape)
{
    nMetaTag* type = Child(shape, "Type");
    const char* text = 0;
    if (type) type->GetValue().GetString(&text);
    return text ? text : "";
}

struct TypeCase
{
    const char* read;
    int32_t type;
    const char* written;  // "" when no Type tag is written
};

TEST(PhysicShapeNML, TypeNamesReadAndWriteBackInTheirCurrentForm)
{
    const TypeCase cases[] = {
        {"Box", PhysicShapeBox, "Box"},
        {"Cuboid", PhysicShapeBox, "Box"},
        {"Sphere", PhysicShapeSphere, "Sphere"},
        {"Convex", PhysicShapeConvex, "Convex"},
        {"Cylinder", PhysicShapeCylinder, "Cylinder"},
        {"Cone", PhysicShapeCone, "Cone"},
        {"Capsule", PhysicShapeCapsule, "Capsule"},
        {"Mesh", PhysicShapeMesh, "Mesh"},
        {"PolyMesh", PhysicShapeMesh, "Mesh"},
        {"Heightmap", PhysicShapeHeightfield, "Heightmap"},
        {"Teapot", PhysicShapeNone, ""},
        {"box", PhysicShapeNone, ""},
    };
    for (const TypeCase& c : cases) {
        nMetaFile document;
        nMetaTag* root = ParseRoot(document, std::string("<PhysicShape=<Type=\"") + c.read + "\">>");
        ASSERT_NE(root, nullptr);
        nPhysicShape shape;
        ASSERT_TRUE(shape.Deserialize(root)) << c.read;
        EXPECT_EQ(shape.type, c.type) << c.read;
        nMetaTag* written = shape.Serialize();
        ASSERT_NE(written, nullptr);
        EXPECT_EQ(TypeText(written), c.written) << c.read;
        delete written;
    }
}

TEST(PhysicShapeNML, EveryFieldSurvivesARoundTrip)
{
    nMetaFile document;
    nMetaTag* root = ParseRoot(document,
                               "<GColShape=<Type=\"Convex\"><Position=<X=1.5><Y=-2.0><Z=3.25>><Rotation=<X=0.1><Y=0.2><Z=0.3>>"
                               "<Scale=<X=2.0><Y=3.0><Z=4.0>><Dimensions=<X=5.0><Y=6.0><Z=7.0>><Polymesh=\"rock.nml\">"
                               "<Mass=2.5><StaticFriction=0.75><DynamicFriction=0.25><Restitution=0.125><Active=1>>");
    ASSERT_NE(root, nullptr);
    nLogCapture cap;
    nPhysicShape shape;
    ASSERT_TRUE(shape.Deserialize(root));
    EXPECT_TRUE(cap.Lines().empty());

    nMetaTag* written = shape.Serialize();
    ASSERT_NE(written, nullptr);
    EXPECT_EQ(std::string(written->GetName().GetCStr()), "GColShape");
    ASSERT_NE(Child(written, "Mesh"), nullptr);
    nPhysicShape again;
    ASSERT_TRUE(again.Deserialize(written));
    EXPECT_EQ(again.type, PhysicShapeConvex);
    EXPECT_TRUE(VectorNear(again.position, nVector(1.5f, -2.0f, 3.25f), 1e-6f));
    EXPECT_TRUE(VectorNear(again.rotation, nVector(0.1f, 0.2f, 0.3f), 1e-6f));
    EXPECT_TRUE(VectorNear(again.scale, nVector(2.0f, 3.0f, 4.0f), 1e-6f));
    EXPECT_TRUE(VectorNear(again.size, nVector(5.0f, 6.0f, 7.0f), 1e-6f));
    EXPECT_STREQ(again.geometry.GetCStr(), "rock.nml");
    EXPECT_FLOAT_EQ(again.mass, 2.5f);
    EXPECT_FLOAT_EQ(again.staticFriction, 0.75f);
    EXPECT_FLOAT_EQ(again.dynamicFriction, 0.25f);
    EXPECT_FLOAT_EQ(again.restitution, 0.125f);
    // Both dumps agree: nothing is lost or added by a second trip.
    nMetaTag* second = again.Serialize();
    EXPECT_EQ(nMLDumpTag(second), nMLDumpTag(written));
    delete second;
    delete written;
}

TEST(PhysicShapeNML, MassDefaultsToOneWhenReadAndIsWrittenOnlyWhenNotOne)
{
    nPhysicShape fresh;
    EXPECT_FLOAT_EQ(fresh.mass, 0.0f);

    nMetaFile document;
    nMetaTag* root = ParseRoot(document, "<PhysicShape=<Type=\"Sphere\"><Radius=0.75>>");
    nPhysicShape shape;
    shape.size = nVector(9.0f, 8.0f, 7.0f);
    ASSERT_TRUE(shape.Deserialize(root));
    EXPECT_FLOAT_EQ(shape.mass, 1.0f);
    EXPECT_TRUE(VectorNear(shape.size, nVector(0.75f, 8.0f, 7.0f), 1e-6f)) << "Radius sets only x";
    nMetaTag* written = shape.Serialize();
    EXPECT_EQ(Child(written, "Mass"), nullptr);
    delete written;

    shape.mass = 3.0f;
    written = shape.Serialize();
    ASSERT_NE(Child(written, "Mass"), nullptr);
    delete written;
}

TEST(PhysicShapeNML, OrientationMatrixBecomesEulerAngles)
{
    nVector angles(0.3f, -0.4f, 0.5f);
    nMatrix3 m = nMatrix3::FromEulerVector(angles, RotationOrderYXZ);
    nMetaTag* root = new nMetaTag("PhysicShape");
    root->AddChild(m.ToMetaTag("Orientation"));
    nPhysicShape shape;
    ASSERT_TRUE(shape.Deserialize(root));
    EXPECT_TRUE(VectorNear(shape.rotation, angles, 1e-5f));
    delete root;
}

TEST(PhysicShapeNML, WrongRootAndUnknownChildrenAreReported)
{
    nMetaFile document;
    nMetaTag* root = ParseRoot(document, "<CollisionShape=<Type=\"Box\">>");
    nLogCapture cap;
    nPhysicShape shape;
    EXPECT_FALSE(shape.Deserialize(root));
    EXPECT_EQ(shape.type, PhysicShapeNone);
    EXPECT_EQ(cap.Lines(), Lines{"[!] Could not parse physic shape. Root tag id is incorrect (CollisionShape).\n"});

    cap.Clear();
    nMetaFile older;
    root = ParseRoot(older, "<GColShape=<Type=\"Box\"><Damping=0.5><AnisotropicFriction=1.0><VStaticFriction=1.0><VDynamicFriction=1.0>>");
    EXPECT_TRUE(shape.Deserialize(root));
    EXPECT_EQ(shape.type, PhysicShapeBox);
    EXPECT_EQ(cap.Lines(), (Lines{"[*] Unknown tag 'Damping' in <PhysicShape>.\n",
                                  "[*] Unknown tag 'AnisotropicFriction' in <PhysicShape>.\n",
                                  "[*] Unknown tag 'VStaticFriction' in <PhysicShape>.\n",
                                  "[*] Unknown tag 'VDynamicFriction' in <PhysicShape>.\n"}));
}

TEST(PhysicShapeMatrix, ComposedMatrixDecomposesToTheSameFields)
{
    nPhysicShape shape;
    shape.position = nVector(1.0f, 2.0f, 3.0f);
    shape.rotation = nVector(0.2f, -0.7f, 1.1f);
    shape.scale = nVector(2.0f, 0.5f, 3.0f);
    nPhysicShape copy;
    copy.SetMatrix(shape.GetMatrix());
    EXPECT_TRUE(VectorNear(copy.position, shape.position, 1e-5f));
    EXPECT_TRUE(VectorNear(copy.rotation, shape.rotation, 1e-5f));
    EXPECT_TRUE(VectorNear(copy.scale, shape.scale, 1e-5f));
}

class PhysicItemNML : public ::testing::Test
{
protected:
    PhysicItemNML() : world(0), item(&world) {}
    bool Read(const std::string& body)
    {
        nMetaTag* root = ParseRoot(document, body);
        return root && item.Deserialize(0, &document, root);
    }
    nMetaFile document;
    nBulletPhysicWorld world;
    nBulletPhysicItem item;
};

TEST_F(PhysicItemNML, BodyFieldsAndShapesSurviveARoundTrip)
{
    ASSERT_TRUE(Read("<PhysicItem=<SelfMask=6><Mask=12><Mode=\"Kinematic\"><LinearDamping_v2=0.9><AngularDamping_v2=0.8>"
                     "<Flag=3><Active=1><Shapes=<GColShape=<Type=\"Box\"><Mass=2.0>><PhysicShape=<Type=\"Sphere\">>>>"));
    EXPECT_EQ(item.GetSelfMask(), 6);
    EXPECT_EQ(item.GetCollisionMask(), 12);
    EXPECT_EQ(item.GetMode(), PhysicItemKinematic);
    EXPECT_FLOAT_EQ(item.GetLinearDamping(), 0.9f);
    EXPECT_FLOAT_EQ(item.GetAngularDamping(), 0.8f);
    ASSERT_EQ(item.GetShapes().GetCount(), 2);
    EXPECT_FLOAT_EQ(item.GetTotalMass(), 3.0f);

    nMetaTag* written = item.Serialize(&document);
    ASSERT_NE(written, nullptr);
    EXPECT_EQ(std::string(written->GetName().GetCStr()), "PhysicItem");
    nBulletPhysicItem copy(&world);
    ASSERT_TRUE(copy.Deserialize(0, &document, written));
    EXPECT_EQ(copy.GetSelfMask(), 6);
    EXPECT_EQ(copy.GetCollisionMask(), 12);
    EXPECT_EQ(copy.GetMode(), PhysicItemKinematic);
    EXPECT_FLOAT_EQ(copy.GetLinearDamping(), 0.9f);
    ASSERT_EQ(copy.GetShapes().GetCount(), 2);
    EXPECT_EQ(copy.GetShapes().GetAt(0)->type, PhysicShapeBox);
    EXPECT_EQ(copy.GetShapes().GetAt(1)->type, PhysicShapeSphere);
    nMetaTag* again = copy.Serialize(&document);
    EXPECT_EQ(nMLDumpTag(again), nMLDumpTag(written));
    delete again;
    delete written;
}

TEST_F(PhysicItemNML, ModesReadAndWriteByName)
{
    const struct
    {
        const char* text;
        int32_t mode;
    } cases[] = {
        {"None", PhysicItemNone},
        {"Static", PhysicItemStatic},
        {"Kinematic", PhysicItemKinematic},
        {"Dynamic", PhysicItemDynamic},
    };
    for (const auto& c : cases) {
        item.SetMode(PhysicItemStatic == c.mode ? PhysicItemDynamic : PhysicItemStatic);
        ASSERT_TRUE(Read(std::string("<PhysicItem=<Mode=\"") + c.text + "\">>"));
        EXPECT_EQ(item.GetMode(), c.mode) << c.text;
        nMetaTag* written = item.Serialize(&document);
        nMetaTag* mode = Child(written, "Mode");
        ASSERT_NE(mode, nullptr);
        const char* text = 0;
        mode->GetValue().GetString(&text);
        EXPECT_STREQ(text, c.text);
        EXPECT_EQ(Child(written, "Shapes"), nullptr) << "no shapes, no Shapes tag";
        delete written;
    }
    item.SetMode(PhysicItemDynamic);
    ASSERT_TRUE(Read("<PhysicItem=<Mode=\"Floating\">>"));
    EXPECT_EQ(item.GetMode(), PhysicItemDynamic) << "an unknown mode keeps the previous one";
}

TEST_F(PhysicItemNML, OlderNamesAndDefaults)
{
    item.SetSelfMask(8);
    item.SetCollisionMask(8);
    ASSERT_TRUE(Read("<TauItem=<LinearDamping=0.9><AngularDamping=0.7>>"));
    EXPECT_EQ(item.GetSelfMask(), 1);
    EXPECT_EQ(item.GetCollisionMask(), 1);
    EXPECT_FLOAT_EQ(item.GetLinearDamping(), 0.9f);
    EXPECT_FLOAT_EQ(item.GetAngularDamping(), 0.7f);
    ASSERT_TRUE(Read("<GColItem=<Shapes=<PhysicShape=<Type=\"Box\">>>>"));
    EXPECT_EQ(item.GetShapes().GetCount(), 1);
    // Reading again replaces the shapes.
    ASSERT_TRUE(Read("<PhysicItem=<Shapes=<PhysicShape=<Type=\"Cone\">><PhysicShape=<Type=\"Cone\">>>>"));
    EXPECT_EQ(item.GetShapes().GetCount(), 2);
}

TEST_F(PhysicItemNML, BadInputIsReportedAndBadShapesAreDropped)
{
    nLogCapture cap;
    EXPECT_FALSE(Read("<Body=<Mode=\"Static\">>"));
    EXPECT_EQ(cap.Lines(), Lines{"[!] Could not parse physic item. Root tag id is incorrect (Body).\n"});
    cap.Clear();
    ASSERT_TRUE(Read("<PhysicItem=<Gravity=1.0><Shapes=<PhysicShape=<Type=\"Box\">><Joint=<Type=\"Box\">><GColShape=<Type=\"Sphere\">>>>"));
    EXPECT_EQ(cap.Lines(), (Lines{"[*] Unknown tag 'Gravity' in <nPhysicItem>.\n",
                                  "[!] Could not parse physic shape. Root tag id is incorrect (Joint).\n"}));
    ASSERT_EQ(item.GetShapes().GetCount(), 2);
    EXPECT_EQ(item.GetShapes().GetAt(0)->type, PhysicShapeBox);
    EXPECT_EQ(item.GetShapes().GetAt(1)->type, PhysicShapeSphere);
}

}
