// The terrain drawer under a real GL context: a patch with two layers blended by the blend map,
// the passes a patch draws in, and the patch fill, which never reads past the grid.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "nGLFrameKit.h"
#include "scene/nTerrain.h"
#include "tests/support/nMLTestSupport.h"

namespace {

const float kHalfPi = 1.5707964f;

class GLTerrain : public nGLFrameTest
{
protected:
    void SetUp() override
    {
        nGLFrameTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        terrain.reset(new nTerrain(&engine));
        // 64 x 64 samples a quarter unit apart: 16 x 16 units, stood up facing the camera at
        // depth 20, rows running down the screen.
        ASSERT_TRUE(terrain->SetSize(64, 64, 4.0f));
        terrain->SetPosition(nVector(-8.0f, 8.0f, 20.0f));
        terrain->SetRotation(nVector(-kHalfPi, 0.0f, 0.0f));
        terrain->UpdateWorldMatrix();
        terrain->ComputeNormals(0, 0, 0, 0);
        terrain->BuildQuadtree();
        nMaterial& m = terrain->GetMaterial();
        m.diffuse = nVector(1.0f, 1.0f, 1.0f, 1.0f);
        m.specular = m.self = nVector(0.0f, 0.0f, 0.0f, 1.0f);
        nShaderBlock* constant = new nShaderBlock(ShaderBlockConstant);
        constant->constantType = ShaderValueVec4;
        constant->values[0] = 0.2f, constant->values[1] = 0.2f, constant->values[2] = 0.8f, constant->values[3] = 1.0f;
        nRenderMap* map = new nRenderMap;
        map->SetRoot(RenderMapNormal, new nShaderBlock(ShaderBlockNormal));
        map->SetRoot(RenderMapDiffuse, constant);
        m.SetRenderMap(map);
        ASSERT_TRUE(renderer->SetupMaterial(&m));
        renderer->SetSystemFlag(RendererSystemTextureNoCompression, true);
    }
    void TearDown() override
    {
        if (terrain) renderer->FreeMaterial(&terrain->GetMaterial());
        terrain.reset();
        textures.clear();
        nGLFrameTest::TearDown();
    }
    nTexture* MakeTexture(int32_t width, int32_t height, uint8_t (*texel)(int32_t x, int32_t y, int32_t channel))
    {
        nTexture* texture = new nTexture(&engine, 1, 0);
        textures.push_back(nSharedPtr<nTexture>(texture));
        EXPECT_TRUE(texture->Allocate(width, height, PixelFormatRGBA8));
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x)
                for (int32_t c = 0; c < 4; ++c) texture->GetPixels()[(y * width + x) * 4 + c] = texel(x, y, c);
        texture->SetFlag(TextureKeepPixels, true);
        EXPECT_TRUE(renderer->SetupTexture(texture));
        return texture;
    }
    // The pixel showing the terrain-local point (x, 0, z).
    nRGBA ProbeLocal(float x, float z)
    {
        const nVector w = nVector(x, 0.0f, z, 1.0f).Transform(terrain->GetWorldMatrix());
        return ProbeWorld(w.x, w.y, w.z);
    }
    void Draw()
    {
        drawables.clear();
        renderer->ApplyCamera();
        renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, false);
        renderer->ResetRenderQueue();
        renderer->QueueRenderable(terrain.get());
        renderer->RenderQueue();
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    }

    std::unique_ptr<nTerrain> terrain;
    std::vector<nSharedPtr<nTexture>> textures;
};

}

TEST_F(GLTerrain, TwoLayersBlendedByTheBlendMap)
{
    scene.ambient[0] = scene.ambient[1] = scene.ambient[2] = 1.0f;
    // Layer 0 red, layer 1 green; the blend map gives the left half of the terrain to layer 0
    // (red channel) and the right half to layer 1 (green channel).
    terrain->GetLayer(0).diffuse = MakeTexture(2, 2, [](int32_t, int32_t, int32_t c) { return (uint8_t)(c == 0 || c == 3 ? 255 : 0); });
    terrain->GetLayer(1).diffuse = MakeTexture(2, 2, [](int32_t, int32_t, int32_t c) { return (uint8_t)(c == 1 || c == 3 ? 255 : 0); });
    terrain->GetLayer(1).uvTiling = 4.0f;
    nTexture* blend = MakeTexture(1024, 4, [](int32_t x, int32_t, int32_t c) {
        return (uint8_t)((c == 0 && x < 512) || (c == 1 && x >= 512) ? 255 : 0);
    });
    terrain->SetBlendMap(blend);
    Draw();
    EXPECT_TRUE(PixelNear(ProbeLocal(3.0f, -8.0f), nRGBA{255, 0, 0, 255}, 4));
    EXPECT_TRUE(PixelNear(ProbeLocal(13.0f, -4.0f), nRGBA{0, 255, 0, 255}, 4));
    EXPECT_TRUE(PixelNear(ProbeLocal(13.0f, -12.0f), nRGBA{0, 255, 0, 255}, 4));
    EXPECT_TRUE(PixelNear(ProbeLocal(-2.0f, -8.0f), nRGBA{0, 0, 0, 0}, 3)) << "nothing beside the terrain";

    // Without layers the material's own program gives the attribute colours.
    terrain->GetLayer(0).diffuse.Release();
    terrain->GetLayer(1).diffuse.Release();
    Draw();
    EXPECT_TRUE(PixelNear(ProbeLocal(3.0f, -8.0f), nRGBA{51, 51, 204, 255}, 4));
}

