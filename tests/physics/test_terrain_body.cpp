// A terrain's body on Bullet: read from a scene file with a height-field shape, it is solid
// ground where the terrain says its heights are, over the whole grid, far row included; bodies
// come to rest on it; the body never reads a grid that has gone.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "physics/bullet/nBulletPhysicItem.h"
#include "physics/bullet/nBulletPhysicWorld.h"
#include "physics/nPhysicShape.h"
#include "scene/nTerrain.h"
#include "tests/scene/kit/nKitScene.h"
#include "tests/support/nMLTestSupport.h"

namespace {

const int32_t kWidth = 48, kHeight = 40;  // samples; two units apart
const nVector kOffset(10.0f, -3.0f, 5.0f);

// Bumps and a slope, with a flat plateau at height 4 around column 24, row 20.
int16_t Sample(int32_t column, int32_t row)
{
    if (std::abs(column - 24) <= 4 && std::abs(row - 20) <= 4) return 80;
    return (int16_t)(7 * column - 5 * row + ((column * 31 + row * 17) % 23) * 4 - 40);
}

std::string HeightFile()
{
    std::string bytes;
    for (int32_t row = 0; row < kHeight; ++row)
        for (int32_t column = 0; column < kWidth; ++column) {
            const uint16_t v = (uint16_t)Sample(column, row);
            bytes.push_back((char)(v & 0xff));
            bytes.push_back((char)(v >> 8));
        }
    return bytes;
}

nPhysicWorld* MakeBulletWorld(nOrvex* engine)
{
    return new nBulletPhysicWorld(engine);
}

class TerrainBody : public ::testing::Test
{
protected:
    TerrainBody() : kit(MakeBulletWorld)
    {
        kit.SetFrameTicks(167);
    }
    void SetUp() override
    {
        ASSERT_TRUE(nMLPutMemoryFile("ground/height.u16", HeightFile()));
        ASSERT_TRUE(nMLPutMemoryFile("ground.nms",
                                     "<NML=1.0>\n<Scene= <Items= <MTerrain= <MItem= <Id=\"ground\"> <UId=0> <Active>"
                                     " <PhysicItem= <Mode=\"Static\"> <Shapes= <PhysicShape= <Type=\"Heightmap\"> <Mass=0.0> <Restitution=0.0> > > > >"
                                     " <Terrain= <BasePath=\"ground\"> <Heightmap= <Width=" +
                                         std::to_string(kWidth) + "> <Height=" +
                                         std::to_string(kHeight) + "> <Ppm=0.5> <Data=\"ground/height.u16\"> > > > > >"));
        ASSERT_TRUE(kit.scene->LoadFile("ground.nms", nullptr, FlagLoadAll, 0));
        ASSERT_EQ(kit.scene->GetTerrains().GetCount(), 1u);
        item = static_cast<nMTerrain*>(kit.scene->GetTerrains().GetHead()->value);
        item->GetTerrain().SetPosition(kOffset);
        kit.scene->Setup(true, 1024);
        kit.scene->Reset();
        ASSERT_NE(Body()->GetBody(), nullptr);
        Step(1);
    }
    nBulletPhysicItem* Body() { return static_cast<nBulletPhysicItem*>(item->GetPhysicItem()); }
    nTerrain& Terrain() { return item->GetTerrain(); }
    void Step(int frames)
    {
        for (int i = 0; i < frames; ++i) kit.scene->Evaluate(SceneEvaluatePhysic);
    }
    // The height a ray straight down finds at terrain-local (x, z); NAN when it finds nothing.
    float RayHeight(float x, float z)
    {
        const nVector origin = kOffset + nVector(x, 500.0f, z);
        const nVector down(0.0f, -1.0f, 0.0f);
        nPhysicRayHit hit;
        if (!kit.scene->GetPhysicWorld()->RayCast(&origin, &down, &hit, 1, 0, 0.0f)) return NAN;
        EXPECT_EQ(hit.item, Body());
        return hit.point.y - kOffset.y;
    }

    nKitScene kit;
    nMTerrain* item = 0;
};

}

