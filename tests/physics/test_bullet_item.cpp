// Bullet bodies: shape sizes, compound centres, impulses, resting heights on boxes, meshes and
// height fields, enabling and disabling, group and mask changes, damping and mode rules.

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <btBulletDynamicsCommon.h>

#include "nPhysicsKit.h"
#include "physics/bullet/nBulletShapes.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nMathExpect.h"

namespace {

typedef std::vector<std::string> Lines;

class BulletItem : public ::testing::Test
{
protected:
    BulletItem() : world(&engine) { world.Init(); }
    ~BulletItem() override
    {
        for (nPhysicItem* item : items) delete item;
    }
    nBulletPhysicItem* NewItem(int32_t mode)
    {
        items.push_back(static_cast<nBulletPhysicItem*>(world.NewItem()));
        items.back()->SetMode(mode);
        return items.back();
    }
    nBulletPhysicItem* Body(int32_t mode, int32_t type, const nVector& size, float mass, const nVector& position)
    {
        items.push_back(KitBody(world, mode, type, size, mass, position));
        return items.back();
    }
    void Place(nPhysicItem* item, const nVector& position)
    {
        nMatrix4 m = nMatrix4::Translation(position);
        item->SetMatrix(&m);
    }
    nBulletPhysicItem* Floor() { return Body(PhysicItemStatic, PhysicShapeBox, nVector(40, 1, 40), 0.0f, nVector(0, -0.5f, 0)); }
    void NoGravity() { world.SetGravity(nVector(0, 0, 0)); }

