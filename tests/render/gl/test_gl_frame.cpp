// The deferred frame drawn through RenderQueue and read back: lights through their volumes,
// fog, materials with textures, vertex colours and constants, skinned geometry, and the frame's
// bookkeeping (pass order, drawer choice, a clean state cache after every draw).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "nGLFrameKit.h"
#include "render/gl/nGL3Shader.h"
#include "render/gl/nGLMaterial.h"
#include "resources/nPictureFormat.h"
#include "resources/nTexture.h"
#include "tests/support/nLogCapture.h"

namespace {

const float kPlaneZ = 20.0f;
const float kPi = 3.14159265f;

class GLFrame : public nGLFrameTest
{
protected:
    // A white plane covering the view at kPlaneZ.
    void ShowWhitePlane()
    {
        Show(MakeQuads({Rect(-40, -40, 40, 40)}, kPlaneZ, ConstantMaterial(1, 1, 1)), kPlaneZ);
    }

    // What the point light program gives a white surface facing the camera at (x, y, kPlaneZ).
    float PointLit(const nVector& light, float x, float y, float range, float ambient)
    {
        const nVector to(light.x - x, light.y - y, light.z - kPlaneZ, 0.0f);
        const float d = std::sqrt(to.x * to.x + to.y * to.y + to.z * to.z);
        const float nDotL = std::fmax(-to.z / d, 0.0f);
        const float fade = range > 0.0f ? std::fmax(1.0f - d / range, 0.0f) : 1.0f;
        return ambient + nDotL * fade;
    }
};

TEST_F(GLFrame, APointLightLightsThePlaneWithTheCameraOutsideAndInsideItsVolume)
{
    const struct
    {
        const char* label;
        float volumeRange;
    } cases[] = {
        {"camera outside the volume", 6.0f}, {"camera inside the volume", 30.0f}};
    ShowWhitePlane();
    scene.ambient[0] = scene.ambient[1] = scene.ambient[2] = 0.1f;
    const nVector at(1.0f, 0.5f, kPlaneZ - 2.0f, 1.0f);
    nLight* light = AddLight(LightTypePoint, at.x, at.y, at.z);
    light->SetRange(6.0f);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        light->SetVolumeRange(c.volumeRange);
        DrawFrame();
        // Under the light, beside it, and beyond its range: ambient only.
        for (const nVector& p : {nVector(1.0f, 0.5f, 0, 1), nVector(3.0f, -1.0f, 0, 1), nVector(-8.0f, 0.0f, 0, 1)}) {
            int px, py;
            PixelOf(p.x, p.y, kPlaneZ, &px, &py);
            const nVector surface = PointAt(px, py, kPlaneZ);
            const int want = Byte(PointLit(at, surface.x, surface.y, 6.0f, 0.1f));
            EXPECT_TRUE(PixelNear(ReadPixel(px, py), nRGBA{want, want, want, 255}, 3)) << "at " << p.x << ", " << p.y;
        }
        EXPECT_EQ(renderer->GetStatistics().lightsProcessed, 1u);
        renderer->ResetStatistics();
    }
}

TEST_F(GLFrame, ASpotLightShowsItsConeEdge)
{
    ShowWhitePlane();
    // From 5 units before the plane, a 20 degree cone with a 10 degree edge: full light within
    // 1.82 units of its axis, nothing beyond 2.89.
    nLight* spot = AddLight(LightTypeSpot, 0.0f, 0.0f, kPlaneZ - 5.0f);
    spot->SetRange(50.0f);
    spot->SetVolumeRange(50.0f);
    spot->SetConeAngle(20.0f * kPi / 180.0f);
    spot->SetEdgeAngle(10.0f * kPi / 180.0f);
    DrawFrame();
    const float fade = 1.0f - 5.0f / 50.0f;
    const struct
    {
        float radius;
        float lowest, highest;
    } rings[] = {
        {0.0f, fade, fade}, {1.5f, 0.8f * fade, fade}, {2.4f, 0.05f, 0.75f * fade}, {3.2f, 0.0f, 0.0f}, {6.0f, 0.0f, 0.0f}};
    for (const auto& ring : rings) {
        const nRGBA got = ProbeWorld(ring.radius, 0.0f, kPlaneZ);
        EXPECT_GE(got.r, Byte(ring.lowest) - 3) << "radius " << ring.radius;
        EXPECT_LE(got.r, Byte(ring.highest) + 3) << "radius " << ring.radius;
    }
    // The edge falls: brighter inside than on it.
    EXPECT_GT(ProbeWorld(1.0f, 0.0f, kPlaneZ).r, ProbeWorld(2.5f, 0.0f, kPlaneZ).r + 20);
}