// A layer read along its axis: red then blue across its texture, taken across the ground (the
// X-Z plane, by x) or along the Z-Y plane (by the distance along the depth).
TEST_F(GLTerrain, ALayerIsReadAlongItsAxis)
{
    scene.ambient[0] = scene.ambient[1] = scene.ambient[2] = 1.0f;
    terrain->GetLayer(0).diffuse = MakeTexture(4, 1, [](int32_t x, int32_t, int32_t c) {
        return (uint8_t)(c == 3 || (x < 2 && c == 0) || (x >= 2 && c == 2) ? 255 : 0);
    });
    const nRGBA red{255, 0, 0, 255}, blue{0, 0, 255, 255};
    Draw();
    EXPECT_TRUE(PixelNear(ProbeLocal(4.0f, -12.0f), red, 12));
    EXPECT_TRUE(PixelNear(ProbeLocal(12.0f, -4.0f), blue, 12));
    terrain->GetLayer(0).uvAxis = TerrainUVAxisZY;
    Draw();
    EXPECT_TRUE(PixelNear(ProbeLocal(4.0f, -12.0f), blue, 12));
    EXPECT_TRUE(PixelNear(ProbeLocal(12.0f, -4.0f), red, 12));
}

TEST_F(GLTerrain, PatchesDrawOnlyInTheDepthAttributeAndShadowPasses)
{
    nTerrainNode* root = const_cast<nTerrainNode*>(terrain->GetQuadtree());
    ASSERT_NE(root, nullptr);
    renderer->ApplyCamera();
    for (int32_t pass = 0; pass < 6; ++pass) {
        renderer->ResetStatistics();
        renderer->DrawTerrainPatch(root, pass);
        EXPECT_EQ(renderer->GetStatistics().objectsDrawn, (pass == 2 || pass == 3 || pass == 5) ? 1u : 0u) << pass;
    }
    renderer->SetSystemFlag(RendererSystemDisableShader, true);
    renderer->ResetStatistics();
    renderer->DrawTerrainPatch(root, 2);
    EXPECT_EQ(renderer->GetStatistics().objectsDrawn, 0u) << "the fixed-function renderer draws no terrain";
    renderer->SetSystemFlag(RendererSystemDisableShader, false);
    renderer->DrawTerrainPatch(0, 2);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

// The fill reads the samples at the patch's steps; where a patch reaches past the grid (a grid
// wider than it is deep has patches as deep as they are wide), the vertices fold onto the
// grid's edge with its samples instead of reading past them.
TEST(GLTerrainFill, PatchesReadOnlyTheGrid)
{
    nOrvex engine;
    nTerrain terrain(&engine);
    ASSERT_TRUE(terrain.SetSize(1024, 64, 1.0f));
    terrain.BuildQuadtree();
    const nTerrainNode* root = terrain.GetQuadtree();
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(root->step, 16);
    std::vector<float> staging(nGL3Renderer::kTerrainFloats, -99.0f);
    nGL3Renderer::FillTerrainPatch(terrain, *root, false, staging.data());
    // Row 4 of the patch is grid row 64, the last; rows beyond fold onto it.
    for (int32_t j = 0; j < 65; ++j) {
        const float z = staging[(j * 65) * 3 + 2];
        EXPECT_FLOAT_EQ(z, j <= 4 ? -(float)j : -4.0f) << j;
        EXPECT_FLOAT_EQ(staging[nGL3Renderer::kTerrainUVFloats + (j * 65) * 2 + 1], j <= 4 ? -(float)(16 * j) / 64.0f : -1.0f);
    }
    EXPECT_FLOAT_EQ(staging[(64 * 65 + 64) * 3 + 0], 64.0f);
    EXPECT_FLOAT_EQ(staging[nGL3Renderer::kTerrainUVFloats + (64 * 65 + 64) * 2], 1.0f);

    // A regular patch: positions in steps, heights, normals scaled by the step's width.
    nTerrain hill(&engine);
    ASSERT_TRUE(hill.SetSize(128, 128, 2.0f));
    ASSERT_TRUE(nMLPutMemoryFile("hill.u16", std::string(128 * 128 * 2, '\x14')));  // 0x1414 = 5140
    ASSERT_TRUE(hill.LoadHeightFile("hill.u16"));
    hill.ComputeNormals(0, 0, 0, 0);
    hill.BuildQuadtree();
    const nTerrainNode* child = hill.GetQuadtree()->children[3];
    ASSERT_NE(child, nullptr);
    nGL3Renderer::FillTerrainPatch(hill, *child, true, staging.data());
    EXPECT_FLOAT_EQ(staging[(10 * 65 + 7) * 3 + 0], 7.0f);
    EXPECT_FLOAT_EQ(staging[(10 * 65 + 7) * 3 + 1], 5140 / 20.0f);
    EXPECT_FLOAT_EQ(staging[(10 * 65 + 7) * 3 + 2], -10.0f);
    nGL3Renderer::FillTerrainPatch(hill, *child, false, staging.data());
    EXPECT_FLOAT_EQ(staging[nGL3Renderer::kTerrainNormalFloats + (10 * 65 + 7) * 3 + 1], 1.0f / (0.5f * 1.0f));
    EXPECT_FLOAT_EQ(staging[nGL3Renderer::kTerrainUVFloats + (10 * 65 + 7) * 2], (64 + 7) * 0.5f / 64.0f);
}