// At every sample of the grid a ray down meets the ground at the height the terrain answers.
TEST_F(TerrainBody, RaysMeetTheHeightsTheTerrainAnswersOverTheWholeGrid)
{
    const float spacing = Terrain().GetSpacing();
    ASSERT_FLOAT_EQ(spacing, 2.0f);
    for (int32_t row = 0; row < kHeight; ++row)
        for (int32_t column = 0; column < kWidth; ++column) {
            // A hair inside at the first row and column, where the ray would graze the border.
            const float x = column * spacing + (column == 0 ? 0.001f : 0.0f);
            const float z = -row * spacing - (row == 0 ? 0.001f : 0.0f);
            const float expected = Terrain().GetHeight(nVector(x, 0.0f, z));
            ASSERT_FLOAT_EQ(expected, Sample(column, row) / 20.0f);
            EXPECT_NEAR(RayHeight(x, z), expected, (column == 0 || row == 0) ? 0.02f : 1e-3f) << column << ", " << row;
        }
}

// The grid's last cells, up to its far row and column (edge copies of the last stored ones),
// are ground too; beyond them there is none.
TEST_F(TerrainBody, TheFarRowAndColumnAreGround)
{
    const float spacing = Terrain().GetSpacing();
    const float farZ = -(kHeight - 0.5f) * spacing, farX = (kWidth - 0.5f) * spacing;
    EXPECT_NEAR(RayHeight(4 * spacing, farZ), Sample(4, kHeight - 1) / 20.0f, 1e-3f);
    EXPECT_NEAR(RayHeight(farX, -4 * spacing), Sample(kWidth - 1, 4) / 20.0f, 1e-3f);
    EXPECT_TRUE(std::isnan(RayHeight(4 * spacing, -(kHeight + 0.5f) * spacing)));
    EXPECT_TRUE(std::isnan(RayHeight((kWidth + 0.5f) * spacing, -4 * spacing)));
    EXPECT_TRUE(std::isnan(RayHeight(-1.0f, -4 * spacing)));
    EXPECT_TRUE(std::isnan(RayHeight(4 * spacing, 1.0f)));
}

TEST_F(TerrainBody, ABoxComesToRestOnThePlateau)
{
    nKitItem* box = kit.Add("box");
    const nVector above = kOffset + nVector(24 * 2.0f + 0.7f, 6.0f, -20 * 2.0f - 0.4f);
    box->Node().SetPosition(above);
    nPhysicItem* body = box->GetPhysicItem();
    nPhysicShape* shape = body->AddShape();
    shape->SetTypeAndSize(PhysicShapeBox, nVector(1.0f, 1.0f, 1.0f));
    shape->mass = 1.0f;
    shape->restitution = 0.0f;
    body->SetMode(PhysicItemDynamic);
    box->Setup();
    box->Reset();
    Step(240);
    const nVector rest = body->GetCenterOfMass();
    EXPECT_NEAR(rest.y, kOffset.y + 4.0f + 0.5f, 0.02f);
    EXPECT_NEAR(rest.x, above.x, 0.05f);
    EXPECT_NEAR(rest.z, above.z, 0.05f);
    EXPECT_LT(body->GetLinearVelocity().Length(), 0.05f);
}

// A new grid is handed to the body's shapes before the old one goes, so rebuilding the body
// reads the new grid; the terrain's deletion takes the body down first.
TEST_F(TerrainBody, TheBodyNeverReadsAGridThatHasGone)
{
    ASSERT_TRUE(Terrain().SetSize(16, 16, 1.0f));
    nPhysicShape* shape = Body()->GetShapes().GetHead()->value;
    EXPECT_EQ(shape->heightfieldSamples, Terrain().GetSamples());
    EXPECT_EQ(shape->heightfieldWidth, 17);
    EXPECT_EQ(shape->heightfieldLength, 17);
    ASSERT_TRUE(Body()->Create());
    Step(1);
    EXPECT_NEAR(RayHeight(3.0f, -3.0f), 0.0f, 1e-3f) << "the new grid, cleared";

    Terrain().FreeHeightmap();
    EXPECT_EQ(shape->heightfieldSamples, nullptr);
    EXPECT_TRUE(Body()->Create());
    EXPECT_EQ(Body()->GetMode(), PhysicItemNone) << "no grid, no ground";

    ASSERT_TRUE(kit.scene->QueueDeletion(item));
    Step(1);
    EXPECT_EQ(kit.scene->GetTerrains().GetCount(), 0u);
    EXPECT_TRUE(std::isnan(RayHeight(3.0f, -3.0f)));
}
