// The material's values at a hit on the CPU: render-map channels, texture stage colours through
// their UV sources, matrices and wrapping, opacity, and the shading normal with normal maps.
#include <gtest/gtest.h>

#include <cmath>

#include "nShadingTestKit.h"
#include "audio/mivox/mvx_Stream.h"
#include "resources/nTextureStreamInterface.h"
#include "scene/nCamera.h"

namespace {

class ShadingMaterial : public nShadingTest
{
public:
    // A stage on channel showing texture, its channel table brought up to date.
    nMaterialStage* AddStage(int32_t channel, nTexture* texture, int32_t uvSource = MaterialUVMap, int32_t uvIndex = 0)
    {
        nMaterialStage* stage = material->AddStage(channel, texture, uvSource, uvIndex);
        material->ValidateStages();
        return stage;
    }

    // A 1 x 1 texture of one colour.
    nTexture* Plain(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255)
    {
        nTexture* texture = new nTexture(&engine, 0, 0);
        if (texture->Allocate(1, 1, PixelFormatRGBA8)) {
            uint8_t* p = texture->GetPixels();
            p[0] = r, p[1] = g, p[2] = b, p[3] = a;
        }
        return texture;
    }

    nRaytracerShading shading{&engine};
};

nVector Bytes(float r, float g, float b, float a) { return nVector(r / 255.0f, g / 255.0f, b / 255.0f, a / 255.0f); }

TEST_F(ShadingMaterial, ARenderMapRootGivesTheChannelAndAMissingRootTheDefault)
{
    material->diffuse = nVector(0.25f, 0.5f, 0.75f, 1.0f);
    nRenderMap* map = new nRenderMap();
    nShaderBlock* zero = new nShaderBlock(ShaderBlockConstant);
    zero->constantType = ShaderValueVec3;
    nShaderBlock* pack = new nShaderBlock(ShaderBlockPack);
    ASSERT_TRUE(pack->SetInput(0, zero));
    map->SetRoot(RenderMapNormal, pack);
    map->SetRoot(RenderMapSpecular, new nShaderBlock(ShaderBlockScreenUV));
    material->SetRenderMap(map);

    ExpectVectorNear(shading.GetMaterialChannel(hit, RenderMapNormal), nVector(0.5f, 0.5f, 0.5f, 1.0f));
    // A root that gives nothing on the CPU: the vector of a fresh value.
    ExpectVectorNear(shading.GetMaterialChannel(hit, RenderMapSpecular), nVector(0, 0, 0, 0));
    ExpectVectorNear(shading.GetMaterialChannel(hit, RenderMapDiffuse), nVector(0.25f, 0.5f, 0.75f, 1.0f));
    ExpectVectorNear(shading.GetMaterialChannel(hit, RenderMapOpacity), nVector(1, 0, 0, 1));
}

TEST_F(ShadingMaterial, WithoutAUsedStageTheChannelsGiveTheMaterialsColours)
{
    material->diffuse = nVector(0.1f, 0.2f, 0.3f, 0.4f);
    material->specular = nVector(0.5f, 0.6f, 0.7f, 0.8f);
    material->self = nVector(0.9f, 0.8f, 0.7f, 0.6f);
    ExpectVectorNear(shading.GetStageColor(hit, MaterialChannelDiffuse), material->diffuse);
    ExpectVectorNear(shading.GetStageColor(hit, MaterialChannelSpecular), material->specular);
    ExpectVectorNear(shading.GetStageColor(hit, MaterialChannelSelfIllum), material->self);
    ExpectVectorNear(shading.GetStageColor(hit, MaterialChannelDecal), nVector(1, 1, 1, 1));
    // An inactive stage is not used.
    AddStage(MaterialChannelDiffuse, Plain(0, 0, 0))->active = 0;
    material->ValidateStages();
    ExpectVectorNear(shading.GetStageColor(hit, MaterialChannelDiffuse), material->diffuse);
    nRaytraceHit bare = hit;
    bare.material = 0;
    ExpectVectorNear(shading.GetStageColor(bare, MaterialChannelDiffuse), nVector(1, 1, 1, 1));
}

// The coordinate texture is 4 x 4; the hit's UV set 0 reads (0.3, 0.8).
TEST_F(ShadingMaterial, StageColourFollowsTheUVSetTheMatrixAndTheWrapFlags)
{
    const float tolerance = 1.0f / 255.0f;
    nMaterialStage* stage = AddStage(MaterialChannelDiffuse, MakeCoordinateTexture(&engine));
    ASSERT_TRUE(stage);
    // (1.2, 3.2) texels: red between 64 and 128, green on the last row.
    ExpectVectorNear(shading.GetStageColor(hit, MaterialChannelDiffuse), Bytes(76.8f, 192, 255, 128), tolerance);

    // Twice the coordinates: (0.6, 1.6), wrapped to (0.6, 0.6), or clamped in v.
    stage->uvMatrix.m[0] = 2.0f;
    stage->uvMatrix.m[5] = 2.0f;
    ExpectVectorNear(shading.GetStageColor(hit, MaterialChannelDiffuse), Bytes(153.6f, 153.6f, 255, 128), tolerance);
    stage->wrapV = 0;
    ExpectVectorNear(shading.GetStageColor(hit, MaterialChannelDiffuse), Bytes(153.6f, 192, 255, 128), tolerance);

    // A UV set the geometry does not have reads (0, 0).
    stage->uvMatrix = nMatrix4();
    stage->uvIndex = 2;
    ExpectVectorNear(shading.GetStageColor(hit, MaterialChannelDiffuse), Bytes(0, 0, 255, 128), tolerance);
}

TEST_F(ShadingMaterial, ASphereMappedStageReadsTheNormalInTheCamerasSpace)
{
    nMaterialStage* stage = AddStage(MaterialChannelDiffuse, MakeCoordinateTexture(&engine), MaterialLSNormal);
    ASSERT_TRUE(stage);
    // Without a camera: (0, 0).
    ExpectVectorNear(shading.GetStageColor(hit, MaterialChannelDiffuse), Bytes(0, 0, 255, 128), 1.0f / 255.0f);
    nCamera camera(&engine);
    camera.SetRotation(nVector(0, 0, 1.5707963f));  // the camera's x axis is the world's y
    shading.SetView(&camera, 64, 64);
    hit.normal = nVector(0, 0.5f, 0.8660254f);
    // n in camera space (0.5, 0, 0.866): (u, v) = (0.75, 0.5), column 3, row 2.
    ExpectVectorNear(shading.GetStageColor(hit, MaterialChannelDiffuse), Bytes(192, 128, 255, 128), 1.0f / 255.0f);
}

// The camera at the origin looks along +Z with zoom 3.2: (1, 0, 10) shows at (0.66, 0.5) on the
// screen, and a 200 x 100 picture narrows u around the centre by height / width.
TEST_F(ShadingMaterial, AFrontMappedStageReadsTheHitsPlaceOnTheScreen)
{
    ASSERT_TRUE(AddStage(MaterialChannelDiffuse, MakeCoordinateTexture(&engine), MaterialFrontMap));
    nCamera camera(&engine);
    shading.SetView(&camera, 200, 100);
    hit.point = nVector(1, 0, 10);
    // u = (0.66 - 0.5) x 0.5 + 0.5 = 0.58: texel 2.32 across, row 2.
    ExpectVectorNear(shading.GetStageColor(hit, MaterialChannelDiffuse), Bytes(148.48f, 128, 255, 128), 1.0f / 255.0f);
    // Behind the camera: (0, 0).
    hit.point = nVector(1, 0, -10);
    ExpectVectorNear(shading.GetStageColor(hit, MaterialChannelDiffuse), Bytes(0, 0, 255, 128), 1.0f / 255.0f);
}

TEST_F(ShadingMaterial, OpacityIsTheMaterialsTimesItsStagesAlpha)
{
    material->opacity = 0.5f;
    EXPECT_FLOAT_EQ(shading.GetOpacity(hit), 0.5f);
    nTexture* texture = Plain(255, 0, 0, 51);
    AddStage(MaterialChannelOpacity, texture);
    EXPECT_NEAR(shading.GetOpacity(hit), 0.5f * 0.2f, 1e-3f);
    // A video texture whose stream never opened still has its alpha.
    nTextureStreamInterface* output = new nTextureStreamInterface(texture);
    output->SetStream(new mvx_Stream(output, 0));
    texture->SetStreamInterface(output);
    EXPECT_NEAR(shading.GetOpacity(hit), 0.5f * 0.2f, 1e-3f);
    nRaytraceHit bare = hit;
    bare.material = 0;
    EXPECT_FLOAT_EQ(shading.GetOpacity(bare), 1.0f);
}

TEST_F(ShadingMaterial, HitNormalByRenderFlagsAndNormalMaps)
{
    const nVector smooth = nVector(0.5f, 0.3f, 1.0f).Normalize();
    // A flat material: the polygon's face normal, whatever the normal map says.
    ExpectVectorNear(shading.GetHitNormal(hit), nVector(0, 0, 1));
    material->renderFlags = MaterialRenderSmooth;
    ExpectVectorNear(shading.GetHitNormal(hit), smooth);

    // The map's colour (255, 64, 128): m = (1, -0.498, 0.004).
    nMaterialStage* stage = AddStage(MaterialChannelNormal, Plain(255, 64, 128));
    ASSERT_TRUE(stage);
    const nVector m(1.0f, 2 * 64 / 255.0f - 1, 2 * 128 / 255.0f - 1);
    material->renderFlags = 0;
    ExpectVectorNear(shading.GetHitNormal(hit), nVector(0, 0, 1));
    // Object-space map: blue and green swapped into y and z.
    material->renderFlags = MaterialRenderSmooth;
    ExpectVectorNear(shading.GetHitNormal(hit), nVector(m.x, m.z, m.y).Normalize(), 1e-4f);
    // Tangent-space map: T m.x + B m.y + n m.z with T = x and B = y.
    material->renderFlags = MaterialRenderNormalMapTangent;
    ExpectVectorNear(shading.GetHitNormal(hit), (nVector(1, 0, 0) * m.x + nVector(0, 1, 0) * m.y + smooth * m.z).Normalize(), 1e-4f);
}

// Without stored face normals the face normal comes from the polygon's first three corners; a
// smooth material on a geometry without vertex normals falls back to it too.
TEST_F(ShadingMaterial, FaceNormalWithoutStoredFaceNormals)
{
    delete[] geometry->polygonNormals;
    geometry->polygonNormals = 0;
    hit.normal = nVector(5, 0, 0);
    ExpectVectorNear(shading.GetHitNormal(hit), nVector(0, 0, 1));
    delete[] geometry->vertexNormals;
    geometry->vertexNormals = 0;
    material->renderFlags = MaterialRenderSmooth;
    ExpectVectorNear(shading.GetHitNormal(hit), nVector(0, 0, 1));
    hit.geometry = 0;
    ExpectVectorNear(shading.GetHitNormal(hit), nVector(1, 0, 0));
}

TEST_F(ShadingMaterial, VertexColourIsInterpolatedWithItsAlpha)
{
    ExpectVectorNear(shading.GetHitVertexColor(hit), nVector(0.2f, 0.3f, 0.5f, 0.35f));
    // A geometry without colours is white, so that a colour multiplied by it stays.
    delete[] geometry->colors;
    geometry->colors = 0;
    ExpectVectorNear(shading.GetHitVertexColor(hit), nVector(1, 1, 1, 1));
}

}