    nOrvex engine{KitCachedParts()};
    nBulletPhysicWorld world;
    std::vector<nBulletPhysicItem*> items;
};

btCollisionShape* OnlyChild(nBulletPhysicItem* item)
{
    return item->GetCompound()->getChildShape(0);
}

TEST_F(BulletItem, ShapeSizesBecomeBulletDimensions)
{
    btBoxShape* box = static_cast<btBoxShape*>(OnlyChild(Body(PhysicItemStatic, PhysicShapeBox, nVector(2, 4, 6), 0, nVector())));
    EXPECT_TRUE(VectorNear(FromBulletKit(box->getHalfExtentsWithMargin()), nVector(1, 2, 3), 1e-5f));

    btSphereShape* sphere = static_cast<btSphereShape*>(OnlyChild(Body(PhysicItemStatic, PhysicShapeSphere, nVector(0.75f, 9, 9), 0, nVector())));
    EXPECT_FLOAT_EQ(sphere->getRadius(), 0.75f);

    btCapsuleShapeZ* capsule = static_cast<btCapsuleShapeZ*>(OnlyChild(Body(PhysicItemStatic, PhysicShapeCapsule, nVector(1, 1, 3), 0, nVector())));
    EXPECT_EQ(capsule->getUpAxis(), 2);
    EXPECT_FLOAT_EQ(capsule->getRadius(), 0.5f);
    EXPECT_FLOAT_EQ(capsule->getHalfHeight() * 2.0f, 3.0f);

    btConeShapeZ* cone = static_cast<btConeShapeZ*>(OnlyChild(Body(PhysicItemStatic, PhysicShapeCone, nVector(2, 2, 4), 0, nVector())));
    EXPECT_EQ(cone->getConeUpIndex(), 2);
    EXPECT_FLOAT_EQ(cone->getRadius(), 1.0f);
    EXPECT_FLOAT_EQ(cone->getHeight(), 2.0f);

    btCylinderShapeZ* cylinder = static_cast<btCylinderShapeZ*>(OnlyChild(Body(PhysicItemStatic, PhysicShapeCylinder, nVector(2, 4, 6), 0, nVector())));
    EXPECT_EQ(cylinder->getUpAxis(), 2);
    EXPECT_TRUE(VectorNear(FromBulletKit(cylinder->getHalfExtentsWithMargin()), nVector(1, 2, 3), 1e-5f));
}

TEST_F(BulletItem, CompoundIsCentredOnTheMassWeightedCentre)
{
    NoGravity();
    nBulletPhysicItem* item = NewItem(PhysicItemDynamic);
    KitShape(item, PhysicShapeBox, nVector(1, 1, 1), 1.0f, nVector(0, 0, 0));
    KitShape(item, PhysicShapeBox, nVector(1, 1, 1), 1.0f, nVector(2, 0, 0));
    KitShape(item, PhysicShapeBox, nVector(1, 1, 1), 2.0f, nVector(0, 4, 0));
    ASSERT_TRUE(item->Create());
    const nVector centre(0.5f, 2.0f, 0.0f);
    EXPECT_TRUE(VectorNear(item->GetCentreOffset(), centre, 1e-6f));
    btCompoundShape* compound = item->GetCompound();
    ASSERT_EQ(compound->getNumChildShapes(), 3);
    const nVector children[] = {nVector(-0.5f, -2, 0), nVector(1.5f, -2, 0), nVector(-0.5f, 2, 0)};
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(VectorNear(FromBulletKit(compound->getChildTransform(i).getOrigin()), children[i], 1e-6f)) << i;
    EXPECT_TRUE(VectorNear(item->GetCenterOfMass(), centre, 1e-6f));
    EXPECT_FLOAT_EQ(1.0f / item->GetBody()->getInvMass(), 4.0f);

    // Moved: the centre moves with the item; the item matrix comes back unchanged.
    nMatrix4 m = nMatrix4::Translation(nVector(10, 0, 0)) * nMatrix4::FromMatrix3(nMatrix3::FromEulerVector(nVector(0, 1.5707964f, 0), RotationOrderYXZ));
    item->SetMatrix(&m);
    EXPECT_TRUE(VectorNear(item->GetCenterOfMass(), centre.Transform(m), 1e-5f));
    KitRun(world, 0.5f);
    nMatrix4 back;
    item->GetMotionMatrix(&back);
    EXPECT_TRUE(MatrixNear(back, m, 1e-5f));
}

TEST_F(BulletItem, SharedHullsAreCentredOnTheirGeometrysCentroid)
{
    NoGravity();
    std::vector<nVector> corners;
    for (int i = 0; i < 8; ++i)
        corners.push_back(nVector(i & 1 ? 3.5f : 2.5f, i & 2 ? 0.5f : -0.5f, i & 4 ? 0.5f : -0.5f));
    KitAddGeometry(engine, "offcentre", corners, {{0, 1, 3, 2}});
    nBulletPhysicItem* item = NewItem(PhysicItemDynamic);
    nPhysicShape* hull = KitShape(item, PhysicShapeConvex, nVector(1, 1, 1), 1.0f, nVector(0, 1, 0));
    hull->geometry.Set("offcentre");
    hull->scale = nVector(2, 1, 1);
    ASSERT_TRUE(item->Create());
    EXPECT_TRUE(VectorNear(item->GetCentreOffset(), nVector(6, 1, 0), 1e-5f)) << "the scaled centroid";
    btVector3 low, high;
    item->GetBody()->getCollisionShape()->getAabb(btTransform::getIdentity(), low, high);
    EXPECT_NEAR(low.x(), -1.0f, 0.1f) << "the hull sits around the body's origin";
    EXPECT_NEAR(high.x(), 1.0f, 0.1f);
    EXPECT_TRUE(VectorNear(item->GetCenterOfMass(), nVector(6, 1, 0), 1e-5f));
}

TEST_F(BulletItem, DynamicWithoutMassIsSimulatedAsStatic)
{
    nBulletPhysicItem* item = NewItem(PhysicItemDynamic);
    KitShape(item, PhysicShapeBox, nVector(1, 1, 1), 0.0f, nVector(3, 0, 0));
    KitShape(item, PhysicShapeBox, nVector(1, 1, 1), 0.0f, nVector(5, 0, 0));
    nLogCapture cap;
    ASSERT_TRUE(item->Create());
    EXPECT_EQ(cap.Lines(), Lines{"[*] Dynamic physic item without mass is simulated as static.\n"});
    EXPECT_TRUE(VectorNear(item->GetCentreOffset(), nVector(0, 0, 0), 0.0f));
    EXPECT_EQ(item->GetBody()->getInvMass(), 0.0f);
    nVector kick(0, 5, 0);
    item->ApplyImpulse(&kick, 0);
    KitRun(world, 0.5f);
    nVector at = item->GetCenterOfMass();
    EXPECT_TRUE(std::isfinite(at.x) && std::isfinite(at.y) && std::isfinite(at.z));
    EXPECT_TRUE(VectorNear(at, nVector(0, 0, 0), 1e-6f));
}

TEST_F(BulletItem, ModeRulesAtCreate)
{
    nBulletPhysicItem* none = NewItem(PhysicItemNone);
    KitShape(none, PhysicShapeBox, nVector(1, 1, 1), 1.0f);
    EXPECT_TRUE(none->Create());
    EXPECT_EQ(none->GetBody(), nullptr);

    nBulletPhysicItem* missing = NewItem(PhysicItemDynamic);
    KitShape(missing, PhysicShapeConvex, nVector(1, 1, 1), 1.0f)->geometry.Set("nowhere");
    EXPECT_TRUE(missing->Create());
    EXPECT_EQ(missing->GetMode(), PhysicItemNone);
    EXPECT_EQ(missing->GetBody(), nullptr);

    nBulletPhysicItem* flat = NewItem(PhysicItemStatic);
    int16_t row[3] = {1, 2, 3};
    KitShape(flat, PhysicShapeHeightfield, nVector(1, 1, 1), 0.0f)->SetHeightfield(row, 3, 1, 1.0f);
    KitShape(flat, PhysicShapeHeightfield, nVector(1, 1, 1), 0.0f)->SetHeightfield(0, 4, 4, 1.0f);
    {
        nLogCapture cap;
        EXPECT_TRUE(flat->Create());
        EXPECT_EQ(cap.Lines(), (Lines{"[*] Height field shape without samples left out of the body.\n",
                                      "[*] Height field shape without samples left out of the body.\n"}));
    }
    EXPECT_EQ(flat->GetMode(), PhysicItemNone) << "a single row makes no surface";

    nBulletPhysicItem* empty = NewItem(PhysicItemStatic);
    EXPECT_TRUE(empty->Create());
    EXPECT_EQ(empty->GetMode(), PhysicItemNone);

    nBulletPhysicItem* fixed = Body(PhysicItemStatic, PhysicShapeBox, nVector(1, 1, 1), 5.0f, nVector());
    EXPECT_EQ(fixed->GetBody()->getInvMass(), 0.0f);
    nBulletPhysicItem* moved = Body(PhysicItemKinematic, PhysicShapeBox, nVector(1, 1, 1), 5.0f, nVector());
    EXPECT_TRUE(moved->GetBody()->isKinematicObject());
    EXPECT_EQ(moved->GetBody()->getActivationState(), DISABLE_DEACTIVATION);
    EXPECT_EQ(moved->GetBody()->getInvMass(), 0.0f);
}

TEST_F(BulletItem, FirstShapeGivesFrictionAndRestitution)
{
    nBulletPhysicItem* item = NewItem(PhysicItemDynamic);
    nPhysicShape* first = KitShape(item, PhysicShapeSphere, nVector(1, 1, 1), 1.0f);
    first->staticFriction = 0.3f;
    first->dynamicFriction = 0.9f;
    first->restitution = 0.2f;
    KitShape(item, PhysicShapeSphere, nVector(1, 1, 1), 1.0f)->staticFriction = 0.8f;
    item->Create();
    EXPECT_FLOAT_EQ(item->GetBody()->getFriction(), 0.3f);
    EXPECT_FLOAT_EQ(item->GetBody()->getRestitution(), 0.2f);
}

TEST_F(BulletItem, CentralImpulseChangesVelocityByItsValue)
{
    NoGravity();
    const struct
    {
        int32_t mode;
        float mass;
        bool moves;
    } cases[] = {
        {PhysicItemDynamic, 2.0f, true},
        {PhysicItemDynamic, 0.25f, true},
        {PhysicItemStatic, 2.0f, false},
        {PhysicItemKinematic, 2.0f, false},
    };
    for (const auto& c : cases) {
        nBulletPhysicItem* item = Body(c.mode, PhysicShapeSphere, nVector(0.5f, 0, 0), c.mass, nVector(0, 0, 0));
        nVector start(1, 0, 0);
        item->SetLinearVelocity(&start);
        nVector kick(0, 5, 0);
        item->ApplyImpulse(&kick, 0);
        EXPECT_TRUE(VectorNear(item->GetLinearVelocity(), c.moves ? nVector(1, 5, 0) : start, 1e-5f)) << c.mode << " " << c.mass;
        item->Destroy();
    }
}

TEST_F(BulletItem, ImpulseAtAPointChangesThatPointsVelocityAlongIt)
{
    NoGravity();
    nBulletPhysicItem* item = Body(PhysicItemDynamic, PhysicShapeBox, nVector(4, 1, 1), 3.0f, nVector(0, 0, 0));
    const struct
    {
        nVector v, point;
    } cases[] = {
        {nVector(0, 2, 0), nVector(2, 0, 0)},
        {nVector(0, 0, -1.5f), nVector(-1, 0.5f, 0)},
        {nVector(1, 1, 0), nVector(0, 0.5f, 0.5f)},
    };
    for (const auto& c : cases) {
        item->ResetDynamics();
        nVector before = item->GetWorldPointVelocity(&c.point);
        item->ApplyImpulse(&c.v, &c.point);
        nVector after = item->GetWorldPointVelocity(&c.point);
        nVector n = c.v.Normalize();
        EXPECT_NEAR((after - before).Dot(n), c.v.Length(), 1e-4f);
    }
}

TEST_F(BulletItem, PointVelocitiesAddTheSpin)
{
    NoGravity();
    nBulletPhysicItem* item = Body(PhysicItemDynamic, PhysicShapeSphere, nVector(1, 0, 0), 1.0f, nVector(5, 0, 0));
    nVector linear(0, 0, 2), spin(0, 0, 1);
    item->SetLinearVelocity(&linear);
    item->SetAngularVelocity(&spin);
    nVector local(1, 0, 0), worldPoint(6, 0, 0);
    EXPECT_TRUE(VectorNear(item->GetLocalPointVelocity(&local), nVector(0, 1, 2), 1e-5f));
    EXPECT_TRUE(VectorNear(item->GetWorldPointVelocity(&worldPoint), nVector(0, 1, 2), 1e-5f));
    item->ResetDynamics();
    EXPECT_TRUE(VectorNear(item->GetLinearVelocity(), nVector(0, 0, 0), 0.0f));
    EXPECT_TRUE(VectorNear(item->GetAngularVelocity(), nVector(0, 0, 0), 0.0f));
}

TEST_F(BulletItem, ValuesThatAreNotFiniteAreRefused)
{
    NoGravity();
    nBulletPhysicItem* item = Body(PhysicItemDynamic, PhysicShapeSphere, nVector(1, 0, 0), 1.0f, nVector(1, 2, 3));
    const float nan = std::nanf(""), inf = INFINITY;
    nVector bad(0, nan, 0), huge(inf, 0, 0), fine(0, 1, 0);
    nMatrix4 m = nMatrix4::Translation(nVector(nan, 0, 0));
    nLogCapture cap;
    item->SetMatrix(&m);
    item->SetLinearVelocity(&bad);
    item->SetAngularVelocity(&huge);
    item->SetGravity(&bad);
    item->ApplyImpulse(&bad, 0);
    item->ApplyImpulse(&fine, &huge);
    item->ApplyForce(&huge, 0);
    item->ApplyTorque(&bad);
    EXPECT_EQ(cap.Lines().size(), 8u);
    for (const std::string& line : cap.Lines()) EXPECT_EQ(line, "[*] Physic item ignored a value that is not a finite number.\n");
    KitRun(world, 0.2f);
    EXPECT_TRUE(VectorNear(item->GetCenterOfMass(), nVector(1, 2, 3), 1e-5f));
    EXPECT_TRUE(VectorNear(item->GetLinearVelocity(), nVector(0, 0, 0), 0.0f));
}

TEST_F(BulletItem, DampingIsTheComplementOfTheRetention)
{
    nBulletPhysicItem* item = Body(PhysicItemDynamic, PhysicShapeSphere, nVector(1, 0, 0), 1.0f, nVector());
    EXPECT_FLOAT_EQ(item->GetBody()->getLinearDamping(), 0.0f);
    const struct
    {
        float linear, angular;
    } cases[] = {{1.0f, 1.0f}, {0.9f, 0.75f}, {0.0f, 0.5f}};
    for (const auto& c : cases) {
        item->SetLinearDamping(c.linear);
        item->SetAngularDamping(c.angular);
        EXPECT_NEAR(item->GetBody()->getLinearDamping(), 1.0f - c.linear, 1e-6f);
        EXPECT_NEAR(item->GetBody()->getAngularDamping(), 1.0f - c.angular, 1e-6f);
        EXPECT_FLOAT_EQ(item->GetLinearDamping(), c.linear);
    }
}

TEST_F(BulletItem, CachedSettingsCarryOverToEveryNewBody)
{
    nBulletPhysicItem* item = NewItem(PhysicItemDynamic);
    KitShape(item, PhysicShapeSphere, nVector(1, 0, 0), 1.0f);
    nVector linear(1, 0, 1), angular(0, 1, 0);
    item->SetLinearFactor(&linear);
    item->SetAngularFactor(&angular);
    item->SetLinearDamping(0.5f);
    item->SetSelfMask(4);
    item->SetCollisionMask(12);
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(item->Create());
        btRigidBody* body = item->GetBody();
        EXPECT_TRUE(VectorNear(FromBulletKit(body->getLinearFactor()), linear, 0.0f));
        EXPECT_TRUE(VectorNear(FromBulletKit(body->getAngularFactor()), angular, 0.0f));
        EXPECT_FLOAT_EQ(body->getLinearDamping(), 0.5f);
        EXPECT_EQ(body->getBroadphaseHandle()->m_collisionFilterGroup, 4);
        EXPECT_EQ(body->getBroadphaseHandle()->m_collisionFilterMask, 12);
        EXPECT_TRUE(VectorNear(item->GetGravity(), nVector(0, -9.8f, 0), 1e-6f));
        item->Destroy();
        EXPECT_EQ(item->GetBody(), nullptr);
        EXPECT_EQ(item->GetSelfMask(), 4);
    }
}

