// Shadow maps drawn through the deferred frame and read back: an occluder darkens what a spot,
// a point and a parallel light would light behind it and leaves the rest as lit as without
// shadows; the shadow pass leaves the GL state as it found it; a light whose shadow record
// cannot be made is drawn without a shadow, never with another light's maps; volumetric light
// brightens where its shaft is and nowhere else.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "nGLFrameKit.h"
#include "tests/support/nAllocationFailure.h"
#include "tests/support/nLogCapture.h"

namespace {

const float kPlaneZ = 20.0f;
const float kPi = 3.14159265f;

// The occluder: a small quad at z 15, left of the view's centre. A light at (-10, 0, 10)
// shining along (1, 0, 1) throws its shadow onto the plane at x 2 to 4 (from the light's
// point) or x 1 to 2 (parallel), y -2 to 2 or -1 to 1, where the camera sees the plane itself.
const float kOccluderZ = 15.0f;

struct LightCase
{
    const char* label;
    int32_t type;
    nVector shadowed;  // on the plane, hidden from the light by the occluder
    nVector lit;       // on the plane, in the light's view beside the shadow
};

const LightCase kLights[] = {
    {"spot light", LightTypeSpot, nVector(3.0f, 0.0f, kPlaneZ, 1.0f), nVector(3.0f, 3.5f, kPlaneZ, 1.0f)},
    {"point light", LightTypePoint, nVector(3.0f, 0.0f, kPlaneZ, 1.0f), nVector(3.0f, 3.5f, kPlaneZ, 1.0f)},
    {"parallel light", LightTypeParallel, nVector(1.5f, 0.0f, kPlaneZ, 1.0f), nVector(1.5f, 3.0f, kPlaneZ, 1.0f)},
};

class GLShadows : public nGLFrameTest
{
protected:
    void SetUp() override
    {
        nGLFrameTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        renderer->SetControlFlag(RendererControlShadowMapping | RendererControlLinearShadow, true);
        scene.ambient[0] = scene.ambient[1] = scene.ambient[2] = 0.1f;
    }

    void ShowPlaneAndOccluder()
    {
        Show(MakeQuads({Rect(-40, -40, 40, 40)}, kPlaneZ, ConstantMaterial(1, 1, 1)), kPlaneZ);
        Show(MakeQuads({Rect(-4, -1, -3, 1)}, kOccluderZ, ConstantMaterial(1, 1, 1)), kOccluderZ);
    }

    // A light of the case's type at (-10, 0, 10) shining along (1, 0, 1), casting shadows.
    nLight* AddCaster(int32_t type, int32_t shadow = LightShadowMap)
    {
        nLight* light = AddLight(type, -10.0f, 0.0f, 10.0f);
        light->SetRotation(nVector(0.0f, kPi / 4.0f, 0.0f, 1.0f));
        light->SetRange(60.0f);
        light->SetVolumeRange(60.0f);
        light->SetConeAngle(30.0f * kPi / 180.0f);
        light->SetEdgeAngle(10.0f * kPi / 180.0f);
        light->SetShadow(shadow);
        return light;
    }