TEST_F(GLFrame, AParallelLightLightsByTheAngleOfItsDirection)
{
    ShowWhitePlane();
    nLight* sun = AddLight(LightTypeParallel, 0.0f, 0.0f, 0.0f);
    sun->SetRotation(nVector(0.0f, 60.0f * kPi / 180.0f, 0.0f, 1.0f));
    sun->SetDiffuse(nVector(1.0f, 0.5f, 0.25f, 1.0f));
    DrawFrame();
    // N.L = cos 60 everywhere on the plane.
    for (const nVector& p : {nVector(0, 0, 0, 1), nVector(-5, 3, 0, 1), nVector(6, -4, 0, 1)})
        EXPECT_TRUE(PixelNear(ProbeWorld(p.x, p.y, kPlaneZ), nRGBA{128, 64, 32, 255}, 3)) << p.x << ", " << p.y;
}

TEST_F(GLFrame, AShadowedLightWhoseShadowProgramIsMissingStillLights)
{
    // The library's split-shadow program is unusable: the sun keeps its plain lighting.
    nShader* pssm = renderer->GetShaderLibrary()->Find("core::linearlight_pssm");
    ASSERT_NE(pssm, nullptr);
    pssm->ReleaseDevice();
    ASSERT_EQ(renderer->GetCoreShader("core::linearlight_pssm"), nullptr);
    renderer->SetControlFlag(RendererControlShadowMapping | RendererControlLinearShadow, true);
    ShowWhitePlane();
    nLight* sun = AddLight(LightTypeParallel, 0.0f, 0.0f, 0.0f);
    sun->SetShadow(LightShadowMap);
    sun->SetRotation(nVector(0.0f, 60.0f * kPi / 180.0f, 0.0f, 1.0f));
    DrawFrame();
    EXPECT_TRUE(PixelNear(ProbeWorld(0.0f, 0.0f, kPlaneZ), nRGBA{128, 128, 128, 255}, 3));
}

TEST_F(GLFrame, LightsFollowTheCameraWhenItTurns)
{
    // A floor below a camera that looks down at it, lit from straight above by a parallel
    // light and a point light: what is seen depends on the view only through the positions.
    const float pitch = 0.5f;
    camera->SetPosition(nVector(0.0f, 5.0f, 0.0f, 1.0f));
    camera->SetRotation(nVector(pitch, 0.0f, 0.0f, 1.0f));
    // The floor: y = 0, facing up (the quad's -z normal turned to +y).
    nMatrix4 place;
    place.m[5] = 0.0f, place.m[6] = -1.0f, place.m[9] = 1.0f, place.m[10] = 0.0f;
    Show(MakeQuads({Rect(-40, -40, 40, 40)}, 0.0f, ConstantMaterial(1, 1, 1), 0, &place), 10.0f);
    nLight* sun = AddLight(LightTypeParallel, 0.0f, 10.0f, 0.0f);
    sun->SetRotation(nVector(kPi / 2.0f, 0.0f, 0.0f, 1.0f));  // +z turned to point down
    sun->SetDiffuse(nVector(0.5f, 0.5f, 0.5f, 1.0f));
    DrawFrame();
    const nVector down = sun->GetWorldMatrix().GetColumn(2, true);
    ASSERT_NEAR(down.y, -1.0f, 1e-4f) << "rotation convention";
    const nRGBA centre = ReadPixel(kWidth / 2, kHeight / 2);
    EXPECT_TRUE(PixelNear(centre, nRGBA{128, 128, 128, 255}, 3));
}

