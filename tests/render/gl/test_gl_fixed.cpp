// The fixed-function frame and material path on a renderer without programs: textured,
// untextured and vertex-coloured materials lit by GL lights, the texture units a material's
// stages take, and every unit clean after the frame.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "nGLFrameKit.h"
#include "resources/nPictureFormat.h"
#include "resources/nTexture.h"

namespace {

const float kPlaneZ = 20.0f;

class GLFixedFrame : public nGLFrameTest
{
protected:
    void ConfigureBeforeOpen(nGL3Renderer& r) override
    {
        r.SetSystemFlag(RendererSystemDisableShader, true);
        r.SetSystemFlag(RendererSystemTextureNoCompression, true);
    }

    void TearDown() override
    {
        for (auto& t : textures) renderer->FreeTexture(t.Get());
        textures.clear();
        nGLFrameTest::TearDown();
    }

    // A material drawn without programs: its colours, flags and stages only.
    nMaterial* FixedMaterial(float r, float g, float b, uint32_t renderFlags = 0)
    {
        nMaterial* material = new nMaterial(&engine);
        materialRefs.push_back(nSharedPtr<nMaterial>(material));
        material->renderFlags = renderFlags;
        material->diffuse = nVector(r, g, b, 1.0f);
        material->ambient = nVector(0.0f, 0.0f, 0.0f, 1.0f);
        material->specular = nVector(0.0f, 0.0f, 0.0f, 1.0f);
        material->self = nVector(0.0f, 0.0f, 0.0f, 1.0f);
        material->glossiness = 0.9f;  // 230 as GL shininess: must be held at 128
        EXPECT_TRUE(renderer->SetupMaterial(material));
        materials.push_back(material);
        return material;
    }

    // A texture of width x 1 texels, RGBA bytes.
    nTexture* MakeTexture(const std::vector<uint8_t>& texels)
    {
        nTexture* texture = new nTexture(&engine, 1, 0);
        textures.push_back(nSharedPtr<nTexture>(texture));
        EXPECT_TRUE(texture->Allocate((int32_t)texels.size() / 4, 1, PixelFormatRGBA8));
        for (size_t i = 0; i < texels.size(); ++i) texture->GetPixels()[i] = texels[i];
        texture->SetFlag(TextureKeepPixels, true);
        EXPECT_TRUE(renderer->SetupTexture(texture));
        return texture;
    }

    nMaterialStage* AddStage(nMaterial* material, int32_t channel, nTexture* texture)
    {
        nMaterialStage* stage = material->AddStage(channel, texture, MaterialUVMap, 0);
        EXPECT_NE(stage, nullptr);
        if (stage) stage->wrapU = stage->wrapV = 0;
        material->ValidateStages();
        return stage;
    }

    // Two white lights of half strength: a parallel one shining along +z and a point light at
    // the camera. Together they light a plane facing the camera almost fully.
    void AddTwoLights()
    {
        nLight* sun = AddLight(LightTypeParallel, 0.0f, 0.0f, 0.0f);
        sun->SetDiffuseIntensity(0.5f);
        nLight* lamp = AddLight(LightTypePoint, 0.0f, 0.0f, 0.0f);
        lamp->SetDiffuseIntensity(0.5f);
    }

    // What the two lights give a surface facing the camera at (x, y, kPlaneZ).
    static float TwoLightsAt(float x, float y)
    {
        const float d = std::sqrt(x * x + y * y + kPlaneZ * kPlaneZ);
        return 0.5f + 0.5f * kPlaneZ / d;
    }

    void ExpectUnitsClean()
    {
        PFNGLACTIVETEXTUREARBPROC active = reinterpret_cast<PFNGLACTIVETEXTUREARBPROC>(SDL_GL_GetProcAddress("glActiveTexture"));
        PFNGLCLIENTACTIVETEXTUREARBPROC client =
            reinterpret_cast<PFNGLCLIENTACTIVETEXTUREARBPROC>(SDL_GL_GetProcAddress("glClientActiveTexture"));
        ASSERT_TRUE(active && client);
        for (int unit = 0; unit < 8; ++unit) {
            SCOPED_TRACE(unit);
            active(GL_TEXTURE0 + unit);
            client(GL_TEXTURE0 + unit);
            GLint bound = -1;
            glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
            EXPECT_EQ(bound, 0);
            EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
            EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
            EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));
            EXPECT_FALSE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
            EXPECT_EQ(renderer->GetTextureUnitFlags(unit), 0u);
        }
        active(GL_TEXTURE0);
        client(GL_TEXTURE0);
    }

    std::vector<nSharedPtr<nTexture>> textures;
};