TEST_F(BulletItem, OwnGravitySurvivesAMaskChange)
{
    nBulletPhysicItem* item = Body(PhysicItemDynamic, PhysicShapeSphere, nVector(1, 0, 0), 1.0f, nVector());
    nVector up(0, 3, 0);
    item->SetGravity(&up);
    item->SetCollisionMask(7);
    EXPECT_TRUE(VectorNear(item->GetGravity(), up, 0.0f));
    EXPECT_EQ(item->GetBody()->getBroadphaseHandle()->m_collisionFilterMask, 7);
}

TEST_F(BulletItem, SetMatrixDropsTheScale)
{
    nBulletPhysicItem* item = Body(PhysicItemDynamic, PhysicShapeSphere, nVector(1, 0, 0), 1.0f, nVector());
    nMatrix4 m = nMatrix4::ComposeEuler(nVector(1, 2, 3), nVector(0.3f, 0.2f, 0.1f), nVector(2, 3, 4), nVector(0, 0, 0));
    item->SetMatrix(&m);
    nMatrix4 body;
    item->GetMatrix(&body);
    nMatrix4 expected = nMatrix4::ComposeEuler(nVector(1, 2, 3), nVector(0.3f, 0.2f, 0.1f), nVector(1, 1, 1), nVector(0, 0, 0));
    EXPECT_TRUE(MatrixNear(body, expected, 1e-5f));
}