TEST_F(GLFrame, FogBlendsTheSceneTowardTheFogColourByDepth)
{
    scene.ambient[0] = scene.ambient[1] = scene.ambient[2] = 1.0f;
    Show(MakeQuads({Rect(-40, -40, 0, 40)}, 10.0f, ConstantMaterial(1, 1, 1)), 10.0f);
    Show(MakeQuads({Rect(0, -40, 40, 40)}, 30.0f, ConstantMaterial(1, 1, 1)), 30.0f);
    const nVector fogColour(0.0f, 0.0f, 1.0f, 1.0f);
    renderer->SetFog(true, &fogColour, 5.0f, 45.0f);
    DrawFrame();
    // Kept depth is z - near; the fog reaches (depth - 5) / 40 of the way to its colour.
    for (float z : {10.0f, 30.0f}) {
        const float f = (z - 0.1f - 5.0f) / 40.0f;
        const nRGBA got = ProbeWorld(z < 20.0f ? -3.0f : 5.0f, 0.0f, z);
        EXPECT_TRUE(PixelNear(got, nRGBA{Byte(1.0f - f), Byte(1.0f - f), 255, 255}, 3)) << "depth " << z;
    }
    renderer->SetFog(false, 0, 5.0f, 45.0f);
}

TEST_F(GLFrame, TexturedAndVertexColouredMaterialsShowTheirColours)
{
    scene.ambient[0] = scene.ambient[1] = scene.ambient[2] = 1.0f;
    // Left: a 2 x 1 texture, red then green across the quad. Right: corner colours, blue at
    // the bottom and yellow at the top.
    nTexture* texture = new nTexture(&engine, 1, 0);
    nSharedPtr<nTexture> held(texture);
    ASSERT_TRUE(texture->Allocate(2, 1, PixelFormatRGBA8));
    const uint8_t texels[8] = {255, 0, 0, 255, 0, 255, 0, 255};
    for (int i = 0; i < 8; ++i) texture->GetPixels()[i] = texels[i];
    texture->SetFlag(TextureKeepPixels, true);
    renderer->SetSystemFlag(RendererSystemTextureNoCompression, true);
    ASSERT_TRUE(renderer->SetupTexture(texture));
    nShaderBlock* source = new nShaderBlock(ShaderBlockTexture);
    source->texture = texture;
    nShaderBlock* uv = new nShaderBlock(ShaderBlockUV);
    nShaderBlock* sampler = new nShaderBlock(ShaderBlockSampler2D);
    ASSERT_TRUE(sampler->SetInput(0, source));
    ASSERT_TRUE(sampler->SetInput(1, uv));
    sampler->wrapU = sampler->wrapV = 0;  // clamped: the left edge does not blend in the right texel
    Show(MakeQuads({Rect(-8, -4, -1, 4)}, kPlaneZ, MakeMaterial(sampler)), kPlaneZ);

    const nGeometryColor blue{0, 0, 1, 1}, yellow{1, 1, 0, 1};
    std::vector<nQuadCorner> corners = {{1, -4, blue, 0, 0}, {1, 4, yellow, 0, 1}, {8, 4, yellow, 1, 1}, {8, -4, blue, 1, 0}};
    Show(MakeQuads({corners}, kPlaneZ, MakeMaterial(new nShaderBlock(ShaderBlockVertexColor))), kPlaneZ);
    DrawFrame();

    EXPECT_TRUE(PixelNear(ProbeWorld(-7.0f, 0.0f, kPlaneZ), nRGBA{255, 0, 0, 255}, 3));
    EXPECT_TRUE(PixelNear(ProbeWorld(-2.0f, 0.0f, kPlaneZ), nRGBA{0, 255, 0, 255}, 3));
    const nRGBA low = ProbeWorld(4.0f, -3.5f, kPlaneZ), high = ProbeWorld(4.0f, 3.5f, kPlaneZ);
    EXPECT_GT(low.b, 200);
    EXPECT_LT(low.r, 60);
    EXPECT_GT(high.r, 200);
    EXPECT_GT(high.g, 200);
    EXPECT_LT(high.b, 60);
    renderer->FreeTexture(texture);
}