    int Grey(const nVector& p) { return ProbeWorld(p.x, p.y, p.z).g; }
};

TEST_F(GLShadows, AnOccluderDarkensWhatEachLightWouldLightBehindItAndNothingElse)
{
    ShowPlaneAndOccluder();
    for (const LightCase& c : kLights) {
        SCOPED_TRACE(c.label);
        scene.lights.clear();
        nLight* light = AddCaster(c.type, LightShadowNone);
        DrawFrame();
        const int plainShadowed = Grey(c.shadowed), plainLit = Grey(c.lit);
        ASSERT_GT(plainShadowed, 60) << "the probe behind the occluder is lit without shadows";
        ASSERT_GT(plainLit, 60);

        light->SetShadow(LightShadowMap);
        DrawFrame();
        // Behind the occluder only the ambient light is left; beside it nothing changed (a lit
        // surface does not shadow itself).
        EXPECT_LE(Grey(c.shadowed), Byte(0.1f) + 4);
        EXPECT_NEAR(Grey(c.lit), plainLit, 3);
        // The occluder, seen by the camera and lit on its face toward the light, stays lit too.
        EXPECT_GT(ProbeWorld(-3.5f, 0.0f, kOccluderZ).g, 60);
    }
}

TEST_F(GLShadows, ASurfaceFacingTheLightAtAGrazingAngleIsNotDarkenedByItself)
{
    // A floor seen from above at a slant, lit by a low sun, with nothing over it: every pixel
    // must match the unshadowed frame (acne or a wrong map lookup darkens it).
    camera->SetPosition(nVector(0.0f, 5.0f, 0.0f, 1.0f));
    camera->SetRotation(nVector(0.5f, 0.0f, 0.0f, 1.0f));
    nMatrix4 place;
    place.m[5] = 0.0f, place.m[6] = -1.0f, place.m[9] = 1.0f, place.m[10] = 0.0f;
    Show(MakeQuads({Rect(-40, -40, 40, 40)}, 0.0f, ConstantMaterial(1, 1, 1), 0, &place), 10.0f);
    nLight* sun = AddLight(LightTypeParallel, 0.0f, 10.0f, 0.0f);
    sun->SetRotation(nVector(0.9f, -0.6f, 0.0f, 1.0f));
    DrawFrame();
    std::vector<int> plain;
    for (int y = 4; y < kHeight; y += 8)
        for (int x = 4; x < kWidth; x += 8) plain.push_back(ReadPixel(x, y).g);
    sun->SetShadow(LightShadowMap);
    DrawFrame();
    size_t i = 0;
    for (int y = 4; y < kHeight; y += 8)
        for (int x = 4; x < kWidth; x += 8, ++i) EXPECT_NEAR(ReadPixel(x, y).g, plain[i], 3) << "pixel " << x << ", " << y;
}

// The GL state a later pass relies on, and the renderer's view of the frame.
struct StateSnapshot
{
    std::vector<GLint> ints;
    std::vector<GLfloat> floats;
    std::vector<float> renderer;