// ---------------------------------------------------------------------------------------------
// Resting heights

struct DropCase
{
    const char* what;
    int32_t type;
    nVector size;
    nVector scale;
    float rest;  // height of the centre at rest above the surface
};

const DropCase kDrops[] = {
    {"sphere", PhysicShapeSphere, nVector(0.5f, 0, 0), nVector(1, 1, 1), 0.5f},
    {"box", PhysicShapeBox, nVector(1, 1, 1), nVector(1, 1, 1), 0.5f},
    {"wide box", PhysicShapeBox, nVector(6, 0.5f, 6), nVector(1, 1, 1), 0.25f},
    {"box scaled twice", PhysicShapeBox, nVector(1, 1, 1), nVector(2, 2, 2), 1.0f},
    {"sphere scaled", PhysicShapeSphere, nVector(0.25f, 0, 0), nVector(2, 2, 2), 0.5f},
};

// Drops each case from 3 units above the surface point and checks where it comes to rest.
void DropOnto(BulletItem* test, nBulletPhysicWorld& world, std::vector<nBulletPhysicItem*>& items,
              const nVector& surface, const char* floorName)
{
    for (const DropCase& c : kDrops) {
        nBulletPhysicItem* item = static_cast<nBulletPhysicItem*>(world.NewItem());
        items.push_back(item);
        nPhysicShape* shape = KitShape(item, c.type, c.size, 1.0f);
        shape->scale = c.scale;
        shape->restitution = 0.0f;
        item->SetMode(PhysicItemDynamic);
        item->Create();
        nMatrix4 m = nMatrix4::Translation(surface + nVector(0, 3, 0));
        item->SetMatrix(&m);
        KitRun(world, 3.0f);
        nVector at = KitPosition(item);
        EXPECT_NEAR(at.y, surface.y + c.rest, 0.01f) << c.what << " on " << floorName;
        item->Destroy();
    }
}