TEST_F(GLFrame, ASkinnedStripIsPosedByItsBone)
{
    scene.ambient[0] = scene.ambient[1] = scene.ambient[2] = 1.0f;
    // Three quads; the left one carried by bone 0 (unbound: in place), the right one by bone 1.
    const std::vector<int> bones = {0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1};
    nMaterial* material = ConstantMaterial(1, 0.5f, 0, MaterialRenderSkinned);
    nGeometry* strip = MakeQuads({Rect(-6, -1, -2, 1), Rect(-2, -1, 2, 1), Rect(2, -1, 6, 1)}, kPlaneZ, material, &bones);
    // The middle quad's corners: left ones on bone 0, right ones on bone 1.
    strip->skinWeights[6].bone[0] = 0, strip->skinWeights[7].bone[0] = 0;
    nObject* object = Show(strip, kPlaneZ);
    ASSERT_EQ(object->GetBoneCount(), 2);
    nItem bone(&engine);
    bone.SetPosition(nVector(0.0f, 3.0f, 0.0f, 1.0f));
    ASSERT_TRUE(object->SetBone(1, &bone));
    object->UpdateSkinning();
    DrawFrame();

    const nRGBA orange{255, 128, 0, 255}, black{0, 0, 0, 255};
    EXPECT_TRUE(PixelNear(ProbeWorld(-4.0f, 0.0f, kPlaneZ), orange, 3));  // bone 0: in place
    EXPECT_TRUE(PixelNear(ProbeWorld(4.0f, 3.0f, kPlaneZ), orange, 3));   // bone 1: raised by 3
    EXPECT_TRUE(PixelNear(ProbeWorld(4.0f, 0.0f, kPlaneZ), black, 3));    // where it was
    object->SetBone(1, 0);
}

TEST_F(GLFrame, MaterialsDifferingOnlyInAConstantShareAProgramAndShowTheirOwnValues)
{
    scene.ambient[0] = scene.ambient[1] = scene.ambient[2] = 1.0f;
    nMaterial* red = ConstantMaterial(1.0f, 0.0f, 0.0f);
    nMaterial* teal = ConstantMaterial(0.0f, 0.5f, 0.75f);
    Show(MakeQuads({Rect(-40, -40, 0, 40)}, kPlaneZ, red), kPlaneZ);
    Show(MakeQuads({Rect(0, -40, 40, 40)}, kPlaneZ, teal), kPlaneZ);
    DrawFrame();
    auto data = [](nMaterial* m) { return static_cast<GL_MaterialData*>(m->GetRenderData()); };
    for (int32_t pass : {GL3PassNormalDepth, GL3PassAttributes})
        EXPECT_EQ(data(red)->ForPass(pass)->program, data(teal)->ForPass(pass)->program) << pass;
    EXPECT_TRUE(PixelNear(ProbeWorld(-5.0f, 0.0f, kPlaneZ), nRGBA{255, 0, 0, 255}, 3));
    EXPECT_TRUE(PixelNear(ProbeWorld(5.0f, 0.0f, kPlaneZ), nRGBA{0, 128, 191, 255}, 3));
}

// A material without stages draws its own colours: its default graph reads them as material
// parameters, which the drawer loads for each primitive. A fixed-function material drawn first
// leaves colours of its own behind.
TEST_F(GLFrame, MaterialsWithoutStagesShowTheirOwnColours)
{
    scene.ambient[0] = scene.ambient[1] = scene.ambient[2] = 1.0f;
    auto plain = [&](const nVector& diffuse) {
        nMaterial* material = new nMaterial(&engine);
        materialRefs.push_back(nSharedPtr<nMaterial>(material));
        material->diffuse = diffuse;
        material->SetRenderMap(material->BuildDefaultRenderMap());
        EXPECT_TRUE(renderer->SetupMaterial(material));
        materials.push_back(material);
        return material;
    };
    nMaterial* fixed = ConstantMaterial(1.0f, 1.0f, 0.0f, MaterialRenderFixedFunction);
    fixed->diffuse = nVector(1.0f, 1.0f, 0.0f, 1.0f);
    Show(MakeQuads({Rect(-40, 10, 40, 40)}, kPlaneZ, fixed), kPlaneZ);
    Show(MakeQuads({Rect(-40, -40, 0, 10)}, kPlaneZ, plain(nVector(1.0f, 0.0f, 0.0f, 1.0f))), kPlaneZ);
    Show(MakeQuads({Rect(0, -40, 40, 10)}, kPlaneZ, plain(nVector(0.0f, 0.5f, 0.75f, 1.0f))), kPlaneZ);
    DrawFrame();
    EXPECT_TRUE(PixelNear(ProbeWorld(-5.0f, 0.0f, kPlaneZ), nRGBA{255, 0, 0, 255}, 3));
    EXPECT_TRUE(PixelNear(ProbeWorld(5.0f, 0.0f, kPlaneZ), nRGBA{0, 128, 191, 255}, 3));
}