TEST_F(GLFixedFrame, TexturedUntexturedAndVertexColouredMaterialsUnderTwoLights)
{
    // Texture object 1 exists but has no picture: a unit bound to it would be switched off.
    glBindTexture(GL_TEXTURE_2D, 1);
    glBindTexture(GL_TEXTURE_2D, 0);

    AddTwoLights();
    // Left: red then green texels. Middle: no texture, Diffuse (1, 0.5, 0). Right: blue corners
    // at the bottom, yellow at the top.
    nMaterial* textured = FixedMaterial(0.3f, 0.3f, 0.3f, MaterialRenderSmooth);
    AddStage(textured, MaterialChannelDiffuse, MakeTexture({255, 0, 0, 255, 0, 255, 0, 255}));
    Show(MakeQuads({Rect(-8, -4, -3, 4)}, kPlaneZ, textured), kPlaneZ);
    Show(MakeQuads({Rect(-2, -4, 2, 4)}, kPlaneZ, FixedMaterial(1.0f, 0.5f, 0.0f, MaterialRenderSmooth)), kPlaneZ);
    const nGeometryColor blue{0, 0, 1, 1}, yellow{1, 1, 0, 1};
    std::vector<nQuadCorner> corners = {{3, -4, blue, 0, 0}, {3, 4, yellow, 0, 1}, {8, 4, yellow, 1, 1}, {8, -4, blue, 1, 0}};
    Show(MakeQuads({corners}, kPlaneZ, FixedMaterial(1, 1, 1, MaterialRenderSmooth | MaterialRenderVertexColor)), kPlaneZ);
    DrawFrame();

    struct Probe
    {
        float x, y;
        float r, g, b;
    } probes[] = {
        {-7.5f, 0.0f, 1.0f, 0.0f, 0.0f},  // red texel
        {-3.5f, 0.0f, 0.0f, 1.0f, 0.0f},  // green texel
        {0.0f, 0.0f, 1.0f, 0.25f, 0.0f},  // Diffuse lit, times Diffuse as unit 0's constant
        {5.5f, -3.5f, 0.0f, 0.0f, 1.0f},  // blue corner
        {5.5f, 3.5f, 1.0f, 1.0f, 0.0f},   // yellow corner
    };
    for (const Probe& p : probes) {
        SCOPED_TRACE(testing::Message() << "probe at " << p.x << ", " << p.y);
        const float lit = TwoLightsAt(p.x, p.y);
        const nRGBA got = ProbeWorld(p.x, p.y, kPlaneZ);
        if (p.x > 3.0f) {
            // Vertex colours blend across the quad: check the dominant channels only.
            EXPECT_NEAR(got.r, Byte(p.r * lit), 40);
            EXPECT_NEAR(got.g, Byte(p.g * lit), 40);
            EXPECT_NEAR(got.b, Byte(p.b * lit), 40);
        } else {
            EXPECT_TRUE(PixelNear(got, nRGBA{Byte(p.r * lit), Byte(p.g * lit), Byte(p.b * lit), 255}, 6));
        }
    }
    ExpectUnitsClean();
}

TEST_F(GLFixedFrame, OneLightLightsHalfAsMuchAsTwo)
{
    nLight* sun = AddLight(LightTypeParallel, 0.0f, 0.0f, 0.0f);
    sun->SetDiffuseIntensity(0.5f);
    Show(MakeQuads({Rect(-2, -4, 2, 4)}, kPlaneZ, FixedMaterial(1.0f, 1.0f, 1.0f)), kPlaneZ);
    DrawFrame();
    EXPECT_TRUE(PixelNear(ProbeWorld(0.0f, 0.0f, kPlaneZ), nRGBA{128, 128, 128, 255}, 4));
}