TEST_F(BulletItem, DropsRestOnABox)
{
    Body(PhysicItemStatic, PhysicShapeBox, nVector(20, 2, 20), 0.0f, nVector(0, 1, 0));
    DropOnto(this, world, items, nVector(0, 2, 0), "box");
}

TEST_F(BulletItem, DropsRestOnAMesh)
{
    KitAddFloor(engine, "floor", 20.0f, 8);
    nBulletPhysicItem* floor = NewItem(PhysicItemStatic);
    KitShape(floor, PhysicShapeMesh, nVector(1, 1, 1), 0.0f)->geometry.Set("floor");
    ASSERT_TRUE(floor->Create());
    Place(floor, nVector(1, 0.5f, -2));
    DropOnto(this, world, items, nVector(1.3f, 0.5f, -2.2f), "mesh");
}

// A terrain of 9 x 7 samples 2 units apart, heights in twentieths: a slope along x, a ridge
// along the rows, and a flat plateau around column 4, row 3.
struct Terrain
{
    static const int kWidth = 9, kLength = 7;
    int16_t samples[kWidth * kLength];
    Terrain()
    {
        for (int row = 0; row < kLength; ++row)
            for (int column = 0; column < kWidth; ++column)
                samples[row * kWidth + column] = (int16_t)(20 * column + 7 * row * row - 30);
        for (int row = 1; row <= 5; ++row)
            for (int column = 2; column <= 6; ++column) samples[row * kWidth + column] = 100;
    }
    float Height(int column, int row) const { return samples[row * kWidth + column] / 20.0f; }
};