TEST_F(GLFrame, AnEmptyListStillRunsEveryFullScreenStep)
{
    const struct
    {
        const char* label;
        bool fog;
        nRGBA want;
    } cases[] = {
        // The background, cleared into the attribute targets, lit by the ambient pass (1.5 x
        // diffuse + constant 0.2 = 0.5) then copied out.
        {"ambient pass and presentation", false, nRGBA{Byte(0.2f * 0.5f + 0.2f), Byte(0.4f * 0.5f + 0.4f), 0, 255}},
        // Where nothing was drawn the fog colour covers all.
        {"fog pass", true, nRGBA{0, 0, 255, 255}}};
    scene.ambient[0] = scene.ambient[1] = scene.ambient[2] = 0.5f;
    AddLight(LightTypeParallel, 0.0f, 0.0f, 0.0f);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const nVector blue(0.0f, 0.0f, 1.0f, 1.0f);
        renderer->SetFog(c.fog, &blue, 1.0f, 10.0f);
        renderer->ResetStatistics();
        DrawFrame(0.2f, 0.4f, 0.0f);
        EXPECT_TRUE(PixelNear(ReadPixel(10, 10), c.want, 3));
        EXPECT_TRUE(PixelNear(ReadPixel(100, 80), c.want, 3));
        EXPECT_EQ(renderer->GetStatistics().lightsProcessed, 1u);  // the light pass ran
        EXPECT_EQ(renderer->GetStatistics().queuePasses, 4u);      // depth-normal, attributes, forward twice
    }
    renderer->SetFog(false, 0, 1.0f, 10.0f);
}

// Records what reaches the geometry drawer, and checks the state cache after each draw.
class nRecordingDrawerRenderer : public nGL3Renderer
{
public:
    using nGL3Renderer::nGL3Renderer;

    struct Call
    {
        int32_t pass;
        nItem* owner;
    };

    void DrawGeometry(int32_t pass, nGeometry* geometry) override
    {
        calls.push_back(Call{pass, GetCurrentPrimitive() ? GetCurrentPrimitive()->owner : 0});
        nGL3Renderer::DrawGeometry(pass, geometry);
        CheckStateClean(pass);
    }

    void CheckStateClean(int32_t pass)
    {
        std::vector<std::string> left;
        for (int32_t unit = 0; unit < kTextureUnits; ++unit)
            if (GetTextureUnitFlags(unit)) left.push_back("texture unit " + std::to_string(unit));
        GLint value = 0;
        glGetIntegerv(GL_CURRENT_PROGRAM, &value);
        if (value) left.push_back("program");
        glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &value);
        if (value) left.push_back("vertex buffer");
        glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &value);
        if (value) left.push_back("index buffer");
        for (GLenum array : {GL_VERTEX_ARRAY, GL_NORMAL_ARRAY, GL_COLOR_ARRAY})
            if (glIsEnabled(array)) left.push_back("client array");
        for (GLuint attribute = 0; attribute < 16; ++attribute) {
            GetEntryPoints()->ActiveTextureARB(GL_TEXTURE0);
            GLint enabled = 0;
            reinterpret_cast<PFNGLGETVERTEXATTRIBIVPROC>(SDL_GL_GetProcAddress("glGetVertexAttribiv"))(
                attribute, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &enabled);
            if (enabled) left.push_back("vertex attribute " + std::to_string(attribute));
        }
        for (const std::string& what : left) leaks.push_back("pass " + std::to_string(pass) + ": " + what);
    }

    std::vector<Call> calls;
    std::vector<std::string> leaks;
};

class GLFrameRecording : public nGLFrameTest
{
protected:
    void SetUp() override
    {
        nGLFrameTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        // The same set-up on a renderer whose drawer records.
        renderer->SetCamera(0);
        delete renderer;
        recording = new nRecordingDrawerRenderer(&engine, true);
        renderer = recording;
        ASSERT_TRUE(renderer->Open(kWidth, kHeight, 32, 2));
        errors.Install();
        renderer->SetCamera(camera.get());
        renderer->SetViewport(0, 0, kWidth, kHeight);
        renderer->ApplyCamera();
        renderer->SetPropertyRequestCallback(&nFrameScene::Request, &scene);
    }