    static StateSnapshot Take(nGL3Renderer& r)
    {
        StateSnapshot s;
        static const GLenum kInts[] = {GL_VIEWPORT, GL_SCISSOR_BOX, GL_DEPTH_FUNC, GL_DEPTH_WRITEMASK,
                                       GL_BLEND_SRC, GL_BLEND_DST, GL_COLOR_WRITEMASK, GL_CULL_FACE_MODE,
                                       GL_FRONT_FACE, GL_ALPHA_TEST_FUNC, GL_CURRENT_PROGRAM,
                                       GL_FRAMEBUFFER_BINDING_EXT, GL_DRAW_BUFFER, GL_READ_BUFFER,
                                       GL_ACTIVE_TEXTURE, GL_MATRIX_MODE};
        static const GLenum kEnables[] = {GL_SCISSOR_TEST, GL_DEPTH_TEST, GL_BLEND, GL_CULL_FACE, GL_ALPHA_TEST,
                                          GL_FOG, GL_POLYGON_OFFSET_FILL, GL_LIGHTING};
        for (GLenum e : kInts) {
            GLint v[4] = {0, 0, 0, 0};
            glGetIntegerv(e, v);
            s.ints.insert(s.ints.end(), v, v + 4);
        }
        for (GLenum e : kEnables) s.ints.push_back(glIsEnabled(e));
        GLint active = 0;
        glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
        for (int unit = 0; unit < 9; ++unit) {
            r.GetEntryPoints()->ActiveTextureARB(GL_TEXTURE0 + unit);
            GLint bound = 0;
            glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
            s.ints.push_back(bound);
            s.ints.push_back(unit < 8 ? glIsEnabled(GL_TEXTURE_2D) : 0);
        }
        r.GetEntryPoints()->ActiveTextureARB(active);
        for (GLenum e : {GL_PROJECTION_MATRIX, GL_MODELVIEW_MATRIX, GL_DEPTH_CLEAR_VALUE, GL_ALPHA_TEST_REF}) {
            GLfloat v[16] = {};
            glGetFloatv(e, v);
            s.floats.insert(s.floats.end(), v, v + 16);
        }
        s.renderer.insert(s.renderer.end(), r.GetViewMatrix().m, r.GetViewMatrix().m + 16);
        s.renderer.insert(s.renderer.end(), r.GetProjectionMatrix().m, r.GetProjectionMatrix().m + 16);
        s.renderer.insert(s.renderer.end(), r.GetModelViewMatrix().m, r.GetModelViewMatrix().m + 16);
        for (const nVector& c : r.GetFrustum().corners) s.renderer.insert(s.renderer.end(), {c.x, c.y, c.z});
        s.renderer.push_back(r.GetGlobalAspectRatio());
        s.renderer.push_back(r.GetClipPlaneNormal().y);
        return s;
    }
};

TEST_F(GLShadows, TheShadowPassLeavesTheStateAsItFoundIt)
{
    ShowPlaneAndOccluder();
    for (const LightCase& c : kLights) {
        SCOPED_TRACE(c.label);
        scene.lights.clear();
        nLight* light = AddCaster(c.type);
        renderer->SetGlobalAspectRatio(1.25f);
        DrawFrame();
        // The state of the light loop, with a few settings no shadow pass uses.
        renderer->GetEntryPoints()->BindFramebufferEXT(GL_FRAMEBUFFER_EXT, renderer->GetGBufferFramebuffer());
        glEnable(GL_SCISSOR_TEST);
        glScissor(3, 4, 50, 60);
        glViewport(2, 3, 70, 80);
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
        glDepthFunc(GL_GREATER);
        glDepthMask(GL_FALSE);
        glCullFace(GL_BACK);
        glDisable(GL_ALPHA_TEST);
        glEnable(GL_FOG);
        glClearDepth(0.75);
        renderer->SetClipPlane(nVector(0.0f, 0.0f, 5.0f, 1.0f), nVector(0.0f, 1.0f, 0.0f, 0.0f));
        const nItem* bound = renderer->GetCamera();
        const StateSnapshot before = StateSnapshot::Take(*renderer);

        EXPECT_TRUE(renderer->RenderShadowMaps(light));

        const StateSnapshot after = StateSnapshot::Take(*renderer);
        EXPECT_EQ(after.ints, before.ints);
        EXPECT_EQ(after.floats, before.floats);
        EXPECT_EQ(after.renderer, before.renderer);
        EXPECT_EQ(renderer->GetCamera(), bound);
        EXPECT_EQ(renderer->GetShadowCamera(), nullptr);
        renderer->ClearClipPlane();
        glDisable(GL_FOG);
        glDisable(GL_BLEND);
        glClearDepth(1.0);
        renderer->SetGlobalAspectRatio(1.0f);
    }
}

TEST_F(GLShadows, ALightWhoseShadowRecordCannotBeMadeIsDrawnWithoutAShadow)
{
    // A shadowed spot light fills map 0 first; the light after it cannot have its record and
    // must not read those maps as its own.
    const struct
    {
        const char* label;
        int32_t type;
        size_t record;
        const char* line;
    } cases[] = {
        {"point light", LightTypePoint, sizeof(nGL3Renderer::GL_PointShadow),
         "[!] Failed to allocate point shadow map structure.\n"},
        {"parallel light", LightTypeParallel, sizeof(nGL3Renderer::GL_SplitShadow), "[!] Failed to allocate PSSM structure.\n"},
    };
    ShowPlaneAndOccluder();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        for (nLight* l : scene.lights) renderer->FreeLight(l);
        scene.lights.clear();
        nLight* spot = AddCaster(LightTypeSpot);
        spot->SetDiffuseIntensity(0.3f);
        nLight* second = AddCaster(c.type, LightShadowNone);
        second->SetPosition(nVector(10.0f, 0.0f, 10.0f, 1.0f));
        second->SetRotation(nVector(0.0f, -kPi / 4.0f, 0.0f, 1.0f));
        DrawFrame();
        std::vector<nRGBA> plain;
        for (int x = 8; x < kWidth; x += 16) plain.push_back(ReadPixel(x, kHeight / 2));

        second->SetShadow(LightShadowMap);
        renderer->FreeLight(second);  // no record yet
        nLogCapture log;
        nFailNothrowAllocationOfSize(c.record);
        DrawFrame();
        nFailNothrowAllocationOfSize(0);
        EXPECT_EQ(log.Lines(), (std::vector<std::string>{c.line}));
        // Without its record the light is as it is without shadows; the spot keeps its own.
        size_t i = 0;
        for (int x = 8; x < kWidth; x += 16, ++i)
            EXPECT_TRUE(PixelNear(ReadPixel(x, kHeight / 2), plain[i], 3)) << "x " << x;
    }
}