TEST_F(BulletItem, RayDownAtEverySampleHitsItsHeight)
{
    Terrain terrain;
    nBulletPhysicItem* ground = NewItem(PhysicItemStatic);
    KitShape(ground, PhysicShapeHeightfield, nVector(1, 1, 1), 0.0f)->SetHeightfield(terrain.samples, Terrain::kWidth, Terrain::kLength, 2.0f);
    ASSERT_TRUE(ground->Create());
    const nVector offset(10, -3, 5);
    Place(ground, offset);
    world.Step(world.GetFixedStep());
    const nVector down(0, -1, 0);
    for (int row = 0; row < Terrain::kLength; ++row)
        for (int column = 0; column < Terrain::kWidth; ++column) {
            // A hair inside the grid at the edges, where the ray would otherwise graze the border.
            bool edge = column == 0 || row == 0 || column == Terrain::kWidth - 1 || row == Terrain::kLength - 1;
            float x = column * 2.0f + (column == 0 ? 0.001f : column == Terrain::kWidth - 1 ? -0.001f
                                                                                            : 0.0f);
            float z = -row * 2.0f + (row == 0 ? -0.001f : row == Terrain::kLength - 1 ? 0.001f
                                                                                      : 0.0f);
            nVector origin = offset + nVector(x, 100, z);
            nPhysicRayHit hit;
            ASSERT_TRUE(world.RayCast(&origin, &down, &hit, 1, 0, 0.0f)) << column << ", " << row;
            EXPECT_NEAR(hit.point.y, offset.y + terrain.Height(column, row), edge ? 0.01f : 1e-3f) << column << ", " << row;
            EXPECT_EQ(hit.item, ground);
        }
    nVector outside = offset + nVector(-1, 100, 0);
    nPhysicRayHit hit;
    EXPECT_FALSE(world.RayCast(&outside, &down, &hit, 1, 0, 0.0f)) << "nothing before column 0";
    outside = offset + nVector(1, 100, 1);
    EXPECT_FALSE(world.RayCast(&outside, &down, &hit, 1, 0, 0.0f)) << "nothing before row 0 (rows run towards -z)";
}

TEST_F(BulletItem, DropsRestOnAHeightField)
{
    Terrain terrain;
    nBulletPhysicItem* ground = NewItem(PhysicItemStatic);
    KitShape(ground, PhysicShapeHeightfield, nVector(1, 1, 1), 0.0f)->SetHeightfield(terrain.samples, Terrain::kWidth, Terrain::kLength, 2.0f);
    ASSERT_TRUE(ground->Create());
    // The plateau's middle sample, column 4, row 3.
    DropOnto(this, world, items, nVector(8, terrain.Height(4, 3), -6), "height field");
}

// ---------------------------------------------------------------------------------------------
// Enabling, disabling, groups and masks