    nRecordingDrawerRenderer* recording = 0;
};

TEST_F(GLFrameRecording, PassesWalkTheSortedListAndOnlyGeometryReachesTheGeometryDrawer)
{
    nGeometry* g = MakeQuads({Rect(-1, -1, 1, 1)}, kPlaneZ, ConstantMaterial(1, 1, 1));
    nObject* near = Show(g, 5.0f);
    nObject* far = Show(g, 15.0f);
    nItem emitter(&engine), terrain(&engine);
    drawables.emplace_back(new nTestDrawable(&emitter, 0, 1.0f, RenderablePrimitiveEmitter));
    drawables.emplace_back(new nTestDrawable(&terrain, 0, 10.0f, RenderablePrimitiveTerrain));
    DrawFrame();
    std::vector<std::pair<int32_t, nItem*>> got;
    for (const auto& call : recording->calls) got.push_back({call.pass, call.owner});
    const std::vector<std::pair<int32_t, nItem*>> want = {
        {2, near}, {2, far}, {3, near}, {3, far}, {0, near}, {0, far}, {1, far}, {1, near}};
    EXPECT_EQ(got, want);
    EXPECT_EQ(recording->leaks, std::vector<std::string>{});
}

TEST_F(GLFrameRecording, TheStateCacheIsCleanAfterEveryDrawer)
{
    scene.ambient[0] = 1.0f;
    // Every drawer path: shader drawn constant, vertex colour and skinned primitives, a
    // fixed-function one, with and without alpha, and the velocity pass.
    const std::vector<int> bones = {0, 0, 1, 1};
    nObject* skinned = Show(MakeQuads({Rect(-6, -1, -2, 1)}, kPlaneZ, ConstantMaterial(1, 0, 0, MaterialRenderSkinned), &bones), kPlaneZ);
    nItem bone(&engine);
    skinned->SetBone(1, &bone);
    skinned->UpdateSkinning();
    Show(MakeQuads({Rect(-2, -1, 2, 1)}, kPlaneZ, MakeMaterial(new nShaderBlock(ShaderBlockVertexColor))), kPlaneZ);
    Show(MakeQuads({Rect(2, -1, 6, 1)}, kPlaneZ, ConstantMaterial(0, 1, 0, MaterialRenderFixedFunction)), kPlaneZ);
    nMaterial* blended = ConstantMaterial(0, 0, 1, MaterialRenderFixedFunction | MaterialRenderAdd);
    blended->UpdateAlphaFlag();
    ASSERT_TRUE(blended->GetAlphaFlag());
    Show(MakeQuads({Rect(-1, 2, 1, 4)}, kPlaneZ - 1.0f, blended), kPlaneZ - 1.0f);
    ASSERT_NE(camera->GetRegistry().CreatePath("PostProcess:MotionBlur;", nullptr), nullptr);
    DrawFrame();
    std::vector<int32_t> passes;
    for (const auto& call : recording->calls) passes.push_back(call.pass);
    for (int32_t pass : {0, 1, 2, 3, 4})
        EXPECT_NE(std::find(passes.begin(), passes.end(), pass), passes.end()) << "pass " << pass << " never drew";
    EXPECT_EQ(recording->leaks, std::vector<std::string>{});
    // The forward passes drew the fixed-function primitive over the lit picture: lit by GL's
    // red ambient through its material's white ambient colour (the deferred frame leaves
    // nothing but black there).
    EXPECT_TRUE(PixelNear(ProbeWorld(4.0f, 0.0f, kPlaneZ), nRGBA{255, 0, 0, 255}, 3));
    skinned->SetBone(1, 0);
}

// ---------------------------------------------------------------------------------------------
// Rules of the frame as functions.