TEST_F(GLFixedFrame, StagesTakeTheirUnitsInOrder)
{
    nTexture* t = MakeTexture({255, 255, 255, 255});
    struct Case
    {
        bool blend;
        int diffuse, blendUnit, decal, light, self;
    } cases[] = {
        {false, 0, -1, 1, 2, 3},
        {true, 0, 1, 2, 3, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.blend ? "with a blend stage" : "without a blend stage");
        nMaterial* m = FixedMaterial(1, 1, 1);
        // One texture object per channel so that the binding tells the channel.
        nTexture* diffuse = MakeTexture({255, 0, 0, 255});
        nTexture* decal = MakeTexture({0, 255, 0, 255});
        nTexture* light = MakeTexture({0, 0, 255, 255});
        nTexture* self = MakeTexture({9, 9, 9, 255});
        AddStage(m, MaterialChannelDiffuse, diffuse);
        AddStage(m, MaterialChannelDecal, decal);
        AddStage(m, MaterialChannelLightmap, light);
        AddStage(m, MaterialChannelSelfIllum, self);
        if (c.blend) AddStage(m, MaterialChannelBlendRGB, t);
        ASSERT_TRUE(renderer->ApplyMaterialTextures(m, 0, 1.0f));
        PFNGLACTIVETEXTUREARBPROC active = reinterpret_cast<PFNGLACTIVETEXTUREARBPROC>(SDL_GL_GetProcAddress("glActiveTexture"));
        auto boundOn = [&](int unit) {
            active(GL_TEXTURE0 + unit);
            GLint bound = 0;
            glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
            return (uint32_t)bound;
        };
        auto nameOf = [](nTexture* tex) { return static_cast<nGL3Renderer::GL_TextureData*>(tex->GetRenderData())->name; };
        EXPECT_EQ(boundOn(c.diffuse), nameOf(diffuse));
        if (c.blendUnit >= 0) {
            EXPECT_EQ(boundOn(c.blendUnit), nameOf(t));
        }
        EXPECT_EQ(boundOn(c.decal), nameOf(decal));
        EXPECT_EQ(boundOn(c.light), nameOf(light));
        EXPECT_EQ(boundOn(c.self), nameOf(self));
        GLint mode = 0;
        active(GL_TEXTURE0 + c.decal);
        glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
        EXPECT_EQ(mode, GL_DECAL);
        active(GL_TEXTURE0);
        renderer->ResetTextureUnits(0);
        ExpectUnitsClean();
    }
}

TEST_F(GLFixedFrame, OpacityBelowOneScalesTheAlphaOfTheLastUnit)
{
    // Without an opacity stage, effective opacity 0.5 reaches the alpha through a constant.
    nMaterial* plain = FixedMaterial(1, 1, 1);
    plain->opacity = 0.5f;
    ASSERT_TRUE(renderer->ApplyMaterialTextures(plain, 0, 1.0f));
    PFNGLACTIVETEXTUREARBPROC active = reinterpret_cast<PFNGLACTIVETEXTUREARBPROC>(SDL_GL_GetProcAddress("glActiveTexture"));
    float colour[4] = {0, 0, 0, 0};
    active(GL_TEXTURE1);
    glGetTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, colour);
    EXPECT_FLOAT_EQ(colour[3], 0.5f);
    active(GL_TEXTURE0);
    renderer->ResetTextureUnits(0);

    // With an opacity stage, at item alpha 0.5 the constant is 0.5 and the stage's unit is next.
    nMaterial* staged = FixedMaterial(1, 1, 1);
    nTexture* mask = MakeTexture({255, 255, 255, 128});
    AddStage(staged, MaterialChannelOpacity, mask);
    ASSERT_TRUE(renderer->ApplyMaterialTextures(staged, 0, 0.5f));
    active(GL_TEXTURE1);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ((uint32_t)bound, static_cast<nGL3Renderer::GL_TextureData*>(mask->GetRenderData())->name);
    glGetTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, colour);
    EXPECT_FLOAT_EQ(colour[3], 0.5f);
    GLint source1 = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_SOURCE1_ALPHA, &source1);
    EXPECT_EQ(source1, GL_CONSTANT);
    active(GL_TEXTURE0);
    renderer->ResetTextureUnits(0);
    ExpectUnitsClean();
}

TEST(GLFixedShininess, GlossinessTimes256HeldTo128)
{
    struct
    {
        float glossiness, shininess;
    } cases[] = {{0.0f, 0.0f}, {0.25f, 64.0f}, {0.5f, 128.0f}, {0.9f, 128.0f}, {4.0f, 128.0f}};
    for (const auto& c : cases) EXPECT_FLOAT_EQ(nGL3Renderer::FixedShininess(c.glossiness), c.shininess) << c.glossiness;
}

}
