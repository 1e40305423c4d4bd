// A skinned geometry of 30 bones, uploaded by the GL renderer as one batch (its triangle lists
// close at 28 bones of 32) and posed through every slot of the skinning palette.
#include <gtest/gtest.h>

#include <vector>

#include "nGLFrameKit.h"
#include "render/gl/nGL3Renderer.h"
#include "scene/nItem.h"

namespace {

const float kPlaneZ = 20.0f;

class GLSkinnedBatches : public nGLFrameTest
{
};

// Two quads: the left one on bones 0 to 15 (four a corner, unbound: in place), the right one on
// bones 16 to 29 (its last corner half on 28 and half on 29), all of them raised by 3.
TEST_F(GLSkinnedBatches, ThirtyBonesShareOneBatchAndEverySlotPosesItsCorner)
{
    scene.ambient[0] = scene.ambient[1] = scene.ambient[2] = 1.0f;
    nMaterial* material = ConstantMaterial(1, 0.5f, 0, MaterialRenderSkinned);
    nGeometry* pair = MakeQuads({Rect(-6, -1, -2, 1), Rect(2, -1, 6, 1)}, kPlaneZ, material);
    renderer->FreeGeometry(pair);
    pair->AllocateSkin(30);
    pair->skinWeights = nGeometry::AllocateArray<nSkinWeight>(8);
    ASSERT_NE(pair->skinWeights, nullptr);
    for (uint16_t corner = 0; corner < 7; ++corner) {
        const uint16_t first = (uint16_t)(4 * corner);
        pair->skinWeights[corner] = nSkinWeight{{0.25f, 0.25f, 0.25f, 0.25f},
                                                {first, uint16_t(first + 1), uint16_t(first + 2), uint16_t(first + 3)}};
    }
    pair->skinWeights[7] = nSkinWeight{{0.5f, 0.5f, 0.0f, 0.0f}, {28, 29, 28, 29}};
    ASSERT_TRUE(renderer->SetupGeometry(pair));

    auto* data = static_cast<nGL3Renderer::GL_GeometryData*>(pair->GetRenderData());
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(data->batchCount, 1) << "a list takes polygons until 28 bones";
    ASSERT_EQ(data->batches[0].boneCount, 30);
    std::vector<uint16_t> palette(data->batches[0].bonePalette, data->batches[0].bonePalette + 30);
    for (uint16_t slot = 0; slot < 30; ++slot) EXPECT_EQ(palette[slot], slot) << "bones in order of first use";

    nObject* object = Show(pair, kPlaneZ);
    ASSERT_EQ(object->GetBoneCount(), 30);
    nItem lift(&engine);
    lift.SetPosition(nVector(0.0f, 3.0f, 0.0f, 1.0f));
    for (int32_t bone = 16; bone < 30; ++bone) ASSERT_TRUE(object->SetBone(bone, &lift)) << bone;
    object->UpdateSkinning();
    DrawFrame();

    const nRGBA orange{255, 128, 0, 255}, black{0, 0, 0, 255};
    const struct
    {
        float x, y;
        bool covered;
        const char* where;
    } probes[] = {
        {-4.0f, 0.0f, true, "the left quad in place"},
        {-5.7f, -0.7f, true, "its corner on bones 0 to 3"},
        {-2.3f, -0.7f, true, "its corner on bones 12 to 15"},
        {2.3f, 2.3f, true, "the right quad raised: its corner on bones 16 to 19"},
        {2.3f, 3.7f, true, "its corner on bones 20 to 23"},
        {5.7f, 3.7f, true, "its corner on bones 24 to 27"},
        {5.7f, 2.3f, true, "its corner on bones 28 and 29"},
        {4.0f, 0.0f, false, "where the right quad was"},
        {5.7f, 1.5f, false, "below the raised corner on bones 28 and 29"},
        {5.7f, 4.5f, false, "above the raised quad"},
    };
    for (const auto& p : probes)
        EXPECT_TRUE(PixelNear(ProbeWorld(p.x, p.y, kPlaneZ), p.covered ? orange : black, 3)) << p.where;
    for (int32_t bone = 16; bone < 30; ++bone) object->SetBone(bone, 0);
}

}