int32_t ContactsBetween(nBulletPhysicWorld& world, nPhysicItem* a, nPhysicItem* b)
{
    int32_t count = 0;
    for (int32_t i = 0; i < world.GetContactCount(); ++i) {
        nPhysicContact c;
        if (world.GetContact(i, &c) && ((c.a == a && c.b == b) || (c.a == b && c.b == a))) ++count;
    }
    return count;
}

TEST_F(BulletItem, DisabledStaticBodyStopsBlockingAndBlocksAgainWhenEnabled)
{
    nBulletPhysicItem* floor = Floor();
    nBulletPhysicItem* door = Body(PhysicItemStatic, PhysicShapeBox, nVector(4, 1, 4), 0.0f, nVector(0, 4.5f, 0));
    nBulletPhysicItem* box = Body(PhysicItemDynamic, PhysicShapeBox, nVector(1, 1, 1), 1.0f, nVector(0, 7, 0));
    EXPECT_FALSE(door->IsActive()) << "Bullet keeps static bodies asleep";
    KitRun(world, 5.0f);
    EXPECT_NEAR(KitPosition(box).y, 5.5f, 0.01f);
    EXPECT_EQ(ContactsBetween(world, door, box), 1);
    ASSERT_EQ(box->GetBody()->getActivationState(), ISLAND_SLEEPING) << "the box has come to rest on the door";

    door->Enable(false);
    EXPECT_FALSE(door->IsActive());
    KitRun(world, 2.0f);
    EXPECT_NEAR(KitPosition(box).y, 0.5f, 0.01f) << "fell through the disabled door";
    EXPECT_EQ(ContactsBetween(world, door, box), 0);
    EXPECT_EQ(ContactsBetween(world, floor, box), 1);

    door->Enable(true);
    EXPECT_FALSE(door->IsActive()) << "back in the state it was registered in";
    EXPECT_EQ(door->GetBody()->getBroadphaseHandle()->m_collisionFilterGroup, 1);
    EXPECT_EQ(door->GetBody()->getBroadphaseHandle()->m_collisionFilterMask, 1);
    Place(box, nVector(0, 7, 0));
    box->ResetDynamics();
    KitRun(world, 2.0f);
    EXPECT_NEAR(KitPosition(box).y, 5.5f, 0.01f) << "the door blocks again";
}

TEST_F(BulletItem, DisabledDynamicBodyFreezesWithoutContacts)
{
    nBulletPhysicItem* floor = Floor();
    nBulletPhysicItem* box = Body(PhysicItemDynamic, PhysicShapeBox, nVector(1, 1, 1), 1.0f, nVector(0, 3, 0));
    KitRun(world, 2.0f);
    ASSERT_EQ(ContactsBetween(world, floor, box), 1);
    box->Enable(false);
    Place(box, nVector(0, 5, 0));
    KitRun(world, 1.0f);
    EXPECT_NEAR(box->GetCenterOfMass().y, 5.0f, 1e-5f) << "out of the simulation";
    EXPECT_EQ(ContactsBetween(world, floor, box), 0);
    // Mask changes while disabled are kept for later; the body stays out of every pair.
    box->SetCollisionMask(3);
    EXPECT_EQ(box->GetBody()->getBroadphaseHandle()->m_collisionFilterMask, 0);
    box->Enable(true);
    EXPECT_TRUE(box->IsActive());
    EXPECT_EQ(box->GetBody()->getBroadphaseHandle()->m_collisionFilterMask, 3);
    KitRun(world, 2.0f);
    EXPECT_NEAR(KitPosition(box).y, 0.5f, 0.01f);
    EXPECT_EQ(ContactsBetween(world, floor, box), 1);
}

TEST_F(BulletItem, KinematicBodyTurnsOffAndOn)
{
    nBulletPhysicItem* mover = Body(PhysicItemKinematic, PhysicShapeBox, nVector(1, 1, 1), 0.0f, nVector(0, 1, 0));
    EXPECT_TRUE(mover->IsActive());
    mover->Enable(false);
    EXPECT_FALSE(mover->IsActive());
    EXPECT_EQ(mover->GetBody()->getActivationState(), DISABLE_SIMULATION);
    mover->Enable(true);
    EXPECT_TRUE(mover->IsActive());
    EXPECT_EQ(mover->GetBody()->getActivationState(), DISABLE_DEACTIVATION) << "a kinematic body never sleeps";
}