TEST_F(GLShadows, AVolumetricSpotLightBrightensItsShaftAndNothingElse)
{
    // A spot on the view axis shining away from the camera: its shaft covers the centre of the
    // view and none of its corners.
    Show(MakeQuads({Rect(-40, -40, 40, 40)}, 40.0f, ConstantMaterial(0.2f, 0.2f, 0.2f)), 40.0f);
    nLight* spot = AddLight(LightTypeSpot, 0.0f, 0.0f, 8.0f);
    spot->SetRange(60.0f);
    spot->SetVolumeRange(60.0f);
    spot->SetConeAngle(8.0f * kPi / 180.0f);
    spot->SetEdgeAngle(2.0f * kPi / 180.0f);
    spot->SetDiffuse(nVector(1.0f, 0.9f, 0.6f, 1.0f));
    spot->SetVolumetricRange(30.0f);
    DrawFrame();
    const nRGBA centre = ReadPixel(kWidth / 2, kHeight / 2), corner = ReadPixel(4, 4);

    spot->SetVolumetric(true);
    DrawFrame();
    EXPECT_GT(ReadPixel(kWidth / 2, kHeight / 2).r, centre.r + 40);
    EXPECT_TRUE(PixelNear(ReadPixel(4, 4), corner, 2));
}

TEST_F(GLShadows, AVolumetricSunGathersLessLightAlongRaysThroughTheOccludersShadow)
{
    // A dark wall at z 20 and, above the view's centre, a shelf at z 8 that the sun (shining
    // down and forward along (0, -1, 1)) casts a shadow from. The view ray just under the shelf
    // runs in its shadow from z 8.7 on; the ray lower down only from z 13.3 on.
    Show(MakeQuads({Rect(-40, -40, 40, 40)}, kPlaneZ, ConstantMaterial(0.1f, 0.1f, 0.1f)), kPlaneZ);
    Show(MakeQuads({Rect(-40, 2, 40, 40)}, 8.0f, ConstantMaterial(0.1f, 0.1f, 0.1f)), 8.0f);
    nLight* sun = AddLight(LightTypeParallel, 0.0f, 0.0f, 0.0f);
    sun->SetRotation(nVector(kPi / 4.0f, 0.0f, 0.0f, 1.0f));
    sun->SetShadow(LightShadowMap);
    sun->SetVolumetricRange(20.0f);
    DrawFrame();
    const int under = ProbeWorld(0.0f, 3.0f, kPlaneZ).r, lower = ProbeWorld(0.0f, -5.0f, kPlaneZ).r;
    ASSERT_NEAR(under, lower, 2) << "both wall points lie in the shelf's shadow";

    sun->SetVolumetric(true);
    DrawFrame();
    const int hazeUnder = ProbeWorld(0.0f, 3.0f, kPlaneZ).r, hazeLower = ProbeWorld(0.0f, -5.0f, kPlaneZ).r;
    EXPECT_GT(hazeUnder, under + 30);
    EXPECT_GT(hazeLower, hazeUnder + 15);
}

}