TEST(GLFrameRules, TheGeometryDrawerIsChosenByPassMaterialFlagsAndRenderer)
{
    const uint32_t fixed = MaterialRenderFixedFunction;
    const int32_t N = nGL3Renderer::DrawerNone, F = nGL3Renderer::DrawerFixedFunction, S = nGL3Renderer::DrawerShader;
    const struct
    {
        uint32_t flags;
        bool alpha;
        bool fixedRenderer;
        int32_t want[6];
    } cases[] = {
        // passes:                        0  1  2  3  4  5
        {0, false, false, {N, N, S, S, S, S}},
        {0, true, false, {N, N, S, S, S, S}},
        {fixed, false, false, {F, N, N, N, N, S}},
        {fixed, true, false, {N, F, N, N, N, S}},
        {0, false, true, {F, N, N, N, N, N}},
        {0, true, true, {N, F, N, N, N, N}},
        {fixed | MaterialRenderNoFog, false, true, {F, N, N, N, N, N}},
    };
    for (const auto& c : cases)
        for (int32_t pass = 0; pass < 6; ++pass)
            EXPECT_EQ(nGL3Renderer::SelectGeometryDrawer(pass, c.flags, c.alpha, c.fixedRenderer), c.want[pass])
                << "flags " << c.flags << " alpha " << c.alpha << " fixed renderer " << c.fixedRenderer << " pass " << pass;
}

TEST(GLFrameRules, LightProgramsAreChosenByTypeShadowAndSettings)
{
    const uint32_t maps = RendererControlShadowMapping, split = RendererControlShadowMapping | RendererControlLinearShadow;
    const struct
    {
        int32_t type, shadow;
        uint32_t control;
        float specular;
        bool projection;
        const char* want;
    } cases[] = {
        {LightTypePoint, LightShadowNone, 0, 0.0f, false, "core::pointlight"},
        {LightTypePoint, LightShadowNone, 0, 0.5f, false, "core::pointlight_specular"},
        {LightTypePoint, LightShadowMap, 0, 0.5f, false, "core::pointlight_shadowmap"},
        {LightTypeParallel, LightShadowMap, maps, 0.0f, false, "core::linearlight"},
        {LightTypeParallel, LightShadowMap, split, 0.0f, false, "core::linearlight_pssm"},
        {LightTypeParallel, LightShadowNone, split, 0.0f, false, "core::linearlight"},
        {LightTypeSpot, LightShadowMap, maps, 0.0f, true, "core::projective_spotlight_shadowmap"},
        {LightTypeSpot, LightShadowMap, maps, 0.0f, false, "core::spotlight_shadowmap"},
        {LightTypeSpot, LightShadowMap, 0, 0.0f, false, "core::spotlight"},
        {LightTypeSpot, LightShadowProjectedMap, 0, 0.0f, true, "core::projective_spotlight_shadow"},
        {LightTypeSpot, LightShadowNone, 0, 0.0f, true, "core::projective_spotlight"},
        {LightTypeSpot, LightShadowNone, 0, 1.0f, false, "core::spotlight_specular"},
        {LightTypeArea, LightShadowNone, 0, 0.0f, false, nullptr},
    };
    for (const auto& c : cases) {
        const char* got = nGL3Renderer::ChooseLightProgram(c.type, c.shadow, c.control, c.specular, c.projection);
        EXPECT_EQ(std::string(got ? got : "none"), std::string(c.want ? c.want : "none"))
            << "type " << c.type << " shadow " << c.shadow << " control " << c.control;
    }
    EXPECT_STREQ(nGL3Renderer::ChooseVolumeProgram(LightTypePoint, LightShadowMap, maps), "core::volumetric_sphere_shadowmap");
    EXPECT_STREQ(nGL3Renderer::ChooseVolumeProgram(LightTypeSpot, LightShadowMap, 0), "core::volumetric_cone");
    EXPECT_EQ(nGL3Renderer::ChooseVolumeProgram(LightTypeParallel, LightShadowNone, maps), nullptr);
}