TEST_F(BulletItem, MaskChangeDropsPairsAlreadyInContact)
{
    nBulletPhysicItem* floor = Floor();
    nBulletPhysicItem* box = Body(PhysicItemDynamic, PhysicShapeBox, nVector(1, 1, 1), 1.0f, nVector(0, 3, 0));
    KitRun(world, 2.0f);
    ASSERT_EQ(ContactsBetween(world, floor, box), 1);
    box->SetCollisionMask(2);
    KitRun(world, 1.0f);
    EXPECT_LT(KitPosition(box).y, -1.0f) << "falls through a floor it no longer collides with";
    EXPECT_EQ(ContactsBetween(world, floor, box), 0);

    nBulletPhysicItem* other = Body(PhysicItemDynamic, PhysicShapeBox, nVector(1, 1, 1), 1.0f, nVector(3, 3, 0));
    KitRun(world, 2.0f);
    ASSERT_EQ(ContactsBetween(world, floor, other), 1);
    floor->SetSelfMask(2);
    KitRun(world, 1.0f);
    EXPECT_LT(KitPosition(other).y, -1.0f) << "the floor left the group the box collides with";
}

TEST_F(BulletItem, SleepingAndWaking)
{
    nBulletPhysicItem* box = Body(PhysicItemDynamic, PhysicShapeBox, nVector(1, 1, 1), 1.0f, nVector(0, 3, 0));
    EXPECT_FALSE(box->IsSleeping());
    box->SetSleeping(true);
    EXPECT_TRUE(box->IsSleeping());
    box->SetSleeping(false);
    EXPECT_FALSE(box->IsSleeping());
    EXPECT_TRUE(box->IsActive());
}

TEST_F(BulletItem, RemovingAShapeTakesTheBodyDown)
{
    KitAddCube(engine, "cube");
    nBulletPhysicItem* item = NewItem(PhysicItemDynamic);
    KitShape(item, PhysicShapeBox, nVector(1, 1, 1), 1.0f);
    nPhysicShape* hull = KitShape(item, PhysicShapeConvex, nVector(1, 1, 1), 1.0f);
    hull->geometry.Set("cube");
    ASSERT_TRUE(item->Create());
    nBulletConvex* shared = static_cast<nBulletConvex*>(hull->simulationShape);
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(shared->GetRefCount(), 2);
    item->RemoveShape(hull);
    EXPECT_EQ(item->GetBody(), nullptr);
    EXPECT_EQ(shared->GetRefCount(), 1) << "the body's reference went with it";
    EXPECT_EQ(item->GetShapes().GetCount(), 1);
    EXPECT_EQ(item->GetShapes().GetAt(0)->simulationShape, nullptr);
    ASSERT_TRUE(item->Create());
    EXPECT_EQ(item->GetCompound()->getNumChildShapes(), 1);
}

TEST_F(BulletItem, ForceAndTorqueOnlyMoveDynamicBodies)
{
    NoGravity();
    nBulletPhysicItem* item = Body(PhysicItemDynamic, PhysicShapeSphere, nVector(1, 0, 0), 1.0f, nVector());
    nMatrix4 turned = nMatrix4::FromMatrix3(nMatrix3::FromEulerVector(nVector(0, 1.5707964f, 0), RotationOrderYXZ));
    item->SetMatrix(&turned);
    nVector torque(1, 0, 0);
    item->ApplyTorque(&torque);
    nVector force(0, 6, 0);
    item->ApplyForce(&force, 0);
    world.Step(world.GetFixedStep());
    nVector spin = item->GetAngularVelocity();
    nVector axis = nVector(1, 0, 0).Rotate(nMatrix3::FromEulerVector(nVector(0, 1.5707964f, 0), RotationOrderYXZ));
    EXPECT_GT(spin.Normalize().Dot(axis), 0.999f) << "item-space torque turned into world space";
    EXPECT_NEAR(item->GetLinearVelocity().y, 6.0f / 60.0f, 1e-4f);

    nBulletPhysicItem* fixed = Body(PhysicItemStatic, PhysicShapeSphere, nVector(1, 0, 0), 1.0f, nVector(5, 0, 0));
    fixed->ApplyForce(&force, 0);
    fixed->ApplyTorque(&torque);
    world.Step(world.GetFixedStep());
    EXPECT_TRUE(VectorNear(fixed->GetLinearVelocity(), nVector(0, 0, 0), 0.0f));
    EXPECT_TRUE(VectorNear(fixed->GetAngularVelocity(), nVector(0, 0, 0), 0.0f));
}

}