TEST(GLFrameRules, DistanceFadeVolumeRadiusAndSpotCutoff)
{
    EXPECT_FLOAT_EQ(nGL3Renderer::LightDistanceFade(130.0f, 100.0f, 80.0f), 1.0f);  // clip + range - 50
    EXPECT_FLOAT_EQ(nGL3Renderer::LightDistanceFade(155.0f, 100.0f, 80.0f), 0.5f);
    EXPECT_FLOAT_EQ(nGL3Renderer::LightDistanceFade(180.0f, 100.0f, 80.0f), 0.0f);  // clip + range
    EXPECT_FLOAT_EQ(nGL3Renderer::LightDistanceFade(500.0f, 100.0f, 0.0f), 1.0f);   // unlimited
    // The drawn radius: the light's sphere (volume range + 0.5) widened by the facets' sag.
    const struct
    {
        float range, want;
    } radii[] = {{0.0f, 0.553825f}, {10.0f, 11.630331f}};
    for (const auto& r : radii) EXPECT_NEAR(nGL3Renderer::LightVolumeRadius(r.range), r.want, 1e-4f) << r.range;
    const struct
    {
        float cone, edge;
        int32_t want;
    } spots[] = {{40, 20, 30}, {100, 30, 65}, {150, 60, 90}, {170, 20, 90}};
    for (const auto& s : spots)
        EXPECT_EQ(nGL3Renderer::FixedSpotCutoff(s.cone * kPi / 180.0f, s.edge * kPi / 180.0f), s.want) << s.cone;
}

// ---------------------------------------------------------------------------------------------
// Targets and fixed-function lights on an open renderer.

class GLFrameTargets : public nGLFrameTest
{
};

TEST_F(GLFrameTargets, SquareTargetsAreMadeAtThePowerOfTwoTheirLookupsUse)
{
    const struct
    {
        int32_t w, h;
        bool square;
        int32_t wantW, wantH;
    } cases[] = {
        {128, 96, false, 128, 96}, {128, 96, true, 128, 128}, {100, 60, true, 128, 128}, {200, 40, true, 256, 256}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + (c.square ? " square" : ""));
        renderer->SetSystemFlag(RendererSystemSquareTargets, c.square);
        ASSERT_TRUE(renderer->CreateRenderTargets(c.w, c.h));
        EXPECT_EQ(renderer->GetBufferWidth(), (float)c.wantW);
        EXPECT_EQ(renderer->GetBufferHeight(), (float)c.wantH);
        for (int32_t t : {nGL3Renderer::TargetDepth, nGL3Renderer::TargetAttr0, nGL3Renderer::TargetCompose}) {
            nTexture* target = renderer->GetRenderTargetTexture(t);
            ASSERT_NE(target, nullptr);
            EXPECT_EQ((int32_t)target->GetWidth(), c.wantW);
            EXPECT_EQ((int32_t)target->GetHeight(), c.wantH);
        }
        EXPECT_EQ((int32_t)renderer->GetRenderTargetTexture(nGL3Renderer::TargetFx0)->GetWidth(), c.wantW / 4);
    }
    renderer->SetSystemFlag(RendererSystemSquareTargets, false);
    ASSERT_TRUE(renderer->CreateRenderTargets(kWidth, kHeight));
}

TEST_F(GLFrameTargets, TheEmptyMarkSurvivesTheHalfFloatDepthTarget)
{
    DrawFrame();
    // Read attr0_map back: the depth-normal pass cleared it to the mark every program tests.
    nTexture* attr0 = renderer->GetRenderTargetTexture(nGL3Renderer::TargetAttr0);
    ASSERT_NE(attr0, nullptr);
    renderer->BindTextureData(0, static_cast<nGL3Renderer::GL_TextureData*>(attr0->GetRenderData()));
    std::vector<float> texels(kWidth * kHeight * 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, texels.data());
    renderer->ResetTextureUnits(0);
    EXPECT_GE(texels[3], 65504.0f);
    EXPECT_TRUE(std::isfinite(texels[3]));
}

TEST_F(GLFrameTargets, FixedLightsTakeAtMostEightAndAWideSpotIsHeldToNinetyDegrees)
{
    for (int i = 0; i < 3; ++i) {
        nLight* l = AddLight(i == 0 ? LightTypeSpot : LightTypePoint, (float)i, 0.0f, 0.0f);
        l->SetConeAngle(150.0f * kPi / 180.0f);
        l->SetEdgeAngle(40.0f * kPi / 180.0f);
        l->UpdateWorldMatrix();
    }
    renderer->BeginFixedFunctionFrame();
    float cutoff = 0.0f;
    glGetLightfv(GL_LIGHT0, GL_SPOT_CUTOFF, &cutoff);
    EXPECT_EQ(cutoff, 90.0f);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(glIsEnabled(GL_LIGHT0 + i) != 0, i < 3) << "light " << i;
    renderer->EndFixedFunctionFrame();
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

}
